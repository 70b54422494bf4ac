#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <algorithm>
#include <set>
#include <string>

#include "platform/text/FontEngine.h"
#include "support/TestSupport.h"

using nx::text::ResolveFont;
using namespace nxtest;

namespace {

LOGFONTW Logical(const char16_t *face, LONG height, LONG weight = FW_NORMAL, BYTE italic = 0) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  for (size_t i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = WCHAR(face[i]);
  return lf;
}

// FreeType's own unhinted advance at a pixel em, read without our code.
class DirectFace {
 public:
  DirectFace(const std::string &path, int em) {
    FT_Init_FreeType(&lib_);
    ok_ = FT_New_Face(lib_, path.c_str(), 0, &face_) == 0 && FT_Set_Pixel_Sizes(face_, 0, em) == 0;
  }
  ~DirectFace() {
    if (face_) FT_Done_Face(face_);
    FT_Done_FreeType(lib_);
  }
  bool ok() const { return ok_; }
  double Advance(char32_t c) {
    FT_Load_Char(face_, c, FT_LOAD_NO_HINTING);
    return face_->glyph->linearHoriAdvance / 65536.0;
  }
  FT_Face face() { return face_; }

 private:
  FT_Library lib_ = nullptr;
  FT_Face face_ = nullptr;
  bool ok_ = false;
};

struct Case {
  const char16_t *face;
  const char *file;
};

const Case kFaces[] = {
    {u"Courier New", "LiberationMono-Regular.ttf"},
    {u"Arial", "LiberationSans-Regular.ttf"},
    {u"Times New Roman", "LiberationSerif-Regular.ttf"},
    {u"DejaVu Sans", "DejaVuSans.ttf"},
};

TEST(FontEngine, StandInsAndMetricsAgreeWithFreeTypeAt96And600Dpi) {
  const std::u16string sample = u"Hello, World! \u00E9\u00DF 0123";
  for (const Case &c : kFaces) {
    for (int dpi : {96, 600}) {
      int em = int(std::lround(12.0 * dpi / 72));
      auto font = ResolveFont(Logical(c.face, -em));
      ASSERT_TRUE(font);
      EXPECT_NE(std::string::npos, font->Face().Path().find(c.file)) << font->Face().Path();
      EXPECT_EQ(em, font->EmPixels());
      DirectFace direct(font->Face().Path(), em);
      ASSERT_TRUE(direct.ok());
      long sum = 0;
      for (char16_t ch : sample) {
        int ours = font->Advance(ch);
        EXPECT_NEAR(direct.Advance(ch), ours, 0.5) << "char " << int(ch) << " at " << dpi;
        sum += std::lround(direct.Advance(ch));
      }
      EXPECT_EQ(sum, font->Extent(reinterpret_cast<const WCHAR *>(sample.data()), sample.size()));
      const TEXTMETRICW &tm = font->Metrics();
      EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
      EXPECT_EQ(tm.tmHeight - em, tm.tmInternalLeading);
      EXPECT_GT(tm.tmAscent, tm.tmDescent);
      EXPECT_NEAR(direct.face()->size->metrics.x_ppem, em, 0);
      EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
      // GDI's cell is the OS/2 Windows ascent and descent at the em.
      auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(direct.face(), FT_SFNT_OS2));
      ASSERT_TRUE(os2);
      const double k = double(em) / direct.face()->units_per_EM;
      EXPECT_EQ(std::lround(os2->usWinAscent * k), tm.tmAscent) << font->Face().Path() << " at " << dpi;
      EXPECT_EQ(std::lround(os2->usWinDescent * k), tm.tmDescent) << font->Face().Path() << " at " << dpi;
      EXPECT_EQ(std::lround(os2->xAvgCharWidth * k), tm.tmAveCharWidth) << font->Face().Path() << " at " << dpi;
    }
  }
}

