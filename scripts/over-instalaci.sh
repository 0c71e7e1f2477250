#!/usr/bin/env bash
# Checks what the build in the given folder installs and packages:
#  1. cmake --install into a temporary prefix gives exactly the expected
#     files (programs, the interface libraries in their private folder, the
#     desktop entries and icons of the program and the viewer, AppStream
#     metadata, man pages in English and Czech), the desktop entries and the
#     metadata validate, the icons have their sizes, the viewer's entry
#     starts it with the files and names its own icon, and no installed
#     program or library points into the build tree (RPATH); every document a man page names by its installed path is
#     installed, and every picture or page an installed document links;
#  2. the installed program, started once without a display and ended by
#     SIGTERM (which closes it like its window), writes its task and settings
#     into the user's folder ~/.local/share/zentrolix-datalogger and nothing
#     into the installation;
#  3. zq-logger@.service: systemd-analyze verify takes it and
#     systemd-analyze security rates its exposure 3.5 at most (where there is
#     systemd-analyze), it is Type=notify with a watchdog, docs/zq-logger.md
#     shows it as installed, and its ExecStart line, run by hand as systemd
#     would run it for an instance (state folder as XDG_DATA_HOME), measures
#     a task against the installed simulator, stops with 0 on SIGTERM,
#     continues its data file when started again, and ends with 2 (no
#     restart) for a task file cut short;
#  4. scripts/balicek.sh builds a .deb with Debian's name, the expected files
#     below /usr, root ownership, the runtime dependencies and the maintainer
#     scripts that make the service's system user; installed by dpkg into an
#     empty root (--root, the scripts run with DPKG_ROOT) its postinst makes
#     the user there, and a purge leaves none of its files; lintian finds no
#     error in it (its warnings and notes are printed).
# The build must be done (scripts/test.sh runs this after its Release build).
#   scripts/over-instalaci.sh <build folder>
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: over-instalaci.sh <build folder>}" && pwd)

chyba() {
  echo "install check: $*" >&2
  exit 1
}

pracovni=$(mktemp -d "${TMPDIR:-/tmp}/zq-instalace.XXXXXX")
pid=""
simulator=""
uklid() {
  # Also after a failed step: no program of the check outlives it.
  for p in "$pid" "$simulator"; do [ -n "$p" ] && kill -KILL "$p" 2>/dev/null; done
  rm -rf "$pracovni"
}
trap uklid EXIT

id=cz.zentrolix.datalogger
id_prohlizece=$id.prohlizec
# Sizes of the PNG icons, as expected (not read from the code under test).
velikosti_ikon=(16 24 32 48 64 128 256)
# The documents installed (docs/<name>.md as <name>.md.gz).
dokumenty=(prvni-kroky instalace zq-logger prohlizec publikace simulator prubeh profilove-soubory
  datove-soubory rozhrani protokol)
knihovny=$(sed -n 's/^ZQ_SLOZKA_KNIHOVEN:[A-Z]*=//p' "$build/CMakeCache.txt")
verze=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$knihovny" ] && [ -n "$verze" ] || chyba "$build is not a configured build of the project"

# The files an install holds, relative to the prefix.
ocekavane() {
  local programy=(zq-datalogger zq-modsim)
  [ -x "$build/bin/zq-logger" ] && programy+=(zq-logger)
  [ -x "$build/bin/zq-prohlizec" ] && programy+=(zq-prohlizec)
  for p in "${programy[@]}"; do
    echo "bin/$p"
    [ -f "$koren/packaging/$p.1" ] && echo "share/man/man1/$p.1.gz"
    [ -f "$koren/packaging/cs/$p.1" ] && echo "share/man/cs/man1/$p.1.gz"
  done
  for l in WCOM407 WPCI407 WPCI1407 WUSB1407 WZQ1407; do echo "$knihovny/lib$l.so"; done
  if [ -x "$build/bin/zq-logger" ]; then
    echo "lib/systemd/system/zq-logger@.service"
    echo "lib/sysusers.d/zentrolix-datalogger.conf"
  fi
  echo "share/applications/$id.desktop"
  if [ -x "$build/bin/zq-prohlizec" ]; then
    echo "share/applications/$id_prohlizece.desktop"
    for n in "${velikosti_ikon[@]}"; do echo "share/icons/hicolor/${n}x$n/apps/$id_prohlizece.png"; done
    echo "share/icons/hicolor/scalable/apps/$id_prohlizece.svg"
  fi
  echo "share/doc/zentrolix-datalogger/copyright"
  echo "share/doc/zentrolix-datalogger/changelog.gz"
  for d in "${dokumenty[@]}"; do echo "share/doc/zentrolix-datalogger/$d.md.gz"; done
  # The pictures the documents name, beside them as in docs/.
  (cd "$koren/docs" && grep -ohE 'screenshots/[A-Za-z0-9_.-]+\.png' "${dokumenty[@]/%/.md}") |
    sort -u | sed 's|^|share/doc/zentrolix-datalogger/|'
  echo "share/metainfo/$id.metainfo.xml"
  for n in "${velikosti_ikon[@]}"; do echo "share/icons/hicolor/${n}x$n/apps/$id.png"; done
  echo "share/icons/hicolor/scalable/apps/$id.svg"
}
ocekavane | sort >"$pracovni/ocekavane"

