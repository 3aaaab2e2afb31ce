// What the host sees: program names, the parameter texts and value conversions, and safe refusal
// of bad host input. (The declared properties: test_module, on the real build/Brakka.so.)
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace brakka_test;

TEST(HostFrame, ProgramNamesAndBadInput) {
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

    // Parameters: NaN ignored, values clamped, bad tags refused.
    const float tempo = h.get(kTempoTag);
    h.set(kTempoTag, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(h.get(kTempoTag), tempo);
    h.set(kTempoTag, 7.0f);
    EXPECT_EQ(h.get(kTempoTag), 1.0f);
    EXPECT_EQ(h.engine().getTempo(), 0.0f); // Host sync, and the host reported no tempo
    h.set(kTempoTag, -3.0f);
    EXPECT_EQ(h.get(kTempoTag), 0.0f);
    for (int bad : {-1, kNumParameters, std::numeric_limits<int>::min()}) {
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

TEST(HostFrame, ParameterTextsAndConversions) {
    EngineHarness h;
    EXPECT_EQ(h.host().getString(effGetParamName, kLevelTag).text, "KD Level");
    EXPECT_EQ(h.host().getString(effGetParamName, kMIDIOutputOnlyTag).text, "MIDIOnly");
    EXPECT_EQ(h.host().getString(effGetParamLabel, kLevelTag).text, "dB");
    h.set(kSyncTag, syncValue(1));
    EXPECT_EQ(h.host().getString(effGetParamDisplay, kSyncTag).text, "INT");
    EXPECT_EQ(h.engine().getFullParameterName(kLevelTag + 6), "Closed High Hat Level");

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
    for (int tag : {kNumParameters, -1})
        EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, tag, &out, 1.0f), 0);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 12345, 0, nullptr, 1.0f), 0);
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 4711, 0, &out, 1.0f), 0);
    EXPECT_EQ(out, -1.0f);
}
