#include "CCharacterDisplay.h"

#include <cmath>

CCharacterDisplay::CCharacterDisplay(const CRect& size, short chars, short j)
    : CView(size), sizeInChars(chars < 0 ? 0 : chars), justification(j) {
    setMouseEnabled(false);
}

void CCharacterDisplay::setDisplayString(const std::string& s) {
    std::string t = s.substr(0, (size_t)sizeInChars);
    if (t != text) {
        text = t;
        invalid();
    }
}

void CCharacterDisplay::setDisplayString(const char* s) {
    setDisplayString(std::string(s ? s : ""));
}

void CCharacterDisplay::setDisplayStringAtPosition(const std::string& s, short position) {
    if (position < 0 || position >= sizeInChars) return;
    std::string t = text;
    if (t.size() < (size_t)position) t.resize((size_t)position, ' ');
    t.replace((size_t)position, std::min(s.size(), t.size() - (size_t)position), s);
    setDisplayString(t);
}

void CCharacterDisplay::setDisplayStringAtPosition(const char* s, short position) {
    setDisplayStringAtPosition(std::string(s ? s : ""), position);
}

void CCharacterDisplay::clear() {
    setDisplayString(std::string());
}

void CCharacterDisplay::setJustification(short j) {
    if (j < 0 || j > 2) j = 0;
    justification = j;
    invalid();
}

void CCharacterDisplay::setAutoErase(bool e) {
    autoErase = e;
    invalid();
}

void CCharacterDisplay::draw(CDrawContext* context) {
    if (autoErase) {
        context->setFillColor(eraseColor);
        context->fillRect(size);
    }
    if (background) background->draw(context, size);
    setDirty(false);
}

// ---------------------------------------------------------------------------------------

CZUTextDisplay::CZUTextDisplay(const CRect& size, CRirezariResource* f, short chars, short j)
    : CCharacterDisplay(size, chars, j), font(f) {
    if (font) font->remember();
}

CZUTextDisplay::CZUTextDisplay(const CZUTextDisplay& d)
    : CCharacterDisplay(d), font(d.font), alpha(d.alpha), fontColor(d.fontColor) {
    if (font) font->remember();
}

CZUTextDisplay::~CZUTextDisplay() {
    if (font) font->forget();
}

void CZUTextDisplay::setAlpha(unsigned char a) {
    alpha = a;
    invalid();
}

void CZUTextDisplay::setFontColor(const CColor& c) {
    fontColor = c;
    invalid();
}

void CZUTextDisplay::draw(CDrawContext* context) {
    CCharacterDisplay::draw(context);
    if (!font) return;
    CCoord width = font->getStringWidth(text.c_str());
    CCoord x = size.left;
    if (justification == 1)
        x = std::floor((size.left + size.right) / 2 - width / 2);
    else if (justification == 2)
        x = size.right - width;
    CColor c = fontColor;
    c.alpha = (unsigned char)((c.alpha * alpha + 127) / 255);
    context->setClipRect(size);
    font->drawText(context, CPoint(x, size.top), text.c_str(), &c);
    context->resetClipRect();
    setDirty(false);
}
