// Generates the kick's single-cycle waveform kKickData (891 floats) and prints it as C++ source.
//
// The cycle is defined by a handful of fixed entries (the "telling" entries below): the start
// just below zero, a positive lobe peaking at index 266, a zero crossing between 450 and 451, a
// negative lobe reaching -1.0 at index 674, and an end just below zero again. Everything in
// between is ours to choose, and it must be smooth so that the oscillator plays a clean tone.
//
// Method: the table is written as value(i) = A(W) * sin(pi * W(i)), where W is a phase that
// rises monotonically from about 0 (start of the positive lobe) through 1 (the middle zero
// crossing) to about 2 (end of the negative lobe). A is the lobe amplitude: 0.98685694 for the
// positive lobe, 1.0 for the negative one, blended with a raised cosine between the two peaks so
// that its slope is continuous. For each telling entry we solve for the W that reproduces its
// value exactly; W between those knots is a periodic, monotone cubic (Fritsch-Carlson) so it never
// overshoots: the positive lobe has a single maximum exactly at 266 and the negative lobe a single
// minimum exactly at 674. The telling entries are finally written with their exact values (the
// computed ones differ only by double rounding).
//
// Usage: brakka-kickdata > common/BrakkaKickData.cpp
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const int kSize = 891;
const double kPi = 3.14159265358979323846;
const double kPositivePeak = 0.98685694; // the maximum, at index 266
const double kNegativePeak = 1.0;        // magnitude of the minimum, at index 674

struct Telling {
    int index;
    float value;
};

const Telling kTelling[] = {
    {0, -0.005947535f}, {1, 0.002398504f},     {100, 0.67526835f},
    {266, 0.98685694f}, {450, 0.00057526398f}, {451, -0.0085377926f},
    {674, -1.0f},       {800, -0.67258382f},   {890, -0.007579020f},
};

// Lobe amplitude as a function of the phase W (period 2).
double amplitude(double w) {
    w = std::fmod(w, 2.0);
    if (w < 0) w += 2.0;
    if (w <= 0.5 || w >= 1.5) return w <= 0.5 ? kPositivePeak : kNegativePeak;
    double t = (1.0 - std::cos(kPi * (w - 0.5))) * 0.5; // 0 at W=0.5, 1 at W=1.5
    return kPositivePeak + (kNegativePeak - kPositivePeak) * t;
}

double valueAt(double w) {
    return amplitude(w) * std::sin(kPi * w);
}

// The phase W in [lo, hi] whose value equals v (valueAt is monotone there). Bisection.
double solve(double v, double lo, double hi) {
    bool rising = valueAt(hi) > valueAt(lo);
    for (int k = 0; k < 200; ++k) {
        double mid = 0.5 * (lo + hi);
        if ((valueAt(mid) < v) == rising)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

} // namespace

int main() {
    // Knots (index, W). Index 0 belongs to the end of the negative lobe: it is taken as index 891
    // with W just below 2, and the cycle closes with index 892 = index 1 of the next period.
    struct Knot {
        double x, w;
    };
    std::vector<Knot> knots;
    for (const Telling& t : kTelling) {
        double lo, hi;
        int x = t.index == 0 ? kSize : t.index;
        if (x < 266) { // rising side of the positive lobe
            lo = 0.0, hi = 0.5;
        } else if (x == 266) {
            knots.push_back({double(x), 0.5});
            continue;
        } else if (x < 674) { // from the positive peak down to the negative peak
            lo = 0.5, hi = 1.5;
        } else if (x == 674) {
            knots.push_back({double(x), 1.5});
            continue;
        } else { // negative lobe rising back toward zero
            lo = 1.5, hi = 2.0;
        }
        knots.push_back({double(x), solve(t.value, lo, hi)});
    }
    std::sort(knots.begin(), knots.end(), [](const Knot& a, const Knot& b) { return a.x < b.x; });
    // Periodic continuation: one knot before and one after, shifted by a full cycle.
    Knot first = knots.front(), last = knots.back();
    knots.insert(knots.begin(), Knot{last.x - kSize, last.w - 2.0});
    knots.push_back(Knot{first.x + kSize, first.w + 2.0});

    // Fritsch-Carlson monotone cubic slopes.
    size_t n = knots.size();
    std::vector<double> d(n - 1), m(n);
    for (size_t k = 0; k + 1 < n; ++k)
        d[k] = (knots[k + 1].w - knots[k].w) / (knots[k + 1].x - knots[k].x);
    m[0] = d[0];
    m[n - 1] = d[n - 2];
    for (size_t k = 1; k + 1 < n; ++k) {
        // Weighted harmonic mean of the neighbouring secants (all positive here).
        double h0 = knots[k].x - knots[k - 1].x, h1 = knots[k + 1].x - knots[k].x;
        double w1 = 2 * h1 + h0, w2 = h1 + 2 * h0;
        m[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k]);
    }

    auto phaseAt = [&](double x) {
        size_t k = 0;
        while (k + 2 < n && x > knots[k + 1].x)
            ++k;
        double h = knots[k + 1].x - knots[k].x;
        double t = (x - knots[k].x) / h;
        double t2 = t * t, t3 = t2 * t;
        return (2 * t3 - 3 * t2 + 1) * knots[k].w + (t3 - 2 * t2 + t) * h * m[k] +
               (-2 * t3 + 3 * t2) * knots[k + 1].w + (t3 - t2) * h * m[k + 1];
    };

    float table[kSize];
    for (int i = 1; i <= kSize; ++i)
        table[i % kSize] = float(valueAt(phaseAt(double(i))));
    for (const Telling& t : kTelling)
        table[t.index] = t.value;

    std::printf("// Generated by tools/kickdata (brakka-kickdata); do not edit by hand.\n");
    std::printf("// One period of the kick's single-cycle waveform, also played by the toms.\n");
    std::printf("#include \"BrakkaKickData.h\"\n\n");
    std::printf("// clang-format off\n");
    std::printf("const float kKickData[kKickDataSize] = {\n");
    for (int i = 0; i < kSize; ++i) {
        if (i % 6 == 0) std::printf("   ");
        // Nine significant digits give back the exact float; keep a decimal point so that the
        // suffix f makes a float literal.
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", double(table[i]));
        std::printf(" %s%sf,", text, std::strpbrk(text, ".e") ? "" : ".0");
        if (i % 6 == 5 || i == kSize - 1) std::printf("\n");
    }
    std::printf("};\n");
    std::printf("// clang-format on\n");
    return 0;
}
