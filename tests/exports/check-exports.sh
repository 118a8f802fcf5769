#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares what a shared library exports with the checked-in list of its interface and
# prints the difference when the two part; with --update, writes the list instead.
#   check-exports.sh [--update] LIBRARY LIST
#
# The list holds the demangled names of the library's strong defined dynamic symbols
# (its functions and data), sorted, one a line. Left out are the names that are not
# the library's to choose:
#  - weak and unique definitions (nm types W, V, u): the vague-linkage entities that
#    the compiler emits wherever it needs them and the loader merges with every other
#    copy (inline functions, template instantiations such as the standard library's,
#    vtables, type information, inline static members). Which of them a build emits
#    depends on inlining and on instrumentation (UBSan's vptr check adds type
#    information, ASan keeps constexpr members out of line), so they would make the
#    list differ between builds; an internal class exported by mistake still shows
#    through its strong member functions;
#  - vtables and type information (_ZTV, _ZTI, _ZTS, _ZTT, _ZTC) of any binding: GCC
#    makes them weak, Clang strong where the class has a key function; they follow
#    the exported classes, whose member functions are listed;
#  - the linker's own markers (_init, _fini, _edata, _end, __bss_start);
#  - the sanitizer runtimes' names (__asan_, __ubsan_, __tsan_, __lsan_, __sanitizer_,
#    __odr_asan), which an instrumented build may add.
set -euo pipefail

update=0
if [[ ${1:-} == --update ]]; then
    update=1
    shift
fi
if (($# != 2)); then
    echo "usage: check-exports.sh [--update] LIBRARY LIST" >&2
    exit 2
fi
library=$1 list=$2

toolchain='^(_init|_fini|_edata|_end|__bss_start)$'
sanitizer='^_*(asan|ubsan|tsan|lsan|sanitizer|odr_asan)[_.]'
classdata='^_ZT[VISTC]'

exported=$(nm -D --defined-only --format=posix "$library" | awk '$2 ~ /^[BDGRST]$/ {print $1}' \
           | grep -Ev -e "$toolchain" -e "$sanitizer" -e "$classdata" | c++filt | LC_ALL=C sort -u)
if [[ -z $exported ]]; then
    echo "FAIL: $library exports nothing (or nm could not read it)" >&2
    exit 1
fi

if ((update)); then
    printf '%s\n' "$exported" >"$list"
    echo "wrote $(wc -l <"$list") names to $list"
    exit 0
fi

if ! difference=$(diff -u --label "$list" --label "$(basename "$library")" "$list" - <<<"$exported"); then
    echo "$difference"
    echo "FAIL: $(basename "$library") exports other names than $list (+ exported, not listed; - listed, not exported)." >&2
    echo "If the change of interface is meant, rewrite the list: $0 --update $library $list" >&2
    exit 1
fi
echo "$(basename "$library"): $(wc -l <<<"$exported") exported names, as listed"
