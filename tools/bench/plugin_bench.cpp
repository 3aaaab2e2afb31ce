// brakka-plugin-bench: the cost of the whole plug-in as a host sees it, at 48 kHz, through the
// exported entry of build/Brakka.so, and optionally of a second plug-in file (an older build,
// see build-reference.sh) measured in the same run. Prints one table; nothing is asserted.
//
//   build/brakka-plugin-bench [--reference OLD.so] [--plugin NEW.so] [--seconds S] [--runs R]
//   build/brakka-plugin-bench --profile --seconds S     (only the all-voices case, for perf)
//   build/brakka-plugin-bench --profile-idle --seconds S   (only the idle case)
//
// Figures: CPU time per sample frame (all twelve outputs written) for all twelve voices struck
// every sixteenth at 120 BPM by MIDI notes (every voice keeps sounding; mixer and compressor
// run), for silence (no voice sounding, sequencer stopped), and for factory program 1 playing
// its first pattern; the worst block against the mean block over S seconds of the all-voices
// case, each block's time the minimum over R fresh instances (so preemption drops out, while
// a fresh instance's first sixteenth stays in); and each voice's cost per sample it sounds.
#include "BrakkaParameterTags.h"
#include "aeffectx.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr double kTempo = 120.0;
constexpr int kSixteenth = 6000; // samples at 120 BPM and 48 kHz
const char* const kVoiceNames[kNumVoices] = {"kick",    "snare 8",  "snare 9",    "low tom",
                                             "mid tom", "high tom", "closed hat", "open hat",
                                             "cymbal",  "rimshot",  "clap",       "cowbell"};

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

double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// CPU time of this thread: time the machine's other work takes from us does not count.
double cpuNow() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

using Entry = AEffect* (*)(audioMasterCallback);

struct Library {
    void* handle = nullptr;
    Entry entry = nullptr;
    explicit Library(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle) entry = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
};

enum class Play { Silence, AllVoices, OneVoice, Program };

// One instance, driven as a host drives it.
struct Instance {
    AEffect* e = nullptr;
    int block;
    std::vector<float> buffers;
    float* outputs[12];
    double position = 0.0;
    Play play;
    int voice;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kNumVoices];
    } list{};
    VstMidiEvent midi[kNumVoices] = {};

    Instance(Entry entry, int blockSize, Play p, int v = 0)
        : block(blockSize), buffers(12 * static_cast<size_t>(blockSize)), play(p), voice(v) {
        e = entry(hostCallback);
        if (!e) return;
        for (int c = 0; c < 12; ++c)
            outputs[c] = &buffers[static_cast<size_t>(c) * block];
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, static_cast<float>(kRate));
        dispatch(effSetBlockSize, 0, block);
        dispatch(effSetProgram, 0, 0);
        e->setParameter(e, kSyncTag, 0.0f); // Host
        e->setParameter(e, kPatternTag, 0.0f);
        if (play != Play::Program) {
            for (int v = 0; v < kNumVoices; ++v) {
                e->setParameter(e, kLevelTag + v, 0.9f);
                e->setParameter(e, kMuteTag + v, 0.0f);
                e->setParameter(e, kSoloTag + v, 0.0f);
            }
        }
        dispatch(effMainsChanged, 0, 1);
        dispatch(effStartProcess);
    }
    ~Instance() {
        if (!e) return;
        dispatch(effStopProcess);
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, float opt = 0) {
        return e->dispatcher(e, opcode, index, value, nullptr, opt);
    }

    // One block: the notes of every sixteenth that starts inside it, then the audio.
    void process() {
        const long start = static_cast<long>(position);
        gTime = {};
        gTime.sampleRate = kRate;
        gTime.tempo = kTempo;
        gTime.timeSigNumerator = 4;
        gTime.timeSigDenominator = 4;
        gTime.samplePos = position;
        gTime.ppqPos = position * kTempo / (60.0 * kRate);
        gTime.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
        if (play == Play::Program) gTime.flags |= kVstTransportPlaying;
        if (play == Play::AllVoices || play == Play::OneVoice) {
            const long next = (start + kSixteenth - 1) / kSixteenth * kSixteenth;
            if (next < start + block) {
                int n = 0;
                for (int v = 0; v < kNumVoices; ++v) {
                    if (play == Play::OneVoice && v != voice) continue;
                    VstMidiEvent& m = midi[n];
                    m = {};
                    m.type = kVstMidiType;
                    m.byteSize = sizeof(VstMidiEvent);
                    m.deltaFrames = static_cast<VstInt32>(next - start);
                    m.midiData[0] = static_cast<char>(0x90);
                    m.midiData[1] = static_cast<char>(kMIDInote[v]);
                    m.midiData[2] = 127;
                    list.events[n++] = reinterpret_cast<VstEvent*>(&m);
                }
                list.numEvents = n;
                e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
            }
        }
        e->processReplacing(e, nullptr, outputs, block);
        position += block;
    }
};

