#include "zusp_noise.h"

#include <cstdint>

zusp_noise_white_fast::zusp_noise_white_fast() : mState(kInitialState) {}

zusp_noise_white_fast::zusp_noise_white_fast(double state) : mState(kInitialState) {
    // The square must fit the 32-bit truncation below.
    if (state >= 0.0 && state < 46340.0) mState = state;
}
