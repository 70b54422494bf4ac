// Symbology encoders: check characters worked out by hand, and element
// strings compared module for module with zint, an independent encoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "barcode/ZbrUtils.h"
#include "common/ErrorChannel.h"
#include "platform/win32.h"
#include "support/TestSupport.h"

namespace {

using namespace nx;

// Expands an element string to modules ('1' bar, '0' space) with narrow
// width n and wide width w; short bars count as bars.
std::string Modules(const std::string &elements, int n, int w) {
  std::string bits;
  for (char c : elements) {
    int width = 0;
    switch (c) {
      case '0': case '4': case '5': case '9': case 'A': width = n; break;
      case '1': case '6': width = w; break;
      case '2': case '7': width = (w * 3 + 1) / 2; break;
      case '3': case '8': width = 2 * w; break;
      default: break;
    }
    bool bar = c >= '5';
    bits.append(width, bar ? '1' : '0');
  }
  return bits;
}

// Formats modules as zint's --dump does for a linear symbol: hex bytes
// separated by spaces, the last nibble padded with zeros.
std::string ZintHex(std::string bits) {
  while (bits.size() % 4) bits += '0';
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bits.size(); i += 4) {
    if (i && i % 8 == 0) out += ' ';
    out += hex[std::stoi(bits.substr(i, 4), nullptr, 2)];
  }
  return out;
}

