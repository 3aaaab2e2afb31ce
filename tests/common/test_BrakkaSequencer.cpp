// The pattern sequencer: the step clock against a model over every step size, the probability
// tests against a scripted random source, the fills against their shapes, the serialized block
// against an independent writer of its layout, damaged blocks, and allocation-free audio calls.
#include "BrakkaSequencer.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <set>
#include <vector>

// Every heap allocation of this program is counted, to show that the audio thread's calls on a
// pattern never allocate.
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

// A scripted random source: hands out the queued values in turn and counts the draws.
std::vector<int> gQueue;
size_t gDraws = 0;
int scripted() {
    int r = gQueue.empty() ? 0 : gQueue[gDraws % gQueue.size()];
    ++gDraws;
    return r;
}
void script(std::vector<int> values) {
    gQueue = std::move(values);
    gDraws = 0;
    BrakkaSequencer::setRandomSource(scripted);
}

class Sequencer : public ::testing::Test {
protected:
    void TearDown() override { BrakkaSequencer::setRandomSource(nullptr); }
};

std::set<unsigned> allModTags() {
    std::set<unsigned> s;
    for (unsigned t = 0; t <= 107; ++t)
        s.insert(t);
    for (unsigned t = 130; t <= 141; ++t)
        s.insert(t);
    return s;
}

// The voice that owns a sound or pan tag, or -1.
int ownerOf(unsigned tag) {
    if (tag >= 130) return tag <= 141 ? int(tag - 130) : -1;
    const unsigned firstTag[] = {0, 14, 25, 29, 43, 57, 71, 73, 82, 87, 93, 106, 108};
    const int voice[] = {0, 2, 1, 3, 4, 5, 10, 11, 6, 7, 8, 9};
    for (int i = 0; i < 12; ++i)
        if (tag < firstTag[i + 1]) return voice[i];
    return -1;
}

// ---- the pattern as the block sees it, and an independent writer of the block ----

struct Model {
    uint8_t notes[12][32] = {};
    float vel[12][32];
    uint8_t velFlags[12] = {};
    std::set<unsigned> voiceTags[12];
    std::map<unsigned, std::array<float, 32>> rows;
    std::map<unsigned, uint8_t> flags;

    Model() {
        for (auto& r : vel)
            std::fill(r, r + 32, 0.7f);
    }
    void ensureRow(unsigned tag) {
        if (rows.count(tag)) return;
        rows[tag].fill(0.5f);
        flags[tag] = 0;
    }
};

template <class T>
void put(std::vector<char>& out, const T& x) {
    const char* p = reinterpret_cast<const char*>(&x);
    out.insert(out.end(), p, p + sizeof x);
}

std::vector<char> writeBlock(const Model& m) {
    std::vector<char> out;
    for (auto& r : m.notes)
        out.insert(out.end(), r, r + 32);
    for (auto& r : m.vel)
        for (float x : r)
            put(out, x);
    out.insert(out.end(), m.velFlags, m.velFlags + 12);
    EXPECT_EQ(out.size(), 1932u);
    for (auto& tags : m.voiceTags) {
        put(out, uint32_t(tags.size()));
        for (unsigned t : tags)
            put(out, uint32_t(t));
    }
    put(out, uint32_t(m.rows.size()));
    for (auto& [tag, row] : m.rows) {
        put(out, uint32_t(tag));
        for (float x : row)
            put(out, x);
    }
    for (auto& [tag, flag] : m.flags) {
        put(out, uint32_t(tag));
        put(out, flag);
    }
    return out;
}

std::vector<char> blockOf(const BrakkaSequencer& s) {
    std::vector<char> out(s.getSize(), char(0x5a));
    s.getAllData(out.data());
    return out;
}

uint32_t u32At(const std::vector<char>& b, size_t pos) {
    uint32_t v;
    std::memcpy(&v, b.data() + pos, 4);
    return v;
}
// Byte by byte through at(): bounds-checked, and clear of a false overflow warning on memcpy.
template <class T>
void poke(std::vector<char>& b, size_t pos, T v) {
    char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    for (size_t i = 0; i < sizeof v; ++i)
        b.at(pos + i) = bytes[i];
}

