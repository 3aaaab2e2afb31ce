// What the audio thread calls on a pattern must not touch the heap. This program replaces the
// global allocation functions to count every allocation made while those calls run.
#include "BrakkaSequencer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++gAllocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept {
    return operator new(size, t);
}
// Kept out of line: inlined into a caller, the pairing of a replaced operator new with free()
// draws a false mismatched-new-delete warning.
[[gnu::noinline]] void releaseBlock(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p) noexcept {
    releaseBlock(p);
}
void operator delete[](void* p) noexcept {
    releaseBlock(p);
}
void operator delete(void* p, std::size_t) noexcept {
    releaseBlock(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    releaseBlock(p);
}

namespace {

std::set<unsigned> modulatableTags() {
    std::set<unsigned> tags;
    for (unsigned t = 0; t <= 107; ++t)
        tags.insert(t);
    for (unsigned t = 130; t <= 141; ++t)
        tags.insert(t);
    return tags;
}

TEST(SequencerRealtime, CounterSeesAllocations) {
    long before = gAllocations.load();
    std::vector<int>* v = new std::vector<int>(1000);
    EXPECT_GE(gAllocations.load() - before, 2);
    delete v;
}

TEST(SequencerRealtime, AudioThreadCallsDoNotAllocate) {
    // A pattern as a chunk load leaves it: every modulatable row present, some tags modulated.
    BrakkaSequencer source;
    for (int v = 0; v < 12; ++v)
        source.randomizeNotes(v);
    source.registerModTag(3);
    source.registerModTag(135);
    std::vector<char> block(source.getSize());
    source.getAllData(block.data());
    BrakkaSequencer seq;
    ASSERT_TRUE(seq.setAllData(block.data(), block.size(), modulatableTags()));
    BrakkaSequencer fresh; // rows are created on first use in the fills, also without a load
    for (int v = 0; v < 12; ++v) {
        seq.setRandomBeats(v, 1 << 30);
        seq.setRandomSize(v, 3);
    }

    long before = gAllocations.load();
    int fired = 0;
    float sum = 0.0f;
    for (unsigned tick = 0; tick < 96 * 8; ++tick) {
        bool newStep = seq.setCurrent96th(tick);
        int step = seq.getCurrentStep();
        for (int v = 0; v < 12; ++v) {
            if ((newStep && seq.getWeightedNote(v, step)) || seq.getRandomNote(v)) {
                ++fired;
                sum += seq.getVelocity(v, step);
                seq.forEachVoiceModTag(v, [&](unsigned tag) { sum += seq.getModValue(tag, step); });
            }
        }
        if (newStep && step == 0) {
            for (int v = 0; v < 12; ++v) {
                seq.randomizeNotes(v);
                seq.fillVelocityValues(v, 4);
            }
            for (int shape = 0; shape <= 4; ++shape) {
                seq.fillModValues(135, shape);
                fresh.fillModValues(40 + shape, shape);
                fresh.fillVelocityValues(shape, shape);
            }
        }
    }
    seq.advance();
    seq.retreat();
    long during = gAllocations.load() - before;

    EXPECT_EQ(during, 0);
    EXPECT_GT(fired, 0);
    EXPECT_GT(sum, 0.0f);
    EXPECT_EQ(fresh.getModRowCount(), 5);
}

TEST(SequencerRealtime, AssignmentDoesNotAllocate) {
    BrakkaSequencer a;
    a.initModulators(modulatableTags());
    a.registerModTag(100);
    BrakkaSequencer b;
    long before = gAllocations.load();
    b = a;
    EXPECT_EQ(gAllocations.load() - before, 0);
    EXPECT_TRUE(b.isModTagRegistered(8, 100));
}

} // namespace
