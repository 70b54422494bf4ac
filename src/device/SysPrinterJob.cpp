// Print jobs on the system printer. Printer device contexts with jobs come
// with the spooler's drawing side; until then no job can be started.
#include "device/SysPrinter.h"
#include "session/ErrorChannel.h"

namespace nx {

void TSysPrinter::BeginDoc() {
  if (printing_) throw ENxError(nxePrinter, "Printing in progress");
  throw ENxError(nxeNotBuilt, "Printing on a printer is not built yet; no document was opened");
}

void TSysPrinter::NewPage() { throw ENxError(nxePrinter, "Printer is not currently printing"); }

void TSysPrinter::EndDoc() { throw ENxError(nxePrinter, "Printer is not currently printing"); }

void TSysPrinter::Abort() { throw ENxError(nxePrinter, "Printer is not currently printing"); }

}  // namespace nx
