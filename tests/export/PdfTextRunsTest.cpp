// Simple lines of text (left to right, U+0020 .. U+00FF, a font covering
// Basic Latin) skip the string analyser and the run merger; the page they
// give must be the page the general path gives, byte for byte, whatever
// mixture of items comes through, filled, decorated or holding variables. Also: the show operator's adjustments
// where the metafile's advances repeat and change, and the advances kept as
// unit counts.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "export/PdfTestSupport.h"

using namespace nx;
using namespace pdftest;

namespace {

struct TTextCase {
  std::vector<WString> Lines;
  WString Family = u"Arial";
  double Size = 12;
  std::vector<double> Advances;  // none: not from a metafile
  TgtBiDiMode BiDi = bdLeftToRight;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  int32_t Angle = 0;
  TgtBrush Background{bsClear, 0xFFFFFF, nullptr};
};

TTextCase TextCase(std::vector<WString> lines, WString family = u"Arial", double size = 12,
               std::vector<double> advances = {}) {
  TTextCase s;
  s.Lines = std::move(lines);
  s.Family = std::move(family);
  s.Size = size;
  s.Advances = std::move(advances);
  return s;
}

void AddText(TgtPDFEngine &e, const TTextCase &s, double y) {
  auto &t = AddItem<TgtTextItem>(e);
  t.FX = 30;
  t.FY = y;
  for (const WString &line : s.Lines) t.FLines.push_back(line);
  t.FFont.Name = s.Family;
  t.FFont.Size = s.Size;
  t.FFont.PointSize = int32_t(std::lround(s.Size));
  t.FFont.Bold = s.Bold;
  t.FFont.Italic = s.Italic;
  t.FFont.Underline = s.Underline;
  t.FFont.StrikeOut = s.StrikeOut;
  t.FFont.Color = 0x336699;
  t.FRotationAngle = s.Angle;
  t.FBiDiMode = s.BiDi;
  t.FBrush = s.Background;
  if (!s.Advances.empty()) {
    t.FIsFromMetafile = true;
    t.FCharSpaceArray = s.Advances;
  }
}

// The page content of the items drawn the usual way and with every line
// analysed; compression off, fonts referenced.
std::pair<std::string, std::string> BothWays(nxtest::TempDir &dir, const std::vector<TTextCase> &cases) {
  std::string content[2];
  for (int analyse = 0; analyse < 2; ++analyse) {
    const std::string name = analyse ? "analysed" : "usual";
    WriteWithEngine(
        dir.file(name), [&](TgtPDFEngine &e) { e.SetAnalyseEveryLine(analyse != 0); },
        [&](TgtPDFEngine &e) {
          double y = 20;
          for (const TTextCase &s : cases) {
            AddText(e, s, y);
            y += 25.0 * double(std::max<size_t>(1, s.Lines.size()));
          }
        });
    content[analyse] = PageContent(dir.file(name + ".pdf"));
  }
  return {content[0], content[1]};
}

std::vector<double> Even(size_t n, double v) { return std::vector<double>(n, v); }

TEST(PdfTextRuns, SimpleLinesGiveTheGeneralPathsPage) {
  NX_REQUIRE_TOOL("qpdf");
  nxtest::TempDir dir;
  const WString latin = u"Line 7: 4 x Widget type B at 12.50 each \u00E9\u00FC\u00DF (a) \\ [b]";
  std::vector<double> kerned;
  for (size_t i = 0; i < latin.size(); ++i) kerned.push_back(5 + double(i % 7) * 0.73);
  std::vector<double> spaced = Even(latin.size(), 9.6);
  spaced[10] += 40;
  WString longText;
  for (int i = 0; i < 300; ++i) longText += u"Widget " + WString(1, char16_t(u'A' + i % 26)) + u" ";
  std::vector<TTextCase> cases;
  cases.push_back(TextCase({latin}));
  cases.push_back(TextCase({latin}, u"Courier New", 12, Even(latin.size(), 12 * 96.0 / 72 * 0.6)));
  cases.push_back(TextCase({latin}, u"Courier New", 12, spaced));
  cases.push_back(TextCase({latin}, u"Times New Roman", 10.5, kerned));
  cases.push_back(TextCase({u"First line", u"Second \u00C0 line", u"", u"Fourth"}, u"Courier New"));
  cases.push_back(TextCase({u"Bold then italic"}));
  cases.back().Bold = true;
  cases.push_back(TextCase({u"Bold then italic"}));
  cases.back().Italic = true;
  cases.push_back(TextCase({u"Under and struck"}, u"Arial", 14));
  cases.back().Underline = cases.back().StrikeOut = true;
  cases.push_back(TextCase({u"Turned text"}));
  cases.back().Angle = 30;
  cases.push_back(TextCase({u"Not installed"}, u"No Such Family 17"));
  cases.push_back(TextCase({u"Tab\tstop"}, u"Courier New"));
  cases.push_back(TextCase({u"Right to left base, Latin text"}));
  cases.back().BiDi = bdRightToLeft;
  cases.push_back(TextCase({u"\u05E9\u05DC\u05D5\u05DD abc"}));
  cases.back().BiDi = bdRightToLeft;
  cases.push_back(TextCase({u"Mixed \u0391\u03b8\u03ae\u03bd\u03b1 and \u20AC \u2019quotes\u2019"}, u"Times New Roman"));
  cases.push_back(TextCase({u""}));
  cases.push_back(TextCase({longText}, u"Courier New", 9, Even(longText.size(), 7.2)));
  cases.push_back(TextCase({latin}, u"Courier New", 12, Even(latin.size() - 1, 9.6)));  // a count that does not fit
  cases.push_back(TextCase({latin}));  // back to the first font after the others
  const auto [usual, analysed] = BothWays(dir, cases);
  ASSERT_FALSE(usual.empty());
  EXPECT_EQ(usual, analysed);
  // Every item is there: its text object with its colour.
  size_t objects = 0;
  for (size_t at = 0; (at = usual.find("BT\r\n", at)) != std::string::npos; ++at) ++objects;
  EXPECT_GE(objects, cases.size());  // the multi-line item has four lines, one empty; one item is empty
  EXPECT_NE(usual.find("(Widget A Widget B"), std::string::npos);
}

// A run's length places its background and its decorations: the simple
// path, which skips the sum of advances for bare runs, still sums them for
// these, from the metafile's advances and from the font's widths, on single
// and multi-line items, and the bare runs around them stay as they were.
TEST(PdfTextRuns, FilledAndDecoratedSimpleLinesKeepTheirLength) {
  NX_REQUIRE_TOOL("qpdf");
  nxtest::TempDir dir;
  const WString text = u"Total due: 1,234.50 \u00E9 (net)";
  std::vector<double> kerned;
  for (size_t i = 0; i < text.size(); ++i) kerned.push_back(6 + double(i % 5) * 0.61);
  std::vector<TTextCase> cases;
  for (const std::vector<double> &advances : {kerned, std::vector<double>{}}) {
    cases.push_back(TextCase({text}, u"Arial", 11, advances));
    cases.back().Underline = true;
    cases.push_back(TextCase({text}, u"Times New Roman", 13, advances));
    cases.back().StrikeOut = true;
    cases.push_back(TextCase({text}, u"Courier New", 12, advances));
    cases.back().Background = Brush(0xCCEEFF);
    cases.push_back(TextCase({text}, u"Arial", 12, advances));
    cases.back().Background = Brush(0xFFFFFF);  // white: no background
    cases.push_back(TextCase({text}, u"Arial", 12, advances));
    cases.back().Background = Brush(0x00FF00);
    cases.back().Underline = cases.back().StrikeOut = true;
    cases.back().Angle = 45;
    cases.push_back(TextCase({text}, u"Arial", 12, advances));  // bare
  }
  cases.push_back(TextCase({u"One", u"Two \u00C0 two", u"Three three three"}, u"Arial", 10));
  cases.back().Underline = true;
  cases.back().Background = Brush(0x808080);
  const auto [usual, analysed] = BothWays(dir, cases);
  ASSERT_FALSE(usual.empty());
  EXPECT_EQ(usual, analysed);
  // Every decoration is a stroke of some length: not from the pen's start
  // to itself.
  size_t strokes = 0;
  for (size_t at = 0; (at = usual.find(" l S", at)) != std::string::npos; ++at) {
    const size_t m = usual.rfind(" w ", at) + 3;
    const std::string line = usual.substr(m, at - m);  // "x y m x' y'"
    const size_t mid = line.find(" m ");
    ASSERT_NE(mid, std::string::npos) << line;
    EXPECT_NE(line.substr(0, mid), line.substr(mid + 3)) << line;
    ++strokes;
  }
  EXPECT_EQ(strokes, 2u * 4u + 3u);  // 2 x (underline, strike-out, both), the three lines' underlines
  // The backgrounds: three coloured per set of runs, white none, and the
  // multi-line item's lines.
  size_t fills = 0;
  for (size_t at = 0; (at = usual.find(" l f\r\n", at)) != std::string::npos; ++at) ++fills;
  EXPECT_EQ(fills, 2u * 2u + 3u);
}

// Variables open with "<%": wherever the marker falls in the line (the
// search for '%' reads four characters at a time), it is replaced; a '%'
// or "<" on its own stays as it is.
TEST(PdfTextRuns, VariablesFoundWhereverTheyFallInTheLine) {
  NX_REQUIRE_TOOL("qpdf");
  nxtest::TempDir dir;
  std::vector<WString> lines;
  for (size_t lead = 0; lead < 10; ++lead) lines.push_back(WString(lead, u'x') + u"<%Pg#%>y" + WString(lead % 3, u'z'));
  const std::vector<WString> plain = {u"100%", u"%", u"a<b%c", u"%<", u"<", u"50% < 60%", u"abc%"};
  WriteWithEngine(dir.file("vars"), nullptr, [&](TgtPDFEngine &e) {
    double y = 20;
    for (const WString &l : lines) AddText(e, TextCase({l}), y += 20);
    for (const WString &l : plain) AddText(e, TextCase({l}), y += 20);
  });
  const std::string c = PageContent(dir.file("vars.pdf"));
  ASSERT_FALSE(c.empty());
  for (size_t lead = 0; lead < 10; ++lead) {
    const std::string shown = "(" + std::string(lead, 'x') + "1y" + std::string(lead % 3, 'z') + ")";
    EXPECT_NE(c.find(shown), std::string::npos) << shown << "\n" << c;
  }
  EXPECT_EQ(c.find("Pg#"), std::string::npos) << c;
  for (const WString &l : plain) {
    const std::string shown = "(" + std::string(l.begin(), l.end()) + ")";
    EXPECT_NE(c.find(shown), std::string::npos) << shown << "\n" << c;
  }
}

// Where the advances repeat, the adjustment written is the last one's; a
// change of advance or of the font's width gives a new one, and a return
// to the font's width none.
TEST(PdfTextRuns, AdjustmentsFollowEveryChangeOfAdvance) {
  NX_REQUIRE_TOOL("qpdf");
  nxtest::TempDir dir;
  const double w = 12 * 96.0 / 72 * 0.6;  // Courier New's advance at 12 points
  const std::vector<TTextCase> cases = {TextCase({u"AAAAA"}, u"Courier New", 12, {20, 20, w, 20, w}),
                                        TextCase({u"AAAA"}, u"Courier New", 12, {20, 30, 30, 20}),
                                        TextCase({u"iWiW"}, u"Arial", 12, {9, 9, 9, 9})};
  WriteWithEngine(dir.file("adjust"), nullptr, [&](TgtPDFEngine &e) {
    double y = 20;
    for (const TTextCase &s : cases) AddText(e, s, y += 30);
  });
  const std::string c = PageContent(dir.file("adjust.pdf"));
  // (9.6 - 20) / 12 * 1000 * 0.75 = -650, (9.6 - 30) ... = -1275.
  EXPECT_NE(c.find("[(A)-650.0000(A)-650.0000(AA)-650.0000(A)] TJ"), std::string::npos) << c;
  EXPECT_NE(c.find("[(A)-650.0000(A)-1275.0000(A)-1275.0000(A)] TJ"), std::string::npos) << c;
  // One advance, but the widths of i and W differ: the adjustments alternate.
  const size_t at = c.find("[(i)");
  ASSERT_NE(at, std::string::npos) << c;
  const std::string tj = c.substr(at, c.find("] TJ", at) - at);
  const size_t afterI = tj.find(')') + 1, afterW = tj.find(')', afterI) + 1;
  const std::string adjustI = tj.substr(afterI, tj.find('(', afterI) - afterI);
  const std::string adjustW = tj.substr(afterW, tj.find('(', afterW) - afterW);
  EXPECT_NE(adjustI, adjustW) << tj;
  EXPECT_EQ(tj, "[(i)" + adjustI + "(W)" + adjustW + "(i)" + adjustI + "(W)") << tj;
}

uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }

TEST(PdfTextRuns, AdvancesKeptAsUnitCountsReadBackBitForBit) {
  const double scale = 96.0 / 600;  // a 600-dpi page played at 96 dpi
  std::vector<double> whole;
  for (int k : {0, 1, -3, 57, 32767, -32767, 250}) whole.push_back(k * scale);
  TgtAdvances a;
  a.Assign(whole.data(), whole.data() + whole.size(), scale);
  EXPECT_TRUE(a.Compact());
  ASSERT_EQ(a.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(Bits(a[i]), Bits(whole[i])) << i;
  EXPECT_EQ(a, whole);
  // Values that are no unit count of the scale, or too many units, or a
  // scale that cannot be divided by, are kept as they are.
  const std::vector<std::vector<double>> kept = {
      {scale, scale * 2 + 1e-9}, {32768 * scale}, {scale, std::nan("")}, {0.1, 0.2, 0.3}};
  for (const std::vector<double> &v : kept) {
    TgtAdvances b;
    b.Assign(v.data(), v.data() + v.size(), scale);
    EXPECT_FALSE(b.Compact());
    ASSERT_EQ(b.size(), v.size());
    for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(Bits(b[i]), Bits(v[i])) << i;
  }
  for (double bad : {0.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    TgtAdvances c;
    c.Assign(whole.data(), whole.data() + 2, bad);
    EXPECT_FALSE(c.Compact());
    EXPECT_EQ(c, std::vector<double>(whole.begin(), whole.begin() + 2));
  }
  // A zero of the other sign is another value.
  const double negZero[] = {-0.0};
  TgtAdvances z;
  z.Assign(negZero, negZero + 1, scale);
  EXPECT_TRUE(std::signbit(z[0]));
  TgtAdvances empty;
  empty.Assign(whole.data(), whole.data(), scale);
  EXPECT_TRUE(empty.empty());
  EXPECT_FALSE(empty.Compact());
}

// Whether the values are unit counts of scale, found value by value with
// nearbyint: the counts Assign must keep, bit for bit.
bool NearbyintCounts(const std::vector<double> &values, double scale) {
  if (values.empty() || !std::isfinite(scale) || scale == 0) return false;
  for (double v : values) {
    const double k = std::nearbyint(v / scale);
    if (!(std::fabs(k) <= 32767)) return false;
    if (Bits(int16_t(k) * scale) != Bits(v)) return false;
  }
  return true;
}

void ExpectCountsOfNearbyint(const std::vector<double> &values, double scale) {
  TgtAdvances a;
  a.Assign(values.data(), values.data() + values.size(), scale);
  const bool compact = NearbyintCounts(values, scale);
  EXPECT_EQ(a.Compact(), compact) << "scale " << scale << " first " << values.front();
  ASSERT_EQ(a.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(Bits(a[i]), Bits(values[i])) << i << " scale " << scale;
}

TEST(PdfTextRuns, AdvancesFindTheUnitCountsOfNearbyint) {
  // Page scales, a negative one, thirds, the smallest and largest doubles.
  const double scales[] = {96.0 / 600, 96.0 / 1200, 96.0 / 300, -0.16, 1.0 / 3, 0.1, 3,
                           1e-300, 4.9406564584124654e-324, 2.5e-320, 1e300, -7.0 / 9};
  const int counts[] = {0, 1, -1, 2, 3, -3, 57, 1000, -1001, 32766, 32767, -32767, 32768, -32768, 40000};
  for (double scale : scales) {
    for (int k : counts) {
      const double v = k * scale;
      const double inf = std::numeric_limits<double>::infinity();
      // The count itself, a unit either side of it, and half way to the next.
      for (double x : {v, std::nextafter(v, inf), std::nextafter(v, -inf), (k + 0.5) * scale, (k - 0.5) * scale,
                       (k + 0.49999999999999994) * scale, -v})
        ExpectCountsOfNearbyint({x}, scale);
      ExpectCountsOfNearbyint({scale, v, 2 * scale}, scale);
      ExpectCountsOfNearbyint({v, scale, std::nextafter(scale, 0.0)}, scale);
    }
    for (double x : {0.0, -0.0, std::nan(""), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min()})
      ExpectCountsOfNearbyint({x}, scale);
  }
  // Lines of advances as metafiles give them: mostly whole counts, now and
  // then a value the count cannot give.
  std::mt19937 random(20261210);
  std::uniform_int_distribution<int> count(-33000, 33000), pick(0, 19);
  for (int line = 0; line < 2000; ++line) {
    const double scale = scales[size_t(line) % std::size(scales)];
    std::vector<double> values(size_t(1 + line % 40));
    for (double &v : values) {
      v = count(random) * scale;
      if (pick(random) == 0) v = std::nextafter(v, 0.0);
    }
    ExpectCountsOfNearbyint(values, scale);
  }
}

// Assign told each value's count must keep what it keeps when it finds the
// counts itself: the same compactness and the same bits, whether the count
// told is right, wrong, out of range or unknown.
void ExpectKnownCountsAsFound(const std::vector<double> &values, const std::vector<int32_t> &counts, double scale) {
  TgtAdvances found, told;
  found.Assign(values.data(), values.data() + values.size(), scale);
  told.Assign(values.data(), values.data() + values.size(), counts.data(), scale);
  EXPECT_EQ(told.Compact(), found.Compact()) << "scale " << scale << " first " << values.front();
  ASSERT_EQ(told.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(Bits(told[i]), Bits(values[i])) << i << " scale " << scale;
}

TEST(PdfTextRuns, AdvancesToldTheirCountsKeepWhatTheyFind) {
  const double scales[] = {96.0 / 600, 96.0 / 1200, -0.16, 1.0 / 3, 0.1, 3, 1e-300,
                           4.9406564584124654e-324, 2.5e-320, 1e300, 1e305, -7.0 / 9};
  const int32_t unknown = TgtAdvances::kUnknownCount;
  const int32_t counts[] = {0, 1, -1, 3, 57, 1000, -1001, 32766, 32767, -32767, 32768, -32768, 40000, 70000};
  const double inf = std::numeric_limits<double>::infinity();
  for (double scale : scales) {
    for (int32_t k : counts) {
      const double v = k * scale;  // as a Dx step gives it, overflowing at the largest scales
      for (int32_t told : {k, k + 1, k - 1, -k, unknown}) ExpectKnownCountsAsFound({v}, {told}, scale);
      // A value a rounding off its count, or half way to the next.
      ExpectKnownCountsAsFound({std::nextafter(v, inf)}, {k}, scale);
      ExpectKnownCountsAsFound({std::nextafter(v, -inf)}, {k}, scale);
      ExpectKnownCountsAsFound({(k + 0.5) * scale}, {k}, scale);
      // A line whose last count is unknown or wrong after right ones.
      ExpectKnownCountsAsFound({scale, v, 2 * scale}, {1, k, 2}, scale);
      ExpectKnownCountsAsFound({scale, 2 * scale, v + scale}, {1, 2, unknown}, scale);
    }
    // Zeros of both signs, told zero; what no count gives.
    for (double x : {0.0, -0.0, std::nan(""), inf, -inf, std::numeric_limits<double>::denorm_min()})
      ExpectKnownCountsAsFound({x}, {0}, scale);
  }
  // Told counts with an unusable scale keep the values as they are.
  for (double bad : {0.0, std::nan(""), inf}) {
    const std::vector<double> v = {1.0, 2.0};
    TgtAdvances a;
    a.Assign(v.data(), v.data() + 2, std::vector<int32_t>{1, 2}.data(), bad);
    EXPECT_FALSE(a.Compact());
    EXPECT_EQ(a, v);
  }
}

}  // namespace
