// The string analyser and the font map of the PDF writer: which items stay
// simple and which are shaped, right-to-left items in visual order, fallback
// fonts (kept across documents), the family replacements, and the merging
// of items into runs. Glyphs are judged by fontTools and coverage by
// fontconfig, not by our own font code.
#include <gtest/gtest.h>

#include <string>

#include "common/Strings.h"
#include "export/gtDocUsp10.h"
#include "export/gtMapFont.h"
#include "support/TestSupport.h"

using namespace nx;
using nxtest::RunCommand;
using nxtest::ShellQuote;

namespace {

struct TItem {
  WString text;
  std::vector<WORD> logClust;
  TgtRunInfo info;
  TgtGlyphInfoList glyphs;
};

std::vector<TItem> Analyze(TgtMapFont &map, const WString &text, const WString &family,
                           TgtBiDiMode mode = bdLeftToRight, bool alwaysShape = false, bool bold = false) {
  TgtFont font;
  font.Name = family;
  font.Bold = bold;
  std::vector<TItem> items;
  TgtStringAnalyzer::StringAnalyze(
      text, mode, map,
      [&](const WString &t, int index, const std::vector<WORD> &clust, const TgtRunInfo &info,
          const TgtGlyphInfoList &glyphs, int count) {
        EXPECT_EQ(index, static_cast<int>(items.size()));
        EXPECT_GT(count, index);
        items.push_back({t, clust, info, glyphs});
      },
      font, alwaysShape);
  return items;
}

std::string Utf8(const WString &w) { return WideToAnsi(w, CP_UTF8); }

// Whether fontconfig lists the family among those covering the character.
bool Covers(const WString &family, char32_t c) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04x", unsigned(c));
  const auto r = RunCommand(std::string("fc-list ':charset=") + hex + "' family");
  const std::string name = Utf8(family);
  for (size_t at = r.output.find(name); at != std::string::npos; at = r.output.find(name, at + 1)) {
    const bool startOk = at == 0 || r.output[at - 1] == '\n' || r.output[at - 1] == ',';
    const size_t end = at + name.size();
    const bool endOk = end == r.output.size() || r.output[end] == '\n' || r.output[end] == ',';
    if (startOk && endOk) return true;
  }
  return false;
}

