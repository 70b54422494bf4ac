// Documents through the exports on the built-in virtual printer (600 dpi,
// A4, 100-pixel margins), with no CUPS server: NxInit, NxBeginDoc,
// NxNewPage, NxEndDoc, NxAbort and the EMF page files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "device/SysPrinter.h"
#include "export/gtExPDFEng.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"
#include "support/LibraryTest.h"

namespace {

namespace fs = std::filesystem;

class DocFlowTest : public nxtest::LibraryTest {
 protected:
  static std::string FileName() { return nx::WideToAnsi(nx::Session().FileName); }
  static std::string LastErrorText() { return ErrorText(); }
};

TEST_F(DocFlowTest, InitSelectsTheDefaultPrinterAndResets) {
  EXPECT_EQ(NxGetDuplex(), 0);
  EXPECT_EQ(NxInit(), 0);
  EXPECT_EQ(NxGetDefaultPrinter(), 0);
  EXPECT_EQ(NxGetPrinter(), 0);
  EXPECT_EQ(NxGetDuplex(), 1);
  EXPECT_EQ(NxGetUnit(), 1);
  EXPECT_EQ(NxGetUseDIB(), 1);
  EXPECT_EQ(NxGetDecimalSep(), '.');
  EXPECT_EQ(FileName(), ".\\Untitled1.pdf");
  EXPECT_EQ(NxInit(), 0);  // every call resets again
  EXPECT_EQ(FileName(), ".\\Untitled2.pdf");
}

TEST_F(DocFlowTest, WithoutPrintersInitFailsAndNoDocumentOpens) {
  std::string config = dir_.file("printers.ini");
  std::ofstream(config) << "; no printers\n";
  env_.Set("NOXTREL_PRINTERS", config);
  NxSetUnit(3);
  EXPECT_EQ(NxInit(), 1);
  EXPECT_EQ(NxGetUnit(), 1);    // step 1 ran
  EXPECT_EQ(NxGetDuplex(), 0);  // the reset did not
  EXPECT_EQ(NxGetDefaultPrinter(), -1);
  NxBeginDoc();
  EXPECT_FALSE(nx::DocumentOpen());
  NxSetDevice(1);
  NxBeginDoc();  // the printer device has no printer to open
  EXPECT_FALSE(nx::DocumentOpen());
  EXPECT_EQ(NxGetLastError(), nx::nxePrinter);
}

TEST_F(DocFlowTest, EndDocWithoutADocumentStillResets) {
  ASSERT_EQ(NxInit(), 0);
  NxSetFontSize(80000);
  NxSetDevice(3);
  NxSetPDFCompression(2);  // only 1 means maximum; the level outlives the reset
  NxEndDoc();
  EXPECT_FALSE(nx::PdfMaxCompression());
  EXPECT_EQ(NxGetFontSize(), 120000);
  EXPECT_EQ(NxGetPrinter(), 0);  // PDF mode was reset
  EXPECT_EQ(FileName(), ".\\Untitled2.pdf");
  EXPECT_EQ(NxGetLastError(), 0);

  NxSetDevice(4);  // opens no document
  NxBeginDoc();
  EXPECT_FALSE(nx::DocumentOpen());
  EXPECT_EQ(NxGetPageSize(), 9);
  NxEndDoc();
  EXPECT_EQ(nx::Session().Device, 1);
}

TEST_F(DocFlowTest, DuringADocumentSetupSettersAreRefused) {
  ASSERT_EQ(NxInit(), 0);
  NxSetDevice(5);
  NxSetFileName((dir_.path().string() + "/").c_str());
  NxBeginDoc();
  ASSERT_TRUE(nx::DocumentOpen());
  EXPECT_EQ(NxGetPageSize(), -1);
  EXPECT_EQ(NxGetPaperBin(), -1);
  NxSetPageSize(8);
  NxSetDuplex(2);
  NxSetCopies(3);
  NxSetOrientation(2);
  NxSetPaperBin(2);
  NxSetPDFCompression(0);
  NxBeginDoc();  // already open: nothing
  EXPECT_TRUE(nx::PdfMaxCompression());
  const nx::TNoxtrelRec &s = nx::Session();
  EXPECT_EQ(s.PaperSize, 9);
  EXPECT_EQ(s.Duplex, 1);
  EXPECT_EQ(s.Copies, 1);
  EXPECT_EQ(s.Orientation, 1);
  EXPECT_EQ(s.PaperBin, 0);
  // The page metrics are the printer's with the session's A4 portrait.
  EXPECT_EQ(s.PaperWidth, 4960);
  EXPECT_EQ(s.PaperHeight, 7015);
  EXPECT_EQ(s.LeftMargin, 100);
  EXPECT_EQ(s.HPixelsInch, 600);
  // The device font of a new document: Courier New 12 points at 600 dpi.
  nx::TFont *font = nx::Device().Font();
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(nx::WideToAnsi(font->Name), "Courier New");
  EXPECT_EQ(font->Height, -100);
  EXPECT_EQ(nx::Device().TextWidth(u"MMMMM"), 300);  // a monospaced 0.6 em at 100 pixels
  NxSetFontSize(100000);
  NxSetFontStyle(3);
  NxSetFontName("Arial");
  EXPECT_EQ(font->Height, -83);
  EXPECT_EQ(font->Style, 3);
  EXPECT_EQ(nx::WideToAnsi(font->Name), "Arial");
  NxEndDoc();
}

TEST_F(DocFlowTest, EmfPagesShowThePrintableAreaInEmf2svg) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  ASSERT_EQ(NxInit(), 0);
  NxSetDevice(5);
  NxSetFileName((dir_.path().string() + "/doc.pdf").c_str());
  NxBeginDoc();
  const nx::TNoxtrelRec &s = nx::Session();
  for (int page = 1; page <= 3; ++page) {
    if (page > 1) NxNewPage();
    nx::Device().Rectangle(0, 0, s.AreaWidth, s.AreaHeight);  // a frame around the printable area
  }
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0) << LastErrorText();
  for (int page = 1; page <= 3; ++page) {
    std::string emf = dir_.file("Page" + std::to_string(page) + ".emf");
    nxtest::CommandResult r =
        nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(emf) + " -o " + nxtest::ShellQuote(emf + ".svg"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto bytes = nxtest::ReadFileBytes(emf + ".svg");
    std::string svg(bytes.begin(), bytes.end());
    // emf2svg sizes the picture by the drawn bounds, from the first to the
    // last pixel of the 4760 x 6815 area.
    EXPECT_NE(svg.find("width=\"4759.0000\" height=\"6814.0000\""), std::string::npos) << svg.substr(0, 300);
  }
}

