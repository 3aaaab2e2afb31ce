// A button that is on only while held: the listener sees 1 at the press and 0 at the release,
// wherever the pointer is released.
#pragma once

#include "vstgui.h"

class CMomentaryButton : public COnOffButton {
public:
    CMomentaryButton(const CRect& size, CControlListener* listener, long tag,
                     CBitmap* background = nullptr);
    CLASS_METHODS(CMomentaryButton, COnOffButton)

    // The background holds the released image above the pressed one; without a background
    // the button is a framed rectangle, filled while pressed.
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

    void setColors(const CColor& frameColor, const CColor& fillColor);

protected:
    CColor frameColor = kGreyCColor;
    CColor fillColor = kWhiteCColor;
};
