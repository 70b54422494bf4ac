// Page content of the PDF writer: coordinates, colours, stroke and fill
// settings, opacity states, shapes, paths and clipping.
#include <cmath>
#include <numbers>

#include "export/gtCstPDFEng.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx {

using pdf::AppendFixed4;
using pdf::Fixed4;

// ---- coordinates ----------------------------------------------------------------

double TgtCustomPDFEngine::XRes() const { return InputXRes() / static_cast<double>(gtScreenResolution); }
double TgtCustomPDFEngine::YRes() const { return InputYRes() / static_cast<double>(gtScreenResolution); }
double TgtCustomPDFEngine::PageHeight() const {
  return FPageIndex >= 0 ? FPageList[FPageIndex].FHeight : 0;
}
double TgtCustomPDFEngine::X(double x) const { return XRes() * (x * FPixelToPointMultiplier); }
double TgtCustomPDFEngine::Y(double y) const {
  const double h = PageHeight();
  return YRes() * (h != 0 ? h - y * FPixelToPointMultiplier : y * FPixelToPointMultiplier);
}
double TgtCustomPDFEngine::LenX(double l) const { return XRes() * (l * FPixelToPointMultiplier); }
double TgtCustomPDFEngine::LenY(double l) const { return YRes() * (l * FPixelToPointMultiplier); }

std::string TgtCustomPDFEngine::Pt(double x, double y) const {
  std::string s;
  AppendPt(s, x, y);
  return s;
}

void TgtCustomPDFEngine::AppendPt(std::string &out, double x, double y) const {
  AppendFixed4(out, X(x));
  out += ' ';
  AppendFixed4(out, Y(y));
}

// ---- colours and settings ----------------------------------------------------------

std::string TgtCustomPDFEngine::FillColor(COLORREF c) const {
  std::string s;
  AppendFillColor(s, c);
  return s;
}

void TgtCustomPDFEngine::AppendFillColor(std::string &out, COLORREF c) const {
  if (pdf::IsPdfA(FVersion)) out += "/CS0 cs ";
  pdf::AppendRgb(out, c);
  out += pdf::IsPdfA(FVersion) ? " scn" : " rg";
}

std::string TgtCustomPDFEngine::StrokeColor(COLORREF c) const {
  std::string s = pdf::IsPdfA(FVersion) ? "/CS0 CS " : "";
  pdf::AppendRgb(s, c);
  s += pdf::IsPdfA(FVersion) ? " SCN" : " RG";
  return s;
}

std::string TgtCustomPDFEngine::StrokeSettings(const TgtPen &pen) const {
  std::string s;
  AppendStrokeSettings(s, pen);
  return s;
}

void TgtCustomPDFEngine::AppendStrokeSettings(std::string &s, const TgtPen &pen) const {
  static const char *const dashes[] = {"[]0", "[16 8]0", "[3 4]0", "[8 4 2 4]0", "[8 4 2 4 2 8]0"};
  if (pen.Style <= psDashDotDot) {
    s += dashes[pen.Style];
    s += " d ";
  }
  switch (FPenJoin) {
    case pjsBevel: s += "2 j "; break;
    case pjsMiter: s += "0 j "; break;
    case pjsRound: s += "1 j "; break;
    default: break;
  }
  switch (FPenCap) {
    case pcsRound: s += "1 J "; break;
    case pcsSquare: s += "2 J "; break;
    case pcsFlat: s += "0 J "; break;
    default: break;
  }
  const double w = pen.Width * FPixelToPointMultiplier;
  AppendFixed4(s, w > 0 ? w : 0.001);
  s += " w ";
  if (pdf::IsPdfA(FVersion)) s += "/CS0 CS ";
  pdf::AppendRgb(s, pen.Color);
  s += pdf::IsPdfA(FVersion) ? " SCN" : " RG";
}

bool TgtCustomPDFEngine::IsHatch(const TgtBrush *brush) {
  return brush && brush->Style >= bsHorizontal && brush->Style <= bsDiagCross;
}

