// What the host sees: declared properties, fixed answers, output pins, private opcodes, program
// names, and safe refusal of bad host input.
#include "BrakkaPatternDictionary.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace brakka_test;

TEST(HostFrame, DeclaredProperties) {
    EngineHarness h;
    AEffect* e = h.host().effect();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 48);
    EXPECT_EQ(e->numParams, 263);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 12);
    EXPECT_EQ(e->uniqueID, 0x5A55626B);
    EXPECT_EQ(e->version, 1);
    EXPECT_TRUE(e->flags & effFlagsIsSynth);
    EXPECT_TRUE(e->flags & effFlagsCanReplacing);
    EXPECT_TRUE(e->flags & effFlagsProgramChunks);
    EXPECT_EQ(h.host().dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(h.host().dispatch(effGetVendorVersion), 1120);
    EXPECT_EQ(h.host().dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(h.host().dispatch(effGetNumMidiInputChannels), 1);
    EXPECT_EQ(h.host().dispatch(effGetNumMidiOutputChannels), 1);
    EXPECT_EQ(h.host().getString(effGetEffectName, 0, 32).text, "Brakka");
    EXPECT_EQ(h.host().getString(effGetProductString, 0, 64).text, "Brakka");
    EXPECT_EQ(h.host().getString(effGetVendorString, 0, 64).text, "Zunder Works, Inc.");
}

TEST(HostFrame, CanDoAnswersOneOrMinusOne) {
    EngineHarness h;
    for (const char* yes :
         {"receiveVstEvents", "receiveVstMidiEvent", "sendVstMidiEvent", "receiveVstTimeInfo"})
        EXPECT_EQ(h.host().canDo(yes), 1) << yes;
    for (const char* no : {"sendVstEvents", "bypass", "offline", "", "receiveVstEventsX"})
        EXPECT_EQ(h.host().canDo(no), -1) << no;
}

TEST(HostFrame, OutputPinsAreSixStereoPairs) {
    EngineHarness h;
    for (int pin = 0; pin < 12; ++pin) {
        VstPinProperties p;
        std::memset(&p, 0x55, sizeof(p));
        ASSERT_EQ(h.host().dispatch(effGetOutputProperties, pin, 0, &p), 1);
        std::string expected = std::string("Brakka ") + char('A' + pin / 2) + " ";
        EXPECT_EQ(std::string(p.label), expected);
        EXPECT_EQ(p.flags, 3);
    }
    VstPinProperties p;
    std::memset(&p, 0x55, sizeof(p));
    EXPECT_EQ(h.host().dispatch(effGetOutputProperties, 12, 0, &p), 0);
    EXPECT_EQ((unsigned char)p.label[0], 0x55);
    EXPECT_EQ(h.host().dispatch(effGetOutputProperties, -1, 0, &p), 0);
    EXPECT_EQ(h.engine().getOutputProperties(12, &p), false);
    EXPECT_EQ(h.engine().getOutputProperties(-3, &p), false);
}

TEST(HostFrame, ProgramNames) {
    EngineHarness h;
    h.host().dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(h.host().dispatch(effGetProgram), 5);
    EXPECT_EQ(h.host().getString(effGetProgramName, 0, 24).text, "init 6");
    char name[64] = {};
    EXPECT_EQ(h.host().dispatch(effGetProgramNameIndexed, 5, -1, name), 1);
    EXPECT_STREQ(name, "init");
    EXPECT_EQ(h.host().dispatch(effGetProgramNameIndexed, 48, -1, name), 0);

    char longName[] = "A name that is much longer than twenty-three";
    h.host().dispatch(effSetProgramName, 0, 0, longName);
    StringAnswer a = h.host().getString(effGetProgramName, 0, 24);
    EXPECT_EQ(a.text, std::string(longName, 23));
    EXPECT_FALSE(a.overflow);

    // Out-of-range programs are refused: nothing changes.
    h.engine().setProgram(48);
    h.engine().setProgram(-1);
    EXPECT_EQ(h.engine().getProgram(), 5);
    EXPECT_FALSE(h.engine().getProgramNameIndexed(0, -1, name));
}

TEST(HostFrame, BadParameterInputIsRefusedOrClamped) {
    EngineHarness h;
    const float tempo = h.get(Brakka::kTagTempo);
    h.set(Brakka::kTagTempo, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(h.get(Brakka::kTagTempo), tempo);
    h.engine().setParameter(Brakka::kTagTempo, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(h.engine().getParameter(Brakka::kTagTempo), tempo);

    h.engine().setParameter(Brakka::kTagTempo, 7.0f);
    EXPECT_EQ(h.get(Brakka::kTagTempo), 1.0f);
    EXPECT_EQ(h.engine().getTempo(), 0.0f); // Sync is Host and the host reported no tempo
    h.engine().setParameter(Brakka::kTagTempo, -3.0f);
    EXPECT_EQ(h.get(Brakka::kTagTempo), 0.0f);

    for (int bad : {-1, 263, 1000, std::numeric_limits<int>::min()}) {
        h.engine().setParameter(bad, 0.5f);
        EXPECT_EQ(h.engine().getParameter(bad), 0.0f);
        char text[256] = "x";
        h.engine().getParameterName(bad, text);
        EXPECT_STREQ(text, "");
        h.engine().getParameterDisplay(bad, text);
        h.engine().getParameterLabel(bad, text);
        h.engine().getLongParameterName(bad, text);
        EXPECT_EQ(h.engine().getFullParameterName(bad), "");
        h.engine().setVoiceParameter(bad, 0.5f);
        h.engine().setModSequenceValue(bad, 0, 0.5f);
        h.engine().fillModValues(bad, 2);
    }
    EXPECT_EQ(h.host().getString(effGetParamName, 262, 64).text, "MIDIOnly");
    EXPECT_EQ(h.host().getString(effGetParamName, 263, 64).text, "");
    // Rendering still works after all of it.
    h.host().process(256);
    for (int c = 0; c < 12; ++c)
        for (float x : h.host().output(c))
            EXPECT_TRUE(std::isfinite(x));
}

TEST(HostFrame, ParameterQueriesComeFromTheTable) {
    EngineHarness h;
    EXPECT_EQ(h.host().getString(effGetParamName, 118, 64).text, "KD Level");
    EXPECT_EQ(h.host().getString(effGetParamName, 65, 64).text, "HTtn1DTm");
    EXPECT_EQ(h.host().getString(effGetParamLabel, 118, 64).text, "dB");
    h.set(Brakka::kTagSync, syncValue(1));
    EXPECT_EQ(h.host().getString(effGetParamDisplay, Brakka::kTagSync, 64).text, "INT");
    char text[64];
    h.engine().getLongParameterName(4, text);
    EXPECT_STREQ(text, "Kickdrum Amp Decay");
    EXPECT_EQ(h.engine().getFullParameterName(124), "Closed High Hat Level");
    EXPECT_FLOAT_EQ(h.engine().getTempo(), 120.0f);
}

TEST(HostFrame, NaturalAndNormalizedConversionOpcodes) {
    EngineHarness h;
    float out = -1.0f;
    // Kickdrum Tune: 40..110 Hz linear.
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, 0, &out, 45.0f), 1);
    EXPECT_NEAR(out, 5.0f / 70.0f, 1e-6);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 23456, 0, &out, 0.5f), 1);
    EXPECT_NEAR(out, 75.0f, 1e-4);
    // Tempo 50..250 BPM.
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 23456, Brakka::kTagTempo, &out, 0.35f), 1);
    EXPECT_NEAR(out, 120.0f, 1e-3);
    // Bad tag or missing result pointer: refused, nothing written.
    out = -1.0f;
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, 263, &out, 1.0f), 0);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, -1, &out, 1.0f), 0);
    EXPECT_EQ(out, -1.0f);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, 0, nullptr, 1.0f), 0);
    // Other opcodes answer 0.
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 4711, 0, &out, 1.0f), 0);
}

