// The inside of the GDI layer: the object table, device contexts and the
// services other parts of the platform layer build on. This header is the
// contract with the text module (ExtTextOutW and friends) and the spooler
// (printer DCs); keep it stable.
//
// For the text module:
//   Dc *dc = nx::gdi::DcFromHandle(hdc);          // NULL (and ERROR_INVALID_HANDLE) if bad
//   dc->st.font, TextColor/BkMode/BkColor/TextAlign/charExtra/curPos in dc->st
//   nx::gdi::TextGraphicsMode(*dc): the graphics mode text follows
//   const LOGFONTW *lf = nx::gdi::SelectedLogFont(dc);
//   nx::gdi::Affine m = nx::gdi::LogicalToDevice(*dc);   // logical -> device pixels
//   if (dc->IsMetafile()): the selected font's creation record is already written
//     (SelectObject does it); append EMR_EXTTEXTOUTW with
//       uint8_t *rec = dc->rec->Append(EMR_EXTTEXTOUTW, size);   // zeroed, iType/nSize set
//     and add its device box with dc->rec->AddBounds(rect) (skip while dc->InPath()).
//   else: nx::gdi::RasterScope r(dc); if (cairo_t *cr = r.cr()) { ... }  // clip applied,
//     matrix = device pixels; draw in device pixels.
//   FontObj::textCache is a free slot for the text module's resolved font.
//
// For the spooler:
//   HDC nx::gdi::CreateSurfaceDC(cairo_surface_t *, const DeviceCaps &, const cairo_matrix_t &)
//     makes a DC over any Cairo surface (PDF pages: device pixels -> points);
//   nx::gdi::SetSurfaceDCTarget(hdc, surface, matrix) swaps the target (new page);
//   nx::gdi::ResetDcState(hdc) returns the attributes to their defaults.
//   CreateDCW calls nx::gdi::CreatePrinterDC() for every name other than DISPLAY
//   (spool/PrinterDC.cpp); the printer and its job hang on Dc::spool, so that
//   DeleteDC during a job drops the job.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace nx::gdi {

// ---------------------------------------------------------------------------
// Geometry.

// An affine transform in XFORM's convention: x' = x*m11 + y*m21 + dx.
struct Affine {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

  static Affine FromXform(const XFORM &x) { return {x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy}; }
  XFORM ToXform() const {
    return {(FLOAT)m11, (FLOAT)m12, (FLOAT)m21, (FLOAT)m22, (FLOAT)dx, (FLOAT)dy};
  }
  void Apply(double x, double y, double *ox, double *oy) const {
    *ox = x * m11 + y * m21 + dx;
    *oy = x * m12 + y * m22 + dy;
  }
  // This transform first, then b.
  Affine Then(const Affine &b) const {
    return {m11 * b.m11 + m12 * b.m21, m11 * b.m12 + m12 * b.m22,
            m21 * b.m11 + m22 * b.m21, m21 * b.m12 + m22 * b.m22,
            dx * b.m11 + dy * b.m21 + b.dx, dx * b.m12 + dy * b.m22 + b.dy};
  }
  double Det() const { return m11 * m22 - m12 * m21; }
  bool Invertible() const { return Det() != 0.0; }
  Affine Inverse() const;
  // No rotation or shear: axis-aligned rectangles stay axis-aligned.
  bool AxisAligned() const { return m12 == 0.0 && m21 == 0.0; }
  // Geometric mean of the axis scales (pen widths).
  double Scale() const;
  cairo_matrix_t ToCairo() const { return {m11, m12, m21, m22, dx, dy}; }
};

// A point in device pixels (doubles: the raster backend rounds where GDI does).
struct DPoint {
  double x, y;
};

