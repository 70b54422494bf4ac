#include "platform/text/TextShaping.h"

#include <hb.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace nx::text {
namespace {

struct BufferDeleter {
  void operator()(hb_buffer_t *b) const { hb_buffer_destroy(b); }
};

// Shapes s[start, start + len) in its direction, with the whole line as
// context, appending the glyphs from pen position x.
void ShapeRun(const SizedFont &font, const WCHAR *s, size_t n, int start, int len, bool rtl, double k,
              double baseline, double &x, std::vector<PlacedGlyph> &out) {
  std::unique_ptr<hb_buffer_t, BufferDeleter> buf(hb_buffer_create());
  hb_buffer_add_utf16(buf.get(), reinterpret_cast<const uint16_t *>(s), int(n), unsigned(start), len);
  hb_buffer_set_direction(buf.get(), rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  hb_buffer_guess_segment_properties(buf.get());
  hb_shape(font.HbFont(), buf.get(), nullptr, 0);
  unsigned count = 0;
  hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buf.get(), &count);
  hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(buf.get(), nullptr);
  // Whole pixels per glyph, as the script calls place them.
  for (unsigned g = 0; g < count; ++g) {
    out.push_back(PlacedGlyph{info[g].codepoint, x + std::lround(pos[g].x_offset * k),
                              baseline - std::lround(pos[g].y_offset * k)});
    x += std::lround(pos[g].x_advance * k);
  }
}

}  // namespace

bool ShapeComplexLine(const SizedFont &font, const WCHAR *s, size_t n, double left, double baseline,
                      std::vector<PlacedGlyph> &out, double &width) {
  if (!s || n == 0 || n > (1u << 20)) return false;
  // Below the combining marks nothing is right to left or contextual.
  if (std::all_of(s, s + n, [](WCHAR c) { return char16_t(c) < 0x300; })) return false;
  if (ScriptIsComplex(s, int(n), SIC_COMPLEX) != S_OK) return false;
  std::vector<SCRIPT_ITEM> items(n + 1);
  int count = 0;
  if (ScriptItemize(s, int(n), int(items.size()), nullptr, nullptr, items.data(), &count) != S_OK || count <= 0)
    return false;
  std::vector<BYTE> levels(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) levels[size_t(i)] = BYTE(items[size_t(i)].a.s.uBidiLevel);
  std::vector<int> visual(static_cast<size_t>(count));
  if (ScriptLayout(count, levels.data(), visual.data(), nullptr) != S_OK) return false;
  const double k = double(font.EmPixels()) / font.Face().UnitsPerEm();
  double x = left;
  out.clear();
  for (int v : visual) {
    const SCRIPT_ITEM &it = items[size_t(v)];
    int start = it.iCharPos, len = items[size_t(v) + 1].iCharPos - start;
    ShapeRun(font, s, n, start, len, it.a.fRTL, k, baseline, x, out);
  }
  width = x - left;
  return true;
}

}  // namespace nx::text
