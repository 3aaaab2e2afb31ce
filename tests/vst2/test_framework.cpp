// The framework as a host sees it, driven through the fake host: the record, the opcode decoding,
// the default answers and the guards against bad host input.
#include "aeffguieditor.h"
#include "audioeffectx.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace brakka_test;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct ProbeEditor : AEffGUIEditor {
    using AEffGUIEditor::AEffGUIEditor;
    void close() override { ++closes, ++allCloses, AEffGUIEditor::close(); }
    void idle() override { ++idles; }
    static inline int allCloses = 0;
    int closes = 0, idles = 0;
};

// A plug-in that records what the framework hands it. Every output sample is 0.25; MIDI received
// is echoed to the host in the next block; the time info is asked for once per block. Parameter
// 0 set above 0.5 resets parameter 1 through the host, as a Stop control resets Play. While
// longAnswers is set every string answer overruns any host buffer.
struct ProbePlugin : AudioEffectX {
    explicit ProbePlugin(audioMasterCallback master) : AudioEffectX(master, 3, 4) {
        ++alive;
        setNumOutputs(12);
        canProcessReplacing(true);
        programsAreChunks(true);
        isSynth(true);
        setEditor(new ProbeEditor(this));
    }
    ~ProbePlugin() override { --alive; }
    ProbeEditor* probeEditor() { return static_cast<ProbeEditor*>(editor); }

    void processReplacing(float**, float** outputs, VstInt32 frames) override {
        ++processCalls;
        for (VstInt32 c = 0; c < cEffect.numOutputs; ++c)
            std::fill(outputs[c], outputs[c] + frames, 0.25f);
        const VstTimeInfo* info = getTimeInfo(kVstPpqPosValid | kVstTempoValid);
        time = info ? *info : VstTimeInfo{};
        for (VstMidiEvent& event : echo) {
            VstEvents list{};
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&event);
            sendVstEventsToHost(&list);
        }
        echo.clear();
    }
    VstInt32 processEvents(VstEvents* events) override {
        for (VstInt32 i = 0; i < events->numEvents; ++i)
            echo.push_back(*reinterpret_cast<VstMidiEvent*>(events->events[i]));
        return 1;
    }
    void setParameter(VstInt32 index, float value) override {
        ++setCalls;
        params[index] = value;
        if (index == 0 && value > 0.5f) setParameterAutomated(1, 0.0f);
    }
    float getParameter(VstInt32 index) override { return params[index]; }
    void answer(char* dst, const std::string& normal) {
        std::strcpy(dst, longAnswers ? std::string(200, 'L').c_str() : normal.c_str());
    }
    void getParameterName(VstInt32 index, char* text) override {
        answer(text, "Param" + std::to_string(index));
    }
    void getParameterDisplay(VstInt32, char* text) override { answer(text, "0.5"); }
    void setProgramName(char* name) override { names[curProgram] = name; }
    void getProgramName(char* name) override { answer(name, names[curProgram]); }
    bool getProgramNameIndexed(VstInt32, VstInt32 index, char* text) override {
        return answer(text, names[index]), true;
    }
    bool getEffectName(char* name) override { return answer(name, "Probe"), true; }
    // Preset: the 4 parameter floats; bank: a marker byte and the current program number.
    VstInt32 getChunk(void** data, bool isPreset) override {
        chunk = isPreset ? std::vector<uint8_t>((uint8_t*)params, (uint8_t*)params + 16)
                         : std::vector<uint8_t>{0xBA, uint8_t(curProgram)};
        *data = chunk.data();
        return VstInt32(chunk.size());
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool) override {
        received.assign((uint8_t*)data, (uint8_t*)data + size);
        return 1;
    }
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override {
        if (index >= 12) return false;
        std::snprintf(properties->label, sizeof(properties->label), "Probe %c", 'A' + index / 2);
        return true;
    }
    VstInt32 canDo(char* text) override {
        const std::string t = text;
        return t == "receiveVstEvents" ? 1 : t == "dontKnow" ? 0 : -1;
    }

    static inline int alive = 0;
    int processCalls = 0, setCalls = 0;
    bool longAnswers = false;
    VstTimeInfo time{};
    std::vector<VstMidiEvent> echo;
    std::vector<uint8_t> chunk, received;
    float params[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::string names[3] = {"First", "Second", "Third"};
};

