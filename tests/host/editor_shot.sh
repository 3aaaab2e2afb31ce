#!/usr/bin/env bash
# editor_shot.sh -- open a Linux VST2 (LXVST) plug-in's OWN editor inside the
# real Ardour 7 GUI on a private Xvfb display, screenshot it, optionally click
# into it and screenshot again, then quit Ardour.
#
#   editor_shot.sh PLUGIN.so OUT.png [--click X,Y] [--seconds N] [options]
#
# Used by ardour_editor_test.py (see the README's host section). Exit status:
# 0 = OUT.png written (and, with --click, the second capture too); 1 =
# Ardour/editor failure; 2 = bad arguments or missing tools.  Ardour's exit is
# reported, not fatal.

set -u -o pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
MAKE_LUA="$HERE/editor_session.lua"
HOOK_LUA="$HERE/editor_gui_hook.lua"

usage () {
	cat <<'EOF'
usage: editor_shot.sh PLUGIN.so OUT.png [options]

  --click X,Y         after the first capture, XTest-click (button 1) at X,Y
                      (pixels, relative to the plug-in's own window), wait,
                      capture again to OUT-clicked.png (repeatable: one click
                      and one capture OUT-clicked-K.png per --click)
  --seconds N         time budget for everything up to the last capture
                      (default 60); the script always ends within N + 30 s
  --settle S          wait after the editor window is viewable, before the
                      first capture (default 2)
  --after-click S     wait after each click before capturing (default 1)
  --track auto|midi|audio
                      track that carries the plug-in (default auto: MIDI
                      track for an instrument, audio track for an effect)
  --host-png FILE     also capture Ardour's whole plug-in window (title bar
                      excluded: there is no window manager) to FILE
  --popups            also capture other top-level windows the plug-in shows
                      (its own dialogs) to OUT-popup-K.png
  --screen WxH        Xvfb screen size (default 1920x1200)
  --rate HZ           session/engine sample rate (default 48000)
  --keep-temp         keep the temporary folder (Ardour log, session, config)
  --verbose           print Ardour's log at the end
EOF
}

die () { echo "editor_shot.sh: $*" >&2; exit 2; }
say () { echo "editor_shot.sh: $*"; }

# ------------------------------------------------------------------ args
[ $# -ge 1 ] && { [ "$1" = "-h" ] || [ "$1" = "--help" ]; } && { usage; exit 0; }
[ $# -ge 2 ] || { usage >&2; exit 2; }
PLUGIN_ARG="$1"; OUT="$2"; shift 2

BUDGET=60; SETTLE=2; AFTER_CLICK=1; TRACK=auto; HOST_PNG=""; SCREEN=1920x1200
RATE=48000; KEEP_TEMP=0; VERBOSE=0; CLICKS=(); POPUPS_PNG=0
need () { [ $# -ge 2 ] || die "option $1 needs a value"; }
while [ $# -gt 0 ]; do
	case "$1" in
		--click) need "$@"; CLICKS+=("$2"); shift 2 ;;
		--seconds) need "$@"; BUDGET="$2"; shift 2 ;;
		--settle) need "$@"; SETTLE="$2"; shift 2 ;;
		--after-click) need "$@"; AFTER_CLICK="$2"; shift 2 ;;
		--track) need "$@"; TRACK="$2"; shift 2 ;;
		--host-png) need "$@"; HOST_PNG="$2"; shift 2 ;;
		--screen) need "$@"; SCREEN="$2"; shift 2 ;;
		--rate) need "$@"; RATE="$2"; shift 2 ;;
		--popups) POPUPS_PNG=1; shift ;;
		--keep-temp) KEEP_TEMP=1; shift ;;
		--verbose) VERBOSE=1; shift ;;
		-h|--help) usage; exit 0 ;;
		*) die "unknown option '$1' (see --help)" ;;
	esac
