#!/usr/bin/env python3
"""Plays Brakka inside a real host: Ardour's headless Lua session interpreter.

Makes a throw-away session with a MIDI track that has Brakka as its instrument, a tempo map
(100 BPM, then 150 BPM from beat 8), a MIDI region with snare, clap and rimshot notes, and the
sequencer in Host sync playing kick, closed hat and cowbell from random-fill parameters. Each
of the six voices goes to its own output bus; the insert, the track and the master bus carry all
twelve channels, which are exported to a 32-bit float WAV file. The export must have sound on
every channel, every hit where the host's tempo map and the notes put it, and each pair's
left/right balance as its voice's pan says.

Exit status: 0 pass, 1 fail, 77 skip (Ardour is not installed).
"""

import argparse
import collections
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wav_onsets  # noqa: E402

SKIP = 77
ARDOUR_LUA = "ardour7-lua"
ARDOUR_LIB = "/usr/lib/ardour7"
SCANNER = os.path.join(ARDOUR_LIB, "ardour-vst-scanner")

RATE = 48000
OUTPUTS = 12
TEMPOS = [(0, 100.0), (8, 150.0)]  # (beat, BPM): 0.6 s per beat, then 0.4 s from 4.8 s on
EXPORT_BEATS = 14
TOLERANCE_MS = 3.0
ATTEMPTS = 3
ATTEMPT_TIMEOUT_S = 45  # a good attempt takes a few seconds; a hung one is cut short
SETTLE_US = 100000  # pause after each change to the session's ports (see brakka_session.lua)
PRESET_ID = "0c9e1b7a-5d42-4f3e-9a61-3b8d2c7e4f15"
FORMAT_ID = "6f1d3c2a-9b7e-4a51-8c3d-2e5f4a6b7c80"

# Parameter tags (host parameter indices).
SWING, SYNC, COMPRESSOR, MIDI_OUTPUT_ONLY = 112, 113, 116, 262
LEVEL, PAN, OUTPUT, MUTE, SOLO = 118, 130, 142, 154, 166
RANDOM_BEATS, RANDOM_SIZE, RANDOM_VELOCITY, CLEAR, RANDOM_RESET = 190, 202, 214, 226, 250
RANDOM_SIZE_STEPS = 6  # "1/32" .. "1/2" is 0..6
QUARTER, EIGHTH, HALF = 5, 4, 6  # random size indices

KICK, SNARE8, CLOSED_HAT, RIMSHOT, CLAP, COWBELL = 0, 1, 6, 9, 10, 11
VOICE_COUNT = 12

# Decays short enough that every hit has died away before the next one, whatever the loaded
# program says: (tag, milliseconds, range of the linear parameter).
DECAYS = [(4, 300.0, (1.0, 2000.0)),  # Kickdrum Amp Decay
          (27, 150.0, (1.0, 500.0)),  # Snare8 Noise Decay
          (72, 200.0, (0.0, 1000.0)),  # Clap Reverb
          (77, 150.0, (0.1, 500.0)),  # Cowbell Decay
          (86, 60.0, (1.0, 1000.0))]  # CHH Decay

# How each voice is played: by the sequencer's random notes on a grid (size), or by MIDI notes
# at the given beats. The hat leans left and the cowbell right, so that swapped channels within
# a pair show.
Voice = collections.namedtuple("Voice", "name bus size note beats pan")
VOICES = {
    KICK: Voice("kick", 0, QUARTER, None, (), 0.5),
    CLOSED_HAT: Voice("closed hat", 1, EIGHTH, None, (), 0.25),
    SNARE8: Voice("snare 8", 2, None, 38, (1, 5, 9, 13), 0.5),
    CLAP: Voice("clap", 3, None, 39, (3, 7, 11), 0.5),
    COWBELL: Voice("cowbell", 4, HALF, None, (), 0.75),
    RIMSHOT: Voice("rimshot", 5, None, 37, (2.5, 6.5, 10.5), 0.5),
}
GRID_BEATS = {QUARTER: 1.0, EIGHTH: 0.5, HALF: 2.0}
PAN_RATIO_TOLERANCE = 0.05
# Names Ardour must report for the parameters the test sets.
PARAMETER_NAMES = {SYNC: "Sync", RANDOM_BEATS: "KDrndbts", RANDOM_SIZE + CLOSED_HAT: "CHrndsz",
                   OUTPUT + RIMSHOT: "RS Out", LEVEL: "KD Level"}


