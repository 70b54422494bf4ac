#include "platform/text/FontEngine.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_SFNT_NAMES_H
#include FT_ADVANCES_H
#include FT_FONT_FORMATS_H
#include <hb.h>
#include <cairo-ft.h>

#include "platform/kernel/Wide.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>

namespace nx::text {
namespace {

constexpr int kMaxEm = 16384;
constexpr int kDefaultEm = 16;

// What choosing among fonts reads from a face: its charsets and pitch.
struct Traits {
  std::vector<BYTE> charsets;
  bool fixed = false;
};

struct Library {
  std::mutex mu;    // the caches
  std::mutex ftMu;  // opening and closing faces on the FreeType library
  FT_Library ft = nullptr;
  std::map<std::pair<std::string, int>, std::weak_ptr<FontFace>> faces;
  std::map<std::string, std::shared_ptr<SizedFont>> fonts;
  std::map<std::pair<std::string, int>, std::optional<Traits>> traits;  // nullopt: cannot be opened
  Library() {
    if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
    FcInit();
  }
};

Library &Lib() {
  static Library *lib = new Library();  // lives for the process, faces may outlive statics
  return *lib;
}

// The face name of a LOGFONTW, which need not be NUL-terminated within its field.
std::string FaceNameUtf8(const LOGFONTW &lf) {
  size_t n = 0;
  while (n < LF_FACESIZE && lf.lfFaceName[n]) ++n;
  return wide::ToUtf8(std::u16string(lf.lfFaceName, n));
}

std::u16string FromUtf8(const char *s) { return s ? wide::FromUtf8(s) : std::u16string(); }

// Families that Windows documents name, mapped to their metric-compatible
// stand-ins; fontconfig's own aliases usually agree, this makes it certain.
std::string Substitute(const std::string &family) {
  static const std::pair<const char *, const char *> kMap[] = {
      {"arial", "Liberation Sans"},        {"helvetica", "Liberation Sans"},
      {"courier new", "Liberation Mono"},  {"courier", "Liberation Mono"},
      {"times new roman", "Liberation Serif"}, {"times", "Liberation Serif"},
  };
  std::string lower = family;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  for (auto &[from, to] : kMap)
    if (lower == from) return to;
  return family;
}

// What the mapper falls back on for a pitch and family when the face is not
// installed (or is proportional where a fixed pitch is asked): Windows' core
// face of that kind through its stand-in, then fontconfig's generic family.
// Empty for FF_DONTCARE with no fixed pitch: fontconfig's default decides.
std::vector<std::string> FallbackFamilies(BYTE pitchAndFamily) {
  const BYTE family = pitchAndFamily & 0xF0;
  if ((pitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN) return {Substitute("Courier New"), "monospace"};
  switch (family) {
    case FF_ROMAN: return {Substitute("Times New Roman"), "serif"};
    case FF_SWISS: return {Substitute("Arial"), "sans-serif"};
    case FF_SCRIPT: return {"cursive"};
    case FF_DECORATIVE: return {"fantasy"};
    default: return {};
  }
}

// fontconfig's language for a charset, to bring fonts that cover it forward.
const char *LanguageOf(BYTE charset) {
  switch (charset) {
    case GREEK_CHARSET: return "el";
    case RUSSIAN_CHARSET: return "ru";
    case ARABIC_CHARSET: return "ar";
    case HEBREW_CHARSET: return "he";
    case TURKISH_CHARSET: return "tr";
    case THAI_CHARSET: return "th";
    case EASTEUROPE_CHARSET: return "pl";
    case BALTIC_CHARSET: return "lt";
    case VIETNAMESE_CHARSET: return "vi";
    case SHIFTJIS_CHARSET: return "ja";
    case HANGUL_CHARSET:
    case JOHAB_CHARSET: return "ko";
    case GB2312_CHARSET: return "zh-cn";
    case CHINESEBIG5_CHARSET: return "zh-tw";
    default: return nullptr;
  }
}

// Charsets by their bit in the OS/2 code-page ranges (ulCodePageRange1).
constexpr std::pair<int, BYTE> kCodePages[] = {
    {0, ANSI_CHARSET},      {1, EASTEUROPE_CHARSET}, {2, RUSSIAN_CHARSET},      {3, GREEK_CHARSET},
    {4, TURKISH_CHARSET},   {5, HEBREW_CHARSET},     {6, ARABIC_CHARSET},       {7, BALTIC_CHARSET},
    {8, VIETNAMESE_CHARSET}, {16, THAI_CHARSET},     {17, SHIFTJIS_CHARSET},    {18, GB2312_CHARSET},
    {19, HANGUL_CHARSET},   {20, CHINESEBIG5_CHARSET}, {21, JOHAB_CHARSET},     {29, MAC_CHARSET},
    {31, SYMBOL_CHARSET},
};

// What the font mapper weighs besides the face name. GDI's penalties put
// the charset first, then a fixed pitch asked for, then the face name.
struct Wants {
  int charset = -1;             // a charset with a code-page bit; -1 for any
  const char *lang = nullptr;   // its fontconfig language, if one
  bool fixed = false;           // FIXED_PITCH
};

Wants WantsOf(const LOGFONTW &lf) {
  Wants w;
  for (auto &[bit, cs] : kCodePages)
    if (cs == lf.lfCharSet) w.charset = cs;
  if (w.charset >= 0) w.lang = LanguageOf(BYTE(w.charset));
  w.fixed = (lf.lfPitchAndFamily & 3) == FIXED_PITCH;
  return w;
}

struct Candidate {
  std::string path;
  int index = 0;
  bool lang = true;  // fontconfig finds the wanted language covered
};

struct Sorted {
  std::vector<Candidate> list;
  bool asked = false;  // the best match is a face asked for (or an alias fontconfig binds to it)
};

// The family names of a substituted pattern that bind strongly: the names
// asked for and the aliases fontconfig's configuration gives them, not the
// generic fallbacks it appends weakly.
std::vector<std::string> StrongFamilies(FcPattern *pat) {
  std::vector<std::string> out;
  FcPatternIter it;
  if (!FcPatternFindIter(pat, &it, FC_FAMILY)) return out;
  for (int i = 0, n = FcPatternIterValueCount(pat, &it); i < n; ++i) {
    FcValue v;
    FcValueBinding binding;
    if (FcPatternIterGetValue(pat, &it, i, &v, &binding) == FcResultMatch && v.type == FcTypeString &&
        binding != FcValueBindingWeak)
      out.emplace_back(reinterpret_cast<const char *>(v.u.s));
  }
  return out;
}

bool HasFamily(FcPattern *font, const std::vector<std::string> &names) {
  FcChar8 *family = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &family) == FcResultMatch; ++i)
    for (auto &name : names)
      if (FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8 *>(name.c_str())) == 0) return true;
  return false;
}

