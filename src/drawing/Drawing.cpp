#include "drawing/Drawing.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/Strings.h"
#include "device/Device.h"
#include "session/Library.h"

namespace nx {

int32_t MapColor(int32_t code) {
  static constexpr COLORREF kPalette[16] = {
      0x000000, 0xFF0000, 0x008000, 0x808000, 0x0000FF, 0x800080, 0x000080, 0xC0C0C0,
      0x808080, 0x800000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
  };
  if (code <= -1 && code >= -16) return static_cast<int32_t>(kPalette[-code - 1]);
  if (code == 1) return kTransparentColor;
  return code;
}

COLORREF ColorToRGB(int32_t color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

TBrushStyle MapFillPattern(int32_t pattern) {
  switch (pattern) {
    case 0: return TBrushStyle::Solid;
    case 2: return TBrushStyle::BDiagonal;
    case 3: return TBrushStyle::FDiagonal;
    case 4: return TBrushStyle::Cross;
    case 5: return TBrushStyle::DiagCross;
    case 6: return TBrushStyle::Horizontal;
    case 7: return TBrushStyle::Vertical;
    default: return TBrushStyle::Clear;
  }
}

int32_t PenWidth(double points) {
  const double w = std::trunc(points * (Session().HPixelsInch / 72));
  if (std::isnan(w)) return 0;
  if (w >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (w <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(w);
}

namespace {

// ANSI code pages whose bytes below 0x80 are ASCII: text made only of such
// bytes is widened as it is, without a trip through the converter.
bool AsciiCompatible(UINT codePage) {
  return (codePage >= 1250 && codePage <= 1258) || codePage == 874 || codePage == 28591 || codePage == 65001;
}

// Text made only of bytes below 0x80, widened unit for unit into *out;
// false (and *out unspecified) when a byte is above. The bytes are checked
// first so that only ASCII text is written.
bool WidenAscii(const char *text, WString *out) {
  const size_t n = std::strlen(text);
  unsigned char seen = 0;
  for (size_t i = 0; i < n; ++i) seen |= static_cast<unsigned char>(text[i]);
  if (seen >= 0x80) return false;
  out->resize(n);
  WCHAR *w = out->data();
  for (size_t i = 0; i < n; ++i) w[i] = static_cast<WCHAR>(text[i]);
  return true;
}

}  // namespace

void HostTextInto(const char *text, const WString &face, WString *out) {
  out->clear();
  if (!text || !*text) return;
  if (face == NXW("WingDings")) {
    for (const char *p = text; *p; ++p) out->push_back(static_cast<WCHAR>(static_cast<unsigned char>(*p)));
    return;
  }
  if (!Session().AsciiAnsi) {
    if (!(AsciiCompatible(GetACP()) && WidenAscii(text, out))) *out = AnsiToWide(text);
    return;
  }
  std::vector<WCHAR> oem(std::strlen(text) + 1, 0);
  OemToCharW(text, oem.data());
  out->assign(oem.data());
}

WString HostText(const char *text, const WString &face) {
  WString out;
  HostTextInto(text, face, &out);
  return out;
}

TSurface *DocumentSurface() {
  if (!DocumentOpen()) return nullptr;
  return Device().Surface();
}

}  // namespace nx
