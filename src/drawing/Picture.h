// Pictures for NxBitmap: Windows bitmaps, GIF (first image) and JPEG files
// decoded into one 24-bit bitmap layout, the bottom-up DIB rows that
// StretchDIBits and CreateDIBSection take.
#pragma once

#include <cstdint>
#include <functional>
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

// The device pixels a picture of the given size will cover on the page, which
// the decoders ask once they know the size (SIZE{0, 0}: no limit).
using TCoverage = std::function<SIZE(int32_t width, int32_t height)>;

// Which columns and rows of a decoder's grid a picture keeps: every step-th.
struct TSampling {
  int32_t stepX = 1, stepY = 1;
};

// A picture is never kept far beyond the device pixels it covers: between
// one and two kept pixels for each covered one on either axis.
TSampling SamplingFor(int32_t width, int32_t height, const TCoverage &cover);

class TPicture {
 public:
  TPicture() = default;
  // A white picture; throws ENxError (nxeData) for a size beyond the limits.
  TPicture(int32_t width, int32_t height) : TPicture(width, height, TSampling{}) {}
  // A white picture of the declared width x height that keeps every
  // step-th column and row of the decoder's grid (of gridWidth x gridHeight
  // pixels, the declared size unless given).
  TPicture(int32_t width, int32_t height, TSampling sampling, int32_t gridWidth = 0, int32_t gridHeight = 0);

  // The kept pixels.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The size the file declares, which places the picture on the page.
  int32_t DeclaredWidth() const { return declaredWidth_; }
  int32_t DeclaredHeight() const { return declaredHeight_; }
  bool Sampled() const { return width_ != declaredWidth_ || height_ != declaredHeight_; }
  bool Empty() const { return width_ == 0; }
  size_t Stride() const { return stride_; }
  // Whether grid row y is kept; decoders skip the work of the others.
  bool KeepsRow(int32_t y) const { return y % stepY_ == 0; }
  // Grid pixel (x, y), y counted from the top; dropped unless kept.
  void Set(int32_t x, int32_t y, BYTE r, BYTE g, BYTE b) {
    if (stepX_ != 1 || stepY_ != 1) {
      if (x % stepX_ != 0 || y % stepY_ != 0) return;
      x /= stepX_;
      y /= stepY_;
    }
    BYTE *p = Row(y) + static_cast<size_t>(x) * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  // Every kept pixel in one colour.
  void Fill(BYTE r, BYTE g, BYTE b);
  // Kept pixel (x, y).
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
  int32_t declaredWidth_ = 0;
  int32_t declaredHeight_ = 0;
  int32_t stepX_ = 1;
  int32_t stepY_ = 1;
  size_t stride_ = 0;
  std::vector<BYTE> bits_;
};

enum class TPictureKind { Unknown, Bmp, Gif, Jpeg };

// The decoder a file name's extension selects (.BMP, .GIF, .JPG, .JPEG in
// any case); Unknown for any other.
TPictureKind PictureKindOf(const WString &fileName);

// Decoders. Each throws ENxError (nxeData) naming what is wrong with the
// data: truncated, corrupt, no image, a size beyond the limits. With a
// coverage, a picture larger than the pixels it covers is kept smaller
// (SamplingFor).
TPicture DecodeBmp(const BYTE *data, size_t size, const TCoverage &cover = {});
TPicture DecodeGif(const BYTE *data, size_t size, const TCoverage &cover = {});
TPicture DecodeJpeg(const BYTE *data, size_t size, const TCoverage &cover = {});
TPicture DecodePicture(TPictureKind kind, const BYTE *data, size_t size, const TCoverage &cover = {});

// Reads and decodes a picture file; the file's name leads every message.
// A folder, an unreadable file or undecodable data throws ENxError.
TPicture LoadPicture(const WString &fileName, TPictureKind kind, const TCoverage &cover = {});

}  // namespace nx
