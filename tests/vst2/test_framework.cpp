// The framework as a host sees it, driven through the fake host: the record, the opcode decoding,
// the default answers and the guards against bad host input.
#include "aeffguieditor.h"
#include "audioeffectx.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace brakka_test;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A small plug-in that records what the framework hands it. Each output channel c is filled with
// (c + 1) / 100; MIDI received in processEvents is echoed to the host in the next block; the
// host's time info is asked for once per block. Setting parameter 0 above 0.5 resets parameter
// 1 through setParameterAutomated, the way a Stop control resets Play.
struct ProbeEditor : AEffGUIEditor {
    explicit ProbeEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
        rect = ERect{0, 0, 108, 636};
        setKnobMode(2);
    }
    bool open(void* parent) override {
        ++opens;
        lastParent = parent;
        return AEffGUIEditor::open(parent);
    }
    void close() override {
        ++closes;
        ++closeCount;
        AEffGUIEditor::close();
    }
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& key) override {
        lastKey = key;
        return key.character == 'a';
    }
    static inline std::atomic<int> closeCount{0};
    int opens = 0, closes = 0, idles = 0;
    void* lastParent = nullptr;
    VstKeyCode lastKey{0, 0, 0};
};

struct ProbePlugin : AudioEffectX {
    explicit ProbePlugin(audioMasterCallback audioMaster, bool withEditor = true)
        : AudioEffectX(audioMaster, 3, 4) {
        ++liveCount;
        setNumInputs(0);
        setNumOutputs(12);
        canProcessReplacing(true);
        programsAreChunks(true);
        isSynth(true);
        setUniqueID(vstFourCC('P', 'r', 'b', 'e'));
        if (withEditor) setEditor(new ProbeEditor(this));
    }
    ~ProbePlugin() override { --liveCount; }
    ProbeEditor* probeEditor() { return static_cast<ProbeEditor*>(editor); }

