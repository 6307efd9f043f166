#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 and runs their tests under Wine:
# the unit tests as Windows programs, and the end-to-end tests of
# spekolar.exe (driven from the Linux build in build/, which they are
# compared with) against a private MariaDB server. Packs the two programs
# and the Windows README with cpack into build-windows/spekolar-*.zip.
# Installs what is missing (MinGW-w64, GoogleTest's sources, Wine) first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --windows

jobs=$(nproc 2>/dev/null || echo 2)
# The end-to-end driver and the Linux programs it compares with.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs" --target e2e_windows_tests spekolar spekolar-encrypt

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DSPEKOLAR_LINUX_BUILD="$PWD/build" >/dev/null
prefix=$(sed -n 's/^SPEKOLAR_WINEPREFIX:PATH=//p' build-windows/CMakeCache.txt)
# Whatever happens, no wineserver outlives the run.
stop="$PWD/tests/support/wine-stop.sh"
trap 'bash "$stop" "$prefix"' EXIT
cmake --build build-windows -j"$jobs"
(cd build-windows && cpack -G ZIP >/dev/null)

cd build-windows && ctest --output-on-failure -j"$jobs"
