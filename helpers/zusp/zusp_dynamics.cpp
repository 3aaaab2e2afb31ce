#include "zusp_dynamics.h"

#include <cmath>

zusp_compressor::zusp_compressor() {
    mAttackCoefficient = coefficientFor(mAttackTime);
    mReleaseCoefficient = coefficientFor(mReleaseTime);
}

float zusp_compressor::coefficientFor(float seconds) const {
    const float samples = seconds * mAudioSamplingRate;
    // Times of 0 or less (or not numbers) follow the signal at once.
    if (!(samples > 0.0f)) return 1.0f;
    return 1.0f - expf(-1.0f / samples);
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
}

void zusp_compressor::setInputGain(float dB) {
    if (dB == mInputGain) return;
    mInputGain = dB;
    mInputGainLinear = powf(10.0f, dB / 20.0f);
}

void zusp_compressor::setOutputGain(float dB) {
    if (dB == mOutputGain) return;
    mOutputGain = dB;
    mOutputGainLinear = powf(10.0f, dB / 20.0f);
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
    return envelope < 1e-5f ? -100.0f : 20.0f * log10f(envelope);
}

} // namespace

void zusp_compressor::detect(float peak) {
    // The envelope decays every sample, also while the signal rises.
    mEnvelope = mEnvelope - mReleaseCoefficient * mEnvelope;
    if (peak > mEnvelope) mEnvelope = mEnvelope + (peak - mEnvelope) * mAttackCoefficient;
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
    mGainReductionMultiplier = powf(10.0f, mGainReduction * 0.05f);
    outLeft = left * gIn * mGainReductionMultiplier * mOutputGainLinear;
    outRight = right * gIn * mGainReductionMultiplier * mOutputGainLinear;
}

float zusp_compressor::process(float x) {
    const float gIn = mInputGainLinear;
    detect(fabsf(x * gIn));
    return powf(10.0f, mGainReduction * 0.05f) * (x * gIn * mOutputGainLinear);
}

float zusp_compressor::getGainReduction() {
    return mGainReduction;
}

float zusp_compressor::getGainReductionMultiplier() {
    return mGainReductionMultiplier;
}
