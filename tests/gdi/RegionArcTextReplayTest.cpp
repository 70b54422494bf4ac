// Region painting (FillRgn, PaintRgn, FrameRgn, InvertRgn), AngleArc, the
// compact text record and flattened or widened paths: what they draw, what
// they record, and that the records play back to the same pixels.
#include <gtest/gtest.h>

#include "ReplayCompare.h"
#include "gdi/EmfTestUtil.h"

using drawtest::Canvas;
using drawtest::Recorded;
using namespace replay;

namespace {

// An L-shaped region: two rectangles.
HRGN LShape(int x, int y) {
  HRGN a = CreateRectRgn(x, y, x + 20, y + 40);
  HRGN b = CreateRectRgn(x, y + 25, x + 50, y + 40);
  CombineRgn(a, a, b, RGN_OR);
  DeleteObject(b);
  return a;
}

void RegionScene(HDC dc) {
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 128, 0));
  HRGN l1 = LShape(5, 5), l2 = LShape(65, 5), l3 = LShape(125, 5);
  FillRgn(dc, l1, red);
  HGDIOBJ old = SelectObject(dc, hatch);
  PaintRgn(dc, l2);
  SelectObject(dc, old);
  FrameRgn(dc, l3, blue, 2, 3);
  HRGN box = CreateRectRgn(0, 50, 100, 90);
  FillRgn(dc, box, blue);
  HRGN across = CreateRectRgn(40, 60, 140, 80);
  InvertRgn(dc, across);  // blue turns yellow, white turns black
  for (HGDIOBJ o : {(HGDIOBJ)l1, (HGDIOBJ)l2, (HGDIOBJ)l3, (HGDIOBJ)box, (HGDIOBJ)across, (HGDIOBJ)red,
                    (HGDIOBJ)blue, (HGDIOBJ)hatch})
    DeleteObject(o);
}

TEST(RegionReplay, RegionsPaintFrameAndInvertAndPlayBackTheSame) {
  Canvas direct(kW, kH);
  ExpectSameAsDirect(RegionScene, "regions", &direct);
  // The frame of the L at (125, 5): 2 pixels across, 3 down, on every side.
  EXPECT_EQ(direct.Map(125, 15, 131, 16, 0xFF), "##....\n");  // left edge of the upright
  EXPECT_EQ(direct.Map(140, 15, 146, 16, 0xFF), "...##.\n");  // its right edge (x 143, 144)
  EXPECT_EQ(direct.Map(135, 5, 136, 10, 0xFF), "#\n#\n#\n.\n.\n");  // top
  EXPECT_EQ(direct.Map(160, 33, 161, 46, 0xFF), ".\n.\n.\n.\n.\n.\n.\n.\n.\n#\n#\n#\n.\n")
      << "the bottom of the foot: rows 42..44";
  EXPECT_EQ(direct.At(160, 30), 0xFFu) << "the foot's top edge";
  EXPECT_EQ(direct.At(160, 34), 0xFFFFFFu) << "inside the foot";
  EXPECT_EQ(direct.At(10, 10), 0xFF0000u);
  EXPECT_EQ(direct.At(30, 10), 0xFFFFFFu) << "outside the L";
  EXPECT_EQ(direct.At(50, 65), 0xFFFF00u) << "blue inverted";
  EXPECT_EQ(direct.At(120, 65), 0x000000u) << "white inverted";
  EXPECT_EQ(direct.At(20, 65), 0x0000FFu) << "outside the inverted band";
  // The hatch of PaintRgn: some green, some background.
  int green = 0;
  for (int x = 65; x < 85; ++x) green += direct.At(x, 15) == 0x008000u;
  EXPECT_GT(green, 0);
  EXPECT_LT(green, 20);
}

TEST(RegionReplay, RegionRecordsCarryTheirFieldsAndBounds) {
  ENHMETAHEADER h{};
  auto recs = Recorded([](HDC dc) { RegionScene(dc); }, &h);
  std::vector<DWORD> types;
  for (auto &r : recs)
    if (r.type >= EMR_FILLRGN && r.type <= EMR_PAINTRGN) types.push_back(r.type);
  EXPECT_EQ(types, (std::vector<DWORD>{EMR_FILLRGN, EMR_PAINTRGN, EMR_FRAMERGN, EMR_FILLRGN,
                                       EMR_INVERTRGN}));
  for (auto &r : recs) {
    if (r.type == EMR_FRAMERGN) {
      auto f = r.As<EMRFRAMERGN>();
      EXPECT_EQ(f.szlStroke.cx, 2);
      EXPECT_EQ(f.szlStroke.cy, 3);
      EXPECT_EQ(f.rclBounds.left, 125);
      EXPECT_EQ(f.rclBounds.right, 174);
      EXPECT_EQ(f.rclBounds.bottom, 44);
      EXPECT_EQ(f.cbRgnData, 32u + 16 * 2);
      EXPECT_EQ(r.bytes.size(), 40u + f.cbRgnData);
    }
    if (r.type == EMR_INVERTRGN) {
      auto i = r.As<EMRINVERTRGN>();
      EXPECT_EQ(i.rclBounds.left, 40);
      EXPECT_EQ(i.rclBounds.bottom, 79);
      EXPECT_EQ(r.bytes.size(), 28u + 32 + 16);
    }
  }
  EXPECT_EQ(h.rclBounds.left, 0);
  EXPECT_EQ(h.rclBounds.right, 174);
  EXPECT_EQ(h.rclBounds.bottom, 89);
}

