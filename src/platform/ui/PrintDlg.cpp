// PrintDlgW: the print dialog over the spooler's printer list, shown by the
// GTK module; and SetForegroundWindow for the module's windows.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel/Wide.h"
#include "platform/gtk/GtkModule.h"
#include "platform/win32.h"

namespace nx::ui {
namespace {

thread_local DWORD g_commDlgError = 0;

constexpr size_t kPaperNameLength = 64;

struct PrinterInfo {
  std::u16string name, driver, port;
  std::string utf8;
  std::vector<std::string> paperNames;
  std::vector<NxGtkPaper> papers;  // names point into paperNames
  int defaultPaper = 0;
  int maxCopies = 1;
};

// The driver's default setup of a printer, or false.
bool DefaultDevMode(const std::u16string &printer, DEVMODEW *out) {
  std::u16string name = printer;
  return DocumentPropertiesW(nullptr, nullptr, name.data(), out, nullptr, DM_OUT_BUFFER) >= 0;
}

void ReadPapers(PrinterInfo &p) {
  const WCHAR *dev = p.name.c_str();
  int names = DeviceCapabilitiesW(dev, p.port.c_str(), DC_PAPERNAMES, nullptr, nullptr);
  int numbers = DeviceCapabilitiesW(dev, p.port.c_str(), DC_PAPERS, nullptr, nullptr);
  int n = std::min(names, numbers);
  if (n > 0) {
    std::vector<WCHAR> nameBuf(static_cast<size_t>(std::max(names, numbers)) * kPaperNameLength, 0);
    std::vector<WORD> numberBuf(static_cast<size_t>(std::max(names, numbers)), 0);
    DeviceCapabilitiesW(dev, p.port.c_str(), DC_PAPERNAMES, nameBuf.data(), nullptr);
    DeviceCapabilitiesW(dev, p.port.c_str(), DC_PAPERS, reinterpret_cast<LPWSTR>(numberBuf.data()), nullptr);
    for (int i = 0; i < n; ++i) {
      const WCHAR *s = nameBuf.data() + static_cast<size_t>(i) * kPaperNameLength;
      p.paperNames.push_back(wide::ToUtf8(std::u16string(s, std::find(s, s + kPaperNameLength, WCHAR(0)))));
    }
    for (int i = 0; i < n; ++i) p.papers.push_back({p.paperNames[static_cast<size_t>(i)].c_str(), numberBuf[static_cast<size_t>(i)]});
  }
  DEVMODEW dm{};
  if (DefaultDevMode(p.name, &dm)) p.defaultPaper = dm.dmPaperSize;
  p.maxCopies = std::max(1, DeviceCapabilitiesW(dev, p.port.c_str(), DC_COPIES, nullptr, nullptr));
}

std::vector<PrinterInfo> ListPrinters() {
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  std::vector<PrinterInfo> list;
  if (needed == 0 || !EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) return list;
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  list.resize(count);
  for (DWORD i = 0; i < count; ++i) {
    PrinterInfo &p = list[i];
    p.name = wide::FromW(info[i].pPrinterName);
    p.driver = wide::FromW(info[i].pDriverName);
    p.port = wide::FromW(info[i].pPortName);
    p.utf8 = wide::ToUtf8(p.name);
    ReadPapers(p);
  }
  return list;
}

// The device name of a DEVNAMES block, empty without one.
std::u16string DeviceOf(HGLOBAL devNames) {
  if (!devNames) return {};
  const auto *dn = static_cast<const DEVNAMES *>(GlobalLock(devNames));
  if (!dn) return {};
  std::u16string name = wide::FromW(reinterpret_cast<const WCHAR *>(dn) + dn->wDeviceOffset);
  GlobalUnlock(devNames);
  return name;
}

HGLOBAL MakeDevNames(const PrinterInfo &p, bool isDefault) {
  const size_t header = sizeof(DEVNAMES) / sizeof(WCHAR);
  const size_t chars = header + p.driver.size() + p.name.size() + p.port.size() + 3;
  HGLOBAL h = GlobalAlloc(GHND, chars * sizeof(WCHAR));
  auto *dn = static_cast<DEVNAMES *>(GlobalLock(h));
  if (!dn) return h;
  WCHAR *base = reinterpret_cast<WCHAR *>(dn);
  size_t at = header;
  auto put = [&](const std::u16string &s) {
    std::copy(s.begin(), s.end(), base + at);
    base[at + s.size()] = 0;
    WORD offset = static_cast<WORD>(at);
    at += s.size() + 1;
    return offset;
  };
  dn->wDriverOffset = put(p.driver);
  dn->wDeviceOffset = put(p.name);
  dn->wOutputOffset = put(p.port);
  dn->wDefault = isDefault ? DN_DEFAULTPRN : 0;
  GlobalUnlock(h);
  return h;
}

// The setup the dialog opens on: the caller's DEVMODE for its printer, else
// the driver's defaults.
DEVMODEW InitialDevMode(HGLOBAL devMode, const PrinterInfo &p) {
  DEVMODEW dm{};
  const auto *in = devMode ? static_cast<const DEVMODEW *>(GlobalLock(devMode)) : nullptr;
  if (in) {
    std::memcpy(&dm, in, std::min<size_t>(sizeof dm, GlobalSize(devMode)));
    GlobalUnlock(devMode);
  } else {
    DefaultDevMode(p.name, &dm);
  }
  return dm;
}

// The chosen setup as a new DEVMODE block: the caller's setup when the
// printer is the same, else the chosen printer's defaults, with the dialog's
// paper, orientation and copies.
HGLOBAL MakeDevMode(const DEVMODEW &start, const NxGtkPrintRequest &r) {
  DEVMODEW dm = start;
  if (r.paper > 0) {
    dm.dmPaperSize = static_cast<short>(r.paper);
    dm.dmFields |= DM_PAPERSIZE;
  }
  dm.dmOrientation = static_cast<short>(r.orientation);
  dm.dmCopies = static_cast<short>(r.copies);
  dm.dmFields |= DM_ORIENTATION | DM_COPIES;
  HGLOBAL h = GlobalAlloc(GHND, sizeof(DEVMODEW));
  if (void *p = GlobalLock(h)) {
    std::memcpy(p, &dm, sizeof dm);
    GlobalUnlock(h);
  }
  return h;
}

void CallHook(void *window, void *context) {
  const auto *pd = static_cast<const PRINTDLGW *>(context);
  if ((pd->Flags & PD_ENABLEPRINTHOOK) && pd->lpfnPrintHook)
    pd->lpfnPrintHook(static_cast<HWND>(window), WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(pd));
}

BOOL Fail(DWORD code) {
  g_commDlgError = code;
  return FALSE;
}

}  // namespace
}  // namespace nx::ui

