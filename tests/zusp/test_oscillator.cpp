// Table oscillators: increments, waveshape tables, reading, wrapping and table switching.
#include "zusp_oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
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

std::vector<float> ramp(int n) {
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<float>(i);
    return v;
}

} // namespace

TEST(OscillatorWavetable, StartsAsA440SineTable) {
    Wavetable osc(4096);
    EXPECT_EQ(osc.getWavetableSize(), 4096);
    EXPECT_EQ(osc.getFrequency(), 440.0f);
    EXPECT_NEAR(osc.increment(), 4096.0 * 440.0 / 44100.0, 1e-4);
    EXPECT_NEAR(osc.sizeOverRate(), 4096.0 / 44100.0, 1e-7);
    EXPECT_EQ(osc.table()[0], 0.0f);
    EXPECT_EQ(osc.table()[1024], 1.0f);
    EXPECT_NEAR(osc.table()[3072], -1.0f, 1e-7f);
    // Linear interpolation of a 4096-entry sine is close to the true sine.
    for (int n = 1; n < 200; ++n) {
        const float v = osc.process();
        ASSERT_NEAR(v, std::sin(2.0 * M_PI * 440.0 * n / 44100.0), 2e-4) << n;
    }
}

TEST(OscillatorWavetable, PlainAndZeroModulationFormsAgree) {
    zusp_oscillator_wavetable a(4096), b(4096), c(4096);
    a.setFrequency(123.4f);
    b.setFrequency(123.4f);
    c.setFrequency(123.4f);
    for (int n = 0; n < 5000; ++n) {
        const float va = a.process();
        ASSERT_EQ(va, b.process(0.0f)) << n;
        ASSERT_EQ(va, c.process(1.0f, 0.0f)) << n;
    }
}

TEST(OscillatorWavetable, FrequencyOffsetAddsHertz) {
    // 100 Hz plus an offset of 100 Hz runs as fast as 200 Hz, and a ratio of 2 does the same.
    zusp_oscillator_wavetable a(4096), b(4096), c(4096);
    a.setFrequency(100.0f);
    b.setFrequency(200.0f);
    c.setFrequency(100.0f);
    for (int n = 0; n < 1000; ++n) {
        const float vb = b.process();
        ASSERT_NEAR(a.process(100.0f), vb, 1e-3f);
        ASSERT_NEAR(c.process(2.0f, 0.0f), vb, 1e-3f);
    }
}

TEST(OscillatorWavetable, RateChangeKeepsHertz) {
    Wavetable osc(4096);
    osc.setFrequency(1000.0f);
    osc.setAudioSamplingRate(48000.0f);
    EXPECT_NEAR(osc.increment(), 4096.0 * 1000.0 / 48000.0, 1e-3);
    EXPECT_NEAR(osc.sizeOverRate(), 4096.0 / 48000.0, 1e-7);
}

TEST(OscillatorWavetable, MidiPitch) {
    zusp_oscillator_wavetable osc(4096);
    osc.setMIDIPitch(69);
    EXPECT_EQ(osc.getFrequency(), 440.0f);
    osc.setMIDIPitch(81.0f);
    EXPECT_NEAR(osc.getFrequency(), 880.0f, 1e-3f);
    osc.setMIDIPitch(60);
    EXPECT_NEAR(osc.getFrequency(), 261.6256f, 1e-3f);
}

TEST(OscillatorWaveshape, UnknownShapesKeepTheTable) {
    Wavetable osc(4096);
    const float* before = osc.table();
    for (int shape : {1, 2, 3, 9, 42, -1})
        osc.setWaveshape(shape, 50.0f, 16);
    EXPECT_EQ(osc.table(), before);
    EXPECT_EQ(osc.table()[1024], 1.0f);
}

TEST(OscillatorWaveshape, BandLimitedPulseSquare) {
    Wavetable osc(4096);
    osc.setWaveshape(5, 50.0f, 16);
    EXPECT_NEAR(osc.table()[1024], 2.0218004f, 1e-5f); // 1 + 1/3 + ... + 1/15
    EXPECT_NEAR(osc.table()[0], 0.0f, 1e-6f);
    EXPECT_NEAR(osc.table()[3072], -2.0218004f, 1e-5f);
    // A narrower pulse loses the pure odd-harmonic symmetry.
    osc.setWaveshape(5, 41.0f, 16);
    double expected = 0.0;
    for (int n = 1; n <= 16; ++n)
        expected += std::sin(n * M_PI * 0.41) * std::sin(n * M_PI / 2) / n;
    EXPECT_NEAR(osc.table()[1024], expected, 1e-5);
}