// Fills a pattern and its model alike, through the pattern's own editing operations.
void randomPattern(std::mt19937& rng, BrakkaSequencer& s, Model& m) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const std::set<unsigned> mod = allModTags();
    const std::vector<unsigned> tags(mod.begin(), mod.end());
    for (int v = 0; v < 12; ++v) {
        for (int i = 0; i < 32; ++i) {
            uint8_t b = uint8_t(rng() % 4 == 0 ? rng() % 256 : (rng() % 2) * 255);
            s.setNote(v, i, b);
            m.notes[v][i] = b;
            float x = unit(rng);
            s.setVelocityValue(v, i, x);
            m.vel[v][i] = x;
        }
        bool on = rng() % 2;
        s.setVelocityRandomOnLoop(v, on);
        m.velFlags[v] = on;
    }
    for (int k = int(rng() % 20); k > 0; --k) { // modulated tags; their rows come with them
        unsigned t = tags[rng() % tags.size()];
        ASSERT_TRUE(s.registerModTag(t));
        m.voiceTags[ownerOf(t)].insert(t);
        m.ensureRow(t);
    }
    for (int k = int(rng() % 30); k > 0; --k) { // rows of their own
        unsigned t = tags[rng() % tags.size()];
        float row[32];
        for (float& x : row)
            x = unit(rng);
        s.setModRow(t, row);
        m.ensureRow(t);
        std::copy(row, row + 32, m.rows[t].begin());
    }
    for (int k = int(rng() % 10); k > 0; --k) { // flags, which bring a neutral row along
        unsigned t = tags[rng() % tags.size()];
        bool on = rng() % 2;
        s.setModRandomOnLoop(t, on);
        m.ensureRow(t);
        m.flags[t] = on;
    }
}

// ---- the step clock ----

struct Clock {
    unsigned tick = 0;
    int step = 0, gran = 48, stepTicks, length;
    bool set(unsigned t) {
        if (t == tick) return false;
        tick = t;
        gran = 1;
        for (int d : {48, 24, 12, 8, 6, 4, 3})
            if (t % unsigned(d) == 0) {
                gran = d;
                break;
            }
        int s = int((t / unsigned(stepTicks)) % unsigned(length));
        if (s == step) return false;
        step = s;
        return true;
    }
};

const int kChoices[5][2] = {{3, 32}, {6, 32}, {4, 24}, {6, 16}, {8, 12}};

TEST_F(Sequencer, ClockOverFourHundredTicksForEveryStepSize) {
    for (auto& c : kChoices) {
        BrakkaSequencer s;
        s.setStepTicks(c[0]);
        s.setSequenceLength(c[1]);
        Clock model{0, 0, 48, c[0], c[1]};
        int fired = 0;
        for (unsigned t = 0; t <= 400; ++t) {
            bool want = model.set(t);
            ASSERT_EQ(s.setCurrent96th(t), want) << c[0] << "/" << c[1] << " tick " << t;
            ASSERT_EQ(s.getCurrentStep(), model.step);
            ASSERT_EQ(s.getTickGranularity(), model.gran);
            ASSERT_EQ(s.getCurrentTick(), t);
            fired += want;
        }
        EXPECT_EQ(fired, 400 / c[0]); // every step boundary after tick 0 fires once
    }
}