// Readers place an EMF at the size its header states: the page files of
// the 600-dpi virtual printer's A4 say 201.5 x 288.5 mm (its 4760 x 6815
// printable pixels), with a reference device of exactly 600 pixels to the
// inch, so that the records, in printer pixels, fill that frame.
TEST_F(DocFlowTest, EmfPageFilesStateThePrintableAreasRealSize) {
  ASSERT_EQ(NxInit(), 0);
  NxSetDevice(5);
  NxSetFileName((dir_.path().string() + "/doc.pdf").c_str());
  NxBeginDoc();
  const nx::TNoxtrelRec &s = nx::Session();
  ASSERT_EQ(s.AreaWidth, 4760);
  ASSERT_EQ(s.AreaHeight, 6815);
  nx::Device().Rectangle(0, 0, s.AreaWidth, s.AreaHeight);
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0) << LastErrorText();
  std::string path = dir_.file("Page1.emf");
  auto bytes = nxtest::ReadFileBytes(path);
  ENHMETAHEADER h{};
  ASSERT_GE(bytes.size(), sizeof h);
  std::memcpy(&h, bytes.data(), sizeof h);
  EXPECT_EQ(h.rclFrame.left, 0);
  EXPECT_EQ(h.rclFrame.top, 0);
  EXPECT_EQ(h.rclFrame.right, 20151);   // 4760 / 600 in = 201.51 mm
  EXPECT_EQ(h.rclFrame.bottom, 28850);  // 6815 / 600 in = 288.51 mm
  // 600 reference pixels to the inch on both axes, whole millimetres, and
  // a reference device that covers the page.
  EXPECT_EQ(int64_t{h.szlDevice.cx} * 127, int64_t{h.szlMillimeters.cx} * 3000);
  EXPECT_EQ(int64_t{h.szlDevice.cy} * 127, int64_t{h.szlMillimeters.cy} * 3000);
  EXPECT_GE(h.szlDevice.cx, 4760);
  EXPECT_GE(h.szlDevice.cy, 6815);
  EXPECT_EQ(h.szlMicrometers.cx, h.szlMillimeters.cx * 1000);
  EXPECT_EQ(h.szlMicrometers.cy, h.szlMillimeters.cy * 1000);
  EXPECT_EQ(h.rclBounds.right, 4759);  // the records stay in printer pixels
  EXPECT_EQ(h.rclBounds.bottom, 6814);

  // Played at a tenth of its size, the frame around the printable area
  // lands on the edges of the picture (its last pixels at 475.9, 681.4).
  std::u16string wide(path.begin(), path.end());
  HENHMETAFILE emf = GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(wide.c_str()));
  ASSERT_NE(emf, nullptr);
  constexpr int kW = 490, kH = 700;
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), kW, -kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bm);
  PatBlt(dc, 0, 0, kW, kH, WHITENESS);
  RECT rc{0, 0, 476, 682};
  EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &rc));
  auto ink = [bits](int x, int y) { return (static_cast<uint32_t *>(bits)[y * kW + x] & 0xFFFFFF) == 0; };
  int right = -1, bottom = -1;
  for (int x = 0; x < kW; ++x) right = ink(x, 340) ? x : right;
  for (int y = 0; y < kH; ++y) bottom = ink(238, y) ? y : bottom;
  EXPECT_TRUE(ink(0, 340));
  EXPECT_TRUE(ink(238, 0));
  EXPECT_GE(right, 475);
  EXPECT_LE(right, 476);
  EXPECT_GE(bottom, 681);
  EXPECT_LE(bottom, 682);
  EXPECT_FALSE(ink(238, 340));
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
  DeleteEnhMetaFile(emf);
}