// A path in device pixels, as PolyDraw describes one.
struct DevicePath {
  std::vector<DPoint> pts;
  std::vector<BYTE> types;  // PT_MOVETO / PT_LINETO / PT_BEZIERTO, | PT_CLOSEFIGURE
  void MoveTo(double x, double y) { Add(x, y, PT_MOVETO); }
  void LineTo(double x, double y) { Add(x, y, PT_LINETO); }
  void BezierTo(DPoint a, DPoint b, DPoint c) {
    Add(a.x, a.y, PT_BEZIERTO);
    Add(b.x, b.y, PT_BEZIERTO);
    Add(c.x, c.y, PT_BEZIERTO);
  }
  void Close() {
    if (!types.empty()) types.back() |= PT_CLOSEFIGURE;
  }
  void Add(double x, double y, BYTE t) {
    pts.push_back({x, y});
    types.push_back(t);
  }
  void Append(const DevicePath &o) {
    pts.insert(pts.end(), o.pts.begin(), o.pts.end());
    types.insert(types.end(), o.types.begin(), o.types.end());
  }
  bool Empty() const { return pts.empty(); }
  void Clear() {
    pts.clear();
    types.clear();
  }
  // Inclusive integer box of the points; false when empty.
  bool Box(RECTL *out) const;
};

// A clip region: a shared, copy-on-write Cairo region in device pixels.
class ClipRegion {
 public:
  ClipRegion() = default;
  explicit ClipRegion(cairo_region_t *owned) : r_(owned) {}
  ClipRegion(const ClipRegion &o) : r_(o.r_ ? cairo_region_reference(o.r_) : nullptr) {}
  ClipRegion &operator=(const ClipRegion &o) {
    if (this != &o) {
      Reset();
      r_ = o.r_ ? cairo_region_reference(o.r_) : nullptr;
    }
    return *this;
  }
  ~ClipRegion() { Reset(); }
  void Reset() {
    if (r_) cairo_region_destroy(r_);
    r_ = nullptr;
  }
  bool Active() const { return r_ != nullptr; }
  const cairo_region_t *get() const { return r_; }
  // A private copy to modify (creates an empty region when none).
  cairo_region_t *Mutable();

 private:
  cairo_region_t *r_ = nullptr;
};

// ---------------------------------------------------------------------------
// Objects.

enum class Kind : uint8_t {
  Pen = OBJ_PEN,
  Brush = OBJ_BRUSH,
  Dc = OBJ_DC,
  Palette = OBJ_PAL,
  Font = OBJ_FONT,
  Bitmap = OBJ_BITMAP,
  Region = OBJ_REGION,
  MemDc = OBJ_MEMDC,
  ExtPen = OBJ_EXTPEN,
  EnhMetaDc = OBJ_ENHMETADC,
  EnhMetaFile = OBJ_ENHMETAFILE,
};

struct GdiObject {
  explicit GdiObject(Kind k) : kind(k) {}
  virtual ~GdiObject() = default;
  Kind kind;
  bool stock = false;  // stock objects are never deleted
  int stockIndex = -1;
};

struct PenObj : GdiObject {
  PenObj() : GdiObject(Kind::Pen) {}
  DWORD style = PS_SOLID;  // full style word (type, cap, join, dash)
  DWORD logStyle = PS_SOLID;  // the style as created (GetObject, metafile records)
  int width = 0;           // logical units; 0 = one device pixel
  COLORREF color = 0;
  bool ext = false;        // created by ExtCreatePen
  UINT brushStyle = BS_SOLID;
  ULONG hatch = 0;
  std::vector<DWORD> userStyle;
  // A pattern pen's brush: packed DIB, its colour usage, monochrome (drawn
  // in the text and background colours).
  std::vector<uint8_t> dib;
  UINT dibUsage = DIB_RGB_COLORS;
  bool mono = false;
  int Dash() const { return (int)(style & PS_STYLE_MASK); }
  bool Geometric() const { return (style & PS_TYPE_MASK) == PS_GEOMETRIC; }
};

