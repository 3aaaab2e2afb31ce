#include "CZUVKnob.h"

#include <cmath>

namespace {
// From degrees counter-clockwise from 12 o'clock to the context's radians, clockwise from
// 3 o'clock.
double toContextAngle(double degrees) {
    return (-90.0 - degrees) * M_PI / 180.0;
}
} // namespace

void drawKnobArc(CDrawContext* context, const CRect& r, double fromDegrees, double toDegrees) {
    double a = toContextAngle(std::max(fromDegrees, toDegrees));
    double b = toContextAngle(std::min(fromDegrees, toDegrees));
    context->drawArc(r, a, b, kDrawStroked);
}

CZUVKnob::CZUVKnob(const CRect& size, CControlListener* listener, long tag, const CColor& frame,
                   const CColor& fill, const CColor& disabledFrame, const CColor& disabledFill,
                   CBitmap* background)
    : CKnob(size, listener, tag, background, nullptr), frameColorEnabled(frame),
      fillColorEnabled(fill), frameColorDisabled(disabledFrame), fillColorDisabled(disabledFill),
      frameColor(frame), fillColor(fill) {}

void CZUVKnob::setEnabled(bool b) {
    enabled = b;
    frameColor = b ? frameColorEnabled : frameColorDisabled;
    fillColor = b ? fillColorEnabled : fillColorDisabled;
    invalid();
}

void CZUVKnob::setNumberOfPositions(int n) {
    positions = n > 0 ? n : 0;
    setValue(value);
}

void CZUVKnob::setOutlineWidth(double w, bool redraw) {
    outlineWidth = w > 0 ? w : 1.0;
    if (redraw) invalid();
}

float CZUVKnob::quantize(float v) const {
    if (positions <= 0) return v;
    return std::floor(v * positions + 0.5f) / (float)positions;
}

void CZUVKnob::setValue(float v) {
    CKnob::setValue(quantize(v));
}

void CZUVKnob::bounceValue() {
    CKnob::bounceValue();
    value = quantize(value);
}

CMouseEventResult CZUVKnob::onMouseDown(CPoint& where, const long& buttons) {
    if (!enabled) return kMouseEventHandled; // taken, and ignored
    return CKnob::onMouseDown(where, buttons);
}

void CZUVKnob::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    CRect r = size;
    r.inset(1, 1);
    CDrawMode old = context->getDrawMode();
    context->setDrawMode(kAntialias);
    context->setLineWidth(outlineWidth);
    context->setFrameColor(frameColor);
    context->drawEllipse(r, kDrawStroked);
    float norm = getValueNormalized();
    double start = 2.256194591522217;
    context->setFillColor(fillColor);
    context->drawArc(r, start, start + norm * 3 * M_PI / 2 + 0.1, kDrawFilled);
    context->setDrawMode(old);
    setDirty(false);
}

// ---------------------------------------------------------------------------------------

CZUKitboxVKnob::CZUKitboxVKnob(const CRect& size, CControlListener* listener, long tag,
                               CRirezariResource* f, const char* c, const CColor& frame,
                               const CColor& fill, CBitmap* background)
    : CZUVKnob(size, listener, tag, frame, fill, frame, fill, background), font(f),
      caption(c ? c : "") {
    if (font) font->remember();
}

CZUKitboxVKnob::CZUKitboxVKnob(const CZUKitboxVKnob& k)
    : CZUVKnob(k), font(k.font), caption(k.caption), captionColor(k.captionColor) {
    if (font) font->remember();
}

CZUKitboxVKnob::~CZUKitboxVKnob() {
    if (font) font->forget();
}

void CZUKitboxVKnob::setCaption(const char* c) {
    caption = c ? c : "";
    invalid();
}

void CZUKitboxVKnob::draw(CDrawContext* context) {
    if (background) background->drawTransparent(context, size);
    float norm = getValueNormalized();
    double angle = 135.0 - 270.0 * norm;
    CRect square(size.left + 23, size.top + 23, size.left + 37, size.top + 37);
    CDrawMode old = context->getDrawMode();
    context->setDrawMode(kAntialias);
    context->setLineWidth(7);
    context->setFrameColor(kBlackCColor);
    drawKnobArc(context, square, angle - 3, angle + 3);
    context->setDrawMode(old);
    if (font) {
        CCoord w = font->getStringWidth(caption.c_str());
        // The caption sits under the face, on the rectangle's bottom edge.
        CPoint origin(std::floor((size.left + size.right) / 2 - w / 2),
                      size.bottom - font->getMaxCharacterHeight());
        font->drawText(context, origin, caption.c_str(), &captionColor);
    }
    setDirty(false);
}
