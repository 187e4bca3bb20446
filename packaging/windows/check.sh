#!/usr/bin/env bash
# Cross-compiles the driver binding, the help launcher and the simulated controller for
# 64-bit and 32-bit Windows, and checks that the 32-bit driver functions are __stdcall
# while the DLL exports them under their plain names.
set -euo pipefail
cd "$(dirname "$0")/../.."

for arch in x86_64 i686; do
    build=build-windows-$arch
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCRTEST_NO_QT=ON \
        -DCMAKE_TOOLCHAIN_FILE="packaging/windows/mingw-w64-$arch.cmake" >/dev/null
    cmake --build "$build"
    dll=$build/sim/bexor.dll
    exports=$($arch-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
    for name in OpenBexor CloseBexor DrawerOpen DrawerState RetrieveStatistics; do
        grep -qE "\] $name\$" <<<"$exports" || { echo "$dll does not export $name" >&2; exit 1; }
    done
    [ "$(grep -cE '^\s*\[ *[0-9]+\] ' <<<"$exports")" -eq 5 ] || { echo "$dll exports more than the five functions" >&2; exit 1; }
    # The version record gives 2.00 as file and product version, in UTF-16 as Windows keeps it.
    versions=$(strings -el "$build/windows_check.exe" | grep -A1 -xE 'FileVersion|ProductVersion')
    [ "$(grep -cx '2.00' <<<"$versions")" -eq 2 ] || { echo "version record is not 2.00" >&2; exit 1; }
    $arch-w64-mingw32-objdump -h "$build/windows_check.exe" | grep -q '\.rsrc' \
        || { echo "no resources in the program" >&2; exit 1; }
done

# __stdcall decorates a 32-bit name with the size of its arguments.
symbols=$(i686-w64-mingw32-nm build-windows-i686/sim/CMakeFiles/bexor.dir/simulated_controller.cpp.obj)
for decorated in _OpenBexor@0 _CloseBexor@0 _DrawerOpen@4 _DrawerState@4 _RetrieveStatistics@16; do
    grep -qE " T $decorated\$" <<<"$symbols" || { echo "32-bit $decorated is not __stdcall" >&2; exit 1; }
done
echo "windows check: both architectures build; the 32-bit functions are __stdcall, exported undecorated"