TEST(OscillatorWaveshape, SawOddAndFixedSpectra) {
    Wavetable osc(4096);
    osc.setWaveshape(4, 0.0f, 16);
    double saw = 0.0;
    for (int n = 1; n <= 16; ++n)
        saw += std::sin(n * M_PI / 4) / n;
    EXPECT_NEAR(osc.table()[512], saw, 1e-5);

    osc.setWaveshape(6, 0.0f, 16);
    double odd = 0.0;
    for (int n = 1; n <= 15; n += 2)
        odd += std::sin(n * M_PI / 2) / (n * n);
    EXPECT_NEAR(osc.table()[1024], odd, 1e-6);

    osc.setWaveshape(7, 0.0f, 0);
    EXPECT_NEAR(osc.table()[1024], 1.0 - 1.0 / 9.0, 1e-6);

    osc.setWaveshape(8, 0.0f, 0);
    EXPECT_NEAR(osc.table()[1024], 1.0 - 0.058884 + 0.011749 - 0.010471, 1e-6);
}

TEST(OscillatorWaveshape, NoHarmonicsGiveSilence) {
    Wavetable osc(256);
    for (int shape : {4, 5, 6}) {
        osc.setWaveshape(shape, 50.0f, 0);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(osc.table()[i], 0.0f);
    }
}

TEST(OscillatorWaveshape, AdditiveTable) {
    Wavetable osc(1024);
    float amplitudes[] = {1.0f, 0.5f};
    osc.buildAdditiveWavetable(2, amplitudes);
    EXPECT_NEAR(osc.table()[128], std::sin(M_PI / 4) + 0.5, 1e-6);
    osc.buildAdditiveWavetable(0, amplitudes);
    EXPECT_EQ(osc.table()[128], 0.0f);
    osc.buildAdditiveWavetable(3, nullptr);
    EXPECT_EQ(osc.table()[300], 0.0f);
}

TEST(OscillatorReading, RetroReadsExactEntries) {
    Wavetable osc(256);
    auto r = ramp(256);
    osc.fillWavetable(r.data());
    osc.setFrequency(37.3f);
    bool sawFraction = false;
    for (int n = 0; n < 2000; ++n) {
        const float v = osc.processRetro(1.0f, 3.0f);
        ASSERT_EQ(v, std::floor(v)) << n;
        ASSERT_EQ(v, std::floor(osc.phase())) << n;
        if (osc.phase() != std::floor(osc.phase())) sawFraction = true;
    }
    EXPECT_TRUE(sawFraction);
    // The interpolating read lands between entries.
    osc.resetPhase(10.0f);
    EXPECT_NEAR(osc.process(), 10.0f + osc.increment(), 1e-3f);
}

TEST(OscillatorReading, PowerOfTwoTableWrapsWithTheMask) {
    Wavetable osc(256);
    auto r = ramp(256);
    osc.fillWavetable(r.data());
    osc.resetPhase(255.5f - osc.increment());
    EXPECT_NEAR(osc.process(), 0.5f * 255.0f + 0.5f * 0.0f, 2e-3f);
    for (int n = 0; n < 10000; ++n) {
        osc.process(5000.0f);
        ASSERT_GE(osc.phase(), 0.0f);
        ASSERT_LT(osc.phase(), 256.0f);
    }
}

TEST(OscillatorReading, ResizeableWrapsAnyLength) {
    Resizeable osc(4096);
    osc.setTableSize(891);
    EXPECT_EQ(osc.getWavetableSize(), 891);
    EXPECT_EQ(osc.phase(), 0.0f);
    auto r = ramp(891);
    osc.fillWavetable(r.data());
    osc.setAudioSamplingRate(891.0f);
    osc.setFrequency(1.0f); // about one entry per sample
    osc.resetPhase(889.5f);
    EXPECT_NEAR(osc.process(), 0.5f * 890.0f + 0.5f * 0.0f, 1e-3f); // reads 890 and 0
    EXPECT_NEAR(osc.process(), 0.5f, 1e-3f);                        // wrapped once
    EXPECT_LT(osc.phase(), 2.0f);
}

TEST(OscillatorReading, ResizeableStaysInsideTheTableForHugeSteps) {
    Resizeable osc(4096);
    osc.setTableSize(891);
    auto r = ramp(891);
    osc.fillWavetable(r.data());
    for (int n = 0; n < 1000; ++n) {
        const float v = osc.process(1.0e6f);
        ASSERT_TRUE(std::isfinite(v));
        ASSERT_GE(osc.phase(), 0.0f);
        ASSERT_LT(osc.phase(), 891.0f);
    }
    osc.resetPhase(-40.0f);
    EXPECT_GE(osc.phase(), 0.0f);
    EXPECT_TRUE(std::isfinite(osc.process()));
}

