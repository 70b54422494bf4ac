// The DC's logical font resolved at the device size, and the measuring calls
// that take an HDC: extents, metrics, widths, face name, charset and font data,
// all answered in the DC's logical units.
#include "platform/text/TextDc.h"
#include "platform/text/TextShaping.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace nx::text {
namespace {

constexpr size_t kMaxCount = 1 << 24;  // a longer string or range is taken as garbage

// The font resolved for one device size, kept on the font object, with the
// DC scales it was last asked for (the same scales give the same size).
struct DcFontCache {
  LONG deviceHeight = 0;
  LONG deviceWidth = 0;
  std::shared_ptr<SizedFont> font;
  DcScales scales;
};

bool BadString(LPCWSTR s, int c) { return c < 0 || size_t(c) > kMaxCount || (c > 0 && !s); }

gdi::Dc *DcWithFont(HDC hdc, std::shared_ptr<SizedFont> *font) {
  gdi::Dc *dc = gdi::DcFromHandle(hdc);
  if (dc) *font = DcFont(dc);
  return (dc && *font) ? dc : nullptr;
}

// Text metrics in device pixels -> logical units.
void MetricsToLogical(const DcScales &s, TEXTMETRICW &tm) {
  if (s.x == 1.0 && s.y == 1.0) return;
  for (LONG *v : {&tm.tmHeight, &tm.tmAscent, &tm.tmDescent, &tm.tmInternalLeading, &tm.tmExternalLeading})
    *v = Round(*v / s.y);
  for (LONG *v : {&tm.tmAveCharWidth, &tm.tmMaxCharWidth, &tm.tmOverhang}) *v = Round(*v / s.x);
}

// The outline metrics in device pixels -> logical units.
void OutlineToLogical(const DcScales &s, OUTLINETEXTMETRICW &otm) {
  MetricsToLogical(s, otm.otmTextMetrics);
  if (s.x == 1.0 && s.y == 1.0) return;
  auto y = [&s](auto &v) { v = decltype(+v)(Round(double(v) / s.y)); };
  auto x = [&s](auto &v) { v = decltype(+v)(Round(double(v) / s.x)); };
  y(otm.otmAscent), y(otm.otmDescent), y(otm.otmLineGap), y(otm.otmsCapEmHeight), y(otm.otmsXHeight);
  x(otm.otmrcFontBox.left), y(otm.otmrcFontBox.top), x(otm.otmrcFontBox.right), y(otm.otmrcFontBox.bottom);
  y(otm.otmMacAscent), y(otm.otmMacDescent), y(otm.otmMacLineGap);
  for (POINT *p : {&otm.otmptSubscriptSize, &otm.otmptSubscriptOffset, &otm.otmptSuperscriptSize,
                   &otm.otmptSuperscriptOffset})
    x(p->x), y(p->y);
  y(otm.otmsStrikeoutSize), y(otm.otmsStrikeoutPosition), y(otm.otmsUnderscoreSize), y(otm.otmsUnderscorePosition);
}

}  // namespace

DcScales ScalesOf(const gdi::Affine &m) {
  // hypot(a, 0) is |a| exactly: the usual unturned transforms skip it.
  DcScales s{m.m12 == 0 ? std::fabs(m.m11) : std::hypot(m.m11, m.m12),
             m.m21 == 0 ? std::fabs(m.m22) : std::hypot(m.m21, m.m22)};
  if (!(s.x > 0) || !std::isfinite(s.x)) s.x = 1;
  if (!(s.y > 0) || !std::isfinite(s.y)) s.y = 1;
  return s;
}

DcScales ScalesOf(const gdi::Dc &dc) { return ScalesOf(gdi::LogicalToDevice(dc)); }