// Installed fonts for families (in order of preference), best first.
Sorted Sort(const std::vector<std::string> &families, const LOGFONTW &lf, const char *lang) {
  Sorted out;
  FcPattern *pat = FcPatternCreate();
  for (auto &family : families)
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
  int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(lf.lfWeight, 1000);
  FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pat, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  if (lang) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8 *>(lang));
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  const std::vector<std::string> strong = StrongFamilies(pat);
  FcResult res;
  FcFontSet *set = FcFontSort(nullptr, pat, FcFalse, nullptr, &res);
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8 *file = nullptr;
    int index = 0;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
    FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
    Candidate c{reinterpret_cast<const char *>(file), index & 0xFFFF, true};
    FcLangSet *langs = nullptr;
    if (lang && FcPatternGetLangSet(set->fonts[i], FC_LANG, 0, &langs) == FcResultMatch)
      c.lang = FcLangSetHasLang(langs, reinterpret_cast<const FcChar8 *>(lang)) != FcLangDifferentLang;
    if (out.list.empty()) out.asked = HasFamily(set->fonts[i], strong);
    out.list.push_back(std::move(c));
  }
  if (set) FcFontSetDestroy(set);
  FcPatternDestroy(pat);
  return out;
}

uint32_t Be32(const unsigned char *p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
uint16_t Be16(const unsigned char *p) { return uint16_t((p[0] << 8) | p[1]); }

bool ReadFile(const std::string &path, std::vector<unsigned char> &bytes) {
  // One read of the whole file: font files run to megabytes, and a stream
  // iterator would take them a character at a time.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  bytes.resize(static_cast<size_t>(size));
  in.seekg(0);
  return size == 0 || static_cast<bool>(in.read(reinterpret_cast<char *>(bytes.data()), size));
}

// Offset of the table directory of face `index` (0 for a plain font file).
bool FaceOffset(const std::vector<unsigned char> &f, int index, size_t &off) {
  if (f.size() < 12) return false;
  if (std::memcmp(f.data(), "ttcf", 4) != 0) {
    off = 0;
    return true;
  }
  uint32_t n = Be32(&f[8]);
  if (index < 0 || uint32_t(index) >= n || 12 + 4 * size_t(index) + 4 > f.size()) return false;
  off = Be32(&f[12 + 4 * size_t(index)]);
  return off + 12 <= f.size();
}

}  // namespace

