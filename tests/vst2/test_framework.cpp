// The framework as a host sees it: the record, the opcode decoding, the default answers and the
// guards against bad host input, driven through the fake host.
#include "fake_host.h"
#include "probe_plugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace brakka_test;

namespace {

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

class BareFramework : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.load(bareEntry), nullptr);
        bare = objectOf<BarePlugin>(host.effect());
    }
    FakeHost host;
    BarePlugin* bare = nullptr;
};

} // namespace

// ---- The AEffect record -----------------------------------------------------------------------

TEST_F(Framework, RecordCarriesDeclarationsAndEntryPoints) {
    const AEffect* e = host.effect();
    const auto* bytes = reinterpret_cast<const unsigned char*>(e);
    EXPECT_EQ(bytes[0], 0x50); // 'VstP' in memory, low byte first
    EXPECT_EQ(bytes[1], 0x74);
    EXPECT_EQ(bytes[2], 0x73);
    EXPECT_EQ(bytes[3], 0x56);
    EXPECT_EQ(e->numPrograms, 3);
    EXPECT_EQ(e->numParams, 4);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 12);
    EXPECT_EQ(e->flags, 0x131); // editor, replacing, chunks, synth
    EXPECT_EQ(e->uniqueID, 0x50726265);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->object, static_cast<void*>(static_cast<AudioEffect*>(probe)));
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    EXPECT_EQ(e->process, e->processReplacing);
    for (char c : e->future)
        EXPECT_EQ(c, 0);
}

TEST(FrameworkRecord, FlagsFollowTheSetters) {
    FakeHost host;
    AEffect* e = host.load(probeWithoutEditorEntry);
    ASSERT_NE(e, nullptr);
    auto* probe = objectOf<ProbePlugin>(e);
    EXPECT_EQ(e->flags, 0x130);
    probe->setEditor(new ProbeEditor(probe));
    EXPECT_EQ(e->flags, 0x131);
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
    probe->setInitialDelay(64);
    probe->setNumOutputs(-3); // nonsense counts become 0
    EXPECT_EQ(e->initialDelay, 64);
    EXPECT_EQ(e->numOutputs, 0);
}

TEST(FrameworkRecord, NegativeCountsBecomeZero) {
    AudioEffectX effect(&FakeHost::callback, -2, -5);
    EXPECT_EQ(effect.getAeffect()->numPrograms, 0);
    EXPECT_EQ(effect.getAeffect()->numParams, 0);
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    // With no programs, every program number is refused.
    effect.getAeffect()->dispatcher(effect.getAeffect(), effSetProgram, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(effect.getProgram(), 0);
}

// ---- Lifecycle ----------------------------------------------------------------------------------

TEST_F(Framework, LifecycleOpcodesReachTheVirtuals) {
    EXPECT_EQ(probe->getSampleRate(), 44100.0f);
    host.dispatch(effOpen);
    EXPECT_EQ(probe->opens, 1);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(probe->getSampleRate(), 48000.0f);
    host.dispatch(effSetBlockSize, 0, 256);
    EXPECT_EQ(probe->getBlockSize(), 256);

    host.clearRecords();
    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(probe->resumes, 1);
    EXPECT_EQ(host.callCount(audioMasterWantMidi), 1); // framework resume asks for MIDI
    host.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(probe->suspends, 1);

    EXPECT_EQ(host.dispatch(effStartProcess), 1);
    EXPECT_EQ(host.dispatch(effStopProcess), 1);
    EXPECT_EQ(host.dispatch(effSetProcessPrecision, 0, kVstProcessPrecision32), 1);
    EXPECT_EQ(host.dispatch(effSetProcessPrecision, 0, kVstProcessPrecision64), 0);
    EXPECT_EQ(probe->precision, kVstProcessPrecision64);
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 1);
    EXPECT_TRUE(probe->bypass);
    host.dispatch(effSetBypass, 0, 0);
    EXPECT_FALSE(probe->bypass);
}