    void open() override { ++opens; }
    void suspend() override { ++suspends; }
    void resume() override {
        ++resumes;
        AudioEffectX::resume();
    }
    void processReplacing(float**, float** outputs, VstInt32 frames) override {
        ++processCalls;
        for (VstInt32 c = 0; c < cEffect.numOutputs; ++c)
            for (VstInt32 i = 0; i < frames; ++i)
                outputs[c][i] = float(c + 1) / 100.0f;
        const VstTimeInfo* info =
            getTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid);
        hadTimeInfo = info != nullptr;
        if (info) lastTimeInfo = *info;
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
            if (events->events[i] && events->events[i]->type == kVstMidiType)
                echo.push_back(*reinterpret_cast<VstMidiEvent*>(events->events[i]));
        return 1;
    }

    void setParameter(VstInt32 index, float value) override {
        setParameterCalls.emplace_back(index, value);
        params[index] = value;
        if (index == 0 && value > 0.5f) setParameterAutomated(1, 0.0f);
    }
    float getParameter(VstInt32 index) override { return params[index]; }
    // Every string answer is far longer than any host buffer while longAnswers is set.
    void answer(char* dst, const std::string& normal) {
        std::strcpy(dst, longAnswers ? std::string(200, 'L').c_str() : normal.c_str());
    }
    void getParameterLabel(VstInt32, char* label) override { answer(label, "dB"); }
    void getParameterDisplay(VstInt32 index, char* text) override {
        answer(text, std::to_string(params[index]).substr(0, 4));
    }
    void getParameterName(VstInt32 index, char* text) override {
        char name[16]; // eight characters and the terminator, as plug-ins commonly write
        std::snprintf(name, sizeof(name), "Param%03d", int(index));
        answer(text, name);
    }
    bool canParameterBeAutomated(VstInt32 index) override { return index != 2; }
    bool string2parameter(VstInt32 index, char* text) override {
        char* end = nullptr;
        const float value = std::strtof(text, &end);
        if (end == text) return false;
        params[index] = value;
        return true;
    }
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override {
        if (index != 1) return false;
        p->flags = kVstParameterIsSwitch;
        std::strcpy(p->label, "Switch One");
        return true;
    }

    void setProgram(VstInt32 program) override { curProgram = program; }
    void setProgramName(char* name) override { programNames[curProgram] = name; }
    void getProgramName(char* name) override { answer(name, programNames[curProgram]); }
    bool getProgramNameIndexed(VstInt32, VstInt32 index, char* text) override {
        answer(text, programNames[index]);
        return true;
    }
    bool beginSetProgram() override { return ++beginSetPrograms; }
    // Preset: the 4 parameter floats; bank: a marker byte and the current program number.
    VstInt32 getChunk(void** data, bool isPreset) override {
        chunk = isPreset ? std::vector<uint8_t>((uint8_t*)params, (uint8_t*)params + 16)
                         : std::vector<uint8_t>{0xBA, uint8_t(curProgram)};
        *data = chunk.data();
        return VstInt32(chunk.size());
    }
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override {
        lastSetChunk.assign((uint8_t*)data, (uint8_t*)data + byteSize);
        lastSetChunkWasPreset = isPreset;
        if (isPreset && byteSize == 16) std::memcpy(params, data, 16);
        return 1;
    }

    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override {
        if (index >= 12) return false;
        std::snprintf(properties->label, sizeof(properties->label), "Probe %c ", 'A' + index / 2);
        properties->flags = kVstPinIsActive | kVstPinIsStereo;
        return true;
    }
    bool getEffectName(char* name) override {
        answer(name, "Probe");
        return true;
    }
    bool getVendorString(char* text) override {
        answer(text, "Brakka Tests");
        return true;
    }
    bool getProductString(char* text) override {
        answer(text, "Probe Product");
        return true;
    }
    VstInt32 getVendorVersion() override { return 1120; }
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        lastVendorCall = {index, value, ptr, opt};
        return index == 12345 ? 77 : 0;
    }
    VstInt32 canDo(char* text) override {
        const std::string t = text;
        return t == "receiveVstEvents" || t == "receiveVstTimeInfo" ? 1 : t == "dontKnow" ? 0 : -1;
    }
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
    bool setBypass(bool onOff) override {
        bypass = onOff;
        return true;
    }
    VstInt32 getTailSize() override { return 5; }
    bool setProcessPrecision(VstInt32 value) override {
        precision = value;
        return value == kVstProcessPrecision32;
    }

    static inline std::atomic<int> liveCount{0};
    int opens = 0, suspends = 0, resumes = 0, processCalls = 0, beginSetPrograms = 0;
    bool bypass = false, hadTimeInfo = false, lastSetChunkWasPreset = false, longAnswers = false;
    VstInt32 precision = -1;
    VstTimeInfo lastTimeInfo{};
    std::vector<std::pair<VstInt32, float>> setParameterCalls;
    std::vector<VstMidiEvent> echo;
    std::vector<uint8_t> chunk, lastSetChunk;
    struct {
        VstInt32 index;
        VstIntPtr value;
        void* ptr;
        float opt;
    } lastVendorCall{0, 0, nullptr, 0.0f};
    float params[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::string programNames[3] = {"First", "Second", "Third"};
};

AEffect* probeEntry(audioMasterCallback audioMaster) {
    return (new ProbePlugin(audioMaster))->getAeffect();
}
AEffect* probeWithoutEditorEntry(audioMasterCallback audioMaster) {
    return (new ProbePlugin(audioMaster, false))->getAeffect();
}

// Overrides nothing: every answer is the framework's default.
class BarePlugin : public AudioEffectX {
public:
    explicit BarePlugin(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 2, 3) {}
};
AEffect* bareEntry(audioMasterCallback audioMaster) {
    return (new BarePlugin(audioMaster))->getAeffect();
}

template <class T>
T* objectOf(AEffect* effect) {
    return static_cast<T*>(static_cast<AudioEffect*>(effect->object));
}

class Framework : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.load(probeEntry), nullptr);
        probe = objectOf<ProbePlugin>(host.effect());
    }
    FakeHost host;
    ProbePlugin* probe = nullptr;
};

// Fills a structure with a pattern, lets the dispatcher refuse it and checks nothing was written.
template <class T>
void expectRefusedUntouched(FakeHost& host, VstInt32 opcode, VstInt32 index) {
    T q, untouched;
    std::memset(&untouched, 0x33, sizeof(untouched));
    q = untouched;
    EXPECT_EQ(host.dispatch(opcode, index, 0, &q), 0) << opcode << " " << index;
    EXPECT_EQ(std::memcmp(&q, &untouched, sizeof(q)), 0) << opcode << " " << index;
}

} // namespace

