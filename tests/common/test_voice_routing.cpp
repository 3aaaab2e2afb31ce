// The routing of the sound parameters (tags 0 to 107) to the twelve voices of BrakkaVoiceBank.
#include "BrakkaVoiceBank.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct TagValue {
    int tag;
    float value;
};

// DSP values of the parameters' defaults.
const TagValue kDefaults[] = {
    {0, 45},      {1, 0},      {2, 10},      {3, 0},       {4, 360},     {5, -0.38f},  {6, 10},
    {7, 0},       {8, 200},    {9, -0.55f},  {10, 99},     {11, 1000},   {12, 0.501f}, {13, 0},
    {14, 130},    {17, 200},   {18, -0.7f},  {19, 10000},  {22, 260},    {23, -0.5f},  {24, 1},
    {25, 100},    {26, 1000},  {27, 200},    {28, 1},      {29, 55},     {30, 60},     {31, 0.251f},
    {32, 1},      {33, 1},     {34, 0},      {35, 0.001f}, {36, -0.5f},  {37, 400},    {38, -0.5f},
    {39, 0.001f}, {40, -0.5f}, {41, 200},    {42, -0.5f},  {43, 75},     {44, 60},     {45, 0.251f},
    {46, 1},      {47, 1},     {48, 0},      {49, 0.001f}, {50, -0.5f},  {51, 400},    {52, -0.5f},
    {53, 0.001f}, {54, -0.5f}, {55, 200},    {56, -0.5f},  {57, 95},     {58, 60},     {59, 0.251f},
    {60, 1},      {61, 1},     {62, 0},      {63, 0.001f}, {64, -0.5f},  {65, 400},    {66, -0.5f},
    {67, 0.001f}, {68, -0.5f}, {69, 200},    {70, -0.5f},  {71, 1000},   {72, 200},    {73, 587},
    {74, 1.44f},  {77, 200},   {78, -0.5f},  {79, 2640},   {80, 0.05f},  {82, 5000},   {83, 5000},
    {84, 1},      {85, 0.5f},  {86, 100},    {87, 5000},   {88, 5000},   {89, 0.5f},   {90, 0.5f},
    {91, 400},    {92, -0.5f}, {93, 1},      {94, 0.316f}, {95, 0.316f}, {96, 7000},   {97, 0.1f},
    {98, -0.5f},  {99, 2000},  {100, -0.8f}, {101, 7000},  {102, 0.1f},  {103, -0.5f}, {104, 10},
    {105, -0.9f}, {106, 1},    {107, 1000},
};

std::unique_ptr<BrakkaVoiceBank> defaultBank() {
    auto bank = std::make_unique<BrakkaVoiceBank>();
    bank->setAudioSamplingRate(44100);
    for (const TagValue& tv : kDefaults)
        bank->setVoiceParameter(tv.tag, tv.value);
    return bank;
}

std::vector<float> hit(brakka_voice& v, int n) {
    v.thwack(1.0f);
    std::vector<float> out(static_cast<size_t>(n));
    for (float& x : out)
        x = v.process();
    return out;
}

// One hit of every voice of the bank, 0.2 s each.
std::vector<std::vector<float>> hitAll(BrakkaVoiceBank& bank) {
    std::vector<std::vector<float>> out;
    for (brakka_voice* v : bank.voices)
        out.push_back(hit(*v, 8820));
    return out;
}

long lastSound(const std::vector<float>& x) {
    for (long i = static_cast<long>(x.size()) - 1; i >= 0; --i)
        if (x[static_cast<size_t>(i)] != 0.0f) return i;
    return -1;
}

double crossingRate(const std::vector<float>& x, size_t from, size_t to) {
    int n = 0;
    for (size_t i = from + 1; i < to; ++i)
        n += x[i - 1] <= 0.0f && x[i] > 0.0f;
    return n * 44100.0 / double(to - from);
}

int voiceOfTag(int tag) {
    if (tag <= 13) return BrakkaVoiceBank::kKick;
    if (tag <= 24) return BrakkaVoiceBank::kSnare9;
    if (tag <= 28) return BrakkaVoiceBank::kSnare8;
    if (tag <= 70) return BrakkaVoiceBank::kLowTom + (tag - 29) / 14;
    if (tag <= 72) return BrakkaVoiceBank::kClap;
    if (tag <= 81) return BrakkaVoiceBank::kCowbell;
    if (tag <= 86) return BrakkaVoiceBank::kClosedHat;
    if (tag <= 92) return BrakkaVoiceBank::kOpenHat;
    if (tag <= 105) return BrakkaVoiceBank::kCymbal;
    return BrakkaVoiceBank::kRimshot;
}

