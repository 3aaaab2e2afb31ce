// The serialized pattern block: layout, size rule, round trip and damaged blocks.
#include "BrakkaSequencer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::set<unsigned> modulatableTags() {
    std::set<unsigned> tags;
    for (unsigned t = 0; t <= 107; ++t)
        tags.insert(t);
    for (unsigned t = 130; t <= 141; ++t)
        tags.insert(t);
    return tags;
}

std::vector<char> blockOf(const BrakkaSequencer& seq) {
    std::vector<char> b(seq.getSize(false));
    seq.getAllData(b.data());
    return b;
}

uint32_t u32At(const std::vector<char>& b, size_t pos) {
    uint32_t v;
    std::memcpy(&v, b.data() + pos, 4);
    return v;
}

// Byte by byte through at(): bounds-checked, and clear of a false overflow warning on memcpy.
template <class T>
void put(std::vector<char>& b, size_t pos, T v) {
    char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    for (size_t i = 0; i < sizeof v; ++i)
        b.at(pos + i) = bytes[i];
}
void putU32(std::vector<char>& b, size_t pos, uint32_t v) {
    put(b, pos, v);
}

float floatAt(const std::vector<char>& b, size_t pos) {
    float v;
    std::memcpy(&v, b.data() + pos, 4);
    return v;
}

void putFloat(std::vector<char>& b, size_t pos, float v) {
    put(b, pos, v);
}

// Where the variable sections of a block start, found by walking it.
struct Sections {
    size_t voiceCount[12];
    size_t rowCount;
    size_t rows;
    size_t flags;
    size_t end;
};

Sections sectionsOf(const std::vector<char>& b) {
    Sections s;
    size_t pos = 1932;
    for (int v = 0; v < 12; ++v) {
        s.voiceCount[v] = pos;
        pos += 4 + 4 * u32At(b, pos);
    }
    s.rowCount = pos;
    uint32_t m = u32At(b, pos);
    s.rows = pos + 4;
    s.flags = s.rows + 132 * m;
    s.end = s.flags + 5 * m;
    return s;
}

// A pattern that uses every part of the block.
BrakkaSequencer richPattern(bool allRows) {
    BrakkaSequencer seq;
    if (allRows) seq.initModulators(modulatableTags());
    for (int v = 0; v < 12; ++v) {
        for (int i = 0; i < 32; ++i) {
            seq.setNote(v, i, (unsigned char)((v * 7 + i * 3) % 5 == 0 ? 255 : (i % 7 == 0)));
            seq.setVelocityValue(v, i, (float)((v * 32 + i) % 97) / 97.0f);
        }
        seq.setVelocityRandomOnLoop(v, v % 3 == 1);
    }
    for (unsigned tag : {0u, 13u, 14u, 82u, 86u, 107u, 130u, 141u, 60u})
        seq.registerModTag(tag);
    for (unsigned tag : {1u, 13u, 50u, 99u, 135u}) {
        for (int i = 0; i < 32; ++i)
            seq.setModValue(tag, i, (float)((tag + i) % 11) / 10.0f);
    }
    seq.setModRandomOnLoop(13, true);
    seq.setModRandomOnLoop(135, true);
    return seq;
}

// A pattern with its own distinct content, to see that a failed load leaves it alone.
BrakkaSequencer targetPattern() {
    BrakkaSequencer seq;
    seq.setNote(0, 0, 255);
    seq.setVelocityValue(3, 3, 0.125f);
    seq.setVelocityRandomOnLoop(2, true);
    seq.registerModTag(40);
    seq.setModValue(7, 7, 0.875f);
    seq.setModRandomOnLoop(7, true);
    seq.setSelectedBeats(4, 99);
    seq.setStepTicks(6);
    seq.setSequenceLength(16);
    seq.setCurrent96th(30);
    return seq;
}

TEST(SequencerBlock, SizeRule) {
    BrakkaSequencer seq;
    EXPECT_EQ(seq.getSize(false), 1984u);
    EXPECT_EQ(seq.getSize(true), 1984u);
    seq.initModulators(modulatableTags());
    EXPECT_EQ(seq.getSize(false), 18424u);
    seq.registerModTag(3);
    seq.registerModTag(131);
    seq.registerModTag(132);
    EXPECT_EQ(seq.getSize(false), 18424u + 12u);
    EXPECT_EQ(blockOf(seq).size(), seq.getSize());

    BrakkaSequencer fewRows;
    fewRows.setModValue(5, 0, 0.1f);
    fewRows.registerModTag(131); // registering gives the tag a row too
    EXPECT_EQ(fewRows.getSize(), 1984u + 4u + 2u * 137u);
}

