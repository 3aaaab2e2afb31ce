#include "zu_paramManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

// One parameter of every law, each on its own tag.
enum {
    kLin = 0,
    kOnOff,
    kPct,
    kFlt,
    kExp,
    kDb,
    kInt,
    kBeat,
    kSTime,
    kSFreq,
    kSTimeN,
    kSFreqN,
    kNote,
    kWideTag = 40 // a sparse tag
};

class ParamManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        pm.newParameter(kLin, "Linear Thing", "LinThing", "msec", 10, 110, 60, kParamLinear);
        pm.newParameter(kOnOff, "Switch", "Switch", "", 0, 1, 0, kParamOnOff);
        pm.newParameter(kPct, "Amount", "Amount", "%", 0, 100, 25, kParamPercent);
        pm.newParameter(kFlt, "Ratio", "Ratio", "", 0, 200, 5, kParamFloat);
        pm.newParameter(kExp, "Cutoff", "Cutoff", "Hz", 100, 18000, 1000, kParamExponential);
        pm.newParameter(kDb, "Gain", "Gain", "dB", -60, 0, -6, kParamDecibel);
        pm.newParameter(kInt, "Choice", "Choice", "", 0, 4, 2, kParamInteger);
        pm.newParameter(kBeat, "Beat", "Beat", "", 0, 15, 5, kParamBeat);
        pm.newParameter(kSTime, "Delay Time", "DlyTime", "msec", 0, 1000, 250, kParamSyncTime);
        pm.newParameter(kSFreq, "LFO Rate", "LFORate", "Hz", 0.1f, 20, 2, kParamSyncFreq);
        pm.newParameter(kSTimeN, "Echo Time", "EchoTime", "msec", 0, 2000, 0.5f,
                        kParamSyncTimeNorm);
        pm.newParameter(kSFreqN, "Wobble", "Wobble", "Hz", 0.1f, 20, 0.5f, kParamSyncFreqNorm);
        pm.newParameter(kNote, "Root Note", "RootNote", "", 0, 127, 60, kParamNote);
        pm.newParameter(kWideTag, "Far Away", "FarAway", "", 0, 1, 0.25f, kParamLinear);
    }

    std::string display(long tag) {
        char text[64];
        std::memset(text, 'x', sizeof text);
        pm.getValueString(tag, text, 16);
        return text;
    }

    zu_paramManager pm;
};

TEST_F(ParamManagerTest, CreationSetsDefaultsAndValuesFollowThem) {
    EXPECT_EQ(pm.getParameterCount(), 14);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kLin), 60.0f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.5f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kWideTag), 0.25f);
    EXPECT_TRUE(pm.canRandomize(kExp));
    EXPECT_FALSE(pm.getHostSynced(kSTime));
    EXPECT_EQ(pm.getType(kNote), kParamNote);
}

TEST_F(ParamManagerTest, LinearPercentFloatAndOnOffLaws) {
    pm.setVSTvalue(kLin, 0.25f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kLin), 35.0f);
    pm.setNaturalValue(kLin, 500.0f); // stored unlimited, VST limited, DSP clamped
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kLin), 500.0f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 1.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kLin), 110.0f);

    pm.setNaturalValue(kPct, 40.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kPct), 0.4f);
    pm.setVSTvalue(kFlt, 0.5f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kFlt), 100.0f);

    pm.setVSTvalue(kOnOff, 0.5f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kOnOff), 0.0f);
    pm.setVSTvalue(kOnOff, 0.5000001f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kOnOff), 1.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kOnOff), 1.0f);
}

TEST_F(ParamManagerTest, ExponentialLawUsesTableAndClosedFormReverse) {
    pm.setVSTvalue(kExp, 0.5f);
    EXPECT_NEAR(pm.getNaturalValue(kExp), 1341.6f, 0.5f);
    pm.setVSTvalue(kExp, 0.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kExp), 100.0f);
    pm.setVSTvalue(kExp, 1.0f);
    EXPECT_NEAR(pm.getNaturalValue(kExp), 18000.0f, 0.05f);
    pm.setNaturalValue(kExp, 1000.0f);
    EXPECT_NEAR(pm.getVSTvalue(kExp), std::log(10.0) / std::log(180.0), 1e-6);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kExp), 1000.0f);
}

