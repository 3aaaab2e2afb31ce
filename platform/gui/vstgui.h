// A small view toolkit: rectangles, colours, bitmaps, a Cairo drawing context, views,
// controls and a frame that draws into an off-screen image or into an X11 child window.
// It offers only what the editor and its controls use.
//
// Coordinates are frame pixels (the frame holds its views directly, without nested
// containers), with x to the right and y downwards. A frame may draw at a zoom factor: views
// keep drawing and receiving the mouse in frame pixels, and the frame scales both.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <vector>

typedef double CCoord;

// ---------------------------------------------------------------------------------------
// Geometry and colour

struct CPoint {
    CCoord x = 0, y = 0;
    CPoint() = default;
    CPoint(CCoord x_, CCoord y_) : x(x_), y(y_) {}
    CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

struct CRect {
    CCoord left = 0, top = 0, right = 0, bottom = 0;
    CRect() = default;
    CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b) {}
    CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    CCoord width() const { return right - left; }
    CCoord height() const { return bottom - top; }
    CCoord getWidth() const { return width(); }
    CCoord getHeight() const { return height(); }
    CPoint getTopLeft() const { return CPoint(left, top); }
    CRect& setWidth(CCoord w) {
        right = left + w;
        return *this;
    }
    CRect& setHeight(CCoord h) {
        bottom = top + h;
        return *this;
    }
    CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    CRect& inset(CCoord dx, CCoord dy) {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    // Half-open: the right and bottom edges lie outside.
    bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool rectOverlap(const CRect& r) const {
        return r.left < right && r.right > left && r.top < bottom && r.bottom > top;
    }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

struct CColor {
    unsigned char red = 0, green = 0, blue = 0, alpha = 255;
    bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const CColor& o) const { return !(*this == o); }
};

CColor MakeCColor(unsigned char red, unsigned char green, unsigned char blue,
                  unsigned char alpha = 255);

extern const CColor kTransparentCColor;
extern const CColor kBlackCColor;
extern const CColor kWhiteCColor;
extern const CColor kGreyCColor;
extern const CColor kRedCColor;

// Mouse buttons and modifier keys, or-ed together in the `buttons` of every mouse event.
enum CButtonState {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
    kApple = 1 << 6,
    kDoubleClick = 1 << 7,
};

enum CMouseEventResult {
    kMouseEventNotHandled = 0,
    kMouseEventHandled,
};

// Knob drag modes a frame can answer; the toolkit's knobs drag vertically (linear).
enum { kCircularMode = 0, kRelativCircularMode, kLinearMode };

// ---------------------------------------------------------------------------------------
// Resources: the toolkit never embeds anything itself. The program installs a lookup that
// maps (name, type) to bytes, and one that maps an information key to a string. The bytes a
// lookup returns must stay unchanged for the life of the process: bitmaps made from resources
// keep their decoded images in a cache keyed by the bytes' address, shared by every frame.

typedef bool (*CResourceLookupProc)(const char* name, const char* type, const unsigned char** data,
                                    size_t* size);
typedef const char* (*CResourceInfoProc)(const char* key);

void setResourceLookup(CResourceLookupProc lookup, CResourceInfoProc info);
// Bytes of a resource, or false (data null, size 0) when nothing is installed or found.
bool lookupResource(const char* name, const char* type, const unsigned char** data, size_t* size);
// The string stored under key, or null.
const char* lookupResourceInfo(const char* key);

// ---------------------------------------------------------------------------------------

// Reference counted base: created with one reference; forget() deletes at zero.
class CBaseObject {
public:
    CBaseObject() = default;
    CBaseObject(const CBaseObject&) : nbReference(1) {}
    CBaseObject& operator=(const CBaseObject&) { return *this; }
    virtual ~CBaseObject() = default;

