// A recorded page read in place. Played onto the page canvas, a page is
// recorded a second time: the canvas holds what the player writes around it
// (saved states, the world transform onto the sheet, the attributes GDI
// resets at the start of a metafile, the restores and the deletion of the
// objects the page left) and the page's own records, unchanged apart from
// their device bounds and the object numbers of the canvas's table. For a
// page whose records all come through that way, the interpreter reads the
// canvas's frame (an empty metafile with the page's header, played as the
// page would be) with the page's records spliced in where the player would
// have copied them: the same records in the same order, without the copy.
#include <cstring>
#include <utility>

#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"

namespace nx {

namespace {

// ---- which pages replay record for record ----------------------------------

// The page's object table as the canvas numbers it: a metafile DC gives an
// object the lowest free index when it is first selected, so the indices
// agree when the page was numbered the same way and creates each object
// just before selecting it.
struct PageScan {
  std::vector<bool> used;  // [0] is the metafile itself
  DWORD created = 0;       // the object the last record created, to be selected next
  bool sound = true;
  std::vector<DWORD> left;  // the objects left at the end, ascending

  DWORD LowestFree() const {
    DWORD i = 1;
    while (i < used.size() && used[i]) ++i;
    return i;
  }
  bool Create(DWORD index) {
    if (index != LowestFree() || index >= used.size()) return false;
    used[index] = true;
    created = index;
    return true;
  }
};

// Stock pens, brushes and fonts (palettes select another way).
bool SelectableStock(DWORD index) {
  const DWORD stock = index & ~ENHMETA_STOCK_OBJECT;
  return stock <= DC_PEN && stock != 9 && stock != DEFAULT_PALETTE && GetStockObject(int(stock)) != nullptr;
}

bool SoundFont(const ENHMETARECORD &rec) {
  constexpr size_t kLogFont = offsetof(EMREXTCREATEFONTINDIRECTW, elfw) + sizeof(LOGFONTW);
  if (rec.nSize < kLogFont) return false;
  EMREXTCREATEFONTINDIRECTW e;
  std::memcpy(&e, &rec, kLogFont);
  const LOGFONTW &lf = e.elfw.elfLogFont;
  // The player takes angles modulo a full turn and ends the face name.
  if (lf.lfEscapement <= -3600 || lf.lfEscapement >= 3600 || lf.lfOrientation <= -3600 || lf.lfOrientation >= 3600)
    return false;
  for (WCHAR c : lf.lfFaceName)
    if (c == 0) return true;
  return false;
}

bool Fits(const ENHMETARECORD &rec, uint64_t offset, uint64_t count, uint64_t unit) {
  return offset <= rec.nSize && count * unit <= rec.nSize - offset;
}

// EXTTEXTOUTW as the player draws it again: its string and advances inside
// the record, and no rectangle that the call would not pass on.
bool SoundText(const ENHMETARECORD &rec) {
  if (rec.nSize < sizeof(EMREXTTEXTOUTW)) return false;
  EMREXTTEXTOUTW e;
  std::memcpy(&e, &rec, sizeof e);
  const EMRTEXT &t = e.emrtext;
  if (t.fOptions & ETO_NO_RECT) return false;
  const bool keptRect = t.fOptions & (ETO_OPAQUE | ETO_CLIPPED);
  if (!keptRect && !(t.rcl.left == 0 && t.rcl.top == 0 && t.rcl.right == -1 && t.rcl.bottom == -1)) return false;
  if (!Fits(rec, t.offString, t.nChars, 2)) return false;
  return !t.offDx || Fits(rec, t.offDx, uint64_t(t.nChars) * ((t.fOptions & ETO_PDY) ? 2 : 1), 4);
}

bool SoundObject(PageScan &s, const ENHMETARECORD &rec) {
  const DWORD index = rec.nSize >= 12 ? rec.dParm[0] : 0;
  switch (rec.iType) {
    case EMR_CREATEPEN:
      return rec.nSize >= sizeof(EMRCREATEPEN) && s.Create(index);
    case EMR_CREATEBRUSHINDIRECT: {
      if (rec.nSize < sizeof(EMRCREATEBRUSHINDIRECT)) return false;
      const DWORD style = rec.dParm[1];
      return (style == BS_SOLID || style == BS_NULL || style == BS_HATCHED) && s.Create(index);
    }
    case EMR_EXTCREATEFONTINDIRECTW:
      return SoundFont(rec) && s.Create(index);
    case EMR_SELECTOBJECT:
      if (rec.nSize < 12) return false;
      if (index & ENHMETA_STOCK_OBJECT) return SelectableStock(index);
      return index < s.used.size() && s.used[index];
    case EMR_DELETEOBJECT:
      if (rec.nSize < 12 || index == 0 || index >= s.used.size() || !s.used[index]) return false;
      s.used[index] = false;
      return true;
    default:
      return false;
  }
}

bool SoundRecord(PageScan &s, const ENHMETARECORD &rec) {
  switch (rec.iType) {
    case EMR_EOF:
    case EMR_MOVETOEX:
    case EMR_LINETO:
    case EMR_RECTANGLE:
    case EMR_ELLIPSE:
    case EMR_ROUNDRECT:
    case EMR_POLYLINE16:
    case EMR_POLYGON16:
    case EMR_STRETCHDIBITS:
    case EMR_BITBLT:
    case EMR_SETBKCOLOR:
    case EMR_SETTEXTCOLOR:
    case EMR_SETBKMODE:
    case EMR_SETROP2:
    case EMR_SETPOLYFILLMODE:
    case EMR_SETSTRETCHBLTMODE:
    case EMR_SAVEDC:
      return true;
    case EMR_SETTEXTALIGN:
      return rec.nSize >= 12 && !(rec.dParm[0] & TA_UPDATECP);
    case EMR_EXTTEXTOUTW:
      return SoundText(rec);
    default:
      return SoundObject(s, rec);
  }
}

int CALLBACK ScanRecord(HDC, HANDLETABLE *, const ENHMETARECORD *rec, int, LPARAM data) {
  auto &s = *reinterpret_cast<PageScan *>(data);
  if (rec->iType == EMR_HEADER) return 1;
  const DWORD created = std::exchange(s.created, 0);
  if (created && !(rec->iType == EMR_SELECTOBJECT && rec->nSize >= 12 && rec->dParm[0] == created))
    s.sound = false;
  else if (!SoundRecord(s, *rec))
    s.sound = false;
  return s.sound ? 1 : 0;
}

// ---- the canvas's frame and the splice --------------------------------------

// An empty metafile with the page's header: played onto the canvas it
// leaves what the player writes around the page.
HENHMETAFILE EmptyPage(const ENHMETAHEADER &page) {
  struct {
    ENHMETAHEADER header;
    EMREOF eof;
  } image{};
  image.header = page;
  image.header.nSize = sizeof image.header;
  image.header.nBytes = sizeof image;
  image.header.nRecords = 2;
  image.header.nHandles = 1;
  image.header.nPalEntries = 0;
  image.header.nDescription = image.header.offDescription = 0;
  image.header.cbPixelFormat = image.header.offPixelFormat = image.header.bOpenGL = 0;
  image.eof.emr = {EMR_EOF, sizeof image.eof};
  image.eof.offPalEntries = 16;
  image.eof.nSizeLast = sizeof image.eof;
  return SetEnhMetaFileBits(sizeof image, reinterpret_cast<const BYTE *>(&image));
}

// The frame on the canvas: the header, the prefix up to the player's first
// restore (two world transforms: onto the sheet, then the page's frame onto
// that), that restore, PlayMetafileAt's restore and the end. Anything else
// means the player did not take the page as expected.
struct FrameShape {
  int records = 0, transforms = 0, firstRestore = -1;
  bool sound = true;
};

int CALLBACK ShapeRecord(HDC, HANDLETABLE *, const ENHMETARECORD *rec, int, LPARAM data) {
  auto &f = *reinterpret_cast<FrameShape *>(data);
  const int at = f.records++;
  switch (rec->iType) {
    case EMR_HEADER:
      f.sound = f.sound && at == 0;
      break;
    case EMR_SETWORLDTRANSFORM:
      ++f.transforms;
      [[fallthrough]];
    case EMR_SAVEDC: case EMR_SETTEXTALIGN: case EMR_SETBKCOLOR: case EMR_SETTEXTCOLOR: case EMR_SETROP2:
    case EMR_SETARCDIRECTION: case EMR_SETPOLYFILLMODE: case EMR_SETSTRETCHBLTMODE:
      f.sound = f.sound && f.firstRestore < 0;
      break;
    case EMR_RESTOREDC:
      if (f.firstRestore < 0) f.firstRestore = at;
      else f.sound = f.sound && at == f.firstRestore + 1;
      break;
    case EMR_EOF:
      f.sound = f.sound && f.firstRestore > 0 && at == f.firstRestore + 2;
      break;
    default:
      f.sound = false;
  }
  return 1;
}

struct Splice {
  TgtMetafileProcessor *processor;
  HENHMETAFILE page;
  const std::vector<DWORD> *deletes;
  bool done = false;
};

int CALLBACK PageRecord(HDC, HANDLETABLE *, const ENHMETARECORD *rec, int, LPARAM data) {
  if (rec->iType != EMR_HEADER && rec->iType != EMR_EOF)
    reinterpret_cast<TgtMetafileProcessor *>(data)->ProcessRecord(rec);
  return 1;
}

int CALLBACK SpliceRecord(HDC, HANDLETABLE *, const ENHMETARECORD *rec, int, LPARAM data) {
  auto &s = *reinterpret_cast<Splice *>(data);
  const bool here = !s.done && rec->iType == EMR_RESTOREDC;
  if (here) {
    s.done = true;
    EnumEnhMetaFile(nullptr, s.page, PageRecord, s.processor, nullptr);
  }
  s.processor->ProcessRecord(rec);
  if (here)
    for (DWORD index : *s.deletes) {
      EMRDELETEOBJECT del{{EMR_DELETEOBJECT, sizeof del}, index};
      s.processor->ProcessRecord(reinterpret_cast<const ENHMETARECORD *>(&del));
    }
  return 1;
}

}  // namespace

void TgtCustomDocumentEngine::PlayPageAt(const TgtRect &DestRect, HENHMETAFILE Page) {
  ENHMETAHEADER h{};
  PageScan scan;
  const bool candidate = FIsDocumentStarted && FCanvas && Page && FPagesInPlace && FCanvasFresh &&
                         !FPreferences->FProcessAfterEachPage && GetEnhMetaFileHeader(Page, sizeof h, &h) != 0;
  if (candidate) {
    scan.used.assign(std::max<DWORD>(h.nHandles, 1), false);
    scan.sound = EnumEnhMetaFile(nullptr, Page, ScanRecord, &scan, nullptr) && scan.sound && !scan.created;
  }
  if (!candidate || !scan.sound) {
    PlayMetafileAt(DestRect, Page);
    return;
  }
  FCanvasFresh = false;
  FPendingPage = Page;
  FPendingRect = DestRect;
  FPendingDeletes.clear();
  for (DWORD i = 1; i < scan.used.size(); ++i)
    if (scan.used[i]) FPendingDeletes.push_back(i);
}

HDC TgtCustomDocumentEngine::PageCanvas() {
  PlayPendingPage();
  return FCanvas;
}

// The page waiting to be read in place goes onto the canvas after all.
void TgtCustomDocumentEngine::PlayPendingPage() {
  if (HENHMETAFILE page = std::exchange(FPendingPage, nullptr)) PlayMetafileAt(FPendingRect, page);
}

// Interprets the canvas holding the pending page's frame, the page's
// records read in place. False (the canvas untouched) when the page must be
// played after all: the interpreter would see the canvas through another
// resolution, or the player did not frame the page as expected.
bool TgtCustomDocumentEngine::ProcessPendingPage() {
  ENHMETAHEADER h{};
  const HENHMETAFILE page = FPendingPage;
  const bool sameResolution =
      HasCapability(ckInputRes) || (FInputXRes == gtScreenResolution && FInputYRes == gtScreenResolution);
  if (!sameResolution || !GetEnhMetaFileHeader(page, sizeof h, &h)) return false;
  const HENHMETAFILE frame = EmptyPage(h);
  if (!frame) return false;
  FPendingPage = nullptr;
  PlayMetafileAt(FPendingRect, frame);
  DeleteEnhMetaFile(frame);
  CloseCanvas();
  FrameShape shape;
  if (FMetafile) EnumEnhMetaFile(nullptr, FMetafile, ShapeRecord, &shape, nullptr);
  if (!FMetafile || !shape.sound || shape.transforms != 2) {
    // A fresh canvas takes the page itself.
    OpenCanvas();
    FPendingPage = page;
    return false;
  }
  if (!FCurrentDocumentItemList) return true;
  TgtMetafileProcessor processor(*this);
  processor.SetCombineCharsToSentence(true);
  processor.BeginRecords(FBandRect.Left, FBandRect.Top);
  Splice splice{&processor, page, &FPendingDeletes};
  EnumEnhMetaFile(nullptr, FMetafile, SpliceRecord, &splice, nullptr);
  processor.EndRecords();
  return true;
}

}  // namespace nx
