// Noise, pulses and the two distortion curves, against small models of their formulas.
#include "zusp_distort.h"
#include "zusp_noise.h"
#include "zusp_pulsegen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

int pulseLength(zusp_pulsegen& p) {
    p.begin();
    int n = 0;
    while (p.process() == 1.0f && n < 100000)
        ++n;
    return n;
}

} // namespace

TEST(NoiseWhiteFast, FollowsItsFormulaFromTheCommonStartState) {
    zusp_noise_white_fast a, b, fallback(1.0e9), negative(-3.0);
    EXPECT_EQ(a.process(), -0.17023254930973053f);
    EXPECT_EQ(a.process(), 0.1399095058441162f);
    double s = static_cast<double>(19.191919f);
    for (int i = 0; i < 200000; ++i) {
        const double t = s * s, f = t - static_cast<double>(static_cast<int32_t>(t));
        s = 19.0 + f;
        const float want = static_cast<float>(f - 0.5);
        ASSERT_EQ(b.process(), want) << i;
        ASSERT_GE(want, -0.5f);
        ASSERT_LT(want, 0.5f);
        if (i < 100) { // unusable start states fall back to the common one
            ASSERT_EQ(fallback.process(), want);
            ASSERT_EQ(negative.process(), want);
        }
    }
    EXPECT_EQ(b.zusp_block::process(0.3f), 0.3f);
}

TEST(PulseGenerator, LengthRoundsToTheNearestSampleAtEachRate) {
    zusp_pulsegen p;
    EXPECT_EQ(p.process(), 0.0f); // idle until begin()
    p.setDuration(10.0f);
    EXPECT_EQ(pulseLength(p), 441);
    EXPECT_EQ(p.process(), 0.0f);
    p.setAudioSamplingRate(48000.0f);
    EXPECT_EQ(pulseLength(p), 480);
    for (auto [ms, length] : {std::pair<float, int>{1.01f, 48}, {1.02f, 49}}) { // 48.48, 48.96
        p.setDuration(ms);
        EXPECT_EQ(pulseLength(p), length);
    }
    p.begin(); // a begin during a pulse restarts it
    for (int i = 0; i < 30; ++i)
        p.process();
    EXPECT_EQ(pulseLength(p), 49);
    for (float bad : {0.01f, -5.0f, NAN}) { // 0.48 samples rounds to none
        p.setDuration(bad);
        EXPECT_EQ(pulseLength(p), 0) << bad;
    }
}

TEST(Distortion, CurvesMatchTheirFormulas) {
    zusp_distort_parabolic para;
    zusp_distort_exponential expo;
    // The parabolic clipper's named points (pre-gain 1).
    EXPECT_FLOAT_EQ(para.process(0.2f), 0.4f);
    EXPECT_NEAR(para.process(0.5f), 0.9166667f, 1e-6f);
    EXPECT_NEAR(para.process(-0.5f), -0.9166667f, 1e-6f);
    EXPECT_EQ(para.process(0.9f), 1.0f);
    expo.setDistortionAmount(1.0f); // k = 11
    EXPECT_NEAR(expo.process(0.5f), 1.0f - std::pow(0.5f, 11.0f), 1e-7f);

    for (float gain : {1.0f, 2.0f, 0.5f}) {
        para.setPreGain(gain);
        para.setDistortionAmount(5.0f); // not this curve's parameter
        for (float x = -1.5f; x <= 1.5f; x += 0.001f) {
            const float y = x * gain, a = std::fabs(y);
            const float t = 2.0f - 3.0f * a;
            const float want = a < 0.333333f   ? 2 * y
                               : a > 0.666666f ? (y > 0 ? 1.0f : -1.0f)
                                               : (y > 0 ? 1 : -1) * (3 - t * t) / 3;
            ASSERT_NEAR(para.process(x), want, 1e-6f) << gain << " " << x;
        }
    }
    for (float amount : {0.0f, 0.25f, 0.5f, 1.0f}) {
        expo.setDistortionAmount(amount);
        expo.setPreGain(7.0f); // not this curve's parameter
        const float k = amount * 10 + 1;
        for (float x = -1.0f; x <= 1.0f; x += 0.001f) {
            const float s = x > 0 ? 1.0f : -1.0f;
            ASSERT_NEAR(expo.process(x), s * (1 - std::pow(1 - s * x, k)), 1e-6f) << k << " " << x;
        }
        EXPECT_EQ(expo.process(1.0f), 1.0f);
        EXPECT_EQ(expo.process(0.0f), 0.0f);
        EXPECT_TRUE(std::isfinite(expo.process(1.5f))); // beyond 1 stays finite
        EXPECT_TRUE(std::isfinite(expo.process(-2.0f)));
    }
}
