#!/bin/sh
# Renders a few factory programs with every bus as a 32-bit float stem and compares the files'
# SHA-256 sums with the ones recorded in the repository: the same samples on every machine.
# The test runs twice, once with the C library's CPU-specific variants (FMA) switched off.
#   render_checksum.sh RENDER PLUGIN SUMS [--record]
set -eu
render=$1 plugin=$2 sums=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for program in 1 17 33; do
    "$render" --plugin "$plugin" --program "$program" --bars 2 --rate 48000 --block 64 \
        --float --stems --out "$dir/program$program.wav" >/dev/null
done
(cd "$dir" && sha256sum program*-?.wav) >"$dir/sums"
if [ "${4:-}" = "--record" ]; then
    cp "$dir/sums" "$sums"
    exit 0
fi
diff "$sums" "$dir/sums"
