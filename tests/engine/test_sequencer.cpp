// The step clock as a host hears it: MIDI output timing in the three clock sources, the swing
// warp against its inverse, host sync with rounded positions and other time signatures, play and
// stop values, pattern switches, MIDI-note stepping, modulation at the step, random notes on their
// grid; incoming events at their own sample, whatever the block size.
#include "BrakkaRandom.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

using namespace brakka_test;

namespace {

const int kKick = kMIDInote[0], kSnare = kMIDInote[1];
const double kSixteenth = 5512.5; // samples at 120 BPM, 44100 Hz

std::vector<SentNote> play(EngineHarness& h, long frames, int note = -1) {
    std::vector<SentNote> notes;
    h.render(frames, &notes);
    return noteOns(notes, note);
}

void expectThirtySecondIntervals(const std::vector<SentNote>& ons, double rate = 44100.0) {
    for (size_t i = 1; i < ons.size(); ++i)
        EXPECT_NEAR(ons[i].position - ons[i - 1].position, rate / 16.0, 1.0);
}

} // namespace

TEST(Sequencer, InternalClockThirtySecondsAtEveryRate) {
    for (float rate : {44100.0f, 48000.0f}) {
        EngineHarness h(rate);
        h.set(kPatternTag, patternValue(1));
        h.fillRow(0);
        h.playInternal();
        std::vector<SentNote> notes;
        h.render((long)rate * 4, &notes);
        auto ons = noteOns(notes, kKick);
        ASSERT_GE(ons.size(), 63u);
        EXPECT_EQ(ons[0].position, 0); // the downbeat of a pattern that never played fires
        expectThirtySecondIntervals(ons, rate);
        // Every note-on has its note-off a thirty-second later, velocity 64, in that order.
        const int length = (int)(rate / 16.0);
        for (size_t i = 0; i + 1 < notes.size(); i += 2) {
            ASSERT_EQ(notes[i].status, 0x90);
            ASSERT_EQ(notes[i + 1].status, 0x80);
            EXPECT_EQ(notes[i + 1].position - notes[i].position, length);
            EXPECT_EQ(notes[i].noteLength, length);
            EXPECT_EQ(notes[i + 1].velocity, 64);
            EXPECT_EQ(notes[i].velocity, (int)(0.7f * 127.0));
        }
    }
}

TEST(Sequencer, SwingWarpMatchesItsInverseOnEveryThirtySecond) {
    for (float swing : {0.5f, 1.0f}) {
        const double s = (1.0 - swing) * 0.8 + 0.2;
        EngineHarness h;
        h.fillRow(0);
        h.set(kSwingTag, swing);
        h.playInternal();
        auto ons = play(h, 88200, kKick);
        ASSERT_EQ(ons.size(), 32u) << swing;
        for (size_t k = 0; k < ons.size(); ++k) {
            // The sample at which the swung clock reaches tick 3k: the warp's inverse.
            const double w = k / 2.0, pairs = std::floor(w / 2.0), u = w - 2.0 * pairs;
            const double f = u < s ? u / s : (u + 2.0 - 2.0 * s) / (2.0 - s);
            EXPECT_NEAR((double)ons[k].position, std::ceil((2.0 * pairs + f) * kSixteenth), 1.0)
                << "swing " << swing << " step " << k;
        }
    }
}

