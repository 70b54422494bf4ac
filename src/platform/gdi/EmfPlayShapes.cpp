// Playing the drawing records of a metafile: lines, shapes, polygons,
// paths, bitmaps, clipping and region fills, each through its GDI call.
#include <algorithm>
#include <cmath>

#include "platform/gdi/Dib.h"
#include "platform/gdi/EmfRecords.h"
#include "platform/gdi/Raster.h"

namespace nx::gdi {

namespace {

// ---------------------------------------------------------------------------
// Lines and shapes.

RECTL Box(const RecordView &r) {
  RECTL b{(LONG)r.U32(8), (LONG)r.U32(12), (LONG)r.U32(16), (LONG)r.U32(20)};
  return b;
}

bool Poly(const Player &p, const RecordView &r, DWORD type, bool small) {
  constexpr size_t kPoints = offsetof(EMRPOLYLINE, aptl);
  std::vector<POINT> pts;
  if (r.Size() < kPoints || !ReadPoints(r, kPoints, r.U32(24), small, &pts)) return false;
  const POINT *a = pts.data();
  DWORD n = (DWORD)pts.size();
  switch (type) {
    case EMR_POLYBEZIER:
      return PolyBezier(p.hdc, a, n);
    case EMR_POLYGON:
      return Polygon(p.hdc, a, (int)n);
    case EMR_POLYLINE:
      return Polyline(p.hdc, a, (int)n);
    case EMR_POLYBEZIERTO:
      return PolyBezierTo(p.hdc, a, n);
    default:
      return PolylineTo(p.hdc, a, n);
  }
}

bool PolyPoly(const Player &p, const RecordView &r, bool polygon, bool small) {
  constexpr size_t kCounts = offsetof(EMRPOLYPOLYLINE, aPolyCounts);
  DWORD polys = r.U32(24), total = r.U32(28);
  if (r.Size() < kCounts || !r.Fits(kCounts, polys, 4)) return false;
  std::vector<DWORD> counts(polys);
  if (polys) std::memcpy(counts.data(), r.At(kCounts), 4 * (size_t)polys);
  uint64_t sum = 0;
  for (DWORD c : counts) sum += c;
  std::vector<POINT> pts;
  if (sum > total || !ReadPoints(r, kCounts + 4 * (size_t)polys, total, small, &pts)) return false;
  if (!polygon) return PolyPolyline(p.hdc, pts.data(), counts.data(), polys);
  std::vector<INT> ic(counts.begin(), counts.end());
  return PolyPolygon(p.hdc, pts.data(), ic.data(), (int)polys);
}

bool PolyDrawRecord(const Player &p, const RecordView &r, bool small) {
  constexpr size_t kPoints = offsetof(EMRPOLYDRAW, aptl);
  DWORD n = r.U32(24);
  std::vector<POINT> pts;
  if (r.Size() < kPoints || !ReadPoints(r, kPoints, n, small, &pts)) return false;
  size_t types = kPoints + (size_t)n * (small ? 4 : 8);
  if (!r.Fits(types, n, 1)) return false;
  std::vector<BYTE> t(r.At(types), r.At(types) + n);
  return PolyDraw(p.hdc, pts.data(), t.data(), (int)n);
}

bool Shape(const Player &p, const RecordView &r) {
  HDC h = p.hdc;
  RECTL b = Box(r);
  LONG x3 = (LONG)r.U32(24), y3 = (LONG)r.U32(28), x4 = (LONG)r.U32(32), y4 = (LONG)r.U32(36);
  switch (r.Type()) {
    case EMR_RECTANGLE:
      return r.Size() >= 24 && Rectangle(h, b.left, b.top, b.right, b.bottom);
    case EMR_ELLIPSE:
      return r.Size() >= 24 && Ellipse(h, b.left, b.top, b.right, b.bottom);
    case EMR_ROUNDRECT:
      return r.Size() >= 32 && RoundRect(h, b.left, b.top, b.right, b.bottom, x3, y3);
    case EMR_ARC:
      return r.Size() >= 40 && Arc(h, b.left, b.top, b.right, b.bottom, x3, y3, x4, y4);
    case EMR_ARCTO:
      return r.Size() >= 40 && ArcTo(h, b.left, b.top, b.right, b.bottom, x3, y3, x4, y4);
    case EMR_CHORD:
      return r.Size() >= 40 && Chord(h, b.left, b.top, b.right, b.bottom, x3, y3, x4, y4);
    case EMR_PIE:
      return r.Size() >= 40 && Pie(h, b.left, b.top, b.right, b.bottom, x3, y3, x4, y4);
    default:
      return false;
  }
}

bool PathRecord(const Player &p, DWORD type) {
  switch (type) {
    case EMR_BEGINPATH:
      return BeginPath(p.hdc);
    case EMR_ENDPATH:
      return EndPath(p.hdc);
    case EMR_CLOSEFIGURE:
      return CloseFigure(p.hdc);
    case EMR_ABORTPATH:
      return AbortPath(p.hdc);
    case EMR_FLATTENPATH:
      return FlattenPath(p.hdc);
    case EMR_WIDENPATH:
      return WidenPath(p.hdc);
    case EMR_FILLPATH:
      return FillPath(p.hdc);
    case EMR_STROKEPATH:
      return StrokePath(p.hdc);
    default:
      return StrokeAndFillPath(p.hdc);
  }
}

// ---------------------------------------------------------------------------
// Bitmaps: the DIB is checked against the record. Bits the record holds
// whole are read where they lie; short bits are copied out, padded with zero
// rows up to what the header declares, so the blit never reads past the
// record.

struct RecordDib {
  std::vector<uint8_t> info, padded;
  const uint8_t *bits = nullptr;  // into the record, or padded's data
  DibView v;
  UINT usage = DIB_RGB_COLORS;
  const BITMAPINFO *Info() const { return reinterpret_cast<const BITMAPINFO *>(info.data()); }
};

constexpr size_t kMaxDibBytes = 256u << 20;
constexpr int kMaxSectionSide = 1 << 15;  // CreateDIBSection refuses larger bitmaps

bool ReadDib(const RecordView &r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits,
             DWORD usage, uint64_t rows, RecordDib *d) {
  if (!r.Fits(offBmi, cbBmi, 1) || !r.Fits(offBits, cbBits, 1)) return false;
  d->usage = usage == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
  if (!ParseDibInfo(r.At(offBmi), cbBmi, d->usage, &d->v)) return false;
  uint64_t need = d->v.stride * std::max<uint64_t>(rows, 1);
  if (need > kMaxDibBytes) return false;
  d->info.assign(r.At(offBmi), r.At(offBmi) + d->v.infoSize);
  if (cbBits >= need) {
    d->bits = r.At(offBits);
    return true;
  }
  d->padded.assign((size_t)need, 0);
  std::memcpy(d->padded.data(), r.At(offBits), cbBits);
  d->bits = d->padded.data();
  return true;
}

// A record's DIB as a DIB section.
HBITMAP RecordBitmap(const RecordView &r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits,
                     DWORD usage) {
  RecordDib d;
  BITMAPINFOHEADER h;
  if (!r.Fits(offBmi, 1, sizeof h)) return nullptr;
  std::memcpy(&h, r.At(offBmi), sizeof h);
  if (!ReadDib(r, offBmi, cbBmi, offBits, cbBits, usage, (uint64_t)std::abs((int64_t)h.biHeight),
               &d))
    return nullptr;
  // A table of palette indices is handed on as the colours they name.
  if (d.usage == DIB_PAL_COLORS && d.v.bpp <= 8) {
    const size_t max = size_t{1} << d.v.bpp;
    const size_t n = d.v.h.biClrUsed && d.v.h.biClrUsed < max ? d.v.h.biClrUsed : max;
    d.info.resize(d.v.h.biSize + n * sizeof(RGBQUAD));
    for (size_t i = 0; i < n; ++i) {
      const uint32_t c = d.v.palette[i];
      const RGBQUAD q{(BYTE)c, (BYTE)(c >> 8), (BYTE)(c >> 16), 0};
      std::memcpy(d.info.data() + d.v.h.biSize + i * sizeof q, &q, sizeof q);
    }
    d.usage = DIB_RGB_COLORS;
  }
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, d.Info(), d.usage, &bits, nullptr, 0);
  if (!bm) return nullptr;
  // A section of the DIB's own format takes its bits as they are: the same
  // colours SetDIBits would give, without converting them there and back.
  if (d.v.h.biCompression == BI_RGB && bits)
    std::memcpy(bits, d.bits, d.v.stride * (size_t)d.v.height);
  else
    SetDIBits(nullptr, bm, 0, (UINT)d.v.height, d.bits, d.Info(), d.usage);
  return bm;
}

// Onto a metafile DC a blit from a DIB section records the source area as a
// packed DIB again. For the DIBs whose area that packing reads back pixel
// for pixel, the same record is written straight from the record's own
// bits, without making a section and its surface. False when the record is
// not one of them (it then plays through a section).
bool RecordBlitDirectly(const Player &p, const RecordView &r, const EMRSTRETCHBLT &b) {
  Dc *dc = DcFromHandle(p.hdc);
  if (!dc || !dc->IsMetafile() || !b.cbBmiSrc || !RopUsesSource(b.dwRop) || b.cxSrc <= 0 || b.cySrc <= 0)
    return false;
  BITMAPINFOHEADER h;
  if (!r.Fits(b.offBmiSrc, 1, sizeof h)) return false;
  std::memcpy(&h, r.At(b.offBmiSrc), sizeof h);
  RecordDib d;
  if (!ReadDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc, b.iUsageSrc,
               (uint64_t)std::abs((int64_t)h.biHeight), &d) ||
      d.v.width > kMaxSectionSide || d.v.height > kMaxSectionSide ||
      (d.usage != DIB_RGB_COLORS && d.v.bpp <= 8))
    return false;
  d.v.bits = d.bits;
  d.v.bitsSize = d.v.stride * (size_t)d.v.height;
  std::vector<uint8_t> dib;
  size_t info = 0;
  if (!DibAreaToPackedDib(d.v, b.xSrc, b.ySrc, b.cxSrc, b.cySrc, &dib, &info)) return false;
  const BltSource source{dib.data(), dib.size(), info, b.cxSrc, b.cySrc, b.crBkColorSrc};
  WriteBltRecord(dc, b.xDest, b.yDest, b.cxDest, b.cyDest, &source, b.dwRop);
  return true;
}

