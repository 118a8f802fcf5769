#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the already built tree into a temporary DESTDIR and checks what landed:
# the files in their places, the libraries' sonames, the programs' --version, that
# every library a program needs resolves inside the installed tree, that --help and
# the manual pages name the same options, and that a small program builds and runs
# against the installed headers and libraries found through pkg-config and through
# find_package.
#   check-install.sh BUILD-DIR SOURCE-DIR PREFIX LIBDIR INCLUDEDIR VERSION [CXXFLAGS]
set -uo pipefail

build=$1 source=$2 prefix=$3 libdir=$4 includedir=$5 version=$6 flags=${7:-}
major=${version%%.*}
work=$(mktemp -d "${TMPDIR:-/tmp}/ondrel-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! DESTDIR="$work/root" cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
fi
root=$work/root$prefix
lib=$root/$libdir

# --- The files in their places ----------------------------------------------------------
expected=(
    bin/ondrel bin/radiosim "$libdir/ondrel/ondrel-window.so" "$libdir/ondrel/libVoxline.so"
    "$includedir/ondrel/platform/WindowMessage.h"
    "$includedir/ondrel/serport/Serport.h"
    "$includedir/ondrel/netport/Netport.h" "$includedir/ondrel/linkcore/Linkcore.h"
    "$includedir/ondrel/skinwork/Skinwork.h"
    share/ondrel/Ondrel.html share/ondrel/Ondrel.ini
    share/applications/ondrel.desktop
    share/man/man1/ondrel.1.gz share/man/man1/radiosim.1.gz
    share/doc/ondrel/copyright share/doc/ondrel/changelog.Debian.gz
    lib/systemd/system/ondrel.service lib/systemd/system/ondrel@.service lib/sysusers.d/ondrel.conf
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/ondrel.png")
done
for package in OndrelPlatform Serport Netport Linkcore Skinwork; do
    expected+=("$libdir/cmake/$package/${package}Config.cmake" "$libdir/cmake/$package/${package}ConfigVersion.cmake"
               "$libdir/cmake/$package/${package}Targets.cmake")
done
for file in "${expected[@]}"; do
    [[ -f $root/$file ]] || fail "missing $file"
done

# Each installed library, and the protocol's texts, install exactly their include/
# folder's headers: each of them, and no other header of their own.
for name in platform serport netport linkcore skinwork protocol; do
    public=$source/../$name/include/$name
    installed=$(cd "$root/$includedir/ondrel" && find "$name" -name '*.h' 2>/dev/null | sort)
    wanted=$(cd "$public/.." && find "$name" -name '*.h' | sort)
    [[ $installed == "$wanted" ]] || fail "headers installed for $name: $(echo $installed), not $(echo $wanted)"
done

# Every public header finds what it includes in the installed tree (each is
# preprocessed on its own; the programs below compile them all).
qt=$(pkg-config --cflags Qt6Widgets 2>/dev/null)
for header in "$root/$includedir"/ondrel/*/*.h; do
    name=${header#"$root/$includedir/ondrel/"}
    echo "#include <$name>" >"$work/header.cpp"
    # shellcheck disable=SC2086
    c++ -std=c++20 -E -o /dev/null -I"$root/$includedir/ondrel" $qt "$work/header.cpp" 2>"$work/header.log" \
        || { fail "$name includes what is not installed"; cat "$work/header.log" >&2; }
done

# The icons have the size their folder names.
for size in 16 22 24 32 48 64 128 256; do
    icon=$root/share/icons/hicolor/${size}x${size}/apps/ondrel.png
    [[ -f $icon ]] || continue
    # PNG: width and height are the big-endian words at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [[ $width == "$size" && $height == "$size" ]] || fail "icon ${size}x${size} is ${width}x${height}"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/share/applications/ondrel.desktop" || fail "desktop entry"
fi
grep -qx 'Icon=ondrel' "$root/share/applications/ondrel.desktop" || fail "desktop entry names another icon"
grep -qx 'Exec=ondrel' "$root/share/applications/ondrel.desktop" || fail "desktop entry runs another program"

# --- Shared libraries: soname, version, link name -----------------------------------------
for name in ondrel-platform serport netport linkcore skinwork; do
    real=$lib/lib$name.so.$version
    [[ -f $real && ! -L $real ]] || { fail "missing lib$name.so.$version"; continue; }
    soname=$(readelf -d "$real" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
    [[ $soname == "lib$name.so.$major" ]] || fail "lib$name soname is '$soname'"
    [[ $(readlink "$lib/lib$name.so.$major") == "lib$name.so.$version" ]] || fail "lib$name.so.$major link"
    [[ $(readlink "$lib/lib$name.so") == "lib$name.so.$major" ]] || fail "lib$name.so link"
done

# --- Programs: they run from the installed tree, with the installed libraries ---------------
# Under /usr the installed files carry no search path (the loader's own path finds
# them there); in a staging folder that path is the staging lib folder.
loader=()
[[ $prefix == /usr ]] && loader=(env "LD_LIBRARY_PATH=$lib")
for program in ondrel radiosim; do
    output=$("${loader[@]}" "$root/bin/$program" --version 2>&1)
    # The name and version, then the licence lines.
    [[ $(head -n 1 <<<"$output") == "$program $version" && $output == *"There is NO WARRANTY"* ]] ||
        fail "$program --version printed '$output'"
    while read -r needed arrow path _; do
        [[ $arrow == "=>" ]] || continue
        [[ $path == "not" ]] && { fail "$program: $needed not found"; continue; }
        path=$(realpath -m "$path")
        case $needed in
            libondrel-platform.so.* | libserport.so.* | libnetport.so.* | liblinkcore.so.* | libskinwork.so.*)
                [[ $path == "$lib/"* ]] || fail "$program takes $needed from $path, not from the installed tree" ;;
        esac
    done < <("${loader[@]}" ldd "$root/bin/$program")
done
# The program carries no toolkit: only its window module does. The modules in the
# program's private folder (the window, the telephony plug-in) find the installed
# libraries too.
"${loader[@]}" ldd "$root/bin/ondrel" | grep -q libQt6 && fail "ondrel links Qt; only its window module should"
for module in "$lib/ondrel/ondrel-window.so" "$lib/ondrel/libVoxline.so"; do
    name=$(basename "$module")
    while read -r needed arrow path _; do
        [[ $arrow == "=>" ]] || continue
        [[ $path == "not" ]] && fail "$name: $needed not found"
        case $needed in
            libondrel-platform.so.* | libserport.so.* | libnetport.so.* | liblinkcore.so.* | libskinwork.so.*)
                [[ $(realpath -m "$path") == "$lib/"* ]] || fail "$name takes $needed from $path" ;;
        esac
    done < <("${loader[@]}" ldd "$module")
done

# The remote client, where the build has it.
if [[ -x $build/client/ondrel-client ]]; then
    [[ -f $root/share/man/man1/ondrel-client.1.gz ]] || fail "missing ondrel-client(1)"
    output=$("${loader[@]}" "$root/bin/ondrel-client" --version 2>&1)
    [[ $output == *"$version"* ]] || fail "ondrel-client --version printed '$output'"
fi

# --- --help and the manual page name the same options and exit statuses -----------------------
# Options of the --help text (words beginning with - or --) against the manual page's
# text, and the option headings of the manual page's OPTIONS against --help.
for program in ondrel radiosim; do
    help=$("${loader[@]}" "$root/bin/$program" --help)
    # The page as text: dashes unescaped, font changes dropped.
    page=$(zcat "$root/share/man/man1/$program.1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
    for option in $(grep -oE -- '(^|[ [|,])--?[A-Za-z][-A-Za-z]*' <<<"$help" | grep -oE -- '--?[A-Za-z][-A-Za-z]*' | sort -u); do
        grep -qwF -- "$option" <<<"$page" || fail "$program(1) lacks $option of --help"
    done
    for option in $(awk '/^\.SH OPTIONS/{on=1; next} /^\.SH/{on=0} on && prev==".TP"{print} {prev=$0}' <<<"$page" \
                    | grep -oE -- '(^|[ ,])--?[A-Za-z][-A-Za-z]*' | grep -oE -- '--?[A-Za-z][-A-Za-z]*' | sort -u); do
        grep -qwF -- "$option" <<<"$help" || fail "$program --help lacks $option of $program(1)"
    done
done
statuses=$("${loader[@]}" "$root/bin/ondrel" --help | sed -n '/exit status/,$p' | grep -oE '(^|[ ,:])[0-9]( |$)' | tr -d ' ,:' | sort -u)
page_statuses=$(zcat "$root/share/man/man1/ondrel.1.gz" | awk '/^\.SH EXIT STATUS/{on=1; next} /^\.SH/{on=0} on && prev==".TP"{print} {prev=$0}' \
                | sed 's/^\.B //' | sort -u)
[[ -n $statuses && $statuses == "$page_statuses" ]] || fail "exit statuses: --help '$(echo $statuses)', ondrel(1) '$(echo $page_statuses)'"

# --- A program built against the installed tree ---------------------------------------------
# pkg-config: its files are relative to their own place, so the staging tree works.
export PKG_CONFIG_PATH=$lib/pkgconfig
for module in ondrel-platform serport netport linkcore skinwork; do
    [[ $(pkg-config --modversion "$module" 2>&1) == "$version" ]] || fail "pkg-config $module"
done
cflags=$(pkg-config --cflags linkcore skinwork) libs=$(pkg-config --libs linkcore skinwork)
included=$(realpath -m "$(pkg-config --variable=includedir linkcore)")
[[ $included == "$root/$includedir/ondrel" ]] || fail "pkg-config include folder: $included"
# shellcheck disable=SC2086
if c++ -std=c++20 $flags $cflags "$source/consumer/Consumer.cpp" -o "$work/consumer-pkgconfig" $libs 2>"$work/pc.log"; then
    LD_LIBRARY_PATH=$lib "$work/consumer-pkgconfig" >/dev/null || fail "pkg-config consumer did not run"
else
    cat "$work/pc.log" >&2
    fail "pkg-config consumer did not build"
fi

# find_package: the CMake packages, found by their prefix alone.
if cmake -S "$source/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$root" \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$work/cmake.log" 2>&1 \
    && cmake --build "$work/consumer" >>"$work/cmake.log" 2>&1; then
    grep -q -- "$root/$includedir/ondrel" "$work/consumer/compile_commands.json" 2>/dev/null \
        || grep -rq -- "$root/$includedir/ondrel" "$work/consumer/CMakeFiles/consumer.dir/flags.make" \
        || fail "find_package consumer does not include from the installed tree"
    LD_LIBRARY_PATH=$lib "$work/consumer/consumer" >/dev/null || fail "find_package consumer did not run"
else
    cat "$work/cmake.log" >&2
    fail "find_package consumer did not build"
fi

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed tree under $prefix: all checks passed"
