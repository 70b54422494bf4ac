// Where PDF text sits vertically: GDI puts the baseline of top-aligned text
// the font's ascent below the top, of baseline-aligned text at the
// reference point and of bottom-aligned text the descent above it, and
// turns that offset with rotated text. The PDF page, rendered by poppler,
// must show each text's ink where emfrender draws the same metafile page,
// within 0.2 mm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>

#include "export/PageImage.h"
#include "export/PdfTestSupport.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"

namespace {

using nxtest::RunCommand;
using nxtest::ShellQuote;

// Pages are compared at 300 dpi: at 96 dpi the two rasterisers' snapping
// of glyphs to whole pixels alone differs by up to a pixel (0.26 mm).
constexpr int kDpi = 300;

// A window on the page, given in pixels at 96 dpi, holding one text's ink;
// Turned when the text runs up the page.
struct TWindow {
  const char *What;
  int X0, Y0, X1, Y1;
  bool Turned = false;
  TWindow Scaled() const {
    auto s = [](int v) { return int(v * kDpi / 96); };
    return {What, s(X0), s(Y0), s(X1), s(Y1), Turned};
  }
};

// The darkness-weighted centre of the ink inside a window, pixels; where
// two rasterisers differ only in how they hint and smooth the glyphs'
// edges, their centres still agree to a fraction of a pixel.
struct TCentre {
  double X = -1, Y = -1;
};
TCentre InkCentre(const pageimage::TImage &img, const TWindow &w, int offX, int offY) {
  double sum = 0, sx = 0, sy = 0;
  for (int y = std::max(0, w.Y0 - offY); y < std::min(img.Height, w.Y1 - offY); ++y)
    for (int x = std::max(0, w.X0 - offX); x < std::min(img.Width, w.X1 - offX); ++x) {
      const unsigned c = img.At(x, y);
      const double ink = 3 * 255 - double((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF));
      sum += ink, sx += ink * x, sy += ink * y;
    }
  if (sum <= 0) return {};
  return {sx / sum + offX, sy / sum + offY};
}

// The ink of every window on the PDF page beside the ink on emfrender's
// page, whose origin lies (offX, offY) pixels into the sheet: the centres
// across the lines within 0.2 mm, the ink's bottom within 0.3 mm. (Along
// the lines the two differ by the advances, which is not the point here.)
void ExpectSameInk(const std::string &pdfPng, const std::string &emfPng, const std::vector<TWindow> &windows96, int offX,
                   int offY) {
  const pageimage::TImage pdf = pageimage::Load(pdfPng), emf = pageimage::Load(emfPng);
  ASSERT_GT(pdf.Width, 0) << pdfPng;
  ASSERT_GT(emf.Width, 0) << emfPng;
  const double mm = kDpi / 25.4;
  for (const TWindow &w96 : windows96) {
    const TWindow w = w96.Scaled();
    SCOPED_TRACE(w.What);
    const pageimage::TBox a = pageimage::Ink(pdf, w.X0, w.Y0, w.X1, w.Y1),
                          b = pageimage::Ink(emf, w.X0 - offX, w.Y0 - offY, w.X1 - offX, w.Y1 - offY);
    ASSERT_GE(a.X0, 0) << "nothing on the PDF page";
    ASSERT_GE(b.X0, 0) << "nothing on emfrender's page";
    const TCentre p = InkCentre(pdf, w, 0, 0), e = InkCentre(emf, w, offX, offY);
    const double across = w.Turned ? p.X - e.X : p.Y - e.Y;
    std::cout << w.What << ": the PDF's ink lies " << across / mm << " mm further down the lines than emfrender's\n";
    EXPECT_NEAR(across, 0, 0.2 * mm);
    // The bottom of the descenders too; the tops are left out, as the two
    // rasterisers' glyphs differ in height by up to 0.4 mm at this size.
    const double edge = 0.3 * mm;
    if (w.Turned)
      EXPECT_NEAR(a.X1, b.X1 + offX, edge) << "bottom";
    else
      EXPECT_NEAR(a.Y1, b.Y1 + offY, edge) << "bottom";
  }
}

// The rows of a window dark across most of its ink's width: an underline.
std::pair<int, int> RuleRows(const pageimage::TImage &img, const TWindow &w, int offX, int offY) {
  const pageimage::TBox ink = pageimage::Ink(img, w.X0 - offX, w.Y0 - offY, w.X1 - offX, w.Y1 - offY);
  std::pair<int, int> rows{-1, -1};
  for (int y = ink.Y0; y >= 0 && y < ink.Y1; ++y) {
    int dark = 0;
    for (int x = ink.X0; x < ink.X1; ++x) dark += pageimage::Near(img.At(x, y), 0, 127);
    if (dark < (ink.X1 - ink.X0) * 8 / 10) continue;
    if (rows.first < 0) rows.first = y + offY;
    rows.second = y + offY;
  }
  return rows;
}

// Keeps a copy of a file for a look when NX_KEEP_PNG names a folder.
void Keep(const std::string &path, const std::string &name) {
  if (const char *keep = std::getenv("NX_KEEP_PNG"))
    std::filesystem::copy_file(path, std::string(keep) + "/" + name, std::filesystem::copy_options::overwrite_existing);
}

// Text drawn through the library on the printer, exported as PDF and as the
// page metafile: the metafile covers the printable area, so emfrender's page
// goes on the sheet at the printer's margins.
class PdfTextBaseline : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    ASSERT_EQ(NxInit(), 0);
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  // Arial at 12 and 24 points, top-aligned, one underlined, and 24 points
  // turned by 90 degrees, in millimetres.
  static void DrawTexts() {
    NxSetFontName("Arial");
    NxSetFontSize(120000);
    NxTextOut(200000, 200000, "Hxgq 12");
    NxSetFontSize(240000);
    NxTextOut(200000, 400000, "Hxgq 24");
    NxSetFontStyle(4);  // underlined
    NxTextOut(200000, 600000, "Hxgq 24");
    NxSetFontStyle(0);
    NxSetFontAngle(90);
    NxTextOut(1400000, 1600000, "Turned 24");
    NxSetFontAngle(0);
  }
  void Write(int device, const std::string &name) {
    NxSetDevice(device);
    NxSetFileName(dir_.file(name).c_str());
    NxBeginDoc();
    DrawTexts();
    NxEndDoc();
    ASSERT_EQ(NxGetLastError(), 0);
  }
};

