#include "platform/spool/PrinterModel.h"

#include <algorithm>
#include <cstddef>

#include "platform/spool/Papers.h"
#include "platform/kernel/Wide.h"

namespace nx::spool {

const Paper *PrinterModel::FindPaper(int number) const {
  for (const Paper &p : papers)
    if (p.number == number) return &p;
  return nullptr;
}

const Bin *PrinterModel::FindBin(int number) const {
  for (const Bin &b : bins)
    if (b.number == number) return &b;
  return nullptr;
}

std::vector<PrinterEntry> ListPrinters(DWORD *refused) {
  std::vector<PrinterEntry> list = ListCupsPrinters();
  for (const PrinterModel &m : LoadVirtualPrinters(refused)) {
    bool taken = std::any_of(list.begin(), list.end(), [&](const PrinterEntry &e) {
      return wide::EqualsIgnoreCase(e.name, m.name);
    });
    if (!taken) list.push_back({PrinterKind::Virtual, m.name, m.driver, m.port, false});
  }
  return list;
}

int DefaultPrinterIndex(const std::vector<PrinterEntry> &list) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].isDefault) return (int)i;
  return list.empty() ? -1 : 0;
}

std::unique_ptr<PrinterModel> LoadPrinter(const std::u16string &name) {
  if (name.empty()) return nullptr;
  if (auto m = LoadCupsPrinter(name)) return m;
  for (PrinterModel &m : LoadVirtualPrinters())
    if (wide::EqualsIgnoreCase(m.name, name)) return std::make_unique<PrinterModel>(std::move(m));
  return nullptr;
}

// ---------------------------------------------------------------------------
// Device modes.

namespace {

DWORD SupportedFields(const PrinterModel &m) {
  DWORD f = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES |
            DM_DEFAULTSOURCE | DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLLATE | DM_COLOR;
  if (m.duplex) f |= DM_DUPLEX;
  return f;
}

// True when the caller's device mode holds `field` within its dmSize and
// lists it in dmFields.
bool Has(const DEVMODEW *in, DWORD flag, size_t offset, size_t size) {
  return (in->dmFields & flag) && offset + size <= in->dmSize;
}
#define NX_HAS(in, flag, member) Has(in, flag, offsetof(DEVMODEW, member), sizeof((in)->member))

void SetPaper(const PrinterModel &m, DEVMODEW *dm, const Paper &p) {
  dm->dmPaperSize = (short)p.number;
  dm->dmPaperWidth = (short)std::min(p.width, 32767);
  dm->dmPaperLength = (short)std::min(p.length, 32767);
  wide::CopyPadded(dm->dmFormName, CCHFORMNAME, p.name);
}

void MergePaper(const PrinterModel &m, const DEVMODEW *in, DEVMODEW *out) {
  bool hasSize = NX_HAS(in, DM_PAPERSIZE, dmPaperSize);
  bool hasW = NX_HAS(in, DM_PAPERWIDTH, dmPaperWidth) && in->dmPaperWidth > 0;
  bool hasL = NX_HAS(in, DM_PAPERLENGTH, dmPaperLength) && in->dmPaperLength > 0;
  if (hasSize) {
    if (const Paper *p = m.FindPaper(in->dmPaperSize)) {
      SetPaper(m, out, *p);
      return;
    }
  }
  // A size of the caller's own: DMPAPER_USER, or width and length alone.
  if (hasW && hasL && (!hasSize || in->dmPaperSize == DMPAPER_USER || in->dmPaperSize == 0)) {
    out->dmPaperSize = DMPAPER_USER;
    out->dmPaperWidth = in->dmPaperWidth;
    out->dmPaperLength = in->dmPaperLength;
    wide::CopyPadded(out->dmFormName, CCHFORMNAME, u"Custom");
  }
}

}  // namespace

DEVMODEW DefaultDevMode(const PrinterModel &m) {
  DEVMODEW dm{};
  wide::CopyPadded(dm.dmDeviceName, CCHDEVICENAME, m.name);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmDriverVersion = 0x0100;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = 0;
  dm.dmFields = SupportedFields(m);
  dm.dmOrientation = (short)m.defOrientation;
  const Paper *p = m.FindPaper(m.defPaper);
  if (!p && !m.papers.empty()) p = &m.papers.front();
  if (p) SetPaper(m, &dm, *p);
  dm.dmScale = 100;
  dm.dmCopies = 1;
  dm.dmDefaultSource = (short)(m.FindBin(m.defBin) ? m.defBin
                                                  : (m.bins.empty() ? 0 : m.bins.front().number));
  dm.dmPrintQuality = (short)m.dpiX;
  dm.dmYResolution = (short)m.dpiY;
  dm.dmColor = m.color ? DMCOLOR_COLOR : DMCOLOR_MONOCHROME;
  dm.dmDuplex = (short)(m.duplex ? m.defDuplex : DMDUP_SIMPLEX);
  dm.dmCollate = DMCOLLATE_TRUE;
  return dm;
}

