// The parameter framework: every law (synced and free) at pinned points with its reverse law,
// named points, stepping, randomizing, parsing, texts, snapshots, mementos and bad input.
#include "zu_paramManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Def {
    long tag;
    float lo, hi, def;
    zu_paramTypes type;
    const char* units;
};

// One parameter of each law, tag = law number, plus a wide linear one for long texts.
// clang-format off
const Def kDefs[] = {
    {0, 10, 20, 12, kParamLinear, "msec"}, {1, 0, 1, 0, kParamOnOff, ""},
    {2, 0, 100, 50, kParamPercent, "%"}, {3, -1, 1, 0.25f, kParamFloat, ""},
    {4, 20, 20000, 1000, kParamExponential, "Hz"}, {5, -60, 0, -6, kParamDecibel, "dB"},
    {6, 0, 4, 2, kParamInteger, ""}, {7, 0, 15, 8, kParamBeat, ""},
    {8, 1, 1000, 250, kParamSyncTime, "xx"}, {9, 0.1f, 20, 1, kParamSyncFreq, "yy"},
    {10, 1, 1000, 0.5f, kParamSyncTimeNorm, "zz"}, {11, 0.1f, 20, 0.5f, kParamSyncFreqNorm, ""},
    {12, 0, 127, 60, kParamNote, ""}, {20, 0, 1e12f, 0, kParamLinear, ""}};
// clang-format on

using PM = zu_paramManager;

// Records the order in which values come back.
class RecordingManager : public zu_paramManager {
public:
    void setVSTvalue(long tag, float v) override {
        order.push_back(tag);
        zu_paramManager::setVSTvalue(tag, v);
    }
    std::vector<long> order;
};

class ParamManager : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Def& d : kDefs)
            pm.newParameter(d.tag, "A Long Parameter Name", "ShortNam", d.units, d.lo, d.hi, d.def,
                            d.type);
    }
    std::string text(void (PM::*f)(long, char*, int), long tag, int len) {
        char b[80];
        std::memset(b, 'x', sizeof b);
        (pm.*f)(tag, b, len);
        return b;
    }
    std::string value(long tag, float n, int len = 24) {
        pm.setNaturalValue(tag, n);
        return text(&PM::getValueString, tag, len);
    }
    zu_paramManager pm;
};

// Each law at pinned VST values, free and synced: the natural value, the DSP value and the text;
// the reverse law finds the natural value again.
TEST_F(ParamManager, EveryLawAtPinnedPoints) {
    // tag (= law), synced, v: natural value, DSP value, display text.
    // clang-format off
    const std::tuple<long, bool, float, float, float, const char*> pins[] = {
        {0, false, 0.3f, 13, 13, "  13"}, {0, false, 1, 20, 20, "  20"},
        {1, false, 0.75f, 1, 1, "On"}, {2, false, 0.3f, 30, 0.3f, "  30"},
        {3, false, 0.3f, -0.4f, -0.4f, "-0.400"}, {3, false, 1, 1, 1, "1.00"},
        {4, false, 0, 20, 20, "20.0"}, {4, false, 0.3f, 158.866f, 158.866f, " 159"},
        {4, false, 0.75f, 3556.574f, 3556.574f, "3557"}, {4, false, 1, 20000, 20000, "20000"},
        {5, false, 0, -60, 0.001f, " -60"}, {5, false, 0.3f, -22.43995f, 0.07550964f, " -22"},
        {5, false, 0.75f, -5.416419f, 0.5360177f, "  -5"}, {5, false, 1, 0, 1, "   0"},
        {6, false, 0.3f, 1, 1, "   1"}, {7, false, 0.3f, 4, 0.375f, "1/16."},
        {7, false, 1, 14, 4, "1/1  "}, {8, false, 0.3f, 300.7f, 300.7f, " 301"},
        {8, true, 0.3f, 4, 0.375f, "1/16."}, {8, true, 0.75f, 11, 2, "1/2  "},
        {8, true, 0.85f, 12, 8 / 3.f, "1/1 T"}, {8, true, 1, 15, 4, "1/1  "},
        {9, false, 0.75f, 5.318309f, 5.318309f, "5.32"}, {9, true, 0.3f, 10, 0.6666667f, "1/4. "},
        {9, true, 0.75f, 3, 3, "1/8 T"}, {10, false, 0.3f, 0.3f, 300.7f, " 301"},
        {10, true, 0.3f, 0.3f, 0.375f, "1/16."}, {11, false, 0.3f, 0.3f, 0.4901281f, "0.300"},
        {11, true, 0.3f, 0.3f, 0.6666667f, "1/4. "}, {12, false, 0.3f, 38, 38, "D1"},
        {12, false, 1, 127, 127, "G8"},
    };
    // clang-format on
    for (auto [tag, synced, v, n, dsp, shown] : pins) {
        SCOPED_TRACE("tag " + std::to_string(tag) + (synced ? " synced" : "") + " v " +
                     std::to_string(v));
        pm.setHostSynced(tag, synced);
        EXPECT_EQ(pm.getHostSynced(tag), synced);
        pm.setVSTvalue(tag, v);
        EXPECT_NEAR(pm.getNaturalValue(tag), n, 2e-5 + 2e-5 * std::fabs(n));
        EXPECT_NEAR(pm.getDSPValue(tag), dsp, 2e-5 + 2e-5 * std::fabs(dsp));
        EXPECT_EQ(text(&PM::getValueString, tag, 24), shown);
        const float back = pm.naturalValueFromVSTvalue(tag, pm.VSTvalueFromNaturalValue(tag, n));
        EXPECT_NEAR(back, n, 1e-3 * std::fabs(n) + 1e-4);
        pm.setHostSynced(tag, false);
    }
}

