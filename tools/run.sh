#!/bin/bash
# The two things a newcomer runs (see README.md):
#   tools/run.sh demo   set up, build everything and show where the plug-in is
#   tools/run.sh test   set up, build everything and run every test
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
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
    if [ -f build/Brakka.so ]; then
      echo "The plug-in is at $root/build/Brakka.so"
    else
      echo "Everything that exists so far is built in $root/build (the plug-in itself is not there yet)."
    fi
    ;;
  test)
    build
    # The engine's thread stress test, built with ThreadSanitizer in its own folder.
    "$root/tools/tsan-check.sh"
    # Every test of the main build; its summary closes the run.
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  *)
    echo "usage: tools/run.sh demo|test" >&2
    exit 2
    ;;
esac
