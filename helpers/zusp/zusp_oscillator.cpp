#include "zusp_oscillator.h"

#include "zusp_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;

// One table of a shape (setWaveshape), n entries.
void buildShape(float* table, int n, int shape, float width, int harmonics) {
    for (int i = 0; i < n; ++i) {
        const double theta = static_cast<double>(i) * kTwoPi / n;
        // Every term is rounded to float and the terms are summed in float, lowest first.
        float v = 0.0f;
        switch (shape) {
        case 0:
            v = static_cast<float>(zusp_math::sin(theta));
            break;
        case 4: // band-limited sawtooth
            for (int h = 1; h <= harmonics; ++h)
                v += static_cast<float>(zusp_math::sin(h * theta) / h);
            break;
        case 5: // band-limited pulse; width in percent, 50 is a square
            for (int h = 1; h <= harmonics; ++h)
                v += static_cast<float>((1.0 / h) * zusp_math::sin(h * kPi * width * 0.01) *
                                        zusp_math::sin(h * theta));
            break;
        case 6: // odd harmonics falling with 1/n^2
            for (int h = 1; h <= harmonics; h += 2)
                v += static_cast<float>(zusp_math::sin(h * theta) / (static_cast<double>(h) * h));
            break;
        case 7:
            v = static_cast<float>(zusp_math::sin(theta));
            v += static_cast<float>(zusp_math::sin(3.0 * theta) / 9.0);
            break;
        case 8:
            v = static_cast<float>(zusp_math::sin(theta));
            v += static_cast<float>(0.058884 * zusp_math::sin(3.0 * theta));
            v += static_cast<float>(0.011749 * zusp_math::sin(5.0 * theta));
            v += static_cast<float>(0.004169 * zusp_math::sin(6.0 * theta));
            v += static_cast<float>(0.010471 * zusp_math::sin(7.0 * theta));
            v += static_cast<float>(0.003311 * zusp_math::sin(8.0 * theta));
            v += static_cast<float>(0.004169 * zusp_math::sin(10.0 * theta));
            break;
        default:
            break;
        }
        table[i] = v;
    }
}

// The tables of the shapes, built at the first request and kept, unchanged, for the life of the
// process: the voices of every instance play the same dozen tables instead of a copy each.
// Requests come from constructors and set-up, never from the audio thread.
using ShapeKey = std::tuple<int, int, uint32_t, int>; // size, shape, width's bits, harmonics

struct SharedShapes {
    std::mutex lock;
    std::map<ShapeKey, std::unique_ptr<float[]>> tables;
};

SharedShapes& sharedShapes() {
    static SharedShapes shapes;
    return shapes;
}

