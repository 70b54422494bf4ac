#include "qrcode/reedQR.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace nx {

namespace {

// ISO/IEC 18004 Table 9, per level (L, M, Q, H) and version (index 0 unused):
// error correction codewords per block and number of blocks.
constexpr int8_t kEccPerBlock[4][41] = {
    {-1, 7, 10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28,
     28, 28, 30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {-1, 10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26,
     26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28},
    {-1, 13, 22, 18, 26, 18, 24, 18, 22, 20, 24, 28, 26, 24, 20, 30, 24, 28, 28, 26, 30,
     28, 30, 30, 30, 30, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {-1, 17, 28, 22, 16, 22, 28, 26, 26, 24, 28, 24, 28, 22, 24, 24, 30, 28, 28, 26, 28,
     30, 24, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
};
constexpr int8_t kBlockCount[4][41] = {
    {-1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 4, 6, 6, 6, 6, 7, 8,
     8, 9, 9, 10, 12, 12, 12, 13, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25},
    {-1, 1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16,
     17, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49},
    {-1, 1, 1, 2, 2, 4, 4, 6, 6, 8, 8, 8, 10, 12, 16, 12, 17, 16, 18, 21, 20,
     23, 23, 25, 27, 29, 34, 34, 35, 38, 40, 43, 45, 48, 51, 53, 56, 59, 62, 65, 68},
    {-1, 1, 1, 2, 4, 4, 4, 5, 6, 8, 8, 11, 11, 16, 16, 18, 16, 19, 21, 25, 25,
     25, 34, 30, 32, 35, 37, 40, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 77, 81},
};
// ISO/IEC 18004 Table 1: total codewords per version.
constexpr int16_t kTotalCodewords[41] = {
    0,    26,   44,   70,   100,  134,  172,  196,  242,  292,  346,  404,  466,  532,
    581,  655,  733,  815,  901,  991,  1085, 1156, 1258, 1364, 1474, 1588, 1706, 1828,
    1921, 2051, 2185, 2323, 2465, 2611, 2761, 2876, 3034, 3196, 3362, 3532, 3706};

void CheckVersion(int32_t version) {
  if (version < 1 || version > kQRMaxVersion) throw std::out_of_range("QR version out of range");
}

// Misdecode protection codewords: the small symbols give up some correction.
int32_t Misdecode(int32_t version, int32_t level) {
  if (version == 1) return level == 0 ? 3 : level == 1 ? 2 : 1;
  if (version == 2 && level == 0) return 2;
  if (version == 3 && level == 0) return 1;
  return 0;
}

struct GaloisField {
  std::array<uint8_t, 512> exp{};
  std::array<uint8_t, 256> log{};
  GaloisField() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
      exp[size_t(i)] = uint8_t(x);
      log[size_t(x)] = uint8_t(i);
      x <<= 1;
      if (x & 0x100) x ^= 0x11D;
    }
    for (int i = 255; i < 512; ++i) exp[size_t(i)] = exp[size_t(i - 255)];
  }
};
const GaloisField &GF() {
  static const GaloisField gf;
  return gf;
}

constexpr int32_t kMaxDegree = 68;

// Generator polynomials g(x) = (x - a^0)...(x - a^(n-1)) below the leading 1,
// highest term first.
struct Generators {
  std::array<std::vector<uint8_t>, kMaxDegree + 1> poly;
  Generators() {
    for (int n = 1; n <= kMaxDegree; ++n) {
      std::vector<uint8_t> g(size_t(n), 0);  // g[i]: coefficient of x^(n-1-i)
      std::vector<uint8_t> prev;             // degree n - 1 generator
      if (n > 1) prev = poly[size_t(n - 1)];
      // (x^(n-1) + prev) times (x + a^(n-1)); minus is plus in GF(256).
      uint8_t root = GF().exp[size_t(n - 1)];
      for (int i = 0; i < n; ++i) {
        uint8_t hi = i == 0 ? 1 : prev[size_t(i - 1)];  // coefficient of x^(n-1-i) in the old one
        g[size_t(i)] = uint8_t((i < n - 1 ? prev[size_t(i)] : 0) ^ GFMultiply(hi, root));
      }
      poly[size_t(n)] = std::move(g);
    }
  }
};
const Generators &Gen() {
  static const Generators g;
  return g;
}

}  // namespace

int32_t QRTotalCodewords(int32_t version) {
  CheckVersion(version);
  return kTotalCodewords[version];
}

int32_t QRBlockRecords(int32_t version, TQRCodeECLevel level, TQRBlockRecord out[2]) {
  CheckVersion(version);
  int32_t total = kTotalCodewords[version];
  int32_t ecc = kEccPerBlock[level][version], blocks = kBlockCount[level][version];
  int32_t shortC = total / blocks, longBlocks = total % blocks;
  int32_t capacity = (ecc - Misdecode(version, level)) / 2;
  out[0] = {version, total, level, ecc * blocks, blocks - longBlocks, shortC, shortC - ecc, capacity};
  if (longBlocks == 0) return 1;
  out[1] = {version, total, level, ecc * blocks, longBlocks, shortC + 1, shortC + 1 - ecc, capacity};
  return 2;
}

int32_t QRDataCodewords(int32_t version, TQRCodeECLevel level) {
  CheckVersion(version);
  return kTotalCodewords[version] - kEccPerBlock[level][version] * kBlockCount[level][version];
}

int32_t QRDataBits(int32_t version, TQRCodeECLevel level) { return 8 * QRDataCodewords(version, level); }

int32_t QRCountBits(TQRCodeEncoding mode, int32_t version) {
  int cls = version <= 9 ? 0 : version <= 26 ? 1 : 2;
  static constexpr int8_t widths[4][3] = {{9, 11, 13}, {8, 16, 16}, {10, 12, 14}, {8, 10, 12}};
  if (mode == ENC_AUTO) throw std::invalid_argument("QRCountBits needs a mode");
  return widths[mode][cls];
}

int32_t QRCharCapacity(int32_t version, TQRCodeECLevel level, TQRCodeEncoding mode) {
  int32_t room = QRDataBits(version, level) - 4 - QRCountBits(mode, version);
  switch (mode) {
    case ENC_NUMERIC: return room / 10 * 3 + (room % 10 >= 7 ? 2 : room % 10 >= 4 ? 1 : 0);
    case ENC_ALPHA: return room / 11 * 2 + (room % 11 >= 6 ? 1 : 0);
    case ENC_BYTE: return room / 8;
    case ENC_KANJI: return room / 13;
    default: throw std::invalid_argument("QRCharCapacity needs a mode");
  }
}

int32_t GFMultiply(int32_t a, int32_t b) {
  if (a == 0 || b == 0) return 0;
  const GaloisField &gf = GF();
  return gf.exp[size_t(gf.log[size_t(a)] + gf.log[size_t(b)])];
}

int32_t GeneratorCoefficient(int32_t n, int32_t i) {
  if (n < 1 || n > kMaxDegree) n = kMaxDegree;
  return Gen().poly[size_t(n)][size_t(i)];
}

void RSEncodeBlock(int32_t *values, int32_t k, int32_t n) {
  const GaloisField &gf = GF();
  if (n < 1 || n > kMaxDegree) throw std::invalid_argument("error correction degree out of range");
  const std::vector<uint8_t> &g = Gen().poly[size_t(n)];
  int32_t glog[kMaxDegree];
  for (int32_t i = 0; i < n; ++i) glog[i] = g[size_t(i)] ? gf.log[g[size_t(i)]] : -1;
  for (int32_t i = k; i <= k + n; ++i) values[i] = 0;
  int32_t *r = values + k;
  for (int32_t j = 0; j < k; ++j) {
    int32_t f = r[0] ^ values[j];
    if (f == 0) {
      for (int32_t i = 0; i < n; ++i) r[i] = r[i + 1];
      continue;
    }
    int lf = gf.log[size_t(f)];
    for (int32_t i = 0; i < n; ++i) r[i] = (glog[i] < 0 ? 0 : gf.exp[size_t(lf + glog[i])]) ^ r[i + 1];
  }
}

void TArrayVector::addElement(TQRVector element) {
  if (Fsize == Fcapacity) {
    Fcapacity += 100;
    Farray.reserve(size_t(Fcapacity));
  }
  Farray.push_back(std::move(element));
  ++Fsize;
}

TQRVector AssembleCodewords(TBitString &bits, int32_t version, TQRCodeECLevel level) {
  int32_t capacityBits = QRDataBits(version, level);
  // Counting whole codewords only would lose up to seven bits of the data.
  if (bits.getLength() > capacityBits) return {};
  int32_t room = std::max(capacityBits - bits.getLength(), 0);
  int32_t terminator = std::min(4, room);
  bits.addBits(0, terminator);
  if (bits.getLength() % 8 != 0) bits.addBits(0, std::min(8 - bits.getLength() % 8, room - terminator));
  int32_t dataCount = QRDataCodewords(version, level);
  int32_t n = bits.getLength() / 8;
  if (n > dataCount) return {};

  TQRVector data;
  data.reserve(size_t(dataCount));
  for (int32_t i = 0; i < n; ++i) data.push_back(bits.getAndRemoveBits(8));
  for (int32_t i = 0; int32_t(data.size()) < dataCount; ++i) data.push_back(i % 2 == 0 ? 236 : 17);

  TQRBlockRecord rec[2];
  int32_t records = QRBlockRecords(version, level, rec);
  TArrayVector dataBlocks, eccBlocks;
  size_t next = 0;
  for (int32_t r = 0; r < records; ++r)
    for (int32_t b = 0; b < rec[r].blocks; ++b) {
      int32_t k = rec[r].k, e = rec[r].c - rec[r].k;
      TQRVector work(size_t(k + e + 1));
      std::copy(data.begin() + ptrdiff_t(next), data.begin() + ptrdiff_t(next) + k, work.begin());
      next += size_t(k);
      RSEncodeBlock(work.data(), k, e);
      eccBlocks.addElement(TQRVector(work.begin() + k, work.begin() + k + e));
      work.resize(size_t(k));
      dataBlocks.addElement(std::move(work));
    }

  TQRVector out;
  out.reserve(size_t(QRTotalCodewords(version)));
  for (const TArrayVector *list : {&dataBlocks, &eccBlocks})
    for (size_t col = 0;; ++col) {
      bool added = false;
      for (int32_t b = 0; b < list->size(); ++b)
        if (col < list->elementAt(b).size()) {
          out.push_back(list->elementAt(b)[col]);
          added = true;
        }
      if (!added) break;
    }
  return out;
}

}  // namespace nx
