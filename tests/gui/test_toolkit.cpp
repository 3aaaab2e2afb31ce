// The view toolkit: reference counting, bitmaps from bad data and at 200 %, the frame's event
// dispatch, redraw flags and failed opens, and the standard controls' gestures. (The frame in a
// real window: tests/engine/test_editor_window.cpp.)
#include "gui_test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace guitest;

namespace {

// PNG bytes of a w x h image filled with one colour.
std::string pngBytes(int w, int h, CColor c) {
    cairo_surface_t* s = makeImage(w, h, c);
    std::string out;
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* data, unsigned int len) {
            static_cast<std::string*>(closure)->append((const char*)data, len);
            return CAIRO_STATUS_SUCCESS;
        },
        &out);
    cairo_surface_destroy(s);
    return out;
}

std::map<std::string, std::string> gResources;

bool testLookup(const char* name, const char* type, const unsigned char** data, size_t* size) {
    auto it = gResources.find(std::string(name) + "." + type);
    if (it == gResources.end()) return false;
    *data = (const unsigned char*)it->second.data();
    *size = it->second.size();
    return true;
}

// A view that records the presses it receives, and counts the views alive.
class Pad : public CView {
public:
    static inline int alive = 0;
    std::vector<std::string> log;
    explicit Pad(const CRect& r) : CView(r) { ++alive; }
    ~Pad() override { --alive; }
    CMouseEventResult onMouseDown(CPoint& p, const long&) override { return note("down", p); }
    CMouseEventResult onMouseMoved(CPoint& p, const long&) override { return note("move", p); }
    CMouseEventResult onMouseUp(CPoint& p, const long&) override { return note("up", p); }
    CMouseEventResult note(const char* what, const CPoint& p) {
        log.push_back(what + std::to_string((int)p.x));
        return kMouseEventHandled;
    }
};

} // namespace

TEST(Toolkit, FrameKeepsOneReferenceAndReleasesViews) {
    {
        CFrame frame(CRect(0, 0, 100, 100));
        Pad* kept = new Pad(CRect(0, 0, 10, 10));
        frame.addView(kept);
        frame.addView(new Pad(CRect(0, 0, 10, 10)));
        kept->remember();
        EXPECT_FALSE(frame.addView(kept)) << "a view is added once";
        frame.removeView(kept);
        EXPECT_EQ(Pad::alive, 2) << "the extra reference keeps it";
        kept->forget();
        EXPECT_EQ(Pad::alive, 1);
    }
    EXPECT_EQ(Pad::alive, 0);
}

TEST(Toolkit, BadBitmapDataLoadsNothingAndDrawsNothing) {
    const std::string png = pngBytes(7, 5, MakeCColor(10, 20, 30));
    EXPECT_EQ(CBitmap((const unsigned char*)png.data(), png.size()).getWidth(), 7);
    CBitmap cut((const unsigned char*)png.data(), png.size() / 2);
    EXPECT_FALSE(cut.isLoaded());
    EXPECT_FALSE(CBitmap(nullptr, 100).isLoaded());
    setResourceLookup(nullptr, nullptr);
    EXPECT_FALSE(CBitmap(10001L).isLoaded()) << "no lookup installed";
    EXPECT_FALSE(CBitmap("/nonexistent/file.png").isLoaded());
    cairo_surface_t* s = makeImage(4, 4);
    CDrawContext dc(s);
    cut.draw(&dc, CRect(0, 0, 4, 4));
    EXPECT_TRUE(near(pixel(s, 1, 1), kBlackCColor));
    cairo_surface_destroy(s);
}

// A zoomed frame draws at the zoom, with a bitmap's double-resolution image where it has a
// fitting one; views keep their frame-pixel sizes.
TEST(Toolkit, ZoomedFrameDrawsScaledWithTheDoubleResolutionImages) {
    gResources["10005.png"] = pngBytes(4, 4, kRedCColor);
    gResources["10005@2x.png"] = pngBytes(8, 8, MakeCColor(0, 255, 0));
    gResources["10006.png"] = pngBytes(4, 4, MakeCColor(0, 0, 255));
    gResources["10006@2x.png"] = pngBytes(7, 8, kWhiteCColor); // not twice the size: unused
    setResourceLookup(testLookup, nullptr);
    CFrame frame(CRect(0, 0, 20, 10));
    for (long id : {10005L, 10006L}) {
        CView* v = new CView(id == 10005 ? CRect(2, 2, 6, 6) : CRect(10, 2, 14, 6));
        CBitmap* bmp = new CBitmap(id);
        EXPECT_EQ(bmp->getWidth(), 4) << "the size stays that of the 1x image";
        v->setBackground(bmp);
        bmp->forget();
        frame.addView(v);
    }
    setResourceLookup(nullptr, nullptr);
    for (auto [zoom, a] :
         {std::pair{1.0, kRedCColor}, {1.5, MakeCColor(0, 255, 0)}, {2.0, MakeCColor(0, 255, 0)}}) {
        frame.setZoom(zoom);
        frame.setZoom(0); // out of range: ignored
        Image img(frame);
        EXPECT_EQ(cairo_image_surface_get_width(img.s), 20 * zoom);
        auto at = [&](double x, double y) { return img.at((int)(x * zoom), (int)(y * zoom)); };
        EXPECT_TRUE(near(at(2, 2), a) && near(at(5.5, 5.5), a)) << zoom;
        EXPECT_TRUE(near(at(10, 2), MakeCColor(0, 0, 255))) << zoom;
        EXPECT_EQ(at(6.2, 4).alpha + at(1.8, 4).alpha, 0) << zoom << ": nothing beyond the view";
    }
}

