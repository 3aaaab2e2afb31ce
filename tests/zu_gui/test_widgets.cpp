// The editor's widget kit: bitmap fonts, momentary button, number display, pop-up menu,
// envelope control, highlight frame, multi-slider and multi-button.
#include "BrakkaResources.h"
#include "CEGControl.h"
#include "CHighlightFrame.h"
#include "CMomentaryButton.h"
#include "CRirezariResource.h"
#include "CZUNumerical.h"
#include "CZUVMultislider.h"
#include "CZUVPopupMenu.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace guitest;
using Changes = std::vector<std::pair<long, float>>;

namespace {

class Fonts : public ::testing::Test {
protected:
    void SetUp() override { setResourceLookup(brakkaFindResource, brakkaResourceInfo); }
    void TearDown() override { setResourceLookup(nullptr, nullptr); }
};

// A metrics table that claims more records than it holds.
std::string gBadTab;
bool badLookup(const char* name, const char* type, const unsigned char** d, size_t* n) {
    if (std::strcmp(name, "Bad") != 0 || std::strcmp(type, "tab") != 0) return false;
    *d = (const unsigned char*)gBadTab.data();
    *n = gBadTab.size();
    return true;
}
const char* badInfo(const char* key) {
    return std::strcmp(key, "RirezariInfo_7") == 0 ? "Bad" : nullptr;
}

enum { kAttack = 10, kAttackCurve = 11, kDecay = 12, kDecayCurve = 13 };

struct Graph {
    EditorSpy editor;
    CFrame frame{CRect(0, 0, 200, 120), &editor};
    ZUListener l;
    CEGARControl* eg = new CEGARControl(CRect(0, 0, 153, 93), &l, kAttack, kAttackCurve, -1, kDecay,
                                        kDecayCurve, kGreyCColor, kBlackCColor, kBlackCColor,
                                        kGreyCColor, kWhiteCColor, kBlackCColor, false);
    Graph() { frame.addView(eg); }
    CRect handle(long i) const { return eg->getHandleLocation(eg->getHandle(i)); }
    float curvature(long i) const {
        return static_cast<CEGControl::CEGControlHandle*>(eg->getHandle(i))->getCurvature();
    }
};

// 32 columns of 10 pixels in a frame.
struct Row {
    CFrame frame{CRect(0, 0, 400, 200)};
    ZUListener l;
};

} // namespace

// Both editor fonts load with sharp glyphs for 200 %; unknown characters take no room.
TEST_F(Fonts, EditorFontsLoadAndMissingOrBrokenOnesAreHarmless) {
    for (long n : {20000L, 20001L}) {
        CRirezariResource font(n);
        ASSERT_TRUE(font.isLoaded()) << n;
        EXPECT_TRUE(font.getCharacterBitmap()->hasHighResolution()) << n;
        EXPECT_TRUE(font.getMaxCharacterHeight() >= 10 && font.getMaxCharacterHeight() <= 18);
        EXPECT_GT(font.getAdvance('A'), 3);
        EXPECT_EQ(font.getStringWidth("A\001B"), font.getAdvance('A') + font.getAdvance('B'));
    }
    CRirezariResource missing(12345);
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.getStringWidth("abc"), 0);
    cairo_surface_t* s = makeImage(10, 10);
    CDrawContext dc(s);
    EXPECT_EQ(missing.drawText(&dc, CPoint(0, 0), "abc"), 0);
    cairo_surface_destroy(s);

    // 20-byte header claiming 1000 records, followed by one and a half records.
    gBadTab.assign(20 + 24, '\0');
    gBadTab[10] = (char)0xE8;
    gBadTab[11] = 3;
    gBadTab[20] = 'x';
    gBadTab[20 + 10] = 9; // height
    gBadTab[20 + 14] = 5; // right edge: advance 5
    setResourceLookup(badLookup, badInfo);
    CRirezariResource bad(7);
    EXPECT_EQ(bad.getAdvance('x') * 10 + bad.getMaxCharacterHeight(), 59);
    EXPECT_FALSE(bad.isLoaded()) << "no glyph image";
}

TEST(MomentaryButton, ReleasedOutsideStillReportsZero) {
    CFrame f(CRect(0, 0, 100, 100));
    ZUListener l;
    auto* b = new CMomentaryButton(CRect(10, 10, 30, 20), &l, 691);
    f.addView(b);
    press(f, 15, 15);
    move(f, 80, 80);
    EXPECT_EQ(b->getValue(), 0.f) << "shown released while outside";
    move(f, 15, 15);
    move(f, 80, 80);
    release(f, 80, 80);
    EXPECT_EQ(l.changes, (Changes{{691, 1.f}, {691, 0.f}}));
    EXPECT_EQ(l.ends.size(), 1u);
}

