// A pop-up menu drawn with a bitmap font. Pressed, it opens over itself with the current item
// where the closed control was; dragging chooses an item, releasing closes it and commits.
// With n items the value of item k is k / (n - 1).
#pragma once

#include "CRirezariResource.h"

#include <string>
#include <vector>

class CZUVPopupMenu : public CControl {
public:
    // Colours: frame; closed background; popped background; selection; text; selected text.
    CZUVPopupMenu(const CRect& size, CControlListener* listener, long tag, CRirezariResource* font,
                  const CColor& frameColor, const CColor& closedBackground,
                  const CColor& poppedBackground, const CColor& selectionColor,
                  const CColor& textColor, const CColor& selectedTextColor);
    CZUVPopupMenu(const CZUVPopupMenu& m);
    ~CZUVPopupMenu() override;
    CLASS_METHODS(CZUVPopupMenu, CControl)

    virtual void appendItem(const std::string& item);
    virtual void setItemList(const std::vector<std::string>& items);
    virtual void getItemList(std::vector<std::string>& items) const;
    virtual void clearAllItems();
    virtual void pop();
    virtual void unPop();

    // Current item = truncate(count x value), at most count - 1.
    void setValue(float v) override;
    long getCurrentItem() const { return currentItem; }
    bool isPopped() const { return popped; }
    CCoord getItemHeight() const { return itemHeight; }
    const CRect& getPoppedRect() const { return poppedRect; }
    // While closed, the size given is the closed rectangle.
    void setViewSize(const CRect& rect, bool invalidate = true) override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    long count() const { return (long)items.size(); }
    void drawItemText(CDrawContext* context, long item, const CRect& row, const CColor& color);

    std::vector<std::string> items;
    CRirezariResource* font;
    CCoord itemHeight;
    CRect closedRect, poppedRect;
    CColor frameColor, closedBackground, poppedBackground, selectionColor, textColor,
        selectedTextColor;
    bool popped = false;
    bool selectionMade = false;
    long currentItem = 0;
};
