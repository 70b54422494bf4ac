// The metafile interpreter: running over a metafile, the device-context
// state records, the object table, saved states and the problems report.
#include "export/gtMetafileProcessor.h"

#include <algorithm>
#include <cmath>

#include "common/ErrorChannel.h"

namespace nx {

namespace {

int CALLBACK EnumRecord(HDC, HANDLETABLE *, const ENHMETARECORD *Record, int, LPARAM Data) {
  reinterpret_cast<TgtMetafileProcessor *>(Data)->ProcessRecord(Record);
  return 1;  // always the next record
}

// Object table indices beyond this are not kept (nHandles is 16-bit).
constexpr DWORD kMaxHandles = 0xFFFF;

}  // namespace

TgtEMFAlignment gtTextAlignment(DWORD flags) {
  TgtEMFAlignment a = taNoUpdateCP | taLeft | taTop;
  if ((flags & TA_BASELINE) == TA_BASELINE) a = (a & ~taTop) | taBaseline;
  else if (flags & TA_BOTTOM) a = (a & ~taTop) | taBottom;
  if ((flags & TA_CENTER) == TA_CENTER) a = (a & ~taLeft) | taCenter;
  else if (flags & TA_RIGHT) a = (a & ~taLeft) | taRight;
  if (flags & TA_UPDATECP) a = (a & ~taNoUpdateCP) | taUpdateCP;
  if (flags & TA_RTLREADING) a |= taRTLReading;
  return a;
}

TgtMetafileProcessor::TgtMetafileProcessor(TgtCustomDocumentEngine &Engine) : FEngine(&Engine) {
  const TgtItemsToRender items = Engine.ItemsToRender();
  FProcessText = (items & irText) && Engine.HasCapability(ckText);
  FProcessImage = (items & irImage) && Engine.HasCapability(ckImage);
  FProcessShape = (items & irShape) && Engine.HasCapability(ckShape);
  FPTextList = Engine.SortTextItemsEnabled() ? Engine.CurrentTextItemList() : Engine.CurrentDocumentItemList();
  if (Engine.InputXRes() > 0) FSpace.FResX = double(gtScreenResolution) / Engine.InputXRes();
  if (Engine.InputYRes() > 0) FSpace.FResY = double(gtScreenResolution) / Engine.InputYRes();
}

TgtMetafileProcessor::~TgtMetafileProcessor() {
  for (auto &f : FScreenFonts) DeleteObject(f.second);
  if (FScreen) ReleaseDC(nullptr, FScreen);
}

void TgtMetafileProcessor::Execute(HENHMETAFILE Metafile, double StartX, double StartY) {
  FStartX = StartX;
  FStartY = StartY;
  ENHMETAHEADER h{};
  if (GetEnhMetaFileHeader(Metafile, sizeof h, &h)) {
    FWidth = ClampLong(double(h.rclBounds.right) - h.rclBounds.left + 1);
    FHeight = ClampLong(double(h.rclBounds.bottom) - h.rclBounds.top + 1);
  }
  if (!FEngine->CurrentDocumentItemList()) return;  // no page to fill
  EnumEnhMetaFile(nullptr, Metafile, EnumRecord, this, nullptr);
  ReportProblems();
}

bool TgtMetafileProcessor::IsStateRecord(DWORD t) {
  switch (t) {
    case EMR_SETWINDOWEXTEX: case EMR_SETWINDOWORGEX: case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX: case EMR_SCALEVIEWPORTEXTEX: case EMR_SCALEWINDOWEXTEX:
    case EMR_SETMAPMODE: case EMR_SETWORLDTRANSFORM: case EMR_MODIFYWORLDTRANSFORM:
    case EMR_SETBKMODE: case EMR_SETBKCOLOR: case EMR_SETTEXTCOLOR: case EMR_SETTEXTALIGN:
    case EMR_SETPOLYFILLMODE: case EMR_SETROP2: case EMR_SETSTRETCHBLTMODE:
    case EMR_SETMITERLIMIT: case EMR_SETICMMODE: case EMR_MOVETOEX: case EMR_SAVEDC:
    case EMR_RESTOREDC: case EMR_EOF:
      return true;
    default:
      return false;
  }
}

bool TgtMetafileProcessor::IsObjectRecord(DWORD t) {
  switch (t) {
    case EMR_CREATEPEN: case EMR_EXTCREATEPEN: case EMR_CREATEBRUSHINDIRECT:
    case EMR_CREATEMONOBRUSH: case EMR_CREATEDIBPATTERNBRUSHPT: case EMR_CREATEPALETTE:
    case EMR_SELECTPALETTE: case EMR_SELECTOBJECT: case EMR_DELETEOBJECT:
      return true;
    default:
      return false;
  }
}

void TgtMetafileProcessor::ProcessRecord(const ENHMETARECORD *Record) {
  ++FCurrentRecord;
  const TgtEmfRecord r(Record);
  const DWORD t = r.Type();
  bool sound = true;
  if (IsStateRecord(t)) sound = DoState(r);
  else if (IsObjectRecord(t)) sound = DoObject(r);
  else if (IsShapeRecord(t)) sound = DoShape(r);
  else if (IsPolyRecord(t)) sound = DoPoly(r);
  else if (IsPathRecord(t)) sound = DoPath(r);
  else if (t == EMR_INTERSECTCLIPRECT || t == EMR_EXTSELECTCLIPRGN || t == EMR_FILLRGN) sound = DoClip(r);
  else if (t == EMR_EXTCREATEFONTINDIRECTW || t == EMR_EXTTEXTOUTA || t == EMR_EXTTEXTOUTW) sound = DoText(r);
  else if (t == EMR_BITBLT || t == EMR_STRETCHBLT || t == EMR_MASKBLT || t == EMR_STRETCHDIBITS ||
           t == EMR_SETDIBITSTODEVICE || t == EMR_PLGBLT)
    sound = DoBitmap(r);
  if (!sound) Damaged(r);
}

// ---------------------------------------------------------------------------
// Device-context state.

bool TgtMetafileProcessor::DoState(const TgtEmfRecord &r) {
  switch (r.Type()) {
    case EMR_EOF: {
      auto eof = std::make_unique<TgtEOFItem>();
      eof->FStatus = true;
      Append(std::move(eof));
      FIsClipRect = false;
      return true;
    }
    case EMR_SAVEDC:
      SaveDC();
      return true;
    case EMR_RESTOREDC: {
      EMRRESTOREDC e;
      if (!r.Read(&e)) return false;
      RestoreDC(e.iRelative);
      return true;
    }
    case EMR_SETWORLDTRANSFORM: {
      EMRSETWORLDTRANSFORM e;
      if (!r.Read(&e)) return false;
      FSpace.FXForm = e.xform;
      FIsTransApplied = true;
      return true;
    }
    case EMR_MODIFYWORLDTRANSFORM: {
      EMRMODIFYWORLDTRANSFORM e;
      if (!r.Read(&e)) return false;
      FSpace.ModifyWorld(e.xform, e.iMode);
      FIsTransApplied = true;
      return true;
    }
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
      EMRSCALEVIEWPORTEXTEX e;
      if (!r.Read(&e)) return false;
      SIZE *ext = r.Type() == EMR_SCALEVIEWPORTEXTEX ? &FSpace.FViewPortExtent : &FSpace.FWindowExtent;
      FSpace.ScaleExtent(ext, e.xNum, e.xDenom, e.yNum, e.yDenom);
      return true;
    }
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX: {
      EMRSETVIEWPORTEXTEX e;
      if (!r.Read(&e)) return false;
      if (r.Type() == EMR_SETVIEWPORTEXTEX) {
        FSpace.SetViewPortExtent(e.szlExtent.cx, e.szlExtent.cy);
      } else if (FSpace.SetWindowExtent(e.szlExtent.cx, e.szlExtent.cy)) {
        FIsWindowsExt = true;
      }
      return true;
    }
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX:
    case EMR_MOVETOEX: {
      EMRSETVIEWPORTORGEX e;
      if (!r.Read(&e)) return false;
      if (r.Type() == EMR_SETWINDOWORGEX) FSpace.FWindowOrigin = e.ptlOrigin;
      else if (r.Type() == EMR_SETVIEWPORTORGEX) FSpace.FViewPortOrigin = e.ptlOrigin;
      else {
        FCurrentPathPoint = e.ptlOrigin;
        FUpdatePathX = 0;
      }
      return true;
    }
    case EMR_SETMITERLIMIT: {
      EMRSETMITERLIMIT e;
      if (!r.Read(&e)) return false;
      FMiterLimit = e.eMiterLimit;
      return true;
    }
    default:
      break;
  }
  // The records of one 32-bit value.
  DWORD v;
  if (!r.U32(8, &v)) return false;
  switch (r.Type()) {
    case EMR_SETMAPMODE:
      FSpace.SetMapMode(int(v));
      break;
    case EMR_SETBKMODE:
      FBKMode = uint8_t(v);
      if (v == TRANSPARENT) IsBackgrondTransprent = true;
      break;
    case EMR_SETBKCOLOR:
      FBKColor = PlainColor(v);
      break;
    case EMR_SETTEXTCOLOR:
      FTextColor = PlainColor(v);
      break;
    case EMR_SETTEXTALIGN:
      FTextAlignment = gtTextAlignment(v);
      break;
    case EMR_SETPOLYFILLMODE:
      FPolyFillMode = int32_t(v);
      break;
    case EMR_SETROP2:
      FROP2 = int32_t(v);
      break;
    case EMR_SETSTRETCHBLTMODE:
      FStretchMode = int32_t(v);
      break;
    case EMR_SETICMMODE:
      FICMMode = int32_t(v);
      break;
    default:
      break;
  }
  return true;
}

