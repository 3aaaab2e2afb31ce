// The plug-in module: the host reaches the engine only through the exported entry, which calls
// createEffectInstance (Brakka.cpp). This unit anchors the engine in the module.
#include "Brakka.h"

namespace {
// Referencing the factory keeps the engine's objects in the link even before the entry does.
[[maybe_unused]] AudioEffect* (*const kFactory)(audioMasterCallback) = &createEffectInstance;
} // namespace
