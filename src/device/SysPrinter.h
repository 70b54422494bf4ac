// The current system printer: the printer list, the selected printer with its
// setup (DEVMODE), its device context and its print job.
#pragma once

#include <string>
#include <vector>

#include "device/Surface.h"
#include "platform/win32.h"

namespace nx {

struct TPrinterEntry {
  WString Device;
  WString Driver;
  WString Port;
};

class TSysPrinter {
 public:
  TSysPrinter() = default;
  ~TSysPrinter();
  TSysPrinter(const TSysPrinter &) = delete;
  TSysPrinter &operator=(const TSysPrinter &) = delete;

  // The installed printers, in the spooler's order (read anew on each call).
  std::vector<TPrinterEntry> Printers() const;
  // The index of the system default printer in Printers(), -1 if none.
  int DefaultIndex() const;

  // Selects printer index (-1: the system default). Another printer, or -1,
  // starts from the driver's default setup; the current printer again keeps
  // its setup. Throws when the index is out of range or there is no printer.
  void Select(int index);
  // Selects the system default printer unless a printer is selected.
  void EnsureSelected();
  // The index of the selected printer in the list, -1 before any selection.
  int Index() const { return index_; }
  const TPrinterEntry &Entry() const { return entry_; }

  // The setup of the selected printer, nullptr when the driver has none.
  DEVMODEW *DevMode();
  // Replaces the setup (for a print dialog's result).
  void SetDevMode(const DEVMODEW *dm);
  // The setup was changed: the device context is created anew from it.
  void DevModeChanged();

  int Orientation();
  void SetOrientation(int orientation);
  void SetCopies(int copies);

  // The device context: an information context outside a job, the job's
  // context during one. Created on demand for the selected printer.
  HDC Handle();
  // The drawing surface on Handle(); its pen, brush and font settings stay
  // when the context is made anew.
  TSurface &Canvas();

  const WString &Title() const { return title_; }
  void SetTitle(const WString &title) { title_ = title; }

  bool Printing() const { return printing_; }
  // Starts a job with the title as its name and opens page 1. When the
  // spooler refuses the job nothing is started and Printing stays false.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();

  // The font families the printer offers.
  std::vector<WString> Fonts();

 private:
  // The index of the system default printer in `list`, -1 if none.
  static int DefaultIndexIn(const std::vector<TPrinterEntry> &list);
  void LoadDefaults(const TPrinterEntry &entry);
  void FreeDC();
  void AttachSurface(HDC dc);

  int index_ = -1;
  TPrinterEntry entry_;
  std::vector<BYTE> devMode_;  // DEVMODEW followed by the driver's extra bytes
  HDC dc_ = nullptr;
  TSurface surface_;
  WString title_;
  bool printing_ = false;
};

}  // namespace nx
