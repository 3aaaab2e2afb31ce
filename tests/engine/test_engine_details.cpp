// Details of the engine checked one by one: the swing warp against its inverse, random notes
// between steps, what happens at a pattern start and in which order the editor hears of it,
// per-step modulation in MIDI-step mode, transport edge values, bus numbers, the output
// compressor's settings, the absolute pan law, probabilities, and a program load that must not
// act on stored one-shot switches.
#include "BrakkaPatternDictionary.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace brakka_test;

namespace {

const int kKick = 36;
const double kSixteenth = 5512.5; // samples at 120 BPM, 44100 Hz

struct RecordingEditor : BrakkaEditorInterface {
    std::vector<std::string> events;
    void add(const char* what, int n) { events.push_back(std::string(what) + std::to_string(n)); }
    void setCurrentStep(int step) override { add("step ", step); }
    void noteRowChanged(int voice, const unsigned char*) override { add("notes ", voice); }
    void modRowChanged(int tag) override { add("mod ", tag); }
    void patternChanged(int pattern) override { add("pattern ", pattern); }
    void setPendingPattern(int pattern) override { add("pending ", pattern); }
    void highlightControl(int, bool) override {}
    void setParameter(int, float) override {}
    // The events from the last occurrence of `from` on (all of them when absent).
    std::vector<std::string> since(const std::string& from) const {
        for (size_t i = events.size(); i-- > 0;)
            if (events[i] == from)
                return std::vector<std::string>(events.begin() + i, events.end());
        return events;
    }
};

// Replaces the current program's sixteen patterns through the pattern import; every pattern
// value at its default except those `value` overrides (return < 0 to keep the default).
void importPatterns(EngineHarness& h, std::vector<BrakkaSequencer>& patterns,
                    float (*value)(int pattern, unsigned tag) = nullptr) {
    BrakkaParameterManager table;
    BrakkaPatternDictionary dict;
    for (int p = 0; p < 16; ++p) {
        std::vector<char> block(patterns[p].getSize(false));
        patterns[p].getAllData(block.data());
        dict.blocks["Pattern " + std::to_string(p)] = block;
        for (unsigned tag : table.getPatternTags()) {
            float v = value ? value(p, tag) : -1.0f;
            dict.numbers["S" + std::to_string(p) + "T" + std::to_string(tag)] =
                v < 0.0f ? table.getVSTvalue(tag) : v;
        }
    }
    const BrakkaPatternDictionary* ref = &dict;
    ASSERT_EQ(h.engine().vendorSpecific(Brakka::kOpcodeImportPatterns, 0, &ref, 0.0f), 0);
}

std::vector<BrakkaSequencer> blankPatterns() {
    BrakkaParameterManager table;
    std::vector<BrakkaSequencer> patterns(16);
    for (BrakkaSequencer& p : patterns)
        p.initModulators(table.getModulatableTags());
    return patterns;
}

// Sample at which the warped clock reaches `tick`: the inverse of the swing warp.
double swungPosition(int tick, double s) {
    const double w = tick / 6.0; // warped sixteenths
    const double k = std::floor(w / 2.0);
    const double u = w - 2.0 * k;
    const double f = u < s ? u / s : (u + 2.0 - 2.0 * s) / (2.0 - s);
    return (2.0 * k + f) * kSixteenth;
}

} // namespace

TEST(EngineDetails, SwingWarpMatchesItsInverseOnEveryThirtySecond) {
    for (float swing : {0.5f, 1.0f}) {
        const double s = (1.0 - swing) * 0.8 + 0.2;
        EngineHarness h;
        h.fillRow(0);
        h.set(Brakka::kTagSwing, swing);
        h.playInternal();
        std::vector<SentNote> notes;
        h.render(88200, &notes);
        auto ons = noteOns(notes, kKick);
        ASSERT_EQ(ons.size(), 32u) << swing;
        for (size_t k = 0; k < ons.size(); ++k)
            EXPECT_NEAR((double)ons[k].position, std::ceil(swungPosition(3 * (int)k, s)), 1.0)
                << "swing " << swing << " step " << k;
        // The off-beat sixteenth (tick 6) comes (1 - s) / (2 - s) of a sixteenth late.
        EXPECT_NEAR(ons[2].position - kSixteenth, kSixteenth * (1.0 - s) / (2.0 - s), 1.0);
    }
}

