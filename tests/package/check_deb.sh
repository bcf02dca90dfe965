#!/usr/bin/env bash
# Makes the Debian package with packaging/build-deb SOURCE_DIR's way, in BUILD_DIR, for the Debian
# architecture ARCH (default: this machine's), with "indi" the INDI driver too, and checks what dpkg would install: its
# architecture, root's files only, nobody else may change them, stripped programs,
# the command link owned by the package, dependencies from the shared libraries, no scripts.
set -euo pipefail
command -v dpkg-deb >/dev/null || { echo "no dpkg-deb: skipped"; exit 77; }
arch=${3:-$(dpkg --print-architecture)}
deb=$("$1/packaging/build-deb" --arch "$arch" "$2")
contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
echo "$contents"$'\n'"$info"
status=0
fail() { echo "FAIL: $*"; status=1; }
awk '$1 !~ /^l/ && $1 ~ /^(.....w|........w)/ || $2 != "root/root"' <<<"$contents" | grep . &&
  fail "entries that others may change or that are not root's"
grep -qE '^l.* \./usr/bin/skarvel -> \.\./lib/skarvel/skarvel$' <<<"$contents" ||
  fail "/usr/bin/skarvel is not a link in the package"
grep -qE '^-rwxr-xr-x .* \./usr/lib/skarvel/skarvel$' <<<"$contents" || fail "no /usr/lib/skarvel"
if [ "${4:-}" = indi ]; then
  grep -qE '^-rwxr-xr-x .* \./usr/bin/indi_skarvel_weather$' <<<"$contents" || fail "no INDI driver"
  grep -qE ' \./usr/share/indi/indi_skarvel\.xml$' <<<"$contents" || fail "no INDI driver listing"
  grep -qE '^ Depends: .*libindidriver1' <<<"$info" || fail "no Depends on libindidriver1"
fi
grep -qx " Architecture: $arch" <<<"$info" || fail "not a package for $arch"
grep -qE '^ Depends: .*libqt6core6' <<<"$info" || fail "no Depends from the shared libraries"
grep -E '^ +[0-9]+ bytes,.* (preinst|postinst|prerm|postrm|config)( |$)' <<<"$info" && fail "maintainer scripts"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
while IFS= read -r -d '' f; do
  cmp -s -n 4 "$f" <(printf '\177ELF') || continue
  sections=$(readelf -S -W "$f")
  grep -qE ' \.(symtab|debug_)' <<<"$sections" && fail "${f#"$tmp"} is not stripped"
done < <(find "$tmp" -type f -print0)
exit $status
