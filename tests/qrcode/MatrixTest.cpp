// The module matrix: function patterns, format and version information,
// placement order, the penalty rules and the mask choice.
#include <gtest/gtest.h>

#include "QRTestUtil.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;

std::string FormatRead(const TQRBitMap &m, bool second) {
  // Bit 14 first, as the table writes it.
  std::string s;
  int32_t w = m.getMaxX(), h = m.getMaxY();
  const int32_t col8[8] = {0, 1, 2, 3, 4, 5, 7, 8};
  for (int32_t b = 14; b >= 0; --b) {
    int32_t x, y;
    if (!second) {
      x = b < 8 ? 8 : (b == 8 ? 7 : 14 - b);
      y = b < 8 ? col8[b] : 8;
    } else {
      x = b < 8 ? w - 1 - b : 8;
      y = b < 8 ? 8 : h - 7 + (b - 8);
    }
    s += m.isBlack(x, y) ? '1' : '0';
  }
  return s;
}

TEST(QRMatrix, Version1Layout) {
  TQRBitMap m(21, 21, 1);
  EXPECT_EQ(m.getMaxX(), 21);
  EXPECT_EQ(m.getBit(8, 13), 80);  // the dark module
  EXPECT_EQ(m.getBit(0, 0), 64);
  EXPECT_EQ(m.getBit(1, 1), 4);
  EXPECT_EQ(m.getBit(3, 3), 64);
  EXPECT_EQ(m.getBit(7, 7), 3);
  EXPECT_EQ(m.getBit(20, 7), 3);
  EXPECT_EQ(m.getBit(8, 6), 32);
  EXPECT_EQ(m.getBit(9, 6), 1);
  EXPECT_EQ(m.getBit(6, 12), 32);
  EXPECT_EQ(m.getBit(8, 0), 5);
  int32_t empty = 0, other = 0;
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 21; ++x) {
      int32_t v = m.getBit(x, y);
      (v == -1 ? empty : other) += 1;
      EXPECT_NE(v, 48) << "no alignment pattern in version 1";
      EXPECT_NE(v, 6) << "no version information in version 1";
    }
  EXPECT_EQ(empty, 26 * 8);  // 26 codewords, no remainder bits
}

TEST(QRMatrix, Version7AlignmentAndVersionInformation) {
  TQRBitMap m(45, 45, 7);
  int32_t centres = 0;
  for (int32_t x : {6, 22, 38})
    for (int32_t y : {6, 22, 38}) {
      int32_t v = m.getBit(x, y);
      if (v == 48 || (v == 32 && (x == 6 || y == 6) && m.getBit(x + 1, y + 1) == 3)) ++centres;
    }
  EXPECT_EQ(centres, 6);
  // The timing pattern crosses the alignment patterns at x = 6 without changing a colour.
  for (int32_t y = 20; y <= 24; ++y) EXPECT_EQ(m.isBlack(6, y), y % 2 == 0) << y;
  EXPECT_EQ(m.getBit(4, 22), 48);
  EXPECT_EQ(m.getBit(5, 22), 3);
  EXPECT_EQ(m.getBit(22, 4), 48);
  EXPECT_EQ(m.getBit(0, 34), 6);  // reserved until the mask is placed
  m.placeCodewords({});
  m.placeMask(1, LEVEL_L);
  uint32_t word = 0;
  for (int32_t b = 17; b >= 0; --b) {
    EXPECT_EQ(m.isBlack(b / 3, 45 - 11 + b % 3), m.isBlack(45 - 11 + b % 3, b / 3));
    word = (word << 1) | (m.isBlack(b / 3, 45 - 11 + b % 3) ? 1 : 0);
  }
  EXPECT_EQ(word, 0x07C94u);
  EXPECT_EQ(TQRBitMap::VersionInfo(40), 0x28C69u);
  EXPECT_EQ(TQRBitMap::AlignmentPositions(40), (std::vector<int32_t>{6, 30, 58, 86, 114, 142, 170}));
}