AEffect* probeEntry(audioMasterCallback master) {
    return (new ProbePlugin(master))->getAeffect();
}

class Framework : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.load(probeEntry), nullptr);
        probe = static_cast<ProbePlugin*>(static_cast<AudioEffect*>(host.effect()->object));
    }
    // The dispatcher refuses the query and leaves the host's structure untouched.
    template <class T>
    void expectRefused(VstInt32 opcode, VstInt32 index) {
        T q, untouched;
        std::memset(&untouched, 0x33, sizeof(untouched));
        q = untouched;
        EXPECT_EQ(host.dispatch(opcode, index, 0, &q), 0) << opcode << " " << index;
        EXPECT_EQ(std::memcmp(&q, &untouched, sizeof(q)), 0) << opcode << " " << index;
    }
    FakeHost host;
    ProbePlugin* probe = nullptr;
};

} // namespace

TEST_F(Framework, RecordRatesAndLifecycle) {
    const AEffect* e = host.effect();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e), 4), "PtsV"); // 'VstP', low byte first
    EXPECT_EQ(e->flags, 0x131); // editor, replacing, chunks, synth

    host.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    host.dispatch(effSetBlockSize, 0, 128);
    for (float rate : {0.0f, -44100.0f, kNaN, std::numeric_limits<float>::infinity()})
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-1), VstIntPtr(1) << 40})
        host.dispatch(effSetBlockSize, 0, size);
    EXPECT_EQ(probe->getSampleRate(), 96000.0f);
    EXPECT_EQ(probe->getBlockSize(), 128);
    host.clearRecords();
    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.calls(), std::vector<VstInt32>{audioMasterWantMidi}); // resume asks for MIDI

    // The editor: idle only while open, a second open closes first; effClose closes an open
    // editor and deletes the plug-in.
    ProbeEditor* editor = probe->probeEditor();
    host.dispatch(effEditIdle);
    int parent = 0;
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, &parent), 1);
    host.dispatch(effEditIdle);
    EXPECT_EQ(editor->idles * 10 + editor->closes, 11);
    const int alive = ProbePlugin::alive, closes = ProbeEditor::allCloses;
    host.close();
    EXPECT_EQ(ProbePlugin::alive, alive - 1);
    EXPECT_EQ(ProbeEditor::allCloses, closes + 1);
}

TEST_F(Framework, ParametersAreClampedAndBadIndexesRefused) {
    host.setParameter(1, 0.25f);
    host.setParameter(1, kNaN); // ignored
    EXPECT_EQ(host.getParameter(1), 0.25f);
    host.setParameter(1, 7.0f);
    EXPECT_EQ(probe->params[1], 1.0f);

    probe->setCalls = 0;
    for (VstInt32 bad : {-1, 4, std::numeric_limits<VstInt32>::min()}) {
        host.setParameter(bad, 0.5f);
        EXPECT_EQ(host.getParameter(bad), 0.0f);
        for (VstInt32 op : {effGetParamName, effGetParamDisplay, effGetParamLabel})
            EXPECT_EQ(host.getString(op, bad).text, "");
        EXPECT_EQ(host.dispatch(effCanBeAutomated, bad), 0);
        EXPECT_EQ(host.dispatch(effString2Parameter, bad, 0, const_cast<char*>("0.5")), 0);
        expectRefused<VstParameterProperties>(effGetParameterProperties, bad);
    }
    EXPECT_EQ(probe->setCalls, 0);
    EXPECT_EQ(host.getString(effGetParamName, 3).text, "Param3");
    EXPECT_EQ(host.dispatch(effGetParamName, 3, 0, nullptr), 0);

    // Automation reaches the host clamped; older hosts answer it by setting the parameter again,
    // and a change that makes the plug-in automate another parameter must unwind.
    probe->setParameterAutomated(2, 1.5f);
    probe->setParameterAutomated(2, kNaN);
    probe->setParameterAutomated(9, 0.5f);
    const auto calls = host.automations();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index * 10 + calls[0].value, 21.0f);
    AEffect* e = host.effect();
    host.hook = [&](VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                    float opt) -> std::optional<VstIntPtr> {
        if (opcode != audioMasterAutomate) return std::nullopt;
        e->setParameter(e, index, opt);
        return 0;
    };
    probe->params[1] = 1.0f;
    probe->setCalls = 0;
    host.setParameter(0, 0.9f);
    EXPECT_EQ(probe->params[1], 0.0f);
    EXPECT_EQ(probe->setCalls, 3);
    host.hook = nullptr;
}

