// Behaviour of the twelve drum voices as a listener would check it: levels, lengths, pitches,
// restarts and silence, measured on the rendered samples.
#include "BrakkaKickData.h"
#include "BrakkaVoices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

const float kRate = 44100.0f;

std::vector<float> render(brakka_voice& v, int n) {
    std::vector<float> out(static_cast<size_t>(n));
    for (float& x : out)
        x = v.process();
    return out;
}

std::vector<float> hit(brakka_voice& v, float velocity, int n) {
    v.thwack(velocity);
    return render(v, n);
}

// Index of the last non-zero sample, or -1.
long lastSound(const std::vector<float>& x) {
    for (long i = static_cast<long>(x.size()) - 1; i >= 0; --i)
        if (x[static_cast<size_t>(i)] != 0.0f) return i;
    return -1;
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
    double s = 0;
    for (size_t i = from; i < to; ++i)
        s += double(x[i]) * x[i];
    return std::sqrt(s / double(to - from));
}

// Magnitude of the frequency component f (Hz) over x[from, to).
double magnitudeAt(const std::vector<float>& x, double f, size_t from, size_t to,
                   double rate = kRate) {
    double re = 0, im = 0;
    for (size_t i = from; i < to; ++i) {
        double ph = 2 * M_PI * f * double(i) / rate;
        re += x[i] * std::cos(ph);
        im += x[i] * std::sin(ph);
    }
    return std::hypot(re, im) / double(to - from);
}

// Upward zero crossings per second over x[from, to).
double crossingRate(const std::vector<float>& x, size_t from, size_t to, double rate = kRate) {
    int n = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (x[i - 1] <= 0.0f && x[i] > 0.0f) ++n;
    return n * rate / double(to - from);
}

// One voice of every class, set up with ordinary sound values, by name.
struct VoiceCase {
    const char* name;
    std::function<std::unique_ptr<brakka_voice>()> make;
    float factor; // velocity gain at velocity 1
};

std::unique_ptr<brakka_voice> makeKick() {
    auto k = std::make_unique<brakka_voice_kick>();
    k->setToneFrequency(45);
    k->setToneBendDepth(99);
    k->setVolumeDecayTime(360);
    k->setClickGain(0.5f);
    k->setToneSaturation(0);
    return k;
}
std::unique_ptr<brakka_voice> makeSnare8() {
    auto s = std::make_unique<brakka_voice_snare808>();
    s->setToneFrequency(100);
    s->setNoiseDecayTime(200);
    return s;
}
std::unique_ptr<brakka_voice> makeSnare9() {
    auto s = std::make_unique<brakka_voice_snare909>();
    s->setToneFrequency(130);
    s->setNoiseDecayTime(260);
    return s;
}
std::unique_ptr<brakka_voice> makeTom() {
    auto t = std::make_unique<brakka_voice_tom>();
    t->setToneFrequency(75);
    t->setOsc1DecayTime(400);
    t->setOsc2DecayTime(200);
    return t;
}
std::unique_ptr<brakka_voice> makeHat() {
    auto h = std::make_unique<brakka_voice_hihat>();
    h->setVolumeDecayTime(400);
    h->setNoiseMix(0.5f);
    return h;
}
std::unique_ptr<brakka_voice> makeCymbal() {
    auto c = std::make_unique<brakka_voice_cymbal_110>();
    c->setNoiseMix(0.3f);
    c->setDingVolume(0.3f);
    c->setVolumeDecayTime(500);
    return c;
}
std::unique_ptr<brakka_voice> makeRimshot() {
    auto r = std::make_unique<brakka_voice_rimshot>();
    r->setTuning(1);
    return r;
}
std::unique_ptr<brakka_voice> makeClap() {
    return std::make_unique<brakka_voice_claps>();
}
std::unique_ptr<brakka_voice> makeCowbell() {
    auto c = std::make_unique<brakka_voice_cowbell>();
    c->setToneFrequency(587);
    return c;
}

