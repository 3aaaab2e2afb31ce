// Programs, patterns and chunks: pattern-scope values, clear, random fill, copy and paste across
// patterns and programs, the pattern import, preset and bank chunks round trip byte for byte, a
// bank is the 48 preset chunks back to back, the factory bank is loaded at start and plays, and
// damaged chunks of every kind are refused without changing anything.
#include "BrakkaResources.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace brakka_test;
using B = Brakka;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kBlocks = 1080;            // first pattern block of a preset chunk
constexpr size_t kTagCounts = 1932;         // first tag count inside a block
constexpr size_t kPatternValueBytes = 3904; // 16 x 61 floats at the end of a preset chunk

uint32_t u32(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}
void putU32(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}
void putFloat(Bytes& b, size_t at, float v) {
    std::memcpy(&b[at], &v, 4);
}

// Length of the pattern block starting at `at` (the sequencer's own layout).
size_t blockLength(const Bytes& b, size_t at) {
    size_t pos = at + kTagCounts;
    for (int v = 0; v < 12; ++v)
        pos += 4 + 4 * (size_t)u32(b, pos);
    const uint32_t m = u32(b, pos);
    return pos + 4 + (size_t)m * 137 - at;
}

// Offsets of the 16 pattern blocks of the preset chunk at `at`.
std::vector<size_t> blockOffsets(const Bytes& b, size_t at = 0) {
    std::vector<size_t> offsets;
    size_t pos = at + kBlocks;
    for (int p = 0; p < 16; ++p) {
        offsets.push_back(pos);
        pos += blockLength(b, pos);
    }
    offsets.push_back(pos); // the pattern values
    return offsets;
}

// Offsets of the 48 preset chunks of a bank chunk.
std::vector<size_t> presetOffsets(const Bytes& b) {
    std::vector<size_t> offsets;
    size_t pos = 0;
    for (int i = 0; i < 48; ++i) {
        offsets.push_back(pos);
        pos = blockOffsets(b, pos).back() + kPatternValueBytes;
    }
    return offsets;
}

// An engine with the factory bank and a few edits, so programs differ from each other.
struct ChunkFixture : ::testing::Test {
    ChunkFixture() : h(44100.0f, 512, true) {}
    Brakka& e() { return h.engine(); }
    Bytes bank() { return h.host().getChunk(false); }
    Bytes preset() { return h.host().getChunk(true); }
    EngineHarness h;
};

} // namespace

TEST_F(ChunkFixture, PresetChunkRoundTripsByteForByteAndSelectsPatternZero) {
    h.host().dispatch(effSetProgram, 0, 5);
    char name[] = "Round trip";
    h.host().dispatch(effSetProgramName, 0, 0, name);
    h.set(B::kTagPattern, patternValue(2));
    h.set(B::kTagRandomBeats + 4, 0.25f); // a pattern value of pattern 2
    h.set(B::kTagPattern, patternValue(0));
    e().setModSequenceValue(14, 3, 0.9f);
    const Bytes saved = preset();
    ASSERT_EQ(saved.size(), e().getPresetChunkSize(5));
    int32_t format;
    std::memcpy(&format, saved.data(), 4);
    EXPECT_EQ(format, 100);

    // Change everything the chunk holds, then restore it.
    char other[] = "Other";
    h.host().dispatch(effSetProgramName, 0, 0, other);
    h.set(B::kTagTempo, 0.9f);
    e().setModSequenceValue(14, 3, 0.1f);
    h.set(B::kTagPattern, patternValue(2));
    e().pattern_clear(0);
    h.set(B::kTagRandomBeats + 4, 0.75f);
    ASSERT_EQ(h.host().setChunk(saved, true), 1);
    EXPECT_TRUE(preset() == saved);
    EXPECT_EQ(e().getCurrentPattern(), 0);
    EXPECT_EQ(e().getProgram(), 5);
    EXPECT_EQ(h.host().getString(effGetProgramName, 0, 24).text, "Round trip");
    float row[32];
    e().getModRow(14, row);
    EXPECT_FLOAT_EQ(row[3], 0.9f);
    h.set(B::kTagPattern, patternValue(2));
    EXPECT_FLOAT_EQ(h.get(B::kTagRandomBeats + 4), 0.25f);
    h.set(B::kTagPattern, patternValue(0));

    // Any format number reads the same; 100 is written.
    Bytes seven = saved;
    putU32(seven, 0, 7);
    ASSERT_EQ(h.host().setChunk(seven, true), 1);
    EXPECT_TRUE(preset() == saved);

    // Switches come back as stored: two solos (a load runs no exclusive-solo logic), and Stop
    // beside Play (a load stops nothing).
    Bytes switches = saved;
    for (int tag : {B::kTagSolo + 2, B::kTagSolo + 7, (int)B::kTagPlay, (int)B::kTagStop})
        putFloat(switches, 28 + 4 * (size_t)tag, 1.0f);
    ASSERT_EQ(h.host().setChunk(switches, true), 1);
    EXPECT_TRUE(preset() == switches);
}