TEST(FontEngine, CourierNewTwelvePointAt600Dpi) {
  auto font = ResolveFont(Logical(u"Courier New", -100));
  ASSERT_TRUE(font);
  EXPECT_EQ(100, font->EmPixels());
  EXPECT_EQ(60, font->Advance(u'A'));
  EXPECT_EQ(60, font->Metrics().tmAveCharWidth);
  EXPECT_EQ(FF_MODERN, font->Metrics().tmPitchAndFamily & 0xF0);
  EXPECT_FALSE(font->Metrics().tmPitchAndFamily & TMPF_FIXED_PITCH);  // the bit means variable pitch
  auto arial = ResolveFont(Logical(u"Arial", -100));
  EXPECT_TRUE(arial->Metrics().tmPitchAndFamily & TMPF_FIXED_PITCH);
  EXPECT_EQ(FF_SWISS, arial->Metrics().tmPitchAndFamily & 0xF0);
  EXPECT_EQ(FF_ROMAN, ResolveFont(Logical(u"Times New Roman", -100))->Metrics().tmPitchAndFamily & 0xF0);
  // Underline and strike-out as the font's post and OS/2 tables give them
  // (the top of each stroke), read here without our code.
  DirectFace direct(font->Face().Path(), 100);
  ASSERT_TRUE(direct.ok());
  auto *post = static_cast<TT_Postscript *>(FT_Get_Sfnt_Table(direct.face(), FT_SFNT_POST));
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(direct.face(), FT_SFNT_OS2));
  ASSERT_TRUE(post && os2);
  const double k = 100.0 / direct.face()->units_per_EM;
  OUTLINETEXTMETRICW otm;
  ASSERT_TRUE(font->Outline(otm));
  EXPECT_EQ(std::lround(post->underlinePosition * k), otm.otmsUnderscorePosition);
  EXPECT_EQ(std::lround(post->underlineThickness * k), otm.otmsUnderscoreSize);
  EXPECT_EQ(std::lround(os2->yStrikeoutPosition * k), otm.otmsStrikeoutPosition);
  EXPECT_EQ(std::lround(os2->yStrikeoutSize * k), long(otm.otmsStrikeoutSize));
  EXPECT_EQ(std::lround(os2->sTypoAscender * k), otm.otmAscent);
  EXPECT_EQ(0, otm.otmItalicAngle);
}

TEST(FontEngine, PositiveHeightIsTheCellAndStylesResolve) {
  auto cell = ResolveFont(Logical(u"Arial", 40));
  EXPECT_NEAR(40, cell->Metrics().tmHeight, 1);
  EXPECT_LT(cell->EmPixels(), 40);
  auto bold = ResolveFont(Logical(u"Arial", -20, FW_BOLD));
  EXPECT_NE(std::string::npos, bold->Face().Path().find("Sans-Bold")) << bold->Face().Path();
  EXPECT_EQ(FW_BOLD, bold->Metrics().tmWeight);
  auto italic = ResolveFont(Logical(u"Times New Roman", -20, FW_NORMAL, 1));
  EXPECT_TRUE(italic->Metrics().tmItalic);
  OUTLINETEXTMETRICW otm;
  ASSERT_TRUE(italic->Outline(otm));
  EXPECT_LT(otm.otmItalicAngle, 0);  // leaning right: negative tenths of a degree
  EXPECT_EQ(2048u, otm.otmEMSquare);
  EXPECT_GT(otm.otmsStrikeoutPosition, 0);
  EXPECT_LT(otm.otmsUnderscorePosition, 0);
  EXPECT_GE(otm.otmsUnderscoreSize, 1);
}

TEST(FontEngine, AbsurdHeightsUnknownFacesAndBadStrings) {
  auto huge = ResolveFont(Logical(u"Arial", INT32_MIN));
  ASSERT_TRUE(huge);
  EXPECT_LE(huge->EmPixels(), 16384);
  EXPECT_GT(ResolveFont(Logical(u"Arial", 0))->EmPixels(), 0);
  auto unknown = ResolveFont(Logical(u"No Such Family 123", -20));
  ASSERT_TRUE(unknown);  // fontconfig falls back to a default family
  auto font = ResolveFont(Logical(u"Arial", -20));
  // An unpaired surrogate measures as U+FFFD; a pair is one character.
  const WCHAR lone[] = {0xD800, u'a'};
  int adv[2];
  font->Advances(lone, 2, adv);
  EXPECT_EQ(font->Advance(0xFFFD), adv[0]);
  EXPECT_EQ(font->Advance(u'a'), adv[1]);
  const WCHAR pair[] = {0xD83D, 0xDE00};
  font->Advances(pair, 2, adv);
  EXPECT_EQ(0, adv[1]);
  EXPECT_EQ(0, font->Extent(lone, 0));
}