TEST(Sequencer, PlayStopAndTheirValues) {
    EngineHarness h;
    h.fillRow(0, {0});
    // Play 0.5 while stopped rewinds but does not start; 1.0 in MIDI sync does nothing at all.
    h.set(kSyncTag, syncValue(1));
    h.set(kPlayTag, 0.5f);
    EXPECT_TRUE(play(h, 4096).empty());
    h.set(kSyncTag, syncValue(2));
    h.set(kPlayTag, 1.0f);
    h.set(kPatternTag, patternValue(5)); // stopped: switches at once
    EXPECT_EQ(h.engine().getCurrentPattern(), 5);
    h.set(kPatternTag, patternValue(0));

    // Internal: 1.0 starts; 0.25 while playing rewinds at once; Stop 0.5 is not a stop.
    h.set(kSyncTag, syncValue(1));
    h.set(kPlayTag, 1.0f);
    ASSERT_EQ(play(h, 20000 - 4096).size(), 1u);
    h.set(kPlayTag, 0.25f);
    h.set(kStopTag, 0.5f);
    auto ons = play(h, 512);
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].position, 20000);

    // Stop resets Play and tells the host; Play again starts over from the downbeat.
    h.render(4000);
    h.host().clearRecords();
    h.set(kStopTag, 1.0f);
    auto automations = h.host().automations();
    ASSERT_EQ(automations.size(), 1u);
    EXPECT_EQ(automations[0].index, kPlayTag);
    EXPECT_EQ(automations[0].value, 0.0f);
    EXPECT_TRUE(play(h, 10000).empty());
    h.set(kPlayTag, 1.0f);
    ons = play(h, 512);
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].position, 34512);
}

TEST(Sequencer, HostSyncRoundedPositionsStopsAndSixEight) {
    EngineHarness h(44100.0f, 441);
    h.set(kPatternTag, patternValue(1)); // never played: its downbeat fires all the same
    h.fillRow(0);
    EXPECT_EQ(h.engine().getTempo(), 0.0f); // no host tempo reported yet
    // Positions rounded to 1/1920 quarter note, then off by up to six samples either way.
    std::mt19937 jitter(7);
    std::uniform_int_distribution<int> offset(-6, 6);
    h.beforeBlock = [&](long start, int) {
        double ppq =
            std::round(start * 2.0 / 44100.0 * 1920.0) / 1920.0 + offset(jitter) * 2.0 / 44100.0;
        h.host().setTimeInfo(true, start ? ppq : 0.0, 120.0);
    };
    auto ons = play(h, 44100 * 4);
    ASSERT_GE(ons.size(), 63u); // jitter may bring the 65th in
    ASSERT_LE(ons.size(), 65u);
    for (size_t k = 0; k < ons.size(); ++k)
        EXPECT_NEAR((double)ons[k].position, k * 2756.25, 1.0) << k;
    EXPECT_EQ(h.engine().getTempo(), 120.0f);

    // Stopped, or without time information, nothing plays.
    h.beforeBlock = [&](long, int) { h.host().setTimeInfo(false, 3.0, 120.0); };
    EXPECT_TRUE(play(h, 44100).empty());
    h.beforeBlock = [&](long, int) { h.host().clearTimeInfo(); };
    EXPECT_TRUE(play(h, 44100).empty());

    // 6/8: quarter notes count all the same; the note length is a thirty-second of an eighth.
    EngineHarness g;
    g.fillRow(0);
    g.beforeBlock = [&](long start, int) {
        g.host().setTimeInfo(true, start * 2.0 / 44100.0, 120.0, 6, 8);
    };
    ons = play(g, 44100 * 2);
    ASSERT_GE(ons.size(), 31u);
    expectThirtySecondIntervals(ons);
    EXPECT_EQ(ons[0].noteLength, 5512);
}

