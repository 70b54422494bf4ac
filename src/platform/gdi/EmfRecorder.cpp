// Metafile recording: the record buffer, the metafile's object table,
// creation records, metafile DCs (CreateEnhMetaFileW / CloseEnhMetaFile)
// and the structural check every loaded metafile goes through.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/kernel/Wide.h"
#include "platform/gdi/Dib.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

Dc *NewDc(DcType type, HDC *out);
void DestroyDc(HDC hdc);

// ---------------------------------------------------------------------------
// The record buffer.

namespace {

// The size of the metafile closed last: the next one (the next page of a
// document, as a rule) starts with room for about as much, so that its
// records are not copied as the buffer grows. Held between 4 KiB and 4 MiB.
std::atomic<size_t> g_lastSize{0};

size_t ReserveHint() {
  const size_t last = g_lastSize.load(std::memory_order_relaxed);
  return std::clamp<size_t>(last + last / 32 + 256, 4096, size_t{4} << 20);
}

// Fresh room is faulted in one page at a time as records land in it. When
// the last metafile was large, one call that makes as much room present at
// once (up to 256 KiB) is cheaper: it saved about 5 % of the recording time
// of the PDF benchmark's 27 KiB pages. Small metafiles (often recorded in
// reused memory) skip the call, and the room beyond the last size is left
// to fault as it is used, so no memory is made present in vain. Nothing is
// written; where the system lacks the call the pages fault as before.
void Prefault(uint8_t *p, size_t capacity) {
#ifdef MADV_POPULATE_WRITE
  const size_t last = g_lastSize.load(std::memory_order_relaxed);
  if (last < (16 << 10)) return;
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const size_t n = std::min({capacity, last, size_t{256} << 10});
  const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)p, (void)capacity;
#endif
}

}  // namespace

EmfRecorder::EmfRecorder() {
  buf_.reserve(ReserveHint());
  Prefault(buf_.data(), buf_.capacity());
}

uint8_t *EmfRecorder::Append(DWORD type, size_t size) {
  size = (std::max<size_t>(size, sizeof(EMR)) + 3) & ~size_t{3};
  size_t at = buf_.size();
  if (buf_.capacity() < at + size) buf_.reserve(std::max(buf_.capacity() * 2, at + size));
  buf_.resize(at + size);  // value-initialised: zero bytes
  uint8_t *rec = buf_.data() + at;
  EMR head{type, (DWORD)size};
  std::memcpy(rec, &head, sizeof head);
  ++records_;
  return rec;
}

