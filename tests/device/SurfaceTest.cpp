// What a surface leaves behind text and in hatched shapes, on a raster
// context of 24-bit pixels.
#include <gtest/gtest.h>

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
    // 96 x 48 screen pixels: the frame plays back at 1:1 onto the target.
    const RECT frame{0, 0, 2540, 1270};
    HDC meta = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    nx::TSurface surface;
    surface.Attach(meta);
    surface.Draw(3, 4, image.Deselect());
    surface.Attach(nullptr);
    HENHMETAFILE emf = CloseEnhMetaFile(meta);
    int bpp = 0;
    auto find = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
      if (r->iType == EMR_BITBLT) {
        const auto *blt = reinterpret_cast<const EMRBITBLT *>(r);
        const auto *bih = reinterpret_cast<const BITMAPINFOHEADER *>(reinterpret_cast<const uint8_t *>(r) + blt->offBmiSrc);
        *reinterpret_cast<int *>(p) = bih->biBitCount;
      }
      return 1;
    };
    EnumEnhMetaFile(nullptr, emf, find, &bpp, nullptr);
    EXPECT_EQ(bpp, c.bpp) << c.colours << " colours";
    // Played back at 1:1, every pixel is the bitmap's.
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 96, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, target);
    const RECT all{0, 0, 96, 48};
    ASSERT_TRUE(PlayEnhMetaFile(dc, emf, &all));
    GdiFlush();
    int wrong = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x)
        wrong += (static_cast<uint32_t *>(bits)[(y + 4) * 96 + x + 3] & 0xFFFFFF) != (image.Row(y)[x] & 0xFFFFFF);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    DeleteEnhMetaFile(emf);
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
