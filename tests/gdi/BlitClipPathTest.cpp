// Blits, DIB stretching, clipping, regions and paths on memory DCs, and the
// records these calls write on a metafile DC.
#include <gtest/gtest.h>

#include "DrawTestSupport.h"

using drawtest::Canvas;
using drawtest::Recorded;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// A 2x2 bottom-up 24-bpp DIB: top row red, green; bottom row blue, black.
struct Dib2x2 {
  BITMAPINFO bi{};
  uint8_t bits[16] = {};
  Dib2x2() {
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    // Stored bottom row first, BGR, rows padded to 8 bytes.
    const uint8_t rows[2][6] = {{255, 0, 0, 0, 0, 0}, {0, 0, 255, 0, 255, 0}};
    std::memcpy(bits, rows[0], 6);
    std::memcpy(bits + 8, rows[1], 6);
  }
};

TEST(Blit, StretchDibitsSamplesTheNearestPixelWithoutBlending) {
  Canvas c(8, 8);
  Dib2x2 d;
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 8, 8, 0, 0, 2, 2, d.bits, &d.bi, DIB_RGB_COLORS, SRCCOPY), 2);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      uint32_t want = y < 4 ? (x < 4 ? kRed : kGreen) : (x < 4 ? kBlue : 0u);
      ASSERT_EQ(c.At(x, y), want) << x << "," << y;
    }
  // The source origin of a bottom-up DIB is its lower-left corner:
  // (0, 0, 1, 1) is the bottom-left pixel.
  Canvas e(4, 4);
  StretchDIBits(e.dc, 0, 0, 4, 4, 0, 0, 1, 1, d.bits, &d.bi, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(e.Count(kBlue), 16);
  // A bad header draws nothing and fails.
  BITMAPINFO bad = d.bi;
  bad.bmiHeader.biBitCount = 7;
  EXPECT_EQ(StretchDIBits(e.dc, 0, 0, 4, 4, 0, 0, 2, 2, d.bits, &bad, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(Blit, BitBltCopiesFromAnotherDcAndStretchBltMirrors) {
  Canvas src(4, 4), dst(8, 8);
  RECT r{0, 0, 2, 4};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(src.dc, &r, red);  // left half red
  ASSERT_TRUE(BitBlt(dst.dc, 2, 2, 4, 4, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(dst.Map(0, 2, 8, 3, kRed), "..##....\n");
  EXPECT_EQ(dst.At(1, 2), kWhite);
  Canvas m(4, 1);
  ASSERT_TRUE(StretchBlt(m.dc, 4, 0, -4, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(m.Map(0, 0, 4, 1, kRed), "..##\n");
  // A blit within one surface reads the source before writing.
  Canvas s(6, 1);
  SetPixel(s.dc, 0, 0, RGB(255, 0, 0));
  BitBlt(s.dc, 1, 0, 5, 1, s.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(s.Map(0, 0, 6, 1, kRed), "##....\n");
  DeleteObject(red);
}

TEST(Blit, PatternOperationsNeedNoSource) {
  Canvas c(6, 2);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(c.dc, blue);
  ASSERT_TRUE(BitBlt(c.dc, 1, 0, 2, 2, nullptr, 0, 0, PATCOPY));
  ASSERT_TRUE(PatBlt(c.dc, 4, 0, 1, 1, BLACKNESS));
  EXPECT_EQ(c.Map(0, 0, 6, 2, kBlue), ".##.?.\n.##...\n");
  PatBlt(c.dc, 0, 0, 6, 1, DSTINVERT);
  EXPECT_EQ(c.At(0, 0), 0u);
  EXPECT_EQ(c.At(1, 0), 0xFFFF00u);
  EXPECT_FALSE(BitBlt(c.dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));  // needs a source
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(blue);
}

TEST(Clip, ClipRectanglesAndRegionsLimitDrawing) {
  Canvas c(10, 10);
  HBRUSH black = (HBRUSH)GetStockObject(BLACK_BRUSH);
  RECT all{0, 0, 10, 10};
  EXPECT_EQ(IntersectClipRect(c.dc, 2, 2, 8, 8), SIMPLEREGION);
  EXPECT_EQ(ExcludeClipRect(c.dc, 4, 4, 6, 6), COMPLEXREGION);
  RECT box;
  EXPECT_EQ(GetClipBox(c.dc, &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.right, 8);
  FillRect(c.dc, &all, black);
  EXPECT_EQ(c.Count(0), 36 - 4);
  EXPECT_EQ(c.At(4, 4), kWhite);
  EXPECT_EQ(c.At(1, 1), kWhite);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(c.dc, got), 1);
  EXPECT_TRUE(PtInRegion(got, 2, 2));
  EXPECT_FALSE(PtInRegion(got, 5, 5));
  // Saved states keep their own clip.
  int saved = SaveDC(c.dc);
  SelectClipRgn(c.dc, nullptr);
  EXPECT_EQ(GetClipRgn(c.dc, got), 0);
  RestoreDC(c.dc, saved);
  EXPECT_EQ(GetClipRgn(c.dc, got), 1);
  DeleteObject(got);
}

TEST(Clip, RegionsCombineAndReportTheirRectangles) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15);
  HRGN d = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(d, a, b, RGN_AND), SIMPLEREGION);
  RECT box;
  GetRgnBox(d, &box);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.bottom, 10);
  EXPECT_EQ(CombineRgn(d, a, b, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(CombineRgn(d, a, b, RGN_XOR), COMPLEXREGION);
  EXPECT_FALSE(PtInRegion(d, 7, 7));
  EXPECT_EQ(CombineRgn(d, a, a, RGN_DIFF), NULLREGION);
  EXPECT_EQ(CombineRgn(d, a, nullptr, RGN_COPY), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(d, a));
  OffsetRgn(d, 3, 4);
  GetRgnBox(d, &box);
  EXPECT_EQ(box.left, 3);
  EXPECT_EQ(box.bottom, 14);
  CombineRgn(d, a, b, RGN_OR);
  DWORD need = GetRegionData(d, 0, nullptr);
  EXPECT_EQ(need, 32u + 16 * 3);
  std::vector<uint8_t> buf(need);
  EXPECT_EQ(GetRegionData(d, need - 1, reinterpret_cast<RGNDATA *>(buf.data())), 0u);
  ASSERT_EQ(GetRegionData(d, need, reinterpret_cast<RGNDATA *>(buf.data())), need);
  auto *rd = reinterpret_cast<RGNDATA *>(buf.data());
  EXPECT_EQ(rd->rdh.nCount, 3u);
  EXPECT_EQ(rd->rdh.rcBound.right, 15);
  // The data makes the same region again.
  HRGN again = ExtCreateRegion(nullptr, need, rd);
  EXPECT_TRUE(EqualRgn(again, d));
  EXPECT_EQ(ExtCreateRegion(nullptr, need - 1, rd), nullptr);
  EXPECT_EQ(CombineRgn(d, a, (HRGN)(uintptr_t)0x5550, RGN_AND), ERROR);
  for (HRGN h : {a, b, d, again}) DeleteObject(h);
}

TEST(Paths, FillStrokeAndClipWithAPath) {
  Canvas c(12, 12);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(c.dc, red);
  ASSERT_TRUE(BeginPath(c.dc));
  MoveToEx(c.dc, 1, 1, nullptr);
  LineTo(c.dc, 6, 1);
  LineTo(c.dc, 6, 6);
  LineTo(c.dc, 1, 6);
  CloseFigure(c.dc);
  EXPECT_EQ(c.Count(0), 0);  // nothing is drawn while the path is open
  ASSERT_TRUE(EndPath(c.dc));
  ASSERT_TRUE(FillPath(c.dc));
  EXPECT_EQ(c.Count(kRed), 25);
  EXPECT_FALSE(FillPath(c.dc));  // the path is used up
  BeginPath(c.dc);
  Rectangle(c.dc, 0, 0, 12, 12);
  EndPath(c.dc);
  StrokePath(c.dc);
  EXPECT_EQ(c.At(0, 0), 0u);
  EXPECT_EQ(c.At(11, 11), 0u);  // GM_COMPATIBLE: the path's corner is (11, 11)
  // A clip path: an ellipse limits a fill.
  Canvas d(20, 20);
  BeginPath(d.dc);
  Ellipse(d.dc, 0, 0, 20, 20);
  EndPath(d.dc);
  ASSERT_TRUE(SelectClipPath(d.dc, RGN_COPY));
  RECT all{0, 0, 20, 20};
  FillRect(d.dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(d.At(10, 10), 0u);
  EXPECT_EQ(d.At(0, 0), kWhite);
  EXPECT_EQ(d.At(19, 19), kWhite);
  EXPECT_FALSE(EndPath(d.dc));
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(red);
}

TEST(RecordBlit, StretchDibitsCarriesTheBitmapInsideTheRecord) {
  Dib2x2 d;
  ENHMETAHEADER h{};
  auto recs = Recorded(
      [&](HDC dc) {
        StretchDIBits(dc, 10, 20, 30, 40, 0, 0, 2, 2, d.bits, &d.bi, DIB_RGB_COLORS, SRCCOPY);
      },
      &h);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_STRETCHDIBITS);
  EXPECT_EQ(recs[0].bytes.size(), 80u + 40 + 16);
  auto r = recs[0].As<EMRSTRETCHDIBITS>();
  EXPECT_EQ(r.offBmiSrc, 80u);
  EXPECT_EQ(r.cbBmiSrc, 40u);
  EXPECT_EQ(r.offBitsSrc, 120u);
  EXPECT_EQ(r.cbBitsSrc, 16u);
  EXPECT_EQ(r.cxDest, 30);
  EXPECT_EQ(r.dwRop, (DWORD)SRCCOPY);
  EXPECT_EQ(r.rclBounds.right, 39);
  EXPECT_EQ(r.rclBounds.bottom, 59);
  EXPECT_EQ(recs[0].At<DWORD>(80 + 20), 16u);  // biSizeImage filled in
  EXPECT_EQ(recs[0].bytes[120 + 8 + 2], 255);   // top row, red, as given
  EXPECT_EQ(h.rclBounds.left, 10);
}

TEST(RecordBlit, BitBltWithASourceEmbedsItsPixels) {
  Canvas src(3, 2);
  SetPixel(src.dc, 0, 0, RGB(255, 0, 0));
  auto recs = Recorded([&](HDC dc) { BitBlt(dc, 5, 5, 3, 2, src.dc, 0, 0, SRCCOPY); });
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_BITBLT);
  auto r = recs[0].As<EMRBITBLT>();
  EXPECT_EQ(r.offBmiSrc, 100u);
  EXPECT_EQ(r.cbBmiSrc, 40u);
  EXPECT_EQ(r.offBitsSrc, 140u);
  EXPECT_EQ(r.cbBitsSrc, 2u * 12);
  EXPECT_EQ(recs[0].bytes.size(), 140u + 24);
  // Bottom-up rows: the red pixel is in the second stored row.
  EXPECT_EQ(recs[0].bytes[140 + 12 + 2], 255);
  EXPECT_EQ(recs[0].bytes[140 + 12 + 0], 0);
}

TEST(RecordPath, PathRecordsHaveNoBoundsUntilThePathIsPainted) {
  ENHMETAHEADER h{};
  auto recs = Recorded(
      [](HDC dc) {
        BeginPath(dc);
        Polygon(dc, std::vector<POINT>{{10, 10}, {30, 10}, {30, 20}}.data(), 3);
        EndPath(dc);
        StrokeAndFillPath(dc);
        IntersectClipRect(dc, 1, 2, 3, 4);
        BeginPath(dc);
        Rectangle(dc, 0, 0, 5, 5);
        EndPath(dc);
        SelectClipPath(dc, RGN_AND);
      },
      &h);
  ASSERT_EQ(recs.size(), 9u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_BEGINPATH);
  EXPECT_EQ(recs[0].bytes.size(), 8u);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_POLYGON16);
  EXPECT_EQ(recs[1].At<LONG>(8), 0);    // rclBounds.left
  EXPECT_EQ(recs[1].At<LONG>(16), -1);  // rclBounds.right
  EXPECT_EQ(recs[2].type, (DWORD)EMR_ENDPATH);
  EXPECT_EQ(recs[3].type, (DWORD)EMR_STROKEANDFILLPATH);
  EXPECT_EQ(recs[3].At<LONG>(16), 30);
  EXPECT_EQ(recs[4].type, (DWORD)EMR_INTERSECTCLIPRECT);
  EXPECT_EQ(recs[4].bytes.size(), 24u);
  EXPECT_EQ(recs[4].At<LONG>(20), 4);
  EXPECT_EQ(recs[8].type, (DWORD)EMR_SELECTCLIPPATH);
  EXPECT_EQ(recs[8].At<DWORD>(8), (DWORD)RGN_AND);
  // Only the painted path added to the bounds; the rectangle was a clip path.
  EXPECT_EQ(h.rclBounds.left, 10);
  EXPECT_EQ(h.rclBounds.right, 30);
}

TEST(RecordBlit, FillRgnRecordsTheBrushAndTheRegionInDevicePixels) {
  HRGN rgn = CreateRectRgn(2, 3, 6, 8);
  HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
  auto recs = Recorded([&](HDC dc) { FillRgn(dc, rgn, b); });
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].type, (DWORD)EMR_CREATEBRUSHINDIRECT);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_FILLRGN);
  EXPECT_EQ(recs[1].bytes.size(), 32u + 32 + 16);
  EXPECT_EQ(recs[1].At<DWORD>(24), 48u);  // cbRgnData
  EXPECT_EQ(recs[1].At<DWORD>(28), 1u);   // ihBrush
  EXPECT_EQ(recs[1].At<LONG>(64 + 8), 6);
  DeleteObject(rgn);
  DeleteObject(b);
}

}  // namespace

