// DIB parsing and conversion.
#include "platform/gdi/Dib.h"

#include <algorithm>
#include <unordered_map>
#include <cstring>

namespace nx::gdi {

namespace {

const uint32_t kVga16[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                             0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                             0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

uint32_t DefaultPaletteEntry(int bpp, size_t i) {
  if (bpp == 1) return i ? 0xFFFFFF : 0;
  if (bpp == 4) return kVga16[i & 15];
  // 3-3-2 levels for 8 bpp.
  uint32_t r = (uint32_t)((i >> 5) & 7) * 255 / 7, g = (uint32_t)((i >> 2) & 7) * 255 / 7,
           b = (uint32_t)(i & 3) * 255 / 3;
  return r << 16 | g << 8 | b;
}

int MaskShift(uint32_t m) {
  int s = 0;
  while (m && !(m & 1)) {
    m >>= 1;
    ++s;
  }
  return s;
}

uint32_t MaskExpand(uint32_t v, uint32_t mask) {
  if (!mask) return 0;
  uint32_t x = (v & mask) >> MaskShift(mask);
  uint32_t maxv = mask >> MaskShift(mask);
  return maxv ? x * 255 / maxv : 0;
}

}  // namespace

bool ParseDibInfo(const void *info, size_t infoMax, UINT usage, DibView *out) {
  if (!info || infoMax < sizeof(BITMAPINFOHEADER)) return false;
  BITMAPINFOHEADER h;
  std::memcpy(&h, info, sizeof h);
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > infoMax) return false;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1) return false;
  if (h.biWidth > 65536 || std::abs(h.biHeight) > 65536) return false;
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
    return false;
  DibView v;
  v.h = h;
  v.width = h.biWidth;
  v.topDown = h.biHeight < 0;
  v.height = std::abs(h.biHeight);
  v.bpp = bpp;
  v.stride = DibStride(v.width, bpp);
  const uint8_t *p = static_cast<const uint8_t *>(info);
  size_t off = h.biSize;
  if (h.biCompression == BI_BITFIELDS) {
    if (h.biSize >= 52) {
      std::memcpy(v.masks, p + 40, 12);
    } else {
      if (off + 12 > infoMax) return false;
      std::memcpy(v.masks, p + off, 12);
      off += 12;
    }
  } else if (bpp == 16) {
    v.masks[0] = 0x7C00;
    v.masks[1] = 0x03E0;
    v.masks[2] = 0x001F;
  }
  if (bpp <= 8) {
    size_t maxColors = (size_t)1 << bpp;
    size_t n = h.biClrUsed ? std::min<size_t>(h.biClrUsed, maxColors) : maxColors;
    size_t entry = usage == DIB_PAL_COLORS ? 2 : 4;
    if (h.biClrUsed > maxColors && h.biClrUsed > 0) n = maxColors;
    if (off + n * entry > infoMax) return false;
    v.palette.resize(maxColors, 0);
    for (size_t i = 0; i < n; ++i) {
      if (usage == DIB_PAL_COLORS) {
        WORD idx;
        std::memcpy(&idx, p + off + i * 2, 2);
        v.palette[i] = DefaultPaletteEntry(8, idx & 0xFF);
      } else {
        const uint8_t *q = p + off + i * 4;
        v.palette[i] = (uint32_t)q[2] << 16 | (uint32_t)q[1] << 8 | q[0];
      }
    }
    off += n * entry;
    // A DIB whose table ran short on the stated count keeps defaults.
    for (size_t i = n; i < maxColors; ++i) v.palette[i] = DefaultPaletteEntry(bpp, i);
  }
  v.infoSize = off;
  *out = std::move(v);
  return true;
}

bool AttachDibBits(DibView *v, const void *bits, size_t bitsSize) {
  if (!bits || bitsSize < v->stride) return false;
  v->bits = static_cast<const uint8_t *>(bits);
  v->bitsSize = bitsSize;
  return true;
}

size_t PackedDibSize(const BITMAPINFO *bmi, size_t maxSize, UINT usage) {
  DibView v;
  if (!ParseDibInfo(bmi, maxSize, usage, &v)) return 0;
  size_t total = v.infoSize + v.stride * (size_t)v.height;
  return total <= maxSize ? total : 0;
}

