#include <gtest/gtest.h>

#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/script/ScriptCache.h"
#include "platform/win32.h"

namespace {

SCRIPT_CACHE CacheFor(const char16_t *face, LONG height = -100) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  for (size_t i = 0; face[i]; ++i) lf.lfFaceName[i] = WCHAR(face[i]);
  return nx::script::MakeScriptCache(nx::text::ResolveFont(lf));
}

const WCHAR *W(const std::u16string &s) { return reinterpret_cast<const WCHAR *>(s.data()); }

std::vector<SCRIPT_ITEM> Itemize(const std::u16string &s) {
  std::vector<SCRIPT_ITEM> items(s.size() + 1);
  int n = 0;
  EXPECT_EQ(S_OK, ScriptItemize(W(s), int(s.size()), int(items.size()), nullptr, nullptr, items.data(), &n));
  items.resize(size_t(n) + 1);
  return items;
}

struct Shaped {
  HRESULT hr;
  std::vector<WORD> glyphs, clusters;
  std::vector<SCRIPT_VISATTR> attrs;
  std::vector<int> advances;
};

Shaped Shape(SCRIPT_CACHE &sc, const std::u16string &s, SCRIPT_ANALYSIS a) {
  Shaped out;
  int max = int(s.size()) * 2 + 16, n = 0;
  out.glyphs.resize(size_t(max));
  out.clusters.resize(s.size());
  out.attrs.resize(size_t(max));
  out.hr = ScriptShape(nullptr, &sc, W(s), int(s.size()), max, &a, out.glyphs.data(), out.clusters.data(),
                       out.attrs.data(), &n);
  out.glyphs.resize(size_t(n));
  out.attrs.resize(size_t(n));
  if (n > 0) {
    out.advances.resize(size_t(n));
    EXPECT_EQ(S_OK, ScriptPlace(nullptr, &sc, out.glyphs.data(), n, out.attrs.data(), &a, out.advances.data(),
                                nullptr, nullptr));
  }
  return out;
}

TEST(Script, ItemizeSplitsByDirectionAndScript) {
  auto items = Itemize(u"Hello \u0639\u0627\u0644\u0645!");
  ASSERT_EQ(4u, items.size());  // three runs and the end marker
  EXPECT_EQ(0, items[0].iCharPos);
  EXPECT_EQ(0, items[0].a.fRTL);
  EXPECT_EQ(6, items[1].iCharPos);
  EXPECT_EQ(1, items[1].a.fRTL);
  EXPECT_EQ(1, items[1].a.s.uBidiLevel);
  EXPECT_EQ(10, items[2].iCharPos);
  EXPECT_EQ(0, items[2].a.fRTL);
  EXPECT_EQ(11, items[3].iCharPos);
  EXPECT_NE(items[0].a.eScript, items[1].a.eScript);
  // Greek next to Latin is a new item; digits stay Western and in the run.
  auto mixed = Itemize(u"abc \u03B1\u03B2\u03B3 123");
  EXPECT_EQ(3u, mixed.size());
  EXPECT_EQ(4, mixed[1].iCharPos);
}

// Levels of left-to-right text under both bases: digits and punctuation
// between Latin and Greek stay with their runs.
TEST(Script, LeftToRightTextLevelsUnderBothBases) {
  const std::u16string text = u"Total 12.50 \u03a3\u03cd\u03bd\u03bf\u03bb\u03bf (\u00e9t\u00e9) \u0418\u0442\u043e\u0433\u043e 7";
  for (BYTE base : {0, 1}) {
    SCRIPT_STATE state{};
    state.uBidiLevel = base;
    std::vector<SCRIPT_ITEM> items(text.size() + 1);
    int n = 0;
    ASSERT_EQ(S_OK, ScriptItemize(W(text), int(text.size()), int(items.size()), nullptr, &state, items.data(), &n));
    ASSERT_GE(n, 4) << int(base);
    // Under a left-to-right base all is level 0; under a right-to-left one
    // the letters rise to 2, the outer neutrals and the last number stay.
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(0, items[size_t(i)].a.fRTL) << i;
      if (base == 0) {
        EXPECT_EQ(0, items[size_t(i)].a.s.uBidiLevel) << i;
      }
    }
    if (base == 1) {
      EXPECT_EQ(2, items[0].a.s.uBidiLevel);
    }
  }
}

