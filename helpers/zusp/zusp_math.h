// The library's own elementary functions. The C library picks its implementations of powf,
// logf, sin and the like by CPU (with or without fused multiply-add), and those may round
// differently; everything here is plain IEEE arithmetic in double precision (the build forbids
// contraction into fused multiply-adds), so every machine gets the same bits. The float results
// are those of the exact function rounded once, apart from inputs within about 1e-15 of a
// rounding boundary: that is what the C library gives too, nearly always.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <limits>

namespace zusp_math {

constexpr double kLn2Hi = 6.93147180369123816490e-01; // ln 2 split so that n * kLn2Hi is exact
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kLn10 = 2.30258509299404568402e+00;
constexpr double kInvLn10 = 4.34294481903251827651e-01;
constexpr double kSqrt2 = 1.41421356237309504880e+00;

inline uint64_t bitsOf(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

inline double fromBits(uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// Reads one byte of every 64-byte line of `bytes` bytes at p, so that the lines come into the
// cache ahead of their use. Returns a sum for the caller to keep (so the reads stay).
inline unsigned touchLines(const void* p, size_t bytes) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; i += 64)
        sum += c[i];
    return sum;
}

// Tables for the logarithm and the exponential, computed by the compiler with plain double
// arithmetic (so they are the same on every machine), immutable and shared by every instance.
namespace detail {

constexpr int kLogTableBits = 7;
constexpr int kLogTableSize = 1 << kLogTableBits;
constexpr int kExpTableBits = 6;
constexpr int kExpTableSize = 1 << kExpTableBits;
// Adding 1.5 * 2^52 rounds a double of magnitude below 2^51 to an integer in its low bits.
constexpr double kExpShifter = 6755399441055744.0;

// ln c for c in [1, 2): 2 atanh((c - 1) / (c + 1)) summed until the terms vanish.
constexpr double seriesLog(double c) {
    const double s = (c - 1.0) / (c + 1.0);
    const double z = s * s;
    double term = s, sum = 0.0;
    for (int k = 1; k < 200; k += 2) {
        sum = sum + term / k;
        term = term * z;
    }
    return 2.0 * sum;
}

// e^r for |r| < 1 by its series.
constexpr double seriesExp(double r) {
    double term = 1.0, sum = 0.0;
    for (int k = 1; k < 40; ++k) {
        sum = sum + term;
        term = term * r / k;
    }
    return sum;
}

struct LogEntry {
    double invC; // 1 / c, c the centre of the entry's interval of mantissas
    double logC; // ln c
};

struct Tables {
    LogEntry log[kLogTableSize];
    double exp2[kExpTableSize]; // 2^(j / 64)
    constexpr Tables() : log(), exp2() {
        for (int i = 0; i < kLogTableSize; ++i) {
            const double c = 1.0 + (i + 0.5) / kLogTableSize;
            log[i].invC = 1.0 / c;
            log[i].logC = seriesLog(c);
        }
        for (int j = 0; j < kExpTableSize; ++j)
            exp2[j] = seriesExp(j * 0.693147180559945309417232121458 / kExpTableSize);
    }
};

inline constexpr Tables kTables{};

} // namespace detail

// Natural logarithm of a finite, positive float: x = 2^e * m, m in [1, 2), m = c (1 + r) with c
// from a table of 128 and |r| < 1/256, ln(1 + r) by its series to r^7 (about 1e-18).
inline double logPositive(float x) {
    uint32_t u;
    std::memcpy(&u, &x, sizeof u);
    int e = static_cast<int>(u >> 23) - 127;
    if (e == -127) { // a denormal: scale it into the normal range first
        const float scaled = x * 8388608.0f;
        std::memcpy(&u, &scaled, sizeof u);
        e = static_cast<int>(u >> 23) - 127 - 23;
    }
    const uint32_t mantissa = u & 0x7fffff;
    const detail::LogEntry& t = detail::kTables.log[mantissa >> (23 - detail::kLogTableBits)];
    const double m = 1.0 + static_cast<double>(mantissa) * (1.0 / 8388608.0);
    const double r = m * t.invC - 1.0;
    const double r2 = r * r;
    // r - r^2/2 + r^3/3 - ... - r^6/6 + r^7/7, in pairs to shorten the chain of dependencies
    const double p01 = r - 0.5 * r2;
    const double p23 = (1.0 / 3.0) - 0.25 * r;
    const double p45 = (1.0 / 5.0) - (1.0 / 6.0) * r;
    const double p67 = (1.0 / 7.0) * r;
    const double r3 = r2 * r;
    const double r6 = r3 * r3;
    const double series = p01 + r3 * (p23 + r2 * p45) + r6 * p67;
    const double de = static_cast<double>(e);
    return de * kLn2Hi + ((de * kLn2Lo + t.logC) + series);
}

// e^y for any double: y = (64 n + j) ln2/64 + r with |r| <= ln2/128, e^r by its series to r^5
// (about 4e-17), times 2^(j/64) from a table and 2^n. Results far below the float range are 0.
inline double expKernel(double y) {
    if (!(y > -700.0)) return y != y ? y : 0.0;
    if (y > 700.0) return std::numeric_limits<double>::infinity();
    // Round y * 64/ln2 to the nearest integer: adding 1.5 * 2^52 leaves it in the low bits.
    const double shifter = detail::kExpShifter;
    const double t = y * (kInvLn2 * detail::kExpTableSize) + shifter;
    const double k = t - shifter;
    const double r =
        (y - k * (kLn2Hi / detail::kExpTableSize)) - k * (kLn2Lo / detail::kExpTableSize);
    const int64_t ki = static_cast<int64_t>(bitsOf(t) - bitsOf(shifter));
    const double r2 = r * r;
    // 1 + r + r^2/2 + r^3/6 + r^4/24 + r^5/120
    const double p =
        (1.0 + r) + r2 * ((0.5 + (1.0 / 6.0) * r) + r2 * ((1.0 / 24.0) + (1.0 / 120.0) * r));
    const double scale =
        fromBits(static_cast<uint64_t>((ki >> detail::kExpTableBits) + 1023) << 52);
    return p * detail::kTables.exp2[ki & (detail::kExpTableSize - 1)] * scale;
}

namespace detail {

// logPositive of two lanes: m in [1, 2) with its table entry's invC and logC, de the exponent;
// the scalar form's operations in its order, so each lane has its bits.
inline __m128d logTwo(__m128d m, __m128d de, __m128d invC, __m128d logC) {
    const __m128d r = _mm_sub_pd(_mm_mul_pd(m, invC), _mm_set1_pd(1.0));
    const __m128d r2 = _mm_mul_pd(r, r);
    const __m128d p01 = _mm_sub_pd(r, _mm_mul_pd(_mm_set1_pd(0.5), r2));
    const __m128d p23 = _mm_sub_pd(_mm_set1_pd(1.0 / 3.0), _mm_mul_pd(_mm_set1_pd(0.25), r));
    const __m128d p45 = _mm_sub_pd(_mm_set1_pd(1.0 / 5.0), _mm_mul_pd(_mm_set1_pd(1.0 / 6.0), r));
    const __m128d p67 = _mm_mul_pd(_mm_set1_pd(1.0 / 7.0), r);
    const __m128d r3 = _mm_mul_pd(r2, r);
    const __m128d r6 = _mm_mul_pd(r3, r3);
    const __m128d series = _mm_add_pd(
        _mm_add_pd(p01, _mm_mul_pd(r3, _mm_add_pd(p23, _mm_mul_pd(r2, p45)))), _mm_mul_pd(r6, p67));
    return _mm_add_pd(_mm_mul_pd(de, _mm_set1_pd(kLn2Hi)),
                      _mm_add_pd(_mm_add_pd(_mm_mul_pd(de, _mm_set1_pd(kLn2Lo)), logC), series));
}

// expKernel's reduction and series of two lanes in its plain range (-700 < y <= 700): t gets y
// * 64/ln2 rounded into its low bits (table index and power of two, less the shifter's bits),
// the result is e^r's series; the scalar form's operations in its order.
inline __m128d expSeriesTwo(__m128d y, __m128d& t) {
    const __m128d shifter = _mm_set1_pd(kExpShifter);
    t = _mm_add_pd(_mm_mul_pd(y, _mm_set1_pd(kInvLn2 * kExpTableSize)), shifter);
    const __m128d k = _mm_sub_pd(t, shifter);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(y, _mm_mul_pd(k, _mm_set1_pd(kLn2Hi / kExpTableSize))),
                                 _mm_mul_pd(k, _mm_set1_pd(kLn2Lo / kExpTableSize)));
    const __m128d r2 = _mm_mul_pd(r, r);
    return _mm_add_pd(
        _mm_add_pd(_mm_set1_pd(1.0), r),
        _mm_mul_pd(
            r2, _mm_add_pd(_mm_add_pd(_mm_set1_pd(0.5), _mm_mul_pd(_mm_set1_pd(1.0 / 6.0), r)),
                           _mm_mul_pd(r2, _mm_add_pd(_mm_set1_pd(1.0 / 24.0),
                                                     _mm_mul_pd(_mm_set1_pd(1.0 / 120.0), r))))));
}

} // namespace detail

