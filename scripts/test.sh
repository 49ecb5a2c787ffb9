#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build, then a build
# under AddressSanitizer and UndefinedBehaviorSanitizer. Both have the test
# hooks and treat warnings as errors. Last it builds what a packager builds,
# a plain Release without test hooks, so that build cannot break unseen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMB_TEST_HOOKS=ON -DOMB_WERROR=ON
(cd build && ctest --output-on-failure --no-tests=error -j"$jobs")

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DOMB_SANITIZE=ON -DOMB_TEST_HOOKS=ON -DOMB_WERROR=ON \
  -DOMB_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure --no-tests=error -j"$jobs")

scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DOMB_WERROR=ON
