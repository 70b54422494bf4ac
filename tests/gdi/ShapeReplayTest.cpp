// Box shapes (rectangles, ellipses, round rectangles, arcs, chords, pies)
// drawn directly and the same calls recorded on a metafile DC and played
// back at 1:1 give the same pixels, in both graphics modes and with pens
// of every kind; the recorded box and the bounds follow GDI's edge rules.
#include <gtest/gtest.h>

#include "ReplayCompare.h"
#include "gdi/EmfTestUtil.h"

using drawtest::Canvas;
using drawtest::Recorded;
using namespace replay;

namespace {

struct PenCase {
  const char *name;
  std::function<HPEN()> make;
};

std::vector<PenCase> Pens() {
  LOGBRUSH blue{BS_SOLID, RGB(0, 0, 200), 0};
  return {
      {"cosmetic", [] { return CreatePen(PS_SOLID, 0, RGB(0, 0, 200)); }},
      {"width 1", [] { return CreatePen(PS_SOLID, 1, RGB(0, 0, 200)); }},
      {"width 4", [] { return CreatePen(PS_SOLID, 4, RGB(0, 0, 200)); }},
      {"width 5 inside frame", [] { return CreatePen(PS_INSIDEFRAME, 5, RGB(0, 0, 200)); }},
      {"geometric 3 flat",
       [blue] {
         return ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, 3, &blue,
                             0, nullptr);
       }},
      {"null", [] { return (HPEN)GetStockObject(NULL_PEN); }},
  };
}

// Every box shape once, with odd and even sizes.
void Shapes(HDC dc) {
  Rectangle(dc, 10, 10, 40, 31);
  Rectangle(dc, 50, 12, 51, 30);  // one unit wide
  Ellipse(dc, 60, 10, 91, 40);
  RoundRect(dc, 100, 10, 140, 40, 12, 9);
  Arc(dc, 150, 10, 185, 40, 185, 25, 150, 10);
  Chord(dc, 10, 50, 45, 85, 45, 60, 10, 60);
  Pie(dc, 55, 50, 90, 86, 90, 68, 72, 50);
  MoveToEx(dc, 100, 90, nullptr);
  ArcTo(dc, 100, 50, 140, 86, 140, 68, 100, 68);
  LineTo(dc, 180, 90);
}