done
[[ "$BUDGET" =~ ^[0-9]+$ ]] && [ "$BUDGET" -ge 10 ] || die "--seconds must be an integer >= 10"
[[ "$SETTLE" =~ ^[0-9]+([.][0-9]+)?$ ]] || die "--settle must be a number"
[[ "$AFTER_CLICK" =~ ^[0-9]+([.][0-9]+)?$ ]] || die "--after-click must be a number"
for c in "${CLICKS[@]+"${CLICKS[@]}"}"; do
	[[ "$c" =~ ^[0-9]+,[0-9]+$ ]] || die "--click wants X,Y (non-negative integers), got '$c'"
done
case "$TRACK" in auto|midi|audio) ;; *) die "--track must be auto, midi or audio" ;; esac
[[ "$SCREEN" =~ ^[0-9]+x[0-9]+$ ]] || die "--screen wants WxH"
[[ "$RATE" =~ ^[0-9]+$ ]] || die "--rate must be an integer"

[ -f "$PLUGIN_ARG" ] || die "plug-in not found: $PLUGIN_ARG"
PLUGIN="$(readlink -f "$PLUGIN_ARG")"
case "$PLUGIN" in *.so) ;; *) die "expected a Linux VST2 .so: $PLUGIN" ;; esac
abspath () { local d; d="$(dirname "$1")"; mkdir -p "$d" || return 1; echo "$(cd "$d" && pwd)/$(basename "$1")"; }
OUT="$(abspath "$OUT")" || die "cannot create the folder of $OUT"
case "$OUT" in *.png) ;; *) die "OUT must end in .png" ;; esac
[ -z "$HOST_PNG" ] || HOST_PNG="$(abspath "$HOST_PNG")" || die "cannot create the folder of $HOST_PNG"

# ------------------------------------------------------------------ tools
ARDOUR_GUI="${ARDOUR_GUI:-$(command -v ardour7 || command -v ardour || true)}"
ARDOUR_LUA="${ARDOUR_LUA:-$(command -v ardour7-lua || true)}"
[ -n "$ARDOUR_GUI" ] && [ -x "$ARDOUR_GUI" ] || die "Ardour GUI launcher not found (Debian package 'ardour': /usr/bin/ardour); set ARDOUR_GUI"
[ -n "$ARDOUR_LUA" ] && [ -x "$ARDOUR_LUA" ] || die "ardour7-lua not found (Debian package 'ardour'); set ARDOUR_LUA"
ARDOUR_LIBDIR="${ARDOUR_LIBDIR:-$(cd "$(dirname "$(readlink -f "$ARDOUR_LUA")")/../lib/ardour7" 2>/dev/null && pwd)}"
VST_SCANNER="${ARDOUR_VST_SCANNER:-$ARDOUR_LIBDIR/ardour-vst-scanner}"
[ -x "$VST_SCANNER" ] || die "ardour-vst-scanner not found (looked at $VST_SCANNER)"
for t in Xvfb xauth xwininfo xdotool import identify timeout base64; do
	command -v "$t" >/dev/null || die "missing '$t' (apt-get install ardour xvfb xauth xdotool imagemagick x11-utils)"
done
[ -f "$MAKE_LUA" ] && [ -f "$HOOK_LUA" ] || die "missing editor_session.lua / editor_gui_hook.lua next to the script"
# every X client call is time-limited, so no step can hang the script
xwininfo () { timeout -k 1 5 xwininfo "$@"; }
xdotool () { timeout -k 1 5 xdotool "$@"; }
import () { timeout -k 1 15 import "$@"; }
identify () { timeout -k 1 15 identify "$@"; }

# ------------------------------------------------------------------ time keeping
T0=$(date +%s.%N)
DEADLINE=$(( $(date +%s) + BUDGET ))
now_s () { date +%s; }
left () { local l=$(( DEADLINE - $(now_s) )); [ $l -gt 0 ] && echo $l || echo 0; }
elapsed () { awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}'; }
past_deadline () { [ "$(now_s)" -ge "$DEADLINE" ]; }

# ------------------------------------------------------------------ temp area + teardown
TMP="$(mktemp -d -t ardour-edshot.XXXXXX)" || die "mktemp failed"
XVFB_PID=""; ARDOUR_PID=""; RC=1

