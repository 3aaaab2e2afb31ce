// brakka-render as users run it: options and failures, determinism, songs switched by pattern
// notes, stems per output bus, and the MIDI file read back by another reader (mido).
#include "render_cli.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace render_test;

namespace {

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void putBE32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back((char)(v >> shift));
}

// A bank file (FBCh) with the given plug-in ID and chunk.
std::string bankFile(uint32_t pluginId, const std::string& chunk) {
    std::string s = "CcnK";
    putBE32(s, (uint32_t)(160 - 8 + chunk.size()));
    s += "FBCh";
    putBE32(s, 1);
    putBE32(s, pluginId);
    putBE32(s, 1);
    putBE32(s, 48);
    s.append(128, '\0');
    putBE32(s, (uint32_t)chunk.size());
    return s + chunk;
}

const uint32_t kBrakkaId = 0x5A55626B; // 'ZUbk'
const long kBar = 1920;                // MIDI ticks of a 4/4 bar at 480 per quarter note

} // namespace

// ---- options and failures -------------------------------------------------------------------

TEST(RenderOptions, HelpExitsZeroAndNamesEveryOption) {
    TempFolder dir;
    const RunResult r = runRender({"--help"}, dir.path());
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--plugin", "--program", "--pattern", "--bars", "--song", "--tempo",
                               "--rate", "--block", "--sync", "--out", "--stems", "--float",
                               "--midi", "--bank", "--preset", "--set", "--list", "--help"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    EXPECT_TRUE(dir.entries().empty());
}

TEST(RenderOptions, BadArgumentsExitTwoWithAMessageAndNoFiles) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--program", "0"},
        {"--program", "49"}, // found out after loading: the bank has 48
        {"--program", "two"},
        {"--pattern", "17"},
        {"--bars", "0"},
        {"--song", "1x2,17"},
        {"--song", "1x"},
        {"--song", "1x2;2x2"},
        {"--song", "0x1"},
        {"--song", ""},
        {"--song", "1x2", "--bars", "3"},
        {"--tempo", "fast"},
        {"--tempo", "300", "--sync", "internal"},
        {"--sync", "midi"},
        {"--rate", "100"},
        {"--block", "0"},
        {"--set", "263=0.5"},
        {"--set", "5=1.5"},
        {"--set", "5"},
        {"--stems=yes"},
        {"--out"},
    };
    for (const auto& args : cases) {
        TempFolder dir;
        const RunResult r = runRender(args, dir.path());
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(r.status, 2) << shown << r.err;
        EXPECT_EQ(r.err.rfind("brakka-render: ", 0), 0u) << shown << r.err;
        EXPECT_TRUE(dir.entries().empty()) << shown;
    }
}

TEST(RenderFailures, APlugInThatWillNotLoadExitsOne) {
    TempFolder dir;
    writeText(dir.file("text.so"), "not a shared object");
    for (const std::string& plugin : {dir.file("missing.so"), dir.file("text.so"), dir.path()}) {
        const RunResult r = runProgram({BRAKKA_RENDER, "--plugin", plugin}, dir.path());
        EXPECT_EQ(r.status, 1) << plugin;
        EXPECT_NE(r.err.find(plugin), std::string::npos) << r.err;
        EXPECT_FALSE(exists(dir.file("brakka-demo.wav")));
    }
}

TEST(RenderFailures, UnwritableTargetsLeaveNothingBehind) {
    TempFolder dir;
    writeText(dir.file("file"), "x");
    const std::vector<std::vector<std::string>> cases = {
        {"--out", dir.file("missing/out.wav")},
        {"--out", dir.file("file/out.wav")},
        {"--out", dir.path()},
        {"--out", dir.file("out.wav"), "--midi", dir.file("missing/out.mid")},
        {"--out", dir.file("out.wav"), "--stems", "--midi", dir.file("file/out.mid")},
    };
    for (const auto& args : cases) {
        const RunResult r = runRender(args, dir.path());
        EXPECT_EQ(r.status, 1) << args[1] << r.err;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"}) << args[1];
    }
}

