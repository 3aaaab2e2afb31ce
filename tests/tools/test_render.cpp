// brakka-render: its pieces alone (song lists on the bar grid, program and bank files, the MIDI
// file writer, outputs written through temporary files), then the program as users run it with
// the plug-in of this build, its MIDI files read back by another reader than ours (Debian's
// python3-mido through midi_dump.py); and the installer.
#include "BrakkaParameterTags.h"
#include "render_files.h"
#include "render_song.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace brakka_render;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

namespace {

Args join(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh temporary folder, removed with its contents at destruction.
struct TempFolder {
    std::string path = (fs::temp_directory_path() / "brakka-render-XXXXXX").string();
    TempFolder() {
        if (!mkdtemp(path.data())) path.clear();
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> entries() const { // names, sorted
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct RunResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out, err;
};

// Starts a program (argv[0]) in `folder`, its output going to files there that finishProgram
// collects and removes.
pid_t startProgram(const Args& argv, const std::string& folder) {
    const std::string out = folder + "/.stdout", err = folder + "/.stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Args full = join({"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder}, argv);
    std::vector<char*> args;
    for (auto& a : full)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

RunResult finishProgram(pid_t pid, const std::string& folder) {
    RunResult r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = slurp(folder + "/.stdout");
    r.err = slurp(folder + "/.stderr");
    unlink((folder + "/.stdout").c_str());
    unlink((folder + "/.stderr").c_str());
    return r;
}

RunResult runProgram(const Args& argv, const std::string& folder) {
    return finishProgram(startProgram(argv, folder), folder);
}

RunResult runRender(const Args& args, const std::string& folder) {
    return runProgram(join({BRAKKA_RENDER, "--plugin", BRAKKA_PLUGIN}, args), folder);
}

struct Wav {
    int rate = 0, channels = 0, format = 0;
    std::vector<float> samples; // interleaved
    int64_t frames() const { return channels ? (int64_t)samples.size() / channels : 0; }
};

Wav readWav(const std::string& path) {
    Wav w;
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) {
        ADD_FAILURE() << "cannot read " << path;
        return w;
    }
    w.rate = info.samplerate;
    w.channels = info.channels;
    w.format = info.format;
    w.samples.assign((size_t)(info.frames * info.channels), 0.0f);
    EXPECT_EQ(sf_readf_float(sf, w.samples.data(), info.frames), info.frames) << path;
    sf_close(sf);
    return w;
}

// Index of the first frame with a sample of magnitude above 0, or -1.
int64_t firstSound(const Wav& w) {
    for (size_t i = 0; i < w.samples.size(); ++i)
        if (w.samples[i] != 0.0f) return (int64_t)i / w.channels;
    return -1;
}

struct MidiNote {
    long tick;
    int note, velocity;
    bool on() const { return velocity > 0; }
};
// A MIDI file as mido reads it; note-offs have negative velocities here.
struct MidiDump {
    long format = -1, ticks = 0, tempo = 0, timeSig = 0, end = -1; // timeSig 44: 4/4
    std::vector<MidiNote> notes, ons;
};

MidiDump readMidiWithMido(const std::string& path) {
    const RunResult r =
        runProgram({BRAKKA_PYTHON3, MIDI_DUMP_SCRIPT, path}, fs::path(path).parent_path());
    EXPECT_EQ(r.status, 0) << "mido could not read " << path << ": " << r.err;
    std::istringstream in(r.out);
    MidiDump d;
    in >> d.format >> d.ticks >> d.tempo >> d.timeSig >> d.end;
    for (MidiNote n; in >> n.tick >> n.note >> n.velocity;) {
        d.notes.push_back(n);
        if (n.on()) d.ons.push_back(n);
    }
    return d;
}

Args setting(int tag, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d=%.9g", tag, value);
    return {"--set", text};
}
void set(Args& args, int tag, double value) {
    args = join(std::move(args), setting(tag, value));
}

// Pattern P (1..16) of the current program with quarter notes at full velocity on exactly the
// given voices, whatever the program held: rows cleared, every voice's random beats 0 % except
// the chosen ones at 100 % on a quarter-note grid, step size "1 x 32".
Args quarterNotePattern(int pattern, const std::vector<int>& voices) {
    Args args;
    set(args, kPatternTag, (pattern - 1) / 15.0); // chosen while stopped: switches at once
    set(args, kStepSizeTag, 0.0);
    for (int v = 0; v < kNumVoices; ++v) {
        const bool plays = std::find(voices.begin(), voices.end(), v) != voices.end();
        set(args, kClearTag + v, 1.0);
        set(args, kSelectedBeatsTag + v, 1.0);
        set(args, kRandomBeatsTag + v, plays ? 1.0 : 0.0);
        set(args, kRandomSizeTag + v, 5.0 / 6.0); // "1/4"
        set(args, kRandomVelocityTag + v, 1.0);
        set(args, kRandomResetTag + v, 0.0);
    }
    return args;
}

// Every voice audible at 0 dB, centred, on bus A; no compressor; audio, not MIDI only.
Args neutralMixer() {
    Args args;
    for (int v = 0; v < kNumVoices; ++v)
        for (int tag : {kLevelTag, kPanTag, kOutputTag, kMuteTag, kSoloTag})
            set(args, tag + v, tag == kLevelTag ? 1.0 : tag == kPanTag ? 0.5 : 0.0);
    set(args, kCompressorTag, 0.0);
    set(args, kMIDIOutputOnlyTag, 0.0);
    return args;
}

template <typename T>
void put(std::string& s, T v, bool bigEndian = true) {
    for (size_t i = 0; i < sizeof v; ++i)
        s.push_back(((const char*)&v)[bigEndian ? sizeof v - 1 - i : i]);
}

const uint32_t kBrakkaId = 0x5A55626B; // 'ZUbk'

// A program (FPCh) or bank (FBCh) file with the given plug-in ID and chunk; `declared` is the
// chunk size the file states, when not the true one.
std::string fxFile(const char* magic, uint32_t pluginId, const std::string& chunk,
                   uint32_t declared = 0xFFFFFFFF) {
    std::string s = "CcnK";
    put<uint32_t>(s, 0); // some writers leave the byte size 0; it is not relied on
    s += magic;
    for (uint32_t v : {1u, pluginId, 1u, 48u})
        put(s, v);
    s.append(std::string(magic) == "FPCh" ? 28 : 128, '\0');
    put<uint32_t>(s, declared == 0xFFFFFFFF ? (uint32_t)chunk.size() : declared);
    return s + chunk;
}

// A program chunk in the plug-in's layout: pattern 1 plays the kick and pattern 2 the cowbell on
// every quarter note (steps 0, 8, 16, 24 of "1 x 32") at full velocity; no random notes.
std::string programChunk() {
    std::string s;
    put<int32_t>(s, 100, false);
    s.append("Quarters").append(16, '\0');
    for (int tag = 0; tag < kNumParameters; ++tag) // levels 0 dB, centred, selected beats 100 %
        put(s,
            isFamilyTag(tag, kLevelTag) || isFamilyTag(tag, kSelectedBeatsTag) ? 1.0f
            : isFamilyTag(tag, kPanTag)                                        ? 0.5f
                                                                               : 0.0f,
            false);
    for (int p = 0; p < kNumPatterns; ++p) {
        const int playing = p == 0 ? 0 : (p == 1 ? 11 : -1);
        for (int v = 0; v < kNumVoices; ++v)
            for (int step = 0; step < kNumSteps; ++step)
                s.push_back(v == playing && step % 8 == 0 ? (char)255 : 0);
        for (int i = 0; i < kNumVoices * kNumSteps; ++i)
            put(s, 1.0f, false);     // velocities
        s.append(12 + 13 * 4, '\0'); // velocity rows kept, no modulated tags or rows
    }
    for (int p = 0; p < kNumPatterns; ++p) { // the pattern's values: step size, 4 families
        put(s, 0.0f, false);                 // "1 x 32"
        for (int t = kSelectedBeatsTag; t < kClearTag; ++t)
            put(s, t < kRandomBeatsTag ? 1.0f : (isFamilyTag(t, kRandomSizeTag) ? 2 / 6.0f : 0.0f),
                false);
        s.append(kNumVoices * 4, '\0'); // random reset
    }
    return s;
}

} // namespace

// ---- the pieces --------------------------------------------------------------------------------

// Runs follow the bar grid of their patterns: one-bar runs simply add up; a two-bar pattern
// (pattern 2, "2 x 16") on an even bar plays whole passes, on an odd bar it enters in its second
// half, and that half is its first pass. Malformed lists are refused with a message.
TEST(Song, ListsOfPatternRunsFollowTheBarGridOfTheirPatterns) {
    std::vector<int> bars(16, 1);
    bars[1] = 2;
    const std::pair<const char*, std::vector<long>> cases[] = {
        {" 1x4,3X2 ", {0, 4, 4, 6}}, // start and end bar of each run
        {"1x2, 2x2 ,1", {0, 2, 2, 6, 6, 7}},
        {"1x1,2x2,1x1", {0, 1, 1, 4, 4, 5}},
        {"1x3,16", {0, 3, 3, 4}}};
    std::vector<SongEntry> song;
    std::string error;
    for (const auto& [text, bounds] : cases) {
        ASSERT_TRUE(parseSong(text, song, error)) << error;
        std::vector<long> got;
        for (const auto& run : layoutSong(song, bars))
            got.insert(got.end(), {run.startBar, run.endBar});
        EXPECT_EQ(got, bounds) << text;
    }
    for (const char* bad : {"", ",", "1x4,", "1x", "x4", "0x1", "17x1", "1x0", "1x10000", "1x4;2x2",
                            "1x4 2x2", "1.5x2", "-1x2", "99999999999x1"}) {
        error.clear();
        EXPECT_FALSE(parseSong(bad, song, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// The note-off of 42 shares its tick with the note-on of 38 and comes first; the last note-off
// lies 43 537 ticks in, a three-byte delta. Swing can bring a step in before the note of the step
// before has ended: the note then ends just before it is struck again (tick 22, not 60); the
// note-off of a key not sounding is dropped. (Header, tempo and time signature: mido below.)
TEST(MidiFile, SamplesBecomeTicksAndNoteOffsComeFirst) {
    EXPECT_EQ(samplesToTicks(2756, 120.0, 44100.0), 60); // 59.99 rounds to the nearest tick
    EXPECT_EQ(samplesToTicks(48000, 90.0, 48000.0), 720);
    const std::vector<MidiMessage> sent = {
        {0, {0x90, 36, 127}, 3},     {2756, {0x80, 36, 64}, 3},  {1000, {0x90, 36, 100}, 3},
        {3756, {0x80, 36, 64}, 3},   {4000, {0x80, 38, 64}, 3},  {11025, {0x90, 42, 90}, 3},
        {22050, {0x90, 38, 100}, 3}, {22050, {0x80, 42, 64}, 3}, {2000000, {0x80, 38, 64}, 3}};
    const auto file = buildMidiFile(sent, 120.0, 44100.0, 0);
    const Bytes events = {0x00, 0x90, 36,   127,  22, 0x80, 36,   64,   0x00, 0x90,
                          36,   100,  60,   0x80, 36, 64,   0x81, 0x1E, 0x90, 42,
                          90,   0x81, 0x70, 0x80, 42, 64,   0x00, 0x90, 38,   100,
                          0x82, 0xD0, 0x31, 0x80, 38, 64,   0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(file.size(), 22u + 15 + events.size());
    EXPECT_TRUE(std::equal(events.begin(), events.end(), file.begin() + 22 + 15));
}

TEST(Outputs, FilesAppearOnlyWhenCommittedUnderTheirStemNames) {
    EXPECT_EQ(stemName("out/take.2.wav", "-A"), "out/take.2-A.wav");
    EXPECT_EQ(stemName("out.d/take", "-B"), "out.d/take-B.wav");
    TempFolder dir;
    const std::string target = dir.file("out.mid");
    std::string error;
    {
        PendingFile pending;
        ASSERT_GE(pending.create(target, error), 0) << error;
        EXPECT_EQ(dir.entries().size(), 1u); // the temporary file only
        EXPECT_FALSE(fs::exists(target));
    } // never committed: removed
    EXPECT_TRUE(dir.entries().empty());

    writeText(target, "old");
    ASSERT_TRUE(writeFileAtomically(target, {1, 2, 3}, error)) << error;
    EXPECT_EQ(slurp(target), "\1\2\3");

    WavWriter wav;
    const float left[3] = {0.5f, 2.0f, -0.25f}, right[3] = {0.0f, -3.0f, 0.0f};
    // 24-bit samples beyond full scale are clipped, not wrapped around.
    ASSERT_TRUE(wav.open(dir.file("x.wav"), 44100, false, error)) << error;
    ASSERT_TRUE(wav.write(left, right, 3, error)) << error;
    EXPECT_DOUBLE_EQ(wav.peak(), 3.0);
    ASSERT_TRUE(wav.finish(error)) << error;
    const std::vector<float> want = {0.5f, 0.0f, 1.0f, -1.0f, -0.25f, 0.0f};
    const Wav read = readWav(dir.file("x.wav"));
    ASSERT_EQ(read.samples.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(read.samples[i], want[i], 1e-6f) << i;
}

// ---- the program -------------------------------------------------------------------------------

// Bad arguments exit 2, failures 1; either way with a message and no file written.
TEST(RenderFailures, BadArgumentsAndFailuresLeaveNothingBehind) {
    TempFolder dir;
    const RunResult help = runRender({"--help"}, dir.path);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--stems"), std::string::npos);
    const std::string x(64, 'x');
    const std::pair<const char*, std::string> files[] = {
        {"file", "x"},
        {"junk.fxb", "junk"},
        {"other.fxb", fxFile("FBCh", 0x41424344, x)},
        {"list.fxb", fxFile("FxBk", kBrakkaId, x)},
        {"kind.fxb", fxFile("ABCD", kBrakkaId, x)},
        {"head.fxb", fxFile("FBCh", kBrakkaId, "").substr(0, 100)},
        {"short.fxb", fxFile("FBCh", kBrakkaId, x, 65)},
        {"empty.fxb", fxFile("FBCh", kBrakkaId, "")},
        {"bank.fxb", fxFile("FBCh", kBrakkaId, x)},
    };
    for (const auto& [name, bytes] : files)
        writeText(dir.file(name), bytes);
    const Args before = dir.entries();
    const std::tuple<Args, int, const char*> cases[] = {
        {{"--bogus"}, 2, ""},
        {{"--program", "0"}, 2, "program"},
        {{"--program", "49"}, 2, "program"}, // the bank has 48
        {{"--pattern", "17"}, 2, "--pattern"},
        {{"--song", "1x2,17"}, 2, "--song"},
        {{"--song", "1x2", "--bars", "3"}, 2, "cannot be combined"},
        {{"--tempo", "300", "--sync", "internal"}, 2, "--tempo"},
        {{"--rate", "100"}, 2, "--rate"},
        {{"--block", "0"}, 2, "--block"},
        {{"--set", "263=0.5"}, 2, "--set"},
        {{"--set", "5=1.5"}, 2, "--set"},
        {{"--out"}, 2, "--out"},
        {{"--plugin", dir.file("junk.fxb")}, 1, "junk.fxb"},
        {{"--out", dir.file("missing/out.wav")}, 1, "cannot write"},
        {{"--out", dir.path}, 1, "cannot write"},
        {{"--stems", "--midi", dir.file("file/out.mid")}, 1, "cannot write"},
        {{"--bank", dir.file("missing.fxb")}, 1, "cannot open"},
        {{"--bank", dir.file("junk.fxb")}, 1, "not a VST program or bank file"},
        {{"--bank", dir.file("other.fxb")}, 1, "another plug-in"},
        {{"--bank", dir.file("list.fxb")}, 1, "parameter list"},
        {{"--bank", dir.file("kind.fxb")}, 1, "unknown kind"},
        {{"--bank", dir.file("head.fxb")}, 1, "too short"},
        {{"--bank", dir.file("short.fxb")}, 1, "(65 bytes) does not fit"},
        {{"--bank", dir.file("empty.fxb")}, 1, "(0 bytes) does not fit"},
        {{"--preset", dir.file("bank.fxb")}, 1, "is a bank file"},
    };
    for (const auto& [args, status, message] : cases) {
        const Args out = args[0] == "--out" ? args : join({"--out", dir.file("o.wav")}, args);
        const RunResult r = args[0] == "--plugin" ? runProgram(join({BRAKKA_RENDER}, out), dir.path)
                                                  : runRender(out, dir.path);
        EXPECT_EQ(r.status, status) << testing::PrintToString(args) << r.err;
        EXPECT_EQ(r.err.rfind("brakka-render: ", 0), 0u) << testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << testing::PrintToString(args) << r.err;
        EXPECT_EQ(dir.entries(), before) << testing::PrintToString(args);
    }
}

TEST(RenderFailures, AnInterruptedRenderLeavesNothingBehind) {
    TempFolder dir;
    const pid_t pid = startProgram({BRAKKA_RENDER, "--plugin", BRAKKA_PLUGIN, "--bars", "20000",
                                    "--stems", "--midi", "long.mid"},
                                   dir.path);
    ASSERT_GT(pid, 0);
    // Wait until it writes, then interrupt it as Ctrl+C would.
    bool writing = false;
    for (int i = 0; i < 500 && !writing; ++i) {
        for (const std::string& name : dir.entries())
            writing = writing || name.find(".part-") != std::string::npos;
        if (!writing) usleep(10000);
    }
    EXPECT_TRUE(writing);
    kill(pid, SIGINT);
    const RunResult r = finishProgram(pid, dir.path);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(dir.entries().empty());
}

// Pattern 1 kick, 2 clap, 3 cowbell on every quarter note; pattern 2 is "2 x 16" in the last two
// cases, so entering on an odd bar it plays its second half only and the song goes on at the
// next even bar. The MIDI the plug-in sent, read back by mido, tells which pattern played when.
TEST(Render, SongSwitchesLandExactlyOnTheBarLines) {
    Args setup =
        join(join(join(neutralMixer(), quarterNotePattern(1, {0})), quarterNotePattern(3, {11})),
             quarterNotePattern(2, {10}));
    set(setup, kOutputTag + 10, 0.2); // the clap on bus B
    struct Case {
        Args args;
        std::vector<int> barNotes; // the note of each bar
        double tempo, rate;
        long usPerQuarter;
    };
    const Args song = {"--song", "1x2,2x1,3x2,1x1"}, twoBars = setting(kStepSizeTag, 0.25);
    const Case cases[] = {
        {join(song, {"--sync", "internal"}), {36, 36, 39, 51, 51, 36}, 120, 44100, 500000},
        {join(song, {"--sync", "host", "--tempo", "97.5", "--rate", "48000"}),
         {36, 36, 39, 51, 51, 36},
         97.5,
         48000,
         615385},
        {join({"--song", "1x1,2x1,1x1"}, twoBars), {36, 39, 36}, 120, 44100, 500000},
        {join({"--song", "1x2,2x1,1x1"}, twoBars), {36, 36, 39, 39, 36}, 120, 44100, 500000},
    };
    for (const Case& c : cases) {
        const std::string what = testing::PrintToString(c.args);
        TempFolder dir;
        const RunResult r = runRender(
            join(join(setup, c.args), {"--midi", "s.mid", "--out", "s.wav", "--stems"}), dir.path);
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("s.mid"));
        EXPECT_EQ(midi.format * 1000 + midi.ticks, 480);
        EXPECT_EQ(midi.tempo, c.usPerQuarter) << what;
        EXPECT_EQ(midi.timeSig, 44);
        EXPECT_GE(midi.end, (long)c.barNotes.size() * 1920);
        // Note-ons on the quarters at full velocity, each note-off a thirty-second (60 ticks)
        // later with velocity 64.
        for (const MidiNote& n : midi.notes)
            EXPECT_EQ(n.on() ? 60064 : n.tick % 480 * 1000 - n.velocity, 60064) << what;
        ASSERT_EQ(midi.ons.size(), 4 * c.barNotes.size()) << what;
        for (size_t i = 0; i < midi.ons.size(); ++i)
            EXPECT_EQ(midi.ons[i].tick * 1000 + midi.ons[i].note * 1000000 + midi.ons[i].velocity,
                      (long)i * 480000 + c.barNotes[i / 4] * 1000000 + 127)
                << what << " note " << i;
        // The clap, routed to bus B, sounds from the bar line of its first bar on.
        const long clapBar =
            std::find(c.barNotes.begin(), c.barNotes.end(), 39) - c.barNotes.begin();
        const int64_t barLine = std::llround(clapBar * 240.0 / c.tempo * c.rate);
        const int64_t clap = firstSound(readWav(dir.file("s-B.wav")));
        EXPECT_GE(clap, barLine - 1) << what;
        EXPECT_LE(clap, barLine + 2) << what;
    }
}

// Kick routed to bus C, clap on bus A: stem C is the kick alone, stem A the clap alone, and the
// other buses are silent. "Alone" is checked against renders with the other voice muted. The
// tail lets the last sound decay: the mix ends with 50 ms below -90 dBFS. (The same command
// writes the same bytes: tools_render_checksum.)
TEST(Render, EachStemCarriesExactlyTheVoicesRoutedToItsBus) {
    TempFolder dir;
    Args setup = join(join(neutralMixer(), quarterNotePattern(1, {0, 10})),
                      {"--bars", "2", "--stems", "--float"});
    set(setup, kOutputTag, 0.45);
    for (const Args& run : std::vector<Args>{{"--out", "both.wav"},
                                             join({"--out", "kick.wav"}, setting(kMuteTag + 10, 1)),
                                             join({"--out", "clap.wav"}, setting(kMuteTag, 1))})
        ASSERT_EQ(runRender(join(setup, run), dir.path).status, 0) << run[1];
    const Wav a = readWav(dir.file("both-A.wav")), c = readWav(dir.file("both-C.wav"));
    EXPECT_EQ(a.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    for (const char* silent : {"both-B.wav", "both-F.wav", "kick-A.wav", "clap-C.wav"})
        EXPECT_EQ(firstSound(readWav(dir.file(silent))), -1) << silent;
    // The renders stop at different points of their tails; the common part must be identical.
    auto samePrefix = [](const Wav& x, const Wav& y) {
        const size_t n = std::min(x.samples.size(), y.samples.size());
        return n > 0 && firstSound(x) >= 0 &&
               std::equal(x.samples.begin(), x.samples.begin() + (long)n, y.samples.begin());
    };
    EXPECT_TRUE(samePrefix(c, readWav(dir.file("kick-C.wav"))));
    EXPECT_TRUE(samePrefix(a, readWav(dir.file("clap-A.wav"))));
    EXPECT_TRUE(slurp(dir.file("both.wav")) == slurp(dir.file("both-A.wav"))); // bus A
    EXPECT_EQ(dir.entries().size(), 3 * 7u); // the mix and six stems of each, nothing else
    const Wav mix = readWav(dir.file("both.wav"));
    EXPECT_GT(mix.frames(), 2 * 88200);
    ASSERT_GT(mix.samples.size(), 4410u);
    for (size_t i = mix.samples.size() - 4410; i < mix.samples.size(); ++i)
        ASSERT_LT(std::fabs(mix.samples[i]), 3.2e-5f) << i;
}

TEST(Render, ProgramAndBankFilesReachThePlugInAndItsPatternsAreListed) {
    TempFolder dir;
    const std::string chunk = programChunk();
    writeText(dir.file("q.fxp"), fxFile("FPCh", kBrakkaId, chunk));
    std::string bank;
    for (int i = 0; i < kNumPrograms; ++i)
        bank += chunk;
    writeText(dir.file("q.fxb"), fxFile("FBCh", kBrakkaId, bank));
    for (const Args& load : std::vector<Args>{{"--preset", "q.fxp", "--program", "7"},
                                              {"--bank", "q.fxb", "--program", "5"}}) {
        const RunResult r = runRender(
            join(load, {"--song", "1x1,2x1", "--midi", "q.mid", "--out", "q.wav"}), dir.path);
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("q.mid"));
        ASSERT_EQ(midi.ons.size(), 8u) << load[0];
        for (size_t i = 0; i < midi.ons.size(); ++i)
            EXPECT_EQ(midi.ons[i].tick * 1000 + midi.ons[i].note,
                      (long)i * 480000 + (i < 4 ? 36 : 51))
                << load[0];
    }
    const RunResult list = runRender({"--list", "--bank", "q.fxb", "--program", "5"}, dir.path);
    ASSERT_EQ(list.status, 0) << list.err;
    const size_t at = list.out.find("\n  02  ");
    ASSERT_NE(at, std::string::npos) << list.out;
    const std::string second = list.out.substr(at, list.out.find('\n', at + 1) - at);
    for (const char* part : {"1 x 32", "Cowbell", "4 notes"})
        EXPECT_NE(second.find(part), std::string::npos) << list.out;
}

TEST(Install, PutsThePlugInAndTheBankWhereHostsLookAndIsIdempotent) {
    TempFolder dir; // a build folder of our own, with a factory bank, and a renderer alone
    ASSERT_EQ(runProgram({"sh", "-c",
                          "mkdir -p build/resources bin && cp \"$0\" build/Brakka.so && cp \"$1\" "
                          "bin/ && echo bank >build/resources/BrakkaFactoryPresets.fxb",
                          BRAKKA_PLUGIN, BRAKKA_RENDER},
                         dir.path)
                  .status,
              0);
    const std::string vst = dir.file("vst"), render = dir.file("bin/brakka-render");
    const Args install = {"env", "VST_PATH=" + vst + ":" + dir.file("other"), INSTALL_SCRIPT,
                          dir.file("build")};
    RunResult r = runProgram(install, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(slurp(vst + "/Brakka.so") == slurp(BRAKKA_PLUGIN));
    EXPECT_EQ(slurp(vst + "/Brakka Factory.fxb"), "bank\n");
    EXPECT_FALSE(fs::exists(dir.file("other")));
    r = runProgram(install, dir.path);
    EXPECT_NE(r.out.find("up to date: " + vst + "/Brakka.so"), std::string::npos) << r.out;

    // The renderer finds the installed plug-in through the same VST_PATH and writes its demo
    // file: a stereo 24-bit bar at 44.1 kHz. Or it finds the one beside itself; or none.
    r = runProgram({"env", "VST_PATH=" + vst, render, "--bars", "1"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    const Wav wav = readWav(dir.file("brakka-demo.wav"));
    EXPECT_EQ(wav.rate * 10 + wav.channels, 441002);
    EXPECT_EQ(wav.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    EXPECT_GE(wav.frames(), 88200);
    EXPECT_EQ(runProgram({BRAKKA_RENDER, "--bars", "1", "--out", "b.wav"}, dir.path).status, 0);
    r = runProgram({"env", "HOME=" + dir.file("bin"), "VST_PATH=", render}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no plug-in found"), std::string::npos) << r.err;
    // Without VST_PATH it installs in ~/.vst; without a build there is nothing to install.
    r = runProgram({"env", "HOME=" + dir.path, "VST_PATH=", INSTALL_SCRIPT, dir.file("build")},
                   dir.path);
    EXPECT_TRUE(r.status == 0 && fs::exists(dir.file(".vst/Brakka.so"))) << r.err;
    r = runProgram({"env", "VST_PATH=" + vst, INSTALL_SCRIPT, dir.file("nothing")}, dir.path);
    EXPECT_EQ(r.status, 1);
}
