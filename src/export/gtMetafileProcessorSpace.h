// The interpreter's model of a metafile's coordinate spaces: the world
// transform, the map mode with its window and viewport, and the three
// mappings from logical units to engine pixels (points, sizes, pen widths).
#pragma once

#include "platform/win32.h"

namespace nx {

struct TgtMetaPoint {
  double X = 0, Y = 0;
};

// x' = x·eM11 + y·eM21 + eDx, y' = x·eM12 + y·eM22 + eDy.
XFORM IdentityXForm();
// The transform that applies first, then second.
XFORM ComposeXForm(const XFORM &first, const XFORM &second);

class TgtMetaSpace {
 public:
  XFORM FXForm = IdentityXForm();
  int FMapMode = 0;  // 0: no map mode seen yet
  POINT FWindowOrigin{0, 0}, FViewPortOrigin{0, 0};
  SIZE FWindowExtent{1, 1}, FViewPortExtent{1, 1};
  double FMapMXmul = 1, FMapMYmul = 1;
  // Screen resolution / input resolution per axis.
  double FResX = 1, FResY = 1;

  bool Scaled() const { return FMapMode == MM_ISOTROPIC || FMapMode == MM_ANISOTROPIC; }
  // Multipliers = viewport extent / window extent, in the scaled map modes.
  void Recompute();
  void SetMapMode(int mode);
  // Extents of 0 are refused as GDI refuses them (false, nothing changed).
  bool SetWindowExtent(LONG cx, LONG cy);
  bool SetViewPortExtent(LONG cx, LONG cy);
  // Extent × num / denom per axis, truncated; a zero denominator or result
  // is refused.
  bool ScaleExtent(SIZE *extent, LONG xNum, LONG xDenom, LONG yNum, LONG yDenom);
  // MODIFYWORLDTRANSFORM.
  void ModifyWorld(const XFORM &x, DWORD mode);

  // Positions: world transform, then window to viewport.
  TgtMetaPoint MapPoint(double x, double y) const;
  // Sizes: the linear part of MapPoint (no translation, no origins).
  TgtMetaPoint MapSize(double cx, double cy) const;
  // Pen widths.
  double MapWidth(double w) const;
};

// Colours of pens, text and background: an index or palette-relative value
// (0x1000000 and above) is taken as black.
inline COLORREF PlainColor(DWORD c) { return c >= 0x1000000 ? 0 : c; }

// Rounding to the nearest integer, halves to even.
double RoundEven(double v);

}  // namespace nx
