#include "CZUVMultislider.h"

#include <cmath>

namespace {
float clip01(float v) {
    return v > 1.f ? 1.f : (v >= 0.f ? v : 0.f);
}
} // namespace

CZUVMultislider::CZUVMultislider(const CRect& size, CControlListener* listener, long tag, short n,
                                 long st, CBitmap* background)
    : CZUControl(size, listener, tag, background), numSliders(n > 0 ? n : 1),
      sliders((size_t)numSliders), style(st | kZUMultisliderColumns | kZUMultisliderUpward) {
    sliderWidth = size.width() / numSliders;
    nubWidth = nubHeight = sliderWidth - 1;
}

void CZUVMultislider::setNubSize(CCoord w, CCoord h) {
    nubWidth = w < 0 ? 0 : w;
    nubHeight = h < 0 ? 0 : h;
    invalid();
}

void CZUVMultislider::setValue(int t, float v) {
    long i = t - tag;
    if (i >= 0 && i < numSliders) setValue((short)i, v);
}

float CZUVMultislider::getValue(int t) const {
    long i = t - tag;
    return (i >= 0 && i < numSliders) ? getValue((short)i) : 0.f;
}

bool CZUVMultislider::hasTag(int t) const {
    return t != 0 && t >= tag && t < tag + numSliders;
}

std::set<int> CZUVMultislider::getTagSet() const {
    std::set<int> s;
    for (short i = 0; i < numSliders; ++i)
        s.insert((int)(tag + i));
    return s;
}

void CZUVMultislider::setValue(float v) {
    for (short i = 0; i < numSliders; ++i)
        setValue(i, v);
}

void CZUVMultislider::setValue(short i, float v) {
    if (!valid(i)) return;
    if (sliders[(size_t)i].value != v) {
        sliders[(size_t)i].value = v;
        invalid();
    }
}

float CZUVMultislider::getValue(short i) const {
    return valid(i) ? sliders[(size_t)i].value : 0.f;
}

void CZUVMultislider::setSliderDisabled(short i, bool d) {
    if (!valid(i) || sliders[(size_t)i].disabled == d) return;
    sliders[(size_t)i].disabled = d;
    invalid();
}

bool CZUVMultislider::getSliderDisabled(short i) const {
    return valid(i) && sliders[(size_t)i].disabled;
}

void CZUVMultislider::enableSliders(short count) {
    for (short i = 0; i < numSliders; ++i)
        setSliderDisabled(i, i >= count);
}

void CZUVMultislider::setSliderHighlighted(short i, bool h) {
    if (!valid(i) || sliders[(size_t)i].highlighted == h) return;
    sliders[(size_t)i].highlighted = h;
    invalid();
}

void CZUVMultislider::highlightOneSlider(short index) {
    if (!valid(index)) return;
    for (short i = 0; i < numSliders; ++i)
        setSliderHighlighted(i, i == index);
}

bool CZUVMultislider::getSliderHighlighted(short i) const {
    return valid(i) && sliders[(size_t)i].highlighted;
}

void CZUVMultislider::setSliderColor(const CColor& c) {
    sliderColor = c;
    invalid();
}
void CZUVMultislider::setOutlineColor(const CColor& c) {
    outlineColor = c;
    invalid();
}
void CZUVMultislider::setHighlightColor(const CColor& c) {
    highlightColor = c;
    invalid();
}
void CZUVMultislider::setDisabledSliderColor(const CColor& c) {
    disabledSliderColor = c;
    invalid();
}
void CZUVMultislider::setDisabledOutlineColor(const CColor& c) {
    disabledOutlineColor = c;
    invalid();
}
CColor CZUVMultislider::getSliderColor(short) const {
    return sliderColor;
}
CColor CZUVMultislider::getOutlineColor(short) const {
    return outlineColor;
}
CColor CZUVMultislider::getDisabledSliderColor(short) const {
    return disabledSliderColor;
}
CColor CZUVMultislider::getDisabledOutlineColor(short) const {
    return disabledOutlineColor;
}

void CZUVMultislider::setDrawStyle(long st) {
    style = st | kZUMultisliderColumns | kZUMultisliderUpward;
    invalid();
}

short CZUVMultislider::pointInSlider(CPoint& p) const {
    if (!size.pointInside(p) || sliderWidth <= 0) return -1;
    long i = (long)((p.x - size.left) / sliderWidth);
    if (i > numSliders - 1) i = numSliders - 1;
    return (short)(i < 0 ? 0 : i);
}

CRect CZUVMultislider::calculateSliderBounds(short i) const {
    CRect r = size;
    r.left = size.left + i * sliderWidth;
    r.right = r.left + sliderWidth;
    return r;
}

