// Step clock, probability tests, row operations and modulated-tag bookkeeping of a pattern.
#include "BrakkaSequencer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

namespace {

// A random source that plays back a script (repeating it), so probability tests are exact.
std::vector<int> gScript;
size_t gScriptPos = 0;
int gScriptCalls = 0;
int scriptedRandom() {
    ++gScriptCalls;
    int r = gScript[gScriptPos % gScript.size()];
    ++gScriptPos;
    return r;
}

class SequencerTest : public ::testing::Test {
protected:
    void script(std::vector<int> values) {
        gScript = std::move(values);
        gScriptPos = 0;
        gScriptCalls = 0;
        BrakkaSequencer::setRandomSource(scriptedRandom);
    }
    void TearDown() override { BrakkaSequencer::setRandomSource(nullptr); }

    BrakkaSequencer seq;
};

// --- clock -----------------------------------------------------------------------------------

TEST_F(SequencerTest, FreshPatternDefaults) {
    EXPECT_EQ(seq.getCurrentStep(), 0);
    EXPECT_EQ(seq.getSequenceLength(), 32);
    EXPECT_EQ(seq.getStepTicks(), 3);
    EXPECT_EQ(seq.getCurrentTick(), 0u);
    for (int v = 0; v < 12; ++v) {
        EXPECT_EQ(seq.getSelectedBeats(v), 2147483647);
        EXPECT_EQ(seq.getRandomBeats(v), 0);
        EXPECT_EQ(seq.getRandomSize(v), 6);
        EXPECT_FLOAT_EQ(seq.getRandomVelocity(v), 1.0f / 127.0f);
        EXPECT_FLOAT_EQ(seq.getVelocityValue(v, 31), 0.7f);
        EXPECT_EQ(seq.getNote(v, 0), 0);
    }
    EXPECT_EQ(seq.getModRowCount(), 0);
    EXPECT_EQ(std::size(kSequenceLengths), 5u);
    EXPECT_EQ(kSequenceLengths[2], 24);
    EXPECT_EQ(kSequenceLengths[4], 12);
}

TEST_F(SequencerTest, SixteenthStepsOnSixteenStepPattern) {
    seq.setStepTicks(6);
    seq.setSequenceLength(16);
    for (unsigned t = 1; t <= 5; ++t) {
        EXPECT_FALSE(seq.setCurrent96th(t)) << t;
        EXPECT_EQ(seq.getCurrentStep(), 0);
    }
    EXPECT_TRUE(seq.setCurrent96th(6));
    EXPECT_EQ(seq.getCurrentStep(), 1);
    EXPECT_TRUE(seq.setCurrent96th(90));
    EXPECT_EQ(seq.getCurrentStep(), 15);
    EXPECT_TRUE(seq.setCurrent96th(96)); // wraps to the pattern start: a change from step 15
    EXPECT_EQ(seq.getCurrentStep(), 0);
}

TEST_F(SequencerTest, GranularityIsLargestDivisionOfTheTick) {
    EXPECT_TRUE(seq.setCurrent96th(24));
    EXPECT_EQ(seq.getTickGranularity(), 24);
    EXPECT_EQ(seq.getCurrentStep(), 8);
    EXPECT_FALSE(seq.setCurrent96th(25)); // same step
    EXPECT_EQ(seq.getTickGranularity(), 1);

    const struct {
        unsigned tick;
        int granularity;
    } cases[] = {{0, 48},   {48, 48}, {96, 48}, {72, 24}, {36, 12}, {40, 8}, {16, 8},
                 {18, 6},   {30, 6},  {28, 4},  {20, 4},  {9, 3},   {15, 3}, {7, 1},
                 {1001, 1}, {2, 1},   {44, 4},  {60, 12}, {120, 24}};
    for (const auto& c : cases) {
        seq.setCurrent96th(c.tick + 1); // make sure the tick below is a change
        seq.setCurrent96th(c.tick);
        EXPECT_EQ(seq.getTickGranularity(), c.granularity) << c.tick;
    }
}

TEST_F(SequencerTest, ClockIsAbsoluteInAnyDirection) {
    EXPECT_TRUE(seq.setCurrent96th(93));
    EXPECT_EQ(seq.getCurrentStep(), 31);
    EXPECT_FALSE(seq.setCurrent96th(93)); // the same tick again changes nothing
    EXPECT_TRUE(seq.setCurrent96th(10));  // backwards
    EXPECT_EQ(seq.getCurrentStep(), 3);
    EXPECT_TRUE(seq.setCurrent96th(1000)); // jump: 333 mod 32
    EXPECT_EQ(seq.getCurrentStep(), 13);
    EXPECT_TRUE(seq.setCurrent96th(4294967295u)); // (2^32 - 1) / 3 = 1431655765, mod 32 = 21
    EXPECT_EQ(seq.getCurrentStep(), 21);
    seq.setStepTicks(8);
    seq.setSequenceLength(12);
    EXPECT_TRUE(seq.setCurrent96th(95));
    EXPECT_EQ(seq.getCurrentStep(), 11);
}

TEST_F(SequencerTest, RetreatAndAdvance) {
    EXPECT_EQ(seq.retreat(), 31); // from tick 0 back to the last step of the bar
    EXPECT_EQ(seq.getCurrentTick(), 93u);
    EXPECT_EQ(seq.retreat(), 30);
    EXPECT_EQ(seq.getCurrentTick(), 90u);
    EXPECT_EQ(seq.advance(), 31);
    EXPECT_EQ(seq.advance(), 0);
    EXPECT_EQ(seq.getCurrentTick(), 96u);
    EXPECT_EQ(seq.advance(), 1);

    BrakkaSequencer triplets;
    triplets.setStepTicks(4);
    triplets.setSequenceLength(24);
    EXPECT_EQ(triplets.retreat(), 23);
    EXPECT_EQ(triplets.getCurrentTick(), 92u);
}

TEST_F(SequencerTest, GoToStepAndLength) {
    seq.goToStep(5);
    EXPECT_EQ(seq.getCurrentStep(), 5);
    seq.goToStep(40);
    EXPECT_EQ(seq.getCurrentStep(), 8);
    seq.goToStep(-1); // kept inside the rows
    EXPECT_EQ(seq.getCurrentStep(), 31);
    seq.goToStep(-70);
    EXPECT_EQ(seq.getCurrentStep(), 26);

    seq.goToStep(20);
    seq.setSequenceLength(12);
    EXPECT_EQ(seq.getCurrentStep(), 0);
    EXPECT_EQ(seq.getSequenceLength(), 12);
    seq.goToStep(5);
    seq.setSequenceLength(16);
    EXPECT_EQ(seq.getCurrentStep(), 5);
    seq.goToStep(13);
    EXPECT_EQ(seq.getCurrentStep(), 13);

    seq.setSequenceLength(0); // clipped, never a division by zero
    EXPECT_EQ(seq.getSequenceLength(), 1);
    seq.setSequenceLength(100);
    EXPECT_EQ(seq.getSequenceLength(), 32);
    seq.setStepTicks(0);
    EXPECT_EQ(seq.getStepTicks(), 3);
    seq.setStepTicks(-4);
    EXPECT_EQ(seq.getStepTicks(), 3);
    EXPECT_TRUE(seq.setCurrent96th(7));
    EXPECT_EQ(seq.getCurrentStep(), 2);
}

// --- probabilities ---------------------------------------------------------------------------

TEST_F(SequencerTest, SelectedBeatsProbability) {
    seq.setNote(2, 4, 255);
    script({0, 2147483646, 2147483647});
    EXPECT_TRUE(seq.getWeightedNote(2, 4));
    EXPECT_TRUE(seq.getWeightedNote(2, 4));
    EXPECT_FALSE(seq.getWeightedNote(2, 4)); // the one value 100 % does not beat

    script({0});
    EXPECT_FALSE(seq.getWeightedNote(2, 5)); // no note: no draw at all
    EXPECT_EQ(gScriptCalls, 0);
    seq.setSelectedBeats(2, 0);
    EXPECT_FALSE(seq.getWeightedNote(2, 4));
    EXPECT_EQ(gScriptCalls, 1);

    seq.setSelectedBeats(2, 1000);
    script({999, 1000});
    EXPECT_TRUE(seq.getWeightedNote(2, 4));
    EXPECT_FALSE(seq.getWeightedNote(2, 4));

    seq.setNote(3, 0, 1); // random fills write 1: also a note
    EXPECT_TRUE(seq.getWeightedNote(3, 0));
    EXPECT_FALSE(seq.getWeightedNote(-1, 0));
    EXPECT_FALSE(seq.getWeightedNote(12, 0));
    EXPECT_FALSE(seq.getWeightedNote(3, 32));
    EXPECT_FALSE(seq.getWeightedNote(3, -1));
}

TEST_F(SequencerTest, RandomNotesOnlyOnTheirGrid) {
    script({0});
    for (int size : {3, 4, 6, 8, 12, 24, 48}) {
        seq.setRandomSize(0, size);
        seq.setRandomBeats(0, 2147483647);
        for (unsigned tick = 1; tick <= 200; ++tick) {
            seq.setCurrent96th(tick);
            EXPECT_EQ(seq.getRandomNote(0), tick % size == 0)
                << "size " << size << " tick " << tick;
        }
        seq.setCurrent96th(0);
        EXPECT_TRUE(seq.getRandomNote(0)) << size;
    }
    seq.setCurrent96th(48);
    seq.setRandomSize(0, 0);
    EXPECT_FALSE(seq.getRandomNote(0));
    seq.setRandomSize(0, -6);
    EXPECT_FALSE(seq.getRandomNote(0));
    seq.setRandomSize(0, 6);
    seq.setRandomBeats(0, 0);
    EXPECT_FALSE(seq.getRandomNote(0)); // 0 % never plays
    EXPECT_FALSE(seq.getRandomNote(12));
}

TEST_F(SequencerTest, VelocityOfSetStepsAndRandomNotes) {
    seq.setVelocityValue(4, 3, 0.25f);
    seq.setVelocityValue(4, 9, 0.9f);
    seq.setNote(4, 3, 255);
    seq.goToStep(9);
    EXPECT_FLOAT_EQ(seq.getVelocity(4, 3), 0.25f); // set step: its own velocity
    seq.setRandomVelocity(4, 0.4f);
    EXPECT_FLOAT_EQ(seq.getVelocity(4, 5), 0.4f); // random note: Random Velocity
    seq.setRandomVelocity(4, 0.0f);
    EXPECT_FLOAT_EQ(seq.getVelocity(4, 5), 0.9f); // ... or the row at the current step
    EXPECT_FLOAT_EQ(seq.getVelocity(4, 40), 0.9f);
    EXPECT_EQ(seq.getVelocity(12, 3), 0.0f);
}

// --- rows ------------------------------------------------------------------------------------

TEST_F(SequencerTest, ClearAndRandomizeNotes) {
    script({5, 2, 7, 8});
    seq.setSequenceLength(12);
    seq.randomizeNotes(1); // the whole row, whatever the length
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(seq.getNote(1, i), (i % 2 == 0) ? 1 : 0) << i;
    EXPECT_EQ(gScriptCalls, 32);
    EXPECT_EQ(seq.getNote(0, 0), 0);
    seq.setNote(0, 31, 255);
    seq.clearNotes(1);
    unsigned char row[32];
    seq.getNoteRow(1, row);
    for (unsigned char b : row)
        EXPECT_EQ(b, 0);
    EXPECT_EQ(seq.getNote(0, 31), 255);
    seq.clearNotes(99);
    seq.randomizeNotes(-1);
    seq.getNoteRow(40, row);
    EXPECT_EQ(row[0], 0);
}

TEST_F(SequencerTest, FallingRampOnSixteenSteps) {
    seq.setSequenceLength(16);
    seq.fillVelocityValues(0, 2);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(seq.getVelocityValue(0, i), 1.0f - i * 0.0625f) << i;
    for (int i = 16; i < 32; ++i)
        EXPECT_FLOAT_EQ(seq.getVelocityValue(0, i), 0.7f) << i;

    seq.fillModValues(5, 2);
    EXPECT_EQ(seq.getModValue(5, 1), 0.9375f);
    EXPECT_EQ(seq.getModValue(5, 15), 0.0625f);
    EXPECT_EQ(seq.getModValue(5, 16), 0.5f); // new row: neutral beyond the length
}

TEST_F(SequencerTest, ClearAndInvertShapes) {
    seq.setSequenceLength(24);
    seq.setVelocityValue(7, 0, 0.2f);
    seq.setVelocityValue(7, 30, 0.1f);
    seq.fillVelocityValues(7, 1);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(7, 0), 0.8f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(7, 23), 0.3f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(7, 24), 0.7f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(7, 30), 0.1f);
    seq.fillVelocityValues(7, 0);
    EXPECT_EQ(seq.getVelocityValue(7, 0), 0.0f);
    EXPECT_EQ(seq.getVelocityValue(7, 23), 0.0f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(7, 24), 0.7f);

