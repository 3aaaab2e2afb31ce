// Second, independent look at the parameter framework: the thirteen laws recomputed by a small
// model for a grid of values (synced and free), stepping, randomizing, parsing, metrical names,
// snapshots, mementos and the text helpers, each as a table of cases.
#include "zu_paramManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Def {
    long tag;
    float lo, hi, def;
    zu_paramTypes type;
    const char* units;
};

// One parameter of each law, tag = law number, plus a wide linear one for long texts.
const Def kDefs[] = {
    {0, 10, 20, 12, kParamLinear, "msec"},
    {1, 0, 1, 0, kParamOnOff, ""},
    {2, 0, 100, 50, kParamPercent, "%"},
    {3, -1, 1, 0.25f, kParamFloat, ""},
    {4, 20, 20000, 1000, kParamExponential, "Hz"},
    {5, -60, 0, -6, kParamDecibel, "dB"},
    {6, 0, 4, 2, kParamInteger, ""},
    {7, 0, 15, 8, kParamBeat, ""},
    {8, 1, 1000, 250, kParamSyncTime, "xx"},
    {9, 0.1f, 20, 1, kParamSyncFreq, "yy"},
    {10, 1, 1000, 0.5f, kParamSyncTimeNorm, "zz"},
    {11, 0.1f, 20, 0.5f, kParamSyncFreqNorm, ""},
    {12, 0, 127, 60, kParamNote, ""},
    {20, 0, 1e12f, 0, kParamLinear, ""},
};

const float kBeats[16] = {0.125f, 1 / 6.f, 0.25f, 1 / 3.f, 0.375f,  0.5f, 2 / 3.f, 0.75f,
                          1,      4 / 3.f, 1.5f,  2,       8 / 3.f, 3,    4,       4};
const char* const kBeatStr[16] = {"1/32 ", "1/16T", "1/16 ", "1/8 T", "1/16.", "1/8  ",
                                  "1/4 T", "1/8. ", "1/4  ", "1/2 T", "1/4. ", "1/2  ",
                                  "1/1 T", "1/2. ", "1/1  ", "1/1  "};

// ---- model of the laws, from their description ----

float table(const Def& d, float x) {
    auto pt = [&](int i) -> float {
        if (i > 1023) i = 1023;
        if (d.type != kParamDecibel) return float(d.lo * std::pow(double(d.hi) / d.lo, i / 1023.0));
        if (i == 0) return d.lo;
        if (i == 1023) return d.hi;
        return float(44 * std::log10(i / 1023.0 + 0.0131) + (d.hi - 0.25));
    };
    float p = 1023 * x;
    int i = int(p);
    float f = p - i;
    return pt(i) * (1 - f) + pt(i + 1) * f;
}

float nFromV(const Def& d, bool synced, float v) {
    switch (d.type) {
    case kParamOnOff:
        return v > 0.5f;
    case kParamExponential:
    case kParamDecibel:
        return table(d, v);
    case kParamInteger:
    case kParamNote:
        return std::floor((d.hi - d.lo) * v + d.lo + 0.5f);
    case kParamBeat:
        return std::floor(v * 0.99f * 15);
    case kParamSyncTime:
        return synced ? std::floor(15 * v) : d.lo + (d.hi - d.lo) * v;
    case kParamSyncFreq:
        return synced ? std::floor(15 * (1 - v)) : table(d, v);
    case kParamSyncTimeNorm:
    case kParamSyncFreqNorm:
        return v;
    default:
        return d.lo + (d.hi - d.lo) * v;
    }
}

float vFromN(const Def& d, bool synced, float n) {
    double v;
    switch (d.type) {
    case kParamOnOff:
    case kParamSyncTimeNorm:
    case kParamSyncFreqNorm:
        v = n;
        break;
    case kParamExponential:
        v = std::log(n / d.lo) / std::log(d.hi / d.lo);
        break;
    case kParamDecibel:
        v = std::pow(10.0, (n - (d.hi - 0.25)) / 44) - 0.0131;
        break;
    case kParamBeat: // indices 0..14 over the whole range, so that each reads back as itself
        v = n / 14;
        break;
    case kParamSyncTime:
        v = synced ? n / 15 : (n - d.lo) / (d.hi - d.lo);
        break;
    case kParamSyncFreq:
        v = synced ? 1 - n / 15 : std::log(n / d.lo) / std::log(d.hi / d.lo);
        break;
    default:
        v = (n - d.lo) / (d.hi - d.lo);
    }
    return float(std::min(1.0, std::max(0.0, v)));
}