namespace {

// The mask technique for a transparent colour: colour -> monochrome uses
// the source's background colour, monochrome -> colour the destination's
// text and background colours, and SRCAND / SRCPAINT combine them.
TEST(Blit, MonochromeMasksGiveATransparentColour) {
  Canvas img(4, 1), dst(4, 1);
  SetPixel(img.dc, 0, 0, RGB(255, 0, 0));
  SetPixel(img.dc, 2, 0, RGB(0, 0, 255));  // white pixels 1 and 3 are transparent
  RECT all{0, 0, 4, 1};
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(dst.dc, &all, green);
  HDC maskDc = CreateCompatibleDC(nullptr);
  HBITMAP mask = CreateBitmap(4, 1, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(maskDc, mask);
  SetBkColor(img.dc, RGB(255, 255, 255));
  ASSERT_TRUE(BitBlt(maskDc, 0, 0, 4, 1, img.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(maskDc, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(maskDc, 1, 0), RGB(255, 255, 255));
  SetBkColor(dst.dc, RGB(255, 255, 255));
  SetTextColor(dst.dc, RGB(0, 0, 0));
  BitBlt(dst.dc, 0, 0, 4, 1, maskDc, 0, 0, SRCAND);    // holes where the picture goes
  SetBkColor(img.dc, RGB(0, 0, 0));
  SetTextColor(img.dc, RGB(255, 255, 255));
  BitBlt(img.dc, 0, 0, 4, 1, maskDc, 0, 0, SRCAND);    // transparent pixels to black
  BitBlt(dst.dc, 0, 0, 4, 1, img.dc, 0, 0, SRCPAINT);  // picture into the holes
  EXPECT_EQ(dst.At(0, 0), kRed);
  EXPECT_EQ(dst.At(1, 0), kGreen);
  EXPECT_EQ(dst.At(2, 0), kBlue);
  EXPECT_EQ(dst.At(3, 0), kGreen);
  SelectObject(maskDc, old);
  DeleteDC(maskDc);
  DeleteObject(mask);
  DeleteObject(green);
}

}  // namespace