namespace {

// The font object's cache entry for the DC's scales, resolved when missing
// or made for another size; null when the DC has no font or none resolves.
DcFontCache *CacheAt(gdi::Dc *dc, const DcScales &s) {
  gdi::FontObj *obj = gdi::SelectedFont(dc);
  if (!obj) return nullptr;
  auto *cache = static_cast<DcFontCache *>(obj->textCache.get());
  // A font object's LOGFONTW never changes: the scales it was last sized
  // for give the same device size without rounding it again.
  if (cache && cache->scales.x == s.x && cache->scales.y == s.y) return cache;
  const LONG height = Round(std::clamp(obj->lf.lfHeight * s.y, -1e7, 1e7));
  const LONG width = Round(std::clamp(obj->lf.lfWidth * s.x, -1e7, 1e7));
  if (cache && cache->deviceHeight == height && cache->deviceWidth == width) {
    cache->scales = s;
    return cache;
  }
  LOGFONTW dev = obj->lf;
  dev.lfHeight = height;
  dev.lfWidth = width;
  auto font = ResolveFont(dev);
  if (!font) return nullptr;
  auto made = std::make_shared<DcFontCache>(DcFontCache{height, width, std::move(font), s});
  cache = made.get();
  obj->textCache = std::move(made);
  return cache;
}

}  // namespace

std::shared_ptr<SizedFont> DcFont(gdi::Dc *dc) {
  DcFontCache *cache = CacheAt(dc, ScalesOf(*dc));
  return cache ? cache->font : nullptr;
}

const SizedFont *DcFontAt(gdi::Dc *dc, const DcScales &s) {
  DcFontCache *cache = CacheAt(dc, s);
  return cache ? cache->font.get() : nullptr;
}

void LogicalAdvances(const gdi::Dc &dc, const SizedFont &font, const WCHAR *s, size_t n, int *out) {
  if (!n) return;
  font.Advances(s, n, out);
  DcScales sc = ScalesOf(dc);
  for (size_t i = 0; i < n; ++i) out[i] = Round(out[i] / sc.x) + (LowSurrogateOfPair(s, i) ? 0 : dc.st.charExtra);
}

std::shared_ptr<SizedFont> FontOfDc(HDC hdc) {
  gdi::Dc *dc = hdc ? gdi::DcFromHandle(hdc) : nullptr;
  return dc ? DcFont(dc) : nullptr;
}

}  // namespace nx::text

using nx::text::DcWithFont;
using nx::text::Round;
using nx::text::SizedFont;
using FontPtr = std::shared_ptr<SizedFont>;

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  nx::gdi::Dc *dc = nx::gdi::DcFromHandle(hdc);
  const auto s = dc ? nx::text::ScalesOf(*dc) : nx::text::DcScales{};
  const SizedFont *font = dc ? nx::text::DcFontAt(dc, s) : nullptr;
  if (!font || !psizl || nx::text::BadString(lpString, c)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // GDI sums the device advances, adds the extra spacing and converts once.
  const LONG extra = Round(dc->st.charExtra * s.x);
  size_t chars = 0;  // a surrogate pair is one character; counted only for spacing
  for (size_t i = 0; extra != 0 && i < size_t(c); ++i) chars += nx::text::LowSurrogateOfPair(lpString, i) ? 0 : 1;
  // Text that needs shaping measures as it is drawn: the shaped advances.
  std::vector<nx::text::PlacedGlyph> glyphs;
  double shaped = 0;
  double advances = nx::text::ShapeComplexLine(*font, lpString, size_t(c), 0, 0, glyphs, shaped)
                        ? shaped
                        : double(font->Extent(lpString, size_t(c)));
  double w = advances + double(extra) * double(chars);
  psizl->cx = Round(w / s.x);
  psizl->cy = Round(font->Metrics().tmHeight / s.y);
  return TRUE;
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  FontPtr font;
  nx::gdi::Dc *dc = DcWithFont(hdc, &font);
  if (!dc || !lptm) return FALSE;
  *lptm = font->Metrics();
  nx::text::MetricsToLogical(nx::text::ScalesOf(*dc), *lptm);
  return TRUE;
}

