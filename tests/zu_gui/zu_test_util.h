// The recording listener of the toolkit's tests, with the changes multi-value controls report by
// tag.
#pragma once

#include "../gui/gui_test_util.h"
#include "CZUControl.h"

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
    void clear() { *this = ZUListener(); }
};

} // namespace guitest
