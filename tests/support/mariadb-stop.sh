#!/bin/bash
# mariadb-stop.sh DIR - stop the server that mariadb-start.sh DIR started and
# remove everything it made: the temporary folder (data, socket, log) and
# DIR/env, DIR/odbc.ini, DIR/sql. Nothing is left running. Without DIR/env
# there is nothing to stop (exit 0). Exit 1 only when the server would not
# end even after SIGKILL.
set -u

[ $# -eq 1 ] || { echo "usage: mariadb-stop.sh DIR" >&2; exit 1; }
dir=$1
envfile=$dir/env
[ -f "$envfile" ] || exit 0

value() { sed -n "s/^$1=//p" "$envfile" | head -n 1; }
pid=$(value PID)
rundir=$(value RUNDIR)
socket=$(value SOCKET)
root_password=$(value ROOT_PASSWORD)

admin=
for candidate in mariadb-admin /usr/bin/mariadb-admin mysqladmin; do
  if command -v "$candidate" >/dev/null 2>&1; then admin=$(command -v "$candidate"); break; fi
done

# The pid must still be the server: a pid from an old run may have been reused.
is_server() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
    grep -q -e mariadbd -e mysqld "/proc/$pid/cmdline" 2>/dev/null
}

wait_gone() {
  for _ in $(seq 1 "$1"); do
    is_server || return 0
    sleep 0.1
  done
  ! is_server
}

status=0
if is_server; then
  if [ -n "$admin" ] && [ -S "$socket" ]; then
    "$admin" --no-defaults -S "$socket" -uroot -p"$root_password" shutdown >/dev/null 2>&1
  fi
  if ! wait_gone 300; then
    kill "$pid" 2>/dev/null
    if ! wait_gone 100; then
      kill -9 "$pid" 2>/dev/null
      wait_gone 50 || { echo "mariadb-stop: server $pid does not end" >&2; status=1; }
    fi
  fi
fi

# Only ever remove a folder that the start script made.
case "$rundir" in
  /tmp/spkdb.*) rm -rf "$rundir" ;;
esac
rm -f "$dir/env" "$dir/odbc.ini" "$dir/sql"
rmdir "$dir" 2>/dev/null
exit $status
