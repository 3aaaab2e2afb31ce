// The output compressor: the gain computer's named values, the static curve with
// its stereo link, and the release time.
#include "zusp_dynamics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Settings {
    float inDb, threshold, attack, release, ratio, outDb;
};

void apply(zusp_compressor& c, const Settings& s) {
    c.setInputGain(s.inDb);
    c.setThreshold(s.threshold);
    c.setAttack(s.attack);
    c.setRelease(s.release);
    c.setRatio(s.ratio);
    c.setOutputGain(s.outDb);
}

} // namespace

TEST(Compressor, NamedGainReductions) {
    zusp_compressor c; // threshold -10 dB, ratio 2, detector at 0 dB
    float l, r;
    c.processStereo(1.0f, 0.5f, l, r);
    EXPECT_NEAR(c.getGainReduction(), -5.0f, 1e-4f);
    EXPECT_NEAR(l, 0.5623413f, 1e-5f);
    EXPECT_NEAR(r, 0.5f * 0.5623413f, 1e-5f); // both channels get the same gain

    c.setRatio(0.0f); // ignored: a ratio of 0 would divide by zero
    c.setRatio(-3.0f);
    c.setAttack(0.0f); // times of 0 or less follow at once
    c.setRelease(-1.0f);
    c.processStereo(1.0f, 0.5f, l, r);
    EXPECT_TRUE(std::isfinite(l) && c.getGainReduction() < 0.0f);
}

// The static curve, held long enough for the detector to settle on a constant level: below the
// threshold only the gains apply, above it the output rises 1/R dB per input dB; a threshold
// set after construction counts at once. The block form gives the one-sample form's bits, on
// the settling level, on noise and through silence.
TEST(Compressor, SteadyGainReductionFollowsThresholdAndRatio) {
    struct Case {
        float inDb, threshold, ratio, outDb, amplitude;
    };
    const Case cases[] = {{0, -20, 4, 0, 0.5f}, {6, -20, 2, -3, 0.25f}, {0, -40, 2, 0, 0.0316f},
                          {0, -10, 1, 0, 1.0f}, {-12, -5, 8, 6, 0.9f},  {0, 0, 1000, 0, 2.0f}};
    for (const Case& s : cases) {
        zusp_compressor c, blocks;
        apply(c, {s.inDb, s.threshold, 0.0005f, 0.01f, s.ratio, s.outDb});
        apply(blocks, {s.inDb, s.threshold, 0.0005f, 0.01f, s.ratio, s.outDb});
        float l = 0.0f, r = 0.0f;
        std::vector<float> in[2], out[2];
        for (int n = 0; n < 40000; ++n) {        // block form: 100 ms of noise, then the signal
            if (n == 20000) c.setRelease(10.0f); // down from 0 dB quickly, then hold the peak
            const float noise = float((n * 7919) % 2003) / 1001.0f - 1.0f;
            in[0].push_back(n < 4410 ? s.amplitude * noise : -0.5f * s.amplitude);
            in[1].push_back(n < 4410 ? s.amplitude * noise * noise : s.amplitude);
            c.processStereo(-0.5f * s.amplitude, s.amplitude, l, r);
        }
        zusp_compressor one = blocks;
        out[0].resize(in[0].size());
        out[1].resize(in[0].size());
        for (size_t n = 0; n < in[0].size(); n += 777)
            blocks.processStereo(&in[0][n], &in[1][n], &out[0][n], &out[1][n],
                                 int(std::min<size_t>(777, in[0].size() - n)), 0.5f);
        for (size_t n = 0; n < in[0].size(); ++n) {
            float ol, or_;
            one.processStereo(in[0][n], in[1][n], ol, or_);
            ASSERT_EQ(0.5f * ol, out[0][n]) << n;
            ASSERT_EQ(0.5f * or_, out[1][n]) << n;
        }
        EXPECT_EQ(blocks.getGainReductionMultiplier(), one.getGainReductionMultiplier());
        // Silence as one step per block: the same zeros, and the detector where the one-sample
        // form leaves it (the signal after it comes out the same).
        for (int n = 0; n < 3 * 777; n += 777) {
            blocks.processSilence(&out[0][0], &out[1][0], 777, 0.5f);
            for (int i = 0; i < 777; ++i) {
                float ol, or_;
                one.processStereo(0.0f, 0.0f, ol, or_);
                ASSERT_EQ(0.5f * ol, out[0][i]) << n + i;
                ASSERT_EQ(0.5f * or_, out[1][i]) << n + i;
            }
            ASSERT_EQ(blocks.getGainReduction(), one.getGainReduction()) << n;
        }
        blocks.processStereo(&in[0][0], &in[1][0], &out[0][0], &out[1][0], 4410, 0.5f);
        for (int n = 0; n < 4410; ++n) {
            float ol, or_;
            one.processStereo(in[0][n], in[1][n], ol, or_);
            ASSERT_EQ(0.5f * ol, out[0][n]) << n;
        }
        const float level = 20.0f * std::log10(s.amplitude) + s.inDb;
        const float reduction =
            level > s.threshold ? (1.0f / s.ratio - 1.0f) * (level - s.threshold) : 0.0f;
        SCOPED_TRACE(testing::Message() << "threshold " << s.threshold << " level " << level);
        EXPECT_NEAR(c.getGainReduction(), reduction, 0.01f);
        EXPECT_NEAR(20.0f * std::log10(r), level + reduction + s.outDb, 0.01f);
        EXPECT_FLOAT_EQ(l, -0.5f * r); // the louder channel drives both
    }
}

// After a loud burst the reduction ends when the level has fallen to the threshold: 40 dB at
// 8.69 dB per time constant of 0.1 s is 460.5 ms, at either rate (set after the times).
TEST(Compressor, ReleaseTimeInMillisecondsAtTwoRates) {
    float l, r;
    for (float rate : {44100.0f, 88200.0f}) {
        zusp_compressor c;
        apply(c, {0, -40, 0, 0.1f, 2, 0});
        c.setAudioSamplingRate(rate);
        for (int n = 0; n < 100; ++n)
            c.processStereo(1.0f, 1.0f, l, r);
        int n = 0;
        for (; n < int(rate) && c.getGainReduction() < 0.0f; ++n)
            c.processStereo(0.0f, 0.0f, l, r);
        EXPECT_NEAR(1000.0f * float(n) / rate, 460.5f, 1.0f) << rate;
    }
    zusp_compressor c;
    c.processStereo(0.0f, 0.0f, l, r);
    c.clear(); // the detector restarts at 0 dB: -5 dB again at threshold -10, ratio 2
    c.processStereo(0.0f, 0.0f, l, r);
    EXPECT_NEAR(c.getGainReduction(), -5.0f, 1e-3f);
}
