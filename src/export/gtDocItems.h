// Drawing items: what the metafile interpreter makes of a page and what the
// engines render. Coordinates are engine pixels (doubles) from the page's
// top-left corner. An item owns copies of its pen, brush and font.
//
// Points of a TgtShapeItem by shape type:
//   stLine                  start, end
//   stRectangle, stEllipse  two opposite corners of the box
//   stRoundRect             two corners, then (corner ellipse width, height)
//   stArc, stChord, stPie   two corners, radial start point, radial end point
//   stPolygon, stPolyLine,
//   stPolyBezier            FNoPoints points
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/WString.h"
#include "export/gtEngineSettings.h"
#include "export/gtEngineTypes.h"
#include "export/gtGraphics.h"
#include "export/gtPageSettings.h"

namespace nx {

class TgtCustomDocumentEngine;

class TgtDocumentItem {
 public:
  virtual ~TgtDocumentItem() = default;
  // The font size as a fraction (text items).
  long double FFontSizeInFloat = 0;
};

using TgtItemList = std::vector<std::unique_ptr<TgtDocumentItem>>;

// One run of text; metafile text has one line.
class TgtTextItem : public TgtDocumentItem {
 public:
  double FX = 0;  // anchor: top-left corner of the text
  double FY = 0;
  std::vector<WString> FLines;
  int32_t FRotationAngle = 0;  // degrees
  TgtFont FFont;
  TgtBrush FBrush{bsClear, 0xFFFFFF, nullptr};  // background; bsClear = transparent
  TgtTextEffects FTextEffects;
  bool FIsClipRect = false;
  TgtRect FClipRect;
  TgtHAlignment FAlignment = haLeft;
  bool FIsFromMetafile = false;
  bool FIsWideString = false;
  TgtBiDiMode FBiDiMode = bdLeftToRight;
  double FWidthOfTheText = 0;
  POINT FCenterAndRightAlignTextPos{0, 0};
  int32_t FMaxDigitWidth = 0;
  std::vector<double> FCharSpaceArray;  // advance of each character
};

// Text in a framed box (the engines' own TextBox).
class TgtTextBoxItem : public TgtTextItem {
 public:
  double FBoxWidth = 0;
  double FBoxHeight = 0;
  TgtFrame FFrame;
  TgtHAlignment FHAlign = haLeft;
  TgtVAlignment FVAlign = vaTop;
  TgtPen FPen;
};

// A placed image; FIndexNo names the engine's image resource. Made from a
// rectangle, X and Y are the smaller corner, width and height the absolute
// differences.
class TgtImageItem : public TgtDocumentItem {
 public:
  double FX = 0;
  double FY = 0;
  double FWidth = 0;
  double FHeight = 0;
  int32_t FIndexNo = -1;
  TgtFrame FFrame;
  TgtPen FPen;
  TgtBrush FBrush;
  TgtImageSettings FSettings;
  TgtRect FDisplayRect;
  bool FIsFromMetafile = false;
};

// An image held as encoded bytes (JPEG passed through).
class TgtImageStream : public TgtImageItem {
 public:
  std::vector<BYTE> FStream;
  int32_t FImageWidth = 0;  // pixels
  int32_t FImageHeight = 0;
};

class TgtShapeItem : public TgtDocumentItem {
 public:
  std::optional<TgtBrush> FBrush;  // filled shapes only
  TgtPen FPen;
  TgtShapeType FShapeType = stLine;
  TgtPoints FPoints;
  int32_t FNoPoints = 0;
  TgtPenJoinStyle FPenJoinStyle = pjsNone;
  TgtPenCapStyle FPenCapStyle = pcsNone;
  TgtLineArtSettings FLineArtSettings;
};

// Several polygons or polylines drawn as one figure.
class TgtPolyShapeItem : public TgtDocumentItem {
 public:
  std::vector<std::unique_ptr<TgtShapeItem>> FShapes;
  bool FFillAlternate = false;
};

class TgtPolyPolygonItem : public TgtDocumentItem {
 public:
  TgtBrush FBrush;
  TgtPen FPen;
  int32_t FNoPoly = 0;
  bool FFillAlternate = false;
  // FNoPoly + 1 counts: [0] the total number of points, [1..n] each polygon's.
  std::vector<int32_t> FNoPoints;
  TgtPoints FPoints;  // all polygons in sequence
};

class TgtPolyDrawItem : public TgtDocumentItem {
 public:
  TgtBrush FBrush;
  TgtPen FPen;
  int32_t FNoPoints = 0;
  std::vector<BYTE> FOperations;  // PT_MOVETO, PT_LINETO, PT_BEZIERTO (| PT_CLOSEFIGURE)
  TgtPoints FPoints;
};

// A change of the clipping region.
class TgtClipItem : public TgtDocumentItem {
 public:
  TgtBrush FBrush;
  TgtPen FPen;
  bool FRestore = false;  // restores the previous clipping
  int32_t FNoRects = 0;
  int32_t FMode = 0;  // RGN_AND, RGN_COPY, ...
  bool FFromInsert = false;
  std::vector<RECT> FClipRects;  // [0] the bounds when there are several
};

// One path bracket or path painting operation.
class TgtPathItem : public TgtDocumentItem {
 public:
  std::optional<TgtBrush> FBrush;  // only when the operation paints
  std::optional<TgtPen> FPen;
  TgtPathOperation FPathOperation = poBeginPath;
  int32_t FMode = 0;  // combine mode of poSelectClipPath
  bool FFillAlternate = false;
};

// The end of one played metafile.
class TgtEOFItem : public TgtDocumentItem {
 public:
  bool FStatus = true;
};

// Items of one band: a page's content, or the header, footer, watermark or
// stamp drawn on every page.
class TgtBandItem {
 public:
  virtual ~TgtBandItem() = default;
  TgtItemList FDocumentItems;
  TgtItemList FTextItems;
  double FOffsetY = 0;
};

// A page: its items and the page settings current when it was created
// (factor 1.0: its lengths read in engine pixels).
class TgtPageItem : public TgtBandItem {
 public:
  explicit TgtPageItem(TgtCustomDocumentEngine *Parent) : FParent(Parent) {}
  TgtCustomDocumentEngine *FParent;
  TgtPageSettings FSettings;
};

}  // namespace nx
