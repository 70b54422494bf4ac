// Clipping on PDF pages: the operators every kind of clip item writes (the
// region modes, inserted clips, restores, clip paths), and what poppler draws
// of shapes that reach outside a clip.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "export/PdfTestSupport.h"

using namespace nx;
using namespace pdftest;
using nxtest::RunCommand;
using nxtest::ShellQuote;

namespace {

// The operators of a content stream in order, without their operands.
std::string Operators(const std::string &content) {
  std::istringstream in(content);
  std::string word, out;
  while (in >> word) {
    const char c = word[0];
    if ((c >= '0' && c <= '9') || c == '-' || c == '.' || c == '/' || c == '[' || c == '(' || c == '<') continue;
    out += (out.empty() ? "" : " ") + word;
  }
  return out;
}

RECT R(LONG l, LONG t, LONG r, LONG b) { return RECT{l, t, r, b}; }

void AddClip(TgtPDFEngine &e, int32_t mode, std::vector<RECT> rects, bool restore = false, bool inserted = false) {
  auto &c = AddItem<TgtClipItem>(e);
  c.FMode = mode;
  c.FNoRects = int32_t(rects.size());
  c.FClipRects = std::move(rects);
  c.FRestore = restore;
  c.FFromInsert = inserted;
}

// A filled rectangle without outline: "q rg re f Q", or "rg re f" inside
// an open clip.
void AddBox(TgtPDFEngine &e) {
  auto &s = AddItem<TgtShapeItem>(e);
  s.FShapeType = stRectangle;
  s.FPoints = {{0, 0}, {500, 500}};
  s.FNoPoints = 2;
  s.FPen = Pen(0, 1, psClear);
  s.FBrush = Brush(RGB(255, 0, 0));
}

void AddPathOp(TgtPDFEngine &e, TgtPathOperation op, int32_t mode = 0, bool alternate = false) {
  auto &p = AddItem<TgtPathItem>(e);
  p.FPathOperation = op;
  p.FMode = mode;
  p.FFillAlternate = alternate;
}

class PdfClipTest : public ::testing::Test {
 protected:
  // The operators that draw adds to page 1, after those every page starts
  // with (the scale line and the background); the content as written in
  // `raw`.
  std::string Page(const std::function<void(TgtPDFEngine &)> &draw, std::string *raw = nullptr) {
    if (empty_.empty()) empty_ = Operators(Content(nullptr)) + " ";
    const std::string c = Content(draw);
    if (raw) *raw = c;
    const std::string ops = Operators(c);
    return ops.rfind(empty_, 0) == 0 ? ops.substr(empty_.size()) : "page start differs: " + ops;
  }
  std::string Content(const std::function<void(TgtPDFEngine &)> &draw) {
    const std::string path = dir_.file("clip" + std::to_string(++n_));
    WriteWithEngine(path, nullptr, draw);
    return PageContent(path + ".pdf");
  }
  std::string empty_;
  nxtest::TempDir dir_;
  int n_ = 0;
};

constexpr const char *kRect = "m l l l l";  // one rectangle as a clip subpath

std::string Ops(std::initializer_list<std::string> parts) {
  std::string s;
  for (const auto &p : parts) s += (s.empty() ? "" : " ") + p;
  return s;
}

}  // namespace

