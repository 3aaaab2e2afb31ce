#!/bin/sh
# Builds the plug-in of another commit (default: the last commit on main before the speed work)
# into its own folder, so that brakka-plugin-bench can time it beside the current build in the same run:
#
#   tools/bench/build-reference.sh [COMMIT] [FOLDER]      # FOLDER default: build-reference
#   build/brakka-plugin-bench --reference build-reference/build/Brakka.so
#
# Only the plug-in is built (no tests, no benchmarks, no tools).
set -eu
commit=${1:-5eff4d2}
folder=${2:-build-reference}
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
rm -rf "$folder/src"
mkdir -p "$folder/src"
git -C "$root" archive "$commit" | tar -x -C "$folder/src"
cmake -S "$folder/src" -B "$folder/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DBRAKKA_BUILD_TESTS=OFF -DBRAKKA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$folder/build" -j2 --target Brakka brakka-render
echo "$folder/build/Brakka.so"
