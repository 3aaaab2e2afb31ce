#include "csdmain.h"

#include <cmath>

extern "C" {
float gAudioSamplingRate = 44100.0f;
float gAudioSamplingRateReciprocal = 1.0f / 44100.0f;
float gSamplesPerMillisecond = 44100.0f * 0.001f;
float gMillisecondsPerSample = 1000.0f / 44100.0f;

void csd_set_attr(int attribute, float value) {
    if (attribute != kCsdAttrSamplingRate) return;
    // Keep the previous rate rather than store infinities from a zero or negative rate.
    if (!(value > 0.0f) || !std::isfinite(value)) return;
    gAudioSamplingRate = value;
    gAudioSamplingRateReciprocal = 1.0f / value;
    gSamplesPerMillisecond = value * 0.001f;
    gMillisecondsPerSample = 1000.0f / value;
}

float csd_get_attr(int attribute) {
    return attribute == kCsdAttrSamplingRate ? gAudioSamplingRate : 0.0f;
}
}
