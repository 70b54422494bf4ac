// Documents through the exports on the built-in virtual printer (600 dpi,
// A4, 100-pixel margins), with no CUPS server: NxInit, NxBeginDoc,
// NxNewPage, NxEndDoc, NxAbort and the EMF page files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/NxPrinter.h"
#include "noxtrel.h"
#include "session/ErrorChannel.h"
#include "session/Library.h"
#include "session/Session.h"
#include "session/Strings.h"
#include "spool/SpoolEnv.h"

namespace {

namespace fs = std::filesystem;

class DocFlowTest : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    nx::ClearLastNxError();
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  static std::string FileName() { return nx::WideToAnsi(nx::Session().FileName); }
  static std::string LastErrorText() {
    char buf[512];
    NxGetLastErrorText(buf, sizeof buf);
    return buf;
  }
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
  NxEndDoc();
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

TEST_F(DocFlowTest, AFailedBeginDocLeavesNoDocumentOpen) {
  ASSERT_EQ(NxInit(), 0);
  // The printer DC opens now (the page store's devices begin documents);
  // print jobs on the printer device are not wired in this build.
  for (int device : {1}) {
    NxSetDevice(device);
    NxBeginDoc();
    EXPECT_FALSE(nx::DocumentOpen()) << device;
    EXPECT_NE(NxGetLastError(), 0) << device;
    EXPECT_EQ(nx::PageStore().PagesCount(), 0);
    NxNewPage();  // no document: nothing
    EXPECT_EQ(nx::PageStore().PagesCount(), 0);
    NxEndDoc();  // only clears and resets
    EXPECT_EQ(nx::Session().Device, 1);
  }
  EXPECT_EQ(FileName(), ".\\Untitled2.pdf");
}

}  // namespace
