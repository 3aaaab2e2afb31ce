// A very cheap white-noise generator: the fractional part of the squared state.
#pragma once

#include "zusp.h"

#include <cstdint>
#include <emmintrin.h>

class zusp_noise_white_fast : public zusp_block {
public:
    using zusp_block::process;

    // Every noise block starts from the same state, so all produce the same sequence.
    static constexpr double kInitialState = static_cast<double>(19.191919f);

    zusp_noise_white_fast();
    // A state outside [0, 46340) (or not a number) falls back to kInitialState.
    explicit zusp_noise_white_fast(double state);

    // Next value in [-0.5, 0.5): the fractional part of the squared state, minus 0.5. The state
    // becomes 19 plus that fractional part (it stays in [19, 20)), taken as t - (trunc(t) - 19):
    // every step of it is exact, so it is the same number as 19 + (t - trunc(t)), one addition
    // shorter on the chain from one value to the next. The truncation stays in the vector
    // registers (no round trip through an integer register).
    virtual float process() {
        const __m128d t = _mm_mul_sd(_mm_set_sd(mState), _mm_set_sd(mState));
        const __m128d whole = _mm_cvtepi32_pd(_mm_cvttpd_epi32(t));
        mState = _mm_cvtsd_f64(_mm_sub_sd(t, _mm_sub_sd(whole, _mm_set_sd(19.0))));
        return static_cast<float>(mState - 19.5);
    }

protected:
    double mState;
};
