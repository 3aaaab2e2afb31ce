"""Reading multichannel WAV files and finding drum onsets in them, with the standard library only.

The `wave` module reads integer PCM only; a host export of 32-bit float audio (format 3, or
WAVE_FORMAT_EXTENSIBLE with the float sub-format when there are more than two channels) is read
here from its RIFF chunks.
"""

import array
import struct
import sys

WAVE_FORMAT_PCM = 1
WAVE_FORMAT_IEEE_FLOAT = 3
WAVE_FORMAT_EXTENSIBLE = 0xFFFE


class WavError(ValueError):
    pass


class Wav:
    def __init__(self, rate, channels):
        self.rate = rate
        self.channels = channels  # one array of floats per channel

    @property
    def frames(self):
        return len(self.channels[0]) if self.channels else 0


def _chunks(data):
    pos = 12
    while pos + 8 <= len(data):
        cid = data[pos : pos + 4]
        (size,) = struct.unpack_from("<I", data, pos + 4)
        body = data[pos + 8 : pos + 8 + size]
        if len(body) < size and cid != b"data":
            raise WavError("chunk %r runs past the end of the file" % cid)
        yield cid, body
        pos += 8 + size + (size & 1)


def read_wav(path):
    """Returns a Wav with float samples in [-1, 1] scale; raises WavError on anything else."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise WavError("not a RIFF/WAVE file")
    fmt = None
    samples = None
    for cid, body in _chunks(data):
        if cid == b"fmt ":
            fmt = body
        elif cid == b"data" and samples is None:
            samples = body
    if fmt is None or len(fmt) < 16 or samples is None:
        raise WavError("missing fmt or data chunk")
    tag, nchan, rate, _, align, bits = struct.unpack_from("<HHIIHH", fmt)
    if tag == WAVE_FORMAT_EXTENSIBLE:
        if len(fmt) < 40:
            raise WavError("short extensible fmt chunk")
        (tag,) = struct.unpack_from("<H", fmt, 24)  # first two bytes of the sub-format GUID
    if nchan < 1 or rate < 1 or align != nchan * (bits // 8):
        raise WavError("inconsistent fmt chunk")
    if tag == WAVE_FORMAT_IEEE_FLOAT and bits == 32:
        values = array.array("f")
        scale = 1.0
    elif tag == WAVE_FORMAT_PCM and bits == 16:
        values = array.array("h")
        scale = 1.0 / 32768.0
    elif tag == WAVE_FORMAT_PCM and bits == 32:
        values = array.array("i")
        scale = 1.0 / 2147483648.0
    else:
        raise WavError("unsupported sample format %d with %d bits" % (tag, bits))
    frames = len(samples) // align
    values.frombytes(samples[: frames * align])
    if sys.byteorder != "little":
        values.byteswap()
    channels = []
    for c in range(nchan):
        col = values[c::nchan]
        if scale != 1.0:
            col = array.array("f", (v * scale for v in col))
        channels.append(col)
    return Wav(rate, channels)


def peak(x):
    return max(map(abs, x)) if len(x) else 0.0


def is_finite(x):
    # NaN compares unequal to itself; infinities are caught by the range test.
    return all(v == v and -1e30 < v < 1e30 for v in x)


def detect_onsets(x, rate, hop_ms=0.5, lookback_ms=15.0, rise_ms=5.0, ratio=4.0, floor_db=-34.0,
                  dead_ms=50.0):
    """Sample indices where x starts a new hit.

    x is cut into hops. A hop starts a hit when its peak is at most `floor_db` below the
    signal's overall peak and `ratio` times louder than the loudest hop of the `lookback_ms`
    before it, leaving out the last `rise_ms` (so that an attack may take that long to rise).
    The hit's sample is the first one of that rise above the larger of the floor and twice the
    earlier peak. After a hit, `dead_ms` must pass before the next.
    """
    n = len(x)
    if n == 0:
        return []
    hop = max(1, int(rate * hop_ms / 1000.0))
    ax = array.array("f", map(abs, x))
    peaks = [max(ax[i : i + hop]) for i in range(0, n, hop)]
    top = max(peaks)
    if top <= 0.0:
        return []
    floor = top * 10.0 ** (floor_db / 20.0)
    back = max(1, int(round(lookback_ms / hop_ms)))
    rise = int(round(rise_ms / hop_ms))
    dead = int(rate * dead_ms / 1000.0)
    onsets = []
    for j, p in enumerate(peaks):
        if p < floor:
            continue
        before = max(peaks[max(0, j - back) : max(0, j - rise)], default=0.0)
        if p <= ratio * before:
            continue
        start = j * hop
        if onsets and start - onsets[-1] < dead:
            continue
        level = max(floor, 2.0 * before)
        i = max(0, j - rise) * hop
        if onsets:
            i = max(i, onsets[-1] + dead)
        end = min(n, start + hop) - 1
        while i < end and ax[i] < level:
            i += 1
        onsets.append(i)
    return onsets


def match_onsets(found, windows):
    """Pairs each expected window (lo, hi, label) with the found onsets inside it.

    Returns (missing windows, extra onsets, [(label, onset)] of the matches). A window takes
    the first onset inside it; onsets outside every window, or a second one in a window, are
    extra.
    """
    missing = []
    matched = []
    used = set()
    for lo, hi, label in windows:
        hit = next((o for o in found if lo <= o <= hi and o not in used), None)
        if hit is None:
            missing.append((lo, hi, label))
        else:
            used.add(hit)
            matched.append((label, hit))
    extra = [o for o in found if o not in used]
    return missing, extra, matched
