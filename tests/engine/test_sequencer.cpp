// The step clock as a host hears it: MIDI output timing in the three clock sources, swing, host
// sync with rounded positions and other time signatures, pattern switches, MIDI-note stepping,
// random notes on their grid.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace brakka_test;

namespace {

const int kKick = 36;
const int kSnare8 = 38;

// Differences between consecutive positions.
std::vector<long> intervals(const std::vector<SentNote>& ons) {
    std::vector<long> d;
    for (size_t i = 1; i < ons.size(); ++i)
        d.push_back(ons[i].position - ons[i - 1].position);
    return d;
}

int noteOnsOf(const std::vector<VstMidiEvent>& events) {
    int n = 0;
    for (const VstMidiEvent& e : events)
        n += (unsigned char)e.midiData[0] == 0x90;
    return n;
}

} // namespace

TEST(Sequencer, InternalClockThirtySecondsAt120) {
    EngineHarness h;
    h.fillRow(0);
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(44100 * 4, &notes);
    auto ons = noteOns(notes, kKick);
    ASSERT_GE(ons.size(), 63u);
    EXPECT_EQ(ons[0].position, 0); // the downbeat fires
    for (long d : intervals(ons))
        EXPECT_TRUE(d == 2756 || d == 2757) << d;
    // Every note-on has its note-off 2756 samples later, velocity 64, in the order on, off.
    for (size_t i = 0; i + 1 < notes.size(); i += 2) {
        ASSERT_EQ(notes[i].status, 0x90);
        ASSERT_EQ(notes[i + 1].status, 0x80);
        EXPECT_EQ(notes[i + 1].position - notes[i].position, 2756);
        EXPECT_EQ(notes[i].noteLength, 2756);
        EXPECT_EQ(notes[i + 1].velocity, 64);
        EXPECT_EQ(notes[i].velocity, (int)(0.7f * 127.0));
    }
    // One event per host call.
    EXPECT_EQ(h.host().midiOutLists(), 0); // records were cleared per block
}

TEST(Sequencer, PlayStopAndRewind) {
    EngineHarness h;
    h.fillRow(0);
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(10000, &notes);
    EXPECT_EQ(noteOns(notes).size(), 4u); // 0, 2756, 5512, 8268
    h.host().clearRecords();
    h.set(Brakka::kTagStop, 1.0f);
    auto automations = h.host().automations();
    ASSERT_EQ(automations.size(), 1u);
    EXPECT_EQ(automations[0].index, Brakka::kTagPlay);
    EXPECT_EQ(automations[0].value, 0.0f);
    EXPECT_EQ(h.get(Brakka::kTagPlay), 0.0f);
    notes.clear();
    h.render(10000, &notes);
    EXPECT_TRUE(notes.empty());
    // Play again rewinds to the start and fires the downbeat at once.
    h.set(Brakka::kTagPlay, 1.0f);
    h.render(512, &notes);
    auto ons = noteOns(notes);
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].position, 20000);
}

TEST(Sequencer, SwingDelaysOddSixteenths) {
    EngineHarness h;
    h.fillRow(0);
    h.set(Brakka::kTagStepSize, stepSizeValue(3)); // "1 x 16"
    h.set(Brakka::kTagSwing, 1.0f);                // 100 %
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(44100 * 2, &notes);
    auto ons = noteOns(notes);
    ASSERT_GE(ons.size(), 15u);
    const double sixteenth = 5512.5;
    for (size_t k = 0; k < ons.size(); ++k) {
        double expected = k * sixteenth + (k % 2 ? sixteenth * 0.8 / 1.8 : 0.0);
        EXPECT_NEAR((double)ons[k].position, expected, 1.5) << k;
    }
}

TEST(Sequencer, HostSyncFollowsRoundedPositionsWithoutDoubles) {
    EngineHarness h(44100.0f, 512);
    h.fillRow(0);
    const double tempo = 120.0;
    std::mt19937 jitter(7);
    std::uniform_int_distribution<int> offset(-6, 6);
    h.beforeBlock = [&](long start, int) {
        double exact = start * tempo / 60.0 / 44100.0;
        // Rounded to 1/1920 quarter note, then off by up to six samples either way.
        double ppq = std::round(exact * 1920.0) / 1920.0 + offset(jitter) * tempo / 60.0 / 44100.0;
        if (start == 0) ppq = 0.0; // the first rolling block starts exactly at 0
        h.host().setTimeInfo(FakeHost::makeTimeInfo(true, ppq, tempo));
    };
    std::vector<SentNote> notes;
    h.render(44100 * 4, &notes);
    auto ons = noteOns(notes);
    // 4 s at 120 BPM = 8 quarters = 64 thirty-seconds; jitter may bring the 65th in.
    ASSERT_GE(ons.size(), 63u);
    ASSERT_LE(ons.size(), 65u);
    for (size_t k = 0; k < ons.size(); ++k)
        EXPECT_NEAR((double)ons[k].position, k * 2756.25, 1.0) << k;
    EXPECT_EQ(h.engine().getTempo(), 120.0f);
    EXPECT_FALSE(h.host().timeRequests().empty());
    EXPECT_EQ(h.host().timeRequests().back(), 0x602);
}

