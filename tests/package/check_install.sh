#!/usr/bin/env bash
# Installs BUILD_DIR as `cmake --install --prefix` does and checks the command link and the user
# unit, with systemd-analyze when it is there; with "indi" also the INDI driver and its listing.
set -euo pipefail
p=$(mktemp -d)
trap 'rm -rf "$p"' EXIT
cmake --install "$1" --prefix "$p" >/dev/null
unit=$p/share/systemd/user/skarvel.service
fail() { echo "FAIL: $*"; cat "$unit"; exit 1; }
[ "$(readlink "$p/bin/skarvel")" = ../lib/skarvel/skarvel ] && [ -x "$p/bin/skarvel" ] ||
  fail "bin/skarvel is not a link to lib/skarvel/skarvel"
for line in "ExecStart=$p/lib/skarvel/skarvel" Environment=QT_QPA_PLATFORM=offscreen \
            Type=notify WatchdogSec=60 Restart=on-failure WantedBy=default.target; do
  grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
if [ "${2:-}" = indi ]; then
  # What KStars' driver manager reads, and the executable indiserver starts by name.
  [ -x "$p/bin/indi_skarvel_weather" ] || fail "no bin/indi_skarvel_weather"
  python3 - "$p/share/indi/indi_skarvel.xml" <<'PY' || fail "share/indi/indi_skarvel.xml"
import sys, xml.etree.ElementTree as et
d = et.parse(sys.argv[1]).getroot().find("devGroup[@group='Weather']/device[@label='Skarvel']")
sys.exit(d is None or d.findtext("driver").strip() != "indi_skarvel_weather")
PY
fi
if command -v systemd-analyze >/dev/null; then
  out=$(systemd-analyze verify "$unit" 2>&1) && ! grep -F "$unit" <<<"$out" || fail "$out"
fi