uint32_t DibView::Pixel(int x, int y) const {
  int row = topDown ? y : height - 1 - y;
  const uint8_t *r = bits + (size_t)row * stride;
  switch (bpp) {
    case 1:
      return palette[(r[x >> 3] >> (7 - (x & 7))) & 1];
    case 4:
      return palette[(r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
    case 8:
      return palette[r[x]];
    case 16: {
      uint32_t v = (uint32_t)r[2 * x] | (uint32_t)r[2 * x + 1] << 8;
      return MaskExpand(v, masks[0]) << 16 | MaskExpand(v, masks[1]) << 8 | MaskExpand(v, masks[2]);
    }
    case 24:
      return (uint32_t)r[3 * x + 2] << 16 | (uint32_t)r[3 * x + 1] << 8 | r[3 * x];
    default: {
      uint32_t v;
      std::memcpy(&v, r + 4 * x, 4);
      if (h.biCompression == BI_BITFIELDS)
        return MaskExpand(v, masks[0]) << 16 | MaskExpand(v, masks[1]) << 8 |
               MaskExpand(v, masks[2]);
      return v & 0xFFFFFF;
    }
  }
}

namespace {

// A colour mask's channel widened to 8 bits the way MaskExpand does, as a
// table of every value the channel can hold (masks of up to 16 bits).
struct MaskTable {
  uint32_t mask = 0;
  int shift = 0;
  std::vector<uint8_t> levels;
  explicit MaskTable(uint32_t m) : mask(m), shift(MaskShift(m)) {
    const uint32_t maxv = m >> shift;
    if (!m || maxv > 0xFFFF) return;
    levels.resize(size_t(maxv) + 1);
    for (uint32_t x = 0; x <= maxv; ++x) levels[x] = (uint8_t)(x * 255 / maxv);
  }
  uint32_t operator()(uint32_t v) const {
    if (!mask) return 0;
    if (levels.empty()) return MaskExpand(v, mask);
    return levels[(v & mask) >> shift];
  }
};

void MaskedRow(const DibView &v, const uint8_t *r, uint32_t *out, uint32_t set) {
  const MaskTable red(v.masks[0]), green(v.masks[1]), blue(v.masks[2]);
  const int bytes = v.bpp / 8;
  for (int x = 0; x < v.width; ++x) {
    uint32_t p = 0;
    std::memcpy(&p, r + (size_t)bytes * x, (size_t)bytes);
    out[x] = set | red(p) << 16 | green(p) << 8 | blue(p);
  }
}

}  // namespace

void DibView::Row(int y, uint32_t *out, uint32_t set) const {
  const int row = topDown ? y : height - 1 - y;
  const uint8_t *r = bits + (size_t)row * stride;
  const int w = width;
  switch (bpp) {
    case 1: {
      const uint32_t c[2] = {set | palette[0], set | palette[1]};
      // Four pixels for each value of a half byte: a byte is two copies.
      uint32_t quads[16][4];
      for (int n = 0; n < 16; ++n)
        for (int k = 0; k < 4; ++k) quads[n][k] = c[(n >> (3 - k)) & 1];
      int x = 0;
      for (; x + 8 <= w; x += 8) {
        const int b = r[x >> 3];
        std::memcpy(out + x, quads[b >> 4], sizeof quads[0]);
        std::memcpy(out + x + 4, quads[b & 15], sizeof quads[0]);
      }
      for (; x < w; ++x) out[x] = c[(r[x >> 3] >> (7 - (x & 7))) & 1];
      return;
    }
    case 4:
      for (int x = 0; x < w; ++x) out[x] = set | palette[(r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
      return;
    case 8:
      for (int x = 0; x < w; ++x) out[x] = set | palette[r[x]];
      return;
    case 24:
      for (int x = 0; x < w; ++x, r += 3) out[x] = set | (uint32_t)r[2] << 16 | (uint32_t)r[1] << 8 | r[0];
      return;
    case 32:
      if (h.biCompression != BI_BITFIELDS) {
        for (int x = 0; x < w; ++x) {
          uint32_t p;
          std::memcpy(&p, r + 4 * (size_t)x, 4);
          out[x] = set | (p & 0xFFFFFF);
        }
        return;
      }
      break;
    default:
      break;
  }
  MaskedRow(*this, r, out, set);
}

cairo_surface_t *DibToSurface(const DibView &v) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, v.width, v.height);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) return s;
  cairo_surface_flush(s);
  uint8_t *data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  int rows = v.Rows();
  for (int y = 0; y < v.height; ++y) {
    auto *out = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
    // Rows present in the bits are the first `rows` rows in storage order.
    int storageRow = v.topDown ? y : v.height - 1 - y;
    if (storageRow >= rows) std::fill(out, out + v.width, 0xFF000000u);
    else v.Row(y, out, 0xFF000000u);
  }
  cairo_surface_mark_dirty(s);
  return s;
}

// Squared RGB distance; the first of equal entries wins.
uint8_t NearestIndex(uint32_t rgb, const std::vector<uint32_t> &pal) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    long dr = (long)((rgb >> 16) & 255) - (long)((pal[i] >> 16) & 255);
    long dg = (long)((rgb >> 8) & 255) - (long)((pal[i] >> 8) & 255);
    long db = (long)(rgb & 255) - (long)(pal[i] & 255);
    long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = (int)i;
      if (!d) break;
    }
  }
  return (uint8_t)best;
}

