// Printer, paper, bin and font queries and printer selection through the
// exports: on virtual printers, and on two queues of a private cupsd (one
// with bins and duplex, one without) followed by the built-in virtual
// printer.
#include <algorithm>
#include <sstream>

#include "device/NxPrinter.h"
#include "printers/PrintersEnv.h"

namespace nxtest {
namespace {

using namespace std::chrono_literals;

// Two virtual printers: an office printer whose name and paper need more
// than ASCII, and a label printer with bins of its own numbers.
const char *kTwoVirtual = R"INI(
[Drucker Büro]
Resolution = 300
Paper = 9
Paper = 300, Etikett Größe 100, 100x50mm
DefaultPaper = 9
Bin = 1
Bin = 2
Duplex = yes

[Labels]
Resolution = 203
Paper = 301, Label 4x6, 4x6in
DefaultPaper = 301
Bin = 7
Bin = 260, Roll
DefaultBin = 260
Duplex = no
Orientation = landscape
)INI";

class PrinterListsTest : public PrintersTest {};

TEST_F(PrinterListsTest, PdfAndRtfModeAnswerForThePseudoPrinter) {
  VirtualPrinters(kTwoVirtual);
  ASSERT_EQ(NxInit(), 0);
  NxSetPrinter(0);  // measures the page: 300 dpi A4
  NxGetPaperCount();
  for (int device : {3, 6}) {
    NxSetDevice(device);
    EXPECT_EQ(NxGetPrinterCount(), 1);
    EXPECT_EQ(Name(NxGetPrinterNames, 0), "Noxtrel 32 PDF/RTF printer");
    EXPECT_EQ(Name(NxGetPrinterNames, 5), "Noxtrel 32 PDF/RTF printer");
    EXPECT_EQ(Name(NxGetPrinterNames, -1), "Noxtrel 32 PDF/RTF printer");
    EXPECT_EQ(NxGetPrinter(), -1);
    EXPECT_EQ(NxGetPaperBinCount(), 0);
    EXPECT_EQ(NxPrintDialog(), 1);  // at once, with or without a display
    EXPECT_EQ(Name(NxGetPaperNames, 0), "Not supported in PDF/RTF mode");
    EXPECT_EQ(NxGetPaperNumbers(0), -1);
    EXPECT_EQ(Name(NxGetPaperBinNames, 0), "Not supported in PDF/RTF mode");
    EXPECT_EQ(NxGetPaperBinNumbers(0), -1);
    EXPECT_EQ(NxGetFontCount(), 0);
    EXPECT_EQ(Name(NxGetFontNames, 0), "Not supported in PDF/RTF mode");
    EXPECT_EQ(NxGetPaperCount(), 2);  // the paper query itself still asks the driver
    // Capabilities come from the last measurement of the real printer.
    EXPECT_EQ(NxGetPrinterCaps(BITSPIXEL), 32);
    EXPECT_EQ(NxGetPrinterCaps(NUMCOLORS), 32);
    EXPECT_EQ(NxGetPrinterCaps(99), 0);
    EXPECT_EQ(NxGetPrinterCaps(PLANES), 0);
    EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSX), 300);
    EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSY), 300);
    EXPECT_EQ(NxGetPrinterCaps(PHYSICALWIDTH), 2480);  // 210 mm at 300 dpi
    EXPECT_EQ(NxGetPrinterCaps(PHYSICALHEIGHT), 3507);  // 297 mm, truncated
    EXPECT_EQ(NxGetPrinterCaps(PHYSICALOFFSETX), 100);
    EXPECT_EQ(NxGetPrinterCaps(HORZRES), 2280);
  }
  NxSetDevice(1);
  EXPECT_EQ(NxGetPrinterCount(), 2);
  EXPECT_EQ(NxGetPrinterCaps(BITSPIXEL), GetDeviceCaps(nx::SysPrinter().Handle(), BITSPIXEL));
  EXPECT_EQ(NxGetLastError(), 0);
}

