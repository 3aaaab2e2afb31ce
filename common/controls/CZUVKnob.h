// Vector knobs, dragged vertically. CZUVKnob draws a circle and a pie wedge for the value;
// CZUKitboxVKnob draws a background bitmap, a pointer and, under them, a caption.
#pragma once

#include "CRirezariResource.h"
#include "vstgui.h"

#include <string>

// Pointer angles are in degrees counter-clockwise from 12 o'clock: 135 - 270 x value runs
// from lower left (0) over the top (0.5) to lower right (1). Draws the arc of the ellipse
// in r between two such angles.
void drawKnobArc(CDrawContext* context, const CRect& r, double fromDegrees, double toDegrees);

class CZUVKnob : public CKnob {
public:
    CZUVKnob(const CRect& size, CControlListener* listener, long tag, const CColor& frameColor,
             const CColor& fillColor, const CColor& disabledFrameColor,
             const CColor& disabledFillColor, CBitmap* background = nullptr);
    CLASS_METHODS(CZUVKnob, CKnob)

    virtual void setEnabled(bool enabled);
    bool isEnabled() const { return enabled; }
    // 0 = continuous; n > 0 quantizes values to steps of 1/n.
    virtual void setNumberOfPositions(int n);
    int getNumberOfPositions() const { return positions; }
    virtual void setOutlineWidth(double width, bool redraw = true);

    void setValue(float v) override;
    void bounceValue() override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    void draw(CDrawContext* context) override;

protected:
    float quantize(float v) const;

    CColor frameColorEnabled, fillColorEnabled, frameColorDisabled, fillColorDisabled;
    CColor frameColor, fillColor;
    bool enabled = true;
    int positions = 0;
    double outlineWidth = 1.0;
};

class CZUKitboxVKnob : public CZUVKnob {
public:
    CZUKitboxVKnob(const CRect& size, CControlListener* listener, long tag, CRirezariResource* font,
                   const char* caption, const CColor& frameColor, const CColor& fillColor,
                   CBitmap* background = nullptr);
    CZUKitboxVKnob(const CZUKitboxVKnob& k);
    ~CZUKitboxVKnob() override;
    CLASS_METHODS(CZUKitboxVKnob, CZUVKnob)

    void setCaption(const char* caption);
    const std::string& getCaption() const { return caption; }
    void setCaptionColor(const CColor& c) { captionColor = c; }
    void draw(CDrawContext* context) override;

protected:
    CRirezariResource* font;
    std::string caption;
    CColor captionColor = kWhiteCColor;
};
