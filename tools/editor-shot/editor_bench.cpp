// brakka-editor-bench: what the editor costs a host. The engine is built in this program and its
// editor opened through the AEffect record in a window of the X display named by DISPLAY (run it
// under xvfb-run where there is none), at 100 % and at 200 %. Prints, for each zoom: the time of
// effEditOpen plus the first effEditIdle (the whole window drawn), the time of one effEditIdle
// with nothing to redraw and while the sequencer plays (the playing step redrawn every few
// calls), the first opening's time and resident-memory growth (it decodes the artwork), and the
// heap an open editor holds and what is left of it after closing. Times are processor time of
// the calling thread.
#include "Brakka.h"
#include "BrakkaEditorSettings.h"

#include <X11/Xlib.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Processor time of this thread (the host's user-interface thread), in seconds: unlike the
// clock on the wall it does not grow when other programs share the machine. The X server's own
// work is not in it.
double now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Bytes the program's heap holds (small blocks and large mapped ones).
size_t heapInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

long residentKiB() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main() {
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        std::fprintf(stderr, "brakka-editor-bench: no X display (try: xvfb-run -s '-screen 0 "
                             "2400x1600x24' build/brakka-editor-bench)\n");
        return 1;
    }
    // The zoom comes from a settings file of a private configuration folder.
    char folder[] = "/tmp/brakka-editor-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    setenv("XDG_CONFIG_HOME", folder, 1);

    std::printf("%-6s %12s %14s %16s %14s %14s %12s\n", "zoom", "open+draw", "idle (still)",
                "idle (playing)", "first open", "heap open", "heap closed");
    for (double zoom : {1.0, 2.0}) {
        // A new instance for each zoom: an editor reads the zoom once.
        BrakkaEditorSettings::saveZoom(zoom);
        AudioEffect* instance = createEffectInstance(hostCallback);
        AEffect* e = instance->getAeffect();
        auto dispatch = [&](VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                            void* ptr = nullptr,
                            float opt = 0) { return e->dispatcher(e, op, index, value, ptr, opt); };
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
        e->setParameter(e, 113, 0.5f); // internal clock
        e->setParameter(e, 109, 1.0f); // playing
        std::vector<float> buffer(12 * 512);
        std::vector<float*> outputs(12);
        for (int c = 0; c < 12; ++c)
            outputs[(size_t)c] = &buffer[(size_t)c * 512];

        ERect* r = nullptr;
        dispatch(effEditGetRect, 0, 0, &r);
        const int w = r ? r->right - r->left : 1, h = r ? r->bottom - r->top : 1;
        Window parent =
            XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, (unsigned)w, (unsigned)h, 0, 0, 0);
        XMapWindow(x, parent);
        XSync(x, False);

        // The first opening also decodes the artwork (kept for the process, see CBitmap).
        const long residentBefore = residentKiB();
        double t0 = now();
        dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent);
        dispatch(effEditIdle);
        const double first = now() - t0;
        const long firstRSS = residentKiB() - residentBefore;
        dispatch(effEditClose);

        const size_t heapBefore = heapInUse();
        const int opens = 10;
        double openTime = 0;
        for (int i = 0; i < opens; ++i) {
            t0 = now();
            dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent);
            dispatch(effEditIdle);
            openTime += now() - t0;
            if (i == opens - 1) break; // stays open for the idle figures
            dispatch(effEditClose);
        }
        const size_t heapOpen = heapInUse();

        const int calls = 200;
        t0 = now();
        for (int i = 0; i < calls; ++i)
            dispatch(effEditIdle);
        const double still = (now() - t0) / calls;
        double playing = 0;
        for (int i = 0; i < calls; ++i) {
            // A host idles the editor 25 times a second: four blocks (46 ms) of playing
            // between calls move the step every third call or so at 120 BPM.
            for (int b = 0; b < 4; ++b)
                e->processReplacing(e, nullptr, outputs.data(), 512);
            double t = now();
            dispatch(effEditIdle);
            playing += now() - t;
        }
        playing /= calls;
        dispatch(effEditClose);
        const size_t heapClosed = heapInUse();
        std::printf("%-6.0f %9.1f ms %11.3f ms %13.3f ms %5.0f ms %5ld KiB %10zu KiB %8ld KiB\n",
                    zoom * 100, openTime / opens * 1e3, still * 1e3, playing * 1e3, first * 1e3,
                    firstRSS, (heapOpen - heapBefore) / 1024,
                    ((long)heapClosed - (long)heapBefore) / 1024);
        XDestroyWindow(x, parent);
        XSync(x, False);
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
    }
    XCloseDisplay(x);
    std::string config = std::string(folder) + "/Zunder Works";
    std::remove((config + "/" + BrakkaEditorSettings::kFileName).c_str());
    rmdir(config.c_str());
    rmdir(folder);
    return 0;
}
