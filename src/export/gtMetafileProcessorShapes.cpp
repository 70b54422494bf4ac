// The interpreter's shape, poly and path records.
#include <cmath>

#include "export/gtMetafileProcessor.h"

namespace nx {

namespace {

bool IsSmall(DWORD t) { return t >= EMR_POLYBEZIER16 && t <= EMR_POLYDRAW16; }

}  // namespace

bool TgtMetafileProcessor::IsShapeRecord(DWORD t) {
  return t == EMR_LINETO || t == EMR_RECTANGLE || t == EMR_ELLIPSE || t == EMR_ROUNDRECT || t == EMR_ARC ||
         t == EMR_CHORD || t == EMR_PIE;
}

bool TgtMetafileProcessor::IsPolyRecord(DWORD t) {
  return (t >= EMR_POLYBEZIER && t <= EMR_POLYPOLYGON) || (t >= EMR_POLYBEZIER16 && t <= EMR_POLYDRAW16) ||
         t == EMR_POLYDRAW;
}

bool TgtMetafileProcessor::IsPathRecord(DWORD t) {
  return (t >= EMR_BEGINPATH && t <= EMR_STROKEPATH) || t == EMR_SELECTCLIPPATH || t == EMR_ABORTPATH;
}

TgtPoint TgtMetafileProcessor::Map(double x, double y) const {
  const TgtMetaPoint p = FSpace.MapPoint(x, y);
  return {p.X + FStartX, p.Y + FStartY};
}

TgtShapeItem &TgtMetafileProcessor::AddShape(TgtShapeType Type, bool Filled, TgtPoints Points) {
  auto item = std::make_unique<TgtShapeItem>();
  item->FShapeType = Type;
  item->FNoPoints = int32_t(Points.size());
  item->FPoints = std::move(Points);
  item->FPen = FCurrentPen;
  if (Filled) item->FBrush = FCurrentBrush;
  item->FPenJoinStyle = FCurrentPenJoin;
  item->FPenCapStyle = FCurrentPenCap;
  TgtShapeItem &ref = *item;
  Append(std::move(item));
  return ref;
}

bool TgtMetafileProcessor::DoShape(const TgtEmfRecord &r) {
  if (r.Type() == EMR_LINETO) {
    EMRLINETO e;
    if (!r.Read(&e)) return false;
    if (FProcessShape) {
      AddShape(stLine, false, {Map(FCurrentPathPoint.x, FCurrentPathPoint.y), Map(e.ptl.x, e.ptl.y)});
    }
    FCurrentPathPoint = e.ptl;
    FUpdatePathX = 0;
    return true;
  }
  if (r.Type() == EMR_ARC || r.Type() == EMR_CHORD || r.Type() == EMR_PIE) {
    EMRARC e;
    if (!r.Read(&e)) return false;
    if (!FProcessShape) return true;
    const TgtShapeType type = r.Type() == EMR_ARC ? stArc : r.Type() == EMR_CHORD ? stChord : stPie;
    const RECTL &b = e.rclBox;
    AddShape(type, type != stArc,
             {Map(b.left, b.top), Map(b.right, b.bottom), Map(e.ptlStart.x, e.ptlStart.y), Map(e.ptlEnd.x, e.ptlEnd.y)});
    return true;
  }
  EMRROUNDRECT e{};
  if (r.Type() == EMR_ROUNDRECT ? !r.Read(&e) : !r.Read(reinterpret_cast<EMRRECTANGLE *>(&e))) return false;
  if (!FProcessShape) return true;
  const RECTL &b = e.rclBox;
  const TgtShapeType type = r.Type() == EMR_RECTANGLE ? stRectangle : r.Type() == EMR_ELLIPSE ? stEllipse : stRoundRect;
  TgtShapeItem &s = AddShape(type, true, {Map(b.left, b.top), Map(b.right, b.bottom)});
  if (type == stRectangle && FROP2 == R2_NOP) s.FPen.Color = FBKColor;
  if (type == stRoundRect) {
    // The corner ellipse is a size: it scales with the page, never moves.
    const TgtMetaPoint c = FSpace.MapSize(e.szlCorner.cx, e.szlCorner.cy);
    s.FPoints.push_back({std::fabs(c.X), std::fabs(c.Y)});
  }
  s.FNoPoints = int32_t(s.FPoints.size());
  return true;
}

// The points of a POLYLINE-style record: bounds, count, points.
bool TgtMetafileProcessor::PolyRecord(const TgtEmfRecord &r, bool Small, std::vector<POINT> *Points) {
  DWORD count;
  if (!r.U32(24, &count)) return false;
  return r.Points(28, count, Small, Points);
}

// The counts and points of a POLYPOLYLINE-style record; the counts must add
// up to the total the record gives.
bool TgtMetafileProcessor::PolyPolyRecord(const TgtEmfRecord &r, bool Small, std::vector<DWORD> *Counts,
                                          std::vector<POINT> *Points) {
  DWORD polys, total;
  if (!r.U32(24, &polys) || !r.U32(28, &total) || !r.Counts(32, polys, Counts)) return false;
  uint64_t sum = 0;
  for (DWORD c : *Counts) sum += c;
  return sum == total && r.Points(32 + 4 * uint64_t(polys), total, Small, Points);
}

bool TgtMetafileProcessor::DoPoly(const TgtEmfRecord &r) {
  const DWORD t = r.Type();
  const bool small = IsSmall(t);
  const DWORD base = small ? t - (EMR_POLYBEZIER16 - EMR_POLYBEZIER) : t;
  std::vector<POINT> pts;
  std::vector<DWORD> counts;
  auto mapped = [this](const std::vector<POINT> &in, size_t from, size_t n) {
    TgtPoints out;
    out.reserve(n);
    for (size_t i = from; i < from + n; ++i) out.push_back(Map(in[i].x, in[i].y));
    return out;
  };
  if (base == EMR_POLYPOLYLINE || base == EMR_POLYPOLYGON) {
    if (!PolyPolyRecord(r, small, &counts, &pts)) return false;
    if (!FProcessShape) return true;
    if (base == EMR_POLYPOLYGON) {
      auto item = std::make_unique<TgtPolyPolygonItem>();
      item->FBrush = FCurrentBrush;
      item->FPen = FCurrentPen;
      item->FNoPoly = int32_t(counts.size());
      item->FFillAlternate = FPolyFillMode == ALTERNATE || FPolyFillMode == 0;
      item->FNoPoints.push_back(int32_t(pts.size()));
      for (DWORD c : counts) item->FNoPoints.push_back(int32_t(c));
      item->FPoints = mapped(pts, 0, pts.size());
      Append(std::move(item));
      return true;
    }
    auto poly = std::make_unique<TgtPolyShapeItem>();
    size_t at = 0;
    for (DWORD c : counts) {
      auto s = std::make_unique<TgtShapeItem>();
      s->FShapeType = stPolyLine;
      s->FPen = FCurrentPen;
      s->FPenJoinStyle = FCurrentPenJoin;
      s->FPenCapStyle = FCurrentPenCap;
      s->FPoints = mapped(pts, at, c);
      s->FNoPoints = int32_t(c);
      at += c;
      if (small) poly->FShapes.push_back(std::move(s));
      else Append(std::move(s));  // 32-bit polylines stand alone
    }
    if (small) Append(std::move(poly));
    return true;
  }
  if (base == EMR_POLYDRAW) {
    DWORD count;
    if (!r.U32(24, &count) || !r.Points(28, count, small, &pts)) return false;
    const uint8_t *types = r.Bytes(28 + uint64_t(count) * (small ? 4 : 8), count);
    if (!types) return false;
    if (count == 0) return true;
    auto item = std::make_unique<TgtPolyDrawItem>();
    item->FBrush = FCurrentBrush;
    item->FPen = FCurrentPen;
    item->FNoPoints = int32_t(count);
    item->FOperations.assign(types, types + count);
    item->FPoints = mapped(pts, 0, count);
    Append(std::move(item));
    return true;
  }
  if (!PolyRecord(r, small, &pts)) return false;
  const bool to = base == EMR_POLYLINETO || base == EMR_POLYBEZIERTO;
  const bool bezier = base == EMR_POLYBEZIER || base == EMR_POLYBEZIERTO;
  if ((FProcessShape || bezier) && !pts.empty()) {
    const TgtShapeType type = bezier ? stPolyBezier : base == EMR_POLYGON ? stPolygon : stPolyLine;
    TgtPoints all;
    if (to) all.push_back(Map(FCurrentPathPoint.x, FCurrentPathPoint.y));
    TgtPoints rest = mapped(pts, 0, pts.size());
    all.insert(all.end(), rest.begin(), rest.end());
    AddShape(type, type == stPolygon, std::move(all));
  }
  if (to && !pts.empty()) {
    FCurrentPathPoint = pts.back();
    FUpdatePathX = 0;
  }
  return true;
}

bool TgtMetafileProcessor::DoPath(const TgtEmfRecord &r) {
  auto item = std::make_unique<TgtPathItem>();
  switch (r.Type()) {
    case EMR_BEGINPATH: item->FPathOperation = poBeginPath; FInPath = true; break;
    case EMR_ENDPATH: item->FPathOperation = poEndPath; FInPath = false; break;
    case EMR_CLOSEFIGURE: item->FPathOperation = poCloseFigure; break;
    case EMR_ABORTPATH: item->FPathOperation = poAbortPath; FInPath = false; break;
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
      item->FPathOperation = r.Type() == EMR_FILLPATH ? poFillPath : poStrokeAndFillPath;
      item->FFillAlternate = FPolyFillMode == ALTERNATE || FPolyFillMode == 0;
      item->FPen = FCurrentPen;
      item->FBrush = FCurrentBrush;
      break;
    case EMR_STROKEPATH:
      item->FPathOperation = poStrokePath;
      item->FPen = FCurrentPen;
      item->FBrush = FCurrentBrush;
      break;
    default: {  // SELECTCLIPPATH
      DWORD mode;
      if (!r.U32(8, &mode)) return false;
      item->FPathOperation = poSelectClipPath;
      item->FMode = int32_t(mode);
      item->FFillAlternate = FPolyFillMode == ALTERNATE || FPolyFillMode == 0;
      break;
    }
  }
  Append(std::move(item));
  return true;
}

}  // namespace nx
