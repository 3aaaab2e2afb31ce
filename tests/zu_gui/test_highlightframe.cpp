// The highlight frame: tag index, outline of the pupil control and clean-up.
#include "CHighlightFrame.h"
#include "CZUVMultislider.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

using namespace guitest;

TEST(HighlightFrame, FindsControlsByEveryTagTheyStandFor) {
    CHighlightFrame f(CRect(0, 0, 400, 100));
    auto* row = new CZUVMultibutton(CRect(0, 0, 320, 13), nullptr, 267 + 32, 32);
    auto* knob = new CKnob(CRect(330, 0, 360, 30), nullptr, 118, nullptr, nullptr);
    CControl* asPlain = row; // still indexed under all its tags
    EXPECT_TRUE(f.addView(asPlain));
    EXPECT_TRUE(f.addView(knob));
    EXPECT_EQ(f.getControlFromID(267 + 32 + 7), row) << "a step found by its own tag";
    EXPECT_EQ(f.getControlFromID(267 + 32 + 31), row);
    EXPECT_EQ(f.getControlFromID(267 + 32 + 32), nullptr);
    EXPECT_EQ(f.getControlFromID(118), knob);
    EXPECT_EQ(getControlByTag(&f, 118), knob);
    EXPECT_EQ(getControlByTag(&f, 267 + 32), row);
    EXPECT_EQ(getControlByTag(&f, 5), nullptr);
    EXPECT_EQ(getControlByTag(nullptr, 5), nullptr);

    CView* label = new CView(CRect(0, 50, 10, 60));
    EXPECT_TRUE(f.addView(label, 708));
    EXPECT_EQ(f.getViewFromID(708), label);
    EXPECT_EQ(f.getViewFromID(709), nullptr);
    EXPECT_FALSE(f.addView((CView*)nullptr, 710));
    EXPECT_FALSE(f.addView((CControl*)nullptr));
    EXPECT_EQ(f.getKnobMode(), kLinearMode);
}

TEST(HighlightFrame, OutlinesThePupilAndClearsForUnknownTags) {
    CHighlightFrame f(CRect(0, 0, 100, 100));
    auto* a = new CControl(CRect(10, 10, 30, 30), nullptr, 118);
    f.addView(a);
    f.setHighlightColor(0, 176, 100, 255);

    f.setHighlightControl(118, true);
    EXPECT_EQ(f.getPupilControl(), a);
    CRect r;
    ASSERT_TRUE(f.getHighlightRect(999, r)) << "the pupil's rectangle whatever the tag";
    EXPECT_EQ(r, CRect(10, 10, 30, 30));
    {
        Image img(f);
        EXPECT_TRUE(near(img.at(10, 10), MakeCColor(0, 176, 100)));
        EXPECT_TRUE(near(img.at(29, 20), MakeCColor(0, 176, 100)));
        EXPECT_FALSE(near(img.at(20, 20), MakeCColor(0, 176, 100)));
    }
    f.setHighlightControl(4242, true); // nobody shows this tag
    EXPECT_EQ(f.getPupilControl(), nullptr);
    EXPECT_FALSE(f.getHighlightRect(118, r));
    EXPECT_TRUE(f.needsRedraw());
    {
        Image img(f);
        EXPECT_FALSE(near(img.at(10, 10), MakeCColor(0, 176, 100))) << "outline gone";
    }
    f.setHighlightControl(118, true);
    f.setHighlightControl(118, false);
    EXPECT_EQ(f.getPupilControl(), nullptr);

    // Removing the pupil leaves no dangling outline or index entry.
    f.setHighlightControl(118, true);
    f.removeView(a);
    EXPECT_EQ(f.getPupilControl(), nullptr);
    EXPECT_EQ(f.getControlFromID(118), nullptr);
    cairo_surface_destroy(f.drawToImage());
}
