// The export engines' vocabulary of lengths: engine pixels, measurement
// units, rectangles and points, and the small enumerations the page settings,
// the items and the engines share.
//
// Every length inside an engine is a double in engine pixels: pixels of the
// screen at its logical resolution (fixed at 96 per inch by the platform
// layer). Positions are never rounded to whole engine pixels unless a format
// asks for it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace nx {

// The screen resolution (dots per inch) and k = resolution / 72, the engine
// pixels per point. Read from the screen DC when an engine is created and
// shared by every engine of the process; 96 and 4/3 until then.
extern int32_t gtScreenResolution;
extern double gtPixelsPerPoint;
// Reads LOGPIXELSY of the screen DC and sets the two values above.
void gtReadScreenResolution();

// The public measurement unit of an engine (ordinals as stored).
enum TgtUnitType : uint8_t { muPixels = 0, muInches = 1, muMM = 2, muPoints = 3, muTwips = 4 };

// Engine pixels per unit: 1, k * 72, k * 2.83464, k, k * 0.05.
double gtUnitFactor(TgtUnitType unit);

struct TgtRect {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
  bool operator==(const TgtRect &) const = default;
};

struct TgtPoint {
  double X = 0;
  double Y = 0;
  bool operator==(const TgtPoint &) const = default;
};

using TgtPoints = std::vector<TgtPoint>;

enum TgtHAlignment : uint8_t { haLeft, haRight, haCenter, haJustify, haGeneral };
enum TgtVAlignment : uint8_t { vaTop, vaCenter, vaBottom };
enum TgtPenJoinStyle : uint8_t { pjsNone, pjsBevel, pjsMiter, pjsRound };
enum TgtPenCapStyle : uint8_t { pcsNone, pcsRound, pcsSquare, pcsFlat };
enum TgtBiDiMode : uint8_t { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

enum TgtShapeType : uint8_t {
  stLine,
  stRectangle,
  stRoundRect,
  stEllipse,
  stPolygon,
  stPolyLine,
  stArc,
  stChord,
  stPie,
  stPolyBezier
};

enum TgtPathOperation : uint8_t {
  poBeginPath,
  poEndPath,
  poCloseFigure,
  poAbortPath,
  poFillPath,
  poStrokeAndFillPath,
  poStrokePath,
  poSelectClipPath
};

// Page orientation (TgtPageSettings::Orientation).
enum TgtOrientation : uint8_t { poPortrait = 0, poLandscape = 1 };

}  // namespace nx
