// The encode side: bit strings, segment bits, automatic mode choice, headers,
// tilde escapes, version choice and the errors for data that cannot be
// carried.
#include <gtest/gtest.h>

#include "QRTestUtil.h"
#include "common/ErrorChannel.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;
using qrtest::Codes;
using qrtest::U16;

std::string Bits(TQRCode &qr, const std::string &text, int32_t version = 1) {
  qr.SetCode(U16(text));
  std::vector<int32_t> codes = Codes(text);
  return std::string(qr.BuildBits(codes, version).Value());
}

// The error a build throws, as code and message.
std::pair<NxErrorCode, std::string> BuildError(TQRCode &qr) {
  try {
    qr.BuildSymbol();
  } catch (const ENxError &e) {
    return {e.code(), e.what()};
  }
  return {nxeNone, ""};
}

TEST(QRBitString, AddTakeAndPad) {
  TBitString bs;
  bs.addBits(0x1F5, 4);  // only the lowest four bits: 0101
  bs.addBits(3, 3);
  EXPECT_EQ(bs.Value(), "0101011");
  TBitString tail;
  tail.addBits(1, 2);
  bs.concatenate(tail);
  EXPECT_EQ(bs.getLength(), 9);
  EXPECT_EQ(bs.getAndRemoveBits(4), 0b0101);
  EXPECT_EQ(bs.getAndRemoveBitsFILO(2), 0b01);
  EXPECT_EQ(bs.getAndRemoveBits(8), 0b01111111);  // three left, padded with 1 bits
  EXPECT_EQ(bs.getLength(), 0);
  EXPECT_EQ(bs.getAndRemoveBits(8), 1);
  EXPECT_EQ(bs.getAndRemoveBitsFILO(8), 0);
  EXPECT_EQ(TBitString::convertStringToInt("100101"), 37);
}

TEST(QREncode, SegmentBitsOfTheStandardExamples) {
  TQRCode qr;
  EXPECT_EQ(Bits(qr, "01234567"), "0001" "0000001000" "0000001100" "0101011001" "1000011");
  std::string hello = Bits(qr, "HELLO WORLD");
  EXPECT_EQ(hello.size(), 74u);
  EXPECT_EQ(hello.substr(0, 4 + 9 + 11), "0010" "000001011" "01100001011");  // HE = 17 * 45 + 14
  // A1 starts in byte mode: the alphanumeric run is broken by a byte-class digit.
  EXPECT_EQ(TQRCode::AutoModes(Codes("A1"), 1), (std::vector<TQRCodeEncoding>{ENC_BYTE, ENC_BYTE}));
  EXPECT_EQ(Bits(qr, "A1"), "0100" "00000010" "01000001" "00110001");
  // Shift JIS 0x935F and 0xE4AA as kanji (ISO/IEC 18004 examples).
  TBitString kanji;
  EXPECT_EQ(TQRCode::EncodeKanji(std::vector<int32_t>{0x935F, 0xE4AA, 'A'}, 0, 3, 1, kanji), 2);
  EXPECT_EQ(kanji.Value(), "1000" "00000010" "0110110011111" "1101010101010");
  // Count indicators widen at versions 10 and 27.
  EXPECT_EQ(Bits(qr, "123", 10).substr(0, 16), "0001" "000000000011");
  EXPECT_EQ(Bits(qr, "123", 27).substr(0, 18), "0001" "00000000000011");
}

TEST(QREncode, AutomaticSegmentation) {
  auto modes = [](const std::string &s, int32_t v = 1) {
    std::string out;
    for (TQRCodeEncoding m : TQRCode::AutoModes(Codes(s), v)) out += "ABNK"[m];
    return out;
  };
  EXPECT_EQ(modes("0123456789"), "NNNNNNNNNN");
  EXPECT_EQ(modes("ABCDEF"), "AAAAAA");           // ends within the run: alphanumeric
  EXPECT_EQ(modes("ABCDEFG1"), "AAAAAAAA");       // a full run of six
  EXPECT_EQ(modes("ABCDE1"), "BBBBBB");           // broken by a digit before six
  EXPECT_EQ(modes("ABCDEabc"), "BBBBBBBB");
  EXPECT_EQ(modes("12a"), "BBB");                  // digit run of four broken by a byte
  EXPECT_EQ(modes("1234a"), "NNNNB");
  EXPECT_EQ(modes("12345A"), "AAAAAA");           // digit run of six broken by a letter
  EXPECT_EQ(modes("123456A"), "NNNNNNA");
  // Version 9 belongs to the middle lookahead class: runs of 7.
  EXPECT_EQ(modes("ABCDEF1", 8), "AAAAAAA");
  EXPECT_EQ(modes("ABCDEF1", 9), "BBBBBBB");
  // Byte to numeric after six digits (8 from version 9 on).
  EXPECT_EQ(modes("ab123456"), "BBNNNNNN");
  EXPECT_EQ(modes("ab123456", 9), "BBBBBBBB");
  // Alphanumeric to numeric only after thirteen digits.
  EXPECT_EQ(modes("ABCDEFG1234567890123"), "AAAAAAANNNNNNNNNNNNN");
  EXPECT_EQ(modes("ABCDEFG123456789012"), "AAAAAAAAAAAAAAAAAAA");
  // A kanji character stands alone; the next one is decided afresh.
  std::vector<int32_t> mixed{0x935F, 0x935F, 'a', '1'};
  EXPECT_EQ(TQRCode::AutoModes(mixed, 1),
            (std::vector<TQRCodeEncoding>{ENC_KANJI, ENC_KANJI, ENC_BYTE, ENC_BYTE}));
}

