// The block base and the process-wide sampling-rate values.
#include "csdmain.h"
#include "zusp.h"

#include <gtest/gtest.h>

namespace {

struct BlockProbe : zusp_block {
    float reciprocal() const { return mAudioSamplingRateReciprocal; }
    float samplesPerMs() const { return mSamplesPerMillisecond; }
};

// Doubles its input, so processVector can be seen calling process in order.
struct Doubler : zusp_block {
    int calls = 0;
    float process(float in) override {
        ++calls;
        return 2.0f * in + static_cast<float>(calls);
    }
};

// The globals are shared by the whole test program: put them back after each case.
class SamplingRateGlobals : public ::testing::Test {
protected:
    void TearDown() override { csd_set_attr(kCsdAttrSamplingRate, 44100.0f); }
};

} // namespace

TEST_F(SamplingRateGlobals, StartAt44100) {
    EXPECT_EQ(gAudioSamplingRate, 44100.0f);
    EXPECT_EQ(gAudioSamplingRateReciprocal, 1.0f / 44100.0f);
    EXPECT_NEAR(gSamplesPerMillisecond, 44.1f, 1e-5f);
    EXPECT_NEAR(gMillisecondsPerSample, 1000.0f / 44100.0f, 1e-9f);
}

TEST_F(SamplingRateGlobals, SetAndGetTheRateAttribute) {
    csd_set_attr(-100, 48000.0f);
    EXPECT_EQ(gAudioSamplingRate, 48000.0f);
    EXPECT_EQ(gAudioSamplingRateReciprocal, 1.0f / 48000.0f);
    EXPECT_EQ(gSamplesPerMillisecond, 48000.0f * 0.001f);
    EXPECT_EQ(gMillisecondsPerSample, 1000.0f / 48000.0f);
    EXPECT_EQ(csd_get_attr(-100), 48000.0f);
}

TEST_F(SamplingRateGlobals, OtherAttributesAndBadRatesChangeNothing) {
    csd_set_attr(7, 96000.0f);
    EXPECT_EQ(gAudioSamplingRate, 44100.0f);
    EXPECT_EQ(csd_get_attr(7), 0.0f);
    csd_set_attr(-100, 0.0f);
    csd_set_attr(-100, -44100.0f);
    EXPECT_EQ(gAudioSamplingRate, 44100.0f);
    EXPECT_EQ(gMillisecondsPerSample, 1000.0f / 44100.0f);
}

TEST(Block, KeepsItsOwnRateValues) {
    BlockProbe b;
    EXPECT_EQ(b.getAudioSamplingRate(), 44100.0f);
    EXPECT_EQ(b.samplesPerMs(), 44100.0f * 0.001f);
    b.setAudioSamplingRate(96000.0f);
    EXPECT_EQ(b.getAudioSamplingRate(), 96000.0f);
    EXPECT_EQ(b.reciprocal(), 1.0f / 96000.0f);
    EXPECT_EQ(b.samplesPerMs(), 96000.0f * 0.001f);
    // The globals are not the block's business.
    EXPECT_EQ(gAudioSamplingRate, 44100.0f);
    // A rate of zero would make the reciprocal infinite: it is ignored.
    b.setAudioSamplingRate(0.0f);
    EXPECT_EQ(b.getAudioSamplingRate(), 96000.0f);
}

TEST(Block, PassesThroughAndVectorsSampleBySample) {
    zusp_block b;
    EXPECT_EQ(b.process(0.25f), 0.25f);

    Doubler d;
    float in[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float out[4] = {};
    d.processVector(in, out, 4);
    EXPECT_EQ(out[0], 3.0f);
    EXPECT_EQ(out[1], 6.0f);
    EXPECT_EQ(out[2], 9.0f);
    EXPECT_EQ(out[3], 12.0f);
    d.processVector(in, out, 0);
    EXPECT_EQ(d.calls, 4);
}