TEST_F(ParamManagerTest, DecibelLawAndItsDipBelowTheMinimum) {
    pm.setVSTvalue(kDb, 0.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kDb), -60.0f);
    pm.setVSTvalue(kDb, 1.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kDb), 0.0f);
    pm.setNaturalValue(kDb, -6.0f);
    EXPECT_NEAR(pm.getVSTvalue(kDb), 0.7270f, 0.0001f);
    EXPECT_NEAR(pm.getDSPValue(kDb), 0.5012f, 0.0001f);
    pm.setNaturalValue(kDb, -60.0f);
    EXPECT_NEAR(pm.getVSTvalue(kDb), 0.0308f, 0.0001f);
    pm.setNaturalValue(kDb, 0.0f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kDb), 1.0f);

    // One table step above zero the curve sits about 81.7 dB below the top.
    pm.setVSTvalue(kDb, 1.0f / 1023.0f);
    EXPECT_NEAR(pm.getNaturalValue(kDb), -81.7f, 0.1f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kDb), std::pow(10.0f, -3.0f)); // clamped to the minimum
    // The curve is back at the minimum near v = 0.0308.
    EXPECT_NEAR(pm.naturalValueFromVSTvalue(kDb, 0.0308f), -60.0f, 0.1f);
}

TEST_F(ParamManagerTest, IntegerAndNoteLawsRound) {
    pm.setVSTvalue(kInt, 0.125f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kInt), 1.0f);
    pm.setVSTvalue(kInt, 0.124f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kInt), 0.0f);
    pm.setNaturalValue(kInt, 3.0f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kInt), 0.75f);

    pm.setVSTvalue(kNote, 60.0f / 127.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kNote), 60.0f);
    EXPECT_EQ(display(kNote), "C3");
    pm.setNaturalValue(kNote, 61.0f);
    EXPECT_EQ(display(kNote), "C#3");
    pm.setNaturalValue(kNote, 11.0f);
    EXPECT_EQ(display(kNote), "B-2");
}

TEST_F(ParamManagerTest, MetricalLaws) {
    pm.setVSTvalue(kBeat, 1.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kBeat), 14.0f); // floor(0.99 * 15)
    pm.setNaturalValue(kBeat, 8.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kBeat), 1.0f);
    EXPECT_EQ(display(kBeat), "1/4  ");

    // Sync time: linear while free, an index into the metrical table when synced.
    pm.setVSTvalue(kSTime, 0.5f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kSTime), 500.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kSTime), 500.0f);
    EXPECT_EQ(display(kSTime), " 500");
    pm.setHostSynced(kSTime, true);
    EXPECT_TRUE(pm.getHostSynced(kSTime));
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kSTime), 7.0f); // recomputed under the synced law
    EXPECT_FLOAT_EQ(pm.getDSPValue(kSTime), 0.75f);
    EXPECT_EQ(display(kSTime), "1/8. ");

    // Sync frequency: reversed index, reciprocal beat length.
    pm.setHostSynced(kSFreq, true);
    pm.setVSTvalue(kSFreq, 0.8f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kSFreq), 2.0f); // floor(15 * 0.2) with float noise
    pm.setNaturalValue(kSFreq, 3.0f);
    EXPECT_NEAR(pm.getVSTvalue(kSFreq), 0.8f, 1e-6);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kSFreq), 3.0f);
    EXPECT_EQ(display(kSFreq), "1/8 T");
    pm.setHostSynced(kSFreq, false);
    pm.setVSTvalue(kSFreq, 0.0f);
    EXPECT_NEAR(pm.getNaturalValue(kSFreq), 0.1f, 1e-6);

    // Normalized variants keep v as the natural value.
    pm.setVSTvalue(kSTimeN, 0.25f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kSTimeN), 500.0f);
    pm.setHostSynced(kSTimeN, true);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kSTimeN), gBeatMults[3]);
    EXPECT_EQ(display(kSTimeN), "1/8 T");
    pm.setVSTvalue(kSFreqN, 1.0f);
    EXPECT_NEAR(pm.getDSPValue(kSFreqN), 20.0f, 1e-3);
    pm.setHostSynced(kSFreqN, true);
    pm.setVSTvalue(kSFreqN, 0.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(kSFreqN), 1.0f / gBeatMults[15]);
    EXPECT_EQ(display(kSFreqN), "1/1  ");

    // The flag is ignored on laws without sync.
    pm.setHostSynced(kLin, true);
    EXPECT_FALSE(pm.getHostSynced(kLin));
    EXPECT_EQ(pm.getAuxValue(kLin), 0);
}

