// NxBarCode through the exports on a virtual label printer, saved as EMF
// pages: the image each call places, its size from the call's arguments, the
// page played back by two players decoding to the data, and the failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "BarcodeImage.h"
#include "common/ErrorChannel.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/LibraryTest.h"

namespace {

struct Blit {
  LONG x, y, cx, cy;
};

class NxBarCodeTest : public nxtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    TwoResolutionPrinters("Label", "200x150mm");
    std::filesystem::create_directories(dir_.file("out"));
  }

  // One page drawn in device pixels on printer 0 (600 dpi) or 1 (300 dpi).
  std::string Page(const std::function<void()> &draw, int printer = 0) {
    EXPECT_EQ(NxInit(), 0);
    NxSetPrinter(printer);
    NxSetDevice(5);
    NxSetFileName(dir_.file("out/doc.pdf").c_str());
    NxBeginDoc();
    NxSetUnit(4);
    draw();
    NxEndDoc();
    return dir_.file("out/Page1.emf");
  }

  // The bitmaps placed on a page, in order.
  static std::vector<Blit> Blits(const std::string &emf) {
    std::vector<Blit> out;
    std::u16string name(emf.begin(), emf.end());
    HENHMETAFILE h = GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(name.c_str()));
    EXPECT_NE(h, nullptr) << emf;
    if (!h) return out;
    auto proc = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
      if (r->iType == EMR_BITBLT) {
        auto *b = reinterpret_cast<const EMRBITBLT *>(r);
        reinterpret_cast<std::vector<Blit> *>(p)->push_back({b->xDest, b->yDest, b->cxDest, b->cyDest});
      }
      return 1;
    };
    EnumEnhMetaFile(nullptr, h, proc, &out, nullptr);
    DeleteEnhMetaFile(h);
    return out;
  }
};

TEST_F(NxBarCodeTest, ImageSizeFromTheArguments) {
  std::string emf = Page([] {
    // EAN-13, 72 points, Width 10000: narrow 10, bars 600, font 80, margins 100.
    NxBarCode(1000000, 2000000, "5901234123457", 72, 10000, 1, 7, 0, 0);
    // Code 39 with ratio 3 for selectors 0, 1, 16 and -1, without margins:
    // *AB* is four characters of 6 narrow and 3 wide elements, and 3 gaps.
    for (int32_t selector : {0, 1, 16, -1}) NxBarCode(0, 0, "AB", 72, 10000, 0, selector, 0, 0);
    // Turned: width and height swap. 25 mm = 71 points = 540 pixels of bars.
    NxBarCode(0, 0, "AB", 25, 10000, 0, 0, 1, 1);
    // EAN-8 draws no margins; text below the bars adds the font height.
    NxBarCode(0, 0, "96385074", 72, 10000, 1, 6, 0, 0);
  });
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  std::vector<Blit> b = Blits(emf);
  ASSERT_EQ(b.size(), 7u);
  EXPECT_EQ(b[0].x, 100);
  EXPECT_EQ(b[0].y, 200);
  EXPECT_EQ(b[0].cx, 100 + 95 * 10 + 100);
  EXPECT_EQ(b[0].cy, 100 + 600 + 100);  // the 80-pixel font fits the bottom margin
  const LONG code39 = 4 * (6 * 10 + 3 * 30) + 3 * 10;
  for (size_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(b[i].cx, code39) << i;
    EXPECT_EQ(b[i].cy, 600) << i;
  }
  EXPECT_EQ(b[5].cx, 540);
  EXPECT_EQ(b[5].cy, code39);
  EXPECT_EQ(b[6].cx, 67 * 10);
  EXPECT_EQ(b[6].cy, 600 + 80);
  // At 300 dpi: narrow 5, 25 mm of bars 270, font 40 (no margin to hide it).
  b = Blits(Page([] { NxBarCode(0, 0, "96385074", 25, 10000, 1, 6, 0, 1); }, 1));
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].cx, 67 * 5);
  EXPECT_EQ(b[0].cy, 270 + 40);
}

// Renders the page with emfrender and reads every code on it.
std::string ReadWithEmfrender(const std::string &emf) {
  const auto tool = nxtest::BinaryDir() / "emfrender";
  if (!std::filesystem::exists(tool)) return "emfrender is not built";
  auto r = nxtest::RunCommand(nxtest::ShellQuote(tool.string()) + " " + nxtest::ShellQuote(emf) + " " +
                              nxtest::ShellQuote(emf + ".png"));
  if (r.exitCode != 0) return r.output;
  return nxtest::RunCommand("zbarimg --nodbus --quiet " + nxtest::ShellQuote(emf + ".png") + " 2>/dev/null").output;
}

