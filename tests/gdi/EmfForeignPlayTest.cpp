// Playing the metafiles other programs write: isotropic mappings with a
// flipped axis, user-styled geometric pens, block transfers and text under
// a turning world transform, and thin lines with sharp corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "gdi/DrawTestSupport.h"
#include "gdi/EmfTestUtil.h"

using namespace emftest;

namespace {

// EmfBuilder's frame: 480 x 360 reference pixels, played 1:1 onto a canvas.
const RECTL kFrame{0, 0, 12700, 9525};
const RECT kRect{0, 0, 480, 360};
const RECT kFrameHmm{0, 0, 12700, 9525};

HENHMETAFILE Make(const EmfBuilder &b) {
  auto img = b.Image();
  return SetEnhMetaFileBits((UINT)img.size(), img.data());
}

void Play(drawtest::Canvas &c, HENHMETAFILE emf) {
  ASSERT_NE(emf, nullptr);
  EXPECT_TRUE(PlayEnhMetaFile(c.dc, emf, &kRect));
  DeleteEnhMetaFile(emf);
}

// The inclusive box of the pixels that are not white; false when none.
bool InkBox(const drawtest::Canvas &c, RECT *box) {
  *box = {c.w, c.h, -1, -1};
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x)
      if (c.At(x, y) != 0xFFFFFF) {
        box->left = std::min<LONG>(box->left, x), box->right = std::max<LONG>(box->right, x);
        box->top = std::min<LONG>(box->top, y), box->bottom = std::max<LONG>(box->bottom, y);
      }
  return box->right >= 0;
}

constexpr DWORD kRed = RGB(255, 0, 0);

TEST(EmfForeignPlay, IsotropicExtentsKeepTheirSigns) {
  // Window 800 x -600 onto a viewport 400 x -310: the y extent shrinks to
  // -300 and keeps its sign; the two negative extents make y grow downwards.
  EmfBuilder b(kFrame, 2);
  b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kRed, 0})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SETMAPMODE, {MM_ISOTROPIC})
      .Add(EMR_SETWINDOWEXTEX, {800, (DWORD)-600})
      .Add(EMR_SETVIEWPORTEXTEX, {400, (DWORD)-310})
      .Add(EMR_SETVIEWPORTORGEX, {40, 30})
      .Add(EMR_RECTANGLE, {100, 100, 700, 500});  // device x 90..390, y 80..280
  drawtest::Canvas c(480, 360);
  Play(c, Make(b));
  EXPECT_EQ(c.At(240, 180), 0xFF0000u);
  EXPECT_EQ(c.At(100, 90), 0xFF0000u);
  EXPECT_EQ(c.At(240, 300), 0xFFFFFFu);
  EXPECT_EQ(c.At(240, 60), 0xFFFFFFu);

  // The same rule on a DC of its own: each extent keeps its sign.
  HDC dc = CreateCompatibleDC(nullptr);
  SetMapMode(dc, MM_ISOTROPIC);
  SetWindowExtEx(dc, 800, -600, nullptr);
  SetViewportExtEx(dc, 400, -310, nullptr);
  SIZE vp{};
  GetViewportExtEx(dc, &vp);
  EXPECT_EQ(vp.cx, 400);
  EXPECT_EQ(vp.cy, -300);
  SetWindowExtEx(dc, -100, 100, nullptr);
  SetViewportExtEx(dc, -50, 80, nullptr);
  GetViewportExtEx(dc, &vp);
  EXPECT_EQ(vp.cx, -50);
  EXPECT_EQ(vp.cy, 50);
  DeleteDC(dc);
}

