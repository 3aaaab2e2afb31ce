// brakka-render as users run it: options and failures, determinism, songs switched by pattern
// notes, stems per output bus, program and bank files, and the MIDI file read back by another
// reader (mido); and the installer.
#include "render_cli.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace render_test;

namespace {

using Args = std::vector<std::string>;

Args join(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

template <typename T>
void put(std::string& s, T v, bool bigEndian = true) {
    for (size_t i = 0; i < sizeof v; ++i)
        s.push_back(((const char*)&v)[bigEndian ? sizeof v - 1 - i : i]);
}

const uint32_t kBrakkaId = 0x5A55626B; // 'ZUbk'

// A program (FPCh) or bank (FBCh) file with the given plug-in ID and chunk.
std::string fxFile(bool bank, uint32_t pluginId, const std::string& chunk) {
    std::string s = "CcnK";
    put<uint32_t>(s, (uint32_t)((bank ? 152 : 52) + chunk.size()));
    s += bank ? "FBCh" : "FPCh";
    for (uint32_t v : {1u, pluginId, 1u, bank ? 48u : 1u})
        put(s, v);
    s.append(bank ? 128 : 28, '\0');
    put<uint32_t>(s, (uint32_t)chunk.size());
    return s + chunk;
}

// A program chunk in the plug-in's layout: pattern 1 plays the kick and pattern 2 the cowbell on
// every quarter note (steps 0, 8, 16, 24 of "1 x 32") at full velocity; no random notes.
std::string programChunk() {
    std::string s;
    put<int32_t>(s, 100, false);
    s.append("Quarters").append(16, '\0');
    for (int tag = 0; tag < 263; ++tag) // levels 0 dB, pans centred, selected beats 100 %
        put(s,
            tag >= 118 && tag <= 129   ? 1.0f
            : tag >= 130 && tag <= 141 ? 0.5f
            : tag >= 178 && tag <= 189 ? 1.0f
                                       : 0.0f,
            false);
    for (int p = 0; p < 16; ++p) {
        const int playing = p == 0 ? 0 : (p == 1 ? 11 : -1);
        for (int v = 0; v < 12; ++v)
            for (int step = 0; step < 32; ++step)
                s.push_back(v == playing && step % 8 == 0 ? (char)255 : 0);
        for (int i = 0; i < 12 * 32; ++i)
            put(s, 1.0f, false);     // velocities
        s.append(12 + 13 * 4, '\0'); // velocity rows kept, no modulated tags or rows
    }
    for (int p = 0; p < 16; ++p) { // the per-pattern values: 108, 178..225, 250..261
        put(s, 0.0f, false);       // "1 x 32"
        for (int t = 178; t <= 225; ++t)
            put(s, t <= 189 ? 1.0f : (t >= 202 && t <= 213 ? 2.0f / 6.0f : 0.0f), false);
        s.append(12 * 4, '\0');
    }
    return s;
}

std::string shown(const Args& args) {
    std::string s;
    for (const auto& a : args)
        s += a + " ";
    return s;
}

// The note-ons of a MIDI file as mido reads it.
std::vector<MidiNote> noteOns(const MidiDump& midi) {
    std::vector<MidiNote> ons;
    for (const MidiNote& n : midi.notes)
        if (n.on) ons.push_back(n);
    return ons;
}

} // namespace

TEST(RenderOptions, HelpAndBadArguments) {
    TempFolder dir;
    const RunResult help = runRender({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--stems"), std::string::npos);
    // Each exits 2 with a message, and writes nothing.
    for (const Args& args : std::vector<Args>{{"--bogus"},
                                              {"--program", "0"},
                                              {"--program", "49"}, // the bank has 48
                                              {"--pattern", "17"},
                                              {"--song", "1x2,17"},
                                              {"--song", "1x2", "--bars", "3"},
                                              {"--tempo", "300", "--sync", "internal"},
                                              {"--rate", "100"},
                                              {"--block", "0"},
                                              {"--set", "263=0.5"},
                                              {"--set", "5=1.5"},
                                              {"--out"}}) {
        const RunResult r = runRender(args, dir.path());
        EXPECT_EQ(r.status, 2) << shown(args) << r.err;
        EXPECT_EQ(r.err.rfind("brakka-render: ", 0), 0u) << shown(args) << r.err;
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(RenderFailures, FailuresExitOneAndLeaveNothingBehind) {
    TempFolder dir;
    writeText(dir.file("file"), "x");
    writeText(dir.file("junk.fxb"), "junk");
    writeText(dir.file("other.fxb"), fxFile(true, 0x41424344, std::string(64, 'x')));
    std::string truncated = fxFile(true, kBrakkaId, std::string(64, 'x'));
    truncated.resize(truncated.size() - 10);
    writeText(dir.file("short.fxb"), truncated);
    writeText(dir.file("bank.fxb"), fxFile(true, kBrakkaId, std::string(64, 'x')));
    const std::vector<std::string> before = dir.entries();
    const std::pair<Args, const char*> cases[] = {
        {{"--plugin", dir.file("junk.fxb")}, "junk.fxb"},
        {{"--out", dir.file("missing/out.wav")}, "cannot write"},
        {{"--out", dir.path()}, "cannot write"},
        {{"--stems", "--midi", dir.file("file/out.mid")}, "cannot write"},
        {{"--bank", dir.file("missing.fxb")}, "cannot open"},
        {{"--bank", dir.file("junk.fxb")}, "not a VST program or bank file"},
        {{"--bank", dir.file("other.fxb")}, "another plug-in"},
        {{"--bank", dir.file("short.fxb")}, "chunk size"},
        {{"--preset", dir.file("bank.fxb")}, "is a bank file"},
    };
    for (const auto& [args, message] : cases) {
        const Args out = {"--out", dir.file("o.wav")};
        const RunResult r =
            args[0] == "--plugin"
                ? runProgram(join(join({BRAKKA_RENDER}, args), out), dir.path())
                : runRender(args[0] == "--out" ? args : join(out, args), dir.path());
        EXPECT_EQ(r.status, 1) << shown(args) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), before) << shown(args);
    }
}

TEST(RenderFailures, AnInterruptedRenderLeavesNothingBehind) {
    TempFolder dir;
    const int pid = startProgram({BRAKKA_RENDER, "--plugin", BRAKKA_PLUGIN, "--bars", "20000",
                                  "--stems", "--midi", "long.mid"},
                                 dir.path());
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
    const RunResult r = finishProgram(pid, dir.path());
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(dir.entries().empty());
}

TEST(Render, TheSameCommandWritesTheSameBytes) {
    const Args setup = join(join(neutralMixer(), quarterNotePattern(1, {0, 6, 10})),
                            {"--set", "238=1", "--set", "244=1", "--set", "196=0.3"});
    for (const char* sync : {"host", "internal"}) {
        TempFolder dir;
        std::vector<std::vector<uint8_t>> first;
        const Args names = {"a.wav", "a-A.wav", "a-C.wav", "a-F.wav", "a.mid"};
        for (int run = 0; run < 2; ++run) {
            const RunResult r = runRender(join(setup, {"--sync", sync, "--bars", "3", "--stems",
                                                       "--out", "a.wav", "--midi", "a.mid"}),
                                          dir.path());
            ASSERT_EQ(r.status, 0) << r.err;
            for (size_t i = 0; i < names.size(); ++i) {
                const auto bytes = readBytes(dir.file(names[i]));
                ASSERT_FALSE(bytes.empty()) << names[i];
                if (run == 0) first.push_back(bytes);
                EXPECT_TRUE(bytes == first[i]) << sync << " " << names[i];
            }
        }
        EXPECT_EQ(dir.entries().size(), 8u); // six stems, the mix and the MIDI file, nothing else
    }
}

// Pattern 1 kick, 2 clap, 3 cowbell on every quarter note; pattern 2 is "2 x 16" in the last two
// cases, so entering on an odd bar it plays its second half only and the song goes on at the
// next even bar. The MIDI the plug-in sent, read back by mido, tells which pattern played when.
TEST(Render, SongSwitchesLandExactlyOnTheBarLines) {
    const Args setup =
        join(join(join(neutralMixer(), quarterNotePattern(1, {0})), quarterNotePattern(3, {11})),
             quarterNotePattern(2, {10}));
    struct Case {
        Args args;
        std::vector<int> barNotes; // the note of each bar
        double tempo, rate;
        long usPerQuarter;
    };
    const Args song = {"--song", "1x2,2x1,3x2,1x1"};
    const Case cases[] = {
        {join(song, {"--sync", "internal"}), {36, 36, 39, 51, 51, 36}, 120, 44100, 500000},
        {join(song, {"--sync", "host", "--tempo", "97.5", "--rate", "48000"}),
         {36, 36, 39, 51, 51, 36},
         97.5,
         48000,
         615385},
        {{"--song", "1x1,2x1,1x1", "--set", "108=0.25"}, {36, 39, 36}, 120, 44100, 500000},
        {{"--song", "1x2,2x1,1x1", "--set", "108=0.25"}, {36, 36, 39, 39, 36}, 120, 44100, 500000},
    };
    for (const Case& c : cases) {
        const std::string what = shown(c.args);
        TempFolder dir;
        const RunResult r =
            runRender(join(join(setup, c.args),
                           {"--midi", "s.mid", "--out", "s.wav", "--set", "152=0.2", "--stems"}),
                      dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("s.mid"));
        ASSERT_TRUE(midi.ok) << midi.error;
        EXPECT_EQ(midi.format * 1000 + midi.ticks, 480);
        EXPECT_EQ(midi.tempo, c.usPerQuarter) << what;
        EXPECT_EQ(midi.timeSigNumerator * 10 + midi.timeSigDenominator, 44);
        EXPECT_GE(midi.end, (long)c.barNotes.size() * 1920);
        // Note-ons on the quarters at full velocity, each note-off a thirty-second (60 ticks)
        // later with velocity 64.
        for (const MidiNote& n : midi.notes)
            EXPECT_EQ(n.on ? 60064 : n.tick % 480 * 1000 + n.velocity, 60064) << what;
        const std::vector<MidiNote> ons = noteOns(midi);
        ASSERT_EQ(ons.size(), 4 * c.barNotes.size()) << what;
        for (size_t i = 0; i < ons.size(); ++i)
            EXPECT_EQ(ons[i].tick * 1000 + ons[i].note * 1000000 + ons[i].velocity,
                      (long)i * 480000 + c.barNotes[i / 4] * 1000000 + 127)
                << what << " note " << i;
        // The clap, routed to bus B, sounds from the bar line of its first bar on.
        const long clapBar =
            std::find(c.barNotes.begin(), c.barNotes.end(), 39) - c.barNotes.begin();
        const int64_t barLine = std::llround(clapBar * 240.0 / c.tempo * c.rate);
        Wav stemB;
        ASSERT_TRUE(readWav(dir.file("s-B.wav"), stemB));
        EXPECT_GE(firstSound(stemB), barLine - 1) << what;
        EXPECT_LE(firstSound(stemB), barLine + 2) << what;
    }
}

// Kick routed to bus C, clap on bus A: stem C is the kick alone, stem A the clap alone, and the
// other buses are silent. "Alone" is checked against renders with the other voice muted.
TEST(Render, EachStemCarriesExactlyTheVoicesRoutedToItsBus) {
    TempFolder dir;
    const Args setup = join(join(neutralMixer(), quarterNotePattern(1, {0, 10})),
                            {"--set", "142=0.45", "--bars", "2", "--stems", "--float"});
    for (const Args& run : std::vector<Args>{{"--out", "both.wav"},
                                             {"--out", "kick.wav", "--set", "164=1"},
                                             {"--out", "clap.wav", "--set", "154=1"}})
        ASSERT_EQ(runRender(join(setup, run), dir.path()).status, 0) << run[1];
    auto read = [&](const char* name) {
        Wav w;
        EXPECT_TRUE(readWav(dir.file(name), w)) << name;
        return w;
    };
    const Wav a = read("both-A.wav"), c = read("both-C.wav");
    EXPECT_EQ(a.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    for (const char* silent : {"both-B.wav", "both-F.wav", "kick-A.wav", "clap-C.wav"})
        EXPECT_EQ(firstSound(read(silent)), -1) << silent;
    // The renders stop at different points of their tails; the common part must be identical.
    auto samePrefix = [](const Wav& x, const Wav& y) {
        const size_t n = std::min(x.samples.size(), y.samples.size());
        return n > 0 && firstSound(x) >= 0 &&
               std::equal(x.samples.begin(), x.samples.begin() + (long)n, y.samples.begin());
    };
    EXPECT_TRUE(samePrefix(c, read("kick-C.wav")));
    EXPECT_TRUE(samePrefix(a, read("clap-A.wav")));
    EXPECT_TRUE(readBytes(dir.file("both.wav")) == readBytes(dir.file("both-A.wav"))); // bus A
}

TEST(Render, TheTailLetsTheLastSoundDecay) {
    TempFolder dir;
    // The cymbal, at full noise and ding level with a decay of about two seconds, rings well
    // beyond the bar of its last hit, and the file ends with 50 ms below -90 dBFS.
    const RunResult r = runRender(join(join(neutralMixer(), quarterNotePattern(1, {8})),
                                       {"--set", "94=1", "--set", "95=1", "--set", "99=0.5",
                                        "--bars", "1", "--float", "--out", "t.wav"}),
                                  dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    Wav w;
    ASSERT_TRUE(readWav(dir.file("t.wav"), w));
    EXPECT_GT(w.frames(), 88200 + 44100);
    EXPECT_LE(w.frames(), 88200 + 10 * 44100 + 512);
    ASSERT_GT(w.samples.size(), 4410u);
    for (size_t i = w.samples.size() - 4410; i < w.samples.size(); ++i)
        ASSERT_LT(std::fabs(w.samples[i]), 3.2e-5f) << i;
}

TEST(Render, ListShowsProgramsAndTheVoicesOfEachPattern) {
    TempFolder dir;
    const RunResult all = runRender({"--list"}, dir.path());
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("\n  48  "), std::string::npos) << all.out;
    const Args args = join(neutralMixer(), quarterNotePattern(2, {10, 11}));
    const RunResult one = runRender(join(args, {"--list", "--program", "1"}), dir.path());
    ASSERT_EQ(one.status, 0) << one.err;
    const size_t at = one.out.find("\n  02  ");
    ASSERT_NE(at, std::string::npos) << one.out;
    const std::string second = one.out.substr(at, one.out.find('\n', at + 1) - at);
    for (const char* part : {"1 x 32", "Clap, Cowbell", "8 notes"})
        EXPECT_NE(second.find(part), std::string::npos) << one.out;
    EXPECT_TRUE(dir.entries().empty());
}

TEST(Render, ProgramAndBankFilesReachThePlugIn) {
    TempFolder dir;
    const std::string chunk = programChunk();
    writeText(dir.file("q.fxp"), fxFile(false, kBrakkaId, chunk));
    std::string bank;
    for (int i = 0; i < 48; ++i)
        bank += chunk;
    writeText(dir.file("q.fxb"), fxFile(true, kBrakkaId, bank));
    for (const Args& load : std::vector<Args>{{"--preset", "q.fxp", "--program", "7"},
                                              {"--bank", "q.fxb", "--program", "5"}}) {
        const RunResult r = runRender(
            join(load, {"--song", "1x1,2x1", "--midi", "q.mid", "--out", "q.wav"}), dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("q.mid"));
        ASSERT_TRUE(midi.ok) << midi.error;
        const std::vector<MidiNote> ons = noteOns(midi);
        ASSERT_EQ(ons.size(), 8u) << load[0];
        for (size_t i = 0; i < ons.size(); ++i)
            EXPECT_EQ(ons[i].tick * 1000 + ons[i].note, (long)i * 480000 + (i < 4 ? 36 : 51))
                << load[0];
    }
}

TEST(Install, PutsThePlugInAndTheBankWhereHostsLookAndIsIdempotent) {
    TempFolder dir;
    // A build folder of our own, with a factory bank.
    ASSERT_EQ(runProgram({"mkdir", "-p", "build/resources", "bin"}, dir.path()).status, 0);
    ASSERT_EQ(runProgram({"cp", BRAKKA_PLUGIN, "build/Brakka.so"}, dir.path()).status, 0);
    ASSERT_EQ(runProgram({"cp", BRAKKA_RENDER, "bin/"}, dir.path()).status, 0);
    writeText(dir.file("build/resources/BrakkaFactoryPresets.fxb"), "bank bytes");

    const std::string vst = dir.file("vst");
    const Args install = {"env", "VST_PATH=" + vst + ":" + dir.file("other"), INSTALL_SCRIPT,
                          dir.file("build")};
    RunResult r = runProgram(install, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readBytes(vst + "/Brakka.so") == readBytes(BRAKKA_PLUGIN));
    EXPECT_EQ(readBytes(vst + "/Brakka Factory.fxb"),
              readBytes(dir.file("build/resources/BrakkaFactoryPresets.fxb")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("other")));
    r = runProgram(install, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("up to date: " + vst + "/Brakka.so"), std::string::npos) << r.out;

    // A renderer without a plug-in beside it finds the installed one through the same VST_PATH,
    // and writes its demo file: a stereo 24-bit bar at 44.1 kHz.
    const std::string render = dir.file("bin/brakka-render");
    r = runProgram({"env", "VST_PATH=" + vst, render, "--bars", "1"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    Wav wav;
    ASSERT_TRUE(readWav(dir.file("brakka-demo.wav"), wav));
    EXPECT_EQ(wav.rate * 10 + wav.channels, 441002);
    EXPECT_EQ(wav.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    EXPECT_GE(wav.frames(), 88200);
    r = runProgram({BRAKKA_RENDER, "--bars", "1", "--out", "beside.wav"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err; // the plug-in beside the program
    r = runProgram({"env", "HOME=" + dir.file("bin"), "VST_PATH=", render}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no plug-in found"), std::string::npos) << r.err;

    r = runProgram({"env", "HOME=" + dir.path(), "VST_PATH=", INSTALL_SCRIPT, dir.file("build")},
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file(".vst/Brakka.so")));
    // Without a build there is nothing to install.
    r = runProgram({"env", "VST_PATH=" + vst, INSTALL_SCRIPT, dir.file("nothing")}, dir.path());
    EXPECT_EQ(r.status, 1);
}
