#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the CTest suite of a build folder. ThreadSanitizer needs address-space
# randomisation limited on kernels with large mmap entropy, so sanitizer runs go
# through setarch -R when it is available.
set -euo pipefail
build=${1:-build}
launcher=()
if grep -q 'ONDREL_SANITIZER:STRING=tsan' "$build/CMakeCache.txt" 2>/dev/null && command -v setarch >/dev/null; then
    launcher=(setarch "$(uname -m)" -R)
fi
"${launcher[@]}" ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
