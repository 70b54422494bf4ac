// Printer device contexts: capabilities from the printer's model and setup,
// and jobs drawn into PDF documents that reach a virtual printer's folder or
// a private cupsd queue. The PDFs are judged with qpdf and poppler.
#include <cups/cups.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/gdi/GdiInternal.h"
#include "support/SpoolEnv.h"
#include "support/cupsd.h"

namespace nxtest {
namespace {

using namespace std::chrono_literals;
const std::u16string kBuiltIn = u"Noxtrel Virtual Printer";

struct Caps {
  int tech, dpiX, dpiY, physW, physH, offX, offY, horzRes, vertRes, horzMm, vertMm;
  bool operator==(const Caps &) const = default;
};
std::ostream &operator<<(std::ostream &o, const Caps &c) {
  return o << c.tech << " " << c.dpiX << "x" << c.dpiY << " phys " << c.physW << "x" << c.physH
           << " off " << c.offX << "," << c.offY << " res " << c.horzRes << "x" << c.vertRes << " mm "
           << c.horzMm << "x" << c.vertMm;
}
Caps CapsOf(HDC dc) {
  return {GetDeviceCaps(dc, TECHNOLOGY),      GetDeviceCaps(dc, LOGPIXELSX),
          GetDeviceCaps(dc, LOGPIXELSY),      GetDeviceCaps(dc, PHYSICALWIDTH),
          GetDeviceCaps(dc, PHYSICALHEIGHT),  GetDeviceCaps(dc, PHYSICALOFFSETX),
          GetDeviceCaps(dc, PHYSICALOFFSETY), GetDeviceCaps(dc, HORZRES),
          GetDeviceCaps(dc, VERTRES),         GetDeviceCaps(dc, HORZSIZE),
          GetDeviceCaps(dc, VERTSIZE)};
}

DEVMODEW PrintSetup(short paper, short orientation, short copies = 1, short duplex = DMDUP_SIMPLEX) {
  DEVMODEW dm{};
  dm.dmSize = sizeof dm;
  dm.dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_COPIES | DM_DUPLEX;
  dm.dmPaperSize = paper;
  dm.dmOrientation = orientation;
  dm.dmCopies = copies;
  dm.dmDuplex = duplex;
  return dm;
}

// A black square of `size` device pixels at (x, y), drawn on whatever the DC
// targets now; false when it has no target (no page open).
bool Mark(HDC hdc, int x, int y, int size) {
  nx::gdi::RasterScope r(nx::gdi::DcFromHandle(hdc));
  if (!r.cr()) return false;
  cairo_rectangle(r.cr(), x, y, size, size);
  cairo_set_source_rgb(r.cr(), 0, 0, 0);
  cairo_fill(r.cr());
  return true;
}

// One page of a PDF rendered in grey at `dpi`.
struct Gray {
  int w = 0, h = 0;
  std::vector<unsigned char> px;
  int at(int x, int y) const { return px[(size_t)y * w + x]; }
};
Gray Render(const std::string &pdf, int page, int dpi, const std::string &dir) {
  std::string out = dir + "/page";
  RunCommand("pdftoppm -gray -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
             std::to_string(page) + " -singlefile " + ShellQuote(pdf) + " " + ShellQuote(out));
  std::vector<unsigned char> b = ReadFileBytes(out + ".pgm");
  Gray g;
  int maxv = 0, n = 0;
  if (std::sscanf((const char *)b.data(), "P5 %d %d %d%n", &g.w, &g.h, &maxv, &n) != 3) return {};
  g.px.assign(b.begin() + n + 1, b.end());
  if (g.px.size() != (size_t)g.w * g.h) return {};
  return g;
}

// "Pages" and the first page's size in points from pdfinfo.
struct Info {
  int pages = 0;
  double w = 0, h = 0;
  std::string title;
};
Info PdfInfo(const std::string &pdf) {
  CommandResult r = RunCommand("pdfinfo " + ShellQuote(pdf));
  Info i;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    std::sscanf(line.c_str(), "Pages: %d", &i.pages);
    std::sscanf(line.c_str(), "Page size: %lf x %lf", &i.w, &i.h);
    if (line.rfind("Title:", 0) == 0) i.title = line.substr(line.find_first_not_of(" ", 6));
  }
  return i;
}

TEST_F(SpoolTest, PrinterDcCapsComeFromThePrinterAndItsSetup) {
  HDC dc = CreateDCW(nullptr, kBuiltIn.c_str(), nullptr, nullptr);
  ASSERT_NE(dc, nullptr) << GetLastError();
  // A4 at 600 dpi with 100-pixel margins all round.
  EXPECT_EQ(CapsOf(dc), (Caps{DT_RASPRINTER, 600, 600, 4960, 7015, 100, 100, 4760, 6815, 202, 289}));
  DeleteDC(dc);

  DEVMODEW dm = PrintSetup(DMPAPER_LETTER, DMORIENT_LANDSCAPE);
  dc = CreateDCW(u"WINSPOOL", kBuiltIn.c_str(), nullptr, &dm);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(CapsOf(dc), (Caps{DT_RASPRINTER, 600, 600, 6600, 5100, 100, 100, 6400, 4900, 271, 207}));
  DeleteDC(dc);
  HDC ic = CreateICW(nullptr, kBuiltIn.c_str(), nullptr, &dm);
  ASSERT_NE(ic, nullptr);
  EXPECT_EQ(GetDeviceCaps(ic, PHYSICALWIDTH), 6600);
  DeleteDC(ic);

  SetLastError(0);
  EXPECT_EQ(CreateDCW(nullptr, u"No Such Printer", nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PRINTER_NAME);
  DEVMODEW shortDm{};
  shortDm.dmSize = 10;
  EXPECT_EQ(CreateDCW(nullptr, kBuiltIn.c_str(), nullptr, &shortDm), nullptr);
}

TEST_F(SpoolTest, PrinterDcJobIsOnePdfWithThePagesDrawn) {
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("pdftoppm");
  HDC dc = CreateDCW(nullptr, kBuiltIn.c_str(), nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  std::u16string title = u"Two pages";
  DOCINFOW di{sizeof di, title.c_str(), nullptr, nullptr, 0};
  EXPECT_EQ(StartPage(dc), SP_ERROR);  // no job yet
  int job = StartDocW(dc, &di);
  ASSERT_GT(job, 0) << GetLastError();
  EXPECT_EQ(StartDocW(dc, &di), SP_ERROR);  // one job at a time
  EXPECT_FALSE(Mark(dc, 0, 0, 4760));       // no page open: dropped
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_TRUE(Mark(dc, 0, 0, 100));  // the printable area's corner
  ASSERT_GT(EndPage(dc), 0);
  EXPECT_FALSE(Mark(dc, 0, 0, 4760));
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_TRUE(Mark(dc, 4760 - 100, 6815 - 100, 100));  // its far corner
  ASSERT_GT(EndPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0) << GetLastError();
  EXPECT_EQ(EndDoc(dc), SP_ERROR);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SPL_NO_STARTDOC);
  DeleteDC(dc);

  std::string pdf = SpoolDir() + "/job-" + std::to_string(job) + ".pdf";
  ASSERT_TRUE(std::filesystem::exists(pdf));
  CommandResult check = RunCommand("qpdf --check " + ShellQuote(pdf));
  EXPECT_EQ(check.exitCode, 0) << check.output;
  Info info = PdfInfo(pdf);
  EXPECT_EQ(info.pages, 2);
  EXPECT_NEAR(info.w, 210 / 25.4 * 72, 0.01);
  EXPECT_NEAR(info.h, 297 / 25.4 * 72, 0.01);
  EXPECT_EQ(info.title, "Two pages");
  // At 60 dpi a printer pixel is a tenth of a pixel: the marks cover sheet
  // pixels 10-20 of page 1 and 476-486 x 681-691 of page 2.
  Gray p1 = Render(pdf, 1, 60, dir_.path().string());
  ASSERT_EQ(p1.w, 497);  // 496.06 rounded up
  EXPECT_LT(p1.at(15, 15), 40);
  EXPECT_GT(p1.at(7, 15), 215);
  EXPECT_GT(p1.at(15, 23), 215);
  EXPECT_GT(p1.at(481, 686), 215);
  Gray p2 = Render(pdf, 2, 60, dir_.path().string());
  ASSERT_EQ(p2.w, 497);
  EXPECT_LT(p2.at(481, 686), 40);
  EXPECT_GT(p2.at(481, 694), 215);
  EXPECT_GT(p2.at(473, 686), 215);
  EXPECT_GT(p2.at(15, 15), 215);
}

TEST_F(SpoolTest, PrinterDcLandscapeJobPrintsToTheNamedFile) {
  NX_REQUIRE_TOOL("pdftoppm");
  DEVMODEW dm = PrintSetup(DMPAPER_LETTER, DMORIENT_LANDSCAPE);
  HDC dc = CreateDCW(nullptr, kBuiltIn.c_str(), nullptr, &dm);
  std::filesystem::create_directories(dir_.file("out"));
  std::u16string file = W(dir_.file("out")) + u"\\wide.pdf";
  DOCINFOW di{sizeof di, nullptr, file.c_str(), nullptr, 0};
  ASSERT_GT(StartDocW(dc, &di), 0) << GetLastError();
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_TRUE(Mark(dc, 6400 - 100, 0, 100));  // the top right corner
  ASSERT_GT(EndDoc(dc), 0);  // ends the open page too
  DeleteDC(dc);
  EXPECT_FALSE(std::filesystem::exists(SpoolDir()) && !std::filesystem::is_empty(SpoolDir()));
  std::string pdf = dir_.file("out/wide.pdf");
  auto perms = std::filesystem::status(pdf).permissions();
  EXPECT_NE(perms & std::filesystem::perms::others_read, std::filesystem::perms::none);
  Info info = PdfInfo(pdf);
  EXPECT_EQ(info.pages, 1);
  EXPECT_NEAR(info.w, 792, 0.01);
  EXPECT_NEAR(info.h, 612, 0.01);
  Gray g = Render(pdf, 1, 60, dir_.path().string());
  ASSERT_EQ(g.w, 660);
  EXPECT_LT(g.at(645, 15), 40);  // sheet pixels 6400-6500 / 100-200
  EXPECT_GT(g.at(645, 23), 215);
  EXPECT_GT(g.at(653, 15), 215);
}

TEST_F(SpoolTest, PrinterDcAbortedOrRefusedJobsLeaveNothing) {
  HDC dc = CreateDCW(nullptr, kBuiltIn.c_str(), nullptr, nullptr);
  DOCINFOW di{sizeof di, u"dropped", nullptr, nullptr, 0};
  ASSERT_GT(StartDocW(dc, &di), 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_TRUE(Mark(dc, 0, 0, 100));
  EXPECT_GT(AbortDoc(dc), 0);
  EXPECT_EQ(EndPage(dc), SP_ERROR);  // what a caller does after aborting
  EXPECT_FALSE(Mark(dc, 0, 0, 100));
  // A DC deleted in the middle of a job drops it.
  ASSERT_GT(StartDocW(dc, &di), 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_TRUE(std::filesystem::is_empty(SpoolDir()));

  // A folder below a regular file cannot be made: the job is refused.
  std::string blocker = dir_.file("blocker");
  std::ofstream(blocker) << "x";
  env_.Set("NOXTREL_SPOOL", blocker + "/spool");
  dc = CreateDCW(nullptr, kBuiltIn.c_str(), nullptr, nullptr);
  EXPECT_EQ(StartDocW(dc, &di), SP_ERROR);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(StartPage(dc), SP_ERROR);
  EXPECT_FALSE(Mark(dc, 0, 0, 100));
  DeleteDC(dc);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(StartDocW(screen, &di), SP_ERROR);
  ReleaseDC(nullptr, screen);
}

// A Get-Job-Attributes answer's values, as text.
std::string JobAttribute(int job, const char *name) {
  ipp_t *req = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  char uri[64];
  std::snprintf(uri, sizeof uri, "ipp://localhost/jobs/%d", job);
  ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
  ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ipp_t *resp = cupsDoRequest(CUPS_HTTP_DEFAULT, req, "/");
  std::string out;
  if (ipp_attribute_t *a = ippFindAttribute(resp, name, IPP_TAG_ZERO)) {
    char buf[256];
    ippAttributeString(a, buf, sizeof buf);
    out = buf;
  }
  ippDelete(resp);
  return out;
}

TEST_F(SpoolTest, PrinterDcOnACupsQueue) {
  NX_REQUIRE_TOOL("qpdf");
  AppSocketListener printer;
  PrivateCupsd cupsd;
  NX_REQUIRE_CUPSD(cupsd);
  ASSERT_TRUE(cupsd.AddQueue("NxTest", TestPpd(), printer.port())) << cupsd.ErrorLog();
  // The driver's A4 with 12-point margins: 100 pixels at 600 dpi.
  HDC dc = CreateDCW(nullptr, u"NxTest", nullptr, nullptr);
  ASSERT_NE(dc, nullptr) << GetLastError();
  EXPECT_EQ(CapsOf(dc), (Caps{DT_RASPRINTER, 600, 600, 4960, 7015, 100, 100, 4760, 6815, 202, 289}));
  DeleteDC(dc);

  DEVMODEW dm = PrintSetup(DMPAPER_LETTER, DMORIENT_PORTRAIT, 2, DMDUP_VERTICAL);
  dm.dmFields |= DM_DEFAULTSOURCE;
  dm.dmDefaultSource = DMBIN_MANUAL;
  dc = CreateDCW(nullptr, u"NxTest", nullptr, &dm);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 5100);
  DOCINFOW di{sizeof di, u"Three pages", nullptr, nullptr, 0};
  int job = StartDocW(dc, &di);
  ASSERT_GT(job, 0) << GetLastError();
  for (int i = 0; i < 3; ++i) {
    ASSERT_GT(StartPage(dc), 0);
    EXPECT_TRUE(Mark(dc, 100 * i, 0, 100));
    ASSERT_GT(EndPage(dc), 0);
  }
  ASSERT_GT(EndDoc(dc), 0) << GetLastError() << cupsd.ErrorLog();
  DeleteDC(dc);
  auto got = printer.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value()) << cupsd.ErrorLog();
  // One PDF, repeated when the queue's backend makes the copies itself.
  std::string bytes(got->begin(), got->end());
  size_t end = bytes.find("%%EOF\n");
  ASSERT_NE(end, std::string::npos);
  std::string one = bytes.substr(0, end + 6);
  EXPECT_EQ(bytes.size() % one.size(), 0u);
  for (size_t at = 0; at < bytes.size(); at += one.size())
    EXPECT_EQ(bytes.compare(at, one.size(), one), 0) << "copy at " << at;
  std::string pdf = dir_.file("received.pdf");
  WriteFileBytes(pdf, std::vector<unsigned char>(one.begin(), one.end()));
  CommandResult check = RunCommand("qpdf --check " + ShellQuote(pdf));
  EXPECT_EQ(check.exitCode, 0) << check.output;
  Info info = PdfInfo(pdf);
  EXPECT_EQ(info.pages, 3);
  EXPECT_NEAR(info.w, 612, 0.1);
  EXPECT_NEAR(info.h, 792, 0.1);
  EXPECT_EQ(JobAttribute(job, "copies"), "2");
  EXPECT_EQ(JobAttribute(job, "sides"), "two-sided-long-edge");
  EXPECT_EQ(JobAttribute(job, "media"), "na_letter_8.5x11in");
  EXPECT_EQ(JobAttribute(job, "media-source"), "manual");
  EXPECT_EQ(JobAttribute(job, "orientation-requested"), "portrait");
  EXPECT_EQ(JobAttribute(job, "job-name"), "Three pages");
  EXPECT_EQ(JobAttribute(job, "document-format"), "application/pdf");

  // An aborted job is cancelled and never reaches the printer.
  dc = CreateDCW(nullptr, u"NxTest", nullptr, nullptr);
  job = StartDocW(dc, &di);
  ASSERT_GT(job, 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_GT(AbortDoc(dc), 0);
  DeleteDC(dc);
  EXPECT_TRUE(cupsd.WaitIdle(10s));
  EXPECT_EQ(JobAttribute(job, "job-state"), "canceled");
  // A queue removed during a job fails EndDoc, and nothing prints.
  ASSERT_GT(StartDocW(dc = CreateDCW(nullptr, u"NxTest", nullptr, nullptr), &di), 0);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_TRUE(cupsd.RemoveQueue("NxTest"));
  EXPECT_EQ(EndDoc(dc), SP_ERROR);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PRINTER_DELETED);
  DeleteDC(dc);
  EXPECT_FALSE(printer.WaitJob(1, 2s).has_value());
}

}  // namespace
}  // namespace nxtest
