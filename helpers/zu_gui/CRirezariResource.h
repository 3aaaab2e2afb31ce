// A bitmap font: a glyph image and a metrics table, found through the resource lookup.
//
// Font number n is named by the information key "RirezariInfo_<n>", whose string is the base
// name of two resources: (<base>, "png") the glyph image, white glyphs with alpha, and
// (<base>, "tab") the metrics. Metrics as read here (16-bit fields little-endian): the record
// count at byte 10; 16-byte records from byte 20 with the character at byte 0, the glyph's
// cell top in the image at 4, the glyph height at 10, and the cell's left and right edges in
// the image at 12 and 14 (advance = right - left). A resource (<base>@2x, "png") of twice the
// glyph image's size, when present, is the same glyphs at double resolution for zoomed
// drawing; the metrics stay those of the first image.
#pragma once

#include "vstgui.h"

#include <string>
#include <vector>

class CRirezariResource : public CBaseObject {
public:
    explicit CRirezariResource(long fontNumber);
    ~CRirezariResource() override;
    bool isTypeOf(const char* s) const override;

    bool isLoaded() const { return bitmap != nullptr && !records.empty(); }

    // The 16-byte record of a character, or null when the font has none.
    virtual const unsigned char* getCharacterInfo(char c) const;
    virtual CBitmap* getCharacterBitmap() const { return bitmap; }
    virtual long getMaxCharacterHeight() const { return maxHeight; }
    // Draws text with its top-left corner at origin: in the glyph image's own colours, or,
    // with a colour, in that colour. At most maxChars characters when maxChars >= 0.
    // Characters the font lacks are skipped. Returns the width drawn.
    virtual CCoord drawText(CDrawContext* context, CPoint origin, const char* text,
                            const CColor* color = nullptr, long maxChars = -1);
    virtual void setAlpha(unsigned char a) { alpha = a; }
    virtual unsigned char getAlpha() const { return alpha; }
    // Sum of the advances of the characters (of the first maxChars when maxChars >= 0).
    virtual CCoord getStringWidth(const char* text, long maxChars = -1) const;
    // Index of the character under x: the first whose cumulative advance exceeds x; the
    // string's length when x lies beyond its end.
    virtual long characterIndexInString(double x, const char* text) const;

    long getAdvance(char c) const;

private:
    static unsigned read16(const unsigned char* p) { return p[0] | (unsigned)(p[1] << 8); }

    CBitmap* bitmap = nullptr;
    std::vector<unsigned char> records; // count x 16 bytes
    int index[256];
    long maxHeight = 0;
    unsigned char alpha = 255;
};
