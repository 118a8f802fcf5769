#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the service unit: the exit statuses that must not restart it are exactly
# those of a start that would fail again (the headless runner's constants), and
# systemd-analyze verify accepts the unit where systemd is present (else exit 77:
# the check is skipped).
#   check-unit.sh UNIT HEADLESS-RUNNER-HEADER PROGRAM
set -uo pipefail
unit=$1 header=$2 program=$3

constant() { sed -n "s/.*inline constexpr int $1 = \([0-9]*\);.*/\1/p" "$header"; }
expected="$(constant kExitStartRefused) $(constant kExitAlreadyRunning) $(constant kExitNoInstanceLock)"
prevented=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit")
if [[ $prevented != "$expected" ]]; then
    echo "FAIL: RestartPreventExitStatus=$prevented, the runner's refusals are $expected" >&2
    exit 1
fi
watchdog=$(constant kExitWatchdog)
if [[ " $prevented " == *" $watchdog "* ]] || ! grep -qx 'Restart=on-failure' "$unit"; then
    echo "FAIL: the watchdog's exit ($watchdog) must restart the unit" >&2
    exit 1
fi
# The one host, or one per instance (ondrel@NAME: /etc/ondrel/NAME.ini, folders of its own).
if [[ $(basename "$unit") == *@.service ]]; then
    own=(LogsDirectory=ondrel/%i RuntimeDirectory=ondrel-%i Environment=XDG_RUNTIME_DIR=/run/ondrel-%i
         Environment=ONDREL_PROFILE=/etc/ondrel/%i.ini)
else
    own=(LogsDirectory=ondrel RuntimeDirectory=ondrel Environment=XDG_RUNTIME_DIR=/run/ondrel
         Environment=ONDREL_PROFILE=/etc/ondrel/Ondrel.ini)
fi
for setting in NoNewPrivileges=yes ProtectSystem=strict ReadWritePaths=/etc/ondrel ProtectHome=yes PrivateTmp=yes \
               DevicePolicy=closed 'DeviceAllow=char-ttyS rw' "${own[@]}" \
               User=ondrel SupplementaryGroups=dialout SupplementaryGroups=audio 'DeviceAllow=char-alsa rw' \
               'ExecStart=/usr/bin/ondrel --headless'; do
    grep -qxF "$setting" "$unit" || { echo "FAIL: $setting missing" >&2; exit 1; }
done

if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze is not installed: unit verification skipped"
    exit 77
fi
# verify wants the program to exist: the copy runs the built one.
work=$(mktemp -d "${TMPDIR:-/tmp}/ondrel-unit.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A template is verified as one of its instances.
copy=$work/$(basename "$unit" | sed 's/@\.service$/@radio1.service/')
sed "s|^ExecStart=/usr/bin/ondrel|ExecStart=$program|" "$unit" >"$copy"
if ! SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no "$copy" >"$work/verify.log" 2>&1; then
    cat "$work/verify.log" >&2
    echo "FAIL: systemd-analyze verify" >&2
    exit 1
fi
if grep -v -e '^$' "$work/verify.log" | grep -q .; then
    cat "$work/verify.log" >&2
    echo "FAIL: systemd-analyze verify warned" >&2
    exit 1
fi
echo "unit verified"
