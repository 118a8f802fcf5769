#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compiles a one-line file that includes HEADER with the include path of a target and
# tells whether the header was found, as a source of that target would find it.
#   check-fence.sh COMPILER reaches|fenced HEADER INCLUDE_DIRS...
# "reaches": the header must be found; "fenced": it must not be (the compiler says
# the file is missing), any other failure is an error of the check itself.
set -euo pipefail

if (($# < 3)); then
    echo "usage: check-fence.sh COMPILER reaches|fenced HEADER INCLUDE_DIRS..." >&2
    exit 2
fi
compiler=$1 expect=$2 header=$3
shift 3
flags=()
for folder in "$@"; do
    [[ -n $folder ]] && flags+=("-I$folder")
done

# Only the preprocessor runs: whether a header is found does not depend on what it
# declares, and the Qt and OpenSSL folders on the path need no other flags then.
log=$(printf '#include "%s"\n' "$header" | "$compiler" -std=c++20 -E -x c++ -o /dev/null "${flags[@]}" - 2>&1) \
    && found=1 || found=0

case $expect in
reaches)
    if ((found)); then
        echo "reaches $header"
        exit 0
    fi
    echo "$log" >&2
    echo "FAIL: $header should be reachable from this target" >&2
    exit 1
    ;;
fenced)
    if ((found)); then
        echo "FAIL: $header is reachable, though the target does not link its module" >&2
        exit 1
    fi
    if ! grep -q "$header: No such file or directory" <<<"$log"; then
        echo "$log" >&2
        echo "FAIL: $header failed for another reason than not being found" >&2
        exit 1
    fi
    echo "fenced: $header is not found"
    ;;
*)
    echo "check-fence.sh: expect reaches or fenced, not $expect" >&2
    exit 2
    ;;
esac
