// Lines, curves and filled shapes. Each call records its metafile record
// on a metafile DC, adds to the open path between BeginPath and EndPath,
// or rasterises through Cairo in device pixels.
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/gdi/Raster.h"

namespace nx::gdi {

DPoint RoundedDevice(const Affine &m, double x, double y) {
  double dx, dy;
  m.Apply(x, y, &dx, &dy);
  return {std::round(dx), std::round(dy)};
}

namespace {

// Moves a point `d` pixels from a towards b.
void Nudge(DPoint *a, const DPoint &b, double d) {
  double dx = b.x - a->x, dy = b.y - a->y, len = std::hypot(dx, dy);
  if (len > 0) a->x += dx / len * d, a->y += dy / len * d;
}

// A one-pixel line draws its first pixel and leaves out its last, in
// every direction: open figures start a little earlier and end a little
// before their end point.
DevicePath ThinLineEnds(const DevicePath &p) {
  DevicePath out = p;
  size_t n = out.pts.size();
  for (size_t start = 0; start < n;) {
    size_t end = start + 1;
    while (end < n && out.types[end] != PT_MOVETO) ++end;
    size_t last = end - 1;
    if (last > start && !(out.types[last] & PT_CLOSEFIGURE)) {
      Nudge(&out.pts[start], p.pts[start + 1], -0.49);
      Nudge(&out.pts[last], p.pts[last - 1], 0.02);
    }
    start = end;
  }
  return out;
}

}  // namespace

void OutputShape(Dc *dc, const DevicePath &p, bool fill, bool stroke) {
  if (dc->InPath()) {
    dc->path.Append(p);
    return;
  }
  RasterScope rs(dc);
  cairo_t *cr = rs.cr();
  if (!cr || p.Empty()) return;
  PenObj *pen = DrawingPen(*dc);
  bool thin = !fill && pen && PenDeviceWidth(*dc, *pen) <= 1;
  AddToCairo(cr, thin ? ThinLineEnds(p) : p);
  if (fill)
    if (BrushObj *b = DrawingBrush(*dc)) FillCurrentPath(dc, cr, *b);
  if (stroke)
    if (PenObj *pen = DrawingPen(*dc)) StrokeCurrentPath(dc, cr, *pen);
  cairo_new_path(cr);
}

void AddDrawBounds(Dc *dc, RECTL box, bool pen) {
  if (!dc->rec || dc->InPath()) return;
  if (pen) {
    PenObj *p = DrawingPen(*dc);
    double w = p && p->Dash() != PS_INSIDEFRAME ? PenDeviceWidth(*dc, *p) : 1;
    if (w > 1) {
      double half = std::ceil(w / 2);
      box = {ClampToLong(box.left - half), ClampToLong(box.top - half),
             ClampToLong(box.right + half), ClampToLong(box.bottom + half)};
    }
  }
  dc->rec->AddBounds(box);
}

namespace {

// ---------------------------------------------------------------------------
// Geometry.

constexpr double kPi = 3.14159265358979323846;

// A box shape: coordinates in "box space" and the transform to device
// pixels. With an axis-aligned mapping the box is already in device pixels
// (rounded; GM_COMPATIBLE leaves out the right and bottom edge).
struct Box {
  double l, t, r, b;
  Affine m;
  double Cx() const { return (l + r) / 2; }
  double Cy() const { return (t + b) / 2; }
  double Rx() const { return (r - l) / 2; }
  double Ry() const { return (b - t) / 2; }
};

Box MakeBox(const Dc &dc, int l, int t, int r, int b) {
  Affine m = LogicalToDevice(dc);
  Box bx{};
  if (!m.AxisAligned()) {
    bx = {(double)std::min(l, r), (double)std::min(t, b), (double)std::max(l, r),
          (double)std::max(t, b), m};
    return bx;
  }
  DPoint a = RoundedDevice(m, l, t), c = RoundedDevice(m, r, b);
  bx.l = std::min(a.x, c.x), bx.r = std::max(a.x, c.x);
  bx.t = std::min(a.y, c.y), bx.b = std::max(a.y, c.y);
  if (dc.st.graphicsMode == GM_COMPATIBLE) {
    bx.r = std::max(bx.l, bx.r - 1);
    bx.b = std::max(bx.t, bx.b - 1);
  }
  // An inside-frame pen keeps its whole width within the box.
  const PenObj *pen = DrawingPen(dc);
  if (pen && pen->Dash() == PS_INSIDEFRAME) {
    double in = (PenDeviceWidth(dc, *pen) - 1) / 2;
    double cx = bx.Cx(), cy = bx.Cy();
    bx.l = std::min(cx, bx.l + in), bx.r = std::max(cx, bx.r - in);
    bx.t = std::min(cy, bx.t + in), bx.b = std::max(cy, bx.b - in);
  }
  return bx;
}

// A logical point in the box's space.
DPoint ToBoxSpace(const Dc &dc, const Box &bx, double x, double y) {
  if (!LogicalToDevice(dc).AxisAligned()) return {x, y};
  double dx, dy;
  LogicalToDevice(dc).Apply(x, y, &dx, &dy);
  return {dx, dy};
}

DevicePath ToDevice(const DevicePath &p, const Affine &m) {
  DevicePath out = p;
  for (DPoint &q : out.pts) m.Apply(q.x, q.y, &q.x, &q.y);
  return out;
}

// An elliptic arc from angle a0 sweeping `sweep` radians (y down), as
// Béziers of at most a quarter turn; starts with a MoveTo or a LineTo.
void AppendArc(DevicePath *p, double cx, double cy, double rx, double ry, double a0, double sweep,
               BYTE firstType) {
  p->Add(cx + rx * std::cos(a0), cy + ry * std::sin(a0), firstType);
  int n = std::max(1, (int)std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9));
  double d = sweep / n;
  double k = 4.0 / 3.0 * std::tan(d / 4);
  for (int i = 0; i < n; ++i) {
    double a = a0 + d * i, e = a + d;
    double c0 = std::cos(a), s0 = std::sin(a), c1 = std::cos(e), s1 = std::sin(e);
    p->BezierTo({cx + rx * (c0 - k * s0), cy + ry * (s0 + k * c0)},
                {cx + rx * (c1 + k * s1), cy + ry * (s1 - k * c1)},
                {cx + rx * c1, cy + ry * s1});
  }
}

DevicePath RectPath(const Box &bx) {
  DevicePath p;
  p.MoveTo(bx.l, bx.t);
  p.LineTo(bx.r, bx.t);
  p.LineTo(bx.r, bx.b);
  p.LineTo(bx.l, bx.b);
  p.Close();
  return p;
}

DevicePath EllipsePath(const Box &bx) {
  DevicePath p;
  AppendArc(&p, bx.Cx(), bx.Cy(), bx.Rx(), bx.Ry(), 0, 2 * kPi, PT_MOVETO);
  p.Close();
  return p;
}

DevicePath RoundRectPath(const Box &bx, double ew, double eh) {
  double rx = std::min(ew, bx.r - bx.l) / 2, ry = std::min(eh, bx.b - bx.t) / 2;
  DevicePath p;
  if (rx <= 0 || ry <= 0) return RectPath(bx);
  AppendArc(&p, bx.r - rx, bx.t + ry, rx, ry, -kPi / 2, kPi / 2, PT_MOVETO);
  AppendArc(&p, bx.r - rx, bx.b - ry, rx, ry, 0, kPi / 2, PT_LINETO);
  AppendArc(&p, bx.l + rx, bx.b - ry, rx, ry, kPi / 2, kPi / 2, PT_LINETO);
  AppendArc(&p, bx.l + rx, bx.t + ry, rx, ry, kPi, kPi / 2, PT_LINETO);
  p.Close();
  return p;
}

enum class ArcKind { Arc, ArcTo, Chord, Pie };

// The arc of an Arc/Chord/Pie call in box space; *end gets its end point.
DevicePath ArcPath(const Dc &dc, const Box &bx, DPoint s, DPoint e, ArcKind kind) {
  double cx = bx.Cx(), cy = bx.Cy(), rx = std::max(bx.Rx(), 1e-9), ry = std::max(bx.Ry(), 1e-9);
  double a0 = std::atan2((s.y - cy) / ry, (s.x - cx) / rx);
  double a1 = std::atan2((e.y - cy) / ry, (e.x - cx) / rx);
  // Counter-clockwise on the page is a decreasing angle with y down; a box
  // space that the mapping mirrors turns the other way.
  double sweep = a1 - a0;
  bool clockwise = (dc.st.arcDirection == AD_CLOCKWISE) != (bx.m.Det() < 0);
  if (clockwise) {
    while (sweep <= 0) sweep += 2 * kPi;
  } else {
    while (sweep >= 0) sweep -= 2 * kPi;
  }
  DevicePath p;
  if (kind == ArcKind::Pie) p.MoveTo(cx, cy);
  AppendArc(&p, cx, cy, bx.Rx(), bx.Ry(), a0, sweep, kind == ArcKind::Pie ? PT_LINETO : PT_MOVETO);
  if (kind == ArcKind::Pie || kind == ArcKind::Chord) p.Close();
  return p;
}

// ---------------------------------------------------------------------------
// Records.

RECTL BoxBounds(const Dc &dc, int l, int t, int r, int b) {
  POINT c[4] = {{l, t}, {r, t}, {l, b}, {r, b}};
  RECTL box = DeviceBox(dc, c, 4);
  if (dc.st.graphicsMode == GM_COMPATIBLE) {
    box.right = std::max(box.left, box.right - 1);
    box.bottom = std::max(box.top, box.bottom - 1);
  }
  return box;
}

RECTL NormalRect(int l, int t, int r, int b) {
  return {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
}

// The box of a shape record includes its right and bottom edge: playback
// draws in GM_ADVANCED. GM_COMPATIBLE leaves out the last device pixel on
// the right and at the bottom, so the recorded box ends one device pixel
// earlier there (one logical unit at 1:1, as GDI records it). The mapping
// may mirror an axis: then the logical left or top edge is the one cut.
RECTL RecordedBox(const Dc &dc, int l, int t, int r, int b) {
  RECTL box = NormalRect(l, t, r, b);
  if (dc.st.graphicsMode != GM_COMPATIBLE) return box;
  Affine m = LogicalToDevice(dc);  // no world transform: axis-aligned
  auto cut = [](LONG *lo, LONG *hi, double scale) {
    if (scale == 0 || *lo == *hi) return;
    double step = std::max(1.0, std::round(1 / std::fabs(scale)));
    if (scale > 0) *hi = std::max(*lo, ClampToLong(*hi - step));
    else *lo = std::min(*hi, ClampToLong(*lo + step));
  };
  cut(&box.left, &box.right, m.m11);
  cut(&box.top, &box.bottom, m.m22);
  return box;
}

// GM_COMPATIBLE draws nothing for a box without width or height (and GDI
// records nothing). GM_ADVANCED includes the edges: such a box is a line.
bool EmptyBox(const Dc &dc, int l, int t, int r, int b) {
  return dc.st.graphicsMode == GM_COMPATIBLE && (l == r || t == b);
}

bool Fits16(const POINT *pts, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (pts[i].x < -32768 || pts[i].x > 32767 || pts[i].y < -32768 || pts[i].y > 32767)
      return false;
  return true;
}

// EMR_POLY* with n points: the 16-bit form (type + 83) when every
// coordinate fits. Bounds: the points' device box.
void RecordPoly(Dc *dc, DWORD type, const POINT *pts, DWORD n, const RECTL &box) {
  if (Fits16(pts, n)) {
    auto *r = Record<EMRPOLYLINE16>(dc, type + 83, offsetof(EMRPOLYLINE16, apts) + 4 * (size_t)n);
    r->rclBounds = RecordBounds(*dc, box);
    r->cpts = n;
    for (DWORD i = 0; i < n; ++i) r->apts[i] = {(SHORT)pts[i].x, (SHORT)pts[i].y};
  } else {
    auto *r = Record<EMRPOLYLINE>(dc, type, offsetof(EMRPOLYLINE, aptl) + 8 * (size_t)n);
    r->rclBounds = RecordBounds(*dc, box);
    r->cptl = n;
    for (DWORD i = 0; i < n; ++i) r->aptl[i] = {pts[i].x, pts[i].y};
  }
}

void RecordPolyPoly(Dc *dc, DWORD type, const POINT *pts, const DWORD *counts, DWORD polys,
                    DWORD total, const RECTL &box) {
  bool small = Fits16(pts, total);
  size_t head = offsetof(EMRPOLYPOLYLINE, aPolyCounts) + 4 * (size_t)polys;
  auto *r = reinterpret_cast<EMRPOLYPOLYLINE *>(
      dc->rec->Append(small ? type + 83 : type, head + (small ? 4 : 8) * (size_t)total));
  r->rclBounds = RecordBounds(*dc, box);
  r->nPolys = polys;
  r->cptl = total;
  std::memcpy(r->aPolyCounts, counts, 4 * (size_t)polys);
  uint8_t *at = reinterpret_cast<uint8_t *>(r) + head;
  for (DWORD i = 0; i < total; ++i) {
    if (small) {
      POINTS q{(SHORT)pts[i].x, (SHORT)pts[i].y};
      std::memcpy(at + 4 * i, &q, 4);
    } else {
      POINTL q{pts[i].x, pts[i].y};
      std::memcpy(at + 8 * i, &q, 8);
    }
  }
}

void RecordBox(Dc *dc, DWORD type, int l, int t, int r, int b) {
  Record<EMRRECTANGLE>(dc, type)->rclBox = RecordedBox(*dc, l, t, r, b);
  AddDrawBounds(dc, BoxBounds(*dc, l, t, r, b), true);
}

// ---------------------------------------------------------------------------
// Shared bodies.

// Points in device pixels, as a path of one figure.
DevicePath PolyPath(const Dc &dc, const POINT *pts, size_t n, BYTE type, bool close) {
  Affine m = LogicalToDevice(dc);
  DevicePath p;
  for (size_t i = 0; i < n; ++i) {
    DPoint q = RoundedDevice(m, pts[i].x, pts[i].y);
    p.Add(q.x, q.y, i == 0 ? (BYTE)PT_MOVETO : type);
  }
  if (close) p.Close();
  return p;
}

DPoint CurrentDevice(const Dc &dc) {
  return RoundedDevice(LogicalToDevice(dc), dc.st.curPos.x, dc.st.curPos.y);
}

// An open figure that continues from the current position: inside a path
// it extends the last figure when that ends there.
void OutputFromCurrent(Dc *dc, DevicePath p) {
  if (dc->InPath() && !dc->path.Empty() && !(dc->path.types.back() & PT_CLOSEFIGURE)) {
    const DPoint &last = dc->path.pts.back();
    if (last.x == p.pts[0].x && last.y == p.pts[0].y) {
      p.pts.erase(p.pts.begin());
      p.types.erase(p.types.begin());
    }
  }
  OutputShape(dc, p, false, true);
}

// Bounds of points plus, for the "To" forms, the current position.
RECTL PointsBox(const Dc &dc, const POINT *pts, size_t n, bool withCurrent) {
  std::vector<POINT> all(pts, pts + n);
  if (withCurrent) all.push_back(dc.st.curPos);
  return DeviceBox(dc, all.data(), all.size());
}

BOOL BoxCall(HDC hdc, DWORD emr, int l, int t, int r, int b,
             DevicePath (*shape)(const Dc &, const Box &, const void *), const void *arg) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (EmptyBox(*dc, l, t, r, b)) return TRUE;
  if (dc->IsMetafile()) {
    if (emr) RecordBox(dc, emr, l, t, r, b);
    if (!dc->InPath()) return TRUE;
  }
  Box bx = MakeBox(*dc, l, t, r, b);
  OutputShape(dc, ToDevice(shape(*dc, bx, arg), bx.m), true, true);
  return TRUE;
}

struct ArcArgs {
  int xs, ys, xe, ye;
  ArcKind kind;
};

DevicePath ArcShape(const Dc &dc, const Box &bx, const void *arg) {
  const auto *a = static_cast<const ArcArgs *>(arg);
  return ArcPath(dc, bx, ToBoxSpace(dc, bx, a->xs, a->ys), ToBoxSpace(dc, bx, a->xe, a->ye),
                 a->kind);
}

BOOL ArcCall(HDC hdc, DWORD emr, int l, int t, int r, int b, int xs, int ys, int xe, int ye,
             ArcKind kind) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (EmptyBox(*dc, l, t, r, b)) return TRUE;
  if (dc->IsMetafile()) {
    auto *rec = Record<EMRARC>(dc, emr);
    rec->rclBox = RecordedBox(*dc, l, t, r, b);
    rec->ptlStart = {xs, ys};
    rec->ptlEnd = {xe, ye};
    AddDrawBounds(dc, BoxBounds(*dc, l, t, r, b), true);
    if (!dc->InPath()) return TRUE;
  }
  Box bx = MakeBox(*dc, l, t, r, b);
  ArcArgs args{xs, ys, xe, ye, kind};
  DevicePath p = ToDevice(ArcShape(*dc, bx, &args), bx.m);
  bool filled = kind == ArcKind::Chord || kind == ArcKind::Pie;
  if (filled) OutputShape(dc, p, true, true);
  else OutputShape(dc, p, false, true);
  return TRUE;
}

}  // namespace
}  // namespace nx::gdi

