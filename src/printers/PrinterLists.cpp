#include "printers/PrinterLists.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "device/SysPrinter.h"
#include "session/Library.h"
#include "session/PrinterSetup.h"
#include "session/Session.h"

namespace nx {
namespace {

// DeviceCapabilitiesW writes paper names in fields of 64 UTF-16 units.
constexpr size_t kPaperNameLength = 64;
// Hosts size their buffer for a printer name of at most 64 UTF-16 units; a
// CUPS queue name may be longer.
constexpr size_t kPrinterNameLength = 64;

// Hosts' buffers hold 64 bytes of their code page and a NUL, whatever the
// number of characters: in UTF-8 or a double-byte code page 64 characters
// take more.
constexpr size_t kNameBytes = 64;

bool InRange(int32_t index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

std::string AnsiName(const WString &name) { return WideToAnsi(name); }

// The encoded name cut before the first character that would cross
// kNameBytes, so that no character is split.
std::string FitName(const WString &name, std::string (*encode)(const WString &)) {
  std::string fitted;
  size_t end = 0;
  while (end < name.size()) {
    const bool pair = name[end] >= 0xD800 && name[end] <= 0xDBFF && end + 1 < name.size();
    const size_t next = end + (pair ? 2 : 1);
    std::string bytes = encode(name.substr(0, next));
    if (bytes.size() > kNameBytes) break;
    fitted = std::move(bytes);
    end = next;
  }
  return fitted;
}

void CopyName(char *dest, const WString &name) { CopyToDest(dest, FitName(name, AnsiName)); }

void NumberedName(const TNumberedList &list, int32_t index, char *dest) {
  if (Session().PDFMode) return CopyToDest(dest, std::string(kNotInPDFMode));
  if (!InRange(index, list.size())) return CopyToDest(dest, std::string(kNoSuchEntry));
  CopyName(dest, list[static_cast<size_t>(index)].Name);
}

int32_t Number(const TNumberedList &list, int32_t index) {
  if (Session().PDFMode || !InRange(index, list.size())) return -1;
  return list[static_cast<size_t>(index)].Number;
}

// The name in the OEM code page, as CharToOemA turns the ANSI name.
std::string OemName(const WString &name) {
  std::string ansi = WideToAnsi(name);
  std::string oem(ansi.size() + 1, '\0');
  CharToOemA(ansi.c_str(), oem.data());
  oem.resize(ansi.size());
  return oem;
}

// What the PDF/RTF pseudo printer reports for a capability: the session's
// last measurement of the real printer.
int32_t PseudoPrinterCaps(int32_t index) {
  const TNoxtrelRec &s = Session();
  switch (index) {
    case HORZSIZE: return s.MAreaWidth;
    case VERTSIZE: return s.MAreaHeight;
    case HORZRES: return s.AreaWidth;
    case VERTRES: return s.AreaHeight;
    case BITSPIXEL: return 32;
    case NUMCOLORS: return 32;
    case LOGPIXELSX: return s.HPixelsInch;
    case LOGPIXELSY: return s.VPixelsInch;
    case PHYSICALWIDTH: return s.PaperWidth;
    case PHYSICALHEIGHT: return s.PaperHeight;
    case PHYSICALOFFSETX: return s.LeftMargin;
    case PHYSICALOFFSETY: return s.TopMargin;
    default: return 0;
  }
}

}  // namespace

int32_t PrinterCount() {
  if (Session().PDFMode) return 1;
  return static_cast<int32_t>(SysPrinter().Printers().size());
}

void PrinterName(int32_t index, char *dest) {
  const TNoxtrelRec &s = Session();
  if (s.PDFMode) return CopyToDest(dest, std::string(kPseudoPrinterName));
  const auto list = SysPrinter().Printers();
  if (!InRange(index, list.size())) return CopyToDest(dest, std::string(kNoSuchEntry));
  const WString name = list[static_cast<size_t>(index)].Device.substr(0, kPrinterNameLength);
  if (s.AsciiAnsi)
    CopyToDest(dest, FitName(name, OemName));
  else
    CopyName(dest, name);
}

void SetPrinter(int32_t index) {
  if (DocumentOpen()) return;
  if (index < -1) index = -1;
  SysPrinter().Select(index);
  Session().CurPrinter = index;
  ReadPrinterSetup();
  MeasurePage();
}

int32_t PrinterCaps(int32_t index) {
  if (Session().PDFMode) return PseudoPrinterCaps(index);
  return GetDeviceCaps(SysPrinter().Handle(), index);
}

int32_t PaperCount() {
  TSysPrinter &printer = SysPrinter();
  printer.EnsureSelected();
  const TPrinterEntry &entry = printer.Entry();
  const WCHAR *device = entry.Device.c_str();
  const WCHAR *port = entry.Port.c_str();
  const DEVMODEW *dm = printer.DevMode();
  const int names = DeviceCapabilitiesW(device, port, DC_PAPERNAMES, nullptr, dm);
  const int numbers = DeviceCapabilitiesW(device, port, DC_PAPERS, nullptr, dm);
  if (names <= 0) return names == numbers ? names : 0;
  // Room for every number the driver reports; names without a number get 0.
  const size_t slots = static_cast<size_t>(std::max(names, numbers));
  std::vector<WCHAR> nameBuf(slots * kPaperNameLength, 0);
  std::vector<WORD> numberBuf(slots, 0);
  DeviceCapabilitiesW(device, port, DC_PAPERNAMES, nameBuf.data(), dm);
  if (numbers > 0) DeviceCapabilitiesW(device, port, DC_PAPERS, reinterpret_cast<LPWSTR>(numberBuf.data()), dm);
  TNumberedList &list = Session().PaperNames;
  list.clear();
  for (size_t i = 0; i < static_cast<size_t>(names); ++i) {
    const WCHAR *name = nameBuf.data() + i * kPaperNameLength;
    const WCHAR *end = std::find(name, name + kPaperNameLength, WCHAR(0));
    list.push_back({WString(name, end), static_cast<int32_t>(numberBuf[i])});
  }
  return names;
}

void PaperName(int32_t index, char *dest) { NumberedName(Session().PaperNames, index, dest); }
int32_t PaperNumber(int32_t index) { return Number(Session().PaperNames, index); }

int32_t PaperBinCount() {
  const TNoxtrelRec &s = Session();
  return s.PDFMode ? 0 : static_cast<int32_t>(s.PaperBins.size());
}

void PaperBinName(int32_t index, char *dest) { NumberedName(Session().PaperBins, index, dest); }
int32_t PaperBinNumber(int32_t index) { return Number(Session().PaperBins, index); }

int32_t FontCount() { return Device().FontCount(); }

void FontName(int32_t index, char *dest) {
  if (Session().PDFMode) return CopyToDest(dest, std::string(kNotInPDFMode));
  if (index < 0 || index >= FontCount()) return CopyToDest(dest, std::string(kNoSuchEntry));
  const auto fonts = SysPrinter().Fonts();
  if (!InRange(index, fonts.size())) return CopyToDest(dest, std::string(kNoSuchEntry));
  CopyName(dest, fonts[static_cast<size_t>(index)]);
}

}  // namespace nx
