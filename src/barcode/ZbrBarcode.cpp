#include "barcode/ZbrBarcode.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "barcode/ZbrUtils.h"
#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"

namespace nx {
namespace {

// Converts between two code pages through UTF-16.
std::string Recode(const std::string &text, UINT from, UINT to) {
  if (text.empty()) return {};
  int wn = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
  if (wn <= 0) return {};
  WString wide(wn, WCHAR(0));
  MultiByteToWideChar(from, 0, text.data(), int(text.size()), wide.data(), wn);
  int n = WideCharToMultiByte(to, 0, wide.data(), wn, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(n, '\0');
  WideCharToMultiByte(to, 0, wide.data(), wn, out.data(), n, nullptr, nullptr);
  return out;
}

void PutInt(std::string &buf, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) buf += char((u >> (8 * i)) & 0xFF);
}

// Definition files hold a few dozen bytes; larger ones are refused.
constexpr size_t kMaxDefinitionFileBytes = 64 * 1024;

class Reader {
 public:
  Reader(const std::string &bytes, const WString &name) : FBytes(bytes), FName(name) {}
  uint8_t Byte() {
    if (FAt >= FBytes.size()) Fail("the file ends early");
    return static_cast<uint8_t>(FBytes[FAt++]);
  }
  int32_t Int() {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(Byte()) << (8 * i);
    return static_cast<int32_t>(u);
  }
  std::string String() {
    uint32_t len = 0;
    for (int shift = 0;; shift += 7) {
      if (shift > 28) Fail("a string length is invalid");
      uint8_t b = Byte();
      len |= uint32_t(b & 0x7F) << shift;
      if (!(b & 0x80)) break;
    }
    if (len > FBytes.size() - FAt) Fail("the file ends early");
    std::string s = FBytes.substr(FAt, len);
    FAt += len;
    return s;
  }

 private:
  [[noreturn]] void Fail(const char *why) {
    throw ENxError(nxeFile, "Cannot read barcode definition file " + WideToAnsi(FName) + ": " + why);
  }

