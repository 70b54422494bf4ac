// The printer list and printer setup: EnumPrintersW, GetDefaultPrinterW,
// DocumentPropertiesW and DeviceCapabilitiesW.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "platform/spool/PrinterHandles.h"
#include "platform/kernel/Wide.h"

using namespace nx::spool;
namespace wide = nx::wide;

namespace {

// Lays out EnumPrintersW's answer: the records first, then their strings and
// device modes, each at an 8-byte boundary.
class EnumBuffer {
 public:
  EnumBuffer(LPBYTE buf, DWORD size, size_t records) : buf_(buf), size_(size), used_(records) {}
  size_t Used() const { return used_; }
  bool Fits() const { return used_ == 0 || (buf_ && used_ <= size_); }
  LPWSTR String(const std::u16string &s) {
    size_t bytes = (s.size() + 1) * sizeof(WCHAR);
    WCHAR *dst = static_cast<WCHAR *>(Take(bytes));
    if (dst) {
      std::memcpy(dst, s.data(), s.size() * sizeof(WCHAR));
      dst[s.size()] = 0;
    }
    return dst;
  }
  LPDEVMODEW DevMode(const DEVMODEW &dm) {
    auto *dst = static_cast<LPDEVMODEW>(Take(sizeof(DEVMODEW)));
    if (dst) *dst = dm;
    return dst;
  }