// x^y as the voices need it: x >= 0 (a negative x only with an integer y). y == 1 gives x
// itself, y == 0 gives 1, 0^y is 0 for y > 0.
inline float powf(float x, float y) {
    if (y == 1.0f) return x;
    if (y == 0.0f) return 1.0f;
    if (x > 0.0f) {
        if (x == 1.0f) return 1.0f;
        return static_cast<float>(expKernel(static_cast<double>(y) * logPositive(x)));
    }
    if (x == 0.0f) return y > 0.0f ? 0.0f : std::numeric_limits<float>::infinity();
    if (x != x || y != y) return std::numeric_limits<float>::quiet_NaN();
    // A negative base has a real power only for integer exponents; its sign is the parity's.
    const float a = y < 0.0f ? -y : y;
    if (a >= 16777216.0f) return powf(-x, y); // every float this large is even
    const int64_t yi = static_cast<int64_t>(y);
    if (static_cast<float>(yi) != y) return std::numeric_limits<float>::quiet_NaN();
    const float m = powf(-x, y);
    return (yi & 1) ? -m : m;
}

// powf(x, p) of 4 Q x in (0, 1) at once (Q quads), two lanes of double at a time: the same
// operations in the same order as logPositive and expKernel, so every lane has the bits of powf;
// the quads' work is interleaved. Returns false (and leaves out alone) when a lane lies outside
// (0, 1) or its power outside expKernel's plain range; the caller then takes powf lane by lane.
template <int Q>
inline bool powExactQuads(const __m128 (&x)[Q], float p, float* out) {
    if (p == 1.0f || p == 0.0f) return false; // powf answers these without computing
    constexpr int H = 2 * Q;                  // halves of two lanes
    const __m128 one = _mm_set1_ps(1.0f);
    alignas(16) int32_t index[4 * Q];
    __m128i e[Q], mantissa[Q];
    for (int q = 0; q < Q; ++q) {
        const __m128 inside =
            _mm_and_ps(_mm_cmpgt_ps(x[q], _mm_setzero_ps()), _mm_cmplt_ps(x[q], one));
        if (_mm_movemask_ps(inside) != 0xf) return false;
        // Normal floats only (x >= 2^-126), so no lane needs logPositive's denormal scaling.
        if (_mm_movemask_ps(_mm_cmplt_ps(x[q], _mm_set1_ps(1.17549435e-38f))) != 0) return false;
        const __m128i bits = _mm_castps_si128(x[q]);
        e[q] = _mm_sub_epi32(_mm_srli_epi32(bits, 23), _mm_set1_epi32(127));
        mantissa[q] = _mm_and_si128(bits, _mm_set1_epi32(0x7fffff));
        _mm_store_si128(reinterpret_cast<__m128i*>(index + 4 * q),
                        _mm_srli_epi32(mantissa[q], 23 - detail::kLogTableBits));
    }
    const __m128d py = _mm_set1_pd(static_cast<double>(p));
    __m128d y[H];
    for (int h = 0; h < H; ++h) {
        const detail::LogEntry& t0 = detail::kTables.log[index[2 * h]];
        const detail::LogEntry& t1 = detail::kTables.log[index[2 * h + 1]];
        const __m128d invC = _mm_setr_pd(t0.invC, t1.invC);
        const __m128d logC = _mm_setr_pd(t0.logC, t1.logC);
        const __m128i mh = h % 2 == 0 ? mantissa[h / 2] : _mm_srli_si128(mantissa[h / 2], 8);
        const __m128i eh = h % 2 == 0 ? e[h / 2] : _mm_srli_si128(e[h / 2], 8);
        const __m128d m = _mm_add_pd(_mm_set1_pd(1.0),
                                     _mm_mul_pd(_mm_cvtepi32_pd(mh), _mm_set1_pd(1.0 / 8388608.0)));
        const __m128d lg = detail::logTwo(m, _mm_cvtepi32_pd(eh), invC, logC);
        y[h] = _mm_mul_pd(py, lg);
    }
    // expKernel's plain range: -700 < y <= 700 (also rejects NaN).
    const __m128d low = _mm_set1_pd(-700.0), high = _mm_set1_pd(700.0);
    int inRange = 3;
    for (int h = 0; h < H; ++h)
        inRange &= _mm_movemask_pd(_mm_and_pd(_mm_cmpgt_pd(y[h], low), _mm_cmple_pd(y[h], high)));
    if (inRange != 3) return false;
    const __m128d shifter = _mm_set1_pd(detail::kExpShifter);
    __m128 result[Q] = {}; // each filled by its two halves below
    for (int h = 0; h < H; ++h) {
        __m128d t;
        const __m128d q = detail::expSeriesTwo(y[h], t);
        const __m128i ki = _mm_sub_epi64(_mm_castpd_si128(t), _mm_castpd_si128(shifter));
        // 2^(ki >> 6): ki > -700 * 64 / ln 2, so ki + 1023 * 64 is positive and a logical shift
        // gives the biased exponent.
        const __m128i biased =
            _mm_srli_epi64(_mm_add_epi64(ki, _mm_set1_epi64x(1023 << detail::kExpTableBits)),
                           detail::kExpTableBits);
        const __m128d scale = _mm_castsi128_pd(_mm_slli_epi64(biased, 52));
        const int j0 = _mm_cvtsi128_si32(ki) & (detail::kExpTableSize - 1);
        const int j1 = _mm_cvtsi128_si32(_mm_srli_si128(ki, 8)) & (detail::kExpTableSize - 1);
        const __m128d table = _mm_setr_pd(detail::kTables.exp2[j0], detail::kTables.exp2[j1]);
        const __m128 f = _mm_cvtpd_ps(_mm_mul_pd(_mm_mul_pd(q, table), scale));
        result[h / 2] = h % 2 == 0 ? f : _mm_movelh_ps(result[h / 2], f);
    }
    for (int q = 0; q < Q; ++q)
        _mm_storeu_ps(out + 4 * q, result[q]);
    return true;
}

