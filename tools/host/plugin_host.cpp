#include "plugin_host.h"

#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>

namespace brakka_host {

namespace {

using EntryProc = AEffect* (*)(audioMasterCallback);

// The plug-in calls back during its entry, before the host knows its record: the host loading
// on this thread answers those calls. Afterwards the record's host-owned field names the host.
thread_local PluginHost* gLoading = nullptr;
// Whether this thread is inside a processReplacing call (hosts answer the process level per
// thread: other threads may call in meanwhile).
thread_local bool tInProcess = false;

const char* const kHostCanDo[] = {"sendVstEvents",    "sendVstMidiEvent",    "sendVstTimeInfo",
                                  "receiveVstEvents", "receiveVstMidiEvent", "offline"};

} // namespace

PluginHost::CallHook PluginHost::callHook = nullptr;

PluginHost::PluginHost() = default;

PluginHost::~PluginHost() {
    if (effect_) {
        if (resumed_) suspend();
        dispatch(effClose);
        effect_ = nullptr;
    }
    if (library_) dlclose(library_);
}

bool PluginHost::load(const std::string& path, std::string& error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        error = "plug-in not found: " + path;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "plug-in is not a file: " + path;
        return false;
    }
    // A bare name would make dlopen search the library path; always name the file itself.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    library_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* why = dlerror();
        error = "cannot load the plug-in " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    EntryProc entry = reinterpret_cast<EntryProc>(dlsym(library_, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<EntryProc>(dlsym(library_, "main"));
    if (!entry) {
        error = path + " is not a VST 2 plug-in (it exports neither VSTPluginMain nor main)";
        return false;
    }
    gLoading = this;
    if (callHook) callHook(kCallEntry, true);
    AEffect* effect = entry(&PluginHost::callback);
    if (callHook) callHook(kCallEntry, false);
    gLoading = nullptr;
    if (!effect) {
        error = "the plug-in " + path + " refused to start";
        return false;
    }
    if (effect->magic != kEffectMagic || !effect->dispatcher) {
        error = path + " returned something that is not a VST 2 plug-in record";
        return false;
    }
    effect_ = effect;
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    if (!effect->processReplacing || !(effect->flags & effFlagsCanReplacing)) {
        error = "the plug-in " + path + " cannot process in replacing mode";
        return false;
    }
    if (effect->numOutputs < 2 || effect->numOutputs > 64) {
        error = "the plug-in " + path + " has " + std::to_string(effect->numOutputs) +
                " outputs; the renderer needs 2 to 64";
        return false;
    }
    return true;
}

void PluginHost::open(float rate, int blockSize) {
    blockSize_ = blockSize;
    rate_ = rate;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    dispatch(effSetBlockSize, 0, blockSize);
}

void PluginHost::resume() {
    if (resumed_) return;
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    resumed_ = true;
}

void PluginHost::suspend() {
    if (!resumed_) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
    if (!effect_) return 0;
    if (callHook) callHook(opcode, true);
    const VstIntPtr result = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    if (callHook) callHook(opcode, false);
    return result;
}

void PluginHost::setParameter(int tag, float value) {
    if (!effect_ || !effect_->setParameter || tag < 0 || tag >= effect_->numParams) return;
    if (callHook) callHook(kCallSetParameter, true);
    effect_->setParameter(effect_, tag, value);
    if (callHook) callHook(kCallSetParameter, false);
}

float PluginHost::getParameter(int tag) {
    if (!effect_ || !effect_->getParameter || tag < 0 || tag >= effect_->numParams) return 0.0f;
    if (callHook) callHook(kCallGetParameter, true);
    const float value = effect_->getParameter(effect_, tag);
    if (callHook) callHook(kCallGetParameter, false);
    return value;
}

std::string PluginHost::parameterDisplay(int tag) {
    // Hosts hand out larger buffers than the nominal 8 bytes; so do we.
    char text[256] = {};
    dispatch(effGetParamDisplay, tag, 0, text);
    text[sizeof text - 1] = 0;
    std::string s(text);
    const size_t first = s.find_first_not_of(' ');
    const size_t last = s.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

std::string PluginHost::programName(int index) {
    char text[256] = {};
    if (!dispatch(effGetProgramNameIndexed, index, -1, text)) return std::string();
    text[sizeof text - 1] = 0;
    return text;
}

void PluginHost::setProgram(int index) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, index);
    dispatch(effEndSetProgram);
}

bool PluginHost::setChunk(const std::vector<uint8_t>& chunk, bool isProgram) {
    if (chunk.empty()) return false;
    std::vector<uint8_t> copy(chunk);
    return dispatch(effSetChunk, isProgram ? 1 : 0, (VstIntPtr)copy.size(), copy.data()) != 0;
}

std::vector<uint8_t> PluginHost::getChunk(bool isProgram) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isProgram ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

bool PluginHost::naturalValue(int tag, float normalized, float& natural) {
    float result = 0.0f;
    if (dispatch(effVendorSpecific, 23456, tag, &result, normalized) != 1) return false;
    if (!std::isfinite(result)) return false;
    natural = result;
    return true;
}

void PluginHost::setPlaying(bool playing) {
    if (playing != playing_) transportChanged_ = true;
    playing_ = playing;
}

void PluginHost::sendMidi(const std::vector<MidiMessage>& messages, int64_t blockStart) {
    if (messages.empty()) return;
    eventStorage_.assign(messages.size(), VstMidiEvent{});
    for (size_t i = 0; i < messages.size(); ++i) {
        VstMidiEvent& e = eventStorage_[i];
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = blockStart == INT64_MIN ? 0 : (VstInt32)(messages[i].sample - blockStart);
        for (int b = 0; b < 3; ++b)
            e.midiData[b] = (char)messages[i].bytes[b];
    }
    // VstEvents is declared with two slots and really holds numEvents pointers.
    const size_t header = offsetof(VstEvents, events);
    eventList_.assign(header + sizeof(VstEvent*) * (messages.size() + 2), 0);
    VstEvents* list = reinterpret_cast<VstEvents*>(eventList_.data());
    list->numEvents = (VstInt32)messages.size();
    list->reserved = 0;
    for (size_t i = 0; i < messages.size(); ++i)
        list->events[i] = reinterpret_cast<VstEvent*>(&eventStorage_[i]);
    dispatch(effProcessEvents, 0, 0, list);
}

void PluginHost::process(int64_t position, int frames, float** outputs) {
    if (!effect_ || frames < 0) return;
    blockPosition_ = position;
    tInProcess = true;
    if (callHook) callHook(kCallProcess, true);
    effect_->processReplacing(effect_, nullptr, outputs, frames);
    if (callHook) callHook(kCallProcess, false);
    tInProcess = false;
    transportChanged_ = false;
}

void PluginHost::recordEvents(const VstEvents* events) {
    if (!recordMidi || !events || events->numEvents <= 0) return;
    for (VstInt32 i = 0; i < events->numEvents && i < 4096; ++i) {
        const VstEvent* event = events->events[i];
        if (!event || event->type != kVstMidiType ||
            event->byteSize < (VstInt32)sizeof(VstMidiEvent))
            continue;
        const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
        MidiMessage m;
        const uint8_t status = (uint8_t)midi->midiData[0];
        if (status < 0x80 || status >= 0xF0) continue; // channel messages only
        m.bytes[0] = status;
        m.bytes[1] = (uint8_t)midi->midiData[1] & 0x7F;
        m.bytes[2] = (uint8_t)midi->midiData[2] & 0x7F;
        const uint8_t kind = status & 0xF0;
        m.size = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
        const int64_t delta = midi->deltaFrames > 0 ? midi->deltaFrames : 0;
        m.sample = blockPosition_ + delta;
        midiSent_.push_back(m);
    }
}

VstIntPtr PluginHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float opt) {
    PluginHost* host = gLoading;
    if (!host && effect) host = reinterpret_cast<PluginHost*>(effect->resvd1);
    if (!host) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::answer(VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterWantMidi:
        return 1;
    case audioMasterGetTime: {
        std::memset(&timeInfo_, 0, sizeof timeInfo_);
        const double position = (double)blockPosition_;
        timeInfo_.samplePos = position;
        timeInfo_.sampleRate = rate_;
        timeInfo_.tempo = tempo_;
        timeInfo_.ppqPos = position * tempo_ / (60.0 * rate_);
        timeInfo_.barStartPos = std::floor(timeInfo_.ppqPos / 4.0) * 4.0;
        timeInfo_.timeSigNumerator = 4;
        timeInfo_.timeSigDenominator = 4;
        timeInfo_.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
        if (playing_) timeInfo_.flags |= kVstTransportPlaying;
        if (transportChanged_) timeInfo_.flags |= kVstTransportChanged;
        return reinterpret_cast<VstIntPtr>(&timeInfo_);
    }
    case audioMasterProcessEvents:
        recordEvents(static_cast<const VstEvents*>(ptr));
        return 1;
    case audioMasterGetSampleRate:
        return (VstIntPtr)std::lround(rate_);
    case audioMasterGetBlockSize:
        return blockSize_;
    case audioMasterGetCurrentProcessLevel:
        return tInProcess ? processLevel : levelOutsideProcess;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "brakka-render");
        return ptr ? 1 : 0;
    case audioMasterGetVendorVersion:
        return 1;
    case audioMasterCanDo:
        if (!ptr) return 0;
        for (const char* feature : kHostCanDo)
            if (std::strcmp(static_cast<const char*>(ptr), feature) == 0) return 1;
        return 0;
    case audioMasterGetLanguage:
        return 1;
    case audioMasterUpdateDisplay:
        return 1;
    default:
        return 0;
    }
}

} // namespace brakka_host