TEST_F(PdfClipTest, RegionClipsOfEveryModeWriteTheirOperators) {
  NX_REQUIRE_TOOL("qpdf");
  const std::string box = "q rg re f Q", boxInClip = "rg re f";
  // An intersection with no clip open opens the clip state; a restore closes it.
  EXPECT_EQ(Page([](TgtPDFEngine &e) {
              AddClip(e, RGN_AND, {R(10, 10, 100, 100)});
              AddBox(e);
              AddClip(e, RGN_COPY, {}, true);
              AddBox(e);
            }),
            Ops({"q", kRect, "W* n", boxInClip, "Q", box}));
  // A copied region is the clip at once, not a bare "q".
  EXPECT_EQ(Page([](TgtPDFEngine &e) {
              AddClip(e, RGN_COPY, {R(10, 10, 100, 100)});
              AddBox(e);
            }),
            Ops({"q", kRect, "W* n", boxInClip, "Q"}));
  // A second copied region replaces the first: its level is closed first.
  EXPECT_EQ(Page([](TgtPDFEngine &e) {
              AddClip(e, RGN_COPY, {R(10, 10, 100, 100)});
              AddClip(e, RGN_COPY, {R(0, 0, 300, 300), R(0, 0, 100, 300), R(200, 0, 300, 300)});
              AddBox(e);
            }),
            Ops({"q", kRect, "W* n", "Q", "q", kRect, kRect, "W* n", boxInClip, "Q"}));
  // Intersections with an open clip stay in its level, one rectangle or
  // several, so one "Q" undoes them all.
  EXPECT_EQ(Page([](TgtPDFEngine &e) {
              AddClip(e, RGN_AND, {R(10, 10, 100, 100)});
              AddClip(e, RGN_AND, {R(20, 20, 50, 50)});
              AddClip(e, RGN_AND, {R(0, 0, 90, 90), R(0, 0, 30, 90), R(60, 0, 90, 90)});
              AddClip(e, RGN_COPY, {}, true);
              AddBox(e);
            }),
            Ops({"q", kRect, "W* n", kRect, "W* n", kRect, kRect, "W* n", "Q", box}));
  // A difference keeps the sheet without the region (even-odd over the
  // sheet and the region); a union with no clip open leaves the sheet.
  EXPECT_EQ(Page([](TgtPDFEngine &e) {
              AddClip(e, RGN_OR, {R(10, 10, 100, 100)});
              AddBox(e);
              AddClip(e, RGN_DIFF, {R(10, 10, 100, 100)});
              AddBox(e);
            }),
            Ops({box, "q", kRect, kRect, "W* n", boxInClip, "Q"}));
  // The end of a played metafile closes what is open.
  EXPECT_EQ(Page([](TgtPDFEngine &e) {
              AddClip(e, RGN_COPY, {R(10, 10, 100, 100)});
              AddClip(e, RGN_AND, {R(10, 10, 50, 50)}, false, true);
              AddItem<TgtEOFItem>(e).FStatus = true;
              AddBox(e);
            }),
            Ops({"q", kRect, "W* n", "q", kRect, "W* n", "Q", "Q", box}));
}

TEST_F(PdfClipTest, InsertedClipsHoldForTheNextTextAndClosePlainClipsFirst) {
  NX_REQUIRE_TOOL("qpdf");
  std::string raw;
  const std::string ops = Page(
      [](TgtPDFEngine &e) {
        AddClip(e, RGN_AND, {R(10, 10, 100, 100)}, false, true);
        AddClip(e, RGN_AND, {R(20, 20, 90, 90)}, false, true);  // replaces the first
        AddClip(e, RGN_AND, {R(0, 0, 30, 30)}, true, true);    // restore
        AddClip(e, RGN_AND, {R(10, 10, 100, 100)}, false, true);
        AddClip(e, RGN_COPY, {R(0, 0, 200, 200)});  // closes the inserted clip first
        AddBox(e);
      },
      &raw);
  EXPECT_EQ(ops, Ops({"q", kRect, "W* n", "Q", "q", kRect, "W* n", "Q", "q", kRect, "W* n", "Q", "q", kRect,
                      "W* n", "rg re f", "Q"}));
  // Even-odd throughout, and the rectangle's corners in points on the page.
  EXPECT_NE(raw.find(" q 7.5000 "), std::string::npos) << raw;
}

