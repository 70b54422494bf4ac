// The HDC-taking text calls: the DC's logical font resolved at the device
// size, measuring in logical units, ExtTextOutW recorded on metafile DCs and
// rasterised elsewhere, and DrawTextW through ExtTextOutW.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/GdiInternal.h"
#include "platform/text/DrawTextLayout.h"
#include "platform/text/FontEngine.h"
#include "platform/text/TextRaster.h"
#include "platform/text/TextRecord.h"

namespace nx::text {
namespace {

constexpr size_t kMaxCount = 1 << 24;  // a longer string is taken as garbage

struct DcFontCache {
  LONG deviceHeight = 0;
  LONG deviceWidth = 0;
  std::shared_ptr<SizedFont> font;
};

// Vertical scale of logical units to device pixels.
double DeviceScale(const gdi::Dc &dc) {
  gdi::Affine m = gdi::LogicalToDevice(dc);
  double s = std::sqrt(std::fabs(m.Det()));
  return s > 0 ? s : 1.0;
}

std::shared_ptr<SizedFont> DcFont(gdi::Dc *dc) {
  const LOGFONTW *lf = gdi::SelectedLogFont(dc);
  if (!lf) return nullptr;
  double scale = DeviceScale(*dc);
  LOGFONTW dev = *lf;
  dev.lfHeight = LONG(std::lround(lf->lfHeight * scale));
  dev.lfWidth = LONG(std::lround(lf->lfWidth * scale));
  gdi::FontObj *obj = gdi::SelectedFont(dc);
  if (obj) {
    auto cache = std::static_pointer_cast<DcFontCache>(obj->textCache);
    if (cache && cache->deviceHeight == dev.lfHeight && cache->deviceWidth == dev.lfWidth) return cache->font;
  }
  auto font = ResolveFont(dev);
  if (obj && font) obj->textCache = std::make_shared<DcFontCache>(DcFontCache{dev.lfHeight, dev.lfWidth, font});
  return font;
}

std::shared_ptr<SizedFont> FontForHdc(HDC hdc) {
  gdi::Dc *dc = gdi::DcFromHandle(hdc);
  return dc ? DcFont(dc) : nullptr;
}

[[maybe_unused]] const bool kRegistered = (SetDcFontResolver(&FontForHdc), true);

LONG ToLogical(const gdi::Dc &dc, double device) { return LONG(std::lround(device / DeviceScale(dc))); }

bool BadString(LPCWSTR s, int c) { return c < 0 || size_t(c) > kMaxCount || (c > 0 && !s); }

// Advances in device pixels for ExtTextOutW: the caller's dx (logical) or
// the font's, plus the character extra.
std::vector<INT> DeviceAdvances(const gdi::Dc &dc, const SizedFont &font, LPCWSTR s, UINT c, const INT *dx,
                                UINT options) {
  const size_t per = (options & ETO_PDY) ? 2 : 1;
  std::vector<INT> adv(c * per, 0);
  double scale = DeviceScale(dc);
  if (dx) {
    for (size_t i = 0; i < adv.size(); ++i) adv[i] = INT(std::lround(dx[i] * scale));
    return adv;
  }
  std::vector<int> tmp(c);
  if (c) font.Advances(s, c, tmp.data());
  INT extra = INT(std::lround(dc.st.charExtra * scale));
  for (size_t i = 0; i < c; ++i) adv[i * per] = tmp[i] + extra;
  return adv;
}

void RecordText(gdi::Dc *dc, const SizedFont &font, POINT ref, UINT options, const RECT *rect, LPCWSTR s, UINT c,
                const std::vector<INT> &advLogical, long widthDevice) {
  gdi::Affine m = gdi::LogicalToDevice(*dc);
  double dx, dy;
  m.Apply(ref.x, ref.y, &dx, &dy);
  TextRecordInput in;
  const TEXTMETRICW &tm = font.Metrics();
  in.bounds = dc->InPath() ? RECTL{0, 0, -1, -1}
                           : EstimateTextBounds(LONG(std::lround(dx)), LONG(std::lround(dy)), widthDevice, tm.tmHeight,
                                                tm.tmDescent, dc->st.textAlign);
  in.graphicsMode = DWORD(dc->st.graphicsMode);
  if (dc->st.graphicsMode == GM_COMPATIBLE) {
    in.exScale = float(100.0 * dc->caps.horzSize / std::max(1, dc->caps.horzRes));
    in.eyScale = float(100.0 * dc->caps.vertSize / std::max(1, dc->caps.vertRes));
  }
  in.reference = POINTL{ref.x, ref.y};
  in.options = options;
  in.rect = rect;
  in.text = s;
  in.count = c;
  in.dx = advLogical.data();
  std::vector<uint8_t> bytes = BuildExtTextOutRecord(in);
  uint8_t *rec = dc->rec->Append(EMR_EXTTEXTOUTW, bytes.size());
  std::copy(bytes.begin() + 8, bytes.end(), rec + 8);
  if (!dc->InPath()) dc->rec->AddBounds(in.bounds);
}

}  // namespace
}  // namespace nx::text

