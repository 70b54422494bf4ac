#include <gtest/gtest.h>

#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "platform/text/TextRaster.h"
#include "support/TestSupport.h"

using nx::text::DrawTextRun;
using nx::text::TextRasterState;

namespace {

struct Canvas {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 600, 160);
  cairo_t *cr = cairo_create(surface);
  Canvas() {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
  }
  ~Canvas() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  // Bounding box of pixels darker than mid grey (right/bottom exclusive).
  RECT Ink() {
    cairo_surface_flush(surface);
    unsigned char *d = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    RECT r{600, 160, -1, -1};
    for (int y = 0; y < 160; ++y)
      for (int x = 0; x < 600; ++x) {
        uint32_t p = *reinterpret_cast<uint32_t *>(d + y * stride + 4 * x);
        if (((p >> 8) & 0xFF) < 128) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
      }
    return r;
  }
};

std::shared_ptr<nx::text::SizedFont> Font(LONG height, BYTE underline = 0, LONG escapement = 0) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfUnderline = underline;
  lf.lfEscapement = escapement;
  const char16_t name[] = u"Arial";
  for (size_t i = 0; name[i]; ++i) lf.lfFaceName[i] = WCHAR(name[i]);
  return nx::text::ResolveFont(lf);
}

const std::u16string kText = u"Hello, Wörld";
const WCHAR *W() { return reinterpret_cast<const WCHAR *>(kText.data()); }

TEST(TextRaster, TopLeftTextLiesInItsCell) {
  Canvas c;
  auto font = Font(-40);
  long w = DrawTextRun(c.cr, *font, 20, 30, W(), kText.size(), nullptr, TextRasterState{});
  EXPECT_EQ(font->Extent(W(), kText.size()), w);
  RECT ink = c.Ink();
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.left, 26);
  EXPECT_LE(ink.right, 20 + w + 1);
  EXPECT_GT(ink.right, 20 + w - 10);
  EXPECT_GE(ink.top, 30);
  EXPECT_LE(ink.bottom, 30 + font->Metrics().tmHeight);
  cairo_surface_write_to_png(c.surface, (nxtest::BinaryDir() / "text_raster_topleft.png").c_str());
}

TEST(TextRaster, RightBaselineAndClipping) {
  Canvas c;
  auto font = Font(-40);
  TextRasterState st;
  st.align = 2 | 24;  // TA_RIGHT | TA_BASELINE
  DrawTextRun(c.cr, *font, 500, 100, W(), kText.size(), nullptr, st);
  RECT ink = c.Ink();
  EXPECT_LE(ink.right, 501);
  EXPECT_LT(ink.top, 100);
  EXPECT_LE(ink.bottom, 100 + font->Metrics().tmDescent);
  Canvas clipped;
  RECT box{0, 0, 120, 160};
  st.options = 4;  // ETO_CLIPPED
  st.rect = &box;
  st.align = 0;
  DrawTextRun(clipped.cr, *font, 20, 30, W(), kText.size(), nullptr, st);
  EXPECT_LE(clipped.Ink().right, 120);
}

TEST(TextRaster, DxSpacingUnderlineOpaqueAndRotation) {
  Canvas c;
  auto font = Font(-30, 1);
  std::vector<INT> dx(kText.size(), 40);
  TextRasterState st;
  DrawTextRun(c.cr, *font, 10, 10, W(), kText.size(), dx.data(), st);
  RECT ink = c.Ink();
  EXPECT_GT(ink.right, 10 + 40 * 11);  // spread out by the advances
  EXPECT_LE(ink.left, 11);             // the underline starts at the origin
  Canvas opaque;
  RECT box{5, 5, 200, 60};
  st.options = 2;  // ETO_OPAQUE
  st.rect = &box;
  st.bkColor = RGB(0, 0, 0);
  DrawTextRun(opaque.cr, *font, 10, 10, nullptr, 0, nullptr, st);  // no text: the rectangle alone
  EXPECT_EQ(box.left, opaque.Ink().left);
  EXPECT_EQ(box.bottom, opaque.Ink().bottom);
  Canvas rotated;
  auto up = Font(-30, 0, 900);  // 90 degrees: reads bottom to top
  DrawTextRun(rotated.cr, *up, 100, 150, W(), 5, nullptr, TextRasterState{});
  RECT r = rotated.Ink();
  EXPECT_GT(r.bottom - r.top, r.right - r.left);
  EXPECT_LE(r.bottom, 151);
  cairo_surface_write_to_png(c.surface, (nxtest::BinaryDir() / "text_raster_dx.png").c_str());
  cairo_surface_write_to_png(rotated.surface, (nxtest::BinaryDir() / "text_raster_rotated.png").c_str());
}

}  // namespace

namespace {

// Leftmost dark pixel of row y, or -1.
int LeftInk(cairo_surface_t *s, int y) {
  cairo_surface_flush(s);
  unsigned char *d = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int x = 0; x < cairo_image_surface_get_width(s); ++x)
    if (((*reinterpret_cast<uint32_t *>(d + y * stride + 4 * x) >> 8) & 0xFF) < 128) return x;
  return -1;
}

TEST(TextRaster, ItalicOfAFaceWithoutOneIsSlanted) {
  // The upright face asked for in italic: the stroke of an "l" leans right.
  auto upright = Font(-100);
  ASSERT_TRUE(upright);
  LOGFONTW lf = upright->Logical();
  lf.lfItalic = 1;
  nx::text::SizedFont slanted(upright->SharedFace(), lf);
  ASSERT_FALSE(upright->Face().Face()->style_flags & FT_STYLE_FLAG_ITALIC);
  for (bool italic : {false, true}) {
    Canvas c;
    TextRasterState st;
    st.align = TA_BASELINE;
    DrawTextRun(c.cr, italic ? slanted : *upright, 100, 120, NXW("l"), 1, nullptr, st);
    int top = LeftInk(c.surface, 120 - 60), bottom = LeftInk(c.surface, 118);
    ASSERT_GE(top, 0);
    ASSERT_GE(bottom, 0);
    if (italic) {
      EXPECT_GT(top - bottom, 5);
    } else {
      EXPECT_EQ(top, bottom);
    }
  }
}

}  // namespace
