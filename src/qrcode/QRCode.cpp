#include "qrcode/QRCode.h"

#include <cstdio>

#include "common/ErrorChannel.h"
#include "qrcode/reedQR.h"

namespace nx {

namespace {

bool IsNumeric(int32_t c) { return c >= '0' && c <= '9'; }

int32_t AlphaValue(int32_t c) {
  if (IsNumeric(c)) return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  switch (c) {
    case ' ': return 36;
    case '$': return 37;
    case '%': return 38;
    case '*': return 39;
    case '+': return 40;
    case '-': return 41;
    case '.': return 42;
    case '/': return 43;
    case ':': return 44;
    default: return -1;
  }
}

bool IsAlpha(int32_t c) { return AlphaValue(c) >= 0; }
bool IsByte(int32_t c) { return c >= 0 && c <= 255; }
// Shift JIS double-byte codes of the two kanji ranges. A second byte below
// 0x40 is no Shift JIS code and would come back from a reader as another
// character, so it is not taken.
bool IsKanji(int32_t c) {
  return ((c >= 0x8140 && c <= 0x9FFC) || (c >= 0xE040 && c <= 0xEBBF)) && (c & 0xFF) >= 0x40;
}
// Kanji mode carries a character as its Shift JIS code (JIS X 0208), not as
// its UTF-16 value: the Shift JIS code of c in the kanji ranges, or -1.
int32_t ShiftJisKanji(char16_t c) {
  constexpr UINT kShiftJis = 932;
  const WCHAR wide = static_cast<WCHAR>(c);
  char bytes[4];
  BOOL defaulted = FALSE;
  const int n = WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes, nullptr, &defaulted);
  if (n != 2 || defaulted) return -1;
  const int32_t code = (int32_t(uint8_t(bytes[0])) << 8) | uint8_t(bytes[1]);
  return IsKanji(code) ? code : -1;
}
bool IsExclusiveAlpha(int32_t c) { return IsAlpha(c) && !IsNumeric(c); }
bool IsExclusiveByte(int32_t c) { return IsByte(c) && !IsAlpha(c); }

const char *ModeName(TQRCodeEncoding m) {
  switch (m) {
    case ENC_NUMERIC: return "numeric";
    case ENC_ALPHA: return "alphanumeric";
    case ENC_BYTE: return "byte";
    case ENC_KANJI: return "kanji";
    default: return "automatic";
  }
}

const char *LevelName(TQRCodeECLevel l) { return l == LEVEL_L ? "L" : l == LEVEL_M ? "M" : l == LEVEL_Q ? "Q" : "H"; }

std::string CodeText(int32_t c) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "U+%04X", unsigned(c));
  return buf;
}

// Mode switching run lengths by lookahead class (version < 9, 9 to 26, > 26).
struct RunLengths {
  int8_t len[3];
};
constexpr RunLengths kAlphaStart{{6, 7, 8}};
constexpr RunLengths kDigitToByte{{4, 4, 5}};
constexpr RunLengths kDigitToAlpha{{6, 7, 8}};
constexpr RunLengths kByteToNumeric{{6, 8, 9}};
constexpr RunLengths kByteToAlpha{{11, 15, 16}};
constexpr RunLengths kAlphaToNumeric{{13, 15, 17}};

constexpr int32_t kEnded = -2;
constexpr int32_t kFullRun = -3;

// The first character from start outside the class, or kEnded / kFullRun.
int32_t Lookahead(bool (*member)(int32_t), RunLengths runs, std::span<const int32_t> codes, size_t start,
                  int32_t version) {
  int32_t n = runs.len[version < 9 ? 0 : version <= 26 ? 1 : 2];
  for (int32_t seen = 0; seen < n; ++seen) {
    if (start + size_t(seen) >= codes.size()) return kEnded;
    int32_t c = codes[start + size_t(seen)];
    if (!member(c)) return c;
  }
  return kFullRun;
}

void WriteEci(int32_t eci, TBitString &bs) {
  bs.addBits(0b0111, 4);
  if (eci < 128) {
    bs.addBits(eci, 8);
  } else if (eci <= 16383) {
    bs.addBits(0b10, 2);
    bs.addBits(eci, 14);
  } else {
    bs.addBits(0b110, 3);
    bs.addBits(eci, 21);
  }
}

int32_t EncodeMode(TQRCodeEncoding mode, std::span<const int32_t> codes, int32_t start, int32_t count,
                   int32_t version, TBitString &bs) {
  switch (mode) {
    case ENC_NUMERIC: return TQRCode::EncodeNumeric(codes, start, count, version, bs);
    case ENC_ALPHA: return TQRCode::EncodeAlphanumeric(codes, start, count, version, bs);
    case ENC_KANJI: return TQRCode::EncodeKanji(codes, start, count, version, bs);
    default: return TQRCode::EncodeByte(codes, start, count, version, bs);
  }
}

