// ExtTextOutW, TextOutW and DrawTextW on any DC: recorded as EMR_EXTTEXTOUTW
// on metafile DCs, added to the path between BeginPath and EndPath, and
// rasterised with Cairo everywhere else.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/text/DrawTextLayout.h"
#include "platform/text/TextDc.h"
#include "platform/text/TextRaster.h"
#include "platform/text/TextRecord.h"

namespace nx::text {
namespace {

constexpr size_t kMaxCount = 1 << 24;  // a longer string is taken as garbage

// Room for advances: inline for a line of text, on the heap beyond, so
// that drawing a line allocates nothing.
class Advances {
 public:
  Advances() = default;
  Advances(const Advances &) = delete;
  Advances &operator=(const Advances &) = delete;
  // Room for n values (valid until the next call).
  INT *Get(size_t n) {
    if (n <= kInline) return inline_;
    heap_.resize(n);
    return heap_.data();
  }

 private:
  static constexpr size_t kInline = 256;
  INT inline_[kInline];
  std::vector<INT> heap_;
};

// Unscaled, every sum of up to this many advances stays a whole number
// below 2^53: each rescaled step is the value itself.
constexpr size_t kCopiedAsIs = size_t{1} << 21;

// Converts n advances so that positions, not single steps, are rounded.
void Rescale(const INT *v, size_t n, size_t per, double fx, double fy, INT *out) {
  if (fx == 1.0 && fy == 1.0 && n <= kCopiedAsIs) {
    std::copy_n(v, n, out);
    return;
  }
  double sum[2] = {0, 0}, prev[2] = {0, 0};
  for (size_t i = 0; i < n; ++i) {
    size_t axis = per == 2 ? i % 2 : 0;
    sum[axis] += v[i] * (axis ? fy : fx);
    const double pos = std::round(sum[axis]), step = pos - prev[axis];
    // Steps beyond 32 bits (a Dx array read from garbage) are held at its ends.
    out[i] = std::isnan(step) ? 0 : INT(std::clamp(step, -2147483648.0, 2147483647.0));
    prev[axis] = pos;
  }
}

// What Rescale's steps along x add up to, without the steps: they
// telescope to the last rounded position as long as none is held at the
// 32-bit ends, which no product up to 2^30 can make. False when one might
// be (Rescale then gives the sum).
bool RescaledWidth(const INT *v, size_t n, size_t per, double fx, long *width) {
  double sum = 0;
  for (size_t i = 0; i < n; i += per) {
    const double d = v[i] * fx;
    if (!(std::fabs(d) <= 1073741824.0)) return false;
    sum += d;
  }
  *width = long(std::round(sum));
  return true;
}

// The advances of one call: the record's Dx in logical units, and the same
// in device pixels when the call draws (a recording needs their sum only),
// `per` values a character ((dx, dy) pairs with ETO_PDY). The caller's dx
// as given, or the font's advances plus the character extra (which GDI
// does not record, so it goes into Dx).
class Run {
 public:
  Run(const gdi::Dc &dc, const DcScales &sc, const SizedFont &font, LPCWSTR s, UINT c, const INT *dx, UINT options)
      : per((options & ETO_PDY) ? 2 : 1), values_(size_t(c) * per) {
    if (dx) {
      logical = dx;
      if (dc.IsMetafile() && RescaledWidth(dx, values_, per, sc.x, &width_)) return;
      INT *dev = device_.Get(values_);
      Rescale(dx, values_, per, sc.x, sc.y, dev);
      device = dev;
      width_ = SumX(dev);
      return;
    }
    INT *dev = device_.Get(values_);
    if (options & ETO_GLYPH_INDEX) {
      for (UINT i = 0; i < c; ++i) dev[i] = font.GlyphAdvance(uint16_t(s[i]));
    } else if (c) {
      font.Advances(s, c, dev);
    }
    INT extra = INT(Round(dc.st.charExtra * sc.x));
    // Spread from the end so that each advance is read before its slot is
    // reused ((dx, dy) pairs take two slots a character). Without spacing
    // and pairs the advances already stand as they should.
    for (UINT k = c; (extra != 0 || per == 2) && k-- > 0;) {
      bool glyphless = !(options & ETO_GLYPH_INDEX) && LowSurrogateOfPair(s, k);
      const INT a = dev[k] + (glyphless ? 0 : extra);
      if (per == 2) dev[2 * size_t(k) + 1] = 0;
      dev[k * per] = a;
    }
    if (sc.x == 1.0 && sc.y == 1.0 && values_ <= kCopiedAsIs) {
      logical = dev;  // what Rescale would copy unchanged
    } else {
      INT *own = own_.Get(values_);
      Rescale(dev, values_, per, 1 / sc.x, 1 / sc.y, own);
      logical = own;
    }
    device = dev;
    width_ = SumX(dev);
  }
  Run(const Run &) = delete;
  Run &operator=(const Run &) = delete;

