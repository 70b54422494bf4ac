#include "export/gtDocUsp10.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace nx {

namespace {

// Characters that are drawn with a glyph of their own; a space, a control
// or a format character may come back as glyph 0 without anything missing.
bool NeedsGlyph(WCHAR c) {
  if (c <= 0x20 || c == 0x7F || (c >= 0x80 && c <= 0xA0) || c == 0xAD) return false;
  if ((c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) || (c >= 0x2060 && c <= 0x206F)) return false;
  return c != 0x3000 && c != 0xFEFF && !(c >= 0xFE00 && c <= 0xFE0F);
}

// Characters a simple run holds: U+0020 .. U+00FF, the tab (written as
// spaces), and the 27 further characters that WinAnsiEncoding gives codes
// 0x80 .. 0x9F (the euro sign, typographic quotes, dashes...).
bool IsWinAnsi(WCHAR c) {
  static constexpr WCHAR kHigh[] = {0x0152, 0x0153, 0x0160, 0x0161, 0x0178, 0x017D, 0x017E, 0x0192, 0x02C6,
                                    0x02DC, 0x2013, 0x2014, 0x2018, 0x2019, 0x201A, 0x201C, 0x201D, 0x201E,
                                    0x2020, 0x2021, 0x2022, 0x2026, 0x2030, 0x2039, 0x203A, 0x20AC, 0x2122};
  if (c == u'\t' || (c >= 0x20 && c <= 0xFF)) return true;
  return std::find(std::begin(kHigh), std::end(kHigh), c) != std::end(kHigh);
}

bool AllWinAnsi(const WString &s) { return std::all_of(s.begin(), s.end(), IsWinAnsi); }

// Characters the cmap alone draws as shaping would, in a simple-script item:
// letters, digits, punctuation and symbols of Latin, Greek and Cyrillic.
// Left out: controls, the soft hyphen, spaces and format characters of
// General Punctuation (shaping hides or widens them), combining marks,
// and the Cyrillic marks U+0483 .. U+0489.
bool IsPlainChar(WCHAR c) {
  if (c < 0x20 || c == 0xAD || (c >= 0x7F && c < 0xA0)) return false;
  if (c < 0x300) return true;
  if (c >= 0x370 && c <= 0x52F) return c < 0x483 || c > 0x489;
  if (c >= 0x1E00 && c <= 0x1FFF) return true;  // Latin and Greek extended
  return (c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E) || (c >= 0x20A0 && c <= 0x20BF) ||
         (c >= 0x2100 && c <= 0x214F);
}

// One item shaped in one family.
struct TShaped {
  WString Family;
  TgtShapeFonts::TFace *Face = nullptr;
  std::vector<WORD> Glyphs, LogClust;
  std::vector<SCRIPT_VISATTR> VisAttr;
  int Missing = 0;
  bool Ok = false;
};

// Shapes items on the screen device context, each family at 1000 points.
class TShaper {
 public:
  TShaper(TgtMapFont &map, const TgtFont &font) : FMap(map), FFonts(map.ShapeFonts()), FFont(font), FDc(GetDC(nullptr)) {}
  ~TShaper() {
    if (FDc) ReleaseDC(nullptr, FDc);
  }
  TShaper(const TShaper &) = delete;
  TShaper &operator=(const TShaper &) = delete;

  // Shapes the item, falling back through the candidate families while a
  // character has no glyph, and fills the item's glyphs and run details.
  void Shape(const WString &text, SCRIPT_ANALYSIS sa, TgtRunInfo &info, std::vector<WORD> &logClust,
             TgtGlyphInfoList &glyphs);
  // The glyphs of a simple-script item straight from the item's font: one
  // glyph per character, its own advance. False (nothing filled) when a
  // character needs more than the cmap.
  bool MapDirectly(const WString &text, TgtRunInfo &info, std::vector<WORD> &logClust, TgtGlyphInfoList &glyphs);

 private:
  LOGFONTW Reference(const WString &family) const;
  TShaped Try(const WString &family, const WString &text, SCRIPT_ANALYSIS sa);
  TShaped ShapeWithFallback(const WString &text, const SCRIPT_ANALYSIS &sa);
  void Place(TShaped &s, SCRIPT_ANALYSIS sa, const WString &fontName, TgtGlyphInfoList &glyphs);

