// The rasterised fallbacks of the shape hooks: an engine that does not draw a
// shape natively gets it drawn with our GDI into a transparent bitmap, handed
// to RenderShapeBitmap at the bitmap's top-left corner.
#include <algorithm>
#include <cmath>
#include <vector>

#include "device/MemoryBitmap.h"
#include "export/gtCstDocEng.h"

namespace nx {
namespace {

void Fill(TMemoryBitmap &bm, uint32_t px) {
  for (int32_t y = 0; y < bm.Height(); ++y) std::fill_n(bm.Row(y), bm.Width(), px);
}

}  // namespace

// Draws the shape twice, on black and on white, and takes each pixel's
// coverage from the difference, so that smoothed edges keep their partial
// transparency. The bitmap covers the box of the points widened by the pen,
// so a stroke on the box's edge (a horizontal line: a box without height)
// is kept whole.
void TgtCustomDocumentEngine::RasterShape(const TgtPen &Pen, const TgtBrush *Brush, const TgtPoints &Box,
                                          const std::function<void(HDC, double, double)> &Draw) {
  if (Box.empty()) return;
  double minX = Box[0].X, maxX = minX, minY = Box[0].Y, maxY = minY;
  for (const TgtPoint &p : Box) {
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return;
    minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
  }
  const double pad = Pen.Style == psClear ? 0.0 : std::max(1, Pen.Width) / 2 + 1;
  const double ox = minX - pad, oy = minY - pad;
  const double w = std::round(maxX - minX) + 2 * pad, h = std::round(maxY - minY) + 2 * pad;
  if (w < 1 || h < 1 || w > TMemoryBitmap::kMaxSide || h > TMemoryBitmap::kMaxSide) return;
  const int32_t iw = int32_t(w), ih = int32_t(h);
  TMemoryBitmap black(iw, ih), white(iw, ih);
  Fill(black, 0);
  Fill(white, 0xFFFFFF);
  for (TMemoryBitmap *bm : {&black, &white}) {
    HDC dc = bm->dc();
    HPEN pen = CreatePen(GdiPenStyle(Pen.Style), Pen.Style == psClear ? 0 : std::max(1, Pen.Width), Pen.Color);
    HBRUSH brush = CreateGdiBrush(Brush);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    SetBkMode(dc, TRANSPARENT);
    Draw(dc, ox, oy);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
  }
  TgtBitmap out(iw, ih, 0);
  out.PixelFormat = pf32bit;
  out.Alpha = true;
  for (int32_t y = 0; y < ih; ++y) {
    const uint32_t *b = black.Row(y), *wt = white.Row(y);
    uint32_t *dst = out.Row(y);
    for (int32_t x = 0; x < iw; ++x) {
      uint32_t px = 0;
      int alpha = 0;
      for (int shift = 0; shift < 24; shift += 8) alpha = std::max(alpha, 255 - int((wt[x] >> shift & 0xFF) - (b[x] >> shift & 0xFF)));
      alpha = std::clamp(alpha, 0, 255);
      if (alpha > 0)
        for (int shift = 0; shift < 24; shift += 8)
          px |= uint32_t(std::min(255, int((b[x] >> shift & 0xFF) * 255 / alpha))) << shift;
      dst[x] = px | uint32_t(alpha) << 24;
    }
  }
  RenderShapeBitmap(out, ox, oy);
}

namespace {

int R(double v) { return int(std::lround(v)); }

std::vector<POINT> Relative(const TgtPoints &pts, size_t n, double ox, double oy) {
  std::vector<POINT> out;
  out.reserve(n);
  for (size_t i = 0; i < n && i < pts.size(); ++i) out.push_back({R(pts[i].X - ox), R(pts[i].Y - oy)});
  return out;
}

}  // namespace

void TgtCustomDocumentEngine::RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) {
  RasterShape(Pen, nullptr, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    MoveToEx(dc, R(X1 - ox), R(Y1 - oy), nullptr);
    LineTo(dc, R(X2 - ox), R(Y2 - oy));
  });
}

void TgtCustomDocumentEngine::RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                              double X2, double Y2) {
  RasterShape(Pen, Brush, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    ::Rectangle(dc, R(X1 - ox), R(Y1 - oy), R(X2 - ox), R(Y2 - oy));
  });
}

void TgtCustomDocumentEngine::RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                              double X2, double Y2, double X3, double Y3) {
  RasterShape(Pen, Brush, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    ::RoundRect(dc, R(X1 - ox), R(Y1 - oy), R(X2 - ox), R(Y2 - oy), R(X3), R(Y3));
  });
}

void TgtCustomDocumentEngine::RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                            double X2, double Y2) {
  RasterShape(Pen, Brush, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    ::Ellipse(dc, R(X1 - ox), R(Y1 - oy), R(X2 - ox), R(Y2 - oy));
  });
}

