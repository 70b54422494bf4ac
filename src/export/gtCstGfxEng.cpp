#include "export/gtCstGfxEng.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "device/MemoryBitmap.h"

namespace nx {
namespace {

constexpr BYTE kTrueTypeOnly = 7;  // OUT_TT_ONLY_PRECIS

int R(double v) { return int(std::lround(v)); }

std::vector<POINT> Rounded(const TgtPoints &pts, int32_t n) {
  std::vector<POINT> out;
  for (size_t i = 0; i < size_t(std::max(n, 0)) && i < pts.size(); ++i) out.push_back({R(pts[i].X), R(pts[i].Y)});
  return out;
}

// A 32-bit top-down DIB header for a picture.
BITMAPINFO DibHeader(const TgtBitmap &b) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = b.Width();
  bi.bmiHeader.biHeight = -b.Height();
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

// The header and two-colour table of a picture at one bit per pixel: the
// same pixels in a 32nd of the bytes the page metafile would carry at 32
// bits.
struct TOneBitInfo {
  BITMAPINFOHEADER Header;
  RGBQUAD Colours[2];
};
TOneBitInfo OneBitInfo(const TgtBitmap &b, const TgtOneBitPicture &one) {
  TOneBitInfo info{DibHeader(b).bmiHeader, {}};
  info.Header.biBitCount = 1;
  info.Header.biClrUsed = 2;
  for (int i = 0; i < 2; ++i) {
    const uint32_t c = one.Colours[i];
    info.Colours[i] = RGBQUAD{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0};
  }
  return info;
}

}  // namespace

TgtCustomGraphicsEngine::~TgtCustomGraphicsEngine() {
  if (FMetafileCanvas) DeleteEnhMetaFile(CloseEnhMetaFile(FMetafileCanvas));
  FreeMetafile();
}

void TgtCustomGraphicsEngine::SetScaleX(double Value) {
  if (!(Value > 0) || !std::isfinite(Value)) throw ENxError(nxeArgument, "The scale must be positive");
  FScaleX = Value;
}

void TgtCustomGraphicsEngine::SetScaleY(double Value) {
  if (!(Value > 0) || !std::isfinite(Value)) throw ENxError(nxeArgument, "The scale must be positive");
  FScaleY = Value;
}

void TgtCustomGraphicsEngine::FreeMetafile() {
  if (FMetafile) DeleteEnhMetaFile(FMetafile);
  FMetafile = nullptr;
}

void TgtCustomGraphicsEngine::StartDocument() { FreeMetafile(); }

void TgtCustomGraphicsEngine::EndDocument() {
  TgtCustomDocumentEngine::EndDocument();
  if (FMetafileCanvas) DeleteEnhMetaFile(CloseEnhMetaFile(FMetafileCanvas));
  FMetafileCanvas = nullptr;
  FreeMetafile();
}

void TgtCustomGraphicsEngine::StartPage() {
  const TgtPageSettings &page = Pages()[size_t(CurrentPage()) - 1]->FSettings;
  FPageWidth = std::max(1, R(page.FWidth));
  FPageHeight = std::max(1, R(page.FHeight));
  if (FPageWidth > TMemoryBitmap::kMaxSide || FPageHeight > TMemoryBitmap::kMaxSide)
    throw ENxError(nxeArgument, "The page is too large for an image");
  FreeMetafile();
  if (FMetafileCanvas) DeleteEnhMetaFile(CloseEnhMetaFile(FMetafileCanvas));
  // The frame in hundredths of a millimetre, so that playback maps it onto
  // exactly the page's pixels.
  const RECT frame{0, 0, R(FPageWidth * 2540.0 / gtScreenResolution), R(FPageHeight * 2540.0 / gtScreenResolution)};
  FMetafileCanvas = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  if (!FMetafileCanvas) throw ENxError(nxeGeneral, "The page canvas could not be created");
  HBRUSH bg = CreateSolidBrush(BackgroundColor());
  const RECT all{0, 0, FPageWidth, FPageHeight};
  FillRect(FMetafileCanvas, &all, bg);
  DeleteObject(bg);
}

void TgtCustomGraphicsEngine::EndPage() {
  if (!FMetafileCanvas) return;
  FreeMetafile();
  FMetafile = CloseEnhMetaFile(FMetafileCanvas);
  FMetafileCanvas = nullptr;
}

const TMemoryBitmap &TgtCustomGraphicsEngine::DrawPageRaster() {
  const int32_t w = std::max(1, R(FPageWidth * FScaleX)), h = std::max(1, R(FPageHeight * FScaleY));
  if (!FRaster || FRaster->Width() != w || FRaster->Height() != h) {
    FRaster.reset();
    FRaster = std::make_unique<TMemoryBitmap>(w, h);
  }
  TMemoryBitmap &bm = *FRaster;
  // The page metafile starts with the background filling the whole page,
  // which at 1:1 covers every pixel of the raster: only a scaled page may
  // leave an edge row or column of the last page's pixels uncovered.
  if (!FMetafile || FScaleX != 1.0 || FScaleY != 1.0)
    for (int32_t y = 0; y < h; ++y) std::fill_n(bm.Row(y), w, 0xFFFFFFu);
  const RECT all{0, 0, w, h};
  if (FMetafile && !PlayEnhMetaFile(bm.dc(), FMetafile, &all))
    throw ENxError(nxeGeneral, "The page could not be drawn");
  GdiFlush();
  if (FMonochrome)
    for (int32_t y = 0; y < h; ++y) {
      uint32_t *row = bm.Row(y);
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t px = row[x];
        const uint32_t lum = ((px >> 16 & 0xFF) * 299 + (px >> 8 & 0xFF) * 587 + (px & 0xFF) * 114) / 1000;
        row[x] = lum >= 128 ? 0xFFFFFF : 0;
      }
    }
  return bm;
}

