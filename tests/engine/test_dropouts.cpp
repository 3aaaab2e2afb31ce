// Dropouts: blocks the audio thread renders as silence because another thread held the engine
// lock. A storm of parameter changes, the editor's pattern edits and the queries a host's generic
// view makes must never cost a block; the host hears of automation only once the lock is free.
// (Saves, program changes and chunk loads at small block sizes: the validator's thread hammer.)
// Also built with ThreadSanitizer by tools/tsan-check.sh.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace brakka_test;
using Clock = std::chrono::steady_clock;

namespace {

// Renders 512-frame blocks on a thread of its own, one every `period`, until stopped, and
// notes the longest time between two block starts.
struct AudioThread {
    AudioThread(EngineHarness& h, std::chrono::microseconds period) {
        thread = std::thread([this, &h, period] {
            Outputs out(512);
            AEffect* e = h.host().effect();
            Clock::time_point next = Clock::now(), last = next;
            while (running.load()) {
                const double gap =
                    std::chrono::duration<double, std::milli>(Clock::now() - last).count();
                if (blocks.load() > 0 && gap > longestGapMs.load()) longestGapMs = gap;
                last = Clock::now();
                e->processReplacing(e, nullptr, out.channels, 512);
                ++blocks;
                std::this_thread::sleep_until(next += period);
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
    std::atomic<bool> running{true};
    std::atomic<long> blocks{0};
    std::atomic<double> longestGapMs{0.0};
};

} // namespace

TEST(Dropouts, ParameterStormEditsAndHostQueriesNeverCostABlock) {
    EngineHarness h(44100.0f, 512);
    Brakka& engine = h.engine();
    h.fillRow(0);
    h.fillRow(6);
    h.playInternal();
    AudioThread audio(h, std::chrono::microseconds(1000));
    ASSERT_TRUE(engine.isProcessing());
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(1000);
    std::atomic<long> changes{0};
    auto until = [&](auto work) {
        return std::thread([&, work]() mutable {
            for (int i = 0; Clock::now() < end; ++i)
                work(i);
        });
    };
    std::thread threads[] = {
        // Bursts of 32 changes, several hundred thousand a second: far beyond any knob or
        // automation lane, while leaving the shared machine's cores some air.
        until([&, k = 12345u](int) mutable {
            k = k * 1103515245u + 12345u;
            const int tag = (int)(k % 263);
            if (tag != kSyncTag) engine.setParameter(tag, (float)((k >> 8) % 1000) / 999.0f);
            if (++changes % 32 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }),
        // A host's generic view: values, names, labels and display strings of every parameter.
        until([&](int i) {
            char text[64];
            float converted = 0.0f;
            const int tag = i % 263;
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
        until([&](int i) {
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

TEST(Dropouts, QueuedValuesShowAtOnceAndIdleChangesApplyAtOnce) {
    // Some hosts render without resuming first: their blocks count all the same.
    EngineHarness h(44100.0f, 512);
    Brakka& engine = h.engine();
    h.host().dispatch(effMainsChanged, 0, 0);
    EXPECT_FALSE(engine.isProcessing());
    AudioThread audio(h, std::chrono::microseconds(2000));
    ASSERT_TRUE(engine.isProcessing());
    // A value queued for the audio thread reads back and displays at once.
    BrakkaParameterManager reference;
    char shown[64], expected[64], pattern[64] = "";
    for (int tag : {111, 112, 114, 0, 130, 142, 202, 262}) {
        engine.setParameter(tag, 0.37f);
        engine.getParameterDisplay(tag, shown);
        reference.setVSTvalue(tag, 0.37f);
        reference.getValueString(tag, expected, 8);
        EXPECT_STREQ(shown, expected) << tag;
        if (tag == kPatternTag) std::snprintf(pattern, sizeof pattern, "%s", shown);
        EXPECT_FLOAT_EQ(engine.getParameter(tag), 0.37f);
    }
    audio.waitBlocks(2); // applied by the audio thread: the pattern switch is in place
    audio.stop();
    EXPECT_EQ(engine.getCurrentPattern() + 1, std::atoi(pattern)); // shown as 1..16
    engine.suspend();
    EXPECT_FALSE(engine.isProcessing());
    h.set(kPatternTag, patternValue(7)); // idle: in place at once, with its values
    EXPECT_EQ(engine.getCurrentPattern(), 7);
    h.set(kSyncTag, syncValue(1));
    h.set(kTempoTag, 0.25f);
    EXPECT_FLOAT_EQ(engine.getTempo(), 100.0f); // 50 + 0.25 x 200 BPM
}

namespace {

// A host whose automation handling renders a block on another thread, as if its audio thread
// ran meanwhile: that block must find the engine lock free.
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