TEST_F(PrinterListsTest, IndicesOutOfRangeGiveErrorTexts) {
  VirtualPrinters(kTwoVirtual);
  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(Name(NxGetPrinterNames, -1), "Error");
  EXPECT_EQ(Name(NxGetPrinterNames, 2), "Error");
  EXPECT_EQ(Name(NxGetPrinterNames, 1), "Labels");
  // No paper list before NxGetPaperCount since the last reset.
  EXPECT_EQ(Name(NxGetPaperNames, 0), "Error");
  EXPECT_EQ(NxGetPaperNumbers(0), -1);
  ASSERT_EQ(NxGetPaperCount(), 2);
  EXPECT_EQ(Name(NxGetPaperNames, 2), "Error");
  EXPECT_EQ(Name(NxGetPaperNames, -1), "Error");
  EXPECT_EQ(NxGetPaperNumbers(2), -1);
  EXPECT_EQ(NxGetPaperNumbers(1), 300);
  NxEndDoc();  // the reset empties the list
  EXPECT_EQ(Name(NxGetPaperNames, 0), "Error");
  EXPECT_EQ(Name(NxGetPaperBinNames, 0), "Error");
  EXPECT_EQ(NxGetPaperBinNumbers(-1), -1);
  const int fonts = NxGetFontCount();
  ASSERT_GT(fonts, 0);
  EXPECT_EQ(Name(NxGetFontNames, fonts), "Error");
  EXPECT_EQ(Name(NxGetFontNames, -1), "Error");
  EXPECT_EQ(NxGetLastError(), 0);

  // A printer index beyond the list: reported, and nothing changes.
  NxSetOrientation(2);
  NxSetPrinter(2);
  EXPECT_EQ(NxGetLastError(), nx::nxePrinter);
  EXPECT_EQ(ErrorText(), "Printer index out of range");
  EXPECT_EQ(NxGetPrinter(), 0);
  EXPECT_EQ(NxGetOrientation(), 2);
  NxSetPrinter(1000000);
  EXPECT_EQ(ErrorText(), "Printer index out of range");
  EXPECT_EQ(NxGetPrinter(), 0);
}

TEST_F(PrinterListsTest, SelectionGivesANewPrinterItsDefaultsAndKeepsTheCurrentSetup) {
  VirtualPrinters(kTwoVirtual);
  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(NxGetPaperBinCount(), 0);  // nothing read yet
  NxSetPrinter(NxGetDefaultPrinter());
  EXPECT_EQ(NxGetPaperBinCount(), 2);
  const auto bins = DriverNames("Drucker Büro", DC_BINNAMES, 24);
  ASSERT_EQ(bins.size(), 2u);
  EXPECT_EQ(Name(NxGetPaperBinNames, 0), bins[0]);
  EXPECT_EQ(NxGetPaperBinNumbers(1), 2);

  NxSetPrinter(1);  // the label printer's own defaults replace the session's
  EXPECT_EQ(NxGetPrinter(), 1);
  EXPECT_EQ(NxGetPageSize(), 301);
  EXPECT_EQ(NxGetPaperBin(), 260);
  EXPECT_EQ(NxGetOrientation(), 2);
  EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSX), 203);
  EXPECT_EQ(NxGetPaperBinCount(), 2);
  EXPECT_EQ(Name(NxGetPaperBinNames, 1), "Roll");
  EXPECT_EQ(NxGetPaperBinNumbers(1), 260);

  NxSetOrientation(1);  // changes the selected printer at once
  NxSetPrinter(1);      // the same printer again keeps that
  EXPECT_EQ(NxGetOrientation(), 1);
  NxSetPrinter(0);
  NxSetPrinter(1);  // chosen anew: the driver's defaults again
  EXPECT_EQ(NxGetOrientation(), 2);

  NxSetPrinter(-5);  // the system default, reported as -1
  EXPECT_EQ(NxGetPrinter(), -1);
  EXPECT_EQ(NxGetPageSize(), 9);
  EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSX), 300);
  EXPECT_EQ(NxGetLastError(), 0);

  // Refused while a document is open.
  NxSetDevice(5);
  NxSetFileName((dir_.file("out") + "/x.pdf").c_str());
  NxBeginDoc();
  ASSERT_TRUE(nx::DocumentOpen());
  NxSetPrinter(1);
  EXPECT_EQ(NxGetPrinter(), -1);
  NxAbort();
}

