// The font enumeration against a face-by-face reading of every installed
// font with FreeType, field by field; and fonts that break after fontconfig
// listed them.
#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_FONT_FORMATS_H

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/kernel/Wide.h"
#include "platform/text/FontEngine.h"
#include "support/TestSupport.h"

namespace {

// One installed font as FreeType reads it, opened on its own.
struct Face {
  std::u16string family, style;
  std::string path;
  int index = 0;
  int weight = FW_NORMAL;
  bool italic = false, truetype = false, sfnt = false;
  FONTSIGNATURE sig{};
  std::vector<BYTE> charsets;
  TEXTMETRICW tm{};
  UINT em = 0;
};

FONTSIGNATURE SignatureOf(FT_Face face) {
  FONTSIGNATURE fs{};
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  fs.fsCsb[0] = 1;
  if (!os2) return fs;
  fs.fsUsb[0] = DWORD(os2->ulUnicodeRange1);
  fs.fsUsb[1] = DWORD(os2->ulUnicodeRange2);
  fs.fsUsb[2] = DWORD(os2->ulUnicodeRange3);
  fs.fsUsb[3] = DWORD(os2->ulUnicodeRange4);
  if (os2->version >= 1) {
    fs.fsCsb[0] = DWORD(os2->ulCodePageRange1);
    fs.fsCsb[1] = DWORD(os2->ulCodePageRange2);
  }
  return fs;
}

// Reads the face with a FreeType library of its own; false when it does not
// open as a scalable font.
bool ReadDirectly(FT_Library lib, Face &f) {
  FT_Face face = nullptr;
  if (FT_New_Face(lib, f.path.c_str(), f.index, &face) != 0) return false;
  const bool usable = (face->face_flags & FT_FACE_FLAG_SCALABLE) && face->units_per_EM != 0;
  if (usable) {
    const std::u16string style = nx::wide::FromUtf8(face->style_name ? face->style_name : "");
    f.italic = style.find(u"Italic") != std::u16string::npos || style.find(u"Oblique") != std::u16string::npos;
    f.weight = style.find(u"Bold") != std::u16string::npos ? FW_BOLD : FW_NORMAL;
    f.sfnt = FT_IS_SFNT(face);
    const char *format = FT_Get_Font_Format(face);
    f.truetype = f.sfnt && format && std::strcmp(format, "TrueType") == 0;
    f.sig = SignatureOf(face);
    f.charsets = nx::text::CharsetsOf(f.sig);
    f.em = face->units_per_EM;
  }
  FT_Done_Face(face);
  if (!usable) return false;
  // The metrics at the em square, from a sized font made for this face alone.
  LOGFONTW lf{};
  lf.lfHeight = -2048;
  lf.lfWeight = f.weight;
  lf.lfItalic = f.italic;
  lf.lfCharSet = f.charsets.front();
  auto opened = nx::text::OpenFace(f.path, f.index);
  if (!opened) return false;
  f.tm = nx::text::SizedFont(opened, lf).Metrics();
  return true;
}

// Every scalable font fontconfig lists, read face by face, in family then
// style order.
std::map<std::u16string, std::vector<Face>> ReadAllDirectly() {
  std::map<std::u16string, std::vector<Face>> out;
  FT_Library lib = nullptr;
  FT_Init_FreeType(&lib);
  FcPattern *pat = FcPatternBuild(nullptr, FC_SCALABLE, FcTypeBool, FcTrue, nullptr);
  FcObjectSet *os = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, nullptr);
  FcFontSet *set = FcFontList(nullptr, pat, os);
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8 *family = nullptr, *style = nullptr, *file = nullptr;
    int index = 0;
    if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) != FcResultMatch ||
        FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch)
      continue;
    FcPatternGetString(set->fonts[i], FC_STYLE, 0, &style);
    FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
    Face f;
    f.family = nx::wide::FromUtf8(reinterpret_cast<const char *>(family));
    f.style = style ? nx::wide::FromUtf8(reinterpret_cast<const char *>(style)) : u"Regular";
    f.path = reinterpret_cast<const char *>(file);
    f.index = index & 0xFFFF;
    if (f.family.size() < LF_FACESIZE && ReadDirectly(lib, f)) out[f.family].push_back(std::move(f));
  }
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  FT_Done_FreeType(lib);
  for (auto &[name, faces] : out)
    std::sort(faces.begin(), faces.end(), [](const Face &a, const Face &b) {
      return std::tie(a.weight, a.italic, a.style, a.path) < std::tie(b.weight, b.italic, b.style, b.path);
    });
  return out;
}

