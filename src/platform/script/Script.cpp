// The Uniscribe subset: itemising with ICU (bidi levels and script runs),
// shaping and placing with HarfBuzz on the font's file.
#include "platform/script/ScriptCache.h"

#include <hb-ot.h>
#include <hb.h>
#include <unicode/ubidi.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace nx::script {
namespace {

constexpr int kMaxChars = 1 << 24;  // beyond this a count is taken as garbage

// Script and bidi class of the code points below U+2000 (the alphabets
// most text is written in), asked of ICU once.
struct TCharProps {
  int16_t script;
  uint8_t direction;
};
constexpr UChar32 kTabled = 0x2000;

const TCharProps *Tabled() {
  static const std::vector<TCharProps> table = [] {
    std::vector<TCharProps> t(kTabled);
    for (UChar32 c = 0; c < kTabled; ++c) {
      UErrorCode err = U_ZERO_ERROR;
      const UScriptCode sc = uscript_getScript(c, &err);
      t[size_t(c)] = {int16_t(U_FAILURE(err) ? USCRIPT_COMMON : sc), uint8_t(u_charDirection(c))};
    }
    return t;
  }();
  return table.data();
}

UScriptCode ScriptOf(UChar32 c) {
  if (c >= 0 && c < kTabled) return UScriptCode(Tabled()[c].script);
  UErrorCode err = U_ZERO_ERROR;
  UScriptCode sc = uscript_getScript(c, &err);
  return U_FAILURE(err) ? USCRIPT_COMMON : sc;
}

UCharDirection DirectionOf(UChar32 c) {
  return c >= 0 && c < kTabled ? UCharDirection(Tabled()[c].direction) : u_charDirection(c);
}

UScriptCode ScriptAt(const WCHAR *s, int n, int &i) {
  UChar32 c;
  U16_NEXT(reinterpret_cast<const UChar *>(s), i, n, c);
  return ScriptOf(c);
}

bool IsWeak(UScriptCode sc) { return sc == USCRIPT_COMMON || sc == USCRIPT_INHERITED || sc == USCRIPT_UNKNOWN; }

// Script of each UTF-16 unit; common and inherited characters take the
// script of the run they sit in (the previous one, else the next).
std::vector<UScriptCode> ResolveScripts(const WCHAR *s, int n) {
  std::vector<UScriptCode> out(size_t(n), USCRIPT_COMMON);
  for (int i = 0; i < n;) {
    int start = i;
    UScriptCode sc = ScriptAt(s, n, i);
    std::fill(out.begin() + start, out.begin() + i, sc);
  }
  UScriptCode last = USCRIPT_COMMON;
  for (auto &sc : out) {
    if (IsWeak(sc)) sc = last;
    else last = sc;
  }
  UScriptCode next = USCRIPT_COMMON;
  for (auto it = out.rbegin(); it != out.rend(); ++it) {
    if (IsWeak(*it)) *it = next;
    else next = *it;
  }
  return out;
}

SCRIPT_ITEM ItemAt(int pos, UScriptCode resolved, UBiDiLevel level) {
  SCRIPT_ITEM item{};
  item.iCharPos = pos;
  item.a.eScript = IsWeak(resolved) ? SCRIPT_UNDEFINED : WORD(resolved + 1);
  item.a.fRTL = level & 1;
  item.a.fLayoutRTL = level & 1;
  item.a.s.uBidiLevel = level & 0x1F;
  return item;
}

// Level-0 text of BMP characters below U+0590, without the per-unit
// tables: as ResolveScripts makes weak characters take the script before
// them (or, leading, the first one after), an item starts only where a
// character of another strong script does. Text with no strong script is
// one item of the common script.
HRESULT ItemizePlainLtr(const WCHAR *s, int n, int cMaxItems, SCRIPT_ITEM *items, int *pcItems) {
  const TCharProps *props = Tabled();
  auto strong = [&](int i) { return !IsWeak(UScriptCode(props[s[i]].script)); };
  int first = 0;
  while (first < n && !strong(first)) ++first;
  UScriptCode cur = first < n ? UScriptCode(props[s[first]].script) : USCRIPT_COMMON;
  int count = 0;
  items[count++] = ItemAt(0, cur, 0);
  for (int i = first + 1; i < n; ++i) {
    const UScriptCode sc = UScriptCode(props[s[i]].script);
    if (sc == cur || IsWeak(sc)) continue;
    if (count + 1 >= cMaxItems) return E_OUTOFMEMORY;
    items[count++] = ItemAt(i, sc, 0);
    cur = sc;
  }
  items[count] = SCRIPT_ITEM{};
  items[count].iCharPos = n;
  if (pcItems) *pcItems = count;
  return S_OK;
}

hb_script_t HbScript(const SCRIPT_ANALYSIS &a) {
  if (a.eScript == SCRIPT_UNDEFINED) return HB_SCRIPT_COMMON;
  const char *name = uscript_getShortName(UScriptCode(a.eScript - 1));
  return name ? hb_script_from_string(name, -1) : HB_SCRIPT_COMMON;
}

// Design units to pixels with the factor em / upem, rounded half away from zero.
int Scale(long units, double k) {
  double v = double(units) * k;
  return v >= 0 ? int(v + 0.5) : -int(-v + 0.5);
}
double Factor(const text::SizedFont &f) { return double(f.EmPixels()) / f.Face().UnitsPerEm(); }
int Scale(const text::SizedFont &f, long units) { return Scale(units, Factor(f)); }

ScriptCacheData *CacheFor(HDC hdc, SCRIPT_CACHE *psc) {
  if (!psc) return nullptr;
  if (!*psc) {
    auto font = text::FontOfDc(hdc);
    if (!font) return nullptr;
    *psc = MakeScriptCache(std::move(font));
  }
  return static_cast<ScriptCacheData *>(*psc);
}

HRESULT NoCache(HDC hdc, SCRIPT_CACHE *psc) { return (!psc) ? E_INVALIDARG : (hdc ? E_FAIL : E_PENDING); }

bool IsMark(UChar32 c) {
  if (c < 0x300) return false;
  int t = u_charType(c);
  return t == U_NON_SPACING_MARK || t == U_ENCLOSING_MARK || t == U_COMBINING_SPACING_MARK;
}

// The GDEF class of a glyph, looked up once per cache.
// The table is sized by the caller before the first lookup.
inline bool IsMarkGlyph(ScriptCacheData &cache, hb_face_t *face, WORD gid) {
  if (gid >= cache.isMark.size()) return false;
  uint8_t &m = cache.isMark[gid];
  if (m == 2) m = hb_ot_layout_get_glyph_class(face, gid) == HB_OT_LAYOUT_GLYPH_CLASS_MARK;
  return m == 1;
}

bool NeedsGlyph(UChar32 c) {
  if (c < 0x80) return c > 0x20 && c != 0x7F;
  return !(u_isUWhiteSpace(c) || u_charType(c) == U_CONTROL_CHAR || u_charType(c) == U_FORMAT_CHAR);
}

}  // namespace

