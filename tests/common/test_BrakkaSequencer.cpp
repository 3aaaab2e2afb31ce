// The pattern sequencer: the step clock over every step size and in jumps, the probability tests
// against a scripted random source, the fills at pinned values, the serialized block at pinned
// offsets and in round trips, and damaged blocks. (That the audio thread's calls allocate nothing
// is shown on the whole engine, in test_realtime.cpp.)
#include "BrakkaSequencer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <tuple>
#include <vector>

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

const size_t kFixed = BrakkaSequencer::kFixedBlockBytes; // 1932: where the tag counts begin

std::set<unsigned> allModTags() {
    std::set<unsigned> s;
    for (int t = 0; t < BrakkaSequencer::kModSlotCount; ++t)
        s.insert(BrakkaSequencer::tagOfModSlot(t));
    return s;
}

std::vector<char> blockOf(const BrakkaSequencer& s) {
    std::vector<char> out(s.getSize(), char(0x5a));
    s.getAllData(out.data());
    return out;
}
template <class T = uint32_t>
T at(const std::vector<char>& b, size_t pos) {
    T v;
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

// Fills a pattern through its own editing operations: notes, velocities, loop flags, modulated
// tags, rows and row flags.
void randomPattern(std::mt19937& rng, BrakkaSequencer& s) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const std::set<unsigned> mod = allModTags();
    const std::vector<unsigned> tags(mod.begin(), mod.end());
    for (int v = 0; v < kNumVoices; ++v) {
        for (int i = 0; i < kNumSteps; ++i) {
            s.setNote(v, i, uint8_t(rng() % 4 == 0 ? rng() % 256 : (rng() % 2) * 255));
            s.setVelocityValue(v, i, unit(rng));
        }
        s.setVelocityRandomOnLoop(v, rng() % 2);
    }
    for (int k = int(rng() % 20); k > 0; --k)
        ASSERT_TRUE(s.registerModTag(tags[rng() % tags.size()]));
    for (int k = int(rng() % 30); k > 0; --k) {
        float row[kNumSteps];
        for (float& x : row)
            x = unit(rng);
        s.setModRow(tags[rng() % tags.size()], row);
    }
    for (int k = int(rng() % 10); k > 0; --k)
        s.setModRandomOnLoop(tags[rng() % tags.size()], rng() % 2);
}

// ---- the step clock ----

// For every step-size choice each tick gives the step under it and reports a new step only at a
// boundary (the same tick again changes nothing); jumps keep the clock absolute.
TEST_F(Sequencer, ClockGivesTheStepUnderEveryTickAndJumps) {
    const int stepTicks[5] = {3, 6, 4, 6, 8};
    for (int c = 0; c < 5; ++c) {
        const int ticks = stepTicks[c], len = kSequenceLengths[c];
        BrakkaSequencer s;
        s.setStepTicks(ticks);
        s.setSequenceLength(len);
        for (unsigned t = 0; t <= 400; ++t) {
            ASSERT_EQ(s.setCurrent96th(t), t > 0 && t % unsigned(ticks) == 0) << ticks << " " << t;
            ASSERT_EQ(s.getCurrentStep(), int((t / unsigned(ticks)) % unsigned(len))) << t;
            ASSERT_FALSE(s.setCurrent96th(t));
        }
    }
    // The largest division of the bar the tick falls on.
    const std::pair<unsigned, int> granularity[] = {{0, 48}, {96, 48}, {24, 24}, {36, 12}, {16, 8},
                                                    {6, 6},  {4, 4},   {9, 3},   {25, 1}};
    BrakkaSequencer s;
    for (auto [tick, want] : granularity) {
        s.setCurrent96th(tick);
        EXPECT_EQ(s.getTickGranularity(), want) << tick;
    }
    // Forwards and back by a step, from tick 0 back to the last step, and to a step kept inside
    // the rows.
    BrakkaSequencer fresh;
    EXPECT_EQ(fresh.retreat(), 31);
    EXPECT_EQ(fresh.getCurrentTick(), 93u);
    fresh.setStepTicks(6);
    fresh.setSequenceLength(16);
    EXPECT_EQ(fresh.advance(), 0);
    EXPECT_EQ(fresh.getCurrentTick(), 99u);
    fresh.goToStep(5); // the same tick again leaves even a moved step alone
    EXPECT_FALSE(fresh.setCurrent96th(99));
    EXPECT_EQ(fresh.getCurrentStep(), 5);
    fresh.goToStep(40);
    EXPECT_EQ(fresh.getCurrentStep(), 8);
    fresh.goToStep(-1);
    EXPECT_EQ(fresh.getCurrentStep(), 15);
    // A shorter length sends a step beyond it to the start; a step inside it stays.
    fresh.setSequenceLength(15);
    EXPECT_EQ(fresh.getCurrentStep(), 0);
    fresh.goToStep(11);
    fresh.setSequenceLength(12);
    EXPECT_EQ(fresh.getCurrentStep(), 11);
    fresh.setSequenceLength(0); // clipped, never a division by zero
    EXPECT_EQ(fresh.getSequenceLength(), 1);
    fresh.setSequenceLength(100);
    EXPECT_EQ(fresh.getSequenceLength(), kNumSteps);
    fresh.setStepTicks(0);
    EXPECT_EQ(fresh.getStepTicks(), 6);
}

