// Printers through a private CUPS scheduler (these tests need cupsd; they
// skip only when it cannot start at all). The queue's device is an
// AppSocket listener owned by the test.
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "support/SpoolEnv.h"
#include "support/cupsd.h"

namespace nxtest {
namespace {

using namespace std::chrono_literals;

class CupsTest : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    cupsd_ = std::make_unique<PrivateCupsd>();
    if (!cupsd_->ok()) return;
    ASSERT_TRUE(cupsd_->AddQueue("NxTest", TestPpd(), printer_.port())) << cupsd_->ErrorLog();
  }
  void TearDown() override { cupsd_.reset(); }

  AppSocketListener printer_;
  std::unique_ptr<PrivateCupsd> cupsd_;
};

std::vector<std::u16string> PrinterNames() {
  DWORD need = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &need, &count);
  std::vector<BYTE> buf(need);
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buf.data(), need, &need, &count));
  std::vector<std::u16string> names;
  for (DWORD i = 0; i < count; ++i)
    names.emplace_back(reinterpret_cast<PRINTER_INFO_4W *>(buf.data())[i].pPrinterName);
  return names;
}

std::u16string DefaultPrinter() {
  WCHAR name[256];
  DWORD cch = 256;
  return GetDefaultPrinterW(name, &cch) ? std::u16string(name) : std::u16string();
}

HANDLE StartRaw(const std::u16string &printer, DWORD *job) {
  std::u16string name = printer, raw = u"RAW", doc = u"raw test";
  HANDLE h = nullptr;
  if (!OpenPrinterW(Wp(name), &h, nullptr)) return nullptr;
  DOC_INFO_1W di{Wp(doc), nullptr, Wp(raw)};
  *job = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
  return h;
}

// One "*Keyword Option/Text: "value"" list of a PPD: option -> value.
std::vector<std::pair<std::string, std::string>> PpdEntries(const std::string &ppd,
                                                            const std::string &keyword) {
  std::vector<std::pair<std::string, std::string>> out;
  std::istringstream in(ppd);
  std::string line;
  std::regex re("^\\*" + keyword + " ([^/:]+)(/[^:]*)?: \"([^\"]*)\"");
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_search(line, m, re)) out.emplace_back(m[1], m[3]);
  return out;
}

TEST_F(CupsTest, QueuesComeFirstThenTheVirtualPrinters) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_TRUE(cupsd_->AddQueue("Another", TestPpd(), printer_.port()));
  EXPECT_EQ(PrinterNames(),
            (std::vector<std::u16string>{u"Another", u"NxTest", u"Noxtrel Virtual Printer"}));
  EXPECT_EQ(DefaultPrinter(), u"Another");  // no CUPS default: the first
  ASSERT_TRUE(cupsd_->SetDefault("NxTest"));
  EXPECT_EQ(DefaultPrinter(), u"NxTest");
  EXPECT_EQ(PrinterNames().size(), 3u);  // the order does not change

  DWORD need = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &need, &count);
  std::vector<BYTE> buf(need);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buf.data(), need, &need, &count));
  auto *info = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(info[1].pDriverName), u"Noxtrel Test Printer");
  EXPECT_EQ(std::u16string(info[1].pPortName).rfind(u"socket://127.0.0.1:", 0), 0u);
  ASSERT_NE(info[1].pDevMode, nullptr);
  EXPECT_EQ(info[1].pDevMode->dmPaperSize, DMPAPER_A4);
  EXPECT_NE(info[1].Attributes & PRINTER_ATTRIBUTE_DEFAULT, 0u);
}

