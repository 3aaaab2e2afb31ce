// Bitmap font, momentary button, number display, pop-up menu and captions.
#include "BrakkaResources.h"
#include "CCharacterDisplay.h"
#include "CMomentaryButton.h"
#include "CRirezariResource.h"
#include "CZUNumerical.h"
#include "CZUVPopupMenu.h"
#include "zu_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace guitest;

namespace {

class Fonts : public ::testing::Test {
protected:
    void SetUp() override { setResourceLookup(brakkaFindResource, brakkaResourceInfo); }
    void TearDown() override { setResourceLookup(nullptr, nullptr); }
};

// The leftmost and rightmost columns of a region that hold ink (the frame has no background).
std::pair<int, int> inkColumns(const Image& img, CRect r) {
    int lo = -1, hi = -1;
    for (int x = (int)r.left; x < (int)r.right; ++x)
        for (int y = (int)r.top; y < (int)r.bottom; ++y)
            if (img.at(x, y).alpha > 80) {
                if (lo < 0) lo = x;
                hi = x;
                break;
            }
    return {lo, hi};
}

// A metrics table that claims more records than it holds.
std::string gBadTab;
bool badLookup(const char* name, const char* type, const unsigned char** d, size_t* n) {
    if (std::strcmp(name, "Bad") != 0) return false;
    if (std::strcmp(type, "tab") == 0) {
        *d = (const unsigned char*)gBadTab.data();
        *n = gBadTab.size();
        return true;
    }
    return false;
}
const char* badInfo(const char* key) {
    return std::strcmp(key, "RirezariInfo_7") == 0 ? "Bad" : nullptr;
}

} // namespace

TEST_F(Fonts, BothEditorFontsLoadWithTheirMetrics) {
    for (long n : {20000L, 20001L}) {
        CRirezariResource font(n);
        ASSERT_TRUE(font.isLoaded()) << n;
        EXPECT_GE(font.getMaxCharacterHeight(), 10);
        EXPECT_LE(font.getMaxCharacterHeight(), 18);
        const unsigned char* a = font.getCharacterInfo('A');
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a[0], 'A');
        EXPECT_EQ(font.getCharacterInfo('\x01'), nullptr);
        long wA = font.getAdvance('A'), wB = font.getAdvance('B');
        EXPECT_GT(wA, 3);
        EXPECT_EQ(font.getStringWidth("AB"), wA + wB);
        EXPECT_EQ(font.getStringWidth("AB", 1), wA);
        EXPECT_EQ(font.getStringWidth("A\x01"), wA) << "unknown characters take no room";
        EXPECT_EQ(font.characterIndexInString(0, "AB"), 0);
        EXPECT_EQ(font.characterIndexInString(wA - 0.5, "AB"), 0);
        EXPECT_EQ(font.characterIndexInString(wA, "AB"), 1);
        EXPECT_EQ(font.characterIndexInString(wA + wB + 3, "AB"), 2);
    }
    const unsigned char* data;
    size_t size;
    EXPECT_FALSE(brakkaFindResource("BrakkaCaptionFont", "nope", &data, &size));
    EXPECT_EQ(data, nullptr);
    EXPECT_FALSE(brakkaFindResource(nullptr, "png", &data, &size));
    EXPECT_EQ(brakkaResourceInfo(nullptr), nullptr);
}

TEST_F(Fonts, TextIsDrawnInTheGivenColour) {
    CRirezariResource font(20001);
    cairo_surface_t* s = makeImage(60, 20);
    {
        CDrawContext dc(s);
        font.drawText(&dc, CPoint(2, 2), "888", &kRedCColor);
    }
    int red = 0, other = 0;
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 20; ++y) {
            CColor c = pixel(s, x, y);
            if (c.red > 200 && c.green < 30) ++red;
            if (c.green > 60) ++other;
        }
    EXPECT_GT(red, 20);
    EXPECT_EQ(other, 0);
    cairo_surface_destroy(s);
}