  TgtMapFont &FMap;
  TgtShapeFonts &FFonts;
  TgtFont FFont;
  HDC FDc;
  TgtShapeFonts::TFace *FOwnFace = nullptr;  // the item font's face, once asked
  bool FOwnFaceKnown = false;
};

LOGFONTW TShaper::Reference(const WString &family) const {
  TgtFont f = FFont;
  // The platform has no vertical forms: "@Family" is shaped in Family.
  f.Name = PlainFamily(family);
  f.PointSize = 1000;
  f.Height = 0;
  f.Size = 1000;
  f.FRotateFont = 0;
  f.Underline = f.StrikeOut = false;
  // The face name alone decides: a charset or pitch would let the mapper
  // pick another font than the one the run is written in.
  f.Charset = DEFAULT_CHARSET;
  f.Pitch = fpDefault;
  return f.ToLogFont(gtScreenResolution);
}

TShaped TShaper::Try(const WString &family, const WString &text, SCRIPT_ANALYSIS sa) {
  TShaped s;
  s.Family = family;
  s.Face = FDc ? FFonts.Face(FDc, Reference(family)) : nullptr;
  if (!s.Face) return s;
  const int n = static_cast<int>(text.size());
  size_t room = text.size() * 3 / 2 + 16;
  HRESULT hr = E_OUTOFMEMORY;
  int count = 0;
  s.LogClust.assign(text.size(), 0);
  for (int attempt = 0; attempt < 64 && hr == E_OUTOFMEMORY; ++attempt) {
    s.Glyphs.assign(room, 0);
    s.VisAttr.assign(room, SCRIPT_VISATTR{});
    hr = ScriptShape(FDc, &s.Face->Cache, text.data(), n, static_cast<int>(room), &sa, s.Glyphs.data(),
                     s.LogClust.data(), s.VisAttr.data(), &count);
    room += std::max<size_t>(1, room / 2);
  }
  if (hr != S_OK && hr != USP_E_SCRIPT_NOT_IN_FONT) return s;
  s.Glyphs.resize(static_cast<size_t>(count));
  s.VisAttr.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < text.size(); ++i)
    if (NeedsGlyph(text[i]) && s.LogClust[i] < s.Glyphs.size() && s.Glyphs[s.LogClust[i]] == 0) ++s.Missing;
  if (hr == USP_E_SCRIPT_NOT_IN_FONT && s.Missing == 0) s.Missing = 1;
  s.Ok = count > 0;
  return s;
}

// The item's own family first; while characters are missing, the
// candidates in order. When none has every glyph, the one that misses the
// fewest is used (the item's own family on a tie), so that text no
// installed font can show stays in the font it was asked in.
TShaped TShaper::ShapeWithFallback(const WString &text, const SCRIPT_ANALYSIS &sa) {
  TShaped best = Try(FFont.Name, text, sa);
  if (best.Ok && best.Missing == 0) return best;
  for (const WString &family : FMap.FallbackCandidates(FFont.Name)) {
    TShaped next = Try(family, text, sa);
    if (!next.Ok) continue;
    if (!best.Ok || next.Missing < best.Missing) best = std::move(next);
    if (best.Missing == 0) break;
  }
  return best;
}

// The shaper's advances: ScriptPlace takes those of the face's last shaping,
// which is this item's (every family is tried on a face of its own).
void TShaper::Place(TShaped &s, SCRIPT_ANALYSIS sa, const WString &fontName, TgtGlyphInfoList &glyphs) {
  const int count = static_cast<int>(s.Glyphs.size());
  std::vector<int> advances(s.Glyphs.size(), 0);
  std::vector<GOFFSET> offsets(s.Glyphs.size());
  ABC total{};
  ScriptPlace(FDc, &s.Face->Cache, s.Glyphs.data(), count, s.VisAttr.data(), &sa, advances.data(), offsets.data(),
              &total);
  glyphs.clear();
  glyphs.reserve(s.Glyphs.size());
  for (int g = 0; g < count; ++g) {
    TgtGlyphInfo gi;
    gi.FID = s.Glyphs[size_t(g)];
    gi.FAdvWidth = advances[size_t(g)];
    gi.FABCWidth = s.Face->GlyphABC(FDc, gi.FID);
    gi.FPosition = g;
    gi.FFontName = fontName;
    glyphs.push_back(std::move(gi));
  }
}

