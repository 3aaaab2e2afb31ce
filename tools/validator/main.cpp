// brakka-validate: drives the Brakka plug-in through its exported entry the way the strictest
// plug-in validators and real hosts do, one check after the other, and prints a table of what
// passed. Run with --help for the checks and options.
#include "BrakkaParameterTags.h"
#include "interpose.h"
#include "plugin_host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <pthread.h>
#include <random>
#include <sched.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xmmintrin.h>

using brakka_host::MidiMessage;
using brakka_host::PluginHost;
using namespace brakka_validate;

namespace {

// ---- the plug-in's own numbers ------------------------------------------------------------------

// Tags, counts and notes: BrakkaParameterTags.h. Sync takes 0 host, 0.5 internal, 1 MIDI notes.
const size_t kChunkValues = 28; // offset of the parameter values in a program chunk
const char* const kVoiceNames[kNumVoices] = {"kick",   "snare8",  "snare9",    "lowtom",
                                             "midtom", "hightom", "closedhat", "openhat",
                                             "cymbal", "rimshot", "clap",      "cowbell"};

// ---- options and small tools --------------------------------------------------------------------

std::string gPlugin;
uint64_t gSeed = 1;
double gSoakSeconds = 8.0;
std::vector<int> gHammerFrames{16, 32, 64};

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
    char text[1024];
    va_list a;
    va_start(a, f);
    std::vsnprintf(text, sizeof text, f, a);
    va_end(a);
    return text;
}

struct Result {
    bool pass = true;
    std::string detail;
};
Result pass(std::string detail) {
    return {true, std::move(detail)};
}
Result fail(std::string detail) {
    return {false, std::move(detail)};
}

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// ---- FPU control state and the audio-thread watch, around every call into the plug-in -----------

// The control bits of both units; the low six bits of MXCSR are sticky exception flags that any
// arithmetic sets.
struct FpuState {
    unsigned mxcsr;
    unsigned short x87;
    bool operator!=(const FpuState& o) const {
        return ((mxcsr ^ o.mxcsr) & ~0x3Fu) != 0 || x87 != o.x87;
    }
};
FpuState fpuState() {
    FpuState s;
    s.mxcsr = _mm_getcsr();
    __asm__ volatile("fnstcw %0" : "=m"(s.x87));
    return s;
}
void setFpuState(const FpuState& s) {
    _mm_setcsr(s.mxcsr);
    __asm__ volatile("fldcw %0" : : "m"(s.x87));
}

std::atomic<long> gCallsChecked{0};
std::atomic<long> gFpuChanged{0};
std::atomic<int> gFpuChangedBy{0};
thread_local FpuState tFpuBefore;
// Set on a thread whose every call is to be watched (hosts that change programs or load chunks
// from their audio thread).
thread_local bool tWatchAll = false;

bool isAudioCall(int opcode) {
    return opcode == PluginHost::kCallProcess || opcode == effProcessEvents;
}

void callHook(int opcode, bool entering) {
    if (entering) {
        tFpuBefore = fpuState();
        if (isAudioCall(opcode) || tWatchAll) watchBegin();
        return;
    }
    if (isAudioCall(opcode) || tWatchAll) watchEnd();
    gCallsChecked.fetch_add(1, std::memory_order_relaxed);
    if (fpuState() != tFpuBefore) {
        gFpuChanged.fetch_add(1);
        gFpuChangedBy.store(opcode);
        setFpuState(tFpuBefore);
    }
}

// ---- an instance, its blocks and what it renders ------------------------------------------------

// All output channels of a render, one after the other.
struct Take {
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

class Instance {
public:
    // Loads the plug-in, then begin()s.
    bool start(double rate, int blockSize = 512) {
        if (!host.load(gPlugin, error)) return false;
        begin(rate, blockSize);
        return true;
    }
    // Opens the instance, sets rate and block size and resumes, as a host does.
    void begin(double rate, int blockSize) {
        host.recordMidi = false; // the host's own bookkeeping must not allocate in audio calls
        this->rate = rate;
        host.setTransport(rate, 120.0);
        host.open((float)rate, blockSize);
        host.resume();
    }

    // Renders one block at the current position; events whose sample falls in the block are
    // handed over first with their offsets into it.
    void render(int frames, const std::vector<MidiMessage>& events = {}, Take* take = nullptr) {
        if ((int)buffers.size() != host.numOutputs() || (int)buffers[0].size() < frames) {
            buffers.assign(host.numOutputs(), std::vector<float>(std::max(frames, 4096)));
            pointers.clear();
            for (auto& b : buffers)
                pointers.push_back(b.data());
        }
        if (frames > 0) {
            inBlock.clear();
            while (nextEvent < events.size() && events[nextEvent].sample < position + frames)
                inBlock.push_back(events[nextEvent++]);
            if (!inBlock.empty()) host.sendMidi(inBlock, position);
        }
        host.process(position, frames, pointers.data());
        if (take) {
            take->channels.resize(buffers.size());
            for (size_t c = 0; c < buffers.size(); ++c)
                take->channels[c].insert(take->channels[c].end(), buffers[c].begin(),
                                         buffers[c].begin() + frames);
        }
        position += frames;
    }

    // Renders `frames` in blocks of the sizes `nextBlock` gives.
    void renderAll(int64_t frames, const std::vector<MidiMessage>& events,
                   const std::function<int()>& nextBlock, Take* take) {
        nextEvent = 0;
        const int64_t end = position + frames;
        while (position < end)
            render((int)std::min<int64_t>(nextBlock(), end - position), events, take);
    }

    bool silentBlock(int frames) const {
        for (const auto& b : buffers)
            for (int i = 0; i < frames; ++i)
                if (b[i] != 0.0f) return false;
        return true;
    }

