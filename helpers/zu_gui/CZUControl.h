// Multi-value controls: a CZUControl may stand for a whole range of parameter tags and
// reports each change as a (tag, value) pair to a CZUControlListener.
#pragma once

#include "vstgui.h"

#include <set>

class CZUControlListener : public CControlListener {
public:
    using CControlListener::controlModifierClicked;
    using CControlListener::valueChanged;
    // A change of one of a multi-value control's tags.
    virtual void valueChanged(long tag, float value) = 0;
    virtual long controlModifierClicked(CControl* control, long button, CPoint where) {
        (void)where;
        return controlModifierClicked(control, button);
    }
};

class CZUControl : public CControl {
public:
    CZUControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0,
               CBitmap* background = nullptr);
    CLASS_METHODS(CZUControl, CControl)

    using CControl::getValue;
    using CControl::setValue;
    // The value a tag stands for; a plain CZUControl answers for its own tag only.
    virtual void setValue(int tag, float value);
    virtual float getValue(int tag) const;
    // Tells the listener, when it is a CZUControlListener, that tag changed to value.
    virtual void sendValueChangeMessage(int tag, float value);
    // True for the control's own tag; tag 0 never matches.
    virtual bool hasTag(int tag) const;
    virtual std::set<int> getTagSet() const;

    void setListener(CControlListener* l) override;
    CZUControlListener* getZUListener() const { return zuListener; }

protected:
    CZUControlListener* zuListener = nullptr;
};

// The first control among the frame's views whose tag equals tag, or null.
CControl* getControlByTag(CFrame* frame, long tag);