TEST_F(PrinterListsTest, PrinterHandleIsTheCurrentSurfacesDeviceContext) {
  VirtualPrinters(kTwoVirtual);
  ASSERT_EQ(NxInit(), 0);
  NxSetPrinter(1);  // the 203-dpi label printer
  HDC info = reinterpret_cast<HDC>(NxGetPrinterHandle());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(GetDeviceCaps(info, LOGPIXELSX), 203);
  NxBeginDoc();  // a printer job: the job's own context
  ASSERT_TRUE(nx::DocumentOpen());
  HDC job = reinterpret_cast<HDC>(NxGetPrinterHandle());
  EXPECT_EQ(job, nx::SysPrinter().Handle());
  EXPECT_EQ(GetDeviceCaps(job, LOGPIXELSX), 203);
  NxAbort();

  NxSetDevice(5);  // the page store: the current page's recording context
  NxSetFileName((dir_.file("emf") + "/x.emf").c_str());
  NxBeginDoc();
  ASSERT_TRUE(nx::DocumentOpen());
  HDC page1 = reinterpret_cast<HDC>(NxGetPrinterHandle());
  EXPECT_NE(page1, nullptr);
  EXPECT_NE(page1, nx::SysPrinter().Handle());
  EXPECT_EQ(nx::PageStore().PagesCount(), 1);
  NxNewPage();
  EXPECT_NE(reinterpret_cast<HDC>(NxGetPrinterHandle()), page1);
  EXPECT_EQ(nx::PageStore().PagesCount(), 2);
  NxAbort();
  for (int device : {0, 8}) {
    NxSetDevice(device);
    EXPECT_EQ(NxGetPrinterHandle(), 0);
  }
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
}

TEST_F(PrinterListsTest, OemPrinterNamesOnlyWhenAsked) {
  VirtualPrinters(kTwoVirtual);
  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(Name(NxGetPrinterNames, 0), "Drucker B\xFCro");  // ü in code page 1252
  NxSetAsciiToAnsi(1);
  EXPECT_EQ(Name(NxGetPrinterNames, 0), "Drucker B\x81ro");  // ü in code page 437
  // Paper, bin and font names stay in the ANSI code page.
  ASSERT_EQ(NxGetPaperCount(), 2);
  EXPECT_EQ(Name(NxGetPaperNames, 1), "Etikett Gr\xF6\xDF" "e 100");
}

