#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/text/DrawTextLayout.h"

using nx::text::LayoutDrawText;

namespace {

// Every character is 10 pixels wide: widths are easy to reason about.
void Mono(const WCHAR *, size_t n, int *out) {
  for (size_t i = 0; i < n; ++i) out[i] = 10;
}

constexpr UINT kBox = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;

std::vector<std::u16string> Lines(const std::u16string &text, RECT rc, UINT flags, int lh = 12) {
  auto layout = LayoutDrawText(reinterpret_cast<const WCHAR *>(text.data()), text.size(), rc, flags, lh, Mono);
  std::vector<std::u16string> out;
  for (auto &l : layout.lines) out.push_back(l.text);
  return out;
}

using V = std::vector<std::u16string>;

TEST(DrawTextLayout, BreaksBetweenWordsKeepingTheSpaceOnLeftLines) {
  EXPECT_EQ((V{u"aaa ", u"bbb ", u"ccc"}), Lines(u"aaa bbb ccc", {0, 0, 50, 100}, kBox));
  // Right aligned lines drop the space at the break.
  EXPECT_EQ((V{u"aaa", u"bbb", u"ccc"}), Lines(u"aaa bbb ccc", {0, 0, 50, 100}, kBox | DT_RIGHT));
  // Exactly one space is skipped at a break; a further one begins the next
  // line, where it is itself the last break opportunity before "bbb".
  EXPECT_EQ((V{u"aaa", u" ", u"bbb"}), Lines(u"aaa  bbb", {0, 0, 30, 100}, kBox));
}

TEST(DrawTextLayout, NewlinesInAllTheirForms) {
  EXPECT_EQ((V{u"a", u"b", u"c", u"d", u"", u"e"}), Lines(u"a\r\nb\n\rc\rd\n\ne", {0, 0, 100, 200}, kBox));
  EXPECT_EQ((V{u"a"}), Lines(u"a\r\n", {0, 0, 100, 200}, kBox));
}

TEST(DrawTextLayout, LongWordIsCutWithEditControlOnly) {
  EXPECT_EQ((V{u"abc", u"def", u"g"}), Lines(u"abcdefg", {0, 0, 35, 100}, kBox));
  // Without DT_EDITCONTROL the word overflows and the clip cuts it.
  EXPECT_EQ((V{u"abcdefg"}), Lines(u"abcdefg", {0, 0, 35, 100}, DT_WORDBREAK | DT_NOPREFIX));
  // A rectangle narrower than one character still advances.
  EXPECT_EQ((V{u"a", u"b"}), Lines(u"ab", {0, 0, 5, 100}, DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL));
}

TEST(DrawTextLayout, NoPartlyVisibleLineAndEllipsisOnTheLastOne) {
  // Two full lines of 12 fit in 30; the third would be cut, so it is left
  // out and the second line ends with an ellipsis.
  EXPECT_EQ((V{u"aaa ", u"bb..."}), Lines(u"aaa bbb ccc", {0, 0, 50, 30}, kBox));
  // Not even "..." fits: the dots alone.
  EXPECT_EQ((V{u"..."}), Lines(u"abcdef", {0, 0, 20, 12}, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS));
  EXPECT_EQ((V{u"ab..."}), Lines(u"abcdefgh", {0, 0, 55, 12}, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS));
  // The first line is drawn even when it does not fit vertically.
  EXPECT_EQ((V{u"abc"}), Lines(u"abc", {0, 0, 100, 5}, kBox));
}

TEST(DrawTextLayout, PositionsAndCalcRect) {
  std::u16string t = u"ab cd";
  auto centred = LayoutDrawText(reinterpret_cast<const WCHAR *>(t.data()), t.size(), {10, 20, 110, 100},
                                kBox | DT_CENTER, 12, Mono);
  ASSERT_EQ(1u, centred.lines.size());
  EXPECT_EQ(35, centred.lines[0].x);  // (10 + 110 - 50) / 2
  EXPECT_EQ(20, centred.lines[0].y);
  EXPECT_EQ(12, centred.height);
  auto calc = LayoutDrawText(reinterpret_cast<const WCHAR *>(t.data()), t.size(), {10, 20, 40, 21},
                             kBox | DT_CALCRECT, 12, Mono);
  EXPECT_TRUE(calc.lines.empty());
  EXPECT_EQ(40, calc.calcRect.right);   // widest line "ab " is 30
  EXPECT_EQ(44, calc.calcRect.bottom);  // CALCRECT never clips: two lines
  EXPECT_EQ(24, calc.height);
}

TEST(DrawTextLayout, PrefixesAndEmptyText) {
  EXPECT_EQ((V{u"Save & go"}), Lines(u"&Save && go", {0, 0, 200, 20}, DT_SINGLELINE));
  EXPECT_EQ((V{u"&Save && go"}), Lines(u"&Save && go", {0, 0, 200, 20}, DT_SINGLELINE | DT_NOPREFIX));
  auto empty = LayoutDrawText(nullptr, 5, {0, 0, 10, 10}, kBox, 12, Mono);
  EXPECT_TRUE(empty.lines.empty());
  EXPECT_EQ(0, empty.height);
}

}  // namespace

