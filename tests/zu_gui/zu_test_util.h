// Helpers for the control tests: a listener that records (tag, value) changes.
#pragma once

#include "../gui/gui_test_util.h"
#include "CZUControl.h"

#include <utility>
#include <vector>

namespace guitest {

class ZUListener : public CZUControlListener {
public:
    std::vector<std::pair<long, float>> tagChanges;     // valueChanged(tag, value)
    std::vector<std::pair<long, float>> controlChanges; // valueChanged(control)
    std::vector<long> begins, ends;

    using CZUControlListener::valueChanged;
    void valueChanged(CControl* c) override {
        controlChanges.push_back({c->getTag(), c->getValue()});
    }
    void valueChanged(long tag, float value) override { tagChanges.push_back({tag, value}); }
    void controlBeginEdit(CControl* c) override { begins.push_back(c->getTag()); }
    void controlEndEdit(CControl* c) override { ends.push_back(c->getTag()); }
    void clear() {
        tagChanges.clear();
        controlChanges.clear();
        begins.clear();
        ends.clear();
    }
};

// Records the tags of edit gestures as the editor hears them.
struct EditorSpy : VSTGUIEditorInterface {
    std::vector<long> begins, ends;
    void beginEdit(long i) override { begins.push_back(i); }
    void endEdit(long i) override { ends.push_back(i); }
};

} // namespace guitest