std::string ZintDump(const std::string &args) {
  auto r = nxtest::RunCommand("zint " + args + " --dump 2>/dev/null");
  std::string out = r.output;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string Encoded(const std::string &code, TZbrBarCodeType type, bool checksum = false, bool longGuards = false) {
  TZbrPrepared p = PrepareCode(code, type, checksum);
  return EncodePattern(p.Code, type, longGuards, type == CODE39EX ? p.Check.size() : 0);
}

// Our module pattern for code at narrow 1 and wide w, as zint prints it.
std::string Ours(const std::string &code, TZbrBarCodeType type, int w, bool checksum = false) {
  return ZintHex(Modules(Encoded(code, type, checksum), 1, w));
}

TEST(EncoderTables, MatchZintForEanUpc) {
  NX_REQUIRE_TOOL("zint");
  for (std::string d : {"5901234123457", "4006381333931", "0000000000000", "9780201379624", "1234567890128"})
    EXPECT_EQ(Ours(d, EAN13, 2), ZintDump("-b EANX -d " + d.substr(0, 12))) << d;
  for (std::string d : {"96385074", "55123457", "01234565"})
    EXPECT_EQ(Ours(d, EAN8, 2), ZintDump("-b EANX -d " + d.substr(0, 7))) << d;
  for (std::string d : {"036000291452", "123456789012", "999999999993"})
    EXPECT_EQ(Ours(d, UPCA, 2), ZintDump("-b UPCA -d " + d.substr(0, 11))) << d;
  // UPC-E: every check digit row, number systems 0 and 1, check digit from
  // the UPC-A expansion as zint computes it.
  for (std::string d : {"0123456", "0654321", "0111112", "0333334", "0444445", "0555556", "0987650",
                        "1123456", "1654320", "0012340", "0012341", "0001232"}) {
    EXPECT_EQ(Ours(d, UPCE0, 2, true), ZintDump("-b UPCE -d " + d)) << d;
  }
}

// The printable ASCII range, without the characters in skip.
std::string Printable(const std::string &skip = "") {
  std::string s;
  for (int c = 32; c < 127; ++c)
    if (skip.find(char(c)) == std::string::npos) s += char(c);
  return s;
}

TEST(EncoderTables, MatchZintForCode39Code93AndCodabar) {
  NX_REQUIRE_TOOL("zint");
  const std::string basic = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
  EXPECT_EQ(Ours(basic, CODE39, 2), ZintDump("-b CODE39 -d '" + basic + "'"));
  EXPECT_EQ(Ours("CODE39", CODE39, 2, true), ZintDump("-b CODE39 --vers=1 -d CODE39"));
  // Full ASCII: '-' and '.' are written /M and /N here, while zint keeps them
  // as they are, so those two are compared with zint's /M and /N.
  const std::string ascii = Printable("-.");
  for (size_t i = 0; i < ascii.size(); i += 30) {
    std::string part = ascii.substr(i, 30);
    EXPECT_EQ(Ours(part, CODE39EX, 2), ZintDump("-b EXCODE39 -d " + nxtest::ShellQuote(part))) << part;
  }
  EXPECT_EQ(Ours("a-b.", CODE39EX, 2), ZintDump("-b CODE39 -d +A/M+B/N"));
  EXPECT_EQ(Ours("a\x01\x1b\x7f", CODE39EX, 2), ZintDump("-b EXCODE39 --esc -d 'a\\x01\\e\\x7F'"));
  for (std::string d : {"abc+1", "x$y", "%%", "Zz9"})
    EXPECT_EQ(Ours(d, CODE39EX, 2, true), ZintDump("-b EXCODE39 --vers=1 -d " + nxtest::ShellQuote(d))) << d;

  EXPECT_EQ(Ours("TEST93", CODE93, 2), ZintDump("-b CODE93 -d TEST93"));
  EXPECT_EQ(Ours(basic, CODE93, 2), ZintDump("-b CODE93 -d '" + basic + "'"));
  EXPECT_EQ(Ours(std::string(40, 'Z') + "9", CODE93, 2), ZintDump("-b CODE93 -d " + std::string(40, 'Z') + "9"));
  // Full ASCII: zint writes $ % + / - . unshifted; here they are shifted
  // like the other punctuation, so they are compared through their shifts.
  const std::string ascii93 = Printable("$%+/-.");
  for (size_t i = 0; i < ascii93.size(); i += 20) {
    std::string part = ascii93.substr(i, 20);
    EXPECT_EQ(Ours(part, CODE93EX, 2), ZintDump("-b CODE93 -d " + nxtest::ShellQuote(part))) << part;
  }
  EXPECT_EQ(Ours("\x01\x7f", CODE93EX, 2), ZintDump("-b CODE93 --esc -d '\\x01\\x7F'"));
  EXPECT_EQ(Encoded("$%+/-.", CODE93EX), Encoded("{D{E{K{O{M{N", CODE93));

  // Codabar always starts with A and stops with B; zint takes them in the data.
  const std::string codabar = "1234567890-$:/.+";
  EXPECT_EQ(Ours(codabar, CODABAR, 2), ZintDump("-b CODABAR -d 'A" + codabar + "B'"));
  // C and D inside the data: compare without our A and B frame with zint's C...D.
  std::string e = Encoded("C1D", CODABAR);
  EXPECT_EQ(ZintHex(Modules(e.substr(8, e.size() - 16), 1, 2)), ZintDump("-b CODABAR -d C1D"));
}

TEST(EncoderTables, MatchZintForCode128) {
  NX_REQUIRE_TOOL("zint");
  const std::string printable = Printable();
  for (size_t i = 0; i < printable.size(); i += 40) {
    std::string part = printable.substr(i, 40);
    EXPECT_EQ(Ours(part, CODE128B, 2), ZintDump("-b CODE128B -d " + nxtest::ShellQuote(part))) << part;
  }
  // DEL is code set B's value 95.
  EXPECT_EQ(Ours("a\x7F" "b", CODE128B, 2), ZintDump("-b CODE128B --esc -d 'a\\x7Fb'"));
  EXPECT_EQ(Ours("12345", CODE128C, 2), ZintDump("-b CODE128 -d 012345"));
  EXPECT_EQ(Ours("98765432109876543210", CODE128C, 2), ZintDump("-b CODE128 -d 98765432109876543210"));
  EXPECT_EQ(Ours("0112345678901231", EAN128C, 2), ZintDump("-b GS1_128 -d '[01]12345678901231'"));
}

TEST(EncoderTables, MatchZintForTwoOfFiveCode11MsiAndPostnet) {
  NX_REQUIRE_TOOL("zint");
  EXPECT_EQ(Ours("1234567890", INTER_25, 3), ZintDump("-b C25INTER -d 1234567890"));
  EXPECT_EQ(Ours("0123456789", INDUS_25, 3), ZintDump("-b C25IND -d 0123456789"));
  EXPECT_EQ(Ours("0123456789-", CODE11, 1), ZintDump("-b CODE11 --vers=2 -d 0123456789-"));
  EXPECT_EQ(Ours("123-45", CODE11, 1, true), ZintDump("-b CODE11 --vers=1 -d 123-45"));
  EXPECT_EQ(Ours("123", CODE11, 1, true), ZintDump("-b CODE11 --vers=1 -d 123"));
  EXPECT_EQ(Ours("8374729305", CODE11, 1, true), ZintDump("-b CODE11 -d 8374729305"));
  EXPECT_EQ(Ours("0123456789", MSI, 1), ZintDump("-b MSI_PLESSEY -d 0123456789"));
  EXPECT_EQ(Ours("80523", MSI, 1, true), ZintDump("-b MSI_PLESSEY --vers=1 -d 80523"));

  // POSTNET: zint prints the tall-bar row, then the row every bar reaches.
  std::string e = Encoded("123455", POSTNET);  // 12345 and its check digit 5
  std::string tall, all;
  for (char c : e) {
    tall += c == '5' ? '1' : '0';
    all += (c == '5' || c == 'A') ? '1' : '0';
  }
  EXPECT_EQ(ZintHex(tall) + "\n" + ZintHex(all), ZintDump("-b POSTNET -d 12345 --gs1nocheck"));
}

TEST(CheckCharacters, Code128AndEan128) {
  // Code 128 C: 12345 becomes 012345, pairs 01 23 45, check 81.
  TZbrPrepared p = PrepareCode("12345", CODE128C, false);
  EXPECT_EQ(p.Code, "012345");
  std::string e = EncodePattern(p.Code, CODE128C, false);
  // start, three pairs, check, stop: 5 symbols of 6 elements and the stop's 7.
  ASSERT_EQ(e.size(), 5u * 6 + 7);
  // Symbol 81 is 121142: elements bar 1, space 2, bar 1, space 1, bar 4, space 2.
  EXPECT_EQ(e.substr(24, 6), "515081");
  // EAN-128 B, AB: start B, FNC1, 'A', 'B', check 65 (131123 -> "5205" "12").
  e = EncodePattern("AB", EAN128B, false);
  ASSERT_EQ(e.size(), 5u * 6 + 7);
  EXPECT_EQ(e.substr(6, 6), "805070");   // FNC1 = 411131
  EXPECT_EQ(e.substr(24, 6), "515063");  // 65 = 121124
  // Characters outside the code set and broken pairs are refused, never
  // replaced by spaces or "00".
  EXPECT_EQ(EncodePattern("a", CODE128A, false), "invalid");
  EXPECT_EQ(EncodePattern("1x", CODE128C, false), "invalid");
  // With checksum, digits get a mod 10 digit and an even length.
  EXPECT_EQ(PrepareCode("1234", CODE128C, true).Code, "012348");
  EXPECT_EQ(PrepareCode("123", CODE128B, true).Code, "1236");
  EXPECT_EQ(PrepareCode("12a", CODE128B, true).Code, "12a");
}

TEST(CheckCharacters, Code39Code93TwoOfFiveCode11Msi) {
  TZbrPrepared p = PrepareCode("CODE39", CODE39, true);
  EXPECT_EQ(p.Code, "CODE39W");
  EXPECT_EQ(p.Check, "W");
  // No data gets no check character (nor, for UPC-A, zeros to carry one).
  EXPECT_EQ(PrepareCode("", CODE39, true).Code, "");
  EXPECT_EQ(PrepareCode("", UPCA, false).Code, "");

  // TEST93: C = 41 ('+', 113121), K = 6 ('6', 121311) right before the stop.
  std::string e = EncodePattern("TEST93", CODE93, false);
  ASSERT_EQ(e.size(), 6u * 9 + 7);
  EXPECT_EQ(e.substr(42, 6), "507060");
  EXPECT_EQ(e.substr(48, 6), "515250");

  EXPECT_EQ(PrepareCode("123", INTER_25, false).Code, "0123");
  EXPECT_EQ(PrepareCode("1234", INTER_25, false).Code, "1234");
  EXPECT_EQ(PrepareCode("123", INTER_25, true).Code, "1236");
  EXPECT_EQ(PrepareCode("12", INDUS_25, true).Code, "123");  // 2x3 + 1 = 7

  p = PrepareCode("123-45", CODE11, true);
  EXPECT_EQ(p.Code, "123-455");
  EXPECT_EQ(p.Check, "5");
  TZbrDigitControl control;
  // Short data: one check, 10 written '-' (1x3 + 2x2 + 3x1 = 10).
  ASSERT_TRUE(CalcCheckDigit("123", csMod11, control));
  EXPECT_EQ(control.Code, "123-");
  EXPECT_EQ(control.DC, "-");
  // Ten digits: C = 293 mod 11 = 7, then K over the data and C = 249 mod 11 = 7.
  ASSERT_TRUE(CalcCheckDigit("8374729305", csMod11, control));
  EXPECT_EQ(control.Code, "837472930577");
  EXPECT_EQ(control.DC, "7");
  ASSERT_TRUE(CalcCheckDigit("80523", csMSI10, control));
  EXPECT_EQ(control.DC, "4");  // 6 + 2 + (1+0) + 0 + (1+6) = 16
  EXPECT_FALSE(CalcCheckDigit("12A", csmMod10, control));
  EXPECT_EQ(control.Code, "12A");
  EXPECT_EQ(control.DC, "");
}

TEST(CheckCharacters, EanUpcPaddingAndCutting) {
  EXPECT_EQ(PrepareCode("590123412345", EAN13, true).Code, "5901234123457");
  EXPECT_EQ(PrepareCode("5901234123450", EAN13, true).Code, "5901234123457");
  EXPECT_EQ(PrepareCode("123", EAN13, true).Code, "0000000001236");
  EXPECT_EQ(PrepareCode("5901234123450", EAN13, false).Code, "5901234123450");
  EXPECT_EQ(PrepareCode("9638507", EAN8, true).Code, "96385074");
  // UPC-A always recomputes its check digit.
  EXPECT_EQ(PrepareCode("036000291450", UPCA, false).Code, "036000291452");
  EXPECT_EQ(PrepareCode("36000291452", UPCA, false).Code, "360002914522");
}

TEST(Encoders, UpcEParityAndPostnetLength) {
  // Without checksum 01234565 uses the parity row of its last digit, 5 = EOOEEO.
  std::string e = EncodePattern("01234565", UPCE0, false);
  ASSERT_EQ(e.size(), 3u + 6 * 4 + 6);
  // Number sets A and B (space, bar, space, bar module widths) as element codes.
  const char *setA[] = {"2605", "1615", "1516", "0805", "0526", "0625", "0508", "0706", "0607", "2506"};
  const char *setB[] = {"0517", "0616", "1606", "0535", "1705", "0715", "3505", "1525", "2515", "1507"};
  const char *parity = "EOOEEO";
  for (int i = 0; i < 6; ++i) {
    int digit = "1234565"[i] - '0';
    EXPECT_EQ(e.substr(3 + i * 4, 4), parity[i] == 'E' ? setB[digit] : setA[digit]) << i;
  }
  EXPECT_EQ(EncodePattern("12345", POSTNET, false).size(), 53u);
  // Long guards only change the guard bars.
  std::string shortG = EncodePattern("5901234123457", EAN13, false);
  std::string longG = EncodePattern("5901234123457", EAN13, true);
  EXPECT_EQ(longG.substr(0, 3), "949");
  EXPECT_EQ(shortG.substr(0, 3), "505");
  EXPECT_EQ(Modules(longG, 1, 2), Modules(shortG, 1, 2));
}

TEST(Encoders, FailuresGiveInvalidAndAClearMessage) {
  struct Case {
    const char *code;
    TZbrBarCodeType type;
  } cases[] = {{"X901234123457", EAN13}, {"590123412345", EAN13}, {"1234567", EAN8}, {"12345678901A", UPCA},
               {"21234565", UPCE0},      {"abc", CODE39},         {"a", CODE93},     {"12E", CODABAR},
               {"12a4", INTER_25},       {"1x", INDUS_25},        {"1x", MATRIX_25}, {"12A", CODE11},
               {"1.5", MSI},             {"1234a", POSTNET},
               // Code 128 and EAN-128: outside the code set, broken or odd digit pairs.
               {"Gr\xFC\xDF" "e", CODE128B}, {"Gr\xFC\xDF" "e", EAN128B}, {"a", CODE128A}, {"\x80", CODE128A},
               {"12AB", CODE128C},       {"123", CODE128C},       {"1x", EAN128C},
               // '*' is Code 39's start and stop; Full ASCII ends at 127.
               {"A*B", CODE39},          {"*", CODE39},           {"\xE9", CODE39EX}, {"a\xE9", CODE93EX},
               // A symbol without data.
               {"", CODE39},             {"", CODE39EX},          {"", CODE93},      {"", CODABAR},
               {"", CODE128A},           {"", CODE128B},          {"", CODE128C},    {"", EAN128B},
               {"", INTER_25},           {"", CODE11},            {"", MSI},         {"", POSTNET}};
  for (const auto &c : cases) {
    ClearLastNxError();
    EXPECT_EQ(EncodePattern(c.code, c.type, true), "invalid") << c.code;
    EXPECT_EQ(LastNxError(), nxeData) << c.code;
    EXPECT_NE(LastNxErrorText().find(ZbrTypeName(c.type)), std::string::npos) << LastNxErrorText();
  }
  // UPC-A with a letter: the check digit cannot be computed, the encoder says why.
  ClearLastNxError();
  TZbrPrepared p = PrepareCode("1234567890A", UPCA, false);
  EXPECT_EQ(EncodePattern(p.Code, UPCA, false), "invalid");
  EXPECT_NE(LastNxErrorText().find("character 11 is not a digit"), std::string::npos) << LastNxErrorText();
  // Interleaved 2 of 5 that is not a whole number: the message box (no display
  // here: it reaches the sink), the error channel, unchanged text.
  ClearLastNxError();
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  static std::u16string boxText;
  SetMessageBoxSink([](LPCWSTR text, LPCWSTR, UINT, void *) { boxText = text; }, nullptr);
  EXPECT_EQ(PrepareCode("12a", INTER_25, false).Code, "12a");
  SetMessageBoxSink(nullptr, nullptr);
  EXPECT_EQ(boxText, u"Barcode error : '12a' is not a valid integer value");
  EXPECT_EQ(LastNxErrorText(), "Barcode error : '12a' is not a valid integer value");
  // Long digit strings are whole numbers even beyond 64 bits.
  ClearLastNxError();
  EXPECT_EQ(PrepareCode("123456789012345678901", INTER_25, false).Code, "0123456789012345678901");
  EXPECT_EQ(LastNxError(), nxeNone);
}

}  // namespace
