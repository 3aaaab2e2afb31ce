// BrakkaSequencer: one pattern of the step sequencer.
//
// A pattern holds, for each of the twelve voices, a row of 32 note steps and 32 velocities,
// per-step modulation rows for the modulatable sound and pan parameters, the per-voice
// probabilities of set steps and of extra random notes, and the step clock that maps an
// absolute tick (96ths of a 4/4 bar) to a step.
//
// Storage is fixed: every modulation row the pattern can ever hold (one per modulatable tag,
// 0..107 and 130..141) has its place in the object, with a flag saying whether the row exists.
// Nothing allocates after construction, so the clock, the probability tests and the fills are
// safe on the audio thread, and assignment is a plain copy.
//
// The pattern serializes to a block of native-endian numbers (getAllData / setAllData):
//   note rows (12 x 32 bytes), velocity rows (12 x 32 floats), velocityRandomOnLoop (12 bytes),
//   per voice: count n (uint32) and n ascending modulated tags (uint32),
//   M (uint32), M x (tag uint32, 32 floats) in ascending tag order,
//   M x (tag uint32, flag byte) in ascending tag order.
#pragma once

#include "BrakkaParameterTags.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <set>

// Steps per pattern for the five step-size choices ("1 x 32", "2 x 16", "1 x 16T", "1 x 16",
// "1 x 8T").
inline constexpr int kSequenceLengths[5] = {kNumSteps, kNumSteps, 24, 16, 12};

class BrakkaSequencer {
public:
    // Modulatable tags: 0..107 (voice sound parameters) and 130..141 (pans).
    static constexpr int kModSlotCount = kNumSoundTags + kNumVoices;
    // Bytes before the first tag count: note rows, velocity rows, velocityRandomOnLoop.
    static constexpr size_t kFixedBlockBytes =
        kNumVoices * kNumSteps + kNumVoices * kNumSteps * 4 + kNumVoices;
    static constexpr size_t kModRowBytes = 4 + kNumSteps * 4;
    static constexpr size_t kModFlagBytes = 5;

    BrakkaSequencer();

    // --- step clock -------------------------------------------------------------------------
    // Hands the clock an absolute tick; true when the tick lies on a step other than the
    // current one (the step then becomes current).
    bool setCurrent96th(unsigned tick);
    int advance();
    int retreat();
    void goToStep(int step);
    // Lengths outside 1..32 are clipped into that range.
    void setSequenceLength(int length);
    // Values below 1 are ignored.
    void setStepTicks(int ticks);

    int getCurrentStep() const { return currentStep; }
    // The step an absolute tick lies on.
    int stepAt(unsigned tick) const {
        return (int)((tick / (unsigned)stepTicks) % (unsigned)sequenceLength);
    }
    int getSequenceLength() const { return sequenceLength; }
    int getStepTicks() const { return stepTicks; }
    int getTickGranularity() const { return tickGranularity; }
    unsigned getCurrentTick() const { return currentTick; }

    // --- probability tests (audio thread) ---------------------------------------------------
    bool getWeightedNote(int voice, int step) const;
    bool getRandomNote(int voice) const;
    float getVelocity(int voice, int step) const;

    // Per-voice probabilities (0..2147483647), random-note grid in ticks and random velocity.
    void setSelectedBeats(int voice, int value);
    void setRandomBeats(int voice, int value);
    void setRandomSize(int voice, int ticks);
    void setRandomVelocity(int voice, float velocity);
    int getSelectedBeats(int voice) const;
    int getRandomBeats(int voice) const;
    int getRandomSize(int voice) const;
    float getRandomVelocity(int voice) const;

    // Reads what playing `step` reads (notes, velocities, the modulated tags' values at the step
    // and the settings of each row), so that a step about to play finds it in the cache.
    // Returns a sum for the caller to keep.
    unsigned touchStep(int step) const;

    // --- rows ------------------------------------------------------------------------------
    void clearNotes(int voice);
    void randomizeNotes(int voice);
    // Shapes: 0 clear (velocity 0, modulation 0.5), 1 invert, 2 falling ramp, 3 one sine
    // cycle, 4 random. Only the first sequence-length entries change.
    void fillVelocityValues(int voice, int shape);
    void fillModValues(unsigned tag, int shape);

    unsigned char getNote(int voice, int step) const;
    void setNote(int voice, int step, unsigned char value);
    // Copies the 32 note bytes of a voice (all 0 for a voice outside 0..11).
    void getNoteRow(int voice, unsigned char row[kNumSteps]) const;
    float getVelocityValue(int voice, int step) const;
    // Velocities are kept within 0..1.
    void setVelocityValue(int voice, int step, float value);
    void getVelocityRow(int voice, float row[kNumSteps]) const;
    bool getVelocityRandomOnLoop(int voice) const;
    void setVelocityRandomOnLoop(int voice, bool on);