    void remember() { ++nbReference; }
    void forget() {
        if (--nbReference <= 0) delete this;
    }
    long getNbReference() const { return nbReference; }
    virtual bool isTypeOf(const char* name) const;

private:
    long nbReference = 1;
};

// Declares isTypeOf (own name, then the base's) and newCopy for a view class.
#define CLASS_METHODS(name, parent)                                                                \
    bool isTypeOf(const char* s) const override {                                                  \
        return classNameIs(s, #name) || parent::isTypeOf(s);                                       \
    }                                                                                              \
    CView* newCopy() const override {                                                              \
        return new name(*this);                                                                    \
    }

bool classNameIs(const char* a, const char* b);

// An ARGB image (premultiplied, as Cairo keeps it) loaded from PNG data. It may carry a
// second image of twice the pixels for drawing at zoom factors above 1; its size stays that
// of the first image.
class CBitmap : public CBaseObject {
public:
    // PNG looked up as resource "<number>" of type "png", with the double-resolution image
    // from resource "<number>@2x" of type "png" when there is one. Each image is decoded once
    // per process and shared.
    explicit CBitmap(long resourceID);
    // PNG from a file path.
    explicit CBitmap(const char* path);
    // PNG bytes in memory (copied).
    CBitmap(const unsigned char* png, size_t size);
    // A blank (transparent) image.
    CBitmap(long width, long height);
    ~CBitmap() override;
    bool isTypeOf(const char* s) const override;

    bool isLoaded() const { return surface != nullptr; }
    CCoord getWidth() const;
    CCoord getHeight() const;
    long getResourceID() const { return resourceID; }
    // Names PNG bytes of the double-resolution image. They are decoded when first drawn (or
    // asked for), so they must stay valid while the bitmap lives (resource data does), and
    // they are used only when the PNG is exactly twice as wide and high as the image.
    void setHighResolutionPNG(const unsigned char* png, size_t size);
    // Whether a usable double-resolution image exists (decodes it when not done yet).
    bool hasHighResolution() const;

    // Draws the part of the image starting at offset into rect (rect's size).
    void draw(class CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
    // Same as draw: the image's own alpha always applies.
    void drawTransparent(class CDrawContext* context, const CRect& rect,
                         const CPoint& offset = CPoint());
    // Draws with the image's alpha further scaled by alpha/255.
    void drawAlphaBlend(class CDrawContext* context, const CRect& rect, const CPoint& offset,
                        unsigned char alpha);
    // Uses the image's alpha as a mask and paints it in one colour (for glyph images).
    void drawMasked(class CDrawContext* context, const CRect& rect, const CPoint& offset,
                    const CColor& color);

    // The image; one made from a resource is shared with other bitmaps and is not drawn into.
    cairo_surface_t* getSurface() const { return surface; }

private:
    CBitmap(const CBitmap&) = delete;
    static cairo_surface_t* decodePNG(const unsigned char* png, size_t size);
    // A pattern of the image that suits the context's zoom, with its top-left corner at
    // (x, y) in frame pixels (caller destroys it).
    cairo_pattern_t* makePattern(class CDrawContext* context, CCoord x, CCoord y) const;
    cairo_surface_t* surface = nullptr;
    // The double-resolution image: its PNG bytes until first use, then the decoded image.
    mutable const unsigned char* png2x = nullptr;
    size_t png2xSize = 0;
    mutable cairo_surface_t* surface2x = nullptr;
    long resourceID = -1;
    bool fromResource = false; // images come from the shared cache
};

enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };
enum CDrawMode { kCopyMode = 0, kAntialias };

// Drawing on a Cairo surface. Lines and frames use the frame colour and line width; fills
// the fill colour. Odd-width lines run through pixel centres (coordinates are pixel corners);
// in copy mode (the default) nothing is anti-aliased and a line includes both end pixels.
class CDrawContext {
public:
    explicit CDrawContext(cairo_surface_t* surface);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    void setFrameColor(const CColor& c) { frameColor = c; }
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& c) { fillColor = c; }
    CColor getFillColor() const { return fillColor; }
    void setLineWidth(CCoord w) { lineWidth = w > 0 ? w : 1; }
    CCoord getLineWidth() const { return lineWidth; }
    void setDrawMode(CDrawMode m);
    CDrawMode getDrawMode() const { return drawMode; }
    void setClipRect(const CRect& r);
    void resetClipRect();

    void moveTo(const CPoint& p);
    void lineTo(const CPoint& p);
    CPoint getPenPosition() const { return pen; }
    void drawLine(const CPoint& from, const CPoint& to);
    void drawRect(const CRect& r, CDrawStyle style = kDrawStroked);
    void fillRect(const CRect& r) { drawRect(r, kDrawFilled); }
    void drawEllipse(const CRect& r, CDrawStyle style = kDrawStroked);
    // Arc of the ellipse inscribed in r, from startAngle to endAngle in radians, clockwise
    // on screen from the 3 o'clock direction. Filled, it is a pie wedge from the centre.
    void drawArc(const CRect& r, double startAngle, double endAngle,
                 CDrawStyle style = kDrawStroked);

    cairo_t* getCairo() const { return cr; }
    // Device pixels per frame pixel (the zoom this context draws at).
    double getScaleFactor() const;

private:
    void applyColor(const CColor& c);
    double align(double v) const;
    cairo_t* cr;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kBlackCColor;
    CCoord lineWidth = 1;
    CDrawMode drawMode = kCopyMode;
    CPoint pen;
};

class CFrame;

// A rectangle on the frame that draws itself and may take mouse events.
class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    CView(const CView& v);
    ~CView() override;
    bool isTypeOf(const char* s) const override;
    virtual CView* newCopy() const { return new CView(*this); }