TEST_F(PdfClipTest, ClipPathsClipByTheirFillMode) {
  NX_REQUIRE_TOOL("qpdf");
  auto ellipse = [](TgtPDFEngine &e) {
    auto &s = AddItem<TgtShapeItem>(e);
    s.FShapeType = stEllipse;
    s.FPoints = {{100, 100}, {300, 200}};
    s.FNoPoints = 2;
    s.FPen = Pen(0);
  };
  // An alternate-filled path made the clip (copy), then a box inside it,
  // then a winding path intersected with it.
  EXPECT_EQ(Page([&](TgtPDFEngine &e) {
              AddPathOp(e, poBeginPath);
              ellipse(e);
              AddPathOp(e, poEndPath);
              AddPathOp(e, poSelectClipPath, RGN_COPY, true);
              AddBox(e);
              AddPathOp(e, poBeginPath);
              ellipse(e);
              AddPathOp(e, poEndPath);
              AddPathOp(e, poSelectClipPath, RGN_AND, false);
              AddClip(e, RGN_COPY, {}, true);
              AddBox(e);
            }),
            Ops({"q", "m c c c c h", "W* n", "rg re f", "m c c c c h", "W n", "Q", "q rg re f Q"}));
}

// A page recorded with GDI (96 dpi, so engine pixels are device pixels) goes
// through the page canvas; poppler's rendering shows only the clipped parts.
TEST_F(PdfClipTest, ShapesReachingOutsideAClipAreCutInTheRendering) {
  NX_REQUIRE_TOOL("pdftoppm");
  NX_REQUIRE_TOOL("convert");
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  SelectObject(dc, GetStockObject(NULL_PEN));
  auto box = [&](COLORREF c, int l, int t, int r, int b) {
    HBRUSH brush = CreateSolidBrush(c);
    HGDIOBJ old = SelectObject(dc, brush);
    Rectangle(dc, l, t, r, b);
    SelectObject(dc, old);
    DeleteObject(brush);
  };
  auto clip = [&](int l, int t, int r, int b) {
    HRGN rgn = CreateRectRgn(l, t, r, b);
    SelectClipRgn(dc, rgn);  // RGN_COPY
    DeleteObject(rgn);
  };
  clip(100, 100, 300, 200);
  box(RGB(255, 0, 0), 50, 50, 350, 250);
  clip(100, 300, 200, 400);  // replaced by the next one
  clip(250, 300, 350, 400);
  box(RGB(0, 0, 255), 50, 280, 400, 420);
  SelectClipRgn(dc, nullptr);
  BeginPath(dc);
  Ellipse(dc, 100, 500, 300, 700);
  EndPath(dc);
  SelectClipPath(dc, RGN_COPY);
  box(RGB(0, 160, 0), 50, 450, 350, 750);
  SelectClipRgn(dc, nullptr);
  box(RGB(0, 0, 0), 500, 50, 550, 100);  // after the restore: not clipped
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  const std::string path = dir_.file("cut");
  WriteWithEngine(path, nullptr, [&](TgtPDFEngine &e) { e.PlayMetafileAt(TgtRect{0, 0, 8.2677, 11.6929}, emf); });
  DeleteEnhMetaFile(emf);
  RunCommand("pdftoppm -r 96 -singlefile -png " + ShellQuote(path + ".pdf") + " " + ShellQuote(path));
  const std::string png = path + ".png";
  auto pixel = [&](int x, int y) {
    return RunCommand("convert " + ShellQuote(png) + " -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' -crop 1x1+" +
                      std::to_string(x) + "+" + std::to_string(y) + " info:")
        .output;
  };
  const std::string white = "255,255,255";
  EXPECT_EQ(pixel(200, 150), "255,0,0");  // inside the first clip
  EXPECT_EQ(pixel(70, 150), white);       // the same box outside it
  EXPECT_EQ(pixel(200, 230), white);
  EXPECT_EQ(pixel(300, 350), "0,0,255");  // inside the second region
  EXPECT_EQ(pixel(150, 350), white);      // inside the replaced one
  EXPECT_EQ(pixel(380, 350), white);
  EXPECT_EQ(pixel(200, 600), "0,160,0");  // inside the ellipse
  EXPECT_EQ(pixel(110, 510), white);      // the box's corner outside it
  EXPECT_EQ(pixel(200, 460), white);
  EXPECT_EQ(pixel(525, 75), "0,0,0");     // drawn after the restore
}
