// The instrument's parameter table: every row transcribed independently and compared field by
// field; values, DSP values, modulated values and display strings recomputed by a small model of
// the laws for all 263 tags; pinned edge cases; tag sets, snapshots, pan law; hostile input; and
// reads on the audio thread during writes.
#include "BrakkaParameterManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

enum Law { LIN = 0, ONOFF = 1, PCT = 2, EXPO = 4, DB = 5, INT = 6 };

struct Row {
    long tag;
    std::string longName, shortName, units;
    float lo, hi, def;
    int law;
};

// clang-format off
const Row kSoundRows[] = {
    {0, "Kickdrum Tune", "KD Tune", "Hz", 40, 110, 45, LIN},
    {1, "Kickdrum Saturation", "KD Sat", "", 0, 1, 0, LIN},
    {2, "Kickdrum Amp Attack", "KDAmpAtk", "msec", 0.1f, 50, 10, LIN},
    {3, "Kickdrum Amp Attack Curve", "KDAmpAtC", "", -1, 1, 0, LIN},
    {4, "Kickdrum Amp Decay", "KDAmpDcy", "msec", 1, 2000, 360, LIN},
    {5, "Kickdrum Amp Decay Curve", "KDAmpDcC", "", -1, 1, -0.38f, LIN},
    {6, "Kickdrum Pitch Attack", "KDPitAtk", "msec", 0.1f, 50, 10, LIN},
    {7, "Kickdrum Pitch Attack Curve", "KDPitAtC", "", -1, 1, 0, LIN},
    {8, "Kickdrum Pitch Decay", "KDPitDcy", "msec", 1, 500, 200, LIN},
    {9, "Kickdrum Pitch Decay Curve", "KDPitDcC", "", -1, 1, -0.55f, LIN},
    {10, "Kickdrum Pitch Mod", "KDPitMod", "%", 0, 100, 66, PCT},
    {11, "Kickdrum Noise Freq", "KDNoiFrq", "Hz", 100, 18000, 1000, EXPO},
    {12, "Kickdrum Click Level", "KDCliLvl", "dB", -60, 0, -6, DB},
    {13, "Kickdrum Waveform", "KDWavFrm", "", 0, 1, 0, INT},
    {14, "Snare9 Tune", "S9 Tune", "Hz", 100, 300, 130, EXPO},
    {15, "Snare9 Tone Attack", "S9TonAtk", "msec", 1, 500, 200, LIN},
    {16, "Snare9 Tone Attack Curve", "S9TonAtC", "", -1, 1, -0.7f, LIN},
    {17, "Snare9 Tone Decay", "S9TonDcy", "msec", 1, 500, 200, LIN},
    {18, "Snare9 Tone Decay Curve", "S9TonDcC", "", -1, 1, -0.7f, LIN},
    {19, "Snare9 Noise Color", "S9nsCol", "Hz", 1500, 18000, 10000, EXPO},
    {20, "Snare9 Noise Attack", "S9NoiAtk", "msec", 1, 500, 260, LIN},
    {21, "Snare9 Noise Attack Curve", "S9NoiAtC", "", -1, 1, -0.5f, LIN},
    {22, "Snare9 Noise Decay", "S9NoiDcy", "msec", 1, 500, 260, LIN},
    {23, "Snare9 Noise Decay Curve", "S9NoiDcC", "", -1, 1, -0.5f, LIN},
    {24, "Snare9 Noise Level", "S9NoiLvl", "dB", -60, 0, 0, DB},
    {25, "Snare8 Tune", "S8 Tune", "Hz", 80, 200, 100, EXPO},
    {26, "Snare8 Noise Color", "S8NoiCol", "Hz", 100, 18000, 1000, EXPO},
    {27, "Snare8 Noise Decay", "S8NoiDcy", "msec", 1, 500, 200, LIN},
    {28, "Snare8 Noise Level", "S8NoiLvl", "dB", -60, 0, 0, DB},
    {71, "Clap Tone", "CP Tone", "Hz", 500, 3000, 1000, EXPO},
    {72, "Clap Reverb", "CPReverb", "ms", 0, 1000, 200, LIN},
    {73, "Cowbell Tune", "CB Tune", "Hz", 400, 1000, 587, EXPO},
    {74, "Cowbell Ratio", "CBRatio", "", 1, 2, 1.44f, LIN},
    {75, "Cowbell Attack", "CBAtkTim", "msec", 0.01f, 5, 0.1f, LIN},
    {76, "Cowbell Attack Curvature", "CBAtkCrv", "", -1, 1, -0.5f, LIN},
    {77, "Cowbell Decay", "CBDecay", "msec", 0.1f, 500, 200, LIN},
    {78, "Cowbell Decay Curve", "CBDcyCrv", "", -1, 1, -0.5f, LIN},
    {79, "Cowbell Filter Freq", "CBFilFrq", "Hz", 400, 10000, 2640, EXPO},
    {80, "Cowbell Filter Resonance", "CBFilRes", "", 0, 0.5f, 0.05f, LIN},
    {81, "More Cowbell", "CB More", "", 0, 1, 0, ONOFF},
    {82, "CHH BPF Freq", "CHBPFFrq", "Hz", 1000, 18000, 5000, EXPO},
    {83, "CHH HPF Freq", "CHHPFFrq", "Hz", 1000, 18000, 5000, EXPO},
    {84, "CHH Tune", "CH Tune", "", 0, 1, 0.5f, LIN},
    {85, "CHH Noise Mix", "CHNoiMix", "%", 0, 100, 50, PCT},
    {86, "CHH Decay", "CHDecay", "msec", 1, 1000, 100, LIN},
    {87, "OHH BPF Freq", "OHBPFFrq", "Hz", 1000, 18000, 5000, EXPO},
    {88, "OHH HPF Freq", "OHHPFFrq", "Hz", 1000, 18000, 5000, EXPO},
    {89, "OHH Tune", "OH Tune", "", 0, 1, 0.5f, LIN},
    {90, "OHH Noise Mix", "OHNoiMix", "%", 0, 100, 50, PCT},
    {91, "OHH Decay", "OHDecay", "msec", 1, 2000, 400, LIN},
    {92, "OHH Decay Curve", "OHDcyCrv", "", -1, 1, -0.5f, LIN},
    {93, "Cymbal Tuning", "CY Tune", "", 0, 1, 0.5f, LIN},
    {94, "Cymbal Noise Level", "CY Noise", "dB", -60, 0, -10, DB},
    {95, "Cymbal Ding Level", "CY Ding", "dB", -60, 0, -10, DB},
    {96, "Cymbal Freq", "CY Freq", "Hz", 1000, 9000, 7000, EXPO},
    {97, "Cymbal Attack Time", "CYAtkTim", "msec", 0.01f, 5, 0.1f, LIN},
    {98, "Cymbal Attack Curvature", "CYAtkCrv", "", -1, 1, -0.5f, LIN},
    {99, "Cymbal Decay Time", "CYDcyTim", "msec", 10, 4000, 2000, LIN},
    {100, "Cymbal Decay Curvature", "CYDcyCrv", "", -1, 1, -0.8f, LIN},
    {101, "Cymbal Ding Freq", "CYDingFr", "Hz", 1000, 9000, 7000, EXPO},
    {102, "Cymbal Ding Attack Time", "CYDgAtTm", "msec", 0.01f, 5, 0.1f, LIN},
    {103, "Cymbal Ding Attack Curvature", "CYDgAtCv", "", -1, 1, -0.5f, LIN},
    {104, "Cymbal Ding Decay Time", "CYDgDyTm", "msec", 5, 200, 10, LIN},
    {105, "Cymbal Ding Decay Curvature", "CUDgDyCv", "", -1, 1, -0.9f, LIN},
    {106, "Rimshot Tune", "RS Tune", "", 0, 1, 0.5f, LIN},
    {107, "Rimshot HPF Freq", "RSHPFFrq", "Hz", 100, 2000, 1000, EXPO},
    {108, "Pattern Step Size", "Stepsize", "", 0, 4, 0, INT},
    {109, "Play", "Play", "", 0, 1, 0, LIN},
    {110, "Stop", "Stop", "", 0, 1, 0, ONOFF},
    {111, "Tempo", "Tempo", "BPM", 50, 250, 120, LIN},
    {112, "Swing", "Swing", "%", 0, 100, 0, PCT},
    {113, "Sync", "Sync", "", 0, 2, 0, INT},
    {114, "Pattern", "Pattern", "", 0, 15, 0, INT},
    {115, "Output A", "Out A", "dB", -60, 3, 0, DB},
    {116, "Compressor", "Compress", "", 0, 100, 0, LIN},
    {117, "Compressor Attack", "Comp Att", "ms", 0.001f, 10, 0.001f, LIN},
    {262, "MIDI Output Only", "MIDIOnly", "", 0, 1, 0, ONOFF},
};