std::string Utf8(const WCHAR *s) {
  std::u16string u;
  for (; *s; ++s) u += char16_t(*s);
  return nx::wide::ToUtf8(u);
}

// Everything a callback receives, as text that names each field.
std::string Fields(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD type) {
  const auto &elf = *reinterpret_cast<const ENUMLOGFONTEXW *>(lf);
  const auto &ntm = *reinterpret_cast<const NEWTEXTMETRICEXW *>(tm);
  const NEWTEXTMETRICW &t = ntm.ntmTm;
  std::ostringstream o;
  o << "face=" << Utf8(lf->lfFaceName) << " full=" << Utf8(elf.elfFullName) << " style=" << Utf8(elf.elfStyle)
    << " script=" << Utf8(elf.elfScript) << " type=" << type << " lf=" << lf->lfHeight << ',' << lf->lfWidth << ','
    << lf->lfEscapement << ',' << lf->lfOrientation << ',' << lf->lfWeight << ',' << int(lf->lfItalic) << ','
    << int(lf->lfUnderline) << ',' << int(lf->lfStrikeOut) << ',' << int(lf->lfCharSet) << ','
    << int(lf->lfOutPrecision) << ',' << int(lf->lfClipPrecision) << ',' << int(lf->lfQuality) << ','
    << int(lf->lfPitchAndFamily) << " tm=" << t.tmHeight << ',' << t.tmAscent << ',' << t.tmDescent << ','
    << t.tmInternalLeading << ',' << t.tmExternalLeading << ',' << t.tmAveCharWidth << ',' << t.tmMaxCharWidth
    << ',' << t.tmWeight << ',' << t.tmOverhang << ',' << t.tmDigitizedAspectX << ',' << t.tmDigitizedAspectY
    << ',' << int(t.tmFirstChar) << ',' << int(t.tmLastChar) << ',' << int(t.tmDefaultChar) << ','
    << int(t.tmBreakChar) << ',' << int(t.tmItalic) << ',' << int(t.tmUnderlined) << ',' << int(t.tmStruckOut)
    << ',' << int(t.tmPitchAndFamily) << ',' << int(t.tmCharSet) << " ntm=" << t.ntmFlags << ',' << t.ntmSizeEM
    << ',' << t.ntmCellHeight << ',' << t.ntmAvgWidth << " sig=";
  for (DWORD d : ntm.ntmFontSig.fsUsb) o << d << ',';
  o << ntm.ntmFontSig.fsCsb[0] << ',' << ntm.ntmFontSig.fsCsb[1];
  return o.str();
}

const char16_t *Script(BYTE cs) {
  switch (cs) {
    case ANSI_CHARSET: return u"Western";
    case EASTEUROPE_CHARSET: return u"Central European";
    case RUSSIAN_CHARSET: return u"Cyrillic";
    case GREEK_CHARSET: return u"Greek";
    case TURKISH_CHARSET: return u"Turkish";
    case HEBREW_CHARSET: return u"Hebrew";
    case ARABIC_CHARSET: return u"Arabic";
    case BALTIC_CHARSET: return u"Baltic";
    case VIETNAMESE_CHARSET: return u"Vietnamese";
    case THAI_CHARSET: return u"Thai";
    case SYMBOL_CHARSET: return u"Symbol";
    default: return u"Other";
  }
}

void Put(WCHAR *dst, size_t cap, const std::u16string &s) {
  const size_t n = std::min(s.size(), cap - 1);
  std::copy_n(s.begin(), n, dst);
  dst[n] = 0;
}

