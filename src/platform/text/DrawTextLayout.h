// DrawTextW's line breaking as a pure algorithm over a measuring function, so
// that the same layout drives metafile, raster and printer DCs.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <string>
#include <vector>

namespace nx::text {

// Fills out[i] with the advance of s[i] (n units).
using MeasureFn = std::function<void(const WCHAR *s, size_t n, int *out)>;

struct DrawTextLine {
  std::u16string text;
  int x = 0;
  int y = 0;
  int width = 0;
};

struct DrawTextLayout {
  std::vector<DrawTextLine> lines;  // empty with DT_CALCRECT
  RECT calcRect{};                  // the rectangle DT_CALCRECT reports
  int height = 0;                   // DrawTextW's return value
};

DrawTextLayout LayoutDrawText(const WCHAR *s, size_t n, const RECT &rc, UINT flags, int lineHeight,
                              const MeasureFn &measure);

}  // namespace nx::text