float* sharedShape(int n, int shape, float width, int harmonics) {
    // Only the settings a shape reads tell its tables apart.
    if (shape != 5) width = 0.0f;
    if (shape == 0 || shape >= 7) harmonics = 0;
    uint32_t widthBits;
    std::memcpy(&widthBits, &width, sizeof widthBits);
    SharedShapes& shapes = sharedShapes();
    std::lock_guard<std::mutex> guard(shapes.lock);
    std::unique_ptr<float[]>& table = shapes.tables[ShapeKey(n, shape, widthBits, harmonics)];
    if (!table) {
        table.reset(new float[n]);
        buildShape(table.get(), n, shape, width, harmonics);
    }
    return table.get();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// zusp_oscillator

zusp_oscillator::zusp_oscillator() = default;

void zusp_oscillator::setFrequency(float hz) {
    mFrequency = hz;
}

float zusp_oscillator::getFrequency() {
    return mFrequency;
}

void zusp_oscillator::setMIDIPitch(float note) {
    setFrequency(440.0f * zusp_math::powf(2.0f, (note - 69.0f) / 12.0f));
}

void zusp_oscillator::setMIDIPitch(int note) {
    setMIDIPitch(static_cast<float>(note));
}

// ---------------------------------------------------------------------------------------------
// zusp_oscillator_wavetable

zusp_oscillator_wavetable::zusp_oscillator_wavetable(int size) {
    if (size < 1) size = 4096;
    mFrequency = 440.0f;
    mTableSize = size;
    mIndexMask = size - 1;
    mSizeOverRate = static_cast<float>(size) * mAudioSamplingRateReciprocal;
    setWaveshape(0, 0.0f, 16);
    setFrequency(440.0f);
}

zusp_oscillator_wavetable::~zusp_oscillator_wavetable() {
    releaseTable();
}

void zusp_oscillator_wavetable::releaseTable() {
    if (mOwnsTable) delete[] mTable;
    mTable = nullptr;
    mOwnsTable = false;
    mSharedTable = false;
}

void zusp_oscillator_wavetable::adoptTable(float* table) {
    releaseTable();
    mTable = table;
    mOwnsTable = true;
}

void zusp_oscillator_wavetable::setAudioSamplingRate(float rate) {
    zusp_oscillator::setAudioSamplingRate(rate);
    mIncrement = mFrequency * static_cast<float>(mTableSize) * mAudioSamplingRateReciprocal;
    mSizeOverRate = static_cast<float>(mTableSize) * mAudioSamplingRateReciprocal;
}

void zusp_oscillator_wavetable::setFrequency(float hz) {
    mFrequency = hz;
    mIncrement = static_cast<float>(mTableSize) * hz * mAudioSamplingRateReciprocal;
}

void zusp_oscillator_wavetable::setWaveshape(int shape, float width, int harmonics) {
    if (shape != 0 && (shape < 4 || shape > 8)) return;
    float* table = sharedShape(mTableSize, shape, width, harmonics);
    if (table == mTable) return;
    releaseTable();
    mTable = table;
    mSharedTable = true;
}

void zusp_oscillator_wavetable::warmSharedTables() {
    SharedShapes& shapes = sharedShapes();
    std::lock_guard<std::mutex> guard(shapes.lock);
    unsigned sum = 0;
    for (const auto& [key, table] : shapes.tables)
        sum += zusp_math::touchLines(table.get(),
                                     sizeof(float) * static_cast<size_t>(std::get<0>(key)));
    volatile unsigned sink = sum;
    (void)sink;
}

void zusp_oscillator_wavetable::ownSharedTable() {
    if (!mSharedTable) return;
    float* copy = new float[mTableSize];
    std::memcpy(copy, mTable, sizeof(float) * static_cast<size_t>(mTableSize));
    adoptTable(copy);
}

void zusp_oscillator_wavetable::fillWavetable(float* src) {
    if (src == nullptr || mTable == nullptr) return;
    ownSharedTable();
    std::memcpy(mTable, src, sizeof(float) * static_cast<size_t>(mTableSize));
}

void zusp_oscillator_wavetable::setWavetablePtr(float* table) {
    if (table == nullptr || table == mTable) return;
    // A table built here has no other user, so it is released rather than lost.
    releaseTable();
    mTable = table;
}

void zusp_oscillator_wavetable::setWavetableSize(int size) {
    if (size < 1) return;
    mTableSize = size;
    mIndexMask = size - 1;
    mIncrement = static_cast<float>(size) * mFrequency * mAudioSamplingRateReciprocal;
    if (mOwnsTable || mSharedTable) adoptTable(new float[size]());
}

int zusp_oscillator_wavetable::getWavetableSize() {
    return mTableSize;
}

void zusp_oscillator_wavetable::buildAdditiveWavetable(int count, float* amplitudes) {
    const int n = mTableSize;
    float* table = new float[n]();
    if (amplitudes != nullptr) {
        for (int h = 1; h <= count; ++h) {
            const float a = amplitudes[h - 1];
            for (int i = 0; i < n; ++i) {
                const float arg = static_cast<float>(static_cast<double>(i) * h * kTwoPi /
                                                     static_cast<double>(n));
                table[i] = table[i] + a * zusp_math::sinf(arg);
            }
        }
    }
    adoptTable(table);
}

void zusp_oscillator_wavetable::processFour(zusp_oscillator_wavetable* const oscillators[4],
                                            const float* fm, float* out, int n) {
    // Null lanes play a two-entry table of 0 that never moves.
    static const float kSilentTable[2] = {0.0f, 0.0f};
    const float* table[4];
    alignas(16) float phase[4], increment[4], sizeOverRate[4], size[4];
    alignas(16) int32_t sizeInt[4];
    for (int k = 0; k < 4; ++k) {
        const zusp_oscillator_wavetable* o = oscillators[k];
        table[k] = o ? o->mTable : kSilentTable;
        phase[k] = o ? o->mPhase : 0.0f;
        increment[k] = o ? o->mIncrement : 0.0f;
        sizeOverRate[k] = o ? o->mSizeOverRate : 0.0f;
        sizeInt[k] = o ? o->mTableSize : 2;
        size[k] = static_cast<float>(sizeInt[k]);
    }
    __m128 ph = _mm_load_ps(phase);
    __m128 fraction = _mm_setzero_ps();
    const __m128 inc = _mm_load_ps(increment), sor = _mm_load_ps(sizeOverRate);
    const __m128 sz = _mm_load_ps(size), twice = _mm_add_ps(sz, sz);
    const __m128i szi = _mm_load_si128(reinterpret_cast<const __m128i*>(sizeInt));
    const __m128i last = _mm_sub_epi32(szi, _mm_set1_epi32(1));
    const __m128 one = _mm_set1_ps(1.0f);
    // Entries e[0] and e[1] in the two low lanes.
    const auto pairAt = [](const float* e) {
        return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(e)));
    };
    for (int i = 0; i < n; ++i) {
        const __m128 p = fm ? _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(fm[i]), sor), inc), ph)
                            : _mm_add_ps(inc, ph);
        const __m128 usual = _mm_and_ps(_mm_cmpge_ps(p, _mm_setzero_ps()), _mm_cmplt_ps(p, twice));
        if (_mm_movemask_ps(usual) != 0xf) {
            // Back to the objects, one step each by their own process(), and on from there.
            _mm_store_ps(phase, ph);
            alignas(16) float frac[4];
            _mm_store_ps(frac, fraction);
            for (int k = 0; k < 4; ++k) {
                zusp_oscillator_wavetable* o = oscillators[k];
                if (!o) {
                    out[4 * i + k] = 0.0f;
                    continue;
                }
                o->mPhase = phase[k];
                o->mFraction = frac[k];
                out[4 * i + k] = fm ? o->process(fm[i]) : o->process();
                phase[k] = o->mPhase;
                frac[k] = o->mFraction;
            }
            ph = _mm_load_ps(phase);
            fraction = _mm_load_ps(frac);
            continue;
        }
        const __m128i whole = _mm_cvttps_epi32(p);
        fraction = _mm_sub_ps(p, _mm_cvtepi32_ps(whole));
        const __m128 high = _mm_cmpge_ps(p, sz);
        ph = _mm_or_ps(_mm_and_ps(high, _mm_sub_ps(p, sz)), _mm_andnot_ps(high, p));
        const __m128i index = _mm_sub_epi32(whole, _mm_and_si128(_mm_castps_si128(high), szi));
        alignas(16) int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
        __m128 a, b;
        if (_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(index, last))) == 0) {
            // No lane at its table's last entry: each lane's two entries side by side, read as
            // one pair and sorted into the two vectors.
            const __m128 p0 = pairAt(table[0] + at[0]), p1 = pairAt(table[1] + at[1]);
            const __m128 p2 = pairAt(table[2] + at[2]), p3 = pairAt(table[3] + at[3]);
            const __m128 low = _mm_unpacklo_ps(p0, p1), high2 = _mm_unpacklo_ps(p2, p3);
            a = _mm_movelh_ps(low, high2);
            b = _mm_movehl_ps(high2, low);
        } else {
            __m128i next = _mm_add_epi32(index, _mm_set1_epi32(1));
            next = _mm_and_si128(next, _mm_cmplt_epi32(next, szi)); // i + 1 >= N wraps to 0
            alignas(16) int32_t after[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(after), next);
            a = _mm_setr_ps(table[0][at[0]], table[1][at[1]], table[2][at[2]], table[3][at[3]]);
            b = _mm_setr_ps(table[0][after[0]], table[1][after[1]], table[2][after[2]],
                            table[3][after[3]]);
        }
        _mm_storeu_ps(out + 4 * i, _mm_add_ps(_mm_mul_ps(_mm_sub_ps(one, fraction), a),
                                              _mm_mul_ps(fraction, b)));
    }
    _mm_store_ps(phase, ph);
    alignas(16) float frac[4];
    _mm_store_ps(frac, fraction);
    for (int k = 0; k < 4; ++k)
        if (oscillators[k] && n > 0) {
            oscillators[k]->mPhase = phase[k];
            oscillators[k]->mFraction = frac[k];
        }
}

