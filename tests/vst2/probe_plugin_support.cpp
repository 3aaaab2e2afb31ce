#include "probe_plugin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brakka_test {

std::atomic<int> ProbePlugin::liveCount{0};
std::atomic<int> ProbePlugin::closeCount{0};
std::atomic<int> ProbeEditor::closeCount{0};

ProbeEditor::ProbeEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
    rect = ERect{0, 0, 108, 636};
    setKnobMode(2);
}

bool ProbeEditor::open(void* parentWindow) {
    ++opens;
    lastParent = parentWindow;
    return AEffGUIEditor::open(parentWindow);
}

void ProbeEditor::close() {
    ++closes;
    ++closeCount;
    AEffGUIEditor::close();
}

bool ProbeEditor::onKeyDown(VstKeyCode& key) {
    lastKey = key;
    return key.character == 'a';
}

ProbePlugin::ProbePlugin(audioMasterCallback audioMaster, bool withEditor)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    ++liveCount;
    setNumInputs(0);
    setNumOutputs(kNumOutputs);
    canProcessReplacing(true);
    programsAreChunks(true);
    isSynth(true);
    setUniqueID(kUniqueId);
    if (withEditor) setEditor(new ProbeEditor(this));
}

ProbePlugin::~ProbePlugin() {
    --liveCount;
}

void ProbePlugin::resume() {
    ++resumes;
    AudioEffectX::resume();
}

void ProbePlugin::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
}

void ProbePlugin::setBlockSize(VstInt32 size) {
    AudioEffectX::setBlockSize(size);
}

void ProbePlugin::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
    ++processCalls;
    lastFrames = sampleFrames;
    for (VstInt32 c = 0; c < cEffect.numOutputs; ++c)
        for (VstInt32 i = 0; i < sampleFrames; ++i)
            outputs[c][i] = float(c + 1) / 100.0f;

    const VstTimeInfo* info = getTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid);
    hadTimeInfo = info != nullptr;
    if (info) lastTimeInfo = *info;

    for (VstMidiEvent& event : pendingEcho) {
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&event);
        sendVstEventsToHost(&list);
    }
    pendingEcho.clear();
}

VstInt32 ProbePlugin::processEvents(VstEvents* events) {
    ++eventLists;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (!event || event->type != kVstMidiType) continue;
        const auto& midi = *reinterpret_cast<const VstMidiEvent*>(event);
        receivedMidi.push_back(midi);
        pendingEcho.push_back(midi);
    }
    return 1;
}

void ProbePlugin::setParameter(VstInt32 index, float value) {
    setParameterCalls.emplace_back(index, value);
    params[index] = value;
    if (index == 0 && value > 0.5f) setParameterAutomated(1, 0.0f);
}

void ProbePlugin::writeAnswer(char* dst, const char* normal) {
    if (longAnswers) {
        std::memset(dst, 'L', 200);
        dst[200] = 0;
    } else {
        std::strcpy(dst, normal);
    }
}

void ProbePlugin::getParameterLabel(VstInt32 /*index*/, char* label) {
    writeAnswer(label, "dB");
}

void ProbePlugin::getParameterDisplay(VstInt32 index, char* text) {
    char value[32];
    std::snprintf(value, sizeof(value), "%.2f", params[index]);
    writeAnswer(text, value);
}

void ProbePlugin::getParameterName(VstInt32 index, char* text) {
    // Eight characters and the terminator: nine bytes, as plug-ins commonly write.
    char name[16];
    std::snprintf(name, sizeof(name), "Param%03d", int(index));
    writeAnswer(text, name);
}

bool ProbePlugin::string2parameter(VstInt32 index, char* text) {
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    if (end == text) return false;
    params[index] = value;
    return true;
}

bool ProbePlugin::getParameterProperties(VstInt32 index, VstParameterProperties* p) {
    if (index != 1) return false;
    p->flags = kVstParameterIsSwitch;
    std::strcpy(p->label, "Switch One");
    std::memset(p->shortLabel, 'S', sizeof(p->shortLabel)); // unterminated on purpose
    return true;
}

void ProbePlugin::setProgram(VstInt32 program) {
    curProgram = program;
}

void ProbePlugin::setProgramName(char* name) {
    programNames[curProgram] = name;
}

void ProbePlugin::getProgramName(char* name) {
    writeAnswer(name, programNames[curProgram].c_str());
}

bool ProbePlugin::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    lastCategory = category;
    writeAnswer(text, programNames[index].c_str());
    return true;
}

VstInt32 ProbePlugin::getChunk(void** data, bool isPreset) {
    // Preset: 4 parameter floats; bank: a marker byte and the current program number.
    chunk_.clear();
    if (isPreset) {
        chunk_.resize(sizeof(params));
        std::memcpy(chunk_.data(), params, sizeof(params));
    } else {
        chunk_ = {0xBA, static_cast<uint8_t>(curProgram)};
    }
    *data = chunk_.data();
    return static_cast<VstInt32>(chunk_.size());
}

VstInt32 ProbePlugin::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    lastSetChunk.assign(bytes, bytes + byteSize);
    lastSetChunkWasPreset = isPreset;
    if (isPreset && byteSize == static_cast<VstInt32>(sizeof(params)))
        std::memcpy(params, data, sizeof(params));
    return 1;
}

bool ProbePlugin::beginSetProgram() {
    ++beginSetPrograms;
    return true;
}

bool ProbePlugin::endSetProgram() {
    ++endSetPrograms;
    return true;
}

bool ProbePlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index >= kNumOutputs) return false;
    std::snprintf(properties->label, sizeof(properties->label), "Probe %c ", 'A' + index / 2);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool ProbePlugin::getEffectName(char* name) {
    writeAnswer(name, "Probe");
    return true;
}

bool ProbePlugin::getVendorString(char* text) {
    writeAnswer(text, "Brakka Tests");
    return true;
}

bool ProbePlugin::getProductString(char* text) {
    writeAnswer(text, "Probe Product");
    return true;
}

VstIntPtr ProbePlugin::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    lastVendorCall = {index, value, ptr, opt};
    return index == 12345 ? 77 : 0;
}

VstInt32 ProbePlugin::canDo(char* text) {
    if (!std::strcmp(text, "receiveVstEvents") || !std::strcmp(text, "receiveVstTimeInfo"))
        return 1;
    if (!std::strcmp(text, "dontKnow")) return 0;
    return -1;
}

bool ProbePlugin::setBypass(bool onOff) {
    bypass = onOff;
    return true;
}

bool ProbePlugin::setProcessPrecision(VstInt32 value) {
    precision = value;
    return value == kVstProcessPrecision32;
}

VstInt32 ProbePlugin::startProcess() {
    return ++startProcesses;
}

VstInt32 ProbePlugin::stopProcess() {
    return ++stopProcesses;
}

} // namespace brakka_test