TEST_F(Fonts, PopupMenuOpensAtItsItemInsideTheFrame) {
    CRirezariResource* font = new CRirezariResource(20001);
    CFrame f(CRect(0, 0, 200, 200));
    ZUListener l;
    const CCoord h = font->getMaxCharacterHeight();
    auto* menu =
        new CZUVPopupMenu(CRect(50, 100, 110, 100 + h), &l, 108, font, kBlackCColor, kBlackCColor,
                          kBlackCColor, kBlackCColor, kRedCColor, kRedCColor);
    font->forget(); // the menu keeps its own reference
    f.addView(menu);
    menu->setItemList({"1 x 32", "2 x 16", "1 x 16T", "1 x 16", "1 x 8T"});
    for (auto [value, item] : {std::pair{0.5f, 2L}, {0.99f, 4L}, {-3.f, 0L}, {1.f, 4L}}) {
        menu->setValue(value);
        EXPECT_EQ(menu->getCurrentItem(), item) << value;
    }
    // Pressed it opens with the current item in place; released off the items it chooses none.
    press(f, 60, 102);
    EXPECT_EQ(menu->getPoppedRect(), CRect(50, 100 - 4 * h, 110, 100 + h));
    EXPECT_EQ(f.getModalView(), menu);
    release(f, 60, 102);
    EXPECT_TRUE(l.changes.empty());
    // Near the top of the frame the popped list is pushed down to stay inside.
    menu->setViewSize(CRect(50, 5, 110, 5 + h));
    menu->pop();
    EXPECT_EQ(menu->getPoppedRect().top, 0);
    Image img(f); // draws the popped list without trouble
    menu->unPop();
}

// On the integer part 1 per pixel, on the decimal digit ten times finer; clipped below 0.
TEST_F(Fonts, NumberDisplayStepsFinerOnDecimals) {
    CRirezariResource* font = new CRirezariResource(20001);
    CFrame f(CRect(0, 0, 200, 200));
    auto* num = new CZUNumerical(CRect(10, 10, 60, 24), nullptr, 5, font, 3, 1, true);
    font->forget();
    f.addView(num);
    num->setMax(100);
    num->setValue(12.3f);
    num->setSuffixString(" ms");
    cairo_surface_destroy(f.drawToImage());
    EXPECT_STREQ(num->getValueString(), "12.3 ms");
    const CCoord onDecimal = 10 + font->getStringWidth("12.") + 1;
    for (auto [x, toX, toY, value] : {std::tuple{11.0, 11.0, 10.0, 17.3f},
                                      {onDecimal, onDecimal + 5, 15.0, 12.8f},
                                      {11.0, 11.0, 150.0, 0.f}}) {
        num->setValue(12.3f);
        press(f, x, 15);
        move(f, toX, toY);
        release(f, toX, toY);
        EXPECT_NEAR(num->getValue(), value, 1e-4) << x;
    }
}

TEST(EGControl, HandlesTagsAndValues) {
    Graph g;
    ASSERT_EQ(g.eg->getNumHandles(), 3);
    EXPECT_EQ(g.eg->getTagSet(), (std::set<int>{kAttack, kAttackCurve, kDecay, kDecayCurve}));
    EXPECT_EQ(g.handle(0), CRect(0, 85, 6, 91)) << "start: bottom left";
    EXPECT_EQ(g.eg->getHandleFromTag(kDecayCurve), g.eg->getHandle(1));
    EXPECT_EQ(g.eg->getHandleFromTag(-1), nullptr);
    // The attack takes at most a sixth of the width; the decay starts at the peak.
    g.eg->setValue(kAttack, 1.f);
    EXPECT_DOUBLE_EQ(g.handle(1).right, 153.0 / 6);
    g.eg->setValue(kDecay, 0.f);
    EXPECT_DOUBLE_EQ(g.handle(2).left, (g.handle(1).left + g.handle(1).right) / 2 + 1);
    g.eg->setValue(kDecay, 1.f);
    EXPECT_DOUBLE_EQ(g.handle(2).right, 153);
    EXPECT_FLOAT_EQ(g.eg->getValue(kDecay), 1.f);
    // Curvature values map to 1 - 2 v; curvature tags read as 0.
    for (auto [value, curvature] : {std::pair{0.5f, 0.f}, {0.f, 1.f}, {1.f, -1.f}}) {
        g.eg->setValue(kAttackCurve, value);
        EXPECT_FLOAT_EQ(g.curvature(0), curvature);
    }
    EXPECT_EQ(g.eg->getValue(kAttackCurve), 0.f);
}