TEST(EngineDetails, RandomNotesBetweenStepsTakeTheRowAtTheCurrentStep) {
    // Steps of 8 ticks, random notes every 6 ticks: ticks 6, 18, 30... fall inside steps.
    EngineHarness h;
    h.set(Brakka::kTagStepSize, stepSizeValue(4));
    h.set(Brakka::kTagRandomBeats + 0, 1.0f);
    h.set(Brakka::kTagRandomSize + 0, 2.0f / 6.0f); // 6 ticks
    h.set(Brakka::kTagRandomVelocity + 0, 0.0f);
    for (int s = 0; s < 32; ++s)
        h.engine().setVelocityValue(0, s, 0.1f + 0.03f * s);
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(88200, &notes);
    auto ons = noteOns(notes, kKick);
    ASSERT_EQ(ons.size(), 16u);
    float row[32];
    h.engine().getVelocityRow(0, row);
    for (int k = 0; k < 16; ++k) {
        const int tick = 6 * k;
        EXPECT_NEAR((double)ons[k].position, tick * 918.75, 1.0) << tick;
        EXPECT_EQ(ons[k].velocity, (int)(row[tick / 8] * 127.0)) << tick;
    }
    // With a Random Velocity of its own, every random note takes it.
    h.set(Brakka::kTagStop, 1.0f);
    h.set(Brakka::kTagRandomVelocity + 0, 0.5f);
    h.set(Brakka::kTagPlay, 1.0f);
    notes.clear();
    h.render(88200, &notes);
    for (const SentNote& n : noteOns(notes, kKick))
        EXPECT_EQ(n.velocity, 63);
}

TEST(EngineDetails, PatternStartOrderAndEditorNotifications) {
    EngineHarness h;
    std::vector<BrakkaSequencer> patterns = blankPatterns();
    patterns[0].setNote(0, 0, 255);
    // Pattern 1: Mid Tom (voice 4) refills its velocities and its tune row (tag 43) at every
    // start; Snare 9 (2) and Mid Tom are re-randomized by Random Reset.
    patterns[1].setVelocityRandomOnLoop(4, true);
    patterns[1].registerModTag(43);
    patterns[1].setModRandomOnLoop(43, true);
    importPatterns(h, patterns, [](int p, unsigned tag) {
        return p == 1 && (tag == Brakka::kTagRandomReset + 2 || tag == Brakka::kTagRandomReset + 4)
                   ? 1.0f
                   : -1.0f;
    });
    RecordingEditor editor;
    h.engine().setEditorInterface(&editor);
    h.playInternal();
    h.render(512);
    h.set(Brakka::kTagPattern, patternValue(1));
    EXPECT_EQ(editor.events.back(), "pending 1");
    h.render(88200 - 512 + 100);

    // The switch (the new pattern's values, its rows, the pattern), then the refills in voice
    // order, then the step.
    std::vector<std::string> tail = editor.since("pattern 1");
    EXPECT_EQ(tail, (std::vector<std::string>{"pattern 1", "notes 2", "notes 4", "mod -1", "mod 43",
                                              "step 0"}));
    const size_t at = editor.events.size() - tail.size();
    ASSERT_GE(at, 13u);
    EXPECT_EQ(editor.events[at - 13], "notes 0");
    EXPECT_EQ(editor.events[at - 1], "mod 652");
    float row[32];
    h.engine().getModRow(43, row);
    int moved = 0;
    for (float x : row)
        moved += x != 0.5f;
    EXPECT_GT(moved, 20);

    // MIDI Output Only: the clock's pattern start leaves the modulation rows alone...
    h.set(Brakka::kTagMIDIOutputOnly, 1.0f);
    h.render(88200);
    EXPECT_EQ(editor.since("notes 2"),
              (std::vector<std::string>{"notes 2", "notes 4", "mod -1", "step 0"}));
    // ...but a MIDI step's pattern start refills them whatever MIDI Output Only says.
    h.set(Brakka::kTagSync, syncValue(2));
    h.host().sendMidi(0x90, 86, 100);
    EXPECT_EQ(editor.since("notes 2"),
              (std::vector<std::string>{"notes 2", "notes 4", "mod -1", "mod 43", "step 0"}));
    h.engine().setEditorInterface(nullptr);
}

