// Table-lookup oscillators: a power-of-two table with linear interpolation, a variant for
// tables of any length, and a variant that holds several tables and switches between them.
#pragma once

#include "zusp.h"

#include <cstdint>
#include <vector>

class zusp_oscillator : public zusp_block {
public:
    using zusp_block::process;

    zusp_oscillator();

    // Stores the frequency in Hz.
    virtual void setFrequency(float hz);
    virtual float getFrequency();
    // 440 * 2^((note - 69) / 12)
    virtual void setMIDIPitch(float note);
    virtual void setMIDIPitch(int note);

protected:
    float mFrequency = 440.0f;
};

class zusp_oscillator_wavetable : public zusp_oscillator {
public:
    using zusp_oscillator::process;

    // size: table length, a power of two (the voices use 4096). Starts with a sine at 440 Hz.
    explicit zusp_oscillator_wavetable(int size = 4096);
    ~zusp_oscillator_wavetable() override;
    zusp_oscillator_wavetable(const zusp_oscillator_wavetable&) = delete;
    zusp_oscillator_wavetable& operator=(const zusp_oscillator_wavetable&) = delete;

    void setAudioSamplingRate(float rate) override;
    // The input is a frequency offset in Hz added to the set frequency.
    float process(float fmHz) override {
        const int32_t i = seek(fmHz * mSizeOverRate + mIncrement + mPhase);
        return interpolated(i, (i + 1) & mIndexMask);
    }
    void setFrequency(float hz) override;

    // Plays a table of one of the shapes: 0 sine, 4 saw, 5 pulse (width in percent), 6 odd
    // harmonics / n^2, 7 and 8 fixed spectra. Each table is built once per process and shared
    // by every oscillator of the same shape and size (read only). Shapes 1, 2, 3 and above 8
    // leave the table as it is.
    virtual void setWaveshape(int shape, float width, int harmonics);
    // Reads every shared table through once, so that the first blocks after it find them in
    // the cache instead of waiting for each line as the phases reach it.
    static void warmSharedTables();
    // Copies N floats from src into the current table (a shared one is copied first).
    virtual void fillWavetable(float* src);
    // Plays the caller's table (of at least N floats); it stays the caller's.
    virtual void setWavetablePtr(float* table);
    virtual void setWavetableSize(int size);
    virtual int getWavetableSize();
    // New table: sum over n = 1 .. count of amplitudes[n - 1] * sin(n * theta).
    virtual void buildAdditiveWavetable(int count, float* amplitudes);
    // Phase in table positions.
    virtual void resetPhase(float phase);
    virtual float process() {
        const int32_t i = seek(mIncrement + mPhase);
        return interpolated(i, (i + 1) & mIndexMask);
    }
    // Step = ratio * increment + offsetHz * N / rate.
    virtual float process(float ratio, float offsetHz) {
        const int32_t i = seek(ratio * mIncrement + offsetHz * mSizeOverRate + mPhase);
        return interpolated(i, (i + 1) & mIndexMask);
    }
    // As process(ratio, offsetHz) but without interpolation (stepped, aliasing).
    virtual float processRetro(float ratio, float offsetHz) {
        return mTable[seek(ratio * mIncrement + offsetHz * mSizeOverRate + mPhase)];
    }

    // n samples of up to four oscillators at once: out[4 * i + k] is what the i-th call of
    // process() (fm == nullptr) or process(fm[i]) gives oscillator k. Each lane does process()'s
    // operations in its order, so the values are the same; a sample where any lane leaves the
    // usual step is taken by the lanes' own process(). Oscillators may be of any kind of this
    // class's; null lanes give zeros.
    static void processFour(zusp_oscillator_wavetable* const oscillators[4], const float* fm,
                            float* out, int n);

protected:
    // Makes `table` (allocated with new[]) the current, owned table, releasing an owned one.
    void adoptTable(float* table);
    void releaseTable();
    // Replaces a shared current table with an owned copy of it.
    void ownSharedTable();
    // The usual step, 0 <= p < 2N: the wrapped phase is p or p - N exactly (the sum of index
    // and fraction it would be built from), which keeps the next sample's wait on this one
    // short. False for any other position.
    bool seekUsualStep(float p, int32_t& index) {
        const float size = static_cast<float>(mTableSize);
        if (!(p >= 0.0f && p < size + size)) return false;
        const int32_t i = static_cast<int32_t>(p);
        mFraction = p - static_cast<float>(i);
        if (p >= size) {
            mPhase = p - size;
            index = i - mTableSize;
        } else {
            mPhase = p;
            index = i;
        }
        return true;
    }
    // Moves the phase to read position p, wrapped into a power-of-two table, and returns the
    // table index there; mFraction keeps the part of the way to the next entry.
    int32_t seek(float p) {
        int32_t usual;
        if (seekUsualStep(p, usual)) return usual;
        // Positions far outside any table (or not numbers) restart at 0 instead of overflowing
        // the integer conversion.
        if (!(p > -2.0e9f && p < 2.0e9f)) p = 0.0f;
        const int32_t i = static_cast<int32_t>(p);
        const float frac = p - static_cast<float>(i);
        mFraction = frac;
        const int32_t wrapped = i & mIndexMask;
        mPhase = static_cast<float>(wrapped) + frac;
        return wrapped;
    }
    // The table between entry i and entry next, mFraction of the way.
    float interpolated(int32_t i, int32_t next) const {
        return (1.0f - mFraction) * mTable[i] + mFraction * mTable[next];
    }

