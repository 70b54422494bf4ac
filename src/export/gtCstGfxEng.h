// Raster engines: every item of a page is drawn again with our GDI onto a
// metafile of the engine's own (engine pixels, the screen as reference
// device), which the concrete engine rasterises when the page ends.
//
// Coordinates are rounded to whole engine pixels. Clip, path, end-of-file
// and poly-draw items are not drawn; poly-polygons and poly-shapes reach
// RenderShapeBitmap, which draws nothing here.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "export/gtCstDocEng.h"

namespace nx {

class TMemoryBitmap;

class TgtCustomGraphicsEngine : public TgtCustomDocumentEngine {
 public:
  TgtCustomGraphicsEngine() = default;
  ~TgtCustomGraphicsEngine() override;

  bool Monochrome() const { return FMonochrome; }
  void SetMonochrome(bool Value) { FMonochrome = Value; }
  TgtPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TgtPixelFormat Value) { FPixelFormat = Value; }
  double ScaleX() const { return FScaleX; }
  double ScaleY() const { return FScaleY; }
  // Image pixels per engine pixel; refused unless positive and finite.
  void SetScaleX(double Value);
  void SetScaleY(double Value);

 protected:
  void StartDocument() override;  // 75
  void EndDocument() override;    // 76
  void StartPage() override;      // 73
  // Closes the page canvas; the page metafile stays until the next page.
  void EndPage() override;        // 74
  void RenderTextItem(TgtTextItem &Item) override;    // 77
  void RenderImageItem(TgtImageItem &Item) override;  // 80
  void RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) override;  // 89
  void RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                       double Y2) override;  // 90
  void RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2,
                       double X3, double Y3) override;  // 91
  void RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                     double Y2) override;  // 92
  void RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush, const TgtPen &Pen,
                     bool IsClosed) override;  // 93
  void RenderArc(const TgtPen &Pen, double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                 double Y4) override;  // 95
  void RenderPie(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2, double X3,
                 double Y3, double X4, double Y4) override;  // 96
  void RenderChord(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2,
                   double X3, double Y3, double X4, double Y4) override;  // 97
  void RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) override;  // 98

  // The page metafile (after EndPage) drawn over a white bitmap of
  // round(width × ScaleX) × round(height × ScaleY); monochrome pages are
  // reduced to black and white.
  TgtBitmap RasterisePage();
  // The same drawn onto the engine's page raster, which is kept from page to
  // page: its pixels are 0x??RRGGBB (the top byte means nothing), valid until
  // the next page is drawn.
  const TMemoryBitmap &DrawPageRaster();
  HDC MetafileCanvas() const { return FMetafileCanvas; }

 private:
  void FreeMetafile();
  // Draws with the pen and brush (null: no fill) selected, then restores.
  void WithObjects(const TgtPen &Pen, const TgtBrush *Brush, const std::function<void(HDC)> &Draw);
  // Pictures with an inclination or with pixels that let the page show
  // through are drawn onto their parallelogram with PlgBlt and a mask.
  static std::vector<BYTE> SeeThroughMask(const TgtBitmap &Pic, const TgtImageItem &Item);
  static std::array<POINT, 4> TurnedCorners(double X, double Y, int W, int H, int32_t Degrees);
  void DrawTurnedPicture(const TgtBitmap &Pic, const std::array<POINT, 4> &At, const std::vector<BYTE> &Mask);
  void DrawTurnedFrame(const TgtImageItem &Item, const std::array<POINT, 4> &At);

  HDC FMetafileCanvas = nullptr;
  bool FMonochrome = false;
  TgtPixelFormat FPixelFormat = pf24bit;
  double FScaleY = 1.0;
  double FScaleX = 1.0;
  HENHMETAFILE FMetafile = nullptr;
  int32_t FPageWidth = 0;  // the page metafile's size, engine pixels
  int32_t FPageHeight = 0;
  std::unique_ptr<TMemoryBitmap> FRaster;  // the page raster, reused while the size stays
};

}  // namespace nx
