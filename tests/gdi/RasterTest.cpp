// GDI's raster rules on memory DCs: exclusive right and bottom edges,
// one-pixel pens, styled pens, hatches with the background mode, ROP2.
#include <gtest/gtest.h>

#include "DrawTestSupport.h"

using drawtest::Canvas;

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kBlack = 0;

TEST(Raster, RectangleOutlinesWithThePenAndLeavesOutRightAndBottom) {
  Canvas c(12, 10);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ ob = SelectObject(c.dc, red);
  ASSERT_TRUE(Rectangle(c.dc, 2, 2, 8, 6));
  EXPECT_EQ(c.Map(0, 0, 10, 8, kBlack),
            "..........\n"
            "..........\n"
            "..######..\n"
            "..#????#..\n"
            "..#????#..\n"
            "..######..\n"
            "..........\n"
            "..........\n");
  EXPECT_EQ(c.At(3, 3), kRed);
  // Without a pen the fill alone is one pixel smaller on the right and bottom.
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  Rectangle(c.dc, 1, 7, 5, 10);  // fills x 1..3, y 7..8
  EXPECT_EQ(c.Map(0, 7, 6, 10, kRed), ".###..\n.###..\n......\n");
  SelectObject(c.dc, ob);
  DeleteObject(red);
}

TEST(Raster, FillRectIsPixelExactAndEmptyRectanglesPaintNothing) {
  Canvas c(8, 6);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT r{1, 1, 4, 3};
  ASSERT_TRUE(FillRect(c.dc, &r, blue));
  EXPECT_EQ(c.Map(0, 0, 6, 4, kBlue), "......\n.###..\n.###..\n......\n");
  RECT empty{5, 5, 5, 6};
  FillRect(c.dc, &empty, blue);
  EXPECT_EQ(c.Count(kBlue), 6);
  EXPECT_FALSE(FillRect(c.dc, &r, (HBRUSH)(uintptr_t)0x12340));
  DeleteObject(blue);
}

TEST(Raster, LinesStopBeforeTheirEndPointAndMoveTheCurrentPosition) {
  Canvas c(10, 10);
  MoveToEx(c.dc, 1, 1, nullptr);
  ASSERT_TRUE(LineTo(c.dc, 6, 1));
  EXPECT_EQ(c.Map(0, 0, 8, 3), "........\n.#####..\n........\n");
  LineTo(c.dc, 6, 5);  // vertical, continues from (6,1)
  for (int y = 1; y < 5; ++y) EXPECT_EQ(c.At(6, y), kBlack) << y;
  EXPECT_EQ(c.At(6, 5), 0xFFFFFFu);
  POINT p;
  GetCurrentPositionEx(c.dc, &p);
  EXPECT_EQ(p.x, 6);
  EXPECT_EQ(p.y, 5);
  // A diagonal one-pixel line sets one pixel per column.
  Canvas d(10, 10);
  MoveToEx(d.dc, 0, 0, nullptr);
  LineTo(d.dc, 8, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d.At(i, i), kBlack) << i;
  EXPECT_EQ(d.Count(kBlack), 8);
}

TEST(Raster, WidePensCoverTheirWidthAndThinPensOnePixel) {
  Canvas c(12, 12);
  HPEN thick = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
  HGDIOBJ op = SelectObject(c.dc, thick);
  MoveToEx(c.dc, 2, 5, nullptr);
  LineTo(c.dc, 10, 5);
  int rows = 0;
  for (int y = 0; y < 12; ++y) rows += c.At(6, y) == kRed;
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(c.At(6, 4), kRed);
  EXPECT_EQ(c.At(6, 6), kRed);
  SelectObject(c.dc, op);
  DeleteObject(thick);
  // A zero-width pen under a scaling map mode stays one device pixel wide.
  Canvas d(40, 40);
  SetMapMode(d.dc, MM_ANISOTROPIC);
  SetWindowExtEx(d.dc, 1, 1, nullptr);
  SetViewportExtEx(d.dc, 4, 4, nullptr);
  MoveToEx(d.dc, 1, 2, nullptr);
  LineTo(d.dc, 8, 2);
  int hit = 0;
  for (int y = 0; y < 40; ++y) hit += d.At(10, y) == kBlack;
  EXPECT_EQ(hit, 1);
  EXPECT_EQ(d.At(10, 8), kBlack);
}

