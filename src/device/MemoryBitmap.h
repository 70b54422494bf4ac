// A memory DC with a 32-bit top-down DIB section selected into it: the image
// that the barcode and QR code components draw into before the device places
// it. The drawing works on the DIB's own memory at this depth, where other
// depths are converted for every call. (A 16-bit one would also turn a white
// background into a light grey 0xF8F8F8 for readers that widen 5-bit values
// by shifting.)
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace nx {

class TMemoryBitmap {
 public:
  TMemoryBitmap() = default;
  // Throws ENxError when the bitmap cannot be made (no pixels, or too many).
  TMemoryBitmap(int32_t width, int32_t height) { SetSize(width, height); }
  ~TMemoryBitmap() { Free(); }
  TMemoryBitmap(const TMemoryBitmap &) = delete;
  TMemoryBitmap &operator=(const TMemoryBitmap &) = delete;

  // Replaces the bitmap by a new one of the given size (contents undefined).
  void SetSize(int32_t width, int32_t height);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  HDC dc() const { return dc_; }
  // The bitmap, no longer selected into the memory DC, so that another DC
  // can take it; the object keeps owning it.
  HBITMAP Deselect();
  // The colour of a pixel, top row first (the rows are stored top-down).
  COLORREF Pixel(int32_t x, int32_t y) const;
  // The pixels of row y, 0x00RRGGBB each, for writing directly; GDI
  // drawing before and after sees what is written.
  uint32_t *Row(int32_t y) { return reinterpret_cast<uint32_t *>(bits_) + size_t(y) * size_t(width_); }
  const uint32_t *Row(int32_t y) const { return reinterpret_cast<const uint32_t *>(bits_) + size_t(y) * size_t(width_); }
  // A colour reference as a pixel value.
  static uint32_t PixelOf(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

  // The largest side a bitmap may have.
  static constexpr int32_t kMaxSide = 32767;

  // A row of w pixels packed at one bit per pixel, the first pixel in the
  // top bit: set for every pixel whose colour (the low 24 bits) is not
  // `zero`. Writes (w + 7) / 8 bytes, the bits past the row cleared.
  static void PackRowOneBit(const uint32_t *in, int32_t w, uint32_t zero, uint8_t *out);

 private:
  void Free();

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint8_t *bits_ = nullptr;
  int32_t width_ = 0, height_ = 0;
};

// A 1-bpp top-down DIB section with a two-colour table, selected into no DC:
// a picture of two colours in a 32nd of the bytes of TMemoryBitmap, made as
// TSurface::Draw makes its own copy of such a picture (so a page records the
// same bytes either way).
class TMonoBitmap {
 public:
  TMonoBitmap() = default;
  ~TMonoBitmap() { Free(); }
  TMonoBitmap(const TMonoBitmap &) = delete;
  TMonoBitmap &operator=(const TMonoBitmap &) = delete;

  // Replaces the bitmap by a new one of the given size whose pixels are all
  // of colour 0 (colours 0x00RRGGBB). Throws ENxError as TMemoryBitmap does.
  void SetSize(int32_t width, int32_t height, uint32_t colour0, uint32_t colour1);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  HBITMAP Handle() const { return bitmap_; }
  // The bytes of row y, the first pixel in the top bit, a set bit colour 1;
  // Stride() bytes a row, the bits past the width clear.
  uint8_t *Row(int32_t y) { return bits_ + size_t(y) * Stride(); }
  size_t Stride() const { return (size_t(width_) + 31) / 32 * 4; }

 private:
  void Free();

  HBITMAP bitmap_ = nullptr;
  uint8_t *bits_ = nullptr;
  int32_t width_ = 0, height_ = 0;
};

}  // namespace nx