float clampN(const Def& d, float n) {
    return std::min(d.hi, std::max(d.lo, n));
}

float dspFromN(const Def& d, bool synced, float n) {
    switch (d.type) {
    case kParamPercent:
        return clampN(d, n) * 0.01f;
    case kParamDecibel:
        return float(std::pow(10.0, clampN(d, n) / 20));
    case kParamBeat:
        return kBeats[int(n)];
    case kParamSyncTime:
        return synced ? kBeats[int(n)] : n;
    case kParamSyncFreq:
        return synced ? 1 / kBeats[int(n)] : n;
    case kParamSyncTimeNorm:
        return synced ? kBeats[int(15 * n)] : d.lo + (d.hi - d.lo) * n;
    case kParamSyncFreqNorm:
        return synced ? 1 / kBeats[int(15 * (1 - n))] : table(d, n);
    default:
        return clampN(d, n);
    }
}

std::string fmt(const char* f, double x) {
    char b[80];
    std::snprintf(b, sizeof b, f, x);
    return b;
}
std::string magnitude(float n) {
    return fmt(n < 1 ? "%3.3f" : n < 10 ? "%4.2f" : n < 100 ? "%4.1f" : "%4.0f", n);
}

std::string displayFromN(const Def& d, bool synced, float n) {
    static const char* notes[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};
    switch (d.type) {
    case kParamOnOff:
        return n > 0.5f ? "On" : "Off";
    case kParamFloat:
    case kParamExponential:
        return magnitude(n);
    case kParamSyncFreq:
    case kParamSyncFreqNorm:
        if (!synced) return magnitude(n);
        return kBeatStr[d.type == kParamSyncFreq ? int(n) : int(15 * (1 - n))];
    case kParamInteger: {
        char b[16];
        std::snprintf(b, sizeof b, "%4d", int(n));
        return b;
    }
    case kParamBeat:
        return kBeatStr[int(n)];
    case kParamSyncTime:
        return synced ? kBeatStr[int(n)] : fmt("%4.0f", n);
    case kParamSyncTimeNorm:
        return synced ? kBeatStr[int(15 * n)] : fmt("%4.0f", d.lo + (d.hi - d.lo) * n);
    case kParamNote:
        return notes[int(n) % 12] + std::to_string(int(n) / 12 - 2);
    default:
        return fmt("%4.0f", n);
    }
}

bool near(double got, double want) {
    return std::fabs(got - want) <= 2e-5 + 2e-5 * std::fabs(want);
}

class FrameworkAudit : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Def& d : kDefs)
            pm.newParameter(d.tag, "A Long Parameter Name", "ShortNam", d.units, d.lo, d.hi, d.def,
                            d.type);
    }
    static bool syncable(const Def& d) { return d.type >= 8 && d.type <= 11; }
    std::string text(void (zu_paramManager::*f)(long, char*, int), long tag, int len) {
        char b[80];
        std::memset(b, 'x', sizeof b);
        (pm.*f)(tag, b, len);
        return b;
    }
    zu_paramManager pm;
};

TEST_F(FrameworkAudit, CreationStoresTheRowAndItsDefault) {
    EXPECT_EQ(pm.getParameterCount(), long(sizeof kDefs / sizeof kDefs[0]));
    for (const Def& d : kDefs) {
        SCOPED_TRACE(d.tag);
        EXPECT_EQ(pm.getType(d.tag), d.type);
        EXPECT_EQ(pm.getMinimumValue(d.tag), d.lo);
        EXPECT_EQ(pm.getMaximumValue(d.tag), d.hi);
        EXPECT_EQ(pm.getDefaultValue(d.tag), d.def);
        EXPECT_EQ(pm.getNaturalValue(d.tag), d.def);
        EXPECT_TRUE(near(pm.getVSTvalue(d.tag), vFromN(d, false, d.def)));
        EXPECT_TRUE(pm.canRandomize(d.tag));
        EXPECT_FALSE(pm.getHostSynced(d.tag));
        EXPECT_FALSE(pm.controlUsesNaturalValue(d.tag));
        EXPECT_EQ(pm.getControlValue(d.tag), pm.getVSTvalue(d.tag));
    }
}

