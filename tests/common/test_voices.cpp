// The drum voices as a listener would check them (levels, lengths, pitches, restarts, silence,
// measured on the rendered samples), the kick's stored cycle, and the routing of the sound
// parameters (tags 0 to 107) to the twelve voices of BrakkaVoiceBank. Sample-exact behaviour of
// every voice is compared with independent models in test_voice_models.cpp.
#include "BrakkaKickData.h"
#include "BrakkaParameterManager.h"
#include "BrakkaVoiceBank.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace {

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

// Upward zero crossings per second.
double crossingRate(const std::vector<float>& x, double rate = 44100) {
    int n = 0;
    for (size_t i = 1; i < x.size(); ++i)
        n += x[i - 1] <= 0.0f && x[i] > 0.0f;
    return n * rate / double(x.size());
}

// One voice of every class with ordinary sound values, and its velocity factor.
struct VoiceCase {
    const char* name;
    std::function<std::unique_ptr<brakka_voice>()> make;
    float factor;
};

template <class V, class F>
std::function<std::unique_ptr<brakka_voice>()> maker(F setUp) {
    return [setUp] {
        auto v = std::make_unique<V>();
        setUp(*v);
        return std::unique_ptr<brakka_voice>(std::move(v));
    };
}

const VoiceCase kCases[] = {
    {"kick", maker<brakka_voice_kick>([](auto& k) {
         k.setToneFrequency(45), k.setToneBendDepth(99), k.setVolumeDecayTime(360);
         k.setClickGain(0.5f);
     }),
     1.0f},
    {"snare8", maker<brakka_voice_snare808>([](auto& s) { s.setToneFrequency(100); }), 0.45f},
    {"snare9", maker<brakka_voice_snare909>([](auto& s) { s.setToneFrequency(130); }), 0.45f},
    {"tom", maker<brakka_voice_tom>([](auto& t) { t.setToneFrequency(75); }), 0.8f},
    {"hihat", maker<brakka_voice_hihat>([](auto& h) { h.setNoiseMix(0.5f); }), 4.0f},
    {"cymbal", maker<brakka_voice_cymbal_110>([](auto& c) { c.setDingVolume(0.3f); }), 0.3f},
    {"rimshot", maker<brakka_voice_rimshot>([](auto& r) { r.setTuning(1); }), 0.7f},
    {"clap", maker<brakka_voice_claps>([](auto&) {}), 6.0f},
    {"cowbell", maker<brakka_voice_cowbell>([](auto& c) { c.setToneFrequency(587); }), 1.0f},
};

} // namespace

TEST(Voices, SilentUntilStruckThenDecaysToExactSilence) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto v = c.make();
        v->setAudioSamplingRate(44100);
        for (float x : render(*v, 4410))
            ASSERT_EQ(x, 0.0f);
        std::vector<float> out = hit(*v, 1.0f, 44100 * 3);
        long last = lastSound(out);
        ASSERT_GT(last, 0);
        EXPECT_LT(last, long(out.size()) - 4410) << "still sounding after 3 s";
        for (float x : out)
            ASSERT_TRUE(std::isfinite(x));
    }
}

TEST(Voices, LevelFollowsTheSquareOfTheVelocityTimesTheVoiceFactor) {
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

TEST(Voices, RetriggerDuringALongDecayRestartsTheHit) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto fresh = c.make(), again = c.make();
        fresh->setVolumeDecayTime(1500);
        again->setVolumeDecayTime(1500);
        const int n = 2205; // 50 ms: long enough to even out the noise of the clap's bursts
        std::vector<float> first = hit(*fresh, 1.0f, n);
        hit(*again, 1.0f, 26460); // well into the decay
        std::vector<float> second = hit(*again, 1.0f, n);
        EXPECT_NEAR(rms(second, 0, n) / rms(first, 0, n), 1.0, 0.3);
    }
}

TEST(Voices, RateChangeKeepsMillisecondsAndHertz) {
    for (const VoiceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        auto a = c.make(), b = c.make();
        a->setAudioSamplingRate(44100);
        b->setAudioSamplingRate(96000);
        std::vector<float> x = hit(*a, 1, 44100 * 3), y = hit(*b, 1, 96000 * 3);
        double msA = 1000.0 * lastSound(x) / 44100, msB = 1000.0 * lastSound(y) / 96000;
        EXPECT_NEAR(msA, msB, 0.02 * msA + 0.2);
    }
    for (float rate : {44100.0f, 96000.0f}) { // the kick's sine at 50 Hz at either rate
        brakka_voice_kick k;
        k.setAudioSamplingRate(rate);
        k.setWaveshape(1);
        k.setToneFrequency(50);
        k.setToneBendDepth(0);
        k.setClickGain(0);
        k.setVolumeDecayTime(2000);
        EXPECT_NEAR(crossingRate(hit(k, 1, int(rate)), rate), 50, 1.5) << rate;
    }
}

