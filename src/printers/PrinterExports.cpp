// The printer exports: printer, paper, bin and font lists, printer
// selection and capabilities, the print dialog and raw print jobs.
#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "noxtrel.h"
#include "printers/NxPrintDialog.h"
#include "printers/PrinterLists.h"
#include "printers/RawJob.h"
#include "session/Library.h"
#include "session/Session.h"

using nx::NxGuard;
using nx::NxGuardVoid;
using nx::Session;

namespace {

// A name query: on an error the buffer still receives "Error", so a host
// that prints it without checking sees no stale text.
template <typename F>
void NameQuery(char *dest, F &&body) {
  NxGuardVoid([&] {
    try {
      body();
    } catch (...) {
      nx::CopyToDest(dest, std::string(nx::kNoSuchEntry));
      throw;
    }
  });
}

}  // namespace

extern "C" {

NX_API int32_t NxGetPrinterCount(void) { return NxGuard(0, [] { return nx::PrinterCount(); }); }
NX_API void NxGetPrinterNames(int32_t Index, char *Dest) {
  NameQuery(Dest, [&] { nx::PrinterName(Index, Dest); });
}
NX_API void NxSetPrinter(int32_t Index) {
  NxGuardVoid([&] { nx::SetPrinter(Index); });
}
NX_API int32_t NxGetDefaultPrinter(void) {
  return NxGuard(-1, [] { return Session().DefPrinter; });
}
NX_API int32_t NxGetPrinter(void) {
  return NxGuard(-1, [] { return Session().PDFMode ? -1 : Session().CurPrinter; });
}
NX_API intptr_t NxGetPrinterHandle(void) {
  return NxGuard(intptr_t{0}, [] { return reinterpret_cast<intptr_t>(nx::Device().Handle()); });
}
NX_API int32_t NxGetPrinterCaps(int32_t Index) {
  return NxGuard(0, [&] { return nx::PrinterCaps(Index); });
}

NX_API int32_t NxGetPaperCount(void) { return NxGuard(0, [] { return nx::PaperCount(); }); }
NX_API void NxGetPaperNames(int32_t Index, char *Dest) {
  NameQuery(Dest, [&] { nx::PaperName(Index, Dest); });
}
NX_API int32_t NxGetPaperNumbers(int32_t Index) {
  return NxGuard(-1, [&] { return nx::PaperNumber(Index); });
}
NX_API int32_t NxGetPaperBinCount(void) { return NxGuard(0, [] { return nx::PaperBinCount(); }); }
NX_API void NxGetPaperBinNames(int32_t Index, char *Dest) {
  NameQuery(Dest, [&] { nx::PaperBinName(Index, Dest); });
}
NX_API int32_t NxGetPaperBinNumbers(int32_t Index) {
  return NxGuard(-1, [&] { return nx::PaperBinNumber(Index); });
}

NX_API int32_t NxGetFontCount(void) { return NxGuard(0, [] { return nx::FontCount(); }); }
NX_API void NxGetFontNames(int32_t Index, char *Dest) {
  NameQuery(Dest, [&] { nx::FontName(Index, Dest); });
}

NX_API int32_t NxPrintDialog(void) { return NxGuard(0, [] { return nx::PrintDialog(); }); }

NX_API void NxBeginRawDoc(void) {
  NxGuardVoid([] { nx::RawJobs().Begin(); });
}
NX_API void NxPrintRawData(const void *Data, int32_t Size) {
  NxGuardVoid([&] { nx::RawJobs().Write(Data, Size); });
}
NX_API void NxEndRawDoc(void) {
  NxGuardVoid([] { nx::RawJobs().End(); });
}

}  // extern "C"
