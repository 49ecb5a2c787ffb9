#!/usr/bin/env bash
# Installs the Debian packages that building and testing omb needs.
set -euo pipefail
# The console: Qt 6 Widgets, PrintSupport and Test; Xvfb and the X client
# library for its smoke test and screenshots; poppler-utils to read printed
# PDF files back. clang and its runtime build the fuzz targets. systemd
# brings systemd-analyze and systemd-escape, which check the exported timers
# and the packaged units. scdoc makes the man pages and man-db renders them;
# libsystemd-dev sends to the journal; lintian checks the packages.
# ombctl writes its JSON with nlohmann-json; its tests check it against the
# JSON Schemas with python3-jsonschema.
packages=(cmake g++ make libgtest-dev libgmock-dev googletest
          qt6-base-dev libx11-dev xvfb xauth poppler-utils fonts-dejavu-core
          clang libclang-rt-14-dev systemd
          nlohmann-json3-dev python3 python3-jsonschema
          scdoc man-db pkg-config libsystemd-dev lintian dpkg-dev fakeroot)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
