// EnumFontFamiliesExW and EnumFontsW over the installed scalable fonts.
// The list is read once from fontconfig's cache, sorted by family then
// style, so the order is the same on every call. FreeType opens a family's
// fonts (each once per process) only when a call first reports that family.
#include "platform/text/FontEngine.h"
#include "platform/kernel/Wide.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

namespace nx::text {
namespace {

void CopyName(WCHAR *dst, size_t cap, const std::u16string &s) {
  size_t n = std::min(s.size(), cap - 1);
  for (size_t i = 0; i < n; ++i) dst[i] = WCHAR(s[i]);
  dst[n] = 0;
}

// What the enumeration reports of one font apart from its name and charset:
// its metrics at the em square, read once from a sized font.
struct Metrics {
  LOGFONTW lf{};
  NEWTEXTMETRICEXW ntm{};
};

struct InstalledFont {
  std::u16string family;
  std::u16string style;
  std::string path;
  int index = 0;
  // Read with FreeType when the family is first asked for.
  int weight = FW_NORMAL;
  bool italic = false;
  bool truetype = true;  // TrueType outlines, not PostScript ones
  bool openType = false; // an sfnt file (OpenType flavour of either outline)
  std::vector<BYTE> charsets;
  Metrics metrics;
};

// The installed fonts of one family name, as fontconfig lists them until
// the family is read; then only those FreeType opens, sorted by style.
struct FamilyFonts {
  std::vector<InstalledFont> fonts;
  bool read = false;
};

// One font as a call reports it: the font and the family name it goes by
// (a core family's stand-in is reported under the core name).
struct Reported {
  const InstalledFont *font;
  std::u16string family;
};

// The scalable fonts fontconfig knows, by family name. fontconfig's own
// cache gives the names and files; a family's fonts are opened (each once
// per process) only when a call reports them.
class InstalledSet {
 public:
  InstalledSet();
  // The fonts of every family whose name matches, in name then style order.
  template <class Match>
  std::vector<const InstalledFont *> Fonts(Match match);

 private:
  void Read(FamilyFonts &family);
  std::mutex mu_;
  std::map<std::u16string, FamilyFonts> families_;
};

InstalledSet::InstalledSet() {
  FcInit();
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
    InstalledFont f;
    f.family = wide::FromUtf8(reinterpret_cast<const char *>(family));
    if (f.family.size() >= LF_FACESIZE) continue;
    f.style = style ? wide::FromUtf8(reinterpret_cast<const char *>(style)) : u"Regular";
    f.path = reinterpret_cast<const char *>(file);
    f.index = index & 0xFFFF;
    families_[f.family].fonts.push_back(std::move(f));
  }
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
}

// The metrics the enumeration reports of a font, at the em square as GDI
// reports enumerated outline fonts.
void Measure(InstalledFont &f, const std::shared_ptr<FontFace> &face, const FONTSIGNATURE &sig) {
  LOGFONTW &lf = f.metrics.lf;
  NEWTEXTMETRICEXW &ntm = f.metrics.ntm;
  lf.lfHeight = -2048;
  lf.lfWeight = f.weight;
  lf.lfItalic = f.italic;
  lf.lfCharSet = f.charsets.front();
  CopyName(lf.lfFaceName, LF_FACESIZE, f.family);
  SizedFont sized(face, lf);
  const TEXTMETRICW &tm = sized.Metrics();
  std::memcpy(&ntm.ntmTm, &tm, sizeof tm);
  ntm.ntmTm.ntmSizeEM = UINT(face->UnitsPerEm());
  ntm.ntmTm.ntmCellHeight = UINT(tm.tmHeight);
  ntm.ntmTm.ntmAvgWidth = UINT(tm.tmAveCharWidth);
  ntm.ntmFontSig = sig;
  ntm.ntmTm.ntmFlags = (f.italic ? NTM_ITALIC : 0) | (f.weight >= FW_BOLD ? NTM_BOLD : 0);
  if (!f.italic && f.weight < FW_BOLD) ntm.ntmTm.ntmFlags |= NTM_REGULAR;
  if (f.openType && !f.truetype) ntm.ntmTm.ntmFlags |= NTM_PS_OPENTYPE;
  lf.lfHeight = tm.tmHeight;
  lf.lfWidth = tm.tmAveCharWidth;
  lf.lfPitchAndFamily = BYTE((tm.tmPitchAndFamily & 0xF0) | ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH));
  lf.lfOutPrecision = 3;  // OUT_STROKE_PRECIS
  lf.lfClipPrecision = 2;
  lf.lfQuality = 1;
}

// What FreeType says of one font: its style, outlines and charsets, and its
// metrics. False when it cannot be opened.
bool ReadFace(InstalledFont &f) {
  auto face = OpenFace(f.path, f.index);
  if (!face) return false;
  const FONTSIGNATURE sig = face->Signature();
  f.charsets = CharsetsOf(sig);
  f.truetype = face->TrueTypeOutlines();
  f.openType = face->Sfnt();
  const std::u16string style = face->StyleName();
  f.italic = style.find(u"Italic") != std::u16string::npos || style.find(u"Oblique") != std::u16string::npos;
  f.weight = style.find(u"Bold") != std::u16string::npos ? FW_BOLD : FW_NORMAL;
  Measure(f, face, sig);
  return true;
}

