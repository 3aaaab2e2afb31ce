#include "zusp_noise.h"

#include <cstdint>

zusp_noise_white_fast::zusp_noise_white_fast() : mState(kInitialState) {}

zusp_noise_white_fast::zusp_noise_white_fast(double state) : mState(kInitialState) {
    // The square must fit the 32-bit truncation below.
    if (state >= 0.0 && state < 46340.0) mState = state;
}

float zusp_noise_white_fast::process() {
    const double t = mState * mState;
    const double f = t - static_cast<double>(static_cast<int32_t>(t));
    mState = 19.0 + f; // stays in [19, 20)
    return static_cast<float>(f - 0.5);
}
