// Lines, shapes and bitmaps drawn on a surface with its current pen and brush.
#include "device/Surface.h"

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace nx {
namespace {

// The colours of a 32-bpp DIB section in the order they first appear, and
// each pixel's index among them; false when there are more than 256 or the
// bitmap is no such section.
bool Palette(const DIBSECTION &ds, std::vector<uint32_t> &colours, std::vector<uint8_t> &indices) {
  const BITMAP &b = ds.dsBm;
  if (b.bmBitsPixel != 32 || !b.bmBits || ds.dsBmih.biCompression != BI_RGB || b.bmWidth < 1 || b.bmHeight < 1)
    return false;
  const auto *px = static_cast<const uint32_t *>(b.bmBits);
  const size_t n = size_t(b.bmWidth) * size_t(b.bmHeight);
  std::unordered_map<uint32_t, uint8_t> seen;
  indices.resize(n);
  uint32_t last = 0xFFFFFFFF;
  uint8_t lastIndex = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = px[i] & 0xFFFFFF;
    if (p != last) {
      auto [it, added] = seen.emplace(p, uint8_t(colours.size()));
      if (added) {
        if (colours.size() == 256) return false;
        colours.push_back(p);
      }
      last = p;
      lastIndex = it->second;
    }
    indices[i] = lastIndex;
  }
  return true;
}

// Barcodes, QR codes and many pictures have few colours: drawn from a copy
// of 1, 4 or 8 bpp with those colours, they give the same pixels and the
// page records a fraction of the bytes (a barcode at 1 bpp, a 24th). Null
// when the bitmap has more than 256 colours or is no 32-bpp DIB section.
HBITMAP PaletteCopy(HDC dc, HBITMAP bitmap) {
  DIBSECTION ds{};
  GdiFlush();
  std::vector<uint32_t> colours;
  std::vector<uint8_t> indices;
  if (GetObjectW(bitmap, sizeof ds, &ds) != int(sizeof ds) || !Palette(ds, colours, indices)) return nullptr;
  const int bpp = colours.size() <= 2 ? 1 : colours.size() <= 16 ? 4 : 8;
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + colours.size() * sizeof(RGBQUAD));
  const LONG w = ds.dsBm.bmWidth;
  // The source's row order (its height's sign), so rows copy straight across.
  const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), w, ds.dsBmih.biHeight, 1, WORD(bpp), BI_RGB, 0, 0, 0,
                                DWORD(colours.size()), 0};
  std::memcpy(info.data(), &header, sizeof header);
  for (size_t i = 0; i < colours.size(); ++i) {
    const RGBQUAD q{BYTE(colours[i]), BYTE(colours[i] >> 8), BYTE(colours[i] >> 16), 0};
    std::memcpy(info.data() + sizeof header + i * sizeof q, &q, sizeof q);
  }
  void *bits = nullptr;
  HBITMAP copy = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO *>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!copy) return nullptr;
  const size_t stride = (size_t(w) * bpp + 31) / 32 * 4, rows = size_t(ds.dsBm.bmHeight);
  auto *out = static_cast<uint8_t *>(bits);
  for (size_t y = 0; y < rows; ++y) {
    const uint8_t *in = indices.data() + y * size_t(w);
    uint8_t *o = out + y * stride;
    for (LONG x = 0; x < w; ++x) {
      if (bpp == 8) o[x] = in[x];
      else if (bpp == 4) o[x >> 1] |= uint8_t(in[x] << ((x & 1) ? 0 : 4));
      else if (in[x]) o[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
  return copy;
}

}  // namespace

void TSurface::MoveTo(int x, int y) {
  if (dc_) MoveToEx(dc_, x, y, nullptr);
}

void TSurface::LineTo(int x, int y) {
  if (!dc_) return;
  SelectPen();
  ::LineTo(dc_, x, y);
}

void TSurface::Rectangle(int x1, int y1, int x2, int y2) {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  ::Rectangle(dc_, x1, y1, x2, y2);
}

void TSurface::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  ::RoundRect(dc_, x1, y1, x2, y2, x3, y3);
}

void TSurface::Ellipse(const RECT &r) {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  ::Ellipse(dc_, r.left, r.top, r.right, r.bottom);
}

void TSurface::Draw(int x, int y, HBITMAP bitmap) {
  BITMAP info{};
  if (!dc_ || !bitmap || GetObjectW(bitmap, sizeof info, &info) == 0) return;
  HDC source = CreateCompatibleDC(dc_);
  if (!source) return;
  HBITMAP copy = PaletteCopy(source, bitmap);
  HGDIOBJ old = SelectObject(source, copy ? copy : bitmap);
  BitBlt(dc_, x, y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  if (copy) DeleteObject(copy);
}

}  // namespace nx
