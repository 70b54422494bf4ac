// Playing metafiles: PlayEnhMetaFile and the record dispatcher
// PlayEnhMetaFileRecord, with the state, coordinate-space and object
// records (drawing, bitmap and region records are in EmfPlayShapes.cpp,
// text records in EmfPlayText.cpp).
// Every record replays through the public GDI calls, so the destination may
// be any DC: onto a metafile DC the records are recorded again (objects
// renumbered in its own table), onto a memory DC they are rasterised.
#include <algorithm>

#include "platform/gdi/Dib.h"
#include "platform/gdi/EmfRecords.h"

namespace nx::gdi {

namespace {

// ---------------------------------------------------------------------------
// Objects and the handle table.

void Forget(const Player &p, HGDIOBJ h) {
  // An object still selected is deleted once playback has restored the DC.
  if (!DeleteObject(h) && p.pb) p.pb->DeleteLater(h);
}

// Stores a new object at the record's index; an index outside the table
// cannot be referred to, so the object is dropped.
bool Store(const Player &p, DWORD index, HGDIOBJ h) {
  if (!h) return false;
  if (index == 0 || index >= p.count) {
    DeleteObject(h);
    return false;
  }
  HGDIOBJ &slot = p.ht->objectHandle[index];
  if (slot) Forget(p, slot);
  slot = h;
  return true;
}

}  // namespace

HGDIOBJ ResolveObject(const Player &p, DWORD index) {
  if (index & ENHMETA_STOCK_OBJECT) return GetStockObject((int)(index & ~ENHMETA_STOCK_OBJECT));
  if (index == 0 || index >= p.count) return nullptr;
  return p.ht->objectHandle[index];
}

namespace {

bool CreatePenRecord(const Player &p, const RecordView &r) {
  EMRCREATEPEN rec;
  if (!r.Read(&rec)) return false;
  return Store(p, rec.ihPen, CreatePenIndirect(&rec.lopn));
}

// A record's DIB as one packed block (header and colours, then the bits;
// rows missing from the record are zero).
bool PackedRecordDib(const RecordView &r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits,
                     UINT usage, std::vector<uint8_t> *packed) {
  if (!r.Fits(offBmi, cbBmi, 1) || !r.Fits(offBits, cbBits, 1)) return false;
  usage = usage == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
  DibView v;
  if (!ParseDibInfo(r.At(offBmi), cbBmi, usage, &v)) return false;
  size_t bits = v.stride * (size_t)v.height;
  if (bits > (64u << 20)) return false;
  packed->assign(v.infoSize + bits, 0);
  std::memcpy(packed->data(), r.At(offBmi), v.infoSize);
  std::memcpy(packed->data() + v.infoSize, r.At(offBits), std::min<size_t>(cbBits, bits));
  return true;
}

bool ExtCreatePenRecord(const Player &p, const RecordView &r) {
  constexpr size_t kFixed = offsetof(EMREXTCREATEPEN, elp.elpStyleEntry);
  EMREXTCREATEPEN rec;
  if (!r.Read(&rec, kFixed)) return false;
  const EXTLOGPEN32 &e = rec.elp;
  std::vector<DWORD> styles;
  if ((e.elpPenStyle & PS_STYLE_MASK) == PS_USERSTYLE) {
    if (!r.Fits(kFixed, e.elpNumEntries, 4) || e.elpNumEntries > 16) return false;
    styles.resize(e.elpNumEntries);
    if (!styles.empty()) std::memcpy(styles.data(), r.At(kFixed), 4 * styles.size());
  }
  UINT brushStyle = e.elpBrushStyle == BS_HATCHED || e.elpBrushStyle == BS_NULL ? e.elpBrushStyle
                                                                                 : BS_SOLID;
  LOGBRUSH lb{brushStyle, e.elpColor, e.elpHatch};
  // A pattern pen's DIB: a monochrome one (BS_PATTERN) by its bit values.
  std::vector<uint8_t> packed;
  HBITMAP mono = nullptr;
  bool pattern = rec.cbBmi && (e.elpBrushStyle == BS_PATTERN || e.elpBrushStyle == BS_DIBPATTERN ||
                               e.elpBrushStyle == BS_DIBPATTERNPT);
  if (pattern && e.elpBrushStyle == BS_PATTERN &&
      (mono = RecordMask(r, rec.offBmi, rec.cbBmi, rec.offBits, rec.cbBits))) {
    lb = {BS_PATTERN, 0, (ULONG_PTR)mono};
  } else if (pattern && PackedRecordDib(r, rec.offBmi, rec.cbBmi, rec.offBits, rec.cbBits,
                                        e.elpColor & 0xFFFF, &packed)) {
    lb = {BS_DIBPATTERNPT, e.elpColor & 0xFFFF, (ULONG_PTR)packed.data()};
  }
  HPEN pen = ExtCreatePen(e.elpPenStyle, e.elpWidth, &lb, (DWORD)styles.size(),
                          styles.empty() ? nullptr : styles.data());
  if (mono) DeleteObject(mono);
  if (!pen) pen = CreatePen((int)(e.elpPenStyle & PS_STYLE_MASK), (int)e.elpWidth, e.elpColor);
  return Store(p, rec.ihPen, pen);
}

bool CreateBrushRecord(const Player &p, const RecordView &r) {
  EMRCREATEBRUSHINDIRECT rec;
  if (!r.Read(&rec)) return false;
  // Only these styles stand on their own: for the pattern styles lbHatch
  // would be a pointer, which a record cannot carry. They draw solid.
  UINT style = rec.lb.lbStyle;
  HBRUSH b = nullptr;
  if (style == BS_SOLID || style == BS_NULL || style == BS_HATCHED) {
    LOGBRUSH lb{style, rec.lb.lbColor, rec.lb.lbHatch};
    b = CreateBrushIndirect(&lb);
  }
  if (!b) b = CreateSolidBrush(rec.lb.lbColor);
  return Store(p, rec.ihBrush, b);
}

bool CreatePatternBrushRecord(const Player &p, const RecordView &r) {
  EMRCREATEDIBPATTERNBRUSHPT rec;
  if (!r.Read(&rec) || !r.Fits(rec.offBmi, rec.cbBmi, 1) || !r.Fits(rec.offBits, rec.cbBits, 1))
    return false;
  if (r.Type() == EMR_CREATEMONOBRUSH) {
    // A monochrome bitmap of the bit values: drawn in the text and background
    // colours (a DIB of more colours is taken as a DIB pattern below).
    if (HBITMAP bm = RecordMask(r, rec.offBmi, rec.cbBmi, rec.offBits, rec.cbBits)) {
      HBRUSH b = CreatePatternBrush(bm);
      DeleteObject(bm);
      return Store(p, rec.ihBrush, b);
    }
  }
  UINT usage = rec.iUsage == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
  std::vector<uint8_t> packed;
  if (!PackedRecordDib(r, rec.offBmi, rec.cbBmi, rec.offBits, rec.cbBits, usage, &packed))
    return false;
  return Store(p, rec.ihBrush, CreateDIBPatternBrushPt(packed.data(), usage));
}

bool CreateFontRecord(const Player &p, const RecordView &r) {
  constexpr size_t kLogFont = offsetof(EMREXTCREATEFONTINDIRECTW, elfw) + sizeof(LOGFONTW);
  EMREXTCREATEFONTINDIRECTW rec;
  if (!r.Read(&rec, kLogFont)) return false;
  LOGFONTW lf = rec.elfw.elfLogFont;
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
  // Angles are taken modulo a full turn: the same text, and no value that
  // cannot be negated.
  lf.lfEscapement %= 3600;
  lf.lfOrientation %= 3600;
  return Store(p, rec.ihFont, CreateFontIndirectW(&lf));
}

bool CreatePaletteRecord(const Player &p, const RecordView &r) {
  constexpr size_t kEntries = offsetof(EMRCREATEPALETTE, lgpl.palPalEntry);
  EMRCREATEPALETTE rec;
  if (!r.Read(&rec, kEntries)) return false;
  WORD n = rec.lgpl.palNumEntries;
  if (!n || !r.Fits(kEntries, n, sizeof(PALETTEENTRY))) return false;
  std::vector<uint8_t> buf(offsetof(LOGPALETTE, palPalEntry) + n * sizeof(PALETTEENTRY));
  auto *lp = reinterpret_cast<LOGPALETTE *>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = n;
  std::memcpy(lp->palPalEntry, r.At(kEntries), n * sizeof(PALETTEENTRY));
  return Store(p, rec.ihPal, CreatePalette(lp));
}

bool SelectRecord(const Player &p, const RecordView &r) {
  HGDIOBJ h = ResolveObject(p, r.U32(8));
  if (r.Size() < 12 || !h) return false;
  if (r.Type() == EMR_SELECTPALETTE) return SelectPalette(p.hdc, (HPALETTE)h, FALSE) != nullptr;
  return SelectObject(p.hdc, h) != nullptr;
}

bool DeleteRecord(const Player &p, const RecordView &r) {
  DWORD i = r.U32(8);
  if (r.Size() < 12 || i == 0 || i >= p.count || !p.ht->objectHandle[i]) return false;
  Forget(p, p.ht->objectHandle[i]);
  p.ht->objectHandle[i] = nullptr;
  return true;
}

bool PlayObject(const Player &p, const RecordView &r) {
  switch (r.Type()) {
    case EMR_CREATEPEN:
      return CreatePenRecord(p, r);
    case EMR_EXTCREATEPEN:
      return ExtCreatePenRecord(p, r);
    case EMR_CREATEBRUSHINDIRECT:
      return CreateBrushRecord(p, r);
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_CREATEMONOBRUSH:
      return CreatePatternBrushRecord(p, r);
    case EMR_EXTCREATEFONTINDIRECTW:
      return CreateFontRecord(p, r);
    case EMR_CREATEPALETTE:
      return CreatePaletteRecord(p, r);
    case EMR_SELECTOBJECT:
    case EMR_SELECTPALETTE:
      return SelectRecord(p, r);
    case EMR_DELETEOBJECT:
      return DeleteRecord(p, r);
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Attributes and saved states.

bool PlayAttribute(const Player &p, const RecordView &r) {
  if (r.Size() < 12) return false;
  DWORD v = r.U32(8);
  HDC hdc = p.hdc;
  switch (r.Type()) {
    case EMR_SETBKMODE:
      return SetBkMode(hdc, (int)v) != 0;
    case EMR_SETPOLYFILLMODE:
      return SetPolyFillMode(hdc, (int)v) != 0;
    case EMR_SETROP2:
      return SetROP2(hdc, (int)v) != 0;
    case EMR_SETSTRETCHBLTMODE:
      return SetStretchBltMode(hdc, (int)v) != 0;
    case EMR_SETTEXTALIGN:
      return SetTextAlign(hdc, v) != GDI_ERROR;
    case EMR_SETARCDIRECTION:
      return SetArcDirection(hdc, (int)v) != 0;
    case EMR_SETTEXTCOLOR:
      SetTextColor(hdc, v);
      return true;
    case EMR_SETBKCOLOR:
      SetBkColor(hdc, v);
      return true;
    case EMR_SETMITERLIMIT: {
      FLOAT f;
      std::memcpy(&f, r.At(8), 4);
      return SetMiterLimit(hdc, f, nullptr) != FALSE;
    }
    case EMR_SETBRUSHORGEX:
      return r.Size() >= 16 && SetBrushOrgEx(hdc, (int)v, (int)r.U32(12), nullptr);
    default:
      return false;
  }
}

bool SaveRecord(const Player &p) {
  if (!SaveDC(p.hdc)) return false;
  if (p.pb) SaveDC(p.pb->Shadow());
  return true;
}

bool RestoreRecord(const Player &p, const RecordView &r) {
  if (r.Size() < 12) return false;
  int rel = (int)r.U32(8);
  if (!p.pb) return RestoreDC(p.hdc, rel);
  // The metafile may only go back to states it saved itself.
  Dc *shadow = DcFromHandle(p.pb->Shadow());
  int count = shadow ? (int)shadow->saved.size() : 0;
  int level = rel < 0 ? count + 1 + rel : rel;
  if (rel == 0 || level < 1 || level > count) return false;
  RestoreDC(p.pb->Shadow(), level);
  bool ok = RestoreDC(p.hdc, p.pb->Level() + level);
  p.SpaceChanged();
  return ok;
}

// ---------------------------------------------------------------------------
// Coordinate spaces: on the shadow during playback, then composed.

bool PlaySpace(const Player &p, const RecordView &r) {
  HDC s = p.Space();
  LONG a = (LONG)r.U32(8), b = (LONG)r.U32(12);
  bool ok = false;
  switch (r.Type()) {
    case EMR_SETMAPMODE:
      ok = r.Size() >= 12 && SetMapMode(s, (int)a);
      break;
    case EMR_SETWINDOWEXTEX:
      ok = r.Size() >= 16 && SetWindowExtEx(s, a, b, nullptr);
      break;
    case EMR_SETWINDOWORGEX:
      ok = r.Size() >= 16 && SetWindowOrgEx(s, a, b, nullptr);
      break;
    case EMR_SETVIEWPORTEXTEX:
      ok = r.Size() >= 16 && SetViewportExtEx(s, a, b, nullptr);
      break;
    case EMR_SETVIEWPORTORGEX:
      ok = r.Size() >= 16 && SetViewportOrgEx(s, a, b, nullptr);
      break;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
      EMRSCALEVIEWPORTEXTEX e;
      if (!r.Read(&e)) return false;
      ok = r.Type() == EMR_SCALEWINDOWEXTEX
               ? ScaleWindowExtEx(s, e.xNum, e.xDenom, e.yNum, e.yDenom, nullptr)
               : ScaleViewportExtEx(s, e.xNum, e.xDenom, e.yNum, e.yDenom, nullptr);
      break;
    }
    case EMR_SETWORLDTRANSFORM: {
      EMRSETWORLDTRANSFORM e;
      ok = r.Read(&e) && SetWorldTransform(s, &e.xform);
      break;
    }
    case EMR_MODIFYWORLDTRANSFORM: {
      EMRMODIFYWORLDTRANSFORM e;
      if (!r.Read(&e)) return false;
      ok = e.iMode == MWT_SET ? SetWorldTransform(s, &e.xform)
                              : ModifyWorldTransform(s, &e.xform, e.iMode);
      break;
    }
    default:
      return false;
  }
  if (ok) p.SpaceChanged();
  return ok;
}

// GDI puts these back at the start of every metafile; the background mode,
// the objects and the clip stay as the destination has them.
void StartOfMetafile(const Player &p) {
  SetTextAlign(p.hdc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  SetBkColor(p.hdc, RGB(255, 255, 255));
  SetTextColor(p.hdc, RGB(0, 0, 0));
  SetROP2(p.hdc, R2_COPYPEN);
  SetArcDirection(p.hdc, AD_COUNTERCLOCKWISE);
  SetPolyFillMode(p.hdc, ALTERNATE);
  SetStretchBltMode(p.hdc, BLACKONWHITE);
}

bool IsObjectRecord(DWORD t) {
  switch (t) {
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_CREATEMONOBRUSH:
    case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_CREATEPALETTE:
    case EMR_SELECTOBJECT:
    case EMR_SELECTPALETTE:
    case EMR_DELETEOBJECT:
      return true;
    default:
      return false;
  }
}

bool IsAttributeRecord(DWORD t) {
  switch (t) {
    case EMR_SETBKMODE:
    case EMR_SETPOLYFILLMODE:
    case EMR_SETROP2:
    case EMR_SETSTRETCHBLTMODE:
    case EMR_SETTEXTALIGN:
    case EMR_SETARCDIRECTION:
    case EMR_SETTEXTCOLOR:
    case EMR_SETBKCOLOR:
    case EMR_SETMITERLIMIT:
    case EMR_SETBRUSHORGEX:
      return true;
    default:
      return false;
  }
}

bool IsSpaceRecord(DWORD t) {
  switch (t) {
    case EMR_SETMAPMODE:
    case EMR_SETWINDOWEXTEX:
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX:
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM:
      return true;
    default:
      return false;
  }
}

bool Dispatch(const Player &p, const RecordView &r) {
  DWORD t = r.Type();
  bool draws = IsShapeRecord(t) || IsBitmapRecord(t) || IsTextRecord(t);
  if (draws && p.pb && !p.pb->Drawable()) return true;  // nothing can be seen
  if (IsObjectRecord(t)) return PlayObject(p, r);
  if (IsAttributeRecord(t)) return PlayAttribute(p, r);
  if (IsSpaceRecord(t)) return PlaySpace(p, r);
  if (IsShapeRecord(t)) return PlayShape(p, r);
  if (IsBitmapRecord(t)) return PlayBitmap(p, r);
  if (IsRegionRecord(t)) return PlayRegion(p, r);
  if (IsTextRecord(t)) return PlayText(p, r);
  switch (t) {
    case EMR_HEADER:
      StartOfMetafile(p);
      return true;
    case EMR_SAVEDC:
      return SaveRecord(p);
    case EMR_RESTOREDC:
      return RestoreRecord(p, r);
    case EMR_REALIZEPALETTE:
      RealizePalette(p.hdc);
      return true;
    default:
      // Comments (private data, EMF+ among them), the end of file and
      // records this system neither writes nor draws are passed over.
      return true;
  }
}

int CALLBACK PlayOne(HDC hdc, HANDLETABLE *ht, const ENHMETARECORD *rec, int n, LPARAM) {
  PlayEnhMetaFileRecord(hdc, ht, rec, (UINT)n);
  return 1;  // a bad record is skipped, the rest still plays
}

}  // namespace

bool ReadPoints(const RecordView &r, size_t off, uint64_t n, bool small, std::vector<POINT> *out) {
  size_t elem = small ? 4 : 8;
  if (!r.Fits(off, n, elem)) return false;
  out->resize((size_t)n);
  const uint8_t *q = r.At(off);
  for (size_t i = 0; i < n; ++i, q += elem) {
    if (small) {
      int16_t xy[2];
      std::memcpy(xy, q, 4);
      (*out)[i] = {xy[0], xy[1]};
    } else {
      LONG xy[2];
      std::memcpy(xy, q, 8);
      (*out)[i] = {xy[0], xy[1]};
    }
  }
  return true;
}

}  // namespace nx::gdi

using namespace nx::gdi;

BOOL WINAPI PlayEnhMetaFileRecord(HDC hdc, LPHANDLETABLE pht, const ENHMETARECORD *pmr, UINT cht) {
  if (!DcFromHandle(hdc)) return FALSE;
  if (!pmr || pmr->nSize < sizeof(EMR) || (cht && !pht)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Player p{hdc, pht, pht ? cht : 0, ActivePlayback(hdc)};
  RecordView r(pmr);
  if (Dispatch(p, r)) return TRUE;
  SetLastError(ERROR_INVALID_DATA);
  return FALSE;
}

BOOL WINAPI PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT *lprect) {
  if (!lprect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!DcFromHandle(hdc)) return FALSE;
  auto *m = Lookup<EnhMetaFileObj>(hmf, Kind::EnhMetaFile);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Playing records neither changes nor deletes the metafile (its own
  // handle, slot 0, is never deleted): its image is read in place.
  return WalkRecords(hdc, hmf, m->bytes, PlayOne, nullptr, lprect);
}