void SurfaceToDibRows(cairo_surface_t *s, int w, int h, BITMAPINFO *bmi, uint8_t *bits,
                      int startScan, int lines, bool topDown) {
  cairo_surface_flush(s);
  const uint8_t *data = cairo_image_surface_get_data(s);
  int sstride = cairo_image_surface_get_stride(s);
  int sw = cairo_image_surface_get_width(s), sh = cairo_image_surface_get_height(s);
  int bpp = bmi->bmiHeader.biBitCount;
  size_t stride = DibStride(w, bpp);
  std::vector<uint32_t> pal;
  if (bpp <= 8) {
    for (size_t i = 0; i < ((size_t)1 << bpp); ++i) {
      uint32_t c = DefaultPaletteEntry(bpp, i);
      pal.push_back(c);
      RGBQUAD q{(BYTE)(c & 255), (BYTE)((c >> 8) & 255), (BYTE)((c >> 16) & 255), 0};
      bmi->bmiColors[i] = q;
    }
  }
  for (int line = 0; line < lines; ++line) {
    int scan = startScan + line;  // counted from the bottom for bottom-up DIBs
    int y = topDown ? scan : h - 1 - scan;
    uint8_t *out = bits + (size_t)line * stride;
    std::memset(out, 0, stride);
    if (y < 0 || y >= sh) continue;
    const auto *in = reinterpret_cast<const uint32_t *>(data + (size_t)y * sstride);
    for (int x = 0; x < w && x < sw; ++x) {
      uint32_t p = in[x] & 0xFFFFFF;
      switch (bpp) {
        case 1:
          if (NearestIndex(p, pal)) out[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
          break;
        case 4:
          out[x >> 1] |= (uint8_t)(NearestIndex(p, pal) << ((x & 1) ? 0 : 4));
          break;
        case 8:
          out[x] = NearestIndex(p, pal);
          break;
        case 16: {
          uint16_t v = (uint16_t)(((p >> 19) & 31) << 10 | ((p >> 11) & 31) << 5 | ((p >> 3) & 31));
          out[2 * x] = (uint8_t)v;
          out[2 * x + 1] = (uint8_t)(v >> 8);
          break;
        }
        case 24:
          out[3 * x] = (uint8_t)p;
          out[3 * x + 1] = (uint8_t)(p >> 8);
          out[3 * x + 2] = (uint8_t)(p >> 16);
          break;
        default:
          std::memcpy(out + 4 * x, &p, 4);
          break;
      }
    }
  }
}

void SurfaceToPackedDib(cairo_surface_t *s, int x, int y, int w, int h,
                        std::vector<uint8_t> *out, size_t *infoSize) {
  size_t stride = DibStride(w, 24);
  out->assign(sizeof(BITMAPINFOHEADER) + stride * (size_t)h, 0);
  auto *bih = reinterpret_cast<BITMAPINFOHEADER *>(out->data());
  bih->biSize = sizeof(BITMAPINFOHEADER);
  bih->biWidth = w;
  bih->biHeight = h;
  bih->biPlanes = 1;
  bih->biBitCount = 24;
  bih->biCompression = BI_RGB;
  bih->biSizeImage = (DWORD)(stride * (size_t)h);
  *infoSize = sizeof(BITMAPINFOHEADER);
  cairo_surface_flush(s);
  const uint8_t *data = cairo_image_surface_get_data(s);
  int sstride = cairo_image_surface_get_stride(s);
  int sw = cairo_image_surface_get_width(s), sh = cairo_image_surface_get_height(s);
  uint8_t *bits = out->data() + sizeof(BITMAPINFOHEADER);
  for (int row = 0; row < h; ++row) {
    int sy = y + (h - 1 - row);
    if (sy < 0 || sy >= sh) continue;
    const auto *in = reinterpret_cast<const uint32_t *>(data + (size_t)sy * sstride);
    uint8_t *o = bits + (size_t)row * stride;
    for (int cx = 0; cx < w; ++cx) {
      int sx = x + cx;
      if (sx < 0 || sx >= sw) continue;
      uint32_t p = in[sx];
      o[3 * cx] = (uint8_t)p;
      o[3 * cx + 1] = (uint8_t)(p >> 8);
      o[3 * cx + 2] = (uint8_t)(p >> 16);
    }
  }
}

void SurfaceToPackedPaletteDib(cairo_surface_t *s, int w, int h, const std::vector<uint32_t> &palette, int bpp,
                               std::vector<uint8_t> *out, size_t *infoSize, int x0, int y0) {
  const size_t stride = DibStride(w, bpp), colours = palette.size();
  const size_t info = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
  out->assign(info + stride * (size_t)h, 0);
  auto *bih = reinterpret_cast<BITMAPINFOHEADER *>(out->data());
  *bih = {sizeof(BITMAPINFOHEADER), w, h, 1, (WORD)bpp, BI_RGB, (DWORD)(stride * (size_t)h), 0, 0, (DWORD)colours, 0};
  auto *table = reinterpret_cast<RGBQUAD *>(out->data() + sizeof(BITMAPINFOHEADER));
  std::unordered_map<uint32_t, uint8_t> index;
  for (size_t i = 0; i < colours; ++i) {
    const uint32_t c = palette[i] & 0xFFFFFF;
    table[i] = {(BYTE)c, (BYTE)(c >> 8), (BYTE)(c >> 16), 0};
    index.emplace(c, (uint8_t)i);
  }
  *infoSize = info;
  cairo_surface_flush(s);
  const int sstride = cairo_image_surface_get_stride(s);
  const uint8_t *data = cairo_image_surface_get_data(s) + (size_t)y0 * sstride + 4 * (size_t)x0;
  const int sw = std::min(w, cairo_image_surface_get_width(s) - x0), sh = cairo_image_surface_get_height(s) - y0;
  uint8_t *bits = out->data() + info;
  uint32_t last = 0xFFFFFFFF;
  uint8_t lastIndex = 0;
  for (int row = 0; row < h; ++row) {
    const int sy = h - 1 - row;
    if (sy >= sh) continue;
    const auto *in = reinterpret_cast<const uint32_t *>(data + (size_t)sy * sstride);
    uint8_t *o = bits + (size_t)row * stride;
    for (int x = 0; x < sw; ++x) {
      const uint32_t p = in[x] & 0xFFFFFF;
      if (p != last) {
        auto it = index.find(p);
        lastIndex = it != index.end() ? it->second : NearestIndex(p, palette);
        last = p;
      }
      if (bpp == 8) o[x] = lastIndex;
      else if (bpp == 4) o[x >> 1] |= (uint8_t)(lastIndex << ((x & 1) ? 0 : 4));
      else if (lastIndex & 1) o[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
    }
  }
}

namespace {

// The colour index of pixel x of a palette DIB's row.
uint8_t IndexAt(const uint8_t *row, int bpp, int x) {
  if (bpp == 8) return row[x];
  if (bpp == 4) return (uint8_t)((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
  return (uint8_t)((row[x >> 3] >> (7 - (x & 7))) & 1);
}

// The index each pixel index takes when the DIB's colours are looked up in
// its own table of `n` entries: the first entry of that colour, else the
// nearest (an index past a short table stands for a default colour).
// Empty when every index stays as it is.
std::vector<uint8_t> IndexMap(const DibView &v, size_t n) {
  std::vector<uint32_t> table(v.palette.begin(), v.palette.begin() + (std::ptrdiff_t)n);
  std::vector<uint8_t> map(v.palette.size());
  bool same = true;
  for (size_t i = 0; i < map.size(); ++i) {
    const auto first = std::find(table.begin(), table.end(), v.palette[i]);
    map[i] = first != table.end() ? (uint8_t)(first - table.begin()) : NearestIndex(v.palette[i], table);
    same = same && map[i] == i;
  }
  if (same) map.clear();
  return map;
}

bool PaletteArea(const DibView &v, int x, int y, int w, int h, std::vector<uint8_t> *out,
                 size_t *infoSize) {
  const size_t max = size_t{1} << v.bpp;
  const size_t colours = v.h.biClrUsed && v.h.biClrUsed < max ? v.h.biClrUsed : max;
  const std::vector<uint8_t> map = IndexMap(v, colours);
  const size_t stride = DibStride(w, v.bpp);
  const size_t info = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
  out->assign(info + stride * (size_t)h, 0);
  auto *bih = reinterpret_cast<BITMAPINFOHEADER *>(out->data());
  *bih = {sizeof(BITMAPINFOHEADER), w, h, 1, (WORD)v.bpp, BI_RGB, (DWORD)(stride * (size_t)h), 0, 0, (DWORD)colours, 0};
  auto *table = reinterpret_cast<RGBQUAD *>(out->data() + sizeof(BITMAPINFOHEADER));
  for (size_t i = 0; i < colours; ++i)
    table[i] = {(BYTE)v.palette[i], (BYTE)(v.palette[i] >> 8), (BYTE)(v.palette[i] >> 16), 0};
  *infoSize = info;
  // Rows from the left edge whose indices stay are copied as they lie, the
  // bits past the width cleared.
  const size_t used = ((size_t)w * v.bpp + 7) / 8;
  const int spare = (int)(used * 8 - (size_t)w * v.bpp);
  uint8_t *bits = out->data() + info;
  for (int row = 0; row < h; ++row) {
    const int top = y + h - 1 - row, stored = v.topDown ? top : v.height - 1 - top;
    const uint8_t *in = v.bits + (size_t)stored * v.stride;
    uint8_t *o = bits + (size_t)row * stride;
    if (x == 0 && map.empty()) {
      std::memcpy(o, in, used);
      if (spare) o[used - 1] &= (uint8_t)(0xFF << spare);
      continue;
    }
    for (int i = 0; i < w; ++i) {
      uint8_t k = IndexAt(in, v.bpp, x + i);
      if (!map.empty()) k = map[k];
      if (v.bpp == 8) o[i] = k;
      else if (v.bpp == 4) o[i >> 1] |= (uint8_t)(k << ((i & 1) ? 0 : 4));
      else if (k & 1) o[i >> 3] |= (uint8_t)(0x80 >> (i & 7));
    }
  }
  return true;
}

bool TrueColourArea(const DibView &v, int x, int y, int w, int h, std::vector<uint8_t> *out,
                    size_t *infoSize) {
  const size_t stride = DibStride(w, 24);
  out->assign(sizeof(BITMAPINFOHEADER) + stride * (size_t)h, 0);
  auto *bih = reinterpret_cast<BITMAPINFOHEADER *>(out->data());
  *bih = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, (DWORD)(stride * (size_t)h), 0, 0, 0, 0};
  *infoSize = sizeof(BITMAPINFOHEADER);
  std::vector<uint32_t> px(v.bpp == 16 ? (size_t)v.width : 0);
  uint8_t *bits = out->data() + sizeof(BITMAPINFOHEADER);
  for (int row = 0; row < h; ++row) {
    const int top = y + h - 1 - row, stored = v.topDown ? top : v.height - 1 - top;
    const uint8_t *in = v.bits + (size_t)stored * v.stride;
    uint8_t *o = bits + (size_t)row * stride;
    if (v.bpp == 24) {
      std::memcpy(o, in + 3 * (size_t)x, 3 * (size_t)w);
    } else if (v.bpp == 32) {
      for (const uint8_t *p = in + 4 * (size_t)x, *end = p + 4 * (size_t)w; p < end; p += 4, o += 3)
        o[0] = p[0], o[1] = p[1], o[2] = p[2];
    } else {
      v.Row(top, px.data());
      for (int i = x; i < x + w; ++i, o += 3)
        o[0] = (uint8_t)px[i], o[1] = (uint8_t)(px[i] >> 8), o[2] = (uint8_t)(px[i] >> 16);
    }
  }
  return true;
}

}  // namespace

bool DibAreaToPackedDib(const DibView &v, int x, int y, int w, int h, std::vector<uint8_t> *out,
                        size_t *infoSize) {
  if (w <= 0 || h <= 0 || x < 0 || y < 0 || (int64_t)x + w > v.width || (int64_t)y + h > v.height || !v.bits ||
      v.h.biCompression != BI_RGB || v.Rows() < v.height)
    return false;
  if (v.bpp <= 8) return PaletteArea(v, x, y, w, h, out, infoSize);
  return TrueColourArea(v, x, y, w, h, out, infoSize);
}

}  // namespace nx::gdi
