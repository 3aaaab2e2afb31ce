// Programs, patterns and chunks: preset and bank chunks round trip byte for byte, a bank is the
// 48 preset chunks back to back, the factory bank is loaded at start and plays, damaged chunks
// are refused without changing anything; pattern-scope values, clear, random fill, copy and
// paste across patterns and programs, and the pattern import.
#include "BrakkaResources.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

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
template <class T>
Bytes with(Bytes b, size_t at, T v) {
    std::memcpy(&b[at], &v, 4);
    return b;
}

// An engine with the factory bank, so programs differ from each other.
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
    char name[] = "Round trip", other[] = "Other";
    h.host().dispatch(effSetProgramName, 0, 0, name);
    h.set(kPatternTag, patternValue(2));
    h.set(kRandomBeatsTag + 4, 0.25f); // a pattern value of pattern 2
    h.set(kPatternTag, patternValue(0));
    e().setModSequenceValue(14, 3, 0.9f);
    const Bytes saved = preset();
    ASSERT_EQ(saved.size(), e().getPresetChunkSize(5));
    EXPECT_EQ(u32(saved, 0), 100u); // the format number

    // Change everything the chunk holds, then restore it.
    h.host().dispatch(effSetProgramName, 0, 0, other);
    h.set(kTempoTag, 0.9f);
    e().setModSequenceValue(14, 3, 0.1f);
    h.set(kPatternTag, patternValue(2));
    e().pattern_clear(0);
    h.set(kRandomBeatsTag + 4, 0.75f);
    ASSERT_EQ(h.host().setChunk(saved, true), 1);
    EXPECT_TRUE(preset() == saved);
    EXPECT_EQ(e().getCurrentPattern(), 0);
    EXPECT_EQ(e().getProgram(), 5);
    EXPECT_EQ(h.host().getString(effGetProgramName, 0, 24).text, "Round trip");
    float row[32];
    e().getModRow(14, row);
    EXPECT_FLOAT_EQ(row[3], 0.9f);
    h.set(kPatternTag, patternValue(2));
    EXPECT_FLOAT_EQ(h.get(kRandomBeatsTag + 4), 0.25f);

    // Any format number reads the same; switches come back as stored: two solos (a load runs
    // no exclusive-solo logic), and Stop beside Play (a load stops nothing).
    ASSERT_EQ(h.host().setChunk(with(saved, 0, 7), true), 1);
    EXPECT_TRUE(preset() == saved);
    Bytes switches = saved;
    for (int tag : {kSoloTag + 2, kSoloTag + 7, (int)kPlayTag, (int)kStopTag})
        switches = with(switches, 28 + 4 * (size_t)tag, 1.0f);
    ASSERT_EQ(h.host().setChunk(switches, true), 1);
    EXPECT_TRUE(preset() == switches);
}

TEST_F(ChunkFixture, BankIsTheFortyEightPresetChunksBackToBack) {
    h.host().dispatch(effSetProgram, 0, 7);
    h.set(kLevelTag, 0.3f);
    const Bytes b = bank();
    Bytes joined;
    for (int i = 0; i < 48; ++i) {
        h.host().dispatch(effSetProgram, 0, i);
        const Bytes p = preset();
        ASSERT_EQ(p.size(), e().getPresetChunkSize(i));
        joined.insert(joined.end(), p.begin(), p.end());
    }
    EXPECT_TRUE(b == joined);
    h.host().dispatch(effSetProgram, 0, 12);
    h.set(kLevelTag, 0.9f);
    ASSERT_EQ(h.host().setChunk(b, false), 1);
    EXPECT_EQ(e().getProgram(), 0);
    EXPECT_TRUE(bank() == b);
    h.host().dispatch(effSetProgram, 0, 7);
    EXPECT_FLOAT_EQ(h.get(kLevelTag), 0.3f);
}

