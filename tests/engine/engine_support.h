// Shared helpers of the engine tests: an engine loaded through its exported entry into the fake
// host, a renderer that collects the MIDI notes the sequencer sends with their absolute sample
// positions, and fixed storage for tests that run their own audio thread.
#pragma once

#include "Brakka.h"
#include "BrakkaPatternDictionary.h"
#include "fake_host.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace brakka_test {

// A bank of 48 programs as the engine builds them before any bank is loaded (named "init",
// defaults, empty patterns).
std::vector<uint8_t> blankBankChunk();

// The entry as the exported VSTPluginMain runs it (version query, then createEffectInstance);
// the real entry is exercised through build/Brakka.so in test_module.
AEffect* engineEntry(audioMasterCallback audioMaster);
inline Brakka& engineOf(AEffect* e) {
    return *static_cast<Brakka*>(static_cast<AudioEffect*>(e->object));
}

// A pattern dictionary as the pattern import reads it. `edit` may change pattern p; `value`
// gives pattern p's value of a tag (negative, or no function: the default).
BrakkaPatternDictionary
patternDictionary(const std::function<void(int p, BrakkaSequencer&)>& edit = {},
                  const std::function<float(int p, unsigned tag)>& value = {});

// A fresh configuration folder (XDG_CONFIG_HOME) for the MIDI assignments file, removed at the
// end; `file` is where the assignments are kept.
struct ConfigFolder {
    ConfigFolder();
    ~ConfigFolder();
    std::filesystem::path dir, file;
};

// Twelve output channels and an event list of up to four MIDI events, changed in place.
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

// An editor that records the engine's calls as text ("step 3", "highlight 118"...), parameter
// values aside.
struct RecordingEditor : BrakkaEditorInterface {
    std::vector<std::string> events;
    void add(const char* what, int n) { events.push_back(what + std::to_string(n)); }
    void setCurrentStep(int step) override { add("step ", step); }
    void noteRowChanged(int voice, const unsigned char*) override { add("notes ", voice); }
    void modRowChanged(int tag) override { add("mod ", tag); }
    void patternChanged(int pattern) override { add("pattern ", pattern); }
    void setPendingPattern(int pattern) override { add("pending ", pattern); }
    void highlightControl(int tag, bool on) override { add(on ? "on " : "off ", tag); }
    void setParameter(int, float) override {}
};

struct SentNote {
    long position; // absolute sample of the event
    int status, note, velocity, noteLength;
};

// Normalized values of the choice parameters: sync 0 Host, 1 Internal, 2 MIDI; step sizes
// "1 x 32" .. "1 x 8T"; patterns 0..15; output buses of voices 0..8 (linear law).
inline constexpr auto syncValue = [](int mode) { return mode * 0.5f; };
inline constexpr auto stepSizeValue = [](int index) { return index * 0.25f; };
inline constexpr auto patternValue = [](int pattern) { return pattern / 15.0f; };
inline constexpr auto outputBusValue = [](int bus) { return bus * 0.2f + 0.01f; };

// An engine in the fake host, opened and resumed. Unless factoryPrograms is set, the factory
// bank is replaced by blank programs first: default values and empty rows.
class EngineHarness {
public:
    explicit EngineHarness(float rate = 44100.0f, int blockSize = 512,
                           bool factoryPrograms = false);
    ~EngineHarness() { host_.close(); }

    Brakka& engine() { return *engine_; }
    FakeHost& host() { return host_; }
    void set(int tag, float value) { host_.setParameter(tag, value); }
    float get(int tag) { return host_.getParameter(tag); }
    // A note on every step of a voice's row in the current pattern (or only on `steps`).
    void fillRow(int voice, const std::vector<int>& steps = {});
    void playInternal(); // Internal sync, playing from position 0
    // Renders `frames` samples in blocks; notes are appended with absolute positions.
    void render(long frames, std::vector<SentNote>* notes = nullptr);
    // Renders one block and returns channel c of it.
    std::vector<float> renderChannel(int frames, int channel);
    // Hook called before each block (to serve time information...).
    std::function<void(long blockStart, int frames)> beforeBlock;

private:
    FakeHost host_;
    Brakka* engine_ = nullptr;
    long position_ = 0;
    int blockSize_;
};

std::vector<SentNote> noteOns(const std::vector<SentNote>& notes, int note = -1);
double rms(const std::vector<float>& x);
double peak(const std::vector<float>& x);

} // namespace brakka_test
