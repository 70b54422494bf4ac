// Device contexts: creation, capabilities, selection, attributes, saved
// states, coordinate spaces and the raster scope.
#include <algorithm>
#include <cmath>

#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

namespace {

std::vector<Dc *> &DcList() {
  static std::vector<Dc *> *list = new std::vector<Dc *>();
  return *list;
}

// A DC lives in the object table; this wrapper owns it.
struct DcHolder : GdiObject {
  explicit DcHolder(Kind k) : GdiObject(k), dc(std::make_unique<Dc>()) {}
  std::unique_ptr<Dc> dc;
};

Kind KindOf(DcType t) {
  switch (t) {
    case DcType::Memory:
      return Kind::MemDc;
    case DcType::Metafile:
      return Kind::EnhMetaDc;
    default:
      return Kind::Dc;
  }
}

HBITMAP DefaultBitmap();

}  // namespace

Dc::~Dc() {
  if (cr) cairo_destroy(cr);
  if (surface) cairo_surface_destroy(surface);
}

std::vector<Dc *> LiveDcs() { return DcList(); }

Dc *DcFromHandle(HDC hdc) {
  GdiObject *o = LookupObject(hdc);
  if (!o || (o->kind != Kind::Dc && o->kind != Kind::MemDc && o->kind != Kind::EnhMetaDc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<DcHolder *>(o)->dc.get();
}

DeviceCaps ScreenCaps() { return DeviceCaps{}; }

static void InitState(Dc *dc) {
  DcState fresh;
  fresh.pen = (HPEN)StockObject(BLACK_PEN);
  fresh.brush = (HBRUSH)StockObject(WHITE_BRUSH);
  fresh.font = (HFONT)StockObject(SYSTEM_FONT);
  fresh.palette = (HPALETTE)StockObject(DEFAULT_PALETTE);
  dc->st = fresh;
  dc->saved.clear();
  dc->inPath = dc->pathClosed = false;
  dc->path.Clear();
}

void ResetDcState(HDC hdc) {
  if (Dc *dc = DcFromHandle(hdc)) InitState(dc);
}

// Creates a DC of the given type and registers it.
Dc *NewDc(DcType type, HDC *out) {
  auto holder = std::make_unique<DcHolder>(KindOf(type));
  Dc *dc = holder->dc.get();
  dc->type = type;
  HDC h = (HDC)InsertObject(std::move(holder));
  if (!h) return nullptr;
  dc->handle = h;
  InitState(dc);
  DcList().push_back(dc);
  *out = h;
  return dc;
}

void DestroyDc(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return;
  auto &list = DcList();
  list.erase(std::remove(list.begin(), list.end(), dc), list.end());
  if (auto *bm = Lookup<BitmapObj>(dc->bitmap, Kind::Bitmap)) bm->selectedInto = nullptr;
  RemoveObject(hdc);
}

static void SetTarget(Dc *dc, cairo_surface_t *surface, const cairo_matrix_t &m) {
  if (dc->cr) cairo_destroy(dc->cr);
  if (dc->surface) cairo_surface_destroy(dc->surface);
  dc->cr = nullptr;
  dc->surface = surface ? cairo_surface_reference(surface) : nullptr;
  if (surface) {
    dc->cr = cairo_create(surface);
    cairo_set_antialias(dc->cr, CAIRO_ANTIALIAS_NONE);
  }
  dc->deviceMatrix = m;
}

HDC CreateSurfaceDC(cairo_surface_t *surface, const DeviceCaps &caps,
                    const cairo_matrix_t &deviceToSurface) {
  HDC h = nullptr;
  Dc *dc = NewDc(DcType::Surface, &h);
  if (!dc) return nullptr;
  dc->caps = caps;
  SetTarget(dc, surface, deviceToSurface);
  return h;
}

void SetSurfaceDCTarget(HDC hdc, cairo_surface_t *surface, const cairo_matrix_t &deviceToSurface) {
  Dc *dc = DcFromHandle(hdc);
  if (dc && dc->type == DcType::Surface) SetTarget(dc, surface, deviceToSurface);
}

void BindBitmap(Dc *dc, BitmapObj *bm) {
  cairo_matrix_t m = bm->PixelMatrix();
  SetTarget(dc, bm->surface, m);
}

// ---------------------------------------------------------------------------
// Transforms.

Affine Affine::Inverse() const {
  double d = Det();
  if (d == 0.0) return {};
  Affine r{m22 / d, -m12 / d, -m21 / d, m11 / d, 0, 0};
  r.dx = -(dx * r.m11 + dy * r.m21);
  r.dy = -(dx * r.m12 + dy * r.m22);
  return r;
}

double Affine::Scale() const { return std::sqrt(std::fabs(Det())); }

Affine PageTransform(const DcState &st) {
  double sx = 1, sy = 1;
  if (st.mapMode != MM_TEXT) {
    sx = (double)st.vpExt.cx / (st.winExt.cx ? st.winExt.cx : 1);
    sy = (double)st.vpExt.cy / (st.winExt.cy ? st.winExt.cy : 1);
  }
  return {sx, 0, 0, sy, st.vpOrg.x - st.winOrg.x * sx, st.vpOrg.y - st.winOrg.y * sy};
}

Affine LogicalToDevice(const Dc &dc) {
  Affine page = PageTransform(dc.st);
  if (dc.st.graphicsMode != GM_ADVANCED) return page;
  return Affine::FromXform(dc.st.world).Then(page);
}

// ---------------------------------------------------------------------------
// Raster scope.

RasterScope::RasterScope(Dc *dc) : dc_(dc) {
  if (!dc || !dc->cr) return;
  if (dc->type == DcType::Memory) {
    bm_ = Lookup<BitmapObj>(dc->bitmap, Kind::Bitmap);
    if (bm_) bm_->PullBits();
  }
  cr_ = dc->cr;
  cairo_save(cr_);
  cairo_set_matrix(cr_, &dc->deviceMatrix);
  if (const cairo_region_t *r = dc->st.clip.get()) {
    int n = cairo_region_num_rectangles(r);
    cairo_new_path(cr_);
    for (int i = 0; i < n; ++i) {
      cairo_rectangle_int_t rc;
      cairo_region_get_rectangle(r, i, &rc);
      cairo_rectangle(cr_, rc.x, rc.y, rc.width, rc.height);
    }
    cairo_clip(cr_);
  }
  cairo_new_path(cr_);
}

RasterScope::~RasterScope() {
  if (!cr_) return;
  cairo_restore(cr_);
  if (bm_) bm_->PushBits();
}

}  // namespace nx::gdi

using namespace nx::gdi;

namespace nx::gdi {
namespace {

struct DefaultBitmapHolder {
  HBITMAP h;
};

HBITMAP DefaultBitmap() {
  // The 1x1 monochrome bitmap every new memory DC starts with.
  static HBITMAP h = CreateBitmap(1, 1, 1, 1, nullptr);
  if (auto *b = Lookup<BitmapObj>(h, Kind::Bitmap)) b->stock = true;
  return h;
}

}  // namespace
}  // namespace nx::gdi

// ---------------------------------------------------------------------------
// Creation.

HWND WINAPI GetDesktopWindow() { return reinterpret_cast<HWND>((uintptr_t)0x10010); }

HDC WINAPI GetDC(HWND hWnd) {
  HDC h = nullptr;
  Dc *dc = NewDc(DcType::Screen, &h);
  if (dc) dc->caps = ScreenCaps();
  return h;
}

HDC WINAPI GetWindowDC(HWND hWnd) { return GetDC(hWnd); }

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
  Dc *dc = DcFromHandle(hDC);
  if (!dc || dc->type != DcType::Screen) return 0;
  DestroyDc(hDC);
  return 1;
}