// How many characters from start belong to a class, at most count.
int32_t Leading(std::span<const int32_t> codes, int32_t start, int32_t count, bool (*member)(int32_t)) {
  int32_t n = 0;
  while (n < count && size_t(start + n) < codes.size() && member(codes[size_t(start + n)])) ++n;
  return n;
}

}  // namespace

int32_t QRLevelFormatBits(TQRCodeECLevel level) {
  static constexpr int32_t bits[4] = {1, 0, 3, 2};
  return bits[level];
}

TQRCode::TQRCode() = default;
TQRCode::~TQRCode() = default;

void TQRCode::setCodeBinary(const TQRIntegerArray &a) {
  FcodeBinary = a;
  FuseBinary = true;
}

WString TQRCode::ProcessTilde(const WString &text) {
  FcontrolChars.assign(text.size(), -1);
  WString out;
  auto digits = [&](size_t from, size_t n, int32_t &value) {
    if (from + n > text.size()) return false;
    value = 0;
    for (size_t i = from; i < from + n; ++i) {
      if (!IsNumeric(text[i])) return false;
      value = value * 10 + (text[i] - '0');
    }
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'~') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 1 >= text.size()) break;  // a lone tilde at the end is dropped
    WCHAR next = text[i + 1];
    int32_t value = 0;
    if (next == u'~') {
      out.push_back(WCHAR('~'));
      ++i;
    } else if ((next == u'd' || next == u'D') && digits(i + 2, 3, value)) {
      out.push_back(WCHAR(std::min(value, 255)));
      i += 4;
    } else if ((next == u'e' || next == u'E') && digits(i + 2, 6, value)) {
      FcontrolChars[out.size()] = value;
      out.push_back(WCHAR('0'));
      i += 7;
    }
    // Any other escape: the tilde is dropped and the next character is read as usual.
  }
  return out;
}

int32_t TQRCode::EncodeNumeric(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                               TBitString &bs) {
  int32_t n = Leading(codes, start, count, IsNumeric);
  bs.addBits(0b0001, 4);
  bs.addBits(n, QRCountBits(ENC_NUMERIC, version));
  for (int32_t i = 0; i < n; i += 3) {
    int32_t group = std::min(3, n - i), v = 0;
    for (int32_t k = 0; k < group; ++k) v = v * 10 + (codes[size_t(start + i + k)] - '0');
    bs.addBits(v, group == 3 ? 10 : group == 2 ? 7 : 4);
  }
  return start + n;
}

int32_t TQRCode::EncodeAlphanumeric(std::span<const int32_t> codes, int32_t start, int32_t count,
                                    int32_t version, TBitString &bs) {
  int32_t n = Leading(codes, start, count, IsAlpha);
  bs.addBits(0b0010, 4);
  bs.addBits(n, QRCountBits(ENC_ALPHA, version));
  for (int32_t i = 0; i + 1 < n; i += 2)
    bs.addBits(45 * AlphaValue(codes[size_t(start + i)]) + AlphaValue(codes[size_t(start + i + 1)]), 11);
  if (n % 2) bs.addBits(AlphaValue(codes[size_t(start + n - 1)]), 6);
  return start + n;
}

int32_t TQRCode::EncodeByte(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                            TBitString &bs) {
  bs.addBits(0b0100, 4);
  bs.addBits(count, QRCountBits(ENC_BYTE, version));
  for (int32_t i = 0; i < count; ++i) bs.addBits(codes[size_t(start + i)] & 0xFF, 8);
  return start + count;
}

int32_t TQRCode::EncodeKanji(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                             TBitString &bs) {
  int32_t n = Leading(codes, start, count, IsKanji);
  bs.addBits(0b1000, 4);
  bs.addBits(n, QRCountBits(ENC_KANJI, version));
  for (int32_t i = 0; i < n; ++i) {
    int32_t c = codes[size_t(start + i)];
    c -= c <= 0x9FFC ? 0x8140 : 0xC140;
    bs.addBits((c >> 8) * 0xC0 + (c & 0xFF), 13);
  }
  return start + n;
}

