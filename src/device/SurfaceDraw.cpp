// Lines, shapes and bitmaps drawn on a surface with its current pen and brush.
#include "device/Surface.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "device/MemoryBitmap.h"

namespace nx {
namespace {

// The colours of a bitmap in the order they first appear, at most 256, each
// with its index: a small open-addressed table keyed by the colour.
class TColourIndex {
 public:
  TColourIndex() { keys_.fill(kEmpty); }
  // The colour's index, added when new; -1 when it would be the 257th.
  int Find(uint32_t colour) {
    size_t slot = (colour * 0x9E3779B1u) >> 22;
    for (; keys_[slot] != kEmpty; slot = (slot + 1) & (kSlots - 1))
      if (keys_[slot] == colour) return index_[slot];
    if (colours_.size() == 256) return -1;
    keys_[slot] = colour;
    index_[slot] = uint8_t(colours_.size());
    colours_.push_back(colour);
    return index_[slot];
  }
  const std::vector<uint32_t> &Colours() const { return colours_; }

 private:
  static constexpr size_t kSlots = 1024;  // never more than a quarter full
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;  // no colour: they have 24 bits
  std::array<uint32_t, kSlots> keys_;
  std::array<uint8_t, kSlots> index_{};
  std::vector<uint32_t> colours_;
};

// The pixels of a 32-bpp DIB section, null when the bitmap is no such
// section. Its rows are whole pixels, so n pixels follow one another.
const uint32_t *SectionPixels(const DIBSECTION &ds, size_t &n) {
  const BITMAP &b = ds.dsBm;
  if (b.bmBitsPixel != 32 || !b.bmBits || ds.dsBmih.biCompression != BI_RGB || b.bmWidth < 1 || b.bmHeight < 1)
    return nullptr;
  n = size_t(b.bmWidth) * size_t(b.bmHeight);
  return static_cast<const uint32_t *>(b.bmBits);
}

// Collects the colours of the pixels; false when there are more than 256.
bool CollectColours(const uint32_t *px, size_t n, TColourIndex &index) {
  uint32_t last = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = px[i] & 0xFFFFFF;
    if (p == last) continue;
    if (index.Find(p) < 0) return false;
    last = p;
  }
  return true;
}

// One row packed at 4 or 8 bpp with the indices of the colours, which the
// index already holds.
void PackRowIndexed(const uint32_t *in, LONG w, int bpp, TColourIndex &index, uint8_t *out) {
  uint32_t last = in[0] & 0xFFFFFF;
  uint8_t at = uint8_t(index.Find(last));
  for (LONG x = 0; x < w; ++x) {
    const uint32_t p = in[x] & 0xFFFFFF;
    if (p != last) last = p, at = uint8_t(index.Find(p));
    if (bpp == 8) out[x] = at;
    else out[x >> 1] |= uint8_t(at << ((x & 1) ? 0 : 4));
  }
}

// Barcodes, QR codes and many pictures have few colours: drawn from a copy
// of 1, 4 or 8 bpp with those colours (in the order they first appear), they
// give the same pixels and the page records a fraction of the bytes (a
// barcode at 1 bpp, a 24th). Null when the bitmap has more than 256 colours
// or is no 32-bpp DIB section.
HBITMAP PaletteCopy(HDC dc, HBITMAP bitmap) {
  DIBSECTION ds{};
  GdiFlush();
  size_t n = 0;
  if (GetObjectW(bitmap, sizeof ds, &ds) != int(sizeof ds)) return nullptr;
  const uint32_t *px = SectionPixels(ds, n);
  TColourIndex index;
  if (!px || !CollectColours(px, n, index)) return nullptr;
  const std::vector<uint32_t> &colours = index.Colours();
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
  auto *out = static_cast<uint8_t *>(bits);  // zeroed
  for (size_t y = 0; y < rows; ++y) {
    const uint32_t *in = px + y * size_t(w);
    if (bpp == 1) TMemoryBitmap::PackRowOneBit(in, w, colours[0], out + y * stride);
    else PackRowIndexed(in, w, bpp, index, out + y * stride);
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