TEST_F(ChunkFixture, BankIsTheFortyEightPresetChunksBackToBack) {
    h.host().dispatch(effSetProgram, 0, 7);
    h.set(B::kTagLevel, 0.3f);
    const Bytes b = bank();
    Bytes joined;
    size_t sum = 0;
    for (int i = 0; i < 48; ++i) {
        h.host().dispatch(effSetProgram, 0, i);
        const Bytes p = preset();
        joined.insert(joined.end(), p.begin(), p.end());
        sum += e().getPresetChunkSize(i);
    }
    EXPECT_EQ(b.size(), sum);
    EXPECT_TRUE(b == joined);

    h.host().dispatch(effSetProgram, 0, 12);
    h.set(B::kTagLevel, 0.9f);
    ASSERT_EQ(h.host().setChunk(b, false), 1);
    EXPECT_EQ(e().getProgram(), 0);
    EXPECT_TRUE(bank() == b);
    h.host().dispatch(effSetProgram, 0, 7);
    EXPECT_FLOAT_EQ(h.get(B::kTagLevel), 0.3f);
}

TEST_F(ChunkFixture, NamesAndValuesAreKeptSafe) {
    Bytes p = preset();
    // A name of 24 characters without its zero is cut to 23.
    std::memset(&p[4], 'x', 24);
    // Values outside 0..1 are clipped, NaN takes the default.
    putFloat(p, 28 + 4 * B::kTagTempo, 7.0f);
    putFloat(p, 28 + 4 * B::kTagSwing, std::numeric_limits<float>::quiet_NaN());
    const size_t values = p.size() - kPatternValueBytes;
    putFloat(p, values, -3.0f); // pattern 0, tag 108 (step size)
    ASSERT_EQ(h.host().setChunk(p, true), 1);
    char name[64] = {};
    ASSERT_EQ(h.host().dispatch(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_EQ(std::string(name), std::string(23, 'x'));
    EXPECT_FLOAT_EQ(h.get(B::kTagTempo), 1.0f);
    EngineHarness blank;
    EXPECT_FLOAT_EQ(h.get(B::kTagSwing), blank.get(B::kTagSwing));
    EXPECT_FLOAT_EQ(h.get(B::kTagStepSize), 0.0f);
    // Bytes after a sound chunk are not part of it.
    Bytes longer = preset();
    const Bytes before = longer;
    longer.resize(longer.size() + 100, 0xEE);
    ASSERT_EQ(h.host().setChunk(longer, true), 1);
    EXPECT_TRUE(preset() == before);
}

TEST(FactoryBank, LoadsAtStartAndProgramZeroPlays) {
    EngineHarness h(44100.0f, 512, true);
    char name[64] = {};
    ASSERT_EQ(h.host().dispatch(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_STRNE(name, "init");
    EXPECT_EQ(h.engine().getProgram(), 0);

    // The engine holds exactly what the resource's bank chunk gives when loaded by hand.
    const unsigned char* file = nullptr;
    size_t size = 0;
    ASSERT_TRUE(brakkaFindResource("BrakkaFactoryPresets", "dat", &file, &size));
    ASSERT_GT(size, 160u);
    const size_t chunk =
        ((size_t)file[156] << 24) | (file[157] << 16) | (file[158] << 8) | file[159];
    EXPECT_EQ(chunk, size - 160);
    EngineHarness blank;
    ASSERT_EQ(blank.host().setChunk(Bytes(file + 160, file + 160 + chunk), false), 1);
    EXPECT_TRUE(blank.host().getChunk(false) == h.host().getChunk(false));

    h.playInternal();
    double energy = 0.0;
    for (int b = 0; b < 200; ++b) { // about 2.3 s
        for (float x : h.renderChannel(512, 0))
            energy += (double)x * x;
    }
    EXPECT_GT(energy, 1.0);
}

// --- damaged chunks ---------------------------------------------------------------------------

namespace {

struct Damage {
    std::string what;
    Bytes bytes;
    bool isPreset;
};

// Many ways a preset or bank chunk can be damaged; every one must be refused.
std::vector<Damage> damagedChunks(const Bytes& p, const Bytes& b) {
    std::vector<Damage> out;
    const std::vector<size_t> blocks = blockOffsets(p);
    auto cut = [](const Bytes& x, size_t n) { return Bytes(x.begin(), x.begin() + n); };

    // Truncated everywhere that matters: header, name, values, each block's sections, the
    // pattern values, the last byte.
    std::vector<size_t> cuts = {1, 3, 4, 27, 28, 1079, 1080, p.size() - 1, p.size() - 4};
    for (int k = 0; k < 16; ++k) {
        const size_t at = blocks[k];
        for (size_t c : {at + 1, at + 383, at + 1919, at + kTagCounts, at + kTagCounts + 2,
                         blocks[k + 1] - 5, blocks[k + 1] - 1})
            cuts.push_back(c);
    }
    for (size_t c : cuts)
        out.push_back({"preset cut at " + std::to_string(c), cut(p, c), true});
    const std::vector<size_t> presets = presetOffsets(b);
    for (size_t c : {(size_t)1, p.size() - 1, p.size(), presets[47], b.size() - 1})
        out.push_back({"bank cut at " + std::to_string(c), cut(b, c), false});

    // Counts far too large, and just too large.
    const size_t count0 = blocks[0] + kTagCounts;
    for (uint32_t n : {121u, 0xFFFFu, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes x = p;
        putU32(x, count0, n);
        out.push_back({"tag count " + std::to_string(n), x, true});
    }
    size_t rowsAt = count0;
    for (int v = 0; v < 12; ++v)
        rowsAt += 4 + 4 * (size_t)u32(p, rowsAt);
    for (uint32_t m : {u32(p, rowsAt) + 1, 121u, 0x40000000u, 0xFFFFFFFFu}) {
        Bytes x = p;
        putU32(x, rowsAt, m);
        out.push_back({"row count " + std::to_string(m), x, true});
    }
    // Tags out of range: in a voice's tag list, a row, a flag entry.
    size_t firstTag = count0;
    while (u32(p, firstTag) == 0)
        firstTag += 4; // the first voice with modulated tags
    const bool haveTag = firstTag < rowsAt;
    const uint32_t m = u32(p, rowsAt);
    for (uint32_t tag : {108u, 129u, 142u, 263u, 0x80000000u}) {
        if (haveTag) {
            Bytes x = p;
            putU32(x, firstTag + 4, tag);
            out.push_back({"voice tag " + std::to_string(tag), x, true});
        }
        if (m > 0) {
            Bytes x = p;
            putU32(x, rowsAt + 4, tag);
            out.push_back({"row tag " + std::to_string(tag), x, true});
            Bytes y = p;
            putU32(y, rowsAt + 4 + m * 132, tag);
            out.push_back({"flag tag " + std::to_string(tag), y, true});
        }
    }
    // A bank whose 31st program is damaged loads no program at all.
    Bytes bad = b;
    putU32(bad, presets[30] + kBlocks + kTagCounts, 0xFFFFFFFFu);
    out.push_back({"bank with a damaged program 31", bad, false});
    // A preset chunk is not a bank.
    out.push_back({"preset given as a bank", p, false});

    // Random bytes of several sizes, and random bytes behind a sound header.
    std::mt19937 random(12345);
    for (size_t n : {(size_t)8, (size_t)1080, (size_t)4000, p.size()}) {
        Bytes x(n);
        for (auto& byte : x)
            byte = (uint8_t)random();
        out.push_back({"random " + std::to_string(n), x, true});
        out.push_back({"random bank " + std::to_string(n), x, false});
        Bytes y = p;
        for (size_t i = blocks[0] + kTagCounts; i < y.size() && i < blocks[0] + kTagCounts + n; ++i)
            y[i] = (uint8_t)random();
        out.push_back({"random tag lists " + std::to_string(n), y, true});
    }
    return out;
}

} // namespace

TEST_F(ChunkFixture, DamagedChunksChangeNothing) {
    h.host().dispatch(effSetProgram, 0, 3);
    h.set(B::kTagPattern, patternValue(4));
    const Bytes p = preset();
    const Bytes b = bank();
    for (const Damage& d : damagedChunks(p, b)) {
        SCOPED_TRACE(d.what);
        EXPECT_EQ(h.host().setChunk(d.bytes, d.isPreset), 0);
        EXPECT_EQ(e().getProgram(), 3);
        EXPECT_EQ(e().getCurrentPattern(), 4);
    }
    EXPECT_TRUE(bank() == b);
    EXPECT_EQ(e().setChunk(nullptr, 100, true), 0);
    EXPECT_EQ(e().setChunk(const_cast<uint8_t*>(p.data()), 0, true), 0);
    EXPECT_EQ(e().setChunk(const_cast<uint8_t*>(p.data()), -5, false), 0);
    EXPECT_EQ(e().getChunk(nullptr, true), 0);
    EXPECT_TRUE(bank() == b);
}

// --- patterns -----------------------------------------------------------------------------------

namespace {

std::vector<unsigned char> noteRow(EngineHarness& h, int voice) {
    std::vector<unsigned char> row(32);
    h.engine().getNoteRow(voice, row.data());
    return row;
}

bool empty(const std::vector<unsigned char>& row) {
    for (unsigned char b : row)
        if (b) return false;
    return true;
}

// A dictionary holding pattern p with a kick on step p, a velocity and (pattern 0) a
// modulation value; Random Beats of the kick p / 100, step size 0.75.
BrakkaPatternDictionary makeDictionary() {
    return patternDictionary(
        [](int p, BrakkaSequencer& seq) {
            seq.setNote(0, p, 255);
            seq.setVelocityValue(1, 3, 0.25f);
            if (p == 0) {
                seq.setModValue(0, 4, 0.9f);
                seq.registerModTag(0);
            }
        },
        [](int p, unsigned tag) { return tag == 190 ? 0.01f * p : (tag == 108 ? 0.75f : 0.5f); });
}

} // namespace

TEST(Patterns, PatternValuesBelongToTheirPatternAndSwitchesAreReported) {
    EngineHarness h; // resumed by the harness
    h.set(B::kTagRandomBeats + 2, 0.3f);
    h.set(B::kTagStepSize, stepSizeValue(4));
    h.set(B::kTagTempo, 0.8f); // a program value
    h.host().clearRecords();
    h.set(B::kTagPattern, patternValue(6));
    EXPECT_EQ(h.host().automations().size(), 61u); // every pattern tag
    EXPECT_FLOAT_EQ(h.get(B::kTagRandomBeats + 2), 0.0f);
    EXPECT_FLOAT_EQ(h.get(B::kTagStepSize), 0.0f);
    EXPECT_FLOAT_EQ(h.get(B::kTagTempo), 0.8f);
    h.host().dispatch(effMainsChanged, 0, 0); // suspended: nothing to report
    h.host().clearRecords();
    h.set(B::kTagPattern, patternValue(0));
    EXPECT_TRUE(h.host().automations().empty());
    EXPECT_FLOAT_EQ(h.get(B::kTagRandomBeats + 2), 0.3f);
    EXPECT_FLOAT_EQ(h.get(B::kTagStepSize), 1.0f);
}

TEST(Patterns, ClearAndRandomFillRows) {
    EngineHarness h;
    h.fillRow(4);
    h.engine().setVelocityValue(4, 0, 0.2f);
    h.engine().setModSequenceValue(43, 0, 0.9f);
    h.set(B::kTagClear + 4, 0.999f); // not exactly 1: stored only
    h.set(B::kTagRandomFill + 3, 0.999f);
    EXPECT_EQ(noteRow(h, 4)[5], 255);
    EXPECT_TRUE(empty(noteRow(h, 3)));
    h.set(B::kTagClear + 4, 1.0f);
    EXPECT_TRUE(empty(noteRow(h, 4)));
    h.set(B::kTagRandomFill + 4, 1.0f);
    int set = 0;
    for (unsigned char b : noteRow(h, 4)) {
        EXPECT_LE(b, 1);
        set += b;
    }
    EXPECT_GT(set, 0);
    h.fillRow(1);
    h.engine().pattern_clear(0);
    for (int v = 0; v < 12; ++v)
        EXPECT_TRUE(empty(noteRow(h, v))) << v;
    float values[32]; // velocities and modulation rows stay
    h.engine().getVelocityRow(4, values);
    EXPECT_FLOAT_EQ(values[0], 0.2f);
    h.engine().getModRow(43, values);
    EXPECT_FLOAT_EQ(values[0], 0.9f);
}

TEST(Patterns, CopyAndPasteAcrossPatternsAndPrograms) {
    EngineHarness h;
    h.fillRow(3);
    h.engine().pattern_paste(); // before any copy: the clipboard's default pattern, no notes
    EXPECT_TRUE(empty(noteRow(h, 3)));

    h.set(B::kTagPattern, patternValue(1));
    h.fillRow(2, {0, 3, 7});
    h.engine().setVelocityValue(2, 3, 0.33f);
    h.engine().setModSequenceValue(130 + 2, 3, 0.1f); // Snare 9 Pan
    h.set(B::kTagSelectedBeats + 2, 0.4f);
    h.set(B::kTagRandomReset + 2, 1.0f);
    h.set(B::kTagStepSize, stepSizeValue(3));
    h.engine().pattern_copy(0);

    h.host().dispatch(effSetProgram, 0, 7);
    h.set(B::kTagPattern, patternValue(4));
    EXPECT_EQ(noteRow(h, 2)[3], 0);
    EXPECT_FLOAT_EQ(h.get(B::kTagSelectedBeats + 2), 1.0f);
    h.engine().pattern_paste();
    const auto row = noteRow(h, 2);
    EXPECT_EQ(row[0] & row[3] & row[7], 255);
    float values[32];
    h.engine().getVelocityRow(2, values);
    EXPECT_FLOAT_EQ(values[3], 0.33f);
    h.engine().getModRow(132, values);
    EXPECT_FLOAT_EQ(values[3], 0.1f);
    EXPECT_FLOAT_EQ(h.get(B::kTagRandomReset + 2), 1.0f);
    EXPECT_FLOAT_EQ(h.get(B::kTagStepSize), 0.75f);
    // The values were stored with pattern 4 of program 7: away and back brings them again.
    h.set(B::kTagPattern, patternValue(0));
    EXPECT_FLOAT_EQ(h.get(B::kTagSelectedBeats + 2), 1.0f);
    h.set(B::kTagPattern, patternValue(4));
    EXPECT_FLOAT_EQ(h.get(B::kTagSelectedBeats + 2), 0.4f);
    // The source is untouched.
    h.host().dispatch(effSetProgram, 0, 0);
    h.set(B::kTagPattern, patternValue(1));
    EXPECT_EQ(noteRow(h, 2)[3], 255);
}

TEST(Patterns, ProgramLoadDoesNotFireStoredClearOrRandomFill) {
    // Program 1 keeps Clear and Random Fill at 1.0 (a host wrote them and left them). Loading
    // it must not wipe or scramble any row, least of all program 0's.
    EngineHarness h;
    h.host().dispatch(effSetProgram, 0, 1);
    h.set(B::kTagClear + 0, 1.0f);
    h.set(B::kTagRandomFill + 1, 1.0f);
    h.fillRow(0, {0, 8});
    h.host().dispatch(effSetProgram, 0, 0);
    h.fillRow(0, {4});
    h.host().dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(noteRow(h, 0)[8], 255);
    EXPECT_FLOAT_EQ(h.get(B::kTagClear + 0), 1.0f); // the value itself is kept
    h.host().dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(noteRow(h, 0)[4], 255);
    EXPECT_TRUE(empty(noteRow(h, 1)));
}

TEST(Patterns, ImportFromADictionary) {
    EngineHarness h;
    BrakkaPatternDictionary dict = makeDictionary();
    h.set(B::kTagPattern, patternValue(5));
    const BrakkaPatternDictionary* ref = &dict;
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, 34567, 0, &ref, 0.0f), 0);
    EXPECT_EQ(h.engine().getCurrentPattern(), 0);
    EXPECT_EQ(h.engine().getPendingPattern(), 0);
    EXPECT_EQ(noteRow(h, 0)[0], 255);
    EXPECT_EQ(noteRow(h, 0)[1], 0);
    float values[32];
    h.engine().getVelocityRow(1, values);
    EXPECT_FLOAT_EQ(values[3], 0.25f);
    h.engine().getModRow(0, values);
    EXPECT_FLOAT_EQ(values[4], 0.9f);
    EXPECT_FLOAT_EQ(h.get(B::kTagStepSize), 0.75f);
    h.set(B::kTagPattern, patternValue(7)); // pattern 7 carries its own values
    EXPECT_FLOAT_EQ(h.get(190), 0.07f);
    EXPECT_EQ(noteRow(h, 0)[7], 255);
}

TEST(Patterns, ImportStopsAtAMissingOrDamagedEntry) {
    EngineHarness h;
    BrakkaPatternDictionary dict = makeDictionary();
    dict.blocks.erase("Pattern 3");
    h.set(B::kTagPattern, patternValue(2));
    const BrakkaPatternDictionary* ref = &dict;
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);
    EXPECT_EQ(h.engine().getCurrentPattern(), 2); // patterns 0..2 replaced, current kept
    EXPECT_EQ(noteRow(h, 0)[2], 255);

    BrakkaPatternDictionary damaged = makeDictionary(), noNumber = makeDictionary();
    damaged.blocks["Pattern 0"].resize(100);
    noNumber.numbers.erase("S15T261");
    for (const BrakkaPatternDictionary* d : {&damaged, &noNumber}) {
        ref = d;
        EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);
    }
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, nullptr, 0.0f), -1);
    ref = nullptr;
    EXPECT_EQ(h.engine().vendorSpecific(34567, 0, &ref, 0.0f), -1);
}