TgtBitmap TgtCustomGraphicsEngine::RasterisePage() {
  const TMemoryBitmap &bm = DrawPageRaster();
  TgtBitmap out(bm.Width(), bm.Height());
  for (int32_t y = 0; y < bm.Height(); ++y) {
    const uint32_t *src = bm.Row(y);
    uint32_t *dst = out.Row(y);
    for (int32_t x = 0; x < bm.Width(); ++x) dst[x] = src[x] & 0xFFFFFF;
  }
  out.PixelFormat = FMonochrome ? pf1bit : FPixelFormat;
  return out;
}

void TgtCustomGraphicsEngine::WithObjects(const TgtPen &Pen, const TgtBrush *Brush,
                                          const std::function<void(HDC)> &Draw) {
  HDC dc = FMetafileCanvas;
  if (!dc) return;
  HPEN pen = CreatePen(GdiPenStyle(Pen.Style), Pen.Style == psClear ? 0 : Pen.Width, Pen.Color);
  HBRUSH brush = CreateGdiBrush(Brush);
  HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
  SetBkMode(dc, TRANSPARENT);
  Draw(dc);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

void TgtCustomGraphicsEngine::RenderTextItem(TgtTextItem &Item) {
  HDC dc = FMetafileCanvas;
  if (!dc || Item.FLines.empty()) return;
  LOGFONTW lf = Item.FFont.ToLogFont(gtScreenResolution);
  lf.lfEscapement = lf.lfOrientation = Item.FRotationAngle * 10;
  lf.lfOutPrecision = kTrueTypeOnly;
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetTextColor(dc, Item.FFont.Color);
  SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  const TgtBrush &b = Item.FBrush;
  const bool hatched = b.Style != bsSolid && b.Style != bsClear;
  int mode = TRANSPARENT;
  if (b.Style == bsSolid || (hatched && Item.FRotationAngle != 0))
    mode = b.Color == GetSysColor(COLOR_WINDOW) ? TRANSPARENT : OPAQUE;
  SetBkMode(dc, mode);
  SetBkColor(dc, b.Color);
  for (size_t i = 0; i < Item.FLines.size(); ++i) {
    const WString text = ReplaceVariables(Item.FLines[i], true);
    const int x = R(Item.FX), y = R(Item.FY + double(i) * tm.tmHeight);
    if (hatched && Item.FRotationAngle == 0) {
      SIZE ext{};
      GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &ext);
      TgtPen none{psClear, 0, 0};
      WithObjects(none, &b, [&](HDC d) { ::Rectangle(d, x, y, x + ext.cx + 1, y + ext.cy + 1); });
    }
    if (Item.FIsClipRect) {
      const RECT clip{R(Item.FClipRect.Left), R(Item.FClipRect.Top), R(Item.FClipRect.Right),
                      R(Item.FClipRect.Bottom)};
      ExtTextOutW(dc, x, y, ETO_CLIPPED, &clip, text.c_str(), UINT(text.size()), nullptr);
    } else {
      TextOutW(dc, x, y, text.c_str(), int(text.size()));
    }
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
}

void TgtCustomGraphicsEngine::RenderImageItem(TgtImageItem &Item) {
  HDC dc = FMetafileCanvas;
  if (!dc || Item.FIndexNo < 0 || size_t(Item.FIndexNo) >= ImageResources().size()) return;
  const std::shared_ptr<TgtBitmap> &pic = ImageResources()[size_t(Item.FIndexNo)];
  if (!pic || pic->Empty()) return;
  const int x = R(Item.FX), y = R(Item.FY), w = std::max(1, R(Item.FWidth)), h = std::max(1, R(Item.FHeight));
  const int32_t turn = ((Item.FSettings.FInclination % 360) + 360) % 360;
  std::vector<BYTE> mask = SeeThroughMask(*pic, Item);
  if (turn != 0 || !mask.empty()) {
    const std::array<POINT, 4> at = TurnedCorners(Item.FX, Item.FY, w, h, turn);
    DrawTurnedPicture(*pic, at, mask);
    if (Item.FSettings.FIsFrame) DrawTurnedFrame(Item, at);
    return;
  }
  SetStretchBltMode(dc, COLORONCOLOR);
  if (const auto mono = pic->OneBit()) {
    const TOneBitInfo info = OneBitInfo(*pic, *mono);
    StretchDIBits(dc, x, y, w, h, 0, 0, pic->Width(), pic->Height(), mono->Rows.data(),
                  reinterpret_cast<const BITMAPINFO *>(&info), DIB_RGB_COLORS, SRCCOPY);
  } else {
    const BITMAPINFO bi = DibHeader(*pic);
    StretchDIBits(dc, x, y, w, h, 0, 0, pic->Width(), pic->Height(), pic->Row(0), &bi, DIB_RGB_COLORS, SRCCOPY);
  }
  if (!Item.FSettings.FIsFrame) return;
  const TgtFrame &f = Item.FFrame;
  const int r = x + w - 1, btm = y + h - 1;
  WithObjects(Item.FPen, nullptr, [&](HDC d) {
    if (f.FIsTop) MoveToEx(d, x, y, nullptr), LineTo(d, r + 1, y);
    if (f.FIsBottom) MoveToEx(d, x, btm, nullptr), LineTo(d, r + 1, btm);
    if (f.FIsLeft) MoveToEx(d, x, y, nullptr), LineTo(d, x, btm + 1);
    if (f.FIsRight) MoveToEx(d, r, y, nullptr), LineTo(d, r, btm + 1);
  });
}

// The picture's pixels that let the page show through: alpha below one
// half, the picture's own transparent colour, or the item brush's colour
// when the item's settings ask for transparency. A 1-bpp mask in
// CreateBitmap's layout (rows top-down, WORD aligned, 1 = drawn); empty when
// every pixel is drawn.
std::vector<BYTE> TgtCustomGraphicsEngine::SeeThroughMask(const TgtBitmap &Pic, const TgtImageItem &Item) {
  const bool byBrush = Item.FSettings.FTransparent;
  if (!Pic.Alpha && !Pic.Transparent && !byBrush) return {};
  const size_t stride = (size_t(Pic.Width()) + 15) / 16 * 2;
  std::vector<BYTE> mask(stride * size_t(Pic.Height()), 0);
  bool any = false;
  for (int32_t py = 0; py < Pic.Height(); ++py)
    for (int32_t px = 0; px < Pic.Width(); ++px) {
      const COLORREF c = Pic.Pixel(px, py);
      const bool clear = (Pic.Alpha && Pic.AlphaAt(px, py) < 128) ||
                         (Pic.Transparent && c == (Pic.TransparentColor & 0xFFFFFF)) ||
                         (byBrush && c == (Item.FBrush.Color & 0xFFFFFF));
      if (clear) any = true;
      else mask[stride * size_t(py) + size_t(px) / 8] |= BYTE(0x80 >> (px % 8));
    }
  if (!any) mask.clear();
  return mask;
}

// The corners of a w x h picture whose top-left corner is (X, Y), turned
// anticlockwise on the page by Degrees about that corner: top-left,
// top-right, bottom-left, bottom-right.
std::array<POINT, 4> TgtCustomGraphicsEngine::TurnedCorners(double X, double Y, int W, int H, int32_t Degrees) {
  const double t = Degrees * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
  auto at = [&](double u, double v) { return POINT{R(X + u * c + v * s), R(Y - u * s + v * c)}; };
  return {at(0, 0), at(W, 0), at(0, H), at(W, H)};
}

// The picture drawn onto the parallelogram of the corners through PlgBlt,
// with the mask (when not empty) keeping the page where it is clear.
void TgtCustomGraphicsEngine::DrawTurnedPicture(const TgtBitmap &Pic, const std::array<POINT, 4> &At,
                                                const std::vector<BYTE> &Mask) {
  TMemoryBitmap source(Pic.Width(), Pic.Height());
  for (int32_t py = 0; py < Pic.Height(); ++py) {
    const uint32_t *from = Pic.Row(py);
    uint32_t *to = source.Row(py);
    for (int32_t px = 0; px < Pic.Width(); ++px) to[px] = from[px] & 0xFFFFFF;
  }
  HBITMAP mask = Mask.empty() ? nullptr : CreateBitmap(Pic.Width(), Pic.Height(), 1, 1, Mask.data());
  const POINT three[3] = {At[0], At[1], At[2]};
  PlgBlt(FMetafileCanvas, three, source.dc(), 0, 0, Pic.Width(), Pic.Height(), mask, 0, 0);
  if (mask) DeleteObject(mask);
}

// The frame sides along the turned picture's edges.
void TgtCustomGraphicsEngine::DrawTurnedFrame(const TgtImageItem &Item, const std::array<POINT, 4> &At) {
  const TgtFrame &f = Item.FFrame;
  WithObjects(Item.FPen, nullptr, [&](HDC d) {
    auto side = [d](bool drawn, POINT a, POINT b) {
      if (drawn) MoveToEx(d, a.x, a.y, nullptr), LineTo(d, b.x, b.y);
    };
    side(f.FIsTop, At[0], At[1]);
    side(f.FIsBottom, At[2], At[3]);
    side(f.FIsLeft, At[0], At[2]);
    side(f.FIsRight, At[1], At[3]);
  });
}

void TgtCustomGraphicsEngine::RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) {
  WithObjects(Pen, nullptr, [&](HDC d) {
    MoveToEx(d, R(X1), R(Y1), nullptr);
    LineTo(d, R(X2), R(Y2));
  });
}

