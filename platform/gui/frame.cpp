// CFrame: the top view, its event dispatch, off-screen drawing and the X11 child window.
#include "vstgui.h"

#include <algorithm>
#include <cmath>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

namespace {
// Limits drawing to the rectangles (device pixels) when there are any.
void clipTo(cairo_t* cr, const std::vector<CRect>& areas) {
    if (areas.empty()) return;
    for (const CRect& r : areas)
        cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_clip(cr);
}

// Set while a window is being created: an X error there (a bad parent window, say) must fail
// the open, not end the host's process through the default error handler.
bool gCreateFailed = false;
int recordCreateError(Display*, XErrorEvent*) {
    gCreateFailed = true;
    return 0;
}
} // namespace

// The window lives on its own display connection, so that it never shares a connection
// with the host's threads. Everything here runs on the thread that calls open/idle/close.
class CX11Window {
public:
    Display* display = nullptr;
    Window window = 0;
    // Pictures reach the window as X images of the frame's own pixels when the window's
    // visual stores them the same way (24-bit true colour, 32 bits a pixel, as practically
    // every X server today), else through a Cairo surface of the window.
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    cairo_surface_t* surface = nullptr;
    cairo_surface_t* image = nullptr; // what the frame draws, copied to the window
    int width = 0, height = 0;
    bool exposed = false;

    bool open(Window parent, const char* displayName, int w, int h) {
        display = XOpenDisplay(displayName);
        if (!display) return false;
        width = w;
        height = h;
        XSetWindowAttributes attr = {};
        attr.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                          StructureNotifyMask;
        attr.background_pixel = BlackPixel(display, DefaultScreen(display));
        XSync(display, False);
        gCreateFailed = false;
        int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(recordCreateError);
        window = XCreateWindow(display, parent, 0, 0, (unsigned)w, (unsigned)h, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWEventMask | CWBackPixel, &attr);
        XSync(display, False);
        XSetErrorHandler(previous);
        if (!window || gCreateFailed) {
            window = 0;
            XCloseDisplay(display);
            display = nullptr;
            return false;
        }
        XMapWindow(display, window);
        XWindowAttributes wa;
        XGetWindowAttributes(display, window, &wa);
        visual = wa.visual;
        depth = wa.depth;
        if (storesPixelsAsCairo())
            gc = XCreateGC(display, window, 0, nullptr);
        else
            surface = cairo_xlib_surface_create(display, window, wa.visual, w, h);
        XFlush(display);
        return true;
    }

    bool storesPixelsAsCairo() const {
        if (depth != 24 || visual->c_class != TrueColor || visual->red_mask != 0xff0000 ||
            visual->green_mask != 0xff00 || visual->blue_mask != 0xff)
            return false;
        int n = 0;
        XPixmapFormatValues* formats = XListPixmapFormats(display, &n);
        bool fits = false;
        for (int i = 0; i < n; ++i)
            if (formats[i].depth == depth) fits = formats[i].bits_per_pixel == 32;
        if (formats) XFree(formats);
        return fits;
    }

    void resize(int w, int h) {
        if (!display || (w == width && h == height)) return;
        width = w;
        height = h;
        XResizeWindow(display, window, (unsigned)w, (unsigned)h);
        if (surface) cairo_xlib_surface_set_size(surface, w, h);
        exposed = true;
        XFlush(display);
    }

    void close() {
        if (surface) {
            // Cairo keeps a device per display connection; it is finished here, with the
            // connection, instead of lingering with what it holds.
            cairo_device_t* device = cairo_device_reference(cairo_surface_get_device(surface));
            cairo_surface_destroy(surface);
            cairo_device_finish(device);
            cairo_device_destroy(device);
        }
        surface = nullptr;
        if (gc) XFreeGC(display, gc);
        gc = nullptr;
        if (image) cairo_surface_destroy(image);
        image = nullptr;
        if (display) {
            if (window) XDestroyWindow(display, window);
            XCloseDisplay(display);
        }
        window = 0;
        display = nullptr;
    }

    static long buttonsFromState(unsigned int state) {
        long b = 0;
        if (state & Button1Mask) b |= kLButton;
        if (state & Button2Mask) b |= kMButton;
        if (state & Button3Mask) b |= kRButton;
        if (state & ShiftMask) b |= kShift;
        if (state & ControlMask) b |= kControl;
        if (state & Mod1Mask) b |= kAlt;
        return b;
    }

    static long buttonBit(unsigned int button) {
        switch (button) {
        case Button1:
            return kLButton;
        case Button2:
            return kMButton;
        case Button3:
            return kRButton;
        default:
            return 0;
        }
    }

