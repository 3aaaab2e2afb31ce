// A row of N sliders standing side by side as columns, slider i standing for tag base + i,
// and its on/off form, the multi-button.
#pragma once

#include "CZUControl.h"

#include <vector>

// Draw styles. Only column layouts are built: values grow upwards, measured from the bottom
// (unipolar) or from the middle (bipolar).
enum {
    kZUMultisliderColumns = 1 << 0,
    kZUMultisliderUpward = 1 << 1,
    kZUMultisliderBipolarStyle = 1 << 2,
    kZUMultisliderUnipolar = kZUMultisliderColumns | kZUMultisliderUpward,
    kZUMultisliderBipolar =
        kZUMultisliderColumns | kZUMultisliderUpward | kZUMultisliderBipolarStyle,
};

class CZUVMultislider : public CZUControl {
public:
    struct Slider {
        float value = 0;
        bool disabled = false;
        bool highlighted = false;
    };

    CZUVMultislider(const CRect& size, CControlListener* listener, long tag, short numSliders,
                    long style = kZUMultisliderUnipolar, CBitmap* background = nullptr);
    CLASS_METHODS(CZUVMultislider, CZUControl)

    using CZUControl::getValue;
    using CZUControl::setValue;
    // By tag: slider (tag - base tag).
    void setValue(int tag, float value) override;
    float getValue(int tag) const override;
    bool hasTag(int tag) const override;
    std::set<int> getTagSet() const override;
    // Every slider to value.
    void setValue(float value) override;

    virtual void drawNub(CDrawContext* context, short index);
    virtual void drawSliderHighlight(CDrawContext* context, short index);
    // By index; an index >= N is ignored (getters answer 0 or false).
    virtual void setValue(short index, float value);
    virtual float getValue(short index) const;
    virtual void setSliderDisabled(short index, bool disabled);
    virtual bool getSliderDisabled(short index) const;
    // Enables sliders 0..count-1 and disables the rest.
    virtual void enableSliders(short count);
    virtual void setSliderHighlighted(short index, bool highlighted);
    // Clears every highlight, then highlights slider index.
    virtual void highlightOneSlider(short index);
    virtual bool getSliderHighlighted(short index) const;
    virtual void setSliderColor(const CColor& c);
    virtual void setOutlineColor(const CColor& c);
    virtual void setHighlightColor(const CColor& c);
    virtual void setDisabledSliderColor(const CColor& c);
    virtual void setDisabledOutlineColor(const CColor& c);
    virtual CColor getSliderColor(short index) const;
    virtual CColor getOutlineColor(short index) const;
    virtual CColor getDisabledSliderColor(short index) const;
    virtual CColor getDisabledOutlineColor(short index) const;
    virtual void setDrawStyle(long style);
    long getDrawStyle() const { return style; }
    // The slider under p, or -1 outside the control.
    virtual short pointInSlider(CPoint& p) const;
    virtual CRect calculateSliderBounds(short index) const;
    virtual CRect calculateNubRect(short index, CRect bounds) const;
    virtual float pointToValue(short index, CPoint p) const;

    short getNumSliders() const { return numSliders; }
    CCoord getSliderWidth() const { return sliderWidth; }
    void setNubSize(CCoord width, CCoord height);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    bool valid(short index) const { return index >= 0 && index < numSliders; }
    // Vertical position of the nub's centre for a value.
    CCoord valueToY(short index, float value) const;

    short numSliders;
    std::vector<Slider> sliders;
    long style;
    CColor outlineColor = kGreyCColor;
    CColor sliderColor = kWhiteCColor;
    CColor disabledOutlineColor = kGreyCColor;
    CColor disabledSliderColor = kGreyCColor;
    CColor highlightColor = MakeCColor(255, 255, 255, 60);
    CCoord sliderWidth;
    CCoord nubWidth, nubHeight;
};

// A row of on/off buttons (values 0 or 1). A press flips the button under the pointer and
// makes its new value the paint value; dragging sets every enabled button passed over to the
// paint value.
class CZUVMultibutton : public CZUVMultislider {
public:
    CZUVMultibutton(const CRect& size, CControlListener* listener, long tag, short numButtons,
                    CBitmap* background = nullptr);
    CLASS_METHODS(CZUVMultibutton, CZUVMultislider)

    using CZUVMultislider::setValue;
    // Stores 1 when value > 0.5, else 0.
    virtual void setSliderValue(short index, float value);
    virtual void setValue(short index, bool on);
    void setValue(short index, float value) override { setSliderValue(index, value); }
    float getPaintValue() const { return paintValue; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;

protected:
    float paintValue = 0;
};
