// The records each drawing call writes on a metafile DC: type, size,
// points, the 16-bit or 32-bit form, and the bounds in the header.
#include <gtest/gtest.h>

#include "DrawTestSupport.h"

using drawtest::Recorded;
using drawtest::Rec;

namespace {

TEST(RecordDraw, RectangleAndEllipseStoreTheDrawnBoxAndBoundsLeaveOutRightAndBottom) {
  ENHMETAHEADER h{};
  auto recs = Recorded(
      [](HDC dc) {
        Rectangle(dc, 20, 20, 10, 10);  // given reversed
        Ellipse(dc, 30, 5, 40, 15);
      },
      &h);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_RECTANGLE);
  EXPECT_EQ(recs[0].bytes.size(), 24u);
  auto r = recs[0].As<EMRRECTANGLE>();
  EXPECT_EQ(r.rclBox.left, 10);
  EXPECT_EQ(r.rclBox.right, 19);  // inclusive: GM_COMPATIBLE leaves out the right edge
  EXPECT_EQ(recs[1].type, (DWORD)EMR_ELLIPSE);
  EXPECT_EQ(h.rclBounds.left, 10);
  EXPECT_EQ(h.rclBounds.top, 5);
  EXPECT_EQ(h.rclBounds.right, 39);
  EXPECT_EQ(h.rclBounds.bottom, 19);
}

TEST(RecordDraw, PolylinesUseSixteenBitPointsWhenEveryCoordinateFits) {
  POINT small[3] = {{1, 2}, {-32768, 4}, {5, 32767}};
  POINT big[2] = {{0, 0}, {40000, 1}};
  auto recs = Recorded([&](HDC dc) {
    Polyline(dc, small, 3);
    Polyline(dc, big, 2);
    Polygon(dc, small, 3);
    POINT bez[4] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    PolyBezier(dc, bez, 4);
  });
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_POLYLINE16);
  EXPECT_EQ(recs[0].bytes.size(), 28u + 4 * 3);
  auto p16 = recs[0].As<EMRPOLYLINE16>();
  EXPECT_EQ(p16.cpts, 3u);
  EXPECT_EQ(p16.rclBounds.left, -32768);
  EXPECT_EQ(p16.rclBounds.bottom, 32767);
  EXPECT_EQ(recs[0].At<SHORT>(28 + 4), -32768);
  EXPECT_EQ(recs[0].At<SHORT>(28 + 10), 32767);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_POLYLINE);
  EXPECT_EQ(recs[1].bytes.size(), 28u + 8 * 2);
  EXPECT_EQ(recs[1].At<LONG>(28 + 8), 40000);
  EXPECT_EQ(recs[2].type, (DWORD)EMR_POLYGON16);
  EXPECT_EQ(recs[3].type, (DWORD)EMR_POLYBEZIER16);
}

TEST(RecordDraw, PolyPolygonCarriesCountsThenPoints) {
  POINT pts[5] = {{0, 0}, {4, 0}, {4, 4}, {10, 10}, {12, 10}};
  INT counts[2] = {3, 2};
  auto recs = Recorded([&](HDC dc) { PolyPolygon(dc, pts, counts, 2); });
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_POLYPOLYGON16);
  EXPECT_EQ(recs[0].bytes.size(), 32u + 4 * 2 + 4 * 5);
  EXPECT_EQ(recs[0].At<DWORD>(24), 2u);   // polygons
  EXPECT_EQ(recs[0].At<DWORD>(28), 5u);   // points
  EXPECT_EQ(recs[0].At<DWORD>(32), 3u);
  EXPECT_EQ(recs[0].At<DWORD>(36), 2u);
  EXPECT_EQ(recs[0].At<SHORT>(40 + 4 * 3), 10);
}

TEST(RecordDraw, LinesRecordMoveAndLineAndBoundTheSegment) {
  ENHMETAHEADER h{};
  POINT cur{};
  auto recs = Recorded(
      [&](HDC dc) {
        MoveToEx(dc, 5, 6, nullptr);
        LineTo(dc, 15, 2);
        GetCurrentPositionEx(dc, &cur);
      },
      &h);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_MOVETOEX);
  EXPECT_EQ(recs[0].At<LONG>(8), 5);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_LINETO);
  EXPECT_EQ(recs[1].bytes.size(), 16u);
  EXPECT_EQ(recs[1].At<LONG>(12), 2);
  EXPECT_EQ(cur.x, 15);
  EXPECT_EQ(h.rclBounds.left, 5);
  EXPECT_EQ(h.rclBounds.top, 2);
  EXPECT_EQ(h.rclBounds.right, 15);
  EXPECT_EQ(h.rclBounds.bottom, 6);
}

