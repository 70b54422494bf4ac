#include "export/gtGraphics.h"

#include <nettle/md5.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "common/ErrorChannel.h"
#include "device/MemoryBitmap.h"
#include "export/gtEngineTypes.h"

namespace nx {
namespace {

constexpr int32_t kMaxSide = 32767;
constexpr int64_t kMaxPixels = 64LL * 1024 * 1024;

void PutU16(std::vector<BYTE> &out, size_t at, uint32_t v) {
  out[at] = BYTE(v);
  out[at + 1] = BYTE(v >> 8);
}
void PutU32(std::vector<BYTE> &out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = BYTE(v >> (8 * i));
}

// A 1-bpp DIB's rows in TgtOneBitPicture's form, read from the DIB's own
// bits (stride bytes a row, topDown or bottom-up) and the picture decoded
// from them: the same bits, flipped when the top-left pixel is index 1,
// with the row padding cleared. The two colours are the decoded pixels'.
std::shared_ptr<const TgtOneBitPicture> OneBitFromDib(const TgtBitmap &Pic, const BYTE *Bits, bool TopDown) {
  auto one = std::make_shared<TgtOneBitPicture>();
  const int32_t w = Pic.Width(), h = Pic.Height();
  one->Stride = (size_t(w) + 31) / 32;
  one->Rows.assign(one->Stride * size_t(h), 0);
  const size_t stride = one->Stride * 4, used = (size_t(w) + 7) / 8;
  const BYTE lastMask = BYTE(w % 8 ? 0xFF00 >> (w % 8) : 0xFF);
  auto source = [&](int32_t y) { return Bits + stride * size_t(TopDown ? y : h - 1 - y); };
  const BYTE flip = (source(0)[0] & 0x80) ? 0xFF : 0;
  auto *out = reinterpret_cast<BYTE *>(one->Rows.data());
  one->Colours[0] = one->Colours[1] = Pic.Row(0)[0] & 0xFFFFFF;
  bool other = false;
  for (int32_t y = 0; y < h; ++y) {
    const BYTE *in = source(y);
    BYTE *row = out + stride * size_t(y);
    for (size_t i = 0; i < used; ++i) row[i] = BYTE(in[i] ^ flip);
    row[used - 1] &= lastMask;
    if (other) continue;
    for (size_t i = 0; i < used; ++i) {
      if (!row[i]) continue;
      int bit = 0;
      while (!(row[i] & (0x80 >> bit))) ++bit;
      one->Colours[1] = Pic.Row(y)[i * 8 + size_t(bit)] & 0xFFFFFF;
      other = true;
      break;
    }
  }
  // Two table entries of one colour: every pixel is the first colour.
  if (one->Colours[1] == one->Colours[0]) std::fill(one->Rows.begin(), one->Rows.end(), 0u);
  return one;
}

}  // namespace

LOGFONTW TgtFont::ToLogFont(int32_t dpi) const {
  LOGFONTW lf{};
  lf.lfHeight = Height != 0 ? Height : -MulDiv(PointSize, dpi, 72);
  lf.lfEscapement = lf.lfOrientation = FRotateFont;
  lf.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = Italic;
  lf.lfUnderline = Underline;
  lf.lfStrikeOut = StrikeOut;
  lf.lfCharSet = Charset;
  lf.lfPitchAndFamily = Pitch == fpFixed ? FIXED_PITCH : Pitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  size_t n = std::min<size_t>(Name.size(), LF_FACESIZE - 1);
  std::copy_n(Name.data(), n, lf.lfFaceName);
  return lf;
}

TgtFontCell MeasureFontCell(const TgtFont &Font) {
  constexpr LONG kEm = 2048;
  using TKey = std::tuple<WString, bool, bool, BYTE, int>;
  static std::mutex guard;
  static std::map<TKey, TgtFontCell> cells;
  const TKey key{Font.Name, Font.Bold, Font.Italic, Font.Charset, int(Font.Pitch)};
  const std::lock_guard<std::mutex> lock(guard);
  if (auto it = cells.find(key); it != cells.end()) return it->second;
  TgtFont upright = Font;
  upright.FRotateFont = 0;
  upright.Underline = upright.StrikeOut = false;
  LOGFONTW lf = upright.ToLogFont(72);
  lf.lfHeight = -kEm;
  TgtFontCell cell;
  HDC dc = GetDC(nullptr);
  HFONT font = dc ? CreateFontIndirectW(&lf) : nullptr;
  if (font) {
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    if (old && GetTextMetricsW(dc, &tm) && tm.tmAscent > 0) {
      cell.Ascent = double(tm.tmAscent) / kEm;
      cell.Descent = double(std::abs(tm.tmDescent)) / kEm;
      cell.Measured = true;
    }
    if (old) SelectObject(dc, old);
    DeleteObject(font);
  }
  if (dc) ReleaseDC(nullptr, dc);
  return cells.emplace(key, cell).first->second;
}

TgtDigest gtMD5(const void *data, size_t size) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, size, static_cast<const uint8_t *>(data));
  TgtDigest digest{};
  md5_digest(&ctx, digest.size(), digest.data());
  return digest;
}