TEST(QREncode, HeaderSegments) {
  TQRCode qr;
  qr.SetEci(26);
  EXPECT_EQ(Bits(qr, "1").substr(0, 12), "0111" "00011010");
  qr.SetEci(1000);
  EXPECT_EQ(Bits(qr, "1").substr(0, 20), "0111" "10" "00001111101000");
  qr.SetEci(100000);
  EXPECT_EQ(Bits(qr, "1").substr(0, 28), "0111" "110" "000011000011010100000");
  qr.SetEci(-1);
  qr.SetStructuredAppend(true);
  qr.SetStructuredAppendIndex(2);
  qr.SetStructuredAppendCounter(3);
  EXPECT_EQ(Bits(qr, "AB").substr(0, 20), "0011" "0001" "0010" + std::string("00000011"));  // 'A' ^ 'B'
  qr.SetStructuredAppend(false);
  qr.SetFnc1Mode(FIRST);
  EXPECT_EQ(Bits(qr, "1").substr(0, 8), "0101" "0001");
  qr.SetFnc1Mode(SECOND);
  qr.SetApplicationIndicator(37);
  EXPECT_EQ(Bits(qr, "1").substr(0, 16), "1001" "00100101" "0001");
}

TEST(QREncode, TildeEscapes) {
  TQRCode qr;
  EXPECT_EQ(qr.ProcessTilde(u"~d065~~B~x~d999~"), u"A~Bx\xFF");
  EXPECT_EQ(qr.ProcessTilde(u"~d06"), u"d06");  // incomplete escape: the tilde goes
  std::u16string out = qr.ProcessTilde(u"ab~e000026cd");
  EXPECT_EQ(out, u"ab0cd");
  EXPECT_EQ(qr.ControlChars()[2], 26);
  EXPECT_EQ(qr.ControlChars()[0], -1);
  // The placeholder is no data for the Structured Append parity either.
  qr.SetProcessTilde(true);
  qr.SetStructuredAppend(true);
  qr.SetCode(u"ab~e000026cd");
  qr.BuildSymbol();
  EXPECT_EQ(std::string(qr.BuildBits(Codes("ab0cd"), 1).Value()).substr(12, 8), "00000100");  // a^b^c^d
  qr.SetStructuredAppend(false);
  // The ECI escape becomes an ECI segment where it stands; the placeholder is
  // not data.
  qr.SetProcessTilde(true);
  qr.SetCode(u"ab~e000026cd");
  qr.BuildSymbol();
  std::vector<int32_t> codes = Codes("ab0cd");
  EXPECT_EQ(std::string(qr.BuildBits(codes, 1).Value()),
            "0100" "00000010" "01100001" "01100010" "0111" "00011010" "0100" "00000010" "01100011" "01100100");
}