TEST_F(Framework, RecordAndFlagsFollowTheDeclarations) {
    const AEffect* e = host.effect();
    const auto* bytes = reinterpret_cast<const unsigned char*>(e);
    EXPECT_EQ(std::string(bytes, bytes + 4), "PtsV"); // 'VstP', low byte first
    EXPECT_EQ(e->numPrograms, 3);
    EXPECT_EQ(e->numParams, 4);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 12);
    EXPECT_EQ(e->flags, 0x131); // editor, replacing, chunks, synth
    EXPECT_EQ(e->uniqueID, 0x50726265);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, static_cast<void*>(static_cast<AudioEffect*>(probe)));
    EXPECT_EQ(e->process, e->processReplacing);
    for (char c : e->future)
        EXPECT_EQ(c, 0);

    probe->setEditor(nullptr);
    EXPECT_EQ(e->flags, 0x130);
    probe->canDoubleReplacing(true);
    probe->noTail(true);
    EXPECT_EQ(e->flags, 0x1330);
    probe->isSynth(false);
    probe->programsAreChunks(false);
    probe->canProcessReplacing(false);
    probe->canDoubleReplacing(false);
    probe->noTail(false);
    EXPECT_EQ(e->flags, 0);
    probe->setNumOutputs(-3); // nonsense counts become 0
    EXPECT_EQ(e->numOutputs, 0);
    AudioEffectX negative(&FakeHost::callback, -2, -5);
    EXPECT_EQ(negative.getAeffect()->numPrograms, 0);
    EXPECT_EQ(negative.getAeffect()->numParams, 0);
}

TEST_F(Framework, LifecycleOpcodesAndUnusableRatesAndSizes) {
    host.dispatch(effOpen);
    EXPECT_EQ(probe->opens, 1);
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
    EXPECT_EQ(probe->resumes, 1);
    EXPECT_EQ(host.callCount(audioMasterWantMidi), 1); // resume asks for MIDI
    host.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(probe->suspends, 1);
    EXPECT_EQ(host.dispatch(effSetProcessPrecision, 0, kVstProcessPrecision64), 0);
    EXPECT_EQ(probe->precision, kVstProcessPrecision64);
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 1);
    EXPECT_TRUE(probe->bypass);
}

TEST(FrameworkClose, CloseClosesTheEditorAndDeletesTheObject) {
    const int live = ProbePlugin::liveCount, editorCloses = ProbeEditor::closeCount;
    FakeHost host;
    ASSERT_NE(host.load(probeEntry), nullptr);
    int parent = 0;
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(host.dispatch(effClose), 1);
    host.forget();
    EXPECT_EQ(ProbePlugin::liveCount, live);
    EXPECT_EQ(ProbeEditor::closeCount, editorCloses + 1);
}

TEST_F(Framework, ParametersAreClampedAndBadIndexesRefused) {
    host.setParameter(1, 0.25f);
    EXPECT_EQ(host.getParameter(1), 0.25f);
    host.setParameter(1, kNaN); // ignored
    EXPECT_EQ(probe->params[1], 0.25f);
    host.setParameter(1, -0.5f);
    EXPECT_EQ(probe->params[1], 0.0f);
    host.setParameter(1, 7.0f);
    EXPECT_EQ(probe->params[1], 1.0f);

    probe->setParameterCalls.clear();
    for (VstInt32 bad : {-1, 4, std::numeric_limits<VstInt32>::min()}) {
        host.setParameter(bad, 0.5f);
        EXPECT_EQ(host.getParameter(bad), 0.0f);
        for (VstInt32 op : {effGetParamName, effGetParamDisplay, effGetParamLabel})
            EXPECT_EQ(host.getString(op, bad).text, "");
        EXPECT_EQ(host.dispatch(effCanBeAutomated, bad), 0);
        EXPECT_EQ(host.dispatch(effString2Parameter, bad, 0, const_cast<char*>("0.5")), 0);
        expectRefusedUntouched<VstParameterProperties>(host, effGetParameterProperties, bad);
    }
    EXPECT_TRUE(probe->setParameterCalls.empty());

    EXPECT_EQ(host.getString(effGetParamName, 3).text, "Param003");
    EXPECT_EQ(host.dispatch(effGetParamName, 3, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 2), 0);
    EXPECT_EQ(host.dispatch(effString2Parameter, 2, 0, const_cast<char*>("0.75")), 1);
    EXPECT_EQ(probe->params[2], 0.75f);
    EXPECT_EQ(host.dispatch(effString2Parameter, 2, 0, nullptr), 0);
    VstParameterProperties p;
    EXPECT_EQ(host.dispatch(effGetParameterProperties, 1, 0, &p), 1);
    EXPECT_STREQ(p.label, "Switch One");
    expectRefusedUntouched<VstParameterProperties>(host, effGetParameterProperties, 0); // "no"
}

