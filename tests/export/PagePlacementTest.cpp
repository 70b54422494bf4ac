// Where the exported pages put what was drawn: a page metafile covers the
// printer's printable area, so every output must place it at the printer's
// margins on the sheet, at its own size. Positions are read back by readers
// we did not write (pdftotext -bbox, ImageMagick, LibreOffice) on a printer
// whose four margins differ.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"
#include "support/TestSupport.h"

namespace {

using nxtest::RunCommand;
using nxtest::ShellQuote;

constexpr double kPointsPerMm = 72 / 25.4;

// A word's box on a PDF page, in millimetres from the sheet's top-left corner.
struct TWordBox {
  double Left = -1, Top = -1, Right = -1, Bottom = -1;
};

// The box pdftotext -bbox gives the first word that equals `word`.
TWordBox WordBox(const std::string &pdf, const std::string &word) {
  const auto out = RunCommand("pdftotext -bbox " + ShellQuote(pdf) + " -");
  const std::regex re("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">" + word +
                      "</word>");
  std::smatch m;
  TWordBox box;
  if (std::regex_search(out.output, m, re))
    box = {std::stod(m[1]) / kPointsPerMm, std::stod(m[2]) / kPointsPerMm, std::stod(m[3]) / kPointsPerMm,
           std::stod(m[4]) / kPointsPerMm};
  return box;
}

class PagePlacement : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    // Margins left 150, top 300, right 100, bottom 200 pixels at 600 dpi:
    // 6.35 mm, 12.7 mm, 4.23 mm and 8.47 mm. Paper 300 is a label.
    const std::string ini = dir_.file("printers.ini");
    std::ofstream(ini) << "[Margins 600]\nResolution = 600\nPaper = 9, A4, 210x297mm\n"
                          "Paper = 300, Label, 100x60mm\nMargins = 150, 300, 100, 200\n";
    env_.Set("NOXTREL_PRINTERS", ini);
    ASSERT_EQ(NxInit(), 0);
    ASSERT_EQ(NxGetPrinterCaps(PHYSICALOFFSETX), 150);
    ASSERT_EQ(NxGetPrinterCaps(PHYSICALOFFSETY), 300);
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  std::string Begin(int device, const std::string &name) {
    NxSetDevice(device);
    const std::string path = dir_.file(name);
    NxSetFileName(path.c_str());
    NxBeginDoc();
    return path;
  }
  static std::string ErrorText() {
    char buf[512];
    NxGetLastErrorText(buf, sizeof buf);
    return buf;
  }
  // Two words in 12-point Arial, at positions in millimetres (the default
  // unit); the size of "Alpha" in millimetres as the library measures it.
  static void DrawWords(double *width, double *height) {
    NxSetFontName("Arial");
    NxSetFontSize(120000);
    NxTextOut(300000, 500000, "Alpha");
    NxTextOut(1500000, 2500000, "Omega");
    *width = NxGetTextWidth("Alpha") / 10000.0;
    *height = NxGetTextHeight("Alpha") / 10000.0;
  }
};

// pdftotext's box starts where the text starts and ends where its advance
// ends; its bottom is the font's descent below the baseline, the bottom of
// the text cell drawn from (x, y). The top follows the reader's own ascent,
// so the cell's bottom is the vertical check.
TEST_F(PagePlacement, PdfTextLandsWhereItWasDrawnOnTheSheet) {
  NX_REQUIRE_TOOL("pdftotext");
  const std::string pdf = Begin(3, "words.pdf");
  double w = 0, h = 0;
  DrawWords(&w, &h);
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  ASSERT_GT(w, 10);
  const TWordBox alpha = WordBox(pdf, "Alpha"), omega = WordBox(pdf, "Omega");
  EXPECT_NEAR(alpha.Left, 30, 0.5);
  EXPECT_NEAR(alpha.Right, 30 + w, 0.5);  // its own size, not stretched by the margins
  // The cell's bottom within 0.2 mm: the baseline lies the font's ascent
  // below the top, as GDI puts it (one em down, it sat 0.38 mm too low).
  EXPECT_NEAR(alpha.Bottom, 50 + h, 0.2);
  EXPECT_NEAR(omega.Left, 150, 0.5);
  EXPECT_NEAR(omega.Bottom, 250 + h, 0.2);
}

