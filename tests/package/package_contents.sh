#!/usr/bin/env bash
# The package as dpkg and lintian see it: its file name, control fields, file
# list with owners and modes, the unit it ships, maintainer scripts that a
# shell accepts, and no lintian error or warning that the README does not
# explain.
# Usage: package_contents.sh DEB-FOLDER VERSION SOURCE-FOLDER
set -euo pipefail
folder=$1
version=$2
source=$3
arch=$(dpkg --print-architecture)
deb=$folder/duvane_${version}_${arch}.deb
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

[ -f "$deb" ] || { echo "no package $deb" >&2; ls "$folder" >&2; exit 1; }

# Control fields.
for field in "Package: duvane" "Version: $version" "Architecture: $arch" "Section: misc" \
  "Priority: optional"; do
  dpkg-deb -f "$deb" "${field%%:*}" | grep -qx "${field#*: }" || fail "control field $field"
done
depends=$(dpkg-deb -f "$deb" Depends)
depended=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for needed in pcscd libc6 libpcsclite1 libstdc++6 libsystemd0; do
  grep -Fqx "$needed" <<<"$depended" || fail "Depends lacks $needed: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"

# Files: exactly these, owned by root, programs 0755 and the rest 0644. The
# stand-in's link /usr/lib/duvane/libZetIDCardAPI.so belongs to
# update-alternatives, never to the package.
expected=$(
  cat <<LIST
-rwxr-xr-x root/root ./usr/bin/velmora-tool
-rwxr-xr-x root/root ./usr/lib/duvane/SDuvane
-rwxr-xr-x root/root ./usr/lib/duvane/duvane-idcard
-rw-r--r-- root/root ./usr/lib/duvane/libVelmora.so
-rw-r--r-- root/root ./usr/lib/duvane/stand-in/libZetIDCardAPI.so
-rw-r--r-- root/root ./usr/lib/systemd/system/DuvaneS.service
-rw-r--r-- root/root ./usr/share/doc/duvane/README.md
-rw-r--r-- root/root ./usr/share/doc/duvane/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/duvane/copyright
-rw-r--r-- root/root ./usr/share/man/man1/velmora-tool.1.gz
LIST
  if [ -d "$source/docs" ]; then
    (cd "$source/docs" && find . -type f | sed 's|^\./|-rw-r--r-- root/root ./usr/share/doc/duvane/docs/|')
  fi
)
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}')
diff <(sort <<<"$expected") <(sort <<<"$actual") || fail "file list differs (< expected, > packaged)"
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root") {print; bad=1} END {exit bad}' ||
  fail "directories not 0755 root/root"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
cmp -s "$work/root/usr/lib/systemd/system/DuvaneS.service" "$source/packaging/systemd/DuvaneS.service" ||
  fail "the packaged unit is not packaging/systemd/DuvaneS.service"

# Maintainer scripts: the three, executable, valid for sh.
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "$script missing or not executable"
  sh -n "$work/control/$script" || fail "$script: sh refuses it"
done
[ ! -e "$work/control/preinst" ] || fail "unexpected preinst"

# lintian: no errors; every warning's tag is explained in the README.
lintian --allow-root --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
if grep -q '^E:' "$work/lintian.txt"; then fail "lintian errors:"; grep '^E:' "$work/lintian.txt" >&2; fi
while read -r tag; do
  grep -q "\`$tag\`" "$source/README.md" || fail "lintian warning $tag is not explained in README.md"
done < <(awk '/^W:/ {print $3}' "$work/lintian.txt" | sort -u)

[ "$failures" -eq 0 ] || exit 1
echo "package contents, control fields, maintainer scripts and lintian: as expected"
