#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Packages already present are skipped; apt-get update runs only when
# something is missing.
#   install-deps.sh            the Linux build, its tests and the demo
#   install-deps.sh --fuzz     also clang with libFuzzer (scripts/fuzz.sh)
#   install-deps.sh --windows  also the Windows build (MinGW-w64 cross
#                              compiler, GoogleTest sources), Wine to run it
#                              and wixl (msitools) for the MSI
set -euo pipefail

packages=(
  g++ make cmake pkg-config git ca-certificates
  libgtest-dev libgmock-dev
  unixodbc unixodbc-dev odbc-mariadb
  mariadb-server mariadb-client
  faketime procps time mount
  libcli11-dev
  dpkg-dev file man-db lintian php-cli
  chromium zlib1g-dev
)
if [ "${1:-}" = "--fuzz" ]; then
  # clang 14 is Debian 12's; its libFuzzer and sanitizer runtimes come in
  # libclang-rt-14-dev.
  packages+=(clang libclang-rt-14-dev)
elif [ "${1:-}" = "--windows" ]; then
  packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64 wixl msitools)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  # Keep package scripts from starting the system's database service: the
  # tests and the demo run a private server of their own.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | "${as_root[@]}" tee /usr/sbin/policy-rc.d >/dev/null
    "${as_root[@]}" chmod +x /usr/sbin/policy-rc.d
    trap '"${as_root[@]}" rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