struct BrushObj : GdiObject {
  BrushObj() : GdiObject(Kind::Brush) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
  ULONG hatch = 0;
  UINT usage = DIB_RGB_COLORS;
  std::vector<uint8_t> dib;  // packed DIB (header, colours, bits) of a pattern brush
  bool mono = false;  // from a monochrome bitmap: 0 bits take the text colour, 1 bits the background
  cairo_surface_t *pattern = nullptr;  // decoded pattern, made on first use
  ~BrushObj() override;
};

struct FontObj : GdiObject {
  FontObj() : GdiObject(Kind::Font) {}
  LOGFONTW lf{};
  std::shared_ptr<void> textCache;  // owned by the text module
};

struct PaletteObj : GdiObject {
  PaletteObj() : GdiObject(Kind::Palette) {}
  std::vector<PALETTEENTRY> entries;
};

struct RegionObj : GdiObject {
  RegionObj() : GdiObject(Kind::Region) {}
  ~RegionObj() override { cairo_region_destroy(rgn); }
  cairo_region_t *rgn = cairo_region_create();
};

// RGNDATA of a region's rectangles (right and bottom exclusive), as
// GetRegionData gives it and EMR_EXTSELECTCLIPRGN records it.
std::vector<uint8_t> RegionData(const cairo_region_t *rgn);

// A bitmap is a Cairo image surface (RGB24, top-down). A DIB section also
// has the caller's bits in DIB layout: 32-bpp top-down and bottom-up DIBs
// share their memory with the surface (bottom-up through a flipping
// matrix); other depths are copied in before drawing and out after it.
struct BitmapObj : GdiObject {
  BitmapObj() : GdiObject(Kind::Bitmap) {}
  ~BitmapObj() override;
  int width = 0, height = 0, bpp = 32;
  cairo_surface_t *surface = nullptr;
  bool flipped = false;  // surface rows are bottom-up
  bool dibSection = false;
  bool shared = false;   // surface memory is the DIB bits
  void *bits = nullptr;  // DIB bits (DIB sections)
  std::vector<uint8_t> info;  // BITMAPINFO of the DIB section (header + colours)
  bool ownsBits = false;
  HDC selectedInto = nullptr;
  // Surface matrix: bitmap pixels -> surface coordinates.
  cairo_matrix_t PixelMatrix() const;
  void PullBits();  // DIB bits -> surface (non-shared DIB sections)
  void PushBits();  // surface -> DIB bits
};

// The object table. Handles carry a slot number and a generation, so a
// stale or made-up handle is recognised.
HGDIOBJ InsertObject(std::unique_ptr<GdiObject> obj);
GdiObject *LookupObject(HGDIOBJ h);
template <class T>
T *Lookup(HGDIOBJ h, Kind k) {
  GdiObject *o = LookupObject(h);
  return (o && o->kind == k) ? static_cast<T *>(o) : nullptr;
}
PenObj *LookupPen(HGDIOBJ h);  // pens and extended pens
void RemoveObject(HGDIOBJ h);

// ---------------------------------------------------------------------------
// Device contexts.

// The capabilities GetDeviceCaps answers from.
struct DeviceCaps {
  int technology = DT_RASDISPLAY;
  int horzRes = 1920, vertRes = 1440;   // drawable area, pixels
  int horzSize = 508, vertSize = 381;   // drawable area, millimetres
  int logPixelsX = 96, logPixelsY = 96;
  int physicalWidth = 0, physicalHeight = 0;      // printers: whole sheet, pixels
  int physicalOffsetX = 0, physicalOffsetY = 0;   // printers: printable area offset
  int bitsPixel = 32, planes = 1;
  int rasterCaps = RC_BITBLT | RC_BITMAP64 | RC_GDI20_OUTPUT | RC_DI_BITMAP | RC_DIBTODEV |
                   RC_BIGFONT | RC_STRETCHBLT | RC_FLOODFILL | RC_STRETCHDIB;
  int numFonts = 0;
  int desktopHorzRes = 1920, desktopVertRes = 1440;
};
DeviceCaps ScreenCaps();

