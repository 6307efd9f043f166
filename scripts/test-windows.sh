#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 and runs their tests under Wine:
# the unit tests as Windows programs, and the end-to-end tests of
# spekolar.exe (driven from the Linux build in build/, which they are
# compared with) against a private MariaDB server, and the MSI installed,
# run and removed with Wine's msiexec. Packs the two programs, the Windows
# README and the scheduled task with cpack into build-windows/spekolar-*.zip;
# the build itself makes build-windows/spekolar-*.msi with wixl.
# Installs what is missing (MinGW-w64, GoogleTest's sources, Wine, wixl)
# first. (Only the ZIP and the MSI, without tests or Wine: docs/windows.md.)
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
# README.txt in the ZIP has CR LF line ends only (older Notepad shows LF
# text as one line).
readme=$(mktemp -d)
(cd "$readme" && cmake -E tar xf "$OLDPWD"/build-windows/spekolar-*-win64.zip README.txt)
if grep -qv $'\r$' "$readme/README.txt" || [ ! -s "$readme/README.txt" ]; then
  echo "test-windows: README.txt in the ZIP has lines without CR LF" >&2
  exit 1
fi
rm -rf "$readme"

cd build-windows && ctest --output-on-failure -j"$jobs"
