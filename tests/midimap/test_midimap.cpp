#include "BrakkaEditorSettings.h"
#include "MIDIMapFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Map = std::multimap<char, int>;
using Pairs = std::vector<std::pair<int, int>>;

namespace {

// (controller as unsigned byte, tag) in map order.
Pairs pairsOf(const Map& map) {
    Pairs out;
    for (const auto& e : map)
        out.emplace_back(static_cast<unsigned char>(e.first), e.second);
    return out;
}

Map parse(const std::string& text) {
    Map map;
    ParseMIDIMap(text.data(), text.size(), map);
    return map;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// Keeps one environment variable as it was.
struct EnvGuard {
    const char* name;
    const char* was = std::getenv(name);
    std::string value = was ? was : "";
    ~EnvGuard() { was ? setenv(name, value.c_str(), 1) : unsetenv(name); }
};

// Every test runs with XDG_CONFIG_HOME and HOME inside a fresh temporary folder, so the
// user's real configuration is never touched.
class MIDIMapFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/brakka-midimap-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        setenv("XDG_CONFIG_HOME", (root / "cfg").c_str(), 1);
        setenv("HOME", (root / "home").c_str(), 1);
        folder = root / "cfg" / "Zunder Works";
        file = folder / kMIDIMapFilename;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // Names in the vendor folder other than the assignments file (left-over temporary files).
    std::vector<std::string> strayFiles() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename() != kMIDIMapFilename) out.push_back(e.path().filename());
        return out;
    }

    EnvGuard xdg{"XDG_CONFIG_HOME"};
    EnvGuard home{"HOME"};
    fs::path root, folder, file;
};

} // namespace

TEST(MIDIMapParse, TokenPairsOfTagAndController) {
    const std::pair<std::string, Pairs> cases[] = {
        {"118 7\n", {{7, 118}}},
        {"118 7\n119 -1\n", {{7, 118}}},            // -1: an unbound tag adds nothing
        {"118\n7 119   10", {{7, 118}, {10, 119}}}, // pairs of tokens, not lines
        {"118 7 119", {{7, 118}}},                  // a last token alone is ignored
        {" \r\n \n", {}},
        {"118\r7\r\r120\r\n9", {{7, 118}, {9, 120}}}, // carriage returns separate too
        {"abc 7 12x 3y", {{3, 12}, {7, 0}}},          // read like atoi
        {"118 5\t6 9", {{5, 118}}},                   // a tab is no separator
        {"118 200", {{200, 118}}},                    // the controller's low eight bits
        {"118 255", {{255, 118}}},                    // 255 is a binding, unlike -1
        {"118 -257", {{255, 118}}},
        {std::string("118 7 ") + '\0' + "119 8", {{7, 118}}}, // the text ends at a zero byte
        // More than 4096 bytes: "118 123" straddles the limit and its controller is cut to 12.
        {std::string(4090, ' ') + "118 123\n9 9\n", {{12, 118}}},
        {"99999999999999999999 7", {{7, 2147483647}}}, // saturates instead of wrapping
    };
    for (const auto& [text, want] : cases)
        EXPECT_EQ(pairsOf(parse(text)), want) << text.substr(0, 40);
}

TEST(MIDIMapFormat, LinesInMapOrderWithSignedControllers) {
    Map map{{7, 118}, {static_cast<char>(200), 5}, {7, 119}, {0, 3}};
    char buffer[128];
    size_t n = FormatMIDIMap(map, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), "5 -56\n3 0\n118 7\n119 7\n");
    EXPECT_EQ(n, std::string(buffer).size());
    // Too small a buffer: cut, terminated, and the full length is reported.
    char small[8];
    EXPECT_EQ(FormatMIDIMap(map, small, sizeof small), n);
    EXPECT_EQ(std::string(small), "5 -56\n3");
    Map extreme{{static_cast<char>(-128), -2147483647 - 1}}; // the longest line
    EXPECT_EQ(FormatMIDIMap(extreme, buffer, sizeof buffer), kMIDIMapMaxLineBytes);
}