// One row per tom offset, as for the low tom; offset 0 (the frequency) differs per tom.
const Row kTomRows[] = {
    {0, " Freq", " Freq", "Hz", 0, 0, 0, EXPO},
    {1, " Pitch Depth", "ptchDpt", "%", 0, 100, 30, PCT},
    {2, " Click Level", "clkLvl", "dB", -60, 5, -12, DB},
    {3, " Noise Level", "noisLv", "dB", -60, 0, 0, DB},
    {4, " Tone Level", "toneLv", "dB", -60, 0, 0, DB},
    {5, " Saturation", "satura", "", 0, 0.5f, 0, LIN},
    {6, " Tone 1 Attack Time", "tn1ATm", "msec", .001f, 25, .001f, LIN},
    {7, " Tone 1 Attack Curvature", "tn1ACv", "", -1, 1, -.5f, LIN},
    {8, " Tone 1 Decay Time", "tn1DTm", "msec", 10, 2000, 400, LIN},
    {9, " Tone 1 Decay Curvature", "tn1DCv", "", -1, 1, -.5f, LIN},
    {10, " Tone 2 Attack Time", "tn2ATm", "msec", .001f, 25, .001f, LIN},
    {11, " Tone 2 Attack Curvature", "tn2ACv", "", -1, 1, -.5f, LIN},
    {12, " Tone 2 Decay Time", "tn2DTm", "msec", 10, 2000, 200, LIN},
    {13, " Tone 2 Decay Curvature", "tn2DCv", "", -1, 1, -.5f, LIN},
};
const float kTomFreq[3][3] = {{40, 80, 55}, {60, 100, 75}, {80, 120, 95}}; // lo, hi, def