static bool IsDisplayName(LPCWSTR s) {
  static const char kDisplay[] = "DISPLAY";
  if (!s) return false;
  size_t i = 0;
  for (; kDisplay[i]; ++i) {
    WCHAR c = s[i];
    if (c >= 'a' && c <= 'z') c = (WCHAR)(c - 32);
    if (c != (WCHAR)kDisplay[i]) return false;
  }
  return s[i] == 0;
}

HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort,
                     const struct _devicemodeW *pdm) {
  if (IsDisplayName(pwszDriver) || (!pwszDriver && IsDisplayName(pwszDevice))) return GetDC(nullptr);
  if (!pwszDevice && !pwszDriver) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreatePrinterDC(pwszDriver, pwszDevice, pszPort, pdm);
}

HDC WINAPI CreateICW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort,
                     const struct _devicemodeW *pdm) {
  return CreateDCW(pszDriver, pszDevice, pszPort, pdm);
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  Dc *ref = nullptr;
  if (hdc && !(ref = DcFromHandle(hdc))) return nullptr;
  HBITMAP def = DefaultBitmap();
  HDC h = nullptr;
  Dc *dc = NewDc(DcType::Memory, &h);
  if (!dc) return nullptr;
  dc->caps = ref ? ref->caps : ScreenCaps();
  dc->caps.technology = DT_RASDISPLAY;
  dc->bitmap = def;
  if (auto *bm = Lookup<BitmapObj>(def, Kind::Bitmap)) BindBitmap(dc, bm);
  return h;
}

