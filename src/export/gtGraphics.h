// Pens, brushes, fonts and bitmaps as the drawing items and the engines hold
// them: plain values, copied into every item (an item never shares them with
// the metafile interpreter's current objects).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/WString.h"
#include "platform/win32.h"

namespace nx {

enum TgtPenStyle : uint8_t {
  psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame, psUserStyle, psAlternate
};

enum TgtBrushStyle : uint8_t {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };


// Pixel formats of pictures (TgtImageSettings::FImagePixelFormat).
enum TgtPixelFormat : uint8_t { pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TgtBitmap;

// An allocator whose vectors leave new elements of trivial types unset where
// a plain vector zeroes them: storage that is written in full right after
// (a picture's pixels) is not written twice.
template <class T>
struct TgtNoInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TgtNoInitAllocator<U>;
  };
  TgtNoInitAllocator() = default;
  template <class U>
  TgtNoInitAllocator(const TgtNoInitAllocator<U> &) noexcept {}
  template <class U>
  void construct(U *p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void *>(p)) U;
  }
  template <class U, class... Args>
  void construct(U *p, Args &&...args) {
    ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
  }
};

struct TgtPen {
  TgtPenStyle Style = psSolid;
  int32_t Width = 1;  // pixels
  COLORREF Color = 0;
  bool operator==(const TgtPen &) const = default;
};

struct TgtBrush {
  TgtBrushStyle Style = bsSolid;
  COLORREF Color = 0xFFFFFF;
  // The pattern of a pattern brush (CREATEDIBPATTERNBRUSHPT, CREATEMONOBRUSH);
  // shared by copies, never changed after creation.
  std::shared_ptr<const TgtBitmap> Bitmap;
};

// A font as a text item carries it. PointSize is the whole point size an
// ordinary font has; Size is the size in points as the metafile's font record
// gave it (fractional); FRotateFont the escapement in tenths of a degree.
// Height is the cell or em height in pixels (negative: em height) when a
// font was made from a height in a fixed map mode, 0 otherwise.
struct TgtFont {
  WString Name = u"Arial";
  BYTE Charset = DEFAULT_CHARSET;
  TFontPitch Pitch = fpDefault;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  COLORREF Color = 0;
  int32_t PointSize = 10;
  int32_t Height = 0;
  double Size = 0;
  int32_t FRotateFont = 0;

  // The LOGFONTW that asks our GDI for this font at the given resolution
  // (the em height of PointSize, or Height when it is set).
  LOGFONTW ToLogFont(int32_t dpi) const;
};

// A font's cell above and below the baseline as fractions of its em: the
// ascent and descent GDI gives the face, measured at a large size so that
// no rounding to whole pixels remains. GDI places top-aligned text's
// baseline at the ascent below the top, and bottom-aligned text's at the
// descent above the bottom. When the face cannot be measured the ascent is
// the whole em and the descent 0.
struct TgtFontCell {
  double Ascent = 1;
  double Descent = 0;
  bool Measured = false;
};
TgtFontCell MeasureFontCell(const TgtFont &Font);

// MD5 digest of an image resource's bytes.
using TgtDigest = std::array<BYTE, 16>;
TgtDigest gtMD5(const void *data, size_t size);

// A picture of at most two colours at one bit per pixel: Colours[0] is the
// top-left pixel's colour, Colours[1] the other one (Colours[0] again when
// there is none), and a set bit is a pixel of Colours[1]. Rows top-down,
// Stride 32-bit words each (a DIB's row), the bits past a row's end clear.
struct TgtOneBitPicture {
  uint32_t Colours[2] = {0, 0};
  size_t Stride = 0;
  std::vector<uint32_t> Rows;
};

// A picture: 32-bit pixels 0xAARRGGBB, rows top-down. PixelFormat is the
// depth the picture came with and is written at; Alpha says whether the alpha
// bytes are meaningful (the rasterised shapes), otherwise they are 0 and every
// pixel is opaque. Transparent with TransparentColor marks one colour as
// see-through, as a picture whose background is to be left out.
class TgtBitmap {
 public:
  TgtBitmap() = default;
  // Throws ENxError (nxeData) for a size without pixels or beyond the limits;
  // the pixels start as the colour given (opaque).
  TgtBitmap(int32_t Width, int32_t Height, COLORREF Fill = 0xFFFFFF);

  // A device-independent bitmap of any depth our GDI draws (1 to 32 bits,
  // palettes, bit fields), converted as StretchDIBits draws it. The header
  // and its colour table lie in the InfoSize bytes at Info. Throws ENxError
  // (nxeData) when the header is unusable (compressed bits included) or the
  // bits are short.
  static TgtBitmap FromDIB(const BITMAPINFO *Info, size_t InfoSize, const void *Bits, size_t BitsSize);

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  // Pixels that may be changed: the one-bit form kept from decoding is
  // dropped.
  uint32_t *Row(int32_t y) {
    FOneBit.reset();
    return FPixels.data() + size_t(y) * size_t(FWidth);
  }
  const uint32_t *Row(int32_t y) const { return FPixels.data() + size_t(y) * size_t(FWidth); }
  // The colour of a pixel without its alpha.
  COLORREF Pixel(int32_t x, int32_t y) const;
  BYTE AlphaAt(int32_t x, int32_t y) const { return BYTE(Row(y)[x] >> 24); }

  // The picture at one bit per pixel, or null when it has more than two
  // colours (or no pixels). A picture decoded from a 1-bpp DIB keeps this
  // form from its decoding while its pixels are unchanged; for any other it
  // is worked out from the pixels at each call.
  std::shared_ptr<const TgtOneBitPicture> OneBit() const;

  // The picture as a BMP file: 24 bits, or 32 bits with alpha.
  std::vector<BYTE> SaveToStream() const;
  // MD5 of SaveToStream.
  TgtDigest Digest() const;

  TgtPixelFormat PixelFormat = pf24bit;
  bool Alpha = false;
  bool Transparent = false;
  COLORREF TransparentColor = 0;

 private:
  std::vector<BYTE> StreamHeader(size_t &Stride) const;
  void StreamRow(int32_t y, BYTE *Dst) const;
  // Checks the size against the limits (ENxError nxeData) and makes room for
  // the pixels, leaving them unset.
  void Allocate(int32_t Width, int32_t Height);

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::vector<uint32_t, TgtNoInitAllocator<uint32_t>> FPixels;
  std::shared_ptr<const TgtOneBitPicture> FOneBit;  // from a 1-bpp DIB
};

// The GDI pen style of a pen style (solid for the styles GDI has no dash
// for), and a GDI brush for an engine brush (the null brush for none or a
// clear one); the caller deletes the brush.
int GdiPenStyle(TgtPenStyle Style);
HBRUSH CreateGdiBrush(const TgtBrush *Brush);

}  // namespace nx