const VoiceCase kCases[] = {
    {"kick", makeKick, 1.0f},       {"snare8", makeSnare8, 0.45f}, {"snare9", makeSnare9, 0.45f},
    {"tom", makeTom, 0.8f},         {"hihat", makeHat, 4.0f},      {"cymbal", makeCymbal, 0.3f},
    {"rimshot", makeRimshot, 0.7f}, {"clap", makeClap, 6.0f},      {"cowbell", makeCowbell, 1.0f},
};

} // namespace

// ---------------------------------------------------------------------------------------------
// What every voice shares

TEST(VoicesAll, SilentUntilStruckThenDecaysToExactSilence) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto v = c.make();
        v->setAudioSamplingRate(kRate);
        for (float x : render(*v, 4410))
            ASSERT_EQ(x, 0.0f);
        std::vector<float> out = hit(*v, 1.0f, int(kRate) * 3);
        long last = lastSound(out);
        ASSERT_GT(last, 0);
        EXPECT_LT(last, long(out.size()) - 4410) << "still sounding after 3 s";
        for (float x : out)
            ASSERT_TRUE(std::isfinite(x));
    }
}

TEST(VoicesAll, LevelFollowsTheSquareOfTheVelocityTimesTheVoiceFactor) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto full = c.make(), half = c.make(), none = c.make();
        full->thwack(1.0f);
        EXPECT_FLOAT_EQ(full->velocityGain, c.factor);
        std::vector<float> a = render(*full, 8000);
        std::vector<float> b = hit(*half, 0.5f, 8000);
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_NEAR(b[i], 0.25f * a[i], 1e-5f + 1e-4f * std::fabs(a[i])) << "sample " << i;
        // Velocity 0 starts the hit (the envelopes run) but produces nothing (the cymbal, which
        // scales before its filters, leaves only the filters' anti-denormal residue).
        for (float x : hit(*none, 0.0f, 100))
            ASSERT_LT(std::fabs(x), 1e-9f);
        EXPECT_FALSE(none->volumeEnvelope.isDone());
        for (float x : render(*none, 8000))
            ASSERT_LT(std::fabs(x), 1e-9f);
    }
}

TEST(VoicesAll, RetriggerDuringALongDecayRestartsTheHit) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto fresh = c.make(), again = c.make();
        fresh->setVolumeDecayTime(1500);
        again->setVolumeDecayTime(1500);
        const int n = 2205; // 50 ms: long enough to even out the noise of the clap's bursts
        std::vector<float> first = hit(*fresh, 1.0f, n);
        hit(*again, 1.0f, int(kRate * 0.6f)); // well into the decay
        std::vector<float> second = hit(*again, 1.0f, n);
        double r1 = rms(first, 0, n), r2 = rms(second, 0, n);
        EXPECT_NEAR(r2 / r1, 1.0, 0.3) << "the restarted hit should be as loud as a fresh one";
    }
}

TEST(VoicesAll, RateChangeKeepsMillisecondsAndHertz) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto a = c.make(), b = c.make();
        a->setAudioSamplingRate(44100);
        b->setAudioSamplingRate(96000);
        std::vector<float> x = hit(*a, 1, 44100 * 3), y = hit(*b, 1, 96000 * 3);
        double msA = 1000.0 * lastSound(x) / 44100, msB = 1000.0 * lastSound(y) / 96000;
        EXPECT_NEAR(msA, msB, 0.02 * msA + 0.2);
    }
    brakka_voice_cowbell a, b;
    b.setAudioSamplingRate(96000);
    b.setToneFrequency(587);
    a.setToneFrequency(587);
    std::vector<float> x = hit(a, 1, 8000), y = hit(b, 1, 8000 * 96 / 44);
    EXPECT_NEAR(magnitudeAt(y, 587, 0, y.size(), 96000) / magnitudeAt(x, 587, 0, x.size()), 1,
                0.05);
    EXPECT_EQ(b.toneOscillator.getFrequency(), 587.0f);
}