TEST(QREncode, VersionChoice) {
  TQRCode qr;
  qr.SetCode(u"HELLO WORLD");
  qr.BuildSymbol();
  EXPECT_EQ(qr.SelectedVersion(), 1);
  EXPECT_EQ(qr.Bitmap()->getMaxX(), 21);
  qr.SetPreferredVersion(5);  // a minimum
  qr.BuildSymbol();
  EXPECT_EQ(qr.SelectedVersion(), 5);
  EXPECT_EQ(qr.Bitmap()->getMaxX(), 37);
  // Needs more than version 9 holds: rebuilt with the wider count indicators.
  qr.SetPreferredVersion(1);
  qr.SetCode(U16(std::string(QRCharCapacity(9, LEVEL_L, ENC_NUMERIC) + 1, '7')));
  qr.BuildSymbol();
  EXPECT_EQ(qr.SelectedVersion(), 10);
  // The automatic choice reaches version 40; the largest byte text fits exactly.
  for (TQRCodeECLevel level : {LEVEL_L, LEVEL_H}) {
    qr.SetCorrectionLevel(level);
    qr.SetCode(U16(std::string(QRCharCapacity(40, level, ENC_BYTE), 'x')));
    qr.BuildSymbol();
    EXPECT_EQ(qr.SelectedVersion(), 40) << level;
    EXPECT_EQ(qr.Bitmap()->getMaxX(), 177);
  }
  EXPECT_EQ(QRCharCapacity(40, LEVEL_L, ENC_BYTE), 2953);
  EXPECT_EQ(QRCharCapacity(40, LEVEL_L, ENC_NUMERIC), 7089);
  EXPECT_EQ(QRCharCapacity(40, LEVEL_L, ENC_ALPHA), 4296);
  EXPECT_EQ(QRCharCapacity(40, LEVEL_H, ENC_KANJI), 784);
  EXPECT_EQ(QRCharCapacity(1, LEVEL_M, ENC_NUMERIC), 34);
  // A preferred version of 40 is honoured.
  qr.SetCorrectionLevel(LEVEL_M);
  qr.SetCode(u"short");
  qr.SetPreferredVersion(40);
  qr.BuildSymbol();
  EXPECT_EQ(qr.SelectedVersion(), 40);
}

TEST(QREncode, DataThatCannotBeCarriedIsAnErrorAndKeepsTheSymbol) {
  TQRCode qr;
  qr.SetCode(u"kept");
  qr.BuildSymbol();
  const TQRBitMap *kept = qr.Bitmap();
  std::string before = qrtest::MatrixText(*kept);

  qr.SetCorrectionLevel(LEVEL_H);
  qr.SetCode(U16(std::string(QRCharCapacity(40, LEVEL_H, ENC_BYTE) + 1, 'x')));
  auto [code, text] = BuildError(qr);
  EXPECT_EQ(code, nxeData);
  EXPECT_NE(text.find("does not fit version 40"), std::string::npos) << text;
  EXPECT_EQ(qr.Bitmap(), kept);
  EXPECT_EQ(qrtest::MatrixText(*qr.Bitmap()), before);
  EXPECT_EQ(qr.SelectedVersion(), 1);

  qr.SetCorrectionLevel(LEVEL_L);
  qr.SetCode(u"a euro \x20AC sign");
  std::tie(code, text) = BuildError(qr);
  EXPECT_EQ(code, nxeData);
  EXPECT_NE(text.find("U+20AC"), std::string::npos) << text;
  qr.SetEncoding(ENC_BYTE);
  EXPECT_EQ(BuildError(qr).first, nxeData);
  // In the kanji range but with a second byte below 0x40: no Shift JIS code.
  qr.SetEncoding(ENC_AUTO);
  qr.setCodeBinary({0x935F, 0x8220});
  std::tie(code, text) = BuildError(qr);
  EXPECT_EQ(code, nxeData);
  EXPECT_NE(text.find("U+8220"), std::string::npos) << text;
  qr.SetEncoding(ENC_KANJI);
  EXPECT_EQ(BuildError(qr).first, nxeData);

  // A fixed mode takes only its own characters.
  TQRCode fixed;
  fixed.SetEncoding(ENC_NUMERIC);
  fixed.SetCode(u"12A3");
  std::tie(code, text) = BuildError(fixed);
  EXPECT_EQ(code, nxeData);
  EXPECT_NE(text.find("position 3"), std::string::npos) << text;
  TBitString bs;
  EXPECT_EQ(TQRCode::EncodeNumeric(Codes("12A3"), 0, 4, 1, bs), 2);

  // A fixed version too small for the data.
  fixed.SetEncoding(ENC_AUTO);
  fixed.SetAutoConfigurate(false);
  fixed.SetPreferredVersion(1);
  fixed.SetCode(U16(std::string(18, 'x')));
  std::tie(code, text) = BuildError(fixed);
  EXPECT_EQ(code, nxeData);
  EXPECT_NE(text.find("does not fit version 1 at level L"), std::string::npos) << text;
  fixed.SetCode(U16(std::string(17, 'x')));
  EXPECT_EQ(BuildError(fixed).first, nxeNone);

  fixed.SetPreferredVersion(41);
  EXPECT_EQ(BuildError(fixed).first, nxeArgument);
  fixed.SetPreferredVersion(0);
  EXPECT_EQ(BuildError(fixed).first, nxeArgument);
  fixed.SetAutoConfigurate(true);
  EXPECT_EQ(BuildError(fixed).first, nxeNone);
  EXPECT_EQ(fixed.SelectedVersion(), 1);
  fixed.SetStructuredAppend(true);
  fixed.SetStructuredAppendIndex(4);
  fixed.SetStructuredAppendCounter(3);
  EXPECT_EQ(BuildError(fixed).first, nxeArgument);
}

}  // namespace
