#include "export/gtMapFont.h"

#include <algorithm>
#include <mutex>

#include "export/gtDocUsp10.h"

namespace nx {

namespace {

WCHAR FoldAscii(WCHAR c) { return c >= u'A' && c <= u'Z' ? WCHAR(c - u'A' + u'a') : c; }

const WString kArial = u"Arial";
const WString kArialUnicode = u"Arial Unicode MS";

struct TEnumState {
  std::optional<TgtMapFont::TFamilyInfo> info;
};

int CALLBACK CollectFamily(const LOGFONTW *lf, const TEXTMETRICW *tm, DWORD type, LPARAM param) {
  auto &info = reinterpret_cast<TEnumState *>(param)->info;
  if (!info) {
    info.emplace();
    info->Name = lf->lfFaceName;
  }
  if (type & TRUETYPE_FONTTYPE) {
    info->TrueType = true;
    // A TrueType font's metric record is the extended one, with its signature.
    const auto *ntm = reinterpret_cast<const NEWTEXTMETRICEXW *>(tm);
    if (ntm->ntmFontSig.fsUsb[0] & 1) info->CoversBasicLatin = true;
  }
  return 1;
}

struct TListState {
  std::vector<WString> *names;
};

int CALLBACK CollectName(const LOGFONTW *lf, const TEXTMETRICW *, DWORD, LPARAM param) {
  auto &names = *reinterpret_cast<TListState *>(param)->names;
  const WString name = lf->lfFaceName;
  if (name.empty() || name[0] == u'@') return 1;
  if (std::none_of(names.begin(), names.end(), [&](const WString &n) { return SameFamilyName(n, name); }))
    names.push_back(name);
  return 1;
}

// Runs the enumeration on the screen DC.
void Enumerate(LOGFONTW &lf, FONTENUMPROCW proc, LPARAM param) {
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, proc, param, 0);
  if (dc) ReleaseDC(nullptr, dc);
}

// What the enumeration says of a family by name. The installed fonts are
// read once per process, so the answer is too: every map shares it
// instead of opening each style of the family again.
std::optional<TgtMapFont::TFamilyInfo> EnumerateFamily(const WString &plain) {
  static std::mutex lock;
  static std::map<WString, std::optional<TgtMapFont::TFamilyInfo>, TgtFamilyLess> known;
  std::lock_guard<std::mutex> guard(lock);
  if (auto it = known.find(plain); it != known.end()) return it->second;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  std::copy(plain.begin(), plain.end(), lf.lfFaceName);
  TEnumState state;
  Enumerate(lf, CollectFamily, reinterpret_cast<LPARAM>(&state));
  return known.emplace(plain, state.info).first->second;
}

}  // namespace

bool TgtFamilyLess::operator()(const WString &a, const WString &b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](WCHAR x, WCHAR y) { return FoldAscii(x) < FoldAscii(y); });
}

bool SameFamilyName(const WString &a, const WString &b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](WCHAR x, WCHAR y) { return FoldAscii(x) == FoldAscii(y); });
}

bool IsVerticalFamily(const WString &family) { return !family.empty() && family[0] == u'@'; }
WString PlainFamily(const WString &family) { return IsVerticalFamily(family) ? family.substr(1) : family; }

TgtMapFont::TgtMapFont() {
  // The two families Windows keeps only as bitmap fonts are written with
  // their TrueType successors, when those are installed.
  for (auto [from, to] : {std::pair<const char16_t *, const char16_t *>{u"Courier", u"Courier New"},
                          {u"MS Sans Serif", u"Arial"}})
    if (auto target = Family(to); target && target->TrueType) FMappedFonts.emplace(from, target->Name);
}

void TgtMapFont::ReadSysFonts() {
  FSysFontsRead = true;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  TListState state{&FSysFontList};
  Enumerate(lf, CollectName, reinterpret_cast<LPARAM>(&state));
  auto unicode = std::find_if(FSysFontList.begin(), FSysFontList.end(),
                              [](const WString &n) { return SameFamilyName(n, kArialUnicode); });
  if (unicode != FSysFontList.end()) std::rotate(unicode, unicode + 1, FSysFontList.end());
}