    virtual void draw(CDrawContext* context);
    // Mouse events in frame coordinates; a view that handles the press receives the moves
    // and the release of the same gesture.
    virtual CMouseEventResult onMouseDown(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const long& buttons);

    virtual void setDirty(bool state = true) { dirty = state; }
    virtual bool isDirty() const { return dirty; }
    void invalid() { setDirty(true); }

    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    const CRect& getViewSize() const { return size; }
    CRect& getViewSize(CRect& rect) const {
        rect = size;
        return rect;
    }
    void setMouseableArea(const CRect& r) { mouseableArea = r; }
    const CRect& getMouseableArea() const { return mouseableArea; }
    CCoord getWidth() const { return size.width(); }
    CCoord getHeight() const { return size.height(); }

    void setMouseEnabled(bool b) { mouseEnabled = b; }
    bool getMouseEnabled() const { return mouseEnabled; }
    virtual void setVisible(bool b);
    bool isVisible() const { return visible; }
    void setTransparency(bool b) { transparency = b; }
    bool getTransparency() const { return transparency; }

    // The view keeps its own reference to the background.
    virtual void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

    CFrame* getFrame() const { return frame; }
    void setFrame(CFrame* f) { frame = f; }

protected:
    CRect size;
    CRect mouseableArea;
    CBitmap* background = nullptr;
    CFrame* frame = nullptr;
    bool dirty = true;
    bool visible = true;
    bool mouseEnabled = true;
    bool transparency = false;

private:
    friend class CFrame;
    CRect drawnArea; // where the frame last drew the view (empty: nowhere)
};

class CControl;

// Receives a control's changes.
class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    // Called before a press that carries a modifier key reaches the control; a non-zero
    // answer consumes the press.
    virtual long controlModifierClicked(CControl* control, long button) {
        (void)control;
        (void)button;
        return 0;
    }
    virtual void controlBeginEdit(CControl* control) { (void)control; }
    virtual void controlEndEdit(CControl* control) { (void)control; }
};

// What a frame reports edit gestures to (the plug-in's editor).
class VSTGUIEditorInterface {
public:
    virtual ~VSTGUIEditorInterface() = default;
    virtual void beginEdit(long index) { (void)index; }
    virtual void endEdit(long index) { (void)index; }
    virtual long getKnobMode() const { return kLinearMode; }
};