// A label paper the engines' table lacks: the PDF page is the label's sheet
// (100 x 60 mm), with the drawing at its place on it.
TEST_F(PagePlacement, PdfPageOfAPaperOutsideTheTableIsThePrintersSheet) {
  NX_REQUIRE_TOOL("pdfinfo");
  NxSetPageSize(300);
  const std::string pdf = Begin(3, "label.pdf");
  NxSetFontName("Arial");
  NxSetFontSize(100000);
  NxTextOut(200000, 300000, "Label");
  const double h = NxGetTextHeight("Label") / 10000.0;
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  const auto info = RunCommand("pdfinfo " + ShellQuote(pdf));
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Page size:\\s+283\\.4\\d* x 170\\.0\\d* pts"))) << info.output;
  const TWordBox label = WordBox(pdf, "Label");
  EXPECT_NEAR(label.Left, 20, 0.5);
  EXPECT_NEAR(label.Bottom, 30 + h, 0.5);
}

// A black box from (30, 50) to (80, 70) mm on a JPEG page of 96 pixels an
// inch: its first dark pixels sit 113.4 and 189.0 pixels from the sheet's
// corner, and it keeps its size of 189 x 75.6 pixels, upright and in
// landscape (where the printer's offsets turn with the sheet).
TEST_F(PagePlacement, JpegContentSitsAtTheMargins) {
  NX_REQUIRE_TOOL("convert");
  for (int orientation : {1, 2}) {
    SCOPED_TRACE(orientation);
    const std::string name = "box" + std::to_string(orientation);
    NxSetOrientation(orientation);
    Begin(7, name + ".jpg");
    NxFrameEx(300000, 500000, 800000, 700000, 0, -1, -1, 0, 0);
    NxEndDoc();
    ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
    const std::string jpg = dir_.file(name + "1.jpg");
    ASSERT_TRUE(std::filesystem::exists(jpg));
    EXPECT_EQ(RunCommand("identify -format '%w %h' " + ShellQuote(jpg)).output,
              orientation == 1 ? "794 1123" : "1123 794");
    // The bounding box of the dark pixels: "W H X Y".
    const auto trim =
        RunCommand("convert " + ShellQuote(jpg) + " -threshold 50% -negate -trim -format '%w %h %X %Y' info:");
    int w = 0, h = 0, x = 0, y = 0;
    ASSERT_EQ(std::sscanf(trim.output.c_str(), "%d %d %d %d", &w, &h, &x, &y), 4) << trim.output;
    const double px = 96 / 25.4;  // pixels a millimetre
    EXPECT_NEAR(x, 30 * px, 1.5);
    EXPECT_NEAR(y, 50 * px, 1.5);
    EXPECT_NEAR(w, 50 * px, 2);
    EXPECT_NEAR(h, 20 * px, 2);
  }
}

// LibreOffice lays the RTF out; its PDF shows the words where they were
// drawn, within a millimetre.
TEST_F(PagePlacement, RtfTextLandsWhereItWasDrawnInLibreOffice) {
  NX_REQUIRE_TOOL("soffice");
  Begin(6, "words.rtf");
  double w = 0, h = 0;
  DrawWords(&w, &h);
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  const auto conv = RunCommand("cd " + ShellQuote(dir_.path().string()) + " && HOME=" + ShellQuote(dir_.file("home")) +
                               " soffice --headless --convert-to pdf words.rtf >/dev/null 2>&1");
  ASSERT_EQ(conv.exitCode, 0);
  const std::string pdf = dir_.file("words.pdf");
  const TWordBox alpha = WordBox(pdf, "Alpha"), omega = WordBox(pdf, "Omega");
  EXPECT_NEAR(alpha.Left, 30, 1);
  EXPECT_NEAR(alpha.Right, 30 + w, 1);
  EXPECT_NEAR(alpha.Bottom, 50 + h, 1);
  EXPECT_NEAR(omega.Left, 150, 1);
  EXPECT_NEAR(omega.Bottom, 250 + h, 1);
}

}  // namespace