// fontTools' names of glyph ids in the file fontconfig picks for a family.
std::vector<std::string> GlyphNames(const std::string &family, const TgtGlyphInfoList &glyphs) {
  const auto file = RunCommand("fc-match -f '%{file}' " + ShellQuote(family));
  std::string ids;
  for (const auto &g : glyphs) ids += (ids.empty() ? "" : ",") + std::to_string(g.FID);
  const auto r = RunCommand("/usr/bin/python3 -c " +
                            ShellQuote("import sys\nfrom fontTools.ttLib import TTFont\nf=TTFont(sys.argv[1])\n"
                                       "print(' '.join(f.getGlyphName(int(i)) for i in sys.argv[2].split(',')))") +
                            " " + ShellQuote(file.output) + " " + ids);
  std::vector<std::string> names;
  std::string cur;
  for (char c : r.output) {
    if (c == ' ' || c == '\n') {
      if (!cur.empty()) names.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return names;
}

TEST(StringAnalyzer, LatinStaysSimpleGreekAndCyrillicAreShaped) {
  TgtMapFont map;
  // Windows-1252 text, the euro sign and typographic quotes included.
  auto latin = Analyze(map, u"Total:\t12,50 \u20ac \u201c\u00e9t\u00e9\u201d \u2013", u"Arial");
  ASSERT_EQ(latin.size(), 1u);
  EXPECT_FALSE(latin[0].info.ScriptProcessingRequired);
  EXPECT_TRUE(latin[0].glyphs.empty());
  for (const WString &word : {WString(u"\u03a3\u03cd\u03bd\u03bf\u03bb\u03bf"), WString(u"\u0418\u0442\u043e\u0433\u043e")}) {
    auto items = Analyze(map, word, u"Arial");
    ASSERT_EQ(items.size(), 1u);
    const TItem &it = items[0];
    EXPECT_TRUE(it.info.ScriptProcessingRequired);
    EXPECT_FALSE(it.info.IsFontMapped) << "Arial's stand-in has Greek and Cyrillic";
    EXPECT_EQ(it.info.GlyphType, 0) << "neither complex, nor ligatures, nor right to left";
    ASSERT_EQ(it.glyphs.size(), word.size());
    EXPECT_EQ(it.info.VisAttr.size(), word.size());
    for (size_t i = 0; i < word.size(); ++i) {
      EXPECT_NE(it.glyphs[i].FID, 0);
      EXPECT_GT(it.glyphs[i].FAdvWidth, 100) << "advances at 1000 points";
      EXPECT_EQ(it.logClust[i], i);
      EXPECT_TRUE(it.info.VisAttr[i] & svClusterStart);
    }
    // The glyphs are the font's own for these letters.
    const auto names = GlyphNames("Arial", it.glyphs);
    ASSERT_EQ(names.size(), word.size());
    EXPECT_EQ(names[0], word[0] == u'\u03a3' ? "Sigma" : "uni0418");
  }
}

TEST(StringAnalyzer, AfterAShapedItemEveryItemIsShaped) {
  TgtMapFont map;
  auto items = Analyze(map, u"Total \u03a3\u03cd\u03bd\u03bf\u03bb\u03bf ok", u"Arial");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].text, u"Total ");
  EXPECT_FALSE(items[0].info.ScriptProcessingRequired);
  EXPECT_TRUE(items[1].info.ScriptProcessingRequired);
  EXPECT_EQ(items[2].text, u"ok");
  EXPECT_TRUE(items[2].info.ScriptProcessingRequired) << "Latin after a shaped item";
  // Merged: the simple run, then Greek and the Latin after it in one run.
  TgtFont font;
  TgtRunMerger merger(font, 30);
  for (const TItem &it : items) merger.Add(it.text, it.logClust, it.info, it.glyphs);
  ASSERT_EQ(merger.Runs().size(), 2u);
  const TgtRunStore &run = merger.Runs()[1];
  EXPECT_EQ(run.FRunText, WString(u"\u03a3\u03cd\u03bd\u03bf\u03bb\u03bf ok"));
  EXPECT_EQ(run.FRunInfo.StartPos, 6);
  EXPECT_EQ(run.FRunInfo.EndPos, 15);
  ASSERT_EQ(run.FGlyphInfoList.size(), 9u);
  EXPECT_EQ(run.FLogClust.back(), 8) << "the second item's clusters follow the first's glyphs";
  EXPECT_EQ(run.FGlyphInfoList.back().FPosition, 8);
  EXPECT_EQ(run.FRunInfo.VisAttr.size(), 9u);
  EXPECT_EQ(run.FAngle, 30);
}

TEST(StringAnalyzer, ArabicIsRightToLeftInVisualOrder) {
  TgtMapFont map;
  const WString word = u"\u0645\u0631\u062d\u0628\u0627";  // marhaba
  for (TgtBiDiMode mode : {bdLeftToRight, bdRightToLeft}) {
    auto items = Analyze(map, word, u"DejaVu Sans", mode);
    ASSERT_EQ(items.size(), 1u);
    const TItem &it = items[0];
    EXPECT_TRUE(it.info.ScriptProcessingRequired);
    EXPECT_EQ(it.info.GlyphType & (gdRTL | gdComplex), gdRTL | gdComplex);
    EXPECT_FALSE(it.info.IsFontMapped);
    ASSERT_EQ(it.glyphs.size(), 5u);
    // The last letter is drawn leftmost, the first rightmost.
    EXPECT_EQ(it.logClust[4], 0);
    EXPECT_EQ(it.logClust[0], 4);
    // Joined forms: final alef leftmost, initial meem rightmost.
    const auto names = GlyphNames("DejaVu Sans", it.glyphs);
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names.front(), "uniFE8E");
    EXPECT_EQ(names.back(), "uniFEE3");
  }
  // Under a right-to-left base the Arabic that follows the Latin is drawn
  // to its left: the items come from left to right, and none is simple.
  auto mixed = Analyze(map, u"abc " + word, u"DejaVu Sans", bdRightToLeft);
  ASSERT_GE(mixed.size(), 2u);
  EXPECT_EQ(mixed.front().text, word);
  EXPECT_EQ(mixed.back().text, u"abc");
  for (const TItem &it : mixed) EXPECT_TRUE(it.info.ScriptProcessingRequired);
}

