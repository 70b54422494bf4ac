// Windows bitmap files: core (OS/2 1.x) and info headers up to version 5,
// 1, 4, 8, 16, 24 and 32 bits per pixel, RLE8 and RLE4, bit fields, bottom-up
// and top-down rows. Every offset and count is checked against the file.
#include <algorithm>
#include <bit>

#include "common/ErrorChannel.h"
#include "drawing/Picture.h"

namespace nx {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr DWORD kAlphaBitfields = 6;

[[noreturn]] void Corrupt(const std::string &why) { throw ENxError(nxeData, why); }

// Little-endian reads over the file's bytes.
struct TReader {
  const BYTE *data;
  size_t size;
  uint32_t U32(size_t at) const {
    if (at + 4 > size) Corrupt("the bitmap file is truncated");
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (static_cast<uint32_t>(data[at + 3]) << 24);
  }
  uint16_t U16(size_t at) const {
    if (at + 2 > size) Corrupt("the bitmap file is truncated");
    return static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
  }
};

struct TBmpInfo {
  int32_t width = 0;
  int32_t height = 0;  // positive
  bool topDown = false;
  int bpp = 0;
  DWORD compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};
  std::vector<COLORREF> palette;
  size_t bitsOffset = 0;
};

// One channel of a bit-field pixel, scaled to 0..255.
BYTE Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t max = mask >> shift;
  return static_cast<BYTE>((((pixel & mask) >> shift) * 255u + max / 2) / max);
}

void ReadMasks(const TReader &r, size_t at, TBmpInfo &info) {
  for (int i = 0; i < 3; ++i) info.masks[i] = r.U32(at + 4 * static_cast<size_t>(i));
}

TBmpInfo ReadInfo(const TReader &r) {
  if (r.size < kFileHeaderSize + 12 || r.data[0] != 'B' || r.data[1] != 'M')
    Corrupt("the file is not a Windows bitmap (no BM signature)");
  TBmpInfo info;
  const uint32_t headerSize = r.U32(kFileHeaderSize);
  size_t tableAt = kFileHeaderSize + headerSize;
  size_t entrySize = 4;
  if (headerSize == 12) {
    info.width = r.U16(18);
    info.height = r.U16(20);
    info.bpp = r.U16(24);
    entrySize = 3;
  } else if (headerSize >= 40 && headerSize <= 1024) {
    info.width = static_cast<int32_t>(r.U32(18));
    const int32_t h = static_cast<int32_t>(r.U32(22));
    if (h == INT32_MIN) Corrupt("the bitmap's height is invalid");
    info.topDown = h < 0;
    info.height = h < 0 ? -h : h;
    info.bpp = r.U16(28);
    info.compression = r.U32(30);
    if (info.compression == BI_BITFIELDS || info.compression == kAlphaBitfields) {
      if (headerSize >= 52) {
        ReadMasks(r, kFileHeaderSize + 40, info);
      } else {
        ReadMasks(r, tableAt, info);
        tableAt += info.compression == kAlphaBitfields ? 16 : 12;
      }
    }
    const uint32_t used = r.U32(46);
    if (info.bpp <= 8) {
      const uint32_t full = 1u << info.bpp;
      const uint32_t count = used == 0 || used > full ? full : used;
      info.palette.resize(count);
    }
  } else {
    Corrupt("the bitmap header size " + std::to_string(headerSize) + " is unknown");
  }
  if (headerSize == 12 && info.bpp <= 8) info.palette.resize(1u << info.bpp);
  if (info.width <= 0 || info.height <= 0) Corrupt("the bitmap has no pixels");
  switch (info.bpp) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: Corrupt("the bitmap has " + std::to_string(info.bpp) + " bits per pixel");
  }
  for (size_t i = 0; i < info.palette.size(); ++i) {
    const size_t at = tableAt + i * entrySize;
    if (at + 3 > r.size) Corrupt("the bitmap's colour table is truncated");
    info.palette[i] = RGB(r.data[at + 2], r.data[at + 1], r.data[at]);
  }
  const size_t tableEnd = tableAt + info.palette.size() * entrySize;
  const uint32_t offBits = r.U32(10);
  info.bitsOffset = offBits >= kFileHeaderSize + 12 && offBits < r.size ? offBits : tableEnd;
  return info;
}

void CheckCompression(const TBmpInfo &info) {
  const DWORD c = info.compression;
  const bool ok = c == BI_RGB || (c == BI_RLE8 && info.bpp == 8) || (c == BI_RLE4 && info.bpp == 4) ||
                  ((c == BI_BITFIELDS || c == kAlphaBitfields) && (info.bpp == 16 || info.bpp == 32));
  if (!ok) Corrupt("the bitmap's compression " + std::to_string(c) + " with " + std::to_string(info.bpp) +
                   " bits per pixel is not supported");
  if ((c == BI_RLE8 || c == BI_RLE4) && info.topDown) Corrupt("a run-length encoded bitmap cannot be top-down");
}

