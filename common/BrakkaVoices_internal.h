// Helpers shared by the voice sources (not part of the voices' interface).
#pragma once

namespace brakka_voices_internal {

// Limits a frequency or bend depth to [lo, hi]; anything that is not a number becomes lo. The
// kick and the toms play tables of any length, whose oscillators need a non-negative step below
// one table length per sample, so their tunings and bends are kept inside generous bounds
// (far beyond the parameter ranges) whatever a caller hands in.
inline float limited(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

} // namespace brakka_voices_internal
