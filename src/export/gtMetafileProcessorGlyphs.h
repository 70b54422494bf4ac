// The glyph table of a font for text recorded as glyph indices: which
// character each glyph draws, read from the font's format-4 character map
// ('cmap') through GetFontData.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace nx {

class TgtGlyphTable {
 public:
  // The table of the font selected into hdc; false (and empty) when the
  // font has no readable format-4 map.
  bool CreateTTFGlyphs(HDC hdc);
  // The table from a 'cmap' table's bytes. Every offset and length is
  // checked against size. Prefers the Unicode map (3,1), then (0,*), then
  // the symbol map (3,0); the lowest character wins when several map to one
  // glyph.
  bool Parse(const uint8_t *cmap, size_t size);
  // The character of a glyph, 0 when the table has none.
  WCHAR CharOf(WORD glyph) const { return glyph < chars_.size() ? chars_[glyph] : 0; }
  bool Empty() const { return chars_.empty(); }

 private:
  bool ParseFormat4(const uint8_t *sub, size_t size);
  std::vector<WCHAR> chars_;
};

}  // namespace nx