// A changed value for every connected tag; an attack curvature needs an attack long enough
// to have a shape, so `before` sets one first in both banks.
struct Change {
    int tag;
    float value;
    TagValue before;
};

const Change kChanges[] = {
    {0, 80, {}},     {1, 0.5f, {}},  {2, 1, {}},      {3, 0.8f, {}},  {4, 800, {}},
    {5, 0.3f, {}},   {6, 1, {}},     {7, 0.7f, {}},   {8, 50, {}},    {9, 0.5f, {}},
    {10, 30, {}},    {11, 5000, {}}, {12, 1, {}},     {13, 1, {}},    {14, 200, {}},
    {17, 60, {}},    {18, 0.3f, {}}, {19, 2000, {}},  {22, 80, {}},   {23, 0.5f, {}},
    {24, 0.1f, {}},  {25, 150, {}},  {26, 5000, {}},  {27, 50, {}},   {28, 0.1f, {}},
    {71, 2000, {}},  {72, 600, {}},  {73, 700, {}},   {74, 1.8f, {}}, {77, 50, {}},
    {78, 0.5f, {}},  {79, 5000, {}}, {80, 0.4f, {}},  {82, 9000, {}}, {83, 2000, {}},
    {84, 1.5f, {}},  {85, 0.1f, {}}, {86, 300, {}},   {87, 9000, {}}, {88, 2000, {}},
    {89, 0.9f, {}},  {90, 0.1f, {}}, {91, 100, {}},   {92, 0.5f, {}}, {93, 1.5f, {}},
    {94, 0.05f, {}}, {95, 1, {}},    {96, 3000, {}},  {97, 4, {}},    {98, 0.5f, {}},
    {99, 500, {}},   {100, 0, {}},   {101, 3000, {}}, {102, 4, {}},   {103, 0.5f, {}},
    {104, 100, {}},  {105, 0, {}},   {106, 1.5f, {}}, {107, 300, {}},
};

// The same fourteen changes for each tom, by offset from its first tag.
const Change kTomChanges[] = {
    {0, 15, {}},   {1, 150, {}},         {2, 1.5f, {}},      {3, 0.1f, {}},  {4, 0.3f, {}},
    {5, 0.4f, {}}, {6, 10, {}},          {7, 0.5f, {6, 10}}, {8, 100, {}},   {9, 0.5f, {}},
    {10, 10, {}},  {11, 0.5f, {10, 10}}, {12, 600, {}},      {13, 0.5f, {}},
};

// `reference` holds one second of every voice of a fresh bank with the defaults.
void expectOnlyVoiceChanged(const Change& c, const std::vector<std::vector<float>>& reference) {
    SCOPED_TRACE(testing::Message() << "tag " << c.tag);
    int own = voiceOfTag(c.tag);
    auto changed = defaultBank();
    std::vector<float> a = reference[size_t(own)];
    if (c.before.tag > 0) {
        auto plain = defaultBank();
        plain->setVoiceParameter(c.before.tag, c.before.value);
        changed->setVoiceParameter(c.before.tag, c.before.value);
        a = hit(*plain->voices[own], 44100);
    }
    changed->setVoiceParameter(c.tag, c.value);
    std::vector<float> b = hit(*changed->voices[own], 44100);
    double diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff = std::fmax(diff, std::fabs(double(a[i]) - b[i]));
    EXPECT_GT(diff, 1e-3) << "voice " << own << " did not change";
    for (int v = 0; v < BrakkaVoiceBank::kNumVoices; ++v) {
        if (v == own) continue;
        const std::vector<float>& r = reference[size_t(v)];
        EXPECT_EQ(hit(*changed->voices[v], 8820), std::vector<float>(r.begin(), r.begin() + 8820))
            << "voice " << v;
    }
}

} // namespace

TEST(VoiceRouting, EveryConnectedTagChangesItsOwnVoiceAndNoOther) {
    auto bank = defaultBank();
    std::vector<std::vector<float>> reference;
    for (brakka_voice* v : bank->voices)
        reference.push_back(hit(*v, 44100));
    for (const Change& c : kChanges)
        expectOnlyVoiceChanged(c, reference);
    // Every offset on the low tom; the first and last offsets of the mid and high toms, which
    // share the low tom's dispatch (building a bank per case costs tens of milliseconds).
    for (int first : {29, 43, 57}) {
        for (Change c : kTomChanges) {
            if (first != 29 && c.tag != 0 && c.tag != 13) continue;
            if (c.tag == 0) c.value = first == 29 ? 70.0f : first == 43 ? 90.0f : 110.0f;
            c.tag += first;
            if (c.before.tag > 0) c.before.tag += first;
            expectOnlyVoiceChanged(c, reference);
        }
    }
}

