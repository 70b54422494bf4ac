#include "printers/RawJob.h"

#include <algorithm>
#include <string>

#include "common/ErrorChannel.h"
#include "device/SysPrinter.h"
#include "session/Library.h"
#include "session/Session.h"

namespace nx {
namespace {

// PrnHandle of a job that failed to open.
const uintptr_t kNoJob = static_cast<uintptr_t>(-1);

HANDLE AsHandle(uintptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Spooler failures do not stop the host's calls; they are recorded so that
// the host can see why nothing was printed.
void RecordSpoolerFailure(const char *step) {
  SetLastNxError(nxePrinter, std::string("Raw print job: ") + step + " failed (spooler error " +
                                 std::to_string(GetLastError()) + ")");
}

// Opens the printer and starts a raw document; nullptr when either fails
// (the printer handle is not left open then).
HANDLE StartRawDocument(const TPrinterEntry &entry) {
  WString device = entry.Device;
  HANDLE h = nullptr;
  if (!OpenPrinterW(device.data(), &h, nullptr) || !h) {
    RecordSpoolerFailure("OpenPrinter");
    return nullptr;
  }
  WString docName, output = entry.Port, dataType = NXW("RAW");
  DOC_INFO_1W info{docName.data(), output.data(), dataType.data()};
  if (StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&info)) == 0) {
    RecordSpoolerFailure("StartDocPrinter");
    ClosePrinter(h);
    return nullptr;
  }
  return h;
}

}  // namespace

void TRawJobs::Begin() {
  TNoxtrelRec &s = Session();
  if (s.RawPrintJob) return;
  TSysPrinter &printer = SysPrinter();
  printer.EnsureSelected();
  HANDLE h = StartRawDocument(printer.Entry());
  if (h) {
    open_.push_back(h);
    if (!StartPagePrinter(h)) RecordSpoolerFailure("StartPagePrinter");
  }
  s.PrnHandle = h ? reinterpret_cast<uintptr_t>(h) : kNoJob;
  s.RawPrintJob = true;
}

void TRawJobs::Write(const void *data, int32_t size) {
  const TNoxtrelRec &s = Session();
  if (!s.RawPrintJob || size == 0) return;
  if (size < 0) throw ENxError(nxeArgument, "Raw print data: negative size " + std::to_string(size));
  if (!data) throw ENxError(nxeArgument, "Raw print data: no data for " + std::to_string(size) + " bytes");
  if (s.PrnHandle == kNoJob) return;  // the job never opened: nothing to send to
  DWORD written = 0;
  if (!WritePrinter(AsHandle(s.PrnHandle), const_cast<void *>(data), static_cast<DWORD>(size), &written))
    RecordSpoolerFailure("WritePrinter");
  else if (written != static_cast<DWORD>(size))
    SetLastNxError(nxePrinter, "Raw print job: the spooler took fewer bytes than were sent");
}

void TRawJobs::End() {
  TNoxtrelRec &s = Session();
  if (!s.RawPrintJob) return;
  s.RawPrintJob = false;
  if (s.PrnHandle == kNoJob) return;
  HANDLE h = AsHandle(s.PrnHandle);
  auto it = std::find(open_.begin(), open_.end(), h);
  if (it == open_.end()) return;  // not a job of ours
  open_.erase(it);
  Finish(h, true);
}

void TRawJobs::Finish(HANDLE h, bool report) {
  if (!EndPagePrinter(h) && report) RecordSpoolerFailure("EndPagePrinter");
  if (!EndDocPrinter(h) && report) RecordSpoolerFailure("EndDocPrinter");
  ClosePrinter(h);
}

// Runs while the library unloads, possibly at process exit after the error
// channel's own storage is gone: nothing is recorded here.
void TRawJobs::EndAll() {
  std::vector<HANDLE> jobs;
  jobs.swap(open_);
  for (HANDLE h : jobs) Finish(h, false);
}

}  // namespace nx
