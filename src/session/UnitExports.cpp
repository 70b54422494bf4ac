// The exports of units, coordinate order and the text grid.
#include "common/ErrorChannel.h"
#include "noxtrel.h"
#include "session/PrinterSetup.h"
#include "session/Session.h"
#include "session/Units.h"

using nx::NxGuard;
using nx::NxGuardVoid;
using nx::Session;

extern "C" {

NX_API void NxSetUnit(int32_t Unit) {
  NxGuardVoid([&] { Session().MUnit = Unit; });
}
NX_API int32_t NxGetUnit(void) {
  return NxGuard(0, [] { return Session().MUnit; });
}

NX_API void NxSetCoorSystem(int32_t CoorSystem) {
  NxGuardVoid([&] { Session().CoorSystem = CoorSystem; });
}
NX_API int32_t NxGetCoorSystem(void) {
  return NxGuard(0, [] { return Session().CoorSystem; });
}

NX_API void NxSetCPI(int32_t CharsPerInch) {
  NxGuardVoid([&] {
    nx::SetCPI(CharsPerInch);
    nx::ApplyFontSize();
  });
}
NX_API int32_t NxGetCPI(void) {
  return NxGuard(0, [] { return Session().CPI; });
}

NX_API void NxSetLPI(int32_t LinesPerInch) {
  NxGuardVoid([&] { nx::SetLPI(LinesPerInch); });
}
NX_API int32_t NxGetLPI(void) {
  return NxGuard(0, [] { return Session().LPI; });
}

NX_API void NxSetRowCol(int32_t Rows, int32_t Cols) {
  NxGuardVoid([&] { nx::SetRowCol(Rows, Cols); });
}

NX_API int32_t NxGetMaxWidth(void) {
  return NxGuard(0, [] { return nx::ToFixed(nx::SheetWidth()); });
}
NX_API int32_t NxGetMaxHeight(void) {
  return NxGuard(0, [] { return nx::ToFixed(nx::SheetHeight()); });
}

}  // extern "C"
