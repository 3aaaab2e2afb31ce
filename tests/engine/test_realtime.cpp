// The audio thread allocates nothing, with the editor open as without it (the engine tells an
// open editor of every step, row, pattern, parameter and learn): every heap allocation of the
// calling thread is counted
// (the engine's saver thread may allocate at any time), and the count must not move while the
// host calls processEvents and processReplacing: with the sequencer running in every clock
// source, pattern switches, modulation, random notes, MIDI in and out, automation reported to
// the host, and MIDI learns completed. The assignments file is written afterwards by the
// engine's own thread; the sequencer's random numbers come from the lock-free generator.
#include "BrakkaEditor.h"
#include "BrakkaRandom.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <thread>

using brakka_test::MidiList;
using brakka_test::Outputs;

namespace {

thread_local long gAllocations = 0;

// A host that answers from fixed storage, so that its own work allocates nothing.
VstTimeInfo gTimeInfo;
bool gServeTime = true;
long gNoteOns = 0;
long gAutomations = 0;

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetTime:
        return gServeTime ? reinterpret_cast<VstIntPtr>(&gTimeInfo) : 0;
    case audioMasterProcessEvents: {
        auto* events = static_cast<VstEvents*>(ptr);
        for (int i = 0; i < events->numEvents; ++i) {
            auto* e = reinterpret_cast<VstMidiEvent*>(events->events[i]);
            if ((unsigned char)e->midiData[0] == 0x90) ++gNoteOns;
        }
        return 1;
    }
    case audioMasterAutomate:
        ++gAutomations;
        return 0;
    default:
        return 0;
    }
}

} // namespace