TEST(Voices, FixedFrequencyRatiosAndTunings) {
    brakka_voice_snare808 s8;
    s8.setToneFrequency(100);
    EXPECT_NEAR(s8.secondTone.getFrequency(), 183.33f, 0.001f);
    brakka_voice_snare909 s9;
    s9.setToneFrequency(130);
    EXPECT_NEAR(s9.secondTone.getFrequency(), 182.0f, 0.001f);
    brakka_voice_tom t;
    t.setToneFrequency(100);
    EXPECT_EQ(t.fundamental.getFrequency(), 100.0f);
    EXPECT_NEAR(t.overtone.getFrequency(), 183.33f, 0.001f);
    EXPECT_EQ(t.toneOscillator.getFrequency(), 300.0f);
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
        brakka_voice_rimshot r;
        r.setTuning(factor);
        EXPECT_EQ(r.toneOscillator.getFrequency(), 500 * factor);
        EXPECT_EQ(r.secondTone.getFrequency(), 220 * factor);
        EXPECT_EQ(r.thirdTone.getFrequency(), 1000 * factor);
    }
    // A tom's tone decay gives the fundamental twenty percent more.
    t.setToneFrequency(80);
    t.setToneDecayTime(400);
    t.setOsc1DecayCurvature(0);
    t.setOsc2DecayCurvature(0);
    EXPECT_NEAR(1000.0 * lastSound(hit(t, 1, 44100)) / 44100, 480, 2);
}

TEST(Voices, ChokeSilencesTheHatOnTheNextSample) {
    brakka_voice_hihat open;
    open.setVolumeDecayTime(1000);
    hit(open, 1, 2000);
    open.choke();
    for (float x : render(open, 4410))
        ASSERT_EQ(x, 0.0f);
    open.choke(); // choking a silent hat changes nothing, and the next stroke sounds normally
    std::vector<float> out = hit(open, 1, 4410);
    EXPECT_GT(rms(out, 0, out.size()), 0.01);
}

// Rendered in blocks of any size, every voice gives the samples of one process() call per
// sample: across segment ends and the end of the sound inside a block, a retrigger and a
// parameter change between blocks, and the clap's breakpoint list.
TEST(Voices, BlocksOfAnySizeGiveTheSamplesOfSingleCalls) {
    auto single = std::make_unique<BrakkaVoiceBank>();
    auto blocks = std::make_unique<BrakkaVoiceBank>();
    for (BrakkaVoiceBank* b : {single.get(), blocks.get()}) {
        b->setAudioSamplingRate(48000.0f);
        b->setVoiceParameter(1, 0.4f); // kick saturation: a curve with a power
    }
    const int sizes[] = {1, 3, 64, 100, 512, 2048, 7};
    for (int voice = 0; voice < BrakkaVoiceBank::kNumVoices; ++voice) {
        brakka_voice* a = single->getVoice(voice);
        brakka_voice* b = blocks->getVoice(voice);
        std::vector<float> out(2048);
        long at = 0, mismatches = 0;
        for (int round = 0; round < 70; ++round) {
            if (round == 0 || round == 13) {
                a->thwack(round ? 0.7f : 1.0f);
                b->thwack(round ? 0.7f : 1.0f);
            }
            if (round == 20) {
                single->setVoiceParameter(104, 500); // the cymbal's ding decay, while sounding
                blocks->setVoiceParameter(104, 500);
            }
            const int n = sizes[round % 7];
            b->process(out.data(), n);
            for (int i = 0; i < n; ++i, ++at)
                if (a->process() != out[static_cast<size_t>(i)]) ++mismatches;
        }
        EXPECT_EQ(mismatches, 0) << "voice " << voice << " over " << at << " samples";
    }
}