    // Hands every pending event to the frame, with window pixels divided back to frame pixels;
    // an exposure asks for a full redraw.
    void pump(CFrame* frame) {
        const double zoom = frame->getZoom();
        while (display && XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            switch (e.type) {
            case Expose:
                if (e.xexpose.count == 0) exposed = true;
                break;
            case ButtonPress: {
                long bit = buttonBit(e.xbutton.button);
                if (!bit) break; // wheel
                CPoint p(e.xbutton.x / zoom, e.xbutton.y / zoom);
                long b =
                    (buttonsFromState(e.xbutton.state) & ~(kLButton | kMButton | kRButton)) | bit;
                frame->onMouseDown(p, b);
                break;
            }
            case MotionNotify: {
                // Only the latest position of a run of motion events matters; a motion after a
                // press or release belongs to another part of the gesture and waits its turn.
                while (XPending(display) > 0) {
                    XEvent next;
                    XPeekEvent(display, &next);
                    if (next.type != MotionNotify || next.xmotion.window != e.xmotion.window) break;
                    XNextEvent(display, &e);
                }
                CPoint p(e.xmotion.x / zoom, e.xmotion.y / zoom);
                frame->onMouseMoved(p, buttonsFromState(e.xmotion.state));
                break;
            }
            case ButtonRelease: {
                long bit = buttonBit(e.xbutton.button);
                if (!bit) break;
                CPoint p(e.xbutton.x / zoom, e.xbutton.y / zoom);
                long b = buttonsFromState(e.xbutton.state) & ~bit;
                frame->onMouseUp(p, b); // the released button no longer counts as held
                break;
            }
            default:
                break;
            }
        }
    }

    void present(cairo_surface_t* image, const std::vector<CRect>& areas) {
        if (!image) return;
        if (gc) {
            // An X image over the frame's pixels (native byte order, as Cairo keeps them).
            cairo_surface_flush(image);
            const int w = cairo_image_surface_get_width(image);
            const int h = cairo_image_surface_get_height(image);
            XImage* x = XCreateImage(display, visual, (unsigned)depth, ZPixmap, 0,
                                     (char*)cairo_image_surface_get_data(image), (unsigned)w,
                                     (unsigned)h, 32, cairo_image_surface_get_stride(image));
            if (!x) return;
            const uint16_t probe = 1;
            x->byte_order = *(const unsigned char*)&probe ? LSBFirst : MSBFirst;
            auto put = [&](int left, int top, int right, int bottom) {
                left = std::max(left, 0);
                top = std::max(top, 0);
                right = std::min(right, w);
                bottom = std::min(bottom, h);
                if (right > left && bottom > top)
                    XPutImage(display, window, gc, x, left, top, left, top,
                              (unsigned)(right - left), (unsigned)(bottom - top));
            };
            if (areas.empty()) put(0, 0, w, h);
            for (const CRect& r : areas)
                put((int)r.left, (int)r.top, (int)r.right, (int)r.bottom);
            x->data = nullptr; // the pixels stay the image's
            XDestroyImage(x);
            XFlush(display);
            return;
        }
        if (!surface) return;
        cairo_t* cr = cairo_create(surface);
        clipTo(cr, areas);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        XFlush(display);
    }
};

// ---------------------------------------------------------------------------------------

CFrame::CFrame(const CRect& size, VSTGUIEditorInterface* e) : CView(size), editor(e) {}

CFrame::~CFrame() {
    close();
    removeAll(true);
}

bool CFrame::isTypeOf(const char* s) const {
    return classNameIs(s, "CFrame") || CView::isTypeOf(s);
}

bool CFrame::addView(CView* view) {
    if (!view || isChild(view)) return false;
    views.push_back(view);
    view->setFrame(this);
    view->setDirty(true);
    return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
    auto it = std::find(views.begin(), views.end(), view);
    if (it == views.end()) return false;
    views.erase(it);
    if (mouseView == view) mouseView = nullptr;
    if (modalView == view) modalView = nullptr;
    view->setFrame(nullptr);
    if (withForget) view->forget();
    setDirty(true);
    return true;
}

void CFrame::removeAll(bool withForget) {
    std::vector<CView*> old;
    old.swap(views);
    mouseView = nullptr;
    modalView = nullptr;
    for (CView* v : old) {
        v->setFrame(nullptr);
        if (withForget) v->forget();
    }
    setDirty(true);
}

bool CFrame::isChild(const CView* view) const {
    return std::find(views.begin(), views.end(), view) != views.end();
}

CView* CFrame::getView(long index) const {
    return (index >= 0 && index < (long)views.size()) ? views[(size_t)index] : nullptr;
}

void CFrame::setModalView(CView* view) {
    if (view && !isChild(view)) return;
    modalView = view;
    setDirty(true);
}

long CFrame::getKnobMode() const {
    return editor ? editor->getKnobMode() : (long)kLinearMode;
}

void CFrame::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    for (CView* v : views) {
        v->drawnArea = CRect();
        if (v->isVisible() && v != modalView) {
            context->resetClipRect();
            v->draw(context);
            v->drawnArea = v->getViewSize();
        }
    }
    if (modalView && modalView->isVisible()) {
        context->resetClipRect();
        modalView->draw(context);
        modalView->drawnArea = modalView->getViewSize();
    }
    context->resetClipRect();
}