TEST_F(Framework, AutomationReachesTheHostAndNestedSetsUnwind) {
    probe->setParameterAutomated(2, 1.5f); // clamped
    probe->setParameterAutomated(2, kNaN);
    probe->setParameterAutomated(9, 0.5f);
    const auto calls = host.automations();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 2);
    EXPECT_EQ(calls[0].value, 1.0f);

    // Older hosts answer an automation report by setting the parameter again; a host change
    // that makes the plug-in automate another parameter must unwind without a deadlock.
    AEffect* e = host.effect();
    host.hook = [&](VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                    float opt) -> std::optional<VstIntPtr> {
        if (opcode != audioMasterAutomate) return std::nullopt;
        e->setParameter(e, index, opt);
        return 0;
    };
    probe->params[1] = 1.0f;
    probe->setParameterCalls.clear();
    host.setParameter(0, 0.9f);
    EXPECT_EQ(probe->params[1], 0.0f);
    ASSERT_EQ(probe->setParameterCalls.size(), 3u);
    EXPECT_EQ(probe->setParameterCalls[2].first, 1);

    probe->probeEditor()->beginEdit(3);
    probe->probeEditor()->endEdit(3);
    probe->probeEditor()->beginEdit(4); // not a parameter: the host is not told
    EXPECT_EQ(host.beginEdits(), std::vector<VstInt32>{3});
    EXPECT_EQ(host.endEdits(), std::vector<VstInt32>{3});
}

TEST_F(Framework, ProgramOpcodesAndNames) {
    host.dispatch(effSetProgram, 0, 2);
    for (VstIntPtr bad : {VstIntPtr(-1), VstIntPtr(3), VstIntPtr(1) << 33})
        host.dispatch(effSetProgram, 0, bad);
    EXPECT_EQ(host.dispatch(effGetProgram), 2);

    // A host field filled to the brim without a terminator is read up to its 24 bytes only.
    char full[kVstMaxProgNameLen + 8];
    std::memset(full, 'N', sizeof(full));
    host.dispatch(effSetProgramName, 0, 0, full);
    EXPECT_EQ(probe->programNames[2], std::string(kVstMaxProgNameLen, 'N'));
    EXPECT_EQ(host.dispatch(effSetProgramName, 0, 0, nullptr), 0);

    const auto indexed = host.getString(effGetProgramNameIndexed, 1, kVstMaxProgNameLen, -1);
    EXPECT_EQ(indexed.result, 1);
    EXPECT_EQ(indexed.text, "Second");
    char buffer[kVstMaxProgNameLen];
    std::memset(buffer, '#', sizeof(buffer));
    for (VstInt32 bad : {-1, 3, 48})
        EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, bad, 0, buffer), 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effBeginSetProgram), 1);
    EXPECT_EQ(probe->beginSetPrograms, 1);
}

