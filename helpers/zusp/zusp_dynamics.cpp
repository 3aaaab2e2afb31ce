#include "zusp_dynamics.h"

#include "zusp_math.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <initializer_list>

zusp_compressor::zusp_compressor() {
    mAttackCoefficient = coefficientFor(mAttackTime);
    mReleaseCoefficient = coefficientFor(mReleaseTime);
    findQuietEnvelope();
}

float zusp_compressor::coefficientFor(float seconds) const {
    const float samples = seconds * mAudioSamplingRate;
    // Times of 0 or less (or not numbers) follow the signal at once.
    if (!(samples > 0.0f)) return 1.0f;
    return 1.0f - zusp_math::expf(-1.0f / samples);
}

void zusp_compressor::clear() {
    mEnvelope = 1.0f;
}

void zusp_compressor::setAudioSamplingRate(float rate) {
    zusp_block::setAudioSamplingRate(rate);
    mAttackCoefficient = coefficientFor(mAttackTime);
    mReleaseCoefficient = coefficientFor(mReleaseTime);
}

void zusp_compressor::setRatio(float ratio) {
    if (ratio == mRatio || !(ratio > 0.0f)) return;
    mRatio = ratio;
}

void zusp_compressor::setThreshold(float dB) {
    if (dB == mThreshold) return;
    mThreshold = dB;
    mDetectorThreshold = dB;
    findQuietEnvelope();
}

void zusp_compressor::setInputGain(float dB) {
    if (dB == mInputGain) return;
    mInputGain = dB;
    mInputGainLinear = zusp_math::exp10f(dB / 20.0f);
}

void zusp_compressor::setOutputGain(float dB) {
    if (dB == mOutputGain) return;
    mOutputGain = dB;
    mOutputGainLinear = zusp_math::exp10f(dB / 20.0f);
}

void zusp_compressor::setAttack(float seconds) {
    if (seconds == mAttackTime) return;
    mAttackTime = seconds;
    mAttackCoefficient = coefficientFor(seconds);
}

void zusp_compressor::setRelease(float seconds) {
    if (seconds == mReleaseTime) return;
    mReleaseTime = seconds;
    mReleaseCoefficient = coefficientFor(seconds);
}

namespace {

inline float levelInDecibels(float envelope) {
    return envelope < 1e-5f ? -100.0f : 20.0f * zusp_math::log10f(envelope);
}

inline uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline float bitsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// The gain computer of two loud samples at once, lane by lane the same operations in the same
// order as levelInDecibels (logPositive) and exp10f (expKernel), so every lane has their bits.
// Both envelopes must be normal, finite floats (every envelope at or above the quiet one is);
// false, with nothing written, when a power falls outside expKernel's plain range.
bool gainsOfTwo(const float envelope[2], float threshold, float slope, float reduction[2],
                float multiplier[2]) {
    using namespace zusp_math;
    // Built from registers (_mm_setr_pd), never stored and loaded back as a pair, which would
    // stall on the store forwarding.
    const uint32_t u0 = floatBits(envelope[0]), u1 = floatBits(envelope[1]);
    const uint32_t bits0 = u0 & 0x7fffff, bits1 = u1 & 0x7fffff;
    const detail::LogEntry& t0 = detail::kTables.log[bits0 >> (23 - detail::kLogTableBits)];
    const detail::LogEntry& t1 = detail::kTables.log[bits1 >> (23 - detail::kLogTableBits)];
    const __m128d mantissa = _mm_setr_pd(static_cast<double>(bits0), static_cast<double>(bits1));
    const __m128d de = _mm_setr_pd(static_cast<double>(static_cast<int>(u0 >> 23) - 127),
                                   static_cast<double>(static_cast<int>(u1 >> 23) - 127));
    const __m128d m =
        _mm_add_pd(_mm_set1_pd(1.0), _mm_mul_pd(mantissa, _mm_set1_pd(1.0 / 8388608.0)));
    const __m128d ln =
        detail::logTwo(m, de, _mm_setr_pd(t0.invC, t1.invC), _mm_setr_pd(t0.logC, t1.logC));
    const __m128d log10 = _mm_mul_pd(ln, _mm_set1_pd(kInvLn10));
    const float dB0 = 20.0f * static_cast<float>(_mm_cvtsd_f64(log10));
    const float dB1 = 20.0f * static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(log10, log10)));
    const float g0 = threshold > dB0 ? 0.0f : slope * (dB0 - threshold);
    const float g1 = threshold > dB1 ? 0.0f : slope * (dB1 - threshold);
    const double y0 = static_cast<double>(g0 * 0.05f) * kLn10;
    const double y1 = static_cast<double>(g1 * 0.05f) * kLn10;
    if (!(y0 > -700.0 && y0 <= 700.0 && y1 > -700.0 && y1 <= 700.0)) return false;
    reduction[0] = g0;
    reduction[1] = g1;
    if (g0 == 0.0f && g1 == 0.0f) {
        multiplier[0] = multiplier[1] = 1.0f;
        return true;
    }
    __m128d t;
    const __m128d p = detail::expSeriesTwo(_mm_setr_pd(y0, y1), t);
    const double tv[2] = {_mm_cvtsd_f64(t), _mm_cvtsd_f64(_mm_unpackhi_pd(t, t))};
    const double pv[2] = {_mm_cvtsd_f64(p), _mm_cvtsd_f64(_mm_unpackhi_pd(p, p))};
    for (int j = 0; j < 2; ++j) {
        const int64_t ki = static_cast<int64_t>(bitsOf(tv[j]) - bitsOf(detail::kExpShifter));
        const double scale =
            fromBits(static_cast<uint64_t>((ki >> detail::kExpTableBits) + 1023) << 52);
        const float e = static_cast<float>(
            pv[j] * detail::kTables.exp2[ki & (detail::kExpTableSize - 1)] * scale);
        multiplier[j] = reduction[j] == 0.0f ? 1.0f : e;
    }
    return true;
}

} // namespace

