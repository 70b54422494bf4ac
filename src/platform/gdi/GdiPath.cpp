// Paths: between BeginPath and EndPath the drawing calls add their
// outlines (device pixels) to the DC's path; FillPath, StrokePath,
// StrokeAndFillPath and SelectClipPath use it up.
#include <algorithm>
#include <cmath>

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

// The region a closed path covers, under the DC's fill mode, in device
// pixels: the path is filled into a mask and read back row by row.
cairo_region_t *PathRegion(const Dc &dc) {
  cairo_region_t *rgn = cairo_region_create();
  RECTL box;
  if (!dc.path.Box(&box)) return rgn;
  int x0 = box.left - 1, y0 = box.top - 1;
  int w = box.right - box.left + 3, h = box.bottom - box.top + 3;
  cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t *cr = cairo_create(mask);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_translate(cr, -x0, -y0);
  cairo_set_fill_rule(cr, dc.st.polyFillMode == WINDING ? CAIRO_FILL_RULE_WINDING
                                                        : CAIRO_FILL_RULE_EVEN_ODD);
  AddToCairo(cr, dc.path);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(mask);
  const uint8_t *data = cairo_image_surface_get_data(mask);
  int stride = cairo_image_surface_get_stride(mask);
  for (int y = 0; y < h; ++y) {
    const uint8_t *row = data + (size_t)y * stride;
    for (int x = 0; x < w;) {
      if (!row[x]) {
        ++x;
        continue;
      }
      int start = x;
      while (x < w && row[x]) ++x;
      cairo_rectangle_int_t r{x0 + start, y0 + y, x - start, 1};
      cairo_region_union_rectangle(rgn, &r);
    }
  }
  cairo_surface_destroy(mask);
  return rgn;
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