pid_alive () { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }
# wait up to $2 seconds (0.1 s steps) for PID $1 to exit
wait_gone () {
	local pid="$1" n=$(( $2 * 10 ))
	while [ $n -gt 0 ] && pid_alive "$pid"; do sleep 0.1; n=$((n - 1)); done
	! pid_alive "$pid"
}
# children of a PID (we only ever kill PIDs we started and their children)
children_of () { ps -o pid= --ppid "$1" 2>/dev/null | tr -d ' '; }
stop_pid () {   # TERM, wait, KILL -- PID $1 (and the children it has now)
	local pid="$1" kids
	pid_alive "$pid" || return 0
	kids="$(children_of "$pid")"
	kill -TERM "$pid" 2>/dev/null
	wait_gone "$pid" 3 || { kill -KILL "$pid" 2>/dev/null; wait_gone "$pid" 2; }
	for k in $kids; do pid_alive "$k" && kill -KILL "$k" 2>/dev/null; done
	wait "$pid" 2>/dev/null
	return 0
}
cleanup () {
	trap - EXIT INT TERM
	[ -n "$ARDOUR_PID" ] && stop_pid "$ARDOUR_PID"
	[ -n "$XVFB_PID" ] && stop_pid "$XVFB_PID"
	if [ "$VERBOSE" = 1 ] && [ -f "$TMP/ardour.log" ]; then
		echo "----- Ardour log -----"; cat "$TMP/ardour.log"; echo "----------------------"
	fi
	if [ "$KEEP_TEMP" = 1 ]; then
		echo "editor_shot.sh: temporary folder kept: $TMP" >&2
	else
		rm -rf "$TMP"
	fi
}
trap cleanup EXIT
trap 'echo "editor_shot.sh: interrupted" >&2; exit 130' INT TERM

fail () {   # Ardour/editor failure: show what we know, exit 1
	echo "editor_shot.sh: FAILED: $*" >&2
	if [ -n "${DISPLAY:-}" ] && pid_alive "$XVFB_PID"; then
		local shot="${OUT%.png}-FAILED-screen.png" w
		import -silent -window root "$shot" 2>/dev/null && echo "editor_shot.sh: whole screen at failure: $shot" >&2
		for w in $(xdotool search --onlyvisible --maxdepth 1 --name '.' 2>/dev/null); do
			echo "editor_shot.sh:   visible window $w \"$(xdotool getwindowname "$w" 2>/dev/null)\"" >&2
		done
	fi
	if [ -f "$TMP/ardour.log" ] && [ "$VERBOSE" = 0 ]; then
		echo "editor_shot.sh: last lines of the Ardour log:" >&2
		grep -v '^$' "$TMP/ardour.log" | tail -n 15 >&2
	fi
	exit 1
}

# ------------------------------------------------------------------ private Ardour environment
export HOME="$TMP/home"
export XDG_CONFIG_HOME="$TMP/config" XDG_CACHE_HOME="$TMP/cache" XDG_DATA_HOME="$TMP/data"
export LANG=C.UTF-8 LC_ALL=C.UTF-8 LANGUAGE=
unset NSM_URL JACK_DEFAULT_SERVER
CONF="$XDG_CONFIG_HOME/ardour7"
mkdir -p "$HOME" "$CONF" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$TMP/ctl" "$TMP/shots"
export ES_CTL="$TMP/ctl"

# Ardour 7.3's AVX512F DSP code writes past buffer ends (see ardour_session_test.py)
if [ -z "${ARDOUR_FPU_FLAGS:-}" ]; then
	fpu=$((0x1 | 0x2 | 0x4 | 0x8))
	grep -qw avx /proc/cpuinfo 2>/dev/null && fpu=$((fpu | 0x10))
	grep -qw fma /proc/cpuinfo 2>/dev/null && fpu=$((fpu | 0x40))
	export ARDOUR_FPU_FLAGS="$fpu"
fi

xml_escape () { sed -e 's/&/\&amp;/g' -e 's/"/\&quot;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' <<<"$1"; }