// powExactQuads of one quad.
inline bool powExact4(__m128 x, float p, float out[4]) {
    const __m128 quad[1] = {x};
    return powExactQuads<1>(quad, p, out);
}

// x^p for x >= 0 and finite p >= 1, four at a time, in float arithmetic: 2^(p log2 x), within a
// few units in the last place of the exact power (log2 and 2^r by polynomials of our own, no
// division). The curves of envelopes use it; each lane computes alone, so a value is the same in
// any lane and in pow1. Results below 2^-125 (and those of x < 2^-126) are 0; 1^p is 1.
inline __m128 pow4(__m128 x, __m128 p) {
    // x = 2^e m with m in [sqrt(1/2), sqrt(2)): offsetting the bits by those of sqrt(1/2) moves
    // the exponent's step there.
    const __m128i offset = _mm_set1_epi32(0x3f3504f3);
    const __m128i ix = _mm_sub_epi32(_mm_castps_si128(x), offset);
    const __m128 e = _mm_cvtepi32_ps(_mm_srai_epi32(ix, 23));
    const __m128 m =
        _mm_castsi128_ps(_mm_add_epi32(_mm_and_si128(ix, _mm_set1_epi32(0x7fffff)), offset));
    // log2(1 + t) = t Q(t), Q of degree 9 (relative error 5e-9), in Estrin's order so that the
    // terms are worked out side by side.
    const __m128 t = _mm_sub_ps(m, _mm_set1_ps(1.0f));
    const __m128 t2 = _mm_mul_ps(t, t);
    const __m128 t4 = _mm_mul_ps(t2, t2);
    const auto line = [&t](float c0, float c1) {
        return _mm_add_ps(_mm_mul_ps(_mm_set1_ps(c1), t), _mm_set1_ps(c0));
    };
    const __m128 q03 = _mm_add_ps(_mm_mul_ps(line(0.480898520f, -0.360696542f), t2),
                                  line(1.44269504f, -0.721347354f));
    const __m128 q47 = _mm_add_ps(_mm_mul_ps(line(0.204857648f, -0.191388377f), t2),
                                  line(0.288552561f, -0.239608122f));
    const __m128 q = _mm_add_ps(_mm_mul_ps(line(0.184760334f, -0.107497894f), _mm_mul_ps(t4, t4)),
                                _mm_add_ps(_mm_mul_ps(q47, t4), q03));
    const __m128 y = _mm_mul_ps(p, _mm_add_ps(e, _mm_mul_ps(t, q)));
    // 2^y = 2^n 2^r, |r| <= 1/2, 2^r = 1 + r S(r), S of degree 5 (relative error 5e-9)
    const __m128i n = _mm_cvtps_epi32(y);
    const __m128 r = _mm_sub_ps(y, _mm_cvtepi32_ps(n));
    const __m128 r2 = _mm_mul_ps(r, r);
    const auto rline = [&r](float c0, float c1) {
        return _mm_add_ps(_mm_mul_ps(_mm_set1_ps(c1), r), _mm_set1_ps(c0));
    };
    const __m128 s =
        _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(rline(0.00133908634f, 0.000154531629f), r2),
                                         rline(0.0555035711f, 0.00961808256f)),
                              r2),
                   rline(0.693147188f, 0.240226508f));
    const __m128 scale =
        _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23));
    const __m128 result = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(s, r), _mm_set1_ps(1.0f)), scale);
    // Lanes out of range: 0 (a power below 2^-125, which takes in x below 2^-126 as p >= 1, and
    // y = NaN). x = 1 needs no care: t, y and r are 0, so the lane is exactly 1.
    const __m128i inRange = _mm_and_si128(_mm_cmpgt_epi32(n, _mm_set1_epi32(-126)),
                                          _mm_cmplt_epi32(n, _mm_set1_epi32(128)));
    return _mm_and_ps(_mm_castsi128_ps(inRange), result);
}

