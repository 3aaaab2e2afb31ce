// Static distortion curves.
#pragma once

#include "zusp.h"

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
    float process(float x) override;
};

// Linear below 1/3, parabolic up to 2/3, flat at +-1 above; the parameter is a pre-gain.
class zusp_distort_parabolic : public zusp_distort {
public:
    explicit zusp_distort_parabolic(float preGain = 1.0f);

    void setPreGain(float gain) override;
    float process(float x) override;
};
