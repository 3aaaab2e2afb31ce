#include "BrakkaParameterManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <thread>

namespace {

class BrakkaParamsTest : public ::testing::Test {
protected:
    std::string display(long tag, int len = 8) {
        char text[64];
        std::memset(text, 'x', sizeof text);
        pm.getValueString(tag, text, len);
        return text;
    }
    std::string shortName(long tag) {
        char text[16];
        pm.getName(tag, text, 8);
        return text;
    }
    std::string units(long tag) {
        char text[16];
        pm.getUnitsName(tag, text, 8);
        return text;
    }

    BrakkaParameterManager pm;
};

TEST_F(BrakkaParamsTest, TableIsCompleteAndConsistent) {
    EXPECT_EQ(pm.getParameterCount(), 263);
    std::set<std::string> shortNames, longNames;
    for (long tag = 0; tag < 263; ++tag) {
        ASSERT_TRUE(pm.hasParameter(tag)) << tag;
        const float lo = pm.getMinimumValue(tag), hi = pm.getMaximumValue(tag);
        const float def = pm.getDefaultValue(tag);
        EXPECT_LT(lo, hi) << tag;
        EXPECT_GE(def, lo) << tag;
        EXPECT_LE(def, hi) << tag;
        EXPECT_FLOAT_EQ(pm.getNaturalValue(tag), def) << tag;
        EXPECT_FLOAT_EQ(pm.getVSTvalue(tag), pm.VSTvalueFromNaturalValue(tag, def)) << tag;
        const zu_paramTypes t = pm.getType(tag);
        EXPECT_TRUE(t == kParamLinear || t == kParamOnOff || t == kParamPercent ||
                    t == kParamExponential || t == kParamDecibel || t == kParamInteger)
            << tag;
        EXPECT_TRUE(shortNames.insert(shortName(tag)).second) << "short name of " << tag;
        EXPECT_TRUE(longNames.insert(pm.getName(tag)).second) << "long name of " << tag;
        EXPECT_TRUE(pm.canRandomize(tag));
    }
    EXPECT_FALSE(pm.hasParameter(263));
    EXPECT_EQ(pm.getName(262), "MIDI Output Only");
    EXPECT_FLOAT_EQ(pm.getVSTvalue(0), 5.0f / 70.0f);
    EXPECT_NEAR(pm.getVSTvalue(12), 0.7270f, 1e-4f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(118), 1.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(4), 360.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(111), 120.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(178), 100.0f);
}

TEST_F(BrakkaParamsTest, NamesOfFamiliesAndOddShortNames) {
    EXPECT_EQ(shortName(65), "HTtn1DTm");
    EXPECT_EQ(shortName(30), "LTptchDp"); // "LTptchDpt" cut to the host field
    EXPECT_EQ(shortName(58), "HTTptchD");
    EXPECT_EQ(shortName(60), "HTTnoisL");
    EXPECT_EQ(shortName(46), "MTnoisLv");
    EXPECT_EQ(pm.getName(57), "High Tom Freq");
    char text[32];
    pm.getName(30, text, 24);
    EXPECT_STREQ(text, "Low Tom Pitch Depth");

    const struct {
        long tag;
        const char* longName;
        const char* shortName;
    } families[] = {
        {118, "Kickdrum Level", "KD Level"},  {124, "Closed High Hat Level", "CHH Leve"},
        {139, "Rimshot Pan", "RS Pan"},       {149, "Open High Hat Output", "OHH Out"},
        {196, "CH Random Beats", "CHrndbts"}, {211, "RS Random Size", "RSrndsz"},
        {244, "CH Random Fill", "CH Rand"},   {261, "CB Random Reset", "CBrndrst"}};
    for (const auto& f : families) {
        EXPECT_EQ(pm.getName(f.tag), f.longName);
        EXPECT_EQ(shortName(f.tag), f.shortName);
    }

    EXPECT_EQ(units(0), "Hz");
    EXPECT_EQ(units(72), "ms");
    EXPECT_EQ(units(111), "BPM");
    EXPECT_EQ(units(13), "");
}

TEST_F(BrakkaParamsTest, TagSetsAndSnapshots) {
    const auto& mod = pm.getModulatableTags();
    const auto& pat = pm.getPatternTags();
    EXPECT_EQ(mod.size(), 120u);
    EXPECT_EQ(pat.size(), 61u);
    EXPECT_EQ(*pat.begin(), 108u);
    EXPECT_EQ(*pat.rbegin(), 261u);
    EXPECT_EQ(*mod.rbegin(), 141u);
    for (long tag = -2; tag < 270; ++tag) {
        const bool inMod = tag >= 0 && mod.count(static_cast<unsigned>(tag));
        const bool inPat = tag >= 0 && pat.count(static_cast<unsigned>(tag));
        EXPECT_EQ(pm.isModulatableTag(tag), inMod) << tag;
        EXPECT_EQ(pm.isPatternTag(tag), inPat) << tag;
        EXPECT_FALSE(inMod && inPat) << tag;
        // Exactly the modulatable tags belong to a voice.
        if (tag >= 0) {
            EXPECT_EQ(pm.getVoiceFromParamTag(tag) >= 0, inMod) << tag;
        }
    }
    EXPECT_FALSE(pm.isPatternTag(226)); // clear and fill triggers are not pattern values
    EXPECT_FALSE(pm.isPatternTag(249));
    EXPECT_TRUE(pm.isPatternTag(213));

    // One snapshot per pattern, over the pattern tags only.
    ASSERT_EQ(pm.getStateCount(), 16);
    pm.setNaturalValue(108, 4);
    pm.setNaturalValue(178, 30);
    pm.setNaturalValue(0, 90);
    pm.saveState(3);
    pm.setNaturalValue(108, 1);
    pm.setNaturalValue(178, 70);
    pm.setNaturalValue(0, 50);
    pm.restoreState(3);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(108), 4.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(178), 30.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(0), 50.0f);
    pm.restoreState(0); // untouched snapshot: the defaults
    EXPECT_FLOAT_EQ(pm.getNaturalValue(108), 0.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(178), 100.0f);
}

