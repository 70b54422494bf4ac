// Text boxes: a rectangle, optionally outlined and filled, with text wrapped
// inside it by DrawTextW. NxTextBox, NxTextBoxEx.
#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "drawing/Drawing.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/PrinterSetup.h"
#include "session/Units.h"

namespace nx {
namespace {

// Word break, no prefix, edit control, end ellipsis; top aligned.
constexpr UINT kTextBoxFormat = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;
// Space between the border and the text, beyond the border's own width.
constexpr LONG kTextInset = 10;

UINT Alignment(int32_t justify) {
  if (justify == 1) return DT_RIGHT;
  if (justify == 2) return DT_CENTER;
  return DT_LEFT;
}

void TextBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const char *text, int32_t justify,
             const WString &fontName, int32_t fontSize, int32_t fontStyle, int32_t fColor, int32_t bColor,
             int32_t thickness) {
  if (x2 <= x1 || y2 <= y1 || !text || !*text) return;
  TSurface *surface = DocumentSurface();
  if (!surface) return;
  const TNoxtrelRec &s = Session();
  if (justify == kSessionCode) justify = s.FontJustify;
  const WString face = fontName.empty() ? s.FontName : fontName;
  if (fontStyle == kSessionCode) fontStyle = s.FontStyle;
  const double size = fontSize == kSessionSize ? s.FontSize : FromFixed(fontSize);
  if (fColor == kSessionCode) fColor = s.FontFColor;
  if (bColor == kSessionCode) bColor = s.FontBColor;
  const double points = thickness == kSessionSize ? 0 : FromFixed(thickness);

  RECT r = UnitsToRect(FromFixed(x1), FromFixed(y1), FromFixed(x2), FromFixed(y2));
  TPen &pen = surface->Pen();
  const int32_t width = PenWidth(points);
  if (width >= 0) pen.Width = width;
  pen.Color = pen.Width > 0 ? RGB(0, 0, 0) : RGB(255, 255, 255);
  pen.Mode = R2_COPYPEN;
  pen.Style = PS_SOLID;
  TBrush &brush = surface->Brush();
  if (bColor == kTransparentColor) {
    brush.Style = TBrushStyle::Clear;
  } else {
    brush.Style = TBrushStyle::Solid;
    brush.Color = CodeToRGB(bColor);
  }
  Device().Rectangle(r);
  if (pen.Width > 0) {
    const LONG inset = pen.Width + kTextInset;
    r = RECT{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
  }

  ApplyFontStyle(fontStyle);
  const WString wide = HostText(text, face);
  TFont &font = surface->Font();
  font.Name = face;
  font.SetSize(size);
  font.Color = CodeToRGB(fColor);
  brush.Style = TBrushStyle::Clear;
  surface->Select();
  DrawTextW(surface->Handle(), wide.c_str(), -1, &r, kTextBoxFormat | Alignment(justify));
}

}  // namespace
}  // namespace nx

extern "C" {

NX_API void NxTextBoxEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const char *Text, int32_t Justify,
                        const char *FontName, int32_t FontSize, int32_t FontStyle, int32_t FColor, int32_t BColor,
                        int32_t Thickness) {
  nx::NxGuardVoid([&] {
    nx::TextBox(X1, Y1, X2, Y2, Text, Justify, nx::AnsiToWide(FontName), FontSize, FontStyle, FColor, BColor, Thickness);
  });
}

NX_API void NxTextBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const char *Text) {
  nx::NxGuardVoid([&] {
    const nx::TNoxtrelRec &s = nx::Session();
    nx::TextBox(X1, Y1, X2, Y2, Text, s.FontJustify, s.FontName, nx::ToFixed(s.FontSize),
                s.FontStyle, s.FontFColor, s.FontBColor, nx::ToFixed(s.Thickness));
  });
}

}  // extern "C"
