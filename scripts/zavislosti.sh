#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

baliky=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-liberation2 fonts-dejavu-core
  xvfb xauth x11-apps imagemagick
  python3 python3-dbfread
)

chybi=()
for b in "${baliky[@]}"; do
  dpkg-query -W -f='${Status}' "$b" 2>/dev/null | grep -q "install ok installed" || chybi+=("$b")
done
[ ${#chybi[@]} -eq 0 ] && exit 0

sudo_=""
[ "$(id -u)" -ne 0 ] && sudo_="sudo"
echo "Installing: ${chybi[*]}"
$sudo_ apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq --no-install-recommends "${chybi[@]}"
