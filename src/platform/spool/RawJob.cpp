// Printer handles and raw jobs: the bytes written between StartDocPrinterW
// and EndDocPrinterW reach the printer unchanged, as one job.
#include <map>
#include <mutex>

#include "platform/spool/PrinterHandles.h"
#include "platform/kernel/Wide.h"

namespace nx::spool {
namespace {

struct HandleTable {
  std::mutex lock;
  std::map<uintptr_t, std::unique_ptr<PrinterHandle>> open;
  uintptr_t next = 0x10000;
};

HandleTable &Table() {
  static HandleTable *t = new HandleTable;  // lives as long as the process
  return *t;
}

bool IsRaw(const WCHAR *datatype) {
  return !datatype || !*datatype || wide::EqualsIgnoreCase(wide::FromW(datatype), u"RAW");
}

// A handle with a job in progress, or NULL with the error Win32 gives.
PrinterHandle *WithJob(HANDLE h) {
  PrinterHandle *p = LookupPrinterHandle(h);
  if (p && !p->job) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return nullptr;
  }
  return p;
}

}  // namespace

PrinterHandle *LookupPrinterHandle(HANDLE h) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.open.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.open.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second.get();
}

}  // namespace nx::spool

using namespace nx::spool;

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  if (!phPrinter) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phPrinter = nullptr;
  auto model = LoadPrinter(nx::wide::FromW(pPrinterName));
  if (!model) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  auto h = std::make_unique<PrinterHandle>();
  if (!MergeDevMode(*model, pDefault ? pDefault->pDevMode : nullptr, &h->devmode)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  h->model = std::move(model);
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  uintptr_t id = t.next;
  t.next += 16;
  t.open[id] = std::move(h);
  *phPrinter = reinterpret_cast<HANDLE>(id);
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  std::unique_ptr<PrinterHandle> gone;
  {
    HandleTable &t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.open.find(reinterpret_cast<uintptr_t>(hPrinter));
    if (it == t.open.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    gone = std::move(it->second);
    t.open.erase(it);
  }
  // A job that was never ended is dropped, not printed half-way.
  if (gone->job) gone->job->Abort();
  return TRUE;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  PrinterHandle *p = LookupPrinterHandle(hPrinter);
  if (!p) return 0;
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  const DOC_INFO_1W *di = reinterpret_cast<const DOC_INFO_1W *>(pDocInfo);
  if (!di) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (p->job) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  if (!IsRaw(di->pDatatype)) {
    SetLastError(ERROR_INVALID_DATATYPE);
    return 0;
  }
  JobTicket t;
  t.title = nx::wide::ToUtf8(di->pDocName);
  t.raw = true;
  p->job = StartJob(*p->model, t, OutputFileFor(*p->model, di->pOutputFile));
  if (!p->job) return 0;
  p->pageOpen = false;
  return p->job->JobId();
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  PrinterHandle *p = WithJob(hPrinter);
  if (!p) return FALSE;
  p->pageOpen = true;
  return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (pcWritten) *pcWritten = 0;
  PrinterHandle *p = WithJob(hPrinter);
  if (!p) return FALSE;
  if (!pcWritten || (!pBuf && cbBuf)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (cbBuf && !p->job->Write(pBuf, cbBuf)) return FALSE;
  *pcWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  PrinterHandle *p = WithJob(hPrinter);
  if (!p) return FALSE;
  p->pageOpen = false;
  return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  PrinterHandle *p = WithJob(hPrinter);
  if (!p) return FALSE;
  std::unique_ptr<JobSink> job = std::move(p->job);
  p->pageOpen = false;
  return job->Commit() ? TRUE : FALSE;
}

BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
  PrinterHandle *p = WithJob(hPrinter);
  if (!p) return FALSE;
  p->job->Abort();
  p->job.reset();
  p->pageOpen = false;
  return TRUE;
}
