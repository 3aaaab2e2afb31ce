// Biquad filters: coefficients, responses, bypass, denormal protection and recalculation.
#include "zusp_filters.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

template <class Base>
struct Probe : Base {
    int recalculations = 0;
    void recalculate() override {
        ++recalculations;
        Base::recalculate();
    }
    float omega() const { return this->mOmega; }
    float alpha() const { return this->mAlpha; }
    float a1() const { return this->mA1; }
    float a2() const { return this->mA2; }
    float b0() const { return this->mB0; }
    float b1() const { return this->mB1; }
    float b2() const { return this->mB2; }
    float y1() const { return this->mY1; }
    float y2() const { return this->mY2; }
    float dcGain() const { return (b0() + b1() + b2()) / (1.0f + a1() + a2()); }
};

using LowPass = Probe<zusp_filter_rbj_low_pass>;
using HighPass = Probe<zusp_filter_rbj_high_pass>;
using BandPass = Probe<zusp_filter_rbj_band_pass>;

// Steady-state peak amplitude of the filter's answer to a unit sine at hz.
double gainAt(zusp_filter& f, double hz, double rate = 44100.0) {
    double peak = 0.0;
    for (int n = 0; n < 40000; ++n) {
        const float y = f.process(static_cast<float>(std::sin(2.0 * M_PI * hz * n / rate)));
        if (n > 30000) peak = std::max(peak, std::fabs(static_cast<double>(y)));
    }
    return peak;
}

// Last output for a constant input (DC) or an alternating one (half the rate).
float settleOn(zusp_filter& f, bool alternating) {
    float y = 0.0f;
    for (int n = 0; n < 20000; ++n)
        y = f.process(alternating && (n & 1) ? -1.0f : 1.0f);
    return y;
}

} // namespace

TEST(FilterLowPass, NewFilterCoefficients) {
    LowPass f;
    EXPECT_EQ(f.getFrequency(), 1000.0f);
    EXPECT_EQ(f.getResonance(), 0.707f);
    EXPECT_NEAR(f.omega(), 0.142476f, 1e-6f);
    EXPECT_NEAR(f.alpha(), 0.109003f, 1e-5f); // sin(w) * sinh(1 / (2Q)), not sin(w) / (2Q)
    EXPECT_NEAR(f.dcGain(), 1.0f, 1e-4f);
    EXPECT_EQ(f.b2(), f.b0());
    EXPECT_NEAR(f.b1(), 2.0f * f.b0(), 1e-9f);
}

TEST(FilterLowPass, ResponseAtDcCutoffAndNyquist) {
    LowPass f;
    EXPECT_NEAR(settleOn(f, false), 1.0f, 1e-4f);
    f.clear();
    // At the cutoff the sinh bandwidth term gives 1 / (2 sinh(1 / (2Q))) instead of Q.
    EXPECT_NEAR(gainAt(f, 1000.0), 1.0 / (2.0 * std::sinh(1.0 / 1.414)), 2e-3);
    f.clear();
    EXPECT_NEAR(settleOn(f, true), 0.0f, 1e-4f);
}

TEST(FilterHighPass, ResponseAtDcAndNyquist) {
    HighPass f;
    f.setFrequency(2500.0f);
    EXPECT_NEAR(settleOn(f, false), 0.0f, 1e-4f);
    f.clear();
    EXPECT_NEAR(std::fabs(settleOn(f, true)), 1.0f, 1e-3f);
    f.clear();
    EXPECT_NEAR(gainAt(f, 8000.0), 1.0, 0.05);
}

TEST(FilterBandPass, UnityAtCentreAndZeroAtTheEdges) {
    BandPass f;
    f.setFrequency(2640.0f);
    f.setResonance(1.7f);
    EXPECT_NEAR(gainAt(f, 2640.0), 1.0, 2e-3);
    f.clear();
    EXPECT_LT(gainAt(f, 500.0), 0.5);
    f.clear();
    EXPECT_NEAR(settleOn(f, false), 0.0f, 1e-4f);
    f.clear();
    EXPECT_NEAR(settleOn(f, true), 0.0f, 1e-4f);
    EXPECT_EQ(f.b1(), 0.0f);
    EXPECT_EQ(f.b2(), -f.b0());
}

