// The audio thread against the host's other threads: program changes, pattern edits, switches,
// copy and paste, imports, chunk loads and saves, MIDI learns and parameter storms while blocks
// are rendered, with the editor open (the engine tells it of steps, rows, patterns, parameters
// and learn highlights from the audio thread). Built with ThreadSanitizer by tools/tsan-check.sh:
// no race, crash or deadlock.
#include "BrakkaEditor.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

using namespace brakka_test;
using Clock = std::chrono::steady_clock;

namespace {

// Runs blocks of `frames` on a thread of its own until destroyed, `events` before each block
// (changed in place by `vary`), pausing between blocks as a real audio thread does.
struct AudioLoop {
    AudioLoop(EngineHarness& h, int frames, MidiList& events,
              std::function<void(long, MidiList&)> vary) {
        thread = std::thread([this, frames, vary, &h, &events] {
            Outputs out(frames);
            AEffect* e = h.host().effect();
            for (long n = 0; !stop.load(); ++n) {
                vary(n, events);
                e->dispatcher(e, effProcessEvents, 0, 0, events.events(), 0.0f);
                e->processReplacing(e, nullptr, out.channels, frames);
                for (int c = 0; c < 12; ++c) {
                    finite = finite && std::isfinite(out.channels[c][n % frames]);
                    audible += out.channels[c][frames - 1] != 0.0f;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        });
    }
    ~AudioLoop() {
        stop = true;
        thread.join();
    }
    std::thread thread;
    std::atomic<bool> stop{false}, finite{true};
    std::atomic<long> audible{0};
};

bool within(Clock::time_point start, double seconds) {
    return std::chrono::duration<double>(Clock::now() - start).count() < seconds;
}

} // namespace

TEST(Stress, AudioThreadAgainstEditsLearnsChunksAndStorms) {
    ConfigFolder config; // learnt bindings are saved here
    EngineHarness h(44100.0f, 256, true);
    Brakka& engine = h.engine();
    h.playInternal();
    const std::vector<uint8_t> preset = h.host().getChunk(true);
    auto& gui = *static_cast<BrakkaEditor*>(engine.getEditor());
    ASSERT_TRUE(gui.openOffscreen());
    const BrakkaPatternDictionary dict =
        patternDictionary([](int p, BrakkaSequencer& seq) { seq.setNote(p % 12, p, 255); },
                          [](int, unsigned) { return 0.5f; });
    // Drum and pattern notes, and pairs of controllers that complete learns.
    MidiList midi{{0x90, 36, 100}, {0xB0, 0, 0}, {0xB0, 0, 0}};
    AudioLoop audio(h, 256, midi, [](long n, MidiList& m) {
        m.midi[0].midiData[1] = (char)(n % 3 == 0 ? 36 : (n % 3 == 1 ? 62 : 42));
        m.midi[1].midiData[1] = m.midi[2].midiData[1] = (char)(n % 20);
        m.midi[1].midiData[2] = m.midi[2].midiData[2] = (char)(n % 128);
    });
    const Clock::time_point start = Clock::now();
    const BrakkaPatternDictionary* ref = &dict;
    char name[64];
    unsigned char row[32];
    float values[32];
    const std::function<void(int)> edits[] = {
        [&](int i) { h.host().dispatch(effSetProgram, 0, i % 48); },
        [&](int i) { engine.setNote(i % 12, i % 32, (i & 1) ? 255 : 0); },
        [&](int) { engine.pattern_copy(0); },
        [&](int) { engine.pattern_paste(); },
        [&](int i) { engine.setCurrentPatternDeferred(i % 16); },
        [&](int i) { engine.fillModValues(i % 108, i % 5); },
        [&](int) { engine.vendorSpecific(34567, 0, &ref, 0.0f); },
        [&](int) {
            engine.setProgramName(const_cast<char*>("stress")), engine.getProgramName(name);
        },
        [&](int) { engine.pattern_clear(0), engine.unregisterAllModTags(); },
        [&](int i) { engine.getNoteRow(i % 12, row), engine.getModRow(i % 108, values); },
        [&](int i) {
            h.host().dispatch(effSetSampleRate, 0, 0, nullptr, (i & 2) ? 48000.0f : 44100.0f);
        },
        [&](int i) { engine.handleSpecialClick(i % 7 == 0 ? 118 : 100 + i % 30), gui.idle(); }};
    std::thread editor([&] {
        for (int i = 0; within(start, 2.0); ++i) {
            edits[i % 12](i);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    std::thread host([&] {
        for (unsigned k = 1; within(start, 2.0);) {
            void* data = nullptr;
            EXPECT_GT(engine.getChunk(&data, k % 2 == 0), 0);
            std::vector<uint8_t> copy = preset;
            EXPECT_EQ(engine.setChunk(copy.data(), (VstInt32)copy.size(), true), 1);
            (void)engine.getMIDIMap();
            for (int n = 0; n < 200; ++n) {
                k = k * 1103515245u + 12345u;
                const int tag = (int)(k % 263);
                if (tag == kStopTag || tag == kSyncTag) continue;
                h.set(tag, (float)((k >> 8) % 1000) / 999.0f);
                EXPECT_TRUE(std::isfinite(h.get(tag)));
            }
        }
    });
    editor.join();
    host.join();
    EXPECT_GT(audio.audible.load(), 0);
    EXPECT_TRUE(audio.finite.load());
    std::printf("audio blocks lost to the lock: %ld\n", engine.getMissedBlockCount());
    // Still responsive and consistent afterwards.
    h.set(kTempoTag, 0.35f);
    EXPECT_FLOAT_EQ(h.get(kTempoTag), 0.35f);
    EXPECT_FALSE(engine.getMIDIMap().empty());
}
