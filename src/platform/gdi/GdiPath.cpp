// Paths: between BeginPath and EndPath the drawing calls add their
// outlines (device pixels) to the DC's path; FillPath, StrokePath,
// StrokeAndFillPath and SelectClipPath use it up.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/gdi/Raster.h"

namespace nx::gdi {
namespace {

void RecordBare(Dc *dc, DWORD type) {
  if (dc->IsMetafile()) dc->rec->Append(type, sizeof(EMR));
}

void Discard(Dc *dc) {
  dc->inPath = dc->pathClosed = false;
  dc->path.Clear();
}

// The pixels of the DC's path painted by `paint` (fill or stroke, no
// antialiasing) as an A8 mask over the path's box grown by `margin`.
struct PathMask {
  cairo_surface_t *s = nullptr;
  int x0 = 0, y0 = 0, w = 0, h = 0;
  ~PathMask() {
    if (s) cairo_surface_destroy(s);
  }
  bool At(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return false;
    return cairo_image_surface_get_data(s)[(size_t)y * cairo_image_surface_get_stride(s) + x] != 0;
  }
};

template <class Paint>
bool MaskOfPath(const Dc &dc, int margin, Paint paint, PathMask *m) {
  RECTL box;
  if (!dc.path.Box(&box) || box.left < -(1 << 28) || box.top < -(1 << 28)) return false;
  // Cairo images are at most 32767 pixels on a side; a path beyond that
  // (only a damaged metafile draws one) has no mask.
  int64_t w = (int64_t)box.right - box.left + 2 * margin + 1;
  int64_t h = (int64_t)box.bottom - box.top + 2 * margin + 1;
  if (w > 32767 || h > 32767 || w * h > (int64_t)1 << 28) return false;
  m->x0 = box.left - margin, m->y0 = box.top - margin;
  m->w = (int)w, m->h = (int)h;
  m->s = cairo_image_surface_create(CAIRO_FORMAT_A8, m->w, m->h);
  if (cairo_surface_status(m->s) != CAIRO_STATUS_SUCCESS) return false;
  cairo_t *cr = cairo_create(m->s);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_translate(cr, -m->x0, -m->y0);
  AddToCairo(cr, dc.path);
  paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(m->s);
  return true;
}

// The mask's pixels as a region, row by row.
cairo_region_t *RegionOfMask(const PathMask &m) {
  cairo_region_t *rgn = cairo_region_create();
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w;) {
      if (!m.At(x, y)) {
        ++x;
        continue;
      }
      int start = x;
      while (x < m.w && m.At(x, y)) ++x;
      cairo_rectangle_int_t r{m.x0 + start, m.y0 + y, x - start, 1};
      cairo_region_union_rectangle(rgn, &r);
    }
  return rgn;
}

// The outlines of the mask's pixels as closed figures through pixel
// corners, the inside always on the right: filled under either fill mode
// they give back exactly these pixels.
DevicePath TraceMask(const PathMask &m) {
  struct Edge {
    int x, y, dx, dy;
    bool used;
  };
  std::vector<Edge> edges;
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      if (!m.At(x, y)) continue;
      if (!m.At(x, y - 1)) edges.push_back({x, y, 1, 0, false});
      if (!m.At(x + 1, y)) edges.push_back({x + 1, y, 0, 1, false});
      if (!m.At(x, y + 1)) edges.push_back({x + 1, y + 1, -1, 0, false});
      if (!m.At(x - 1, y)) edges.push_back({x, y + 1, 0, -1, false});
    }
  auto key = [&m](int x, int y) { return (int64_t)y * (m.w + 1) + x; };
  std::unordered_multimap<int64_t, size_t> from;
  for (size_t i = 0; i < edges.size(); ++i) from.emplace(key(edges[i].x, edges[i].y), i);
  DevicePath out;
  for (size_t first = 0; first < edges.size(); ++first) {
    if (edges[first].used) continue;
    std::vector<DPoint> loop;
    size_t cur = first;
    while (true) {
      Edge &e = edges[cur];
      e.used = true;
      loop.push_back({(double)(e.x + m.x0), (double)(e.y + m.y0)});
      int ex = e.x + e.dx, ey = e.y + e.dy;
      // Where two edges leave a corner, turn right: touching pixels stay apart.
      size_t next = SIZE_MAX;
      auto range = from.equal_range(key(ex, ey));
      for (auto it = range.first; it != range.second; ++it) {
        const Edge &c = edges[it->second];
        if (c.used) continue;
        if (next == SIZE_MAX || (c.dx == -e.dy && c.dy == e.dx)) next = it->second;
      }
      if (next == SIZE_MAX) break;
      cur = next;
    }
    // Only the corners where the direction changes.
    size_t n = loop.size();
    bool started = false;
    for (size_t i = 0; i < n; ++i) {
      const DPoint &a = loop[(i + n - 1) % n], &b = loop[i], &c = loop[(i + 1) % n];
      if ((b.x - a.x) * (c.y - b.y) == (b.y - a.y) * (c.x - b.x)) continue;
      out.Add(b.x, b.y, started ? (BYTE)PT_LINETO : (BYTE)PT_MOVETO);
      started = true;
    }
    if (started) out.Close();
  }
  return out;
}

