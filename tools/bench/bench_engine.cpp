// Cost of the whole plug-in as a host sees it: build/Brakka.so loaded through its exported entry,
// a factory program playing in Host sync at 120 BPM, 512-frame blocks at 44.1 kHz, all twelve
// outputs written. Reports nanoseconds per sample and the share of one core (core_pct) that
// playing in real time takes.
// BRAKKA_PLUGIN names another plug-in file.
#include "aeffectx.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr double kTempo = 120.0;

VstTimeInfo gTime = {};

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&gTime);
    default:
        return 0; // MIDI output and automation are taken and dropped
    }
}

struct LoadedPlugin {
    void* library = nullptr;
    AEffect* effect = nullptr;

    LoadedPlugin() {
        const char* path = std::getenv("BRAKKA_PLUGIN");
        library = dlopen(path ? path : BRAKKA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        using Entry = AEffect* (*)(audioMasterCallback);
        auto entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
        effect = entry ? entry(hostCallback) : nullptr;
    }
    ~LoadedPlugin() {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        if (library) dlclose(library);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, nullptr, opt);
    }
};

// range(0): program index 0..47; range(1): pattern 1..16.
void BM_PluginPlaying(benchmark::State& state) {
    LoadedPlugin plugin;
    if (!plugin.effect) {
        state.SkipWithError("cannot load the plug-in (set BRAKKA_PLUGIN)");
        return;
    }
    plugin.dispatch(effOpen);
    plugin.dispatch(effSetSampleRate, 0, 0, static_cast<float>(kRate));
    plugin.dispatch(effSetBlockSize, 0, kBlock);
    plugin.dispatch(effSetProgram, 0, state.range(0));
    plugin.effect->setParameter(plugin.effect, 113, 0.0f); // Sync: Host
    plugin.effect->setParameter(plugin.effect, 114, (state.range(1) - 1) / 15.0f);
    plugin.dispatch(effMainsChanged, 0, 1);

    std::vector<float> buffers(12 * kBlock);
    float* outputs[12];
    for (int c = 0; c < 12; ++c)
        outputs[c] = &buffers[static_cast<size_t>(c) * kBlock];
    gTime = {};
    gTime.sampleRate = kRate;
    gTime.tempo = kTempo;
    gTime.timeSigNumerator = 4;
    gTime.timeSigDenominator = 4;
    gTime.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    double samplePos = 0.0;
    timespec cpuStart = {}, cpuEnd = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    for (auto _ : state) {
        gTime.samplePos = samplePos;
        gTime.ppqPos = samplePos * kTempo / (60.0 * kRate);
        plugin.effect->processReplacing(plugin.effect, nullptr, outputs, kBlock);
        benchmark::DoNotOptimize(buffers.data());
        samplePos += kBlock;
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    plugin.dispatch(effMainsChanged, 0, 0);
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    state.counters["per_sample"] =
        benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    // CPU seconds per second of audio, in percent of one core.
    const double cpu = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                       1e-9 * static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec);
    state.counters["core_pct"] = 100.0 * cpu / (samples / kRate);
}
// A few busy factory programs: main groove (pattern 1) and the fill (pattern 4).
BENCHMARK(BM_PluginPlaying)
    ->Args({0, 1})
    ->Args({0, 4})
    ->Args({14, 1})
    ->Args({27, 1})
    ->Args({16, 1})
    ->Unit(benchmark::kMicrosecond);

} // namespace