    seq.setModValue(131, 2, 0.1f);
    seq.setModValue(131, 28, 0.2f);
    seq.fillModValues(131, 1);
    EXPECT_FLOAT_EQ(seq.getModValue(131, 2), 0.9f);
    EXPECT_FLOAT_EQ(seq.getModValue(131, 3), 0.5f);
    EXPECT_FLOAT_EQ(seq.getModValue(131, 28), 0.2f);
    seq.fillModValues(131, 0);
    EXPECT_EQ(seq.getModValue(131, 2), 0.5f);
    EXPECT_FLOAT_EQ(seq.getModValue(131, 28), 0.2f);
}

TEST_F(SequencerTest, SineShapeIsOneCycle) {
    seq.setSequenceLength(24);
    seq.fillVelocityValues(3, 3);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(3, 0), 0.5f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(3, 3), 0.85355339f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(3, 6), 1.0f);
    EXPECT_NEAR(seq.getVelocityValue(3, 12), 0.5f, 1e-7);
    EXPECT_NEAR(seq.getVelocityValue(3, 18), 0.0f, 1e-7);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(3, 24), 0.7f);
    seq.fillModValues(100, 3);
    EXPECT_FLOAT_EQ(seq.getModValue(100, 6), 1.0f);
    EXPECT_FLOAT_EQ(seq.getModValue(100, 24), 0.5f);
}

