// MaskBlt: the mask's set bits take the foreground operation, the others
// the background one; recorded and played back it draws the same, and a
// MASKBLT record from another writer plays by its mask's bit values.
// PlgBlt: a source on a turned, mirrored or sheared parallelogram.
#include <gtest/gtest.h>

#include "ReplayCompare.h"
#include "gdi/EmfTestUtil.h"

using drawtest::Canvas;
using drawtest::Recorded;
using namespace replay;

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;

// A 16 x 16 source, red on the left half and blue on the right, and a
// mask whose top half is set (rows of 0xFFFF) and bottom half clear.
struct Sources {
  Canvas src{16, 16};
  HBITMAP mask;
  Sources() {
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) src.bits[y * 16 + x] = x < 8 ? kRed : kBlue;
    uint16_t rows[16];
    for (int y = 0; y < 16; ++y) rows[y] = y < 8 ? 0xFFFF : 0x0000;
    mask = CreateBitmap(16, 16, 1, 1, rows);
  }
  ~Sources() { DeleteObject(mask); }
};

TEST(MaskBlt, SetBitsTakeTheForegroundAndClearBitsTheBackground) {
  Sources s;
  auto draw = [&s](HDC dc) {
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT all{0, 0, kW, kH};
    FillRect(dc, &all, green);
    DeleteObject(green);
    // Copy where set, keep the destination elsewhere.
    MaskBlt(dc, 10, 10, 16, 16, s.src.dc, 0, 0, s.mask, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029));
    // Copy where set, black elsewhere; the mask read from (0, 4).
    MaskBlt(dc, 40, 10, 16, 12, s.src.dc, 0, 0, s.mask, 0, 4, MAKEROP4(SRCCOPY, BLACKNESS));
    // No mask: the foreground operation alone.
    MaskBlt(dc, 70, 10, 16, 16, s.src.dc, 0, 0, nullptr, 0, 0, MAKEROP4(SRCCOPY, BLACKNESS));
  };
  Canvas direct(kW, kH);
  ExpectSameAsDirect(draw, "mask blits", &direct);
  EXPECT_EQ(direct.At(10, 10), kRed);
  EXPECT_EQ(direct.At(25, 17), kBlue);
  EXPECT_EQ(direct.At(12, 18), kGreen) << "clear bit: the destination stays";
  EXPECT_EQ(direct.At(26, 10), kGreen) << "outside the blit";
  EXPECT_EQ(direct.At(41, 13), kRed) << "mask row 7 is set";
  EXPECT_EQ(direct.At(41, 14), 0u) << "mask row 8 is clear: black";
  EXPECT_EQ(direct.At(41, 22), kGreen) << "12 rows only";
  EXPECT_EQ(direct.At(80, 25), kBlue);

  Canvas c(8, 8);
  EXPECT_FALSE(MaskBlt(c.dc, 0, 0, 16, 16, s.src.dc, 0, 0, s.mask, 4, 0, SRCCOPY))
      << "the mask is too small";
  HBITMAP colour = CreateBitmap(16, 16, 1, 32, nullptr);
  EXPECT_FALSE(MaskBlt(c.dc, 0, 0, 4, 4, s.src.dc, 0, 0, colour, 0, 0, SRCCOPY))
      << "the mask must be monochrome";
  DeleteObject(colour);
}

// A MASKBLT record as another writer emits it: a 4 x 4 32-bpp source and a
// 1-bpp bottom-up mask whose colour table lists white first.
std::vector<uint8_t> MaskBltRecord(DWORD rop, const uint32_t src[16], const uint8_t maskRows[4]) {
  std::vector<uint8_t> b;
  using emftest::Append;
  Append(b, RECTL{10, 10, 13, 13});
  for (LONG v : {10, 10, 4, 4}) Append(b, v);
  Append(b, rop);
  Append(b, (LONG)0);
  Append(b, (LONG)0);
  Append(b, XFORM{1, 0, 0, 1, 0, 0});
  Append(b, (COLORREF)0);
  Append(b, (DWORD)DIB_RGB_COLORS);
  for (DWORD v : {128u, 40u, 168u, 64u}) Append(b, v);
  Append(b, (LONG)0);
  Append(b, (LONG)0);
  Append(b, (DWORD)DIB_RGB_COLORS);
  for (DWORD v : {232u, 48u, 280u, 16u}) Append(b, v);
  Append(b, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 4, -4, 1, 32, BI_RGB, 64, 0, 0, 0, 0});
  for (int i = 0; i < 16; ++i) Append(b, src[i]);
  Append(b, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 4, 4, 1, 1, BI_RGB, 16, 0, 0, 2, 0});
  Append(b, (uint32_t)0xFFFFFF);
  Append(b, (uint32_t)0x000000);
  for (int y = 3; y >= 0; --y) Append(b, (uint32_t)maskRows[y]);  // bottom row first
  return b;
}

