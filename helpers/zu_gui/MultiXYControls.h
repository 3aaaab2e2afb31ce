// A control holding draggable handles; each handle stands for up to three parameter tags
// (horizontal, vertical, switch; -1 = none), and handles can be linked for drawing.
#pragma once

#include "CZUControl.h"

#include <utility>
#include <vector>

class CMultiXYControl : public CZUControl {
public:
    enum linkTypes { kNoLink = 0, kLineLink = 1 };

    class CSliderHandle {
    public:
        CSliderHandle(int horizontalTag, int verticalTag, int switchTag, CBitmap* bitmap = nullptr,
                      const CRect& size = CRect(0, 0, 8, 8));
        virtual ~CSliderHandle();
        CSliderHandle(const CSliderHandle&) = delete;
        CSliderHandle& operator=(const CSliderHandle&) = delete;

        // Draws the handle's bitmap into where (or a white square without one).
        virtual void draw(CDrawContext* context, CRect& where);
        virtual void setHorizontalValue(float v) { horizontalValue = v; }
        // The stored vertical number: 0 is the top (reported value 1 - stored).
        virtual void setVerticalValue(float v) { verticalValue = v; }
        virtual void setSwitchValue(float v) { switchValue = v; }
        // Sets what tag stands for (vertical: stored as 1 - value); true when it changed.
        virtual bool setValue(float value, int tag);
        // Horizontal value, reported vertical value, switch value, or 0.
        virtual float getValue(int tag) const;
        virtual CRect& getSize(CRect& r) const {
            r = size;
            return r;
        }
        virtual CCoord getWidth() const { return size.width(); }
        virtual CCoord getHeight() const { return size.height(); }
        // Bit 1: moves horizontally; bit 2: moves vertically.
        virtual void setHandleMotionDirections(unsigned int d) { motionDirections = d; }

        float horizontalValue = 0;
        float verticalValue = 0;
        float switchValue = 0;
        int horizontalTag, verticalTag, switchTag;
        CBitmap* bitmap;
        unsigned int motionDirections = 3;
        CRect size;
    };

    CMultiXYControl(const CRect& size, CControlListener* listener, long tag,
                    CBitmap* background = nullptr);
    ~CMultiXYControl() override;
    CMultiXYControl(const CMultiXYControl&) = delete;
    bool isTypeOf(const char* s) const override;
    CView* newCopy() const override { return nullptr; } // handles are owned, not shared

    // Takes ownership of the handle and appends it.
    virtual void addHandle(CSliderHandle* handle);
    // Links the first handle with horizontal tag fromTag to the one with toTag.
    virtual void setHandleLink(int fromHorizontalTag, int toHorizontalTag, int type);
    void setHandleLink(CSliderHandle* from, CSliderHandle* to, int type);
    virtual CSliderHandle* getHandleFromTag(int tag) const;
    long getNumHandles() const { return (long)handles.size(); }
    CSliderHandle* getHandle(long index) const;

    using CZUControl::getValue;
    using CZUControl::setValue;
    void setValue(int tag, float value) override;
    float getValue(int tag) const override;
    bool hasTag(int tag) const override;
    std::set<int> getTagSet() const override;

    // Where the handle may move (its rectangle's range), and its rectangle now.
    virtual CRect getHandleMovementBounds(const CSliderHandle* handle) const;
    virtual CRect getHandleLocation(const CSliderHandle* handle) const;
    virtual float calculateHorizontalValue(const CSliderHandle* handle, CCoord x) const;
    virtual float calculateVerticalValue(const CSliderHandle* handle, CCoord y) const;

    virtual void beginEdit(CSliderHandle* handle);
    virtual void endEdit(CSliderHandle* handle);
    using CControl::beginEdit;
    using CControl::endEdit;

    void setLinkColor(const CColor& c) { linkColor = c; }
    CSliderHandle* getDraggedHandle() const { return dragged; }

    void draw(CDrawContext* context) override;
    virtual void drawLink(CDrawContext* context, CSliderHandle* from, CSliderHandle* to, int type);
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    long indexOf(const CSliderHandle* handle) const;
    // The handle under p, the last in list order when rectangles overlap (edges included).
    CSliderHandle* handleAt(const CPoint& p) const;
    // Begins or ends an edit of one tag: the listener and the frame's editor hear of it.
    void beginTagEdit(int tag);
    void endTagEdit(int tag);

    std::vector<CSliderHandle*> handles;
    std::vector<std::vector<std::pair<CSliderHandle*, int>>> links; // per handle
    CSliderHandle* dragged = nullptr;
    CPoint dragOffset; // from the press point to the dragged handle's top-left corner
    CColor linkColor = kWhiteCColor;
};
