// Bitmaps: device-dependent bitmaps, DIB sections, GetDIBits / SetDIBits
// and pattern brushes made from bitmaps. Every bitmap draws through a
// Cairo RGB24 image surface; a 32-bpp BI_RGB DIB section shares its bits
// with that surface, other DIB sections are converted around each drawing.
#include <algorithm>
#include <cstdlib>

#include "platform/gdi/Dib.h"
#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

namespace {

constexpr int kMaxSide = 1 << 15;  // larger bitmaps are refused

bool SaneSize(long w, long h) { return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide; }

cairo_surface_t *NewSurface(int w, int h) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return s;
}

int Shift(uint32_t m) {
  int s = 0;
  while (m && !(m & 1)) m >>= 1, ++s;
  return s;
}

// One 0x00RRGGBB pixel packed into a mask layout.
uint32_t PackMasked(uint32_t p, const uint32_t masks[3]) {
  uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    uint32_t m = masks[c];
    if (!m) continue;
    int sh = Shift(m);
    uint32_t max = m >> sh;
    uint32_t v = (p >> (16 - 8 * c)) & 255;
    out |= ((v * max + 127) / 255) << sh & m;
  }
  return out;
}

void WritePixel(uint8_t *row, int x, int bpp, uint32_t p, const DibView &v) {
  switch (bpp) {
    case 1:
      if (NearestIndex(p, v.palette) & 1) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
      else row[x >> 3] &= (uint8_t)~(0x80 >> (x & 7));
      break;
    case 4: {
      uint8_t idx = (uint8_t)(NearestIndex(p, v.palette) & 15);
      row[x >> 1] = (x & 1) ? (uint8_t)((row[x >> 1] & 0xF0) | idx)
                            : (uint8_t)((row[x >> 1] & 0x0F) | idx << 4);
      break;
    }
    case 8:
      row[x] = (uint8_t)NearestIndex(p, v.palette);
      break;
    case 16: {
      uint32_t m555[3] = {0x7C00, 0x03E0, 0x001F};
      uint32_t q = PackMasked(p, v.masks[0] ? v.masks : m555);
      row[2 * x] = (uint8_t)q;
      row[2 * x + 1] = (uint8_t)(q >> 8);
      break;
    }
    case 24:
      row[3 * x] = (uint8_t)p;
      row[3 * x + 1] = (uint8_t)(p >> 8);
      row[3 * x + 2] = (uint8_t)(p >> 16);
      break;
    default: {
      uint32_t q = v.h.biCompression == BI_BITFIELDS ? PackMasked(p, v.masks) : p;
      std::memcpy(row + 4 * x, &q, 4);
      break;
    }
  }
}

BitmapObj *NewBitmap(int w, int h, int bpp) {
  auto bm = std::make_unique<BitmapObj>();
  bm->width = w;
  bm->height = h;
  bm->bpp = bpp;
  bm->surface = NewSurface(w, h);
  if (!bm->surface) return nullptr;
  return bm.release();
}

HBITMAP Insert(BitmapObj *bm) {
  if (!bm) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return (HBITMAP)InsertObject(std::unique_ptr<GdiObject>(bm));
}

// Copies rows of a DIB into a bitmap's surface; scan lines counted from the
// bottom for bottom-up DIBs. Returns the rows copied.
int DibRowsToSurface(BitmapObj *bm, const DibView &v, UINT start, UINT lines) {
  cairo_surface_t *s = bm->surface;
  cairo_surface_flush(s);
  uint8_t *data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  int avail = v.Rows();
  int copied = 0;
  // DibView::Row counts rows from the top over the bits given: view one row.
  DibView one = v;
  one.topDown = true;
  one.height = 1;
  // A DIB wider than the bitmap is converted aside and cut to its width.
  std::vector<uint32_t> wide(v.width > bm->width ? (size_t)v.width : 0);
  for (UINT i = 0; i < lines && (int)(start + i) < v.height && (int)i < avail; ++i) {
    int scan = (int)(start + i);
    int dibRow = v.topDown ? scan : v.height - 1 - scan;  // top-based row of the DIB
    int y = bm->flipped ? bm->height - 1 - dibRow : dibRow;
    if (y < 0 || y >= bm->height) continue;
    auto *out = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
    one.bits = v.bits + (size_t)i * v.stride;
    if (wide.empty()) {
      one.Row(0, out, 0xFF000000u);
    } else {
      one.Row(0, wide.data(), 0xFF000000u);
      std::copy_n(wide.begin(), bm->width, out);
    }
    ++copied;
  }
  cairo_surface_mark_dirty(s);
  return copied;
}

}  // namespace

