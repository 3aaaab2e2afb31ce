// The real build/Brakka.so, loaded with dlopen as a host loads it: only the two entry names are
// exported, both build an instance with the declared properties (and refuse a caller that is no
// VST 2 host), and the instance plays from MIDI and from its sequencer at its own rate.
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
        EXPECT_EQ(host.calls().front(), audioMasterVersion); // asked before anything else
        // A scanner's order, ending with a suspend that had no resume: the declared
        // properties, fixed answers and output pins.
        host.dispatch(effOpen);
        EXPECT_EQ(e->magic, kEffectMagic);
        EXPECT_EQ(e->numPrograms * 1000 + e->numParams, kNumPrograms * 1000 + kNumParameters);
        EXPECT_EQ(e->numInputs * 100 + e->numOutputs, 12);
        EXPECT_EQ(e->uniqueID, 0x5A55626B);
        EXPECT_EQ(e->flags & (effFlagsIsSynth | effFlagsCanReplacing | effFlagsProgramChunks),
                  effFlagsIsSynth | effFlagsCanReplacing | effFlagsProgramChunks);
        for (auto [opcode, answer] : {std::pair{effGetPlugCategory, 1},
                                      {effGetVendorVersion, 1120},
                                      {effGetVstVersion, 2400},
                                      {effGetNumMidiInputChannels, 1},
                                      {effGetNumMidiOutputChannels, 1}})
            EXPECT_EQ(host.dispatch(opcode), answer) << opcode;
        EXPECT_EQ(host.getString(effGetEffectName, 0, 32).text, "Brakka");
        EXPECT_EQ(host.getString(effGetVendorString).text, "Zunder Works, Inc.");
        for (const char* yes :
             {"receiveVstEvents", "receiveVstMidiEvent", "sendVstMidiEvent", "receiveVstTimeInfo"})
            EXPECT_EQ(host.canDo(yes), 1) << yes;
        for (const char* no : {"sendVstEvents", "bypass", "", "receiveVstEventsX"})
            EXPECT_EQ(host.canDo(no), -1) << no;
        // Six stereo pairs; pins beyond them are refused.
        VstPinProperties p{};
        ASSERT_EQ(host.dispatch(effGetOutputProperties, 11, 0, &p), 1);
        EXPECT_EQ(std::string(p.label) + std::to_string(p.flags), "Brakka F 3");
        EXPECT_EQ(host.dispatch(effGetOutputProperties, 12, 0, &p), 0);
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
        h->setParameter(kOutputTag, 0.21f);
        h->sendMidi(0x90, 36, 127);
        h->process(4096);
        EXPECT_TRUE(h->midiOut().empty()); // a direct note is not sent on
    }
    EXPECT_GT(brakka_test::peak(a.output(2)), 0.01);
    EXPECT_TRUE(a.output(2) == b.output(2));
}
