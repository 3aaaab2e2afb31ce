// Base class of every DSP block: a configurable object that produces one sample per call.
#pragma once

class zusp_block {
public:
    zusp_block();
    virtual ~zusp_block();

    // Reset the running state (history, phases); the base has none.
    virtual void clear();
    // Stores the rate, its reciprocal and samples per millisecond. Rates that are not
    // positive and finite are ignored.
    virtual void setAudioSamplingRate(float rate);
    // Generic parameter entry; unused.
    virtual void setParameter(int index, float value);
    // One sample; the base passes its input through.
    virtual float process(float in);
    // out[i] = process(in[i]) for i = 0 .. n-1, in order.
    virtual void processVector(float* in, float* out, long n);
    virtual void bypass(bool on);

    float getAudioSamplingRate() const { return mAudioSamplingRate; }

protected:
    float mAudioSamplingRate;           // Hz
    float mAudioSamplingRateReciprocal; // seconds per sample
    float mSamplesPerMillisecond;       // rate * 0.001
};
