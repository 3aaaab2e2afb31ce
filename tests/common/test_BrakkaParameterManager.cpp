// The instrument's parameter table: a fingerprint of all rows, their ends and choice round trips;
// the laws and the modulation at pinned points; tag sets, snapshots, pan law; hostile input.
#include "BrakkaParameterManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

using PM = BrakkaParameterManager;

// Reads a text field into a buffer prefilled with 'x' and checks nothing was written past size.
template <class F>
std::string field(int size, F read) {
    char b[64];
    std::memset(b, 'x', sizeof b);
    read(b);
    EXPECT_EQ(b[size], 'x') << "written past the field";
    return b;
}
std::string shortName(PM& pm, long tag) {
    return field(9, [&](char* b) { pm.getName(tag, b, 8); });
}
std::string units(PM& pm, long tag) {
    return field(9, [&](char* b) { pm.getUnitsName(tag, b, 8); });
}
std::string display(PM& pm, long tag, int len = 8) {
    return field(len, [&](char* b) { pm.getValueString(tag, b, len); });
}

// One line per row, as a developer would list the table.
std::string rowText(PM& pm, long tag) {
    char line[256];
    std::snprintf(line, sizeof line, "%ld|%s|%s|%s|%g|%g|%g|%d\n", tag, pm.getName(tag).c_str(),
                  shortName(pm, tag).c_str(), units(pm, tag).c_str(), pm.getMinimumValue(tag),
                  pm.getMaximumValue(tag), pm.getDefaultValue(tag), int(pm.getType(tag)));
    return line;
}

// Every row: its fingerprint, distinct names, a default within its range, the ends of the VST
// range at the ends of the natural range, and every choice through a VST round trip (hosts,
// snapshots and programs keep VST values).
TEST(ParamTable, EveryRowMatchesItsFingerprintAndRoundTrips) {
    PM pm;
    ASSERT_EQ(pm.getParameterCount(), kNumParameters);
    // FNV-1a over every row: any change of a name, unit, range, default or law changes it. After
    // a deliberate change of the table, put the printed value here.
    uint64_t hash = 1469598103934665603ull;
    std::set<std::string> shorts, longs;
    for (long tag = 0; tag < kNumParameters; ++tag) {
        for (char c : rowText(pm, tag))
            hash = (hash ^ uint8_t(c)) * 1099511628211ull;
        shorts.insert(shortName(pm, tag));
        longs.insert(pm.getName(tag));
        const float lo = pm.getMinimumValue(tag), hi = pm.getMaximumValue(tag);
        const float def = pm.getDefaultValue(tag);
        EXPECT_TRUE(lo < hi && lo <= def && def <= hi && pm.getNaturalValue(tag) == def) << tag;
        EXPECT_TRUE(pm.canRandomize(tag));
        EXPECT_FLOAT_EQ(pm.naturalValueFromVSTvalue(tag, 0), lo) << tag;
        EXPECT_NEAR(pm.naturalValueFromVSTvalue(tag, 1), hi, 1e-4f * std::fabs(hi)) << tag;
        const zu_paramTypes type = pm.getType(tag);
        if (type != kParamInteger && type != kParamOnOff && !isFamilyTag(tag, kOutputTag)) continue;
        for (float n = lo; n <= hi; n += 1) {
            pm.setNaturalValue(tag, n);
            const std::string shown = display(pm, tag);
            pm.setVSTvalue(tag, pm.getVSTvalue(tag));
            EXPECT_EQ(display(pm, tag), shown) << tag << " " << n;
        }
    }
    EXPECT_EQ(hash, 0xc51837270663c0eeull) << std::hex << "0x" << hash;
    EXPECT_EQ(shorts.size(), size_t(kNumParameters));
    EXPECT_EQ(longs.size(), size_t(kNumParameters));
    // Two rows readable at a glance.
    EXPECT_EQ(rowText(pm, kKickClickLevelTag), "12|Kickdrum Click Level|KDCliLvl|dB|-60|0|-6|5\n");
    EXPECT_EQ(rowText(pm, kOutputTag + 9), "151|Rimshot Output|RS Out||0|5|0|6\n");
}

