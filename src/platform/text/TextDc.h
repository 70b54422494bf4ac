// Shared by the HDC-taking text calls: the DC's font at the device size and
// the conversions between logical units and device pixels.
#pragma once

#include <cmath>
#include <memory>

#include "platform/gdi/GdiInternal.h"
#include "platform/text/FontEngine.h"

namespace nx::text {

// Device pixels per logical unit along x (advances, widths) and along y
// (heights), from the DC's world and page transforms.
struct DcScales {
  double x = 1, y = 1;
};
DcScales ScalesOf(const gdi::Dc &dc);
// The same from the DC's logical-to-device transform, already computed.
DcScales ScalesOf(const gdi::Affine &m);

// The selected font resolved at the device size: a negative lfHeight is the
// em in device pixels, a positive one the cell height.
std::shared_ptr<SizedFont> DcFont(gdi::Dc *dc);
// The same for the DC's scales, lent by the font object that keeps it: valid
// while that font stays selected and the DC's transform stays as it is.
const SizedFont *DcFontAt(gdi::Dc *dc, const DcScales &s);

// std::lround (halves away from zero) worked out inline: the text calls
// round several values a line, and the library call costs more than the
// rounding. Beyond 2^52 (and for NaN) the library call answers as before.
inline LONG Round(double v) {
  if (!(std::fabs(v) < 4503599627370496.0)) return LONG(std::lround(v));
  long i = long(v);                 // towards zero, exact below 2^52
  const double f = v - double(i);  // exact: the fraction, sign and all
  i += (f >= 0.5) - (f <= -0.5);
  return LONG(i);
}

// Per-character advances of s in logical units as GDI measures them: the
// device advance converted back, plus the character extra.
void LogicalAdvances(const gdi::Dc &dc, const SizedFont &font, const WCHAR *s, size_t n, int *out);

}  // namespace nx::text