TEST_F(DocFlowTest, DefaultFileNamesCountUpAndLandInTheCurrentFolder) {
  fs::path old = fs::current_path();
  fs::current_path(dir_.path());
  ASSERT_EQ(NxInit(), 0);
  for (int doc = 1; doc <= 2; ++doc) {
    EXPECT_EQ(FileName(), ".\\Untitled" + std::to_string(doc) + ".pdf");
    NxSetDevice(5);
    NxBeginDoc();  // one blank page
    NxEndDoc();
    EXPECT_EQ(NxGetLastError(), 0) << LastErrorText();
  }
  EXPECT_EQ(FileName(), ".\\Untitled3.pdf");
  EXPECT_TRUE(fs::exists(dir_.path() / "Page1.emf"));
  EXPECT_FALSE(fs::exists(dir_.path() / "Page2.emf"));
  fs::current_path(old);
}

TEST_F(DocFlowTest, FileSystemErrorsEndTheDocumentAndKeepTheSavedPages) {
  ASSERT_EQ(NxInit(), 0);
  auto threePages = [](const std::string &fileName) {
    NxSetDevice(5);
    NxSetFileName(fileName.c_str());
    NxBeginDoc();
    NxNewPage();
    NxNewPage();
    NxEndDoc();
  };
  threePages(dir_.file("missing") + "/doc.pdf");
  EXPECT_EQ(NxGetLastError(), nx::nxeFile);
  EXPECT_NE(LastErrorText().find("missing/Page1.emf: No such file or directory"), std::string::npos)
      << LastErrorText();
  EXPECT_EQ(nx::Session().Device, 5);  // not reset: the error ended NxEndDoc
  NxEndDoc();                          // only clears and resets
  EXPECT_EQ(nx::Session().Device, 1);

  threePages(dir_.path().string() + "/" + std::string(300, 'n') + "/doc.pdf");
  EXPECT_NE(LastErrorText().find("File name too long"), std::string::npos) << LastErrorText();
  NxEndDoc();

  fs::create_directory(dir_.path() / "Page2.emf");  // page 2 cannot be written
  threePages(dir_.path().string() + "/doc.pdf");
  EXPECT_NE(LastErrorText().find("Page2.emf: Is a directory"), std::string::npos) << LastErrorText();
  EXPECT_TRUE(fs::exists(dir_.path() / "Page1.emf"));
  EXPECT_FALSE(fs::exists(dir_.path() / "Page3.emf"));
  NxEndDoc();

  NxSetDevice(5);
  NxBeginDoc();  // a successful NxBeginDoc clears the error
  EXPECT_EQ(NxGetLastError(), 0);
  NxAbort();
}

