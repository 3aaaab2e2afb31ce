// The real build/Brakka.so, loaded with dlopen as a host loads it: only the two entry names are
// exported, both build a working instance, and the instance plays from MIDI and its sequencer.
#include "engine_support.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <set>
#include <string>

using brakka_test::FakeHost;

namespace {

std::set<std::string> exportedSymbols(const std::string& path) {
    std::set<std::string> names;
    std::string command = std::string(BRAKKA_NM) + " -D --defined-only '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return names;
    char line[1024];
    while (std::fgets(line, sizeof(line), pipe.get())) {
        char address[64], type[8], name[900];
        if (std::sscanf(line, "%63s %7s %899s", address, type, name) == 3) names.insert(name);
    }
    return names;
}

} // namespace

TEST(Module, ExportsOnlyTheEntryNames) {
    std::set<std::string> names = exportedSymbols(BRAKKA_MODULE_PATH);
    EXPECT_EQ(names, (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(Module, BothEntriesBuildAnInstance) {
    for (const char* entry : {"VSTPluginMain", "main"}) {
        FakeHost host;
        AEffect* e = host.loadLibrary(BRAKKA_MODULE_PATH, entry);
        ASSERT_NE(e, nullptr) << entry << ": " << host.loadError();
        EXPECT_EQ(e->numOutputs, 12);
        EXPECT_EQ(e->numParams, 263);
        EXPECT_EQ(host.calls().front(), audioMasterVersion); // asked before anything else
        // A scanner's order, ending with a suspend that had no resume.
        host.dispatch(effOpen);
        EXPECT_EQ(host.canDo("receiveVstTimeInfo"), 1);
        EXPECT_EQ(host.dispatch(effGetPlugCategory), 1); // as the host frame declares
        host.dispatch(effMainsChanged, 0, 0);
        host.close();
    }
}

TEST(Module, RefusesAHostWithoutVersionAndProgramStyleCalls) {
    FakeHost host;
    host.version = 0; // not a VST 2 host
    EXPECT_EQ(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr);
    EXPECT_EQ(host.calls(), std::vector<VstInt32>{audioMasterVersion});
    // Run as a program's main, the argument is argc.
    ASSERT_NE(host.library(), nullptr);
    for (const char* symbol : {"main", "VSTPluginMain"}) {
        auto entry = reinterpret_cast<brakka_test::VstEntryProc>(dlsym(host.library(), symbol));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry(reinterpret_cast<audioMasterCallback>(uintptr_t(1))), nullptr);
        EXPECT_EQ(entry(nullptr), nullptr);
    }
}

TEST(Module, PlaysFromMIDIAndFromItsSequencer) {
    FakeHost host;
    ASSERT_NE(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr) << host.loadError();
    host.processLevel = 4; // offline: renders faster than real time, loads take effect at once
    host.openAndResume(48000.0f, 512);
    host.sendMidi(0x90, 36, 127);
    host.process(512);
    double energy = 0.0;
    for (float x : host.output(0))
        energy += (double)x * x;
    EXPECT_GT(energy, 1e-3);
    EXPECT_TRUE(host.midiOut().empty());

    // Internal clock with a random-fill row: notes come out as MIDI at 120 BPM. Blank programs
    // first, so that only the kick's row plays.
    ASSERT_EQ(host.setChunk(brakka_test::blankBankChunk(), false), 1);
    host.setParameter(113, 0.5f);
    host.setParameter(238, 1.0f); // Kickdrum random fill
    host.setParameter(178, 1.0f);
    host.setParameter(190, 1.0f); // and random beats, so something plays whatever the fill
    host.setParameter(109, 1.0f);
    host.clearRecords();
    for (int i = 0; i < 200; ++i)
        host.process(480);
    EXPECT_GT(host.midiOut().size(), 10u);
    for (const VstMidiEvent& e : host.midiOut())
        if ((unsigned char)e.midiData[0] == 0x90) {
            EXPECT_EQ(e.midiData[1], 36);
            EXPECT_GE(e.midiData[2], 1);
        }
    host.close();
}

TEST(Module, TwoInstancesKeepTheirOwnRates) {
    // Both instances move to 48 kHz; the second must follow although the process-wide rate is
    // already 48 kHz. Rendering the same hit must give the same samples in both.
    FakeHost a, b;
    ASSERT_NE(a.loadLibrary(BRAKKA_MODULE_PATH), nullptr);
    ASSERT_NE(b.loadLibrary(BRAKKA_MODULE_PATH), nullptr);
    a.openAndResume(48000.0f, 512);
    b.openAndResume(48000.0f, 512);
    for (FakeHost* h : {&a, &b}) {
        h->setParameter(142, 0.21f); // kick to bus B: raw sum
        h->sendMidi(0x90, 36, 127);
        h->process(4096);
    }
    double difference = 0.0;
    for (size_t i = 0; i < a.output(2).size(); ++i)
        difference = std::max(difference, (double)std::fabs(a.output(2)[i] - b.output(2)[i]));
    EXPECT_EQ(difference, 0.0);
    a.close();
    b.close();
}
