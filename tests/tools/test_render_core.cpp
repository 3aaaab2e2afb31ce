// The renderer's pieces without the plug-in: song lists and their layout on the bar grid,
// program and bank files, the Standard MIDI file writer, and outputs written through temporary
// files.
#include "render_cli.h"
#include "render_files.h"
#include "render_song.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace brakka_render;

// ---- songs -------------------------------------------------------------------------------------

TEST(Song, ParsesListsOfPatternRunsAndRejectsMalformedOnes) {
    std::vector<SongEntry> song;
    std::string error;
    ASSERT_TRUE(parseSong(" 1x4,2X2 , 16 ", song, error)) << error;
    ASSERT_EQ(song.size(), 3u);
    EXPECT_EQ(song[0].pattern * 100 + song[0].times, 104);
    EXPECT_EQ(song[1].pattern * 100 + song[1].times, 202);
    EXPECT_EQ(song[2].pattern * 100 + song[2].times, 1601); // a bare number plays once
    for (const char* bad : {"", ",", "1x4,", ",1x4", "1x", "x4", "0x1", "17x1", "1x0", "1x10000",
                            "1x4;2x2", "1x4 2x2", "1.5x2", "-1x2", "1x-2", "99999999999x1"}) {
        error.clear();
        EXPECT_FALSE(parseSong(bad, song, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Runs follow the bar grid of their patterns: one-bar runs simply add up; a two-bar pattern
// (pattern 2, "2 x 16") on an even bar plays whole passes, on an odd bar it enters in its second
// half, and that half is its first pass.
TEST(Song, RunsFollowTheBarGridOfTheirPatterns) {
    std::vector<int> bars(16, 1);
    bars[1] = 2;
    struct Case {
        std::vector<SongEntry> song;
        std::vector<long> bounds; // start and end bar of each run
    };
    const Case cases[] = {{{{1, 4}, {3, 2}}, {0, 4, 4, 6}},
                          {{{1, 2}, {2, 2}, {1, 1}}, {0, 2, 2, 6, 6, 7}},
                          {{{1, 1}, {2, 2}, {1, 1}}, {0, 1, 1, 4, 4, 5}},
                          {{{1, 3}, {2, 1}}, {0, 3, 3, 4}}};
    for (const Case& c : cases) {
        std::vector<long> bounds;
        for (const auto& run : layoutSong(c.song, bars))
            bounds.insert(bounds.end(), {run.startBar, run.endBar});
        EXPECT_EQ(bounds, c.bounds);
    }
}

// ---- program and bank files ------------------------------------------------------------------

namespace {

void putBE32(std::vector<uint8_t>& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back((uint8_t)(v >> shift));
}

std::vector<uint8_t> fxFile(const char* magic, size_t chunkSize, uint32_t declared) {
    std::vector<uint8_t> s = {'C', 'c', 'n', 'K'};
    putBE32(s, 0); // some writers leave the byte size 0; it is not relied on
    s.insert(s.end(), magic, magic + 4);
    putBE32(s, 1);
    putBE32(s, 0x5A55626B);
    putBE32(s, 7);
    putBE32(s, 48);
    if (std::string(magic) == "FPCh") {
        const char name[28] = "Four on the floor";
        s.insert(s.end(), name, name + 28);
    } else {
        s.insert(s.end(), 128, 0);
    }
    putBE32(s, declared);
    for (size_t i = 0; i < chunkSize; ++i)
        s.push_back((uint8_t)i);
    return s;
}

} // namespace

TEST(FxFile, ReadsOpaqueProgramsAndBanks) {
    FxFile f;
    std::string error;
    ASSERT_TRUE(parseFxFile(fxFile("FPCh", 300, 300), f, error)) << error;
    EXPECT_EQ(f.kind, FxKind::Program);
    EXPECT_EQ(f.pluginId, 0x5A55626B);
    EXPECT_EQ(f.pluginVersion, 7);
    EXPECT_EQ(f.programName, "Four on the floor");
    ASSERT_EQ(f.chunk.size(), 300u);
    EXPECT_EQ(f.chunk[0], 0);
    EXPECT_EQ(f.chunk[299], (uint8_t)299);

    // A bank whose file carries more bytes than the chunk: only the chunk is handed over.
    ASSERT_TRUE(parseFxFile(fxFile("FBCh", 100, 60), f, error)) << error;
    EXPECT_EQ(f.kind, FxKind::Bank);
    EXPECT_EQ(f.chunk.size(), 60u);
}

TEST(FxFile, RejectsWhatItCannotHandOver) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> wrongMagic = fxFile("FBCh", 10, 10);
    wrongMagic[0] = 'X';
    std::vector<uint8_t> headerOnly = fxFile("FBCh", 0, 0);
    headerOnly.resize(100);
    const Case cases[] = {
        {{}, "CcnK"},
        {wrongMagic, "CcnK"},
        {fxFile("FxCk", 10, 10), "parameter list"},
        {fxFile("FxBk", 10, 10), "parameter list"},
        {fxFile("ABCD", 10, 10), "unknown"},
        {headerOnly, "too short"},
        {fxFile("FBCh", 10, 11), "does not fit"},
        {fxFile("FPCh", 10, 0xFFFFFFFF), "does not fit"},
        {fxFile("FPCh", 0, 0), "does not fit"},
    };
    for (const Case& c : cases) {
        FxFile f;
        std::string error;
        EXPECT_FALSE(parseFxFile(c.bytes, f, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// ---- Standard MIDI file ------------------------------------------------------------------------

TEST(MidiFile, HeaderTempoTimeSignatureAndTrackLength) {
    const auto file = buildMidiFile({}, 120.0, 44100.0, 88200);
    const std::vector<uint8_t> header = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                         0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
    ASSERT_GE(file.size(), header.size() + 4);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
    const uint32_t length =
        ((uint32_t)file[18] << 24) | (file[19] << 16) | (file[20] << 8) | file[21];
    EXPECT_EQ(length, file.size() - 22);
    const std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // 500000 us
                                        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18,
                                        0x08, 0x8F, 0x00, 0xFF, 0x2F, 0x00}; // end after 1920 ticks
    EXPECT_TRUE(std::equal(track.begin(), track.end(), file.begin() + 22));
}

// The note-off of 42 shares its tick with the note-on of 38 and comes first; the last note-off
// lies 43 537 ticks in, a three-byte delta. Swing can bring a step in before the note of the step
// before has ended: the note then ends just before it is struck again (tick 22, not 60); the
// note-off of a key not sounding is dropped.
TEST(MidiFile, SamplesBecomeTicksAndNoteOffsComeFirst) {
    EXPECT_EQ(samplesToTicks(2756, 120.0, 44100.0), 60); // 59.99 rounds to the nearest tick
    EXPECT_EQ(samplesToTicks(48000, 90.0, 48000.0), 720);
    const std::vector<MidiMessage> sent = {
        {0, {0x90, 36, 127}, 3},     {2756, {0x80, 36, 64}, 3},  {1000, {0x90, 36, 100}, 3},
        {3756, {0x80, 36, 64}, 3},   {4000, {0x80, 38, 64}, 3},  {11025, {0x90, 42, 90}, 3},
        {22050, {0x90, 38, 100}, 3}, {22050, {0x80, 42, 64}, 3}, {2000000, {0x80, 38, 64}, 3}};
    const auto file = buildMidiFile(sent, 120.0, 44100.0, 0);
    const std::vector<uint8_t> events = {0x00, 0x90, 36,   127,  22, 0x80, 36,   64,   0x00, 0x90,
                                         36,   100,  60,   0x80, 36, 64,   0x81, 0x1E, 0x90, 42,
                                         90,   0x81, 0x70, 0x80, 42, 64,   0x00, 0x90, 38,   100,
                                         0x82, 0xD0, 0x31, 0x80, 38, 64,   0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(file.size(), 22u + 15 + events.size());
    EXPECT_TRUE(std::equal(events.begin(), events.end(), file.begin() + 22 + 15));
}

// ---- outputs ---------------------------------------------------------------------------------

TEST(Outputs, StemNamesSitBeforeTheExtension) {
    EXPECT_EQ(stemName("out/take.2.wav", "-A"), "out/take.2-A.wav");
    EXPECT_EQ(stemName("out.d/take", "-B"), "out.d/take-B.wav");
}

TEST(Outputs, FilesAppearOnlyWhenCommitted) {
    render_test::TempFolder dir;
    const std::string target = dir.file("out.mid");
    std::string error;
    {
        PendingFile pending;
        ASSERT_GE(pending.create(target, error), 0) << error;
        EXPECT_EQ(dir.entries().size(), 1u); // the temporary file only
        EXPECT_FALSE(std::filesystem::exists(target));
    } // never committed: removed
    EXPECT_TRUE(dir.entries().empty());

    std::ofstream(target) << "old";
    ASSERT_TRUE(writeFileAtomically(target, {1, 2, 3}, error)) << error;
    EXPECT_EQ(render_test::readBytes(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.mid"});

    WavWriter wav;
    ASSERT_TRUE(wav.open(dir.file("x.wav"), 44100, false, error)) << error;
    const float left[3] = {0.5f, 2.0f, -0.25f}, right[3] = {0.0f, -3.0f, 0.0f};
    ASSERT_TRUE(wav.write(left, right, 3, error)) << error;
    EXPECT_DOUBLE_EQ(wav.peak(), 3.0);
    wav.discard();
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.mid"});

    // 24-bit samples beyond full scale are clipped, not wrapped around.
    ASSERT_TRUE(wav.open(dir.file("x.wav"), 44100, false, error)) << error;
    ASSERT_TRUE(wav.write(left, right, 3, error)) << error;
    ASSERT_TRUE(wav.finish(error)) << error;
    render_test::Wav read;
    ASSERT_TRUE(render_test::readWav(dir.file("x.wav"), read));
    ASSERT_EQ(read.frames(), 3);
    EXPECT_NEAR(read.samples[2], 1.0f, 1e-6f);
    EXPECT_NEAR(read.samples[3], -1.0f, 1e-6f);
    EXPECT_NEAR(read.samples[4], -0.25f, 1e-6f);
}