TEST(EngineDetails, MIDIStepsModulateAndStrikeWhateverMIDIOutputOnlySays) {
    // Kick on bus B with its pan modulated hard left on step 0.
    auto setUp = [](EngineHarness& h) {
        h.set(Brakka::kTagOutput + 0, outputBusValue(1));
        h.fillRow(0, {0});
        h.engine().setModSequenceValue(Brakka::kTagPan + 0, 0, 0.0f);
        h.set(Brakka::kTagMIDIOutputOnly, 1.0f);
    };
    EngineHarness stepped, clocked;
    setUp(stepped);
    setUp(clocked);
    stepped.set(Brakka::kTagSync, syncValue(2));
    stepped.host().sendMidi(0x90, 86, 100);
    clocked.playInternal();
    clocked.render(512);
    for (EngineHarness* h : {&stepped, &clocked})
        h->set(Brakka::kTagMIDIOutputOnly, 0.0f);
    std::vector<float> left = stepped.renderChannel(2048, 2);
    EXPECT_GT(peak(left), 0.01);                          // struck
    EXPECT_EQ(peak(stepped.host().output(3)), 0.0);       // with the step's pan: hard left
    EXPECT_EQ(peak(clocked.renderChannel(2048, 2)), 0.0); // the clock struck nothing
    // The clock applied no modulation either: a direct hit is still centred.
    clocked.host().sendMidi(0x90, kKick, 127);
    clocked.host().process(2048);
    EXPECT_GT(peak(clocked.host().output(3)), 0.01);
}

TEST(EngineDetails, PlayStopClearAndFillActOnlyOnTheirValues) {
    EngineHarness h;
    h.fillRow(0, {0});
    // Play 0.5 while stopped rewinds but does not start; 1.0 in MIDI sync does nothing at all.
    h.set(Brakka::kTagSync, syncValue(1));
    h.set(Brakka::kTagPlay, 0.5f);
    std::vector<SentNote> notes;
    h.render(4096, &notes);
    EXPECT_TRUE(notes.empty());
    h.set(Brakka::kTagSync, syncValue(2));
    h.set(Brakka::kTagPlay, 1.0f);
    h.set(Brakka::kTagPattern, patternValue(5)); // stopped: switches at once
    EXPECT_EQ(h.engine().getCurrentPattern(), 5);
    h.set(Brakka::kTagPattern, patternValue(0));

    // Internal: 1.0 starts; 0.25 while playing rewinds at once; Stop 0.5 is not a stop.
    h.set(Brakka::kTagSync, syncValue(1));
    h.set(Brakka::kTagPlay, 1.0f);
    h.render(20000 - 4096, &notes);
    ASSERT_EQ(noteOns(notes).size(), 1u);
    h.set(Brakka::kTagPlay, 0.25f);
    h.set(Brakka::kTagStop, 0.5f);
    h.render(512, &notes);
    ASSERT_EQ(noteOns(notes).size(), 2u);
    EXPECT_EQ(noteOns(notes)[1].position, 20000 - 4096 + 4096);

    // Clear and Random Fill only at exactly 1.0.
    h.set(Brakka::kTagClear + 0, 0.999f);
    h.set(Brakka::kTagRandomFill + 3, 0.999f);
    unsigned char row[32];
    h.engine().getNoteRow(0, row);
    EXPECT_EQ(row[0], 255);
    h.engine().getNoteRow(3, row);
    for (unsigned char b : row)
        EXPECT_EQ(b, 0);
}

