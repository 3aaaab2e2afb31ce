#include "BrakkaParameterManager.h"
#include "BrakkaParameterTags.h"
#include "BrakkaSequencer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<char>;

namespace {

Bytes readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t get32(const Bytes& b, size_t at, bool bigEndian = false) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<uint8_t>(b[at + (bigEndian ? i : 3 - i)]);
    return v;
}

float leFloat(const Bytes& b, size_t at) {
    const uint32_t bits = get32(b, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A fresh folder of this test process (ctest may run several cases at the same time).
fs::path scratchFolder(const char* name) {
    fs::path dir = fs::temp_directory_path() /
                   (std::string("brakka-") + name + "-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> factorySources() {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(BRAKKA_FACTORY_SOURCES))
        if (e.path().extension() == ".txt") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs the builder; returns its exit status and leaves its messages in *messages.
int runBuilder(const std::string& args, std::string* messages = nullptr) {
    fs::path log = scratchFolder("bankgen-log") / "messages.txt";
    std::string cmd =
        std::string("\"") + BRAKKA_BANKGEN + "\" " + args + " 2>\"" + log.string() + "\"";
    int status = std::system(cmd.c_str());
    if (messages) {
        Bytes b = readAll(log);
        messages->assign(b.begin(), b.end());
    }
    fs::remove_all(log.parent_path());
    return status;
}

std::string quoted(const std::vector<std::string>& files) {
    std::string s;
    for (const auto& f : files)
        s += "\"" + f + "\" ";
    return s;
}

struct Preset {
    std::string name;
    float values[kNumParameters];
    std::vector<BrakkaSequencer> patterns;
    std::vector<std::vector<float>> patternValues; // 16 x 61
};

// Walks one preset chunk at pos, checking it as it goes; pos ends after it.
void readPreset(const Bytes& b, size_t& pos, BrakkaParameterManager& pm, Preset& p) {
    ASSERT_LE(pos + 1080, b.size());
    EXPECT_EQ(get32(b, pos), 100u);
    const char* name = b.data() + pos + 4;
    ASSERT_NE(std::memchr(name, '\0', 24), nullptr) << "name is not terminated";
    p.name = name;
    for (int t = 0; t < kNumParameters; ++t)
        p.values[t] = leFloat(b, pos + 28 + 4 * static_cast<size_t>(t));
    pos += 1080;
    p.patterns.resize(kNumPatterns);
    for (int i = 0; i < kNumPatterns; ++i) {
        size_t len = BrakkaSequencer::validateAllData(b.data() + pos, b.size() - pos,
                                                      pm.getModulatableTags());
        ASSERT_GT(len, 0u) << p.name << " pattern " << i + 1 << " does not parse";
        size_t used = 0;
        ASSERT_TRUE(p.patterns[i].setAllData(b.data() + pos, b.size() - pos,
                                             pm.getModulatableTags(), false, &used));
        EXPECT_EQ(used, len);
        pos += len;
    }
    const size_t n = pm.getPatternTags().size();
    ASSERT_LE(pos + 16 * 4 * n, b.size());
    p.patternValues.assign(16, std::vector<float>(n));
    for (int i = 0; i < 16; ++i)
        for (size_t k = 0; k < n; ++k, pos += 4)
            p.patternValues[i][k] = leFloat(b, pos);
}

const Bytes& factoryBank() {
    static const Bytes bank = readAll(BRAKKA_FACTORY_BANK);
    return bank;
}

} // namespace

TEST(FactoryBank, HeaderDescribesAnOpaqueBankOf48Programs) {
    const Bytes& b = factoryBank();
    ASSERT_GT(b.size(), 160u);
    // 'CcnK', byte size, 'FBCh', version 1, 'ZUbk', plug-in version 1, 48 programs, zeros
    // up to the chunk size at 156.
    const uint32_t header[] = {0x43636E4B, uint32_t(b.size() - 8), 0x46424368, 1, 0x5A55626B, 1,
                               48};
    for (size_t i = 0; i < 40; ++i)
        EXPECT_EQ(get32(b, 4 * i, true), i < 7 ? header[i] : i < 39 ? 0 : b.size() - 160) << i;
    // FNV-1a over the whole file: every value, step and row the sources give. After a deliberate
    // change of resources/factory, the builder or the pattern block, put the printed value here.
    uint64_t hash = 1469598103934665603ull;
    for (char c : b)
        hash = (hash ^ uint8_t(c)) * 1099511628211ull;
    EXPECT_EQ(hash, 0x3135905e5cd285caull) << std::hex << "0x" << hash;
}

TEST(FactoryBank, EveryProgramIsCompleteAndPlayable) {
    const Bytes& b = factoryBank();
    BrakkaParameterManager pm;
    const std::vector<unsigned> patternTags(pm.getPatternTags().begin(), pm.getPatternTags().end());
    ASSERT_EQ(patternTags.size(), 61u);
    std::set<std::string> names;
    size_t pos = 160;
    for (int prog = 0; prog < kNumPrograms; ++prog) {
        Preset p;
        readPreset(b, pos, pm, p);
        if (HasFatalFailure()) return;
        SCOPED_TRACE("program " + std::to_string(prog + 1) + " \"" + p.name + "\"");
        EXPECT_FALSE(p.name.empty()); // and at most 23 characters: terminated in 24 bytes
        EXPECT_TRUE(names.insert(p.name).second) << "name used twice";

        // Values in range; transport, pattern choice, mute, solo, one-shot and MIDI-only
        // switches at rest; sync Host.
        for (int t = 0; t < kNumParameters; ++t) {
            const bool rests =
                t == kPlayTag || t == kStopTag || t == kPatternTag || t == kMIDIOutputOnlyTag ||
                (t >= kMuteTag && t < kSelectedBeatsTag) || (t >= kClearTag && t < kRandomResetTag);
            EXPECT_TRUE(rests ? p.values[t] == 0.0f : p.values[t] >= 0.0f && p.values[t] <= 1.0f)
                << "tag " << t;
        }
        EXPECT_EQ(pm.naturalValueFromVSTvalue(kSyncTag, p.values[kSyncTag]), 0.0f) << "sync";

        // Sixteen different patterns: a copy that was meant to be varied shows up here.
        std::set<std::pair<Bytes, std::vector<float>>> distinct;
        for (int i = 0; i < kNumPatterns; ++i) {
            SCOPED_TRACE("pattern " + std::to_string(i + 1));
            const BrakkaSequencer& seq = p.patterns[i];
            Bytes block(seq.getSize());
            seq.getAllData(block.data());
            EXPECT_TRUE(distinct.emplace(block, p.patternValues[i]).second) << "a repeat";
            for (size_t k = 0; k < patternTags.size(); ++k) {
                float v = p.patternValues[i][k];
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "tag " << patternTags[k];
                EXPECT_TRUE(i > 0 || p.values[patternTags[k]] == v) << "tag " << patternTags[k];
            }
            const int length = kSequenceLengths[static_cast<int>(
                pm.naturalValueFromVSTvalue(kStepSizeTag, p.patternValues[i][0]))];
            // Notes only within the length, not a silent pattern. A voice keeps the value its
            // last modulated step gave it when the pattern is left, so every fixed modulation
            // row is neutral on the last note of its voice.
            int notes = 0;
            for (int v = 0; v < kNumVoices; ++v) {
                int last = -1;
                for (int s = 0; s < kNumSteps; ++s) {
                    const unsigned char n = seq.getNote(v, s);
                    EXPECT_TRUE(n == 0 || (n == 255 && s < length)) << "step " << s;
                    if (n) notes++, last = s;
                }
                seq.forEachVoiceModTag(v, [&](unsigned tag) {
                    if (last >= 0 && !seq.getModRandomOnLoop(tag)) {
                        EXPECT_EQ(seq.getModValue(tag, last), 0.5f)
                            << "tag " << tag << " at step " << last;
                    }
                });
            }
            EXPECT_GT(notes, 0) << "silent pattern";
        }
    }
    EXPECT_EQ(pos, b.size()) << "the chunk holds more than 48 programs";
}

TEST(FactoryBank, BuildIsDeterministicAndFullRowsLoadTheSame) {
    const fs::path dir = scratchFolder("bank-build");
    const fs::path a = dir / "brakka-bank-a.fxb", full = dir / "brakka-bank-full.fxb";
    ASSERT_EQ(runBuilder("-o \"" + a.string() + "\" " + quoted(factorySources())), 0);
    EXPECT_TRUE(readAll(a) == factoryBank()) << "a second build gave other bytes";

    // The full form stores every modulation row, as the plug-in writes a program after
    // loading it; loading the compact form and writing it again must give the same blocks.
    ASSERT_EQ(runBuilder("--full-rows -o \"" + full.string() + "\" " + quoted(factorySources())),
              0);
    const Bytes f = readAll(full);
    BrakkaParameterManager pm;
    size_t pc = 160, pf = 160;
    for (int prog = 0; prog < kNumPrograms; ++prog) {
        Preset compact, expanded;
        readPreset(factoryBank(), pc, pm, compact);
        readPreset(f, pf, pm, expanded);
        if (HasFatalFailure()) return;
        for (int i = 0; i < kNumPatterns; ++i) {
            Bytes x(compact.patterns[i].getSize()), y(expanded.patterns[i].getSize());
            compact.patterns[i].getAllData(x.data());
            expanded.patterns[i].getAllData(y.data());
            EXPECT_TRUE(x == y) << "program " << prog + 1 << " pattern " << i + 1;
        }
        EXPECT_EQ(std::memcmp(compact.values, expanded.values, sizeof compact.values), 0);
        EXPECT_EQ(compact.patternValues, expanded.patternValues);
    }
    EXPECT_EQ(pf, f.size());
    fs::remove_all(dir);
}

TEST(BankBuilder, BadSourceLinesFailLoudlyWithFileAndLine) {
    const fs::path dir = scratchFolder("bankgen-bad");
    const fs::path src = dir / "bad.txt", out = dir / "out.fxb";
    // Program lines go on line 3 (before the first pattern), pattern lines on line 6.
    struct Case {
        bool inPattern;
        const char* line;
        const char* message;
    } cases[] = {
        {false, "Kickdrum Tuning = 50", "unknown parameter"},
        {false, "Kickdrum Tune = 120", "outside"},
        {false, "Kickdrum Level = loud", "not a number"},
        {false, "Kickdrum Output = G", "bus letter"},
        {false, "Low Tom Pan = L120", "pan"},
        {false, "Kickdrum Waveform = 0.5", "whole numbers"},
        {true, "Pattern Step Size = 1 x 12", "step size"},
        {true, "KD x...x...x...x...x", "has 17 steps"},
        {true, "KD x...x...x...x..y", "step character"},
        {true, "mod Kickdrum Level: . . . . . . . . . . . . . . . .", "cannot be modulated"},
        {true, "mod Kickdrum Tune: . . 150 . . . . . . . . . . . . .", "percentage"},
        {true, "mod Kickdrum Tune: . . . .", "has 4 values"},
        {true, "Tempo = 140", "belongs to the program"},
        {true, "SD x...x...x...x...", "cannot understand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::ofstream(src) << "program \"Bad\"\nPattern Step Size = 1 x 16\n"
                           << (c.inPattern ? "# nothing\n" : std::string(c.line) + "\n")
                           << "pattern 1\nKD x...x...x...x...\n"
                           << (c.inPattern ? std::string(c.line) + "\n" : "# nothing\n");
        fs::remove(out);
        std::string messages;
        EXPECT_NE(runBuilder("-o \"" + out.string() + "\" \"" + src.string() + "\"", &messages), 0);
        EXPECT_THAT(messages, testing::HasSubstr(src.string() + (c.inPattern ? ":6: " : ":3: ")));
        EXPECT_THAT(messages, testing::HasSubstr(c.message));
        EXPECT_FALSE(fs::exists(out));
    }
    // A program without patterns; the factory set with one change: a single bad line, a name
    // used twice, one source short.
    const std::string lonely = (dir / "lonely.txt").string();
    std::ofstream(lonely) << "program \"Lonely\"\n";
    std::vector<std::string> files = factorySources();
    std::ifstream first(files[0]);
    std::ofstream(src) << first.rdbuf() << "Tempo = 140\n";
    std::vector<std::string> oneBad = files, twice = files;
    oneBad[0] = src.string();
    twice[0] = twice[1];
    const std::pair<std::vector<std::string>, const char*> sets[] = {
        {{lonely}, "pattern 16 is missing"},
        {{files.begin() + 1, files.end()}, "47 program sources given"},
        {oneBad, "belongs to the program"},
        {twice, "is already used"},
    };
    for (const auto& [list, message] : sets) {
        std::string messages;
        EXPECT_NE(runBuilder("-o \"" + out.string() + "\" " + quoted(list), &messages), 0);
        EXPECT_NE(messages.find(message), std::string::npos) << messages;
        EXPECT_FALSE(fs::exists(out));
    }
    fs::remove_all(dir);
}
