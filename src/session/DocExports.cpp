// The document exports: NxInit, NxBeginDoc, NxNewPage, NxEndDoc, NxAbort,
// and the setters that act on the printer or the device at once.
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/EmfPageFile.h"
#include "device/NxPrinter.h"
#include "device/SysPrinter.h"
#include "noxtrel.h"
#include "session/ErrorChannel.h"
#include "session/Files.h"
#include "session/Library.h"
#include "session/PrinterSetup.h"
#include "session/Session.h"
#include "session/Strings.h"
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
    case 1:
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
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
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
  DocumentDevice() = 0;
  if (begun != 0 && !Device().Printing()) s.Device = begun;
}

// Saves every page as folder + "Page" + n + ".emf"; a page that cannot be
// written ends the saving, the pages before it stay on disk.
void SaveEmfPages() {
  const TNxPrinter &pages = PageStore();
  const WString folder = FolderOf(Session().FileName);
  for (int i = 0; i < pages.PagesCount(); ++i) {
    const std::vector<BYTE> bytes = EmfPageFile(pages.GetPage(i));
    if (bytes.empty())
      throw ENxError(nxeGeneral, "Page " + std::to_string(i + 1) + " has no metafile");
    WriteWholeFile(folder + AsciiToWide("Page" + std::to_string(i + 1) + ".emf"), bytes);
  }
}

// Routes the closed document to its output.
void RouteDocument() {
  switch (Session().Device) {
    case 1: break;  // the spooler has the job
    case 5: SaveEmfPages(); break;
    case 2: SetLastNxError(nxeNotBuilt, "The preview window is not built yet; the document was not shown"); break;
    case 3: SetLastNxError(nxeNotBuilt, "PDF output is not built yet; no file was written"); break;
    case 6: SetLastNxError(nxeNotBuilt, "RTF output is not built yet; no file was written"); break;
    case 7: SetLastNxError(nxeNotBuilt, "JPEG output is not built yet; no file was written"); break;
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
  s.MUnit = 1;
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

// Sets the device font's height from the session's font size while a
// document is open.
void ApplyFontSize() {
  if (!DocumentOpen()) return;
  if (TFont *font = Device().Font()) font->SetSize(Session().FontSize);
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

NX_API void NxSetCopies(int32_t Copies) {
  NxGuardVoid([&] {
    if (nx::DocumentOpen()) return;
    Session().Copies = Copies;
    if (!Session().PDFMode) nx::SysPrinter().SetCopies(Copies);
  });
}

NX_API void NxSetOrientation(int32_t Orientation) {
  NxGuardVoid([&] {
    if (nx::DocumentOpen() || (Orientation != 1 && Orientation != 2)) return;
    Session().Orientation = Orientation;
    nx::Device().SetOrientation(Orientation);
  });
}

NX_API void NxSetPDFCompression(int32_t Flag) {
  NxGuardVoid([&] {
    if (!nx::DocumentOpen()) nx::PdfMaxCompression() = Flag == 1;
  });
}

NX_API void NxSetFontName(const char *FontName) {
  NxGuardVoid([&] {
    Session().FontName = nx::AnsiToWide(FontName);
    if (!nx::DocumentOpen()) return;
    if (nx::TFont *font = nx::Device().Font()) font->Name = Session().FontName;
  });
}

NX_API void NxSetFontSize(int32_t Points) {
  NxGuardVoid([&] {
    Session().FontSize = nx::FromFixed(Points);
    nx::ApplyFontSize();
  });
}

NX_API void NxSetFontStyle(int32_t Style) {
  NxGuardVoid([&] {
    Session().FontStyle = Style;
    nx::ApplyFontStyle(Style);
  });
}

NX_API void NxSetCPI(int32_t CharsPerInch) {
  NxGuardVoid([&] {
    nx::SetCPI(CharsPerInch);
    nx::ApplyFontSize();
  });
}

}  // extern "C"