TEST(EngineDetails, OutputBusesTruncateLinearAndRoundIntegerOutputs) {
    // Kickdrum (linear law): natural 0.95 is still bus A. Rimshot (integer law): normalized
    // 0.15 reads 1, bus B.
    struct Case {
        int voice, note;
        float value;
        int bus;
    };
    for (const Case& c : {Case{0, 36, 0.19f, 0}, Case{0, 36, 0.21f, 1}, Case{9, 37, 0.09f, 0},
                          Case{9, 37, 0.15f, 1}}) {
        EngineHarness h;
        h.set(Brakka::kTagOutput + c.voice, c.value);
        h.host().sendMidi(0x90, (unsigned char)c.note, 127);
        h.host().process(2048);
        for (int b = 0; b < 6; ++b)
            EXPECT_EQ(peak(h.host().output(2 * b)) > 0.0, b == c.bus)
                << "voice " << c.voice << " value " << c.value << " bus " << b;
    }
}

TEST(EngineDetails, CompressorSettingsAndOutputAOnBusAOnly) {
    // A quiet kick stays below the threshold: bus A then carries it at the input and output
    // gains, 10 x 0.5 + 18 x 0.5 = 14 dB, against the raw bus B.
    EngineHarness a, b;
    for (EngineHarness* h : {&a, &b}) {
        h->set(Brakka::kTagLevel + 0, 0.2f);
        h->set(Brakka::kTagCompressor, 0.5f);
        h->set(Brakka::kTagOutputA, 0.5f); // does not touch bus B
    }
    b.set(Brakka::kTagOutput + 0, outputBusValue(1));
    BrakkaParameterManager table;
    a.set(Brakka::kTagOutputA, table.getVSTvalue(Brakka::kTagOutputA)); // default: 0 dB
    // The detector starts at 0 dB: let it fall below the threshold first.
    a.render(44100);
    b.render(44100);
    a.host().sendMidi(0x90, kKick, 127);
    b.host().sendMidi(0x90, kKick, 127);
    std::vector<float> compressed = a.renderChannel(4096, 0);
    std::vector<float> raw = b.renderChannel(4096, 2);
    ASSERT_GT(peak(raw), 1e-4);
    ASSERT_LT(peak(raw) * 5.0, std::pow(10.0, -15.0 / 20.0)); // below -15 dB after +5 dB
    for (size_t i = 0; i < raw.size(); ++i)
        EXPECT_NEAR(compressed[i], raw[i] * std::pow(10.0, 14.0 / 20.0), 1e-5) << i;
}

TEST(EngineDetails, PanLawGainsOfTheCentre) {
    EngineHarness centre, left;
    for (EngineHarness* h : {&centre, &left})
        h->set(Brakka::kTagOutput + 0, outputBusValue(1));
    left.set(Brakka::kTagPan + 0, 0.0f); // k = 0: gains 1 and 0
    for (EngineHarness* h : {&centre, &left}) {
        h->host().sendMidi(0x90, kKick, 127);
        h->host().process(2048);
    }
    const std::vector<float> x = left.host().output(2);
    const std::vector<float> l = centre.host().output(2), r = centre.host().output(3);
    ASSERT_GT(peak(x), 0.01);
    for (size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(l[i], x[i] * 0.70822, 1e-5 + std::fabs(x[i]) * 1e-5);
        EXPECT_NEAR(r[i], x[i] * 0.70600, 1e-5 + std::fabs(x[i]) * 1e-5);
    }
}

TEST(EngineDetails, ProbabilitiesScaleToTheRandomRange) {
    // Selected Beats 50 % on a full row, Random Beats 50 % on eighths of an empty row: about
    // half of 640 steps and of 160 eligible ticks play (bounds at four standard deviations).
    EngineHarness h;
    h.fillRow(0);
    h.set(Brakka::kTagSelectedBeats + 0, 0.5f);
    h.set(Brakka::kTagRandomBeats + 1, 0.5f);
    h.set(Brakka::kTagRandomSize + 1, 4.0f / 6.0f); // 12 ticks
    h.set(Brakka::kTagMIDIOutputOnly, 1.0f);        // notes only: fast
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(88200 * 20 - 100, &notes);
    const size_t kicks = noteOns(notes, kKick).size(), snares = noteOns(notes, 38).size();
    EXPECT_GT(kicks, 270u);
    EXPECT_LT(kicks, 370u);
    EXPECT_GT(snares, 55u);
    EXPECT_LT(snares, 105u);
}