    PluginHost host;
    std::string error;
    double rate = 44100;
    int64_t position = 0;
    size_t nextEvent = 0;

private:
    std::vector<std::vector<float>> buffers;
    std::vector<float*> pointers;
    std::vector<MidiMessage> inBlock;
};

// The host's transport stopped and the sequencer following it: only MIDI notes play. With
// `deterministic`, the sequencer draws no random numbers that change what it plays.
void quietSetup(PluginHost& h, bool deterministic) {
    h.setParameter(kSyncTag, 0.0f);
    h.setPlaying(false);
    if (!deterministic) return;
    for (int v = 0; v < kNumVoices; ++v) {
        h.setParameter(kSelectedBeatsTag + v, 1.0f);
        h.setParameter(kRandomBeatsTag + v, 0.0f);
        h.setParameter(kRandomResetTag + v, 0.0f);
    }
}

MidiMessage note(int64_t sample, int key, int velocity = 100) {
    MidiMessage m;
    m.sample = sample;
    m.bytes[0] = 0x90;
    m.bytes[1] = (uint8_t)key;
    m.bytes[2] = (uint8_t)velocity;
    return m;
}

// NaN, infinities and subnormal numbers in a take; "" when there are none.
std::string badSamples(const Take& t) {
    long nan = 0, subnormal = 0;
    for (const auto& c : t.channels)
        for (float x : c) {
            if (!std::isfinite(x))
                ++nan;
            else if (x != 0.0f && std::fabs(x) < 1.17549435e-38f)
                ++subnormal;
        }
    if (!nan && !subnormal) return "";
    return format("%ld non-finite and %ld subnormal samples", nan, subnormal);
}

float peak(const Take& t, size_t from = 0, size_t to = SIZE_MAX) {
    float p = 0.0f;
    for (const auto& c : t.channels) {
        if (from >= c.size()) continue;
        const auto end = c.begin() + std::min(to, c.size());
        for (auto it = c.begin() + from; it != end; ++it)
            p = std::max(p, std::fabs(*it));
    }
    return p;
}

// First difference between two takes; "" when they are identical.
std::string difference(const Take& a, const Take& b) {
    if (a.frames() != b.frames() || a.channels.size() != b.channels.size())
        return format("lengths differ (%zu and %zu frames)", a.frames(), b.frames());
    double worst = 0.0;
    size_t first = SIZE_MAX;
    for (size_t c = 0; c < a.channels.size(); ++c)
        for (size_t i = 0; i < a.frames(); ++i) {
            const double d = std::fabs((double)a.channels[c][i] - b.channels[c][i]);
            if (d > 0.0 && i < first) first = i;
            worst = std::max(worst, d);
        }
    if (first == SIZE_MAX) return "";
    return format("differ from frame %zu on, by up to %.3g (peak %.3g)", first, worst,
                  (double)peak(a));
}

// Time from `onset` until the level (the highest magnitude over the last 25 ms) stays below
// -30 dB of its peak, in milliseconds; the mix of all channels of frames [onset, end).
double decayMs(const Take& t, size_t onset, size_t end, double rate) {
    const size_t hop = std::max<size_t>(1, (size_t)(rate / 1000.0)); // 1 ms
    std::vector<float> hopPeak;
    for (size_t i = onset; i + hop <= end; i += hop) {
        float p = 0.0f;
        for (const auto& c : t.channels)
            for (size_t j = i; j < i + hop; ++j)
                p = std::max(p, std::fabs(c[j]));
        hopPeak.push_back(p);
    }
    std::vector<float> level(hopPeak.size());
    for (size_t k = 0; k < hopPeak.size(); ++k)
        level[k] =
            *std::max_element(hopPeak.begin() + (k < 25 ? 0 : k - 24), hopPeak.begin() + k + 1);
    const float top = level.empty() ? 0.0f : *std::max_element(level.begin(), level.end());
    size_t last = 0;
    for (size_t k = 0; k < level.size(); ++k)
        if (level[k] >= top * 0.0316f) last = k;
    return (double)(last + 1) * hop * 1000.0 / rate;
}

// Where two chunks differ first; "" when they are the same. A difference among the parameter
// values of the first program names the parameter.
std::string chunkDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a == b) return "";
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    std::string where = format("byte %zu", i);
    if (i >= kChunkValues && i < kChunkValues + 4 * kNumParameters)
        where += format(" (parameter %zu)", (i - kChunkValues) / 4);
    return format("%zu bytes saved, %zu after, first difference at %s", a.size(), b.size(),
                  where.c_str());
}

std::mt19937_64 gRandom;
int randomInt(int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(gRandom);
}
float randomUnit() {
    return std::uniform_real_distribution<float>(0.0f, 1.0f)(gRandom);
}

// ---- the checks ---------------------------------------------------------------------------------

// Each voice struck alone at every rate from 8 kHz to 768 kHz: it sounds, its output is clean, and
// its decay (in milliseconds) is the one it has at 44.1 kHz. Notes start blocks, so that only
// the rate matters.
Result checkRates() {
    const double rates[] = {44100, 8000,  11025,  22050,  32000, 48000,
                            88200, 96000, 192000, 384000, 768000};
    struct Voice {
        int index;
        double seconds;   // long enough for its decay
        double tolerance; // of the decay: noise makes the level of hats and cymbals wander
    };
    const Voice voices[] = {{0, 1.2, 0.02}, {1, 0.4, 0.05},  {3, 0.6, 0.02}, {7, 0.5, 0.1},
                            {8, 1.0, 0.1},  {10, 0.3, 0.06}, {11, 0.4, 0.03}};
    const int block = 512;
    std::vector<double> reference;
    std::string worst;
    double worstError = 0.0; // as a share of the voice's tolerance
    for (double rate : rates) {
        Instance inst;
        if (!inst.start(rate, block)) return fail(inst.error);
        quietSetup(inst.host, true);
        std::vector<MidiMessage> events;
        std::vector<int64_t> starts{0};
        for (const Voice& v : voices) {
            events.push_back(note(starts.back(), kMIDInote[v.index]));
            starts.push_back(starts.back() + (int64_t)(v.seconds * rate / block) * block);
        }
        Take take;
        inst.renderAll(
            starts.back(), events, [] { return block; }, &take);
        const std::string bad = badSamples(take);
        if (!bad.empty()) return fail(format("%.0f Hz: %s", rate, bad.c_str()));
        for (size_t k = 0; k < std::size(voices); ++k) {
            const char* name = kVoiceNames[voices[k].index];
            if (peak(take, starts[k], starts[k + 1]) < 1e-3f)
                return fail(format("%.0f Hz: %s is silent", rate, name));
            const double ms = decayMs(take, starts[k], starts[k + 1], rate);
            if (reference.size() < std::size(voices)) {
                reference.push_back(ms);
                continue;
            }
            const double error = std::fabs(ms - reference[k]) / reference[k] / voices[k].tolerance;
            if (error > worstError) {
                worstError = error;
                worst = format("%s %.0f ms at %.0f Hz against %.0f ms at 44100 Hz", name, ms, rate,
                               reference[k]);
            }
        }
    }
    const std::string figures = format("%zu rates, 7 voices; kick %.0f ms; worst: %s",
                                       std::size(rates), reference[0], worst.c_str());
    return worstError <= 1.0 ? pass(figures) : fail(figures);
}

// Notes on every voice in turn with changing velocities, one every 91 ms and a few samples.
std::vector<MidiMessage> testScore(double rate, int notes) {
    std::vector<MidiMessage> events;
    for (int n = 0; n < notes; ++n)
        events.push_back(note((int64_t)(rate * 0.01) + n * (int64_t)(rate * 0.0913) + n * 37,
                              kMIDInote[n % kNumVoices], 40 + (n * 29) % 88));
    return events;
}

// An instance that renders as in a process of its own: the rate it is given is a change from the
// rate the process started with, whatever instances came and went before.
Take lone(double rate, const std::vector<MidiMessage>& score, int64_t frames, std::string& error) {
    Take take;
    {
        Instance primer;
        if (!primer.start(rate == 44100 ? 48000 : 44100)) error = primer.error;
    }
    Instance inst;
    if (!inst.start(rate)) {
        error = inst.error;
        return take;
    }
    quietSetup(inst.host, true);
    inst.renderAll(
        frames, score, [] { return 256; }, &take);
    return take;
}

