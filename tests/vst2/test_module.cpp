// The framework and entry built into a loadable shared object, as a host meets them: the exported
// names, loading through either entry name, and the entry's refusals.
#include "fake_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <set>
#include <sstream>
#include <string>

using namespace brakka_test;

namespace {

const char* const kPlugin = BRAKKA_PROBE_PLUGIN;

// Names of the defined dynamic symbols of a shared object, from nm.
std::set<std::string> exportedNames(const std::string& path) {
    std::set<std::string> names;
    const std::string command = std::string(BRAKKA_NM) + " -D --defined-only '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return names;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) names.insert(name);
    }
    pclose(pipe);
    return names;
}

} // namespace

TEST(Module, ExportsExactlyTheTwoEntryNames) {
    EXPECT_EQ(exportedNames(kPlugin), (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(Module, LoadsAndRunsThroughEitherEntryName) {
    for (const char* symbol : {"VSTPluginMain", "main"}) {
        SCOPED_TRACE(symbol);
        FakeHost host;
        AEffect* e = host.loadLibrary(kPlugin, symbol);
        ASSERT_NE(e, nullptr) << host.loadError();
        EXPECT_EQ(e->magic, kEffectMagic);
        EXPECT_EQ(e->numOutputs, 12);
        EXPECT_EQ(e->flags, 0x131);
        EXPECT_EQ(host.calls().front(), audioMasterVersion); // asked before anything else

        host.openAndResume(48000.0f, 256);
        host.setTimeInfo(FakeHost::makeTimeInfo(true, 1.0, 120.0));
        host.sendMidi(0x90, 0x3C, 0x64, 128);
        host.process(256);
        for (int c = 0; c < 12; ++c)
            EXPECT_EQ(host.output(c)[255], float(c + 1) / 100.0f);

        const auto out = host.midiOut();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].deltaFrames, 128);
        EXPECT_EQ(static_cast<unsigned char>(out[0].midiData[0]), 0x90);
        EXPECT_EQ(host.timeRequests().size(), 1u);

        host.dispatch(effMainsChanged, 0, 0);
        host.close();
    }
}

TEST(Module, EveryEntryCallBuildsANewInstance) {
    FakeHost first, second;
    AEffect* a = first.loadLibrary(kPlugin);
    AEffect* b = second.loadLibrary(kPlugin);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    first.setParameter(1, 0.75f);
    EXPECT_EQ(first.getParameter(1), 0.75f);
    EXPECT_EQ(second.getParameter(1), 0.0f);
}

TEST(Module, EntryRefusesHostsWithoutVersionAndProgramStyleCalls) {
    FakeHost host;
    host.version = 0; // not a VST 2 host
    EXPECT_EQ(host.loadLibrary(kPlugin), nullptr);
    EXPECT_EQ(host.calls(), std::vector<VstInt32>{audioMasterVersion});

    // Run as a program's main, the argument is argc.
    ASSERT_NE(host.library(), nullptr);
    for (const char* symbol : {"main", "VSTPluginMain"}) {
        auto entry = reinterpret_cast<VstEntryProc>(dlsym(host.library(), symbol));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry(reinterpret_cast<audioMasterCallback>(uintptr_t(1))), nullptr);
        EXPECT_EQ(entry(nullptr), nullptr);
    }
}

TEST(Module, AnswersAScannersQuestions) {
    // The order a plug-in scanner uses, ending with a suspend that had no resume.
    FakeHost host;
    ASSERT_NE(host.loadLibrary(kPlugin), nullptr);
    host.dispatch(effOpen);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.getString(effGetEffectName, 0, 32).text, "Probe");
    EXPECT_EQ(host.getString(effGetVendorString, 0, 64).text, "Brakka Tests");
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategEffect);
    EXPECT_EQ(host.canDo("sendVstEvents"), -1);
    EXPECT_EQ(host.canDo("receiveVstEvents"), 1);
    host.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(host.dispatch(effClose), 1);
    host.forget();
}
