#!/usr/bin/env bash
# Every source, script and build file the project tracks names its licence in its
# first lines ("SPDX-License-Identifier: GPL-3.0-or-later"), so that a file copied out
# of the tree still says under which terms. Data (seeds, dictionaries, symbol lists,
# pictures, the sample settings) and prose carry none. Outside a git checkout there is
# no list of tracked files, and the check is skipped (exit 77).
#   check-licence.sh SOURCE-DIR
set -uo pipefail
cd "$1" || exit 1
files=$(git ls-files 2>/dev/null) || { echo "not a git checkout: skipped"; exit 77; }

licensed() {
    case $1 in
        fuzz/corpus/*) return 1 ;;
        *.cpp | *.h | *.py | *.sh | *.cmake | *.cmake.in | */CMakeLists.txt | CMakeLists.txt | Makefile) return 0 ;;
        .ci/run | packaging/debian/postinst | packaging/debian/prerm | packaging/debian/postrm) return 0 ;;
        *.service | *.conf | *.desktop | *.pc.in | *.qrc | *.html | *.1) return 0 ;;
    esac
    return 1
}

missing=0
while IFS= read -r file; do
    licensed "$file" || continue
    [[ -f $file ]] || continue
    if ! head -n 5 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
        echo "no SPDX-License-Identifier line: $file"
        missing=$((missing + 1))
    fi
done <<<"$files"
if ((missing > 0)); then
    echo "FAIL: $missing file(s) without the licence line"
    exit 1
fi
echo "every source, script and build file carries its licence line"
