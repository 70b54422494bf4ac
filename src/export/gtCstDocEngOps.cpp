// The engine's own drawing operations, image resources and saved drawing
// states.
#include <algorithm>
#include <cmath>

#include "export/gtCstDocEng.h"

namespace nx {

void TgtCustomDocumentEngine::SetTextAlignment(TgtHAlignment Value) { FTextAlignment = Value; }

// ---- image resources ---------------------------------------------------------

int32_t TgtCustomDocumentEngine::ReserveImageSlot() {
  FImageResourceList.emplace_back();
  FImageResourceHashList.emplace_back();
  return int32_t(FImageResourceList.size()) - 1;
}

void TgtCustomDocumentEngine::ReleaseImageSlot(int32_t Index) {
  if (Index < 0 || size_t(Index) >= FImageResourceList.size()) return;
  if (size_t(Index) + 1 == FImageResourceList.size()) {
    FImageResourceList.pop_back();
    FImageResourceHashList.pop_back();
  } else {
    FImageResourceList[size_t(Index)].reset();
    FImageResourceHashList[size_t(Index)] = {};
  }
}

void TgtCustomDocumentEngine::StoreImage(int32_t Index, std::shared_ptr<TgtBitmap> Bitmap, const TgtDigest &Digest) {
  if (Index < 0 || size_t(Index) >= FImageResourceList.size()) return;
  FImageResourceList[size_t(Index)] = std::move(Bitmap);
  FImageResourceHashList[size_t(Index)] = {Digest, true, false};
}

void TgtCustomDocumentEngine::StoreImage(int32_t Index, std::shared_ptr<TgtBitmap> Bitmap) {
  if (Index < 0 || size_t(Index) >= FImageResourceList.size()) return;
  FImageResourceList[size_t(Index)] = std::move(Bitmap);
  FImageResourceHashList[size_t(Index)] = {};
}

int32_t TgtCustomDocumentEngine::FindImageDigest(const TgtDigest &Digest) const {
  for (size_t i = 0; i < FImageResourceHashList.size(); ++i)
    if (FImageResourceHashList[i].Valid && FImageResourceList[i] && FImageResourceHashList[i].Digest == Digest)
      return int32_t(i);
  return -1;
}

void TgtCustomDocumentEngine::MarkImageShared(int32_t Index) {
  if (Index >= 0 && size_t(Index) < FImageResourceHashList.size()) FImageResourceHashList[size_t(Index)].Shared = true;
}

int32_t TgtCustomDocumentEngine::AddImageAsResource(const TgtBitmap &AGraphic) { return AddImage(AGraphic, true); }

int32_t TgtCustomDocumentEngine::AddImage(const TgtBitmap &AGraphic, bool AsResource) {
  if (!FIsDocumentStarted || !HasCapability(ckImage)) return -1;
  if (AGraphic.Empty()) {
    RaiseError(EUnsupportedGraphics("Unknown Graphics format"));
    return -1;
  }
  TgtDigest digest = AGraphic.Digest();
  if (HasCapability(ckImageReusable) && FPreferences->FUseImagesAsResources) {
    int32_t found = FindImageDigest(digest);
    if (found >= 0) {
      MarkImageShared(found);
      return found;
    }
  }
  int32_t index = ReserveImageSlot();
  StoreImage(index, std::make_shared<TgtBitmap>(AGraphic), digest);
  return index;
}

// ---- the engine's own items --------------------------------------------------

TgtPoints TgtCustomDocumentEngine::ToPixels(const TgtPoints &Points) const {
  TgtPoints out = Points;
  for (auto &p : out) {
    p.X = p.X * FNativeConversionFactor + FBandRect.Left;
    p.Y = p.Y * FNativeConversionFactor + FBandRect.Top;
  }
  return out;
}

void TgtCustomDocumentEngine::AddShape(TgtShapeType Type, const TgtPoints &Points, bool IsFill) {
  if (!FIsDocumentStarted || !FCurrentDocumentItemList || !HasCapability(ckShape)) return;
  auto item = std::make_unique<TgtShapeItem>();
  item->FShapeType = Type;
  item->FPen = FPen;
  if (IsFill) item->FBrush = FBrush;
  item->FPoints = ToPixels(Points);
  // The size of a round rectangle's corner is a length, not a position.
  if (Type == stRoundRect && item->FPoints.size() == 3)
    item->FPoints[2] = {Points[2].X * FNativeConversionFactor, Points[2].Y * FNativeConversionFactor};
  item->FNoPoints = int32_t(item->FPoints.size());
  item->FPenJoinStyle = FPenJoin;
  item->FPenCapStyle = FPenCap;
  item->FLineArtSettings = FLineArtSettings;
  FCurrentDocumentItemList->push_back(std::move(item));
}

void TgtCustomDocumentEngine::Line(double X1, double Y1, double X2, double Y2) {
  AddShape(stLine, {{X1, Y1}, {X2, Y2}}, false);
}
void TgtCustomDocumentEngine::Rectangle(double X1, double Y1, double X2, double Y2, bool IsFill) {
  AddShape(stRectangle, {{X1, Y1}, {X2, Y2}}, IsFill);
}
void TgtCustomDocumentEngine::RoundRect(double X1, double Y1, double X2, double Y2, double X3, double Y3,
                                        bool IsFill) {
  AddShape(stRoundRect, {{X1, Y1}, {X2, Y2}, {X3, Y3}}, IsFill);
}
void TgtCustomDocumentEngine::Ellipse(double X1, double Y1, double X2, double Y2, bool IsFill) {
  AddShape(stEllipse, {{X1, Y1}, {X2, Y2}}, IsFill);
}
void TgtCustomDocumentEngine::Polygon(const TgtPoints &Points, bool IsFill) { AddShape(stPolygon, Points, IsFill); }
void TgtCustomDocumentEngine::PolyLine(const TgtPoints &Points) { AddShape(stPolyLine, Points, false); }
void TgtCustomDocumentEngine::Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                                  double Y4) {
  AddShape(stArc, {{X1, Y1}, {X2, Y2}, {X3, Y3}, {X4, Y4}}, false);
}
void TgtCustomDocumentEngine::Pie(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                                  double Y4, bool IsFill) {
  AddShape(stPie, {{X1, Y1}, {X2, Y2}, {X3, Y3}, {X4, Y4}}, IsFill);
}
void TgtCustomDocumentEngine::Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                                    double Y4, bool IsFill) {
  AddShape(stChord, {{X1, Y1}, {X2, Y2}, {X3, Y3}, {X4, Y4}}, IsFill);
}
void TgtCustomDocumentEngine::PolyBezier(const TgtPoints &Points) { AddShape(stPolyBezier, Points, false); }

