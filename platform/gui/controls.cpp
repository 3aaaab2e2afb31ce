// The toolkit's standard controls: knob, buttons, movie bitmap, slider, switches and the
// splash screen.
#include "vstgui.h"

#include <cmath>

namespace {
float clampf(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

long clampl(long v, long lo, long hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}
} // namespace

// ---------------------------------------------------------------------------------------
// CKnob

CKnob::CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
             CBitmap* h, const CPoint& off)
    : CControl(size, listener, tag, background), handle(h), offset(off) {
    if (handle) handle->remember();
}

CKnob::CKnob(const CKnob& k)
    : CControl(k), handle(k.handle), offset(k.offset), range(k.range), zoomFactor(k.zoomFactor) {
    if (handle) handle->remember();
}

CKnob::~CKnob() {
    if (handle) handle->forget();
}

void CKnob::draw(CDrawContext* context) {
    if (background) background->draw(context, size, offset);
    // A plain pointer line from the centre, from lower left (min) clockwise to lower right.
    double a = (0.75 + 1.5 * (getMax() > getMin() ? (value - vmin) / (vmax - vmin) : 0)) * M_PI;
    double cx = (size.left + size.right) / 2, cy = (size.top + size.bottom) / 2;
    double r = std::min(size.width(), size.height()) / 2 - 2;
    context->setFrameColor(kWhiteCColor);
    context->setLineWidth(1);
    context->drawLine(CPoint(cx, cy), CPoint(cx + r * std::cos(a), cy + r * std::sin(a)));
    setDirty(false);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    dragStart = where;
    dragStartValue = value;
    fine = (buttons & kShift) != 0;
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    bool nowFine = (buttons & kShift) != 0;
    if (nowFine != fine) { // restart from here so the value does not jump
        fine = nowFine;
        dragStart = where;
        dragStartValue = value;
    }
    CCoord r = fine ? range * zoomFactor : range;
    float old = value;
    value = dragStartValue + (float)((dragStart.y - where.y) / r) * (vmax - vmin);
    bounceValue();
    if (value != old) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// COnOffButton

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, long tag,
                           CBitmap* background)
    : CControl(size, listener, tag, background) {}

