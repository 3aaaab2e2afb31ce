// Saving and loading the whole bank as a host does with its session (effGetChunk and
// effSetChunk of the 48 factory programs, about 14 MB), on an engine whose audio thread is idle
// (the host then calls from its own thread; while blocks are processed the audio thread only
// takes a copy of the current program and swaps the prepared programs in).
#include "Brakka.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void BM_BankSave(benchmark::State& state) {
    Brakka* engine = static_cast<Brakka*>(createEffectInstance(&silentHost));
    engine->setSampleRate(44100.0f);
    engine->resume();
    VstInt32 size = 0;
    for (auto _ : state) {
        void* data = nullptr;
        size = engine->getChunk(&data, false);
        benchmark::DoNotOptimize(data);
    }
    state.counters["MB"] = size / 1e6;
    delete engine;
}
BENCHMARK(BM_BankSave)->Unit(benchmark::kMillisecond);

void BM_BankLoad(benchmark::State& state) {
    Brakka* engine = static_cast<Brakka*>(createEffectInstance(&silentHost));
    engine->setSampleRate(44100.0f);
    engine->resume();
    void* data = nullptr;
    const VstInt32 size = engine->getChunk(&data, false);
    const std::vector<char> bank(static_cast<char*>(data), static_cast<char*>(data) + size);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            engine->setChunk(const_cast<char*>(bank.data()), (VstInt32)bank.size(), false));
    state.counters["MB"] = size / 1e6;
    delete engine;
}
BENCHMARK(BM_BankLoad)->Unit(benchmark::kMillisecond);

} // namespace
