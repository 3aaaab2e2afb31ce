// Envelopes: segment stepping, curvature, the retrigger glide, rate changes and the four-stage
// form.
#include "zusp_eg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct ArProbe : zusp_eg_breakpoint_ar {
    const _bp& point(int i) const { return mPoints[i]; }
    int segment() const { return mSegment; }
};

std::vector<float> run(zusp_eg_breakpoint& eg, int n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i)
        v.push_back(eg.process(0.0f));
    return v;
}

} // namespace

TEST(EnvelopeAr, FreshEnvelopeIsSilentAndDone) {
    zusp_eg_breakpoint_ar eg;
    EXPECT_TRUE(eg.isDone());
    EXPECT_FALSE(eg.isActive());
    EXPECT_EQ(eg.process(0.0f), 0.0f);
    EXPECT_EQ(eg.process(0.0f), 0.0f);
    EXPECT_EQ(eg.getBreakpointCount(), 3);
}

TEST(EnvelopeAr, ShortAttackRampsInSteps) {
    ArProbe eg;
    EXPECT_EQ(eg.point(1).samples, 44); // 1 ms at 44.1 samples per ms
    eg.begin();
    EXPECT_TRUE(eg.isActive());
    const auto v = run(eg, 46);
    EXPECT_EQ(v[0], 0.0f);
    for (int k = 0; k < 44; ++k)
        EXPECT_NEAR(v[k], k / 44.0f, 1e-6f) << k;
    EXPECT_EQ(v[44], 1.0f);
    EXPECT_LT(v[45], 1.0f);
}

TEST(EnvelopeAr, ReleaseEndsFinishedAtZero) {
    ArProbe eg;
    eg.setReleaseTime(10.0f); // 441 samples
    eg.begin();
    const auto v = run(eg, 44 + 441);
    EXPECT_NEAR(v[44 + 220], 1.0f - 220.0f / 441.0f, 1e-5f);
    EXPECT_GT(v.back(), 0.0f);
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(eg.process(0.0f), 0.0f);
}

TEST(EnvelopeAr, RetriggerGlidesToZeroBeforeTheAttack) {
    zusp_eg_breakpoint_ar eg;
    eg.setAttackTime(2.0f);   // above 1 ms: starts with the glide
    eg.setReleaseTime(0.12f); // 5 samples: 1.0, 0.8, ...
    eg.begin();
    const auto first = run(eg, 5 + 88 + 2);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(first[k], 0.0f); // gliding from 0 to 0
    EXPECT_NEAR(first[5 + 44], 0.5f, 1e-6f);
    EXPECT_EQ(first[5 + 88], 1.0f);
    ASSERT_NEAR(first.back(), 0.8f, 1e-6f);

    eg.begin();
    const auto v = run(eg, 7);
    const float expected[] = {0.8f, 0.64f, 0.48f, 0.32f, 0.16f, 0.0f};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(v[k], expected[k], 1e-6f) << k;
    EXPECT_NEAR(v[6], 1.0f / 88.0f, 1e-6f);
}

TEST(EnvelopeCurvature, ShapesOfTheRelease) {
    // 100 ms = 4410 samples; 441 samples are 10 %.
    auto releaseAt = [](float curvature, int sample) {
        zusp_eg_breakpoint_ar eg;
        eg.setReleaseTime(100.0f);
        eg.setReleaseCurvature(curvature);
        eg.begin();
        return run(eg, 44 + sample + 1).back();
    };
    EXPECT_NEAR(releaseAt(0.0f, 441), 0.9f, 1e-5f);
    EXPECT_NEAR(releaseAt(-1.0f, 441), std::pow(0.9, 10.0), 1e-5); // drops fast
    EXPECT_NEAR(releaseAt(-1.0f, 441), 0.349f, 1e-3f);
    EXPECT_GT(releaseAt(1.0f, 2205), 0.99f); // holds, then drops
    EXPECT_NEAR(releaseAt(1.0f, 2205), 1.0 - std::pow(0.5, 10.0), 1e-5);
    EXPECT_NEAR(releaseAt(-0.5f, 2205), std::pow(0.5, std::sqrt(10.0)), 1e-5);
}