using nx::gdi::Dc;
using nx::gdi::DcFromHandle;

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !psizl || nx::text::BadString(lpString, c)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto font = nx::text::DcFont(dc);
  if (!font) return FALSE;
  long w = font->Extent(lpString, size_t(c));
  double extraDevice = double(dc->st.charExtra) * nx::text::DeviceScale(*dc) * c;
  psizl->cx = nx::text::ToLogical(*dc, double(w) + extraDevice);
  psizl->cy = nx::text::ToLogical(*dc, font->Metrics().tmHeight);
  return TRUE;
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font || !lptm) return FALSE;
  *lptm = font->Metrics();
  double s = nx::text::DeviceScale(*dc);
  if (s != 1.0) {
    for (LONG *v : {&lptm->tmHeight, &lptm->tmAscent, &lptm->tmDescent, &lptm->tmInternalLeading,
                    &lptm->tmExternalLeading, &lptm->tmAveCharWidth, &lptm->tmMaxCharWidth})
      *v = LONG(std::lround(*v / s));
  }
  return TRUE;
}

UINT WINAPI GetOutlineTextMetricsW(HDC hdc, UINT cjCopy, LPOUTLINETEXTMETRICW potm) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font) return 0;
  if (!potm) return sizeof(OUTLINETEXTMETRICW);
  OUTLINETEXTMETRICW otm;
  font->Outline(otm);
  GetTextMetricsW(hdc, &otm.otmTextMetrics);
  size_t n = std::min<size_t>(cjCopy, sizeof otm);
  std::memcpy(potm, &otm, n);
  return UINT(n);
}

BOOL WINAPI GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font || !lpABC || wLast < wFirst || wLast - wFirst > nx::text::kMaxCount) return FALSE;
  for (UINT ch = wFirst; ch <= wLast; ++ch)
    if (!font->CharAbc(ch, lpABC[ch - wFirst])) lpABC[ch - wFirst] = ABC{0, 0, 0};
  return TRUE;
}

BOOL WINAPI GetCharWidth32W(HDC hdc, UINT iFirst, UINT iLast, LPINT lpBuffer) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font || !lpBuffer || iLast < iFirst || iLast - iFirst > nx::text::kMaxCount) return FALSE;
  for (UINT ch = iFirst; ch <= iLast; ++ch)
    lpBuffer[ch - iFirst] = nx::text::ToLogical(*dc, font->Advance(ch));
  return TRUE;
}

int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font || c < 0 || (c > 0 && !lpName)) return 0;
  std::u16string name = font->Face().FamilyName();
  if (!lpName) return int(name.size() + 1);
  size_t n = std::min(name.size(), size_t(c) - 1);
  for (size_t i = 0; i < n; ++i) lpName[i] = WCHAR(name[i]);
  lpName[n] = 0;
  return int(n);
}

int WINAPI GetTextCharsetInfo(HDC hdc, LPFONTSIGNATURE lpSig, DWORD dwFlags) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font) return DEFAULT_CHARSET;
  if (lpSig) *lpSig = font->Face().Signature();
  return font->Metrics().tmCharSet;
}

