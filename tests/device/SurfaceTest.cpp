// What a surface leaves behind text and in hatched shapes, on a raster
// context of 24-bit pixels.
#include <gtest/gtest.h>

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

}  // namespace
