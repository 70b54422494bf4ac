// Hand-built metafiles for the playback, renderer and fuzz tests.
#include <algorithm>
#include <string>
#include <vector>

#include "gdi/EmfTestUtil.h"

namespace emftest {

namespace {

DWORD Pt16(int x, int y) { return (DWORD)(uint16_t)x | (DWORD)(uint16_t)y << 16; }

DWORD F(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

// RGNDATA with the given rectangles (header + rects), as words.
std::vector<DWORD> Region(std::vector<RECT> rects) {
  RECT bound = rects[0];
  for (auto &r : rects) {
    bound.left = std::min(bound.left, r.left);
    bound.top = std::min(bound.top, r.top);
    bound.right = std::max(bound.right, r.right);
    bound.bottom = std::max(bound.bottom, r.bottom);
  }
  std::vector<DWORD> w{32, RDH_RECTANGLES, (DWORD)rects.size(), (DWORD)(16 * rects.size()),
                       (DWORD)bound.left, (DWORD)bound.top, (DWORD)bound.right,
                       (DWORD)bound.bottom};
  for (auto &r : rects) w.insert(w.end(), {(DWORD)r.left, (DWORD)r.top, (DWORD)r.right, (DWORD)r.bottom});
  return w;
}

std::vector<DWORD> Cat(std::vector<DWORD> a, const std::vector<DWORD> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void AddStretchDib(EmfBuilder &e) {
  // 2 x 2, 8 bpp, two colours: red and blue in a checker.
  std::vector<DWORD> bmi{40, 2, 2, 1 | 8 << 16, BI_RGB, 8, 0, 0, 2, 0, 0x00FF0000, 0x000000FF};
  std::vector<DWORD> bits{0x0100, 0x0001};  // rows bottom-up: (1,0) then (0,1)
  std::vector<DWORD> f{300, 200, 459, 339,   // rclBounds
                       300, 200, 0, 0, 2, 2,  // xDest yDest xSrc ySrc cxSrc cySrc
                       80, 48, 128, 8,        // offBmi cbBmi offBits cbBits
                       DIB_RGB_COLORS, SRCCOPY, 160, 140};
  e.Add(EMR_STRETCHDIBITS, Cat(Cat(f, bmi), bits));
}

void AddText(EmfBuilder &e) {
  std::vector<uint8_t> b;
  for (DWORD v : std::vector<DWORD>{20, 300, 140, 330, GM_COMPATIBLE, F(0), F(0),
                                    40, 300, 3, 76, ETO_OPAQUE, 20, 300, 140, 330, 84})
    Append(b, v);
  for (char16_t c : std::u16string(u"Hi!\0", 4)) Append(b, c);
  for (INT dx : {12, 12, 12}) Append(b, dx);
  e.AddBytes(EMR_EXTTEXTOUTW, b);
}

void AddFont(EmfBuilder &e) {
  EXTLOGFONTW elf{};
  elf.elfLogFont.lfHeight = -20;
  elf.elfLogFont.lfWeight = 700;
  const char16_t face[] = u"Liberation Sans";
  std::memcpy(elf.elfLogFont.lfFaceName, face, sizeof face);
  std::vector<uint8_t> b;
  Append(b, DWORD{3});
  Append(b, elf);
  e.AddBytes(EMR_EXTCREATEFONTINDIRECTW, b);
}

}  // namespace

std::vector<uint8_t> ForeignPage() {
  EmfBuilder e({0, 0, 12700, 9525}, 4);
  e.Add(EMR_SETBKMODE, {TRANSPARENT});
  e.Add(EMR_CREATEPEN, {1, PS_SOLID, 3, 0, RGB(0, 0, 200)});
  e.Add(EMR_SELECTOBJECT, {1});
  e.Add(EMR_CREATEBRUSHINDIRECT, {2, BS_SOLID, RGB(255, 200, 0), 0});
  e.Add(EMR_SELECTOBJECT, {2});
  e.Add(EMR_RECTANGLE, {20, 20, 120, 80});
  e.Add(EMR_ELLIPSE, {140, 20, 240, 80});
  e.Add(EMR_ROUNDRECT, {260, 20, 360, 80, 20, 20});
  e.Add(EMR_ARC, {380, 20, 460, 80, 460, 50, 380, 50});
  e.Add(EMR_PIE, {20, 100, 100, 180, 100, 140, 60, 100});
  e.Add(EMR_POLYGON16, {120, 100, 200, 180, 3, Pt16(120, 180), Pt16(160, 100), Pt16(200, 180)});
  e.Add(EMR_POLYLINE, {220, 100, 300, 180, 3, 220, 180, 260, 100, 300, 180});
  e.Add(EMR_POLYPOLYGON16, {320, 100, 460, 180, 2, 6, 3, 3, Pt16(320, 180), Pt16(350, 100),
                            Pt16(380, 180), Pt16(400, 180), Pt16(430, 100), Pt16(460, 180)});
  std::vector<uint8_t> pd;
  for (DWORD v : {20u, 190u, 100u, 220u, 3u, Pt16(20, 220), Pt16(60, 190), Pt16(100, 220)})
    Append(pd, v);
  for (BYTE t : {BYTE(PT_MOVETO), BYTE(PT_LINETO), BYTE(PT_LINETO | PT_CLOSEFIGURE)}) Append(pd, t);
  e.AddBytes(EMR_POLYDRAW16, pd);
  e.Add(EMR_MOVETOEX, {120, 200});
  e.Add(EMR_LINETO, {280, 230});
  e.Add(EMR_SAVEDC, {});
  e.Add(EMR_MODIFYWORLDTRANSFORM, {F(1), F(0), F(0), F(1), F(0), F(10), MWT_LEFTMULTIPLY});
  e.Add(EMR_INTERSECTCLIPRECT, {0, 240, 480, 290});
  e.Add(EMR_RECTANGLE, {20, 230, 100, 300});
  e.Add(EMR_RESTOREDC, {(DWORD)-1});
  e.Add(EMR_EXTSELECTCLIPRGN, Cat({64, RGN_COPY}, Region({{100, 240, 160, 290}, {180, 240, 240, 290}})));
  e.Add(EMR_BITBLT, {100, 240, 239, 289, 100, 240, 140, 50, PATCOPY, 0, 0, F(1), F(0), F(0), F(1),
                     F(0), F(0), 0, 0, 0, 0, 0, 0});
  e.Add(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
  AddStretchDib(e);
  AddFont(e);
  e.Add(EMR_SELECTOBJECT, {3});
  e.Add(EMR_SETTEXTCOLOR, {RGB(0, 128, 0)});
  AddText(e);
  e.Add(EMR_FILLRGN, Cat({250, 250, 289, 289, 48, 2}, Region({{250, 250, 290, 290}})));
  e.Add(EMR_DELETEOBJECT, {1});  // still selected: deleted after playback
  e.Add(EMR_BEGINPATH, {});
  e.Add(EMR_MOVETOEX, {20, 320});
  e.Add(EMR_LINETO, {80, 320});
  e.Add(EMR_LINETO, {50, 350});
  e.Add(EMR_CLOSEFIGURE, {});
  e.Add(EMR_ENDPATH, {});
  e.Add(EMR_STROKEANDFILLPATH, {20, 320, 80, 350});
  e.Add(EMR_GDICOMMENT, {4, 0x2B464D45});
  return e.Image();
}

}  // namespace emftest

namespace emftest {

void DrawScene(HDC dc) {
  // Drawn in GM_COMPATIBLE: boxes leave out their right and bottom edge,
  // and playback (in GM_ADVANCED) must give the same pixels.
  RECT page{0, 0, 480, 360};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, &page, white);
  DeleteObject(white);
  SetBkMode(dc, TRANSPARENT);
  HPEN thick = CreatePen(PS_SOLID, 3, RGB(0, 0, 200));
  HPEN thin = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
  HBRUSH fill = CreateSolidBrush(RGB(255, 200, 0));
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 128, 0));
  HGDIOBJ oldPen = SelectObject(dc, thick);
  HGDIOBJ oldBrush = SelectObject(dc, fill);
  Rectangle(dc, 20, 20, 120, 80);
  Ellipse(dc, 140, 20, 240, 80);
  RoundRect(dc, 260, 20, 360, 80, 20, 20);
  SelectObject(dc, thin);
  MoveToEx(dc, 20, 100, nullptr);
  LineTo(dc, 460, 130);
  POINT tri[3] = {{120, 180}, {160, 140}, {200, 180}};
  Polygon(dc, tri, 3);
  POINT zig[4] = {{220, 180}, {260, 140}, {300, 180}, {340, 140}};
  Polyline(dc, zig, 4);
  SelectObject(dc, hatch);
  Rectangle(dc, 360, 140, 460, 200);
  // A geometric dashed pen with flat ends, a DIB pattern brush, a pie and
  // a Bézier: their creation and drawing records go through playback too.
  LOGBRUSH red{BS_SOLID, RGB(220, 0, 0), 0};
  HPEN dashed = ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, 4, &red, 0, nullptr);
  SelectObject(dc, dashed);
  MoveToEx(dc, 140, 280, nullptr);
  LineTo(dc, 290, 280);
  SelectObject(dc, thin);
  DeleteObject(dashed);
  std::vector<uint8_t> packed(sizeof(BITMAPINFOHEADER) + 4 * 16);
  BITMAPINFOHEADER ph{sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 64, 0, 0, 0, 0};
  std::memcpy(packed.data(), &ph, sizeof ph);
  for (int i = 0; i < 16; ++i) {
    uint32_t c = ((i / 4 + i % 4) / 2) % 2 ? 0x00A0A0FF : 0x00FFFFFF;
    std::memcpy(packed.data() + sizeof ph + 4 * i, &c, 4);
  }
  HBRUSH pattern = CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS);
  SelectObject(dc, pattern);
  Rectangle(dc, 140, 210, 200, 260);
  SelectObject(dc, fill);
  DeleteObject(pattern);
  Pie(dc, 210, 210, 260, 260, 260, 235, 235, 210);
  POINT bez[4] = {{380, 90}, {420, 60}, {440, 120}, {470, 90}};
  PolyBezier(dc, bez, 4);
  SaveDC(dc);
  IntersectClipRect(dc, 20, 220, 100, 260);
  SelectObject(dc, fill);
  Ellipse(dc, 0, 200, 140, 300);  // only its clipped part shows
  RestoreDC(dc, -1);
  // A 2 x 2 bottom-up DIB: red, blue / blue, red from the bottom row up.
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 16, 0, 0, 0, 0};
  const uint32_t bits[4] = {0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000};
  StretchDIBits(dc, 300, 220, 160, 120, 0, 0, 2, 2, bits, &bi, DIB_RGB_COLORS, SRCCOPY);
  LOGFONTW lf{};
  lf.lfHeight = -24;
  const char16_t face[] = u"Liberation Sans";
  std::memcpy(lf.lfFaceName, face, sizeof face);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetTextColor(dc, RGB(128, 0, 128));
  const char16_t text[] = u"Noxtrel";
  ExtTextOutW(dc, 20, 300, 0, nullptr, (LPCWSTR)text, 7, nullptr);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(thick);
  DeleteObject(thin);
  DeleteObject(fill);
  DeleteObject(hatch);
}

Canvas::Canvas(int width, int height) : w(width), h(height) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  px = static_cast<uint32_t *>(bits);
  if (px) std::fill(px, px + (size_t)w * h, 0xFFFFFFu);
  dc = CreateCompatibleDC(nullptr);
  old = SelectObject(dc, bm);
}

Canvas::~Canvas() {
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
}

}  // namespace emftest