def seconds_at_beat(beat):
    t = 0.0
    for i, (start, bpm) in enumerate(TEMPOS):
        end = TEMPOS[i + 1][0] if i + 1 < len(TEMPOS) else float("inf")
        if beat <= start:
            break
        t += (min(beat, end) - start) * 60.0 / bpm
    return t


def sample_at_beat(beat):
    return int(round(seconds_at_beat(beat) * RATE))


def output_value(bus, voice):
    # Voices 0..8 truncate 0..5 to a bus, voices 9..11 round it: just above n/5 is bus n for both.
    return min(1.0, bus / 5.0 + 0.02)


def plugin_parameters():
    # The plug-in starts on its first factory program, which has a pattern, swing, levels and
    # long decays of its own: silence its rows and random notes first, then set up the test's.
    params = [(SYNC, 0.0), (SWING, 0.0), (COMPRESSOR, 0.0), (MIDI_OUTPUT_ONLY, 0.0)]
    for voice in range(VOICE_COUNT):
        params += [(CLEAR + voice, 1.0), (CLEAR + voice, 0.0), (RANDOM_BEATS + voice, 0.0),
                   (RANDOM_RESET + voice, 0.0), (MUTE + voice, 0.0), (SOLO + voice, 0.0)]
    for tag, ms, (lo, hi) in DECAYS:
        params.append((tag, (ms - lo) / (hi - lo)))
    for voice, v in sorted(VOICES.items()):
        params.append((LEVEL + voice, 1.0))
        params.append((OUTPUT + voice, output_value(v.bus, voice)))
        params.append((PAN + voice, v.pan))
        if v.size is not None:
            params.append((RANDOM_BEATS + voice, 1.0))
            params.append((RANDOM_SIZE + voice, v.size / RANDOM_SIZE_STEPS))
            params.append((RANDOM_VELOCITY + voice, 1.0))
    return params


def notes():
    out = []
    for v in VOICES.values():
        out.extend((v.note, b) for b in v.beats)
    return out


def lua_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def lua_config(session_dir, export_dir):
    lines = ["BRAKKA = {"]
    lines.append("  session_dir = %s, session_name = \"brakka\"," % lua_string(session_dir))
    lines.append("  export_dir = %s, export_name = \"brakka\"," % lua_string(export_dir))
    lines.append("  preset_id = %s, plugin_name = \"Brakka\"," % lua_string(PRESET_ID))
    lines.append("  rate = %d, outputs = %d, parameter_count = 263," % (RATE, OUTPUTS))
    lines.append("  export_end = %d, settle_us = %d," % (sample_at_beat(EXPORT_BEATS), SETTLE_US))
    lines.append("  tempos = {%s}," % ", ".join(
        "{beat = %d, bpm = %r}" % t for t in TEMPOS))
    lines.append("  notes = {%s}," % ", ".join(
        "{note = %d, beat = %r, length = 0.25, velocity = 127}" % n for n in notes()))
    lines.append("  parameters = {%s}," % ", ".join("{%d, %r}" % p for p in plugin_parameters()))
    lines.append("  parameter_names = {%s}," % ", ".join(
        "[%d] = %s" % (k, lua_string(v)) for k, v in sorted(PARAMETER_NAMES.items())))
    lines.append("}")
    return "\n".join(lines) + "\n"