void SetFillRule(const Dc &dc, cairo_t *cr) {
  cairo_set_fill_rule(cr, dc.st.polyFillMode == WINDING ? CAIRO_FILL_RULE_WINDING
                                                        : CAIRO_FILL_RULE_EVEN_ODD);
}

// The region a closed path covers, under the DC's fill mode, in device pixels.
cairo_region_t *PathRegion(const Dc &dc) {
  PathMask m;
  auto fill = [&dc](cairo_t *cr) {
    SetFillRule(dc, cr);
    cairo_fill(cr);
  };
  if (!MaskOfPath(dc, 1, fill, &m)) return cairo_region_create();
  return RegionOfMask(m);
}

// Béziers as line segments about a pixel long (at most 64 per curve).
DevicePath Flattened(const DevicePath &p) {
  DevicePath out;
  size_t n = p.pts.size();
  for (size_t i = 0; i < n; ++i) {
    BYTE t = p.types[i] & ~PT_CLOSEFIGURE;
    if (t != PT_BEZIERTO || i + 2 >= n || i == 0) {
      out.Add(p.pts[i].x, p.pts[i].y, t == PT_BEZIERTO ? (BYTE)PT_LINETO : p.types[i]);
      continue;
    }
    const DPoint &a = p.pts[i - 1], &b = p.pts[i], &c = p.pts[i + 1], &d = p.pts[i + 2];
    double len = std::hypot(b.x - a.x, b.y - a.y) + std::hypot(c.x - b.x, c.y - b.y) +
                 std::hypot(d.x - c.x, d.y - c.y);
    int steps = std::clamp((int)std::ceil(len / 2), 1, 64);
    for (int k = 1; k <= steps; ++k) {
      double u = (double)k / steps, v = 1 - u;
      double x = v * v * v * a.x + 3 * v * v * u * b.x + 3 * v * u * u * c.x + u * u * u * d.x;
      double y = v * v * v * a.y + 3 * v * v * u * b.y + 3 * v * u * u * c.y + u * u * u * d.y;
      out.Add(std::round(x), std::round(y), PT_LINETO);
    }
    out.types.back() |= p.types[i + 2] & PT_CLOSEFIGURE;
    i += 2;
  }
  return out;
}

// The area the pen would cover stroking the path, as its outline.
DevicePath Widened(Dc *dc) {
  PenObj *pen = DrawingPen(*dc);
  if (!pen) return {};
  double reach = PenDeviceWidth(*dc, *pen) * std::max(1.0, (double)dc->st.miterLimit);
  int margin = (int)std::min(std::ceil(reach), 32768.0) + 2;
  PathMask m;
  auto stroke = [dc, pen](cairo_t *cr) {
    // Only the pen's shape counts: no mix mode, no background in the gaps.
    int rop2 = dc->st.rop2, bkMode = dc->st.bkMode;
    dc->st.rop2 = R2_COPYPEN, dc->st.bkMode = TRANSPARENT;
    StrokeCurrentPath(dc, cr, *pen);
    dc->st.rop2 = rop2, dc->st.bkMode = bkMode;
  };
  if (!MaskOfPath(*dc, margin, stroke, &m)) return {};
  return TraceMask(m);
}

enum class PathPaint { Fill, Stroke, Both };

