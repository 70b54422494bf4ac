// The loaded library: the session record and the global objects created when
// the library is loaded and freed when it is unloaded.
#pragma once

#include "session/Session.h"

namespace nx {

class TDevice;
class TNxPrinter;
class TSysPrinter;
class TRawJobs;
class TgtPDFEngine;
class TgtRTFEngine;
class TgtJPEGEngine;

// The global objects of the loaded library (loading it on first use).
TDevice &Device();
TNxPrinter &PageStore();
TSysPrinter &SysPrinter();
TRawJobs &RawJobs();
// The export engines, created at load with their fixed preferences.
TgtPDFEngine &PdfEngine();
TgtRTFEngine &RtfEngine();
TgtJPEGEngine &JpegEngine();

// Runs the load steps unless the library is loaded already. The exports load
// the library on first use, so a host linked against the static core and the
// shared library (whose constructor calls this) behave alike.
void LoadLibraryState();

// Runs the unload steps; a later call of any export loads the library anew.
void UnloadLibraryState();

// The PDF engine's compression level: maximum (as set at load) or normal.
// It lives with the library, not the session, so no reset touches it.
bool &PdfMaxCompression();

// True while a document is open (the output device reports printing).
bool DocumentOpen();

// The device type the open document was begun on, 0 when none is open. The
// document is ended on its own surface even when the host changed the device
// type in between.
int32_t &DocumentDevice();

}  // namespace nx
