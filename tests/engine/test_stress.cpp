// The audio thread against the host's other threads: program changes, pattern edits, switches,
// copy and paste, imports and parameter storms while blocks are rendered. Built with
// ThreadSanitizer by tools/tsan-check.sh; it must report no race, and nothing may crash or
// deadlock. The audio thread never waits: a block it cannot take is silent.
#include "BrakkaEditor.h"
#include "CHighlightFrame.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace brakka_test;

namespace {

double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

TEST(Stress, AudioThreadAgainstEditsAndParameterStorms) {
    EngineHarness h(44100.0f, 256);
    Brakka& engine = h.engine();
    h.set(Brakka::kTagSync, syncValue(1));
    h.set(Brakka::kTagPlay, 1.0f);

    const BrakkaPatternDictionary dict =
        patternDictionary([](int p, BrakkaSequencer& seq) { seq.setNote(p % 12, p, 255); },
                          [](int, unsigned) { return 0.5f; });

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<bool> finite{true};
    std::atomic<long> audible{0};
    const double seconds = 2.0;

    std::thread audio([&] {
        Outputs out(256);
        MidiList midi{{0x90, 36, 100}};
        VstMidiEvent& note = midi.midi[0];
        AEffect* e = h.host().effect();
        long n = 0;
        while (!stop.load()) {
            note.midiData[1] = (char)(n % 3 == 0 ? 36 : (n % 3 == 1 ? 62 : 42));
            e->dispatcher(e, effProcessEvents, 0, 0, midi.events(), 0.0f);
            e->processReplacing(e, nullptr, out.channels, 256);
            bool sound = false;
            for (int c = 0; c < 12; ++c) {
                if (!std::isfinite(out.channels[c][n % 256])) finite = false;
                sound = sound || out.channels[c][255] != 0.0f;
            }
            if (sound) ++audible;
            ++n;
            // A real audio thread waits for its next period.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        blocks = n;
    });

    std::thread editor([&] {
        auto start = std::chrono::steady_clock::now();
        int i = 0;
        while (secondsSince(start) < seconds) {
            switch (i % 12) {
            case 0:
                h.host().dispatch(effSetProgram, 0, i % 48);
                break;
            case 1:
                engine.setNote(i % 12, i % 32, (i & 1) ? 255 : 0);
                engine.setVelocityValue(i % 12, i % 32, (i % 100) * 0.01f);
                break;
            case 2:
                engine.pattern_copy(0);
                break;
            case 3:
                engine.pattern_paste();
                break;
            case 4:
                engine.setCurrentPatternDeferred(i % 16);
                break;
            case 5:
                engine.fillModValues(i % 108, i % 5);
                engine.setModSequenceValue(130 + i % 12, i % 32, 0.3f);
                break;
            case 6: {
                const BrakkaPatternDictionary* ref = &dict;
                engine.vendorSpecific(34567, 0, &ref, 0.0f);
                break;
            }
            case 7: {
                char name[64];
                engine.setProgramName(const_cast<char*>("stress"));
                engine.getProgramName(name);
                h.host().getString(effGetParamDisplay, i % 263);
                break;
            }
            case 8:
                engine.pattern_clear(0);
                engine.unregisterAllModTags();
                break;
            case 9: {
                unsigned char row[32];
                float values[32];
                engine.getNoteRow(i % 12, row);
                engine.getModRow(i % 108, values);
                engine.getTempo();
                break;
            }
            case 10:
                h.host().dispatch(effSetSampleRate, 0, 0, nullptr, (i & 2) ? 48000.0f : 44100.0f);
                break;
            default:
                h.set(Brakka::kTagSolo + i % 12, (i & 4) ? 1.0f : 0.0f);
                break;
            }
            ++i;
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });

    std::thread storm([&] {
        auto start = std::chrono::steady_clock::now();
        unsigned k = 1;
        while (secondsSince(start) < seconds) {
            k = k * 1103515245u + 12345u;
            int tag = (int)(k % 263);
            if (tag == Brakka::kTagStop || tag == Brakka::kTagSync) continue;
            float value = (float)((k >> 8) % 1000) / 999.0f;
            h.set(tag, value);
            if (h.get(tag) != value && tag != Brakka::kTagPlay) {
                // Another thread may have changed it (solo, pattern values): only finite.
                EXPECT_TRUE(std::isfinite(h.get(tag)));
            }
        }
    });

    editor.join();
    storm.join();
    stop = true;
    audio.join();
    EXPECT_GT(blocks.load(), 10);
    EXPECT_GT(audible.load(), 0);
    std::printf("audio blocks during the storm: %ld, with sound: %ld, lost to the lock: %ld\n",
                blocks.load(), audible.load(), engine.getMissedBlockCount());
    EXPECT_TRUE(finite.load());
    // Still responsive and consistent afterwards.
    h.set(Brakka::kTagTempo, 0.35f);
    EXPECT_FLOAT_EQ(h.get(Brakka::kTagTempo), 0.35f);
    h.host().process(256);
}

// The editor against the audio thread: blocks play and learn controllers (the engine tells the
// editor of steps, rows, pattern switches, parameters and learn highlights from there), while
// the user-interface thread opens the editor, idles it, clicks through its frame (steps, knobs,
// the voice selector, the value row, the pattern selector, a Ctrl+Alt learn click) and closes
// it again, over and over. Nothing may race, crash or touch a released view.
TEST(Stress, EditorAgainstTheAudioThread) {
    namespace L = brakka_layout;
    char folder[] = "/tmp/brakka-editor-stress-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("XDG_CONFIG_HOME", folder, 1); // learnt bindings are saved here
    {
        EngineHarness h(44100.0f, 128);
        Brakka& engine = h.engine();
        auto& editor = *static_cast<BrakkaEditor*>(engine.getEditor());
        h.set(Brakka::kTagSync, syncValue(1));
        h.set(Brakka::kTagTempo, 1.0f); // fast: many steps and pattern starts
        h.set(Brakka::kTagPlay, 1.0f);
        for (int v = 0; v < 12; ++v) {
            h.set(Brakka::kTagRandomReset + v, 1.0f);
            h.set(Brakka::kTagRandomBeats + v, 0.3f);
        }

        std::atomic<bool> stop{false};
        std::thread audio([&] {
            Outputs out(128);
            MidiList midi{{0xB0, 20, 64}, {0xB0, 20, 80}, {0x90, 62, 100}};
            AEffect* e = h.host().effect();
            long n = 0;
            while (!stop.load()) {
                midi.midi[2].midiData[1] = (char)(60 + n % 4); // pattern switches
                if (n % 7 == 0) e->dispatcher(e, effProcessEvents, 0, 0, midi.events(), 0.0f);
                e->processReplacing(e, nullptr, out.channels, 128);
                ++n;
                // A real audio thread waits for its next period (128 frames: 2.9 ms).
                std::this_thread::sleep_for(std::chrono::microseconds(1000));
            }
        });

        auto click = [&](CPoint p, long modifiers = 0) {
            CFrame* frame = editor.getFrame();
            long down = kLButton | modifiers, up = modifiers;
            frame->onMouseDown(p, down);
            frame->onMouseMoved(p, down);
            frame->onMouseUp(p, up);
        };
        auto start = std::chrono::steady_clock::now();
        int round = 0;
        while (secondsSince(start) < 2.0 || round < 3) {
            ASSERT_TRUE(editor.openOffscreen());
            for (int i = 0; i < 6; ++i) {
                const int k = round * 6 + i;
                const int v = k % 12;
                switch (i) {
                case 0:
                    click(CPoint(L::kVoiceSelector.left + 10,
                                 L::kRowsTop + (v + 0.5) * L::kRowHeight));
                    break;
                case 1:
                    click(CPoint(L::kGrid.left + (k % 32 + 0.5) * L::kStepWidth,
                                 L::kRowsTop + (v + 0.5) * L::kRowHeight));
                    break;
                case 2:
                    click(CPoint(L::kPan.left + 20, L::kPan.top + v * L::kRowHeight + 7));
                    break;
                case 3:
                    click(CPoint(L::kValueRow.left + (k % 32 + 0.5) * L::kStepWidth,
                                 L::kValueRow.top + 10));
                    break;
                case 4:
                    click(CPoint(L::kPatternSelector.left + (k % 16 + 0.5) * 34,
                                 L::kPatternSelector.top + 5));
                    break;
                default:
                    click(CPoint(L::kLevel.left + 10, L::kLevel.top + v * L::kRowHeight + 10),
                          kControl | kAlt);
                    break;
                }
                editor.idle();
            }
            editor.close();
            editor.idle(); // closed: nothing
            ++round;
        }
        stop = true;
        audio.join();
        std::printf("editor rounds: %d, audio blocks lost to the lock: %ld\n", round,
                    engine.getMissedBlockCount());
    }
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(folder);
}