def fpu_flags():
    # Ardour 7.3's AVX512F routines write past buffer ends; offer it everything but those.
    # Bits: flush-to-zero 1, denormals-are-zero 2, SSE 4, SSE2 8, AVX 0x10, FMA 0x40.
    flags = 0x1 | 0x2 | 0x4 | 0x8
    try:
        with open("/proc/cpuinfo") as f:
            words = set(f.read().split())
        if "avx" in words:
            flags |= 0x10
            if "fma" in words:
                flags |= 0x40
    except OSError:
        pass
    return str(flags)


ARDOUR_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="plugin-path-lxvst" value="{plugins}"/>
  </Config>
</Ardour>
"""

# Plain 32-bit float WAV at the session rate: no dither, no normalisation, no broadcast chunk.
# Ardour names the root element of an export format file after the words joined here.
EXPORT_FORMAT_ROOT = "ExportFormat" + "Spec" + "ification"
EXPORT_FORMAT = """<?xml version="1.0" encoding="UTF-8"?>
<{root} name="Brakka test float" id="{format_id}" with-cue="false"
    with-toc="false" with-mp4chaps="false" command="" analyse="false" soundcloud-upload="false">
  <Encoding id="F_WAV" type="T_Sndfile" extension="wav" name="WAV" has-sample-format="true"
    channel-limit="256"/>
  <SampleRate rate="1"/>
  <SRCQuality quality="SRC_SincBest"/>
  <EncodingOptions>
    <Option name="sample-format" value="SF_Float"/>
    <Option name="dithering" value="D_None"/>
    <Option name="tag-metadata" value="false"/>
    <Option name="tag-support" value="false"/>
    <Option name="broadcast-info" value="false"/>
  </EncodingOptions>
  <Processing>
    <Normalize enabled="false" loudness="no" dbfs="0" lufs="-23" dbtp="-1"/>
    <Silence>
      <Start>
        <Trim enabled="false"/>
        <Add enabled="false">
          <Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/>
        </Add>
      </Start>
      <End>
        <Trim enabled="false"/>
        <Add enabled="false">
          <Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/>
        </Add>
      </End>
    </Silence>
  </Processing>
</{root}>
"""

EXPORT_PRESET = """<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="{preset_id}" name="Brakka test">
  <ExportFormat id="{format_id}"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="1"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="0"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
