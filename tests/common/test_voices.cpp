// The drum voices as a listener would check them (silence before and after a hit, its length in
// milliseconds at two rates), block rendering, the kick's stored cycle, and the routing's answer
// to bad input. Every voice's samples, every parameter's routing and the velocity law are held
// to independent models in test_voice_models.cpp.
#include "BrakkaKickData.h"
#include "BrakkaParameterManager.h"
#include "BrakkaVoiceBank.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

std::vector<float> hit(brakka_voice& v, float velocity, int n) {
    v.thwack(velocity);
    std::vector<float> out(static_cast<size_t>(n));
    for (float& x : out)
        x = v.process();
    return out;
}

// Index of the last non-zero sample, or -1.
long lastSound(const std::vector<float>& x) {
    for (long i = static_cast<long>(x.size()) - 1; i >= 0; --i)
        if (x[static_cast<size_t>(i)] != 0.0f) return i;
    return -1;
}

// A bank with the DSP values of the parameters' defaults, as the engine routes them.
std::unique_ptr<BrakkaVoiceBank> defaultBank(float rate = 44100.0f) {
    static BrakkaParameterManager params;
    auto bank = std::make_unique<BrakkaVoiceBank>();
    bank->setAudioSamplingRate(rate);
    for (int tag = 0; tag < kNumSoundTags; ++tag)
        bank->setVoiceParameter(tag, params.getDSPValue(tag));
    return bank;
}

} // namespace

// Silent until struck, then a finite hit that ends in exact silence after the same number of
// milliseconds at 44.1 and 96 kHz; velocity 0 starts the envelopes of a fresh voice but gives
// nothing.
TEST(Voices, HitsEndInSilenceAfterTheSameMillisecondsAtEitherRate) {
    auto slow = defaultBank(44100.0f), fast = defaultBank(96000.0f);
    for (int voice = 0; voice < kNumVoices; ++voice) {
        double ms[2];
        for (int k = 0; k < 2; ++k) {
            const float rate = k ? 96000.0f : 44100.0f;
            brakka_voice& v = *(k ? fast : slow)->getVoice(voice);
            for (int i = 0; i < 1000; ++i)
                ASSERT_EQ(v.process(), 0.0f) << voice;
            const std::vector<float> out = hit(v, 1.0f, int(rate * 3));
            float peak = 0.0f;
            for (float x : out)
                peak = std::max(peak, std::isfinite(x) ? std::fabs(x) : INFINITY);
            EXPECT_TRUE(peak > 0.01f && peak < 100.0f) << voice << ": " << peak;
            ms[k] = 1000.0 * double(lastSound(out)) / rate;
            EXPECT_LT(ms[k], 2900.0) << voice << " still sounding after 3 s";
        }
        EXPECT_NEAR(ms[0], ms[1], 0.02 * ms[0] + 0.2) << voice;
    }
    auto unstruck = defaultBank(); // (the cymbal leaves only its filters' anti-denormal residue)
    for (brakka_voice* v : unstruck->voices) {
        v->thwack(0.0f);
        EXPECT_FALSE(v->volumeEnvelope.isDone());
        for (int i = 0; i < 4000; ++i)
            ASSERT_LT(std::fabs(v->process()), 1e-9f);
    }
    // A tom's tone decay gives the fundamental twenty percent more.
    brakka_voice_tom tom;
    tom.setToneFrequency(80);
    tom.setToneDecayTime(400);
    tom.setOsc1DecayCurvature(0);
    tom.setOsc2DecayCurvature(0);
    EXPECT_NEAR(1000.0 * double(lastSound(hit(tom, 1, 44100))) / 44100, 480, 2);
}