TEST_F(FrameworkAudit, EveryLawSyncedAndFreeAgreesWithTheModel) {
    const float vs[] = {0.0f,       0.01f, 0.05f, 0.1f, 0.25f,  1 / 3.f, 0.5f,
                        0.5000001f, 0.66f, 0.75f, 0.9f, 0.999f, 1.0f};
    for (const Def& d : kDefs) {
        for (bool synced : {false, true}) {
            if (synced && !syncable(d)) continue;
            pm.setHostSynced(d.tag, synced);
            EXPECT_EQ(pm.getHostSynced(d.tag), synced);
            for (float v : vs) {
                SCOPED_TRACE("tag " + std::to_string(d.tag) + (synced ? " synced" : "") + " v " +
                             std::to_string(v));
                pm.setVSTvalue(d.tag, v);
                EXPECT_EQ(pm.getVSTvalue(d.tag), v);
                const float n = nFromV(d, synced, v);
                EXPECT_TRUE(near(pm.getNaturalValue(d.tag), n)) << pm.getNaturalValue(d.tag);
                EXPECT_TRUE(near(pm.naturalValueFromVSTvalue(d.tag, v), n));
                EXPECT_TRUE(near(pm.getDSPValue(d.tag), dspFromN(d, synced, n)))
                    << pm.getDSPValue(d.tag) << " vs " << dspFromN(d, synced, n);
                EXPECT_TRUE(near(pm.VSTvalueFromNaturalValue(d.tag, n), vFromN(d, synced, n)));
                EXPECT_EQ(text(&zu_paramManager::getValueString, d.tag, 24),
                          displayFromN(d, synced, n));
                // The base step law: x = v + offset, limited to [0, 1].
                for (float off : {-0.3f, 0.2f, 0.7f}) {
                    float x = std::min(1.0f, std::max(0.0f, v + off));
                    EXPECT_TRUE(near(pm.getModulatedDSPValue(d.tag, off),
                                     dspFromN(d, synced, nFromV(d, synced, x))));
                }
            }
        }
        pm.setHostSynced(d.tag, false);
    }
}

TEST_F(FrameworkAudit, NamedValuesOfTheLaws) {
    Def dB = kDefs[5];
    pm.setNaturalValue(5, -6);
    EXPECT_NEAR(pm.getVSTvalue(5), 0.7270, 1e-4);
    pm.setNaturalValue(5, -60);
    EXPECT_NEAR(pm.getVSTvalue(5), 0.0308, 1e-4);
    pm.setVSTvalue(5, 0);
    EXPECT_EQ(pm.getNaturalValue(5), -60.0f);
    pm.setVSTvalue(5, 1);
    EXPECT_EQ(pm.getNaturalValue(5), 0.0f);
    EXPECT_NEAR(table(dB, 1 / 1023.f), -81.7, 0.1); // the dip just above zero
    pm.setVSTvalue(5, 0.01f);
    EXPECT_LT(pm.getNaturalValue(5), -60.0f);
    EXPECT_FLOAT_EQ(pm.getDSPValue(5), 0.001f); // the DSP value clamps the dip
    pm.newParameter(30, "Cut", "Cut", "Hz", 100, 18000, 100, kParamExponential);
    pm.setVSTvalue(30, 0.5f);
    EXPECT_NEAR(pm.getNaturalValue(30), 1341.6, 0.5);
    pm.setVSTvalue(1, 0.5f);
    EXPECT_EQ(pm.getNaturalValue(1), 0.0f);
    pm.setVSTvalue(1, 0.5000001f);
    EXPECT_EQ(pm.getNaturalValue(1), 1.0f);
    pm.setVSTvalue(6, 0.125f);
    EXPECT_EQ(pm.getNaturalValue(6), 1.0f);
    pm.setVSTvalue(6, 0.124f);
    EXPECT_EQ(pm.getNaturalValue(6), 0.0f);
    // Natural values are stored as given; only the VST value is limited.
    pm.setNaturalValue(0, 35);
    EXPECT_EQ(pm.getNaturalValue(0), 35.0f);
    EXPECT_EQ(pm.getVSTvalue(0), 1.0f);
    EXPECT_EQ(pm.getDSPValue(0), 20.0f);
    // Switching the sync flag recomputes the natural value under the new law.
    pm.setVSTvalue(8, 0.5f);
    pm.setHostSynced(8, true);
    EXPECT_EQ(pm.getNaturalValue(8), 7.0f);
    pm.setHostSynced(8, false);
    EXPECT_NEAR(pm.getNaturalValue(8), 500.5f, 1e-3);
    // The flag lives in the auxiliary value, and only syncable laws have one.
    pm.setAuxValue(9, 7);
    EXPECT_TRUE(pm.getHostSynced(9));
    EXPECT_EQ(pm.getAuxValue(9), 7);
    pm.setAuxValue(0, 1);
    pm.setHostSynced(0, true);
    EXPECT_FALSE(pm.getHostSynced(0));
    EXPECT_EQ(pm.getAuxValue(0), 1);
}