"""


class Failure(Exception):
    pass


class Workspace:
    """A private home for Ardour: configuration, caches, plug-in folder, sessions, exports."""

    def __init__(self, root, plugin):
        self.root = root
        self.plugins = os.path.join(root, "plugins")
        self.config = os.path.join(root, "config")
        self.cache = os.path.join(root, "cache")
        self.data = os.path.join(root, "data")
        for d in (self.plugins, os.path.join(self.config, "ardour7", "export"), self.cache,
                  self.data):
            os.makedirs(d)
        self.plugin = os.path.join(self.plugins, "Brakka.so")
        shutil.copyfile(plugin, self.plugin)
        # The session reads only scanner caches strictly newer (whole seconds) than the .so.
        past = time.time() - 10
        os.utime(self.plugin, (past, past))
        with open(os.path.join(self.config, "ardour7", "config"), "w") as f:
            f.write(ARDOUR_CONFIG.format(plugins=self.plugins))
        export = os.path.join(self.config, "ardour7", "export")
        with open(os.path.join(export, "brakka-test-float.format"), "w") as f:
            f.write(EXPORT_FORMAT.format(root=EXPORT_FORMAT_ROOT, format_id=FORMAT_ID))
        with open(os.path.join(export, "brakka-test.preset"), "w") as f:
            f.write(EXPORT_PRESET.format(preset_id=PRESET_ID, format_id=FORMAT_ID))

    def env(self):
        env = dict(os.environ)
        env.pop("LXVST_PATH", None)
        env.update(HOME=self.root, XDG_CONFIG_HOME=self.config, XDG_CACHE_HOME=self.cache,
                   XDG_DATA_HOME=self.data, ARDOUR_FPU_FLAGS=fpu_flags())
        return env


def run_process(cmd, env, timeout):
    """Runs cmd in its own process group; returns (exit status or None on timeout, output)."""
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            stdin=subprocess.DEVNULL, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        return None, out.decode("utf-8", "replace")
    finally:
        # Also when the test itself is stopped: leave no host process behind.
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def scan(ws):
    env = ws.env()
    env["LD_LIBRARY_PATH"] = ARDOUR_LIB + (":" + env["LD_LIBRARY_PATH"]
                                           if env.get("LD_LIBRARY_PATH") else "")
    status, out = run_process([SCANNER, "-f", ws.plugin], env, 60)
    vst_cache = os.path.join(ws.cache, "ardour7", "vst")
    caches = [f for f in os.listdir(vst_cache)] if os.path.isdir(vst_cache) else []
    if status is None or not caches:
        raise Failure("the host's scanner did not accept the plug-in:\n" + out)


def render(ws, lua_template, log):
    """Builds and exports the session; retries the documented start-up races. Returns the WAV."""
    last = ""
    for attempt in range(1, ATTEMPTS + 1):
        session_dir = os.path.join(ws.root, "session%d" % attempt)
        export_dir = os.path.join(ws.root, "export%d" % attempt)
        os.makedirs(export_dir)
        script = os.path.join(ws.root, "session%d.lua" % attempt)
        with open(script, "w") as f:
            f.write(lua_config(session_dir, export_dir) + lua_template)
        started = time.monotonic()
        status, out = run_process([ARDOUR_LUA, script], ws.env(), ATTEMPT_TIMEOUT_S)
        took = time.monotonic() - started
        wavs = [os.path.join(export_dir, f) for f in os.listdir(export_dir) if f.endswith(".wav")]
        # A port race at track set-up can leave the session half wired without a Lua error.
        raced = "already exists" in out
        ok = status == 0 and "BRAKKA-SESSION-OK" in out and len(wavs) == 1 and not raced
        log("attempt %d: %s in %.1f s" % (attempt, "exported" if ok else
                                           "timed out" if status is None else
                                           "port race" if raced else
                                           "failed (status %s)" % status, took))
        for line in out.splitlines():
            if line.startswith("BRAKKA-") and "SESSION" not in line:
                log("  " + line[len("BRAKKA-"):].lower().replace("-", " "))
        if ok:
            block = re.search(r"BRAKKA-BLOCK-SIZE (\d+)", out)
            return wavs[0], int(block.group(1)) if block else None
        errors = [line for line in out.splitlines() if "ERROR" in line.upper()
                  and "encoder is not available" not in line]
        log("  " + "\n  ".join(errors[-5:] or out.splitlines()[-5:]))
        last = out
    raise Failure("no export after %d attempts; last output:\n%s" % (ATTEMPTS, last))


def expected_hits(v):
    """[(lo, hi, label, reference sample)]: the windows in which the voice's hits must start."""
    tol = int(RATE * TOLERANCE_MS / 1000.0)
    end = sample_at_beat(EXPORT_BEATS)
    hits = []
    if v.size is not None:
        # Random notes on a grid of beats, from the host's position and tempo.
        b = 0.0
        while sample_at_beat(b) < end - tol:
            t = sample_at_beat(b)
            hits.append((t - tol, t + tol, "beat %g" % b, t))
            b += GRID_BEATS[v.size]
    else:
        # Incoming notes act at their own sample, wherever the host's blocks begin.
        for b in v.beats:
            t = sample_at_beat(b)
            hits.append((t - tol, t + tol, "note %d at beat %g" % (v.note, b), t))
    return hits


def pan_ratio(pan):
    """Left over right gain of the equal-power pan law."""
    k = int(pan * 999)
    return math.cos(k * math.pi / 2000) / max(1e-9, math.sin(k * math.pi / 2000))