// Per voice family: base tag, long/short tails, mixer naming, units, range, default, law.
struct Family { int base; const char *longTail, *shortTail; bool mixer; const char* units; float lo, hi, def; int law; };
const Family kFamilies[] = {
    {118, " Level", " Level", true, "dB", -60, 0, 0, DB},
    {130, " Pan", " Pan", true, "", 0, 1, 0.5f, LIN},
    {142, " Output", " Out", true, "", 0, 5, 0, LIN}, // integer for voices 9..11
    {154, " Mute", " Mute", true, "", 0, 1, 0, ONOFF},
    {166, " Solo", " Solo", true, "", 0, 1, 0, ONOFF},
    {178, " Selected Beats", "selbts", false, "%", 0, 100, 100, PCT},
    {190, " Random Beats", "rndbts", false, "%", 0, 100, 0, PCT},
    {202, " Random Size", "rndsz", false, "", 0, 6, 2, INT},
    {214, " Random Velocity", "rndvel", false, "", 0, 127, 1, LIN},
    {226, " Clear", " Clear", false, "", 0, 1, 0, ONOFF},
    {238, " Random Fill", " Rand", false, "", 0, 1, 0, ONOFF},
    {250, " Random Reset", "rndrst", false, "", 0, 1, 0, ONOFF},
};
const char* const kVoiceWord[12] = {"Kickdrum", "Snare 8", "Snare 9", "Low Tom", "Mid Tom", "High Tom",
                                    "Closed High Hat", "Open High Hat", "Cymbal", "Rimshot", "Clap", "Cowbell"};
const char* const kMixPrefix[12] = {"KD", "S8", "S9", "LT", "MT", "HT", "CHH", "OHH", "CY", "RS", "CL", "CB"};
const char* const kSeqPrefix[12] = {"KD", "S8", "S9", "LT", "MT", "HT", "CH", "OH", "CY", "RS", "CL", "CB"};
// clang-format on

std::vector<Row> transcribedTable() {
    std::vector<Row> rows(std::begin(kSoundRows), std::end(kSoundRows));
    const char* tomWord[3] = {"Low Tom", "Mid Tom", "High Tom"};
    const char* tomPrefix[3] = {"LT", "MT", "HT"};
    for (int t = 0; t < 3; ++t)
        for (Row r : kTomRows) {
            if (r.tag == 0) r.lo = kTomFreq[t][0], r.hi = kTomFreq[t][1], r.def = kTomFreq[t][2];
            r.shortName = tomPrefix[t] + r.shortName;
            r.longName = tomWord[t] + r.longName;
            r.tag += 29 + 14 * t;
            if (r.tag == 58) r.shortName = "HTTptchDpt";
            if (r.tag == 60) r.shortName = "HTTnoisLv";
            rows.push_back(r);
        }
    for (const Family& f : kFamilies)
        for (int v = 0; v < 12; ++v) {
            std::string lw = f.mixer ? kVoiceWord[v] : kSeqPrefix[v];
            std::string sw = f.mixer ? kMixPrefix[v] : kSeqPrefix[v];
            int law = (f.base == 142 && v >= 9) ? INT : f.law;
            rows.push_back(
                {f.base + v, lw + f.longTail, sw + f.shortTail, f.units, f.lo, f.hi, f.def, law});
        }
    return rows;
}