// Forwards, backwards and jumping: the clock is absolute.
TEST_F(Sequencer, ClockJumpsAdvanceRetreatAndGoToStep) {
    std::mt19937 rng(7);
    for (auto& c : kChoices) {
        BrakkaSequencer s;
        s.setStepTicks(c[0]);
        s.setSequenceLength(c[1]);
        Clock model{0, 0, 48, c[0], c[1]};
        for (int i = 0; i < 2000; ++i) {
            switch (rng() % 5) {
            case 0:
            case 1: {
                unsigned t = rng() % 3 == 0 ? model.tick : rng() % 1000;
                ASSERT_EQ(s.setCurrent96th(t), model.set(t));
                break;
            }
            case 2:
                model.set(model.tick + unsigned(c[0]));
                ASSERT_EQ(s.advance(), model.step);
                break;
            case 3: { // from tick 0 back to the last step of the pattern
                long t = long(model.tick) - c[0];
                if (t < 0) t += long(c[0]) * c[1];
                model.set(unsigned(t));
                ASSERT_EQ(s.retreat(), model.step);
                break;
            }
            default: { // kept inside the rows
                int to = int(rng() % 80) - 10;
                s.goToStep(to);
                model.step = ((to % c[1]) + c[1]) % c[1];
                break;
            }
            }
            ASSERT_EQ(s.getCurrentStep(), model.step) << i;
            ASSERT_EQ(s.getTickGranularity(), model.gran) << i;
            ASSERT_EQ(s.getCurrentTick(), model.tick) << i;
        }
    }
    BrakkaSequencer s;
    EXPECT_EQ(s.retreat(), 31);
    EXPECT_EQ(s.getCurrentTick(), 93u);
    EXPECT_TRUE(s.setCurrent96th(4294967295u)); // (2^32 - 1) / 3 = 1431655765, mod 32 = 21
    EXPECT_EQ(s.getCurrentStep(), 21);
}

TEST_F(Sequencer, FreshPatternLengthAndStepSize) {
    BrakkaSequencer s;
    EXPECT_EQ(s.getCurrentStep(), 0);
    EXPECT_EQ(s.getTickGranularity(), 48);
    // A shorter length sends a step beyond it to the start; a step inside it stays.
    s.goToStep(12);
    s.setSequenceLength(12);
    EXPECT_EQ(s.getCurrentStep(), 0);
    s.goToStep(11);
    s.setSequenceLength(12);
    EXPECT_EQ(s.getCurrentStep(), 11);
    s.setSequenceLength(16);
    EXPECT_EQ(s.getCurrentStep(), 11);
    s.setSequenceLength(0); // clipped, never a division by zero
    EXPECT_EQ(s.getSequenceLength(), 1);
    s.setSequenceLength(100);
    EXPECT_EQ(s.getSequenceLength(), 32);
    s.setStepTicks(0);
    s.setStepTicks(-4);
    EXPECT_EQ(s.getStepTicks(), 3);
}

// ---- probability tests and velocities ----

TEST_F(Sequencer, RandomNotesOnlyOnTheirGridAndDrawOnlyThere) {
    for (int size : {-6, 0, 3, 4, 6, 8, 12, 24, 48}) {
        BrakkaSequencer s;
        s.setRandomSize(4, size);
        s.setRandomBeats(4, 1000);
        for (unsigned t = 0; t < 200; ++t) {
            s.setCurrent96th(t);
            const bool eligible = size > 0 && t % unsigned(size) == 0;
            script({999});
            EXPECT_EQ(s.getRandomNote(4), eligible) << size << " " << t;
            EXPECT_EQ(gDraws, eligible ? 1u : 0u);
            script({1000});
            EXPECT_FALSE(s.getRandomNote(4)); // the probability must exceed the draw
        }
    }
    BrakkaSequencer s; // 0 % never plays, 100 % always but against the very top draw
    script({0});
    EXPECT_FALSE(s.getRandomNote(0));
    s.setRandomBeats(0, INT_MAX);
    EXPECT_TRUE(s.getRandomNote(0));
    EXPECT_FALSE(s.getRandomNote(12));
    EXPECT_FALSE(s.getRandomNote(-1));
}

