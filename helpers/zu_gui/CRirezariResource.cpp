#include "CRirezariResource.h"

#include <cstdio>

CRirezariResource::CRirezariResource(long fontNumber) {
    for (int& i : index)
        i = -1;
    char key[64];
    std::snprintf(key, sizeof key, "RirezariInfo_%ld", fontNumber);
    const char* base = lookupResourceInfo(key);
    if (!base) return;

    const unsigned char* data;
    size_t size;
    if (!lookupResource(base, "tab", &data, &size) || size < 20) return;
    // Only whole records that lie inside the file are used, whatever the count claims.
    size_t count = read16(data + 10);
    size_t fit = (size - 20) / 16;
    if (count > fit) count = fit;
    records.assign(data + 20, data + 20 + count * 16);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* r = &records[i * 16];
        if (index[r[0]] < 0) index[r[0]] = (int)i;
        if ((long)read16(r + 10) > maxHeight) maxHeight = read16(r + 10);
    }

    if (lookupResource(base, "png", &data, &size)) {
        bitmap = new CBitmap(data, size);
        if (!bitmap->isLoaded()) {
            bitmap->forget();
            bitmap = nullptr;
        } else if (lookupResource((std::string(base) + "@2x").c_str(), "png", &data, &size)) {
            bitmap->setHighResolutionPNG(data, size);
        }
    }
}

CRirezariResource::~CRirezariResource() {
    if (bitmap) bitmap->forget();
}

bool CRirezariResource::isTypeOf(const char* s) const {
    return classNameIs(s, "CRirezariResource") || CBaseObject::isTypeOf(s);
}

const unsigned char* CRirezariResource::getCharacterInfo(char c) const {
    int i = index[(unsigned char)c];
    return i < 0 ? nullptr : &records[(size_t)i * 16];
}

long CRirezariResource::getAdvance(char c) const {
    const unsigned char* r = getCharacterInfo(c);
    if (!r) return 0;
    long a = (long)read16(r + 14) - (long)read16(r + 12);
    return a > 0 ? a : 0;
}

CCoord CRirezariResource::getStringWidth(const char* text, long maxChars) const {
    if (!text) return 0;
    CCoord w = 0;
    for (long i = 0; text[i] && (maxChars < 0 || i < maxChars); ++i)
        w += getAdvance(text[i]);
    return w;
}

long CRirezariResource::characterIndexInString(double x, const char* text) const {
    if (!text) return 0;
    CCoord w = 0;
    long i = 0;
    for (; text[i]; ++i) {
        w += getAdvance(text[i]);
        if (w > x) return i;
    }
    return i;
}

CCoord CRirezariResource::drawText(CDrawContext* context, CPoint origin, const char* text,
                                   const CColor* color, long maxChars) {
    if (!context || !text) return 0;
    CCoord x = origin.x;
    for (long i = 0; text[i] && (maxChars < 0 || i < maxChars); ++i) {
        const unsigned char* r = getCharacterInfo(text[i]);
        if (!r) continue;
        long advance = getAdvance(text[i]);
        if (bitmap && advance > 0) {
            CRect dest(x, origin.y, x + advance, origin.y + read16(r + 10));
            CPoint src(read16(r + 12), read16(r + 4));
            if (color) {
                CColor c = *color;
                c.alpha = (unsigned char)((c.alpha * alpha + 127) / 255);
                bitmap->drawMasked(context, dest, src, c);
            } else {
                bitmap->drawAlphaBlend(context, dest, src, alpha);
            }
        }
        x += advance;
    }
    return x - origin.x;
}
