// EnumFontFamiliesExW and EnumFontsW over the installed scalable fonts.
// The list is read once from fontconfig, sorted by family then style, so the
// order is the same on every call.
#include "platform/text/FontEngine.h"
#include "platform/kernel/Wide.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace nx::text {
namespace {

struct InstalledFont {
  std::u16string family;
  std::u16string style;
  std::string path;
  int index = 0;
  int weight = FW_NORMAL;
  bool italic = false;
  bool truetype = true;  // TrueType outlines, not PostScript ones
  bool openType = false; // an sfnt file (OpenType flavour of either outline)
  std::vector<BYTE> charsets;
};

std::vector<InstalledFont> ReadInstalled() {
  std::vector<InstalledFont> out;
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
    auto face = OpenFace(reinterpret_cast<const char *>(file), index & 0xFFFF);
    if (!face) continue;  // listed but unreadable: left out
    InstalledFont f;
    f.family = wide::FromUtf8(reinterpret_cast<const char *>(family));
    f.style = style ? wide::FromUtf8(reinterpret_cast<const char *>(style)) : u"Regular";
    f.path = reinterpret_cast<const char *>(file);
    f.index = index & 0xFFFF;
    f.charsets = CharsetsOf(face->Signature());
    f.truetype = face->TrueTypeOutlines();
    f.openType = face->Sfnt();
    f.italic = face->StyleName().find(u"Italic") != std::u16string::npos ||
               face->StyleName().find(u"Oblique") != std::u16string::npos;
    f.weight = face->StyleName().find(u"Bold") != std::u16string::npos ? FW_BOLD : FW_NORMAL;
    if (f.family.size() < LF_FACESIZE) out.push_back(std::move(f));
  }
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  std::sort(out.begin(), out.end(), [](const InstalledFont &a, const InstalledFont &b) {
    return std::tie(a.family, a.weight, a.italic, a.style, a.path) < std::tie(b.family, b.weight, b.italic, b.style, b.path);
  });
  return out;
}

const std::vector<InstalledFont> &Installed() {
  static const std::vector<InstalledFont> list = ReadInstalled();
  return list;
}

const char16_t *ScriptName(BYTE cs) {
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

void CopyName(WCHAR *dst, size_t cap, const std::u16string &s) {
  size_t n = std::min(s.size(), cap - 1);
  for (size_t i = 0; i < n; ++i) dst[i] = WCHAR(s[i]);
  dst[n] = 0;
}

bool SameFamily(const std::u16string &a, const WCHAR *b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    char16_t x = a[i], y = char16_t(b[i]);
    if (y == 0) return false;
    if (x < 0x80 && y < 0x80 && std::tolower(x) != std::tolower(y)) return false;
    if ((x >= 0x80 || y >= 0x80) && x != y) return false;
  }
  return b[i] == 0;
}

// Builds the two structures the callback receives for one font and charset.
void Describe(const InstalledFont &f, BYTE charset, ENUMLOGFONTEXW &elf, NEWTEXTMETRICEXW &ntm) {
  elf = ENUMLOGFONTEXW{};
  ntm = NEWTEXTMETRICEXW{};
  LOGFONTW lf{};
  lf.lfHeight = -2048;  // at the em square, as GDI reports enumerated outline fonts
  lf.lfWeight = f.weight;
  lf.lfItalic = f.italic;
  lf.lfCharSet = charset;
  CopyName(lf.lfFaceName, LF_FACESIZE, f.family);
  auto face = OpenFace(f.path, f.index);
  if (face) {
    SizedFont sized(face, lf);
    const TEXTMETRICW &tm = sized.Metrics();
    std::memcpy(&ntm.ntmTm, &tm, sizeof tm);
    ntm.ntmTm.tmCharSet = charset;
    ntm.ntmTm.ntmSizeEM = UINT(face->UnitsPerEm());
    ntm.ntmTm.ntmCellHeight = UINT(tm.tmHeight);
    ntm.ntmTm.ntmAvgWidth = UINT(tm.tmAveCharWidth);
    ntm.ntmFontSig = face->Signature();
    lf.lfHeight = tm.tmHeight;
    lf.lfWidth = tm.tmAveCharWidth;
    lf.lfPitchAndFamily = BYTE((tm.tmPitchAndFamily & 0xF0) | ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH));
  }
  ntm.ntmTm.ntmFlags = (f.italic ? NTM_ITALIC : 0) | (f.weight >= FW_BOLD ? NTM_BOLD : 0);
  if (!f.italic && f.weight < FW_BOLD) ntm.ntmTm.ntmFlags |= NTM_REGULAR;
  if (f.openType && !f.truetype) ntm.ntmTm.ntmFlags |= NTM_PS_OPENTYPE;
  lf.lfOutPrecision = 3;  // OUT_STROKE_PRECIS
  lf.lfClipPrecision = 2;
  lf.lfQuality = 1;
  elf.elfLogFont = lf;
  CopyName(elf.elfFullName, LF_FULLFACESIZE, f.family + (f.style == u"Regular" ? u"" : u" " + f.style));
  CopyName(elf.elfStyle, LF_FACESIZE, f.style);
  CopyName(elf.elfScript, LF_FACESIZE, ScriptName(charset));
}