std::vector<TQRCodeEncoding> TQRCode::AutoModes(std::span<const int32_t> codes, int32_t version) {
  enum State { Undecided, Alpha, Byte, Numeric, Kanji } state = Undecided;
  static constexpr TQRCodeEncoding kMode[] = {ENC_AUTO, ENC_ALPHA, ENC_BYTE, ENC_NUMERIC, ENC_KANJI};
  std::vector<TQRCodeEncoding> modes(codes.size(), ENC_AUTO);
  size_t i = 0;
  while (i < codes.size()) {
    if (state == Undecided) {
      int32_t c = codes[i];
      if (IsKanji(c)) state = Kanji;
      if (IsExclusiveByte(c)) state = Byte;
      if (IsExclusiveAlpha(c)) {
        int32_t r = Lookahead(IsExclusiveAlpha, kAlphaStart, codes, i, version);
        state = r == kFullRun || r == kEnded ? Alpha : IsByte(r) ? Byte : Alpha;
      }
      if (IsNumeric(c)) {
        int32_t r = Lookahead(IsNumeric, kDigitToByte, codes, i, version);
        if (r >= 0 && IsExclusiveByte(r)) {
          state = Byte;
        } else {
          r = Lookahead(IsNumeric, kDigitToAlpha, codes, i, version);
          state = r >= 0 && IsAlpha(r) ? Alpha : Numeric;
        }
      }
      if (state == Undecided)
        throw ENxError(nxeData, "QR code: no encoding mode can carry the character " + CodeText(c));
    }
    modes[i++] = kMode[state];
    if (i >= codes.size()) break;
    int32_t c = codes[i];
    switch (state) {
      case Alpha:
        if (IsKanji(c)) state = Kanji;
        else if (IsExclusiveByte(c)) state = Byte;
        else if (Lookahead(IsNumeric, kAlphaToNumeric, codes, i, version) == kFullRun) state = Numeric;
        break;
      case Byte:
        if (IsKanji(c)) state = Kanji;
        else if (Lookahead(IsNumeric, kByteToNumeric, codes, i, version) == kFullRun) state = Numeric;
        else if (Lookahead(IsExclusiveAlpha, kByteToAlpha, codes, i, version) == kFullRun) state = Alpha;
        break;
      case Numeric:
        if (IsKanji(c)) state = Kanji;
        else if (IsExclusiveByte(c)) state = Byte;
        else if (IsExclusiveAlpha(c)) state = Alpha;
        break;
      default:
        state = Undecided;
        break;
    }
  }
  return modes;
}

void TQRCode::EncodeData(std::span<const int32_t> codes, size_t first, int32_t version, TBitString &bs) const {
  if (Fencoding != ENC_AUTO) {
    int32_t count = int32_t(codes.size());
    int32_t end = EncodeMode(Fencoding, codes, 0, count, version, bs);
    if (end < count)
      throw ENxError(nxeData, std::string("QR code: the character ") + CodeText(codes[size_t(end)]) +
                                  " at position " + std::to_string(first + size_t(end) + 1) +
                                  " cannot be written in " + ModeName(Fencoding) + " mode");
    return;
  }
  std::vector<TQRCodeEncoding> modes = AutoModes(codes, version);
  size_t i = 0;
  while (i < codes.size()) {
    size_t run = 1;
    while (i + run < codes.size() && modes[i + run] == modes[i]) ++run;
    int32_t end = EncodeMode(modes[i], codes, int32_t(i), int32_t(run), version, bs);
    if (end <= int32_t(i)) throw ENxError(nxeGeneral, "QR code: segmentation made no progress");
    i = size_t(end);
  }
}

int32_t TQRCode::Parity(std::span<const int32_t> codes) {
  int32_t parity = 0;
  for (int32_t c : codes) parity ^= IsKanji(c) ? (c >> 8) ^ (c & 0xFF) : c & 0xFF;
  return parity;
}

TBitString TQRCode::BuildBits(std::span<const int32_t> codes, int32_t version) const {
  TBitString bs;
  // ECI escapes of the text switch the interpretation where they stand; their
  // placeholder characters are not data.
  bool markers = FprocessTilde && !FuseBinary;
  auto isMarker = [&](size_t i) { return markers && i < FcontrolChars.size() && FcontrolChars[i] >= 0; };
  if (FstructuredAppend) {
    int32_t parity = FstructuredAppendParity;
    if (parity < 0) {
      parity = 0;
      for (size_t i = 0; i < codes.size(); ++i)
        if (!isMarker(i)) parity ^= Parity(codes.subspan(i, 1));
    }
    bs.addBits(0b0011, 4);
    bs.addBits(FstructuredAppendIndex - 1, 4);
    bs.addBits(FstructuredAppendCounter - 1, 4);
    bs.addBits(parity, 8);
  }
  if (Feci >= 0) WriteEci(Feci, bs);
  if (Ffnc1Mode == FIRST) bs.addBits(0b0101, 4);
  if (Ffnc1Mode == SECOND) {
    bs.addBits(0b1001, 4);
    bs.addBits(FapplicationIndicator, 8);
  }
  size_t from = 0;
  for (size_t i = 0; markers && i < codes.size(); ++i) {
    if (!isMarker(i)) continue;
    if (i > from) EncodeData(codes.subspan(from, i - from), from, version, bs);
    WriteEci(FcontrolChars[i], bs);
    from = i + 1;
  }
  if (from < codes.size() || codes.empty()) EncodeData(codes.subspan(from), from, version, bs);
  return bs;
}

