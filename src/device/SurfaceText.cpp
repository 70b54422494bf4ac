// Text drawn and measured on a surface, in the surface's current font.
#include "device/Surface.h"

namespace nx {

SIZE TSurface::TextExtent(const WString &text) {
  SIZE size{0, 0};
  if (!dc_ || text.empty()) return size;
  SelectFont();
  GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

void TSurface::TextOut(int x, int y, const WString &text, LONG escapement, int width) {
  if (!dc_) return;
  if (text.empty()) {
    MoveTo(x, y);
    return;
  }
  Select();
  // A hatched brush keeps the background mode transparent for its hatch;
  // text still gets the brush colour behind it.
  const bool hatched = brush_.Style != TBrushStyle::Solid && brush_.Style != TBrushStyle::Clear;
  COLORREF background = 0;
  if (hatched) {
    SetBkMode(dc_, OPAQUE);
    background = SetBkColor(dc_, brush_.Color);
  }
  HFONT turned = nullptr;
  HGDIOBJ previous = nullptr;
  if (escapement != 0) {
    LOGFONTW lf = LogFont();
    lf.lfEscapement = lf.lfOrientation = escapement;
    turned = CreateFontIndirectW(&lf);
    previous = SelectObject(dc_, turned);
  }
  ExtTextOutW(dc_, x, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
  if (turned) {
    SelectObject(dc_, previous);
    DeleteObject(turned);
  }
  if (hatched) {
    SetBkColor(dc_, background);
    SetBkMode(dc_, TRANSPARENT);
  }
  MoveTo(x + (width >= 0 ? width : TextWidth(text)), y);
}

int TSurface::TextWidth(const WString &text) { return TextExtent(text).cx; }

int TSurface::TextHeight(const WString &text) { return TextExtent(text).cy; }

}  // namespace nx