void TgtBitmap::Allocate(int32_t Width, int32_t Height) {
  if (Width <= 0 || Height <= 0 || Width > kMaxSide || Height > kMaxSide || int64_t(Width) * Height > kMaxPixels)
    throw ENxError(nxeData, "A bitmap of " + std::to_string(Width) + " x " + std::to_string(Height) +
                                " pixels cannot be made");
  FWidth = Width;
  FHeight = Height;
  FPixels.resize(size_t(Width) * size_t(Height));
}

TgtBitmap::TgtBitmap(int32_t Width, int32_t Height, COLORREF Fill) {
  Allocate(Width, Height);
  std::fill(FPixels.begin(), FPixels.end(), TMemoryBitmap::PixelOf(Fill));
}

COLORREF TgtBitmap::Pixel(int32_t x, int32_t y) const {
  uint32_t p = Row(y)[x];
  return RGB(BYTE(p >> 16), BYTE(p >> 8), BYTE(p));
}

TgtBitmap TgtBitmap::FromDIB(const BITMAPINFO *Info, size_t InfoSize, const void *Bits, size_t BitsSize) {
  if (!Info || InfoSize < sizeof(BITMAPINFOHEADER) || !Bits)
    throw ENxError(nxeData, "A bitmap without a usable header");
  const BITMAPINFOHEADER &h = Info->bmiHeader;
  int64_t w = h.biWidth, hgt = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
  if (h.biSize < sizeof(BITMAPINFOHEADER) || w <= 0 || hgt <= 0 || w > kMaxSide || hgt > kMaxSide)
    throw ENxError(nxeData, "A bitmap of " + std::to_string(w) + " x " + std::to_string(hgt) + " pixels");
  bool compressed = h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4 || h.biCompression == BI_JPEG ||
                    h.biCompression == BI_PNG;
  if (!compressed) {
    uint64_t stride = ((uint64_t(w) * h.biBitCount + 31) / 32) * 4;
    if (h.biBitCount == 0 || stride * uint64_t(hgt) > BitsSize) throw ENxError(nxeData, "A bitmap's bits are short");
  }
  // GDI converts the rows straight into the pixels, each written once.
  TgtBitmap result;
  result.Allocate(int32_t(w), int32_t(hgt));
  result.PixelFormat = h.biBitCount <= 1 ? pf1bit
                       : h.biBitCount <= 4 ? pf4bit
                       : h.biBitCount <= 8 ? pf8bit
                       : h.biBitCount == 16 ? pf16bit
                       : h.biBitCount == 32 ? pf32bit
                                            : pf24bit;
  if (DIBitsToPixels(Info, InfoSize, Bits, BitsSize, DIB_RGB_COLORS, result.FPixels.data()) != result.FHeight)
    throw ENxError(nxeData, "A bitmap that cannot be decoded");
  if (h.biBitCount == 1)
    result.FOneBit = OneBitFromDib(result, static_cast<const BYTE *>(Bits), h.biHeight < 0);
  return result;
}

std::shared_ptr<const TgtOneBitPicture> TgtBitmap::OneBit() const {
  if (FOneBit || Empty()) return FOneBit;
  uint32_t colour[2] = {Row(0)[0] & 0xFFFFFF, Row(0)[0] & 0xFFFFFF};
  bool second = false;
  for (int32_t y = 0; y < FHeight; ++y) {
    const uint32_t *row = Row(y);
    for (int32_t x = 0; x < FWidth && !second; ++x)
      if ((row[x] & 0xFFFFFF) != colour[0]) colour[1] = row[x] & 0xFFFFFF, second = true;
    // Bit 24 of (d + 0xFFFFFF), d a 24-bit difference, is set when d is not
    // 0: no branch to mispredict on pixels that alternate between the two.
    uint32_t third = 0;
    for (int32_t x = 0; x < FWidth; ++x)
      third |= (((row[x] ^ colour[0]) & 0xFFFFFF) + 0xFFFFFF) & (((row[x] ^ colour[1]) & 0xFFFFFF) + 0xFFFFFF);
    if (third & 0x1000000) return nullptr;
  }
  auto one = std::make_shared<TgtOneBitPicture>();
  one->Colours[0] = colour[0];
  one->Colours[1] = colour[1];
  one->Stride = (size_t(FWidth) + 31) / 32;
  one->Rows.assign(one->Stride * size_t(FHeight), 0);
  for (int32_t y = 0; y < FHeight; ++y)
    TMemoryBitmap::PackRowOneBit(Row(y), FWidth, colour[0],
                                 reinterpret_cast<BYTE *>(one->Rows.data() + one->Stride * size_t(y)));
  return one;
}