// BITBLT, STRETCHBLT and MASKBLT carry their source as a DIB: it becomes a
// DIB section in a memory DC, so the source rectangle keeps its top-down
// sense.
bool BlitRecord(const Player &p, const RecordView &r, DWORD type) {
  EMRSTRETCHBLT b;
  EMRMASKBLT mb{};
  bool stretch = type == EMR_STRETCHBLT, masked = type == EMR_MASKBLT;
  if (masked) {
    if (!r.Read(&mb)) return false;
    std::memcpy(&b, &mb, offsetof(EMRMASKBLT, xMask));
  } else if (!r.Read(&b, stretch ? sizeof(EMRSTRETCHBLT) : sizeof(EMRBITBLT))) {
    return false;
  }
  if (!stretch) b.cxSrc = b.cxDest, b.cySrc = b.cyDest;
  if (!b.cbBmiSrc && !masked) return PatBlt(p.hdc, b.xDest, b.yDest, b.cxDest, b.cyDest, b.dwRop);
  if (!masked && RecordBlitDirectly(p, r, b)) return true;
  HBITMAP bm = b.cbBmiSrc ? RecordBitmap(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc,
                                         b.iUsageSrc)
                          : nullptr;
  if (b.cbBmiSrc && !bm) return false;
  HBITMAP mask = masked && mb.cbBmiMask
                     ? RecordMask(r, mb.offBmiMask, mb.cbBmiMask, mb.offBitsMask, mb.cbBitsMask)
                     : nullptr;
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = bm ? SelectObject(mem, bm) : nullptr;
  SetBkColor(mem, b.crBkColorSrc);
  BOOL ok = masked ? MaskBlt(p.hdc, b.xDest, b.yDest, b.cxDest, b.cyDest, bm ? mem : nullptr,
                             b.xSrc, b.ySrc, mask, mb.xMask, mb.yMask, b.dwRop)
                   : StretchBlt(p.hdc, b.xDest, b.yDest, b.cxDest, b.cyDest, mem, b.xSrc, b.ySrc,
                                b.cxSrc, b.cySrc, b.dwRop);
  if (old) SelectObject(mem, old);
  DeleteDC(mem);
  if (bm) DeleteObject(bm);
  if (mask) DeleteObject(mask);
  return ok;
}

