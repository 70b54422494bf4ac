// What a surface leaves behind text and in hatched shapes, on a raster
// context of 24-bit pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/MemoryBitmap.h"
#include "device/Surface.h"

namespace {

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 200;
    info.bmiHeader.biHeight = -60;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    dc_ = CreateCompatibleDC(nullptr);
    dib_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    old_ = SelectObject(dc_, dib_);
    RECT all{0, 0, 200, 60};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    surface_.Attach(dc_);
    surface_.Font().Name = NXW("Courier New");
    surface_.Font().SetSize(20);
  }
  void TearDown() override {
    surface_.Attach(nullptr);
    SelectObject(dc_, old_);
    DeleteObject(dib_);
    DeleteDC(dc_);
  }

  HDC dc_ = nullptr;
  HBITMAP dib_ = nullptr;
  HGDIOBJ old_ = nullptr;
  nx::TSurface surface_;
};

TEST_F(SurfaceTest, TextBackgroundFollowsTheBrushButHatchesKeepTheirGaps) {
  // "_" leaves its cell's top-left corner free of ink.
  surface_.Brush().Style = nx::TBrushStyle::Clear;
  surface_.TextOut(0, 0, NXW("_"));
  EXPECT_EQ(GetPixel(dc_, 1, 1), RGB(255, 255, 255));
  surface_.Brush().Style = nx::TBrushStyle::Solid;
  surface_.Brush().Color = RGB(255, 0, 0);
  surface_.TextOut(50, 0, NXW("_"));
  EXPECT_EQ(GetPixel(dc_, 51, 1), RGB(255, 0, 0));
  surface_.Brush().Style = nx::TBrushStyle::Cross;
  surface_.Brush().Color = RGB(0, 0, 255);
  surface_.TextOut(100, 0, NXW("_"));
  EXPECT_EQ(GetPixel(dc_, 101, 1), RGB(0, 0, 255));
  // The hatch of a shape drawn afterwards still has white gaps.
  surface_.Pen().Style = PS_NULL;
  surface_.Rectangle(0, 40, 200, 60);
  int white = 0;
  for (int x = 0; x < 16; ++x) white += GetPixel(dc_, x, 50) == RGB(255, 255, 255);
  EXPECT_GT(white, 8);
}

// The bitmap drawn at (x, y) through a surface onto a metafile of 96 x 48
// screen pixels, whose frame plays back at 1:1 onto a target of that size.
HENHMETAFILE RecordDraw(HBITMAP bitmap, int x, int y) {
  const RECT frame{0, 0, 2540, 1270};
  HDC meta = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  nx::TSurface surface;
  surface.Attach(meta);
  surface.Draw(x, y, bitmap);
  surface.Attach(nullptr);
  return CloseEnhMetaFile(meta);
}

// The depth of the first bitmap recorded by a BitBlt, 0 when none is.
int RecordedDepth(HENHMETAFILE emf) {
  int bpp = 0;
  auto find = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
    if (r->iType == EMR_BITBLT && *reinterpret_cast<int *>(p) == 0) {
      const auto *blt = reinterpret_cast<const EMRBITBLT *>(r);
      const auto *bih = reinterpret_cast<const BITMAPINFOHEADER *>(reinterpret_cast<const uint8_t *>(r) + blt->offBmiSrc);
      *reinterpret_cast<int *>(p) = bih->biBitCount;
    }
    return 1;
  };
  EnumEnhMetaFile(nullptr, emf, find, &bpp, nullptr);
  return bpp;
}

// The metafile played at 1:1 onto 96 x 48 white pixels, as 0x00RRGGBB, top
// row first.
std::vector<uint32_t> Played(HENHMETAFILE emf) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 96, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, target);
  std::fill_n(static_cast<uint32_t *>(bits), 96 * 48, 0xFFFFFFu);
  const RECT all{0, 0, 96, 48};
  EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &all));
  GdiFlush();
  std::vector<uint32_t> out(static_cast<uint32_t *>(bits), static_cast<uint32_t *>(bits) + 96 * 48);
  for (uint32_t &px : out) px &= 0xFFFFFF;
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);
  return out;
}

