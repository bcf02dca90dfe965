#!/usr/bin/env bash
# Figures for the Alpaca server, not a test: issafe under wrk (16 connections, 10 s) while the
# monitor reads the simulator every 10 s, then the monitor's CPU time and peak memory over
# 2 minutes with the server on and no client. Usage: bench/alpaca_wrk.sh [build folder]
# Runs in a network namespace of its own when it can, so the default port 11111 is free.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
if [ -z "${ALPACA_NETNS:-}" ] && unshare -rn true 2>/dev/null; then
  exec env ALPACA_NETNS=1 unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$0" "$build"
fi
folder=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$folder"' EXIT
cp "$build/bin/skarvel" "$folder/"
"$build/bin/skarvel-sensor-sim" --link "$folder/com1" --sky -18 --ambient 7 >/dev/null &
sleep 1
cd "$folder"
export QT_QPA_PLATFORM=offscreen
url=http://127.0.0.1:11111/api/v1/safetymonitor/0

./skarvel 2>/dev/null &
monitor=$!
until curl -s -o /dev/null "$url/connected"; do sleep 0.2; done
curl -s -X PUT -d 'ClientID=1' "$url/connect" >/dev/null
until [ -s status.txt ]; do sleep 0.2; done
echo "== issafe, 16 connections, 10 s, while the monitor cycles"
# status.txt is rewritten after every reading: its times show whether the cycle kept its pace.
(while sleep 0.1; do stat -c %.1Y status.txt; done) >times.txt &
watcher=$!
wrk -t2 -c16 -d10s --latency "$url/issafe?ClientID=1&ClientTransactionID=1" |
  grep -E 'Requests/sec|Latency|99%|requests in'
kill $watcher
echo "status.txt rewritten at:" $(uniq times.txt)
grep VmHWM "/proc/$monitor/status"
kill -TERM $monitor; wait $monitor || true

echo "== 2 minutes with the server on, no client"
/usr/bin/time -v timeout -s TERM 120 ./skarvel 2>&1 >/dev/null |
  grep -E 'User time|System time|Maximum resident'
