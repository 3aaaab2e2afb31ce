#include "zusp_distort.h"

#include "zusp_math.h"

#include <cmath>
#include <emmintrin.h>

zusp_distort::zusp_distort(float parameter) : mParameter(parameter) {}

void zusp_distort::setPreGain(float) {}

void zusp_distort::setDistortionAmount(float) {}

// ---------------------------------------------------------------------------------------------

zusp_distort_exponential::zusp_distort_exponential(float k) : zusp_distort(k) {}

void zusp_distort_exponential::setDistortionAmount(float amount) {
    mParameter = amount * 10.0f + 1.0f;
}

void zusp_distort_exponential::processBlock(const float* in, float* out, int n) {
    const float k = mParameter;
    const __m128 one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        const __m128 positive = _mm_cmpgt_ps(x, zero);
        const __m128 s =
            _mm_or_ps(_mm_and_ps(positive, one), _mm_andnot_ps(positive, _mm_set1_ps(-1.0f)));
        const __m128 base = _mm_sub_ps(one, _mm_mul_ps(s, x));
        if (k == 1.0f) { // the power of 1 is the base itself, also where it is negative
            _mm_storeu_ps(out + i, _mm_mul_ps(s, _mm_sub_ps(one, base)));
            continue;
        }
        // Bases in (0, 1) only (|x| < 1 and not 0): the curve's clamp never applies there.
        alignas(16) float power[4];
        if (zusp_math::powExact4(base, k, power)) {
            _mm_storeu_ps(out + i, _mm_mul_ps(s, _mm_sub_ps(one, _mm_load_ps(power))));
            continue;
        }
        for (int j = i; j < i + 4; ++j)
            out[j] = zusp_distort_exponential::process(in[j]);
    }
    for (; i < n; ++i)
        out[i] = zusp_distort_exponential::process(in[i]);
}

// ---------------------------------------------------------------------------------------------

zusp_distort_parabolic::zusp_distort_parabolic(float preGain) : zusp_distort(preGain) {}

void zusp_distort_parabolic::setPreGain(float gain) {
    mParameter = gain;
}