TEST(Script, CmapGlyphsWithoutShaping) {
  SCRIPT_CACHE sc = CacheFor(u"DejaVu Sans");
  const std::u16string text = u"fi\u03a9\u0378\U00010300";  // Old Italic A
  WORD glyphs[6] = {};
  EXPECT_EQ(S_FALSE, ScriptGetCMap(nullptr, &sc, W(text), int(text.size()), 0, glyphs)) << "U+0378 is unassigned";
  // The cmap's own glyphs: no ligature of "fi", the pair's glyph at both units.
  hb_font_t *font = static_cast<nx::script::ScriptCacheData *>(sc)->font->HbFont();
  for (auto [at, ch] : {std::pair<int, char32_t>{0, U'f'}, {1, U'i'}, {2, U'\u03a9'}, {4, U'\U00010300'}}) {
    hb_codepoint_t g = 0;
    ASSERT_TRUE(hb_font_get_nominal_glyph(font, ch, &g));
    EXPECT_EQ(g, glyphs[at]) << at;
  }
  EXPECT_EQ(0, glyphs[3]);
  EXPECT_EQ(glyphs[4], glyphs[5]);
  EXPECT_EQ(S_OK, ScriptGetCMap(nullptr, &sc, W(text), 3, 0, glyphs));
  EXPECT_EQ(E_INVALIDARG, ScriptGetCMap(nullptr, &sc, W(text), 0, 0, glyphs));
  SCRIPT_CACHE none = nullptr;
  EXPECT_EQ(E_PENDING, ScriptGetCMap(nullptr, &none, W(text), 2, 0, glyphs));
  ScriptFreeCache(&sc);
}

TEST(Script, ItemizeAndLayoutRejectBadInput) {
  SCRIPT_ITEM items[4];
  int n = -1;
  EXPECT_EQ(E_INVALIDARG, ScriptItemize(nullptr, 5, 4, nullptr, nullptr, items, &n));
  EXPECT_EQ(E_INVALIDARG, ScriptItemize(NXW("ab"), 0, 4, nullptr, nullptr, items, &n));
  EXPECT_EQ(E_INVALIDARG, ScriptItemize(NXW("ab"), -3, 4, nullptr, nullptr, items, &n));
  EXPECT_EQ(E_OUTOFMEMORY, ScriptItemize(NXW("a\u05D0b\u05D1"), 4, 3, nullptr, nullptr, items, &n));
  const WCHAR lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(S_OK, ScriptItemize(lone, 3, 4, nullptr, nullptr, items, &n));
  const BYTE levels[] = {0, 1, 1, 0};
  int v2l[4], l2v[4];
  ASSERT_EQ(S_OK, ScriptLayout(4, levels, v2l, l2v));
  EXPECT_EQ((std::vector<int>{0, 2, 1, 3}), std::vector<int>(v2l, v2l + 4));
  EXPECT_EQ((std::vector<int>{0, 2, 1, 3}), std::vector<int>(l2v, l2v + 4));
  EXPECT_EQ(E_INVALIDARG, ScriptLayout(0, levels, v2l, l2v));
}