TEST(FontEngine, AbcWidthsAddUpToTheAdvance) {
  auto font = ResolveFont(Logical(u"Times New Roman", -100, FW_NORMAL, 1));
  for (char32_t c : {U'f', U'j', U'W', U' '}) {
    ABC abc;
    ASSERT_TRUE(font->CharAbc(c, abc));
    EXPECT_EQ(font->Advance(c), abc.abcA + int(abc.abcB) + abc.abcC) << int(c);
  }
  ABC f;
  font->CharAbc(U'f', f);
  EXPECT_LT(f.abcC, 0);  // italic f overhangs its advance
}

TEST(FontEngine, FontDataIsTheFileOrOneTable) {
  auto font = ResolveFont(Logical(u"DejaVu Sans", -20));
  const auto file = ReadFileBytes(font->Face().Path());
  DWORD size = nx::text::FontData(font->Face(), 0, 0, nullptr, 0);
  ASSERT_EQ(file.size(), size);
  std::vector<unsigned char> data(size);
  ASSERT_EQ(size, nx::text::FontData(font->Face(), 0, 0, data.data(), size));
  EXPECT_EQ(file, data);
  // The 'head' table starts with version 1.0 and has the magic at offset 12.
  const DWORD head = 'h' | ('e' << 8) | ('a' << 16) | (DWORD('d') << 24);
  ASSERT_EQ(54u, nx::text::FontData(font->Face(), head, 0, nullptr, 0));
  unsigned char magic[4];
  ASSERT_EQ(4u, nx::text::FontData(font->Face(), head, 12, magic, 4));
  EXPECT_EQ(0x5F0F3CF5u, (DWORD(magic[0]) << 24) | (magic[1] << 16) | (magic[2] << 8) | magic[3]);
  const DWORD missing = 'z' | ('z' << 8) | ('z' << 16) | (DWORD('z') << 24);
  EXPECT_EQ(DWORD(GDI_ERROR), nx::text::FontData(font->Face(), missing, 0, nullptr, 0));
  EXPECT_EQ(DWORD(GDI_ERROR), nx::text::FontData(font->Face(), head, 1000, nullptr, 0));
}