// One power of pow4.
inline float pow1(float x, float p) {
    return _mm_cvtss_f32(pow4(_mm_set1_ps(x), _mm_set1_ps(p)));
}

// 10^y.
inline float exp10f(float y) {
    return static_cast<float>(expKernel(static_cast<double>(y) * kLn10));
}

// e^y.
inline float expf(float y) {
    return static_cast<float>(expKernel(static_cast<double>(y)));
}

// log10 x for x > 0 (not a number for other x, -inf for 0).
inline float log10f(float x) {
    if (x > 0.0f) {
        if (x > std::numeric_limits<float>::max()) return x;
        return static_cast<float>(logPositive(x) * kInvLn10);
    }
    return x == 0.0f ? -std::numeric_limits<float>::infinity()
                     : std::numeric_limits<float>::quiet_NaN();
}

// sin and cos of a double, |x| < 1e5 (table building and filter design): x = k pi/2 + r, with
// pi/2 in three parts so that the reduction stays exact to about 1e-20 for such k, then the
// series of sin and cos on |r| <= pi/4.
inline void sinCos(double x, double& s, double& c) {
    const double kInvPio2 = 6.36619772367581382433e-01;
    const double kPio2Hi = 1.57079632673412561417e+00;  // first 33 bits of pi/2
    const double kPio2Mid = 6.07710050630396597660e-11; // next 33 bits
    const double kPio2Lo = 2.02226624879595063154e-21;
    const double shifter = 6755399441055744.0;
    const double t = x * kInvPio2 + shifter;
    const double k = t - shifter;
    const double r = ((x - k * kPio2Hi) - k * kPio2Mid) - k * kPio2Lo;
    const double z = r * r;
    // sin r = r (1 - z/3! + z^2/5! ...), cos r = 1 - z/2! + z^2/4! ..., to r^19 and r^18
    double ps = -1.0 / 121645100408832000.0; // -1/19!
    ps = ps * z + 1.0 / 355687428096000.0;
    ps = ps * z - 1.0 / 1307674368000.0;
    ps = ps * z + 1.0 / 6227020800.0;
    ps = ps * z - 1.0 / 39916800.0;
    ps = ps * z + 1.0 / 362880.0;
    ps = ps * z - 1.0 / 5040.0;
    ps = ps * z + 1.0 / 120.0;
    ps = ps * z - 1.0 / 6.0;
    const double sr = r + r * (z * ps);
    double pc = 1.0 / 6402373705728000.0; // 1/18!
    pc = pc * z - 1.0 / 20922789888000.0;
    pc = pc * z + 1.0 / 87178291200.0;
    pc = pc * z - 1.0 / 479001600.0;
    pc = pc * z + 1.0 / 3628800.0;
    pc = pc * z - 1.0 / 40320.0;
    pc = pc * z + 1.0 / 720.0;
    pc = pc * z - 1.0 / 24.0;
    pc = pc * z + 0.5;
    const double cr = 1.0 - z * pc;
    switch (static_cast<int>(static_cast<int64_t>(bitsOf(t) - bitsOf(shifter)) & 3)) {
    case 0:
        s = sr, c = cr;
        break;
    case 1:
        s = cr, c = -sr;
        break;
    case 2:
        s = -sr, c = -cr;
        break;
    default:
        s = -cr, c = sr;
        break;
    }
}

inline double sin(double x) {
    double s, c;
    sinCos(x, s, c);
    return s;
}

inline float sinf(float x) {
    return static_cast<float>(sin(x));
}

inline float cosf(float x) {
    double s, c;
    sinCos(x, s, c);
    return static_cast<float>(c);
}

// sinh x for 0 <= x <= 80 (the biquads' bandwidth term).
inline float sinhf(float x) {
    const double d = x;
    if (d < 0.125) {
        const double z = d * d;
        double p = 1.0 / 39916800.0; // 1/11!
        p = p * z + 1.0 / 362880.0;
        p = p * z + 1.0 / 5040.0;
        p = p * z + 1.0 / 120.0;
        p = p * z + 1.0 / 6.0;
        return static_cast<float>(d + d * (z * p));
    }
    const double e = expKernel(d);
    return static_cast<float>(0.5 * (e - 1.0 / e));
}

} // namespace zusp_math
