// Printing from the preview window: the chosen pages of the page store on
// a job of the built-in virtual printer (a PDF file in its folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "device/Device.h"
#include "device/NxPrinter.h"
#include "device/SysPrinter.h"
#include "noxtrel.h"
#include "preview/Preview.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"

namespace nxtest {
namespace {

namespace fs = std::filesystem;

class PreviewPrintTest : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  // Records a document of `count` pages reading "Page 1" ... on the page
  // store, and closes its last page without showing it.
  const std::vector<nx::TPageMetafile> &Record(int count) {
    EXPECT_EQ(NxInit(), 0);
    NxSetDevice(2);
    NxBeginDoc();
    for (int i = 1; i <= count; ++i) {
      if (i > 1) NxNewPage();
      NxTextOut(200000, 200000, ("Page " + std::to_string(i)).c_str());
    }
    nx::Device().EndDoc();
    return nx::PageStore().PagesList();
  }

  // pdfinfo's page count and pdftotext's words of the one job printed.
  std::pair<int, std::string> Job() {
    const std::string job = SpoolDir() + "/job-1.pdf";
    EXPECT_TRUE(fs::exists(job));
    EXPECT_FALSE(fs::exists(SpoolDir() + "/job-2.pdf"));
    CommandResult info = RunCommand("pdfinfo " + ShellQuote(job));
    int pages = -1;
    if (size_t at = info.output.find("Pages:"); at != std::string::npos) pages = std::stoi(info.output.substr(at + 6));
    CommandResult text = RunCommand("pdftotext -layout " + ShellQuote(job) + " -");
    return {pages, text.output};
  }
};

TEST_F(PreviewPrintTest, ARangeInsideTheDocumentPrintsExactlyItsPagesWithoutABlankSheet) {
  NX_REQUIRE_TOOL("pdfinfo");
  const auto &pages = Record(5);
  ASSERT_EQ(pages.size(), 5u);
  nx::TSysPrinter printer;
  printer.Select(-1);
  nx::preview::PrintPages(printer, pages, false, 2, 3);
  auto [count, text] = Job();
  EXPECT_EQ(count, 2);
  EXPECT_NE(text.find("Page 2"), std::string::npos) << text;
  EXPECT_NE(text.find("Page 3"), std::string::npos) << text;
  EXPECT_EQ(text.find("Page 1"), std::string::npos) << text;
  EXPECT_EQ(text.find("Page 4"), std::string::npos) << text;
}

TEST_F(PreviewPrintTest, AllPagesAndARangeEndingOnTheLastPage) {
  NX_REQUIRE_TOOL("pdfinfo");
  const auto &pages = Record(3);
  nx::TSysPrinter printer;
  printer.Select(-1);
  nx::preview::PrintPages(printer, pages, true, 0, 0);
  EXPECT_EQ(Job().first, 3);
  fs::remove(SpoolDir() + "/job-1.pdf");
  nx::preview::PrintPages(printer, pages, false, 3, 3);
  // The spooler numbers on; the second job is the only file now.
  int files = 0;
  for (const auto &e : fs::directory_iterator(SpoolDir())) {
    ++files;
    CommandResult info = RunCommand("pdfinfo " + ShellQuote(e.path().string()));
    EXPECT_NE(info.output.find("Pages:           1"), std::string::npos) << info.output;
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace nxtest
