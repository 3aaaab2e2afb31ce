#include "MultiXYControls.h"

#include <algorithm>

CMultiXYControl::CSliderHandle::CSliderHandle(int h, int v, int s, CBitmap* b, const CRect& r)
    : horizontalTag(h), verticalTag(v), switchTag(s), bitmap(b), size(r) {
    size.moveTo(0, 0);
    if (bitmap) bitmap->remember();
}

CMultiXYControl::CSliderHandle::~CSliderHandle() {
    if (bitmap) bitmap->forget();
}

void CMultiXYControl::CSliderHandle::draw(CDrawContext* context, CRect& where) {
    if (bitmap) {
        bitmap->draw(context, where);
    } else {
        context->setFillColor(kWhiteCColor);
        context->fillRect(where);
    }
}

bool CMultiXYControl::CSliderHandle::setValue(float v, int tag) {
    if (tag < 0) return false;
    float* target = nullptr;
    if (tag == horizontalTag)
        target = &horizontalValue;
    else if (tag == verticalTag) {
        v = 1 - v;
        target = &verticalValue;
    } else if (tag == switchTag)
        target = &switchValue;
    if (!target || *target == v) return false;
    *target = v;
    return true;
}

float CMultiXYControl::CSliderHandle::getValue(int tag) const {
    if (tag < 0) return 0;
    if (tag == horizontalTag) return horizontalValue;
    if (tag == verticalTag) return 1 - verticalValue;
    if (tag == switchTag) return switchValue;
    return 0;
}

// ---------------------------------------------------------------------------------------

CMultiXYControl::CMultiXYControl(const CRect& size, CControlListener* listener, long tag,
                                 CBitmap* background)
    : CZUControl(size, listener, tag, background) {}

CMultiXYControl::~CMultiXYControl() {
    for (CSliderHandle* h : handles)
        delete h;
}

bool CMultiXYControl::isTypeOf(const char* s) const {
    return classNameIs(s, "CMultiXYControl") || CZUControl::isTypeOf(s);
}

void CMultiXYControl::addHandle(CSliderHandle* handle) {
    if (!handle || indexOf(handle) >= 0) return;
    handles.push_back(handle);
    links.emplace_back();
    invalid();
}

long CMultiXYControl::indexOf(const CSliderHandle* handle) const {
    auto it = std::find(handles.begin(), handles.end(), handle);
    return it == handles.end() ? -1 : (long)(it - handles.begin());
}

CMultiXYControl::CSliderHandle* CMultiXYControl::getHandle(long i) const {
    return (i >= 0 && i < (long)handles.size()) ? handles[(size_t)i] : nullptr;
}

void CMultiXYControl::setHandleLink(int fromTag, int toTag, int type) {
    CSliderHandle *from = nullptr, *to = nullptr;
    for (CSliderHandle* h : handles) {
        if (!from && h->horizontalTag == fromTag) from = h;
        if (!to && h->horizontalTag == toTag) to = h;
    }
    setHandleLink(from, to, type);
}

void CMultiXYControl::setHandleLink(CSliderHandle* from, CSliderHandle* to, int type) {
    long i = indexOf(from);
    if (i < 0 || indexOf(to) < 0 || from == to) return;
    auto& list = links[(size_t)i];
    for (auto& l : list) {
        if (l.first == to) {
            l.second = type;
            return;
        }
    }
    list.push_back({to, type});
    invalid();
}

CMultiXYControl::CSliderHandle* CMultiXYControl::getHandleFromTag(int tag) const {
    if (tag < 0) return nullptr;
    for (CSliderHandle* h : handles)
        if (h->horizontalTag == tag || h->verticalTag == tag || h->switchTag == tag) return h;
    return nullptr;
}

void CMultiXYControl::setValue(int tag, float value) {
    CSliderHandle* h = getHandleFromTag(tag);
    if (h && h->setValue(value, tag)) invalid();
}

float CMultiXYControl::getValue(int tag) const {
    CSliderHandle* h = getHandleFromTag(tag);
    return h ? h->getValue(tag) : 0.f;
}

bool CMultiXYControl::hasTag(int tag) const {
    return tag != 0 && getTagSet().count(tag) > 0;
}

std::set<int> CMultiXYControl::getTagSet() const {
    std::set<int> s;
    for (CSliderHandle* h : handles)
        for (int t : {h->horizontalTag, h->verticalTag, h->switchTag})
            if (t >= 0) s.insert(t);
    return s;
}