TEST_F(ParamManagerTest, SteppingWrapsTogglesAndStops) {
    struct Step {
        long tag;
        float from;
        bool up;
        float to;
    };
    const Step steps[] = {
        {kOnOff, 0, true, 1},     {kOnOff, 1, false, 0}, {kInt, 4, true, 0},
        {kInt, 0, false, 4},      {kBeat, 15, true, 0},  {kBeat, 0, false, 15},
        {kNote, 127, true, 0},    {kNote, 0, false, 0},  {kLin, 109.5f, true, 110},
        {kLin, 10.5f, false, 10}, {kDb, -0.5f, true, 0}, {kExp, 100.5f, false, 100},
    };
    for (const Step& s : steps) {
        pm.setNaturalValue(s.tag, s.from);
        if (s.up)
            pm.incrementNaturalValue(s.tag);
        else
            pm.decrementNaturalValue(s.tag);
        EXPECT_FLOAT_EQ(pm.getNaturalValue(s.tag), s.to) << s.tag << (s.up ? " up" : " down");
        EXPECT_FLOAT_EQ(pm.getVSTvalue(s.tag), pm.VSTvalueFromNaturalValue(s.tag, s.to));
    }
}

TEST_F(ParamManagerTest, RandomizeRespectsFlagAndLaw) {
    pm.setRandomizeable(kLin, false);
    pm.setVSTvalue(kLin, 0.3f);
    for (int i = 0; i < 20; ++i)
        pm.randomize(kLin);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.3f);

    pm.newParameter(50, "Bit", "Bit", "", 0, 1, 0, kParamInteger);
    bool sawOn = false, sawOff = false, sawFraction = false;
    for (int i = 0; i < 200; ++i) {
        pm.randomize(kOnOff);
        pm.randomize(50);
        pm.randomize(kExp);
        float a = pm.getVSTvalue(kOnOff), b = pm.getVSTvalue(50), c = pm.getVSTvalue(kExp);
        ASSERT_TRUE(a == 0.0f || a == 1.0f);
        ASSERT_TRUE(b == 0.0f || b == 1.0f);
        ASSERT_GE(c, 0.0f);
        ASSERT_LT(c, 1.0f);
        sawOn |= a == 1.0f;
        sawOff |= a == 0.0f;
        sawFraction |= c > 0.0f && c < 1.0f;
    }
    EXPECT_TRUE(sawOn && sawOff && sawFraction);
}

TEST_F(ParamManagerTest, NamesAndUnits) {
    char text[32];
    pm.newParameter(60, "Low Tom Pitch Depth", "LTptchDpt", "%", 0, 100, 30, kParamPercent);
    std::memset(text, 'x', sizeof text);
    pm.getName(60, text, 8);
    EXPECT_STREQ(text, "LTptchDp");
    pm.getName(60, text, 24);
    EXPECT_STREQ(text, "Low Tom Pitch Depth");
    pm.getName(60, text, 5);
    EXPECT_STREQ(text, "LTptc");
    EXPECT_EQ(pm.getName(60), "Low Tom Pitch Depth");

    pm.getUnitsName(kExp, text, 8);
    EXPECT_STREQ(text, "Hz");
    pm.getUnitsName(kSTime, text, 8);
    EXPECT_STREQ(text, "msec");
    pm.getUnitsName(kSTime, text, 4);
    EXPECT_STREQ(text, "ms");
    pm.setHostSynced(kSTime, true);
    pm.getUnitsName(kSTime, text, 8);
    EXPECT_STREQ(text, "");
    pm.getUnitsName(kSFreqN, text, 8);
    EXPECT_STREQ(text, "Hz");
    pm.setHostSynced(kSFreqN, true);
    pm.getUnitsName(kSFreqN, text, 8);
    EXPECT_STREQ(text, "");
}

