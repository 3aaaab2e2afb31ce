// Shared helpers of the engine tests: an engine loaded through its exported entry into the fake
// host, and a renderer that collects the MIDI notes the sequencer sends with their absolute
// sample positions.
#pragma once

#include "Brakka.h"
#include "BrakkaPatternDictionary.h"
#include "fake_host.h"

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

namespace brakka_test {

// A preset chunk of a program as the engine builds it before any bank is loaded: named "init",
// every parameter at its default, sixteen empty patterns with default pattern values.
std::vector<uint8_t> blankPresetChunk();
// 48 of them: a bank chunk that puts every program back to that state.
std::vector<uint8_t> blankBankChunk();

// The entry as the plug-in's exported VSTPluginMain runs it (version query, then
// createEffectInstance). Test programs link the engine statically and cannot link the exported
// entry object, whose legacy name main would replace the test program's own main; the real
// entry is exercised through build/Brakka.so in test_module.
AEffect* engineEntry(audioMasterCallback audioMaster);

// A pattern dictionary as the pattern import reads it: sixteen pattern blocks and every pattern
// value. `edit` may change pattern p before it is written; `value` gives pattern p's value of a
// tag (a negative answer, or no function, keeps the default).
BrakkaPatternDictionary
patternDictionary(const std::function<void(int p, BrakkaSequencer&)>& edit = {},
                  const std::function<float(int p, unsigned tag)>& value = {});

// Fixed storage for tests that run their own audio thread: twelve output channels and an event
// list of up to four MIDI events (status, data 1, data 2), changed in place between blocks.
struct Outputs {
    explicit Outputs(int frames) : samples(12 * (size_t)frames) {
        for (int c = 0; c < 12; ++c)
            channels[c] = samples.data() + (size_t)c * frames;
    }
    std::vector<float> samples;
    float* channels[12];
};
struct MidiList {
    MidiList(std::initializer_list<std::array<int, 3>> events);
    MidiList(const MidiList&) = delete;
    VstEvents* events() { return reinterpret_cast<VstEvents*>(&header); }
    VstMidiEvent midi[4] = {};
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[4];
    } header{};
};

struct SentNote {
    long position; // absolute sample of the event
    int status;    // 0x90 or 0x80
    int note;
    int velocity;
    int noteLength;
};

// Normalized values of the choice parameters.
inline float syncValue(int mode) {
    return mode * 0.5f;
} // 0 Host, 1 Internal, 2 MIDI
inline float stepSizeValue(int index) {
    return index * 0.25f;
} // "1 x 32" .. "1 x 8T"
inline float patternValue(int pattern) {
    return pattern / 15.0f;
}
inline float outputBusValue(int bus) {
    return bus * 0.2f + 0.01f;
} // voices 0..8 (linear law)

// An engine in the fake host, opened and resumed. Unless factoryPrograms is set, the factory
// bank is replaced by blank programs first, so tests start from default values and empty rows.
class EngineHarness {
public:
    explicit EngineHarness(float rate = 44100.0f, int blockSize = 512,
                           bool factoryPrograms = false);
    ~EngineHarness();

    Brakka& engine() { return *engine_; }
    FakeHost& host() { return host_; }

    void set(int tag, float value) { host_.setParameter(tag, value); }
    float get(int tag) { return host_.getParameter(tag); }
    // Puts a note on every step of a voice's row in the current pattern (or only on `steps`).
    void fillRow(int voice, const std::vector<int>& steps = {});
    // Internal sync, playing from position 0.
    void playInternal();

    // Renders `frames` samples in blocks; notes are appended with absolute positions.
    void render(long frames, std::vector<SentNote>* notes = nullptr);
    // Renders one block and returns channel c of it.
    std::vector<float> renderChannel(int frames, int channel);
    long position() const { return position_; }
    int blockSize() const { return blockSize_; }

    // Hook called before each block (to serve time information, send events...).
    std::function<void(long blockStart, int frames)> beforeBlock;

private:
    FakeHost host_;
    Brakka* engine_ = nullptr;
    long position_ = 0;
    int blockSize_;
};

// Note-ons only.
std::vector<SentNote> noteOns(const std::vector<SentNote>& notes, int note = -1);
double rms(const std::vector<float>& x, size_t from = 0, size_t to = (size_t)-1);
double peak(const std::vector<float>& x);

} // namespace brakka_test
