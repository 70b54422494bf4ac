// Composite fonts of PDF files: what a shaped run records, the Type0
// dictionary, the CIDFontType2 descendant with its widths, the descriptor
// and the ToUnicode map, byte for byte; and whole documents whose pages show
// hand-made glyph runs, judged by qpdf, poppler, mutool and fontTools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "common/Strings.h"
#include "export/PdfTestSupport.h"
#include "export/gtPDFFontFile.h"

using namespace nx;
using namespace pdftest;
using nxtest::RunCommand;
using nxtest::ShellQuote;

namespace {

TPdfFontSpec FontNamed(const WString &family, double size = 12) {
  TPdfFontSpec s;
  s.Family = family;
  s.Size = size;
  return s;
}

TgtGlyphInfo Glyph(uint16_t id, int32_t advance) {
  TgtGlyphInfo g;
  g.FID = id;
  g.FAdvWidth = advance;
  return g;
}

// The font as the platform serves it for a family: its data, its Unicode
// cmap and its advances (pixels at 1000 points on the 96-dpi screen, as the
// shaper measures them).
struct TServedFont {
  std::string Data;
  std::map<char16_t, uint16_t> Cmap;
  TgtGlyphInfoList Run(const WString &text) const {
    TgtGlyphInfoList glyphs;
    for (char16_t c : text) glyphs.push_back(Glyph(Cmap.at(c), Advance(c)));
    return glyphs;
  }
  int32_t Advance(char16_t c) const {
    HDC dc = GetDC(nullptr);
    HFONT f = CreateFontIndirectW(&Lf);
    HGDIOBJ old = SelectObject(dc, f);
    SIZE ext{};
    const WCHAR ch = c;
    GetTextExtentPoint32W(dc, &ch, 1, &ext);
    SelectObject(dc, old);
    DeleteObject(f);
    ReleaseDC(nullptr, dc);
    return ext.cx;
  }
  LOGFONTW Lf{};
};

TServedFont Served(const WString &family) {
  TServedFont s;
  s.Lf.lfHeight = -1333;
  s.Lf.lfWeight = 400;
  s.Lf.lfCharSet = DEFAULT_CHARSET;
  for (size_t i = 0; i < family.size() && i < LF_FACESIZE - 1; ++i) s.Lf.lfFaceName[i] = family[i];
  HDC dc = GetDC(nullptr);
  HFONT f = CreateFontIndirectW(&s.Lf);
  HGDIOBJ old = SelectObject(dc, f);
  const DWORD size = GetFontData(dc, 0, 0, nullptr, 0);
  if (size != GDI_ERROR && size > 0) {
    s.Data.resize(size);
    GetFontData(dc, 0, 0, s.Data.data(), size);
  }
  SelectObject(dc, old);
  DeleteObject(f);
  ReleaseDC(nullptr, dc);
  for (const auto &[c, g] : ReadUnicodeCmap(s.Data, 0)) s.Cmap.emplace(c, g);
  return s;
}

const char kCMapHead[] =
    "/CIDInit /ProcSet findresource begin\r\n12 dict begin\r\nbegincmap\r\n/CIDSystemInfo\r\n"
    "<</Registry(Adobe)/Ordering(UCS)/Supplement 0>> def\r\n/CMapName /Adobe-Identity-UCS def\r\n"
    "/CMapType 2 def\r\n1 begincodespacerange\r\n";
const char kCMapTail[] = "endbfrange\r\nendcmap\r\nCMapName currentdict /CMap defineresource pop\r\nend end";

TEST(PdfCompositeFont, ToUnicodeMapPairsGlyphsWithTheirCharacters) {
  TgtPDFFont font(FontNamed(u"Liberation Sans"), etfNone, true, 9);
  EXPECT_EQ(font.ToUnicodeCMap(), "");  // no glyphs: an empty stream
  // Left to right: glyph i shows character i; a glyph seen again keeps its
  // first character and width.
  font.AddUsedGlyphs(u"\u0391\u03B2a\u03B2", {Glyph(0x1A2, 960), Glyph(0x1B7, 700), Glyph(0x44, 741), Glyph(0x1B7, 1)},
                     false);
  // Right to left: the glyphs come in visual order, the first glyph shows
  // the last character.
  font.AddUsedGlyphs(u"\u05D0\u05D1\u05D2", {Glyph(0x160, 800), Glyph(0x15F, 810), Glyph(0x15E, 820)}, true);
  EXPECT_EQ(font.ToUnicodeCMap(), std::string(kCMapHead) +
                                      "<0000><01FF>\r\nendcodespacerange\r\n6 beginbfrange\r\n"
                                      "<01A2><01A2><0391>\r\n<01B7><01B7><03B2>\r\n<0044><0044><0061>\r\n"
                                      "<0160><0160><05D2>\r\n<015F><015F><05D1>\r\n<015E><015E><05D0>\r\n" +
                                      kCMapTail);
  EXPECT_EQ(font.GlyphWidth(0x1B7), 525);  // round(700 * 72 / 96)
  EXPECT_EQ(font.GlyphWidth(0x44), 556);   // round(741 * 0.75) = 555.75
  EXPECT_FALSE(font.GlyphWidth(0x45).has_value());
}

// The engine keeps the font data it read; a font measured through the
// cache embeds what a font read on its own embeds, also after the cache
// has let older fonts go.
TEST(PdfCompositeFont, CachedFontDataIsTheFontsOwn) {
  TgtFontDataCache cache;
  std::vector<TPdfFontSpec> fonts;
  for (const WString family : {u"Arial", u"DejaVu Sans", u"Times New Roman", u"Courier New"})
    for (int style = 0; style < 3; ++style) {
      TPdfFontSpec s = FontNamed(family);
      s.Bold = style & 1;
      s.Italic = style & 2;
      fonts.push_back(s);
    }
  for (int round = 0; round < 2; ++round)
    for (const TPdfFontSpec &font : fonts) {
      TgtPDFFont cached(font, etfFull, false, 1, &cache), alone(font, etfFull, false, 1);
      cached.PrepareEmbedding();
      alone.PrepareEmbedding();
      ASSERT_FALSE(alone.EmbeddedData().empty()) << WideToAnsi(font.Family, CP_UTF8);
      EXPECT_TRUE(cached.EmbeddedData() == alone.EmbeddedData()) << WideToAnsi(font.Family, CP_UTF8) << " " << font.Bold;
    }
}

TEST(PdfCompositeFont, CodespaceRangeCoversEveryUsedCode) {
  // Within one high byte the range is the first and last glyph.
  TgtPDFFont narrow(FontNamed(u"Liberation Sans"), etfNone, true, 9);
  narrow.AddUsedGlyphs(u"ab", {Glyph(0x44, 741), Glyph(0x45, 741)}, false);
  EXPECT_NE(narrow.ToUnicodeCMap().find("range\r\n<0044><0045>\r\nendcodespacerange\r\n2 beginbfrange"),
            std::string::npos);
  // Across high bytes each byte is bounded on its own, so the low byte takes
  // its whole range (0x0250 would otherwise fall outside <0003><0310>).
  TgtPDFFont wide(FontNamed(u"Liberation Sans"), etfNone, true, 9);
  wide.AddUsedGlyphs(u"abc", {Glyph(0x0310, 1), Glyph(0x0003, 1), Glyph(0x0250, 1)}, false);
  EXPECT_NE(wide.ToUnicodeCMap().find("<0000><03FF>\r\nendcodespacerange"), std::string::npos);
}

TEST(PdfCompositeFont, GlyphsBeyondTheTextGetNoCharacter) {
  // Shaping may give more glyphs than characters: the extra glyph is kept
  // (drawn and embedded) but maps to no character.
  TgtPDFFont font(FontNamed(u"Liberation Sans"), etfNone, true, 9);
  font.AddUsedGlyphs(u"x", {Glyph(0x5B, 500), Glyph(0x300, 0)}, false);
  EXPECT_NE(font.ToUnicodeCMap().find("1 beginbfrange\r\n<005B><005B><0078>\r\nendbfrange"), std::string::npos);
  EXPECT_EQ(font.GlyphWidth(0x300), 0);
}

TEST(PdfCompositeFont, GlyphRunHexHasFourUpperCaseDigitsPerGlyph) {
  EXPECT_EQ(GlyphRunHex({Glyph(0x41, 0), Glyph(0x2A, 0), Glyph(0xFFFF, 0), Glyph(0, 0), Glyph(0xabc, 0)}),
            "0041002AFFFF00000ABC");
  EXPECT_EQ(GlyphRunHex({}), "");
}

TEST(PdfCompositeFont, EqualityTakesEncodingAndOrientation) {
  TgtPDFFont font(FontNamed(u"Liberation Sans"), etfNone, true, 9);
  EXPECT_TRUE(font.IsIdentityH());
  EXPECT_TRUE(font.IsEqual(FontNamed(u"Liberation Sans"), true, true));
  EXPECT_FALSE(font.IsEqual(FontNamed(u"Liberation Sans"), false, true));
  EXPECT_FALSE(font.IsEqual(FontNamed(u"Liberation Sans"), true, false));
  EXPECT_FALSE(font.IsEqual(FontNamed(u"Liberation Sans", 14), true, true));
  font.SetIdentityH(false);
  EXPECT_TRUE(font.IsEqual(FontNamed(u"Liberation Sans"), true, false));
}

// Liberation Sans (2048 units/em: winAscent 1854, winDescent 434,
// xAvgCharWidth 1187, advanceWidthMax 2740) measured at 1000 points on the
// 96-dpi screen: ascent 1207 px = 905.25, descent 282 px = 211.5, average
// and maximum width 773 and 1784 px, in whole inches × 72: 576 and 1296.
TEST(PdfCompositeFont, DictionariesAndDescriptorOfAProportionalFont) {
  TgtPDFFont font(FontNamed(u"Liberation Sans"), etfNone, true, 9);
  font.AddUsedGlyphs(u"\u03B1 \u03B2", {Glyph(0x1C3, 770), Glyph(3, 370), Glyph(0x1C4, 760)}, false);
  EXPECT_EQ(font.Type0FontDictionary(2, 10, 11),
            "/Type/Font/Subtype/Type0/Name/F2/BaseFont/LiberationSans/Encoding/Identity-H"
            "/ToUnicode 10 0 R/DescendantFonts [11 0 R]\r\n");
  EXPECT_EQ(font.CIDFontDictionary(12, "41646F6265", "4964656E74697479"),
            "<</Type/Font/Subtype/CIDFontType2/BaseFont/LiberationSans/FontDescriptor 12 0 R"
            "/CIDSystemInfo<</Registry<41646F6265>/Ordering<4964656E74697479>/Supplement 0>>"
            "/W [451[578]3[278]452[570]]/DW 1296/CIDToGIDMap/Identity>>");
  EXPECT_EQ(font.CompositeFontDescriptor(14),
            "/Type/FontDescriptor/FontName/LiberationSans/Flags 32/FontBBox [-250 -212 1296 905]"
            "/Ascent 905.25/Descent -211.5/CapHeight 905.25/AvgWidth 576/MaxWidth 1296/MissingWidth 1296"
            "/StemV 78/ItalicAngle 0/FontWeight 400/FontFile2 14 0 R\r\n");
  const std::string plain = font.CompositeFontDescriptor();
  EXPECT_EQ(plain, font.CompositeFontDescriptor(14).substr(0, plain.size() - 2) + "\r\n");
  EXPECT_EQ(plain.find("/FontFile2"), std::string::npos);
  font.SetIdentityH(false);
  EXPECT_NE(font.Type0FontDictionary(0, 10, 11).find("/Encoding/Identity-V/"), std::string::npos);
}

TEST(PdfCompositeFont, NamesWithDelimitersAreEscaped) {
  // A delimiter in a name would end it early and break the dictionary.
  TgtPDFFont font(FontNamed(u"Sans (Test)/2"), etfNone, true, 9);
  EXPECT_NE(font.Type0FontDictionary(0, 10, 11).find("/BaseFont/Sans#28Test#29#2F2/Encoding/"), std::string::npos);
  EXPECT_NE(font.CIDFontDictionary(12, "", "").find("/BaseFont/Sans#28Test#29#2F2/FontDescriptor"),
            std::string::npos);
  EXPECT_NE(font.CompositeFontDescriptor().find("/FontName/Sans#28Test#29#2F2/Flags"), std::string::npos);
}

TEST(PdfCompositeFont, ItalicDescriptorKeepsTheMeasuredAngle) {
  // The simple descriptor has /StemH and writes -12 for an upright-measured
  // italic; the composite one has neither.
  TPdfFontSpec italic = FontNamed(u"Liberation Sans");
  italic.Italic = true;
  TgtPDFFont font(italic, etfNone, true, 9);
  const std::string d = font.CompositeFontDescriptor();
  EXPECT_EQ(d.find("/StemH"), std::string::npos);
  EXPECT_NE(d.find("/FontName/LiberationSans,Italic/Flags 96/"), std::string::npos) << d;
  EXPECT_NE(d.find("/ItalicAngle -12/"), std::string::npos) << d;  // the font's own angle
}

TEST(PdfCompositeFont, FixedPitchFontsHaveNoWidthArray) {
  TgtPDFFont mono(FontNamed(u"Liberation Mono"), etfNone, true, 9);
  ASSERT_TRUE(mono.Info().FfiIsFixedPitch);
  EXPECT_NE(mono.CIDFontDictionary(12, "", "").find("/Supplement 0>>/DW 600/CIDToGIDMap"), std::string::npos)
      << "no glyphs: the maximum width";
  mono.AddUsedGlyphs(u"\u03B1\u03B2", {Glyph(0x200, 800), Glyph(0x201, 800)}, false);
  const std::string d = mono.CIDFontDictionary(12, "", "");
  EXPECT_EQ(d.find("/W"), std::string::npos);
  EXPECT_NE(d.find("/Supplement 0>>/DW 600/CIDToGIDMap/Identity>>"), std::string::npos) << d;
  // A first glyph of zero width (a mark) leaves the maximum width.
  TgtPDFFont marks(FontNamed(u"Liberation Mono"), etfNone, true, 9);
  marks.AddUsedGlyphs(u"\u0301a", {Glyph(0x300, 0), Glyph(0x44, 800)}, false);
  EXPECT_NE(marks.CIDFontDictionary(12, "", "").find("/DW 600/"), std::string::npos);
}

// ---- whole documents ------------------------------------------------------

const WString kGreek = u"\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1 \u03BA\u03CC\u03C3\u03BC\u03B5";
const char kGreekUtf8[] = "Καλημέρα κόσμε";

// Stands in for the shaper: the first line of every text item is shown as
// the glyph run of its characters, looked up in the served font's cmap,
// with a composite font; a right-to-left run's glyphs are reversed into
// visual order.
class TGlyphRunEngine : public TgtPDFEngine {
 public:
  explicit TGlyphRunEngine(const TServedFont &font) : font_(font) {}
  bool Rtl = false, Vertical = false;