TEST_F(Sequencer, WeightedNotesAndVelocities) {
    BrakkaSequencer s;
    s.setNote(1, 2, 255);
    s.setNote(1, 3, 1); // random fills write 1: also a note
    s.setSelectedBeats(1, 500);
    struct Case {
        int voice, step, draw;
        bool want;
        size_t draws;
    };
    for (Case c : {Case{1, 0, 0, false, 0}, Case{1, 2, 499, true, 1}, Case{1, 2, 500, false, 1},
                   Case{1, 3, 0, true, 1}, Case{-1, 2, 0, false, 0}, Case{12, 2, 0, false, 0},
                   Case{1, 32, 0, false, 0}, Case{1, -1, 0, false, 0}}) {
        script({c.draw});
        EXPECT_EQ(s.getWeightedNote(c.voice, c.step), c.want) << c.step << " " << c.draw;
        EXPECT_EQ(gDraws, c.draws);
    }
    s.setSelectedBeats(1, 0); // 0 %
    script({0});
    EXPECT_FALSE(s.getWeightedNote(1, 2));
    BrakkaSequencer full; // 100 %
    full.setNote(0, 0, 255);
    script({INT_MAX - 1});
    EXPECT_TRUE(full.getWeightedNote(0, 0));
    script({INT_MAX});
    EXPECT_FALSE(full.getWeightedNote(0, 0));

    s.setVelocityValue(1, 2, 0.9f);
    s.setVelocityValue(1, 6, 0.3f);
    s.setRandomVelocity(1, 0.4f);
    s.goToStep(6);
    EXPECT_EQ(s.getVelocity(1, 2), 0.9f); // a set step plays its own velocity
    EXPECT_EQ(s.getVelocity(1, 5), 0.4f); // a random note the random velocity
    s.setRandomVelocity(1, 0.0f);
    EXPECT_EQ(s.getVelocity(1, 5), 0.3f); // or the row at the current step
    EXPECT_EQ(s.getVelocity(1, 40), 0.3f);
    EXPECT_EQ(s.getVelocity(12, 2), 0.0f);
}

// ---- rows ----

TEST_F(Sequencer, FillsOverTheSequenceLengthLeaveTheTail) {
    const std::vector<int> draws = {0,         1,          2147483647, 1073741824,
                                    123456789, 2147483584, 2147483583, 77};
    for (int len : {32, 24, 16, 12, 5}) {
        for (int shape = 0; shape <= 4; ++shape) {
            BrakkaSequencer s;
            s.setSequenceLength(len);
            float before[32];
            for (int i = 0; i < 32; ++i) {
                before[i] = float(i) / 40;
                s.setVelocityValue(2, i, before[i]);
            }
            script(draws);
            s.fillVelocityValues(2, shape);
            EXPECT_EQ(gDraws, shape == 4 ? size_t(len) : 0u);
            script(draws);
            s.fillModValues(60, shape); // a row that does not exist yet starts neutral
            for (int i = 0; i < 32; ++i) {
                float vel = before[i], mod = 0.5f;
                if (i < len) {
                    switch (shape) {
                    case 0:
                        vel = 0, mod = 0.5f;
                        break;
                    case 1:
                        vel = 1 - before[i], mod = 0.5f;
                        break;
                    case 2:
                        vel = mod = 1 - float(i) / float(len);
                        break;
                    case 3:
                        vel = mod = float((std::sin(i * (2 * M_PI) / len) + 1) * 0.5);
                        break;
                    default:
                        vel = mod = float(draws[size_t(i) % draws.size()]) * 4.656613e-10f;
                    }
                }
                EXPECT_EQ(s.getVelocityValue(2, i), vel) << len << " " << shape << " " << i;
                EXPECT_EQ(s.getModValue(60, i), mod) << len << " " << shape << " " << i;
            }
            EXPECT_TRUE(s.hasModRow(60));
            EXPECT_FALSE(s.getModRandomOnLoop(60));
        }
    }
    BrakkaSequencer s; // bad shapes and tags change nothing
    for (int shape : {5, -1})
        s.fillVelocityValues(0, shape);
    s.fillVelocityValues(12, 0);
    s.fillModValues(3, 7);
    for (unsigned tag : {108u, 129u, 142u})
        s.fillModValues(tag, 2);
    EXPECT_FLOAT_EQ(s.getVelocityValue(0, 0), 0.7f);
    EXPECT_EQ(s.getModRowCount(), 0);
}

