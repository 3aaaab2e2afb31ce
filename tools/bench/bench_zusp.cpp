// Per-sample cost of the DSP blocks, in nanoseconds per sample.
#include "zusp_dynamics.h"
#include "zusp_eg.h"
#include "zusp_filters.h"
#include "zusp_noise.h"
#include "zusp_oscillator.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kBlock = 4096;

// A "per_sample" column: CPU time divided by the samples processed, shown with its SI prefix
// (for instance "7.1ns").
void reportNsPerSample(benchmark::State& state) {
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

const std::vector<float>& noiseInput() {
    static const std::vector<float> input = [] {
        std::vector<float> v(kBlock);
        zusp_noise_white_fast noise;
        for (float& x : v)
            x = noise.process();
        return v;
    }();
    return input;
}

// Envelopes: a segment long enough never to end while measured; curvature -0.5 as the voices use.
void BM_EnvelopeAttack(benchmark::State& state) {
    zusp_eg_breakpoint_ar eg;
    eg.setAttackTime(1.0e7f);
    eg.setAttackCurvature(-0.5f);
    eg.begin();
    for (int i = 0; i < 10; ++i)
        eg.process(0.0f); // past the retrigger glide
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += eg.process(0.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_EnvelopeAttack);

void BM_EnvelopeDecay(benchmark::State& state) {
    zusp_eg_breakpoint_ar eg;
    eg.setAttackTime(0.0f);
    eg.setReleaseTime(1.0e7f);
    eg.setReleaseCurvature(-0.5f);
    eg.begin();
    eg.process(0.0f); // the one-sample attack
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += eg.process(0.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_EnvelopeDecay);

// The decay rendered in blocks of kBlock, as the voices do: argument 0 a straight segment,
// 1 the float power of most curves, 2 the exactly rounded power of the pitch envelopes.
void BM_EnvelopeDecayBlock(benchmark::State& state) {
    zusp_eg_breakpoint_ar eg;
    eg.setExactCurves(state.range(0) == 2);
    eg.setAttackTime(0.0f);
    eg.setReleaseTime(1.0e7f);
    eg.setReleaseCurvature(state.range(0) == 0 ? 0.0f : -0.5f);
    eg.begin();
    eg.process(0.0f); // the one-sample attack
    float out[kBlock];
    for (auto _ : state) {
        eg.process(out, kBlock);
        benchmark::DoNotOptimize(out);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_EnvelopeDecayBlock)->Arg(0)->Arg(1)->Arg(2);

void BM_EnvelopeFinished(benchmark::State& state) {
    zusp_eg_breakpoint_ar eg;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += eg.isDone() ? 0.0f : eg.process(0.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_EnvelopeFinished);

// Oscillators.
void BM_OscillatorWavetable(benchmark::State& state) {
    zusp_oscillator_wavetable osc(4096);
    osc.setFrequency(187.0f);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += osc.process();
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_OscillatorWavetable);

void BM_OscillatorWavetableFm(benchmark::State& state) {
    zusp_oscillator_wavetable osc(4096);
    osc.setFrequency(187.0f);
    const std::vector<float>& in = noiseInput();
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += osc.process(in[i] * 100.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_OscillatorWavetableFm);

void BM_OscillatorResizeable(benchmark::State& state) {
    zusp_oscillator_wavetable_resizeable osc(4096);
    osc.setTableSize(891);
    osc.setWaveshape(0, 0.0f, 16);
    osc.setFrequency(55.0f);
    const std::vector<float>& in = noiseInput();
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += osc.process(in[i] * 100.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_OscillatorResizeable);

void BM_OscillatorMulti(benchmark::State& state) {
    zusp_oscillator_wavetable_multi osc(2, 4096);
    osc.setTableSize(891);
    osc.setWaveshape(0, 0.0f);
    osc.setCurrentTable(1);
    osc.setWaveshape(0, 0.0f);
    osc.setCurrentTable(0);
    osc.setFrequency(55.0f);
    const std::vector<float>& in = noiseInput();
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += osc.process(in[i] * 100.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_OscillatorMulti);

void BM_OscillatorRetro(benchmark::State& state) {
    zusp_oscillator_wavetable osc(4096);
    osc.setWaveshape(5, 50.0f, 16);
    osc.setFrequency(540.0f);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += osc.processRetro(1.5f, 20.0f);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_OscillatorRetro);

// Noise.
void BM_NoiseWhiteFast(benchmark::State& state) {
    zusp_noise_white_fast noise;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += noise.process();
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_NoiseWhiteFast);

// Filters, fed with noise.
template <class Filter>
void BM_Filter(benchmark::State& state) {
    Filter f;
    f.setFrequency(2500.0f);
    f.setResonance(1.7f);
    const std::vector<float>& in = noiseInput();
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i)
            sum += f.process(in[i]);
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_Filter<zusp_filter_rbj_low_pass>)->Name("BM_FilterLowPass");
BENCHMARK(BM_Filter<zusp_filter_rbj_high_pass>)->Name("BM_FilterHighPass");
BENCHMARK(BM_Filter<zusp_filter_rbj_band_pass>)->Name("BM_FilterBandPass");

// A filter whose frequency moves every sample, as some cymbal filters do.
void BM_FilterBandPassSwept(benchmark::State& state) {
    zusp_filter_rbj_band_pass f;
    const std::vector<float>& in = noiseInput();
    float hz = 1000.0f;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kBlock; ++i) {
            hz = hz > 9000.0f ? 1000.0f : hz + 0.5f;
            f.setFrequency(hz);
            sum += f.process(in[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_FilterBandPassSwept);

// Compressor on stereo blocks as the engine runs it, with the engine's settings and a level
// above the threshold (its loud path).
void BM_CompressorStereo(benchmark::State& state) {
    zusp_compressor c;
    c.setThreshold(-12.0f);
    c.setAttack(0.0005f);
    c.setRelease(0.05f);
    c.setRatio(1000.0f);
    const std::vector<float>& in = noiseInput();
    std::vector<float> reversed(in.rbegin(), in.rend()), l(kBlock), r(kBlock);
    for (auto _ : state) {
        c.processStereo(in.data(), reversed.data() + (reversed.size() - kBlock), l.data(), r.data(),
                        kBlock, 1.0f);
        benchmark::DoNotOptimize(l.data());
        benchmark::DoNotOptimize(r.data());
    }
    reportNsPerSample(state);
}
BENCHMARK(BM_CompressorStereo);

} // namespace
