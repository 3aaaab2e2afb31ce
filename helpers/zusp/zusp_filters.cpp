#include "zusp_filters.h"

#include "zusp_math.h"

#include <cmath>

// ---------------------------------------------------------------------------------------------
// zusp_filter

zusp_filter::zusp_filter() = default;

void zusp_filter::setAudioSamplingRate(float rate) {
    zusp_block::setAudioSamplingRate(rate);
    clear();
    recalculate();
}

void zusp_filter::setFrequency(float hz) {
    if (hz == mFrequency) return;
    mFrequency = hz;
    recalculate();
}

void zusp_filter::setResonance(float q) {
    if (q == mResonance) return;
    mResonance = q;
    recalculate();
}

float zusp_filter::getFrequency() {
    return mFrequency;
}

float zusp_filter::getResonance() {
    return mResonance;
}

void zusp_filter::setResonanceNormalized(float r) {
    setResonance(r);
}

void zusp_filter::recalculate() {}

// ---------------------------------------------------------------------------------------------
// zusp_filter_rbj

zusp_filter_rbj::zusp_filter_rbj() = default;

void zusp_filter_rbj::clear() {
    mX1 = mX2 = 0.0f;
    mY1 = mY2 = 0.0f;
}

void zusp_filter_rbj::bypass(bool on) {
    if (on) {
        mA1 = mA2 = 0.0f;
        mB0 = 1.0f;
        mB1 = mB2 = 0.0f;
    } else {
        clear();
        recalculate();
    }
}

void zusp_filter_rbj::setResonanceNormalized(float r) {
    setResonance(r * 10.0f + 1.0f);
}

void zusp_filter_rbj::recalculate() {
    // Frequencies at or beyond half the rate (or not above 0) and vanishing or negative Q
    // would put the poles on or outside the unit circle; such settings are held at the
    // nearest stable value. The stored frequency and resonance stay as given.
    double f = mFrequency;
    const double highest = 0.499 * static_cast<double>(mAudioSamplingRate);
    if (!(f >= 1.0)) f = 1.0;
    if (f > highest) f = highest;
    float q = mResonance;
    if (!(q >= 0.01f)) q = 0.01f;

    mOmega = static_cast<float>(6.283185307179586 * f / static_cast<double>(mAudioSamplingRate));
    mSinOmega = zusp_math::sinf(mOmega);
    mCosOmega = zusp_math::cosf(mOmega);
    // sinh(1 / (2Q)) rather than 1 / (2Q): a little broader at low Q, the same at high Q.
    mAlpha = mSinOmega * zusp_math::sinhf(1.0f / (2.0f * q));
}

float zusp_filter_rbj::processIgnoreDenormals(float x) {
    float y = mB0 * x + mB1 * mX1;
    y = y + mB2 * mX2;
    y = y - mA1 * mY1;
    y = y - mA2 * mY2;
    mY2 = mY1;
    mY1 = y;
    mX2 = mX1;
    mX1 = x;
    return y;
}

// ---------------------------------------------------------------------------------------------
// Response types

zusp_filter_rbj_low_pass::zusp_filter_rbj_low_pass() {
    recalculate();
}

void zusp_filter_rbj_low_pass::recalculate() {
    zusp_filter_rbj::recalculate();
    const float c = mCosOmega;
    const float k = 1.0f / (1.0f + mAlpha);
    mA1 = -2.0f * c * k;
    mA2 = (1.0f - mAlpha) * k;
    mB0 = 0.5f * (1.0f - c) * k;
    mB1 = (1.0f - c) * k;
    mB2 = mB0;
}

zusp_filter_rbj_high_pass::zusp_filter_rbj_high_pass() {
    recalculate();
}

void zusp_filter_rbj_high_pass::recalculate() {
    zusp_filter_rbj::recalculate();
    const float c = mCosOmega;
    const float k = 1.0f / (1.0f + mAlpha);
    mA1 = -2.0f * c * k;
    mA2 = (1.0f - mAlpha) * k;
    mB0 = 0.5f * (1.0f + c) * k;
    mB1 = -(1.0f + c) * k;
    mB2 = mB0;
}

zusp_filter_rbj_band_pass::zusp_filter_rbj_band_pass() {
    recalculate();
}

void zusp_filter_rbj_band_pass::setResonanceNormalized(float r) {
    setResonance(r * 7.0f + 1.0f);
}

void zusp_filter_rbj_band_pass::recalculate() {
    zusp_filter_rbj::recalculate();
    const float c = mCosOmega;
    const float k = 1.0f / (1.0f + mAlpha);
    mA1 = -2.0f * c * k;
    mA2 = (1.0f - mAlpha) * k;
    mB0 = mAlpha * k;
    mB1 = 0.0f;
    mB2 = -mAlpha * k;
}