TEST_F(SequencerTest, RandomShapeScalesTheSource) {
    seq.setSequenceLength(12);
    script({0, 1073741824, 2147483647, 536870912});
    seq.fillVelocityValues(11, 4);
    EXPECT_EQ(gScriptCalls, 12);
    EXPECT_EQ(seq.getVelocityValue(11, 0), 0.0f);
    EXPECT_EQ(seq.getVelocityValue(11, 1), 0.5f);
    EXPECT_EQ(seq.getVelocityValue(11, 2), 1.0f); // 2^31 - 1 rounds to 1 in a float
    EXPECT_EQ(seq.getVelocityValue(11, 3), 0.25f);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(11, 12), 0.7f);
    seq.fillModValues(141, 4);
    EXPECT_EQ(seq.getModValue(141, 0), 0.0f);
    EXPECT_EQ(seq.getModValue(141, 3), 0.25f);
    EXPECT_EQ(seq.getModValue(141, 12), 0.5f);
}

TEST_F(SequencerTest, BadShapesAndTagsChangeNothing) {
    seq.fillVelocityValues(0, 5);
    seq.fillVelocityValues(0, -1);
    seq.fillVelocityValues(12, 0);
    EXPECT_FLOAT_EQ(seq.getVelocityValue(0, 0), 0.7f);
    seq.fillModValues(3, 7);
    seq.fillModValues(108, 2);
    seq.fillModValues(142, 2);
    seq.setModValue(200, 0, 0.1f);
    seq.setModRandomOnLoop(129, true);
    EXPECT_FALSE(seq.registerModTag(110));
    EXPECT_EQ(seq.getModRowCount(), 0);
    EXPECT_EQ(seq.getModValue(108, 0), 0.5f);
    EXPECT_FALSE(seq.getModRandomOnLoop(129));
}

