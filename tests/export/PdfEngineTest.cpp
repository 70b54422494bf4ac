// The PDF writer through its engine: file structure byte by byte where the
// format is fixed, every item kind judged by qpdf and poppler, encryption,
// PDF/A, and failures that must leave no file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "common/Strings.h"
#include "export/PdfTestSupport.h"

using namespace nx;
using namespace pdftest;
using nxtest::RunCommand;

namespace {

std::string ObjectText(const std::string &pdf, int obj) {
  const std::string head = "\n" + std::to_string(obj) + " 0 obj\r\n";
  const size_t at = pdf.find(head);
  if (at == std::string::npos) return {};
  const size_t end = pdf.find("endobj", at);
  return pdf.substr(at + head.size(), end - at - head.size());
}

void AddShape(TgtPDFEngine &e, TgtShapeType type, TgtPoints pts, TgtPen pen, std::optional<TgtBrush> brush) {
  auto &s = AddItem<TgtShapeItem>(e);
  s.FShapeType = type;
  s.FPoints = std::move(pts);
  s.FNoPoints = static_cast<int32_t>(s.FPoints.size());
  s.FPen = pen;
  s.FBrush = brush;
}

void AddText(TgtPDFEngine &e, const std::u16string &text, double x, double y, double size, int angle = 0,
             bool fromMetafile = false) {
  auto &t = AddItem<TgtTextItem>(e);
  t.FX = x;
  t.FY = y;
  t.FLines = {text};
  t.FFont.Name = u"Arial";
  t.FFont.Size = size;
  t.FFont.PointSize = static_cast<int32_t>(size);
  t.FRotationAngle = angle;
  t.FIsFromMetafile = fromMetafile;
  if (fromMetafile) t.FCharSpaceArray.assign(text.size(), size * 96 / 72 * 0.6);
}

// Every item kind the writer draws, on two pages.
void DrawEverything(TgtPDFEngine &e) {
  const TgtPen black = Pen(0), red = Pen(RGB(255, 0, 0), 3, psDash);
  AddShape(e, stLine, {{10, 10}, {300, 10}}, red, std::nullopt);
  AddShape(e, stLine, {{10, 20}, {300, 20}}, Pen(0, 0, psDot), std::nullopt);
  AddShape(e, stRectangle, {{20, 40}, {220.4, 140.6}}, black, Brush(RGB(0, 0, 255), bsCross));
  AddShape(e, stRectangle, {{240, 40}, {440, 140}}, Pen(0, 2, psDashDotDot), Brush(RGB(200, 255, 200)));
  AddShape(e, stRoundRect, {{20, 160}, {220, 260}, {40, 30}}, black, Brush(RGB(255, 255, 0), bsDiagCross));
  AddShape(e, stEllipse, {{240, 160}, {440, 260}}, black, Brush(RGB(255, 128, 0)));
  AddShape(e, stPolygon, {{20, 300}, {120, 280}, {200, 360}, {60, 380}}, black, Brush(RGB(0, 128, 0)));
  AddShape(e, stPolyLine, {{240, 300}, {300, 380}, {360, 300}, {420, 380}}, Pen(RGB(0, 0, 128), 2), std::nullopt);
  AddShape(e, stArc, {{20, 400}, {120, 480}, {120, 440}, {70, 400}}, black, std::nullopt);
  AddShape(e, stPie, {{140, 400}, {240, 480}, {240, 440}, {190, 400}}, black, Brush(RGB(128, 0, 128), bsHorizontal));
  AddShape(e, stChord, {{260, 400}, {360, 480}, {360, 440}, {310, 480}}, black, Brush(RGB(0, 128, 128), bsVertical));
  AddShape(e, stPolyBezier, {{380, 400}, {400, 380}, {440, 500}, {460, 420}}, black, std::nullopt);
  auto &pp = AddItem<TgtPolyPolygonItem>(e);
  pp.FBrush = Brush(RGB(64, 64, 64), bsFDiagonal);
  pp.FPen = black;
  pp.FNoPoly = 2;
  pp.FFillAlternate = true;
  pp.FNoPoints = {8, 4, 4};
  pp.FPoints = {{20, 500}, {120, 500}, {120, 600}, {20, 600}, {50, 530}, {90, 530}, {90, 570}, {50, 570}};
  // A path bracket: line, poly-draw, close, stroke and fill.
  auto &b = AddItem<TgtPathItem>(e);
  b.FPathOperation = poBeginPath;
  AddShape(e, stLine, {{200, 500}, {300, 520}}, black, std::nullopt);
  auto &pd = AddItem<TgtPolyDrawItem>(e);
  pd.FNoPoints = 4;
  pd.FOperations = {PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO};
  pd.FPoints = {{300, 600}, {280, 620}, {220, 620}, {200, 600}};
  AddItem<TgtPathItem>(e).FPathOperation = poCloseFigure;
  AddItem<TgtPathItem>(e).FPathOperation = poEndPath;
  auto &paint = AddItem<TgtPathItem>(e);
  paint.FPathOperation = poStrokeAndFillPath;
  paint.FPen = black;
  paint.FBrush = Brush(RGB(255, 200, 200));
  // Clipping with two rectangles, text inside, then the end of the metafile.
  auto &clip = AddItem<TgtClipItem>(e);
  clip.FMode = RGN_AND;
  clip.FClipRects = {RECT{20, 620, 400, 700}, RECT{20, 620, 200, 700}, RECT{220, 620, 400, 700}};
  clip.FNoRects = 3;
  AddShape(e, stRectangle, {{0, 610}, {600, 710}}, Pen(0, 1, psClear), Brush(RGB(230, 230, 255)));
  AddItem<TgtEOFItem>(e).FStatus = true;
  AddText(e, u"Hello (PDF) \\ world", 30, 720, 12);
  AddText(e, u"Metafile text", 30, 760, 10, 0, true);
  AddText(e, u"Rotated", 500, 700, 14, 90);
  auto &u = AddItem<TgtTextItem>(e);
  u.FX = 30;
  u.FY = 800;
  u.FLines = {u"Underlined and struck \u00E9\u20AC"};
  u.FFont.Name = u"Times New Roman";
  u.FFont.Size = 11.5;
  u.FFont.Underline = u.FFont.StrikeOut = true;
  u.FFont.Bold = u.FFont.Italic = true;
  u.FBrush = Brush(RGB(255, 255, 0));
  u.FTextEffects.FOpacity = 50;
  // Two pictures from one resource in two variants, and one JPEG stream.
  TgtBitmap bmp(40, 30, RGB(255, 0, 0));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 20; ++x) bmp.Row(y)[x] = 0x0000FF;
  const int32_t index = e.AddImage(bmp, true);
  auto &img = AddItem<TgtImageItem>(e);
  img.FIndexNo = index;
  img.FX = 450;
  img.FY = 500;
  img.FWidth = 80;
  img.FHeight = 60;
  auto &img2 = AddItem<TgtImageItem>(e);
  img2 = img;
  img2.FY = 580;
  img2.FSettings.FOutputImageFormat = ifBMP;
  img2.FSettings.FOpacity = 60;
  auto &img3 = AddItem<TgtImageItem>(e);
  img3 = img;
  img3.FY = 660;  // same settings: the first variant again
  e.NewPage();
  AddShape(e, stRectangle, {{20, 40}, {220, 140}}, black, Brush(RGB(0, 0, 255), bsCross));
  AddText(e, u"Page two", 30, 200, 12);
}

}  // namespace