TEST_F(DocFlowTest, ReadOnlyFolderIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_EQ(NxInit(), 0);
  fs::create_directory(dir_.path() / "ro");
  fs::permissions(dir_.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  NxSetDevice(5);
  NxSetFileName((dir_.path() / "ro" / "x.pdf").string().c_str());
  NxBeginDoc();
  NxEndDoc();
  EXPECT_NE(LastErrorText().find("Permission denied"), std::string::npos) << LastErrorText();
  fs::permissions(dir_.path() / "ro", fs::perms::owner_all);
}

// Device type 2 shows a window; tests/preview has its documents.
TEST_F(DocFlowTest, ExportOutputsWriteTheirFilesAndTheSessionResets) {
  ASSERT_EQ(NxInit(), 0);
  const std::pair<int, const char *> outputs[] = {{3, "doc.pdf"}, {6, "doc.rtf"}, {7, "doc2.jpg"}};
  for (const auto &[device, file] : outputs) {
    NxSetDevice(device);
    NxSetFileName((dir_.path().string() + "/doc").c_str());
    NxBeginDoc();
    ASSERT_TRUE(nx::DocumentOpen()) << device;
    EXPECT_EQ(nx::PageStore().PagesCount(), 1);  // the font setting opened page 1
    NxNewPage();
    EXPECT_EQ(nx::PageStore().PagesCount(), 2);
    NxEndDoc();
    EXPECT_EQ(NxGetLastError(), 0) << device;
    EXPECT_TRUE(fs::exists(dir_.file(file))) << file;
    EXPECT_FALSE(nx::DocumentOpen());
    EXPECT_EQ(nx::PageStore().PagesCount(), 0);
    EXPECT_EQ(nx::Session().Device, 1);
  }
}

// A PDF engine whose page change fails on one page, as a page whose
// interpretation fails does.
class TPageFailingPdf : public nx::TgtPDFEngine {
 public:
  TPageFailingPdf() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  int FailOn = -1;  // none
  void NewPage() override {
    if (CurrentPage() == FailOn) throw nx::ENxError(nx::nxeData, "page failed");
    nx::TgtPDFEngine::NewPage();
  }
};

TEST_F(DocFlowTest, APageThatFailsInTheExportKeepsTheEarlierFile) {
  ASSERT_EQ(NxInit(), 0);
  const std::string name = dir_.file("doc");
  TPageFailingPdf engine;
  engine.SetFileName(nx::AsciiToWide(name));
  const auto record = [&](int pages) {
    NxSetDevice(3);
    NxBeginDoc();
    for (int p = 1; p < pages; ++p) NxNewPage();
    ASSERT_EQ(nx::PageStore().PagesCount(), pages);
  };
  record(2);
  nx::PlayPagesInto(engine);
  NxAbort();
  std::ifstream in(name + ".pdf", std::ios::binary);
  const std::string before{std::istreambuf_iterator<char>(in), {}};
  ASSERT_FALSE(before.empty());

  // Pages 1 and 2 are rendered by the time page 3 fails; the error is
  // reported and the file of the last document stays as it was.
  record(4);
  engine.FailOn = 3;
  try {
    nx::PlayPagesInto(engine);
    ADD_FAILURE() << "the failed page was not reported";
  } catch (const nx::ENxError &e) {
    EXPECT_STREQ(e.what(), "page failed");
  }
  NxAbort();
  EXPECT_FALSE(engine.IsDocumentStarted());
  EXPECT_EQ(engine.EngineStatus(), nx::esError);
  std::ifstream again(name + ".pdf", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);

  // The engine takes the next document.
  engine.FailOn = -1;
  record(3);
  nx::PlayPagesInto(engine);
  NxAbort();
  EXPECT_EQ(engine.EngineStatus(), nx::esFinished);
  std::ifstream after(name + ".pdf", std::ios::binary);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(after), {}), before);
}

TEST_F(DocFlowTest, AbortDropsTheDocument) {
  fs::path old = fs::current_path();
  fs::current_path(dir_.path());
  ASSERT_EQ(NxInit(), 0);
  NxAbort();  // no document: nothing, not even a reset
  EXPECT_EQ(FileName(), ".\\Untitled1.pdf");
  NxSetDevice(5);
  NxBeginDoc();
  NxNewPage();
  NxAbort();
  EXPECT_FALSE(nx::DocumentOpen());
  EXPECT_EQ(nx::PageStore().PagesCount(), 0);
  EXPECT_EQ(nx::Session().Device, 1);
  NxEndDoc();
  EXPECT_FALSE(fs::exists(dir_.path() / "Page1.emf"));
  fs::current_path(old);
}

TEST_F(DocFlowTest, DirectParamsKeepThePrintersSetupButOrientationActsAtOnce) {
  ASSERT_EQ(NxInit(), 0);
  NxSetDirectPrint(1);
  NxSetOrientation(2);  // changes the selected printer at once
  NxSetPaperBin(2);     // only a session value
  NxSetPageSize(11);
  NxBeginDoc();
  ASSERT_TRUE(nx::DocumentOpen()) << LastErrorText();
  const DEVMODEW *dm = nx::SysPrinter().DevMode();
  ASSERT_NE(dm, nullptr);
  EXPECT_EQ(dm->dmOrientation, 2);
  EXPECT_EQ(dm->dmDefaultSource, 1);
  EXPECT_EQ(dm->dmPaperSize, 9);
  EXPECT_EQ(nx::Session().PaperWidth, 7015);  // A4 landscape
  NxEndDoc();
}

}  // namespace
