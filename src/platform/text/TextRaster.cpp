#include "platform/text/TextRaster.h"
#include "platform/text/TextShaping.h"

#include <cairo.h>

#include <cmath>
#include <vector>

namespace nx::text {
namespace {

void SetColor(cairo_t *cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void FillRect(cairo_t *cr, const RECT &r, COLORREF c) {
  SetColor(cr, c);
  cairo_rectangle(cr, r.left, r.top, double(r.right) - r.left, double(r.bottom) - r.top);
  cairo_fill(cr);
}

// The glyphs of the run from the pen position `left` on the baseline.
std::vector<cairo_glyph_t> PlaceGlyphs(const SizedFont &font, const WCHAR *s, size_t n, const std::vector<int> &adv,
                                       double left, double baseline, bool glyphIndices) {
  std::vector<cairo_glyph_t> glyphs;
  glyphs.reserve(n);
  double pen = left;
  for (size_t i = 0; i < n;) {
    size_t start = i;
    unsigned long id;
    if (glyphIndices) id = uint16_t(s[i++]);
    else id = font.GlyphIndex(NextChar(s, n, i));
    glyphs.push_back(cairo_glyph_t{id, pen, baseline});
    for (size_t k = start; k < i; ++k) pen += adv[k];
  }
  return glyphs;
}

void GlyphsToContext(cairo_t *cr, const SizedFont &font, const std::vector<cairo_glyph_t> &glyphs, bool path) {
  cairo_set_font_face(cr, font.CairoFace());
  cairo_set_font_size(cr, font.EmPixels());
  {
    std::lock_guard lock(font.Face().Lock());
    if (path) cairo_glyph_path(cr, glyphs.data(), int(glyphs.size()));
    else cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
  }
  cairo_set_font_face(cr, nullptr);
}

// Positions along the baseline -> the escapement's frame: x runs along the
// baseline's direction, y stays across it.
cairo_matrix_t AlongBaseline(const TextRasterState &st) { return cairo_matrix_t{st.alongX, st.alongY, 0, 1, 0, 0}; }

// A box along the baseline (background, underline, strike-out) in the path.
void AddAlongBox(cairo_t *cr, const TextRasterState &st, double x, double y, double w, double h) {
  cairo_save(cr);
  cairo_matrix_t m = AlongBaseline(st);
  cairo_transform(cr, &m);
  cairo_rectangle(cr, x, y, w, h);
  cairo_restore(cr);  // the path stays, in device space
}

// Underline and strike-out boxes, as rectangles in the current path.
void AddDecorations(cairo_t *cr, const SizedFont &font, const TextRasterState &st, double left, double baseline,
                    long width) {
  const TEXTMETRICW &tm = font.Metrics();
  OUTLINETEXTMETRICW otm;
  if (!(tm.tmUnderlined || tm.tmStruckOut) || !font.Outline(otm)) return;
  if (tm.tmUnderlined)
    AddAlongBox(cr, st, left, baseline - otm.otmsUnderscorePosition, double(width), otm.otmsUnderscoreSize);
  if (tm.tmStruckOut)
    AddAlongBox(cr, st, left, baseline - otm.otmsStrikeoutPosition, double(width), otm.otmsStrikeoutSize);
}

}  // namespace

long DrawTextRun(cairo_t *cr, const SizedFont &font, double x, double y, const WCHAR *s, size_t n, const INT *dx,
                 const TextRasterState &st) {
  if (!cr || (!s && n > 0)) return 0;
  if (!s) n = 0;
  std::vector<int> adv(n);
  if (dx) std::copy(dx, dx + n, adv.begin());
  else if (st.glyphIndices) for (size_t i = 0; i < n; ++i) adv[i] = font.GlyphAdvance(uint16_t(s[i]));
  else if (n) font.Advances(s, n, adv.data());
  long width = 0;
  for (int a : adv) width += a;
  // A complex line is drawn as the shaper places it, its width included.
  std::vector<PlacedGlyph> shaped;
  double shapedWidth = 0;
  const bool complex = !st.glyphIndices && ShapeComplexLine(font, s, n, 0, 0, shaped, shapedWidth);
  if (complex) width = std::lround(shapedWidth);
  const TEXTMETRICW &tm = font.Metrics();
  cairo_save(cr);
  if (!st.pathOnly && st.rect && (st.options & ETO_OPAQUE)) FillRect(cr, *st.rect, st.bkColor);
  if (!st.pathOnly && st.rect && (st.options & ETO_CLIPPED)) {
    cairo_rectangle(cr, st.rect->left, st.rect->top, double(st.rect->right) - st.rect->left,
                    double(st.rect->bottom) - st.rect->top);
    cairo_clip(cr);
  }
  // Escapement turns the baseline counter-clockwise, in tenths of a degree.
  cairo_translate(cr, x, y);
  if (st.frame) cairo_transform(cr, st.frame);
  cairo_rotate(cr, -(font.Logical().lfEscapement * M_PI / 1800.0));  // in double: INT_MIN has no int negation
  double left = (st.align & TA_CENTER) == TA_CENTER ? -width / 2.0 : (st.align & TA_CENTER) == TA_RIGHT ? -width : 0;
  double baseline = (st.align & TA_BASELINE) == TA_BASELINE ? 0
                    : (st.align & TA_BASELINE) == TA_BOTTOM ? -tm.tmDescent
                                                            : tm.tmAscent;
  if (!st.pathOnly && st.opaqueBackground && !(st.options & ETO_OPAQUE)) {
    SetColor(cr, st.bkColor);
    AddAlongBox(cr, st, left, baseline - tm.tmAscent, double(width), tm.tmHeight);
    cairo_fill(cr);
  }
  std::vector<cairo_glyph_t> glyphs;
  if (complex) {
    for (const PlacedGlyph &g : shaped) glyphs.push_back(cairo_glyph_t{g.id, left + g.x, baseline + g.y});
  } else {
    glyphs = PlaceGlyphs(font, s, n, adv, left, baseline, st.glyphIndices);
  }
  if (st.alongX != 1 || st.alongY != 0) {
    cairo_matrix_t along = AlongBaseline(st);
    for (cairo_glyph_t &g : glyphs) cairo_matrix_transform_point(&along, &g.x, &g.y);
  }
  SetColor(cr, st.textColor);
  GlyphsToContext(cr, font, glyphs, st.pathOnly);
  AddDecorations(cr, font, st, left, baseline, width);
  if (!st.pathOnly) cairo_fill(cr);
  cairo_restore(cr);
  return width;
}

}  // namespace nx::text