CView* CFrame::viewAt(const CPoint& where) const {
    if (modalView) return modalView;
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (v->isVisible() && v->getMouseEnabled() && v->getMouseableArea().pointInside(where))
            return v;
    }
    return nullptr;
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const long& buttons) {
    CView* v = viewAt(where);
    mouseView = nullptr;
    if (!v) return kMouseEventNotHandled;
    // A press with a modifier key is offered to the control's listener first.
    if (buttons & (kShift | kControl | kAlt | kApple)) {
        CControl* c = v->isTypeOf("CControl") ? static_cast<CControl*>(v) : nullptr;
        if (c && c->getListener() && c->getListener()->controlModifierClicked(c, buttons) != 0)
            return kMouseEventHandled;
    }
    v->remember(); // the view may remove itself from the frame while it handles the press
    CMouseEventResult r = v->onMouseDown(where, buttons);
    if (r == kMouseEventHandled && isChild(v)) mouseView = v;
    v->forget();
    return r;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const long& buttons) {
    if (!mouseView) return kMouseEventNotHandled;
    return mouseView->onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const long& buttons) {
    CView* v = mouseView;
    mouseView = nullptr;
    if (!v) return kMouseEventNotHandled;
    return v->onMouseUp(where, buttons);
}

bool CFrame::needsRedraw() const {
    if (CView::isDirty()) return true;
    for (const CView* v : views)
        if (v->isDirty()) return true;
    return false;
}

void CFrame::clearDirty() {
    CView::setDirty(false);
    for (CView* v : views)
        v->setDirty(false);
}

void CFrame::setZoom(double z) {
    if (!(z >= 0.25 && z <= 4) || z == zoom) return;
    zoom = z;
    if (window) window->resize((int)getZoomedWidth(), (int)getZoomedHeight());
    setDirty(true);
}

long CFrame::getZoomedWidth() const {
    return std::max(1L, (long)std::ceil(size.width() * zoom - 1e-9));
}

long CFrame::getZoomedHeight() const {
    return std::max(1L, (long)std::ceil(size.height() * zoom - 1e-9));
}

cairo_surface_t* CFrame::drawToImage() {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, (int)getZoomedWidth(),
                                                        (int)getZoomedHeight());
    drawInto(image);
    return image;
}

std::vector<CRect> CFrame::dirtyAreas() const {
    std::vector<CRect> areas;
    if (CView::isDirty()) return areas;
    auto add = [&](const CRect& r) {
        if (r.isEmpty()) return;
        // Whole device pixels around the frame-pixel rectangle.
        CRect d(std::floor((r.left - size.left) * zoom), std::floor((r.top - size.top) * zoom),
                std::ceil((r.right - size.left) * zoom), std::ceil((r.bottom - size.top) * zoom));
        for (CRect& a : areas)
            if (a.rectOverlap(d)) { // merge overlapping rectangles
                a = CRect(std::min(a.left, d.left), std::min(a.top, d.top),
                          std::max(a.right, d.right), std::max(a.bottom, d.bottom));
                return;
            }
        areas.push_back(d);
    };
    for (const CView* v : views) {
        if (!v->isDirty()) continue;
        add(v->drawnArea);
        if (v->isVisible()) add(v->getViewSize());
    }
    return areas;
}

void CFrame::drawInto(cairo_surface_t* image, const std::vector<CRect>& areas) {
    {
        CDrawContext context(image);
        cairo_t* cr = context.getCairo();
        clipTo(cr, areas);
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_scale(cr, zoom, zoom);
        cairo_translate(cr, -size.left, -size.top);
        draw(&context);
    }
    cairo_surface_flush(image);
    clearDirty();
}

bool CFrame::writePNG(const char* path) {
    if (!path) return false;
    cairo_surface_t* image = drawToImage();
    bool ok = cairo_surface_write_to_png(image, path) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(image);
    return ok;
}

bool CFrame::open(void* parentWindow, const char* displayName) {
    if (window || !parentWindow) return false;
    window = new CX11Window;
    if (!window->open((Window)(uintptr_t)parentWindow, displayName, (int)getZoomedWidth(),
                      (int)getZoomedHeight())) {
        delete window;
        window = nullptr;
        return false;
    }
    setDirty(true);
    return true;
}

void CFrame::close() {
    if (!window) return;
    mouseView = nullptr;
    window->close();
    delete window;
    window = nullptr;
}

unsigned long CFrame::getWindowID() const {
    return window ? window->window : 0;
}

void CFrame::idle() {
    if (!window) return;
    window->pump(this);
    if (window->exposed || needsRedraw()) {
        // One image of the window's size is kept for drawing, so a redraw allocates nothing and
        // only the dirty areas need drawing and copying to the window.
        int w = (int)getZoomedWidth(), h = (int)getZoomedHeight();
        if (window->image && (cairo_image_surface_get_width(window->image) != w ||
                              cairo_image_surface_get_height(window->image) != h)) {
            cairo_surface_destroy(window->image);
            window->image = nullptr;
        }
        std::vector<CRect> areas;
        if (!window->image)
            window->image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        else if (!window->exposed)
            areas = dirtyAreas();
        window->exposed = false;
        drawInto(window->image, areas);
        window->present(window->image, areas);
    }
}
