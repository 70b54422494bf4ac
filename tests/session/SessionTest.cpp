// The session record through the exports: load values, the per-document
// reset, and the filters and conditions of the setters and getters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/Strings.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Session.h"

namespace {

// Every test starts from a freshly loaded library.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nx::UnloadLibraryState();
    nx::LoadLibraryState();
  }
  static std::string Title() {
    char buf[256];
    NxGetTitle(buf);
    return buf;
  }
  static std::string FileName() { return nx::WideToAnsi(nx::Session().FileName); }
};

TEST_F(SessionTest, LoadValuesBeforeInit) {
  EXPECT_EQ(NxGetUnit(), 0);
  EXPECT_EQ(NxGetCopies(), 1);
  EXPECT_EQ(NxGetPageSize(), 9);
  EXPECT_EQ(NxGetOrientation(), 1);
  EXPECT_EQ(NxGetDuplex(), 0);
  EXPECT_EQ(NxGetFontSize(), 0);
  EXPECT_EQ(NxGetUseDIB(), 0);
  EXPECT_EQ(NxGetMaxWidth(), 0);
  EXPECT_EQ(NxGetMaxHeight(), 0);
  EXPECT_EQ(Title(), "");
  const nx::TNoxtrelRec &s = nx::Session();
  EXPECT_EQ(s.TextRows, 56);
  EXPECT_EQ(s.TextCols, 80);
  EXPECT_EQ(s.FileNum, 1);
  EXPECT_EQ(s.Device, 0);
  EXPECT_EQ(s.PreviewInfo.State, 4);
  EXPECT_EQ(s.PreviewInfo.ZoomLevel, -1);
  EXPECT_EQ(s.PreviewInfo.Width, -1);
  EXPECT_EQ(s.PreviewInfo.BGColor, 0x5F5F5F);
  EXPECT_EQ(static_cast<uint32_t>(s.PreviewInfo.ToolBarColor), 0xFF00000Fu);
}

TEST_F(SessionTest, ResetGivesDocumentDefaultsAndKeepsTheRest) {
  NxSetCoorSystem(1);
  NxSetUseDIB(1);
  NxSetPWState(2);
  NxSetFontSize(80000);
  NxSetDevice(3);
  NxSetPDFVersion(5);
  nx::ResetSession();
  EXPECT_EQ(NxGetDuplex(), 1);
  EXPECT_EQ(NxGetUnit(), 1);
  EXPECT_EQ(NxGetFontSize(), 120000);
  EXPECT_EQ(NxGetFontBColor(), -255);
  EXPECT_EQ(NxGetFontFColor(), -1);
  EXPECT_EQ(NxGetBorderThickness(), 10000);
  EXPECT_EQ(NxGetFillPattern(), 1);
  EXPECT_EQ(NxGetCPI(), 10);
  EXPECT_EQ(NxGetLPI(), 6);
  EXPECT_EQ(Title(), "Untitled");
  char font[64];
  NxGetFontName(font);
  EXPECT_STREQ(font, "Courier New");
  const nx::TNoxtrelRec &s = nx::Session();
  EXPECT_EQ(s.Device, 1);
  EXPECT_FALSE(s.PDFMode);
  EXPECT_EQ(s.PDFVersion, 2);
  EXPECT_EQ(s.TextRows, 63);
  EXPECT_DOUBLE_EQ(s.MMVert, 25.4 / 6);
  // Not part of the reset.
  EXPECT_EQ(NxGetCoorSystem(), 1);
  EXPECT_EQ(NxGetUseDIB(), 1);
  EXPECT_EQ(s.PreviewInfo.State, 2);
}

TEST_F(SessionTest, EachResetNamesTheNextDefaultFile) {
  nx::ResetSession();
  EXPECT_EQ(FileName(), ".\\Untitled1.pdf");
  NxSetFileName("C:\\out\\x.pdf");
  nx::ResetSession();
  EXPECT_EQ(FileName(), ".\\Untitled2.pdf");
  EXPECT_EQ(nx::Session().FileNum, 3);
}

