// Noise, pulses and the two distortion curves.
#include "zusp_distort.h"
#include "zusp_noise.h"
#include "zusp_pulsegen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

int pulseLength(zusp_pulsegen& p) {
    p.begin();
    int n = 0;
    while (p.process() == 1.0f && n < 100000)
        ++n;
    return n;
}

} // namespace

// Pinned first values from the common start state, the range and mean of a long run, and the
// fallback of unusable start states.
TEST(NoiseWhiteFast, PinnedStartRangeAndFallback) {
    zusp_noise_white_fast a, b, fallback(1.0e9), negative(-3.0);
    EXPECT_EQ(a.process(), -0.17023254930973053f);
    EXPECT_EQ(a.process(), 0.1399095058441162f);
    double sum = 0.0;
    for (int i = 0; i < 200000; ++i) {
        const float x = b.process();
        ASSERT_TRUE(x >= -0.5f && x < 0.5f) << i;
        sum += x;
        if (i < 100) {
            ASSERT_EQ(fallback.process(), x);
            ASSERT_EQ(negative.process(), x);
        }
    }
    EXPECT_NEAR(sum / 200000, 0.0, 0.005);
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

// Pinned points of both curves, odd symmetry, bounds and monotonicity; each ignores the other's
// parameter.
TEST(Distortion, CurvesAtPinnedPointsAreOddBoundedAndRising) {
    zusp_distort_parabolic para;
    zusp_distort_exponential expo;
    para.setDistortionAmount(5.0f); // not this curve's parameter
    expo.setPreGain(7.0f);
    const std::pair<float, float> parabolic[] = {{0.2f, 0.4f}, {0.5f, 0.9166667f}, {0.9f, 1.0f}};
    for (auto [x, y] : parabolic)
        EXPECT_NEAR(para.process(x), y, 1e-6f) << x;
    para.setPreGain(2.0f);
    EXPECT_NEAR(para.process(0.25f), 0.9166667f, 1e-6f);
    // amount, k = 10 amount + 1: 0 is the identity.
    const std::tuple<float, float, float> exponential[] = {
        {0.0f, 0.3f, 0.3f}, {1.0f, 0.5f, 1.0f - std::pow(0.5f, 11.0f)}, {0.25f, 0.5f, 0.9116117f}};
    for (auto [amount, x, y] : exponential) {
        expo.setDistortionAmount(amount);
        EXPECT_NEAR(expo.process(x), y, 1e-6f) << amount;
    }
    for (zusp_distort* d : {static_cast<zusp_distort*>(&para), static_cast<zusp_distort*>(&expo)}) {
        float previous = -1.0f;
        for (float x = -1.0f; x <= 1.0f; x += 0.01f) {
            const float y = d->process(x);
            ASSERT_EQ(d->process(-x), -y) << x;
            ASSERT_TRUE(y >= previous && std::fabs(y) <= 1.0f) << x;
            previous = y;
        }
    }
    EXPECT_EQ(expo.process(1.0f), 1.0f);
    EXPECT_TRUE(std::isfinite(expo.process(1.5f))); // beyond 1 stays finite
    EXPECT_TRUE(std::isfinite(expo.process(-2.0f)));
}
