// Device type 1: documents printed through the spooler, on the built-in
// virtual printer (jobs become PDF files in its folder) and on a queue of a
// private cupsd whose device is an AppSocket listener owned by the test.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/ErrorChannel.h"
#include "device/Device.h"
#include "device/NxPrinter.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Session.h"
#include "support/LibraryTest.h"
#include "support/cupsd.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What poppler says about a PDF file.
std::string PdfInfo(const std::string &pdf) {
  nxtest::CommandResult r = nxtest::RunCommand("pdfinfo " + nxtest::ShellQuote(pdf));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output;
}

// The share of dark pixels on a page of a PDF, rendered by poppler at 20 dpi.
double DarkShare(const std::string &pdf, int page) {
  nxtest::TempDir dir;
  std::string out = dir.file("page");
  nxtest::CommandResult r = nxtest::RunCommand("pdftoppm -gray -r 20 -singlefile -f " + std::to_string(page) +
                                               " -l " + std::to_string(page) + " " + nxtest::ShellQuote(pdf) +
                                               " " + nxtest::ShellQuote(out));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  auto bytes = nxtest::ReadFileBytes(out + ".pgm");
  std::string text(bytes.begin(), bytes.end());
  int width = 0, height = 0, max = 0, used = 0;
  if (std::sscanf(text.c_str(), "P5 %d %d %d%n", &width, &height, &max, &used) != 3 || width * height == 0) return -1;
  size_t start = static_cast<size_t>(used) + 1, dark = 0;
  for (size_t i = start; i < bytes.size(); ++i) dark += bytes[i] < 128;
  return static_cast<double>(dark) / (width * height);
}

void PrintPages(int pages) {
  NxBeginDoc();
  for (int i = 1; i < pages; ++i) NxNewPage();
  NxEndDoc();
}

class PrintJobTest : public nxtest::LibraryTest {};

TEST_F(PrintJobTest, AJobOnTheVirtualPrinterHasEveryPage) {
  ASSERT_EQ(NxInit(), 0);
  NxSetTitle("Three pages");
  NxBeginDoc();
  NxNewPage();
  // Page 2: the left half of the printable area filled black, straight on
  // the printer's context.
  const nx::TNoxtrelRec &s = nx::Session();
  nx::Device().Brush()->Color = RGB(0, 0, 0);
  nx::Device().Brush()->Style = nx::TBrushStyle::Solid;
  nx::Device().Rectangle(0, 0, s.AreaWidth / 2, s.AreaHeight);
  NxNewPage();
  NxEndDoc();
  EXPECT_EQ(NxGetLastError(), 0);
  std::string job = SpoolDir() + "/job-1.pdf";
  ASSERT_TRUE(fs::exists(job));
  std::string info = PdfInfo(job);
  EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
  EXPECT_EQ(DarkShare(job, 1), 0.0);
  EXPECT_NEAR(DarkShare(job, 2), 0.46, 0.03);  // half the printable area of the sheet
  EXPECT_EQ(DarkShare(job, 3), 0.0);

  NxSetOrientation(2);
  NxSetPageSize(11);  // A5
  PrintPages(1);
  info = PdfInfo(SpoolDir() + "/job-2.pdf");
  EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
  EXPECT_NE(info.find("595.276 x 419.528 pts"), std::string::npos) << info;  // A5 landscape
}

TEST_F(PrintJobTest, AbortedJobLeavesNothing) {
  ASSERT_EQ(NxInit(), 0);
  NxBeginDoc();
  NxNewPage();
  NxAbort();
  NxEndDoc();
  EXPECT_FALSE(fs::exists(SpoolDir() + "/job-1.pdf"));
  EXPECT_EQ(NxGetLastError(), 0);
}

TEST_F(PrintJobTest, ARefusedJobOpensNoDocumentAndSaysWhy) {
  std::string blocker = dir_.file("blocker");  // the spool folder cannot be made below a file
  std::ofstream(blocker) << "x";
  env_.Set("NOXTREL_SPOOL", blocker + "/spool");
  ASSERT_EQ(NxInit(), 0);
  NxBeginDoc();
  EXPECT_EQ(NxGetLastError(), 4);
  EXPECT_EQ(NxGetPageSize(), 9);  // no document is open
  NxNewPage();
  NxEndDoc();  // only resets
  EXPECT_EQ(NxGetLastError(), 4);  // NxEndDoc itself went well and kept the report

  env_.Set("NOXTREL_SPOOL", SpoolDir());
  PrintPages(1);  // the next job goes through
  EXPECT_EQ(NxGetLastError(), 0);
  EXPECT_TRUE(fs::exists(SpoolDir() + "/job-1.pdf"));
}