BitmapObj::~BitmapObj() {
  if (surface) cairo_surface_destroy(surface);
  if (ownsBits) std::free(bits);
}

cairo_matrix_t BitmapObj::PixelMatrix() const {
  if (flipped) return {1, 0, 0, -1, 0, (double)height};
  return {1, 0, 0, 1, 0, 0};
}

void BitmapObj::PullBits() {
  if (!dibSection || shared || !bits) return;
  DibView v;
  if (!ParseDibInfo(info.data(), info.size(), DIB_RGB_COLORS, &v)) return;
  AttachDibBits(&v, bits, v.stride * (size_t)v.height);
  DibRowsToSurface(this, v, 0, (UINT)v.height);
}

void BitmapObj::PushBits() {
  if (!dibSection || shared || !bits) return;
  DibView v;
  if (!ParseDibInfo(info.data(), info.size(), DIB_RGB_COLORS, &v)) return;
  cairo_surface_flush(surface);
  const uint8_t *data = cairo_image_surface_get_data(surface);
  int sstride = cairo_image_surface_get_stride(surface);
  auto *out = static_cast<uint8_t *>(bits);
  for (int y = 0; y < height; ++y) {
    const auto *in = reinterpret_cast<const uint32_t *>(data + (size_t)y * sstride);
    int dibRow = v.topDown ? y : height - 1 - y;
    uint8_t *row = out + (size_t)dibRow * v.stride;
    for (int x = 0; x < width; ++x) WritePixel(row, x, bpp, in[x] & 0xFFFFFF, v);
  }
}

}  // namespace nx::gdi

