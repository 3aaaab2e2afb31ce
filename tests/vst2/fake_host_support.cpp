#include "fake_host.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>

namespace brakka_test {

namespace {

// Which FakeHost answers a callback: the one whose plug-in record calls, or, while a plug-in is
// being built (its record is not known yet), the host that is loading it.
std::mutex gRegistryMutex;
std::vector<FakeHost*> gHosts;
FakeHost* gLoadingHost = nullptr;

constexpr size_t kGuardBytes = 32;
constexpr char kGuardFill = 0x5A;

} // namespace

FakeHost::FakeHost() {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    gHosts.push_back(this);
}

FakeHost::~FakeHost() {
    close();
    if (library_) dlclose(library_);
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    gHosts.erase(std::remove(gHosts.begin(), gHosts.end(), this), gHosts.end());
    if (gLoadingHost == this) gLoadingHost = nullptr;
}

AEffect* FakeHost::finishLoad(AEffect* effect) {
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        gLoadingHost = nullptr;
    }
    effect_ = effect;
    return effect_;
}

AEffect* FakeHost::load(VstEntryProc entry) {
    close();
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        gLoadingHost = this;
    }
    return finishLoad(entry ? entry(&FakeHost::callback) : nullptr);
}

AEffect* FakeHost::loadLibrary(const std::string& path, const char* symbol) {
    close();
    if (library_) {
        dlclose(library_);
        library_ = nullptr;
    }
    loadError_.clear();
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* error = dlerror();
        loadError_ = error ? error : "dlopen failed";
        return nullptr;
    }
    auto entry = reinterpret_cast<VstEntryProc>(dlsym(library_, symbol));
    if (!entry) {
        loadError_ = std::string("no symbol ") + symbol;
        return nullptr;
    }
    return load(entry);
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
    if (!effect_) return 0;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
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
    StringAnswer answer;
    answer.result = dispatch(opcode, index, value, buffer.data());
    answer.text.assign(buffer.data(), strnlen(buffer.data(), bufferSize));
    answer.overflow = std::any_of(buffer.begin() + static_cast<std::ptrdiff_t>(bufferSize),
                                  buffer.end(), [](char c) { return c != kGuardFill; });
    return answer;
}

VstIntPtr FakeHost::canDo(const char* feature) {
    return dispatch(effCanDo, 0, 0, const_cast<char*>(feature));
}

std::vector<uint8_t> FakeHost::getChunk(bool isPreset) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr FakeHost::setChunk(const std::vector<uint8_t>& data, bool isPreset) {
    // The plug-in gets a private copy, as hosts hand over their own memory.
    std::vector<uint8_t> copy(data);
    return dispatch(effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(copy.size()),
                    copy.empty() ? nullptr : copy.data());
}

void FakeHost::process(VstInt32 frames, int numOutputs, float fill) {
    if (!effect_) return;
    const size_t n = frames > 0 ? static_cast<size_t>(frames) : 0;
    outputs_.assign(static_cast<size_t>(std::max(numOutputs, 0)), std::vector<float>(n, fill));
    outputPointers_.clear();
    for (auto& channel : outputs_)
        outputPointers_.push_back(channel.data());

    std::vector<std::vector<float>> inputs(static_cast<size_t>(std::max(effect_->numInputs, 0)),
                                           std::vector<float>(n, 0.0f));
    std::vector<float*> inputPointers;
    for (auto& channel : inputs)
        inputPointers.push_back(channel.data());

    effect_->processReplacing(effect_, inputPointers.empty() ? nullptr : inputPointers.data(),
                              outputPointers_.data(), frames);
}

VstIntPtr FakeHost::sendEvents(const std::vector<VstMidiEvent>& events) {
    std::vector<VstMidiEvent> copies(events);
    const size_t slots = std::max<size_t>(copies.size(), 2);
    const size_t bytes = offsetof(VstEvents, events) + slots * sizeof(VstEvent*);
    std::vector<VstIntPtr> storage((bytes + sizeof(VstIntPtr) - 1) / sizeof(VstIntPtr), 0);
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = static_cast<VstInt32>(copies.size());
    for (size_t i = 0; i < copies.size(); ++i)
        list->events[i] = reinterpret_cast<VstEvent*>(&copies[i]);
    return dispatch(effProcessEvents, 0, 0, list);
}

