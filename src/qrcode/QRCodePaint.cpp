// Drawing of the QR code component through GDI.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "device/MemoryBitmap.h"
#include "qrcode/QRCode.h"

namespace nx {

namespace {

void Fill(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  RECT r{left, top, right, bottom};
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// The farthest coordinate a drawing reaches, and the side of the bitmap that
// scaled drawing makes (three margins): beyond 32 bits the pixel arithmetic
// would overflow.
void CheckExtent(int64_t modules, int64_t moduleWidth, int64_t margin, int64_t offset, int64_t control) {
  const int64_t extent = std::max(modules * moduleWidth + 3 * margin, control) + offset;
  if (extent > INT32_MAX)
    throw ENxError(nxeArgument, "QR code: " + std::to_string(modules) + " modules of " + std::to_string(moduleWidth) +
                                    " pixels do not fit in 32-bit coordinates");
}

// The source pixel that StretchBlt copies to each of `side` destination
// pixels when it stretches n <= side pixels along one axis. A stretch picks
// its source column by the destination column alone and its source row by
// the destination row alone, so stretching one line of numbered pixels
// gives the same choice as the platform makes for the whole picture,
// rounding included. Empty when a destination pixel would take no source
// pixel.
std::vector<int32_t> StretchSamples(int32_t n, int32_t side, bool across) {
  TMemoryBitmap line(across ? n : 1, across ? 1 : n), stretched(across ? side : 1, across ? 1 : side);
  for (int32_t i = 0; i < n; ++i) (across ? line.Row(0)[i] : line.Row(i)[0]) = uint32_t(i + 1);
  StretchBlt(stretched.dc(), 0, 0, stretched.Width(), stretched.Height(), line.dc(), 0, 0, line.Width(),
             line.Height(), SRCCOPY);
  GdiFlush();
  std::vector<int32_t> at(static_cast<size_t>(side));
  for (int32_t i = 0; i < side; ++i) {
    const uint32_t v = (across ? stretched.Row(0)[i] : stretched.Row(i)[0]) & 0xFFFFFF;
    if (v < 1 || v > uint32_t(n)) return {};
    at[size_t(i)] = int32_t(v) - 1;
  }
  return at;
}

// The two colours of the image's pixels that the samples pick, the one of
// the first destination pixel first; false for one colour or more than two.
bool SampledColours(const TMemoryBitmap &image, const std::vector<int32_t> &cols, const std::vector<int32_t> &rows,
                    uint32_t colour[2]) {
  std::vector<bool> usedCol(size_t(image.Width())), usedRow(size_t(image.Height()));
  for (int32_t c : cols) usedCol[size_t(c)] = true;
  for (int32_t r : rows) usedRow[size_t(r)] = true;
  colour[0] = colour[1] = image.Row(rows[0])[cols[0]] & 0xFFFFFF;
  for (int32_t y = 0; y < image.Height(); ++y) {
    if (!usedRow[size_t(y)]) continue;
    const uint32_t *row = image.Row(y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      const uint32_t p = row[x] & 0xFFFFFF;
      if (!usedCol[size_t(x)] || p == colour[0] || p == colour[1]) continue;
      if (colour[1] != colour[0]) return false;
      colour[1] = p;
    }
  }
  return colour[1] != colour[0];
}

// The stretch of a two-colour image to cols x rows samples, packed at one bit
// a pixel as TSurface::Draw packs a picture of two colours.
bool SampleTwoColours(const TMemoryBitmap &image, const std::vector<int32_t> &cols, const std::vector<int32_t> &rows,
                      TMonoBitmap &out) {
  uint32_t colour[2];
  if (!SampledColours(image, cols, rows, colour)) return false;
  const int32_t w = int32_t(cols.size()), h = int32_t(rows.size());
  out.SetSize(w, h, colour[0], colour[1]);
  std::vector<uint32_t> line(static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    if (y > 0 && rows[size_t(y)] == rows[size_t(y) - 1]) {
      std::memcpy(out.Row(y), out.Row(y - 1), out.Stride());
      continue;
    }
    const uint32_t *src = image.Row(rows[size_t(y)]);
    for (int32_t x = 0; x < w; ++x) line[size_t(x)] = src[cols[size_t(x)]];
    TMemoryBitmap::PackRowOneBit(line.data(), w, colour[0], out.Row(y));
  }
  return true;
}

}  // namespace

// A module is filled as a rectangle rather than outlined and filled as a
// polygon: the fill covers exactly size x size pixels for every size, where a
// one-pixel polygon degenerates to a point.
void TQRCode::DrawModule(HDC canvas, int32_t x, int32_t y, COLORREF colour, int32_t size) {
  Fill(canvas, x, y, x + size, y + size, colour);
}

void TQRCode::BuildChecked() {
  if (FmoduleWidth < 1 || FmarginPixels < 0)
    throw ENxError(nxeArgument, "QR code: the module width must be at least 1 pixel and the margin at least 0");
  BuildSymbol();
}

void TQRCode::Measure() {
  const TQRBitMap &m = *Fbitmap;
  CheckExtent(std::max(m.getMaxX(), m.getMaxY()), FmoduleWidth, FmarginPixels,
              std::max(std::abs(int64_t(FoffsetX)), std::abs(int64_t(FoffsetY))), std::max(FWidth, FHeight));
  FcurrentX = m.getMaxX() * FmoduleWidth + 2 * FmarginPixels + FoffsetX;
  FcurrentY = m.getMaxY() * FmoduleWidth + 2 * FmarginPixels + FoffsetY;
}

void TQRCode::DrawSymbol(HDC canvas) {
  Measure();
  const int32_t ox = FmarginPixels + FoffsetX, oy = FmarginPixels + FoffsetY, mw = FmoduleWidth;
  Fill(canvas, FoffsetX, FoffsetY, FoffsetX + FWidth, FoffsetY + FHeight, FbackColor);
  const TQRBitMap &m = *Fbitmap;
  // Each run of dark modules in a row as one rectangle: the same pixels as
  // one square per module, with far fewer calls.
  HBRUSH bar = CreateSolidBrush(FbarColor);
  for (int32_t y = 0; y < m.getMaxY(); ++y)
    for (int32_t x = 0; x < m.getMaxX(); ++x) {
      if (!m.isBlack(x, y)) continue;
      int32_t run = 1;
      while (x + run < m.getMaxX() && m.isBlack(x + run, y)) ++run;
      RECT r{x * mw + ox, y * mw + oy, (x + run) * mw + ox, (y + 1) * mw + oy};
      FillRect(canvas, &r, bar);
      x += run - 1;
    }
  DeleteObject(bar);
}

void TQRCode::paintBarcode(HDC canvas) {
  BuildChecked();
  if (canvas) DrawSymbol(canvas);
}

void TQRCode::paintBarcodeAutoSize(HDC c) {
  BuildChecked();
  Measure();
  TMemoryBitmap image(FmarginPixels + FcurrentX, FmarginPixels + FcurrentY);
  DrawSymbol(image.dc());
  Fill(c, 0, 0, FWidth, FHeight, FbackColor);
  StretchBlt(c, 0, 0, FWidth, FHeight, image.dc(), 0, 0, image.Width(), image.Height(), SRCCOPY);
}

bool TQRCode::paintBarcodeAutoSizeMono(TMonoBitmap &out) {
  BuildChecked();
  Measure();
  const int32_t sw = FmarginPixels + FcurrentX, sh = FmarginPixels + FcurrentY;
  // Shrinking merges source pixels: only the general path does that.
  if (sw > FWidth || sh > FHeight) return false;
  const std::vector<int32_t> cols = StretchSamples(sw, FWidth, true), rows = StretchSamples(sh, FHeight, false);
  if (cols.empty() || rows.empty()) return false;
  TMemoryBitmap image(sw, sh);
  DrawSymbol(image.dc());
  GdiFlush();
  return SampleTwoColours(image, cols, rows, out);
}

void TQRCode::Paint(HDC canvas) {
  if (FAutoFit) {
    paintBarcodeAutoSize(canvas);
    return;
  }
  TMemoryBitmap image(FWidth, FHeight);
  paintBarcode(image.dc());
  BitBlt(canvas, 0, 0, FWidth, FHeight, image.dc(), 0, 0, SRCCOPY);
}

}  // namespace nx