// The laws at named points, set on a fresh table, and a modulation step m as the VST value
// shifted by 2m - 1.
TEST(ParamTable, LawsTextsAndModulationAtPinnedPoints) {
    struct Pin {
        long tag;
        bool vst; // the value is a VST value, else a natural value
        float value, natural, dsp;
        const char* shown; // in a field of 8
    };
    const bool v = true, n = false;
    const long step = kStepSizeTag, sync = kSyncTag, out = kOutputTag, size = kRandomSizeTag;
    // clang-format off
    const Pin pins[] = {
        {step, n, 2, 2, 4, "1 x 16T"}, {step, n, 4, 4, 8, "1 x 8T"}, // names and step ticks
        {sync, n, 1, 1, 1, "INT"}, {sync, n, 1.7f, 1.7f, 1.7f, "MIDI"}, // choices show n rounded
        {kPatternTag, n, 15, 15, 15, "16"}, {size, n, 0, 0, 3, "1/32"},
        {size + 9, n, 6, 6, 48, "1/2"},
        // Linear outputs truncate, integer ones (rimshot, clap, cowbell) round.
        {out, v, 0.39f, 1.95f, 1.95f, "B"}, {out + 9, v, 0.39f, 2, 2, "C"}, {out, v, 1, 5, 5, "F"},
        // Some curves with three decimals, the others whole (%4.0f).
        {kKickAmpDecayCurveTag, n, -0.38f, -0.38f, -0.38f, "-0.380"},
        {kCowbellFilterResonanceTag, n, 0.05f, 0.05f, 0.05f, "0.050"},
        {kSnare9ToneAttackCurveTag, n, -0.7f, -0.7f, -0.7f, "  -1"},
        // Depths, swing and tuning factors in their own laws; the open hat's tune is no factor.
        {kKickPitchModTag, v, 1, 100, 150, " 100"}, {kSwingTag, v, 1, 100, 0.2f, " 100"},
        {kHighTomFirstTag + kTomPitchDepth, v, 0.5f, 50, 100, "  50"},
        {kClosedHatFirstTag + kHatTune, v, 0.25f, 0.25f, 0.75f, "   0"},
        {kCymbalTuneTag, v, 0.25f, 0.25f, 0.75f, "   0"},
        {kRimshotTuneTag, v, 0.75f, 0.75f, 1.5f, "   1"},
        {kOpenHatFirstTag + kHatTune, v, 0.75f, 0.75f, 0.75f, "   1"},
    };
    // clang-format on
    for (const Pin& p : pins) {
        PM pm;
        p.vst ? pm.setVSTvalue(p.tag, p.value) : pm.setNaturalValue(p.tag, p.value);
        EXPECT_NEAR(pm.getNaturalValue(p.tag), p.natural, 0.01f) << p.tag << " " << p.value;
        EXPECT_NEAR(pm.getDSPValue(p.tag), p.dsp, 1e-5f + 1e-5f * std::fabs(p.dsp)) << p.tag;
        EXPECT_EQ(display(pm, p.tag), p.shown) << p.tag << " " << p.value;
    }
    PM pm;

    // tag, VST value, modulation step, modulated DSP value
    // clang-format off
    const std::tuple<long, float, float, float> modulated[] = {
        {kKickTuneTag, 0.3f, 0.75f, 96}, {kKickTuneTag, 0.3f, 0.1f, 40},
        {kPanTag, 0.62f, 0.51f, 0.64f}, {kKickClickLevelTag, 0.5f, 0.5f, 0.2238432f}}; // -13 dB
    // clang-format on
    for (auto [tag, v, m, dsp] : modulated) {
        pm.setVSTvalue(tag, v);
        EXPECT_NEAR(pm.getModulatedDSPValue(tag, m), dsp, 1e-5 + 1e-5 * dsp) << tag << " " << m;
        EXPECT_EQ(pm.getVSTvalue(tag), v); // the step value only reads
        EXPECT_EQ(pm.getModulatedDSPValue(tag, NAN), pm.getModulatedDSPValue(tag, 0.5f));
    }
    // In the dip the modulated dB value follows the curve below the minimum, where the plain DSP
    // value stops at it; the waveform follows the step value alone.
    pm.setVSTvalue(kKickClickLevelTag, 0.01f);
    EXPECT_LT(pm.getModulatedDSPValue(kKickClickLevelTag, 0.5f), 0.0005f);
    pm.setVSTvalue(kKickWaveformTag, 1.0f);
    EXPECT_EQ(pm.getModulatedDSPValue(kKickWaveformTag, 0.5f), 0.0f);
    EXPECT_EQ(pm.getModulatedDSPValue(kKickWaveformTag, 0.51f), 1.0f);
    // dB gains are the exactly rounded powers: at these levels the C library's powf is off.
    for (float dB : {-59.9709663f, -56.2999344f, -54.3000908f}) {
        pm.setNaturalValue(kKickClickLevelTag, dB);
        ASSERT_EQ(pm.getNaturalValue(kKickClickLevelTag), dB);
        EXPECT_EQ(pm.getDSPValue(kKickClickLevelTag), (float)std::pow(10.0, (double)(dB / 20.0f)));
    }
}