// ---------------------------------------------------------------------------------------------
// Kick

TEST(VoicesKick, PlaysTheStoredCycleOrASineAtTheToneFrequency) {
    for (int shape = 0; shape < 2; ++shape) {
        brakka_voice_kick k;
        k.setWaveshape(shape);
        k.setToneFrequency(50);
        k.setToneBendDepth(0);
        k.setClickGain(0);
        k.setVolumeDecayTime(2000);
        k.setVolumeDecayCurvature(0);
        std::vector<float> out = hit(k, 1, 44100);
        EXPECT_NEAR(crossingRate(out, 0, out.size()), 50, 1.5) << "shape " << shape;
    }
    brakka_voice_kick k;
    k.setWaveshape(7); // only tables 0 and 1 exist
    EXPECT_EQ(k.waveshape, 0);
    EXPECT_EQ(k.toneBank.getCurrentTable(), 0);
}

TEST(VoicesKick, PitchEnvelopeBendsTheToneUpward) {
    brakka_voice_kick k;
    k.setToneFrequency(45);
    k.setToneBendDepth(150);
    k.setPitchDecayTime(500);
    k.setPitchDecayCurvature(0);
    k.setClickGain(0);
    k.setVolumeDecayTime(2000);
    std::vector<float> out = hit(k, 1, 44100);
    EXPECT_GT(crossingRate(out, 441, 4410), 150);        // near 45 + 150 Hz early on
    EXPECT_NEAR(crossingRate(out, 30000, 44100), 45, 4); // back at 45 Hz after the bend
}

TEST(VoicesKick, ClickIsA2msPulseAndFilteredNoiseUnderTheClickEnvelope) {
    for (float rate : {44100.0f, 96000.0f}) {
        brakka_voice_kick k;
        k.setAudioSamplingRate(rate);
        k.setToneGain(0);
        k.setNoiseGain(0);
        k.setClickGain(1);
        k.setToneFrequency(45);
        std::vector<float> out = hit(k, 1, 20000);
        int ones = 0;
        for (float x : out)
            ones += x != 0.0f;
        // The click envelope's first value is 0, so the pulse shows one sample less than its
        // length (88 samples at 44.1 kHz, 192 at 96 kHz).
        EXPECT_EQ(ones, rate == 44100.0f ? 87 : 191);
    }
    brakka_voice_kick k;
    k.setToneGain(0);
    k.setClickGain(1);
    k.setToneFrequency(45);
    std::vector<float> out = hit(k, 1, 44100);
    long last = lastSound(out);
    EXPECT_GT(last, 0.03 * 44100);
    EXPECT_LT(last, 0.081 * 44100); // the 80 ms click envelope
}

TEST(VoicesKick, SaturationThickensTheTone) {
    brakka_voice_kick clean, hot;
    for (brakka_voice_kick* k : {&clean, &hot}) {
        k->setToneFrequency(45);
        k->setClickGain(0);
    }
    clean.setToneSaturation(0);
    hot.setToneSaturation(0.5f);
    std::vector<float> a = hit(clean, 1, 20000), b = hit(hot, 1, 20000);
    EXPECT_GT(rms(b, 0, b.size()), 1.3 * rms(a, 0, a.size()));
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_LE(std::fabs(b[i]), 1.0f);
}

