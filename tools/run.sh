#!/bin/bash
# The two things a newcomer runs (see README.md):
#   tools/run.sh demo   set up, build, install the plug-in and render a demo song (WAV and MIDI)
#                       into the current folder
#   tools/run.sh test   set up, build everything and run every test
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
here="$(pwd)"
cd "$root"
jobs="${BRAKKA_JOBS:-2}"

build() {
  "$root/tools/setup.sh"
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j "$jobs"
}

case "${1:-}" in
  demo)
    build
    "$root/tools/install.sh"
    # A short song through the first factory program: main groove, variation, fill and break.
    build/brakka-render --program 1 --song 1x2,2x2,3x1,4x1 \
      --out "$here/brakka-demo.wav" --midi "$here/brakka-demo.mid"
    echo "Demo: $here/brakka-demo.wav (audio) and $here/brakka-demo.mid (the notes Brakka played)"
    ;;
  test)
    build
    # The engine's thread stress tests, built with ThreadSanitizer in their own folder.
    "$root/tools/tsan-check.sh"
    # The editor in an X11 window, clicked and opened 200 times while playing, with
    # AddressSanitizer, in its own folder.
    "$root/tools/asan-check.sh"
    # Damaged and random chunks thrown at the plug-in for a bounded time (clang, libFuzzer).
    "$root/tests/fuzz/run-fuzz.sh" 60
    # Every test of the main build; its summary closes the run.
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  *)
    echo "usage: tools/run.sh demo|test" >&2
    exit 2
    ;;
esac