TEST(FilterResonance, NormalizedRanges) {
    LowPass lp;
    HighPass hp;
    BandPass bp;
    lp.setResonanceNormalized(0.0f);
    hp.setResonanceNormalized(0.0f);
    bp.setResonanceNormalized(0.0f);
    EXPECT_EQ(lp.getResonance(), 1.0f);
    EXPECT_EQ(hp.getResonance(), 1.0f);
    EXPECT_EQ(bp.getResonance(), 1.0f);
    lp.setResonanceNormalized(1.0f);
    hp.setResonanceNormalized(1.0f);
    bp.setResonanceNormalized(1.0f);
    EXPECT_EQ(lp.getResonance(), 11.0f);
    EXPECT_EQ(hp.getResonance(), 11.0f);
    EXPECT_EQ(bp.getResonance(), 8.0f);
    // A high Q makes the low-pass peak at its cutoff.
    lp.clear();
    EXPECT_GT(gainAt(lp, 1000.0), 10.0);
}

TEST(FilterResonance, EqualValuesDoNotRecalculate) {
    LowPass f;
    f.setFrequency(1000.0f);
    f.setResonance(0.707f);
    EXPECT_EQ(f.recalculations, 0);
    f.setFrequency(1200.0f);
    f.setFrequency(1200.0f);
    EXPECT_EQ(f.recalculations, 1);
    f.setResonance(2.0f);
    f.setResonance(2.0f);
    f.setResonanceNormalized(0.1f); // Q 2, as before
    EXPECT_EQ(f.recalculations, 2);
    EXPECT_EQ(f.getFrequency(), 1200.0f);
}

TEST(FilterBypass, PassesInputExactlyUntilRecalculated) {
    LowPass f;
    for (int n = 0; n < 100; ++n)
        f.process(0.5f);
    f.bypass(true);
    for (int n = 0; n < 1000; ++n) {
        const float x = std::sin(n * 0.37f) * 0.9f;
        ASSERT_EQ(f.process(x), x) << n;
    }
    f.bypass(false); // history cleared, coefficients back
    EXPECT_EQ(f.process(1.0f), f.b0());
    EXPECT_NEAR(f.dcGain(), 1.0f, 1e-4f);
}

TEST(FilterDenormals, SilenceAfterASignalNeverGoesDenormal) {
    for (int type = 0; type < 3; ++type) {
        LowPass lp;
        HighPass hp;
        BandPass bp;
        zusp_filter_rbj* f = type == 0   ? static_cast<zusp_filter_rbj*>(&lp)
                             : type == 1 ? static_cast<zusp_filter_rbj*>(&hp)
                                         : static_cast<zusp_filter_rbj*>(&bp);
        for (int n = 0; n < 1000; ++n)
            f->process(std::sin(n * 0.1f));
        for (int n = 0; n < 200000; ++n) {
            const float y = f->process(0.0f);
            ASSERT_NE(std::fpclassify(y), FP_SUBNORMAL) << type << " " << n;
            if (n > 100000) {
                ASSERT_LT(std::fabs(y), 1e-9f);
            }
        }
    }
}

TEST(FilterDenormals, OffsetDoesNotChangeTheSound) {
    LowPass a, b;
    for (int n = 0; n < 5000; ++n) {
        const float x = std::sin(n * 0.05f);
        ASSERT_NEAR(a.process(x), b.processIgnoreDenormals(x), 1e-6f);
    }
}

TEST(FilterRate, RateChangeClearsHistoryAndRecalculates) {
    LowPass f;
    for (int n = 0; n < 100; ++n)
        f.process(0.7f);
    f.setAudioSamplingRate(48000.0f);
    EXPECT_NEAR(f.omega(), 2.0 * M_PI * 1000.0 / 48000.0, 1e-6);
    EXPECT_EQ(f.process(0.5f), f.b0() * 0.5f);
}

TEST(FilterRate, OutOfRangeSettingsStayStable) {
    HighPass hp;
    LowPass lp;
    BandPass bp;
    hp.setFrequency(30000.0f); // above half the rate
    lp.setFrequency(-100.0f);
    bp.setResonance(0.0f);
    lp.setResonance(-2.0f);
    EXPECT_EQ(hp.getFrequency(), 30000.0f);
    float x = 0.3f;
    for (int n = 0; n < 100000; ++n) {
        x = std::sin(n * 1.3f);
        ASSERT_LT(std::fabs(hp.process(x)), 100.0f) << n;
        ASSERT_LT(std::fabs(lp.process(x)), 100.0f) << n;
        ASSERT_LT(std::fabs(bp.process(x)), 100.0f) << n;
    }
}
