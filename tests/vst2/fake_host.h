// A small VST 2.4 host for tests: loads a plug-in (through an entry function or a shared object),
// drives it through its AEffect record exactly as a host does, and records what the plug-in asks
// of the host (every callback, automation, MIDI out).
#pragma once

#include "aeffectx.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brakka_test {

using VstEntryProc = AEffect* (*)(audioMasterCallback);

struct AutomateCall {
    VstInt32 index;
    float value;
};

// A string answer read through a host buffer of a given size, with overflow detection.
struct StringAnswer {
    std::string text;
    bool overflow = false; // the plug-in wrote past the buffer it was given
};

class FakeHost {
public:
    FakeHost() = default;
    ~FakeHost(); // closes the plug-in if still loaded, then unloads the library
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // Loading; each returns the plug-in's record or null. loadLibrary dlopen()s path and calls
    // the named entry; the error text is in loadError().
    AEffect* load(VstEntryProc entry);
    AEffect* loadLibrary(const std::string& path, const char* symbol = "VSTPluginMain");
    // Host start-up sequence: effOpen, sample rate, block size, mains on.
    void openAndResume(float rate = 44100.0f, VstInt32 blockSize = 512);
    void close(); // effClose (the plug-in deletes itself); safe when nothing is loaded
    AEffect* effect() const { return effect_; }
    const std::string& loadError() const { return loadError_; }
    void* library() const { return library_; }

    // ---- Calls into the plug-in
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    // Reads a string opcode into a buffer of bufferSize bytes guarded against overflow.
    StringAnswer getString(VstInt32 opcode, VstInt32 index = 0, size_t bufferSize = 64,
                           VstIntPtr value = 0);
    VstIntPtr canDo(const char* feature);
    std::vector<uint8_t> getChunk(bool isPreset);
    VstIntPtr setChunk(const std::vector<uint8_t>& data, bool isPreset);
    // processReplacing with numOutputs outputs (12 by default) of frames samples, first filled
    // with `fill` so a test sees which samples the plug-in wrote; no inputs.
    void process(VstInt32 frames, int numOutputs = 12, float fill = 0.0f);
    const std::vector<float>& output(int channel) const { return outputs_.at(channel); }
    // effProcessEvents with the given MIDI events (copied into a list valid during the call).
    VstIntPtr sendEvents(const std::vector<VstMidiEvent>& events);
    VstIntPtr sendMidi(unsigned char status, unsigned char data1, unsigned char data2);
    static VstMidiEvent makeMidi(unsigned char status, unsigned char data1, unsigned char data2,
                                 VstInt32 deltaFrames = 0, VstInt32 flags = 0);

    // ---- Host state the plug-in can query
    VstIntPtr version = 2400;
    VstIntPtr processLevel = 0;
    // What audioMasterGetTime serves (none: a host without time information): the transport
    // playing or stopped at a position in quarter notes and a tempo.
    void setTimeInfo(bool playing, double ppqPos, double tempo, VstInt32 numerator = 4,
                     VstInt32 denominator = 4);
    void clearTimeInfo();
    // Called for every host callback before the default answer; return a value to answer
    // with it instead. Runs without the host's lock held, so it may call back into the plug-in.
    std::function<std::optional<VstIntPtr>(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt)>
        hook;

    // ---- Records (copies; safe to read after the plug-in's call returned)
    std::vector<AutomateCall> automations() const;
    std::vector<VstMidiEvent> midiOut() const;
    std::vector<VstInt32> calls() const; // every host opcode, in order
    void clearRecords();

    // The host callback given to plug-ins; finds the FakeHost through the record's user field
    // (while a plug-in is being built, the host loading it).
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt);

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    AEffect* effect_ = nullptr;
    void* library_ = nullptr;
    std::string loadError_;
    std::vector<std::vector<float>> outputs_;

    mutable std::mutex mutex_;
    std::optional<VstTimeInfo> timeInfo_;
    VstTimeInfo servedTimeInfo_{};
    std::vector<std::pair<VstInt32, AutomateCall>> calls_; // opcode, index and opt
    std::vector<VstMidiEvent> midiOut_;
};

} // namespace brakka_test
