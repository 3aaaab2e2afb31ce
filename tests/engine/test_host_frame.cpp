// What the host sees: declared properties and fixed answers, output pins, program names, the
// parameter texts and value conversions, and safe refusal of bad host input.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace brakka_test;

TEST(HostFrame, DeclaredPropertiesAndPins) {
    EngineHarness h;
    AEffect* e = h.host().effect();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 48);
    EXPECT_EQ(e->numParams, 263);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 12);
    EXPECT_EQ(e->uniqueID, 0x5A55626B);
    EXPECT_EQ(e->flags & (effFlagsIsSynth | effFlagsCanReplacing | effFlagsProgramChunks),
              effFlagsIsSynth | effFlagsCanReplacing | effFlagsProgramChunks);
    for (auto [opcode, answer] : {std::pair{effGetPlugCategory, 1},
                                  {effGetVendorVersion, 1120},
                                  {effGetVstVersion, 2400},
                                  {effGetNumMidiInputChannels, 1},
                                  {effGetNumMidiOutputChannels, 1}})
        EXPECT_EQ(h.host().dispatch(opcode), answer) << opcode;
    EXPECT_EQ(h.host().getString(effGetEffectName, 0, 32).text, "Brakka");
    EXPECT_EQ(h.host().getString(effGetVendorString).text, "Zunder Works, Inc.");
    for (const char* yes :
         {"receiveVstEvents", "receiveVstMidiEvent", "sendVstMidiEvent", "receiveVstTimeInfo"})
        EXPECT_EQ(h.host().canDo(yes), 1) << yes;
    for (const char* no : {"sendVstEvents", "bypass", "", "receiveVstEventsX"})
        EXPECT_EQ(h.host().canDo(no), -1) << no;

    // Six stereo pairs; pins beyond them are refused and their record left alone.
    VstPinProperties p;
    for (int pin = -1; pin <= 12; ++pin) {
        std::memset(&p, 0x55, sizeof(p));
        const bool valid = pin >= 0 && pin < 12;
        ASSERT_EQ(h.host().dispatch(effGetOutputProperties, pin, 0, &p), valid ? 1 : 0);
        if (!valid) {
            EXPECT_EQ((unsigned char)p.label[0], 0x55);
            continue;
        }
        EXPECT_EQ(std::string(p.label), std::string("Brakka ") + char('A' + pin / 2) + " ");
        EXPECT_EQ(p.flags, 3);
    }
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
    EXPECT_FALSE(h.engine().getProgramNameIndexed(0, -1, name));
    char longName[] = "A name that is much longer than twenty-three";
    h.host().dispatch(effSetProgramName, 0, 0, longName);
    StringAnswer a = h.host().getString(effGetProgramName, 0, 24);
    EXPECT_EQ(a.text, std::string(longName, 23));
    EXPECT_FALSE(a.overflow);
    h.engine().setProgram(48); // out of range: nothing changes
    h.engine().setProgram(-1);
    EXPECT_EQ(h.engine().getProgram(), 5);
}

TEST(HostFrame, ParameterTextsAndConversions) {
    EngineHarness h;
    EXPECT_EQ(h.host().getString(effGetParamName, 118).text, "KD Level");
    EXPECT_EQ(h.host().getString(effGetParamName, 262).text, "MIDIOnly");
    EXPECT_EQ(h.host().getString(effGetParamLabel, 118).text, "dB");
    h.set(kSyncTag, syncValue(1));
    EXPECT_EQ(h.host().getString(effGetParamDisplay, kSyncTag).text, "INT");
    EXPECT_EQ(h.engine().getFullParameterName(124), "Closed High Hat Level");

    // Natural to normalized (12345) and back (23456): Kickdrum Tune 40..110 Hz, Tempo 50..250.
    struct Case {
        int opcode, tag;
        float in, out;
    };
    for (Case c : {Case{12345, 0, 45.0f, 5.0f / 70.0f}, Case{23456, 0, 0.5f, 75.0f},
                   Case{23456, kTempoTag, 0.35f, 120.0f}}) {
        float out = -1.0f;
        EXPECT_EQ(h.host().dispatch(effVendorSpecific, c.opcode, c.tag, &out, c.in), 1);
        EXPECT_NEAR(out, c.out, 1e-4);
    }
    float out = -1.0f; // a bad tag, no result pointer or another opcode: 0, nothing written
    for (int tag : {263, -1})
        EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, tag, &out, 1.0f), 0);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, 0, nullptr, 1.0f), 0);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 4711, 0, &out, 1.0f), 0);
    EXPECT_EQ(out, -1.0f);
}

TEST(HostFrame, BadParameterInputIsRefusedOrClamped) {
    EngineHarness h;
    const float tempo = h.get(kTempoTag);
    h.set(kTempoTag, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(h.get(kTempoTag), tempo);
    h.set(kTempoTag, 7.0f);
    EXPECT_EQ(h.get(kTempoTag), 1.0f);
    EXPECT_EQ(h.engine().getTempo(), 0.0f); // Host sync, and the host reported no tempo
    h.set(kTempoTag, -3.0f);
    EXPECT_EQ(h.get(kTempoTag), 0.0f);
    for (int bad : {-1, 263, std::numeric_limits<int>::min()}) {
        h.engine().setParameter(bad, 0.5f);
        EXPECT_EQ(h.engine().getParameter(bad), 0.0f);
        for (int opcode : {effGetParamName, effGetParamDisplay, effGetParamLabel})
            EXPECT_EQ(h.host().getString(opcode, bad).text, "");
        EXPECT_EQ(h.engine().getFullParameterName(bad), "");
        h.engine().setVoiceParameter(bad, 0.5f);
        h.engine().setModSequenceValue(bad, 0, 0.5f);
        h.engine().fillModValues(bad, 2);
    }
    h.host().process(256);
    for (int c = 0; c < 12; ++c)
        for (float x : h.host().output(c))
            ASSERT_TRUE(std::isfinite(x));
}