using namespace nx::gdi;

// ---------------------------------------------------------------------------
// Current position and lines.

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->st.curPos;
  if (dc->IsMetafile()) Record<EMRMOVETOEX>(dc, EMR_MOVETOEX)->ptl = {x, y};
  dc->st.curPos = {x, y};
  return TRUE;
}

BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !lppt) return FALSE;
  *lppt = dc->st.curPos;
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  POINT pts[2] = {dc->st.curPos, {x, y}};
  if (dc->IsMetafile()) {
    Record<EMRLINETO>(dc, EMR_LINETO)->ptl = {x, y};
    AddDrawBounds(dc, DeviceBox(*dc, pts, 2), true);
  }
  if (!dc->IsMetafile() || dc->InPath()) OutputFromCurrent(dc, PolyPath(*dc, pts, 2, PT_LINETO, false));
  dc->st.curPos = {x, y};
  return TRUE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || cpt < 2) return FALSE;
  if (dc->IsMetafile()) {
    RECTL box = DeviceBox(*dc, apt, (size_t)cpt);
    RecordPoly(dc, EMR_POLYLINE, apt, (DWORD)cpt, box);
    AddDrawBounds(dc, box, true);
    if (!dc->InPath()) return TRUE;
  }
  OutputShape(dc, PolyPath(*dc, apt, (size_t)cpt, PT_LINETO, false), false, true);
  return TRUE;
}

