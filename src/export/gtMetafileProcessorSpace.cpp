// Coordinate spaces of the metafile interpreter.
#include "export/gtMetafileProcessorSpace.h"

#include <cmath>

namespace nx {

XFORM IdentityXForm() { return XFORM{1, 0, 0, 1, 0, 0}; }

XFORM ComposeXForm(const XFORM &a, const XFORM &b) {
  // Computed in double, stored as GDI stores it.
  auto d = [](FLOAT v) { return static_cast<double>(v); };
  XFORM r;
  r.eM11 = (FLOAT)(d(a.eM11) * d(b.eM11) + d(a.eM12) * d(b.eM21));
  r.eM12 = (FLOAT)(d(a.eM11) * d(b.eM12) + d(a.eM12) * d(b.eM22));
  r.eM21 = (FLOAT)(d(a.eM21) * d(b.eM11) + d(a.eM22) * d(b.eM21));
  r.eM22 = (FLOAT)(d(a.eM21) * d(b.eM12) + d(a.eM22) * d(b.eM22));
  r.eDx = (FLOAT)(d(a.eDx) * d(b.eM11) + d(a.eDy) * d(b.eM21) + d(b.eDx));
  r.eDy = (FLOAT)(d(a.eDx) * d(b.eM12) + d(a.eDy) * d(b.eM22) + d(b.eDy));
  return r;
}

double RoundEven(double v) { return std::nearbyint(v); }  // the default mode rounds halves to even

void TgtMetaSpace::Recompute() {
  if (!Scaled()) return;
  FMapMXmul = (double)FViewPortExtent.cx / FWindowExtent.cx;
  FMapMYmul = (double)FViewPortExtent.cy / FWindowExtent.cy;
}

void TgtMetaSpace::SetMapMode(int mode) {
  FMapMode = mode;
  if (mode == MM_TEXT) {
    FWindowOrigin = FViewPortOrigin = {0, 0};
    FWindowExtent = FViewPortExtent = {1, 1};
    FMapMXmul = FMapMYmul = 1.0;
  }
  Recompute();
}

bool TgtMetaSpace::SetWindowExtent(LONG cx, LONG cy) {
  if (cx == 0 || cy == 0) return false;
  FWindowExtent = {cx, cy};
  Recompute();
  return true;
}

bool TgtMetaSpace::SetViewPortExtent(LONG cx, LONG cy) {
  if (cx == 0 || cy == 0) return false;
  FViewPortExtent = {cx, cy};
  Recompute();
  return true;
}

bool TgtMetaSpace::ScaleExtent(SIZE *extent, LONG xNum, LONG xDenom, LONG yNum, LONG yDenom) {
  if (xDenom == 0 || yDenom == 0) return false;
  const long long cx = (long long)extent->cx * xNum / xDenom;
  const long long cy = (long long)extent->cy * yNum / yDenom;
  if (cx == 0 || cy == 0 || cx != (LONG)cx || cy != (LONG)cy) return false;
  *extent = {(LONG)cx, (LONG)cy};
  Recompute();
  return true;
}

void TgtMetaSpace::ModifyWorld(const XFORM &x, DWORD mode) {
  switch (mode) {
    case MWT_IDENTITY:
      FXForm = IdentityXForm();
      break;
    case MWT_LEFTMULTIPLY:
      FXForm = ComposeXForm(x, FXForm);
      break;
    case MWT_RIGHTMULTIPLY:
      FXForm = ComposeXForm(FXForm, x);
      break;
    default:
      FXForm = x;
      break;
  }
}

TgtMetaPoint TgtMetaSpace::MapPoint(double x, double y) const {
  const XFORM &m = FXForm;
  const double x1 = x * m.eM11 + y * m.eM21 + m.eDx;
  const double y1 = x * m.eM12 + y * m.eM22 + m.eDy;
  double X = FResX * (x1 - FWindowOrigin.x), Y = FResY * (y1 - FWindowOrigin.y);
  if (Scaled()) {
    X *= FMapMXmul;
    Y *= FMapMYmul;
  }
  return {X + FViewPortOrigin.x, Y + FViewPortOrigin.y};
}

// A size is a distance: the translations of the world transform and the
// window origin do not move it.
TgtMetaPoint TgtMetaSpace::MapSize(double cx, double cy) const {
  const XFORM &m = FXForm;
  double X = FResX * (cx * m.eM11 + cy * m.eM21), Y = FResY * (cx * m.eM12 + cy * m.eM22);
  if (Scaled()) {
    X *= FMapMXmul;
    Y *= FMapMYmul;
  }
  return {X, Y};
}

double TgtMetaSpace::MapWidth(double w) const {
  double w1 = w;
  if (Scaled()) {
    const double view = RoundEven(FViewPortExtent.cx / FResX);
    if (view != 0 && FWindowExtent.cx != 0) {
      const double perPixel = FWindowExtent.cx / view;
      w1 = RoundEven(w / perPixel * FResX);
    }
  }
  return w1 * std::fabs(FXForm.eM11);  // a mirrored page keeps its pen widths
}

}  // namespace nx