TEST_F(ParamManager, NamedPointsOfTheLaws) {
    pm.newParameter(30, "Cut", "Cut", "Hz", 100, 18000, 100, kParamExponential);
    const float x = NAN; // not checked
    // tag, sets v (else n), value, wanted v, wanted n, tolerance. dB: -6, the minimum a little
    // above v = 0, the ends and the dip just above zero; exponential: the geometric mean; on/off
    // and integer rounding; a natural value outside the range keeps the VST value in 0..1.
    // clang-format off
    const std::tuple<long, bool, float, float, float, float> cases[] = {
        {5, false, 0, 1, 0, 0}, {1, true, 0.5f, x, 0, 0}, {6, true, 0.125f, x, 1, 0},
        {6, true, 0.124f, x, 0, 0}, {1, true, 0.5000001f, x, 1, 0},
        {5, false, -6, 0.7270f, -6, 1e-4f}, {5, false, -60, 0.0308f, -60, 1e-4f},
        {30, true, 0.5f, x, 1341.6f, 0.5f}, {5, true, 0.00097752f, x, -81.7f, 0.1f},
        {0, false, 25, 1, 25, 0},

    };
    // clang-format on
    for (auto [tag, setsV, in, wantV, wantN, tol] : cases) {
        SCOPED_TRACE(std::to_string(tag) + (setsV ? " v " : " n ") + std::to_string(in));
        setsV ? pm.setVSTvalue(tag, in) : pm.setNaturalValue(tag, in);
        EXPECT_TRUE(std::isnan(wantV) || std::fabs(pm.getVSTvalue(tag) - wantV) <= tol);
        EXPECT_NEAR(pm.getNaturalValue(tag), wantN, tol);
    }
    EXPECT_EQ(pm.getDSPValue(0), 20.0f); // the DSP value limits n
    pm.setVSTvalue(5, 0.01f);            // and clamps the dip to the minimum, without limiting n
    EXPECT_LT(pm.getNaturalValue(5), -60.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(5), 0.001f);
    // Modulation shifts the VST value and stays within 0..1.
    pm.setVSTvalue(4, 0.3f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(4, 0.45f), 3556.574f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(4, 0.9f), 20000.0f);

    // Switching the sync flag recomputes the natural value under the new law.
    pm.setVSTvalue(8, 0.5f);
    pm.setHostSynced(8, true);
    EXPECT_EQ(pm.getNaturalValue(8), 7.0f);
    pm.setHostSynced(8, false);
    EXPECT_NEAR(pm.getNaturalValue(8), 500.5f, 1e-3);
    // The flag lives in the auxiliary value, and only syncable laws have one.
    pm.setAuxValue(9, 7);
    EXPECT_TRUE(pm.getHostSynced(9));
    pm.setHostSynced(0, true);
    EXPECT_FALSE(pm.getHostSynced(0));
}

TEST_F(ParamManager, SteppingTogglesWrapsAndStops) {
    // tag, from, up, to
    // clang-format off
    const std::tuple<long, float, bool, float> cases[] = {
        {1, 0, true, 1}, {1, 1, true, 0}, {1, 0, false, 1}, {6, 2, true, 3}, {6, 4, true, 0},
        {6, 0, false, 4}, {7, 15, true, 0}, {7, 0, false, 15}, {12, 127, true, 0},
        {12, 0, false, 0},
        {12, 60, false, 59}, {0, 19.5f, true, 20}, {0, 10.5f, false, 10}, {2, 99.5f, true, 100},
        {5, -59.5f, false, -60}, {4, 19999.5f, true, 20000}};
    // clang-format on
    for (auto [tag, from, up, to] : cases) {
        pm.setNaturalValue(tag, from);
        up ? pm.incrementNaturalValue(tag) : pm.decrementNaturalValue(tag);
        EXPECT_FLOAT_EQ(pm.getNaturalValue(tag), to) << tag << " from " << from;
        EXPECT_FLOAT_EQ(pm.getVSTvalue(tag), pm.VSTvalueFromNaturalValue(tag, to));
    }
}

