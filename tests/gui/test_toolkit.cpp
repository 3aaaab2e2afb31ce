// The view toolkit: geometry, reference counting, bitmaps, drawing, the frame's event
// dispatch and the standard controls.
#include "gui_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

const char* testInfo(const char* key) {
    return std::strcmp(key, "k") == 0 ? "v" : nullptr;
}

struct EditorSpy : VSTGUIEditorInterface {
    std::vector<long> begins, ends;
    void beginEdit(long i) override { begins.push_back(i); }
    void endEdit(long i) override { ends.push_back(i); }
};

class Counted : public CView {
public:
    static int alive;
    explicit Counted(const CRect& r) : CView(r) { ++alive; }
    ~Counted() override { --alive; }
};
int Counted::alive = 0;

// A view that records the presses it receives.
class Pad : public CView {
public:
    std::vector<std::string> log;
    explicit Pad(const CRect& r) : CView(r) {}
    CMouseEventResult onMouseDown(CPoint& p, const long&) override {
        log.push_back("down " + std::to_string((int)p.x));
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseMoved(CPoint& p, const long&) override {
        log.push_back("move " + std::to_string((int)p.x));
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint& p, const long&) override {
        log.push_back("up " + std::to_string((int)p.x));
        return kMouseEventHandled;
    }
};

} // namespace

TEST(Geometry, RectContainsLeftTopButNotRightBottom) {
    CRect r(10, 20, 30, 40);
    EXPECT_TRUE(r.pointInside(CPoint(10, 20)));
    EXPECT_TRUE(r.pointInside(CPoint(29.9, 39.9)));
    EXPECT_FALSE(r.pointInside(CPoint(30, 25)));
    EXPECT_FALSE(r.pointInside(CPoint(15, 40)));
    EXPECT_EQ(CRect(0, 0, 5, 5).offset(10, 20), CRect(10, 20, 15, 25));
    EXPECT_EQ(CRect(0, 0, 10, 10).inset(2, 3), CRect(2, 3, 8, 7));
    EXPECT_EQ(CRect(4, 4, 10, 10).moveTo(0, 1), CRect(0, 1, 6, 7));
}

