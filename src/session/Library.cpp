#include "session/Library.h"

#include <memory>

#include "common/ErrorChannel.h"
#include "device/Device.h"
#include "device/NxPrinter.h"
#include "device/SysPrinter.h"
#include "export/gtExPDFEng.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"
#include "printers/RawJob.h"

namespace nx {
namespace {

// Everything the library owns while it is loaded.
struct TLibrary {
  TNoxtrelRec Rec;
  std::unique_ptr<TSysPrinter> Printer;
  std::unique_ptr<TNxPrinter> Pages;
  std::unique_ptr<TDevice> Device;
  std::unique_ptr<TgtJPEGEngine> JpegEngine;
  std::unique_ptr<TgtRTFEngine> RtfEngine;
  std::unique_ptr<TgtPDFEngine> PdfEngine;
  bool PdfMaxCompression = true;
  int32_t DocumentDevice = 0;
  std::unique_ptr<TRawJobs> RawJobs;
};

// Deliberately not a static object: the unload steps run when the host unloads
// the library, not at an unpredictable point of static destruction.
TLibrary *gLibrary = nullptr;

// The export engines with the settings the library gives them once: no setup
// dialog, no viewer opened after creation, no hyperlinks, empty creator.
// They are made when the library first needs one, not while it is being
// loaded: an engine asks the platform for the screen, and the platform's
// process-wide tables made during a load that the host then undoes without
// exporting anything would be left behind by the unload.
void CreateEngines(TLibrary &lib) {
  if (lib.PdfEngine) return;
  lib.JpegEngine = std::make_unique<TgtJPEGEngine>();
  lib.JpegEngine->Preferences().FOpenAfterCreate = false;
  lib.JpegEngine->Preferences().FShowSetupDialog = false;

  lib.RtfEngine = std::make_unique<TgtRTFEngine>();
  lib.RtfEngine->Preferences().FOpenAfterCreate = false;
  lib.RtfEngine->Preferences().FShowSetupDialog = false;
  lib.RtfEngine->Preferences().FActiveHyperLinks = false;
  lib.RtfEngine->DocInfo().FAuthor.clear();
  lib.RtfEngine->DocInfo().FCreator.clear();

  lib.PdfEngine = std::make_unique<TgtPDFEngine>();
  lib.PdfEngine->Preferences().FOpenAfterCreate = false;
  lib.PdfEngine->Preferences().FShowSetupDialog = false;
  lib.PdfEngine->Preferences().FActiveHyperLinks = false;
  lib.PdfEngine->DocInfo().FCreator.clear();
}

}  // namespace

void LoadLibraryState() {
  if (gLibrary) return;
  auto lib = std::make_unique<TLibrary>();
  lib->Printer = std::make_unique<TSysPrinter>();
  TSysPrinter *printer = lib->Printer.get();
  lib->Pages = std::make_unique<TNxPrinter>([printer] { return printer->Handle(); });
  lib->Device = std::make_unique<TDevice>(*lib->Printer, *lib->Pages);
  lib->RawJobs = std::make_unique<TRawJobs>();
  SetLoadValues(lib->Rec);
  gLibrary = lib.release();
}

void UnloadLibraryState() {
  if (!gLibrary) return;
  TLibrary *lib = gLibrary;
  gLibrary = nullptr;
  // A raw job the per-document reset left open is ended, so its bytes print
  // and the spooler job is not left behind.
  lib->RawJobs.reset();
  lib->Device.reset();
  lib->JpegEngine.reset();
  lib->RtfEngine.reset();
  lib->PdfEngine.reset();
  lib->Pages.reset();
  lib->Printer.reset();
  lib->Rec.PaperBins.clear();
  lib->Rec.PaperNames.clear();
  delete lib;
}

TNoxtrelRec &Session() {
  LoadLibraryState();
  return gLibrary->Rec;
}

TDevice &Device() {
  LoadLibraryState();
  return *gLibrary->Device;
}

TNxPrinter &PageStore() {
  LoadLibraryState();
  return *gLibrary->Pages;
}

TSysPrinter &SysPrinter() {
  LoadLibraryState();
  return *gLibrary->Printer;
}

bool &PdfMaxCompression() {
  LoadLibraryState();
  return gLibrary->PdfMaxCompression;
}

int32_t &DocumentDevice() {
  LoadLibraryState();
  return gLibrary->DocumentDevice;
}

TRawJobs &RawJobs() {
  LoadLibraryState();
  return *gLibrary->RawJobs;
}

TgtPDFEngine &PdfEngine() {
  LoadLibraryState();
  CreateEngines(*gLibrary);
  return *gLibrary->PdfEngine;
}

TgtRTFEngine &RtfEngine() {
  LoadLibraryState();
  CreateEngines(*gLibrary);
  return *gLibrary->RtfEngine;
}

TgtJPEGEngine &JpegEngine() {
  LoadLibraryState();
  CreateEngines(*gLibrary);
  return *gLibrary->JpegEngine;
}

bool DocumentOpen() { return Device().Printing(); }

}  // namespace nx

// Process attach and detach of the shared library (see noxtrel_so.c).
extern "C" void nx_library_attach(void) {
  nx::NxGuardVoid([] { nx::LoadLibraryState(); });
}
extern "C" void nx_library_detach(void) {
  nx::NxGuardVoid([] { nx::UnloadLibraryState(); });
}