bool MergeDevMode(const PrinterModel &m, const DEVMODEW *in, DEVMODEW *out) {
  *out = DefaultDevMode(m);
  if (!in) return true;
  if (in->dmSize < offsetof(DEVMODEW, dmFields) + sizeof(DWORD)) return false;
  if (NX_HAS(in, DM_ORIENTATION, dmOrientation) &&
      (in->dmOrientation == DMORIENT_PORTRAIT || in->dmOrientation == DMORIENT_LANDSCAPE))
    out->dmOrientation = in->dmOrientation;
  MergePaper(m, in, out);
  if (NX_HAS(in, DM_DEFAULTSOURCE, dmDefaultSource) && m.FindBin(in->dmDefaultSource))
    out->dmDefaultSource = in->dmDefaultSource;
  if (NX_HAS(in, DM_COPIES, dmCopies))
    out->dmCopies = (short)std::clamp<int>(in->dmCopies, 1, std::max(1, m.maxCopies));
  if (NX_HAS(in, DM_DUPLEX, dmDuplex) && in->dmDuplex >= DMDUP_SIMPLEX &&
      in->dmDuplex <= DMDUP_HORIZONTAL)
    out->dmDuplex = m.duplex ? in->dmDuplex : (short)DMDUP_SIMPLEX;
  if (NX_HAS(in, DM_COLLATE, dmCollate) &&
      (in->dmCollate == DMCOLLATE_FALSE || in->dmCollate == DMCOLLATE_TRUE))
    out->dmCollate = in->dmCollate;
  if (NX_HAS(in, DM_COLOR, dmColor) && m.color &&
      (in->dmColor == DMCOLOR_MONOCHROME || in->dmColor == DMCOLOR_COLOR))
    out->dmColor = in->dmColor;
  return true;
}

PageGeometry GeometryFor(const PrinterModel &m, const DEVMODEW &dm) {
  PageGeometry g;
  g.dpiX = m.dpiX;
  g.dpiY = m.dpiY;
  const Paper *p = m.FindPaper(dm.dmPaperSize);
  Paper custom;
  if (!p) {
    // The caller's own size (DMPAPER_USER) with the default paper's margins.
    const Paper *base = m.FindPaper(m.defPaper);
    if (!base && !m.papers.empty()) base = &m.papers.front();
    if (base) custom = *base;
    if (dm.dmPaperWidth > 0 && dm.dmPaperLength > 0) {
      custom.number = dm.dmPaperSize;
      custom.width = dm.dmPaperWidth;
      custom.length = dm.dmPaperLength;
      custom.pwg = CustomPwgName(custom.width, custom.length);
    }
    p = &custom;
  }
  g.paperNumber = p->number;
  g.paperWidth = p->width;
  g.paperLength = p->length;
  g.pwg = p->pwg;
  // Whole device pixels of the sheet, cut as GDI printer drivers cut them
  // (A4 at 600 dpi is 4960 pixels wide).
  int w = (int)((int64_t)p->width * m.dpiX / 254);
  int h = (int)((int64_t)p->length * m.dpiY / 254);
  int l = p->left, t = p->top, r = p->right, b = p->bottom;
  g.landscape = dm.dmOrientation == DMORIENT_LANDSCAPE;
  if (g.landscape) {
    // The sheet turns 90 degrees counter-clockwise: the portrait left edge
    // becomes the bottom.
    std::swap(w, h);
    int nl = t, nt = r, nr = b, nb = l;
    l = nl, t = nt, r = nr, b = nb;
    std::swap(g.dpiX, g.dpiY);
  }
  g.physWidth = w;
  g.physHeight = h;
  g.offsetX = l;
  g.offsetY = t;
  g.horzRes = std::max(1, w - l - r);
  g.vertRes = std::max(1, h - t - b);
  g.horzSizeMm = (int)((int64_t)g.horzRes * 254 / g.dpiX + 5) / 10;
  g.vertSizeMm = (int)((int64_t)g.vertRes * 254 / g.dpiY + 5) / 10;
  return g;
}

}  // namespace nx::spool