TEST(StringAnalyzer, MissingCharactersFallBackAndTheFallbackIsReused) {
  const WString arabic = u"\u0645\u0631\u062d\u0628\u0627";
  const WString integral = u"\u222e";
  TgtMapFont fresh;
  auto first = Analyze(fresh, integral, u"Arial");
  ASSERT_EQ(first.size(), 1u);
  ASSERT_TRUE(first[0].info.IsFontMapped);
  const WString freshChoice = first[0].info.MappedFontName;
  EXPECT_TRUE(Covers(freshChoice, 0x222E)) << Utf8(freshChoice);
  EXPECT_EQ(fresh.AllUsedFonts(), std::vector<WString>{freshChoice});

  TgtMapFont map;  // one engine, two documents
  auto ar = Analyze(map, arabic, u"Arial");
  ASSERT_EQ(ar.size(), 1u);
  ASSERT_TRUE(ar[0].info.IsFontMapped) << "Arial's stand-in has no Arabic";
  const WString arabicFont = ar[0].info.MappedFontName;
  EXPECT_TRUE(Covers(arabicFont, 0x0627)) << Utf8(arabicFont);
  for (const auto &g : ar[0].glyphs) {
    EXPECT_NE(g.FID, 0);
    EXPECT_EQ(g.FFontName, arabicFont);
  }
  ASSERT_TRUE(Covers(arabicFont, 0x222E));
  ASSERT_NE(arabicFont, freshChoice) << "the case needs two families that have the character";
  auto second = Analyze(map, integral, u"Arial");
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].info.MappedFontName, arabicFont) << "the fallback used before comes first";
  EXPECT_EQ(map.AllUsedFonts(), std::vector<WString>{arabicFont});

  // A character no installed font has stays in the font it was asked in.
  auto none = Analyze(map, u"\u0378", u"Arial");
  ASSERT_EQ(none.size(), 1u);
  EXPECT_FALSE(none[0].info.IsFontMapped);
  EXPECT_EQ(none[0].glyphs.at(0).FID, 0);
}