// A geometric pen with a user style of 40 on, 40 off (logical units) under
// a mapping of 4 logical units to the pixel: 10-pixel dashes.
TEST(EmfForeignPlay, UserStyleDashesOfGeometricPensScaleWithTheMapping) {
  EmfBuilder b(kFrame, 2);
  DWORD style = PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT;
  b.Add(EMR_EXTCREATEPEN, {1, 0, 0, 0, 0, style, 8, BS_SOLID, 0, 0, 2, 40, 40})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .Add(EMR_SETWINDOWEXTEX, {400, 400})
      .Add(EMR_SETVIEWPORTEXTEX, {100, 100})
      .Add(EMR_SETBKMODE, {TRANSPARENT})
      .Add(EMR_POLYLINE, {0, 0, 400, 101, 2, 0, 400, 1600, 400});
  drawtest::Canvas c(480, 360);
  Play(c, Make(b));
  std::string row;
  for (int x = 0; x < 80; ++x) row += c.At(x, 100) == 0 ? '#' : '.';
  std::string want;
  for (int k = 0; k < 4; ++k) want += std::string(10, '#') + std::string(10, '.');
  EXPECT_EQ(row, want);
}

TEST(EmfForeignPlay, OnePixelLinesHaveNoMitreSpikes) {
  // A 20-degree corner at (300, 135): GDI stops at the corner pixel.
  EmfBuilder b(kFrame, 1);
  b.Add(EMR_SELECTOBJECT, {ENHMETA_STOCK_OBJECT | BLACK_PEN})
      .Add(EMR_POLYLINE, {100, 100, 300, 170, 3, 100, 100, 300, 135, 100, 170});
  drawtest::Canvas c(480, 360);
  Play(c, Make(b));
  RECT box;
  ASSERT_TRUE(InkBox(c, &box));
  EXPECT_LE(box.right, 300) << "ink reaches x = " << box.right;
  EXPECT_GE(box.right, 299);
  // A right angle keeps its corner pixel.
  EmfBuilder sq(kFrame, 1);
  sq.Add(EMR_SELECTOBJECT, {ENHMETA_STOCK_OBJECT | BLACK_PEN})
      .Add(EMR_POLYLINE, {50, 50, 150, 150, 3, 50, 50, 150, 50, 150, 150});
  drawtest::Canvas c2(480, 360);
  Play(c2, Make(sq));
  EXPECT_EQ(c2.At(150, 50), 0u);
  EXPECT_EQ(c2.At(151, 50), 0xFFFFFFu);
  EXPECT_EQ(c2.At(150, 49), 0xFFFFFFu);
}

// A 2 x 1 image, red then blue, in a memory DC.
struct TwoColourSource {
  TwoColourSource() {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    static_cast<uint32_t *>(bits)[0] = 0xFF0000;  // red (0x00RRGGBB)
    static_cast<uint32_t *>(bits)[1] = 0x0000FF;  // blue
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    info = bi;
    px[0] = 0xFF0000, px[1] = 0x0000FF;
  }
  ~TwoColourSource() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  HDC dc;
  HBITMAP bm;
  HGDIOBJ old;
  BITMAPINFO info;
  uint32_t px[2];
};

// Records `blit` under a quarter turn: logical (x, y) lands on device
// (300 - y, 100 + x), so a 100 x 50 destination covers x 250..300 and
// y 100..200, the image's left half on top.
HENHMETAFILE TurnedBlit(const std::function<void(HDC, TwoColourSource &)> &blit) {
  TwoColourSource src;
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrameHmm, nullptr);
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM turn{0, 1, -1, 0, 300, 100};
  SetWorldTransform(dc, &turn);
  blit(dc, src);
  return CloseEnhMetaFile(dc);
}

