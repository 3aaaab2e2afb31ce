#!/bin/bash
# Mutation testing: plants one deliberate fault at a time in the product code, rebuilds the test
# programs that should notice, runs them and records whether they did. Every file is restored
# after its mutant, also when the run is interrupted.
set -u

usage() {
    cat <<'EOF'
usage: tools/mutate.sh [options] [SET.txt ...]

Runs the mutations of the given sets (default: every tools/mutations/*.txt) against the build
folder and prints one line per mutation, then the totals:
  caught   the tests failed (or timed out) with the fault in place
  MISSED   the tests passed with the fault in place
  nobuild  the mutant did not compile (a faulty mutation, not a result)
  nomatch  the text to replace is not in the file exactly once (the set needs updating)
  notests  the ctest arguments selected no test

options:
  --build DIR     build folder, configured already (default: build)
  --only REGEX    only mutations whose name matches (grep -E)
  --timeout SEC   per ctest run (default 300)
  --out FILE      also write the table to FILE
  --list          list the mutations without running them
  --check         only check that every text to replace is found exactly once
  -h, --help      this text

Set files (tools/mutations/*.txt), read line by line:
  # comment                    ignored, as are blank lines
  @build TARGET...             targets to rebuild for the mutations that follow
  @ctest ARG...                ctest arguments selecting their tests (e.g. -L zu -R Param)
  NAME<TAB>FILE<TAB>FIND<TAB>REPLACE
                               one mutation: FIND (exactly once in FILE, relative to the
                               repository) becomes REPLACE; \n, \t and \\ in both stand for
                               a line feed, a tab and a backslash.
The working tree must be otherwise clean in the mutated files: each file is copied aside before
its mutant and copied back after.
EOF
}

root=$(cd "$(dirname "$0")/.." && pwd)
build=build
only=
timeout=300
out=
list=0
check=0
sets=()
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --list) list=1; shift ;;
    --check) check=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "mutate.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) sets+=("$1"); shift ;;
    esac
done
[ ${#sets[@]} -gt 0 ] || sets=("$root"/tools/mutations/*.txt)
case "$build" in /*) ;; *) build=$root/$build ;; esac
if [ $list = 0 ] && [ $check = 0 ] && [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    echo "mutate.sh: $build is not a configured build folder" >&2
    exit 2
fi

# The file being mutated and its saved copy, restored on any exit.
saved=
target=
restore() {
    if [ -n "$saved" ]; then
        cp "$saved" "$target" && rm -f "$saved"
        saved=
    fi
}
trap 'restore; exit 130' INT TERM
trap restore EXIT

# apply FILE FIND REPLACE: replaces the single occurrence; status 3 when not exactly one.
apply() {
    python3 - "$@" <<'PY'
import re, sys
path, find, repl = sys.argv[1:4]
codes = {'n': '\n', 't': '\t', '\\': '\\'}
unescape = lambda s: re.sub(r'\\(.)', lambda m: codes.get(m.group(1), m.group(0)), s)
find, repl = unescape(find), unescape(repl)
text = open(path, encoding='utf-8').read()
if text.count(find) != 1:
    sys.exit(3)
open(path, 'w', encoding='utf-8').write(text.replace(find, repl))
PY
}

logs=$(mktemp -d /tmp/mutate.XXXXXX)
table=$logs/table
: >"$table"
declare -A count=([caught]=0 [MISSED]=0 [nobuild]=0 [nomatch]=0 [notests]=0)
built=
for set in "${sets[@]}"; do
    targets=
    ctestArgs=
    while IFS= read -r line || [ -n "$line" ]; do
        case "$line" in
        '' | '#'*) continue ;;
        '@build '*) targets=${line#@build }; continue ;;
        '@ctest '*) ctestArgs=${line#@ctest }; continue ;;
        esac
        IFS=$'\t' read -r name file find repl <<<"$line"
        if [ -n "$only" ] && ! grep -qE -- "$only" <<<"$name"; then continue; fi
        if [ $list = 1 ]; then
            printf '%-28s %s\n' "$name" "$file"
            continue
        fi
        target=$root/$file
        if [ $check = 1 ]; then
            cp "$target" "$logs/check"
            apply "$logs/check" "$find" "$repl" || echo "nomatch: $name in $file"
            continue
        fi
        saved=$logs/saved
        cp "$target" "$saved"
        built="$built $targets"
        if ! apply "$target" "$find" "$repl"; then
            result=nomatch
        elif ! cmake --build "$build" -j2 --target $targets >"$logs/$name.build" 2>&1; then
            result=nobuild
        else
            # shellcheck disable=SC2086
            if (cd "$build" && timeout $((timeout + 30)) ctest --timeout "$timeout" \
                --stop-on-failure $ctestArgs >"$logs/$name.test" 2>&1); then
                if grep -q 'No tests were found' "$logs/$name.test"; then
                    result=notests
                else
                    result=MISSED
                fi
            else
                result=caught
            fi
        fi
        restore
        count[$result]=$((count[$result] + 1))
        printf '%-28s %-8s %s\n' "$name" "$result" "$file" | tee -a "$table"
    done <"$set"
done
[ $list = 1 ] || [ $check = 1 ] && exit 0
# Leave the test programs matching the restored sources.
# shellcheck disable=SC2086
[ -n "$built" ] && cmake --build "$build" -j2 --target $(tr ' ' '\n' <<<"$built" | sort -u) >/dev/null 2>&1
summary="caught ${count[caught]}, missed ${count[MISSED]}, did not build ${count[nobuild]}, no match ${count[nomatch]}, no tests ${count[notests]} (logs in $logs)"
echo "$summary"
if [ -n "$out" ]; then
    { cat "$table"; echo "$summary"; } >"$out"
fi
[ "${count[MISSED]}" = 0 ] && [ "${count[nomatch]}" = 0 ] && [ "${count[notests]}" = 0 ]