TEST(Voices, KickTableIsOneSmoothCycleThroughItsFixedEntries) {
    const std::pair<int, float> entries[] = {
        {0, -0.005947535f}, {1, 0.002398504f},     {100, 0.67526835f},
        {266, 0.98685694f}, {450, 0.00057526398f}, {451, -0.0085377926f},
        {674, -1.0f},       {800, -0.67258382f},   {890, -0.007579020f}};
    for (auto [i, x] : entries)
        EXPECT_EQ(kKickData[i], x) << i;
    int maxAt = 0, minAt = 0, signChanges = 0;
    for (int i = 0; i < kKickDataSize; ++i) {
        const int next = (i + 1) % kKickDataSize;
        if (kKickData[i] > kKickData[maxAt]) maxAt = i;
        if (kKickData[i] < kKickData[minAt]) minAt = i;
        signChanges += (kKickData[i] > 0) != (kKickData[next] > 0);
        // A sine of this period moves at most 2 pi / 891 = 0.007 per entry.
        EXPECT_LT(std::fabs(kKickData[next] - kKickData[i]), 0.0095f) << i;
        // The slope changes little between neighbours, except where the cycle's fixed ends meet.
        float bend = kKickData[(i + 2) % kKickDataSize] - 2 * kKickData[next] + kKickData[i];
        EXPECT_LT(std::fabs(bend), i >= 888 ? 0.008f : 0.001f) << i;
    }
    EXPECT_EQ(maxAt, 266);
    EXPECT_EQ(minAt, 674);
    EXPECT_EQ(signChanges, 2); // between 0 and 1, and between 450 and 451
}

// ---------------------------------------------------------------------------------------------
// Routing

namespace {

// clang-format off
// A changed value for every connected tag, tag by tag from 0 (-1: the tag reaches no voice).
const float kChanged[108] = {
    80, 0.5f, 1, 0.8f, 800, 0.3f, 1, 0.7f, 50, 0.5f, 30, 5000, 1, 1,
    200, -1, -1, 60, 0.3f, 2000, -1, -1, 80, 0.5f, 0.1f,
    150, 5000, 50, 0.1f,
    70, 150, 1.5f, 0.1f, 0.3f, 0.4f, 10, 0.5f, 100, 0.5f, 10, 0.5f, 600, 0.5f,
    90, 150, 1.5f, 0.1f, 0.3f, 0.4f, 10, 0.5f, 100, 0.5f, 10, 0.5f, 600, 0.5f,
    110, 150, 1.5f, 0.1f, 0.3f, 0.4f, 10, 0.5f, 100, 0.5f, 10, 0.5f, 600, 0.5f,
    2000, 600,
    700, 1.8f, -1, -1, 50, 0.5f, 5000, 0.4f, -1,
    9000, 2000, 1.5f, 0.1f, 300, 9000, 2000, 0.9f, 0.1f, 100, 0.5f,
    1.5f, 0.05f, 1, 3000, 4, 0.5f, 500, 0, 3000, 4, 0.5f, 100, 0,
    1.5f, 300};
// clang-format on

// A bank with the DSP values of the parameters' defaults, as the engine routes them.
std::unique_ptr<BrakkaVoiceBank> defaultBank() {
    static BrakkaParameterManager params;
    auto bank = std::make_unique<BrakkaVoiceBank>();
    bank->setAudioSamplingRate(44100);
    for (int tag = 0; tag < 108; ++tag)
        bank->setVoiceParameter(tag, params.getDSPValue(tag));
    return bank;
}

std::vector<std::vector<float>> hitAll(BrakkaVoiceBank& bank, int n) {
    std::vector<std::vector<float>> out;
    for (brakka_voice* v : bank.voices)
        out.push_back(hit(*v, 1, n));
    return out;
}

int voiceOfTag(int tag) {
    const int firstTag[] = {0, 14, 25, 29, 43, 57, 71, 73, 82, 87, 93, 106, 108};
    const int voice[] = {0, 2, 1, 3, 4, 5, 10, 11, 6, 7, 8, 9};
    for (int i = 0; i < 12; ++i)
        if (tag < firstTag[i + 1]) return voice[i];
    return -1;
}

} // namespace

