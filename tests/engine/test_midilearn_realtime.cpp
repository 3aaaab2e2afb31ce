// MIDI learn on the audio thread allocates nothing and writes no file: every heap allocation of
// the audio thread is counted while the host's event call completes a learn and drives learnt
// parameters; the file appears afterwards, written by the engine's own thread. The sequencer's
// random numbers come from the engine's lock-free generator.
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

namespace {

// Allocations of the calling thread only: the engine's saver thread may allocate at any time.
thread_local long tAllocations = 0;

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

void* operator new(size_t size) {
    ++tAllocations;
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

TEST(MIDILearnRealtime, CompletingALearnAllocatesNothingAndTheFileFollows) {
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

    VstMidiEvent midi[2];
    std::memset(midi, 0, sizeof(midi));
    for (VstMidiEvent& m : midi) {
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.midiData[0] = (char)0xB0;
        m.midiData[1] = 21;
        m.midiData[2] = 127;
    }
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[2];
    } list{2, 0, {reinterpret_cast<VstEvent*>(&midi[0]), reinterpret_cast<VstEvent*>(&midi[1])}};

    // A hundred learns (the table grows on the audio thread), each followed by the learnt
    // controller moving its parameters.
    engine.handleSpecialClick(118);
    long allocations = 0;
    for (int i = 0; i < 100; ++i) {
        engine.handleSpecialClick(i);
        midi[0].midiData[1] = midi[1].midiData[1] = (char)(i % 100);
        const long before = tAllocations;
        e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
        e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
        allocations += tAllocations - before;
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

TEST(MIDILearnRealtime, TheSequencerDrawsFromTheLockFreeGenerator) {
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
