// Lines that need bidi reordering or contextual shaping (Arabic, Hebrew,
// combining marks, Indic scripts...): GDI's text output runs them through the
// script processor before drawing, so the raster path does the same with
// ICU's bidi runs and HarfBuzz on the line's font.
#pragma once

#include "platform/text/FontEngine.h"

#include <vector>

namespace nx::text {

struct PlacedGlyph {
  unsigned long id;
  double x, y;  // pen position, y down
};

// True when the line is complex (ScriptIsComplex); then `out` holds its
// glyphs in visual order from (left, baseline), and `width` their advance.
bool ShapeComplexLine(const SizedFont &font, const WCHAR *s, size_t n, double left, double baseline,
                      std::vector<PlacedGlyph> &out, double &width);

}  // namespace nx::text