TEST_F(BrakkaParamsTest, DSPValuesOfSpecialTags) {
    EXPECT_FLOAT_EQ(pm.getDSPValue(10), 99.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(30), 60.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(58), 60.0f);
    EXPECT_NEAR(pm.getDSPValue(12), 0.501f, 0.001f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(112), 1.0f);
    pm.setNaturalValue(112, 100);
    EXPECT_FLOAT_EQ(pm.getDSPValue(112), 0.2f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(108), 3.0f);
    pm.setNaturalValue(108, 2);
    EXPECT_FLOAT_EQ(pm.getDSPValue(108), 4.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(205), 6.0f);
    pm.setNaturalValue(205, 6);
    EXPECT_FLOAT_EQ(pm.getDSPValue(205), 48.0f);

    // Closed-hat, cymbal and rimshot tunings are frequency factors; the open hat's is not.
    for (long tag : {84L, 93L, 106L}) {
        EXPECT_FLOAT_EQ(pm.getDSPValue(tag), 1.0f);
        pm.setVSTvalue(tag, 0.25f);
        EXPECT_FLOAT_EQ(pm.getDSPValue(tag), 0.75f);
        pm.setVSTvalue(tag, 0.75f);
        EXPECT_FLOAT_EQ(pm.getDSPValue(tag), 1.5f);
    }
    EXPECT_FLOAT_EQ(pm.getDSPValue(89), 0.5f);
    pm.setVSTvalue(89, 0.75f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(89), 0.75f);

    // Ordinary laws: percent as a fraction, on/off, exponential in Hz.
    EXPECT_FLOAT_EQ(pm.getDSPValue(85), 0.5f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(11), 1000.0f);
    pm.setVSTvalue(81, 1.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(81), 1.0f);

    // Out-of-range VST values still give values inside the laws' ranges.
    pm.setVSTvalue(112, 3.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(112), 0.2f);
    pm.setVSTvalue(10, -1.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(10), 0.0f);
}

