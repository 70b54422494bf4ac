// Font mapping: the charset, pitch and family of a logical font against the
// face name, as GDI's mapper weighs them (charset, then a fixed pitch, then
// the face name, then the family). Code pages are read from the chosen
// files here with FreeType, not through the font engine.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <memory>
#include <string>

#include "platform/kernel/Wide.h"
#include "platform/text/FontEngine.h"
#include "platform/win32.h"

using nx::text::ResolveFont;
using nx::text::SizedFont;

namespace {

LOGFONTW Logical(const char16_t *face, BYTE charset, BYTE pitchAndFamily = 0) {
  LOGFONTW lf{};
  lf.lfHeight = -20;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = charset;
  lf.lfPitchAndFamily = pitchAndFamily;
  for (size_t i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = WCHAR(face[i]);
  return lf;
}

std::shared_ptr<SizedFont> Resolve(const char16_t *face, BYTE charset, BYTE pitchAndFamily = 0) {
  auto font = ResolveFont(Logical(face, charset, pitchAndFamily));
  EXPECT_TRUE(font) << nx::wide::ToUtf8(face);
  return font;
}

std::string Family(const std::shared_ptr<SizedFont> &font) {
  return font ? nx::wide::ToUtf8(font->Face().FamilyName()) : std::string("(none)");
}

// The OS/2 ulCodePageRange1 of a font file, read directly; 0 without one.
uint32_t CodePages(const std::shared_ptr<SizedFont> &font) {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  uint32_t bits = 0;
  if (FT_Init_FreeType(&lib) == 0 && FT_New_Face(lib, font->Face().Path().c_str(), font->Face().Index(), &face) == 0) {
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version >= 1) bits = uint32_t(os2->ulCodePageRange1);
    FT_Done_Face(face);
  }
  if (lib) FT_Done_FreeType(lib);
  return bits;
}

bool Fixed(const std::shared_ptr<SizedFont> &font) { return !(font->Metrics().tmPitchAndFamily & TMPF_FIXED_PITCH); }

int CALLBACK CountFamilies(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM lp) {
  ++*reinterpret_cast<int *>(lp);
  return 1;
}

// How many installed families offer a charset (from their code pages).
int FamiliesWith(BYTE charset) {
  LOGFONTW lf{};
  lf.lfCharSet = charset;
  int n = 0;
  EnumFontFamiliesExW(nullptr, &lf, CountFamilies, LPARAM(&n), 0);
  return n;
}

struct CharsetCase {
  const char16_t *face;
  BYTE charset;
  int bit;  // the charset's code-page bit
};

}  // namespace

TEST(FontMapper, CharsetOutweighsTheFaceName) {
  // Standard Symbols PS (what fontconfig gives for "Symbol") and Liberation
  // Sans declare no Greek/Cyrillic and no Arabic; DejaVu Serif no Hebrew.
  const CharsetCase kLacking[] = {
      {u"Symbol", GREEK_CHARSET, 3},
      {u"Symbol", RUSSIAN_CHARSET, 2},
      {u"Arial", ARABIC_CHARSET, 6},
      {u"DejaVu Serif", HEBREW_CHARSET, 5},
  };
  for (const CharsetCase &c : kLacking) {
    SCOPED_TRACE(nx::wide::ToUtf8(c.face) + " charset " + std::to_string(c.charset));
    auto asked = Resolve(c.face, DEFAULT_CHARSET);
    ASSERT_TRUE(asked);
    ASSERT_FALSE(CodePages(asked) & (1u << c.bit)) << Family(asked) << " has the code page after all";
    auto font = Resolve(c.face, c.charset);
    ASSERT_TRUE(font);
    EXPECT_TRUE(CodePages(font) & (1u << c.bit)) << Family(font);
    EXPECT_NE(Family(asked), Family(font));
    EXPECT_EQ(c.charset, font->Metrics().tmCharSet);
  }
  // A face that has the charset keeps it.
  const CharsetCase kHaving[] = {
      {u"Arial", GREEK_CHARSET, 3},
      {u"Times New Roman", RUSSIAN_CHARSET, 2},
      {u"DejaVu Sans", ARABIC_CHARSET, 6},
      {u"Courier New", HEBREW_CHARSET, 5},
  };
  for (const CharsetCase &c : kHaving) {
    SCOPED_TRACE(nx::wide::ToUtf8(c.face) + " charset " + std::to_string(c.charset));
    auto asked = Resolve(c.face, DEFAULT_CHARSET);
    auto font = Resolve(c.face, c.charset);
    ASSERT_TRUE(asked && font);
    ASSERT_TRUE(CodePages(asked) & (1u << c.bit)) << Family(asked) << " lacks the code page";
    EXPECT_EQ(asked->Face().Path(), font->Face().Path());
    EXPECT_EQ(c.charset, font->Metrics().tmCharSet);
  }
}

