// Second, independent look at the pattern sequencer: a writer of the serialized block built from
// the layout table and fed from a model of the pattern, a model of the step clock run over every
// step-size choice, and the probability tests, velocities and fills against their rules.
#include "BrakkaSequencer.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <set>
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

struct RandomSourceReset {
    ~RandomSourceReset() { BrakkaSequencer::setRandomSource(nullptr); }
};

std::set<unsigned> allModTags() {
    std::set<unsigned> s;
    for (unsigned t = 0; t <= 107; ++t)
        s.insert(t);
    for (unsigned t = 130; t <= 141; ++t)
        s.insert(t);
    return s;
}

// The voice that owns a sound or pan tag.
int ownerOf(unsigned tag) {
    if (tag >= 130) return int(tag - 130);
    const unsigned firstTag[] = {0, 14, 25, 29, 43, 57, 71, 73, 82, 87, 93, 106, 108};
    const int voice[] = {0, 2, 1, 3, 4, 5, 10, 11, 6, 7, 8, 9};
    for (int i = 0; i < 12; ++i)
        if (tag < firstTag[i + 1]) return voice[i];
    return -1;
}

// ---- the pattern as the block sees it, and its writer ----

struct Model {
    uint8_t notes[12][32];
    float vel[12][32];
    uint8_t velFlags[12];
    std::set<unsigned> voiceTags[12];
    std::map<unsigned, std::array<float, 32>> rows;
    std::map<unsigned, uint8_t> flags;