TEST(Sequencer, PatternSwitchesWaitForThePatternStart) {
    EngineHarness h;
    h.fillRow(0); // pattern 0: kick on every step
    h.set(kPatternTag, patternValue(1));
    h.fillRow(1); // pattern 1: snare 8 on every step, in sixteenths
    h.set(kStepSizeTag, stepSizeValue(3));
    h.set(kPatternTag, patternValue(0));
    h.host().setChunk(h.host().getChunk(true), true); // pattern 1 as stored, not as last played
    h.host().processLevel = 2; // in real time, where the switch takes its values at the tick
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(2756 * 9 + 100, &notes); // into step 9
    h.set(kPatternTag, patternValue(1));
    EXPECT_EQ(h.engine().getCurrentPattern(), 0);
    EXPECT_EQ(h.engine().getPendingPattern(), 1);
    const float stepSize = h.host().getParameter(kStepSizeTag);
    std::vector<int> told;
    h.host().hook = [&](VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                        float) -> std::optional<VstIntPtr> {
        if (opcode == audioMasterAutomate) told.push_back(index);
        return std::nullopt;
    };
    h.render(44100 * 3, &notes);
    h.host().hook = nullptr;
    auto snares = noteOns(notes, kSnare);
    ASSERT_EQ(noteOns(notes, kKick).size(), 32u);
    ASSERT_GE(snares.size(), 2u);
    EXPECT_EQ(snares[0].position, 88200); // one bar of 120 BPM
    EXPECT_NEAR(snares[1].position - snares[0].position, kSixteenth, 1.0);
    EXPECT_EQ(h.engine().getCurrentPattern(), 1);
    // The host hears of the values that changed with the pattern, and of no others.
    EXPECT_EQ(h.host().getParameter(kStepSizeTag), stepSizeValue(3));
    EXPECT_NE(stepSize, stepSizeValue(3));
    EXPECT_EQ(told, std::vector<int>{kStepSizeTag});
    // Back to pattern 0, queued three blocks before the next start (176400): too late to have
    // its values worked out ahead, so the start works them out itself.
    h.render(176400 - 1500 - (2756 * 9 + 100 + 44100 * 3));
    h.set(kPatternTag, patternValue(0));
    notes.clear();
    h.render(8000, &notes);
    const auto kicks = noteOns(notes, kKick);
    ASSERT_GE(kicks.size(), 2u);
    EXPECT_EQ(kicks[0].position, 176400);
    EXPECT_NEAR(kicks[1].position - kicks[0].position, 2756.25, 1.0);
    h.host().processLevel = 4;

    // Pattern notes from MIDI: stopped, at once; running, queued; velocity 0 is no note-on.
    h.set(kStopTag, 1.0f);
    h.host().sendMidi(0x90, 63, 100);
    h.host().process(1); // events act in the block that follows them
    EXPECT_EQ(h.engine().getCurrentPattern(), 3);
    h.set(kPlayTag, 1.0f);
    h.render(512);
    h.host().sendEvents({FakeHost::makeMidi(0x91, 65, 100), FakeHost::makeMidi(0x90, 66, 0)});
    h.host().process(1);
    EXPECT_EQ(h.engine().getCurrentPattern(), 3);
    EXPECT_EQ(h.engine().getPendingPattern(), 5);
    // A program selection drops the queued switch.
    h.host().dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(h.engine().getCurrentPattern(), 0);
    EXPECT_EQ(h.engine().getPendingPattern(), 0);
}

TEST(Sequencer, MIDINoteStepping) {
    EngineHarness h;
    h.fillRow(0, {0, 1, 31});
    // Sends notes, renders the block they belong to and returns the note-ons sent in it.
    auto step = [&](std::initializer_list<int> keys) {
        std::vector<VstMidiEvent> events;
        for (int key : keys)
            events.push_back(FakeHost::makeMidi(0x90, (unsigned char)key, 100));
        h.host().sendEvents(events);
        return play(h, 512);
    };
    EXPECT_TRUE(step({84}).empty()); // Internal/Host sync: nothing
    h.set(kSyncTag, syncValue(2));
    h.host().clearRecords();
    h.host().sendMidi(0x90, 86, 100); // rewind: step 0 fires, its note-off 1/16 s later
    h.host().process(512);
    auto out = h.host().midiOut();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].midiData[1], kKick);
    EXPECT_EQ(out[0].deltaFrames, 0);
    EXPECT_EQ(out[1].deltaFrames, 2756);
    EXPECT_EQ(step({84}).size(), 1u);
    EXPECT_EQ(h.engine().getCurrentStep(), 1);
    EXPECT_TRUE(step({84}).empty()); // step 2: no note
    step({86});
    EXPECT_EQ(step({83}).size(), 1u); // back from step 0 to 31
    EXPECT_EQ(h.engine().getCurrentStep(), 31);
    EXPECT_TRUE(play(h, 44100).empty());       // the clock does not move by itself
    EXPECT_EQ(step({86, 84}).size(), 2u);      // several steps in one list, all in their block
    EXPECT_EQ(h.engine().getCurrentStep(), 1); // in the host's order: rewind, then advance
}