VstIntPtr FakeHost::sendMidi(unsigned char status, unsigned char data1, unsigned char data2,
                             VstInt32 deltaFrames) {
    return sendEvents({makeMidi(status, data1, data2, deltaFrames)});
}

VstMidiEvent FakeHost::makeMidi(unsigned char status, unsigned char data1, unsigned char data2,
                                VstInt32 deltaFrames, VstInt32 flags) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.flags = flags;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    return event;
}

void FakeHost::setTimeInfo(const VstTimeInfo& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeInfo_ = info;
}

void FakeHost::clearTimeInfo() {
    std::lock_guard<std::mutex> lock(mutex_);
    timeInfo_.reset();
}

VstTimeInfo FakeHost::makeTimeInfo(bool playing, double ppqPos, double tempo, VstInt32 numerator,
                                   VstInt32 denominator, double rate) {
    VstTimeInfo info{};
    info.sampleRate = rate;
    info.ppqPos = ppqPos;
    info.samplePos = tempo > 0.0 ? ppqPos * 60.0 / tempo * rate : 0.0;
    info.tempo = tempo;
    info.timeSigNumerator = numerator;
    info.timeSigDenominator = denominator;
    info.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
    if (playing) info.flags |= kVstTransportPlaying;
    return info;
}

std::vector<AutomateCall> FakeHost::automations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return automations_;
}

std::vector<VstInt32> FakeHost::beginEdits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return beginEdits_;
}

std::vector<VstInt32> FakeHost::endEdits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endEdits_;
}

std::vector<VstMidiEvent> FakeHost::midiOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return midiOut_;
}

int FakeHost::midiOutLists() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return midiOutLists_;
}

std::vector<VstInt32> FakeHost::timeRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeRequests_;
}

std::vector<VstInt32> FakeHost::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

int FakeHost::callCount(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), opcode));
}

void FakeHost::clearRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    automations_.clear();
    beginEdits_.clear();
    endEdits_.clear();
    midiOut_.clear();
    midiOutLists_ = 0;
    timeRequests_.clear();
    calls_.clear();
}

VstIntPtr FakeHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt) {
    FakeHost* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        for (FakeHost* candidate : gHosts)
            if (effect && candidate->effect_ == effect) host = candidate;
        if (!host) host = gLoadingHost;
    }
    if (!host) return opcode == audioMasterVersion ? 2400 : 0;
    return host->answer(effect, opcode, index, value, ptr, opt);
}

VstIntPtr FakeHost::answer(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                           void* ptr, float opt) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(opcode);
        switch (opcode) {
        case audioMasterAutomate:
            automations_.push_back({index, opt});
            break;
        case audioMasterBeginEdit:
            beginEdits_.push_back(index);
            break;
        case audioMasterEndEdit:
            endEdits_.push_back(index);
            break;
        case audioMasterGetTime:
            timeRequests_.push_back(static_cast<VstInt32>(value));
            break;
        case audioMasterProcessEvents:
            // The list is only valid during this call: keep copies.
            ++midiOutLists_;
            if (auto* list = static_cast<VstEvents*>(ptr)) {
                for (VstInt32 i = 0; i < list->numEvents; ++i) {
                    const VstEvent* event = list->events[i];
                    if (event && event->type == kVstMidiType)
                        midiOut_.push_back(*reinterpret_cast<const VstMidiEvent*>(event));
                }
            }
            break;
        default:
            break;
        }
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
    case audioMasterProcessEvents:
    case audioMasterWantMidi:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterIOChanged:
    case audioMasterUpdateDisplay:
    case audioMasterSizeWindow:
        return 1;
    case audioMasterGetSampleRate:
        return sampleRate;
    case audioMasterGetBlockSize:
        return blockSize;
    case audioMasterGetCurrentProcessLevel:
        return processLevel;
    case audioMasterCanDo:
        return ptr && hostCanDo.count(static_cast<const char*>(ptr)) ? 1 : 0;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
        if (!ptr) return 0;
        std::strncpy(static_cast<char*>(ptr),
                     opcode == audioMasterGetVendorString ? "Brakka Tests" : "FakeHost",
                     kVstMaxVendorStrLen - 1);
        static_cast<char*>(ptr)[kVstMaxVendorStrLen - 1] = 0;
        return 1;
    case audioMasterGetVendorVersion:
        return 1;
    default:
        return 0;
    }
}

} // namespace brakka_test