BOOL WINAPI PolylineTo(HDC hdc, const POINT *apt, DWORD cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || cpt < 1) return FALSE;
  if (dc->IsMetafile()) {
    RECTL box = PointsBox(*dc, apt, cpt, true);
    RecordPoly(dc, EMR_POLYLINETO, apt, cpt, box);
    AddDrawBounds(dc, box, true);
  }
  if (!dc->IsMetafile() || dc->InPath()) {
    std::vector<POINT> all{dc->st.curPos};
    all.insert(all.end(), apt, apt + cpt);
    OutputFromCurrent(dc, PolyPath(*dc, all.data(), all.size(), PT_LINETO, false));
  }
  dc->st.curPos = apt[cpt - 1];
  return TRUE;
}

BOOL WINAPI PolyBezier(HDC hdc, const POINT *apt, DWORD cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || cpt < 4 || (cpt - 1) % 3) return FALSE;
  if (dc->IsMetafile()) {
    RECTL box = DeviceBox(*dc, apt, cpt);
    RecordPoly(dc, EMR_POLYBEZIER, apt, cpt, box);
    AddDrawBounds(dc, box, true);
    if (!dc->InPath()) return TRUE;
  }
  OutputShape(dc, PolyPath(*dc, apt, cpt, PT_BEZIERTO, false), false, true);
  return TRUE;
}

