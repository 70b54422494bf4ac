// The penalty of a QR symbol under each data mask. The symbol is held as
// packed bit lines (rows and columns), so that all eight masks are scored
// without copying the module matrix.
#pragma once

#include <cstdint>
#include <vector>

namespace nx {

// The penalty of a finished symbol, by rule.
struct TQRPenalty {
  int32_t n1 = 0, n2 = 0, n3 = 0, n4 = 0;
  int32_t total() const { return n1 + n2 + n3 + n4; }
};

// Penalty of a symbol given as dark (1) and light (0) modules row by row
// (sides up to 177).
TQRPenalty QRPenalty(const uint8_t *dark, int32_t w, int32_t h);

// One row or column: module b at bit b + kLinePad, light outside the symbol.
struct TQRLine {
  uint64_t w[4];
};

class TQRMaskSearch {
 public:
  TQRMaskSearch(int32_t w, int32_t h);
  // Describes the unmasked symbol: function modules are fixed, data modules
  // (empty ones included, as light) are masked, format modules take the bits
  // of the format word of the mask being scored.
  void SetFixed(int32_t x, int32_t y, bool dark);
  void SetData(int32_t x, int32_t y, bool dark);
  void SetFormat(int32_t x, int32_t y, int32_t bit);
  // The penalty of the symbol under a mask with its format word.
  TQRPenalty Score(int32_t mask, uint32_t format);

 private:
  template <int N>
  TQRPenalty ScoreLines(int32_t mask, uint32_t format);
  template <int N>
  int32_t Blocks();

  int32_t Fw, Fh;
  std::vector<TQRLine> FfixedR, FdataR, FmaskableR, FfixedC, FdataC, FmaskableC;
  std::vector<TQRLine> Frows, Fcols, Fblocks;
  struct Format {
    int32_t x, y, bit;
  };
  std::vector<Format> Fformat;
};

// The data mask conditions, i = row, j = column.
bool QRMaskHolds(int32_t mask, int32_t i, int32_t j);

}  // namespace nx