void WithPen(HDC dc, const PenCase &pc, const Draw &body) {
  HPEN pen = pc.make();
  HBRUSH brush = CreateSolidBrush(RGB(255, 200, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
  body(dc);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(ShapeReplay, CompatibleModeShapesPlayBackPixelForPixel) {
  for (const PenCase &pc : Pens())
    ExpectSameAsDirect([&](HDC dc) { WithPen(dc, pc, Shapes); }, pc.name);
}

TEST(ShapeReplay, AdvancedModeShapesPlayBackPixelForPixel) {
  for (const PenCase &pc : Pens())
    ExpectSameAsDirect(
        [&](HDC dc) {
          SetGraphicsMode(dc, GM_ADVANCED);
          WithPen(dc, pc, Shapes);
        },
        pc.name);
}

TEST(ShapeReplay, ScaledAndTurnedWorldsPlayBackPixelForPixel) {
  for (const PenCase &pc : Pens()) {
    ExpectSameAsDirect(
        [&](HDC dc) {
          SetGraphicsMode(dc, GM_ADVANCED);
          XFORM half{0.5f, 0, 0, 0.5f, 4, 2};
          SetWorldTransform(dc, &half);
          WithPen(dc, pc, [](HDC d) {
            Rectangle(d, 10, 10, 101, 61);
            Ellipse(d, 120, 10, 181, 71);
            Pie(d, 200, 10, 260, 70, 260, 40, 230, 10);
          });
        },
        std::string(pc.name) + ", scaled world");
    ExpectSameAsDirect(
        [&](HDC dc) {
          SetGraphicsMode(dc, GM_ADVANCED);
          XFORM turn{0.8f, 0.6f, -0.6f, 0.8f, 60, 0};
          SetWorldTransform(dc, &turn);
          WithPen(dc, pc, [](HDC d) {
            Rectangle(d, 10, 10, 60, 41);
            RoundRect(d, 70, 5, 110, 35, 10, 10);
          });
        },
        std::string(pc.name) + ", turned world");
  }
}

TEST(ShapeReplay, CompatibleModeWithAMappingModePlaysBackPixelForPixel) {
  // Two logical units per pixel, y upwards: the cut edge is a logical top.
  ExpectSameAsDirect(
      [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 2, -2, nullptr);
        SetViewportExtEx(dc, 1, 1, nullptr);
        SetViewportOrgEx(dc, 0, kH, nullptr);
        WithPen(dc, Pens()[0], [](HDC d) {
          Rectangle(d, 20, 20, 81, 101);
          Ellipse(d, 100, 20, 161, 101);
          Rectangle(d, 200, 21, 260, 100);
        });
      },
      "anisotropic, mirrored");
}

TEST(ShapeReplay, RecordedBoxesAreInclusiveAndTheBoundsFollow) {
  ENHMETAHEADER h{};
  auto compat = Recorded([](HDC dc) { Rectangle(dc, 10, 10, 20, 20); }, &h);
  ASSERT_EQ(compat.size(), 1u);
  RECTL box = compat[0].As<EMRRECTANGLE>().rclBox;
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.right, 19);
  EXPECT_EQ(box.bottom, 19);
  EXPECT_EQ(h.rclBounds.left, 10);
  EXPECT_EQ(h.rclBounds.right, 19);
  EXPECT_EQ(h.rclBounds.bottom, 19);

  auto adv = Recorded(
      [](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        Ellipse(dc, 20, 20, 10, 10);  // given reversed
        Arc(dc, 30, 10, 40, 20, 40, 15, 30, 15);
      },
      &h);
  ASSERT_EQ(adv.size(), 2u);
  box = adv[0].As<EMRELLIPSE>().rclBox;
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.right, 20);
  EXPECT_EQ(box.bottom, 20);
  EXPECT_EQ(adv[1].As<EMRARC>().rclBox.right, 40);
  EXPECT_EQ(adv[1].As<EMRARC>().ptlStart.x, 40);
  EXPECT_EQ(h.rclBounds.right, 40);
  EXPECT_EQ(h.rclBounds.bottom, 20);

  // y upwards: the device bottom is the logical top, and that edge is cut.
  auto flipped = Recorded([](HDC dc) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, -1, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    RoundRect(dc, 10, 10, 20, 30, 4, 4);
    Pie(dc, 10, 10, 20, 30, 20, 20, 10, 20);
  });
  ASSERT_EQ(flipped.size(), 5u);  // map mode, two extents, two shapes
  box = flipped[3].As<EMRROUNDRECT>().rclBox;
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, 11);
  EXPECT_EQ(box.right, 19);
  EXPECT_EQ(box.bottom, 30);
  EXPECT_EQ(flipped[4].As<EMRPIE>().rclBox.top, 11);
}

TEST(ShapeReplay, AnInclusiveBoxFromAnotherWriterPlaysLikeTheCompatibleCall) {
  // What another recorder writes for Rectangle(10, 10, 20, 20) and
  // Ellipse(30, 10, 45, 21) in GM_COMPATIBLE, with its own frame.
  emftest::EmfBuilder b({0, 0, 5080, 2540}, 1);
  b.Add(EMR_SELECTOBJECT, {0x80000000u | GRAY_BRUSH});
  b.Add(EMR_RECTANGLE, {10, 10, 19, 19});
  b.Add(EMR_ELLIPSE, {30, 10, 44, 20});
  auto bytes = b.Image();
  HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bytes.size(), bytes.data());
  ASSERT_NE(emf, nullptr);
  Canvas direct(kW, kH), played(kW, kH);
  SelectObject(direct.dc, GetStockObject(GRAY_BRUSH));
  Rectangle(direct.dc, 10, 10, 20, 20);
  Ellipse(direct.dc, 30, 10, 45, 21);
  RECT rect{0, 0, kW, kH};
  ASSERT_TRUE(PlayEnhMetaFile(played.dc, emf, &rect));
  DeleteEnhMetaFile(emf);
  std::string first;
  EXPECT_EQ(Differences(direct, played, &first), 0) << first;
  EXPECT_EQ(played.Map(8, 8, 22, 22).find("#"), 0u + 2 * 15 + 2) << played.Map(8, 8, 22, 22);
  EXPECT_EQ(played.At(19, 19), 0u);
  EXPECT_EQ(played.At(20, 19), 0xFFFFFFu);
  EXPECT_EQ(played.At(19, 20), 0xFFFFFFu);
}

}  // namespace