char32_t NextChar(const WCHAR *s, size_t n, size_t &i) {
  char32_t c = char16_t(s[i++]);
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (i < n && char16_t(s[i]) >= 0xDC00 && char16_t(s[i]) <= 0xDFFF)
      return 0x10000 + ((c - 0xD800) << 10) + (char16_t(s[i++]) - 0xDC00);
    return 0xFFFD;
  }
  if (c >= 0xDC00 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

// ---------------------------------------------------------------------------
FontFace::FontFace(FT_Face face, std::string path, int index) : face_(face), path_(std::move(path)), index_(index) {}

FontFace::~FontFace() {
  std::lock_guard lock(Lib().ftMu);
  FT_Done_Face(face_);
}

bool FontFace::Sfnt() const { return FT_IS_SFNT(face_); }

bool FontFace::TrueTypeOutlines() const {
  const char *format = FT_Get_Font_Format(face_);
  return Sfnt() && format && std::strcmp(format, "TrueType") == 0;
}

std::u16string FontFace::FamilyName() const { return FromUtf8(face_->family_name); }
std::u16string FontFace::StyleName() const { return FromUtf8(face_->style_name); }

int FontFace::UnitsPerEm() const { return face_->units_per_EM ? face_->units_per_EM : 1000; }

FONTSIGNATURE FontFace::Signature() const {
  FONTSIGNATURE fs{};
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
  if (!os2) {
    fs.fsCsb[0] = 1;  // no OS/2 table: Latin 1 only
    return fs;
  }
  fs.fsUsb[0] = DWORD(os2->ulUnicodeRange1);
  fs.fsUsb[1] = DWORD(os2->ulUnicodeRange2);
  fs.fsUsb[2] = DWORD(os2->ulUnicodeRange3);
  fs.fsUsb[3] = DWORD(os2->ulUnicodeRange4);
  if (os2->version >= 1) {
    fs.fsCsb[0] = DWORD(os2->ulCodePageRange1);
    fs.fsCsb[1] = DWORD(os2->ulCodePageRange2);
  } else {
    fs.fsCsb[0] = 1;
  }
  return fs;
}

CoreFamily CoreFamilyOf(const std::u16string &family) {
  static const char16_t *const kCore[] = {u"Arial", u"Courier New", u"Times New Roman"};
  for (const char16_t *core : kCore) {
    const std::u16string name = core;
    if (name.size() != family.size() ||
        !std::equal(name.begin(), name.end(), family.begin(), [](char16_t a, char16_t b) {
          return (a < 0x80 ? std::tolower(a) : a) == (b < 0x80 ? std::tolower(b) : b);
        }))
      continue;
    return {name, FromUtf8(Substitute(wide::ToUtf8(name)).c_str())};
  }
  return {};
}

std::vector<BYTE> CharsetsOf(const FONTSIGNATURE &fs) {
  std::vector<BYTE> out;
  for (auto &[bit, cs] : kCodePages)
    if (fs.fsCsb[0] & (1u << bit)) out.push_back(cs);
  if (out.empty()) out.push_back(ANSI_CHARSET);
  return out;
}

std::shared_ptr<FontFace> OpenFace(const std::string &path, int index) {
  Library &lib = Lib();
  std::lock_guard lock(lib.mu);
  auto key = std::make_pair(path, index);
  if (auto it = lib.faces.find(key); it != lib.faces.end())
    if (auto live = it->second.lock()) return live;
  FT_Face face = nullptr;
  {
    std::lock_guard ftLock(lib.ftMu);
    if (!lib.ft || FT_New_Face(lib.ft, path.c_str(), index, &face) != 0) return nullptr;
  }
  if (!(face->face_flags & FT_FACE_FLAG_SCALABLE) || face->units_per_EM == 0) {
    std::lock_guard ftLock(lib.ftMu);
    FT_Done_Face(face);
    return nullptr;
  }
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  auto ptr = std::shared_ptr<FontFace>(new FontFace(face, path, index));
  lib.faces[key] = ptr;
  return ptr;
}

namespace {

// Candidates weighed per resolution beyond the first that opens: the
// charset and pitch look this far down fontconfig's order, no further, so
// that a charset no font has does not open every installed font.
constexpr int kMaxWeighed = 12;

// A candidate's traits, read once per file and face.
std::optional<Traits> TraitsOf(const Candidate &c) {
  Library &lib = Lib();
  const auto key = std::make_pair(c.path, c.index);
  {
    std::lock_guard lock(lib.mu);
    if (auto it = lib.traits.find(key); it != lib.traits.end()) return it->second;
  }
  std::optional<Traits> t;
  if (auto face = OpenFace(c.path, c.index))
    t = Traits{CharsetsOf(face->Signature()), FT_IS_FIXED_WIDTH(face->Face()) != 0};
  std::lock_guard lock(lib.mu);
  return lib.traits.emplace(key, t).first->second;
}

int Score(const Traits &t, const Wants &w) {
  bool charset = w.charset >= 0 && std::find(t.charsets.begin(), t.charsets.end(), BYTE(w.charset)) != t.charsets.end();
  return (charset ? 2 : 0) + (w.fixed && t.fixed ? 1 : 0);
}

// The best candidate for the charset and pitch: the first (in fontconfig's
// order) with the highest score, where the charset outweighs the pitch. A
// candidate whose language fontconfig finds uncovered is taken to lack the
// charset and not weighed; when nothing has the charset, the pitch decides,
// and failing that the first candidate stays. -1 when none can be opened.
int Pick(const std::vector<Candidate> &list, const Wants &w) {
  const int full = (w.charset >= 0 ? 2 : 0) + (w.fixed ? 1 : 0);
  int best = -1, bestScore = -1, weighed = 0;
  for (size_t i = 0; i < list.size() && bestScore < full; ++i) {
    const int bound = full - (w.lang && !list[i].lang ? 2 : 0);
    if (bound <= bestScore) continue;
    if (best >= 0 && weighed++ >= kMaxWeighed) break;
    auto traits = TraitsOf(list[i]);
    if (!traits) continue;
    if (int score = Score(*traits, w); score > bestScore) {
      best = int(i);
      bestScore = score;
    }
  }
  return best;
}

// The first candidate that opens is the one fontconfig (or the face name)
// would give; whether it is fixed-pitch decides if a fixed pitch asked for
// has to look elsewhere.
bool FirstIsFixed(const std::vector<Candidate> &list) {
  for (auto &c : list)
    if (auto traits = TraitsOf(c)) return traits->fixed;
  return false;
}

// GDI's mapper in fontconfig's terms: the face name (or its stand-in) unless
// it is not installed and the pitch and family name a fallback, or it is
// proportional and a fixed pitch is asked; then the charset and pitch pick
// among the fonts fontconfig sorts for that.
std::vector<Candidate> Candidates(const LOGFONTW &lf, const Wants &w) {
  const std::string face = Substitute(FaceNameUtf8(lf));
  const std::vector<std::string> fallback = FallbackFamilies(lf.lfPitchAndFamily);
  if (face.empty()) return Sort(fallback.empty() ? std::vector<std::string>{"sans-serif"} : fallback, lf, w.lang).list;
  Sorted sorted = Sort({face}, lf, w.lang);
  if (!fallback.empty() && (!sorted.asked || (w.fixed && !FirstIsFixed(sorted.list))))
    return Sort(fallback, lf, w.lang).list;
  return std::move(sorted.list);
}

}  // namespace

std::shared_ptr<SizedFont> ResolveFont(const LOGFONTW &lf) {
  std::string key(reinterpret_cast<const char *>(&lf), sizeof lf);
  {
    std::lock_guard lock(Lib().mu);
    if (auto it = Lib().fonts.find(key); it != Lib().fonts.end()) return it->second;
  }
  const Wants wants = WantsOf(lf);
  const std::vector<Candidate> list = Candidates(lf, wants);
  const int best = Pick(list, wants);
  auto face = best < 0 ? nullptr : OpenFace(list[size_t(best)].path, list[size_t(best)].index);
  if (!face) return nullptr;
  auto font = std::make_shared<SizedFont>(face, lf);
  std::map<std::string, std::shared_ptr<SizedFont>> dropped;  // released after the lock
  std::lock_guard lock(Lib().mu);
  if (Lib().fonts.size() > 256) dropped.swap(Lib().fonts);
  return Lib().fonts.emplace(key, font).first->second;
}

// ---------------------------------------------------------------------------
SizedFont::SizedFont(std::shared_ptr<FontFace> face, const LOGFONTW &lf) : face_(std::move(face)), lf_(lf) {
  bmp_.assign(0x10000, -1);
  ComputeMetrics();
}

SizedFont::~SizedFont() {
  if (hb_) hb_font_destroy(hb_);
  if (cairo_) cairo_font_face_destroy(cairo_);
}

int SizedFont::Scale(long units) const {
  return int(std::lround(double(units) * em_ / face_->UnitsPerEm()));
}

void SizedFont::ComputeMetrics() {
  FT_Face f = face_->Face();
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
  auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
  long asc = os2 ? os2->usWinAscent : f->ascender;
  long desc = os2 ? os2->usWinDescent : -f->descender;
  if (asc + desc <= 0) {
    asc = f->units_per_EM;
    desc = 0;
  }
  int upem = face_->UnitsPerEm();
  // A negative height is the em; a positive one the cell (ascent + descent).
  long long h = lf_.lfHeight;
  long long em = h < 0 ? -h : h > 0 ? std::llround(double(h) * upem / double(asc + desc)) : kDefaultEm;
  em_ = int(std::clamp<long long>(em, 1, kMaxEm));
  tm_.tmAscent = Scale(asc);
  tm_.tmDescent = Scale(desc);
  tm_.tmHeight = tm_.tmAscent + tm_.tmDescent;
  tm_.tmInternalLeading = std::max(0, tm_.tmHeight - em_);
  if (hhea) {
    long gap = hhea->Line_Gap - ((asc + desc) - (hhea->Ascender - hhea->Descender));
    tm_.tmExternalLeading = std::max(0, Scale(gap));
    tm_.tmMaxCharWidth = Scale(hhea->advance_Width_Max);
  } else {
    tm_.tmMaxCharWidth = Scale(f->max_advance_width);
  }
  tm_.tmAveCharWidth = os2 && os2->xAvgCharWidth > 0 ? Scale(os2->xAvgCharWidth) : Advance('x');
  tm_.tmWeight = os2 ? os2->usWeightClass : (f->style_flags & FT_STYLE_FLAG_BOLD ? FW_BOLD : FW_NORMAL);
  if (lf_.lfWeight >= FW_SEMIBOLD && tm_.tmWeight < FW_SEMIBOLD) tm_.tmWeight = FW_BOLD;  // emboldened
  tm_.tmDigitizedAspectX = tm_.tmDigitizedAspectY = 96;
  tm_.tmFirstChar = os2 ? WCHAR(os2->usFirstCharIndex) : WCHAR(0x20);
  tm_.tmLastChar = os2 ? WCHAR(os2->usLastCharIndex) : WCHAR(0xFFFC);
  tm_.tmBreakChar = os2 && os2->version >= 2 ? WCHAR(os2->usBreakChar) : WCHAR(0x20);
  tm_.tmDefaultChar = os2 && os2->version >= 2 && os2->usDefaultChar ? WCHAR(os2->usDefaultChar) : WCHAR(0x1F);
  tm_.tmItalic = lf_.lfItalic || (f->style_flags & FT_STYLE_FLAG_ITALIC) ? 1 : 0;
  tm_.tmUnderlined = lf_.lfUnderline ? 1 : 0;
  tm_.tmStruckOut = lf_.lfStrikeOut ? 1 : 0;
  bool fixed = FT_IS_FIXED_WIDTH(f);
  BYTE family = fixed ? FF_MODERN : FF_SWISS;
  if (!fixed && os2 && os2->panose[0] == 2 && os2->panose[1] >= 2 && os2->panose[1] <= 10) family = FF_ROMAN;
  BYTE truetype = face_->TrueTypeOutlines() ? TMPF_TRUETYPE : 0;
  tm_.tmPitchAndFamily = BYTE(family | TMPF_VECTOR | truetype | (fixed ? 0 : TMPF_FIXED_PITCH));
  auto charsets = CharsetsOf(face_->Signature());
  BYTE want = lf_.lfCharSet;
  tm_.tmCharSet = std::find(charsets.begin(), charsets.end(), want) != charsets.end() ? want : charsets.front();
}

bool SizedFont::Outline(OUTLINETEXTMETRICW &otm) const {
  FT_Face f = face_->Face();
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
  auto *post = static_cast<TT_Postscript *>(FT_Get_Sfnt_Table(f, FT_SFNT_POST));
  auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
  otm = OUTLINETEXTMETRICW{};
  otm.otmSize = sizeof otm;
  otm.otmTextMetrics = tm_;
  if (os2) std::memcpy(&otm.otmPanoseNumber, os2->panose, sizeof otm.otmPanoseNumber);
  otm.otmfsSelection = os2 ? os2->fsSelection : 0;
  otm.otmfsType = os2 ? os2->fsType : 0;
  otm.otmsCharSlopeRise = hhea ? hhea->caret_Slope_Rise : 1;
  otm.otmsCharSlopeRun = hhea ? hhea->caret_Slope_Run : 0;
  // The post table holds the angle as 16.16 degrees; GDI reports tenths.
  otm.otmItalicAngle = post ? int(std::lround(post->italicAngle / 65536.0 * 10)) : 0;
  otm.otmEMSquare = face_->UnitsPerEm();
  otm.otmAscent = Scale(os2 ? os2->sTypoAscender : f->ascender);
  otm.otmDescent = Scale(os2 ? os2->sTypoDescender : f->descender);
  otm.otmLineGap = UINT(std::max(0, Scale(os2 ? os2->sTypoLineGap : 0)));
  otm.otmsCapEmHeight = os2 && os2->version >= 2 ? UINT(Scale(os2->sCapHeight)) : 0;
  otm.otmsXHeight = os2 && os2->version >= 2 ? UINT(Scale(os2->sxHeight)) : 0;
  otm.otmrcFontBox = RECT{Scale(f->bbox.xMin), Scale(f->bbox.yMax), Scale(f->bbox.xMax), Scale(f->bbox.yMin)};
  otm.otmMacAscent = hhea ? Scale(hhea->Ascender) : tm_.tmAscent;
  otm.otmMacDescent = hhea ? Scale(hhea->Descender) : -tm_.tmDescent;
  otm.otmMacLineGap = hhea ? UINT(std::max(0, Scale(hhea->Line_Gap))) : 0;
  otm.otmusMinimumPPEM = 1;
  if (os2) {
    otm.otmptSubscriptSize = POINT{Scale(os2->ySubscriptXSize), Scale(os2->ySubscriptYSize)};
    otm.otmptSubscriptOffset = POINT{Scale(os2->ySubscriptXOffset), Scale(os2->ySubscriptYOffset)};
    otm.otmptSuperscriptSize = POINT{Scale(os2->ySuperscriptXSize), Scale(os2->ySuperscriptYSize)};
    otm.otmptSuperscriptOffset = POINT{Scale(os2->ySuperscriptXOffset), Scale(os2->ySuperscriptYOffset)};
    otm.otmsStrikeoutSize = UINT(std::max(1, Scale(os2->yStrikeoutSize)));
    otm.otmsStrikeoutPosition = Scale(os2->yStrikeoutPosition);
  }
  // The post table gives the top of the underline; FreeType's own value is
  // moved to the middle of the stroke.
  otm.otmsUnderscoreSize = std::max(1, Scale(post ? post->underlineThickness : f->underline_thickness));
  otm.otmsUnderscorePosition = Scale(post ? post->underlinePosition : f->underline_position);
  return true;
}

UINT SizedFont::GlyphIndex(char32_t ch) const {
  std::lock_guard lock(face_->Lock());
  return FT_Get_Char_Index(face_->Face(), ch);
}

int SizedFont::GlyphAdvance(UINT glyph) const {
  FT_Fixed adv = 0;
  std::lock_guard lock(face_->Lock());
  if (FT_Get_Advance(face_->Face(), glyph, FT_LOAD_NO_SCALE, &adv) != 0) return 0;
  return Scale(long(adv));
}

int SizedFont::Advance(char32_t ch) const {
  std::lock_guard lock(mu_);
  return AdvanceLocked(ch);
}

// The caller holds mu_: a string is measured under one lock, not one a character.
int SizedFont::AdvanceLocked(char32_t ch) const {
  if (ch < 0x10000 && bmp_.size() == 0x10000 && bmp_[ch] >= 0) return bmp_[ch];
  if (ch >= 0x10000)
    if (auto it = astral_.find(ch); it != astral_.end()) return it->second;
  FT_Fixed adv = 0;
  {
    std::lock_guard faceLock(face_->Lock());
    FT_UInt g = FT_Get_Char_Index(face_->Face(), ch);
    FT_Get_Advance(face_->Face(), g, FT_LOAD_NO_SCALE, &adv);
  }
  int px = Scale(long(adv));
  if (ch < 0x10000) {
    if (bmp_.size() == 0x10000) bmp_[ch] = px;
  } else {
    astral_[ch] = px;
  }
  return px;
}

// Hands each measured character outside the surrogates from s[i] on to
// `each` and returns where that run ends (a tight loop: a line of text is
// mostly one such run).
namespace {
template <class Each>
size_t MeasuredRun(const std::vector<int> &bmp, const WCHAR *s, size_t i, size_t n, Each each) {
  if (bmp.size() != 0x10000) return i;  // no table: every character the slow way
  const int *table = bmp.data();
  for (; i < n; ++i) {
    const unsigned u = char16_t(s[i]);
    if (u - 0xD800u < 0x800u) break;
    const int a = table[u];
    if (a < 0) break;
    each(i, a);
  }
  return i;
}
}  // namespace

void SizedFont::Advances(const WCHAR *s, size_t n, int *out) const {
  std::lock_guard lock(mu_);
  size_t i = 0;
  while ((i = MeasuredRun(bmp_, s, i, n, [out](size_t k, int a) { out[k] = a; })) < n) {
    // A surrogate pair (its low unit gets 0), a stray surrogate or a
    // character measured for the first time.
    size_t start = i;
    char32_t c = NextChar(s, n, i);
    out[start] = AdvanceLocked(c);
    for (size_t k = start + 1; k < i; ++k) out[k] = 0;
  }
}

long SizedFont::Extent(const WCHAR *s, size_t n) const {
  std::lock_guard lock(mu_);
  long sum = 0;
  size_t i = 0;
  while ((i = MeasuredRun(bmp_, s, i, n, [&sum](size_t, int a) { sum += a; })) < n)
    sum += AdvanceLocked(NextChar(s, n, i));
  return sum;
}

bool SizedFont::CharAbc(char32_t ch, ABC &abc) const {
  int adv = Advance(ch);
  FT_Glyph_Metrics m{};
  {
    std::lock_guard lock(face_->Lock());
    FT_Face f = face_->Face();
    if (FT_Load_Glyph(f, FT_Get_Char_Index(f, ch), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return false;
    m = f->glyph->metrics;
  }
  if (m.width == 0) {  // blank glyph: all advance
    abc = ABC{0, UINT(std::max(adv, 0)), 0};
    return true;
  }
  int a = Scale(m.horiBearingX);
  int b = std::max(1, Scale(m.horiBearingX + m.width) - a);
  abc = ABC{a, UINT(b), adv - a - b};
  return true;
}

hb_font_t *SizedFont::HbFont() const {
  std::lock_guard lock(mu_);
  if (!hb_) {
    std::lock_guard faceLock(face_->Lock());
    // HarfBuzz's own OpenType functions on the same file and face index, at
    // design units: callers scale to the em as the extents do.
    hb_blob_t *blob = hb_blob_create_from_file(face_->Path().c_str());
    hb_face_t *face = hb_face_create(blob, unsigned(face_->Index()));
    hb_ = hb_font_create(face);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    int upem = face_->UnitsPerEm();
    hb_font_set_scale(hb_, upem, upem);
  }
  return hb_;
}

cairo_font_face_t *SizedFont::CairoFace() const {
  std::lock_guard lock(mu_);
  if (cairo_) return cairo_;
  // Cairo may hold the face in its caches after this font is gone; the
  // shared FontFace stays alive until Cairo lets go of it.
  static const cairo_user_data_key_t kKey{};
  auto *keep = new std::shared_ptr<FontFace>(face_);
  cairo_ = cairo_ft_font_face_create_for_ft_face(face_->Face(), FT_LOAD_NO_HINTING);
  if (cairo_font_face_set_user_data(cairo_, &kKey, keep,
                                    [](void *p) { delete static_cast<std::shared_ptr<FontFace> *>(p); }) !=
      CAIRO_STATUS_SUCCESS)
    delete keep;
  // GDI emboldens and slants a face that lacks the asked-for style.
  unsigned synth = 0;
  if (lf_.lfWeight >= FW_SEMIBOLD && tm_.tmWeight < FW_SEMIBOLD) synth |= CAIRO_FT_SYNTHESIZE_BOLD;
  if (lf_.lfItalic && !(face_->Face()->style_flags & FT_STYLE_FLAG_ITALIC)) synth |= CAIRO_FT_SYNTHESIZE_OBLIQUE;
  if (synth) cairo_ft_font_face_set_synthesize(cairo_, synth);
  return cairo_;
}

// ---------------------------------------------------------------------------
DWORD FontData(const FontFace &face, DWORD table, DWORD offset, void *buffer, DWORD size) {
  if (!face.Sfnt()) return GDI_ERROR;  // a Type 1 file has no tables to give
  std::vector<unsigned char> file;
  if (!ReadFile(face.Path(), file)) return GDI_ERROR;
  size_t dir = 0;
  if (!FaceOffset(file, face.Index(), dir)) return GDI_ERROR;
  const bool collection = std::memcmp(file.data(), "ttcf", 4) == 0;
  const DWORD kTtcf = 0x66637474;  // "ttcf" as GDI spells the tag
  // Table 0 is the font from its own table directory to the end of the file
  // (a collection's member starts inside it); "ttcf" is the whole collection
  // and exists only for collections, which is how callers tell them apart.
  const unsigned char *start = file.data() + dir;
  size_t length = file.size() - dir;
  if (table == kTtcf) {
    if (!collection) return GDI_ERROR;
    start = file.data();
    length = file.size();
  } else if (table != 0) {
    uint32_t want = ((table & 0xff) << 24) | ((table & 0xff00) << 8) | ((table >> 8) & 0xff00) | (table >> 24);
    size_t n = Be16(&file[dir + 4]);
    bool found = false;
    for (size_t i = 0; i < n && dir + 12 + 16 * (i + 1) <= file.size(); ++i) {
      const unsigned char *rec = &file[dir + 12 + 16 * i];
      if (Be32(rec) != want) continue;
      size_t off = Be32(rec + 8), len = Be32(rec + 12);
      if (off > file.size() || len > file.size() - off) return GDI_ERROR;
      start = file.data() + off;
      length = len;
      found = true;
      break;
    }
    if (!found) return GDI_ERROR;
  }
  if (offset > length) return GDI_ERROR;
  size_t avail = length - offset;
  if (!buffer) return DWORD(avail);
  size_t copy = std::min<size_t>(avail, size);
  std::memcpy(buffer, start + offset, copy);
  return DWORD(copy);
}

}  // namespace nx::text