TEST_F(SequencerTest, RowValuesStayWithinZeroToOne) {
    seq.setVelocityValue(0, 0, 1.5f);
    seq.setVelocityValue(0, 1, -0.5f);
    seq.setVelocityValue(0, 2, NAN);
    seq.setModValue(10, 0, 7.0f);
    seq.setModValue(10, 1, NAN);
    seq.setRandomVelocity(0, INFINITY);
    EXPECT_EQ(seq.getVelocityValue(0, 0), 1.0f);
    EXPECT_EQ(seq.getVelocityValue(0, 1), 0.0f);
    EXPECT_EQ(seq.getVelocityValue(0, 2), 0.0f);
    EXPECT_EQ(seq.getModValue(10, 0), 1.0f);
    EXPECT_EQ(seq.getModValue(10, 1), 0.5f);
    EXPECT_EQ(seq.getRandomVelocity(0), 1.0f);
}

// --- modulation rows and modulated tags ------------------------------------------------------

TEST_F(SequencerTest, VoiceOfEveryModulatableTag) {
    const struct {
        unsigned first, last;
        int voice;
    } ranges[] = {{0, 13, 0},   {14, 24, 2},   {25, 28, 1},    {29, 42, 3},   {43, 56, 4},
                  {57, 70, 5},  {71, 72, 10},  {73, 81, 11},   {82, 86, 6},   {87, 92, 7},
                  {93, 105, 8}, {106, 107, 9}, {108, 129, -1}, {142, 400, -1}};
    for (const auto& r : ranges)
        for (unsigned t = r.first; t <= r.last; ++t)
            EXPECT_EQ(BrakkaSequencer::voiceOfModTag(t), r.voice) << t;
    for (unsigned t = 130; t <= 141; ++t)
        EXPECT_EQ(BrakkaSequencer::voiceOfModTag(t), int(t) - 130);
    EXPECT_EQ(BrakkaSequencer::voiceOfModTag(4294967295u), -1);
}