BOOL WINAPI DeleteDC(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (dc->IsMetafile()) {
    // An unfinished recording is dropped.
    HENHMETAFILE h = CloseEnhMetaFile(hdc);
    DeleteEnhMetaFile(h);
    return TRUE;
  }
  DestroyDc(hdc);
  return TRUE;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return 0;
  const DeviceCaps &c = dc->caps;
  switch (index) {
    case DRIVERVERSION:
      return 0x4000;
    case TECHNOLOGY:
      return c.technology;
    case HORZSIZE:
      return c.horzSize;
    case VERTSIZE:
      return c.vertSize;
    case HORZRES:
      return c.horzRes;
    case VERTRES:
      return c.vertRes;
    case BITSPIXEL:
      return c.bitsPixel;
    case PLANES:
      return c.planes;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS:
      return -1;
    case NUMFONTS:
      return c.numFonts;
    case CURVECAPS:
      return 0xFF;
    case LINECAPS:
      return 0xFE;
    case POLYGONALCAPS:
      return 0xFF;
    case TEXTCAPS:
      return 0x7807;
    case CLIPCAPS:
      return CP_RECTANGLE;
    case RASTERCAPS:
      return c.rasterCaps;
    case ASPECTX:
    case ASPECTY:
      return 36;
    case ASPECTXY:
      return 51;
    case LOGPIXELSX:
      return c.logPixelsX;
    case LOGPIXELSY:
      return c.logPixelsY;
    case SIZEPALETTE:
    case NUMRESERVED:
      return 0;
    case COLORRES:
      return 24;
    case PHYSICALWIDTH:
      return c.physicalWidth;
    case PHYSICALHEIGHT:
      return c.physicalHeight;
    case PHYSICALOFFSETX:
      return c.physicalOffsetX;
    case PHYSICALOFFSETY:
      return c.physicalOffsetY;
    case VREFRESH:
      return c.technology == DT_RASDISPLAY ? 60 : 0;
    case DESKTOPHORZRES:
      return c.desktopHorzRes;
    case DESKTOPVERTRES:
      return c.desktopVertRes;
    case BLTALIGNMENT:
      return 0;
    default:
      return 0;
  }
}

BOOL WINAPI GdiFlush() { return TRUE; }

// ---------------------------------------------------------------------------
// Selection.

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  Dc *dc = DcFromHandle(hdc);
  GdiObject *o = LookupObject(h);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ *slot = nullptr;
  switch (o->kind) {
    case Kind::Pen:
    case Kind::ExtPen:
      slot = (HGDIOBJ *)&dc->st.pen;
      break;
    case Kind::Brush:
      slot = (HGDIOBJ *)&dc->st.brush;
      break;
    case Kind::Font:
      slot = (HGDIOBJ *)&dc->st.font;
      break;
    case Kind::Region: {
      int r = SelectClipRgn(hdc, (HRGN)h);
      return r == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>((intptr_t)r);
    }
    case Kind::Bitmap: {
      auto *bm = static_cast<BitmapObj *>(o);
      if (dc->type != DcType::Memory) return nullptr;
      if (bm->selectedInto && bm->selectedInto != hdc && !bm->stock) return nullptr;
      HGDIOBJ old = dc->bitmap;
      if (auto *ob = Lookup<BitmapObj>(old, Kind::Bitmap)) ob->selectedInto = nullptr;
      dc->bitmap = (HBITMAP)h;
      bm->selectedInto = hdc;
      BindBitmap(dc, bm);
      return old;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  HGDIOBJ old = *slot;
  *slot = h;
  if (dc->rec) {
    DWORD idx = RecordObject(dc, h);
    dc->rec->Add<EMRSELECTOBJECT>(EMR_SELECTOBJECT)->ihObject = idx;
  }
  return old;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
      return dc->st.pen;
    case OBJ_BRUSH:
      return dc->st.brush;
    case OBJ_FONT:
      return dc->st.font;
    case OBJ_PAL:
      return dc->st.palette;
    case OBJ_BITMAP:
      return dc->bitmap;
    default:
      return nullptr;
  }
}