TEST_F(ParamManager, RandomizeUsesOneDrawAsCoinOrUniform) {
    pm.newParameter(31, "Int01", "Int01", "", 0, 1, 0, kParamInteger);
    for (unsigned seed = 1; seed < 40; ++seed) {
        for (long tag : {1, 31, 0, 4, 5, 7}) { // coins first
            std::srand(seed);
            const int r = std::rand();
            std::srand(seed);
            pm.randomize(tag);
            const float v = pm.getVSTvalue(tag);
            EXPECT_NEAR(v, tag == 1 || tag > 30 ? r & 1 : r / 2147483648.0, 1e-7) << tag;
            EXPECT_EQ(pm.getNaturalValue(tag), pm.naturalValueFromVSTvalue(tag, v));
        }
    }
    pm.setRandomizeable(0, false);
    EXPECT_FALSE(pm.canRandomize(0));
    pm.setVSTvalue(0, 0.3f);
    pm.randomize(0);
    EXPECT_EQ(pm.getVSTvalue(0), 0.3f);
}

TEST_F(ParamManager, ParsingAndMetricalNames) {
    // tag, synced, text, start, understood, result
    // clang-format off
    const std::tuple<long, bool, const char*, float, bool, float> cases[] = {
        {1, false, "1", 5, false, 1}, {0, false, "15.5", 0, true, 15.5f},
        {0, false, "25", 0, true, 20}, {0, false, "abc", 99, false, 20},
        {20, false, "12345678901234", 0, true, 1234567890.0f}, {7, false, "1/8 T", 0, true, 3},
        {7, false, "2.5", 6, false, 6}, {8, true, "1/4", 0, true, 8},
        {8, false, "1/4", 0, true, 1}};
    // clang-format on
    for (auto [tag, synced, str, start, ok, want] : cases) {
        pm.setHostSynced(tag, synced);
        float n = start;
        EXPECT_EQ(pm.naturalValueFromString(tag, str, n), ok) << tag << " " << str;
        EXPECT_FLOAT_EQ(n, want) << tag << " " << str;
        pm.setHostSynced(tag, false);
    }
    // Every display text of a beat index reads back as that index, blanks left out; six
    // characters at most are looked at.
    const std::vector<std::string>& names = PM::getMetricalNames();
    ASSERT_EQ(names.size(), 15u);
    for (int i = 0; i < 15; ++i) {
        int index = -1;
        EXPECT_TRUE(pm.matchMetricalStr(PM::beatTimeStr[i], index)) << i;
        EXPECT_EQ(index, i);
        EXPECT_TRUE(pm.matchMetricalStr(names[size_t(i)].c_str(), index));
        EXPECT_EQ(index, i);
    }
    const std::pair<const char*, int> metrics[] = {
        {" 1 / 2", 11}, {"1/64", -1}, {"1/16Tx", -1}, {"1/1  T", 12}, {"1/1   T", 14}};
    for (auto [str, want] : metrics) {
        int index = 99;
        EXPECT_EQ(pm.matchMetricalStr(str, index), want >= 0) << str;
        EXPECT_EQ(index, want >= 0 ? want : 99) << str;
    }
}

TEST_F(ParamManager, NamesUnitsAndTexts) {
    pm.newParameter(60, "Low Tom Pitch Depth", "LTptchDpt", "%", 0, 100, 30, kParamPercent);
    EXPECT_EQ(text(&PM::getName, 60, 8), "LTptchDp");
    EXPECT_EQ(text(&PM::getName, 60, 24), "Low Tom Pitch Depth");
    EXPECT_EQ(text(&PM::getName, 0, 9), "A Long Pa");
    // tag, synced, len, units
    const std::tuple<long, bool, int, const char*> units[] = {
        {0, false, 2, "ms"}, {8, false, 5, "msec"}, {8, false, 4, "ms"}, {8, true, 8, ""},
        {9, false, 8, "Hz"}, {11, true, 8, ""},     {4, false, 1, "H"}};
    for (auto [tag, synced, len, want] : units) {
        pm.setHostSynced(tag, synced);
        EXPECT_EQ(text(&PM::getUnitsName, tag, len), want) << tag << " " << len;
        pm.setHostSynced(tag, false);
    }
    // Display texts are cut to len - 1 characters.
    EXPECT_EQ(value(20, 123456), "123456");
    EXPECT_EQ(value(20, 123456, 4), "123");
    EXPECT_EQ(value(6, 2, 8), "   2");
    EXPECT_EQ(text(&PM::getTextEditString, 6, 8), "2");
    EXPECT_EQ(value(7, 3), "1/8 T");
    EXPECT_EQ(value(12, 61), "C#3");
    EXPECT_EQ(value(12, 0), "C-2");
    // From a VST value the field is always eight characters, whatever len says.
    char b[40];
    pm.getValueStringFromVSTvalue(20, b, 1.0f, 24);
    EXPECT_STREQ(b, "9999999"); // 1e12f is 999999995904
    const std::tuple<float, int, const char*> times[] = {
        {12345, 8, "12.345"}, {999, 8, "999"}, {1000, 8, "1.000"}, {1500, 3, "1.5"}};
    for (auto [ms, len, want] : times) {
        std::memset(b, 'x', sizeof b);
        pm.floatToTimeStr(b, ms, len);
        EXPECT_STREQ(b, want) << ms;
    }
}