void PutIndex(TPicture &pic, const TBmpInfo &info, int32_t x, int32_t y, uint32_t index) {
  const COLORREF c = index < info.palette.size() ? info.palette[index] : RGB(0, 0, 0);
  pic.Set(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
}

// The kept pixels of one row; the others are not looked at.
void DecodeRow(TPicture &pic, const TBmpInfo &info, const BYTE *row, int32_t y) {
  const int32_t end = std::min(info.width, pic.ColumnEnd());
  for (int32_t x = pic.ColumnBegin(); x < end; x += pic.ColumnStep()) {
    switch (info.bpp) {
      case 1: PutIndex(pic, info, x, y, (row[x >> 3] >> (7 - (x & 7))) & 1); break;
      case 4: PutIndex(pic, info, x, y, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF); break;
      case 8: PutIndex(pic, info, x, y, row[x]); break;
      case 16: {
        const uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
        pic.Set(x, y, Channel(v, info.masks[0]), Channel(v, info.masks[1]), Channel(v, info.masks[2]));
        break;
      }
      case 24: pic.Set(x, y, row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
      default: {
        const BYTE *p = row + 4 * static_cast<size_t>(x);
        const uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
        pic.Set(x, y, Channel(v, info.masks[0]), Channel(v, info.masks[1]), Channel(v, info.masks[2]));
      }
    }
  }
}

size_t FileStride(const TBmpInfo &info) { return ((static_cast<size_t>(info.width) * info.bpp + 31) / 32) * 4; }

// Uncompressed rows must all be in the file; checked before the picture's
// memory is taken, so a small file cannot claim a large picture.
void CheckRowsPresent(const TBmpInfo &info, const TReader &r) {
  const size_t rowBytes = (static_cast<size_t>(info.width) * info.bpp + 7) / 8;
  // The last row may lack its padding; anything shorter is truncated.
  const size_t need = FileStride(info) * static_cast<size_t>(info.height - 1) + rowBytes;
  if (info.bitsOffset > r.size || r.size - info.bitsOffset < need)
    Corrupt("the bitmap file is truncated: " + std::to_string(need) + " bytes of pixels expected, " +
            std::to_string(info.bitsOffset > r.size ? 0 : r.size - info.bitsOffset) + " present");
}

void DecodeUncompressed(TPicture &pic, const TBmpInfo &info, const TReader &r) {
  const size_t stride = FileStride(info);
  for (int32_t fileRow = 0; fileRow < info.height; ++fileRow) {
    const int32_t y = info.topDown ? fileRow : info.height - 1 - fileRow;
    if (!pic.KeepsRow(y)) continue;
    DecodeRow(pic, info, r.data + info.bitsOffset + stride * static_cast<size_t>(fileRow), y);
  }
}

// Run-length encoded rows (bottom-up). Pixels a delta or an early end skips
// keep colour 0 of the table. The whole stream is read, so that damage
// anywhere is found, but only the kept pixels of a run are written.
void DecodeRle(TPicture &pic, const TBmpInfo &info, const TReader &r) {
  const bool four = info.compression == BI_RLE4;
  const COLORREF first = info.palette.empty() ? RGB(0, 0, 0) : info.palette[0];
  pic.Fill(GetRValue(first), GetGValue(first), GetBValue(first));
  // Positions are held at the picture's edge: a run or delta past the right
  // or top only skips pixels, and no count of them can wrap the position.
  const int64_t width = info.width, height = info.height;
  int64_t x = 0, row = 0;  // row counted from the bottom
  size_t at = info.bitsOffset;
  // A run of n pixels from x; index(i) is the colour index of its i-th.
  auto run = [&](int64_t n, auto index) {
    const int64_t end = std::min(x + n, width);
    const int32_t y = static_cast<int32_t>(height - 1 - row);
    if (row < height && pic.KeepsRow(y)) {
      const int64_t stop = std::min<int64_t>(end, pic.ColumnEnd());
      for (int64_t c = pic.FirstColumnFrom(static_cast<int32_t>(x)); c < stop; c += pic.ColumnStep())
        PutIndex(pic, info, static_cast<int32_t>(c), y, index(static_cast<size_t>(c - x)));
    }
    x = end;
  };
  while (true) {
    if (at + 2 > r.size) {
      if (row >= info.height) return;  // every row is there; only the end mark is missing
      Corrupt("the run-length encoded bitmap is truncated");
    }
    const BYTE count = r.data[at], value = r.data[at + 1];
    at += 2;
    if (count > 0) {
      run(count, [&](size_t i) -> uint32_t { return four ? ((i & 1) ? value & 0xF : value >> 4) : value; });
      continue;
    }
    if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (at + 2 > r.size) Corrupt("the run-length encoded bitmap is truncated");
      x = std::min<int64_t>(x + r.data[at], width);
      row = std::min<int64_t>(row + r.data[at + 1], height + 1);
      at += 2;
    } else {
      const size_t bytes = four ? (value + 1u) / 2 : value;
      if (at + bytes > r.size) Corrupt("the run-length encoded bitmap is truncated");
      const BYTE *p = r.data + at;
      run(value, [&](size_t i) -> uint32_t { return four ? ((i & 1) ? p[i / 2] & 0xF : p[i / 2] >> 4) : p[i]; });
      at += (bytes + 1) & ~static_cast<size_t>(1);  // absolute runs are padded to a word
    }
    if (row > height) return;  // past the top: nothing more can be drawn
  }
}

}  // namespace

TPicture DecodeBmp(const BYTE *data, size_t size, const TPlacement &place) {
  const TReader r{data, size};
  TBmpInfo info = ReadInfo(r);
  CheckCompression(info);
  if (info.compression == BI_RGB && info.bpp == 16) {
    info.masks[0] = 0x7C00;
    info.masks[1] = 0x03E0;
    info.masks[2] = 0x001F;
  } else if (info.compression == BI_RGB && info.bpp == 32) {
    info.masks[0] = 0xFF0000;
    info.masks[1] = 0x00FF00;
    info.masks[2] = 0x0000FF;
  }
  const bool rle = info.compression == BI_RLE8 || info.compression == BI_RLE4;
  CheckPictureSize(info.width, info.height);
  if (!rle) CheckRowsPresent(info, r);
  TPicture pic(info.width, info.height, ViewFor(info.width, info.height, place));
  if (rle)
    DecodeRle(pic, info, r);
  else
    DecodeUncompressed(pic, info, r);
  return pic;
}

}  // namespace nx
