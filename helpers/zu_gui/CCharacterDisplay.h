// Text captions. CCharacterDisplay holds a string of at most a given number of characters and
// a justification (0 left, 1 centre, 2 right); CZUTextDisplay draws it with a bitmap font at
// the view's top edge.
#pragma once

#include "CRirezariResource.h"

#include <string>

class CCharacterDisplay : public CView {
public:
    CCharacterDisplay(const CRect& size, short sizeInChars, short justification = 0);
    CLASS_METHODS(CCharacterDisplay, CView)

    virtual void setDisplayString(const std::string& s);
    virtual void setDisplayString(const char* s);
    // Overwrites the characters from position on (padding with spaces up to it).
    virtual void setDisplayStringAtPosition(const std::string& s, short position);
    virtual void setDisplayStringAtPosition(const char* s, short position);
    virtual void clear();
    virtual void setJustification(short j);
    // With auto-erase the view's rectangle is filled with the erase colour before drawing.
    virtual void setAutoErase(bool erase);
    virtual short getSizeInChars() const { return sizeInChars; }

    const std::string& getDisplayString() const { return text; }
    short getJustification() const { return justification; }
    void setEraseColor(const CColor& c) { eraseColor = c; }

    void draw(CDrawContext* context) override;

protected:
    std::string text;
    short sizeInChars;
    short justification;
    bool autoErase = false;
    CColor eraseColor = kBlackCColor;
};

class CZUTextDisplay : public CCharacterDisplay {
public:
    CZUTextDisplay(const CRect& size, CRirezariResource* font, short sizeInChars,
                   short justification = 0);
    CZUTextDisplay(const CZUTextDisplay& d);
    ~CZUTextDisplay() override;
    CLASS_METHODS(CZUTextDisplay, CCharacterDisplay)

    virtual void setAlpha(unsigned char a);
    unsigned char getAlpha() const { return alpha; }
    void setFontColor(const CColor& c);

    void draw(CDrawContext* context) override;

protected:
    CRirezariResource* font;
    unsigned char alpha = 255;
    CColor fontColor = kWhiteCColor;
};