// Bitmaps of few colours reach a page at 1, 4 or 8 bits with those colours
// (barcodes are two), others at 24; the drawing on the page is the same.
TEST(SurfaceDraw, BitmapsOfFewColoursAreRecordedAtTheirDepth) {
  struct Case {
    int colours, bpp;
  };
  for (Case c : {Case{2, 1}, Case{3, 4}, Case{200, 8}, Case{300, 24}}) {
    nx::TMemoryBitmap image(40, 30);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) image.Row(y)[x] = 0x010203u * uint32_t((x + 40 * y) % c.colours);
    HENHMETAFILE emf = RecordDraw(image.Deselect(), 3, 4);
    EXPECT_EQ(RecordedDepth(emf), c.bpp) << c.colours << " colours";
    // Played back at 1:1, every pixel is the bitmap's.
    const std::vector<uint32_t> page = Played(emf);
    DeleteEnhMetaFile(emf);
    int wrong = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) wrong += page[size_t(y + 4) * 96 + x + 3] != (image.Row(y)[x] & 0xFFFFFF);
    EXPECT_EQ(wrong, 0);
  }
}

// The edges of the reduced copies: widths that end inside a byte, a single
// colour, the last colour counts of each depth and the first beyond, colours
// that differ only in the unused top byte, and sections stored bottom-up.
TEST(SurfaceDraw, ReducedBitmapsKeepEveryPixelAtEveryWidthAndRowOrder) {
  struct Case {
    int w, h, colours, bpp;
    bool bottomUp;
  };
  const Case cases[] = {{1, 1, 1, 1, false},    {7, 5, 2, 1, false},     {9, 3, 2, 1, true},
                        {33, 17, 2, 1, false},  {5, 4, 16, 4, true},     {3, 9, 3, 4, false},
                        {31, 20, 17, 8, false}, {80, 40, 256, 8, true},  {80, 40, 257, 24, false}};
  for (const Case &c : cases) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), c.w, c.bottomUp ? c.h : -c.h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    // Pixel (x, y) counted from the top, whichever way the rows are stored;
    // every colour appears, the top byte varies and is no part of it.
    auto at = [&](int x, int y) -> uint32_t & {
      const int row = c.bottomUp ? c.h - 1 - y : y;
      return static_cast<uint32_t *>(bits)[size_t(row) * size_t(c.w) + size_t(x)];
    };
    auto colour = [&](int x, int y) { return 0x3F1D07u * uint32_t((x * 5 + y * 3 + x * y) % c.colours) & 0xFFFFFF; };
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) at(x, y) = colour(x, y) | uint32_t((x + y) & 3) << 24;
    for (int i = 0; i < c.colours && i < c.w * c.h; ++i) at(i % c.w, i / c.w) = 0x3F1D07u * uint32_t(i) & 0xFFFFFF;
    HENHMETAFILE emf = RecordDraw(section, 2, 3);
    const std::string what = std::to_string(c.w) + " x " + std::to_string(c.h) + ", " + std::to_string(c.colours) +
                             " colours" + (c.bottomUp ? ", bottom-up" : "");
    EXPECT_EQ(RecordedDepth(emf), c.bpp) << what;
    const std::vector<uint32_t> page = Played(emf);
    DeleteEnhMetaFile(emf);
    int wrong = 0, untouched = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 96; ++x) {
        const bool inside = x >= 2 && x < 2 + c.w && y >= 3 && y < 3 + c.h;
        const uint32_t px = page[size_t(y) * 96 + size_t(x)];
        if (inside) wrong += px != (at(x - 2, y - 3) & 0xFFFFFF);
        else untouched += px == 0xFFFFFF;
      }
    EXPECT_EQ(wrong, 0) << what;
    EXPECT_EQ(untouched, 96 * 48 - c.w * c.h) << what;
    DeleteObject(section);
  }
}

}  // namespace