BOOL WINAPI PolyBezierTo(HDC hdc, const POINT *apt, DWORD cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || cpt < 3 || cpt % 3) return FALSE;
  if (dc->IsMetafile()) {
    RECTL box = PointsBox(*dc, apt, cpt, true);
    RecordPoly(dc, EMR_POLYBEZIERTO, apt, cpt, box);
    AddDrawBounds(dc, box, true);
  }
  if (!dc->IsMetafile() || dc->InPath()) {
    std::vector<POINT> all{dc->st.curPos};
    all.insert(all.end(), apt, apt + cpt);
    OutputFromCurrent(dc, PolyPath(*dc, all.data(), all.size(), PT_BEZIERTO, false));
  }
  dc->st.curPos = apt[cpt - 1];
  return TRUE;
}

BOOL WINAPI PolyPolyline(HDC hdc, const POINT *apt, const DWORD *asz, DWORD csz) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || !asz || csz == 0) return FALSE;
  DWORD total = 0;
  for (DWORD i = 0; i < csz; ++i) {
    if (asz[i] < 2) return FALSE;
    total += asz[i];
  }
  if (dc->IsMetafile()) {
    RECTL box = DeviceBox(*dc, apt, total);
    RecordPolyPoly(dc, EMR_POLYPOLYLINE, apt, asz, csz, total, box);
    AddDrawBounds(dc, box, true);
    if (!dc->InPath()) return TRUE;
  }
  DevicePath all;
  for (DWORD i = 0, at = 0; i < csz; at += asz[i++])
    all.Append(PolyPath(*dc, apt + at, asz[i], PT_LINETO, false));
  OutputShape(dc, all, false, true);
  return TRUE;
}