TEST(EnvelopeCurvature, PositiveCurvatureMakesTheAttackRiseFast) {
    zusp_eg_breakpoint_ar eg;
    eg.setAttackTime(1.0f);
    eg.setAttackCurvature(1.0f);
    eg.begin();
    const auto v = run(eg, 44);
    EXPECT_NEAR(v[22], 1.0 - std::pow(0.5, 10.0), 1e-5);
    eg.setAttackCurvature(-1.0f);
    eg.begin();
    const auto w = run(eg, 44);
    EXPECT_NEAR(w[22], std::pow(0.5, 10.0), 1e-6);
}

TEST(EnvelopeCurvature, TakesEffectWhenTheSegmentNextStarts) {
    zusp_eg_breakpoint_ar eg;
    eg.setReleaseTime(10.0f);
    eg.begin();
    run(eg, 44 + 100);
    eg.setReleaseCurvature(-1.0f); // the running release stays straight
    EXPECT_NEAR(eg.process(0.0f), 1.0f - 100.0f / 441.0f, 1e-5f);
}

TEST(EnvelopeBreakpoints, TimesOfZeroOrLessGiveOneSample) {
    ArProbe eg;
    eg.setReleaseTime(0.0f);
    EXPECT_EQ(eg.point(2).samples, 1);
    eg.setReleaseTime(-30.0f);
    EXPECT_EQ(eg.point(2).samples, 1);
    eg.setAttackTime(0.0f);
    eg.begin();
    const auto v = run(eg, 3);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[1], 1.0f);
    EXPECT_EQ(v[2], 0.0f);
    EXPECT_TRUE(eg.isDone());
}

TEST(EnvelopeBreakpoints, PointZeroTimeAndBadIndicesAreIgnored) {
    ArProbe eg;
    eg.setBreakpointTime(0, 50.0f);
    EXPECT_EQ(eg.point(0).time, 5.0f);
    eg.setBreakpointTime(3, 50.0f);
    eg.setBreakpointTime(-2, 50.0f);
    eg.setBreakpointLevel(3, 9.0f);
    eg.setBreakpointLevel(-1, 9.0f);
    eg.setBreakpointCurvature(12, 1.0f);
    eg.setBreakpointCurvature(-1, 1.0f);
    eg.recalculateBreakpoint(100);
    eg.insertBreakpoint(1, 0.5f, 10.0f);
    eg.deleteBreakpoint(1);
    EXPECT_EQ(eg.getBreakpointCount(), 3);
    EXPECT_EQ(eg.point(1).level, 1.0f);
    EXPECT_EQ(eg.point(2).time, 250.0f);
    EXPECT_EQ(eg.point(1).curvature, 0.0f);
}

TEST(EnvelopeBreakpoints, LongListRunsEverySegmentAndEndsAtTheLastLevel) {
    zusp_eg_breakpoint eg;
    eg.setBreakpointTime(1, 0.05f); // 2 samples; a 1 ms or shorter first segment starts at once
    eg.setBreakpointLevel(1, 1.0f);
    EXPECT_EQ(eg.addBreakpoint(0.5f, 0.1f), 2); // 4 samples
    EXPECT_EQ(eg.addBreakpoint(0.25f, 0.05f), 3);
    eg.begin();
    const auto v = run(eg, 12);
    const float expected[] = {0.0f, 0.5f, 1.0f, 0.875f, 0.75f, 0.625f, 0.5f, 0.375f, 0.25f};
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(v[k], expected[k], 1e-6f) << k;
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(v[11], 0.25f);
}

TEST(EnvelopeBreakpoints, EndHoldsTheLastLevel) {
    zusp_eg_breakpoint eg;
    eg.setBreakpointLevel(1, 0.7f);
    eg.begin();
    run(eg, 10);
    eg.end();
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(eg.process(0.0f), 0.7f);
}