TEST(OscillatorReading, BadSizesAndPointersAreIgnored) {
    Wavetable osc(4096);
    osc.setWavetableSize(0);
    osc.setWavetableSize(-5);
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

TEST(OscillatorMulti, SwitchingTablesKeepsTheFrequency) {
    Multi osc(2, 4096);
    EXPECT_EQ(osc.getCurrentTable(), 0);
    osc.setTableSize(891);
    auto r = ramp(891);
    osc.fillWavetable(r.data());
    osc.setCurrentTable(1);
    osc.setWaveshape(0, 0.0f);
    osc.setFrequency(100.0f);
    EXPECT_NEAR(osc.increment(), 4096.0 * 100.0 / 44100.0, 1e-4);

    for (int n = 0; n < 1000; ++n)
        osc.process();
    osc.setCurrentTable(0);
    EXPECT_EQ(osc.getWavetableSize(), 891);
    EXPECT_EQ(osc.getFrequency(), 100.0f);
    EXPECT_NEAR(osc.increment(), 891.0 * 100.0 / 44100.0, 1e-4);
    EXPECT_NEAR(osc.sizeOverRate(), 891.0 / 44100.0, 1e-7);
    EXPECT_LT(osc.phase(), 891.0f);
    EXPECT_EQ(osc.table()[890], 890.0f); // the kick cycle is still there

    osc.setCurrentTable(1);
    EXPECT_EQ(osc.getWavetableSize(), 4096);
    EXPECT_EQ(osc.table()[1024], 1.0f); // the sine was stored in its slot
}

TEST(OscillatorMulti, PhaseBeyondTheNewTableRestarts) {
    Multi osc(2, 4096);
    osc.setTableSize(100); // table 0
    osc.setCurrentTable(1);
    osc.resetPhase(3000.0f);
    osc.setCurrentTable(0);
    EXPECT_EQ(osc.phase(), 0.0f);
    osc.resetPhase(50.0f);
    osc.setCurrentTable(1);
    EXPECT_EQ(osc.phase(), 50.0f); // a phase inside the new table is kept
}

TEST(OscillatorMulti, BadIndexIsIgnored) {
    Multi osc(2, 512);
    osc.setCurrentTable(2);
    osc.setCurrentTable(-1);
    EXPECT_EQ(osc.getCurrentTable(), 0);
    EXPECT_EQ(osc.getWavetableSize(), 512);
    Multi none(0, 512); // without tables it keeps playing its own sine
    EXPECT_EQ(none.getWavetableSize(), 4096);
    EXPECT_TRUE(std::isfinite(none.process()));
}

TEST(OscillatorMulti, ResizingTheCurrentTableKeepsItsSlot) {
    Multi osc(2, 512);
    osc.setWavetableSize(1024);
    osc.setCurrentTable(1);
    osc.setCurrentTable(0);
    EXPECT_EQ(osc.getWavetableSize(), 1024);
    osc.setWaveshape(0, 0.0f);
    for (int n = 0; n < 5000; ++n)
        ASSERT_TRUE(std::isfinite(osc.process(1000.0f)));
}

// The voices' tables must match sample for sample: each term is rounded to float on its own
// and the terms are added in float, lowest harmonic first.
TEST(OscillatorWaveshape, TermsRoundedAndSummedInFloatInOrder) {
    Wavetable osc(4096);
    osc.setWaveshape(5, 41.0f, 18);
    for (int i = 0; i < 4096; i += 37) {
        const double theta = i * 6.283185307179586 / 4096;
        float sum = 0.0f;
        for (int n = 1; n <= 18; ++n) {
            const double term =
                (1.0 / n) * std::sin(n * 3.141592653589793 * 41.0f * 0.01) * std::sin(n * theta);
            sum += static_cast<float>(term);
        }
        ASSERT_EQ(osc.table()[i], sum) << i;
    }
    osc.setWaveshape(8, 0.0f, 0);
    const double k[] = {1.0, 0.058884, 0.011749, 0.004169, 0.010471, 0.003311, 0.004169};
    const int h[] = {1, 3, 5, 6, 7, 8, 10};
    for (int i = 0; i < 4096; i += 41) {
        const double theta = i * 6.283185307179586 / 4096;
        float sum = 0.0f;
        for (int t = 0; t < 7; ++t)
            sum += static_cast<float>(k[t] * std::sin(h[t] * theta));
        ASSERT_EQ(osc.table()[i], sum) << i;
    }
}
