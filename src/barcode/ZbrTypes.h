// Types shared by the barcode component and its symbology encoders. The
// ordinal values are written to definition files, so the order is fixed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/WString.h"

namespace nx {

enum TZbrBarCodeType : uint8_t {
  EAN13, EAN8, UPCA, UPCE0, CODE39, CODE39EX, CODE93, CODE93EX, CODABAR,
  EAN128A, EAN128B, EAN128C, CODE128A, CODE128B, CODE128C,
  INTER_25, INDUS_25, MATRIX_25, CODE11, MSI, POSTNET,
  DATAMATRIX, PDF417, QR,
};
constexpr int kZbrBarCodeTypeCount = QR + 1;

enum TZbrCheckType : uint8_t { csNone, csmMod10, csmMod10UPCE, csmMod10Right, csMod11, csMSI, csMSI10 };

enum TPZbrAngle : uint8_t { zba0, zba90, zba180, zba270 };

class TZbrBarcode;

// Error event: the component that raised it and the message.
using TZbrError = std::function<void(TZbrBarcode *Sender, const WString &InfoText)>;

// Result of a check-character computation: the data with its check
// characters appended, and the check characters alone.
struct TZbrDigitControl {
  std::string Code;
  std::string DC;
};

// True for the EAN/UPC family, which lays out its text in digit groups.
constexpr bool IsEanUpc(TZbrBarCodeType t) { return t <= UPCE0; }
// True for the two-dimensional types, which the component does not draw.
constexpr bool IsTwoDimensional(TZbrBarCodeType t) { return t >= DATAMATRIX; }

}  // namespace nx