TEST(BaseObject, FrameKeepsOneReferenceAndReleasesViews) {
    {
        CFrame frame(CRect(0, 0, 100, 100));
        Counted* kept = new Counted(CRect(0, 0, 10, 10));
        frame.addView(kept);
        frame.addView(new Counted(CRect(0, 0, 10, 10)));
        kept->remember();
        EXPECT_EQ(Counted::alive, 2);
        EXPECT_FALSE(frame.addView(kept)) << "a view is added once";
        frame.removeView(kept);
        EXPECT_EQ(Counted::alive, 2) << "the extra reference keeps it";
        kept->forget();
        EXPECT_EQ(Counted::alive, 1);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(Bitmap, LoadsFromMemoryResourceAndRejectsBadData) {
    std::string png = pngBytes(7, 5, MakeCColor(10, 20, 30));
    CBitmap mem((const unsigned char*)png.data(), png.size());
    ASSERT_TRUE(mem.isLoaded());
    EXPECT_EQ(mem.getWidth(), 7);
    EXPECT_EQ(mem.getHeight(), 5);

    CBitmap garbage((const unsigned char*)"\x89PNG not really", 15);
    EXPECT_FALSE(garbage.isLoaded());
    CBitmap truncated((const unsigned char*)png.data(), png.size() / 2);
    EXPECT_FALSE(truncated.isLoaded());
    CBitmap nothing(nullptr, 100);
    EXPECT_FALSE(nothing.isLoaded());

    setResourceLookup(nullptr, nullptr);
    EXPECT_FALSE(CBitmap(10001L).isLoaded()) << "no lookup installed";
    gResources["10001.png"] = png;
    setResourceLookup(testLookup, testInfo);
    CBitmap byNumber(10001L);
    EXPECT_TRUE(byNumber.isLoaded());
    EXPECT_EQ(byNumber.getResourceID(), 10001);
    EXPECT_FALSE(CBitmap(10002L).isLoaded());
    EXPECT_STREQ(lookupResourceInfo("k"), "v");
    EXPECT_EQ(lookupResourceInfo("other"), nullptr);
    setResourceLookup(nullptr, nullptr);
    EXPECT_EQ(lookupResourceInfo("k"), nullptr);

    CBitmap missingFile("/nonexistent/file.png");
    EXPECT_FALSE(missingFile.isLoaded());
    // Drawing an unloaded bitmap does nothing.
    cairo_surface_t* s = makeImage(4, 4);
    CDrawContext dc(s);
    missingFile.draw(&dc, CRect(0, 0, 4, 4));
    EXPECT_TRUE(near(pixel(s, 1, 1), kBlackCColor));
    cairo_surface_destroy(s);
}

TEST(Bitmap, DrawsWithOffsetAndAlpha) {
    // Left half red, right half green.
    cairo_surface_t* src = makeImage(4, 2, kRedCColor);
    cairo_t* cr = cairo_create(src);
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_rectangle(cr, 2, 0, 2, 2);
    cairo_fill(cr);
    cairo_destroy(cr);
    std::string png;
    cairo_surface_write_to_png_stream(
        src,
        [](void* c, const unsigned char* d, unsigned int n) {
            static_cast<std::string*>(c)->append((const char*)d, n);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(src);
    CBitmap bmp((const unsigned char*)png.data(), png.size());

    cairo_surface_t* s = makeImage(10, 10, kBlackCColor);
    CDrawContext dc(s);
    bmp.draw(&dc, CRect(5, 5, 7, 7), CPoint(2, 0)); // only the green half
    EXPECT_TRUE(near(pixel(s, 5, 5), MakeCColor(0, 255, 0)));
    EXPECT_TRUE(near(pixel(s, 7, 5), kBlackCColor)) << "clipped to the rectangle";
    bmp.drawAlphaBlend(&dc, CRect(0, 0, 2, 2), CPoint(), 128);
    EXPECT_TRUE(near(pixel(s, 0, 0), MakeCColor(128, 0, 0), 2)) << str(pixel(s, 0, 0));
    bmp.drawMasked(&dc, CRect(0, 4, 4, 6), CPoint(), MakeCColor(0, 0, 255));
    EXPECT_TRUE(near(pixel(s, 3, 5), MakeCColor(0, 0, 255)));
    cairo_surface_destroy(s);
}

// A zoomed frame draws at the zoom, with a bitmap's double-resolution image where it has a
// fitting one; views keep their frame-pixel sizes.
TEST(Zoom, FrameDrawsScaledWithTheDoubleResolutionImages) {
    gResources["10005.png"] = pngBytes(4, 4, kRedCColor);
    gResources["10005@2x.png"] = pngBytes(8, 8, MakeCColor(0, 255, 0));
    gResources["10006.png"] = pngBytes(4, 4, MakeCColor(0, 0, 255));
    gResources["10006@2x.png"] = pngBytes(7, 8, kWhiteCColor); // not twice the size: unused
    setResourceLookup(testLookup, testInfo);
    CFrame frame(CRect(0, 0, 20, 10));
    CView* a = new CView(CRect(2, 2, 6, 6));
    CView* b = new CView(CRect(10, 2, 14, 6));
    CBitmap* bmpA = new CBitmap(10005L);
    CBitmap* bmpB = new CBitmap(10006L);
    EXPECT_TRUE(bmpA->hasHighResolution());
    EXPECT_FALSE(bmpB->hasHighResolution());
    EXPECT_EQ(bmpA->getWidth(), 4) << "the size stays that of the 1x image";
    a->setBackground(bmpA);
    b->setBackground(bmpB);
    bmpA->forget();
    bmpB->forget();
    frame.addView(a);
    frame.addView(b);
    setResourceLookup(nullptr, nullptr);

    struct Case {
        double zoom;
        int width, height;
        CColor a;
    };
    for (const Case& c : {Case{1, 20, 10, kRedCColor}, Case{1.5, 30, 15, MakeCColor(0, 255, 0)},
                          Case{2, 40, 20, MakeCColor(0, 255, 0)}}) {
        frame.setZoom(c.zoom);
        frame.setZoom(0); // out of range: ignored
        EXPECT_EQ(frame.getZoom(), c.zoom);
        Image img(frame);
        EXPECT_EQ(cairo_image_surface_get_width(img.s), c.width);
        EXPECT_EQ(cairo_image_surface_get_height(img.s), c.height);
        auto at = [&](double x, double y) { return img.at((int)(x * c.zoom), (int)(y * c.zoom)); };
        EXPECT_TRUE(near(at(2, 2), c.a)) << c.zoom << " " << str(at(2, 2));
        EXPECT_TRUE(near(at(5.5, 5.5), c.a)) << c.zoom;
        EXPECT_TRUE(near(at(10, 2), MakeCColor(0, 0, 255))) << c.zoom;
        EXPECT_EQ(at(6.2, 4).alpha, 0) << c.zoom << ": nothing beyond the view";
        EXPECT_EQ(at(1.8, 4).alpha, 0) << c.zoom;
    }
}

TEST(DrawContext, LinesRectanglesAndArcsCoverTheExpectedPixels) {
    cairo_surface_t* s = makeImage(40, 40, kBlackCColor);
    {
        CDrawContext dc(s);
        dc.setFrameColor(kWhiteCColor);
        dc.setLineWidth(1);
        dc.moveTo(CPoint(2, 3));
        dc.lineTo(CPoint(10, 3));
        EXPECT_EQ(dc.getPenPosition(), CPoint(10, 3));

        dc.setFillColor(kRedCColor);
        dc.drawRect(CRect(20, 20, 30, 30), kDrawFilledAndStroked);

        dc.setFillColor(MakeCColor(0, 0, 255));
        dc.drawArc(CRect(0, 10, 20, 30), 0, M_PI / 2, kDrawFilled); // lower-right quarter
    }
    // A one-pixel line covers one whole row of pixels, both ends included.
    EXPECT_TRUE(near(pixel(s, 2, 3), kWhiteCColor));
    EXPECT_TRUE(near(pixel(s, 10, 3), kWhiteCColor));
    EXPECT_TRUE(near(pixel(s, 6, 2), kBlackCColor));
    EXPECT_TRUE(near(pixel(s, 6, 4), kBlackCColor));
    // Frame inside the rectangle, fill within.
    EXPECT_TRUE(near(pixel(s, 20, 20), kWhiteCColor));
    EXPECT_TRUE(near(pixel(s, 29, 29), kWhiteCColor));
    EXPECT_TRUE(near(pixel(s, 30, 30), kBlackCColor));
    EXPECT_TRUE(near(pixel(s, 25, 25), kRedCColor));
    // Pie wedge: clockwise from 3 o'clock, so the lower right quarter.
    EXPECT_TRUE(near(pixel(s, 14, 24), MakeCColor(0, 0, 255)));
    EXPECT_TRUE(near(pixel(s, 5, 24), kBlackCColor));
    EXPECT_TRUE(near(pixel(s, 14, 15), kBlackCColor));
    cairo_surface_destroy(s);
}

TEST(Frame, DispatchesAGestureToTheTopmostViewUnderThePress) {
    CFrame frame(CRect(0, 0, 100, 100));
    Pad* below = new Pad(CRect(0, 0, 50, 50));
    Pad* above = new Pad(CRect(20, 20, 40, 40));
    Pad* hidden = new Pad(CRect(20, 20, 40, 40));
    frame.addView(below);
    frame.addView(above);
    frame.addView(hidden);
    hidden->setVisible(false);

    press(frame, 25, 25);
    move(frame, 80, 80); // outside, but the gesture stays with the view
    release(frame, 90, 90);
    EXPECT_EQ(above->log, (std::vector<std::string>{"down 25", "move 80", "up 90"}));
    EXPECT_TRUE(below->log.empty());
    EXPECT_TRUE(hidden->log.empty());

    press(frame, 5, 5);
    EXPECT_EQ(below->log.size(), 1u);
    release(frame, 5, 5);
    press(frame, 70, 70); // no view there
    move(frame, 5, 5);
    EXPECT_EQ(below->log.size(), 2u) << "moves without a pressed view go nowhere";
}

TEST(Frame, ModifierClicksGoToTheListenerFirst) {
    CFrame frame(CRect(0, 0, 100, 100));
    RecordingListener l;
    COnOffButton* b = new COnOffButton(CRect(0, 0, 10, 10), &l, 7, nullptr);
    frame.addView(b);
    click(frame, 5, 5, kLButton | kControl | kAlt);
    EXPECT_EQ(l.modifierClicks, std::vector<long>{7});
    EXPECT_EQ(b->getValue(), 1.f) << "not consumed: the button still toggles";
    l.consumeModifierClicks = 1;
    click(frame, 5, 5, kLButton | kControl | kAlt);
    EXPECT_EQ(b->getValue(), 1.f) << "consumed";
    EXPECT_EQ(l.modifierClicks.size(), 2u);
}

TEST(Frame, DirtyViewsAreRedrawnAndTheImageIsWritten) {
    CFrame frame(CRect(0, 0, 20, 10));
    CControl* c = new CControl(CRect(0, 0, 5, 5));
    frame.addView(c);
    EXPECT_TRUE(frame.needsRedraw());
    cairo_surface_destroy(frame.drawToImage());
    EXPECT_FALSE(frame.needsRedraw());
    c->setValue(0.5f);
    EXPECT_TRUE(frame.needsRedraw()) << "a changed value makes the control dirty";
    std::string path = ::testing::TempDir() + "frame.png";
    ASSERT_TRUE(frame.writePNG(path.c_str()));
    CBitmap back(path.c_str());
    EXPECT_EQ(back.getWidth(), 20);
    EXPECT_EQ(back.getHeight(), 10);
    EXPECT_FALSE(frame.writePNG("/nonexistent/dir/x.png"));
}

TEST(Knob, DragsVerticallyAndReportsTheGesture) {
    EditorSpy editor;
    CFrame frame(CRect(0, 0, 100, 300), &editor);
    RecordingListener l;
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
    EXPECT_EQ(l.ends, std::vector<long>{5});
    EXPECT_EQ(editor.begins, std::vector<long>{5});
    EXPECT_EQ(editor.ends, std::vector<long>{5});
    ASSERT_EQ(l.changes.size(), 2u);

    // With shift the same distance moves ten times less.
    k->setValue(0.f);
    press(frame, 20, 110, kLButton | kShift);
    move(frame, 20, 10, kLButton | kShift);
    EXPECT_NEAR(k->getValue(), 0.05f, 1e-5);
    release(frame, 20, 10);
    EXPECT_EQ(frame.getKnobMode(), kLinearMode);
}

TEST(Buttons, OnOffMovieSwitchesSliderAndSplash) {
    CFrame frame(CRect(0, 0, 200, 200));
    RecordingListener l;
    auto* onoff = new COnOffButton(CRect(0, 0, 10, 10), &l, 1, nullptr);
    auto* movie = new CMovieButton(CRect(20, 0, 30, 10), &l, 2, 10, nullptr);
    auto* vswitch = new CVerticalSwitch(CRect(40, 0, 50, 120), &l, 3, 12, 10, 12, nullptr);
    auto* selector = new CSelectorSwitch(CRect(60, 0, 120, 10), &l, 4, 6, 10, nullptr);
    auto* slider = new CHorizontalSlider(CRect(0, 150, 106, 160), &l, 5, 0, 100, nullptr, nullptr);
    auto* splash =
        new CSplashScreen(CRect(190, 190, 200, 200), &l, 6, nullptr, CRect(0, 0, 200, 200));
    for (CView* v : std::vector<CView*>{onoff, movie, vswitch, selector, slider, splash})
        frame.addView(v);

    click(frame, 5, 5);
    EXPECT_EQ(onoff->getValue(), 1.f);
    click(frame, 5, 5);
    EXPECT_EQ(onoff->getValue(), 0.f);

    // Movie button: toggles at the press, shows the old state while outside.
    press(frame, 25, 5);
    EXPECT_EQ(movie->getValue(), 1.f);
    move(frame, 100, 100);
    EXPECT_EQ(movie->getValue(), 0.f);
    move(frame, 25, 5);
    release(frame, 25, 5);
    EXPECT_EQ(movie->getValue(), 1.f);

    // Vertical switch: the top position is the maximum.
    click(frame, 45, 2);
    EXPECT_EQ(vswitch->getValue(), 1.f);
    click(frame, 45, 115);
    EXPECT_EQ(vswitch->getValue(), 0.f);
    click(frame, 45, 25); // third position from the top
    EXPECT_NEAR(vswitch->getValue(), 1.f - 2.f / 11.f, 1e-6);

    click(frame, 61, 5);
    EXPECT_EQ(selector->getValue(), 0.f);
    click(frame, 119, 5);
    EXPECT_EQ(selector->getValue(), 1.f);
    click(frame, 95, 5); // fourth of six cells
    EXPECT_NEAR(selector->getValue(), 3.f / 5.f, 1e-6);
    EXPECT_EQ(selector->getPosition(), 3);

    press(frame, 53, 155); // handle centre (3 px) under the pointer: 50/100
    EXPECT_NEAR(slider->getValue(), 0.5f, 1e-6);
    move(frame, 500, 155);
    EXPECT_EQ(slider->getValue(), 1.f);
    release(frame, 500, 155);

    // Splash: shown over the frame, takes the next press anywhere, then closes.
    click(frame, 195, 195);
    EXPECT_EQ(splash->getValue(), 1.f);
    EXPECT_EQ(frame.getModalView(), splash);
    click(frame, 5, 5);
    EXPECT_EQ(splash->getValue(), 0.f);
    EXPECT_EQ(onoff->getValue(), 0.f) << "the press went to the splash, not the button";
    EXPECT_EQ(frame.getModalView(), nullptr);
}

TEST(Controls, TypeNamesAndCopies) {
    CKnob k(CRect(0, 0, 10, 10), nullptr, 3, nullptr, nullptr);
    EXPECT_TRUE(k.isTypeOf("CKnob"));
    EXPECT_TRUE(k.isTypeOf("CControl"));
    EXPECT_TRUE(k.isTypeOf("CView"));
    EXPECT_FALSE(k.isTypeOf("CFrame"));
    CView* copy = k.newCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->isTypeOf("CKnob"));
    EXPECT_EQ(static_cast<CControl*>(copy)->getTag(), 3);
    copy->forget();
}
