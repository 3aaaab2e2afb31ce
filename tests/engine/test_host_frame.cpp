// What the host sees: declared properties, fixed answers, output pins, the value conversion
// opcodes, program names, and safe refusal of bad host input.
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
    EXPECT_FALSE(h.engine().getOutputProperties(-3, &p));
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
