#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build, then a build
# under AddressSanitizer and UndefinedBehaviorSanitizer. Both have the test
# hooks and treat warnings as errors. Then it builds what a packager builds,
# a Release without test hooks and with warnings as errors, as the Debian
# packages (scripts/package.sh), so that build cannot break unseen. Last the
# wire decoders run briefly under libFuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
# Each phase's time goes to standard error, so that CI shows where its
# time goes; the processor time tells a slow phase from a loaded machine.
phase() {
  local TIMEFORMAT="test.sh: ${*:1:2} took %0R s (processor: %0U s user, %0S s system)"
  time "$@"
}

phase scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMB_TEST_HOOKS=ON -DOMB_WERROR=ON
# One test at a time per processor: several cases measure waits and
# time-outs of child programs that a crowded machine would stretch.
phase ctest --test-dir build --output-on-failure --no-tests=error -j"$jobs"

# The sanitizers find faults in the program, not in the benchmarks' timing
# loops: the benchmarks are built only in the normal build.
phase scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DOMB_SANITIZE=ON -DOMB_TEST_HOOKS=ON -DOMB_WERROR=ON \
  -DOMB_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  phase ctest --test-dir build-asan --output-on-failure --no-tests=error -j"$jobs"

phase scripts/package.sh

# The wire decoders under libFuzzer and AddressSanitizer, briefly, from
# the seed corpus.
phase scripts/fuzz.sh 20