// Each connected tag measurably changes its own voice and leaves the other eleven sample-exact.
TEST(VoiceRouting, EveryConnectedTagChangesItsOwnVoiceAndNoOther) {
    auto bank = defaultBank();
    const std::vector<std::vector<float>> reference = hitAll(*bank, 22050);
    for (int tag = 0; tag < 108; ++tag) {
        if (kChanged[tag] == -1) continue;
        SCOPED_TRACE(testing::Message() << "tag " << tag);
        const int own = voiceOfTag(tag);
        // Every offset on the low tom; the first and last of the mid and high toms, which share
        // its dispatch (a bank per case costs tens of milliseconds).
        const int offset = tag >= 29 && tag <= 70 ? (tag - 29) % 14 : -1;
        if (tag > 42 && offset > 0 && offset < 13) continue;
        auto changed = defaultBank();
        std::vector<float> a = reference[size_t(own)];
        if (offset == 7 || offset == 11) { // an attack curvature needs an attack with a shape
            auto plain = defaultBank();
            plain->setVoiceParameter(tag - 1, 10);
            changed->setVoiceParameter(tag - 1, 10);
            a = hit(*plain->voices[own], 1, 22050);
        }
        changed->setVoiceParameter(tag, kChanged[tag]);
        const std::vector<float> b = hit(*changed->voices[own], 1, 22050);
        double diff = 0;
        for (size_t i = 0; i < a.size(); ++i)
            diff = std::fmax(diff, std::fabs(double(a[i]) - b[i]));
        EXPECT_GT(diff, 1e-3) << "voice " << own << " did not change";
        for (int v = 0; v < BrakkaVoiceBank::kNumVoices; ++v) {
            if (v == own) continue;
            const std::vector<float>& r = reference[size_t(v)];
            EXPECT_EQ(hit(*changed->voices[v], 1, 4410),
                      std::vector<float>(r.begin(), r.begin() + 4410))
                << "voice " << v;
        }
    }
}

TEST(VoiceRouting, UnconnectedTagsOutOfRangeTagsAndBadValuesChangeNothing) {
    auto bank = defaultBank(), touched = defaultBank();
    for (int tag :
         {15, 16, 20, 21, 75, 76, 81, 108, 117, 129, 249, 250, 251, 1000, INT_MAX, -1, INT_MIN})
        touched->setVoiceParameter(tag, 0.9f);
    for (int tag = 0; tag <= 107; ++tag) {
        touched->setVoiceParameter(tag, std::numeric_limits<float>::quiet_NaN());
        touched->setVoiceParameter(tag, std::numeric_limits<float>::infinity());
    }
    EXPECT_EQ(hitAll(*touched, 8820), hitAll(*bank, 8820));
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), 100.0f})
        bank->setAudioSamplingRate(rate);
    EXPECT_EQ(bank->kick.getAudioSamplingRate(), 44100.0f);
    // Cutoffs stay below half of a low rate, and the hat stays finite.
    bank->setAudioSamplingRate(22050);
    bank->setVoiceParameter(82, 18000);
    bank->setVoiceParameter(83, 18000);
    EXPECT_LT(bank->closedHat.bandPass.getFrequency(), 11025.0f);
    for (float x : hit(bank->closedHat, 1, 22050))
        ASSERT_TRUE(std::isfinite(x) && std::fabs(x) < 10.0f);
    EXPECT_EQ(bank->getVoice(12), nullptr);
    EXPECT_EQ(bank->getVoice(-1), nullptr);
    EXPECT_EQ(bank->getVoice(11), &bank->cowbell);
}

TEST(VoiceRouting, CowbellRatioAndTuneWhicheverChangedLast) {
    auto bank = defaultBank();
    brakka_voice_cowbell& c = bank->cowbell;
    EXPECT_FLOAT_EQ(c.secondTone.getFrequency(), 587.0f * 1.44f);
    bank->setVoiceParameter(73, 500);
    EXPECT_FLOAT_EQ(c.toneOscillator.getFrequency(), 500.0f);
    EXPECT_FLOAT_EQ(c.secondTone.getFrequency(), 720.0f);
    bank->setVoiceParameter(74, 1.2f);
    EXPECT_FLOAT_EQ(c.toneOscillator.getFrequency(), 500.0f);
    EXPECT_FLOAT_EQ(c.secondTone.getFrequency(), 600.0f);
    bank->setVoiceParameter(73, 400);
    EXPECT_FLOAT_EQ(c.secondTone.getFrequency(), 480.0f);
    // The resonance runs from Q 1 to 4.5; the hats' tune is a factor for the closed hat only.
    bank->setVoiceParameter(80, 0.5f);
    EXPECT_FLOAT_EQ(c.bandPass.getResonance(), 4.5f);
    EXPECT_FLOAT_EQ(bank->closedHat.oscillators[0].getFrequency(), 584.0f);
    EXPECT_FLOAT_EQ(bank->openHat.oscillators[0].getFrequency(), 292.0f);
}