void COnOffButton::draw(CDrawContext* context) {
    CCoord off = value > (vmin + vmax) / 2 ? size.height() : 0;
    if (background) background->draw(context, size, CPoint(0, off));
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    value = value > (vmin + vmax) / 2 ? vmin : vmax;
    invalid();
    valueChanged();
    endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// CMovieButton

CMovieButton::CMovieButton(const CRect& size, CControlListener* listener, long tag, CCoord h,
                           CBitmap* background, const CPoint& off)
    : CControl(size, listener, tag, background), heightOfOneImage(h), offset(off) {}

void CMovieButton::draw(CDrawContext* context) {
    CCoord off = value > (vmin + vmax) / 2 ? heightOfOneImage : 0;
    if (background) background->draw(context, size, CPoint(offset.x, offset.y + off));
    setDirty(false);
}

CMouseEventResult CMovieButton::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    valueAtPress = value;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CMovieButton::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    float toggled = valueAtPress > (vmin + vmax) / 2 ? vmin : vmax;
    float v = size.pointInside(where) ? toggled : valueAtPress;
    if (v != value) {
        value = v;
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// CMovieBitmap

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, long tag, long sub,
                           CCoord h, CBitmap* background, const CPoint& off)
    : CControl(size, listener, tag, background), subPixmaps(sub > 0 ? sub : 1), heightOfOneImage(h),
      offset(off) {}

void CMovieBitmap::draw(CDrawContext* context) {
    float norm = getValueNormalized();
    long index = std::lround(norm * (subPixmaps - 1));
    if (background)
        background->draw(context, size, CPoint(offset.x, offset.y + index * heightOfOneImage));
    setDirty(false);
}

// ---------------------------------------------------------------------------------------
// CHorizontalSlider

CHorizontalSlider::CHorizontalSlider(const CRect& size, CControlListener* listener, long tag,
                                     CCoord mn, CCoord mx, CBitmap* h, CBitmap* background,
                                     const CPoint& off)
    : CControl(size, listener, tag, background), handle(h), minPos(mn), maxPos(mx), offset(off) {
    if (handle) handle->remember();
    if (maxPos < minPos) maxPos = minPos;
}

CHorizontalSlider::CHorizontalSlider(const CHorizontalSlider& s)
    : CControl(s), handle(s.handle), minPos(s.minPos), maxPos(s.maxPos), offset(s.offset),
      handleColor(s.handleColor) {
    if (handle) handle->remember();
}

CHorizontalSlider::~CHorizontalSlider() {
    if (handle) handle->forget();
}

CCoord CHorizontalSlider::handleWidth() const {
    return handle ? handle->getWidth() : 6;
}

void CHorizontalSlider::draw(CDrawContext* context) {
    if (background) background->draw(context, size, offset);
    float norm = getValueNormalized();
    CCoord x = size.left + minPos + std::round(norm * (maxPos - minPos));
    if (handle) {
        CCoord hh = handle->getHeight();
        CRect r(x, size.top + (size.height() - hh) / 2, x + handle->getWidth(), 0);
        r.bottom = r.top + hh;
        handle->draw(context, r);
    } else {
        context->setFillColor(handleColor);
        context->fillRect(CRect(x, size.top, x + handleWidth(), size.bottom));
    }
    setDirty(false);
}

CMouseEventResult CHorizontalSlider::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CHorizontalSlider::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    CCoord travel = maxPos - minPos;
    float norm =
        travel > 0 ? (float)((where.x - size.left - minPos - handleWidth() / 2) / travel) : 0.f;
    float old = value;
    value = vmin + clampf(norm, 0, 1) * (vmax - vmin);
    bounceValue();
    if (value != old) {
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSlider::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// CVerticalSwitch

CVerticalSwitch::CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long sub,
                                 CCoord h, long maxPos, CBitmap* background, const CPoint& off)
    : CControl(size, listener, tag, background), subPixmaps(sub > 0 ? sub : 1),
      maxPositions(maxPos > 1 ? maxPos : 2), heightOfOneImage(h), offset(off) {}

void CVerticalSwitch::draw(CDrawContext* context) {
    float norm = getValueNormalized();
    long index = clampl(std::lround(norm * (subPixmaps - 1)), 0, subPixmaps - 1);
    if (background)
        background->draw(context, size, CPoint(offset.x, offset.y + index * heightOfOneImage));
    setDirty(false);
}

CMouseEventResult CVerticalSwitch::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CVerticalSwitch::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    CCoord cell = size.height() / maxPositions;
    long index = cell > 0 ? (long)std::floor((where.y - size.top) / cell) : 0;
    index = clampl(index, 0, maxPositions - 1);
    float v = vmax - (float)index / (maxPositions - 1) * (vmax - vmin);
    if (v != value) {
        value = v;
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// CSelectorSwitch

CSelectorSwitch::CSelectorSwitch(const CRect& size, CControlListener* listener, long tag, long pos,
                                 CCoord h, CBitmap* background)
    : CControl(size, listener, tag, background), positions(pos > 1 ? pos : 2), heightOfOneImage(h) {
}

void CSelectorSwitch::setColors(const CColor& f, const CColor& s) {
    frameColor = f;
    selectionColor = s;
    invalid();
}

long CSelectorSwitch::getPosition() const {
    float norm = getValueNormalized();
    return clampl(std::lround(norm * (positions - 1)), 0, positions - 1);
}

void CSelectorSwitch::draw(CDrawContext* context) {
    long p = getPosition();
    if (background) {
        background->draw(context, size, CPoint(0, p * heightOfOneImage));
    } else {
        CCoord cell = size.width() / positions;
        context->setLineWidth(1);
        for (long i = 0; i < positions; ++i) {
            CRect r(std::round(size.left + i * cell), size.top,
                    std::round(size.left + (i + 1) * cell), size.bottom);
            context->setFrameColor(frameColor);
            context->setFillColor(selectionColor);
            context->drawRect(r, i == p ? kDrawFilledAndStroked : kDrawStroked);
        }
    }
    setDirty(false);
}

CMouseEventResult CSelectorSwitch::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CSelectorSwitch::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    CCoord cell = size.width() / positions;
    long index = cell > 0 ? (long)std::floor((where.x - size.left) / cell) : 0;
    index = clampl(index, 0, positions - 1);
    float v = vmin + (float)index / (positions - 1) * (vmax - vmin);
    if (v != value) {
        value = v;
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CSelectorSwitch::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// CSplashScreen

CSplashScreen::CSplashScreen(const CRect& size, CControlListener* listener, long tag,
                             CBitmap* splash, const CRect& display, const CPoint& off)
    : CControl(size, listener, tag, splash), keepSize(size), displayRect(display), offset(off) {}

void CSplashScreen::draw(CDrawContext* context) {
    if (value > (vmin + vmax) / 2 && background) background->draw(context, displayRect, offset);
    setDirty(false);
}

CMouseEventResult CSplashScreen::onMouseDown(CPoint&, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    if (value > (vmin + vmax) / 2) {
        unSplash();
    } else {
        value = vmax;
        setViewSize(displayRect);
        setMouseableArea(displayRect);
        if (frame) frame->setModalView(this);
        invalid();
    }
    valueChanged();
    endEdit();
    return kMouseEventHandled;
}

void CSplashScreen::unSplash() {
    value = vmin;
    setViewSize(keepSize);
    setMouseableArea(keepSize);
    if (frame && frame->getModalView() == this) frame->setModalView(nullptr);
    invalid();
}