// With UTF-8 as the host's code page a name of 64 characters takes up to
// 192 bytes; the host's buffer holds 64 and a NUL. nxrun runs the queries in
// a process of its own, where the code page is read from NOXTREL_ACP.
TEST_F(PrinterListsTest, NamesInUtf8AreCutAtACharacterWithinTheHostsBuffer) {
  const std::string euro = "\xE2\x82\xAC", umlaut = "\xC3\x84";
  std::string twenty, thirtyTwo, twentyOne;
  for (int i = 0; i < 20; ++i) twenty += euro;
  for (int i = 0; i < 21; ++i) twentyOne += euro;
  for (int i = 0; i < 32; ++i) thirtyTwo += umlaut;
  std::string printer = "ab" + twenty, paper = twentyOne;
  for (int i = 0; i < 10; ++i) printer += euro, paper += euro;
  VirtualPrinters("[" + printer + "]\nResolution = 300\nPaper = 300, " + paper + ", 100x50mm\nPaper = 301, " +
                  thirtyTwo + umlaut + umlaut + ", 100x60mm\n");
  const std::string script = dir_.file("names.nx");
  std::ofstream(script) << "NxInit\nNxGetPrinterNames(0)\nNxGetPaperCount\nNxGetPaperNames(0)\n"
                           "NxGetPaperNames(1)\n";
  auto r = RunCommand("NOXTREL_ACP=65001 " + ShellQuote((BinaryDir() / "nxrun").string()) + " " +
                      ShellQuote(script) + " 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::istringstream lines(r.output);
  std::vector<std::string> out;
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  ASSERT_EQ(out.size(), 5u) << r.output;
  EXPECT_EQ(out[1], "ab" + twenty) << "62 bytes: the next character would end at byte 65";
  EXPECT_EQ(out[3], twentyOne) << "63 bytes";
  EXPECT_EQ(out[4], thirtyTwo) << "34 characters of 2 bytes: 32 fill the 64";
  EXPECT_EQ(out[2], "2");
}

TEST_F(PrinterListsTest, FontsOfThePrinterForPrinterPreviewAndEmfOnly) {
  ASSERT_EQ(NxInit(), 0);
  const int fonts = NxGetFontCount();
  ASSERT_GT(fonts, 0);
  std::vector<std::string> names;
  for (int i = 0; i < fonts; ++i) names.push_back(Name(NxGetFontNames, i));
  std::vector<std::string> unique = names;
  std::sort(unique.begin(), unique.end());
  EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Liberation Mono"), names.end());
  // fontconfig (not our code) knows every family we list.
  CommandResult fc = RunCommand("fc-list : family");
  ASSERT_EQ(fc.exitCode, 0);
  for (const std::string &n : names) EXPECT_NE(fc.output.find(n), std::string::npos) << n;
  for (int device : {2, 5}) {
    NxSetDevice(device);
    EXPECT_EQ(NxGetFontCount(), fonts);
  }
  for (int device : {0, 4, 7}) {
    NxSetDevice(device);
    EXPECT_EQ(NxGetFontCount(), 0);
    EXPECT_EQ(Name(NxGetFontNames, 0), "Error");
  }
}

// Two queues and the built-in virtual printer behind them.
class CupsListsTest : public PrintersTest {
 protected:
  void SetUp() override {
    PrintersTest::SetUp();
    cupsd_ = std::make_unique<PrivateCupsd>();
    if (!cupsd_->ok()) return;
    ASSERT_TRUE(cupsd_->AddQueue("NxBins", TestPpd(), device_.port())) << cupsd_->ErrorLog();
    ASSERT_TRUE(cupsd_->AddQueue("NxPlain", PlainPpd(), device_.port())) << cupsd_->ErrorLog();
    ASSERT_TRUE(cupsd_->SetDefault("NxPlain"));
  }
  void TearDown() override {
    PrintersTest::TearDown();
    cupsd_.reset();
  }
  // The options of one "*Keyword Option/Text: ..." list of a PPD.
  static size_t PpdOptions(const std::string &ppd, const std::string &keyword) {
    std::istringstream in(ppd);
    size_t n = 0;
    for (std::string line; std::getline(in, line);) n += line.rfind("*" + keyword + " ", 0) == 0;
    return n;
  }

  AppSocketListener device_;
  std::unique_ptr<PrivateCupsd> cupsd_;
};

TEST_F(CupsListsTest, ListsEqualEachQueuesDriver) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_EQ(NxInit(), 0);
  ASSERT_EQ(NxGetPrinterCount(), 3);
  EXPECT_EQ(Name(NxGetPrinterNames, 0), "NxBins");
  EXPECT_EQ(Name(NxGetPrinterNames, 1), "NxPlain");
  EXPECT_EQ(Name(NxGetPrinterNames, 2), "Noxtrel Virtual Printer");
  EXPECT_EQ(NxGetDefaultPrinter(), 1);
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const std::string printer = Name(NxGetPrinterNames, i);
    NxSetPrinter(i);
    ASSERT_EQ(NxGetLastError(), 0) << ErrorText();
    const auto paperNames = DriverNames(printer, DC_PAPERNAMES, 64);
    const auto paperNumbers = DriverNumbers(printer, DC_PAPERS);
    ASSERT_EQ(NxGetPaperCount(), static_cast<int32_t>(paperNames.size()));
    for (int32_t p = 0; p < NxGetPaperCount(); ++p) {
      EXPECT_EQ(Name(NxGetPaperNames, p), paperNames[p]);
      EXPECT_EQ(NxGetPaperNumbers(p), paperNumbers[p]);
    }
    const auto binNames = DriverNames(printer, DC_BINNAMES, 24);
    const auto binNumbers = DriverNumbers(printer, DC_BINS);
    if (binNames.empty()) continue;  // the bin list stays as it was (checked below)
    ASSERT_EQ(NxGetPaperBinCount(), static_cast<int32_t>(binNames.size()));
    for (int32_t b = 0; b < NxGetPaperBinCount(); ++b) {
      EXPECT_EQ(Name(NxGetPaperBinNames, b), binNames[b]);
      EXPECT_EQ(NxGetPaperBinNumbers(b), binNumbers[b]);
    }
  }
  // And what the queues' PPDs declare.
  NxSetPrinter(0);
  EXPECT_EQ(NxGetPaperCount(), static_cast<int32_t>(PpdOptions(TestPpd(), "PageSize")));
  EXPECT_EQ(NxGetPaperBinCount(), static_cast<int32_t>(PpdOptions(TestPpd(), "InputSlot")));
  EXPECT_EQ(NxGetPaperBinCount(), 3);
  EXPECT_EQ(NxGetPaperNumbers(0), DMPAPER_A4);
  EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSX), 600);
  EXPECT_EQ(NxGetPrinterCaps(PHYSICALWIDTH), 4960);  // A4 at 600 dpi
  NxSetPrinter(1);
  EXPECT_EQ(NxGetPaperCount(), static_cast<int32_t>(PpdOptions(PlainPpd(), "PageSize")));
  EXPECT_EQ(NxGetPaperCount(), 2);
  EXPECT_EQ(NxGetPaperNumbers(0), DMPAPER_LETTER);
  EXPECT_EQ(NxGetPageSize(), DMPAPER_LETTER);
  EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSX), 300);
  EXPECT_EQ(NxGetPrinterCaps(PHYSICALWIDTH), 2550);  // 8.5 in at 300 dpi
  // A queue without bins leaves the bin list of the previous printer.
  EXPECT_EQ(NxGetPaperBinCount(), 3);
}