 private:
  void *Take(size_t bytes) {
    size_t at = (used_ + 7) & ~size_t(7);
    used_ = at + bytes;
    return (buf_ && used_ <= size_) ? buf_ + at : nullptr;
  }
  LPBYTE buf_;
  DWORD size_;
  size_t used_;
};

size_t RecordSize(DWORD level) {
  switch (level) {
    case 1: return sizeof(PRINTER_INFO_1W);
    case 2: return sizeof(PRINTER_INFO_2W);
    case 4: return sizeof(PRINTER_INFO_4W);
    case 5: return sizeof(PRINTER_INFO_5W);
    default: return 0;
  }
}

DWORD Attributes(const PrinterEntry &e) {
  DWORD a = e.kind == PrinterKind::Cups ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL;
  if (e.isDefault) a |= PRINTER_ATTRIBUTE_DEFAULT;
  return a;
}

void FillRecord(DWORD level, void *rec, const PrinterEntry &e, const DEVMODEW *dm, EnumBuffer &b) {
  switch (level) {
    case 1: {
      PRINTER_INFO_1W r{};
      r.Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer
      r.pDescription = b.String(e.name + u"," + e.driver + u"," + e.port);
      r.pName = b.String(e.name);
      r.pComment = b.String(u"");
      if (rec) std::memcpy(rec, &r, sizeof r);
      break;
    }
    case 2: {
      PRINTER_INFO_2W r{};
      r.pServerName = nullptr;
      r.pPrinterName = b.String(e.name);
      r.pShareName = b.String(u"");
      r.pPortName = b.String(e.port);
      r.pDriverName = b.String(e.driver);
      r.pComment = b.String(u"");
      r.pLocation = b.String(u"");
      if (dm) r.pDevMode = b.DevMode(*dm);
      r.pSepFile = b.String(u"");
      r.pPrintProcessor = b.String(u"noxtrel");
      r.pDatatype = b.String(u"RAW");
      r.pParameters = b.String(u"");
      r.Attributes = Attributes(e);
      if (rec) std::memcpy(rec, &r, sizeof r);
      break;
    }
    case 4: {
      PRINTER_INFO_4W r{};
      r.pPrinterName = b.String(e.name);
      r.Attributes = Attributes(e);
      if (rec) std::memcpy(rec, &r, sizeof r);
      break;
    }
    case 5: {
      PRINTER_INFO_5W r{};
      r.pPrinterName = b.String(e.name);
      r.pPortName = b.String(e.port);
      r.Attributes = Attributes(e);
      r.DeviceNotSelectedTimeout = 15000;
      r.TransmissionRetryTimeout = 45000;
      if (rec) std::memcpy(rec, &r, sizeof r);
      break;
    }
  }
}

// The driver defaults of every listed printer, for level 2: each model read
// once, the virtual printers from one reading of their configuration.
std::vector<std::optional<DEVMODEW>> DefaultDevModes(const std::vector<PrinterEntry> &list) {
  std::vector<std::optional<DEVMODEW>> modes(list.size());
  std::optional<std::vector<PrinterModel>> virtuals;
  for (size_t i = 0; i < list.size(); ++i) {
    const PrinterEntry &e = list[i];
    const PrinterModel *model = nullptr;
    std::unique_ptr<PrinterModel> loaded;
    if (e.kind == PrinterKind::Virtual) {
      if (!virtuals) virtuals = LoadVirtualPrinters();
      for (const PrinterModel &m : *virtuals)
        if (!model && wide::EqualsIgnoreCase(m.name, e.name)) model = &m;
    }
    if (!model && (loaded = LoadPrinter(e.name))) model = loaded.get();
    if (model) modes[i] = DefaultDevMode(*model);
  }
  return modes;
}

// The model for a handle or, without one, for a printer name.
std::unique_ptr<PrinterModel> ModelFor(HANDLE h, LPCWSTR name) {
  if (h) {
    PrinterHandle *p = LookupPrinterHandle(h);
    if (!p) return nullptr;
    return std::make_unique<PrinterModel>(*p->model);
  }
  auto m = LoadPrinter(wide::FromW(name));
  if (!m) SetLastError(ERROR_INVALID_PRINTER_NAME);
  return m;
}

// The list sizes this thread's callers were last given for each printer. A
// count sizes the caller's buffer, so the fill that follows never writes more
// entries than that, even when the printer gained papers or bins in between
// (a CUPS queue reconfigured, the configuration file edited).
struct KnownCounts {
  int papers = -1, bins = -1;
};

int *KnownCount(const WCHAR *printer, WORD capability) {
  thread_local std::map<std::u16string, KnownCounts> known;
  KnownCounts &k = known[wide::FromW(printer)];
  switch (capability) {
    case DC_PAPERS:
    case DC_PAPERNAMES:
    case DC_PAPERSIZE:
      return &k.papers;
    default:
      return &k.bins;
  }
}

template <class T, class F>
int FillArray(void *out, const std::vector<T> &items, size_t stride, int *known, F &&put) {
  size_t n = items.size();
  if (!out) {
    *known = (int)n;
    return (int)n;
  }
  if (*known >= 0) n = std::min(n, (size_t)*known);
  for (size_t i = 0; i < n; ++i) put(static_cast<BYTE *>(out) + i * stride, items[i]);
  return (int)n;
}

}  // namespace

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcbNeeded = 0;
  *pcReturned = 0;
  size_t recSize = RecordSize(Level);
  if (!recSize) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::vector<PrinterEntry> list;
  DWORD refused = ERROR_SUCCESS;
  if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS | PRINTER_ENUM_NAME)) {
    list = ListPrinters(&refused);
  } else if (Flags & PRINTER_ENUM_DEFAULT) {
    std::vector<PrinterEntry> all = ListPrinters(&refused);
    int d = DefaultPrinterIndex(all);
    if (d >= 0) list.push_back(all[d]);
  }
  // A printer configuration that cannot be read is no shorter list.
  if (refused != ERROR_SUCCESS) {
    SetLastError(refused);
    return FALSE;
  }
  std::vector<std::optional<DEVMODEW>> modes(list.size());
  if (Level == 2) modes = DefaultDevModes(list);
  auto modeOf = [&](size_t i) { return modes[i] ? &*modes[i] : nullptr; };
  EnumBuffer b(pPrinterEnum, cbBuf, recSize * list.size());
  for (size_t i = 0; i < list.size(); ++i) FillRecord(Level, nullptr, list[i], modeOf(i), b);
  *pcbNeeded = (DWORD)b.Used();
  if (!b.Fits()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  EnumBuffer fill(pPrinterEnum, cbBuf, recSize * list.size());
  for (size_t i = 0; i < list.size(); ++i)
    FillRecord(Level, pPrinterEnum + i * recSize, list[i], modeOf(i), fill);
  *pcReturned = (DWORD)list.size();
  return TRUE;
}

BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  if (!pcchBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<PrinterEntry> list = ListPrinters();
  int d = DefaultPrinterIndex(list);
  if (d < 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const std::u16string &name = list[d].name;
  DWORD need = (DWORD)name.size() + 1;
  if (!pszBuffer || *pcchBuffer < need) {
    *pcchBuffer = need;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pszBuffer, name.c_str(), need * sizeof(WCHAR));
  *pcchBuffer = need;
  return TRUE;
}

LONG WINAPI DocumentPropertiesW(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName,
                                PDEVMODEW pDevModeOutput, PDEVMODEW pDevModeInput, DWORD fMode) {
  auto m = ModelFor(hPrinter, pDeviceName);
  if (!m) return -1;
  if (fMode == 0) return (LONG)sizeof(DEVMODEW);
  DEVMODEW result;
  if (!MergeDevMode(*m, (fMode & DM_IN_BUFFER) ? pDevModeInput : nullptr, &result)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (fMode & DM_OUT_BUFFER) {
    if (!pDevModeOutput) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    *pDevModeOutput = result;
  }
  return 1;  // IDOK
}

int WINAPI DeviceCapabilitiesW(LPCWSTR pDevice, LPCWSTR pPort, WORD fwCapability, LPWSTR pOutput,
                               const DEVMODEW *pDevMode) {
  auto m = ModelFor(nullptr, pDevice);
  if (!m) return -1;
  int *known = KnownCount(pDevice, fwCapability);
  switch (fwCapability) {
    case DC_PAPERS:
      return FillArray(pOutput, m->papers, sizeof(WORD), known, [](BYTE *at, const Paper &p) {
        WORD n = (WORD)p.number;
        std::memcpy(at, &n, sizeof n);
      });
    case DC_PAPERNAMES:
      return FillArray(pOutput, m->papers, 64 * sizeof(WCHAR), known, [](BYTE *at, const Paper &p) {
        wide::CopyField(reinterpret_cast<WCHAR *>(at), 64, p.name);
      });
    case DC_PAPERSIZE:
      return FillArray(pOutput, m->papers, sizeof(POINT), known, [](BYTE *at, const Paper &p) {
        POINT pt{p.width, p.length};
        std::memcpy(at, &pt, sizeof pt);
      });
    case DC_BINS:
      return FillArray(pOutput, m->bins, sizeof(WORD), known, [](BYTE *at, const Bin &b) {
        WORD n = (WORD)b.number;
        std::memcpy(at, &n, sizeof n);
      });
    case DC_BINNAMES:
      return FillArray(pOutput, m->bins, 24 * sizeof(WCHAR), known, [](BYTE *at, const Bin &b) {
        wide::CopyField(reinterpret_cast<WCHAR *>(at), 24, b.name);
      });
    case DC_DUPLEX:
      return m->duplex ? 1 : 0;
    case DC_COPIES:
      return m->maxCopies;
    case DC_COLLATE:
      return 1;
    case DC_COLORDEVICE:
      return m->color ? 1 : 0;
    case DC_ORIENTATION:
      return 90;
    case DC_SIZE:
      return (int)sizeof(DEVMODEW);
    case DC_EXTRA:
      return 0;
    case DC_VERSION:
      return DM_SPECVERSION;
    case DC_DRIVER:
      return 0x0100;
    case DC_FIELDS:
      return (int)DefaultDevMode(*m).dmFields;
    case DC_ENUMRESOLUTIONS:
      if (pOutput) {
        LONG res[2] = {m->dpiX, m->dpiY};
        std::memcpy(pOutput, res, sizeof res);
      }
      return 1;
    default:
      SetLastError(ERROR_NOT_SUPPORTED);
      return -1;
  }
}