namespace {

// A long paragraph is measured once, not once per line: the characters
// handed to the measuring function stay in proportion to the text.
TEST(DrawTextLayout, ALongParagraphIsMeasuredInLinearTime) {
  std::u16string text;
  for (int i = 0; i < 20000; ++i) text += u"word ";
  size_t measured = 0;
  auto counting = [&](const WCHAR *, size_t n, int *out) {
    measured += n;
    for (size_t i = 0; i < n; ++i) out[i] = 10;
  };
  for (UINT flags : {kBox | DT_NOCLIP, kBox | DT_CALCRECT, UINT(DT_WORDBREAK | DT_NOPREFIX | DT_NOCLIP)}) {
    measured = 0;
    auto layout = LayoutDrawText(reinterpret_cast<const WCHAR *>(text.data()), text.size(), {0, 0, 300, 100},
                                 flags, 12, counting);
    if (!(flags & DT_CALCRECT)) {
      EXPECT_EQ(layout.lines.size(), 20000u / 6 + 1) << flags;
    }
    EXPECT_EQ(layout.calcRect.bottom, (flags & DT_CALCRECT) ? int(12 * (20000 / 6 + 1)) : 100) << flags;
    EXPECT_LT(measured, 4 * text.size()) << flags;
  }
}

// Advances of a proportional font: narrow i and space, wide m and W.
void Proportional(const WCHAR *s, size_t n, int *out) {
  for (size_t i = 0; i < n; ++i) {
    switch (s[i]) {
      case u'i': out[i] = 4; break;
      case u' ': out[i] = 5; break;
      case u'm': case u'W': out[i] = 14; break;
      default: out[i] = 9;
    }
  }
}

std::u16string NonBlank(const std::u16string &s) {
  std::u16string out;
  for (char16_t c : s)
    if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') out += c;
  return out;
}

int Width(const std::u16string &s) {
  std::vector<int> adv(s.size());
  if (!s.empty()) Proportional(reinterpret_cast<const WCHAR *>(s.data()), s.size(), adv.data());
  int w = 0;
  for (int a : adv) w += a;
  return w;
}

// Random texts of words, spaces, tabs and line breaks in boxes of random
// widths: without clipping every visible character comes out once and in
// order, and no line is wider than the box; with clipping the lines are the
// first of those, the last one perhaps with an ellipsis. The seed and the
// rounds can be raised with NX_TEXT_FUZZ_SEED and NX_TEXT_FUZZ_ROUNDS.
TEST(DrawTextLayout, ShortFuzz) {
  auto env = [](const char *name, unsigned fallback) {
    const char *v = std::getenv(name);
    return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : fallback;
  };
  std::mt19937 rng(env("NX_TEXT_FUZZ_SEED", 14));
  const unsigned rounds = env("NX_TEXT_FUZZ_ROUNDS", 400);
  static const char16_t pieces[][6] = {u"i", u"m", u"W", u"ab", u" ", u"  ", u"\t", u"\r\n", u"\n", u"\r",
                                       u"word", u"imim", u"mmmmm"};
  for (unsigned round = 0; round < rounds; ++round) {
    std::u16string text;
    const size_t n = rng() % 60;
    for (size_t i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
    const LONG width = 14 + static_cast<LONG>(rng() % 120), height = static_cast<LONG>(rng() % 80);
    const UINT align = (rng() % 3 == 0) ? DT_RIGHT : (rng() % 2 ? DT_CENTER : 0);
    SCOPED_TRACE(::testing::Message() << "round " << round << " width " << width << " align " << align);
    auto lay = [&](UINT flags) {
      return LayoutDrawText(reinterpret_cast<const WCHAR *>(text.data()), text.size(), {0, 0, width, height},
                            flags | align, 12, Proportional);
    };
    auto all = lay(DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_NOCLIP);
    std::u16string joined;
    for (const auto &l : all.lines) {
      joined += l.text;
      EXPECT_LE(Width(l.text), width) << std::string(l.text.begin(), l.text.end());
    }
    EXPECT_EQ(NonBlank(joined), NonBlank(text));
    auto clipped = lay(kBox);
    ASSERT_LE(clipped.lines.size(), std::max<size_t>(all.lines.size(), 1));
    for (size_t i = 0; i + 1 < clipped.lines.size(); ++i) EXPECT_EQ(clipped.lines[i].text, all.lines[i].text);
    for (const auto &l : clipped.lines) EXPECT_LE(l.y + 11, std::max<LONG>(height, 11)) << "no partly visible line";
  }
}

}  // namespace