void* operator new(size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

TEST(Realtime, AudioThreadNeverAllocates) {
    AEffect* e = brakka_test::engineEntry(&quietHost);
    ASSERT_NE(e, nullptr);
    ASSERT_GT(gAllocations, 100); // the counter sees the engine's construction
    Brakka& engine = *static_cast<Brakka*>(static_cast<AudioEffect*>(e->object));
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    // Busy patterns: every voice on every step of patterns 0 and 1, modulation rows that are
    // re-randomized at each pattern start, random notes and re-randomized note rows.
    for (int p : {1, 0}) {
        engine.setParameter(Brakka::kTagPattern, p / 15.0f);
        for (int v = 0; v < 12; ++v) {
            for (int s = 0; s < 32; ++s)
                engine.setNote(v, s, 255);
            engine.setParameter(Brakka::kTagRandomBeats + v, 0.5f);
            engine.setParameter(Brakka::kTagRandomReset + v, 1.0f);
        }
        for (int tag : {0, 12, 14, 29, 73, 86, 93, 106, 130, 141}) {
            engine.fillModValues(tag, 3);
        }
    }
    engine.setParameter(Brakka::kTagSelectedBeats + 3, 0.5f);
    engine.setParameter(Brakka::kTagStepSize, 0.25f);
    engine.setParameter(Brakka::kTagSwing, 0.6f);
    auto* editor = static_cast<BrakkaEditor*>(engine.getEditor());
    ASSERT_TRUE(editor->openOffscreen());
    editor->beginEdit(Brakka::kTagPan + 6); // the value row shows a modulation row

    const int frames = 480;
    Outputs out(frames);
    MidiList list{{0x90, 36, 100}, {0x90, 42, 90}, {0xB0, 7, 64}, {0x90, 61, 1}};
    VstMidiEvent* midi = list.midi;

    auto runBlocks = [&](int blocks, double tempo) {
        for (int b = 0; b < blocks; ++b) {
            gTimeInfo.ppqPos = b * frames * tempo / 60.0 / 48000.0;
            gTimeInfo.tempo = tempo;
            if (b % 50 == 0) e->dispatcher(e, effProcessEvents, 0, 0, list.events(), 0.0f);
            e->processReplacing(e, nullptr, out.channels, frames);
        }
    };

    std::memset(&gTimeInfo, 0, sizeof(gTimeInfo));
    gTimeInfo.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    gTimeInfo.sampleRate = 48000.0;

    // Internal clock.
    engine.setParameter(Brakka::kTagSync, 0.5f);
    engine.setParameter(Brakka::kTagPlay, 1.0f);
    long before = gAllocations;
    runBlocks(2000, 140.0); // 20 s: many pattern starts and queued switches
    EXPECT_EQ(gAllocations - before, 0);

    // Host clock, including blocks without time information.
    engine.setParameter(Brakka::kTagSync, 0.0f);
    before = gAllocations;
    runBlocks(1000, 170.0);
    gServeTime = false;
    runBlocks(10, 170.0);
    gServeTime = true;
    EXPECT_EQ(gAllocations - before, 0);

    // MIDI-note clock and MIDI Output Only.
    engine.setParameter(Brakka::kTagSync, 1.0f);
    engine.setParameter(Brakka::kTagMIDIOutputOnly, 1.0f);
    midi[3].midiData[1] = 84;
    before = gAllocations;
    for (int b = 0; b < 500; ++b) {
        e->dispatcher(e, effProcessEvents, 0, 0, list.events(), 0.0f);
        e->processReplacing(e, nullptr, out.channels, frames);
    }
    EXPECT_EQ(gAllocations - before, 0);

    EXPECT_GT(gNoteOns, 1000);
    EXPECT_GT(gAutomations, 0); // pattern switches while resumed were reported
    // What the editor recorded reaches its views on the user-interface thread.
    editor->idle();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Realtime, CompletingALearnAllocatesNothingAndTheFileFollows) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/brakka-learn-rt-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    setenv("XDG_CONFIG_HOME", pattern, 1);
    const fs::path file = fs::path(pattern) / "Zunder Works" / "Brakka MIDI Assignments.txt";

    AEffect* e = brakka_test::engineEntry(&quietHost);
    ASSERT_NE(e, nullptr);
    Brakka& engine = *static_cast<Brakka*>(static_cast<AudioEffect*>(e->object));
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    MidiList list{{0xB0, 21, 127}, {0xB0, 21, 127}};
    VstMidiEvent* midi = list.midi;
    ASSERT_TRUE(static_cast<BrakkaEditor*>(engine.getEditor())->openOffscreen());
    brakka_test::Outputs out(16);

    // A hundred learns (the table grows on the audio thread), each followed by the learnt
    // controller moving its parameters.
    engine.handleSpecialClick(118);
    long allocations = 0;
    for (int i = 0; i < 100; ++i) {
        engine.handleSpecialClick(i);
        midi[0].midiData[1] = midi[1].midiData[1] = (char)(i % 100);
        const long before = gAllocations;
        e->dispatcher(e, effProcessEvents, 0, 0, list.events(), 0.0f);
        e->dispatcher(e, effProcessEvents, 0, 0, list.events(), 0.0f);
        e->processReplacing(e, nullptr, out.channels, 16);
        allocations += gAllocations - before;
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(engine.getLearnState(), 0u);
    EXPECT_EQ(engine.getMIDIMap().size(), 100u);
    EXPECT_FLOAT_EQ(engine.getParameter(99), 1.0f);

    // The save is the saver thread's: the file appears within a second.
    bool saved = false;
    for (int i = 0; i < 100 && !saved; ++i) {
        saved = fs::exists(file) && fs::file_size(file) > 0;
        if (!saved) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(saved);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    fs::remove_all(pattern);
    unsetenv("XDG_CONFIG_HOME");
}

TEST(Realtime, TheSequencerDrawsFromTheLockFreeGenerator) {
    AEffect* e = brakka_test::engineEntry(&quietHost);
    ASSERT_NE(e, nullptr);
    brakkaSeedRandom(99);
    int drawn[64];
    for (int& x : drawn)
        x = BrakkaSequencer::nextRandom();
    brakkaSeedRandom(99);
    bool spread = false;
    for (int x : drawn) {
        EXPECT_EQ(x, brakkaRandom());
        EXPECT_GE(x, 0);
        spread = spread || x > (1 << 30);
    }
    EXPECT_TRUE(spread);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}