// ---- probability tests and velocities ----

// Random notes only on their grid, drawing only there; weighted notes on set steps; velocities.
TEST_F(Sequencer, ProbabilityTestsAndVelocities) {
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
    BrakkaSequencer s; // 0 % never plays; bad voices never
    script({0});
    EXPECT_FALSE(s.getRandomNote(0));
    EXPECT_FALSE(s.getRandomNote(kNumVoices));
    EXPECT_FALSE(s.getRandomNote(-1));

    s.setNote(1, 2, 255);
    s.setNote(1, 3, 1); // random fills write 1: also a note
    s.setSelectedBeats(1, 500);
    // voice, step, draw, note wanted, draws taken
    const std::tuple<int, int, int, bool, size_t> cases[] = {
        {1, 0, 0, false, 0},  {1, 2, 499, true, 1}, {1, 2, 500, false, 1}, {1, 3, 0, true, 1},
        {-1, 2, 0, false, 0}, {12, 2, 0, false, 0}, {1, 32, 0, false, 0},  {1, -1, 0, false, 0}};
    for (auto [voice, step, draw, want, draws] : cases) {
        script({draw});
        EXPECT_EQ(s.getWeightedNote(voice, step), want) << step << " " << draw;
        EXPECT_EQ(gDraws, draws);
    }
    s.setVelocityValue(1, 2, 0.9f);
    s.setVelocityValue(1, 6, 0.3f);
    s.setRandomVelocity(1, 0.4f);
    s.goToStep(6);
    EXPECT_EQ(s.getVelocity(1, 2), 0.9f); // a set step plays its own velocity
    EXPECT_EQ(s.getVelocity(1, 5), 0.4f); // a random note the random velocity
    s.setRandomVelocity(1, 0.0f);
    EXPECT_EQ(s.getVelocity(1, 5), 0.3f); // or the row at the current step
    EXPECT_EQ(s.getVelocity(12, 2), 0.0f);
}

// ---- rows ----