void TgtCustomDocumentEngine::RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush,
                                            const TgtPen &Pen, bool IsClosed) {
  size_t n = std::min(Points.size(), size_t(std::max(NoPoints, 0)));
  TgtPoints used(Points.begin(), Points.begin() + ptrdiff_t(n));
  RasterShape(Pen, IsClosed ? Brush : nullptr, used, [&](HDC dc, double ox, double oy) {
    std::vector<POINT> p = Relative(used, n, ox, oy);
    if (IsClosed)
      ::Polygon(dc, p.data(), int(p.size()));
    else
      ::Polyline(dc, p.data(), int(p.size()));
  });
}

void TgtCustomDocumentEngine::RenderPolyShapeItem(TgtPolyShapeItem &Item, bool IsPolygon) {
  TgtPoints all;
  for (const auto &s : Item.FShapes)
    if (s) all.insert(all.end(), s->FPoints.begin(), s->FPoints.end());
  const TgtShapeItem &first = *Item.FShapes.front();
  const TgtBrush *brush = IsPolygon && first.FBrush ? &*first.FBrush : nullptr;
  RasterShape(first.FPen, brush, all, [&](HDC dc, double ox, double oy) {
    std::vector<POINT> pts;
    std::vector<INT> counts;
    for (const auto &s : Item.FShapes) {
      if (!s) continue;
      std::vector<POINT> p = Relative(s->FPoints, s->FPoints.size(), ox, oy);
      if (p.empty()) continue;
      if (!IsPolygon) ::Polyline(dc, p.data(), int(p.size()));
      pts.insert(pts.end(), p.begin(), p.end());
      counts.push_back(INT(p.size()));
    }
    if (IsPolygon && !counts.empty()) {
      SetPolyFillMode(dc, Item.FFillAlternate ? ALTERNATE : WINDING);
      PolyPolygon(dc, pts.data(), counts.data(), int(counts.size()));
    }
  });
}

void TgtCustomDocumentEngine::RenderPolyPolygonItem(TgtPolyPolygonItem &Item) {
  // Counts beyond the points held are cut to them.
  std::vector<INT> counts;
  size_t total = 0;
  for (int32_t i = 1; i <= Item.FNoPoly && size_t(i) < Item.FNoPoints.size(); ++i) {
    size_t c = size_t(std::max(Item.FNoPoints[size_t(i)], 0));
    c = std::min(c, Item.FPoints.size() - total);
    if (c == 0) continue;
    counts.push_back(INT(c));
    total += c;
  }
  if (counts.empty()) return;
  TgtPoints used(Item.FPoints.begin(), Item.FPoints.begin() + ptrdiff_t(total));
  RasterShape(Item.FPen, &Item.FBrush, used, [&](HDC dc, double ox, double oy) {
    std::vector<POINT> p = Relative(used, total, ox, oy);
    SetPolyFillMode(dc, Item.FFillAlternate ? ALTERNATE : WINDING);
    PolyPolygon(dc, p.data(), counts.data(), int(counts.size()));
  });
}

void TgtCustomDocumentEngine::RenderArc(const TgtPen &Pen, double X1, double Y1, double X2, double Y2, double X3,
                                        double Y3, double X4, double Y4) {
  RasterShape(Pen, nullptr, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    ::Arc(dc, R(X1 - ox), R(Y1 - oy), R(X2 - ox), R(Y2 - oy), R(X3 - ox), R(Y3 - oy), R(X4 - ox), R(Y4 - oy));
  });
}

void TgtCustomDocumentEngine::RenderPie(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                        double Y2, double X3, double Y3, double X4, double Y4) {
  RasterShape(Pen, Brush, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    ::Pie(dc, R(X1 - ox), R(Y1 - oy), R(X2 - ox), R(Y2 - oy), R(X3 - ox), R(Y3 - oy), R(X4 - ox), R(Y4 - oy));
  });
}

void TgtCustomDocumentEngine::RenderChord(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                          double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  RasterShape(Pen, Brush, {{X1, Y1}, {X2, Y2}}, [&](HDC dc, double ox, double oy) {
    ::Chord(dc, R(X1 - ox), R(Y1 - oy), R(X2 - ox), R(Y2 - oy), R(X3 - ox), R(Y3 - oy), R(X4 - ox), R(Y4 - oy));
  });
}

void TgtCustomDocumentEngine::RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) {
  // A Bézier needs 1 + 3k points; a surplus is left out.
  size_t n = std::min(Points.size(), size_t(std::max(NoPoints, 0)));
  if (n < 4) return;
  n = 1 + (n - 1) / 3 * 3;
  TgtPoints used(Points.begin(), Points.begin() + ptrdiff_t(n));
  RasterShape(Pen, nullptr, used, [&](HDC dc, double ox, double oy) {
    std::vector<POINT> p = Relative(used, n, ox, oy);
    ::PolyBezier(dc, p.data(), DWORD(p.size()));
  });
}

}  // namespace nx