std::vector<int32_t> TQRCode::CharacterCodes() {
  if (FuseBinary) {
    FcontrolChars.clear();
    return std::vector<int32_t>(FcodeBinary.begin(), FcodeBinary.end());
  }
  WString text = Fcode;
  if (FprocessTilde) text = ProcessTilde(text);
  else FcontrolChars.clear();
  std::vector<int32_t> codes(text.begin(), text.end());
  // Byte mode takes no character above U+00FF; the settings check names it.
  if (Fencoding == ENC_BYTE) return codes;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] <= 0xFF) continue;
    const int32_t sjis = ShiftJisKanji(text[i]);
    if (sjis < 0)
      throw ENxError(nxeData, "QR code: the character " + CodeText(codes[i]) + " at position " +
                                  std::to_string(i + 1) + " has no Shift JIS kanji code and cannot be encoded");
    codes[i] = sjis;
  }
  return codes;
}

void TQRCode::CheckSettings(std::span<const int32_t> codes) const {
  if (FpreferredVersion > kQRMaxVersion)
    throw ENxError(nxeArgument, "QR code: version " + std::to_string(FpreferredVersion) + " does not exist (1 to 40)");
  if (!FautoConfigurate && FpreferredVersion < 1)
    throw ENxError(nxeArgument, "QR code: a fixed version must be 1 to 40, not " + std::to_string(FpreferredVersion));
  if (FstructuredAppend && (FstructuredAppendCounter < 1 || FstructuredAppendCounter > 16 ||
                            FstructuredAppendIndex < 1 || FstructuredAppendIndex > FstructuredAppendCounter))
    throw ENxError(nxeArgument, "QR code: Structured Append needs 1 <= index <= count <= 16");
  if (FstructuredAppend && FstructuredAppendParity > 255)
    throw ENxError(nxeArgument, "QR code: the Structured Append parity is one byte");
  if (Feci > 999999) throw ENxError(nxeArgument, "QR code: ECI designator above 999999");
  if (Ffnc1Mode == SECOND && (FapplicationIndicator < 0 || FapplicationIndicator > 255))
    throw ENxError(nxeArgument, "QR code: FNC1 application indicator must be 0 to 255");
  for (size_t i = 0; i < codes.size(); ++i) {
    int32_t c = codes[i];
    bool ok = Fencoding == ENC_BYTE ? IsByte(c) : IsByte(c) || IsKanji(c);
    if (!ok)
      throw ENxError(nxeData, "QR code: the character " + CodeText(c) + " at position " + std::to_string(i + 1) +
                                  " cannot be encoded in " + ModeName(Fencoding) + " mode");
  }
}

void TQRCode::BuildSymbol() {
  std::vector<int32_t> codes = CharacterCodes();
  CheckSettings(codes);
  int32_t version = std::max(FpreferredVersion, 0);
  TBitString bits;
  for (;;) {
    bits = BuildBits(codes, version);
    if (!FautoConfigurate) break;
    // Try the versions of the current count indicator class, then rebuild
    // with the wider indicators of the next class.
    int32_t needed = (bits.getLength() + 7) / 8;
    int32_t v = std::max(version, 1), last = v <= 9 ? 9 : v <= 26 ? 26 : kQRMaxVersion;
    while (v <= last && QRDataCodewords(v, FcorrectionLevel) < needed) ++v;
    if (v <= last) {
      version = v;
      break;
    }
    if (last == kQRMaxVersion)
      throw ENxError(nxeData, "QR code: the data (" + std::to_string(bits.getLength()) +
                                  " bits) does not fit version 40 at level " + LevelName(FcorrectionLevel));
    version = last + 1;
  }
  int32_t length = bits.getLength();
  TQRVector cws = AssembleCodewords(bits, version, FcorrectionLevel);
  if (cws.empty())
    throw ENxError(nxeData, "QR code: the data (" + std::to_string(length) + " bits) does not fit version " +
                                std::to_string(version) + " at level " + LevelName(FcorrectionLevel) + " (" +
                                std::to_string(QRDataBits(version, FcorrectionLevel)) + " bits)");
  int32_t side = 17 + 4 * version;
  auto bitmap = std::make_unique<TQRBitMap>(side, side, version);
  bitmap->placeCodewords(cws);
  bitmap->placeMask(QRLevelFormatBits(FcorrectionLevel), FcorrectionLevel);
  Fbitmap = std::move(bitmap);
  FselectedVersion = version;
}

}  // namespace nx