TEST_F(BrakkaParamsTest, ModulatedValues) {
    // A neutral step gives the plain value for every modulatable tag but the waveform switch.
    for (unsigned tag : pm.getModulatableTags()) {
        const float plain = pm.getDSPValue(tag);
        const float modulated = pm.getModulatedDSPValue(tag, 0.5f);
        if (tag == 13)
            EXPECT_FLOAT_EQ(modulated, 0.0f);
        else
            EXPECT_NEAR(modulated, plain, std::fabs(plain) * 1e-3f + 1e-5f) << tag;
    }
    // The waveform follows the step alone.
    pm.setVSTvalue(13, 1.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(13, 0.5f), 0.0f);
    pm.setVSTvalue(13, 0.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(13, 0.51f), 1.0f);

    // x = v + 2m - 1, limited.
    pm.setVSTvalue(0, 0.8f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(0, 1.0f), 110.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(0, 0.0f), 40.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(0, 0.6f), 40.0f + 70.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(0, 0.55f), 40.0f + 70.0f * 0.9f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(0), 0.8f); // nothing stored
    EXPECT_NEAR(pm.getModulatedDSPValue(10, 0.6f), 150.0f * 0.86f, 1e-3f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(10, 0.75f), 150.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(44, 0.25f), 0.0f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(84, 0.625f), 1.5f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(89, 0.625f), 0.75f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(85, 0.6f), 0.7f);

    // Decibel steps keep the curve's dip below the minimum.
    pm.setVSTvalue(12, 0.01f);
    const float dipped = pm.getModulatedDSPValue(12, 0.5f);
    EXPECT_LT(dipped, pm.getDSPValue(12));
    EXPECT_FLOAT_EQ(pm.getDSPValue(12), 0.001f);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(0, nan), 40.0f + 70.0f * 0.8f);
}

TEST_F(BrakkaParamsTest, DisplayStrings) {
    EXPECT_EQ(display(5), "-0.380");
    EXPECT_EQ(display(1), "0.000");
    EXPECT_EQ(display(74), "1.440");
    EXPECT_EQ(display(80), "0.050");
    EXPECT_EQ(display(5, 4), "-0.");
    EXPECT_EQ(display(16), "  -1"); // other curves print whole numbers
    EXPECT_EQ(display(0), "  45");
    EXPECT_EQ(display(11), "1000");
    EXPECT_EQ(display(110), "Off");
    EXPECT_EQ(display(202), "1/16");

    const char* steps[] = {"1 x 32", "2 x 16", "1 x 16T", "1 x 16", "1 x 8T"};
    for (int i = 0; i < 5; ++i) {
        pm.setNaturalValue(108, float(i));
        EXPECT_EQ(display(108), steps[i]);
    }
    EXPECT_EQ(display(108, 4), "1 x");
    const char* syncs[] = {"HOST", "INT", "MIDI"};
    for (int i = 0; i < 3; ++i) {
        pm.setNaturalValue(113, float(i));
        EXPECT_EQ(display(113), syncs[i]);
    }
    const char* sizes[] = {"1/32", "1/16T", "1/16", "1/8T", "1/8", "1/4", "1/2"};
    for (int i = 0; i < 7; ++i) {
        pm.setNaturalValue(211, float(i));
        EXPECT_EQ(display(211), sizes[i]);
    }
    EXPECT_EQ(display(114), "01");
    pm.setNaturalValue(114, 15);
    EXPECT_EQ(display(114), "16");

    // Outputs: the linear ones truncate, the integer ones round.
    EXPECT_EQ(pm.getType(150), kParamLinear);
    EXPECT_EQ(pm.getType(151), kParamInteger);
    for (long tag = 142; tag <= 153; ++tag) {
        pm.setVSTvalue(tag, 0.39f);
        EXPECT_EQ(display(tag), tag <= 150 ? "B" : "C") << tag;
    }
    EXPECT_FLOAT_EQ(pm.getNaturalValue(142), 1.95f);
    pm.setVSTvalue(142, 1.0f);
    EXPECT_EQ(display(142), "F");
}

TEST_F(BrakkaParamsTest, VoiceOfTag) {
    const std::pair<unsigned, int> cases[] = {
        {0, 0},    {13, 0},   {14, 2},   {24, 2},   {25, 1},          {28, 1},   {29, 3},
        {42, 3},   {43, 4},   {56, 4},   {57, 5},   {70, 5},          {71, 10},  {72, 10},
        {73, 11},  {81, 11},  {82, 6},   {86, 6},   {87, 7},          {92, 7},   {93, 8},
        {105, 8},  {106, 9},  {107, 9},  {130, 0},  {139, 9},         {141, 11}, {108, -1},
        {129, -1}, {142, -1}, {262, -1}, {263, -1}, {4000000000u, -1}};
    for (auto [tag, voice] : cases)
        EXPECT_EQ(pm.getVoiceFromParamTag(tag), voice) << tag;
}

