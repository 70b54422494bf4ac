// Rendering a page: the band order, the class dispatch of items, text
// sorting, the band rectangle and the page selection.
#include <cctype>
#include <string>
#include <typeinfo>

#include "export/gtCstDocEng.h"

namespace nx {

bool TgtCustomDocumentEngine::PageSelected(const std::string &Selection, int32_t Page) {
  if (Selection.empty()) return true;
  size_t start = 0;
  while (start <= Selection.size()) {
    size_t comma = Selection.find(',', start);
    std::string entry = Selection.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? Selection.size() + 1 : comma + 1;
    bool valid = !entry.empty();
    for (char c : entry)
      if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-') valid = false;
    if (!valid) continue;
    size_t dash = entry.find('-');
    std::string first = entry.substr(0, dash);
    std::string last = dash == std::string::npos ? first : entry.substr(dash + 1);
    if (first.empty() || last.empty() || last.find('-') != std::string::npos) continue;
    // Page numbers beyond 32 bits select nothing, rather than wrapping.
    if (first.size() > 10 || last.size() > 10) continue;
    long long from = std::stoll(first), to = std::stoll(last);
    if (Page >= from && Page <= to) return true;
  }
  return false;
}

void TgtCustomDocumentEngine::SetBandType(TgtBandType Value) {
  FBandType = Value;
  RecomputeBandRect();
}

void TgtCustomDocumentEngine::RecomputeBandRect() {
  const TgtPageItem *page = CurrentPageItem();
  const TgtPageSettings &s = page ? page->FSettings : FPage;
  // The page item's copy has factor 1.0; the engine's own page its unit.
  const double f = page ? 1.0 : s.NativeFactor();
  const double w = s.Width() * f, h = s.Height() * f;
  const double lm = s.LeftMargin() * f, rm = s.RightMargin() * f;
  const double tm = s.TopMargin() * f, bm = s.BottomMargin() * f;
  const double hh = s.HeaderHeight() * f, fh = s.FooterHeight() * f;
  switch (FReferencePoint) {
    case rpPage: FBandRect = {0, 0, w, h}; return;
    case rpMargin: FBandRect = {lm, tm, w - rm, h - bm}; return;
    case rpBand: break;
  }
  TgtRect r{lm, 0, w - rm, 0};
  switch (FBandType) {
    case btContent: r.Top = tm + hh; r.Bottom = h - fh - bm; break;
    case btHeader: r.Top = tm; r.Bottom = tm + hh; break;
    case btFooter: r.Top = h - fh - bm; r.Bottom = h - bm; break;
    case btWatermark:
    case btStamp: r.Top = tm; r.Bottom = h - bm; break;
  }
  const double q = double(FInputYRes) / gtScreenResolution;
  FBandRect = {r.Left * q, r.Top * q, r.Right * q, r.Bottom * q};
}

void TgtCustomDocumentEngine::RenderBand(TgtBandItem &Band, TgtBandType Type, bool Sort) {
  SetBandType(Type);
  if (Sort) SortTextItems(Band.FTextItems);
  RenderDocumentItems(Band.FDocumentItems);
  RenderTextItems(Band.FTextItems);
}

void TgtCustomDocumentEngine::RenderPage() {
  TgtPageItem *page = CurrentPageItem();
  if (!page) return;
  const int32_t p = FCurrentPage;
  const bool eachPage = FPreferences->FProcessAfterEachPage;
  if (PageSelected(FPagesToRender, p)) {
    if (FOnBeforeBeginPage) FOnBeforeBeginPage(*this);
    if (eachPage) ProcessCanvas();
    SetBandType(btContent);
    StartPage();
    if (FOnAfterBeginPage) FOnAfterBeginPage(*this);
    RenderPageBorder();
    if (FSortTextItems && p == 1) {
      SortTextItems(FHeaderItem->FTextItems);
      SortTextItems(FFooterItem->FTextItems);
    }
    if (!(HasCapability(ckHeader) && p > 1)) RenderBand(*FHeaderItem, btHeader, false);
    if (!(HasCapability(ckWatermark) && p > 1)) RenderBand(*FWatermarkItem, btWatermark, true);
    RenderBand(*page, btContent, true);
    if (!(HasCapability(ckFooter) && p > 1)) RenderBand(*FFooterItem, btFooter, false);
    if (!(HasCapability(ckStamp) && p > 1)) RenderBand(*FStampItem, btStamp, true);
    SetBandType(btContent);
    if (FOnBeforeEndPage) FOnBeforeEndPage(*this);
    EndPage();
    if (FOnAfterEndPage) FOnAfterEndPage(*this);
  } else if (eachPage) {
    CloseCanvas();
  }
  FreePageItems(*page);
}

bool TgtCustomDocumentEngine::RendersEarly() const {
  // A page's rendering reads, besides its own items, the bands, the image
  // resources and the page count. The bands and the pictures a page uses
  // stay as they are while later pages are interpreted (a picture is only
  // replaced while no other item uses it); the count is the one announced.
  // The events could see the order change, so documents with them keep it.
  return FExpectedPageCount > 0 && FCurrentPage == FRenderedPages + 1 && FCurrentPage < FExpectedPageCount &&
         !FPreferences->FProcessAfterEachPage && !FOnBeforeBeginPage && !FOnAfterBeginPage && !FOnBeforeEndPage &&
         !FOnAfterEndPage && !FOnCalcVariables;
}

void TgtCustomDocumentEngine::RenderPageEarly() {
  FRenderingEarly = true;
  try {
    RenderPage();
  } catch (...) {
    FRenderingEarly = false;
    // An output file that could not be made has ended the document already.
    if (!FIsDocumentStarted) throw;
    EndDocAfterFailure(std::current_exception());
    throw;
  }
  FRenderingEarly = false;
  FRenderedPages = FCurrentPage;
}

void TgtCustomDocumentEngine::EndDocAfterFailure(std::exception_ptr Failure) noexcept {
  if (!FIsDocumentStarted || !Failure) return;
  // EndDoc raises the failure before it renders or writes anything, and so
  // takes its own failure path and that of the concrete engine.
  FEarlyFailure = std::move(Failure);
  try {
    EndDoc();
  } catch (...) {
  }
  FEarlyFailure = nullptr;
}

void TgtCustomDocumentEngine::FreePageItems(TgtPageItem &PageItem) {
  KeepSpareTextItems(PageItem.FTextItems);
  KeepSpareTextItems(PageItem.FDocumentItems);
  PageItem.FTextItems.clear();
  PageItem.FDocumentItems.clear();
  if (FPreferences->FProcessAfterEachPage && !FPreferences->FUseImagesAsResources) {
    FImageResourceList.clear();
    FImageResourceHashList.clear();
  }
  if (FCurrentDocumentItemList == &PageItem.FDocumentItems) FCurrentDocumentItemList = nullptr;
  if (FCurrentTextItemList == &PageItem.FTextItems) FCurrentTextItemList = nullptr;
}

void TgtCustomDocumentEngine::RenderDocumentItems(TgtItemList &List) {
  for (auto &item : List)
    if (item) RenderItem(*item);
}

void TgtCustomDocumentEngine::RenderItem(TgtDocumentItem &Item) {
  // Most items are plain text and shapes: their exact class answers before
  // the class checks are walked.
  const std::type_info &type = typeid(Item);
  if (type == typeid(TgtTextItem)) return RenderTextItem(static_cast<TgtTextItem &>(Item));
  auto *shape = type == typeid(TgtShapeItem) ? static_cast<TgtShapeItem *>(&Item) : nullptr;
  if (!shape) {
    if (auto *box = dynamic_cast<TgtTextBoxItem *>(&Item)) return RenderTextBoxItem(*box);
    if (auto *text = dynamic_cast<TgtTextItem *>(&Item)) return RenderTextItem(*text);
    if (auto *stream = dynamic_cast<TgtImageStream *>(&Item)) return RenderImageStream(*stream);
    if (auto *image = dynamic_cast<TgtImageItem *>(&Item)) return RenderImageItem(*image);
    shape = dynamic_cast<TgtShapeItem *>(&Item);
  }
  if (shape) {
    FPenJoin = shape->FPenJoinStyle;
    FPenCap = shape->FPenCapStyle;
    const TgtPoints &pt = shape->FPoints;
    const TgtBrush *brush = shape->FBrush ? &*shape->FBrush : nullptr;
    const TgtPen &pen = shape->FPen;
    // Each shape type needs its points; a shape with fewer is skipped.
    auto need = [&](size_t n) { return pt.size() >= n; };
    switch (shape->FShapeType) {
      case stLine: if (need(2)) RenderLine(pen, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y); break;
      case stRectangle: if (need(2)) RenderRectangle(pen, brush, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y); break;
      case stRoundRect:
        if (need(3)) RenderRoundRect(pen, brush, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y, pt[2].X, pt[2].Y);
        break;
      case stEllipse: if (need(2)) RenderEllipse(pen, brush, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y); break;
      case stPolygon:
      case stPolyLine: {
        int32_t n = std::min<int32_t>(shape->FNoPoints, int32_t(pt.size()));
        if (n > 0) RenderPolygon(pt, n, brush, pen, shape->FShapeType == stPolygon);
        break;
      }
      case stArc:
        if (need(4)) RenderArc(pen, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y, pt[2].X, pt[2].Y, pt[3].X, pt[3].Y);
        break;
      case stChord:
        if (need(4))
          RenderChord(pen, brush, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y, pt[2].X, pt[2].Y, pt[3].X, pt[3].Y);
        break;
      case stPie:
        if (need(4)) RenderPie(pen, brush, pt[0].X, pt[0].Y, pt[1].X, pt[1].Y, pt[2].X, pt[2].Y, pt[3].X, pt[3].Y);
        break;
      case stPolyBezier: {
        int32_t n = std::min<int32_t>(shape->FNoPoints, int32_t(pt.size()));
        if (n > 0) RenderPolyBezier(pt, n, pen);
        break;
      }
    }
    return;
  }
  if (auto *poly = dynamic_cast<TgtPolyShapeItem *>(&Item)) {
    if (poly->FShapes.empty() || !poly->FShapes.front()) return;
    TgtShapeType first = poly->FShapes.front()->FShapeType;
    if (first == stPolygon || first == stPolyLine) RenderPolyShapeItem(*poly, first == stPolygon);
    return;
  }
  if (auto *clip = dynamic_cast<TgtClipItem *>(&Item)) return RenderClipItem(*clip);
  if (auto *path = dynamic_cast<TgtPathItem *>(&Item)) return RenderPathItem(*path);
  if (auto *pp = dynamic_cast<TgtPolyPolygonItem *>(&Item)) return RenderPolyPolygonItem(*pp);
  if (auto *eof = dynamic_cast<TgtEOFItem *>(&Item)) return RenderEOFItem(*eof);
  if (auto *draw = dynamic_cast<TgtPolyDrawItem *>(&Item)) return RenderPolyDrawItem(*draw);
  RenderOtherItem(Item);
}

void TgtCustomDocumentEngine::RenderTextItems(TgtItemList &List) {
  for (size_t i = 0; i < List.size(); ++i) {
    auto *text = dynamic_cast<TgtTextItem *>(List[i].get());
    if (!text) continue;
    FIsLastElementInTextList = i + 1 == List.size();
    RenderTextItem(*text);
  }
  FIsLastElementInTextList = false;
}

void TgtCustomDocumentEngine::SortTextItems(TgtItemList &List) {
  if (FNoSorting) return;
  auto y = [](const std::unique_ptr<TgtDocumentItem> &item) {
    auto *text = dynamic_cast<const TgtTextItem *>(item.get());
    return text ? text->FY : 0.0;
  };
  // Insertion sort: an item moves before its predecessor only while the
  // predecessor's FY is strictly greater, so equal FY keep their order.
  for (size_t i = 1; i < List.size(); ++i) {
    for (size_t j = i; j > 0 && y(List[j - 1]) > y(List[j]); --j) std::swap(List[j - 1], List[j]);
  }
}

void TgtCustomDocumentEngine::RenderPageBorder() {
  const TgtPageItem *page = CurrentPageItem();
  const double w = page ? page->FSettings.FWidth : FPage.FWidth;
  const double h = page ? page->FSettings.FHeight : FPage.FHeight;
  TgtPen pen{FPageBorder.FStyle, FPageBorder.FWidth, FPageBorder.FColor};
  if (FPageBorder.FDrawTop) RenderLine(pen, 0, 0, w, 0);
  if (FPageBorder.FDrawRight) RenderLine(pen, w, 0, w, h);
  if (FPageBorder.FDrawBottom) RenderLine(pen, 0, h, w, h);
  if (FPageBorder.FDrawLeft) RenderLine(pen, 0, 0, 0, h);
}

void TgtCustomDocumentEngine::RenderTextBoxItem(TgtTextBoxItem &Item) {
  const double x1 = Item.FX, y1 = Item.FY, x2 = Item.FX + Item.FBoxWidth, y2 = Item.FY + Item.FBoxHeight;
  if (Item.FBrush.Style != bsClear) {
    TgtPen clear{psClear, 1, 0};
    RenderRectangle(clear, &Item.FBrush, x1, y1, x2, y2);
  }
  if (Item.FPen.Style != psClear) {
    if (Item.FFrame.FIsTop) RenderLine(Item.FPen, x1, y1, x2, y1);
    if (Item.FFrame.FIsRight) RenderLine(Item.FPen, x2, y1, x2, y2);
    if (Item.FFrame.FIsBottom) RenderLine(Item.FPen, x1, y2, x2, y2);
    if (Item.FFrame.FIsLeft) RenderLine(Item.FPen, x1, y1, x1, y2);
  }
  RenderTextItem(Item);
}

}  // namespace nx