TEST_F(ChunkFixture, NamesAndValuesAreKeptSafe) {
    // A name of 24 characters without its zero is cut to 23; values outside 0..1 are clipped,
    // NaN takes the default; bytes after a sound chunk are not part of it.
    Bytes p = preset();
    std::memset(&p[4], 'x', 24);
    p = with(p, 28 + 4 * kTempoTag, 7.0f);
    p = with(p, 28 + 4 * kLevelTag, std::numeric_limits<float>::quiet_NaN());
    p = with(p, p.size() - kPatternValueBytes, -3.0f); // pattern 0, tag 108 (step size)
    p.resize(p.size() + 100, 0xEE);
    ASSERT_EQ(h.host().setChunk(p, true), 1);
    char name[64] = {};
    ASSERT_EQ(h.host().dispatch(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_EQ(std::string(name), std::string(23, 'x'));
    EXPECT_FLOAT_EQ(h.get(kTempoTag), 1.0f);
    EXPECT_FLOAT_EQ(h.get(kLevelTag), BrakkaParameterManager().getVSTvalue(kLevelTag));
    EXPECT_FLOAT_EQ(h.get(kStepSizeTag), 0.0f);
    EXPECT_EQ(preset().size(), p.size() - 100);
}

TEST_F(ChunkFixture, FactoryBankLoadsAtStartAndPlays) {
    // The engine holds exactly what the resource's bank chunk (from byte 160) gives when loaded
    // by hand.
    const unsigned char* file = nullptr;
    size_t size = 0;
    ASSERT_TRUE(brakkaFindResource("BrakkaFactoryPresets", "dat", &file, &size));
    ASSERT_GT(size, 160u);
    EngineHarness blank;
    ASSERT_EQ(blank.host().setChunk(Bytes(file + 160, file + size), false), 1);
    EXPECT_TRUE(blank.host().getChunk(false) == bank());
    h.playInternal();
    double loudest = 0.0;
    for (int b = 0; b < 200; ++b) // about 2.3 s
        loudest = std::max(loudest, peak(h.renderChannel(512, 0)));
    EXPECT_GT(loudest, 0.05);
}

TEST_F(ChunkFixture, DamagedChunksChangeNothing) {
    h.host().dispatch(effSetProgram, 0, 3);
    e().setModSequenceValue(kKickTuneTag, 0, 0.5f); // pattern 0 with a modulated tag of its own
    h.set(kPatternTag, patternValue(4));
    const Bytes p = preset(), b = bank();
    // The first pattern block (the sequencer's own layout: tag counts and tags of 12 voices, then
    // rows of 137 words): the tag list of its first voice with modulated tags, and its rows.
    const size_t count0 = kBlocks + kTagCounts;
    size_t rowsAt = count0, firstTag = 0;
    for (int v = 0; v < kNumVoices; ++v) {
        if (!firstTag && u32(p, rowsAt) > 0) firstTag = rowsAt;
        rowsAt += 4 + 4 * (size_t)u32(p, rowsAt);
    }
    ASSERT_GT(firstTag, 0u);
    ASSERT_GT(u32(p, rowsAt), 0u);
    // Cut short in the header, the values, the block's sections and the pattern values.
    std::vector<std::pair<Bytes, bool>> damaged;
    for (size_t c : {size_t(1), size_t(28), kBlocks - 1, kBlocks + 383, count0 + 2, rowsAt + 9,
                     p.size() - kPatternValueBytes - 1, p.size() - 1})
        damaged.push_back({Bytes(p.begin(), p.begin() + c), true});
    for (size_t c : {p.size(), b.size() - 1})
        damaged.push_back({Bytes(b.begin(), b.begin() + c), false});
    // Counts too large (just so and far), tags out of range in the tag list, a row and a flag.
    for (uint32_t n : {121u, 0xFFFFFFFFu})
        for (size_t at : {count0, rowsAt})
            damaged.push_back({with(p, at, n), true});
    damaged.push_back({with(p, rowsAt, u32(p, rowsAt) + 1), true});
    for (uint32_t tag :
         {(uint32_t)kNumSoundTags, (uint32_t)kOutputTag, (uint32_t)kNumParameters, 0x80000000u})
        for (size_t at : {firstTag + 4, rowsAt + 4, rowsAt + 4 + u32(p, rowsAt) * 132})
            damaged.push_back({with(p, at, tag), true});
    // A bank whose 31st program is damaged loads none; a preset chunk is not a bank. (Random
    // bytes: the chunk fuzzer and the validator.)
    size_t program31 = 0;
    for (int i = 0; i < 30; ++i)
        program31 += e().getPresetChunkSize(i);
    damaged.push_back({with(b, program31 + count0, 0xFFFFFFFFu), false});
    damaged.push_back({p, false});
    for (size_t i = 0; i < damaged.size(); ++i) {
        EXPECT_EQ(h.host().setChunk(damaged[i].first, damaged[i].second), 0) << "case " << i;
        EXPECT_EQ(e().getProgram() * 100 + e().getCurrentPattern(), 304) << "case " << i;
    }
    EXPECT_EQ(e().setChunk(nullptr, 100, true), 0);
    EXPECT_EQ(e().setChunk(const_cast<uint8_t*>(p.data()), 0, true), 0);
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
    return std::count(row.begin(), row.end(), 0) == 32;
}

} // namespace

TEST(Patterns, PatternValuesBelongToTheirPatternAndSwitchesAreReported) {
    EngineHarness h; // resumed by the harness
    h.set(kRandomBeatsTag + 2, 0.3f);
    h.set(kStepSizeTag, stepSizeValue(4));
    h.set(kTempoTag, 0.8f); // a program value
    h.host().clearRecords();
    h.set(kPatternTag, patternValue(6));
    EXPECT_EQ(h.host().automations().size(), 61u); // every pattern tag
    EXPECT_FLOAT_EQ(h.get(kRandomBeatsTag + 2), 0.0f);
    EXPECT_FLOAT_EQ(h.get(kStepSizeTag), 0.0f);
    EXPECT_FLOAT_EQ(h.get(kTempoTag), 0.8f);
    h.host().dispatch(effMainsChanged, 0, 0); // suspended: nothing to report
    h.host().clearRecords();
    h.set(kPatternTag, patternValue(0));
    EXPECT_TRUE(h.host().automations().empty());
    EXPECT_FLOAT_EQ(h.get(kRandomBeatsTag + 2), 0.3f);
    EXPECT_FLOAT_EQ(h.get(kStepSizeTag), 1.0f);
    // A program load brings back its first pattern's values and its clock's.
    h.host().dispatch(effSetProgram, 0, 1);
    EXPECT_FLOAT_EQ(h.get(kRandomBeatsTag + 2), 0.0f);
    h.host().dispatch(effSetProgram, 0, 0);
    EXPECT_FLOAT_EQ(h.get(kRandomBeatsTag + 2), 0.3f);
    EXPECT_FLOAT_EQ(h.get(kTempoTag), 0.8f);
}

TEST(Patterns, ClearRandomFillAndProgramLoads) {
    EngineHarness h;
    h.fillRow(4);
    h.engine().setVelocityValue(4, 0, 0.2f);
    h.set(kClearTag + 4, 0.999f); // not exactly 1: stored only
    h.set(kRandomFillTag + 3, 0.999f);
    EXPECT_EQ(noteRow(h, 4)[5], 255);
    EXPECT_TRUE(empty(noteRow(h, 3)));
    h.set(kClearTag + 4, 1.0f);
    EXPECT_TRUE(empty(noteRow(h, 4)));
    h.set(kRandomFillTag + 4, 1.0f);
    const auto filled = noteRow(h, 4);
    EXPECT_FALSE(empty(filled));
    EXPECT_EQ(std::count(filled.begin(), filled.end(), 0) +
                  std::count(filled.begin(), filled.end(), 1),
              32);
    h.fillRow(1);
    h.engine().pattern_clear(0);
    for (int v = 0; v < 12; ++v)
        EXPECT_TRUE(empty(noteRow(h, v))) << v;
    float values[32]; // velocities stay
    h.engine().getVelocityRow(4, values);
    EXPECT_FLOAT_EQ(values[0], 0.2f);

    // Program 1 keeps Clear and Random Fill at 1.0 (a host left them there): loading it must
    // not wipe or scramble any row, least of all program 0's.
    h.host().dispatch(effSetProgram, 0, 1);
    h.set(kClearTag + 0, 1.0f);
    h.set(kRandomFillTag + 1, 1.0f);
    h.fillRow(0, {0, 8});
    h.host().dispatch(effSetProgram, 0, 0);
    h.fillRow(0, {4});
    h.host().dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(noteRow(h, 0)[8], 255);
    EXPECT_FLOAT_EQ(h.get(kClearTag + 0), 1.0f); // the value itself is kept
    h.host().dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(noteRow(h, 0)[4], 255);
    EXPECT_TRUE(empty(noteRow(h, 1)));
}

TEST(Patterns, CopyAndPasteAcrossPatternsAndPrograms) {
    EngineHarness h;
    h.set(kPatternTag, patternValue(1));
    h.fillRow(2, {0, 3, 7});
    h.engine().setVelocityValue(2, 3, 0.33f);
    h.set(kSelectedBeatsTag + 2, 0.4f);
    h.set(kStepSizeTag, stepSizeValue(3));
    h.engine().pattern_copy(0);

    h.host().dispatch(effSetProgram, 0, 7);
    h.set(kPatternTag, patternValue(4));
    h.engine().pattern_paste();
    EXPECT_EQ(noteRow(h, 2)[7], 255);
    float values[32];
    h.engine().getVelocityRow(2, values);
    EXPECT_FLOAT_EQ(values[3], 0.33f);
    EXPECT_FLOAT_EQ(h.get(kStepSizeTag), 0.75f);
    h.set(kPatternTag, patternValue(0)); // stored with pattern 4 of program 7: away and back
    h.set(kPatternTag, patternValue(4));
    EXPECT_FLOAT_EQ(h.get(kSelectedBeatsTag + 2), 0.4f);
    h.host().dispatch(effSetProgram, 0, 0); // the source is untouched
    h.set(kPatternTag, patternValue(1));
    EXPECT_EQ(noteRow(h, 2)[3], 255);
}

TEST(Patterns, ImportFromADictionaryStopsAtAMissingOrDamagedEntry) {
    // Pattern p holds a kick on step p and (pattern 0) a modulation value; Random Beats of the
    // kick p / 100, step size 0.75.
    auto dictionary = [] {
        return patternDictionary(
            [](int p, BrakkaSequencer& seq) {
                seq.setNote(0, p, 255);
                if (p == 0) seq.registerModTag(kKickTuneTag);
                if (p == 0) seq.setModValue(kKickTuneTag, 4, 0.9f);
            },
            [](int p, unsigned tag) {
                return tag == kRandomBeatsTag ? 0.01f * p : (tag == kStepSizeTag ? 0.75f : 0.5f);
            });
    };
    EngineHarness h;
    BrakkaPatternDictionary dict = dictionary();
    h.set(kPatternTag, patternValue(5));
    const BrakkaPatternDictionary* ref = &dict;
    EXPECT_EQ(h.host().dispatch(effVendorSpecific, B::kOpcodeImportPatterns, 0, &ref, 0.0f), 0);
    EXPECT_EQ(h.engine().getCurrentPattern() + h.engine().getPendingPattern(), 0);
    EXPECT_EQ(noteRow(h, 0)[0] + noteRow(h, 0)[1], 255);
    float values[32];
    h.engine().getModRow(kKickTuneTag, values);
    EXPECT_FLOAT_EQ(values[4], 0.9f);
    h.set(kPatternTag, patternValue(7)); // pattern 7 carries its own values
    EXPECT_FLOAT_EQ(h.get(kRandomBeatsTag), 0.07f);
    EXPECT_EQ(noteRow(h, 0)[7], 255);

    // Refused: patterns before a missing one may be replaced, the current one is kept.
    BrakkaPatternDictionary missing = dictionary(), damaged = dictionary();
    missing.blocks.erase("Pattern 3");
    damaged.blocks["Pattern 0"].resize(100);
    const BrakkaPatternDictionary* bad[] = {&missing, &damaged, nullptr};
    for (const BrakkaPatternDictionary* d : bad) {
        ref = d;
        EXPECT_EQ(h.engine().vendorSpecific(B::kOpcodeImportPatterns, 0, &ref, 0.0f), -1);
    }
    EXPECT_EQ(h.engine().vendorSpecific(B::kOpcodeImportPatterns, 0, nullptr, 0.0f), -1);
    EXPECT_EQ(h.engine().getCurrentPattern(), 7);
    EXPECT_EQ(noteRow(h, 0)[7], 255);
}
