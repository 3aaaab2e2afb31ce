// Envelope graphs edited directly: handles linked in sequence draw the segments of an
// envelope, each segment shaped by the curvature of the handle it leaves, with the same law
// as the breakpoint envelopes: shape(t) = t^(10^c) for c > 0, else 1 - (1 - t)^(10^-c).
// Handle times are dragged sideways; a vertical drag on a segment changes its curvature.
#pragma once

#include "MultiXYControls.h"

class CEGControl : public CMultiXYControl {
public:
    class CEGControlHandle : public CMultiXYControl::CSliderHandle {
    public:
        CEGControlHandle(int horizontalTag, int verticalTag, int curvatureTag, int switchTag,
                         const CColor& frameColor, const CColor& fillColor);
        void draw(CDrawContext* context, CRect& where) override;
        // Also sets the curvature: curvature = 1 - 2 x value.
        bool setValue(float value, int tag) override;
        virtual float getCurvature() const { return curvature; }
        virtual void setCurvature(float c) { curvature = c; }

        int curvatureTag;
        CColor fillColor, frameColor;
        float curvature = 0;
    };

    // Builds count handles: handle k has tags first + 3k (horizontal), first + 3k + 1
    // (vertical) and first + 3k + 2 (curvature), linked in sequence. The colours: marker,
    // background, grid, curve, handle frame, handle fill.
    CEGControl(const CRect& size, CControlListener* listener, long firstTag, int count,
               const CColor& marker, const CColor& background, const CColor& grid,
               const CColor& curve, const CColor& handleFrame, const CColor& handleFill,
               bool gridVisible = true);
    bool isTypeOf(const char* s) const override;

    // Appends a handle and links the previously last handle to it.
    CEGControlHandle* addHandle(int horizontalTag, int verticalTag, int curvatureTag, int switchTag,
                                const CColor& frameColor, const CColor& fillColor);
    virtual void addHandle(CEGControlHandle* handle);
    using CMultiXYControl::addHandle;

    CSliderHandle* getHandleFromTag(int tag) const override;
    std::set<int> getTagSet() const override;
    long getTag() const override { return firstTag; }

    virtual void setGridVisible(bool visible);
    bool getGridVisible() const { return gridVisible; }
    const CRect& getDrawingArea() const { return drawingArea; }
    bool isCurvatureDrag() const { return curvatureDrag; }
    // The handle whose outgoing segment a press at p would bend.
    CEGControlHandle* segmentStartAt(const CPoint& p) const;

    CRect getHandleMovementBounds(const CSliderHandle* handle) const override;
    void beginEdit(CSliderHandle* handle) override;
    void endEdit(CSliderHandle* handle) override;

    void draw(CDrawContext* context) override;
    void drawLink(CDrawContext* context, CSliderHandle* from, CSliderHandle* to, int type) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

    void setViewSize(const CRect& rect, bool invalidate = true) override;

protected:
    static CEGControlHandle* asEG(CSliderHandle* h) { return static_cast<CEGControlHandle*>(h); }

    CRect drawingArea;
    long firstTag;
    bool curvatureDrag = false;
    CEGControlHandle* curvatureHandle = nullptr;
    CPoint lastPoint;
    bool gridVisible;
    CColor markerColor, backgroundColor, gridColor, curveColor, extraColor1, extraColor2;
};

// The attack/decay graph: three handles (start, peak, end). The peak's horizontal value is the
// attack time and may use one sixth of the graph's width; the end's is the decay time,
// measured from the peak.
class CEGARControl : public CEGControl {
public:
    CEGARControl(const CRect& size, CControlListener* listener, int attackTimeTag,
                 int attackCurveTag, int peakLevelTag, int decayTimeTag, int decayCurveTag,
                 const CColor& marker, const CColor& background, const CColor& grid,
                 const CColor& curve, const CColor& handleFrame, const CColor& handleFill,
                 bool gridVisible = true);
    bool isTypeOf(const char* s) const override;
    CRect getHandleMovementBounds(const CSliderHandle* handle) const override;

protected:
    int attackTag;
};
