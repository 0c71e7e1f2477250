#!/usr/bin/env bash
# Soak: zq-logger measures 256 channels of the module-bus simulator over the
# LAN converter on 127.0.0.1 for a given time, with faults on the bus, then
# the data file is checked value by value (bench/logger/soak.py) and the logger's
# memory and CPU time are printed.  Uses the built programs in build/bin
# (ZQ_BIN overrides); the run's files stay in build/soak/<time>-<format>-<pid>
# (ZQ_SOAK_DIR overrides build/soak).
#
#   bench/logger/soak.sh [--bez-poruch] [--rozdelit KIB] [MINUTES] [csv|dbf|txt]
#
# MINUTES defaults to 10 (at most 1440); --bez-poruch runs without faults.
# --rozdelit KIB splits the data file by size ("Rozdělit=velikost",
# "Velikost MB=1" in the run's own ZQ_soubory.ini, one "MB" made KIB KiB
# through the logger's soak seam ZQ_SOAK_BAJTU_MB), so that a new file
# begins every few seconds; the checker then reads the series in order.
# ZQ_SOAK_SEED sets the seed of the simulator's fault dice (default 12345).
# Exit status 0 when every check passed, 1 when one failed, 2 on a bad call.
set -euo pipefail
koren=$(cd "$(dirname "$0")/../.." && pwd)
bin=${ZQ_BIN:-$koren/build/bin}

poruchy=1
minut=10
format=csv
rozdelit=""
dalsi=""
for a in "$@"; do
  if [ "$dalsi" = rozdelit ]; then
    if ! [[ "$a" =~ ^[0-9]+$ ]] || [ "$a" -lt 1 ]; then
      echo "soak.sh: --rozdelit takes a size in KiB, 1 or more" >&2
      exit 2
    fi
    rozdelit=$a
    dalsi=""
    continue
  fi
  case "$a" in
    --bez-poruch) poruchy=0 ;;
    --rozdelit) dalsi=rozdelit ;;
    csv | dbf | txt) format=$a ;;
    -h | --help)
      awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
      exit 0
      ;;
    *)
      if [[ "$a" =~ ^[0-9]+(\.[0-9]+)?$ ]]; then
        minut=$a
      else
        echo "soak.sh: unknown argument '$a' (try --help)" >&2
        exit 2
      fi
      ;;
  esac
done
if [ -n "$dalsi" ]; then
  echo "soak.sh: --rozdelit takes a size in KiB" >&2
  exit 2
fi
sekund=$(awk -v m="$minut" 'BEGIN { printf "%d", m * 60 }')
if [ "$sekund" -lt 10 ] || [ "$sekund" -gt 86400 ]; then
  echo "soak.sh: $minut minutes: give 10 s to 1440 minutes (the counters' ranges last a day)" >&2
  exit 2
fi

for p in zq-logger zq-modsim libWZQ1407.so; do
  if [ ! -e "$bin/$p" ]; then
    echo "soak.sh: $bin/$p is missing; build first:" >&2
    echo "  cmake --preset normal && cmake --build --preset normal -j2" >&2
    exit 2
  fi
done

# The checker; the DBF format needs the dbfread module.
python=""
for p in /usr/bin/python3 python3; do
  command -v "$p" >/dev/null || continue
  if [ "$format" != dbf ] || "$p" -c 'import dbfread' 2>/dev/null; then
    python=$p
    break
  fi
done
if [ -z "$python" ]; then
  echo "soak.sh: no python3 with the dbfread module (scripts/zavislosti.sh installs it)" >&2
  exit 2
fi

# The data file's numbers, dates and times follow the regional settings the
# logger takes from the environment (platform/Mistni.cpp): pinned here, so the
# checker knows the decimal separator.  Both have day.month.year dates and
# 24-hour times.
if locale -a 2>/dev/null | grep -qix 'cs_CZ\.utf-\?8'; then
  export LC_ALL=cs_CZ.UTF-8 LANG=cs_CZ.UTF-8
  oddelovac=,