// Snapshots, mementos and hosts keep VST values: every metrical index must read back as itself.
TEST_F(FrameworkAudit, MetricalIndicesSurviveTheirVstRoundTrip) {
    pm.setHostSynced(8, true);
    pm.setHostSynced(9, true);
    for (long tag : {7L, 8L, 9L}) {
        for (int n = 0; n <= 14; ++n) {
            pm.setNaturalValue(tag, float(n));
            pm.setVSTvalue(tag, pm.getVSTvalue(tag));
            EXPECT_EQ(pm.getNaturalValue(tag), float(n)) << tag;
        }
    }
    pm.setNaturalValue(7, 0);
    EXPECT_EQ(pm.getVSTvalue(7), 0.0f);
    pm.setNaturalValue(7, 14);
    EXPECT_EQ(pm.getVSTvalue(7), 1.0f);
    pm.setNaturalValue(7, 8);
    int saved = pm.createState({7});
    pm.setNaturalValue(7, 2);
    for (int i = 0; i < 3; ++i) {
        pm.restoreState(saved);
        pm.saveState(saved);
    }
    EXPECT_EQ(pm.getNaturalValue(7), 8.0f);
}

TEST_F(FrameworkAudit, Stepping) {
    struct Case {
        long tag;
        float from;
        bool up;
        float to;
    };
    const Case cases[] = {
        {1, 0, true, 1},
        {1, 1, true, 0},
        {1, 0.3f, false, 0},
        {1, 0, false, 1},
        {6, 2, true, 3},
        {6, 4, true, 0},
        {6, 0, false, 4},
        {6, 3, false, 2},
        {7, 15, true, 0},
        {7, 0, false, 15},
        {12, 127, true, 0},
        {12, 0, false, 0},
        {12, 60, false, 59},
        {0, 19.5f, true, 20},
        {0, 10.5f, false, 10},
        {0, 12, true, 13},
        {2, 99.5f, true, 100},
        {5, -59.5f, false, -60},
        {4, 19999.5f, true, 20000},
        {3, 0.5f, true, 1},
        {8, 999.5f, true, 1000},
    };
    for (const Case& c : cases) {
        pm.setNaturalValue(c.tag, c.from);
        if (c.up)
            pm.incrementNaturalValue(c.tag);
        else
            pm.decrementNaturalValue(c.tag);
        EXPECT_FLOAT_EQ(pm.getNaturalValue(c.tag), c.to) << c.tag << " from " << c.from;
        EXPECT_FLOAT_EQ(pm.getVSTvalue(c.tag), pm.VSTvalueFromNaturalValue(c.tag, c.to));
    }
}

