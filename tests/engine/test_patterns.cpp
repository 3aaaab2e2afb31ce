// Pattern management through the engine: pattern-scope values, clear, copy and paste across
// patterns and programs, program selection, modulated tags.
#include "engine_support.h"

#include <gtest/gtest.h>

using namespace brakka_test;

TEST(Patterns, PatternValuesBelongToTheirPattern) {
    EngineHarness h;
    h.set(Brakka::kTagRandomBeats + 2, 0.3f);
    h.set(Brakka::kTagStepSize, stepSizeValue(4));
    h.set(Brakka::kTagTempo, 0.8f); // a program value
    h.set(Brakka::kTagPattern, patternValue(6));
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagRandomBeats + 2), 0.0f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagStepSize), 0.0f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagTempo), 0.8f);
    h.set(Brakka::kTagPattern, patternValue(0));
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagRandomBeats + 2), 0.3f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagStepSize), 1.0f);
}

TEST(Patterns, SwitchWhileResumedIsReportedToTheHost) {
    EngineHarness h; // resumed by the harness
    h.host().clearRecords();
    h.set(Brakka::kTagPattern, patternValue(2));
    EXPECT_EQ(h.host().automations().size(), 61u); // every pattern tag
    h.host().dispatch(effMainsChanged, 0, 0);
    h.host().clearRecords();
    h.set(Brakka::kTagPattern, patternValue(3));
    EXPECT_EQ(h.engine().getCurrentPattern(), 3);
    EXPECT_TRUE(h.host().automations().empty());
}

TEST(Patterns, StepSizeShortensThePattern) {
    EngineHarness h;
    h.fillRow(0);
    h.set(Brakka::kTagSync, syncValue(2));
    h.host().sendMidi(0x90, 86, 100);
    for (int i = 0; i < 20; ++i)
        h.host().sendMidi(0x90, 84, 100);
    EXPECT_EQ(h.engine().getCurrentStep(), 20);
    h.set(Brakka::kTagStepSize, stepSizeValue(4)); // "1 x 8T": 12 steps of 8 ticks
    EXPECT_EQ(h.engine().getCurrentStep(), 0);
    // The clock is absolute: tick 60 + 8 lies on step 68 / 8 = 8.
    h.host().sendMidi(0x90, 84, 100);
    EXPECT_EQ(h.engine().getCurrentStep(), 8);
}

TEST(Patterns, ClearAndRandomFillRows) {
    EngineHarness h;
    h.fillRow(4);
    h.engine().setVelocityValue(4, 0, 0.2f);
    h.engine().setModSequenceValue(43, 0, 0.9f);
    h.set(Brakka::kTagClear + 4, 0.5f); // not exactly 1: stored only
    unsigned char row[32];
    h.engine().getNoteRow(4, row);
    EXPECT_EQ(row[5], 255);
    h.set(Brakka::kTagClear + 4, 1.0f);
    h.engine().getNoteRow(4, row);
    for (unsigned char b : row)
        EXPECT_EQ(b, 0);
    h.set(Brakka::kTagRandomFill + 4, 1.0f);
    h.engine().getNoteRow(4, row);
    int set = 0;
    for (unsigned char b : row) {
        EXPECT_LE(b, 1);
        set += b;
    }
    EXPECT_GT(set, 0);
    h.fillRow(1);
    h.engine().pattern_clear(0);
    for (int v = 0; v < 12; ++v) {
        h.engine().getNoteRow(v, row);
        for (unsigned char b : row)
            EXPECT_EQ(b, 0);
    }
    // Velocities and modulation rows stay.
    float values[32];
    h.engine().getVelocityRow(4, values);
    EXPECT_FLOAT_EQ(values[0], 0.2f);
    h.engine().getModRow(43, values);
    EXPECT_FLOAT_EQ(values[0], 0.9f);
}