# "been here before" marker: no new-user wizard
touch "$CONF/.a7"
# no "memory locking limit" warning dialog
printf '<?xml version="1.0" encoding="UTF-8"?>\n<instant>\n  <no-memory-warning/>\n</instant>\n' > "$CONF/instant.xml"
# rc config: dummy backend visible, auto-start it with the settings below,
# plug-in path, no plug-in discovery at start (the scan cache is prepared)
{
	echo '<?xml version="1.0" encoding="UTF-8"?>'
	echo '<Ardour>'
	echo '  <Config>'
	echo '    <Option name="hide-dummy-backend" value="0"/>'
	echo '    <Option name="try-autostart-engine" value="1"/>'
	echo "    <Option name=\"plugin-path-lxvst\" value=\"$(xml_escape "$(dirname "$PLUGIN")")\"/>"
	echo '    <Option name="use-lxvst" value="1"/>'
	echo '    <Option name="use-vst3" value="0"/>'
	echo '    <Option name="discover-plugins-on-start" value="0"/>'
	echo '    <Option name="verbose-plugin-scan" value="0"/>'
	echo '    <Option name="periodic-safety-backups" value="0"/>'
	echo '    <Option name="ask-setup-instrument" value="0"/>'
	echo '    <Option name="save-history" value="0"/>'
	echo '  </Config>'
	echo '  <Extra>'
	echo '    <AudioMIDISetup>'
	echo '      <EngineStates>'
	echo "        <State backend=\"None (Dummy)\" driver=\"\" device=\"Silence\" input-device=\"\" output-device=\"\" sample-rate=\"$RATE\" buffer-size=\"1024\" n-periods=\"0\" input-latency=\"0\" output-latency=\"0\" lm-input=\"\" lm-output=\"\" active=\"1\" use-buffered-io=\"0\" midi-option=\"1 in, 1 out, Silence\" lru=\"$(now_s)\">"
	echo '          <MIDIDevices/>'
	echo '        </State>'
	echo '      </EngineStates>'
	echo '    </AudioMIDISetup>'
	echo '  </Extra>'
	echo '</Ardour>'
} > "$CONF/config"
# GUI Lua hook (see editor_gui_hook.lua): signals = bitset string of LuaSignal
# (gtk2_ardour/luasignal_syms.h, 49 signals in 7.3), MSB first; bits 46 and
# 47 are the LuaTimerS / LuaTimerDS GUI timers.
NSIG=49; sigs=""
for ((b = NSIG - 1; b >= 0; b--)); do
	if [ $b -eq 46 ] || [ $b -eq 47 ]; then sigs+="1"; else sigs+="0"; fi
done
hook_src="$(cat "$HOOK_LUA")"
case "$hook_src" in *']==]'*) die "editor_gui_hook.lua must not contain ]==]" ;; esac
hook_state="s = {} s['n'] = \"editor-shot\" s['s'] = \"-- editor_shot.sh hook\" s['a'] = {} s['f'] = [==[${hook_src}]==] "
{
	echo '<?xml version="1.0" encoding="UTF-8"?>'
	echo '<UIScripts>'
	echo "  <ActionScript lua=\"Lua 5.3\">$(printf 'scripts = {} ' | base64 -w0)</ActionScript>"
	echo '  <ActionHooks>'
	echo "    <LuaCallback lua=\"Lua 5.3\" id=\"7771\" name=\"editor-shot\" signals=\"$sigs\">$(printf '%s' "$hook_state" | base64 -w0)</LuaCallback>"
	echo '  </ActionHooks>'
	echo '</UIScripts>'
} > "$CONF/ui_scripts"

# ------------------------------------------------------------------ scan (writes the VST2 cache Ardour reads)
say "plug-in: $PLUGIN"
if ! LD_LIBRARY_PATH="$ARDOUR_LIBDIR${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
	timeout -k 2 "$(( $(left) > 30 ? 30 : $(left) + 1 ))" "$VST_SCANNER" -f "$PLUGIN" >"$TMP/scan.log" 2>&1; then
	cat "$TMP/scan.log" >&2; fail "ardour-vst-scanner failed"
