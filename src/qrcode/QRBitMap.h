// TQRBitMap: the module matrix of one QR symbol: function patterns, codeword
// placement, the choice and application of the data mask, format and version
// information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <vector>

#include "qrcode/QRPenalty.h"
#include "qrcode/QRTypes.h"

namespace nx {

// Module codes. Dark codes have a non-zero high nibble.
enum : int8_t {
  qmEmpty = -1,
  qmDataLight = 0, qmDataDark = 16,
  qmTimingLight = 1, qmTimingDark = 32,
  qmAlignLight = 3, qmAlignDark = 48,  // alignment rings and separators are light 3
  qmFinderLight = 4, qmFinderDark = 64,
  qmFormatLight = 5, qmFormatDark = 80,
  qmVersionLight = 6, qmVersionDark = 96,
};

class TQRBitMap {
 public:
  // The empty matrix with every function pattern; w = h = 17 + 4 * version.
  TQRBitMap(int32_t w, int32_t h, int32_t version);

  void placeCodewords(const TQRVector &cws);
  // value: the level's format bits (L 1, M 0, Q 3, H 2). Chooses the mask,
  // writes format and version information and applies the mask.
  void placeMask(int32_t value, int32_t ecLevel);
  // The mask with the lowest penalty (the lower number on a tie).
  int32_t ChooseMask(int32_t formatBase) const;
  // The penalty of the symbol under each mask, with format entries formatBase + mask.
  std::array<int32_t, 8> MaskScores(int32_t formatBase) const;
  int32_t Mask() const { return FMask; }  // -1 until placeMask

  int32_t getBit(int32_t x, int32_t y) const { return Fbitmap[size_t(y) * size_t(FmaxX) + size_t(x)]; }
  bool isBlack(int32_t x, int32_t y) const { return isBlackValue(getBit(x, y)); }
  static bool isBlackValue(int32_t v) { return v != -1 && (v & 0xF0) != 0; }
  static bool isDataBlack(int32_t v) { return v == 16; }
  int32_t getMaxX() const { return FmaxX; }
  int32_t getMaxY() const { return FmaxY; }
  int32_t Version() const { return FcodeVersion; }

  // The tables: centre coordinates of the alignment patterns (empty for
  // version 1), the 15 masked format bits of entry levelBits * 8 + mask and
  // the 18-bit version word (versions 7 to 40).
  static std::vector<int32_t> AlignmentPositions(int32_t version);
  static uint16_t FormatInfo(int32_t index);
  static uint32_t VersionInfo(int32_t version);

 private:
  void set(int32_t x, int32_t y, int8_t code) { Fbitmap[size_t(y) * size_t(FmaxX) + size_t(x)] = code; }
  void PlaceFormatInfo(int32_t index);
  void PlaceVersionInfo(bool reserve);
  void ApplyMask(int32_t mask);

  std::vector<int8_t> Fbitmap;  // module codes, row by row
  int32_t FcodeVersion;
  int32_t FmaxX, FmaxY;
  int32_t FMask = -1;
};

}  // namespace nx
