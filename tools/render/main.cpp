// brakka-render: renders the plug-in offline to WAV (and the notes it plays to a MIDI file), as
// a host of its own that loads the shared object through its exported entry. Run with --help
// for the options.
#include "BrakkaParameterTags.h"
#include "plugin_host.h"
#include "render_files.h"
#include "render_song.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace brakka_render;
using brakka_host::PluginHost;

namespace {

const char* const kVoiceNames[kNumVoices] = {"Kick",    "Snare 8",  "Snare 9",    "Low Tom",
                                             "Mid Tom", "High Tom", "Closed Hat", "Open Hat",
                                             "Cymbal",  "Rimshot",  "Clap",       "Cowbell"};

// The tail after the music: until every written output stays below -90 dBFS for 50 ms, at most
// 10 seconds.
const double kSilenceLevel = 3.1622776e-5;
const double kSilenceSeconds = 0.05;
const double kMaxTailSeconds = 10.0;

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2, kExitInterrupted = 130 };

volatile std::sig_atomic_t gInterrupted = 0;
void onSignal(int) {
    gInterrupted = 1;
}

const char kUsage[] =
    "Usage: brakka-render [options]\n"
    "Renders the Brakka plug-in offline: a pattern for a number of bars, or a song of patterns,\n"
    "to a stereo WAV file of the main output (bus A), optionally with one stem per output bus\n"
    "and the notes the plug-in played as a Standard MIDI file.\n"
    "\n"
    "What to play:\n"
    "  --program N       program of the bank, 1..48 (default 1)\n"
    "  --pattern P       pattern 1..16 (default 1) ...\n"
    "  --bars N          ... played for N bars (default 4)\n"
    "  --song LIST       a song instead: pattern x repeats, e.g. 1x4,2x2,16x1. Each pattern\n"
    "                    switch is sent as the pattern note (MIDI 60..75) shortly before the\n"
    "                    playing run ends, so it lands on the bar line as in a live set. A\n"
    "                    two-bar pattern that enters on an odd bar starts in its second half\n"
    "                    (the plug-in keeps patterns on the bar grid); that half counts as one\n"
    "                    of its repeats.\n"
    "  --bank FILE       load a bank file (.fxb) before choosing the program\n"
    "  --preset FILE     load a program file (.fxp) into the chosen program\n"
    "  --set TAG=VALUE   set parameter TAG (0..262) to the normalized VALUE (0..1) before\n"
    "                    rendering; repeatable, applied in order (e.g. --set 142=0.45 routes\n"
    "                    the kick to bus C; --set 114=0.2 selects pattern 4 to edit)\n"
    "\n"
    "Clock:\n"
    "  --tempo BPM       tempo, 20..999 (default 120; 50..250 with --sync internal)\n"
    "  --sync MODE       host (default): the renderer's transport drives the plug-in;\n"
    "                    internal: the plug-in's own clock, started with its Play parameter\n"
    "  --rate HZ         sample rate (default 44100)\n"
    "  --block N         block size in samples (default 512)\n"
    "\n"
    "Output:\n"
    "  --out FILE        WAV file of bus A (default brakka-demo.wav)\n"
    "  --stems           also write each bus A..F as FILE-A.wav .. FILE-F.wav\n"
    "  --float           32-bit float samples (default 24-bit integer)\n"
    "  --midi FILE       write the notes the plug-in sent as a Standard MIDI file\n"
    "                    (format 0, 480 ticks per quarter note, tempo and 4/4 at the start)\n"
    "  After the music the transport stops and rendering goes on until every written\n"
    "  output stays below -90 dBFS for 50 ms (at most 10 s), so decays are not cut.\n"
    "\n"
    "Other:\n"
    "  --plugin PATH     the plug-in (default: Brakka.so beside this program, else the\n"
    "                    installed one in the first folder of VST_PATH or ~/.vst)\n"
    "  --list            list the programs; with --program N also that program's patterns\n"
    "                    (step size, length, the voices heard in one pass)\n"
    "  --help            this text\n"
    "\n"
    "Exit status: 0 done, 1 the plug-in or a file failed, 2 bad arguments, 130 interrupted.\n"
    "Outputs are written under temporary names and renamed at the end; nothing is left behind\n"
    "on failure. The same command always writes the same bytes.\n";