DWORD WINAPI GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, PVOID pvBuffer, DWORD cjBuffer) {
  Dc *dc = DcFromHandle(hdc);
  auto font = dc ? nx::text::DcFont(dc) : nullptr;
  if (!font) return GDI_ERROR;
  return nx::text::FontData(font->Face(), dwTable, dwOffset, pvBuffer, cjBuffer);
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString, UINT c,
                        const INT *lpDx) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || size_t(c) > nx::text::kMaxCount || (c > 0 && !lpString)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto font = nx::text::DcFont(dc);
  if (!font) return FALSE;
  POINT ref{x, y};
  if (dc->st.textAlign & TA_UPDATECP) ref = dc->st.curPos;
  std::vector<INT> dev = nx::text::DeviceAdvances(*dc, *font, lpString, c, lpDx, options);
  const size_t per = (options & ETO_PDY) ? 2 : 1;
  long width = 0;
  for (size_t i = 0; i < c; ++i) width += dev[i * per];
  if (dc->st.textAlign & TA_UPDATECP) dc->st.curPos.x += nx::text::ToLogical(*dc, double(width));
  const RECT *rect = (options & (ETO_OPAQUE | ETO_CLIPPED)) ? lprect : nullptr;
  if (dc->IsMetafile()) {
    // The record carries logical advances; SetTextCharacterExtra is folded in.
    std::vector<INT> logical(dev.size());
    double s = nx::text::DeviceScale(*dc);
    for (size_t i = 0; i < dev.size(); ++i) logical[i] = INT(std::lround(dev[i] / s));
    nx::text::RecordText(dc, *font, ref, options, rect, lpString, c, logical, width);
    return TRUE;
  }
  nx::gdi::RasterScope scope(dc);
  cairo_t *cr = scope.cr();
  if (!cr) return TRUE;
  nx::gdi::Affine m = nx::gdi::LogicalToDevice(*dc);
  double dx, dy;
  m.Apply(ref.x, ref.y, &dx, &dy);
  RECT devRect{};
  if (rect) {
    double l, t, r, b;
    m.Apply(rect->left, rect->top, &l, &t);
    m.Apply(rect->right, rect->bottom, &r, &b);
    devRect = RECT{LONG(std::lround(std::min(l, r))), LONG(std::lround(std::min(t, b))),
                   LONG(std::lround(std::max(l, r))), LONG(std::lround(std::max(t, b)))};
  }
  nx::text::TextRasterState st;
  st.align = dc->st.textAlign;
  st.textColor = dc->st.textColor;
  st.bkColor = dc->st.bkColor;
  st.opaqueBackground = dc->st.bkMode == OPAQUE;
  st.options = options;
  st.rect = rect ? &devRect : nullptr;
  std::vector<INT> adv(c);
  for (size_t i = 0; i < c; ++i) adv[i] = dev[i * per];
  nx::text::DrawTextRun(cr, *font, dx, dy, lpString, c, adv.data(), st);
  return TRUE;
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  if (c < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ExtTextOutW(hdc, x, y, 0, nullptr, lpString, UINT(c), nullptr);
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !lprc || cchText < -1 || (cchText != 0 && !lpchText)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = cchText == -1 ? std::char_traits<char16_t>::length(reinterpret_cast<const char16_t *>(lpchText))
                           : size_t(cchText);
  if (n > nx::text::kMaxCount) return 0;
  TEXTMETRICW tm;
  if (!GetTextMetricsW(hdc, &tm)) return 0;
  int lh = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
  auto measure = [hdc](const WCHAR *s, size_t len, int *out) {
    for (size_t i = 0; i < len; ++i) {
      INT w = 0;
      GetCharWidth32W(hdc, s[i], s[i], &w);
      out[i] = w;
    }
  };
  auto layout = nx::text::LayoutDrawText(lpchText, n, *lprc, format, lh, measure);
  if (format & DT_CALCRECT) {
    *lprc = layout.calcRect;
    return layout.height;
  }
  // Lines are placed by their top-left corner whatever the DC's alignment.
  UINT savedAlign = dc->st.textAlign;
  if (savedAlign != (TA_TOP | TA_LEFT)) SetTextAlign(hdc, TA_TOP | TA_LEFT);
  UINT options = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
  for (const auto &line : layout.lines)
    ExtTextOutW(hdc, line.x, line.y, options, lprc, reinterpret_cast<const WCHAR *>(line.text.data()),
                UINT(line.text.size()), nullptr);
  if (savedAlign != (TA_TOP | TA_LEFT)) SetTextAlign(hdc, savedAlign);
  return layout.height;
}
