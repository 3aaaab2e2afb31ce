// Prints the cost of the reads the audio thread makes: DSP values and modulated DSP values of a
// table of mixed laws similar in size to an instrument's.
#include "zu_paramManager.h"

#include <chrono>
#include <cstdio>

namespace {

const long kTags = 263;
const zu_paramTypes kLaws[] = {kParamLinear,  kParamDecibel, kParamExponential,
                               kParamPercent, kParamInteger, kParamOnOff};

template <typename F>
double nanosecondsPerCall(F&& f, long calls) {
    auto start = std::chrono::steady_clock::now();
    f();
    auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(stop - start).count() / double(calls);
}

} // namespace

int main() {
    zu_paramManager pm;
    for (long tag = 0; tag < kTags; ++tag) {
        zu_paramTypes law = kLaws[tag % 6];
        float lo = law == kParamDecibel ? -60.0f : law == kParamExponential ? 100.0f : 0.0f;
        float hi = law == kParamExponential ? 18000.0f : law == kParamDecibel ? 0.0f : 100.0f;
        if (law == kParamOnOff) hi = 1.0f;
        pm.newParameter(tag, "Parameter", "Param", "", lo, hi, lo, law);
    }
    const int rounds = 20000;
    const long calls = rounds * kTags;
    volatile float sink = 0.0f;

    double dsp = nanosecondsPerCall(
        [&] {
            float sum = 0.0f;
            for (int r = 0; r < rounds; ++r)
                for (long tag = 0; tag < kTags; ++tag)
                    sum += pm.getDSPValue(tag);
            sink = sum;
        },
        calls);
    double modulated = nanosecondsPerCall(
        [&] {
            float sum = 0.0f;
            for (int r = 0; r < rounds; ++r)
                for (long tag = 0; tag < kTags; ++tag)
                    sum += pm.getModulatedDSPValue(tag, float(r & 7) * 0.125f - 0.5f);
            sink = sum;
        },
        calls);
    double vst = nanosecondsPerCall(
        [&] {
            float sum = 0.0f;
            for (int r = 0; r < rounds; ++r)
                for (long tag = 0; tag < kTags; ++tag)
                    sum += pm.getVSTvalue(tag);
            sink = sum;
        },
        calls);
    double set = nanosecondsPerCall(
        [&] {
            for (int r = 0; r < rounds; ++r)
                for (long tag = 0; tag < kTags; ++tag)
                    pm.setVSTvalue(tag, float(r & 15) / 15.0f);
        },
        calls);
    (void)sink;
    std::printf("zu_paramManager, %ld parameters of mixed laws, %ld calls each\n", kTags, calls);
    std::printf("getVSTvalue           %6.2f ns/call\n", vst);
    std::printf("getDSPValue           %6.2f ns/call\n", dsp);
    std::printf("getModulatedDSPValue  %6.2f ns/call\n", modulated);
    std::printf("setVSTvalue           %6.2f ns/call\n", set);
    return 0;
}
