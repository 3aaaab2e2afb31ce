// Second-order filters: biquads after the well-known cookbook formulas, with the bandwidth
// term sinh(1 / (2Q)) and a tiny alternating offset that keeps the recursion out of denormals.
#pragma once

#include "zusp.h"

class zusp_filter : public zusp_block {
public:
    zusp_filter();

    void setAudioSamplingRate(float rate) override;

    // Equal values are ignored; a change recomputes the coefficients at once.
    virtual void setFrequency(float hz);
    virtual void setResonance(float q);
    virtual float getFrequency();
    virtual float getResonance();
    // Maps 0 .. 1 onto the resonance; the base passes it on unchanged.
    virtual void setResonanceNormalized(float r);
    virtual void recalculate();

protected:
    float mFrequency = 1000.0f; // Hz
    float mResonance = 0.707f;  // Q for the biquads
};

class zusp_filter_rbj : public zusp_filter {
public:
    zusp_filter_rbj();

    void clear() override;
    float process(float x) override {
        float y = mB0 * x + mB1 * mX1;
        y = y + mB2 * mX2;
        y = y - mA1 * mY1;
        y = y - mA2 * mY2;
        const float previousY1 = mY1;
        mY1 = y;
        mX2 = mX1;
        mX1 = x;
        // The alternating offset keeps the feedback path away from denormal numbers when the
        // input falls silent; it is far below anything audible.
        mY2 = previousY1 + mDenormalOffset;
        mDenormalOffset = -mDenormalOffset;
        return y;
    }
    void bypass(bool on) override;
    // Q = 10r + 1 (the low- and high-pass keep this mapping).
    void setResonanceNormalized(float r) override;
    void recalculate() override;

    // The recursion without the denormal offset.
    virtual float processIgnoreDenormals(float x);

protected:
    float mA1 = 0.0f, mA2 = 0.0f;             // feedback, divided by a0
    float mB0 = 1.0f, mB1 = 0.0f, mB2 = 0.0f; // feed-forward, divided by a0
    float mX1 = 0.0f, mX2 = 0.0f;             // input history
    float mY1 = 0.0f, mY2 = 0.0f;             // output history
    float mOmega = 0.0f, mCosOmega = 1.0f, mSinOmega = 0.0f, mAlpha = 0.0f;
    float mDenormalOffset = 1e-12f; // changes sign every sample
};

class zusp_filter_rbj_low_pass : public zusp_filter_rbj {
public:
    zusp_filter_rbj_low_pass();
    void recalculate() override;
};

class zusp_filter_rbj_high_pass : public zusp_filter_rbj {
public:
    zusp_filter_rbj_high_pass();
    void recalculate() override;
};

// Band-pass with 0 dB gain at the centre frequency.
class zusp_filter_rbj_band_pass : public zusp_filter_rbj {
public:
    zusp_filter_rbj_band_pass();
    // Q = 7r + 1
    void setResonanceNormalized(float r) override;
    void recalculate() override;
};
