#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one libFuzzer target of a fuzz build with its seed corpus and dictionary.
#   scripts/fuzz.sh BUILD_DIR TARGET [libFuzzer options...]
# e.g. scripts/fuzz.sh build-fuzz fuzz_radio_replies -runs=10000000
# The seeds (fuzz/corpus/TARGET) are copied to a temporary folder, so the inputs the
# fuzzer adds do not land in the source tree. A crash, leak, sanitizer report or
# broken check fails the run; its input is kept in BUILD_DIR/fuzz-findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -lt 2 ]]; then
    echo "usage: $0 BUILD_DIR TARGET [libFuzzer options...]" >&2
    exit 2
fi
build=$1
target=$2
shift 2

program="$build/fuzz/$target"
if [[ ! -x "$program" ]]; then
    echo "$program: not built (make fuzz)" >&2
    exit 2
fi

corpus=$(mktemp -d "${TMPDIR:-/tmp}/$target.XXXXXX")
trap 'rm -rf "$corpus"' EXIT
if [[ -d "fuzz/corpus/$target" ]]; then
    cp -r "fuzz/corpus/$target/." "$corpus/"
fi
options=()
if [[ -f "fuzz/$target.dict" ]]; then
    options+=("-dict=fuzz/$target.dict")
fi
findings="$build/fuzz-findings"
mkdir -p "$findings"

"$program" "${options[@]}" -artifact_prefix="$findings/$target-" -print_final_stats=1 "$@" "$corpus"