TEST(AngleArcReplay, TheArcStartsWithALineFromTheCurrentPositionAndTurnsCounterClockwise) {
  POINT after{};
  auto draw = [&after](HDC dc) {
    MoveToEx(dc, 10, 50, nullptr);
    AngleArc(dc, 50, 50, 20, 0, 90);
    GetCurrentPositionEx(dc, &after);
    HPEN wide = CreatePen(PS_SOLID, 3, RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(dc, wide);
    MoveToEx(dc, 150, 80, nullptr);
    AngleArc(dc, 150, 50, 25, 270, -180);  // from the bottom, clockwise by the left to the top
    LineTo(dc, 180, 10);
    SelectObject(dc, old);
    DeleteObject(wide);
  };
  Canvas direct(kW, kH);
  ExpectSameAsDirect(draw, "angle arcs", &direct);
  EXPECT_EQ(after.x, 50);
  EXPECT_EQ(after.y, 30);
  EXPECT_EQ(direct.At(30, 50), 0u) << "the line to the arc's start";
  auto inkNear = [&](int cx, int cy, uint32_t ink) {
    int n = 0;
    for (int y = cy - 1; y <= cy + 1; ++y)
      for (int x = cx - 1; x <= cx + 1; ++x) n += direct.At(x, y) == ink;
    return n;
  };
  EXPECT_GT(inkNear(64, 36, 0), 0) << "the upper right quarter";
  EXPECT_EQ(inkNear(64, 64, 0), 0) << "not the lower right one";
  EXPECT_EQ(inkNear(36, 36, 0), 0);
  EXPECT_GT(inkNear(132, 68, 0xFF), 0) << "clockwise from the bottom passes the left";
  EXPECT_EQ(inkNear(168, 68, 0xFF), 0);

  auto recs = Recorded([](HDC dc) {
    MoveToEx(dc, 10, 50, nullptr);
    AngleArc(dc, 50, 50, 20, 30.5f, -90);
  });
  ASSERT_EQ(recs.size(), 2u);
  ASSERT_EQ(recs[1].type, (DWORD)EMR_ANGLEARC);
  auto a = recs[1].As<EMRANGLEARC>();
  EXPECT_EQ(recs[1].bytes.size(), 44u);
  EXPECT_EQ(a.ptlCenter.x, 50);
  EXPECT_EQ(a.nRadius, 20u);
  EXPECT_EQ(a.eStartAngle, 30.5f);
  EXPECT_EQ(a.eSweepAngle, -90.0f);
  EXPECT_EQ(a.rclBounds.left, 10);
  EXPECT_EQ(a.rclBounds.right, 70);
  EXPECT_EQ(a.rclBounds.top, 30);
}

// A compact text record as other writers emit it.
std::vector<uint8_t> SmallText(LONG x, LONG y, DWORD options, const RECTL *rect,
                               const std::u16string &text, bool bytes) {
  std::vector<uint8_t> b;
  emftest::Append(b, x);
  emftest::Append(b, y);
  emftest::Append(b, (DWORD)text.size());
  emftest::Append(b, options | (rect ? 0u : (DWORD)ETO_NO_RECT) | (bytes ? 0x200u : 0u));
  emftest::Append(b, (DWORD)GM_COMPATIBLE);
  emftest::Append(b, 0.0f);
  emftest::Append(b, 0.0f);
  if (rect) emftest::Append(b, *rect);
  for (char16_t c : text) {
    if (bytes) b.push_back((uint8_t)c);
    else emftest::Append(b, (uint16_t)c);
  }
  return b;
}

TEST(SmallTextReplay, CompactTextRecordsDrawLikeExtTextOut) {
  emftest::EmfBuilder b({0, 0, 5080, 2540}, 1);
  b.Add(EMR_SETBKMODE, {TRANSPARENT});
  b.AddBytes(EMR_SMALLTEXTOUT, SmallText(10, 10, 0, nullptr, u"Small", true));
  b.AddBytes(EMR_SMALLTEXTOUT, SmallText(10, 40, 0, nullptr, u"Wide\u00e9", false));
  b.Add(EMR_SETBKMODE, {OPAQUE});
  b.Add(EMR_SETBKCOLOR, {RGB(255, 255, 0)});
  RECTL band{100, 60, 180, 90};
  b.AddBytes(EMR_SMALLTEXTOUT, SmallText(105, 65, ETO_OPAQUE, &band, u"Box", true));
  auto bytes = b.Image();
  HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bytes.size(), bytes.data());
  ASSERT_NE(emf, nullptr);
  Canvas played(kW, kH), direct(kW, kH);
  Play(emf, &played);
  DeleteEnhMetaFile(emf);
  SetBkMode(direct.dc, TRANSPARENT);
  ExtTextOutW(direct.dc, 10, 10, 0, nullptr, (LPCWSTR)u"Small", 5, nullptr);
  ExtTextOutW(direct.dc, 10, 40, 0, nullptr, (LPCWSTR)u"Wide\u00e9", 5, nullptr);
  SetBkMode(direct.dc, OPAQUE);
  SetBkColor(direct.dc, RGB(255, 255, 0));
  RECT rc{100, 60, 180, 90};
  ExtTextOutW(direct.dc, 105, 65, ETO_OPAQUE, &rc, (LPCWSTR)u"Box", 3, nullptr);
  std::string first;
  EXPECT_EQ(Differences(direct, played, &first), 0) << first;
  EXPECT_GT(played.Count(0), 40) << "text drawn";
  EXPECT_EQ(played.At(178, 88), 0xFFFF00u) << "the opaque rectangle";
  EXPECT_EQ(played.At(181, 88), 0xFFFFFFu);
}

}  // namespace