CCoord CZUVMultislider::valueToY(short i, float v) const {
    CRect b = calculateSliderBounds(i);
    CCoord m = nubHeight / 2 + 1;
    return b.top + m + (1 - clip01(v)) * (b.height() - 2 * m);
}

CRect CZUVMultislider::calculateNubRect(short i, CRect bounds) const {
    CCoord cy = valueToY(i, getValue(i));
    CCoord cx = (bounds.left + bounds.right) / 2;
    return CRect(cx - nubWidth / 2, cy - nubHeight / 2, cx + nubWidth / 2, cy + nubHeight / 2);
}

float CZUVMultislider::pointToValue(short i, CPoint p) const {
    CRect b = calculateSliderBounds(i);
    CCoord m = nubHeight / 2 + 1;
    CCoord span = (b.bottom - m) - (b.top + m);
    float v = span > 0 ? (float)((p.y - (b.top + m)) / span) : 0.f;
    if (style & kZUMultisliderUpward) v = 1 - v;
    return clip01(v);
}

void CZUVMultislider::drawSliderHighlight(CDrawContext* context, short i) {
    CRect b = calculateSliderBounds(i);
    context->setFillColor(highlightColor);
    context->fillRect(CRect(std::round(b.left), b.top, std::round(b.right) - 1, b.bottom));
}

void CZUVMultislider::drawNub(CDrawContext* context, short i) {
    CRect b = calculateSliderBounds(i);
    CCoord y = std::round(valueToY(i, getValue(i)));
    CCoord from =
        (style & kZUMultisliderBipolarStyle) ? std::round((b.top + b.bottom) / 2) : b.bottom;
    if (y == from) return;
    CRect bar(std::round(b.left) + 1, std::min(y, from), std::round(b.right) - 1,
              std::max(y, from));
    context->setFillColor(getSliderDisabled(i) ? disabledSliderColor : sliderColor);
    context->fillRect(bar);
}

void CZUVMultislider::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    context->setLineWidth(1);
    for (short i = 0; i < numSliders; ++i) {
        if (getSliderHighlighted(i)) drawSliderHighlight(context, i);
        drawNub(context, i);
        CRect b = calculateSliderBounds(i);
        context->setFrameColor(getSliderDisabled(i) ? disabledOutlineColor : outlineColor);
        context->drawRect(CRect(std::round(b.left), b.top, std::round(b.right), b.bottom));
    }
    setDirty(false);
}

CMouseEventResult CZUVMultislider::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CZUVMultislider::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    short i = pointInSlider(where);
    if (i < 0 || getSliderDisabled(i)) return kMouseEventHandled;
    float v = pointToValue(i, where);
    if (v != getValue(i)) {
        sliders[(size_t)i].value = v;
        invalid();
        sendValueChangeMessage((int)(tag + i), v);
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUVMultislider::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------

CZUVMultibutton::CZUVMultibutton(const CRect& size, CControlListener* listener, long tag, short n,
                                 CBitmap* background)
    : CZUVMultislider(size, listener, tag, n, kZUMultisliderUnipolar, background) {
    nubWidth = nubHeight = 0;
}

void CZUVMultibutton::setSliderValue(short i, float v) {
    CZUVMultislider::setValue(i, v > 0.5f ? 1.f : 0.f);
}

void CZUVMultibutton::setValue(short i, bool on) {
    setSliderValue(i, on ? 1.f : 0.f);
}

void CZUVMultibutton::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    for (short i = 0; i < numSliders; ++i) {
        CRect b = calculateSliderBounds(i);
        CRect cell(std::round(b.left), b.top, std::round(b.right), b.bottom);
        if (getSliderHighlighted(i)) drawSliderHighlight(context, i);
        if (getValue(i) > 0.5f) {
            context->setFillColor(getSliderDisabled(i) ? disabledSliderColor : sliderColor);
            context->fillRect(CRect(cell).inset(2, 2));
        }
        context->setFrameColor(getSliderDisabled(i) ? disabledOutlineColor : outlineColor);
        context->setLineWidth(1);
        context->drawRect(cell);
    }
    setDirty(false);
}

CMouseEventResult CZUVMultibutton::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    short i = pointInSlider(where);
    if (i >= 0 && !getSliderDisabled(i)) {
        paintValue = 1.f - getValue(i);
        setSliderValue(i, paintValue);
        invalid();
        sendValueChangeMessage((int)(tag + i), paintValue);
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUVMultibutton::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    short i = pointInSlider(where);
    if (i < 0 || getSliderDisabled(i) || getValue(i) == paintValue) return kMouseEventHandled;
    setSliderValue(i, paintValue);
    invalid();
    sendValueChangeMessage((int)(tag + i), paintValue);
    return kMouseEventHandled;
}
