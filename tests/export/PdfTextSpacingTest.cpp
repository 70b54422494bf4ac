// Metafile text in a simple font: every character lands where the metafile
// put it. Where the font's own widths already take a character there, the
// show operator carries no adjustment, so characters share one string; a
// page played at the printer's resolution scales both axes alike, so that
// monospaced text drawn at whole-pixel advances needs none at all. The
// positions are read back with pdftotext -bbox.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "export/PdfTestSupport.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"

using namespace nx;
using namespace pdftest;
using nxtest::RunCommand;
using nxtest::ShellQuote;

namespace {

// Left and right of the first word that equals `word`, points; -1 when absent.
std::pair<double, double> WordSpan(const std::string &pdf, const std::string &word) {
  const auto out = RunCommand("pdftotext -bbox " + ShellQuote(pdf) + " -");
  const std::regex re("<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">" + word +
                      "</word>");
  std::smatch m;
  if (!std::regex_search(out.output, m, re)) return {-1, -1};
  return {std::stod(m[1]), std::stod(m[2])};
}

// A metafile text item in 12-point Courier New at (x, y) engine pixels.
TgtTextItem &AddCourier(TgtPDFEngine &e, const std::u16string &text, double x, double y,
                        const std::vector<double> &advances) {
  auto &t = AddItem<TgtTextItem>(e);
  t.FX = x;
  t.FY = y;
  t.FLines = {text};
  t.FFont.Name = u"Courier New";
  t.FFont.Size = 12;
  t.FFont.PointSize = 12;
  t.FIsFromMetafile = true;
  t.FCharSpaceArray = advances;
  return t;
}

constexpr double kCourierAdvance = 12 * 96.0 / 72 * 0.6;  // engine pixels; the page's scale is 1

TEST(PdfTextSpacing, AdjustmentsOnlyWhereTheMetafileDepartsFromTheFont) {
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("pdftotext");
  nxtest::TempDir dir;
  const std::u16string plain = u"Plain (text) \\ here", gapped = u"AAA BBB CCC", apart = u"x y";
  std::vector<double> wide(gapped.size(), kCourierAdvance);
  wide[7] += 48;  // half an inch more after "BBB"
  WriteWithEngine(dir.file("spacing"), nullptr, [&](TgtPDFEngine &e) {
    AddCourier(e, plain, 100, 100, std::vector<double>(plain.size(), kCourierAdvance));
    AddCourier(e, gapped, 100, 200, wide);
    AddCourier(e, apart, 100, 300, {20, 20, 20});  // every step differs from the font
  });
  const std::string pdf = dir.file("spacing.pdf");
  ASSERT_EQ(QpdfCheck(pdf).exitCode, 0);
  const std::string c = PageContent(pdf);
  EXPECT_NE(c.find("(Plain \\(text\\) \\\\ here) Tj"), std::string::npos) << c;
  // (9.6 - 57.6) / 12 * 1000 * 0.75: one number, where the gap is.
  EXPECT_NE(c.find("[(AAA BBB )-3000.0000(CCC)] TJ"), std::string::npos) << c;
  EXPECT_NE(c.find("[(x)-650.0000( )-650.0000(y)] TJ"), std::string::npos) << c;
  // The words where the advances put them: (x + sum of advances) * 0.75 points.
  EXPECT_NEAR(WordSpan(pdf, "here").first, (100 + 15 * kCourierAdvance) * 0.75, 0.01);
  EXPECT_NEAR(WordSpan(pdf, "BBB").first, (100 + 4 * kCourierAdvance) * 0.75, 0.01);
  EXPECT_NEAR(WordSpan(pdf, "CCC").first, (100 + 8 * kCourierAdvance + 48) * 0.75, 0.01);
  EXPECT_NEAR(WordSpan(pdf, "y").first, (100 + 40) * 0.75, 0.01);
}

// The show operator a run of Courier New (600 units every character) must
// get, built the plain way: after each character but the last, the
// adjustment from the font's width to the metafile's advance, printed to
// four decimals and left out where it reads zero.
std::string ExpectedShow(const std::string &text, const std::vector<double> &advances) {
  auto escaped = [](const std::string &s) {
    std::string e;
    for (char c : s) {
      if (c == '(' || c == ')' || c == '\\') e += '\\';
      e += c;
    }
    return e;
  };
  std::string body = "(", piece;
  bool adjusted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    piece += text[i];
    if (i + 1 == text.size()) break;
    const double natural = 600 * (96.0 / 72) * 12 / 1000;
    const double adjust = (natural - advances[i]) / 12 * 1000 * 0.75;
    char number[64];
    std::snprintf(number, sizeof number, "%.4f", adjust);
    if (std::string(number) == "0.0000" || std::string(number) == "-0.0000") continue;
    body += escaped(piece) + ")" + number + "(";
    piece.clear();
    adjusted = true;
  }
  body += escaped(piece) + ")";
  return adjusted ? "[" + body + "] TJ" : body + " Tj";
}