std::string TgtCustomPDFEngine::PatternName(TgtBrushStyle style) {
  static const char *const names[] = {"PH", "PV", "PFD", "PBD", "PC", "PDC"};
  const std::string name = names[style - bsHorizontal];
  for (const auto &[n, obj] : FPattern)
    if (n == name) return name;
  FPattern.emplace_back(name, NextObjectNumber());
  return name;
}

std::string TgtCustomPDFEngine::FillSettings(const TgtBrush *brush) {
  if (!brush || brush->Style == bsClear) return {};
  if (brush->Style == bsSolid) return FillColor(brush->Color);
  std::string s = "/CSP cs ";
  pdf::AppendRgb(s, brush->Color);
  s += " /" + PatternName(brush->Style) + " scn n ";
  return s;
}

std::string TgtCustomPDFEngine::GraphicsState(int32_t opacity) {
  const int32_t obj = NextObjectNumber();
  // Every state gets a name of its own: the number of states so far.
  const std::string tag = "GS" + std::to_string(FPDGStateList.size());
  const std::string a = pdf::General(opacity / 100.0);
  FWriter->WriteObject("/Type\r\n/ExtGState\r\n/ca " + a + "\r\n/CA " + a + "\r\n", obj);
  FPDGStateList.push_back({obj, tag});
  return "/" + tag + " gs\r\n";
}

void TgtCustomPDFEngine::WriteBlock(const std::string &drawing, bool isLine, bool polygonFamily) {
  BeginBlock(isLine);
  FContentStream += drawing;
  EndBlock(polygonFamily);
}

void TgtCustomPDFEngine::BeginBlock(bool isLine) {
  FContentStream += FIsClipState ? "\r\n" : isLine ? "\r\nq " : "\r\nq\r\n";
}

void TgtCustomPDFEngine::EndBlock(bool polygonFamily) {
  FContentStream += FIsClipState ? "\r\n" : polygonFamily ? "\r\nQ " : "\r\nQ";
}

void TgtCustomPDFEngine::AppendPath(const std::string &path) {
  FPath += path;
  if (!FPath.empty() && FPath.back() != ' ' && FPath.back() != '\n') FPath += ' ';
  FFirstPoint = false;
}

// ---- shapes ----------------------------------------------------------------------

void TgtCustomPDFEngine::RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) {
  if (InPathBracket()) {
    AppendPath(FFirstPoint ? Pt(X1, Y1) + " m " + Pt(X2, Y2) + " l " : Pt(X2, Y2) + " l ");
    return;
  }
  if (Pen.Style == psClear) return;
  BeginBlock(true);
  AppendStrokeSettings(FContentStream, Pen);
  FContentStream += ' ';
  AppendPt(FContentStream, X1, Y1);
  FContentStream += " m ";
  AppendPt(FContentStream, X2, Y2);
  FContentStream += " l S";
  EndBlock(false);
}

// Fill then outline of a closed path: " f " for the fill, " s" for the
// outline, or " B" when a hatch pattern was set for the fill.
void TgtCustomPDFEngine::PaintClosedShape(const std::string &path, const TgtPen &pen, const TgtBrush *brush,
                                          bool fillSeparator) {
  const std::string fill = FillSettings(brush);
  const bool stroke = pen.Style != psClear;
  if (fill.empty() && !stroke) return;
  std::string &d = FContentStream;
  BeginBlock(false);
  if (!fill.empty()) {
    d += fill;
    d += ' ';
    d += path;
    d += " f ";
  }
  if (stroke) {
    AppendStrokeSettings(d, pen);
    d += ' ';
    d += path;
    d += IsHatch(brush) ? " B" : " s";
  }
  EndBlock(false);
}

void TgtCustomPDFEngine::RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                         double Y2) {
  std::string &path = FShapePath;
  path.clear();
  AppendFixed4(path, std::nearbyint(X(X1)));
  path += ' ';
  AppendFixed4(path, std::nearbyint(Y(Y2)));
  path += ' ';
  AppendFixed4(path, LenX(std::nearbyint(X2 - X1)));
  path += ' ';
  AppendFixed4(path, LenY(std::nearbyint(Y2 - Y1)));
  path += " re";
  if (InPathBracket()) {
    AppendPath(path + " ");
    return;
  }
  PaintClosedShape(path, Pen, Brush, true);
}

