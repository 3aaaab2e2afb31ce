#include "CZUNumerical.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CZUNumerical::CZUNumerical(const CRect& size, CControlListener* listener, long tag,
                           CRirezariResource* f, int d, int places, bool left, bool zero)
    : CControl(size, listener, tag), font(f), digits(d < 1 ? 1 : (d > 20 ? 20 : d)),
      decimalPlaces(places < 0 ? 0 : (places > 10 ? 10 : places)), leftAligned(left),
      zeroPadded(zero) {
    if (font) font->remember();
    buildFormatString();
    rebuildValueString();
}

CZUNumerical::CZUNumerical(const CZUNumerical& n)
    : CControl(n), font(n.font), digits(n.digits), decimalPlaces(n.decimalPlaces),
      leftAligned(n.leftAligned), zeroPadded(n.zeroPadded), formatString(n.formatString),
      suffixString(n.suffixString), valueString(n.valueString), textOrigin(n.textOrigin),
      rebuildOnDraw(n.rebuildOnDraw), fontColor(n.fontColor) {
    if (font) font->remember();
}

CZUNumerical::~CZUNumerical() {
    if (font) font->forget();
}

void CZUNumerical::buildFormatString() {
    formatString = "%";
    if (leftAligned) formatString += "-";
    if (zeroPadded) formatString += "0";
    formatString += std::to_string(decimalPlaces > 0 ? digits + 1 : digits);
    if (decimalPlaces > 0)
        formatString += "." + std::to_string(decimalPlaces) + "f";
    else
        formatString += "d";
    invalid();
}

void CZUNumerical::setSuffixString(const char* s) {
    suffixString = s ? s : "";
    invalid();
}

// A format given from outside must print exactly one number of the kind the display uses;
// anything else is refused, so a bad format can never read arguments that are not there.
void CZUNumerical::setFormatString(const char* f) {
    if (!f) return;
    int conversions = 0;
    char kind = 0;
    for (const char* p = f; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        ++conversions;
        const char* q = p + 1;
        while (*q && std::strchr("-+ 0#.0123456789", *q))
            ++q;
        kind = *q;
    }
    char want = decimalPlaces > 0 ? 'f' : 'd';
    if (conversions != 1 || kind != want) return;
    formatString = f;
    invalid();
}

void CZUNumerical::setValueString(const char* s) {
    valueString = s ? s : "";
    invalid();
}

void CZUNumerical::rebuildValueString() {
    char buf[128];
    if (decimalPlaces > 0) {
        std::snprintf(buf, sizeof buf, formatString.c_str(), (double)value);
    } else {
        double t = std::trunc((double)value);
        long v = (t > 2e9) ? 2000000000L : (t < -2e9 ? -2000000000L : (long)t);
        std::snprintf(buf, sizeof buf, formatString.c_str(), (int)v);
    }
    valueString = std::string(buf) + suffixString;
}

CCoord CZUNumerical::textLeft() const {
    if (leftAligned || !font) return size.left;
    return size.right - font->getStringWidth(valueString.c_str());
}

void CZUNumerical::draw(CDrawContext* context) {
    if (rebuildOnDraw) rebuildValueString();
    drawValueString(context);
}

void CZUNumerical::drawValueString(CDrawContext* context) {
    if (background) background->draw(context, size);
    if (font) {
        textOrigin.x = textLeft();
        textOrigin.y = size.top + std::floor((size.height() - font->getMaxCharacterHeight()) / 2);
        font->drawText(context, textOrigin, valueString.c_str(), &fontColor);
    }
    setDirty(false);
}

float CZUNumerical::distance2deltaValue(double d) const {
    return (float)std::floor(d) * dragStep;
}

CMouseEventResult CZUNumerical::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    lastPoint = where;
    dragStep = (vmax - vmin) * 0.01f;
    fineStep = false;
    if (rebuildOnDraw) rebuildValueString();
    size_t point = valueString.find('.');
    if (font && point != std::string::npos) {
        long index = font->characterIndexInString(where.x - textLeft(), valueString.c_str());
        if (index > (long)point && index < (long)valueString.size()) {
            dragStep /= 10;
            fineStep = true;
        }
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUNumerical::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventNotHandled;
    double dx = where.x - lastPoint.x, dy = where.y - lastPoint.y;
    double d = std::fabs(dx) > std::fabs(dy) ? dx : -dy;
    lastPoint = where;
    float old = value;
    value += distance2deltaValue(d);
    bounceValue();
    if (value != old) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZUNumerical::onMouseUp(CPoint&, const long&) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}