TEST_F(Framework, UnusableRatesAndBlockSizesAreRefused) {
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    host.dispatch(effSetBlockSize, 0, 128);
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()})
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-1), VstIntPtr(1) << 40})
        host.dispatch(effSetBlockSize, 0, size);
    EXPECT_EQ(probe->getSampleRate(), 96000.0f);
    EXPECT_EQ(probe->getBlockSize(), 128);
}

TEST(FrameworkClose, CloseDeletesTheObjectAfterClosingTheEditor) {
    const int live = ProbePlugin::liveCount;
    const int closes = ProbePlugin::closeCount;
    const int editorCloses = ProbeEditor::closeCount;
    FakeHost host;
    ASSERT_NE(host.load(probeEntry), nullptr);
    EXPECT_EQ(ProbePlugin::liveCount, live + 1);
    int parent = 0;
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(host.dispatch(effClose), 1);
    host.forget();
    EXPECT_EQ(ProbePlugin::liveCount, live);
    EXPECT_EQ(ProbePlugin::closeCount, closes + 1);
    EXPECT_EQ(ProbeEditor::closeCount, editorCloses + 1);
}

// ---- Parameters ------------------------------------------------------------------------------

TEST_F(Framework, ParametersPassThroughAndBadIndexesAreRefused) {
    host.setParameter(1, 0.25f);
    EXPECT_EQ(probe->params[1], 0.25f);
    EXPECT_EQ(host.getParameter(1), 0.25f);

    probe->setParameterCalls.clear();
    for (VstInt32 bad : {-1, 4, 1000, std::numeric_limits<VstInt32>::min()}) {
        host.setParameter(bad, 0.5f);
        EXPECT_EQ(host.getParameter(bad), 0.0f);
        EXPECT_EQ(host.getString(effGetParamName, bad).text, "");
        EXPECT_EQ(host.getString(effGetParamDisplay, bad).text, "");
        EXPECT_EQ(host.getString(effGetParamLabel, bad).text, "");
        EXPECT_EQ(host.dispatch(effCanBeAutomated, bad), 0);
        EXPECT_EQ(host.dispatch(effString2Parameter, bad, 0, const_cast<char*>("0.5")), 0);
    }
    EXPECT_TRUE(probe->setParameterCalls.empty());
}

TEST_F(Framework, NaNIsIgnoredAndValuesAreClamped) {
    host.setParameter(1, 0.5f);
    host.setParameter(1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(probe->params[1], 0.5f);
    host.setParameter(1, -0.5f);
    EXPECT_EQ(probe->params[1], 0.0f);
    host.setParameter(1, 7.0f);
    EXPECT_EQ(probe->params[1], 1.0f);
    host.setParameter(1, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(probe->params[1], 0.0f);
}

TEST_F(Framework, ParameterStringsAndQueries) {
    host.setParameter(3, 0.25f);
    EXPECT_EQ(host.getString(effGetParamName, 3).text, "Param003");
    EXPECT_EQ(host.getString(effGetParamDisplay, 3).text, "0.25");
    EXPECT_EQ(host.getString(effGetParamLabel, 3).text, "dB");
    EXPECT_EQ(host.dispatch(effGetParamName, 3, 0, nullptr), 0);

    EXPECT_EQ(host.dispatch(effCanBeAutomated, 1), 1);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 2), 0);

    EXPECT_EQ(host.dispatch(effString2Parameter, 2, 0, const_cast<char*>("0.75")), 1);
    EXPECT_EQ(probe->params[2], 0.75f);
    EXPECT_EQ(host.dispatch(effString2Parameter, 2, 0, const_cast<char*>("abc")), 0);
    EXPECT_EQ(host.dispatch(effString2Parameter, 2, 0, nullptr), 0);
}

