#include "barcode/ZbrUtils.h"

#include <cstdio>
#include <cstring>

#include "common/ErrorChannel.h"
#include "platform/win32.h"

namespace nx {
namespace {

// ---------------------------------------------------------------------------
// Tables

// Code 39 (ISO/IEC 16388): nine elements b s b s b s b s b; '5'/'6' narrow and
// wide bar, '0'/'1' narrow and wide space. Values 0..42 in table order, '*' = 0.
struct Code39Entry {
  char ch;
  const char *elements;
  int value;
};
constexpr Code39Entry kCode39[44] = {
    {'0', "505160605", 0}, {'1', "605150506", 1}, {'2', "506150506", 2}, {'3', "606150505", 3},
    {'4', "505160506", 4}, {'5', "605160505", 5}, {'6', "506160505", 6}, {'7', "505150606", 7},
    {'8', "605150605", 8}, {'9', "506150605", 9}, {'A', "605051506", 10}, {'B', "506051506", 11},
    {'C', "606051505", 12}, {'D', "505061506", 13}, {'E', "605061505", 14}, {'F', "506061505", 15},
    {'G', "505051606", 16}, {'H', "605051605", 17}, {'I', "506051605", 18}, {'J', "505061605", 19},
    {'K', "605050516", 20}, {'L', "506050516", 21}, {'M', "606050515", 22}, {'N', "505060516", 23},
    {'O', "605060515", 24}, {'P', "506060515", 25}, {'Q', "505050616", 26}, {'R', "605050615", 27},
    {'S', "506050615", 28}, {'T', "505060615", 29}, {'U', "615050506", 30}, {'V', "516050506", 31},
    {'W', "616050505", 32}, {'X', "515060506", 33}, {'Y', "615060505", 34}, {'Z', "516060505", 35},
    {'-', "515050606", 36}, {'.', "615050605", 37}, {' ', "516050605", 38}, {'*', "515060605", 0},
    {'$', "515151505", 39}, {'/', "515150515", 40}, {'+', "515051515", 41}, {'%', "505151515", 42},
};

// Code 39 Full ASCII (ISO/IEC 16388) for the codes 0..127.
constexpr const char *kCode39Ascii[128] = {
    "%U", "$A", "$B", "$C", "$D", "$E", "$F", "$G", "$H", "$I", "$J", "$K", "$L", "$M", "$N", "$O",
    "$P", "$Q", "$R", "$S", "$T", "$U", "$V", "$W", "$X", "$Y", "$Z", "%A", "%B", "%C", "%D", "%E",
    " ",  "/A", "/B", "/C", "/D", "/E", "/F", "/G", "/H", "/I", "/J", "/K", "/L", "/M", "/N", "/O",
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "/Z", "%F", "%G", "%H", "%I", "%J",
    "%V", "A",  "B",  "C",  "D",  "E",  "F",  "G",  "H",  "I",  "J",  "K",  "L",  "M",  "N",  "O",
    "P",  "Q",  "R",  "S",  "T",  "U",  "V",  "W",  "X",  "Y",  "Z",  "%K", "%L", "%M", "%N", "%O",
    "%W", "+A", "+B", "+C", "+D", "+E", "+F", "+G", "+H", "+I", "+J", "+K", "+L", "+M", "+N", "+O",
    "+P", "+Q", "+R", "+S", "+T", "+U", "+V", "+W", "+X", "+Y", "+Z", "%P", "%Q", "%R", "%S", "%T",
};

// Code 93 (AIM): characters by value 0..46 and their module widths b s b s b s.
// The shift characters ($) (%) (/) (+) are written '[' ']' '{' '}'.
constexpr char kCode93Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%[]{}";
constexpr const char *kCode93Widths[47] = {
    "131112", "111213", "111312", "111411", "121113", "121212", "121311", "111114", "131211", "141111",
    "211113", "211212", "211311", "221112", "221211", "231111", "112113", "112212", "112311", "122112",
    "132111", "111123", "111222", "111321", "121122", "131121", "212112", "212211", "211122", "211221",
    "221121", "222111", "112122", "112221", "122121", "123111", "121131", "311112", "311211", "321111",
    "112131", "113121", "211131", "121221", "312111", "311121", "122211",
};

// Code 93 Full ASCII (AIM) for the codes 0..127.
constexpr const char *kCode93Ascii[128] = {
    "]U", "[A", "[B", "[C", "[D", "[E", "[F", "[G", "[H", "[I", "[J", "[K", "[L", "[M", "[N", "[O",
    "[P", "[Q", "[R", "[S", "[T", "[U", "[V", "[W", "[X", "[Y", "[Z", "]A", "]B", "]C", "]D", "]E",
    " ",  "{A", "{B", "{C", "{D", "{E", "{F", "{G", "{H", "{I", "{J", "{K", "{L", "{M", "{N", "{O",
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "{Z", "]F", "]G", "]H", "]I", "]J",
    "]V", "A",  "B",  "C",  "D",  "E",  "F",  "G",  "H",  "I",  "J",  "K",  "L",  "M",  "N",  "O",
    "P",  "Q",  "R",  "S",  "T",  "U",  "V",  "W",  "X",  "Y",  "Z",  "]K", "]L", "]M", "]N", "]O",
    "]W", "}A", "}B", "}C", "}D", "}E", "}F", "}G", "}H", "}I", "}J", "}K", "}L", "}M", "}N", "}O",
    "}P", "}Q", "}R", "}S", "}T", "}U", "}V", "}W", "}X", "}Y", "}Z", "]P", "]Q", "]R", "]S", "]T",
};

// Code 128 (ISO/IEC 15417) symbol characters 0..102 as module widths b s b s b s,
// then the three start characters. Code sets A, B and C are looked up by rule.
constexpr const char *kCode128Widths[106] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232",
};
constexpr const char *kCode128Stop = "2331112";
constexpr int kCode128Fnc1 = 102;

// EAN/UPC number sets A, B and C (ISO/IEC 15420), already as element codes.
constexpr const char *kEanSetA[10] = {"2605", "1615", "1516", "0805", "0526",
                                      "0625", "0508", "0706", "0607", "2506"};
constexpr const char *kEanSetB[10] = {"0517", "0616", "1606", "0535", "1705",
                                      "0715", "3505", "1525", "2515", "1507"};
constexpr const char *kEanSetC[10] = {"7150", "6160", "6061", "5350", "5071",
                                      "5170", "5053", "5251", "5152", "7051"};
// EAN-13 parity of the left half, row = first digit.
constexpr const char *kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                          "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
// UPC-E parity of number system 0, row = check digit ('E' set B, 'O' set A).
constexpr const char *kUpcEParity[10] = {"EEEOOO", "EEOEOO", "EEOOEO", "EEOOOE", "EOEEOO",
                                         "EOOEEO", "EOOOEE", "EOEOEO", "EOEOOE", "EOOEOE"};

// Codabar (AIM, two widths), seven elements b s b s b s b.
constexpr char kCodabarChars[] = "1234567890-$:/.+ABCD";
constexpr const char *kCodabar[20] = {
    "5050615", "5051506", "6150505", "5060515", "6050515", "5150506", "5150605", "5160505",
    "6051505", "5050516", "5051605", "5061505", "6050606", "6060506", "6060605", "5060606",
    "5061515", "5151506", "5051516", "5051615",
};

// 2 of 5 digit flags (1 = wide), shared by Interleaved, Industrial and Matrix.
constexpr const char *k2of5[10] = {"00110", "10001", "01001", "11000", "00101",
                                   "10100", "01100", "00011", "10010", "01010"};

// Code 11: digits 0..9, start/stop, '-'. Narrow/wide bar '6'/'8', space '1'/'3'.
constexpr const char *kCode11[12] = {"61618", "81618", "63618", "83616", "61818", "81816",
                                     "63816", "61638", "81636", "81616", "61836", "61816"};
constexpr int kCode11StartStop = 10;
constexpr int kCode11Dash = 11;

// MSI (Plessey) bits: 0 and 1.
constexpr const char *kMsiBit[2] = {"63", "81"};

// POSTNET (USPS): full (1) and short (0) bars of each digit.
constexpr const char *kPostnet[10] = {"11000", "00011", "00101", "00110", "01001",
                                      "01010", "01100", "10001", "10010", "10100"};

constexpr const char *kTypeNames[kZbrBarCodeTypeCount] = {
    "EAN13", "EAN8", "UPCA", "UPCE0", "CODE39", "CODE39EX", "CODE93", "CODE93EX",
    "CODABAR", "EAN128A", "EAN128B", "EAN128C", "CODE128A", "CODE128B", "CODE128C", "INTER_25",
    "INDUS_25", "MATRIX_25", "CODE11", "MSI", "POSTNET", "DATAMATRIX", "PDF417", "QR",
};

// ---------------------------------------------------------------------------
// Helpers

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(const std::string &s) {
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

// Records why a code cannot be encoded and returns false, for "invalid".
bool Reject(TZbrBarCodeType type, const std::string &code, const char *why) {
  SetLastNxError(nxeData, std::string("Barcode ") + ZbrTypeName(type) + ": cannot encode \"" + code +
                              "\": " + why);
  return false;
}

// Index of the first non-digit of s, or npos.
size_t FirstNonDigit(const std::string &s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (!IsDigit(s[i])) return i;
  return std::string::npos;
}

bool RejectNonDigit(TZbrBarCodeType type, const std::string &code, size_t at) {
  char why[64];
  std::snprintf(why, sizeof why, "character %zu is not a digit", at + 1);
  return Reject(type, code, why);
}

// Character at (from 0) of code has no place in the symbology's table.
bool RejectCharacter(TZbrBarCodeType type, const std::string &code, size_t at, const char *table) {
  const unsigned char c = static_cast<unsigned char>(code[at]);
  char why[128];
  if (c >= 0x20 && c < 0x7F)
    std::snprintf(why, sizeof why, "character %zu ('%c') is not in %s", at + 1, c, table);
  else
    std::snprintf(why, sizeof why, "character %zu (0x%02X) is not in %s", at + 1, unsigned(c), table);
  return Reject(type, code, why);
}

// Fixed-length EAN/UPC codes: exactly len digits.
bool CheckDigits(TZbrBarCodeType type, const std::string &code, size_t len) {
  size_t bad = FirstNonDigit(code);
  if (bad != std::string::npos) return RejectNonDigit(type, code, bad);
  if (code.size() != len) {
    char why[64];
    std::snprintf(why, sizeof why, "needs exactly %zu digits, has %zu characters", len, code.size());
    return Reject(type, code, why);
  }
  return true;
}

// Converts a width string (module counts) to element codes by position:
// even positions are bars ('5'..'8'), odd positions spaces ('0'..'3').
void AppendWidths(std::string &out, const char *widths, size_t &position) {
  for (const char *p = widths; *p; ++p, ++position)
    out.push_back((position & 1) ? char(*p - 1) : char(*p + 4));
}

int Code39Index(unsigned char c) {
  for (int i = 0; i < 44; ++i)
    if (kCode39[i].ch == char(c)) return i;
  return -1;
}

int Code93Value(char c) {
  const char *p = std::strchr(kCode93Chars, c);
  return (p && c) ? int(p - kCode93Chars) : -1;
}

int CodabarIndex(char c) {
  const char *p = std::strchr(kCodabarChars, c);
  return (p && c) ? int(p - kCodabarChars) : -1;
}

// Expands through a Full ASCII table. The last literalTail characters are
// kept as they are. Returns the index of the first character above 127,
// which no Full ASCII table holds, or npos when all were expanded.
size_t ExpandAscii(const std::string &code, const char *const table[128], size_t literalTail, std::string &out) {
  size_t tail = literalTail < code.size() ? literalTail : code.size();
  size_t body = code.size() - tail;
  out.clear();
  out.reserve(code.size() * 2);
  for (size_t i = 0; i < body; ++i) {
    unsigned char c = static_cast<unsigned char>(code[i]);
    if (c >= 128) return i;
    out += table[c];
  }
  out.append(code, body, tail);
  return std::string::npos;
}

// ---------------------------------------------------------------------------
// Check schemes

// Weights 3, 1, 3, ... from the rightmost character leftwards.
bool Mod10(const std::string &data, std::string &check) {
  int sum = 0;
  int weight = 3;
  for (size_t i = data.size(); i-- > 0;) {
    if (!IsDigit(data[i])) return false;
    sum += (data[i] - '0') * weight;
    weight = 4 - weight;
  }
  check = char('0' + (10 - sum % 10) % 10);
  return true;
}

// UPC-E: the check digit of the UPC-A code the seven characters
// (number system and six digits) stand for.
bool Mod10UpcE(const std::string &data, std::string &check) {
  if (data.size() != 7 || !AllDigits(data)) return false;
  const std::string d = data.substr(1, 6);
  std::string upca(1, data[0]);
  switch (d[5]) {
    case '0': case '1': case '2': upca += d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3); break;
    case '3': upca += d.substr(0, 3) + "00000" + d.substr(3, 2); break;
    case '4': upca += d.substr(0, 4) + "00000" + d[4]; break;
    default: upca += d.substr(0, 5) + "0000" + d[5]; break;
  }
  return Mod10(upca, check);
}

int Mod11Value(char c) { return c == '-' ? 10 : c - '0'; }

char Mod11Char(int v) { return v == 10 ? '-' : char('0' + v); }

// Sum mod 11 with weights 1..maxWeight repeating from the right.
bool Mod11Sum(const std::string &data, int maxWeight, int &result) {
  int sum = 0;
  int weight = 1;
  for (size_t i = data.size(); i-- > 0;) {
    if (!IsDigit(data[i]) && data[i] != '-') return false;
    sum += Mod11Value(data[i]) * weight;
    weight = weight == maxWeight ? 1 : weight + 1;
  }
  result = sum % 11;
  return true;
}

bool Mod11(const std::string &data, std::string &check, std::string &dc) {
  int c = 0;
  if (data.size() < 10) {
    if (!Mod11Sum(data, 1 << 30, c)) return false;
    check = dc = std::string(1, Mod11Char(c));
    return true;
  }
  if (!Mod11Sum(data, 10, c)) return false;
  int k = 0;
  Mod11Sum(data + Mod11Char(c), 9, k);
  check = std::string(1, Mod11Char(c)) + Mod11Char(k);
  dc = std::string(1, Mod11Char(k));
  return true;
}

// Luhn-style: every other digit from the rightmost is doubled, digits summed.
bool Msi10(const std::string &data, std::string &check) {
  int sum = 0;
  bool dbl = true;
  for (size_t i = data.size(); i-- > 0;) {
    if (!IsDigit(data[i])) return false;
    int d = data[i] - '0';
    if (dbl) d = d * 2 / 10 + d * 2 % 10;
    sum += d;
    dbl = !dbl;
  }
  check = char('0' + (10 - sum % 10) % 10);
  return true;
}

// Code 39 check character over the characters found in the table.
char Code39Check(const std::string &code) {
  int sum = 0;
  for (char c : code) {
    int i = Code39Index(static_cast<unsigned char>(c));
    if (i >= 0) sum += kCode39[i].value;
  }
  sum %= 43;
  for (const auto &e : kCode39)
    if (e.value == sum) return e.ch;
  return '0';
}

// The text "'%s' is not a valid integer value", or empty when code is a whole number.
std::string IntegerConversionError(const std::string &code) {
  if (!code.empty() && AllDigits(code)) return {};
  return "'" + code + "' is not a valid integer value";
}

// The message box of the Interleaved 2 of 5 conversion failure. Drawing goes on.
void ShowConversionError(const std::string &text) {
  std::string message = "Barcode error : " + text;
  SetLastNxError(nxeData, message);
  // Without a display the platform writes the box to stderr and answers OK.
  WString wide(message.size() + 1, WCHAR(0));
  int n = MultiByteToWideChar(CP_ACP, 0, message.data(), (int)message.size(), wide.data(),
                              (int)wide.size());
  wide.resize(n > 0 ? (size_t)n : 0);
  MessageBoxW(nullptr, wide.c_str(), NXW("Error"), MB_OK | MB_ICONERROR);
}

std::string PadLeft(const std::string &code, size_t len) {
  return code.size() < len ? std::string(len - code.size(), '0') + code : code;
}

// Cuts a code of exactly len + 1 characters to len, pads shorter ones to len.
std::string FitLength(const std::string &code, size_t len) {
  return code.size() == len + 1 ? code.substr(0, len) : PadLeft(code, len);
}

TZbrPrepared WithCheck(const std::string &code, TZbrCheckType scheme) {
  TZbrDigitControl control;
  CalcCheckDigit(code, scheme, control);
  return {control.Code, control.Code.substr(code.size())};
}

bool IsCode128(TZbrBarCodeType t) { return t >= EAN128A && t <= CODE128C; }
bool IsCode128C(TZbrBarCodeType t) { return t == CODE128C || t == EAN128C; }

// ---------------------------------------------------------------------------
// Encoders; each appends to out and returns false when the code cannot be encoded.

void AppendGuard(std::string &out, bool longGuards, const char *longForm, const char *shortForm) {
  out += longGuards ? longForm : shortForm;
}

bool EncodeEan13(const std::string &code, bool lg, std::string &out) {
  if (!CheckDigits(EAN13, code, 13)) return false;
  const char *parity = kEan13Parity[code[0] - '0'];
  AppendGuard(out, lg, "949", "505");
  for (int i = 1; i <= 6; ++i) out += (parity[i - 1] == 'A' ? kEanSetA : kEanSetB)[code[i] - '0'];
  AppendGuard(out, lg, "49494", "05050");
  for (int i = 7; i <= 12; ++i) out += kEanSetC[code[i] - '0'];
  AppendGuard(out, lg, "949", "505");
  return true;
}

bool EncodeEanHalves(TZbrBarCodeType type, const std::string &code, size_t len, bool lg,
                     std::string &out) {
  if (!CheckDigits(type, code, len)) return false;
  AppendGuard(out, lg, "949", "505");
  for (size_t i = 0; i < len / 2; ++i) out += kEanSetA[code[i] - '0'];
  AppendGuard(out, lg, "49494", "05050");
  for (size_t i = len / 2; i < len; ++i) out += kEanSetC[code[i] - '0'];
  AppendGuard(out, lg, "949", "505");
  return true;
}

bool EncodeUpcE(const std::string &code, bool lg, std::string &out) {
  if (!CheckDigits(UPCE0, code, 8)) return false;
  if (code[0] != '0' && code[0] != '1') return Reject(UPCE0, code, "the number system must be 0 or 1");
  // Number system 1 uses the complementary parity of number system 0.
  const char *parity = kUpcEParity[code[7] - '0'];
  const char even = code[0] == '0' ? 'E' : 'O';
  AppendGuard(out, lg, "949", "505");
  for (int i = 1; i <= 6; ++i) out += (parity[i - 1] == even ? kEanSetB : kEanSetA)[code[i] - '0'];
  AppendGuard(out, lg, "494949", "050505");
  return true;
}

bool EncodeCode39(TZbrBarCodeType type, const std::string &code, std::string &out) {
  const char *star = kCode39[39].elements;
  out += star;
  out += '0';
  for (size_t i = 0; i < code.size(); ++i) {
    // '*' is in the table as the start and stop character; inside the data
    // a reader would take it for the end of the symbol.
    if (code[i] == '*') return Reject(type, code, "'*' is the start and stop character, not data");
    int idx = Code39Index(static_cast<unsigned char>(code[i]));
    if (idx < 0) return RejectCharacter(type, code, i, "the Code 39 table");
    out += kCode39[idx].elements;
    out += '0';
  }
  out += star;
  return true;
}

bool EncodeCode93(TZbrBarCodeType type, const std::string &code, std::string &out) {
  std::string widths = "111141";
  widths.reserve(12 + code.size() * 6 + 7);
  int sumC = 0, sumK = 0;
  const size_t n = code.size();
  for (size_t i = 0; i < n; ++i) {
    int v = Code93Value(code[i]);
    if (v < 0) return RejectCharacter(type, code, i, "the Code 93 table");
    widths += kCode93Widths[v];
    size_t fromRight = n - 1 - i;  // 0 for the rightmost character
    sumC += v * int(fromRight % 20 + 1);
    sumK += v * int((fromRight + 1) % 15 + 1);
  }
  int c = sumC % 47;
  int k = (sumK + c) % 47;
  widths += kCode93Widths[c];
  widths += kCode93Widths[k];
  widths += "1111411";
  size_t position = 0;
  AppendWidths(out, widths.c_str(), position);
  return true;
}

// The value of c in the code set of type (ISO/IEC 15417: set A holds
// ' '..'_' and the controls NUL..US, set B ' '..DEL), or -1.
int Code128Value(TZbrBarCodeType type, unsigned char c) {
  if (type == CODE128A || type == EAN128A) {
    if (c >= 32 && c <= 95) return c - 32;
    if (c < 32) return c + 64;
    return -1;
  }
  return (c >= 32 && c <= 127) ? c - 32 : -1;
}

// Whether code set C can take the data as digit pairs, or set A or B its
// characters; says why not on the error channel.
bool Code128Accepts(TZbrBarCodeType type, const std::string &code) {
  if (IsCode128C(type)) {
    size_t bad = FirstNonDigit(code);
    if (bad != std::string::npos) return RejectNonDigit(type, code, bad);
    if (code.size() % 2 == 1) return Reject(type, code, "code set C takes digits in pairs, the count is odd");
    return true;
  }
  const bool setA = type == CODE128A || type == EAN128A;
  for (size_t i = 0; i < code.size(); ++i)
    if (Code128Value(type, static_cast<unsigned char>(code[i])) < 0)
      return RejectCharacter(type, code, i, setA ? "code set A" : "code set B");
  return true;
}

bool EncodeCode128(TZbrBarCodeType type, const std::string &code, std::string &out) {
  if (!Code128Accepts(type, code)) return false;
  const bool ean = type == EAN128A || type == EAN128B || type == EAN128C;
  const int start = (type == CODE128A || type == EAN128A) ? 103 : (type == CODE128B || type == EAN128B) ? 104 : 105;
  size_t position = 0;
  long sum = start;
  long weight = 1;
  AppendWidths(out, kCode128Widths[start], position);
  auto symbol = [&](int value) {
    AppendWidths(out, kCode128Widths[value], position);
    sum += value * weight++;
  };
  if (ean) symbol(kCode128Fnc1);
  if (IsCode128C(type)) {
    for (size_t i = 0; i + 1 < code.size(); i += 2) symbol((code[i] - '0') * 10 + (code[i + 1] - '0'));
  } else {
    for (char c : code) symbol(Code128Value(type, static_cast<unsigned char>(c)));
  }
  AppendWidths(out, kCode128Widths[sum % 103], position);
  AppendWidths(out, kCode128Stop, position);
  return true;
}

bool EncodeCodabar(const std::string &code, std::string &out) {
  out += kCodabar[16];
  out += '0';
  for (size_t i = 0; i < code.size(); ++i) {
    int idx = CodabarIndex(code[i]);
    if (idx < 0) return RejectCharacter(CODABAR, code, i, "the Codabar table");
    out += kCodabar[idx];
    out += '0';
  }
  out += kCodabar[17];
  return true;
}

bool RequireDigits(TZbrBarCodeType type, const std::string &code) {
  size_t bad = FirstNonDigit(code);
  return bad == std::string::npos || RejectNonDigit(type, code, bad);
}

bool EncodeInter25(const std::string &code, std::string &out) {
  if (!RequireDigits(INTER_25, code)) return false;
  out += "5050";
  for (size_t i = 0; i + 1 < code.size(); i += 2) {
    const char *bars = k2of5[code[i] - '0'];
    const char *spaces = k2of5[code[i + 1] - '0'];
    for (int j = 0; j < 5; ++j) {
      out += bars[j] == '1' ? '6' : '5';
      out += spaces[j] == '1' ? '1' : '0';
    }
  }
  out += "605";
  return true;
}

bool EncodeIndus25(const std::string &code, std::string &out) {
  if (!RequireDigits(INDUS_25, code)) return false;
  out += "606050";
  for (char c : code)
    for (int j = 0; j < 5; ++j) out += k2of5[c - '0'][j] == '1' ? "60" : "50";
  out += "605060";
  return true;
}

bool EncodeMatrix25(const std::string &code, std::string &out) {
  if (!RequireDigits(MATRIX_25, code)) return false;
  out += "705050";
  for (char c : code) {
    const char *flags = k2of5[c - '0'];
    for (int j = 0; j < 5; ++j) out += (j & 1) ? (flags[j] == '1' ? '1' : '0') : (flags[j] == '1' ? '6' : '5');
    out += '0';
  }
  out += "70505";
  return true;
}

bool EncodeCode11(const std::string &code, std::string &out) {
  out += kCode11[kCode11StartStop];
  out += '1';
  for (size_t i = 0; i < code.size(); ++i) {
    char c = code[i];
    if (c != '-' && !IsDigit(c)) return RejectNonDigit(CODE11, code, i);
    out += kCode11[c == '-' ? kCode11Dash : c - '0'];
    out += '1';
  }
  out += kCode11[kCode11StartStop];
  return true;
}

bool EncodeMsi(const std::string &code, std::string &out) {
  if (!RequireDigits(MSI, code)) return false;
  out += "81";
  for (char c : code) {
    int d = c - '0';
    for (int bit = 3; bit >= 0; --bit) out += kMsiBit[(d >> bit) & 1];
  }
  out += "636";
  return true;
}

bool EncodePostnet(const std::string &code, std::string &out) {
  if (!RequireDigits(POSTNET, code)) return false;
  out += "51";
  for (char c : code)
    for (int j = 0; j < 5; ++j) {
      out += kPostnet[c - '0'][j] == '1' ? '5' : 'A';
      out += '1';
    }
  out += '5';
  return true;
}

// Code 39 and Code 93 over their Full ASCII expansion; the last tail
// characters (Code 39 check characters) are encoded as they are.
bool EncodeFullAscii(TZbrBarCodeType type, const std::string &code, size_t tail, std::string &out) {
  const bool code39 = type == CODE39EX;
  std::string expanded;
  size_t bad = ExpandAscii(code, code39 ? kCode39Ascii : kCode93Ascii, code39 ? tail : 0, expanded);
  if (bad != std::string::npos) return RejectCharacter(type, code, bad, "the Full ASCII table");
  return code39 ? EncodeCode39(type, expanded, out) : EncodeCode93(type, expanded, out);
}

bool Encode(const std::string &code, TZbrBarCodeType type, bool lg, std::string &out, size_t tail) {
  // A symbol of start and stop characters alone carries nothing. The EAN/UPC
  // types say how many digits they need instead.
  if (code.empty() && !IsEanUpc(type) && !IsTwoDimensional(type)) return Reject(type, code, "there is no data");
  switch (type) {
    case EAN13: return EncodeEan13(code, lg, out);
    case EAN8: return EncodeEanHalves(EAN8, code, 8, lg, out);
    case UPCA: return EncodeEanHalves(UPCA, code, 12, lg, out);
    case UPCE0: return EncodeUpcE(code, lg, out);
    case CODE39: return EncodeCode39(type, code, out);
    case CODE39EX: return EncodeFullAscii(type, code, tail, out);
    case CODE93: return EncodeCode93(type, code, out);
    case CODE93EX: return EncodeFullAscii(type, code, 0, out);
    case CODABAR: return EncodeCodabar(code, out);
    case EAN128A: case EAN128B: case EAN128C:
    case CODE128A: case CODE128B: case CODE128C: return EncodeCode128(type, code, out);
    case INTER_25: return EncodeInter25(code, out);
    case INDUS_25: return EncodeIndus25(code, out);
    case MATRIX_25: return EncodeMatrix25(code, out);
    case CODE11: return EncodeCode11(code, out);
    case MSI: return EncodeMsi(code, out);
    case POSTNET: return EncodePostnet(code, out);
    case DATAMATRIX: case PDF417: case QR: return true;
  }
  return Reject(type, code, "unknown symbology");
}

}  // namespace