// A view with a value in [min, max] (0..1 by default), a tag and a listener.
class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0,
             CBitmap* background = nullptr);
    CLASS_METHODS(CControl, CView)

    virtual void setValue(float val) { value = val; }
    virtual float getValue() const { return value; }
    virtual void setMin(float v) { vmin = v; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float v) { vmax = v; }
    virtual float getMax() const { return vmax; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setOldValue(float v) { oldValue = v; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setTag(long t) { tag = t; }
    virtual long getTag() const { return tag; }
    virtual void setListener(CControlListener* l) { listener = l; }
    CControlListener* getListener() const { return listener; }

    // Where the value stands in [min, max], from 0 to 1: clipped, and 0 for an empty range
    // or a value that is not a number.
    float getValueNormalized() const;
    // Clips the value to [min, max].
    virtual void bounceValue();
    // Tells the listener (and the frame's editor) that a gesture begins or ends.
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing; }
    // Tells the listener that the value changed.
    virtual void valueChanged();

    void setDirty(bool state = true) override;
    bool isDirty() const override;

protected:
    CControlListener* listener;
    long tag;
    float value = 0;
    float oldValue = 1;
    float defaultValue = 0.5f;
    float vmin = 0;
    float vmax = 1;
    bool editing = false;
};

// A knob dragged vertically: moving up by the knob's range in pixels (200, or 2000 with
// the shift key) goes from min to max.
class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
          CBitmap* handle, const CPoint& offset = CPoint());
    CKnob(const CKnob& k);
    ~CKnob() override;
    CLASS_METHODS(CKnob, CControl)

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

    void setZoomFactor(float f) { zoomFactor = f; }
    CCoord getRange() const { return range; }

protected:
    CBitmap* handle;
    CPoint offset;
    CCoord range = 200;
    float zoomFactor = 10;
    CPoint dragStart;
    float dragStartValue = 0;
    bool fine = false;
};

// A two-state button: a press toggles between min and max. The background holds the off
// image above the on image.
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background);
    CLASS_METHODS(COnOffButton, CControl)
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
};

// A button with two images stacked in its bitmap (heightOfOneImage apart). A press toggles
// the value; while held, the pointer outside the button shows the old state again.
class CMovieButton : public CControl {
public:
    CMovieButton(const CRect& size, CControlListener* listener, long tag, CCoord heightOfOneImage,
                 CBitmap* background, const CPoint& offset = CPoint());
    CLASS_METHODS(CMovieButton, CControl)
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    CCoord heightOfOneImage;
    CPoint offset;
    float valueAtPress = 0;
};

// Shows one of subPixmaps images stacked in its bitmap, chosen by the value; no mouse.
class CMovieBitmap : public CControl {
public:
    CMovieBitmap(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());
    CLASS_METHODS(CMovieBitmap, CControl)
    void draw(CDrawContext* context) override;

protected:
    long subPixmaps;
    CCoord heightOfOneImage;
    CPoint offset;
};

// A horizontal slider: the handle bitmap moves between minPos and maxPos (x offsets of the
// handle's left edge from the control's left edge). A press puts the handle's centre under
// the pointer; dragging moves it. Without a handle bitmap a 6-pixel bar is drawn.
class CHorizontalSlider : public CControl {
public:
    CHorizontalSlider(const CRect& size, CControlListener* listener, long tag, CCoord minPos,
                      CCoord maxPos, CBitmap* handle, CBitmap* background,
                      const CPoint& offset = CPoint());
    CHorizontalSlider(const CHorizontalSlider& s);
    ~CHorizontalSlider() override;
    CLASS_METHODS(CHorizontalSlider, CControl)
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    void setHandleColor(const CColor& c) { handleColor = c; }

protected:
    CCoord handleWidth() const;
    CBitmap* handle;
    CCoord minPos, maxPos;
    CPoint offset;
    CColor handleColor = kWhiteCColor;
};

// A vertical switch of maxPositions stacked positions. The top position stands for max and
// the bottom one for min (value = 1 - index / (positions - 1) from the top); image k of the
// bitmap (heightOfOneImage apart) is shown for value k / (positions - 1).
class CVerticalSwitch : public CControl {
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                    CCoord heightOfOneImage, long maxPositions, CBitmap* background,
                    const CPoint& offset = CPoint());
    CLASS_METHODS(CVerticalSwitch, CControl)
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

protected:
    long subPixmaps, maxPositions;
    CCoord heightOfOneImage;
    CPoint offset;
};

