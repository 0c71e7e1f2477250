#!/usr/bin/env bash
# Builds the program and runs it.  Without hardware (the default) the module
# bus is simulated: the simulator answers on the serial line "COM1" (a
# pseudo-terminal linked as dosdevices/com1 in the program's folder) and as a
# LAN converter on a UDP port of this machine: ZQ_UDP_PORT when set (0: any
# free port), otherwise the first free one from 5000 up.  ZQ_HARDWARE=1
# skips the simulator.
#
# The window needs a display.  Without one the script says how to get one and
# stops; ZQ_XVFB=1 runs the window in an invisible X server instead (only
# useful for scripted checks).
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
"$koren/scripts/zavislosti.sh"

# Release, as the program ships.  A build dir that scripts/test.sh configured
# keeps its ZQ_WERROR; a fresh one never fails on a compiler warning.
cmake -S "$koren" -B "$koren/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$koren/build" -j"$(nproc)" --target zq-datalogger zq-modsim \
  WCOM407 WPCI407 WPCI1407 WUSB1407 WZQ1407
bin="$koren/build/bin"

sim=""
vypis=""
konec() {
  if [ -n "$sim" ] && kill "$sim" 2>/dev/null; then
    wait "$sim" 2>/dev/null || true
    # The simulator's last line holds its counters.
    [ -s "$vypis" ] && echo "Simulator stopped: $(tail -n 1 "$vypis")"
  fi
  [ -n "$vypis" ] && rm -f "$vypis"
  return 0
}
trap konec EXIT
trap 'exit 130' INT TERM

# Starts the simulator on UDP port $1 and waits until it reports both of its
# listeners.  Returns 0 when it runs, 1 when the port is taken, 2 when it
# failed for another reason (its words are in $vypis).
spust_simulator() {
  "$bin/zq-modsim" --udp "$1" --pty "$bin/dosdevices/com1" \
    --module 1:0=float32:sine:amp=25:offset=20:period=60:dec=2 \
    --module 1:1=uint32:counter \
    --module 1:2=bool32:walk \
    --module 1:3=float32:ramp:height=100:period=30:dec=1 \
    --module 2:0=uint32:const:value=4711 >"$vypis" 2>&1 &
  sim=$!
  for _ in $(seq 100); do
    grep -q '^sériová linka na ' "$vypis" && return 0
    if ! kill -0 "$sim" 2>/dev/null; then
      wait "$sim" 2>/dev/null || true
      sim=""
      grep -q 'nelze naslouchat na' "$vypis" && return 1
      return 2
    fi
    sleep 0.05
  done
  # Alive but silent for 5 s: something is wrong with it.
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  sim=""
  echo "(no answer within 5 s)" >>"$vypis"
  return 2
}

if [ "${ZQ_HARDWARE:-0}" != 1 ]; then
  mkdir -p "$bin/dosdevices"
  vypis=$(mktemp "${TMPDIR:-/tmp}/zq-modsim.XXXXXX")
  if [ -n "${ZQ_UDP_PORT:-}" ]; then
    if ! [[ "$ZQ_UDP_PORT" =~ ^[0-9]{1,5}$ ]] || [ "$ZQ_UDP_PORT" -gt 65535 ]; then
      echo "ZQ_UDP_PORT=$ZQ_UDP_PORT is no UDP port (0 to 65535)." >&2
      exit 1
    fi
    porty=("$ZQ_UDP_PORT")
  else
    mapfile -t porty < <(seq 5000 5099)
  fi
  stav=1
  for port in "${porty[@]}"; do
    stav=0
    spust_simulator "$port" || stav=$?
    [ "$stav" -ne 1 ] && break
  done
  if [ "$stav" -ne 0 ]; then
    echo "The module-bus simulator did not start:" >&2
    sed 's/^/  /' "$vypis" >&2
    if [ "$stav" -eq 1 ] && [ -n "${ZQ_UDP_PORT:-}" ]; then
      echo "UDP port $ZQ_UDP_PORT (from ZQ_UDP_PORT) is taken; choose another one or unset ZQ_UDP_PORT." >&2
    elif [ "$stav" -eq 1 ]; then
      echo "UDP ports ${porty[0]} to ${porty[-1]} are all taken; set ZQ_UDP_PORT to a free one (0: any)." >&2
    fi
    exit 1
  fi
  udp=$(sed -n 's/^LAN konvertor na .*:\([0-9]*\)$/\1/p' "$vypis")
  pty=$(sed -n 's/^sériová linka na \([^ ]*\).*/\1/p' "$vypis")
  cat <<EOF

The module-bus simulator runs (modules 1 and 2):
  serial line COM1: $pty, linked as $bin/dosdevices/com1
    in the window: "Standardní COMx", "Číslo portu COMx" 1 (the default task)
  LAN converter: UDP port $udp on 127.0.0.1
    in the window: "LAN konvertor ZQ-1407U", "IP adresa" 127.0.0.1, "UDP port" $udp
EOF
  if [ "$udp" != 5000 ]; then
    if [ -n "${ZQ_UDP_PORT:-}" ]; then proc="ZQ_UDP_PORT=$ZQ_UDP_PORT"; else proc="UDP port 5000 is taken"; fi
    echo "  ($proc: enter $udp there, not the default 5000.)"
  fi
  echo
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$bin/zq-datalogger"
elif [ "${ZQ_XVFB:-0}" = 1 ]; then
  echo "No display: ZQ_XVFB=1, so the window runs in an invisible X server (Xvfb)."
  echo "Nobody can see or operate it; stop it with Ctrl-C."
  xvfb-run -a "$bin/zq-datalogger"
else
  cat >&2 <<EOF
No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window
cannot open.  The program is built; to see its window, either

  - log in from a machine with an X server (any Linux desktop; XQuartz on
    macOS; an X server such as VcXsrv on Windows) with X forwarding:
        ssh -X $(id -un)@$(hostname)        (ssh -Y if -X is refused)
        cd $koren && ./scripts/run.sh
    (this machine's sshd needs "X11Forwarding yes"; xauth is installed), or

  - run a virtual display with a VNC server here and connect a VNC viewer:
        Xvfb :1 -screen 0 1280x1024x24 &
        x11vnc -display :1 -localhost -forever &     (apt-get install x11vnc)
        DISPLAY=:1 ./scripts/run.sh
    and from your machine: ssh -L 5900:localhost:5900 $(id -un)@$(hostname),
    then point the viewer at localhost:5900.  (Or tigervnc-standalone-server:
    vncserver :1, then DISPLAY=:1 ./scripts/run.sh.)

ZQ_XVFB=1 ./scripts/run.sh runs the window in an invisible Xvfb anyway
(for scripted checks only: nobody sees it).
EOF
  exit 1
fi
