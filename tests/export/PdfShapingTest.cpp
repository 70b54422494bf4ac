// Text beyond Windows-1252 in PDF files: a page metafile with Latin, Greek,
// Cyrillic, Arabic and Chinese lines, played into the PDF engine. Poppler
// must give back exactly the text, list composite (CID TrueType) fonts for
// the shaped runs, qpdf must find the file sound, and the rendered page must
// show the glyphs where emfrender draws the metafile.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <set>

#include "common/Strings.h"
#include "export/PdfTestSupport.h"

using namespace nx;
using namespace pdftest;
using nxtest::RunCommand;
using nxtest::ShellQuote;

namespace {

struct TLine {
  const char16_t *family;
  std::u16string text;
  bool rtl;
};

bool HaveChineseFont() { return RunCommand("fc-list :lang=zh family").output.find("WenQuanYi") != std::string::npos; }

// The lines of the page; the Chinese one only when a font has the characters.
std::vector<TLine> Lines() {
  std::vector<TLine> lines = {
      {u"DejaVu Sans", u"Total \u03a3\u03cd\u03bd\u03bf\u03bb\u03bf \u0418\u0442\u043e\u0433\u043e 12,50", false},
      {u"DejaVu Sans", u"\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645", true},
      {u"Arial", u"Caf\u00e9 \u0391\u03b8\u03ae\u03bd\u03b1", false},
  };
  if (HaveChineseFont()) lines.push_back({u"WenQuanYi Zen Hei", u"\u5408\u8ba1\u91d1\u989d", false});
  return lines;
}

std::string Utf8(const std::u16string &w) { return WideToAnsi(w, CP_UTF8); }

// An A4 page metafile recorded on the screen DC, one line every 60 pixels.
HENHMETAFILE Page() {
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  SetBkMode(dc, TRANSPARENT);
  // On the baseline, so that the line positions are the reference points;
  // the other alignments are checked beside emfrender elsewhere.
  SetTextAlign(dc, TA_BASELINE);
  int y = 70;
  for (const TLine &l : Lines()) {
    LOGFONTW lf{};
    lf.lfHeight = -32;
    std::copy(l.family, l.family + std::char_traits<char16_t>::length(l.family), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    ExtTextOutW(dc, 40, y, l.rtl ? ETO_RTLREADING : 0, nullptr, reinterpret_cast<const WCHAR *>(l.text.c_str()),
                UINT(l.text.size()), nullptr);
    SelectObject(dc, old);
    DeleteObject(font);
    y += 60;
  }
  return CloseEnhMetaFile(dc);
}

class PdfShapingTest : public ::testing::Test {
 protected:
  // Writes the page as name.pdf (fonts as a subset) and name.emf.
  std::string Write(const std::string &name) {
    const std::string pdf = dir_.file(name + ".pdf");
    WriteWithEngine(
        dir_.file(name), [](TgtPDFEngine &e) { e.Preferences().FEmbedTrueTypeFonts = etfSubset; },
        [&](TgtPDFEngine &e) {
          HENHMETAFILE page = Page();
          e.PlayMetafile(TgtRect{0, 0, e.Page().Width(), e.Page().Height()}, page);
          const std::string path = dir_.file(name + ".emf");
          const std::u16string emf(path.begin(), path.end());
          DeleteEnhMetaFile(CopyEnhMetaFileW(page, reinterpret_cast<const WCHAR *>(emf.c_str())));
          DeleteEnhMetaFile(page);
        });
    // NX_KEEP_PNG names a folder that keeps the files for a look.
    if (const char *keep = std::getenv("NX_KEEP_PNG"))
      for (const std::string ext : {".pdf", ".emf"})
        std::filesystem::copy_file(dir_.file(name + ext), std::string(keep) + "/shaping-" + name + ext,
                                   std::filesystem::copy_options::overwrite_existing);
    return pdf;
  }
  nxtest::TempDir dir_;
};

TEST_F(PdfShapingTest, TextComesBackExactlyFromCompositeFonts) {
  NX_REQUIRE_TOOL("pdftotext");
  NX_REQUIRE_TOOL("qpdf");
  const std::string pdf = Write("mixed");
  const auto check = QpdfCheck(pdf);
  EXPECT_EQ(check.exitCode, 0) << check.output;
  // Every line, in logical order, nothing else. Poppler brackets
  // right-to-left text with U+202B .. U+202C and ends paragraphs with an
  // empty line; neither is ours.
  std::string text = RunCommand("pdftotext " + ShellQuote(pdf) + " -").output;
  for (const char *mark : {"\u202b", "\u202c", "\f"})
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.erase(at, std::strlen(mark));
  for (size_t at; (at = text.find("\n\n")) != std::string::npos;) text.erase(at, 1);
  std::string want;
  for (const TLine &l : Lines()) want += Utf8(l.text) + "\n";
  EXPECT_EQ(text, want);
  // Shaped runs in composite fonts: embedded subsets with a ToUnicode map.
  const auto fonts = RunCommand("pdffonts " + ShellQuote(pdf));
  std::smatch m;
  std::string rest = fonts.output;
  int composite = 0;
  static const std::regex row(R"(([A-Z]{6}\+)?(\S+)\s+CID TrueType\s+Identity-H\s+(yes|no)\s+(yes|no)\s+(yes|no))");
  std::set<std::string> families;
  while (std::regex_search(rest, m, row)) {
    ++composite;
    families.insert(m[2]);
    EXPECT_EQ(m[3], "yes") << fonts.output;
    EXPECT_EQ(m[4], "yes") << fonts.output;
    EXPECT_EQ(m[5], "yes") << fonts.output;
    rest = m.suffix();
  }
  EXPECT_TRUE(families.count("DejaVuSans")) << fonts.output;
  EXPECT_TRUE(families.count("Arial")) << fonts.output;
  if (HaveChineseFont()) {
    EXPECT_TRUE(families.count("WenQuanYiZenHei")) << fonts.output;
  }
  // The simple run "Total " and "Café " stay simple TrueType fonts.
  EXPECT_TRUE(std::regex_search(fonts.output, std::regex(R"(DejaVuSans\s+TrueType\s+WinAnsi)"))) << fonts.output;
  // Composite runs are hex strings of four-digit glyph identifiers.
  const std::string content = PageContent(pdf);
  EXPECT_TRUE(std::regex_search(content, std::regex(R"(<([0-9A-F]{4})+> Tj|\[<([0-9A-F]{4})+>)"))) << content;
}

TEST_F(PdfShapingTest, GlyphsLandWhereTheMetafileDrawsThem) {
  NX_REQUIRE_TOOL("pdftoppm");
  NX_REQUIRE_TOOL("compare");
  const auto emfrender = nxtest::BinaryDir() / "emfrender";
  if (!std::filesystem::exists(emfrender)) GTEST_SKIP() << "emfrender is not built";
  const std::string pdf = Write("pixels");
  const std::string emfPng = dir_.file("emf.png"), pdfPng = dir_.file("pdf");
  RunCommand(ShellQuote(emfrender.string()) + " " + ShellQuote(dir_.file("pixels.emf")) + " " + ShellQuote(emfPng));
  RunCommand("pdftoppm -r 96 -singlefile -png " + ShellQuote(pdf) + " " + ShellQuote(pdfPng));
  if (const char *keep = std::getenv("NX_KEEP_PNG")) {
    std::filesystem::copy_file(emfPng, std::string(keep) + "/shaping-emf.png",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(pdfPng + ".png", std::string(keep) + "/shaping-pdf.png",
                               std::filesystem::copy_options::overwrite_existing);
  }
  // Each line's band: the ink's left and right edges agree within two
  // pixels, and the bands differ little pixel by pixel.
  for (size_t i = 0; i < Lines().size(); ++i) {
    SCOPED_TRACE(Utf8(Lines()[i].text));
    const std::string crop = " -crop 700x60+0+" + std::to_string(30 + 60 * i) + " +repage";
    auto trim = [&](const std::string &png) {
      return RunCommand("convert " + ShellQuote(png) + crop + " -colorspace gray -threshold 60% -negate -trim info:-")
          .output;
    };
    static const std::regex geometry(R"((\d+)x(\d+) \d+x\d+\+(\d+)\+(\d+))");
    std::smatch a, b;
    const std::string ea = trim(emfPng), pa = trim(pdfPng + ".png");
    ASSERT_TRUE(std::regex_search(ea, a, geometry)) << ea;
    ASSERT_TRUE(std::regex_search(pa, b, geometry)) << pa;
    const int left[2] = {std::stoi(a[3]), std::stoi(b[3])}, width[2] = {std::stoi(a[1]), std::stoi(b[1])};
    EXPECT_NEAR(left[0], left[1], 2) << ea << " / " << pa;
    EXPECT_NEAR(left[0] + width[0], left[1] + width[1], 3) << ea << " / " << pa;
    EXPECT_NEAR(std::stoi(a[4]), std::stoi(b[4]), 2) << ea << " / " << pa;
  }
}

}  // namespace

namespace {

TEST_F(PdfShapingTest, CharactersTheFontLacksComeFromAFallbackFont) {
  NX_REQUIRE_TOOL("pdftotext");
  const std::string pdf = dir_.file("fallback.pdf");
  // Arial's stand-in has Greek but no Arabic: the Arabic word is written in
  // a font that has it, the rest stays in Arial.
  WriteWithEngine(
      dir_.file("fallback"), [](TgtPDFEngine &e) { e.Preferences().FEmbedTrueTypeFonts = etfSubset; },
      [](TgtPDFEngine &e) {
        auto &t = AddItem<TgtTextItem>(e);
        t.FX = 40;
        t.FY = 100;
        t.FLines = {u"\u0391\u03b8\u03ae\u03bd\u03b1 \u0645\u0631\u062d\u0628\u0627"};
        t.FFont.Name = u"Arial";
        t.FFont.Size = 14;
        t.FFont.PointSize = 14;
      });
  EXPECT_EQ(QpdfCheck(pdf).exitCode, 0);
  std::string text = RunCommand("pdftotext " + ShellQuote(pdf) + " -").output;
  for (const char *mark : {"\u202b", "\u202c", "\f", "\n"})
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.erase(at, std::strlen(mark));
  EXPECT_EQ(text, Utf8(u"\u0391\u03b8\u03ae\u03bd\u03b1 \u0645\u0631\u062d\u0628\u0627"));
  const std::string fonts = RunCommand("pdffonts " + ShellQuote(pdf)).output;
  EXPECT_TRUE(std::regex_search(fonts, std::regex(R"(\+Arial\s+CID TrueType\s+Identity-H\s+yes\s+yes\s+yes)")))
      << fonts;
  EXPECT_TRUE(std::regex_search(fonts, std::regex(R"(\+DejaVuSans\s+CID TrueType\s+Identity-H\s+yes\s+yes\s+yes)")))
      << fonts;
}

}  // namespace