 protected:
  void RenderTextItem(TgtTextItem &item) override {
    const WString &text = item.FLines.at(0);
    TgtGlyphInfoList glyphs = font_.Run(text);
    if (Rtl) std::reverse(glyphs.begin(), glyphs.end());
    int32_t index = 0;
    TgtPDFFont &font = FontResource(FontNamed(item.FFont.Name, item.FFont.Size), true, !Vertical, index);
    font.AddUsedGlyphs(text, glyphs, Rtl);
    ContentStream() += "0 g BT /F" + std::to_string(index) + " 24 Tf 50 " + std::to_string(800 - int(item.FY)) +
                       " Td <" + GlyphRunHex(glyphs) + "> Tj ET\r\n";
  }

 private:
  const TServedFont &font_;
};

class PdfCompositeFontDoc : public ::testing::Test {
 protected:
  void SetUp() override {
    font_ = Served(u"Liberation Sans");
    ASSERT_GT(font_.Data.size(), 10000u);
    ASSERT_TRUE(font_.Cmap.count(u'\u03BA'));
  }
  std::string Write(const std::string &name, TgtTTFontEmbedding mode, bool compress = true,
                    const std::function<void(TGlyphRunEngine &)> &adjust = nullptr,
                    const std::vector<WString> &lines = {kGreek}) {
    TGlyphRunEngine e(font_);
    if (adjust) adjust(e);
    WriteWithEngine(
        e, Path(name),
        [&](TgtPDFEngine &en) {
          en.Preferences().FEmbedTrueTypeFonts = mode;
          en.Compression().Enabled = compress;
        },
        [&](TgtPDFEngine &en) {
          double y = 100;
          for (const WString &line : lines) {
            auto &t = AddItem<TgtTextItem>(en);
            t.FY = y;
            t.FLines = {line};
            t.FFont.Name = u"Liberation Sans";
            t.FFont.Size = 24;
            y += 40;
          }
        });
    return Path(name + ".pdf");
  }
  std::string Path(const std::string &name) const { return dir_.file(name); }
  std::string Text(const std::string &pdf, const std::string &password = "") {
    const std::string pw = password.empty() ? "" : " -upw " + ShellQuote(password);
    return RunCommand("pdftotext -enc UTF-8" + pw + " " + ShellQuote(pdf) + " -").output;
  }
  // The FontFile2 streams of the file, extracted by mutool.
  std::vector<std::string> FontFiles(const std::string &pdf, const std::string &dir) {
    RunCommand("mkdir -p " + ShellQuote(dir) + " && cd " + ShellQuote(dir) + " && mutool extract " + ShellQuote(pdf));
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
      if (entry.path().extension() == ".ttf") files.push_back(entry.path().string());
    return files;
  }
  TServedFont font_;
  nxtest::TempDir dir_;
};

TEST_F(PdfCompositeFontDoc, EachEmbeddingModeGivesACidFontWithItsText) {
  NX_REQUIRE_TOOL("pdffonts");
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("pdftotext");
  struct Case {
    const char *name;
    TgtTTFontEmbedding mode;
    std::vector<WString> exclude;
    const char *emb, *sub;
  };
  // With embedding off a composite font is still embedded as a subset: its
  // glyph codes would draw other glyphs in a substituted font.
  const std::vector<Case> cases = {{"none", etfNone, {}, "yes", "yes"},
                                   {"full", etfFull, {}, "yes", "no"},
                                   {"subset", etfSubset, {}, "yes", "yes"},
                                   {"excluded", etfSubset, {u"liberation sans"}, "no", "no"},
                                   {"excluded-none", etfNone, {u"Liberation Sans"}, "no", "no"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.mode, true, [&](TGlyphRunEngine &e) { e.FontEmbedExcludeList() = c.exclude; });
    const auto check = QpdfCheck(path);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const auto rows = FontRows(path);
    ASSERT_EQ(rows.size(), 1u) << RunCommand("pdffonts " + path).output;
    const bool tagged = std::string(c.sub) == "yes";
    EXPECT_TRUE(std::regex_match(rows[0][0], std::regex(tagged ? "[A-Z]{6}\\+LiberationSans" : "LiberationSans")))
        << rows[0][0];
    EXPECT_EQ(rows[0][1], "CID TrueType");
    EXPECT_EQ(rows[0][2], "Identity-H");
    EXPECT_EQ(rows[0][3], c.emb);
    EXPECT_EQ(rows[0][4], c.sub);
    EXPECT_EQ(rows[0][5], "yes");
    EXPECT_NE(Text(path).find(kGreekUtf8), std::string::npos) << Text(path);
  }
}

// Font objects follow the page objects in the order they are numbered: the
// Type0 font (9, numbered when first used), its ToUnicode map (10), the
// descendant (11), the descriptor (12), the font file (13) and the map's
// length (14).
TEST_F(PdfCompositeFontDoc, FontObjectsAreNumberedAndWrittenInOrder) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string path = Write("numbers", etfFull, false);
  const std::string pdf = nxtest::RunCommand("cat " + ShellQuote(path)).output;
  const size_t type0 = pdf.find(
      "9 0 obj\r\n<<\r\n/Type/Font/Subtype/Type0/Name/F0/BaseFont/LiberationSans/Encoding/Identity-H"
      "/ToUnicode 10 0 R/DescendantFonts [11 0 R]\r\n>>\r\nendobj\r\n");
  const size_t descendant = pdf.find(
      "11 0 obj\r\n<</Type/Font/Subtype/CIDFontType2/BaseFont/LiberationSans/FontDescriptor 12 0 R"
      "/CIDSystemInfo<</Registry<41646F6265>/Ordering<4964656E74697479>/Supplement 0>>/W [");
  const size_t descriptor = pdf.find("12 0 obj\r\n<<\r\n/Type/FontDescriptor/FontName/LiberationSans/Flags 32/");
  const size_t cmap = pdf.find("10 0 obj\r\n<<\r\n/Length\r\n14 0 R>>\r\nstream\r\n/CIDInit /ProcSet");
  const size_t length = pdf.find("14 0 obj\r\n");
  const size_t file = pdf.find("13 0 obj\r\n<<\r\n/Length1 " + std::to_string(font_.Data.size()) + "/Length " +
                               std::to_string(font_.Data.size()) + "\r\n>>\r\nstream\r\n");
  ASSERT_NE(type0, std::string::npos);
  ASSERT_NE(descendant, std::string::npos);
  ASSERT_NE(descriptor, std::string::npos);
  ASSERT_NE(cmap, std::string::npos);
  ASSERT_NE(file, std::string::npos);
  EXPECT_LT(type0, descendant);
  EXPECT_LT(descendant, descriptor);
  EXPECT_LT(descriptor, cmap);
  EXPECT_LT(cmap, length);
  EXPECT_LT(length, file);
  EXPECT_NE(pdf.find("/FontWeight 400/FontFile2 13 0 R\r\n"), std::string::npos);
  // The map of the run: the space and the repeated letters once each.
  EXPECT_NE(pdf.find("endcodespacerange\r\n12 beginbfrange\r\n"), std::string::npos);
  EXPECT_EQ(QpdfCheck(path).exitCode, 0);
}