TEST(RecordDraw, FillRectSelectsTheBrushAroundAPatternBlit) {
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  ENHMETAHEADER h{};
  auto recs = Recorded(
      [&](HDC dc) {
        RECT r{10, 10, 20, 20};
        FillRect(dc, &r, red);
      },
      &h);
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_CREATEBRUSHINDIRECT);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_SELECTOBJECT);
  EXPECT_EQ(recs[2].type, (DWORD)EMR_BITBLT);
  EXPECT_EQ(recs[2].bytes.size(), 100u);
  auto b = recs[2].As<EMRBITBLT>();
  EXPECT_EQ(b.dwRop, (DWORD)PATCOPY);
  EXPECT_EQ(b.cxDest, 10);
  EXPECT_EQ(b.xformSrc.eM11, 1.0f);
  EXPECT_EQ(b.offBmiSrc, 0u);
  EXPECT_EQ(b.cbBitsSrc, 0u);
  EXPECT_EQ(b.rclBounds.right, 19);
  EXPECT_EQ(recs[3].type, (DWORD)EMR_SELECTOBJECT);
  EXPECT_EQ(recs[3].At<DWORD>(8), 0x80000000u | WHITE_BRUSH);
  EXPECT_EQ(h.rclBounds.left, 10);
  EXPECT_EQ(h.rclBounds.bottom, 19);
  DeleteObject(red);
}

TEST(RecordDraw, ArcsRoundRectsAndPixelsKeepTheirArguments) {
  auto recs = Recorded([](HDC dc) {
    RoundRect(dc, 0, 0, 50, 40, 8, 6);
    Pie(dc, 0, 0, 20, 20, 20, 10, 10, 0);
    ArcTo(dc, 0, 0, 20, 20, 20, 10, 10, 0);
    SetPixel(dc, 3, 4, RGB(1, 2, 3));
  });
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_ROUNDRECT);
  EXPECT_EQ(recs[0].bytes.size(), 32u);
  EXPECT_EQ(recs[0].At<LONG>(28), 6);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_PIE);
  EXPECT_EQ(recs[1].bytes.size(), 40u);
  EXPECT_EQ(recs[1].At<LONG>(24), 20);  // start point
  EXPECT_EQ(recs[2].type, (DWORD)EMR_ARCTO);
  EXPECT_EQ(recs[3].type, (DWORD)EMR_SETPIXELV);
  EXPECT_EQ(recs[3].At<COLORREF>(16), RGB(1, 2, 3));
}

TEST(RecordDraw, BoundsFollowTheMappingMode) {
  ENHMETAHEADER h{};
  Recorded(
      [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 10, 10, nullptr);
        SetViewportExtEx(dc, 20, 20, nullptr);
        Rectangle(dc, 1, 1, 5, 5);
      },
      &h);
  EXPECT_EQ(h.rclBounds.left, 2);
  EXPECT_EQ(h.rclBounds.right, 9);
}

}  // namespace

#include "support/TestSupport.h"

namespace {

// A drawing of every record family, read by an independent EMF reader.
TEST(RecordDraw, DrawingsOpenInAnIndependentReader) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  nxtest::TempDir tmp;
  std::string path = tmp.file("draw.emf"), svg = tmp.file("draw.svg");
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(200, 0, 0));
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 160));
  SelectObject(dc, pen);
  SelectObject(dc, hatch);
  Rectangle(dc, 10, 10, 110, 60);
  Ellipse(dc, 120, 10, 220, 60);
  POINT tri[3] = {{10, 100}, {60, 70}, {110, 100}};
  Polygon(dc, tri, 3);
  MoveToEx(dc, 120, 70, nullptr);
  LineTo(dc, 220, 100);
  RECT r{10, 110, 60, 130};
  FillRect(dc, &r, (HBRUSH)GetStockObject(GRAY_BRUSH));
  uint8_t bits[4] = {0, 0, 255, 0};
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  StretchDIBits(dc, 120, 110, 50, 20, 0, 0, 1, 1, bits, &bi, DIB_RGB_COLORS, SRCCOPY);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  std::u16string wpath(path.begin(), path.end());
  HENHMETAFILE saved = CopyEnhMetaFileW(emf, (LPCWSTR)wpath.c_str());
  ASSERT_NE(saved, nullptr);
  auto run = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(path) + " -o " +
                                nxtest::ShellQuote(svg));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  auto bytes = nxtest::ReadFileBytes(svg);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("<ellipse"), std::string::npos);
  EXPECT_NE(text.find("<image"), std::string::npos);
  EXPECT_NE(text.find("#C80000"), std::string::npos) << text.substr(0, 400);
  DeleteEnhMetaFile(saved);
  DeleteEnhMetaFile(emf);
  DeleteObject(pen);
  DeleteObject(hatch);
}

}  // namespace
