// Fonts of PDF files, judged by poppler, qpdf and fontTools: referenced,
// embedded whole, embedded as a subset, and families excluded from
// embedding; the text stays extractable and every embedded file loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "export/PdfTestSupport.h"

using namespace nx;
using namespace pdftest;
using nxtest::RunCommand;
using nxtest::ShellQuote;

namespace {

void AddText(TgtPDFEngine &e, const std::u16string &text, double y, double size, const std::u16string &family) {
  auto &t = AddItem<TgtTextItem>(e);
  t.FX = 40;
  t.FY = y;
  t.FLines = {text};
  t.FFont.Name = family;
  t.FFont.Size = size;
  t.FFont.PointSize = static_cast<int32_t>(size);
}

// Extracts the embedded font files with mutool into dir and returns, per
// file, its size and what FreeType (through fc-scan) makes of it: family
// and the characters it covers.
std::vector<std::pair<long, std::string>> ExtractedFonts(const std::string &pdf, const std::string &dir) {
  RunCommand("mkdir -p " + ShellQuote(dir) + " && cd " + ShellQuote(dir) + " && mutool extract " + ShellQuote(pdf));
  std::vector<std::pair<long, std::string>> fonts;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".ttf") continue;
    const auto scan = RunCommand("fc-scan --format '%{family} %{charset}' " + ShellQuote(entry.path().string()));
    fonts.emplace_back(static_cast<long>(entry.file_size()), scan.output);
  }
  return fonts;
}

class PdfFontEmbedTest : public ::testing::Test {
 protected:
  std::string Write(const std::string &name, TgtTTFontEmbedding mode, std::vector<WString> exclude = {}) {
    WriteWithEngine(
        Path(name),
        [&](TgtPDFEngine &e) {
          e.Preferences().FEmbedTrueTypeFonts = mode;
          e.FontEmbedExcludeList() = exclude;
          e.Compression().Enabled = true;
        },
        [](TgtPDFEngine &e) {
          AddText(e, u"Hello Wörld façade", 100, 12, u"Arial");
          AddText(e, u"Zebra", 140, 10, u"Times New Roman");
        });
    return Path(name + ".pdf");
  }
  std::string Path(const std::string &name) const { return dir_.file(name); }
  nxtest::TempDir dir_;
};

TEST_F(PdfFontEmbedTest, EachModeGivesTheExpectedFontsAndText) {
  NX_REQUIRE_TOOL("pdffonts");
  NX_REQUIRE_TOOL("qpdf");
  struct Case {
    const char *name;
    TgtTTFontEmbedding mode;
    std::vector<WString> exclude;
    const char *arialEmb, *arialSub, *timesEmb;
  };
  const std::vector<Case> cases = {{"none", etfNone, {}, "no", "no", "no"},
                                   {"full", etfFull, {}, "yes", "no", "yes"},
                                   {"subset", etfSubset, {}, "yes", "yes", "yes"},
                                   {"excluded", etfSubset, {u"arial"}, "no", "no", "yes"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.mode, c.exclude);
    EXPECT_EQ(QpdfCheck(path).exitCode, 0) << QpdfCheck(path).output;
    const auto rows = FontRows(path);
    ASSERT_EQ(rows.size(), 2u) << RunCommand("pdffonts " + path).output;
    const bool tagged = std::string(c.arialSub) == "yes";
    EXPECT_TRUE(std::regex_match(rows[0][0], std::regex(tagged ? "[A-Z]{6}\\+Arial" : "Arial"))) << rows[0][0];
    EXPECT_EQ(rows[0][1], "TrueType");
    EXPECT_EQ(rows[0][2], "WinAnsi");
    EXPECT_EQ(rows[0][3], c.arialEmb);
    EXPECT_EQ(rows[0][4], c.arialSub);
    EXPECT_EQ(rows[1][3], c.timesEmb);
    const std::string text = RunCommand("pdftotext -enc UTF-8 " + path + " -").output;
    EXPECT_NE(text.find("Hello Wörld façade"), std::string::npos) << text;
    EXPECT_NE(text.find("Zebra"), std::string::npos) << text;
  }
}

TEST_F(PdfFontEmbedTest, EmbeddedFilesLoadAndSubsetsAreSmaller) {
  NX_REQUIRE_TOOL("mutool");
  NX_REQUIRE_TOOL("fc-scan");
  const auto full = ExtractedFonts(Write("full", etfFull), Path("full-fonts"));
  const auto subset = ExtractedFonts(Write("subset", etfSubset), Path("subset-fonts"));
  ASSERT_EQ(full.size(), 2u);
  ASSERT_EQ(subset.size(), 2u);
  long fullTotal = 0, subsetTotal = 0;
  for (const auto &[size, scan] : full) {
    fullTotal += size;
    EXPECT_TRUE(scan.find("Liberation Sans") == 0 || scan.find("Liberation Serif") == 0) << scan;
  }
  for (const auto &[size, scan] : subset) {
    // A subset has no naming table; FreeType must still read it and its cmap.
    subsetTotal += size;
    EXPECT_NE(scan.find(" 20-7e a0-"), std::string::npos) << scan;
  }
  EXPECT_LT(subsetTotal * 10, fullTotal);
}

// A subset holds the very glyphs and hinting of the whole font, so the pages
// must be the same pixel for pixel, and both must show text.
TEST_F(PdfFontEmbedTest, SubsetPagesRenderAsFullyEmbeddedOnes) {
  NX_REQUIRE_TOOL("pdftoppm");
  std::vector<unsigned char> pages[3];
  const TgtTTFontEmbedding modes[3] = {etfNone, etfFull, etfSubset};
  for (int i = 0; i < 3; ++i) {
    const std::string name = "render" + std::to_string(i);
    RunCommand("pdftoppm -r 96 -gray " + ShellQuote(Write(name, modes[i])) + " " + ShellQuote(Path(name)));
    pages[i] = nxtest::ReadFileBytes(Path(name + "-1.pgm"));
  }
  ASSERT_GT(pages[1].size(), 1000u);
  EXPECT_TRUE(pages[1] == pages[2]);
  const long dark = std::count_if(pages[2].begin() + 20, pages[2].end(), [](unsigned char v) { return v < 128; });
  EXPECT_GT(dark, 200);
}

TEST_F(PdfFontEmbedTest, SubsetTagsDifferPerSubsetAndRepeatPerDocument) {
  NX_REQUIRE_TOOL("pdffonts");
  auto draw = [](TgtPDFEngine &e) {
    AddText(e, u"Hello", 100, 10, u"Arial");
    AddText(e, u"World", 140, 12, u"Arial");
  };
  auto write = [&](const std::string &name) {
    WriteWithEngine(Path(name), [](TgtPDFEngine &e) { e.Preferences().FEmbedTrueTypeFonts = etfSubset; }, draw);
    return FontRows(Path(name + ".pdf"));
  };
  const auto first = write("one"), second = write("two");
  ASSERT_EQ(first.size(), 2u);
  EXPECT_NE(first[0][0], first[1][0]);
  EXPECT_EQ(first[0][0].substr(7), "Arial");
  EXPECT_EQ(first[0][0], second[0][0]);
  EXPECT_EQ(first[1][0], second[1][0]);
}

}  // namespace
