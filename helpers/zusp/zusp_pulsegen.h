// A gate that stays at 1 for a set time after each begin().
#pragma once

#include "zusp.h"

#include <cstdint>

class zusp_pulsegen : public zusp_block {
public:
    using zusp_block::process;

    explicit zusp_pulsegen(float ms = 0.0f);

    void setAudioSamplingRate(float rate) override;

    // Duration in ms, rounded to the nearest sample; negative durations give no pulse.
    virtual void setDuration(float ms);
    virtual void begin();
    // 1.0 while the pulse lasts, then 0.
    virtual float process() {
        if (mRemaining <= 0) return 0.0f;
        --mRemaining;
        return 1.0f;
    }

protected:
    float mDuration = 0.0f; // ms
    int64_t mLength = 0;    // samples
    int64_t mRemaining = 0; // samples left in the running pulse
};