// Items of simple scripts take their glyphs from the cmap without the
// shaper: everything a run is written from must be what shaping gives,
// except that the advances are the glyphs' own (no kerning).
TEST(StringAnalyzer, CmapGlyphsMatchTheShaperOnSimpleScripts) {
  const WString greek = u"\u03c4\u03b9\u03bc\u03bf\u03bb\u03cc\u03b3\u03b9\u03bf \u03a6\u03a0\u0391";
  const std::vector<std::pair<WString, TgtBiDiMode>> cases = {
      {u"invoice " + greek + u" 12.50 \u20ac total", bdLeftToRight},  // Latin after Greek is shaped too
      {u"\u0441\u0447\u0451\u0442-\u0444\u0430\u043a\u0442\u0443\u0440\u0430 \u00ab\u00a0x\u00a0\u00bb \u2026", bdLeftToRight},
      {greek + u" \u1e9c\u1e9d \u03a9", bdLeftToRight},      // letters Arial's stand-in lacks: fallback
      {u"\u0391\u03b2 \u0378 x", bdLeftToRight},             // no font has U+0378
      {u"e\u0301 \u03b1\u0301 \u0418\u0306 ok", bdLeftToRight},  // combining marks
      {u"\u03b1\u03b2\u03b3 \u05e9\u05dc\u05d5\u05dd abc", bdLeftToRight},  // Hebrew between
      {greek + u" abc", bdRightToLeft},
      {u"\u03b1 \U0001d400\U0001d7d8 \u03b2", bdLeftToRight},  // surrogate pairs
      {u"\u03b1\u00ad\u03b2\u200b\u03b3\t\u03b4", bdLeftToRight},  // soft hyphen, zero width, tab
      // Spacing accents, singleton decompositions (Greek question mark, ohm), extended letters.
      {u"\u03b1 fi fl \u02c6\u02dc\u00b4 \u00a0\u2116 \u037e\u2126 \u1f00\u1e9e\u1ffd", bdLeftToRight},
  };
  for (const auto &[text, mode] : cases) {
    // Bold is a face of its own; once is enough.
    std::vector<bool> faces = {false};
    if (text == cases[0].first) faces.push_back(true);
    for (bool bold : faces) {
      TgtMapFont directMap, shapedMap;
      const auto direct = Analyze(directMap, text, u"Arial", mode, false, bold);
      const auto shaped = Analyze(shapedMap, text, u"Arial", mode, true, bold);
      SCOPED_TRACE(Utf8(text) + (bold ? " bold" : ""));
      ASSERT_EQ(direct.size(), shaped.size());
      EXPECT_EQ(directMap.AllUsedFonts(), shapedMap.AllUsedFonts());
      for (size_t i = 0; i < direct.size(); ++i) {
        const TItem &d = direct[i], &s = shaped[i];
        EXPECT_EQ(d.text, s.text);
        EXPECT_EQ(d.logClust, s.logClust);
        EXPECT_EQ(d.info.GlyphType, s.info.GlyphType);
        EXPECT_EQ(d.info.StartPos, s.info.StartPos);
        EXPECT_EQ(d.info.EndPos, s.info.EndPos);
        EXPECT_EQ(d.info.IsFontMapped, s.info.IsFontMapped);
        EXPECT_EQ(d.info.MappedFontName, s.info.MappedFontName);
        EXPECT_EQ(d.info.ScriptProcessingRequired, s.info.ScriptProcessingRequired);
        EXPECT_EQ(d.info.VisAttr, s.info.VisAttr);
        ASSERT_EQ(d.glyphs.size(), s.glyphs.size());
        for (size_t g = 0; g < d.glyphs.size(); ++g) {
          const TgtGlyphInfo &dg = d.glyphs[g], &sg = s.glyphs[g];
          EXPECT_EQ(dg.FID, sg.FID) << "glyph " << g << " of " << Utf8(d.text);
          EXPECT_EQ(dg.FPosition, sg.FPosition);
          EXPECT_EQ(dg.FFontName, sg.FFontName);
          EXPECT_EQ(dg.FABCWidth.abcA, sg.FABCWidth.abcA);
          EXPECT_EQ(dg.FABCWidth.abcB, sg.FABCWidth.abcB);
          EXPECT_EQ(dg.FABCWidth.abcC, sg.FABCWidth.abcC);
          const int32_t own = sg.FABCWidth.abcA + int32_t(sg.FABCWidth.abcB) + sg.FABCWidth.abcC;
          // The shaper's advance, or (cmap path) the glyph's own one.
          EXPECT_TRUE(dg.FAdvWidth == sg.FAdvWidth || dg.FAdvWidth == own) << g << " of " << Utf8(d.text);
        }
      }
    }
  }
  // The cmap path really ran: the shaper kerns "AV" and "To", the cmap
  // path keeps the glyphs' own advances.
  TgtMapFont directMap, shapedMap;
  const WString kerned = u"\u03b1 AVATAR To";
  const auto direct = Analyze(directMap, kerned, u"Arial");
  const auto shaped = Analyze(shapedMap, kerned, u"Arial", bdLeftToRight, true);
  ASSERT_EQ(direct.size(), 2u);
  ASSERT_EQ(shaped.size(), 2u);
  ASSERT_EQ(direct[1].glyphs.size(), shaped[1].glyphs.size());
  int kerns = 0;
  for (size_t g = 0; g < direct[1].glyphs.size(); ++g)
    if (direct[1].glyphs[g].FAdvWidth != shaped[1].glyphs[g].FAdvWidth) ++kerns;
  EXPECT_GE(kerns, 3) << "A-V, V-A, T-A, T-o kern in Liberation Sans";
}

