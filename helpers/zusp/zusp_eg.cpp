#include "zusp_eg.h"

#include "zusp_math.h"

#include <cmath>
#include <cstdint>

namespace {

// Segment lengths are kept in 32 bits while a segment runs.
int32_t runningLength(int64_t samples) {
    if (samples > INT32_MAX) return INT32_MAX;
    return samples < 1 ? 1 : static_cast<int32_t>(samples);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// zusp_eg

void zusp_eg::begin() {}

float zusp_eg::process(float) {
    return 0.0f;
}

// ---------------------------------------------------------------------------------------------
// zusp_eg_breakpoint

zusp_eg_breakpoint::zusp_eg_breakpoint() {
    // The longest list in use has nine points; reserving keeps set-up free of reallocation.
    mPoints.reserve(16);
    addBreakpoint(0.0f, 5.0f);
    addBreakpoint(0.0f, 100.0f);
    end();
}

void zusp_eg_breakpoint::setAudioSamplingRate(float rate) {
    zusp_eg::setAudioSamplingRate(rate);
    for (int i = 0; i < getBreakpointCount(); ++i)
        recalculateBreakpoint(i);
}

int zusp_eg_breakpoint::addBreakpoint(float level, float time) {
    mPoints.push_back(_bp{level, time, 1, 0.0f});
    const int index = getBreakpointCount() - 1;
    recalculateBreakpoint(index);
    return index;
}

void zusp_eg_breakpoint::insertBreakpoint(int, float, float) {}

void zusp_eg_breakpoint::deleteBreakpoint(int) {}

void zusp_eg_breakpoint::setBreakpointLevel(int index, float level) {
    if (index < 0 || index >= getBreakpointCount()) return;
    mPoints[index].level = level;
    recalculateBreakpoint(index);
}

void zusp_eg_breakpoint::setBreakpointTime(int index, float time) {
    // Point 0 has no segment leading to it whose time could matter.
    if (index <= 0 || index >= getBreakpointCount()) return;
    mPoints[index].time = time;
    recalculateBreakpoint(index);
}

void zusp_eg_breakpoint::setBreakpointCurvature(int index, float curvature) {
    if (index < 0 || index >= getBreakpointCount()) return;
    mPoints[index].curvature = curvature;
}

void zusp_eg_breakpoint::recalculateBreakpoint(int index) {
    if (index < 0 || index >= getBreakpointCount()) return;
    const float t = mPoints[index].time * mSamplesPerMillisecond;
    int64_t samples = 1;
    if (t >= 9.0e18f) {
        samples = INT64_C(9000000000000000000);
    } else if (t >= 1.0f) { // also rejects NaN; 0 or less gives a one-sample segment
        samples = static_cast<int64_t>(t);
    }
    mPoints[index].samples = samples;
    // A running segment picks up its new length at once; its counter runs on.
    if (index == mSegment) mLength = runningLength(samples);
}

void zusp_eg_breakpoint::begin_linear() {
    mCounter = 0;
    if (getBreakpointCount() < 2) {
        mSegment = -1;
        return;
    }
    if (mPoints[1].time > 1.0f) {
        // A short straight glide from wherever the envelope stands, so a retrigger
        // does not click.
        mSegment = 0;
        mStartLevel = mOutput;
        mLength = 5;
        mExponent = (0.0f - mOutput) / 5.0f;
    } else {
        // Attacks of 1 ms or less jump to the first point and start at once.
        mSegment = 1;
        mStartLevel = mPoints[0].level;
        mLength = runningLength(mPoints[1].samples);
        mExponent = (mPoints[1].level - mPoints[0].level) / static_cast<float>(mLength);
    }
}

void zusp_eg_breakpoint::begin() {
    begin_linear();
    if (mSegment < 0) return;
    mDelta = mPoints[mSegment].level - mStartLevel;
    if (mSegment == 0) {
        setShapeExponent(0.0f); // the glide is always straight
    } else {
        const float c = mPoints[0].curvature;
        setShapeExponent(mDelta > 0.0f ? -c : c);
    }
}

void zusp_eg_breakpoint::end() {
    mStartLevel = mPoints.empty() ? 0.0f : mPoints.back().level;
    mSegment = -1;
}

void zusp_eg_breakpoint::setShapeExponent(float e) {
    mExponent = e;
    mShapeRising = e > 0.0f;
    // The power stays the same for the whole segment, so it is taken once here rather than
    // with every sample.
    mShapePower = zusp_math::exp10f(mShapeRising ? e : -e);
}

void zusp_eg_breakpoint::startSegmentFrom(int from) {
    mStartLevel = mPoints[from].level;
    mSegment = from + 1;
    if (mSegment < getBreakpointCount()) {
        const _bp& target = mPoints[mSegment];
        mLength = runningLength(target.samples);
        mDelta = target.level - mPoints[from].level;
        const float c = mPoints[from].curvature;
        // Positive curvature bows the segment above the straight line whichever way it goes.
        setShapeExponent(mDelta > 0.0f ? -c : c);
        mCounter = 0;
    } else {
        mSegment = -1;
    }
}

void zusp_eg_breakpoint::process(float* out, int n) {
    if (n == 1)
        out[0] = zusp_eg_breakpoint::process(0.0f);
    else
        processBlock(out, n);
}

void zusp_eg_breakpoint::processBlock(float* out, int n) {
    int i = 0;
    while (i < n) {
        if (mSegment < 0) {
            for (; i < n; ++i)
                out[i] = mStartLevel;
            mOutput = mStartLevel;
            return;
        }
        if (mCounter >= mLength) {
            // A running segment was shortened below its counter: one value, as process() does.
            out[i++] = zusp_eg_breakpoint::process(0.0f);
            continue;
        }
        const int run = n - i < mLength - mCounter ? n - i : mLength - mCounter;
        renderRun(out + i, run);
        i += run;
        mCounter += run;
        if (mCounter >= mLength) startSegmentFrom(mSegment);
    }
}

// Each value of a segment depends on its counter alone, so only the last one of each run is
// worked out: it is the output a later begin() glides from.
void zusp_eg_breakpoint::skip(int n) {
    int i = 0;
    while (i < n) {
        if (mSegment < 0) {
            mOutput = mStartLevel;
            return;
        }
        if (mCounter >= mLength) {
            zusp_eg_breakpoint::process(0.0f);
            ++i;
            continue;
        }
        const int run = n - i < mLength - mCounter ? n - i : mLength - mCounter;
        mCounter += run - 1;
        float last;
        renderRun(&last, 1);
        mCounter += 1;
        i += run;
        if (mCounter >= mLength) startSegmentFrom(mSegment);
    }
}

// Values for the counters mCounter .. mCounter + run - 1 of the running segment, all below its
// length: the arithmetic of process(), four values at a time (IEEE operations give the same bits
// in a vector lane as alone). Curved shapes come from the segment's kept shape where it has one.
void zusp_eg_breakpoint::renderRun(float* out, int run) {
    const int32_t c = mCounter;
    const float start = mStartLevel, delta = mDelta;
    int k = 0;
    if (mShapePower == 1.0f) {
        const float length = static_cast<float>(mLength);
        const bool rising = mShapeRising;
        const __m128 one = _mm_set1_ps(1.0f), len = _mm_set1_ps(length);
        const __m128 s = _mm_set1_ps(start), d = _mm_set1_ps(delta);
        const __m128i steps = _mm_setr_epi32(0, 1, 2, 3);
        for (; k + 4 <= run; k += 4) {
            const __m128i counters = _mm_add_epi32(_mm_set1_epi32(c + k), steps);
            const __m128 x = _mm_div_ps(_mm_cvtepi32_ps(counters), len);
            const __m128 shape = rising ? x : _mm_sub_ps(one, _mm_sub_ps(one, x));
            _mm_storeu_ps(out + k, _mm_add_ps(s, _mm_mul_ps(d, shape)));
        }
        for (; k < run; ++k)
            out[k] = start + delta * shapedValue(static_cast<float>(c + k) / length);
        mOutput = out[run - 1];
        return;
    }
    if (ShapeSlot* slot = runningShapeSlot()) {
        float* kept = mShapes.data() + slot->offset;
        // A run that starts where the kept values end adds to them.
        if (c == slot->filled && c < slot->capacity) {
            const int more = run < slot->capacity - c ? run : slot->capacity - c;
            renderShape(kept + c, c, more);
            slot->filled += more;
        }
        if (c < slot->filled) {
            k = run < slot->filled - c ? run : slot->filled - c;
            for (int j = 0; j < k; ++j)
                out[j] = start + delta * kept[c + j];
        }
    }
    if (k < run) {
        renderShape(out + k, c + k, run - k);
        for (int j = k; j < run; ++j)
            out[j] = start + delta * out[j];
    }
    mOutput = out[run - 1];
}

void zusp_eg_breakpoint::renderShape(float* shape, int32_t c, int n) const {
    const float length = static_cast<float>(mLength);
    const bool rising = mShapeRising;
    const __m128 one = _mm_set1_ps(1.0f), len = _mm_set1_ps(length);
    const __m128i steps = _mm_setr_epi32(0, 1, 2, 3);
    int k = 0;
    if (mExactCurves) {
        // Eight values a step where powExactQuads takes them all, else four, else one by one.
        const float power = mShapePower;
        const auto bases = [&](int at) {
            const __m128i counters = _mm_add_epi32(_mm_set1_epi32(c + at), steps);
            const __m128 x = _mm_div_ps(_mm_cvtepi32_ps(counters), len);
            return rising ? x : _mm_sub_ps(one, x);
        };
        const auto store = [&](int at, const float* pw) {
            const __m128 p = _mm_loadu_ps(pw);
            _mm_storeu_ps(shape + at, rising ? p : _mm_sub_ps(one, p));
        };
        const auto quad = [&](int at) {
            const __m128 x[1] = {bases(at)};
            float pw[4];
            if (zusp_math::powExactQuads<1>(x, power, pw)) {
                store(at, pw);
                return;
            }
            const __m128 xs =
                _mm_div_ps(_mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(c + at), steps)), len);
            _mm_storeu_ps(pw, xs);
            for (int j = 0; j < 4; ++j)
                shape[at + j] = shapedValue(pw[j]);
        };
        for (; k + 8 <= n; k += 8) {
            const __m128 x[2] = {bases(k), bases(k + 4)};
            float pw[8];
            if (zusp_math::powExactQuads<2>(x, power, pw)) {
                store(k, pw);
                store(k + 4, pw + 4);
            } else {
                quad(k);
                quad(k + 4);
            }
        }
        if (k + 4 <= n) {
            quad(k);
            k += 4;
        }
    } else {
        // Sixteen values a step: independent powers keep the processor's units busier.
        const __m128 p = _mm_set1_ps(mShapePower);
        const auto value = [&](int at) {
            const __m128i counters = _mm_add_epi32(_mm_set1_epi32(c + at), steps);
            const __m128 x = _mm_div_ps(_mm_cvtepi32_ps(counters), len);
            return rising ? zusp_math::pow4(x, p)
                          : _mm_sub_ps(one, zusp_math::pow4(_mm_sub_ps(one, x), p));
        };
        for (; k + 16 <= n; k += 16) {
            const __m128 v0 = value(k), v1 = value(k + 4), v2 = value(k + 8), v3 = value(k + 12);
            _mm_storeu_ps(shape + k, v0);
            _mm_storeu_ps(shape + k + 4, v1);
            _mm_storeu_ps(shape + k + 8, v2);
            _mm_storeu_ps(shape + k + 12, v3);
        }
        for (; k + 4 <= n; k += 4)
            _mm_storeu_ps(shape + k, value(k));
    }
    for (; k < n; ++k)
        shape[k] = shapedValue(static_cast<float>(c + k) / length);
}