TEST(FontMapper, AnyCharsetOrOneNoFontHasKeepsTheFace) {
  // DEFAULT_CHARSET constrains nothing: the symbol face stays, and the
  // charset reported is the font's first (Western).
  auto symbol = Resolve(u"Symbol", DEFAULT_CHARSET);
  EXPECT_EQ("Standard Symbols PS", Family(symbol));
  EXPECT_EQ(ANSI_CHARSET, symbol->Metrics().tmCharSet);
  auto arial = Resolve(u"Arial", DEFAULT_CHARSET);
  EXPECT_EQ("Liberation Sans", Family(arial));
  EXPECT_EQ(ANSI_CHARSET, arial->Metrics().tmCharSet);
  EXPECT_EQ(arial->Face().Path(), Resolve(u"Arial", ANSI_CHARSET)->Face().Path());
  // A charset no installed font declares gives the face asked for, which
  // reports its own charset.
  ASSERT_GT(FamiliesWith(GREEK_CHARSET), 0);  // the enumeration does filter by charset
  int absent = 0;
  for (BYTE charset : {BYTE(JOHAB_CHARSET), BYTE(SYMBOL_CHARSET), BYTE(SHIFTJIS_CHARSET), BYTE(THAI_CHARSET)}) {
    SCOPED_TRACE(int(charset));
    if (FamiliesWith(charset) > 0) continue;  // an installed font has it: not this case
    ++absent;
    auto font = Resolve(u"Arial", charset);
    EXPECT_EQ(arial->Face().Path(), font->Face().Path());
    EXPECT_EQ(ANSI_CHARSET, font->Metrics().tmCharSet);
  }
  EXPECT_GT(absent, 0) << "every charset tried is installed";
  // A charset with no code page (OEM) constrains nothing either.
  EXPECT_EQ(arial->Face().Path(), Resolve(u"Arial", OEM_CHARSET)->Face().Path());
}

TEST(FontMapper, FixedPitchOutweighsAProportionalFace) {
  auto arial = Resolve(u"Arial", DEFAULT_CHARSET, FIXED_PITCH);
  EXPECT_EQ("Liberation Mono", Family(arial));
  EXPECT_TRUE(Fixed(arial));
  EXPECT_EQ("Liberation Mono", Family(Resolve(u"Times New Roman", ANSI_CHARSET, FIXED_PITCH | FF_ROMAN)));
  // A fixed-pitch face asked for stays; a variable pitch does not move a
  // fixed face (its penalty is below the face name's).
  EXPECT_EQ("DejaVu Sans Mono", Family(Resolve(u"DejaVu Sans Mono", DEFAULT_CHARSET, FIXED_PITCH)));
  EXPECT_EQ("Liberation Mono", Family(Resolve(u"Courier New", DEFAULT_CHARSET, VARIABLE_PITCH)));
  EXPECT_EQ("Liberation Sans", Family(Resolve(u"Arial", DEFAULT_CHARSET, VARIABLE_PITCH)));
  // Charset and pitch together: a fixed-pitch font with the code page.
  for (const CharsetCase &c : {CharsetCase{u"Arial", GREEK_CHARSET, 3}, CharsetCase{u"Arial", ARABIC_CHARSET, 6}}) {
    SCOPED_TRACE(int(c.charset));
    auto font = Resolve(c.face, c.charset, FIXED_PITCH);
    EXPECT_TRUE(Fixed(font)) << Family(font);
    EXPECT_TRUE(CodePages(font) & (1u << c.bit)) << Family(font);
    EXPECT_EQ(c.charset, font->Metrics().tmCharSet);
  }
}

TEST(FontMapper, FamilyAndPitchSteerAnUnknownFaceOnly) {
  const char16_t *unknown = u"No Such Face 4711";
  auto roman = Resolve(unknown, DEFAULT_CHARSET, FF_ROMAN | VARIABLE_PITCH);
  EXPECT_EQ(FF_ROMAN, roman->Metrics().tmPitchAndFamily & 0xF0) << Family(roman);
  EXPECT_FALSE(Fixed(roman));
  auto modern = Resolve(unknown, DEFAULT_CHARSET, FF_MODERN);
  EXPECT_TRUE(Fixed(modern)) << Family(modern);
  auto swiss = Resolve(unknown, DEFAULT_CHARSET, FF_SWISS);
  EXPECT_EQ(FF_SWISS, swiss->Metrics().tmPitchAndFamily & 0xF0) << Family(swiss);
  EXPECT_FALSE(Fixed(swiss));
  // The pitch outweighs the family.
  EXPECT_TRUE(Fixed(Resolve(unknown, DEFAULT_CHARSET, FF_ROMAN | FIXED_PITCH)));
  // No family and no pitch: fontconfig's default, as for an empty name.
  EXPECT_EQ(Resolve(u"", DEFAULT_CHARSET)->Face().Path(), Resolve(unknown, DEFAULT_CHARSET)->Face().Path());
  // An empty name follows the family too.
  EXPECT_EQ(FF_ROMAN, Resolve(u"", DEFAULT_CHARSET, FF_ROMAN)->Metrics().tmPitchAndFamily & 0xF0);
  // A known face wins over the family, and so does a face fontconfig's
  // configuration aliases to an installed one (Palatino is P052 here).
  EXPECT_EQ("Liberation Sans", Family(Resolve(u"Arial", DEFAULT_CHARSET, FF_ROMAN)));
  EXPECT_EQ("Liberation Serif", Family(Resolve(u"Times New Roman", DEFAULT_CHARSET, FF_MODERN | VARIABLE_PITCH)));
  auto palatino = Resolve(u"Palatino", DEFAULT_CHARSET);
  ASSERT_EQ("P052", Family(palatino)) << "fontconfig's alias for Palatino is not installed";
  EXPECT_EQ(palatino->Face().Path(), Resolve(u"Palatino", DEFAULT_CHARSET, FF_SWISS)->Face().Path());
  // The unknown face with a charset still honours the charset.
  auto greek = Resolve(unknown, GREEK_CHARSET, FF_ROMAN);
  EXPECT_TRUE(CodePages(greek) & (1u << 3)) << Family(greek);
  EXPECT_EQ(FF_ROMAN, greek->Metrics().tmPitchAndFamily & 0xF0) << Family(greek);
}