// The fill goes first and the outline over it, so that a framed box keeps
// all four sides; a rectangle without a brush is an outline only.
void TgtCustomGraphicsEngine::RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                              double X2, double Y2) {
  WithObjects(Pen, Brush, [&](HDC d) { ::Rectangle(d, R(X1), R(Y1), R(X2), R(Y2)); });
}

void TgtCustomGraphicsEngine::RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                              double X2, double Y2, double X3, double Y3) {
  WithObjects(Pen, Brush, [&](HDC d) { ::RoundRect(d, R(X1), R(Y1), R(X2), R(Y2), R(X3), R(Y3)); });
}

void TgtCustomGraphicsEngine::RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                            double X2, double Y2) {
  WithObjects(Pen, Brush, [&](HDC d) { ::Ellipse(d, R(X1), R(Y1), R(X2), R(Y2)); });
}

void TgtCustomGraphicsEngine::RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush,
                                            const TgtPen &Pen, bool IsClosed) {
  const std::vector<POINT> pts = Rounded(Points, NoPoints);
  if (pts.size() < 2) return;
  WithObjects(Pen, IsClosed ? Brush : nullptr, [&](HDC d) {
    if (IsClosed)
      ::Polygon(d, pts.data(), int(pts.size()));
    else
      ::Polyline(d, pts.data(), int(pts.size()));
  });
}

