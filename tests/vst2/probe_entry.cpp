// createEffectInstance of the probe plug-in built as a loadable shared object.
#include "probe_plugin.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new brakka_test::ProbePlugin(audioMaster);
}
