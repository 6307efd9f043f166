#!/usr/bin/env bash
# One real pass under the installed spekolar.service's restrictions, for
# machines where systemd is not PID 1 and cannot start the unit itself.
#
# It reads the installed unit's User=, Group=, UMask=, EnvironmentFile= and
# ExecStart=, and ReadWritePaths= from the unit and from the drop-in its
# generator writes, lays out the demo installation (scripts/demo-installation.sh)
# with the permissions the README asks for, and runs ExecStart as that user
# in a mount namespace shaped like the unit's: everything read-only but the
# ReadWritePaths=, private /tmp and /var/tmp, no /home or /root, no new
# privileges, no capabilities, and no writable executable memory (the mail
# interpreter is the real PHP from the environment file, over a stand-in
# mail script). The system call filter and the address families are not
# reproduced. Then the demo's findings must be in the log directory and the
# database, the mail must have been "sent", and nothing may have been
# written anywhere else in the installation.
#   tests/package/service-pass.sh     (as root, with the package installed;
#                                     KEEP=1 keeps the installation and the
#                                     pass's output for a look)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
unit=/lib/systemd/system/spekolar.service
generator=/lib/systemd/system-generators/spekolar-generator

fail() { echo "service-pass: FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (namespaces, the service's user)"
[ -r "$unit" ] && [ -x "$generator" ] || fail "the spekolar package is not installed"

# The unit's last assignment of KEY (later ones win, as in systemd).
setting() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }
user=$(setting User); group=$(setting Group); umask_value=$(setting UMask)
envfile=$(setting EnvironmentFile); execstart=$(setting ExecStart)
[ -n "$user" ] && [ -n "$group" ] && [ -n "$envfile" ] && [ -n "$execstart" ] ||
  fail "User=, Group=, EnvironmentFile= or ExecStart= missing in $unit"
id "$user" >/dev/null 2>&1 || fail "the unit's user $user does not exist"
# The settings reproduced below must be the unit's.
for line in ProtectSystem=strict PrivateTmp=yes ProtectHome=yes NoNewPrivileges=yes \
  CapabilityBoundingSet= MemoryDenyWriteExecute=yes; do
  grep -qx "$line" "$unit" || fail "the unit has no $line"
done

# The demo installation, outside /tmp, /home and /root, which the unit hides.
root=$(mktemp -d /opt/spekolar-service-test.XXXXXX)
cleanup() {
  bash "$repo/tests/support/mariadb-stop.sh" "$root/db" >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$root"
}
trap cleanup EXIT
bash "$repo/scripts/demo-installation.sh" "$root" /usr/bin/spekolar-encrypt
dbvalue() { sed -n "s/^$1=//p" "$root/db/env"; }
log=$root/inst/htdocs/PELDAVORN/peldavorn_php/log
rundir=$(dbvalue RUNDIR)

# A stand-in for the product's mail script, run by the real interpreter:
# it "sends" SPEKOLAR.EML by copying it beside, through regular expressions
# as a mailer would (PHP's PCRE, which wants JIT memory).
mailer=$root/inst/htdocs/PELDAVORN/peldavorn_php/common/Classes/phpMailer2
mkdir -p "$mailer"
cat >"$mailer/sendmail_Spk.php" <<'PHP'
<?php
$log = dirname(__DIR__, 3) . '/log';
$text = file_get_contents("$log/SPEKOLAR.EML");
// Sender and recipient on the first two lines, then the text.
$lines = $text === false ? [] : preg_split('/\r?\n/', $text);
if (count($lines) < 3 || !preg_match('/^[^\s@]+@[^\s@]+$/', $lines[1])) {
  fwrite(STDERR, "sendmail_Spk.php: no mail text\n");
  exit(1);
}
file_put_contents("$log/mail-sent.txt", "To: $lines[1]\n$text");
PHP

