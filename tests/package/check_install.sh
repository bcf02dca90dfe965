#!/usr/bin/env bash
# Installs the build BUILD_DIR as `cmake --install --prefix` does and checks the links and the
# user unit, with systemd-analyze when it is there.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
p=$tmp/prefix
cmake --install "$1" --prefix "$p" >/dev/null
unit=$p/share/systemd/user/skarvel.service
fail() { echo "FAIL: $*"; cat "$unit"; exit 1; }
[ "$(readlink "$p/bin/skarvel")" = ../lib/skarvel/skarvel ] && [ -x "$p/bin/skarvel" ] ||
  fail "bin/skarvel is not a link to lib/skarvel/skarvel"
for line in "ExecStart=$p/lib/skarvel/skarvel" Environment=QT_QPA_PLATFORM=offscreen \
            Restart=on-failure WantedBy=default.target; do
  grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
if command -v systemd-analyze >/dev/null; then
  out=$(systemd-analyze verify "$unit" 2>&1) || fail "$out"
  if grep -F "$unit" <<<"$out"; then fail "systemd-analyze warns"; fi
fi
echo "installed tree and unit fine"
