#!/usr/bin/env bash
# One real pass of spekolar in a throwaway installation:
#   - a private MariaDB server with the product's tables and one tenant,
#   - a registry store naming the installation directory,
#   - an encrypted credentials file written with spekolar-encrypt,
#   - a monitor configuration with job controller and daily closing sections,
#   - protocol files with today's date and a few errors,
#   - a stand-in for the mail script (%peldavorn_php_bin%) that prints the mail.
# Then it shows what an operator would look at, stops the server and removes
# everything it made.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target spekolar spekolar-encrypt >/dev/null

root=$(mktemp -d /tmp/spekolar-demo.XXXXXX)
cleanup() {
  bash "$repo/tests/support/mariadb-stop.sh" "$root/db" >/dev/null 2>&1 || true
  rm -rf "$root"
}
trap cleanup EXIT

bash scripts/demo-installation.sh "$root" build/spekolar-encrypt
envvalue() { sed -n "s/^$1=//p" "$root/db/env"; }
sql=$(envvalue SQL)
log=$root/inst/htdocs/PELDAVORN/peldavorn_php/log

echo "== spekolar $root/peldavorn.ini"
set +e
(cd "$root/work/bin" && SPEKOLAR_REGISTRY=$root/registry.reg ODBCINI=$(envvalue ODBCINI) \
  peldavorn_php_bin=$root/fake-php "$repo/build/spekolar" "$root/peldavorn.ini")
code=$?
set -e
echo "== exit code: $code"
for f in SPEKOLAR.log SPEKOLAR.TXT SPEKOLAR.NRT SPEKOLAR.EML; do
  echo "== $f (Windows-1252, shown as UTF-8)"
  if [ -f "$log/$f" ]; then iconv -f CP1252 -t UTF-8 "$log/$f"; else echo "(none)"; fi
done
echo "== message rows"
"$sql" --table -e "SELECT MsgUid, MsgCat, MsgTxt, MsgMod, LEFT(MsgDbg, 70) AS MsgDbg
                   FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid" | iconv -f CP1252 -t UTF-8