TEST_F(CupsListsTest, PrinterThatVanishedSinceInit) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_EQ(NxInit(), 0);
  NxSetPrinter(0);
  ASSERT_TRUE(cupsd_->RemoveQueue("NxBins"));
  ASSERT_TRUE(cupsd_->RemoveQueue("NxPlain"));
  EXPECT_EQ(NxGetPrinterCount(), 1);
  NxSetPrinter(2);
  EXPECT_EQ(ErrorText(), "Printer index out of range");
  // The selected queue is gone: its driver answers nothing.
  EXPECT_EQ(NxGetPaperCount(), -1);
  EXPECT_EQ(Name(NxGetPaperNames, 0), "Error");
  nx::ClearLastNxError();
  NxSetPrinter(0);  // index 0 is now another printer: its own defaults
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  EXPECT_EQ(NxGetPaperBinCount(), 2);
  EXPECT_EQ(NxGetPaperCount(), 6);
  EXPECT_EQ(NxGetPrinterCaps(LOGPIXELSX), 600);
}

// CUPS takes queue names of up to 127 characters; a host's buffer holds 64.
TEST_F(CupsListsTest, LongQueueNamesAreCutForTheHostsBuffer) {
  NX_REQUIRE_CUPSD(*cupsd_);
  const std::string longName = "NxLong" + std::string(94, 'q');
  ASSERT_TRUE(cupsd_->AddQueue(longName, TestPpd(), device_.port())) << cupsd_->ErrorLog();
  ASSERT_EQ(NxInit(), 0);
  int32_t index = -1;
  for (int32_t i = 0; i < NxGetPrinterCount(); ++i)
    if (Name(NxGetPrinterNames, i).rfind("NxLong", 0) == 0) index = i;
  ASSERT_GE(index, 0);
  EXPECT_EQ(Name(NxGetPrinterNames, index), longName.substr(0, 64));
  NxSetPrinter(index);  // selection by index still reaches the queue
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  EXPECT_EQ(NxGetPrinter(), index);
  EXPECT_EQ(NxGetPaperBinCount(), 3);
}

}  // namespace
}  // namespace nxtest
