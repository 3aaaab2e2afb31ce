// Brakka's own controls: step rows, pattern selector, play button and velocity read-out.
#include "../zu_gui/zu_test_util.h"
#include "BrakkaResources.h"
#include "CZUBrakkaControls.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace guitest;

namespace {

const CColor kBack = MakeCColor(40, 40, 40);

// A frame over an opaque background of one colour.
struct Panel {
    CFrame frame;
    ZUListener l;
    Panel() : frame(CRect(0, 0, 400, 200)) {
        CBitmap* bg = new CBitmap(400, 200);
        cairo_t* cr = cairo_create(bg->getSurface());
        cairo_set_source_rgb(cr, kBack.red / 255.0, kBack.green / 255.0, kBack.blue / 255.0);
        cairo_paint(cr);
        cairo_destroy(cr);
        frame.setBackground(bg);
        bg->forget();
    }
};

// The colour c painted over an opaque colour under.
CColor over(const CColor& c, const CColor& under) {
    auto mix = [&](int a, int b) {
        return (unsigned char)std::lround(b + (a - b) * c.alpha / 255.0);
    };
    return MakeCColor(mix(c.red, under.red), mix(c.green, under.green), mix(c.blue, under.blue));
}

} // namespace

TEST(NoteRow, DrawsSetStepsThePlayingStepAndStepsPastTheLength) {
    Panel p;
    auto* row = new CZUBrakkaMultiButton(CRect(0, 0, 320, 12), &p.l, 267);
    p.frame.addView(row);
    std::vector<unsigned char> bytes(32, 0);
    bytes[1] = bytes[20] = 255;
    bytes[4] = 1;
    row->setAllValues(bytes);
    std::vector<unsigned char> want(32, 0);
    want[1] = want[4] = want[20] = 1;
    EXPECT_EQ(row->getAllValues(), want);
    row->enableSliders(16);
    row->highlightOneSlider(2);
    Image img(p.frame);
    EXPECT_TRUE(near(img.at(15, 6), over(color_on, kBack))) << "step 1 on";
    EXPECT_TRUE(near(img.at(25, 6), over(color_currentStep, kBack))) << "playing step";
    EXPECT_TRUE(near(img.at(35, 6), kBack)) << "step 3 off";
    EXPECT_TRUE(near(img.at(205, 6), over(color_disabledStep, kBack))) << "set but disabled";
}

TEST(ValueRow, BarsRunFromTheMiddleAndTheNeutralValueDrawsNothing) {
    Panel p;
    auto* row = new CZUBrakkaMultiSlider(CRect(0, 0, 320, 101), &p.l, 652);
    p.frame.addView(row);
    std::vector<float> values(32, 0.5f);
    values[1] = 1.f;
    values[2] = 0.f;
    row->setAllValues(values);
    EXPECT_EQ(row->getAllValues(), values);
    const CColor bar = over(color_modSlider, kBack);
    // (x, y, bar drawn there): 0.5 nowhere, 1.0 up from the middle, 0.0 down from it.
    auto check = [&](std::initializer_list<std::tuple<int, int, int>> points) {
        Image img(p.frame);
        for (auto [x, y, drawn] : points)
            EXPECT_TRUE(near(img.at(x, y), drawn ? bar : kBack)) << x << " " << y;
    };
    check(
        {{35, 2, 0}, {35, 50, 0}, {35, 98, 0}, {15, 10, 1}, {15, 60, 0}, {25, 90, 1}, {25, 40, 0}});
    row->setDrawStyle(kZUMultisliderUnipolar); // from the bottom
    check({{35, 80, 1}, {35, 30, 0}});

    press(p.frame, 35, 1.5); // the thin nub: top margin 1.5 pixels
    release(p.frame, 35, 1.5);
    EXPECT_EQ(p.l.tagChanges, (std::vector<std::pair<long, float>>{{655L, 1.f}}));
}

TEST(PatternSelector, ChosenPatternIsPendingUntilCompleted) {
    Panel p;
    auto* sel = new CZUBrakkaPatternSelector(CRect(0, 0, 160, 10), &p.l, 114);
    p.frame.addView(sel);
    sel->setValue(0);
    sel->completePendingChange();
    click(p.frame, 55, 5); // cell 5
    ASSERT_EQ(p.l.changes.size(), 1u);
    EXPECT_EQ(p.l.changes[0].first, 114);
    EXPECT_FLOAT_EQ(p.l.changes[0].second, 5.f / 15.f);
    EXPECT_TRUE(sel->isPending());
    {
        Image img(p.frame);
        EXPECT_TRUE(near(img.at(55, 5), over(kPendingColor, kBack))) << "new cell pending";
        EXPECT_TRUE(near(img.at(5, 5), kSelectionColor)) << "playing cell stays orange";
    }
    sel->setValue(7.f / 15.f); // another choice before the switch: still from pattern 0
    EXPECT_FLOAT_EQ(sel->getPreviousValue(), 0.f);
    sel->setValue(5);
    sel->completePendingChange();
    EXPECT_TRUE(near(Image(p.frame).at(55, 5), kSelectionColor));
    sel->setValue(-1.f);
    EXPECT_EQ(sel->getValue(), 0.f) << "clipped";
    sel->setValue(15);
    p.l.clear();
    click(p.frame, 159, 5);
    EXPECT_TRUE(p.l.changes.empty()) << "pattern 15 already chosen";
}

TEST(PlayButton, ShowsThePressAndReportsAStart) {
    Panel p;
    auto* play = new CZUBrakkaPlayButton(CRect(0, 0, 20, 20), &p.l, 109, 20);
    p.frame.addView(play);
    press(p.frame, 10, 10);
    EXPECT_EQ(play->getValue(), 1.f);
    move(p.frame, 100, 100);
    EXPECT_EQ(play->getValue(), 0.f) << "outside: the old state";
    move(p.frame, 10, 10);
    release(p.frame, 10, 10);
    EXPECT_EQ(play->getValue(), 1.f);
    press(p.frame, 10, 10); // already on: shown dimmed while pressed, no change reported
    EXPECT_EQ(play->getValue(), 0.25f);
    release(p.frame, 10, 10);
    EXPECT_EQ(play->getValue(), 1.f);
    EXPECT_EQ(p.l.changes, (std::vector<std::pair<long, float>>{{109, 1.f}}));
}

TEST(VelocityReadout, ShowsSEQAtZeroAndTheNumberOtherwise) {
    setResourceLookup(brakkaFindResource, brakkaResourceInfo);
    CRirezariResource* font = new CRirezariResource(20001);
    Panel p;
    auto* vel = new CZUBrakkaVelocityNumerical(CRect(0, 0, 40, 16), &p.l, 214, font);
    font->forget();
    p.frame.addView(vel);
    vel->setMax(127);
    for (auto [value, text] : {std::pair{0, "SEQ"}, {64, " 64"}}) {
        vel->setValue(value);
        Image img(p.frame); // the text is made as it is drawn
        EXPECT_STREQ(vel->getValueString(), text);
    }
    setResourceLookup(nullptr, nullptr);
}