void TgtMetafileProcessor::SaveDC() {
  TgtMetaState s;
  s.FFont = FCurrentFont;
  s.FBrush = FCurrentBrush;
  s.FPen = FCurrentPen;
  s.FPenJoin = FCurrentPenJoin;
  s.FPenCap = FCurrentPenCap;
  s.FCurrentTextColor = FTextColor;
  s.FBKMode = FBKMode;
  s.FSpace = FSpace;
  s.FTextAlign = FTextAlignment;
  s.FSymbolCharsetFontIdx = FSymbolCharsetFontIdx;
  FMetaState.push_back(std::move(s));
}

// -1 restores the last state saved; -n the n-th last, discarding the ones
// saved after it as GDI does; a positive n the n-th state saved.
void TgtMetafileProcessor::RestoreDC(LONG Relative) {
  const long long count = (long long)FMetaState.size();
  const long long at = Relative < 0 ? count + Relative : (long long)Relative - 1;
  if (Relative != 0 && at >= 0 && at < count) {
    TgtMetaState &s = FMetaState[size_t(at)];
    FCurrentFont = s.FFont;
    FCurrentBrush = s.FBrush;
    FCurrentPen = s.FPen;
    FCurrentPenJoin = s.FPenJoin;
    FCurrentPenCap = s.FPenCap;
    FTextColor = s.FCurrentTextColor;
    FBKMode = s.FBKMode;
    FSpace = s.FSpace;
    FSpace.Recompute();
    FTextAlignment = s.FTextAlign;
    FSymbolCharsetFontIdx = s.FSymbolCharsetFontIdx;
    FMetaState.resize(size_t(at));
  }
  FClipRect = TgtRect{};
  AddClip({}, 0, true, FClipRecatangle);
  FClipRecatangle = false;
}