TEST(MaskBlt, AForeignMaskBltRecordPlaysByTheMaskBits) {
  uint32_t src[16];
  for (int i = 0; i < 16; ++i) src[i] = i % 2 ? kRed : kBlue;
  const uint8_t rows[4] = {0xF0, 0x80, 0x00, 0x30};  // top row first; high bit = left pixel
  emftest::EmfBuilder e({0, 0, 5080, 2540}, 1);
  e.AddBytes(EMR_MASKBLT, MaskBltRecord(MAKEROP4(SRCCOPY, 0x00AA0029), src, rows));
  auto bytes = e.Image();
  HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bytes.size(), bytes.data());
  ASSERT_NE(emf, nullptr);
  Canvas played(kW, kH);
  Play(emf, &played);
  DeleteEnhMetaFile(emf);
  std::string got;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      uint32_t p = played.At(10 + x, 10 + y);
      got += p == kRed ? 'r' : p == kBlue ? 'b' : p == 0xFFFFFF ? '.' : '?';
    }
    got += '\n';
  }
  EXPECT_EQ(got, "brbr\nb...\n....\n..br\n");
}

}  // namespace

namespace {

TEST(PlgBlt, SourcesLandOnTurnedAndMirroredParallelograms) {
  Sources s;
  auto draw = [&s](HDC dc) {
    POINT same[3] = {{10, 10}, {26, 10}, {10, 26}};
    PlgBlt(dc, same, s.src.dc, 0, 0, 16, 16, nullptr, 0, 0);
    POINT turned[3] = {{76, 10}, {76, 26}, {60, 10}};  // a quarter turn clockwise
    PlgBlt(dc, turned, s.src.dc, 0, 0, 16, 16, nullptr, 0, 0);
    POINT mirrored[3] = {{120, 10}, {104, 10}, {120, 26}};
    PlgBlt(dc, mirrored, s.src.dc, 0, 0, 16, 16, s.mask, 0, 0);
    POINT sheared[3] = {{140, 40}, {172, 40}, {150, 80}};  // twice the size, leaning
    PlgBlt(dc, sheared, s.src.dc, 0, 0, 16, 16, nullptr, 0, 0);
  };
  Canvas direct(kW, kH), blitted(kW, kH);
  ExpectSameAsDirect(draw, "parallelogram blits", &direct);
  BitBlt(blitted.dc, 10, 10, 16, 16, s.src.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(direct.Map(8, 8, 28, 28, kRed), blitted.Map(8, 8, 28, 28, kRed)) << "like a BitBlt";
  EXPECT_EQ(direct.At(70, 12), kRed) << "the source's left half lies on top after the turn";
  EXPECT_EQ(direct.At(70, 22), kBlue);
  EXPECT_EQ(direct.At(118, 12), kRed) << "mirrored: the left half on the right";
  EXPECT_EQ(direct.At(106, 12), kBlue);
  EXPECT_EQ(direct.At(106, 22), 0xFFFFFFu) << "clear mask bits leave the destination";
  EXPECT_EQ(direct.At(146, 42), kRed);
  EXPECT_EQ(direct.At(168, 42), kBlue);
  EXPECT_EQ(direct.At(142, 78), 0xFFFFFFu) << "left of the leaning edge";
  EXPECT_EQ(direct.At(152, 78), kRed);

  auto recs = Recorded(draw);
  int plg = 0;
  for (auto &r : recs) plg += r.type == EMR_PLGBLT;
  EXPECT_EQ(plg, 4);
}

}  // namespace

#include "support/TestSupport.h"

namespace {

// Every record kind these calls write, read by an independent EMF reader.
TEST(PlgBlt, TheNewRecordsOpenInAnIndependentReader) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  nxtest::TempDir tmp;
  std::string path = tmp.file("records.emf"), svg = tmp.file("records.svg");
  Sources s;
  std::u16string wpath(path.begin(), path.end());
  HDC dc = CreateEnhMetaFileW(nullptr, (LPCWSTR)wpath.c_str(), &kFrame, nullptr);
  HRGN rgn = CreateRectRgn(5, 5, 40, 30);
  HBRUSH brush = CreateHatchBrush(HS_CROSS, RGB(200, 0, 0));
  SelectObject(dc, brush);
  FrameRgn(dc, rgn, brush, 2, 2);
  PaintRgn(dc, rgn);
  InvertRgn(dc, rgn);
  MoveToEx(dc, 50, 50, nullptr);
  AngleArc(dc, 70, 50, 15, 0, 270);
  BeginPath(dc);
  Ellipse(dc, 100, 10, 140, 40);
  EndPath(dc);
  FlattenPath(dc);
  WidenPath(dc);
  FillPath(dc);
  MaskBlt(dc, 10, 60, 16, 16, s.src.dc, 0, 0, s.mask, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029));
  POINT turned[3] = {{76, 60}, {76, 76}, {60, 60}};
  PlgBlt(dc, turned, s.src.dc, 0, 0, 16, 16, s.mask, 0, 0);
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  ASSERT_NE(emf, nullptr);
  auto run = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(path) + " -o " +
                                nxtest::ShellQuote(svg));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  auto bytes = nxtest::ReadFileBytes(svg);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("<svg"), std::string::npos);
  EXPECT_NE(text.find("<image"), std::string::npos) << "the blits";
  DeleteEnhMetaFile(emf);
  DeleteObject(rgn);
  DeleteObject(brush);
}

}  // namespace
