// The output compressor: coefficients, the detector and the gain computer.
#include "zusp_dynamics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Probe : zusp_compressor {
    float attackCoefficient() const { return mAttackCoefficient; }
    float releaseCoefficient() const { return mReleaseCoefficient; }
    float envelope() const { return mEnvelope; }
    void spoilAttackCoefficient() { mAttackCoefficient = -1.0f; }
};

// The engine's own settings: a fast peak limiter at 0 dB.
void engineSettings(zusp_compressor& c) {
    c.setInputGain(0.0f);
    c.setThreshold(0.0f);
    c.setAttack(0.0005f);
    c.setRelease(0.05f);
    c.setRatio(1000.0f);
    c.setOutputGain(0.0f);
}

} // namespace

TEST(CompressorCoefficients, AttackAndReleaseAt44100) {
    Probe c;
    // Single precision: near 1 the difference 1 - e^-x is coarse for a 10 s attack.
    EXPECT_NEAR(c.attackCoefficient(), 1.0 - std::exp(-1.0 / 441000.0), 1e-7);
    engineSettings(c);
    EXPECT_NEAR(c.attackCoefficient(), 0.04434f, 1e-5f);
    EXPECT_NEAR(c.releaseCoefficient(), 0.000453f, 1e-6f);
    c.setAudioSamplingRate(88200.0f);
    EXPECT_NEAR(c.attackCoefficient(), 1.0 - std::exp(-1.0 / 44.1), 1e-5);
}

TEST(CompressorCoefficients, EqualValuesAreNotRecomputed) {
    Probe c;
    engineSettings(c);
    c.spoilAttackCoefficient();
    c.setAttack(0.0005f);
    EXPECT_EQ(c.attackCoefficient(), -1.0f);
    c.setAttack(0.001f);
    EXPECT_NEAR(c.attackCoefficient(), 1.0 - std::exp(-1.0 / 44.1), 1e-5);
}

TEST(CompressorCoefficients, TimesOfZeroOrLessFollowAtOnce) {
    Probe c;
    c.setAttack(0.0f);
    EXPECT_EQ(c.attackCoefficient(), 1.0f);
    c.setRelease(-1.0f);
    EXPECT_EQ(c.releaseCoefficient(), 1.0f);
    float l, r;
    c.processStereo(0.5f, 0.1f, l, r);
    EXPECT_TRUE(std::isfinite(l) && std::isfinite(r));
}

TEST(CompressorGain, FiveDecibelsAtZeroDecibelsLevel) {
    zusp_compressor c; // threshold -10 dB, ratio 2, detector at 0 dB
    float l, r;
    c.processStereo(1.0f, 0.5f, l, r);
    EXPECT_NEAR(c.getGainReduction(), -5.0f, 1e-4f);
    EXPECT_NEAR(c.getGainReductionMultiplier(), 0.5623413f, 1e-5f);
    EXPECT_NEAR(l, 0.5623413f, 1e-5f);
    EXPECT_NEAR(r, 0.5f * 0.5623413f, 1e-5f); // both channels get the same gain
}

TEST(CompressorGain, BelowTheThresholdOnlyTheGainsApply) {
    zusp_compressor c;
    engineSettings(c);
    c.setInputGain(-6.0f);
    c.setOutputGain(6.0f);
    float l = 0.0f, r = 0.0f;
    for (int n = 0; n < 1000; ++n)
        c.processStereo(0.5f, -0.25f, l, r);
    EXPECT_EQ(c.getGainReduction(), 0.0f);
    EXPECT_EQ(c.getGainReductionMultiplier(), 1.0f);
    EXPECT_NEAR(l, 0.5f, 1e-5f);
    EXPECT_NEAR(r, -0.25f, 1e-5f);
}

TEST(CompressorGain, RatioOneNeverReduces) {
    zusp_compressor c;
    c.setRatio(1.0f);
    c.setThreshold(-40.0f);
    float l, r;
    for (int n = 0; n < 100; ++n) {
        c.processStereo(0.9f, 0.9f, l, r);
        ASSERT_EQ(c.getGainReductionMultiplier(), 1.0f);
    }
    c.setRatio(0.0f); // ignored: a ratio of 0 would divide by zero
    c.setRatio(-3.0f);
    c.processStereo(0.9f, 0.9f, l, r);
    EXPECT_EQ(c.getGainReductionMultiplier(), 1.0f);
}

TEST(CompressorGain, LimitsALoudSignalAndFollowsTheLouderChannel) {
    zusp_compressor c;
    engineSettings(c);
    float l = 0.0f, r = 0.0f;
    for (int n = 0; n < 5000; ++n)
        c.processStereo(0.1f, 4.0f, l, r);
    EXPECT_NEAR(r, 1.0f, 0.02f); // 12 dB over the threshold comes out at about 0 dB
    EXPECT_NEAR(l / r, 0.1f / 4.0f, 1e-6f);
    EXPECT_LT(c.getGainReduction(), -11.0f);
}

TEST(CompressorDetector, SilenceReadsMinus100AndReleasesGain) {
    Probe c;
    engineSettings(c);
    c.setThreshold(-50.0f);
    float l, r;
    for (int n = 0; n < 30000; ++n)
        c.processStereo(0.0f, 0.0f, l, r);
    EXPECT_LT(c.envelope(), 1e-5f);
    EXPECT_EQ(c.getGainReduction(), 0.0f);
    EXPECT_EQ(c.getGainReductionMultiplier(), 1.0f);
}

TEST(CompressorDetector, DecaysBeforeItAttacks) {
    Probe c;
    engineSettings(c);
    c.setThreshold(-10.0f);
    c.setRatio(2.0f);
    float l, r;
    c.processStereo(2.0f, 0.0f, l, r);
    // From the cleared envelope 1.0: decay first, then move toward the peak 2.0.
    float env = 1.0f - c.releaseCoefficient() * 1.0f;
    env = env + (2.0f - env) * c.attackCoefficient();
    EXPECT_EQ(c.envelope(), env);
    EXPECT_NEAR(c.getGainReduction(), -0.5f * (20.0f * std::log10(env) + 10.0f), 1e-5f);
    c.clear();
    EXPECT_EQ(c.envelope(), 1.0f);
}

TEST(CompressorMono, ProcessLeavesTheMultiplierAlone) {
    zusp_compressor c;
    float l, r;
    c.processStereo(0.0f, 0.0f, l, r);
    const float m = c.getGainReductionMultiplier();
    const float y = c.process(1.0f);
    EXPECT_EQ(c.getGainReductionMultiplier(), m);
    EXPECT_NEAR(y, std::pow(10.0f, c.getGainReduction() * 0.05f), 1e-6f);
    EXPECT_LT(c.getGainReduction(), -4.0f);
}