const std::vector<WString> &TgtMapFont::SysFontList() {
  if (!FSysFontsRead) ReadSysFonts();
  return FSysFontList;
}

std::optional<TgtMapFont::TFamilyInfo> TgtMapFont::Family(const WString &name) {
  const TFamilyInfo *info = FindFamily(name);
  if (!info) return std::nullopt;
  return *info;
}

const TgtMapFont::TFamilyInfo *TgtMapFont::FindFamily(const WString &name) {
  if (FLastFamily && name == FLastFamilyName) return FLastFamily;
  const WString plain = PlainFamily(name);
  if (plain.empty() || plain.size() >= LF_FACESIZE) return nullptr;
  auto it = FFamilies.find(plain);
  if (it == FFamilies.end()) it = FFamilies.emplace(plain, EnumerateFamily(plain)).first;
  if (!it->second) return nullptr;
  // Map nodes stay where they are: the pointer lives as long as the map.
  FLastFamilyName = name;
  FLastFamily = &*it->second;
  return FLastFamily;
}

std::optional<WString> TgtMapFont::MappedFont(const WString &family) const {
  auto it = FMappedFonts.find(PlainFamily(family));
  if (it == FMappedFonts.end()) return std::nullopt;
  return it->second;
}

TgtFont TgtMapFont::GetTrueTypeFont(const TgtFont &font) {
  TgtFont out = font;
  const bool vertical = IsVerticalFamily(font.Name);
  const WString plain = PlainFamily(font.Name);
  auto known = FMappedFonts.find(plain);
  if (known == FMappedFonts.end()) {
    const auto info = Family(plain);
    // Not installed, or not TrueType: Arial stands in.
    const WString target = info && info->TrueType ? info->Name : kArial;
    known = FMappedFonts.emplace(plain, target).first;
  }
  out.Name = (vertical ? u"@" : u"") + known->second;
  return out;
}

TgtFont TgtMapFont::PrepareFont(const TgtFont &font) {
  TgtFont out = font;
  if (!FLastPreparedIn.empty() && font.Name == FLastPreparedIn) {
    out.Name = FLastPreparedOut;
    return out;
  }
  const bool vertical = IsVerticalFamily(font.Name);
  if (auto info = FindFamily(font.Name)) out.Name = (vertical ? u"@" : u"") + info->Name;
  out = GetTrueTypeFont(out);
  // Both decisions are remembered per family, so the name alone decides.
  FLastPreparedIn = font.Name;
  FLastPreparedOut = out.Name;
  return out;
}

void TgtMapFont::AddUsedFont(const WString &family) {
  const WString plain = PlainFamily(family);
  if (std::none_of(FAllUsedFonts.begin(), FAllUsedFonts.end(),
                   [&](const WString &f) { return SameFamilyName(f, plain); }))
    FAllUsedFonts.push_back(plain);
}

TgtShapeFonts &TgtMapFont::ShapeFonts() {
  if (!FShapeFonts) FShapeFonts = std::make_shared<TgtShapeFonts>();
  return *FShapeFonts;
}

std::vector<WString> TgtMapFont::FallbackCandidates(const WString &tried) {
  std::vector<WString> out;
  auto add = [&](const WString &family) {
    if (SameFamilyName(family, PlainFamily(tried))) return;
    if (std::any_of(out.begin(), out.end(), [&](const WString &f) { return SameFamilyName(f, family); })) return;
    out.push_back(family);
  };
  for (const WString &f : FAllUsedFonts) add(f);
  add(kArial);
  // Fonts with other outlines cannot become TrueType font resources, so
  // they are no candidates.
  for (const WString &f : SysFontList())
    if (auto info = Family(f); info && info->TrueType) add(f);
  return out;
}

}  // namespace nx
