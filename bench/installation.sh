# bench/installation.sh - sourced by the benchmark scripts: a throwaway
# installation for full spekolar passes (registry store, log folder, working
# folder with ../settings/Spekolar.ini, credentials file, a private MariaDB
# server).
#
# Needs: root (the repository), build (holding spekolar and spekolar-encrypt),
# note (a function printing a message).
# setup_installation: 0 when ready, then `pass` holds the command of one full
#   pass (an array; add the spekolar binary's path with pass_with);
#   1 with a note when no MariaDB server could be started.
# write_config FILE [TYP]: a TAGESABSCHLUSS section (Typ=2 unless given)
#   watching FILE.
# write_sections SECTION TYP DATEI [SECTION TYP DATEI]...: the monitor
#   configuration with these sections (DATEI as the Datei value).
# logdir: the folder that receives SPEKOLAR.TXT (the findings).
# cleanup_installation: stops the server and removes the installation.

inst=
db=
cleanup_installation() {
  if [ -n "$db" ] && [ -f "$db/env" ]; then bash "$root/tests/support/mariadb-stop.sh" "$db" || true; fi
  if [ -n "$inst" ]; then rm -rf "$inst"; fi
}

setup_installation() {
  inst=$(mktemp -d /tmp/spk-bench.XXXXXX)
  db=$inst/db
  if ! bash "$root/tests/support/mariadb-start.sh" "$db" >"$inst/mariadb.log" 2>&1; then
    note "no MariaDB server ($(tail -1 "$inst/mariadb.log")): full pass skipped"
    return 1
  fi
  envval() { sed -n "s/^$1=//p" "$db/env"; }
  mkdir -p "$inst/inst/htdocs/PELDAVORN/peldavorn_php/log" "$inst/work/bin" "$inst/work/settings"
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANE\\PELDAVORN]\r\n"Path"="%s/inst"\r\n\r\n' \
    "$inst" >"$inst/registry.reg"
  local enc="$build/spekolar-encrypt"
  {
    printf '[PELDAVORN]\r\n'
    printf 'pvn;DB_SYSTEM;%s\r\n' "$("$enc" MYSQL)"
    printf 'pvn;DATABASE;%s\r\n' "$("$enc" "$(envval DSN)")"
    printf 'pvn;LOGIN;%s\r\n' "$("$enc" "$(envval USER)")"
    printf 'pvn;PASS;%s\r\n' "$("$enc" "$(envval PASSWORD)")"
    printf 'pvn;SCHEMA;%s\r\n' "$("$enc" QRVYSTEM)"
  } >"$inst/peldavorn.ini"
  "$db/sql" -e "INSERT INTO qrvystem.qrv112mnd (MNDLIZ, MNDNUM, MNDEML, MNDSCH, MNDKON)
                VALUES ('L0001', '00001', 'mandant@example.org', 'MANDANT1', 0);"
  pass_env=(env -C "$inst/work/bin" SPEKOLAR_REGISTRY="$inst/registry.reg" ODBCINI="$(envval ODBCINI)")
  pass=("${pass_env[@]}" "$build/spekolar" "$inst/peldavorn.ini")
}

# pass_with BINARY: the command of one full pass with another spekolar build.
pass_with() { pass=("${pass_env[@]}" "$1" "$inst/peldavorn.ini"); }

write_config() {  # write_config FILE [TYP]
  printf '[SPEKOLAR]\nE-Mail=admin@example.org\n[TAGESABSCHLUSS]\nTyp=%s\nMeldungstyp=FENSTER\nDatei=%s\n' \
    "${2:-2}" "$1" >"$inst/work/settings/Spekolar.ini"
}

write_sections() {
  {
    printf '[SPEKOLAR]\nE-Mail=admin@example.org\n'
    while [ $# -ge 3 ]; do
      printf '[%s]\nTyp=%s\nMeldungstyp=FENSTER\nDatei=%s\n' "$1" "$2" "$3"
      shift 3
    done
  } >"$inst/work/settings/Spekolar.ini"
}

logdir() { echo "$inst/inst/htdocs/PELDAVORN/peldavorn_php/log"; }