// PLGBLT: bounds, three destination points, the source rectangle, its
// transform and background colour, then the source and mask DIBs.
bool PlgBltRecord(const Player &p, const RecordView &r) {
  if (r.Size() < 140) return false;
  POINT pts[3];
  for (int i = 0; i < 3; ++i) pts[i] = {(LONG)r.U32(24 + 8 * i), (LONG)r.U32(28 + 8 * i)};
  LONG xSrc = (LONG)r.U32(48), ySrc = (LONG)r.U32(52), cx = (LONG)r.U32(56), cy = (LONG)r.U32(60);
  HBITMAP bm = RecordBitmap(r, r.U32(96), r.U32(100), r.U32(104), r.U32(108), r.U32(92));
  if (!bm) return false;
  HBITMAP mask = r.U32(128) ? RecordMask(r, r.U32(124), r.U32(128), r.U32(132), r.U32(136)) : nullptr;
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, bm);
  SetBkColor(mem, r.U32(88));
  BOOL ok = PlgBlt(p.hdc, pts, mem, xSrc, ySrc, cx, cy, mask, (int)r.U32(112), (int)r.U32(116));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bm);
  if (mask) DeleteObject(mask);
  return ok;
}

bool StretchDibRecord(const Player &p, const RecordView &r) {
  EMRSTRETCHDIBITS s;
  RecordDib d;
  if (!r.Read(&s)) return false;
  BITMAPINFOHEADER h;
  if (!r.Fits(s.offBmiSrc, 1, sizeof h)) return false;
  std::memcpy(&h, r.At(s.offBmiSrc), sizeof h);
  if (!ReadDib(r, s.offBmiSrc, s.cbBmiSrc, s.offBitsSrc, s.cbBitsSrc, s.iUsageSrc,
               (uint64_t)std::abs((int64_t)h.biHeight), &d))
    return false;
  return StretchDIBits(p.hdc, s.xDest, s.yDest, s.cxDest, s.cyDest, s.xSrc, s.ySrc, s.cxSrc,
                       s.cySrc, d.bits, d.Info(), d.usage, s.dwRop) != 0;
}

