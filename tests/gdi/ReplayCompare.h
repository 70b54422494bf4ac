// Drawing directly and through a recorded metafile played back at 1:1:
// the helpers that compare the two canvases.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "DrawTestSupport.h"

namespace replay {

// 192 x 96 screen pixels (96 dpi) are 5080 x 2540 hundredths of a mm: the
// metafile's frame maps one reference pixel onto one canvas pixel.
constexpr int kW = 192, kH = 96;
inline const RECT kFrame{0, 0, 5080, 2540};

using Draw = std::function<void(HDC)>;

inline HENHMETAFILE Record(const Draw &draw) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrame, nullptr);
  draw(dc);
  return CloseEnhMetaFile(dc);
}

// Pixels that differ between two canvases, with the first one named.
inline int Differences(const drawtest::Canvas &a, const drawtest::Canvas &b, std::string *first) {
  int n = 0;
  for (int y = 0; y < a.h; ++y)
    for (int x = 0; x < a.w; ++x)
      if (a.At(x, y) != b.At(x, y) && n++ == 0) {
        std::ostringstream s;
        s << "first at " << x << "," << y << ": " << std::hex << a.At(x, y) << " drawn, "
          << b.At(x, y) << " played";
        *first = s.str();
      }
  return n;
}

// Plays a metafile onto a fresh canvas at 1:1.
inline void Play(HENHMETAFILE emf, drawtest::Canvas *out) {
  RECT rect{0, 0, kW, kH};
  EXPECT_TRUE(PlayEnhMetaFile(out->dc, emf, &rect));
}

// Draws directly and through a recorded metafile; both must agree, and
// the drawing must have put ink down at all. The direct canvas is kept in
// `*direct` when given, for further checks.
inline void ExpectSameAsDirect(const Draw &draw, const std::string &what,
                               drawtest::Canvas *direct = nullptr) {
  drawtest::Canvas own(kW, kH), played(kW, kH);
  drawtest::Canvas &d = direct ? *direct : own;
  draw(d.dc);
  HENHMETAFILE emf = Record(draw);
  Play(emf, &played);
  DeleteEnhMetaFile(emf);
  std::string first;
  EXPECT_EQ(Differences(d, played, &first), 0) << what << ": " << first;
  EXPECT_LT(d.Count(0xFFFFFF), d.w * d.h) << what << ": nothing drawn";
}

}  // namespace replay
