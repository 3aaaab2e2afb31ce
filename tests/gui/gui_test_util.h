// Helpers shared by the toolkit and control tests: pixels of an off-screen image, a recording
// listener and editor, and mouse gestures.
#pragma once

#include "vstgui.h"

#include <cstdlib>
#include <utility>
#include <vector>

namespace guitest {

// The colour of one pixel (premultiplied by its alpha, so exact for opaque ones).
inline CColor pixel(cairo_surface_t* image, int x, int y) {
    cairo_surface_flush(image);
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) ||
        y >= cairo_image_surface_get_height(image))
        return kTransparentCColor;
    const unsigned char* row =
        cairo_image_surface_get_data(image) + (size_t)y * cairo_image_surface_get_stride(image);
    const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    return MakeCColor(p >> 16 & 255, p >> 8 & 255, p & 255, p >> 24);
}

// An image of the given size filled with one colour.
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
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance && std::abs(a.alpha - b.alpha) <= tolerance;
}

// Draws the frame and keeps the image.
struct Image {
    cairo_surface_t* s;
    explicit Image(CFrame& f) : s(f.drawToImage()) {}
    ~Image() { cairo_surface_destroy(s); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    CColor at(int x, int y) const { return pixel(s, x, y); }
};

// Records what a control tells its listener (of the given listener class).
template <class Listener = CControlListener>
class RecordingListener : public Listener {
public:
    std::vector<std::pair<long, float>> changes; // (tag, value) from valueChanged(control)
    std::vector<long> begins, ends, modifierClicks;
    long consumeModifierClicks = 0;

    using Listener::controlModifierClicked;
    using Listener::valueChanged;
    void valueChanged(CControl* c) override { changes.push_back({c->getTag(), c->getValue()}); }
    long controlModifierClicked(CControl* c, long) override {
        modifierClicks.push_back(c->getTag());
        return consumeModifierClicks;
    }
    void controlBeginEdit(CControl* c) override { begins.push_back(c->getTag()); }
    void controlEndEdit(CControl* c) override { ends.push_back(c->getTag()); }
};

// Records the tags of edit gestures as the editor hears them.
struct EditorSpy : VSTGUIEditorInterface {
    std::vector<long> begins, ends;
    void beginEdit(long i) override { begins.push_back(i); }
    void endEdit(long i) override { ends.push_back(i); }
};

inline void press(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    f.onMouseDown(p, buttons);
}
inline void move(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    f.onMouseMoved(p, buttons);
}
inline void release(CFrame& f, CCoord x, CCoord y) {
    CPoint p(x, y);
    f.onMouseUp(p, 0);
}
inline void click(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    press(f, x, y, buttons);
    release(f, x, y);
}

} // namespace guitest