TEST(EmfForeignPlay, BlitsUnderATurningWorldTransformTurnTheImage) {
  std::vector<std::pair<const char *, std::function<void(HDC, TwoColourSource &)>>> cases = {
      {"BITBLT", [](HDC dc, TwoColourSource &s) {
         // 100 x 50 at one pixel per unit would need a 100 x 50 source:
         // StretchBlt with an equal size is recorded as BITBLT.
         HDC big = CreateCompatibleDC(nullptr);
         HBITMAP bm = CreateCompatibleBitmap(s.dc, 100, 50);
         HGDIOBJ old = SelectObject(big, bm);
         StretchBlt(big, 0, 0, 100, 50, s.dc, 0, 0, 2, 1, SRCCOPY);
         BitBlt(dc, 0, 0, 100, 50, big, 0, 0, SRCCOPY);
         SelectObject(big, old);
         DeleteObject(bm);
         DeleteDC(big);
       }},
      {"STRETCHBLT", [](HDC dc, TwoColourSource &s) { StretchBlt(dc, 0, 0, 100, 50, s.dc, 0, 0, 2, 1, SRCCOPY); }},
      {"STRETCHDIBITS", [](HDC dc, TwoColourSource &s) {
         StretchDIBits(dc, 0, 0, 100, 50, 0, 0, 2, 1, s.px, &s.info, DIB_RGB_COLORS, SRCCOPY);
       }},
  };
  for (auto &[name, blit] : cases) {
    SCOPED_TRACE(name);
    drawtest::Canvas c(480, 360);
    Play(c, TurnedBlit(blit));
    EXPECT_EQ(c.At(260, 110), 0xFF0000u);  // left half of the image: the top
    EXPECT_EQ(c.At(290, 140), 0xFF0000u);
    EXPECT_EQ(c.At(260, 190), 0x0000FFu);
    EXPECT_EQ(c.At(290, 160), 0x0000FFu);
    RECT box;
    ASSERT_TRUE(InkBox(c, &box));
    EXPECT_EQ(box.left, 250);
    EXPECT_EQ(box.right, 299);
    EXPECT_EQ(box.top, 100);
    EXPECT_EQ(box.bottom, 199);
  }
}

TEST(EmfForeignPlay, BlitsUnderAnEighthTurnFillAParallelogram) {
  // 45 degrees about the origin, then to (240, 60): a 100 x 100 square
  // becomes a diamond with its corners at (240, 60), (311, 131), (240, 201)
  // and (169, 131).
  double k = std::sqrt(0.5);
  XFORM turn{(FLOAT)k, (FLOAT)k, (FLOAT)-k, (FLOAT)k, 240, 60};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrameHmm, nullptr);
  SetGraphicsMode(dc, GM_ADVANCED);
  SetWorldTransform(dc, &turn);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(dc, blue);
  PatBlt(dc, 0, 0, 100, 100, PATCOPY);
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(blue);
  TwoColourSource s;
  StretchDIBits(dc, 200, 0, 100, 100, 0, 0, 2, 1, s.px, &s.info, DIB_RGB_COLORS, SRCCOPY);
  drawtest::Canvas c(480, 360);
  Play(c, CloseEnhMetaFile(dc));
  EXPECT_EQ(c.At(240, 131), 0x0000FFu);  // the diamond's centre
  EXPECT_EQ(c.At(175, 75), 0xFFFFFFu);   // its bounding box's corners stay white
  EXPECT_EQ(c.At(305, 195), 0xFFFFFFu);
  EXPECT_EQ(c.At(250, 195), 0xFFFFFFu) << "outside the lower corner";
  // The image's square starts at logical (200, 0): device (381, 201).
  EXPECT_EQ(c.At(381, 215), 0xFF0000u);  // near its first corner: red
  EXPECT_EQ(c.At(381, 340), 0x0000FFu);  // near the opposite corner: blue
  EXPECT_EQ(c.At(440, 215), 0xFFFFFFu);
}

// Charts draw their labels from monochrome bitmaps with DSPDxax: the brush
// where the bitmap is white, the destination kept where it is black (and
// PSDPxax the other way round).
TEST(EmfForeignPlay, MonochromeBitmapsPaintTheBrushThroughTheirBits) {
  struct {
    DWORD rop;
    uint32_t left, right;
  } cases[] = {{0x00E20746, 0xFF0000, 0x0000FF}, {0x00B8074A, 0x0000FF, 0xFF0000}};
  for (auto &k : cases) {
    SCOPED_TRACE(k.rop);
    // A 2 x 1 bitmap: white, then black.
    struct {
      BITMAPINFOHEADER h;
      RGBQUAD colours[2];
    } bi{{sizeof(BITMAPINFOHEADER), 2, 1, 1, 1, BI_RGB, 4, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    const uint8_t bits[4] = {0x80, 0, 0, 0};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrameHmm, nullptr);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255)), red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(dc, blue);
    PatBlt(dc, 0, 0, 480, 360, PATCOPY);
    SelectObject(dc, red);
    StretchDIBits(dc, 100, 100, 100, 50, 0, 0, 2, 1, bits, reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS,
                  k.rop);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(blue);
    DeleteObject(red);
    drawtest::Canvas c(480, 360);
    Play(c, CloseEnhMetaFile(dc));
    EXPECT_EQ(c.At(120, 120), k.left);
    EXPECT_EQ(c.At(180, 120), k.right);
    EXPECT_EQ(c.At(50, 50), 0x0000FFu);
  }
}

