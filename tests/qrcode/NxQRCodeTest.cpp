// NxQRCode through the exports: printed on the virtual printer, the job's
// page decodes to the text, and the symbol's bitmap is the whole square.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "QRTestUtil.h"
#include "common/ErrorChannel.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/LibraryTest.h"

namespace {

class NxQRCodeTest : public nxtest::LibraryTest {};

TEST(QRSymbolSide, FromSizeAndResolution) {
  EXPECT_EQ(nx::QRSymbolSide(600, 200), 1251);
  EXPECT_EQ(nx::QRSymbolSide(300, 200), 625);
}

TEST_F(NxQRCodeTest, SymbolsLargerThanTheSheetAreRefusedAtOnce) {
  ASSERT_EQ(NxInit(), 0);
  NxBeginDoc();  // A4 at 600 dpi: 4,960 x 7,016 pixels
  nx::ClearLastNxError();
  NxQRCode(0, 0, "QR", 1, 5242, 1);  // a side of 32,763 pixels
  EXPECT_EQ(NxGetLastError(), 2);
  char text[300];
  NxGetLastErrorText(text, sizeof text);
  EXPECT_NE(std::string(text).find("larger than the sheet"), std::string::npos) << text;
  nx::ClearLastNxError();
  NxQRCode(0, 0, "QR", 1, 796, 1);  // 211 mm: 4,984 pixels, wider than the sheet
  EXPECT_EQ(NxGetLastError(), 2);
  nx::ClearLastNxError();
  NxQRCode(0, 0, "QR", 1, 200, 4);
  EXPECT_EQ(NxGetLastError(), 0);
  NxAbort();
}

TEST_F(NxQRCodeTest, PrintedSymbolsDecodeAndErrorsDrawNothing) {
  NX_REQUIRE_TOOL("zbarimg");
  NX_REQUIRE_TOOL("pdftoppm");
  NX_REQUIRE_TOOL("pdfimages");
  NxQRCode(100000, 100000, "no document", 1, 200, 4);  // nothing happens
  EXPECT_EQ(NxGetLastError(), 0);
  ASSERT_EQ(NxInit(), 0);
  NxBeginDoc();
  NxQRCode(200000, 200000, "Invoice 4711, total EUR 19.99", 1, 200, 4);
  // A large symbol (version 27 and up) stays whole within its square.
  std::string longText(1200, 'x');
  for (size_t i = 0; i < longText.size(); ++i) longText[i] = char('a' + (i * 5) % 26);
  NxNewPage();
  NxQRCode(100000, 100000, longText.c_str(), 1, 600, 2);
  EXPECT_EQ(NxGetLastError(), 0);
  NxNewPage();
  NxQRCode(100000, 100000, std::string(3000, '#').c_str(), 1, 200, 4);  // fits no version
  EXPECT_EQ(NxGetLastError(), 6);
  char text[200];
  NxGetLastErrorText(text, sizeof text);
  EXPECT_NE(std::string(text).find("does not fit version 40"), std::string::npos) << text;
  NxEndDoc();
  std::string job = SpoolDir() + "/job-1.pdf";
  auto images = nxtest::RunCommand("pdfimages -list " + job);
  ASSERT_EQ(images.exitCode, 0) << images.output;
  auto r = nxtest::RunCommand("pdftoppm -r 150 -mono " + job + " " + dir_.file("page"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  auto decode = [&](int page) {
    auto z = nxtest::RunCommand("zbarimg --nodbus --quiet --raw " + dir_.file("page-" + std::to_string(page) + ".pbm"));
    return z.output;
  };
  EXPECT_EQ(decode(1), "Invoice 4711, total EUR 19.99\n");
  EXPECT_EQ(decode(2), longText + "\n");
  EXPECT_EQ(decode(3), "");
  // One image each on pages 1 and 2 (none on page 3), side x side pixels at 600 dpi.
  EXPECT_NE(images.output.find("   1     0 image    1251  1251 "), std::string::npos) << images.output;
  EXPECT_NE(images.output.find("   2     1 image    3755  3755 "), std::string::npos) << images.output;
  EXPECT_EQ(images.output.find("   3     2 image"), std::string::npos) << images.output;
}

// Under the Japanese ANSI code page the host's Shift JIS text comes back as
// the same bytes: 0x8C 0xEA (語) is carried as 0x8CEA, not as its UTF-16
// value. nxrun draws the symbols in a process of its own, where the code page
// is read from NOXTREL_ACP; it hands the script's UTF-8 text (語; 請求書 あ)
// to the library in that code page.
TEST_F(NxQRCodeTest, KanjiUnderCodePage932) {
  NX_REQUIRE_TOOL("zbarimg");
  NX_REQUIRE_TOOL("pdftoppm");
  const std::string second = "No. 4711 \x90\xbf\x8b\x81\x8f\x91 \x82\xa0";
  const std::string secondUtf8 = "No. 4711 \xe8\xab\x8b\xe6\xb1\x82\xe6\x9b\xb8 \xe3\x81\x82";
  const std::string script = dir_.file("kanji.nx");
  std::ofstream(script, std::ios::binary) << "NxInit\nNxBeginDoc\nNxQRCode(200000, 200000, \"\xe8\xaa\x9e\", 1, 200, 4)\n"
                                             "NxNewPage\nNxQRCode(200000, 200000, \""
                                          << secondUtf8 << "\", 1, 200, 4)\nNxGetLastError\nNxEndDoc\nNxGetLastError\n";
  auto run = nxtest::RunCommand("NOXTREL_ACP=932 " + nxtest::ShellQuote((nxtest::BinaryDir() / "nxrun").string()) +
                                " " + nxtest::ShellQuote(script) + " 2>&1");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output.substr(run.output.size() - 4), "0\n0\n") << run.output;
  const std::string job = SpoolDir() + "/job-1.pdf";
  auto r = nxtest::RunCommand("pdftoppm -r 150 -mono " + job + " " + dir_.file("page"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  auto decode = [&](int page) {
    return nxtest::RunCommand("zbarimg --nodbus --quiet --raw -Sbinary " + dir_.file("page-" + std::to_string(page) + ".pbm"))
        .output;
  };
  EXPECT_EQ(decode(1), "\x8c\xea");
  EXPECT_EQ(decode(2), second);
}

}  // namespace
