// Page settings of an engine (its Page property) and of every page item, with
// the table of paper sizes.
#pragma once

#include <cstdint>

#include "export/gtEngineTypes.h"

namespace nx {

class TgtCustomDocumentEngine;

// Paper sizes; the ordinal is the row of the paper table.
enum TgtPaperSize : uint8_t {
  Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4, A4Small, A5, B4, B5,
  Folio, Quarto, ps10X14, ps11X17, Note, Env10, Env11, Env12, Env14, CSheet, DSheet, ESheet,
  EnvDL, EnvC5, EnvC3, EnvC4, EnvC6, EnvC65, EnvB4, EnvB5, EnvB6, EnvItaly, EnvMonarch,
  EnvPersonal, FanfoldUS, FanfoldStdGerman, ISOB4, Custom
};
constexpr int kPaperSizeCount = 41;

// Portrait width and height of a paper in inches (Custom: 0 x 0).
struct TgtPaperInches {
  double Width;
  double Height;
};
extern const TgtPaperInches gtPaperTable[kPaperSizeCount];

// Lengths are stored in engine pixels; the getters and setters work in the
// measurement unit whose factor (engine pixels per unit) the owner set with
// SetNativeFactor.
class TgtPageSettings {
 public:
  // A4 portrait, no margins, factor 1.0.
  explicit TgtPageSettings(TgtCustomDocumentEngine *Parent = nullptr);
  // A copy takes every value but has no parent and the factor 1.0, so it
  // reports engine pixels (the copy a page item keeps).
  TgtPageSettings(const TgtPageSettings &Other);
  // Assign: every value except the parent and the factor.
  TgtPageSettings &operator=(const TgtPageSettings &Other);

  TgtPaperSize PaperSize() const { return FPaperSize; }
  // Takes width and height from the paper table (swapped in landscape);
  // Custom keeps the current width and height.
  void SetPaperSize(TgtPaperSize Value);
  TgtOrientation Orientation() const { return FOrientation; }
  // A change of orientation exchanges width and height.
  void SetOrientation(TgtOrientation Value);

  double Width() const { return FWidth / FNativeFactor; }
  double Height() const { return FHeight / FNativeFactor; }
  // Take effect only while the paper is Custom.
  void SetWidth(double Value);
  void SetHeight(double Value);

  double LeftMargin() const { return FLeftMargin / FNativeFactor; }
  double RightMargin() const { return FRightMargin / FNativeFactor; }
  double TopMargin() const { return FTopMargin / FNativeFactor; }
  double BottomMargin() const { return FBottomMargin / FNativeFactor; }
  double HeaderHeight() const { return FHeaderHeight / FNativeFactor; }
  double FooterHeight() const { return FFooterHeight / FNativeFactor; }
  void SetLeftMargin(double Value) { FLeftMargin = Value * FNativeFactor; }
  void SetRightMargin(double Value) { FRightMargin = Value * FNativeFactor; }
  void SetTopMargin(double Value) { FTopMargin = Value * FNativeFactor; }
  void SetBottomMargin(double Value) { FBottomMargin = Value * FNativeFactor; }
  void SetHeaderHeight(double Value) { FHeaderHeight = Value * FNativeFactor; }
  void SetFooterHeight(double Value) { FFooterHeight = Value * FNativeFactor; }

  int32_t BinNumber() const { return FBinNumber; }
  void SetBinNumber(int32_t Value) { FBinNumber = Value; }

  double NativeFactor() const { return FNativeFactor; }
  void SetNativeFactor(double Value) { FNativeFactor = Value; }
  TgtCustomDocumentEngine *Parent() const { return FParent; }

  // The stored values in engine pixels, whatever the unit.
  double FFooterHeight = 0;
  double FWidth = 0;
  double FBottomMargin = 0;
  double FTopMargin = 0;
  double FHeight = 0;
  double FRightMargin = 0;
  double FLeftMargin = 0;
  double FHeaderHeight = 0;
  TgtPaperSize FPaperSize = A4;
  TgtOrientation FOrientation = poPortrait;
  int32_t FBinNumber = 0;

 private:
  TgtCustomDocumentEngine *FParent = nullptr;
  double FNativeFactor = 1.0;
};

}  // namespace nx