TEST(MapFont, FamiliesAreReplacedWhenNotInstalledTrueType) {
  TgtMapFont map;
  auto mapped = [&](const WString &family) {
    TgtFont f;
    f.Name = family;
    f.Bold = true;
    const TgtFont out = map.PrepareFont(f);
    EXPECT_TRUE(out.Bold);
    return out.Name;
  };
  EXPECT_EQ(mapped(u"Courier"), u"Courier New");
  EXPECT_EQ(mapped(u"MS Sans Serif"), u"Arial");
  EXPECT_EQ(mapped(u"No Such Family 42"), u"Arial");
  EXPECT_EQ(map.MappedFont(u"no such family 42"), WString(u"Arial")) << "remembered, whatever the case";
  // Installed TrueType families stay, spelled as installed.
  EXPECT_EQ(mapped(u"dejavu sans"), u"DejaVu Sans");
  EXPECT_EQ(mapped(u"Times New Roman"), u"Times New Roman");
  EXPECT_EQ(mapped(u"Courier New"), u"Courier New");
  EXPECT_EQ(mapped(u"arial"), u"Arial");
  // A vertical family keeps its prefix, replaced or not.
  EXPECT_EQ(mapped(u"@DejaVu Sans"), u"@DejaVu Sans");
  EXPECT_EQ(mapped(u"@No Such Family 42"), u"@Arial");
  auto arial = map.Family(u"Arial");
  ASSERT_TRUE(arial);
  EXPECT_TRUE(arial->TrueType);
  EXPECT_TRUE(arial->CoversBasicLatin);
}

// The last answers are kept by name: a repeated name gives the answer a
// fresh map gives, with the item's other attributes, and a name that
// differs only in case or prefix is not taken for it.
TEST(MapFont, RepeatedNamesGiveTheFirstAnswers) {
  TgtMapFont map;
  auto prepare = [&](const WString &family, bool bold) {
    TgtFont f;
    f.Name = family;
    f.Bold = bold;
    f.Size = bold ? 30 : 12;
    const TgtFont out = map.PrepareFont(f);
    EXPECT_EQ(out.Bold, bold);
    EXPECT_EQ(out.Size, f.Size);
    return out.Name;
  };
  const WString sequence[] = {u"arial", u"arial", u"Courier", u"Courier", u"@Courier", u"No Such Family 42",
                              u"No Such Family 42", u"dejavu sans", u"DejaVu Sans", u"@dejavu sans", u"arial"};
  for (size_t i = 0; i < std::size(sequence); ++i) {
    TgtMapFont fresh;
    TgtFont f;
    f.Name = sequence[i];
    EXPECT_EQ(prepare(sequence[i], i % 2 == 0), fresh.PrepareFont(f).Name) << i;
  }
  const auto *plain = map.FamilyInfo(u"dejavu sans");
  const auto *vertical = map.FamilyInfo(u"@DejaVu Sans");
  ASSERT_TRUE(plain && vertical);
  EXPECT_EQ(plain, vertical) << "one record per family";
  EXPECT_EQ(plain->Name, u"DejaVu Sans");
  EXPECT_EQ(map.FamilyInfo(u"No Such Family 42"), nullptr);
  EXPECT_EQ(map.FamilyInfo(u"No Such Family 42"), nullptr) << "asked again";
  EXPECT_FALSE(map.Family(u""));
}