// The BMP file header and info header of SaveToStream.
std::vector<BYTE> TgtBitmap::StreamHeader(size_t &Stride) const {
  const int bpp = Alpha ? 32 : 24;
  Stride = ((size_t(FWidth) * bpp + 31) / 32) * 4;
  const size_t header = 14 + 40;
  std::vector<BYTE> out(header, 0);
  out[0] = 'B';
  out[1] = 'M';
  PutU32(out, 2, uint32_t(header + Stride * size_t(FHeight)));
  PutU32(out, 10, uint32_t(header));
  PutU32(out, 14, 40);
  PutU32(out, 18, uint32_t(FWidth));
  PutU32(out, 22, uint32_t(FHeight));
  PutU16(out, 26, 1);
  PutU16(out, 28, uint32_t(bpp));
  PutU32(out, 34, uint32_t(Stride * size_t(FHeight)));
  return out;
}

// Row y of SaveToStream's bits (the rows are stored bottom-up), padding
// included.
void TgtBitmap::StreamRow(int32_t y, BYTE *dst) const {
  const uint32_t *src = Row(y);
  BYTE *const start = dst;
  for (int32_t x = 0; x < FWidth; ++x) {
    uint32_t p = src[x];
    *dst++ = BYTE(p);
    *dst++ = BYTE(p >> 8);
    *dst++ = BYTE(p >> 16);
    if (Alpha) *dst++ = BYTE(p >> 24);
  }
  const size_t used = size_t(dst - start), stride = ((used * 8 + 31) / 32) * 4;
  std::fill(dst, start + stride, BYTE(0));
}

std::vector<BYTE> TgtBitmap::SaveToStream() const {
  size_t stride = 0;
  std::vector<BYTE> out = StreamHeader(stride);
  const size_t header = out.size();
  out.resize(header + stride * size_t(FHeight));
  for (int32_t y = 0; y < FHeight; ++y) StreamRow(y, out.data() + header + size_t(FHeight - 1 - y) * stride);
  return out;
}

// MD5 of SaveToStream's bytes, taken a row at a time.
TgtDigest TgtBitmap::Digest() const {
  size_t stride = 0;
  const std::vector<BYTE> header = StreamHeader(stride);
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, header.size(), header.data());
  std::vector<BYTE> row(stride);
  for (int32_t y = FHeight - 1; y >= 0; --y) {
    StreamRow(y, row.data());
    md5_update(&ctx, row.size(), row.data());
  }
  TgtDigest digest{};
  md5_digest(&ctx, digest.size(), digest.data());
  return digest;
}

int GdiPenStyle(TgtPenStyle Style) {
  switch (Style) {
    case psDash: return PS_DASH;
    case psDot: return PS_DOT;
    case psDashDot: return PS_DASHDOT;
    case psDashDotDot: return PS_DASHDOTDOT;
    case psClear: return PS_NULL;
    case psInsideFrame: return PS_INSIDEFRAME;
    default: return PS_SOLID;
  }
}

HBRUSH CreateGdiBrush(const TgtBrush *Brush) {
  if (!Brush || Brush->Style == bsClear) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  switch (Brush->Style) {
    case bsHorizontal: return CreateHatchBrush(HS_HORIZONTAL, Brush->Color);
    case bsVertical: return CreateHatchBrush(HS_VERTICAL, Brush->Color);
    case bsFDiagonal: return CreateHatchBrush(HS_FDIAGONAL, Brush->Color);
    case bsBDiagonal: return CreateHatchBrush(HS_BDIAGONAL, Brush->Color);
    case bsCross: return CreateHatchBrush(HS_CROSS, Brush->Color);
    case bsDiagCross: return CreateHatchBrush(HS_DIAGCROSS, Brush->Color);
    default: return CreateSolidBrush(Brush->Color);
  }
}

}  // namespace nx
