#include "zusp_pulsegen.h"

zusp_pulsegen::zusp_pulsegen(float ms) {
    setDuration(ms);
}

void zusp_pulsegen::setAudioSamplingRate(float rate) {
    zusp_block::setAudioSamplingRate(rate);
    setDuration(mDuration);
}

void zusp_pulsegen::setDuration(float ms) {
    mDuration = ms;
    // Rounded to the nearest sample. Negative (or not-a-number) durations give no pulse
    // rather than one that never ends.
    const float samples = ms * mSamplesPerMillisecond + 0.5f;
    if (!(samples >= 1.0f)) {
        mLength = 0;
    } else if (samples >= 9.0e18f) {
        mLength = INT64_C(9000000000000000000);
    } else {
        mLength = static_cast<int64_t>(samples);
    }
}

void zusp_pulsegen::begin() {
    mRemaining = mLength;
}
