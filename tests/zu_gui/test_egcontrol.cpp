// Envelope controls: handle geometry, values by tag, drags of handles and of curvature, and
// the drawn curve following the envelope law.
#include "CEGControl.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace guitest;

namespace {

const CColor kMarker = MakeCColor(156, 168, 170, 71);
const CColor kBack = MakeCColor(76, 90, 101, 255);
const CColor kCurve = MakeCColor(156, 168, 170, 255);
enum { kAttack = 10, kAttackCurve = 11, kDecay = 12, kDecayCurve = 13 };

struct Graph {
    EditorSpy editor;
    CFrame frame{CRect(0, 0, 200, 120), &editor};
    ZUListener l;
    CEGARControl* eg;
    Graph() {
        eg = new CEGARControl(CRect(0, 0, 153, 93), &l, kAttack, kAttackCurve, -1, kDecay,
                              kDecayCurve, kMarker, kBack, kBack, kCurve, kWhiteCColor, kBack,
                              false);
        frame.addView(eg);
    }
    CRect handle(long i) const { return eg->getHandleLocation(eg->getHandle(i)); }
};

int maxDiff(const CColor& a, const CColor& b) {
    return std::max(
        {std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

} // namespace

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
    auto* start = static_cast<CEGControl::CEGControlHandle*>(g.eg->getHandle(0));
    for (auto [value, curvature] : {std::pair{0.5f, 0.f}, {0.f, 1.f}, {1.f, -1.f}}) {
        g.eg->setValue(kAttackCurve, value);
        EXPECT_FLOAT_EQ(start->getCurvature(), curvature);
    }
    EXPECT_EQ(g.eg->getValue(kAttackCurve), 0.f);
}

TEST(EGControl, PressPicksTheSegmentAndCurvatureDragStaysInRange) {
    Graph g;
    g.eg->setValue(kAttack, 1.f); // peak right edge at 25.5
    g.eg->setValue(kDecay, 0.5f);
    g.eg->setValue(kAttackCurve, 0.5f);
    g.eg->setValue(kDecayCurve, 0.5f);
    CRect end = g.handle(2);

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
    auto* start = static_cast<CEGControl::CEGControlHandle*>(g.eg->getHandle(0));
    EXPECT_NEAR(start->getCurvature(), -0.29f, 1e-5) << "stored at once";
    EXPECT_EQ(g.editor.begins, std::vector<long>{kAttackCurve});
    EXPECT_EQ(g.editor.ends, std::vector<long>{kAttackCurve});

    // Right of the end handle: the end handle has no curvature tag, nothing is reported.
    g.l.clear();
    press(g.frame, end.right + 1, 30);
    move(g.frame, end.right + 1, 60);
    release(g.frame, end.right + 1, 60);
    EXPECT_TRUE(g.l.tagChanges.empty());
}

TEST(EGControl, HandleDragReportsTimesButDoesNotMoveByItself) {
    Graph g;
    g.eg->setValue(kAttack, 1.f); // peak at x 19.5..25.5, bounds 0..25.5
    CRect peak = g.handle(1);
    CPoint grab((peak.left + peak.right) / 2, (peak.top + peak.bottom) / 2);
    press(g.frame, grab.x, grab.y);
    EXPECT_FALSE(g.eg->isCurvatureDrag());
    EXPECT_EQ(g.eg->getDraggedHandle(), g.eg->getHandle(1));
    move(g.frame, grab.x - 9.75, grab.y + 30); // half-way; vertical has no tag
    move(g.frame, grab.x + 50, grab.y);        // clipped to 1.0, the value it already has
    release(g.frame, grab.x + 50, grab.y);
    ASSERT_EQ(g.l.tagChanges.size(), 1u);
    EXPECT_EQ(g.l.tagChanges[0].first, kAttack);
    EXPECT_NEAR(g.l.tagChanges[0].second, 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(g.eg->getValue(kAttack), 1.f) << "moves when the value comes back";
    EXPECT_EQ(g.editor.ends, std::vector<long>{kAttack});
}

TEST(EGControl, DrawnDecayFollowsTheEnvelopeLaw) {
    Graph g;
    g.eg->setValue(kAttack, 1.f);
    g.eg->setValue(kDecay, 1.f);
    const float natural = -0.5f; // a percussive decay
    g.eg->setValue(kDecayCurve, (natural + 1) / 2);
    Image img(g.frame);

    CRect peak = g.handle(1), end = g.handle(2);
    double x0 = std::round((peak.left + peak.right) / 2),
           y0 = std::round((peak.top + peak.bottom) / 2);
    double xB = std::round((end.left + end.right) / 2), yB = std::round((end.top + end.bottom) / 2);
    double dy = yB - y0;
    for (int k : {7, 15, 33, 55, 77, 98}) {
        int x = (int)x0 + k;
        // A falling segment of the envelope with curvature n: 1 - (1 - t)^(10^-n) of the way.
        float t = (float)((k + 2) / (xB - x0));
        double shape = 1 - powf(1 - t, powf(10.f, -natural));
        double want = y0 + shape * dy;
        int top = -1;
        for (int y = (int)y0 + 4; y < 91; ++y)
            if (maxDiff(img.at(x, y), kBack) > 40) {
                top = y;
                break;
            }
        EXPECT_NEAR(top, want, 2.0) << "column " << x;
    }
}