// ---- model of the laws ----

double tableRead(const Row& r, double x) {
    auto point = [&](int i) -> double {
        if (i >= 1023) i = 1023;
        if (r.law == EXPO) return r.lo * std::pow(double(r.hi) / r.lo, i / 1023.0);
        if (i == 0) return r.lo;
        if (i == 1023) return r.hi;
        return 44.0 * std::log10(i / 1023.0 + 0.0131) + (r.hi - 0.25);
    };
    double p = 1023.0 * x;
    int i = int(p);
    double f = p - i;
    return point(i) * (1 - f) + point(i + 1) * f;
}

double naturalFromVst(const Row& r, double v) {
    switch (r.law) {
    case ONOFF:
        return v > 0.5 ? 1 : 0;
    case EXPO:
    case DB:
        return tableRead(r, v);
    case INT: // single precision, as the values are stored: 15 * 0.9f is 13.5f and rounds up
        return std::floor((r.hi - r.lo) * float(v) + r.lo + 0.5f);
    default:
        return r.lo + (r.hi - r.lo) * v;
    }
}

double vstFromNatural(const Row& r, double n) {
    double v = r.law == ONOFF  ? n
               : r.law == EXPO ? std::log(n / r.lo) / std::log(double(r.hi) / r.lo)
               : r.law == DB   ? std::pow(10.0, (n - (r.hi - 0.25)) / 44.0) - 0.0131
                               : (n - r.lo) / (r.hi - r.lo);
    return std::min(1.0, std::max(0.0, v));
}

double tuning(double x) {
    return x < 0.5 ? x + 0.5 : 2 * x;
}

// The special laws shared by plain and modulated values; NAN where the type's law applies.
double specialLaw(long t, double x) {
    if (t == 10) return 150 * x;
    if (t == 30 || t == 44 || t == 58) return 200 * x;
    if (t == 84 || t == 93 || t == 106) return tuning(x);
    return NAN;
}

double dspModel(const Row& r, double v) {
    const int seqSteps[5] = {3, 6, 4, 6, 8};
    const int rndSteps[7] = {3, 4, 6, 8, 12, 24, 48};
    const double n = naturalFromVst(r, v),
                 clamped = std::min<double>(r.hi, std::max<double>(r.lo, n));
    const long t = r.tag;
    if (!std::isnan(specialLaw(t, v))) return specialLaw(t, v);
    if (t == 108) return seqSteps[int(n)];
    if (t == 112) return (1 - v) * 0.8 + 0.2;
    if (t >= 202 && t <= 213) return rndSteps[int(n)];
    if (r.law == PCT) return clamped * 0.01;
    if (r.law == DB) return std::pow(10.0, clamped / 20);
    return clamped;
}

// x = v + 2m - 1, limited; the dB curve keeps its dip below the minimum (no clamping).
double modulatedModel(const Row& r, double v, double m) {
    const double x = std::min(1.0, std::max(0.0, v + 2 * m - 1));
    if (!std::isnan(specialLaw(r.tag, x))) return specialLaw(r.tag, x);
    if (r.tag == 13) return m > 0.5 ? 1 : 0;
    if (r.law == PCT) return x;
    const double n = naturalFromVst(r, x);
    return r.law == DB ? std::pow(10.0, n * 0.05) : n;
}

std::string cutTo(const std::string& s, size_t n) {
    return s.substr(0, std::min(s.size(), n));
}

template <class T>
std::string fmt(const char* format, T x) {
    char b[64];
    std::snprintf(b, sizeof b, format, x);
    return b;
}

std::string displayModel(const Row& r, double n, int len) {
    const char* stepSizes[5] = {"1 x 32", "2 x 16", "1 x 16T", "1 x 16", "1 x 8T"};
    const char* syncs[3] = {"HOST", "INT", "MIDI"};
    const char* rndSizes[7] = {"1/32", "1/16T", "1/16", "1/8T", "1/8", "1/4", "1/2"};
    const long t = r.tag;
    const int i = int(std::floor(n + 0.5));
    std::string s;
    if (t == 108)
        s = stepSizes[i];
    else if (t == 113)
        s = syncs[i];
    else if (t >= 202 && t <= 213)
        s = rndSizes[i];
    else if (t == 114)
        s = fmt("%02d", int(n + 1));
    else if (t >= 142 && t <= 153)
        s = std::string(1, char('A' + int(n))); // truncated
    else if (t == 1 || t == 3 || t == 5 || t == 7 || t == 9 || t == 74 || t == 78 || t == 80)
        s = fmt("%4.3f", n);
    else if (r.law == ONOFF)
        s = n > 0.5 ? "On" : "Off";
    else if (r.law == INT)
        s = fmt("%4d", int(n));
    else if (r.law == EXPO)
        s = fmt(n < 1 ? "%3.3f" : n < 10 ? "%4.2f" : n < 100 ? "%4.1f" : "%4.0f", n);
    else
        s = fmt("%4.0f", n);
    return cutTo(s, size_t(len - 1));
}