CRect CMultiXYControl::getHandleMovementBounds(const CSliderHandle*) const {
    return size;
}

CRect CMultiXYControl::getHandleLocation(const CSliderHandle* h) const {
    CRect b = getHandleMovementBounds(h);
    CRect r = h->size;
    r.moveTo(b.left + (b.width() - h->getWidth()) * h->horizontalValue,
             b.top + (b.height() - h->getHeight()) * h->verticalValue);
    return r;
}

float CMultiXYControl::calculateHorizontalValue(const CSliderHandle* h, CCoord x) const {
    CRect b = getHandleMovementBounds(h);
    CCoord span = b.width() - h->getWidth();
    return span > 0 ? (float)((x - b.left) / span) : 0.f;
}

float CMultiXYControl::calculateVerticalValue(const CSliderHandle* h, CCoord y) const {
    CRect b = getHandleMovementBounds(h);
    CCoord span = b.height() - h->getHeight();
    return span > 0 ? (float)(1 - (y - b.top) / span) : 0.f;
}

void CMultiXYControl::beginTagEdit(int tag) {
    editing = true;
    if (listener) listener->controlBeginEdit(this);
    if (tag >= 0 && frame && frame->getEditor()) frame->getEditor()->beginEdit(tag);
}

void CMultiXYControl::endTagEdit(int tag) {
    editing = false;
    if (tag >= 0 && frame && frame->getEditor()) frame->getEditor()->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

void CMultiXYControl::beginEdit(CSliderHandle* h) {
    beginTagEdit(h ? h->horizontalTag : -1);
}

void CMultiXYControl::endEdit(CSliderHandle* h) {
    endTagEdit(h ? h->horizontalTag : -1);
}

CMultiXYControl::CSliderHandle* CMultiXYControl::handleAt(const CPoint& p) const {
    for (auto it = handles.rbegin(); it != handles.rend(); ++it) {
        CRect r = getHandleLocation(*it);
        if (p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom) return *it;
    }
    return nullptr;
}

void CMultiXYControl::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    context->setFrameColor(linkColor);
    context->setLineWidth(1);
    for (size_t i = 0; i < handles.size(); ++i)
        for (auto& l : links[i])
            drawLink(context, handles[i], l.first, l.second);
    for (CSliderHandle* h : handles) {
        CRect r = getHandleLocation(h);
        h->draw(context, r);
    }
    setDirty(false);
}

void CMultiXYControl::drawLink(CDrawContext* context, CSliderHandle* a, CSliderHandle* b,
                               int type) {
    if (type == kNoLink) return;
    CRect ra = getHandleLocation(a), rb = getHandleLocation(b);
    context->drawLine(CPoint((ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2),
                      CPoint((rb.left + rb.right) / 2, (rb.top + rb.bottom) / 2));
}

CMouseEventResult CMultiXYControl::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    CSliderHandle* h = handleAt(where);
    if (!h) return kMouseEventNotHandled;
    dragged = h;
    CRect r = getHandleLocation(h);
    dragOffset = CPoint(r.left - where.x, r.top - where.y);
    h->setSwitchValue(1);
    if (h->switchTag >= 0) sendValueChangeMessage(h->switchTag, 1);
    beginEdit(h);
    return onMouseMoved(where, buttons);
}

CMouseEventResult CMultiXYControl::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !dragged) return kMouseEventNotHandled;
    CSliderHandle* h = dragged;
    if (h->motionDirections & 1) {
        float v = std::clamp(calculateHorizontalValue(h, where.x + dragOffset.x), 0.f, 1.f);
        if (v != h->horizontalValue && h->horizontalTag >= 0)
            sendValueChangeMessage(h->horizontalTag, v);
    }
    if (h->motionDirections & 2) {
        float v = std::clamp(calculateVerticalValue(h, where.y + dragOffset.y), 0.f, 1.f);
        if (v != 1 - h->verticalValue && h->verticalTag >= 0)
            sendValueChangeMessage(h->verticalTag, v);
    }
    invalid();
    return kMouseEventHandled;
}

CMouseEventResult CMultiXYControl::onMouseUp(CPoint&, const long&) {
    if (!dragged) return kMouseEventHandled;
    CSliderHandle* h = dragged;
    h->setSwitchValue(0);
    if (h->switchTag >= 0) sendValueChangeMessage(h->switchTag, 0);
    endEdit(h);
    dragged = nullptr;
    invalid();
    return kMouseEventHandled;
}