def analyse(path, block, log):
    wav = wav_onsets.read_wav(path)
    problems = []
    if wav.rate != RATE or len(wav.channels) != OUTPUTS:
        raise Failure("export has %d channels at %d Hz, expected %d at %d" %
                      (len(wav.channels), wav.rate, OUTPUTS, RATE))
    want = sample_at_beat(EXPORT_BEATS)
    if abs(wav.frames - want) > 1:
        problems.append("export has %d frames, expected %d" % (wav.frames, want))
    log("export: %d channels, %d Hz, %.3f s, host block %s" %
        (len(wav.channels), wav.rate, wav.frames / RATE, block))

    for c, x in enumerate(wav.channels):
        p = wav_onsets.peak(x)
        log("  channel %2d peak %.3f" % (c + 1, p))
        if not wav_onsets.is_finite(x):
            problems.append("channel %d holds NaN or infinite samples" % (c + 1))
        elif p < 1e-3:
            problems.append("channel %d is silent" % (c + 1))

    for v in sorted(VOICES.values(), key=lambda v: v.bus):
        where = "%s on bus %s" % (v.name, "ABCDEF"[v.bus])
        left, right = wav.channels[2 * v.bus], wav.channels[2 * v.bus + 1]
        found = wav_onsets.detect_onsets([max(abs(a), abs(b)) for a, b in zip(left, right)],
                                         RATE)
        hits = expected_hits(v)
        missing, extra, matched = wav_onsets.match_onsets(found, [h[:3] for h in hits])
        reference = {h[2]: h[3] for h in hits}
        offsets = [(onset - reference[label]) * 1000.0 / RATE for label, onset in matched]
        timing = ""
        if offsets:
            timing = "; onsets %+.2f .. %+.2f ms off the %s" % (
                min(offsets), max(offsets), "beat" if v.size is not None else "note")
        ratio = wav_onsets.peak(left) / max(1e-9, wav_onsets.peak(right))
        want = pan_ratio(v.pan)
        log("  %s: %d hits found, %d expected%s; left/right %.3f (pan law %.3f)" %
            (where, len(found), len(hits), timing, ratio, want))
        if abs(ratio / want - 1.0) > PAN_RATIO_TOLERANCE:
            problems.append("%s: left/right level %.3f, pan law gives %.3f" % (where, ratio, want))
        for lo, hi, label in missing:
            problems.append("%s: no hit for %s (samples %d..%d)" % (where, label, lo, hi))
        for o in extra:
            problems.append("%s: unexpected hit at %.4f s" % (where, o / RATE))
    return problems


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("plugin", help="path of Brakka.so")
    ap.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = ap.parse_args()

    def log(msg):
        print(msg, flush=True)

    if shutil.which(ARDOUR_LUA) is None or not os.access(SCANNER, os.X_OK):
        log("SKIP: Ardour 7 (%s, %s) is not installed" % (ARDOUR_LUA, SCANNER))
        return SKIP
    if not os.path.isfile(args.plugin):
        log("FAIL: no plug-in at %s" % args.plugin)
        return 1
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "brakka_session.lua")) as f:
        lua_template = f.read()

    # A test runner's timeout sends SIGTERM: unwind so that the temporary folder goes too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    root = tempfile.mkdtemp(prefix="brakka-ardour-")
    try:
        ws = Workspace(root, os.path.abspath(args.plugin))
        scan(ws)
        wav, block = render(ws, lua_template, log)
        problems = analyse(wav, block, log)
    except Failure as e:
        problems = [str(e)]
    finally:
        if args.keep:
            log("kept %s" % root)
        else:
            shutil.rmtree(root, ignore_errors=True)
    log("run time %.1f s" % (time.monotonic() - started))
    for p in problems:
        log("FAIL: " + p)
    if not problems:
        log("PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
