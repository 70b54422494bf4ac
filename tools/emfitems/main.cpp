// emfitems: runs the export engines' metafile interpreter on an enhanced
// metafile and prints the drawing items it makes, one a line, in the text
// form FORMAT.md beside this file describes.
//
//   emfitems INPUT.emf [--start X,Y]
//
// A damaged file (truncated, a record that does not fit, no end-of-file
// record) gives the items up to the damage; what was wrong goes to stderr.
// Exit status: 0 clean, 2 items printed but problems reported, 1 nothing
// could be read.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"
#include "export/gtMetafileProcessorRecord.h"

using namespace nx;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: emfitems INPUT.emf [--start X,Y]\n"
               "  prints the drawing items the export engines make of the metafile, one a line;\n"
               "  X,Y (engine pixels) is added to every position\n");
  return 1;
}

std::string Num(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.4f", v == 0 ? 0.0 : v);  // no "-0.0000"
  return b;
}

std::string Hex(COLORREF c) {
  char b[16];
  std::snprintf(b, sizeof b, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return b;
}

std::string Utf8(const WString &w) {
  std::string out;
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = w[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
    if (c < 0x20 || c == '"' || c == '\\' || c == 0x7F || (c >= 0xD800 && c < 0xE000)) {
      char b[16];
      std::snprintf(b, sizeof b, c == '"' ? "\\\"" : c == '\\' ? "\\\\" : "\\u%04X", c);
      out += b;
    } else if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

const char *PenStyle(TgtPenStyle s) {
  static const char *n[] = {"solid", "dash", "dot", "dashdot", "dashdotdot", "clear", "insideframe", "user", "alternate"};
  return s < std::size(n) ? n[s] : "?";
}

const char *BrushStyle(TgtBrushStyle s) {
  static const char *n[] = {"solid", "clear", "horizontal", "vertical", "fdiagonal", "bdiagonal", "cross", "diagcross"};
  return s < std::size(n) ? n[s] : "?";
}

std::string Pen(const TgtPen &p) {
  return "pen=" + std::string(PenStyle(p.Style)) + "," + std::to_string(p.Width) + "," + Hex(p.Color);
}

std::string Brush(const TgtBrush &b) {
  std::string s = "brush=" + std::string(BrushStyle(b.Style)) + "," + Hex(b.Color);
  if (b.Bitmap) s += ",pattern" + std::to_string(b.Bitmap->Width()) + "x" + std::to_string(b.Bitmap->Height());
  return s;
}

std::string Points(const TgtPoints &pts) {
  std::string s;
  for (const TgtPoint &p : pts) s += " " + Num(p.X) + "," + Num(p.Y);
  return s;
}

std::string JoinCap(TgtPenJoinStyle j, TgtPenCapStyle c) {
  static const char *joins[] = {"none", "bevel", "miter", "round"};
  static const char *caps[] = {"none", "round", "square", "flat"};
  return std::string("join=") + joins[j] + " cap=" + caps[c];
}

std::string ShapeLine(const TgtShapeItem &s) {
  static const char *types[] = {"Line", "Rectangle", "RoundRect", "Ellipse", "Polygon",
                                "PolyLine", "Arc", "Chord", "Pie", "PolyBezier"};
  std::string line = std::string("Shape ") + types[s.FShapeType] + " " + Pen(s.FPen) + " " +
                     (s.FBrush ? Brush(*s.FBrush) : "brush=none") + " " + JoinCap(s.FPenJoinStyle, s.FPenCapStyle) +
                     " n=" + std::to_string(s.FNoPoints) + Points(s.FPoints);
  return line;
}

std::string TextLine(const TgtTextItem &t) {
  static const char *aligns[] = {"left", "right", "center", "justify", "general"};
  const TgtFont &f = t.FFont;
  std::string styles = std::string(f.Bold ? "b" : "") + (f.Italic ? "i" : "") + (f.Underline ? "u" : "") +
                       (f.StrikeOut ? "s" : "");
  std::string line = "Text " + Num(t.FX) + "," + Num(t.FY) + " angle=" + std::to_string(t.FRotationAngle) +
                     " align=" + aligns[t.FAlignment] + " font=\"" + Utf8(f.Name) + "\"," + std::to_string(f.PointSize) +
                     "pt," + Num(double(t.FFontSizeInFloat)) + "," + (styles.empty() ? "-" : styles) + ",cs" +
                     std::to_string(f.Charset) + " color=" + Hex(f.Color) + " " + Brush(t.FBrush) +
                     " width=" + Num(t.FWidthOfTheText);
  double advance = 0;
  for (double a : t.FCharSpaceArray) advance += a;
  line += " advance=" + Num(advance);
  if (t.FIsClipRect)
    line += " clip=" + Num(t.FClipRect.Left) + "," + Num(t.FClipRect.Top) + "," + Num(t.FClipRect.Right) + "," +
            Num(t.FClipRect.Bottom);
  if (t.FBiDiMode != bdLeftToRight) line += " rtl";
  for (const WString &l : t.FLines) line += " \"" + Utf8(l) + "\"";
  return line;
}

std::string ImageLine(const TgtImageItem &i, const TgtCustomDocumentEngine &e) {
  std::string line = "Image " + Num(i.FX) + "," + Num(i.FY) + " " + Num(i.FWidth) + "x" + Num(i.FHeight) +
                     " index=" + std::to_string(i.FIndexNo);
  const auto &images = e.ImageResources();
  if (i.FIndexNo >= 0 && size_t(i.FIndexNo) < images.size() && images[size_t(i.FIndexNo)]) {
    const TgtBitmap &b = *images[size_t(i.FIndexNo)];
    line += " picture=" + std::to_string(b.Width()) + "x" + std::to_string(b.Height()) + " md5=";
    char hex[3];
    for (BYTE v : b.Digest()) {
      std::snprintf(hex, sizeof hex, "%02x", v);
      line += hex;
    }
  } else {
    line += " picture=none";
  }
  line += std::string(" stretch=") + (i.FSettings.FStretch ? "1" : "0") + " center=" + (i.FSettings.FCenter ? "1" : "0") +
          " transparent=" + (i.FSettings.FTransparent ? "1" : "0");
  return line;
}

std::string ItemLine(const TgtDocumentItem &item, const TgtCustomDocumentEngine &e) {
  static const char *ops[] = {"BeginPath", "EndPath", "CloseFigure", "AbortPath",
                              "FillPath", "StrokeAndFillPath", "StrokePath", "SelectClipPath"};
  if (auto *t = dynamic_cast<const TgtTextItem *>(&item)) return TextLine(*t);
  if (auto *i = dynamic_cast<const TgtImageItem *>(&item)) return ImageLine(*i, e);
  if (auto *s = dynamic_cast<const TgtShapeItem *>(&item)) return ShapeLine(*s);
  if (auto *p = dynamic_cast<const TgtPolyShapeItem *>(&item)) {
    std::string line = "PolyShape alternate=" + std::to_string(p->FFillAlternate) + " shapes=" + std::to_string(p->FShapes.size());
    for (const auto &s : p->FShapes) line += "\n  " + ShapeLine(*s);
    return line;
  }
  if (auto *p = dynamic_cast<const TgtPolyPolygonItem *>(&item)) {
    std::string counts;
    for (size_t k = 1; k < p->FNoPoints.size(); ++k) counts += (k > 1 ? "," : "") + std::to_string(p->FNoPoints[k]);
    return "PolyPolygon " + Pen(p->FPen) + " " + Brush(p->FBrush) + " alternate=" + std::to_string(p->FFillAlternate) +
           " polys=" + std::to_string(p->FNoPoly) + " counts=" + counts + Points(p->FPoints);
  }
  if (auto *p = dynamic_cast<const TgtPolyDrawItem *>(&item)) {
    std::string types;
    for (size_t k = 0; k < p->FOperations.size(); ++k) types += (k ? "," : "") + std::to_string(p->FOperations[k]);
    return "PolyDraw " + Pen(p->FPen) + " " + Brush(p->FBrush) + " n=" + std::to_string(p->FNoPoints) + " types=" + types +
           Points(p->FPoints);
  }
  if (auto *c = dynamic_cast<const TgtClipItem *>(&item)) {
    std::string line = "Clip restore=" + std::to_string(c->FRestore) + " mode=" + std::to_string(c->FMode) +
                       " insert=" + std::to_string(c->FFromInsert) + " n=" + std::to_string(c->FNoRects);
    for (const RECT &r : c->FClipRects)
      line += " " + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
              std::to_string(r.bottom);
    return line;
  }
  if (auto *p = dynamic_cast<const TgtPathItem *>(&item)) {
    std::string line = std::string("Path ") + ops[p->FPathOperation];
    if (p->FPathOperation == poSelectClipPath) line += " mode=" + std::to_string(p->FMode);
    if (p->FPathOperation == poFillPath || p->FPathOperation == poStrokeAndFillPath)
      line += " alternate=" + std::to_string(p->FFillAlternate);
    if (p->FPen) line += " " + Pen(*p->FPen);
    if (p->FBrush) line += " " + Brush(*p->FBrush);
    return line;
  }
  if (auto *f = dynamic_cast<const TgtEOFItem *>(&item)) return "EOF status=" + std::to_string(f->FStatus);
  return "Other";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return Usage();
  std::string input;
  double startX = 0, startY = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--start" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%lf,%lf", &startX, &startY) != 2) return Usage();
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      input = a;
    }
  }
  if (input.empty()) return Usage();
  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "emfitems: %s: cannot be read\n", input.c_str());
    return 1;
  }
  std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string damage;
  const std::vector<BYTE> image = SalvageEnhMetaFileBits(bytes.data(), bytes.size(), &damage);
  HENHMETAFILE emf = image.empty() ? nullptr : SetEnhMetaFileBits(UINT(image.size()), image.data());
  if (!emf) {
    std::fprintf(stderr, "emfitems: %s: %s\n", input.c_str(), damage.empty() ? "not a metafile" : damage.c_str());
    return 1;
  }
  bool problems = !damage.empty();
  if (problems) std::fprintf(stderr, "emfitems: %s: %s; the items before it follow\n", input.c_str(), damage.c_str());

  TgtCustomDocumentEngine engine;
  engine.Preferences().FShowSetupDialog = false;
  engine.Preferences().FOpenAfterCreate = false;
  engine.BeginDoc();
  const uint64_t errors = NxErrorCount();
  {
    TgtMetafileProcessor processor(engine);
    processor.SetCombineCharsToSentence(true);
    processor.Execute(emf, startX, startY);
  }
  if (NxErrorCount() != errors) {
    problems = true;
    std::fprintf(stderr, "emfitems: %s: %s\n", input.c_str(), LastNxErrorText().c_str());
  }
  for (TgtItemList *list : {engine.CurrentDocumentItemList(), engine.CurrentTextItemList()})
    if (list)
      for (const auto &item : *list) std::printf("%s\n", ItemLine(*item, engine).c_str());
  engine.EndDoc();
  DeleteEnhMetaFile(emf);
  return problems ? 2 : 0;
}
