// A feed-forward, hard-knee peak compressor with stereo linking by the louder channel.
// Gains and threshold in dB, attack and release in seconds.
#pragma once

#include "zusp.h"

class zusp_compressor : public zusp_block {
public:
    zusp_compressor();

    // Detector envelope back to 0 dB.
    void clear() override;
    void setAudioSamplingRate(float rate) override;
    // Mono form: updates the gain reduction but not the multiplier.
    float process(float x) override;

    // Every setter ignores a value equal to the stored one.
    virtual void setRatio(float ratio); // ratios of 0 or less are ignored
    virtual void setThreshold(float dB);
    virtual void setInputGain(float dB);
    virtual void setOutputGain(float dB);
    virtual void setAttack(float seconds);
    virtual void setRelease(float seconds);
    virtual void processStereo(float left, float right, float& outLeft, float& outRight);
    // n linked stereo samples, each output times `gain` (a null output is left out; the
    // detector runs all the same).
    void processStereo(const float* left, const float* right, float* outLeft, float* outRight,
                       int n, float gain);
    // The same as processStereo on n zeros in both channels.
    void processSilence(float* outLeft, float* outRight, int n, float gain);
    // Last gain reduction in dB (0 or negative).
    virtual float getGainReduction();
    // Last linear gain applied by processStereo.
    virtual float getGainReductionMultiplier();

protected:
    float coefficientFor(float seconds) const;
    // One detector step on the input's peak level (after the input gain): the envelope
    // follows it and the gain reduction is set from the envelope's level.
    void detect(float peak);
    // The gain reduction of the envelope's present level (detect's second half).
    void reduceFromEnvelope();
    // Sets mQuietEnvelope from the threshold.
    void findQuietEnvelope();

    float mRatio = 2.0f;
    float mThreshold = -10.0f;   // dB
    float mAttackTime = 10.0f;   // s
    float mReleaseTime = 100.0f; // s
    float mInputGain = 0.0f;     // dB
    float mOutputGain = 0.0f;    // dB
    float mGainReduction = 0.0f; // dB
    float mGainReductionMultiplier = 1.0f;
    float mDetectorThreshold = -10.0f; // dB
    float mAttackCoefficient;
    float mReleaseCoefficient;
    float mInputGainLinear = 1.0f;
    float mOutputGainLinear = 1.0f;
    float mEnvelope = 1.0f; // linear peak level
    // Envelopes from 1e-5 up to (not including) this one lie below the threshold.
    float mQuietEnvelope = 1e-5f;
};