TEST(Raster, StyledPensShowTheBackgroundInTheirGapsWhenOpaque) {
  Canvas c(40, 4);
  HPEN dot = CreatePen(PS_DOT, 0, RGB(0, 0, 0));
  HGDIOBJ op = SelectObject(c.dc, dot);
  SetBkColor(c.dc, RGB(0, 0, 255));
  MoveToEx(c.dc, 0, 1, nullptr);
  LineTo(c.dc, 12, 1);
  EXPECT_EQ(c.Map(0, 1, 12, 2, kBlack), "###???###???\n");
  EXPECT_EQ(c.At(4, 1), kBlue);
  SetBkMode(c.dc, TRANSPARENT);
  MoveToEx(c.dc, 0, 2, nullptr);
  LineTo(c.dc, 12, 2);
  EXPECT_EQ(c.Map(0, 2, 12, 3, kBlack), "###...###...\n");
  SelectObject(c.dc, op);
  DeleteObject(dot);
}

TEST(Raster, HatchesAreEightPixelPatternsWithBackgroundColourAndMode) {
  Canvas c(16, 16);
  HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, RGB(255, 0, 0));
  SetBkColor(c.dc, RGB(0, 0, 255));
  RECT r{0, 0, 16, 8};
  FillRect(c.dc, &r, hatch);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(c.At(x, y), y == 4 ? kRed : kBlue) << x << "," << y;
  SetBkMode(c.dc, TRANSPARENT);
  HBRUSH cross = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
  RECT r2{0, 8, 16, 16};
  FillRect(c.dc, &r2, cross);
  EXPECT_EQ(c.Map(0, 8, 8, 16, kRed),
            "....#...\n....#...\n....#...\n....#...\n########\n....#...\n....#...\n....#...\n");
  // Diagonal hatches: rising and falling.
  Canvas d(8, 8);
  HBRUSH b = CreateHatchBrush(HS_BDIAGONAL, 0);
  SetBkMode(d.dc, TRANSPARENT);
  RECT all{0, 0, 8, 8};
  FillRect(d.dc, &all, b);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(d.At(7 - y, y), 0u) << y;
  EXPECT_EQ(d.Count(0), 8);
  DeleteObject(b);
  DeleteObject(hatch);
  DeleteObject(cross);
}

TEST(Raster, PolygonFillLeavesOutRightAndBottomEdgesAndFollowsTheFillMode) {
  Canvas c(10, 10);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(c.dc, red);
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  POINT sq[4] = {{1, 1}, {5, 1}, {5, 5}, {1, 5}};
  ASSERT_TRUE(Polygon(c.dc, sq, 4));
  EXPECT_EQ(c.Count(kRed), 16);
  EXPECT_EQ(c.At(1, 1), kRed);
  EXPECT_EQ(c.At(5, 4), 0xFFFFFFu);
  // Two nested squares in one PolyPolygon: a hole in ALTERNATE mode only.
  Canvas d(20, 20);
  SelectObject(d.dc, red);
  SelectObject(d.dc, GetStockObject(NULL_PEN));
  POINT two[8] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {3, 3}, {7, 3}, {7, 7}, {3, 7}};
  INT counts[2] = {4, 4};
  PolyPolygon(d.dc, two, counts, 2);
  EXPECT_EQ(d.At(5, 5), 0xFFFFFFu);
  SetPolyFillMode(d.dc, WINDING);
  PolyPolygon(d.dc, two, counts, 2);
  EXPECT_EQ(d.At(5, 5), kRed);
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(d.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(red);
}

TEST(Raster, EllipsesAndRoundRectsStayInsideTheirBox) {
  Canvas c(24, 24);
  SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(Ellipse(c.dc, 2, 4, 22, 16));
  int minX = 99, maxX = -1, minY = 99, maxY = -1;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x)
      if (c.At(x, y) == 0) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  EXPECT_EQ(minX, 2);
  EXPECT_EQ(maxX, 21);
  EXPECT_EQ(minY, 4);
  EXPECT_EQ(maxY, 15);
  EXPECT_EQ(c.At(2, 4), 0xFFFFFFu);  // the corners stay empty
  EXPECT_EQ(c.At(12, 10), 0u);
  Canvas d(24, 24);
  RoundRect(d.dc, 2, 2, 20, 20, 8, 8);
  EXPECT_EQ(d.At(2, 2), 0xFFFFFFu);
  EXPECT_EQ(d.At(10, 2), 0u);
  EXPECT_EQ(d.At(19, 10), 0u);
  EXPECT_EQ(d.At(10, 20), 0xFFFFFFu);
}