// Several instances in one process, created and given their rates in the orders hosts use, each
// rendering interleaved with the others: each must render what a lone instance at its rate does.
Result checkInstances() {
    struct Case {
        double rate;
        bool createLate; // created after the first instances have their rates and played
    };
    const Case cases[] = {{96000, false}, {48000, false}, {22050, false},
                          {22050, true},  {96000, true},  {96000, true}};
    std::string error;
    {
        Instance primer; // the rate the first ones are created at
        if (!primer.start(48000)) return fail(primer.error);
    }
    std::vector<std::unique_ptr<Instance>> insts;
    for (const Case& c : cases)
        if (!c.createLate) insts.push_back(std::make_unique<Instance>());
    // The first ones exist together before any has a rate; rates are then set in turn.
    for (auto& in : insts)
        if (!in->host.load(gPlugin, in->error)) return fail(in->error);
    for (size_t i = 0; i < insts.size(); ++i)
        insts[i]->begin(cases[i].rate, 256);
    for (size_t i = insts.size(); i < std::size(cases); ++i) {
        insts.push_back(std::make_unique<Instance>());
        if (!insts.back()->start(cases[i].rate, 256)) return fail(insts.back()->error);
    }
    std::vector<std::vector<MidiMessage>> scores;
    std::vector<Take> takes(insts.size());
    for (auto& in : insts) {
        quietSetup(in->host, true);
        scores.push_back(testScore(in->rate, 24));
    }
    // Two seconds each, a block of each in turn.
    for (bool more = true; more;) {
        more = false;
        for (size_t i = 0; i < insts.size(); ++i)
            if (insts[i]->position < (int64_t)(insts[i]->rate * 2.0)) {
                insts[i]->render(256, scores[i], &takes[i]);
                more = true;
            }
    }
    std::string detail;
    for (size_t i = 0; i < insts.size(); ++i) {
        const Take ref = lone(insts[i]->rate, scores[i], (int64_t)takes[i].frames(), error);
        if (!error.empty()) return fail(error);
        const std::string d = difference(ref, takes[i]);
        if (!d.empty())
            detail += format("%sinstance %zu at %.0f Hz: %s", detail.empty() ? "" : "; ", i + 1,
                             insts[i]->rate, d.c_str());
    }
    if (!detail.empty()) return fail(detail);
    return pass(format("%zu instances at 22.05-96 kHz each identical to a lone one", insts.size()));
}

// Random block sizes (0, and larger than the declared size) render exactly what fixed blocks
// render: MIDI notes at their offsets, the sequencer on the host's transport.
Result checkBlockSizes() {
    const double rate = 48000;
    const int64_t frames = (int64_t)(rate * 4);
    const std::vector<MidiMessage> score = testScore(rate, 40);
    auto render = [&](const std::function<int()>& blocks, Take& take, std::string& error) {
        Instance inst;
        if (!inst.start(rate, 512)) {
            error = inst.error;
            return;
        }
        quietSetup(inst.host, true);
        inst.host.setPlaying(true);
        inst.renderAll(frames, score, blocks, &take);
    };
    std::string error;
    Take fixed, again, random;
    render([] { return 512; }, fixed, error);
    render([] { return 512; }, again, error);
    if (!error.empty()) return fail(error);
    if (!difference(fixed, again).empty())
        return fail("two renders with the same blocks differ: " + difference(fixed, again));
    int zeros = 0, larger = 0;
    render(
        [&] {
            const int kind = randomInt(0, 9);
            const int n = kind == 0 ? 0 : kind < 3 ? randomInt(513, 4096) : randomInt(1, 512);
            zeros += n == 0;
            larger += n > 512;
            return n;
        },
        random, error);
    const std::string d = difference(fixed, random);
    if (!d.empty()) return fail("random blocks against 512-frame blocks: " + d);
    return pass(
        format("identical to 512-frame blocks (%d empty, %d larger blocks)", zeros, larger));
}

// Every parameter moved at random between blocks while notes and the sequencer play.
Result checkParameterStorm() {
    Instance inst;
    if (!inst.start(44100, 256)) return fail(inst.error);
    inst.host.setPlaying(true);
    const std::vector<MidiMessage> score = testScore(44100, 60);
    long sets = 0;
    Take take;
    inst.nextEvent = 0;
    for (int block = 0; block < 44100 * 6 / 256; ++block) {
        for (int k = 0; k < 16; ++k, ++sets) {
            const int r = randomInt(0, 19);
            const float v = r == 0 ? 0.0f : r == 1 ? 1.0f : randomUnit();
            inst.host.setParameter(randomInt(0, inst.host.numParams() - 1), v);
        }
        inst.render(256, score, &take);
    }
    const std::string bad = badSamples(take);
    if (!bad.empty()) return fail(bad);
    return pass(format("%ld changes, output finite and free of subnormals (peak %.2f)", sets,
                       (double)peak(take)));
}

// Damaged and random chunks: the plug-in refuses them, leaving its state as it was, or takes
// them and goes on working.
Result checkChunkGarbage() {
    Instance inst;
    if (!inst.start(44100)) return fail(inst.error);
    const std::vector<uint8_t> program = inst.host.getChunk(true);
    const std::vector<uint8_t> bank = inst.host.getChunk(false);
    if (program.empty() || bank.empty()) return fail("no chunks");
    int refused = 0, taken = 0;
    for (int i = 0; i < 160; ++i) {
        const bool isProgram = i % 8 != 0;
        std::vector<uint8_t> blob = isProgram ? program : bank;
        switch (i % 4) {
        case 0: // random bytes
            blob.resize(randomInt(0, 3) == 0 ? randomInt(1, 64) : randomInt(1, program.size() * 2));
            for (auto& b : blob)
                b = (uint8_t)randomInt(0, 255);
            break;
        case 1: // a few bytes changed
            for (int k = randomInt(1, 8); k > 0; --k)
                blob[randomInt(0, (int)std::min<size_t>(blob.size(), 65536) - 1)] ^=
                    (uint8_t)randomInt(1, 255);
            break;
        case 2: // cut short
            blob.resize(randomInt(1, (int)blob.size() - 1));
            break;
        default: // a field of four bytes set to an extreme
            const uint32_t extreme[] = {0u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x7FC00000u};
            const uint32_t x = extreme[randomInt(0, 4)];
            std::memcpy(&blob[randomInt(0, (int)std::min<size_t>(blob.size(), 4096) - 4)], &x, 4);
        }
        const std::vector<uint8_t> before = inst.host.getChunk(isProgram);
        if (blob.empty() || !inst.host.setChunk(blob, isProgram)) {
            ++refused;
            const std::vector<uint8_t> after = inst.host.getChunk(isProgram);
            if (after != before)
                return fail(format("a refused %s chunk (case %d) changed the state: %s",
                                   isProgram ? "program" : "bank", i % 4,
                                   chunkDifference(before, after).c_str()));
            continue;
        }
        ++taken;
        Take take;
        inst.renderAll(
            8192, {note(inst.position + 10, 36)}, [] { return 512; }, &take);
        const std::string bad = badSamples(take);
        if (!bad.empty()) return fail("after a damaged chunk was taken: " + bad);
        if (inst.host.getChunk(isProgram).empty())
            return fail("no chunk after a damaged chunk was taken");
    }
    return pass(format("%d refused with the state unchanged, %d taken and played", refused, taken));
}

