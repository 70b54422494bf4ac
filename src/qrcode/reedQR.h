// Codeword assembly for QR symbols: terminator and padding of the data bits,
// the block structure and capacities of every version and level, Reed-Solomon
// error correction over GF(256) and the interleaving of the blocks.
#pragma once

#include <cstdint>

#include "qrcode/BitString.h"
#include "qrcode/QRTypes.h"

namespace nx {

// One group of equal blocks of a version and level.
struct TQRBlockRecord {
  int32_t version;
  int32_t total;     // codewords of the whole symbol
  int32_t level;     // 0 L, 1 M, 2 Q, 3 H
  int32_t ecc;       // error correction codewords of the level (all blocks)
  int32_t blocks;    // number of blocks of this size; 0 when the record is unused
  int32_t c;         // codewords per block
  int32_t k;         // data codewords per block
  int32_t capacity;  // codewords each block can correct
};

// The block records of (version, level), shorter blocks first; returns how
// many (1 or 2). Versions 1 to 40.
int32_t QRBlockRecords(int32_t version, TQRCodeECLevel level, TQRBlockRecord out[2]);
int32_t QRTotalCodewords(int32_t version);
int32_t QRDataCodewords(int32_t version, TQRCodeECLevel level);
int32_t QRDataBits(int32_t version, TQRCodeECLevel level);
// Width of the character count indicator of a mode at a version.
int32_t QRCountBits(TQRCodeEncoding mode, int32_t version);
// How many characters of one mode a symbol holds (a single segment).
int32_t QRCharCapacity(int32_t version, TQRCodeECLevel level, TQRCodeEncoding mode);

int32_t GFMultiply(int32_t a, int32_t b);
// Coefficient i of the generator polynomial of degree n (1 to 68), from the
// x^(n-1) term down to the constant term; the leading 1 is not stored.
int32_t GeneratorCoefficient(int32_t n, int32_t i);
// values: k data codewords followed by at least n + 1 slots; slots k to
// k + n - 1 receive the error correction codewords.
void RSEncodeBlock(int32_t *values, int32_t k, int32_t n);

// The data and error correction codewords of a symbol in placement order.
// Consumes the bit string. Empty when the data exceeds the capacity.
TQRVector AssembleCodewords(TBitString &bits, int32_t version, TQRCodeECLevel level);

// A growable list of codeword blocks.
class TArrayVector {
 public:
  TArrayVector() { Farray.reserve(size_t(Fcapacity)); }
  int32_t size() const { return Fsize; }
  const TQRVector &elementAt(int32_t index) const { return Farray[size_t(index)]; }
  void addElement(TQRVector element);

 private:
  int32_t Fsize = 0;
  int32_t Fcapacity = 100;
  TQRMatrix Farray;
};

}  // namespace nx