void zusp_oscillator_wavetable::resetPhase(float phase) {
    const float n = static_cast<float>(mTableSize);
    if (!std::isfinite(phase)) phase = 0.0f;
    // A phase at or beyond the table's end is kept as given: the next read wraps it, at the
    // precision of that position (the rimshot restarts its tones at one full table length).
    // Only a negative phase is brought into the table.
    if (phase < 0.0f) {
        phase = fmodf(phase, n);
        if (phase < 0.0f) phase += n;
        if (phase >= n) phase = 0.0f;
    }
    mPhase = phase;
}

// ---------------------------------------------------------------------------------------------
// zusp_oscillator_wavetable_resizeable

zusp_oscillator_wavetable_resizeable::zusp_oscillator_wavetable_resizeable(int size)
    : zusp_oscillator_wavetable(size) {}

void zusp_oscillator_wavetable_resizeable::setTableSize(int size) {
    if (size < 1) return;
    adoptTable(new float[size]());
    mPhase = 0.0f;
    mSizeOverRate = static_cast<float>(size) * mAudioSamplingRateReciprocal;
    mTableSize = size;
    mIndexMask = size - 1;
}

// ---------------------------------------------------------------------------------------------
// zusp_oscillator_wavetable_multi

zusp_oscillator_wavetable_multi::zusp_oscillator_wavetable_multi(int count, int size)
    : zusp_oscillator_wavetable_resizeable(4096) {
    if (count > 0) {
        mTables.reserve(static_cast<size_t>(count));
        mTableSizes.reserve(static_cast<size_t>(count));
    }
    for (int k = 0; k < count; ++k)
        addTable(size);
    setCurrentTable(0);
}

