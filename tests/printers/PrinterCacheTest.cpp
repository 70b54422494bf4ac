// Printer models kept between documents: repeated documents do not read an
// unchanged printer again, and every change an administrator makes (queue
// options, its PPD, the queue removed, the printer configuration file
// edited) reaches the next document.
#include <chrono>
#include <cstring>
#include <thread>

#include "PrintersEnv.h"
#include "platform/spool/PrinterModel.h"

namespace nxtest {
namespace {

using namespace std::chrono_literals;
using nx::spool::CupsModelReads;
using nx::spool::VirtualPrinterReads;

// What a document was measured on.
struct Sheet {
  std::string printer;
  int32_t dpi = 0, width = 0, height = 0;
  bool operator==(const Sheet &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Sheet &s) {
  return os << s.printer << " " << s.dpi << " dpi " << s.width << " x " << s.height;
}

class PrinterCacheTest : public PrintersTest {
 protected:
  // One document on the default printer (EMF output, dropped before it is
  // written): the printer and the sheet its page metrics came from.
  static Sheet Document() {
    NxSetDevice(5);
    NxBeginDoc();
    EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
    Sheet s{nx::WideToAnsi(nx::SysPrinter().Entry().Device), NxGetPrinterCaps(LOGPIXELSX),
            NxGetPrinterCaps(PHYSICALWIDTH), NxGetPrinterCaps(PHYSICALHEIGHT)};
    NxAbort();
    return s;
  }
};

// The built-in printer is made once; a configuration file that appears,
// changes or goes away is read for the next document.
TEST_F(PrinterCacheTest, VirtualPrintersAreReadAgainOnlyWhenTheirFileChanges) {
  ASSERT_EQ(NxInit(), 0);
  const Sheet builtIn = Document();
  EXPECT_EQ(builtIn, (Sheet{"Noxtrel Virtual Printer", 600, 4960, 7015}));
  const unsigned long reads = VirtualPrinterReads();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Document(), builtIn);
  EXPECT_EQ(VirtualPrinterReads(), reads);

  const std::string path = dir_.file("printers.ini");
  env_.Set("NOXTREL_PRINTERS", path);
  std::ofstream(path) << "[Mine]\nResolution = 600\nMargins = 0\n";
  EXPECT_EQ(Document(), (Sheet{"Mine", 600, 4960, 7015}));
  // Rewritten at once, in place and at the same length.
  std::ofstream(path) << "[Mine]\nResolution = 300\nMargins = 0\n";
  EXPECT_EQ(Document(), (Sheet{"Mine", 300, 2480, 3507}));
  // A file that has not changed for some seconds is kept too.
  std::this_thread::sleep_for(3100ms);
  EXPECT_EQ(Document(), (Sheet{"Mine", 300, 2480, 3507}));
  const unsigned long fileReads = VirtualPrinterReads();
  EXPECT_EQ(Document(), (Sheet{"Mine", 300, 2480, 3507}));
  EXPECT_EQ(VirtualPrinterReads(), fileReads);
  std::ofstream(path) << "[Mine]\nResolution = 600\nMargins = 0\n";
  EXPECT_EQ(Document(), (Sheet{"Mine", 600, 4960, 7015}));
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(Document(), builtIn);
}

// A long printer list (more than the first buffer of the list holds) comes
// whole.
TEST_F(PrinterCacheTest, LongPrinterListsComeWhole) {
  std::string ini;
  for (int i = 0; i < 150; ++i) ini += "[Printer number " + std::to_string(i) + " of a long list]\n";
  VirtualPrinters(ini);
  ASSERT_EQ(NxInit(), 0);
  ASSERT_EQ(NxGetPrinterCount(), 150);
  EXPECT_EQ(Name(NxGetPrinterNames, 149), "Printer number 149 of a long list");
  EXPECT_EQ(NxGetDefaultPrinter(), 0);
  EXPECT_EQ(Document().printer, "Printer number 0 of a long list");
}

// One queue, the default, with Letter (default) and Legal at 300 dpi: the
// session's A4 is not among its papers, so documents take the queue's
// default paper.
class CupsCacheTest : public PrinterCacheTest {
 protected:
  void SetUp() override {
    PrinterCacheTest::SetUp();
    cupsd_ = std::make_unique<PrivateCupsd>();
    if (!cupsd_->ok()) return;
    ASSERT_TRUE(cupsd_->AddQueue("NxPlain", PlainPpd(), device_.port())) << cupsd_->ErrorLog();
    ASSERT_TRUE(cupsd_->SetDefault("NxPlain"));
  }
  void TearDown() override {
    PrinterCacheTest::TearDown();
    cupsd_.reset();
  }
  void Admin(const std::string &args) {
    CommandResult r = cupsd_->Client("lpadmin " + args);
    ASSERT_EQ(r.exitCode, 0) << r.output << cupsd_->ErrorLog();
  }
  // The scheduler stamps changes in whole seconds: a model read in the
  // second of the queue's last change is not kept. Waits for the next one.
  static void LetTheChangeSecondPass() { std::this_thread::sleep_for(1100ms); }

