#include "fake_host.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>

namespace brakka_test {

namespace {
// The host whose plug-in is being built (its record is not known yet).
thread_local FakeHost* tLoadingHost = nullptr;
constexpr size_t kGuardBytes = 32;
constexpr char kGuardFill = 0x5A;
} // namespace

FakeHost::~FakeHost() {
    close();
    if (library_) dlclose(library_);
}

AEffect* FakeHost::load(VstEntryProc entry) {
    close();
    tLoadingHost = this;
    effect_ = entry ? entry(&FakeHost::callback) : nullptr;
    tLoadingHost = nullptr;
    if (effect_) effect_->user = this;
    return effect_;
}

AEffect* FakeHost::loadLibrary(const std::string& path, const char* symbol) {
    close();
    if (library_) dlclose(library_);
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* error = dlerror();
        loadError_ = error ? error : "dlopen failed";
        return nullptr;
    }
    auto entry = reinterpret_cast<VstEntryProc>(dlsym(library_, symbol));
    loadError_ = entry ? "" : std::string("no symbol ") + symbol;
    return entry ? load(entry) : nullptr;
}

void FakeHost::openAndResume(float rate, VstInt32 block) {
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    dispatch(effSetBlockSize, 0, block);
    dispatch(effMainsChanged, 0, 1);
}

void FakeHost::close() {
    if (!effect_) return;
    AEffect* effect = effect_;
    effect_ = nullptr;
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

VstIntPtr FakeHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    return effect_ ? effect_->dispatcher(effect_, opcode, index, value, ptr, opt) : 0;
}

void FakeHost::setParameter(VstInt32 index, float value) {
    if (effect_) effect_->setParameter(effect_, index, value);
}

float FakeHost::getParameter(VstInt32 index) {
    return effect_ ? effect_->getParameter(effect_, index) : 0.0f;
}

StringAnswer FakeHost::getString(VstInt32 opcode, VstInt32 index, size_t bufferSize,
                                 VstIntPtr value) {
    std::vector<char> buffer(bufferSize + kGuardBytes, kGuardFill);
    dispatch(opcode, index, value, buffer.data());
    StringAnswer answer;
    answer.text.assign(buffer.data(), strnlen(buffer.data(), bufferSize));
    answer.overflow = std::any_of(buffer.begin() + (std::ptrdiff_t)bufferSize, buffer.end(),
                                  [](char c) { return c != kGuardFill; });
    return answer;
}

VstIntPtr FakeHost::canDo(const char* feature) {
    return dispatch(effCanDo, 0, 0, const_cast<char*>(feature));
}

std::vector<uint8_t> FakeHost::getChunk(bool isPreset) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    return std::vector<uint8_t>((const uint8_t*)data, (const uint8_t*)data + size);
}

VstIntPtr FakeHost::setChunk(const std::vector<uint8_t>& data, bool isPreset) {
    // The plug-in gets a private copy, as hosts hand over their own memory.
    std::vector<uint8_t> copy(data);
    return dispatch(effSetChunk, isPreset ? 1 : 0, (VstIntPtr)copy.size(),
                    copy.empty() ? nullptr : copy.data());
}

void FakeHost::process(VstInt32 frames, int numOutputs, float fill) {
    if (!effect_) return;
    outputs_.assign((size_t)std::max(numOutputs, 0),
                    std::vector<float>((size_t)std::max(frames, 0), fill));
    std::vector<float*> pointers;
    for (auto& channel : outputs_)
        pointers.push_back(channel.data());
    effect_->processReplacing(effect_, nullptr, pointers.data(), frames);
}

VstIntPtr FakeHost::sendEvents(const std::vector<VstMidiEvent>& events) {
    std::vector<VstMidiEvent> copies(events);
    const size_t slots = std::max<size_t>(copies.size(), 2);
    std::vector<VstIntPtr> storage(
        (offsetof(VstEvents, events) + slots * sizeof(VstEvent*)) / sizeof(VstIntPtr) + 1, 0);
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = (VstInt32)copies.size();
    for (size_t i = 0; i < copies.size(); ++i)
        list->events[i] = reinterpret_cast<VstEvent*>(&copies[i]);
    return dispatch(effProcessEvents, 0, 0, list);
}

VstIntPtr FakeHost::sendMidi(unsigned char status, unsigned char data1, unsigned char data2) {
    return sendEvents({makeMidi(status, data1, data2)});
}

VstMidiEvent FakeHost::makeMidi(unsigned char status, unsigned char data1, unsigned char data2,
                                VstInt32 deltaFrames, VstInt32 flags) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.flags = flags;
    event.midiData[0] = (char)status;
    event.midiData[1] = (char)data1;
    event.midiData[2] = (char)data2;
    return event;
}

void FakeHost::setTimeInfo(bool playing, double ppqPos, double tempo, VstInt32 numerator,
                           VstInt32 denominator) {
    VstTimeInfo info{};
    info.sampleRate = 44100.0;
    info.ppqPos = ppqPos;
    info.samplePos = tempo > 0.0 ? ppqPos * 60.0 / tempo * info.sampleRate : 0.0;
    info.tempo = tempo;
    info.timeSigNumerator = numerator;
    info.timeSigDenominator = denominator;
    info.flags =
        kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid | (playing ? kVstTransportPlaying : 0);
    std::lock_guard<std::mutex> lock(mutex_);
    timeInfo_ = info;
}

void FakeHost::clearTimeInfo() {
    std::lock_guard<std::mutex> lock(mutex_);
    timeInfo_.reset();
}

std::vector<AutomateCall> FakeHost::automations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<AutomateCall> out;
    for (const auto& c : calls_)
        if (c.first == audioMasterAutomate) out.push_back(c.second);
    return out;
}

std::vector<VstMidiEvent> FakeHost::midiOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return midiOut_;
}

std::vector<VstInt32> FakeHost::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<VstInt32> out;
    for (const auto& c : calls_)
        out.push_back(c.first);
    return out;
}

void FakeHost::clearRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    midiOut_.clear();
}

VstIntPtr FakeHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt) {
    FakeHost* host = effect && effect->user ? static_cast<FakeHost*>(effect->user) : tLoadingHost;
    if (!host) return opcode == audioMasterVersion ? 2400 : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr FakeHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back({opcode, {index, opt}});
        // The list is only valid during this call: keep copies.
        const auto* list = static_cast<const VstEvents*>(ptr);
        for (VstInt32 i = 0; opcode == audioMasterProcessEvents && list && i < list->numEvents; ++i)
            if (list->events[i] && list->events[i]->type == kVstMidiType)
                midiOut_.push_back(*reinterpret_cast<const VstMidiEvent*>(list->events[i]));
    }
    if (hook) {
        if (auto answer = hook(opcode, index, value, ptr, opt)) return *answer;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    switch (opcode) {
    case audioMasterVersion:
        return version;
    case audioMasterGetTime:
        if (!timeInfo_) return 0;
        servedTimeInfo_ = *timeInfo_;
        return reinterpret_cast<VstIntPtr>(&servedTimeInfo_);
    case audioMasterGetCurrentProcessLevel:
        return processLevel;
    case audioMasterCanDo:
        return 0;
    default: // automation, edit gestures, MIDI out, window size...: done
        return 1;
    }
}

} // namespace brakka_test
