// PDF documents through the exports (device type 3) on the built-in virtual
// printer: pages, text, shapes, barcodes and QR codes as independent readers
// see them, the page pixels beside emfrender's rendering of the same page,
// the password for one document only, and errors on the error channel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/ErrorChannel.h"
#include "export/gtExPDFEng.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "support/SpoolEnv.h"

namespace {

using nxtest::RunCommand;
using nxtest::ShellQuote;

class PdfOutputTest : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    nx::ClearLastNxError();
    ASSERT_EQ(NxInit(), 0);
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  static std::string ErrorText() {
    char buf[512];
    NxGetLastErrorText(buf, sizeof buf);
    return buf;
  }

  // The demo-like page: text, rules, a hatched frame, an ellipse, a barcode
  // and a QR code, in millimetres.
  static void DrawPage(int n) {
    NxTextOut(200000, 200000, ("Invoice page " + std::to_string(n)).c_str());
    NxLine(200000, 300000, 1800000, 300000);
    NxFrame(200000, 400000, 900000, 700000, 0);
    NxEllipse(1000000, 400000, 1800000, 700000);
    NxBarCode(200000, 800000, "NOXTREL128", 15, 10000, 0, 2, 0, 0);
    NxQRCode(1200000, 800000, "https://example.org/invoice/42", 1, 150, 4);
  }

  std::string WriteDocument(const std::string &name, int pages, const char *password = nullptr, int device = 3) {
    NxSetDevice(device);
    const std::string path = dir_.file(name);
    NxSetFileName(path.c_str());
    if (password) NxSetPDFOwnerPassword(password);
    NxSetTitle("Invoice");
    NxBeginDoc();
    for (int i = 1; i <= pages; ++i) {
      if (i > 1) NxNewPage();
      DrawPage(i);
    }
    NxEndDoc();
    return path;
  }
};

TEST_F(PdfOutputTest, PagesTextBarcodesAndQrCodesReachThePdf) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string pdf = WriteDocument("three.pdf", 3);
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  const auto check = RunCommand("qpdf --check " + pdf);
  EXPECT_EQ(check.exitCode, 0) << check.output;
  const auto info = RunCommand("pdfinfo " + pdf);
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Pages:\\s+3\n"))) << info.output;
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Page size:\\s+595\\.\\d+ x 841\\.\\d+ pts"))) << info.output;
  EXPECT_NE(info.output.find("Title:           Invoice"), std::string::npos) << info.output;
  const auto text = RunCommand("pdftotext " + pdf + " -");
  for (int i = 1; i <= 3; ++i)
    EXPECT_NE(text.output.find("Invoice page " + std::to_string(i)), std::string::npos) << text.output;
  if (nxtest::HaveTool("zbarimg")) {
    RunCommand("pdftoppm -r 300 -f 2 -l 2 -gray -png " + pdf + " " + dir_.file("p"));
    const auto codes = RunCommand("zbarimg --nodbus --quiet --raw " + dir_.file("p-2.png"));
    EXPECT_NE(codes.output.find("https://example.org/invoice/42"), std::string::npos) << codes.output;
    EXPECT_NE(codes.output.find("NOXTREL128"), std::string::npos) << codes.output;
  }
}