bool DibToDeviceRecord(const Player &p, const RecordView &r) {
  EMRSETDIBITSTODEVICE s;
  RecordDib d;
  if (!r.Read(&s)) return false;
  if (!ReadDib(r, s.offBmiSrc, s.cbBmiSrc, s.offBitsSrc, s.cbBitsSrc, s.iUsageSrc, s.cScans, &d))
    return false;
  UINT scans = std::min<UINT>(s.cScans, (UINT)d.v.height);
  return SetDIBitsToDevice(p.hdc, s.xDest, s.yDest, (DWORD)s.cxSrc, (DWORD)s.cySrc, s.xSrc,
                           s.ySrc, s.iStartScan, scans, d.bits, d.Info(), d.usage) != 0;
}

// ---------------------------------------------------------------------------
// Regions: rectangles in reference-device pixels, mapped through m.

HRGN WrapRegion(cairo_region_t *rgn) {
  auto obj = std::make_unique<RegionObj>();
  cairo_region_destroy(obj->rgn);
  obj->rgn = rgn;
  return (HRGN)InsertObject(std::move(obj));
}

HRGN ReadRegion(const RecordView &r, size_t off, DWORD cb, const Affine &m) {
  RGNDATAHEADER h;
  if (cb < sizeof h || !r.Fits(off, cb, 1)) return nullptr;
  std::memcpy(&h, r.At(off), sizeof h);
  size_t rects = off + sizeof h;
  if (!r.Fits(rects, h.nCount, sizeof(RECT)) || sizeof h + 16ull * h.nCount > cb) return nullptr;
  cairo_region_t *rgn = cairo_region_create();
  for (DWORD i = 0; i < h.nCount; ++i) {
    RECT rc;
    std::memcpy(&rc, r.At(rects + 16 * (size_t)i), sizeof rc);
    double xs[4], ys[4];
    m.Apply(rc.left, rc.top, &xs[0], &ys[0]);
    m.Apply(rc.right, rc.top, &xs[1], &ys[1]);
    m.Apply(rc.left, rc.bottom, &xs[2], &ys[2]);
    m.Apply(rc.right, rc.bottom, &xs[3], &ys[3]);
    double l = *std::min_element(xs, xs + 4), t = *std::min_element(ys, ys + 4);
    double rr = *std::max_element(xs, xs + 4), b = *std::max_element(ys, ys + 4);
    auto clampi = [](double v) { return (int)std::clamp(std::lround(v), -(1L << 28), 1L << 28); };
    cairo_rectangle_int_t c{clampi(l), clampi(t), clampi(rr) - clampi(l), clampi(b) - clampi(t)};
    if (c.width > 0 && c.height > 0) cairo_region_union_rectangle(rgn, &c);
  }
  return WrapRegion(rgn);
}