std::string TgtCustomPDFEngine::EllipsePath(double x1, double y1, double x2, double y2) const {
  const double k = 4 * (std::numbers::sqrt2 - 1) / 3;
  const double xmin = std::min(X(x1), X(x2)), xmax = std::max(X(x1), X(x2));
  const double ymin = std::min(Y(y1), Y(y2)), ymax = std::max(Y(y1), Y(y2));
  const double cx = (xmin + xmax) / 2, cy = (ymin + ymax) / 2, rx = cx - xmin, ry = ymax - cy;
  auto c = [](double a, double b, double c2, double d, double e, double f) {
    return Fixed4(a) + " " + Fixed4(b) + " " + Fixed4(c2) + " " + Fixed4(d) + " " + Fixed4(e) + " " + Fixed4(f) +
           " c ";
  };
  return Fixed4(cx) + " " + Fixed4(ymax) + " m " + c(cx + k * rx, ymax, xmax, cy + k * ry, xmax, cy) +
         c(xmax, cy - k * ry, cx + k * rx, ymin, cx, ymin) + c(cx - k * rx, ymin, xmin, cy - k * ry, xmin, cy) +
         c(xmin, cy + k * ry, cx - k * rx, ymax, cx, ymax);
}

void TgtCustomPDFEngine::RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                       double Y2) {
  const std::string path = EllipsePath(X1, Y1, X2, Y2);
  if (InPathBracket()) {
    AppendPath(path + "h ");
    return;
  }
  PaintClosedShape(path, Pen, Brush, false);
}

void TgtCustomPDFEngine::RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                         double Y2, double X3, double Y3) {
  const double k = 4 * (std::numbers::sqrt2 - 1) / 3;
  const double l = std::min(X(X1), X(X2)), r = std::max(X(X1), X(X2));
  const double b = std::min(Y(Y1), Y(Y2)), t = std::max(Y(Y1), Y(Y2));
  const double rx = std::min(LenX(std::fabs(X3)) / 2, (r - l) / 2), ry = std::min(LenY(std::fabs(Y3)) / 2, (t - b) / 2);
  auto p = [](double x, double y) { return Fixed4(x) + " " + Fixed4(y); };
  auto c = [&](double ax, double ay, double bx, double by, double ex, double ey) {
    return p(ax, ay) + " " + p(bx, by) + " " + p(ex, ey) + " c ";
  };
  const std::string path = p(l + rx, t) + " m " + p(r - rx, t) + " l " +
                           c(r - rx + k * rx, t, r, t - ry + k * ry, r, t - ry) + p(r, b + ry) + " l " +
                           c(r, b + ry - k * ry, r - rx + k * rx, b, r - rx, b) + p(l + rx, b) + " l " +
                           c(l + rx - k * rx, b, l, b + ry - k * ry, l, b + ry) + p(l, t - ry) + " l " +
                           c(l, t - ry + k * ry, l + rx - k * rx, t, l + rx, t) + "h";
  if (InPathBracket()) {
    AppendPath(path + " ");
    return;
  }
  PaintClosedShape(path, Pen, Brush, true);
}