TEST_F(FrameworkAudit, RandomizeUsesOneDrawAsCoinOrUniform) {
    pm.newParameter(31, "Int01", "Int01", "", 0, 1, 0, kParamInteger);
    pm.newParameter(32, "Note01", "Note01", "", 0, 1, 0, kParamNote);
    const long coins[] = {1, 31, 32};
    const long uniform[] = {0, 2, 4, 5, 6, 7, 8, 12};
    for (unsigned seed = 1; seed < 40; ++seed) {
        for (long tag : coins) {
            std::srand(seed);
            int r = std::rand();
            std::srand(seed);
            pm.randomize(tag);
            EXPECT_EQ(pm.getVSTvalue(tag), (r & 1) ? 1.0f : 0.0f) << tag;
        }
        for (long tag : uniform) {
            std::srand(seed);
            double want = std::rand() / 2147483648.0;
            std::srand(seed);
            pm.randomize(tag);
            EXPECT_NEAR(pm.getVSTvalue(tag), want, 1e-7) << tag;
            EXPECT_LT(pm.getVSTvalue(tag), 1.0f);
            EXPECT_EQ(pm.getNaturalValue(tag),
                      pm.naturalValueFromVSTvalue(tag, pm.getVSTvalue(tag)));
        }
    }
    pm.setRandomizeable(0, false);
    EXPECT_FALSE(pm.canRandomize(0));
    pm.setVSTvalue(0, 0.3f);
    pm.randomize(0);
    EXPECT_EQ(pm.getVSTvalue(0), 0.3f);
}

TEST_F(FrameworkAudit, ParsingAndMetricalNames) {
    struct Case {
        long tag;
        bool synced;
        const char* text;
        float start;
        bool ok;
        float n;
    };
    const Case cases[] = {
        {1, false, "1", 5, false, 1},       {1, false, "On", -3, false, 0},
        {0, false, "15.5", 0, true, 15.5f}, {0, false, "  12", 0, true, 12},
        {0, false, "25", 0, true, 20},      {0, false, "abc", 15, false, 15},
        {0, false, "abc", 99, false, 20},   {20, false, "12345678901234", 0, true, 1234567890.0f},
        {4, false, "440 Hz", 0, true, 440}, {7, false, "1/8 T", 0, true, 3},
        {7, false, "1/4.", 0, true, 10},    {7, false, "2.5", 6, false, 6},
        {8, true, "1/4", 0, true, 8},       {8, true, "1/32", 0, true, 1}, // index 0, limited
        {8, false, "1/4", 0, true, 1},      {6, false, "3", 0, true, 3},
        {6, false, "-7", 0, true, 0},
    };
    for (const Case& c : cases) {
        pm.setHostSynced(c.tag, c.synced);
        float n = c.start;
        EXPECT_EQ(pm.naturalValueFromString(c.tag, c.text, n), c.ok) << c.tag << " " << c.text;
        EXPECT_FLOAT_EQ(n, c.n) << c.tag << " " << c.text;
        pm.setHostSynced(c.tag, false);
    }
    struct Metric {
        const char* text;
        int index; // -1: no match
    };
    const Metric metrics[] = {
        {"1/32", 0},   {"1/16T", 1},   {"1/16", 2},        {"1/8T", 3},     {"1/8 T", 3},
        {"1/16.", 4},  {"1/8", 5},     {"1/4 T", 6},       {"1/8. ", 7},    {"1/4", 8},
        {"1/2 T", 9},  {"1/4.", 10},   {"1/2", 11},        {"1/1 T", 12},   {"1/2.", 13},
        {"1/1  ", 14}, {" 1 / 2", 11}, {"1/16T extra", 1}, {"1/4 . x", 10}, {"1/64", -1},
        {"", -1},      {"1/16Tx", -1}, {"1/1  T", 12},     {"1/1   T", 14},
    };
    for (const Metric& m : metrics) {
        int index = 99;
        EXPECT_EQ(pm.matchMetricalStr(m.text, index), m.index >= 0) << m.text;
        EXPECT_EQ(index, m.index >= 0 ? m.index : 99) << m.text;
    }
    const std::vector<std::string>& names = zu_paramManager::getMetricalNames();
    ASSERT_EQ(names.size(), 15u);
    for (int i = 0; i < 15; ++i) {
        std::string compact;
        for (const char* c = kBeatStr[i]; *c; ++c)
            if (*c != ' ') compact += *c;
        EXPECT_EQ(names[size_t(i)], compact);
        EXPECT_STREQ(zu_paramManager::beatTimeStr[i], kBeatStr[i]);
        EXPECT_EQ(gBeatMults[i], kBeats[i]);
    }
    EXPECT_STREQ(zu_paramManager::beatTimeStr[15], "1/1  ");
    EXPECT_EQ(gBeatMults[15], 4.0f);
}

