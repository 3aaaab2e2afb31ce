// Brakka's own controls: knob pointers, step rows, pattern selector, play button and velocity
// read-out.
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
    explicit Panel(int w = 400, int h = 200, CColor back = kBack) : frame(CRect(0, 0, w, h)) {
        CBitmap* bg = new CBitmap(w, h);
        cairo_t* cr = cairo_create(bg->getSurface());
        cairo_set_source_rgb(cr, back.red / 255.0, back.green / 255.0, back.blue / 255.0);
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

// The kit knob's pointer is a thin radial tick across a 14-pixel circle centred at (30, 30);
// the small knob's a short thick arc 3 pixels inside its rectangle: from lower left at 0 over
// the top to lower right at 1.
TEST(Knobs, PointersPointFromLowerLeftOverTheTopToLowerRight) {
    Panel p(400, 200, kWhiteCColor);
    auto* kit = new CZUKitboxVKnob(CRect(0, 0, 60, 70), nullptr, 1, nullptr, "Tune", kWhiteCColor,
                                   kWhiteCColor);
    auto* small = new CZUBrakkaSmallVKnob(CRect(100, 0, 126, 26), nullptr, 118);
    p.frame.addView(kit);
    p.frame.addView(small);
    struct Case {
        CControl* knob;
        float value;
        int darkX, darkY, clearX, clearY; // a pixel box the pointer covers, one it does not
    };
    for (const Case& c : {Case{kit, 0, 25, 35, 35, 35}, Case{kit, 0.5f, 30, 23, 25, 35},
                          Case{small, 1, 120, 20, 106, 20}, Case{small, 0.5f, 113, 5, 106, 20}}) {
        c.knob->setValue(c.value);
        Image img(p.frame);
        // The darkened pixels in a 7-pixel box around a point.
        auto darkIn = [&](int cx, int cy) {
            int n = 0;
            for (int x = cx - 3; x <= cx + 3; ++x)
                for (int y = cy - 3; y <= cy + 3; ++y)
                    n += img.at(x, y).red < 160;
            return n;
        };
        EXPECT_GE(darkIn(c.darkX, c.darkY), 3) << c.knob->getTag() << " at " << c.value;
        EXPECT_EQ(darkIn(c.clearX, c.clearY), 0) << c.knob->getTag() << " at " << c.value;
    }
}

TEST(NoteRow, DrawsStepsMarkersDisabledCellsAndThePlayingStep) {
    Panel p;
    auto* row = new CZUBrakkaMultiButton(CRect(0, 0, 320, 12), &p.l, 267);
    p.frame.addView(row);
    std::vector<unsigned char> bytes(32, 0);
    bytes[1] = 255;
    bytes[4] = 1;
    bytes[20] = 255;
    row->setAllValues(bytes);
    std::vector<unsigned char> want(32, 0);
    want[1] = want[4] = want[20] = 1;
    EXPECT_EQ(row->getAllValues(), want);
    row->enableSliders(16);
    row->highlightOneSlider(2);

    Image img(p.frame);
    CColor marker = over(color_bkgndHighlight, kBack);
    EXPECT_TRUE(near(img.at(1, 1), marker)) << "beat marker on step 0";
    EXPECT_TRUE(near(img.at(11, 1), kBack)) << "step 1 border outside the inset";
    EXPECT_TRUE(near(img.at(15, 6), over(color_on, kBack))) << "step 1 on";
    EXPECT_TRUE(near(img.at(43, 6), over(color_on, marker))) << "step 4 on, over its marker";
    EXPECT_TRUE(near(img.at(25, 6), over(color_currentStep, kBack))) << "playing step";
    EXPECT_TRUE(near(img.at(29, 6), kBack)) << "one pixel narrower than its cell";
    EXPECT_TRUE(near(img.at(175, 6), over(color_disabledStep, kBack))) << "past the length";
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
    {
        Image img(p.frame);
        CColor bar = over(color_modSlider, kBack);
        for (int y = 0; y < 101; ++y)
            EXPECT_TRUE(near(img.at(35, y), kBack)) << "0.5 at y " << y;
        EXPECT_TRUE(near(img.at(15, 10), bar)) << "1.0 draws upwards";
        EXPECT_TRUE(near(img.at(15, 60), kBack));
        EXPECT_TRUE(near(img.at(25, 90), bar)) << "0.0 draws downwards";
        EXPECT_TRUE(near(img.at(25, 40), kBack));
    }
    row->setDrawStyle(kZUMultisliderUnipolar);
    Image img(p.frame);
    EXPECT_TRUE(near(img.at(35, 80), over(color_modSlider, kBack))) << "unipolar: from the bottom";
    EXPECT_TRUE(near(img.at(35, 30), kBack));

    press(p.frame, 35, 1.5); // the thin nub: top margin 1.5 pixels
    release(p.frame, 35, 1.5);
    ASSERT_EQ(p.l.tagChanges.size(), 1u);
    EXPECT_EQ(p.l.tagChanges[0], std::make_pair(655L, 1.f));
}

TEST(PatternSelector, ChosenPatternIsPendingUntilCompleted) {
    Panel p;
    auto* sel = new CZUBrakkaPatternSelector(CRect(0, 0, 160, 10), &p.l, 114);
    p.frame.addView(sel);
    sel->setValue(0);
    sel->completePendingChange();
    click(p.frame, 55, 5); // cell 5
    ASSERT_EQ(p.l.controlChanges.size(), 1u);
    EXPECT_EQ(p.l.controlChanges[0].first, 114);
    EXPECT_FLOAT_EQ(p.l.controlChanges[0].second, 5.f / 15.f);
    EXPECT_TRUE(sel->isPending());
    {
        Image img(p.frame);
        EXPECT_TRUE(near(img.at(55, 5), over(kPendingColor, kBack))) << "new cell pending";
        EXPECT_TRUE(near(img.at(5, 5), kSelectionColor)) << "playing cell stays orange";
        EXPECT_TRUE(near(img.at(50, 5), kBack)) << "one pixel inside the cell";
    }
    sel->setValue(7.f / 15.f); // another choice before the switch: still from pattern 0
    EXPECT_FLOAT_EQ(sel->getPreviousValue(), 0.f);
    sel->setValue(5);
    sel->completePendingChange();
    {
        Image img(p.frame);
        EXPECT_TRUE(near(img.at(55, 5), kSelectionColor));
        EXPECT_TRUE(near(img.at(5, 5), kBack));
    }
    sel->setValue(-1.f);
    EXPECT_EQ(sel->getValue(), 0.f) << "clipped";
    sel->setValue(15);
    p.l.clear();
    click(p.frame, 159, 5);
    EXPECT_TRUE(p.l.controlChanges.empty()) << "pattern 15 already chosen";
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
    ASSERT_EQ(p.l.controlChanges.size(), 1u);
    EXPECT_EQ(p.l.controlChanges[0], std::make_pair(109L, 1.f));

    press(p.frame, 10, 10); // already on: shown dimmed while pressed, no change reported
    EXPECT_EQ(play->getValue(), 0.25f);
    release(p.frame, 10, 10);
    EXPECT_EQ(play->getValue(), 1.f);
    EXPECT_EQ(p.l.controlChanges.size(), 1u);
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
        Image img(p.frame);
        EXPECT_STREQ(vel->getValueString(), text);
        int ink = 0;
        for (int x = 0; x < 40; ++x)
            for (int y = 0; y < 16; ++y)
                ink += img.at(x, y).red > 150;
        EXPECT_GT(ink, 10) << text;
    }
    setResourceLookup(nullptr, nullptr);
}
