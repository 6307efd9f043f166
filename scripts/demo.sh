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

bash tests/support/mariadb-start.sh "$root/db" >/dev/null
envvalue() { sed -n "s/^$1=//p" "$root/db/env"; }
sql=$(envvalue SQL)
"$sql" -e "INSERT INTO qrvystem.qrv112mnd (MNDLIZ, MNDNUM, MNDEML, MNDSCH, MNDKON)
           VALUES ('L0001', '00001', 'mandant@example.org', 'MANDANT1', 0);"

# The installation: registry store, log directory, working directory.
log=$root/inst/htdocs/PELDAVORN/peldavorn_php/log
mkdir -p "$log" "$root/work/bin" "$root/work/settings" "$root/logs"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANE\\PELDAVORN]\r\n"Path"="%s/inst"\r\n\r\n' \
  "$root" >"$root/registry.reg"

enc() { build/spekolar-encrypt "$1"; }
{
  echo "[PELDAVORN]"
  echo "pvn;DB_SYSTEM;$(enc MYSQL)"
  echo "pvn;DATABASE;$(enc "$(envvalue DSN)")"
  echo "pvn;LOGIN;$(enc "$(envvalue USER)")"
  echo "pvn;PASS;$(enc "$(envvalue PASSWORD)")"
  echo "pvn;SCHEMA;$(enc QRVYSTEM)"
} >"$root/peldavorn.ini"

# Protocol files of today (and a line of yesterday, which is ignored).
iso=$(date +%Y-%m-%d); dotted=$(date +%d.%m.%Y); yesterday=$(date -d yesterday +%d.%m.%Y)
cat >"$root/logs/jobctl_$iso.log" <<LOG
$(date -d yesterday +%Y-%m-%d) 23:59:00: Error of yesterday, ignored
$iso 06:00:00: Job Tagesabschluss gestartet
$iso 06:00:05: Error in job Export; Datei gesperrt
$iso 06:10:00: Service QRVJOBCTL wurde beendet
$iso 06:10:01: Service QRVJOBCTL gestartet
$iso 06:10:02: Error beim Stoppen (suppressed: right after the restart)
$iso 06:30:00: Fehler beim Lesen der Buchungen
LOG
cat >"$root/logs/tagesabschluss.log" <<LOG
$yesterday 22:00:00 Tagesabschluss wird gestartet
$yesterday 22:20:00 Tagesabschluss beendet
$dotted 01:00:00 Tagesabschluss wird gestartet
$dotted 01:05:00 Starte TGB
$dotted 01:20:00 Fehler: Mitarbeiter 4711 ohne Tagesprogramm
$dotted 01:45:00 Tagesabschluss beendet
LOG

cat >"$root/work/settings/Spekolar.ini" <<INI
[SPEKOLAR]
E-Mail=leitstand@example.org

[JOBCONTROLLER]
Typ=1,2
Meldungstyp=E-MAIL
Datei=$root/logs/jobctl_*.log

[TAGESABSCHLUSS]
Typ=1,2
Meldungstyp=FENSTER
MaxLaufzeit=1800
Datei=$root/logs/tagesabschluss.log
INI

cat >"$root/fake-php" <<'SH'
#!/bin/sh
echo "  (mail script $1 would send:)"
sed 's/^/  | /' "${1%/common/*}/log/SPEKOLAR.EML"
SH
chmod +x "$root/fake-php"

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
