// Lines, frames and ellipses: NxLine(Ex), NxFrame(Ex), NxEllipse(Ex).
#include "common/ErrorChannel.h"
#include "device/Device.h"
#include "drawing/Drawing.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Units.h"

namespace nx {
namespace {

struct TShapeStyle {
  double thickness;
  int32_t border;
  int32_t fill;
  int32_t pattern;
};

TShapeStyle ResolveShape(int32_t thickness, int32_t border, int32_t fill, int32_t pattern) {
  const TNoxtrelRec &s = Session();
  return TShapeStyle{thickness == kSessionSize ? s.Thickness : FromFixed(thickness),
                     border == kSessionCode ? s.BorderColor : border, fill == kSessionCode ? s.FillColor : fill,
                     pattern == kSessionCode ? s.Pattern : pattern};
}

RECT DeviceRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return UnitsToRect(FromFixed(x1), FromFixed(y1), FromFixed(x2), FromFixed(y2));
}

// A solid copy-mode pen; a negative width leaves the width as it was.
void SetSolidPen(TPen &pen, int32_t width, COLORREF color) {
  if (width >= 0) pen.Width = width;
  pen.Color = color;
  pen.Mode = R2_COPYPEN;
  pen.Style = PS_SOLID;
}

// Pen and brush of frames and ellipses, selected at once. Hatches are drawn
// in the border colour over the fill colour, so their gaps need the opaque
// background the surface does not give hatched brushes by itself; the shape
// itself then finds its brush selected and leaves the background alone.
void PrepareOutlineAndFill(TSurface &surface, const TShapeStyle &st) {
  TPen &pen = surface.Pen();
  if (st.thickness <= 0) {
    pen.Width = 0;
    pen.Style = PS_NULL;
  } else {
    SetSolidPen(pen, PenWidth(st.thickness), CodeToRGB(st.border));
  }
  TBrush &brush = surface.Brush();
  if (st.fill == kTransparentColor) {
    brush.Style = TBrushStyle::Clear;
    surface.Select();
    return;
  }
  brush.Style = MapFillPattern(st.pattern);
  const bool hatch = st.pattern != 0 && st.pattern != 1;
  brush.Color = hatch ? CodeToRGB(st.border) : CodeToRGB(st.fill);
  surface.Select();
  if (hatch) {
    SetBkMode(surface.Handle(), OPAQUE);
    SetBkColor(surface.Handle(), CodeToRGB(st.fill));
  }
}

void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t thickness, int32_t color) {
  TSurface *surface = DocumentSurface();
  if (!surface) return;
  const TShapeStyle st = ResolveShape(thickness, color, 0, 0);
  const RECT r = DeviceRect(x1, y1, x2, y2);
  SetSolidPen(surface->Pen(), PenWidth(st.thickness), CodeToRGB(st.border));
  Device().MoveTo(r.left, r.top);
  Device().LineTo(r.right, r.bottom);
}

void Frame(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TShapeStyle &st, int32_t corner) {
  TSurface *surface = DocumentSurface();
  if (!surface) return;
  const RECT r = DeviceRect(x1, y1, x2, y2);
  PrepareOutlineAndFill(*surface, st);
  if (corner > 0)
    Device().RoundRect(r.left, r.top, r.right, r.bottom, corner, corner);
  else
    Device().Rectangle(r);
}

void EllipseShape(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TShapeStyle &st) {
  if (x2 <= x1 || y2 <= y1) return;
  TSurface *surface = DocumentSurface();
  if (!surface) return;
  const RECT r = DeviceRect(x1, y1, x2, y2);
  PrepareOutlineAndFill(*surface, st);
  Device().Ellipse(r);
}

}  // namespace
}  // namespace nx

using nx::NxGuardVoid;

extern "C" {

NX_API void NxLineEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness, int32_t Color) {
  NxGuardVoid([&] { nx::Line(X1, Y1, X2, Y2, Thickness, Color); });
}

NX_API void NxLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  NxGuardVoid([&] {
    const nx::TNoxtrelRec &s = nx::Session();
    nx::Line(X1, Y1, X2, Y2, nx::ToFixed(s.Thickness), s.BorderColor);
  });
}

NX_API void NxFrameEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness, int32_t BorderColor,
                      int32_t FillColor, int32_t Pattern, int32_t Corner) {
  NxGuardVoid([&] { nx::Frame(X1, Y1, X2, Y2, nx::ResolveShape(Thickness, BorderColor, FillColor, Pattern), Corner); });
}

NX_API void NxFrame(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Corner) {
  NxGuardVoid([&] {
    const nx::TNoxtrelRec &s = nx::Session();
    nx::Frame(X1, Y1, X2, Y2, nx::ResolveShape(nx::ToFixed(s.Thickness), s.BorderColor, s.FillColor, s.Pattern),
              Corner);
  });
}

NX_API void NxEllipseEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness, int32_t BorderColor,
                        int32_t FillColor, int32_t Pattern) {
  NxGuardVoid([&] { nx::EllipseShape(X1, Y1, X2, Y2, nx::ResolveShape(Thickness, BorderColor, FillColor, Pattern)); });
}

NX_API void NxEllipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  NxGuardVoid([&] {
    const nx::TNoxtrelRec &s = nx::Session();
    nx::EllipseShape(X1, Y1, X2, Y2,
                     nx::ResolveShape(nx::ToFixed(s.Thickness), s.BorderColor, s.FillColor, s.Pattern));
  });
}

}  // extern "C"