obsah() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort); }

# --- 1. the installed tree ---------------------------------------------------
prefix="$pracovni/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
obsah "$prefix" >"$pracovni/instalovane"
diff -u "$pracovni/ocekavane" "$pracovni/instalovane" >&2 ||
  chyba "the installed files differ from the expected ones (- expected, + installed)"

ikony=("$id")
for d in "$prefix"/share/applications/*.desktop; do
  desktop-file-validate "$d" || chyba "desktop entry $(basename "$d") not valid"
done
if [ -f "$prefix/share/applications/$id_prohlizece.desktop" ]; then
  ikony+=("$id_prohlizece")
  for r in '^Exec=zq-prohlizec %F$' "^Icon=$id_prohlizece\$" '^MimeType=.*text/csv;'; do
    grep -q "$r" "$prefix/share/applications/$id_prohlizece.desktop" ||
      chyba "the viewer's desktop entry has no line $r"
  done
  # Two entries with one picture would be told apart only by their names.
  cmp -s "$prefix/share/icons/hicolor/48x48/apps/$id.png" \
    "$prefix/share/icons/hicolor/48x48/apps/$id_prohlizece.png" &&
    chyba "the viewer's icon is the program's"
fi
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$pracovni/as" 2>&1 ||
  { cat "$pracovni/as" >&2; chyba "AppStream metadata not valid"; }
for i in "${ikony[@]}"; do
  for n in "${velikosti_ikon[@]}"; do
    file -b "$prefix/share/icons/hicolor/${n}x$n/apps/$i.png" | grep -q "^PNG image data, $n x $n," ||
      chyba "icon $i ${n}x$n is not a PNG of that size"
  done
  python3 -c 'import sys, xml.etree.ElementTree as E
sys.exit(E.parse(sys.argv[1]).getroot().tag != "{http://www.w3.org/2000/svg}svg")' \
    "$prefix/share/icons/hicolor/scalable/apps/$i.svg" || chyba "the SVG icon $i is no SVG document"
done
for m in "$prefix"/share/man/man1/*.gz "$prefix"/share/man/cs/man1/*.gz; do
  gzip -t "$m" || chyba "$m is damaged"
done
for f in "$prefix"/bin/* "$prefix/$knihovny"/*.so; do
  readelf -d "$f" | grep -qE 'R(UN)?PATH' && chyba "$f keeps a library search path: $(readelf -d "$f" | grep -E 'R(UN)?PATH')"
done
[ "$(stat -c %a "$prefix/$knihovny/libWCOM407.so")" = 644 ] || chyba "libraries should be 0644"
doc="$prefix/share/doc/zentrolix-datalogger"
# What the man pages send a reader to is there; so is whatever an installed
# document links relative to itself (a picture, another page).
for m in "$prefix"/share/man/man1/*.gz "$prefix"/share/man/cs/man1/*.gz; do
  for c in $(zcat "$m" | sed 's/\\-/-/g' | grep -oE '/usr/share/doc/zentrolix-datalogger/[A-Za-z0-9_./-]*'); do
    [ -e "$doc/${c#/usr/share/doc/zentrolix-datalogger/}" ] ||
      chyba "$(basename "$m") names $c, which is not installed"
  done
done
for d in "$doc"/*.md.gz; do
  for c in $(zcat "$d" | grep -oE '\]\([^)#: ]+\)|screenshots/[A-Za-z0-9_.-]+\.png' | sed 's/^](\(.*\))$/\1/'); do
    [ -e "$doc/$c" ] || chyba "$(basename "$d") links $c, which is not installed beside it"
  done
done
zcat "$doc/changelog.gz" | head -n 1 | grep -q "^zentrolix-datalogger ($verze) " ||
  chyba "the changelog's latest entry is not of version $verze"
dep5='Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
[ "$(head -n 1 "$doc/copyright")" = "$dep5" ] ||
  chyba "the copyright file is not in Debian's machine-readable format"

# --- 2. the installed program writes into the user's folder ------------------
domov="$pracovni/domov"
mkdir -p "$domov"
env -u XDG_DATA_HOME HOME="$domov" QT_QPA_PLATFORM=offscreen \
  "$prefix/bin/zq-datalogger" >"$pracovni/program.log" 2>&1 &
pid=$!
# SIGTERM ends it like closing the window only once its handler is in place:
# wait for the bit of SIGTERM (15) among the caught signals.
zachyceno=0
for _ in $(seq 200); do
  maska=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null || true)
  [ -z "$maska" ] && break
  if (((0x$maska >> 14) & 1)); then
    zachyceno=1
    break
  fi
  sleep 0.05
done
[ "$zachyceno" = 1 ] || { cat "$pracovni/program.log" >&2; chyba "the installed program did not start"; }
kill -TERM "$pid"
stav=0
wait "$pid" || stav=$?
pid=""
[ "$stav" = 0 ] || { cat "$pracovni/program.log" >&2; chyba "the installed program ended with $stav"; }
slozka="$domov/.local/share/zentrolix-datalogger"
for f in NovaUloha.zq ZQ_datalogger.ini; do
  [ -s "$slozka/$f" ] || { cat "$pracovni/program.log" >&2; chyba "no $f in $slozka"; }
done
[ "$(stat -c %a "$slozka")" = 700 ] || chyba "$slozka is not private (0700)"
obsah "$prefix" | diff -u "$pracovni/instalovane" - >&2 ||
  chyba "the program wrote into its installation"

# --- 3. the service of an unattended logger ------------------------------------
jednotka="$prefix/lib/systemd/system/zq-logger@.service"
if [ -f "$jednotka" ]; then
  if command -v systemd-analyze >/dev/null; then
    mkdir -p "$pracovni/jednotky"
    cp "$jednotka" "$pracovni/jednotky/"
    ln -s zq-logger@.service "$pracovni/jednotky/zq-logger@Linka1.service"
    systemd-analyze verify --man=no "$pracovni/jednotky/zq-logger@Linka1.service" \
      >"$pracovni/verify" 2>&1 || { cat "$pracovni/verify" >&2; chyba "systemd-analyze verify refuses $jednotka"; }
    # The sandbox, as systemd rates it (--threshold counts tenths).
    s=0
    systemd-analyze security --offline=yes --threshold=35 \
      "$pracovni/jednotky/zq-logger@Linka1.service" >"$pracovni/security" 2>&1 || s=$?
    expozice=$(sed -n 's/^→ Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p' "$pracovni/security")
    [ -n "$expozice" ] || { cat "$pracovni/security" >&2; chyba "systemd-analyze security did not rate $jednotka"; }
    [ "$s" = 0 ] || { grep '^✗' "$pracovni/security" >&2; chyba "the unit's exposure is $expozice, above 3.5"; }
    echo "zq-logger@.service: exposure $expozice (systemd-analyze security)"
  else
    echo "install check: no systemd-analyze here, the unit is not verified"
  fi
  for r in '^Type=notify$' '^NotifyAccess=main$' '^WatchdogSec=[1-9]'; do
    grep -q "$r" "$jednotka" || chyba "the unit has no line $r"
  done
  # The documents' copy: the unit's lines without comments, as the package
  # installs it (/usr/bin).
  bez_komentaru() { grep -v -e '^#' -e '^[[:space:]]*$'; }
  sed "s|^ExecStart=$prefix/bin/|ExecStart=/usr/bin/|" "$jednotka" | bez_komentaru >"$pracovni/jednotka"
  awk '/^The unit as installed/ { f = 1; next }
       f && /^    / { print substr($0, 5); b = 1; next }
       b && /^[^ ]/ { exit }' "$koren/docs/zq-logger.md" | bez_komentaru |
    diff -u "$pracovni/jednotka" - >&2 || chyba "docs/zq-logger.md shows another unit than the installed one (- installed, + documented)"
  if command -v systemd-sysusers >/dev/null; then
    systemd-sysusers --dry-run "$prefix/lib/sysusers.d/zentrolix-datalogger.conf" >"$pracovni/sysusers" 2>&1 ||
      { cat "$pracovni/sysusers" >&2; chyba "systemd-sysusers refuses the package's sysusers.d file"; }
  fi
  # ExecStart as systemd runs it for the instance Linka1: %i replaced, the
  # unit's environment with the state folder in a folder of ours.
  prikaz=$(sed -n 's/^ExecStart=//p' "$jednotka" | sed 's/%i/Linka1/g')
  stav_slozka="$pracovni/stav/zentrolix-datalogger"
  mkdir -p "$stav_slozka"
  "$prefix/bin/zq-modsim" --udp 0 --module 1:0=uint32:counter >"$pracovni/modsim.log" 2>&1 &
  simulator=$!
  udp=""
  for _ in $(seq 100); do
    udp=$(sed -n 's/^LAN konvertor na 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$pracovni/modsim.log" 2>/dev/null || true)
    [ -n "$udp" ] && break
    sleep 0.05
  done
  [ -n "$udp" ] || { kill "$simulator"; cat "$pracovni/modsim.log" >&2; chyba "the installed simulator did not start"; }
  # A task of one channel on the simulator's LAN converter, as a save writes it.
  uloha() {
    printf '%s\r\n' '[Připojení]' 'Rozhraní=ZQ-1407U' 'IP adresa=127.0.0.1' "UDP port=$udp" \
      'LAN timeout=200' 'RS-485 rychlost=9600' 'RS-485 timeout=50' 'RS-485 opakování=0' \
      '[Konfigurace]' 'Perioda měření=0' 'Počet kanálů=1' 'Jméno souboru=linka1.csv' 'Volby=3' \
      'Chybová hodnota=0' '[Ch0]' 'Adresa=1' 'Periferie=0' 'Formát=uint32' 'Desetinná místa=0' \
      'Konstanta K=1' 'Konstanta Q=0' 'Název=Čítač' | iconv -f UTF-8 -t CP1250
  }
  uloha >"$stav_slozka/Linka1.zq"
  sluzba() {  # runs ExecStart until the data file has $1 lines, then SIGTERM
    (cd "$stav_slozka" && exec env -u HOME XDG_DATA_HOME="$pracovni/stav" $prikaz) \
      >"$pracovni/sluzba.log" 2>&1 &
    local p=$! n=0
    for _ in $(seq 200); do
      n=$( (tr -cd '\n' <"$stav_slozka/linka1.csv") 2>/dev/null | wc -c)
      [ "$n" -ge "$1" ] && break
      kill -0 "$p" 2>/dev/null || break
      sleep 0.05
    done
    kill -TERM "$p" 2>/dev/null || true
    local s=0
    wait "$p" || s=$?
    return "$s"
  }
  sluzba 3 || { kill "$simulator"; cat "$pracovni/sluzba.log" >&2; chyba "the unit's ExecStart did not measure and stop with 0"; }
  sluzba 5 || { kill "$simulator"; cat "$pracovni/sluzba.log" >&2; chyba "the unit's ExecStart did not continue its data file"; }
  # One header, indices 1, 2, 3, ... without a gap across the restart.
  awk -F';' 'NR == 1 { if ($1 != "Index") exit 1; next } $1 != NR - 1 { exit 1 }' \
    "$stav_slozka/linka1.csv" || { kill "$simulator"; cat "$stav_slozka/linka1.csv" >&2; chyba "the restarted logger did not continue the file"; }
  # A task file cut short: status 2, which the unit does not restart on.
  uloha | head -c 200 >"$stav_slozka/Linka1.zq"
  s=0
  (cd "$stav_slozka" && exec timeout 20 env -u HOME XDG_DATA_HOME="$pracovni/stav" $prikaz) \
    >"$pracovni/sluzba.log" 2>&1 || s=$?
  kill "$simulator"
  wait "$simulator" 2>/dev/null || true
  simulator=""
  grep -q '^RestartPreventExitStatus=2$' "$jednotka" || chyba "the unit restarts on status 2"
  [ "$s" = 2 ] || { cat "$pracovni/sluzba.log" >&2; chyba "a task cut short ended the unit's command with $s, not 2"; }
fi

# --- 4. the Debian package ---------------------------------------------------
"$koren/scripts/balicek.sh" "$build" >"$pracovni/balicek.log" 2>&1 ||
  { cat "$pracovni/balicek.log" >&2; chyba "scripts/balicek.sh failed"; }
deb=$(find "$build/balicek" -maxdepth 1 -name '*.deb' -print -quit)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "zentrolix-datalogger_${verze}_$arch.deb" ] ||
  chyba "package file $deb is not zentrolix-datalogger_${verze}_$arch.deb"
echo "Package $deb:"
dpkg-deb -I "$deb"
dpkg-deb -c "$deb" >"$pracovni/deb-c"
awk '$1 !~ /^d/ {print "  " $1, $2, $6}' "$pracovni/deb-c"
awk '$1 !~ /^d/ {print $6}' "$pracovni/deb-c" | sed 's|^\./usr/||' | sort |
  diff -u "$pracovni/ocekavane" - >&2 || chyba "the package's files differ (- expected, + packaged)"
awk '$2 != "root/root"' "$pracovni/deb-c" | grep -q . && chyba "files in the package not owned by root"
zavislosti=$(dpkg-deb -f "$deb" Depends)
for z in libc6 libqt6widgets6 libsystemd0 qt6-qpa-plugins qt6-translations-l10n; do
  [[ ", $zavislosti," == *", $z "* || ", $zavislosti," == *", $z,"* ]] ||
    chyba "the package does not depend on $z: $zavislosti"
done
dpkg-deb -f "$deb" Description | grep -q dialout || chyba "the description does not mention dialout"
if [ -f "$jednotka" ]; then
  # Listed into files first: grep -q leaving early would break the pipe of
  # the writer, and with pipefail a found line would count as missing.
  dpkg-deb --ctrl-tarfile "$deb" | tar -t >"$pracovni/deb-ctrl"
  grep -q '^\./postinst$' "$pracovni/deb-ctrl" || chyba "no postinst in the package"
  dpkg-deb -I "$deb" postinst >"$pracovni/postinst"
  grep -q '^ *systemd-sysusers .*zentrolix-datalogger.conf$' "$pracovni/postinst" ||
    chyba "the postinst does not create the service's user"
fi
# The maintainer scripts at work, in a root of their own: dpkg runs them
# outside it with DPKG_ROOT set, as for a system being bootstrapped (the
# Qt libraries are not there, hence --force-depends).
if [ -f "$jednotka" ] && command -v systemd-sysusers >/dev/null; then
  koren_dpkg="$pracovni/dpkg-root"
  mkdir -p "$koren_dpkg/var/lib/dpkg/info" "$koren_dpkg/var/lib/dpkg/updates" "$koren_dpkg/etc"
  touch "$koren_dpkg/var/lib/dpkg/status"
  dpkg_r() { dpkg --root="$koren_dpkg" --force-depends --force-script-chrootless "$@"; }
  dpkg_r -i "$deb" >"$pracovni/dpkg.log" 2>&1 || { cat "$pracovni/dpkg.log" >&2; chyba "dpkg -i failed"; }
  grep -q '^zq-logger:x:[0-9]*:[0-9]*:[^:]*:/var/lib/zentrolix-datalogger:' "$koren_dpkg/etc/passwd" ||
    chyba "the postinst did not make the user zq-logger"
  grep -q '^dialout:.*[:,]zq-logger\(,\|$\)' "$koren_dpkg/etc/group" ||
    chyba "the postinst did not put zq-logger into dialout"
  dpkg_r --purge zentrolix-datalogger >"$pracovni/dpkg.log" 2>&1 ||
    { cat "$pracovni/dpkg.log" >&2; chyba "dpkg --purge failed"; }
  [ -z "$(find "$koren_dpkg/usr" -type f 2>/dev/null)" ] || chyba "a purge left files below /usr"
fi
# Debian's checks of the package: no error; the rest is shown (lintian
# warns when run as root, which says nothing of the package).
if command -v lintian >/dev/null; then
  s=0
  lintian --fail-on error --display-info --display-experimental --pedantic "$deb" \
    >"$pracovni/lintian" 2>&1 || s=$?
  grep -v '^running with root privileges' "$pracovni/lintian" >"$pracovni/lintian.vypis" || true
  echo "lintian $(lintian --print-version):"
  if [ -s "$pracovni/lintian.vypis" ]; then sed 's/^/  /' "$pracovni/lintian.vypis"; else echo "  (nothing)"; fi
  [ "$s" = 0 ] || chyba "lintian finds errors in the package (status $s)"
else
  chyba "no lintian here (scripts/zavislosti.sh installs it)"
fi
echo "Install check passed: the installed tree, the installed program's user folder, the package"