BOOL WINAPI PolyDraw(HDC hdc, const POINT *apt, const BYTE *aj, int cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || !aj || cpt <= 0) return FALSE;
  // Béziers come in threes; anything else is refused before drawing.
  for (int i = 0; i < cpt; ++i) {
    BYTE t = aj[i] & ~PT_CLOSEFIGURE;
    if (t == PT_BEZIERTO) {
      if (i + 2 >= cpt || (aj[i + 1] & ~PT_CLOSEFIGURE) != PT_BEZIERTO ||
          (aj[i + 2] & ~PT_CLOSEFIGURE) != PT_BEZIERTO)
        return FALSE;
      i += 2;
    } else if (t != PT_MOVETO && t != PT_LINETO) {
      return FALSE;
    }
  }
  if (dc->IsMetafile()) {
    RECTL box = PointsBox(*dc, apt, (size_t)cpt, true);
    bool small = Fits16(apt, (size_t)cpt);
    size_t n = (size_t)cpt;
    if (small) {
      auto *r = Record<EMRPOLYDRAW16>(dc, EMR_POLYDRAW16, offsetof(EMRPOLYDRAW16, apts) + 5 * n);
      r->rclBounds = RecordBounds(*dc, box);
      r->cpts = (DWORD)n;
      // The point array is not the record's last member: write through bytes.
      uint8_t *at = reinterpret_cast<uint8_t *>(r) + offsetof(EMRPOLYDRAW16, apts);
      for (size_t i = 0; i < n; ++i) {
        POINTS q{(SHORT)apt[i].x, (SHORT)apt[i].y};
        std::memcpy(at + 4 * i, &q, 4);
      }
      std::memcpy(at + 4 * n, aj, n);
    } else {
      auto *r = Record<EMRPOLYDRAW>(dc, EMR_POLYDRAW, offsetof(EMRPOLYDRAW, aptl) + 9 * n);
      r->rclBounds = RecordBounds(*dc, box);
      r->cptl = (DWORD)n;
      uint8_t *at = reinterpret_cast<uint8_t *>(r) + offsetof(EMRPOLYDRAW, aptl);
      for (size_t i = 0; i < n; ++i) {
        POINTL q{apt[i].x, apt[i].y};
        std::memcpy(at + 8 * i, &q, 8);
      }
      std::memcpy(at + 8 * n, aj, n);
    }
    AddDrawBounds(dc, box, true);
  }
  if (!dc->IsMetafile() || dc->InPath()) {
    Affine m = LogicalToDevice(*dc);
    DPoint cur = CurrentDevice(*dc);
    DevicePath p;
    p.MoveTo(cur.x, cur.y);
    for (int i = 0; i < cpt; ++i) {
      DPoint q = RoundedDevice(m, apt[i].x, apt[i].y);
      p.Add(q.x, q.y, aj[i]);
    }
    OutputFromCurrent(dc, p);
  }
  dc->st.curPos = apt[cpt - 1];
  return TRUE;
}