TEST(Sequencer, HostSyncFollowsJumpsAndStops) {
    EngineHarness h(44100.0f, 441);
    h.fillRow(0);
    double ppq = 0.0;
    bool playing = true;
    h.beforeBlock = [&](long, int frames) {
        h.host().setTimeInfo(FakeHost::makeTimeInfo(playing, ppq, 120.0));
        if (playing) ppq += frames * 2.0 / 44100.0;
    };
    std::vector<SentNote> notes;
    h.render(4410, &notes); // 0.1 s: steps at 0, 2756
    EXPECT_EQ(noteOns(notes).size(), 2u);
    notes.clear();
    ppq = 3.0; // relocation: a quarter-note boundary, step 24
    h.render(441, &notes);
    ASSERT_EQ(noteOns(notes).size(), 1u);
    EXPECT_EQ(noteOns(notes)[0].position, 4410);
    notes.clear();
    playing = false;
    h.render(44100, &notes);
    EXPECT_TRUE(notes.empty());
    // No time information at all: the transport counts as stopped.
    h.beforeBlock = [&](long, int) { h.host().clearTimeInfo(); };
    h.render(44100, &notes);
    EXPECT_TRUE(notes.empty());
}

TEST(Sequencer, HostSyncCountsQuarterNotesInSixEight) {
    EngineHarness h;
    h.fillRow(0);
    h.beforeBlock = [&](long start, int) {
        h.host().setTimeInfo(FakeHost::makeTimeInfo(true, start * 2.0 / 44100.0, 120.0, 6, 8));
    };
    std::vector<SentNote> notes;
    h.render(44100 * 2, &notes);
    auto ons = noteOns(notes);
    ASSERT_GE(ons.size(), 31u);
    for (long d : intervals(ons))
        EXPECT_TRUE(d == 2756 || d == 2757) << d;
    // The note length follows the beat unit: a thirty-second of an eighth-note beat.
    EXPECT_EQ(ons[0].noteLength, 5512);
}

TEST(Sequencer, PatternSwitchWaitsForThePatternStart) {
    EngineHarness h;
    h.fillRow(0); // pattern 0: kick on every step
    h.set(Brakka::kTagPattern, patternValue(1));
    h.fillRow(1); // pattern 1: snare 8 on every step
    h.set(Brakka::kTagPattern, patternValue(0));
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(2756 * 9 + 100, &notes); // into step 9
    h.set(Brakka::kTagPattern, patternValue(1));
    EXPECT_EQ(h.engine().getCurrentPattern(), 0);
    EXPECT_EQ(h.engine().getPendingPattern(), 1);
    h.render(44100 * 3, &notes);
    auto kicks = noteOns(notes, kKick);
    auto snares = noteOns(notes, kSnare8);
    ASSERT_EQ(kicks.size(), 32u);
    ASSERT_FALSE(snares.empty());
    EXPECT_EQ(snares[0].position, 88200); // one bar of 120 BPM
    EXPECT_LT(kicks.back().position, snares[0].position);
    EXPECT_EQ(h.engine().getCurrentPattern(), 1);
}

TEST(Sequencer, PatternNotesFromMIDI) {
    EngineHarness h;
    h.host().sendMidi(0x90, 63, 100); // stopped: switches at once
    EXPECT_EQ(h.engine().getCurrentPattern(), 3);
    h.playInternal();
    h.render(512);
    h.host().sendMidi(0x91, 65, 100); // any channel; running: queued
    EXPECT_EQ(h.engine().getCurrentPattern(), 3);
    EXPECT_EQ(h.engine().getPendingPattern(), 5);
    h.host().sendMidi(0x90, 66, 0); // velocity 0 is no note-on
    EXPECT_EQ(h.engine().getPendingPattern(), 5);
}

