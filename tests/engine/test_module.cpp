// The real build/Brakka.so, loaded with dlopen as a host loads it: only the two entry names are
// exported, both build a working instance (and refuse a caller that is no VST 2 host), and the
// instance plays from MIDI and from its sequencer at its own rate.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <set>
#include <string>

using brakka_test::FakeHost;

TEST(Module, ExportsOnlyTheEntryNamesAndBothBuildAnInstance) {
    std::set<std::string> names;
    const std::string command =
        std::string(BRAKKA_NM) + " -D --defined-only '" + BRAKKA_MODULE_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    char line[1024], address[64], type[8], name[900];
    while (std::fgets(line, sizeof(line), pipe.get()))
        if (std::sscanf(line, "%63s %7s %899s", address, type, name) == 3) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"VSTPluginMain", "main"}));

    for (const char* entry : {"VSTPluginMain", "main"}) {
        FakeHost host;
        AEffect* e = host.loadLibrary(BRAKKA_MODULE_PATH, entry);
        ASSERT_NE(e, nullptr) << entry << ": " << host.loadError();
        EXPECT_EQ(e->numOutputs, 12);
        EXPECT_EQ(host.calls().front(), audioMasterVersion); // asked before anything else
        // A scanner's order, ending with a suspend that had no resume.
        host.dispatch(effOpen);
        EXPECT_EQ(host.canDo("receiveVstTimeInfo"), 1);
        host.dispatch(effMainsChanged, 0, 0);
        host.close();
    }
    // Not a VST 2 host (no version), or run as a program's main (argc): no instance.
    FakeHost host;
    host.version = 0;
    EXPECT_EQ(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr);
    EXPECT_EQ(host.calls(), std::vector<VstInt32>{audioMasterVersion});
    ASSERT_NE(host.library(), nullptr);
    for (const char* symbol : {"main", "VSTPluginMain"}) {
        auto entry = reinterpret_cast<brakka_test::VstEntryProc>(dlsym(host.library(), symbol));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry(reinterpret_cast<audioMasterCallback>(uintptr_t(1))), nullptr);
        EXPECT_EQ(entry(nullptr), nullptr);
    }
}

TEST(Module, PlaysFromMIDIAndItsSequencerAtItsOwnRate) {
    // Two instances at 48 kHz: the second must follow although the process-wide rate is
    // already 48 kHz, so the same hit renders the same samples in both (kick on the raw bus B).
    FakeHost a, b;
    for (FakeHost* h : {&a, &b}) {
        ASSERT_NE(h->loadLibrary(BRAKKA_MODULE_PATH), nullptr) << h->loadError();
        h->processLevel = 4; // offline: renders faster than real time, loads take effect at once
        h->openAndResume(48000.0f, 512);
        h->setParameter(142, 0.21f);
        h->sendMidi(0x90, 36, 127);
        h->process(4096);
        EXPECT_TRUE(h->midiOut().empty()); // a direct note is not sent on
    }
    EXPECT_GT(brakka_test::peak(a.output(2)), 0.01);
    EXPECT_TRUE(a.output(2) == b.output(2));

    // Internal clock with a random-fill row and random beats on blank programs: only kicks come
    // out as MIDI, never with velocity 0.
    ASSERT_EQ(a.setChunk(brakka_test::blankBankChunk(), false), 1);
    for (auto [tag, value] :
         {std::pair{113, 0.5f}, {238, 1.0f}, {178, 1.0f}, {190, 1.0f}, {109, 1.0f}})
        a.setParameter(tag, value);
    a.clearRecords();
    for (int i = 0; i < 200; ++i)
        a.process(480);
    EXPECT_GT(a.midiOut().size(), 10u);
    for (const VstMidiEvent& e : a.midiOut())
        if ((unsigned char)e.midiData[0] == 0x90) {
            EXPECT_EQ(e.midiData[1], 36);
            EXPECT_GE(e.midiData[2], 1);
        }
}