ScriptCacheData::ScriptCacheData() : buffer(hb_buffer_create()) {}
ScriptCacheData::~ScriptCacheData() { hb_buffer_destroy(buffer); }

SCRIPT_CACHE MakeScriptCache(std::shared_ptr<text::SizedFont> font) {
  auto *data = new ScriptCacheData();
  data->font = std::move(font);
  return data;
}

}  // namespace nx::script

using nx::script::ScriptCacheData;

HRESULT WINAPI ScriptItemize(const WCHAR *pwcInChars, int cInChars, int cMaxItems, const SCRIPT_CONTROL *,
                             const SCRIPT_STATE *psState, SCRIPT_ITEM *pItems, int *pcItems) {
  if (!pwcInChars || cInChars <= 0 || cInChars > nx::script::kMaxChars || cMaxItems < 2 || !pItems)
    return E_INVALIDARG;
  UBiDiLevel base = psState ? UBiDiLevel(psState->uBidiLevel) : 0;
  // Below U+0590 no character is right to left or a bidi control: under a
  // left-to-right base such text stays at level 0 throughout.
  const bool plainLtr = base == 0 && std::all_of(pwcInChars, pwcInChars + cInChars, [](WCHAR c) { return c < 0x590; });
  if (plainLtr) return nx::script::ItemizePlainLtr(pwcInChars, cInChars, cMaxItems, pItems, pcItems);
  std::vector<UBiDiLevel> lv(size_t(cInChars), base);
  UErrorCode err = U_ZERO_ERROR;
  UBiDi *bidi = ubidi_openSized(cInChars, 0, &err);
  ubidi_setPara(bidi, reinterpret_cast<const UChar *>(pwcInChars), cInChars, base, nullptr, &err);
  const UBiDiLevel *levels = U_SUCCESS(err) ? ubidi_getLevels(bidi, &err) : nullptr;
  if (levels && U_SUCCESS(err)) std::copy(levels, levels + cInChars, lv.begin());
  ubidi_close(bidi);
  auto scripts = nx::script::ResolveScripts(pwcInChars, cInChars);
  int count = 0;
  for (int i = 0; i < cInChars; ++i) {
    if (i > 0 && lv[i] == lv[i - 1] && scripts[i] == scripts[i - 1]) continue;
    if (count + 1 >= cMaxItems) return E_OUTOFMEMORY;
    pItems[count++] = nx::script::ItemAt(i, scripts[i], lv[i]);
  }
  pItems[count] = SCRIPT_ITEM{};
  pItems[count].iCharPos = cInChars;
  if (pcItems) *pcItems = count;
  return S_OK;
}