void zusp_eg_breakpoint::setShapeMemory(int values) {
    mShapes.assign(values > 0 ? static_cast<size_t>(values) : 0, 0.0f);
    for (ShapeSlot& slot : mShapeSlots)
        slot = ShapeSlot();
}

// Segments run in order, so their kept shapes lie in order in mShapes, each after the one before.
// A segment with other settings than its kept shape gives up its room and that of the segments
// after it (they follow on the next strike), and takes as much as it needs of what is left from
// there: settings that do not change are never worked out again, and changes cost one strike.
zusp_eg_breakpoint::ShapeSlot* zusp_eg_breakpoint::runningShapeSlot() {
    if (mShapes.empty() || mSegment < 1 || mSegment > kShapeSlots) return nullptr;
    ShapeSlot& slot = mShapeSlots[mSegment - 1];
    if (slot.length == mLength && slot.power == mShapePower && slot.rising == mShapeRising &&
        slot.exact == mExactCurves)
        return slot.capacity > 0 ? &slot : nullptr;
    int32_t offset = 0;
    for (int j = 0; j < mSegment - 1; ++j)
        if (mShapeSlots[j].capacity > 0 && mShapeSlots[j].offset + mShapeSlots[j].capacity > offset)
            offset = mShapeSlots[j].offset + mShapeSlots[j].capacity;
    for (int j = mSegment; j < kShapeSlots; ++j)
        mShapeSlots[j] = ShapeSlot();
    const int32_t room = static_cast<int32_t>(mShapes.size()) - offset;
    slot.length = mLength;
    slot.power = mShapePower;
    slot.rising = mShapeRising;
    slot.exact = mExactCurves;
    slot.offset = offset;
    slot.capacity = mLength < room ? mLength : room;
    slot.filled = 0;
    return slot.capacity > 0 ? &slot : nullptr;
}

