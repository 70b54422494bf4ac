// Printer device contexts. Their capabilities come from the printer's model
// and the device mode they were made with; a job (StartDocW ... EndDoc) draws
// each page as vector graphics into one PDF document, printer pixels scaled
// to points with device (0,0) at the printable area's corner, and hands the
// document to the printer when it ends. Drawing outside StartPage/EndPage
// has no target and is dropped, as a printer DC drops it.
#include <cairo-pdf.h>

#include <memory>
#include <string>

#include "platform/kernel/Wide.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/spool/JobSink.h"
#include "platform/spool/PrinterModel.h"

namespace nx::spool {
namespace {

// What a printer DC carries besides its GDI state (Dc::spool).
struct PrinterDcData {
  std::unique_ptr<PrinterModel> model;
  DEVMODEW dm{};
  PageGeometry geo;
  cairo_matrix_t toPoints{1, 0, 0, 1, 0, 0};  // device pixels -> PDF points
  double pageWidth = 0, pageHeight = 0;       // points

  // The job in progress: the sink must outlive the PDF surface writing to it.
  std::unique_ptr<JobSink> sink;
  cairo_surface_t *pdf = nullptr;
  bool pageOpen = false;
  int pages = 0;
  DWORD writeError = 0;   // the first failure of the PDF stream
  bool discarding = false;  // the job is being dropped: output goes nowhere

