// Drawing a line of text onto a Cairo context in device pixels, as GDI
// rasterises ExtTextOutW: glyphs from the FreeType face placed at the dx
// advances, the alignment, opaque and clip rectangles, the background,
// escapement, underline and strike-out.
#pragma once

#include "platform/text/FontEngine.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_matrix cairo_matrix_t;

namespace nx::text {

struct TextRasterState {
  UINT align = 0;            // TA_* (TA_UPDATECP is the caller's business)
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  bool opaqueBackground = false;  // SetBkMode(OPAQUE)
  UINT options = 0;          // ETO_OPAQUE, ETO_CLIPPED
  const RECT *rect = nullptr;
  bool glyphIndices = false; // ETO_GLYPH_INDEX: s holds glyph ids
  bool pathOnly = false;     // add the glyph outlines to the current path, paint nothing
  // A world transform that rotates, shears or mirrors. GM_ADVANCED: `frame`
  // is the glyphs' frame at the reference point (the transform's linear part
  // with the font's scale taken out); the run is drawn in it. GM_COMPATIBLE:
  // the glyphs stay upright and step along `along`, the baseline's direction
  // (a unit vector, in the escapement's frame).
  const cairo_matrix_t *frame = nullptr;
  double alongX = 1, alongY = 0;
};

// Draws n characters with their advances dx (n values; null = the font's)
// from the reference point (x, y). Returns the total advance. With pathOnly
// the outlines (and underline/strike-out boxes) are left in the context's
// path, which cairo_restore does not discard.
long DrawTextRun(cairo_t *cr, const SizedFont &font, double x, double y, const WCHAR *s, size_t n, const INT *dx,
                 const TextRasterState &st);

}  // namespace nx::text
