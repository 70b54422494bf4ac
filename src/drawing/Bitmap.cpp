// NxBitmap: a picture file at its natural size, stretched into a rectangle,
// with one side derived from its aspect ratio, or fitted into a box. With
// UseDIB the picture goes through a device-independent bitmap
// (StretchDIBits); without it through the surface's bitmap drawing, which
// also leaves a transparent colour undrawn.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "drawing/Drawing.h"
#include "drawing/Picture.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Units.h"

namespace nx {
namespace {

// Transparent pictures are drawn as their opaque runs; beyond this many the
// picture is drawn opaque instead (a page would otherwise hold a record per
// scattered pixel).
constexpr size_t kMaxTransparentRuns = 100000;

// Sums and differences of device coordinates are taken in double and held
// at LONG's ends, so extreme corners on a fine printer cannot overflow.
LONG ToLong(double v) { return static_cast<LONG>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0)); }

// The extent from a to b.
LONG Span(LONG a, LONG b) { return ToLong(double(b) - a); }

// A GDI bitmap holding a picture, deleted with the object.
class TGdiBitmap {
 public:
  explicit TGdiBitmap(const TPicture &pic) {
    BITMAPINFO bmi{};
    bmi.bmiHeader = pic.Header();
    void *bits = nullptr;
    handle_ = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!handle_ || !bits) throw ENxError(nxeGeneral, "No memory for a bitmap of the picture");
    std::copy(pic.Bits().begin(), pic.Bits().end(), static_cast<BYTE *>(bits));
  }
  ~TGdiBitmap() { DeleteObject(handle_); }
  TGdiBitmap(const TGdiBitmap &) = delete;
  TGdiBitmap &operator=(const TGdiBitmap &) = delete;
  HBITMAP Handle() const { return handle_; }

 private:
  HBITMAP handle_ = nullptr;
};

// Draws the picture through a DIB of the screen's format into the target:
// 24 bits per pixel, which are the picture's own rows as they are, or 8 with
// the system palette on a palette device, which the picture's bitmap gives.
void DrawDIB(HDC target, int left, int top, const TPicture &pic, int bottom, int right) {
  HDC screen = GetDC(nullptr);
  const bool palette = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
  if (!palette) {
    ReleaseDC(nullptr, screen);
    BITMAPINFO bmi{};
    bmi.bmiHeader = pic.Header();
    StretchDIBits(target, left, top, Span(left, right), Span(top, bottom), 0, 0, pic.Width(), pic.Height(),
                  pic.Bits().data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
    return;
  }
  const TGdiBitmap bitmap(pic);
  const int width = pic.Width(), height = pic.Height();
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  auto *bmi = reinterpret_cast<BITMAPINFO *>(info.data());
  BITMAPINFOHEADER &h = bmi->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biCompression = BI_RGB;
  h.biClrUsed = h.biClrImportant = 256;

  GetDIBits(screen, bitmap.Handle(), 0, static_cast<UINT>(height), nullptr, bmi, DIB_RGB_COLORS);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, h.biSizeImage);
  if (!memory) {
    ReleaseDC(nullptr, screen);
    throw ENxError(nxeGeneral, "No memory for the picture's device-independent bitmap");
  }
  void *bits = GlobalLock(memory);
  GetDIBits(screen, bitmap.Handle(), 0, static_cast<UINT>(height), bits, bmi, DIB_RGB_COLORS);
  std::vector<PALETTEENTRY> entries(256);
  GetSystemPaletteEntries(screen, 0, 256, entries.data());
  for (size_t i = 0; i < 256; ++i)
    bmi->bmiColors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  ReleaseDC(nullptr, screen);

  StretchDIBits(target, left, top, Span(left, right), Span(top, bottom), 0, 0, width, height, bits, bmi, DIB_RGB_COLORS,
                SRCCOPY);
  GlobalUnlock(memory);
  GlobalFree(memory);
}

