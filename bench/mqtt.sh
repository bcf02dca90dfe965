#!/usr/bin/env bash
# Figures, not a test: the monitor with MQTT on a local mosquitto broker. Prints the time from a
# cycle's end (boltwood.txt, its last file, rewritten) to a subscriber holding its state, median
# of N cycles; the cycles' spacing against brokers that never answer; and idle CPU and peak
# memory with MQTT on beside off. Usage: bench/mqtt.sh BUILD [cycles] [idle seconds]
set -euo pipefail
build=$(cd "$1" && pwd)
cycles=${2:-30}
seconds=${3:-120}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
# Below the ephemeral ports, which a client may be given as its own while the broker is down.
port=$((10000 + $$ % 7000 * 3))
export QT_QPA_PLATFORM=offscreen
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/broker.conf"
"$(command -v mosquitto || echo /usr/sbin/mosquitto)" -c "$work/broker.conf" >/dev/null 2>&1 &
# A "broker" that takes the connection and never says a word.
python3 -c "
import socket, time
s = socket.socket(); s.bind(('127.0.0.1', $port + 1)); s.listen(8)
held = []
while True: held.append(s.accept()[0])" &

monitor() {  # folder, automation.ini lines
  mkdir -p "$1"
  cp "$build/bin/skarvel" "$1/"
  printf 'webPath,%s/\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n' "$1" \
    >"$1/config.ini"
  printf 'alpacaPort=0\ndiscoveryPort=0\n%b' "$2" >"$1/automation.ini"
  "$build/bin/skarvel-sensor-sim" --link "$1/com1" --sky -30 --ambient 5 >/dev/null 2>&1 &
  sleep 0.5
  (cd "$1" && exec ./skarvel >"$1/out" 2>&1) &
}

# Latency: each state message against the boltwood.txt of the same cycle.
monitor "$work/latency" "mqttHost=127.0.0.1\nmqttPort=$port\n"
python3 - "$work/latency/boltwood.txt" "$port" "$cycles" <<'PY'
import os, statistics, subprocess, sys, time
status, port, cycles = sys.argv[1], sys.argv[2], int(sys.argv[3])
sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", port, "-R", "-t", "skarvel/state"],
                       stdout=subprocess.PIPE, text=True)
delays = []
while len(delays) < cycles:
    sub.stdout.readline()
    got = time.time_ns()
    delays.append((got - os.stat(status).st_mtime_ns) / 1e6)
sub.kill()
print(f"cycle end to subscriber: median {statistics.median(delays):.2f} ms, "
      f"max {max(delays):.2f} ms over {cycles} cycles")
PY

# Spacing of the cycles while the broker never answers: a silent listener, and an address whose
# packets vanish.
spacing() {  # name, folder, automation lines
  monitor "$2" "$3"
  python3 - "$2/status.txt" "$1" <<'PY'
import os, sys, time
path, name = sys.argv[1], sys.argv[2]
stamps, last = [], 0
end = time.time() + 65
while time.time() < end:
    try:
        m = os.stat(path).st_mtime_ns
    except FileNotFoundError:
        m = 0
    if m and m != last:
        stamps.append(m); last = m
    time.sleep(0.005)
gaps = [(b - a) / 1e9 for a, b in zip(stamps, stamps[1:])]
print(f"{name}: {len(gaps)} cycles, spacing {min(gaps):.3f} to {max(gaps):.3f} s")
PY
}
spacing "silent broker" "$work/silent" "mqttHost=127.0.0.1\nmqttPort=$((port + 1))\n"
spacing "vanishing packets" "$work/vanish" "mqttHost=198.51.100.1\n"

# Idle, MQTT off and on, side by side.
monitor "$work/off" ""
monitor "$work/on" "mqttHost=127.0.0.1\nmqttPort=$port\n"
sleep "$seconds"
for f in off on; do
  pid=$(for p in $(pgrep -x skarvel); do
    if [ "$(readlink "/proc/$p/cwd")" = "$work/$f" ]; then echo "$p"; fi
  done)
  ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  echo "MQTT $f: CPU $(awk -v t="$ticks" -v h="$(getconf CLK_TCK)" 'BEGIN{printf "%.2f", t/h}') s" \
       "over about ${seconds} s, peak $(grep VmHWM "/proc/$pid/status" | awk '{print $2, $3}')"
done
grep -h MQTT "$work"/*/out | sed 's/^/journal: /'