TEST_F(SequencerTest, RegisteringTagsKeepsThemAscendingPerVoice) {
    EXPECT_TRUE(seq.registerModTag(136)); // closed hat pan
    EXPECT_TRUE(seq.registerModTag(84));
    EXPECT_TRUE(seq.registerModTag(82));
    EXPECT_TRUE(seq.registerModTag(82)); // no duplicate
    EXPECT_TRUE(seq.registerModTag(0));
    unsigned tags[8] = {};
    ASSERT_EQ(seq.getVoiceModTags(6, tags, 8), 3);
    EXPECT_EQ(tags[0], 82u);
    EXPECT_EQ(tags[1], 84u);
    EXPECT_EQ(tags[2], 136u);
    EXPECT_EQ(seq.getVoiceModTags(6, tags, 2), 2);
    EXPECT_EQ(seq.getVoiceModTagCount(0), 1);
    EXPECT_TRUE(seq.isModTagRegistered(0, 0));
    // a registered tag always has a row to apply
    EXPECT_TRUE(seq.hasModRow(136));
    EXPECT_EQ(seq.getModRowCount(), 4);

    seq.unregisterModTag(6, 84);
    seq.unregisterModTag(6, 84); // absent: nothing
    seq.unregisterModTag(0, 82); // not in that voice: nothing
    seq.unregisterModTag(13, 82);
    EXPECT_EQ(seq.getVoiceModTagCount(6), 2);
    EXPECT_TRUE(seq.hasModRow(84)); // the row stays
    seq.unregisterAllModTags();
    for (int v = 0; v < 12; ++v)
        EXPECT_EQ(seq.getVoiceModTagCount(v), 0);
    EXPECT_EQ(seq.getModRowCount(), 4);
}