namespace nx::gdi {

FontObj *SelectedFont(const Dc *dc) {
  auto *f = Lookup<FontObj>(dc->st.font, Kind::Font);
  return f ? f : Lookup<FontObj>(StockObject(SYSTEM_FONT), Kind::Font);
}

const LOGFONTW *SelectedLogFont(const Dc *dc) {
  FontObj *f = SelectedFont(dc);
  return f ? &f->lf : nullptr;
}

}  // namespace nx::gdi

HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !Lookup<PaletteObj>(hPal, Kind::Palette)) return nullptr;
  HPALETTE old = dc->st.palette;
  dc->st.palette = hPal;
  if (dc->rec) {
    DWORD idx = RecordObject(dc, hPal);
    dc->rec->Add<EMRSELECTPALETTE>(EMR_SELECTPALETTE)->ihPal = idx;
  }
  return old;
}

UINT WINAPI RealizePalette(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return GDI_ERROR;
  if (dc->rec) dc->rec->Add<EMRREALIZEPALETTE>(EMR_REALIZEPALETTE);
  return 0;
}

COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return CLR_INVALID;
  std::swap(dc->st.dcBrushColor, color);
  return color;
}

COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return CLR_INVALID;
  std::swap(dc->st.dcPenColor, color);
  return color;
}

COLORREF WINAPI GetDCBrushColor(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.dcBrushColor : CLR_INVALID;
}

COLORREF WINAPI GetDCPenColor(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.dcPenColor : CLR_INVALID;
}

// ---------------------------------------------------------------------------
// Attributes. Each setter records its record on a metafile DC.

namespace {

template <class T>
void RecordMode(Dc *dc, DWORD type, DWORD value) {
  if (dc->rec) dc->rec->Add<EMRSETMAPMODE>(type)->iMode = value;
}

void RecordColor(Dc *dc, DWORD type, COLORREF c) {
  if (dc->rec) dc->rec->Add<EMRSETTEXTCOLOR>(type)->crColor = c;
}

// Shared body of the integer mode setters: checks the DC and the range.
int SetIntMode(HDC hdc, int Dc::*, int DcState::*field, int value, int lo, int hi, DWORD emr) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return 0;
  if (value < lo || value > hi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int old = dc->st.*field;
  dc->st.*field = value;
  if (emr) RecordMode<EMRSETMAPMODE>(dc, emr, (DWORD)value);
  return old;
}

int GetIntMode(HDC hdc, int DcState::*field) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.*field : 0;
}

}  // namespace

int WINAPI SetBkMode(HDC hdc, int mode) {
  return SetIntMode(hdc, nullptr, &DcState::bkMode, mode, TRANSPARENT, OPAQUE, EMR_SETBKMODE);
}
int WINAPI GetBkMode(HDC hdc) { return GetIntMode(hdc, &DcState::bkMode); }
int WINAPI SetROP2(HDC hdc, int rop2) {
  return SetIntMode(hdc, nullptr, &DcState::rop2, rop2, R2_BLACK, R2_WHITE, EMR_SETROP2);
}
int WINAPI GetROP2(HDC hdc) { return GetIntMode(hdc, &DcState::rop2); }
int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  return SetIntMode(hdc, nullptr, &DcState::stretchMode, mode, BLACKONWHITE, HALFTONE,
                    EMR_SETSTRETCHBLTMODE);
}
int WINAPI GetStretchBltMode(HDC hdc) { return GetIntMode(hdc, &DcState::stretchMode); }
int WINAPI SetPolyFillMode(HDC hdc, int mode) {
  return SetIntMode(hdc, nullptr, &DcState::polyFillMode, mode, ALTERNATE, WINDING,
                    EMR_SETPOLYFILLMODE);
}
int WINAPI GetPolyFillMode(HDC hdc) { return GetIntMode(hdc, &DcState::polyFillMode); }
int WINAPI SetArcDirection(HDC hdc, int dir) {
  return SetIntMode(hdc, nullptr, &DcState::arcDirection, dir, AD_COUNTERCLOCKWISE, AD_CLOCKWISE,
                    EMR_SETARCDIRECTION);
}
int WINAPI GetArcDirection(HDC hdc) { return GetIntMode(hdc, &DcState::arcDirection); }
int WINAPI GetGraphicsMode(HDC hdc) { return GetIntMode(hdc, &DcState::graphicsMode); }
int WINAPI GetMapMode(HDC hdc) { return GetIntMode(hdc, &DcState::mapMode); }