class PdfEngineTest : public ::testing::Test {
 protected:
  std::string Path(const std::string &name) const { return dir_.file(name); }
  nxtest::TempDir dir_;
};

TEST_F(PdfEngineTest, EmptyPageWithDefaultsByteByByte) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string pdf = WriteWithEngine(Path("empty"), nullptr, nullptr);
  ASSERT_FALSE(pdf.empty());
  EXPECT_EQ(pdf.substr(0, 17), "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n");
  EXPECT_EQ(ObjectText(pdf, 1),
            "<<\r\n/Type/Catalog/Pages 2 0 R/PageMode/UseNone/PageLayout/OneColumn/ViewerPreferences << >>\r\n>>\r\n");
  EXPECT_EQ(ObjectText(pdf, 2), "<<\r\n/Type/Pages/Count 1/Kids [6 0 R]\r\n>>\r\n");
  EXPECT_EQ(ObjectText(pdf, 4), "[/PDF /Text /ImageC]\r\n");
  const std::string page = ObjectText(pdf, 6);
  EXPECT_NE(page.find("/MediaBox [0 0 595.2744 841.8888]/Resources 5 0 R/Contents 7 0 R"
                      "/Dur 1/Trans <</Type/Trans/D 1/S/R >>"),
            std::string::npos)
      << page;
  const std::string content = ObjectText(pdf, 7);
  const std::string expected =
      "q 1.0000 0 0 1.0000 0 0 cm\r\n1.0000 1.0000 1.0000 rg n 0.0000 0.0000 595.2744 841.8888 re f \r\n\r\n\r\n";
  EXPECT_NE(content.find("stream\r\n" + expected + "\r\nendstream"), std::string::npos) << content;
  EXPECT_EQ(ObjectText(pdf, 8), std::to_string(expected.size()) + "\r\n");
  // The cross-reference table: 9 entries of 20 bytes, startxref at "xref".
  const size_t xref = pdf.rfind("xref\r\n0 9\r\n");
  ASSERT_NE(xref, std::string::npos);
  EXPECT_EQ(pdf.substr(xref + 11, 20), "0000000000 65535 f\r\n");
  for (int i = 1; i <= 8; ++i) {
    const std::string entry = pdf.substr(xref + 11 + 20 * i, 20);
    const size_t off = std::stoul(entry.substr(0, 10));
    EXPECT_EQ(pdf.compare(off, std::to_string(i).size() + 6, std::to_string(i) + " 0 obj"), 0) << i;
    EXPECT_EQ(entry.substr(10), " 00000 n\r\n");
  }
  EXPECT_TRUE(pdf.ends_with("startxref\r\n" + std::to_string(xref) + "\r\n%%EOF"));
  EXPECT_NE(pdf.find("/Root 1 0 R/Info 3 0 R/Size 9/ID [<"), std::string::npos);
  EXPECT_EQ(pdf.find("/Filter"), std::string::npos);  // compression off
  EXPECT_EQ(QpdfCheck(Path("empty.pdf")).exitCode, 0);
  const auto info = RunCommand("pdfinfo " + Path("empty.pdf"));
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Pages:\\s+1\n"))) << info.output;
  EXPECT_NE(info.output.find("595.274 x 841.889 pts"), std::string::npos) << info.output;
}