TEST_F(SequencerTest, RowsAndFlagsExistTogether) {
    EXPECT_FALSE(seq.getModRandomOnLoop(20));
    seq.setModRandomOnLoop(20, true);
    EXPECT_TRUE(seq.hasModRow(20));
    EXPECT_TRUE(seq.getModRandomOnLoop(20));
    EXPECT_EQ(seq.getModValue(20, 31), 0.5f);

    float row[32];
    for (int i = 0; i < 32; ++i)
        row[i] = i / 32.0f;
    seq.setModRow(107, row);
    float back[32];
    seq.getModRow(107, back);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(back[i], row[i]);
    EXPECT_FALSE(seq.getModRandomOnLoop(107));
    seq.getModRow(50, back); // absent: neutral, and not created
    EXPECT_EQ(back[7], 0.5f);
    EXPECT_FALSE(seq.hasModRow(50));
    EXPECT_TRUE(seq.createModRow(50));
    EXPECT_EQ(seq.getModRowCount(), 3);

    seq.initModulators({20, 107, 130, 120, 999}); // neutral rows, cleared flags; bad tags ignored
    EXPECT_FALSE(seq.getModRandomOnLoop(20));
    EXPECT_EQ(seq.getModValue(107, 31), 0.5f);
    EXPECT_TRUE(seq.hasModRow(130));
    EXPECT_EQ(seq.getModRowCount(), 4);
}

TEST_F(SequencerTest, AssignmentCopiesEverything) {
    BrakkaSequencer a;
    a.setNote(5, 5, 255);
    a.setVelocityValue(5, 5, 0.33f);
    a.setVelocityRandomOnLoop(5, true);
    a.registerModTag(60);
    a.setModValue(60, 3, 0.8f);
    a.setModRandomOnLoop(60, true);
    a.setSelectedBeats(1, 12345);
    a.setRandomBeats(1, 777);
    a.setRandomSize(1, 24);
    a.setRandomVelocity(1, 0.5f);
    a.setStepTicks(6);
    a.setSequenceLength(16);
    a.setCurrent96th(45);

    BrakkaSequencer b;
    b.registerModTag(1);
    b = a;
    EXPECT_EQ(b.getNote(5, 5), 255);
    EXPECT_FLOAT_EQ(b.getVelocityValue(5, 5), 0.33f);
    EXPECT_TRUE(b.getVelocityRandomOnLoop(5));
    EXPECT_TRUE(b.isModTagRegistered(5, 60));
    EXPECT_FALSE(b.isModTagRegistered(0, 1));
    EXPECT_FLOAT_EQ(b.getModValue(60, 3), 0.8f);
    EXPECT_TRUE(b.getModRandomOnLoop(60));
    EXPECT_EQ(b.getSelectedBeats(1), 12345);
    EXPECT_EQ(b.getRandomBeats(1), 777);
    EXPECT_EQ(b.getRandomSize(1), 24);
    EXPECT_EQ(b.getRandomVelocity(1), 0.5f);
    EXPECT_EQ(b.getStepTicks(), 6);
    EXPECT_EQ(b.getSequenceLength(), 16);
    EXPECT_EQ(b.getCurrentTick(), 45u);
    EXPECT_EQ(b.getCurrentStep(), 7);
    EXPECT_EQ(b.getTickGranularity(), 3);
    EXPECT_EQ(b.getSize(), a.getSize());

    b.setModValue(60, 3, 0.1f); // the copy is independent
    b.unregisterModTag(5, 60);
    EXPECT_FLOAT_EQ(a.getModValue(60, 3), 0.8f);
    EXPECT_TRUE(a.isModTagRegistered(5, 60));
}

} // namespace
