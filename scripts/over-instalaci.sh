#!/usr/bin/env bash
# Checks what the build in the given folder installs and packages:
#  1. cmake --install into a temporary prefix gives exactly the expected
#     files (programs, the interface libraries in their private folder, the
#     desktop entry, AppStream metadata, icons, man pages), the desktop entry
#     and the metadata validate, the icons have their sizes, and no installed
#     program or library points into the build tree (RPATH);
#  2. the installed program, started once without a display and ended by
#     SIGTERM (which closes it like its window), writes its task and settings
#     into the user's folder ~/.local/share/zentrolix-datalogger and nothing
#     into the installation;
#  3. scripts/balicek.sh builds a .deb with Debian's name, the expected files
#     below /usr, root ownership and the runtime dependencies.
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
uklid() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$pracovni"
}
trap uklid EXIT

id=cz.zentrolix.datalogger
# Sizes of the PNG icons, as expected (not read from the code under test).
velikosti_ikon=(16 24 32 48 64 128 256)
knihovny=$(sed -n 's/^ZQ_SLOZKA_KNIHOVEN:[A-Z]*=//p' "$build/CMakeCache.txt")
verze=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$knihovny" ] && [ -n "$verze" ] || chyba "$build is not a configured build of the project"

# The files an install holds, relative to the prefix.
ocekavane() {
  local programy=(zq-datalogger zq-modsim)
  [ -x "$build/bin/zq-logger" ] && programy+=(zq-logger)
  for p in "${programy[@]}"; do
    echo "bin/$p"
    [ -f "$koren/packaging/$p.1" ] && echo "share/man/man1/$p.1.gz"
  done
  for l in WCOM407 WPCI407 WPCI1407 WUSB1407 WZQ1407; do echo "$knihovny/lib$l.so"; done
  echo "share/applications/$id.desktop"
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

desktop-file-validate "$prefix/share/applications/$id.desktop" ||
  chyba "desktop entry not valid"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$pracovni/as" 2>&1 ||
  { cat "$pracovni/as" >&2; chyba "AppStream metadata not valid"; }
for n in "${velikosti_ikon[@]}"; do
  file -b "$prefix/share/icons/hicolor/${n}x$n/apps/$id.png" | grep -q "^PNG image data, $n x $n," ||
    chyba "icon ${n}x$n is not a PNG of that size"
done
python3 -c 'import sys, xml.etree.ElementTree as E
sys.exit(E.parse(sys.argv[1]).getroot().tag != "{http://www.w3.org/2000/svg}svg")' \
  "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || chyba "the SVG icon is no SVG document"
for m in "$prefix"/share/man/man1/*.gz; do gzip -t "$m" || chyba "$m is damaged"; done
for f in "$prefix"/bin/* "$prefix/$knihovny"/*.so; do
  readelf -d "$f" | grep -qE 'R(UN)?PATH' && chyba "$f keeps a library search path: $(readelf -d "$f" | grep -E 'R(UN)?PATH')"
done
[ "$(stat -c %a "$prefix/$knihovny/libWCOM407.so")" = 644 ] || chyba "libraries should be 0644"

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

# --- 3. the Debian package ---------------------------------------------------
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
for z in libc6 libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n; do
  [[ ", $zavislosti," == *", $z "* || ", $zavislosti," == *", $z,"* ]] ||
    chyba "the package does not depend on $z: $zavislosti"
done
dpkg-deb -f "$deb" Description | grep -q dialout || chyba "the description does not mention dialout"
echo "Install check passed: the installed tree, the installed program's user folder, the package"