// The surface's own bitmap drawing of an opaque picture: the device's Draw
// at natural size, else a stretch into the rectangle.
void DrawOpaque(HDC target, const RECT &r, const TGdiBitmap &bitmap, int width, int height, bool natural) {
  if (natural) {
    Device().Draw(r.left, r.top, bitmap.Handle());
    return;
  }
  HDC memory = CreateCompatibleDC(target);
  HGDIOBJ old = SelectObject(memory, bitmap.Handle());
  StretchBlt(target, r.left, r.top, Span(r.left, r.right), Span(r.top, r.bottom), memory, 0, 0, width, height, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

struct TRun {
  int32_t x0, x1;
  bool operator==(const TRun &) const = default;
};

// The runs of pixels in a row that are not the transparent colour.
std::vector<TRun> OpaqueRuns(const TPicture &pic, int32_t y, COLORREF key) {
  std::vector<TRun> runs;
  int32_t x = 0;
  while (x < pic.Width()) {
    while (x < pic.Width() && pic.Pixel(x, y) == key) ++x;
    const int32_t start = x;
    while (x < pic.Width() && pic.Pixel(x, y) != key) ++x;
    if (x > start) runs.push_back({start, x});
  }
  return runs;
}

// One piece of the picture (columns x0..x1, rows y0..y1 from the top) as a
// 24-bit DIB stretched onto its share of the rectangle.
void DrawPiece(HDC target, const RECT &r, const TPicture &pic, const TRun &run, int32_t y0, int32_t y1) {
  const int64_t dw = int64_t{r.right} - r.left, dh = int64_t{r.bottom} - r.top;
  const int32_t dx0 = r.left + static_cast<int32_t>(run.x0 * dw / pic.Width());
  const int32_t dx1 = r.left + static_cast<int32_t>(run.x1 * dw / pic.Width());
  const int32_t dy0 = r.top + static_cast<int32_t>(y0 * dh / pic.Height());
  const int32_t dy1 = r.top + static_cast<int32_t>(y1 * dh / pic.Height());
  if (dx1 == dx0 || dy1 == dy0) return;
  const int32_t w = run.x1 - run.x0, h = y1 - y0;
  const size_t stride = ((static_cast<size_t>(w) * 24 + 31) / 32) * 4;
  std::vector<BYTE> bits(stride * static_cast<size_t>(h), 0);
  for (int32_t y = y0; y < y1; ++y)
    std::copy_n(pic.Row(y) + static_cast<size_t>(run.x0) * 3, static_cast<size_t>(w) * 3,
                bits.data() + static_cast<size_t>(y1 - 1 - y) * stride);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = w;
  bmi.bmiHeader.biHeight = h;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  bmi.bmiHeader.biSizeImage = static_cast<DWORD>(bits.size());
  StretchDIBits(target, dx0, dy0, dx1 - dx0, dy1 - dy0, 0, 0, w, h, bits.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
}

// A transparent picture: only its pixels that differ from the top-left
// pixel's colour are drawn, as runs shared by bands of equal rows. Returns
// false (drawing nothing) when the picture breaks into too many runs.
bool DrawTransparent(HDC target, const RECT &r, const TPicture &pic) {
  const COLORREF key = pic.Pixel(0, 0);
  struct TBand {
    int32_t y0, y1;
    std::vector<TRun> runs;
  };
  std::vector<TBand> bands;
  size_t total = 0;
  for (int32_t y = 0; y < pic.Height(); ++y) {
    std::vector<TRun> runs = OpaqueRuns(pic, y, key);
    if (!bands.empty() && bands.back().runs == runs) {
      bands.back().y1 = y + 1;
      continue;
    }
    total += runs.size();
    if (total > kMaxTransparentRuns) return false;
    bands.push_back({y, y + 1, std::move(runs)});
  }
  for (const TBand &band : bands)
    for (const TRun &run : band.runs) DrawPiece(target, r, pic, run, band.y0, band.y1);
  return true;
}

// Derives a missing side from the aspect ratio and fits the picture into the
// box when asked. x2 and y2 are the raw arguments, already in (horizontal,
// vertical) order.
void SizeRect(RECT &r, int32_t x2, int32_t y2, bool keepAspect, int32_t width, int32_t height) {
  const double w = width, h = height;
  if (y2 == 0)
    r.bottom = ToLong(r.top + std::trunc(h / w * (double(r.right) - r.left)));
  else if (x2 == 0)
    r.right = ToLong(r.left + std::trunc(w / h * (double(r.bottom) - r.top)));
  if (!keepAspect || x2 <= 0 || y2 <= 0) return;
  const double ratio = w / h;
  const double bw = double(r.right) - r.left + 1, bh = double(r.bottom) - r.top + 1;
  double fw, fh;
  if (height < width) {
    fw = bw;
    fh = std::trunc(bw / ratio);
    if (fh > bh) fh = bh, fw = std::trunc(bh * ratio);
  } else {
    fh = bh;
    fw = std::trunc(bh * ratio);
    if (bw < fw) fw = bw, fh = std::trunc(bw / ratio);
  }
  r.right = ToLong(r.left + fw);
  r.bottom = ToLong(r.top + fh);
}

// The rectangle a picture of width x height pixels is drawn into.
RECT PictureRect(RECT r, int32_t x2, int32_t y2, bool keepAspect, int32_t width, int32_t height) {
  if (x2 == 0 && y2 == 0) return RECT{r.left, r.top, ToLong(double(r.left) + width), ToLong(double(r.top) + height)};
  SizeRect(r, x2, y2, keepAspect, width, height);
  return r;
}

// Pictures of fewer kept pixels are kept whole even where the sheet cuts
// them: they cost little, and their records keep the size asked for.
constexpr int64_t kWholePicturePixels = 1 << 20;

// One axis of a picture of `size` pixels drawn from device coordinate a to
// b: the columns (or rows) that fall on the sheet's [lo, hi), and the steps
// that keep between one and two of them for each device pixel they cover,
// counting all of them (step) or at most the sheet's (sheetStep).
struct TAxisView {
  int32_t begin, end, step, sheetStep;
};

TAxisView ViewAxis(LONG a, LONG b, int32_t size, int32_t lo, int32_t hi) {
  const double extent = std::abs(double(b) - a);
  auto stepFor = [size](double pixels) {
    return std::max<int32_t>(1, static_cast<int32_t>(size / std::max(1.0, pixels)));
  };
  TAxisView v{0, size, stepFor(extent), stepFor(std::min(extent, std::max(1.0, double(hi) - lo)))};
  if (extent == 0) return v;
  // Picture column u lands at a + u * (b - a) / size. The window's ends are
  // columns that land on whole device pixels, so that its pixels are
  // stretched onto the same device pixels as the whole picture's.
  const int64_t period = size / std::gcd(int64_t{size}, static_cast<int64_t>(extent));
  double u0 = (lo - double(a)) * size / (double(b) - a), u1 = (hi - double(a)) * size / (double(b) - a);
  if (u0 > u1) std::swap(u0, u1);
  auto held = [&](double u) { return std::clamp(u, 0.0, double(size)); };
  v.begin = static_cast<int32_t>(std::floor(held(u0) / period) * period);
  v.end = static_cast<int32_t>(std::min<double>(size, std::ceil(held(u1) / period) * period));
  return v;
}

// The view of a picture drawn into r: a large picture that the sheet cuts
// is kept only where the sheet shows it, at the resolution it has there,
// when it may be cut; any other is kept whole, at no more than about the
// sheet's pixels. The device's origin is the printable area's corner, so the
// sheet starts at minus the physical offsets.
TView SheetView(const RECT &r, int32_t width, int32_t height, bool mayCut) {
  const TNoxtrelRec &s = Session();
  const TAxisView x = ViewAxis(r.left, r.right, width, -s.LeftMargin, s.PaperWidth - s.LeftMargin);
  const TAxisView y = ViewAxis(r.top, r.bottom, height, -s.TopMargin, s.PaperHeight - s.TopMargin);
  const bool cut = x.begin > 0 || x.end < width || y.begin > 0 || y.end < height;
  const int64_t whole = int64_t{(width + x.sheetStep - 1) / x.sheetStep} * ((height + y.sheetStep - 1) / y.sheetStep);
  if (!mayCut || !cut || whole <= kWholePicturePixels) return TView{0, 0, width, height, x.sheetStep, y.sheetStep};
  return TView{x.begin, y.begin, x.end, y.end, x.step, y.step};
}

// The part of r that the picture's kept window takes: r itself for a whole
// picture.
RECT WindowRect(const RECT &r, const TPicture &pic) {
  const RECT w = pic.Window();
  auto at = [](LONG a, LONG b, LONG u, int32_t size) {
    return ToLong(a + std::round(double(u) * (double(b) - a) / size));
  };
  return RECT{at(r.left, r.right, w.left, pic.DeclaredWidth()), at(r.top, r.bottom, w.top, pic.DeclaredHeight()),
              at(r.left, r.right, w.right, pic.DeclaredWidth()), at(r.top, r.bottom, w.bottom, pic.DeclaredHeight())};
}

void DrawBitmap(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const char *fileName, int32_t transColor,
                int32_t keepAspect) {
  TSurface *surface = DocumentSurface();
  if (!surface) return;
  const WString name = AnsiToWide(fileName);
  std::error_code ec;
  const std::filesystem::path path(NativePath(name));
  if (name.empty() || !std::filesystem::exists(path, ec)) return;
  // Another extension is not a picture, whatever the name is.
  const TPictureKind kind = PictureKindOf(name);
  if (kind == TPictureKind::Unknown) return;
  if (std::filesystem::is_directory(path, ec))
    throw ENxError(nxeFile, "Cannot read picture " + WideToAnsi(name) + ": the name is a folder");

  RECT r = UnitsToRect(FromFixed(x1), FromFixed(y1), FromFixed(x2), FromFixed(y2));
  if (Session().CoorSystem == 1) std::swap(x2, y2);
  const bool keep = (keepAspect & 0xFF) != 0;
  // The surface path leaves out the colour of the picture's own top-left
  // pixel, so a transparent picture drawn there is kept whole.
  const bool transparent = MapColor(transColor) != kTransparentColor;
  const bool mayCut = Session().UseDIB || !transparent;
  // Only the part of a picture that lands on the sheet is decoded, at about
  // the device pixels it covers: a small file claiming a huge picture, or a
  // huge photograph drawn as a thumbnail, takes no more memory and work
  // than the page can show.
  const TPicture pic = LoadPicture(
      name, kind, [&](int32_t w, int32_t h) { return SheetView(PictureRect(r, x2, y2, keep, w, h), w, h, mayCut); });

  // A picture kept at its own resolution is drawn pixel for pixel at its
  // natural size; one kept coarser is stretched to the size it has.
  const bool natural = x2 == 0 && y2 == 0 && pic.FullResolution();
  r = WindowRect(PictureRect(r, x2, y2, keep, pic.DeclaredWidth(), pic.DeclaredHeight()), pic);

  HDC dc = surface->Handle();
  if (Session().UseDIB) {
    DrawDIB(dc, r.left, r.top, pic, r.bottom, r.right);
  } else if (transparent) {
    if (!DrawTransparent(dc, r, pic)) {
      DrawOpaque(dc, r, TGdiBitmap(pic), pic.Width(), pic.Height(), natural);
      SetLastNxError(nxeData, "Picture " + WideToAnsi(name) +
                                  " was drawn without transparency: its transparent colour breaks it into too many pieces");
    }
  } else {
    DrawOpaque(dc, r, TGdiBitmap(pic), pic.Width(), pic.Height(), natural);
  }
}

}  // namespace
}  // namespace nx

extern "C" {

NX_API void NxBitmap(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const char *FileName, int32_t TransColor,
                     int32_t KeepAspect) {
  nx::NxGuardVoid([&] { nx::DrawBitmap(X1, Y1, X2, Y2, FileName, TransColor, KeepAspect); });
}

}  // extern "C"
