// The Cairo raster backend of the drawing calls: pens become strokes,
// brushes become sources, ROP2 picks the operator. Everything here works
// in device pixels on the cairo_t of a RasterScope.
//
// Geometry convention: a device point (x, y) names the pixel whose centre
// is at (x + 0.5, y + 0.5). Shapes are traced through pixel centres and
// filled without antialiasing, which gives GDI's rules: a polygon's fill
// leaves out its right and bottom edge, a one-pixel pen covers exactly the
// pixels it passes, and the end point of a line is not drawn.
#pragma once

#include <cairo.h>

#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

// Adds a device path to the Cairo path, shifted onto pixel centres.
void AddToCairo(cairo_t *cr, const DevicePath &p);

// Pen width in device pixels (at least 1).
double PenDeviceWidth(const Dc &dc, const PenObj &pen);
// The selected pen, or NULL when it draws nothing (PS_NULL).
PenObj *DrawingPen(const Dc &dc);
// The selected brush, or NULL when it paints nothing (BS_NULL / hollow).
BrushObj *DrawingBrush(const Dc &dc);

// Strokes the current Cairo path with the DC's pen (style, dashes with the
// background mode, caps, joins, ROP2). The path is kept.
void StrokeCurrentPath(Dc *dc, cairo_t *cr, const PenObj &pen);
// Fills the current Cairo path with a brush (solid, hatch, pattern) and the
// DC's ROP2. The path is kept. `fillRule` comes from the poly-fill mode.
void FillCurrentPath(Dc *dc, cairo_t *cr, const BrushObj &brush);

// Sets the Cairo source for a brush, aligned on the DC's brush origin
// (hatches use the background colour and mode). False for a null brush.
bool SetBrushSource(const Dc &dc, cairo_t *cr, const BrushObj &brush);

// How a ROP2 code paints with a colour: whether anything is drawn, the
// Cairo operator and the colour to use.
struct Rop2Paint {
  bool draws = true;
  cairo_operator_t op = CAIRO_OPERATOR_OVER;
  bool fixedColor = false;  // the colour below replaces the pen or brush
  COLORREF color = 0;
};
Rop2Paint ResolveRop2(int rop2, COLORREF color);

inline void SetCairoColor(cairo_t *cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

// Reads a pixel of the DC's target (device pixels); CLR_INVALID outside it.
COLORREF ReadPixel(Dc *dc, int x, int y);

// Shared by the drawing calls (GdiDraw.cpp).
// A logical point in device pixels, rounded to GDI's integer grid.
DPoint RoundedDevice(const Affine &m, double x, double y);
// Sends a device-space shape to the open path, or rasterises it: filled
// with the brush and/or outlined with the pen.
void OutputShape(Dc *dc, const DevicePath &p, bool fill, bool stroke);
// Adds a drawing's inclusive device box to the metafile bounds (not while
// a path is open), widened by half the pen when `pen` is set.
void AddDrawBounds(Dc *dc, RECTL box, bool pen);
// Appends a fixed-size metafile record (zeroed after the header).
template <class T>
T *Record(Dc *dc, DWORD type, size_t size = sizeof(T)) {
  return dc->rec->Add<T>(type, size);
}
// Bounds to store in a drawing record: empty inside a path.
inline RECTL RecordBounds(const Dc &dc, const RECTL &box) {
  return dc.InPath() ? RECTL{0, 0, -1, -1} : box;
}
// Raster operations of the blit calls that do not read a source, applied
// to a device rectangle with the selected brush.
bool PaintDeviceRect(Dc *dc, cairo_t *cr, double l, double t, double r, double b, DWORD rop);
// A ternary raster operation reads the source.
inline bool RopUsesSource(DWORD rop) { return ((rop >> 2) & 0x330000) != (rop & 0x330000); }

}  // namespace nx::gdi