TEST(EGControl, PressPicksTheSegmentAndDragsCurvatureOrTime) {
    Graph g;
    g.eg->setValue(kAttack, 1.f); // peak right edge at 25.5
    g.eg->setValue(kDecay, 0.5f);
    g.eg->setValue(kAttackCurve, 0.5f);
    const CRect end = g.handle(2);
    for (auto [x, handle] :
         {std::pair{10.0, 0L}, {25.0, 0L}, {26.0, 1L}, {end.right - 1, 1L}, {end.right + 1, 2L}})
        EXPECT_EQ(g.eg->segmentStartAt(CPoint(x, 60)), g.eg->getHandle(handle)) << x;

    press(g.frame, 10, 30);
    EXPECT_TRUE(g.eg->isCurvatureDrag());
    move(g.frame, 10, 80);  // +50 pixels: +0.5
    move(g.frame, 10, 140); // would reach 1.1: ignored
    move(g.frame, 11, 141); // horizontal not smaller than vertical: counts (+0.01 -> 0.51)
    move(g.frame, 20, 142); // mostly horizontal: ignored
    move(g.frame, 20, 62);  // -80 pixels: -0.29
    release(g.frame, 20, 62);
    ASSERT_EQ(g.l.tagChanges.size(), 3u);
    EXPECT_EQ(g.l.tagChanges[0].first, kAttackCurve);
    EXPECT_NEAR(g.l.tagChanges[0].second, 0.25f, 1e-5);
    EXPECT_NEAR(g.l.tagChanges[1].second, (1 - 0.51f) / 2, 1e-5);
    EXPECT_NEAR(g.l.tagChanges[2].second, (1 + 0.29f) / 2, 1e-5);
    EXPECT_NEAR(g.curvature(0), -0.29f, 1e-5) << "stored at once";
    EXPECT_EQ(g.editor.begins, std::vector<long>{kAttackCurve});
    EXPECT_EQ(g.editor.ends, std::vector<long>{kAttackCurve});

    // Right of the end handle: the end handle has no curvature tag, nothing is reported.
    g.l.clear();
    press(g.frame, end.right + 1, 30);
    move(g.frame, end.right + 1, 60);
    release(g.frame, end.right + 1, 60);
    EXPECT_TRUE(g.l.tagChanges.empty());

    // A handle drag reports the time; the handle moves when the value comes back.
    const CRect peak = g.handle(1); // x 19.5..25.5, bounds 0..25.5
    const CPoint grab((peak.left + peak.right) / 2, (peak.top + peak.bottom) / 2);
    press(g.frame, grab.x, grab.y);
    EXPECT_TRUE(!g.eg->isCurvatureDrag() && g.eg->getDraggedHandle() == g.eg->getHandle(1));
    move(g.frame, grab.x - 9.75, grab.y + 30); // half-way; vertical has no tag
    move(g.frame, grab.x + 50, grab.y);        // clipped to 1.0, the value it already has
    release(g.frame, grab.x + 50, grab.y);
    ASSERT_EQ(g.l.tagChanges.size(), 1u);
    EXPECT_EQ(g.l.tagChanges[0].first, kAttack);
    EXPECT_NEAR(g.l.tagChanges[0].second, 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(g.eg->getValue(kAttack), 1.f);
}

TEST(HighlightFrame, FindsControlsByEveryTagAndOutlinesThePupil) {
    CHighlightFrame f(CRect(0, 0, 400, 100));
    auto* row = new CZUVMultibutton(CRect(0, 50, 320, 63), nullptr, 267 + 32, 32);
    auto* knob = new CControl(CRect(10, 10, 30, 30), nullptr, 118);
    EXPECT_TRUE(f.addView(static_cast<CControl*>(row)) && f.addView(knob)); // by all their tags
    EXPECT_EQ(f.getControlFromID(267 + 32 + 31), row) << "a step found by its own tag";
    EXPECT_EQ(f.getControlFromID(267 + 32 + 32), nullptr);
    EXPECT_EQ(getControlByTag(&f, 118), knob);
    EXPECT_EQ(getControlByTag(nullptr, 5), nullptr);
    EXPECT_FALSE(f.addView((CView*)nullptr, 710));

    const CColor green = MakeCColor(0, 176, 100);
    f.setHighlightColor(0, 176, 100, 255);
    f.setHighlightControl(118, true);
    EXPECT_EQ(f.getPupilControl(), knob);
    EXPECT_TRUE(near(Image(f).at(10, 10), green)) << "outlined";
    f.setHighlightControl(4242, true); // nobody shows this tag
    EXPECT_EQ(f.getPupilControl(), nullptr);
    EXPECT_TRUE(f.needsRedraw());
    EXPECT_FALSE(near(Image(f).at(10, 10), green)) << "outline gone";
    f.setHighlightControl(118, true);
    f.setHighlightControl(118, false);
    EXPECT_EQ(f.getPupilControl(), nullptr);

    // Removing the pupil leaves no dangling outline or index entry.
    f.setHighlightControl(118, true);
    f.removeView(knob);
    EXPECT_EQ(f.getPupilControl(), nullptr);
    EXPECT_EQ(f.getControlFromID(118), nullptr);
    cairo_surface_destroy(f.drawToImage());
}

TEST(Multislider, StepAndValueUnderThePointer) {
    CZUVMultislider s(CRect(0, 50, 320, 150), nullptr, 100, 32);
    for (auto [x, y, step] : {std::tuple{95.0, 60.0, 9}, {330.0, 60.0, -1}, {10.0, 150.0, -1}}) {
        CPoint p(x, y);
        EXPECT_EQ(s.pointInSlider(p), step) << x << " " << y;
    }
    // Nub height 9 (slider width - 1): margin 5.5; values grow upwards.
    for (auto [y, value] : {std::pair{55.5, 1.f}, {144.5, 0.f}, {100.0, 0.5f}, {10.0, 1.f}})
        EXPECT_FLOAT_EQ(s.pointToValue(0, CPoint(5, y)), value) << y;
    s.setNubSize(9, 1); // the value row's thin nub: margin 1.5
    EXPECT_FLOAT_EQ(s.pointToValue(0, CPoint(5, 51.5)), 1.f);
}

TEST(Multislider, IndexAndTagAccessIgnoreOutOfRange) {
    CZUVMultislider s(CRect(0, 0, 320, 100), nullptr, 652, 32);
    s.setValue((short)31, 0.7f);
    s.setValue((short)32, 0.9f);
    s.setValue((short)-1, 0.9f);
    s.setValue(652 + 4, 0.25f); // by tag
    s.setValue(652 + 32, 0.25f);
    EXPECT_FLOAT_EQ(s.getValue((short)31), 0.7f);
    EXPECT_FLOAT_EQ(s.getValue(656), 0.25f);
    EXPECT_EQ(s.getValue((short)32) + s.getValue(652 + 32) + s.getValue((short)-1), 0.f);
    EXPECT_EQ(s.getTagSet().size(), 32u);
    EXPECT_TRUE(s.hasTag(683) && !s.hasTag(684) && !s.hasTag(651));
    s.enableSliders(16);
    EXPECT_TRUE(!s.getSliderDisabled(15) && s.getSliderDisabled(16));
    s.highlightOneSlider(3);
    s.highlightOneSlider(5);
    s.highlightOneSlider(32); // ignored
    EXPECT_TRUE(!s.getSliderHighlighted(3) && s.getSliderHighlighted(5));
}

TEST(Multislider, DragPaintsValuesByTagAndSkipsDisabledSteps) {
    Row r;
    auto* s = new CZUVMultislider(CRect(0, 50, 320, 150), &r.l, 652, 32);
    r.frame.addView(s);
    s->enableSliders(3);
    s->setValue((short)2, 0.3f);
    press(r.frame, 5, 100);
    move(r.frame, 15, 55.5);
    move(r.frame, 25, 144.5);
    move(r.frame, 35, 100);  // disabled: nothing
    move(r.frame, 500, 100); // outside: nothing
    move(r.frame, 15, 55.5); // unchanged value: nothing
    release(r.frame, 15, 55.5);
    EXPECT_EQ(r.l.tagChanges, (Changes{{652, 0.5f}, {653, 1.f}, {654, 0.f}}));
    EXPECT_EQ(r.l.ends.size(), 1u);
    EXPECT_TRUE(r.l.changes.empty()) << "multi-value controls report by tag only";
}

TEST(Multibutton, PressFlipsAndTheDragPaintsThatValue) {
    Row r;
    auto* b = new CZUVMultibutton(CRect(0, 0, 320, 20), &r.l, 267, 32);
    r.frame.addView(b);
    b->setValue((short)2, true);
    press(r.frame, 5, 10); // step 0 off -> on: paint "on"
    move(r.frame, 15, 10);
    move(r.frame, 25, 10); // already on: no report
    move(r.frame, 35, 10);
    release(r.frame, 35, 10);
    EXPECT_EQ(r.l.tagChanges, (Changes{{267, 1.f}, {268, 1.f}, {270, 1.f}}));

    r.l.clear();
    press(r.frame, 15, 10); // on -> off: paint "off"
    move(r.frame, 5, 10);
    move(r.frame, 5, 40); // left the control
    release(r.frame, 5, 40);
    EXPECT_EQ(r.l.tagChanges, (Changes{{268, 0.f}, {267, 0.f}}));

    // A disabled step neither flips nor sets the paint value.
    b->enableSliders(16);
    r.l.clear();
    press(r.frame, 205, 10);
    move(r.frame, 155, 10); // enabled step 15: painted with the previous paint value, off
    release(r.frame, 155, 10);
    EXPECT_EQ(b->getValue((short)20), 0.f);
    EXPECT_EQ(r.l.tagChanges, (Changes{}));
}
