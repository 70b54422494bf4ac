// Device types 6 and 7 through the exports, judged by readers we did not
// write: jpeginfo, ImageMagick, zbarimg and LibreOffice.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"
#include "support/TestSupport.h"

namespace {

using nxtest::RunCommand;

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RtfJpegOutput : public nxtest::SpoolTest {
 public:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    const std::string ini = dir_.file("printers.ini");
    std::ofstream(ini) << "[A4 600]\nResolution = 600\nPaper = 9, A4, 210x297mm\nMargins = 0\n";
    env_.Set("NOXTREL_PRINTERS", ini);
    out_ = dir_.file("out");
    std::filesystem::create_directories(out_);
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  void Begin(int device, const std::string &name, int orientation = 1) {
    ASSERT_EQ(NxInit(), 0);
    NxSetDevice(device);
    NxSetFileName((out_ + "/" + name).c_str());
    NxSetOrientation(orientation);
    NxBeginDoc();
  }
  // "W H" of an image, from ImageMagick.
  std::string Size(const std::string &jpg) {
    return RunCommand("identify -format '%w %h' " + nxtest::ShellQuote(jpg)).output;
  }
  // The colour of a pixel as ImageMagick reads it: "r,g,b".
  std::string PixelAt(const std::string &jpg, int x, int y) {
    return RunCommand("convert " + nxtest::ShellQuote(jpg) + " -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' -crop 1x1+" +
                      std::to_string(x) + "+" + std::to_string(y) + " info:")
        .output;
  }
  std::string out_;
};

// 10 mm = 37.8 engine pixels at 96 dpi.
TEST_F(RtfJpegOutput, JpegPagesAreA4ImagesOfTheirItems) {
  Begin(7, "doc.jpg");
  NxSetFontSize(200000);
  NxTextOut(200000, 200000, "Plain text");
  NxSetFontBColor(0x00FFFF);  // yellow background
  NxTextOut(200000, 600000, "Yellow box");
  NxSetFillPattern(1);
  NxFrame(1000000, 1000000, 1500000, 1200000, 0);
  NxQRCode(200000, 1500000, "Invoice 4711", 1, 300, 4);
  NxNewPage();
  NxTextOut(200000, 200000, "Page two");
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0);
  const std::string p1 = out_ + "/doc1.jpg", p2 = out_ + "/doc2.jpg";
  ASSERT_TRUE(std::filesystem::exists(p1));
  ASSERT_TRUE(std::filesystem::exists(p2));
  EXPECT_FALSE(std::filesystem::exists(out_ + "/doc3.jpg"));
  for (const std::string &p : {p1, p2}) EXPECT_EQ(RunCommand("jpeginfo -c " + nxtest::ShellQuote(p)).exitCode, 0) << p;
  EXPECT_EQ(Size(p1), "794 1123");
  // Clear text background: the paper stays white just left of the text's
  // end on its top line; the yellow one paints its box.
  EXPECT_EQ(PixelAt(p1, 77, 77), PixelAt(p1, 5, 5));
  const std::string yellow = PixelAt(p1, 77, 228);
  int r = 0, g = 0, b = 0;
  ASSERT_EQ(std::sscanf(yellow.c_str(), "%d,%d,%d", &r, &g, &b), 3) << yellow;
  EXPECT_GT(r, 230);
  EXPECT_GT(g, 230);
  EXPECT_LT(b, 40);
  const auto qr = RunCommand("zbarimg --nodbus --quiet --raw " + nxtest::ShellQuote(p1));
  EXPECT_EQ(qr.output, "Invoice 4711\n");
}

TEST_F(RtfJpegOutput, LandscapeJpegAndOtherExtensionsKeepTheirName) {
  Begin(7, "report.pdf", 2);
  NxTextOut(200000, 200000, "Landscape");
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0);
  EXPECT_EQ(Size(out_ + "/report.pdf1.jpg"), "1123 794");
}

TEST_F(RtfJpegOutput, RtfFileOpensInOtherReadersWithItsText) {
  Begin(6, "report.pdf");
  NxSetTitle("Quarterly {report}");
  NxSetFontSize(120000);
  NxTextOut(200000, 200000, "Total 19,99");
  NxLine(200000, 400000, 1000000, 400000);
  NxEllipse(200000, 500000, 600000, 700000);
  NxEndDoc();
  ASSERT_EQ(NxGetLastError(), 0);
  const std::string rtf = out_ + "/report.pdf.rtf";
  ASSERT_TRUE(std::filesystem::exists(rtf));
  const std::string body = Slurp(rtf);
  EXPECT_EQ(body.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl", 0), 0u) << body.substr(0, 80);
  EXPECT_NE(body.find("{\\info{\\title Quarterly \\{report\\}}{\\author }{\\keywords }{\\doccomm "), std::string::npos);
  EXPECT_NE(body.find("\\viewkind1\\paperw11905\\paperh16838"), std::string::npos);
  EXPECT_NE(body.find(" \\sectd\\pgwsxn11905\\pghsxn16838"), std::string::npos);
  EXPECT_NE(body.find("\\dpline"), std::string::npos);
  EXPECT_NE(body.find("\\dpellipse"), std::string::npos);
  EXPECT_EQ(body.find("\\dpfillpat0"), std::string::npos);  // a hollow ellipse writes no fill
  EXPECT_EQ(body.substr(body.size() - 7), "}\\sect}");
  int depth = 0;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\\') {
      ++i;
    } else if (body[i] == '{') {
      ++depth;
    } else if (body[i] == '}') {
      ASSERT_GE(--depth, 0) << i;
    }
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(RunCommand("unrtf --text " + nxtest::ShellQuote(rtf) + " >/dev/null").exitCode, 0);
  if (!nxtest::HaveTool("soffice")) GTEST_SKIP() << "LibreOffice is not installed";
  const auto conv = RunCommand("cd " + nxtest::ShellQuote(out_) + " && HOME=" + nxtest::ShellQuote(dir_.file("home")) +
                               " soffice --headless --convert-to pdf report.pdf.rtf >/dev/null 2>&1");
  ASSERT_EQ(conv.exitCode, 0);
  const auto text = RunCommand("pdftotext -layout " + nxtest::ShellQuote(out_ + "/report.pdf.pdf") + " -");
  EXPECT_NE(text.output.find("Total 19,99"), std::string::npos) << text.output;
}

TEST_F(RtfJpegOutput, NoPageNoFile) {
  ASSERT_EQ(NxInit(), 0);
  NxSetDevice(6);
  NxSetFileName((out_ + "/none").c_str());
  NxEndDoc();
  EXPECT_FALSE(std::filesystem::exists(out_ + "/none.rtf"));
}

}  // namespace
