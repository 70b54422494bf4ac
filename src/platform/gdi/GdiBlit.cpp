// Blits: PatBlt, BitBlt, StretchBlt, StretchDIBits, SetDIBitsToDevice.
// Stretching samples the nearest source pixel unless the stretch mode is
// HALFTONE, which filters; shrinking in BLACKONWHITE or WHITEONBLACK merges
// the pixels that fall together with AND or OR.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gdi/Dib.h"
#include "platform/gdi/Raster.h"

namespace nx::gdi {

namespace {

// Fills the current Cairo path with a raster operation that reads no source.
bool PaintCurrentPath(Dc *dc, cairo_t *cr, DWORD rop) {
  cairo_save(cr);
  bool ok = true;
  switch (rop) {
    case BLACKNESS:
      SetCairoColor(cr, RGB(0, 0, 0));
      break;
    case WHITENESS:
      SetCairoColor(cr, RGB(255, 255, 255));
      break;
    case DSTINVERT:
      SetCairoColor(cr, RGB(255, 255, 255));
      cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
      break;
    case PATCOPY:
    case PATINVERT: {
      BrushObj *br = DrawingBrush(*dc);
      ok = br && SetBrushSource(*dc, cr, *br);
      if (rop == PATINVERT) cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
      if (!br) {
        cairo_restore(cr);
        return true;  // a null brush paints nothing
      }
      break;
    }
    default:
      ok = false;  // not among the operations this device offers
      break;
  }
  if (ok) cairo_fill(cr);
  cairo_new_path(cr);
  cairo_restore(cr);
  return ok;
}

}  // namespace

bool PaintDeviceRect(Dc *dc, cairo_t *cr, double l, double t, double r, double b, DWORD rop) {
  cairo_new_path(cr);
  cairo_rectangle(cr, l, t, r - l, b - t);
  return PaintCurrentPath(dc, cr, rop);
}

namespace {

// A logical rectangle given by origin and size in device pixels; the size
// keeps its sign (a negative one mirrors a stretch).
struct DevRect {
  double x, y, w, h;
  double L() const { return std::min(x, x + w); }
  double T() const { return std::min(y, y + h); }
  double R() const { return std::max(x, x + w); }
  double B() const { return std::max(y, y + h); }
};

DevRect ToDeviceRect(const Dc &dc, int x, int y, int w, int h) {
  Affine m = LogicalToDevice(dc);
  DPoint a = RoundedDevice(m, x, y), c = RoundedDevice(m, (double)x + w, (double)y + h);
  return {a.x, a.y, c.x - a.x, c.y - a.y};
}

// A blit's destination in device pixels: the image of the logical
// rectangle's origin and of its two sides. Under a transform that rotates
// or shears it is a parallelogram, which the image fills whole; otherwise
// it is the rectangle on GDI's integer grid.
struct DevQuad {
  DPoint o{0, 0}, u{0, 0}, v{0, 0};  // origin, the side along x, the side along y
  bool turned = false;
  DevRect Rect() const { return {o.x, o.y, u.x, v.y}; }
  void AddPath(cairo_t *cr) const {
    cairo_new_path(cr);
    cairo_move_to(cr, o.x, o.y);
    cairo_rel_line_to(cr, u.x, u.y);
    cairo_rel_line_to(cr, v.x, v.y);
    cairo_rel_line_to(cr, -u.x, -u.y);
    cairo_close_path(cr);
  }
  // Inclusive device box of the covered pixels.
  RECTL Box() const {
    double xs[4] = {o.x, o.x + u.x, o.x + v.x, o.x + u.x + v.x};
    double ys[4] = {o.y, o.y + u.y, o.y + v.y, o.y + u.y + v.y};
    auto [l, r] = std::minmax_element(xs, xs + 4);
    auto [t, b] = std::minmax_element(ys, ys + 4);
    return {ClampToLong(std::floor(*l)), ClampToLong(std::floor(*t)), ClampToLong(std::ceil(*r) - 1),
            ClampToLong(std::ceil(*b) - 1)};
  }
};

DevQuad ToDeviceQuad(const Dc &dc, int x, int y, int w, int h) {
  Affine m = LogicalToDevice(dc);
  DevQuad q;
  if (m.AxisAligned()) {
    DevRect d = ToDeviceRect(dc, x, y, w, h);
    q.o = {d.x, d.y};
    q.u = {d.w, 0};
    q.v = {0, d.h};
    return q;
  }
  q.turned = true;
  m.Apply(x, y, &q.o.x, &q.o.y);
  q.u = {w * m.m11, w * m.m12};
  q.v = {h * m.m21, h * m.m22};
  return q;
}

RECTL BlitBounds(const Dc &dc, int x, int y, int w, int h) {
  return ToDeviceQuad(dc, x, y, w, h).Box();
}

// Fills a blit's destination with an operation that reads no source.
bool PaintQuad(Dc *dc, const DevQuad &q, DWORD rop) {
  RasterScope rs(dc);
  cairo_t *cr = rs.cr();
  if (!cr) return false;
  if (!q.turned) {
    DevRect d = q.Rect();
    return PaintDeviceRect(dc, cr, d.L(), d.T(), d.R(), d.B(), rop);
  }
  q.AddPath(cr);
  return PaintCurrentPath(dc, cr, rop);
}

cairo_operator_t SourceOperator(DWORD rop, bool *ok) {
  *ok = true;
  switch (rop) {
    case SRCCOPY:
      return CAIRO_OPERATOR_OVER;
    case SRCAND:  // exact for channels of 0 or 255
      return CAIRO_OPERATOR_MULTIPLY;
    case SRCPAINT:
      return CAIRO_OPERATOR_SCREEN;
    case SRCINVERT:
      return CAIRO_OPERATOR_DIFFERENCE;
    default:
      *ok = false;
      return CAIRO_OPERATOR_OVER;
  }
}

// Device pixels -> source pixels for source pixels [sx, sx+sw) x
// [sy, sy+sh) drawn onto q. False when the destination has no area.
bool DeviceToSource(const DevQuad &q, double sx, double sy, double sw, double sh,
                    cairo_matrix_t *toSrc) {
  if (!q.turned) {
    DevRect d = q.Rect();
    if (d.w == 0 || d.h == 0) return false;
    *toSrc = {sw / d.w, 0, 0, sh / d.h, sx - d.x * sw / d.w, sy - d.y * sh / d.h};
    return true;
  }
  // Source pixels -> device: (sx + a sw, sy + b sh) -> o + a u + b v.
  cairo_matrix_t toDev{q.u.x / sw, q.u.y / sw, q.v.x / sh, q.v.y / sh, 0, 0};
  toDev.x0 = q.o.x - (sx * toDev.xx + sy * toDev.xy);
  toDev.y0 = q.o.y - (sx * toDev.yx + sy * toDev.yy);
  *toSrc = toDev;
  return cairo_matrix_invert(toSrc) == CAIRO_STATUS_SUCCESS;
}

// Programs draw text and symbols from monochrome bitmaps with these two:
// DSPDxax paints the brush where the source is white and keeps the
// destination where it is black; PSDPxax keeps it where the source is
// white and paints the brush where it is black.
constexpr DWORD kDSPDxax = 0x00E20746, kPSDPxax = 0x00B8074A;
bool BrushThroughSource(DWORD rop) { return rop == kDSPDxax || rop == kPSDPxax; }

// The source as a mask: opaque where it is white (where it is black with
// `invert`), grey levels in between.
cairo_surface_t *MaskOf(cairo_surface_t *src, bool invert) {
  if (cairo_surface_get_type(src) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
  cairo_surface_flush(src);
  int w = cairo_image_surface_get_width(src), h = cairo_image_surface_get_height(src);
  int sstride = cairo_image_surface_get_stride(src);
  const uint8_t *sdata = cairo_image_surface_get_data(src);
  cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS || !sdata) {
    cairo_surface_destroy(mask);
    return nullptr;
  }
  cairo_surface_flush(mask);
  uint8_t *mdata = cairo_image_surface_get_data(mask);
  int mstride = cairo_image_surface_get_stride(mask);
  for (int y = 0; y < h; ++y) {
    const auto *row = reinterpret_cast<const uint32_t *>(sdata + (size_t)y * sstride);
    for (int x = 0; x < w; ++x) {
      uint32_t p = row[x];
      int v = (int)(((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255)) / 3;
      mdata[(size_t)y * mstride + x] = (uint8_t)(invert ? 255 - v : v);
    }
  }
  cairo_surface_mark_dirty(mask);
  return mask;
}

// Paints the DC's brush through the source's mask (`m`: device -> source
// surface) over the current path.
bool PaintBrushThrough(Dc *dc, cairo_t *cr, cairo_surface_t *src, const cairo_matrix_t &m, DWORD rop) {
  BrushObj *brush = DrawingBrush(*dc);
  if (!brush) return true;  // a null brush leaves the destination
  cairo_surface_t *mask = MaskOf(src, rop == kPSDPxax);
  if (!mask) return false;
  cairo_save(cr);
  cairo_clip(cr);
  SetBrushSource(*dc, cr, *brush);
  cairo_pattern_t *mp = cairo_pattern_create_for_surface(mask);
  cairo_pattern_set_matrix(mp, &m);
  cairo_pattern_set_filter(mp, CAIRO_FILTER_NEAREST);
  cairo_mask(cr, mp);
  cairo_pattern_destroy(mp);
  cairo_surface_destroy(mask);
  cairo_restore(cr);
  return true;
}

// BLACKONWHITE and WHITEONBLACK shrink an image by combining the pixels
// that fall together with AND (black lines survive) or OR (white ones do).
// Gives source pixels [sx, sx+sw) x [sy, sy+sh) (through `m`, source
// pixels -> surface) reduced to rw x rh.
cairo_surface_t *MergedScans(cairo_surface_t *src, const cairo_matrix_t &m, double sx, double sy,
                             double sw, double sh, int rw, int rh, bool keepBlack) {
  cairo_format_t f = cairo_image_surface_get_format(src);
  if (cairo_surface_get_type(src) != CAIRO_SURFACE_TYPE_IMAGE ||
      (f != CAIRO_FORMAT_ARGB32 && f != CAIRO_FORMAT_RGB24))
    return nullptr;
  cairo_surface_flush(src);
  const int w = cairo_image_surface_get_width(src), h = cairo_image_surface_get_height(src);
  const int stride = cairo_image_surface_get_stride(src);
  const uint8_t *data = cairo_image_surface_get_data(src);
  cairo_surface_t *out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, rw, rh);
  if (!data || cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(out);
    return nullptr;
  }
  cairo_surface_flush(out);
  uint8_t *odata = cairo_image_surface_get_data(out);
  const int ostride = cairo_image_surface_get_stride(out);
  const uint32_t opaque = f == CAIRO_FORMAT_RGB24 ? 0xFF000000u : 0;
  // Each source pixel falls into one destination pixel.
  auto span = [](double from, double len, int i, int n, long *a, long *b) {
    *a = (long)std::floor(from + len * i / n);
    *b = std::max(*a + 1, (long)std::floor(from + len * (i + 1) / n));
  };
  for (int j = 0; j < rh; ++j) {
    long v0, v1;
    span(sy, sh, j, rh, &v0, &v1);
    auto *orow = reinterpret_cast<uint32_t *>(odata + (size_t)j * ostride);
    for (int i = 0; i < rw; ++i) {
      long u0, u1;
      span(sx, sw, i, rw, &u0, &u1);
      uint32_t acc = keepBlack ? 0xFFFFFFFFu : 0;
      bool any = false;
      for (long v = v0; v < v1; ++v)
        for (long u = u0; u < u1; ++u) {
          double px = u + 0.5, py = v + 0.5;
          cairo_matrix_transform_point(&m, &px, &py);
          long x = (long)std::floor(px), y = (long)std::floor(py);
          if (x < 0 || y < 0 || x >= w || y >= h) continue;
          uint32_t p;
          std::memcpy(&p, data + (size_t)y * stride + 4 * (size_t)x, 4);
          p |= opaque;
          acc = keepBlack ? acc & p : acc | p;
          any = true;
        }
      orow[i] = any ? acc : 0;
    }
  }
  cairo_surface_mark_dirty(out);
  return out;
}

// Draws source pixels [sx, sx+sw) x [sy, sy+sh) (coordinates through
// `srcMatrix`, source pixels -> surface) onto a device rectangle or
// parallelogram.
bool DrawSource(Dc *dc, cairo_surface_t *src, const cairo_matrix_t &srcMatrix, double sx,
                double sy, double sw, double sh, const DevQuad &q, DWORD rop) {
  bool ok;
  cairo_operator_t op = SourceOperator(rop, &ok);
  if (!ok && !BrushThroughSource(rop)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  cairo_matrix_t toSrc, m;
  if (sw == 0 || sh == 0 || !DeviceToSource(q, sx, sy, sw, sh, &toSrc)) return true;
  int mode = dc->st.stretchMode;
  if ((mode == BLACKONWHITE || mode == WHITEONBLACK) && !q.turned && !BrushThroughSource(rop) &&
      sw > 0 && sh > 0) {
    DevRect d = q.Rect();
    int dw = (int)std::lround(std::fabs(d.w)), dh = (int)std::lround(std::fabs(d.h));
    if (dw > 0 && dh > 0 && (sw > dw || sh > dh)) {
      int rw = sw > dw ? dw : (int)std::ceil(sw), rh = sh > dh ? dh : (int)std::ceil(sh);
      if (cairo_surface_t *merged = MergedScans(src, srcMatrix, sx, sy, sw, sh, rw, rh, mode == BLACKONWHITE)) {
        cairo_matrix_t id;
        cairo_matrix_init_identity(&id);
        bool drawn = DrawSource(dc, merged, id, 0, 0, rw, rh, q, rop);
        cairo_surface_destroy(merged);
        return drawn;
      }
    }
  }
  RasterScope rs(dc);
  cairo_t *cr = rs.cr();
  if (!cr) return false;
  // device -> source pixels, then -> source surface.
  cairo_matrix_multiply(&m, &toSrc, &srcMatrix);
  // Only the destination's pixels are painted.
  q.AddPath(cr);
  if (BrushThroughSource(rop)) return PaintBrushThrough(dc, cr, src, m, rop);
  cairo_pattern_t *pat = cairo_pattern_create_for_surface(src);
  cairo_pattern_set_matrix(pat, &m);
  double dw = std::hypot(q.u.x, q.u.y), dh = std::hypot(q.v.x, q.v.y);
  bool smooth = dc->st.stretchMode == HALFTONE &&
                (std::fabs(sw) != dw || std::fabs(sh) != dh || q.turned);
  cairo_pattern_set_filter(pat, smooth ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(pat, smooth ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
  cairo_set_source(cr, pat);
  cairo_set_operator(cr, op);
  cairo_fill(cr);
  cairo_pattern_destroy(pat);
  return true;
}

// A top-down RGB24 copy of a device area of a raster DC.
cairo_surface_t *CopyDeviceArea(Dc *src, int x, int y, int w, int h) {
  if (!src->surface || w <= 0 || h <= 0) return nullptr;
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  if (src->type == DcType::Memory)
    if (auto *bm = Lookup<BitmapObj>(src->bitmap, Kind::Bitmap)) bm->PullBits();
  cairo_t *cr = cairo_create(s);
  cairo_pattern_t *pat = cairo_pattern_create_for_surface(src->surface);
  cairo_matrix_t m{1, 0, 0, 1, (double)x, (double)y}, full;
  cairo_matrix_multiply(&full, &m, &src->deviceMatrix);
  cairo_pattern_set_matrix(pat, &full);
  cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
  cairo_set_source(cr, pat);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_pattern_destroy(pat);
  cairo_destroy(cr);
  return s;
}

// The colour table of a DIB section of 1, 4 or 8 bpp selected into a memory DC.
bool PaletteSource(const Dc &src, std::vector<uint32_t> &palette, int &bpp) {
  if (src.type != DcType::Memory) return false;
  auto *bm = Lookup<BitmapObj>(src.bitmap, Kind::Bitmap);
  if (!bm || !bm->dibSection || bm->bpp > 8 || bm->info.size() < sizeof(BITMAPINFOHEADER)) return false;
  const auto *h = reinterpret_cast<const BITMAPINFOHEADER *>(bm->info.data());
  const size_t max = size_t{1} << bm->bpp, n = h->biClrUsed && h->biClrUsed < max ? h->biClrUsed : max;
  if (h->biSize < sizeof(BITMAPINFOHEADER) || bm->info.size() < h->biSize + n * sizeof(RGBQUAD)) return false;
  const auto *q = reinterpret_cast<const RGBQUAD *>(bm->info.data() + h->biSize);
  palette.clear();
  for (size_t i = 0; i < n; ++i)
    palette.push_back((uint32_t)q[i].rgbRed << 16 | (uint32_t)q[i].rgbGreen << 8 | q[i].rgbBlue);
  bpp = bm->bpp;
  return true;
}

// Whether a memory DC's device area lies inside its image surface, which
// maps device pixels one to one.
bool InsideUntransformed(const Dc &src, int x, int y, int w, int h) {
  const cairo_matrix_t &m = src.deviceMatrix;
  if (src.type != DcType::Memory || !src.surface || cairo_surface_get_type(src.surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      m.xx != 1 || m.yx != 0 || m.xy != 0 || m.yy != 1 || m.x0 != 0 || m.y0 != 0)
    return false;
  const cairo_format_t f = cairo_image_surface_get_format(src.surface);
  return (f == CAIRO_FORMAT_RGB24 || f == CAIRO_FORMAT_ARGB32) && w > 0 && h > 0 && x >= 0 && y >= 0 &&
         (int64_t)x + w <= cairo_image_surface_get_width(src.surface) &&
         (int64_t)y + h <= cairo_image_surface_get_height(src.surface);
}

// A whole palette DIB section's own bits as the packed DIB the surface
// would give, without expanding them: only when its colour table is full and
// has no colour twice, so each pixel's index is the one a lookup of its colour
// finds. Rows go bottom-up and the bits past the width are cleared, as the
// packing from the surface leaves them. False when the section does not fit.
bool SectionToPackedPaletteDib(const Dc &src, const DevRect &sd, int sw, int sh, const std::vector<uint32_t> &palette,
                               int bpp, std::vector<uint8_t> *out, size_t *infoSize) {
  auto *bm = Lookup<BitmapObj>(src.bitmap, Kind::Bitmap);
  if (!bm || !bm->dibSection || bm->shared || !bm->bits || bm->flipped || bm->bpp != bpp || sd.L() != 0 ||
      sd.T() != 0 || sw != bm->width || sh != bm->height || palette.size() != (size_t{1} << bpp))
    return false;
  std::vector<uint32_t> sorted(palette);
  for (uint32_t &c : sorted) c &= 0xFFFFFF;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return false;
  DibView v;
  if (!ParseDibInfo(bm->info.data(), bm->info.size(), DIB_RGB_COLORS, &v) || v.width != sw || v.height != sh ||
      v.bpp != bpp)
    return false;
  const size_t stride = DibStride(sw, bpp), info = sizeof(BITMAPINFOHEADER) + palette.size() * sizeof(RGBQUAD);
  if (v.stride != stride) return false;
  out->assign(info + stride * (size_t)sh, 0);
  auto *bih = reinterpret_cast<BITMAPINFOHEADER *>(out->data());
  *bih = {sizeof(BITMAPINFOHEADER), sw, sh, 1, (WORD)bpp, BI_RGB, (DWORD)(stride * (size_t)sh), 0, 0,
          (DWORD)palette.size(), 0};
  auto *table = reinterpret_cast<RGBQUAD *>(out->data() + sizeof(BITMAPINFOHEADER));
  for (size_t i = 0; i < palette.size(); ++i)
    table[i] = {(BYTE)palette[i], (BYTE)(palette[i] >> 8), (BYTE)(palette[i] >> 16), 0};
  *infoSize = info;
  const size_t used = ((size_t)sw * bpp + 7) / 8;
  const int spare = (int)(used * 8 - (size_t)sw * bpp);
  const auto *in = static_cast<const uint8_t *>(bm->bits);
  uint8_t *bits = out->data() + info;
  for (int row = 0; row < sh; ++row) {
    const int from = v.topDown ? sh - 1 - row : row;
    uint8_t *o = bits + (size_t)row * stride;
    std::memcpy(o, in + (size_t)from * stride, used);
    if (spare) o[used - 1] &= (uint8_t)(0xFF << spare);
  }
  return true;
}

// EMR_BITBLT / EMR_STRETCHBLT. Without a source the record has no bitmap;
// with one, the source area follows as a DIB: a palette DIB section's at its
// own depth with its colour table (a barcode at 1 bpp takes a 24th of the
// bytes), any other at 24 bpp.
void RecordBlt(Dc *dc, int x, int y, int w, int h, Dc *src, const DevRect *sd, DWORD rop) {
  std::vector<uint8_t> dib;
  size_t info = 0;
  int sw = 0, sh = 0;
  if (src && sd) {
    sw = (int)std::lround(sd->R() - sd->L());
    sh = (int)std::lround(sd->B() - sd->T());
    std::vector<uint32_t> palette;
    int bpp = 24;
    const bool indexed = PaletteSource(*src, palette, bpp);
    if (indexed && InsideUntransformed(*src, (int)sd->L(), (int)sd->T(), sw, sh) &&
        SectionToPackedPaletteDib(*src, *sd, sw, sh, palette, bpp, &dib, &info)) {
      // The section's own bits already are the packed DIB.
    } else if (indexed && InsideUntransformed(*src, (int)sd->L(), (int)sd->T(), sw, sh)) {
      // The area as it lies in the section's surface: no copy of it first.
      if (auto *bm = Lookup<BitmapObj>(src->bitmap, Kind::Bitmap)) bm->PullBits();
      SurfaceToPackedPaletteDib(src->surface, sw, sh, palette, bpp, &dib, &info, (int)sd->L(), (int)sd->T());
    } else if (cairo_surface_t *area = CopyDeviceArea(src, (int)sd->L(), (int)sd->T(), sw, sh)) {
      if (indexed) SurfaceToPackedPaletteDib(area, sw, sh, palette, bpp, &dib, &info);
      else SurfaceToPackedDib(area, 0, 0, sw, sh, &dib, &info);
      cairo_surface_destroy(area);
    }
  }
  const BltSource source{dib.data(), dib.size(), info, sw, sh, src ? src->st.bkColor : 0};
  WriteBltRecord(dc, x, y, w, h, src ? &source : nullptr, rop);
}

// GDI's conversions between colour and monochrome bitmaps: a colour
// source becomes white where it has the source DC's background colour and
// black elsewhere; a monochrome source takes the destination's text colour
// for black and its background colour for white.
enum class MonoChange { None, ToMono, FromMono };

bool IsMonoBitmapDc(const Dc &dc) {
  if (dc.type != DcType::Memory) return false;
  auto *bm = Lookup<BitmapObj>(dc.bitmap, Kind::Bitmap);
  return bm && bm->bpp == 1 && !bm->dibSection;
}

MonoChange MonoChangeOf(const Dc &src, const Dc &dst) {
  bool s = IsMonoBitmapDc(src), d = IsMonoBitmapDc(dst);
  return s == d ? MonoChange::None : d ? MonoChange::ToMono : MonoChange::FromMono;
}

uint32_t Rgb24(COLORREF c) {
  return 0xFF000000u | (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
}

void ConvertMono(cairo_surface_t *area, MonoChange how, const Dc &src, const Dc &dst) {
  cairo_surface_flush(area);
  uint8_t *data = cairo_image_surface_get_data(area);
  int stride = cairo_image_surface_get_stride(area);
  int w = cairo_image_surface_get_width(area), h = cairo_image_surface_get_height(area);
  uint32_t bk = Rgb24(src.st.bkColor) & 0xFFFFFF;
  uint32_t fg = Rgb24(dst.st.textColor), bg = Rgb24(dst.st.bkColor);
  for (int y = 0; y < h; ++y) {
    auto *row = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
    for (int x = 0; x < w; ++x) {
      uint32_t p = row[x] & 0xFFFFFF;
      if (how == MonoChange::ToMono) row[x] = p == bk ? 0xFFFFFFFFu : 0xFF000000u;
      else row[x] = p ? bg : fg;
    }
  }
  cairo_surface_mark_dirty(area);
}

BOOL Blit(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs,
          DWORD rop) {
  Dc *dc = DcFromHandle(hdcDest);
  if (!dc) return FALSE;
  bool needsSrc = RopUsesSource(rop);
  Dc *src = needsSrc ? DcFromHandle(hdcSrc) : nullptr;
  if (needsSrc && (!src || src->IsMetafile())) return FALSE;
  DevRect sd{};
  if (src) sd = ToDeviceRect(*src, xs, ys, ws, hs);
  if (dc->IsMetafile()) {
    RecordBlt(dc, x, y, w, h, src, src ? &sd : nullptr, rop);
    return TRUE;
  }
  DevQuad d = ToDeviceQuad(*dc, x, y, w, h);
  if (!src) return PaintQuad(dc, d, rop);
  // Reading and writing one surface, or changing between colour and
  // monochrome: copy the source area first.
  MonoChange mono = MonoChangeOf(*src, *dc);
  if (src->surface == dc->surface || src->type != DcType::Memory || mono != MonoChange::None) {
    int sw = (int)std::lround(sd.R() - sd.L()), sh = (int)std::lround(sd.B() - sd.T());
    cairo_surface_t *area = CopyDeviceArea(src, (int)sd.L(), (int)sd.T(), sw, sh);
    if (!area) return FALSE;
    if (mono != MonoChange::None) ConvertMono(area, mono, *src, *dc);
    cairo_matrix_t id{1, 0, 0, 1, 0, 0};
    DevRect local{sd.x - sd.L(), sd.y - sd.T(), sd.w, sd.h};
    bool ok = DrawSource(dc, area, id, local.x, local.y, local.w, local.h, d, rop);
    cairo_surface_destroy(area);
    return ok;
  }
  if (auto *bm = Lookup<BitmapObj>(src->bitmap, Kind::Bitmap)) bm->PullBits();
  return DrawSource(dc, src->surface, src->deviceMatrix, sd.x, sd.y, sd.w, sd.h, d, rop);
}

// The bytes of a DIB's bits that a record carries.
size_t DibBitsSize(const DibView &v) {
  if (v.h.biCompression == BI_RGB || v.h.biCompression == BI_BITFIELDS)
    return v.stride * (size_t)v.height;
  return v.h.biSizeImage;
}

void RecordStretchDib(Dc *dc, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs,
                      const void *bits, const BITMAPINFO *bmi, const DibView &v, UINT usage,
                      DWORD rop) {
  size_t info = v.infoSize, nbits = DibBitsSize(v);
  size_t head = sizeof(EMRSTRETCHDIBITS);
  auto *r = reinterpret_cast<EMRSTRETCHDIBITS *>(
      dc->rec->Append(EMR_STRETCHDIBITS, head + info + ((nbits + 3) & ~size_t{3})));
  r->rclBounds = BlitBounds(*dc, xd, yd, wd, hd);
  r->xDest = xd;
  r->yDest = yd;
  r->xSrc = xs;
  r->ySrc = ys;
  r->cxSrc = ws;
  r->cySrc = hs;
  r->offBmiSrc = (DWORD)head;
  r->cbBmiSrc = (DWORD)info;
  r->offBitsSrc = (DWORD)(head + info);
  r->cbBitsSrc = (DWORD)nbits;
  r->iUsageSrc = usage;
  r->dwRop = rop;
  r->cxDest = wd;
  r->cyDest = hd;
  auto *out = reinterpret_cast<uint8_t *>(r);
  std::memcpy(out + head, bmi, info);
  // Always state the image size.
  auto *bih = reinterpret_cast<BITMAPINFOHEADER *>(out + head);
  if (bih->biSize >= sizeof(BITMAPINFOHEADER) && !bih->biSizeImage) bih->biSizeImage = (DWORD)nbits;
  std::memcpy(out + head + info, bits, nbits);
  dc->rec->AddBounds(r->rclBounds);
}

// Parses a caller's DIB; the bits are taken as complete (GDI reads them
// without a size).
bool ReadDib(const BITMAPINFO *bmi, UINT usage, const void *bits, DibView *v) {
  if (!bmi || !bits || !ParseDibInfo(bmi, SIZE_MAX, usage, v)) return false;
  if (v->h.biCompression != BI_RGB && v->h.biCompression != BI_BITFIELDS) return false;
  return AttachDibBits(v, bits, v->stride * (size_t)v->height);
}

// Draws a DIB's source rectangle (DIB coordinates: the origin is the lower
// left corner of a bottom-up DIB) into a device rectangle.
// A top-down 32-bpp BI_RGB DIB holding all its rows has the layout of an
// RGB24 surface (the fourth byte is ignored): it is drawn from where it lies.
cairo_surface_t *DibSource(const DibView &v) {
  const bool asIs = v.bpp == 32 && v.h.biCompression == BI_RGB && v.topDown && v.Rows() == v.height &&
                    reinterpret_cast<uintptr_t>(v.bits) % 4 == 0;
  if (!asIs) return DibToSurface(v);
  return cairo_image_surface_create_for_data(const_cast<uint8_t *>(v.bits), CAIRO_FORMAT_RGB24, v.width, v.height,
                                             (int)v.stride);
}

bool DrawDib(Dc *dc, const DibView &v, int xs, int ys, int ws, int hs, const DevQuad &d,
             DWORD rop) {
  cairo_surface_t *s = DibSource(v);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return false;
  }
  double top = v.topDown ? ys : (double)v.height - ys - hs;
  cairo_matrix_t id{1, 0, 0, 1, 0, 0};
  bool ok = DrawSource(dc, s, id, xs, top, ws, hs, d, rop);
  cairo_surface_destroy(s);
  return ok;
}

}  // namespace

// The record itself, from the source area's packed DIB.
void WriteBltRecord(Dc *dc, int x, int y, int w, int h, const BltSource *src, DWORD rop) {
  const size_t dibSize = src ? src->size : 0;
  bool stretch = src && (src->w != std::abs((int64_t)w) || src->h != std::abs((int64_t)h));
  size_t head = stretch ? sizeof(EMRSTRETCHBLT) : sizeof(EMRBITBLT);
  auto *r = reinterpret_cast<EMRSTRETCHBLT *>(
      dc->rec->Append(stretch ? EMR_STRETCHBLT : EMR_BITBLT, head + dibSize));
  r->rclBounds = BlitBounds(*dc, x, y, w, h);
  r->xDest = x;
  r->yDest = y;
  r->cxDest = w;
  r->cyDest = h;
  r->dwRop = rop;
  r->xformSrc = {1, 0, 0, 1, 0, 0};
  if (dibSize) {
    r->crBkColorSrc = src->bkColor;
    r->iUsageSrc = DIB_RGB_COLORS;
    r->offBmiSrc = (DWORD)head;
    r->cbBmiSrc = (DWORD)src->infoSize;
    r->offBitsSrc = (DWORD)(head + src->infoSize);
    r->cbBitsSrc = (DWORD)(dibSize - src->infoSize);
    std::memcpy(reinterpret_cast<uint8_t *>(r) + head, src->dib, dibSize);
  }
  if (stretch) {
    r->cxSrc = src->w;
    r->cySrc = src->h;
  }
  dc->rec->AddBounds(r->rclBounds);
}

}  // namespace nx::gdi

using namespace nx::gdi;

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  if (RopUsesSource(rop)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Blit(hdc, x, y, w, h, nullptr, 0, 0, 0, 0, rop);
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  return Blit(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
  return Blit(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop);
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                         const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return 0;
  DibView v;
  if (!ReadDib(lpbmi, iUsage, lpBits, &v)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dc->IsMetafile()) {
    RecordStretchDib(dc, xDest, yDest, DestWidth, DestHeight, xSrc, ySrc, SrcWidth, SrcHeight,
                     lpBits, lpbmi, v, iUsage, rop);
    return v.height;
  }
  DevQuad d = ToDeviceQuad(*dc, xDest, yDest, DestWidth, DestHeight);
  if (!RopUsesSource(rop)) return PaintQuad(dc, d, rop) ? v.height : 0;
  return DrawDib(dc, v, xSrc, ySrc, SrcWidth, SrcHeight, d, rop) ? v.height : 0;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                             UINT StartScan, UINT cLines, const void *lpvBits,
                             const BITMAPINFO *lpbmi, UINT ColorUse) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return 0;
  DibView v;
  if (!lpbmi || !lpvBits || !ParseDibInfo(lpbmi, SIZE_MAX, ColorUse, &v) ||
      (v.h.biCompression != BI_RGB && v.h.biCompression != BI_BITFIELDS) ||
      StartScan >= (UINT)v.height || cLines == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT lines = std::min<UINT>(cLines, (UINT)v.height - StartScan);
  size_t nbits = v.stride * (size_t)lines;
  if (dc->IsMetafile()) {
    size_t head = sizeof(EMRSETDIBITSTODEVICE), info = v.infoSize;
    auto *r = reinterpret_cast<EMRSETDIBITSTODEVICE *>(
        dc->rec->Append(EMR_SETDIBITSTODEVICE, head + info + nbits));
    r->rclBounds = BlitBounds(*dc, xDest, yDest, (int)w, (int)h);
    r->xDest = xDest;
    r->yDest = yDest;
    r->xSrc = xSrc;
    r->ySrc = ySrc;
    r->cxSrc = (LONG)w;
    r->cySrc = (LONG)h;
    r->offBmiSrc = (DWORD)head;
    r->cbBmiSrc = (DWORD)info;
    r->offBitsSrc = (DWORD)(head + info);
    r->cbBitsSrc = (DWORD)nbits;
    r->iUsageSrc = ColorUse;
    r->iStartScan = StartScan;
    r->cScans = lines;
    auto *out = reinterpret_cast<uint8_t *>(r);
    std::memcpy(out + head, lpbmi, info);
    std::memcpy(out + head + info, lpvBits, nbits);
    dc->rec->AddBounds(r->rclBounds);
    return (int)lines;
  }
  // The bits hold scan lines [StartScan, StartScan + lines), counted from
  // the bottom: view them as a DIB of that many rows.
  DibView part = v;
  part.height = (int)lines;
  if (!AttachDibBits(&part, lpvBits, nbits)) return 0;
  int partY = ySrc - (int)StartScan;
  DevQuad d = ToDeviceQuad(*dc, xDest, yDest, (int)w, (int)h);
  return DrawDib(dc, part, xSrc, partY, (int)w, (int)h, d, SRCCOPY) ? (int)lines : 0;
}

// ---------------------------------------------------------------------------
// MaskBlt: where the mask bit is 1 the foreground operation applies, where
// it is 0 the background one. Each part is a BitBlt clipped to the mask's
// pixels (on a metafile DC: SAVEDC, EXTSELECTCLIPRGN, BITBLT, RESTOREDC,
// which every reader follows).

namespace {

// The named raster operation with this ternary index; 0 for 0xAA (the
// destination stays) and for operations without a name.
DWORD RopOfIndex(DWORD index) {
  static const DWORD kNamed[] = {BLACKNESS, NOTSRCERASE, NOTSRCCOPY, SRCERASE, DSTINVERT,
                                 PATINVERT, SRCINVERT,   SRCAND,     MERGEPAINT, MERGECOPY,
                                 SRCCOPY,   SRCPAINT,    PATCOPY,    PATPAINT,   WHITENESS};
  for (DWORD r : kNamed)
    if (((r >> 16) & 0xFF) == index) return r;
  return 0;
}

// The mask's set pixels over w x h from (mx, my), as device rectangles of
// the destination placed at logical (x, y); `set` false gives the others.
HRGN MaskRegion(const Dc &dc, const std::vector<uint32_t> &px, int mw, int mx, int my, int x, int y,
                int w, int h, bool set) {
  Affine m = LogicalToDevice(dc);
  cairo_region_t *rgn = cairo_region_create();
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w;) {
      auto bit = [&](int k) { return (px[(size_t)(my + j) * mw + mx + k] & 0xFFFFFF) != 0; };
      if (bit(i) != set) {
        ++i;
        continue;
      }
      int start = i;
      while (i < w && bit(i) == set) ++i;
      DPoint a = RoundedDevice(m, (double)x + start, (double)y + j),
             b = RoundedDevice(m, (double)x + i, (double)y + j + 1);
      auto clampi = [](double v) { return (int)std::clamp(v, -(double)(1 << 28), (double)(1 << 28)); };
      int l = clampi(std::min(a.x, b.x)), t = clampi(std::min(a.y, b.y));
      cairo_rectangle_int_t r{l, t, clampi(std::max(a.x, b.x)) - l, clampi(std::max(a.y, b.y)) - t};
      cairo_region_union_rectangle(rgn, &r);
    }
  auto obj = std::make_unique<RegionObj>();
  cairo_region_destroy(obj->rgn);
  obj->rgn = rgn;
  return (HRGN)InsertObject(std::move(obj));
}

}  // namespace

BOOL WINAPI MaskBlt(HDC hdcDest, int xDest, int yDest, int width, int height, HDC hdcSrc, int xSrc,
                    int ySrc, HBITMAP hbmMask, int xMask, int yMask, DWORD dwRop) {
  DWORD fore = dwRop & 0x00FFFFFF;
  if (!hbmMask) return BitBlt(hdcDest, xDest, yDest, width, height, hdcSrc, xSrc, ySrc, fore);
  Dc *dc = DcFromHandle(hdcDest);
  auto *mask = Lookup<BitmapObj>(hbmMask, Kind::Bitmap);
  if (!dc || !mask || mask->bpp != 1 || width <= 0 || height <= 0 || xMask < 0 || yMask < 0 ||
      (int64_t)xMask + width > mask->width || (int64_t)yMask + height > mask->height) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<uint32_t> px((size_t)mask->width * mask->height);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), mask->width, -mask->height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  if (!GetDIBits(nullptr, hbmMask, 0, (UINT)mask->height, px.data(), &bi, DIB_RGB_COLORS))
    return FALSE;
  DWORD backIndex = (dwRop >> 24) & 0xFF;
  DWORD parts[2] = {(fore & 0xFF0000) == 0xAA0000 ? 0 : fore, RopOfIndex(backIndex)};
  if (!parts[1] && backIndex != 0xAA) {
    SetLastError(ERROR_INVALID_PARAMETER);  // not among the operations this device offers
    return FALSE;
  }
  BOOL ok = TRUE;
  for (int k = 0; k < 2; ++k) {
    if (!parts[k]) continue;
    HRGN rgn = MaskRegion(*dc, px, mask->width, xMask, yMask, xDest, yDest, width, height, k == 0);
    SaveDC(hdcDest);
    ExtSelectClipRgn(hdcDest, rgn, RGN_AND);
    ok = BitBlt(hdcDest, xDest, yDest, width, height, hdcSrc, xSrc, ySrc, parts[k]) && ok;
    RestoreDC(hdcDest, -1);
    DeleteObject(rgn);
  }
  return ok;
}