// The level in dB grows with the envelope, and the bit patterns of positive floats grow with
// their values: a bisection over the bits finds the first envelope whose level reaches the
// threshold. Every envelope below it gives no gain reduction, which saves the logarithm.
void zusp_compressor::findQuietEnvelope() {
    uint32_t lo = floatBits(1e-5f);         // its level is below the threshold ...
    uint32_t hi = floatBits(3.4028235e38f); // ... and this one's reaches it
    if (!(mDetectorThreshold > levelInDecibels(1e-5f))) {
        mQuietEnvelope = 1e-5f;
        return;
    }
    if (mDetectorThreshold > levelInDecibels(bitsFloat(hi))) {
        mQuietEnvelope = bitsFloat(hi);
        return;
    }
    while (hi - lo > 1) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (mDetectorThreshold > levelInDecibels(bitsFloat(mid)))
            lo = mid;
        else
            hi = mid;
    }
    mQuietEnvelope = bitsFloat(hi);
}

void zusp_compressor::detect(float peak) {
    // The envelope decays every sample, also while the signal rises.
    mEnvelope = mEnvelope - mReleaseCoefficient * mEnvelope;
    if (peak > mEnvelope) mEnvelope = mEnvelope + (peak - mEnvelope) * mAttackCoefficient;
    reduceFromEnvelope();
}

void zusp_compressor::reduceFromEnvelope() {
    if (mEnvelope >= 1e-5f && mEnvelope < mQuietEnvelope) {
        mGainReduction = 0.0f;
        return;
    }
    const float level = levelInDecibels(mEnvelope);
    if (mDetectorThreshold > level) {
        mGainReduction = 0.0f;
    } else {
        // Hard knee: above the threshold the output rises 1/R dB per input dB.
        mGainReduction = (1.0f / mRatio - 1.0f) * (level - mDetectorThreshold);
    }
}

void zusp_compressor::processStereo(float left, float right, float& outLeft, float& outRight) {
    const float gIn = mInputGainLinear;
    const float pl = fabsf(left * gIn);
    const float pr = fabsf(right * gIn);
    detect(pr > pl ? pr : pl);
    // No reduction is a gain of exactly 1.
    mGainReductionMultiplier =
        mGainReduction == 0.0f ? 1.0f : zusp_math::exp10f(mGainReduction * 0.05f);
    outLeft = left * gIn * mGainReductionMultiplier * mOutputGainLinear;
    outRight = right * gIn * mGainReductionMultiplier * mOutputGainLinear;
}