TEST(FontEngine, UnreadableFontFileIsRefused) {
  TempDir dir;
  std::string bogus = (dir.path() / "broken.ttf").string();
  WriteFileBytes(bogus, {'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'n', 't'});
  EXPECT_EQ(nullptr, nx::text::OpenFace(bogus, 0));
  EXPECT_EQ(nullptr, nx::text::OpenFace("/nonexistent/font.ttf", 0));
}

struct Enumerated {
  std::vector<std::u16string> families;
  std::vector<DWORD> types;
  std::set<BYTE> charsets;
  int stopAfter = 1 << 30;
};

int CALLBACK Collect(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD type, LPARAM lp) {
  auto *e = reinterpret_cast<Enumerated *>(lp);
  EXPECT_EQ(bool(tm->tmPitchAndFamily & TMPF_TRUETYPE), type == DWORD(TRUETYPE_FONTTYPE));
  EXPECT_TRUE(type == 0 || type == DWORD(TRUETYPE_FONTTYPE));
  e->types.push_back(type);
  e->families.emplace_back(reinterpret_cast<const char16_t *>(lf->lfFaceName));
  e->charsets.insert(lf->lfCharSet);
  return --e->stopAfter > 0;
}

TEST(FontEngine, EnumerationIsStableAndCarriesCharsets) {
  LOGFONTW all{};
  all.lfCharSet = DEFAULT_CHARSET;
  Enumerated a, b;
  EXPECT_EQ(1, EnumFontFamiliesExW(nullptr, &all, Collect, LPARAM(&a), 0));
  EnumFontFamiliesExW(nullptr, &all, Collect, LPARAM(&b), 0);
  EXPECT_EQ(a.families, b.families);
  EXPECT_NE(a.families.end(), std::find(a.families.begin(), a.families.end(), u"Liberation Sans"));
  // DejaVu Sans covers Western, Cyrillic and Greek among others.
  LOGFONTW dejavu = Logical(u"DejaVu Sans", 0);
  dejavu.lfCharSet = DEFAULT_CHARSET;
  Enumerated d;
  EnumFontFamiliesExW(nullptr, &dejavu, Collect, LPARAM(&d), 0);
  for (BYTE cs : {ANSI_CHARSET, RUSSIAN_CHARSET, GREEK_CHARSET}) EXPECT_TRUE(d.charsets.count(cs)) << int(cs);
  Enumerated stop;
  stop.stopAfter = 2;
  EXPECT_EQ(0, EnumFontFamiliesExW(nullptr, &all, Collect, LPARAM(&stop), 0));
  EXPECT_EQ(2u, stop.families.size());
  Enumerated styles;
  EnumFontsW(nullptr, NXW("Liberation Mono"), Collect, LPARAM(&styles));
  EXPECT_EQ(4u, styles.families.size());  // regular, bold, italic, bold italic
  EXPECT_EQ(std::vector<DWORD>(4, TRUETYPE_FONTTYPE), styles.types);
  EXPECT_EQ(0, EnumFontFamiliesExW(nullptr, nullptr, Collect, 0, 0));
}

// The first installed file of a font format ("Type 1", "CFF"), by fontconfig.
std::string FileOfFormat(const char *format) {
  FcPattern *pat = FcPatternBuild(nullptr, FC_FONTFORMAT, FcTypeString, format, nullptr);
  FcObjectSet *os = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet *set = FcFontList(nullptr, pat, os);
  std::string out;
  FcChar8 *file = nullptr;
  if (set && set->nfont > 0 && FcPatternGetString(set->fonts[0], FC_FILE, 0, &file) == FcResultMatch)
    out = reinterpret_cast<const char *>(file);
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  return out;
}

TEST(FontEngine, PostScriptOutlinesAreNotTrueType) {
  // fonts-urw-base35 ships both kinds (scripts/setup-deps installs it).
  for (const char *format : {"Type 1", "CFF"}) {
    std::string path = FileOfFormat(format);
    ASSERT_FALSE(path.empty()) << "no " << format << " font installed";
    auto face = nx::text::OpenFace(path, 0);
    ASSERT_TRUE(face) << path;
    EXPECT_FALSE(face->TrueTypeOutlines()) << path;
    LOGFONTW lf = Logical(u"", -20);
    nx::text::SizedFont sized(face, lf);
    EXPECT_FALSE(sized.Metrics().tmPitchAndFamily & TMPF_TRUETYPE) << path;
    EXPECT_TRUE(sized.Metrics().tmPitchAndFamily & TMPF_VECTOR) << path;
    const DWORD glyf = 'g' | ('l' << 8) | ('y' << 16) | (DWORD('f') << 24);
    EXPECT_EQ(DWORD(GDI_ERROR), nx::text::FontData(*face, glyf, 0, nullptr, 0)) << path;
    DWORD whole = nx::text::FontData(*face, 0, 0, nullptr, 0);
    if (std::string(format) == "Type 1") {
      EXPECT_EQ(DWORD(GDI_ERROR), whole);  // not an sfnt: no font data at all
    } else {
      EXPECT_EQ(nxtest::ReadFileBytes(path).size(), whole);
    }
    // The family enumerates as a vector font, not a TrueType one.
    Enumerated e;
    std::u16string family = face->FamilyName();
    EnumFontsW(nullptr, reinterpret_cast<const WCHAR *>(family.c_str()), Collect, LPARAM(&e));
    ASSERT_FALSE(e.types.empty()) << path;
    for (DWORD t : e.types) EXPECT_EQ(0u, t) << path;
  }
  EXPECT_TRUE(ResolveFont(Logical(u"Arial", -20))->Face().TrueTypeOutlines());
}

struct CharsetOrder {
  std::vector<std::pair<std::u16string, BYTE>> seen;
};

int CALLBACK CollectCharsets(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD, LPARAM lp) {
  auto *c = reinterpret_cast<CharsetOrder *>(lp);
  EXPECT_EQ(lf->lfCharSet, tm->tmCharSet);
  c->seen.emplace_back(reinterpret_cast<const char16_t *>(lf->lfFaceName), lf->lfCharSet);
  return 1;
}

TEST(FontEngine, EnumeratedCharsetsFollowTheCodePageRangesInBitOrder) {
  // DejaVu Sans's OS/2 code-page ranges, read without our code.
  auto font = ResolveFont(Logical(u"DejaVu Sans", -20));
  DirectFace direct(font->Face().Path(), 20);
  ASSERT_TRUE(direct.ok());
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(direct.face(), FT_SFNT_OS2));
  ASSERT_TRUE(os2);
  const std::pair<int, BYTE> kBits[] = {{0, ANSI_CHARSET},   {1, EASTEUROPE_CHARSET}, {2, RUSSIAN_CHARSET},
                                        {3, GREEK_CHARSET},  {4, TURKISH_CHARSET},    {5, HEBREW_CHARSET},
                                        {6, ARABIC_CHARSET}, {7, BALTIC_CHARSET},     {8, VIETNAMESE_CHARSET}};
  std::vector<BYTE> want;
  for (auto [bit, cs] : kBits)
    if (os2->ulCodePageRange1 & (1ul << bit)) want.push_back(cs);
  ASSERT_GE(want.size(), 3u);
  LOGFONTW lf = Logical(u"DejaVu Sans", 0);
  lf.lfCharSet = DEFAULT_CHARSET;
  CharsetOrder order;
  EnumFontFamiliesExW(nullptr, &lf, CollectCharsets, LPARAM(&order), 0);
  std::vector<BYTE> got;
  for (auto &[family, cs] : order.seen)
    if (got.size() < want.size()) got.push_back(cs);  // the first style's charsets
  EXPECT_EQ(want, got);
  // One charset asked for: only families that offer it, each once.
  LOGFONTW greek{};
  greek.lfCharSet = GREEK_CHARSET;
  CharsetOrder g;
  EnumFontFamiliesExW(nullptr, &greek, CollectCharsets, LPARAM(&g), 0);
  ASSERT_FALSE(g.seen.empty());
  std::set<std::u16string> families;
  for (auto &[family, cs] : g.seen) {
    EXPECT_EQ(GREEK_CHARSET, cs);
    EXPECT_TRUE(families.insert(family).second) << "twice";
  }
  EXPECT_TRUE(families.count(u"DejaVu Sans"));
}

TEST(FontEngine, SignatureIsTheOs2Ranges) {
  auto font = ResolveFont(Logical(u"DejaVu Sans", -20));
  DirectFace direct(font->Face().Path(), 20);
  ASSERT_TRUE(direct.ok());
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(direct.face(), FT_SFNT_OS2));
  ASSERT_TRUE(os2);
  FONTSIGNATURE fs = font->Face().Signature();
  EXPECT_EQ(DWORD(os2->ulUnicodeRange1), fs.fsUsb[0]);
  EXPECT_EQ(DWORD(os2->ulUnicodeRange2), fs.fsUsb[1]);
  EXPECT_EQ(DWORD(os2->ulUnicodeRange3), fs.fsUsb[2]);
  EXPECT_EQ(DWORD(os2->ulUnicodeRange4), fs.fsUsb[3]);
  EXPECT_EQ(DWORD(os2->ulCodePageRange1), fs.fsCsb[0]);
  EXPECT_EQ(DWORD(os2->ulCodePageRange2), fs.fsCsb[1]);
  EXPECT_TRUE(fs.fsUsb[0] & 1);  // Basic Latin
}

}  // namespace