unsigned zusp_eg_breakpoint::touchRunStart(int values) const {
    unsigned sum = zusp_math::touchLines(mPoints.data(), sizeof(_bp) * mPoints.size());
    for (const ShapeSlot& slot : mShapeSlots) {
        const int n = slot.filled < values ? slot.filled : values;
        if (n > 0)
            sum += zusp_math::touchLines(mShapes.data() + slot.offset,
                                         sizeof(float) * static_cast<size_t>(n));
    }
    return sum;
}

void zusp_eg_breakpoint::prepareShapes() {
    if (mShapes.empty()) return;
    // Each segment as it would start, then the running state as it was.
    const int32_t segment = mSegment, counter = mCounter, length = mLength;
    const float startLevel = mStartLevel, exponent = mExponent, delta = mDelta;
    const float power = mShapePower, output = mOutput;
    const bool rising = mShapeRising;
    for (int from = 0; from + 1 < getBreakpointCount() && from < kShapeSlots; ++from) {
        startSegmentFrom(from);
        if (mShapePower == 1.0f) continue;
        ShapeSlot* slot = runningShapeSlot();
        if (!slot || slot->filled >= slot->capacity) continue;
        renderShape(mShapes.data() + slot->offset + slot->filled, slot->filled,
                    slot->capacity - slot->filled);
        slot->filled = slot->capacity;
    }
    mSegment = segment;
    mCounter = counter;
    mLength = length;
    mStartLevel = startLevel;
    mExponent = exponent;
    mDelta = delta;
    mShapePower = power;
    mOutput = output;
    mShapeRising = rising;
}