// A host that changes the device type while a document is open: the document
// still ends on the surface it began on, as one job or its EMF pages, and
// does not swallow the next document.
TEST_F(PrintJobTest, ADocumentEndsWhereItBeganWhenTheDeviceTypeChanges) {
  nxtest::TempDir out;
  ASSERT_EQ(NxInit(), 0);
  NxBeginDoc();  // a print job
  NxNewPage();
  EXPECT_EQ(NxInit(), 0);  // may be called at any time; the job keeps its printer
  NxSetDevice(5);
  NxBeginDoc();  // still one document at a time
  EXPECT_FALSE(nx::PageStore().Printing());
  char text[200];
  NxGetLastErrorText(text, sizeof text);
  EXPECT_STREQ(text, "A document begun on device type 1 is still open; NxEndDoc ends it");
  nx::ClearLastNxError();
  NxEndDoc();
  EXPECT_EQ(NxGetLastError(), 0);
  EXPECT_NE(PdfInfo(SpoolDir() + "/job-1.pdf").find("Pages:           2"), std::string::npos);

  NxSetDevice(5);
  NxSetFileName((out.path().string() + "/").c_str());
  NxBeginDoc();  // EMF pages
  NxNewPage();
  NxSetDevice(1);  // the printer has no job to end
  NxEndDoc();
  EXPECT_EQ(NxGetLastError(), 0);
  EXPECT_TRUE(fs::exists(out.path() / "Page2.emf"));
  PrintPages(1);  // the next document is a job of its own
  EXPECT_NE(PdfInfo(SpoolDir() + "/job-2.pdf").find("Pages:           1"), std::string::npos);

  NxSetDevice(5);
  NxBeginDoc();
  NxSetDevice(0);
  NxAbort();  // dropped where it began
  EXPECT_FALSE(nx::PageStore().Printing());
  EXPECT_EQ(nx::PageStore().PagesCount(), 0);
  NxSetDevice(5);
  NxBeginDoc();
  EXPECT_TRUE(nx::DocumentOpen());
  NxAbort();
}

// An attribute of a job, asked of the scheduler.
std::string JobAttribute(int jobId, const char *name) {
  ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
  std::string value;
  if (ipp_attribute_t *attr = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr) {
    char buf[256];
    ippAttributeString(attr, buf, sizeof buf);
    value = buf;
  }
  ippDelete(response);
  return value;
}

TEST_F(PrintJobTest, ADocumentOnACupsQueueArrivesAsOneJob) {
  nxtest::AppSocketListener device;
  nxtest::PrivateCupsd cupsd;
  NX_REQUIRE_CUPSD(cupsd);
  ASSERT_TRUE(cupsd.AddQueue("NxTest", nxtest::TestPpd(), device.port())) << cupsd.ErrorLog();
  ASSERT_TRUE(cupsd.SetDefault("NxTest"));

  ASSERT_EQ(NxInit(), 0);
  EXPECT_EQ(NxGetDefaultPrinter(), 0);  // the queue comes before the virtual printer
  NxSetCopies(2);
  NxSetPageSize(11);  // A5
  PrintPages(2);
  EXPECT_EQ(NxGetLastError(), 0);

  auto got = device.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value()) << cupsd.ErrorLog();
  EXPECT_TRUE(cupsd.WaitIdle(10s));
  EXPECT_EQ(device.JobCount(), 1u);
  EXPECT_EQ(JobAttribute(1, "copies"), "2");
  EXPECT_EQ(JobAttribute(1, "media"), "iso_a5_148x210mm");

  // The document's pages, as the printer received them.
  nxtest::TempDir dir;
  std::string pdf = dir.file("job.pdf");
  nxtest::WriteFileBytes(pdf, *got);
  std::string info = PdfInfo(pdf);
  EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
  EXPECT_NE(info.find("419.528 x 595.276 pts"), std::string::npos) << info;  // A5 portrait
}

}  // namespace