// Accepts either neighbour of a value so close to a rounding edge of the format that float and
// double arithmetic may round differently.
bool displayMatches(const Row& r, double n, int len, const std::string& got) {
    for (double d : {0.0, 1e-5, -1e-5})
        if (displayModel(r, n + d * std::max(1.0, std::fabs(n)), len) == got) return true;
    return false;
}

bool near(double got, double want, double rel = 2e-5, double abs = 2e-5) {
    return std::fabs(got - want) <= abs + rel * std::fabs(want);
}

class ParamTable : public ::testing::Test {
protected:
    // Each reader fills a buffer prefilled with 'x'. Names and units are cut to len characters,
    // value strings to len - 1; nothing is written beyond.
    std::string name(long tag, int len = 8) {
        return field(len + 1, [&](char* b) { pm.getName(tag, b, len); });
    }
    std::string units(long tag, int len = 8) {
        return field(len + 1, [&](char* b) { pm.getUnitsName(tag, b, len); });
    }
    std::string display(long tag, int len = 8) {
        return field(len, [&](char* b) { pm.getValueString(tag, b, len); });
    }
    template <class F>
    std::string field(int size, F read) {
        char b[64];
        std::memset(b, 'x', sizeof b);
        read(b);
        EXPECT_EQ(b[size], 'x') << "written past the field";
        return b;
    }
    BrakkaParameterManager pm;
    std::vector<Row> rows = transcribedTable();
};

TEST_F(ParamTable, EveryRowMatchesTheTranscription) {
    ASSERT_EQ(rows.size(), 263u);
    std::set<long> tags;
    std::set<std::string> shortNames, longNames;
    EXPECT_EQ(pm.getParameterCount(), 263);
    EXPECT_FALSE(pm.hasParameter(263));
    for (const Row& r : rows) {
        SCOPED_TRACE("tag " + std::to_string(r.tag));
        tags.insert(r.tag);
        EXPECT_EQ(name(r.tag, 8), cutTo(r.shortName, 8));
        EXPECT_EQ(name(r.tag, 24), cutTo(r.longName, 24));
        EXPECT_EQ(pm.getName(r.tag), r.longName);
        EXPECT_EQ(units(r.tag, 8), r.units);
        EXPECT_EQ(units(r.tag, 2), cutTo(r.units, 2));
        EXPECT_EQ(pm.getMinimumValue(r.tag), r.lo);
        EXPECT_EQ(pm.getMaximumValue(r.tag), r.hi);
        EXPECT_EQ(pm.getDefaultValue(r.tag), r.def);
        EXPECT_TRUE(r.lo <= r.def && r.def <= r.hi);
        EXPECT_EQ(int(pm.getType(r.tag)), r.law);
        EXPECT_TRUE(pm.canRandomize(r.tag));
        // A fresh table holds every default, and the VST value that follows from it.
        EXPECT_EQ(pm.getNaturalValue(r.tag), r.def);
        EXPECT_TRUE(near(pm.getVSTvalue(r.tag), vstFromNatural(r, r.def)))
            << pm.getVSTvalue(r.tag) << " vs " << vstFromNatural(r, r.def);
        shortNames.insert(name(r.tag, 8));
        longNames.insert(r.longName);
    }
    EXPECT_EQ(tags.size(), 263u);
    EXPECT_EQ(*tags.rbegin(), 262);
    EXPECT_EQ(shortNames.size(), 263u);
    EXPECT_EQ(longNames.size(), 263u);
}

TEST_F(ParamTable, ValuesDspValuesAndDisplaysFollowTheLaws) {
    const float vs[] = {0.0f,  0.001f, 0.01f, 0.0308f,    0.1f, 0.124f, 0.125f, 0.2f,   0.25f,
                        0.39f, 0.45f,  0.5f,  0.5000001f, 0.6f, 0.75f,  0.9f,   0.999f, 1.0f};
    for (const Row& r : rows) {
        for (float v : vs) {
            SCOPED_TRACE("tag " + std::to_string(r.tag) + " v " + std::to_string(v));
            pm.setVSTvalue(r.tag, v);
            EXPECT_EQ(pm.getVSTvalue(r.tag), v);
            const double n = naturalFromVst(r, v);
            EXPECT_TRUE(near(pm.getNaturalValue(r.tag), n, 2e-5, 1e-4))
                << pm.getNaturalValue(r.tag) << " vs " << n;
            EXPECT_TRUE(near(pm.getDSPValue(r.tag), dspModel(r, v), 2e-5, 1e-4))
                << pm.getDSPValue(r.tag) << " vs " << dspModel(r, v);
            for (int len : {4, 8, 24}) {
                const std::string got = display(r.tag, len);
                EXPECT_TRUE(displayMatches(r, n, len, got))
                    << "len " << len << ": '" << got << "' vs '" << displayModel(r, n, len) << "'";
            }
        }
        pm.setNaturalValue(r.tag, r.def);
    }
}

