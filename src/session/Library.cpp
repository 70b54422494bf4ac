#include "session/Library.h"

#include <memory>

#include "session/ErrorChannel.h"

namespace nx {
namespace {

// Everything the library owns while it is loaded.
struct TLibrary {
  TNoxtrelRec Rec;
};

// Deliberately not a static object: the unload steps run when the host unloads
// the library, not at an unpredictable point of static destruction.
TLibrary *gLibrary = nullptr;

}  // namespace

void LoadLibraryState() {
  if (gLibrary) return;
  auto lib = std::make_unique<TLibrary>();
  SetLoadValues(lib->Rec);
  gLibrary = lib.release();
}

void UnloadLibraryState() {
  if (!gLibrary) return;
  TLibrary *lib = gLibrary;
  gLibrary = nullptr;
  lib->Rec.PaperBins.clear();
  lib->Rec.PaperNames.clear();
  delete lib;
}

TNoxtrelRec &Session() {
  LoadLibraryState();
  return gLibrary->Rec;
}

bool DocumentOpen() { return false; }

}  // namespace nx

// Process attach and detach of the shared library (see noxtrel_so.c).
extern "C" void nx_library_attach(void) {
  nx::NxGuardVoid([] { nx::LoadLibraryState(); });
}
extern "C" void nx_library_detach(void) {
  nx::NxGuardVoid([] { nx::UnloadLibraryState(); });
}
