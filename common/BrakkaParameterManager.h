// BrakkaParameterManager: the instrument's table of 263 parameters on zu_paramManager, with the
// value mappings the engine needs (DSP values, per-step modulation, display strings) and the
// tables kept beside the parameters: the modulatable tags, the pattern tags, one snapshot per
// pattern and the equal-power pan law.
//
// Everything is built in the constructor; afterwards only parameter values, snapshot values and
// mementos change, so the audio thread may read DSP values and the tag sets without a lock.
#pragma once

#include "BrakkaParameterTags.h"
#include "zu_paramManager.h"

#include <set>

class BrakkaParameterManager : public zu_paramManager {
public:
    static constexpr int kPanLawSize = 1000;

    // Step lengths in 96ths of a whole note for the five pattern step sizes.
    static const int kSeqStepSizes[5];
    // Lengths in 96ths for the seven random step sizes.
    static const int kRandomStepSizes[7];
    static const char* const kStepSizeStrs[5];
    static const char* const kRandomSizeStrs[7];
    static const char* const kSyncStrs[3];
    // Two-letter voice codes that start the names of the sequencer families ("CHrndbts").
    static const char* const kSequencerPrefix[kNumVoices];

    BrakkaParameterManager();
    ~BrakkaParameterManager() override;

    float getDSPValue(long tag) override;
    float dspValueOfVSTvalue(long tag, float v) override;
    // The value while a step with modulation value m (0..1, 0.5 neutral) plays; changes nothing.
    float getModulatedDSPValue(long tag, float m) override;
    void getValueString(long tag, char* dst, int len) override;
    // Gains in dB take their power of ten from our own function, which rounds exactly and alike
    // on every CPU; the C library's powf is a unit in the last place off for about one value in
    // 20,000 (and picks its code by CPU).
    float decibelGain(float dB) override;

    // The voice that owns a sound or pan tag, or -1.
    static int getVoiceFromParamTag(unsigned int tag);

    // Tags that may carry per-step modulation rows: every sound parameter and every pan.
    const std::set<unsigned int>& getModulatableTags() const { return modulatableTags; }
    // Tags whose values belong to a pattern rather than to the program.
    const std::set<unsigned int>& getPatternTags() const { return patternTags; }
    bool isModulatableTag(long tag) const {
        return tag >= 0 && tag < kNumParameters && modulatableFlag[tag];
    }
    bool isPatternTag(long tag) const {
        return tag >= 0 && tag < kNumParameters && patternTagFlag[tag];
    }

    // Equal-power pan law: left[i] = cos(i·π/2000), right[i] = sin(i·π/2000), i = 0..999.
    const float* getPanLawLeft() const { return panLawLeft; }
    const float* getPanLawRight() const { return panLawRight; }
    // Table index of a pan value in [0, 1]: trunc(pan·999), limited to the table.
    static int panLawIndex(float pan) {
        return safeIndex(pan * float(kPanLawSize - 1), kPanLawSize);
    }

private:
    void createSoundParameters();
    void createGlobalParameters();
    void createVoiceFamilies();
    // The DSP law of a tag with VST value vst (as stored) and its natural value.
    float dspLaw(long tag, float vst, float natural);
    // Frequency factor of the closed-hat, cymbal and rimshot tunings: 0.5 .. 1 .. 2.
    static float tuningFactor(float x) { return x < 0.5f ? x + 0.5f : 2.0f * x; }

    std::set<unsigned int> modulatableTags;
    std::set<unsigned int> patternTags;
    bool modulatableFlag[kNumParameters] = {};
    bool patternTagFlag[kNumParameters] = {};
    float panLawLeft[kPanLawSize] = {};
    float panLawRight[kPanLawSize] = {};
};
