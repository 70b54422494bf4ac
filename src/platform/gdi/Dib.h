// Device-independent bitmaps: parsing (with every size checked against
// the bytes available), conversion to and from Cairo image surfaces.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace nx::gdi {

struct DibView {
  BITMAPINFOHEADER h{};
  int width = 0, height = 0;  // height positive
  bool topDown = false;
  int bpp = 0;
  size_t stride = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  uint32_t masks[3] = {0, 0, 0};
  const uint8_t *bits = nullptr;
  size_t bitsSize = 0;  // bytes available at bits
  size_t infoSize = 0;  // header + colour table (+ masks)
  // Pixel (x, y) with y counted from the top, as 0x00RRGGBB.
  uint32_t Pixel(int x, int y) const;
  // Row y (counted from the top) as 0x00RRGGBB pixels, each ORed with
  // `set`: the whole row's worth of Pixel, converted a row at a time.
  void Row(int y, uint32_t *out, uint32_t set = 0) const;
  // Rows present in bits (a DIB may carry fewer than its height).
  int Rows() const { return stride ? (int)std::min<size_t>(bitsSize / stride, (size_t)height) : 0; }
};

// The index of the palette entry (0x00RRGGBB each) nearest to a colour.
uint8_t NearestIndex(uint32_t rgb, const std::vector<uint32_t> &pal);

// Reads a BITMAPINFO of at most infoMax bytes. DIB_PAL_COLORS tables are
// taken as indices into the default palette. False on anything unsound.
bool ParseDibInfo(const void *info, size_t infoMax, UINT usage, DibView *out);
// Attaches bits (bitsSize bytes available) to a parsed view; false when
// the bits cannot hold one row.
bool AttachDibBits(DibView *v, const void *bits, size_t bitsSize);
// Size of header + colour table + bits of a packed DIB, 0 if unsound.
size_t PackedDibSize(const BITMAPINFO *bmi, size_t maxSize, UINT usage);
// Row stride of a DIB row.
inline size_t DibStride(int width, int bpp) { return (((size_t)width * (size_t)bpp + 31) / 32) * 4; }

// A new RGB24 image surface (top-down) holding rows [0, v.Rows()) of the DIB;
// rows beyond the bits are left black.
cairo_surface_t *DibToSurface(const DibView &v);
// Writes a surface region as a bottom-up DIB of 1, 4, 8, 16, 24 or 32 bpp
// into bits (stride DibStride(w, bpp)), rows [startScan, startScan+lines)
// counted from the bottom. Fills the colour table of bmi for <= 8 bpp.
void SurfaceToDibRows(cairo_surface_t *s, int w, int h, BITMAPINFO *bmi, uint8_t *bits,
                      int startScan, int lines, bool topDown);
// A packed 24-bpp bottom-up DIB (BITMAPINFOHEADER + bits) of a surface area.
void SurfaceToPackedDib(cairo_surface_t *s, int x, int y, int w, int h,
                        std::vector<uint8_t> *out, size_t *infoSize);
// A packed bottom-up DIB of 1, 4 or 8 bpp with the given colour table
// (0x00RRGGBB each, at most 1 << bpp) of the top-left w x h of a surface
// whose pixels are colours of the table; another colour takes the nearest.
// (x, y) moves the area within the surface.
void SurfaceToPackedPaletteDib(cairo_surface_t *s, int w, int h, const std::vector<uint32_t> &palette, int bpp,
                               std::vector<uint8_t> *out, size_t *infoSize, int x = 0, int y = 0);
// The packed bottom-up DIB that a blit records for the top-based area
// (x, y, w, h) of a DIB section holding this DIB (bits attached, all rows),
// built from the DIB's own bits, for an area inside the DIB:
// - 1, 4 or 8 bpp BI_RGB: at its own depth with its own table, each pixel
//   the index of the table's first entry of its colour (or the nearest);
// - 16, 24 or 32 bpp BI_RGB: at 24 bpp.
// False (out untouched) for any other DIB or area.
bool DibAreaToPackedDib(const DibView &v, int x, int y, int w, int h, std::vector<uint8_t> *out,
                        size_t *infoSize);

}  // namespace nx::gdi
