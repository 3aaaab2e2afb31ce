// Bitmap fonts, momentary button, number display and pop-up menu.
#include "BrakkaResources.h"
#include "CMomentaryButton.h"
#include "CRirezariResource.h"
#include "CZUNumerical.h"
#include "CZUVPopupMenu.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace guitest;

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

} // namespace

TEST_F(Fonts, BothEditorFontsLoadWithTheirMetricsAndSharpGlyphs) {
    for (long n : {20000L, 20001L}) {
        CRirezariResource font(n);
        ASSERT_TRUE(font.isLoaded()) << n;
        EXPECT_TRUE(font.getCharacterBitmap()->hasHighResolution()) << n;
        EXPECT_GE(font.getMaxCharacterHeight(), 10);
        EXPECT_LE(font.getMaxCharacterHeight(), 18);
        EXPECT_EQ(font.getCharacterInfo('\x01'), nullptr);
        const long wA = font.getAdvance('A'), wB = font.getAdvance('B');
        EXPECT_GT(wA, 3);
        EXPECT_EQ(font.getStringWidth("AB"), wA + wB);
        EXPECT_EQ(font.getStringWidth("A\x01"), wA) << "unknown characters take no room";
    }
}

TEST_F(Fonts, MissingOrBrokenFontsAreHarmless) {
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
    EXPECT_EQ(bad.getAdvance('x'), 5);
    EXPECT_EQ(bad.getMaxCharacterHeight(), 9);
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
    EXPECT_EQ(l.controlChanges, (std::vector<std::pair<long, float>>{{691, 1.f}, {691, 0.f}}));
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
    EXPECT_TRUE(l.controlChanges.empty());

    // Near the top of the frame the popped list is pushed down to stay inside.
    menu->setViewSize(CRect(50, 5, 110, 5 + h));
    menu->setValue(1.f);
    menu->pop();
    EXPECT_EQ(menu->getPoppedRect().top, 0);
    Image img(f); // draws the popped list without trouble
    menu->unPop();
}

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
    // On the integer part 1 per pixel, on the decimal digit ten times finer; clipped below 0.
    const CCoord onDecimal = 10 + font->getStringWidth("12.") + 1;
    struct Case {
        CCoord x, toX, toY;
        float value;
    };
    for (const Case& c : {Case{11, 11, 10, 17.3f}, Case{onDecimal, onDecimal + 5, 15, 12.8f},
                          Case{11, 11, 150, 0}}) {
        num->setValue(12.3f);
        press(f, c.x, 15);
        move(f, c.toX, c.toY);
        release(f, c.toX, c.toY);
        EXPECT_NEAR(num->getValue(), c.value, 1e-4) << c.x;
    }
}