TEST(Raster, Rop2PicksHowThePenCombinesWithTheSurface) {
  Canvas c(10, 4);
  RECT r{0, 0, 5, 4};
  FillRect(c.dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
  SetROP2(c.dc, R2_NOT);
  MoveToEx(c.dc, 0, 1, nullptr);
  LineTo(c.dc, 10, 1);
  EXPECT_EQ(c.At(2, 1), 0xFFFFFFu);
  EXPECT_EQ(c.At(7, 1), 0u);
  SetROP2(c.dc, R2_NOP);
  MoveToEx(c.dc, 0, 2, nullptr);
  LineTo(c.dc, 10, 2);
  EXPECT_EQ(c.At(7, 2), 0xFFFFFFu);
}

TEST(Raster, PixelsAndInvalidHandles) {
  Canvas c(4, 4);
  EXPECT_EQ(SetPixel(c.dc, 1, 2, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(c.dc, 1, 2), RGB(1, 2, 3));
  EXPECT_EQ(c.At(1, 2), 0x010203u);
  EXPECT_EQ(GetPixel(c.dc, 9, 9), CLR_INVALID);
  HDC bad = (HDC)(uintptr_t)0x7770;
  EXPECT_FALSE(LineTo(bad, 1, 1));
  EXPECT_FALSE(Rectangle(bad, 0, 0, 1, 1));
  EXPECT_FALSE(Polygon(nullptr, nullptr, 0));
  EXPECT_EQ(GetPixel(bad, 0, 0), CLR_INVALID);
  POINT p3[3] = {{0, 0}, {1, 1}, {2, 2}};
  EXPECT_FALSE(PolyBezier(c.dc, p3, 3));  // needs 3n+1 points
}

TEST(Raster, BottomUpDibSectionsDrawTheRightWayUp) {
  Canvas c(6, 6, true);
  RECT r{0, 0, 6, 2};
  FillRect(c.dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(c.At(0, 0), 0u);
  EXPECT_EQ(c.At(0, 5), 0xFFFFFFu);
  EXPECT_EQ(c.bits[0] & 0xFFFFFF, 0xFFFFFFu);  // the last stored row is the bottom
}

}  // namespace

namespace {

TEST(Raster, ThinLinesDrawTheirFirstPixelAndNotTheirLastInEveryDirection) {
  const POINT ends[4][2] = {{{6, 1}, {1, 1}}, {{1, 6}, {1, 1}}, {{6, 6}, {1, 1}}, {{1, 1}, {6, 6}}};
  for (const auto &e : ends) {
    Canvas c(8, 8);
    MoveToEx(c.dc, e[0].x, e[0].y, nullptr);
    LineTo(c.dc, e[1].x, e[1].y);
    EXPECT_EQ(c.At(e[0].x, e[0].y), 0u) << e[0].x << "," << e[0].y;
    EXPECT_EQ(c.At(e[1].x, e[1].y), 0xFFFFFFu) << e[1].x << "," << e[1].y;
    EXPECT_EQ(c.Count(0), 5);
  }
}

}  // namespace

namespace {

TEST(Raster, InsideFramePensStayWithinTheBox) {
  Canvas c(20, 20);
  HPEN frame = CreatePen(PS_INSIDEFRAME, 3, RGB(255, 0, 0));
  HPEN centred = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
  HGDIOBJ op = SelectObject(c.dc, frame);
  Rectangle(c.dc, 2, 2, 10, 10);
  EXPECT_EQ(c.Map(1, 5, 11, 6, kRed), ".###..###.\n");
  SelectObject(c.dc, centred);
  Rectangle(c.dc, 2, 12, 10, 20);
  EXPECT_EQ(c.Map(0, 15, 12, 16, kRed), ".###....###.\n");  // centred on 2 and 9
  SelectObject(c.dc, op);
  DeleteObject(frame);
  DeleteObject(centred);
}

// Drawing into DIB sections of other depths goes through to their bits.
TEST(Raster, DrawingReachesTheBitsOfTwentyFourAndEightBitDibSections) {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD pal[2];
  } bi{{sizeof(BITMAPINFOHEADER), 4, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void *p = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS, &p,
                                nullptr, 0);
  ASSERT_NE(bm, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, bm);
  SetPixel(dc, 1, 0, RGB(10, 20, 30));  // top row = the second stored row
  auto *bytes = static_cast<uint8_t *>(p);
  EXPECT_EQ(bytes[12 + 3], 30);
  EXPECT_EQ(bytes[12 + 5], 10);
  // 8 bpp with a black and white palette: a black fill turns indices to 0.
  bi.h.biBitCount = 8;
  bi.h.biClrUsed = 2;  // the colour table holds two entries
  bi.pal[1] = {255, 255, 255, 0};
  void *q = nullptr;
  HBITMAP bm8 = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS,
                                 &q, nullptr, 0);
  ASSERT_NE(bm8, nullptr);
  std::memset(q, 1, 8);
  SelectObject(dc, bm8);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
  RECT r{0, 0, 2, 1};
  FillRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
  auto *idx = static_cast<uint8_t *>(q);
  EXPECT_EQ(idx[4], 0);  // top row, stored second
  EXPECT_EQ(idx[5], 0);
  EXPECT_EQ(idx[6], 1);
  EXPECT_EQ(idx[0], 1);
  DeleteDC(dc);
  DeleteObject(bm);
  DeleteObject(bm8);
}

TEST(Raster, DibPatternBrushesTileFromTheBrushOrigin) {
  // 2x2 pattern: black on the top-left and bottom-right pixels.
  struct {
    BITMAPINFOHEADER h;
    uint32_t bits[4];
  } dib{{sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
        {0xFFFFFF, 0, 0, 0xFFFFFF}};  // bottom row first
  HBRUSH b = CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
  ASSERT_NE(b, nullptr);
  Canvas c(6, 2);
  RECT r{0, 0, 6, 2};
  FillRect(c.dc, &r, b);
  EXPECT_EQ(c.Map(0, 0, 6, 2), "#.#.#.\n.#.#.#\n");
  SetBrushOrgEx(c.dc, 1, 0, nullptr);
  FillRect(c.dc, &r, b);
  EXPECT_EQ(c.Map(0, 0, 6, 2), ".#.#.#\n#.#.#.\n");
  DeleteObject(b);
}

TEST(Raster, SetDIBitsToDeviceCopiesScanLinesOneToOne) {
  // 1x3 bottom-up 32-bpp DIB: red (bottom), green, blue (top).
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, 3, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  uint32_t bits[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  Canvas c(3, 4);
  EXPECT_EQ(SetDIBitsToDevice(c.dc, 1, 0, 1, 3, 0, 0, 0, 3, bits, &bi, DIB_RGB_COLORS), 3);
  EXPECT_EQ(c.At(1, 0), kBlue);
  EXPECT_EQ(c.At(1, 2), kRed);
  EXPECT_EQ(c.At(0, 0), 0xFFFFFFu);
  // Only scan lines 1 and 2 given: they land in the top two rows.
  Canvas d(1, 3);
  EXPECT_EQ(SetDIBitsToDevice(d.dc, 0, 0, 1, 3, 0, 0, 1, 2, bits + 1, &bi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(d.At(0, 0), kBlue);
  EXPECT_EQ(d.At(0, 1), 0x00FF00u);
  EXPECT_EQ(d.At(0, 2), 0xFFFFFFu);
}

}  // namespace

namespace {

TEST(Raster, ArcsTurnCounterClockwiseOnThePageUnlessToldOtherwise) {
  // From the right-hand point to the top point of a circle.
  Canvas c(22, 22);
  Arc(c.dc, 1, 1, 21, 21, 21, 11, 11, 1);
  EXPECT_EQ(c.At(17, 4), 0u);       // top-right quarter drawn
  EXPECT_EQ(c.Count(0) < 25, true);  // and only that quarter
  Canvas d(22, 22);
  SetArcDirection(d.dc, AD_CLOCKWISE);
  Arc(d.dc, 1, 1, 21, 21, 21, 11, 11, 1);
  EXPECT_EQ(d.At(17, 4), 0xFFFFFFu);
  EXPECT_GT(d.Count(0), 40);  // the other three quarters
  // A filled pie of the same quarter under a y-up mapping stays on the page's top right.
  Canvas e(22, 22);
  SetMapMode(e.dc, MM_ANISOTROPIC);
  SetWindowExtEx(e.dc, 1, -1, nullptr);
  SetViewportExtEx(e.dc, 1, 1, nullptr);
  SetViewportOrgEx(e.dc, 0, 22, nullptr);
  SelectObject(e.dc, GetStockObject(BLACK_BRUSH));
  Pie(e.dc, 1, 1, 21, 21, 21, 11, 11, 21);  // logical top is y = 21
  EXPECT_EQ(e.At(15, 7), 0u);
  EXPECT_EQ(e.At(6, 15), 0xFFFFFFu);
}

}  // namespace