bool TShaper::MapDirectly(const WString &text, TgtRunInfo &info, std::vector<WORD> &logClust,
                          TgtGlyphInfoList &glyphs) {
  if (!FDc || !std::all_of(text.begin(), text.end(), IsPlainChar)) return false;
  if (!FOwnFaceKnown) {
    FOwnFace = FFonts.Face(FDc, Reference(FFont.Name));
    FOwnFaceKnown = true;
  }
  TgtShapeFonts::TFace *face = FOwnFace;
  if (!face) return false;
  glyphs.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const WORD id = face->Glyph(FDc, text[i]);
    if (id == 0) {
      glyphs.clear();
      return false;
    }
    TgtGlyphInfo &g = glyphs[i];
    g.FID = id;
    g.FABCWidth = face->GlyphABC(FDc, id);
    g.FAdvWidth = g.FABCWidth.abcA + static_cast<int32_t>(g.FABCWidth.abcB) + g.FABCWidth.abcC;
    g.FPosition = static_cast<int32_t>(i);
    g.FFontName = FFont.Name;
  }
  logClust.resize(text.size());
  info.VisAttr.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    logClust[i] = WORD(i);
    info.VisAttr[i] = uint8_t(svClusterStart | (glyphs[i].FAdvWidth == 0 ? svZeroWidth : 0));
  }
  return true;
}

void TShaper::Shape(const WString &text, SCRIPT_ANALYSIS sa, TgtRunInfo &info, std::vector<WORD> &logClust,
                    TgtGlyphInfoList &glyphs) {
  TShaped s = ShapeWithFallback(text, sa);
  if (!s.Ok) return;
  WString fontName = FFont.Name;
  if (!SameFamilyName(s.Family, PlainFamily(FFont.Name))) {
    fontName = (IsVerticalFamily(FFont.Name) ? u"@" : u"") + s.Family;
    info.IsFontMapped = true;
    info.MappedFontName = fontName;
    FMap.AddUsedFont(s.Family);
  }
  Place(s, sa, fontName, glyphs);
  logClust = s.LogClust;
  info.VisAttr.clear();
  for (const SCRIPT_VISATTR &va : s.VisAttr)
    info.VisAttr.push_back(uint8_t((va.fClusterStart ? svClusterStart : 0) | (va.fDiacritic ? svDiacritic : 0) |
                                   (va.fZeroWidth ? svZeroWidth : 0)));
  if (s.Glyphs.size() < text.size()) info.GlyphType |= gdLigature;
  if (sa.fRTL) info.GlyphType |= gdRTL;
}

// The items of the text; one left-to-right item of unknown script when the
// text cannot be itemised.
std::vector<SCRIPT_ITEM> Itemize(const WString &text, bool rtlBase) {
  const int n = static_cast<int>(text.size());
  SCRIPT_STATE state{};
  state.uBidiLevel = rtlBase ? 1 : 0;
  std::vector<SCRIPT_ITEM> items(2);
  int count = 0;
  HRESULT hr = E_OUTOFMEMORY;
  while (hr == E_OUTOFMEMORY && items.size() <= text.size() + 1) {
    hr = ScriptItemize(text.data(), n, static_cast<int>(items.size()), nullptr, &state, items.data(), &count);
    if (hr == E_OUTOFMEMORY) items.resize(items.size() * 2);
  }
  if (hr != S_OK || count <= 0) {
    items.assign(2, SCRIPT_ITEM{});
    items[0].a.fRTL = rtlBase;
    items[0].a.s.uBidiLevel = rtlBase ? 1 : 0;
    items[1].iCharPos = n;
    count = 1;
  }
  items.resize(static_cast<size_t>(count) + 1);
  return items;
}

// Characters a line of one simple item may hold: U+0020 .. U+00FF. None of
// them runs right to left, combines with another or belongs to a complex
// script, so itemising such a line in a left-to-right paragraph finds items
// that all stay simple and follow one another, one run in the end.
bool IsLatin1Text(const WString &text) {
  return std::all_of(text.begin(), text.end(), [](WCHAR c) { return c >= 0x20 && c <= 0xFF; });
}

}  // namespace

bool TgtStringAnalyzer::IsSimpleLine(const WString &text, TgtBiDiMode biDiMode, TgtMapFont &mapFont,
                                     const TgtFont &font) {
  if (text.empty() || text.size() > (1u << 20) || biDiMode != bdLeftToRight) return false;
  const auto *family = mapFont.FamilyInfo(font.Name);
  return family && family->CoversBasicLatin && IsLatin1Text(text);
}

