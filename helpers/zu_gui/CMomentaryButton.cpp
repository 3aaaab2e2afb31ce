#include "CMomentaryButton.h"

CMomentaryButton::CMomentaryButton(const CRect& size, CControlListener* listener, long tag,
                                   CBitmap* background)
    : COnOffButton(size, listener, tag, background) {}

void CMomentaryButton::setColors(const CColor& f, const CColor& fill) {
    frameColor = f;
    fillColor = fill;
    invalid();
}

void CMomentaryButton::draw(CDrawContext* context) {
    if (background) {
        COnOffButton::draw(context);
        return;
    }
    context->setLineWidth(1);
    context->setFrameColor(frameColor);
    context->setFillColor(fillColor);
    context->drawRect(size, value > 0.5f ? kDrawFilledAndStroked : kDrawStroked);
    setDirty(false);
}

CMouseEventResult CMomentaryButton::onMouseDown(CPoint&, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    value = 1.f;
    invalid();
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult CMomentaryButton::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    float shown = size.pointInside(where) ? 1.f : 0.f;
    if (shown != value) {
        value = shown; // only shown: the listener hears of the release
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CMomentaryButton::onMouseUp(CPoint&, const long&) {
    if (!isEditing()) return kMouseEventHandled;
    value = 0.f;
    valueChanged();
    invalid();
    endEdit();
    return kMouseEventHandled;
}