else
  export LC_ALL=C.UTF-8 LANG=C.UTF-8
  oddelovac=.
fi
unset LANGUAGE LC_NUMERIC LC_TIME
# The script's own arithmetic and figures: a decimal point whatever the locale
# (its fractions of seconds go to the checker as arguments).
awk() { LC_ALL=C command awk "$@"; }

slozka="${ZQ_SOAK_DIR:-$koren/build/soak}/$(date +%Y%m%d-%H%M%S)-$format-$$"
mkdir -p "$slozka"

sim=""
logger=""
konec() {
  for pid in "$logger" "$sim"; do
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then wait "$pid" 2>/dev/null || true; fi
  done
  return 0
}
trap konec EXIT
trap 'exit 130' INT TERM

volby_sim=(--seed "${ZQ_SOAK_SEED:-12345}")
[ "$poruchy" = 0 ] && volby_sim+=(--bez-poruch)
"$python" "$koren/bench/logger/soak.py" simulator "$slozka" "${volby_sim[@]}"

# Any free UDP port on 127.0.0.1; the simulator prints the one it got.
"$bin/zq-modsim" --config "$slozka/soak.sim" >"$slozka/simulator.log" 2>&1 &
sim=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^LAN konvertor na 127\.0\.0\.1:\([0-9]*\)$/\1/p' \
    "$slozka/simulator.log" 2>/dev/null) || true
  [ -n "$port" ] && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$port" ]; then
  echo "soak.sh: the simulator did not start:" >&2
  sed 's/^/  /' "$slozka/simulator.log" >&2
  exit 1
fi
"$python" "$koren/bench/logger/soak.py" uloha "$slozka" "$port" "$format" "$oddelovac"

ticku=$(getconf CLK_TCK)
# VmRSS or VmHWM of the logger in KiB.
pamet() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB$/\1/p" "/proc/$logger/status" 2>/dev/null; }
# utime + stime of the logger in clock ticks (fields 14 and 15 of stat).
cpu() { sed 's/^.*) //' "/proc/$logger/stat" | awk '{ print $12 + $13 }'; }
mib() { if [ -n "$1" ]; then awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; else echo -; fi; }
# Samples the logger reported (its log may not exist yet at the start).
vzorku() {
  local n
  n=$(grep -c '^vzorek [0-9]*:' "$slozka/logger.log" 2>/dev/null) || true
  echo "${n:-0}"
}

volby_loggeru=()
if [ -n "$rozdelit" ]; then
  printf '[soak]\nRozdělit=velikost\nVelikost MB=1\n' >"$slozka/ZQ_soubory.ini"
  volby_loggeru=(--soubory "$slozka/ZQ_soubory.ini")
  export ZQ_SOAK_BAJTU_MB=$((rozdelit * 1024))
fi

start=$(date +%s.%N)
"$bin/zq-logger" "${volby_loggeru[@]}" "$slozka/soak.zq" >"$slozka/logger.log" \
  2>"$slozka/logger.err" &
logger=$!

# Memory at start: once the first sample is written (at most 30 s).
for _ in $(seq 600); do
  [ "$(vzorku)" -gt 0 ] && break
  kill -0 "$logger" 2>/dev/null || break
  sleep 0.05
done
if [ "$(vzorku)" -eq 0 ]; then
  echo "soak.sh: the logger wrote no sample:" >&2
  sed 's/^/  /' "$slozka/logger.log" "$slozka/logger.err" >&2
  exit 1
fi
prvni=$(date +%s.%N)
rss_start=$(pamet VmRSS)
rss_minuta=""

echo "soak: $minut min, $format, 256 channels, faults $([ "$poruchy" = 1 ] && echo on || echo off)," \
  "$([ -n "$rozdelit" ] && echo "a new file every $rozdelit KiB," || true)" "files in $slozka"