TEST_F(ParamTable, ModulatedValuesFollowTheStepLaw) {
    const float vs[] = {0.0f, 0.01f, 0.1f, 0.3f, 0.5f, 0.62f, 0.8f, 1.0f};
    const float ms[] = {0.0f, 0.25f, 0.5f, 0.51f, 0.75f, 1.0f};
    int modulatable = 0;
    for (const Row& r : rows) {
        if (!pm.isModulatableTag(r.tag)) continue;
        ++modulatable;
        for (float v : vs) {
            pm.setVSTvalue(r.tag, v);
            for (float m : ms) {
                const float got = pm.getModulatedDSPValue(r.tag, m);
                EXPECT_TRUE(near(got, modulatedModel(r, v, m), 5e-5, 1e-4))
                    << "tag " << r.tag << " v " << v << " m " << m << ": " << got << " vs "
                    << modulatedModel(r, v, m);
                EXPECT_EQ(pm.getVSTvalue(r.tag), v); // the step value only reads
            }
            // An unreadable step value bends nothing.
            EXPECT_EQ(pm.getModulatedDSPValue(r.tag, NAN), pm.getModulatedDSPValue(r.tag, 0.5f));
            // Neutral steps give the plain DSP value, except for the waveform and inside the dip
            // of the decibel curve, which the step law leaves unlimited.
            if (r.tag != 13 && !(r.law == DB && v < 0.0308f)) {
                EXPECT_TRUE(near(pm.getModulatedDSPValue(r.tag, 0.5f), pm.getDSPValue(r.tag)))
                    << r.tag;
            }
        }
        pm.setNaturalValue(r.tag, r.def);
    }
    EXPECT_EQ(modulatable, 120);
}

