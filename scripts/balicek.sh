#!/usr/bin/env bash
# Builds the Debian package of the program from the Release build in build/
# (or in the build folder given) and prints where it is.  On Debian 12 it
# installs, with the Qt libraries and Qt's Czech texts it needs, by
#     sudo apt install ./build/balicek/zentrolix-datalogger_<version>_<arch>.deb
# (apt needs the ./, or it takes the name for a package to download) and
# goes again with  sudo apt remove zentrolix-datalogger.
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
"$koren/scripts/zavislosti.sh"

build=${1:-$koren/build}

# Release, as the program ships.  A build dir that scripts/test.sh configured
# keeps its ZQ_WERROR; a fresh one never fails on a compiler warning.
cmake -S "$koren" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the package holds, not the tests.
cmake --build "$build" -j"$(nproc)" --target zq-instalace

vystup="$build/balicek"
rm -f "$vystup"/*.deb
# dpkg-shlibdeps finds the package's library dependencies; CPack's own
# progress goes to a log that is shown only when it fails.
log=$(mktemp "${TMPDIR:-/tmp}/zq-cpack.XXXXXX")
trap 'rm -f "$log"' EXIT
if ! (cd "$build" && cpack -G DEB) >"$log" 2>&1; then
  cat "$log" >&2
  echo "Building the package failed." >&2
  exit 1
fi
deb=$(find "$vystup" -maxdepth 1 -name '*.deb' -print -quit)
echo "Package: $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
echo
echo "Install it with:  sudo apt install $deb"
echo "Users who talk to serial ports or USB converters must be in the dialout group:"
echo "  sudo adduser <user> dialout   (then log in again)"
