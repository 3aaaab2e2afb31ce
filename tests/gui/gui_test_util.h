// Helpers shared by the toolkit and control tests: reading pixels of an off-screen image,
// a recording listener and mouse gestures.
#pragma once

#include "vstgui.h"

#include <string>
#include <utility>
#include <vector>

namespace guitest {

// The colour of one pixel, un-premultiplied, as (r, g, b, a).
inline CColor pixel(cairo_surface_t* image, int x, int y) {
    cairo_surface_flush(image);
    int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
    if (x < 0 || y < 0 || x >= w || y >= h) return kTransparentCColor;
    const unsigned char* row =
        cairo_image_surface_get_data(image) + (size_t)y * cairo_image_surface_get_stride(image);
    uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    unsigned a = p >> 24, r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
    if (a > 0 && a < 255) {
        r = (r * 255 + a / 2) / a;
        g = (g * 255 + a / 2) / a;
        b = (b * 255 + a / 2) / a;
    }
    return MakeCColor((unsigned char)r, (unsigned char)g, (unsigned char)b, (unsigned char)a);
}

// An image of the given size filled with one opaque colour.
inline cairo_surface_t* makeImage(int w, int h, CColor fill = kBlackCColor) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, fill.red / 255.0, fill.green / 255.0, fill.blue / 255.0,
                          fill.alpha / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

inline bool near(const CColor& a, const CColor& b, int tolerance = 2) {
    auto d = [](int x, int y) { return x > y ? x - y : y - x; };
    return d(a.red, b.red) <= tolerance && d(a.green, b.green) <= tolerance &&
           d(a.blue, b.blue) <= tolerance && d(a.alpha, b.alpha) <= tolerance;
}

inline std::string str(const CColor& c) {
    return "(" + std::to_string(c.red) + "," + std::to_string(c.green) + "," +
           std::to_string(c.blue) + "," + std::to_string(c.alpha) + ")";
}

// Records what a control tells its listener.
class RecordingListener : public CControlListener {
public:
    std::vector<std::pair<long, float>> changes; // (tag, value) from valueChanged(control)
    std::vector<long> begins, ends, modifierClicks;
    long consumeModifierClicks = 0;

    void valueChanged(CControl* c) override { changes.push_back({c->getTag(), c->getValue()}); }
    long controlModifierClicked(CControl* c, long) override {
        modifierClicks.push_back(c->getTag());
        return consumeModifierClicks;
    }
    void controlBeginEdit(CControl* c) override { begins.push_back(c->getTag()); }
    void controlEndEdit(CControl* c) override { ends.push_back(c->getTag()); }
};

inline void press(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    f.onMouseDown(p, buttons);
}
inline void move(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    f.onMouseMoved(p, buttons);
}
inline void release(CFrame& f, CCoord x, CCoord y, long buttons = 0) {
    CPoint p(x, y);
    f.onMouseUp(p, buttons);
}
inline void click(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    press(f, x, y, buttons);
    release(f, x, y);
}

// Draws the frame and returns the image (caller destroys).
struct Image {
    cairo_surface_t* s;
    explicit Image(CFrame& f) : s(f.drawToImage()) {}
    ~Image() { cairo_surface_destroy(s); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    CColor at(int x, int y) const { return pixel(s, x, y); }
};

} // namespace guitest
