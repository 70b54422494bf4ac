// Single-line text: NxTextOut(Ex), NxUnicodeChar(Ex) and the text measures.
#include <cmath>
#include <string>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "drawing/Drawing.h"
#include "noxtrel.h"
#include "session/PrinterSetup.h"
#include "session/Units.h"

namespace nx {
namespace {

// The Ex arguments after the session's values replaced the sentinels.
struct TTextStyle {
  int32_t justify;
  // The Ex argument's face, when one was given; else the session's.
  WString givenFont;
  bool fontGiven = false;
  const WString &FontName() const { return fontGiven ? givenFont : Session().FontName; }
  double fontSize;
  int32_t fontStyle;
  int32_t fColor;
  int32_t bColor;
  int32_t angle;
};

TTextStyle ResolveStyle(int32_t justify, const char *fontName, int32_t fontSize, int32_t fontStyle, int32_t fColor,
                        int32_t bColor, int32_t angle) {
  const TNoxtrelRec &s = Session();
  TTextStyle t;
  t.justify = justify == kSessionCode ? s.FontJustify : justify;
  t.fontGiven = fontName && *fontName;
  if (t.fontGiven) t.givenFont = AnsiToWide(fontName);
  t.fontSize = fontSize == kSessionSize ? s.FontSize : FromFixed(fontSize);
  t.fontStyle = fontStyle == kSessionCode ? s.FontStyle : fontStyle;
  t.fColor = fColor == kSessionCode ? s.FontFColor : fColor;
  t.bColor = bColor == kSessionCode ? s.FontBColor : bColor;
  t.angle = angle == kSessionCode ? s.FontAngle : angle;
  return t;
}

// Steps shared by text and single characters once the text is known.
void DrawTextAt(int32_t x, int32_t y, const WString &text, const TTextStyle &t) {
  TSurface *surface = DocumentSurface();
  if (!surface) return;
  TNoxtrelRec &s = Session();
  POINT at{s.TextX, s.TextY};
  if (!(x == kSessionSize && y == kSessionSize)) at = UnitsToPoint(FromFixed(x), FromFixed(y));

  TFont &font = surface->Font();
  if (font.Name != t.FontName()) font.Name = t.FontName();
  ApplyFontStyle(t.fontStyle);
  font.Color = CodeToRGB(t.fColor);
  font.SetSize(t.fontSize);
  TBrush &brush = surface->Brush();
  if (t.bColor == kTransparentColor) {
    brush.Style = TBrushStyle::Clear;
  } else {
    brush.Style = TBrushStyle::Solid;
    brush.Color = CodeToRGB(t.bColor);
  }

  surface->Select();
  const int w = surface->TextWidth(text);
  size_t sep = t.justify == 3 ? text.find(s.DecimalSep) : WString::npos;
  if (t.justify == 3 && sep != WString::npos)
    at.x -= surface->TextWidth(text.substr(0, sep + 1));
  else if (t.justify == 1)
    at.x -= w;
  else if (t.justify == 2)
    at.x -= w / 2;

  s.TextX = at.x + w;
  s.TextY = at.y;
  // Tenths of a degree; GDI takes the escapement modulo a full turn.
  surface->TextOut(at.x, at.y, text, static_cast<LONG>(static_cast<int64_t>(t.angle) % 360 * 10), w);
}

// The UTF-16 unit a hexadecimal text names (its low 16 bits).
WCHAR HexCodeUnit(const char *hex) {
  const std::string text = hex ? hex : "";
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i, ++digits) {
    const char c = text[i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) break;
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) break;
  }
  if (digits == 0 || i != text.size())
    throw ENxError(nxeArgument, "'" + text + "' is not a valid hexadecimal character code");
  return static_cast<WCHAR>(value & 0xFFFF);
}

// Measures with the device font as it stands. Without an open document there
// is no device font: the answer is 0 and no page is opened for it.
int32_t MeasureText(const char *text, bool vertical) {
  TSurface *surface = DocumentSurface();
  if (!surface) return 0;
  const WString w = AnsiToWide(text);
  const int p = vertical ? surface->TextHeight(w) : surface->TextWidth(w);
  const TNoxtrelRec &s = Session();
  return ToFixed(PixelsToUnit(s.MUnit, p, vertical ? s.VPixelsInch : s.HPixelsInch, vertical ? s.LPI : s.CPI));
}

}  // namespace
}  // namespace nx

using nx::NxGuard;
using nx::NxGuardVoid;

extern "C" {

NX_API void NxTextOutEx(int32_t X, int32_t Y, const char *Text, int32_t Justify, const char *FontName,
                        int32_t FontSize, int32_t FontStyle, int32_t FColor, int32_t BColor, int32_t Angle) {
  NxGuardVoid([&] {
    if (!nx::DocumentSurface()) return;
    nx::TTextStyle t = nx::ResolveStyle(Justify, FontName, FontSize, FontStyle, FColor, BColor, Angle);
    // One buffer for every call: a line of text allocates nothing once it
    // has grown to the longest line.
    static thread_local nx::WString text;
    nx::HostTextInto(Text, t.FontName(), &text);
    nx::DrawTextAt(X, Y, text, t);
  });
}

NX_API void NxTextOut(int32_t X, int32_t Y, const char *Text) {
  NxTextOutEx(X, Y, Text, nx::kSessionCode, nullptr, nx::kSessionSize, nx::kSessionCode, nx::kSessionCode,
              nx::kSessionCode, nx::kSessionCode);
}

NX_API void NxUnicodeCharEx(int32_t X, int32_t Y, const char *HexCode, int32_t Justify, const char *FontName,
                            int32_t FontSize, int32_t FontStyle, int32_t FColor, int32_t BColor, int32_t Angle) {
  NxGuardVoid([&] {
    if (!nx::DocumentSurface()) return;
    nx::TTextStyle t = nx::ResolveStyle(Justify, FontName, FontSize, FontStyle, FColor, BColor, Angle);
    nx::DrawTextAt(X, Y, nx::WString(1, nx::HexCodeUnit(HexCode)), t);
  });
}

NX_API void NxUnicodeChar(int32_t X, int32_t Y, const char *HexCode) {
  NxUnicodeCharEx(X, Y, HexCode, nx::kSessionCode, nullptr, nx::kSessionSize, nx::kSessionCode, nx::kSessionCode,
                  nx::kSessionCode, nx::kSessionCode);
}

NX_API int32_t NxGetTextWidth(const char *Text) {
  return NxGuard(0, [&] { return nx::MeasureText(Text, false); });
}

NX_API int32_t NxGetTextHeight(const char *Text) {
  return NxGuard(0, [&] { return nx::MeasureText(Text, true); });
}

}  // extern "C"
