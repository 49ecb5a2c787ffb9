#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer into
# build-fuzz/ and runs the wire decoder target for $1 seconds (default 20)
# from the seed corpus in the tree. New inputs go to a scratch corpus,
# never into the tree; a finding is kept in build-fuzz/ and ends the
# script non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMB_FUZZ=ON \
  -DOMB_TESTS=OFF -DOMB_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_remote_decoders -j"$(nproc)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/corpus"
# The largest legal single allocation is one 64 MiB report text; no input
# of the fuzzer's size may come near it.
"$PWD/build-fuzz/fuzz/fuzz_remote_decoders" -max_total_time="$seconds" -malloc_limit_mb=80 \
  -rss_limit_mb=1024 -artifact_prefix="$PWD/build-fuzz/" "$scratch/corpus" fuzz/corpus/remote_decoders
