#include "export/gtPageSettings.h"

#include <utility>

namespace nx {

// Portrait width and height in inches, by TgtPaperSize ordinal.
const TgtPaperInches gtPaperTable[kPaperSizeCount] = {
    {8.5, 11},          {8.5, 11},          {11, 17},           {17, 11},           {8.5, 14},
    {5.5, 8.5},         {7.25, 10.5},       {11.6929, 16.5354}, {8.2677, 11.6929},  {8.2677, 11.6929},
    {5.8267, 8.2677},   {9.8425, 13.8976},  {6.9291, 9.8425},   {8.5, 13},          {8.4645, 10.8267},
    {10, 14},           {11, 17},           {8.5, 11},          {4.125, 9.5},       {4.5, 10.375},
    {4.75, 11},         {5, 11.5},          {17, 22},           {22, 34},           {34, 44},
    {4.3307, 8.6614},   {6.3779, 9.0157},   {12.7559, 18.0314}, {9.0157, 12.7559},  {4.4881, 6.3779},
    {4.4881, 9.0157},   {9.8425, 13.8976},  {6.9291, 9.8425},   {6.9291, 4.9212},   {4.3307, 9.0551},
    {3.875, 7.5},       {3.625, 6.5},       {14.875, 11},       {8.5, 12},          {9.8425, 13.8976},
    {0, 0},
};

TgtPageSettings::TgtPageSettings(TgtCustomDocumentEngine *Parent) : FParent(Parent) { SetPaperSize(A4); }

TgtPageSettings::TgtPageSettings(const TgtPageSettings &Other) { *this = Other; }

TgtPageSettings &TgtPageSettings::operator=(const TgtPageSettings &Other) {
  FFooterHeight = Other.FFooterHeight;
  FWidth = Other.FWidth;
  FBottomMargin = Other.FBottomMargin;
  FTopMargin = Other.FTopMargin;
  FHeight = Other.FHeight;
  FRightMargin = Other.FRightMargin;
  FLeftMargin = Other.FLeftMargin;
  FHeaderHeight = Other.FHeaderHeight;
  FPaperSize = Other.FPaperSize;
  FOrientation = Other.FOrientation;
  FBinNumber = Other.FBinNumber;
  return *this;
}

void TgtPageSettings::SetPaperSize(TgtPaperSize Value) {
  FPaperSize = Value;
  if (Value == Custom || int(Value) >= kPaperSizeCount) return;
  const double inch = gtPixelsPerPoint * 72.0;
  FWidth = gtPaperTable[Value].Width * inch;
  FHeight = gtPaperTable[Value].Height * inch;
  if (FOrientation == poLandscape) std::swap(FWidth, FHeight);
}

void TgtPageSettings::SetOrientation(TgtOrientation Value) {
  if (Value != FOrientation) std::swap(FWidth, FHeight);
  FOrientation = Value;
}

void TgtPageSettings::SetWidth(double Value) {
  if (FPaperSize == Custom) FWidth = Value * FNativeFactor;
}

void TgtPageSettings::SetHeight(double Value) {
  if (FPaperSize == Custom) FHeight = Value * FNativeFactor;
}

}  // namespace nx
