// The document exports: NxInit, NxBeginDoc, NxNewPage, NxEndDoc, NxAbort.
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "device/NxPrinter.h"
#include "device/SysPrinter.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/PrinterSetup.h"
#include "session/Session.h"
#include "session/Units.h"

using nx::NxGuard;
using nx::NxGuardVoid;
using nx::Session;

namespace nx {
namespace {

// Selects the printer of the document and gives it the session's setup.
// Returns false for device types that open no document.
bool PreparePrinter() {
  TNoxtrelRec &s = Session();
  TSysPrinter &printer = SysPrinter();
  switch (s.Device) {
    case dtPrinter:
      if (s.FromDialog) {
        printer.EnsureSelected();
        s.CurPrinter = printer.Index();
        ReadPrinterSetup();
      } else if (!s.DirectParams) {
        printer.Select(s.CurPrinter);
        ApplyPrinterSetup();
      } else {
        printer.EnsureSelected();
      }
      return true;
    case dtPreview:
    case dtPDF:
    case dtEMF:
    case dtRTF:
    case dtJPEG:
      printer.Select(s.CurPrinter);
      ApplyPrinterSetup();
      return true;
    default: return false;
  }
}

// The device font every document starts with: Courier New 12, black, with
// the session's style, and no background behind text.
void PrepareDeviceFont() {
  TSurface *surface = Device().Surface();
  if (!surface) return;
  TFont &font = surface->Font();
  font.Name = NXW("Courier New");
  font.Color = RGB(0, 0, 0);
  font.SetSize(12);
  surface->Brush().Style = TBrushStyle::Clear;
  ApplyFontStyle(Session().FontStyle);
}

// A document is open on one of the two surfaces, whatever the device type
// says now.
bool AnySurfacePrinting() { return PageStore().Printing() || SysPrinter().Printing(); }

void BeginDoc() {
  if (Device().Printing()) return;
  // One document at a time, also when the host changed the device type since
  // the open one began.
  if (AnySurfacePrinting())
    throw ENxError(nxeGeneral, "A document begun on device type " + std::to_string(DocumentDevice()) +
                                   " is still open; NxEndDoc ends it");
  Device().SetTitle(Session().Title);
  if (!PreparePrinter()) return;
  MeasurePage();
  Device().BeginDoc();
  if (!Device().Printing()) throw ENxError(nxePrinter, "The printer did not start the print job");
  try {
    PrepareDeviceFont();
  } catch (...) {
    Device().Abort();  // a document without its first page is not left open
    throw;
  }
  DocumentDevice() = Session().Device;
  ClearLastNxError();
}

// A document is ended or dropped on the surface it was begun on. When the host
// changed the device type to one that draws elsewhere (the printer instead of
// the page store, or no surface), the document's own type comes back; without
// it the pages would be lost unreported, or a print job would stay open and
// take the next document's pages.
void ReturnToDocumentDevice() {
  TNoxtrelRec &s = Session();
  const int32_t begun = DocumentDevice();
  DocumentDevice() = dtNone;
  if (begun != dtNone && !Device().Printing()) s.Device = begun;
}

// Routes the closed document to its output.
void RouteDocument() {
  switch (Session().Device) {
    case dtPrinter: break;  // the spooler has the job
    case dtEMF: SaveEmfPages(); break;
    case dtPreview: ShowPreview(); break;
    case dtPDF: ExportPdf(); break;
    case dtRTF: ExportRtf(); break;
    case dtJPEG: ExportJpeg(); break;
    default: break;
  }
}

void EndDoc() {
  ReturnToDocumentDevice();
  if (Device().Printing()) {
    Device().EndDoc();
    RouteDocument();
  }
  PageStore().ClearPages();
  ResetSession();
}

int32_t Init() {
  TNoxtrelRec &s = Session();
  s.MUnit = unMillimetre;
  s.AsciiAnsi = false;
  s.DecimalSep = u'.';
  s.XeroxPrinter = false;
  s.UseDIB = true;
  s.Initialized = false;
  s.DefPrinter = -1;
  s.DirectParams = false;
  TSysPrinter &printer = SysPrinter();
  if (printer.Printers().empty()) return 1;
  // An open document keeps its printer and setup to the end.
  if (!AnySurfacePrinting()) printer.Select(-1);
  s.DefPrinter = printer.DefaultIndex();
  s.CurPrinter = s.DefPrinter;
  s.Initialized = true;
  ResetSession();
  return 0;
}

}  // namespace
}  // namespace nx

extern "C" {

NX_API int32_t NxInit(void) { return NxGuard(1, [] { return nx::Init(); }); }

NX_API void NxAbort(void) {
  NxGuardVoid([] {
    nx::ReturnToDocumentDevice();
    if (!nx::Device().Printing()) return;
    nx::Device().Abort();
    nx::ResetSession();
  });
}

NX_API void NxBeginDoc(void) { NxGuardVoid([] { nx::BeginDoc(); }); }

NX_API void NxNewPage(void) {
  NxGuardVoid([] {
    if (nx::Device().Printing()) nx::Device().NewPage();
  });
}

NX_API void NxEndDoc(void) { NxGuardVoid([] { nx::EndDoc(); }); }

}  // extern "C"