TEST(QRMatrix, FormatInformation) {
  EXPECT_EQ(TQRBitMap::FormatInfo(0), 0b101010000010010);
  EXPECT_EQ(TQRBitMap::FormatInfo(8), 0b111011111000100);
  for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H}) {
    TQRCode qr;
    qr.SetCorrectionLevel(level);
    qr.SetCode(u"FORMAT");
    qr.BuildSymbol();
    const TQRBitMap &m = *qr.Bitmap();
    std::string want;
    uint16_t f = TQRBitMap::FormatInfo(QRLevelFormatBits(level) * 8 + m.Mask());
    for (int b = 14; b >= 0; --b) want += (f >> b) & 1 ? '1' : '0';
    EXPECT_EQ(FormatRead(m, false), want) << level;
    EXPECT_EQ(FormatRead(m, true), want) << level;
    // Level and mask read back from the unmasked format bits.
    int32_t raw = (f ^ 0x5412) >> 10;
    EXPECT_EQ(raw >> 3, QRLevelFormatBits(level));
    EXPECT_EQ(raw & 7, m.Mask());
  }
}

// Where bit k (from the most significant bit of the first codeword) lands.
std::pair<int32_t, int32_t> PositionOfBit(int32_t version, int32_t k) {
  int32_t side = 17 + 4 * version;
  TQRBitMap m(side, side, version);
  TQRVector cws(size_t(QRTotalCodewords(version)), 0);
  cws[size_t(k / 8)] = 0x80 >> (k % 8);
  m.placeCodewords(cws);
  for (int32_t y = 0; y < side; ++y)
    for (int32_t x = 0; x < side; ++x)
      if (m.getBit(x, y) == 16) return {x, y};
  return {-1, -1};
}

TEST(QRMatrix, PlacementOrder) {
  using P = std::pair<int32_t, int32_t>;
  EXPECT_EQ(PositionOfBit(1, 0), (P{20, 20}));
  EXPECT_EQ(PositionOfBit(1, 1), (P{19, 20}));
  EXPECT_EQ(PositionOfBit(1, 2), (P{20, 19}));
  EXPECT_EQ(PositionOfBit(1, 24), (P{18, 9}));  // up 12 rows of column pair 20/19, then down
  // Column pair 8/7 (rows 9 to 12) is followed by 5/4, skipping the timing column 6.
  int32_t k = 0;
  for (; k < 208; ++k)
    if (PositionOfBit(1, k).first <= 8) break;
  P first87 = PositionOfBit(1, k);
  EXPECT_EQ(first87.first, 8);
  int32_t j = k;
  while (PositionOfBit(1, j).first >= 7) ++j;
  EXPECT_EQ(PositionOfBit(1, j).first, 5);
  EXPECT_EQ(j - k, 8);  // four rows of the pair 8/7
  // Remainder bits stay empty: version 2 has 7.
  TQRBitMap m(25, 25, 2);
  m.placeCodewords(TQRVector(44, 0xFF));
  int32_t empty = 0;
  for (int32_t y = 0; y < 25; ++y)
    for (int32_t x = 0; x < 25; ++x) empty += m.getBit(x, y) == -1;
  EXPECT_EQ(empty, 7);
}

TQRPenalty Penalty(const std::vector<std::string> &rows) {
  std::vector<uint8_t> d;
  for (const auto &r : rows)
    for (char c : r) d.push_back(c == '1');
  return QRPenalty(d.data(), int32_t(rows[0].size()), int32_t(rows.size()));
}