// CPU time per frame in ns: the least of `runs` runs of `seconds` each, after a warm-up.
double nsPerFrame(Entry entry, int block, Play play, int voice, double seconds, int runs) {
    Instance inst(entry, block, play, voice);
    if (!inst.e) return -1.0;
    const long blocks = static_cast<long>(seconds * kRate / block);
    for (long b = 0; b < static_cast<long>(kRate / block); ++b)
        inst.process();
    std::vector<double> perRun;
    for (int r = 0; r < runs; ++r) {
        const double t0 = cpuNow();
        for (long b = 0; b < blocks; ++b)
            inst.process();
        perRun.push_back((cpuNow() - t0) * 1e9 / (static_cast<double>(blocks) * block));
    }
    return *std::min_element(perRun.begin(), perRun.end());
}

// Samples of one second in which the voice's output is not exactly zero.
long soundingSamples(Entry entry, int voice) {
    Instance inst(entry, 512, Play::OneVoice, voice);
    long sounding = 0;
    for (long b = 0; b < static_cast<long>(kRate / 512); ++b) {
        inst.process();
        for (int i = 0; i < 512; ++i) {
            bool any = false;
            for (int c = 0; c < 12; ++c)
                any = any || inst.outputs[c][i] != 0.0f;
            sounding += any;
        }
    }
    return sounding;
}

// Worst block over mean block: each block's time is its minimum over `runs` fresh instances.
double worstOverMean(Entry entry, int block, double seconds, int runs, double& firstBlock) {
    const long blocks = static_cast<long>(seconds * kRate / block);
    std::vector<double> best(static_cast<size_t>(blocks), 1e30);
    for (int r = 0; r < runs; ++r) {
        Instance inst(entry, block, Play::AllVoices);
        if (!inst.e) return -1.0;
        for (long b = 0; b < blocks; ++b) {
            const double t0 = now();
            inst.process();
            best[b] = std::min(best[b], now() - t0);
        }
    }
    double sum = 0.0, worst = 0.0;
    for (double t : best) {
        sum += t;
        worst = std::max(worst, t);
    }
    const double mean = sum / static_cast<double>(blocks);
    firstBlock = best[0] / mean;
    return worst / mean;
}

struct Column {
    std::string name;
    Library* library;
};

} // namespace