TEST(MapFont, PostScriptOutlinedFamiliesAreReplaced) {
  // fonts-urw-base35 installs these with Type 1 and CFF outlines only.
  const auto cff = RunCommand("fc-list ':fontformat=CFF' family");
  ASSERT_NE(cff.output.find("Nimbus Sans"), std::string::npos) << cff.output;
  TgtMapFont map;
  auto info = map.Family(u"Nimbus Sans");
  ASSERT_TRUE(info) << "installed";
  EXPECT_FALSE(info->TrueType);
  TgtFont f;
  f.Name = u"Nimbus Sans";
  EXPECT_EQ(map.GetTrueTypeFont(f).Name, u"Arial");
  // Nor are they fallback candidates; installed TrueType families are.
  const auto candidates = map.FallbackCandidates(u"Arial");
  EXPECT_EQ(std::count(candidates.begin(), candidates.end(), WString(u"Nimbus Sans")), 0);
  EXPECT_EQ(std::count(candidates.begin(), candidates.end(), WString(u"DejaVu Sans")), 1);
  EXPECT_EQ(std::count(candidates.begin(), candidates.end(), WString(u"Arial")), 0) << "the family tried";
  // The installed list holds every family once.
  const auto &all = map.SysFontList();
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t j = i + 1; j < all.size(); ++j) EXPECT_FALSE(SameFamilyName(all[i], all[j])) << Utf8(all[i]);
}

// The runs a line becomes, through StringAnalyze or the itemising path.
std::vector<TgtRunStore> Runs(TgtMapFont &map, const WString &text, const TgtFont &font, TgtBiDiMode mode,
                              bool itemised) {
  TgtRunMerger merger(font, 0);
  if (itemised)
    TgtStringAnalyzer::StringAnalyzeItems(text, mode, map, merger.Callback(), font);
  else
    TgtStringAnalyzer::StringAnalyze(text, mode, map, merger.Callback(), font);
  return merger.Runs();
}