TEST_F(SessionTest, PdfSettersActOnlyInPdfOrRtfMode) {
  nx::ResetSession();
  NxSetPDFVersion(3);
  NxSetPDFOwnerPassword("secret");
  NxShowPDF(1);
  EXPECT_EQ(nx::Session().PDFVersion, 2);
  EXPECT_TRUE(nx::Session().PDFPassword.empty());
  EXPECT_FALSE(nx::Session().PDFShow);
  EXPECT_EQ(NxGetPrinter(), nx::Session().CurPrinter);

  NxSetDevice(6);
  NxSetPDFVersion(3);
  NxSetPDFOwnerPassword("secret");
  NxShowPDF(2);  // only 1 is true
  EXPECT_EQ(nx::Session().PDFVersion, 3);
  EXPECT_EQ(nx::WideToAnsi(nx::Session().PDFPassword), "secret");
  EXPECT_FALSE(nx::Session().PDFShow);
  EXPECT_EQ(NxGetPrinter(), -1);

  NxSetDevice(5);
  EXPECT_FALSE(nx::Session().PDFMode);
  EXPECT_TRUE(nx::Session().PreviewMode);
  NxSetPDFEmbeddedFonts(2);
  EXPECT_EQ(nx::Session().PDFFontEmbedding, 0);
}

TEST_F(SessionTest, SetterFilters) {
  NxSetPaperBin(0);
  NxSetPaperBin(-3);
  EXPECT_EQ(NxGetPaperBin(), 0);
  NxSetPaperBin(7);
  EXPECT_EQ(NxGetPaperBin(), 7);
  NxSetPageSize(257);
  EXPECT_EQ(NxGetPageSize(), 257);
  NxSetOrientation(3);
  NxSetOrientation(0);
  EXPECT_EQ(NxGetOrientation(), 1);

  NxSetPWColors(-999, 255, -999, -999);
  const nx::TPreviewInfo &p = nx::Session().PreviewInfo;
  EXPECT_EQ(p.BGColor, 0x5F5F5F);
  EXPECT_EQ(p.PaperColor, 255);
  EXPECT_EQ(p.ShadowColor, 0);
  NxSetPWState(5);
  NxSetPWState(-1);
  EXPECT_EQ(p.State, 4);
  NxSetPWState(0);
  EXPECT_EQ(p.State, 0);
  NxSetPWBounds(10, 20, 300, 400);
  EXPECT_EQ(p.Left + p.Top + p.Width + p.Height, 730);
  NxSetPWZoomLevel(3);
  EXPECT_TRUE(p.Zoomed);

  NxSetDecimalSep(0x1002C);  // only the low 16 bits
  EXPECT_EQ(NxGetDecimalSep(), 0x2C);
  NxSetDecimalSep(0xFFFF);
  EXPECT_EQ(NxGetDecimalSep(), 0xFFFF);

  NxSetXerox(1);
  NxSetAsciiToAnsi(-1);
  EXPECT_EQ(NxGetXerox(), 1);
  EXPECT_EQ(NxGetAsciiToAnsi(), 0);
  NxSetBorderThickness(-25000);
  EXPECT_EQ(NxGetBorderThickness(), -25000);
}

TEST_F(SessionTest, VersionStringsAreExact) {
  char buf[16];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(NxGetVersion(buf), buf);
  EXPECT_EQ(std::memcmp(buf, "3.0.4.124\0X", 11), 0);
  NxGetDocVersion(buf);
  EXPECT_STREQ(buf, "289.3");
  EXPECT_EQ(NxGetVersion(nullptr), nullptr);
}

TEST_F(SessionTest, NullStringsAreEmptyAndAnsiTextRoundTrips) {
  NxSetTitle("T\xE4tigkeit \x80");  // Windows-1252: a-umlaut, euro sign
  EXPECT_EQ(nx::Session().Title, std::u16string(u"T\u00e4tigkeit \u20ac"));
  EXPECT_EQ(Title(), "T\xE4tigkeit \x80");
  NxSetTitle(nullptr);
  NxSetFontName(nullptr);
  NxSetFileName(nullptr);
  EXPECT_EQ(Title(), "");
  EXPECT_TRUE(nx::Session().FileName.empty());
  NxGetTitle(nullptr);
  NxGetFontName(nullptr);
  EXPECT_EQ(NxGetLastError(), 0);
}

TEST_F(SessionTest, UnloadAndLoadAgainStartsOver) {
  nx::ResetSession();
  nx::ResetSession();
  EXPECT_EQ(nx::Session().FileNum, 3);
  nx::UnloadLibraryState();
  EXPECT_EQ(NxGetUnit(), 0);  // the first call after unloading loads again
  EXPECT_EQ(nx::Session().FileNum, 1);
}

}  // namespace