struct DcState {
  HPEN pen = nullptr;
  HBRUSH brush = nullptr;
  HFONT font = nullptr;
  HPALETTE palette = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
  int charExtra = 0;
  int rop2 = R2_COPYPEN;
  int stretchMode = BLACKONWHITE;
  int polyFillMode = ALTERNATE;
  int arcDirection = AD_COUNTERCLOCKWISE;
  int graphicsMode = GM_COMPATIBLE;
  int mapMode = MM_TEXT;
  POINT winOrg{0, 0}, vpOrg{0, 0};
  SIZE winExt{1, 1}, vpExt{1, 1};
  XFORM world{1, 0, 0, 1, 0, 0};
  POINT curPos{0, 0};  // logical units
  POINT brushOrg{0, 0};
  FLOAT miterLimit = 10.0f;
  COLORREF dcBrushColor = RGB(255, 255, 255);
  COLORREF dcPenColor = RGB(0, 0, 0);
  ClipRegion clip;  // device pixels; inactive = no clipping
};

class EmfRecorder;

enum class DcType { Screen, Memory, Metafile, Surface };

struct Dc {
  DcType type = DcType::Screen;
  HDC handle = nullptr;
  DeviceCaps caps;
  DcState st;
  std::vector<DcState> saved;
  // Raster target: a Cairo surface and the matrix from device pixels to it.
  cairo_surface_t *surface = nullptr;
  cairo_t *cr = nullptr;
  cairo_matrix_t deviceMatrix{1, 0, 0, 1, 0, 0};
  HBITMAP bitmap = nullptr;  // memory DCs: the selected bitmap
  // Paths: between BeginPath and EndPath shapes go into `path`.
  bool inPath = false;
  bool pathClosed = false;  // EndPath done, path ready to fill/stroke
  DevicePath path;
  std::unique_ptr<EmfRecorder> rec;  // metafile DCs
  bool playing = false;  // a metafile is being played onto this DC
  // While a metafile's text record plays: the graphics mode it was written
  // in (0: the DC's own). The text then follows that mode's rules under the
  // DC's world transform.
  int textGraphicsMode = 0;
  std::shared_ptr<void> spool;  // printer DCs: the spooler's printer and job, freed with the DC

  bool IsMetafile() const { return type == DcType::Metafile; }
  bool InPath() const { return inPath; }
  ~Dc();
};

Dc *DcFromHandle(HDC hdc);
// The selected font's logical font (the stock font's when none was chosen).
const LOGFONTW *SelectedLogFont(const Dc *dc);
FontObj *SelectedFont(const Dc *dc);
// The graphics mode text is drawn in: a playing text record's, else the DC's.
inline int TextGraphicsMode(const Dc &dc) {
  return dc.textGraphicsMode ? dc.textGraphicsMode : dc.st.graphicsMode;
}
// Logical coordinates -> device pixels (world transform, then window/viewport).
Affine LogicalToDevice(const Dc &dc);
// Window/viewport part only.
Affine PageTransform(const DcState &st);
// Resets all attributes and selections to a new DC's.
void ResetDcState(HDC hdc);

// Raster access: a Cairo context on the DC's target with the clip applied
// and the matrix set to device pixels; bitmaps in other DIB layouts are
// synchronised around the scope. cr() is NULL for metafile DCs.
class RasterScope {
 public:
  explicit RasterScope(Dc *dc);
  ~RasterScope();
  RasterScope(const RasterScope &) = delete;
  RasterScope &operator=(const RasterScope &) = delete;
  cairo_t *cr() const { return cr_; }

 private:
  Dc *dc_;
  cairo_t *cr_ = nullptr;
  BitmapObj *bm_ = nullptr;
};

// Printer and other surface DCs.
HDC CreateSurfaceDC(cairo_surface_t *surface, const DeviceCaps &caps,
                    const cairo_matrix_t &deviceToSurface);