TEST_F(Framework, ParameterPropertiesAreFilledOnlyWhenTheAnswerIsYes) {
    VstParameterProperties p;
    std::memset(&p, 0x11, sizeof(p));
    EXPECT_EQ(host.dispatch(effGetParameterProperties, 1, 0, &p), 1);
    EXPECT_EQ(p.flags, kVstParameterIsSwitch);
    EXPECT_STREQ(p.label, "Switch One");
    EXPECT_EQ(p.shortLabel[kVstMaxShortLabelLen - 1], 0); // terminated for the host

    VstParameterProperties untouched;
    std::memset(&untouched, 0x22, sizeof(untouched));
    VstParameterProperties q = untouched;
    for (VstInt32 index : {0, -1, 4}) {
        EXPECT_EQ(host.dispatch(effGetParameterProperties, index, 0, &q), 0);
        EXPECT_EQ(std::memcmp(&q, &untouched, sizeof(q)), 0);
    }
    EXPECT_EQ(host.dispatch(effGetParameterProperties, 1, 0, nullptr), 0);
}

TEST_F(Framework, SetParameterAutomatedTellsTheHost) {
    probe->setParameterAutomated(2, 0.4f);
    probe->setParameterAutomated(2, 1.5f); // clamped
    probe->setParameterAutomated(2, std::numeric_limits<float>::quiet_NaN());
    probe->setParameterAutomated(9, 0.5f);
    const auto calls = host.automations();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].index, 2);
    EXPECT_EQ(calls[0].value, 0.4f);
    EXPECT_EQ(calls[1].value, 1.0f);
    EXPECT_EQ(probe->params[2], 1.0f);
}

TEST_F(Framework, HostCallingBackIntoSetParameterDoesNotDeadlock) {
    // Older hosts answer an automation report by setting the parameter again.
    AEffect* e = host.effect();
    int callbacks = 0;
    host.hook = [&](VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                    float opt) -> std::optional<VstIntPtr> {
        if (opcode != audioMasterAutomate) return std::nullopt;
        ++callbacks;
        e->setParameter(e, index, opt);
        return 0;
    };
    probe->setParameterAutomated(2, 0.4f);
    EXPECT_EQ(probe->params[2], 0.4f);
    EXPECT_EQ(callbacks, 1);

    // A host change that makes the plug-in automate another parameter, which the host in turn
    // sets again: the nesting unwinds.
    probe->params[1] = 1.0f;
    probe->setParameterCalls.clear();
    host.setParameter(0, 0.9f);
    EXPECT_EQ(probe->params[1], 0.0f);
    ASSERT_EQ(probe->setParameterCalls.size(), 3u);
    EXPECT_EQ(probe->setParameterCalls[0].first, 0);
    EXPECT_EQ(probe->setParameterCalls[1].first, 1);
    EXPECT_EQ(probe->setParameterCalls[2].first, 1);
    EXPECT_EQ(callbacks, 2);
}

// ---- Programs and chunks ------------------------------------------------------------------------

TEST_F(Framework, ProgramOpcodes) {
    host.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(host.dispatch(effGetProgram), 2);
    for (VstIntPtr bad : {VstIntPtr(-1), VstIntPtr(3), VstIntPtr(1) << 33})
        host.dispatch(effSetProgram, 0, bad);
    EXPECT_EQ(host.dispatch(effGetProgram), 2);

    host.dispatch(effSetProgramName, 0, 0, const_cast<char*>("Renamed"));
    EXPECT_EQ(probe->programNames[2], "Renamed");
    const auto name = host.getString(effGetProgramName, 0, kVstMaxProgNameLen);
    EXPECT_EQ(name.result, 1);
    EXPECT_EQ(name.text, "Renamed");

    // A host field filled to the brim without a terminator is read up to its 24 bytes only.
    char full[kVstMaxProgNameLen + 8];
    std::memset(full, 'N', sizeof(full));
    host.dispatch(effSetProgramName, 0, 0, full);
    EXPECT_EQ(probe->programNames[2], std::string(kVstMaxProgNameLen, 'N'));
    EXPECT_EQ(host.dispatch(effSetProgramName, 0, 0, nullptr), 0);

    const auto indexed = host.getString(effGetProgramNameIndexed, 1, kVstMaxProgNameLen, -1);
    EXPECT_EQ(indexed.result, 1);
    EXPECT_EQ(indexed.text, "Second");
    EXPECT_EQ(probe->lastCategory, -1);

    char buffer[kVstMaxProgNameLen];
    std::memset(buffer, '#', sizeof(buffer));
    for (VstInt32 bad : {-1, 3, 48})
        EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, bad, 0, buffer), 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 0);

    EXPECT_EQ(host.dispatch(effBeginSetProgram), 1);
    EXPECT_EQ(host.dispatch(effEndSetProgram), 1);
    EXPECT_EQ(probe->beginSetPrograms, 1);
    EXPECT_EQ(probe->endSetPrograms, 1);
}

