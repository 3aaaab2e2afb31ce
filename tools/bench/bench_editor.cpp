// Cost of the editor: opening it (frame, views, bitmaps and fonts built, the engine's state
// read), one idle call when nothing changed, and one idle call after the sequencer moved a step
// (the changes applied and the whole window drawn, as an open window does), with a factory
// program playing. heap_kb is the heap an open editor holds.
#include "Brakka.h"
#include "BrakkaEditor.h"
#include "CHighlightFrame.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct PlayingEngine {
    Brakka* engine;
    BrakkaEditor* editor;
    PlayingEngine() {
        engine = static_cast<Brakka*>(createEffectInstance(&quietHost));
        engine->setSampleRate(44100.0f);
        engine->resume();
        engine->setParameter(kSyncTag, 0.5f);
        engine->setParameter(kPlayTag, 1.0f);
        editor = static_cast<BrakkaEditor*>(engine->getEditor());
    }
    ~PlayingEngine() { delete engine; }
};

void BM_EditorOpenClose(benchmark::State& state) {
    PlayingEngine p;
    size_t held = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        p.editor->openOffscreen();
        held = mallinfo2().uordblks - before;
        p.editor->close();
    }
    state.counters["heap_kb"] = (double)held / 1024.0;
}
BENCHMARK(BM_EditorOpenClose)->Unit(benchmark::kMillisecond);

void BM_EditorIdleQuiet(benchmark::State& state) {
    PlayingEngine p;
    p.editor->openOffscreen();
    p.editor->idle();
    for (auto _ : state) {
        p.editor->idle();
        benchmark::DoNotOptimize(p.editor->getFrame()->needsRedraw());
    }
}
BENCHMARK(BM_EditorIdleQuiet)->Unit(benchmark::kMicrosecond);

void BM_EditorIdleStepAndDraw(benchmark::State& state) {
    PlayingEngine p;
    p.editor->openOffscreen();
    int step = 0;
    for (auto _ : state) {
        p.editor->setCurrentStep(step = (step + 1) % 32);
        p.editor->idle();
        cairo_surface_destroy(p.editor->getFrame()->drawToImage());
    }
}
BENCHMARK(BM_EditorIdleStepAndDraw)->Unit(benchmark::kMillisecond);

} // namespace