// Fills change the rows up to the sequence length, random notes all of them; values stay in 0..1.
TEST_F(Sequencer, FillsRandomNotesAndRowValues) {
    // length, shape, draws: pinned entries (step, velocity row, modulation row); the entries
    // from the length on keep their values (velocity i/40, modulation neutral).
    struct Fill {
        int length, shape;
        std::vector<int> draws;
        std::vector<std::tuple<int, float, float>> pins;
    };
    const Fill fills[] = {
        {16, 0, {}, {{0, 0, 0.5f}, {15, 0, 0.5f}}},
        {24, 1, {}, {{0, 1, 0.5f}, {10, 0.75f, 0.5f}, {23, 1 - 23 / 40.f, 0.5f}}},
        {16, 2, {}, {{0, 1, 1}, {1, 0.9375f, 0.9375f}, {15, 0.0625f, 0.0625f}}},
        {12, 3, {}, {{0, 0.5f, 0.5f}, {3, 1, 1}, {6, 0.5f, 0.5f}, {9, 0, 0}}},
        {12, 4, {0, 1073741824, 536870912}, {{0, 0, 0}, {1, 0.5f, 0.5f}, {11, 0.25f, 0.25f}}},
    };
    for (const Fill& f : fills) {
        BrakkaSequencer s;
        s.setSequenceLength(f.length);
        for (int i = 0; i < kNumSteps; ++i)
            s.setVelocityValue(2, i, float(i) / 40);
        script(f.draws);
        s.fillVelocityValues(2, f.shape);
        EXPECT_EQ(gDraws, f.shape == 4 ? size_t(f.length) : 0u);
        script(f.draws);
        s.fillModValues(60, f.shape); // a row that does not exist yet starts neutral
        for (auto [step, vel, mod] : f.pins) {
            EXPECT_FLOAT_EQ(s.getVelocityValue(2, step), vel) << f.shape << " " << step;
            EXPECT_FLOAT_EQ(s.getModValue(60, step), mod) << f.shape << " " << step;
        }
        for (int i = f.length; i < kNumSteps; ++i) {
            EXPECT_EQ(s.getVelocityValue(2, i), float(i) / 40) << f.shape << " " << i;
            EXPECT_EQ(s.getModValue(60, i), 0.5f) << f.shape << " " << i;
        }
    }
    BrakkaSequencer s; // bad shapes and tags change nothing
    s.fillVelocityValues(0, 5);
    s.fillVelocityValues(0, -1);
    for (unsigned tag : {108u, 129u, 142u})
        s.fillModValues(tag, 2);
    EXPECT_FLOAT_EQ(s.getVelocityValue(0, 0), 0.7f);
    EXPECT_EQ(s.getModRowCount(), 0);

    script({3, 4, 5, 6, 7}); // random notes are 0 or 1
    s.setSequenceLength(12); // every entry changes, whatever the length
    s.randomizeNotes(9);
    EXPECT_EQ(gDraws, 32u);
    for (int i = 0; i < kNumSteps; ++i)
        EXPECT_EQ(s.getNote(9, i), (i % 5 + 3) & 1) << i;
    s.clearNotes(9);
    EXPECT_EQ(s.getNote(9, 3), 0);

    s.setVelocityValue(0, 0, 1.5f);
    s.setVelocityValue(0, 1, NAN);
    s.setModValue(10, 0, 7.0f);
    s.setModValue(10, 1, NAN);
    s.setRandomVelocity(0, INFINITY);
    EXPECT_EQ(s.getVelocityValue(0, 0), 1.0f);
    EXPECT_EQ(s.getVelocityValue(0, 1), 0.0f);
    EXPECT_EQ(s.getModValue(10, 0), 1.0f);
    EXPECT_EQ(s.getModValue(10, 1), 0.5f);
    EXPECT_EQ(s.getRandomVelocity(0), 1.0f);
}

TEST_F(Sequencer, ModulatedTagsAndRows) {
    BrakkaSequencer s;
    for (unsigned tag : {136u, 84u, 82u, 82u, 0u}) // registered out of order, one twice
        EXPECT_TRUE(s.registerModTag(tag));
    EXPECT_FALSE(s.registerModTag(kStepSizeTag));
    unsigned tags[8] = {};
    ASSERT_EQ(s.getVoiceModTags(6, tags, 8), 3);
    EXPECT_EQ(std::vector<unsigned>(tags, tags + 3), (std::vector<unsigned>{82, 84, 136}));
    EXPECT_EQ(s.getVoiceModTags(6, tags, 2), 2);
    EXPECT_EQ(s.getModRowCount(), 4); // a registered tag always has a row to apply
    s.unregisterModTag(6, 84);
    s.unregisterModTag(0, 82); // in another voice, or a bad voice: nothing
    s.unregisterModTag(13, 82);
    s.unregisterModTag(0, 0);
    EXPECT_EQ(s.getVoiceModTagCount(6), 2);
    EXPECT_EQ(s.getVoiceModTagCount(0), 0);
    EXPECT_TRUE(s.hasModRow(84)); // the row stays
    s.unregisterAllModTags();
    EXPECT_EQ(s.getVoiceModTagCount(6), 0);
    s.setModRandomOnLoop(20, true); // a flag brings its row along
    float back[kNumSteps];
    s.getModRow(50, back); // absent: neutral, and not created
    EXPECT_EQ(back[7], 0.5f);
    EXPECT_EQ(s.getModRowCount(), 5);
    s.initModulators({20, 107, 130, 120, 999}); // neutral rows, cleared flags; bad tags ignored
    EXPECT_FALSE(s.getModRandomOnLoop(20));
    EXPECT_EQ(s.getModRowCount(), 7);
}

// ---- the serialized block ----

