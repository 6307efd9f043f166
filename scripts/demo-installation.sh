#!/usr/bin/env bash
# demo-installation.sh ROOT ENCRYPT - lays out a throwaway PELDAVORN
# installation in the folder ROOT and starts its private MariaDB server, for
# scripts/demo.sh and the service test in tests/package. ENCRYPT is the
# spekolar-encrypt program to write the credentials with. Stop the server
# with tests/support/mariadb-stop.sh ROOT/db; then ROOT may be removed.
#   ROOT/db/            the server's env, odbc.ini (export ODBCINI) and sql
#                       (tests/support/mariadb-start.sh); the tenant L0001
#   ROOT/registry.reg   the registry store, naming ROOT/inst
#   ROOT/inst/htdocs/PELDAVORN/peldavorn_php/log   the log directory, empty
#   ROOT/peldavorn.ini  the encrypted credentials (the program's argument)
#   ROOT/work/bin       the working directory of a pass, whose
#                       ../settings/Spekolar.ini watches with JOBCONTROLLER
#                       (E-MAIL) and TAGESABSCHLUSS (FENSTER, MaxLaufzeit 1800)
#   ROOT/logs/          today's protocol files: two job controller errors
#                       (one suppressed after the restart), a daily closing
#                       of 45 minutes with one error, lines of yesterday
#   ROOT/fake-php       a stand-in for the mail interpreter that prints the
#                       mail (peldavorn_php_bin)
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: demo-installation.sh ROOT ENCRYPT" >&2; exit 2; }
root=$1
encrypt=$2
cd "$(dirname "$0")/.."

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

enc() { "$encrypt" "$1"; }
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