// ---------------------------------------------------------------------------
// The object table.

bool TgtMetafileProcessor::DoObject(const TgtEmfRecord &r) {
  switch (r.Type()) {
    case EMR_CREATEPEN:
      return CreatePen(r);
    case EMR_EXTCREATEPEN:
      return ExtCreatePen(r);
    case EMR_CREATEBRUSHINDIRECT:
      return CreateBrush(r);
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
      return CreatePatternBrush(r);
    case EMR_CREATEPALETTE: {
      EMRCREATEPALETTE e;
      if (!r.Read(&e)) return false;
      TgtGDIOBJ &o = NewObject(e.ihPal);
      o.FGDIOBJType = goPalette;
      o.FPalette = {e.lgpl.palVersion, e.lgpl.palNumEntries};
      return true;
    }
    default:
      break;
  }
  DWORD index;
  if (!r.U32(8, &index)) return false;
  if (r.Type() == EMR_SELECTOBJECT) {
    SelectObject(index);
  } else if (r.Type() == EMR_SELECTPALETTE) {
    if (index & ENHMETA_STOCK_OBJECT) {
      if ((index & ~ENHMETA_STOCK_OBJECT) == DEFAULT_PALETTE) FCurrentPalette = TgtPalette{};
    } else if (index >= 1 && index <= FGDIOBJList.size() && FGDIOBJList[index - 1].FGDIOBJType == goPalette) {
      FCurrentPalette = FGDIOBJList[index - 1].FPalette;
    }
  } else if (!(index & ENHMETA_STOCK_OBJECT) && index >= 1 && index <= FGDIOBJList.size()) {
    FGDIOBJList[index - 1] = TgtGDIOBJ{};  // DELETEOBJECT: goNone
  }
  return true;
}

