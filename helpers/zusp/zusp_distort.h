// Static distortion curves.
#pragma once

#include "zusp.h"
#include "zusp_math.h"

#include <cmath>

class zusp_distort : public zusp_block {
public:
    explicit zusp_distort(float parameter = 1.0f);

    virtual void setPreGain(float gain);
    virtual void setDistortionAmount(float amount);

protected:
    float mParameter;
};

// sign(x) * (1 - (1 - |x|)^k) for |x| <= 1; amount a gives k = 10a + 1.
class zusp_distort_exponential : public zusp_distort {
public:
    explicit zusp_distort_exponential(float k = 1.0f);

    void setDistortionAmount(float amount) override;
    float process(float x) override {
        const float s = x > 0.0f ? 1.0f : -1.0f;
        float base = 1.0f - s * x;
        // Beyond +-1 the base turns negative, which a non-integer power cannot take: the curve
        // then stays at its end value instead of producing NaN.
        if (base < 0.0f && std::floor(mParameter) != mParameter) base = 0.0f;
        // 1 - base^k cancels for quiet signals (base near 1), so the power is taken exactly.
        return s * (1.0f - zusp_math::powf(base, mParameter));
    }
    // n values of process(), four at a time in SSE2 lanes with the same operations (the powers
    // by zusp_math::powExact4), so the values are the same.
    void processBlock(const float* in, float* out, int n);
};

// Linear below 1/3, parabolic up to 2/3, flat at +-1 above; the parameter is a pre-gain.
class zusp_distort_parabolic : public zusp_distort {
public:
    explicit zusp_distort_parabolic(float preGain = 1.0f);

    void setPreGain(float gain) override;
    float process(float x) override {
        const float y = x * mParameter;
        const float a = std::fabs(y);
        if (a < 0.333333f) return 2.0f * y;
        if (a > 0.666666f) return y > 0.0f ? 1.0f : -1.0f;
        if (y > 0.0f) {
            const float t = 2.0f - 3.0f * y;
            return (3.0f - t * t) / 3.0f;
        }
        const float t = 2.0f - 3.0f * a;
        return -(3.0f - t * t) / 3.0f;
    }
};