namespace {

// A two-font collection built from a plain font file: the 'ttcf' header
// with two offsets, then the font twice, each copy's table offsets moved to
// where the copy sits.
std::vector<unsigned char> MakeCollection(const std::vector<unsigned char> &ttf, uint32_t &second) {
  const uint32_t first = 20;
  second = first + uint32_t(ttf.size());
  std::vector<unsigned char> ttc = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 2};
  for (uint32_t v : {first, second})
    for (int k = 0; k < 4; ++k) ttc.push_back(uint8_t(v >> (24 - 8 * k)));
  const size_t tables = (size_t(ttf[4]) << 8) | ttf[5];
  for (uint32_t at : {first, second}) {
    ttc.insert(ttc.end(), ttf.begin(), ttf.end());
    for (size_t i = 0; i < tables; ++i) {
      unsigned char *off = &ttc[at + 12 + 16 * i + 8];
      uint32_t v = (uint32_t(off[0]) << 24 | off[1] << 16 | off[2] << 8 | off[3]) + at;
      for (int k = 0; k < 4; ++k) off[k] = uint8_t(v >> (24 - 8 * k));
    }
  }
  return ttc;
}

TEST(FontEngine, FontDataOfACollection) {
  auto plain = ResolveFont(Logical(u"Courier New", -20));
  const auto ttf = nxtest::ReadFileBytes(plain->Face().Path());
  nxtest::TempDir dir;
  std::string path = dir.file("mono.ttc");
  uint32_t second = 0;
  const auto ttc = MakeCollection(ttf, second);
  nxtest::WriteFileBytes(path, ttc);
  auto face = nx::text::OpenFace(path, 1);
  ASSERT_TRUE(face);
  EXPECT_EQ(u"Liberation Mono", face->FamilyName());
  EXPECT_EQ(nullptr, nx::text::OpenFace(path, 2));  // only two fonts in it
  // 'ttcf' gives the whole collection; table 0 the font from its own
  // directory on, so the difference of the sizes is the font's offset.
  const DWORD ttcf = 't' | ('t' << 8) | ('c' << 16) | (DWORD('f') << 24);
  std::vector<unsigned char> whole(ttc.size());
  ASSERT_EQ(ttc.size(), nx::text::FontData(*face, ttcf, 0, whole.data(), DWORD(whole.size())));
  EXPECT_EQ(ttc, whole);
  DWORD own = nx::text::FontData(*face, 0, 0, nullptr, 0);
  ASSERT_EQ(ttc.size() - second, own);
  std::vector<unsigned char> tail(own);
  ASSERT_EQ(own, nx::text::FontData(*face, 0, 0, tail.data(), own));
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), ttc.begin() + second));
  // A table of the font is the same bytes as in the plain file.
  const DWORD head = 'h' | ('e' << 8) | ('a' << 16) | (DWORD('d') << 24);
  std::vector<unsigned char> a(54), b(54);
  ASSERT_EQ(54u, nx::text::FontData(*face, head, 0, a.data(), 54));
  ASSERT_EQ(54u, nx::text::FontData(plain->Face(), head, 0, b.data(), 54));
  EXPECT_EQ(a, b);
  // A plain font is no collection.
  EXPECT_EQ(DWORD(GDI_ERROR), nx::text::FontData(plain->Face(), ttcf, 0, nullptr, 0));
}

}  // namespace

