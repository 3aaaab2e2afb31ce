// A number read-out in a bitmap font. Dragging right or up increases the value by 1 % of the
// range per pixel, or by 0.1 % when the press falls on a digit after the decimal point.
#pragma once

#include "CRirezariResource.h"

#include <string>

class CZUNumerical : public CControl {
public:
    CZUNumerical(const CRect& size, CControlListener* listener, long tag, CRirezariResource* font,
                 int digits, int decimalPlaces = 0, bool leftAligned = false,
                 bool zeroPadded = false);
    CZUNumerical(const CZUNumerical& n);
    ~CZUNumerical() override;
    CLASS_METHODS(CZUNumerical, CControl)

    virtual void setSuffixString(const char* suffix);
    virtual void setFormatString(const char* format);
    virtual void setValueString(const char* text);
    virtual void setStringRebuildOnDraw(bool rebuild) { rebuildOnDraw = rebuild; }
    virtual float getRealValue() const { return value; }
    // The value change for a move of d pixels (positive = increase).
    virtual float distance2deltaValue(double d) const;
    // "%", "-" when left-aligned, "0" when zero-padded, the width (digits, plus one for the
    // point when there are decimal places), then ".<places>f" or "d".
    virtual void buildFormatString();

    const char* getFormatString() const { return formatString.c_str(); }
    const char* getValueString() const { return valueString.c_str(); }
    float getDragStep() const { return dragStep; }
    void setFontColor(const CColor& c) { fontColor = c; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    // Rebuilds the value string from the value, the format and the suffix.
    void rebuildValueString();
    // Left edge of the text as drawn.
    CCoord textLeft() const;
    // Draws the background and the value string as it stands, centred vertically.
    void drawValueString(CDrawContext* context);

    CRirezariResource* font;
    int digits, decimalPlaces;
    bool leftAligned, zeroPadded;
    std::string formatString, suffixString, valueString;
    CPoint textOrigin;
    CPoint lastPoint;
    float dragStep = 0.01f;
    bool fineStep = false;
    bool rebuildOnDraw = true;
    CColor fontColor = kWhiteCColor;
};
