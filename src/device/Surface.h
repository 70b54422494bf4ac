// A drawing surface: a device context with a current pen, brush and font that
// are selected into the context before each drawing call.
#pragma once

#include <cstdint>
#include <string>

#include "common/WString.h"
#include "platform/win32.h"

namespace nx {

enum class TBrushStyle { Solid, Clear, Horizontal, Vertical, FDiagonal, BDiagonal, Cross, DiagCross };

// Font style bits, as the session keeps them.
enum TFontStyleBits : int32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TPen {
  COLORREF Color = RGB(0, 0, 0);
  int32_t Width = 1;  // device pixels
  int32_t Style = PS_SOLID;
  int32_t Mode = R2_COPYPEN;
  bool operator==(const TPen &) const = default;
};

struct TBrush {
  COLORREF Color = RGB(255, 255, 255);
  TBrushStyle Style = TBrushStyle::Solid;
  bool operator==(const TBrush &) const = default;
};

struct TFont {
  WString Name = NXW("Arial");
  LONG Height = 0;  // device pixels; negative = character height
  COLORREF Color = RGB(0, 0, 0);
  int32_t Style = 0;  // TFontStyleBits
  int32_t PixelsPerInch = 96;
  LONG Escapement = 0;  // tenths of a degree

  // Height for a size in points at PixelsPerInch: truncate(-size x ppi / 72).
  void SetSize(double points);
  bool operator==(const TFont &) const = default;
};

class TSurface {
 public:
  // The surface draws on dc; it does not own the context. Without a context
  // every drawing call does nothing.
  explicit TSurface(HDC dc = nullptr);
  ~TSurface();
  TSurface(const TSurface &) = delete;
  TSurface &operator=(const TSurface &) = delete;

  HDC Handle() const { return dc_; }
  TPen &Pen() { return pen_; }
  TBrush &Brush() { return brush_; }
  TFont &Font() { return font_; }

  // Selects the current pen, brush and font (and the text colour and
  // background mode) into the context; for callers that use Handle directly.
  void Select();

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const RECT &r) { Rectangle(r.left, r.top, r.right, r.bottom); }
  // x3, y3: width and height of the corner ellipse.
  void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  void Ellipse(const RECT &r);
  // The bitmap at its natural size with its top-left corner at (x, y).
  void Draw(int x, int y, HBITMAP bitmap);

  // Text with its top-left corner at (x, y): transparent behind it with a
  // clear brush, else on the brush colour; the current position then moves
  // to the end of the text. A non-zero escapement (tenths of a degree)
  // turns this text only: a turned copy of the font is selected for it and
  // deleted after it. width is the text's width in the current font when
  // the caller has measured it already; -1 measures it here.
  void TextOut(int x, int y, const WString &text, LONG escapement = 0, int width = -1);
  // Width and height of the text in the current font, device pixels.
  int TextWidth(const WString &text);
  int TextHeight(const WString &text);

  // Deselects and deletes the objects this surface created; they are made
  // again from the same settings when next needed.
  void Release();
  // Moves the surface to another context (or none), keeping its settings.
  void Attach(HDC dc);

 private:
  void SelectPen();
  void SelectBrush();
  void SelectFont();
  LOGFONTW LogFont() const;
  SIZE TextExtent(const WString &text);

  HDC dc_;
  TPen pen_;
  TBrush brush_;
  TFont font_;
  // The objects selected now and the specifications they were made from.
  HPEN hpen_ = nullptr;
  HBRUSH hbrush_ = nullptr;
  HFONT hfont_ = nullptr;
  TPen madePen_;
  TBrush madeBrush_;
  TFont madeFont_;
  HGDIOBJ oldPen_ = nullptr;
  HGDIOBJ oldBrush_ = nullptr;
  HGDIOBJ oldFont_ = nullptr;
  COLORREF madeTextColor_ = 0;
  bool textColorSet_ = false;
};

}  // namespace nx