// Listed but unreadable fonts are left out.
void InstalledSet::Read(FamilyFonts &family) {
  family.read = true;
  auto &fonts = family.fonts;
  fonts.erase(std::remove_if(fonts.begin(), fonts.end(), [](InstalledFont &f) { return !ReadFace(f); }), fonts.end());
  std::sort(fonts.begin(), fonts.end(), [](const InstalledFont &a, const InstalledFont &b) {
    return std::tie(a.weight, a.italic, a.style, a.path) < std::tie(b.weight, b.italic, b.style, b.path);
  });
}

// A family's fonts never move once read, so the pointers outlive the lock.
template <class Match>
std::vector<const InstalledFont *> InstalledSet::Fonts(Match match) {
  std::vector<const InstalledFont *> out;
  std::lock_guard lock(mu_);
  for (auto &[name, family] : families_) {
    if (!match(name)) continue;
    if (!family.read) Read(family);
    for (const InstalledFont &f : family.fonts) out.push_back(&f);
  }
  return out;
}

InstalledSet &Installed() {
  static InstalledSet *set = new InstalledSet();  // lives for the process, as the fonts it hands out
  return *set;
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
void Describe(const Reported &r, BYTE charset, ENUMLOGFONTEXW &elf, NEWTEXTMETRICEXW &ntm) {
  const InstalledFont &f = *r.font;
  elf = ENUMLOGFONTEXW{};
  ntm = f.metrics.ntm;
  ntm.ntmTm.tmCharSet = charset;
  LOGFONTW lf = f.metrics.lf;
  lf.lfCharSet = charset;
  CopyName(lf.lfFaceName, LF_FACESIZE, r.family);
  elf.elfLogFont = lf;
  CopyName(elf.elfFullName, LF_FULLFACESIZE, r.family + (f.style == u"Regular" ? u"" : u" " + f.style));
  CopyName(elf.elfStyle, LF_FACESIZE, f.style);
  CopyName(elf.elfScript, LF_FACESIZE, ScriptName(charset));
}

int Call(FONTENUMPROCW proc, const Reported &r, BYTE charset, LPARAM lParam) {
  ENUMLOGFONTEXW elf;
  NEWTEXTMETRICEXW ntm;
  Describe(r, charset, elf, ntm);
  // Only TrueType outlines are reported as TrueType: their data is what a
  // TrueType font file holds. Other scalable fonts are plain vector fonts.
  return proc(&elf.elfLogFont, reinterpret_cast<const TEXTMETRICW *>(&ntm), r.font->truetype ? TRUETYPE_FONTTYPE : 0,
              lParam);
}

std::vector<Reported> AsReported(const std::vector<const InstalledFont *> &fonts, const std::u16string *family) {
  std::vector<Reported> out;
  out.reserve(fonts.size());
  for (const InstalledFont *f : fonts) out.push_back({f, family ? *family : f->family});
  return out;
}

// Every family, each once: its first style.
std::vector<Reported> FirstOfEachFamily() {
  std::vector<Reported> out;
  for (const InstalledFont *f : Installed().Fonts([](const std::u16string &) { return true; }))
    if (out.empty() || out.back().family != f->family) out.push_back({f, f->family});
  return out;
}

// The fonts enumerated for a face name: the family of that name, or, when
// none is installed, the stand-in of a core family under the core name, as
// the host knows it.
std::vector<Reported> FontsNamed(const WCHAR *face) {
  auto named = Installed().Fonts([face](const std::u16string &family) { return SameFamily(family, face); });
  if (!named.empty()) return AsReported(named, nullptr);
  std::u16string asked;
  for (const WCHAR *p = face; *p; ++p) asked += char16_t(*p);
  const CoreFamily core = CoreFamilyOf(asked);
  if (core.standIn.empty()) return {};
  return AsReported(Installed().Fonts([&](const std::u16string &family) { return family == core.standIn; }), &core.name);
}

}  // namespace
}  // namespace nx::text

using nx::text::Reported;

int WINAPI EnumFontFamiliesExW(HDC, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam, DWORD) {
  if (!lpLogfont || !lpProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const BYTE want = lpLogfont->lfCharSet;
  WCHAR face[LF_FACESIZE];
  std::copy(std::begin(lpLogfont->lfFaceName), std::end(lpLogfont->lfFaceName), face);
  face[LF_FACESIZE - 1] = 0;
  // Without a face name each family appears once per charset (its first style).
  const std::vector<Reported> fonts = face[0] == 0 ? nx::text::FirstOfEachFamily() : nx::text::FontsNamed(face);
  int result = 1;
  for (const Reported &r : fonts) {
    for (BYTE cs : r.font->charsets) {
      if (want != DEFAULT_CHARSET && cs != want) continue;
      result = nx::text::Call(lpProc, r, cs, lParam);
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
  // No name: one entry per family.
  const bool named = lpLogfont && lpLogfont[0];
  const std::vector<Reported> fonts = named ? nx::text::FontsNamed(lpLogfont) : nx::text::FirstOfEachFamily();
  int result = 1;
  for (const Reported &r : fonts) {
    result = nx::text::Call(lpProc, r, r.font->charsets.front(), lParam);
    if (result == 0) return 0;
  }
  return result;
}