// A state saved and restored comes back byte for byte, on a fresh instance and on the same one,
// as program and as bank: a state made by changing every setting of several programs (all but
// the choice of pattern: a loaded program starts at its first pattern), a
// program stored with two solo switches on (as older files have them), and every stored program.
Result checkStateRoundTrips() {
    Instance a;
    if (!a.start(44100)) return fail(a.error);
    for (int p : {3, 1, 0}) {
        a.host.setProgram(p);
        for (int k = 0; k < 400; ++k) {
            const int tag = randomInt(0, a.host.numParams() - 1);
            if (tag != kPatternTag) a.host.setParameter(tag, randomUnit());
        }
    }
    const std::vector<uint8_t> bank = a.host.getChunk(false);
    const std::vector<uint8_t> program = a.host.getChunk(true);
    std::vector<uint8_t> twoSolos = program;
    const float on = 1.0f;
    for (int tag : {kSoloTag + 2, kSoloTag + 7})
        std::memcpy(&twoSolos[kChunkValues + 4 * tag], &on, 4);

    auto roundTrip = [&](Instance& to, const std::vector<uint8_t>& saved, bool isProgram,
                         const char* what) -> std::string {
        if (!to.host.setChunk(saved, isProgram)) return format("%s: refused", what);
        const std::string d = chunkDifference(saved, to.host.getChunk(isProgram));
        return d.empty() ? "" : format("%s: %s", what, d.c_str());
    };
    Instance f1, f2, f3;
    if (!f1.start(44100) || !f2.start(44100) || !f3.start(44100))
        return fail(f1.error + f2.error + f3.error);
    for (const std::string& d : {roundTrip(f1, bank, false, "bank on a fresh instance"),
                                 roundTrip(f2, program, true, "program on a fresh instance"),
                                 roundTrip(a, bank, false, "bank on the same instance"),
                                 roundTrip(a, program, true, "program on the same instance"),
                                 roundTrip(f3, twoSolos, true, "two solos on a fresh instance"),
                                 roundTrip(a, twoSolos, true, "two solos on the same instance")})
        if (!d.empty()) return fail(d);
    Instance f;
    if (!f.start(44100)) return fail(f.error);
    const int programs = f.host.numPrograms();
    for (int p = 0; p < programs; ++p) {
        f.host.setProgram(p);
        const std::string d = roundTrip(f, f.host.getChunk(true), true, "stored program");
        if (!d.empty()) return fail(format("%s %d", d.c_str(), p + 1));
    }
    // Saving and loading the bank on an idle instance, as a host saves and opens a session.
    double saveMs = 1e9, loadMs = 1e9;
    for (int k = 0; k < 5; ++k) {
        void* data = nullptr;
        Clock::time_point t = Clock::now();
        f.host.dispatch(effGetChunk, 0, 0, &data);
        saveMs = std::min(saveMs, secondsSince(t) * 1000.0);
        std::vector<uint8_t> copy(bank);
        t = Clock::now();
        f.host.dispatch(effSetChunk, 0, (VstIntPtr)copy.size(), copy.data());
        loadMs = std::min(loadMs, secondsSince(t) * 1000.0);
    }
    return pass(format("bank (%zu bytes) and program (%zu bytes), fresh and same instance; two "
                       "solos; %d stored programs; bank saved in %.1f ms, loaded in %.1f ms",
                       bank.size(), program.size(), programs, saveMs, loadMs));
}

std::string countsText(const WatchCounts& c) {
    return format("%ld heap, %ld lock, %ld sleep, %ld file calls", c.calls[kHeap], c.calls[kLock],
                  c.calls[kSleep], c.calls[kFile]);
}

// What the audio thread does inside processEvents and processReplacing: no heap, no waiting on a
// lock, no sleep, no file or console, with everything playing and another thread at work.
double threadCpuMicros() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