    int32_t mTableSize;         // N
    int32_t mIndexMask;         // N - 1
    float* mTable = nullptr;    // N floats
    bool mOwnsTable = false;    // true when mTable was built here
    bool mSharedTable = false;  // true when mTable is one of the process's shared shapes
    float mPhase = 0.0f;        // table positions, 0 <= phase < N
    float mFraction = 0.0f;     // fractional part of the last read position
    float mIncrement = 0.0f;    // N * frequency / rate
    float mSizeOverRate = 0.0f; // N / rate: table positions per sample per Hz
};

class zusp_oscillator_wavetable_resizeable : public zusp_oscillator_wavetable {
public:
    using zusp_oscillator_wavetable::process;

    explicit zusp_oscillator_wavetable_resizeable(int size = 4096);

    float process(float fmHz) override {
        const int32_t i = seekAnySize(fmHz * mSizeOverRate + mIncrement + mPhase);
        return interpolated(i, (i + 1 >= mTableSize) ? 0 : i + 1);
    }
    float process() override {
        const int32_t i = seekAnySize(mIncrement + mPhase);
        return interpolated(i, (i + 1 >= mTableSize) ? 0 : i + 1);
    }

    // Replaces the table with one of n floats (to be filled by the caller), phase 0.
    virtual void setTableSize(int size);

protected:
    // As seek(), for a table of any length. One wrap by subtraction covers every step below the
    // table size; anything further out (a step of a whole table or more, a negative phase) is
    // folded back with a modulo so the reads stay inside the table.
    int32_t seekAnySize(float p) {
        int32_t usual;
        if (seekUsualStep(p, usual)) return usual;
        if (!(p > -2.0e9f && p < 2.0e9f)) p = 0.0f;
        int32_t i = static_cast<int32_t>(p);
        const float frac = p - static_cast<float>(i);
        mFraction = frac;
        const int32_t n = mTableSize;
        if (i >= n) i -= n;
        if (static_cast<uint32_t>(i) >= static_cast<uint32_t>(n)) {
            i %= n;
            if (i < 0) i += n;
        }
        mPhase = static_cast<float>(i) + frac;
        return i;
    }
};

class zusp_oscillator_wavetable_multi : public zusp_oscillator_wavetable_resizeable {
public:
    using zusp_oscillator_wavetable::setWaveshape;

    // count tables of size floats each; table 0 is made current.
    zusp_oscillator_wavetable_multi(int count, int size);
    ~zusp_oscillator_wavetable_multi() override;

    // Both replace the current table of the list (and keep its size there).
    void setWavetableSize(int size) override;
    void setTableSize(int size) override;

    // Appends a table of size floats (to be filled by the caller).
    virtual void addTable(int size);
    // Indices outside the list are ignored.
    virtual void setCurrentTable(int index);
    virtual int getCurrentTable();
    // Rebuilds the current table with 16 harmonics.
    virtual void setWaveshape(int shape, float width);

protected:
    // Runs a table rebuild of a base class on the current list entry and stores the result
    // (table and size) in that entry, releasing the table it replaces.
    template <typename Rebuild>
    void rebuildCurrent(Rebuild rebuild);

    std::vector<float*> mTables;
    std::vector<int32_t> mTableSizes;
    int32_t mCurrentTable = -1;
};