TEST_F(CupsTest, PapersAndBinsAreThoseOfTheQueuesDriver) {
  NX_REQUIRE_CUPSD(*cupsd_);
  const std::u16string q = u"NxTest";
  std::string ppd = TestPpd();
  auto dims = PpdEntries(ppd, "PaperDimension");
  auto slots = PpdEntries(ppd, "InputSlot");
  int n = DeviceCapabilitiesW(q.c_str(), nullptr, DC_PAPERS, nullptr, nullptr);
  ASSERT_EQ(n, (int)dims.size());
  EXPECT_EQ(DeviceCapabilitiesW(q.c_str(), nullptr, DC_PAPERNAMES, nullptr, nullptr), n);
  std::vector<WORD> papers(n);
  std::vector<POINT> sizes(n);
  std::vector<WCHAR> names(64 * n);
  DeviceCapabilitiesW(q.c_str(), nullptr, DC_PAPERS, reinterpret_cast<LPWSTR>(papers.data()), nullptr);
  DeviceCapabilitiesW(q.c_str(), nullptr, DC_PAPERSIZE, reinterpret_cast<LPWSTR>(sizes.data()), nullptr);
  DeviceCapabilitiesW(q.c_str(), nullptr, DC_PAPERNAMES, names.data(), nullptr);
  // In the driver's order, each the driver's size (points -> tenths of mm).
  for (int i = 0; i < n; ++i) {
    int wpt = 0, hpt = 0;
    std::sscanf(dims[i].second.c_str(), "%d %d", &wpt, &hpt);
    EXPECT_NEAR(sizes[i].x, wpt * 254.0 / 72, 10) << dims[i].first;
    EXPECT_NEAR(sizes[i].y, hpt * 254.0 / 72, 10) << dims[i].first;
  }
  EXPECT_EQ(papers, (std::vector<WORD>{DMPAPER_A4, DMPAPER_LETTER, DMPAPER_LEGAL, DMPAPER_A5,
                                       DMPAPER_ENV_10}));
  EXPECT_EQ(std::u16string(names.data() + 64 * 4), u"Envelope #10");

  int b = DeviceCapabilitiesW(q.c_str(), nullptr, DC_BINS, nullptr, nullptr);
  ASSERT_EQ(b, (int)slots.size());
  EXPECT_EQ(DeviceCapabilitiesW(q.c_str(), nullptr, DC_BINNAMES, nullptr, nullptr), b);
  std::vector<WORD> bins(b);
  DeviceCapabilitiesW(q.c_str(), nullptr, DC_BINS, reinterpret_cast<LPWSTR>(bins.data()), nullptr);
  EXPECT_EQ(bins, (std::vector<WORD>{DMBIN_UPPER, DMBIN_LOWER, DMBIN_MANUAL}));
  EXPECT_EQ(DeviceCapabilitiesW(q.c_str(), nullptr, DC_DUPLEX, nullptr, nullptr), 1);

  DEVMODEW dm{};
  std::u16string name = q;
  ASSERT_EQ(DocumentPropertiesW(nullptr, nullptr, Wp(name), &dm, nullptr, DM_OUT_BUFFER), 1);
  EXPECT_EQ(dm.dmPaperSize, DMPAPER_A4);  // the driver's DefaultPageSize
  EXPECT_EQ(dm.dmDefaultSource, DMBIN_UPPER);
  EXPECT_EQ(dm.dmDuplex, DMDUP_SIMPLEX);
}

TEST_F(CupsTest, RawBytesArriveUnchangedAsOneJob) {
  NX_REQUIRE_CUPSD(*cupsd_);
  std::string bytes;
  for (int round = 0; round < 64; ++round)
    for (int i = 0; i < 256; ++i) bytes += (char)((i * 7 + round) & 0xFF);
  bytes += std::string("\0\xff\0\xff", 4);
  DWORD job = 0;
  HANDLE h = StartRaw(u"NxTest", &job);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(job, 0u) << GetLastError();
  ASSERT_TRUE(StartPagePrinter(h));
  DWORD written = 0;
  // Written in pieces of odd sizes.
  for (size_t at = 0; at < bytes.size(); at += 1000) {
    DWORD n = (DWORD)std::min<size_t>(1000, bytes.size() - at);
    ASSERT_TRUE(WritePrinter(h, bytes.data() + at, n, &written));
    ASSERT_EQ(written, n);
  }
  ASSERT_TRUE(EndPagePrinter(h));
  ASSERT_TRUE(EndDocPrinter(h)) << GetLastError() << cupsd_->ErrorLog();
  ASSERT_TRUE(ClosePrinter(h));
  auto got = printer_.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value()) << cupsd_->ErrorLog();
  EXPECT_EQ(std::string(got->begin(), got->end()), bytes);
  EXPECT_TRUE(cupsd_->WaitIdle(10s));
  EXPECT_EQ(printer_.JobCount(), 1u);
}

