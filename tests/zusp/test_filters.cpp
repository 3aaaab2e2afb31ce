// Biquad filters: design values, gains at DC, centre and half the rate; rate changes, denormal
// protection and out-of-range settings. (The voices' filters are held sample for
// sample to the models of test_voice_models.cpp.)
#include "zusp_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

template <class Base>
struct Probe : Base {
    float omega() const { return this->mOmega; }
    float alpha() const { return this->mAlpha; }
    float b0() const { return this->mB0; }
};

using LowPass = Probe<zusp_filter_rbj_low_pass>;
using HighPass = Probe<zusp_filter_rbj_high_pass>;
using BandPass = Probe<zusp_filter_rbj_band_pass>;

// Steady-state peak amplitude of the filter's answer to a unit sine at hz.
double gainAt(zusp_filter& f, double hz) {
    f.clear();
    double peak = 0.0;
    for (int n = 0; n < 40000; ++n) {
        const float y = f.process(static_cast<float>(std::sin(2.0 * M_PI * hz * n / 44100.0)));
        if (n > 30000) peak = std::max(peak, std::fabs(static_cast<double>(y)));
    }
    return peak;
}

// Last output for a constant input (DC) or an alternating one (half the rate).
float settleOn(zusp_filter& f, bool alternating) {
    f.clear();
    float y = 0.0f;
    for (int n = 0; n < 20000; ++n)
        y = f.process(alternating && (n & 1) ? -1.0f : 1.0f);
    return y;
}

} // namespace

// Pinned design values (the angle and the bandwidth term of 1 kHz at Q 0.707) and the gains.
TEST(Filter, DesignValuesAndGainsAtDcCentreAndHalfTheRate) {
    LowPass lp;
    EXPECT_NEAR(lp.omega(), 0.142476f, 1e-6f);
    EXPECT_NEAR(lp.alpha(), 0.109003f, 1e-5f); // sin(w) sinh(1 / (2Q)), not sin(w) / (2Q)
    EXPECT_NEAR(settleOn(lp, false), 1.0f, 1e-4f);
    EXPECT_NEAR(settleOn(lp, true), 0.0f, 1e-4f);
    // At the cutoff the sinh bandwidth term gives 1 / (2 sinh(1 / (2Q))) instead of Q.
    EXPECT_NEAR(gainAt(lp, 1000.0), 1.0 / (2.0 * std::sinh(1.0 / 1.414)), 2e-3);

    HighPass hp;
    hp.setFrequency(2500.0f);
    EXPECT_NEAR(settleOn(hp, false), 0.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(settleOn(hp, true)), 1.0f, 1e-3f);

    BandPass bp;
    bp.setFrequency(2640.0f);
    bp.setResonance(1.7f);
    EXPECT_NEAR(gainAt(bp, 2640.0), 1.0, 2e-3);
    EXPECT_LT(gainAt(bp, 500.0), 0.5);
    EXPECT_NEAR(settleOn(bp, false), 0.0f, 1e-4f);
    EXPECT_NEAR(settleOn(bp, true), 0.0f, 1e-4f);
}

TEST(Filter, RateChangeClearsHistory) {
    LowPass f;
    EXPECT_NEAR(settleOn(f, false), 1.0f, 1e-4f);
    f.setAudioSamplingRate(48000.0f);
    EXPECT_NEAR(f.omega(), 2.0 * M_PI * 1000.0 / 48000.0, 1e-6);
    EXPECT_EQ(f.process(0.5f), f.b0() * 0.5f);
}

TEST(Filter, SilenceNeverGoesDenormalAndBadSettingsStayStable) {
    LowPass lp;
    HighPass hp;
    BandPass bp;
    for (zusp_filter_rbj* f :
         {static_cast<zusp_filter_rbj*>(&lp), static_cast<zusp_filter_rbj*>(&hp),
          static_cast<zusp_filter_rbj*>(&bp)}) {
        for (int n = 0; n < 1000; ++n)
            f->process(std::sin(n * 0.1f));
        for (int n = 0; n < 200000; ++n) {
            const float y = f->process(0.0f);
            ASSERT_NE(std::fpclassify(y), FP_SUBNORMAL) << n;
            ASSERT_TRUE(n < 100000 || std::fabs(y) < 1e-9f) << n;
        }
    }
    hp.setFrequency(30000.0f); // above half the rate
    lp.setFrequency(-100.0f);
    bp.setResonance(0.0f);
    lp.setResonance(-2.0f);
    for (int n = 0; n < 100000; ++n) {
        const float x = std::sin(n * 1.3f);
        ASSERT_LT(std::fabs(hp.process(x)), 100.0f) << n;
        ASSERT_LT(std::fabs(lp.process(x)), 100.0f) << n;
        ASSERT_LT(std::fabs(bp.process(x)), 100.0f) << n;
    }
}