// Charts shade shapes with the binary raster operations: each channel is
// combined bit by bit with the destination, whatever its value. Pen
// 0xC0300F over 0x4080C0 (expected values as Wine's GDI draws them).
TEST(EmfForeignPlay, BinaryRasterOperationsCombineTheBits) {
  struct {
    int rop2;
    uint32_t want;
  } cases[] = {{R2_NOTMERGEPEN, 0x3F4F30}, {R2_MASKNOTPEN, 0x0080C0}, {R2_XORPEN, 0x80B0CF},
               {R2_MASKPEN, 0x400000},     {R2_MERGEPENNOT, 0xFF7F3F}, {R2_NOT, 0xBF7F3F},
               {R2_NOTXORPEN, 0x7F4F30}};
  const DWORD ground = RGB(0x40, 0x80, 0xC0), ink = RGB(0xC0, 0x30, 0x0F);
  for (auto &k : cases) {
    SCOPED_TRACE(k.rop2);
    EmfBuilder b(kFrame, 4);
    b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, ground, 0})
        .Add(EMR_SELECTOBJECT, {1})
        .Add(EMR_SELECTOBJECT, {ENHMETA_STOCK_OBJECT | NULL_PEN})
        .Add(EMR_RECTANGLE, {0, 0, 480, 360})
        .Add(EMR_CREATEBRUSHINDIRECT, {2, BS_SOLID, ink, 0})
        .Add(EMR_SELECTOBJECT, {2})
        .Add(EMR_SETROP2, {(DWORD)k.rop2})
        .Add(EMR_RECTANGLE, {100, 100, 200, 200})
        .Add(EMR_CREATEPEN, {3, PS_SOLID, 9, 0, ink})
        .Add(EMR_SELECTOBJECT, {3})
        .Add(EMR_MOVETOEX, {100, 300})
        .Add(EMR_LINETO, {300, 300});
    drawtest::Canvas c(480, 360);
    Play(c, Make(b));
    EXPECT_EQ(c.At(150, 150), k.want) << std::hex << c.At(150, 150);  // the brush
    EXPECT_EQ(c.At(200, 300), k.want) << std::hex << c.At(200, 300);  // the pen
    EXPECT_EQ(c.At(50, 50), 0x4080C0u);
    EXPECT_EQ(c.At(250, 150), 0x4080C0u);
  }
}

// A 16 x 16 monochrome STRETCHDIBITS shrunk onto 4 x 4 pixels at (100, 100):
// white but for column `col`, which is black (the other way round with
// `invert`).
std::vector<uint8_t> ShrunkColumn(int col, bool invert) {
  std::vector<DWORD> f = {100, 100, 103, 103, 100, 100, 0, 0, 16, 16, 80, 48, 128, 64, DIB_RGB_COLORS,
                          SRCCOPY, 4, 4};
  BITMAPINFOHEADER h{sizeof h, 16, 16, 1, 1, BI_RGB, 64, 0, 0, 2, 0};
  std::vector<uint8_t> body(4 * f.size());
  std::memcpy(body.data(), f.data(), body.size());
  const uint8_t *hb = reinterpret_cast<const uint8_t *>(&h);
  body.insert(body.end(), hb, hb + sizeof h);
  body.insert(body.end(), {0, 0, 0, 0, 255, 255, 255, 0});  // 0 black, 1 white
  uint16_t bits = (uint16_t)(invert ? 0x8000 >> col : ~(0x8000 >> col));
  for (int y = 0; y < 16; ++y) body.insert(body.end(), {(uint8_t)(bits >> 8), (uint8_t)bits, 0, 0});
  return body;
}

