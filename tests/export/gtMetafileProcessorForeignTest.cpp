// Metafiles other programs wrote (LibreOffice), and the emfitems tool on
// sound, damaged and foreign files.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"
#include "gdi/EmfTestUtil.h"
#include "support/TestSupport.h"

using namespace nx;

namespace {

std::string Emfitems() { return (nxtest::BinaryDir() / "emfitems").string(); }

void Write(const std::string &path, const std::vector<uint8_t> &bytes) {
  nxtest::WriteFileBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> Sample() {
  emftest::EmfBuilder e({0, 0, 1000, 1000}, 1);
  e.Add(EMR_RECTANGLE, {10, 20, 110, 70});
  e.Add(EMR_SETBKMODE, {TRANSPARENT});
  e.Add(EMR_ELLIPSE, {1, 2, 3, 4});
  return e.Image();
}

TEST(Emfitems, PrintsOneStableLinePerItem) {
  nxtest::TempDir dir;
  Write(dir.file("a.emf"), Sample());
  auto r = nxtest::RunCommand(nxtest::ShellQuote(Emfitems()) + " " + nxtest::ShellQuote(dir.file("a.emf")) +
                              " --start 1.5,2");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output,
            "Shape Rectangle pen=solid,1,#000000 brush=solid,#FFFFFF join=none cap=none n=2 11.5000,22.0000 "
            "111.5000,72.0000\n"
            "Shape Ellipse pen=solid,1,#000000 brush=solid,#FFFFFF join=none cap=none n=2 2.5000,4.0000 "
            "4.5000,6.0000\n"
            "EOF status=1\n");
}

TEST(Emfitems, DamagedFilesGiveTheItemsBeforeTheDamage) {
  nxtest::TempDir dir;
  auto good = Sample();
  Write(dir.file("cut.emf"), std::vector<uint8_t>(good.begin(), good.end() - 30));
  auto r = nxtest::RunCommand(nxtest::ShellQuote(Emfitems()) + " " + nxtest::ShellQuote(dir.file("cut.emf")));
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_NE(r.output.find("truncated"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Shape Rectangle"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("Shape Ellipse"), std::string::npos) << r.output;
  Write(dir.file("junk.emf"), std::vector<uint8_t>(300, 7));
  r = nxtest::RunCommand(nxtest::ShellQuote(Emfitems()) + " " + nxtest::ShellQuote(dir.file("junk.emf")));
  EXPECT_EQ(r.exitCode, 1) << r.output;
}

// An SVG drawn by LibreOffice into an EMF: no text and no shape is lost.
TEST(ForeignMetafiles, LibreOfficeDrawingsKeepTheirTextAndShapes) {
  NX_REQUIRE_TOOL("soffice");
  nxtest::TempDir dir;
  std::ofstream(dir.file("t.svg"))
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400\" height=\"300\" viewBox=\"0 0 400 300\">\n"
         "<rect x=\"20\" y=\"20\" width=\"120\" height=\"60\" fill=\"#3366cc\" stroke=\"#000000\" stroke-width=\"2\"/>\n"
         "<ellipse cx=\"260\" cy=\"60\" rx=\"60\" ry=\"30\" fill=\"#ffcc00\"/>\n"
         "<line x1=\"20\" y1=\"120\" x2=\"380\" y2=\"120\" stroke=\"#008000\" stroke-width=\"4\"/>\n"
         "<polygon points=\"40,160 100,260 160,160\" fill=\"#cc33cc\"/>\n"
         "<text x=\"200\" y=\"200\" font-family=\"Liberation Sans\" font-size=\"24\">Hello Export</text>\n"
         "<text x=\"200\" y=\"240\" font-family=\"Liberation Serif\" font-size=\"18\" fill=\"#0000ff\">Second "
         "line</text>\n"
         "</svg>\n";
  auto conv = nxtest::RunCommand("cd " + nxtest::ShellQuote(dir.path().string()) + " && HOME=" +
                                 nxtest::ShellQuote(dir.file("home")) +
                                 " timeout 300 soffice --headless --norestore --convert-to emf t.svg");
  const std::string emf = dir.file("t.emf");
  std::u16string name(emf.begin(), emf.end());
  HENHMETAFILE h = GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(name.c_str()));
  ASSERT_NE(h, nullptr) << conv.output;
  TgtCustomDocumentEngine engine;
  engine.Preferences().FShowSetupDialog = false;
  engine.Preferences().FOpenAfterCreate = false;
  engine.BeginDoc();
  {
    TgtMetafileProcessor p(engine);
    p.SetCombineCharsToSentence(true);
    p.Execute(h, 0, 0);
  }
  DeleteEnhMetaFile(h);
  std::vector<TgtTextItem *> texts;
  std::set<COLORREF> fills;
  for (auto &i : *engine.CurrentDocumentItemList()) {
    if (auto *t = dynamic_cast<TgtTextItem *>(i.get())) texts.push_back(t);
    if (auto *s = dynamic_cast<TgtShapeItem *>(i.get()); s && s->FBrush && s->FBrush->Style == bsSolid)
      fills.insert(s->FBrush->Color);
    if (auto *p = dynamic_cast<TgtPathItem *>(i.get()); p && p->FBrush) fills.insert(p->FBrush->Color);
  }
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0]->FLines, std::vector<WString>{u"Hello Export"});
  EXPECT_EQ(texts[1]->FLines, std::vector<WString>{u"Second line"});
  EXPECT_NEAR(double(texts[0]->FFontSizeInFloat), 18, 0.1);  // 24 CSS pixels
  EXPECT_NEAR(double(texts[1]->FFontSizeInFloat), 13.5, 0.1);
  EXPECT_EQ(texts[1]->FFont.Color, 0xFF0000u);
  // Positions keep the drawing's geometry: the second baseline 40 pixels
  // below the first, both texts at the same x. A baseline lies its font's
  // ascent below the item's top (the ems are 24 and 18 pixels).
  EXPECT_NEAR(texts[0]->FX, texts[1]->FX, 0.05);
  auto baseline = [](const TgtTextItem &t, double em) { return t.FY + em * MeasureFontCell(t.FFont).Ascent; };
  EXPECT_NEAR(baseline(*texts[1], 18) - baseline(*texts[0], 24), 40, 0.1);
  for (COLORREF c : {RGB(0x33, 0x66, 0xCC), RGB(0xFF, 0xCC, 0x00), RGB(0x00, 0x80, 0x00), RGB(0xCC, 0x33, 0xCC)})
    EXPECT_TRUE(fills.count(c)) << std::hex << c;
  engine.EndDoc();
}

}  // namespace