  AppSocketListener device_;
  std::unique_ptr<PrivateCupsd> cupsd_;
};

const Sheet kLetter{"NxPlain", 300, 2550, 3300};
const Sheet kLegal{"NxPlain", 300, 2550, 4200};

TEST_F(CupsCacheTest, RepeatedDocumentsDoNotReadTheQueueAgain) {
  NX_REQUIRE_CUPSD(*cupsd_);
  LetTheChangeSecondPass();
  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(Document(), kLetter);
  const unsigned long reads = CupsModelReads();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Document(), kLetter);
  EXPECT_EQ(CupsModelReads(), reads);
  // The driver's lists answer from the kept model too, and still agree.
  EXPECT_EQ(DriverNumbers("NxPlain", DC_PAPERS), (std::vector<int32_t>{DMPAPER_LETTER, DMPAPER_LEGAL}));
  EXPECT_EQ(CupsModelReads(), reads);
}

// The system default printer as NxSetPrinter(-1) finds it.
std::string SystemDefault() {
  NxSetPrinter(-1);
  EXPECT_EQ(NxGetLastError(), 0);
  return nx::WideToAnsi(nx::SysPrinter().Entry().Device);
}

TEST_F(CupsCacheTest, TheQueueListIsReadAgainOnlyWhenItChanged) {
  NX_REQUIRE_CUPSD(*cupsd_);
  LetTheChangeSecondPass();
  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(Document(), kLetter);
  const unsigned long reads = nx::spool::CupsListReads();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Document(), kLetter);
  EXPECT_EQ(NxGetPrinterCount(), 2);
  EXPECT_EQ(SystemDefault(), "NxPlain");
  EXPECT_EQ(nx::spool::CupsListReads(), reads);

  // A queue added (before NxPlain in the list) and made the default, in the
  // same second as the list was last read; then the default moved back.
  ASSERT_TRUE(cupsd_->AddQueue("NxBins", TestPpd(), device_.port())) << cupsd_->ErrorLog();
  EXPECT_EQ(NxGetPrinterCount(), 3);
  EXPECT_EQ(Name(NxGetPrinterNames, 0), "NxBins");
  EXPECT_EQ(SystemDefault(), "NxPlain");
  ASSERT_TRUE(cupsd_->SetDefault("NxBins"));
  EXPECT_EQ(SystemDefault(), "NxBins");
  ASSERT_TRUE(cupsd_->SetDefault("NxPlain"));
  EXPECT_EQ(SystemDefault(), "NxPlain");
  // A list kept over seconds, then the default changed and a queue removed.
  LetTheChangeSecondPass();
  EXPECT_EQ(SystemDefault(), "NxPlain");
  ASSERT_TRUE(cupsd_->SetDefault("NxBins"));
  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(NxGetDefaultPrinter(), 0);
  EXPECT_EQ(Document().printer, "NxBins");
  ASSERT_TRUE(cupsd_->RemoveQueue("NxBins"));
  EXPECT_EQ(NxGetPrinterCount(), 2);
  EXPECT_EQ(SystemDefault(), "NxPlain");  // no server default: the first
  // The user's own default destination (LPDEST) goes before the server's.
  ASSERT_TRUE(cupsd_->AddQueue("NxBins", TestPpd(), device_.port())) << cupsd_->ErrorLog();
  EXPECT_EQ(SystemDefault(), "NxBins");  // the first again
  env_.Set("LPDEST", "NxPlain");
  EXPECT_EQ(SystemDefault(), "NxPlain");
}