TEST(QRMatrix, PenaltyRules) {
  // N1: a run of exactly five adds nothing, six add 4.
  EXPECT_EQ(Penalty({"10111110"}).n1, 0);
  EXPECT_EQ(Penalty({"1111100"}).n1, 0);
  EXPECT_EQ(Penalty({"1111110"}).n1, 4);
  EXPECT_EQ(Penalty({"00000001111111"}).n1, 10);
  EXPECT_EQ(Penalty({"1", "1", "1", "1", "1", "1", "0"}).n1, 4);  // columns too
  // N2: blocks grow greedily and are not counted again.
  EXPECT_EQ(Penalty({"1110", "1110", "1101", "0101"}).n2, 6);
  EXPECT_EQ(Penalty({"111", "111", "111"}).n2, 12);
  EXPECT_EQ(Penalty({"1010", "0101", "1010"}).n2, 0);
  // N3: 1:1:3:1:1 with four light modules (or the edge) on one side.
  EXPECT_EQ(Penalty({"00001011101"}).n3, 40);
  EXPECT_EQ(Penalty({"10111010000"}).n3, 40);
  EXPECT_EQ(Penalty({"0001011101000"}).n3, 40);   // the edge counts as light
  EXPECT_EQ(Penalty({"1001011101001"}).n3, 0);
  EXPECT_EQ(Penalty({"0000101110100001011101"}).n3, 80);
  EXPECT_EQ(Penalty({"110111010000"}).n3, 40);    // after-side only
  // N4: 45 % and 55 % give 0, 44 % gives 10, 50 % gives 0.
  auto balance = [](int dark) {
    std::string r(100, '0');
    for (int i = 0; i < dark; ++i) r[size_t(i * 100 / dark)] = '1';
    return Penalty({r}).n4;
  };
  EXPECT_EQ(balance(45), 0);
  EXPECT_EQ(balance(55), 0);
  EXPECT_EQ(balance(44), 10);
  EXPECT_EQ(balance(50), 0);
  EXPECT_EQ(balance(35), 20);
  EXPECT_EQ(balance(100), 90);
}

// The penalty rules read literally, on an [x][y] copy of the matrix, to check
// the mask search (which works on packed bit lines and never copies the codes).
struct LiteralScorer {
  int32_t w, h;
  std::vector<std::vector<bool>> d;  // [x][y]
  bool at(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < w && y < h && d[size_t(x)][size_t(y)]; }
  int32_t Score() const {
    int32_t s = 0;
    for (int pass = 0; pass < 2; ++pass) {
      int32_t lines = pass ? h : w, len = pass ? w : h;
      for (int32_t a = 0; a < lines; ++a) {
        auto get = [&](int32_t b) { return pass ? at(b, a) : at(a, b); };
        int32_t run = 1;
        for (int32_t b = 1; b <= len; ++b) {
          if (b < len && get(b) == get(b - 1)) {
            ++run;
          } else {
            if (run > 5) s += run - 2;
            run = 1;
          }
        }
        const bool pat[7] = {true, false, true, true, true, false, true};
        for (int32_t b = 0; b + 7 <= len; ++b) {
          bool ok = true;
          for (int k = 0; k < 7; ++k) ok = ok && get(b + k) == pat[k];
          bool before = true, after = true;
          for (int k = 1; k <= 4; ++k) {
            before = before && !get(b - k);
            after = after && !get(b + 6 + k);
          }
          if (ok && (before || after)) s += 40;
        }
      }
    }
    std::vector<std::vector<bool>> seen(static_cast<size_t>(w), std::vector<bool>(static_cast<size_t>(h)));
    auto free = [&](int32_t x, int32_t y, bool c) { return !seen[size_t(x)][size_t(y)] && at(x, y) == c; };
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        if (seen[size_t(x)][size_t(y)] || x > w - 2 || y > h - 2) continue;
        seen[size_t(x)][size_t(y)] = true;
        bool c = at(x, y);
        if (!free(x + 1, y, c) || !free(x, y + 1, c) || !free(x + 1, y + 1, c)) continue;
        seen[size_t(x + 1)][size_t(y)] = seen[size_t(x)][size_t(y + 1)] = seen[size_t(x + 1)][size_t(y + 1)] = true;
        int32_t bw = 2, bh = 2;
        bool gx = true, gy = true;
        while ((gx || gy) && x + bw < w && y + bh < h) {
          if (gx) {
            for (int32_t k = 0; k < bh; ++k) gx = gx && free(x + bw, y + k, c);
            if (gx) {
              for (int32_t k = 0; k < bh; ++k) seen[size_t(x + bw)][size_t(y + k)] = true;
              ++bw;
            }
          }
          if (gy) {
            for (int32_t k = 0; k < bw; ++k) gy = gy && free(x + k, y + bh, c);
            if (gy) {
              for (int32_t k = 0; k < bw; ++k) seen[size_t(x + k)][size_t(y + bh)] = true;
              ++bh;
            }
          }
        }
        s += 3 * (bw - 1) * (bh - 1);
      }
    int32_t dark = 0;
    for (int32_t x = 0; x < w; ++x)
      for (int32_t y = 0; y < h; ++y) dark += at(x, y);
    int32_t dev = std::abs(dark * 100 / (w * h) - 50);
    if (dev > 0 && dev % 5 == 0) --dev;
    return s + 10 * (dev / 5);
  }
};