// An image item in the rectangle (measurement unit): the smaller corner and
// the absolute extent, with the current frame, pen, brush and image settings.
void TgtCustomDocumentEngine::PlaceImageItem(TgtImageItem &Item, const TgtRect &Rect) const {
  TgtPoints corners = ToPixels({{Rect.Left, Rect.Top}, {Rect.Right, Rect.Bottom}});
  Item.FX = std::min(corners[0].X, corners[1].X);
  Item.FY = std::min(corners[0].Y, corners[1].Y);
  Item.FWidth = std::fabs(corners[1].X - corners[0].X);
  Item.FHeight = std::fabs(corners[1].Y - corners[0].Y);
  Item.FFrame = FFrame;
  Item.FPen = FPen;
  Item.FBrush = FBrush;
  Item.FSettings = FImageSettings;
  Item.FDisplayRect = {Item.FX, Item.FY, Item.FX + Item.FWidth, Item.FY + Item.FHeight};
}

void TgtCustomDocumentEngine::DrawImage(double X, double Y, const TgtBitmap &AGraphic) {
  const double f = FNativeConversionFactor;
  DrawImage(TgtRect{X, Y, X + AGraphic.Width() / f, Y + AGraphic.Height() / f}, AGraphic);
}

void TgtCustomDocumentEngine::DrawImage(const TgtRect &ImageRect, const TgtBitmap &AGraphic) {
  if (!FIsDocumentStarted) return;
  int32_t index = AddImage(AGraphic, true);
  if (index >= 0) DrawImage(ImageRect, index);
}

void TgtCustomDocumentEngine::DrawImage(const TgtRect &ImageRect, int32_t Index) {
  if (!FIsDocumentStarted || !FCurrentDocumentItemList || !HasCapability(ckImage)) return;
  if (Index < 0 || size_t(Index) >= FImageResourceList.size()) return;
  auto item = std::make_unique<TgtImageItem>();
  PlaceImageItem(*item, ImageRect);
  item->FIndexNo = Index;
  FCurrentDocumentItemList->push_back(std::move(item));
}

void TgtCustomDocumentEngine::DrawJPEGDirect(const TgtRect &ARect, int32_t AImagePixelWidth,
                                             int32_t AImagePixelHeight, const std::vector<BYTE> &AStream) {
  if (!FIsDocumentStarted || !FCurrentDocumentItemList || !HasCapability(ckImage)) return;
  auto item = std::make_unique<TgtImageStream>();
  PlaceImageItem(*item, ARect);
  item->FStream = AStream;
  item->FImageWidth = AImagePixelWidth;
  item->FImageHeight = AImagePixelHeight;
  FCurrentDocumentItemList->push_back(std::move(item));
}

// ---- saved drawing states ----------------------------------------------------

TgtEngineState TgtCustomDocumentEngine::CaptureState() const {
  return TgtEngineState{FFont, FPen, FBrush, FImageSettings, FPage, FTextEffects};
}

int32_t TgtCustomDocumentEngine::SaveEngineState() {
  if (!FIsDocumentStarted) return -1;
  FEngineStateList.push_back(CaptureState());
  return int32_t(FEngineStateList.size()) - 1;
}

void TgtCustomDocumentEngine::RestoreEngineState(int32_t Index) {
  if (!FIsDocumentStarted) return;
  if (Index < -1 || Index >= int32_t(FEngineStateList.size()) || FEngineStateList.empty()) {
    RaiseError(EInvalidEngineState("Not a valid Engine State identifier"));
    return;
  }
  const TgtEngineState &s = Index == -1 ? FEngineStateList.back() : FEngineStateList[size_t(Index)];
  FFont = s.FFont;
  FPen = s.FPen;
  FBrush = s.FBrush;
  FImageSettings = s.FImageSettings;
  FPage = s.FPage;
  FTextEffects = s.FTextEffects;
}

void TgtCustomDocumentEngine::ClearEngineStates() {
  if (!FIsDocumentStarted) return;
  FEngineStateList.clear();
  FDefaultState = -1;
}

void TgtCustomDocumentEngine::SetWorkingPage(int32_t PageNo) {
  if (!FIsDocumentStarted || PageNo < 1 || PageNo > int32_t(FPages.size())) return;
  TgtPageItem *page = FPages[size_t(PageNo) - 1].get();
  FCurrentDocumentItemList = &page->FDocumentItems;
  FCurrentTextItemList = &page->FTextItems;
}

}  // namespace nx
