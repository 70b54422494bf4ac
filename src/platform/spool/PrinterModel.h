// The printers the spooler knows: CUPS destinations and virtual printers,
// each described by one model (resolution, papers, bins, duplex, defaults)
// that DocumentPropertiesW, DeviceCapabilitiesW and printer DCs answer from.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace nx::spool {

enum class PrinterKind { Cups, Virtual };

struct Paper {
  int number = 0;        // dmPaperSize
  std::u16string name;   // DC_PAPERNAMES
  int width = 0;         // portrait size, tenths of a millimetre
  int length = 0;
  std::string pwg;       // CUPS media name
  // Unprintable margins in device pixels of the printer's resolution.
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct Bin {
  int number = 0;        // dmDefaultSource
  std::u16string name;   // DC_BINNAMES
  std::string keyword;   // CUPS media-source
};

struct PrinterModel {
  PrinterKind kind = PrinterKind::Virtual;
  std::u16string name, driver, port;
  std::string cupsName;  // CUPS destination
  std::string folder;    // virtual printers: where jobs go
  int dpiX = 600, dpiY = 600;
  std::vector<Paper> papers;
  std::vector<Bin> bins;
  bool duplex = false;
  bool color = false;
  int maxCopies = 1;
  // Driver defaults.
  int defPaper = DMPAPER_A4;
  int defBin = 0;
  int defDuplex = DMDUP_SIMPLEX;
  int defOrientation = DMORIENT_PORTRAIT;

  const Paper *FindPaper(int number) const;
  const Bin *FindBin(int number) const;
};

struct PrinterEntry {
  PrinterKind kind = PrinterKind::Virtual;
  std::u16string name, driver, port;
  bool isDefault = false;  // CUPS's default destination
};

// Every printer: the CUPS destinations (when a server answers), then the
// virtual printers. The order is stable between calls. A configuration file
// that is refused (not a regular file, too large, unreadable) sets *refused
// to the reason's error code and contributes no printer.
std::vector<PrinterEntry> ListPrinters(DWORD *refused = nullptr);
// The default printer's index in ListPrinters(), -1 when there is none.
int DefaultPrinterIndex(const std::vector<PrinterEntry> &list);
// The model of a printer by name (compared without regard to ASCII case);
// NULL when no printer has that name.
std::unique_ptr<PrinterModel> LoadPrinter(const std::u16string &name);

// Backends.
// The CUPS destinations are kept between calls while the server shows the
// same queues unchanged (CupsModelCache.cpp).
std::vector<PrinterEntry> ListCupsPrinters();
// How many times the destinations were read in full since the process began.
unsigned long CupsListReads();
// A queue's model is kept between calls while the server shows the queue
// unchanged (CupsModelCache.cpp).
std::unique_ptr<PrinterModel> LoadCupsPrinter(const std::u16string &name);
// How many times a queue's model was read in full since the process began.
unsigned long CupsModelReads();
// The virtual printers are kept between calls while their configuration
// file and the environment that names it stay the same.
std::vector<PrinterModel> LoadVirtualPrinters(DWORD *refused = nullptr);
// How many times the virtual printers were read (their file parsed, or the
// built-in one made) since the process began.
unsigned long VirtualPrinterReads();
// Where jobs of a virtual printer go when its configuration names no folder.
std::string DefaultSpoolFolder();

// The driver's defaults as a device mode, and a caller's device mode merged
// into one: only fields the caller lists in dmFields and that fit in its
// dmSize are taken, and only values the printer supports. False for a
// device mode too short to hold dmFields.
DEVMODEW DefaultDevMode(const PrinterModel &m);
bool MergeDevMode(const PrinterModel &m, const DEVMODEW *in, DEVMODEW *out);

// The page geometry a device mode gives on a printer, in device pixels.
struct PageGeometry {
  int dpiX = 600, dpiY = 600;
  int physWidth = 0, physHeight = 0;
  int offsetX = 0, offsetY = 0;
  int horzRes = 0, vertRes = 0;
  int horzSizeMm = 0, vertSizeMm = 0;
  bool landscape = false;
  // The paper used (its size in tenths of a millimetre, portrait).
  int paperNumber = 0;
  int paperWidth = 0, paperLength = 0;
  std::string pwg;
};
PageGeometry GeometryFor(const PrinterModel &m, const DEVMODEW &dm);

}  // namespace nx::spool
