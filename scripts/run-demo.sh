#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo behind `make run`: the simulated radio on a pseudo-terminal and the host
# on TCP port 50000 (ONDREL_DEMO_PORT overrides it), with a demo profile under
# <build>/demo: one user demo/demo, COM1 on the simulator, the log on.
# Where a display is available (DISPLAY or WAYLAND_DISPLAY set) the host opens its
# window, and pressing CONTROL starts the service; elsewhere, or with HEADLESS=1, it
# runs without a window and starts at once. Runs until the window is closed or
# Ctrl-C, then stops the host (its stop sequence) and then the radio.
#   scripts/run-demo.sh <build dir>
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
port=${ONDREL_DEMO_PORT:-50000}
radiosim=$build/tools/radiosim/radiosim
ondrel=$build/host/ondrel
demo=$build/demo

for program in "$radiosim" "$ondrel"; do
    if [[ ! -x $program ]]; then
        echo "run-demo: $program is missing; build first (make run does)" >&2
        exit 1
    fi
done

mkdir -p "$demo/log"
rm -f "$demo/radiosim.out"

radio_pid=
host_pid=
stop_all() {
    trap - INT TERM EXIT
    if [[ -n $host_pid ]] && kill -0 "$host_pid" 2>/dev/null; then
        kill -TERM "$host_pid" 2>/dev/null || true
        wait "$host_pid" 2>/dev/null || true
    fi
    if [[ -n $radio_pid ]] && kill -0 "$radio_pid" 2>/dev/null; then
        kill -TERM "$radio_pid" 2>/dev/null || true
        wait "$radio_pid" 2>/dev/null || true
    fi
}
trap 'echo; echo "Stopping..."; stop_all; exit 0' INT TERM
trap stop_all EXIT

# Both programs run in sessions of their own, so that Ctrl-C reaches only this
# script, which then stops them in order: the host first, while the radio still answers.
setsid "$radiosim" --model 20 >"$demo/radiosim.out" 2>"$demo/radiosim.log" &
radio_pid=$!
for _ in $(seq 50); do
    [[ -s $demo/radiosim.out ]] && break
    if ! kill -0 "$radio_pid" 2>/dev/null; then
        cat "$demo/radiosim.log" >&2
        exit 1
    fi
    sleep 0.1
done
device=$(head -n 1 "$demo/radiosim.out")
if [[ -z $device ]]; then
    echo "run-demo: the radio simulator did not start" >&2
    exit 1
fi

# A fresh profile each time, readable by this user only: it holds a password.
profile=$demo/Ondrel.ini
(
    umask 077
    cat >"$profile" <<EOF
[Setting]
COM Port=1
COM Baud=9600
MIREL IP Port No=$port
MIREL Session Time=0
MIREL Log=1
MIREL 000 User ID=demo
MIREL 000 Password=demo
MIREL 000 Description=Demo operator
MIREL 000 User Disabled=0

[File Path]
MIREL Log File Path=$demo/log

[COM Devices]
COM1=$device
EOF
)

window=0
if [[ ${HEADLESS:-0} != 1 && ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) ]]; then
    window=1
fi
if [[ $window == 1 ]]; then
    setsid "$ondrel" --profile "$profile" &
else
    setsid "$ondrel" --headless --profile "$profile" &
fi
host_pid=$!

if [[ $window == 1 ]]; then
    cat <<EOF

Ondrel demo: simulated radio (model 20) on $device, the Ondrel window on this display.
Press CONTROL (or Control > ON) to start the service on TCP port $port: the model
(Tarsel) and the lit power switch appear. Then log in from another terminal:
    (printf 'UID:demo;PWD:demo;FA;'; sleep 5) | nc -q 0 localhost $port
and watch the user, address, description and session time in the window.
Profile: $profile   Activity log: $demo/log/
Close the window or press Ctrl-C here to stop.

EOF
else
    cat <<EOF

Ondrel demo: simulated radio (model 20) on $device, host on TCP port $port.
Profile: $profile   Activity log: $demo/log/
Connect from another terminal with the client (password: demo):
    $build/client/ondrel-client -u demo -p $port localhost
or by hand:
    nc localhost $port
then send, one after the other:
    UID:demo;
    PWD:demo;
    FA;
ending each with Ctrl-D rather than Enter: the server reads a line break as the
first character of the next command. Or all at once:
    (printf 'UID:demo;PWD:demo;FA;'; sleep 1) | nc -q 0 localhost $port
Press Ctrl-C to stop.

EOF
fi

# The headless host ends by itself only when its start is refused or the radio falls
# silent; the window when it is closed.
status=0
wait "$host_pid" || status=$?
host_pid=
if [[ $status -ne 0 ]]; then
    echo "run-demo: the host ended with status $status (see the lines above)" >&2
fi
exit "$status"