fi
cache_file="$(ls "$XDG_CACHE_HOME"/ardour7/vst/*.v2i 2>/dev/null | head -n 1)"
[ -n "$cache_file" ] && grep -q '<VST2Info' "$cache_file" || { cat "$TMP/scan.log" >&2; die "scanner found no VST2 plug-in in $PLUGIN"; }
# Ardour trusts a cache file only if it is strictly newer than the .so
so_mtime=$(stat -c %Y "$PLUGIN"); c_mtime=$(stat -c %Y "$cache_file")
[ "$c_mtime" -gt "$so_mtime" ] || touch -d "@$((so_mtime + 2))" "$cache_file"
grep -o '<VST2Info [^>]*' "$cache_file" | sed 's/^<VST2Info /editor_shot.sh: scanned: /'
grep -q 'has_editor="1"' "$cache_file" || fail "the plug-in reports no editor (effFlagsHasEditor not set)"

# ------------------------------------------------------------------ session (headless)
SESS_DIR="$TMP/session"; SESS_NAME="edshot"; TRACK_NAME="EdShot"
ES_PLUGIN="$PLUGIN" ES_SESSION_DIR="$SESS_DIR" ES_SESSION_NAME="$SESS_NAME" ES_RATE="$RATE" \
ES_TRACK="$TRACK" ES_TRACK_NAME="$TRACK_NAME" \
	timeout -k 2 "$(( $(left) > 60 ? 60 : $(left) + 1 ))" "$ARDOUR_LUA" "$MAKE_LUA" </dev/null >"$TMP/make_session.log" 2>&1
grep -E '^EDSHOT-(INFO|ERROR)' "$TMP/make_session.log" | sed 's/^EDSHOT-[A-Z]*: /editor_shot.sh: session: /'
ids="$(sed -n 's/^EDSHOT-IDS: //p' "$TMP/make_session.log")"
SESS_FILE="$SESS_DIR/$SESS_NAME.ardour"
if [ -z "$ids" ] || [ ! -f "$SESS_FILE" ]; then
	tail -n 10 "$TMP/make_session.log" >&2; fail "could not build the session"
fi
read -r ROUTE_ID PROC_ID <<<"$ids"
# Ask the GUI to (re)open the plug-in's own editor on load: the same window
# state Ardour saves for an open plug-in window ("P-<route id>-<processor id>",
# custom-ui=1 = the plug-in's editor, 0 = Ardour's generic controls).
win_xml="  <Extra>\n    <UI>\n      <Window name=\"P-${ROUTE_ID}-${PROC_ID}\" visible=\"1\" custom-ui=\"1\" x-off=\"0\" y-off=\"0\"/>\n    </UI>\n  </Extra>"
grep -q '<Extra>' "$SESS_FILE" && fail "unexpected <Extra> in the new session file"
sed -i "s#^</Session>#${win_xml}\n</Session>#" "$SESS_FILE"
grep -q "P-${ROUTE_ID}-${PROC_ID}" "$SESS_FILE" || fail "could not add the window state to the session"
say "session ready ($(elapsed) s): route $ROUTE_ID, plug-in insert $PROC_ID"

# ------------------------------------------------------------------ Xvfb on a free display
export XAUTHORITY="$TMP/Xauthority"
cookie="$(mcookie 2>/dev/null || od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
: > "$TMP/Xserverauth"; : > "$XAUTHORITY"
xauth -q -f "$TMP/Xserverauth" add :0 MIT-MAGIC-COOKIE-1 "$cookie" || die "xauth failed"
Xvfb -displayfd 3 -screen 0 "${SCREEN}x24" -nolisten tcp -noreset -auth "$TMP/Xserverauth" \
	3>"$TMP/display" </dev/null >"$TMP/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
	grep -q '^[0-9][0-9]*$' "$TMP/display" 2>/dev/null && break
	pid_alive "$XVFB_PID" || break
	past_deadline && break
	sleep 0.1