TEST_F(PdfCompositeFontDoc, SubsetHoldsTheRunsGlyphsAndLoadsInFontTools) {
  NX_REQUIRE_TOOL("mutool");
  if (RunCommand("/usr/bin/python3 -c 'import fontTools'").exitCode != 0) GTEST_SKIP() << "python3-fonttools missing";
  const auto files = FontFiles(Write("subset", etfSubset), Path("subset-files"));
  ASSERT_EQ(files.size(), 1u);
  const long size = static_cast<long>(std::filesystem::file_size(files[0]));
  EXPECT_LT(size * 5, static_cast<long>(font_.Data.size()));
  // Every glyph of the run has an outline (accented letters are composites:
  // their components too), glyph identifiers are kept, and a glyph the run
  // does not use (Z) is empty.
  std::string used;
  for (const TgtGlyphInfo &g : font_.Run(kGreek))
    if (g.FID != font_.Cmap.at(u' ')) used += " " + std::to_string(g.FID);
  const std::string served = Path("served.ttf");
  nxtest::WriteFileBytes(served, std::vector<unsigned char>(font_.Data.begin(), font_.Data.end()));
  const auto py = RunCommand(
      "/usr/bin/python3 -c \"import sys\nfrom fontTools.ttLib import TTFont\n"
      "f = TTFont(sys.argv[1]); g = f['glyf']; order = f.getGlyphOrder()\n"
      "used = [int(a) for a in sys.argv[4:]]\n"
      "def drawn(n): return g[n].numberOfContours > 0 or (g[n].isComposite() and all(drawn(c) for c in "
      "g[n].getComponentNames(g)))\n"
      "print('same count', len(order) == len(TTFont(sys.argv[2]).getGlyphOrder()),"
      " 'used', all(drawn(order[i]) for i in used),"
      " 'composites', sum(g[order[i]].isComposite() for i in used) > 0,"
      " 'unused', g[order[int(sys.argv[3])]].numberOfContours)\" " +
      ShellQuote(files[0]) + " " + ShellQuote(served) + " " + std::to_string(font_.Cmap.at(u'Z')) + used);
  EXPECT_EQ(py.output, "same count True used True composites True unused 0\n");
}

