"""Tests of the WAV reader and the onset detector that judge the host export."""

import array
import math
import os
import random
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wav_onsets  # noqa: E402

RATE = 48000


def write_wav(path, channels, tag, bits, extensible=False):
    frames = len(channels[0])
    n = len(channels)
    if tag == wav_onsets.WAVE_FORMAT_IEEE_FLOAT:
        data = array.array("f", (channels[c][i] for i in range(frames) for c in range(n)))
    else:
        data = array.array("h", (int(channels[c][i] * 32767) for i in range(frames)
                                 for c in range(n)))
    raw = data.tobytes()
    align = n * bits // 8
    fmt = struct.pack("<HHIIHH", wav_onsets.WAVE_FORMAT_EXTENSIBLE if extensible else tag, n,
                      RATE, RATE * align, align, bits)
    if extensible:
        guid_tail = b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
        fmt += struct.pack("<HHI", 22, bits, (1 << n) - 1) + struct.pack("<H", tag) + guid_tail
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    # An odd-sized chunk before the data must be skipped with its pad byte.
    body += b"junk" + struct.pack("<I", 3) + b"abc\x00"
    body += b"data" + struct.pack("<I", len(raw)) + raw
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def hit(x, start, freq, decay_ms, amp, attack_ms=0.0):
    attack = int(RATE * attack_ms / 1000.0)
    for i in range(start, len(x)):
        t = (i - start) / RATE
        env = amp * math.exp(-t * 1000.0 / decay_ms)
        if env < 1e-6:
            break
        if i - start < attack:
            env *= (i - start) / attack
        x[i] += env * math.sin(2 * math.pi * freq * t)


class WavReading(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_float_plain_and_extensible_keep_channels_apart(self):
        chans = [[(c + 1) * 0.01 * ((i % 7) - 3) for i in range(50)] for c in range(12)]
        for ext in (False, True):
            p = self.path("f%d.wav" % ext)
            write_wav(p, chans, wav_onsets.WAVE_FORMAT_IEEE_FLOAT, 32, extensible=ext)
            w = wav_onsets.read_wav(p)
            self.assertEqual((w.rate, len(w.channels), w.frames), (RATE, 12, 50))
            for c in range(12):
                for a, b in zip(w.channels[c], chans[c]):
                    self.assertAlmostEqual(a, b, places=6)

    def test_pcm16_is_scaled_to_unit_range(self):
        p = self.path("i.wav")
        write_wav(p, [[0.5, -0.5, 0.0]], wav_onsets.WAVE_FORMAT_PCM, 16)
        w = wav_onsets.read_wav(p)
        self.assertAlmostEqual(w.channels[0][0], 0.5, places=3)
        self.assertAlmostEqual(w.channels[0][1], -0.5, places=3)

    def test_damaged_files_are_refused(self):
        good = self.path("g.wav")
        write_wav(good, [[0.1] * 10, [0.2] * 10], wav_onsets.WAVE_FORMAT_IEEE_FLOAT, 32)
        with open(good, "rb") as f:
            data = f.read()
        cases = {
            "empty": b"",
            "not riff": b"RIFX" + data[4:],
            "cut inside fmt": data[:30],
            "no data chunk": data[:data.index(b"data")],
            "8-bit": data.replace(struct.pack("<HH", 4 * 2, 32), struct.pack("<HH", 2, 8), 1),
        }
        for name, blob in cases.items():
            p = self.path(name.replace(" ", "_") + ".wav")
            with open(p, "wb") as f:
                f.write(blob)
            with self.assertRaises(wav_onsets.WavError, msg=name):
                wav_onsets.read_wav(p)

    def test_finite_check_catches_nan_and_inf(self):
        self.assertTrue(wav_onsets.is_finite([0.0, 1.0, -1.0]))
        self.assertFalse(wav_onsets.is_finite([0.0, float("nan")]))
        self.assertFalse(wav_onsets.is_finite([float("-inf")]))


class OnsetDetection(unittest.TestCase):
    def test_hits_found_within_a_millisecond(self):
        x = [0.0] * RATE * 2
        starts = [1, 14400, 28800, 43200, 57600, 72000, 86400]
        for k, s in enumerate(starts):
            # Kick-like hits (slow attack, low pitch) alternate with quieter hat-like ones; each
            # is still ringing, 15 to 35 dB down, when the next one starts.
            if k % 2:
                hit(x, s, 7000.0, 100.0, 0.2)
            else:
                hit(x, s, 55.0, 50.0, 0.9, attack_ms=5.0)
        found = wav_onsets.detect_onsets(x, RATE)
        self.assertEqual(len(found), len(starts), found)
        for f, s in zip(found, starts):
            self.assertLessEqual(abs(f - s), RATE // 1000, (f, s))

    def test_noise_and_silence_give_no_hits(self):
        self.assertEqual(wav_onsets.detect_onsets([0.0] * 4800, RATE), [])
        self.assertEqual(wav_onsets.detect_onsets([], RATE), [])
        rng = random.Random(3)
        noise = [rng.uniform(-0.1, 0.1) for _ in range(RATE)]
        # Steady noise starts once and never again.
        self.assertEqual(len(wav_onsets.detect_onsets(noise, RATE)), 1)

    def test_a_retrigger_inside_the_dead_time_counts_once(self):
        x = [0.0] * RATE
        hit(x, 1000, 200.0, 20.0, 0.5)
        hit(x, 1000 + RATE // 100, 200.0, 20.0, 0.9)  # 10 ms later
        self.assertEqual(len(wav_onsets.detect_onsets(x, RATE)), 1)

    def test_matching_reports_missing_and_extra_hits(self):
        windows = [(90, 110, "a"), (190, 210, "b"), (290, 310, "c")]
        missing, extra, matched = wav_onsets.match_onsets([100, 105, 200, 400], windows)
        self.assertEqual(missing, [(290, 310, "c")])
        self.assertEqual(extra, [105, 400])
        self.assertEqual(matched, [("a", 100), ("b", 200)])


if __name__ == "__main__":
    unittest.main()