// A line of U+0020 .. U+00FF skips itemising: it must come out as the runs
// itemising gives, on every kind of character of that range, and the lines
// just outside it must still be itemised.
TEST(StringAnalyzer, OneItemLinesGiveTheRunsOfItemising) {
  TgtMapFont map;
  const WString lines[] = {
      u" ",
      u"Line 7: 4 x Widget type B at 12.50 each, order 2026-1007",
      u"!\"#$%&'()*+,-./0123456789:;<=>?@[\\]^_`{|}~\u007f",
      u"\u00a0\u00a1\u00a2\u00a3\u00a7\u00aa\u00ab\u00ad\u00b0\u00b5\u00ba\u00bb\u00bf\u00d7\u00f7",
      u"Fa\u00e7ade \u00e9t\u00e9 \u00c5ngstr\u00f6m \u00df \u00fe\u00ff 12,50\u00a0\u20ac",
      u"ctl \u0080\u0085\u0090\u009f end",
      u"price 12.50 \u0394 total",  // Greek in the middle: shaped from there on
      u"tab\tstop 42",              // a tab: written as spaces, itemised
      u"cafe\u0301 au lait",        // a combining mark
  };
  for (const WCHAR *family : {u"Arial", u"Courier New"}) {
    TgtFont font;
    font.Name = family;
    for (const WString &text : lines) {
      for (TgtBiDiMode mode : {bdLeftToRight, bdRightToLeft}) {
        const auto fast = Runs(map, text, font, mode, false), items = Runs(map, text, font, mode, true);
        const std::string what = Utf8(text) + " in " + Utf8(family) + (mode == bdLeftToRight ? "" : ", RTL");
        ASSERT_EQ(fast.size(), items.size()) << what;
        ASSERT_FALSE(fast.empty()) << what;
        for (size_t r = 0; r < fast.size(); ++r) {
          const TgtRunStore &a = fast[r], &b = items[r];
          EXPECT_EQ(a.FRunText, b.FRunText) << what;
          EXPECT_EQ(a.FFont.Name, b.FFont.Name) << what;
          EXPECT_EQ(a.FRunInfo.StartPos, b.FRunInfo.StartPos) << what;
          EXPECT_EQ(a.FRunInfo.EndPos, b.FRunInfo.EndPos) << what;
          EXPECT_EQ(a.FRunInfo.GlyphType, b.FRunInfo.GlyphType) << what;
          EXPECT_EQ(a.FRunInfo.ScriptProcessingRequired, b.FRunInfo.ScriptProcessingRequired) << what;
          ASSERT_EQ(a.FGlyphInfoList.size(), b.FGlyphInfoList.size()) << what;
          for (size_t g = 0; g < a.FGlyphInfoList.size(); ++g)
            EXPECT_EQ(a.FGlyphInfoList[g].FID, b.FGlyphInfoList[g].FID) << what;
          if (!a.FRunInfo.ScriptProcessingRequired) {
            EXPECT_EQ(a.FLogClust.size(), a.FRunText.size()) << what;
          }
        }
      }
    }
  }
  // Only the one-item lines stay one simple run.
  TgtFont arial;
  arial.Name = u"Arial";
  EXPECT_EQ(Runs(map, lines[4], arial, bdLeftToRight, false).size(), 1u);
  EXPECT_FALSE(Runs(map, lines[4], arial, bdLeftToRight, false)[0].FRunInfo.ScriptProcessingRequired);
  EXPECT_EQ(Runs(map, lines[6], arial, bdLeftToRight, false).size(), 2u);
  EXPECT_TRUE(Runs(map, lines[1], arial, bdRightToLeft, false)[0].FRunInfo.ScriptProcessingRequired)
      << "a right-to-left paragraph is shaped";
}

TEST(RunMerger, ItemsJoinOnlyWhenTheyContinueOneAnother) {
  TgtFont font;
  font.Name = u"Arial";
  auto item = [](int start, int end, bool shaped, uint8_t type, const WString &mapped = {}) {
    TgtRunInfo info;
    info.StartPos = start;
    info.EndPos = end;
    info.ScriptProcessingRequired = shaped;
    info.GlyphType = type;
    info.IsFontMapped = !mapped.empty();
    info.MappedFontName = mapped;
    return info;
  };
  TgtGlyphInfoList two(2);
  TgtRunMerger m(font, 0);
  m.Add(u"ab", {0, 1}, item(0, 2, true, 0), two);
  m.Add(u"cd", {0, 1}, item(2, 4, true, 0), two);          // joins
  m.Add(u"ef", {0, 1}, item(4, 6, false, 0), {});          // simple: new run
  m.Add(u"gh", {0, 1}, item(7, 9, false, 0), {});          // a gap: new run
  m.Add(u"ij", {0, 1}, item(9, 11, false, 0, u"DejaVu Sans"), {});  // another family
  m.Add(u"kl", {1, 0}, item(11, 13, false, gdRTL, u"DejaVu Sans"), {});  // another glyph type
  m.Add(u"mn", {1, 0}, item(9, 11, false, gdRTL, u"DejaVu Sans"), {});   // visual order going back
  ASSERT_EQ(m.Runs().size(), 6u);
  EXPECT_EQ(m.Runs()[0].FRunText, u"abcd");
  EXPECT_EQ(m.Runs()[0].FLogClust, (std::vector<WORD>{0, 1, 2, 3}));
  EXPECT_EQ(m.Runs()[0].FRunInfo.EndPos, 4);
  EXPECT_EQ(m.Runs()[0].FFont.Name, u"Arial");
  EXPECT_EQ(m.Runs()[3].FFont.Name, u"DejaVu Sans");
}

}  // namespace
