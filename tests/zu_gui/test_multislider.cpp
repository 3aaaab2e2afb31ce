// Multi-slider and multi-button: geometry, per-index storage and the paint gestures.
#include "CZUVMultislider.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

using namespace guitest;

namespace {
// 32 columns of 10 pixels, 100 pixels high, base tag 267.
struct Row {
    CFrame frame{CRect(0, 0, 400, 200)};
    ZUListener l;
};
} // namespace

TEST(Multislider, GeometryAndValueFromPosition) {
    Row r;
    auto* s = new CZUVMultislider(CRect(0, 50, 320, 150), &r.l, 100, 32);
    r.frame.addView(s);
    CPoint inside(95, 60), outside(330, 60), below(10, 150);
    EXPECT_EQ(s->pointInSlider(inside), 9);
    EXPECT_EQ(s->pointInSlider(outside), -1);
    EXPECT_EQ((unsigned short)s->pointInSlider(below), 65535) << "-1 as an unsigned 16-bit";
    EXPECT_EQ(s->calculateSliderBounds(3), CRect(30, 50, 40, 150));
    // Nub height 9 (slider width - 1): margin 5.5; values grow upwards.
    EXPECT_FLOAT_EQ(s->pointToValue(0, CPoint(5, 55.5)), 1.f);
    EXPECT_FLOAT_EQ(s->pointToValue(0, CPoint(5, 144.5)), 0.f);
    EXPECT_FLOAT_EQ(s->pointToValue(0, CPoint(5, 100)), 0.5f);
    EXPECT_FLOAT_EQ(s->pointToValue(0, CPoint(5, 10)), 1.f) << "clipped";
    s->setNubSize(9, 1); // the value row's thin nub: margin 1.5
    EXPECT_FLOAT_EQ(s->pointToValue(0, CPoint(5, 51.5)), 1.f);
}

TEST(Multislider, IndexAndTagAccessIgnoreOutOfRange) {
    CZUVMultislider s(CRect(0, 0, 320, 100), nullptr, 652, 32);
    s.setValue((short)31, 0.7f);
    s.setValue((short)32, 0.9f);
    s.setValue((short)-1, 0.9f);
    EXPECT_FLOAT_EQ(s.getValue((short)31), 0.7f);
    EXPECT_EQ(s.getValue((short)32), 0.f);
    s.setValue(652 + 4, 0.25f); // by tag
    EXPECT_FLOAT_EQ(s.getValue((short)4), 0.25f);
    EXPECT_FLOAT_EQ(s.getValue(656), 0.25f);
    EXPECT_EQ(s.getValue(652 + 32), 0.f);
    EXPECT_TRUE(s.hasTag(683));
    EXPECT_FALSE(s.hasTag(684));
    EXPECT_FALSE(s.hasTag(651));
    std::set<int> tags = s.getTagSet();
    EXPECT_EQ(tags.size(), 32u);
    EXPECT_EQ(*tags.begin(), 652);
    EXPECT_EQ(*tags.rbegin(), 683);
    s.setValue(0.5f);
    for (short i = 0; i < 32; ++i)
        EXPECT_FLOAT_EQ(s.getValue(i), 0.5f);

    s.setSliderDisabled(40, true);
    EXPECT_FALSE(s.getSliderDisabled(40));
    s.enableSliders(16);
    EXPECT_FALSE(s.getSliderDisabled(15));
    EXPECT_TRUE(s.getSliderDisabled(16));
    EXPECT_TRUE(s.getSliderDisabled(31));
    s.highlightOneSlider(3);
    s.highlightOneSlider(5);
    EXPECT_FALSE(s.getSliderHighlighted(3));
    EXPECT_TRUE(s.getSliderHighlighted(5));
    s.highlightOneSlider(32); // ignored
    EXPECT_TRUE(s.getSliderHighlighted(5));
    EXPECT_FALSE(s.getSliderHighlighted(32));

    CZUControl plain(CRect(0, 0, 1, 1), nullptr, 0);
    EXPECT_FALSE(plain.hasTag(0)) << "tag 0 never matches";
}

TEST(Multislider, DragPaintsValuesAndStopsAtTheEdge) {
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
    std::vector<std::pair<long, float>> want{{652, 0.5f}, {653, 1.f}, {654, 0.f}};
    EXPECT_EQ(r.l.tagChanges, want);
    EXPECT_EQ(r.l.begins.size(), 1u);
    EXPECT_EQ(r.l.ends.size(), 1u);
    EXPECT_FLOAT_EQ(s->getValue((short)1), 1.f);
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
    std::vector<std::pair<long, float>> want{{267, 1.f}, {268, 1.f}, {270, 1.f}};
    EXPECT_EQ(r.l.tagChanges, want);

    r.l.clear();
    press(r.frame, 15, 10); // on -> off: paint "off"
    move(r.frame, 5, 10);
    move(r.frame, 5, 40); // left the control
    release(r.frame, 5, 40);
    want = {{268, 0.f}, {267, 0.f}};
    EXPECT_EQ(r.l.tagChanges, want);
}

TEST(Multibutton, DisabledStepsNeitherFlipNorSetThePaintValue) {
    Row r;
    auto* b = new CZUVMultibutton(CRect(0, 0, 320, 20), &r.l, 267, 32);
    r.frame.addView(b);
    click(r.frame, 5, 10); // paint value becomes 1
    b->setValue((short)0, false);
    b->enableSliders(16);
    r.l.clear();
    press(r.frame, 205, 10); // step 20: disabled
    EXPECT_EQ(b->getValue((short)20), 0.f);
    EXPECT_EQ(b->getPaintValue(), 1.f);
    move(r.frame, 155, 10); // enabled step 15: painted with the previous paint value
    release(r.frame, 155, 10);
    std::vector<std::pair<long, float>> want{{282, 1.f}};
    EXPECT_EQ(r.l.tagChanges, want);

    b->setSliderValue(3, 0.6f);
    EXPECT_EQ(b->getValue((short)3), 1.f);
    b->setSliderValue(3, 0.5f);
    EXPECT_EQ(b->getValue((short)3), 0.f);
}