TEST(PdfTextSpacing, ShowOperatorsMatchTheCharacterByCharacterRule) {
  NX_REQUIRE_TOOL("qpdf");
  nxtest::TempDir dir;
  const double a = kCourierAdvance;
  struct TCase {
    std::string text;
    std::vector<double> advances;
  };
  std::vector<TCase> cases;
  // Repeated departures (the same text again), a stretch without any, and
  // escaped characters inside and at the ends of the strings.
  cases.push_back({"ab(cd)ef\\gh", {a, a + 5, a + 5, a, a, a, a - 3.3, a, a, a, a}});
  cases.push_back({"(x)", {a + 1, a + 1, a + 7}});  // the last advance is no adjustment
  // Alternating advances, and one equal to the font's width between them.
  cases.push_back({"ABABABAB", {a + 2, a - 2, a + 2, a - 2, a, a, a + 2, a - 2}});
  // Departures that round to nothing, exactly half way and just above it
  // (0.00005 after scaling by 62.5 is 8e-7 pixels).
  cases.push_back({"tiny1234", {a - 7e-7, a - 8e-7, a - 9e-7, a + 7e-7, a + 8e-7, a + 9e-7, a - 1e-6, a}});
  // Spacing that matches the font throughout, and a one-character run.
  cases.push_back({"plain text", std::vector<double>(10, a)});
  cases.push_back({"z", {a + 4}});
  // Even spacing: the last advance takes the pen nowhere; an even departure
  // that rounds to nothing; an even one that does not.
  cases.push_back({"even", {a, a, a, a + 7}});
  cases.push_back({"tiny even", std::vector<double>(9, a + 7e-7)});
  cases.push_back({"wide even", std::vector<double>(9, a + 1.5)});
  WriteWithEngine(dir.file("show"), nullptr, [&](TgtPDFEngine &e) {
    double y = 100;
    for (const TCase &c : cases) {
      AddCourier(e, std::u16string(c.text.begin(), c.text.end()), 100, y, c.advances);
      y += 50;
    }
  });
  const std::string pdf = dir.file("show.pdf");
  ASSERT_EQ(QpdfCheck(pdf).exitCode, 0);
  const std::string content = PageContent(pdf);
  for (const TCase &c : cases) {
    ASSERT_EQ(c.text.size(), c.advances.size()) << c.text;  // else the advances are not the metafile's
    const std::string want = ExpectedShow(c.text, c.advances);
    EXPECT_NE(content.find("\r\n" + want + "\r\n"), std::string::npos) << want << "\n" << content;
  }
}

// Through the exported interface on printers of several resolutions and
// margins: the line's words lie where the library measured them on the
// printer, and at 600 and 300 dpi, where Courier New's advances are whole
// printer pixels, the text is shown without a single adjustment.
class PdfTextSpacingOnPrinters : public nxtest::SpoolTest, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    const std::string ini = dir_.file("printers.ini");
    std::ofstream(ini) << "[Odd margins]\nResolution = " << GetParam()
                       << "\nPaper = 9, A4, 210x297mm\nMargins = 37, 61, 23, 45\n";
    env_.Set("NOXTREL_PRINTERS", ini);
    ASSERT_EQ(NxInit(), 0);
  }
  void TearDown() override { nx::UnloadLibraryState(); }
};

TEST_P(PdfTextSpacingOnPrinters, LinesLandOnTheirMeasuredWidths) {
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("pdftotext");
  const int dpi = GetParam();
  ASSERT_EQ(NxGetPrinterCaps(LOGPIXELSX), dpi);
  const std::string pdf = dir_.file("lines.pdf");
  NxSetDevice(3);
  NxSetFileName(pdf.c_str());
  NxBeginDoc();
  NxSetFontName("Courier New");
  NxSetFontSize(120000);
  const std::string before = "Line 7: 4 x Widget type B at 12.50 each, order ";
  const std::string line = before + "2026-1007";
  NxTextOut(200000, 200000, line.c_str());
  NxTextOut(200000, 2600000, line.c_str());
  // Where the last word starts, in millimetres from the first.
  const double lastAt = NxGetTextWidth(before.c_str()) / 10000.0;
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0);
  ASSERT_EQ(QpdfCheck(pdf).exitCode, 0);
  const double first = WordSpan(pdf, "Line").first, last = WordSpan(pdf, "2026-1007").first;
  const double mm = 72 / 25.4;
  EXPECT_NEAR(first / mm, 20, 25.4 / dpi);  // on the printer's pixel grid
  EXPECT_NEAR((last - first) / mm, lastAt, 0.01);
  const std::string c = PageContent(pdf);
  if (dpi == 600 || dpi == 300) {
    EXPECT_EQ(c.find("TJ"), std::string::npos) << c;
    // One size for x and y: 12 points, written whole.
    EXPECT_NE(c.find("/F0 12 Tf"), std::string::npos) << c;
  } else {
    // A fractional size without the transform's float noise: the shortest
    // text of its single-precision value.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(c, m, std::regex("/F0 ([0-9.]+) Tf"))) << c;
    const std::string size = m[1];
    const float f = std::strtof(size.c_str(), nullptr);
    char shortest[32];
    const auto r = std::to_chars(shortest, shortest + sizeof shortest, f, std::chars_format::fixed);
    EXPECT_EQ(size, std::string(shortest, r.ptr));
    EXPECT_NEAR(f, 12.0, 72.0 / dpi) << "the em on the printer's pixel grid";
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PdfTextSpacingOnPrinters, testing::Values(600, 300, 203));

}  // namespace