// The entry of handle index i, made anew. Indices are kept by value, also
// when a writer does not hand them out lowest first.
TgtGDIOBJ &TgtMetafileProcessor::NewObject(DWORD Index) {
  static TgtGDIOBJ discard;
  if (Index == 0 || Index > kMaxHandles) {
    discard = TgtGDIOBJ{};
    return discard;
  }
  if (Index > FGDIOBJList.size()) FGDIOBJList.resize(Index);
  FGDIOBJList[Index - 1] = TgtGDIOBJ{};
  FGDIOBJ = int32_t(Index - 1);
  return FGDIOBJList[Index - 1];
}

void TgtMetafileProcessor::SelectObject(DWORD Index) {
  if (Index == 0 || (Index & ENHMETA_STOCK_OBJECT)) {
    SelectStockObject(Index & ~ENHMETA_STOCK_OBJECT);
    return;
  }
  if (Index > FGDIOBJList.size()) return;
  const TgtGDIOBJ &o = FGDIOBJList[Index - 1];
  switch (o.FGDIOBJType) {
    case goPen:
      FCurrentPen = o.FPen;
      FCurrentPenJoin = o.FPenJoinStyle;
      FCurrentPenCap = o.FPenCapStyle;
      break;
    case goBrush:
      FCurrentBrush = o.FBrush;
      break;
    case goFont:
      FCurrentFont = o.FFont;
      FSymbolCharsetFontIdx = SymbolCharsetFontIdx(o.FFont);
      break;
    default:
      break;
  }
}

void TgtMetafileProcessor::SelectStockObject(DWORD Stock) {
  auto solid = [](COLORREF c) { return TgtBrush{bsSolid, c, nullptr}; };
  switch (Stock) {
    case WHITE_BRUSH: case DC_BRUSH: FCurrentBrush = TgtBrush{}; break;
    case LTGRAY_BRUSH: FCurrentBrush = solid(0xC0C0C0); break;
    case GRAY_BRUSH: FCurrentBrush = solid(0x808080); break;
    case DKGRAY_BRUSH: FCurrentBrush = solid(0x404040); break;
    case BLACK_BRUSH: FCurrentBrush = solid(0); break;
    case NULL_BRUSH: FCurrentBrush = TgtBrush{bsClear, 0xFFFFFF, nullptr}; break;
    case WHITE_PEN: FCurrentPen = TgtPen{psSolid, 1, 0xFFFFFF}; break;
    case BLACK_PEN: case DC_PEN: FCurrentPen = TgtPen{}; break;
    case NULL_PEN: FCurrentPen = TgtPen{psClear, 1, 0}; break;
    case OEM_FIXED_FONT: case ANSI_FIXED_FONT: case ANSI_VAR_FONT: case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT: case SYSTEM_FIXED_FONT:
      FCurrentFont = TgtFont{};
      FSymbolCharsetFontIdx = 1;
      break;
    case DEFAULT_PALETTE: FCurrentPalette = TgtPalette{}; break;
    default: break;
  }
  if (Stock == WHITE_PEN || Stock == BLACK_PEN || Stock == DC_PEN || Stock == NULL_PEN) {
    FCurrentPenJoin = pjsNone;
    FCurrentPenCap = pcsNone;
  }
}