int64_t zusp_eg_breakpoint::samplesOfRunningSegments() const {
    int64_t n = mLength - mCounter < 1 ? 1 : mLength - mCounter;
    for (int j = mSegment + 1; j < getBreakpointCount(); ++j)
        n += runningLength(mPoints[j].samples);
    return n;
}

float zusp_eg_breakpoint::process_linear(float) {
    if (mSegment < 0) {
        mOutput = mStartLevel;
        return mOutput;
    }
    mOutput = mStartLevel + static_cast<float>(mCounter) * mExponent;
    if (++mCounter >= mLength) {
        const int from = mSegment;
        mStartLevel = mPoints[from].level;
        mSegment = from + 1;
        if (mSegment < getBreakpointCount()) {
            mLength = runningLength(mPoints[mSegment].samples);
            mExponent =
                (mPoints[mSegment].level - mPoints[from].level) / static_cast<float>(mLength);
            mCounter = 0;
        } else {
            mSegment = -1;
        }
    }
    return mOutput;
}

// ---------------------------------------------------------------------------------------------
// zusp_eg_breakpoint_ar

zusp_eg_breakpoint_ar::zusp_eg_breakpoint_ar() {
    addBreakpoint(0.0f, 250.0f);
    setBreakpointLevel(1, 1.0f);
    setBreakpointTime(1, 1.0f);
    end();
}

