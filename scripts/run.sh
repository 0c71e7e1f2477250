#!/usr/bin/env bash
# Builds the program and runs it.  Without hardware (the default) the module
# bus is simulated: the simulator answers on the serial line "COM1" (a
# pseudo-terminal linked as dosdevices/com1 in the program's folder) and as a
# LAN converter on a UDP port of this machine: ZQ_UDP_PORT when set (0: any
# free port), otherwise the first free one from 5000 up.  ZQ_HARDWARE=1
# skips the simulator.
#
# The window needs a display.  Without one the script says how to get one
# and then shows a measurement without the window: it writes the task
# Ukazka.zq into the program's folder (the simulator's LAN converter, four
# channels) and runs zq-logger on it in the foreground until Ctrl-C, or for
# ZQ_SEKUND seconds when set; a stop by Ctrl-C ends the script with 0.
# ZQ_XVFB=1 runs the window in an invisible X server instead (only useful
# for scripted checks).
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
"$koren/scripts/zavislosti.sh"

if [ -n "${ZQ_SEKUND:-}" ] && ! [[ "$ZQ_SEKUND" =~ ^[1-9][0-9]{0,5}$ ]]; then
  echo "ZQ_SEKUND=$ZQ_SEKUND není počet sekund (1 až 999999)." >&2
  exit 1
fi

# Release, as the program ships.  A build dir that scripts/test.sh configured
# keeps its ZQ_WERROR; a fresh one never fails on a compiler warning.
cmake -S "$koren" -B "$koren/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$koren/build" -j"$(nproc)" --target zq-datalogger zq-logger zq-modsim \
  WCOM407 WPCI407 WPCI1407 WUSB1407 WZQ1407
bin="$koren/build/bin"

sim=""
vypis=""
konec() {
  if [ -n "$sim" ]; then
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    # The simulator's last line holds its counters.
    [ -s "$vypis" ] && echo "Simulátor zastaven: $(tail -n 1 "$vypis")"
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
  echo "(do 5 s se neozval)" >>"$vypis"
  return 2
}

udp=""
if [ "${ZQ_HARDWARE:-0}" != 1 ]; then
  mkdir -p "$bin/dosdevices"
  vypis=$(mktemp "${TMPDIR:-/tmp}/zq-modsim.XXXXXX")
  if [ -n "${ZQ_UDP_PORT:-}" ]; then
    if ! [[ "$ZQ_UDP_PORT" =~ ^[0-9]{1,5}$ ]] || [ "$ZQ_UDP_PORT" -gt 65535 ]; then
      echo "ZQ_UDP_PORT=$ZQ_UDP_PORT není port UDP (0 až 65535)." >&2
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
    echo "Simulátor sběrnice modulů se nespustil:" >&2
    sed 's/^/  /' "$vypis" >&2
    if [ "$stav" -eq 1 ] && [ -n "${ZQ_UDP_PORT:-}" ]; then
      echo "Port UDP $ZQ_UDP_PORT (z ZQ_UDP_PORT) je obsazen; zvolte jiný, nebo ZQ_UDP_PORT zrušte." >&2
    elif [ "$stav" -eq 1 ]; then
      echo "Porty UDP ${porty[0]} až ${porty[-1]} jsou obsazeny; nastavte ZQ_UDP_PORT na volný (0: kterýkoli)." >&2
    fi
    exit 1
  fi
  udp=$(sed -n 's/^LAN konvertor na .*:\([0-9]*\)$/\1/p' "$vypis")
  pty=$(sed -n 's/^sériová linka na \([^ ]*\).*/\1/p' "$vypis")
  cat <<EOF

Simulátor sběrnice modulů běží (moduly 1 a 2):
  sériová linka COM1: $pty, odkaz $bin/dosdevices/com1
    v okně: "Standardní COMx", "Číslo portu COMx" 1 (výchozí úloha)
  LAN konvertor: port UDP $udp na 127.0.0.1
    v okně: "LAN konvertor ZQ-1407U", "IP adresa" 127.0.0.1, "UDP port" $udp
EOF
  if [ "$udp" != 5000 ]; then
    if [ -n "${ZQ_UDP_PORT:-}" ]; then proc="ZQ_UDP_PORT=$ZQ_UDP_PORT"; else proc="port UDP 5000 je obsazen"; fi
    echo "  ($proc: zadejte tam $udp, ne výchozí 5000.)"
  fi
  echo
fi

