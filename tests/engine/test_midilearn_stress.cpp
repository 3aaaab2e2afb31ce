// MIDI learn and chunk loads against the audio thread: controllers arrive and complete learns
// on the audio thread while the editor arms and clears, the saver writes the file and the host
// loads and saves chunks. Meant to run under ThreadSanitizer as well (build it in a TSan build
// folder, as tools/tsan-check.sh does for the engine's stress test): no race, crash or deadlock.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace brakka_test;

TEST(MIDILearnStress, LearnsClicksSavesAndChunksAtOnce) {
    namespace fs = std::filesystem;
    char folder[] = "/tmp/brakka-learn-stress-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("XDG_CONFIG_HOME", folder, 1);
    {
        EngineHarness h(44100.0f, 256, true);
        Brakka& engine = h.engine();
        AEffect* effect = h.host().effect();
        h.playInternal();
        const std::vector<uint8_t> preset = h.host().getChunk(true);
        std::atomic<bool> stop{false};

        std::thread audio([&] {
            Outputs out(256);
            MidiList list{{0xB0, 0, 0}, {0xB0, 0, 0}};
            VstMidiEvent* cc = list.midi;
            for (int n = 0; !stop.load(); ++n) {
                cc[0].midiData[1] = cc[1].midiData[1] = (char)(n % 20);
                cc[0].midiData[2] = cc[1].midiData[2] = (char)(n % 128);
                effect->dispatcher(effect, effProcessEvents, 0, 0, list.events(), 0.0f);
                effect->processReplacing(effect, nullptr, out.channels, 256);
            }
        });
        std::thread editor([&] {
            for (int n = 0; !stop.load(); ++n) {
                engine.handleSpecialClick(n % 7 == 0 ? 118 : 100 + n % 30);
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        });
        std::thread host([&] {
            while (!stop.load()) {
                void* data = nullptr;
                const VstInt32 size = engine.getChunk(&data, true);
                EXPECT_EQ(size, (VstInt32)preset.size());
                std::vector<uint8_t> copy = preset;
                EXPECT_EQ(engine.setChunk(copy.data(), (VstInt32)copy.size(), true), 1);
                (void)engine.getMIDIMap();
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        stop = true;
        audio.join();
        editor.join();
        host.join();
        EXPECT_FALSE(engine.getMIDIMap().empty());
    }
    EXPECT_TRUE(fs::exists(fs::path(folder) / "Zunder Works" / "Brakka MIDI Assignments.txt"));
    fs::remove_all(folder);
    unsetenv("XDG_CONFIG_HOME");
}