// What a call should report of one face in one charset, under a family name.
std::string Expected(const Face &f, BYTE cs, const std::u16string &family) {
  ENUMLOGFONTEXW elf{};
  NEWTEXTMETRICEXW ntm{};
  LOGFONTW &lf = elf.elfLogFont;
  lf.lfHeight = f.tm.tmHeight;
  lf.lfWidth = f.tm.tmAveCharWidth;
  lf.lfWeight = f.weight;
  lf.lfItalic = f.italic;
  lf.lfCharSet = cs;
  lf.lfOutPrecision = 3;
  lf.lfClipPrecision = 2;
  lf.lfQuality = 1;
  lf.lfPitchAndFamily =
      BYTE((f.tm.tmPitchAndFamily & 0xF0) | ((f.tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH));
  Put(lf.lfFaceName, LF_FACESIZE, family);
  Put(elf.elfFullName, LF_FULLFACESIZE, family + (f.style == u"Regular" ? u"" : u" " + f.style));
  Put(elf.elfStyle, LF_FACESIZE, f.style);
  Put(elf.elfScript, LF_FACESIZE, Script(cs));
  std::memcpy(&ntm.ntmTm, &f.tm, sizeof f.tm);
  ntm.ntmTm.tmCharSet = cs;
  ntm.ntmTm.ntmSizeEM = f.em;
  ntm.ntmTm.ntmCellHeight = UINT(f.tm.tmHeight);
  ntm.ntmTm.ntmAvgWidth = UINT(f.tm.tmAveCharWidth);
  ntm.ntmTm.ntmFlags = (f.italic ? NTM_ITALIC : 0) | (f.weight >= FW_BOLD ? NTM_BOLD : 0) |
                       (!f.italic && f.weight < FW_BOLD ? NTM_REGULAR : 0) | (f.sfnt && !f.truetype ? NTM_PS_OPENTYPE : 0);
  ntm.ntmFontSig = f.sig;
  return Fields(&lf, reinterpret_cast<const TEXTMETRICW *>(&ntm), f.truetype ? TRUETYPE_FONTTYPE : 0);
}

int CALLBACK Record(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD type, LPARAM p) {
  reinterpret_cast<std::vector<std::string> *>(p)->push_back(Fields(lf, tm, type));
  return 1;
}

LOGFONTW Asking(const std::u16string &family, BYTE charset) {
  LOGFONTW lf{};
  lf.lfCharSet = charset;
  Put(lf.lfFaceName, LF_FACESIZE, family);
  return lf;
}

std::vector<std::string> Families(const std::u16string &family, BYTE charset = DEFAULT_CHARSET) {
  LOGFONTW lf = Asking(family, charset);
  std::vector<std::string> got;
  EnumFontFamiliesExW(nullptr, &lf, Record, LPARAM(&got), 0);
  return got;
}

std::vector<std::string> Fonts(const std::u16string &family) {
  std::vector<std::string> got;
  EnumFontsW(nullptr, family.empty() ? nullptr : reinterpret_cast<const WCHAR *>(family.c_str()), Record, LPARAM(&got));
  return got;
}

void ExpectSame(const std::vector<std::string> &want, const std::vector<std::string> &got, const std::string &what) {
  EXPECT_EQ(want.size(), got.size()) << what;
  for (size_t i = 0; i < std::min(want.size(), got.size()); ++i) EXPECT_EQ(want[i], got[i]) << what << " #" << i;
}

TEST(FontEnum, ReportsWhatEachFaceSaysWhenReadOnItsOwn) {
  const auto installed = ReadAllDirectly();
  ASSERT_GT(installed.size(), 3u);
  std::vector<std::string> allFamilies, allFonts, greek;
  for (const auto &[family, faces] : installed) {
    std::vector<std::string> byFamily, byFont;
    for (const Face &f : faces) {
      for (BYTE cs : f.charsets) byFamily.push_back(Expected(f, cs, family));
      byFont.push_back(Expected(f, f.charsets.front(), family));
    }
    const std::string name = nx::wide::ToUtf8(family);
    ExpectSame(byFamily, Families(family), "EnumFontFamiliesExW " + name);
    ExpectSame(byFont, Fonts(family), "EnumFontsW " + name);
    const Face &first = faces.front();
    for (BYTE cs : first.charsets) {
      allFamilies.push_back(Expected(first, cs, family));
      if (cs == GREEK_CHARSET) greek.push_back(allFamilies.back());
    }
    allFonts.push_back(byFont.front());
  }
  ExpectSame(allFamilies, Families(u""), "every family");
  ExpectSame(allFonts, Fonts(u""), "every family, one entry each");
  ExpectSame(greek, Families(u"", GREEK_CHARSET), "every Greek family");
  // Asked again, and asked in another case, the answers stay.
  ExpectSame(allFamilies, Families(u""), "every family, again");
  const auto dejavu = installed.find(u"DejaVu Sans");
  ASSERT_NE(installed.end(), dejavu);
  ExpectSame(Families(u"DejaVu Sans"), Families(u"dejavu SANS"), "another case");
  // A core family that is not installed reports its stand-in under its own name.
  ASSERT_EQ(0u, installed.count(u"Arial"));
  const auto standIn = installed.find(u"Liberation Sans");
  ASSERT_NE(installed.end(), standIn);
  std::vector<std::string> arial;
  for (const Face &f : standIn->second)
    for (BYTE cs : f.charsets) arial.push_back(Expected(f, cs, u"Arial"));
  ExpectSame(arial, Families(u"ARIAL"), "Arial");
  EXPECT_TRUE(Families(u"No Such Family Anywhere").empty());
}

struct Nested {
  std::vector<std::string> outer, inner;
};

// A callback that enumerates again from inside the enumeration.
int CALLBACK EnumerateInside(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD type, LPARAM p) {
  auto *n = reinterpret_cast<Nested *>(p);
  n->outer.push_back(Fields(lf, tm, type));
  LOGFONTW again = *lf;
  again.lfCharSet = DEFAULT_CHARSET;
  if (n->inner.empty()) EnumFontFamiliesExW(nullptr, &again, Record, LPARAM(&n->inner), 0);
  return 1;
}

TEST(FontEnum, CallbacksMayEnumerateAgain) {
  LOGFONTW lf = Asking(u"Liberation Serif", DEFAULT_CHARSET);
  Nested n;
  EXPECT_EQ(1, EnumFontFamiliesExW(nullptr, &lf, EnumerateInside, LPARAM(&n), 0));
  EXPECT_FALSE(n.outer.empty());
  EXPECT_EQ(n.outer, n.inner);
  EXPECT_EQ(n.outer, Families(u"Liberation Serif"));
}

// A copy of an installed font that fontconfig lists and that then breaks.
std::string BrokenCopy(const std::filesystem::path &dir, const std::string &source, const std::string &name,
                       size_t keep) {
  const std::string path = (dir / name).string();
  std::vector<unsigned char> bytes = nxtest::ReadFileBytes(source);
  nxtest::WriteFileBytes(path, bytes);
  if (!FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8 *>(path.c_str()))) return {};
  bytes.resize(std::min(keep, bytes.size()));
  nxtest::WriteFileBytes(path, bytes);
  return path;
}