TEST(VoiceRouting, UnconnectedTagsOutOfRangeTagsAndBadValuesChangeNothing) {
    auto bank = defaultBank();
    std::vector<std::vector<float>> reference = hitAll(*bank);
    auto touched = defaultBank();
    for (int tag :
         {15, 16, 20, 21, 75, 76, 81, 108, 117, 129, 249, 250, 251, 1000, INT_MAX, -1, INT_MIN})
        touched->setVoiceParameter(tag, 0.9f);
    for (int tag = 0; tag <= 107; ++tag) {
        touched->setVoiceParameter(tag, std::numeric_limits<float>::quiet_NaN());
        touched->setVoiceParameter(tag, std::numeric_limits<float>::infinity());
    }
    EXPECT_EQ(hitAll(*touched), reference);
}

TEST(VoiceRouting, TuneDecayAndFilterTagsActAsTheirParametersSay) {
    auto bank = defaultBank();
    // Kick tune, without bend and click: the tone's crossing rate follows the tag.
    bank->setVoiceParameter(10, 0);
    bank->setVoiceParameter(12, 0);
    bank->setVoiceParameter(4, 1500);
    for (float hz : {45.0f, 80.0f}) {
        bank->setVoiceParameter(0, hz);
        std::vector<float> out = hit(bank->kick, 44100);
        EXPECT_NEAR(crossingRate(out, 0, 44100), hz, 2);
    }
    // Decay times: the hit ends after attack plus decay.
    bank->setVoiceParameter(4, 200);
    EXPECT_NEAR(1000.0 * lastSound(hit(bank->kick, 44100)) / 44100, 210, 3);
    bank->setVoiceParameter(77, 50);
    bank->setVoiceParameter(78, 0);
    EXPECT_NEAR(1000.0 * lastSound(hit(bank->cowbell, 44100)) / 44100, 51, 1);
    // The clap's tail (curvature -1) fades below the float resolution at the same fraction of
    // its decay, so its length scales with "Clap Reverb".
    double shortTail = lastSound(hit(bank->claps, 44100));
    bank->setVoiceParameter(72, 600);
    EXPECT_NEAR(lastSound(hit(bank->claps, 44100)) / shortTail, 3.0, 0.15);
    // Snare 9's noise colour moves only the low band.
    bank->setVoiceParameter(19, 2000);
    EXPECT_EQ(bank->snare909.lowNoiseFilter.getFrequency(), 2000.0f);
    EXPECT_EQ(bank->snare909.highNoiseFilter.getFrequency(), 1000.0f);
    // The cowbell's resonance runs from Q 1 to 4.5.
    bank->setVoiceParameter(80, 0.5f);
    EXPECT_FLOAT_EQ(bank->cowbell.bandPass.getResonance(), 4.5f);
    // The hats' tune values: a factor for the closed hat, the plain value for the open one.
    EXPECT_FLOAT_EQ(bank->closedHat.oscillators[0].getFrequency(), 584.0f);
    EXPECT_FLOAT_EQ(bank->openHat.oscillators[0].getFrequency(), 292.0f);
    // Kick waveform: trunc of the value; only 1 selects the sine.
    bank->setVoiceParameter(13, 0.7f);
    EXPECT_EQ(bank->kick.toneBank.getCurrentTable(), 0);
    bank->setVoiceParameter(13, 1.0f);
    EXPECT_EQ(bank->kick.toneBank.getCurrentTable(), 1);
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
}

TEST(VoiceRouting, FilterCutoffsStayBelowHalfTheRateAndTheBankIgnoresBadRates) {
    BrakkaVoiceBank bank;
    bank.setAudioSamplingRate(22050);
    bank.setVoiceParameter(82, 18000);
    bank.setVoiceParameter(83, 18000);
    bank.setVoiceParameter(85, 1);
    EXPECT_LT(bank.closedHat.bandPass.getFrequency(), 11025.0f);
    std::vector<float> out = hit(bank.closedHat, 22050);
    for (float x : out)
        ASSERT_TRUE(std::isfinite(x) && std::fabs(x) < 10.0f);
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), 100.0f})
        bank.setAudioSamplingRate(rate);
    EXPECT_EQ(bank.kick.getAudioSamplingRate(), 22050.0f);
    EXPECT_EQ(bank.getVoice(12), nullptr);
    EXPECT_EQ(bank.getVoice(-1), nullptr);
    EXPECT_EQ(bank.getVoice(11), &bank.cowbell);
}