BOOL WINAPI PrintDlgW(LPPRINTDLGW pPD) {
  using namespace nx::ui;
  g_commDlgError = 0;
  if (!pPD || pPD->lStructSize != sizeof(PRINTDLGW)) return Fail(CDERR_STRUCTSIZE);
  const NxGtkModule *m = GtkModule();
  if (!m || !m->print_dialog) return Fail(CDERR_DIALOGFAILURE);
  std::vector<PrinterInfo> printers = ListPrinters();
  if (printers.empty()) return Fail(PDERR_NODEFAULTPRN);
  const std::u16string wanted = DeviceOf(pPD->hDevNames);
  size_t first = 0;
  for (size_t i = 0; i < printers.size(); ++i)
    if (printers[i].name == wanted) first = i;
  const DEVMODEW initial = InitialDevMode(printers[first].name == wanted ? pPD->hDevMode : nullptr, printers[first]);

  std::vector<NxGtkPrinter> items;
  for (const PrinterInfo &p : printers)
    items.push_back({p.utf8.c_str(), p.papers.data(), static_cast<int>(p.papers.size()), p.defaultPaper});
  NxGtkPrintRequest r{items.data(), static_cast<int>(items.size()), static_cast<int>(first), initial.dmPaperSize,
                      initial.dmOrientation == DMORIENT_LANDSCAPE ? 2 : 1, std::max<int>(1, initial.dmCopies),
                      printers[first].maxCopies, CallHook, pPD, 0, 0, 0, 0, 0};
  if (!(pPD->Flags & PD_NOPAGENUMS) && pPD->nMaxPage > 0) {
    r.minPage = std::max<int>(1, pPD->nMinPage);
    r.maxPage = std::max<int>(r.minPage, pPD->nMaxPage);
    r.pageNumbers = (pPD->Flags & PD_PAGENUMS) ? 1 : 0;
    r.fromPage = std::clamp<int>(pPD->nFromPage, r.minPage, r.maxPage);
    r.toPage = std::clamp<int>(pPD->nToPage, r.fromPage, r.maxPage);
  }
  const int answer = m->print_dialog(&r);
  if (answer < 0) return Fail(CDERR_DIALOGFAILURE);
  if (answer == 0 || r.printer < 0 || r.printer >= static_cast<int>(printers.size())) return FALSE;

  const PrinterInfo &chosen = printers[static_cast<size_t>(r.printer)];
  DEVMODEW start{};
  if (static_cast<size_t>(r.printer) == first) start = initial;
  else if (!DefaultDevMode(chosen.name, &start)) return Fail(PDERR_PRINTERNOTFOUND);
  if (pPD->hDevMode) GlobalFree(pPD->hDevMode);
  if (pPD->hDevNames) GlobalFree(pPD->hDevNames);
  pPD->hDevMode = MakeDevMode(start, r);
  pPD->hDevNames = MakeDevNames(chosen, false);
  pPD->nCopies = static_cast<WORD>(r.copies);
  if (r.maxPage > 0) {
    pPD->Flags = (pPD->Flags & ~static_cast<DWORD>(PD_PAGENUMS | PD_SELECTION)) | (r.pageNumbers ? PD_PAGENUMS : 0);
    pPD->nFromPage = static_cast<WORD>(r.fromPage);
    pPD->nToPage = static_cast<WORD>(r.toPage);
  }
  return TRUE;
}

DWORD WINAPI CommDlgExtendedError(void) { return nx::ui::g_commDlgError; }

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  const NxGtkModule *m = nx::ui::GtkModule();
  return m && m->present && m->present(hWnd) ? TRUE : FALSE;
}