HRESULT WINAPI ScriptLayout(int cRuns, const BYTE *pbLevel, int *piVisualToLogical, int *piLogicalToVisual) {
  if (cRuns <= 0 || cRuns > nx::script::kMaxChars || !pbLevel) return E_INVALIDARG;
  if (piVisualToLogical) ubidi_reorderVisual(pbLevel, cRuns, piVisualToLogical);
  if (piLogicalToVisual) ubidi_reorderLogical(pbLevel, cRuns, piLogicalToVisual);
  return S_OK;
}

namespace nx::script {
namespace {

// Whether a character makes text complex: right to left, a combining mark,
// or of a script the simple path does not draw.
bool IsComplexChar(UChar32 c) {
  static const UScriptCode kSimple[] = {USCRIPT_LATIN, USCRIPT_GREEK,    USCRIPT_CYRILLIC, USCRIPT_ARMENIAN,
                                        USCRIPT_GEORGIAN, USCRIPT_HAN,   USCRIPT_HIRAGANA, USCRIPT_KATAKANA,
                                        USCRIPT_HANGUL, USCRIPT_COMMON};
  const UScriptCode sc = ScriptOf(c);
  const UCharDirection d = DirectionOf(c);
  if (d == U_RIGHT_TO_LEFT || d == U_RIGHT_TO_LEFT_ARABIC || d == U_RIGHT_TO_LEFT_EMBEDDING ||
      d == U_RIGHT_TO_LEFT_OVERRIDE || d == U_RIGHT_TO_LEFT_ISOLATE)
    return true;
  if (sc == USCRIPT_INHERITED) return true;  // combining marks need shaping
  return std::find(std::begin(kSimple), std::end(kSimple), sc) == std::end(kSimple);
}

// The same for the code points below kTabled, answered once.
const std::vector<uint8_t> &ComplexTable() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(kTabled);
    for (UChar32 c = 0; c < kTabled; ++c) t[size_t(c)] = IsComplexChar(c) ? 1 : 0;
    return t;
  }();
  return table;
}

}  // namespace
}  // namespace nx::script

HRESULT WINAPI ScriptIsComplex(const WCHAR *pwcInChars, int cInChars, DWORD dwFlags) {
  if (!pwcInChars || cInChars <= 0 || cInChars > nx::script::kMaxChars) return E_INVALIDARG;
  const uint8_t *tabled = nx::script::ComplexTable().data();
  for (int i = 0; i < cInChars;) {
    UChar32 c;
    U16_NEXT(reinterpret_cast<const UChar *>(pwcInChars), i, cInChars, c);
    if ((dwFlags & SIC_ASCIIDIGIT) && c >= '0' && c <= '9') return S_OK;
    if (c < 0x80 && !(dwFlags & SIC_NEUTRAL)) continue;
    if (c >= 0 && c < nx::script::kTabled ? tabled[c] != 0 : nx::script::IsComplexChar(c)) return S_OK;
  }
  return S_FALSE;
}

