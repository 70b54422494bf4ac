// CUPS destinations as printers: papers from media-supported (sizes and
// margins from the media database), bins from media-source-supported,
// duplex from sides-supported.
#include <cups/cups.h>

#include <cmath>
#include <cstring>

#include "platform/spool/CupsConnection.h"
#include "platform/spool/CupsModelCache.h"
#include "platform/spool/Papers.h"
#include "platform/spool/PrinterModel.h"
#include "platform/kernel/Wide.h"

namespace nx::spool {

CupsConnection::CupsConnection() {
  http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000,
                       nullptr);
}

CupsConnection::~CupsConnection() {
  if (http_) httpClose(http_);
}

CupsDest::CupsDest(CupsConnection &c, const std::string &name) {
  if (!c.ok() || name.empty()) return;
  dest_ = cupsGetNamedDest(c.http(), name.c_str(), nullptr);
  if (dest_) info_ = cupsCopyDestInfo(c.http(), dest_);
}

CupsDest::~CupsDest() {
  if (info_) cupsFreeDestInfo(info_);
  if (dest_) cupsFreeDests(1, dest_);
}

namespace {

std::u16string DriverOf(const cups_dest_t *d) {
  const char *mm = cupsGetOption("printer-make-and-model", d->num_options, d->options);
  return wide::FromUtf8(mm && *mm ? mm : "CUPS");
}

std::u16string PortOf(const cups_dest_t *d) {
  const char *uri = cupsGetOption("device-uri", d->num_options, d->options);
  if (!uri || !*uri) uri = cupsGetOption("printer-uri-supported", d->num_options, d->options);
  return wide::FromUtf8(uri ? uri : "");
}

// "tray-1" -> "Tray 1", "small-photo" -> "Small Photo".
std::u16string KeywordName(const std::string &kw) {
  std::string s;
  bool up = true;
  for (char c : kw) {
    if (c == '-' || c == '_') {
      s += ' ';
      up = true;
    } else {
      s += up && c >= 'a' && c <= 'z' ? (char)(c - 32) : c;
      up = false;
    }
  }
  return wide::FromUtf8(s);
}

int ToPixels(int hundredthsMm, int dpi) { return (int)std::lround(hundredthsMm * dpi / 2540.0); }

// A paper of media-supported: the table's number and name when it knows the
// size, otherwise a number from 257 up and a name made from the PWG name.
Paper MakePaper(CupsConnection &c, CupsDest &d, const std::string &media, int dpiX, int dpiY,
                int *nextUser) {
  Paper p;
  p.pwg = media;
  cups_size_t sz{};
  bool known = cupsGetDestMediaByName(c.http(), d.dest(), d.info(), media.c_str(),
                                      CUPS_MEDIA_FLAGS_DEFAULT, &sz);
  if (!known) {
    if (pwg_media_t *pm = pwgMediaForPWG(media.c_str())) {
      sz.width = pm->width;
      sz.length = pm->length;
      known = true;
    }
  }
  if (const PaperDef *def = PaperByPwg(media)) {
    p.number = def->number;
    p.name = wide::FromUtf8(def->name);
    p.width = def->width;
    p.length = def->length;
  } else {
    p.number = (*nextUser)++;
    pwg_media_t *pm = pwgMediaForPWG(media.c_str());
    std::string cls = media.substr(0, media.rfind('_'));
    cls = cls.substr(cls.find('_') == std::string::npos ? 0 : cls.find('_') + 1);
    p.name = pm && pm->ppd ? wide::FromUtf8(pm->ppd) : KeywordName(cls.empty() ? media : cls);
    p.width = (sz.width + 5) / 10;
    p.length = (sz.length + 5) / 10;
  }
  if (known) {
    p.left = ToPixels(sz.left, dpiX);
    p.right = ToPixels(sz.right, dpiX);
    p.top = ToPixels(sz.top, dpiY);
    p.bottom = ToPixels(sz.bottom, dpiY);
  }
  return p;
}

void ReadResolution(CupsConnection &c, CupsDest &d, PrinterModel &m) {
  ipp_attribute_t *a = cupsFindDestDefault(c.http(), d.dest(), d.info(), "printer-resolution");
  if (!a) a = cupsFindDestSupported(c.http(), d.dest(), d.info(), "printer-resolution");
  if (!a || ippGetValueTag(a) != IPP_TAG_RESOLUTION) return;
  int y = 0;
  ipp_res_t units = IPP_RES_PER_INCH;
  int x = ippGetResolution(a, 0, &y, &units);
  if (units == IPP_RES_PER_CM) x = (int)std::lround(x * 2.54), y = (int)std::lround(y * 2.54);
  if (x >= 72 && y >= 72 && x <= 4800 && y <= 4800) m.dpiX = x, m.dpiY = y;
}

void ReadPapers(CupsConnection &c, CupsDest &d, PrinterModel &m) {
  int nextUser = DMPAPER_USER + 1;
  ipp_attribute_t *a = cupsFindDestSupported(c.http(), d.dest(), d.info(), "media");
  for (int i = 0, n = a ? ippGetCount(a) : 0; i < n; ++i) {
    const char *media = ippGetString(a, i, nullptr);
    if (!media) continue;
    Paper p = MakePaper(c, d, media, m.dpiX, m.dpiY, &nextUser);
    if (!m.FindPaper(p.number)) m.papers.push_back(std::move(p));
  }
  ipp_attribute_t *def = cupsFindDestDefault(c.http(), d.dest(), d.info(), "media");
  const char *dm = def ? ippGetString(def, 0, nullptr) : nullptr;
  m.defPaper = m.papers.empty() ? 0 : m.papers.front().number;
  for (const Paper &p : m.papers)
    if (dm && p.pwg == dm) m.defPaper = p.number;
}

void ReadBins(CupsConnection &c, CupsDest &d, PrinterModel &m) {
  int nextUser = DMBIN_USER + 1;
  ipp_attribute_t *a = cupsFindDestSupported(c.http(), d.dest(), d.info(), "media-source");
  for (int i = 0, n = a ? ippGetCount(a) : 0; i < n; ++i) {
    const char *kw = ippGetString(a, i, nullptr);
    if (!kw) continue;
    Bin b;
    b.keyword = kw;
    if (const BinDef *def = BinByPwg(kw)) {
      b.number = def->number;
      b.name = wide::FromUtf8(def->name);
    } else {
      b.number = nextUser++;
      b.name = KeywordName(kw);
    }
    if (!m.FindBin(b.number)) m.bins.push_back(std::move(b));
  }
  ipp_attribute_t *def = cupsFindDestDefault(c.http(), d.dest(), d.info(), "media-source");
  const char *kw = def ? ippGetString(def, 0, nullptr) : nullptr;
  m.defBin = m.bins.empty() ? 0 : m.bins.front().number;
  for (const Bin &b : m.bins)
    if (kw && b.keyword == kw) m.defBin = b.number;
}

bool HasKeyword(ipp_attribute_t *a, const char *kw) {
  for (int i = 0, n = a ? ippGetCount(a) : 0; i < n; ++i) {
    const char *s = ippGetString(a, i, nullptr);
    if (s && std::strcmp(s, kw) == 0) return true;
  }
  return false;
}

void ReadFinishing(CupsConnection &c, CupsDest &d, PrinterModel &m) {
  http_t *h = c.http();
  m.duplex = HasKeyword(cupsFindDestSupported(h, d.dest(), d.info(), "sides"),
                        "two-sided-long-edge");
  ipp_attribute_t *sd = cupsFindDestDefault(h, d.dest(), d.info(), "sides");
  if (m.duplex && HasKeyword(sd, "two-sided-long-edge")) m.defDuplex = DMDUP_VERTICAL;
  if (m.duplex && HasKeyword(sd, "two-sided-short-edge")) m.defDuplex = DMDUP_HORIZONTAL;
  m.color = HasKeyword(cupsFindDestSupported(h, d.dest(), d.info(), "print-color-mode"), "color");
  ipp_attribute_t *cp = cupsFindDestSupported(h, d.dest(), d.info(), "copies");
  int upper = 1;
  if (cp && ippGetValueTag(cp) == IPP_TAG_RANGE) ippGetRange(cp, 0, &upper);
  m.maxCopies = std::max(1, std::min(upper, 9999));
  ipp_attribute_t *o = cupsFindDestDefault(h, d.dest(), d.info(), "orientation-requested");
  if (o && ippGetValueTag(o) == IPP_TAG_ENUM && ippGetInteger(o, 0) == IPP_ORIENT_LANDSCAPE)
    m.defOrientation = DMORIENT_LANDSCAPE;
}

}  // namespace

