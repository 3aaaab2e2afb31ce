#include "CZUControl.h"

CZUControl::CZUControl(const CRect& size, CControlListener* l, long tag, CBitmap* background)
    : CControl(size, l, tag, background) {
    setListener(l);
}

void CZUControl::setListener(CControlListener* l) {
    CControl::setListener(l);
    zuListener = dynamic_cast<CZUControlListener*>(l);
}

void CZUControl::setValue(int t, float v) {
    if (t == tag) setValue(v);
}

float CZUControl::getValue(int t) const {
    return t == tag ? getValue() : 0.f;
}

void CZUControl::sendValueChangeMessage(int t, float v) {
    if (zuListener) zuListener->valueChanged((long)t, v);
}

bool CZUControl::hasTag(int t) const {
    return t != 0 && t == tag;
}

std::set<int> CZUControl::getTagSet() const {
    return std::set<int>{(int)tag};
}

CControl* getControlByTag(CFrame* frame, long tag) {
    if (!frame) return nullptr;
    for (long i = 0; i < frame->getNbViews(); ++i) {
        CView* v = frame->getView(i);
        if (v && v->isTypeOf("CControl") && static_cast<CControl*>(v)->getTag() == tag)
            return static_cast<CControl*>(v);
    }
    return nullptr;
}