// Left-to-right text below U+0590 is itemised without the bidi pass and the
// per-unit script table. An em dash (U+2014, a common character) sends the
// same text down the general path, where it joins the last item: the items
// before it must be the same.
TEST(Script, PlainLeftToRightItemsEqualTheGeneralPath) {
  const std::u16string texts[] = {
      u"Plain ASCII, 12 pt: (x+y)*2;",
      u"42 -- only common: 3.14 %",
      u"\t  leading spaces then Latin",
      u"Latin \u0391\u03B8\u03AE\u03BD\u03B1, 42 \u041C\u043E\u0441\u043A\u0432\u0430!",
      u"\u0391\u03B2 12 \u0410\u0431 cd \u00E9\u00E8 \u0531\u0532",  // Greek, Cyrillic, Latin, Armenian
      u"e\u0301\u0300 a\u0308, \u00B5 \u00AA\u00BA",                 // inherited marks, Latin-1
      u"x",
      u"1",
  };
  for (size_t t = 0; t < std::size(texts); ++t) {
    const std::u16string &text = texts[t];
    const auto fast = Itemize(text);
    const auto general = Itemize(text + u"\u2014");
    ASSERT_EQ(fast.size(), general.size()) << "text " << t;
    for (size_t i = 0; i + 1 < fast.size(); ++i) {
      EXPECT_EQ(fast[i].iCharPos, general[i].iCharPos) << "text " << t << " item " << i;
      EXPECT_EQ(fast[i].a.eScript, general[i].a.eScript) << "text " << t << " item " << i;
      EXPECT_EQ(fast[i].a.s.uBidiLevel, general[i].a.s.uBidiLevel);
      EXPECT_EQ(fast[i].a.fRTL, general[i].a.fRTL);
    }
    EXPECT_EQ(int(text.size()), fast.back().iCharPos);
    EXPECT_EQ(int(text.size()) + 1, general.back().iCharPos);
  }
  // Too few slots is reported as on the general path.
  SCRIPT_ITEM items[3];
  int n = 0;
  EXPECT_EQ(E_OUTOFMEMORY, ScriptItemize(NXW("ab\u03B1\u03B2cd"), 6, 3, nullptr, nullptr, items, &n));
  EXPECT_EQ(S_OK, ScriptItemize(NXW("ab\u03B1\u03B2"), 4, 3, nullptr, nullptr, items, &n));
  EXPECT_EQ(2, n);
}

TEST(Script, ComplexityOfScripts) {
  EXPECT_EQ(S_FALSE, ScriptIsComplex(NXW("Hello, world 42"), 15, SIC_COMPLEX));
  EXPECT_EQ(S_FALSE, ScriptIsComplex(NXW("\u0391\u03B8\u03AE\u03BD\u03B1 \u041C\u043E\u0441"), 10, SIC_COMPLEX));
  EXPECT_EQ(S_OK, ScriptIsComplex(NXW("ab \u0633\u0644\u0627\u0645"), 7, SIC_COMPLEX));
  EXPECT_EQ(S_OK, ScriptIsComplex(NXW("e\u0301"), 2, SIC_COMPLEX));
  EXPECT_EQ(S_OK, ScriptIsComplex(NXW("x42"), 3, SIC_COMPLEX | SIC_ASCIIDIGIT));
  EXPECT_EQ(E_INVALIDARG, ScriptIsComplex(nullptr, 3, SIC_COMPLEX));
}

// Characters answered from the table of the alphabets and those beyond it
// (higher code points, surrogate pairs) alike.
TEST(Script, ComplexityBelowAndBeyondTheTabledRange) {
  struct TCase {
    std::u16string text;
    HRESULT want;
  };
  const TCase cases[] = {
      {u"\u00e9t\u00e9 \u00d7 \u00bd", S_FALSE},  // Latin-1 letters and symbols
      {u"\u1f00\u1e9e \u2013\u20ac", S_FALSE},    // Greek and Latin extended, punctuation
      {u"\u4e2d\u6587 \u3042\uac00", S_FALSE},    // Han, Hiragana, Hangul
      {u"\U0001F600 ok", S_FALSE},                // an emoji: common, a surrogate pair
      {u"\u03e2", S_OK},                          // Coptic letter in the Greek block
      {u"\u2c80", S_OK},                          // Coptic block, beyond the table
      {u"\u0e01\u0e32", S_OK},                    // Thai
      {u"\u0915\u093f", S_OK},                    // Devanagari
      {u"a\u05d0", S_OK},                         // Hebrew: right to left
      {u"\U00010900", S_OK},                      // Phoenician: right to left, a surrogate pair
      {u"x\u20d7", S_OK},                         // a combining mark beyond the table
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].want, ScriptIsComplex(reinterpret_cast<const WCHAR *>(cases[i].text.data()),
                                             int(cases[i].text.size()), SIC_COMPLEX))
        << "case " << i;
  EXPECT_EQ(S_FALSE, ScriptIsComplex(NXW("abc"), 3, SIC_COMPLEX | SIC_NEUTRAL));
}