std::string TgtCustomPDFEngine::ArcPath(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                                        double y4) const {
  // In the written coordinate system (y up), counter-clockwise from the
  // radial start to the radial end point, as GDI draws by default.
  const double xmin = std::min(X(x1), X(x2)), xmax = std::max(X(x1), X(x2));
  const double ymin = std::min(Y(y1), Y(y2)), ymax = std::max(Y(y1), Y(y2));
  const double cx = (xmin + xmax) / 2, cy = (ymin + ymax) / 2;
  const double rx = std::max((xmax - xmin) / 2, 1e-9), ry = std::max((ymax - ymin) / 2, 1e-9);
  double a = std::atan2((Y(y3) - cy) / ry, (X(x3) - cx) / rx);
  double e = std::atan2((Y(y4) - cy) / ry, (X(x4) - cx) / rx);
  while (e <= a) e += 2 * std::numbers::pi;
  auto P = [&](double t) { return std::pair{cx + rx * std::cos(t), cy + ry * std::sin(t)}; };
  auto D = [&](double t) { return std::pair{-rx * std::sin(t), ry * std::cos(t)}; };
  const auto [sx, sy] = P(a);
  std::string s = Fixed4(sx) + " " + Fixed4(sy) + " m ";
  const int pieces = std::max(1, static_cast<int>(std::ceil((e - a) / (std::numbers::pi / 2) - 1e-9)));
  const double step = (e - a) / pieces;
  for (int i = 0; i < pieces; ++i) {
    const double t0 = a + i * step, t1 = t0 + step, h = step / 2;
    const double kappa = 4.0 / 3.0 * (1 - std::cos(h)) / std::sin(h);
    const auto [p0x, p0y] = P(t0);
    const auto [p1x, p1y] = P(t1);
    const auto [d0x, d0y] = D(t0);
    const auto [d1x, d1y] = D(t1);
    const std::string c1 = Fixed4(p0x + kappa * d0x) + " " + Fixed4(p0y + kappa * d0y);
    const std::string c2 = Fixed4(p1x - kappa * d1x) + " " + Fixed4(p1y - kappa * d1y);
    const std::string end = Fixed4(p1x) + " " + Fixed4(p1y);
    s += c2 == end ? c1 + " " + end + " y " : c1 + " " + c2 + " " + end + " c ";
  }
  return s;
}

void TgtCustomPDFEngine::RenderArc(const TgtPen &Pen, double X1, double Y1, double X2, double Y2, double X3,
                                   double Y3, double X4, double Y4) {
  const std::string path = ArcPath(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  if (InPathBracket()) {
    AppendPath(path);
    return;
  }
  if (Pen.Style == psClear) return;
  WriteBlock(StrokeSettings(Pen) + " " + path + " S", false, false);
}

void TgtCustomPDFEngine::RenderChord(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                     double Y2, double X3, double Y3, double X4, double Y4) {
  const std::string path = ArcPath(X1, Y1, X2, Y2, X3, Y3, X4, Y4) + "h";
  if (InPathBracket()) {
    AppendPath(path + " ");
    return;
  }
  PaintClosedShape(path, Pen, Brush, false);
}

void TgtCustomPDFEngine::RenderPie(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                   double Y2, double X3, double Y3, double X4, double Y4) {
  const std::string path =
      ArcPath(X1, Y1, X2, Y2, X3, Y3, X4, Y4) + Pt((X1 + X2) / 2, (Y1 + Y2) / 2) + " l h";
  if (InPathBracket()) {
    AppendPath(path + " ");
    return;
  }
  PaintClosedShape(path, Pen, Brush, false);
}

std::string TgtCustomPDFEngine::PolygonPath(const TgtPoints &pts, int32_t n, bool closed, bool continueFigure) const {
  std::string s;
  n = std::min<int32_t>(n, static_cast<int32_t>(pts.size()));
  for (int32_t i = 0; i < n; ++i) s += Pt(pts[i].X, pts[i].Y) + (i == 0 && !continueFigure ? " m " : " l ");
  if (closed && n > 0) s += Pt(pts[0].X, pts[0].Y) + " l ";
  return s;
}

void TgtCustomPDFEngine::RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush,
                                       const TgtPen &Pen, bool IsClosed) {
  if (NoPoints <= 0 || Points.empty()) return;
  if (InPathBracket()) {
    AppendPath(PolygonPath(Points, NoPoints, IsClosed, !IsClosed && !FFirstPoint) + (IsClosed ? "h " : ""));
    return;
  }
  const std::string path = PolygonPath(Points, NoPoints, IsClosed, false);
  const bool stroke = Pen.Style != psClear;
  if (!IsClosed) {
    if (stroke) WriteBlock(StrokeSettings(Pen) + " " + path + " S ", false, true);
    return;
  }
  const std::string fill = FillSettings(Brush);
  std::string d;
  if (!fill.empty() && stroke)
    d = fill + " " + StrokeSettings(Pen) + " " + path + (IsHatch(Brush) ? " B" : "B* ");
  else if (stroke)
    d = StrokeSettings(Pen) + " " + path + " s";
  else if (!fill.empty())
    d = fill + " " + path + " f ";
  else
    return;
  WriteBlock(d, false, true);
}