TEST(SequencerBlock, FreshPatternLayout) {
    std::vector<char> b = blockOf(BrakkaSequencer());
    ASSERT_EQ(b.size(), 1984u);
    for (size_t i = 0; i < 384; ++i)
        ASSERT_EQ(b[i], 0) << i;
    for (size_t i = 384; i < 1920; i += 4)
        ASSERT_EQ(floatAt(b, i), 0.7f) << i;
    for (size_t i = 1920; i < 1984; ++i)
        ASSERT_EQ(b[i], 0) << i;
}

TEST(SequencerBlock, LayoutByteForByte) {
    BrakkaSequencer seq;
    seq.setNote(1, 2, 255);
    seq.setVelocityValue(2, 3, 0.25f);
    seq.setVelocityRandomOnLoop(11, true);
    seq.registerModTag(136); // voice 6, registered out of order
    seq.registerModTag(82);
    seq.registerModTag(131); // voice 1
    seq.setModValue(5, 31, 0.75f);
    seq.setModRandomOnLoop(5, true);

    std::vector<char> b = blockOf(seq);
    ASSERT_EQ(b.size(), 1932u + 12u * 4u + 3u * 4u + 4u + 4u * 137u);
    EXPECT_EQ((unsigned char)b[32 + 2], 255);
    EXPECT_EQ(floatAt(b, 384 + 2 * 128 + 3 * 4), 0.25f);
    EXPECT_EQ(b[1920 + 11], 1);
    EXPECT_EQ(b[1920 + 10], 0);

    size_t p = 1932;
    const uint32_t expectedCounts[12] = {0, 1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0};
    for (int v = 0; v < 12; ++v) {
        ASSERT_EQ(u32At(b, p), expectedCounts[v]) << v;
        p += 4;
        if (v == 1) {
            EXPECT_EQ(u32At(b, p), 131u);
        }
        if (v == 6) {
            EXPECT_EQ(u32At(b, p), 82u);
            EXPECT_EQ(u32At(b, p + 4), 136u);
        }
        p += 4 * expectedCounts[v];
    }
    ASSERT_EQ(u32At(b, p), 4u);
    p += 4;
    const uint32_t rowTags[4] = {5, 82, 131, 136}; // ascending, pans after the sound tags
    for (uint32_t tag : rowTags) {
        EXPECT_EQ(u32At(b, p), tag);
        for (int i = 0; i < 32; ++i) {
            float expected = (tag == 5 && i == 31) ? 0.75f : 0.5f;
            EXPECT_EQ(floatAt(b, p + 4 + 4 * i), expected) << tag << " " << i;
        }
        p += 132;
    }
    for (uint32_t tag : rowTags) {
        EXPECT_EQ(u32At(b, p), tag);
        EXPECT_EQ(b[p + 4], tag == 5 ? 1 : 0);
        p += 5;
    }
    EXPECT_EQ(p, b.size());
}

TEST(SequencerBlock, RoundTripRestoresEverythingTheBlockCarries) {
    const BrakkaSequencer source = richPattern(true);
    const std::vector<char> b = blockOf(source);

    BrakkaSequencer loaded = targetPattern();
    size_t consumed = 0;
    ASSERT_TRUE(loaded.setAllData(b.data(), b.size(), modulatableTags(), false, &consumed));
    EXPECT_EQ(consumed, b.size());
    EXPECT_EQ(blockOf(loaded), b);

    for (int v = 0; v < 12; ++v) {
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(loaded.getNote(v, i), source.getNote(v, i));
            EXPECT_EQ(loaded.getVelocityValue(v, i), source.getVelocityValue(v, i));
        }
        EXPECT_EQ(loaded.getVelocityRandomOnLoop(v), source.getVelocityRandomOnLoop(v));
        unsigned a[120], c[120];
        int n = source.getVoiceModTags(v, a, 120);
        ASSERT_EQ(loaded.getVoiceModTags(v, c, 120), n);
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(a[k], c[k]);
    }
    EXPECT_TRUE(loaded.isModTagRegistered(0, 13));
    EXPECT_FALSE(loaded.isModTagRegistered(0, 40)); // the target's own tag is gone
    for (unsigned tag : modulatableTags()) {
        EXPECT_EQ(loaded.getModRandomOnLoop(tag), source.getModRandomOnLoop(tag)) << tag;
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(loaded.getModValue(tag, i), source.getModValue(tag, i));
    }

    // clock, length and probabilities are not part of the block
    EXPECT_EQ(loaded.getStepTicks(), 6);
    EXPECT_EQ(loaded.getSequenceLength(), 16);
    EXPECT_EQ(loaded.getCurrentTick(), 30u);
    EXPECT_EQ(loaded.getCurrentStep(), 5);
    EXPECT_EQ(loaded.getSelectedBeats(4), 99);
}