// A switch of positions laid side by side (left = min). A press or drag selects the
// position under the pointer; image k of the bitmap is shown for position k, or, without a
// bitmap, the cells are framed and the chosen one filled.
class CSelectorSwitch : public CControl {
public:
    CSelectorSwitch(const CRect& size, CControlListener* listener, long tag, long positions,
                    CCoord heightOfOneImage, CBitmap* background);
    CLASS_METHODS(CSelectorSwitch, CControl)
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    long getPosition() const;
    void setColors(const CColor& frameColor, const CColor& selectionColor);

protected:
    long positions;
    CCoord heightOfOneImage;
    CColor frameColor = kGreyCColor;
    CColor selectionColor = kWhiteCColor;
};

// A control that, pressed, shows a bitmap over the frame at displayRect until the next press
// anywhere; the value is max while shown.
class CSplashScreen : public CControl {
public:
    CSplashScreen(const CRect& size, CControlListener* listener, long tag, CBitmap* splash,
                  const CRect& displayRect, const CPoint& offset = CPoint());
    CLASS_METHODS(CSplashScreen, CControl)
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    void unSplash();

protected:
    CRect keepSize;
    CRect displayRect;
    CPoint offset;
};

class CX11Window;

// The top view: owns its views (keeps one reference to each), draws them in the order they
// were added, sends each mouse press to the topmost visible view under the pointer and redraws
// when a view is dirty. In a window only the areas of dirty views are drawn again (a view
// keeps to its own rectangle when its looks change); a dirty frame redraws everything. It draws
// off-screen (drawToImage, writePNG) or into an X11 child window of a host window (open, idle,
// close).
class CFrame : public CView {
public:
    CFrame(const CRect& size, VSTGUIEditorInterface* editor = nullptr);
    ~CFrame() override;
    bool isTypeOf(const char* s) const override;
    CView* newCopy() const override { return nullptr; } // a frame is never copied

    virtual bool addView(CView* view);
    // Removes the view; withForget releases the frame's reference.
    virtual bool removeView(CView* view, bool withForget = true);
    virtual void removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    long getNbViews() const { return (long)views.size(); }
    CView* getView(long index) const;

    // A modal view is drawn last and receives every press until it is released.
    void setModalView(CView* view);
    CView* getModalView() const { return modalView; }

    VSTGUIEditorInterface* getEditor() const { return editor; }
    virtual long getKnobMode() const;

    void draw(CDrawContext* context) override;
    // Mouse entry points, in frame coordinates, from the window or from tests.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

    // True when the frame or any view needs drawing.
    bool needsRedraw() const;
    // Draws everything into a new ARGB image of the frame's size (caller destroys it) and
    // clears the dirty marks.
    cairo_surface_t* drawToImage();
    bool writePNG(const char* path);

    // Draws at this zoom factor (device pixels per frame pixel; 0.25 to 4, else ignored):
    // off-screen images and the window are the frame's size times the zoom, rounded up, and
    // window mouse positions are divided back, so views see the same coordinates at every
    // zoom. An open window takes the new size at once.
    void setZoom(double zoom);
    double getZoom() const { return zoom; }
    // The frame's size in device pixels at the current zoom.
    long getZoomedWidth() const;
    long getZoomedHeight() const;

    // X11: opens a child window of the given parent window on its own display connection.
    bool open(void* parentWindow, const char* displayName = nullptr);
    void close();
    bool isOpen() const { return window != nullptr; }
    // Handles pending window events and redraws what is dirty. Call it regularly from the
    // thread that opened the window.
    void idle();
    unsigned long getWindowID() const;

protected:
    void clearDirty();
    // Draws into an image of the zoomed size and clears the dirty marks: everything, or only
    // the given rectangles (device pixels) when there are any.
    void drawInto(cairo_surface_t* image, const std::vector<CRect>& areas = {});
    // The device-pixel rectangles a redraw must cover: where dirty views are and where they
    // were drawn last. Empty when the whole frame needs drawing.
    std::vector<CRect> dirtyAreas() const;
    CView* viewAt(const CPoint& where) const;

    std::vector<CView*> views;
    CView* mouseView = nullptr;
    CView* modalView = nullptr;
    VSTGUIEditorInterface* editor;
    CX11Window* window = nullptr;
    double zoom = 1;
};
