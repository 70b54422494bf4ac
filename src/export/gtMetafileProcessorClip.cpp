// The interpreter's clipping records and FILLRGN.
#include <cmath>

#include "export/gtMetafileProcessor.h"

namespace nx {

namespace {

LONG RoundCoord(double v) {
  const double r = RoundEven(v);
  return r < -2147483647.0 ? -2147483647 : r > 2147483647.0 ? 2147483647 : LONG(r);
}

// The rectangles of a region (RGNDATA at off, cb bytes): false when the
// header or the rectangles do not lie inside the record.
bool RegionRects(const TgtEmfRecord &r, uint64_t off, DWORD cb, RECT *bounds, std::vector<RECT> *rects) {
  RGNDATAHEADER h;
  const uint8_t *head = r.Bytes(off, sizeof h);
  if (!head || cb < sizeof h) return false;
  std::memcpy(&h, head, sizeof h);
  const uint64_t at = off + (h.dwSize >= sizeof h ? h.dwSize : sizeof h);
  if (uint64_t(h.nCount) * sizeof(RECT) > cb) return false;
  const uint8_t *p = r.Bytes(at, uint64_t(h.nCount) * sizeof(RECT));
  if (!p) return false;
  rects->resize(h.nCount);
  if (h.nCount) std::memcpy(rects->data(), p, h.nCount * sizeof(RECT));
  *bounds = h.rcBound;
  return true;
}

}  // namespace

void TgtMetafileProcessor::AddClip(std::vector<RECT> Rects, int32_t Mode, bool Restore, bool FromInsert) {
  auto clip = std::make_unique<TgtClipItem>();
  clip->FBrush = FCurrentBrush;
  clip->FPen = FCurrentPen;
  clip->FRestore = Restore;
  clip->FMode = Mode;
  clip->FFromInsert = FromInsert;
  clip->FNoRects = int32_t(Rects.size());
  clip->FClipRects = std::move(Rects);
  Append(std::move(clip));
}

bool TgtMetafileProcessor::DoClip(const TgtEmfRecord &r) {
  if (r.Type() == EMR_FILLRGN) return FillRgn(r);
  if (r.Type() == EMR_INTERSECTCLIPRECT) {
    EMRINTERSECTCLIPRECT e;
    if (!r.Read(&e)) return false;
    const TgtMetaPoint a = FSpace.MapPoint(e.rclClip.left, e.rclClip.top),
                       b = FSpace.MapPoint(e.rclClip.right, e.rclClip.bottom);
    FIsClipRect = FIsIntersectClipRect = true;
    FClipRect = {a.X, a.Y, b.X, b.Y};
    RECT rc{RoundCoord(a.X + FStartX), RoundCoord(a.Y + FStartY), RoundCoord(b.X + FStartX),
            RoundCoord(b.Y + FStartY)};
    AddClip({rc}, RGN_AND, false, true);
    FClipRecatangle = true;
    return true;
  }
  // EXTSELECTCLIPRGN: device rectangles, only offset by the start point.
  DWORD cb, mode;
  if (!r.U32(8, &cb) || !r.U32(12, &mode)) return false;
  if (cb == 0) {
    FClipRect = TgtRect{};
    AddClip({}, int32_t(mode), true, false);
    return true;
  }
  RECT bounds;
  std::vector<RECT> rects;
  if (!RegionRects(r, 16, cb, &bounds, &rects)) return false;
  if (rects.empty()) return true;
  const LONG dx = RoundCoord(FStartX), dy = RoundCoord(FStartY);
  auto moved = [dx, dy](RECT rc) { return RECT{rc.left + dx, rc.top + dy, rc.right + dx, rc.bottom + dy}; };
  std::vector<RECT> out{moved(bounds)};
  if (rects.size() == 1) FIsClipRect = true;
  else
    for (const RECT &rc : rects) out.push_back(moved(rc));
  AddClip(std::move(out), int32_t(mode), false, false);
  return true;
}

// A rectangle over the region's bounds with the brush the record names: a
// stock brush, or an entry of the object table; any other index skips it.
bool TgtMetafileProcessor::FillRgn(const TgtEmfRecord &r) {
  EMRFILLRGN e;
  if (!r.Fits(0, 1, offsetof(EMRFILLRGN, RgnData))) return false;
  std::memcpy(&e, r.Bytes(0, offsetof(EMRFILLRGN, RgnData)), offsetof(EMRFILLRGN, RgnData));
  RECT bounds;
  std::vector<RECT> rects;
  if (!RegionRects(r, offsetof(EMRFILLRGN, RgnData), e.cbRgnData, &bounds, &rects)) return false;
  if (!FProcessShape) return true;
  TgtBrush brush;
  const DWORD stock = e.ihBrush & ~ENHMETA_STOCK_OBJECT;
  if ((e.ihBrush & ENHMETA_STOCK_OBJECT) && (stock <= NULL_BRUSH || stock == DC_BRUSH)) {
    const TgtBrush saved = FCurrentBrush;
    SelectStockObject(stock);
    brush = FCurrentBrush;
    FCurrentBrush = saved;
  } else if (e.ihBrush >= 1 && e.ihBrush <= FGDIOBJList.size() &&
             FGDIOBJList[e.ihBrush - 1].FGDIOBJType == goBrush) {
    brush = FGDIOBJList[e.ihBrush - 1].FBrush;
  } else {
    return true;  // no brush of that index: nothing to paint
  }
  auto item = std::make_unique<TgtShapeItem>();
  item->FShapeType = stRectangle;
  item->FPen = TgtPen{psClear, 0, 0};
  item->FBrush = brush;
  item->FPoints = {{bounds.left + FStartX, bounds.top + FStartY}, {bounds.right + FStartX, bounds.bottom + FStartY}};
  item->FNoPoints = 2;
  Append(std::move(item));
  return true;
}

}  // namespace nx
