// The GDI object table, stock objects, pens, brushes, fonts and palettes,
// SelectObject / DeleteObject / GetObject.
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

namespace {

struct Entry {
  std::unique_ptr<GdiObject> obj;
  uint32_t gen = 0;
};

struct Table {
  std::vector<Entry> entries = std::vector<Entry>(1);  // slot 0 unused: no handle is 0
  std::vector<uint32_t> freeSlots;
};

Table &TheTable() {
  static Table *t = new Table();  // lives for the process: stock objects never die
  return *t;
}

constexpr int kSlotBits = 24;

uintptr_t Encode(uint32_t slot, uint32_t gen) {
  return ((uintptr_t)(gen & 0xFFF) << kSlotBits | slot) << 4;
}

bool Decode(HGDIOBJ h, uint32_t *slot, uint32_t *gen) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (!v || (v & 0xF)) return false;
  v >>= 4;
  *slot = (uint32_t)(v & ((1u << kSlotBits) - 1));
  *gen = (uint32_t)(v >> kSlotBits);
  return true;
}

}  // namespace

HGDIOBJ InsertObject(std::unique_ptr<GdiObject> obj) {
  Table &t = TheTable();
  uint32_t slot;
  if (!t.freeSlots.empty()) {
    slot = t.freeSlots.back();
    t.freeSlots.pop_back();
  } else {
    if (t.entries.size() >= (1u << kSlotBits) - 1) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    slot = (uint32_t)t.entries.size();
    t.entries.emplace_back();
  }
  Entry &e = t.entries[slot];
  e.obj = std::move(obj);
  e.gen = (e.gen + 1) & 0xFFF;
  return reinterpret_cast<HGDIOBJ>(Encode(slot, e.gen));
}

GdiObject *LookupObject(HGDIOBJ h) {
  uint32_t slot, gen;
  Table &t = TheTable();
  if (!Decode(h, &slot, &gen) || slot == 0 || slot >= t.entries.size()) return nullptr;
  Entry &e = t.entries[slot];
  return (e.obj && e.gen == gen) ? e.obj.get() : nullptr;
}

PenObj *LookupPen(HGDIOBJ h) {
  GdiObject *o = LookupObject(h);
  return (o && (o->kind == Kind::Pen || o->kind == Kind::ExtPen)) ? static_cast<PenObj *>(o)
                                                                    : nullptr;
}

void RemoveObject(HGDIOBJ h) {
  uint32_t slot, gen;
  Table &t = TheTable();
  if (!Decode(h, &slot, &gen) || slot == 0 || slot >= t.entries.size()) return;
  Entry &e = t.entries[slot];
  if (!e.obj || e.gen != gen) return;
  e.obj.reset();
  t.freeSlots.push_back(slot);
}

BrushObj::~BrushObj() {
  if (pattern) cairo_surface_destroy(pattern);
}

// ---------------------------------------------------------------------------
// Stock objects.

