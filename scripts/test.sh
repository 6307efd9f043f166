#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, starts the private
# database server through the test fixtures, runs ctest.
#   scripts/test.sh              Release build in build/, all tests
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/,
#                                unit tests again (end-to-end tests and the
#                                fault sweep excluded)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPEKOLAR_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cd build-asan && ctest --output-on-failure -LE "e2e|sweep" -j"$jobs"
else
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j"$jobs"
  cd build && ctest --output-on-failure -j"$jobs"
fi
