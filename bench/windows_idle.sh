#!/usr/bin/env bash
# Figures, not a test: the Windows program under Wine and the Linux program side by side, each
# reading the simulator for 2 minutes with nobody at it: start-up to the first status.txt, CPU
# time and peak memory. With MQTT=1 both publish to a mosquitto broker of their own.
# Usage: [MQTT=1] bench/windows_idle.sh SKARVEL_EXE LINUX_BUILD [seconds]
set -euo pipefail
exe=$(realpath "$1")
build=$(cd "$2" && pwd)
seconds=${3:-120}
broker=$((10000 + $$ % 7000 * 3))  # below the ephemeral ports
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wineserver -k 2>/dev/null; wait; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       QT_QPA_PLATFORM=offscreen
mkdir -p "$WINEPREFIX" "$work/win" "$work/linux"
Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 &
export DISPLAY=:77
wineserver -p 2>/dev/null
wineboot -i 2>/dev/null
"$build/bin/skarvel-sensor-sim" --link "$work/sensor" --interval 0.5 --sky -18 --ambient 7 >/dev/null &
sleep 1
ln -s "$work/sensor" "$WINEPREFIX/dosdevices/com5"
ln -s "$work/sensor" "$work/linux/com5"
for f in win linux; do
  printf 'webPath,%s\r\ncommportid,5\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n' \
    "$([ $f = win ] && echo 'Z:'"${work//\//\\}"'\win\' || echo "$work/linux/")" >"$work/$f/config.ini"
  printf 'alpacaPort=0\ndiscoveryPort=0\n' >"$work/$f/automation.ini"
  if [ "${MQTT:-0}" = 1 ]; then
    printf 'mqttHost=127.0.0.1\nmqttPort=%d\nmqttTopic=bench/%s\nuniqueId=bench-%s\n' \
      "$broker" $f $f >>"$work/$f/automation.ini"
  fi
done
if [ "${MQTT:-0}" = 1 ]; then
  printf 'listener %d 127.0.0.1\nallow_anonymous true\n' "$broker" >"$work/mosquitto.conf"
  mosquitto -c "$work/mosquitto.conf" >/dev/null 2>&1 &
fi
cp "$exe" "$work/win/skarvel.exe"
cp "$build/bin/skarvel" "$work/linux/skarvel"

measure() {  # name, folder, process name, command...
  local name=$1 folder=$2 process=$3
  shift 3
  local start=$SECONDS
  (cd "$folder" && exec "$@" >/dev/null 2>&1) &
  until [ -s "$folder/status.txt" ]; do sleep 0.1; done
  echo "$name: first status.txt after $((SECONDS - start)) s"
  sleep "$seconds"
  local pid
  pid=$(pgrep -n -f "$process")
  local ticks
  ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  echo "$name: CPU $(awk -v t="$ticks" -v h="$(getconf CLK_TCK)" 'BEGIN{printf "%.2f", t/h}') s" \
       "over ${seconds} s, peak $(grep VmHWM "/proc/$pid/status" | awk '{print $2, $3}')"
  kill "$pid"
}
measure "Windows program under Wine" "$work/win" 'skarvel\.exe' wine skarvel.exe
measure "Linux program" "$work/linux" "$work/linux/skarvel" "$work/linux/skarvel"
echo "skarvel.exe $(stat -c %s "$exe") bytes"
