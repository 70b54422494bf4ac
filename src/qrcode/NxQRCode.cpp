// NxQRCode: one QR code drawn on the current page. The symbol is rendered into
// a bitmap sized from the printer's resolution and placed at its natural size.
#include <cmath>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "device/MemoryBitmap.h"
#include "noxtrel.h"
#include "qrcode/QRCode.h"
#include "session/Library.h"
#include "session/Session.h"
#include "session/Units.h"

namespace nx {

// The side in printer pixels of a symbol of `size` screen pixels (0.264583 mm).
int32_t QRSymbolSide(int32_t dpi, int32_t size) {
  double mm = std::nearbyint(size * 0.264583);  // halves to even
  return int32_t(std::trunc(dpi * mm / 25.4));
}

}  // namespace nx

using namespace nx;

extern "C" NX_API void NxQRCode(int32_t X, int32_t Y, const char *Code, int32_t Version, int32_t Size,
                               int32_t ModuleWidth) {
  NxGuardVoid([&] {
    if (!Device().Printing()) return;
    POINT at = UnitsToPoint(FromFixed(X), FromFixed(Y));
    int32_t side = QRSymbolSide(Session().HPixelsInch, Size);
    if (side < 1 || side > 32767)
      throw ENxError(nxeArgument, "NxQRCode: a symbol of size " + std::to_string(Size) + " has no pixels to draw on");
    CheckFitsSheet("NxQRCode", side, side);
    TQRCode qr;
    qr.SetModuleWidth(ModuleWidth);
    qr.SetCode(AnsiToWide(Code));
    qr.SetEncoding(ENC_AUTO);
    qr.SetPreferredVersion(Version);
    qr.SetAutoConfigurate(true);
    qr.SetBounds(side, side);
    // The bitmap is the whole side x side square, so no part of the symbol
    // is cut off. Made straight at one bit a pixel when it can be: the page
    // records the same bitmap as from the 32-bit drawing.
    TMonoBitmap mono;
    if (qr.paintBarcodeAutoSizeMono(mono)) {
      Device().Draw(at.x, at.y, mono.Handle());
      return;
    }
    TMemoryBitmap image(side, side);
    qr.paintBarcodeAutoSize(image.dc());
    Device().Draw(at.x, at.y, image.Deselect());
  });
}
