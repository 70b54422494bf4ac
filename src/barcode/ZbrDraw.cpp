// Drawing of the barcode component through GDI: the background, the bars of
// a layout and the human-readable text in the component's font and angle.
#include <algorithm>
#include <cstring>

#include "barcode/ZbrBarcode.h"
#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/MemoryBitmap.h"

namespace nx {

POINT TZbrBarcode::RotatePoint(POINT p) const {
  const LONG W = FWidthImg, H = FHeightImg;
  switch (FAngle) {
    case zba90: return {p.y, H - p.x};
    case zba180: return {W - p.x, H - p.y};
    case zba270: return {W - p.y, p.x};
    default: return p;
  }
}

void TZbrBarcode::SaveBarcodeImage(TMemoryBitmap &Bmp, const std::function<void(LONG, LONG)> &checkSize) {
  TZbrLayout layout = Layout();
  // Without bars and margins there is no image to show; the encoder's
  // reason is the error, not the empty bitmap.
  if (!FEncodeError.empty() && (FWidthImg <= 0 || FHeightImg <= 0)) throw ENxError(nxeData, FEncodeError);
  if (checkSize) checkSize(FWidthImg, FHeightImg);
  Bmp.SetSize(FWidthImg, FHeightImg);
  FillBars(Bmp, layout);
  if (!layout.Texts.empty()) DrawTexts(Bmp.dc(), layout.Texts);
}

// The background and bars written straight into the bitmap's rows, the same
// pixels as DrawBarcode's FillRect calls: the rows between two consecutive
// bar edges are alike, so each such band is built once and copied.
void TZbrBarcode::FillBars(TMemoryBitmap &bmp, const TZbrLayout &layout) const {
  const LONG W = bmp.Width(), H = bmp.Height();
  auto clip = [](LONG v, LONG hi) { return v < 0 ? 0 : v > hi ? hi : v; };
  std::vector<RECT> bars;
  bars.reserve(layout.Bars.size());
  std::vector<LONG> edges{0, H};
  for (const RECT &r : layout.Bars) {
    RECT c{clip(r.left, W), clip(r.top, H), clip(r.right, W), clip(r.bottom, H)};
    if (c.left >= c.right || c.top >= c.bottom) continue;
    bars.push_back(c);
    edges.push_back(c.top);
    edges.push_back(c.bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  const uint32_t back = TMemoryBitmap::PixelOf(FBackColor), ink = TMemoryBitmap::PixelOf(FColor);
  const size_t rowBytes = size_t(W) * sizeof(uint32_t);
  GdiFlush();
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const LONG y0 = edges[i], y1 = edges[i + 1];
    uint32_t *first = bmp.Row(y0);
    std::fill_n(first, W, back);
    for (const RECT &r : bars)
      if (r.top <= y0 && r.bottom >= y1) std::fill(first + r.left, first + r.right, ink);
    for (LONG y = y0 + 1; y < y1; ++y) std::memcpy(bmp.Row(y), first, rowBytes);
  }
}

void TZbrBarcode::DrawBarcode(HDC canvas, const TZbrLayout &layout) {
  HBRUSH back = CreateSolidBrush(FBackColor);
  FillRect(canvas, &layout.Background, back);
  DeleteObject(back);
  // The layout's rectangles already leave out the right and bottom edges,
  // as a rectangle drawn with an invisible pen does.
  HBRUSH bar = CreateSolidBrush(FColor);
  for (const RECT &r : layout.Bars) FillRect(canvas, &r, bar);
  DeleteObject(bar);
  if (!layout.Texts.empty()) DrawTexts(canvas, layout.Texts);
}

// The canvas's font with the component's height, face and angle, plain.
HFONT TZbrBarcode::CreateTextFont(HDC canvas) const {
  LOGFONTW lf{};
  GetObjectW(GetCurrentObject(canvas, OBJ_FONT), sizeof lf, &lf);
  lf.lfHeight = FFontHeight;
  lf.lfWidth = 0;
  lf.lfEscapement = lf.lfOrientation = LONG(FAngle) * 900;
  lf.lfWeight = FW_NORMAL;
  lf.lfItalic = lf.lfUnderline = 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  const size_t n = std::min(FFontName.size(), size_t(LF_FACESIZE - 1));
  std::copy_n(FFontName.begin(), n, lf.lfFaceName);
  lf.lfFaceName[n] = 0;
  return CreateFontIndirectW(&lf);
}

void TZbrBarcode::DrawTexts(HDC canvas, const std::vector<TZbrTextItem> &texts) {
  const int saved = SaveDC(canvas);
  HFONT font = CreateTextFont(canvas);
  SelectObject(canvas, font);
  SetTextColor(canvas, FColor);
  SetBkMode(canvas, TRANSPARENT);
  SetTextAlign(canvas, IsEanUpc(FCodeType) ? TA_LEFT | TA_TOP : TA_CENTER | TA_TOP);
  SetTextCharacterExtra(canvas, FTextD);
  for (const TZbrTextItem &item : texts) {
    const WString text = AnsiToWide(item.Text.c_str());
    const int count = int(text.size());
    SIZE extent{0, 0};
    if (item.Anchor != TZbrTextItem::Centred && item.Anchor != TZbrTextItem::Trailing)
      GetTextExtentPoint32W(canvas, text.c_str(), count, &extent);
    POINT p{item.X, item.Y};
    if (item.Anchor == TZbrTextItem::Group) p.x -= extent.cx / 2;
    if (item.Anchor == TZbrTextItem::Leading) p.x -= extent.cx;
    p = RotatePoint(p);
    TextOutW(canvas, p.x, p.y, text.c_str(), count);
  }
  RestoreDC(canvas, saved);
  DeleteObject(font);
}

}  // namespace nx