  const std::string &FBytes;
  size_t FAt = 0;
  WString FName;
};

}  // namespace

namespace {
// Values beyond a 32-bit integer are held at its ends (NaN gives 0) instead
// of converting out of range.
LONG Saturate(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<LONG>(x);
}
// Lengths above this many pixels, and images wider or higher, are refused
// before any arithmetic on them.
constexpr int64_t kMaxLength = int64_t(1) << 24;
}  // namespace

LONG ZbrRound(double x) { return Saturate(std::nearbyint(x)); }

LONG ZbrRoundHalfUp(double x) {
  double ip = std::trunc(x);
  return Saturate(ip + ((x - ip) >= 0.5 ? 1 : 0));
}

TZbrBarcode::TZbrBarcode() = default;

void TZbrBarcode::SetLength(LONG &field, float v) {
  LONG stored = ZbrRound(static_cast<double>(v) * 10.0);
  if (stored != field) field = stored;
}

void TZbrBarcode::SetFactor(float v) {
  LONG stored = ZbrRoundHalfUp(static_cast<double>(v) * 100.0);
  if (stored != FFactor) FFactor = stored;
}

float TZbrBarcode::GetFactor() {
  auto clamp = [this](LONG lo, LONG hi) { FFactor = FFactor < lo ? lo : FFactor > hi ? hi : FFactor; };
  switch (FCodeType) {
    case EAN13: case EAN8: case UPCA: case CODE39: case CODE39EX: case INTER_25: case INDUS_25: clamp(200, 300); break;
    case MATRIX_25: clamp(225, 300); break;
    default: break;
  }
  clamp(100, 600);
  return FFactor / 100.0f;
}

void TZbrBarcode::SetCodeType(TZbrBarCodeType v) {
  if (v == FCodeType) return;
  FCodeType = v;
  switch (v) {
    case EAN13: case EAN8: case UPCA: case UPCE0: case CODE93: case CODE93EX:
    case EAN128A: case EAN128B: case EAN128C: case CODE128A: case CODE128B: case CODE128C:
    case INTER_25: case CODE11: case MSI: FFactor = 200; break;
    case POSTNET: FFactor = 100; break;
    default: break;
  }
}

TZbrBarcode::Widths TZbrBarcode::ElementWidths(float factor) const {
  LONG w = ZbrRound(static_cast<double>(FBarWidth) * factor);
  return {FBarWidth, w, MulDiv(w, 3, 2), 2 * w};
}

LONG TZbrBarcode::ElementWidth(char c, const Widths &wd) {
  switch (c) {
    case '0': case '4': case '5': case '9': case 'A': return wd.n;
    case '1': case '6': return wd.w;
    case '2': case '7': return wd.w32;
    case '3': case '8': return wd.w2;
    default: return 0;
  }
}

LONG TZbrBarcode::PatternWidth(const std::string &code) {
  Widths wd = ElementWidths(GetFactor());
  std::string elements = EncodePattern(code, FCodeType, FShowNumber);
  LONG sum = 0;
  for (char c : elements) sum += ElementWidth(c, wd);
  return FLeftMargin + sum + FLeftMargin;
}

RECT TZbrBarcode::RotateRect(RECT r) const {
  const LONG W = FWidthImg, H = FHeightImg;
  switch (FAngle) {
    case zba90: return {r.top, H - r.right, r.bottom, H - r.left};
    case zba180: return {W - r.right, H - r.bottom, W - r.left, H - r.top};
    case zba270: return {W - r.bottom, r.left, W - r.top, r.right};
    default: return r;
  }
}

TZbrLayout TZbrBarcode::Layout() {
  TZbrLayout layout;
  FDCode = FCode;
  FEncodeError.clear();
  if (IsTwoDimensional(FCodeType)) {
    FWidthImg = FBarWidth;
    FHeightImg = FBHeight;
    return layout;
  }
  for (LONG v : {FBarWidth, FBHeight, FLeftMargin, FTopMargin, FFontHeight, FDistance})
    if (v > kMaxLength || v < -kMaxLength)
      throw ENxError(nxeArgument, "Barcode: a length of " + std::to_string(v) + " pixels is too large");
  FTextD = FDistance;
  TZbrPrepared prepared = PrepareCode(FDCode, FCodeType, FCheckSum);
  FDCode = prepared.Code;
  const size_t tail = FCodeType == CODE39EX ? prepared.Check.size() : 0;
  std::string elements = EncodePattern(FDCode, FCodeType, FShowNumber, tail);
  // The encoder has put its reason on the error channel.
  FEncodeError = elements == kZbrInvalid ? LastNxErrorText() : std::string();
  const Widths wd = ElementWidths(GetFactor());
  // The image is sized from the prepared code, so that padding and check
  // characters added by preparation are not cut off at the right edge.
  int64_t bars = 0;
  for (char c : elements) bars += ElementWidth(c, wd);
  if (bars > kMaxLength)
    throw ENxError(nxeArgument, "Barcode: bars " + std::to_string(bars) + " pixels wide are too large for an image");
  FWidthImg = FLeftMargin + LONG(bars) + FLeftMargin;
  if (!FShowNumber)
    FHeightImg = FBHeight + 2 * FTopMargin;
  else
    FHeightImg = FBHeight + (FFontHeight < FTopMargin ? 2 * FTopMargin : FTopMargin + FFontHeight);
  if (FAngle == zba90 || FAngle == zba270) std::swap(FWidthImg, FHeightImg);

  const LONG e = MulDiv(FFontHeight, 3, 4);
  const LONG s = (FBHeight * 2) / 5;
  const LONG bx = FP1.x, by = FP1.y;
  const LONG y0 = by + FTopMargin;
  layout.Background = {0, 0, FWidthImg, FHeightImg};
  // A bar leaves the last column of its slot empty, as a rectangle drawn
  // without a pen does. Narrow elements of one or two pixels would lose all
  // or half of their narrow bars that way (unreadable: no bars at one pixel,
  // Interleaved 2 of 5 at two), so then every bar fills its slot.
  const LONG cut = wd.n > 2 ? 1 : 0;
  LONG x = bx + FLeftMargin;
  for (char c : elements) {
    LONG width = ElementWidth(c, wd);
    RECT r{x, y0, x + width - cut, y0 + FBHeight};
    bool bar = true;
    switch (c) {
      case '5': case '6': case '7': case '8': break;
      case '9': r.bottom += e; break;
      case 'A': r.top = y0 + FBHeight - s; break;
      default: bar = false; break;
    }
    if (bar && width > 0) layout.Bars.push_back(RotateRect(r));
    x += width;
  }
  if (FShowNumber) AddTexts(layout, bx, by, elements, wd);
  return layout;
}

void TZbrBarcode::AddTexts(TZbrLayout &layout, LONG bx, LONG by, const std::string &elements, const Widths &wd) {
  const LONG ty = by + FBHeight + FTopMargin;
  auto &texts = layout.Texts;
  if (!IsEanUpc(FCodeType)) {
    LONG t = 2 * FLeftMargin;
    for (char c : elements) t += ElementWidth(c, wd);
    texts.push_back({FDCode, TZbrTextItem::Centred, bx + ZbrRoundHalfUp(t / 2.0) + FTextD / 2, ty});
    return;
  }
  // Anchor after count elements, walking with (3 * w) div 2 for the 3/2 codes.
  auto anchor = [&](size_t count) {
    Widths walk = wd;
    walk.w32 = (3 * wd.w) / 2;
    LONG x = FLeftMargin;
    for (size_t i = 0; i < count && i < elements.size(); ++i) x += ElementWidth(elements[i], walk);
    return x;
  };
  auto part = [&](size_t from, size_t count) { return from < FDCode.size() ? FDCode.substr(from, count) : std::string(); };
  auto group = [&](size_t from, size_t count, size_t after) {
    texts.push_back({part(from, count), TZbrTextItem::Group, bx + anchor(after) + FTextD, ty});
  };
  auto leading = [&] {
    texts.push_back({part(0, 1), TZbrTextItem::Leading, bx + FLeftMargin + FTextD - 2 * FBarWidth, ty});
  };
  auto trailing = [&](size_t at, size_t after) {
    texts.push_back({part(at, 1), TZbrTextItem::Trailing, bx + anchor(after) + 2 * FBarWidth, ty});
  };
  switch (FCodeType) {
    case EAN13: leading(); group(1, 6, 15); group(7, 6, 44); break;
    case EAN8: group(0, 4, 11); group(4, 4, 32); break;
    case UPCA: leading(); group(0, 6, 15); group(6, 6, 44); trailing(11, 59); break;
    case UPCE0: leading(); group(1, 6, 15); trailing(7, 33); break;
    default: break;
  }
}

void TZbrBarcode::SaveToFile(const WString &FileName) {
  std::string buf;
  PutInt(buf, 1);
  std::string utf8 = Recode(FCode, CP_ACP, CP_UTF8);
  for (uint32_t len = static_cast<uint32_t>(utf8.size());; len >>= 7) {
    buf += char((len & 0x7F) | (len >= 0x80 ? 0x80 : 0));
    if (len < 0x80) break;
  }
  buf += utf8;
  for (LONG v : {LONG(FCodeType), FBarWidth, FBHeight, FDistance, FFontHeight, FLeftMargin, FTopMargin, FFactor})
    PutInt(buf, v);
  buf += char(FCheckSum ? 1 : 0);
  buf += char(FShowNumber ? 1 : 0);
  PutInt(buf, FCheckType);
  TOutputFile file(FileName);
  file.Write(buf);
  file.Commit();
}

void TZbrBarcode::LoadFromFile(const WString &FileName) {
  // Only a regular file is read: a FIFO or a device there is refused.
  std::string bytes;
  if (!ReadInputFile(FileName, kMaxDefinitionFileBytes, "barcode definition file", &bytes)) {
    if (OnZbrError) OnZbrError(this, NXW("File not found!"));
    return;
  }
  Reader in(bytes, FileName);
  FileReaded = in.Int();
  FCode = Recode(in.String(), CP_UTF8, CP_ACP);
  FCodeType = static_cast<TZbrBarCodeType>(in.Int() & 0xFF);
  for (LONG *field : {&FBarWidth, &FBHeight, &FDistance, &FFontHeight, &FLeftMargin, &FTopMargin, &FFactor})
    *field = in.Int();
  FCheckSum = in.Byte() != 0;
  FShowNumber = in.Byte() != 0;
  FCheckType = static_cast<TZbrCheckType>(in.Int() & 0xFF);
}

}  // namespace nx
