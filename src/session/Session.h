// The one session of the library: the global record of settings, page
// metrics and state that every export reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/WString.h"
#include "platform/win32.h"

namespace nx {

// The output a document goes to (the session's Device). The exported
// interface keeps its integers: 0, 4 and 8 and above open no document.
enum TDeviceType : int32_t {
  dtNone = 0,
  dtPrinter = 1,
  dtPreview = 2,
  dtPDF = 3,
  dtReserved = 4,  // opens no document, yet the printer keeps the title
  dtEMF = 5,
  dtRTF = 6,
  dtJPEG = 7,
};

// The unit of measure of host positions and sizes (the session's MUnit). The
// exported interface keeps its integers.
enum TUnit : int32_t {
  unTextLine = 0,    // characters and lines of the text-line model (CPI, LPI)
  unMillimetre = 1,
  unCentimetre = 2,
  unInch = 3,
  unPixel = 4,       // device pixels of the selected printer
  unSixthInch = 5,
  unPoint = 6,
  unTwip = 7,
  unTextGrid = 8,    // cells of the text grid (NxSetRowCol)
};

// A name that carries a number: a paper name with its paper number, a bin
// name with its bin number.
struct TNumberedName {
  WString Name;
  int32_t Number = 0;
};
using TNumberedList = std::vector<TNumberedName>;

// Settings of the preview window; they persist across documents.
struct TPreviewInfo {
  int32_t State = 0;
  int32_t ZoomLevel = 0;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BGColor = 0;
  int32_t PaperColor = 0;
  int32_t ShadowColor = 0;
  int32_t ToolBarColor = 0;
  bool Showing = false;
  bool Zoomed = false;
  int32_t TopMost = 0;
};

// The session record. Every member starts at zero (false, empty); the load
// step then sets the few values that differ.
struct TNoxtrelRec {
  WCHAR DecimalSep = 0;
  int32_t CoorSystem = 0;
  int32_t MUnit = 0;
  int32_t CurPrinter = 0;
  int32_t DefPrinter = 0;
  int32_t TopMargin = 0;
  int32_t LeftMargin = 0;
  int32_t PaperWidth = 0;
  int32_t PaperHeight = 0;
  int32_t MAreaWidth = 0;
  int32_t MAreaHeight = 0;
  int32_t AreaWidth = 0;
  int32_t AreaHeight = 0;
  int32_t HPixelsInch = 0;
  int32_t VPixelsInch = 0;
  bool Initialized = false;
  bool UseDIB = false;
  bool AsciiAnsi = false;
  bool XeroxPrinter = false;
  bool DirectParams = false;
  uintptr_t PrnHandle = 0;
  int32_t TextRows = 0;
  int32_t TextCols = 0;
  int32_t PixelsRow = 0;
  int32_t PixelsCol = 0;
  double MMVert = 0;
  double MMHorz = 0;
  int32_t CPI = 0;
  int32_t LPI = 0;
  int32_t TextX = 0;
  int32_t TextY = 0;
  double Thickness = 0;
  int32_t FillColor = 0;
  int32_t BorderColor = 0;
  int32_t Pattern = 0;
  WString FontName;
  int32_t FontStyle = 0;
  int32_t FontJustify = 0;
  double FontSize = 0;
  int32_t FontFColor = 0;
  int32_t FontBColor = 0;
  int32_t FontAngle = 0;
  WString Title;
  int32_t PaperBin = 0;
  int32_t Copies = 0;
  int32_t Duplex = 0;
  int32_t Orientation = 0;
  int32_t PaperSize = 0;
  TNumberedList PaperBins;
  TNumberedList PaperNames;
  bool FromDialog = false;
  bool PreviewMode = false;
  bool RawPrintJob = false;
  bool PDFMode = false;
  WString FileName;
  int32_t FileNum = 0;
  WString PDFPassword;
  int32_t PDFVersion = 0;
  int32_t PDFEncoding = 0;
  bool PDFShow = false;
  int32_t PDFFontEmbedding = 0;
  int32_t Device = 0;
  TPreviewInfo PreviewInfo;
};

// The session record of the loaded library (loading it on first use).
TNoxtrelRec &Session();

// The values a freshly loaded library starts with.
void SetLoadValues(TNoxtrelRec &rec);

// The per-document reset: every document starts from these settings.
void ResetSession();

// Fixed-point values at the interface: the value times 10000.
inline double FromFixed(int32_t n) { return n / 10000.0; }
// Truncates toward zero; values beyond the 32-bit range saturate.
int32_t ToFixed(double x);

}  // namespace nx