void TgtCustomGraphicsEngine::RenderArc(const TgtPen &Pen, double X1, double Y1, double X2, double Y2, double X3,
                                        double Y3, double X4, double Y4) {
  WithObjects(Pen, nullptr,
              [&](HDC d) { ::Arc(d, R(X1), R(Y1), R(X2), R(Y2), R(X3), R(Y3), R(X4), R(Y4)); });
}

void TgtCustomGraphicsEngine::RenderPie(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                        double Y2, double X3, double Y3, double X4, double Y4) {
  WithObjects(Pen, Brush, [&](HDC d) { ::Pie(d, R(X1), R(Y1), R(X2), R(Y2), R(X3), R(Y3), R(X4), R(Y4)); });
}

void TgtCustomGraphicsEngine::RenderChord(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                                          double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  WithObjects(Pen, Brush, [&](HDC d) { ::Chord(d, R(X1), R(Y1), R(X2), R(Y2), R(X3), R(Y3), R(X4), R(Y4)); });
}

void TgtCustomGraphicsEngine::RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) {
  const std::vector<POINT> pts = Rounded(Points, NoPoints);
  if (pts.size() < 4) return;
  WithObjects(Pen, nullptr, [&](HDC d) { ::PolyBezier(d, pts.data(), DWORD(pts.size())); });
}

}  // namespace nx