TEST_F(ParamManagerTest, DisplayStringsByLaw) {
    pm.setVSTvalue(kOnOff, 1.0f);
    EXPECT_EQ(display(kOnOff), "On");
    pm.setVSTvalue(kOnOff, 0.0f);
    EXPECT_EQ(display(kOnOff), "Off");
    EXPECT_EQ(display(kLin), "  60");
    EXPECT_EQ(display(kDb), "  -6");
    EXPECT_EQ(display(kInt), "   2");
    for (auto [n, text] : {std::pair<float, const char*>{0.5f, "0.500"},
                           {5.0f, "5.00"},
                           {50.0f, "50.0"},
                           {150.0f, " 150"}}) {
        pm.setNaturalValue(kFlt, n);
        EXPECT_EQ(display(kFlt), text);
    }
    pm.setNaturalValue(kExp, 1000.0f);
    EXPECT_EQ(display(kExp), "1000");

    // Numeric texts are cut to len - 1 characters.
    char text[8];
    pm.getValueString(kExp, text, 3);
    EXPECT_STREQ(text, "10");
    // A VST value is formatted for an 8-character field.
    pm.getValueStringFromVSTvalue(kLin, text, 1.0f, 0);
    EXPECT_STREQ(text, " 110");
    char wide[16];
    pm.setVSTvalue(kLin, 0.25f);
    pm.getVSTvalueString(kLin, wide);
    EXPECT_STREQ(wide, "0.250000");
    pm.getTextEditString(kLin, wide, 8);
    EXPECT_STREQ(wide, "35");
    pm.getTextEditString(kLin, wide, 0);
    EXPECT_STREQ(wide, "");

    pm.floatToTimeStr(wide, 1500.0f, 8);
    EXPECT_STREQ(wide, "1.500");
    pm.floatToTimeStr(wide, 12.4f, 8);
    EXPECT_STREQ(wide, " 12");

    std::vector<std::string> all{"keep"};
    pm.getAllValueStrings(kLin, all);
    EXPECT_EQ(all, std::vector<std::string>{"keep"});
    pm.newParameter(51, "Size", "Size", "", 0, 6, 2, kParamInteger);
    pm.getAllValueStrings(51, all);
    EXPECT_EQ(all, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6"}));
}

TEST_F(ParamManagerTest, ParsingAndMetricalMatching) {
    float n = 0.0f;
    EXPECT_TRUE(pm.naturalValueFromString(kLin, "42.5", n));
    EXPECT_FLOAT_EQ(n, 42.5f);
    EXPECT_TRUE(pm.naturalValueFromString(kLin, "9000", n));
    EXPECT_FLOAT_EQ(n, 110.0f);
    n = -5.0f;
    EXPECT_FALSE(pm.naturalValueFromString(kLin, "fast", n));
    EXPECT_FLOAT_EQ(n, 10.0f); // limited even when nothing was read
    EXPECT_FALSE(pm.naturalValueFromString(kOnOff, "1", n));

    int index = -1;
    EXPECT_TRUE(pm.matchMetricalStr("1/8 T", index));
    EXPECT_EQ(index, 3);
    index = -1;
    EXPECT_TRUE(pm.matchMetricalStr("1/8T", index));
    EXPECT_EQ(index, 3);
    EXPECT_TRUE(pm.matchMetricalStr("1/16.", index));
    EXPECT_EQ(index, 4);
    EXPECT_FALSE(pm.matchMetricalStr("1/64", index));
    EXPECT_FALSE(pm.matchMetricalStr("", index));

    EXPECT_TRUE(pm.naturalValueFromString(kBeat, "1/4.", n));
    EXPECT_FLOAT_EQ(n, 10.0f);
    pm.setHostSynced(kSTime, true);
    EXPECT_TRUE(pm.naturalValueFromString(kSTime, "1/2", n));
    EXPECT_FLOAT_EQ(n, 11.0f);

    const auto& names = zu_paramManager::getMetricalNames();
    ASSERT_EQ(names.size(), 15u);
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(pm.matchMetricalStr(names[i].c_str(), index));
        EXPECT_EQ(index, static_cast<int>(i));
        // The display table, blanks removed, names the same value.
        ASSERT_TRUE(pm.matchMetricalStr(zu_paramManager::beatTimeStr[i], index));
        EXPECT_EQ(index, static_cast<int>(i));
    }
}