TEST(RenderFailures, BankAndProgramFilesAreChecked) {
    TempFolder dir;
    writeText(dir.file("junk.fxb"), "junk");
    writeText(dir.file("other.fxb"), bankFile(0x41424344, std::string(64, 'x')));
    std::string truncated = bankFile(kBrakkaId, std::string(64, 'x'));
    truncated.resize(truncated.size() - 10);
    writeText(dir.file("short.fxb"), truncated);
    writeText(dir.file("bank.fxb"), bankFile(kBrakkaId, std::string(64, 'x')));
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--bank", dir.file("missing.fxb")}, "cannot open"},
        {{"--bank", dir.file("junk.fxb")}, "not a VST program or bank file"},
        {{"--bank", dir.file("other.fxb")}, "another plug-in"},
        {{"--bank", dir.file("short.fxb")}, "chunk size"},
        {{"--preset", dir.file("bank.fxb")}, "is a bank file"},
    };
    for (const Case& c : cases) {
        const RunResult r = runRender(join(c.args, {"--out", dir.file("out.wav")}), dir.path());
        EXPECT_EQ(r.status, 1) << c.args[1];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(exists(dir.file("out.wav")));
    }
}

// ---- renders ---------------------------------------------------------------------------------

TEST(Render, DefaultsUseThePlugInBesideTheProgramAndWriteTheDemoFile) {
    TempFolder dir;
    const RunResult r = runProgram({BRAKKA_RENDER}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    Wav wav;
    ASSERT_TRUE(readWav(dir.file("brakka-demo.wav"), wav));
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    EXPECT_GE(wav.frames(), 4 * 88200); // four bars at 120 BPM
    EXPECT_NE(r.out.find("brakka-demo.wav"), std::string::npos);
}

TEST(Render, TheSameCommandWritesTheSameBytes) {
    const auto setup = join(join(neutralMixer(), quarterNotePattern(1, {0, 6, 10})),
                            {"--set", "238=1", "--set", "244=1", "--set", "196=0.3"});
    for (const char* sync : {"host", "internal"}) {
        TempFolder dir;
        std::vector<std::vector<uint8_t>> first;
        const std::vector<std::string> names = {"a.wav",   "a-A.wav", "a-B.wav", "a-C.wav",
                                                "a-D.wav", "a-E.wav", "a-F.wav", "a.mid"};
        for (int run = 0; run < 2; ++run) {
            const RunResult r = runRender(join(setup, {"--sync", sync, "--bars", "3", "--stems",
                                                       "--out", "a.wav", "--midi", "a.mid"}),
                                          dir.path());
            ASSERT_EQ(r.status, 0) << r.err;
            for (size_t i = 0; i < names.size(); ++i) {
                const auto bytes = readBytes(dir.file(names[i]));
                ASSERT_FALSE(bytes.empty()) << names[i];
                if (run == 0)
                    first.push_back(bytes);
                else
                    EXPECT_TRUE(bytes == first[i]) << sync << " " << names[i];
            }
        }
        EXPECT_EQ(dir.entries().size(), names.size()); // no temporary files left
    }
}

// Pattern 1 kick, 2 clap, 3 cowbell, each on every quarter note: the MIDI the plug-in sent
// tells which pattern played when.
TEST(Render, SongSwitchesLandExactlyOnTheBarLines) {
    const auto setup =
        join(join(join(neutralMixer(), quarterNotePattern(1, {0})), quarterNotePattern(2, {10})),
             quarterNotePattern(3, {11}));
    const int kNoteOf[4] = {0, 36, 39, 51};
    const int barPattern[] = {1, 1, 2, 3, 3, 1};
    for (const char* sync : {"host", "internal"}) {
        TempFolder dir;
        const RunResult r =
            runRender(join(setup, {"--sync", sync, "--song", "1x2,2x1,3x2,1x1", "--midi", "s.mid",
                                   "--out", "s.wav", "--set", "152=0.2", "--stems"}),
                      dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("s.mid"));
        ASSERT_TRUE(midi.ok) << midi.error;
        std::vector<MidiNote> ons;
        for (const MidiNote& n : midi.notes)
            if (n.on) ons.push_back(n);
        ASSERT_EQ(ons.size(), 24u) << sync; // six bars of quarter notes
        for (size_t i = 0; i < ons.size(); ++i) {
            EXPECT_EQ(ons[i].tick, (long)i * 480) << sync << " note " << i;
            EXPECT_EQ(ons[i].note, kNoteOf[barPattern[i / 4]]) << sync << " note " << i;
        }
        // The clap, routed to bus B, sounds from the bar line of bar 3 (sample 176400) on.
        Wav stemB;
        ASSERT_TRUE(readWav(dir.file("s-B.wav"), stemB));
        const int64_t onset = firstSound(stemB);
        EXPECT_GE(onset, 2 * 88200) << sync;
        EXPECT_LE(onset, 2 * 88200 + 2) << sync;
    }
}

TEST(Render, MidiFileHoldsTheNotesAndTimingThePlugInSent) {
    struct Case {
        const char* tempo;
        const char* rate;
        long usPerQuarter;
    };
    for (const Case& c : {Case{"120", "44100", 500000}, Case{"97.5", "48000", 615385}}) {
        TempFolder dir;
        const RunResult r = runRender(join(join(neutralMixer(), quarterNotePattern(4, {0, 8})),
                                           {"--pattern", "4", "--bars", "2", "--tempo", c.tempo,
                                            "--rate", c.rate, "--midi", "m.mid"}),
                                      dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("m.mid"));
        ASSERT_TRUE(midi.ok) << midi.error;
        EXPECT_EQ(midi.format, 0);
        EXPECT_EQ(midi.tracks, 1);
        EXPECT_EQ(midi.ticks, 480);
        EXPECT_EQ(midi.tempo, c.usPerQuarter);
        EXPECT_EQ(midi.timeSigNumerator, 4);
        EXPECT_EQ(midi.timeSigDenominator, 4);
        // Kick (36) and cymbal (49) on each quarter; each note-off a thirty-second (60 ticks)
        // after its note-on, with velocity 64.
        int ons = 0, offs = 0;
        for (const MidiNote& n : midi.notes) {
            EXPECT_TRUE(n.note == 36 || n.note == 49) << n.note;
            if (n.on) {
                EXPECT_EQ(n.tick % 480, 0) << n.tick;
                EXPECT_EQ(n.velocity, 127);
                ++ons;
            } else {
                EXPECT_EQ(n.tick % 480, 60) << n.tick;
                EXPECT_EQ(n.velocity, 64);
                ++offs;
            }
        }
        EXPECT_EQ(ons, 16) << c.tempo;
        EXPECT_EQ(offs, 16) << c.tempo;
        EXPECT_GE(midi.end, 2 * kBar);
    }
}

// Kick routed to bus C, clap on bus A: stem C is the kick alone, stem A the clap alone, and the
// other buses are silent. "Alone" is checked against renders with the other voice muted.
TEST(Render, EachStemCarriesExactlyTheVoicesRoutedToItsBus) {
    TempFolder dir;
    const auto setup = join(join(neutralMixer(), quarterNotePattern(1, {0, 10})),
                            {"--set", "142=0.45", "--bars", "2", "--stems", "--float"});
    auto render = [&](const std::string& name, const std::vector<std::string>& extra) {
        const RunResult r = runRender(join(join(setup, extra), {"--out", name}), dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
    };
    render("both.wav", {});
    render("kick.wav", {"--set", "164=1"}); // clap muted
    render("clap.wav", {"--set", "154=1"}); // kick muted

    Wav a, c;
    ASSERT_TRUE(readWav(dir.file("both-A.wav"), a));
    ASSERT_TRUE(readWav(dir.file("both-C.wav"), c));
    EXPECT_EQ(a.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_GE(firstSound(a), 0);
    EXPECT_GE(firstSound(c), 0);
    for (const char* silent :
         {"both-B.wav", "both-D.wav", "both-E.wav", "both-F.wav", "kick-A.wav", "clap-C.wav"}) {
        Wav w;
        ASSERT_TRUE(readWav(dir.file(silent), w));
        EXPECT_EQ(firstSound(w), -1) << silent;
    }
    Wav kickC, clapA;
    ASSERT_TRUE(readWav(dir.file("kick-C.wav"), kickC));
    ASSERT_TRUE(readWav(dir.file("clap-A.wav"), clapA));
    // The renders stop at different points of their tails; the common part must be identical.
    auto samePrefix = [](const Wav& x, const Wav& y) {
        const size_t n = std::min(x.samples.size(), y.samples.size());
        return n > 0 &&
               std::equal(x.samples.begin(), x.samples.begin() + (long)n, y.samples.begin());
    };
    EXPECT_TRUE(samePrefix(c, kickC));
    EXPECT_TRUE(samePrefix(a, clapA));
    // The main file is bus A.
    EXPECT_TRUE(readBytes(dir.file("both.wav")) == readBytes(dir.file("both-A.wav")));
}

TEST(Render, TheTailLetsTheLastSoundDecay) {
    TempFolder dir;
    // The cymbal, at full noise and ding level with a decay of about two seconds, rings well
    // beyond the bar of its last hit.
    const RunResult r = runRender(join(join(neutralMixer(), quarterNotePattern(1, {8})),
                                       {"--set", "94=1", "--set", "95=1", "--set", "99=0.5",
                                        "--bars", "1", "--float", "--out", "t.wav"}),
                                  dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    Wav w;
    ASSERT_TRUE(readWav(dir.file("t.wav"), w));
    EXPECT_GT(w.frames(), 88200 + 44100); // well beyond the bar
    EXPECT_LE(w.frames(), 88200 + 10 * 44100 + 512);
    // It ends with 50 ms below -90 dBFS.
    const size_t tail = 2205 * 2;
    ASSERT_GT(w.samples.size(), tail);
    for (size_t i = w.samples.size() - tail; i < w.samples.size(); ++i)
        ASSERT_LT(std::fabs(w.samples[i]), 3.2e-5f) << i;
}

TEST(Render, ListShowsProgramsAndTheVoicesOfEachPattern) {
    TempFolder dir;
    const RunResult all = runRender({"--list"}, dir.path());
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("\n  48  "), std::string::npos) << all.out;
    EXPECT_EQ(all.out.find("Patterns"), std::string::npos);

    auto args = join(neutralMixer(), quarterNotePattern(2, {10, 11}));
    args = join(args, quarterNotePattern(3, {}));
    args = join(args, {"--set", "108=0.25", "--list", "--program", "1"});
    const RunResult one = runRender(args, dir.path());
    ASSERT_EQ(one.status, 0) << one.err;
    const size_t line2 = one.out.find("\n  02  ");
    const size_t line3 = one.out.find("\n  03  ");
    ASSERT_NE(line2, std::string::npos) << one.out;
    ASSERT_NE(line3, std::string::npos) << one.out;
    const std::string second = one.out.substr(line2, one.out.find('\n', line2 + 1) - line2);
    const std::string third = one.out.substr(line3, one.out.find('\n', line3 + 1) - line3);
    EXPECT_NE(second.find("1 x 32"), std::string::npos) << second;
    EXPECT_NE(second.find("Clap, Cowbell"), std::string::npos) << second;
    EXPECT_NE(second.find("8 notes"), std::string::npos) << second;
    EXPECT_NE(third.find("2 x 16"), std::string::npos) << third;
    EXPECT_NE(third.find("2 bars"), std::string::npos) << third;
    EXPECT_TRUE(dir.entries().empty());
}

// ---- program and bank files the plug-in accepts ---------------------------------------------

namespace {

template <typename T>
void putNative(std::string& s, T v) {
    s.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// A program chunk in the plug-in's layout: pattern 1 plays the kick and pattern 2 the cowbell on
// every quarter note (steps 0, 8, 16, 24 of "1 x 32") at full velocity; no random notes.
std::string programChunk() {
    std::string s;
    putNative<int32_t>(s, 100);
    char name[24] = "Quarters";
    s.append(name, sizeof name);
    for (int tag = 0; tag < 263; ++tag) {
        float v = 0.0f;
        if (tag >= 118 && tag <= 129) v = 1.0f; // levels 0 dB
        if (tag >= 130 && tag <= 141) v = 0.5f; // pans centred
        if (tag >= 178 && tag <= 189) v = 1.0f; // selected beats 100 %
        putNative(s, v);
    }
    for (int p = 0; p < 16; ++p) {
        const int voice = p == 0 ? 0 : (p == 1 ? 11 : -1);
        for (int v = 0; v < 12; ++v)
            for (int step = 0; step < 32; ++step)
                s.push_back(v == voice && step % 8 == 0 ? (char)255 : 0);
        for (int v = 0; v < 12; ++v)
            for (int step = 0; step < 32; ++step)
                putNative(s, 1.0f);
        s.append(12, '\0'); // velocity rows not re-randomized
        for (int v = 0; v < 12; ++v)
            putNative<uint32_t>(s, 0); // no modulated tags
        putNative<uint32_t>(s, 0);     // no modulation rows
    }
    for (int p = 0; p < 16; ++p) {
        putNative(s, 0.0f); // 108: "1 x 32"
        for (int tag = 178; tag <= 225; ++tag)
            putNative(s, tag <= 189 ? 1.0f : (tag >= 202 && tag <= 213 ? 2.0f / 6.0f : 0.0f));
        for (int tag = 250; tag <= 261; ++tag)
            putNative(s, 0.0f);
    }
    return s;
}

std::string programFile(const std::string& chunk) {
    std::string s = "CcnK";
    putBE32(s, (uint32_t)(60 - 8 + chunk.size()));
    s += "FPCh";
    putBE32(s, 1);
    putBE32(s, kBrakkaId);
    putBE32(s, 1);
    putBE32(s, 1);
    char name[28] = "Quarters";
    s.append(name, sizeof name);
    putBE32(s, (uint32_t)chunk.size());
    return s + chunk;
}

} // namespace

TEST(Render, ProgramAndBankFilesReachThePlugIn) {
    TempFolder dir;
    const std::string chunk = programChunk();
    writeText(dir.file("q.fxp"), programFile(chunk));
    std::string bank;
    for (int i = 0; i < 48; ++i)
        bank += chunk;
    writeText(dir.file("q.fxb"), bankFile(kBrakkaId, bank));

    const std::vector<std::vector<std::string>> loads = {{"--preset", "q.fxp", "--program", "7"},
                                                         {"--bank", "q.fxb", "--program", "5"}};
    for (const auto& load : loads) {
        const RunResult r = runRender(
            join(load, {"--song", "1x1,2x1", "--midi", "q.mid", "--out", "q.wav"}), dir.path());
        if (r.status == 1 && r.err.find("did not accept") != std::string::npos)
            GTEST_SKIP() << "the plug-in does not take chunks yet: " << r.err;
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("q.mid"));
        ASSERT_TRUE(midi.ok) << midi.error;
        std::vector<MidiNote> ons;
        for (const MidiNote& n : midi.notes)
            if (n.on) ons.push_back(n);
        ASSERT_EQ(ons.size(), 8u) << load[0];
        for (size_t i = 0; i < ons.size(); ++i) {
            EXPECT_EQ(ons[i].tick, (long)i * 480) << load[0];
            EXPECT_EQ(ons[i].note, i < 4 ? 36 : 51) << load[0];
            EXPECT_EQ(ons[i].velocity, 127) << load[0];
        }
    }
}

// ---- installation ----------------------------------------------------------------------------

TEST(Install, PutsThePlugInAndTheBankWhereHostsLookAndIsIdempotent) {
    TempFolder dir;
    // A build folder of our own, with a factory bank.
    ASSERT_EQ(runProgram({"mkdir", "-p", "build/resources"}, dir.path()).status, 0);
    ASSERT_EQ(runProgram({"cp", BRAKKA_PLUGIN, "build/Brakka.so"}, dir.path()).status, 0);
    writeText(dir.file("build/resources/BrakkaFactoryPresets.fxb"), "bank bytes");

    const std::string vst = dir.file("vst");
    const std::vector<std::string> install = {"env", "VST_PATH=" + vst + ":" + dir.file("other"),
                                              INSTALL_SCRIPT, dir.file("build")};
    RunResult r = runProgram(install, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("installed: " + vst + "/Brakka.so"), std::string::npos) << r.out;
    EXPECT_TRUE(readBytes(vst + "/Brakka.so") == readBytes(BRAKKA_PLUGIN));
    EXPECT_EQ(readBytes(vst + "/Brakka Factory.fxb"),
              readBytes(dir.file("build/resources/BrakkaFactoryPresets.fxb")));
    EXPECT_FALSE(exists(dir.file("other")));

    r = runProgram(install, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("installed:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("up to date: " + vst + "/Brakka.so"), std::string::npos) << r.out;

    // A renderer without a plug-in beside it finds the installed one through the same VST_PATH.
    ASSERT_EQ(runProgram({"mkdir", "bin"}, dir.path()).status, 0);
    ASSERT_EQ(runProgram({"cp", BRAKKA_RENDER, "bin/"}, dir.path()).status, 0);
    const std::string render = dir.file("bin/brakka-render");
    r = runProgram({"env", "VST_PATH=" + vst, render, "--bars", "1"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(dir.file("brakka-demo.wav")));
    r = runProgram({"env", "HOME=" + dir.file("bin"), "VST_PATH=", render}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no plug-in found"), std::string::npos) << r.err;

    r = runProgram({"env", "HOME=" + dir.path(), "VST_PATH=", INSTALL_SCRIPT, dir.file("build")},
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(dir.file(".vst/Brakka.so")));
    // Without a build there is nothing to install.
    r = runProgram({"env", "VST_PATH=" + vst, INSTALL_SCRIPT, dir.file("nothing")}, dir.path());
    EXPECT_EQ(r.status, 1);
}

// A two-bar pattern keeps its place on the bar grid: entering on an odd bar it plays its second
// half only, and the song goes on at the next even bar.
TEST(Render, TwoBarPatternsSwitchAtTheirOwnEnd) {
    auto setup = join(neutralMixer(), quarterNotePattern(1, {0}));
    setup = join(setup, quarterNotePattern(2, {10}));
    setup = join(setup, {"--set", "108=0.25"}); // pattern 2: "2 x 16"
    struct Case {
        const char* song;
        std::vector<int> barNotes; // note of each bar
    };
    const Case cases[] = {{"1x1,2x1,1x1", {36, 39, 36}}, {"1x2,2x1,1x1", {36, 36, 39, 39, 36}}};
    for (const Case& c : cases) {
        TempFolder dir;
        const RunResult r =
            runRender(join(setup, {"--song", c.song, "--midi", "m.mid"}), dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const MidiDump midi = readMidiWithMido(dir.file("m.mid"));
        ASSERT_TRUE(midi.ok) << midi.error;
        std::vector<MidiNote> ons;
        for (const MidiNote& n : midi.notes)
            if (n.on) ons.push_back(n);
        ASSERT_EQ(ons.size(), 4 * c.barNotes.size()) << c.song;
        for (size_t i = 0; i < ons.size(); ++i) {
            EXPECT_EQ(ons[i].tick, (long)i * 480) << c.song;
            EXPECT_EQ(ons[i].note, c.barNotes[i / 4]) << c.song << " bar " << i / 4;
        }
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
            if (name.find(".part-") != std::string::npos) writing = true;
        if (!writing) usleep(10000);
    }
    EXPECT_TRUE(writing);
    kill(pid, SIGINT);
    const RunResult r = finishProgram(pid, dir.path());
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.entries().empty());
}
