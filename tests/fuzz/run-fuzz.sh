#!/bin/bash
# Builds the chunk fuzzer (clang, libFuzzer, AddressSanitizer) in its own build folder and runs
# it for a bounded time, starting from chunks the plug-in itself writes. Any crash, sanitizer
# report, leak, hang or broken round trip fails the run (the input is kept in the build folder).
#   tests/fuzz/run-fuzz.sh [seconds]        (default 60)
# BRAKKA_FUZZ_BUILD names the build folder (default build-fuzz), BRAKKA_JOBS the build jobs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BRAKKA_FUZZ_BUILD:-$root/build-fuzz}"
seconds="${1:-60}"
jobs="${BRAKKA_JOBS:-2}"

# The build runs programs of its own (resource embedding, fonts, the factory bank), instrumented
# like everything else: their leaks at exit are not the fuzzer's business.
ASAN_OPTIONS=detect_leaks=0 cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    >/dev/null
ASAN_OPTIONS=detect_leaks=0 cmake --build "$build" -j "$jobs" --target brakka_fuzz_chunks

# Seeds are written fresh by the plug-in; inputs the fuzzer finds go to a temporary folder
# (bank inputs are megabytes each).
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/presets" "$work/banks"
BRAKKA_FUZZ_WRITE_SEEDS="$work/seeds" "$build/brakka_fuzz_chunks"

# Two rounds: presets (small, fast inputs) for half the time, then banks, whose inputs must be
# allowed the size of the largest seed bank so that a sound one can be loaded at all.
fuzz() {
  local corpus="$1" seconds="$2"
  shift 2
  "$build/brakka_fuzz_chunks" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$build/" "$@" "$corpus" "$work/seeds/$(basename "$corpus")"
}
mkdir -p "$work/seeds/presets" "$work/seeds/banks"
mv "$work/seeds/preset" "$work/seeds/presets/"
mv "$work/seeds/bank" "$work/seeds/factory-bank" "$work/seeds/banks/"
largest=$(stat -c %s "$work"/seeds/banks/* | sort -n | tail -1)
fuzz "$work/presets" $(( (seconds + 1) / 2 ))
fuzz "$work/banks" $(( seconds / 2 )) -max_len="$largest"
echo "run-fuzz: no failure in $seconds s"
