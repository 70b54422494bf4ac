// Printer DCs. Until printer jobs are drawn through the spooler, a printer
// name other than DISPLAY gives no DC.
#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

HDC CreatePrinterDC(LPCWSTR, LPCWSTR, LPCWSTR, const struct _devicemodeW *) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return nullptr;
}

}  // namespace nx::gdi