    // --- modulation rows ---------------------------------------------------------------------
    // A row and its random-on-loop flag always exist together. Operations on a tag that is
    // not modulatable do nothing (and report false / neutral values).
    void initModulators(const std::set<unsigned>& tags);
    bool hasModRow(unsigned tag) const;
    int getModRowCount() const;
    // Creates a neutral row (32 x 0.5, flag cleared) if the tag has none yet.
    bool createModRow(unsigned tag);
    // Value of the tag's row at a step; 0.5 (neutral) when there is no row.
    float getModValue(unsigned tag, int step) const;
    // Sets one value (kept within 0..1), creating the row first if needed.
    void setModValue(unsigned tag, int step, float value);
    // Copies the tag's row; a missing row reads as neutral.
    void getModRow(unsigned tag, float row[kNumSteps]) const;
    // Replaces the tag's row (values kept within 0..1), creating it if needed.
    void setModRow(unsigned tag, const float row[kNumSteps]);
    bool getModRandomOnLoop(unsigned tag) const;
    void setModRandomOnLoop(unsigned tag, bool on);

    // --- modulated tags per voice -------------------------------------------------------------
    // Puts the tag into the set of its voice (creating its row if needed, so that a modulated
    // tag always has values to apply). False for a tag that belongs to no voice.
    bool registerModTag(unsigned tag);
    void unregisterModTag(int voice, unsigned tag);
    void unregisterAllModTags();
    bool isModTagRegistered(int voice, unsigned tag) const;
    int getVoiceModTagCount(int voice) const;
    // Writes the voice's modulated tags in ascending order into tags (at most maxTags of them)
    // and returns how many were written.
    int getVoiceModTags(int voice, unsigned* tags, int maxTags) const;
    // Calls f(tag) for each modulated tag of the voice in ascending order.
    template <class F>
    void forEachVoiceModTag(int voice, F f) const {
        if (voice < 0 || voice >= kNumVoices) return;
        const ModTagSet& tags = voiceModTags[voice];
        // Most voices modulate nothing or a few tags: the walk ends at the last one.
        for (int slot = 0, left = (int)tags.count(); left > 0; ++slot)
            if (tags.test(slot)) {
                --left;
                f(tagOfModSlot(slot));
            }
    }

    // --- serialized block --------------------------------------------------------------------
    // Length of the block getAllData writes. The argument has no effect.
    size_t getSize(bool = false) const;
    // Writes getSize() bytes.
    void getAllData(char* data) const;
    // Reads a block of at most length bytes. A damaged block (counts that run past the end,
    // more than 120 tags of a voice or rows, a tag outside modulatableTags) leaves the pattern
    // unchanged and returns false. On success *consumed (if given) receives the block length.
    bool setAllData(const char* data, size_t length, const std::set<unsigned>& modulatableTags,
                    bool = false, size_t* consumed = nullptr);
    // Same checks as setAllData without changing anything: the block's length, or 0 when the
    // block is damaged (a sound block is never shorter than 1984 bytes).
    static size_t validateAllData(const char* data, size_t length,
                                  const std::set<unsigned>& modulatableTags);

    // --- helpers ------------------------------------------------------------------------------
    // Place of a modulatable tag in the fixed row storage, -1 for any other tag.
    static int modSlotOfTag(unsigned tag);
    static unsigned tagOfModSlot(int slot);

    // The random source behind every probability test and random fill: the C library's rand()
    // (0..2147483647) unless replaced, e.g. by a test that needs a known sequence. Passing
    // nullptr restores rand().
    // The source of random numbers in 0..2147483647 and, optionally, one that gives the next
    // count of them at once (the same numbers as count calls of source).
    static void setRandomSource(int (*source)(), void (*fill)(int* out, int count) = nullptr);
    static int nextRandom();
    static void nextRandoms(int* out, int count);

private:
    using ModTagSet = std::bitset<kModSlotCount>;

    void fillRow(float* row, int shape, float clearValue);
    // Makes the slot's row exist with 32 x 0.5 and its random-on-loop flag cleared.
    void startNeutralModRow(int slot);

    unsigned char noteRows[kNumVoices][kNumSteps];
    float velocityRows[kNumVoices][kNumSteps];
    unsigned char velocityRandomOnLoop[kNumVoices];
    ModTagSet voiceModTags[kNumVoices];
    // modValues and modRandomOnLoop, indexed by slot; modRowPresent says which rows exist.
    float modValues[kModSlotCount][kNumSteps];
    bool modRandomOnLoop[kModSlotCount];
    bool modRowPresent[kModSlotCount];
    int selectedBeats[kNumVoices];
    int randomBeats[kNumVoices];
    int randomSize[kNumVoices];
    float randomVelocity[kNumVoices];
    int currentStep;
    int sequenceLength;
    int stepTicks;
    int tickGranularity;
    unsigned currentTick;
};