  // The sum of the device advances along the run.
  long DeviceWidth() const { return width_; }

  const size_t per;
  const INT *logical = nullptr;  // values_ entries
  const INT *device = nullptr;   // values_ entries; null on metafile DCs given dx

 private:
  long SumX(const INT *dev) const {
    long w = 0;
    for (size_t i = 0; i < values_; i += per) w += dev[i];
    return w;
  }

  size_t values_;
  long width_ = 0;
  Advances device_, own_;
};

double Escapement(const SizedFont &font) { return font.Logical().lfEscapement * M_PI / 1800.0; }

RECTL Intersect(const RECTL &a, const RECTL &b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}
RECTL Union(const RECTL &a, const RECTL &b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

// GDI's estimate of the text box around the device reference point, turned
// with the escapement.
RECTL TextBox(const SizedFont &font, double x, double y, long width, UINT align) {
  const TEXTMETRICW &tm = font.Metrics();
  LONG rx = Round(x), ry = Round(y);
  RECTL b = EstimateTextBounds(rx, ry, width, tm.tmHeight, tm.tmDescent, align);
  double a = Escapement(font);
  if (font.Logical().lfEscapement % 3600 == 0) return b;
  double c = std::cos(a), s = std::sin(a);
  double l = 1e300, t = 1e300, r = -1e300, bt = -1e300;
  for (LONG u : {b.left - rx, b.right - rx})
    for (LONG v : {b.top - ry, b.bottom - ry}) {
      double px = rx + u * c + v * s, py = ry - u * s + v * c;
      l = std::min(l, px), r = std::max(r, px), t = std::min(t, py), bt = std::max(bt, py);
    }
  return {LONG(std::floor(l)), LONG(std::floor(t)), LONG(std::ceil(r)), LONG(std::ceil(bt))};
}

// The record's bounds: the text box, cut to the clip rectangle and grown by
// the opaque one.
RECTL RecordBounds(const gdi::Dc &dc, const SizedFont &font, double x, double y, long width, UINT options,
                   const RECT *rect) {
  RECTL b = TextBox(font, x, y, width, dc.st.textAlign);
  if (!rect) return b;
  POINT corners[2] = {{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom)},
                      {std::max(rect->left, rect->right) - 1, std::max(rect->top, rect->bottom) - 1}};
  RECTL box = gdi::DeviceBox(dc, corners, 2);
  if (options & ETO_CLIPPED) b = Intersect(b, box);
  if (options & ETO_OPAQUE) b = (b.right < b.left || b.bottom < b.top) ? box : Union(b, box);
  return b;
}

void RecordText(gdi::Dc *dc, const gdi::Affine &m, const SizedFont &font, POINT ref, UINT options, const RECT *rect,
                LPCWSTR s, UINT c, const Run &run) {
  double x, y;
  m.Apply(ref.x, ref.y, &x, &y);
  TextRecordInput in;
  RECTL b = RecordBounds(*dc, font, x, y, run.DeviceWidth(), options, rect);
  bool draws = !dc->InPath() && b.left <= b.right && b.top <= b.bottom;
  if (draws) in.bounds = b;
  in.graphicsMode = DWORD(gdi::TextGraphicsMode(*dc));
  if (in.graphicsMode == GM_COMPATIBLE) {
    in.exScale = float(100.0 * dc->caps.horzSize / std::max(1, dc->caps.horzRes));
    in.eyScale = float(100.0 * dc->caps.vertSize / std::max(1, dc->caps.vertRes));
  }
  in.reference = POINTL{ref.x, ref.y};
  in.options = options;
  in.rect = rect;
  in.text = s;
  in.count = c;
  in.dx = run.logical;
  WriteExtTextOutRecord(in, dc->rec->Append(EMR_EXTTEXTOUTW, ExtTextOutRecordSize(in)));
  if (draws) dc->rec->AddBounds(b);
}

// The opaque/clip rectangle in device pixels (axis-aligned transforms).
RECT DeviceRect(const gdi::Affine &m, const RECT &r) {
  double l, t, rt, b;
  m.Apply(r.left, r.top, &l, &t);
  m.Apply(r.right, r.bottom, &rt, &b);
  return RECT{Round(std::min(l, rt)), Round(std::min(t, b)), Round(std::max(l, rt)), Round(std::max(t, b))};
}

// Glyph outlines of the run appended to the DC's path.
void AddTextToPath(gdi::Dc *dc, cairo_t *cr) {
  cairo_path_t *p = cairo_copy_path(cr);
  for (int i = 0; i < p->num_data; i += p->data[i].header.length) {
    const cairo_path_data_t *d = &p->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO: dc->path.MoveTo(d[1].point.x, d[1].point.y); break;
      case CAIRO_PATH_LINE_TO: dc->path.LineTo(d[1].point.x, d[1].point.y); break;
      case CAIRO_PATH_CURVE_TO:
        dc->path.BezierTo({d[1].point.x, d[1].point.y}, {d[2].point.x, d[2].point.y}, {d[3].point.x, d[3].point.y});
        break;
      case CAIRO_PATH_CLOSE_PATH: dc->path.Close(); break;
    }
  }
  cairo_path_destroy(p);
  cairo_new_path(cr);
}

// Neither rotates, shears nor mirrors: text is drawn as on an unscaled page.
bool Upright(const gdi::Affine &m) { return m.AxisAligned() && m.m11 > 0 && m.m22 > 0; }

// GM_COMPATIBLE under a transform that turns the page: the glyphs stay
// upright, and each character is placed along the transformed baseline, its
// advance running forward on a mirrored axis (as GDI does). The direction is
// returned in the escapement's frame.
void CompatibleBaseline(const gdi::Affine &m, const SizedFont &font, TextRasterState &st) {
  double a = Escapement(font), c = std::cos(a), sn = std::sin(a);
  double dx = c * m.m11 - sn * m.m21, dy = c * m.m12 - sn * m.m22;  // the logical (cos, -sin) on the device
  if (m.m11 < 0) dx = -dx;
  if (m.m22 < 0) dy = -dy;
  double len = std::hypot(dx, dy);
  if (!(len > 0) || !std::isfinite(len)) return;
  dx /= len, dy /= len;
  // Undo the escapement's turn (the run is drawn turned by it).
  st.alongX = dx * c - dy * sn;
  st.alongY = dx * sn + dy * c;
}

// GM_ADVANCED under a transform that turns the page: the run is drawn in
// the transform's frame, the font's scale (already in its size) taken out.
// The opaque and clip rectangles become parallelograms.
cairo_matrix_t AdvancedFrame(const gdi::Dc &dc, const gdi::Affine &m) {
  DcScales sc = ScalesOf(dc);
  return cairo_matrix_t{m.m11 / sc.x, m.m12 / sc.x, m.m21 / sc.y, m.m22 / sc.y, 0, 0};
}

// The opaque rectangle painted and the clip set, in logical units through
// the whole transform (the scope's save undoes the clip).
void TurnedRect(cairo_t *cr, const gdi::Affine &m, const RECT &r, UINT options, COLORREF bk) {
  cairo_save(cr);
  cairo_matrix_t cm = m.ToCairo();
  cairo_transform(cr, &cm);
  cairo_new_path(cr);
  cairo_rectangle(cr, r.left, r.top, double(r.right) - r.left, double(r.bottom) - r.top);
  cairo_restore(cr);
  if (options & ETO_OPAQUE) {
    cairo_set_source_rgb(cr, GetRValue(bk) / 255.0, GetGValue(bk) / 255.0, GetBValue(bk) / 255.0);
    cairo_fill_preserve(cr);
  }
  if (options & ETO_CLIPPED) cairo_clip(cr);
  cairo_new_path(cr);
}

void RasterText(gdi::Dc *dc, const SizedFont &font, POINT ref, UINT options, const RECT *rect, LPCWSTR s, UINT c,
                const Run &run) {
  gdi::RasterScope scope(dc);
  cairo_t *cr = scope.cr();
  if (!cr) return;
  gdi::Affine m = gdi::LogicalToDevice(*dc);
  double x, y;
  m.Apply(ref.x, ref.y, &x, &y);
  RECT devRect = rect ? DeviceRect(m, *rect) : RECT{};
  TextRasterState st;
  cairo_matrix_t frame;
  bool advanced = gdi::TextGraphicsMode(*dc) == GM_ADVANCED;
  if (!Upright(m) && advanced) {
    frame = AdvancedFrame(*dc, m);
    st.frame = &frame;
    if (rect && !dc->InPath()) TurnedRect(cr, m, *rect, options, dc->st.bkColor);
    rect = nullptr;
  } else if (!Upright(m)) {
    CompatibleBaseline(m, font, st);
  }
  st.align = dc->st.textAlign;
  st.textColor = dc->st.textColor;
  st.bkColor = dc->st.bkColor;
  st.opaqueBackground = dc->st.bkMode == OPAQUE;
  st.options = options;
  st.rect = rect ? &devRect : nullptr;
  st.glyphIndices = options & ETO_GLYPH_INDEX;
  st.pathOnly = dc->InPath();
  Advances room;
  INT *adv = room.Get(c);
  for (size_t i = 0; i < c; ++i) adv[i] = run.device[i * run.per];
  if (st.pathOnly) cairo_new_path(cr);
  DrawTextRun(cr, font, x, y, s, c, adv, st);
  if (st.pathOnly) AddTextToPath(dc, cr);
}

// TA_UPDATECP: the current position moves to the end of the text (TA_LEFT),
// to its start (TA_RIGHT) or stays (TA_CENTER), along the escapement.
void UpdateCurrentPosition(gdi::Dc *dc, const SizedFont &font, POINT ref, long width) {
  UINT h = dc->st.textAlign & TA_CENTER;
  if (h == TA_CENTER) return;
  gdi::Affine m = gdi::LogicalToDevice(*dc);
  double x, y;
  m.Apply(ref.x, ref.y, &x, &y);
  double a = Escapement(font), sign = h == TA_RIGHT ? -1.0 : 1.0;
  x += sign * width * std::cos(a);
  y -= sign * width * std::sin(a);
  if (!m.Invertible()) return;
  double lx, ly;
  m.Inverse().Apply(x, y, &lx, &ly);
  dc->st.curPos = POINT{Round(lx), Round(ly)};
}

}  // namespace
}  // namespace nx::text

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString, UINT c,
                        const INT *lpDx) {
  nx::gdi::Dc *dc = nx::gdi::DcFromHandle(hdc);
  if (!dc || size_t(c) > nx::text::kMaxCount || (c > 0 && !lpString)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The transform is worked out once for the font, the advances and the record.
  const nx::gdi::Affine m = nx::gdi::LogicalToDevice(*dc);
  const nx::text::DcScales sc = nx::text::ScalesOf(m);
  const nx::text::SizedFont *font = nx::text::DcFontAt(dc, sc);
  if (!font) return FALSE;
  POINT ref{x, y};
  if (dc->st.textAlign & TA_UPDATECP) ref = dc->st.curPos;
  const nx::text::Run run(*dc, sc, *font, lpString, c, lpDx, options);
  const RECT *rect = (options & (ETO_OPAQUE | ETO_CLIPPED)) ? lprect : nullptr;
  if (dc->IsMetafile()) nx::text::RecordText(dc, m, *font, ref, options, rect, lpString, c, run);
  else nx::text::RasterText(dc, *font, ref, options, rect, lpString, c, run);
  if (dc->st.textAlign & TA_UPDATECP) nx::text::UpdateCurrentPosition(dc, *font, ref, run.DeviceWidth());
  return TRUE;
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  if (c < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ExtTextOutW(hdc, x, y, 0, nullptr, lpString, UINT(c), nullptr);
}

// Lines are broken by the shared layout and each drawn with ExtTextOutW at its
// top-left corner, clipped to the rectangle unless DT_NOCLIP.
int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  nx::gdi::Dc *dc = nx::gdi::DcFromHandle(hdc);
  if (!dc || !lprc || cchText < -1 || (cchText != 0 && !lpchText)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = cchText == -1 ? std::char_traits<char16_t>::length(reinterpret_cast<const char16_t *>(lpchText))
                           : size_t(cchText);
  auto font = nx::text::DcFont(dc);
  TEXTMETRICW tm;
  if (!font || n > nx::text::kMaxCount || !GetTextMetricsW(hdc, &tm)) return 0;
  int lh = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
  auto measure = [dc, &font](const WCHAR *s, size_t len, int *out) {
    nx::text::LogicalAdvances(*dc, *font, s, len, out);
  };
  auto layout = nx::text::LayoutDrawText(lpchText, n, *lprc, format, lh, measure);
  if (format & DT_CALCRECT) {
    *lprc = layout.calcRect;
    return layout.height;
  }
  UINT savedAlign = dc->st.textAlign;
  if (savedAlign != (TA_TOP | TA_LEFT)) SetTextAlign(hdc, TA_TOP | TA_LEFT);
  UINT options = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
  for (const auto &line : layout.lines)
    ExtTextOutW(hdc, line.x, line.y, options, lprc, reinterpret_cast<const WCHAR *>(line.text.data()),
                UINT(line.text.size()), nullptr);
  if (savedAlign != (TA_TOP | TA_LEFT)) SetTextAlign(hdc, savedAlign);
  return layout.height;
}