struct Options {
    std::string plugin;
    int program = 1;
    bool programGiven = false;
    int pattern = 1;
    bool patternGiven = false;
    long bars = 4;
    bool barsGiven = false;
    std::string song;
    double tempo = 120.0;
    int rate = 44100;
    int block = 512;
    bool internalSync = false;
    std::string out = "brakka-demo.wav";
    bool stems = false;
    bool floatSamples = false;
    std::string midi;
    std::string bank;
    std::string preset;
    bool list = false;
    bool help = false;
    std::vector<std::pair<int, float>> sets;
};

struct UsageError {
    std::string message;
};

bool parseLong(const std::string& text, long lo, long hi, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
    value = v;
    return true;
}

bool parseDouble(const std::string& text, double lo, double hi, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0 || !std::isfinite(v) || v < lo || v > hi) return false;
    value = v;
    return true;
}

bool parseArguments(int argc, char** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto flag = [&]() {
            if (hasValue) throw UsageError{arg + " takes no value"};
        };
        auto next = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
            return argv[++i];
        };
        auto number = [&](long lo, long hi) {
            const std::string text = next();
            long v = 0;
            if (!parseLong(text, lo, hi, v))
                throw UsageError{arg + ": '" + text + "' is not a whole number in " +
                                 std::to_string(lo) + ".." + std::to_string(hi)};
            return v;
        };
        try {
            if (arg == "--help" || arg == "-h") {
                flag();
                o.help = true;
            } else if (arg == "--plugin") {
                o.plugin = next();
            } else if (arg == "--program") {
                o.program = (int)number(1, 9999);
                o.programGiven = true;
            } else if (arg == "--pattern") {
                o.pattern = (int)number(1, 16);
                o.patternGiven = true;
            } else if (arg == "--bars") {
                o.bars = number(1, 100000);
                o.barsGiven = true;
            } else if (arg == "--song") {
                o.song = next();
                if (o.song.empty()) throw UsageError{"--song needs a list such as 1x4,2x2"};
            } else if (arg == "--tempo") {
                const std::string text = next();
                if (!parseDouble(text, 20.0, 999.0, o.tempo))
                    throw UsageError{"--tempo: '" + text + "' is not a tempo in 20..999 BPM"};
            } else if (arg == "--rate") {
                o.rate = (int)number(8000, 384000);
            } else if (arg == "--block") {
                o.block = (int)number(1, 65536);
            } else if (arg == "--sync") {
                const std::string mode = next();
                if (mode == "host")
                    o.internalSync = false;
                else if (mode == "internal")
                    o.internalSync = true;
                else
                    throw UsageError{"--sync: '" + mode + "' is neither host nor internal"};
            } else if (arg == "--out") {
                o.out = next();
                if (o.out.empty()) throw UsageError{"--out needs a file name"};
            } else if (arg == "--stems") {
                flag();
                o.stems = true;
            } else if (arg == "--float") {
                flag();
                o.floatSamples = true;
            } else if (arg == "--midi") {
                o.midi = next();
                if (o.midi.empty()) throw UsageError{"--midi needs a file name"};
            } else if (arg == "--bank") {
                o.bank = next();
            } else if (arg == "--preset") {
                o.preset = next();
            } else if (arg == "--list") {
                flag();
                o.list = true;
            } else if (arg == "--set") {
                const std::string text = next();
                const size_t at = text.find('=');
                long tag = -1;
                double v = -1.0;
                if (at == std::string::npos ||
                    !parseLong(text.substr(0, at), 0, kNumParameters - 1, tag) ||
                    !parseDouble(text.substr(at + 1), 0.0, 1.0, v))
                    throw UsageError{"--set: '" + text +
                                     "' is not TAG=VALUE with TAG 0..262 and VALUE 0..1"};
                o.sets.push_back({(int)tag, (float)v});
            } else {
                throw UsageError{"unknown option '" + arg + "' (see --help)"};
            }
        } catch (const UsageError& e) {
            error = e.message;
            return false;
        }
    }
    if (!o.song.empty() && (o.patternGiven || o.barsGiven)) {
        error = "--song cannot be combined with --pattern or --bars";
        return false;
    }
    if (o.internalSync && (o.tempo < 50.0 || o.tempo > 250.0)) {
        error = "--tempo must lie in 50..250 BPM with --sync internal";
        return false;
    }
    if (!o.midi.empty() && o.midi == o.out) {
        error = "--midi and --out name the same file";
        return false;
    }
    return true;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = 0;
    std::string path(buffer);
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The plug-in built beside this program, else the installed one.
std::string defaultPlugin(std::string& tried) {
    std::vector<std::string> candidates = {executableFolder() + "/Brakka.so"};
    if (const char* vstPath = std::getenv("VST_PATH")) {
        std::string first(vstPath);
        first = first.substr(0, first.find(':'));
        if (!first.empty()) candidates.push_back(first + "/Brakka.so");
    }
    if (const char* home = std::getenv("HOME"))
        candidates.push_back(std::string(home) + "/.vst/Brakka.so");
    for (const std::string& c : candidates) {
        if (fileExists(c)) return c;
        tried += (tried.empty() ? "" : ", ") + c;
    }
    return std::string();
}

