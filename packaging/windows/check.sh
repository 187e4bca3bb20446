#!/usr/bin/env bash
# Cross-compiles the driver binding, the help launcher and the simulated controller for
# 64-bit and 32-bit Windows, and checks that the 32-bit driver functions are __stdcall
# while the DLL exports them under their plain names. Then runs the 64-bit binding and help
# launcher under Wine: where the library search finds bexor.dll and where it must not, a
# library that lacks a function, and the editor the help button starts.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() { echo "windows check: $*" >&2; exit 1; }
# The driver's functions, from the one list in the interface header, as CMake reads them.
functions=$(sed -n 's/^ *X(\([A-Za-z]*\),.*/\1/p' drawer/apideclarations.h | sort)
[ -n "$functions" ] || fail "no X(name, ...) line found in drawer/apideclarations.h"

for arch in x86_64 i686; do
    build=build-windows-$arch
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCRTEST_NO_QT=ON \
        -DCMAKE_TOOLCHAIN_FILE="packaging/windows/mingw-w64-$arch.cmake" >/dev/null
    cmake --build "$build"
    # The export table names the driver functions, undecorated, and nothing else.
    exports=$($arch-w64-mingw32-objdump -p "$build/sim/bexor.dll" \
        | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] \(.*\)$/\1/p' | sort)
    [ "$exports" = "$functions" ] || fail "$build/sim/bexor.dll exports" $exports
    # The version record gives 2.00 as file and product version, in UTF-16 as Windows keeps it.
    versions=$(strings -el "$build/windows_check.exe" | grep -A1 -xE 'FileVersion|ProductVersion' || true)
    [ "$(grep -cx '2.00' <<<"$versions")" -eq 2 ] || fail "version record is not 2.00"
done

# __stdcall decorates a 32-bit name with the size of its arguments.
stdcall=$(i686-w64-mingw32-nm build-windows-i686/sim/CMakeFiles/bexor.dir/simulated_controller.cpp.obj \
    | sed -n 's/^.* T _\([A-Za-z]*\)@[0-9]*$/\1/p' | sort)
[ "$stdcall" = "$functions" ] || fail "the 32-bit functions that are __stdcall:" $stdcall
echo "windows check: both architectures build; the 32-bit functions are __stdcall, exported undecorated"

# Under Wine, 64-bit only: Debian's wine32 needs a kernel that runs 32-bit programs.
build=build-windows-x86_64
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || fail "$wine is missing: Debian's wine64 runs the Windows cases"
# A prefix of the build's own, no display, none of Wine's own chatter, and no server left
# behind to hold up whoever runs this.
export WINEPREFIX=$PWD/$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
cases=$build/wine-cases
rm -rf "$cases"
mkdir -p "$cases"/{app,cwd,path}
cp "$build/windows_check.exe" "$build/NOTEPAD.EXE" "$cases/app/"
timeout 120 "$wine" wineboot -i >"$cases/wineboot.log" 2>&1 \
    || fail "Wine could not set up $WINEPREFIX: $(cat "$cases/wineboot.log")"
windir=$WINEPREFIX/drive_c/windows

# The folder as Wine's programs see it: drive Z: is the root of the file system.
winpath() { local dir; dir=Z:$(cd "$1" && pwd -P); echo "${dir//\//\\}"; }

failed=0
# run_case WHAT FOLDER LIBRARY ARGUMENTS...: runs the program from the app folder, in the
# cwd folder, with the path folder on PATH and LIBRARY, if any, as FOLDER/bexor.dll.
run_case() {
    local what=$1 folder=$2 library=$3
    shift 3
    rm -f "$cases"/{app,cwd,path}/bexor.dll "$windir/bexor.dll"
    [ -z "$library" ] || cp "$library" "$folder/bexor.dll"
    if (cd "$cases/cwd" && WINEPATH=$(winpath ../path) BEXOR_SIM_OPEN_MS=600000 \
            timeout 120 "$wine" ../app/windows_check.exe "$@") >"$cases/output" 2>&1; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        grep -v '^ok - ' "$cases/output" | sed 's/^/     /'
        failed=$((failed + 1))
    fi
}

sim=$build/sim/bexor.dll
run_case "bexor.dll beside the program: bound" \
    "$cases/app" "$sim" bound "$(winpath "$cases/app")\\bexor.dll"
run_case "bexor.dll in the current directory only: not loaded" \
    "$cases/cwd" "$sim" refused "bexor.dll: "
run_case "bexor.dll in a folder on PATH only: bound" \
    "$cases/path" "$sim" bound "$(winpath "$cases/path")\\bexor.dll"
run_case "bexor.dll in the Windows folder only: bound" \
    "$windir" "$sim" bound 'C:\windows\bexor.dll'
for name in $functions; do
    run_case "bexor.dll without $name: refused before any call" \
        "$cases/app" "$build/faults/faultdriver_without_$name.dll" refused "bexor.dll: $name: "
done
run_case "help: NOTEPAD.EXE Readme.Txt started, not awaited, shown without focus" \
    "" "" help

echo "wine: $failed failed"
[ "$failed" -eq 0 ]