// The PDF page rendered at a fixed resolution beside emfrender's rendering of
// the same page metafile placed on a white sheet of the PDF page's size at
// the printer's margins: the metafile covers only the printable area, so a
// page stretched over the whole sheet, or placed at its corner, differs.
TEST_F(PdfOutputTest, PagePixelsMatchTheMetafileRenderingAtTheMargins) {
  NX_REQUIRE_TOOL("compare");
  const auto emfrender = nxtest::BinaryDir() / "emfrender";
  if (!std::filesystem::exists(emfrender)) GTEST_SKIP() << "emfrender is not built";
  const int dpi = NxGetPrinterCaps(LOGPIXELSX);
  const int offX = NxGetPrinterCaps(PHYSICALOFFSETX), offY = NxGetPrinterCaps(PHYSICALOFFSETY);
  ASSERT_GT(dpi, 0);
  ASSERT_GT(offX, 0);  // the built-in printer has margins
  const std::string pdf = WriteDocument("one.pdf", 1);
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  WriteDocument("emf.pdf", 1, nullptr, 5);  // Page1.emf beside it
  ASSERT_TRUE(std::filesystem::exists(dir_.file("Page1.emf")));
  for (int res : {96, 300}) {
    SCOPED_TRACE(res);
    const std::string r = std::to_string(res);
    const std::string emfPng = dir_.file("emf" + r + ".png"), pdfPng = dir_.file("pdf" + r + ".png");
    RunCommand(ShellQuote(emfrender.string()) + " " + dir_.file("Page1.emf") + " " + emfPng + " --scale " +
               std::to_string(double(res) / dpi));
    RunCommand("pdftoppm -r " + r + " -singlefile -png " + pdf + " " + dir_.file("pdf" + r));
    const std::string sheet = RunCommand("identify -format '%wx%h' " + pdfPng).output;
    // 595.3 x 841.9 points of A4 at this resolution (poppler rounds up).
    int w = 0, h = 0;
    ASSERT_EQ(std::sscanf(sheet.c_str(), "%dx%d", &w, &h), 2) << sheet;
    EXPECT_NEAR(w, 595.276 * res / 72, 1);
    EXPECT_NEAR(h, 841.89 * res / 72, 1);
    const std::string at = "+" + std::to_string(int(std::lround(double(offX) * res / dpi))) + "+" +
                           std::to_string(int(std::lround(double(offY) * res / dpi)));
    const auto cmp = RunCommand("convert -size " + sheet + " xc:white " + emfPng + " -geometry " + at +
                                " -composite -colorspace gray " + dir_.file("b.png") + " && convert " + pdfPng +
                                " -colorspace gray " + dir_.file("a.png") + " && compare -metric RMSE " +
                                dir_.file("a.png") + " " + dir_.file("b.png") + " null: 2>&1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cmp.output, m, std::regex("\\(([0-9.e-]+)\\)"))) << cmp.output;
    const double rmse = std::stod(m[1]);
    std::cout << "page RMSE at " << res << " dpi: " << rmse << "\n";
    EXPECT_LT(rmse, 0.08) << cmp.output;
  }
}

TEST_F(PdfOutputTest, PasswordProtectsOneDocumentOnly) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string first = WriteDocument("first.pdf", 1, "s\xE9same");
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  const std::string second = WriteDocument("second.pdf", 1);
  ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
  const auto enc = RunCommand("qpdf --show-encryption --password=" + ShellQuote("s\xE9same") + " " + first);
  EXPECT_NE(enc.output.find("R = 3"), std::string::npos) << enc.output;
  EXPECT_NE(enc.output.find("P = -3852"), std::string::npos) << enc.output;
  EXPECT_EQ(RunCommand("qpdf --check --password=" + ShellQuote("s\xE9same") + " " + first).exitCode, 0);
  EXPECT_NE(RunCommand("pdftotext -upw " + ShellQuote("s\xE9same") + " " + first + " -").output.find("Invoice page 1"),
            std::string::npos);
  EXPECT_NE(RunCommand("qpdf --show-encryption " + second).output.find("File is not encrypted"), std::string::npos);
}

TEST_F(PdfOutputTest, AFolderThatCannotBeWrittenIsReportedAndNothingIsLeft) {
  const std::string bad = WriteDocument("missing/doc.pdf", 1);
  EXPECT_EQ(NxGetLastError(), 3) << ErrorText();
  EXPECT_FALSE(ErrorText().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
  // The engine takes the next document.
  const std::string good = WriteDocument("good.pdf", 1);
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  EXPECT_TRUE(std::filesystem::exists(good));
}

}  // namespace

TEST(PdfOutputMapping, SessionValuesToEngineSettings) {
  using namespace nx;
  EXPECT_EQ(MapPaperSizeOrdinal(9), A4);
  EXPECT_EQ(MapPaperSizeOrdinal(1), Letter);
  EXPECT_EQ(MapPaperSizeOrdinal(18), Note);
  EXPECT_EQ(MapPaperSizeOrdinal(19), Custom);
  EXPECT_EQ(MapPaperSizeOrdinal(20), Env10);
  EXPECT_EQ(MapPaperSizeOrdinal(41), ISOB4);
  for (int p : {0, -3, 42, 255}) EXPECT_EQ(MapPaperSizeOrdinal(p), A4) << p;
  EXPECT_EQ(MapPDFVersionOrdinal(0), PDF_VER14);
  EXPECT_EQ(MapPDFVersionOrdinal(6), PDFA_VER3B);
  EXPECT_EQ(MapPDFVersionOrdinal(9), PDF_VER16);
  EXPECT_EQ(MapPDFVersionOrdinal(-1), PDF_VER16);
  EXPECT_EQ(MapPDFEncodingOrdinal(1), feStandardEncoding);
  EXPECT_EQ(MapPDFEncodingOrdinal(2), fePDFDocEncoding);
  EXPECT_EQ(MapPDFEncodingOrdinal(7), feWinAnsiEncoding);
  EXPECT_EQ(MapFontEmbeddingOrdinal(2), etfSubset);
  EXPECT_EQ(MapFontEmbeddingOrdinal(5), etfNone);
  // A paper number from 256 on without recorded pages leaves the paper.
  TgtPDFEngine e;
  e.Page().SetPaperSize(Letter);
  SetEnginePaper(e, 300);
  EXPECT_EQ(e.Page().PaperSize(), Letter);
  SetEnginePaper(e, 9);
  EXPECT_EQ(e.Page().PaperSize(), A4);
}
