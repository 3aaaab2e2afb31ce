// Brakka's step rows, pattern selector, play button, small knob and velocity read-out.
#pragma once

#include "BrakkaControlColors.h"
#include "CZUNumerical.h"
#include "CZUVKnob.h"
#include "CZUVMultislider.h"

#include <vector>

// A voice's 32 note steps.
class CZUBrakkaMultiButton : public CZUVMultibutton {
public:
    CZUBrakkaMultiButton(const CRect& size, CControlListener* listener, long tag,
                         CBitmap* background = nullptr);
    CLASS_METHODS(CZUBrakkaMultiButton, CZUVMultibutton)

    // Each byte is a step, on when non-zero; extra bytes are ignored, missing ones left as
    // they are.
    void setAllValues(const std::vector<unsigned char>& row);
    // 32 bytes, 0 or 1.
    std::vector<unsigned char> getAllValues() const;
    void draw(CDrawContext* context) override;
};

// The 32 step values of the selected voice's velocity (unipolar) or modulation (bipolar) row.
class CZUBrakkaMultiSlider : public CZUVMultislider {
public:
    CZUBrakkaMultiSlider(const CRect& size, CControlListener* listener, long tag,
                         CBitmap* background = nullptr);
    CLASS_METHODS(CZUBrakkaMultiSlider, CZUVMultislider)

    void setAllValues(const std::vector<float>& row);
    std::vector<float> getAllValues() const;
    // Bars run from the middle (bipolar) or from the bottom (unipolar) to the value.
    void draw(CDrawContext* context) override;
};

// 16 pattern cells in one row over a background bitmap; value = pattern / 15. A chosen pattern
// shows as pending until the editor confirms that it plays.
class CZUBrakkaPatternSelector : public CControl {
public:
    CZUBrakkaPatternSelector(const CRect& size, CControlListener* listener, long tag,
                             CBitmap* background = nullptr);
    CLASS_METHODS(CZUBrakkaPatternSelector, CControl)

    // Marks a pending change (remembering the playing value unless one is pending already).
    void setValue(float v) override;
    void setValue(int pattern);
    void completePendingChange();
    bool isPending() const { return pending; }
    float getPreviousValue() const { return previousValue; }
    CCoord getCellWidth() const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    CRect cellRect(long pattern) const;
    bool pending = false;
    float previousValue = 0;
};

// The transport button. While held it shows 1 (was off) or 0.25 (was on) over the control,
// the old state outside; the release leaves it at 1 and reports a change.
class CZUBrakkaPlayButton : public CMovieButton {
public:
    CZUBrakkaPlayButton(const CRect& size, CControlListener* listener, long tag,
                        CCoord heightOfOneImage, CBitmap* background = nullptr);
    CLASS_METHODS(CZUBrakkaPlayButton, CMovieButton)

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    bool wasOn = false;
};

// A small knob: background bitmap and a 10-degree pointer arc.
class CZUBrakkaSmallVKnob : public CZUVKnob {
public:
    CZUBrakkaSmallVKnob(const CRect& size, CControlListener* listener, long tag,
                        CBitmap* background = nullptr);
    CLASS_METHODS(CZUBrakkaSmallVKnob, CZUVKnob)
    void draw(CDrawContext* context) override;
};

// A 3-digit velocity read-out that shows "SEQ" at 0 (velocity from the sequencer row).
class CZUBrakkaVelocityNumerical : public CZUNumerical {
public:
    CZUBrakkaVelocityNumerical(const CRect& size, CControlListener* listener, long tag,
                               CRirezariResource* font);
    CLASS_METHODS(CZUBrakkaVelocityNumerical, CZUNumerical)
    void draw(CDrawContext* context) override;
};
