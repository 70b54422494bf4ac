// Device type 1: documents printed through the spooler, on the built-in
// virtual printer (jobs become PDF files in its folder) and on a queue of a
// private cupsd whose device is an AppSocket listener owned by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "noxtrel.h"
#include "session/Library.h"
#include "session/Session.h"
#include "spool/SpoolEnv.h"
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

void PrintPages(int pages) {
  NxBeginDoc();
  for (int i = 1; i < pages; ++i) NxNewPage();
  NxEndDoc();
}

class PrintJobTest : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
  }
  void TearDown() override { nx::UnloadLibraryState(); }
};

TEST_F(PrintJobTest, AJobOnTheVirtualPrinterHasEveryPage) {
  ASSERT_EQ(NxInit(), 0);
  NxSetTitle("Three pages");
  PrintPages(3);
  EXPECT_EQ(NxGetLastError(), 0);
  std::string job = SpoolDir() + "/job-1.pdf";
  ASSERT_TRUE(fs::exists(job));
  std::string info = PdfInfo(job);
  EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;

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