void TgtStringAnalyzer::StringAnalyze(const WString &text, TgtBiDiMode biDiMode, TgtMapFont &mapFont,
                                      const TgtAnalyzeCallback &callback, const TgtFont &font, bool alwaysShape) {
  if (text.empty() || text.size() > (1u << 20)) return;
  if (IsSimpleLine(text, biDiMode, mapFont, font)) {
    // The line as one simple item, without itemising it.
    std::vector<WORD> logClust(text.size());
    for (size_t i = 0; i < text.size(); ++i) logClust[i] = WORD(i);
    TgtRunInfo info;
    info.EndPos = static_cast<int32_t>(text.size());
    TgtGlyphInfoList glyphs;
    callback(text, 0, logClust, info, glyphs, 1);
    return;
  }
  StringAnalyzeItems(text, biDiMode, mapFont, callback, font, alwaysShape);
}

void TgtStringAnalyzer::StringAnalyzeItems(const WString &text, TgtBiDiMode biDiMode, TgtMapFont &mapFont,
                                           const TgtAnalyzeCallback &callback, const TgtFont &font, bool alwaysShape) {
  if (text.empty() || text.size() > (1u << 20)) return;
  const bool rtlBase = biDiMode != bdLeftToRight;
  const std::vector<SCRIPT_ITEM> items = Itemize(text, rtlBase);
  const int count = static_cast<int>(items.size()) - 1;
  // One item (most lines) needs no reordering.
  std::vector<int> visual(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) visual[size_t(i)] = i;
  if (count > 1) {
    std::vector<BYTE> levels(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) levels[size_t(i)] = BYTE(items[size_t(i)].a.s.uBidiLevel);
    ScriptLayout(count, levels.data(), visual.data(), nullptr);
  }
  const auto *family = mapFont.FamilyInfo(font.Name);
  const bool latinFont = family && family->CoversBasicLatin;
  std::optional<TShaper> shaper;  // the screen DC only when an item is shaped
  bool shapedBefore = false;
  // Reused from item to item.
  WString itemText;
  std::vector<WORD> logClust;
  TgtGlyphInfoList glyphs;
  for (int v = 0; v < count; ++v) {
    const SCRIPT_ITEM &item = items[size_t(visual[size_t(v)])];
    const int start = item.iCharPos, end = items[size_t(visual[size_t(v)]) + 1].iCharPos;
    itemText.assign(text, size_t(start), size_t(end - start));
    TgtRunInfo info;
    info.StartPos = start;
    info.EndPos = end;
    logClust.clear();
    glyphs.clear();
    const bool complex = ScriptIsComplex(itemText.data(), int(itemText.size()), SIC_COMPLEX) == S_OK;
    if (latinFont && !rtlBase && !complex && AllWinAnsi(itemText) && !shapedBefore) {
      for (size_t i = 0; i < itemText.size(); ++i) logClust.push_back(WORD(i));
    } else {
      shapedBefore = true;
      info.ScriptProcessingRequired = true;
      if (complex) info.GlyphType |= gdComplex;
      if (!shaper) shaper.emplace(mapFont, font);
      const bool direct =
          !complex && !item.a.fRTL && !alwaysShape && shaper->MapDirectly(itemText, info, logClust, glyphs);
      if (!direct) shaper->Shape(itemText, item.a, info, logClust, glyphs);
    }
    callback(itemText, v, logClust, info, glyphs, count);
  }
}

TgtShapeFonts::~TgtShapeFonts() {
  for (auto &[key, face] : FFaces)
    if (face) ScriptFreeCache(&face->Cache);
}

TgtShapeFonts::TFace *TgtShapeFonts::Face(HDC dc, const LOGFONTW &lf) {
  std::string key(reinterpret_cast<const char *>(&lf), sizeof lf);
  if (auto it = FFaces.find(key); it != FFaces.end()) return it->second.get();
  // The cache takes the font selected now and keeps it; the font object
  // itself is not needed afterwards.
  auto face = std::make_unique<TFace>();
  HFONT font = CreateFontIndirectW(&lf);
  if (font) {
    HGDIOBJ old = SelectObject(dc, font);
    long height = 0;
    if (ScriptCacheGetHeight(dc, &face->Cache, &height) != S_OK) ScriptFreeCache(&face->Cache);
    SelectObject(dc, old);
    DeleteObject(font);
  }
  TFace *out = face->Cache ? face.get() : nullptr;
  FFaces.emplace(std::move(key), out ? std::move(face) : nullptr);
  return out;
}