TEST_F(MIDIMapFileTest, FileSpecCreatesFolderAndOptionallyTheFile) {
    ASSERT_FALSE(fs::exists(root / "cfg"));
    std::string path;
    EXPECT_EQ(GetMIDIFileSpec(path, kMIDIMapFilename, false), ENOENT);
    EXPECT_EQ(path, file.string());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(GetMIDIFileSpec(path, kMIDIMapFilename, true), 0);
    EXPECT_EQ(readFile(file), "");
    // An existing file is left as it is.
    writeFile(file, "1 2\n");
    EXPECT_EQ(GetMIDIFileSpec(path, kMIDIMapFilename, true), 0);
    EXPECT_EQ(readFile(file), "1 2\n");
    // File names never leave the folder.
    EXPECT_EQ(GetMIDIFileSpec(path, "../escape.txt", true), EINVAL);
    EXPECT_EQ(GetMIDIFileSpec(path, "", true), EINVAL);
    // A file where the folder should be: nothing is created, saved or loaded.
    fs::remove_all(folder);
    writeFile(folder, "not a folder");
    EXPECT_NE(GetMIDIFileSpec(path, kMIDIMapFilename, true), 0);
    EXPECT_FALSE(SaveMIDIMap(kMIDIMapFilename, Map{{7, 118}}));
    EXPECT_EQ(readFile(folder), "not a folder");
    Map map;
    LoadMIDIMap(kMIDIMapFilename, map);
    EXPECT_TRUE(map.empty());
}

TEST_F(MIDIMapFileTest, ConfigFolderFallsBackFromXdgToHome) {
    EXPECT_EQ(GetMIDIMapFolder(), folder.string());
    const fs::path home = root / "home/.config/Zunder Works";
    // Unset, empty or relative (it would depend on the host's working folder): not used.
    for (const char* xdg : {"", "relative/cfg", static_cast<const char*>(nullptr)}) {
        xdg ? setenv("XDG_CONFIG_HOME", xdg, 1) : unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(GetMIDIMapFolder(), home.string());
    }
    std::string path;
    EXPECT_EQ(GetMIDIFileSpec(path, kMIDIMapFilename, true), 0);
    EXPECT_EQ(path, (home / kMIDIMapFilename).string());
    EXPECT_TRUE(fs::is_regular_file(path));
}

TEST_F(MIDIMapFileTest, LoadAddsWhatTheFirst4096BytesHold) {
    Map map{{7, 118}};
    LoadMIDIMap(kMIDIMapFilename, map);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(file)); // loading never creates the file
    writeFile(file, "");
    LoadMIDIMap(kMIDIMapFilename, map);
    EXPECT_EQ(pairsOf(map), (Pairs{{7, 118}}));
    writeFile(file, "119 8\r\n119 -1\r\n" + std::string(4096 - 15 - 6, ' ') + "120 123\n9 9\n");
    LoadMIDIMap(kMIDIMapFilename, map);
    EXPECT_EQ(pairsOf(map), (Pairs{{7, 118}, {8, 119}, {12, 120}}));
}

