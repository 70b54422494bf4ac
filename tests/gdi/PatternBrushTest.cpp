// Pattern brushes from a monochrome bitmap paint their 0 bits in the text
// colour and their 1 bits in the background colour, as the DC has them
// when drawing; a 1-bpp DIB pattern keeps its own colours. Both record as
// their own kind of record and play back the same.
#include <gtest/gtest.h>

#include "ReplayCompare.h"

using drawtest::Canvas;
using drawtest::Recorded;
using namespace replay;

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kYellow = 0xFFFF00;

HBRUSH Checker() {
  uint16_t rows[8];
  for (int y = 0; y < 8; ++y) rows[y] = y % 2 ? 0x5555 : 0xAAAA;  // 1 0 1 0 ... on even rows
  HBITMAP bm = CreateBitmap(8, 8, 1, 1, rows);
  HBRUSH b = CreatePatternBrush(bm);
  DeleteObject(bm);  // the brush keeps its own copy
  return b;
}

HBRUSH DibChecker() {
  struct {
    BITMAPINFOHEADER h;
    uint32_t colours[2];
    uint32_t rows[8];
  } dib{{sizeof(BITMAPINFOHEADER), 8, 8, 1, 1, BI_RGB, 32, 0, 0, 2, 0}, {0xFF00FF, 0x00FFFF}, {}};
  for (int y = 0; y < 8; ++y) dib.rows[y] = y % 2 ? 0x55 : 0xAA;
  return CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
}

void Scene(HDC dc) {
  HBRUSH mono = Checker(), dib = DibChecker();
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkColor(dc, RGB(0, 0, 255));
  SetBkMode(dc, TRANSPARENT);  // pattern brushes take no notice
  RECT a{0, 0, 40, 40}, b{50, 0, 90, 40}, c{100, 0, 140, 40};
  FillRect(dc, &a, mono);
  SetTextColor(dc, RGB(0, 255, 0));
  SetBkColor(dc, RGB(255, 255, 0));
  FillRect(dc, &b, mono);
  FillRect(dc, &c, dib);
  HGDIOBJ old = SelectObject(dc, mono);
  Ellipse(dc, 10, 50, 60, 90);
  SelectObject(dc, old);
  DeleteObject(mono);
  DeleteObject(dib);
}

TEST(PatternBrush, MonochromePatternsTakeTheTextAndBackgroundColours) {
  Canvas direct(kW, kH);
  ExpectSameAsDirect(Scene, "pattern brushes", &direct);
  // Pixel (x, y): bit 1 where x + y is even.
  EXPECT_EQ(direct.At(0, 0), kBlue) << "1 bit: background colour";
  EXPECT_EQ(direct.At(1, 0), kRed) << "0 bit: text colour";
  EXPECT_EQ(direct.At(1, 1), kBlue);
  EXPECT_EQ(direct.At(51, 0), kGreen) << "the colours when drawing count";
  EXPECT_EQ(direct.At(52, 0), kYellow);
  // The DIB's top row is its last (0x55): 0 first, colour 0.
  EXPECT_EQ(direct.At(100, 0), 0xFF00FFu) << "a 1-bpp DIB keeps its colour table";
  EXPECT_EQ(direct.At(101, 0), 0x00FFFFu);
  EXPECT_EQ(direct.At(35, 70), kGreen);
  EXPECT_EQ(direct.At(36, 70), kYellow);
  int other = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) other += direct.At(x, y) != kRed && direct.At(x, y) != kBlue;
  EXPECT_EQ(other, 0);
}

TEST(PatternBrush, MonochromeAndDibPatternsRecordAsTheirOwnKind) {
  auto recs = Recorded(Scene);
  int mono = 0, dib = 0;
  for (auto &r : recs) {
    if (r.type == EMR_CREATEMONOBRUSH) {
      ++mono;
      auto h = r.At<BITMAPINFOHEADER>(r.At<DWORD>(16));
      EXPECT_EQ(h.biBitCount, 1);
      EXPECT_EQ(h.biWidth, 8);
    }
    dib += r.type == EMR_CREATEDIBPATTERNBRUSHPT;
  }
  EXPECT_EQ(mono, 1);
  EXPECT_EQ(dib, 1);
}

}  // namespace
