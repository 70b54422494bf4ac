#include "session/Session.h"

#include <cmath>
#include <limits>

#include "common/Strings.h"

namespace nx {

namespace {
// DEVMODE values: paper 9 is A4, orientation 1 portrait, duplex 1 simplex.
constexpr int32_t kPaperA4 = 9;
constexpr int32_t kPortrait = 1;
constexpr int32_t kSimplex = 1;
}  // namespace

void SetLoadValues(TNoxtrelRec &rec) {
  rec = TNoxtrelRec{};
  rec.Initialized = false;
  rec.PaperSize = kPaperA4;
  rec.CoorSystem = 0;
  rec.TextX = 0;
  rec.TextY = 0;
  rec.FileNum = 1;
  rec.TextRows = 56;
  rec.TextCols = 80;
  TPreviewInfo &p = rec.PreviewInfo;
  p.State = 4;
  p.ZoomLevel = -1;
  p.Left = 0;
  p.Top = 0;
  p.Width = -1;
  p.Height = -1;
  p.BGColor = 0x5F5F5F;
  p.PaperColor = 0xFFFFFF;
  p.ShadowColor = 0;
  p.ToolBarColor = static_cast<int32_t>(0xFF00000Fu);  // the system button-face colour
  p.Showing = false;
  p.Zoomed = false;
  p.TopMost = 0;
  rec.Duplex = 0;
  rec.PaperBin = 0;
  rec.Orientation = kPortrait;
  rec.Copies = 1;
}

void ResetSession() {
  TNoxtrelRec &s = Session();
  s.PaperWidth = 0;
  s.PaperHeight = 0;
  s.PaperBin = 0;
  s.Copies = 1;
  s.PaperSize = kPaperA4;
  s.Duplex = kSimplex;
  s.Orientation = kPortrait;
  s.FontJustify = 0;
  s.BorderColor = -1;
  s.Thickness = 1.0;
  s.FillColor = -1;
  s.Pattern = 1;
  s.FontName = NXW("Courier New");
  s.FontStyle = 0;
  s.FontSize = 12.0;
  s.FontFColor = -1;
  s.FontBColor = -255;
  s.FontAngle = 0;
  s.MMHorz = 2.54;
  s.MMVert = 25.4 / 6;
  s.Title = NXW("Untitled");
  s.CPI = 10;
  s.LPI = 6;
  s.PreviewMode = false;
  s.RawPrintJob = false;
  s.PDFMode = false;
  s.FileName = AsciiToWide(".\\Untitled" + std::to_string(s.FileNum) + ".pdf");
  s.FileNum = static_cast<int32_t>(static_cast<uint32_t>(s.FileNum) + 1u);
  s.Device = dtPrinter;
  s.TextRows = 63;
  s.TextCols = 80;
  s.MUnit = unMillimetre;
  s.PDFPassword.clear();
  s.PDFVersion = 2;
  s.PDFEncoding = 0;
  s.PDFShow = false;
  s.PDFFontEmbedding = 0;
  s.PaperBins.clear();
  s.PaperNames.clear();
}

int32_t ToFixed(double x) {
  double v = std::trunc(x * 10000.0);
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace nx