TEST_F(MIDIMapFileTest, SaveThenLoadRoundTrips) {
    Map map{{7, 118}, {7, 119}, {static_cast<char>(200), 3}, {0, 261}, {7, 2}};
    ASSERT_TRUE(SaveMIDIMap(kMIDIMapFilename, map));
    EXPECT_EQ(readFile(file), "3 -56\n261 0\n118 7\n119 7\n2 7\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    Map back;
    LoadMIDIMap(kMIDIMapFilename, back);
    EXPECT_EQ(pairsOf(back), pairsOf(map));
    // A save replaces the whole contents; an empty map leaves an empty file.
    ASSERT_TRUE(SaveMIDIMap(kMIDIMapFilename, Map{}));
    EXPECT_EQ(readFile(file), "");
    EXPECT_TRUE(strayFiles().empty());
}

// A full disk, no file descriptor left for the temporary file, a folder where the file should
// be: the old file stays as it was and no temporary file is left.
TEST_F(MIDIMapFileTest, FailedSaveKeepsTheOldFile) {
    ASSERT_TRUE(SaveMIDIMap(kMIDIMapFilename, Map{{7, 118}}));
    Map big;
    for (int c = 0; c < 128; ++c)
        big.insert({static_cast<char>(c), 100 + c});
    auto failsWithLimit = [&](int resource, rlim_t limit) {
        struct sigaction ignore = {}, old = {}; // EFBIG instead of the signal
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &old);
        struct rlimit saved, small;
        getrlimit(resource, &saved);
        small = saved;
        small.rlim_cur = limit;
        EXPECT_EQ(setrlimit(resource, &small), 0);
        const bool ok = SaveMIDIMap(kMIDIMapFilename, big);
        setrlimit(resource, &saved);
        sigaction(SIGXFSZ, &old, nullptr);
        return !ok;
    };
    EXPECT_TRUE(failsWithLimit(RLIMIT_FSIZE, 64));
    EXPECT_EQ(readFile(file), "118 7\n");
    const int lowest = dup(0);
    close(lowest);
    EXPECT_TRUE(failsWithLimit(RLIMIT_NOFILE, static_cast<rlim_t>(lowest)));
    EXPECT_EQ(readFile(file), "118 7\n");
    EXPECT_TRUE(strayFiles().empty());
    // The save works again once the fault is gone.
    EXPECT_TRUE(SaveMIDIMap(kMIDIMapFilename, big));
    Map back;
    LoadMIDIMap(kMIDIMapFilename, back);
    EXPECT_EQ(pairsOf(back), pairsOf(big));

    fs::remove(file);
    fs::create_directories(file / "inside");
    EXPECT_FALSE(SaveMIDIMap(kMIDIMapFilename, Map{{7, 118}}));
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    EXPECT_TRUE(strayFiles().empty());
}

// The editor's zoom file lives in the same folder and is saved through the same atomic path.
TEST_F(MIDIMapFileTest, EditorZoomFromFileOrDesktopScale) {
    EnvGuard scale{"GDK_SCALE"};
    const fs::path zoomFile = folder / BrakkaEditorSettings::kFileName;
    struct Case {
        const char* file;     // null: no file
        const char* gdkScale; // null: unset
        double zoom;
    };
    const Case cases[] = {
        {nullptr, nullptr, 1.0},
        {nullptr, "1.5", 1.5},
        {nullptr, "3", 2.0},      // beyond the largest zoom: the largest
        {nullptr, "2x", 1.0},     // nonsense values: 100 %
        {"zoom 150\n", "2", 1.5}, // a saved choice wins
        {"\nother 3\r\n  zoom 200 \n", nullptr, 2.0},
        {"other 3\n", "2", 2.0},  // no zoom line: no saved choice
        {"zoom 175\n", "2", 1.0}, // damaged: 100 %
        {"\x89PNG\r\n\x1a\n", "2", 1.0},
        {"zoom 200\ngarbage\n", "2", 1.0},
    };
    for (const Case& c : cases) {
        std::error_code ec;
        fs::remove(zoomFile, ec);
        if (c.file) {
            fs::create_directories(folder);
            writeFile(zoomFile, c.file);
        }
        c.gdkScale ? setenv("GDK_SCALE", c.gdkScale, 1) : unsetenv("GDK_SCALE");
        EXPECT_EQ(BrakkaEditorSettings::loadZoom(), c.zoom)
            << "file " << (c.file ? c.file : "(none)") << ", GDK_SCALE "
            << (c.gdkScale ? c.gdkScale : "(unset)");
    }

    // Saving keeps the nearest supported zoom, replaces the file whole and leaves nothing else.
    unsetenv("GDK_SCALE");
    for (double z : {1.5, 2.0, 1.0, 1.3, 9.0}) {
        ASSERT_TRUE(BrakkaEditorSettings::saveZoom(z));
        EXPECT_EQ(BrakkaEditorSettings::loadZoom(), BrakkaEditorSettings::nearestZoom(z)) << z;
    }
    EXPECT_EQ(readFile(zoomFile), "zoom 200\n");
    EXPECT_EQ(strayFiles(), std::vector<std::string>{BrakkaEditorSettings::kFileName});
}