# Permissions as README "Install on a server" gives them: the log directory
# the group spekolar's (setgid, so the files stay in it), the credentials
# readable by that group only, the registry store only readable (a pass
# opens the product's key for reading), the rest readable as installed. The private
# server's folder is opened to others the way /run/mysqld is.
chmod 755 "$root" "$rundir"
chgrp "$group" "$log" && chmod 2770 "$log"
chgrp "$group" "$root/peldavorn.ini" && chmod 640 "$root/peldavorn.ini"
chmod 644 "$root/registry.reg"

# The site's environment file: the installed one with the demo's paths, as
# an operator would edit it; peldavorn_php_bin stays as shipped.
work=$(mktemp -d /tmp/spekolar-service-test.XXXXXX)
trap 'cleanup; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
siteenv=$work/spekolar.default
sed -e "s|^SPEKOLAR_DIRECTORY=.*|SPEKOLAR_DIRECTORY=$root/work/bin|" \
    -e "s|^SPEKOLAR_CONFIG=.*|SPEKOLAR_CONFIG=$root/peldavorn.ini|" \
    -e "s|^SPEKOLAR_REGISTRY=.*|SPEKOLAR_REGISTRY=$root/registry.reg|" \
    -e "s|^SPEKOLAR_LOG_DIRECTORY=.*|SPEKOLAR_LOG_DIRECTORY=$log|" "$envfile" >"$siteenv"
[ -f /etc/odbc.ini ] || fail "no /etc/odbc.ini (unixodbc-common)"
php_bin=$(sed -n 's/^peldavorn_php_bin="*//p' "$siteenv")
command -v "${php_bin%% *}" >/dev/null || fail "the mail interpreter $php_bin is not installed"
mkdir "$work/generator" "$root/db.socket"

