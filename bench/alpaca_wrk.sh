#!/usr/bin/env bash
# Figures for the Alpaca server, not a test: issafe, /state.json and /metrics under wrk (16
# connections, 10 s each) while the monitor reads the simulator every 10 s, each beside nginx
# (Debian nginx, one worker, as the monitor has one thread) serving the same bytes from files in
# the same run; issafe again with 32 dashboards following /events; the dashboard's weight; then
# the monitor's CPU time and peak memory over 2 minutes with the server on and no client.
# Usage: bench/alpaca_wrk.sh [build folder]
# Runs in a network namespace of its own when it can, so the default port 11111 is free.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
if [ -z "${ALPACA_NETNS:-}" ] && unshare -rn true 2>/dev/null; then
  exec env ALPACA_NETNS=1 unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$0" "$build"
fi
folder=$(mktemp -d)
chmod 755 "$folder"  # nginx's worker reads the files as another user
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$folder"' EXIT
cp "$build/bin/skarvel" "$folder/"
"$build/bin/skarvel-sensor-sim" --link "$folder/com1" --sky -18 --ambient 7 >/dev/null &
sleep 1
cd "$folder"
export QT_QPA_PLATFORM=offscreen
url=http://127.0.0.1:11111
issafe=/api/v1/safetymonitor/0/issafe

./skarvel 2>/dev/null &
monitor=$!
until curl -s -o /dev/null "$url/management/apiversions"; do sleep 0.2; done
curl -s -X PUT -d 'ClientID=1' "$url/api/v1/safetymonitor/0/connect" >/dev/null
until [ -s status.txt ]; do sleep 0.2; done

# nginx serves what the monitor answers now, from files of the same paths.
mkdir -p www/api/v1/safetymonitor/0 nginx
for path in $issafe /state.json /metrics; do
  curl -s "$url$path?ClientID=1&ClientTransactionID=1" >"www$path"
done
cat >nginx/nginx.conf <<EOF
worker_processes 1;
user root;
daemon off;
pid $folder/nginx/pid;
error_log $folder/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $folder/nginx; proxy_temp_path $folder/nginx;
  fastcgi_temp_path $folder/nginx; uwsgi_temp_path $folder/nginx; scgi_temp_path $folder/nginx;
  default_type application/json;
  server { listen 127.0.0.1:8080; root $folder/www; }
}
EOF
nginx -p "$folder/nginx" -e "$folder/nginx/error.log" -c "$folder/nginx/nginx.conf" &
until curl -s -o /dev/null http://127.0.0.1:8080/metrics; do sleep 0.2; done

# status.txt is rewritten after every reading: its times show whether the cycle kept its pace.
(while sleep 0.1; do stat -c %.1Y status.txt; done) >times.txt &
watcher=$!
# Requests/s and p99 of one run: "65000.12 0.48ms".
load() {
  wrk -t2 -c16 -d10s --latency "$1" | awk '/Requests\/sec/ {r = $2} / 99%/ {p = $2}
    END {print r, p}'
}
printf '%-12s %28s %28s %7s\n' "" "monitor (req/s, p99)" "nginx (req/s, p99)" "ratio"
for path in $issafe /state.json /metrics; do
  read -r ours ourP99 <<<"$(load "$url$path?ClientID=1&ClientTransactionID=1")"
  read -r theirs theirP99 <<<"$(load "http://127.0.0.1:8080$path")"
  printf '%-12s %18s %9s %18s %9s %7.2f\n' "${path##*/}" "$ours" "$ourP99" "$theirs" "$theirP99" \
    "$(awk "BEGIN {print $ours / $theirs}")"
done
# As many live dashboards as the server takes, each stream read to its end.
streams=()
for i in $(seq 32); do
  curl -sN "$url/events" >"stream$i.txt" &
  streams+=($!)
done
sleep 1
read -r ours ourP99 <<<"$(load "$url$issafe?ClientID=1&ClientTransactionID=1")"
printf '%-12s %18s %9s  with 32 streams of /events open\n' issafe "$ours" "$ourP99"
sleep 11  # one cycle more: every stream must have had it
kill "${streams[@]}"
echo "streams that got a cycle's state: $(grep -l '^data: {"time"' stream*.txt | wc -l) of 32"
weight=0
for path in / /assets/dashboard.css /assets/dashboard.js /assets/dygraph.min.js \
            /assets/dygraph.min.css; do
  weight=$((weight + $(curl -s "$url$path" | wc -c)))
done
echo "the dashboard's page and assets: $weight bytes, uncompressed"
kill $watcher
echo "status.txt rewritten at:" $(uniq times.txt)
grep VmHWM "/proc/$monitor/status"
kill -TERM $monitor; wait $monitor || true

echo "== 2 minutes with the server on, no client"
{ /usr/bin/time -v timeout -s TERM 120 ./skarvel 2>&1 >/dev/null || true; } |
  grep -E 'User time|System time|Maximum resident'