TEST(Patterns, CopyAndPasteAcrossPatternsAndPrograms) {
    EngineHarness h;
    h.set(Brakka::kTagPattern, patternValue(1));
    h.fillRow(2, {0, 3, 7});
    h.engine().setVelocityValue(2, 3, 0.33f);
    h.engine().setModSequenceValue(130 + 2, 3, 0.1f); // Snare 9 Pan
    h.set(Brakka::kTagSelectedBeats + 2, 0.4f);
    h.set(Brakka::kTagRandomReset + 2, 1.0f);
    h.set(Brakka::kTagStepSize, stepSizeValue(3));
    h.engine().pattern_copy(0);

    h.host().dispatch(effSetProgram, 0, 7);
    h.set(Brakka::kTagPattern, patternValue(4));
    unsigned char row[32];
    h.engine().getNoteRow(2, row);
    EXPECT_EQ(row[3], 0);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagSelectedBeats + 2), 1.0f);

    h.engine().pattern_paste();
    h.engine().getNoteRow(2, row);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[3], 255);
    EXPECT_EQ(row[7], 255);
    float values[32];
    h.engine().getVelocityRow(2, values);
    EXPECT_FLOAT_EQ(values[3], 0.33f);
    h.engine().getModRow(132, values);
    EXPECT_FLOAT_EQ(values[3], 0.1f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagSelectedBeats + 2), 0.4f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagRandomReset + 2), 1.0f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagStepSize), 0.75f);

    // The values were stored with pattern 4 of program 7: away and back brings them again.
    h.set(Brakka::kTagPattern, patternValue(0));
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagSelectedBeats + 2), 1.0f);
    h.set(Brakka::kTagPattern, patternValue(4));
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagSelectedBeats + 2), 0.4f);
    // The source is untouched.
    h.host().dispatch(effSetProgram, 0, 0);
    h.set(Brakka::kTagPattern, patternValue(1));
    h.engine().getNoteRow(2, row);
    EXPECT_EQ(row[3], 255);
}

TEST(Patterns, ProgramSelectionDropsAQueuedSwitch) {
    EngineHarness h;
    h.playInternal();
    h.render(512);
    h.set(Brakka::kTagPattern, patternValue(9));
    EXPECT_EQ(h.engine().getPendingPattern(), 9);
    h.host().dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(h.engine().getCurrentPattern(), 0);
    EXPECT_EQ(h.engine().getPendingPattern(), 0);
    EXPECT_EQ(h.host().dispatch(effGetProgram), 3);
}

TEST(Patterns, ProgramsKeepTheirOwnValues) {
    EngineHarness h;
    h.set(Brakka::kTagLevel + 0, 0.5f);
    h.host().dispatch(effSetProgram, 0, 1);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagLevel + 0), 1.0f);
    h.host().dispatch(effSetProgram, 0, 0);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagLevel + 0), 0.5f);
}

TEST(Patterns, ModulatedTagsOnlyForModulatableTags) {
    EngineHarness h;
    h.engine().setModSequenceValue(118, 0, 0.9f); // a level: not modulatable
    float values[32];
    h.engine().getModRow(118, values);
    EXPECT_FLOAT_EQ(values[0], 0.5f);
    h.engine().fillModValues(5, 2); // falling ramp over 32 steps
    h.engine().getModRow(5, values);
    EXPECT_FLOAT_EQ(values[0], 1.0f);
    EXPECT_FLOAT_EQ(values[16], 0.5f);
    h.engine().fillModValues(5, 0);
    h.engine().getModRow(5, values);
    EXPECT_FLOAT_EQ(values[7], 0.5f);
    h.engine().registerModTag(6);
    h.engine().unregisterModTag(6);
    h.engine().unregisterAllModTags();
    h.engine().setModSequenceValue(0, 40, 0.2f); // step out of range: ignored
}

TEST(Patterns, ResetSequencerOnlyInInternalSync) {
    EngineHarness h;
    h.fillRow(0, {0});
    h.playInternal();
    h.render(10000);
    h.set(Brakka::kTagStop, 1.0f);
    h.engine().resetSequencer();
    std::vector<SentNote> notes;
    h.set(Brakka::kTagPlay, 0.25f); // rewinds without starting
    h.render(44100, &notes);
    EXPECT_TRUE(notes.empty());
}