TEST_F(FrameworkAudit, NamesUnitsAndTexts) {
    using PM = zu_paramManager;
    EXPECT_EQ(text(&PM::getName, 0, 8), "ShortNam");
    EXPECT_EQ(text(&PM::getName, 0, 4), "Shor");
    EXPECT_EQ(text(&PM::getName, 0, 9), "A Long Pa");
    EXPECT_EQ(text(&PM::getName, 0, 24), "A Long Parameter Name");
    EXPECT_EQ(text(&PM::getName, 0, 0), "");
    EXPECT_EQ(pm.getName(0), "A Long Parameter Name");
    struct Unit {
        long tag;
        bool synced;
        int len;
        const char* want;
    };
    const Unit units[] = {
        {0, false, 8, "msec"},  {0, false, 2, "ms"},   {2, false, 8, "%"},  {1, false, 8, ""},
        {8, false, 8, "msec"},  {8, false, 5, "msec"}, {8, false, 4, "ms"}, {8, true, 8, ""},
        {10, false, 8, "msec"}, {10, false, 3, "ms"},  {10, true, 8, ""},   {9, false, 8, "Hz"},
        {9, true, 8, ""},       {11, false, 8, "Hz"},  {11, true, 8, ""},   {4, false, 1, "H"},
    };
    for (const Unit& u : units) {
        pm.setHostSynced(u.tag, u.synced);
        EXPECT_EQ(text(&PM::getUnitsName, u.tag, u.len), u.want) << u.tag << " " << u.len;
        pm.setHostSynced(u.tag, false);
    }
    // Display texts are cut to len - 1 characters.
    pm.setNaturalValue(20, 123456);
    EXPECT_EQ(text(&PM::getValueString, 20, 24), "123456");
    EXPECT_EQ(text(&PM::getValueString, 20, 4), "123");
    pm.setNaturalValue(6, 2);
    EXPECT_EQ(text(&PM::getValueString, 6, 8), "   2");
    EXPECT_EQ(text(&PM::getTextEditString, 6, 8), "2");
    EXPECT_EQ(text(&PM::getTextEditString, 6, 0), "");
    pm.setNaturalValue(7, 3);
    EXPECT_EQ(text(&PM::getTextEditString, 7, 8), "1/8T");
    pm.setNaturalValue(12, 61);
    EXPECT_EQ(text(&PM::getValueString, 12, 8), "C#3");
    pm.setNaturalValue(12, 0);
    EXPECT_EQ(text(&PM::getValueString, 12, 8), "C-2");
    // From a VST value the field is always eight characters, whatever len says.
    char b[40];
    pm.getValueStringFromVSTvalue(20, b, 1.0f, 24);
    EXPECT_STREQ(b, "9999999"); // 1e12f is 999999995904
    pm.getValueStringFromVSTvalue(0, b, 0.5f, 24);
    EXPECT_STREQ(b, "  15");
    struct VstText {
        float v;
        const char* want;
    };
    for (VstText t : {VstText{0.25f, "0.250000"}, VstText{0.123456789f, "0.123457"},
                      VstText{1.0f, "1.000000"}, VstText{0.0f, "0.000000"}}) {
        pm.setVSTvalue(0, t.v);
        std::memset(b, 'x', sizeof b);
        pm.getVSTvalueString(0, b);
        EXPECT_STREQ(b, t.want);
    }
    struct Time {
        float ms;
        int len;
        const char* want;
    };
    for (Time t :
         {Time{1500, 8, "1.500"}, Time{12345, 8, "12.345"}, Time{999, 8, "999"}, Time{5, 8, "  5"},
          Time{1000, 8, "1.000"}, Time{1500, 3, "1.5"}, Time{0.4f, 8, "  0"}}) {
        std::memset(b, 'x', sizeof b);
        pm.floatToTimeStr(b, t.ms, t.len);
        EXPECT_STREQ(b, t.want) << t.ms;
    }
    std::vector<std::string> list{"keep"};
    pm.getAllValueStrings(6, list);
    EXPECT_EQ(list, (std::vector<std::string>{"0", "1", "2", "3", "4"}));
    pm.newParameter(33, "Offset", "Offset", "", -2, 1, 0, kParamInteger);
    pm.getAllValueStrings(33, list);
    EXPECT_EQ(list, (std::vector<std::string>{"-2", "-1", "0", "1"}));
    for (long tag : {0L, 1L, 7L, 12L}) {
        list = {"keep"};
        pm.getAllValueStrings(tag, list);
        EXPECT_EQ(list, std::vector<std::string>{"keep"}) << tag;
    }
}

