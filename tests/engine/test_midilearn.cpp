// MIDI learn through the host's event call and the editor's modifier click: the learn state
// machine, learnt controllers driving parameters, and the assignments file (read at start,
// written by the engine's saver thread within a second).
#include "engine_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace brakka_test;

namespace {

using Map = std::multimap<char, int>;
using Events = std::vector<std::string>;
const int kKickLevel = kLevelTag, kSnare9Level = kLevelTag + 1, kSnare8Level = kLevelTag + 2;

// The assignments file lives in a fresh configuration folder for each test.
class MIDILearn : public ::testing::Test {
protected:
    void SetUp() override {
        // Every test ends its learns, so the process-wide last controller is free again.
        ASSERT_EQ(Brakka::getLastCtrl(), 255);
        start();
    }
    void start() {
        h = std::make_unique<EngineHarness>();
        h->engine().setEditorInterface(&editor);
    }
    Brakka& e() { return h->engine(); }
    // A controller and the block it acts in.
    void cc(int controller, int value) {
        h->host().sendMidi(0xB0, controller, value);
        h->host().process(16);
    }
    void learn(int tag, int controller) {
        e().handleSpecialClick(tag);
        cc(controller, 10);
        cc(controller, 20);
        h->host().process(16); // a block lost to the saver's lock hold would delay the events
    }
    // Waits up to a second for the file to hold `expected`; returns what it holds then.
    std::string fileAfterSave(const std::string& expected) {
        std::string text;
        for (int i = 0; i < 100 && text != expected; ++i) {
            if (i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::ostringstream read;
            read << std::ifstream(config.file, std::ios::binary).rdbuf();
            text = read.str();
        }
        return text;
    }

    ConfigFolder config;
    RecordingEditor editor;
    std::unique_ptr<EngineHarness> h;
};

} // namespace

TEST_F(MIDILearn, TwoMessagesInARowFromOneControllerBindIt) {
    const float level = h->get(kKickLevel);
    e().handleSpecialClick(kKickLevel);
    EXPECT_EQ(e().getLearnState(), 1u);
    cc(7, 100);
    EXPECT_EQ(Brakka::getLastCtrl(), 7);
    cc(123, 1); // controllers 123 and 126 never reach learning
    cc(126, 1);
    EXPECT_EQ(Brakka::getLastCtrl(), 7);
    cc(10, 100);
    cc(10, 100);
    EXPECT_EQ(e().getMIDIMap(), (Map{{10, kKickLevel}}));
    EXPECT_EQ(e().getLearnState(), 0u);
    EXPECT_EQ(Brakka::getLastCtrl(), 255);
    EXPECT_EQ(h->get(kKickLevel), level) << "messages while armed are not applied";
    EXPECT_EQ(editor.events, (Events{"on 118", "off 118"}));
    EXPECT_EQ(fileAfterSave("118 10\n"), "118 10\n");

    // Now controller 10 drives the level; others change nothing.
    cc(10, 127);
    EXPECT_FLOAT_EQ(h->get(kKickLevel), 1.0f);
    cc(10, 64);
    for (int c : {7, 123, 126})
        cc(c, 0);
    EXPECT_NEAR(h->get(kKickLevel), 64 / 127.0f, 1e-6);
}

TEST_F(MIDILearn, OneControllerDrivesSeveralTagsAndClicksArmMoveAndClear) {
    learn(kSnare9Level, 7);
    learn(kKickLevel, 7);
    learn(kKickLevel, 7); // the same pair twice keeps one line
    learn(kSnare8Level, 3);
    EXPECT_EQ(e().getMIDIMap(), (Map{{3, kSnare8Level}, {7, kSnare9Level}, {7, kKickLevel}}));
    EXPECT_EQ(fileAfterSave("120 3\n119 7\n118 7\n"), "120 3\n119 7\n118 7\n");
    const float other = h->get(kSnare8Level);
    cc(7, 127);
    EXPECT_FLOAT_EQ(h->get(kKickLevel), 1.0f);
    EXPECT_FLOAT_EQ(h->get(kSnare9Level), 1.0f);
    EXPECT_EQ(h->get(kSnare8Level), other);

    // Clicks outside the learnable tags do nothing; a click on another control moves the
    // arming; a second click on the armed control removes its bindings and rewrites the file.
    editor.events.clear();
    e().handleSpecialClick(kMIDIOutputOnlyTag);
    e().handleSpecialClick(-1);
    EXPECT_EQ(e().getLearnState(), 0u);
    e().handleSpecialClick(kSnare8Level);
    e().handleSpecialClick(kKickLevel);
    EXPECT_EQ(e().getLearnTag(), kKickLevel);
    e().handleSpecialClick(kKickLevel);
    EXPECT_EQ(e().getLearnState(), 0u);
    EXPECT_EQ(e().getMIDIMap(), (Map{{3, kSnare8Level}, {7, kSnare9Level}}));
    EXPECT_EQ(editor.events, (Events{"on 120", "off 120", "on 118", "off 118"}));
    EXPECT_EQ(fileAfterSave("120 3\n119 7\n"), "120 3\n119 7\n");
}

TEST_F(MIDILearn, TheFileIsReadAtStartAndALastLearnIsSavedAtClose) {
    h.reset();
    std::filesystem::create_directories(config.file.parent_path());
    std::ofstream(config.file, std::ios::binary) << "118 7\r\n119 -1\r\n120 300\n121";
    start();
    // -1 skips the pair; 300 keeps its low 8 bits (44); the lone last number is ignored.
    EXPECT_EQ(e().getMIDIMap(), (Map{{7, kKickLevel}, {44, kSnare8Level}}));
    cc(7, 127);
    EXPECT_FLOAT_EQ(h->get(kKickLevel), 1.0f);
    learn(kLevelTag + 4, 12); // closed at once: still saved, and read by the next instance
    h.reset();
    EXPECT_EQ(fileAfterSave("118 7\n122 12\n120 44\n"), "118 7\n122 12\n120 44\n");
    start();
    EXPECT_EQ(e().getMIDIMap(), (Map{{7, kKickLevel}, {12, kLevelTag + 4}, {44, kSnare8Level}}));
}
