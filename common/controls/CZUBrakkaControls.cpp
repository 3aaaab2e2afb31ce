#include "CZUBrakkaControls.h"

#include "BrakkaParameterTags.h"

#include <cmath>

namespace {

CRect pixelCell(const CRect& r) {
    return CRect(std::round(r.left), r.top, std::round(r.right), r.bottom);
}
} // namespace

// ---------------------------------------------------------------------------------------
// Note row

CZUBrakkaMultiButton::CZUBrakkaMultiButton(const CRect& size, CControlListener* listener, long tag,
                                           CBitmap* background)
    : CZUVMultibutton(size, listener, tag, kNumSteps, background) {
    setOutlineColor(kTransparentCColor);
    setSliderColor(color_on);
    setDisabledOutlineColor(kTransparentCColor);
    setDisabledSliderColor(color_disabledStep);
    setHighlightColor(color_currentStep);
}

void CZUBrakkaMultiButton::setAllValues(const std::vector<unsigned char>& row) {
    for (size_t i = 0; i < row.size() && i < (size_t)numSliders; ++i)
        setValue((short)i, row[i] != 0);
}

std::vector<unsigned char> CZUBrakkaMultiButton::getAllValues() const {
    std::vector<unsigned char> row((size_t)numSliders);
    for (short i = 0; i < numSliders; ++i)
        row[(size_t)i] = getValue(i) > 0.5f ? 1 : 0;
    return row;
}

void CZUBrakkaMultiButton::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    for (short i = 0; i < numSliders; ++i) {
        CRect cell = pixelCell(calculateSliderBounds(i));
        if (i % 4 == 0) {
            context->setFillColor(color_bkgndHighlight);
            context->fillRect(cell);
        }
        if (getSliderDisabled(i)) {
            context->setFillColor(disabledSliderColor);
            context->fillRect(cell);
        } else if (getValue(i) > 0.5f) {
            context->setFillColor(sliderColor);
            context->fillRect(CRect(cell).inset(2, 2));
        }
        if (getSliderHighlighted(i)) {
            context->setFillColor(highlightColor);
            context->fillRect(CRect(cell.left, cell.top, cell.right - 1, cell.bottom));
        }
    }
    setDirty(false);
}

// ---------------------------------------------------------------------------------------
// Value row

CZUBrakkaMultiSlider::CZUBrakkaMultiSlider(const CRect& size, CControlListener* listener, long tag,
                                           CBitmap* background)
    : CZUVMultislider(size, listener, tag, kNumSteps, kZUMultisliderBipolar, background) {
    setNubSize(sliderWidth - 1, 1);
    setOutlineColor(kTransparentCColor);
    setSliderColor(color_modSlider);
    setDisabledOutlineColor(kTransparentCColor);
    setDisabledSliderColor(color_disabledStep);
    setHighlightColor(color_currentStep);
}

void CZUBrakkaMultiSlider::setAllValues(const std::vector<float>& row) {
    for (size_t i = 0; i < row.size() && i < (size_t)numSliders; ++i)
        setValue((short)i, row[i]);
}

std::vector<float> CZUBrakkaMultiSlider::getAllValues() const {
    std::vector<float> row((size_t)numSliders);
    for (short i = 0; i < numSliders; ++i)
        row[(size_t)i] = getValue(i);
    return row;
}

void CZUBrakkaMultiSlider::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    bool bipolar = (style & kZUMultisliderBipolarStyle) != 0;
    for (short i = 0; i < numSliders; ++i) {
        CRect cell = pixelCell(calculateSliderBounds(i));
        if (getSliderHighlighted(i)) {
            context->setFillColor(highlightColor);
            context->fillRect(cell);
        }
        if (getSliderDisabled(i)) {
            context->setFillColor(disabledSliderColor);
            context->fillRect(cell);
            continue;
        }
        if (i % 4 == 0) {
            context->setFillColor(color_bkgndHighlight);
            context->fillRect(cell);
        }
        CCoord from = bipolar ? std::round((size.top + size.bottom) / 2) : size.bottom;
        CCoord to = std::round(valueToY(i, getValue(i)));
        if (to == from) continue; // the neutral value draws no bar
        context->setFillColor(sliderColor);
        context->fillRect(
            CRect(cell.left + 1, std::min(from, to), cell.right - 1, std::max(from, to)));
    }
    setDirty(false);
}

// ---------------------------------------------------------------------------------------
// Pattern selector