TEST_F(Sequencer, BlockLayoutAtPinnedOffsets) {
    BrakkaSequencer s;
    EXPECT_EQ(s.getSize(), 1984u); // 1932 + 12 counts + the row count
    s.setNote(3, 4, 255);
    s.setVelocityValue(2, 5, 0.25f);
    s.setVelocityRandomOnLoop(11, true);
    s.registerModTag(136); // voice 6: tags 82 and 136, ascending; each brings its row
    s.registerModTag(82);
    s.setModValue(82, 31, 0.125f);
    s.setModRandomOnLoop(136, true);
    const std::vector<char> b = blockOf(s);
    ASSERT_EQ(b.size(), 1984u + 8 + 2 * (132 + 5));
    EXPECT_EQ(uint8_t(b[3 * 32 + 4]), 255);
    EXPECT_EQ(at<float>(b, 384 + (2 * 32 + 5) * 4), 0.25f);
    EXPECT_EQ(at<float>(b, 384), 0.7f);
    EXPECT_EQ(b[1920 + 11], 1);
    const size_t voice6 = kFixed + 6 * 4, rows = kFixed + 12 * 4 + 8, flags = rows + 4 + 2 * 132;
    // offset: the 32-bit word there (counts, tags) in voice 6's tags, the rows and the flags
    const std::pair<size_t, uint32_t> words[] = {{voice6, 2}, {voice6 + 4, 82}, {voice6 + 8, 136},
                                                 {rows, 2},   {rows + 4, 82},   {rows + 136, 136},
                                                 {flags, 82}, {flags + 5, 136}};
    for (auto [pos, word] : words)
        EXPECT_EQ(at(b, pos), word) << pos;
    EXPECT_EQ(at<float>(b, rows + 8 + 31 * 4), 0.125f);
    EXPECT_EQ(b[flags + 4], 0);
    EXPECT_EQ(b[flags + 9], 1);
}

// A pattern with a row for every modulatable tag (as every pattern has after a load) comes back
// byte for byte, also as a copy; clock, length and probabilities are not part of the block.
TEST_F(Sequencer, BlocksLoadBackExactlyAndCopiesAreWhole) {
    std::mt19937 rng(20261206);
    const std::set<unsigned> mod = allModTags();
    for (int round = 0; round < 40; ++round) {
        BrakkaSequencer s;
        s.initModulators(mod);
        randomPattern(rng, s);
        const std::vector<char> block = blockOf(s);
        BrakkaSequencer loaded;
        loaded.registerModTag(7);
        loaded.setModRandomOnLoop(6, true);
        loaded.setStepTicks(6);
        loaded.setCurrent96th(30);
        loaded.setSelectedBeats(4, 99);
        size_t used = 0;
        ASSERT_TRUE(loaded.setAllData(block.data(), block.size(), mod, false, &used));
        EXPECT_EQ(used, block.size());
        ASSERT_EQ(blockOf(loaded), block) << "round " << round;
        EXPECT_EQ(loaded.getCurrentStep(), 5);
        EXPECT_EQ(loaded.getSelectedBeats(4), 99);
        s = loaded;
        EXPECT_EQ(s.getCurrentStep(), 5);
        EXPECT_EQ(blockOf(s), block);
    }
    EXPECT_EQ(BrakkaSequencer().getSize(), 1984u);
}

