#include "CHighlightFrame.h"

CHighlightFrame::CHighlightFrame(const CRect& size, VSTGUIEditorInterface* editor)
    : CFrame(size, editor) {}

bool CHighlightFrame::isTypeOf(const char* s) const {
    return classNameIs(s, "CHighlightFrame") || CFrame::isTypeOf(s);
}

bool CHighlightFrame::addView(CControl* control) {
    if (!control) return false;
    if (control->isTypeOf("CZUControl")) return addView(static_cast<CZUControl*>(control));
    if (!CFrame::addView(control)) return false;
    tagIndex[control->getTag()] = control;
    return true;
}

bool CHighlightFrame::addView(CZUControl* control) {
    if (!control) return false;
    if (!CFrame::addView(control)) return false;
    for (int t : control->getTagSet())
        tagIndex[t] = control;
    return true;
}

bool CHighlightFrame::addView(CView* view, long id) {
    if (!view) return false;
    viewIndex[id] = view;
    if (view->isTypeOf("CControl")) return addView(static_cast<CControl*>(view));
    CFrame::addView(view);
    return true;
}

void CHighlightFrame::forgetIndexed(CView* view) {
    for (auto it = tagIndex.begin(); it != tagIndex.end();)
        it = (it->second == view) ? tagIndex.erase(it) : std::next(it);
    for (auto it = viewIndex.begin(); it != viewIndex.end();)
        it = (it->second == view) ? viewIndex.erase(it) : std::next(it);
    if (pupil.load() == view) pupil.store(nullptr);
}

bool CHighlightFrame::removeView(CView* view, bool withForget) {
    if (!isChild(view)) return false;
    forgetIndexed(view);
    return CFrame::removeView(view, withForget);
}

void CHighlightFrame::removeAll(bool withForget) {
    tagIndex.clear();
    viewIndex.clear();
    pupil.store(nullptr);
    CFrame::removeAll(withForget);
}

void CHighlightFrame::setHighlightColor(unsigned char r, unsigned char g, unsigned char b,
                                        unsigned char a) {
    setHighlightColor(MakeCColor(r, g, b, a));
}

void CHighlightFrame::setHighlightColor(const CColor& color) {
    highlightColor = color;
    setDirty(true);
}

void CHighlightFrame::setHighlightControl(long tag, bool on) {
    CControl* old = pupil.load();
    if (old) old->setDirty(true);
    setDirty(true); // the outline lies on the frame
    CControl* c = on ? getControlFromID(tag) : nullptr;
    if (c) c->setDirty(true);
    pupil.store(c);
}

bool CHighlightFrame::getHighlightRect(long, CRect& rect) const {
    CControl* p = pupil.load();
    if (!p) return false;
    p->getViewSize(rect);
    return true;
}

CControl* CHighlightFrame::getControlFromID(long tag) const {
    auto it = tagIndex.find(tag);
    return it == tagIndex.end() ? nullptr : it->second;
}

CView* CHighlightFrame::getViewFromID(long id) const {
    auto it = viewIndex.find(id);
    return it == viewIndex.end() ? nullptr : it->second;
}

void CHighlightFrame::draw(CDrawContext* context) {
    CFrame::draw(context);
    CRect r;
    if (!getHighlightRect(0, r)) return;
    CCoord oldWidth = context->getLineWidth();
    CColor oldColor = context->getFrameColor();
    context->setLineWidth(1);
    context->setFrameColor(highlightColor);
    context->drawRect(r, kDrawStroked);
    context->setLineWidth(oldWidth);
    context->setFrameColor(oldColor);
}
