// The audio thread allocates nothing: every heap allocation of this program is counted, and the
// count must not move while the host calls processEvents and processReplacing, with the
// sequencer running in every clock source, pattern switches, modulation, random notes, MIDI in
// and out, and automation reported to the host.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<long> gAllocations{0};

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
    gAllocations.fetch_add(1, std::memory_order_relaxed);
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
    ASSERT_GT(gAllocations.load(), 100); // the counter sees the engine's construction
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

    const int frames = 480;
    std::vector<std::vector<float>> buffers(12, std::vector<float>(frames));
    float* outputs[12];
    for (int c = 0; c < 12; ++c)
        outputs[c] = buffers[c].data();
    VstMidiEvent midi[4];
    std::memset(midi, 0, sizeof(midi));
    const unsigned char data[4][3] = {
        {0x90, 36, 100}, {0x90, 42, 90}, {0xB0, 7, 64}, {0x90, 61, 1}};
    for (int i = 0; i < 4; ++i) {
        midi[i].type = kVstMidiType;
        midi[i].byteSize = sizeof(VstMidiEvent);
        for (int b = 0; b < 3; ++b)
            midi[i].midiData[b] = (char)data[i][b];
    }
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[4];
    } list{4, 0, {}};
    for (int i = 0; i < 4; ++i)
        list.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);

    auto runBlocks = [&](int blocks, double tempo) {
        for (int b = 0; b < blocks; ++b) {
            gTimeInfo.ppqPos = b * frames * tempo / 60.0 / 48000.0;
            gTimeInfo.tempo = tempo;
            if (b % 50 == 0) e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
            e->processReplacing(e, nullptr, outputs, frames);
        }
    };

    std::memset(&gTimeInfo, 0, sizeof(gTimeInfo));
    gTimeInfo.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    gTimeInfo.sampleRate = 48000.0;

    // Internal clock.
    engine.setParameter(Brakka::kTagSync, 0.5f);
    engine.setParameter(Brakka::kTagPlay, 1.0f);
    long before = gAllocations.load();
    runBlocks(2000, 140.0); // 20 s: many pattern starts and queued switches
    EXPECT_EQ(gAllocations.load() - before, 0);

    // Host clock, including blocks without time information.
    engine.setParameter(Brakka::kTagSync, 0.0f);
    before = gAllocations.load();
    runBlocks(1000, 170.0);
    gServeTime = false;
    runBlocks(10, 170.0);
    gServeTime = true;
    EXPECT_EQ(gAllocations.load() - before, 0);

    // MIDI-note clock and MIDI Output Only.
    engine.setParameter(Brakka::kTagSync, 1.0f);
    engine.setParameter(Brakka::kTagMIDIOutputOnly, 1.0f);
    midi[3].midiData[1] = 84;
    before = gAllocations.load();
    for (int b = 0; b < 500; ++b) {
        e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
        e->processReplacing(e, nullptr, outputs, frames);
    }
    EXPECT_EQ(gAllocations.load() - before, 0);

    EXPECT_GT(gNoteOns, 1000);
    EXPECT_GT(gAutomations, 0); // pattern switches while resumed were reported
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}