void TgtCustomPDFEngine::RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) {
  const int32_t n = std::min<int32_t>(NoPoints, static_cast<int32_t>(Points.size()));
  if (n < 1) return;
  std::string path;
  const bool cont = InPathBracket() && !FFirstPoint;
  int32_t i = 0;
  if (!cont) {
    path = Pt(Points[0].X, Points[0].Y) + " m ";
    i = 1;
  }
  for (; i + 2 < n; i += 3)
    path += Pt(Points[i].X, Points[i].Y) + " " + Pt(Points[i + 1].X, Points[i + 1].Y) + " " +
            Pt(Points[i + 2].X, Points[i + 2].Y) + " c ";
  if (InPathBracket()) {
    AppendPath(path);
    return;
  }
  if (Pen.Style == psClear) return;
  WriteBlock(StrokeSettings(Pen) + " " + path + "S", false, true);
}

void TgtCustomPDFEngine::RenderPolyPolygonItem(TgtPolyPolygonItem &Item) {
  std::string path;
  size_t k = 0;
  for (int32_t p = 1; p <= Item.FNoPoly && static_cast<size_t>(p) < Item.FNoPoints.size(); ++p) {
    const int32_t count = Item.FNoPoints[p];
    for (int32_t i = 0; i < count && k < Item.FPoints.size(); ++i, ++k)
      path += Pt(Item.FPoints[k].X, Item.FPoints[k].Y) + (i == 0 ? " m \r\n" : " l \r\n");
    if (count > 0) path += "h\r\n";  // every polygon is closed, also in its outline
  }
  if (path.empty()) return;
  if (InPathBracket()) {
    AppendPath(path);
    return;
  }
  const std::string fill = FillSettings(&Item.FBrush);
  const bool stroke = Item.FPen.Style != psClear;
  std::string d;
  if (!fill.empty()) d += fill + "\r\n" + path + "\r\n" + (Item.FFillAlternate ? "f*" : "f");
  if (stroke) d += (d.empty() ? "" : "\r\n") + StrokeSettings(Item.FPen) + "\r\n" + path + " s";
  if (d.empty()) return;
  WriteBlock(d, false, true);
}

void TgtCustomPDFEngine::RenderPolyShapeItem(TgtPolyShapeItem &Item, bool IsPolygon) {
  if (Item.FShapes.empty()) return;
  std::string path;
  const TgtShapeItem &first = *Item.FShapes.front();
  for (const auto &shape : Item.FShapes)
    path += PolygonPath(shape->FPoints, shape->FNoPoints, IsPolygon, false) + (IsPolygon ? "h\r\n" : "\r\n");
  if (InPathBracket()) {
    AppendPath(path);
    return;
  }
  FPenJoin = first.FPenJoinStyle;
  FPenCap = first.FPenCapStyle;
  std::string d;
  const TgtBrush *brush = first.FBrush ? &*first.FBrush : nullptr;
  const std::string fill = IsPolygon ? FillSettings(brush) : std::string();
  if (!fill.empty()) d += fill + "\r\n" + path + "\r\n" + (Item.FFillAlternate ? "f*" : "f");
  if (first.FPen.Style != psClear)
    d += (d.empty() ? "" : "\r\n") + StrokeSettings(first.FPen) + "\r\n" + path + (IsPolygon ? " s" : " S");
  if (d.empty()) return;
  WriteBlock(d, false, true);
}

// ---- paths ----------------------------------------------------------------------

