// Shaping records: what the string analyser hands to an engine for one item
// of text, and what a composite PDF font records of the glyphs a run uses.
#pragma once

#include <cstdint>
#include <vector>

#include "common/WString.h"
#include "platform/win32.h"

namespace nx {

// One glyph of a shaped item. FAdvWidth is in pixels of the reference font
// (the item's font at size 1000 on the screen DC); FPosition is the index of
// the glyph in its run.
struct TgtGlyphInfo {
  uint16_t FID = 0;
  int32_t FAdvWidth = 0;
  ABC FABCWidth{};
  int32_t FPosition = 0;
  WString FFontName;
};
using TgtGlyphInfoList = std::vector<TgtGlyphInfo>;

enum TgtGlyphDetail : uint8_t { gdComplex = 1, gdLigature = 2, gdRTL = 4 };  // bits of GlyphType
enum TgtShapeVisAttr : uint8_t { svClusterStart = 1, svDiacritic = 2, svZeroWidth = 4 };  // bits per glyph

struct TgtRunInfo {
  uint8_t GlyphType = 0;  // TgtGlyphDetail bits
  int32_t StartPos = 0;   // character positions of the run in the item's text
  int32_t EndPos = 0;
  bool IsFontMapped = false;  // a fallback font was chosen
  std::vector<uint8_t> VisAttr;  // TgtShapeVisAttr bits, one per glyph
  bool ScriptProcessingRequired = false;  // shaped: written with a composite font
  WString MappedFontName;
};

}  // namespace nx
