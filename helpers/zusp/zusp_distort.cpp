#include "zusp_distort.h"

#include "zusp_math.h"

#include <cmath>

zusp_distort::zusp_distort(float parameter) : mParameter(parameter) {}

void zusp_distort::setPreGain(float) {}

void zusp_distort::setDistortionAmount(float) {}

// ---------------------------------------------------------------------------------------------

zusp_distort_exponential::zusp_distort_exponential(float k) : zusp_distort(k) {}

void zusp_distort_exponential::setDistortionAmount(float amount) {
    mParameter = amount * 10.0f + 1.0f;
}

// ---------------------------------------------------------------------------------------------

zusp_distort_parabolic::zusp_distort_parabolic(float preGain) : zusp_distort(preGain) {}

void zusp_distort_parabolic::setPreGain(float gain) {
    mParameter = gain;
}
