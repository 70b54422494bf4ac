// A test engine that logs the framework's calls of its hooks, and items that
// carry a tag.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "export/gtCstDocEng.h"

namespace enginetest {

using namespace nx;

// An item of no drawing class: it reaches RenderOtherItem.
class TTagItem : public TgtDocumentItem {
 public:
  explicit TTagItem(std::string tag) : Tag(std::move(tag)) {}
  std::string Tag;
};

inline const char *BandName(TgtBandType t) {
  switch (t) {
    case btContent: return "content";
    case btHeader: return "header";
    case btFooter: return "footer";
    case btWatermark: return "watermark";
    case btStamp: return "stamp";
  }
  return "?";
}

class TLogEngine : public TgtCustomDocumentEngine {
 public:
  TLogEngine() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  using TgtCustomDocumentEngine::FooterItem;
  using TgtCustomDocumentEngine::HeaderItem;
  using TgtCustomDocumentEngine::SetCapabilities;
  using TgtCustomDocumentEngine::StampItem;
  using TgtCustomDocumentEngine::WatermarkItem;

  std::vector<std::string> Log;
  // Shape hooks log instead of rasterising unless set.
  bool Rasterise = false;
  std::vector<std::pair<TgtBitmap, TgtPoint>> Bitmaps;

  void Add(std::unique_ptr<TgtDocumentItem> item) { CurrentDocumentItemList()->push_back(std::move(item)); }
  void AddTag(const std::string &tag) { Add(std::make_unique<TTagItem>(tag)); }

 protected:
  void Note(const std::string &s) { Log.push_back(s); }
  std::string Where() const { return std::string("@") + BandName(BandType()) + std::to_string(CurrentPage()); }

  void StartDocument() override { Note("StartDocument"); }
  void EndDocument() override {
    Note("EndDocument");
    TgtCustomDocumentEngine::EndDocument();
  }
  void StartPage() override { Note("StartPage" + std::to_string(CurrentPage())); }
  void EndPage() override { Note("EndPage" + std::to_string(CurrentPage())); }
  void RenderOtherItem(TgtDocumentItem &item) override {
    auto *tag = dynamic_cast<TTagItem *>(&item);
    Note((tag ? tag->Tag : std::string("other")) + Where());
  }
  void RenderTextItem(TgtTextItem &item) override {
    Note("text:" + std::string(item.FLines.empty() ? "" : "1") + Where());
  }
  void RenderTextBoxItem(TgtTextBoxItem &item) override { Note("textbox" + Where()); }
  void RenderImageItem(TgtImageItem &) override { Note("image" + Where()); }
  void RenderImageStream(TgtImageStream &) override { Note("imagestream" + Where()); }
  void RenderClipItem(TgtClipItem &) override { Note("clip" + Where()); }
  void RenderPathItem(TgtPathItem &) override { Note("path" + Where()); }
  void RenderEOFItem(TgtEOFItem &) override { Note("eof" + Where()); }
  void RenderPolyDrawItem(TgtPolyDrawItem &) override { Note("polydraw" + Where()); }
  void RenderPolyPolygonItem(TgtPolyPolygonItem &i) override {
    if (Rasterise) return TgtCustomDocumentEngine::RenderPolyPolygonItem(i);
    Note("polypolygon");
  }
  void RenderLine(const TgtPen &p, double x1, double y1, double x2, double y2) override {
    if (Rasterise) return TgtCustomDocumentEngine::RenderLine(p, x1, y1, x2, y2);
    Note("line");
  }
  void RenderRectangle(const TgtPen &p, const TgtBrush *b, double x1, double y1, double x2, double y2) override {
    if (Rasterise) return TgtCustomDocumentEngine::RenderRectangle(p, b, x1, y1, x2, y2);
    Note(b ? "rectangle filled" : "rectangle");
  }
  void RenderRoundRect(const TgtPen &, const TgtBrush *, double, double, double, double, double, double) override {
    Note("roundrect");
  }
  void RenderEllipse(const TgtPen &p, const TgtBrush *b, double x1, double y1, double x2, double y2) override {
    if (Rasterise) return TgtCustomDocumentEngine::RenderEllipse(p, b, x1, y1, x2, y2);
    Note("ellipse");
  }
  void RenderPolygon(const TgtPoints &pts, int32_t n, const TgtBrush *b, const TgtPen &p, bool closed) override {
    if (Rasterise) return TgtCustomDocumentEngine::RenderPolygon(pts, n, b, p, closed);
    Note(closed ? "polygon" : "polyline");
  }
  void RenderPolyShapeItem(TgtPolyShapeItem &, bool isPolygon) override {
    Note(isPolygon ? "polyshape polygon" : "polyshape polyline");
  }
  void RenderArc(const TgtPen &, double, double, double, double, double, double, double, double) override {
    Note("arc");
  }
  void RenderPie(const TgtPen &, const TgtBrush *, double, double, double, double, double, double, double,
                 double) override {
    Note("pie");
  }
  void RenderChord(const TgtPen &, const TgtBrush *, double, double, double, double, double, double, double,
                   double) override {
    Note("chord");
  }
  void RenderPolyBezier(const TgtPoints &, int32_t, const TgtPen &) override { Note("bezier"); }
  void RenderShapeBitmap(const TgtBitmap &bitmap, double x, double y) override {
    Bitmaps.push_back({bitmap, {x, y}});
  }
};

}  // namespace enginetest
