#!/usr/bin/env bash
# Installs the Debian 12 packages lorimet builds, tests and runs with. Quick when they are already there.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-svg-dev
  qt6-translations-l10n libqt6sql6-sqlite libqt6sql6-psql postgresql-15 libqcustomplot-dev libxlsxwriter-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth socat x11-apps imagemagick fonts-dejavu-core poppler-utils python3-openpyxl
  clang libclang-rt-14-dev llvm-14
  dpkg-dev file lintian appstream desktop-file-utils man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
