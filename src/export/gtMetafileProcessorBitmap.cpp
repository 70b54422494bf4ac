// Record pictures: decoding, raster operations, bands.
#include "export/gtMetafileProcessorBitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/ErrorChannel.h"

namespace nx {

namespace {

constexpr DWORD kLargestDibHeader = 124;  // BITMAPV5HEADER

}  // namespace

std::shared_ptr<TgtBitmap> DecodeRecordDib(const TgtEmfRecord &r, DWORD offBmi, DWORD cbBmi, DWORD offBits,
                                           DWORD cbBits, std::string *why) {
  const uint8_t *info = r.Bytes(offBmi, cbBmi);
  const uint8_t *bits = r.Bytes(offBits, cbBits);
  if (!info || !bits || cbBmi < sizeof(BITMAPINFOHEADER) || cbBits == 0) {
    *why = "the bitmap does not lie inside its record";
    return nullptr;
  }
  // The decoder finds the colour table after biSize bytes and takes as
  // many entries as the header implies: biSize must lie inside what the
  // record holds, and the copy has room for the largest table (zeros past
  // the record's bytes), so the copy's size is what the decoder may read.
  DWORD biSize;
  std::memcpy(&biSize, info, 4);
  if (biSize < sizeof(BITMAPINFOHEADER) || biSize > cbBmi || biSize > kLargestDibHeader) {
    *why = "the bitmap header size " + std::to_string(biSize) + " is not one of a DIB";
    return nullptr;
  }
  std::vector<uint32_t> head((cbBmi + 3) / 4 + (256 * 4 + 12) / 4, 0);
  std::memcpy(head.data(), info, cbBmi);
  auto *bmi = reinterpret_cast<BITMAPINFO *>(head.data());
  try {
    return std::make_shared<TgtBitmap>(TgtBitmap::FromDIB(bmi, head.size() * sizeof head[0], bits, cbBits));
  } catch (const std::exception &e) {
    *why = e.what();
  }
  return nullptr;
}

void CombinePicture(TgtBitmap &dst, const TgtBitmap &src, DWORD rop, COLORREF pattern) {
  // The truth table of a ternary raster operation: bit (P<<2 | S<<1 | D)
  // of the operation's index byte gives each result bit.
  const unsigned index = (rop >> 16) & 0xFF;
  const uint32_t P = uint32_t(GetRValue(pattern)) << 16 | uint32_t(GetGValue(pattern)) << 8 | GetBValue(pattern);
  const int32_t w = std::min(dst.Width(), src.Width()), h = std::min(dst.Height(), src.Height());
  for (int32_t y = 0; y < h; ++y) {
    uint32_t *d = dst.Row(y);
    const uint32_t *s = src.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t S = s[x], D = d[x];
      uint32_t out = 0;
      for (unsigned k = 0; k < 8; ++k)
        if ((index >> k) & 1) out |= (k & 4 ? P : ~P) & (k & 2 ? S : ~S) & (k & 1 ? D : ~D);
      d[x] = (D & 0xFF000000u) | (out & 0xFFFFFF);
    }
  }
}

TgtBitmap AppendBand(const TgtBitmap &picture, const TgtBitmap &band) {
  TgtBitmap out(band.Width(), picture.Height() + band.Height());
  const size_t top = size_t(std::min(picture.Width(), band.Width()));
  for (int32_t y = 0; y < picture.Height(); ++y) std::memcpy(out.Row(y), picture.Row(y), 4 * top);
  for (int32_t y = 0; y < band.Height(); ++y)
    std::memcpy(out.Row(picture.Height() + y), band.Row(y), 4 * size_t(band.Width()));
  out.PixelFormat = band.PixelFormat;
  return out;
}

}  // namespace nx
