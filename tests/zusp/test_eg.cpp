// The block base's sampling rate and the envelopes: segment stepping, curvature, the
// retrigger glide, one-sample segments, rate changes and the four-stage form.
#include "zusp.h"
#include "zusp_eg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct ArProbe : zusp_eg_breakpoint_ar {
    int64_t samples(int i) const { return mPoints[i].samples; }
};

std::vector<float> run(zusp_eg_breakpoint& eg, int n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i)
        v.push_back(eg.process(0.0f));
    return v;
}

// An AR envelope's value at one sample of its release (after a 1 ms attack).
float releaseAt(float curvature, int sample) {
    zusp_eg_breakpoint_ar eg;
    eg.setReleaseTime(100.0f); // 4410 samples; 441 are 10 %
    eg.setReleaseCurvature(curvature);
    eg.begin();
    return run(eg, 44 + sample + 1).back();
}

} // namespace

TEST(SamplingRate, BlocksIgnoreUnusableRates) {
    zusp_block b;
    b.setAudioSamplingRate(96000.0f);
    for (float bad : {0.0f, -44100.0f, NAN, INFINITY}) // would make the reciprocal infinite
        b.setAudioSamplingRate(bad);
    EXPECT_EQ(b.getAudioSamplingRate(), 96000.0f);
}

TEST(EnvelopeAr, FreshIsSilentAndAttackRampsInSteps) {
    ArProbe eg;
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(eg.process(0.0f), 0.0f);
    EXPECT_EQ(eg.samples(1), 44); // 1 ms at 44.1 samples per ms
    eg.setReleaseTime(10.0f);     // 441 samples
    eg.begin();
    EXPECT_TRUE(eg.isActive());
    const auto v = run(eg, 44 + 441 + 1);
    for (int k = 0; k < 44; ++k)
        EXPECT_NEAR(v[k], k / 44.0f, 1e-6f) << k;
    EXPECT_EQ(v[44], 1.0f);
    EXPECT_GT(v[44 + 440], 0.0f);
    EXPECT_EQ(v[44 + 441], 0.0f);
    EXPECT_TRUE(eg.isDone());
}

TEST(EnvelopeAr, RetriggerGlidesToZeroBeforeTheAttack) {
    zusp_eg_breakpoint_ar eg;
    eg.setAttackTime(2.0f);   // above 1 ms: starts with the glide
    eg.setReleaseTime(0.12f); // 5 samples: 1.0, 0.8, ...
    eg.begin();
    const auto first = run(eg, 5 + 88 + 2);
    EXPECT_EQ(first[4], 0.0f); // gliding from 0 to 0
    EXPECT_NEAR(first[5 + 44], 0.5f, 1e-6f);
    EXPECT_EQ(first[5 + 88], 1.0f);
    ASSERT_NEAR(first.back(), 0.8f, 1e-6f);

    eg.begin();
    const auto v = run(eg, 7);
    const float expected[] = {0.8f, 0.64f, 0.48f, 0.32f, 0.16f, 0.0f, 1.0f / 88.0f};
    for (int k = 0; k < 7; ++k)
        EXPECT_NEAR(v[k], expected[k], 1e-6f) << k;
}

// skip(n) lands where n values would have: the same next values, the same glide on a retrigger.
TEST(EnvelopeAr, SkippingMovesOnAsProcessingDoes) {
    for (bool exact : {false, true}) {
        zusp_eg_breakpoint_ar skipped, played;
        for (zusp_eg_breakpoint_ar* eg : {&skipped, &played}) {
            eg->setExactCurves(exact);
            eg->setAttackTime(2.0f);
            eg->setReleaseTime(20.0f);
            eg->setReleaseCurvature(-0.5f);
            eg->begin();
        }
        for (int n : {1, 7, 64, 300, 1}) {
            skipped.skip(n);
            run(played, n);
            ASSERT_EQ(skipped.process(0.0f), played.process(0.0f)) << n;
        }
        skipped.skip(150); // into the release, then struck again: both glide from one value
        run(played, 150);
        skipped.begin();
        played.begin();
        EXPECT_EQ(run(skipped, 8), run(played, 8));
        skipped.skip(5000);
        EXPECT_TRUE(skipped.isDone());
    }
}

// Kept shapes give the values worked out without them: through changes of every setting between
// strikes, in a memory large enough for all or too small, and worked out ahead in mid-run.
TEST(EnvelopeShapeMemory, KeptShapesGiveTheValuesWorkedOut) {
    using Change = void (*)(zusp_eg_breakpoint_ar&);
    const Change changes[] = {
        [](zusp_eg_breakpoint_ar&) {},                                   // read back
        [](zusp_eg_breakpoint_ar& e) { e.setAttackTime(30.0f); },        // into the release's room
        [](zusp_eg_breakpoint_ar& e) { e.setAttackCurvature(0.8f); },    // another power
        [](zusp_eg_breakpoint_ar& e) { e.setReleaseCurvature(0.4f); },   // the other way
        [](zusp_eg_breakpoint_ar& e) { e.setBreakpointLevel(2, 1.5f); }, // the release rises
        [](zusp_eg_breakpoint_ar& e) { e.setReleaseTime(20.0f); },       // another length
    };
    for (bool exact : {false, true}) {
        for (int memory : {4096, 700}) {
            zusp_eg_breakpoint_ar kept, plain;
            kept.setShapeMemory(memory);
            for (zusp_eg_breakpoint_ar* e : {&kept, &plain}) {
                e->setExactCurves(exact);
                e->setAttackTime(10.0f);
                e->setAttackCurvature(0.5f);
                e->setReleaseTime(50.0f);
                e->setReleaseCurvature(-0.7f);
            }
            kept.prepareShapes();
            std::vector<float> a(3000), b(3000);
            const auto compare = [&](int n, int at) {
                kept.process(a.data(), n);
                plain.process(b.data(), n);
                ASSERT_EQ(a, b) << exact << " " << memory << " " << at;
            };
            int at = 0;
            for (Change change : changes) {
                change(kept);
                change(plain);
                kept.begin();
                plain.begin();
                for (int n : {37, 64, 1500, 1, 2000})
                    compare(n, at++);
            }
            kept.begin();
            plain.begin();
            compare(100, at++);
            kept.prepareShapes();
            compare(3000, at++);
        }
    }
}

