#include "qrcode/QRPenalty.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <stdexcept>

namespace nx {

namespace {

constexpr int32_t kLinePad = 8;  // light modules before position 0
constexpr int32_t kMaxSide = 177;

using Line = TQRLine;

// A line cut to the N words a symbol's side needs (N = 1 up to version 9,
// 2 up to version 25, 3 above).
template <int N>
struct Bits {
  uint64_t w[N];
};

template <int N>
inline Bits<N> Load(const Line &l) {
  Bits<N> b;
  for (int i = 0; i < N; ++i) b.w[i] = l.w[i];
  return b;
}
template <int N>
inline void Store(Line &l, const Bits<N> &b) {
  for (int i = 0; i < N; ++i) l.w[i] = b.w[i];
}
template <int N>
inline Bits<N> operator&(const Bits<N> &a, const Bits<N> &b) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = a.w[i] & b.w[i];
  return r;
}
template <int N>
inline Bits<N> operator|(const Bits<N> &a, const Bits<N> &b) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = a.w[i] | b.w[i];
  return r;
}
template <int N>
inline Bits<N> operator^(const Bits<N> &a, const Bits<N> &b) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = a.w[i] ^ b.w[i];
  return r;
}
template <int N>
inline Bits<N> operator~(const Bits<N> &a) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = ~a.w[i];
  return r;
}
// Bit i of the result is bit i + k of a (0 < k < 64); zeros come in at the top.
template <int N>
inline Bits<N> Down(const Bits<N> &a, int k) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = (a.w[i] >> k) | (i + 1 < N ? a.w[i + 1] << (64 - k) : 0);
  return r;
}
// Bit i of the result is bit i - k of a (0 < k < 64).
template <int N>
inline Bits<N> Up(const Bits<N> &a, int k) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = (a.w[i] << k) | (i > 0 ? a.w[i - 1] >> (64 - k) : 0);
  return r;
}
inline int32_t Count64(uint64_t x) {
  if (!x) return 0;
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return int32_t((x * 0x0101010101010101ull) >> 56);
}
template <int N>
inline int32_t Count(const Bits<N> &a) {
  int32_t n = 0;
  for (int i = 0; i < N; ++i) n += Count64(a.w[i]);
  return n;
}
template <int N>
inline bool Any(const Bits<N> &a) {
  uint64_t v = 0;
  for (int i = 0; i < N; ++i) v |= a.w[i];
  return v != 0;
}
template <int N>
inline int32_t Lowest(const Bits<N> &a) {
  for (int i = 0; i < N; ++i)
    if (a.w[i]) return i * 64 + std::countr_zero(a.w[i]);
  return -1;
}
inline bool Bit(const Line &a, int32_t b) { return (a.w[b >> 6] >> (b & 63)) & 1; }
inline void SetBit(Line &a, int32_t b) { a.w[b >> 6] |= uint64_t(1) << (b & 63); }
// Bits from..from + n - 1.
template <int N>
Bits<N> Range(int32_t from, int32_t n) {
  Bits<N> r;
  for (int i = 0; i < N; ++i) {
    int32_t lo = std::max(from, i * 64), hi = std::min(from + n, i * 64 + 64);
    uint64_t bits = hi - lo >= 64 ? ~uint64_t(0) : lo < hi ? ((uint64_t(1) << (hi - lo)) - 1) : 0;
    r.w[i] = lo < hi ? bits << (lo - i * 64) : 0;
  }
  return r;
}

// N1 and N3 of one line; valid marks the modules of the line.
template <int N>
void LineScore(const Bits<N> &d, const Bits<N> &valid, TQRPenalty &s) {
  // Runs longer than 5 add length - 2 = (windows of six equal modules) + 3.
  Bits<N> eq = ~(d ^ Down(d, 1)) & valid & Down(valid, 1);
  Bits<N> six = eq & Down(eq, 1) & Down(eq, 2) & Down(eq, 3) & Down(eq, 4);
  if (Any(six)) s.n1 += Count(six) + 3 * Count(six & ~Up(six, 1));
  // 1:1:3:1:1 with four light modules (the outside is light) before or after.
  Bits<N> nd = ~d;
  Bits<N> finder = d & Down(nd, 1) & Down(d, 2) & Down(d, 3) & Down(d, 4) & Down(nd, 5) & Down(d, 6);
  if (!Any(finder)) return;
  Bits<N> before = ~(Up(d, 1) | Up(d, 2) | Up(d, 3) | Up(d, 4));
  Bits<N> after = ~(Down(d, 7) | Down(d, 8) | Down(d, 9) | Down(d, 10));
  s.n3 += 40 * Count(finder & (before | after));
}

