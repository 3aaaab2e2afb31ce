#!/bin/bash
# Builds the engine's thread stress tests with ThreadSanitizer in build-tsan and runs them.
# Any reported race, crash or hang fails the check.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BRAKKA_TSAN_BUILD:-$root/build-tsan}"
jobs="${BRAKKA_JOBS:-2}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAKKA_TSAN=ON \
    -DBRAKKA_BUILD_BENCHMARKS=OFF >/dev/null
stress_tests=(engine_test_threads)
cmake --build "$build" -j "$jobs" --target "${stress_tests[@]}"

# halt_on_error: the first race ends the run with a failing status.
for t in "${stress_tests[@]}"; do
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
        timeout 600 "$build/tests/engine/$t"
done
echo "tsan-check: no data race reported"