TEST(Toolkit, FrameDispatchesAGestureToTheTopmostVisibleViewUnderThePress) {
    CFrame frame(CRect(0, 0, 100, 100));
    Pad* below = new Pad(CRect(0, 0, 50, 50));
    Pad* above = new Pad(CRect(20, 20, 40, 40));
    Pad* hidden = new Pad(CRect(20, 20, 40, 40));
    for (Pad* p : {below, above, hidden})
        frame.addView(p);
    hidden->setVisible(false);
    press(frame, 25, 25);
    move(frame, 80, 80); // outside, but the gesture stays with the view
    release(frame, 90, 90);
    EXPECT_EQ(above->log, (std::vector<std::string>{"down25", "move80", "up90"}));
    EXPECT_TRUE(below->log.empty() && hidden->log.empty());
    press(frame, 70, 70); // no view there
    move(frame, 5, 5);
    EXPECT_TRUE(below->log.empty()) << "moves without a pressed view go nowhere";

    // A removed view gets no more of its gesture.
    press(frame, 25, 25);
    frame.removeView(above);
    move(frame, 30, 30);
    release(frame, 30, 30);
    EXPECT_TRUE(below->log.empty());

    // A press with modifiers is offered to the control's listener first.
    RecordingListener<> l;
    CMovieButton* b = new CMovieButton(CRect(60, 60, 70, 70), &l, 7, 10, nullptr);
    frame.addView(b);
    click(frame, 65, 65, kLButton | kControl | kAlt);
    EXPECT_EQ(b->getValue(), 1.f) << "not consumed: the button still toggles";
    l.consumeModifierClicks = 1;
    click(frame, 65, 65, kLButton | kControl | kAlt);
    EXPECT_EQ(b->getValue(), 1.f) << "consumed";
    EXPECT_EQ(l.modifierClicks, (std::vector<long>{7, 7}));

    cairo_surface_destroy(frame.drawToImage());
    EXPECT_FALSE(frame.needsRedraw());
    EXPECT_FALSE(frame.open((void*)(uintptr_t)1, ":4321")) << "no X server";
    EXPECT_FALSE(frame.open(nullptr)) << "no parent";
    b->setValue(0.5f);
    EXPECT_TRUE(frame.needsRedraw()) << "a changed value makes the control dirty";
}

TEST(Toolkit, KnobDragsVerticallyAndReportsTheGesture) {
    EditorSpy editor;
    CFrame frame(CRect(0, 0, 100, 300), &editor);
    RecordingListener<> l;
    CKnob* k = new CKnob(CRect(10, 100, 40, 130), &l, 5, nullptr, nullptr);
    frame.addView(k);
    k->setValue(0.2f);
    press(frame, 20, 110);
    move(frame, 20, 50); // 60 pixels up of 200
    EXPECT_NEAR(k->getValue(), 0.5f, 1e-5);
    move(frame, 20, 290); // far down: clipped
    EXPECT_EQ(k->getValue(), 0.f);
    release(frame, 20, 290);
    EXPECT_EQ(l.begins, std::vector<long>{5});
    EXPECT_EQ(editor.ends, std::vector<long>{5});
    EXPECT_EQ(l.changes.size(), 2u);
    // With shift the same distance moves ten times less.
    press(frame, 20, 110, kLButton | kShift);
    move(frame, 20, 10, kLButton | kShift);
    EXPECT_NEAR(k->getValue(), 0.05f, 1e-5);
    release(frame, 20, 10);
}

TEST(Toolkit, ButtonSwitchesSliderAndSplash) {
    CFrame frame(CRect(0, 0, 200, 200));
    RecordingListener<> l;
    auto* movie = new CMovieButton(CRect(20, 0, 30, 10), &l, 2, 10, nullptr);
    auto* vswitch = new CVerticalSwitch(CRect(40, 0, 50, 120), &l, 3, 12, 10, 12, nullptr);
    auto* selector = new CSelectorSwitch(CRect(60, 0, 120, 10), &l, 4, 6, 10, nullptr);
    auto* slider = new CHorizontalSlider(CRect(0, 150, 106, 160), &l, 5, 0, 100, nullptr, nullptr);
    auto* splash =
        new CSplashScreen(CRect(190, 190, 200, 200), &l, 6, nullptr, CRect(0, 0, 200, 200));
    for (CView* v : std::vector<CView*>{movie, vswitch, selector, slider, splash})
        frame.addView(v);

    // Where a click lands and what the control then holds.
    using Case = std::tuple<CControl*, CCoord, CCoord, float>;
    for (auto [control, x, y, value] :
         {Case{vswitch, 45, 2, 1}, Case{vswitch, 45, 115, 0}, Case{vswitch, 45, 25, 1 - 2 / 11.f},
          Case{selector, 61, 5, 0}, Case{selector, 119, 5, 1}, Case{selector, 95, 5, 3 / 5.f},
          Case{slider, 53, 155, 0.5f}}) {
        click(frame, x, y);
        EXPECT_NEAR(control->getValue(), value, 1e-6) << control->getTag() << " " << y;
    }
    // Splash: shown over the frame, takes the next press anywhere, then closes.
    click(frame, 195, 195);
    EXPECT_EQ(frame.getModalView(), splash);
    click(frame, 25, 5);
    EXPECT_EQ(splash->getValue(), 0.f);
    EXPECT_EQ(movie->getValue(), 0.f) << "the press went to the splash, not the button";
    EXPECT_EQ(frame.getModalView(), nullptr);
}
