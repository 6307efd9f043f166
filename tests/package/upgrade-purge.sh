#!/usr/bin/env bash
# Install, upgrade and purge of the spekolar package, as an operator would
# with apt-get, comparing file lists:
#   - installed, dpkg -L lists no file outside the package's own places and
#     the maintainer scripts created the system user spekolar;
#   - a site change to /etc/default/spekolar survives the upgrade to the
#     second build (a higher version), which lists the same files;
#   - purged, the machine holds exactly the files it held before the
#     install (the user and group gone, /etc/default/spekolar too), and the
#     product's files that the site gave the group spekolar are still there.
#   tests/package/upgrade-purge.sh FIRST.deb SECOND.deb   (as root; a
#   spekolar package installed before is purged first)
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: upgrade-purge.sh FIRST.deb SECOND.deb" >&2; exit 2; }
first=$(realpath "$1")
second=$(realpath "$2")
fail() { echo "upgrade-purge: FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root"
apt() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get $*"; }
}
installed_version() { dpkg-query -W -f='${Status} ${Version}' spekolar 2>/dev/null | sed -n 's/^install ok installed //p'; }

work=$(mktemp -d /tmp/spekolar-upgrade-test.XXXXXX)
product=$(mktemp -d /opt/spekolar-upgrade-test.XXXXXX)
trap 'rm -rf "$work" "$product"' EXIT

# The machine's files, less the package managers' own records and caches.
snapshot() {
  find /etc /usr /lib /opt /var/lib -xdev \
    \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache -o -path "$product" \) -prune \
    -o ! -path '/etc/*-' ! -path /etc/.pwd.lock -print | LC_ALL=C sort
  cat /etc/passwd /etc/group
}

if [ -n "$(installed_version)" ]; then apt purge spekolar; fi
getent passwd spekolar >/dev/null && fail "a user spekolar exists without the package"
mkdir -p "$product/log" && echo "product's own" >"$product/log/SPEKOLAR.log"
snapshot >"$work/before"

# Install.
apt install "$first"
v1=$(installed_version)
dpkg -L spekolar | while IFS= read -r f; do
  [ -d "$f" ] && continue
  case $f in
    /usr/bin/spekolar | /usr/bin/spekolar-encrypt | /usr/share/doc/spekolar/* | \
      /usr/share/man/man1/spekolar.1.gz | /usr/share/man/man1/spekolar-encrypt.1.gz | \
      /lib/systemd/system/spekolar.service | /lib/systemd/system/spekolar.timer | \
      /lib/systemd/system-generators/spekolar-generator | /etc/default/spekolar | \
      /usr/share/lintian/overrides/spekolar) ;;
    *) echo "$f" ;;
  esac
done >"$work/outside"
[ ! -s "$work/outside" ] || fail "files outside the package's places: $(cat "$work/outside")"
dpkg -L spekolar | LC_ALL=C sort >"$work/files1"
uid=$(id -u spekolar) || fail "postinst did not create the user spekolar"
[ "$(getent passwd spekolar | cut -d: -f6,7)" = /nonexistent:/usr/sbin/nologin ] ||
  fail "the user spekolar has a home or a login: $(getent passwd spekolar)"
# The site's permissions (README) and its change to the environment file.
chgrp -R spekolar "$product/log" && chmod 2770 "$product/log"
sed -i "s|^SPEKOLAR_DIRECTORY=.*|SPEKOLAR_DIRECTORY=$product/bin|" /etc/default/spekolar
echo "# site change" >>/etc/default/spekolar
cp /etc/default/spekolar "$work/site-default"

# Upgrade to the second build.
apt install "$second"
v2=$(installed_version)
dpkg --compare-versions "$v2" gt "$v1" || fail "upgrade: $v2 is not above $v1"
cmp -s /etc/default/spekolar "$work/site-default" || fail "the upgrade lost the site's /etc/default/spekolar"
[ "$(id -u spekolar)" = "$uid" ] || fail "the upgrade changed the user spekolar"
dpkg -L spekolar | LC_ALL=C sort >"$work/files2"
diff "$work/files1" "$work/files2" || fail "the upgrade changed the package's file list"

# Purge.
apt purge spekolar
[ -z "$(installed_version)" ] || fail "still installed after the purge"
while IFS= read -r f; do
  [ -d "$f" ] || [ ! -e "$f" ] || fail "purge left $f"
done <"$work/files2"
getent passwd spekolar >/dev/null && fail "purge left the user spekolar"
getent group spekolar >/dev/null && fail "purge left the group spekolar"
snapshot >"$work/after"
diff "$work/before" "$work/after" || fail "the machine's files differ after install, upgrade and purge"
[ "$(cat "$product/log/SPEKOLAR.log")" = "product's own" ] || fail "purge touched the product's files"
echo "upgrade-purge: OK: $v1 -> $v2 kept the site's environment file; purge left the machine as before"