TEST(SequencerBlock, LoadGivesEveryModulatableTagARow) {
    const BrakkaSequencer source = richPattern(false);
    const std::vector<char> b = blockOf(source);
    BrakkaSequencer loaded = targetPattern();
    ASSERT_TRUE(loaded.setAllData(b.data(), b.size(), modulatableTags()));
    EXPECT_EQ(loaded.getModRowCount(), 120);
    EXPECT_EQ(loaded.getSize(), 18424u + 4u * 9u);
    // the target's row and flag of tag 7 were not in the block: neutral and cleared now
    EXPECT_EQ(loaded.getModValue(7, 7), 0.5f);
    EXPECT_FALSE(loaded.getModRandomOnLoop(7));
    EXPECT_TRUE(loaded.getModRandomOnLoop(135));
    EXPECT_EQ(loaded.getModValue(99, 3), source.getModValue(99, 3));

    // with a smaller set of modulatable tags only those get rows
    std::vector<char> fresh = blockOf(BrakkaSequencer());
    ASSERT_TRUE(loaded.setAllData(fresh.data(), fresh.size(), {1, 2, 130}));
    EXPECT_EQ(loaded.getModRowCount(), 3);
    EXPECT_TRUE(loaded.hasModRow(130));
    EXPECT_FALSE(loaded.hasModRow(7));
}

TEST(SequencerBlock, BlocksBackToBack) {
    const std::vector<char> first = blockOf(richPattern(false));
    const std::vector<char> second = blockOf(targetPattern());
    std::vector<char> chunk(first);
    chunk.insert(chunk.end(), second.begin(), second.end());

    EXPECT_EQ(BrakkaSequencer::validateAllData(chunk.data(), chunk.size(), modulatableTags()),
              first.size());
    BrakkaSequencer seq;
    size_t consumed = 0;
    ASSERT_TRUE(seq.setAllData(chunk.data(), chunk.size(), modulatableTags(), false, &consumed));
    ASSERT_EQ(consumed, first.size());
    ASSERT_TRUE(seq.setAllData(chunk.data() + consumed, chunk.size() - consumed, modulatableTags(),
                               false, &consumed));
    EXPECT_EQ(consumed, second.size());
    EXPECT_EQ(seq.getNote(0, 0), 255);
    EXPECT_TRUE(seq.isModTagRegistered(3, 40));
}

TEST(SequencerBlock, TruncatedBlocksChangeNothing) {
    const std::vector<char> b = blockOf(richPattern(true));
    const Sections s = sectionsOf(b);
    ASSERT_EQ(s.end, b.size());
    BrakkaSequencer seq = targetPattern();
    const std::vector<char> before = blockOf(seq);

    for (size_t len = 0; len < b.size(); ++len) {
        ASSERT_EQ(BrakkaSequencer::validateAllData(b.data(), len, modulatableTags()), 0u) << len;
        size_t consumed = 12345;
        ASSERT_FALSE(seq.setAllData(b.data(), len, modulatableTags(), false, &consumed)) << len;
        ASSERT_EQ(consumed, 12345u);
    }
    EXPECT_EQ(blockOf(seq), before);
    EXPECT_EQ(seq.getCurrentTick(), 30u);
    EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), modulatableTags()), b.size());
    EXPECT_FALSE(seq.setAllData(nullptr, 100000, modulatableTags()));
    EXPECT_EQ(BrakkaSequencer::validateAllData(nullptr, 100000, modulatableTags()), 0u);
}

