// The output compressor: coefficients, the gain computer's named values, and the detector and
// gain against a model sample by sample.
#include "zusp_dynamics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

struct Probe : zusp_compressor {
    float attackCoefficient() const { return mAttackCoefficient; }
    float releaseCoefficient() const { return mReleaseCoefficient; }
    void spoilAttackCoefficient() { mAttackCoefficient = -1.0f; }
};

struct Settings {
    float inDb, threshold, attack, release, ratio, outDb;
};
// The engine's own settings: a fast peak limiter at 0 dB.
const Settings kEngine{0, 0, 0.0005f, 0.05f, 1000, 0};

void apply(zusp_compressor& c, const Settings& s) {
    c.setInputGain(s.inDb);
    c.setThreshold(s.threshold);
    c.setAttack(s.attack);
    c.setRelease(s.release);
    c.setRatio(s.ratio);
    c.setOutputGain(s.outDb);
}

} // namespace

TEST(Compressor, CoefficientsAndEqualValuesNotRecomputed) {
    Probe c;
    // Single precision: near 1 the difference 1 - e^-x is coarse for a 10 s attack.
    EXPECT_NEAR(c.attackCoefficient(), 1.0 - std::exp(-1.0 / 441000.0), 1e-7);
    EXPECT_NEAR(c.releaseCoefficient(), 1.0 - std::exp(-1.0 / 4410000.0), 1e-7);
    apply(c, kEngine);
    EXPECT_NEAR(c.attackCoefficient(), 0.04434f, 1e-5f);
    EXPECT_NEAR(c.releaseCoefficient(), 0.000453f, 1e-6f);
    c.spoilAttackCoefficient();
    c.setAttack(0.0005f);
    EXPECT_EQ(c.attackCoefficient(), -1.0f);
    c.setAudioSamplingRate(88200.0f);
    EXPECT_NEAR(c.attackCoefficient(), 1.0 - std::exp(-1.0 / 44.1), 1e-5);
    c.setAttack(0.0f); // times of 0 or less follow at once
    c.setRelease(-1.0f);
    EXPECT_EQ(c.attackCoefficient(), 1.0f);
    EXPECT_EQ(c.releaseCoefficient(), 1.0f);
    float l, r;
    c.processStereo(0.5f, 0.1f, l, r);
    EXPECT_TRUE(std::isfinite(l) && std::isfinite(r));
}

TEST(Compressor, NamedGainReductions) {
    zusp_compressor c; // threshold -10 dB, ratio 2, detector at 0 dB
    float l, r;
    c.processStereo(1.0f, 0.5f, l, r);
    EXPECT_NEAR(c.getGainReduction(), -5.0f, 1e-4f);
    EXPECT_NEAR(c.getGainReductionMultiplier(), 0.5623413f, 1e-5f);
    EXPECT_NEAR(l, 0.5623413f, 1e-5f);
    EXPECT_NEAR(r, 0.5f * 0.5623413f, 1e-5f); // both channels get the same gain
    const float m = c.getGainReductionMultiplier();
    EXPECT_NEAR(c.process(1.0f), std::pow(10.0f, c.getGainReduction() * 0.05f), 1e-6f);
    EXPECT_EQ(c.getGainReductionMultiplier(), m); // the mono form leaves the multiplier alone

    c.setRatio(0.0f); // ignored: a ratio of 0 would divide by zero
    c.setRatio(-3.0f);
    c.processStereo(1.0f, 0.5f, l, r);
    EXPECT_TRUE(std::isfinite(l) && c.getGainReduction() < 0.0f);
}

// Also: below the threshold only the gains apply, ratio 1 never reduces, the louder channel
// drives the detector, and silence reads -100 dB.
TEST(Compressor, DetectorAndGainFollowTheModel) {
    const Settings cases[] = {{0, -10, 10, 100, 2, 0},        kEngine,
                              {6, -20, 0.001f, 0.01f, 4, -3}, {-3, -50, 0.002f, 0.2f, 8, 2},
                              {0, -40, 0.0005f, 0.05f, 1, 0}, {-12, 0, 0.0005f, 0.05f, 1000, 6},
                              {0, -105, 0.0005f, 0.01f, 2, 0}};
    for (const Settings& s : cases) {
        zusp_compressor c;
        apply(c, s);
        const float gIn = std::pow(10.0f, s.inDb / 20), gOut = std::pow(10.0f, s.outDb / 20);
        const float ca = 1 - std::exp(-1 / (s.attack * 44100)),
                    cr = 1 - std::exp(-1 / (s.release * 44100));
        float env = 1.0f; // a new compressor starts at 0 dB
        uint32_t seed = 7;
        for (int n = 0; n < 40000; ++n) {
            seed = seed * 1664525u + 1013904223u;
            // Bursts, then silence long enough to drop the level below -100 dB.
            const float amp = n < 20000 ? ((n / 2000) % 2 ? 0.05f : 1.5f) : 0.0f;
            const float x = amp * (float(seed >> 8) / 8388608.0f - 1.0f),
                        xr = (n % 3 ? -0.5f : 1.7f) * x;
            env -= cr * env; // the envelope decays every sample, also while the signal rises
            const float peak = std::max(std::fabs(x * gIn), std::fabs(xr * gIn));
            if (peak > env) env += (peak - env) * ca;
            const float level = env < 1e-5f ? -100.0f : 20 * std::log10(env);
            const float gr = s.threshold > level ? 0.0f : (1 / s.ratio - 1) * (level - s.threshold);
            const float mult = std::pow(10.0f, gr * 0.05f);
            float l, r;
            c.processStereo(x, xr, l, r);
            ASSERT_NEAR(c.getGainReduction(), gr, 1e-4f) << n;
            ASSERT_NEAR(l, x * gIn * mult * gOut, 2e-5f) << n;
            ASSERT_NEAR(r, xr * gIn * mult * gOut, 2e-5f) << n;
        }
        EXPECT_TRUE(s.release > 0.05f || s.threshold < -100 || c.getGainReductionMultiplier() == 1);
    }
    Probe c;
    float l, r;
    c.processStereo(0.0f, 0.0f, l, r);
    c.clear(); // the detector restarts at 0 dB: -5 dB again at threshold -10, ratio 2
    c.processStereo(0.0f, 0.0f, l, r);
    EXPECT_NEAR(c.getGainReduction(), -5.0f, 1e-3f);
}
