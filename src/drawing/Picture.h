// Pictures for NxBitmap: Windows bitmaps, GIF (first image) and JPEG files
// decoded into one 24-bit bitmap layout, the bottom-up DIB rows that
// StretchDIBits and CreateDIBSection take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "session/Session.h"

namespace nx {

// Sides and area beyond which a declared picture size is refused before any
// memory is taken for it.
constexpr int32_t kMaxPictureSide = 32767;
constexpr int64_t kMaxPicturePixels = 64LL * 1024 * 1024;

// Throws ENxError (nxeData) for a size without pixels or beyond the limits.
void CheckPictureSize(int32_t width, int32_t height);

class TPicture {
 public:
  TPicture() = default;
  // A white picture; throws ENxError (nxeData) for a size beyond the limits.
  TPicture(int32_t width, int32_t height);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Empty() const { return width_ == 0; }
  size_t Stride() const { return stride_; }
  // Pixel (x, y), y counted from the top.
  void Set(int32_t x, int32_t y, BYTE r, BYTE g, BYTE b) {
    BYTE *p = Row(y) + static_cast<size_t>(x) * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  COLORREF Pixel(int32_t x, int32_t y) const {
    const BYTE *p = Row(y) + static_cast<size_t>(x) * 3;
    return RGB(p[2], p[1], p[0]);
  }
  BYTE *Row(int32_t y) { return bits_.data() + static_cast<size_t>(height_ - 1 - y) * stride_; }
  const BYTE *Row(int32_t y) const { return bits_.data() + static_cast<size_t>(height_ - 1 - y) * stride_; }
  // The rows, bottom-up, as a 24-bit DIB.
  const std::vector<BYTE> &Bits() const { return bits_; }
  // The BITMAPINFOHEADER of those rows: 40 bytes, positive height, BI_RGB.
  BITMAPINFOHEADER Header() const;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t stride_ = 0;
  std::vector<BYTE> bits_;
};

enum class TPictureKind { Unknown, Bmp, Gif, Jpeg };

// The decoder a file name's extension selects (.BMP, .GIF, .JPG, .JPEG in
// any case); Unknown for any other.
TPictureKind PictureKindOf(const WString &fileName);

// Decoders. Each throws ENxError (nxeData) naming what is wrong with the
// data: truncated, corrupt, no image, a size beyond the limits.
TPicture DecodeBmp(const BYTE *data, size_t size);
TPicture DecodeGif(const BYTE *data, size_t size);
TPicture DecodeJpeg(const BYTE *data, size_t size);
TPicture DecodePicture(TPictureKind kind, const BYTE *data, size_t size);

// Reads and decodes a picture file; the file's name leads every message.
// A folder, an unreadable file or undecodable data throws ENxError.
TPicture LoadPicture(const WString &fileName, TPictureKind kind);

}  // namespace nx
