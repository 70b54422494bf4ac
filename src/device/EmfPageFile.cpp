#include "device/EmfPageFile.h"

#include <algorithm>
#include <cstring>

namespace nx {
namespace {

// 127 mm are exactly 5 x dpi pixels: a reference-device size in whole
// millimetres that keeps the printer's pixel size exact. It is chosen as
// the smallest such multiple that covers `pixels`.
void ReferenceAxis(int pixels, int dpi, LONG *devicePixels, LONG *millimetres) {
  const LONG unitPixels = 5L * dpi, unitMm = 127;
  const LONG units = std::max<LONG>(1, (pixels + unitPixels - 1) / unitPixels);
  *devicePixels = units * unitPixels;
  *millimetres = units * unitMm;
}

}  // namespace

void StatePrinterSize(ENHMETAHEADER &h, int width, int height, int dpiX, int dpiY) {
  if (width <= 0 || height <= 0 || dpiX <= 0 || dpiY <= 0) return;
  // The frame in 0.01 mm: the area the page's pixels cover.
  h.rclFrame = {0, 0, MulDiv(width, 2540, dpiX), MulDiv(height, 2540, dpiY)};
  ReferenceAxis(width, dpiX, &h.szlDevice.cx, &h.szlMillimeters.cx);
  ReferenceAxis(height, dpiY, &h.szlDevice.cy, &h.szlMillimeters.cy);
  if (h.nSize >= sizeof(ENHMETAHEADER))
    h.szlMicrometers = {h.szlMillimeters.cx * 1000, h.szlMillimeters.cy * 1000};
}

std::vector<BYTE> EmfPageFile(const TPageMetafile &page) {
  UINT size = page.Handle ? GetEnhMetaFileBits(page.Handle, 0, nullptr) : 0;
  std::vector<BYTE> bytes(size);
  if (size < sizeof(ENHMETAHEADER) || GetEnhMetaFileBits(page.Handle, size, bytes.data()) != size)
    return {};
  ENHMETAHEADER h;
  std::memcpy(&h, bytes.data(), sizeof h);
  StatePrinterSize(h, page.PrinterWidth, page.PrinterHeight, page.DpiX, page.DpiY);
  std::memcpy(bytes.data(), &h, sizeof h);
  return bytes;
}

}  // namespace nx