TEST_F(CupsTest, QueueRemovedDuringAJobFailsTheJob) {
  NX_REQUIRE_CUPSD(*cupsd_);
  DWORD job = 0;
  HANDLE h = StartRaw(u"NxTest", &job);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(job, 0u);
  DWORD written = 0;
  EXPECT_TRUE(WritePrinter(h, (void *)"half a job", 10, &written));
  ASSERT_TRUE(cupsd_->RemoveQueue("NxTest"));
  EXPECT_FALSE(EndDocPrinter(h));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PRINTER_DELETED);
  // The handle is still there, and a new job on it is refused.
  std::u16string raw = u"RAW", doc = u"";
  DOC_INFO_1W di{Wp(doc), nullptr, Wp(raw)};
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(printer_.WaitJob(0, 2s).has_value());
}

TEST_F(CupsTest, AbortedOrUnfinishedJobsNeverPrint) {
  NX_REQUIRE_CUPSD(*cupsd_);
  DWORD job = 0;
  HANDLE h = StartRaw(u"NxTest", &job);
  ASSERT_NE(job, 0u);
  DWORD written = 0;
  EXPECT_TRUE(WritePrinter(h, (void *)"abort me", 8, &written));
  EXPECT_TRUE(AbortPrinter(h));
  EXPECT_TRUE(ClosePrinter(h));
  h = StartRaw(u"NxTest", &job);
  ASSERT_NE(job, 0u);
  EXPECT_TRUE(WritePrinter(h, (void *)"closed early", 12, &written));
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_TRUE(cupsd_->WaitIdle(10s));
  EXPECT_FALSE(printer_.WaitJob(0, 2s).has_value());
  // Both jobs ended cancelled, none completed.
  cups_job_t *jobs = nullptr;
  int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "NxTest", 0, CUPS_WHICHJOBS_ALL);
  ASSERT_EQ(n, 2);
  for (int i = 0; i < n; ++i) EXPECT_EQ(jobs[i].state, IPP_JSTATE_CANCELED);
  cupsFreeJobs(n, jobs);
}

// The state of a job of the NxTest queue, 0 when the scheduler has none.
int JobState(DWORD id) {
  cups_job_t *jobs = nullptr;
  int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "NxTest", 0, CUPS_WHICHJOBS_ALL);
  int state = 0;
  for (int i = 0; i < n; ++i)
    if (jobs[i].id == (int)id) state = jobs[i].state;
  cupsFreeJobs(n, jobs);
  return state;
}

// The scheduler aborts a job whose document has not come within its
// MultipleOperationTimeout, and then takes the document without printing it.
TEST_F(SpoolTest, CupsJobKeptOpenLongerThanTheSchedulerWaitsStillPrints) {
  AppSocketListener printer;
  PrivateCupsd cupsd("MultipleOperationTimeout 3\n");
  NX_REQUIRE_CUPSD(cupsd);
  ASSERT_TRUE(cupsd.AddQueue("NxTest", TestPpd(), printer.port())) << cupsd.ErrorLog();
  // A job someone cancels in the queue stays cancelled.
  DWORD job = 0, written = 0;
  HANDLE h = StartRaw(u"NxTest", &job);
  ASSERT_NE(job, 0u);
  EXPECT_TRUE(WritePrinter(h, (void *)"cancelled", 9, &written));
  ASSERT_EQ(cupsd.Client("cancel " + std::to_string(job)).exitCode, 0);
  EXPECT_FALSE(EndDocPrinter(h));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PRINT_CANCELLED);
  EXPECT_TRUE(ClosePrinter(h));

  h = StartRaw(u"NxTest", &job);
  ASSERT_NE(job, 0u);
  EXPECT_TRUE(WritePrinter(h, (void *)"late", 4, &written));
  for (int i = 0; i < 200 && JobState(job) != IPP_JSTATE_ABORTED; ++i)
    std::this_thread::sleep_for(100ms);
  ASSERT_EQ(JobState(job), IPP_JSTATE_ABORTED) << cupsd.ErrorLog();
  EXPECT_TRUE(WritePrinter(h, (void *)" bytes", 6, &written));
  ASSERT_TRUE(EndDocPrinter(h)) << GetLastError();
  EXPECT_TRUE(ClosePrinter(h));
  auto got = printer.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value()) << cupsd.ErrorLog();
  EXPECT_EQ(std::string(got->begin(), got->end()), "late bytes");
  EXPECT_TRUE(cupsd.WaitIdle(10s));
  EXPECT_EQ(printer.JobCount(), 1u);
}

}  // namespace
}  // namespace nxtest
