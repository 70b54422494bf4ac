// The module matrix: function patterns, placement order, the penalty rules
// and the mask choice (layouts of every version are compared with qrcodegen
// in ReferenceTest).
#include <gtest/gtest.h>

#include <array>

#include "QRTestUtil.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;

int32_t Count(const TQRBitMap &m, int32_t code) {
  int32_t n = 0;
  for (int32_t y = 0; y < m.getMaxY(); ++y)
    for (int32_t x = 0; x < m.getMaxX(); ++x) n += m.getBit(x, y) == code;
  return n;
}

TEST(QRMatrix, FunctionPatterns) {
  TQRBitMap v1(21, 21, 1);
  EXPECT_EQ(v1.getBit(8, 13), 80);  // the dark module
  EXPECT_EQ(v1.getBit(1, 1), 4);
  EXPECT_EQ(v1.getBit(7, 7), 3);
  EXPECT_EQ(v1.getBit(6, 12), 32);
  EXPECT_EQ(Count(v1, -1), 26 * 8);  // no alignment pattern, no version information
  TQRBitMap v7(45, 45, 7);
  EXPECT_EQ(Count(v7, 48), 6 * 17 - 2 * 3);  // six patterns, three centre rows crossed by timing
  for (int32_t y = 20; y <= 24; ++y) EXPECT_EQ(v7.isBlack(6, y), y % 2 == 0) << y;
  v7.placeCodewords({});
  v7.placeMask(1, LEVEL_L);
  uint32_t word = 0;
  for (int32_t b = 17; b >= 0; --b) word = (word << 1) | v7.isBlack(b / 3, 45 - 11 + b % 3);
  EXPECT_EQ(word, 0x07C94u);
  EXPECT_EQ(TQRBitMap::FormatInfo(0), 0b101010000010010);  // M, mask 0
  EXPECT_EQ(TQRBitMap::FormatInfo(8), 0b111011111000100);  // L, mask 0
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
  EXPECT_EQ(PositionOfBit(1, 24), (P{18, 9}));  // up the first column pair, then down
  // The column pair 8/7 (rows 9 to 12) is followed by 5/4: the timing column is skipped.
  int32_t k = 0;
  while (PositionOfBit(1, k).first > 8) ++k;
  EXPECT_EQ(PositionOfBit(1, k + 7), (P{7, 9}));
  EXPECT_EQ(PositionOfBit(1, k + 8), (P{5, 9}));
  TQRBitMap v2(25, 25, 2);
  v2.placeCodewords(TQRVector(44, 0xFF));
  EXPECT_EQ(Count(v2, -1), 7);  // the remainder bits stay empty
}

TQRPenalty Penalty(const std::vector<std::string> &rows) {
  std::vector<uint8_t> d;
  for (const auto &r : rows)
    for (char c : r) d.push_back(c == '1');
  return QRPenalty(d.data(), int32_t(rows[0].size()), int32_t(rows.size()));
}

TEST(QRMatrix, PenaltyRules) {
  // N1: a run of exactly five adds nothing, longer runs their length - 2.
  EXPECT_EQ(Penalty({"1111100"}).n1, 0);
  EXPECT_EQ(Penalty({"1111110"}).n1, 4);
  EXPECT_EQ(Penalty({"00000001111111"}).n1, 10);
  EXPECT_EQ(Penalty({"1", "1", "1", "1", "1", "1", "0"}).n1, 4);
  // N2: blocks grow greedily and their modules are not counted again.
  EXPECT_EQ(Penalty({"1110", "1110", "1101", "0101"}).n2, 6);
  EXPECT_EQ(Penalty({"111", "111", "111"}).n2, 12);
  EXPECT_EQ(Penalty({"1010", "0101", "1010"}).n2, 0);
  // N3: 1:1:3:1:1 with four light modules (or the edge) on one side.
  EXPECT_EQ(Penalty({"00001011101"}).n3, 40);
  EXPECT_EQ(Penalty({"0001011101000"}).n3, 40);
  EXPECT_EQ(Penalty({"1001011101001"}).n3, 0);
  EXPECT_EQ(Penalty({"110111010000"}).n3, 40);
  EXPECT_EQ(Penalty({"0000101110100001011101"}).n3, 80);
  // N4: 45 % and 55 % give 0, 44 % gives 10.
  auto balance = [](int dark) {
    std::string r(100, '0');
    for (int i = 0; i < dark; ++i) r[size_t(i * 100 / dark)] = '1';
    return Penalty({r}).n4;
  };
  EXPECT_EQ(balance(45), 0);
  EXPECT_EQ(balance(55), 0);
  EXPECT_EQ(balance(44), 10);
  EXPECT_EQ(balance(35), 20);
}

