// Pattern brushes and pens from a monochrome bitmap paint their 0 bits in the text
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

namespace {

// Wide pens whose brush is a pattern: a 4 x 4 DIB of red and blue columns
// pairs, and the monochrome checker in the DC's colours.
void PenScene(HDC dc) {
  struct {
    BITMAPINFOHEADER h;
    uint32_t px[16];
  } dib{{sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 64, 0, 0, 0, 0}, {}};
  for (int i = 0; i < 16; ++i) dib.px[i] = i % 4 < 2 ? kRed : kBlue;
  LOGBRUSH lb{BS_DIBPATTERNPT, DIB_RGB_COLORS, (ULONG_PTR)&dib};
  HPEN stripes = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, 9, &lb, 0, nullptr);
  uint16_t rows[8];
  for (int y = 0; y < 8; ++y) rows[y] = y % 2 ? 0x5555 : 0xAAAA;
  HBITMAP bm = CreateBitmap(8, 8, 1, 1, rows);
  LOGBRUSH mb{BS_PATTERN, 0, (ULONG_PTR)bm};
  HPEN checker = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, 9, &mb, 0, nullptr);
  DeleteObject(bm);
  HGDIOBJ old = SelectObject(dc, stripes);
  MoveToEx(dc, 10, 20, nullptr);
  LineTo(dc, 100, 20);
  SelectObject(dc, checker);
  SetTextColor(dc, RGB(0, 255, 0));
  SetBkColor(dc, RGB(255, 255, 0));
  MoveToEx(dc, 10, 60, nullptr);
  LineTo(dc, 100, 60);
  SelectObject(dc, old);
  DeleteObject(stripes);
  DeleteObject(checker);
}

TEST(PatternPen, PatternPensDrawTheirPatternAndPlayBackTheSame) {
  Canvas direct(kW, kH);
  ExpectSameAsDirect(PenScene, "pattern pens", &direct);
  EXPECT_EQ(direct.At(12, 20), kRed);
  EXPECT_EQ(direct.At(14, 20), kBlue);
  EXPECT_EQ(direct.At(50, 16), kBlue) << "the whole width carries the pattern";
  EXPECT_EQ(direct.At(20, 60), kYellow) << "monochrome: 1 bits in the background colour";
  EXPECT_EQ(direct.At(21, 60), kGreen);
  int black = 0;
  for (int y = 14; y < 27; ++y)
    for (int x = 10; x < 100; ++x) black += direct.At(x, y) == 0;
  EXPECT_EQ(black, 0);

  auto recs = Recorded(PenScene);
  std::vector<UINT> styles;
  for (auto &r : recs)
    if (r.type == EMR_EXTCREATEPEN) {
      auto e = r.As<EMREXTCREATEPEN>();
      styles.push_back(e.elp.elpBrushStyle);
      EXPECT_EQ(e.cbBmi, 40u + (e.elp.elpBrushStyle == BS_PATTERN ? 8u : 0u));
      EXPECT_EQ(e.offBits, e.offBmi + e.cbBmi);
      EXPECT_EQ(r.bytes.size(), e.offBits + e.cbBits);
    }
  EXPECT_EQ(styles, (std::vector<UINT>{BS_DIBPATTERNPT, BS_PATTERN}));
}

}  // namespace
