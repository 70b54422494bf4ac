#include "device/SysPrinter.h"

#include <algorithm>
#include <cstring>

#include "common/ErrorChannel.h"

namespace nx {
namespace {

WString FromPtr(LPCWSTR s) { return s ? WString(s) : WString(); }

// First buffers of the printer list and the default printer's name, large
// enough for most systems, so that one call of each usually answers.
constexpr size_t kListBufferBytes = 32 * 1024;
constexpr DWORD kNameBufferChars = 256;

// A printer handle that is closed with the object.
class TPrinterHandle {
 public:
  explicit TPrinterHandle(const WString &name) {
    WString copy = name;
    if (!OpenPrinterW(copy.data(), &h_, nullptr)) h_ = nullptr;
  }
  ~TPrinterHandle() {
    if (h_) ClosePrinter(h_);
  }
  TPrinterHandle(const TPrinterHandle &) = delete;
  TPrinterHandle &operator=(const TPrinterHandle &) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_ = nullptr;
};

// The printer list cannot be had: its configuration file was refused.
[[noreturn]] void ListFailed(DWORD error) {
  std::string why;
  switch (error) {
    case ERROR_BAD_FILE_TYPE: why = "it is not a regular file"; break;
    case ERROR_FILE_TOO_LARGE: why = "it is larger than 1 MB"; break;
    case ERROR_ACCESS_DENIED: why = "it cannot be opened (access denied)"; break;
    default: why = "it cannot be read (error " + std::to_string(error) + ")"; break;
  }
  throw ENxError(nxePrinter, "The printer list cannot be read: the printer configuration file is refused: " + why);
}

}  // namespace

TSysPrinter::~TSysPrinter() {
  if (printing_) Abort();
  FreeDC();
}

std::vector<TPrinterEntry> TSysPrinter::Printers() const {
  // Sized for the usual list at once: each call asks every printer anew.
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  std::vector<BYTE> buffer(kListBufferBytes);
  DWORD needed = 0, count = 0;
  while (!EnumPrintersW(flags, nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) ListFailed(GetLastError());
    buffer.resize(needed);  // the list grew since it was measured: again
  }
  std::vector<TPrinterEntry> list;
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    list.push_back({FromPtr(info[i].pPrinterName), FromPtr(info[i].pDriverName), FromPtr(info[i].pPortName)});
  return list;
}

int TSysPrinter::DefaultIndex() const { return DefaultIndexIn(Printers()); }

int TSysPrinter::DefaultIndexIn(const std::vector<TPrinterEntry> &list) {
  WString name(kNameBufferChars, 0);
  DWORD size = kNameBufferChars;
  while (!GetDefaultPrinterW(name.data(), &size)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= name.size()) return -1;
    name.assign(size, 0);
  }
  name.resize(std::char_traits<WCHAR>::length(name.c_str()));
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].Device == name) return static_cast<int>(i);
  return -1;
}

void TSysPrinter::Select(int index) {
  const auto list = Printers();
  if (list.empty()) throw ENxError(nxePrinter, "No printer is installed");
  int chosen = index;
  if (index < 0) {
    chosen = DefaultIndexIn(list);
    if (chosen < 0) chosen = 0;
  } else if (index >= static_cast<int>(list.size())) {
    throw ENxError(nxePrinter, "Printer index out of range");
  }
  if (index >= 0 && chosen == index_ && list[chosen].Device == entry_.Device) return;
  if (printing_) throw ENxError(nxePrinter, "Printing in progress");
  FreeDC();
  index_ = chosen;
  LoadDefaults(list[chosen]);
}

void TSysPrinter::EnsureSelected() {
  if (index_ < 0) Select(-1);
}

void TSysPrinter::LoadDefaults(const TPrinterEntry &entry) {
  entry_ = entry;
  devMode_.clear();
  TPrinterHandle printer(entry.Device);
  if (!printer.get()) return;
  WString name = entry.Device;
  LONG size = DocumentPropertiesW(nullptr, printer.get(), name.data(), nullptr, nullptr, 0);
  if (size < static_cast<LONG>(sizeof(DEVMODEW))) return;
  std::vector<BYTE> buffer(static_cast<size_t>(size));
  auto *dm = reinterpret_cast<DEVMODEW *>(buffer.data());
  if (DocumentPropertiesW(nullptr, printer.get(), name.data(), dm, nullptr, DM_OUT_BUFFER) < 0) return;
  devMode_ = std::move(buffer);
}

DEVMODEW *TSysPrinter::DevMode() {
  EnsureSelected();
  return devMode_.empty() ? nullptr : reinterpret_cast<DEVMODEW *>(devMode_.data());
}

void TSysPrinter::SetDevMode(const DEVMODEW *dm) {
  if (!dm) {
    devMode_.clear();
  } else {
    size_t size = static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra;
    size = std::max(size, sizeof(DEVMODEW));
    const BYTE *bytes = reinterpret_cast<const BYTE *>(dm);
    devMode_.assign(bytes, bytes + size);
  }
  DevModeChanged();
}

void TSysPrinter::DevModeChanged() {
  if (!printing_) FreeDC();
}

int TSysPrinter::Orientation() {
  DEVMODEW *dm = DevMode();
  return dm ? dm->dmOrientation : DMORIENT_PORTRAIT;
}

void TSysPrinter::SetOrientation(int orientation) {
  if (DEVMODEW *dm = DevMode()) {
    dm->dmOrientation = static_cast<short>(orientation);
    DevModeChanged();
  }
}

void TSysPrinter::SetCopies(int copies) {
  if (DEVMODEW *dm = DevMode()) {
    dm->dmCopies = static_cast<short>(copies);
    DevModeChanged();
  }
}

HDC TSysPrinter::Handle() {
  EnsureSelected();
  if (!dc_) {
    dc_ = CreateDCW(entry_.Driver.c_str(), entry_.Device.c_str(), nullptr, DevMode());
    if (!dc_) throw ENxError(nxePrinter, "Cannot open the printer");
  }
  return dc_;
}

TSurface &TSysPrinter::Canvas() {
  AttachSurface(Handle());
  return surface_;
}

void TSysPrinter::AttachSurface(HDC dc) {
  if (surface_.Handle() == dc) return;
  surface_.Attach(dc);
  surface_.Font().PixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
}

void TSysPrinter::FreeDC() {
  surface_.Attach(nullptr);
  if (dc_) DeleteDC(dc_);
  dc_ = nullptr;
}

std::vector<WString> TSysPrinter::Fonts() {
  std::vector<WString> names;
  auto collect = [](const LOGFONTW *lf, const TEXTMETRICW *, DWORD, LPARAM param) -> int {
    auto *out = reinterpret_cast<std::vector<WString> *>(param);
    WString name(lf->lfFaceName);
    if (std::find(out->begin(), out->end(), name) == out->end()) out->push_back(name);
    return 1;
  };
  EnumFontsW(Handle(), nullptr, collect, reinterpret_cast<LPARAM>(&names));
  return names;
}

}  // namespace nx
