#include "zusp.h"

#include <cmath>

zusp_block::zusp_block()
    : mAudioSamplingRate(44100.0f), mAudioSamplingRateReciprocal(1.0f / 44100.0f),
      mSamplesPerMillisecond(44100.0f * 0.001f) {}

zusp_block::~zusp_block() = default;

void zusp_block::clear() {}

void zusp_block::setAudioSamplingRate(float rate) {
    // A rate of zero, a negative or a non-finite rate would poison every derived value.
    if (!(rate > 0.0f) || !std::isfinite(rate)) return;
    mAudioSamplingRate = rate;
    mAudioSamplingRateReciprocal = 1.0f / rate;
    mSamplesPerMillisecond = rate * 0.001f;
}

void zusp_block::setParameter(int, float) {}

float zusp_block::process(float in) {
    return in;
}

void zusp_block::processVector(float* in, float* out, long n) {
    if (in == nullptr || out == nullptr) return;
    for (long i = 0; i < n; ++i)
        out[i] = process(in[i]);
}

void zusp_block::bypass(bool) {}