// The laws at their named points, and the display of every special case, set from a fresh table.
TEST(ParamTablePins, NamedEdgeCases) {
    struct Pin {
        long tag;
        bool vst; // the value is a VST value, else a natural value
        float value, natural, dsp;
        const char* shown; // in a field of 8
    };
    // clang-format off
    const Pin pins[] = {
        {12, false, -6, -6, 0.501187f, "  -6"},        // dB: VST 0.7270 (below)
        {12, true, 0.01f, -72.25f, 0.001f, " -72"},    // the dB table dips below its minimum
        {11, true, 0.5f, 1341.64f, 1341.64f, "1342"},  // exponential: the geometric mean
        {108, true, 0.124f, 0, 3, "1 x 32"},           // integers round
        {108, true, 0.125f, 1, 6, "2 x 16"},
        {108, false, 2, 2, 4, "1 x 16T"}, {108, false, 3, 3, 6, "1 x 16"}, {108, false, 4, 4, 8, "1 x 8T"},
        {110, true, 0.5f, 0, 0, "Off"}, {110, true, 0.5000001f, 1, 1, "On"},
        {113, false, 0, 0, 0, "HOST"}, {113, false, 1, 1, 1, "INT"}, {113, false, 2, 2, 2, "MIDI"},
        {114, false, 0, 0, 0, "01"}, {114, false, 15, 15, 15, "16"},
        {202, false, 0, 0, 3, "1/32"}, {205, false, 1, 1, 4, "1/16T"}, {206, false, 2, 2, 6, "1/16"},
        {207, false, 3, 3, 8, "1/8T"}, {208, false, 4, 4, 12, "1/8"}, {209, false, 5, 5, 24, "1/4"},
        {211, false, 6, 6, 48, "1/2"},
        {142, true, 0.39f, 1.95f, 1.95f, "B"},         // linear outputs truncate...
        {150, true, 0.39f, 1.95f, 1.95f, "B"},
        {151, true, 0.39f, 2, 2, "C"},                 // ...integer ones (rimshot, clap, cowbell) round
        {153, true, 0.39f, 2, 2, "C"}, {142, true, 1, 5, 5, "F"},
        {5, false, -0.38f, -0.38f, -0.38f, "-0.380"},  // curves with three decimals
        {74, false, 1.44f, 1.44f, 1.44f, "1.440"},
        {16, false, -0.7f, -0.7f, -0.7f, "  -1"},      // other curves whole, %4.0f
        {0, false, 45, 45, 45, "  45"},
        {10, false, 66, 66, 99, "  66"}, {30, false, 30, 30, 60, "  30"}, {112, false, 0, 0, 1, "   0"},
        {84, true, 0.25f, 0.25f, 0.75f, "   0"}, {84, true, 0.75f, 0.75f, 1.5f, "   1"},
        {93, true, 0.25f, 0.25f, 0.75f, "   0"}, {106, true, 0.75f, 0.75f, 1.5f, "   1"},
        {89, true, 0.75f, 0.75f, 0.75f, "   1"},       // the open hat's tune is no factor
    };
    // clang-format on
    for (const Pin& p : pins) {
        BrakkaParameterManager pm;
        p.vst ? pm.setVSTvalue(p.tag, p.value) : pm.setNaturalValue(p.tag, p.value);
        EXPECT_NEAR(pm.getNaturalValue(p.tag), p.natural, 0.01f) << p.tag << " " << p.value;
        EXPECT_NEAR(pm.getDSPValue(p.tag), p.dsp, 1e-5f + 1e-5f * std::fabs(p.dsp)) << p.tag;
        char text[9];
        pm.getValueString(p.tag, text, 8);
        EXPECT_STREQ(text, p.shown) << p.tag << " " << p.value;
    }
    BrakkaParameterManager pm;
    EXPECT_NEAR(pm.getVSTvalue(12), 0.7270, 1e-4);
    pm.setVSTvalue(12, 0.01f);
    EXPECT_LT(pm.getModulatedDSPValue(12, 0.5f), 0.001f); // a modulated step keeps the dip
    pm.setVSTvalue(13, 1.0f); // the waveform follows the step value alone
    EXPECT_EQ(pm.getModulatedDSPValue(13, 0.5f), 0.0f);
    EXPECT_EQ(pm.getModulatedDSPValue(13, 0.51f), 1.0f);
    pm.setVSTvalue(0, 0.8f);
    EXPECT_FLOAT_EQ(pm.getModulatedDSPValue(0, 0.55f), 40.0f + 70.0f * 0.9f);
    char text[9];
    pm.getValueString(5, text, 4);
    EXPECT_STREQ(text, "-0.");
    pm.getName(30, text, 8);
    EXPECT_STREQ(text, "LTptchDp"); // "LTptchDpt" cut to the host field
    pm.getUnitsName(111, text, 8);
    EXPECT_STREQ(text, "BPM");
}

TEST_F(ParamTable, VoiceOwnershipTagSetsAndSnapshots) {
    // First tag of each sound group and its voice; pans 130..141 belong to voices 0..11.
    const int firstTag[] = {0, 14, 25, 29, 43, 57, 71, 73, 82, 87, 93, 106, 108};
    const int voice[] = {0, 2, 1, 3, 4, 5, 10, 11, 6, 7, 8, 9};
    for (long tag = -2; tag < 270; ++tag) {
        int want = -1;
        for (int g = 0; g < 12; ++g)
            if (tag >= firstTag[g] && tag < firstTag[g + 1]) want = voice[g];
        if (tag >= 130 && tag <= 141) want = int(tag - 130);
        if (tag >= 0) {
            EXPECT_EQ(pm.getVoiceFromParamTag(unsigned(tag)), want) << tag;
        }
        EXPECT_EQ(pm.isModulatableTag(tag), want >= 0) << tag;
        const bool pattern = tag == 108 || (tag >= 178 && tag <= 225) || (tag >= 250 && tag <= 261);
        EXPECT_EQ(pm.isPatternTag(tag), pattern) << tag;
        EXPECT_EQ(tag >= 0 && pm.getPatternTags().count(unsigned(tag)), pattern) << tag;
        EXPECT_EQ(tag >= 0 && pm.getModulatableTags().count(unsigned(tag)), want >= 0) << tag;
    }
    EXPECT_EQ(pm.getVoiceFromParamTag(4000000000u), -1);
    EXPECT_EQ(pm.getPatternTags().size(), 61u);

    // Sixteen snapshots, one per pattern, each of the pattern tags at their fresh values.
    ASSERT_EQ(pm.getStateCount(), 16);
    paramMemento* m = pm.createMemento();
    ASSERT_EQ(m->lists.size(), 17u);
    for (size_t i = 1; i < 17; ++i) {
        ASSERT_EQ(m->lists[i].size(), 61u);
        auto tag = pm.getPatternTags().begin();
        for (const _pr& e : m->lists[i]) {
            EXPECT_EQ(e.tag, *tag++);
            EXPECT_EQ(e.value, pm.getVSTvalue(e.tag));
        }
    }
    delete m;
    // A snapshot holds the pattern tags only.
    pm.setNaturalValue(108, 4);
    pm.setNaturalValue(178, 30);
    pm.setNaturalValue(0, 90);
    pm.saveState(3);
    pm.setNaturalValue(108, 1);
    pm.setNaturalValue(178, 70);
    pm.setNaturalValue(0, 50);
    pm.restoreState(3);
    EXPECT_EQ(pm.getNaturalValue(108), 4.0f);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(178), 30.0f);
    EXPECT_EQ(pm.getNaturalValue(0), 50.0f);
    pm.restoreState(0);
    EXPECT_EQ(pm.getNaturalValue(108), 0.0f);
    EXPECT_EQ(pm.getNaturalValue(178), 100.0f);

    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(pm.getPanLawLeft()[i], float(std::cos(i * M_PI / 2000))) << i;
        EXPECT_EQ(pm.getPanLawRight()[i], float(std::sin(i * M_PI / 2000))) << i;
    }
    const std::pair<float, int> panIndex[] = {{0.0f, 0},   {0.5f, 499}, {1.0f, 999},
                                              {1.5f, 999}, {-0.1f, 0},  {NAN, 0}};
    for (auto [pan, index] : panIndex)
        EXPECT_EQ(BrakkaParameterManager::panLawIndex(pan), index) << pan;
}