TEST(Sequencer, ModulationAtTheStepAndOnlyThere) {
    // MIDI steps apply their modulation and strike whatever MIDI Output Only says; the clock
    // applies nothing while MIDI Output Only is on. Kick on bus B, pan hard left on step 0.
    EngineHarness stepped, clocked;
    for (EngineHarness* h : {&stepped, &clocked}) {
        h->set(kOutputTag + 0, outputBusValue(1));
        h->fillRow(0, {0});
        h->engine().setModSequenceValue(kPanTag + 0, 0, 0.0f);
        h->set(kMIDIOutputOnlyTag, 1.0f);
    }
    stepped.set(kSyncTag, syncValue(2));
    stepped.host().sendMidi(0x90, 86, 100);
    stepped.host().process(16); // the step acts in this block, MIDI Output Only still on
    clocked.playInternal();
    clocked.render(512);
    for (EngineHarness* h : {&stepped, &clocked})
        h->set(kMIDIOutputOnlyTag, 0.0f);
    EXPECT_GT(peak(stepped.renderChannel(2048, 2)), 0.01); // struck
    EXPECT_EQ(peak(stepped.host().output(3)), 0.0);        // with the step's pan: hard left
    stepped.engine().setProgram(0); // the table has the pan already; the voice gets it back
    stepped.host().sendMidi(0x90, kKick, 127);
    stepped.host().process(2048);
    EXPECT_GT(peak(stepped.host().output(3)), 0.01);
    EXPECT_EQ(peak(clocked.renderChannel(2048, 2)), 0.0); // the clock struck nothing
    clocked.host().sendMidi(0x90, kKick, 127); // and applied no pan: a direct hit is centred
    clocked.host().process(2048);
    EXPECT_GT(peak(clocked.host().output(3)), 0.01);
}

TEST(Sequencer, TheClockModulatesTheStruckVoicesSoundForItsStrike) {
    // The kick's tune at a base of 0.25, moved by the step by +0.5, sounds as a base of 0.75
    // that the step leaves where it is.
    EngineHarness moved, plain;
    for (EngineHarness* h : {&moved, &plain}) {
        h->set(kKickTuneTag, h == &moved ? 0.25f : 0.75f);
        h->fillRow(0, {2});
        h->engine().setModSequenceValue(kKickTuneTag, 2, h == &moved ? 0.75f : 0.5f);
        h->playInternal();
    }
    const std::vector<float> out = moved.renderChannel(22050, 0);
    EXPECT_GT(peak(out), 0.01);
    EXPECT_TRUE(out == plain.renderChannel(22050, 0));
}

TEST(Sequencer, RandomNotesOnTheirGridWithTheirVelocities) {
    // Steps of 8 ticks, random kicks every 6 ticks: ticks 6, 18, 30... fall inside steps and
    // take the velocity row at the current step; Random Velocity 1/127 truncates to 0 and is
    // sent as 1.
    EngineHarness h;
    h.set(kStepSizeTag, stepSizeValue(4));
    h.set(kRandomBeatsTag + 0, 1.0f);
    h.set(kRandomSizeTag + 0, 2.0f / 6.0f); // 6 ticks
    h.set(kRandomVelocityTag + 0, 0.0f);
    for (int s = 0; s < 32; ++s)
        h.engine().setVelocityValue(0, s, s == 3 ? 0.001f : 0.1f + 0.03f * s);
    h.playInternal();
    auto ons = play(h, 88200, kKick);
    ASSERT_EQ(ons.size(), 16u);
    float row[32];
    h.engine().getVelocityRow(0, row);
    for (int k = 0; k < 16; ++k) {
        EXPECT_NEAR((double)ons[k].position, 6 * k * 918.75, 1.0) << k;
        EXPECT_EQ(ons[k].velocity, std::max(1, (int)(row[6 * k / 8] * 127.0))) << k;
    }
}