TEST(Script, LatinIsOneGlyphPerCharacterWithFontAdvances) {
  SCRIPT_CACHE sc = CacheFor(u"Courier New");
  std::u16string s = u"Plain text";
  auto items = Itemize(s);
  Shaped r = Shape(sc, s, items[0].a);
  ASSERT_EQ(S_OK, r.hr);
  ASSERT_EQ(s.size(), r.glyphs.size());
  for (size_t i = 0; i < s.size(); ++i) {
    EXPECT_EQ(WORD(i), r.clusters[i]);
    EXPECT_TRUE(r.attrs[i].fClusterStart);
    EXPECT_EQ(60, r.advances[i]);  // Courier New at a 100-pixel em
  }
  long height = 0;
  EXPECT_EQ(S_OK, ScriptCacheGetHeight(nullptr, &sc, &height));
  EXPECT_GT(height, 100);
  ScriptFreeCache(&sc);
  EXPECT_EQ(nullptr, sc);
}

TEST(Script, ArabicIsShapedRightToLeft) {
  SCRIPT_CACHE sc = CacheFor(u"DejaVu Sans");
  std::u16string word = u"\u0633\u0644\u0627\u0645";  // salam: joining forms and a lam-alef ligature
  auto items = Itemize(word);
  ASSERT_EQ(1, items[0].a.fRTL);
  Shaped r = Shape(sc, word, items[0].a);
  ASSERT_EQ(S_OK, r.hr);
  ASSERT_FALSE(r.glyphs.empty());
  // Logical order runs right to left over the visual glyph array.
  EXPECT_EQ(WORD(r.glyphs.size() - 1), r.clusters[0]);
  EXPECT_GE(r.clusters[0], r.clusters[3]);
  // Contextual forms: the initial seen differs from the isolated one.
  std::u16string seen = u"\u0633";
  Shaped alone = Shape(sc, seen, items[0].a);
  EXPECT_NE(alone.glyphs[0], r.glyphs.back());
  for (WORD g : r.glyphs) EXPECT_NE(0, g);
  ScriptFreeCache(&sc);
}

TEST(Script, GreekAndCyrillicShapeWithMarks) {
  SCRIPT_CACHE sc = CacheFor(u"DejaVu Sans");
  for (std::u16string s : {std::u16string(u"\u0391\u03B8\u03AE\u03BD\u03B1"), std::u16string(u"\u041C\u043E\u0441\u043A\u0432\u0430")}) {
    auto items = Itemize(s);
    Shaped r = Shape(sc, s, items[0].a);
    ASSERT_EQ(S_OK, r.hr);
    EXPECT_EQ(s.size(), r.glyphs.size());
    for (WORD g : r.glyphs) EXPECT_NE(0, g);
  }
  std::u16string marked = u"e\u0301";  // e + combining acute
  auto items = Itemize(marked);
  Shaped r = Shape(sc, marked, items[0].a);
  ASSERT_EQ(S_OK, r.hr);
  EXPECT_EQ(r.clusters[0], r.clusters[1]);  // one cluster
  if (r.glyphs.size() == 2) {
    EXPECT_TRUE(r.attrs[1].fDiacritic);
    EXPECT_FALSE(r.attrs[1].fClusterStart);
  }
  ScriptFreeCache(&sc);
}

