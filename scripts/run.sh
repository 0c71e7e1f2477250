#!/usr/bin/env bash
# Builds the program and runs it.  Without hardware (the default) the module
# bus is simulated: the simulator answers on the serial line "COM1" (a
# pseudo-terminal linked as dosdevices/com1 in the program's folder) and as a
# LAN converter on UDP port 5000 of this machine.  ZQ_HARDWARE=1 skips it.
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
"$koren/scripts/zavislosti.sh"

cmake -S "$koren" -B "$koren/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$koren/build" -j"$(nproc)" --target zq-datalogger zq-modsim \
  WCOM407 WPCI407 WPCI1407 WUSB1407 WZQ1407
bin="$koren/build/bin"

if [ "${ZQ_HARDWARE:-0}" != 1 ]; then
  mkdir -p "$bin/dosdevices"
  "$bin/zq-modsim" --udp 5000 --pty "$bin/dosdevices/com1" \
    --module 1:0=float32:sine:amp=25:offset=20:period=60:dec=2 \
    --module 1:1=uint32:counter \
    --module 1:2=bool32:walk \
    --module 1:3=float32:ramp:height=100:period=30:dec=1 \
    --module 2:0=uint32:const:value=4711 &
  sim=$!
  trap 'kill $sim 2>/dev/null || true' EXIT
  sleep 0.5
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$bin/zq-datalogger"
else
  echo "No display: running under Xvfb (close with Ctrl-C)."
  xvfb-run -a "$bin/zq-datalogger"
fi
