// The string analyser: a line of text is itemised into runs of one script
// and direction, put into visual order, and each item is either left as a
// simple run (8-bit codes of a simple font) or shaped into glyphs with the
// item's font or, for characters that font lacks, a fallback font. The
// items are handed on one by one in visual order; TgtRunMerger joins the
// items that continue one another into the runs the PDF writer shows.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/gtEngineTypes.h"
#include "export/gtGlyphInfo.h"
#include "export/gtGraphics.h"
#include "export/gtMapFont.h"

namespace nx {

// One item: its characters (logical order), its index in visual order, the
// glyph of each character (LogClust, indices into Glyphs), what it is, its
// glyphs in visual order (empty for a simple run) and the number of items.
// The callee may move LogClust, the run details and the glyphs away: the
// analyser fills them afresh for every item.
using TgtAnalyzeCallback =
    std::function<void(const WString &itemText, int itemIndex, std::vector<WORD> &logClust, TgtRunInfo &info,
                       TgtGlyphInfoList &glyphs, int itemCount)>;

class TgtStringAnalyzer {
 public:
  // Font is the font the text is written in (as TgtMapFont prepared it); it
  // is shaped at 1000 points on the screen. An item of a simple script
  // (ScriptIsComplex says so) whose characters the font maps one to one
  // takes its glyphs from the font's cmap and their own advances, as the
  // system's non-complex path does: no substitution, no kerning. alwaysShape
  // sends every item through the shaper instead (to compare the two).
  // A left-to-right line of U+0020 .. U+00FF in a font that covers Basic
  // Latin is one simple item, handed on without itemising it.
  static void StringAnalyze(const WString &text, TgtBiDiMode biDiMode, TgtMapFont &mapFont,
                            const TgtAnalyzeCallback &callback, const TgtFont &font, bool alwaysShape = false);
  // Whether StringAnalyze hands the line on as that one simple item: left
  // to right, U+0020 .. U+00FF, a font that covers Basic Latin.
  static bool IsSimpleLine(const WString &text, TgtBiDiMode biDiMode, TgtMapFont &mapFont, const TgtFont &font);
  // The same with every line itemised (the general path).
  static void StringAnalyzeItems(const WString &text, TgtBiDiMode biDiMode, TgtMapFont &mapFont,
                                 const TgtAnalyzeCallback &callback, const TgtFont &font, bool alwaysShape = false);
};

// The fonts the analyser shapes with, each created and selected once and
// kept with what is asked of it again and again (glyphs of characters,
// glyph widths). One per font map, so per engine.
class TgtShapeFonts {
 public:
  struct TFace {
    SCRIPT_CACHE Cache = nullptr;
    // Characters to glyphs in pages of 256 (glyph + 1; 0: not asked yet).
    std::vector<std::unique_ptr<std::array<uint32_t, 256>>> CharPages;
    std::vector<ABC> Widths;      // per glyph
    std::vector<uint8_t> Known;   // per glyph: Widths holds it
    // The cmap's glyph of a BMP character (0: none).
    WORD Glyph(HDC dc, WCHAR c);
    const ABC &GlyphABC(HDC dc, WORD glyph);
  };
  TgtShapeFonts() = default;
  ~TgtShapeFonts();
  TgtShapeFonts(const TgtShapeFonts &) = delete;
  TgtShapeFonts &operator=(const TgtShapeFonts &) = delete;
  // The face of a reference LOGFONTW; nullptr when it cannot be created.
  TFace *Face(HDC dc, const LOGFONTW &lf);

 private:
  std::map<std::string, std::unique_ptr<TFace>> FFaces;  // by the LOGFONTW's bytes
};

// One output run.
struct TgtRunStore {
  WString FRunText;
  TgtFont FFont;  // the item's font with the family the run is shaped in
  TgtGlyphInfoList FGlyphInfoList;
  TgtRunInfo FRunInfo;
  std::vector<WORD> FLogClust;
  int32_t FAngle = 0;
};

// Joins consecutive items with the same family, the same glyph type and the
// same need of shaping, where each starts where the one before ended.
class TgtRunMerger {
 public:
  // lineLength (characters of the whole line, when known) sizes a shaped
  // run's glyph list once for the items that may join it.
  TgtRunMerger(const TgtFont &font, int32_t angle, size_t lineLength = 0)
      : FFont(font), FAngle(angle), FLineLength(lineLength) {}
  void Add(const WString &itemText, const std::vector<WORD> &logClust, const TgtRunInfo &info,
           const TgtGlyphInfoList &glyphs);
  // The same, taking the item's records over instead of copying them.
  void Add(const WString &itemText, std::vector<WORD> &&logClust, TgtRunInfo &&info, TgtGlyphInfoList &&glyphs);
  std::vector<TgtRunStore> &Runs() { return FRuns; }
  // The callback that feeds this merger.
  TgtAnalyzeCallback Callback();

 private:
  TgtFont FFont;
  int32_t FAngle;
  size_t FLineLength;
  std::vector<TgtRunStore> FRuns;
};

// The family a run is written in: the fallback when one was chosen.
WString RunFamily(const TgtRunInfo &info, const TgtFont &font);

}  // namespace nx