  ~PrinterDcData() { DropJob(); }
  bool InJob() const { return sink != nullptr; }
  // Forgets the job; the sink leaves nothing behind. The DC must no longer
  // draw on the PDF surface.
  void DropJob() {
    if (pdf) {
      discarding = true;
      cairo_surface_destroy(pdf);
      pdf = nullptr;
    }
    if (sink) sink->Abort();
    sink.reset();
    pageOpen = false;
    pages = 0;
    writeError = 0;
    discarding = false;
  }
};

cairo_status_t WritePdf(void *closure, const unsigned char *data, unsigned int length) {
  auto *d = static_cast<PrinterDcData *>(closure);
  if (d->discarding) return CAIRO_STATUS_SUCCESS;
  if (d->writeError || !d->sink) return CAIRO_STATUS_WRITE_ERROR;
  if (!d->sink->Write(data, length)) {
    d->writeError = GetLastError() ? GetLastError() : (DWORD)ERROR_WRITE_FAULT;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

gdi::DeviceCaps CapsFor(const PageGeometry &g) {
  gdi::DeviceCaps c;
  c.technology = DT_RASPRINTER;
  c.horzRes = g.horzRes;
  c.vertRes = g.vertRes;
  c.horzSize = g.horzSizeMm;
  c.vertSize = g.vertSizeMm;
  c.logPixelsX = g.dpiX;
  c.logPixelsY = g.dpiY;
  c.physicalWidth = g.physWidth;
  c.physicalHeight = g.physHeight;
  c.physicalOffsetX = g.offsetX;
  c.physicalOffsetY = g.offsetY;
  c.bitsPixel = 24;  // the PDF holds any colour; the printer converts
  c.planes = 1;
  c.desktopHorzRes = g.horzRes;
  c.desktopVertRes = g.vertRes;
  return c;
}

void SetPage(PrinterDcData &d) {
  const PageGeometry &g = d.geo;
  double sx = 72.0 / g.dpiX, sy = 72.0 / g.dpiY;
  d.toPoints = {sx, 0, 0, sy, g.offsetX * sx, g.offsetY * sy};
  // The sheet's own size, turned for landscape.
  double w = g.paperWidth * 72.0 / 254.0, h = g.paperLength * 72.0 / 254.0;
  d.pageWidth = g.landscape ? h : w;
  d.pageHeight = g.landscape ? w : h;
}

JobTicket TicketFor(const PrinterDcData &d, const WCHAR *docName) {
  JobTicket t;
  t.title = wide::ToUtf8(docName);
  t.raw = false;
  t.copies = d.dm.dmCopies > 0 ? d.dm.dmCopies : 1;
  t.media = d.geo.pwg;
  if (const Bin *b = d.model->FindBin(d.dm.dmDefaultSource)) t.mediaSource = b->keyword;
  t.duplex = d.model->duplex ? d.dm.dmDuplex : 0;
  t.landscape = d.geo.landscape;
  return t;
}

// The spooler's data of a printer DC; NULL (with the error Win32 gives)
// for anything else.
PrinterDcData *PrinterData(HDC hdc) {
  gdi::Dc *dc = gdi::DcFromHandle(hdc);
  if (!dc) return nullptr;
  if (dc->type != gdi::DcType::Surface || !dc->spool) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<PrinterDcData *>(dc->spool.get());
}

// The same, for a DC with a job in progress.
PrinterDcData *WithJob(HDC hdc) {
  PrinterDcData *d = PrinterData(hdc);
  if (d && !d->InJob()) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return nullptr;
  }
  return d;
}

// Takes the page off the DC and adds it to the document.
bool ClosePage(HDC hdc, PrinterDcData &d) {
  gdi::SetSurfaceDCTarget(hdc, nullptr, d.toPoints);
  d.pageOpen = false;
  cairo_surface_show_page(d.pdf);
  ++d.pages;
  if (d.writeError) {
    SetLastError(d.writeError);
    return false;
  }
  if (cairo_surface_status(d.pdf) != CAIRO_STATUS_SUCCESS) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

// Writes the rest of the document; false (with SetLastError) when it did
// not all reach the sink.
bool FinishPdf(PrinterDcData &d) {
  cairo_surface_finish(d.pdf);
  cairo_status_t st = cairo_surface_status(d.pdf);
  cairo_surface_destroy(d.pdf);
  d.pdf = nullptr;
  if (d.writeError) {
    SetLastError(d.writeError);
    return false;
  }
  if (st != CAIRO_STATUS_SUCCESS) {
    SetLastError(st == CAIRO_STATUS_WRITE_ERROR ? ERROR_WRITE_FAULT : ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

}  // namespace
}  // namespace nx::spool

namespace nx::gdi {

HDC CreatePrinterDC(LPCWSTR driver, LPCWSTR device, LPCWSTR, const struct _devicemodeW *dm) {
  using namespace nx::spool;
  std::u16string name = wide::FromW(device && *device ? device : driver);
  std::unique_ptr<PrinterModel> model = LoadPrinter(name);
  if (!model) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  auto d = std::make_shared<PrinterDcData>();
  if (!MergeDevMode(*model, dm, &d->dm)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  d->geo = GeometryFor(*model, d->dm);
  d->model = std::move(model);
  SetPage(*d);
  // No target until a page starts: drawing before it goes nowhere.
  HDC h = CreateSurfaceDC(nullptr, CapsFor(d->geo), d->toPoints);
  if (!h) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  DcFromHandle(h)->spool = std::move(d);
  return h;
}

}  // namespace nx::gdi

using namespace nx::spool;

int WINAPI StartDocW(HDC hdc, const DOCINFOW *lpdi) {
  PrinterDcData *d = PrinterData(hdc);
  if (!d) return SP_ERROR;
  if (!lpdi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SP_ERROR;
  }
  if (d->InJob()) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  std::unique_ptr<JobSink> sink = StartJob(*d->model, TicketFor(*d, lpdi->lpszDocName),
                                           OutputFileFor(*d->model, lpdi->lpszOutput));
  if (!sink) return SP_ERROR;
  d->sink = std::move(sink);
  d->pdf = cairo_pdf_surface_create_for_stream(WritePdf, d, d->pageWidth, d->pageHeight);
  if (cairo_surface_status(d->pdf) != CAIRO_STATUS_SUCCESS) {
    d->DropJob();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return SP_ERROR;
  }
  std::string title = nx::wide::ToUtf8(lpdi->lpszDocName);
  if (!title.empty()) cairo_pdf_surface_set_metadata(d->pdf, CAIRO_PDF_METADATA_TITLE, title.c_str());
  cairo_pdf_surface_set_metadata(d->pdf, CAIRO_PDF_METADATA_CREATOR, "Noxtrel");
  // What Cairo cannot keep as vectors it rasterises at the printer's resolution.
  cairo_surface_set_fallback_resolution(d->pdf, d->geo.dpiX, d->geo.dpiY);
  DWORD id = d->sink->JobId();
  return id > 0 && id <= 0x7FFFFFFF ? (int)id : 1;
}

int WINAPI StartPage(HDC hdc) {
  PrinterDcData *d = WithJob(hdc);
  if (!d) return SP_ERROR;
  if (d->pageOpen) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  nx::gdi::SetSurfaceDCTarget(hdc, d->pdf, d->toPoints);
  d->pageOpen = true;
  return 1;
}

int WINAPI EndPage(HDC hdc) {
  PrinterDcData *d = WithJob(hdc);
  if (!d) return SP_ERROR;
  if (!d->pageOpen) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  return ClosePage(hdc, *d) ? 1 : SP_ERROR;
}

int WINAPI EndDoc(HDC hdc) {
  PrinterDcData *d = WithJob(hdc);
  if (!d) return SP_ERROR;
  bool ok = !d->pageOpen || ClosePage(hdc, *d);
  if (ok && d->pages == 0) {
    // Nothing was printed: the job goes away without reaching the printer.
    d->DropJob();
    return 1;
  }
  ok = FinishPdf(*d) && ok;
  std::unique_ptr<JobSink> sink = std::move(d->sink);
  if (ok) ok = sink->Commit();  // a refused commit leaves nothing behind
  DWORD err = GetLastError();
  if (!ok) sink->Abort();
  d->DropJob();
  SetLastError(err);
  return ok ? 1 : SP_ERROR;
}

int WINAPI AbortDoc(HDC hdc) {
  PrinterDcData *d = WithJob(hdc);
  if (!d) return SP_ERROR;
  nx::gdi::SetSurfaceDCTarget(hdc, nullptr, d->toPoints);
  d->DropJob();
  return 1;
}