TEST_F(Sequencer, RowsClearRandomizeAndStayWithinZeroToOne) {
    BrakkaSequencer s;
    script({3, 4, 5, 6, 7});
    s.setSequenceLength(12); // every entry changes, whatever the length
    s.randomizeNotes(9);
    EXPECT_EQ(gDraws, 32u);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(s.getNote(9, i), (i % 5 + 3) & 1) << i;
    s.setNote(0, 31, 255);
    s.clearNotes(9);
    s.clearNotes(99);
    s.randomizeNotes(-1);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(s.getNote(9, i), 0);
    EXPECT_EQ(s.getNote(0, 31), 255);

    s.setVelocityValue(0, 0, 1.5f);
    s.setVelocityValue(0, 1, -0.5f);
    s.setVelocityValue(0, 2, NAN);
    s.setModValue(10, 0, 7.0f);
    s.setModValue(10, 1, NAN);
    s.setRandomVelocity(0, INFINITY);
    EXPECT_EQ(s.getVelocityValue(0, 0), 1.0f);
    EXPECT_EQ(s.getVelocityValue(0, 1), 0.0f);
    EXPECT_EQ(s.getVelocityValue(0, 2), 0.0f);
    EXPECT_EQ(s.getModValue(10, 0), 1.0f);
    EXPECT_EQ(s.getModValue(10, 1), 0.5f);
    EXPECT_EQ(s.getRandomVelocity(0), 1.0f);
}

TEST_F(Sequencer, ModulatedTagsAndRows) {
    BrakkaSequencer s;
    for (unsigned tag : {136u, 84u, 82u, 82u, 0u}) // registered out of order, one twice
        EXPECT_TRUE(s.registerModTag(tag));
    EXPECT_FALSE(s.registerModTag(110));
    unsigned tags[8] = {};
    ASSERT_EQ(s.getVoiceModTags(6, tags, 8), 3);
    EXPECT_EQ(std::vector<unsigned>(tags, tags + 3), (std::vector<unsigned>{82, 84, 136}));
    EXPECT_EQ(s.getVoiceModTags(6, tags, 2), 2);
    EXPECT_TRUE(s.isModTagRegistered(0, 0));
    EXPECT_TRUE(s.hasModRow(136)); // a registered tag always has a row to apply
    EXPECT_EQ(s.getModRowCount(), 4);
    s.unregisterModTag(6, 84);
    s.unregisterModTag(6, 84); // absent, in another voice, or a bad voice: nothing
    s.unregisterModTag(0, 82);
    s.unregisterModTag(13, 82);
    EXPECT_EQ(s.getVoiceModTagCount(6), 2);
    EXPECT_TRUE(s.hasModRow(84)); // the row stays
    s.unregisterAllModTags();
    for (int v = 0; v < 12; ++v)
        EXPECT_EQ(s.getVoiceModTagCount(v), 0);

    s.setModRandomOnLoop(20, true); // a flag brings its row along
    EXPECT_TRUE(s.hasModRow(20));
    s.setModRandomOnLoop(129, true);
    s.setModValue(200, 0, 0.1f);
    EXPECT_FALSE(s.getModRandomOnLoop(129));
    float back[32];
    s.getModRow(50, back); // absent: neutral, and not created
    EXPECT_EQ(back[7], 0.5f);
    EXPECT_FALSE(s.hasModRow(50));
    s.initModulators({20, 107, 130, 120, 999}); // neutral rows, cleared flags; bad tags ignored
    EXPECT_FALSE(s.getModRandomOnLoop(20));
    EXPECT_EQ(s.getModRowCount(), 7);
}

