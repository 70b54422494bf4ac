#include <gtest/gtest.h>

#include <string>

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