# The demo task as the window saves one (Windows-1250, CR LF, every key a
# save writes): the simulator's LAN converter and four of its channels,
# sampled every second into Ukazka.csv beside it.
zapis_ukazku() {
  printf '%s\r\n' '[Připojení]' 'Rozhraní=ZQ-1407U' 'IP adresa=127.0.0.1' "UDP port=$udp" \
    'LAN timeout=200' 'RS-485 rychlost=9600' 'RS-485 timeout=50' 'RS-485 opakování=1' \
    '[Konfigurace]' 'Perioda měření=0' 'Počet kanálů=4' 'Jméno souboru=Ukazka.csv' 'Volby=15' \
    'Chybová hodnota=0' \
    '[Ch0]' 'Adresa=1' 'Periferie=0' 'Formát=float32' 'Desetinná místa=2' 'Konstanta K=1' \
    'Konstanta Q=0' 'Název=Teplota' \
    '[Ch1]' 'Adresa=1' 'Periferie=1' 'Formát=uint32' 'Desetinná místa=0' 'Konstanta K=1' \
    'Konstanta Q=0' 'Název=Čítač' \
    '[Ch2]' 'Adresa=1' 'Periferie=2' 'Formát=bool32' 'Desetinná místa=0' 'Konstanta K=1' \
    'Konstanta Q=0' 'Název=Bity' \
    '[Ch3]' 'Adresa=1' 'Periferie=3' 'Formát=float32' 'Desetinná místa=1' 'Konstanta K=1' \
    'Konstanta Q=0' 'Název=Rampa' | iconv -f UTF-8 -t CP1250 >"$1"
}

# Measures the demo task with zq-logger in the foreground, where Ctrl-C
# reaches it; the script ends with the logger's status (0 after Ctrl-C).
ukazka() {
  local uloha="$bin/Ukazka.zq" data="$bin/Ukazka.csv" kod=0
  zapis_ukazku "$uloha"
  local dokud="do Ctrl-C"
  [ -n "${ZQ_SEKUND:-}" ] && dokud="$ZQ_SEKUND s (ZQ_SEKUND), nebo do Ctrl-C"
  cat <<EOF

Měření bez okna: zq-logger měří úlohu $uloha
(LAN konvertor 127.0.0.1:$udp, kanály Teplota, Čítač, Bity a Rampa modulu 1,
perioda 1 s) a každou sekundu připíše vzorek do datového souboru
  $data
(přepisuje se). Za každý vzorek vypíše řádek; měří $dokud.
Tutéž úlohu otevře i okno programu ("Měřicí úloha", "Otevřít").

EOF
  # The logger handles Ctrl-C itself and ends with 0; the script only waits
  # for it (bash runs this trap after the logger has ended).
  trap ':' INT
  if [ -n "${ZQ_SEKUND:-}" ]; then
    timeout --foreground --preserve-status -s INT "$ZQ_SEKUND" \
      "$bin/zq-logger" --prepsat "$uloha" || kod=$?
  else
    "$bin/zq-logger" --prepsat "$uloha" || kod=$?
  fi
  trap 'exit 130' INT
  if [ -s "$data" ]; then
    echo
    echo "Poslední vzorky v $data:"
    { head -n 1 "$data" && tail -n +2 "$data" | tail -n 5; } | iconv -f CP1250 -t UTF-8 |
      tr -d '\r' | sed 's/^/  /'
  fi
  return "$kod"
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$bin/zq-datalogger"
elif [ "${ZQ_XVFB:-0}" = 1 ]; then
  echo "Bez displeje: ZQ_XVFB=1, okno tedy běží na neviditelném X serveru (Xvfb)."
  echo "Nikdo je nevidí ani neovládá; zastavíte je Ctrl-C."
  xvfb-run -a "$bin/zq-datalogger"
else
  cat >&2 <<EOF
Tady není displej (není nastaveno DISPLAY ani WAYLAND_DISPLAY), okno programu
se tedy nemůže otevřít. Program je sestaven; jeho okno uvidíte, když

  - se přihlásíte z počítače s X serverem (každá linuxová plocha; XQuartz na
    macOS; X server jako VcXsrv na Windows) s přesměrováním X:
        ssh -X $(id -un)@$(hostname)        (ssh -Y, když -X odmítne)
        cd $koren && ./scripts/run.sh
    (sshd tohoto počítače potřebuje "X11Forwarding yes"; xauth je nainstalován), nebo

  - tu spustíte virtuální displej se serverem VNC a připojíte se prohlížečem VNC:
        Xvfb :1 -screen 0 1280x1024x24 &
        x11vnc -display :1 -localhost -forever &     (apt-get install x11vnc)
        DISPLAY=:1 ./scripts/run.sh
    a ze svého počítače: ssh -L 5900:localhost:5900 $(id -un)@$(hostname),
    pak prohlížeč nasměrujte na localhost:5900.  (Nebo tigervnc-standalone-server:
    vncserver :1, pak DISPLAY=:1 ./scripts/run.sh.)

ZQ_XVFB=1 ./scripts/run.sh spustí okno i tak, na neviditelném Xvfb
(jen pro skriptované kontroly: nikdo je nevidí).
EOF
  if [ -z "$udp" ]; then
    echo "ZQ_HARDWARE=1: bez simulátoru není co měřit bez okna." >&2
    exit 1
  fi
  ukazka
fi
