#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer target of a fuzz build for a few seconds, from its seeds and
# with its dictionary (scripts/fuzz.sh), and fails on the first finding: a crash,
# a sanitizer report, a broken check, a leak or an input that hangs.
#   scripts/fuzz-smoke.sh BUILD_DIR [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:?usage: $0 BUILD_DIR [SECONDS]}
seconds=${2:-5}
log=$(mktemp "${TMPDIR:-/tmp}/fuzz-smoke.XXXXXX")
trap 'rm -f "$log"' EXIT

status=0
for source in fuzz/fuzz_*.cpp; do
    target=$(basename "$source" .cpp)
    if scripts/fuzz.sh "$build" "$target" -max_total_time="$seconds" -timeout=10 >"$log" 2>&1; then
        summary=$(grep -a -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
        echo "fuzz-smoke: $target: ${summary:-done}"
    else
        echo "fuzz-smoke: $target: FAILED" >&2
        grep -a -v -E '^"|# Uses:|^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|RELOAD)' "$log" | tail -n 60 >&2
        status=1
    fi
done
exit $status
