// Drawing of the QR code component through GDI.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

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

}  // namespace

// A module is filled as a rectangle rather than outlined and filled as a
// polygon: the fill covers exactly size x size pixels for every size, where a
// one-pixel polygon degenerates to a point.
void TQRCode::DrawModule(HDC canvas, int32_t x, int32_t y, COLORREF colour, int32_t size) {
  Fill(canvas, x, y, x + size, y + size, colour);
}

void TQRCode::paintBarcode(HDC canvas) {
  if (FmoduleWidth < 1 || FmarginPixels < 0)
    throw ENxError(nxeArgument, "QR code: the module width must be at least 1 pixel and the margin at least 0");
  BuildSymbol();
  if (!canvas) return;
  CheckExtent(std::max(Fbitmap->getMaxX(), Fbitmap->getMaxY()), FmoduleWidth, FmarginPixels,
              std::max(std::abs(int64_t(FoffsetX)), std::abs(int64_t(FoffsetY))), std::max(FWidth, FHeight));
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
  FcurrentX = m.getMaxX() * mw + FmarginPixels + ox;
  FcurrentY = m.getMaxY() * mw + FmarginPixels + oy;
}

void TQRCode::paintBarcodeAutoSize(HDC c) {
  {
    TMemoryBitmap scratch(100, 100);  // only for FcurrentX and FcurrentY
    paintBarcode(scratch.dc());
  }
  TMemoryBitmap image(FmarginPixels + FcurrentX, FmarginPixels + FcurrentY);
  paintBarcode(image.dc());
  Fill(c, 0, 0, FWidth, FHeight, FbackColor);
  StretchBlt(c, 0, 0, FWidth, FHeight, image.dc(), 0, 0, FmarginPixels + FcurrentX, FmarginPixels + FcurrentY,
             SRCCOPY);
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
