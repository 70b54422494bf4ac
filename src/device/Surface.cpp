#include "device/Surface.h"

#include <algorithm>
#include <cmath>

namespace nx {

void TFont::SetSize(double points) { Height = static_cast<LONG>(std::trunc(-points * PixelsPerInch / 72.0)); }

TSurface::TSurface(HDC dc) : dc_(dc) {}

TSurface::~TSurface() { Release(); }

void TSurface::Release() {
  if (!dc_) return;
  if (oldPen_) SelectObject(dc_, oldPen_);
  if (oldBrush_) SelectObject(dc_, oldBrush_);
  if (oldFont_) SelectObject(dc_, oldFont_);
  oldPen_ = oldBrush_ = oldFont_ = nullptr;
  if (hpen_) DeleteObject(hpen_);
  if (hbrush_) DeleteObject(hbrush_);
  if (hfont_) DeleteObject(hfont_);
  hpen_ = nullptr;
  hbrush_ = nullptr;
  hfont_ = nullptr;
  textColorSet_ = false;
}

void TSurface::Attach(HDC dc) {
  if (dc == dc_) return;
  Release();
  dc_ = dc;
}

void TSurface::SelectPen() {
  if (hpen_ && pen_ == madePen_) return;
  HPEN pen = CreatePen(pen_.Style, pen_.Width, pen_.Color);
  HGDIOBJ old = SelectObject(dc_, pen);
  if (!oldPen_) oldPen_ = old;
  if (hpen_) DeleteObject(hpen_);
  hpen_ = pen;
  SetROP2(dc_, pen_.Mode);
  madePen_ = pen_;
}

void TSurface::SelectBrush() {
  if (hbrush_ && brush_ == madeBrush_) return;
  HBRUSH brush = nullptr;
  switch (brush_.Style) {
    case TBrushStyle::Solid: brush = CreateSolidBrush(brush_.Color); break;
    case TBrushStyle::Clear: {
      LOGBRUSH lb{BS_NULL, 0, 0};
      brush = CreateBrushIndirect(&lb);
      break;
    }
    default: {
      static constexpr int kHatch[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
      int index = static_cast<int>(brush_.Style) - static_cast<int>(TBrushStyle::Horizontal);
      brush = CreateHatchBrush(kHatch[index], brush_.Color);
    }
  }
  HGDIOBJ old = SelectObject(dc_, brush);
  if (!oldBrush_) oldBrush_ = old;
  if (hbrush_) DeleteObject(hbrush_);
  hbrush_ = brush;
  // A solid brush also fills text backgrounds. Clear and hatched brushes
  // leave the background alone: an opaque background in the hatch colour
  // would turn a hatch into a solid fill.
  if (brush_.Style == TBrushStyle::Solid) {
    SetBkColor(dc_, brush_.Color);
    SetBkMode(dc_, OPAQUE);
  } else {
    SetBkColor(dc_, ~brush_.Color & 0xFFFFFF);
    SetBkMode(dc_, TRANSPARENT);
  }
  madeBrush_ = brush_;
}

LOGFONTW TSurface::LogFont() const {
  LOGFONTW lf{};
  lf.lfHeight = font_.Height;
  lf.lfEscapement = font_.Escapement;
  lf.lfOrientation = font_.Escapement;
  lf.lfWeight = (font_.Style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (font_.Style & fsItalic) ? 1 : 0;
  lf.lfUnderline = (font_.Style & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (font_.Style & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  size_t n = std::min<size_t>(font_.Name.size(), LF_FACESIZE - 1);
  std::copy_n(font_.Name.begin(), n, lf.lfFaceName);
  return lf;
}

void TSurface::SelectFont() {
  if (hfont_ && font_ == madeFont_) return;
  const LOGFONTW lf = LogFont();
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc_, font);
  if (!oldFont_) oldFont_ = old;
  if (hfont_) DeleteObject(hfont_);
  hfont_ = font;
  madeFont_ = font_;
}

void TSurface::Select() {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  SelectFont();
  // Only a change is recorded: a page of text would otherwise carry one
  // colour record per line.
  if (!textColorSet_ || madeTextColor_ != font_.Color) {
    SetTextColor(dc_, font_.Color);
    madeTextColor_ = font_.Color;
    textColorSet_ = true;
  }
}

}  // namespace nx