TEST_F(Sequencer, AssignmentCopiesEverything) {
    std::mt19937 rng(99);
    BrakkaSequencer s;
    Model m;
    randomPattern(rng, s, m);
    s.setStepTicks(6);
    s.setSequenceLength(16);
    s.setCurrent96th(45);
    s.setSelectedBeats(3, 12345);
    s.setRandomBeats(3, 777);
    s.setRandomSize(3, 24);
    s.setRandomVelocity(3, 0.5f);
    BrakkaSequencer copy;
    copy.registerModTag(1);
    const long before = gAllocations.load();
    copy = s;
    EXPECT_EQ(gAllocations.load() - before, 0);
    EXPECT_EQ(blockOf(copy), blockOf(s));
    EXPECT_EQ(copy.getCurrentStep(), 7);
    EXPECT_EQ(copy.getCurrentTick(), 45u);
    EXPECT_EQ(copy.getTickGranularity(), 3);
    EXPECT_EQ(copy.getStepTicks(), 6);
    EXPECT_EQ(copy.getSequenceLength(), 16);
    EXPECT_EQ(copy.getSelectedBeats(3), 12345);
    EXPECT_EQ(copy.getRandomBeats(3), 777);
    EXPECT_EQ(copy.getRandomSize(3), 24);
    EXPECT_EQ(copy.getRandomVelocity(3), 0.5f);
    copy.registerModTag(100);
    copy.setNote(0, 0, 99);
    EXPECT_NE(blockOf(copy), blockOf(s)); // a copy, not a share
}

// ---- the serialized block ----

TEST_F(Sequencer, BlockIsWrittenByteForByteAsLaidOutAndLoadsBack) {
    std::mt19937 rng(20261206);
    const std::set<unsigned> mod = allModTags();
    for (int round = 0; round < 60; ++round) {
        BrakkaSequencer s;
        Model m;
        randomPattern(rng, s, m);
        const std::vector<char> want = writeBlock(m);
        size_t tagCount = 0;
        for (auto& t : m.voiceTags)
            tagCount += t.size();
        ASSERT_EQ(s.getSize(), 1932 + 12 * 4 + 4 * tagCount + 4 + 137 * m.rows.size());
        ASSERT_EQ(blockOf(s), want) << "round " << round;

        // Loading gives every modulatable tag a row (neutral, flag cleared, where the block had
        // none); everything the block carried comes back exactly; clock, length and
        // probabilities are not part of the block.
        BrakkaSequencer loaded;
        float junk[32];
        std::fill(junk, junk + 32, 0.9f);
        loaded.setModRow(5, junk);
        loaded.setModRandomOnLoop(6, true);
        loaded.registerModTag(7);
        loaded.setStepTicks(6);
        loaded.setCurrent96th(30);
        loaded.setSelectedBeats(4, 99);
        size_t used = 0;
        ASSERT_TRUE(loaded.setAllData(want.data(), want.size(), mod, false, &used));
        EXPECT_EQ(used, want.size());
        Model full = m;
        for (unsigned t : mod)
            full.ensureRow(t);
        EXPECT_EQ(blockOf(loaded), writeBlock(full)) << "round " << round;
        EXPECT_EQ(loaded.getCurrentStep(), 5);
        EXPECT_EQ(loaded.getSelectedBeats(4), 99);
    }
    // The size rule: fresh, with every row, and with tags on top.
    BrakkaSequencer s;
    EXPECT_EQ(s.getSize(), 1984u);
    EXPECT_EQ(s.getSize(true), 1984u);
    s.initModulators(mod);
    EXPECT_EQ(s.getSize(), 18424u);
    for (unsigned tag : {3u, 131u, 132u})
        s.registerModTag(tag);
    EXPECT_EQ(s.getSize(), 18424u + 12u);
}

