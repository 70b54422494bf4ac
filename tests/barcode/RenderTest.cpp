// Drawing the component into a bitmap: pixel columns of the bars, the text
// where its anchors put it, rotation of bars and text together.
#include <gtest/gtest.h>

#include "BarcodeImage.h"
#include "barcode/ZbrBarcode.h"

namespace {

using namespace nx;

bool Dark(const TMemoryBitmap &b, int x, int y) {
  COLORREF c = b.Pixel(x, y);
  return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128;
}

// The bounding box of the dark pixels inside [x0, x1) x [y0, y1); empty
// (left > right) when there are none.
RECT DarkBox(const TMemoryBitmap &b, int x0, int y0, int x1, int y1) {
  RECT box{x1, y1, x0 - 1, y0 - 1};
  for (int y = std::max(0, y0); y < std::min(b.Height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(b.Width(), x1); ++x)
      if (Dark(b, x, y)) {
        box.left = std::min<LONG>(box.left, x), box.right = std::max<LONG>(box.right, x);
        box.top = std::min<LONG>(box.top, y), box.bottom = std::max<LONG>(box.bottom, y);
      }
  return box;
}

TEST(ZbrRender, BarsLeaveTheLastColumnOfTheirSlot) {
  TZbrBarcode bc;  // Code 39, narrow 3, ratio 3, margins 50
  bc.SetBarCode("A");
  bc.SetShowNumber(false);
  bc.SetColor(RGB(0, 0, 128));
  bc.SetBackColor(RGB(255, 255, 200));
  TMemoryBitmap image;
  bc.SaveBarcodeImage(image);
  EXPECT_EQ(image.Width(), bc.ImageWidth());
  EXPECT_EQ(image.Height(), 100 + 2 * 50);
  // '*' starts narrow bar, wide space: columns 50 and 51 bar, 52 to 61 background.
  EXPECT_EQ(image.Pixel(49, 100), RGB(255, 255, 200));
  EXPECT_EQ(image.Pixel(50, 100), RGB(0, 0, 128));
  EXPECT_EQ(image.Pixel(51, 100), RGB(0, 0, 128));
  EXPECT_EQ(image.Pixel(52, 100), RGB(255, 255, 200));
  EXPECT_EQ(image.Pixel(62, 100), RGB(0, 0, 128));
  // Bars span rows 50 to 149; the bottom row is left out.
  EXPECT_EQ(image.Pixel(50, 50), RGB(0, 0, 128));
  EXPECT_EQ(image.Pixel(50, 149), RGB(0, 0, 128));
  EXPECT_EQ(image.Pixel(50, 150), RGB(255, 255, 200));
  EXPECT_EQ(image.Pixel(50, 49), RGB(255, 255, 200));
  // With a narrow width of one pixel every bar fills its slot: a reduced
  // narrow bar would cover no column at all.
  bc.SetBarWidth(0.1f);
  bc.SetFactor(1.0f);  // raised to 2.0 for Code 39: wide bars keep one column
  bc.SaveBarcodeImage(image);
  int dark = 0;
  for (int x = 0; x < image.Width(); ++x) dark += image.Pixel(x, 100) == RGB(0, 0, 128);
  EXPECT_EQ(dark, 3 * (3 * 1 + 2 * 2));  // three narrow and two wide bars in each of '*', 'A', '*'
}

// SaveBarcodeImage writes bars straight into its bitmap; DrawBarcode draws
// the same layout on any DC through GDI. Both give the same pixels.
TEST(ZbrRender, BitmapAndCanvasDrawingAgree) {
  for (TPZbrAngle angle : {zba0, zba90, zba180, zba270}) {
    TZbrBarcode bc;
    bc.SetCodeType(UPCA);
    bc.SetBarCode("03600029145");
    bc.SetAngle(angle);
    bc.SetColor(RGB(20, 40, 60));
    bc.SetBackColor(RGB(250, 240, 230));
    bc.SetLeftRightMargin(-0.1f);  // the first bar starts left of the image
    TMemoryBitmap saved;
    bc.SaveBarcodeImage(saved);
    TZbrLayout layout = bc.Layout();
    TMemoryBitmap drawn(bc.ImageWidth(), bc.ImageHeight());
    bc.DrawBarcode(drawn.dc(), layout);
    ASSERT_EQ(saved.Width(), drawn.Width());
    ASSERT_EQ(saved.Height(), drawn.Height());
    int differ = 0, ink = 0;
    for (int y = 0; y < saved.Height(); ++y)
      for (int x = 0; x < saved.Width(); ++x) {
        differ += saved.Pixel(x, y) != drawn.Pixel(x, y);
        ink += saved.Pixel(x, y) == RGB(20, 40, 60);
      }
    EXPECT_EQ(differ, 0) << "angle " << int(angle);
    EXPECT_GT(ink, 30 * 100) << "angle " << int(angle);
    // The cut first bar keeps one column (0) of its two.
    if (angle == zba0) {
      EXPECT_EQ(saved.Pixel(0, 60), RGB(20, 40, 60));
      EXPECT_EQ(saved.Pixel(1, 60), RGB(250, 240, 230));
    }
  }
}

TEST(ZbrRender, EanTextSitsUnderItsGroups) {
  TZbrBarcode bc;
  bc.SetCodeType(EAN13);
  bc.SetBarCode("5901234123457");
  bc.SetBarWidth(0.4f);  // 4-pixel modules
  bc.SetFontHeight(4.0f);
  TMemoryBitmap image;
  bc.SaveBarcodeImage(image);
  // Rows below the bars (50 + 100) hold the digits; guards reach 30 lower.
  const int ty = 150, bottom = image.Height();
  // Guards (long bars) at modules 0-2, 45-49 and 92-94.
  const int start = 50, module = 4;
  auto at = [&](int m) { return start + module * m; };
  RECT lead = DarkBox(image, 0, ty, start, bottom);
  RECT left = DarkBox(image, at(3), ty, at(45), bottom);
  RECT right = DarkBox(image, at(50), ty, at(92), bottom);
  ASSERT_LE(lead.left, lead.right);
  ASSERT_LE(left.left, left.right);
  ASSERT_LE(right.left, right.right);
  // The leading digit ends left of the start guard, two modules from it at most.
  EXPECT_LE(lead.right, at(-2));
  EXPECT_GE(lead.right, at(-2) - 6);
  // Groups are centred on the point after 15 and 44 elements, within a few pixels.
  const int leftAnchor = 50 + 4 * 24, rightAnchor = 50 + 4 * 71;
  EXPECT_NEAR((left.left + left.right) / 2.0, leftAnchor, 4);
  EXPECT_NEAR((right.left + right.right) / 2.0, rightAnchor, 4);
  // Glyphs hang from the row under the bars and fit the image.
  EXPECT_GE(left.top, ty);
  EXPECT_LT(left.top, ty + 12);
  EXPECT_LT(left.bottom, bottom);
  // Long guard bars reach three quarters of the font height into the text rows.
  EXPECT_TRUE(Dark(image, start, ty + 29));
  EXPECT_FALSE(Dark(image, start, ty + 30));
  // A digit's bar stops at the bars' bottom.
  int bar = at(3);
  while (bar < at(45) && !Dark(image, bar, ty - 1)) ++bar;
  ASSERT_LT(bar, left.left);
  EXPECT_FALSE(Dark(image, bar, ty));
}

TEST(ZbrRender, RotationTurnsBarsAndTextTogether) {
  TZbrBarcode bc;
  bc.SetCodeType(CODE128B);
  bc.SetBarCode("Turn me");
  bc.SetFontHeight(4.0f);
  TMemoryBitmap flat, turned;
  bc.SaveBarcodeImage(flat);
  const int W = flat.Width(), H = flat.Height();
  const int ty = 50 + 100;
  RECT text = DarkBox(flat, 0, ty, W, H);
  ASSERT_LE(text.left, text.right);
  EXPECT_NEAR((text.left + text.right) / 2.0, W / 2.0, 3);  // centred over the bars
  for (TPZbrAngle angle : {zba90, zba180, zba270}) {
    bc.SetAngle(angle);
    bc.SaveBarcodeImage(turned);
    const bool swap = angle != zba180;
    ASSERT_EQ(turned.Width(), swap ? H : W);
    ASSERT_EQ(turned.Height(), swap ? W : H);
    // (x, y) of the flat image, where the turned image has it.
    auto at = [&](int x, int y) -> POINT {
      switch (angle) {
        case zba90: return {y, W - 1 - x};
        case zba180: return {W - 1 - x, H - 1 - y};
        default: return {H - 1 - y, x};
      }
    };
    // Every pixel of the bars' rows is where the turn puts it.
    int wrong = 0;
    for (int y = 0; y < ty; ++y)
      for (int x = 0; x < W; ++x) {
        POINT p = at(x, y);
        wrong += Dark(flat, x, y) != Dark(turned, p.x, p.y);
      }
    EXPECT_EQ(wrong, 0) << "angle " << int(angle);
    // The text's box, turned, is where the flat text's box goes.
    POINT a = at(text.left, text.top), b = at(text.right, text.bottom);
    RECT want{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    RECT region = swap ? RECT{angle == zba90 ? ty : 0, 0, angle == zba90 ? H : H - ty, W}
                       : RECT{0, 0, W, H - ty};
    RECT got = DarkBox(turned, region.left, region.top, region.right, region.bottom);
    EXPECT_NEAR(got.left, want.left, 3) << "angle " << int(angle);
    EXPECT_NEAR(got.top, want.top, 3) << "angle " << int(angle);
    EXPECT_NEAR(got.right, want.right, 3) << "angle " << int(angle);
    EXPECT_NEAR(got.bottom, want.bottom, 3) << "angle " << int(angle);
  }
}

}  // namespace