// The penalty rules read literally, on a copy of the masked matrix, to check
// the mask search (which works on packed bit lines and copies nothing).
int32_t LiteralScore(const std::vector<std::vector<bool>> &d) {
  const int32_t n = int32_t(d.size());
  auto at = [&](int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < n && y < n && d[size_t(x)][size_t(y)]; };
  int32_t s = 0;
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t a = 0; a < n; ++a) {
      auto get = [&](int32_t b) { return pass ? at(b, a) : at(a, b); };
      for (int32_t b = 0, run = 1; b < n; ++b, ++run)
        if (b == n - 1 || get(b + 1) != get(b)) {
          if (run > 5) s += run - 2;
          run = 0;
        }
      for (int32_t b = 0; b + 7 <= n; ++b) {
        bool pattern = get(b) && !get(b + 1) && get(b + 2) && get(b + 3) && get(b + 4) && !get(b + 5) && get(b + 6);
        bool before = !get(b - 1) && !get(b - 2) && !get(b - 3) && !get(b - 4);
        bool after = !get(b + 7) && !get(b + 8) && !get(b + 9) && !get(b + 10);
        if (pattern && (before || after)) s += 40;
      }
    }
  std::vector<std::vector<bool>> seen(d.size(), std::vector<bool>(d.size()));
  auto free = [&](int32_t x, int32_t y, bool c) { return !seen[size_t(x)][size_t(y)] && at(x, y) == c; };
  auto mark = [&](int32_t x, int32_t y) { seen[size_t(x)][size_t(y)] = true; };
  for (int32_t y = 0; y < n - 1; ++y)
    for (int32_t x = 0; x < n - 1; ++x) {
      if (seen[size_t(x)][size_t(y)]) continue;
      mark(x, y);
      bool c = at(x, y);
      if (!free(x + 1, y, c) || !free(x, y + 1, c) || !free(x + 1, y + 1, c)) continue;
      mark(x + 1, y), mark(x, y + 1), mark(x + 1, y + 1);
      int32_t bw = 2, bh = 2;
      bool gx = true, gy = true;
      while ((gx || gy) && x + bw < n && y + bh < n) {
        for (int32_t k = 0; gx && k < bh; ++k) gx = free(x + bw, y + k, c);
        for (int32_t k = 0; gx && k < bh; ++k) mark(x + bw, y + k);
        bw += gx;
        for (int32_t k = 0; gy && k < bw; ++k) gy = free(x + k, y + bh, c);
        for (int32_t k = 0; gy && k < bw; ++k) mark(x + k, y + bh);
        bh += gy;
      }
      s += 3 * (bw - 1) * (bh - 1);
    }
  int32_t dark = 0;
  for (int32_t x = 0; x < n; ++x)
    for (int32_t y = 0; y < n; ++y) dark += at(x, y);
  int32_t dev = std::abs(dark * 100 / (n * n) - 50);
  if (dev > 0 && dev % 5 == 0) --dev;
  return s + 10 * (dev / 5);
}

TEST(QRMatrix, MaskScoresFollowTheLiteralRules) {
  for (int32_t v : {1, 2, 5, 7, 10, 14, 21, 27, 33, 40})
    for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H}) {
      std::string text;
      for (int32_t i = 0; i < QRDataCodewords(v, level) - 3; ++i) text += char(33 + (i * 31 + v * 7 + level) % 90);
      TQRCode qr;
      qr.SetCorrectionLevel(level);
      TBitString bits = qr.BuildBits(qrtest::Codes(text), v);
      int32_t side = 17 + 4 * v, base = QRLevelFormatBits(level) * 8;
      TQRBitMap m(side, side, v);
      m.placeCodewords(AssembleCodewords(bits, v, level));
      std::array<int32_t, 8> literal{};
      for (int32_t mask = 0; mask < 8; ++mask) {
        // The symbol under this mask, with its format and version bits.
        std::vector<std::vector<bool>> d(static_cast<size_t>(side), std::vector<bool>(static_cast<size_t>(side)));
        for (int32_t x = 0; x < side; ++x)
          for (int32_t y = 0; y < side; ++y) {
            int32_t code = m.getBit(x, y);
            bool data = code == -1 || code == 0 || code == 16;
            d[size_t(x)][size_t(y)] = TQRBitMap::isBlackValue(code) != (data && qrtest::MaskCondition(mask, y, x));
          }
        uint32_t format = TQRBitMap::FormatInfo(base + mask), version = TQRBitMap::VersionInfo(v);
        qrtest::ForFormatModules(side, [&](int b, int x, int y) { d[size_t(x)][size_t(y)] = (format >> b) & 1; });
        d[8][size_t(side - 8)] = true;
        qrtest::ForVersionModules(side, [&](int b, int x, int y) { d[size_t(x)][size_t(y)] = (version >> b) & 1; });
        literal[size_t(mask)] = LiteralScore(d);
      }
      EXPECT_EQ(m.MaskScores(base), literal) << "version " << v << " level " << level;
      int32_t best = int32_t(std::min_element(literal.begin(), literal.end()) - literal.begin());
      EXPECT_EQ(m.ChooseMask(base), best);
    }
}

}  // namespace