// Converts the page with emf2svg-conv, renders the SVG on white with
// ImageMagick and reads every code on it.
std::string ReadWithEmf2svg(const std::string &emf) {
  auto r = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(emf) + " -o " + nxtest::ShellQuote(emf + ".svg"));
  if (r.exitCode != 0) return r.output;
  r = nxtest::RunCommand("convert -background white " + nxtest::ShellQuote(emf + ".svg") + " -flatten " +
                         nxtest::ShellQuote(emf + ".svg.png"));
  if (r.exitCode != 0) return r.output;
  return nxtest::RunCommand("zbarimg --nodbus --quiet " + nxtest::ShellQuote(emf + ".svg.png") + " 2>/dev/null").output;
}

TEST_F(NxBarCodeTest, PagesPlayBackAndDecode) {
  NX_REQUIRE_TOOL("zbarimg");
  NX_REQUIRE_TOOL("emf2svg-conv");
  std::string emf = Page([] {
    NxBarCode(3000000, 3000000, "4006381333931", 36, 10000, 1, 7, 0, 0);
    NxBarCode(17000000, 3000000, "96385074", 36, 10000, 1, 6, 0, 0);
    NxBarCode(3000000, 12000000, "036000291452", 36, 10000, 1, 11, 0, 0);
    NxBarCode(17000000, 12000000, "01234565", 36, 10000, 1, 12, 0, 0);
    NxBarCode(3000000, 19000000, "NOXTREL-39", 36, 10000, 1, 0, 0, 0);
    NxBarCode(3000000, 25000000, "Page 1/2", 36, 10000, 0, 2, 0, 0);
    NxBarCode(30000000, 3000000, "40156", 36, 10000, 1, 13, 1, 0);
    NxBarCode(40000000, 3000000, "12345670", 36, 10000, 0, 15, 1, 0);
  });
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  // zbarimg reads UPC-A and UPC-E as EAN-13, UPC-E expanded.
  const std::string svg = ReadWithEmf2svg(emf), page = ReadWithEmfrender(emf);
  for (const char *line : {"EAN-13:4006381333931", "EAN-8:96385074", "EAN-13:0036000291452", "EAN-13:0012345000065",
                           "CODE-39:NOXTREL-39", "CODE-128:Page 1/2", "Codabar:A40156B", "I2/5:12345670"}) {
    EXPECT_NE(svg.find(line), std::string::npos) << line << " not in\n" << svg;
    EXPECT_NE(page.find(line), std::string::npos) << line << " not in\n" << page;
  }
}

TEST_F(NxBarCodeTest, SymbolsLargerThanTheSheetAreRefusedAtOnce) {
  std::string emf = Page([] {
    // 68-pixel narrow bars 3276 pixels high (600 dpi): about 5,000 x 3,900
    // pixels on a sheet of 4,724 x 3,543.
    NxBarCode(0, 0, "1", 4128, 680000, 1, 0, 0, 0);
    EXPECT_EQ(NxGetLastError(), 2);
    EXPECT_NE(ErrorText().find("larger than the sheet"), std::string::npos) << ErrorText();
    nx::ClearLastNxError();
    NxBarCode(0, 0, "1", 4128, 680000, 1, 0, 1, 0);  // turned: still too tall
    EXPECT_EQ(NxGetLastError(), 2);
    nx::ClearLastNxError();
    NxBarCode(0, 0, "12345", 72, 10000, 1, 0, 0, 0);  // the page goes on
    EXPECT_EQ(NxGetLastError(), 0);
  });
  EXPECT_EQ(Blits(emf).size(), 1u) << "only the barcode that fits";
}

