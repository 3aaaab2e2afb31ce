// Core of the view toolkit: colours, resource hooks, bitmaps, the drawing context, views
// and the control base.
#include "vstgui.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

CColor MakeCColor(unsigned char red, unsigned char green, unsigned char blue, unsigned char alpha) {
    CColor c;
    c.red = red;
    c.green = green;
    c.blue = blue;
    c.alpha = alpha;
    return c;
}

const CColor kTransparentCColor = MakeCColor(255, 255, 255, 0);
const CColor kBlackCColor = MakeCColor(0, 0, 0, 255);
const CColor kWhiteCColor = MakeCColor(255, 255, 255, 255);
const CColor kGreyCColor = MakeCColor(127, 127, 127, 255);
const CColor kRedCColor = MakeCColor(255, 0, 0, 255);

// ---------------------------------------------------------------------------------------

namespace {
CResourceLookupProc gResourceLookup = nullptr;
CResourceInfoProc gResourceInfo = nullptr;
} // namespace

void setResourceLookup(CResourceLookupProc lookup, CResourceInfoProc info) {
    gResourceLookup = lookup;
    gResourceInfo = info;
}

bool lookupResource(const char* name, const char* type, const unsigned char** data, size_t* size) {
    const unsigned char* d = nullptr;
    size_t n = 0;
    bool found = gResourceLookup && name && type && gResourceLookup(name, type, &d, &n) && d;
    if (data) *data = found ? d : nullptr;
    if (size) *size = found ? n : 0;
    return found;
}

const char* lookupResourceInfo(const char* key) {
    return (gResourceInfo && key) ? gResourceInfo(key) : nullptr;
}

bool classNameIs(const char* a, const char* b) {
    return a && b && std::strcmp(a, b) == 0;
}

bool CBaseObject::isTypeOf(const char* name) const {
    return classNameIs(name, "CBaseObject");
}

// ---------------------------------------------------------------------------------------
// CBitmap

namespace {
struct PNGReader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

cairo_status_t readPNG(void* closure, unsigned char* out, unsigned int length) {
    PNGReader* r = static_cast<PNGReader*>(closure);
    if (length > r->size - r->pos) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}
// Decoded resource images for the life of the process, keyed by the address of their PNG bytes:
// a window that opens again, or the window of another instance, decodes nothing.
class DecodedImages {
public:
    ~DecodedImages() {
        for (auto& entry : images)
            cairo_surface_destroy(entry.second);
    }
    // A new reference to the image, or null when the bytes are no PNG.
    cairo_surface_t* get(const unsigned char* png, size_t size,
                         cairo_surface_t* (*decode)(const unsigned char*, size_t)) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = images.find(png);
        if (it == images.end()) {
            cairo_surface_t* s = decode(png, size);
            if (!s) return nullptr;
            it = images.emplace(png, s).first;
        }
        return cairo_surface_reference(it->second);
    }

private:
    std::mutex mutex;
    std::map<const unsigned char*, cairo_surface_t*> images;
};

DecodedImages& decodedImages() {
    static DecodedImages images;
    return images;
}

} // namespace

CBitmap::CBitmap(long id) : resourceID(id), fromResource(true) {
    char name[40];
    std::snprintf(name, sizeof name, "%ld", id);
    const unsigned char* data;
    size_t size;
    if (!lookupResource(name, "png", &data, &size)) return;
    surface = decodedImages().get(data, size, decodePNG);
    std::snprintf(name, sizeof name, "%ld@2x", id);
    if (surface && lookupResource(name, "png", &data, &size)) setHighResolutionPNG(data, size);
}

CBitmap::CBitmap(const char* path) {
    if (!path) return;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS)
        surface = s;
    else
        cairo_surface_destroy(s);
}

CBitmap::CBitmap(const unsigned char* png, size_t size) : surface(decodePNG(png, size)) {}

CBitmap::CBitmap(long width, long height) {
    if (width <= 0 || height <= 0) return;
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, (int)width, (int)height);
}

CBitmap::~CBitmap() {
    if (surface) cairo_surface_destroy(surface);
    if (surface2x) cairo_surface_destroy(surface2x);
}

bool CBitmap::isTypeOf(const char* s) const {
    return classNameIs(s, "CBitmap") || CBaseObject::isTypeOf(s);
}

