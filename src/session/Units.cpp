#include "session/Units.h"

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "common/ErrorChannel.h"

namespace nx {
namespace {

// Truncates toward zero; beyond the 32-bit range the value saturates.
LONG TruncPixel(double v) {
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  if (v >= static_cast<double>(std::numeric_limits<LONG>::max())) return std::numeric_limits<LONG>::max();
  if (v <= static_cast<double>(std::numeric_limits<LONG>::min())) return std::numeric_limits<LONG>::min();
  return static_cast<LONG>(v);
}

// One axis of a conversion: the resolution, the model's character or line
// size, the grid cell and the physical offset of the printable area.
struct TAxis {
  int32_t pixelsInch;
  double mmPerChar;
  int32_t pixelsCell;
  int32_t margin;
};

double ToDevice(int32_t unit, double v, const TAxis &ax) {
  const double res = ax.pixelsInch;
  const TUnitInfo info = UnitInfo(unit);
  switch (info.Kind) {
    case ukTextLine: return (res / 25.4) * (v * ax.mmPerChar);
    case ukTextGrid: return ax.pixelsCell * v;
    case ukPixel: return v - ax.margin;
    case ukLength: return (res / info.PerInch) * v - ax.margin;
    default: return 0;
  }
}

// The sheet size along one axis in the current unit: the text units count the
// printable area, the others the whole sheet.
double SheetSize(int32_t physical, int32_t area, int32_t pixelsInch, int32_t perInch) {
  const int32_t unit = Session().MUnit;
  const TUnitKind kind = UnitInfo(unit).Kind;
  const bool text = kind == ukTextLine || kind == ukTextGrid;
  return PixelsToUnit(unit, text ? area : physical, pixelsInch, perInch);
}

}  // namespace

TUnitInfo UnitInfo(int32_t unit) {
  switch (unit) {
    case unTextLine: return {ukTextLine, 0};
    case unMillimetre: return {ukLength, 25.4};
    case unCentimetre: return {ukLength, 2.54};
    case unInch: return {ukLength, 1};
    case unPixel: return {ukPixel, 0};
    case unSixthInch: return {ukLength, 6};
    case unPoint: return {ukLength, 72};
    case unTwip: return {ukLength, 1440};
    case unTextGrid: return {ukTextGrid, 0};
    default: return {ukUnknown, 0};
  }
}

double PixelsToUnit(int32_t unit, double pixels, int32_t pixelsInch, int32_t gridPerInch) {
  if (pixelsInch == 0) return 0;
  const double inches = pixels / pixelsInch;
  const TUnitInfo info = UnitInfo(unit);
  switch (info.Kind) {
    case ukTextLine:
    case ukTextGrid: return inches * gridPerInch;
    case ukPixel: return pixels;
    case ukLength: return inches * info.PerInch;
    default: return 0;
  }
}

POINT UnitsToPoint(double a, double b) {
  const TNoxtrelRec &s = Session();
  if (s.CoorSystem == 1) std::swap(a, b);
  const TAxis h{s.HPixelsInch, s.MMHorz, s.PixelsCol, s.LeftMargin};
  const TAxis v{s.VPixelsInch, s.MMVert, s.PixelsRow, s.TopMargin};
  return POINT{TruncPixel(ToDevice(s.MUnit, a, h)), TruncPixel(ToDevice(s.MUnit, b, v))};
}

RECT UnitsToRect(double a1, double b1, double a2, double b2) {
  const POINT p1 = UnitsToPoint(a1, b1);
  const POINT p2 = UnitsToPoint(a2, b2);
  return RECT{p1.x, p1.y, p2.x, p2.y};
}

void StorePageMetrics(const TPageMetrics &m) {
  TNoxtrelRec &s = Session();
  s.AreaWidth = m.AreaWidth;
  s.AreaHeight = m.AreaHeight;
  s.TopMargin = m.TopMargin;
  s.LeftMargin = m.LeftMargin;
  s.PaperWidth = m.PaperWidth;
  s.PaperHeight = m.PaperHeight;
  s.MAreaWidth = m.MAreaWidth;
  s.MAreaHeight = m.MAreaHeight;
  s.HPixelsInch = m.HPixelsInch;
  s.VPixelsInch = m.VPixelsInch;
  UpdateTextCell();
}

void UpdateTextCell() {
  TNoxtrelRec &s = Session();
  s.PixelsRow = s.TextRows > 0 ? s.AreaHeight / s.TextRows : 0;
  s.PixelsCol = s.TextCols > 0 ? s.AreaWidth / s.TextCols : 0;
}

void SetCPI(int32_t cpi) {
  TNoxtrelRec &s = Session();
  s.CPI = cpi;
  switch (cpi) {
    case 8: s.MMHorz = 3.175; s.FontSize = 15; break;
    case 12: s.MMHorz = 25.4 / 12; s.FontSize = 10; break;
    case 15: s.MMHorz = 25.4 / 15; s.FontSize = 8; break;
    case 16:  // 16 CPI prints as 17 CPI
    case 17: s.MMHorz = 25.4 / 17; s.FontSize = 7; break;
    case 18: s.MMHorz = 25.4 / 18; s.FontSize = 6.65; break;
    case 20: s.MMHorz = 1.27; s.FontSize = 6; break;
    default: s.MMHorz = 2.54; s.FontSize = 12; break;
  }
}

void SetLPI(int32_t lpi) {
  TNoxtrelRec &s = Session();
  s.LPI = lpi;
  if (lpi == 6) s.MMVert = 25.4 / 6;
  if (lpi == 8) s.MMVert = 3.175;
}

void SetRowCol(int32_t rows, int32_t cols) {
  TNoxtrelRec &s = Session();
  if (rows > 0) s.TextRows = rows;
  if (cols > 0) s.TextCols = cols;
  UpdateTextCell();
}

double SheetWidth() {
  const TNoxtrelRec &s = Session();
  return SheetSize(s.PaperWidth, s.AreaWidth, s.HPixelsInch, s.CPI);
}

double SheetHeight() {
  const TNoxtrelRec &s = Session();
  return SheetSize(s.PaperHeight, s.AreaHeight, s.VPixelsInch, s.LPI);
}

void CheckFitsSheet(const char *what, int64_t width, int64_t height) {
  const TNoxtrelRec &s = Session();
  if (width <= s.PaperWidth && height <= s.PaperHeight) return;
  throw ENxError(nxeArgument, std::string(what) + ": a symbol of " + std::to_string(width) + " x " +
                                  std::to_string(height) + " pixels is larger than the sheet (" +
                                  std::to_string(s.PaperWidth) + " x " + std::to_string(s.PaperHeight) + ")");
}

}  // namespace nx
