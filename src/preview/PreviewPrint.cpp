// Printing from the preview window: the print dialog on a private printer
// object, then the chosen pages stretched over the printer's page.
#include <vector>

#include "common/ErrorChannel.h"
#include "device/SysPrinter.h"
#include "preview/Preview.h"
#include "printers/NxPrintDialog.h"
#include "session/Library.h"

namespace nx::preview {
namespace {

// The process-wide printer's selection and setup, put back when printing
// from the window ends however it ends.
class TSavedPrinter {
 public:
  explicit TSavedPrinter(TSysPrinter &p) : printer_(p), index_(p.Index()) {
    if (const DEVMODEW *dm = p.DevMode())
      devMode_.assign(reinterpret_cast<const BYTE *>(dm),
                      reinterpret_cast<const BYTE *>(dm) + dm->dmSize + dm->dmDriverExtra);
  }
  ~TSavedPrinter() {
    try {
      if (index_ < 0) return;
      printer_.Select(index_);
      if (!devMode_.empty()) printer_.SetDevMode(reinterpret_cast<const DEVMODEW *>(devMode_.data()));
    } catch (...) {
      // The printer was removed meanwhile: the next document selects anew.
    }
  }
  TSavedPrinter(const TSavedPrinter &) = delete;
  TSavedPrinter &operator=(const TSavedPrinter &) = delete;

 private:
  TSysPrinter &printer_;
  int index_;
  std::vector<BYTE> devMode_;
};

// Copies one printer object's printer and setup into another.
void CopyPrinter(TSysPrinter &from, TSysPrinter &to) {
  to.Select(from.Index());
  if (const DEVMODEW *dm = from.DevMode()) to.SetDevMode(dm);
}

}  // namespace

void PrintPages(TSysPrinter &printer, const std::vector<TPageMetafile> &pages, bool all, int from, int to) {
  printer.BeginDoc();
  if (!printer.Printing()) throw ENxError(nxePrinter, "The printer refused the print job");
  const RECT r{0, 0, GetDeviceCaps(printer.Handle(), HORZRES), GetDeviceCaps(printer.Handle(), VERTRES)};
  bool printed = false;
  try {
    for (int k = 0; k < static_cast<int>(pages.size()); ++k) {
      if (!all && (k + 1 < from || k + 1 > to)) continue;
      const HENHMETAFILE emf = pages[static_cast<size_t>(k)].Handle;
      if (!emf) continue;
      // A new sheet only between printed pages: a range that ends before
      // the document's last page leaves no blank sheet behind.
      if (printed) printer.NewPage();
      PlayEnhMetaFile(printer.Handle(), emf, &r);
      printed = true;
    }
  } catch (...) {
    printer.Abort();
    throw;
  }
  printer.EndDoc();
}

void TPreviewForm::PrintClick() {
  Enable(PWC_PRINT, false);
  FTopMost = 0;
  Send(PWM_SETTOPMOST, FALSE);
  struct TEnableAgain {
    const TPreviewForm &form;
    ~TEnableAgain() { form.Enable(PWC_PRINT, true); }
  } enableAgain{*this};
  if (!Pages || Pages->empty()) return;
  const int n = static_cast<int>(Pages->size());
  TPageRange range{1, n, 1, n, true};

  TSysPrinter &shared = SysPrinter();
  TSavedPrinter restore(shared);
  TSysPrinter own;
  own.Select(-1);
  own.SetTitle(shared.Title());
  own.SetCopies(FCopies);
  if (FOrientation == DMORIENT_PORTRAIT || FOrientation == DMORIENT_LANDSCAPE) own.SetOrientation(FOrientation);
  CopyPrinter(own, shared);

  TNxPrintDialog dialog(&range);
  if (!dialog.Execute()) return;
  CopyPrinter(shared, own);
  PrintPages(own, *Pages, range.AllPages, range.FromPage, range.ToPage);
}

}  // namespace nx::preview