TEST_F(PdfCompositeFontDoc, EncryptedDocumentDecryptsWithItsText) {
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("pdftotext");
  const std::string path = Write("enc", etfSubset, true, [](TGlyphRunEngine &e) {
    e.Encryption().SetEnabled(true);
    e.Encryption().SetOwnerPassword("pw");
    e.Encryption().SetUserPassword("pw");
  });
  const auto check = QpdfCheck(path, "pw");
  EXPECT_EQ(check.exitCode, 0) << check.output;
  EXPECT_NE(Text(path, "pw").find(kGreekUtf8), std::string::npos) << Text(path, "pw");
  // The registry and ordering strings are encrypted for the descendant font.
  const std::string raw = RunCommand("cat " + ShellQuote(path)).output;
  EXPECT_EQ(raw.find("/Registry<41646F6265>"), std::string::npos);
  EXPECT_NE(raw.find("/CIDSystemInfo<</Registry<"), std::string::npos);
  const std::string qdf = QdfText(path, "pw");
  EXPECT_NE(qdf.find("/Registry (Adobe)"), std::string::npos) << qdf.substr(0, 3000);
  EXPECT_NE(qdf.find("/Ordering (Identity)"), std::string::npos);
  EXPECT_NE(qdf.find("/CMapName /Adobe-Identity-UCS def"), std::string::npos);
}