// Runs in a process of its own (the fonts are listed once per process):
// exits 0 when the enumeration left out exactly the copies FreeType cannot
// open and reported every other DejaVu Sans face.
void EnumerateWithBrokenFonts() {
  const auto dir = std::filesystem::temp_directory_path() / ("nx-broken-fonts-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto before = ReadAllDirectly();
  const auto dejavu = before.find(u"DejaVu Sans");
  if (dejavu == before.end()) _exit(2);
  const std::string source = dejavu->second.front().path;
  const size_t size = nxtest::ReadFileBytes(source).size();
  std::vector<std::string> copies;
  for (size_t keep : {size_t(0), size_t(12), size_t(100), size / 2, size - 1})
    copies.push_back(BrokenCopy(dir, source, "broken" + std::to_string(keep) + ".ttf", keep));
  if (std::count(copies.begin(), copies.end(), std::string()) > 0) _exit(3);
  // What FreeType makes of the broken files is its own affair; the
  // enumeration reports what opens and nothing else.
  const auto after = ReadAllDirectly();
  const auto &faces = after.at(u"DejaVu Sans");
  const long broken = std::count_if(faces.begin(), faces.end(), [&](const Face &f) {
    return std::find(copies.begin(), copies.end(), f.path) != copies.end();
  });
  const size_t wanted = dejavu->second.size() + size_t(broken);
  const bool same = Fonts(u"DejaVu Sans").size() == wanted && faces.size() == wanted &&
                    Fonts(u"").size() == after.size();
  std::filesystem::remove_all(dir);
  _exit(same ? 0 : 1);
}

TEST(FontEnum, BrokenFontFilesAreLeftOut) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(EnumerateWithBrokenFonts(), testing::ExitedWithCode(0), "");
}

}  // namespace
