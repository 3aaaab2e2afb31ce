// Per-sample cost of each drum voice, in nanoseconds per sample: while sounding (struck again
// every 1024 samples, before any voice has finished) and while silent.
#include "BrakkaVoiceBank.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

namespace {

constexpr int kVoiceBlock = 4096;
constexpr int kStrikeEvery = 1024; // 23 ms at 44.1 kHz: shorter than the shortest hit

const char* const kVoiceNames[kNumVoices] = {"kick",   "snare8",  "snare9",    "lowtom",
                                             "midtom", "hightom", "closedhat", "openhat",
                                             "cymbal", "rimshot", "clap",      "cowbell"};

// Default sound values that matter for the cost (tunings, decays, gains); the rest keep the
// voices' construction values.
void setDefaults(BrakkaVoiceBank& bank) {
    const struct {
        int tag;
        float value;
    } values[] = {{0, 45},    {4, 360},    {10, 99},  {12, 0.5f}, {14, 130},  {17, 200},
                  {22, 260},  {25, 100},   {27, 200}, {29, 55},   {37, 400},  {41, 200},
                  {43, 75},   {51, 400},   {55, 200}, {57, 95},   {65, 400},  {69, 200},
                  {73, 587},  {74, 1.44f}, {77, 200}, {85, 0.5f}, {86, 100},  {89, 0.5f},
                  {90, 0.5f}, {91, 400},   {93, 1},   {94, 0.3f}, {95, 0.3f}, {99, 2000},
                  {106, 1}};
    for (const auto& tv : values)
        bank.setVoiceParameter(tv.tag, tv.value);
}

void reportVoiceNsPerSample(benchmark::State& state) {
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kVoiceBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_VoiceSounding(benchmark::State& state) {
    auto bank = std::make_unique<BrakkaVoiceBank>();
    bank->setAudioSamplingRate(44100);
    setDefaults(*bank);
    brakka_voice* voice = bank->getVoice(static_cast<int>(state.range(0)));
    state.SetLabel(kVoiceNames[state.range(0)]);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kVoiceBlock; ++i) {
            if (i % kStrikeEvery == 0) voice->thwack(1.0f);
            sum += voice->process();
        }
        benchmark::DoNotOptimize(sum);
    }
    reportVoiceNsPerSample(state);
}
BENCHMARK(BM_VoiceSounding)->DenseRange(0, kNumVoices - 1);

void BM_VoiceSilent(benchmark::State& state) {
    auto bank = std::make_unique<BrakkaVoiceBank>();
    bank->setAudioSamplingRate(44100);
    setDefaults(*bank);
    brakka_voice* voice = bank->getVoice(static_cast<int>(state.range(0)));
    state.SetLabel(kVoiceNames[state.range(0)]);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kVoiceBlock; ++i)
            sum += voice->process();
        benchmark::DoNotOptimize(sum);
    }
    reportVoiceNsPerSample(state);
}
BENCHMARK(BM_VoiceSilent)->DenseRange(0, kNumVoices - 1);

// The cost of one sound-parameter change as the engine applies it (tags 0 to 107 in turn, each
// between two values, so that none is skipped as unchanged): the mean per change (two clock
// reads included), and in the label the tag whose change costs most (the least of its timings,
// so preemption drops out).
void BM_SoundParameterSetter(benchmark::State& state) {
    auto bank = std::make_unique<BrakkaVoiceBank>();
    bank->setAudioSamplingRate(48000);
    setDefaults(*bank);
    double least[kNumSoundTags];
    for (double& ns : least)
        ns = 1e30;
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        for (int tag = 0; tag < kNumSoundTags; ++tag) {
            const float v = (odd ? 0.3f : 0.6f) * (tag % 3 == 0 ? 100.0f : 1.0f);
            const auto t0 = std::chrono::steady_clock::now();
            bank->setVoiceParameter(tag, v);
            const auto t1 = std::chrono::steady_clock::now();
            least[tag] =
                std::min(least[tag], std::chrono::duration<double, std::nano>(t1 - t0).count());
        }
    }
    const int worst = static_cast<int>(std::max_element(least, least + kNumSoundTags) - least);
    state.SetLabel("costliest: tag " + std::to_string(worst) + ", " +
                   std::to_string(static_cast<int>(least[worst])) + " ns");
    state.counters["per_change"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kNumSoundTags,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SoundParameterSetter);

} // namespace