void EmfRecorder::AddBounds(const RECTL &r) {
  RECTL n{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
  if (bounds_.right < bounds_.left) {
    bounds_ = n;
    return;
  }
  bounds_.left = std::min(bounds_.left, n.left);
  bounds_.top = std::min(bounds_.top, n.top);
  bounds_.right = std::max(bounds_.right, n.right);
  bounds_.bottom = std::max(bounds_.bottom, n.bottom);
}

DWORD EmfRecorder::IndexOf(HGDIOBJ h) const {
  if (!h) return 0;
  for (size_t i = 1; i < table_.size(); ++i)
    if (table_[i] == h) return (DWORD)i;
  return 0;
}

DWORD EmfRecorder::Allocate(HGDIOBJ h) {
  size_t i = 1;
  while (i < table_.size() && table_[i]) ++i;
  if (i == table_.size()) table_.push_back(nullptr);
  table_[i] = h;
  maxHandles_ = std::max(maxHandles_, i + 1);
  return (DWORD)i;
}

void EmfRecorder::Free(DWORD index) {
  if (index > 0 && index < table_.size()) table_[index] = nullptr;
}

// ---------------------------------------------------------------------------
// Creation records.

namespace {

void RecordPen(EmfRecorder &r, DWORD idx, const PenObj &p) {
  if (!p.ext) {
    auto *rec = r.Add<EMRCREATEPEN>(EMR_CREATEPEN);
    rec->ihPen = idx;
    rec->lopn.lopnStyle = p.logStyle;
    rec->lopn.lopnWidth = {p.width, 0};
    rec->lopn.lopnColor = p.color;
    return;
  }
  size_t entries = p.userStyle.size();
  size_t head = sizeof(EMREXTCREATEPEN) - sizeof(DWORD) + 4 * entries;
  // A pattern pen carries its DIB after the style entries: BS_PATTERN for a
  // monochrome one, else BS_DIBPATTERNPT with the colour usage as colour.
  DibView v;
  bool pattern = !p.dib.empty() && ParseDibInfo(p.dib.data(), p.dib.size(), p.dibUsage, &v);
  size_t infoSize = pattern ? std::min(v.infoSize, p.dib.size()) : 0;
  auto *rec = r.Add<EMREXTCREATEPEN>(EMR_EXTCREATEPEN, head + (pattern ? p.dib.size() : 0));
  rec->ihPen = idx;
  rec->elp.elpPenStyle = p.logStyle;
  rec->elp.elpWidth = (DWORD)p.width;
  rec->elp.elpBrushStyle = p.brushStyle;
  rec->elp.elpColor = p.color;
  if (pattern) {
    rec->offBmi = (DWORD)head;
    rec->cbBmi = (DWORD)infoSize;
    rec->offBits = (DWORD)(head + infoSize);
    rec->cbBits = (DWORD)(p.dib.size() - infoSize);
    rec->elp.elpBrushStyle = p.mono ? BS_PATTERN : BS_DIBPATTERNPT;
    rec->elp.elpColor = p.mono ? 0 : p.dibUsage;
    std::memcpy(reinterpret_cast<uint8_t *>(rec) + head, p.dib.data(), p.dib.size());
  }
  rec->elp.elpHatch = p.hatch;
  rec->elp.elpNumEntries = (DWORD)entries;
  if (entries)
    std::memcpy(reinterpret_cast<uint8_t *>(rec) + offsetof(EMREXTCREATEPEN, elp.elpStyleEntry),
                p.userStyle.data(), 4 * entries);
}

// The packed DIB of a pattern brush: header and colours first, then bits.
void RecordPatternBrush(EmfRecorder &r, DWORD idx, const BrushObj &b) {
  size_t total = b.dib.size();
  DibView v;
  if (!ParseDibInfo(b.dib.data(), total, b.usage, &v)) v.infoSize = total;
  size_t infoSize = std::min(v.infoSize, total);
  size_t bitsSize = total - infoSize;
  // Only a monochrome bitmap's brush takes the DC's colours; a 1-bpp DIB
  // pattern keeps its own colour table.
  DWORD type = b.mono ? EMR_CREATEMONOBRUSH : EMR_CREATEDIBPATTERNBRUSHPT;
  auto *rec = reinterpret_cast<EMRCREATEDIBPATTERNBRUSHPT *>(
      r.Append(type, sizeof(EMRCREATEDIBPATTERNBRUSHPT) + ((total + 3) & ~size_t{3})));
  rec->ihBrush = idx;
  rec->iUsage = b.usage;
  rec->offBmi = sizeof(EMRCREATEDIBPATTERNBRUSHPT);
  rec->cbBmi = (DWORD)infoSize;
  rec->offBits = (DWORD)(sizeof(EMRCREATEDIBPATTERNBRUSHPT) + infoSize);
  rec->cbBits = (DWORD)bitsSize;
  std::memcpy(reinterpret_cast<uint8_t *>(rec) + rec->offBmi, b.dib.data(), total);
}

void RecordBrush(EmfRecorder &r, DWORD idx, const BrushObj &b) {
  if (b.style == BS_DIBPATTERN || b.style == BS_DIBPATTERNPT || b.style == BS_PATTERN) {
    if (!b.dib.empty()) return RecordPatternBrush(r, idx, b);
  }
  auto *rec = r.Add<EMRCREATEBRUSHINDIRECT>(EMR_CREATEBRUSHINDIRECT);
  rec->ihBrush = idx;
  rec->lb.lbStyle = b.style;
  rec->lb.lbColor = b.color;
  rec->lb.lbHatch = b.hatch;
}

void RecordFont(EmfRecorder &r, DWORD idx, const FontObj &f) {
  auto *rec = r.Add<EMREXTCREATEFONTINDIRECTW>(EMR_EXTCREATEFONTINDIRECTW);
  rec->ihFont = idx;
  rec->elfw.elfLogFont = f.lf;
}

void RecordPalette(EmfRecorder &r, DWORD idx, const PaletteObj &p) {
  size_t n = p.entries.size();
  size_t size = sizeof(EMRCREATEPALETTE) + (n ? n - 1 : 0) * sizeof(PALETTEENTRY);
  auto *rec = r.Add<EMRCREATEPALETTE>(EMR_CREATEPALETTE, size);
  rec->ihPal = idx;
  rec->lgpl.palVersion = 0x300;
  rec->lgpl.palNumEntries = (WORD)n;
  if (n)
    std::memcpy(reinterpret_cast<uint8_t *>(rec) + offsetof(EMRCREATEPALETTE, lgpl.palPalEntry),
                p.entries.data(), n * sizeof(PALETTEENTRY));
}

}  // namespace

DWORD RecordObject(Dc *dc, HGDIOBJ h) {
  GdiObject *o = LookupObject(h);
  if (!dc || !dc->rec || !o) return 0;
  if (o->stock && o->stockIndex >= 0) return 0x80000000u | (DWORD)o->stockIndex;
  EmfRecorder &r = *dc->rec;
  if (DWORD idx = r.IndexOf(h)) return idx;
  DWORD idx = r.Allocate(h);
  switch (o->kind) {
    case Kind::Pen:
    case Kind::ExtPen:
      RecordPen(r, idx, *static_cast<PenObj *>(o));
      break;
    case Kind::Brush:
      RecordBrush(r, idx, *static_cast<BrushObj *>(o));
      break;
    case Kind::Font:
      RecordFont(r, idx, *static_cast<FontObj *>(o));
      break;
    case Kind::Palette:
      RecordPalette(r, idx, *static_cast<PaletteObj *>(o));
      break;
    default:
      r.Free(idx);
      return 0;
  }
  return idx;
}

RECTL DeviceBox(const Dc &dc, const POINT *pts, size_t n) {
  Affine m = LogicalToDevice(dc);
  double l = 0, t = 0, r = -1, b = -1;
  for (size_t i = 0; i < n; ++i) {
    double x, y;
    m.Apply(pts[i].x, pts[i].y, &x, &y);
    if (i == 0) {
      l = r = x;
      t = b = y;
    } else {
      l = std::min(l, x), r = std::max(r, x);
      t = std::min(t, y), b = std::max(b, y);
    }
  }
  return {ClampToLong(std::floor(l)), ClampToLong(std::floor(t)), ClampToLong(std::ceil(r)),
          ClampToLong(std::ceil(b))};
}

// ---------------------------------------------------------------------------
// Structural check of a metafile image.

bool ValidateEmf(const uint8_t *data, size_t size, const char **why) {
  auto fail = [why](const char *w) {
    if (why) *why = w;
    return false;
  };
  // The oldest header form ends after szlMillimeters.
  constexpr size_t kMinHeader = offsetof(ENHMETAHEADER, cbPixelFormat);
  if (!data || size < kMinHeader) return fail("too short for a metafile header");
  ENHMETAHEADER h{};
  std::memcpy(&h, data, kMinHeader);
  if (h.iType != EMR_HEADER) return fail("the first record is not a metafile header");
  if (h.dSignature != ENHMETA_SIGNATURE) return fail("the header signature is not \" EMF\"");
  if (h.nSize < kMinHeader || h.nSize % 4 || h.nSize > size)
    return fail("the header record size is wrong");
  if (h.nBytes % 4 || h.nBytes < h.nSize) return fail("nBytes is not a valid size");
  if (h.nBytes > size) return fail("nBytes reaches past the end of the data");
  if (h.nHandles == 0) return fail("nHandles is 0");
  size_t at = h.nSize;
  while (at + sizeof(EMR) <= h.nBytes) {
    EMR e;
    std::memcpy(&e, data + at, sizeof e);
    if (e.nSize < sizeof(EMR) || e.nSize % 4) return fail("a record size is not a multiple of 4");
    if (e.nSize > h.nBytes - at) return fail("a record reaches past nBytes");
    at += e.nSize;
    if (e.iType == EMR_EOF) {
      if (at != h.nBytes) return fail("records follow the end-of-file record");
      return true;
    }
    if (e.iType == EMR_HEADER) return fail("a second metafile header");
  }
  return fail("no end-of-file record");
}

// ---------------------------------------------------------------------------
// Metafile DCs.

namespace {

// The description: "App\0Title\0\0", counted up to and including the
// double NUL (or a single string with its NUL).
size_t DescriptionUnits(LPCWSTR d) {
  if (!d) return 0;
  size_t n = 0;
  while (d[n] || d[n + 1]) ++n;
  return n + 2;
}

RECTL FrameFromBounds(const EmfRecorder &r, const DeviceCaps &c) {
  const RECTL &b = r.Bounds();
  if (b.right < b.left || c.horzRes <= 0 || c.vertRes <= 0) return {0, 0, 0, 0};
  auto sx = [&](LONG v) { return (LONG)std::lround(v * 100.0 * c.horzSize / c.horzRes); };
  auto sy = [&](LONG v) { return (LONG)std::lround(v * 100.0 * c.vertSize / c.vertRes); };
  return {sx(b.left), sy(b.top), sx(b.right), sy(b.bottom)};
}

void FillHeader(Dc *dc) {
  EmfRecorder &r = *dc->rec;
  auto *h = reinterpret_cast<ENHMETAHEADER *>(r.Bytes().data());
  const DeviceCaps &c = dc->caps;
  h->rclBounds = r.Bounds();
  h->rclFrame = r.haveFrame ? r.frame : FrameFromBounds(r, c);
  h->dSignature = ENHMETA_SIGNATURE;
  h->nVersion = 0x10000;
  h->nBytes = (DWORD)r.Bytes().size();
  h->nRecords = r.Records();
  h->nHandles = r.HandleCount();
  h->szlDevice = {c.horzRes, c.vertRes};
  h->szlMillimeters = {c.horzSize, c.vertSize};
  h->szlMicrometers = {c.horzSize * 1000, c.vertSize * 1000};
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

HENHMETAFILE MakeEnhMetaFile(std::vector<uint8_t> bytes) {
  auto obj = std::make_unique<EnhMetaFileObj>();
  obj->bytes = std::move(bytes);
  return (HENHMETAFILE)InsertObject(std::move(obj));
}

}  // namespace nx::gdi

using namespace nx::gdi;

HDC WINAPI CreateEnhMetaFileW(HDC hdcRef, LPCWSTR lpFilename, const RECT *lprc, LPCWSTR lpDesc) {
  Dc *ref = nullptr;
  if (hdcRef && !(ref = DcFromHandle(hdcRef))) return nullptr;
  std::string path = lpFilename ? nx::wide::FilePath(lpFilename) : std::string();
  if (!path.empty()) {
    // GDI creates the file at once: a name that cannot be written fails here.
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return nullptr;
    }
    std::fclose(f);
  }
  HDC h = nullptr;
  Dc *dc = NewDc(DcType::Metafile, &h);
  if (!dc) return nullptr;
  dc->caps = ref ? ref->caps : ScreenCaps();
  dc->rec = std::make_unique<EmfRecorder>();
  EmfRecorder &r = *dc->rec;
  r.fileName = path;
  if (lprc) {
    r.haveFrame = true;
    r.frame = {std::min(lprc->left, lprc->right), std::min(lprc->top, lprc->bottom),
               std::max(lprc->left, lprc->right), std::max(lprc->top, lprc->bottom)};
  }
  size_t units = DescriptionUnits(lpDesc);
  size_t descBytes = (units * 2 + 3) & ~size_t{3};
  uint8_t *head = r.Append(EMR_HEADER, sizeof(ENHMETAHEADER) + descBytes);
  auto *hdr = reinterpret_cast<ENHMETAHEADER *>(head);
  if (units) {
    hdr->nDescription = (DWORD)units;
    hdr->offDescription = sizeof(ENHMETAHEADER);
    std::memcpy(head + sizeof(ENHMETAHEADER), lpDesc, units * 2);
  }
  r.SetHeaderSize(sizeof(ENHMETAHEADER) + descBytes);
  return h;
}

HENHMETAFILE WINAPI CloseEnhMetaFile(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !dc->IsMetafile() || !dc->rec) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  EmfRecorder &r = *dc->rec;
  auto *eof = r.Add<EMREOF>(EMR_EOF);
  eof->offPalEntries = 16;
  eof->nSizeLast = sizeof(EMREOF);
  FillHeader(dc);
  std::vector<uint8_t> bytes = std::move(r.Bytes());
  g_lastSize.store(bytes.size(), std::memory_order_relaxed);
  // Documents hold many pages: a finished one keeps little room to grow
  // (at most an eighth of its size, which the reserve hint leaves), else
  // it is copied into a buffer of its size.
  if (bytes.capacity() - bytes.size() > bytes.size() / 8) bytes.shrink_to_fit();
  std::string path = r.fileName;
  DestroyDc(hdc);
  if (!path.empty() && !WriteFile(path, bytes)) {
    SetLastError(ERROR_WRITE_FAULT);
    return nullptr;
  }
  return MakeEnhMetaFile(std::move(bytes));
}

BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE hmf) {
  auto *m = Lookup<EnhMetaFileObj>(hmf, Kind::EnhMetaFile);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  KeepWalkedBytes(hmf, m->bytes);  // an enumeration may still be reading them
  RemoveObject(hmf);
  return TRUE;
}
