// The highlight frame: the tag index, the outline of the pupil control and clean-up.
#include "CHighlightFrame.h"
#include "CZUVMultislider.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

using namespace guitest;

TEST(HighlightFrame, FindsControlsByEveryTagAndOutlinesThePupil) {
    CHighlightFrame f(CRect(0, 0, 400, 100));
    auto* row = new CZUVMultibutton(CRect(0, 50, 320, 63), nullptr, 267 + 32, 32);
    auto* knob = new CControl(CRect(10, 10, 30, 30), nullptr, 118);
    EXPECT_TRUE(f.addView(static_cast<CControl*>(row))); // still indexed under all its tags
    EXPECT_TRUE(f.addView(knob));
    EXPECT_EQ(f.getControlFromID(267 + 32 + 31), row) << "a step found by its own tag";
    EXPECT_EQ(f.getControlFromID(267 + 32 + 32), nullptr);
    EXPECT_EQ(getControlByTag(&f, 118), knob);
    EXPECT_EQ(getControlByTag(nullptr, 5), nullptr);
    EXPECT_FALSE(f.addView((CView*)nullptr, 710));

    const CColor green = MakeCColor(0, 176, 100);
    f.setHighlightColor(0, 176, 100, 255);
    f.setHighlightControl(118, true);
    EXPECT_EQ(f.getPupilControl(), knob);
    {
        Image img(f);
        EXPECT_TRUE(near(img.at(10, 10), green));
        EXPECT_TRUE(near(img.at(29, 20), green));
        EXPECT_FALSE(near(img.at(20, 20), green));
    }
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
