// NxBarCode: one linear barcode drawn on the current page. The component
// renders it into a bitmap at the printer's resolution, which the output
// device places at its natural size.
#include <cmath>
#include <iterator>
#include <string>

#include "barcode/ZbrBarcode.h"
#include "common/ErrorChannel.h"
#include "device/Device.h"
#include "device/MemoryBitmap.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Session.h"
#include "session/Units.h"

namespace nx {
namespace {

// The arguments of one call and the printer's resolution.
struct TZbrBarcodeCall {
  std::string Code;
  int32_t Height, Width, ShowText, CodeType, Rotate, HeightInMM;
  int32_t Dpi;
};

// The symbology a selector names (Code 39 for unknown ones, compared unsigned).
TZbrBarCodeType BarCodeTypeOf(int32_t selector) {
  static constexpr TZbrBarCodeType kTypes[] = {CODE39,   CODE39,   CODE128B, EAN128A, EAN128B, EAN128C,
                                               EAN8,     EAN13,    CODE128A, CODE128B, CODE128C, UPCA,
                                               UPCE0,    CODABAR,  POSTNET,  INTER_25};
  const uint32_t index = static_cast<uint32_t>(selector);
  return index < std::size(kTypes) ? kTypes[index] : CODE39;
}

// The component's properties for a call, at the printer's resolution.
void SetUpBarcode(TZbrBarcode &bc, const TZbrBarcodeCall &call) {
  bc.SetCodeType(BarCodeTypeOf(call.CodeType));
  double height = call.Height;
  if (call.HeightInMM == 1) height = std::nearbyint(height * 2.8346);
  const double t = std::nearbyint(height * 0.352778 * 2.25 / 6);
  const double dpi = call.Dpi;
  bc.SetAngle(zba0);
  bc.SetBarWidth(float(dpi * (call.Width / 10000.0 / 6) / 100));
  bc.SetBHeight(float(dpi * t / 100));
  bc.SetFontHeight(float(std::nearbyint(dpi * 1.34 / 100)));
  bc.SetBarCode(call.Code);
  bc.SetChecksum(false);
  const float margin = bc.CodeType() == EAN13 ? 10.0f : 0.0f;
  bc.SetLeftRightMargin(margin);
  bc.SetTopBottomMargin(margin);
  bc.SetShowNumber(call.ShowText == 1);
  bc.SetAngle(call.Rotate == 1 ? zba90 : zba0);
}

}  // namespace
}  // namespace nx

using namespace nx;

extern "C" NX_API void NxBarCode(int32_t X, int32_t Y, const char *Code, int32_t Height, int32_t Width,
                                int32_t ShowText, int32_t CodeType, int32_t Rotate, int32_t HeightInMM) {
  NxGuardVoid([&] {
    if (!Device().Printing()) return;
    POINT at = UnitsToPoint(FromFixed(X), FromFixed(Y));
    TZbrBarcodeCall call{Code ? Code : "", Height, Width, ShowText, CodeType, Rotate, HeightInMM,
                         Session().HPixelsInch};
    TZbrBarcode bc;
    SetUpBarcode(bc, call);
    // A narrow bar below one pixel or a negative height would lay out bars
    // backwards; they draw no barcode.
    if (bc.GetBarWidth() < 0.1f || bc.GetBHeight() < 0)
      throw ENxError(nxeArgument, "NxBarCode: width " + std::to_string(Width) + " and height " +
                                      std::to_string(Height) + " give no bars at " + std::to_string(call.Dpi) +
                                      " dpi");
    TMemoryBitmap image;
    bc.SaveBarcodeImage(image, [](LONG w, LONG h) { CheckFitsSheet("NxBarCode", w, h); });
    Device().Draw(at.x, at.y, image.Deselect());
  });
}
