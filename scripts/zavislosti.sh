#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# As root it installs directly, otherwise through sudo.
#   scripts/zavislosti.sh           what building and running the program needs
#   scripts/zavislosti.sh --testy   that and what only the tests need
set -euo pipefail

# Package and why the project needs it.
baliky=(
  "build-essential|C++ compiler and make tools"
  "cmake|build system"
  "ninja-build|build tool the scripts use"
  "pkg-config|finding libraries at build time"
  "qt6-base-dev|Qt 6 Widgets, Network and Test for the program and its tests (Network: the publishing tests talk HTTP to InfluxDB)"
  "qt6-base-dev-tools|Qt's moc for the build"
  "qt6-translations-l10n|Qt's own Czech texts (standard buttons and dialogs)"
  "qt6-charts-dev|Qt Charts for the plot of the trend window (run time: libqt6charts6, found by dpkg-shlibdeps)"
  "libqt6opengl6-dev|Qt 6 OpenGL's CMake files, which Qt Charts' CMake files require"
  "libgl-dev|OpenGL headers Qt 6 Gui needs to build against"
  "fonts-liberation2|fonts for the window"
  "fonts-dejavu-core|fonts for the window"
  "xvfb|virtual X server for the GUI tests and ZQ_XVFB=1"
  "xauth|X authority for xvfb-run and ssh -X"
  "x11-apps|xwd, for screenshots of the window under Xvfb"
  "xdotool|driving the window in black-box GUI checks under Xvfb"
  "imagemagick|turning those screenshots into PNG"
  "python3|runs the independent dBASE reader of the tests and the check scripts"
  "clang-format|the test script checks the formatting (.clang-format)"
  "clang-tidy|the test script's static analysis (clang-tidy, run-clang-tidy)"
  "lld|a faster linker: the builds link with it when it is there (CMakeLists.txt)"
  "git|the test script lists the sources to check from the checkout"
  "python3-dbfread|the tests check the DBF data files with it"
  "dpkg-dev|dpkg-shlibdeps: the package's library dependencies (scripts/balicek.sh)"
  "file|the install check reads the icons' sizes"
  "desktop-file-utils|the install check validates the desktop entry"
  "appstream|the install check validates the AppStream metadata"
  "libmosquitto-dev|MQTT client library: publishing samples to a broker (run time: libmosquitto1)"
  "zlib1g-dev|zlib's crc32: the checksum of each record in the publishing store (run time: zlib1g)"
  "libsystemd-dev|sd_notify: zq-logger as a Type=notify service, ready, status and watchdog (run time: libsystemd0)"
)
# Only for the tests: servers the tests start themselves on free loopback
# ports, with folders of their own.  On a desktop these packages also start
# system services, which neither the program nor the tests use: they are
# never installed for ./scripts/run.sh.
baliky_testu=(
  "mosquitto|the MQTT broker the publishing tests run against"
  "influxdb|InfluxDB 1.x: the tests write the line-protocol payload into it and read it back"
  "openssl|the TLS test makes its own CA and server certificate"
  "lintian|the install check runs Debian's checks of the package"
  "kst|bench_prohlizec draws the same picture with Kst (kst2), the reference viewer of large ASCII data files, to compare"
  "faketime|the logger test that crosses midnight and the new year moves the wall clock of a real zq-logger (libfaketime, FAKETIME_DONT_FAKE_MONOTONIC=1)"
  "systemd|the install check runs systemd-analyze verify on the unit and systemd-sysusers --dry-run (nothing is started; a bare container lacks both)"
)
if [ "${1:-}" = "--testy" ]; then
  baliky+=("${baliky_testu[@]}")
fi

chybi=()
for b in "${baliky[@]}"; do
  jmeno=${b%%|*}
  dpkg-query -W -f='${Status}' "$jmeno" 2>/dev/null | grep -q "install ok installed" || chybi+=("$b")
done
[ ${#chybi[@]} -eq 0 ] && exit 0

echo "Missing Debian packages, to be installed with apt-get:"
for b in "${chybi[@]}"; do
  printf '  %-24s %s\n' "${b%%|*}" "${b#*|}"
done
jmena=("${chybi[@]%%|*}")

sudo_=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Installing them needs root: this user is not root and sudo is not installed." >&2
    echo "Run as root:  apt-get update && apt-get install --no-install-recommends ${jmena[*]}" >&2
    echo "then run this script again." >&2
    exit 1
  fi
  echo "Not root: installing through sudo (it may ask for your password)."
  sudo_=(sudo)
fi
"${sudo_[@]}" apt-get update -qq
# Through env: sudo would drop a variable set in front of it.
"${sudo_[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${jmena[@]}"