TEST_F(PdfEngineTest, EveryVersionWithAndWithoutCompressionPassesQpdf) {
  NX_REQUIRE_TOOL("qpdf");
  for (int v = 0; v <= 6; ++v)
    for (bool z : {false, true}) {
      SCOPED_TRACE("version " + std::to_string(v) + (z ? " compressed" : ""));
      const std::string name = Path("v" + std::to_string(v) + (z ? "z" : ""));
      const std::string pdf = WriteWithEngine(
          name,
          [&](TgtPDFEngine &e) {
            e.SetPDFVersion(static_cast<TgtPDFVersion>(v));
            e.Compression().Enabled = z;
            e.DocInfo().FTitle = u"T\u00EFtle \u4E2D";
            e.DocInfo().FAuthor = u"Author";
          },
          DrawEverything);
      ASSERT_FALSE(pdf.empty());
      EXPECT_EQ(pdf.substr(5, 3), std::string(v <= 2 ? std::string("1.") + char('4' + v) : "1.7"));
      const auto check = QpdfCheck(name + ".pdf");
      EXPECT_EQ(check.exitCode, 0) << check.output;
      EXPECT_EQ(pdf.find("/Filter /FlateDecode") != std::string::npos, z);
      const auto text = RunCommand("pdftotext -enc UTF-8 " + name + ".pdf -");
      EXPECT_NE(text.output.find("Hello (PDF) \\ world"), std::string::npos) << text.output;
      // Metafile text is placed character by character at the advances the
      // item carries (here wider than the font's), so only the letters count.
      std::string letters = text.output;
      std::erase(letters, ' ');
      EXPECT_NE(letters.find("Metafiletext"), std::string::npos) << text.output;
      EXPECT_NE(text.output.find("Page two"), std::string::npos);
      const auto render = RunCommand("pdftoppm -r 30 -png " + name + ".pdf " + name + "-render 2>&1");
      EXPECT_EQ(render.exitCode, 0);
      EXPECT_EQ(render.output, "") << render.output;  // poppler found nothing to complain about
      const bool pdfA = v >= 4;
      EXPECT_EQ(pdf.find("/OutputIntents[") != std::string::npos, pdfA);
      if (!z) {
        EXPECT_EQ(pdf.find("/CS0 cs ") != std::string::npos, pdfA);
      }
      EXPECT_EQ(pdf.find("/CreationDate") == std::string::npos, pdfA);
      const auto title = RunCommand("pdfinfo -enc UTF-8 " + name + ".pdf");
      EXPECT_NE(title.output.find("T\u00EFtle \u4E2D"), std::string::npos) << title.output;
    }
}

