// A small plug-in built on AudioEffectX that records what the framework hands it. Used in-process
// by the framework tests and, compiled into a shared object, by the loading tests.
#pragma once

#include "aeffguieditor.h"
#include "audioeffectx.h"

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace brakka_test {

class ProbeEditor : public AEffGUIEditor {
public:
    explicit ProbeEditor(AudioEffect* effect);
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& key) override;

    static std::atomic<int> closeCount; // close() calls over all editors
    int opens = 0;
    int closes = 0;
    int idles = 0;
    void* lastParent = nullptr;
    VstKeyCode lastKey{0, 0, 0};
};

class ProbePlugin : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 3;
    static constexpr VstInt32 kNumParams = 4;
    static constexpr VstInt32 kNumOutputs = 12;
    static constexpr VstInt32 kUniqueId = vstFourCC('P', 'r', 'b', 'e');

    explicit ProbePlugin(audioMasterCallback audioMaster, bool withEditor = true);
    ~ProbePlugin() override;

    static std::atomic<int> liveCount;  // instances alive
    static std::atomic<int> closeCount; // close() calls over all instances

    // Lifecycle
    void open() override { ++opens; }
    void close() override {
        ++closes;
        ++closeCount;
    }
    void suspend() override { ++suspends; }
    void resume() override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;

    // Audio: each output channel c is filled with (c + 1) / 100; MIDI received in
    // processEvents is echoed to the host; the host's time info is asked for once per block.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    VstInt32 processEvents(VstEvents* events) override;

    // Parameters. Setting parameter 0 above 0.5 resets parameter 1 through
    // setParameterAutomated, the way a Stop control resets Play.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override { return params[index]; }
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool canParameterBeAutomated(VstInt32 index) override { return index != 2; }
    bool string2parameter(VstInt32 index, char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override;

    // Programs and chunks
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool beginSetProgram() override;
    bool endSetProgram() override;

    // Identity and capabilities
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 1120; }
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstInt32 canDo(char* text) override;
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
    VstInt32 getNumMidiInputChannels() override { return 1; }
    VstInt32 getNumMidiOutputChannels() override { return 1; }
    bool setBypass(bool onOff) override;
    VstInt32 getTailSize() override { return 5; }
    bool setProcessPrecision(VstInt32 precision) override;
    VstInt32 startProcess() override;
    VstInt32 stopProcess() override;

    ProbeEditor* probeEditor() { return static_cast<ProbeEditor*>(editor); }

    // Records
    int opens = 0, closes = 0, suspends = 0, resumes = 0;
    int processCalls = 0, lastFrames = 0, eventLists = 0;
    int beginSetPrograms = 0, endSetPrograms = 0, startProcesses = 0, stopProcesses = 0;
    bool bypass = false;
    VstInt32 precision = -1;
    std::vector<std::pair<VstInt32, float>> setParameterCalls;
    std::vector<VstMidiEvent> receivedMidi;
    std::vector<VstMidiEvent> pendingEcho;
    VstTimeInfo lastTimeInfo{};
    bool hadTimeInfo = false;
    VstInt32 lastCategory = 0;
    std::vector<uint8_t> lastSetChunk;
    bool lastSetChunkWasPreset = false;
    struct VendorCall {
        VstInt32 index;
        VstIntPtr value;
        void* ptr;
        float opt;
    } lastVendorCall{0, 0, nullptr, 0.0f};
    // When set, every string answer is far longer than any host buffer.
    bool longAnswers = false;

    float params[kNumParams] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::string programNames[kNumPrograms] = {"First", "Second", "Third"};

private:
    void writeAnswer(char* dst, const char* normal);
    std::vector<uint8_t> chunk_;
};

} // namespace brakka_test