TEST_F(Framework, ProgramsAndChunksRefuseBadIndexesAndSizes) {
    host.dispatch(effSetProgram, 0, 2);
    for (VstIntPtr bad : {VstIntPtr(-1), VstIntPtr(3), VstIntPtr(1) << 33})
        host.dispatch(effSetProgram, 0, bad);
    EXPECT_EQ(host.dispatch(effGetProgram), 2);
    // A host field filled to the brim without a terminator is read up to its 24 bytes only.
    char full[kVstMaxProgNameLen + 8];
    std::memset(full, 'N', sizeof(full));
    host.dispatch(effSetProgramName, 0, 0, full);
    EXPECT_EQ(probe->names[2], std::string(kVstMaxProgNameLen, 'N'));
    EXPECT_EQ(host.getString(effGetProgramNameIndexed, 1, kVstMaxProgNameLen, -1).text, "Second");
    char buffer[kVstMaxProgNameLen] = "#";
    for (VstInt32 bad : {-1, 3, 48})
        EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, bad, 0, buffer), 0);
    EXPECT_EQ(buffer[0], '#');

    EXPECT_EQ(host.getChunk(true).size(), 16u);
    EXPECT_EQ(host.getChunk(false), (std::vector<uint8_t>{0xBA, 2}));
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(host.setChunk({1, 2}, true), 1);
    probe->received.clear();
    uint8_t byte = 1;
    EXPECT_EQ(host.dispatch(effSetChunk, 1, 4, nullptr), 0);
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-4), VstIntPtr(1) << 40})
        EXPECT_EQ(host.dispatch(effSetChunk, 1, size, &byte), 0) << size;
    EXPECT_TRUE(probe->received.empty());
}

TEST_F(Framework, IdentityCapabilitiesPinsAndStringLimits) {
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(host.canDo("receiveVstEvents"), 1);
    EXPECT_EQ(host.canDo("dontKnow"), 0);
    EXPECT_EQ(host.canDo("sendVstEvents"), VstIntPtr(-1)); // all 64 bits set, not 0xFFFFFFFF
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, nullptr), 0);

    VstPinProperties pin{};
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 4, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Probe C");
    expectRefused<VstPinProperties>(effGetOutputProperties, 12);
    expectRefused<VstPinProperties>(effGetOutputProperties, -1);
    expectRefused<VstPinProperties>(effGetInputProperties, 0);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, nullptr), 0);

    probe->longAnswers = true;
    for (auto [opcode, size] :
         std::vector<std::pair<VstInt32, size_t>>{{effGetEffectName, 32},
                                                  {effGetProgramName, 24},
                                                  {effGetProgramNameIndexed, 24},
                                                  {effGetParamName, 64},
                                                  {effGetParamDisplay, 64}}) {
        const auto answer = host.getString(opcode, 0, size);
        EXPECT_FALSE(answer.overflow) << "opcode " << opcode;
        EXPECT_EQ(answer.text, std::string(size - 1, 'L')) << "opcode " << opcode;
    }
}

TEST_F(Framework, AudioEventsAndTime) {
    host.process(64, 12, -9.0f);
    EXPECT_EQ(host.output(11)[63], 0.25f);
    const int processed = probe->processCalls;
    host.process(0);
    host.process(-5);
    host.effect()->processReplacing(host.effect(), nullptr, nullptr, 64);
    double* none = nullptr;
    host.effect()->processDoubleReplacing(host.effect(), &none, &none, 0);
    EXPECT_EQ(probe->processCalls, processed);

    EXPECT_EQ(host.sendEvents({FakeHost::makeMidi(0x90, 60, 100, 256, kVstMidiEventIsRealtime),
                               FakeHost::makeMidi(0x80, 60, 0, 300)}),
              1);
    EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, nullptr), 0);
    host.setTimeInfo(true, 4.5, 128.0, 3, 8);
    host.process(512);
    const auto out = host.midiOut();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].deltaFrames, 256);
    EXPECT_EQ(out[0].flags, kVstMidiEventIsRealtime);
    EXPECT_EQ((unsigned char)out[1].midiData[0], 0x80);
    EXPECT_EQ(probe->time.ppqPos, 4.5);
    host.clearTimeInfo();
    host.process(32);
    EXPECT_EQ(probe->time.tempo, 0.0);
}
