// The barcode component: a data text and a symbology become a linear barcode
// image with optional human-readable text, in any of four rotations.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "barcode/ZbrTypes.h"
#include "common/WString.h"
#include "platform/win32.h"

namespace nx {

class TMemoryBitmap;

// Where one text of the barcode goes before its width is known.
struct TZbrTextItem {
  enum Kind : uint8_t {
    Centred,   // x is the centre of the text (TA_CENTER)
    Group,     // x - width / 2 + text distance
    Leading,   // x - width (x already holds the text distance)
    Trailing,  // x as is
  };
  std::string Text;
  Kind Anchor;
  LONG X;  // unrotated
  LONG Y;
};

// Everything a drawing puts on the canvas, in image coordinates.
struct TZbrLayout {
  RECT Background{};
  std::vector<RECT> Bars;  // already rotated
  std::vector<TZbrTextItem> Texts;
};

class TZbrBarcode {
 public:
  TZbrBarcode();

  TPZbrAngle Angle() const { return FAngle; }
  void SetAngle(TPZbrAngle v) { if (v != FAngle) FAngle = v; }
  float GetBarWidth() const { return FBarWidth / 10.0f; }
  void SetBarWidth(float v) { SetLength(FBarWidth, v); }
  float GetFactor();
  void SetFactor(float v);
  float GetDistance() const { return FDistance / 10.0f; }
  void SetDistance(float v) { SetLength(FDistance, v); }
  float GetBHeight() const { return FBHeight / 10.0f; }
  void SetBHeight(float v) { SetLength(FBHeight, v); }
  float GetLeftRightMargin() const { return FLeftMargin / 10.0f; }
  void SetLeftRightMargin(float v) { SetLength(FLeftMargin, v); }
  float GetTopBottomMargin() const { return FTopMargin / 10.0f; }
  void SetTopBottomMargin(float v) { SetLength(FTopMargin, v); }
  float GetFontHeight() const { return FFontHeight / 10.0f; }
  void SetFontHeight(float v) { SetLength(FFontHeight, v); }
  bool ShowNumber() const { return FShowNumber; }
  void SetShowNumber(bool v) { if (v != FShowNumber) FShowNumber = v; }
  bool Checksum() const { return FCheckSum; }
  void SetChecksum(bool v) { if (v != FCheckSum) FCheckSum = v; }
  const WString &FontName() const { return FFontName; }
  void SetFontName(const WString &v) { if (v != FFontName) FFontName = v; }
  const std::string &BarCode() const { return FCode; }
  void SetBarCode(const std::string &v) { if (v != FCode) FCode = v; }
  TZbrBarCodeType CodeType() const { return FCodeType; }
  void SetCodeType(TZbrBarCodeType v);
  COLORREF Color() const { return FColor; }
  void SetColor(COLORREF v) { if (v != FColor) FColor = v; }
  COLORREF BackColor() const { return FBackColor; }
  void SetBackColor(COLORREF v) { if (v != FBackColor) FBackColor = v; }
  const WString &FileExtension() const { return FFileExt; }
  TZbrCheckType CheckType() const { return FCheckType; }
  TZbrError OnZbrError;

  // Definition files (*.zbr). Save throws ENxError when the file cannot be
  // written; Load reports a missing file through OnZbrError and throws
  // ENxError when the file ends before its last field.
  void SaveToFile(const WString &FileName);
  void LoadFromFile(const WString &FileName);

  // Prepares and encodes the code and sizes the image as a drawing does;
  // returns what the drawing puts on the canvas. The image size is then in
  // ImageWidth() and ImageHeight().
  TZbrLayout Layout();
  // Sizes the bitmap to the image and draws the barcode into it. A code the
  // symbology cannot carry gives an image without bars, or, when that image
  // would have no pixels, ENxError(nxeData) with the encoder's message.
  // checkSize, when given, sees the image's width and height before any
  // memory is taken for it, and may refuse them by throwing.
  void SaveBarcodeImage(TMemoryBitmap &Bmp, const std::function<void(LONG, LONG)> &checkSize = {});
  // Draws a layout made by Layout() onto a canvas: background, bars and,
  // with ShowNumber, the text in the component's font, turned with Angle.
  void DrawBarcode(HDC canvas, const TZbrLayout &layout);

  LONG ImageWidth() const { return FWidthImg; }
  LONG ImageHeight() const { return FHeightImg; }
  const std::string &DisplayCode() const { return FDCode; }
  // Why the last layout has no bars: the encoder's message, or empty when
  // the code was encoded.
  const std::string &EncodeError() const { return FEncodeError; }

  // Left margin + element widths + right margin of code, unprepared.
  LONG PatternWidth(const std::string &code);

  int FileVersion = 1;
  int FileReaded = 0;

 private:
  struct Widths {
    LONG n, w, w32, w2;
  };
  static void SetLength(LONG &field, float v);
  Widths ElementWidths(float factor) const;
  static LONG ElementWidth(char c, const Widths &wd);
  RECT RotateRect(RECT r) const;
  POINT RotatePoint(POINT p) const;
  HFONT CreateTextFont(HDC canvas) const;
  void FillBars(TMemoryBitmap &bmp, const TZbrLayout &layout) const;
  void DrawTexts(HDC canvas, const std::vector<TZbrTextItem> &texts);
  void AddTexts(TZbrLayout &layout, LONG bx, LONG by, const std::string &elements, const Widths &wd);

  WString FFileExt = NXW("*.zbr");
  std::string FDCode;
  std::string FEncodeError;
  std::string FCode = "88888";
  POINT FP1{0, 0};
  COLORREF FColor = 0;
  COLORREF FBackColor = 0xFFFFFF;
  TPZbrAngle FAngle = zba0;
  LONG FBarWidth = 3;
  LONG FDistance = 0;
  LONG FBHeight = 100;
  LONG FLeftMargin = 50;
  LONG FTopMargin = 50;
  bool FShowNumber = true;
  bool FCheckSum = false;
  TZbrCheckType FCheckType = csmMod10;
  TZbrBarCodeType FCodeType = CODE39;
  LONG FFactor = 300;
  LONG FFontHeight = 30;
  LONG FTextD = 0;
  WString FFontName = NXW("Arial");
  LONG FWidthImg = 0;
  LONG FHeightImg = 0;
};

// Round to nearest, ties to even; and ties away upward as the factor setter wants.
LONG ZbrRound(double x);
LONG ZbrRoundHalfUp(double x);

}  // namespace nx
