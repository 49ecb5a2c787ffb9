#!/usr/bin/env bash
# Installs the Debian packages that building and testing omb needs.
set -euo pipefail
# The console: Qt 6 Widgets, PrintSupport and Test; Xvfb and the X client
# library for its smoke test and screenshots; poppler-utils to read printed
# PDF files back. clang and its runtime build the fuzz targets. systemd
# brings systemd-analyze and systemd-escape, which check the exported timers.
packages=(cmake g++ make libgtest-dev libgmock-dev googletest
          qt6-base-dev libx11-dev xvfb xauth poppler-utils fonts-dejavu-core
          clang libclang-rt-14-dev systemd)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