// A string's advances and extent, measured on a font that has seen none of
// its characters and again once it has, are its characters' advances: a
// surrogate pair gives its advance to the high unit and 0 to the low one,
// and a stray surrogate measures as U+FFFD, wherever it stands.
TEST(FontEngine, StringsMeasureAsTheirCharactersFirstTimeAndAfter) {
  const std::u16string s = u"Hi \u03A9x\xD83D\xDE00\uD7FF\uE000\xDC00y\u0416\xD800";
  for (LONG em : {37, 41}) {
    auto font = ResolveFont(Logical(u"DejaVu Sans", -em));  // sizes no other test uses
    ASSERT_TRUE(font);
    DirectFace direct(font->Face().Path(), int(em));
    ASSERT_TRUE(direct.ok());
    std::vector<int> expected;
    long sum = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      char32_t c = s[i];
      const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
      const bool pairs = high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
      const bool paired = low && i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF;
      if (pairs) c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      else if ((high || low) && !paired) c = 0xFFFD;
      expected.push_back(paired ? 0 : int(std::lround(direct.Advance(c))));
      sum += expected.back();
    }
    const auto *w = reinterpret_cast<const WCHAR *>(s.data());
    for (int pass = 0; pass < 2; ++pass) {
      // The first size measures the extent first, the second the advances.
      if (em == 37 || pass == 1) {
        EXPECT_EQ(sum, font->Extent(w, s.size())) << "em " << em << " pass " << pass;
      }
      std::vector<int> got(s.size(), -7);
      font->Advances(w, s.size(), got.data());
      EXPECT_EQ(expected, got) << "em " << em << " pass " << pass;
      if (em == 41 && pass == 0) {
        EXPECT_EQ(sum, font->Extent(w, s.size()));
      }
      // Single surrogate units measured on their own (as a width query over
      // a range does) must not stand in for the pairs in a string.
      for (char16_t u : {char16_t(0xD83D), char16_t(0xDE00), char16_t(0xDC00), char16_t(0xD800)}) font->Advance(u);
    }
    int none = -7;
    font->Advances(w, 0, &none);
    EXPECT_EQ(-7, none);
    EXPECT_EQ(0, font->Extent(w, 0));
  }
}