TEST(VoicesKick, TheTableIsOneSmoothCycleThroughItsFixedEntries) {
    EXPECT_EQ(kKickData[0], -0.005947535f);
    EXPECT_EQ(kKickData[1], 0.002398504f);
    EXPECT_EQ(kKickData[100], 0.67526835f);
    EXPECT_EQ(kKickData[266], 0.98685694f);
    EXPECT_EQ(kKickData[450], 0.00057526398f);
    EXPECT_EQ(kKickData[451], -0.0085377926f);
    EXPECT_EQ(kKickData[674], -1.0f);
    EXPECT_EQ(kKickData[800], -0.67258382f);
    EXPECT_EQ(kKickData[890], -0.007579020f);
    int maxAt = 0, minAt = 0, signChanges = 0;
    for (int i = 0; i < kKickDataSize; ++i) {
        int next = (i + 1) % kKickDataSize;
        if (kKickData[i] > kKickData[maxAt]) maxAt = i;
        if (kKickData[i] < kKickData[minAt]) minAt = i;
        signChanges += (kKickData[i] > 0) != (kKickData[next] > 0);
        // A sine of this period moves at most 2 pi / 891 = 0.007 per entry.
        EXPECT_LT(std::fabs(kKickData[next] - kKickData[i]), 0.0095f) << i;
        // Curvature: the slope changes little between neighbours, except where the cycle's
        // fixed ends meet (the rise from index 0 to 1 is steeper than the approach to index 0).
        float bend = kKickData[(i + 2) % kKickDataSize] - 2 * kKickData[next] + kKickData[i];
        EXPECT_LT(std::fabs(bend), i >= 888 ? 0.008f : 0.001f) << i;
    }
    EXPECT_EQ(maxAt, 266);
    EXPECT_EQ(minAt, 674);
    EXPECT_EQ(signChanges, 2); // between 0 and 1, and between 450 and 451
}

// ---------------------------------------------------------------------------------------------
// Snares

TEST(VoicesSnares, SecondToneAtItsFixedRatio) {
    brakka_voice_snare808 s8;
    s8.setToneFrequency(100);
    EXPECT_NEAR(s8.secondTone.getFrequency(), 183.33f, 0.01f);
    s8.setNoiseGain(0);
    s8.setSnappyGain(0);
    std::vector<float> out = hit(s8, 1, 8820);
    double at100 = magnitudeAt(out, 100, 0, out.size());
    double at183 = magnitudeAt(out, 183.33, 0, out.size());
    double between = magnitudeAt(out, 140, 0, out.size());
    EXPECT_GT(at100, 5 * between);
    EXPECT_GT(at183, 5 * between);

    brakka_voice_snare909 s9;
    s9.setToneFrequency(130);
    EXPECT_NEAR(s9.secondTone.getFrequency(), 182.0f, 0.01f);
    s9.setNoiseGain(0);
    s9.setToneDecayTime(400);
    out = hit(s9, 1, 17640);
    // Once the 75 ms bend has passed, both tones sound at their set frequencies.
    EXPECT_GT(magnitudeAt(out, 130, 8820, 17640), 5 * magnitudeAt(out, 156, 8820, 17640));
    EXPECT_GT(magnitudeAt(out, 182, 8820, 17640), 5 * magnitudeAt(out, 156, 8820, 17640));
}

TEST(VoicesSnares, ALongNoiseDecayOutlastsTheTones) {
    brakka_voice_snare808 s8;
    s8.setToneFrequency(100);
    s8.setNoiseDecayTime(500);
    s8.setNoiseDecayCurvature(0);
    std::vector<float> out = hit(s8, 1, 44100);
    EXPECT_GT(lastSound(out), 0.45 * 44100);

    brakka_voice_snare909 s9;
    s9.setToneDecayTime(50);
    s9.setLowNoiseDecayTime(20);
    s9.setHighNoiseDecayTime(400);
    s9.setHighNoiseDecayCurvature(0);
    out = hit(s9, 1, 44100);
    long last = lastSound(out);
    EXPECT_GT(last, 0.38 * 44100);
    EXPECT_LT(last, 0.41 * 44100);
}

TEST(VoicesSnares, Snare8ClickRemainsWithoutNoise) {
    brakka_voice_snare808 s8;
    s8.setToneGain(0);
    s8.setNoiseGain(0);
    std::vector<float> out = hit(s8, 1, 441);
    // The 2 ms gate through the 2 kHz low-pass settles near 1 x 0.45 before it ends.
    EXPECT_NEAR(out[80], 0.45f, 0.05f);
}