TEST(QRMatrix, MaskChoiceFollowsTheLiteralRules) {
  int32_t symbols = 0;
  for (int32_t v : {1, 2, 5, 7, 10, 14, 21, 27, 33, 40})
    for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H}) {
      TQRCode qr;
      qr.SetCorrectionLevel(level);
      std::string text;
      for (int32_t i = 0; i < QRDataCodewords(v, level) - 3; ++i) text += char(33 + (i * 31 + v * 7 + level) % 90);
      std::vector<int32_t> codes = qrtest::Codes(text);
      TBitString bits = qr.BuildBits(codes, v);
      int32_t side = 17 + 4 * v;
      TQRBitMap m(side, side, v);
      m.placeCodewords(AssembleCodewords(bits, v, level));
      int32_t base = QRLevelFormatBits(level) * 8;
      int32_t best = -1, bestScore = 0;
      std::array<int32_t, 8> literal{};
      for (int32_t mask = 0; mask < 8; ++mask) {
        LiteralScorer ls{side, side, std::vector<std::vector<bool>>(size_t(side), std::vector<bool>(size_t(side)))};
        for (int32_t x = 0; x < side; ++x)
          for (int32_t y = 0; y < side; ++y) {
            int32_t code = m.getBit(x, y);
            bool data = code == -1 || code == 0 || code == 16;
            bool dark = TQRBitMap::isBlackValue(code);
            if (data) {
              int32_t i = y, j = x;
              dark = dark != qrtest::MaskCondition(mask, i, j);
            }
            ls.d[size_t(x)][size_t(y)] = dark;
          }
        uint16_t f = TQRBitMap::FormatInfo(base + mask);
        const int32_t col8[8] = {0, 1, 2, 3, 4, 5, 7, 8};
        for (int32_t b = 0; b < 15; ++b) {
          bool bit = (f >> b) & 1;
          if (b < 8) {
            ls.d[8][size_t(col8[b])] = bit;
            ls.d[size_t(side - 1 - b)][8] = bit;
          } else {
            ls.d[8][size_t(side - 7 + b - 8)] = bit;
            ls.d[size_t(b == 8 ? 7 : 14 - b)][8] = bit;
          }
        }
        uint32_t vw = TQRBitMap::VersionInfo(v);
        for (int32_t b = 0; b < 18 && v >= 7; ++b) {
          ls.d[size_t(b / 3)][size_t(side - 11 + b % 3)] = (vw >> b) & 1;
          ls.d[size_t(side - 11 + b % 3)][size_t(b / 3)] = (vw >> b) & 1;
        }
        int32_t score = literal[size_t(mask)] = ls.Score();
        if (best < 0 || score < bestScore) {
          best = mask;
          bestScore = score;
        }
      }
      EXPECT_EQ(m.MaskScores(base), literal) << "version " << v << " level " << level;
      EXPECT_EQ(m.ChooseMask(base), best) << "version " << v << " level " << level;
      ++symbols;
    }
  EXPECT_EQ(symbols, 40);
}

}  // namespace