int32_t Balance(int32_t dark, int32_t all) {
  int32_t p = int32_t(int64_t(dark) * 100 / all);
  int32_t dev = std::abs(p - 50);
  if (dev > 0 && dev % 5 == 0) --dev;
  return 10 * (dev / 5);
}

template <int M>
inline bool Holds(int32_t i, int32_t j) {
  if constexpr (M == 0) return (i + j) % 2 == 0;
  if constexpr (M == 1) return i % 2 == 0;
  if constexpr (M == 2) return j % 3 == 0;
  if constexpr (M == 3) return (i + j) % 3 == 0;
  if constexpr (M == 4) return (i / 2 + j / 3) % 2 == 0;
  if constexpr (M == 5) return (i * j) % 2 + (i * j) % 3 == 0;
  if constexpr (M == 6) return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
  if constexpr (M == 7) return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
  return false;
}

// The mask patterns as lines: along row i, and along column j.
struct MaskPatterns {
  Line row[8][kMaxSide];
  Line col[8][kMaxSide];
  MaskPatterns() {
    for (int m = 0; m < 8; ++m)
      for (int32_t a = 0; a < kMaxSide; ++a) {
        row[m][a] = col[m][a] = Line{};
        for (int32_t b = 0; b < kMaxSide; ++b) {
          if (QRMaskHolds(m, a, b)) SetBit(row[m][a], b + kLinePad);
          if (QRMaskHolds(m, b, a)) SetBit(col[m][a], b + kLinePad);
        }
      }
  }
};
const MaskPatterns &Patterns() {
  static const MaskPatterns p;
  return p;
}

}  // namespace

bool QRMaskHolds(int32_t mask, int32_t i, int32_t j) {
  switch (mask) {
    case 0: return Holds<0>(i, j);
    case 1: return Holds<1>(i, j);
    case 2: return Holds<2>(i, j);
    case 3: return Holds<3>(i, j);
    case 4: return Holds<4>(i, j);
    case 5: return Holds<5>(i, j);
    case 6: return Holds<6>(i, j);
    default: return Holds<7>(i, j);
  }
}

TQRMaskSearch::TQRMaskSearch(int32_t w, int32_t h)
    : Fw(w), Fh(h), FfixedR(size_t(h)), FdataR(size_t(h)), FmaskableR(size_t(h)), FfixedC(size_t(w)),
      FdataC(size_t(w)), FmaskableC(size_t(w)), Frows(size_t(h)), Fcols(size_t(w)), Fblocks(size_t(h)) {
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) throw std::invalid_argument("symbol size out of range");
  static_assert(kLinePad + kMaxSide <= 3 * 64, "three words hold every line");
}

void TQRMaskSearch::SetFixed(int32_t x, int32_t y, bool dark) {
  if (!dark) return;
  SetBit(FfixedR[size_t(y)], x + kLinePad);
  SetBit(FfixedC[size_t(x)], y + kLinePad);
}

void TQRMaskSearch::SetData(int32_t x, int32_t y, bool dark) {
  SetBit(FmaskableR[size_t(y)], x + kLinePad);
  SetBit(FmaskableC[size_t(x)], y + kLinePad);
  if (!dark) return;
  SetBit(FdataR[size_t(y)], x + kLinePad);
  SetBit(FdataC[size_t(x)], y + kLinePad);
}

void TQRMaskSearch::SetFormat(int32_t x, int32_t y, int32_t bit) { Fformat.push_back({x, y, bit}); }

TQRPenalty TQRMaskSearch::Score(int32_t mask, uint32_t format) {
  int32_t words = (kLinePad + std::max(Fw, Fh) + 63) / 64;
  return words == 1 ? ScoreLines<1>(mask, format) : words == 2 ? ScoreLines<2>(mask, format) : ScoreLines<3>(mask, format);
}