TEST_F(Framework, ChunkOpcodes) {
    probe->params[0] = 0.5f;
    probe->params[3] = 0.125f;
    void* data = nullptr;
    EXPECT_EQ(host.dispatch(effGetChunk, 1, 0, &data), 16); // index 1: the current program
    EXPECT_EQ(std::memcmp(data, probe->params, 16), 0);
    host.dispatch(effSetProgram, 0, 2);
    const auto bank = host.getChunk(false); // index 0: the bank
    ASSERT_EQ(bank.size(), 2u);
    EXPECT_EQ(bank[0], 0xBA);
    EXPECT_EQ(bank[1], 2);
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, nullptr), 0);

    const auto preset = host.getChunk(true);
    probe->params[0] = probe->params[3] = 0.0f;
    EXPECT_EQ(host.setChunk(preset, true), 1);
    EXPECT_TRUE(probe->lastSetChunkWasPreset);
    EXPECT_EQ(probe->params[0], 0.5f);
    EXPECT_EQ(probe->params[3], 0.125f);
    EXPECT_EQ(host.setChunk(bank, false), 1);
    EXPECT_FALSE(probe->lastSetChunkWasPreset);
    EXPECT_EQ(probe->lastSetChunk, bank);

    // No data, or a size that cannot be a chunk: the plug-in is not asked.
    probe->lastSetChunk.clear();
    uint8_t byte = 1;
    EXPECT_EQ(host.dispatch(effSetChunk, 1, 4, nullptr), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, 0, &byte), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, -4, &byte), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, VstIntPtr(1) << 40, &byte), 0);
    EXPECT_TRUE(probe->lastSetChunk.empty());
}

// ---- Names, capabilities and pins -------------------------------------------------------------

TEST_F(Framework, IdentityAndCapabilityAnswers) {
    EXPECT_EQ(host.getString(effGetEffectName, 0, kVstMaxEffectNameLen).text, "Probe");
    EXPECT_EQ(host.getString(effGetVendorString, 0, kVstMaxVendorStrLen).text, "Brakka Tests");
    EXPECT_EQ(host.getString(effGetProductString, 0, kVstMaxProductStrLen).text, "Probe Product");
    EXPECT_EQ(host.getString(effGetEffectName).result, 1);
    EXPECT_EQ(host.dispatch(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 1120);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategEffect);
    EXPECT_EQ(host.dispatch(effGetNumMidiInputChannels), 1);
    EXPECT_EQ(host.dispatch(effGetNumMidiOutputChannels), 1);
    EXPECT_EQ(host.dispatch(effGetTailSize), 5);
    EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);

    EXPECT_EQ(host.canDo("receiveVstEvents"), 1);
    EXPECT_EQ(host.canDo("receiveVstTimeInfo"), 1);
    EXPECT_EQ(host.canDo("dontKnow"), 0);
    EXPECT_EQ(host.canDo("sendVstEvents"), VstIntPtr(-1)); // all 64 bits set, not 0xFFFFFFFF
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(Framework, StringAnswersNeverOverflowHostBuffers) {
    probe->longAnswers = true;
    struct Case {
        VstInt32 opcode;
        size_t size;
    };
    for (Case c :
         {Case{effGetEffectName, 32}, Case{effGetVendorString, 64}, Case{effGetProductString, 64},
          Case{effGetProgramName, 24}, Case{effGetProgramNameIndexed, 24},
          Case{effGetParamName, 64}, Case{effGetParamDisplay, 64}, Case{effGetParamLabel, 64}}) {
        const auto answer = host.getString(c.opcode, 0, c.size);
        EXPECT_FALSE(answer.overflow) << "opcode " << c.opcode;
        EXPECT_EQ(answer.text, std::string(c.size - 1, 'L')) << "opcode " << c.opcode;
    }
    // A short answer is written as it is: name and terminator, nothing after them.
    probe->longAnswers = false;
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    host.dispatch(effGetParamLabel, 0, 0, buffer);
    EXPECT_STREQ(buffer, "dB");
    EXPECT_EQ(buffer[3], '#');
}