namespace {

std::vector<PrinterEntry> ReadCupsList(CupsConnection &c) {
  std::vector<PrinterEntry> list;
  cups_dest_t *dests = nullptr;
  int n = cupsGetDests2(c.http(), &dests);
  for (int i = 0; i < n; ++i) {
    const cups_dest_t *d = &dests[i];
    if (d->instance) continue;  // lpoptions instances share their queue's name
    list.push_back({PrinterKind::Cups, wide::FromUtf8(d->name), DriverOf(d), PortOf(d),
                    d->is_default != 0});
  }
  cupsFreeDests(n, dests);
  return list;
}

}  // namespace

std::vector<PrinterEntry> ListCupsPrinters() {
  CupsConnection c;
  if (!c.ok()) return {};
  return CachedCupsList(c, [&] { return ReadCupsList(c); });
}

namespace {

std::unique_ptr<PrinterModel> ReadCupsPrinter(CupsConnection &c, const std::string &queue) {
  CupsDest d(c, queue);
  if (!d.ok()) return nullptr;
  auto m = std::make_unique<PrinterModel>();
  m->kind = PrinterKind::Cups;
  m->cupsName = d.dest()->name;
  m->name = wide::FromUtf8(d.dest()->name);
  m->driver = DriverOf(d.dest());
  m->port = PortOf(d.dest());
  ReadResolution(c, d, *m);
  ReadPapers(c, d, *m);
  ReadBins(c, d, *m);
  ReadFinishing(c, d, *m);
  return m;
}

}  // namespace

std::unique_ptr<PrinterModel> LoadCupsPrinter(const std::u16string &name) {
  CupsConnection c;
  if (!c.ok() || name.empty()) return nullptr;
  const std::string queue = wide::ToUtf8(name);
  return CachedCupsModel(c, queue, [&] { return ReadCupsPrinter(c, queue); });
}

}  // namespace nx::spool