TEST_F(Framework, ChunkOpcodesAndRefusedSizes) {
    probe->params[0] = 0.5f;
    probe->params[3] = 0.125f;
    void* data = nullptr;
    EXPECT_EQ(host.dispatch(effGetChunk, 1, 0, &data), 16); // index 1: the current program
    EXPECT_EQ(std::memcmp(data, probe->params, 16), 0);
    host.dispatch(effSetProgram, 0, 2);
    const auto bank = host.getChunk(false);
    EXPECT_EQ(bank, (std::vector<uint8_t>{0xBA, 2}));
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, nullptr), 0);

    const auto preset = host.getChunk(true);
    probe->params[0] = probe->params[3] = 0.0f;
    EXPECT_EQ(host.setChunk(preset, true), 1);
    EXPECT_EQ(probe->params[3], 0.125f);
    EXPECT_EQ(host.setChunk(bank, false), 1);
    EXPECT_FALSE(probe->lastSetChunkWasPreset);

    probe->lastSetChunk.clear();
    uint8_t byte = 1;
    EXPECT_EQ(host.dispatch(effSetChunk, 1, 4, nullptr), 0);
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-4), VstIntPtr(1) << 40})
        EXPECT_EQ(host.dispatch(effSetChunk, 1, size, &byte), 0) << size;
    EXPECT_TRUE(probe->lastSetChunk.empty());
}

TEST_F(Framework, IdentityCapabilitiesPinsAndVendorCalls) {
    EXPECT_EQ(host.getString(effGetVendorString, 0, kVstMaxVendorStrLen).text, "Brakka Tests");
    EXPECT_EQ(host.dispatch(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 1120);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effGetTailSize), 5);
    EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(host.canDo("receiveVstEvents"), 1);
    EXPECT_EQ(host.canDo("dontKnow"), 0);
    EXPECT_EQ(host.canDo("sendVstEvents"), VstIntPtr(-1)); // all 64 bits set, not 0xFFFFFFFF
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, nullptr), 0);

    VstPinProperties pin{};
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 4, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Probe C ");
    expectRefusedUntouched<VstPinProperties>(host, effGetOutputProperties, 12);
    expectRefusedUntouched<VstPinProperties>(host, effGetOutputProperties, -1);
    expectRefusedUntouched<VstPinProperties>(host, effGetInputProperties, 0);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, nullptr), 0);

    float target = 0.0f;
    EXPECT_EQ(host.dispatch(effVendorSpecific, 12345, 7, &target, 0.5f), 77);
    EXPECT_EQ(probe->lastVendorCall.value, 7);
    EXPECT_EQ(probe->lastVendorCall.ptr, &target);
    EXPECT_EQ(probe->lastVendorCall.opt, 0.5f);
    host.dispatch(effVendorSpecific, 0x50726553, 0, nullptr, 2.0f); // null still reaches it
    EXPECT_EQ(probe->lastVendorCall.index, 0x50726553);
}

TEST_F(Framework, StringAnswersNeverOverflowHostBuffers) {
    probe->longAnswers = true;
    for (auto [opcode, size] :
         std::vector<std::pair<VstInt32, size_t>>{{effGetEffectName, 32},
                                                  {effGetVendorString, 64},
                                                  {effGetProductString, 64},
                                                  {effGetProgramName, 24},
                                                  {effGetProgramNameIndexed, 24},
                                                  {effGetParamName, 64},
                                                  {effGetParamDisplay, 64},
                                                  {effGetParamLabel, 64}}) {
        const auto answer = host.getString(opcode, 0, size);
        EXPECT_FALSE(answer.overflow) << "opcode " << opcode;
        EXPECT_EQ(answer.text, std::string(size - 1, 'L')) << "opcode " << opcode;
    }
    probe->longAnswers = false; // a short answer: name and terminator, nothing after them
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    host.dispatch(effGetParamLabel, 0, 0, buffer);
    EXPECT_STREQ(buffer, "dB");
    EXPECT_EQ(buffer[3], '#');
}

TEST_F(Framework, AudioEventsAndTime) {
    host.process(64, 12, -9.0f);
    for (int c = 0; c < 12; ++c)
        for (float s : host.output(c))
            ASSERT_EQ(s, float(c + 1) / 100.0f);
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
    EXPECT_EQ(host.sendEvents({}), 1); // an empty list is legal
    host.setTimeInfo(FakeHost::makeTimeInfo(true, 4.5, 128.0, 3, 8));
    host.process(512);
    const auto out = host.midiOut();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].byteSize, 32);
    EXPECT_EQ(out[0].deltaFrames, 256);
    EXPECT_EQ(out[0].flags, kVstMidiEventIsRealtime);
    EXPECT_EQ((unsigned char)out[1].midiData[0], 0x80);
    ASSERT_TRUE(probe->hadTimeInfo);
    EXPECT_EQ(probe->lastTimeInfo.ppqPos, 4.5);
    EXPECT_EQ(probe->lastTimeInfo.timeSigDenominator, 8);
    EXPECT_EQ(host.timeRequests().back(), 0x602);
    host.clearTimeInfo();
    host.process(32);
    EXPECT_FALSE(probe->hadTimeInfo);
}