namespace {

// A path with a straight part, an arc and a Bézier.
void CurvyPath(HDC dc) {
  BeginPath(dc);
  MoveToEx(dc, 20, 70, nullptr);
  LineTo(dc, 60, 20);
  POINT bez[3] = {{90, 0}, {120, 90}, {170, 40}};
  PolyBezierTo(dc, bez, 3);
  Arc(dc, 120, 50, 160, 90, 160, 70, 120, 70);
  EndPath(dc);
}

TEST(PathReplay, FlattenPathLeavesOnlyLinesAndPlaysBackTheSame) {
  HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
  auto draw = [pen](HDC dc) {
    SelectObject(dc, pen);
    CurvyPath(dc);
    FlattenPath(dc);
    StrokePath(dc);
  };
  ExpectSameAsDirect(draw, "flattened");
  Canvas c(kW, kH);
  CurvyPath(c.dc);
  int before = GetPath(c.dc, nullptr, nullptr, 0);
  ASSERT_TRUE(FlattenPath(c.dc));
  int n = GetPath(c.dc, nullptr, nullptr, 0);
  ASSERT_GT(n, before);
  std::vector<POINT> pts((size_t)n);
  std::vector<BYTE> types((size_t)n);
  ASSERT_EQ(GetPath(c.dc, pts.data(), types.data(), n), n);
  for (BYTE t : types) EXPECT_NE(t & ~PT_CLOSEFIGURE, PT_BEZIERTO);
  EXPECT_EQ(types[0], PT_MOVETO);
  EXPECT_EQ(pts[1].x, 60);
  EXPECT_EQ(pts[1].y, 20);
  HDC fresh = CreateCompatibleDC(nullptr);
  EXPECT_FALSE(FlattenPath(fresh)) << "no path";
  DeleteDC(fresh);
  DeleteObject(pen);
}

TEST(PathReplay, AWidenedPathFilledCoversWhatTheStrokeDid) {
  const LOGBRUSH solidBlack{BS_SOLID, 0, 0};
  for (int width : {1, 7}) {
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                            (DWORD)width, &solidBlack, 0, nullptr);
    HBRUSH black = (HBRUSH)GetStockObject(BLACK_BRUSH);
    Canvas stroked(kW, kH), widened(kW, kH);
    SelectObject(stroked.dc, pen);
    CurvyPath(stroked.dc);
    StrokePath(stroked.dc);
    auto draw = [&](HDC dc) {
      SelectObject(dc, pen);
      SelectObject(dc, black);
      SetPolyFillMode(dc, WINDING);
      CurvyPath(dc);
      ASSERT_TRUE(WidenPath(dc));
      FillPath(dc);
    };
    ExpectSameAsDirect(draw, "widened " + std::to_string(width), &widened);
    std::string first;
    EXPECT_EQ(Differences(stroked, widened, &first), 0) << width << ": " << first;
    DeleteObject(pen);
  }
}

}  // namespace