void SetSurfaceDCTarget(HDC hdc, cairo_surface_t *surface, const cairo_matrix_t &deviceToSurface);
// Implemented by the spooler (spool/PrinterDC.cpp).
HDC CreatePrinterDC(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const struct _devicemodeW *dm);

// ---------------------------------------------------------------------------
// Metafile recording: records are appended to one growing byte buffer.
class EmfRecorder {
 public:
  EmfRecorder();
  // A zeroed record of `size` bytes (rounded up to 4) with iType and nSize
  // set. The pointer is valid until the next Append.
  uint8_t *Append(DWORD type, size_t size);
  template <class T>
  T *Add(DWORD type, size_t size = sizeof(T)) {
    return reinterpret_cast<T *>(Append(type, size));
  }
  // Unions an inclusive device-pixel box into the header's rclBounds.
  void AddBounds(const RECTL &r);
  // Object table: the index of h in this metafile, 0 when not recorded.
  DWORD IndexOf(HGDIOBJ h) const;
  DWORD Allocate(HGDIOBJ h);  // lowest free slot
  void Free(DWORD index);
  std::vector<uint8_t> &Bytes() { return buf_; }
  DWORD Records() const { return records_; }
  const RECTL &Bounds() const { return bounds_; }
  WORD HandleCount() const { return (WORD)maxHandles_; }
  void SetHeaderSize(size_t n) { headerSize_ = n; }

  // Set by CreateEnhMetaFileW, used by CloseEnhMetaFile.
  std::string fileName;     // empty: memory only
  bool haveFrame = false;   // the caller gave the frame
  RECTL frame{0, 0, 0, 0};  // 0.01 mm, inclusive

 private:
  std::vector<uint8_t> buf_;
  DWORD records_ = 0;
  RECTL bounds_{0, 0, -1, -1};
  std::vector<HGDIOBJ> table_{nullptr};  // slot 0 is the metafile itself
  size_t maxHandles_ = 1;
  size_t headerSize_ = 0;
};

// Writes the object's creation record when the metafile has not seen it yet
// and returns its index (or the stock index with the high bit).
DWORD RecordObject(Dc *dc, HGDIOBJ h);
// Device box of a logical rectangle (inclusive corners, transformed).
RECTL DeviceBox(const Dc &dc, const POINT *pts, size_t n);
// The source of a metafile blit record: the source area as a packed DIB
// (may be empty), its size in pixels and the source DC's background colour.
struct BltSource {
  const uint8_t *dib;
  size_t size, infoSize;
  int w, h;
  COLORREF bkColor;
};
// Writes EMR_BITBLT, or EMR_STRETCHBLT when the source area's size differs
// from the destination's; src NULL for an operation without a source.
void WriteBltRecord(Dc *dc, int x, int y, int w, int h, const BltSource *src, DWORD rop);
// A device coordinate as a LONG, held at the type's ends (NaN gives 0).
inline LONG ClampToLong(double v) {
  if (!(v == v)) return 0;
  return (LONG)std::clamp(v, -2147483648.0, 2147483647.0);
}

// ---------------------------------------------------------------------------
// Enhanced metafiles.
struct EnhMetaFileObj : GdiObject {
  EnhMetaFileObj() : GdiObject(Kind::EnhMetaFile) {}
  std::vector<uint8_t> bytes;  // validated: header first, EOF last
  const ENHMETAHEADER *Header() const {
    return reinterpret_cast<const ENHMETAHEADER *>(bytes.data());
  }
};
// Checks a metafile image: framing, header, sizes. False with a reason.
bool ValidateEmf(const uint8_t *data, size_t size, const char **why);
// A metafile object over validated bytes (the handle, or NULL).
HENHMETAFILE MakeEnhMetaFile(std::vector<uint8_t> bytes);

// ---------------------------------------------------------------------------
// Implementation details shared between the gdi source files.
// Every live DC (for DeleteObject's checks and metafile bookkeeping).
std::vector<Dc *> LiveDcs();
HGDIOBJ StockObject(int i);

}  // namespace nx::gdi