done
DNUM="$(head -n 1 "$TMP/display" 2>/dev/null)"
[[ "$DNUM" =~ ^[0-9]+$ ]] || { cat "$TMP/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=":$DNUM"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie" || fail "xauth (client) failed"
xwininfo -root >/dev/null 2>&1 || fail "cannot connect to Xvfb on $DISPLAY"
say "Xvfb $DISPLAY (pid $XVFB_PID) ready ($(elapsed) s)"

# ------------------------------------------------------------------ Ardour GUI
# -n no splash, -a no announcements; the session file on the command line
# plus try-autostart-engine = no session or engine dialog
ARDOUR_TRY_AUTOSTART_ENGINE=1 "$ARDOUR_GUI" -n -a "$SESS_FILE" </dev/null >"$TMP/ardour.log" 2>&1 &
ARDOUR_PID=$!
T_ARDOUR=$(date +%s.%N)
say "Ardour GUI started (pid $ARDOUR_PID)"

# xwininfo -root -tree  ->  "id parent_id depth WxH+X+Y name" per window
win_table () {
	xwininfo -root -tree 2>/dev/null | awk '
		/^ *0x[0-9a-f]+ / {
			match ($0, /^ */); d = RLENGTH
			id = $1
			while (sp > 0 && sd[sp] >= d) sp--
			par = (sp > 0) ? sid[sp] : "root"
			sp++; sid[sp] = id; sd[sp] = d
			geo = ""
			for (i = 2; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[-+]/) { geo = $i; break }
			name = ""
			if (match ($0, /0x[0-9a-f]+ "/)) { rest = substr ($0, RSTART + RLENGTH); n = index (rest, "\":"); name = substr (rest, 1, n - 1) }
			print id, par, d, geo, name
		}'
}
viewable () { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# The window Ardour creates for the plug-in editor (title "<track>: <plugin>
# (by <maker>) [VST]") embeds, through a GtkSocket, a plain X window that
# Ardour's LXVST event-loop thread created on its OWN X connection and handed
# to effEditOpen; the plug-in's editor window is that window's child.
TOP=""; PARENT=""; PLUG=""; MAIN=""
find_editor () {
	local tab top topbase id par d geo name base
	tab="$(win_table)"
	top="$(awk -v t="$TRACK_NAME: " '$2 == "root" && index ($0, " " t) > 0 { print $1; exit }' <<<"$tab")"
	[ -n "$top" ] || return 1
	MAIN="$(awk '$2 == "root" && /edshot - Ardour$/ { print $1; exit }' <<<"$tab")"
	topbase=$(( top >> 21 ))
	# subtree of $top in tree order; first window from another X client = the host parent
	PARENT=""
	local -A insub=([$top]=1)
	while read -r id par d geo name; do
		[ -n "${insub[$par]:-}" ] || continue
		insub[$id]=1
		base=$(( id >> 21 ))
		if [ -z "$PARENT" ] && [ "$base" != "$topbase" ]; then PARENT="$id"; fi
	done <<<"$tab"
	[ -n "$PARENT" ] || return 1
	# the plug-in's window: the largest viewable child of the host parent (else the parent itself)
	local best="" area barea=0 w h
	while read -r id par d geo name; do
		[ "$par" = "$PARENT" ] || continue
		w=${geo%%x*}; h=${geo#*x}; h=${h%%[-+]*}
		area=$(( w * h ))
		if [ $area -gt $barea ] && viewable "$id"; then best="$id"; barea=$area; fi
	done <<<"$tab"
	TOP="$top"
	PLUG="${best:-$PARENT}"
	return 0
}

parent_only_since=""
while :; do
	if ! pid_alive "$ARDOUR_PID"; then wait "$ARDOUR_PID"; fail "Ardour exited early (status $?)"; fi
	if find_editor && viewable "$PLUG"; then
		[ "$PLUG" != "$PARENT" ] && break
		# host parent mapped but no plug-in child (yet): give the plug-in 3 s
		# to map its own window, then settle for the parent
		[ -n "$parent_only_since" ] || parent_only_since=$(now_s)
		[ $(( $(now_s) - parent_only_since )) -ge 3 ] && { say "NOTE: no child window inside the host parent; capturing the parent"; break; }
	fi
	past_deadline && fail "no plug-in editor window within --seconds $BUDGET"
	sleep 0.25
done
T_SHOWN=$(date +%s.%N)
geom () { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width:/{w=$NF} /Height:/{h=$NF} END{printf "%sx%s+%s+%s", w, h, x, y}'; }
say "editor window up $(awk -v a="$T_ARDOUR" -v b="$T_SHOWN" 'BEGIN{printf "%.1f", b-a}') s after the Ardour start: plug-in window $PLUG $(geom "$PLUG"), host parent $PARENT $(geom "$PARENT"), Ardour plug-in window $TOP $(geom "$TOP") \"$(xdotool getwindowname "$TOP" 2>/dev/null)\""
[ -f "$ES_CTL/hook-alive" ] && say "GUI Lua hook is running"
xwininfo -root -tree > "$TMP/windows.txt" 2>&1   # for --keep-temp debugging
# other top-level windows of the plug-in's X client that are mapped: dialogs
# of its own (a first-run greeting, say).  They sit below
# Ardour's windows here, but a modal one makes the editor ignore clicks.
POPUPS=()
if [ "$PLUG" != "$PARENT" ]; then
	plugbase=$(( PLUG >> 21 ))
	while read -r id par d geo name; do
		[ "$par" = "root" ] && [ $(( id >> 21 )) = "$plugbase" ] || continue
		viewable "$id" || continue
		POPUPS+=("$id")
		say "NOTE: the plug-in also shows its own top-level window $id $geo \"$name\" (a modal one blocks clicks into the editor; --popups captures it)"
	done <<<"$(win_table)"
fi

# ------------------------------------------------------------------ captures
sleep_capped () { local s="$1" l; l=$(left); awk -v s="$s" -v l="$l" 'BEGIN{exit !(s > l)}' && s="$l"; sleep "$s"; }
capture () {   # window id, file
	xdotool windowraise "$TOP" 2>/dev/null
	import -silent -window "$1" "$2" 2>"$TMP/import.log" || { cat "$TMP/import.log" >&2; return 1; }
	local info
	info="$(identify -format '%wx%h mean=%[fx:mean] sd=%[fx:standard_deviation]' "$2" 2>/dev/null)"
	say "captured $2 ($info)"
	case "$info" in *" sd=0") say "WARNING: $2 is a single flat colour (editor not drawn?)" ;; esac
	return 0
}
sleep_capped "$SETTLE"
viewable "$PLUG" || fail "the plug-in window vanished"
capture "$PLUG" "$OUT" || fail "capture failed"
[ -z "$HOST_PNG" ] || capture "$TOP" "$HOST_PNG" || fail "capture of the host window failed"
if [ "$POPUPS_PNG" = 1 ]; then
	k=0
	for w in "${POPUPS[@]+"${POPUPS[@]}"}"; do
		k=$((k + 1))
		xdotool windowraise "$w" 2>/dev/null
		import -silent -window "$w" "${OUT%.png}-popup-$k.png" 2>/dev/null && say "captured ${OUT%.png}-popup-$k.png (plug-in window $w)"
	done
fi

k=0
for c in "${CLICKS[@]+"${CLICKS[@]}"}"; do
	k=$((k + 1))
	past_deadline && fail "--seconds $BUDGET used up before click $k"
	X=${c%,*}; Y=${c#*,}
	xdotool windowraise "$TOP" 2>/dev/null
	# move first and give the editor a few idle ticks to see the pointer
	# (enter/motion) before the press: an editor may ignore a click that comes with the warp
	xdotool mousemove --window "$PLUG" "$X" "$Y" || fail "xdotool mousemove failed"
	sleep 0.2
	xdotool mousemove --window "$PLUG" "$X" "$Y" click 1 || fail "xdotool click failed"
	say "clicked at $X,$Y in $PLUG (pointer now at $(xdotool getmouselocation 2>/dev/null))"
	sleep_capped "$AFTER_CLICK"
	if [ ${#CLICKS[@]} -eq 1 ]; then f="${OUT%.png}-clicked.png"; else f="${OUT%.png}-clicked-$k.png"; fi
	capture "$PLUG" "$f" || fail "capture after click $k failed"
done
T_DONE=$(date +%s.%N)
RC=0

# ------------------------------------------------------------------ quit Ardour (no dialog, nothing of value saved)
# Quit = the Main/Quit shortcut (Ctrl+Q) sent to the editor window.  Ardour
# asks "Unsaved Session" when the session is dirty (its window title then
# starts with "*"), e.g. after a click that changed a parameter.  Then the
# GUI hook first switches the session to a throw-away snapshot, which marks
# it clean (the snapshot the GUI loaded is not rewritten; the whole session
# lives in the temporary folder anyway).
QUIT_END=$(( $(now_s) + 15 ))   # the whole quit phase: at most 15 s
qleft () { local l=$(( QUIT_END - $(now_s) )); [ $l -gt 5 ] && l=5; [ $l -gt 0 ] && echo $l || echo 0; }
hook_make_clean () {
	local n=$(( $(qleft) * 10 ))
	rm -f "$ES_CTL/quit-ready"
	touch "$ES_CTL/quit-request"
	while [ $n -gt 0 ] && [ ! -f "$ES_CTL/quit-ready" ]; do sleep 0.1; n=$((n - 1)); done
	if [ -f "$ES_CTL/quit-ready" ]; then say "session was modified: hook $(cat "$ES_CTL/quit-ready")"
	else say "WARNING: the session is modified and the GUI hook did not answer"; fi
	sleep 0.3
}
unsaved_dialog () { xdotool search --onlyvisible --name '^Unsaved Session$' 2>/dev/null | head -n 1; }
quit_ok=0; ars=""
if [ -n "$MAIN" ] && pid_alive "$ARDOUR_PID"; then
	sleep 0.3   # let queued GUI updates (title) happen
	title="$(xdotool getwindowname "$MAIN" 2>/dev/null)"
	say "main window title: \"$title\""
	[ "${title#\*}" != "$title" ] && [ "${ES_TEST_NO_HOOK:-0}" != 1 ] && hook_make_clean
	for attempt in 1 2; do
		[ "$(qleft)" -gt 0 ] || break
		xdotool key --window "$MAIN" ctrl+q 2>/dev/null
		if wait_gone "$ARDOUR_PID" "$(qleft)"; then quit_ok=1; break; fi
		dlg="$(unsaved_dialog)"
		[ -n "$dlg" ] || continue
		# dirty although the title said otherwise: answer "Don't quit" (Escape),
		# make the session clean, quit again
		say "\"Unsaved Session\" dialog is up: Escape, make clean, quit again"
		xdotool key --window "$dlg" Escape 2>/dev/null
		sleep 0.5
		hook_make_clean
	done
	if [ $quit_ok = 0 ] && wait_gone "$ARDOUR_PID" "$(qleft)"; then quit_ok=1; fi
	if [ $quit_ok = 1 ]; then
		wait "$ARDOUR_PID"; ars=$?
		say "Ardour quit via Main/Quit (exit status $ars)"
		ARDOUR_PID=""
	fi
fi
[ $quit_ok = 1 ] || say "WARNING: Ardour did not quit by itself; terminating pid $ARDOUR_PID"
stop_pid "$ARDOUR_PID"; ARDOUR_PID=""
stop_pid "$XVFB_PID"; XVFB_PID=""
say "done in $(elapsed) s (Ardour start -> editor visible $(awk -v a="$T_ARDOUR" -v b="$T_SHOWN" 'BEGIN{printf "%.1f", b-a}') s, captures $(awk -v a="$T_SHOWN" -v b="$T_DONE" 'BEGIN{printf "%.1f", b-a}') s)"
exit $RC