TEST_F(Framework, EditorOpcodes) {
    ProbeEditor* editor = probe->probeEditor();
    ERect* rect = nullptr;
    EXPECT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1); // also before open
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 636);
    host.dispatch(effEditIdle);
    EXPECT_EQ(editor->idles, 0); // not open yet
    void* parent = reinterpret_cast<void*>(0x3a00007);
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
    EXPECT_EQ(editor->lastParent, parent);
    host.dispatch(effEditIdle);
    EXPECT_EQ(editor->idles, 1);
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1); // a second open closes first
    EXPECT_EQ(editor->closes, 1);
    EXPECT_EQ(host.dispatch(effEditClose), 1);
    host.dispatch(effEditClose);
    EXPECT_EQ(editor->closes, 2); // closing a closed editor is a no-op
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effEditGetRect, 0, 0, nullptr), 0);

    host.dispatch(effSetEditKnobMode, 0, 1);
    host.dispatch(effSetEditKnobMode, 0, 7);
    EXPECT_EQ(editor->getKnobMode(), 1);
    EXPECT_EQ(host.dispatch(effEditKeyDown, 'a', 11, nullptr, 8.0f), 1);
    EXPECT_EQ(editor->lastKey.modifier, 8);
    EXPECT_EQ(host.dispatch(effEditKeyDown, 'b', 0, nullptr, kNaN), 0);
    EXPECT_EQ(editor->lastKey.modifier, 0);

    FakeHost bare;
    ASSERT_NE(bare.load(probeWithoutEditorEntry), nullptr);
    ERect dummy{};
    rect = &dummy;
    EXPECT_EQ(bare.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    int window = 0;
    for (VstInt32 op : {effEditOpen, effEditClose, effEditIdle, effEditKeyDown})
        EXPECT_EQ(bare.dispatch(op, 'a', 0, &window), 0) << op;
}

TEST(FrameworkDefaults, APlugInThatOverridesNothing) {
    FakeHost host;
    ASSERT_NE(host.load(bareEntry), nullptr);
    auto* bare = objectOf<BarePlugin>(host.effect());
    host.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(host.dispatch(effGetProgram), 1);
    void* data = &data;
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategUnknown);
    bare->isSynth(true);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(host.canDo("receiveVstEvents"), 0);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 0), 1);
    EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host.sendEvents({FakeHost::makeMidi(0x90, 36, 127)}), 0);
    float dummy[64] = {};
    for (VstInt32 opcode : {9, 16, 20, 28, 36, 41, 46, 53, 62, 70, 80, 99, 12345, -1})
        EXPECT_EQ(host.dispatch(opcode, 1, 1, dummy, 1.0f), 0) << "opcode " << opcode;
    host.process(16, 2, 0.5f); // the default processReplacing writes silence
    for (int c = 0; c < 2; ++c)
        for (float s : host.output(c))
            EXPECT_EQ(s, 0.0f);

    // Host services.
    host.clearRecords();
    EXPECT_TRUE(bare->sizeWindow(930, 553));
    EXPECT_EQ(host.calls(), std::vector<VstInt32>{audioMasterSizeWindow});
    host.sampleRate = 48000;
    host.blockSize = 333;
    EXPECT_EQ(bare->updateSampleRate(), 48000.0);
    EXPECT_EQ(bare->updateBlockSize(), 333);
    EXPECT_EQ(bare->canHostDo(const_cast<char*>("openFileSelector")), 0);
    EXPECT_FALSE(bare->endEdit(3)); // only three parameters
    host.version = 0;
    EXPECT_EQ(bare->getMasterVersion(), 1); // a host that does not answer is a version 1 host
}
