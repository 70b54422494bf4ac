// The interpreter's bitmap records: blits with a source bitmap become image
// items (successive blits onto one rectangle compose one picture, bands of
// SETDIBITSTODEVICE join), blits without one become rectangles.
#include <algorithm>
#include <cmath>

#include "export/gtMetafileProcessor.h"
#include "export/gtMetafileProcessorBitmap.h"

namespace nx {

namespace {

// Raster operations a source-less BITBLT paints with.
bool PaintsRectangle(DWORD rop) {
  switch (rop) {
    case BLACKNESS: case NOTSRCERASE: case NOTSRCCOPY: case SRCERASE: case DSTINVERT: case PATINVERT:
    case SRCINVERT: case SRCAND: case MERGEPAINT: case MERGECOPY: case SRCCOPY: case SRCPAINT:
    case PATCOPY: case PATPAINT: case WHITENESS:
      return true;
    default:
      return false;
  }
}

bool SameBox(const TgtImageItem &a, const TgtImageItem &b) {
  auto same = [](double x, double y) { return RoundEven(x) == RoundEven(y); };
  return same(a.FX, b.FX) && same(a.FY, b.FY) && same(a.FWidth, b.FWidth) && same(a.FHeight, b.FHeight) &&
         a.FSettings.FInclination == b.FSettings.FInclination;
}

// Pictures beyond this many tiles of a pattern are not tiled.
constexpr long kMaxTiles = 100000;

}  // namespace

std::shared_ptr<TgtBitmap> TgtMetafileProcessor::DecodeDib(const TgtEmfRecord &r, DWORD OffBmi, DWORD CbBmi,
                                                           DWORD OffBits, DWORD CbBits) {
  std::string why;
  auto picture = DecodeRecordDib(r, OffBmi, CbBmi, OffBits, CbBits, &why);
  if (!picture) PictureLost(r, why);
  return picture;
}

TgtImageItem *TgtMetafileProcessor::LastImageItem() const {
  TgtItemList *list = FEngine->CurrentDocumentItemList();
  if (!list || list->empty()) return nullptr;
  return dynamic_cast<TgtImageItem *>(list->back().get());
}

// Smaller corner and absolute extents of the mapped destination rectangle.
std::unique_ptr<TgtImageItem> TgtMetafileProcessor::NewImageItem(double X, double Y, double Cx, double Cy) const {
  // A world transform that turns or shears: the picture's own corners.
  if (FSpace.FXForm.eM12 != 0 || FSpace.FXForm.eM21 != 0)
    return TurnedImageItem(Map(X, Y), Map(X + Cx, Y), Map(X, Y + Cy));
  auto item = std::make_unique<TgtImageItem>();
  item->FSettings = FEngine->ImageSettings();
  if (!item->FSettings.FAutosize) item->FSettings.FStretch = true;
  item->FIsFromMetafile = true;
  const TgtPoint at = Map(X, Y);
  const TgtMetaPoint size = FSpace.MapSize(Cx, Cy);
  item->FX = size.X < 0 ? at.X + size.X : at.X;
  item->FY = size.Y < 0 ? at.Y + size.Y : at.Y;
  item->FWidth = std::fabs(size.X);
  item->FHeight = std::fabs(size.Y);
  return item;
}

// The picture's index among the engine's images: an equal stored picture
// when the engine reuses images, else a new slot. Only an engine that reuses
// images needs their digests.
int32_t TgtMetafileProcessor::StoreImage(std::shared_ptr<TgtBitmap> Picture) {
  if (!ReusesImages()) {
    const int32_t index = FEngine->ReserveImageSlot();
    FEngine->StoreImage(index, std::move(Picture));
    return index;
  }
  const TgtDigest digest = Picture->Digest();
  const int32_t known = FEngine->FindImageDigest(digest);
  if (known >= 0) {
    FEngine->MarkImageShared(known);
    return known;
  }
  const int32_t index = FEngine->ReserveImageSlot();
  FEngine->StoreImage(index, std::move(Picture), digest);
  return index;
}

bool TgtMetafileProcessor::ReusesImages() const {
  return FEngine->HasCapability(ckImageReusable) && FEngine->Preferences().FUseImagesAsResources;
}

// A changed picture put back into the slot it came from.
void TgtMetafileProcessor::ReplaceImage(int32_t Index, std::shared_ptr<TgtBitmap> Picture) {
  if (!ReusesImages()) return FEngine->StoreImage(Index, std::move(Picture));
  const TgtDigest digest = Picture->Digest();
  FEngine->StoreImage(Index, std::move(Picture), digest);
}

// The decoded picture is kept as it is when it is drawn as it is.
void TgtMetafileProcessor::PlaceImage(std::shared_ptr<TgtBitmap> Decoded, double X, double Y, double Cx, double Cy,
                                      DWORD Rop, bool Compose) {
  const TgtBitmap &Picture = *Decoded;
  auto item = NewImageItem(X, Y, Cx, Cy);
  TgtImageItem *last = Compose ? LastImageItem() : nullptr;
  const auto &images = FEngine->ImageResources();
  if (last && SameBox(*last, *item) && last->FIndexNo >= 0 && size_t(last->FIndexNo) < images.size() &&
      images[size_t(last->FIndexNo)]) {
    // A second blit onto the same rectangle (a mask, then the image):
    // one picture of both.
    auto composed = std::make_shared<TgtBitmap>(*images[size_t(last->FIndexNo)]);
    CombinePicture(*composed, Picture, Rop, FCurrentBrush.Color);
    const bool shared = FEngine->ImageResourceHashes()[size_t(last->FIndexNo)].Shared;
    if (shared) last->FIndexNo = StoreImage(std::move(composed));
    else ReplaceImage(last->FIndexNo, std::move(composed));
    return;
  }
  std::shared_ptr<TgtBitmap> stored;
  if (Rop == SRCCOPY) {
    stored = std::move(Decoded);
  } else {
    stored = std::make_shared<TgtBitmap>(Picture.Width(), Picture.Height(), 0);
    CombinePicture(*stored, Picture, Rop, FCurrentBrush.Color);
    stored->PixelFormat = Picture.PixelFormat;
  }
  item->FIndexNo = StoreImage(std::move(stored));
  Append(std::move(item));
}

bool TgtMetafileProcessor::DoBitmap(const TgtEmfRecord &r) {
  const DWORD t = r.Type();
  if (t == EMR_SETDIBITSTODEVICE) return SetDIBitsToDevice(r);
  if (t == EMR_PLGBLT) return DoPlgBlt(r);
  if (t == EMR_STRETCHDIBITS) {
    EMRSTRETCHDIBITS e;
    if (!r.Read(&e)) return false;
    if (e.cbBmiSrc == 0 || e.cbBitsSrc == 0) {
      SourcelessTransfer(e.xDest, e.yDest, e.cxDest, e.cyDest);
      return true;
    }
    if (!FProcessImage) return true;
    if (auto picture = DecodeDib(r, e.offBmiSrc, e.cbBmiSrc, e.offBitsSrc, e.cbBitsSrc))
      PlaceImage(std::move(picture), e.xDest, e.yDest, e.cxDest, e.cyDest, e.dwRop, true);
    return true;
  }
  // BITBLT, STRETCHBLT and MASKBLT share their first 100 bytes.
  EMRBITBLT e;
  if (!r.Read(&e)) return false;
  if (t == EMR_BITBLT && (e.cbBmiSrc == 0 || e.cbBitsSrc == 0)) {
    SourcelessBitBlt(r);
    return true;
  }
  if (t == EMR_STRETCHBLT && r.Size() < sizeof(EMRSTRETCHBLT)) return false;
  if (t == EMR_MASKBLT && r.Size() < sizeof(EMRMASKBLT)) return false;
  if (e.cbBmiSrc == 0 || e.cbBitsSrc == 0) {
    SourcelessTransfer(e.xDest, e.yDest, e.cxDest, e.cyDest);
    return true;
  }
  if (t != EMR_BITBLT && !FProcessImage) return true;
  if (auto picture = DecodeDib(r, e.offBmiSrc, e.cbBmiSrc, e.offBitsSrc, e.cbBitsSrc))
    PlaceImage(std::move(picture), e.xDest, e.yDest, e.cxDest, e.cyDest, t == EMR_BITBLT ? SRCCOPY : e.dwRop, t != EMR_BITBLT);
  return true;
}

// Bands: the first makes the image, later ones grow its picture downwards.
bool TgtMetafileProcessor::SetDIBitsToDevice(const TgtEmfRecord &r) {
  EMRSETDIBITSTODEVICE e;
  if (!r.Read(&e)) return false;
  if (e.cbBmiSrc == 0 || e.cbBitsSrc == 0) {
    SourcelessTransfer(e.xDest, e.yDest, e.cxSrc, e.cySrc);
    return true;
  }
  if (!FProcessImage) return true;
  auto band = DecodeDib(r, e.offBmiSrc, e.cbBmiSrc, e.offBitsSrc, e.cbBitsSrc);
  if (!band) return true;
  TgtImageItem *last = e.iStartScan != 0 ? LastImageItem() : nullptr;
  const auto &images = FEngine->ImageResources();
  if (last && last->FIndexNo >= 0 && size_t(last->FIndexNo) < images.size() && images[size_t(last->FIndexNo)]) {
    auto joined = std::make_shared<TgtBitmap>(AppendBand(*images[size_t(last->FIndexNo)], *band));
    last->FHeight += std::fabs(FSpace.MapSize(0, band->Height()).Y);
    if (FEngine->ImageResourceHashes()[size_t(last->FIndexNo)].Shared) last->FIndexNo = StoreImage(std::move(joined));
    else ReplaceImage(last->FIndexNo, std::move(joined));
    return true;
  }
  // A first band, or one with nothing to join: an image of its own.
  PlaceImage(band, e.xDest, e.yDest, e.cxSrc, band->Height(), SRCCOPY, false);
  return true;
}

// PatBlt and FillRect: a rectangle in the brush, no outline; a pattern brush
// tiles its picture over it.
void TgtMetafileProcessor::SourcelessBitBlt(const TgtEmfRecord &r) {
  EMRBITBLT e;
  r.Read(&e);
  if (!PaintsRectangle(e.dwRop) || !FProcessShape) return;
  const TgtPoint a = Map(e.xDest, e.yDest), b = Map(double(e.xDest) + e.cxDest, double(e.yDest) + e.cyDest);
  TgtShapeItem &s = AddShape(stRectangle, true, {a, b});
  s.FPen = TgtPen{psClear, 1, 0};
  if (e.dwRop == BLACKNESS || e.dwRop == WHITENESS)
    s.FBrush = TgtBrush{bsSolid, COLORREF(e.dwRop == BLACKNESS ? 0 : 0xFFFFFF), nullptr};
  else if (FBKMode == TRANSPARENT && FCurrentBrush.Bitmap)
    s.FBrush->Color = FTextColor;
  if (FCurrentBrush.Bitmap && e.dwRop != BLACKNESS && e.dwRop != WHITENESS) TilePattern(a, b);
}

void TgtMetafileProcessor::TilePattern(const TgtPoint &A, const TgtPoint &B) {
  const auto pattern = FCurrentBrush.Bitmap;
  const double left = std::min(A.X, B.X), top = std::min(A.Y, B.Y), right = std::max(A.X, B.X),
               bottom = std::max(A.Y, B.Y);
  const double w = pattern->Width(), h = pattern->Height();
  if (std::ceil((right - left) / w) * std::ceil((bottom - top) / h) > kMaxTiles) return;
  RECT box{ClampLong(left), ClampLong(top), ClampLong(right), ClampLong(bottom)};
  AddClip({box}, RGN_AND, false, false);
  const int32_t index = StoreImage(std::make_shared<TgtBitmap>(*pattern));
  for (double y = top; y < bottom; y += h) {
    for (double x = left; x < right; x += w) {
      auto tile = std::make_unique<TgtImageItem>();
      tile->FSettings = FEngine->ImageSettings();
      tile->FSettings.FTransparent = FBKMode == TRANSPARENT;
      tile->FIsFromMetafile = true;
      tile->FX = x;
      tile->FY = y;
      tile->FWidth = w;
      tile->FHeight = h;
      tile->FIndexNo = index;
      Append(std::move(tile));
    }
  }
  if (FEngine->ImageResourceHashes().size() > size_t(index)) FEngine->MarkImageShared(index);
  AddClip({}, 0, true, false);
}

// A block transfer without a source bitmap: a rectangle in the brush
// (outlined in the background colour when the background is opaque), a
// line when it is degenerate.
void TgtMetafileProcessor::SourcelessTransfer(double X, double Y, double Cx, double Cy) {
  const TgtPoint a = Map(X, Y), b = Map(X + Cx, Y + Cy);
  FStretchBltRect = {a.X, a.Y, b.X, b.Y};
  if (FJustProcessedTextItem > 0) --FJustProcessedTextItem;
  if (!FProcessShape) return;
  if (a.X != b.X && a.Y != b.Y) {
    TgtShapeItem &s = AddShape(stRectangle, true, {a, b});
    if (FBKMode == OPAQUE) s.FPen.Color = FBKColor;
    else s.FPen.Style = psClear;
    if (FROP2 == R2_COPYPEN) s.FPen.Color = FCurrentBrush.Color;
  } else {
    TgtShapeItem &s = AddShape(stLine, false, {a, b});
    s.FPen.Color = FCurrentBrush.Color;
  }
}

}  // namespace nx