TEST_F(Framework, PinPropertiesAreRefusedOutsideThePlugInsRange) {
    VstPinProperties pin{};
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 4, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Probe C ");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);

    VstPinProperties untouched;
    std::memset(&untouched, 0x33, sizeof(untouched));
    VstPinProperties q = untouched;
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 12, 0, &q), 0);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, -1, 0, &q), 0);
    EXPECT_EQ(host.dispatch(effGetInputProperties, 0, 0, &q), 0); // framework default
    EXPECT_EQ(std::memcmp(&q, &untouched, sizeof(q)), 0);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, nullptr), 0);
}

TEST_F(Framework, VendorSpecificPassesAllArguments) {
    float target = 0.0f;
    EXPECT_EQ(host.dispatch(effVendorSpecific, 12345, 7, &target, 0.5f), 77);
    EXPECT_EQ(probe->lastVendorCall.index, 12345);
    EXPECT_EQ(probe->lastVendorCall.value, 7);
    EXPECT_EQ(probe->lastVendorCall.ptr, &target);
    EXPECT_EQ(probe->lastVendorCall.opt, 0.5f);
    // Free-form: a null pointer still reaches the plug-in.
    EXPECT_EQ(host.dispatch(effVendorSpecific, 0x50726553, 0x41654373, nullptr, 2.0f), 0);
    EXPECT_EQ(probe->lastVendorCall.index, 0x50726553);
    EXPECT_EQ(probe->lastVendorCall.opt, 2.0f);
}

// ---- Audio, events and time ---------------------------------------------------------------------

TEST_F(Framework, ProcessReplacingFillsEveryOutput) {
    host.process(64, 12, -9.0f);
    EXPECT_EQ(probe->lastFrames, 64);
    for (int c = 0; c < 12; ++c)
        for (float s : host.output(c))
            ASSERT_EQ(s, float(c + 1) / 100.0f);

    // The deprecated accumulating entry leads to the same routine.
    std::vector<float> buffers(12 * 8, 0.0f);
    std::vector<float*> outputs;
    for (int c = 0; c < 12; ++c)
        outputs.push_back(&buffers[size_t(c) * 8]);
    host.effect()->process(host.effect(), nullptr, outputs.data(), 8);
    EXPECT_EQ(buffers[8 * 11], 0.12f);
}

TEST_F(Framework, EmptyOrMissingBuffersAreNotProcessed) {
    const int before = probe->processCalls;
    host.process(0, 12, -9.0f);
    host.process(-5, 12, -9.0f);
    host.effect()->processReplacing(host.effect(), nullptr, nullptr, 64);
    double* none = nullptr;
    host.effect()->processDoubleReplacing(host.effect(), &none, &none, 0);
    EXPECT_EQ(probe->processCalls, before);
}

TEST_F(Framework, EventsArriveAndMidiOutIsRecordedByTheHost) {
    EXPECT_EQ(host.sendEvents({FakeHost::makeMidi(0x90, 60, 100, 256, kVstMidiEventIsRealtime),
                               FakeHost::makeMidi(0x80, 60, 0, 300)}),
              1);
    ASSERT_EQ(probe->receivedMidi.size(), 2u);
    EXPECT_EQ(probe->receivedMidi[0].deltaFrames, 256);
    EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, nullptr), 0);
    EXPECT_EQ(host.sendEvents({}), 1); // an empty list is legal
    EXPECT_EQ(probe->eventLists, 2);

    host.process(512);
    const auto out = host.midiOut();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(host.midiOutLists(), 2);
    EXPECT_EQ(out[0].type, kVstMidiType);
    EXPECT_EQ(out[0].byteSize, 32);
    EXPECT_EQ(out[0].deltaFrames, 256);
    EXPECT_EQ(out[0].flags, kVstMidiEventIsRealtime);
    EXPECT_EQ(static_cast<unsigned char>(out[0].midiData[0]), 0x90);
    EXPECT_EQ(out[0].midiData[1], 60);
    EXPECT_EQ(out[0].midiData[2], 100);
    EXPECT_EQ(static_cast<unsigned char>(out[1].midiData[0]), 0x80);
}