// ---------------------------------------------------------------------------
// Filled shapes.

BOOL WINAPI Polygon(HDC hdc, const POINT *apt, int cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || cpt < 2) return FALSE;
  if (dc->IsMetafile()) {
    RECTL box = DeviceBox(*dc, apt, (size_t)cpt);
    RecordPoly(dc, EMR_POLYGON, apt, (DWORD)cpt, box);
    AddDrawBounds(dc, box, true);
    if (!dc->InPath()) return TRUE;
  }
  OutputShape(dc, PolyPath(*dc, apt, (size_t)cpt, PT_LINETO, true), true, true);
  return TRUE;
}

BOOL WINAPI PolyPolygon(HDC hdc, const POINT *apt, const INT *asz, int csz) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !apt || !asz || csz <= 0) return FALSE;
  std::vector<DWORD> counts((size_t)csz);
  DWORD total = 0;
  for (int i = 0; i < csz; ++i) {
    if (asz[i] < 2) return FALSE;
    counts[(size_t)i] = (DWORD)asz[i];
    total += (DWORD)asz[i];
  }
  if (dc->IsMetafile()) {
    RECTL box = DeviceBox(*dc, apt, total);
    RecordPolyPoly(dc, EMR_POLYPOLYGON, apt, counts.data(), (DWORD)csz, total, box);
    AddDrawBounds(dc, box, true);
    if (!dc->InPath()) return TRUE;
  }
  DevicePath all;
  for (DWORD i = 0, at = 0; i < (DWORD)csz; at += counts[i++])
    all.Append(PolyPath(*dc, apt + at, counts[i], PT_LINETO, true));
  OutputShape(dc, all, true, true);
  return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  return BoxCall(hdc, EMR_RECTANGLE, left, top, right, bottom,
                 [](const Dc &, const Box &bx, const void *) { return RectPath(bx); }, nullptr);
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  return BoxCall(hdc, EMR_ELLIPSE, left, top, right, bottom,
                 [](const Dc &, const Box &bx, const void *) { return EllipsePath(bx); }, nullptr);
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (EmptyBox(*dc, left, top, right, bottom)) return TRUE;
  if (dc->IsMetafile()) {
    auto *r = Record<EMRROUNDRECT>(dc, EMR_ROUNDRECT);
    r->rclBox = RecordedBox(*dc, left, top, right, bottom);
    r->szlCorner = {width, height};
    AddDrawBounds(dc, BoxBounds(*dc, left, top, right, bottom), true);
  }
  Affine m = LogicalToDevice(*dc);
  double corner[2] = {std::fabs(width * (m.AxisAligned() ? m.m11 : 1.0)),
                      std::fabs(height * (m.AxisAligned() ? m.m22 : 1.0))};
  if (dc->IsMetafile() && !dc->InPath()) return TRUE;
  Box bx = MakeBox(*dc, left, top, right, bottom);
  OutputShape(dc, ToDevice(RoundRectPath(bx, corner[0], corner[1]), bx.m), true, true);
  return TRUE;
}