std::string decibels(double level) {
    char text[32];
    if (level <= 0.0)
        std::snprintf(text, sizeof text, "-inf dBFS");
    else
        std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(level));
    return text;
}

// Progress on a terminal: a bar on stderr, redrawn when the percentage changes.
class Progress {
public:
    Progress(int64_t total, bool enabled) : total_(total), enabled_(enabled && total > 0) {}
    ~Progress() { clear(); }
    void update(int64_t done) {
        if (!enabled_) return;
        const int percent = (int)std::min<int64_t>(100, done * 100 / total_);
        if (percent == shown_) return;
        shown_ = percent;
        char bar[41];
        const int filled = percent * 40 / 100;
        for (int i = 0; i < 40; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[40] = 0;
        std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, percent);
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

private:
    int64_t total_;
    bool enabled_;
    int shown_ = -1;
    bool drawn_ = false;
};

class Renderer {
public:
    explicit Renderer(const Options& o) : o_(o) {}
    int run();

private:
    bool fail(const std::string& message) {
        std::fprintf(stderr, "brakka-render: %s\n", message.c_str());
        return false;
    }
    int setUp();
    bool loadFxFile(const std::string& path, FxKind kind);
    int patternBars(int pattern);
    double samplesPerBar() const { return 4.0 * 60.0 * o_.rate / tempo_; }
    int64_t barSample(double bars) const { return (int64_t)std::ceil(bars * samplesPerBar()); }
    int list();
    int render();
    bool processBlock(int64_t position, int frames);