TEST_F(CupsCacheTest, AdministratorsChangesReachTheNextDocument) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_EQ(NxInit(), 0);
  // Within the second of the queue's creation: the changes share its stamp.
  EXPECT_EQ(Document(), kLetter);
  Admin("-p NxPlain -o PageSize=Legal");
  EXPECT_EQ(Document(), kLegal);
  Admin("-p NxPlain -o PageSize=Letter");
  EXPECT_EQ(Document(), kLetter);

  // A model kept over seconds, then the default paper changed.
  LetTheChangeSecondPass();
  EXPECT_EQ(Document(), kLetter);
  EXPECT_EQ(Document(), kLetter);
  const unsigned long reads = CupsModelReads();
  Admin("-p NxPlain -o PageSize=Legal");
  EXPECT_EQ(Document(), kLegal);
  EXPECT_GT(CupsModelReads(), reads);

  // A new PPD: 600 dpi with A4, the session's paper.
  LetTheChangeSecondPass();
  EXPECT_EQ(Document(), kLegal);
  const std::string ppd = dir_.file("replacement.ppd");
  std::ofstream(ppd) << TestPpd();
  Admin("-p NxPlain -P " + ShellQuote(ppd));
  EXPECT_EQ(Document(), (Sheet{"NxPlain", 600, 4960, 7015}));

  // The queue removed: the built-in printer is the default now.
  LetTheChangeSecondPass();
  Document();
  Admin("-x NxPlain");
  EXPECT_EQ(Document().printer, "Noxtrel Virtual Printer");
  // And a queue of the same name added again, with the first PPD.
  ASSERT_TRUE(cupsd_->AddQueue("NxPlain", PlainPpd(), device_.port())) << cupsd_->ErrorLog();
  ASSERT_TRUE(cupsd_->SetDefault("NxPlain"));
  EXPECT_EQ(Document(), kLetter);
}

// The device modes of the printer list are each printer's own defaults, as
// DocumentPropertiesW gives them, for queues and virtual printers alike.
TEST_F(CupsCacheTest, TheListsDeviceModesAreTheDriversDefaults) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_TRUE(cupsd_->AddQueue("NxBins", TestPpd(), device_.port())) << cupsd_->ErrorLog();
  VirtualPrinters("[Wide]\nPaper = 8\nOrientation = landscape\n[Narrow]\nPaper = 11\nBin = 4\n");
  DWORD need = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &need, &count);
  std::vector<BYTE> buf(need);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buf.data(), need, &need, &count));
  ASSERT_EQ(count, 4u);
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buf.data());
  std::vector<short> papers;
  for (DWORD i = 0; i < count; ++i) {
    std::u16string name = info[i].pPrinterName;
    SCOPED_TRACE(nx::WideToAnsi(name));
    DEVMODEW own{};
    ASSERT_EQ(DocumentPropertiesW(nullptr, nullptr, Wp(name), &own, nullptr, DM_OUT_BUFFER), 1);
    ASSERT_NE(info[i].pDevMode, nullptr);
    EXPECT_EQ(std::memcmp(info[i].pDevMode, &own, sizeof own), 0);
    papers.push_back(own.dmPaperSize);
  }
  EXPECT_EQ(papers, (std::vector<short>{DMPAPER_A4, DMPAPER_LETTER, DMPAPER_A3, DMPAPER_A5}));
  EXPECT_EQ(info[2].pDevMode->dmOrientation, DMORIENT_LANDSCAPE);
}

}  // namespace
}  // namespace nxtest