HRESULT WINAPI ScriptShape(HDC hdc, SCRIPT_CACHE *psc, const WCHAR *pwcChars, int cChars, int cMaxGlyphs,
                           SCRIPT_ANALYSIS *psa, WORD *pwOutGlyphs, WORD *pwLogClust, SCRIPT_VISATTR *psva,
                           int *pcGlyphs) {
  if (!pwcChars || cChars <= 0 || cChars > nx::script::kMaxChars || cMaxGlyphs <= 0 || !psa || !pwOutGlyphs ||
      !pwLogClust || !psva || !pcGlyphs)
    return E_INVALIDARG;
  ScriptCacheData *cache = nx::script::CacheFor(hdc, psc);
  if (!cache) return nx::script::NoCache(hdc, psc);
  hb_font_t *font = cache->font->HbFont();
  hb_buffer_t *buf = cache->buffer;
  hb_buffer_reset(buf);
  hb_buffer_add_utf16(buf, reinterpret_cast<const uint16_t *>(pwcChars), cChars, 0, cChars);
  hb_buffer_set_direction(buf, psa->fRTL ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  if (psa->eScript != SCRIPT_UNDEFINED) hb_buffer_set_script(buf, nx::script::HbScript(*psa));
  hb_buffer_guess_segment_properties(buf);
  hb_shape(font, buf, nullptr, 0);
  unsigned n = 0;
  hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buf, &n);
  hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(buf, nullptr);
  if (n > unsigned(cMaxGlyphs)) return E_OUTOFMEMORY;
  bool missing = false;
  hb_face_t *face = hb_font_get_face(font);
  const bool classes = hb_ot_layout_has_glyph_classes(face);
  if (classes && cache->isMark.empty()) cache->isMark.assign(std::max(1u, hb_face_get_glyph_count(face)), 2);
  const bool rtl = psa->fRTL;
  const auto *text = reinterpret_cast<const UChar *>(pwcChars);
  std::fill(pwLogClust, pwLogClust + cChars, WORD(0xFFFF));
  for (unsigned g = 0; g < n; ++g) {
    const unsigned cl = info[g].cluster;
    UChar32 c = text[cl];
    if (U16_IS_LEAD(c) && cl + 1 < unsigned(cChars) && U16_IS_TRAIL(text[cl + 1]))
      c = U16_GET_SUPPLEMENTARY(c, text[cl + 1]);
    const WORD gid = WORD(info[g].codepoint);
    if (gid == 0 && nx::script::NeedsGlyph(c)) missing = true;
    pwOutGlyphs[g] = gid;
    // The glyph array is in visual order: a cluster starts (in logical order)
    // at its leftmost glyph left to right and at its rightmost right to left,
    // where a mark comes before its base.
    const bool start = rtl ? (g + 1 == n || info[g + 1].cluster != cl) : (g == 0 || info[g - 1].cluster != cl);
    SCRIPT_VISATTR va{};
    va.fClusterStart = start;
    // A mark merged into its base's cluster is found by its glyph class; a
    // font without classes leaves the character to tell.
    va.fDiacritic = classes ? nx::script::IsMarkGlyph(*cache, face, gid) : start && nx::script::IsMark(c);
    va.fZeroWidth = pos[g].x_advance == 0;
    const bool blank = c < 0x80 ? (c == ' ' || c == '\t') : u_isUWhiteSpace(c);
    va.uJustification = blank ? SCRIPT_JUSTIFY_BLANK : SCRIPT_JUSTIFY_CHARACTER;
    psva[g] = va;
    // Each character of the cluster points at the cluster's first glyph in
    // logical order.
    if (start) pwLogClust[cl] = WORD(g);
  }
  // Characters inside a cluster (the later units of it) share its glyph.
  if (n > 0) {
    WORD prev = pwLogClust[0] == 0xFFFF ? WORD(psa->fRTL ? n - 1 : 0) : pwLogClust[0];
    for (int i = 0; i < cChars; ++i) {
      if (pwLogClust[i] == 0xFFFF) pwLogClust[i] = prev;
      prev = pwLogClust[i];
    }
  }
  *pcGlyphs = int(n);
  if (missing && psa->eScript != SCRIPT_UNDEFINED) return USP_E_SCRIPT_NOT_IN_FONT;
  return S_OK;
}

HRESULT WINAPI ScriptPlace(HDC hdc, SCRIPT_CACHE *psc, const WORD *pwGlyphs, int cGlyphs, const SCRIPT_VISATTR *,
                           SCRIPT_ANALYSIS *psa, int *piAdvance, GOFFSET *pGoffset, ABC *pABC) {
  if (!pwGlyphs || cGlyphs <= 0 || cGlyphs > nx::script::kMaxChars || !psa || !piAdvance) return E_INVALIDARG;
  ScriptCacheData *cache = nx::script::CacheFor(hdc, psc);
  if (!cache) return nx::script::NoCache(hdc, psc);
  const auto &f = *cache->font;
  hb_font_t *font = f.HbFont();
  // The glyphs ScriptShape just made take the positions it shaped them
  // with (kerning, marks on their bases); other glyphs their plain advances.
  unsigned shaped = 0;
  const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(cache->buffer, &shaped);
  const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(cache->buffer, nullptr);
  bool fromShape = pos && shaped == unsigned(cGlyphs);
  for (int g = 0; fromShape && g < cGlyphs; ++g) fromShape = info[g].codepoint == pwGlyphs[g];
  long total = 0;
  const double k = nx::script::Factor(f);
  for (int g = 0; g < cGlyphs; ++g) {
    long adv = fromShape ? pos[g].x_advance : hb_font_get_glyph_h_advance(font, pwGlyphs[g]);
    piAdvance[g] = nx::script::Scale(adv, k);
    total += piAdvance[g];
    if (pGoffset) {
      GOFFSET o = fromShape ? GOFFSET{pos[g].x_offset, pos[g].y_offset} : GOFFSET{};
      pGoffset[g] = (o.du | o.dv) ? GOFFSET{nx::script::Scale(o.du, k), nx::script::Scale(o.dv, k)} : GOFFSET{};
    }
  }
  if (pABC) {
    hb_glyph_extents_t first{}, last{};
    hb_font_get_glyph_extents(font, pwGlyphs[0], &first);
    hb_font_get_glyph_extents(font, pwGlyphs[cGlyphs - 1], &last);
    int a = nx::script::Scale(f, first.x_bearing);
    int c = piAdvance[cGlyphs - 1] - nx::script::Scale(f, last.x_bearing + last.width);
    *pABC = ABC{a, UINT(std::max<long>(0, total - a - c)), c};
  }
  return S_OK;
}

