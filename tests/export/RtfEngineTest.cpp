// The RTF writer on items made directly: escaping, the fragments of a page,
// duplicate suppression, character shading, drawing objects and pictures.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/Strings.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"
#include "support/TestSupport.h"
#include "support/SpoolEnv.h"

using namespace nx;

namespace {

class TRtfProbe : public TgtRTFEngine {
 public:
  TRtfProbe() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  void Add(std::unique_ptr<TgtDocumentItem> item) { CurrentDocumentItemList()->push_back(std::move(item)); }
};

std::unique_ptr<TgtTextItem> Text(const WString &s, double x, double y) {
  auto t = std::make_unique<TgtTextItem>();
  t->FLines = {s};
  t->FX = x;
  t->FY = y;
  t->FFont.Name = u"Arial";
  t->FFont.PointSize = 12;
  return t;
}

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RtfEngine : public nxtest::SpoolTest {
 protected:
  std::string Write(const std::function<void(TRtfProbe &)> &fill, TgtOrientation o = poPortrait) {
    TRtfProbe e;
    e.SetFileName(AsciiToWide(dir_.file("doc")));
    e.Page().SetOrientation(o);
    e.BeginDoc();
    fill(e);
    e.EndDoc();
    return Slurp(dir_.file("doc.rtf"));
  }
};

TEST(RtfEscape, FullAndPlain) {
  EXPECT_EQ(gtRTFPlainEscape(u"a\\b{c}"), u"a\\\\b\\{c\\}");
  EXPECT_EQ(gtRTFFullEscape(u"\u0416\uFFFD"), u"\\uc1\\u1046?\\u-3?");
  EXPECT_EQ(gtRTFFullEscape(u"caf\u00e9 {x}"), u"caf\u00e9 \\{x\\}");
  EXPECT_EQ(gtRTFCharsetOfCodePage(1251), 204);
  EXPECT_EQ(gtRTFCharsetOfCodePage(1252), 0);
  EXPECT_EQ(gtRTFCharsetOfCodePage(437), 0);
}

// Text goes into the file in the code page \ansicpg names: a character the
// code page has as its byte (a double-byte one as two hexadecimal escapes,
// since a trail byte may be a backslash), one it lacks as \u with "?".
TEST(RtfEscape, TextInTheAnnouncedCodePage) {
  EXPECT_EQ(gtRTFEncode(u"caf\u00e9 \\{x\\}", 1252), "caf\xe9 \\{x\\}");
  EXPECT_EQ(gtRTFEncode(u"caf\u00e9", 1251), "caf\\uc1\\u233?");
  EXPECT_EQ(gtRTFEncode(u"\u0416\u00ab", 1251), "\xc6\xab");
  EXPECT_EQ(gtRTFEncode(u"\u00a7", 932), "\\'81\\'98");
  EXPECT_EQ(gtRTFEncode(u"\u00e9", 1253), "\\uc1\\u233?");
  EXPECT_EQ(gtRTFEncode(u"\U0001F600", 1252), "\\uc1\\u-10179?\\uc1\\u-8704?");
}

TEST_F(RtfEngine, OnePageInOrderWithDuplicatesAndShading) {
  const std::string rtf = Write([](TRtfProbe &e) {
    e.Add(Text(u"Total", 100, 200));
    e.Add(Text(u"Total", 100, 200));  // the same again: dropped
    auto y = Text(u"\u0416", 100, 300);
    y->FBrush = {bsSolid, 0x00FFFF, nullptr};
    e.Add(std::move(y));
    auto w = Text(u"white", 100, 400);
    w->FBrush = {bsSolid, 0xFFFFFF, nullptr};
    e.Add(std::move(w));
  });
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;"
                      "\\red255\\green255\\blue0;}{\\info{\\author }{\\keywords }{\\doccomm ",
                      0),
            0u)
      << rtf.substr(0, 300);
  const size_t sect = rtf.find("\\viewkind1\\paperw11905\\paperh16838\\margl0\\margr0\\margt0\\margb0\\headery0\\footery0 "
                               "\\sectd\\pgwsxn11905\\pghsxn16838");
  ASSERT_NE(sect, std::string::npos);
  const std::string para = "\\sectdefaultcl\\pgbrdrhead\\pgbrdrfoot\r\n{{\\pard\\pvpg\\phpg\\posy3000\\posx1500\\overlay"
                           "\\f0\\cf1\\fs24 Total\\par}";
  EXPECT_NE(rtf.find(para), std::string::npos);
  EXPECT_EQ(rtf.find("Total", rtf.find(para) + para.size()), std::string::npos);
  EXPECT_NE(rtf.find("\\fs24\\chshdng10000\\chcfpat2 \\uc1\\u1046?\\par}"), std::string::npos);
  EXPECT_NE(rtf.find("\\fs24 white\\par}"), std::string::npos);
  EXPECT_EQ(rtf.substr(rtf.size() - 7), "}\\sect}");
}