TEST(EnvelopeBreakpoints, LinearVariantSteps) {
    zusp_eg_breakpoint_ar eg;
    eg.setReleaseTime(1.0f); // 44 samples
    eg.begin_linear();
    std::vector<float> v;
    for (int i = 0; i < 90; ++i)
        v.push_back(eg.process_linear(0.0f));
    for (int k = 0; k < 44; ++k)
        EXPECT_NEAR(v[k], k * (1.0f / 44.0f), 1e-6f);
    EXPECT_EQ(v[44], 1.0f);
    EXPECT_NEAR(v[44 + 11], 0.75f, 1e-6f);
    EXPECT_EQ(v[89], 0.0f);
    EXPECT_TRUE(eg.isDone());
}

TEST(EnvelopeRate, RateChangeRecomputesLengths) {
    ArProbe eg;
    eg.setAudioSamplingRate(48000.0f);
    EXPECT_EQ(eg.point(1).samples, 48);
    EXPECT_EQ(eg.point(2).samples, 12000);
    EXPECT_EQ(eg.point(0).samples, 240);
}

TEST(EnvelopeRate, RunningSegmentTakesItsNewLength) {
    ArProbe eg;
    eg.setAttackTime(1.0f);
    eg.setReleaseTime(10.0f);
    eg.begin();
    run(eg, 400);                      // 44 attack samples, then 356 of the 441-sample release
    eg.setAudioSamplingRate(48000.0f); // the release now lasts 480 samples
    int more = 0;
    while (!eg.isDone() && more < 5000) {
        eg.process(0.0f);
        ++more;
    }
    EXPECT_EQ(more, 480 - 356);
}

TEST(EnvelopeRate, ShortenedSegmentHoldsThenMovesOn) {
    ArProbe eg;
    eg.setReleaseTime(10.0f);
    eg.begin();
    const float held = run(eg, 44 + 300).back();
    eg.setReleaseTime(1.0f); // 44 samples, while the counter stands at 300
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
    EXPECT_EQ(v[44], 1.0f);
    EXPECT_NEAR(v[44 + 44], 0.75f, 1e-6f);
    for (size_t i = 44 + 88; i < v.size(); ++i)
        ASSERT_EQ(v[i], 0.5f) << i;
    EXPECT_FALSE(eg.isDone());

    eg.setSustainLevel(0.9f); // does not move a held output
    EXPECT_EQ(eg.process(), 0.5f);

    eg.release();
    for (int k = 0; k < 44; ++k)
        EXPECT_NEAR(eg.process(), 0.5f * (1.0f - k / 44.0f), 1e-6f) << k;
    EXPECT_TRUE(eg.isDone());
    EXPECT_EQ(eg.process(), 0.0f);
}

TEST(EnvelopeAdsr, ReleaseDuringAttackStartsFromTheCurrentOutput) {
    zusp_eg_adsr eg;
    eg.setAttackTime(1.0f);
    eg.setReleaseTime(1.0f);
    eg.begin();
    for (int i = 0; i < 22; ++i)
        eg.process();
    eg.release();
    EXPECT_NEAR(eg.process(), 21.0f / 44.0f, 1e-6f);
}

TEST(EnvelopeAdsr, InheritedProcessDoesNotHoldAndVectorMultiplies) {
    zusp_eg_adsr eg;
    eg.setAttackTime(1.0f);
    eg.setDecayTime(1.0f);
    eg.setSustainLevel(0.5f);
    eg.setReleaseTime(1.0f);
    eg.begin();
    float last = 1.0f;
    for (int i = 0; i < 200; ++i)
        last = eg.process(0.0f);
    EXPECT_EQ(last, 0.0f);
    EXPECT_TRUE(eg.isDone());

    eg.begin();
    float in[50], out[50], plain[50];
    for (int i = 0; i < 50; ++i)
        in[i] = 2.0f;
    eg.processVector(in, out, 50);
    eg.begin();
    eg.processVector(nullptr, plain, 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(out[i], 2.0f * plain[i]);
    EXPECT_EQ(plain[44], 1.0f);
}