TEST_F(PdfEngineTest, ContentOperatorsOfTheItems) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string pdf = WriteWithEngine(Path("items"), nullptr, DrawEverything);
  const std::string c = PageContent(Path("items.pdf"));
  EXPECT_NE(c.find("[16 8]0 d 2.2500 w 1.0000 0.0000 0.0000 RG"), std::string::npos);  // dashed pen, width 3 px
  EXPECT_NE(c.find("[3 4]0 d 0.0010 w"), std::string::npos);                           // 0-width pen
  EXPECT_NE(c.find("[8 4 2 4 2 8]0 d"), std::string::npos);
  EXPECT_NE(c.find("/CSP cs 0.0000 0.0000 1.0000 /PC scn n  15.0000 "), std::string::npos);  // hatch, whole x
  EXPECT_NE(c.find(" re B"), std::string::npos);   // hatched rectangle with a pen
  EXPECT_NE(c.find("B* "), std::string::npos);     // solid polygon with a pen
  EXPECT_NE(c.find("f*"), std::string::npos);      // alternate fill of the poly-polygon
  EXPECT_NE(c.find(" W* n "), std::string::npos);  // clipping
  EXPECT_NE(c.find("(Hello \\(PDF\\) \\\\ world) Tj"), std::string::npos);
  EXPECT_NE(c.find("] TJ"), std::string::npos);  // metafile text placed per character
  EXPECT_NE(c.find(" 11.5 Tf"), std::string::npos);  // a fractional size as a general number
  EXPECT_NE(c.find("/F0 12 Tf"), std::string::npos);
  EXPECT_NE(c.find(" Tm "), std::string::npos);  // rotated text
  EXPECT_NE(c.find("/GS"), std::string::npos);
  EXPECT_NE(c.find("/Img0_0 Do"), std::string::npos);
  EXPECT_NE(c.find("/Img0_1 Do"), std::string::npos);
  // The ellipse's path is written twice: filled, then outlined.
  EXPECT_NE(c.find(" c  f "), std::string::npos);
  // One "PC" pattern object for the cross hatch used on both pages.
  EXPECT_EQ(std::regex_search(pdf, std::regex("/PC \\d+ 0 R.*/PC \\d+ 0 R")), false);
  EXPECT_NE(pdf.find("2 J 2 j 0.3 w 0 2.5 m 5 2.5 l 2.5 0 m 2.5 5 l S"), std::string::npos);
  // Fonts in order of first use; the Times font is its own resource.
  EXPECT_NE(pdf.find("/Font <</F0 "), std::string::npos);
  EXPECT_NE(pdf.find("/BaseFont /TimesNewRoman,BoldItalic /Encoding /WinAnsiEncoding/FirstChar 32/LastChar 255"),
            std::string::npos);
  const auto fonts = RunCommand("pdffonts " + Path("items.pdf"));
  EXPECT_NE(fonts.output.find("Arial"), std::string::npos) << fonts.output;
  const auto images = RunCommand("pdfimages -list " + Path("items.pdf"));
  EXPECT_NE(images.output.find("jpeg"), std::string::npos) << images.output;
  EXPECT_NE(images.output.find("image"), std::string::npos);
}