TEST_F(RtfEngine, LandscapeShapesAndPictures) {
  const std::string rtf = Write(
      [](TRtfProbe &e) {
        auto r = std::make_unique<TgtShapeItem>();
        r->FShapeType = stRectangle;
        r->FPoints = {{10, 20}, {110, 70}};
        r->FNoPoints = 2;
        r->FBrush = TgtBrush{bsCross, 0x0000FF, nullptr};
        e.Add(std::move(r));
        auto bmp = std::make_shared<TgtBitmap>(4, 1, 0x00FF00);
        const int32_t slot = e.ReserveImageSlot();
        e.StoreImage(slot, bmp, bmp->Digest());
        auto img = std::make_unique<TgtImageItem>();
        img->FIndexNo = slot;
        img->FX = 50, img->FY = 60, img->FWidth = 8, img->FHeight = 2;
        e.Add(std::move(img));
      },
      poLandscape);
  EXPECT_NE(rtf.find("\\sectd\\lndscpsxn\\pgwsxn16838\\pghsxn11905"), std::string::npos);
  EXPECT_NE(rtf.find("{\\lang1024 {\\*\\do\\dobxpage\\dobypage\\dprect\\dpx150\\dpy300\\dpxsize1500\\dpysize750"
                     "\\dplinesolid\\dplinecor0\\dplinecog0\\dplinecob0\\dplinew15 \\dpfillfgcr255\\dpfillfgcg255"
                     "\\dpfillfgcb255\\dpfillbgcr255\\dpfillbgcg0\\dpfillbgcb0\\dpfillpat18 }}"),
            std::string::npos);
  const size_t pict = rtf.find("{\\pard\\pvpg\\phpg\\absw120\\absh30\\posx750\\posy900\\overlay\\shading10000\\cfpat");
  ASSERT_NE(pict, std::string::npos);
  EXPECT_NE(rtf.find("{\\pict\\jpegblip\\picw60\\pich15\\picscalex200\\picscaley200", pict), std::string::npos);
  EXPECT_NE(rtf.find("\\picbmp\\picbpp4 FFD8FF", pict), std::string::npos);  // JPEG data in hexadecimal
  // LibreOffice opens it as one landscape A4 page.
  if (!nxtest::HaveTool("soffice")) GTEST_SKIP() << "LibreOffice is not installed";
  ASSERT_EQ(nxtest::RunCommand("cd " + nxtest::ShellQuote(dir_.path().string()) + " && HOME=" +
                               nxtest::ShellQuote(dir_.file("home")) + " soffice --headless --convert-to pdf doc.rtf >/dev/null 2>&1")
                .exitCode,
            0);
  const auto info = nxtest::RunCommand("pdfinfo " + nxtest::ShellQuote(dir_.file("doc.pdf")));
  EXPECT_NE(info.output.find("Pages:           1\n"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("841.89 x 595.3"), std::string::npos) << info.output;
}

TEST_F(RtfEngine, RefusesFormatsItCannotWrite) {
  TRtfProbe e;
  EXPECT_NO_THROW(e.ImageSettings().SetOutputImageFormat(ifPNG));
  try {
    e.ImageSettings().SetOutputImageFormat(ifGIF);
    FAIL() << "GIF accepted";
  } catch (const ENxError &err) {
    EXPECT_STREQ(err.what(), "The RTF Engine does not support this format");
  }
}

}  // namespace