TEST_F(PdfCompositeFontDoc, RightToLeftRunsAndVerticalFontsKeepTheirText) {
  NX_REQUIRE_TOOL("pdffonts");
  NX_REQUIRE_TOOL("qpdf");
  const WString hebrew = u"\u05E9\u05DC\u05D5\u05DD";  // shalom
  ASSERT_TRUE(font_.Cmap.count(hebrew[0]));
  const std::string rtl = Write("rtl", etfSubset, false, [](TGlyphRunEngine &e) { e.Rtl = true; }, {hebrew});
  EXPECT_EQ(QpdfCheck(rtl).exitCode, 0);
  // The glyphs are in visual order; the map gives each its own character.
  const std::string qdf = QdfText(rtl);
  for (char16_t c : hebrew) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "<%04X><%04X><%04X>", font_.Cmap.at(c), font_.Cmap.at(c), c);
    EXPECT_NE(qdf.find(entry), std::string::npos) << entry;
  }
  EXPECT_NE(Text(rtl).find("שלום"), std::string::npos) << Text(rtl);
  const std::string vertical = Write("vertical", etfSubset, true, [](TGlyphRunEngine &e) { e.Vertical = true; });
  EXPECT_EQ(QpdfCheck(vertical).exitCode, 0);
  const auto rows = FontRows(vertical);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][2], "Identity-V");
}

// The subset holds the very glyphs of the whole font: the pages must be the
// same pixel for pixel, and must show the run.
TEST_F(PdfCompositeFontDoc, SubsetPagesRenderAsFullyEmbeddedOnes) {
  NX_REQUIRE_TOOL("pdftoppm");
  std::vector<unsigned char> pages[2];
  const TgtTTFontEmbedding modes[2] = {etfFull, etfSubset};
  for (int i = 0; i < 2; ++i) {
    const std::string name = "render" + std::to_string(i);
    RunCommand("pdftoppm -r 96 -gray " + ShellQuote(Write(name, modes[i])) + " " + ShellQuote(Path(name)));
    pages[i] = nxtest::ReadFileBytes(Path(name + "-1.pgm"));
  }
  ASSERT_GT(pages[0].size(), 1000u);
  EXPECT_TRUE(pages[0] == pages[1]);
  const long dark = std::count_if(pages[1].begin() + 20, pages[1].end(), [](unsigned char v) { return v < 128; });
  EXPECT_GT(dark, 500);
}

}  // namespace