using namespace nx::gdi;

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const void *lpBits) {
  if (!SaneSize(nWidth, nHeight) || nPlanes != 1 || nBitCount == 0 || nBitCount > 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int bpp = nBitCount == 1 ? 1 : 32;
  BitmapObj *bm = NewBitmap(nWidth, nHeight, bpp);
  if (bm && lpBits) {
    // Device-dependent rows are top-down and WORD aligned: 1 bpp (1 = white)
    // or 32 bpp BGRX; other depths are kept as 32 bpp from 24-bit BGR.
    cairo_surface_flush(bm->surface);
    uint8_t *data = cairo_image_surface_get_data(bm->surface);
    int stride = cairo_image_surface_get_stride(bm->surface);
    size_t rowBytes = (((size_t)nWidth * nBitCount + 15) / 16) * 2;
    const auto *src = static_cast<const uint8_t *>(lpBits);
    for (int y = 0; y < nHeight; ++y) {
      const uint8_t *r = src + (size_t)y * rowBytes;
      auto *o = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
      for (int x = 0; x < nWidth; ++x) {
        uint32_t p = 0;
        if (nBitCount == 1) p = (r[x >> 3] >> (7 - (x & 7)) & 1) ? 0xFFFFFF : 0;
        else if (nBitCount == 32) std::memcpy(&p, r + 4 * x, 4);
        else if (nBitCount == 24) p = (uint32_t)r[3 * x + 2] << 16 | r[3 * x + 1] << 8 | r[3 * x];
        o[x] = 0xFF000000u | (p & 0xFFFFFF);
      }
    }
    cairo_surface_mark_dirty(bm->surface);
  }
  return Insert(bm);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return nullptr;
  if (!SaneSize(cx, cy)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A memory DC still holding its 1x1 default bitmap is monochrome.
  int bpp = 32;
  if (dc->type == DcType::Memory)
    if (auto *cur = Lookup<BitmapObj>(dc->bitmap, Kind::Bitmap)) bpp = cur->bpp;
  return Insert(NewBitmap(cx, cy, bpp));
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, void **ppvBits,
                                HANDLE hSection, DWORD offset) {
  if (ppvBits) *ppvBits = nullptr;
  DibView v;
  if (!pbmi || !ParseDibInfo(pbmi, SIZE_MAX, usage, &v) || !SaneSize(v.width, v.height) ||
      (v.h.biCompression != BI_RGB && v.h.biCompression != BI_BITFIELDS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t bytes = v.stride * (size_t)v.height;
  auto bm = std::make_unique<BitmapObj>();
  bm->width = v.width;
  bm->height = v.height;
  bm->bpp = v.bpp;
  bm->dibSection = true;
  bm->bits = std::calloc(1, bytes);
  bm->ownsBits = true;
  if (!bm->bits) return Insert(nullptr);
  const auto *raw = reinterpret_cast<const uint8_t *>(pbmi);
  bm->info.assign(raw, raw + v.infoSize);
  // Palette-indexed colours are stored as the RGB values they stand for.
  // The table holds 16-bit indices there, so it grows to RGBQUAD size first.
  if (usage == DIB_PAL_COLORS && v.bpp <= 8) {
    bm->info.resize(std::max(bm->info.size(), size_t(v.h.biSize) + v.palette.size() * sizeof(RGBQUAD)));
    auto *q = reinterpret_cast<RGBQUAD *>(bm->info.data() + v.h.biSize);
    for (size_t i = 0; i < v.palette.size(); ++i)
      q[i] = {(BYTE)v.palette[i], (BYTE)(v.palette[i] >> 8), (BYTE)(v.palette[i] >> 16), 0};
  }
  bm->shared = v.bpp == 32 && v.h.biCompression == BI_RGB;
  if (bm->shared) {
    bm->flipped = !v.topDown;
    bm->surface = cairo_image_surface_create_for_data(static_cast<uint8_t *>(bm->bits),
                                                      CAIRO_FORMAT_RGB24, v.width, v.height,
                                                      (int)v.stride);
    if (cairo_surface_status(bm->surface) != CAIRO_STATUS_SUCCESS) return Insert(nullptr);
  } else {
    bm->surface = NewSurface(v.width, v.height);
    if (!bm->surface) return Insert(nullptr);
  }
  void *bits = bm->bits;
  HBITMAP h = Insert(bm.release());
  if (h && ppvBits) *ppvBits = bits;
  return h;
}

int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void *lpBits,
                     const BITMAPINFO *lpbmi, UINT ColorUse) {
  auto *bm = Lookup<BitmapObj>(hbm, Kind::Bitmap);
  DibView v;
  if (!bm || !lpbmi || !lpBits || !ParseDibInfo(lpbmi, SIZE_MAX, ColorUse, &v)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The caller's buffer holds cLines rows from scan line `start`.
  v.bits = static_cast<const uint8_t *>(lpBits);
  v.bitsSize = v.stride * (size_t)cLines;
  bm->PullBits();
  int n = DibRowsToSurface(bm, v, start, cLines);
  bm->PushBits();
  return n;
}

int WINAPI DIBitsToPixels(const BITMAPINFO *lpbmi, size_t cbInfo, const void *lpBits, size_t cbBits,
                          UINT ColorUse, DWORD *lpPixels) {
  DibView v;
  if (!lpbmi || !lpBits || !lpPixels || !ParseDibInfo(lpbmi, cbInfo, ColorUse, &v) ||
      !AttachDibBits(&v, lpBits, cbBits) || v.Rows() < v.height) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t width = (size_t)v.width;
  for (int y = 0; y < v.height; ++y) v.Row(y, lpPixels + (size_t)y * width, 0);
  return v.height;
}

HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER *pbmih, DWORD flInit,
                              const void *pjBits, const BITMAPINFO *pbmi, UINT iUsage) {
  if (!pbmih) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LONG w = pbmih->biWidth, h = std::labs(pbmih->biHeight);
  HBITMAP bmp = CreateBitmap(w, h, 1, pbmih->biBitCount == 1 ? 1 : 32, nullptr);
  if (bmp && (flInit & CBM_INIT) && pjBits && pbmi)
    SetDIBits(hdc, bmp, 0, (UINT)h, pjBits, pbmi, iUsage);
  return bmp;
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                     LPBITMAPINFO lpbmi, UINT usage) {
  auto *bm = Lookup<BitmapObj>(hbm, Kind::Bitmap);
  if (!bm || !lpbmi || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  BITMAPINFOHEADER &h = lpbmi->bmiHeader;
  if (!lpvBits && h.biBitCount == 0) {
    // Only the format is asked for.
    h.biWidth = bm->width;
    h.biHeight = bm->height;
    h.biPlanes = 1;
    h.biBitCount = (WORD)bm->bpp;
    h.biCompression = BI_RGB;
    h.biSizeImage = (DWORD)(DibStride(bm->width, bm->bpp) * (size_t)bm->height);
    return 1;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  bool topDown = h.biHeight < 0;
  h.biWidth = bm->width;
  h.biHeight = topDown ? -bm->height : bm->height;
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  h.biSizeImage = (DWORD)(DibStride(bm->width, bpp) * (size_t)bm->height);
  if (!lpvBits) return 1;
  if (start >= (UINT)bm->height) return 0;
  int lines = (int)std::min<UINT>(cLines, (UINT)bm->height - start);
  bm->PullBits();
  // Surface rows are top-down unless the bitmap is a flipped DIB section.
  cairo_surface_t *s = bm->surface;
  if (bm->flipped) {
    s = NewSurface(bm->width, bm->height);
    if (!s) return 0;
    cairo_t *cr = cairo_create(s);
    cairo_matrix_t m = bm->PixelMatrix();
    cairo_matrix_invert(&m);
    cairo_set_source_surface(cr, bm->surface, 0, 0);
    cairo_pattern_set_matrix(cairo_get_source(cr), &m);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  SurfaceToDibRows(s, bm->width, bm->height, lpbmi, static_cast<uint8_t *>(lpvBits), (int)start,
                   lines, topDown);
  if (s != bm->surface) cairo_surface_destroy(s);
  return lines;
}

namespace {

// A monochrome bitmap's pattern: a 1-bpp packed DIB (black 0, white 1).
HBRUSH MonoPatternBrush(HBITMAP hbm, int w, int h) {
  std::vector<uint32_t> px((size_t)w * h);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  if (!GetDIBits(nullptr, hbm, 0, (UINT)h, px.data(), &bi, DIB_RGB_COLORS)) return nullptr;
  size_t stride = DibStride(w, 1), head = sizeof(BITMAPINFOHEADER) + 8;
  std::vector<uint8_t> dib(head + stride * (size_t)h, 0);
  BITMAPINFOHEADER mh{sizeof(BITMAPINFOHEADER), w, h, 1, 1, BI_RGB, (DWORD)(stride * h), 0, 0, 2, 0};
  std::memcpy(dib.data(), &mh, sizeof mh);
  const uint32_t white = 0xFFFFFF;
  std::memcpy(dib.data() + sizeof mh + 4, &white, 4);
  for (int y = 0; y < h; ++y) {
    uint8_t *row = dib.data() + head + stride * (size_t)(h - 1 - y);
    for (int x = 0; x < w; ++x)
      if (px[(size_t)y * w + x] & 0xFFFFFF) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
  }
  HBRUSH br = CreateDIBPatternBrushPt(dib.data(), DIB_RGB_COLORS);
  if (auto *b = Lookup<BrushObj>(br, Kind::Brush)) b->style = BS_PATTERN, b->mono = true;
  return br;
}

}  // namespace

HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm) {
  auto *bm = Lookup<BitmapObj>(hbm, Kind::Bitmap);
  if (!bm) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // A 1-bpp DIB section keeps its colour table, as in the blits.
  if (bm->bpp == 1 && !bm->dibSection) return MonoPatternBrush(hbm, bm->width, bm->height);
  bm->PullBits();
  std::vector<uint8_t> dib;
  size_t infoSize = 0;
  SurfaceToPackedDib(bm->surface, 0, 0, bm->width, bm->height, &dib, &infoSize);
  if (bm->flipped) {
    // The surface holds the rows bottom-up already: reverse the packed rows.
    size_t stride = DibStride(bm->width, 24);
    uint8_t *bits = dib.data() + infoSize;
    for (int a = 0, b = bm->height - 1; a < b; ++a, --b)
      std::swap_ranges(bits + a * stride, bits + (a + 1) * stride, bits + b * stride);
  }
  HBRUSH br = CreateDIBPatternBrushPt(dib.data(), DIB_RGB_COLORS);
  if (auto *b = Lookup<BrushObj>(br, Kind::Brush)) b->style = BS_PATTERN;
  return br;
}