BOOL WINAPI Arc(HDC hdc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcCall(hdc, EMR_ARC, l, t, r, b, xs, ys, xe, ye, ArcKind::Arc);
}

BOOL WINAPI Chord(HDC hdc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcCall(hdc, EMR_CHORD, l, t, r, b, xs, ys, xe, ye, ArcKind::Chord);
}

BOOL WINAPI Pie(HDC hdc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcCall(hdc, EMR_PIE, l, t, r, b, xs, ys, xe, ye, ArcKind::Pie);
}

BOOL WINAPI ArcTo(HDC hdc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (EmptyBox(*dc, l, t, r, b)) return TRUE;
  if (dc->IsMetafile()) {
    auto *rec = Record<EMRARC>(dc, EMR_ARCTO);
    rec->rclBox = RecordedBox(*dc, l, t, r, b);
    rec->ptlStart = {xs, ys};
    rec->ptlEnd = {xe, ye};
    RECTL box = BoxBounds(*dc, l, t, r, b);
    POINT cur = dc->st.curPos;
    RECTL cb = DeviceBox(*dc, &cur, 1);
    box = {std::min(box.left, cb.left), std::min(box.top, cb.top), std::max(box.right, cb.right),
           std::max(box.bottom, cb.bottom)};
    AddDrawBounds(dc, box, true);
  }
  Box bx = MakeBox(*dc, l, t, r, b);
  ArcArgs args{xs, ys, xe, ye, ArcKind::ArcTo};
  DevicePath arc = ToDevice(ArcShape(*dc, bx, &args), bx.m);
  // A line from the current position to the arc's start, then the arc.
  DPoint cur = CurrentDevice(*dc);
  DevicePath p;
  p.MoveTo(cur.x, cur.y);
  arc.types[0] = PT_LINETO;
  p.Append(arc);
  if (!dc->IsMetafile() || dc->InPath()) OutputFromCurrent(dc, p);
  // The current position moves to the arc's end, back in logical units.
  const DPoint &end = arc.pts.back();
  Affine inv = LogicalToDevice(*dc).Inverse();
  double lx, ly;
  inv.Apply(end.x, end.y, &lx, &ly);
  dc->st.curPos = {(LONG)std::lround(lx), (LONG)std::lround(ly)};
  return TRUE;
}