CZUBrakkaPatternSelector::CZUBrakkaPatternSelector(const CRect& size, CControlListener* listener,
                                                   long tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

CCoord CZUBrakkaPatternSelector::getCellWidth() const {
    CCoord w = (background && background->getWidth() > 0) ? background->getWidth() : size.width();
    return w / kNumPatterns;
}

void CZUBrakkaPatternSelector::setValue(float v) {
    if (!(v >= 0)) v = 0;
    if (v > 1) v = 1;
    if (!pending) previousValue = value;
    pending = true;
    value = v;
    invalid();
}

void CZUBrakkaPatternSelector::setValue(int pattern) {
    setValue((float)pattern / (kNumPatterns - 1));
}

void CZUBrakkaPatternSelector::completePendingChange() {
    pending = false;
    invalid();
}

CRect CZUBrakkaPatternSelector::cellRect(long pattern) const {
    CCoord w = getCellWidth();
    CRect r(std::round(size.left + pattern * w), size.top,
            std::round(size.left + (pattern + 1) * w), size.bottom);
    return r.inset(1, 1);
}

void CZUBrakkaPatternSelector::draw(CDrawContext* context) {
    long current = std::lround((kNumPatterns - 1) * value);
    bool showPending = pending && value != previousValue;
    context->setFillColor(showPending ? kPendingColor : kSelectionColor);
    context->fillRect(cellRect(current));
    if (showPending) {
        context->setFillColor(kSelectionColor);
        context->fillRect(cellRect(std::lround((kNumPatterns - 1) * previousValue)));
    }
    if (background && background->getHeight() >= 2 * size.height()) {
        // Two images stacked: the second's cells read on the selection colour.
        const long selected =
            showPending ? std::lround((kNumPatterns - 1) * previousValue) : current;
        const CCoord w = getCellWidth();
        for (long i = 0; i < kNumPatterns; ++i) {
            const CCoord x0 = std::round(i * w), x1 = std::round((i + 1) * w);
            CRect cell(size.left + x0, size.top, size.left + x1, size.bottom);
            background->drawTransparent(context, cell,
                                        CPoint(x0, i == selected ? size.height() : 0));
        }
    } else if (background) {
        background->drawTransparent(context, size);
    }
    setDirty(false);
}

CMouseEventResult CZUBrakkaPatternSelector::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CZUBrakkaPatternSelector::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    CCoord w = getCellWidth();
    double pattern = w > 0 ? std::trunc((where.x - size.left) / w) : 0;
    float v = (float)(pattern / (double)(kNumPatterns - 1));
    if (!(v >= 0)) v = 0;
    if (v > 1) v = 1;
    if (v != value) {
        if (!pending) previousValue = value;
        pending = true;
        value = v;
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUBrakkaPatternSelector::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// Play button

CZUBrakkaPlayButton::CZUBrakkaPlayButton(const CRect& size, CControlListener* listener, long tag,
                                         CCoord heightOfOneImage, CBitmap* background)
    : CMovieButton(size, listener, tag, heightOfOneImage, background) {}

void CZUBrakkaPlayButton::draw(CDrawContext* context) {
    if (background) {
        CMovieButton::draw(context);
        return;
    }
    // Without a bitmap: a lamp whose brightness follows the value.
    unsigned char level = (unsigned char)(60 + 195 * (value < 0 ? 0 : (value > 1 ? 1 : value)));
    context->setFillColor(MakeCColor(0, level, 0, 255));
    context->setFrameColor(kGreyCColor);
    context->setLineWidth(1);
    context->drawRect(size, kDrawFilledAndStroked);
    setDirty(false);
}

CMouseEventResult CZUBrakkaPlayButton::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    wasOn = value > 0.5f;
    valueAtPress = value;
    CControl::beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CZUBrakkaPlayButton::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    float shown = size.pointInside(where) ? (wasOn ? 0.25f : 1.f) : (wasOn ? 1.f : 0.f);
    if (shown != value) {
        value = shown;
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUBrakkaPlayButton::onMouseUp(CPoint&, const long&) {
    if (!isEditing()) return kMouseEventHandled;
    value = 1.f;
    if (value != valueAtPress) valueChanged();
    invalid();
    CControl::endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------------
// Small knob

CZUBrakkaSmallVKnob::CZUBrakkaSmallVKnob(const CRect& size, CControlListener* listener, long tag,
                                         CBitmap* background)
    : CZUVKnob(size, listener, tag, kBlackCColor, kBlackCColor, kGreyCColor, kGreyCColor,
               background) {}

void CZUBrakkaSmallVKnob::draw(CDrawContext* context) {
    if (background) background->drawTransparent(context, size);
    float norm = getValueNormalized();
    double angle = 135.0 - 270.0 * norm;
    CDrawMode old = context->getDrawMode();
    context->setDrawMode(kAntialias);
    context->setLineWidth(6);
    context->setFrameColor(kBlackCColor);
    drawKnobArc(context, CRect(size).inset(3, 3), angle - 5, angle + 5);
    context->setDrawMode(old);
    setDirty(false);
}

// ---------------------------------------------------------------------------------------
// Velocity read-out

CZUBrakkaVelocityNumerical::CZUBrakkaVelocityNumerical(const CRect& size,
                                                       CControlListener* listener, long tag,
                                                       CRirezariResource* font)
    : CZUNumerical(size, listener, tag, font, 3, 0) {
    setSuffixString("");
}

void CZUBrakkaVelocityNumerical::draw(CDrawContext* context) {
    if (value > 0) {
        CZUNumerical::draw(context);
        return;
    }
    valueString = "SEQ";
    drawValueString(context);
}