// The structure is followed by the family, face, style and full names; its
// four name fields hold their byte offsets from the structure's start, and
// otmSize counts them. A shorter buffer gets the first cjCopy bytes.
UINT WINAPI GetOutlineTextMetricsW(HDC hdc, UINT cjCopy, LPOUTLINETEXTMETRICW potm) {
  FontPtr font;
  nx::gdi::Dc *dc = DcWithFont(hdc, &font);
  OUTLINETEXTMETRICW otm;
  if (!dc || !font->Outline(otm)) return 0;
  const std::u16string family = font->Face().FamilyName(), style = font->Face().StyleName();
  const std::u16string face = style.empty() || style == u"Regular" ? family : family + u" " + style;
  const std::u16string names[4] = {family, face, style, face};
  std::vector<unsigned char> bytes(sizeof otm);
  char **fields[4] = {&otm.otmpFamilyName, &otm.otmpFaceName, &otm.otmpStyleName, &otm.otmpFullName};
  for (int i = 0; i < 4; ++i) {
    *fields[i] = reinterpret_cast<char *>(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(names[i].c_str());
    bytes.insert(bytes.end(), p, p + 2 * (names[i].size() + 1));
  }
  otm.otmSize = UINT(bytes.size());
  if (!potm) return otm.otmSize;
  nx::text::OutlineToLogical(nx::text::ScalesOf(*dc), otm);
  std::memcpy(bytes.data(), &otm, sizeof otm);
  size_t n = std::min<size_t>(cjCopy, bytes.size());
  std::memcpy(potm, bytes.data(), n);
  return UINT(n);
}

BOOL WINAPI GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC) {
  FontPtr font;
  nx::gdi::Dc *dc = DcWithFont(hdc, &font);
  if (!dc || !lpABC || wLast < wFirst || wLast - wFirst >= nx::text::kMaxCount) return FALSE;
  double sx = nx::text::ScalesOf(*dc).x;
  for (UINT ch = wFirst; ch <= wLast; ++ch) {
    ABC abc{0, 0, 0};
    font->CharAbc(ch, abc);
    lpABC[ch - wFirst] = ABC{Round(abc.abcA / sx), UINT(Round(abc.abcB / sx)), Round(abc.abcC / sx)};
  }
  return TRUE;
}

BOOL WINAPI GetCharWidth32W(HDC hdc, UINT iFirst, UINT iLast, LPINT lpBuffer) {
  FontPtr font;
  nx::gdi::Dc *dc = DcWithFont(hdc, &font);
  if (!dc || !lpBuffer || iLast < iFirst || iLast - iFirst >= nx::text::kMaxCount) return FALSE;
  double sx = nx::text::ScalesOf(*dc).x;
  for (UINT ch = iFirst; ch <= iLast; ++ch) lpBuffer[ch - iFirst] = Round(font->Advance(ch) / sx);
  return TRUE;
}

// The count includes the terminating NUL, as GDI counts it.
int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
  FontPtr font;
  if (!DcWithFont(hdc, &font) || c < 0 || (c > 0 && !lpName)) return 0;
  std::u16string name = font->Face().FamilyName();
  if (!lpName) return int(name.size() + 1);
  if (c == 0) return 0;
  size_t n = std::min(name.size(), size_t(c) - 1);
  for (size_t i = 0; i < n; ++i) lpName[i] = WCHAR(name[i]);
  lpName[n] = 0;
  return int(n + 1);
}

int WINAPI GetTextCharsetInfo(HDC hdc, LPFONTSIGNATURE lpSig, DWORD) {
  FontPtr font;
  if (!DcWithFont(hdc, &font)) return DEFAULT_CHARSET;
  if (lpSig) *lpSig = font->Face().Signature();
  return font->Metrics().tmCharSet;
}

DWORD WINAPI GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, PVOID pvBuffer, DWORD cjBuffer) {
  FontPtr font;
  if (!DcWithFont(hdc, &font)) return GDI_ERROR;
  return nx::text::FontData(font->Face(), dwTable, dwOffset, pvBuffer, cjBuffer);
}
