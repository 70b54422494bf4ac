// Symbols decode with zbarimg to their data, across levels, modes, headers
// and versions 1 to 40.
#include <gtest/gtest.h>

#include "QRTestUtil.h"
#include "common/ErrorChannel.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;
using qrtest::U16;

std::string Build(TQRCode &qr, const nxtest::TempDir &dir) {
  qr.BuildSymbol();
  return qrtest::ZbarDecode(*qr.Bitmap(), dir);
}

TEST(QRDecode, AllLevelsAndModes) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  const char *texts[] = {"01234567", "HELLO WORLD", "Hello, world! 123", "A1",
                         "ABCDEFGHIJ0123456789012345678901234567890abcdef", "3.14159 PI 0123456789 ok",
                         "https://example.org/q?id=4711&x=ABCDEFGHIJKLMNOP"};
  for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H})
    for (const char *t : texts) {
      TQRCode qr;
      qr.SetCorrectionLevel(level);
      qr.SetCode(U16(t));
      EXPECT_EQ(Build(qr, dir), t) << "level " << level << " version " << qr.SelectedVersion();
    }
}

}  // namespace

namespace {

TEST(QRDecode, KanjiEciAndStructuredAppend) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  // Shift JIS kanji codes, alone and mixed with other modes; zbarimg gives the bytes.
  TQRCode qr;
  qr.setCodeBinary({0x93, 0x5F, 0x8A, 0xBF, 'A', 'B', 0x935F, 0x8ABF, 0xE4AA, '1', '2', '3'});
  qr.SetEncoding(ENC_BYTE);
  // Byte mode cannot take the kanji codes; automatic mode can.
  EXPECT_THROW(qr.BuildSymbol(), ENxError);
  qr.SetEncoding(ENC_AUTO);
  EXPECT_EQ(Build(qr, dir), "\x93\x5F\x8A\xBF" "AB" "\x93\x5F\x8A\xBF\xE4\xAA" "123");
  qr.setCodeBinary({0x935F, 0x8ABF, 0x8ABF, 0x935F});
  qr.SetEncoding(ENC_KANJI);
  EXPECT_EQ(Build(qr, dir), "\x93\x5F\x8A\xBF\x8A\xBF\x93\x5F");

  // ECI 26 (UTF-8) with UTF-8 bytes, as a field and as a tilde escape.
  TQRCode eci;
  eci.SetEci(26);
  eci.SetCode(U16("Gr\xC3\xBC\xC3\x9F" "e"));
  EXPECT_EQ(Build(eci, dir), "Gr\xC3\xBC\xC3\x9F" "e");
  TQRCode tilde;
  tilde.SetProcessTilde(true);
  tilde.SetCode(U16("~e000026caf\xC3\xA9 ~d065~~"));
  EXPECT_EQ(Build(tilde, dir), "caf\xC3\xA9 A~");

  // Structured Append: zbarimg joins the symbols of a sequence seen together
  // when each carries the parity of the whole message.
  const char *parts[] = {"PART ONE OF THREE ", "part two, ", "and 3"};
  TQRCode sa[3];
  for (int i = 0; i < 3; ++i) {
    sa[i].SetStructuredAppendParity(TQRCode::Parity(qrtest::Codes("PART ONE OF THREE part two, and 3")));
    sa[i].SetStructuredAppend(true);
    sa[i].SetStructuredAppendIndex(i + 1);
    sa[i].SetStructuredAppendCounter(3);
    sa[i].SetCode(U16(parts[i]));
    sa[i].BuildSymbol();
  }
  EXPECT_EQ(qrtest::ZbarDecode({sa[0].Bitmap(), sa[2].Bitmap(), sa[1].Bitmap()}, dir),
            "PART ONE OF THREE part two, and 3");
}

// A text's characters beyond U+00FF go in kanji mode by their Shift JIS code:
// U+8A9E is 語 (0x8CEA), not the Shift JIS character 0x8A9E (萱).
TEST(QRDecode, TextKanjiCarryTheirShiftJisCodes) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  TQRCode qr;
  qr.SetCode(u"\u8A9E");
  EXPECT_EQ(Build(qr, dir), "\x8C\xEA");
  EXPECT_EQ(qr.SelectedVersion(), 1);
  // Kana and kanji among letters and digits.
  qr.SetCode(u"\u8ACB\u6C42\u66F8 No. 4711 \u3042\u30A2");
  EXPECT_EQ(Build(qr, dir), "\x90\xBF\x8B\x81\x8F\x91 No. 4711 \x82\xA0\x83\x41");
  qr.SetEncoding(ENC_KANJI);
  qr.SetCode(u"\u8A9E\u8ACB");
  EXPECT_EQ(Build(qr, dir), "\x8C\xEA\x90\xBF");
  // No Shift JIS code, or byte mode: refused with the character named.
  for (TQRCodeEncoding mode : {ENC_AUTO, ENC_BYTE}) {
    qr.SetEncoding(mode);
    qr.SetCode(mode == ENC_AUTO ? u"A\u20AC" : u"A\u8A9E");
    try {
      qr.BuildSymbol();
      ADD_FAILURE() << "mode " << mode << " took the text";
    } catch (const ENxError &e) {
      EXPECT_EQ(e.code(), nxeData);
      EXPECT_NE(std::string(e.what()).find(mode == ENC_AUTO ? "U+20AC at position 2" : "U+8A9E at position 2"),
                std::string::npos)
          << e.what();
    }
  }
}

TEST(QRDecode, EveryVersion) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  for (int32_t v = 1; v <= 40; ++v) {
    TQRCode qr;
    auto level = TQRCodeECLevel(v % 4);
    qr.SetCorrectionLevel(level);
    qr.SetPreferredVersion(v);
    qr.SetAutoConfigurate(false);
    // Letters, digit runs and lower case: several segments.
    const std::string pattern = "QR CODE VERSION 0123456789012345 with lower case; ";
    std::string text;
    int32_t n = std::max(1, QRCharCapacity(v, level, ENC_BYTE) * 3 / 4);
    for (int32_t i = 0; i < n; ++i) text += pattern[size_t(i + v) % pattern.size()];
    qr.SetCode(U16(text));
    std::string got = Build(qr, dir);
    EXPECT_EQ(qr.SelectedVersion(), v);
    EXPECT_EQ(got, text) << "version " << v;
  }
}

}  // namespace
