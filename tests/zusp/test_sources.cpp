// Noise, pulses and the two distortion curves.
#include "zusp_distort.h"
#include "zusp_noise.h"
#include "zusp_pulsegen.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(NoiseWhiteFast, SequenceFromTheCommonStartState) {
    zusp_noise_white_fast n;
    EXPECT_EQ(n.process(), -0.17023254930973053f);
    EXPECT_EQ(n.process(), 0.1399095058441162f);
    EXPECT_EQ(n.process(), 0.2260453850030899f);
    EXPECT_EQ(n.process(), -0.38313350081443787f);
}

TEST(NoiseWhiteFast, EveryInstanceIsIdentical) {
    zusp_noise_white_fast a, b;
    zusp_noise_white_fast c(static_cast<double>(19.191919f));
    for (int i = 0; i < 100000; ++i) {
        const float v = a.process();
        ASSERT_EQ(v, b.process());
        ASSERT_EQ(v, c.process());
    }
}

TEST(NoiseWhiteFast, StaysInRangeAndLooksWhite) {
    zusp_noise_white_fast n;
    double sum = 0.0, sumSq = 0.0, lag = 0.0;
    float previous = 0.0f;
    const int count = 1000000;
    for (int i = 0; i < count; ++i) {
        const float v = n.process();
        ASSERT_GE(v, -0.5f);
        ASSERT_LT(v, 0.5f);
        sum += v;
        sumSq += static_cast<double>(v) * v;
        lag += static_cast<double>(v) * previous;
        previous = v;
    }
    EXPECT_NEAR(sum / count, 0.0, 0.01);
    EXPECT_NEAR(sumSq / count, 1.0 / 12.0, 0.005); // uniform on [-0.5, 0.5)
    EXPECT_NEAR(lag / count, 0.0, 0.005);
}

TEST(NoiseWhiteFast, UnusableStartStatesFallBack) {
    zusp_noise_white_fast a(1.0e9), b(-3.0), reference;
    const float r = reference.process();
    EXPECT_EQ(a.process(), r);
    EXPECT_EQ(b.process(), r);
    EXPECT_EQ(zusp_noise_white_fast().zusp_block::process(0.3f), 0.3f);
}

namespace {
int pulseLength(zusp_pulsegen& p) {
    p.begin();
    int n = 0;
    while (p.process() == 1.0f && n < 100000)
        ++n;
    return n;
}
} // namespace

TEST(PulseGenerator, LengthRoundsToTheNearestSampleAtEachRate) {
    zusp_pulsegen p;
    EXPECT_EQ(p.process(), 0.0f); // idle until begin()
    p.setDuration(10.0f);
    EXPECT_EQ(pulseLength(p), 441);
    EXPECT_EQ(p.process(), 0.0f);
    p.setAudioSamplingRate(48000.0f);
    EXPECT_EQ(pulseLength(p), 480);
    p.setDuration(2.0f);
    EXPECT_EQ(pulseLength(p), 96);
    p.setDuration(0.01f); // 0.48 samples rounds to none
    EXPECT_EQ(pulseLength(p), 0);
}

TEST(PulseGenerator, BeginRestartsAndBadDurationsGiveNoPulse) {
    zusp_pulsegen p(1.0f); // 44 samples
    p.begin();
    for (int i = 0; i < 30; ++i)
        p.process();
    EXPECT_EQ(pulseLength(p), 44);
    p.setDuration(-5.0f);
    EXPECT_EQ(pulseLength(p), 0);
    p.setDuration(NAN);
    EXPECT_EQ(pulseLength(p), 0);
}

TEST(DistortParabolic, SoftClipperValues) {
    zusp_distort_parabolic d;
    EXPECT_FLOAT_EQ(d.process(0.2f), 0.4f);
    EXPECT_NEAR(d.process(0.5f), 0.9166667f, 1e-6f);
    EXPECT_NEAR(d.process(-0.5f), -0.9166667f, 1e-6f);
    EXPECT_EQ(d.process(0.9f), 1.0f);
    EXPECT_EQ(d.process(-3.0f), -1.0f);
    EXPECT_EQ(d.process(0.0f), 0.0f);
    // Continuous at both thresholds.
    EXPECT_NEAR(d.process(0.3333329f), d.process(0.3333331f), 1e-5f);
    EXPECT_NEAR(d.process(0.666665f), d.process(0.666667f), 1e-5f);
    d.setDistortionAmount(5.0f); // not this curve's parameter
    d.setPreGain(2.0f);
    EXPECT_NEAR(d.process(0.25f), 0.9166667f, 1e-6f);
    EXPECT_FLOAT_EQ(d.process(0.1f), 0.4f);
}

TEST(DistortExponential, IdentityAtZeroAndSaturatingAboveIt) {
    zusp_distort_exponential d;
    d.setDistortionAmount(0.0f);
    for (float x : {-1.0f, -0.6f, -0.1f, 0.0f, 0.3f, 0.77f, 1.0f})
        EXPECT_NEAR(d.process(x), x, 1e-7f);
    d.setDistortionAmount(1.0f); // k = 11
    EXPECT_NEAR(d.process(0.5f), 1.0f - std::pow(0.5f, 11.0f), 1e-7f);
    EXPECT_NEAR(d.process(-0.5f), -(1.0f - std::pow(0.5f, 11.0f)), 1e-7f);
    EXPECT_EQ(d.process(1.0f), 1.0f);
    EXPECT_EQ(d.process(0.0f), 0.0f);
    d.setPreGain(7.0f); // not this curve's parameter
    EXPECT_NEAR(d.process(0.5f), 1.0f - std::pow(0.5f, 11.0f), 1e-7f);
}

TEST(DistortExponential, InputsBeyondOneStayFinite) {
    zusp_distort_exponential d;
    d.setDistortionAmount(0.25f); // k = 3.5
    EXPECT_EQ(d.process(1.5f), 1.0f);
    EXPECT_EQ(d.process(-2.0f), -1.0f);
    d.setDistortionAmount(0.0f); // k = 1 stays the identity
    EXPECT_EQ(d.process(1.5f), 1.5f);
}