TEST(ParamTable, VoiceOwnershipTagSetsSnapshotsAndPanLaw) {
    PM pm;
    // First tag of each sound group and its voice; pans belong to their voices.
    const int firstTag[] = {kKickTuneTag,       kSnare9TuneTag,   kSnare8TuneTag, kLowTomFirstTag,
                            kMidTomFirstTag,    kHighTomFirstTag, kClapToneTag,   kCowbellTuneTag,
                            kClosedHatFirstTag, kOpenHatFirstTag, kCymbalTuneTag, kRimshotTuneTag,
                            kNumSoundTags};
    const int voice[] = {0, 2, 1, 3, 4, 5, 10, 11, 6, 7, 8, 9};
    for (long tag = -2; tag < 270; ++tag) {
        int want = -1;
        for (int g = 0; g < 12; ++g)
            if (tag >= firstTag[g] && tag < firstTag[g + 1]) want = voice[g];
        if (isFamilyTag(tag, kPanTag)) want = int(tag - kPanTag);
        if (tag >= 0) {
            EXPECT_EQ(pm.getVoiceFromParamTag(unsigned(tag)), want) << tag;
        }
        EXPECT_EQ(pm.isModulatableTag(tag), want >= 0) << tag;
        const bool pattern = tag == kStepSizeTag || isFamilyTag(tag, kRandomResetTag) ||
                             (tag >= kSelectedBeatsTag && tag < kRandomVelocityTag + kNumVoices);
        EXPECT_EQ(pm.isPatternTag(tag), pattern) << tag;
        EXPECT_EQ(tag >= 0 && pm.getPatternTags().count(unsigned(tag)), pattern) << tag;
        EXPECT_EQ(tag >= 0 && pm.getModulatableTags().count(unsigned(tag)), want >= 0) << tag;
    }
    EXPECT_EQ(pm.getVoiceFromParamTag(4000000000u), -1);

    // Sixteen snapshots, one per pattern, of the pattern tags only.
    ASSERT_EQ(pm.getStateCount(), 16);
    pm.setNaturalValue(kSelectedBeatsTag, 30);
    pm.setNaturalValue(kKickTuneTag, 90);
    pm.saveState(3);
    pm.setNaturalValue(kSelectedBeatsTag, 70);
    pm.setNaturalValue(kKickTuneTag, 50);
    pm.restoreState(3);
    EXPECT_FLOAT_EQ(pm.getNaturalValue(kSelectedBeatsTag), 30.0f);
    EXPECT_EQ(pm.getNaturalValue(kKickTuneTag), 50.0f);
    pm.restoreState(0);
    EXPECT_EQ(pm.getNaturalValue(kSelectedBeatsTag), 100.0f);

    // Equal power: left² + right² = 1, from hard left to hard right.
    for (int i = 0; i < 1000; i += 111) {
        const float l = pm.getPanLawLeft()[i], r = pm.getPanLawRight()[i];
        EXPECT_NEAR(l * l + r * r, 1.0f, 1e-6f) << i;
    }
    EXPECT_EQ(pm.getPanLawLeft()[0], 1.0f);
    EXPECT_FLOAT_EQ(pm.getPanLawRight()[500], std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(pm.getPanLawRight()[999], float(std::sin(999 * M_PI / 2000)));
    const std::pair<float, int> panIndex[] = {{0.0f, 0},   {0.5f, 499}, {1.0f, 999},
                                              {1.5f, 999}, {-0.1f, 0},  {NAN, 0}};
    for (auto [pan, index] : panIndex)
        EXPECT_EQ(PM::panLawIndex(pan), index) << pan;
}

TEST(ParamTable, HostileTagsAndValuesGiveDefinedResults) {
    PM pm;
    for (long tag : {-1L, long(kNumParameters), 100000L}) {
        EXPECT_EQ(pm.getDSPValue(tag), 0.0f);
        EXPECT_EQ(pm.getModulatedDSPValue(tag, 0.7f), 0.0f);
        EXPECT_EQ(display(pm, tag), "");
        pm.setVSTvalue(tag, 0.5f);
    }
    EXPECT_EQ(pm.getParameterCount(), kNumParameters);
    const float bad[] = {-1.0f, 2.0f, 9.0f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN};
    for (long tag = 0; tag < kNumParameters; ++tag) {
        for (float v : bad) {
            pm.setVSTvalue(tag, v);
            bool nan = std::isnan(pm.getNaturalValue(tag)) || std::isnan(pm.getDSPValue(tag));
            for (float m : bad)
                nan = nan || std::isnan(pm.getModulatedDSPValue(tag, m));
            for (int len : {1, 2, 8, 24})
                EXPECT_LT(display(pm, tag, len).size(), size_t(len)) << tag << " " << v;
            pm.setNaturalValue(tag, v);
            EXPECT_FALSE(nan || std::isnan(pm.getDSPValue(tag))) << tag << " " << v;
        }
        pm.setNaturalValue(tag, pm.getDefaultValue(tag));
    }
    pm.setNaturalValue(kStepSizeTag, 1e9f);
    EXPECT_EQ(pm.getDSPValue(kStepSizeTag), 8.0f);
    pm.setNaturalValue(kRandomSizeTag + 5, -50.0f);
    EXPECT_EQ(pm.getDSPValue(kRandomSizeTag + 5), 3.0f);
}

} // namespace
