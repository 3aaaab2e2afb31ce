// Multi-slider and multi-button: the step under the pointer, per-step storage by index and by
// tag, and the paint gestures.
#include "CZUVMultislider.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

using namespace guitest;

namespace {
using Changes = std::vector<std::pair<long, float>>;
// 32 columns of 10 pixels in a frame.
struct Row {
    CFrame frame{CRect(0, 0, 400, 200)};
    ZUListener l;
};
} // namespace

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
    EXPECT_FALSE(s.getSliderDisabled(15));
    EXPECT_TRUE(s.getSliderDisabled(16));
    s.highlightOneSlider(3);
    s.highlightOneSlider(5);
    s.highlightOneSlider(32); // ignored
    EXPECT_FALSE(s.getSliderHighlighted(3));
    EXPECT_TRUE(s.getSliderHighlighted(5));
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
    EXPECT_TRUE(r.l.controlChanges.empty()) << "multi-value controls report by tag only";
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