// Text drawn at 200 % comes from the double-resolution glyph image and covers the same place
// as at 100 %.
TEST_F(Fonts, ZoomedTextUsesTheSharpGlyphsInTheSamePlace) {
    for (long n : {20000L, 20001L}) {
        CRirezariResource font(n);
        ASSERT_TRUE(font.getCharacterBitmap() && font.getCharacterBitmap()->hasHighResolution())
            << n;
        CRect box[2];
        int finer = 0; // 2x2 blocks that are not one colour: the 1x glyphs scaled up have none
        for (int zoom : {1, 2}) {
            cairo_surface_t* s = makeImage(40 * zoom, 20 * zoom);
            {
                CDrawContext dc(s);
                cairo_scale(dc.getCairo(), zoom, zoom);
                font.drawText(&dc, CPoint(3, 2), "W8g", &kWhiteCColor);
            }
            CRect& b = box[zoom - 1];
            b = CRect(1e9, 1e9, -1, -1);
            for (int x = 0; x < 40 * zoom; ++x)
                for (int y = 0; y < 20 * zoom; ++y) {
                    int v = pixel(s, x, y).red;
                    if (v > 128) {
                        b.left = std::min(b.left, (CCoord)x / zoom);
                        b.top = std::min(b.top, (CCoord)y / zoom);
                        b.right = std::max(b.right, (CCoord)(x + 1) / zoom);
                        b.bottom = std::max(b.bottom, (CCoord)(y + 1) / zoom);
                    }
                    if (zoom == 2 && v > 40 && v < 215) {
                        int x1 = x & ~1, y1 = y & ~1; // a 2x2 block of one 1x pixel
                        finer += pixel(s, x1, y1).red != pixel(s, x1 + 1, y1 + 1).red;
                    }
                }
            cairo_surface_destroy(s);
        }
        EXPECT_NEAR(box[1].left, box[0].left, 1) << n;
        EXPECT_NEAR(box[1].right, box[0].right, 1) << n;
        EXPECT_NEAR(box[1].top, box[0].top, 1) << n;
        EXPECT_NEAR(box[1].bottom, box[0].bottom, 1) << n;
        EXPECT_GT(finer, 10) << n << ": finer detail than the 1x glyphs";
    }
}

TEST_F(Fonts, MissingOrBrokenFontsAreHarmless) {
    CRirezariResource missing(12345);
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.getStringWidth("abc"), 0);
    EXPECT_EQ(missing.getMaxCharacterHeight(), 0);
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
    EXPECT_NE(bad.getCharacterInfo('x'), nullptr);
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
    EXPECT_EQ(b->getValue(), 1.f);
    move(f, 80, 80);
    EXPECT_EQ(b->getValue(), 0.f) << "shown released while outside";
    move(f, 15, 15);
    EXPECT_EQ(b->getValue(), 1.f);
    move(f, 80, 80);
    release(f, 80, 80);
    std::vector<std::pair<long, float>> want{{691, 1.f}, {691, 0.f}};
    EXPECT_EQ(l.controlChanges, want);
    EXPECT_EQ(l.begins.size(), 1u);
    EXPECT_EQ(l.ends.size(), 1u);
}

TEST_F(Fonts, PopupMenuShowsAndChoosesItems) {
    CRirezariResource* font = new CRirezariResource(20001);
    CFrame f(CRect(0, 0, 200, 200));
    ZUListener l;
    auto* menu =
        new CZUVPopupMenu(CRect(50, 100, 110, 100 + font->getMaxCharacterHeight()), &l, 108, font,
                          kTransparentCColor, MakeCColor(60, 60, 60, 240),
                          MakeCColor(60, 60, 60, 240), kBlackCColor, kRedCColor, kRedCColor);
    font->forget(); // the menu keeps its own reference
    f.addView(menu);
    menu->setItemList({"1 x 32", "2 x 16", "1 x 16T", "1 x 16", "1 x 8T"});
    menu->setValue(1.f);
    EXPECT_EQ(menu->getCurrentItem(), 4);
    menu->setValue(0.5f);
    EXPECT_EQ(menu->getCurrentItem(), 2);
    menu->setValue(0.99f);
    EXPECT_EQ(menu->getCurrentItem(), 4);
    menu->setValue(-3.f);
    EXPECT_EQ(menu->getCurrentItem(), 0);
    menu->setValue(1.f);

    CCoord h = menu->getItemHeight();
    press(f, 60, 102);
    ASSERT_TRUE(menu->isPopped());
    EXPECT_EQ(menu->getPoppedRect(), CRect(50, 100 - 4 * h, 110, 100 + h)) << "item 4 in place";
    EXPECT_EQ(f.getModalView(), menu);
    move(f, 60, 100 - 2 * h + h / 2); // middle of item 2's row
    EXPECT_EQ(menu->getCurrentItem(), 2);
    release(f, 60, 100 - 2 * h + h / 2);
    EXPECT_FALSE(menu->isPopped());
    EXPECT_EQ(menu->getViewSize(), CRect(50, 100, 110, 100 + h));
    ASSERT_EQ(l.controlChanges.size(), 1u);
    EXPECT_EQ(l.controlChanges[0], std::make_pair(108L, 0.5f));

    // Open and close again without choosing: nothing reported.
    l.clear();
    click(f, 60, 102);
    EXPECT_TRUE(l.controlChanges.empty());

    // Near the top of the frame the popped list is pushed down to stay inside.
    menu->setViewSize(CRect(50, 5, 110, 5 + h));
    CZUVPopupMenu* top = static_cast<CZUVPopupMenu*>(menu->newCopy());
    f.addView(top);
    top->setValue(1.f);
    top->pop();
    EXPECT_EQ(top->getPoppedRect().top, 0);
    EXPECT_EQ(top->getPoppedRect().height(), 5 * h);
    Image img(f); // draws the popped list without trouble
    top->unPop();
}