// No record: playback runs in GM_ADVANCED and text records carry the mode.
int WINAPI SetGraphicsMode(HDC hdc, int iMode) {
  return SetIntMode(hdc, nullptr, &DcState::graphicsMode, iMode, GM_COMPATIBLE, GM_ADVANCED, 0);
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return CLR_INVALID;
  std::swap(dc->st.bkColor, color);
  RecordColor(dc, EMR_SETBKCOLOR, dc->st.bkColor);
  return color;
}
COLORREF WINAPI GetBkColor(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.bkColor : CLR_INVALID;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return CLR_INVALID;
  std::swap(dc->st.textColor, color);
  RecordColor(dc, EMR_SETTEXTCOLOR, dc->st.textColor);
  return color;
}
COLORREF WINAPI GetTextColor(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.textColor : CLR_INVALID;
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return GDI_ERROR;
  UINT old = dc->st.textAlign;
  dc->st.textAlign = align & TA_MASK;
  RecordMode<EMRSETTEXTALIGN>(dc, EMR_SETTEXTALIGN, dc->st.textAlign);
  return old;
}
UINT WINAPI GetTextAlign(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.textAlign : GDI_ERROR;
}

// Not recorded: the text module folds the extra spacing into the Dx array.
int WINAPI SetTextCharacterExtra(HDC hdc, int extra) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return (int)0x80000000;
  std::swap(dc->st.charExtra, extra);
  return extra;
}
int WINAPI GetTextCharacterExtra(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  return dc ? dc->st.charExtra : (int)0x80000000;
}

BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->st.brushOrg;
  dc->st.brushOrg = {x, y};
  if (dc->rec) dc->rec->Add<EMRSETBRUSHORGEX>(EMR_SETBRUSHORGEX)->ptlOrigin = {x, y};
  return TRUE;
}

BOOL WINAPI SetMiterLimit(HDC hdc, FLOAT limit, FLOAT *old) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || limit < 1.0f) return FALSE;
  if (old) *old = dc->st.miterLimit;
  dc->st.miterLimit = limit;
  if (dc->rec) dc->rec->Add<EMRSETMITERLIMIT>(EMR_SETMITERLIMIT)->eMiterLimit = limit;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Saved states.

int WINAPI SaveDC(HDC hdc) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  if (dc->rec) dc->rec->Add<EMRSAVEDC>(EMR_SAVEDC);
  return (int)dc->saved.size();
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  int count = (int)dc->saved.size();
  int level = nSavedDC < 0 ? count + 1 + nSavedDC : nSavedDC;
  if (nSavedDC == 0 || level < 1 || level > count) return FALSE;
  dc->st = dc->saved[(size_t)level - 1];
  dc->saved.resize((size_t)level - 1);
  if (dc->rec) dc->rec->Add<EMRRESTOREDC>(EMR_RESTOREDC)->iRelative = level - count - 1;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Coordinate spaces.

