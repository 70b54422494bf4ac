#include "platform/text/TextRaster.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <vector>

namespace nx::text {
namespace {

constexpr UINT kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24;
constexpr UINT kEtoOpaque = 2, kEtoClipped = 4;

void SetColor(cairo_t *cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void FillRect(cairo_t *cr, const RECT &r, COLORREF c) {
  SetColor(cr, c);
  cairo_rectangle(cr, r.left, r.top, double(r.right) - r.left, double(r.bottom) - r.top);
  cairo_fill(cr);
}

// Cairo's font face over our FreeType face; the shared FontFace is kept
// alive by the Cairo face's user data.
cairo_font_face_t *CairoFace(const SizedFont &font) {
  static const cairo_user_data_key_t kKey{};
  auto *keep = new std::shared_ptr<FontFace>(font.SharedFace());
  cairo_font_face_t *cf = cairo_ft_font_face_create_for_ft_face(font.Face().Face(), FT_LOAD_NO_HINTING);
  cairo_font_face_set_user_data(cf, &kKey, keep, [](void *p) { delete static_cast<std::shared_ptr<FontFace> *>(p); });
  if (font.Logical().lfWeight >= FW_SEMIBOLD && font.Metrics().tmWeight < FW_SEMIBOLD)
    cairo_ft_font_face_set_synthesize(cf, CAIRO_FT_SYNTHESIZE_BOLD);
  return cf;
}

}  // namespace

long DrawTextRun(cairo_t *cr, const SizedFont &font, double x, double y, const WCHAR *s, size_t n, const INT *dx,
                 const TextRasterState &st) {
  if (!cr || (!s && n > 0)) return 0;
  if (!s) n = 0;
  std::vector<int> adv(n);
  if (dx) std::copy(dx, dx + n, adv.begin());
  else if (n) font.Advances(s, n, adv.data());
  long width = 0;
  for (int a : adv) width += a;
  const TEXTMETRICW &tm = font.Metrics();
  cairo_save(cr);
  if (st.rect && (st.options & kEtoOpaque)) FillRect(cr, *st.rect, st.bkColor);
  if (st.rect && (st.options & kEtoClipped)) {
    cairo_rectangle(cr, st.rect->left, st.rect->top, double(st.rect->right) - st.rect->left,
                    double(st.rect->bottom) - st.rect->top);
    cairo_clip(cr);
  }
  // Escapement turns the baseline counter-clockwise, in tenths of a degree.
  cairo_translate(cr, x, y);
  cairo_rotate(cr, -font.Logical().lfEscapement * M_PI / 1800.0);
  double left = (st.align & kTaCenter) == kTaCenter ? -width / 2.0 : (st.align & kTaCenter) == kTaRight ? -width : 0;
  double baseline = (st.align & kTaBaseline) == kTaBaseline ? 0
                    : (st.align & kTaBaseline) == kTaBottom ? -tm.tmDescent
                                                            : tm.tmAscent;
  if (st.opaqueBackground && !(st.options & kEtoOpaque)) {
    SetColor(cr, st.bkColor);
    cairo_rectangle(cr, left, baseline - tm.tmAscent, width, tm.tmHeight);
    cairo_fill(cr);
  }
  std::vector<cairo_glyph_t> glyphs;
  double pen = left;
  for (size_t i = 0; i < n;) {
    size_t start = i;
    char32_t c = NextChar(s, n, i);
    glyphs.push_back(cairo_glyph_t{font.GlyphIndex(c), pen, baseline});
    for (size_t k = start; k < i; ++k) pen += adv[k];
  }
  cairo_font_face_t *cf = CairoFace(font);
  cairo_set_font_face(cr, cf);
  cairo_set_font_size(cr, font.EmPixels());
  SetColor(cr, st.textColor);
  {
    std::lock_guard lock(font.Face().Lock());
    cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
  }
  cairo_font_face_destroy(cf);
  OUTLINETEXTMETRICW otm;
  if ((tm.tmUnderlined || tm.tmStruckOut) && font.Outline(otm)) {
    if (tm.tmUnderlined) {
      cairo_rectangle(cr, left, baseline - otm.otmsUnderscorePosition, width, otm.otmsUnderscoreSize);
    }
    if (tm.tmStruckOut) {
      cairo_rectangle(cr, left, baseline - otm.otmsStrikeoutPosition, width, otm.otmsStrikeoutSize);
    }
    cairo_fill(cr);
  }
  cairo_restore(cr);
  return width;
}

}  // namespace nx::text