TEST(SequencerBlock, CountsTooLargeAreDamage) {
    const std::vector<char> good = blockOf(richPattern(false));
    const Sections s = sectionsOf(good);
    BrakkaSequencer seq = targetPattern();
    const std::vector<char> before = blockOf(seq);

    auto expectDamaged = [&](std::vector<char> b, const char* what) {
        b.resize(b.size() + 200000, 0); // plenty of data behind, so only the count is at fault
        EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), modulatableTags()), 0u)
            << what;
        EXPECT_FALSE(seq.setAllData(b.data(), b.size(), modulatableTags())) << what;
        EXPECT_EQ(blockOf(seq), before) << what;
    };

    std::vector<char> b = good;
    putU32(b, s.voiceCount[0], 121);
    expectDamaged(b, "voice tag count 121");
    putU32(b, s.voiceCount[0], 0xFFFFFFFFu);
    expectDamaged(b, "voice tag count 2^32-1");
    b = good;
    putU32(b, s.voiceCount[11], 0x40000001u); // 4 * n wraps a 32-bit product
    expectDamaged(b, "voice tag count that wraps");
    b = good;
    putU32(b, s.rowCount, 121);
    expectDamaged(b, "row count 121");
    putU32(b, s.rowCount, 0xFFFFFFFFu);
    expectDamaged(b, "row count 2^32-1");

    // 121 tags, all of them sound ones: still more than a voice can hold
    b = blockOf(BrakkaSequencer());
    putU32(b, 1932, 121);
    b.insert(b.begin() + 1936, 121 * 4, 0);
    expectDamaged(b, "121 valid tags");
    putU32(b, 1932, 120); // 120 (here the same tag again and again) is within bounds
    b.erase(b.begin() + 1936, b.begin() + 1940);
    EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), modulatableTags()), b.size());

    // a row count one above what the block holds runs past its end
    b = good;
    putU32(b, s.rowCount, u32At(good, s.rowCount) + 1);
    EXPECT_FALSE(seq.setAllData(b.data(), b.size(), modulatableTags()));
    EXPECT_EQ(blockOf(seq), before);
}

TEST(SequencerBlock, UnknownTagsAreDamage) {
    const std::vector<char> good = blockOf(richPattern(false));
    const Sections s = sectionsOf(good);
    ASSERT_GE(u32At(good, s.voiceCount[6]), 1u);
    BrakkaSequencer seq = targetPattern();
    const std::vector<char> before = blockOf(seq);

    auto expectDamaged = [&](size_t pos, uint32_t tag, const std::set<unsigned>& tags) {
        std::vector<char> b = good;
        putU32(b, pos, tag);
        EXPECT_EQ(BrakkaSequencer::validateAllData(b.data(), b.size(), tags), 0u) << tag;
        EXPECT_FALSE(seq.setAllData(b.data(), b.size(), tags)) << tag;
        EXPECT_EQ(blockOf(seq), before) << tag;
    };
    const size_t voiceTag = s.voiceCount[6] + 4;
    const size_t lastFlagTag = s.end - 5;
    for (uint32_t tag : {108u, 129u, 142u, 262u, 5000u, 0xFFFFFFFFu}) {
        expectDamaged(voiceTag, tag, modulatableTags());
        expectDamaged(s.rows, tag, modulatableTags());
        expectDamaged(lastFlagTag, tag, modulatableTags());
    }
    // a modulatable tag the caller does not offer is unknown as well
    std::set<unsigned> without82 = modulatableTags();
    without82.erase(82);
    expectDamaged(voiceTag, 82, without82);
    expectDamaged(s.rows, 82, without82);
    expectDamaged(lastFlagTag, 82, without82);
    expectDamaged(s.rows, 82, {}); // nothing modulatable at all
}

TEST(SequencerBlock, OddButSoundValues) {
    std::vector<char> b = blockOf(richPattern(false));
    const Sections s = sectionsOf(b);
    putFloat(b, 384, 2.0f);
    putFloat(b, 388, -1.0f);
    putFloat(b, 392, NAN);
    putFloat(b, s.rows + 4, NAN);
    putFloat(b, s.rows + 8, 9.0f);
    b[s.flags + 4] = 7; // any non-zero byte sets the flag
    b[1920] = 9;
    const uint32_t firstRowTag = u32At(b, s.rows);
    const uint32_t firstFlagTag = u32At(b, s.flags);
    // the same tag twice in one voice's set counts once
    putU32(b, s.voiceCount[6] + 8, u32At(b, s.voiceCount[6] + 4));

    BrakkaSequencer seq;
    ASSERT_TRUE(seq.setAllData(b.data(), b.size(), modulatableTags()));
    EXPECT_EQ(seq.getVelocityValue(0, 0), 1.0f);
    EXPECT_EQ(seq.getVelocityValue(0, 1), 0.0f);
    EXPECT_EQ(seq.getVelocityValue(0, 2), 0.0f);
    EXPECT_EQ(seq.getModValue(firstRowTag, 0), 0.5f);
    EXPECT_EQ(seq.getModValue(firstRowTag, 1), 1.0f);
    EXPECT_TRUE(seq.getModRandomOnLoop(firstFlagTag));
    EXPECT_TRUE(seq.getVelocityRandomOnLoop(0));
    EXPECT_EQ(seq.getVoiceModTagCount(6), 1);
    std::vector<char> again = blockOf(seq);
    EXPECT_EQ(again[1920], 9); // the loop bytes are carried as they are
}

} // namespace
