// Table oscillators: increments, waveshape tables at pinned entries, reading, wrapping and table
// switching.
#include "zusp_oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>
#include <vector>

namespace {

template <class Base>
struct Probe : Base {
    using Base::Base;
    float* table() const { return this->mTable; }
    float increment() const { return this->mIncrement; }
    float phase() const { return this->mPhase; }
    float sizeOverRate() const { return this->mSizeOverRate; }
};

using Wavetable = Probe<zusp_oscillator_wavetable>;
using Resizeable = Probe<zusp_oscillator_wavetable_resizeable>;
using Multi = Probe<zusp_oscillator_wavetable_multi>;

// A table whose entries count up from first.
std::vector<float> ramp(int n, float first = 0.0f) {
    std::vector<float> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

} // namespace

TEST(OscillatorWavetable, IncrementsReadingRateAndPitch) {
    Wavetable osc(4096);
    EXPECT_NEAR(osc.increment(), 4096.0 * 440.0 / 44100.0, 1e-4); // about 40.867
    // Linear interpolation of a 4096-entry sine is close to the true sine.
    for (int n = 1; n < 200; ++n)
        ASSERT_NEAR(osc.process(), std::sin(2.0 * M_PI * 440.0 * n / 44100.0), 2e-4) << n;

    osc.setFrequency(1000.0f);
    osc.setAudioSamplingRate(48000.0f);
    EXPECT_NEAR(osc.increment(), 4096.0 * 1000.0 / 48000.0, 1e-3);
    EXPECT_NEAR(osc.sizeOverRate(), 4096.0 / 48000.0, 1e-7);
    osc.setMIDIPitch(81.0f);
    EXPECT_NEAR(osc.getFrequency(), 880.0f, 1e-3f);
}

// Each form's entries at an eighth and a sixteenth of the cycle (sums of float terms, lowest
// harmonic first; the voices' tables are held to their models in test_voice_models.cpp).
TEST(OscillatorWaveshape, FormsAtPinnedEntriesAndAdditiveTables) {
    // shape, width, harmonics, entry N/8, entry N/16
    const std::tuple<int, float, int, float, float> shapes[] = {
        {4, 0.0f, 16, 1.103594f, 1.223852f},
        {5, 41.0f, 18, 0.6233943f, 0.2552521f},
        {6, 0.0f, 16, 0.750206f, 0.5105743f},
        {7, 0.0f, 0, 0.7856742f, 0.4853367f},
        {8, 0.0f, 0, 0.7330322f, 0.4519469f}};
    for (auto [shape, width, harmonics, eighth, sixteenth] : shapes) {
        Wavetable osc(1024);
        osc.setWaveshape(shape, width, harmonics);
        EXPECT_NEAR(osc.table()[128], eighth, 1e-6f) << shape;
        EXPECT_NEAR(osc.table()[64], sixteenth, 1e-6f) << shape;
    }
    Wavetable osc(4096);
    osc.setWaveshape(5, 50.0f, 16);
    EXPECT_NEAR(osc.table()[1024], 2.0218004f, 1e-5f); // 1 + 1/3 + ... + 1/15
    const float* before = osc.table();
    for (int shape : {1, 2, 3, 9, 42, -1}) // unknown shapes keep the table
        osc.setWaveshape(shape, 50.0f, 16);
    EXPECT_EQ(osc.table(), before);

    // Equal shapes play one shared table; filling one oscillator's table leaves the others'.
    Wavetable other(4096);
    other.setWaveshape(5, 50.0f, 16);
    EXPECT_EQ(other.table(), before);
    auto r = ramp(4096);
    other.fillWavetable(r.data());
    EXPECT_EQ(other.table()[1024], 1024.0f);
    EXPECT_NEAR(osc.table()[1024], 2.0218004f, 1e-5f);

    float amplitudes[] = {1.0f, 0.5f}; // additive: a sum of sines
    osc.buildAdditiveWavetable(2, amplitudes);
    for (int i : {512, 1200})
        EXPECT_NEAR(osc.table()[i], std::sin(i * M_PI / 2048) + 0.5 * std::sin(i * M_PI / 1024),
                    1e-6);
    osc.buildAdditiveWavetable(0, amplitudes);
    EXPECT_EQ(osc.table()[512], 0.0f);
}

TEST(OscillatorReading, InterpolatesAndTheMaskWraps) {
    Wavetable osc(256);
    auto r = ramp(256);
    osc.fillWavetable(r.data());
    osc.setFrequency(37.3f);
    osc.resetPhase(10.0f);
    EXPECT_NEAR(osc.process(), 10.0f + osc.increment(), 1e-3f);
    osc.resetPhase(255.5f - osc.increment());
    EXPECT_NEAR(osc.process(), 0.5f * 255.0f + 0.5f * 0.0f, 2e-3f); // reads 255 and 0
    osc.resetPhase(0.0f); // a step beyond two cycles wraps by the mask: 712.5 is 200.5
    EXPECT_NEAR(osc.process(712.5f / osc.increment(), 0.0f), 200.5f, 1e-2f);
    for (int n = 0; n < 10000; ++n) {
        osc.process(5000.0f);
        ASSERT_GE(osc.phase(), 0.0f);
        ASSERT_LT(osc.phase(), 256.0f);
    }
}

TEST(OscillatorReading, ResizeableWrapsAnyLengthAndStaysInside) {
    Resizeable osc(4096);
    osc.setTableSize(891);
    auto r = ramp(891, 1.0f); // no zero entry: a read past the end cannot pass for the first
    osc.fillWavetable(r.data());
    osc.setAudioSamplingRate(891.0f);
    osc.setFrequency(1.0f); // one entry per sample
    osc.resetPhase(889.5f);
    EXPECT_NEAR(osc.process(), 0.5f * 891.0f + 0.5f * 1.0f, 1e-3f); // reads the last and first
    EXPECT_NEAR(osc.process(0.0f), 1.5f, 1e-3f);                    // wrapped once
    for (int n = 0; n < 1000; ++n) {
        ASSERT_TRUE(std::isfinite(osc.process(1.0e6f)));
        ASSERT_GE(osc.phase(), 0.0f);
        ASSERT_LT(osc.phase(), 891.0f);
    }
    osc.resetPhase(-40.0f);
    EXPECT_GE(osc.phase(), 0.0f);
    EXPECT_TRUE(std::isfinite(osc.process()));
}

TEST(OscillatorReading, BadSizesAndPointersAreIgnored) {
    Wavetable osc(4096);
    for (int size : {0, -5})
        osc.setWavetableSize(size);
    osc.setWavetablePtr(nullptr);
    osc.fillWavetable(nullptr);
    EXPECT_EQ(osc.getWavetableSize(), 4096);
    EXPECT_EQ(osc.table()[1024], 1.0f);
    std::vector<float> own(4096, 0.25f);
    osc.setWavetablePtr(own.data());
    EXPECT_EQ(osc.process(), 0.25f);
    osc.setWaveshape(0, 0.0f, 16); // a table built here replaces the caller's, untouched
    EXPECT_EQ(own[1024], 0.25f);
}

TEST(OscillatorMulti, SwitchingTablesKeepsFrequencyAndSlots) {
    Multi osc(2, 4096);
    osc.setTableSize(891);
    auto r = ramp(891);
    osc.fillWavetable(r.data());
    osc.setCurrentTable(1);
    osc.setWaveshape(0, 0.0f);
    osc.setFrequency(100.0f);
    for (int n = 0; n < 1000; ++n)
        osc.process();
    osc.setCurrentTable(0);
    EXPECT_EQ(osc.getWavetableSize(), 891);
    EXPECT_NEAR(osc.increment(), 891.0 * 100.0 / 44100.0, 1e-4);
    EXPECT_NEAR(osc.sizeOverRate(), 891.0 / 44100.0, 1e-7);
    EXPECT_LT(osc.phase(), 891.0f);
    EXPECT_EQ(osc.table()[890], 890.0f); // the kick cycle is still there
    osc.setCurrentTable(1);
    EXPECT_EQ(osc.getWavetableSize(), 4096);
    EXPECT_EQ(osc.table()[1024], 1.0f); // the sine was stored in its slot

    osc.resetPhase(3000.0f); // beyond table 0: restarts
    osc.setCurrentTable(0);
    EXPECT_EQ(osc.phase(), 0.0f);
    osc.resetPhase(50.0f); // inside the new table: kept
    osc.setCurrentTable(1);
    EXPECT_EQ(osc.phase(), 50.0f);
    osc.setCurrentTable(2);
    osc.setCurrentTable(-1);
    EXPECT_EQ(osc.getCurrentTable(), 1);

    Multi none(0, 512); // without tables it keeps playing its own sine
    EXPECT_EQ(none.getWavetableSize(), 4096);
    EXPECT_TRUE(std::isfinite(none.process()));
}