cairo_surface_t* CBitmap::decodePNG(const unsigned char* png, size_t size) {
    if (!png || size < 8) return nullptr;
    PNGReader r{png, size, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readPNG, &r);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) return s;
    cairo_surface_destroy(s);
    return nullptr;
}

void CBitmap::setHighResolutionPNG(const unsigned char* png, size_t size) {
    if (surface2x) cairo_surface_destroy(surface2x);
    surface2x = nullptr;
    png2x = png;
    png2xSize = size;
}

bool CBitmap::hasHighResolution() const {
    if (surface2x || !png2x || !surface) return surface2x != nullptr;
    cairo_surface_t* s = fromResource ? decodedImages().get(png2x, png2xSize, decodePNG)
                                      : decodePNG(png2x, png2xSize);
    png2x = nullptr; // decoded once, used or not
    if (s && cairo_image_surface_get_width(s) == 2 * cairo_image_surface_get_width(surface) &&
        cairo_image_surface_get_height(s) == 2 * cairo_image_surface_get_height(surface))
        surface2x = s;
    else if (s)
        cairo_surface_destroy(s);
    return surface2x != nullptr;
}

CCoord CBitmap::getWidth() const {
    return surface ? cairo_image_surface_get_width(surface) : 0;
}

CCoord CBitmap::getHeight() const {
    return surface ? cairo_image_surface_get_height(surface) : 0;
}

cairo_pattern_t* CBitmap::makePattern(CDrawContext* context, CCoord x, CCoord y) const {
    double scale = context->getScaleFactor();
    bool high = scale > 1.001 && hasHighResolution();
    double pixels = high ? 2 : 1; // image pixels per frame pixel
    cairo_pattern_t* p = cairo_pattern_create_for_surface(high ? surface2x : surface);
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, pixels, pixels);
    cairo_matrix_translate(&m, -x, -y);
    cairo_pattern_set_matrix(p, &m);
    // Whole device pixels per image pixel copy exactly; anything else is filtered.
    double ratio = scale / pixels;
    bool whole = ratio >= 0.999 && std::fabs(ratio - std::round(ratio)) < 0.001;
    cairo_pattern_set_filter(p, whole ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    // Filtering near the image's edges reads its edge pixels, not transparency beyond them.
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    return p;
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    drawAlphaBlend(context, rect, offset, 255);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    drawAlphaBlend(context, rect, offset, 255);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset,
                             unsigned char alpha) {
    if (!surface || !context || rect.isEmpty()) return;
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    cairo_pattern_t* p = makePattern(context, rect.left - offset.x, rect.top - offset.y);
    cairo_set_source(cr, p);
    if (alpha == 255)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha / 255.0);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

void CBitmap::drawMasked(CDrawContext* context, const CRect& rect, const CPoint& offset,
                         const CColor& color) {
    if (!surface || !context || rect.isEmpty()) return;
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0);
    cairo_pattern_t* p = makePattern(context, rect.left - offset.x, rect.top - offset.y);
    cairo_mask(cr, p);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

// ---------------------------------------------------------------------------------------
// CDrawContext

CDrawContext::CDrawContext(cairo_surface_t* surface) : cr(cairo_create(surface)) {
    setDrawMode(kCopyMode);
}

CDrawContext::~CDrawContext() {
    cairo_destroy(cr);
}

double CDrawContext::getScaleFactor() const {
    double x = 1, y = 0;
    cairo_user_to_device_distance(cr, &x, &y);
    return std::hypot(x, y);
}