namespace {

TgtPenStyle PenStyleOf(DWORD style) {
  switch (style & PS_STYLE_MASK) {
    case PS_DASH: return psDash;
    case PS_DOT: return psDot;
    case PS_DASHDOT: return psDashDot;
    case PS_DASHDOTDOT: return psDashDotDot;
    case PS_NULL: return psClear;
    case PS_INSIDEFRAME: return psInsideFrame;
    default: return psSolid;
  }
}

int32_t PenWidth(double mapped) {
  const double w = RoundEven(mapped);
  return !(w >= 1) ? 1 : w > 1e6 ? 1000000 : int32_t(w);  // NaN too gives 1
}

}  // namespace

bool TgtMetafileProcessor::CreatePen(const TgtEmfRecord &r) {
  EMRCREATEPEN e;
  if (!r.Read(&e)) return false;
  TgtGDIOBJ &o = NewObject(e.ihPen);
  o.FGDIOBJType = goPen;
  o.FPen.Width = e.lopn.lopnWidth.x == 0 ? 1 : PenWidth(FSpace.MapWidth(e.lopn.lopnWidth.x));
  o.FPen.Style = PenStyleOf(e.lopn.lopnStyle);
  o.FPen.Color = PlainColor(e.lopn.lopnColor);
  return true;
}

bool TgtMetafileProcessor::ExtCreatePen(const TgtEmfRecord &r) {
  EMREXTCREATEPEN e;
  if (!r.Fits(0, 1, offsetof(EMREXTCREATEPEN, elp.elpStyleEntry))) return false;
  std::memcpy(&e, r.Bytes(0, offsetof(EMREXTCREATEPEN, elp.elpStyleEntry)),
              offsetof(EMREXTCREATEPEN, elp.elpStyleEntry));
  TgtGDIOBJ &o = NewObject(e.ihPen);
  o.FGDIOBJType = goPen;
  const DWORD style = e.elp.elpPenStyle;
  o.FPen.Width = PenWidth(FSpace.MapWidth(e.elp.elpWidth == 0 ? 1 : e.elp.elpWidth));
  o.FPen.Style = PenStyleOf(style);
  o.FPen.Color = PlainColor(e.elp.elpColor);
  if ((style & PS_TYPE_MASK) == PS_GEOMETRIC) {
    const DWORD join = style & PS_JOIN_MASK, cap = style & PS_ENDCAP_MASK;
    o.FPenJoinStyle = join == PS_JOIN_BEVEL ? pjsBevel : join == PS_JOIN_MITER ? pjsMiter : pjsRound;
    o.FPenCapStyle = cap == PS_ENDCAP_SQUARE ? pcsSquare : cap == PS_ENDCAP_FLAT ? pcsFlat : pcsRound;
  }
  return true;
}

bool TgtMetafileProcessor::CreateBrush(const TgtEmfRecord &r) {
  EMRCREATEBRUSHINDIRECT e;
  if (!r.Read(&e)) return false;
  TgtGDIOBJ &o = NewObject(e.ihBrush);
  o.FGDIOBJType = goBrush;
  o.FBrush.Color = e.lb.lbColor;
  o.FBrush.Style = bsSolid;
  if (e.lb.lbStyle == BS_NULL) {
    o.FBrush.Style = bsClear;
  } else if (e.lb.lbStyle == BS_HATCHED) {
    static const TgtBrushStyle hatches[] = {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross};
    if (e.lb.lbHatch < std::size(hatches)) o.FBrush.Style = hatches[e.lb.lbHatch];
  }
  return true;
}

