// Regions (rectangle lists on cairo_region_t), the clip rectangle calls
// and FillRgn.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/gdi/Raster.h"

namespace nx::gdi {
namespace {

RegionObj *Rgn(HRGN h) { return Lookup<RegionObj>(h, Kind::Region); }

int Complexity(const cairo_region_t *r) {
  int n = cairo_region_num_rectangles(r);
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

cairo_rectangle_int_t IntRect(int l, int t, int r, int b) {
  int x0 = std::min(l, r), x1 = std::max(l, r), y0 = std::min(t, b), y1 = std::max(t, b);
  return {x0, y0, x1 - x0, y1 - y0};
}

// A logical rectangle in device pixels (axis-aligned mappings; otherwise
// the device box of its corners).
cairo_rectangle_int_t DeviceRect(const Dc &dc, int l, int t, int r, int b) {
  Affine m = LogicalToDevice(dc);
  DPoint p[4] = {RoundedDevice(m, l, t), RoundedDevice(m, r, t), RoundedDevice(m, l, b),
                 RoundedDevice(m, r, b)};
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const DPoint &q : p) {
    x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
  }
  return {(int)x0, (int)y0, (int)(x1 - x0), (int)(y1 - y0)};
}

// The whole drawing surface in device pixels (the clip of a DC without one).
cairo_rectangle_int_t SurfaceRect(const Dc &dc) {
  if (dc.surface && cairo_surface_get_type(dc.surface) == CAIRO_SURFACE_TYPE_IMAGE) {
    cairo_matrix_t inv = dc.deviceMatrix;
    double x0 = 0, y0 = 0, x1 = cairo_image_surface_get_width(dc.surface),
           y1 = cairo_image_surface_get_height(dc.surface);
    if (cairo_matrix_invert(&inv) == CAIRO_STATUS_SUCCESS) {
      cairo_matrix_transform_point(&inv, &x0, &y0);
      cairo_matrix_transform_point(&inv, &x1, &y1);
    }
    return IntRect((int)std::lround(x0), (int)std::lround(y0), (int)std::lround(x1),
                   (int)std::lround(y1));
  }
  return {0, 0, dc.caps.horzRes, dc.caps.vertRes};
}

int ClipRect(HDC hdc, int l, int t, int r, int b, bool exclude) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return ERROR;
  if (dc->IsMetafile()) {
    auto *rec = Record<EMREXCLUDECLIPRECT>(dc, exclude ? EMR_EXCLUDECLIPRECT : EMR_INTERSECTCLIPRECT);
    rec->rclClip = {l, t, r, b};
  }
  cairo_rectangle_int_t rc = DeviceRect(*dc, l, t, r, b);
  if (!dc->st.clip.Active()) {
    cairo_rectangle_int_t all = SurfaceRect(*dc);
    dc->st.clip = ClipRegion(cairo_region_create_rectangle(&all));
  }
  cairo_region_t *clip = dc->st.clip.Mutable();
  cairo_region_t *part = cairo_region_create_rectangle(&rc);
  if (exclude) cairo_region_subtract(clip, part);
  else cairo_region_intersect(clip, part);
  cairo_region_destroy(part);
  return Complexity(clip);
}

}  // namespace

std::vector<uint8_t> RegionData(const cairo_region_t *rgn) {
  int n = cairo_region_num_rectangles(rgn);
  std::vector<uint8_t> out(sizeof(RGNDATAHEADER) + 16 * (size_t)n);
  auto *h = reinterpret_cast<RGNDATAHEADER *>(out.data());
  h->dwSize = sizeof(RGNDATAHEADER);
  h->iType = RDH_RECTANGLES;
  h->nCount = (DWORD)n;
  h->nRgnSize = (DWORD)(16 * n);
  cairo_rectangle_int_t e;
  cairo_region_get_extents(rgn, &e);
  h->rcBound = n ? RECT{e.x, e.y, e.x + e.width, e.y + e.height} : RECT{0, 0, 0, 0};
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(rgn, i, &r);
    RECT q{r.x, r.y, r.x + r.width, r.y + r.height};
    std::memcpy(out.data() + sizeof(RGNDATAHEADER) + 16 * (size_t)i, &q, 16);
  }
  return out;
}

}  // namespace nx::gdi