namespace {

struct TimedEvent {
    long position;
    int status, data1, data2;
};

// Renders a MIDI part in blocks of `block` frames, each event sent with the block that holds it
// at its offset there; returns the twelve outputs one after the other, then the MIDI sent
// (status, note and absolute position).
std::vector<float> renderPart(const std::vector<TimedEvent>& part, bool midiSteps, int block) {
    EngineHarness h(44100.0f, block);
    h.fillRow(0, {0, 4, 8, 12});
    h.fillRow(6);
    h.set(kStepSizeTag, stepSizeValue(3)); // 16 sixteenths
    h.set(kPatternTag, patternValue(2));   // pattern 3 plays snares
    h.fillRow(1, {2, 6, 10, 14});
    h.set(kPatternTag, patternValue(0));
    h.set(kSwingTag, 0.6f);
    h.set(kSyncTag, syncValue(midiSteps ? 2 : 1));
    h.set(kPlayTag, 1.0f); // nothing in MIDI sync
    brakkaSeedRandom(7);
    std::vector<float> channels[13];
    size_t next = 0;
    for (long pos = 0; pos < 4 * 32768; pos += block) {
        std::vector<VstMidiEvent> events;
        for (; next < part.size() && part[next].position < pos + block; ++next) {
            const TimedEvent& e = part[next];
            events.push_back(FakeHost::makeMidi(e.status, e.data1, e.data2, e.position - pos));
        }
        if (!events.empty()) h.host().sendEvents(events);
        h.host().clearRecords();
        h.host().process(block);
        for (int c = 0; c < 12; ++c)
            channels[c].insert(channels[c].end(), h.host().output(c).begin(),
                               h.host().output(c).end());
        for (const VstMidiEvent& e : h.host().midiOut())
            channels[12].insert(channels[12].end(),
                                {(float)(unsigned char)e.midiData[0], (float)e.midiData[1],
                                 (float)(pos + e.deltaFrames)});
    }
    for (int c = 1; c < 13; ++c)
        channels[0].insert(channels[0].end(), channels[c].begin(), channels[c].end());
    return channels[0];
}

} // namespace

TEST(Sequencer, IncomingEventsActAtTheirSampleWhateverTheBlockSize) {
    // Drum notes, learnt tempo controllers, pattern-switch notes and MIDI steps at offsets
    // inside blocks, several on one sample, against the sequencer's own steps. Controller 20
    // drives the tempo: learnt before, read from the assignments file.
    ConfigFolder config;
    std::filesystem::create_directories(config.file.parent_path());
    std::ofstream(config.file) << kTempoTag << " 20\n";
    const std::vector<TimedEvent> clocked = {
        {0, 0xB0, 20, 64},     {1, 0xB0, 20, 66},      {301, 0x90, 38, 100},
        {4999, 0x90, 46, 90},  {5000, 0x90, 42, 80},   {5000, 0x90, 36, 127},
        {8000, 0x90, 42, 100}, {20001, 0x90, 62, 100}, {30003, 0xB0, 20, 110},
        {33333, 0x90, 36, 60}, {33333, 0xB0, 20, 90},  {61111, 0x90, 39, 70},
        {70000, 0xB0, 20, 10}, {99999, 0x90, 60, 100}, {123457, 0x90, 51, 100}};
    const std::vector<TimedEvent> stepped = {
        {0, 0xB0, 20, 64},     {1, 0xB0, 20, 64},      {100, 0x90, 86, 100},
        {3001, 0x90, 84, 100}, {3001, 0x90, 84, 100},  {9000, 0x90, 62, 100},
        {9000, 0x90, 86, 100}, {20002, 0x90, 83, 90},  {20002, 0x90, 36, 127},
        {44444, 0x90, 36, 50}, {44444, 0x90, 84, 100}, {60000, 0x90, 84, 100},
        {90001, 0x90, 42, 100}};
    for (bool midiSteps : {false, true}) {
        const auto& part = midiSteps ? stepped : clocked;
        const std::vector<float> reference = renderPart(part, midiSteps, 32);
        EXPECT_GT(peak(reference), 0.01);
        for (int block : {64, 512, 4096})
            EXPECT_TRUE(renderPart(part, midiSteps, block) == reference)
                << (midiSteps ? "MIDI steps" : "internal clock") << ", block " << block;
    }
}
