#!/usr/bin/env bash
# Installs the package with dpkg into a throw-away overlay of the machine's
# /usr, /etc and /var, inside private mount and network namespaces, so that
# the machine is left as it was. Checks, with systemd's commands recorded by
# stand-ins (/run/systemd/system makes the scripts believe it runs): enable
# and start on install, the stand-in registered as the alternative and
# yielding to a vendor library of higher priority, the installed service and
# tool running, restart on upgrade, stop on remove with the log folder kept,
# and after the purge nothing left but dpkg's own records.
# Usage: package_install.sh DEB-FOLDER VERSION   (as root; exits 77 otherwise)
set -euo pipefail
folder=$1
version=$2
deb=$folder/duvane_${version}_$(dpkg --print-architecture).deb

if [ "${DUVANE_PACKAGE_SANDBOX:-}" != inner ]; then
  [ "$(id -u)" -eq 0 ] || { echo "needs root for private namespaces: skipped"; exit 77; }
  exec env DUVANE_PACKAGE_SANDBOX=inner unshare --mount --net --propagation private bash "$0" "$@"
fi

work=$(mktemp -d /tmp/duvane-package-XXXXXX)
cleanup() {
  [ -n "${service_pid:-}" ] && kill "$service_pid" 2>/dev/null || true
  for point in /var /etc /usr /run "$work"; do umount -l "$point" 2>/dev/null || true; done
  rmdir "$work" 2>/dev/null || true
}
trap cleanup EXIT
mount -t tmpfs -o size=512m tmpfs "$work"
for tree in usr etc var; do
  mkdir -p "$work/$tree/upper" "$work/$tree/work"
  mount -t overlay overlay -o "lowerdir=/$tree,upperdir=$work/$tree/upper,workdir=$work/$tree/work" "/$tree"
done
mount -t tmpfs -o size=16m tmpfs /run
# A log folder from an earlier run of the service on this machine would be
# purged with the package; the overlay starts without it.
rm -rf /var/log/duvane
mkdir -p /run/systemd/system "$work/bin"
ip link set lo up

calls=$work/systemd-calls
printf '#!/bin/sh\necho "deb-systemd-invoke $*" >>%s\n' "$calls" >"$work/bin/deb-systemd-invoke"
chmod +x "$work/bin/deb-systemd-invoke"
export PATH=$work/bin:$PATH
# systemctl works on the unit files alone (enable, preset) and refuses the rest.
export SYSTEMD_OFFLINE=1
touch "$calls"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_call() { grep -Fqx "$1" "$calls" || fail "no call '$1' ($2); calls: $(tr '\n' ';' <"$calls")"; }
link=/usr/lib/duvane/libZetIDCardAPI.so
stand_in=/usr/lib/duvane/stand-in/libZetIDCardAPI.so

# What dpkg itself keeps or rewrites is left out of the before-and-after look.
listing() {
  find /usr /etc /var -xdev 2>/dev/null |
    grep -Ev '^/var/lib/dpkg/(status|status-old|available|lock.*|triggers/.*|updates/.*)$|^/var/log/(dpkg|alternatives)\.log$|^/var/cache/man(/.*)?$' |
    sort
}
listing >"$work/before"

# Install.
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }
expect_call "deb-systemd-invoke start DuvaneS.service" "start on install"
[ -L /etc/systemd/system/multi-user.target.wants/DuvaneS.service ] || fail "the unit is not enabled"
[ "$(readlink -f "$link")" = "$stand_in" ] || fail "the stand-in is not the alternative: $(readlink -f "$link")"
systemd-analyze verify --man=no /usr/lib/systemd/system/DuvaneS.service || fail "systemd-analyze verify"

# The installed programs run: the tool finds its library, the service answers
# the pages' requests, GETPID too.
[ "$(velmora-tool --version)" = "velmora-tool $version" ] || fail "velmora-tool --version"
PCSCLITE_CSOCK_NAME=/nonexistent velmora-tool readers >/dev/null 2>&1 && fail "readers without pcscd succeeded"
PCSCLITE_CSOCK_NAME=/nonexistent /usr/lib/duvane/SDuvane &
service_pid=$!
reply=""
for _ in $(seq 100); do
  reply=$(curl -s --max-time 5 'http://127.0.0.1:10240/foo?x') && break
  sleep 0.1
done
# The identity-card library behind the alternatives' link, through the
# service's helper: the stand-in finds no reader.
pid_reply=$(curl -s --max-time 30 'http://127.0.0.1:10240/getpid?x') || true
kill -TERM "$service_pid"
wait "$service_pid" || fail "the service's exit status after SIGTERM: $?"
service_pid=
[ "$reply" = '{"ResultCode":"0001","ResultMsg":"不可识别命令字FOO"}' ] || fail "the service's reply: '$reply'"
[ "$pid_reply" = '{"ResultCode":"0100","ResultMsg":"寻找身份证阅读器失败"}' ] || fail "the service's GETPID reply: '$pid_reply'"
[ -n "$(ls /var/log/duvane)" ] || fail "the service wrote no log"

# A vendor library of higher priority takes the stand-in's place and keeps it
# across an upgrade, which restarts the service.
mkdir -p /usr/local/lib/vendor && echo vendor >/usr/local/lib/vendor/libZetIDCardAPI.so
update-alternatives --quiet --install "$link" duvane-ZetIDCardAPI /usr/local/lib/vendor/libZetIDCardAPI.so 50
: >"$calls"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }
expect_call "deb-systemd-invoke restart DuvaneS.service" "restart on upgrade"
[ "$(readlink -f "$link")" = /usr/local/lib/vendor/libZetIDCardAPI.so ] || fail "the upgrade replaced the vendor's library"
[ "$(cat "$link")" = vendor ] || fail "the vendor's file changed"
update-alternatives --quiet --remove duvane-ZetIDCardAPI /usr/local/lib/vendor/libZetIDCardAPI.so
rm -r /usr/local/lib/vendor
[ "$(readlink -f "$link")" = "$stand_in" ] || fail "the stand-in did not come back"

# Remove: stopped, files and alternative gone, the log folder and the mask kept.
: >"$calls"
dpkg -r duvane >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }
expect_call "deb-systemd-invoke stop DuvaneS.service" "stop on remove"
for gone in /usr/lib/duvane /usr/bin/velmora-tool /usr/lib/systemd/system/DuvaneS.service \
  /etc/alternatives/duvane-ZetIDCardAPI; do
  [ ! -e "$gone" ] && [ ! -L "$gone" ] || fail "$gone is left after remove"
done
[ -d /var/log/duvane ] || fail "remove took the log folder"

# Purge: nothing is left.
dpkg -P duvane >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }
listing >"$work/after"
diff "$work/before" "$work/after" >&2 || fail "the purge left these differences (< before, > after)"

[ "$failures" -eq 0 ] || exit 1
echo "install, run, upgrade, remove and purge: as expected"