using namespace nx::gdi;

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
  auto r = std::make_unique<RegionObj>();
  cairo_rectangle_int_t rc = IntRect(x1, y1, x2, y2);
  if (rc.width > 0 && rc.height > 0) cairo_region_union_rectangle(r->rgn, &rc);
  return (HRGN)InsertObject(std::move(r));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT *lprect) {
  if (!lprect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

HRGN WINAPI ExtCreateRegion(const XFORM *lpx, DWORD nCount, const RGNDATA *lpData) {
  if (!lpData || lpData->rdh.dwSize < sizeof(RGNDATAHEADER) ||
      lpData->rdh.iType != RDH_RECTANGLES ||
      (size_t)lpData->rdh.nCount * 16 + lpData->rdh.dwSize > nCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Affine m = lpx ? Affine::FromXform(*lpx) : Affine{};
  auto r = std::make_unique<RegionObj>();
  const auto *base = reinterpret_cast<const uint8_t *>(lpData) + lpData->rdh.dwSize;
  for (DWORD i = 0; i < lpData->rdh.nCount; ++i) {
    RECT q;
    std::memcpy(&q, base + 16 * (size_t)i, 16);
    // A transform other than scale and offset keeps each rectangle's box.
    DPoint a = RoundedDevice(m, q.left, q.top), b = RoundedDevice(m, q.right, q.bottom);
    DPoint c = RoundedDevice(m, q.right, q.top), d = RoundedDevice(m, q.left, q.bottom);
    double x0 = std::min({a.x, b.x, c.x, d.x}), x1 = std::max({a.x, b.x, c.x, d.x});
    double y0 = std::min({a.y, b.y, c.y, d.y}), y1 = std::max({a.y, b.y, c.y, d.y});
    cairo_rectangle_int_t rc{(int)x0, (int)y0, (int)(x1 - x0), (int)(y1 - y0)};
    if (rc.width > 0 && rc.height > 0) cairo_region_union_rectangle(r->rgn, &rc);
  }
  return (HRGN)InsertObject(std::move(r));
}

int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
  RegionObj *dst = Rgn(hrgnDst), *a = Rgn(hrgnSrc1);
  RegionObj *b = iMode == RGN_COPY ? nullptr : Rgn(hrgnSrc2);
  if (!dst || !a || (iMode != RGN_COPY && !b) || iMode < RGN_MIN || iMode > RGN_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  cairo_region_t *res = cairo_region_copy(a->rgn);
  switch (iMode) {
    case RGN_AND:
      cairo_region_intersect(res, b->rgn);
      break;
    case RGN_OR:
      cairo_region_union(res, b->rgn);
      break;
    case RGN_XOR:
      cairo_region_xor(res, b->rgn);
      break;
    case RGN_DIFF:
      cairo_region_subtract(res, b->rgn);
      break;
    default:
      break;
  }
  cairo_region_destroy(dst->rgn);
  dst->rgn = res;
  return Complexity(res);
}

BOOL WINAPI SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  RegionObj *r = Rgn(hrgn);
  if (!r) return FALSE;
  cairo_region_destroy(r->rgn);
  cairo_rectangle_int_t rc = IntRect(left, top, right, bottom);
  r->rgn = rc.width > 0 && rc.height > 0 ? cairo_region_create_rectangle(&rc)
                                         : cairo_region_create();
  return TRUE;
}

int WINAPI OffsetRgn(HRGN hrgn, int x, int y) {
  RegionObj *r = Rgn(hrgn);
  if (!r) return ERROR;
  cairo_region_translate(r->rgn, x, y);
  return Complexity(r->rgn);
}

int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
  RegionObj *r = Rgn(hrgn);
  if (!r || !lprc) return ERROR;
  cairo_rectangle_int_t e{0, 0, 0, 0};
  if (!cairo_region_is_empty(r->rgn)) cairo_region_get_extents(r->rgn, &e);
  *lprc = {e.x, e.y, e.x + e.width, e.y + e.height};
  return Complexity(r->rgn);
}

DWORD WINAPI GetRegionData(HRGN hrgn, DWORD nCount, LPRGNDATA lpRgnData) {
  RegionObj *r = Rgn(hrgn);
  if (!r) return 0;
  std::vector<uint8_t> data = RegionData(r->rgn);
  if (!lpRgnData) return (DWORD)data.size();
  if (nCount < data.size()) return 0;  // the buffer is too small
  std::memcpy(lpRgnData, data.data(), data.size());
  return (DWORD)data.size();
}

BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y) {
  RegionObj *r = Rgn(hrgn);
  return r && cairo_region_contains_point(r->rgn, x, y);
}

BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  RegionObj *a = Rgn(hrgn1), *b = Rgn(hrgn2);
  if (!a || !b) return ERROR;
  return cairo_region_equal(a->rgn, b->rgn);
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return ClipRect(hdc, left, top, right, bottom, false);
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return ClipRect(hdc, left, top, right, bottom, true);
}

int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !lprect) return ERROR;
  cairo_rectangle_int_t e = SurfaceRect(*dc);
  int kind = SIMPLEREGION;
  if (const cairo_region_t *clip = dc->st.clip.get()) {
    kind = Complexity(clip);
    e = {0, 0, 0, 0};
    if (kind != NULLREGION) cairo_region_get_extents(clip, &e);
  }
  // Back to logical units.
  Affine inv = LogicalToDevice(*dc).Inverse();
  double x0, y0, x1, y1;
  inv.Apply(e.x, e.y, &x0, &y0);
  inv.Apply(e.x + e.width, e.y + e.height, &x1, &y1);
  *lprect = {(LONG)std::lround(std::min(x0, x1)), (LONG)std::lround(std::min(y0, y1)),
             (LONG)std::lround(std::max(x0, x1)), (LONG)std::lround(std::max(y0, y1))};
  return kind;
}

int WINAPI GetClipRgn(HDC hdc, HRGN hrgn) {
  Dc *dc = DcFromHandle(hdc);
  RegionObj *r = Rgn(hrgn);
  if (!dc || !r) return -1;
  if (!dc->st.clip.Active()) return 0;
  cairo_region_destroy(r->rgn);
  r->rgn = cairo_region_copy(dc->st.clip.get());
  return 1;
}

namespace {

// A logical region in device pixels.
cairo_region_t *DeviceRegion(const Dc &dc, const cairo_region_t *rgn) {
  cairo_region_t *dev = cairo_region_create();
  for (int i = 0, n = cairo_region_num_rectangles(rgn); i < n; ++i) {
    cairo_rectangle_int_t q;
    cairo_region_get_rectangle(rgn, i, &q);
    cairo_rectangle_int_t d = DeviceRect(dc, q.x, q.y, q.x + q.width, q.y + q.height);
    cairo_region_union_rectangle(dev, &d);
  }
  return dev;
}

// The record of a region painting call: bounds, cbRgnData at 24, then
// `fixed` bytes of the call's own fields (filled by the caller) and the
// region data. Returns the record.
uint8_t *RecordRegion(Dc *dc, DWORD type, const cairo_region_t *dev, size_t fixed) {
  std::vector<uint8_t> data = RegionData(dev);
  size_t head = 28 + fixed;
  uint8_t *rec = dc->rec->Append(type, head + data.size());
  auto *h = reinterpret_cast<const RGNDATAHEADER *>(data.data());
  RECTL box{h->rcBound.left, h->rcBound.top, h->rcBound.right - 1, h->rcBound.bottom - 1};
  DWORD cb = (DWORD)data.size();
  std::memcpy(rec + 8, &box, sizeof box);
  std::memcpy(rec + 24, &cb, 4);
  std::memcpy(rec + head, data.data(), data.size());
  if (!cairo_region_is_empty(dev)) AddDrawBounds(dc, box, false);
  return rec;
}

// Paints device rectangles with a brush, or inverts them (brush NULL).
bool PaintDeviceRegion(Dc *dc, const cairo_region_t *dev, const BrushObj *brush) {
  RasterScope rs(dc);
  cairo_t *cr = rs.cr();
  if (!cr) return false;
  for (int i = 0, n = cairo_region_num_rectangles(dev); i < n; ++i) {
    cairo_rectangle_int_t q;
    cairo_region_get_rectangle(dev, i, &q);
    cairo_rectangle(cr, q.x, q.y, q.width, q.height);
  }
  cairo_save(cr);
  if (!brush) {
    SetCairoColor(cr, RGB(255, 255, 255));
    cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    cairo_fill(cr);
  } else if (SetBrushSource(*dc, cr, *brush)) {
    cairo_fill(cr);
  }
  cairo_restore(cr);
  cairo_new_path(cr);
  return true;
}

// The pixels of a region less than w across or h down from its outside.
cairo_region_t *FrameOf(const cairo_region_t *dev, int w, int h) {
  cairo_region_t *inner = cairo_region_copy(dev);
  const int shifts[4][2] = {{w, 0}, {-w, 0}, {0, h}, {0, -h}};
  for (const auto &d : shifts) {
    cairo_region_t *moved = cairo_region_copy(dev);
    cairo_region_translate(moved, d[0], d[1]);
    cairo_region_intersect(inner, moved);
    cairo_region_destroy(moved);
  }
  cairo_region_t *frame = cairo_region_copy(dev);
  cairo_region_subtract(frame, inner);
  cairo_region_destroy(inner);
  return frame;
}

}  // namespace

BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
  Dc *dc = DcFromHandle(hdc);
  RegionObj *r = Rgn(hrgn);
  auto *brush = Lookup<BrushObj>(hbr, Kind::Brush);
  if (!dc || !r || !brush) return FALSE;
  cairo_region_t *dev = DeviceRegion(*dc, r->rgn);
  bool ok = true;
  if (dc->IsMetafile()) {
    DWORD idx = RecordObject(dc, hbr);
    uint8_t *rec = RecordRegion(dc, EMR_FILLRGN, dev, 4);
    std::memcpy(rec + 28, &idx, 4);
  } else {
    ok = PaintDeviceRegion(dc, dev, brush);
  }
  cairo_region_destroy(dev);
  return ok;
}

namespace {

// PaintRgn and InvertRgn: recorded as `type` with the region alone, or the
// region painted with the DC's brush (invert: with no brush, which inverts).
BOOL RegionOnly(HDC hdc, HRGN hrgn, DWORD type, bool invert) {
  Dc *dc = DcFromHandle(hdc);
  RegionObj *r = Rgn(hrgn);
  if (!dc || !r) return FALSE;
  cairo_region_t *dev = DeviceRegion(*dc, r->rgn);
  bool ok = true;
  if (dc->IsMetafile()) RecordRegion(dc, type, dev, 0);
  else if (invert) ok = PaintDeviceRegion(dc, dev, nullptr);
  else if (BrushObj *b = DrawingBrush(*dc)) ok = PaintDeviceRegion(dc, dev, b);
  cairo_region_destroy(dev);
  return ok;
}

}  // namespace

BOOL WINAPI PaintRgn(HDC hdc, HRGN hrgn) { return RegionOnly(hdc, hrgn, EMR_PAINTRGN, false); }

BOOL WINAPI InvertRgn(HDC hdc, HRGN hrgn) { return RegionOnly(hdc, hrgn, EMR_INVERTRGN, true); }

BOOL WINAPI FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h) {
  Dc *dc = DcFromHandle(hdc);
  RegionObj *r = Rgn(hrgn);
  auto *brush = Lookup<BrushObj>(hbr, Kind::Brush);
  if (!dc || !r || !brush || w <= 0 || h <= 0) return FALSE;
  cairo_region_t *dev = DeviceRegion(*dc, r->rgn);
  bool ok = true;
  if (dc->IsMetafile()) {
    DWORD idx = RecordObject(dc, hbr);
    uint8_t *rec = RecordRegion(dc, EMR_FRAMERGN, dev, 12);
    LONG stroke[2] = {w, h};
    std::memcpy(rec + 28, &idx, 4);
    std::memcpy(rec + 32, stroke, 8);
  } else {
    // The stroke is given in logical units.
    Affine m = LogicalToDevice(*dc);
    double sx = std::hypot(m.m11, m.m12), sy = std::hypot(m.m21, m.m22);
    auto pixels = [](double v) { return (int)std::clamp(std::round(v), 1.0, 65536.0); };
    int dw = pixels(w * sx), dh = pixels(h * sy);
    cairo_region_t *frame = FrameOf(dev, dw, dh);
    ok = PaintDeviceRegion(dc, frame, brush);
    cairo_region_destroy(frame);
  }
  cairo_region_destroy(dev);
  return ok;
}