TEST_F(Framework, TimeInfoComesFromTheHostOrIsNull) {
    host.setTimeInfo(FakeHost::makeTimeInfo(true, 4.5, 128.0, 3, 8));
    host.process(32);
    ASSERT_TRUE(probe->hadTimeInfo);
    EXPECT_EQ(probe->lastTimeInfo.ppqPos, 4.5);
    EXPECT_EQ(probe->lastTimeInfo.tempo, 128.0);
    EXPECT_EQ(probe->lastTimeInfo.timeSigDenominator, 8);
    EXPECT_TRUE(probe->lastTimeInfo.flags & kVstTransportPlaying);
    EXPECT_EQ(host.timeRequests().back(), 0x602);

    host.clearTimeInfo();
    host.process(32);
    EXPECT_FALSE(probe->hadTimeInfo);
}

// ---- Editor ---------------------------------------------------------------------------------

TEST_F(Framework, EditorOpcodesReachTheEditor) {
    ProbeEditor* editor = probe->probeEditor();
    ERect* rect = nullptr;
    EXPECT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1); // also before open
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom - rect->top, 108);
    EXPECT_EQ(rect->right - rect->left, 636);
    ERect* again = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &again);
    EXPECT_EQ(again, rect); // persistent

    host.dispatch(effEditIdle);
    EXPECT_EQ(editor->idles, 0); // not open yet

    void* parent = reinterpret_cast<void*>(0x3a00007);
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
    EXPECT_EQ(editor->lastParent, parent);
    EXPECT_TRUE(editor->isOpen());
    host.dispatch(effEditIdle);
    EXPECT_EQ(editor->idles, 1);

    // A second open without close first closes the editor.
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
    EXPECT_EQ(editor->opens, 2);
    EXPECT_EQ(editor->closes, 1);

    EXPECT_EQ(host.dispatch(effEditClose), 1);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->closes, 2);
    host.dispatch(effEditClose);
    EXPECT_EQ(editor->closes, 2); // closing a closed editor is a no-op
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effEditGetRect, 0, 0, nullptr), 0);
}