// Records the order in which values come back.
class RecordingManager : public zu_paramManager {
public:
    void setVSTvalue(long tag, float v) override {
        order.push_back(tag);
        zu_paramManager::setVSTvalue(tag, v);
    }
    std::vector<long> order;
};

TEST(FrameworkAuditStates, SnapshotsAndMementos) {
    RecordingManager pm;
    for (long tag : {5L, 1L, 9L, 3L})
        pm.newParameter(tag, "P", "P", "", 0, 10, 1, kParamLinear);
    EXPECT_EQ(pm.createState({9, 1, 5}), 0);
    pm.setVSTvalue(1, 0.5f);
    EXPECT_EQ(pm.createState({3, 1}), 1);
    pm.setVSTvalue(9, 0.9f);
    pm.setVSTvalue(5, 0.6f);
    pm.saveState(0); // state 0 now holds 1: 0.5, 5: 0.6, 9: 0.9
    pm.setVSTvalue(1, 0.0f);
    pm.setVSTvalue(5, 0.0f);
    pm.setVSTvalue(9, 0.0f);
    pm.order.clear();
    pm.restoreState(0);
    EXPECT_EQ(pm.order, (std::vector<long>{1, 5, 9}));
    EXPECT_EQ(pm.getVSTvalue(1), 0.5f);
    EXPECT_EQ(pm.getVSTvalue(5), 0.6f);
    EXPECT_EQ(pm.getVSTvalue(9), 0.9f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(9), 9.0f);
    pm.restoreState(1); // taken when 1 was 0.5 and 3 was at its default
    EXPECT_FLOAT_EQ(pm.getVSTvalue(3), 0.1f);

    paramMemento* m = pm.createMemento();
    ASSERT_EQ(m->lists.size(), 3u);
    ASSERT_EQ(m->lists[0].size(), 4u);
    const unsigned tags[] = {1, 3, 5, 9};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m->lists[0][size_t(i)].tag, tags[i]);
        EXPECT_EQ(m->lists[0][size_t(i)].value, pm.getVSTvalue(tags[i]));
    }
    EXPECT_EQ(m->lists[1].size(), 3u);
    EXPECT_EQ(m->lists[2].size(), 2u);
    pm.setVSTvalue(1, 1.0f);
    pm.setVSTvalue(3, 1.0f);
    pm.createState({1});
    pm.saveState(0);
    pm.order.clear();
    pm.setMemento(m);
    EXPECT_EQ(pm.order, (std::vector<long>{1, 3, 5, 9}));
    EXPECT_EQ(pm.getVSTvalue(1), 0.5f);
    EXPECT_FLOAT_EQ(pm.getVSTvalue(3), 0.1f);
    EXPECT_EQ(pm.getStateCount(), 2);
    pm.setVSTvalue(1, 0.0f);
    pm.restoreState(0); // the memento's copy of snapshot 0, not the one saved after it
    EXPECT_EQ(pm.getVSTvalue(1), 0.5f);
    pm.setMemento(nullptr);
    EXPECT_EQ(pm.getVSTvalue(1), 0.5f);
    delete m;
}

} // namespace