// Chunks and pattern snapshots keep VST values: every choice must come back as itself, and every
// continuous value as nearly itself.
TEST_F(ParamTable, ValuesSurviveTheirVstRoundTrip) {
    for (const Row& r : rows) {
        const bool stepped = r.law == INT || r.law == ONOFF || (r.tag >= 142 && r.tag <= 153);
        const int count = stepped ? int(r.hi - r.lo) + 1 : 11;
        for (int i = 0; i < count; ++i) {
            const float n = stepped ? r.lo + float(i) : r.lo + (r.hi - r.lo) * float(i) / 10;
            pm.setNaturalValue(r.tag, n);
            const std::string shown = display(r.tag);
            const float dsp = pm.getDSPValue(r.tag);
            pm.setVSTvalue(r.tag, pm.getVSTvalue(r.tag));
            if (stepped) {
                EXPECT_EQ(display(r.tag), shown) << r.tag << " n " << n;
            }
            EXPECT_TRUE(near(pm.getDSPValue(r.tag), dsp, 1e-4, 1e-5)) << r.tag << " n " << n;
        }
        pm.setNaturalValue(r.tag, r.def);
    }
}

TEST_F(ParamTable, HostileTagsAndValuesGiveDefinedResults) {
    for (long tag : {-1L, 263L, 100000L}) {
        EXPECT_EQ(pm.getDSPValue(tag), 0.0f);
        EXPECT_EQ(pm.getModulatedDSPValue(tag, 0.7f), 0.0f);
        EXPECT_EQ(display(tag), "");
        pm.setVSTvalue(tag, 0.5f);
    }
    EXPECT_EQ(pm.getParameterCount(), 263);
    const float bad[] = {-1.0f, 2.0f, 9.0f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN};
    for (long tag = 0; tag < 263; ++tag) {
        for (float v : bad) {
            pm.setVSTvalue(tag, v);
            EXPECT_FALSE(std::isnan(pm.getNaturalValue(tag)) || std::isnan(pm.getDSPValue(tag)))
                << tag << " " << v;
            for (float m : bad)
                EXPECT_FALSE(std::isnan(pm.getModulatedDSPValue(tag, m))) << tag << " " << m;
            for (int len : {1, 2, 8, 24})
                EXPECT_LT(display(tag, len).size(), size_t(len)) << tag << " " << v;
            pm.setNaturalValue(tag, v);
            EXPECT_FALSE(std::isnan(pm.getDSPValue(tag))) << tag << " " << v;
            EXPECT_LT(display(tag).size(), 8u) << tag << " " << v;
        }
        pm.setNaturalValue(tag, pm.getDefaultValue(tag));
    }
    pm.setNaturalValue(108, 1e9f);
    EXPECT_EQ(pm.getDSPValue(108), 8.0f);
    pm.setNaturalValue(207, -50.0f);
    EXPECT_EQ(pm.getDSPValue(207), 3.0f);
}

// The audio thread reads DSP values while another thread writes values and snapshots. Run under
// the thread sanitizer this shows that no container is touched by both.
TEST(ParamTableConcurrency, ReadsDuringWritesStayInRange) {
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
