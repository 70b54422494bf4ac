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

// The selected font resolved at the device size: a negative lfHeight is the
// em in device pixels, a positive one the cell height.
std::shared_ptr<SizedFont> DcFont(gdi::Dc *dc);

inline LONG Round(double v) { return LONG(std::lround(v)); }

// Per-character advances of s in logical units as GDI measures them: the
// device advance converted back, plus the character extra.
void LogicalAdvances(const gdi::Dc &dc, const SizedFont &font, const WCHAR *s, size_t n, int *out);

}  // namespace nx::text