TEST(Sequencer, MIDINoteStepping) {
    EngineHarness h;
    h.fillRow(0, {0, 1, 31});
    // Sends a note, renders the block it belongs to and returns the MIDI sent in that block.
    auto step = [&](int note) {
        h.host().clearRecords();
        h.host().sendMidi(0x90, (unsigned char)note, 100);
        h.host().process(512);
        return h.host().midiOut();
    };
    EXPECT_TRUE(step(84).empty()); // Internal/Host sync: nothing

    h.set(Brakka::kTagSync, syncValue(2));
    auto out = step(86); // rewind: step 0 fires
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].midiData[1], kKick);
    EXPECT_EQ(out[0].deltaFrames, 0);
    EXPECT_EQ(out[1].deltaFrames, 2756); // 1/16 s at 44100
    EXPECT_EQ(h.engine().getCurrentStep(), 0);

    EXPECT_EQ(step(84).size(), 2u);
    EXPECT_EQ(h.engine().getCurrentStep(), 1);
    EXPECT_TRUE(step(84).empty()); // step 2: no note
    EXPECT_EQ(h.engine().getCurrentStep(), 2);
    step(86);
    EXPECT_EQ(step(83).size(), 2u); // back from step 0 to 31
    EXPECT_EQ(h.engine().getCurrentStep(), 31);
    EXPECT_TRUE(step(85).empty());
    // The clock does not move by itself.
    h.host().clearRecords();
    h.render(44100);
    EXPECT_TRUE(h.host().midiOut().empty());
    // Several steps in one event list all reach the host in the next block.
    h.host().clearRecords();
    h.host().sendEvents({FakeHost::makeMidi(0x90, 86, 100), FakeHost::makeMidi(0x90, 84, 100)});
    EXPECT_TRUE(h.host().midiOut().empty());
    h.host().process(512);
    EXPECT_EQ(noteOnsOf(h.host().midiOut()), 2);
}

TEST(Sequencer, RandomNotesOnTheirGridWithNonZeroVelocity) {
    EngineHarness h;
    h.set(Brakka::kTagRandomBeats + 0, 1.0f);       // 100 %
    h.set(Brakka::kTagRandomSize + 0, 4.0f / 6.0f); // "1/8": 12 ticks
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(44100 * 2, &notes);
    auto ons = noteOns(notes, kKick);
    ASSERT_GE(ons.size(), 7u);
    for (size_t k = 0; k < ons.size(); ++k) {
        EXPECT_NEAR((double)ons[k].position, k * 11025.0, 1.0);
        EXPECT_GE(ons[k].velocity, 1); // Random Velocity 1/127 truncates to 0: sent as 1
    }
}

TEST(Sequencer, RandomVelocityZeroTakesTheVelocityRow) {
    EngineHarness h;
    for (int s = 0; s < 32; ++s)
        h.engine().setVelocityValue(0, s, 0.5f);
    h.set(Brakka::kTagRandomBeats + 0, 1.0f);
    h.set(Brakka::kTagRandomSize + 0, 2.0f / 6.0f); // "1/16"
    h.set(Brakka::kTagRandomVelocity + 0, 0.0f);
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(44100, &notes);
    auto ons = noteOns(notes, kKick);
    ASSERT_GE(ons.size(), 7u);
    for (const SentNote& n : ons)
        EXPECT_EQ(n.velocity, 63);
}

TEST(Sequencer, SelectedBeatsZeroNeverPlays) {
    EngineHarness h;
    h.fillRow(0);
    h.set(Brakka::kTagSelectedBeats + 0, 0.0f);
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(44100, &notes);
    EXPECT_TRUE(notes.empty());
}

TEST(Sequencer, ModulationIsAppliedBeforeTheTrigger) {
    // Kick on bus B; the same hit with the level modulated... the kick's click level is
    // modulated to its minimum on step 1: the two hits differ.
    EngineHarness h;
    h.set(Brakka::kTagOutput + 0, outputBusValue(1));
    h.fillRow(0, {0, 16});
    h.engine().setModSequenceValue(12, 16, 0.0f); // Kickdrum Click Level at step 16: minimum
    h.playInternal();
    std::vector<float> first = h.renderChannel(2000, 2);
    h.render(2756 * 16 - 2000);
    std::vector<float> second = h.renderChannel(2000, 2);
    double d = 0.0;
    for (size_t i = 0; i < first.size(); ++i)
        d = std::max(d, (double)std::fabs(first[i] - second[i]));
    EXPECT_GT(d, 1e-3);
}

TEST(Sequencer, PlaybackStartFiresTheDownbeatOfAFreshPattern) {
    // Pattern 1 has never played: its clock sits at tick 0, step 0. Starting must still fire
    // step 0, in Internal and in Host sync.
    for (int sync : {1, 0}) {
        EngineHarness h;
        h.set(Brakka::kTagPattern, patternValue(1));
        h.fillRow(0, {0});
        h.set(Brakka::kTagSync, syncValue(sync));
        if (sync == 1) h.set(Brakka::kTagPlay, 1.0f);
        h.beforeBlock = [&](long start, int) {
            h.host().setTimeInfo(FakeHost::makeTimeInfo(true, start * 2.0 / 44100.0, 120.0));
        };
        std::vector<SentNote> notes;
        h.render(2048, &notes);
        auto ons = noteOns(notes, kKick);
        ASSERT_EQ(ons.size(), 1u) << "sync " << sync;
        EXPECT_EQ(ons[0].position, 0);
    }
}
