// The library's own elementary functions against long-double references, over the ranges the
// blocks use: each result must be the reference rounded to float (the C library's are not always).
#include "zusp_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

struct Function {
    const char* name;
    std::function<float(float)> ours;
    std::function<long double(long double)> reference;
    float lo, hi;
};

TEST(Math, ResultsAreTheExactValuesRoundedToFloat) {
    const Function functions[] = {
        {"x^10", [](float x) { return zusp_math::powf(x, 10.0f); },
         [](long double x) { return powl(x, 10.0L); }, 0.0f, 1.0f},
        {"x^3.1622777", [](float x) { return zusp_math::powf(x, 3.1622777f); },
         [](long double x) { return powl(x, (long double)3.1622777f); }, 0.0f, 1.0f},
        {"x^0.3162", [](float x) { return zusp_math::powf(x, 0.3162f); },
         [](long double x) { return powl(x, (long double)0.3162f); }, 0.0f, 1.0f},
        {"10^x", zusp_math::exp10f, [](long double x) { return powl(10.0L, x); }, -5.0f, 5.0f},
        {"e^x", zusp_math::expf, [](long double x) { return expl(x); }, -80.0f, 80.0f},
        {"log10", zusp_math::log10f, [](long double x) { return log10l(x); }, 1e-6f, 4.0f},
        {"sin", zusp_math::sinf, [](long double x) { return sinl(x); }, 0.0f, 3.2f},
        {"cos", zusp_math::cosf, [](long double x) { return cosl(x); }, 0.0f, 3.2f},
        {"sinh", zusp_math::sinhf, [](long double x) { return sinhl(x); }, 0.0f, 50.0f},
    };
    const int n = 200000;
    for (const Function& f : functions) {
        int wrong = 0;
        for (int i = 0; i <= n; ++i) {
            const float x = f.lo + (f.hi - f.lo) * (float)i / (float)n;
            const float expected = (float)f.reference(x);
            if (f.ours(x) != expected) ++wrong;
        }
        EXPECT_LE(wrong, 2) << f.name; // a reference within 1e-19 of a rounding boundary
    }
}

// The envelopes' curves take four powers at a time: each lane of the exact ones must be powf's
// bits (a lane outside (0, 1) sends the four back to powf), the float ones must stay within a few
// millionths of the exact power wherever that is above 1e-6.
TEST(Math, FourPowersOfCurves) {
    for (float p : {3.1622777f, 10.0f, 1.2589254f, 31.622776f}) {
        int wrong = 0;
        double worst = 0.0;
        for (int i = 1; i + 4 < 200000; i += 4) {
            float x[4], out[4], fast[4];
            for (int j = 0; j < 4; ++j)
                x[j] = (float)(i + j) / 200000.0f;
            ASSERT_TRUE(zusp_math::powExact4(_mm_loadu_ps(x), p, out));
            _mm_storeu_ps(fast, zusp_math::pow4(_mm_loadu_ps(x), _mm_set1_ps(p)));
            for (int j = 0; j < 4; ++j) {
                wrong += out[j] != zusp_math::powf(x[j], p);
                const double exact = (double)powl(x[j], (long double)p);
                if (exact > 1e-6) worst = std::max(worst, std::fabs(fast[j] / exact - 1));
            }
        }
        EXPECT_EQ(wrong, 0) << p;
        EXPECT_LT(worst, 5e-6) << p;
    }
    float out[4];
    EXPECT_FALSE(zusp_math::powExact4(_mm_setr_ps(0.5f, 0.0f, 0.5f, 0.5f), 3.0f, out));
    EXPECT_FALSE(zusp_math::powExact4(_mm_setr_ps(0.5f, 0.5f, 1.0f, 0.5f), 3.0f, out));
    EXPECT_FALSE(zusp_math::powExact4(_mm_set1_ps(0.5f), 1.0f, out));
}

TEST(Math, SpecialArguments) {
    EXPECT_EQ(zusp_math::powf(0.3f, 1.0f), 0.3f);
    EXPECT_EQ(zusp_math::powf(0.0f, 3.0f), 0.0f);
    EXPECT_EQ(zusp_math::powf(1.0f, 7.5f), 1.0f);
    EXPECT_EQ(zusp_math::exp10f(0.0f), 1.0f);
    EXPECT_EQ(zusp_math::expf(-1000.0f), 0.0f);
    EXPECT_EQ(zusp_math::log10f(0.0f), -INFINITY);
    EXPECT_EQ(zusp_math::pow1(1.0f, 100.0f), 1.0f); // the curves' float power
    EXPECT_EQ(zusp_math::pow1(1e-20f, 7.0f), 0.0f);
}

} // namespace