TEST_F(Sequencer, LoadingReadsRowsThenFlagsOverNeutralRows) {
    BrakkaSequencer source;
    source.setNote(3, 4, 1);
    source.registerModTag(50);
    float row[kNumSteps];
    std::fill(row, row + kNumSteps, 0.125f);
    source.setModRow(40, row);
    source.setModRandomOnLoop(40, true);
    source.setModRandomOnLoop(141, false);
    std::vector<char> block = blockOf(source); // rows 40, 50, 141
    // The flag section lists as many entries as there are rows, whatever their tags; any byte
    // that is not 0 sets the flag.
    const size_t flagsAt = block.size() - 15;
    block[flagsAt + 4] = 7;
    poke(block, flagsAt + 10, uint32_t(12));
    block[flagsAt + 14] = 1;
    // Out-of-range values are brought into 0..1; loop bytes are carried as they are.
    poke(block, 384, 2.0f);
    poke(block, 388, NAN);
    block[1920] = 9;

    BrakkaSequencer s;
    ASSERT_TRUE(s.setAllData(block.data(), block.size(), allModTags()));
    EXPECT_EQ(s.getModValue(40, 9), 0.125f);
    EXPECT_TRUE(s.getModRandomOnLoop(40));
    EXPECT_FALSE(s.getModRandomOnLoop(141));
    EXPECT_TRUE(s.getModRandomOnLoop(12)); // flag of a tag whose row stayed neutral
    EXPECT_EQ(s.getModValue(12, 0), 0.5f);
    EXPECT_EQ(s.getModRowCount(), 120);
    EXPECT_EQ(s.getVelocityValue(0, 0), 1.0f);
    EXPECT_EQ(s.getVelocityValue(0, 1), 0.0f);
    EXPECT_EQ(blockOf(s)[1920], 9);

    // Only the given tags get neutral rows; blocks back to back: each load consumes its own.
    const std::vector<char> bare = blockOf(BrakkaSequencer());
    std::vector<char> chunk = blockOf(source);
    chunk.insert(chunk.end(), bare.begin(), bare.end());
    size_t used = 0;
    ASSERT_TRUE(s.setAllData(chunk.data(), chunk.size(), allModTags(), false, &used));
    EXPECT_EQ(used, chunk.size() - bare.size());
    ASSERT_TRUE(s.setAllData(chunk.data() + used, chunk.size() - used, {0, 5}, false, &used));
    EXPECT_EQ(used, bare.size());
    EXPECT_EQ(s.getModRowCount(), 2);
    EXPECT_TRUE(s.hasModRow(5));
}

// A damaged block is refused whole: the pattern keeps every byte it had.
TEST_F(Sequencer, DamagedBlocksAreRefused) {
    std::mt19937 rng(5);
    BrakkaSequencer source, target;
    randomPattern(rng, source);
    source.registerModTag(82);
    const std::vector<char> good = blockOf(source);
    target.setNote(0, 0, 255);
    target.registerModTag(40);
    const std::vector<char> before = blockOf(target);
    const std::set<unsigned> all = allModTags();
    auto refused = [&](const std::vector<char>& b, const std::set<unsigned>& tags) {
        size_t used = 12345;
        return BrakkaSequencer::validateAllData(b.data(), b.size(), tags) == 0 &&
               !target.setAllData(b.data(), b.size(), tags, false, &used) && used == 12345 &&
               blockOf(target) == before;
    };
    for (size_t len = 0; len < good.size(); ++len)
        ASSERT_EQ(BrakkaSequencer::validateAllData(good.data(), len, all), 0u) << len;
    EXPECT_TRUE(refused({good.begin(), good.end() - 1}, all));
    EXPECT_FALSE(target.setAllData(nullptr, 100000, all));

    size_t count[kNumVoices + 1] = {kFixed}; // the voices' tag counts, then the row count
    for (int v = 0; v < kNumVoices; ++v)
        count[v + 1] = count[v] + 4 + 4 * at(good, count[v]);
    std::set<unsigned> without82 = all;
    without82.erase(82);
    // position, value written there, tags offered: counts too large (4 * 0x40000001 wraps a
    // 32-bit product), and tags unknown or not offered in a voice, a row and a flag
    std::vector<std::tuple<size_t, uint32_t, const std::set<unsigned>*>> damages = {
        {kFixed, 0xFFFFFFFFu, &all},
        {count[11], 0x40000001u, &all},
        {count[12], 121, &all},
        {count[12], 0xFFFFFFFFu, &all}};
    for (size_t pos : {count[6] + 4, count[12] + 4, good.size() - 5}) {
        for (uint32_t tag : {108u, 129u, 142u, 0xFFFFFFFFu})
            damages.push_back({pos, tag, &all});
        damages.push_back({pos, 82, &without82});
    }
    for (auto [pos, value, tags] : damages) {
        std::vector<char> b = good;
        poke(b, pos, value);
        b.resize(b.size() + 200000, 0); // plenty of data behind, so only the damage is at fault
        EXPECT_TRUE(refused(b, *tags)) << pos << " " << value;
    }
    // 121 tags, all of them sound ones: still more than a voice can hold; 120 are within bounds.
    std::vector<char> b = blockOf(BrakkaSequencer());
    poke(b, kFixed, uint32_t(121));
    b.insert(b.begin() + kFixed + 4, 121 * 4, 0);
    EXPECT_TRUE(refused(b, all));
    poke(b, kFixed, uint32_t(120));
    b.erase(b.begin() + kFixed + 4, b.begin() + kFixed + 8);
    EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), all), b.size());
}

} // namespace
