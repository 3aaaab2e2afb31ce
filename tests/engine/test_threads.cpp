// The audio thread against the host's other threads (also built with ThreadSanitizer by
// tools/tsan-check.sh). Dropouts are blocks the audio thread renders as silence because another
// thread held the engine lock: a storm of parameter changes, the editor's pattern edits and the
// queries a host's generic view makes must never cost a block, and the host hears of automation
// only once the lock is free. (Saves, program changes and chunk loads at small block sizes: the
// validator's thread hammer.) The stress test adds program changes, imports, chunks, learns and the
// open editor, which the engine tells of steps, rows and learns: no race, crash or deadlock.
#include "BrakkaEditor.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using namespace brakka_test;
using Clock = std::chrono::steady_clock;

namespace {

// Renders blocks on a thread of its own, one every `period` at most and with a pause between any
// two, until stopped; `events` (changed in place by `vary`) are sent before each block. Notes the
// longest time between two block starts and what came out.
struct AudioThread {
    AudioThread(EngineHarness& h, int frames, std::chrono::microseconds period,
                MidiList* events = nullptr, std::function<void(long, MidiList&)> vary = {}) {
        thread = std::thread([=, &h] {
            Outputs out(frames);
            AEffect* e = h.host().effect();
            Clock::time_point next = Clock::now(), last = next;
            for (long n = 0; running.load(); ++n) {
                const double gap =
                    std::chrono::duration<double, std::milli>(Clock::now() - last).count();
                if (n > 0 && gap > longestGapMs.load()) longestGapMs = gap;
                last = Clock::now();
                if (events) {
                    vary(n, *events);
                    e->dispatcher(e, effProcessEvents, 0, 0, events->events(), 0.0f);
                }
                e->processReplacing(e, nullptr, out.channels, frames);
                for (int c = 0; c < 12; ++c) {
                    finite = finite && std::isfinite(out.channels[c][n % frames]);
                    audible += out.channels[c][frames - 1] != 0.0f;
                }
                ++blocks;
                next = std::max(next + period, Clock::now() + std::chrono::microseconds(50));
                std::this_thread::sleep_until(next);
            }
        });
        waitBlocks(3);
    }
    ~AudioThread() { stop(); }
    void waitBlocks(long n) {
        for (const long until = blocks.load() + n; blocks.load() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void stop() {
        running = false;
        if (thread.joinable()) thread.join();
    }
    std::thread thread;
    std::atomic<bool> running{true}, finite{true};
    std::atomic<long> blocks{0}, audible{0};
    std::atomic<double> longestGapMs{0.0};
};

// Runs work(i) for i = 0, 1... on a thread of its own until `end`.
template <class Work>
std::thread until(Clock::time_point end, Work work) {
    return std::thread([end, work]() mutable {
        for (int i = 0; Clock::now() < end; ++i)
            work(i);
    });
}

} // namespace

TEST(Dropouts, ParameterStormEditsAndHostQueriesNeverCostABlock) {
    EngineHarness h(44100.0f, 512);
    Brakka& engine = h.engine();
    h.fillRow(0);
    h.fillRow(6);
    h.playInternal();
    AudioThread audio(h, 512, std::chrono::microseconds(1000));
    ASSERT_TRUE(engine.isProcessing());
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(1000);
    std::atomic<long> changes{0};
    std::thread threads[] = {
        // Bursts of 32 changes, several hundred thousand a second: far beyond any knob or
        // automation lane, while leaving the shared machine's cores some air.
        until(end,
              [&, k = 12345u](int) mutable {
                  k = k * 1103515245u + 12345u;
                  const int tag = (int)(k % kNumParameters);
                  if (tag != kSyncTag) engine.setParameter(tag, (float)((k >> 8) % 1000) / 999.0f);
                  if (++changes % 32 == 0)
                      std::this_thread::sleep_for(std::chrono::microseconds(50));
              }),
        // A host's generic view: values, names, labels and display strings of every parameter.
        until(end,
              [&](int i) {
                  char text[64];
                  float converted = 0.0f;
                  const int tag = i % kNumParameters;
                  engine.getParameter(tag);
                  engine.getParameterName(tag, text);
                  engine.getParameterLabel(tag, text);
                  engine.getParameterDisplay(tag, text);
                  engine.vendorSpecific(Brakka::kOpcodeVSTToNatural, tag, &converted, 0.5f);
                  engine.getProgram();
                  engine.getTempo();
                  if (tag == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
              }),
        // The editor: notes, velocities, copy and paste.
        until(end, [&](int i) {
            engine.setNote(i % 12, i % 32, (i & 1) ? 255 : 0);
            engine.setVelocityValue(i % 12, i % 32, 0.5f);
            if (i % 10 == 0) engine.pattern_copy(0);
            if (i % 10 == 5) engine.pattern_paste();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        })};
    for (std::thread& t : threads)
        t.join();
    audio.stop();
    std::printf("%ld changes, %ld blocks, %ld lost, longest gap between blocks %.1f ms\n",
                changes.load(), audio.blocks.load(), engine.getMissedBlockCount(),
                audio.longestGapMs.load());
    EXPECT_GT(changes.load(), 1000);
    EXPECT_GT(audio.blocks.load(), 100);
    // The guarantee holds while blocks keep coming; a machine so loaded that the audio thread
    // stalled past the processing window cannot prove it either way.
    if (audio.longestGapMs.load() < Brakka::kProcessingTimeoutMs * 0.8) {
        EXPECT_EQ(engine.getMissedBlockCount(), 0);
    }
}

namespace {

// A host whose automation handling renders a block on another thread, as if its audio thread ran
// meanwhile: that block must find the engine lock free.
AEffect* gEffect = nullptr;
long gAutomations = 0;

VstIntPtr renderingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterAutomate && gEffect) {
        ++gAutomations;
        std::thread([] {
            Outputs out(64);
            gEffect->processReplacing(gEffect, nullptr, out.channels, 64);
        }).join();
    }
    return 0;
}

} // namespace

TEST(Dropouts, TheHostHearsOfAutomationOnlyAfterTheLockIsFree) {
    gEffect = engineEntry(&renderingHost);
    ASSERT_NE(gEffect, nullptr);
    Brakka& engine = engineOf(gEffect);
    gEffect->dispatcher(gEffect, effMainsChanged, 0, 1, nullptr, 0.0f);
    engine.setParameter(kSoloTag + 2, 1.0f);
    engine.setParameter(kSoloTag + 5, 1.0f);     // switches the first solo off
    engine.setParameter(kPatternTag, 3.0f / 15); // 61 pattern values
    engine.setProgram(4);
    EXPECT_GT(gAutomations, 60);
    EXPECT_EQ(engine.getMissedBlockCount(), 0);
    AEffect* e = gEffect;
    gEffect = nullptr;
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

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
    AudioThread audio(h, 256, std::chrono::microseconds(0), &midi, [](long n, MidiList& m) {
        m.midi[0].midiData[1] = (char)(n % 3 == 0 ? 36 : (n % 3 == 1 ? 62 : 42));
        m.midi[1].midiData[1] = m.midi[2].midiData[1] = (char)(n % 20);
        m.midi[1].midiData[2] = m.midi[2].midiData[2] = (char)(n % 128);
    });
    const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
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
        [&](int) { engine.vendorSpecific(Brakka::kOpcodeImportPatterns, 0, &ref, 0.0f); },
        [&](int) {
            engine.setProgramName(const_cast<char*>("stress")), engine.getProgramName(name);
        },
        [&](int) { engine.pattern_clear(0), engine.unregisterAllModTags(); },
        [&](int i) { engine.getNoteRow(i % 12, row), engine.getModRow(i % 108, values); },
        [&](int i) {
            h.host().dispatch(effSetSampleRate, 0, 0, nullptr, (i & 2) ? 48000.0f : 44100.0f);
        },
        [&](int i) {
            engine.handleSpecialClick(i % 7 == 0 ? kLevelTag : 100 + i % 30), gui.idle();
        }};
    std::thread threads[] = {until(end,
                                   [&](int i) {
                                       edits[i % 12](i);
                                       std::this_thread::sleep_for(std::chrono::microseconds(20));
                                   }),
                             until(end, [&, k = 1u](int) mutable {
                                 void* data = nullptr;
                                 EXPECT_GT(engine.getChunk(&data, k % 2 == 0), 0);
                                 std::vector<uint8_t> copy = preset;
                                 EXPECT_EQ(
                                     engine.setChunk(copy.data(), (VstInt32)copy.size(), true), 1);
                                 (void)engine.getMIDIMap();
                                 for (int n = 0; n < 200; ++n) {
                                     k = k * 1103515245u + 12345u;
                                     const int tag = (int)(k % kNumParameters);
                                     if (tag == kStopTag || tag == kSyncTag) continue;
                                     h.set(tag, (float)((k >> 8) % 1000) / 999.0f);
                                     EXPECT_TRUE(std::isfinite(h.get(tag)));
                                 }
                             })};
    for (std::thread& t : threads)
        t.join();
    audio.stop();
    EXPECT_GT(audio.audible.load(), 0);
    EXPECT_TRUE(audio.finite.load());
    std::printf("audio blocks lost to the lock: %ld\n", engine.getMissedBlockCount());
    // Still responsive and consistent afterwards.
    h.set(kTempoTag, 0.35f);
    EXPECT_FLOAT_EQ(h.get(kTempoTag), 0.35f);
    EXPECT_FALSE(engine.getMIDIMap().empty());
}