WORD TgtShapeFonts::TFace::Glyph(HDC dc, WCHAR c) {
  if (CharPages.empty()) CharPages.resize(256);
  auto &page = CharPages[c >> 8];
  if (!page) page = std::make_unique<std::array<uint32_t, 256>>();
  uint32_t &slot = (*page)[c & 0xFF];
  if (slot == 0) {
    WORD g = 0;
    if (ScriptGetCMap(dc, &Cache, &c, 1, 0, &g) != S_OK) g = 0;
    slot = uint32_t(g) + 1;
  }
  return WORD(slot - 1);
}

const ABC &TgtShapeFonts::TFace::GlyphABC(HDC dc, WORD glyph) {
  if (glyph >= Known.size()) {
    Known.resize(size_t(glyph) + 1, 0);
    Widths.resize(size_t(glyph) + 1, ABC{});
  }
  if (!Known[glyph]) {
    if (ScriptGetGlyphABCWidth(dc, &Cache, glyph, &Widths[glyph]) != S_OK) Widths[glyph] = ABC{};
    Known[glyph] = 1;
  }
  return Widths[glyph];
}

WString RunFamily(const TgtRunInfo &info, const TgtFont &font) {
  return info.IsFontMapped ? info.MappedFontName : font.Name;
}

void TgtRunMerger::Add(const WString &itemText, const std::vector<WORD> &logClust, const TgtRunInfo &info,
                       const TgtGlyphInfoList &glyphs) {
  Add(itemText, std::vector<WORD>(logClust), TgtRunInfo(info), TgtGlyphInfoList(glyphs));
}

void TgtRunMerger::Add(const WString &itemText, std::vector<WORD> &&logClust, TgtRunInfo &&info,
                       TgtGlyphInfoList &&glyphs) {
  const WString &family = info.IsFontMapped ? info.MappedFontName : FFont.Name;
  if (!FRuns.empty()) {
    TgtRunStore &last = FRuns.back();
    if (SameFamilyName(last.FFont.Name, family) && last.FRunInfo.GlyphType == info.GlyphType &&
        last.FRunInfo.ScriptProcessingRequired == info.ScriptProcessingRequired &&
        last.FRunInfo.EndPos == info.StartPos) {
      const size_t base = last.FGlyphInfoList.size();
      last.FRunText += itemText;
      last.FLogClust.reserve(last.FLogClust.size() + logClust.size());
      for (WORD c : logClust) last.FLogClust.push_back(WORD(c + base));
      last.FGlyphInfoList.insert(last.FGlyphInfoList.end(), std::make_move_iterator(glyphs.begin()),
                                 std::make_move_iterator(glyphs.end()));
      for (size_t g = base; g < last.FGlyphInfoList.size(); ++g)
        last.FGlyphInfoList[g].FPosition = static_cast<int32_t>(base + size_t(last.FGlyphInfoList[g].FPosition));
      last.FRunInfo.VisAttr.insert(last.FRunInfo.VisAttr.end(), info.VisAttr.begin(), info.VisAttr.end());
      last.FRunInfo.EndPos = info.EndPos;
      return;
    }
  }
  TgtRunStore run;
  run.FRunText = itemText;
  run.FFont = FFont;
  run.FFont.Name = family;
  run.FGlyphInfoList = std::move(glyphs);
  run.FLogClust = std::move(logClust);
  // The shaped items after this one join it, as far as the line goes.
  const size_t rest = FLineLength > size_t(std::max(info.StartPos, 0)) ? FLineLength - size_t(info.StartPos) : 0;
  if (info.ScriptProcessingRequired && rest > run.FGlyphInfoList.size()) {
    run.FGlyphInfoList.reserve(rest);
    run.FLogClust.reserve(rest);
    run.FRunText.reserve(rest);
  }
  run.FRunInfo = std::move(info);
  if (run.FRunInfo.ScriptProcessingRequired && rest > run.FRunInfo.VisAttr.size()) run.FRunInfo.VisAttr.reserve(rest);
  run.FAngle = FAngle;
  FRuns.push_back(std::move(run));
}

TgtAnalyzeCallback TgtRunMerger::Callback() {
  return [this](const WString &itemText, int, std::vector<WORD> &logClust, TgtRunInfo &info, TgtGlyphInfoList &glyphs,
                int) { Add(itemText, std::move(logClust), std::move(info), std::move(glyphs)); };
}

}  // namespace nx