// Clip regions of the metafile combine with the clip the destination had.
bool SelectBaseClip(const Player &p) {
  if (!p.pb || !p.pb->BaseClip().Active())
    return ExtSelectClipRgn(p.hdc, nullptr, RGN_COPY) != ERROR;
  HRGN base = WrapRegion(cairo_region_copy(p.pb->BaseClip().get()));
  int res = ExtSelectClipRgn(p.hdc, base, RGN_COPY);
  DeleteObject(base);
  return res != ERROR;
}

bool ClipRegionRecord(const Player &p, const RecordView &r) {
  constexpr size_t kData = offsetof(EMREXTSELECTCLIPRGN, RgnData);
  DWORD cb = r.U32(8), mode = r.U32(12);
  if (r.Size() < kData || mode < RGN_MIN || mode > RGN_MAX) return false;
  if (!cb) return mode == RGN_COPY && SelectBaseClip(p);
  HRGN rgn = ReadRegion(r, kData, cb, p.pb ? p.pb->RefToDevice() : Affine{});
  if (!rgn) return false;
  int res;
  if (mode == RGN_COPY && p.pb && p.pb->BaseClip().Active()) {
    SelectBaseClip(p);
    res = ExtSelectClipRgn(p.hdc, rgn, RGN_AND);
  } else {
    res = ExtSelectClipRgn(p.hdc, rgn, (int)mode);
  }
  DeleteObject(rgn);
  return res != ERROR;
}

// The region painting calls take logical units: reference pixels are
// taken back through the destination's current transform. The region data
// follows the record's own fields, 28 + `fixed` bytes in.
bool RegionPaintRecord(const Player &p, const RecordView &r) {
  DWORD t = r.Type();
  size_t fixed = t == EMR_FILLRGN ? 4 : t == EMR_FRAMERGN ? 12 : 0;
  if (r.Size() < 28 + fixed) return false;
  HBRUSH brush = nullptr;
  if (fixed && !(brush = (HBRUSH)ResolveObject(p, r.U32(28)))) return false;
  Dc *dc = DcFromHandle(p.hdc);
  if (!dc) return false;
  Affine m;
  if (p.pb) m = p.pb->RefToDevice().Then(LogicalToDevice(*dc).Inverse());
  HRGN rgn = ReadRegion(r, 28 + fixed, r.U32(24), m);
  if (!rgn) return false;
  BOOL ok = FALSE;
  switch (t) {
    case EMR_FILLRGN:
      ok = FillRgn(p.hdc, rgn, brush);
      break;
    case EMR_FRAMERGN:
      ok = FrameRgn(p.hdc, rgn, brush, (int)r.U32(32), (int)r.U32(36));
      break;
    case EMR_PAINTRGN:
      ok = PaintRgn(p.hdc, rgn);
      break;
    default:
      ok = InvertRgn(p.hdc, rgn);
      break;
  }
  DeleteObject(rgn);
  return ok;
}

}  // namespace

// A 1-bpp DIB as a monochrome bitmap of its bit values (1 = set), whatever
// its colour table says.
HBITMAP RecordMask(const RecordView &r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits) {
  RecordDib d;
  BITMAPINFOHEADER h;
  if (!r.Fits(offBmi, 1, sizeof h)) return nullptr;
  std::memcpy(&h, r.At(offBmi), sizeof h);
  if (!ReadDib(r, offBmi, cbBmi, offBits, cbBits, DIB_RGB_COLORS,
               (uint64_t)std::abs((int64_t)h.biHeight), &d) ||
      d.v.bpp != 1)
    return nullptr;
  size_t rowBytes = ((size_t)d.v.width + 15) / 16 * 2;
  std::vector<uint8_t> rows(rowBytes * (size_t)d.v.height);
  for (int y = 0; y < d.v.height; ++y) {
    int from = d.v.topDown ? y : d.v.height - 1 - y;
    std::memcpy(&rows[rowBytes * (size_t)y], d.bits + d.v.stride * (size_t)from,
                std::min(rowBytes, d.v.stride));
  }
  return CreateBitmap(d.v.width, d.v.height, 1, 1, rows.data());
}