TEST(ParamManagerStates, SnapshotsAndMementosInTagOrder) {
    RecordingManager pm;
    for (long tag : {5L, 1L, 9L, 3L})
        pm.newParameter(tag, "P", "P", "", 0, 10, 1, kParamLinear);
    EXPECT_EQ(pm.createState({9, 1, 5, 999}), 0); // an unknown tag is left out
    pm.setVSTvalue(1, 0.5f);
    pm.setVSTvalue(9, 0.9f);
    pm.saveState(0); // 1: 0.5, 5: 0.1, 9: 0.9
    std::unique_ptr<paramMemento> m(pm.createMemento());
    for (long tag : {1L, 5L, 9L})
        pm.setVSTvalue(tag, 0.0f);
    pm.order.clear();
    pm.restoreState(0);
    pm.restoreState(7); // no such snapshot
    EXPECT_EQ(pm.order, (std::vector<long>{1, 5, 9}));
    EXPECT_FLOAT_EQ(pm.getNaturalValue(9), 9.0f);

    ASSERT_EQ(m->lists.size(), 2u);
    EXPECT_EQ(m->lists[0][1].tag, 3u); // in tag order
    pm.setVSTvalue(1, 1.0f);
    pm.saveState(0);
    pm.createState({1});
    pm.order.clear();
    pm.setMemento(m.get());
    EXPECT_EQ(pm.order, (std::vector<long>{1, 3, 5, 9}));
    EXPECT_EQ(pm.getStateCount(), 1);
    pm.setVSTvalue(1, 0.0f);
    pm.restoreState(0); // the memento's copy of snapshot 0, not the one saved after it
    EXPECT_EQ(pm.getVSTvalue(1), 0.5f);
    pm.setMemento(nullptr);
    EXPECT_EQ(pm.getVSTvalue(1), 0.5f);
}

TEST_F(ParamManager, UnknownTagsAndHostileValuesAreSafe) {
    char b[16] = "junk";
    for (long tag : {-1L, 13L, 70000L}) { // neutral answers, nothing inserted
        pm.setVSTvalue(tag, 0.5f);
        pm.setNaturalValue(tag, 0.5f);
        pm.incrementNaturalValue(tag);
        pm.randomize(tag);
        float n = 3.0f;
        EXPECT_FALSE(pm.naturalValueFromString(tag, "1", n));
        pm.getValueString(tag, b, 8);
        EXPECT_STREQ(b, "");
        EXPECT_EQ(pm.getVSTvalue(tag) + pm.getDSPValue(tag) + pm.getModulatedDSPValue(tag, 0.3f),
                  0);
    }
    pm.newParameter(-4, "Bad", "Bad", "", 0, 1, 0, kParamLinear);
    EXPECT_EQ(pm.getParameterCount(), long(std::size(kDefs)));
    for (float v : {NAN, INFINITY, -INFINITY, -3.0f, 7.5f, 1e30f}) {
        for (const Def& d : kDefs) {
            pm.setHostSynced(d.tag, (d.tag & 1) != 0);
            pm.setVSTvalue(d.tag, v);
            const bool nan = std::isnan(pm.getDSPValue(d.tag));
            pm.getModulatedDSPValue(d.tag, v);
            pm.setNaturalValue(d.tag, v);
            pm.getValueStringFromNaturalValue(d.tag, b, v, sizeof b);
            EXPECT_TRUE(!nan && pm.getVSTvalue(d.tag) >= 0.0f && pm.getVSTvalue(d.tag) <= 1.0f &&
                        std::strlen(b) < sizeof b)
                << d.tag << " " << v;
        }
    }
    // Table reads outside [0, 1] stay at the ends.
    EXPECT_NEAR(pm.naturalValueFromVSTvalue(4, 2.0f), 20000.0f, 0.05f);
    EXPECT_FLOAT_EQ(pm.naturalValueFromVSTvalue(5, NAN), -60.0f);
    EXPECT_FLOAT_EQ(pm.dspValueFromNaturalValue(7, 1e9f), gBeatMults[15]);
}

} // namespace