void CDrawContext::setDrawMode(CDrawMode m) {
    drawMode = m;
    cairo_set_antialias(cr, m == kAntialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void CDrawContext::setClipRect(const CRect& r) {
    cairo_reset_clip(cr);
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_clip(cr);
}

void CDrawContext::resetClipRect() {
    cairo_reset_clip(cr);
}

void CDrawContext::applyColor(const CColor& c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

// Odd-width lines are centred on pixel centres so that they cover whole pixels.
double CDrawContext::align(double v) const {
    long w = std::lround(lineWidth);
    if (std::fabs(lineWidth - (double)w) < 1e-9 && (w % 2) == 1) return std::floor(v) + 0.5;
    return v;
}

void CDrawContext::moveTo(const CPoint& p) {
    pen = p;
}

void CDrawContext::lineTo(const CPoint& p) {
    drawLine(pen, p);
    pen = p;
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    applyColor(frameColor);
    cairo_set_line_width(cr, lineWidth);
    // Odd-width lines run through pixel centres; in copy mode both end pixels are included,
    // like a classic line routine.
    cairo_set_line_cap(cr, drawMode == kCopyMode ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
    cairo_move_to(cr, align(from.x), align(from.y));
    cairo_line_to(cr, align(to.x), align(to.y));
    cairo_stroke(cr);
    pen = to;
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style) {
    if (r.isEmpty()) return;
    if (style != kDrawStroked) {
        applyColor(fillColor);
        cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        // The frame lies inside the rectangle.
        applyColor(frameColor);
        cairo_set_line_width(cr, lineWidth);
        double h = lineWidth / 2;
        cairo_rectangle(cr, r.left + h, r.top + h, r.width() - lineWidth, r.height() - lineWidth);
        cairo_stroke(cr);
    }
}

void CDrawContext::drawEllipse(const CRect& r, CDrawStyle style) {
    drawArc(r, 0, 2 * M_PI, style);
}

void CDrawContext::drawArc(const CRect& r, double startAngle, double endAngle, CDrawStyle style) {
    if (r.isEmpty()) return;
    double cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    double rx = r.width() / 2, ry = r.height() / 2;
    bool full = std::fabs(endAngle - startAngle) >= 2 * M_PI;
    auto path = [&](bool pie) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_new_path(cr);
        if (pie && !full) cairo_move_to(cr, 0, 0);
        cairo_arc(cr, 0, 0, 1, startAngle, endAngle);
        if (pie) cairo_close_path(cr);
        cairo_restore(cr);
    };
    if (style != kDrawStroked) {
        applyColor(fillColor);
        path(true);
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        applyColor(frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        path(style == kDrawFilledAndStroked);
        cairo_stroke(cr);
    }
}

// ---------------------------------------------------------------------------------------
// CView

CView::CView(const CRect& s) : size(s), mouseableArea(s) {}

CView::CView(const CView& v)
    : CBaseObject(v), size(v.size), mouseableArea(v.mouseableArea), background(v.background),
      frame(nullptr), dirty(true), visible(v.visible), mouseEnabled(v.mouseEnabled),
      transparency(v.transparency) {
    if (background) background->remember();
}

CView::~CView() {
    if (background) background->forget();
}

bool CView::isTypeOf(const char* s) const {
    return classNameIs(s, "CView") || CBaseObject::isTypeOf(s);
}

void CView::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    setDirty(false);
}

CMouseEventResult CView::onMouseDown(CPoint&, const long&) {
    return kMouseEventNotHandled;
}
CMouseEventResult CView::onMouseMoved(CPoint&, const long&) {
    return kMouseEventNotHandled;
}
CMouseEventResult CView::onMouseUp(CPoint&, const long&) {
    return kMouseEventNotHandled;
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    size = rect;
    if (invalidate) setDirty(true);
}

void CView::setVisible(bool b) {
    if (visible != b) {
        visible = b;
        // The area behind a hidden view needs drawing too: the frame redraws as a whole.
        setDirty(true);
    }
}

void CView::setBackground(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    setDirty(true);
}

// ---------------------------------------------------------------------------------------
// CControl

CControl::CControl(const CRect& size, CControlListener* l, long t, CBitmap* bg)
    : CView(size), listener(l), tag(t) {
    if (bg) setBackground(bg);
}

float CControl::getValueNormalized() const {
    float span = vmax - vmin;
    float norm = span > 0 ? (value - vmin) / span : 0.f;
    if (!(norm >= 0)) return 0.f;
    return norm > 1 ? 1.f : norm;
}

void CControl::bounceValue() {
    if (value > vmax) value = vmax;
    if (value < vmin) value = vmin;
    if (std::isnan(value)) value = vmin;
}

void CControl::beginEdit() {
    editing = true;
    if (listener) listener->controlBeginEdit(this);
    if (frame && frame->getEditor()) frame->getEditor()->beginEdit(tag);
}

void CControl::endEdit() {
    editing = false;
    if (frame && frame->getEditor()) frame->getEditor()->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

void CControl::valueChanged() {
    if (listener) listener->valueChanged(this);
}

void CControl::setDirty(bool state) {
    CView::setDirty(state);
    if (state)
        oldValue = value == 1.f ? 0.f : 1.f; // any value other than the current one
    else
        oldValue = value;
}

bool CControl::isDirty() const {
    return CView::isDirty() || oldValue != value;
}