bool IsShapeRecord(DWORD t) {
  return (t >= EMR_POLYBEZIER && t <= EMR_POLYPOLYGON) ||
         (t >= EMR_POLYBEZIER16 && t <= EMR_POLYDRAW16) || t == EMR_POLYDRAW ||
         t == EMR_SETPIXELV || t == EMR_MOVETOEX || t == EMR_LINETO || t == EMR_ANGLEARC ||
         (t >= EMR_ELLIPSE && t <= EMR_PIE) || t == EMR_ARCTO ||
         (t >= EMR_BEGINPATH && t <= EMR_WIDENPATH) || t == EMR_ABORTPATH;
}

bool PlayShape(const Player &p, const RecordView &r) {
  DWORD t = r.Type();
  if (t >= EMR_POLYBEZIER && t <= EMR_POLYLINETO) return Poly(p, r, t, false);
  if (t >= EMR_POLYBEZIER16 && t <= EMR_POLYLINETO16) return Poly(p, r, t - 83, true);
  switch (t) {
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
      return PolyPoly(p, r, t == EMR_POLYPOLYGON, false);
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
      return PolyPoly(p, r, t == EMR_POLYPOLYGON16, true);
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
      return PolyDrawRecord(p, r, t == EMR_POLYDRAW16);
    case EMR_MOVETOEX:
      return r.Size() >= 16 && MoveToEx(p.hdc, (int)r.U32(8), (int)r.U32(12), nullptr);
    case EMR_LINETO:
      return r.Size() >= 16 && LineTo(p.hdc, (int)r.U32(8), (int)r.U32(12));
    case EMR_ANGLEARC: {
      EMRANGLEARC a;
      return r.Read(&a) && AngleArc(p.hdc, a.ptlCenter.x, a.ptlCenter.y, a.nRadius, a.eStartAngle,
                                    a.eSweepAngle);
    }
    case EMR_SETPIXELV:
      return r.Size() >= 20 && SetPixelV(p.hdc, (int)r.U32(8), (int)r.U32(12), r.U32(16));
    default:
      break;
  }
  if ((t >= EMR_BEGINPATH && t <= EMR_WIDENPATH) || t == EMR_ABORTPATH) return PathRecord(p, t);
  return Shape(p, r);
}

bool IsBitmapRecord(DWORD t) {
  return t == EMR_BITBLT || t == EMR_STRETCHBLT || t == EMR_MASKBLT || t == EMR_PLGBLT ||
         t == EMR_STRETCHDIBITS ||
         t == EMR_SETDIBITSTODEVICE;
}

bool PlayBitmap(const Player &p, const RecordView &r) {
  switch (r.Type()) {
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
      return BlitRecord(p, r, r.Type());
    case EMR_PLGBLT:
      return PlgBltRecord(p, r);
    case EMR_STRETCHDIBITS:
      return StretchDibRecord(p, r);
    default:
      return DibToDeviceRecord(p, r);
  }
}

bool IsRegionRecord(DWORD t) {
  return t == EMR_EXTSELECTCLIPRGN || (t >= EMR_FILLRGN && t <= EMR_PAINTRGN) ||
         t == EMR_INTERSECTCLIPRECT ||
         t == EMR_EXCLUDECLIPRECT || t == EMR_SELECTCLIPPATH;
}

bool PlayRegion(const Player &p, const RecordView &r) {
  RECTL b = Box(r);
  switch (r.Type()) {
    case EMR_EXTSELECTCLIPRGN:
      return ClipRegionRecord(p, r);
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
      return RegionPaintRecord(p, r);
    case EMR_INTERSECTCLIPRECT:
      return r.Size() >= 24 && IntersectClipRect(p.hdc, b.left, b.top, b.right, b.bottom) != ERROR;
    case EMR_EXCLUDECLIPRECT:
      return r.Size() >= 24 && ExcludeClipRect(p.hdc, b.left, b.top, b.right, b.bottom) != ERROR;
    default:
      return r.Size() >= 12 && SelectClipPath(p.hdc, (int)r.U32(8));
  }
}

}  // namespace nx::gdi