void TgtCustomPDFEngine::RenderPolyDrawItem(TgtPolyDrawItem &Item) {
  if (!InPathBracket()) return;  // contributes to a path bracket only
  std::string s;
  const size_t n = std::min({static_cast<size_t>(std::max(Item.FNoPoints, 0)), Item.FPoints.size(),
                             Item.FOperations.size()});
  for (size_t i = 0; i < n; ++i) {
    const BYTE op = Item.FOperations[i] & ~PT_CLOSEFIGURE;
    if (op == PT_MOVETO) {
      s += Pt(Item.FPoints[i].X, Item.FPoints[i].Y) + " m ";
    } else if (op == PT_LINETO) {
      s += Pt(Item.FPoints[i].X, Item.FPoints[i].Y) + " l ";
    } else if (op == PT_BEZIERTO && i + 2 < n) {
      s += Pt(Item.FPoints[i].X, Item.FPoints[i].Y) + " " + Pt(Item.FPoints[i + 1].X, Item.FPoints[i + 1].Y) + " " +
           Pt(Item.FPoints[i + 2].X, Item.FPoints[i + 2].Y) + " c ";
      i += 2;
    }
    if (Item.FOperations[i] & PT_CLOSEFIGURE) s += "h ";
  }
  AppendPath(s);
}

std::string TgtCustomPDFEngine::PathColourPrefix(const TgtPathItem &item) {
  const TgtBrush *brush = item.FBrush ? &*item.FBrush : nullptr;
  const bool clearPen = !item.FPen || item.FPen->Style == psClear;
  const bool clearBrush = !brush || brush->Style == bsClear;
  if (clearPen) return " " + FillSettings(brush) + "\r\n";
  if (clearBrush) return StrokeSettings(*item.FPen) + " \r\n";
  return StrokeSettings(*item.FPen) + " " + FillSettings(brush) + " \r\n";
}

void TgtCustomPDFEngine::RenderPathItem(TgtPathItem &Item) {
  const bool alt = Item.FFillAlternate;
  auto finish = [&](const std::string &op) {
    FContentStream += PathColourPrefix(Item) + FPath + op + "\r\n";
    FPathStatus = psNoPath;
    FPath.clear();
    FIsPathClosed = false;
    FFirstPoint = true;
  };
  switch (Item.FPathOperation) {
    case poBeginPath:
      FPathStatus = psPathBegins;
      FFirstPoint = true;
      FIsPathClosed = false;
      FPath.clear();
      break;
    case poEndPath:
      if (FPathStatus == psPathBegins) FPathStatus = psPathEnds;
      break;
    case poCloseFigure:
      if (FPathStatus == psPathBegins) {
        if (!FPath.empty()) FPath += "h ";
        FIsPathClosed = true;
        FFirstPoint = true;
      }
      break;
    case poAbortPath:
      FContentStream += " n \r\n";
      FPathStatus = psNoPath;
      FPath.clear();
      break;
    case poFillPath:
      if (FPath.empty()) break;
      finish(alt ? "h f*" : "h f");
      break;
    case poStrokeAndFillPath: {
      if (FPath.empty()) break;
      const bool clearPen = !Item.FPen || Item.FPen->Style == psClear;
      const bool clearBrush = !Item.FBrush || Item.FBrush->Style == bsClear;
      std::string op;
      if (clearPen)
        op = FIsPathClosed ? (alt ? "f*" : "f") : (alt ? "f*" : "F");
      else if (clearBrush)
        op = FIsPathClosed ? "s" : "S";
      else
        op = FIsPathClosed ? (alt ? "b*" : "b") : (alt ? "B*" : "B");
      finish(op);
      break;
    }
    case poStrokePath:
      if (FPath.empty()) break;
      finish(FIsPathClosed ? "s" : "S");
      break;
    case poSelectClipPath:
      // The path becomes the clip, filled by the metafile's fill mode.
      CloseInsertedClip();
      if (!FPath.empty()) ApplyClip(Item.FMode, FPath, alt ? " W*" : " W");
      FPathStatus = psNoPath;
      FPath.clear();
      FIsPathClosed = false;
      FFirstPoint = true;
      break;
  }
}

