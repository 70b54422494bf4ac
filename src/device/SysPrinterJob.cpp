// Print jobs on the system printer: the job's pages are drawn straight into
// the printer's device context.
#include "common/ErrorChannel.h"
#include "device/SysPrinter.h"

namespace nx {

void TSysPrinter::BeginDoc() {
  if (printing_) throw ENxError(nxePrinter, "Printing in progress");
  FreeDC();  // a fresh context for the job, made from the current setup
  HDC dc = Handle();
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title_.c_str();
  if (StartDocW(dc, &info) <= 0) return;
  StartPage(dc);
  printing_ = true;
  AttachSurface(dc);
}

void TSysPrinter::NewPage() {
  if (!printing_) throw ENxError(nxePrinter, "Printer is not currently printing");
  // Objects are selected anew on the next page.
  surface_.Release();
  EndPage(dc_);
  StartPage(dc_);
}

void TSysPrinter::EndDoc() {
  if (!printing_) throw ENxError(nxePrinter, "Printer is not currently printing");
  surface_.Release();
  EndPage(dc_);
  int ended = ::EndDoc(dc_);
  printing_ = false;
  FreeDC();
  if (ended <= 0) throw ENxError(nxePrinter, "The spooler did not accept the print job");
}

void TSysPrinter::Abort() {
  if (!printing_) throw ENxError(nxePrinter, "Printer is not currently printing");
  surface_.Release();
  AbortDoc(dc_);
  EndPage(dc_);
  printing_ = false;
  FreeDC();
}

}  // namespace nx
