#include "CZUVPopupMenu.h"

#include <cmath>

CZUVPopupMenu::CZUVPopupMenu(const CRect& size, CControlListener* listener, long tag,
                             CRirezariResource* f, const CColor& frame, const CColor& closedBg,
                             const CColor& poppedBg, const CColor& selection, const CColor& text,
                             const CColor& selectedText)
    : CControl(size, listener, tag), font(f), closedRect(size), poppedRect(size), frameColor(frame),
      closedBackground(closedBg), poppedBackground(poppedBg), selectionColor(selection),
      textColor(text), selectedTextColor(selectedText) {
    if (font) font->remember();
    itemHeight = (font && font->getMaxCharacterHeight() > 0) ? font->getMaxCharacterHeight() : 12;
}

CZUVPopupMenu::CZUVPopupMenu(const CZUVPopupMenu& m)
    : CControl(m), items(m.items), font(m.font), itemHeight(m.itemHeight), closedRect(m.closedRect),
      poppedRect(m.closedRect), frameColor(m.frameColor), closedBackground(m.closedBackground),
      poppedBackground(m.poppedBackground), selectionColor(m.selectionColor),
      textColor(m.textColor), selectedTextColor(m.selectedTextColor), currentItem(m.currentItem) {
    if (font) font->remember();
    size = mouseableArea = closedRect;
}

CZUVPopupMenu::~CZUVPopupMenu() {
    if (font) font->forget();
}

void CZUVPopupMenu::appendItem(const std::string& item) {
    items.push_back(item);
    setValue(value);
}

void CZUVPopupMenu::setItemList(const std::vector<std::string>& list) {
    items = list;
    setValue(value);
}

void CZUVPopupMenu::getItemList(std::vector<std::string>& list) const {
    list = items;
}

void CZUVPopupMenu::clearAllItems() {
    if (popped) unPop();
    items.clear();
    currentItem = 0;
    invalid();
}

void CZUVPopupMenu::setValue(float v) {
    value = v;
    long n = count();
    double k = std::isfinite(v) ? std::trunc((double)n * v) : 0;
    if (k > n - 1) k = n - 1;
    if (k < 0) k = 0;
    if ((long)k != currentItem) {
        currentItem = (long)k;
        invalid();
    }
}

void CZUVPopupMenu::setViewSize(const CRect& rect, bool invalidate) {
    if (!popped) closedRect = rect;
    CControl::setViewSize(rect, invalidate);
    setMouseableArea(rect);
}

void CZUVPopupMenu::pop() {
    if (popped || count() == 0) return;
    poppedRect = closedRect;
    poppedRect.offset(0, -currentItem * itemHeight);
    poppedRect.setHeight(count() * itemHeight);
    if (frame) {
        const CRect& f = frame->getViewSize();
        if (poppedRect.bottom > f.bottom) poppedRect.offset(0, f.bottom - poppedRect.bottom);
        if (poppedRect.top < f.top) poppedRect.offset(0, f.top - poppedRect.top);
    }
    popped = true;
    selectionMade = false;
    setViewSize(poppedRect);
    setMouseableArea(poppedRect);
    if (frame) frame->setModalView(this);
    invalid();
}

void CZUVPopupMenu::unPop() {
    if (!popped) return;
    popped = false;
    setViewSize(closedRect);
    setMouseableArea(closedRect);
    if (frame && frame->getModalView() == this) frame->setModalView(nullptr);
    invalid();
}

void CZUVPopupMenu::drawItemText(CDrawContext* context, long item, const CRect& row,
                                 const CColor& color) {
    if (!font || item < 0 || item >= count()) return;
    CPoint origin(row.left + 3,
                  row.top + std::floor((row.height() - font->getMaxCharacterHeight()) / 2));
    context->setClipRect(row);
    font->drawText(context, origin, items[(size_t)item].c_str(), &color);
    context->resetClipRect();
}

void CZUVPopupMenu::draw(CDrawContext* context) {
    context->setLineWidth(1);
    context->setFrameColor(frameColor);
    if (!popped) {
        context->setFillColor(closedBackground);
        context->drawRect(closedRect, kDrawFilledAndStroked);
        drawItemText(context, currentItem, closedRect, textColor);
    } else {
        context->setFillColor(poppedBackground);
        context->drawRect(poppedRect, kDrawFilledAndStroked);
        for (long i = 0; i < count(); ++i) {
            CRect row(poppedRect.left, poppedRect.top + i * itemHeight, poppedRect.right,
                      poppedRect.top + (i + 1) * itemHeight);
            if (i == currentItem) {
                context->setFillColor(selectionColor);
                context->fillRect(CRect(row).inset(1, 1));
            }
            drawItemText(context, i, row, i == currentItem ? selectedTextColor : textColor);
        }
    }
    setDirty(false);
}

CMouseEventResult CZUVPopupMenu::onMouseDown(CPoint&, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (popped) {
        unPop();
        return kMouseEventHandled;
    }
    beginEdit();
    pop();
    return kMouseEventHandled;
}

CMouseEventResult CZUVPopupMenu::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !popped || !poppedRect.pointInside(where) || itemHeight <= 0)
        return kMouseEventHandled;
    // The item whose row lies under the pointer.
    long item = (long)std::floor((where.y - poppedRect.top) / itemHeight);
    if (item > count() - 1) item = count() - 1;
    if (item < 0) item = 0;
    if (item != currentItem) {
        currentItem = item;
        value = count() > 1 ? (float)item / (float)(count() - 1) : 0.f;
        selectionMade = true;
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUVPopupMenu::onMouseUp(CPoint&, const long&) {
    if (popped) unPop();
    if (selectionMade) {
        selectionMade = false;
        valueChanged();
    }
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}