namespace {

HGDIOBJ MakeStockBrush(int i, UINT style, COLORREF c) {
  auto b = std::make_unique<BrushObj>();
  b->style = style;
  b->color = c;
  b->stock = true;
  b->stockIndex = i;
  return InsertObject(std::move(b));
}

HGDIOBJ MakeStockPen(int i, int style, COLORREF c) {
  auto p = std::make_unique<PenObj>();
  p->style = p->logStyle = (DWORD)style;
  p->color = c;
  p->stock = true;
  p->stockIndex = i;
  return InsertObject(std::move(p));
}

void CopyFace(WCHAR *dst, const char *src) {
  size_t i = 0;
  for (; src[i] && i < LF_FACESIZE - 1; ++i) dst[i] = (WCHAR)src[i];
  dst[i] = 0;
}

HGDIOBJ MakeStockFont(int i, const char *face, LONG height, LONG weight, BYTE pitch) {
  auto f = std::make_unique<FontObj>();
  f->lf.lfHeight = height;
  f->lf.lfWeight = weight;
  f->lf.lfCharSet = 0;
  f->lf.lfPitchAndFamily = pitch;
  CopyFace(f->lf.lfFaceName, face);
  f->stock = true;
  f->stockIndex = i;
  return InsertObject(std::move(f));
}

std::vector<HGDIOBJ> MakeStock() {
  std::vector<HGDIOBJ> s(STOCK_LAST + 1, nullptr);
  s[WHITE_BRUSH] = MakeStockBrush(WHITE_BRUSH, BS_SOLID, RGB(255, 255, 255));
  s[LTGRAY_BRUSH] = MakeStockBrush(LTGRAY_BRUSH, BS_SOLID, RGB(192, 192, 192));
  s[GRAY_BRUSH] = MakeStockBrush(GRAY_BRUSH, BS_SOLID, RGB(128, 128, 128));
  s[DKGRAY_BRUSH] = MakeStockBrush(DKGRAY_BRUSH, BS_SOLID, RGB(64, 64, 64));
  s[BLACK_BRUSH] = MakeStockBrush(BLACK_BRUSH, BS_SOLID, RGB(0, 0, 0));
  s[NULL_BRUSH] = MakeStockBrush(NULL_BRUSH, BS_NULL, 0);
  s[WHITE_PEN] = MakeStockPen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
  s[BLACK_PEN] = MakeStockPen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
  s[NULL_PEN] = MakeStockPen(NULL_PEN, PS_NULL, 0);
  s[OEM_FIXED_FONT] = MakeStockFont(OEM_FIXED_FONT, "Terminal", 12, 400, 1);
  s[ANSI_FIXED_FONT] = MakeStockFont(ANSI_FIXED_FONT, "Courier", 13, 400, 1);
  s[ANSI_VAR_FONT] = MakeStockFont(ANSI_VAR_FONT, "MS Sans Serif", 13, 400, 2);
  s[SYSTEM_FONT] = MakeStockFont(SYSTEM_FONT, "System", 16, 700, 2);
  s[DEVICE_DEFAULT_FONT] = MakeStockFont(DEVICE_DEFAULT_FONT, "System", 16, 700, 2);
  s[SYSTEM_FIXED_FONT] = MakeStockFont(SYSTEM_FIXED_FONT, "Fixedsys", 15, 400, 1);
  s[DEFAULT_GUI_FONT] = MakeStockFont(DEFAULT_GUI_FONT, "MS Shell Dlg", -11, 400, 0);
  {
    auto p = std::make_unique<PaletteObj>();
    static const BYTE sys[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (auto &c : sys) p->entries.push_back({c[0], c[1], c[2], 0});
    p->stock = true;
    p->stockIndex = DEFAULT_PALETTE;
    s[DEFAULT_PALETTE] = InsertObject(std::move(p));
  }
  s[DC_BRUSH] = MakeStockBrush(DC_BRUSH, BS_SOLID, RGB(255, 255, 255));
  s[DC_PEN] = MakeStockPen(DC_PEN, PS_SOLID, RGB(0, 0, 0));
  return s;
}

}  // namespace

HGDIOBJ StockObject(int i) {
  static const std::vector<HGDIOBJ> stock = MakeStock();
  if (i < 0 || i > STOCK_LAST) return nullptr;
  return stock[(size_t)i];
}

}  // namespace nx::gdi

using namespace nx::gdi;

HGDIOBJ WINAPI GetStockObject(int i) { return StockObject(i); }

// ---------------------------------------------------------------------------
// Pens.

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  int dash = iStyle & PS_STYLE_MASK;
  if (dash > PS_INSIDEFRAME) dash = PS_SOLID;  // GDI treats unknown styles as solid
  auto p = std::make_unique<PenObj>();
  p->style = p->logStyle = (DWORD)dash;
  p->width = cWidth == INT_MIN ? INT_MAX : std::abs(cWidth);  // abs(INT_MIN) does not exist
  // A wide styled pen is solid, as in GDI.
  if (p->width > 1 && dash >= PS_DASH && dash <= PS_DASHDOTDOT) p->style = PS_SOLID;
  p->color = color;
  return (HPEN)InsertObject(std::move(p));
}

HPEN WINAPI CreatePenIndirect(const LOGPEN *plpen) {
  if (!plpen) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreatePen((int)plpen->lopnStyle, plpen->lopnWidth.x, plpen->lopnColor);
}

HPEN WINAPI ExtCreatePen(DWORD iPenStyle, DWORD cWidth, const LOGBRUSH *plbrush, DWORD cStyle,
                         const DWORD *pstyle) {
  if (!plbrush) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DWORD dash = iPenStyle & PS_STYLE_MASK;
  bool geometric = (iPenStyle & PS_TYPE_MASK) == PS_GEOMETRIC;
  bool userStyle = dash == PS_USERSTYLE;
  if (dash > PS_ALTERNATE || (userStyle && (cStyle == 0 || cStyle > 16 || !pstyle)) ||
      (!userStyle && cStyle != 0) || (!geometric && cWidth != 1) ||
      (!geometric && plbrush->lbStyle != BS_SOLID)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_unique<PenObj>();
  p->kind = Kind::ExtPen;
  p->ext = true;
  p->style = p->logStyle = iPenStyle;
  p->width = geometric ? (int)std::min<DWORD>(cWidth, INT_MAX) : 0;
  p->color = plbrush->lbColor;
  p->brushStyle = plbrush->lbStyle;
  p->hatch = (ULONG)plbrush->lbHatch;
  if (plbrush->lbStyle == BS_NULL) p->style = (iPenStyle & ~PS_STYLE_MASK) | PS_NULL;
  if (userStyle) p->userStyle.assign(pstyle, pstyle + cStyle);
  if (plbrush->lbStyle == BS_PATTERN || plbrush->lbStyle == BS_DIBPATTERNPT) {
    // The pen keeps a copy of the pattern, as a brush would.
    HBRUSH tmp = CreateBrushIndirect(plbrush);
    auto *b = Lookup<BrushObj>(tmp, Kind::Brush);
    if (!b) return nullptr;
    p->dib = b->dib;
    p->dibUsage = b->usage;
    p->mono = b->mono;
    p->color = b->mono ? 0 : p->color;
    DeleteObject(tmp);
  }
  return (HPEN)InsertObject(std::move(p));
}

// ---------------------------------------------------------------------------
// Brushes.

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto b = std::make_unique<BrushObj>();
  b->style = BS_SOLID;
  b->color = color;
  return (HBRUSH)InsertObject(std::move(b));
}

HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color) {
  if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = std::make_unique<BrushObj>();
  b->style = BS_HATCHED;
  b->color = color;
  b->hatch = (ULONG)iHatch;
  return (HBRUSH)InsertObject(std::move(b));
}

namespace nx::gdi {
size_t PackedDibSize(const BITMAPINFO *bmi, size_t maxSize, UINT usage);
}

HBRUSH WINAPI CreateDIBPatternBrushPt(const void *lpPackedDIB, UINT iUsage) {
  const auto *bmi = static_cast<const BITMAPINFO *>(lpPackedDIB);
  size_t size = bmi ? PackedDibSize(bmi, SIZE_MAX, iUsage) : 0;
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = std::make_unique<BrushObj>();
  b->style = BS_DIBPATTERNPT;
  b->usage = iUsage;
  const auto *p = static_cast<const uint8_t *>(lpPackedDIB);
  b->dib.assign(p, p + size);
  return (HBRUSH)InsertObject(std::move(b));
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush) {
  if (!plbrush) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  switch (plbrush->lbStyle) {
    case BS_SOLID:
      return CreateSolidBrush(plbrush->lbColor);
    case BS_NULL: {
      auto b = std::make_unique<BrushObj>();
      b->style = BS_NULL;
      return (HBRUSH)InsertObject(std::move(b));
    }
    case BS_HATCHED:
      return CreateHatchBrush((int)plbrush->lbHatch, plbrush->lbColor);
    case BS_DIBPATTERNPT:
      return CreateDIBPatternBrushPt(reinterpret_cast<const void *>(plbrush->lbHatch),
                                     plbrush->lbColor & 0xFFFF);
    case BS_PATTERN:
      return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Fonts (resolution and metrics belong to the text module).

HFONT WINAPI CreateFontIndirectW(const LOGFONTW *lplf) {
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_unique<FontObj>();
  f->lf = *lplf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return (HFONT)InsertObject(std::move(f));
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
  LOGFONTW lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = (BYTE)(bItalic ? 1 : 0);
  lf.lfUnderline = (BYTE)(bUnderline ? 1 : 0);
  lf.lfStrikeOut = (BYTE)(bStrikeOut ? 1 : 0);
  lf.lfCharSet = (BYTE)iCharSet;
  lf.lfOutPrecision = (BYTE)iOutPrecision;
  lf.lfClipPrecision = (BYTE)iClipPrecision;
  lf.lfQuality = (BYTE)iQuality;
  lf.lfPitchAndFamily = (BYTE)iPitchAndFamily;
  for (int i = 0; pszFaceName && pszFaceName[i] && i < LF_FACESIZE - 1; ++i)
    lf.lfFaceName[i] = pszFaceName[i];
  return CreateFontIndirectW(&lf);
}

// ---------------------------------------------------------------------------
// Palettes: kept as data; every device is true colour.

HPALETTE WINAPI CreatePalette(const LOGPALETTE *plpal) {
  if (!plpal || plpal->palVersion != 0x300 || plpal->palNumEntries == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_unique<PaletteObj>();
  p->entries.assign(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
  return (HPALETTE)InsertObject(std::move(p));
}

UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries,
                              LPPALETTEENTRY pPalEntries) {
  auto *p = Lookup<PaletteObj>(hpal, Kind::Palette);
  if (!p) return 0;
  UINT n = (UINT)p->entries.size();
  if (!pPalEntries) return n;
  if (iStart >= n) return 0;
  UINT count = std::min(cEntries, n - iStart);
  std::copy_n(p->entries.begin() + iStart, count, pPalEntries);
  return count;
}

UINT WINAPI GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries,
                                    LPPALETTEENTRY pPalEntries) {
  // No device here has a palette (RC_PALETTE is never set): nothing is copied.
  if (!DcFromHandle(hdc)) return 0;
  return 0;
}

// ---------------------------------------------------------------------------
// GetObject.

namespace {

int CopyOut(const void *src, int size, int c, LPVOID pv) {
  if (!pv) return size;
  if (c <= 0) return 0;
  int n = std::min(c, size);
  std::memcpy(pv, src, (size_t)n);
  return n;
}

}  // namespace

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  GdiObject *o = LookupObject(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case Kind::Pen: {
      auto *p = static_cast<PenObj *>(o);
      LOGPEN lp{p->logStyle, {p->width, 0}, p->color};
      return CopyOut(&lp, sizeof lp, c, pv);
    }
    case Kind::ExtPen: {
      auto *p = static_cast<PenObj *>(o);
      size_t n = p->userStyle.size();
      std::vector<uint8_t> buf(offsetof(EXTLOGPEN, elpStyleEntry) + std::max<size_t>(n, 1) * 4);
      auto *e = reinterpret_cast<EXTLOGPEN *>(buf.data());
      e->elpPenStyle = p->logStyle;
      e->elpWidth = (DWORD)(p->Geometric() ? p->width : 1);
      e->elpBrushStyle = p->brushStyle;
      e->elpColor = p->color;
      e->elpHatch = p->hatch;
      e->elpNumEntries = (DWORD)n;
      for (size_t i = 0; i < n; ++i) e->elpStyleEntry[i] = p->userStyle[i];
      int size = (int)(offsetof(EXTLOGPEN, elpStyleEntry) + n * 4);
      return CopyOut(buf.data(), size, c, pv);
    }
    case Kind::Brush: {
      auto *b = static_cast<BrushObj *>(o);
      LOGBRUSH lb{b->style, b->color, b->hatch};
      if (b->style == BS_DIBPATTERNPT) lb.lbHatch = reinterpret_cast<ULONG_PTR>(b->dib.data());
      return CopyOut(&lb, sizeof lb, c, pv);
    }
    case Kind::Font:
      return CopyOut(&static_cast<FontObj *>(o)->lf, sizeof(LOGFONTW), c, pv);
    case Kind::Palette: {
      WORD n = (WORD)static_cast<PaletteObj *>(o)->entries.size();
      return CopyOut(&n, sizeof n, c, pv);
    }
    case Kind::Bitmap: {
      auto *b = static_cast<BitmapObj *>(o);
      DIBSECTION ds{};
      ds.dsBm.bmWidth = b->width;
      ds.dsBm.bmHeight = b->height;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = (WORD)b->bpp;
      ds.dsBm.bmWidthBytes = ((b->width * b->bpp + 15) / 16) * 2;
      if (b->dibSection) {
        ds.dsBm.bmWidthBytes = ((b->width * b->bpp + 31) / 32) * 4;
        ds.dsBm.bmBits = b->bits;
        std::memcpy(&ds.dsBmih, b->info.data(), sizeof(BITMAPINFOHEADER));
        if (pv && c >= (int)sizeof(DIBSECTION)) return CopyOut(&ds, sizeof ds, c, pv);
      }
      return CopyOut(&ds.dsBm, sizeof(BITMAP), c, pv);
    }
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
  }
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  GdiObject *o = LookupObject(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return (DWORD)o->kind;
}

// ---------------------------------------------------------------------------
// DeleteObject.

namespace {

bool StateHolds(const DcState &s, HGDIOBJ h) {
  return s.pen == h || s.brush == h || s.font == h || s.palette == h;
}

bool IsSelectedAnywhere(HGDIOBJ h) {
  for (Dc *dc : LiveDcs()) {
    if (StateHolds(dc->st, h) || dc->bitmap == h) return true;
    for (const DcState &s : dc->saved)
      if (StateHolds(s, h)) return true;
  }
  return false;
}

}  // namespace

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  GdiObject *o = LookupObject(ho);
  if (!o || o->kind == Kind::Dc || o->kind == Kind::MemDc || o->kind == Kind::EnhMetaDc ||
      o->kind == Kind::EnhMetaFile) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (o->stock) return TRUE;  // deleting a stock object is harmless
  if (IsSelectedAnywhere(ho)) return FALSE;
  // Metafiles that recorded the object record its deletion and free the slot.
  for (Dc *dc : LiveDcs()) {
    if (!dc->rec) continue;
    DWORD idx = dc->rec->IndexOf(ho);
    if (!idx) continue;
    dc->rec->Add<EMRDELETEOBJECT>(EMR_DELETEOBJECT)->ihObject = idx;
    dc->rec->Free(idx);
  }
  RemoveObject(ho);
  return TRUE;
}
