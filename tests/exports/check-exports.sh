#!/usr/bin/env bash
# Compares what a shared library exports with the checked-in list of its interface and
# prints the difference when the two part; with --update, writes the list instead.
#   check-exports.sh [--update] LIBRARY LIST
#
# The list holds the demangled names of the library's defined dynamic symbols, sorted,
# one a line. Left out are the names that are not the library's to choose:
#  - the linker's own markers (_init, _fini, _edata, _end, __bss_start);
#  - the standard library's templates instantiated inside the library (std::, and
#    __gnu_cxx::): the compiler emits them as weak copies wherever it did not inline
#    them, so they come and go with optimisation and with sanitizer instrumentation,
#    and the loader merges them with every other copy; they are nobody's interface;
#  - the sanitizer runtimes' names (__asan_, __ubsan_, __tsan_, __lsan_, __sanitizer_,
#    __odr_asan), which an instrumented build may add.
# The filter works on the mangled names, where the std namespace is unambiguous
# (St after the special-name, local-entity and nested-name prefixes), and only then
# demangles.
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
standard='^_Z(T[VISTC]|GV|GR|TH|TW|Th[n]?[0-9]+_|Tv[n]?[0-9]+_n?[0-9]+_)?Z?(N[rVKRO]*)?(St|9__gnu_cxx)'
sanitizer='^_*(asan|ubsan|tsan|lsan|sanitizer|odr_asan)[_.]'

exported=$(nm -D --defined-only --format=posix "$library" | awk '{print $1}' \
           | grep -Ev -e "$toolchain" -e "$standard" -e "$sanitizer" | c++filt | LC_ALL=C sort -u)
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
