#!/bin/bash
# Scans the plug-in with the host's own VST 2 scanner in a private cache folder and checks what
# the host learnt: an instrument with no inputs, 12 outputs, MIDI in and MIDI out.
set -u
plugin="$(readlink -f "$1")"
scanner_dir=/usr/lib/ardour7
scanner="$scanner_dir/ardour-vst-scanner"
if [ ! -x "$scanner" ]; then
    echo "SKIP: $scanner is not installed"
    exit 77
fi
[ -f "$plugin" ] || { echo "FAIL: no plug-in at $plugin"; exit 1; }

cache="$(mktemp -d)"
trap 'rm -rf "$cache"' EXIT
XDG_CACHE_HOME="$cache" LD_LIBRARY_PATH="$scanner_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    timeout 120 "$scanner" -f "$plugin" || true

xml="$(find "$cache" -name '*.v2i' -type f | head -n 1)"
[ -n "$xml" ] || { echo "FAIL: the scanner wrote no cache file"; exit 1; }
cat "$xml"

status=0
expect() {
    if grep -q "$1=\"$2\"" "$xml"; then
        echo "ok: $1=$2"
    else
        echo "FAIL: expected $1=\"$2\""
        status=1
    fi
}
expect name Brakka
expect creator "Zunder Works, Inc."
expect is_instrument 1
expect n_inputs 0
expect n_outputs 12
expect n_midi_inputs 1
expect n_midi_outputs 1
expect can_process_replace 1
exit $status
