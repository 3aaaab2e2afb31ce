#include "CEGControl.h"

#include <cmath>

CEGControl::CEGControlHandle::CEGControlHandle(int h, int v, int c, int s, const CColor& frame,
                                               const CColor& fill)
    : CSliderHandle(h, v, s, nullptr, CRect(0, 0, 6, 6)), curvatureTag(c), fillColor(fill),
      frameColor(frame) {}

void CEGControl::CEGControlHandle::draw(CDrawContext* context, CRect& where) {
    CRect r(std::round(where.left), std::round(where.top), std::round(where.left) + 6,
            std::round(where.top) + 6);
    context->setLineWidth(1);
    context->setFillColor(fillColor);
    context->setFrameColor(frameColor);
    context->drawRect(r, kDrawFilledAndStroked);
}

bool CEGControl::CEGControlHandle::setValue(float v, int tag) {
    if (tag >= 0 && tag == curvatureTag && tag != horizontalTag && tag != verticalTag &&
        tag != switchTag) {
        float c = 1 - 2 * v;
        if (c == curvature) return false;
        curvature = c;
        return true;
    }
    return CSliderHandle::setValue(v, tag);
}

// ---------------------------------------------------------------------------------------

CEGControl::CEGControl(const CRect& size, CControlListener* listener, long first, int count,
                       const CColor& marker, const CColor& bg, const CColor& grid,
                       const CColor& curve, const CColor& handleFrame, const CColor& handleFill,
                       bool grid_)
    : CMultiXYControl(size, listener, first), firstTag(first), gridVisible(grid_),
      markerColor(marker), backgroundColor(bg), gridColor(grid), curveColor(curve),
      extraColor1(handleFrame), extraColor2(handleFill) {
    drawingArea = size;
    drawingArea.inset(0, 2);
    for (int k = 0; k < count; ++k)
        addHandle((int)first + 3 * k, (int)first + 3 * k + 1, (int)first + 3 * k + 2, -1,
                  handleFrame, handleFill);
}

bool CEGControl::isTypeOf(const char* s) const {
    return classNameIs(s, "CEGControl") || CMultiXYControl::isTypeOf(s);
}

void CEGControl::setViewSize(const CRect& rect, bool invalidate) {
    CMultiXYControl::setViewSize(rect, invalidate);
    drawingArea = rect;
    drawingArea.inset(0, 2);
}

CEGControl::CEGControlHandle* CEGControl::addHandle(int h, int v, int c, int s,
                                                    const CColor& frameColor,
                                                    const CColor& fillColor) {
    CEGControlHandle* handle = new CEGControlHandle(h, v, c, s, frameColor, fillColor);
    addHandle(handle);
    return handle;
}

void CEGControl::addHandle(CEGControlHandle* handle) {
    if (!handle) return;
    CSliderHandle* previous = handles.empty() ? nullptr : handles.back();
    CMultiXYControl::addHandle(handle);
    if (previous) setHandleLink(previous, handle, kLineLink);
}

CMultiXYControl::CSliderHandle* CEGControl::getHandleFromTag(int tag) const {
    if (tag < 0) return nullptr;
    for (CSliderHandle* h : handles)
        if (h->horizontalTag == tag || h->verticalTag == tag || h->switchTag == tag ||
            asEG(h)->curvatureTag == tag)
            return h;
    return nullptr;
}

std::set<int> CEGControl::getTagSet() const {
    std::set<int> s = CMultiXYControl::getTagSet();
    for (CSliderHandle* h : handles)
        if (asEG(h)->curvatureTag >= 0) s.insert(asEG(h)->curvatureTag);
    return s;
}

void CEGControl::setGridVisible(bool v) {
    gridVisible = v;
    invalid();
}

CRect CEGControl::getHandleMovementBounds(const CSliderHandle* h) const {
    CRect b = drawingArea;
    long i = indexOf(h);
    if (i > 0 && h->horizontalTag > firstTag) {
        CRect prev = getHandleLocation(handles[(size_t)i - 1]);
        b.left = (prev.left + prev.right) / 2 + 1;
        if (b.left > b.right) b.left = b.right;
    }
    return b;
}

CEGControl::CEGControlHandle* CEGControl::segmentStartAt(const CPoint& p) const {
    if (handles.empty()) return nullptr;
    for (size_t i = 0; i < handles.size(); ++i) {
        if (getHandleLocation(handles[i]).right > p.x) return asEG(handles[i > 0 ? i - 1 : 0]);
    }
    return asEG(handles.back());
}

void CEGControl::beginEdit(CSliderHandle* h) {
    beginTagEdit(h ? h->horizontalTag : (curvatureHandle ? curvatureHandle->curvatureTag : -1));
}

void CEGControl::endEdit(CSliderHandle* h) {
    endTagEdit(h ? h->horizontalTag : (curvatureHandle ? curvatureHandle->curvatureTag : -1));
}