// ---------------------------------------------------------------------------------------------
// Toms

TEST(VoicesToms, FundamentalOvertoneAndClickToneRatios) {
    brakka_voice_tom t;
    t.setToneFrequency(100);
    EXPECT_EQ(t.fundamental.getFrequency(), 100.0f);
    EXPECT_NEAR(t.overtone.getFrequency(), 183.33f, 0.01f);
    EXPECT_EQ(t.toneOscillator.getFrequency(), 300.0f);

    // Fundamental alone (overtone envelope made tiny, click and noise off), no bend.
    t.setToneBendDepth(0);
    t.setClickGain(0);
    t.setNoiseGain(0);
    t.setOsc1DecayTime(1);
    t.setOsc2DecayTime(2000);
    t.setOsc2DecayCurvature(0);
    std::vector<float> out = hit(t, 1, 44100);
    EXPECT_NEAR(crossingRate(out, 4410, 44100), 100, 2);
}

TEST(VoicesToms, ToneDecayTimeGivesTheFundamentalTwentyPercentMore) {
    brakka_voice_tom t;
    t.setToneFrequency(80);
    t.setToneDecayTime(400);
    t.setOsc1DecayCurvature(0);
    t.setOsc2DecayCurvature(0);
    std::vector<float> out = hit(t, 1, 44100);
    EXPECT_NEAR(1000.0 * lastSound(out) / 44100, 480, 2);
}

TEST(VoicesToms, ClippingSaturatesBothTones) {
    brakka_voice_tom clean, hot;
    for (brakka_voice_tom* t : {&clean, &hot}) {
        t->setToneFrequency(80);
        t->setOsc1DecayTime(400);
        t->setOsc2DecayTime(400);
        t->setClickGain(0);
        t->setNoiseGain(0);
    }
    hot.setClipping(0.5f);
    std::vector<float> a = hit(clean, 1, 17640), b = hit(hot, 1, 17640);
    EXPECT_GT(rms(b, 0, b.size()), 1.3 * rms(a, 0, a.size()));
}

// ---------------------------------------------------------------------------------------------
// Hats and cymbal

TEST(VoicesMetal, TuningScalesTheOscillatorBank) {
    const float hat[6] = {584, 690, 1062, 530, 458, 363};
    const float cym[6] = {1190, 823, 317, 465, 1797, 3570};
    brakka_voice_hihat h;
    brakka_voice_cymbal_110 c;
    for (float factor : {1.0f, 2.0f, 0.5f}) {
        h.setTuning(factor);
        c.setTuning(factor);
        for (int k = 0; k < 6; ++k) {
            EXPECT_FLOAT_EQ(h.oscillators[k].getFrequency(), hat[k] * factor);
            EXPECT_FLOAT_EQ(c.oscillators[k].getFrequency(), cym[k] * factor);
        }
    }
}

TEST(VoicesMetal, ChokeSilencesTheHatOnTheNextSample) {
    brakka_voice_hihat open;
    open.setVolumeDecayTime(1000);
    hit(open, 1, 2000);
    open.choke();
    for (float x : render(open, 4410))
        ASSERT_EQ(x, 0.0f);
    // Choking a silent hat changes nothing, and the next stroke sounds normally.
    open.choke();
    std::vector<float> out = hit(open, 1, 4410);
    EXPECT_GT(rms(out, 0, out.size()), 0.01);
}

TEST(VoicesMetal, HatNoiseMixChoosesNoiseOrOscillators) {
    brakka_voice_hihat noiseOnly, tonesOnly;
    noiseOnly.setNoiseMix(1);
    tonesOnly.setNoiseMix(0);
    tonesOnly.setHPFFrequency(200);
    tonesOnly.setBPFFrequency(1062);
    std::vector<float> t = hit(tonesOnly, 1, 8820);
    // Oscillator 2 (1062 Hz) stands out of the tone-only hat; it is absent from pure noise.
    EXPECT_GT(magnitudeAt(t, 1062, 0, t.size()), 10 * magnitudeAt(t, 1300, 0, t.size()));
    std::vector<float> n = hit(noiseOnly, 1, 8820);
    EXPECT_LT(magnitudeAt(n, 1062, 0, n.size()), 0.01);
}

