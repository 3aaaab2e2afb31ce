// The audio thread allocates nothing, with the editor open (the engine tells it of every step,
// row, pattern, parameter and learn): every heap allocation of the calling thread is counted
// (the engine's saver thread may allocate at any time), and the count must not move while the
// host calls processEvents and processReplacing with the sequencer running in every clock
// source, pattern switches, modulation, random notes, MIDI in and out, automation reported to
// the host, and MIDI learns completed (the assignments file is written afterwards by the
// engine's own thread). The sequencer's random numbers come from the lock-free generator.
#include "BrakkaEditor.h"
#include "BrakkaRandom.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

using namespace brakka_test;

namespace {

thread_local long gAllocations = 0;

// A host that answers from fixed storage, so that its own work allocates nothing.
VstTimeInfo gTimeInfo;
bool gServeTime = true;
long gNoteOns = 0, gAutomations = 0;

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime)
        return gServeTime ? reinterpret_cast<VstIntPtr>(&gTimeInfo) : 0;
    if (opcode == audioMasterAutomate) ++gAutomations;
    if (opcode == audioMasterProcessEvents) {
        auto* events = static_cast<VstEvents*>(ptr);
        for (int i = 0; i < events->numEvents; ++i)
            gNoteOns += (unsigned char)((VstMidiEvent*)events->events[i])->midiData[0] == 0x90;
    }
    return 0;
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
    ConfigFolder config;
    AEffect* e = engineEntry(&quietHost);
    ASSERT_NE(e, nullptr);
    ASSERT_GT(gAllocations, 100); // the counter sees the engine's construction
    Brakka& engine = engineOf(e);
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    // The sequencer draws from the lock-free generator; a row's numbers at once are the same.
    brakkaSeedRandom(99);
    int drawn[3] = {BrakkaSequencer::nextRandom()};
    BrakkaSequencer::nextRandoms(drawn + 1, 2);
    brakkaSeedRandom(99);
    for (int d : drawn)
        EXPECT_EQ(d, brakkaRandom());

    // Busy patterns: every voice on every step of patterns 0 and 1, modulation rows that are
    // re-randomized at each pattern start, random notes and re-randomized note rows.
    for (int p : {1, 0}) {
        engine.setParameter(kPatternTag, p / 15.0f);
        for (int v = 0; v < 12; ++v) {
            for (int s = 0; s < 32; ++s)
                engine.setNote(v, s, 255);
            engine.setParameter(kRandomBeatsTag + v, 0.5f);
            engine.setParameter(kRandomResetTag + v, 1.0f);
        }
        for (int tag : {0, 12, 14, 29, 73, 86, 93, 106, 130, 141})
            engine.fillModValues(tag, 3);
    }
    engine.setParameter(kSelectedBeatsTag + 3, 0.5f);
    engine.setParameter(kStepSizeTag, 0.25f);
    engine.setParameter(kSwingTag, 0.6f);
    auto* editor = static_cast<BrakkaEditor*>(engine.getEditor());
    ASSERT_TRUE(editor->openOffscreen());
    editor->beginEdit(kPanTag + 6); // the value row shows a modulation row

    const int frames = 480;
    Outputs out(frames);
    MidiList list{{0x90, 36, 100}, {0x90, 42, 90}, {0xB0, 7, 64}, {0x90, 61, 1}};
    std::memset(&gTimeInfo, 0, sizeof(gTimeInfo));
    gTimeInfo.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    gTimeInfo.sampleRate = 48000.0;
    auto allocationsIn = [&](int blocks, int eventsEvery, double tempo) {
        const long before = gAllocations;
        for (int b = 0; b < blocks; ++b) {
            gTimeInfo.ppqPos = b * frames * tempo / 60.0 / 48000.0;
            gTimeInfo.tempo = tempo;
            if (b % eventsEvery == 0) e->dispatcher(e, effProcessEvents, 0, 0, list.events(), 0.0f);
            e->processReplacing(e, nullptr, out.channels, frames);
        }
        return gAllocations - before;
    };
    // Internal clock: 20 s, many pattern starts and queued switches; the host clock, also in
    // blocks without time information; the MIDI-note clock with MIDI Output Only.
    engine.setParameter(kSyncTag, 0.5f);
    engine.setParameter(kPlayTag, 1.0f);
    EXPECT_EQ(allocationsIn(2000, 50, 140.0), 0);
    engine.setParameter(kSyncTag, 0.0f);
    EXPECT_EQ(allocationsIn(1000, 50, 170.0), 0);
    gServeTime = false;
    EXPECT_EQ(allocationsIn(10, 50, 170.0), 0);
    engine.setParameter(kSyncTag, 1.0f);
    engine.setParameter(kMIDIOutputOnlyTag, 1.0f);
    list.midi[3].midiData[1] = 84;
    EXPECT_EQ(allocationsIn(500, 1, 0.0), 0);
    EXPECT_GT(gNoteOns, 1000);
    EXPECT_GT(gAutomations, 0); // pattern switches while resumed were reported

    // A hundred learns (the table grows on the audio thread), each followed by the learnt
    // controller moving its parameters; the saver thread writes the file within a second.
    MidiList learn{{0xB0, 21, 127}, {0xB0, 21, 127}};
    engine.handleSpecialClick(118);
    long allocations = 0;
    for (int i = 0; i < 100; ++i) {
        engine.handleSpecialClick(i);
        learn.midi[0].midiData[1] = learn.midi[1].midiData[1] = (char)i;
        const long before = gAllocations;
        e->dispatcher(e, effProcessEvents, 0, 0, learn.events(), 0.0f);
        e->dispatcher(e, effProcessEvents, 0, 0, learn.events(), 0.0f);
        e->processReplacing(e, nullptr, out.channels, 16);
        allocations += gAllocations - before;
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(engine.getMIDIMap().size(), 100u);
    EXPECT_FLOAT_EQ(engine.getParameter(99), 1.0f);
    for (int i = 0; i < 100 && !std::filesystem::exists(config.file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(config.file));
    editor->idle(); // what the editor recorded reaches its views on the user-interface thread
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}