// Rendered in blocks of any size, every voice gives the samples of one process() call per
// sample: across segment ends and the end of the sound inside a block, a retrigger and a
// parameter change between blocks, and the clap's breakpoint list.
TEST(Voices, BlocksOfAnySizeGiveTheSamplesOfSingleCalls) {
    auto single = defaultBank(48000.0f), blocks = defaultBank(48000.0f);
    const int sizes[] = {1, 3, 64, 100, 512, 2048, 7};
    for (int voice = 0; voice < kNumVoices; ++voice) {
        brakka_voice* a = single->getVoice(voice);
        brakka_voice* b = blocks->getVoice(voice);
        std::vector<float> out(2048);
        long at = 0, mismatches = 0;
        for (int round = 0; round < 70; ++round) {
            if (round == 0 || round == 13) {
                a->thwack(round ? 0.7f : 1.0f);
                b->thwack(round ? 0.7f : 1.0f);
            }
            for (BrakkaVoiceBank* bank : {single.get(), blocks.get()}) {
                if (round == 0) bank->setVoiceParameter(kKickSaturationTag, 0.4f);  // a power
                if (round == 20) bank->setVoiceParameter(kCymbalDingDecayTag, 500); // sounding
            }
            const int n = sizes[round % 7];
            b->process(out.data(), n);
            for (int i = 0; i < n; ++i, ++at)
                mismatches += a->process() != out[static_cast<size_t>(i)];
        }
        EXPECT_EQ(mismatches, 0) << "voice " << voice << " over " << at << " samples";
    }
}

// The models share this table with the voices, so it is pinned here: its peaks, and a hash of all
// its entries.
TEST(Voices, KickTableIsPinned) {
    EXPECT_EQ(kKickData[266], 0.98685694f);
    EXPECT_EQ(kKickData[674], -1.0f);
    uint64_t hash = 1469598103934665603ull; // FNV-1a over the bits
    for (int i = 0; i < kKickDataSize; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &kKickData[i], 4);
        hash = (hash ^ bits) * 1099511628211ull;
    }
    EXPECT_EQ(hash, 0x9fb68afa8329a075ull) << std::hex << "0x" << hash;
}

TEST(VoiceRouting, UnconnectedTagsOutOfRangeTagsAndBadValuesChangeNothing) {
    auto bank = defaultBank(), touched = defaultBank();
    for (int tag : {kSnare9ToneAttackTag, kSnare9NoiseAttackCurveTag, kCowbellAttackTag,
                    kMoreCowbellTag, kStepSizeTag, kPanTag - 1, kLastFamilyTag, INT_MAX, -1})
        touched->setVoiceParameter(tag, 0.9f);
    for (int tag = 0; tag < kNumSoundTags; ++tag) {
        touched->setVoiceParameter(tag, std::numeric_limits<float>::quiet_NaN());
        touched->setVoiceParameter(tag, std::numeric_limits<float>::infinity());
    }
    for (int voice = 0; voice < kNumVoices; ++voice)
        EXPECT_EQ(hit(*touched->getVoice(voice), 1, 8820), hit(*bank->getVoice(voice), 1, 8820))
            << "voice " << voice;
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), 100.0f})
        bank->setAudioSamplingRate(rate);
    EXPECT_EQ(bank->kick.getAudioSamplingRate(), 44100.0f);
    // Cutoffs stay below half of a low rate, and the hat stays finite; a negative resonance
    // setting would make the cowbell's filter unstable.
    bank->setAudioSamplingRate(22050);
    bank->setVoiceParameter(kClosedHatFirstTag + kHatBPFFreq, 18000);
    bank->setVoiceParameter(kClosedHatFirstTag + kHatHPFFreq, 18000);
    EXPECT_LT(bank->closedHat.bandPass.getFrequency(), 11025.0f);
    for (float x : hit(bank->closedHat, 1, 22050))
        ASSERT_TRUE(std::isfinite(x) && std::fabs(x) < 10.0f);
    bank->setVoiceParameter(kCowbellFilterResonanceTag, -1.0f);
    EXPECT_EQ(bank->cowbell.bandPass.getResonance(), 1.0f);
    // Bends and tunings beyond any parameter's range are held at the voices' limits.
    bank->setVoiceParameter(kKickPitchModTag, 1e6f);
    bank->setVoiceParameter(kLowTomFirstTag, 1e6f);
    EXPECT_EQ(bank->kick.toneBendDepth, 2000.0f);
    EXPECT_EQ(bank->lowTom.fundamental.getFrequency(), 1000.0f);
    EXPECT_EQ(bank->getVoice(kNumVoices), nullptr);
    EXPECT_EQ(bank->getVoice(-1), nullptr);
    EXPECT_EQ(bank->getVoice(11), &bank->cowbell);
}