namespace {

// Window and viewport extents of the fixed map modes, from the device size.
void FixedExtents(Dc *dc, int mode) {
  DcState &s = dc->st;
  const DeviceCaps &c = dc->caps;
  int perMm10 = 0;  // logical units per 10 mm
  switch (mode) {
    case MM_LOMETRIC:
      perMm10 = 100;
      break;
    case MM_HIMETRIC:
      perMm10 = 1000;
      break;
    case MM_LOENGLISH:
      perMm10 = 0;
      break;
    default:
      break;
  }
  s.vpExt = {c.horzRes, -c.vertRes};
  if (perMm10) {
    s.winExt = {c.horzSize * perMm10 / 10, c.vertSize * perMm10 / 10};
  } else {
    double unitsPerInch = mode == MM_LOENGLISH ? 100 : mode == MM_HIENGLISH ? 1000 : 1440;
    s.winExt = {(LONG)std::lround(c.horzSize * unitsPerInch / 25.4),
                (LONG)std::lround(c.vertSize * unitsPerInch / 25.4)};
  }
}

// MM_ISOTROPIC: one logical unit is as long on both axes. The viewport
// extent of the axis that would stretch more is shrunk to the other axis's
// scale (in millimetres, for devices whose pixels are not square); both
// extents keep their signs, so a negative extent still flips its axis.
void FixIsotropic(const DeviceCaps &c, DcState &s) {
  if (s.mapMode != MM_ISOTROPIC || !s.winExt.cx || !s.winExt.cy) return;
  double mmX = c.horzRes > 0 && c.horzSize > 0 ? (double)c.horzSize / c.horzRes : 1.0;
  double mmY = c.vertRes > 0 && c.vertSize > 0 ? (double)c.vertSize / c.vertRes : 1.0;
  double xdim = std::fabs((double)s.vpExt.cx * mmX / s.winExt.cx);
  double ydim = std::fabs((double)s.vpExt.cy * mmY / s.winExt.cy);
  if (xdim > ydim) {
    LONG v = ClampToLong(std::round(s.vpExt.cx * ydim / xdim));
    s.vpExt.cx = v ? v : (s.vpExt.cx < 0 ? -1 : 1);
  } else if (ydim > xdim) {
    LONG v = ClampToLong(std::round(s.vpExt.cy * xdim / ydim));
    s.vpExt.cy = v ? v : (s.vpExt.cy < 0 ? -1 : 1);
  }
}

void RecordPoint(Dc *dc, DWORD type, LONG x, LONG y) {
  if (dc->rec) dc->rec->Add<EMRSETVIEWPORTORGEX>(type)->ptlOrigin = {x, y};
}

void RecordSize(Dc *dc, DWORD type, LONG cx, LONG cy) {
  if (dc->rec) dc->rec->Add<EMRSETVIEWPORTEXTEX>(type)->szlExtent = {cx, cy};
}

}  // namespace

int WINAPI SetMapMode(HDC hdc, int iMode) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return 0;
  if (iMode < MM_TEXT || iMode > MM_ANISOTROPIC) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int old = dc->st.mapMode;
  if (dc->rec) dc->rec->Add<EMRSETMAPMODE>(EMR_SETMAPMODE)->iMode = (DWORD)iMode;
  if (iMode == old && iMode != MM_ISOTROPIC && iMode != MM_ANISOTROPIC) return old;
  dc->st.mapMode = iMode;
  if (iMode == MM_TEXT) {
    dc->st.winExt = dc->st.vpExt = {1, 1};
  } else if (iMode != MM_ISOTROPIC && iMode != MM_ANISOTROPIC) {
    FixedExtents(dc, iMode);
  } else if (old == MM_TEXT) {
    dc->st.winExt = dc->st.vpExt = {1, 1};
  }
  FixIsotropic(dc->caps, dc->st);
  return old;
}

BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->st.winOrg;
  dc->st.winOrg = {x, y};
  RecordPoint(dc, EMR_SETWINDOWORGEX, x, y);
  return TRUE;
}

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->st.vpOrg;
  dc->st.vpOrg = {x, y};
  RecordPoint(dc, EMR_SETVIEWPORTORGEX, x, y);
  return TRUE;
}

BOOL WINAPI OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  POINT o = dc->st.vpOrg;
  return SetViewportOrgEx(hdc, o.x + x, o.y + y, lppt);
}

BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  POINT o = dc->st.winOrg;
  return SetWindowOrgEx(hdc, o.x + x, o.y + y, lppt);
}

static BOOL SetExtent(HDC hdc, int x, int y, LPSIZE lpsz, bool window) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  SIZE &ext = window ? dc->st.winExt : dc->st.vpExt;
  if (lpsz) *lpsz = ext;
  RecordSize(dc, window ? EMR_SETWINDOWEXTEX : EMR_SETVIEWPORTEXTEX, x, y);
  if (dc->st.mapMode != MM_ISOTROPIC && dc->st.mapMode != MM_ANISOTROPIC) return TRUE;
  if (x == 0 || y == 0) return FALSE;
  ext = {x, y};
  FixIsotropic(dc->caps, dc->st);
  return TRUE;
}

BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
  return SetExtent(hdc, x, y, lpsz, true);
}
BOOL WINAPI SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
  return SetExtent(hdc, x, y, lpsz, false);
}

