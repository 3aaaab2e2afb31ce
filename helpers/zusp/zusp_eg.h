// Envelope generators: a general multi-segment envelope with curved segments and its
// attack/release and attack/decay/sustain/release forms. Times are in milliseconds.
#pragma once

#include "zusp.h"
#include "zusp_math.h"

#include <cstdint>
#include <vector>

class zusp_eg : public zusp_block {
public:
    using zusp_block::process;

    // Start the envelope.
    virtual void begin();
    float process(float in) override;
};

class zusp_eg_breakpoint : public zusp_eg {
public:
    struct _bp {
        float level;     // level reached at the end of the segment leading here
        float time;      // ms, duration of the segment leading here
        int64_t samples; // max(1, trunc(time * samples per ms))
        float curvature; // shape of the segment leaving this point
    };

    zusp_eg_breakpoint();

    void setAudioSamplingRate(float rate) override;
    // The input is ignored; returns the next envelope value (curved segments).
    float process(float) override {
        if (mSegment < 0) {
            mOutput = mStartLevel;
            return mOutput;
        }
        const float x = static_cast<float>(mCounter) / static_cast<float>(mLength);
        // Past the end only after a running segment was shortened: hold the output then.
        if (x <= 1.0f) mOutput = mStartLevel + mDelta * shapedValue(x);
        if (++mCounter >= mLength) startSegmentFrom(mSegment);
        return mOutput;
    }
    // The next n values, the same as n calls of process(0). Out of line, so that every voice
    // shares the one copy of its single-value path: inlined into each voice, that path was cold
    // code wherever a voice met a segment of one sample (a tick one sample into a block).
    virtual void process(float* out, int n);
    // Moves on as n calls of process() would, without working out the values on the way.
    void skip(int n);
    // Calls of process() until the envelope has finished (0 when it has).
    int64_t samplesUntilDone() const { return mSegment < 0 ? 0 : samplesOfRunningSegments(); }
    void begin() override;

    // Appends a point with curvature 0 and returns its index.
    virtual int addBreakpoint(float level, float time);
    // No effect.
    virtual void insertBreakpoint(int index, float level, float time);
    // No effect.
    virtual void deleteBreakpoint(int index);
    // Setters ignore indices of points that do not exist.
    virtual void setBreakpointLevel(int index, float level);
    // The time of point 0 cannot be changed.
    virtual void setBreakpointTime(int index, float time);
    // Takes effect when the segment leaving the point next starts.
    virtual void setBreakpointCurvature(int index, float curvature);
    // Starts a run without choosing a shape; pairs with process_linear.
    virtual void begin_linear();
    // Finishes at once; from then on the output is the last point's level.
    virtual void end();
    virtual bool isActive() { return mSegment >= 0; }
    virtual bool isDone() { return mSegment == -1; }
    // The input is ignored; returns the next value of the straight-line variant.
    virtual float process_linear(float in);
    virtual void recalculateBreakpoint(int index);

    int getBreakpointCount() const { return static_cast<int>(mPoints.size()); }

    // Curved segments take their powers from the float approximation (the default, within a
    // few units in the last place) or, when set, exactly rounded: voices whose arithmetic
    // amplifies tiny differences set it.
    void setExactCurves(bool exact) { mExactCurves = exact; }

    // Keeps the shapes of curved segments from one run to the next, `values` in all (0, the
    // default, keeps none). A segment's shape depends on its length, power and direction alone,
    // so a run with the same settings as an earlier one reads its values back instead of working
    // out a power for each: the same values, at the cost of a load. Allocates: call it while
    // setting up, not while processing.
    void setShapeMemory(int values);
    // Works out and keeps the shapes of the segments as they are set now, so that the next run
    // finds them. Costs what the runs would; no-op without shape memory.
    void prepareShapes();
    // Reads what the start of a run reads (the points, the first `values` of each kept shape),
    // so that the first strike after set-up finds it in the cache. Returns a sum to keep.
    unsigned touchRunStart(int values) const;

protected:
    // Sets up the segment that leaves point `from` (moving on to point from + 1).
    void startSegmentFrom(int from);
    // Sets the curved shape of the running segment: exponent, direction and power.
    void setShapeExponent(float e);
    void processBlock(float* out, int n);
    // samplesUntilDone() while a segment runs.
    int64_t samplesOfRunningSegments() const;
    // Values of the running segment for counters from mCounter on, all below its length.
    void renderRun(float* out, int run);
    // The curved shape (rising ? p : 1 - p) of the running segment for counters c .. c + n - 1.
    void renderShape(float* shape, int32_t c, int n) const;
    float shapedValue(float x) const {
        const float base = mShapeRising ? x : 1.0f - x;
        // A power of 1 (a straight segment) is the base itself.
        float p = base;
        if (mShapePower != 1.0f)
            p = mExactCurves ? zusp_math::powf(base, mShapePower)
                             : zusp_math::pow1(base, mShapePower);
        return mShapeRising ? p : 1.0f - p;
    }

    std::vector<_bp> mPoints;
    int32_t mSegment = -1;     // index of the target point of the running segment; -1 finished
    int32_t mCounter = 0;      // sample counter within the segment
    float mStartLevel = 0.0f;  // level at the start of the segment
    int32_t mLength = 1;       // segment length in samples, at least 1
    float mExponent = 0.0f;    // shape exponent (the per-sample slope in linear mode)
    float mDelta = 0.0f;       // target level minus start level
    bool mShapeRising = false; // mExponent > 0
    float mShapePower = 1.0f;  // 10^|mExponent|, the power the curved shape raises to
    float mOutput = 0.0f;      // last value produced
    bool mExactCurves = false;

private:
    // A kept shape: the segment's settings it belongs to, and its values for counters
    // 0 .. filled - 1 at mShapes[offset ...].
    struct ShapeSlot {
        int32_t length = 0; // 0: holds nothing
        float power = 0.0f;
        bool rising = false;
        bool exact = false;
        int32_t offset = 0;
        int32_t capacity = 0;
        int32_t filled = 0;
    };
    // Segments 1 .. kShapeSlots keep their shapes (segment 0, the glide, is straight).
    static constexpr int kShapeSlots = 8;
    // The running segment's slot, made to match its settings (emptied if it did not), or nullptr
    // when the segment keeps nothing (no room left).
    ShapeSlot* runningShapeSlot();

    std::vector<float> mShapes;
    ShapeSlot mShapeSlots[kShapeSlots];
};

class zusp_eg_breakpoint_ar : public zusp_eg_breakpoint {
public:
    zusp_eg_breakpoint_ar();

    virtual void setAttackTime(float ms);
    virtual void setAttackCurvature(float c);
    virtual void setReleaseTime(float ms);
    virtual void setReleaseCurvature(float c);
};

class zusp_eg_adsr : public zusp_eg_breakpoint {
public:
    using zusp_eg_breakpoint::process;

    zusp_eg_adsr();

    void begin() override;
    // in == nullptr: out[i] = process(); otherwise out[i] = in[i] * process().
    void processVector(float* in, float* out, long n) override;

    virtual void setAttackTime(float ms);
    virtual void setAttackCurvature(float c);
    virtual void setDecayTime(float ms);
    virtual void setDecayCurvature(float c);
    virtual void setSustainLevel(float level);
    virtual void setReleaseTime(float ms);
    virtual void setReleaseCurvature(float c);
    // Starts the release from the current output, at any time.
    virtual void release();
    // Next value, holding at the sustain level until release().
    virtual float process();

protected:
    int32_t mSustainPoint = 2;
    bool mSustaining = false;
};