TEST_F(BrakkaParamsTest, PanLaw) {
    const float* left = pm.getPanLawLeft();
    const float* right = pm.getPanLawRight();
    EXPECT_FLOAT_EQ(left[0], 1.0f);
    EXPECT_FLOAT_EQ(right[0], 0.0f);
    EXPECT_NEAR(left[999], 0.00157f, 1e-5f);
    EXPECT_NEAR(right[999], 1.0f, 1e-5f);
    for (int i = 0; i < 1000; ++i)
        ASSERT_NEAR(left[i] * left[i] + right[i] * right[i], 1.0f, 1e-6f) << i;
    EXPECT_EQ(BrakkaParameterManager::panLawIndex(0.0f), 0);
    EXPECT_EQ(BrakkaParameterManager::panLawIndex(0.5f), 499);
    EXPECT_EQ(BrakkaParameterManager::panLawIndex(1.0f), 999);
    EXPECT_EQ(BrakkaParameterManager::panLawIndex(1.5f), 999);
    EXPECT_EQ(BrakkaParameterManager::panLawIndex(-0.1f), 0);
    EXPECT_EQ(BrakkaParameterManager::panLawIndex(std::nanf("")), 0);
}

TEST_F(BrakkaParamsTest, BadTagsAndValuesStaySafe) {
    for (long tag : {-1L, 263L, 100000L}) {
        EXPECT_FLOAT_EQ(pm.getDSPValue(tag), 0.0f);
        EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(tag, 0.7f), 0.0f);
        EXPECT_EQ(display(tag), "");
        pm.setVSTvalue(tag, 0.5f);
    }
    EXPECT_EQ(pm.getParameterCount(), 263);

    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -1e30f,
                             1e30f,
                             -7.0f,
                             9.0f};
    for (float v : hostile) {
        for (long tag = 0; tag < 263; ++tag) {
            pm.setVSTvalue(tag, v);
            EXPECT_FALSE(std::isnan(pm.getDSPValue(tag))) << tag;
            pm.getModulatedDSPValue(tag, v);
            char text[9];
            pm.getValueString(tag, text, 8);
            EXPECT_LT(std::strlen(text), 8u) << tag;
            pm.setNaturalValue(tag, v);
            pm.getValueString(tag, text, 8);
            EXPECT_LT(std::strlen(text), 8u) << tag;
            EXPECT_FALSE(std::isnan(pm.getDSPValue(tag))) << tag;
        }
    }
    pm.setNaturalValue(108, 1e9f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(108), 8.0f);
    pm.setNaturalValue(207, -50.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(207), 3.0f);
}

} // namespace

namespace {

// The audio thread reads DSP values while another thread writes values and snapshots. Run
// under the thread sanitizer this shows that no container is touched by both.
TEST(BrakkaParamsConcurrency, ReadsDuringWritesStayInRange) {
    BrakkaParameterManager pm;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 200; ++round) {
            for (long tag = 0; tag < 263; ++tag)
                pm.setVSTvalue(tag, float((round + tag) % 11) / 10.0f);
            pm.saveState(round % 16);
            pm.restoreState((round + 5) % 16);
        }
        done = true;
    });
    long reads = 0;
    bool inRange = true;
    do { // at least one pass, however fast the writer is
        for (unsigned tag : pm.getModulatableTags()) {
            const float dsp = pm.getModulatedDSPValue(tag, 0.5f);
            inRange = inRange && !std::isnan(dsp) && dsp >= -1.0f && dsp <= 18000.5f;
        }
        const float swing = pm.getDSPValue(112);
        inRange = inRange && swing >= 0.2f && swing <= 1.0f;
        ++reads;
    } while (!done);
    writer.join();
    EXPECT_TRUE(inRange);
    EXPECT_GT(reads, 0);
}

} // namespace