int Call(FONTENUMPROCW proc, const InstalledFont &f, BYTE charset, LPARAM lParam) {
  ENUMLOGFONTEXW elf;
  NEWTEXTMETRICEXW ntm;
  Describe(f, charset, elf, ntm);
  // Only TrueType outlines are reported as TrueType: their data is what a
  // TrueType font file holds. Other scalable fonts are plain vector fonts.
  return proc(&elf.elfLogFont, reinterpret_cast<const TEXTMETRICW *>(&ntm), f.truetype ? TRUETYPE_FONTTYPE : 0,
              lParam);
}

// The fonts enumerated for a face name: the family of that name, or, when
// none is installed, the stand-in of a core family under the core name, as
// the host knows it.
std::vector<InstalledFont> FontsNamed(const WCHAR *face) {
  std::vector<InstalledFont> out;
  for (const InstalledFont &f : Installed())
    if (SameFamily(f.family, face)) out.push_back(f);
  if (!out.empty()) return out;
  std::u16string asked;
  for (const WCHAR *p = face; *p; ++p) asked += char16_t(*p);
  const CoreFamily core = CoreFamilyOf(asked);
  if (core.standIn.empty()) return out;
  for (const InstalledFont &f : Installed())
    if (f.family == core.standIn) {
      out.push_back(f);
      out.back().family = core.name;
    }
  return out;
}

}  // namespace
}  // namespace nx::text

using nx::text::InstalledFont;

int WINAPI EnumFontFamiliesExW(HDC, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam, DWORD) {
  if (!lpLogfont || !lpProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool allFamilies = lpLogfont->lfFaceName[0] == 0;
  const BYTE want = lpLogfont->lfCharSet;
  int result = 1;
  const std::u16string *lastFamily = nullptr;
  WCHAR face[LF_FACESIZE];
  std::copy(std::begin(lpLogfont->lfFaceName), std::end(lpLogfont->lfFaceName), face);
  face[LF_FACESIZE - 1] = 0;
  const std::vector<InstalledFont> named = allFamilies ? std::vector<InstalledFont>{} : nx::text::FontsNamed(face);
  for (const InstalledFont &f : allFamilies ? nx::text::Installed() : named) {
    // Without a face name each family appears once per charset (its first style).
    if (allFamilies && lastFamily && *lastFamily == f.family) continue;
    lastFamily = &f.family;
    for (BYTE cs : f.charsets) {
      if (want != DEFAULT_CHARSET && cs != want) continue;
      result = nx::text::Call(lpProc, f, cs, lParam);
      if (result == 0) return 0;
    }
  }
  return result;
}

int WINAPI EnumFontsW(HDC, LPCWSTR lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam) {
  if (!lpProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int result = 1;
  const std::u16string *lastFamily = nullptr;
  const bool named = lpLogfont && lpLogfont[0];
  const std::vector<InstalledFont> fonts = named ? nx::text::FontsNamed(lpLogfont) : std::vector<InstalledFont>{};
  for (const InstalledFont &f : named ? fonts : nx::text::Installed()) {
    if (!named && lastFamily && *lastFamily == f.family) continue;  // no name: one entry per family
    lastFamily = &f.family;
    result = nx::text::Call(lpProc, f, f.charsets.front(), lParam);
    if (result == 0) return 0;
  }
  return result;
}