void zusp_eg_breakpoint_ar::setAttackTime(float ms) {
    setBreakpointTime(1, ms);
}

void zusp_eg_breakpoint_ar::setAttackCurvature(float c) {
    setBreakpointCurvature(0, c);
}

void zusp_eg_breakpoint_ar::setReleaseTime(float ms) {
    setBreakpointTime(2, ms);
}

void zusp_eg_breakpoint_ar::setReleaseCurvature(float c) {
    setBreakpointCurvature(1, c);
}

// ---------------------------------------------------------------------------------------------
// zusp_eg_adsr

zusp_eg_adsr::zusp_eg_adsr() {
    addBreakpoint(0.0f, 200.0f); // sustain point, reached after the decay
    addBreakpoint(0.0f, 200.0f); // end of the release
    setBreakpointLevel(1, 1.0f);
    setBreakpointTime(1, 100.0f);
    end();
}

void zusp_eg_adsr::begin() {
    zusp_eg_breakpoint::begin();
    mSustaining = false;
}

void zusp_eg_adsr::processVector(float* in, float* out, long n) {
    if (out == nullptr) return;
    if (in == nullptr) {
        for (long i = 0; i < n; ++i)
            out[i] = process();
    } else {
        for (long i = 0; i < n; ++i)
            out[i] = in[i] * process();
    }
}

void zusp_eg_adsr::setAttackTime(float ms) {
    setBreakpointTime(1, ms);
}

void zusp_eg_adsr::setAttackCurvature(float c) {
    setBreakpointCurvature(0, c);
}

void zusp_eg_adsr::setDecayTime(float ms) {
    setBreakpointTime(2, ms);
}

void zusp_eg_adsr::setDecayCurvature(float c) {
    setBreakpointCurvature(1, c);
}

void zusp_eg_adsr::setSustainLevel(float level) {
    setBreakpointLevel(mSustainPoint, level);
}

void zusp_eg_adsr::setReleaseTime(float ms) {
    setBreakpointTime(3, ms);
}

void zusp_eg_adsr::setReleaseCurvature(float c) {
    setBreakpointCurvature(2, c);
}

void zusp_eg_adsr::release() {
    mSustaining = false;
    mSegment = 3;
    mLength = runningLength(mPoints[3].samples);
    mStartLevel = mOutput;
    mDelta = 0.0f - mOutput; // the release always ends at 0
    const float c = mPoints[2].curvature;
    setShapeExponent(mDelta > 0.0f ? -c : c);
    mCounter = 0;
}

float zusp_eg_adsr::process() {
    if (mSegment < 0 || mSustaining) {
        mOutput = mStartLevel;
        return mOutput;
    }
    const float x = static_cast<float>(mCounter) / static_cast<float>(mLength);
    if (x <= 1.0f) mOutput = mStartLevel + mDelta * shapedValue(x);
    if (++mCounter >= mLength) {
        if (mSegment == mSustainPoint) {
            // Hold at the sustain level until release().
            mStartLevel = mPoints[mSustainPoint].level;
            mOutput = mStartLevel;
            mSustaining = true;
        } else {
            startSegmentFrom(mSegment);
        }
    }
    return mOutput;
}