HRESULT WINAPI ScriptGetGlyphABCWidth(HDC hdc, SCRIPT_CACHE *psc, WORD wGlyph, ABC *pABC) {
  if (!pABC) return E_INVALIDARG;
  ScriptCacheData *cache = nx::script::CacheFor(hdc, psc);
  if (!cache) return nx::script::NoCache(hdc, psc);
  const auto &f = *cache->font;
  hb_font_t *font = f.HbFont();
  hb_glyph_extents_t ext{};
  hb_font_get_glyph_extents(font, wGlyph, &ext);
  int adv = nx::script::Scale(f, hb_font_get_glyph_h_advance(font, wGlyph));
  int a = nx::script::Scale(f, ext.x_bearing);
  int b = nx::script::Scale(f, ext.x_bearing + ext.width) - a;
  *pABC = ABC{a, UINT(std::max(0, b)), adv - a - std::max(0, b)};
  return S_OK;
}

HRESULT WINAPI ScriptGetCMap(HDC hdc, SCRIPT_CACHE *psc, const WCHAR *pwcInChars, int cChars, DWORD,
                             WORD *pwOutGlyphs) {
  if (!pwcInChars || cChars <= 0 || cChars > nx::script::kMaxChars || !pwOutGlyphs) return E_INVALIDARG;
  ScriptCacheData *cache = nx::script::CacheFor(hdc, psc);
  if (!cache) return nx::script::NoCache(hdc, psc);
  hb_font_t *font = cache->font->HbFont();
  bool all = true;
  for (int i = 0; i < cChars;) {
    const int start = i;
    UChar32 c;
    U16_NEXT(reinterpret_cast<const UChar *>(pwcInChars), i, cChars, c);
    hb_codepoint_t g = 0;
    if (!hb_font_get_nominal_glyph(font, hb_codepoint_t(c), &g)) g = 0;
    all = all && g != 0;
    std::fill(pwOutGlyphs + start, pwOutGlyphs + i, WORD(g));
  }
  return all ? S_OK : S_FALSE;
}

HRESULT WINAPI ScriptGetFontProperties(HDC hdc, SCRIPT_CACHE *psc, SCRIPT_FONTPROPERTIES *sfp) {
  if (!sfp || sfp->cBytes != int(sizeof(SCRIPT_FONTPROPERTIES))) return E_INVALIDARG;
  ScriptCacheData *cache = nx::script::CacheFor(hdc, psc);
  if (!cache) return nx::script::NoCache(hdc, psc);
  const auto &f = *cache->font;
  sfp->wgBlank = WORD(f.GlyphIndex(U' '));
  sfp->wgDefault = 0;
  sfp->wgInvalid = 0;
  UINT kashida = f.GlyphIndex(U'\u0640');
  sfp->wgKashida = kashida ? WORD(kashida) : WORD(0xFFFF);
  sfp->iKashidaWidth = kashida ? f.Advance(U'\u0640') : 0;
  return S_OK;
}

HRESULT WINAPI ScriptCacheGetHeight(HDC hdc, SCRIPT_CACHE *psc, long *tmHeight) {
  if (!tmHeight) return E_INVALIDARG;
  ScriptCacheData *cache = nx::script::CacheFor(hdc, psc);
  if (!cache) return nx::script::NoCache(hdc, psc);
  *tmHeight = cache->font->Metrics().tmHeight;
  return S_OK;
}

HRESULT WINAPI ScriptFreeCache(SCRIPT_CACHE *psc) {
  if (!psc) return E_INVALIDARG;
  delete static_cast<ScriptCacheData *>(*psc);
  *psc = nullptr;
  return S_OK;
}