// Shrinking a picture in BLACKONWHITE (the mode every metafile starts in)
// keeps its black lines, WHITEONBLACK its white ones: the pixels that fall
// together are merged with AND or OR, not sampled (scanned tables and
// charts lost their thin lines).
TEST(EmfForeignPlay, ShrinkingKeepsTheLinesTheStretchModeNames) {
  for (int col : {4, 7}) {
    for (bool white : {false, true}) {
      SCOPED_TRACE(testing::Message() << "column " << col << (white ? " WHITEONBLACK" : " BLACKONWHITE"));
      EmfBuilder b(kFrame, 1);
      b.Add(EMR_SETSTRETCHBLTMODE, {(DWORD)(white ? WHITEONBLACK : BLACKONWHITE)})
          .AddBytes(EMR_STRETCHDIBITS, ShrunkColumn(col, white));
      drawtest::Canvas c(480, 360);
      Play(c, Make(b));
      uint32_t line = white ? 0xFFFFFF : 0, ground = white ? 0 : 0xFFFFFF;
      for (int y = 100; y < 104; ++y) {
        EXPECT_EQ(c.At(101, y), line) << "y " << y;
        EXPECT_EQ(c.At(100, y), ground);
        EXPECT_EQ(c.At(102, y), ground);
        EXPECT_EQ(c.At(103, y), ground);
      }
    }
  }
}

// "IIII" in a 40-pixel sans font under a quarter turn, with the text record
// marked as written in `mode`.
HENHMETAFILE TurnedText(DWORD mode) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrameHmm, nullptr);
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM turn{0, 1, -1, 0, 240, 100};
  SetWorldTransform(dc, &turn);
  HFONT font = CreateFontW(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"Arial");
  SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, 0, 0, u"IIII", 4);
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  std::vector<uint8_t> bytes = Bits(emf);
  DeleteEnhMetaFile(emf);
  size_t at = 0;
  for (auto &r : Split(bytes)) {
    if (r.type == EMR_EXTTEXTOUTW) Put32(bytes, at + 24, mode);
    at += r.bytes.size();
  }
  return SetEnhMetaFileBits((UINT)bytes.size(), bytes.data());
}

// The text record's graphics mode decides: in GM_ADVANCED the glyphs turn
// with the world transform, in GM_COMPATIBLE they stay upright and only
// their places follow the turned baseline.
TEST(EmfForeignPlay, TextUnderATurnFollowsTheRecordsGraphicsMode) {
  drawtest::Canvas advanced(480, 360), compatible(480, 360);
  Play(advanced, TurnedText(GM_ADVANCED));
  Play(compatible, TurnedText(GM_COMPATIBLE));
  RECT a, c;
  ASSERT_TRUE(InkBox(advanced, &a));
  ASSERT_TRUE(InkBox(compatible, &c));
  int aw = a.right - a.left + 1, ah = a.bottom - a.top + 1;
  int cw = c.right - c.left + 1, ch = c.bottom - c.top + 1;
  // Advanced: the run goes down from (240, 100), each I lying across with
  // its top to the right, so the glyphs stand left of the reference point;
  // four separate bars cross the middle of the run.
  EXPECT_GT(ah, aw) << aw << " x " << ah;
  EXPECT_GT(aw, 20) << "each I lies across: as wide as an I is tall";
  EXPECT_LE(a.right, 240);
  EXPECT_GE(a.top, 99);
  int runs = 0, mid = (a.left + a.right) / 2;
  for (int y = a.top; y <= a.bottom + 1; ++y)
    runs += advanced.At(mid, y) != 0xFFFFFF && advanced.At(mid, y - 1) == 0xFFFFFF;
  EXPECT_EQ(runs, 4);
  // Compatible: upright I's one below the other, a narrow column taller
  // than one I.
  EXPECT_LT(cw, 12) << cw << " x " << ch;
  EXPECT_GT(ch, 50);
  EXPECT_GE(c.top, 99);
  EXPECT_GE(c.left, 239);
}

}  // namespace