    Model() {
        std::memset(notes, 0, sizeof notes);
        for (auto& r : vel)
            for (float& x : r)
                x = 0.7f;
        std::memset(velFlags, 0, sizeof velFlags);
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
        for (uint8_t b : r)
            put(out, b);
    for (auto& r : m.vel)
        for (float x : r)
            put(out, x);
    for (uint8_t b : m.velFlags)
        put(out, b);
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

// Fills a pattern and its model alike, through the pattern's own editing operations.
void randomPattern(std::mt19937& rng, BrakkaSequencer& s, Model& m) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const std::set<unsigned> mod = allModTags();
    std::vector<unsigned> tags(mod.begin(), mod.end());
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

TEST(SequencerAudit, BlockIsWrittenByteForByteAsLaidOut) {
    std::mt19937 rng(20261206);
    const std::set<unsigned> mod = allModTags();
    for (int round = 0; round < 60; ++round) {
        BrakkaSequencer s;
        Model m;
        randomPattern(rng, s, m);
        std::vector<char> want = writeBlock(m);
        size_t tagCount = 0;
        for (auto& t : m.voiceTags)
            tagCount += t.size();
        ASSERT_EQ(s.getSize(), 1932 + 12 * 4 + 4 * tagCount + 4 + 137 * m.rows.size());
        ASSERT_EQ(blockOf(s), want) << "round " << round;

        // Loading gives every modulatable tag a row (neutral, flag cleared, where the block had
        // none); everything the block carried comes back exactly.
        BrakkaSequencer loaded;
        float junk[32];
        std::fill(junk, junk + 32, 0.9f);
        loaded.setModRow(5, junk);
        loaded.setModRandomOnLoop(6, true);
        loaded.registerModTag(7);
        ASSERT_TRUE(loaded.setAllData(want.data(), want.size(), mod));
        Model full = m;
        for (unsigned t : mod)
            full.ensureRow(t);
        EXPECT_EQ(blockOf(loaded), writeBlock(full)) << "round " << round;
    }
    // A pattern with every row and no modulated tags.
    BrakkaSequencer s;
    s.initModulators(mod);
    EXPECT_EQ(s.getSize(), 18424u);
}

TEST(SequencerAudit, LoadingReadsRowsThenFlagsOverNeutralRows) {
    Model m;
    m.notes[3][4] = 1;
    m.vel[11][31] = 0.25f;
    m.velFlags[2] = 1;
    m.voiceTags[0] = {50, 130}; // a voice's set is taken as written
    m.rows[40].fill(0.125f);
    m.rows[141].fill(1.0f);
    m.flags[40] = 7; // any non-zero byte is set
    m.flags[141] = 0;
    std::vector<char> block = writeBlock(m);
    // The flag section lists as many entries as there are rows, whatever their tags.
    std::vector<char> otherFlags = block;
    size_t flagsAt = block.size() - 10;
    uint32_t tag = 12;
    std::memcpy(&otherFlags[flagsAt + 5], &tag, 4);
    otherFlags[flagsAt + 9] = 1;

    BrakkaSequencer s;
    size_t used = 0;
    ASSERT_TRUE(s.setAllData(otherFlags.data(), otherFlags.size(), allModTags(), false, &used));
    EXPECT_EQ(used, block.size());
    EXPECT_EQ(s.getNote(3, 4), 1);
    EXPECT_EQ(s.getVelocityValue(11, 31), 0.25f);
    EXPECT_TRUE(s.getVelocityRandomOnLoop(2));
    unsigned tags[8];
    ASSERT_EQ(s.getVoiceModTags(0, tags, 8), 2);
    EXPECT_EQ(tags[0], 50u);
    EXPECT_EQ(tags[1], 130u);
    EXPECT_EQ(s.getModValue(40, 9), 0.125f);
    EXPECT_TRUE(s.getModRandomOnLoop(40));
    EXPECT_EQ(s.getModValue(141, 0), 1.0f);
    EXPECT_FALSE(s.getModRandomOnLoop(141));
    EXPECT_TRUE(s.getModRandomOnLoop(12)); // flag of a tag whose row stayed neutral
    EXPECT_EQ(s.getModValue(12, 0), 0.5f);
    EXPECT_EQ(s.getModRowCount(), 120);

    // Only the given tags get neutral rows.
    Model bare;
    std::vector<char> bareBlock = writeBlock(bare);
    ASSERT_TRUE(s.setAllData(bareBlock.data(), bareBlock.size(), {0, 5}));
    EXPECT_EQ(s.getModRowCount(), 2);
    EXPECT_TRUE(s.hasModRow(5));
    EXPECT_FALSE(s.hasModRow(40));
    EXPECT_EQ(s.getVoiceModTagCount(0), 0);
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

TEST(SequencerAudit, ClockOverFourHundredTicksForEveryStepSize) {
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

TEST(SequencerAudit, ClockJumpsAdvanceRetreatAndGoToStep) {
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
            case 3: {
                long t = long(model.tick) - c[0];
                if (t < 0) t += long(c[0]) * c[1];
                model.set(unsigned(t));
                ASSERT_EQ(s.retreat(), model.step);
                break;
            }
            default: {
                int to = int(rng() % 80) - 10;
                s.goToStep(to);
                model.step = to >= c[1] ? to % c[1] : (to < 0 ? (to % c[1] + c[1]) % c[1] : to);
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
    s.goToStep(20);
    s.setSequenceLength(12);
    EXPECT_EQ(s.getCurrentStep(), 0);
    s.goToStep(5);
    s.setSequenceLength(16);
    EXPECT_EQ(s.getCurrentStep(), 5);
}

// ---- probability tests and velocities ----

TEST(SequencerAudit, RandomNotesOnlyOnTheirGridAndDrawOnlyThere) {
    RandomSourceReset reset;
    for (int size : {0, 3, 4, 6, 8, 12, 24, 48}) {
        BrakkaSequencer s;
        s.setRandomSize(4, size);
        s.setRandomBeats(4, 1000);
        for (unsigned t = 0; t < 200; ++t) {
            s.setCurrent96th(t);
            int g = s.getTickGranularity();
            bool eligible = size > 0 && g >= size && g % size == 0;
            script({999});
            EXPECT_EQ(s.getRandomNote(4), eligible) << size << " " << t;
            EXPECT_EQ(gDraws, eligible ? 1u : 0u);
            script({1000});
            EXPECT_FALSE(s.getRandomNote(4)); // the probability must exceed the draw
            if (size > 0) {
                EXPECT_EQ(eligible, t % unsigned(size) == 0) << size << " " << t;
            }
        }
    }
}

TEST(SequencerAudit, WeightedNotesAndVelocities) {
    RandomSourceReset reset;
    BrakkaSequencer s;
    s.setNote(1, 2, 255);
    s.setNote(1, 3, 1);
    s.setSelectedBeats(1, 500);
    struct Case {
        int step, draw;
        bool want;
        size_t draws;
    };
    for (Case c : {Case{0, 0, false, 0}, Case{2, 499, true, 1}, Case{2, 500, false, 1},
                   Case{3, 0, true, 1}}) {
        script({c.draw});
        EXPECT_EQ(s.getWeightedNote(1, c.step), c.want) << c.step << " " << c.draw;
        EXPECT_EQ(gDraws, c.draws);
    }
    BrakkaSequencer full;
    full.setNote(0, 0, 255);
    script({INT_MAX - 1});
    EXPECT_TRUE(full.getWeightedNote(0, 0)); // 100 % plays...
    script({INT_MAX});
    EXPECT_FALSE(full.getWeightedNote(0, 0)); // ...except against the very top draw

    s.setVelocityValue(1, 2, 0.9f);
    s.setVelocityValue(1, 6, 0.3f);
    s.setRandomVelocity(1, 0.4f);
    s.goToStep(6);
    EXPECT_EQ(s.getVelocity(1, 2), 0.9f); // a set step plays its own velocity
    EXPECT_EQ(s.getVelocity(1, 5), 0.4f); // a random note the random velocity
    s.setRandomVelocity(1, 0.0f);
    EXPECT_EQ(s.getVelocity(1, 5), 0.3f); // or the row at the current step
    EXPECT_FLOAT_EQ(BrakkaSequencer().getRandomVelocity(0), 1.0f / 127);
}

// ---- rows ----

TEST(SequencerAudit, FillsOverTheSequenceLength) {
    RandomSourceReset reset;
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
    BrakkaSequencer s;
    s.setSequenceLength(16);
    s.fillVelocityValues(0, 2);
    EXPECT_EQ(s.getVelocityValue(0, 1), 0.9375f);
    EXPECT_EQ(s.getVelocityValue(0, 15), 0.0625f);
    EXPECT_EQ(s.getVelocityValue(0, 16), 0.7f);
}

TEST(SequencerAudit, ClearRandomizeAndAssignment) {
    RandomSourceReset reset;
    BrakkaSequencer s;
    script({3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
            19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34});
    s.setSequenceLength(12); // every entry changes, whatever the length
    s.randomizeNotes(9);
    EXPECT_EQ(gDraws, 32u);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(s.getNote(9, i), (i + 3) & 1) << i;
    s.clearNotes(9);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(s.getNote(9, i), 0);

    std::mt19937 rng(99);
    Model m;
    BrakkaSequencer::setRandomSource(nullptr);
    randomPattern(rng, s, m);
    s.setStepTicks(6);
    s.setCurrent96th(30);
    s.setSelectedBeats(3, 12345);
    s.setRandomSize(3, 24);
    BrakkaSequencer copy;
    copy = s;
    EXPECT_EQ(blockOf(copy), blockOf(s));
    EXPECT_EQ(copy.getCurrentStep(), s.getCurrentStep());
    EXPECT_EQ(copy.getCurrentTick(), 30u);
    EXPECT_EQ(copy.getStepTicks(), 6);
    EXPECT_EQ(copy.getSequenceLength(), 12);
    EXPECT_EQ(copy.getTickGranularity(), s.getTickGranularity());
    EXPECT_EQ(copy.getSelectedBeats(3), 12345);
    EXPECT_EQ(copy.getRandomSize(3), 24);
    copy.registerModTag(100);
    copy.setNote(0, 0, 99);
    EXPECT_NE(blockOf(copy), blockOf(s)); // a copy, not a share
    s.unregisterModTag(ownerOf(100), 100);
    s.unregisterModTag(0, 100); // not there: nothing happens
    EXPECT_FALSE(s.isModTagRegistered(8, 100));
}

} // namespace
