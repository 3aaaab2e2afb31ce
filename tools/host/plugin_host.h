// A VST 2 host of our own, shared by the renderer and the validator: loads a plug-in shared object
// through its exported entry, drives it through the AEffect record, serves it a transport of its
// own through audioMasterGetTime and records the MIDI it sends through audioMasterProcessEvents.
// Any number of hosts may live in one process, each with its own instance.
#pragma once

#include "aeffectx.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brakka_host {

// A channel message at an absolute sample position.
struct MidiMessage {
    int64_t sample = 0;
    uint8_t bytes[3] = {0, 0, 0};
    uint8_t size = 3;
};

class PluginHost {
public:
    PluginHost();
    ~PluginHost(); // closes the plug-in and unloads the library
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // dlopen()s the file and calls VSTPluginMain (or the legacy main). Checks the record: magic,
    // replacing processing, at least two outputs.
    bool load(const std::string& path, std::string& error);
    // effOpen, sample rate and block size, as a host does before anything else.
    void open(float rate, int blockSize);
    // effMainsChanged(1) and effStartProcess; suspend() is the reverse.
    void resume();
    void suspend();

    AEffect* effect() const { return effect_; }
    int numOutputs() const { return effect_ ? effect_->numOutputs : 0; }
    int numPrograms() const { return effect_ ? effect_->numPrograms : 0; }
    int numParams() const { return effect_ ? effect_->numParams : 0; }

    // Every call into the plug-in passes through these (and process() and sendMidi()).
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(int tag, float value);
    float getParameter(int tag);
    std::string parameterDisplay(int tag);
    std::string programName(int index); // effGetProgramNameIndexed
    void setProgram(int index);         // bracketed as hosts do
    bool setChunk(const std::vector<uint8_t>& chunk, bool isProgram);
    // effGetChunk, copied out of the plug-in's buffer; empty when it answers nothing.
    std::vector<uint8_t> getChunk(bool isProgram);
    // Natural value of a parameter for a normalized value through the plug-in's private opcode;
    // false when the plug-in does not answer it.
    bool naturalValue(int tag, float normalized, float& natural);

    // The transport the plug-in sees: rate, tempo in BPM, 4/4, playing or not. The position of
    // each block is taken from the sample position (ppqPos = samples * tempo / (60 * rate)).
    void setTransport(double rate, double tempo) {
        rate_ = rate;
        tempo_ = tempo;
    }
    void setPlaying(bool playing);
    bool playing() const { return playing_; }

    // Hands MIDI events to the plug-in (effProcessEvents) for the next block. Each event's
    // deltaFrames is its sample position less `blockStart`, or 0 when no block start is given.
    void sendMidi(const std::vector<MidiMessage>& messages, int64_t blockStart = INT64_MIN);
    // One processReplacing call of `frames` samples at sample position `position` into the
    // plug-in's outputs (numOutputs() channels of at least `frames` samples each). Frames of 0
    // are passed on as well; hosts do that.
    void process(int64_t position, int frames, float** outputs);

    // Channel messages the plug-in sent, with absolute sample positions.
    bool recordMidi = true;
    const std::vector<MidiMessage>& midiSent() const { return midiSent_; }
    void clearMidiSent() { midiSent_.clear(); }
    // The process level answered during process(): 4 offline (the renderer), 2 real time;
    // and outside it: 1, the user thread, or 2 for a host that calls from its audio thread.
    int processLevel = 4;
    int levelOutsideProcess = 1;

    // Called around every call into the plug-in, on the calling thread: `opcode` is the
    // dispatcher's, or one of the kCall values below.
    enum { kCallProcess = -1, kCallSetParameter = -2, kCallGetParameter = -3, kCallEntry = -4 };
    using CallHook = void (*)(int opcode, bool entering);
    static CallHook callHook;

    // The host callback handed to the plug-in.
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt);

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void recordEvents(const VstEvents* events);

    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    bool resumed_ = false;
    double rate_ = 44100.0;
    double tempo_ = 120.0;
    int blockSize_ = 512;
    bool playing_ = false;
    bool transportChanged_ = false;
    int64_t blockPosition_ = 0;
    VstTimeInfo timeInfo_{};
    std::vector<MidiMessage> midiSent_;
    std::vector<VstMidiEvent> eventStorage_;
    std::vector<uint8_t> eventList_;
};

} // namespace brakka_host
