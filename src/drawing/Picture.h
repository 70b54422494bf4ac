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

// The part of a picture that the page shows and how finely it is kept:
// columns x0..x1 and rows y0..y1 (from the top, ends excluded) of the
// declared size, of which every step-th column and row is kept.
struct TView {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int32_t stepX = 1, stepY = 1;
  bool operator==(const TView &) const = default;
};

// Where a picture lands: the view of a picture of the given declared size
// that the page shows, which the decoders ask once they know the size.
using TPlacement = std::function<TView(int32_t width, int32_t height)>;

// Every pixel of a picture.
TView WholeView(int32_t width, int32_t height);
// The placement's view held inside the picture (one pixel at least, steps
// of at least 1); the whole picture without a placement.
TView ViewFor(int32_t width, int32_t height, const TPlacement &place);

class TPicture {
 public:
  TPicture() = default;
  // A white picture; throws ENxError (nxeData) for a size beyond the limits.
  TPicture(int32_t width, int32_t height) : TPicture(width, height, WholeView(width, height)) {}
  // A white picture of the declared width x height that keeps the view's
  // pixels. A decoder whose grid is the picture scaled down by `scale`
  // (libjpeg's 1/2 to 1/8; its grid is width / scale rounded up) keeps the
  // view's share of that grid.
  TPicture(int32_t width, int32_t height, const TView &view, int32_t scale = 1);

  // The kept pixels.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The size the file declares, which places the picture on the page.
  int32_t DeclaredWidth() const { return declaredWidth_; }
  int32_t DeclaredHeight() const { return declaredHeight_; }
  // The part of the declared picture that the kept pixels show.
  RECT Window() const { return window_; }
  // Whether the kept pixels are the declared picture, pixel for pixel, or
  // a part of it at its own resolution.
  bool Sampled() const { return width_ != declaredWidth_ || height_ != declaredHeight_; }
  bool FullResolution() const { return scale_ == 1 && stepX_ == 1 && stepY_ == 1; }
  bool Empty() const { return width_ == 0; }
  size_t Stride() const { return stride_; }
  // The decoder's grid columns that hold kept pixels: from ColumnBegin to
  // before ColumnEnd in steps of ColumnStep; FirstColumnFrom(x) is the first
  // of them at or after x.
  int32_t ColumnBegin() const { return gridX0_; }
  int32_t ColumnEnd() const { return gridX1_; }
  int32_t ColumnStep() const { return stepX_; }
  int32_t FirstColumnFrom(int32_t x) const {
    if (x <= gridX0_) return gridX0_;
    return gridX0_ + static_cast<int32_t>((int64_t{x} - gridX0_ + stepX_ - 1) / stepX_ * stepX_);
  }
  // The grid rows that hold kept pixels are from RowBegin to before RowEnd.
  int32_t RowBegin() const { return gridY0_; }
  int32_t RowEnd() const { return gridY1_; }
  // Whether grid row y is kept; decoders skip the work of the others.
  bool KeepsRow(int32_t y) const { return y >= gridY0_ && y < gridY1_ && (y - gridY0_) % stepY_ == 0; }
  // Grid pixel (x, y), y counted from the top; dropped unless kept.
  void Set(int32_t x, int32_t y, BYTE r, BYTE g, BYTE b) {
    if (x < gridX0_ || x >= gridX1_ || y < gridY0_ || y >= gridY1_) return;
    x -= gridX0_;
    y -= gridY0_;
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
  RECT window_{};
  int32_t scale_ = 1;
  int32_t gridX0_ = 0, gridY0_ = 0, gridX1_ = 0, gridY1_ = 0;
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
// placement only the view's pixels are kept, and the work of the others is
// skipped where the format allows it.
TPicture DecodeBmp(const BYTE *data, size_t size, const TPlacement &place = {});
TPicture DecodeGif(const BYTE *data, size_t size, const TPlacement &place = {});
TPicture DecodeJpeg(const BYTE *data, size_t size, const TPlacement &place = {});
TPicture DecodePicture(TPictureKind kind, const BYTE *data, size_t size, const TPlacement &place = {});

// Reads and decodes a picture file; the file's name leads every message.
// A folder, an unreadable file or undecodable data throws ENxError.
TPicture LoadPicture(const WString &fileName, TPictureKind kind, const TPlacement &place = {});

}  // namespace nx