TEST_F(PdfTextBaseline, TopAlignedAndTurnedTextSitWhereTheMetafileDrawsIt) {
  NX_REQUIRE_TOOL("pdftoppm");
  NX_REQUIRE_TOOL("convert");
  const auto emfrender = nxtest::BinaryDir() / "emfrender";
  if (!std::filesystem::exists(emfrender)) GTEST_SKIP() << "emfrender is not built";
  const int dpi = NxGetPrinterCaps(LOGPIXELSX);
  ASSERT_GT(dpi, 0);
  const int offX = int(std::lround(NxGetPrinterCaps(PHYSICALOFFSETX) * double(kDpi) / dpi));
  const int offY = int(std::lround(NxGetPrinterCaps(PHYSICALOFFSETY) * double(kDpi) / dpi));
  Write(3, "texts.pdf");
  Write(5, "texts.emf");  // Page1.emf beside it
  const std::string emfPng = dir_.file("emf.png"), pdfPng = dir_.file("pdf.png");
  RunCommand(ShellQuote(emfrender.string()) + " " + ShellQuote(dir_.file("Page1.emf")) + " " + ShellQuote(emfPng) +
             " --scale " + std::to_string(double(kDpi) / dpi));
  RunCommand("pdftoppm -r " + std::to_string(kDpi) + " -singlefile -png " + ShellQuote(dir_.file("texts.pdf")) + " " +
             ShellQuote(dir_.file("pdf")));
  Keep(emfPng, "baseline-emf.png");
  Keep(pdfPng, "baseline-pdf.png");
  Keep(dir_.file("texts.pdf"), "baseline.pdf");
  Keep(dir_.file("Page1.emf"), "baseline.emf");
  // 1 mm = 3.78 pixels; the texts start at 20, 40 and 60 mm down, the
  // turned one runs up from (140, 160) mm.
  ExpectSameInk(pdfPng, emfPng,
                {{"12 points", 60, 60, 400, 110},
                 {"24 points", 60, 135, 400, 210},
                 {"24 points underlined", 60, 210, 400, 290},
                 {"turned by 90 degrees", 500, 300, 620, 640, true}},
                offX, offY);
  // The underline where GDI draws it: from its position down by its
  // thickness, within 0.1 mm.
  const TWindow underlined = TWindow{"underline", 60, 210, 400, 290}.Scaled();
  const auto p = RuleRows(pageimage::Load(pdfPng), underlined, 0, 0);
  const auto e = RuleRows(pageimage::Load(emfPng), underlined, offX, offY);
  ASSERT_GE(p.first, 0);
  ASSERT_GE(e.first, 0);
  EXPECT_NEAR(p.first, e.first, 0.1 * kDpi / 25.4);
  EXPECT_NEAR(p.second, e.second, 0.1 * kDpi / 25.4);
}