template <int N>
TQRPenalty TQRMaskSearch::ScoreLines(int32_t mask, uint32_t format) {
  const MaskPatterns &p = Patterns();
  for (int32_t y = 0; y < Fh; ++y) {
    size_t i = size_t(y);
    Store(Frows[i], Load<N>(FfixedR[i]) | (Load<N>(FmaskableR[i]) & (Load<N>(FdataR[i]) ^ Load<N>(p.row[mask][y]))));
  }
  for (int32_t x = 0; x < Fw; ++x) {
    size_t i = size_t(x);
    Store(Fcols[i], Load<N>(FfixedC[i]) | (Load<N>(FmaskableC[i]) & (Load<N>(FdataC[i]) ^ Load<N>(p.col[mask][x]))));
  }
  for (const Format &f : Fformat)
    if ((format >> f.bit) & 1) {
      SetBit(Frows[size_t(f.y)], f.x + kLinePad);
      SetBit(Fcols[size_t(f.x)], f.y + kLinePad);
    }
  TQRPenalty s;
  Bits<N> validR = Range<N>(kLinePad, Fw), validC = Range<N>(kLinePad, Fh);
  int32_t dark = 0;
  for (const Line &r : Frows) {
    Bits<N> b = Load<N>(r);
    LineScore(b, validR, s);
    dark += Count(b);
  }
  for (const Line &c : Fcols) LineScore(Load<N>(c), validC, s);
  s.n2 = Blocks<N>();
  s.n4 = Balance(dark, Fw * Fh);
  return s;
}

// N2: scanning rows top to bottom, each module not yet in a block that is the
// top-left of a 2 x 2 square of one colour free of blocks starts a block; it
// grows greedily, a column to the right then a row below, over modules of its
// colour not in a block, and adds 3 * (width - 1) * (height - 1).
template <int N>
int32_t TQRMaskSearch::Blocks() {
  const int32_t w = Fw, h = Fh;
  std::fill(Fblocks.begin(), Fblocks.end(), Line{});
  Bits<N> starts = Range<N>(kLinePad, w - 1);
  int32_t score = 0;
  for (int32_t y = 0; y + 1 < h; ++y) {
    Bits<N> r0 = Load<N>(Frows[size_t(y)]), r1 = Load<N>(Frows[size_t(y + 1)]);
    Bits<N> square = ~(r0 ^ Down(r0, 1)) & ~(r1 ^ Down(r1, 1)) & ~(r0 ^ r1) & starts;
    while (Any(square)) {
      Bits<N> b0 = Load<N>(Fblocks[size_t(y)]), b1 = Load<N>(Fblocks[size_t(y + 1)]);
      square = square & ~(b0 | Down(b0, 1) | b1 | Down(b1, 1));
      int32_t bx = Lowest(square);
      if (bx < 0) break;
      square.w[bx >> 6] &= ~(uint64_t(1) << (bx & 63));
      int32_t x = bx - kLinePad;
      bool c = Bit(Frows[size_t(y)], bx);
      for (int32_t k = 0; k < 2; ++k) {
        SetBit(Fblocks[size_t(y + k)], bx);
        SetBit(Fblocks[size_t(y + k)], bx + 1);
      }
      int32_t bw = 2, bh = 2;
      bool gx = true, gy = true;
      while ((gx || gy) && x + bw < w && y + bh < h) {
        if (gx) {
          for (int32_t k = 0; k < bh && gx; ++k)
            gx = Bit(Frows[size_t(y + k)], bx + bw) == c && !Bit(Fblocks[size_t(y + k)], bx + bw);
          if (gx) {
            for (int32_t k = 0; k < bh; ++k) SetBit(Fblocks[size_t(y + k)], bx + bw);
            ++bw;
          }
        }
        if (gy) {
          Bits<N> span = Range<N>(bx, bw);
          Bits<N> row = Load<N>(Frows[size_t(y + bh)]);
          Bits<N> taken = Load<N>(Fblocks[size_t(y + bh)]);
          if (!c) row = ~row;
          gy = !Any(~row & span) && !Any(taken & span);
          if (gy) {
            Store(Fblocks[size_t(y + bh)], taken | span);
            ++bh;
          }
        }
      }
      score += 3 * (bw - 1) * (bh - 1);
    }
  }
  return score;
}

TQRPenalty QRPenalty(const uint8_t *dark, int32_t w, int32_t h) {
  TQRMaskSearch search(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) search.SetFixed(x, y, dark[size_t(y) * size_t(w) + size_t(x)] != 0);
  return search.Score(0, 0);
}

}  // namespace nx
