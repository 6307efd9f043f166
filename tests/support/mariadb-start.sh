#!/bin/bash
# mariadb-start.sh DIR - start a private MariaDB server for tests and demos.
#
# The server listens on a Unix socket only (no network), keeps its data in a
# fresh temporary folder under /tmp, and holds the database QRVYSTEM with the
# product's tables from db/schema.sql (latin1, lower_case_table_names=1).
# Stop it with mariadb-stop.sh DIR; that removes everything this script made.
#
# Contract (what callers may rely on):
#   DIR/env       KEY=value lines, no quotes, no blanks; source it in a
#                 subshell or parse it (USER would override the shell's own):
#                   SOCKET         the server's Unix socket
#                   ODBCINI        DIR/odbc.ini (export it for ODBC clients)
#                   DSN            SPKTEST, the data source in that file
#                   DATABASE       QRVYSTEM
#                   USER           spekolar  (all rights on QRVYSTEM)
#                   PASSWORD       secret
#                   ROOT_PASSWORD  the server's root password (random)
#                   SQL            DIR/sql
#                   PID            the server's process id
#                   RUNDIR         the temporary folder (data, socket, log)
#   DIR/odbc.ini  [SPKTEST] over the MariaDB ODBC driver, latin1, so
#                 Windows-1252 bytes pass unchanged in both directions.
#   DIR/sql       runs the mariadb client as root on QRVYSTEM (latin1);
#                 arguments are passed on, SQL may come on stdin:
#                   DIR/sql -N -e "SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG"
#
# Tests that share the server change the same tables, so under ctest they
# require the fixture "mariadb" and hold the resource lock "mariadb" (see
# tests/db/CMakeLists.txt). A server still recorded in DIR/env from an
# aborted run is stopped first. Exit 0 when the server is ready; otherwise
# a message on stderr, exit 1, and nothing left running. A missing server
# installation is an error, never a silent skip.
set -u

die() {
  echo "mariadb-start: $*" >&2
  exit 1
}

[ $# -eq 1 ] || die "usage: mariadb-start.sh DIR"
dir=$1
here=$(cd "$(dirname "$0")" && pwd)
schema=$here/../../db/schema.sql
[ -r "$schema" ] || die "schema file $schema not readable"

# The server binaries live in sbin, which is not always on PATH.
find_tool() {
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
    for prefix in /usr/sbin /usr/local/sbin /usr/bin /usr/local/bin; do
      if [ -x "$prefix/$name" ]; then echo "$prefix/$name"; return 0; fi
    done
  done
  return 1
}
server=$(find_tool mariadbd mysqld) ||
  die "mariadbd not found: install the packages mariadb-server and odbc-mariadb"
install_db=$(find_tool mariadb-install-db mysql_install_db) || die "mariadb-install-db not found"
client=$(find_tool mariadb mysql) || die "mariadb client not found"
admin=$(find_tool mariadb-admin mysqladmin) || die "mariadb-admin not found"

# The ODBC driver: by its registered name if there is one, else by its path.
driver=
if grep -q '^\[MariaDB Unicode\]' /etc/odbcinst.ini 2>/dev/null; then
  driver="MariaDB Unicode"
else
  for lib in /usr/lib/*/odbc/libmaodbc.so /usr/lib/odbc/libmaodbc.so /usr/lib/*/libmaodbc.so; do
    if [ -e "$lib" ]; then driver=$lib; break; fi
  done
fi
[ -n "$driver" ] || die "MariaDB ODBC driver not found: install the package odbc-mariadb"

if [ -f "$dir/env" ]; then
  bash "$here/mariadb-stop.sh" "$dir" || die "could not stop the server of an earlier run"
fi
mkdir -p "$dir" || die "cannot create $dir"
dir=$(cd "$dir" && pwd)

# A short folder: Unix socket paths are limited to 107 bytes.
rundir=$(mktemp -d /tmp/spkdb.XXXXXX) || die "mktemp failed"
socket=$rundir/sock
pidfile=$rundir/pid
log=$rundir/error.log
user=$(id -un)
root_password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')

fail() {
  echo "mariadb-start: $*" >&2
  [ -f "$log" ] && tail -n 30 "$log" >&2
  pid=${server_pid:-}
  [ -s "$pidfile" ] && pid=$(cat "$pidfile")
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  fi
  rm -rf "$rundir"
  exit 1
}

# --force: skip the host name check, which fails on machines whose own name
# (or even localhost) does not resolve, such as a bare container; the server
# is reached through its socket only.
"$install_db" --no-defaults --force --user="$user" --datadir="$rundir/data" \
  --auth-root-authentication-method=normal --skip-test-db --lower-case-table-names=1 \
  >"$rundir/install.log" 2>&1 || { cat "$rundir/install.log" >&2; fail "mariadb-install-db failed"; }

# Detached from the caller's terminal and pipes, so ctest does not wait for it.
# A test server need not survive a crash: commits are not flushed to disk one
# by one, which would make the tests that insert thousands of rows wait on
# the disk.
setsid "$server" --no-defaults --user="$user" --datadir="$rundir/data" --socket="$socket" \
  --skip-networking --lower-case-table-names=1 --character-set-server=latin1 \
  --innodb-flush-log-at-trx-commit=0 \
  --collation-server=latin1_swedish_ci --pid-file="$pidfile" --log-error="$log" \
  --skip-name-resolve </dev/null >/dev/null 2>&1 &
server_pid=$!

ready=
for _ in $(seq 1 300); do
  if [ -S "$socket" ] && "$admin" --no-defaults -S "$socket" -uroot ping >/dev/null 2>&1; then
    ready=1
    break
  fi
  kill -0 "$server_pid" 2>/dev/null || fail "server exited during start-up"
  sleep 0.1
done
[ -n "$ready" ] || fail "server did not become ready within 30 s"

"$client" --no-defaults -S "$socket" -uroot >"$rundir/setup.log" 2>&1 <<EOF || { cat "$rundir/setup.log" >&2; fail "setting up users and the database failed"; }
ALTER USER root@localhost IDENTIFIED BY '$root_password';
CREATE DATABASE QRVYSTEM CHARACTER SET latin1 COLLATE latin1_swedish_ci;
CREATE USER spekolar@localhost IDENTIFIED BY 'secret';
GRANT ALL PRIVILEGES ON QRVYSTEM.* TO spekolar@localhost;
FLUSH PRIVILEGES;
EOF
"$client" --no-defaults -S "$socket" -uroot -p"$root_password" --default-character-set=latin1 \
  QRVYSTEM <"$schema" >"$rundir/schema.log" 2>&1 || { cat "$rundir/schema.log" >&2; fail "loading $schema failed"; }

(
set -e
cat >"$dir/odbc.ini" <<EOF
[SPKTEST]
Driver=$driver
Socket=$socket
Database=QRVYSTEM
Charset=latin1
EOF

cat >"$dir/sql" <<EOF
#!/bin/bash
exec "$client" --no-defaults -S "$socket" -uroot -p"$root_password" --default-character-set=latin1 QRVYSTEM "\$@"
EOF
chmod +x "$dir/sql"

cat >"$dir/env" <<EOF
SOCKET=$socket
ODBCINI=$dir/odbc.ini
DSN=SPKTEST
DATABASE=QRVYSTEM
USER=spekolar
PASSWORD=secret
ROOT_PASSWORD=$root_password
SQL=$dir/sql
PID=$(cat "$pidfile")
RUNDIR=$rundir
EOF
) || fail "cannot write the files in $dir"
echo "mariadb-start: server $(cat "$pidfile") ready on $socket"
