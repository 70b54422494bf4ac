#include "printers/NxPrintDialog.h"

#include <cstring>
#include <string>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/SysPrinter.h"
#include "session/Library.h"
#include "session/PrinterSetup.h"
#include "session/Session.h"

namespace nx {
namespace {

// Global memory with a copy of bytes.
HGLOBAL CopyToGlobal(const void *data, size_t size) {
  HGLOBAL h = GlobalAlloc(GHND, size);
  if (void *p = GlobalLock(h)) {
    std::memcpy(p, data, size);
    GlobalUnlock(h);
  }
  return h;
}

// A DEVNAMES block naming the printer, as the dialog expects it.
HGLOBAL DevNamesOf(const TPrinterEntry &e) {
  WString text(sizeof(DEVNAMES) / sizeof(WCHAR), WCHAR(0));
  DEVNAMES dn{};
  dn.wDriverOffset = static_cast<WORD>(text.size());
  text += e.Driver + WCHAR(0);
  dn.wDeviceOffset = static_cast<WORD>(text.size());
  text += e.Device + WCHAR(0);
  dn.wOutputOffset = static_cast<WORD>(text.size());
  text += e.Port + WCHAR(0);
  std::memcpy(text.data(), &dn, sizeof dn);
  return CopyToGlobal(text.data(), text.size() * sizeof(WCHAR));
}

// Frees the dialog's global blocks however the call ends.
struct TDialogHandles {
  PRINTDLGW &pd;
  ~TDialogHandles() {
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
  }
};

int IndexOfPrinter(const WString &device) {
  const auto list = SysPrinter().Printers();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].Device == device) return static_cast<int>(i);
  throw ENxError(nxePrinter, "The printer chosen in the print dialog is no longer installed");
}

}  // namespace

UINT_PTR CALLBACK TNxPrintDialog::ShowDialog(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) SetForegroundWindow(window);
  return 0;
}

bool TNxPrintDialog::Execute() {
  TSysPrinter &printer = SysPrinter();
  PRINTDLGW pd{};
  pd.lStructSize = sizeof pd;
  pd.Flags = PD_NOPAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_NOWARNING | PD_ENABLEPRINTHOOK |
             PD_USEDEVMODECOPIESANDCOLLATE;
  pd.lpfnPrintHook = &TNxPrintDialog::ShowDialog;
  pd.nCopies = 1;
  if (range_) {
    pd.Flags &= ~static_cast<DWORD>(PD_NOPAGENUMS);
    pd.nMinPage = static_cast<WORD>(range_->MinPage);
    pd.nMaxPage = static_cast<WORD>(range_->MaxPage);
    pd.nFromPage = static_cast<WORD>(range_->FromPage);
    pd.nToPage = static_cast<WORD>(range_->ToPage);
  }
  TDialogHandles handles{pd};
  if (const DEVMODEW *dm = printer.DevMode())
    pd.hDevMode = CopyToGlobal(dm, static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra);
  pd.hDevNames = DevNamesOf(printer.Entry());
  if (!PrintDlgW(&pd)) {
    const DWORD error = CommDlgExtendedError();
    if (error == CDERR_DIALOGFAILURE)
      throw ENxError(nxeGeneral, "The print dialog cannot be shown: no display is available");
    if (error != 0) throw ENxError(nxePrinter, "The print dialog failed (error " + std::to_string(error) + ")");
    return false;
  }
  const auto *names = static_cast<const DEVNAMES *>(GlobalLock(pd.hDevNames));
  if (!names) throw ENxError(nxeGeneral, "The print dialog returned no printer");
  const WString device(reinterpret_cast<const WCHAR *>(names) + names->wDeviceOffset);
  GlobalUnlock(pd.hDevNames);
  printer.Select(IndexOfPrinter(device));
  if (range_) {
    range_->AllPages = (pd.Flags & PD_PAGENUMS) == 0;
    range_->FromPage = pd.nFromPage;
    range_->ToPage = pd.nToPage;
  }
  if (const auto *dm = static_cast<const DEVMODEW *>(GlobalLock(pd.hDevMode))) {
    printer.SetDevMode(dm);
    GlobalUnlock(pd.hDevMode);
  }
  return true;
}

int32_t PrintDialog() {
  TNoxtrelRec &s = Session();
  if (s.PDFMode) return 1;
  SysPrinter().Select(s.CurPrinter);
  ApplyPrinterSetup();
  TNxPrintDialog dialog;
  if (!dialog.Execute()) {
    s.FromDialog = false;
    return 0;
  }
  ReadPrinterSetup();
  s.FromDialog = true;
  return 1;
}

}  // namespace nx