int main(int argc, char** argv) {
    std::string plugin = BRAKKA_PLUGIN_PATH, reference;
    double seconds = 20.0;
    int runs = 5;
    bool profile = false, profileIdle = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reference" && i + 1 < argc) {
            reference = argv[++i];
        } else if (a == "--plugin" && i + 1 < argc) {
            plugin = argv[++i];
        } else if (a == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (a == "--profile") {
            profile = true;
        } else if (a == "--profile-idle") {
            profileIdle = true;
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--reference OLD.so] [--plugin NEW.so] [--seconds S] "
                         "[--runs R] [--profile | --profile-idle]\n",
                         argv[0]);
            return 2;
        }
    }
    if (seconds < 1.0) seconds = 1.0;
    if (runs < 1) runs = 1;

    std::vector<Column> columns;
    Library current(plugin);
    if (!current.entry) {
        std::fprintf(stderr, "cannot load %s\n", plugin.c_str());
        return 1;
    }
    if (profile || profileIdle) { // one case alone, for a profiler
        std::printf("%.2f ns per frame\n",
                    nsPerFrame(current.entry, 64, profile ? Play::AllVoices : Play::Silence, 0,
                               seconds, 1));
        return 0;
    }
    Library* old = nullptr;
    if (!reference.empty()) {
        old = new Library(reference);
        if (!old->entry) {
            std::fprintf(stderr, "cannot load %s\n", reference.c_str());
            return 1;
        }
        columns.push_back({"before", old});
    }
    columns.push_back({"now", &current});

    std::printf("Brakka at 48 kHz, through the plug-in's entry; ns per sample frame unless "
                "noted (CPU time, least of %d runs of up to %.0f s; worst block: %.0f s)\n\n",
                runs, std::min(seconds, 5.0), seconds);
    std::printf("%-44s", "figure");
    for (const Column& c : columns)
        std::printf(" %12s", c.name.c_str());
    if (old) std::printf(" %9s", "speed-up");
    std::printf("\n");

    auto row = [&](const char* label, auto measure, bool lowerIsBetter = true) {
        std::printf("%-44s", label);
        std::fflush(stdout);
        std::vector<double> v;
        for (const Column& c : columns) {
            v.push_back(measure(c.library->entry));
            std::printf(" %12.2f", v.back());
            std::fflush(stdout);
        }
        if (old && v[1] > 0.0) std::printf(" %8.2fx", lowerIsBetter ? v[0] / v[1] : v[1] / v[0]);
        std::printf("\n");
    };

    const double figureSeconds = std::min(seconds, 5.0);
    for (int block : {64, 512}) {
        char label[80];
        std::snprintf(label, sizeof label, "all 12 voices every 16th, block %d", block);
        row(label,
            [&](Entry e) { return nsPerFrame(e, block, Play::AllVoices, 0, figureSeconds, runs); });
        std::snprintf(label, sizeof label, "idle, block %d", block);
        row(label,
            [&](Entry e) { return nsPerFrame(e, block, Play::Silence, 0, figureSeconds, runs); });
        std::snprintf(label, sizeof label, "idle, block %d: x real time", block);
        row(
            label,
            [&](Entry e) {
                return 1e9 / kRate / nsPerFrame(e, block, Play::Silence, 0, figureSeconds, runs);
            },
            false);
        std::snprintf(label, sizeof label, "program 1, pattern 1 playing, block %d", block);
        row(label,
            [&](Entry e) { return nsPerFrame(e, block, Play::Program, 0, figureSeconds, runs); });
    }
    for (int block : {64, 512}) {
        char label[80];
        double first[2] = {0, 0};
        int k = 0;
        std::snprintf(label, sizeof label, "worst / mean block, block %d", block);
        row(label, [&](Entry e) { return worstOverMean(e, block, seconds, runs, first[k++]); });
        std::snprintf(label, sizeof label, "first block / mean block, block %d", block);
        k = 0;
        row(label, [&](Entry) { return first[k++]; });
    }
    std::printf("\nper voice: ns per sample the voice sounds (struck every 16th, block 512, less "
                "idle)\n");
    for (int v = 0; v < kNumVoices; ++v) {
        char label[80];
        std::snprintf(label, sizeof label, "%s", kVoiceNames[v]);
        row(label, [&](Entry e) {
            const double idle = nsPerFrame(e, 512, Play::Silence, 0, 1.0, runs);
            const double with = nsPerFrame(e, 512, Play::OneVoice, v, 1.0, runs);
            const long sounding = soundingSamples(e, v);
            return sounding > 0 ? (with - idle) * kRate / static_cast<double>(sounding) : 0.0;
        });
    }
    delete old;
    return 0;
}