TEST(VoicesMetal, CymbalRunsWhileEitherEnvelopeRuns) {
    brakka_voice_cymbal_110 c;
    c.setVolumeDecayTime(20);
    c.setDingVolume(1);
    c.setDingDecayTime(200);
    c.setDingDecayCurvature(0);
    c.setNoiseMix(0.5f);
    std::vector<float> out = hit(c, 1, 44100);
    EXPECT_NEAR(1000.0 * lastSound(out) / 44100, 200, 2);
}

// ---------------------------------------------------------------------------------------------
// Rimshot, clap, cowbell

TEST(VoicesPerc, RimshotPingsScaleWithTheTuningFactor) {
    for (float factor : {1.0f, 2.0f}) {
        brakka_voice_rimshot r;
        r.setTuning(factor);
        EXPECT_EQ(r.toneOscillator.getFrequency(), 500 * factor);
        EXPECT_EQ(r.secondTone.getFrequency(), 220 * factor);
        EXPECT_EQ(r.thirdTone.getFrequency(), 1000 * factor);
        r.highPass.setFrequency(50);
        std::vector<float> out = hit(r, 0.3f, 1600);
        double off = magnitudeAt(out, 360 * factor, 0, out.size());
        EXPECT_GT(magnitudeAt(out, 220 * factor, 0, out.size()), 3 * off);
        EXPECT_GT(magnitudeAt(out, 500 * factor, 0, out.size()), 3 * off);
    }
}

TEST(VoicesPerc, RimshotEndsWithItsSecondEnvelope) {
    brakka_voice_rimshot r;
    r.setTuning(1);
    r.setVolumeDecayTime(200); // first ping longer than the 36 ms second envelope
    std::vector<float> out = hit(r, 1, 44100);
    EXPECT_NEAR(1000.0 * lastSound(out) / 44100, 37, 1.5);
}

TEST(VoicesPerc, ClapHasFourBurstsThenTheTail) {
    brakka_voice_claps c;
    c.setReverb(0);
    std::vector<float> out = hit(c, 1, 4410);
    auto window = [&](double fromMs, double toMs) {
        return rms(out, size_t(fromMs * 44.1), size_t(toMs * 44.1));
    };
    // Each burst is much louder than the end of the previous burst's decay (or, for the first,
    // than the end of its own decay).
    EXPECT_GT(window(0, 2), 4 * window(9, 11));
    for (double at : {12.0, 25.0, 33.0})
        EXPECT_GT(window(at, at + 2), 4 * window(at - 3.5, at - 1.5)) << "burst at " << at;

    brakka_voice_claps tail;
    tail.setReverb(500);
    tail.setVolumeDecayCurvature(0);
    out = hit(tail, 1, 44100);
    EXPECT_GT(rms(out, 13230, 17640), 0.001); // 300 to 400 ms: the tail alone
    EXPECT_NEAR(1000.0 * lastSound(out) / 44100, 500, 2);
}

TEST(VoicesPerc, CowbellStopsWithItsEnvelopeWithoutRinging) {
    brakka_voice_cowbell c;
    c.setToneFrequency(587);
    c.setRatio(1.44f);
    c.bandPass.setResonance(4.5f);
    c.setVolumeDecayTime(50);
    c.setVolumeDecayCurvature(0);
    std::vector<float> out = hit(c, 1, 8820);
    long last = lastSound(out);
    EXPECT_NEAR(1000.0 * last / 44100, 51, 1);
    // The band-pass is no longer run once the envelope has finished.
    for (size_t i = size_t(last) + 1; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f);
}