const char *ZbrTypeName(TZbrBarCodeType type) {
  return type < kZbrBarCodeTypeCount ? kTypeNames[type] : "unknown";
}

bool CalcCheckDigit(const std::string &data, TZbrCheckType scheme, TZbrDigitControl &control) {
  std::string code;
  std::string dc;
  bool ok = true;
  switch (scheme) {
    case csNone: break;
    case csmMod10:
    case csmMod10Right: ok = Mod10(data, dc); code = dc; break;
    case csmMod10UPCE: ok = Mod10UpcE(data, dc); code = dc; break;
    case csMod11: ok = Mod11(data, code, dc); break;
    case csMSI:
    case csMSI10: ok = Msi10(data, dc); code = dc; break;
  }
  if (!ok) {
    control.Code = data;
    control.DC.clear();
    return false;
  }
  control.Code = data + code;
  control.DC = dc;
  return true;
}

TZbrPrepared PrepareCode(const std::string &code, TZbrBarCodeType type, bool checksum) {
  // No data stays no data: padding or a check character would invent a code.
  if (code.empty()) return {code, {}};
  if (IsCode128(type)) {
    if (checksum && !code.empty() && AllDigits(code))
      return WithCheck(code.size() % 2 == 0 ? "0" + code : code, csmMod10);
    if (IsCode128C(type) && code.size() % 2 == 1) return {"0" + code, {}};
    return {code, {}};
  }
  if (type == UPCA) return WithCheck(FitLength(code, 11), csmMod10);
  if (type == INTER_25) {
    TZbrPrepared p = checksum ? WithCheck(code, csmMod10Right) : TZbrPrepared{code, {}};
    std::string error = IntegerConversionError(p.Code);
    if (!error.empty())
      ShowConversionError(error);
    else if (p.Code.size() % 2 == 1)
      p.Code = "0" + p.Code;
    return p;
  }
  if (!checksum) return {code, {}};
  switch (type) {
    case EAN13: return WithCheck(FitLength(code, 12), csmMod10);
    case EAN8: return WithCheck(FitLength(code, 7), csmMod10);
    case UPCE0: return WithCheck(FitLength(code, 7), csmMod10UPCE);
    case CODE39: {
      char c = Code39Check(code);
      return {code + c, std::string(1, c)};
    }
    case CODE39EX: {
      std::string expanded;
      ExpandAscii(code, kCode39Ascii, 0, expanded);  // the encoder refuses what stops the expansion
      char c = Code39Check(expanded);
      return {code + c, std::string(1, c)};
    }
    case INDUS_25:
    case MATRIX_25: return WithCheck(code, csmMod10Right);
    case CODE11: return WithCheck(code, csMod11);
    case MSI: return WithCheck(code, csMSI10);
    default: return {code, {}};
  }
}

bool EncodePatternInto(const std::string &code, TZbrBarCodeType type, bool longGuards, std::string &out,
                       size_t literalTail) {
  out.clear();
  bool ok = false;
  try {
    ok = Encode(code, type, longGuards, out, literalTail);
  } catch (...) {
    RecordCurrentException();
  }
  if (!ok) out = kZbrInvalid;
  return ok;
}

std::string EncodePattern(const std::string &code, TZbrBarCodeType type, bool longGuards, size_t literalTail) {
  std::string out;
  out.reserve(64 + code.size() * 12);
  EncodePatternInto(code, type, longGuards, out, literalTail);
  return out;
}

}  // namespace nx