Result checkRealtime() {
    if (!interposerActive()) return fail("the interposed C library functions are not in use");
    Instance inst;
    if (!inst.start(48000, 64)) return fail(inst.error);
    inst.host.processLevel = 2;
    inst.host.setPlaying(true);
    for (int v = 0; v < kNumVoices; ++v)
        inst.host.setParameter(kRandomBeatsTag + v, 0.3f);
    std::atomic<bool> busy{false}, stop{false};
    std::thread other([&] {
        std::mt19937 r(3);
        while (!stop.load()) {
            if (!busy.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            inst.host.getChunk(r() % 2 == 0);
            inst.host.setParameter(r() % kNumSoundTags, (r() % 1000) / 999.0f);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    resetWatchCounts();
    std::vector<MidiMessage> events;
    int64_t blocks = 0;
    for (float sync : {0.0f, 1.0f, 0.5f}) {
        inst.host.setParameter(kSyncTag, sync);
        if (sync == 0.5f) inst.host.setParameter(kPlayTag, 1.0f);
        busy = sync != 0.0f;
        for (int b = 0; b < 1500; ++b, ++blocks) {
            events.clear();
            const int64_t at = inst.position + randomInt(0, 63);
            const int kind = randomInt(0, 9);
            if (kind < 4)
                events.push_back(note(at, kMIDInote[randomInt(0, 11)]));
            else if (kind == 4)
                events.push_back(note(at, randomInt(60, 75)));
            else if (kind == 5)
                events.push_back(note(at, randomInt(0, 2) == 0 ? 86 : 84));
            else if (kind == 6)
                events.push_back({at, {0xB0, (uint8_t)randomInt(0, 127), 64}, 3});
            inst.nextEvent = 0;
            inst.render(64, events);
            if (b % 7 == 0) inst.host.setParameter(randomInt(0, kNumSoundTags - 1), randomUnit());
        }
    }
    stop = true;
    other.join();
    const WatchCounts audio = watchCounts();
    // Program changes and chunk loads as some hosts make them on their audio thread (this one):
    // nothing there may wait or allocate either, and every change is in place afterwards, in
    // the order the host made them: program 3, the bank, a renamed preset into its program 1,
    // program 6.
    std::vector<uint8_t> renamed = inst.host.getChunk(true);
    const char name[] = "audio thread";
    std::memcpy(&renamed[4], name, sizeof name);
    const std::vector<uint8_t> bank = inst.host.getChunk(false);
    inst.host.levelOutsideProcess = 2;
    resetWatchCounts();
    tWatchAll = true;
    inst.host.setProgram(2);
    const WatchCounts setProgram = watchCounts();
    inst.render(64);
    const long programAfter = (long)inst.host.dispatch(effGetProgram);
    resetWatchCounts();
    const bool taken = inst.host.setChunk(bank, false) && inst.host.setChunk(renamed, true);
    const WatchCounts setChunk = watchCounts();
    inst.host.setProgram(5);
    const WatchCounts afterChunk = watchCounts();
    tWatchAll = false;
    inst.host.levelOutsideProcess = 1;
    for (int b = 0; b < 4; ++b)
        inst.render(64);
    // Program names asked on the audio thread while another thread's preset load waits for
    // that thread's next block: answered at once (no sleep, no lock, no spinning). A virtual
    // machine's host may stop the processor in the middle of a call, which the thread's
    // processor time then counts: a single long call is measured again before it fails.
    double longestName = 0.0; // processor time, microseconds
    WatchCounts names;
    for (int attempt = 0; attempt < 2 && (attempt == 0 || longestName > 1000.0); ++attempt) {
        for (int b = 0; b < 4 * attempt; ++b)
            inst.render(64); // playing again, so that the load waits for the next block
        std::thread loader([&] { inst.host.setChunk(renamed, true); });
        resetWatchCounts();
        tWatchAll = true;
        longestName = 0.0;
        for (const auto end = Clock::now() + std::chrono::milliseconds(20); Clock::now() < end;) {
            char text[kVstMaxProgNameLen + 1];
            const double t = threadCpuMicros();
            inst.host.dispatch(effGetProgramNameIndexed, randomInt(0, 47), 0, text);
            longestName = std::max(longestName, threadCpuMicros() - t);
        }
        tWatchAll = false;
        names.add(watchCounts());
        loader.join();
    }
    if (names.total() > 0 || longestName > 1000.0)
        return fail(format("program names on the audio thread during a chunk load: longest "
                           "%.0f us, %s",
                           longestName, countsText(names).c_str()));
    const std::vector<uint8_t> saved = inst.host.getChunk(false); // waits for the loads
    char first[kVstMaxProgNameLen + 1] = {};
    inst.host.dispatch(effGetProgramNameIndexed, 0, 0, first);
    const long current = (long)inst.host.dispatch(effGetProgram);
    const std::string info =
        format("; on the audio thread effSetProgram makes %ld, effSetChunk %ld such calls",
               setProgram.total(), setChunk.total());
    if (audio.total() > 0)
        return fail("in " + std::to_string(blocks) + " blocks: " + countsText(audio) + info);
    if (setProgram.total() + afterChunk.total() > 0)
        return fail("program changes and chunk loads: " + countsText(afterChunk) + info);
    if (programAfter != 2)
        return fail(format("effSetProgram on the audio thread: program %ld after a block, not 3",
                           programAfter + 1));
    if (!taken || saved.size() != bank.size() || std::strcmp(first, name) != 0 || current != 5)
        return fail(format("chunks loaded on the audio thread: %s, program 1 named '%s', "
                           "program %ld current (a renamed program 1, program 6 wanted)",
                           taken ? "taken" : "refused", first, current + 1));
    return pass(
        std::to_string(blocks) + " blocks in three clock modes: none" + info +
        format("; all three in place afterwards; names asked during a load: %.0f us", longestName));
}

// The programs whose voices sound when struck: a host may switch between them without any
// block going silent.
std::vector<int> soundingPrograms(Instance& inst) {
    std::vector<int> sounding;
    for (int p = 0; p < inst.host.numPrograms(); ++p) {
        inst.host.setProgram(p);
        quietSetup(inst.host, false);
        std::vector<MidiMessage> events;
        for (int key : kMIDInote)
            events.push_back(note(inst.position, key));
        Take take;
        inst.renderAll(
            2048, events, [] { return 256; }, &take);
        if (peak(take, 256) > 1e-3f) sounding.push_back(p);
    }
    return sounding;
}

// One run of the thread hammer: what each block cost the audio thread.
struct HammerRun {
    std::vector<double> cpuMicros; // processor time of the audio thread in each block
    std::vector<uint8_t> silent;   // blocks that came out silent
    long lost = 0, saves = 0, changes = 0, sets = 0;
    int runs = 0, longest = 0;
    bool sounded = false;
    WatchCounts watched;
};

// The host's audio thread: plays blocks of `frames` in real time for as long as the hammer lasts,
// as a host's does through a session, with the transport running and every voice struck every
// eighth block. A run is a stretch of it: the transport starts over from 0 and its blocks are
// timed. Only the first run meets a thread that has never run the plug-in.
class HammerAudio {
public:
    HammerAudio(Instance& inst, int frames, double rate)
        : inst(inst), frames(frames),
          period(std::chrono::nanoseconds((int64_t)(frames * 1e9 / rate))) {
        thread = std::thread([this] { loop(); });
    }
    ~HammerAudio() {
        quit = true;
        thread.join();
    }
    // A run is about to start: reach() waits for its blocks from now on.
    void prepare() {
        blockNow = 0;
        runStart = 0;
        finished = false;
    }
    // Starts `r` at the next block (its vectors sized to the run's length).
    void start(HammerRun& r) { armed.store(&r); }
    // Waits until the run's audio thread has rendered `block` blocks of it; false once the
    // run is over. It sleeps until the block is due by the audio thread's schedule: a thread
    // that woke every 0.1 ms to look would interrupt the audio thread's processor thousands of
    // times a second (each wake-up of a thread that last ran there), which a host's threads
    // do not do and which the audio thread's processor time would count.
    bool reach(int64_t block) const {
        while (blockNow.load() < block) {
            if (finished.load()) return false;
            const int64_t start = runStart.load();
            const Clock::time_point now = Clock::now();
            Clock::time_point due =
                start ? Clock::time_point(Clock::duration(start + block * period.count()))
                      : now + std::chrono::microseconds(100);
            if (due <= now) due = now + std::chrono::microseconds(50);
            std::this_thread::sleep_until(due);
        }
        return !finished.load();
    }
    void waitForEnd() const {
        while (!finished.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool realtime() const { return isRealtime.load(); }

private:
    void loop() {
        // Hosts run their audio thread at a real-time priority, so that the machine's other
        // work never holds it back for long; so does the hammer where the system allows it
        // (root, or an rtprio limit). Elsewhere a stall of the audio thread longer than the
        // plug-in's idle time lets other threads take the engine for themselves meanwhile.
        sched_param priority{};
        priority.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
        isRealtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
        std::vector<MidiMessage> events;
        events.reserve(kNumVoices);
        Clock::time_point next = Clock::now();
        HammerRun* r = nullptr;
        int b = 0;
        inst.host.setPlaying(true);
        while (!quit.load()) {
            if (!r && (r = armed.exchange(nullptr)) != nullptr) {
                b = 0;
                inst.position = 0;
                runStart = next.time_since_epoch().count();
            }
            events.clear();
            if (b % 8 == 0)
                for (int key : kMIDInote)
                    events.push_back(note(inst.position, key));
            inst.nextEvent = 0;
            const double start = threadCpuMicros();
            inst.render(frames, events);
            const double cost = threadCpuMicros() - start;
            if (r) {
                r->cpuMicros[b] = cost;
                r->silent[b] = inst.silentBlock(frames);
                blockNow.store(b + 1);
                if (b + 1 == (int)r->cpuMicros.size()) {
                    r = nullptr;
                    finished = true;
                }
            }
            ++b;
            next += period;
            std::this_thread::sleep_until(next);
        }
    }

    Instance& inst;
    const int frames;
    const Clock::duration period;     // of a block
    std::atomic<int64_t> runStart{0}; // when the run's block 0 was due (0: not yet started)
    std::thread thread;
    std::atomic<HammerRun*> armed{nullptr};
    std::atomic<int> blockNow{0};
    std::atomic<bool> finished{true}, quit{false}, isRealtime{false};
};

// Other threads save bank and program chunks (every 100 ms each), change programs and
// patterns, load preset and bank chunks, clear and fill rows and move parameters while the audio
// thread plays. They act at fixed block numbers, so that several runs meet the same work at about
// the same blocks. A silent block between sounding ones is a lost block.
HammerRun hammerRun(Instance& inst, HammerAudio& audio, int frames, double rate, int blocks,
                    const std::vector<int>& sounding, const std::vector<uint8_t>& program,
                    const std::vector<uint8_t>& bank, bool loadBank) {
    HammerRun r;
    r.cpuMicros.assign(blocks, 0.0);
    r.silent.assign(blocks, 0);
    std::atomic<long> saves{0}, changes{0}, sets{0};
    const double blocksPerMs = rate / 1000.0 / frames;
    inst.host.setProgram(sounding[0]);
    inst.host.setParameter(kSyncTag, 0.0f);
    // The program's load is through before the run starts over from 0.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    audio.prepare();
    std::thread saver([&] {
        for (int i = 1; audio.reach((int64_t)(i * 50 * blocksPerMs)); ++i) {
            inst.host.getChunk(i % 2 == 1);
            ++saves;
        }
    });
    std::thread editor([&] {
        std::mt19937 random(7);
        for (int i = 1; audio.reach((int64_t)(i * blocksPerMs)); ++i) {
            if (i % 150 == 0) {
                inst.host.setProgram(sounding[random() % sounding.size()]);
                inst.host.setParameter(kSyncTag, 0.0f);
                ++changes;
            } else if (i % 150 == 75) {
                inst.host.setChunk(program, true);
                ++changes;
            } else if (i % 1000 == 500 && loadBank) {
                inst.host.setChunk(bank, false);
                inst.host.setParameter(kSyncTag, 0.0f);
                ++changes;
            } else if (i % 50 == 25) {
                inst.host.setParameter(kClearTag + random() % (2 * kNumVoices),
                                       1.0f); // clear or fill a row
                ++changes;
            } else if (i % 500 == 480) { // queued for the next pattern start
                inst.host.setParameter(kPatternTag, (float)(random() % 16) / 15.0f);
                ++changes;
            } else {
                for (int k = 0; k < 8; ++k, ++sets)
                    inst.host.setParameter(random() % kNumSoundTags, (random() % 1000) / 999.0f);
            }
        }
    });
    // The other threads are there before the run starts, as a host's are.
    resetWatchCounts();
    audio.start(r);
    audio.waitForEnd();
    saver.join();
    editor.join();
    r.watched = watchCounts();
    r.saves = saves;
    r.changes = changes;
    r.sets = sets;

    // Silent runs with sound before and after them.
    int firstSound = -1, lastSound = -1;
    for (int b = 0; b < blocks; ++b)
        if (!r.silent[b]) {
            if (firstSound < 0) firstSound = b;
            lastSound = b;
        }
    r.sounded = firstSound >= 0;
    for (int b = firstSound, run = 0; b >= 0 && b < lastSound; ++b) {
        r.lost += r.silent[b];
        run = r.silent[b] ? run + 1 : 0;
        r.runs += run == 1;
        r.longest = std::max(r.longest, run);
    }
    return r;
}

// Five runs at each block size (with three, a stray slow block near the same place in every run
// still set the worst). The worst block is judged beyond preemption and the machine's
// other work: by the audio thread's processor time, and for each block the least over the runs
// of the most its neighbourhood (two blocks either side) cost, so that work which comes a block
// early or late in one run still counts. The mean is that of each block's least time.
const int kHammerRuns = 5;
// The aim is a worst block of at most twice the mean. The check fails only when the worst is
// above 4x the mean and more than 100 us above it: a block that does a load's or a save's work
// at once is caught, a shared machine's noise and the single costs of small blocks (a block
// where the clock ticks, a pattern switch's values at a pattern start) are not.
const double kWorstOverMeanLimit = 4.0;
const double kWorstAboveMeanMicros = 100.0;

Result hammer(int frames) {
    const double rate = 48000;
    const int blocks = (int)(rate * 2 / frames);
    Instance inst;
    if (!inst.start(rate, frames)) return fail(inst.error);
    inst.host.processLevel = 2;
    const std::vector<int> sounding = soundingPrograms(inst);
    if (sounding.empty()) return fail("no program sounds");
    inst.host.setProgram(sounding[0]);
    quietSetup(inst.host, false);
    const std::vector<uint8_t> program = inst.host.getChunk(true);
    const std::vector<uint8_t> bank = inst.host.getChunk(false);
    const bool loadBank = sounding[0] == 0; // a bank load makes the first program current
    inst.host.setTransport(rate, 240.0);    // a pattern start (and queued switch) every 1 s

    std::vector<HammerRun> runs;
    bool realtime = false;
    {
        HammerAudio audio(inst, frames, rate);
        for (int k = 0; k < kHammerRuns; ++k)
            runs.push_back(
                hammerRun(inst, audio, frames, rate, blocks, sounding, program, bank, loadBank));
        realtime = audio.realtime();
    }
    std::vector<double> least(blocks, 1e30), leastAround(blocks, 1e30);
    for (const HammerRun& r : runs)
        for (int b = 0; b < blocks; ++b) {
            double around = 0.0;
            for (int n = std::max(0, b - 2); n <= std::min(blocks - 1, b + 2); ++n)
                around = std::max(around, r.cpuMicros[n]);
            least[b] = std::min(least[b], r.cpuMicros[b]);
            leastAround[b] = std::min(leastAround[b], around);
        }
    double mean = 0.0;
    for (double us : least)
        mean += us / blocks;
    const int worst =
        (int)(std::max_element(leastAround.begin(), leastAround.end()) - leastAround.begin());
    double rawWorst = 0.0;
    long lost = 0, saves = 0, changes = 0, sets = 0;
    int silentRuns = 0, longest = 0;
    WatchCounts watched;
    for (const HammerRun& r : runs) {
        rawWorst = std::max(rawWorst, *std::max_element(r.cpuMicros.begin(), r.cpuMicros.end()));
        lost += r.lost;
        silentRuns += r.runs;
        longest = std::max(longest, r.longest);
        saves += r.saves;
        changes += r.changes;
        sets += r.sets;
        watched.add(r.watched);
        if (!r.sounded) return fail(format("%d frames: nothing sounded", frames));
    }
    const std::string figures = format(
        "%d frames: %ld of %d blocks lost (%d runs, longest %d); %ld saves, %ld program, chunk, "
        "pattern and row changes, %ld parameter changes; block %.1f us mean, worst %.1f us "
        "(%.2fx the mean, block %d; %.1f us in a single run; first block %.1f us); audio thread "
        "%s",
        frames, lost, kHammerRuns * blocks, silentRuns, longest, saves, changes, sets, mean,
        leastAround[worst], leastAround[worst] / mean, worst, rawWorst, least[0],
        realtime ? "real-time" : "not real-time (not permitted here)");
    if (watched.total() > 0) return fail(figures + "; audio thread: " + countsText(watched));
    if (leastAround[worst] > std::max(kWorstOverMeanLimit * mean, mean + kWorstAboveMeanMicros))
        return fail(figures + "; too long");
    return lost == 0 ? pass(figures) : fail(figures);
}

// Whether the kernel samples memory accesses on this machine (DAMON's kdamond threads, set up
// through sysfs, e.g. to page out memory nobody uses). A sample clears a page's accessed bit.
// On a virtual machine whose host shadows the guest's page tables, the next touch of that page
// traps to the host: 5-90 us on the build machine, where the sampler looks every 0.5 s and a
// hundred pages left alone for half a second nearly always hold one such page. The hammer's
// rare blocks (a pattern queued, a program change) run code and touch data left alone since
// the run before, so the worst block may include such a stall; the check's line says so.
bool memoryAccessSampled() {
    const std::string root = "/sys/kernel/mm/damon/admin/kdamonds/";
    int count = 0;
    if (FILE* f = std::fopen((root + "nr_kdamonds").c_str(), "r")) {
        if (std::fscanf(f, "%d", &count) != 1) count = 0;
        std::fclose(f);
    }
    for (int k = 0; k < count; ++k)
        if (FILE* f = std::fopen((root + std::to_string(k) + "/state").c_str(), "r")) {
            char state[16] = {};
            const bool on = std::fscanf(f, "%15s", state) == 1 && std::strcmp(state, "on") == 0;
            std::fclose(f);
            if (on) return true;
        }
    return false;
}

Result checkThreadHammer() {
    Result all;
    for (int frames : gHammerFrames) {
        const Result r = hammer(frames);
        all.pass = all.pass && r.pass;
        all.detail += (all.detail.empty() ? "" : "; ") + r.detail;
    }
    if (memoryAccessSampled())
        all.detail += "; note: the kernel samples memory accesses here (DAMON): on a virtual "
                      "machine a block's first touch of memory idle for a while may stall, and "
                      "the worst block with it";
    return all;
}

// Many instances created and destroyed, as scanners and sessions do, some alive at once.
Result checkChurn() {
    std::vector<std::unique_ptr<Instance>> alive;
    const double rates[] = {44100, 48000, 96000, 22050, 192000};
    const Clock::time_point start = Clock::now();
    int made = 0;
    for (; made < 24; ++made) {
        auto inst = std::make_unique<Instance>();
        if (made % 4 == 0) {
            // A scanner: entry, a few questions, suspend without resume, close.
            if (!inst->host.load(gPlugin, inst->error)) return fail(inst->error);
            char text[256] = {};
            inst->host.dispatch(effOpen);
            inst->host.dispatch(effGetVstVersion);
            inst->host.dispatch(effGetEffectName, 0, 0, text);
            inst->host.dispatch(effGetVendorString, 0, 0, text);
            inst->host.dispatch(effGetPlugCategory);
            inst->host.dispatch(effCanDo, 0, 0, (void*)"receiveVstEvents");
            inst->host.dispatch(effMainsChanged, 0, 0);
            continue;
        }
        if (!inst->start(rates[made % 5], 256)) return fail(inst->error);
        Take take;
        inst->renderAll(
            4096, {note(inst->position + 5, kMIDInote[made % kNumVoices])}, [] { return 256; },
            &take);
        const std::string bad = badSamples(take);
        if (!bad.empty()) return fail(format("instance %d: %s", made + 1, bad.c_str()));
        if (peak(take) < 1e-3f) return fail(format("instance %d is silent", made + 1));
        alive.push_back(std::move(inst));
        if (alive.size() > 3) alive.erase(alive.begin() + randomInt(0, 3));
    }
    return pass(format("%d instances, %.0f ms each", made, secondsSince(start) * 1000.0 / made));
}

// A list of up to 32 events of any type, size, offset and content in `bytes` (16 KiB at least).
void randomEvents(char* bytes) {
    VstEvents* list = reinterpret_cast<VstEvents*>(bytes);
    VstEvent** slots = reinterpret_cast<VstEvent**>(bytes + offsetof(VstEvents, events));
    VstMidiEvent* records = reinterpret_cast<VstMidiEvent*>(bytes + 4096);
    list->numEvents = randomInt(0, 32);
    list->reserved = 0;
    for (int i = 0; i < list->numEvents; ++i) {
        VstMidiEvent& e = records[i];
        e.type = randomInt(0, 3) == 0 ? randomInt(0, 7) : kVstMidiType;
        e.byteSize = randomInt(0, 3) == 0 ? randomInt(0, 64) : (int)sizeof(VstMidiEvent);
        const int deltas[] = {0, 1, -1, 511, 512, 100000, INT32_MIN, INT32_MAX};
        e.deltaFrames = randomInt(0, 1) ? randomInt(0, 600) : deltas[randomInt(0, 7)];
        for (char& b : e.midiData)
            b = (char)randomInt(0, 255);
        slots[i] = reinterpret_cast<VstEvent*>(&e);
    }
}

// Random dispatcher calls: any opcode, index and value, with pointers that are null or point to
// a generous zeroed or text buffer; processing in between must stay clean, and the instance
// must play normally afterwards.
Result checkOpcodeFuzz() {
    Instance inst;
    if (!inst.start(44100, 512)) return fail(inst.error);
    const std::vector<uint8_t> bank = inst.host.getChunk(false);
    std::vector<uint64_t> buffer(16384);
    char* bytes = reinterpret_cast<char*>(buffer.data());
    const size_t size = buffer.size() * sizeof(uint64_t);
    long calls = 0;
    Take take;
    for (int i = 0; i < 20000; ++i) {
        int opcode = randomInt(0, 90);
        // Closing ends the instance; opening the editor needs a real window of the host.
        if (opcode == effClose || opcode == effEditOpen) continue;
        std::memset(bytes, 0, size);
        if (randomInt(0, 1))
            for (int k = randomInt(0, 300); k > 0; --k)
                bytes[k - 1] = (char)randomInt(32, 126);
        VstInt32 index = randomInt(0, 3) == 0 ? (VstInt32)gRandom() : randomInt(-2, 300);
        VstIntPtr value = randomInt(0, 3) == 0 ? (VstIntPtr)gRandom() : randomInt(-2, 300);
        void* ptr = randomInt(0, 9) == 0 ? nullptr : bytes;
        const float opts[] = {0.0f, -1.0f, 1.0f,     0.5f,    44100.0f,
                              1e9f, NAN,   INFINITY, 8000.0f, 1e-30f};
        float opt = opts[randomInt(0, 9)];
        if (opcode == effProcessEvents) {
            ptr = bytes;
            randomEvents(bytes);
        }
        if (opcode == effVendorSpecific) {
            // The plug-in's private opcodes among the others; ptr may be taken as a pointer.
            const int own[] = {12345, 23456, 34567};
            if (randomInt(0, 1)) index = own[randomInt(0, 2)];
            std::memset(bytes, 0, 16);
        }
        if (opcode == effSetChunk) value = randomInt(-1, (int)size);
        if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement)
            value = reinterpret_cast<VstIntPtr>(bytes + size / 2);
        if (opcode == effSetSampleRate && randomInt(0, 3) != 0)
            opt = (float)randomInt(8000, 768000);
        if (opcode == effSetBlockSize && randomInt(0, 3) != 0) value = randomInt(1, 8192);
        inst.host.dispatch(opcode, index, value, ptr, opt);
        ++calls;
        if (i % 50 == 0) {
            inst.host.setParameter(randomInt(0, inst.host.numParams() - 1), randomUnit());
            inst.host.getParameter(randomInt(0, inst.host.numParams() - 1));
            inst.render(randomInt(0, 1024), {}, &take);
        }
    }
    // Back to normal use: the bank of the start, its first program.
    inst.host.suspend();
    inst.host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    inst.host.dispatch(effSetBlockSize, 0, 512);
    inst.host.resume();
    if (!inst.host.setChunk(bank, false)) return fail("the bank of the start is refused");
    inst.host.setProgram(0);
    quietSetup(inst.host, false);
    Take after;
    inst.renderAll(
        8192, {note(inst.position + 3, 36), note(inst.position + 3, 38)}, [] { return 512; },
        &after);
    std::string bad = badSamples(take);
    if (!bad.empty()) return fail("during fuzzing: " + bad);
    bad = badSamples(after);
    if (!bad.empty()) return fail("after fuzzing: " + bad);
    if (peak(after) < 1e-3f) return fail("silent after fuzzing");
    return pass(format("%ld calls, then plays normally", calls));
}

// The FPU control state a host set is the one it gets back from every call: with the usual
// state, with flush-to-zero and denormals-are-zero on, and with the x87 unit at double precision.
Result checkFpu() {
    const FpuState saved = fpuState();
    const FpuState modes[] = {{0x1F80, 0x037F}, {0x9FC0, 0x037F}, {0x1F80, 0x027F}};
    for (const FpuState& mode : modes) {
        setFpuState(mode);
        Instance inst;
        if (!inst.start(48000, 256)) return fail(inst.error);
        inst.host.setPlaying(true);
        char text[256];
        for (int tag = 0; tag < inst.host.numParams(); tag += 7) {
            inst.host.setParameter(tag, randomUnit());
            inst.host.getParameter(tag);
            inst.host.dispatch(effGetParamDisplay, tag, 0, text);
        }
        inst.host.setChunk(inst.host.getChunk(true), true);
        inst.renderAll(
            48000, testScore(48000, 12), [] { return 256; }, nullptr);
        const bool changed = fpuState() != mode;
        setFpuState(saved);
        if (changed) return fail("the host's state changed");
    }
    const long changedCalls = gFpuChanged.load();
    const std::string counted =
        format("%ld of %ld calls in this run changed it", changedCalls, gCallsChecked.load());
    const int by = gFpuChangedBy.load();
    const char* names[] = {"the entry", "getParameter", "setParameter", "processReplacing"};
    if (changedCalls > 0)
        return fail(counted + " (last: " +
                    (by < 0 ? std::string(names[by + 4]) : format("opcode %d", by)) + ")");
    return pass(counted);
}

// Playing, saving and loading state, parameter changes and new instances for a while: the
// process's resident memory stays flat. It is taken after each round of all of these, once the
// first rounds have set up what the allocator keeps for them.
Result checkSoak() {
    Instance inst;
    if (!inst.start(48000, 512)) return fail(inst.error);
    inst.host.setPlaying(true);
    const Clock::time_point start = Clock::now();
    std::vector<long> resident;
    long blocks = 0;
    for (int round = 0; round < 12 || secondsSince(start) < gSoakSeconds; ++round) {
        for (int b = 0; b < 48; ++b, ++blocks) {
            inst.nextEvent = 0;
            inst.render(512, {note(inst.position + 100, kMIDInote[blocks % kNumVoices])});
            inst.host.setParameter(randomInt(0, kNumSoundTags - 1), randomUnit());
            if (b % 8 == 0) inst.host.setChunk(inst.host.getChunk(true), true);
        }
        inst.host.setChunk(inst.host.getChunk(false), false);
        if (round % 4 == 0) {
            Instance other;
            if (!other.start(44100, 256)) return fail(other.error);
            other.render(256, {note(0, 36)});
        }
        resident.push_back(residentKiB());
    }
    // The highest level of the last quarter against the highest of the second.
    const size_t q = resident.size() / 4;
    const long early = *std::max_element(resident.begin() + q, resident.begin() + 2 * q);
    const long late = *std::max_element(resident.end() - q, resident.end());
    const std::string figures = format(
        "%.0f s, %ld blocks, %zu rounds: resident %ld MiB after the first round, %ld MiB in the "
        "second quarter, %ld MiB in the last",
        secondsSince(start), blocks, resident.size(), resident.front() / 1024, early / 1024,
        late / 1024);
    return late - early <= 2048 ? pass(figures) : fail(figures);
}

// A crash ends the run with a line that names the check it happened in.
const char* gRunning = "";
void onCrash(int signal) {
    char text[160];
    const int n = std::snprintf(text, sizeof text, "%-17s %-6s %7s  crashed (signal %d)\n",
                                gRunning, "FAIL", "", signal);
    if (write(STDOUT_FILENO, text, (size_t)n) < 0) _exit(1);
    _exit(1);
}

struct Check {
    const char* name;
    const char* what;
    Result (*run)();
};

const Check kChecks[] = {
    {"rates", "voices at 8 kHz to 768 kHz: sounding, clean, same decay in ms", checkRates},
    {"instances", "several instances at different rates equal lone ones", checkInstances},
    {"block-sizes", "random block sizes (0, above declared) equal fixed blocks", checkBlockSizes},
    {"parameter-storm", "random parameter changes: finite, no subnormals", checkParameterStorm},
    {"chunk-garbage", "random and damaged chunks: refused unchanged or played", checkChunkGarbage},
    {"state-round-trip", "saved state restores byte for byte", checkStateRoundTrips},
    {"realtime", "audio-thread calls: no heap, lock, sleep or file calls", checkRealtime},
    {"thread-hammer", "16 to 64-frame blocks while other threads work: none lost, none long",
     checkThreadHammer},
    {"churn", "many instances created and destroyed", checkChurn},
    {"opcode-fuzz", "random dispatcher calls", checkOpcodeFuzz},
    {"fpu", "FPU control state unchanged by every call", checkFpu},
    {"soak", "resident memory flat over a long run", checkSoak},
};

const char kUsage[] =
    "Usage: brakka-validate [options]\n"
    "Loads the Brakka plug-in through its exported entry, as a host does, and puts it through\n"
    "the checks below. Prints one line per check and exits with 1 when any check fails.\n"
    "\n"
    "Options:\n"
    "  --plugin PATH     the plug-in (default: Brakka.so beside this program)\n"
    "  --only A,B        run only these checks\n"
    "  --skip A,B        leave these checks out\n"
    "  --soak SECONDS    length of the soak (default 8)\n"
    "  --hammer-frames L block sizes of the thread hammer (default 16,32,64)\n"
    "  --seed N          seed of the random choices (default 1)\n"
    "  --help            this text\n"
    "\n"
    "Checks:\n";

bool listed(const std::string& list, const char* name) {
    const std::string padded = "," + list + ",";
    return padded.find("," + std::string(name) + ",") != std::string::npos;
}

std::string defaultPlugin(const char* argv0) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, n) : std::string(argv0);
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    return dir + "Brakka.so";
}

} // namespace

int main(int argc, char** argv) {
    std::string only, skip;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            for (const Check& c : kChecks)
                std::printf("  %-17s %s\n", c.name, c.what);
            return 0;
        } else if (a == "--plugin" && hasValue) {
            gPlugin = argv[++i];
        } else if (a == "--only" && hasValue) {
            only = argv[++i];
        } else if (a == "--skip" && hasValue) {
            skip = argv[++i];
        } else if (a == "--soak" && hasValue) {
            gSoakSeconds = std::atof(argv[++i]);
        } else if (a == "--hammer-frames" && hasValue) {
            gHammerFrames.clear();
            for (const char* p = argv[++i]; *p;) {
                char* end;
                const long n = std::strtol(p, &end, 10);
                if (end == p || n < 1 || n > 8192) {
                    std::fprintf(stderr, "brakka-validate: bad block sizes: %s\n", argv[i]);
                    return 2;
                }
                gHammerFrames.push_back((int)n);
                p = *end == ',' ? end + 1 : end;
            }
        } else if (a == "--seed" && hasValue) {
            gSeed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "brakka-validate: unknown option or missing value: %s\n%s",
                         a.c_str(), "Try --help.\n");
            return 2;
        }
    }
    for (const std::string& list : {only, skip})
        for (size_t p = 0; p < list.size();) {
            const size_t e = std::min(list.find(',', p), list.size());
            const std::string name = list.substr(p, e - p);
            if (std::none_of(std::begin(kChecks), std::end(kChecks),
                             [&](const Check& c) { return name == c.name; })) {
                std::fprintf(stderr, "brakka-validate: no check named '%s'\n", name.c_str());
                return 2;
            }
            p = e + 1;
        }
    if (gPlugin.empty()) gPlugin = defaultPlugin(argv[0]);
    PluginHost::callHook = callHook;
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(s, onCrash);

    std::printf("brakka-validate: %s\n\n%-17s %-6s %7s  %s\n", gPlugin.c_str(), "check", "result",
                "seconds", "detail");
    std::fflush(stdout);
    int passed = 0, failed = 0;
    const Clock::time_point start = Clock::now();
    for (const Check& c : kChecks) {
        if ((!only.empty() && !listed(only, c.name)) || listed(skip, c.name)) continue;
        gRandom.seed(gSeed);
        gRunning = c.name;
        const Clock::time_point t = Clock::now();
        const Result r = c.run();
        std::printf("%-17s %-6s %7.1f  %s\n", c.name, r.pass ? "PASS" : "FAIL", secondsSince(t),
                    r.detail.c_str());
        std::fflush(stdout);
        (r.pass ? passed : failed)++;
    }
    std::printf("\nbrakka-validate: %.0f s\n%d passed, %d failed\n", secondsSince(start), passed,
                failed);
    return failed ? 1 : 0;
}
