// A mutation fuzz of the metafile interpreter: metafiles with bytes and
// fields changed at random are interpreted (or salvaged and interpreted)
// without reading outside their records (run under the sanitizers to see
// it). The seed and the rounds can be raised with NX_ITEMS_FUZZ_SEED and
// NX_ITEMS_FUZZ_ROUNDS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"
#include "gdi/EmfTestUtil.h"

using namespace nx;
using emftest::Get32;
using emftest::Put32;

namespace {

// Most record kinds the interpreter knows, through the GDI calls.
std::vector<uint8_t> Scene() {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 2000, 2000, nullptr);
  SetViewportExtEx(dc, 1000, 1000, nullptr);
  SetViewportOrgEx(dc, 5, 5, nullptr);
  LOGFONTW lf{};
  lf.lfHeight = -24;
  lf.lfEscapement = 300;
  const char16_t face[] = u"Liberation Sans";
  for (size_t i = 0; face[i]; ++i) lf.lfFaceName[i] = WCHAR(face[i]);
  HFONT font = CreateFontIndirectW(&lf);
  SelectObject(dc, font);
  SetTextAlign(dc, TA_RIGHT | TA_BASELINE | TA_UPDATECP);
  const WCHAR text[] = {'F', 'u', 'z', 0x2019, 'z'};
  INT dx[] = {10, 11, 12, 13, 14};
  RECT box{0, 0, 100, 40};
  ExtTextOutW(dc, 50, 60, ETO_OPAQUE | ETO_CLIPPED, &box, text, 5, dx);
  const WCHAR glyphs[] = {36, 37, 38};
  ExtTextOutW(dc, 50, 90, ETO_GLYPH_INDEX, nullptr, glyphs, 3, nullptr);
  LOGBRUSH lb{BS_SOLID, RGB(1, 2, 3), 0};
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 6, &lb, 0, nullptr);
  SelectObject(dc, pen);
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(9, 8, 7));
  SelectObject(dc, hatch);
  SaveDC(dc);
  IntersectClipRect(dc, 0, 0, 500, 500);
  Rectangle(dc, 10, 10, 200, 100);
  RoundRect(dc, 10, 10, 200, 100, 20, 30);
  Pie(dc, 10, 10, 200, 100, 0, 0, 200, 0);
  POINT pts[] = {{0, 0}, {100, 30}, {40, 90}, {70000, 5}};
  Polygon(dc, pts, 3);
  Polyline(dc, pts, 4);
  PolyBezier(dc, pts, 4);
  BYTE types[] = {PT_MOVETO, PT_LINETO, PT_LINETO | PT_CLOSEFIGURE, PT_LINETO};
  PolyDraw(dc, pts, types, 4);
  INT counts[] = {2, 2};
  PolyPolygon(dc, pts, counts, 2);
  DWORD lines[] = {2, 2};
  PolyPolyline(dc, pts, lines, 2);
  RestoreDC(dc, -1);
  BeginPath(dc);
  MoveToEx(dc, 5, 5, nullptr);
  LineTo(dc, 50, 50);
  CloseFigure(dc);
  EndPath(dc);
  StrokeAndFillPath(dc);
  HRGN rgn = CreateRectRgn(3, 3, 40, 40);
  HRGN other = CreateRectRgn(50, 50, 60, 70);
  CombineRgn(rgn, rgn, other, RGN_OR);
  ExtSelectClipRgn(dc, rgn, RGN_AND);
  FillRgn(dc, rgn, hatch);
  SelectClipRgn(dc, nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  BYTE bits[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  StretchDIBits(dc, 10, 10, 30, 20, 0, 0, 3, 2, bits, &bi, DIB_RGB_COLORS, SRCAND);
  StretchDIBits(dc, 10, 10, 30, 20, 0, 0, 3, 2, bits, &bi, DIB_RGB_COLORS, SRCPAINT);
  SetDIBitsToDevice(dc, 0, 0, 3, 2, 0, 0, 0, 2, bits, &bi, DIB_RGB_COLORS);
  uint16_t rows[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
  HBITMAP mono = CreateBitmap(8, 8, 1, 1, rows);
  HBRUSH pattern = CreatePatternBrush(mono);
  SelectObject(dc, pattern);
  PatBlt(dc, 0, 0, 40, 30, PATCOPY);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  for (HGDIOBJ o : {(HGDIOBJ)font, (HGDIOBJ)pen, (HGDIOBJ)hatch, (HGDIOBJ)rgn, (HGDIOBJ)other, (HGDIOBJ)pattern,
                    (HGDIOBJ)mono})
    DeleteObject(o);
  return emftest::Bits(CloseEnhMetaFile(dc));
}

// Records written by hand as other programs write them.
std::vector<uint8_t> Foreign() {
  emftest::EmfBuilder e({0, 0, 1000, 1000}, 4);
  e.Add(EMR_SETMAPMODE, {MM_ISOTROPIC});
  e.Add(EMR_SCALEWINDOWEXTEX, {3, 2, 5, 4});
  e.Add(EMR_MODIFYWORLDTRANSFORM, {0x3F800000, 0, 0, 0x3F800000, 0x41200000, 0, MWT_LEFTMULTIPLY});
  e.Add(EMR_CREATEPEN, {3, PS_DOT, 4, 0, 0x01000005});
  e.Add(EMR_SELECTOBJECT, {3});
  e.Add(EMR_EXTTEXTOUTA, {0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 9, 9, 3, 76, ETO_OPAQUE, 1, 1, 5, 5, 80,
                          0x009D4142, 1, 2, 3});
  e.Add(EMR_FILLRGN, {0, 0, 1, 1, 48, ENHMETA_STOCK_OBJECT | BLACK_BRUSH, 32, 1, 1, 16, 0, 0, 1, 1, 0, 0, 1, 1});
  e.Add(EMR_RESTOREDC, {DWORD(-5)});
  e.Add(EMR_POLYPOLYGON16, {0, 0, 0, 0, 1, 2, 2, 0x00010001, 0x00020002});
  return e.Image();
}

void Mutate(std::vector<uint8_t> &b, std::mt19937 &rng) {
  static const DWORD nasty[] = {0, 1, 3, 4, 8, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFC, 0x10000};
  const int edits = 1 + int(rng() % 4);
  for (int i = 0; i < edits; ++i) {
    const size_t at = rng() % b.size();
    switch (rng() % 3) {
      case 0:
        b[at] = uint8_t(rng());
        break;
      case 1:
        if (at + 4 <= b.size()) Put32(b, at & ~size_t{3}, nasty[rng() % 10]);
        break;
      default:
        if (at + 4 <= b.size()) Put32(b, at & ~size_t{3}, Get32(b, at & ~size_t{3}) + (rng() % 9) - 4);
        break;
    }
  }
}

unsigned EnvNumber(const char *name, unsigned fallback) {
  const char *v = std::getenv(name);
  return v && *v ? unsigned(std::strtoul(v, nullptr, 10)) : fallback;
}

TEST(MetafileProcessorFuzz, MutatedMetafilesAreInterpretedSafely) {
  const std::vector<uint8_t> bases[2] = {Scene(), Foreign()};
  std::mt19937 rng(EnvNumber("NX_ITEMS_FUZZ_SEED", 20261210));
  const int rounds = int(EnvNumber("NX_ITEMS_FUZZ_ROUNDS", 800));
  int interpreted = 0, salvaged = 0;
  TgtCustomDocumentEngine engine;
  engine.Preferences().FShowSetupDialog = false;
  engine.Preferences().FOpenAfterCreate = false;
  engine.BeginDoc();
  for (int iter = 0; iter < rounds; ++iter) {
    auto b = bases[iter % 2];
    if (iter >= 2) Mutate(b, rng);  // the sound bases first
    HENHMETAFILE h = SetEnhMetaFileBits(UINT(b.size()), b.data());
    if (!h) {
      std::string damage;
      auto fixed = SalvageEnhMetaFileBits(b.data(), b.size(), &damage);
      EXPECT_FALSE(damage.empty());
      if (fixed.empty()) continue;
      h = SetEnhMetaFileBits(UINT(fixed.size()), fixed.data());
      ASSERT_NE(h, nullptr) << damage;  // a salvaged image is always sound
      ++salvaged;
    }
    {
      TgtMetafileProcessor p(engine);
      p.SetCombineCharsToSentence(true);
      p.Execute(h, iter % 3, 0);
    }
    ++interpreted;
    DeleteEnhMetaFile(h);
    const size_t items = engine.CurrentDocumentItemList()->size();
    if (iter < 2) {
      EXPECT_GT(items, iter == 0 ? 20u : 4u) << "the sound base " << iter;
    }
    if (iter % 50 == 49) {  // a fresh document now and then: resources go
      engine.EndDoc();
      engine.BeginDoc();
    } else {
      engine.CurrentDocumentItemList()->clear();
    }
  }
  engine.EndDoc();
  EXPECT_GT(interpreted, rounds / 2);
  EXPECT_GT(salvaged, 10);
}

}  // namespace