// The same as n calls of the one-sample form, in chunks and in three passes: the detector's
// recursion alone (cheap), then the gain computer of every sample (a logarithm and a power each
// while the level lies above the threshold; the samples do not depend on one another, so the
// processor works on several at once), then the outputs.
void zusp_compressor::processStereo(const float* left, const float* right, float* outLeft,
                                    float* outRight, int n, float gain) {
    const int kChunk = 64;
    const float gIn = mInputGainLinear;
    const float slope = 1.0f / mRatio - 1.0f;
    // Members read once: the stores into the outputs and flags below could alias them.
    const float quiet = mQuietEnvelope, threshold = mDetectorThreshold;
    const float gOut = mOutputGainLinear;
    for (int start = 0; start < n; start += kChunk) {
        const int m = n - start < kChunk ? n - start : kChunk;
        const float* l = left + start;
        const float* r = right + start;
        float level[kChunk];
        bool loud[kChunk];
        // The attack is chosen without a branch: whether a peak rises above the envelope is a
        // coin toss on noisy material, which a predictor cannot learn.
        __m128 envelope = _mm_set_ss(mEnvelope);
        const __m128 release = _mm_set_ss(mReleaseCoefficient);
        const __m128 attack = _mm_set_ss(mAttackCoefficient);
        for (int i = 0; i < m; ++i) {
            const float pl = fabsf(l[i] * gIn);
            const float pr = fabsf(r[i] * gIn);
            const __m128 peak = _mm_set_ss(pr > pl ? pr : pl);
            envelope = _mm_sub_ss(envelope, _mm_mul_ss(release, envelope));
            const __m128 rising = _mm_cmplt_ss(envelope, peak);
            const __m128 followed =
                _mm_add_ss(envelope, _mm_mul_ss(_mm_sub_ss(peak, envelope), attack));
            envelope = _mm_or_ps(_mm_and_ps(rising, followed), _mm_andnot_ps(rising, envelope));
            const float e = _mm_cvtss_f32(envelope);
            level[i] = e;
            loud[i] = !(e >= 1e-5f && e < quiet);
        }
        mEnvelope = _mm_cvtss_f32(envelope);
        float multiplier[kChunk], reduction[kChunk];
        for (int i = 0; i < m; ++i) {
            // Two loud samples in a row (the usual case above the threshold) go together.
            if (i + 1 < m && loud[i] && loud[i + 1] && level[i] >= 1e-5f && level[i + 1] >= 1e-5f &&
                level[i] <= 3.4e38f && level[i + 1] <= 3.4e38f &&
                gainsOfTwo(level + i, threshold, slope, reduction + i, multiplier + i)) {
                ++i;
                continue;
            }
            float g = 0.0f;
            if (loud[i]) {
                const float dB = levelInDecibels(level[i]);
                if (!(threshold > dB)) g = slope * (dB - threshold);
            }
            reduction[i] = g;
            multiplier[i] = g == 0.0f ? 1.0f : zusp_math::exp10f(g * 0.05f);
        }
        for (int i = 0; i < m; ++i) {
            const float yl = l[i] * gIn * multiplier[i] * gOut;
            const float yr = r[i] * gIn * multiplier[i] * gOut;
            if (outLeft) outLeft[start + i] = yl * gain;
            if (outRight) outRight[start + i] = yr * gain;
        }
        mGainReduction = reduction[m - 1];
        mGainReductionMultiplier = multiplier[m - 1];
    }
}

// Once the detector has decayed to 0 (or was cleared there), silence keeps it at 0: every sample
// then leaves the same state and gives the same output, so one step stands for all of them.
void zusp_compressor::processSilence(float* outLeft, float* outRight, int n, float gain) {
    // Zeros in give zeros out whatever the gains (all of one sign every sample): only the
    // detector moves on, by processStereo's steps for a zero peak, until it has settled at 0.
    float envelope = mEnvelope;
    const float release = mReleaseCoefficient;
    for (int i = 0; i < n && envelope != 0.0f; ++i)
        envelope = envelope - release * envelope;
    mEnvelope = envelope;
    reduceFromEnvelope();
    mGainReductionMultiplier =
        mGainReduction == 0.0f ? 1.0f : zusp_math::exp10f(mGainReduction * 0.05f);
    const float zero =
        0.0f * mInputGainLinear * mGainReductionMultiplier * mOutputGainLinear * gain;
    for (float* out : {outLeft, outRight})
        if (out)
            for (int i = 0; i < n; ++i)
                out[i] = zero;
}

float zusp_compressor::process(float x) {
    const float gIn = mInputGainLinear;
    detect(fabsf(x * gIn));
    const float g = mGainReduction == 0.0f ? 1.0f : zusp_math::exp10f(mGainReduction * 0.05f);
    return g * (x * gIn * mOutputGainLinear);
}

float zusp_compressor::getGainReduction() {
    return mGainReduction;
}

float zusp_compressor::getGainReductionMultiplier() {
    return mGainReductionMultiplier;
}
