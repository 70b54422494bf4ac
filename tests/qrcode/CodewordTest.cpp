// Codeword assembly: terminator and padding, Reed-Solomon codewords and block
// interleaving (every version and level is compared with qrcodegen too).
#include <gtest/gtest.h>

#include "qrcode/reedQR.h"

namespace {

using namespace nx;

TBitString FromText(const std::string &bits) {
  TBitString bs;
  for (char c : bits) bs.addBits(c == '1', 1);
  return bs;
}

TEST(QRCodewords, NumericExampleAtVersion1M) {
  TBitString bs = FromText("0001" "0000001000" "0000001100" "0101011001" "1000011");
  TQRVector cw = AssembleCodewords(bs, 1, LEVEL_M);
  TQRVector want = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11,
                    0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55};
  EXPECT_EQ(cw, want);
  const int32_t g7[] = {127, 122, 154, 164, 11, 68, 117};
  for (int32_t i = 0; i < 7; ++i) EXPECT_EQ(GeneratorCoefficient(7, i), g7[i]) << i;
}

TEST(QRCodewords, TerminatorAndPadding) {
  // Exactly the capacity (1-H: 72 bits): no terminator, no pad codewords.
  std::string full;
  for (int i = 0; i < 72; ++i) full += (i % 3 == 0) ? '1' : '0';
  TBitString bs = FromText(full);
  TQRVector cw = AssembleCodewords(bs, 1, LEVEL_H);
  ASSERT_EQ(cw.size(), 26u);
  EXPECT_EQ(cw[0], 0b10010010);
  EXPECT_EQ(cw[8], 0b00100100);  // bits 64 to 71
  // Two bits short: a two-bit terminator and nothing else.
  bs = FromText(std::string(70, '1'));
  cw = AssembleCodewords(bs, 1, LEVEL_H);
  ASSERT_EQ(cw.size(), 26u);
  EXPECT_EQ(cw[8], 0xFC);
  // Four bits short of a byte boundary far from the end: terminator, then pads.
  bs = FromText("1111");
  cw = AssembleCodewords(bs, 1, LEVEL_H);
  EXPECT_EQ(TQRVector(cw.begin(), cw.begin() + 4), (TQRVector{0xF0, 0xEC, 0x11, 0xEC}));
  // More than the capacity, even by one bit: no codewords at all.
  bs = FromText(std::string(73, '1'));
  EXPECT_TRUE(AssembleCodewords(bs, 1, LEVEL_H).empty());
}

TEST(QRCodewords, BlocksOfTwoSizesInterleave) {
  // 5-Q: two blocks of 15 data codewords, then two of 16; data numbered 1..62.
  TBitString bs;
  for (int32_t i = 1; i <= 62; ++i) bs.addBits(i, 8);
  TQRVector cw = AssembleCodewords(bs, 5, LEVEL_Q);
  ASSERT_EQ(cw.size(), 134u);
  EXPECT_EQ(TQRVector(cw.begin(), cw.begin() + 4), (TQRVector{1, 16, 31, 47}));
  EXPECT_EQ(cw[60], 46);  // the 16th codewords of the last two blocks end the data
  EXPECT_EQ(cw[61], 62);
}

}  // namespace