TEST(Script, MarksAreZeroWidthDiacriticsPlacedByOffsets) {
  SCRIPT_CACHE sc = CacheFor(u"DejaVu Sans");
  std::u16string s = u"\u0628\u064E\u0628";  // beh, fatha, beh
  auto items = Itemize(s);
  ASSERT_EQ(1, items[0].a.fRTL);
  int max = 16, n = 0;
  std::vector<WORD> glyphs(16), clusters(s.size());
  std::vector<SCRIPT_VISATTR> attrs(16);
  SCRIPT_ANALYSIS a = items[0].a;
  ASSERT_EQ(S_OK, ScriptShape(nullptr, &sc, W(s), int(s.size()), max, &a, glyphs.data(), clusters.data(),
                              attrs.data(), &n));
  ASSERT_EQ(3, n);
  // Visual order: the second beh, the fatha, the first beh; the fatha shares
  // the first beh's cluster.
  EXPECT_EQ(clusters[0], clusters[1]);
  EXPECT_TRUE(attrs[1].fDiacritic);
  EXPECT_TRUE(attrs[1].fZeroWidth);
  EXPECT_FALSE(attrs[0].fDiacritic);
  std::vector<int> adv(3);
  std::vector<GOFFSET> off(3);
  ABC abc{};
  ASSERT_EQ(S_OK, ScriptPlace(nullptr, &sc, glyphs.data(), n, attrs.data(), &a, adv.data(), off.data(), &abc));
  EXPECT_EQ(0, adv[1]);
  EXPECT_GT(adv[0], 0);
  EXPECT_GT(adv[2], 0);
  EXPECT_NE(0, off[1].du | off[1].dv);  // the mark is moved onto its base
  EXPECT_EQ(adv[0] + adv[2], abc.abcA + int(abc.abcB) + abc.abcC);
  ScriptFreeCache(&sc);
}

TEST(Script, DigitsNextToArabicStayWestern) {
  SCRIPT_CACHE sc = CacheFor(u"DejaVu Sans");
  std::u16string s = u"\u0633\u0644\u0627\u0645 123";
  auto items = Itemize(s);
  ASSERT_GE(items.size(), 3u);
  const SCRIPT_ITEM &digits = items[items.size() - 2];
  ASSERT_EQ(5, digits.iCharPos);
  std::u16string run = s.substr(5);
  Shaped r = Shape(sc, run, digits.a);
  ASSERT_EQ(S_OK, r.hr);
  ASSERT_EQ(3u, r.glyphs.size());
  const auto &font = *static_cast<nx::script::ScriptCacheData *>(sc)->font;
  std::vector<WORD> western = {WORD(font.GlyphIndex(U'1')), WORD(font.GlyphIndex(U'2')), WORD(font.GlyphIndex(U'3'))};
  if (digits.a.fRTL) std::reverse(western.begin(), western.end());
  EXPECT_EQ(western, r.glyphs);
  ScriptFreeCache(&sc);
}

TEST(Script, MissingScriptAndBadArguments) {
  SCRIPT_CACHE sc = CacheFor(u"Courier New");
  std::u16string thai = u"\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35";
  auto items = Itemize(thai);
  Shaped r = Shape(sc, thai, items[0].a);
  EXPECT_EQ(USP_E_SCRIPT_NOT_IN_FONT, r.hr);
  WORD g[2], cl[8];
  SCRIPT_VISATTR va[2];
  int n = 0;
  SCRIPT_ANALYSIS a = items[0].a;
  EXPECT_EQ(E_OUTOFMEMORY, ScriptShape(nullptr, &sc, NXW("abcdef"), 6, 2, &a, g, cl, va, &n));
  EXPECT_EQ(E_INVALIDARG, ScriptShape(nullptr, &sc, nullptr, 6, 2, &a, g, cl, va, &n));
  SCRIPT_CACHE none = nullptr;
  EXPECT_EQ(E_PENDING, ScriptShape(nullptr, &none, NXW("ab"), 2, 2, &a, g, cl, va, &n));
  SCRIPT_FONTPROPERTIES props{};
  props.cBytes = sizeof props;
  ASSERT_EQ(S_OK, ScriptGetFontProperties(nullptr, &sc, &props));
  EXPECT_NE(0, props.wgBlank);
  ABC abc;
  ASSERT_EQ(S_OK, ScriptGetGlyphABCWidth(nullptr, &sc, props.wgBlank, &abc));
  EXPECT_EQ(60, abc.abcA + int(abc.abcB) + abc.abcC);
  ScriptFreeCache(&sc);
}

}  // namespace