# One round a second, bounded by the duration itself; a line a minute.
minuta=0
vady=()
for ((s = 1; s <= sekund + 5; s++)); do
  sleep 1
  if ! kill -0 "$logger" 2>/dev/null; then
    vady+=("the logger ended by itself after $s s")
    break
  fi
  if ! kill -0 "$sim" 2>/dev/null; then
    # Every read would fail from here on: nothing left to learn.
    vady+=("the simulator ended after $s s")
    break
  fi
  ubehlo=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%d", b - a }')
  if ((ubehlo / 60 > minuta)); then
    minuta=$((ubehlo / 60))
    rss=$(pamet VmRSS)
    [ -z "$rss_minuta" ] && rss_minuta=$rss
    echo "  $minuta min: samples $(vzorku), VmRSS $(mib "$rss")"
  fi
  [ "$ubehlo" -ge "$sekund" ] && break
done

rss_konec=$(pamet VmRSS || true)
rss_spicka=$(pamet VmHWM || true)
cpu_ticku=$(cpu 2>/dev/null || echo 0)
stop=$(date +%s.%N)
if kill -TERM "$logger" 2>/dev/null; then
  for _ in $(seq 600); do
    kill -0 "$logger" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$logger" 2>/dev/null; then
    echo "soak.sh: the logger did not end within 30 s of SIGTERM; killed" >&2
    kill -KILL "$logger" 2>/dev/null || true
  fi
fi
kod=0
wait "$logger" || kod=$?
logger=""
kill -TERM "$sim" 2>/dev/null || true
wait "$sim" || true
sim=""

ubehlo=$(awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.1f", b - a }')
od_prvniho=$(awk -v a="$prvni" -v b="$stop" 'BEGIN { printf "%.2f", b - a }')
konecny=$(grep -m1 '^zq-logger: měření ukončeno' "$slozka/logger.log" || true)
# Figures of the logger's last two lines, where they are in the form known
# here; the checks do not depend on them.
zapsano=$(sed -n 's/^zq-logger: měření ukončeno.*, \([0-9]*\) vzork[a-zů]*, z toho nezapsaných \([0-9]*\)$/\1 \2/p' \
  "$slozka/logger.log" | awk '{ print $1 - $2 }')
cteni=$(sed -n 's/^zq-logger: komunikace: čtení \([0-9]*\), chybných \([0-9]*\).*/reads \1, failed \2/p' \
  "$slozka/logger.log")
pruchod=$(sed -n 's/^zq-logger: komunikace: .*průchod průměr \([0-9.]*\) ms, nejdelší \([0-9.]*\) ms.*/\1 \2/p' \
  "$slozka/logger.log" | awk '{ printf "; pass mean %s ms, longest %s ms", $1, $2 }')

echo
echo "locale           $LC_ALL (decimal separator '$oddelovac')"
echo "logger           exit $kod; ${konecny:-no summary line}"
echo "logger's reads   ${cteni:-n/a}$pruchod"
echo "simulator        $(tail -n 1 "$slozka/simulator.log")"
echo "memory (VmRSS)   first sample $(mib "$rss_start"), after 1 min $(mib "$rss_minuta")," \
  "end $(mib "$rss_konec"), peak $(mib "$rss_spicka")"
awk -v t="$cpu_ticku" -v hz="$ticku" -v s="$ubehlo" 'BEGIN {
  printf "CPU time         %.1f s user+system = %.2f %% of one core over %s s\n", t / hz, 100 * t / hz / s, s
}'

[ "$kod" -ne 0 ] && vady+=("logger exit $kod")
[ -z "$konecny" ] && vady+=("no summary line")
volby_kontroly=()
[ -n "$zapsano" ] && volby_kontroly+=(--zapsano "$zapsano")
[ -n "$rozdelit" ] && volby_kontroly+=(--rada "$((rozdelit * 1024))")
for v in "${vady[@]}"; do volby_kontroly+=(--vada "$v"); done
"$python" "$koren/bench/logger/soak.py" kontrola "$slozka" "$format" "$oddelovac" "$od_prvniho" \
  "${volby_kontroly[@]}"
