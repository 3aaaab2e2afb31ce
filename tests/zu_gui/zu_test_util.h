// The recording listener of the toolkit's tests, with the changes multi-value controls report by
// tag.
#pragma once

#include "../gui/gui_test_util.h"
#include "CZUControl.h"

namespace guitest {

struct ZUListener : RecordingListener<CZUControlListener> {
    std::vector<std::pair<long, float>> tagChanges; // valueChanged(tag, value)
    void valueChanged(long tag, float value) override { tagChanges.push_back({tag, value}); }
    using RecordingListener::valueChanged;
    void clear() { *this = ZUListener(); }
};

} // namespace guitest