void CEGControl::draw(CDrawContext* context) {
    CDrawMode oldMode = context->getDrawMode();
    context->setDrawMode(kCopyMode);
    context->setFillColor(backgroundColor);
    context->fillRect(size);

    if (gridVisible) {
        context->setFrameColor(gridColor);
        context->setLineWidth(1);
        for (int k = 1; k <= 14; ++k) {
            CCoord x = size.left + 10 * k;
            context->drawLine(CPoint(x, drawingArea.top + 2), CPoint(x, drawingArea.bottom - 2));
        }
        for (int k = 1; k <= 8; ++k) {
            CCoord y = size.top + 10 * k;
            context->drawLine(CPoint(drawingArea.left, y), CPoint(drawingArea.right - 1, y));
        }
    }

    context->setFrameColor(markerColor);
    context->setLineWidth(1);
    for (CSliderHandle* h : handles) {
        CRect r = getHandleLocation(h);
        CCoord x = std::round((r.left + r.right) / 2);
        context->drawLine(CPoint(x, size.top + 2), CPoint(x, size.bottom - 2));
    }

    context->setDrawMode(kAntialias);
    context->setLineWidth(1);
    for (size_t i = 0; i < handles.size(); ++i)
        for (auto& l : links[i])
            drawLink(context, handles[i], l.first, l.second);

    context->setDrawMode(kCopyMode);
    for (CSliderHandle* h : handles) {
        CRect r = getHandleLocation(h);
        h->draw(context, r);
    }
    context->setDrawMode(oldMode);
    setDirty(false);
}

void CEGControl::drawLink(CDrawContext* context, CSliderHandle* a, CSliderHandle* b, int type) {
    if (type == kNoLink) return;
    CRect ra = getHandleLocation(a), rb = getHandleLocation(b);
    CCoord x0 = std::round((ra.left + ra.right) / 2), y0 = std::round((ra.top + ra.bottom) / 2);
    CCoord xB = std::round((rb.left + rb.right) / 2);
    CCoord dy = std::round((rb.top + rb.bottom) / 2) - y0;
    double step = (xB - x0) >= 1 ? 1.0 / (xB - x0) : 1.0;
    float c = asEG(a)->getCurvature();
    if (dy > 0) c = -c; // the segment falls on screen
    const float exponent = powf(10.f, c > 0 ? c : -c);

    context->moveTo(CPoint(x0, y0 - 1));
    for (CCoord x = x0 + 1; x <= xB; x += 1) {
        // The curve leads the handle by two pixels; t stops at 1 so that a convex segment
        // never overshoots its end point.
        float t = (float)((x + 2 - x0) * step);
        if (t > 1.f) t = 1.f;
        float shape = c > 0 ? powf(t, exponent) : 1.f - powf(std::max(0.f, 1.f - t), exponent);
        CPoint p(x, y0 + shape * dy);
        CPoint from = context->getPenPosition();
        context->setLineWidth(2);
        context->setFrameColor(curveColor);
        context->drawLine(from, p);
        context->setLineWidth(1);
        context->setFrameColor(markerColor);
        context->drawLine(CPoint(x, drawingArea.bottom), p);
        context->moveTo(p);
    }
}

CMouseEventResult CEGControl::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (handleAt(where)) {
        curvatureDrag = false;
        return CMultiXYControl::onMouseDown(where, buttons);
    }
    curvatureHandle = segmentStartAt(where);
    if (!curvatureHandle) return kMouseEventNotHandled;
    curvatureDrag = true;
    lastPoint = where;
    beginEdit(nullptr);
    return kMouseEventHandled;
}

CMouseEventResult CEGControl::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (!curvatureDrag) return CMultiXYControl::onMouseMoved(where, buttons);
    double dx = where.x - lastPoint.x, dy = where.y - lastPoint.y;
    lastPoint = where;
    if (std::fabs(dy) >= std::fabs(dx) && dy != 0 && curvatureHandle) {
        float c = curvatureHandle->getCurvature() + 0.01f * (float)dy;
        if (c >= -1.f && c <= 1.f) {
            curvatureHandle->setCurvature(c);
            if (curvatureHandle->curvatureTag >= 0)
                sendValueChangeMessage(curvatureHandle->curvatureTag, (1 - c) / 2);
        }
    }
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CEGControl::onMouseUp(CPoint& where, const long& buttons) {
    if (!curvatureDrag) return CMultiXYControl::onMouseUp(where, buttons);
    endEdit(nullptr);
    curvatureDrag = false;
    curvatureHandle = nullptr;
    invalid();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------

CEGARControl::CEGARControl(const CRect& size, CControlListener* listener, int attackTimeTag,
                           int attackCurveTag, int peakLevelTag, int decayTimeTag,
                           int decayCurveTag, const CColor& marker, const CColor& bg,
                           const CColor& grid, const CColor& curve, const CColor& handleFrame,
                           const CColor& handleFill, bool gridVisible)
    : CEGControl(size, listener, attackTimeTag, 0, marker, bg, grid, curve, handleFrame, handleFill,
                 gridVisible),
      attackTag(attackTimeTag) {
    CEGControlHandle* start = addHandle(-1, -1, attackCurveTag, -1, handleFrame, handleFill);
    start->horizontalValue = 0;
    start->verticalValue = 1; // reported 0: bottom left
    start->setHandleMotionDirections(0);
    CEGControlHandle* peak =
        addHandle(attackTimeTag, peakLevelTag, decayCurveTag, -1, handleFrame, handleFill);
    peak->horizontalValue = 0.05f;
    peak->verticalValue = 1 - 0.999f;
    peak->setHandleMotionDirections(3);
    CEGControlHandle* end = addHandle(decayTimeTag, -1, -1, -1, handleFrame, handleFill);
    end->horizontalValue = 0.25f;
    end->verticalValue = 1;
    end->setHandleMotionDirections(1);
}

bool CEGARControl::isTypeOf(const char* s) const {
    return classNameIs(s, "CEGARControl") || CEGControl::isTypeOf(s);
}

CRect CEGARControl::getHandleMovementBounds(const CSliderHandle* h) const {
    CRect b = CEGControl::getHandleMovementBounds(h);
    if (h && h->horizontalTag >= 0 && h->horizontalTag == attackTag)
        b.right = b.left + drawingArea.width() / 6;
    return b;
}