BOOL WINAPI AngleArc(HDC hdc, int x, int y, DWORD r, FLOAT startAngle, FLOAT sweepAngle) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || r > (DWORD)INT_MAX) return FALSE;
  // Angles count counter-clockwise on the page from the x axis, whatever
  // the arc direction: logical y grows downwards, hence the minus signs.
  double a0 = -startAngle * kPi / 180, sweep = -sweepAngle * kPi / 180, rad = r;
  POINT end{ClampToLong(std::round(x + rad * std::cos(a0 + sweep))),
            ClampToLong(std::round(y + rad * std::sin(a0 + sweep)))};
  if (dc->IsMetafile()) {
    auto *rec = Record<EMRANGLEARC>(dc, EMR_ANGLEARC);
    POINT c[3] = {{ClampToLong((double)x - r), ClampToLong((double)y - r)},
                  {ClampToLong((double)x + r), ClampToLong((double)y + r)},
                  dc->st.curPos};
    RECTL box = DeviceBox(*dc, c, 3);
    rec->rclBounds = RecordBounds(*dc, box);
    rec->ptlCenter = {x, y};
    rec->nRadius = r;
    rec->eStartAngle = startAngle;
    rec->eSweepAngle = sweepAngle;
    AddDrawBounds(dc, box, true);
  }
  if (!dc->IsMetafile() || dc->InPath()) {
    DevicePath arc;
    AppendArc(&arc, x, y, rad, rad, a0, sweep, PT_LINETO);
    DPoint cur = CurrentDevice(*dc);
    DevicePath p;
    p.MoveTo(cur.x, cur.y);
    p.Append(ToDevice(arc, LogicalToDevice(*dc)));
    OutputFromCurrent(dc, p);
  }
  dc->st.curPos = end;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Pixels.

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return CLR_INVALID;
  if (dc->IsMetafile()) {
    auto *r = Record<EMRSETPIXELV>(dc, EMR_SETPIXELV);
    r->ptlPixel = {x, y};
    r->crColor = color;
    POINT p{x, y};
    AddDrawBounds(dc, DeviceBox(*dc, &p, 1), false);
    return color & 0xFFFFFF;
  }
  DPoint d = RoundedDevice(LogicalToDevice(*dc), x, y);
  RasterScope rs(dc);
  cairo_t *cr = rs.cr();
  if (!cr) return CLR_INVALID;
  cairo_rectangle(cr, d.x, d.y, 1, 1);
  SetCairoColor(cr, color);
  cairo_fill(cr);
  return ReadPixel(dc, (int)d.x, (int)d.y);
}

BOOL WINAPI SetPixelV(HDC hdc, int x, int y, COLORREF color) {
  return SetPixel(hdc, x, y, color) != CLR_INVALID;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || dc->IsMetafile()) return CLR_INVALID;
  DPoint d = RoundedDevice(LogicalToDevice(*dc), x, y);
  // Outside the clip region GDI answers CLR_INVALID.
  if (const cairo_region_t *clip = dc->st.clip.get())
    if (!cairo_region_contains_point(clip, (int)d.x, (int)d.y)) return CLR_INVALID;
  if (dc->type == DcType::Memory)
    if (auto *bm = Lookup<BitmapObj>(dc->bitmap, Kind::Bitmap)) bm->PullBits();
  return ReadPixel(dc, (int)d.x, (int)d.y);
}

// ---------------------------------------------------------------------------
// Rectangles painted with a brush.

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  Dc *dc = DcFromHandle(hDC);
  if (!dc || !lprc) return 0;
  if (!Lookup<BrushObj>(hbr, Kind::Brush)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  // GDI paints it as a pattern blit with the brush selected for the call.
  HGDIOBJ old = SelectObject(hDC, hbr);
  BOOL ok = PatBlt(hDC, lprc->left, lprc->top, lprc->right - lprc->left,
                   lprc->bottom - lprc->top, PATCOPY);
  SelectObject(hDC, old);
  return ok;
}

int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  Dc *dc = DcFromHandle(hDC);
  if (!dc || !lprc) return 0;
  if (!Lookup<BrushObj>(hbr, Kind::Brush)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  RECT r = *lprc;
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  HGDIOBJ old = SelectObject(hDC, hbr);
  int w = r.right - r.left, h = r.bottom - r.top;
  PatBlt(hDC, r.left, r.top, w, 1, PATCOPY);
  PatBlt(hDC, r.left, r.bottom - 1, w, 1, PATCOPY);
  PatBlt(hDC, r.left, r.top, 1, h, PATCOPY);
  PatBlt(hDC, r.right - 1, r.top, 1, h, PATCOPY);
  SelectObject(hDC, old);
  return TRUE;
}