static BOOL ScaleExtent(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz, bool window) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !xd || !yd) return FALSE;
  SIZE e = window ? dc->st.winExt : dc->st.vpExt;
  if (lpsz) *lpsz = e;
  if (dc->rec) {
    auto *r = dc->rec->Add<EMRSCALEVIEWPORTEXTEX>(window ? EMR_SCALEWINDOWEXTEX
                                                         : EMR_SCALEVIEWPORTEXTEX);
    r->xNum = xn;
    r->xDenom = xd;
    r->yNum = yn;
    r->yDenom = yd;
  }
  if (dc->st.mapMode != MM_ISOTROPIC && dc->st.mapMode != MM_ANISOTROPIC) return TRUE;
  LONG cx = e.cx * xn / xd, cy = e.cy * yn / yd;
  if (!cx || !cy) return FALSE;
  (window ? dc->st.winExt : dc->st.vpExt) = {cx, cy};
  FixIsotropic(dc->caps, dc->st);
  return TRUE;
}

BOOL WINAPI ScaleViewportExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz) {
  return ScaleExtent(hdc, xn, xd, yn, yd, lpsz, false);
}
BOOL WINAPI ScaleWindowExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz) {
  return ScaleExtent(hdc, xn, xd, yn, yd, lpsz, true);
}

BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT p) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !p) return FALSE;
  *p = dc->st.winOrg;
  return TRUE;
}
BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT p) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !p) return FALSE;
  *p = dc->st.vpOrg;
  return TRUE;
}
BOOL WINAPI GetWindowExtEx(HDC hdc, LPSIZE s) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !s) return FALSE;
  *s = dc->st.winExt;
  return TRUE;
}
BOOL WINAPI GetViewportExtEx(HDC hdc, LPSIZE s) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !s) return FALSE;
  *s = dc->st.vpExt;
  return TRUE;
}

BOOL WINAPI SetWorldTransform(HDC hdc, const XFORM *lpxf) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !lpxf || dc->st.graphicsMode != GM_ADVANCED) return FALSE;
  if (!Affine::FromXform(*lpxf).Invertible()) return FALSE;
  dc->st.world = *lpxf;
  if (dc->rec) dc->rec->Add<EMRSETWORLDTRANSFORM>(EMR_SETWORLDTRANSFORM)->xform = *lpxf;
  return TRUE;
}

BOOL WINAPI GetWorldTransform(HDC hdc, LPXFORM lpxf) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || !lpxf) return FALSE;
  *lpxf = dc->st.world;
  return TRUE;
}

BOOL WINAPI ModifyWorldTransform(HDC hdc, const XFORM *lpxf, DWORD mode) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || dc->st.graphicsMode != GM_ADVANCED) return FALSE;
  Affine cur = Affine::FromXform(dc->st.world), res;
  switch (mode) {
    case MWT_IDENTITY:
      break;
    case MWT_LEFTMULTIPLY:
      if (!lpxf) return FALSE;
      res = Affine::FromXform(*lpxf).Then(cur);
      break;
    case MWT_RIGHTMULTIPLY:
      if (!lpxf) return FALSE;
      res = cur.Then(Affine::FromXform(*lpxf));
      break;
    default:
      return FALSE;
  }
  if (!res.Invertible()) return FALSE;
  dc->st.world = res.ToXform();
  if (dc->rec) {
    auto *r = dc->rec->Add<EMRMODIFYWORLDTRANSFORM>(EMR_MODIFYWORLDTRANSFORM);
    r->xform = lpxf ? *lpxf : XFORM{1, 0, 0, 1, 0, 0};
    r->iMode = mode;
  }
  return TRUE;
}

BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || (c > 0 && !lppt)) return FALSE;
  Affine m = LogicalToDevice(*dc);
  for (int i = 0; i < c; ++i) {
    double x, y;
    m.Apply(lppt[i].x, lppt[i].y, &x, &y);
    lppt[i] = {(LONG)std::lround(x), (LONG)std::lround(y)};
  }
  return TRUE;
}

BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || (c > 0 && !lppt)) return FALSE;
  Affine m = LogicalToDevice(*dc);
  if (!m.Invertible()) return FALSE;
  m = m.Inverse();
  for (int i = 0; i < c; ++i) {
    double x, y;
    m.Apply(lppt[i].x, lppt[i].y, &x, &y);
    lppt[i] = {(LONG)std::lround(x), (LONG)std::lround(y)};
  }
  return TRUE;
}
