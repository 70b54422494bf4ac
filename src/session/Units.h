// Units of measure, coordinate order, the text-line model and the text grid:
// how a host's position becomes a device pixel of the selected printer.
#pragma once

#include <cstdint>

#include "session/Session.h"

namespace nx {

// How a unit relates to the page: a length with a fixed count per inch, the
// printer's pixels, or the text model's characters and lines.
enum TUnitKind { ukLength, ukPixel, ukTextLine, ukTextGrid, ukUnknown };

struct TUnitInfo {
  TUnitKind Kind;
  double PerInch;  // units per inch of a length unit, 0 for the others
};

// The one unit table: what a MUnit value means (ukUnknown outside 0 to 8).
TUnitInfo UnitInfo(int32_t unit);

// A count of printer pixels in the given unit: a length unit converts through
// the resolution, the text units count gridPerInch (CPI or LPI) per inch, and
// pixels stay pixels. 0 for an unknown unit or a resolution of 0.
double PixelsToUnit(int32_t unit, double pixels, int32_t pixelsInch, int32_t gridPerInch);

// The page metrics of a printer, as GetDeviceCaps reports them.
struct TPageMetrics {
  int32_t AreaWidth = 0;    // HORZRES
  int32_t AreaHeight = 0;   // VERTRES
  int32_t TopMargin = 0;    // PHYSICALOFFSETY
  int32_t LeftMargin = 0;   // PHYSICALOFFSETX
  int32_t PaperWidth = 0;   // PHYSICALWIDTH
  int32_t PaperHeight = 0;  // PHYSICALHEIGHT
  int32_t MAreaWidth = 0;   // HORZSIZE, mm
  int32_t MAreaHeight = 0;  // VERTSIZE, mm
  int32_t HPixelsInch = 0;  // LOGPIXELSX
  int32_t VPixelsInch = 0;  // LOGPIXELSY
};

// A user point (already divided by 10000) in device pixels of the current page.
POINT UnitsToPoint(double a, double b);
RECT UnitsToRect(double a1, double b1, double a2, double b2);

// Stores measured metrics in the session and recomputes the text grid.
void StorePageMetrics(const TPageMetrics &m);
// Recomputes the pixels per grid row and column.
void UpdateTextCell();

// The text-line model and the grid.
void SetCPI(int32_t cpi);
void SetLPI(int32_t lpi);
void SetRowCol(int32_t rows, int32_t cols);

// Refuses (ENxError nxeArgument, naming `what`) an image of width x height
// device pixels that is larger than the current sheet: it could never be
// drawn whole, and its bitmap would take memory for nothing.
void CheckFitsSheet(const char *what, int64_t width, int64_t height);

// The sheet size in the current unit (0 before any measurement).
double SheetWidth();
double SheetHeight();

}  // namespace nx
