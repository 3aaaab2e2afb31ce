// A very cheap white-noise generator: the fractional part of the squared state.
#pragma once

#include "zusp.h"

#include <cstdint>

class zusp_noise_white_fast : public zusp_block {
public:
    using zusp_block::process;

    // Every noise block starts from the same state, so all produce the same sequence.
    static constexpr double kInitialState = static_cast<double>(19.191919f);

    zusp_noise_white_fast();
    // A state outside [0, 46340) (or not a number) falls back to kInitialState.
    explicit zusp_noise_white_fast(double state);

    // Next value in [-0.5, 0.5).
    virtual float process() {
        const double t = mState * mState;
        const double f = t - static_cast<double>(static_cast<int32_t>(t));
        mState = 19.0 + f; // stays in [19, 20)
        return static_cast<float>(f - 0.5);
    }

protected:
    double mState;
};