BOOL PaintPath(HDC hdc, PathPaint how) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (!dc->pathClosed) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return FALSE;
  }
  if (dc->IsMetafile()) {
    DWORD type = how == PathPaint::Fill     ? EMR_FILLPATH
                 : how == PathPaint::Stroke ? EMR_STROKEPATH
                                            : EMR_STROKEANDFILLPATH;
    RECTL box{0, 0, -1, -1};
    bool any = dc->path.Box(&box);
    Record<EMRFILLPATH>(dc, type)->rclBounds = box;
    if (any) AddDrawBounds(dc, box, how != PathPaint::Fill);
  } else {
    RasterScope rs(dc);
    if (cairo_t *cr = rs.cr()) {
      AddToCairo(cr, dc->path);
      if (how != PathPaint::Stroke)
        if (BrushObj *b = DrawingBrush(*dc)) FillCurrentPath(dc, cr, *b);
      if (how != PathPaint::Fill)
        if (PenObj *p = DrawingPen(*dc)) StrokeCurrentPath(dc, cr, *p);
      cairo_new_path(cr);
    }
  }
  Discard(dc);
  return TRUE;
}

}  // namespace

bool DevicePath::Box(RECTL *out) const {
  if (pts.empty()) return false;
  double l = pts[0].x, t = pts[0].y, r = l, b = t;
  for (const DPoint &p : pts) {
    l = std::min(l, p.x), r = std::max(r, p.x);
    t = std::min(t, p.y), b = std::max(b, p.y);
  }
  *out = {(LONG)std::floor(l), (LONG)std::floor(t), (LONG)std::ceil(r), (LONG)std::ceil(b)};
  return true;
}

}  // namespace nx::gdi

using namespace nx::gdi;

BOOL WINAPI BeginPath(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  RecordBare(dc, EMR_BEGINPATH);
  dc->path.Clear();
  dc->inPath = true;
  dc->pathClosed = false;
  return TRUE;
}

BOOL WINAPI EndPath(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->inPath) return FALSE;
  RecordBare(dc, EMR_ENDPATH);
  dc->inPath = false;
  dc->pathClosed = true;
  return TRUE;
}

BOOL WINAPI AbortPath(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  RecordBare(dc, EMR_ABORTPATH);
  Discard(dc);
  return TRUE;
}

BOOL WINAPI CloseFigure(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->inPath) return FALSE;
  RecordBare(dc, EMR_CLOSEFIGURE);
  dc->path.Close();
  return TRUE;
}

BOOL WINAPI FillPath(HDC hdc) { return PaintPath(hdc, PathPaint::Fill); }
BOOL WINAPI StrokePath(HDC hdc) { return PaintPath(hdc, PathPaint::Stroke); }
BOOL WINAPI StrokeAndFillPath(HDC hdc) { return PaintPath(hdc, PathPaint::Both); }

// Both act on a closed path; on a metafile DC they are recorded and the
// DC's own copy of the path (for the bounds) changes too.
BOOL WINAPI FlattenPath(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->pathClosed) return FALSE;
  RecordBare(dc, EMR_FLATTENPATH);
  dc->path = Flattened(dc->path);
  return TRUE;
}

BOOL WINAPI WidenPath(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->pathClosed) return FALSE;
  RecordBare(dc, EMR_WIDENPATH);
  dc->path = Widened(dc);
  return TRUE;
}

int WINAPI GetPath(HDC hdc, LPPOINT apt, LPBYTE aj, int cpt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->pathClosed) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return -1;
  }
  int n = (int)dc->path.pts.size();
  if (cpt == 0) return n;
  if (!apt || !aj || cpt < n) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  Affine inv = LogicalToDevice(*dc).Inverse();
  for (int i = 0; i < n; ++i) {
    double x, y;
    inv.Apply(dc->path.pts[(size_t)i].x, dc->path.pts[(size_t)i].y, &x, &y);
    apt[i] = {(LONG)std::lround(x), (LONG)std::lround(y)};
    aj[i] = dc->path.types[(size_t)i];
  }
  return n;
}

BOOL WINAPI SelectClipPath(HDC hdc, int mode) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->pathClosed || mode < RGN_MIN || mode > RGN_MAX) return FALSE;
  if (dc->IsMetafile()) {
    Record<EMRSELECTCLIPPATH>(dc, EMR_SELECTCLIPPATH)->iMode = (DWORD)mode;
    Discard(dc);
    return TRUE;
  }
  // The path becomes a region combined into the clip as ExtSelectClipRgn does.
  auto obj = std::make_unique<RegionObj>();
  cairo_region_destroy(obj->rgn);
  obj->rgn = PathRegion(*dc);
  HRGN h = (HRGN)InsertObject(std::move(obj));
  int r = h ? ExtSelectClipRgn(hdc, h, mode) : ERROR;
  DeleteObject(h);
  Discard(dc);
  return r != ERROR;
}
