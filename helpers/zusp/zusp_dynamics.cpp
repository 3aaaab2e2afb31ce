#include "zusp_dynamics.h"

#include "zusp_math.h"

#include <cmath>
#include <cstring>

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

void zusp_compressor::processStereo(const float* left, const float* right, float* outLeft,
                                    float* outRight, int n, float gain) {
    for (int i = 0; i < n; ++i) {
        float l, r;
        zusp_compressor::processStereo(left[i], right[i], l, r);
        if (outLeft) outLeft[i] = l * gain;
        if (outRight) outRight[i] = r * gain;
    }
}

// Once the detector has decayed to 0 (or was cleared there), silence keeps it at 0: every sample
// then leaves the same state and gives the same output, so one step stands for all of them.
void zusp_compressor::processSilence(float* outLeft, float* outRight, int n, float gain) {
    for (int i = 0; i < n; ++i) {
        float l, r;
        zusp_compressor::processStereo(0.0f, 0.0f, l, r);
        l = l * gain;
        r = r * gain;
        if (mEnvelope == 0.0f) {
            for (; i < n; ++i) {
                if (outLeft) outLeft[i] = l;
                if (outRight) outRight[i] = r;
            }
            return;
        }
        if (outLeft) outLeft[i] = l;
        if (outRight) outRight[i] = r;
    }
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
