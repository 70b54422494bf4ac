// The output device: every drawing command and document step passes through
// it. It keeps no state of its own; each call is routed by the session's
// device type to the printer (1), to the page store (2 to 7) or nowhere.
#pragma once

#include <string>

#include "device/NxPrinter.h"
#include "device/Surface.h"
#include "device/SysPrinter.h"

namespace nx {

class TDevice {
 public:
  TDevice(TSysPrinter &printer, TNxPrinter &pages) : printer_(printer), pages_(pages) {}

  bool Printing();
  // The device context of the current surface (the page store opens a page
  // if none is open); nullptr for other device types.
  HDC Handle();
  // The current surface, nullptr for other device types.
  TSurface *Surface();
  TPen *Pen();
  TBrush *Brush();
  TFont *Font();

  int FontCount();
  int Orientation();
  void SetOrientation(int orientation);
  // The document's title: the PDF or RTF engine's title for those device
  // types, else the print job name.
  void SetTitle(const WString &title);

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();

  // Drawing on the current surface, in its device pixels; nothing without one.
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const RECT &r);
  void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  void Ellipse(const RECT &r);
  void Draw(int x, int y, HBITMAP bitmap);
  // Text with its top-left corner at (x, y) in the surface's font.
  void TextOut(int x, int y, const WString &text);

  // Width and height of the text in the current surface's font, device
  // pixels; 0 without a surface.
  int TextWidth(const WString &text);
  int TextHeight(const WString &text);

 private:
  enum class Route { None, Printer, Store };
  static Route Current();
  void NewStorePage();

  TSysPrinter &printer_;
  TNxPrinter &pages_;
};

}  // namespace nx
