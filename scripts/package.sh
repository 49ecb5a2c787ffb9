#!/usr/bin/env bash
# Builds the Debian packages omb, omb-console and dominosim into build-pkg/
# from a Release build without test hooks, then checks them with lintian,
# which must report no error. The build treats warnings as errors, so it is
# also the check that what a packager builds compiles cleanly
# (scripts/test.sh ends with it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=build-pkg
# Debian's hardening flags (fortified functions, stack protector, full
# RELRO and immediate binding), as a Debian build of the package would use.
# No debug information: the packaged programs are stripped, so it would
# only cost build time.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DOMB_TEST_HOOKS=OFF -DOMB_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  ${OMB_PACKAGE_CMAKE_ARGS:-} >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb
# lintian runs as root here (CI): allow it, and fail on errors only.
lintian --allow-root --fail-on error "$dir"/*.deb