bool TgtMetafileProcessor::CreatePatternBrush(const TgtEmfRecord &r) {
  EMRCREATEDIBPATTERNBRUSHPT e;
  if (!r.Read(&e)) return false;
  if (e.cbBmi == 0 || e.cbBits == 0) return true;
  auto pattern = DecodeDib(r, e.offBmi, e.cbBmi, e.offBits, e.cbBits);
  if (!pattern) return true;  // reported as a lost picture
  TgtGDIOBJ &o = NewObject(e.ihBrush);
  o.FGDIOBJType = goBrush;
  o.FBrush.Bitmap = std::move(pattern);
  return true;
}

// -1 when the face exists only as a symbol font (or the font asks for the
// symbol character set), else 1.
int32_t TgtMetafileProcessor::SymbolCharsetFontIdx(const TgtFont &Font) {
  if (Font.Charset == SYMBOL_CHARSET) return -1;
  std::map<std::u16string, bool> &cache = FEngine->FSymbolOnlyFaces;
  auto known = cache.find(Font.Name);
  if (known == cache.end()) {
    struct Seen {
      bool symbol = false, other = false;
    } seen;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    const size_t n = std::min<size_t>(Font.Name.size(), LF_FACESIZE - 1);
    std::copy_n(Font.Name.begin(), n, lf.lfFaceName);
    auto proc = [](const LOGFONTW *f, const TEXTMETRICW *, DWORD, LPARAM p) -> int {
      auto *s = reinterpret_cast<Seen *>(p);
      (f->lfCharSet == SYMBOL_CHARSET ? s->symbol : s->other) = true;
      return 1;
    };
    if (!FScreen) FScreen = GetDC(nullptr);
    EnumFontFamiliesExW(FScreen, &lf, proc, reinterpret_cast<LPARAM>(&seen), 0);
    known = cache.emplace(Font.Name, seen.symbol && !seen.other).first;
  }
  return known->second ? -1 : 1;
}

// ---------------------------------------------------------------------------
// Items and problems.

void TgtMetafileProcessor::Append(std::unique_ptr<TgtDocumentItem> Item) {
  if (TgtItemList *list = FEngine->CurrentDocumentItemList()) list->push_back(std::move(Item));
}

void TgtMetafileProcessor::AppendText(std::unique_ptr<TgtTextItem> Item) {
  if (FPTextList) FPTextList->push_back(std::move(Item));
}

void TgtMetafileProcessor::Damaged(const TgtEmfRecord &r) {
  if (FDamagedRecords++ == 0)
    FFirstDamage = EmfRecordName(r.Type()) + " (record " + std::to_string(FCurrentRecord) + ")";
}

void TgtMetafileProcessor::PictureLost(const TgtEmfRecord &r, const std::string &Why) {
  if (FLostPictures++ == 0)
    FFirstLostPicture = EmfRecordName(r.Type()) + " (record " + std::to_string(FCurrentRecord) + "): " + Why;
}

void TgtMetafileProcessor::ReportProblems() {
  if (!FLostPictures && !FDamagedRecords) return;
  std::string message = "Page " + std::to_string(FEngine->CurrentPage());
  if (FLostPictures)
    message += " lost " + std::to_string(FLostPictures) + " picture(s) that could not be decoded (the first: " +
               FFirstLostPicture + ")";
  if (FLostPictures && FDamagedRecords) message += ", and";
  if (FDamagedRecords)
    message += " skipped " + std::to_string(FDamagedRecords) + " damaged metafile record(s) (the first: " +
               FFirstDamage + ")";
  SetLastNxError(nxeData, message);
}

}  // namespace nx