TEST_F(ParamManagerTest, StatesSnapshotAndRestoreInTagOrder) {
    const std::set<unsigned int> tags{kInt, kLin, 999}; // an unknown tag is left out
    pm.setVSTvalue(kLin, 0.1f);
    pm.setVSTvalue(kInt, 0.25f);
    const int a = pm.createState(tags);
    const int b = pm.createState(tags);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);

    pm.setVSTvalue(kLin, 0.9f);
    pm.saveState(b);
    pm.restoreState(a);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.1f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kLin), 20.0f);
    pm.restoreState(b);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.9f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kInt), 0.25f);

    pm.restoreState(7); // no such snapshot
    pm.saveState(-1);
    EXPECT_FALSE(pm.hasParameter(999));
}

TEST_F(ParamManagerTest, MementoCarriesValuesAndSnapshots) {
    pm.setVSTvalue(kLin, 0.2f);
    pm.createState({kLin});
    std::unique_ptr<paramMemento> memento(pm.createMemento());
    ASSERT_EQ(memento->lists.size(), 2u);
    ASSERT_EQ(memento->lists[0].size(), 14u);
    EXPECT_EQ(memento->lists[0].back().tag, static_cast<unsigned>(kWideTag));

    pm.setVSTvalue(kLin, 0.7f);
    pm.setVSTvalue(kDb, 0.0f);
    pm.saveState(0);
    pm.createState({kInt});
    pm.setMemento(memento.get());
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.2f);
    EXPECT_NEAR(pm.getNaturalValue(kDb), -6.0f, 1e-3f); // read back through the table
    EXPECT_EQ(pm.getStateCount(), 1);
    pm.setVSTvalue(kLin, 0.5f);
    pm.restoreState(0);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.2f);
    pm.setMemento(nullptr);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(kLin), 0.2f);
}

TEST_F(ParamManagerTest, UnknownTagsAnswerNeutrallyAndInsertNothing) {
    char text[16] = "junk";
    for (long tag : {-1L, 13L, 39L, 41L, 70000L}) {
        EXPECT_FLOAT_EQ(pm.getVSTvalue(tag), 0.0f);
        EXPECT_FLOAT_EQ(pm.getDSPValue(tag), 0.0f);
        EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(tag, 0.3f), 0.0f);
        pm.setVSTvalue(tag, 0.5f);
        pm.setNaturalValue(tag, 0.5f);
        pm.incrementNaturalValue(tag);
        pm.randomize(tag);
        pm.getName(tag, text, 8);
        EXPECT_STREQ(text, "");
        pm.getValueString(tag, text, 8);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(pm.getName(tag), "");
        float n = 3.0f;
        EXPECT_FALSE(pm.naturalValueFromString(tag, "1", n));
    }
    pm.newParameter(-4, "Bad", "Bad", "", 0, 1, 0, kParamLinear);
    EXPECT_EQ(pm.getParameterCount(), 14);
}

TEST_F(ParamManagerTest, HostileValuesNeverReadOutsideTables) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {nan, inf, -inf, -3.0f, 7.5f, 1e30f}) {
        for (long tag = kLin; tag <= kNote; ++tag) {
            pm.setHostSynced(tag, (tag & 1) != 0);
            pm.setVSTvalue(tag, v);
            float dsp = pm.getDSPValue(tag);
            EXPECT_FALSE(std::isnan(dsp)) << "tag " << tag << " v " << v;
            pm.getModulatedDSPValue(tag, v);
            pm.setNaturalValue(tag, v);
            EXPECT_GE(pm.getVSTvalue(tag), 0.0f);
            EXPECT_LE(pm.getVSTvalue(tag), 1.0f);
            pm.getDSPValue(tag);
            char text[16];
            pm.getValueString(tag, text, sizeof text);
            pm.getValueStringFromNaturalValue(tag, text, v, sizeof text);
            EXPECT_LT(std::strlen(text), sizeof text);
        }
    }
    // Table reads outside [0, 1] stay at the ends.
    EXPECT_FLOAT_EQ(pm.naturalValueFromVSTvalue(kExp, -1.0f), 100.0f);
    EXPECT_NEAR(pm.naturalValueFromVSTvalue(kExp, 2.0f), 18000.0f, 0.05f);
    EXPECT_FLOAT_EQ(pm.naturalValueFromVSTvalue(kDb, nan), -60.0f);
    EXPECT_FLOAT_EQ(pm.dspValueFromNaturalValue(kBeat, 1e9f), gBeatMults[15]);
    EXPECT_FLOAT_EQ(pm.dspValueFromNaturalValue(kBeat, -4.0f), gBeatMults[0]);
}

} // namespace
