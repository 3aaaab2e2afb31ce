#!/bin/bash
# Installs the built plug-in where Linux hosts look for VST 2 plug-ins, without CMake:
#   tools/install.sh [--dest FOLDER] [BUILD_FOLDER]
# BUILD_FOLDER defaults to build/ of this repository. The destination is --dest, else the first
# folder of VST_PATH, else ~/.vst. Beside Brakka.so it puts the factory bank as
# "Brakka Factory.fxb" when the build made one. Running it again changes nothing unless the
# build changed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

usage() {
    echo "usage: tools/install.sh [--dest FOLDER] [BUILD_FOLDER]" >&2
    exit 2
}

dest=""
build="$root/build"
while [ $# -gt 0 ]; do
    case "$1" in
        --dest)
            [ $# -ge 2 ] || usage
            dest="$2"
            shift 2
            ;;
        --dest=*)
            dest="${1#--dest=}"
            shift
            ;;
        -h | --help)
            sed -n '2,7p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0
            ;;
        -*)
            usage
            ;;
        *)
            build="$1"
            shift
            ;;
    esac
done

if [ -z "$dest" ]; then
    first="${VST_PATH:-}"
    first="${first%%:*}"
    if [ -n "$first" ]; then
        dest="$first"
    elif [ -n "${HOME:-}" ]; then
        dest="$HOME/.vst"
    else
        echo "tools/install.sh: neither VST_PATH nor HOME is set; name a folder with --dest" >&2
        exit 2
    fi
fi

plugin="$build/Brakka.so"
bank="$build/resources/BrakkaFactoryPresets.fxb"
if [ ! -f "$plugin" ]; then
    echo "tools/install.sh: $plugin does not exist; build first (tools/run.sh demo)" >&2
    exit 1
fi

mkdir -p "$dest"

# Copies through a temporary file in the destination and a rename, so that a host scanning the
# folder never sees half a file. Unchanged files are left alone.
put() {
    local from="$1" to="$2"
    if [ -f "$to" ] && cmp -s "$from" "$to"; then
        echo "up to date: $to"
        return
    fi
    local tmp
    tmp="$(mktemp "$(dirname "$to")/.brakka-install.XXXXXX")"
    trap 'rm -f "$tmp"' EXIT
    cp "$from" "$tmp"
    chmod "$3" "$tmp"
    mv -f "$tmp" "$to"
    trap - EXIT
    echo "installed: $to"
}

put "$plugin" "$dest/Brakka.so" 0755
if [ -f "$bank" ]; then
    put "$bank" "$dest/Brakka Factory.fxb" 0644
else
    echo "no factory bank in $build/resources yet; only the plug-in was installed"
fi