TEST(EngineDetails, ProgramLoadDoesNotFireStoredClearOrRandomFill) {
    // Program 1 keeps Clear and Random Fill of the kick at 1.0 (a host wrote them and left
    // them). Loading it must not wipe or scramble any row, least of all program 0's.
    EngineHarness h;
    h.host().dispatch(effSetProgram, 0, 1);
    h.set(Brakka::kTagClear + 0, 1.0f);
    h.set(Brakka::kTagRandomFill + 1, 1.0f);
    h.fillRow(0, {0, 8});
    h.host().dispatch(effSetProgram, 0, 0);
    h.fillRow(0, {4});
    h.host().dispatch(effSetProgram, 0, 1);
    unsigned char row[32];
    h.engine().getNoteRow(0, row);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[8], 255);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagClear + 0), 1.0f); // the value itself is kept
    h.host().dispatch(effSetProgram, 0, 0);
    h.engine().getNoteRow(0, row);
    EXPECT_EQ(row[4], 255);
    h.engine().getNoteRow(1, row);
    for (unsigned char b : row)
        EXPECT_EQ(b, 0);
}

TEST(EngineDetails, RandomNotesInsideAStepBringNoModulation) {
    // Steps of 8 ticks, random notes on eighths (12 ticks): tick 12 lies inside step 1, whose
    // pan modulation is hard left. Only a step's own firing applies its modulation, so the
    // kick struck at tick 12 stays centred.
    EngineHarness h;
    h.set(Brakka::kTagOutput + 0, outputBusValue(1));
    h.set(Brakka::kTagStepSize, stepSizeValue(4));
    h.set(Brakka::kTagRandomBeats + 0, 1.0f);
    h.set(Brakka::kTagRandomSize + 0, 4.0f / 6.0f);
    h.set(Brakka::kTagRandomVelocity + 0, 1.0f);
    h.engine().setModSequenceValue(Brakka::kTagPan + 0, 1, 0.0f);
    h.playInternal();
    std::vector<SentNote> notes;
    h.render(11025 + 64, &notes);
    ASSERT_EQ(noteOns(notes, kKick).size(), 2u); // ticks 0 and 12
    EXPECT_GT(peak(h.renderChannel(4096, 3)), 1e-3);
}

TEST(EngineDetails, TempoAndPasteBeforeAnyCopy) {
    EngineHarness h;
    h.set(Brakka::kTagSync, syncValue(0));
    EXPECT_EQ(h.engine().getTempo(), 0.0f); // no host tempo reported yet
    h.set(Brakka::kTagSync, syncValue(1));
    h.set(Brakka::kTagTempo, 0.5f);
    EXPECT_EQ(h.engine().getTempo(), 150.0f);
    // Paste before any copy: the clipboard's default pattern, without notes.
    h.fillRow(3);
    h.engine().pattern_paste();
    unsigned char row[32];
    h.engine().getNoteRow(3, row);
    for (unsigned char b : row)
        EXPECT_EQ(b, 0);
}

TEST(EngineDetails, CompressorAttackReachesTheCompressorInSeconds) {
    // Full compression (+10 dB in, threshold -30 dB): with the shortest attack (1 ms) the
    // detector catches the kick within its first peaks; with ten seconds it hardly moves.
    auto hitPeak = [](float attack) {
        EngineHarness h;
        h.set(Brakka::kTagCompressor, 1.0f);
        h.set(Brakka::kTagCompressorAttack, attack);
        h.render(44100); // the detector falls from its 0 dB start
        h.host().sendMidi(0x90, kKick, 127);
        return peak(h.renderChannel(2048, 0));
    };
    const double fast = hitPeak(0.0f), slow = hitPeak(1.0f);
    EXPECT_GT(slow, 1.5 * fast);
}