    const Options& o_;
    PluginHost host_;
    std::string pluginPath_;
    double tempo_ = 120.0;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
};

bool Renderer::loadFxFile(const std::string& path, FxKind kind) {
    std::vector<uint8_t> bytes;
    std::string error;
    FxFile file;
    if (!readFile(path, bytes, error)) return fail(error);
    if (!parseFxFile(bytes, file, error)) return fail(path + ": " + error);
    const bool bank = kind == FxKind::Bank;
    if (file.kind != kind)
        return fail(path + (bank ? " is a program file; load it with --preset"
                                 : " is a bank file; load it with --bank"));
    if (file.pluginId != host_.effect()->uniqueID)
        return fail(path + " was saved by another plug-in");
    if (!host_.setChunk(file.chunk, !bank))
        return fail("the plug-in did not accept the " + std::string(bank ? "bank" : "program") +
                    " in " + path);
    return true;
}

// Loads the plug-in and brings it into the state to render from. Returns an exit code.
int Renderer::setUp() {
    std::string error;
    pluginPath_ = o_.plugin;
    if (pluginPath_.empty()) {
        std::string tried;
        pluginPath_ = defaultPlugin(tried);
        if (pluginPath_.empty()) {
            fail("no plug-in found (looked for " + tried + "); name one with --plugin");
            return kExitFailure;
        }
    }
    if (!host_.load(pluginPath_, error)) {
        fail(error);
        return kExitFailure;
    }
    host_.setTransport(o_.rate, o_.tempo);
    host_.open((float)o_.rate, o_.block);

    const AEffect* e = host_.effect();
    if (e->numParams <= kMIDIOutputOnlyTag) {
        fail(pluginPath_ + " is not Brakka (it has " + std::to_string(e->numParams) +
             " parameters)");
        return kExitFailure;
    }
    if (o_.program > host_.numPrograms()) {
        fail("program " + std::to_string(o_.program) + " does not exist (1.." +
             std::to_string(host_.numPrograms()) + ")");
        return kExitUsage;
    }
    if (!o_.bank.empty() && !loadFxFile(o_.bank, FxKind::Bank)) return kExitFailure;
    host_.setProgram(o_.program - 1);
    if (!o_.preset.empty() && !loadFxFile(o_.preset, FxKind::Program)) return kExitFailure;
    for (const auto& s : o_.sets)
        host_.setParameter(s.first, s.second);

    tempo_ = o_.tempo;
    if (o_.internalSync) {
        const float normalized = (float)((o_.tempo - 50.0) / 200.0);
        host_.setParameter(kSyncTag, 0.5f);
        host_.setParameter(kTempoTag, normalized);
        // The plug-in's clock runs at the tempo its parameter holds, which may differ from the
        // request in the last bits; lay the song out at the tempo it really plays.
        float natural = 0.0f;
        if (host_.naturalValue(kTempoTag, normalized, natural) && natural > 0.0f) tempo_ = natural;
    } else {
        host_.setParameter(kSyncTag, 0.0f);
    }
    host_.setTransport(o_.rate, tempo_);

    buffers_.assign((size_t)host_.numOutputs(), std::vector<float>((size_t)o_.block, 0.0f));
    pointers_.clear();
    for (auto& b : buffers_)
        pointers_.push_back(b.data());
    return kExitOk;
}

// Selects a pattern (the transport must be stopped, so the switch is immediate) and reads its
// length from the step size it shows: "2 x 16" is two bars, every other choice one.
int Renderer::patternBars(int pattern) {
    host_.setParameter(kPatternTag, (float)(pattern - 1) / (float)(kNumPatterns - 1));
    std::string shown = host_.parameterDisplay(kStepSizeTag);
    shown.erase(std::remove(shown.begin(), shown.end(), ' '), shown.end());
    return shown == "2x16" ? 2 : 1;
}

bool Renderer::processBlock(int64_t position, int frames) {
    for (auto& b : buffers_)
        std::fill(b.begin(), b.begin() + frames, 0.0f);
    host_.process(position, frames, pointers_.data());
    return gInterrupted == 0;
}

int Renderer::list() {
    if (const int code = setUp()) return code;
    std::printf("Programs of %s:\n", pluginPath_.c_str());
    for (int i = 0; i < host_.numPrograms(); ++i)
        std::printf("  %2d  %s\n", i + 1, host_.programName(i).c_str());
    if (!o_.programGiven) return kExitOk;

    // Each pattern is played once with MIDI Output Only on, and the notes it sends tell which
    // voices play. Probabilities and random notes make this one possible pass.
    std::printf("\nPatterns of program %d \"%s\" (the voices heard in one pass):\n", o_.program,
                host_.programName(o_.program - 1).c_str());
    host_.setParameter(kMIDIOutputOnlyTag, 1.0f);
    host_.setParameter(kSyncTag, 0.0f);
    host_.setTransport(o_.rate, o_.tempo);
    tempo_ = o_.tempo;
    host_.resume();
    for (int p = 1; p <= 16; ++p) {
        host_.setPlaying(false);
        processBlock(0, std::min(o_.block, 64));
        const int bars = patternBars(p);
        const std::string stepSize = host_.parameterDisplay(kStepSizeTag);
        host_.clearMidiSent();
        host_.setPlaying(true);
        const int64_t end = barSample(bars);
        for (int64_t pos = 0; pos < end;) {
            const int frames = (int)std::min<int64_t>(o_.block, end - pos);
            if (!processBlock(pos, frames)) return kExitInterrupted;
            pos += frames;
        }
        bool heard[kNumVoices] = {};
        int notes = 0;
        for (const MidiMessage& m : host_.midiSent()) {
            if ((m.bytes[0] & 0xF0) != 0x90 || m.bytes[2] == 0) continue;
            ++notes;
            for (int v = 0; v < kNumVoices; ++v)
                if (kMIDInote[v] == m.bytes[1]) heard[v] = true;
        }
        std::string voices;
        for (int v = 0; v < kNumVoices; ++v)
            if (heard[v]) voices += (voices.empty() ? "" : ", ") + std::string(kVoiceNames[v]);
        std::printf("  %02d  %-8s %d bar%s  %3d notes  %s\n", p, stepSize.c_str(), bars,
                    bars == 1 ? " " : "s", notes, voices.empty() ? "-" : voices.c_str());
    }
    host_.setPlaying(false);
    processBlock(0, std::min(o_.block, 64));
    host_.suspend();
    return kExitOk;
}

int Renderer::render() {
    // Everything that can be checked before the plug-in runs.
    std::vector<SongEntry> song;
    std::string error;
    if (!o_.song.empty()) {
        if (!parseSong(o_.song, song, error)) {
            std::fprintf(stderr, "brakka-render: --song: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (const int code = setUp()) return code;

    // Pattern lengths, then the timeline.
    std::vector<PatternRun> runs;
    if (song.empty()) {
        patternBars(o_.pattern);
        runs.push_back({o_.pattern, 0, o_.bars});
    } else {
        std::vector<int> lengths(16, 1);
        for (const SongEntry& e : song)
            lengths[e.pattern - 1] = patternBars(e.pattern);
        runs = layoutSong(song, lengths);
    }
    host_.setParameter(kPatternTag, (float)(runs.front().pattern - 1) / (float)(kNumPatterns - 1));
    const long totalBars = runs.back().endBar;
    const int64_t musicEnd = barSample((double)totalBars);

    // Pattern notes: each one a sixteenth before the run it starts, so that it arrives during
    // the last pass of the run before and takes effect at the bar line.
    struct Switch {
        int64_t sample;
        int pattern;
    };
    std::vector<Switch> switches;
    for (size_t i = 1; i < runs.size(); ++i)
        switches.push_back({barSample((double)runs[i].startBar - 1.0 / 16.0), runs[i].pattern});

    // Outputs.
    std::vector<std::unique_ptr<WavWriter>> writers;
    std::vector<int> writerBus;
    writers.push_back(std::make_unique<WavWriter>());
    writerBus.push_back(0);
    if (o_.stems) {
        const int buses = std::min(kNumOutputBuses, host_.numOutputs() / 2);
        for (int b = 0; b < buses; ++b) {
            writers.push_back(std::make_unique<WavWriter>());
            writerBus.push_back(b);
        }
    }
    PendingFile midiPending;
    int midiFd = -1;
    auto abort = [&](const std::string& message, int code) {
        for (auto& w : writers)
            w->discard();
        if (midiFd >= 0) close(midiFd);
        midiPending.discard();
        if (!message.empty()) fail(message);
        return code;
    };
    if (!o_.midi.empty()) {
        midiFd = midiPending.create(o_.midi, error);
        if (midiFd < 0) return abort(error, kExitFailure);
    }
    for (size_t w = 0; w < writers.size(); ++w) {
        const std::string target =
            w == 0 ? o_.out : stemName(o_.out, std::string("-") + (char)('A' + writerBus[w]));
        if (!writers[w]->open(target, o_.rate, o_.floatSamples, error))
            return abort(error, kExitFailure);
    }
    auto writeBlock = [&](int frames) {
        for (size_t w = 0; w < writers.size(); ++w) {
            const int b = writerBus[w];
            if (!writers[w]->write(pointers_[2 * b], pointers_[2 * b + 1], frames, error))
                return false;
        }
        return true;
    };

    // The music.
    Progress progress(musicEnd, isatty(STDERR_FILENO) && musicEnd > 10 * (int64_t)o_.rate);
    host_.resume();
    if (o_.internalSync)
        host_.setParameter(kPlayTag, 1.0f);
    else
        host_.setPlaying(true);
    int64_t pos = 0;
    size_t nextSwitch = 0;
    while (pos < musicEnd) {
        if (nextSwitch < switches.size() && switches[nextSwitch].sample <= pos) {
            const uint8_t note = (uint8_t)(60 + switches[nextSwitch].pattern - 1);
            host_.sendMidi({{pos, {0x90, note, 100}, 3}, {pos, {0x80, note, 64}, 3}});
            ++nextSwitch;
        }
        int64_t end = std::min<int64_t>(pos + o_.block, musicEnd);
        if (nextSwitch < switches.size()) end = std::min(end, switches[nextSwitch].sample);
        const int frames = (int)(end - pos);
        if (!processBlock(pos, frames)) return abort("interrupted", kExitInterrupted);
        if (!writeBlock(frames)) return abort(error, kExitFailure);
        pos = end;
        progress.update(pos);
    }
    progress.clear();

    // The tail: transport stopped, until the written outputs fall silent.
    if (o_.internalSync)
        host_.setParameter(kStopTag, 1.0f);
    else
        host_.setPlaying(false);
    const int64_t silenceNeeded = (int64_t)std::ceil(kSilenceSeconds * o_.rate);
    const int64_t tailEnd = musicEnd + (int64_t)(kMaxTailSeconds * o_.rate);
    int64_t silent = 0;
    while (silent < silenceNeeded && pos < tailEnd) {
        const int frames = (int)std::min<int64_t>(o_.block, tailEnd - pos);
        if (!processBlock(pos, frames)) return abort("interrupted", kExitInterrupted);
        if (!writeBlock(frames)) return abort(error, kExitFailure);
        float peak = 0.0f;
        for (size_t w = 0; w < writers.size(); ++w)
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < frames; ++i)
                    peak = std::max(peak, std::fabs(pointers_[2 * writerBus[w] + c][i]));
        silent = peak < kSilenceLevel ? silent + frames : 0;
        pos += frames;
    }
    host_.suspend();

    // Files into place.
    std::vector<uint8_t> midiFile;
    if (!o_.midi.empty()) {
        midiFile = buildMidiFile(host_.midiSent(), tempo_, o_.rate, pos);
        const int fd = midiFd;
        midiFd = -1; // closed by writeAndClose whatever happens
        if (!writeAndClose(fd, midiFile, o_.midi, error) || !midiPending.commit(error))
            return abort(error, kExitFailure);
    }
    for (auto& w : writers)
        if (!w->finish(error)) return abort(error, kExitFailure);

    // Summary.
    int notes = 0;
    for (const MidiMessage& m : host_.midiSent())
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0) ++notes;
    std::string what;
    if (song.empty()) {
        what = "pattern " + std::to_string(o_.pattern) + " for " + std::to_string(o_.bars) +
               " bar" + (o_.bars == 1 ? "" : "s");
    } else {
        what = "song " + o_.song + " (" + std::to_string(totalBars) + " bar" +
               (totalBars == 1 ? "" : "s") + ")";
    }
    std::printf("Rendered %s of program %d at %g BPM, %d Hz, %s sync: %d notes\n", what.c_str(),
                o_.program, o_.tempo, o_.rate, o_.internalSync ? "internal" : "host", notes);
    for (auto& w : writers) {
        // Integer samples stop at full scale; say so rather than hand over a clipped file
        // silently.
        const bool clipped = !o_.floatSamples && w->peak() > 1.0;
        std::printf("  %-32s %9.3f s  peak %-10s  RMS %s%s\n", w->target().c_str(),
                    (double)w->frames() / o_.rate, decibels(w->peak()).c_str(),
                    decibels(w->rms()).c_str(),
                    clipped ? "  (clipped; --float keeps the overs)" : "");
    }
    if (!o_.midi.empty())
        std::printf("  %-32s %d notes, %zu bytes\n", o_.midi.c_str(), notes, midiFile.size());
    return kExitOk;
}

int Renderer::run() {
    return o_.list ? list() : render();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseArguments(argc, argv, options, error)) {
        std::fprintf(stderr, "brakka-render: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Renderer renderer(options);
    return renderer.run();
}