namespace {

// A dictionary holding pattern p with a kick on step p and the given random-beats value.
BrakkaPatternDictionary makeDictionary(const std::set<unsigned>& patternTags,
                                       const std::set<unsigned>& modTags) {
    BrakkaPatternDictionary dict;
    for (int p = 0; p < 16; ++p) {
        BrakkaSequencer seq;
        seq.initModulators(modTags);
        seq.setNote(0, p, 255);
        seq.setVelocityValue(1, 3, 0.25f);
        if (p == 0) {
            seq.setModValue(0, 4, 0.9f);
            seq.registerModTag(0);
        }
        std::vector<char> block(seq.getSize(false));
        seq.getAllData(block.data());
        dict.blocks["Pattern " + std::to_string(p)] = block;
        for (unsigned tag : patternTags)
            dict.numbers["S" + std::to_string(p) + "T" + std::to_string(tag)] =
                tag == 190 ? 0.01f * (float)p : (tag == 108 ? 0.75f : 0.5f);
    }
    return dict;
}

} // namespace

TEST(HostFrame, PatternImportFromDictionary) {
    EngineHarness h;
    BrakkaParameterManager table;
    BrakkaPatternDictionary dict =
        makeDictionary(table.getPatternTags(), table.getModulatableTags());
    h.set(Brakka::kTagPattern, patternValue(5));
    ASSERT_EQ(h.engine().getCurrentPattern(), 5);

    const BrakkaPatternDictionary* ref = &dict;
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 34567, 0, &ref, 0.0f), 0);
    EXPECT_EQ(h.engine().getCurrentPattern(), 0);
    EXPECT_EQ(h.engine().getPendingPattern(), 0);
    unsigned char row[32];
    h.engine().getNoteRow(0, row);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[1], 0);
    float velocities[32];
    h.engine().getVelocityRow(1, velocities);
    EXPECT_FLOAT_EQ(velocities[3], 0.25f);
    float mod[32];
    h.engine().getModRow(0, mod);
    EXPECT_FLOAT_EQ(mod[4], 0.9f);
    EXPECT_FLOAT_EQ(h.get(190), 0.0f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagStepSize), 0.75f);
    // Pattern 7 carries its own values.
    h.set(Brakka::kTagPattern, patternValue(7));
    EXPECT_FLOAT_EQ(h.get(190), 0.07f);
    h.engine().getNoteRow(0, row);
    EXPECT_EQ(row[7], 255);
}

TEST(HostFrame, PatternImportStopsAtMissingOrDamagedEntry) {
    EngineHarness h;
    BrakkaParameterManager table;
    BrakkaPatternDictionary dict =
        makeDictionary(table.getPatternTags(), table.getModulatableTags());
    dict.blocks.erase("Pattern 3");
    h.set(Brakka::kTagPattern, patternValue(2));
    const BrakkaPatternDictionary* ref = &dict;
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);
    // Patterns 0..2 were replaced, the current pattern stays.
    EXPECT_EQ(h.engine().getCurrentPattern(), 2);
    unsigned char row[32];
    h.engine().getNoteRow(0, row);
    EXPECT_EQ(row[2], 255);

    BrakkaPatternDictionary damaged =
        makeDictionary(table.getPatternTags(), table.getModulatableTags());
    damaged.blocks["Pattern 0"].resize(100);
    ref = &damaged;
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);

    BrakkaPatternDictionary noNumber =
        makeDictionary(table.getPatternTags(), table.getModulatableTags());
    noNumber.numbers.erase("S15T261");
    ref = &noNumber;
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);

    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, nullptr, 0.0f), -1);
    ref = nullptr;
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);
}