TEST_F(NxBarCodeTest, FailuresOnTheErrorChannel) {
  NxBarCode(0, 0, "12345", 72, 10000, 1, 0, 0, 0);  // no document: nothing, no error
  EXPECT_EQ(NxGetLastError(), 0);
  std::string emf = Page([] {
    // Twelve digits where EAN-13 without check digit needs thirteen: the image
    // comes without bars, and the error channel says why.
    NxBarCode(0, 0, "400638133393", 72, 10000, 1, 7, 0, 0);
    EXPECT_EQ(NxGetLastError(), 6);
    EXPECT_NE(ErrorText().find("400638133393"), std::string::npos) << ErrorText();
    nx::ClearLastNxError();
    // A narrow bar below one pixel, and a negative height, draw nothing.
    NxBarCode(0, 0, "AB", 72, 200, 1, 0, 0, 0);
    EXPECT_EQ(NxGetLastError(), 2);
    NxBarCode(0, 0, "AB", -72, 10000, 1, 0, 0, 0);
    EXPECT_EQ(NxGetLastError(), 2);
    // Too wide for a bitmap; lengths beyond any image.
    NxBarCode(0, 0, std::string(400, 'A').c_str(), 72, 10000, 1, 0, 0, 0);
    EXPECT_EQ(NxGetLastError(), 2);
    NxBarCode(0, 0, "AB", INT32_MAX, 10000, 1, 0, 0, 1);
    EXPECT_EQ(NxGetLastError(), 2);
    NxBarCode(0, 0, "AB", 72, INT32_MAX, 1, 0, 1, 0);
    EXPECT_EQ(NxGetLastError(), 2);
    EXPECT_NE(ErrorText().find("too large"), std::string::npos) << ErrorText();
    nx::ClearLastNxError();
    NxBarCode(0, 0, nullptr, 72, 10000, 1, 0, 0, 0);  // no text: no symbol
    EXPECT_EQ(NxGetLastError(), 6);
  });
  std::vector<Blit> b = Blits(emf);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].cx, 200);  // the margins alone
}

// Data a symbology cannot carry is never changed into data it can: the call
// draws nothing and the error channel gives code 6 and the encoder's reason.
TEST_F(NxBarCodeTest, BadDataDrawsNothingAndSaysWhy) {
  static int boxes = 0;  // Interleaved 2 of 5 also shows its conversion message
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  SetMessageBoxSink([](LPCWSTR, LPCWSTR, UINT, void *) { ++boxes; }, nullptr);
  struct Case {
    const char *code;
    int32_t selector;
    const char *why;
  } cases[] = {
      {"Gr\xFC\xDF" "e", 2, "character 3 (0xFC) is not in code set B"},
      {"Gr\xFC\xDF" "e", 4, "character 3 (0xFC) is not in code set B"},
      {"abc", 8, "character 1 ('a') is not in code set A"},
      {"12AB", 10, "character 3 is not a digit"},
      {"12AB", 5, "character 3 is not a digit"},
      {"9638507A", 6, "character 8 is not a digit"},
      {"0360002914A", 11, "character 11 is not a digit"},
      {"0123", 12, "needs exactly 8 digits"},
      {"abc", 0, "character 1 ('a') is not in the Code 39 table"},
      {"AB*CD", 0, "'*' is the start and stop character"},
      {"12X34", 13, "character 3 ('X') is not in the Codabar table"},
      {"12A45", 14, "character 3 is not a digit"},
      {"12AB34", 15, "character 3 is not a digit"},
      {"", 0, "there is no data"},
      {"", 9, "there is no data"},
      {"", 10, "there is no data"},
      {"", 14, "there is no data"},
  };
  std::string emf = Page([&] {
    for (const Case &c : cases) {
      nx::ClearLastNxError();
      NxBarCode(0, 0, c.code, 72, 10000, 1, c.selector, 0, 0);
      EXPECT_EQ(NxGetLastError(), 6) << c.code << " as " << c.selector;
      EXPECT_NE(ErrorText().find(c.why), std::string::npos) << c.code << " as " << c.selector << ": " << ErrorText();
    }
  });
  SetMessageBoxSink(nullptr, nullptr);
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(Blits(emf).empty());
}

// A narrow bar of one pixel (Width 1000 at 600 dpi) draws every bar whole,
// and the page reads back.
TEST_F(NxBarCodeTest, OnePixelBarsReadBack) {
  NX_REQUIRE_TOOL("zbarimg");
  std::string emf = Page([] {
    NxBarCode(1000000, 1000000, "CODE39", 15, 1000, 0, 0, 0, 1);
    NxBarCode(1000000, 4000000, "Page 1/2", 15, 1000, 0, 2, 0, 1);
    NxBarCode(1000000, 7000000, "4006381333931", 15, 1000, 1, 7, 0, 1);
  });
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  const std::string page = ReadWithEmfrender(emf);
  for (const char *line : {"CODE-39:CODE39", "CODE-128:Page 1/2", "EAN-13:4006381333931"})
    EXPECT_NE(page.find(line), std::string::npos) << line << " not in\n" << page;
}

}  // namespace