TEST_F(Sequencer, LoadingReadsRowsThenFlagsOverNeutralRows) {
    Model m;
    m.notes[3][4] = 1;
    m.voiceTags[0] = {50, 130}; // a voice's set is taken as written
    m.rows[40].fill(0.125f);
    m.rows[141].fill(1.0f);
    m.flags[40] = 7; // any non-zero byte is set
    m.flags[141] = 0;
    std::vector<char> block = writeBlock(m);
    // The flag section lists as many entries as there are rows, whatever their tags.
    const size_t flagsAt = block.size() - 10;
    poke(block, flagsAt + 5, uint32_t(12));
    block[flagsAt + 9] = 1;
    // Out-of-range values are brought into 0..1; loop bytes are carried as they are.
    poke(block, 384, 2.0f);
    poke(block, 388, NAN);
    poke(block, flagsAt - 128, NAN); // row 141, step 0
    block[1920] = 9;

    BrakkaSequencer s;
    ASSERT_TRUE(s.setAllData(block.data(), block.size(), allModTags()));
    EXPECT_EQ(s.getNote(3, 4), 1);
    EXPECT_EQ(s.getVoiceModTagCount(0), 2);
    EXPECT_TRUE(s.isModTagRegistered(0, 50));
    EXPECT_EQ(s.getModValue(40, 9), 0.125f);
    EXPECT_TRUE(s.getModRandomOnLoop(40));
    EXPECT_EQ(s.getModValue(141, 1), 1.0f);
    EXPECT_FALSE(s.getModRandomOnLoop(141));
    EXPECT_TRUE(s.getModRandomOnLoop(12)); // flag of a tag whose row stayed neutral
    EXPECT_EQ(s.getModValue(12, 0), 0.5f);
    EXPECT_EQ(s.getModRowCount(), 120);
    EXPECT_EQ(s.getVelocityValue(0, 0), 1.0f);
    EXPECT_EQ(s.getVelocityValue(0, 1), 0.0f);
    EXPECT_EQ(s.getModValue(141, 0), 0.5f);
    EXPECT_EQ(blockOf(s)[1920], 9);

    // Only the given tags get neutral rows.
    const std::vector<char> bare = writeBlock(Model());
    ASSERT_TRUE(s.setAllData(bare.data(), bare.size(), {0, 5}));
    EXPECT_EQ(s.getModRowCount(), 2);
    EXPECT_TRUE(s.hasModRow(5));
    EXPECT_FALSE(s.hasModRow(40));
    EXPECT_EQ(s.getVoiceModTagCount(0), 0);

    // Blocks back to back: each load consumes exactly its own.
    std::vector<char> chunk = writeBlock(m);
    chunk.insert(chunk.end(), bare.begin(), bare.end());
    EXPECT_EQ(BrakkaSequencer::validateAllData(chunk.data(), chunk.size(), allModTags()),
              chunk.size() - bare.size());
    size_t used = 0;
    ASSERT_TRUE(s.setAllData(chunk.data(), chunk.size(), allModTags(), false, &used));
    ASSERT_TRUE(s.setAllData(chunk.data() + used, chunk.size() - used, allModTags(), false, &used));
    EXPECT_EQ(used, bare.size());
    EXPECT_EQ(s.getNote(3, 4), 0);
}

// A damaged block is refused whole: the pattern keeps every byte it had.
class DamagedBlock : public Sequencer {
protected:
    void SetUp() override {
        std::mt19937 rng(5);
        randomPattern(rng, source, model);
        model.voiceTags[6].insert(82);
        model.ensureRow(82);
        good = writeBlock(model);
        target.setNote(0, 0, 255);
        target.registerModTag(40);
        target.setModValue(7, 7, 0.875f);
        before = blockOf(target);
        rowCountAt = 1932;
        for (int v = 0; v < 12; ++v)
            rowCountAt += 4 + 4 * u32At(good, rowCountAt);
    }
    void expectRefused(std::vector<char> b, const std::set<unsigned>& tags, const char* what) {
        EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), tags), 0u) << what;
        size_t used = 12345;
        EXPECT_FALSE(target.setAllData(b.data(), b.size(), tags, false, &used)) << what;
        EXPECT_EQ(used, 12345u) << what;
        EXPECT_EQ(blockOf(target), before) << what;
    }
    BrakkaSequencer source, target;
    Model model;
    std::vector<char> good, before;
    size_t rowCountAt = 0;
};

TEST_F(DamagedBlock, EveryTruncationIsRefused) {
    for (size_t len = 0; len < good.size(); ++len) {
        ASSERT_EQ(BrakkaSequencer::validateAllData(good.data(), len, allModTags()), 0u) << len;
        ASSERT_FALSE(target.setAllData(good.data(), len, allModTags())) << len;
    }
    EXPECT_EQ(blockOf(target), before);
    EXPECT_FALSE(target.setAllData(nullptr, 100000, allModTags()));
    EXPECT_EQ(BrakkaSequencer::validateAllData(nullptr, 100000, allModTags()), 0u);
}