touch "$root/before"
sleep 1
# Everything below runs in a mount namespace of its own; the machine's
# mounts stay as they are.
export user group umask_value envfile execstart unit generator siteenv rundir root work
cat >"$work/sandbox.sh" <<'SANDBOX'
set -euo pipefail
# The site file in place of the installed one: generator and pass read it.
mount --bind "$siteenv" "$envfile"
# The demo data source as the system one, where the README puts it.
mount --bind "$root/db/odbc.ini" /etc/odbc.ini
"$generator" "$work/generator" "$work/generator" "$work/generator"
writable=$(cat "$unit" "$work"/generator/spekolar.service.d/*.conf |
  sed -n "s/^ReadWritePaths=//p" | tr -d "\"")
[ -n "$writable" ] || { echo "no ReadWritePaths= in the unit or its drop-in" >&2; exit 90; }
echo "service-pass: as $user:$group, UMask=$umask_value, writable only: $writable" >&2

# The database server socket kept aside before /tmp is replaced.
mount --bind "$rundir" "$root/db.socket"
# ProtectSystem=strict: every mount read-only, the API file systems aside.
for m in $(awk "{print \$5}" /proc/self/mountinfo | sort -u); do
  case $m in /proc | /proc/* | /dev | /dev/* | /sys | /sys/*) continue ;; esac
  mount -o remount,bind,ro "$m" 2>/dev/null || true
done
# Even root may write none of it now, the installation included.
for probe in /etc/.spekolar-probe "$root/.probe"; do
  if touch "$probe" 2>/dev/null; then
    rm -f "$probe"; echo "$(dirname "$probe") is still writable" >&2; exit 91
  fi
done
# ReadWritePaths=: writable again, each on its own.
for w in $writable; do mount --bind "$w" "$w" && mount -o remount,bind,rw "$w"; done
# PrivateTmp=: empty /tmp and /var/tmp of its own, with the private
# server socket where the odbc.ini names it (a real server: /run/mysqld).
mount -t tmpfs -o mode=1777 tmpfs /tmp && mount -t tmpfs -o mode=1777 tmpfs /var/tmp
mkdir "$rundir" && mount --bind "$root/db.socket" "$rundir"
# ProtectHome=: /home, /root and /run/user empty and read-only.
for h in /home /root /run/user; do
  if [ -d "$h" ]; then mount -t tmpfs -o ro,mode=755 tmpfs "$h"; fi
done

# The environment file as systemd reads it: KEY=value lines, one pair of
# enclosing quotes dropped.
env_args=()
while IFS= read -r line; do
  case $line in "" | "#"* | ";"*) continue ;; esac
  key=${line%%=*} value=${line#*=}
  case $value in \"*\" | \'*\') value=${value:1:${#value}-2} ;; esac
  env_args+=("$key=$value")
done <"$envfile"
# MemoryDenyWriteExecute=: prctl(PR_SET_MDWE, PR_MDWE_REFUSE_EXEC_GAIN),
# Linux 6.3 and later, inherited by the mail interpreter; syscall 157 is
# prctl on x86-64.
mdwe=()
if [ "$(uname -m)" = x86_64 ]; then
  mdwe=(perl -e "syscall(157, 65, 1, 0, 0, 0) == 0 or die qq(PR_SET_MDWE: \$!\n); exec {\$ARGV[0]} @ARGV")
fi
umask "$umask_value"
# NoNewPrivileges=, CapabilityBoundingSet= empty, User=, Group=; then
# ExecStart= as written, each ${VAR} one word.
setpriv --reuid="$user" --regid="$group" --init-groups --no-new-privs \
  --bounding-set=-all --inh-caps=-all -- "${mdwe[@]}" \
  env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${env_args[@]}" \
  bash -c "set -f; IFS=; eval \"exec \$0\"" "$execstart" || { rc=$?; echo "pass exit $rc" >&2; exit $rc; }
SANDBOX
# A private mount namespace needs / to be a mount point; in a chroot (a
# bare-system CI run) it is not, and no read-only view can be made safely.
if ! mountpoint -q /; then
  echo "service-pass: SKIP: / is not a mount point here (a chroot): no private read-only view of it"
  exit 0
fi
set +e
unshare -m --propagation private bash "$work/sandbox.sh" >"$work/pass.out" 2>"$work/pass.err"
code=$?
set -e
cat "$work/pass.out" "$work/pass.err"
[ "$code" -eq 0 ] || fail "the pass exited $code"

# The demo's findings, from the log directory (Windows-1252 text).
txt() { iconv -f CP1252 -t UTF-8 "$log/$1"; }
for f in SPEKOLAR.log SPEKOLAR.TXT SPEKOLAR.NRT SPEKOLAR.EML mail-sent.txt; do
  [ -s "$log/$f" ] || fail "$f not written in the log directory"
done
for want in "JOBCONTROLLER;2;.*Error in job Export" "JOBCONTROLLER;2;.*Fehler beim Lesen der Buchungen" \
            "TAGESABSCHLUSS;1;.*;1800;2700;" "TAGESABSCHLUSS;2;.*Mitarbeiter 4711"; do
  txt SPEKOLAR.TXT | grep -q -- "$want" || fail "finding $want not in SPEKOLAR.TXT"
done
txt SPEKOLAR.TXT | grep -q "Error beim Stoppen" && fail "the suppressed error was reported"
txt SPEKOLAR.TXT | grep -q "of yesterday" && fail "a line of yesterday was reported"
grep -q "^To: leitstand@example.org" "$log/mail-sent.txt" || fail "the mail script did not send the mail text"
grep -qi "JIT" "$work/pass.err" && fail "the mail interpreter warned about its JIT"
rows=$("$(dbvalue SQL)" -N -e "SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG")
[ "$rows" -ge 4 ] || fail "$rows message rows in the database, expected at least 4"
# Files created under UMask=0027, in the log directory's group.
stat -c '%a %G %n' "$log"/SPEKOLAR.log "$log"/SPEKOLAR.TXT
[ "$(stat -c %a "$log/SPEKOLAR.TXT")" = 640 ] || fail "SPEKOLAR.TXT is not 0640 (UMask=$umask_value)"
# Nothing written in the installation outside the log directory (the
# registry store is only read).
others=$(find "$root" -newer "$root/before" ! -path "$log" ! -path "$log/*" ! -path "$root/db" ! -path "$root/db/*")
[ -z "$others" ] || fail "written outside the log directory: $others"
echo "service-pass: OK: a pass as $user found the demo's findings ($rows message rows) and wrote only $log"