TEST(EnvelopeCurvature, ShapesOfAttackAndRelease) {
    EXPECT_NEAR(releaseAt(0.0f, 441), 0.9f, 1e-5f);
    EXPECT_NEAR(releaseAt(-1.0f, 441), std::pow(0.9, 10.0), 1e-5);       // about 0.349: drops fast
    EXPECT_NEAR(releaseAt(1.0f, 2205), 1.0 - std::pow(0.5, 10.0), 1e-5); // above 0.99: holds
    EXPECT_NEAR(releaseAt(-0.5f, 2205), std::pow(0.5, std::sqrt(10.0)), 1e-5);
    EXPECT_NEAR(releaseAt(2.0f, 3969), 1.0 - std::pow(0.9, 100.0), 1e-5);

    zusp_eg_breakpoint_ar eg;
    for (float c : {1.0f, -1.0f, 0.5f}) { // positive curvature makes the attack rise fast
        eg.setAttackCurvature(c);
        eg.begin();
        const double x = std::pow(0.5, std::pow(10.0, std::fabs(c)));
        EXPECT_NEAR(run(eg, 23).back(), c > 0 ? 1.0 - x : x, 1e-5) << c;
    }
}

TEST(EnvelopeBreakpoints, OneSampleSegmentsPointZeroAndBadIndices) {
    ArProbe eg;
    for (float t : {0.0f, -30.0f, NAN, 0.02f}) { // times of 0 or less give one sample
        eg.setReleaseTime(t);
        EXPECT_EQ(eg.samples(2), 1) << t;
    }
    for (int i : {-2, 3, 100}) {
        eg.setBreakpointTime(i, 50.0f);
        eg.setBreakpointLevel(i, 9.0f);
    }
    eg.setAttackTime(0.0f);
    eg.begin();
    EXPECT_EQ(run(eg, 3), (std::vector<float>{0.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(eg.isDone());
}

TEST(EnvelopeBreakpoints, LongListAndEndHoldsTheLastLevel) {
    zusp_eg_breakpoint eg;
    eg.setBreakpointTime(1, 0.05f); // 2 samples; a 1 ms or shorter first segment starts at once
    eg.setBreakpointLevel(1, 1.0f);
    EXPECT_EQ(eg.addBreakpoint(0.5f, 0.1f), 2); // 4 samples
    EXPECT_EQ(eg.addBreakpoint(0.25f, 0.05f), 3);
    const float expected[] = {0.0f, 0.5f, 1.0f, 0.875f, 0.75f, 0.625f, 0.5f, 0.375f, 0.25f, 0.25f};
    eg.begin();
    for (int k = 0; k < 10; ++k)
        EXPECT_NEAR(eg.process(0), expected[k], 1e-6f) << k;
    EXPECT_TRUE(eg.isDone());
    eg.begin();
    run(eg, 3);
    eg.end();
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(eg.process(0.0f), 0.25f);
}

TEST(EnvelopeRate, RateChangeRecomputesLengthsAlsoOfTheRunningSegment) {
    ArProbe eg;
    eg.setReleaseTime(10.0f);
    eg.setAudioSamplingRate(48000.0f);
    EXPECT_EQ(eg.samples(0), 240);
    EXPECT_EQ(eg.samples(1), 48);
    EXPECT_EQ(eg.samples(2), 480);
    eg.setAudioSamplingRate(44100.0f);
    eg.begin();
    run(eg, 400); // 44 attack samples, then 356 of the 441-sample release
    eg.setAudioSamplingRate(48000.0f);
    int more = 0;
    for (; !eg.isDone() && more < 5000; ++more)
        eg.process(0.0f);
    EXPECT_EQ(more, 480 - 356);

    // A segment shortened below its counter holds its output once, then moves on.
    eg.begin();
    const float held = run(eg, 48 + 300).back();
    eg.setReleaseTime(1.0f);
    EXPECT_EQ(eg.process(0.0f), held);
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(eg.process(0.0f), 0.0f);
}

TEST(EnvelopeAdsr, HoldsAtSustainUntilRelease) {
    zusp_eg_adsr eg;
    eg.setAttackTime(1.0f); // 44 samples, no glide
    eg.setDecayTime(2.0f);  // 88 samples
    eg.setSustainLevel(0.5f);
    eg.setReleaseTime(1.0f); // 44 samples
    eg.begin();
    std::vector<float> v;
    for (int i = 0; i < 44 + 88 + 500; ++i)
        v.push_back(eg.process());
    for (size_t i = 44 + 88; i < v.size(); ++i)
        ASSERT_EQ(v[i], 0.5f) << i;
    eg.release();
    for (int k = 0; k < 44; ++k)
        EXPECT_NEAR(eg.process(), 0.5f * (1.0f - k / 44.0f), 1e-6f) << k;
    EXPECT_TRUE(eg.isDone());
}
