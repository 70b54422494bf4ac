#include "session/PrinterSetup.h"

#include <vector>

#include "common/ErrorChannel.h"
#include "device/Device.h"
#include "device/SysPrinter.h"
#include "session/Library.h"
#include "session/Units.h"

namespace nx {
namespace {

constexpr int kBinNameLength = 24;

TPageMetrics ReadPageMetrics(HDC dc) {
  TPageMetrics m;
  m.AreaWidth = GetDeviceCaps(dc, HORZRES);
  m.AreaHeight = GetDeviceCaps(dc, VERTRES);
  m.TopMargin = GetDeviceCaps(dc, PHYSICALOFFSETY);
  m.LeftMargin = GetDeviceCaps(dc, PHYSICALOFFSETX);
  m.PaperWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
  m.PaperHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
  m.MAreaWidth = GetDeviceCaps(dc, HORZSIZE);
  m.MAreaHeight = GetDeviceCaps(dc, VERTSIZE);
  m.HPixelsInch = GetDeviceCaps(dc, LOGPIXELSX);
  m.VPixelsInch = GetDeviceCaps(dc, LOGPIXELSY);
  return m;
}

}  // namespace

void ApplyPrinterSetup() {
  TSysPrinter &printer = SysPrinter();
  DEVMODEW *dm = printer.DevMode();
  if (!dm) return;
  const TNoxtrelRec &s = Session();
  if (dm->dmFields & DM_PAPERSIZE) dm->dmPaperSize = static_cast<short>(s.PaperSize & 0xFFFF);
  if (dm->dmFields & DM_DUPLEX) dm->dmDuplex = static_cast<short>(s.Duplex);
  if ((dm->dmFields & DM_DEFAULTSOURCE) && s.PaperBin > 0) dm->dmDefaultSource = static_cast<short>(s.PaperBin);
  if (dm->dmFields & DM_COPIES) dm->dmCopies = static_cast<short>(s.Copies);
  if (dm->dmFields & DM_ORIENTATION) dm->dmOrientation = static_cast<short>(s.Orientation);
  printer.DevModeChanged();
}

void ReadPrinterSetup() {
  TSysPrinter &printer = SysPrinter();
  TNoxtrelRec &s = Session();
  const DEVMODEW *dm = printer.DevMode();
  if (dm) {
    s.Duplex = dm->dmDuplex;
    s.PaperBin = dm->dmDefaultSource;
    s.PaperSize = dm->dmPaperSize;
    s.Orientation = dm->dmOrientation;
    s.Copies = dm->dmCopies;
  }
  const TPrinterEntry &entry = printer.Entry();
  const WCHAR *device = entry.Device.c_str();
  const WCHAR *port = entry.Port.c_str();
  int names = DeviceCapabilitiesW(device, port, DC_BINNAMES, nullptr, dm);
  int numbers = DeviceCapabilitiesW(device, port, DC_BINS, nullptr, dm);
  if (names != numbers) throw ENxError(nxePrinter, "DeviceCapabilities reports different number of bins and bin names!");
  if (names <= 0) return;
  std::vector<WCHAR> nameBuf(static_cast<size_t>(names) * kBinNameLength + 1, 0);
  std::vector<WORD> numberBuf(static_cast<size_t>(names) + 1, 0);
  DeviceCapabilitiesW(device, port, DC_BINNAMES, nameBuf.data(), dm);
  DeviceCapabilitiesW(device, port, DC_BINS, reinterpret_cast<LPWSTR>(numberBuf.data()), dm);
  s.PaperBins.clear();
  for (int i = 0; i < names; ++i) {
    const WCHAR *name = nameBuf.data() + static_cast<size_t>(i) * kBinNameLength;
    size_t len = 0;
    while (len < kBinNameLength && name[len]) ++len;
    s.PaperBins.push_back({WString(name, len), static_cast<int32_t>(numberBuf[static_cast<size_t>(i)])});
  }
}

void MeasurePage() {
  TPageMetrics m = ReadPageMetrics(SysPrinter().Handle());
  StorePageMetrics(m);
}

void ApplyFontStyle(int32_t bits) {
  if (!DocumentOpen()) return;
  if (TFont *font = Device().Font()) font->Style = bits & (fsBold | fsItalic | fsUnderline | fsStrikeOut);
}

void ApplyFontSize() {
  if (!DocumentOpen()) return;
  if (TFont *font = Device().Font()) font->SetSize(Session().FontSize);
}

}  // namespace nx