zusp_oscillator_wavetable_multi::~zusp_oscillator_wavetable_multi() {
    if (!mOwnsTable) mTable = nullptr; // the list tables are released below
    for (float* t : mTables)
        delete[] t;
}

void zusp_oscillator_wavetable_multi::addTable(int size) {
    if (size < 1) size = 1;
    mTables.push_back(new float[size]());
    mTableSizes.push_back(size);
}

void zusp_oscillator_wavetable_multi::setCurrentTable(int index) {
    if (index < 0 || index >= static_cast<int>(mTables.size())) return;
    const int32_t newSize = mTableSizes[index];
    if (mPhase >= static_cast<float>(newSize)) mPhase = 0.0f;
    const bool sizeChanged = newSize != mTableSize;
    mTableSize = newSize;
    mIndexMask = newSize - 1;
    releaseTable(); // only the table built before the list took over is owned here
    mTable = mTables[index];
    if (sizeChanged) setFrequency(mFrequency);
    mSizeOverRate = static_cast<float>(mTableSize) * mAudioSamplingRateReciprocal;
    mCurrentTable = index;
}

int zusp_oscillator_wavetable_multi::getCurrentTable() {
    return mCurrentTable;
}

template <typename Rebuild>
void zusp_oscillator_wavetable_multi::rebuildCurrent(Rebuild rebuild) {
    if (mCurrentTable < 0) {
        rebuild();
        return;
    }
    float* slot = mTables[mCurrentTable];
    const bool playingSlot = mTable == slot;
    // Let the rebuild release the slot's table when it replaces it.
    if (playingSlot) mOwnsTable = true;
    rebuild();
    if (mOwnsTable) {
        if (!playingSlot) delete[] slot;
        mTables[mCurrentTable] = mTable;
        mTableSizes[mCurrentTable] = mTableSize;
        mOwnsTable = false;
    }
}

// The list's tables are its own, so a shared shape is copied into it.
void zusp_oscillator_wavetable_multi::setWaveshape(int shape, float width) {
    rebuildCurrent([&] {
        zusp_oscillator_wavetable::setWaveshape(shape, width, 16);
        ownSharedTable();
    });
}

void zusp_oscillator_wavetable_multi::setWavetableSize(int size) {
    rebuildCurrent([&] { zusp_oscillator_wavetable::setWavetableSize(size); });
}

void zusp_oscillator_wavetable_multi::setTableSize(int size) {
    rebuildCurrent([&] { zusp_oscillator_wavetable_resizeable::setTableSize(size); });
}