TEST_F(Framework, EditorKnobModeKeysAndGestures) {
    ProbeEditor* editor = probe->probeEditor();
    EXPECT_EQ(editor->getKnobMode(), 2);
    host.dispatch(effSetEditKnobMode, 0, 1);
    EXPECT_EQ(editor->getKnobMode(), 1);
    host.dispatch(effSetEditKnobMode, 0, 7);
    EXPECT_EQ(editor->getKnobMode(), 1);

    EXPECT_EQ(host.dispatch(effEditKeyDown, 'a', 11, nullptr, 8.0f), 1);
    EXPECT_EQ(editor->lastKey.character, 'a');
    EXPECT_EQ(editor->lastKey.virt, 11);
    EXPECT_EQ(editor->lastKey.modifier, 8);
    EXPECT_EQ(
        host.dispatch(effEditKeyDown, 'b', 0, nullptr, std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(editor->lastKey.modifier, 0);
    EXPECT_EQ(host.dispatch(effEditKeyUp, 'a'), 0);

    editor->beginEdit(3);
    editor->endEdit(3);
    editor->beginEdit(4); // not a parameter: the host is not told
    EXPECT_EQ(host.beginEdits(), std::vector<VstInt32>{3});
    EXPECT_EQ(host.endEdits(), std::vector<VstInt32>{3});
}

TEST(FrameworkNoEditor, EditorOpcodesAnswerZero) {
    FakeHost host;
    ASSERT_NE(host.load(probeWithoutEditorEntry), nullptr);
    ERect dummy{};
    ERect* rect = &dummy;
    EXPECT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    int parent = 0;
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(host.dispatch(effEditClose), 0);
    EXPECT_EQ(host.dispatch(effEditIdle), 0);
    EXPECT_EQ(host.dispatch(effEditKeyDown, 'a'), 0);
    EXPECT_EQ(host.dispatch(effSetEditKnobMode, 0, 2), 0);
}

// ---- Defaults of a plug-in that overrides nothing
// -------------------------------------------------

TEST_F(BareFramework, DefaultAnswers) {
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    host.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(host.dispatch(effGetProgram), 1);
    EXPECT_EQ(host.getString(effGetProgramName, 0, 24).text, "");
    EXPECT_EQ(host.getString(effGetParamName, 0, 8).text, "");
    EXPECT_EQ(host.getParameter(0), 0.0f);
    void* data = &data;
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategUnknown);
    bare->isSynth(true);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(host.canDo("receiveVstEvents"), 0);
    EXPECT_EQ(host.getString(effGetEffectName).result, 0);
    EXPECT_EQ(host.getString(effGetVendorString).result, 0);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 0);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 0), 1);
    EXPECT_EQ(host.dispatch(effGetTailSize), 0);
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(host.dispatch(effSetProcessPrecision, 0, 0), 0);
    EXPECT_EQ(host.dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host.dispatch(effVendorSpecific, 1, 2, nullptr, 3.0f), 0);
    VstPinProperties pin{};
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, &pin), 0);
    VstParameterProperties properties{};
    EXPECT_EQ(host.dispatch(effGetParameterProperties, 0, 0, &properties), 0);
    EXPECT_EQ(host.sendEvents({FakeHost::makeMidi(0x90, 36, 127)}), 0);

    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.callCount(audioMasterWantMidi), 1);

    // The default processReplacing writes silence.
    host.process(16, 2, 0.5f);
    for (int c = 0; c < 2; ++c)
        for (float s : host.output(c))
            EXPECT_EQ(s, 0.0f);
}

TEST_F(BareFramework, DeprecatedAndUnknownOpcodesAnswerZero) {
    float dummy[64] = {};
    for (VstInt32 opcode :
         {9,  16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 38, 39, 40, 41,    43, 46,
          53, 54, 55, 57, 62, 64, 65, 66, 70, 73, 74, 75, 76, 80, 99, 12345, -1})
        EXPECT_EQ(host.dispatch(opcode, 1, 1, dummy, 1.0f), 0) << "opcode " << opcode;
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, 0, dummy), 0);
    EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, 0, dummy), 0);
}

TEST_F(BareFramework, HostServices) {
    EXPECT_EQ(bare->getMasterVersion(), 2400);
    EXPECT_EQ(bare->getTimeInfo(kVstPpqPosValid), nullptr);
    EXPECT_FALSE(bare->sendVstEventsToHost(nullptr));
    EXPECT_TRUE(bare->ioChanged());
    EXPECT_TRUE(bare->updateDisplay());
    host.clearRecords();
    EXPECT_TRUE(bare->sizeWindow(930, 553));
    EXPECT_EQ(host.calls(), std::vector<VstInt32>{audioMasterSizeWindow});
    host.sampleRate = 48000;
    host.blockSize = 333;
    EXPECT_EQ(bare->updateSampleRate(), 48000.0);
    EXPECT_EQ(bare->updateBlockSize(), 333);
    EXPECT_EQ(bare->getSampleRate(), 48000.0f);
    EXPECT_EQ(bare->canHostDo(const_cast<char*>("sendVstEvents")), 1);
    EXPECT_EQ(bare->canHostDo(const_cast<char*>("openFileSelector")), 0);
    host.processLevel = 2;
    EXPECT_EQ(bare->getCurrentProcessLevel(), 2);
    EXPECT_TRUE(bare->beginEdit(2));
    EXPECT_FALSE(bare->endEdit(3)); // only three parameters

    host.version = 0;
    EXPECT_EQ(bare->getMasterVersion(), 1); // a host that does not answer is a version 1 host
}
