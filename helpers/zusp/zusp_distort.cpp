#include "zusp_distort.h"

#include <cmath>

zusp_distort::zusp_distort(float parameter) : mParameter(parameter) {}

void zusp_distort::setPreGain(float) {}

void zusp_distort::setDistortionAmount(float) {}

// ---------------------------------------------------------------------------------------------

zusp_distort_exponential::zusp_distort_exponential(float k) : zusp_distort(k) {}

void zusp_distort_exponential::setDistortionAmount(float amount) {
    mParameter = amount * 10.0f + 1.0f;
}

float zusp_distort_exponential::process(float x) {
    const float s = x > 0.0f ? 1.0f : -1.0f;
    float base = 1.0f - s * x;
    // Beyond +-1 the base turns negative, which a non-integer power cannot take: the curve
    // then stays at its end value instead of producing NaN.
    if (base < 0.0f && floorf(mParameter) != mParameter) base = 0.0f;
    return s * (1.0f - powf(base, mParameter));
}

// ---------------------------------------------------------------------------------------------

zusp_distort_parabolic::zusp_distort_parabolic(float preGain) : zusp_distort(preGain) {}

void zusp_distort_parabolic::setPreGain(float gain) {
    mParameter = gain;
}

float zusp_distort_parabolic::process(float x) {
    const float y = x * mParameter;
    const float a = fabsf(y);
    if (a < 0.333333f) return 2.0f * y;
    if (a > 0.666666f) return y > 0.0f ? 1.0f : -1.0f;
    if (y > 0.0f) {
        const float t = 2.0f - 3.0f * y;
        return (3.0f - t * t) / 3.0f;
    }
    const float t = 2.0f - 3.0f * a;
    return -(3.0f - t * t) / 3.0f;
}