TEST_F(Fonts, NumberDisplayFormatsAndStepsFinerOnDecimals) {
    CRirezariResource* font = new CRirezariResource(20001);
    CZUNumerical intLeft(CRect(0, 0, 40, 14), nullptr, 266, font, 3, 0, true);
    EXPECT_STREQ(intLeft.getFormatString(), "%-3d");
    CZUNumerical padded(CRect(0, 0, 40, 14), nullptr, 1, font, 4, 2, false, true);
    EXPECT_STREQ(padded.getFormatString(), "%05.2f");
    padded.setFormatString("%s"); // would read a string that is not there: refused
    EXPECT_STREQ(padded.getFormatString(), "%05.2f");
    padded.setFormatString("%6.3f");
    EXPECT_STREQ(padded.getFormatString(), "%6.3f");

    CFrame f(CRect(0, 0, 200, 200));
    ZUListener l;
    auto* num = new CZUNumerical(CRect(10, 10, 60, 24), &l, 5, font, 3, 1, true);
    font->forget();
    f.addView(num);
    num->setMax(100);
    num->setValue(12.3f);
    num->setSuffixString(" ms");
    cairo_surface_destroy(f.drawToImage());
    EXPECT_STREQ(num->getValueString(), "12.3 ms");

    // On the integer part: 1 per pixel.
    CCoord onInteger = 10 + 1;
    press(f, onInteger, 15);
    EXPECT_FLOAT_EQ(num->getDragStep(), 1.f);
    move(f, onInteger, 10); // 5 up
    release(f, onInteger, 10);
    EXPECT_NEAR(num->getValue(), 17.3f, 1e-4);

    // On the decimal digit: ten times finer.
    num->setValue(12.3f);
    CCoord onDecimal = 10 + font->getStringWidth("12.") + 1;
    press(f, onDecimal, 15);
    EXPECT_FLOAT_EQ(num->getDragStep(), 0.1f);
    move(f, onDecimal + 5, 15); // 5 right
    move(f, onDecimal + 5, 15); // no movement: no change
    release(f, onDecimal + 5, 15);
    EXPECT_NEAR(num->getValue(), 12.8f, 1e-4);

    // Dragging down to below the minimum clips.
    press(f, onInteger, 15);
    move(f, onInteger, 150);
    release(f, onInteger, 150);
    EXPECT_EQ(num->getValue(), 0.f);
    EXPECT_EQ(l.controlChanges.size(), 3u);
}

TEST_F(Fonts, CaptionsAreJustified) {
    CRirezariResource* font = new CRirezariResource(20000);
    CFrame f(CRect(0, 0, 200, 60));
    CZUTextDisplay* left = new CZUTextDisplay(CRect(0, 0, 200, 20), font, 16, 0);
    CZUTextDisplay* centre = new CZUTextDisplay(CRect(0, 20, 200, 40), font, 16, 1);
    CZUTextDisplay* right = new CZUTextDisplay(CRect(0, 40, 200, 60), font, 4, 2);
    for (auto* d : {left, centre, right}) {
        d->setDisplayString("Tune");
        f.addView(d);
    }
    CCoord w = font->getStringWidth("Tune");
    font->forget();
    Image img(f);
    auto l = inkColumns(img, CRect(0, 0, 200, 20));
    auto c = inkColumns(img, CRect(0, 20, 200, 40));
    auto r = inkColumns(img, CRect(0, 40, 200, 60));
    EXPECT_NEAR(l.first, 0, 2);
    EXPECT_NEAR(c.first, 100 - w / 2, 2);
    EXPECT_NEAR(r.second, 199, 3);
    EXPECT_LE(r.second, 199);

    right->setDisplayString("Cowbell");
    EXPECT_EQ(right->getDisplayString(), "Cowb") << "at most the size in characters";
    right->setDisplayStringAtPosition("ss", 2);
    EXPECT_EQ(right->getDisplayString(), "Coss");
    right->setDisplayStringAtPosition("zz", 9);
    EXPECT_EQ(right->getDisplayString(), "Coss");
    right->clear();
    EXPECT_EQ(right->getDisplayString(), "");
    EXPECT_TRUE(right->isTypeOf("CCharacterDisplay"));
}