// A page metafile recorded on the screen (96 dpi) with each vertical
// alignment GDI knows, played into the PDF engine.
HENHMETAFILE AlignedPage() {
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  SetBkMode(dc, TRANSPARENT);
  auto text = [&](int x, int y, UINT align, int height, int escapement, const char16_t *s) {
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfEscapement = lf.lfOrientation = escapement;
    std::copy_n(u"Arial", 6, lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SetTextAlign(dc, align);
    if (align & TA_UPDATECP) MoveToEx(dc, x, y, nullptr);
    ExtTextOutW(dc, x, y, 0, nullptr, reinterpret_cast<const WCHAR *>(s),
                UINT(std::char_traits<char16_t>::length(s)), nullptr);
    SelectObject(dc, old);
    DeleteObject(font);
  };
  text(40, 100, TA_BASELINE, 32, 0, u"Baseline Hxgq");
  text(40, 200, TA_BOTTOM, 32, 0, u"Bottom Hxgq");
  text(40, 300, TA_BASELINE | TA_UPDATECP, 32, 0, u"Current Hxgq");
  text(40, 400, TA_TOP, 16, 0, u"Top Hxgq");
  text(500, 600, TA_BASELINE, 32, 900, u"Turned Hxgq");
  text(600, 600, TA_BOTTOM, 32, 900, u"Turned Hxgq");
  return CloseEnhMetaFile(dc);
}

TEST(PdfTextAlignment, BaselineBottomAndTurnedTextSitWhereTheMetafileDrawsIt) {
  NX_REQUIRE_TOOL("pdftoppm");
  NX_REQUIRE_TOOL("convert");
  const auto emfrender = nxtest::BinaryDir() / "emfrender";
  if (!std::filesystem::exists(emfrender)) GTEST_SKIP() << "emfrender is not built";
  nxtest::TempDir dir;
  const std::string emf = dir.file("aligned.emf");
  pdftest::WriteWithEngine(
      dir.file("aligned"), [](nx::TgtPDFEngine &) {},
      [&](nx::TgtPDFEngine &e) {
        HENHMETAFILE page = AlignedPage();
        e.PlayMetafile(nx::TgtRect{0, 0, e.Page().Width(), e.Page().Height()}, page);
        const std::u16string name(emf.begin(), emf.end());
        DeleteEnhMetaFile(CopyEnhMetaFileW(page, reinterpret_cast<const WCHAR *>(name.c_str())));
        DeleteEnhMetaFile(page);
      });
  const std::string emfPng = dir.file("emf.png"), pdfPng = dir.file("pdf.png");
  RunCommand(ShellQuote(emfrender.string()) + " " + ShellQuote(emf) + " " + ShellQuote(emfPng) + " --scale " +
             std::to_string(kDpi / 96.0));
  RunCommand("pdftoppm -r " + std::to_string(kDpi) + " -singlefile -png " + ShellQuote(dir.file("aligned.pdf")) + " " +
             ShellQuote(dir.file("pdf")));
  Keep(emfPng, "aligned-emf.png");
  Keep(pdfPng, "aligned-pdf.png");
  ExpectSameInk(pdfPng, emfPng,
                {{"baseline", 20, 50, 400, 130},
                 {"bottom", 20, 150, 400, 230},
                 {"baseline at the current position", 20, 250, 400, 330},
                 {"top, 12 points", 20, 380, 400, 440},
                 {"turned, baseline", 450, 350, 550, 650, true},
                 {"turned, bottom", 560, 350, 650, 650, true}},
                0, 0);
}

}  // namespace