// A first line with variables is written with their values, one that
// resolves to nothing writes nothing, and a line without any as it is.
TEST_F(PdfEngineTest, VariablesOfTheFirstLineAreReplaced) {
  NX_REQUIRE_TOOL("pdftotext");
  const std::string pdf = WriteWithEngine(
      Path("variables"), [](TgtPDFEngine &e) { e.DocInfo().FAuthor = u"Ann"; },
      [](TgtPDFEngine &e) {
        AddText(e, u"Written by <%Author%>", 50, 50, 12);
        AddText(e, u"<%Subject%>", 50, 100, 12);
        AddText(e, u"Plain 100% line", 50, 150, 12);
        AddText(e, u"Kept <%Author", 50, 200, 12);
      });
  ASSERT_FALSE(pdf.empty());
  const auto text = RunCommand("pdftotext -enc UTF-8 " + Path("variables.pdf") + " -");
  EXPECT_NE(text.output.find("Written by Ann"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("Plain 100% line"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("Kept <%Author"), std::string::npos) << text.output;
  EXPECT_EQ(text.output.find("Subject"), std::string::npos) << text.output;
  EXPECT_EQ(text.output.find("<%Author%>"), std::string::npos) << text.output;
}

TEST_F(PdfEngineTest, EncryptedDocumentMatchesThePlainOneAfterDecryption) {
  NX_REQUIRE_TOOL("qpdf");
  auto withPassword = [](TgtPDFEngine &e) {
    e.DocInfo().FTitle = u"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC";  // outside Windows-1252
    TgtPDFEncryptionSettings &s = e.Encryption();
    s.SetEnabled(true);
    s.SetOwnerPassword("pw");
    s.SetUserPassword("pw");
    s.SetUserPermissions({AllowCopy, AllowPrint, AllowAnnotation});
  };
  const std::string enc = WriteWithEngine(Path("enc"), withPassword, DrawEverything);
  const std::string plain = WriteWithEngine(Path("plain"), nullptr, DrawEverything);
  EXPECT_NE(enc.find("/V 2/R 3/P -3852/Length 128/Filter/Standard/O <"), std::string::npos);
  EXPECT_EQ(QpdfCheck(Path("enc.pdf"), "pw").exitCode, 0);
  const auto show = RunCommand("qpdf --show-encryption --password=pw " + Path("enc.pdf"));
  EXPECT_NE(show.output.find("R = 3"), std::string::npos) << show.output;
  EXPECT_NE(show.output.find("P = -3852"), std::string::npos);
  EXPECT_NE(show.output.find("extract for any purpose: allowed"), std::string::npos);
  EXPECT_NE(show.output.find("modify other: not allowed"), std::string::npos);
  for (int page : {1, 2}) EXPECT_EQ(PageContent(Path("enc.pdf"), page, "pw"), PageContent(Path("plain.pdf"), page));
  const auto info = RunCommand("pdfinfo -enc UTF-8 -upw pw " + Path("enc.pdf"));
  EXPECT_NE(info.output.find("\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC"), std::string::npos) << info.output;
  EXPECT_NE(RunCommand("pdftotext -upw pw " + Path("enc.pdf") + " -").output.find("Page two"), std::string::npos);
  EXPECT_NE(RunCommand("pdftotext -upw wrong " + Path("enc.pdf") + " -").exitCode, 0);
  if (RunCommand("/usr/bin/python3 -c 'import pikepdf'").exitCode == 0) {
    const auto py = RunCommand("/usr/bin/python3 -c \"import pikepdf,sys; p=pikepdf.open(sys.argv[1], password='pw'); "
                               "print(len(p.pages), p.is_encrypted)\" " +
                               Path("enc.pdf"));
    EXPECT_NE(py.output.find("2 True"), std::string::npos) << py.output;
  }
  // The same engine writes the next document without a password unencrypted.
  TgtPDFEngine e;
  e.Preferences().FOpenAfterCreate = false;
  withPassword(e);
  e.SetFileName(AsciiToWide(Path("first")));
  e.BeginDoc();
  e.EndDoc();
  e.Encryption().SetEnabled(false);
  e.SetFileName(AsciiToWide(Path("second")));
  e.BeginDoc();
  e.EndDoc();
  EXPECT_NE(RunCommand("qpdf --show-encryption " + Path("first.pdf")).output.find("R = 3"), std::string::npos);
  EXPECT_NE(RunCommand("qpdf --show-encryption " + Path("second.pdf")).output.find("File is not encrypted"),
            std::string::npos);
}

TEST_F(PdfEngineTest, PdfAHasMetadataOutputIntentAndIccColours) {
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("xmllint");
  for (int v : {4, 5, 6}) {
    const std::string name = Path("a" + std::to_string(v));
    const std::string pdf = WriteWithEngine(
        name,
        [&](TgtPDFEngine &e) {
          e.SetPDFVersion(static_cast<TgtPDFVersion>(v));
          e.DocInfo().FTitle = u"Invoice <1> & \u00E9";
        },
        DrawEverything);
    const std::string meta = RunCommand("pdfinfo -meta " + name + ".pdf").output;
    const std::string xmp = dir_.file("x.xml");
    std::ofstream(xmp) << meta;
    EXPECT_EQ(RunCommand("xmllint --noout " + xmp).exitCode, 0) << meta;
    EXPECT_NE(meta.find("<pdfaid:part>" + std::to_string(v - 3) + "</pdfaid:part>"), std::string::npos);
    EXPECT_NE(meta.find("<pdfaid:conformance>B</pdfaid:conformance>"), std::string::npos);
    EXPECT_NE(meta.find("Invoice &lt;1&gt; &amp; \u00E9"), std::string::npos);
    EXPECT_TRUE(std::regex_search(meta, std::regex("<xmp:CreateDate>\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d<")))
        << meta;
    EXPECT_NE(pdf.find("/S/GTS_PDFA1/OutputConditionIdentifier(Custom)/Info(sRGB IEC61966-2.1)"), std::string::npos);
    EXPECT_TRUE(std::regex_search(pdf, std::regex("/ColorSpace ?<<(/CSP \\[/Pattern /DeviceRGB\\])?/CS0 \\d+ 0 R>>")));
    EXPECT_NE(PageContent(name + ".pdf").find("/CS0 cs 1.0000 1.0000 1.0000 scn"), std::string::npos);
    EXPECT_EQ(pdf.find("/CreationDate"), std::string::npos);
    if (RunCommand("/usr/bin/python3 -c 'import pikepdf'").exitCode != 0) continue;  // python3-pikepdf missing
    const auto py = RunCommand("/usr/bin/python3 -c \"import pikepdf,sys; p=pikepdf.open(sys.argv[1]); "
                               "oi=p.Root.OutputIntents[0]; print(oi.S, len(oi.DestOutputProfile.read_bytes()))\" " +
                               name + ".pdf");
    EXPECT_NE(py.output.find("/GTS_PDFA1 6922"), std::string::npos) << py.output;
  }
}

TEST_F(PdfEngineTest, EncryptedPdfAOutputIntentReadsBackAfterDecryption) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string name = Path("a-enc");
  WriteWithEngine(
      name,
      [](TgtPDFEngine &e) {
        e.SetPDFVersion(static_cast<TgtPDFVersion>(4));
        e.Encryption().SetEnabled(true);
        e.Encryption().SetOwnerPassword("pw");
        e.Encryption().SetUserPassword("pw");
      },
      DrawEverything);
  EXPECT_EQ(QpdfCheck(name + ".pdf", "pw").exitCode, 0);
  // qpdf writes the decrypted strings out as they read.
  const std::string plain = Path("a-dec.pdf");
  ASSERT_EQ(RunCommand("qpdf --decrypt --password=pw --qdf --object-streams=disable " + name + ".pdf " + plain).exitCode,
            0);
  std::ifstream in(plain, std::ios::binary);
  const std::string pdf{std::istreambuf_iterator<char>(in), {}};
  EXPECT_NE(pdf.find("/OutputConditionIdentifier (Custom)"), std::string::npos) << pdf.substr(0, 2000);
  EXPECT_NE(pdf.find("/Info (sRGB IEC61966-2.1)"), std::string::npos);
  EXPECT_NE(pdf.find("/RegistryName (http://www.color.org)"), std::string::npos);
}

TEST_F(PdfEngineTest, FailuresLeaveNoFileAndTheEngineReady) {
  TgtPDFEngine e;
  e.Preferences().FOpenAfterCreate = false;
  // A folder that does not exist.
  e.SetFileName(AsciiToWide(Path("missing/doc")));
  EXPECT_THROW(e.BeginDoc(), ENxError);
  EXPECT_FALSE(std::filesystem::exists(Path("missing")));
  // A target that is a folder: the rename fails at the end, the folder stays,
  // no temporary file is left beside it.
  std::filesystem::create_directory(Path("dir.pdf"));
  e.SetFileName(AsciiToWide(Path("dir")));
  e.BeginDoc();
  EXPECT_THROW(e.EndDoc(), ENxError);
  EXPECT_TRUE(std::filesystem::is_directory(Path("dir.pdf")));
  // An earlier file of the same name is kept when a document fails.
  std::ofstream(Path("keep.pdf")) << "old";
  e.SetFileName(AsciiToWide(Path("keep")));
  e.BeginDoc();
  AddItem<TgtImageItem>(e).FIndexNo = 99;  // a picture that does not exist is skipped
  e.EndDoc();
  EXPECT_EQ(QpdfCheck(Path("keep.pdf")).exitCode, 0);
  size_t files = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir_.path())) {
    ++files;
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
  EXPECT_EQ(files, 2u);  // dir.pdf and keep.pdf
}
