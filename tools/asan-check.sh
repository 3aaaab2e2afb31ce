#!/bin/bash
# Builds the editor's window test and the plug-in with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan and runs it: build/Brakka.so loaded as a host loads
# it, its editor opened in an X11 window of a private X server, clicked, and opened and closed
# 200 times while an audio thread plays. Any sanitizer report (use after free, overflow, leak,
# undefined behaviour) or crash fails the check. Skipped, like the test, without Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BRAKKA_ASAN_BUILD:-$root/build-asan}"
jobs="${BRAKKA_JOBS:-2}"

# The build runs generators of its own (resources, fonts, artwork, the factory bank), as
# instrumented as everything else: their leaks at exit are not the check's business.
ASAN_OPTIONS=detect_leaks=0 cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAKKA_SANITIZE=ON -DBRAKKA_BUILD_BENCHMARKS=OFF >/dev/null
ASAN_OPTIONS=detect_leaks=0 cmake --build "$build" -j "$jobs" --target engine_test_editor_window

ASAN_OPTIONS="abort_on_error=1 detect_leaks=1 ${ASAN_OPTIONS:-}" \
    UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}" \
    timeout 600 "$build/tests/engine/engine_test_editor_window"
echo "asan-check: no sanitizer report"
