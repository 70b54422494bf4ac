#include "device/MemoryBitmap.h"

#include <string>

#include "common/ErrorChannel.h"

namespace nx {

namespace {

void CheckSide(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > TMemoryBitmap::kMaxSide || height > TMemoryBitmap::kMaxSide)
    throw ENxError(nxeArgument, "Cannot create a " + std::to_string(width) + " x " + std::to_string(height) +
                                    " bitmap");
}

[[noreturn]] void CannotCreate(int32_t width, int32_t height) {
  throw ENxError(nxeGeneral, "Cannot create a " + std::to_string(width) + " x " + std::to_string(height) + " bitmap");
}

}  // namespace

void TMemoryBitmap::SetSize(int32_t width, int32_t height) {
  CheckSide(width, height);
  Free();
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  dc_ = CreateCompatibleDC(nullptr);
  bitmap_ = dc_ ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bitmap_) {
    Free();
    CannotCreate(width, height);
  }
  bits_ = static_cast<uint8_t *>(bits);
  old_ = SelectObject(dc_, bitmap_);
  width_ = width;
  height_ = height;
}

HBITMAP TMemoryBitmap::Deselect() {
  if (old_) SelectObject(dc_, old_);
  old_ = nullptr;
  return bitmap_;
}

COLORREF TMemoryBitmap::Pixel(int32_t x, int32_t y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  GdiFlush();
  const uint8_t *p = bits_ + (size_t(y) * size_t(width_) + size_t(x)) * 4;
  return RGB(p[2], p[1], p[0]);
}

namespace {

// 1 when the pixel's colour (its low 24 bits) is not `zero`, else 0.
inline unsigned Differs(uint32_t px, uint32_t zero) { return (((px ^ zero) & 0xFFFFFF) + 0xFFFFFF) >> 24; }

}  // namespace

void TMemoryBitmap::PackRowOneBit(const uint32_t *in, int32_t w, uint32_t zero, uint8_t *out) {
  int32_t x = 0;
  // Eight pixels a byte, written out so that they are worked on side by side.
  for (; x + 8 <= w; x += 8) {
    const uint32_t *p = in + x;
    out[x >> 3] = uint8_t(Differs(p[0], zero) << 7 | Differs(p[1], zero) << 6 | Differs(p[2], zero) << 5 |
                          Differs(p[3], zero) << 4 | Differs(p[4], zero) << 3 | Differs(p[5], zero) << 2 |
                          Differs(p[6], zero) << 1 | Differs(p[7], zero));
  }
  if (x == w) return;
  unsigned byte = 0;
  for (int k = 0; x + k < w; ++k) byte |= Differs(in[x + k], zero) << (7 - k);
  out[x >> 3] = uint8_t(byte);
}

void TMemoryBitmap::Free() {
  Deselect();
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

void TMonoBitmap::SetSize(int32_t width, int32_t height, uint32_t colour0, uint32_t colour1) {
  CheckSide(width, height);
  Free();
  // The header TSurface::Draw gives its copy of a top-down picture.
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colours[2];
  } info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 1, BI_RGB, 0, 0, 0, 2, 0},
         {{BYTE(colour0), BYTE(colour0 >> 8), BYTE(colour0 >> 16), 0},
          {BYTE(colour1), BYTE(colour1 >> 8), BYTE(colour1 >> 16), 0}}};
  void *bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_) CannotCreate(width, height);
  bits_ = static_cast<uint8_t *>(bits);  // zeroed: colour 0
  width_ = width;
  height_ = height;
}

void TMonoBitmap::Free() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

}  // namespace nx