TEST_F(DamagedBlock, CountsTooLargeAreRefused) {
    const size_t voice0 = 1932, voice11 = rowCountAt - 4 - 4 * model.voiceTags[11].size();
    for (auto [pos, count] : {std::pair<size_t, uint32_t>{voice0, 121},
                              {voice0, 0xFFFFFFFFu},
                              {voice11, 0x40000001u}, // 4 * n wraps a 32-bit product
                              {rowCountAt, 121},
                              {rowCountAt, 0xFFFFFFFFu}}) {
        std::vector<char> b = good;
        poke(b, pos, count);
        b.resize(b.size() + 200000, 0); // plenty of data behind, so only the count is at fault
        expectRefused(b, allModTags(), "count");
    }
    std::vector<char> b = good; // one row more than the block holds runs past its end
    poke(b, rowCountAt, u32At(good, rowCountAt) + 1);
    expectRefused(b, allModTags(), "row count + 1");

    // 121 tags, all of them sound ones: still more than a voice can hold; 120 are within bounds.
    b = writeBlock(Model());
    poke(b, 1932, uint32_t(121));
    b.insert(b.begin() + 1936, 121 * 4, 0);
    expectRefused(b, allModTags(), "121 valid tags");
    poke(b, 1932, uint32_t(120));
    b.erase(b.begin() + 1936, b.begin() + 1940);
    EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), allModTags()), b.size());
}

TEST_F(DamagedBlock, UnknownTagsAreRefused) {
    size_t voice6Tag = 1932;
    for (int v = 0; v < 6; ++v)
        voice6Tag += 4 + 4 * u32At(good, voice6Tag);
    voice6Tag += 4;
    const size_t firstRowTag = rowCountAt + 4, lastFlagTag = good.size() - 5;
    std::set<unsigned> without82 = allModTags();
    without82.erase(82);
    for (size_t pos : {voice6Tag, firstRowTag, lastFlagTag}) {
        for (uint32_t tag : {108u, 129u, 142u, 262u, 5000u, 0xFFFFFFFFu}) {
            std::vector<char> b = good;
            poke(b, pos, tag);
            expectRefused(b, allModTags(), "bad tag");
        }
        std::vector<char> b = good; // a modulatable tag the caller does not offer is unknown too
        poke(b, pos, uint32_t(82));
        expectRefused(b, without82, "tag 82 not offered");
    }
    expectRefused(good, {}, "nothing modulatable");
}

// ---- the audio thread ----

TEST_F(Sequencer, AudioThreadCallsDoNotAllocate) {
    long before = gAllocations.load();
    std::vector<int>* counted = new std::vector<int>(1000);
    EXPECT_GE(gAllocations.load() - before, 2); // the counter sees allocations
    delete counted;

    // A pattern as a chunk load leaves it: every modulatable row present, some tags modulated.
    BrakkaSequencer source;
    for (int v = 0; v < 12; ++v)
        source.randomizeNotes(v);
    source.registerModTag(3);
    source.registerModTag(135);
    const std::vector<char> block = blockOf(source);
    BrakkaSequencer seq;
    ASSERT_TRUE(seq.setAllData(block.data(), block.size(), allModTags()));
    BrakkaSequencer fresh; // rows are created on first use in the fills, also without a load
    for (int v = 0; v < 12; ++v) {
        seq.setRandomBeats(v, 1 << 30);
        seq.setRandomSize(v, 3);
    }
    before = gAllocations.load();
    int fired = 0;
    float sum = 0.0f;
    for (unsigned tick = 0; tick < 96 * 8; ++tick) {
        const bool newStep = seq.setCurrent96th(tick);
        const int step = seq.getCurrentStep();
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
    EXPECT_EQ(gAllocations.load() - before, 0);
    EXPECT_GT(fired, 0);
    EXPECT_GT(sum, 0.0f);
    EXPECT_EQ(fresh.getModRowCount(), 5);
}

} // namespace