// ---- clipping ---------------------------------------------------------------------
//
// A clip lives in its own "q" level, the clip state: GDI's clip can be
// replaced, PDF's only intersected, so replacing means closing that level
// ("Q") and opening a new one. Intersecting stays in the open level, so the
// one "Q" of a restore always returns to the unclipped page. The clip of a
// region is the union of its disjoint rectangles, written as subpaths under
// the even-odd rule.

std::string TgtCustomPDFEngine::RectSubpath(double l, double t, double r, double b) const {
  return Fixed4(X(l)) + " " + Fixed4(Y(t)) + " m \r\n" + Pt(r, t) + " l \r\n" + Pt(r, b) + " l \r\n" + Pt(l, b) +
         " l \r\n" + Pt(l, t) + " l \r\n";
}

std::string TgtCustomPDFEngine::ClipSubpaths(const TgtClipItem &item, bool allRects) const {
  std::string s;
  auto rect = [&](const RECT &r) { s += RectSubpath(r.left, r.top, r.right, r.bottom); };
  const size_t n = item.FClipRects.size();
  if (n == 0) return s;
  if (!allRects || n < 2)
    rect(item.FClipRects[0]);
  else
    for (size_t i = 1; i < n; ++i) rect(item.FClipRects[i]);
  return s;
}

// The whole sheet as a subpath: with a region's rectangles after it, the
// even-odd rule leaves the sheet outside the region.
std::string TgtCustomPDFEngine::SheetSubpath() const {
  const double p = FPixelToPointMultiplier > 0 ? FPixelToPointMultiplier : 0.75;
  const double w = FPageIndex >= 0 ? FPageList[FPageIndex].FWidth / p : 0;
  const double h = FPageIndex >= 0 ? FPageList[FPageIndex].FHeight / p : 0;
  return RectSubpath(0, 0, w, h);
}

void TgtCustomPDFEngine::CloseInsertedClip() {
  if (!FIsInsertClipState) return;
  FContentStream += " Q \r\n";
  FIsInsertClipState = false;
}

void TgtCustomPDFEngine::ApplyClip(int32_t mode, const std::string &subpaths, const char *clipOperator) {
  std::string s = subpaths;
  switch (mode) {
    case RGN_COPY:
      if (FIsClipState) FContentStream += " Q ";
      FIsClipState = false;
      break;
    case RGN_AND:
      break;
    case RGN_DIFF:
      s = SheetSubpath() + subpaths;
      break;
    case RGN_XOR:  // the whole sheet XOR the region: the sheet without it
      if (FIsClipState) return;
      s = SheetSubpath() + subpaths;
      break;
    default:  // RGN_OR: the union with an open clip cannot be written; with none it is the sheet
      return;
  }
  if (s.empty()) return;
  FContentStream += FIsClipState ? " " : " q ";
  FContentStream += s + clipOperator + " n \r\n";
  FIsClipState = true;
}

void TgtCustomPDFEngine::RenderClipItem(TgtClipItem &Item) {
  if (Item.FFromInsert) {
    if (Item.FRestore) {
      CloseInsertedClip();
      return;
    }
    if (Item.FClipRects.empty()) return;
    const bool wasOpen = FIsInsertClipState;
    if (wasOpen) FContentStream += " Q ";
    FContentStream += " q " + ClipSubpaths(Item, false) + " W* n \r\n";
    if (wasOpen) FContentStream += "\r\n";
    FIsInsertClipState = true;
    return;
  }
  CloseInsertedClip();
  if (Item.FRestore) {
    if (FIsClipState) {
      FContentStream += " Q \r\n";
      FIsClipState = false;
    }
    return;
  }
  ApplyClip(Item.FMode, ClipSubpaths(Item, true), " W*");
}

void TgtCustomPDFEngine::RenderEOFItem(TgtEOFItem &Item) {
  if (!Item.FStatus) return;
  if (FIsClipState) FContentStream += " Q ";
  if (FIsInsertClipState) FContentStream += " Q ";
  FIsClipState = FIsInsertClipState = false;
}

}  // namespace nx
