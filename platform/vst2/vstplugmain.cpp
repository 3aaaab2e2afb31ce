// The plug-in's exported entry. Hosts look for VSTPluginMain and, failing that, for the older
// name main; both are exported and lead to the same code. Everything else in the shared object
// stays hidden (see vst2_exports.map).
#include "audioeffect.h"

#include <cstdint>

#define BRAKKA_VST2_EXPORT __attribute__((visibility("default")))

extern "C" {

BRAKKA_VST2_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    // Run by mistake as a program's main, the "callback" is argc: a small number, not code.
    if (reinterpret_cast<uintptr_t>(audioMaster) < 0x100) return nullptr;
    // A host that does not answer the version query is not a VST 2 host.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

// Same entry under the legacy symbol name main; the assembler label keeps the C++ compiler from
// treating it as the program entry.
BRAKKA_VST2_EXPORT AEffect* brakkaVst2LegacyMain(audioMasterCallback audioMaster) asm("main");
BRAKKA_VST2_EXPORT AEffect* brakkaVst2LegacyMain(audioMasterCallback audioMaster) {
    return VSTPluginMain(audioMaster);
}

} // extern "C"
