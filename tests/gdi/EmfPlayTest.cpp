// Playing metafiles: the frame mapping, composed transforms, objects
// renumbered into the destination's table, clip regions, the destination
// restored afterwards, and records that lie about their contents.
#include <gtest/gtest.h>

#include <cmath>

#include "gdi/EmfTestUtil.h"
#include "support/TestSupport.h"

using namespace emftest;

namespace {

// 480 x 360 reference pixels of the screen (1920 px over 508 mm) are
// 12700 x 9525 hundredths of a millimetre.
const RECT kFrame{0, 0, 12700, 9525};

HENHMETAFILE Close(HDC dc) { return CloseEnhMetaFile(dc); }

std::vector<Rec> OfType(const std::vector<Rec> &recs, DWORD type) {
  std::vector<Rec> out;
  for (auto &r : recs)
    if (r.type == type) out.push_back(r);
  return out;
}

// Plays `inner` into a new metafile over rect and returns the records.
std::vector<Rec> Replayed(HENHMETAFILE inner, const RECT &rect, HDC *keep = nullptr) {
  HDC outer = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(PlayEnhMetaFile(outer, inner, &rect));
  return Enumerate(Close(outer));
}

TEST(EmfPlay, ObjectsAreRecreatedAndRenumberedInTheDestination) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrame, nullptr);
  HPEN pen = CreatePen(PS_DASH, 4, RGB(1, 2, 3));
  HBRUSH brush = CreateHatchBrush(HS_DIAGCROSS, RGB(7, 8, 9));
  SelectObject(dc, pen);
  SelectObject(dc, brush);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  HENHMETAFILE inner = Close(dc);
  DeleteObject(pen);
  DeleteObject(brush);

  // The destination already uses slot 1 for an object of its own.
  HDC outer = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  HBRUSH own = CreateSolidBrush(RGB(50, 50, 50));
  SelectObject(outer, own);
  RECT rect{0, 0, 480, 360};
  ASSERT_TRUE(PlayEnhMetaFile(outer, inner, &rect));
  auto recs = Enumerate(Close(outer));
  DeleteObject(own);
  auto pens = OfType(recs, EMR_CREATEPEN);
  auto brushes = OfType(recs, EMR_CREATEBRUSHINDIRECT);
  ASSERT_EQ(pens.size(), 1u);
  ASSERT_EQ(brushes.size(), 2u);
  EXPECT_EQ(As<EMRCREATEPEN>(pens[0]).lopn.lopnStyle, (UINT)PS_DASH);
  EXPECT_EQ(As<EMRCREATEPEN>(pens[0]).lopn.lopnColor, RGB(1, 2, 3));
  EXPECT_EQ(As<EMRCREATEPEN>(pens[0]).ihPen, 2u);  // slot 1 is taken
  EXPECT_EQ(As<EMRCREATEBRUSHINDIRECT>(brushes[1]).lb.lbHatch, (ULONG)HS_DIAGCROSS);
  EXPECT_EQ(As<EMRCREATEBRUSHINDIRECT>(brushes[1]).ihBrush, 3u);
  // The playback's objects are deleted at its end and the destination's
  // own brush is selected again.
  auto deletes = OfType(recs, EMR_DELETEOBJECT);
  std::vector<DWORD> deleted;
  for (auto &d : deletes) deleted.push_back(As<EMRDELETEOBJECT>(d).ihObject);
  EXPECT_NE(std::find(deleted.begin(), deleted.end(), 2u), deleted.end());
  EXPECT_NE(std::find(deleted.begin(), deleted.end(), 3u), deleted.end());
  EXPECT_EQ(OfType(recs, EMR_SAVEDC).size(), 1u);
  EXPECT_EQ(OfType(recs, EMR_RESTOREDC).size(), 1u);
  DeleteEnhMetaFile(inner);
}

TEST(EmfPlay, TheMetafilesTransformsComposeWithTheFrameMapping) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrame, nullptr);
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM rot{0, 1, -1, 0, 100, 0};  // quarter turn, then 100 to the right
  SetWorldTransform(dc, &rot);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 10, 10, nullptr);
  SetViewportExtEx(dc, 30, 30, nullptr);
  HENHMETAFILE inner = Close(dc);

  RECT rect{1000, 2000, 1000 + 960, 2000 + 720};  // twice the natural size
  auto recs = Replayed(inner, rect);
  auto xforms = OfType(recs, EMR_SETWORLDTRANSFORM);
  ASSERT_FALSE(xforms.empty());
  XFORM last = As<EMRSETWORLDTRANSFORM>(xforms.back()).xform;
  // logical -> world (rotate, +100) -> page (x3) -> frame (x2, +1000/+2000)
  EXPECT_NEAR(last.eM11, 0, 1e-4);
  EXPECT_NEAR(last.eM12, 6, 1e-4);
  EXPECT_NEAR(last.eM21, -6, 1e-4);
  EXPECT_NEAR(last.eDx, 100 * 3 * 2 + 1000, 1e-2);
  EXPECT_NEAR(last.eDy, 2000, 1e-2);
  // The mapping mode stays the destination's own.
  EXPECT_TRUE(OfType(recs, EMR_SETMAPMODE).empty());
  DeleteEnhMetaFile(inner);
}

TEST(EmfPlay, TheDestinationIsLeftAsItWas) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrame, nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  SelectObject(dc, pen);  // left selected: the recording never deselects it
  SetBkColor(dc, RGB(1, 1, 1));
  SaveDC(dc);
  SaveDC(dc);  // never restored by the metafile
  HENHMETAFILE inner = Close(dc);
  DeleteObject(pen);

  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ penBefore = GetCurrentObject(mem, OBJ_PEN);
  SetBkColor(mem, RGB(9, 9, 9));
  RECT rect{0, 0, 480, 360};
  EXPECT_TRUE(PlayEnhMetaFile(mem, inner, &rect));
  EXPECT_EQ(GetCurrentObject(mem, OBJ_PEN), penBefore);
  EXPECT_EQ(GetBkColor(mem), RGB(9, 9, 9));
  EXPECT_EQ(GetGraphicsMode(mem), GM_COMPATIBLE);
  EXPECT_EQ(SaveDC(mem), 1);  // no saved state left behind

  // The objects of the table are gone afterwards.
  struct Grab {
    HGDIOBJ pen = nullptr;
  } g;
  auto proc = [](HDC h, HANDLETABLE *ht, const ENHMETARECORD *r, int n, LPARAM p) -> int {
    PlayEnhMetaFileRecord(h, ht, r, (UINT)n);
    if (r->iType == EMR_CREATEPEN) reinterpret_cast<Grab *>(p)->pen = ht->objectHandle[1];
    return 1;
  };
  EXPECT_TRUE(EnumEnhMetaFile(mem, inner, proc, &g, &rect));
  ASSERT_NE(g.pen, nullptr);
  EXPECT_EQ(GetObjectType(g.pen), 0u);
  DeleteDC(mem);
  DeleteEnhMetaFile(inner);
}

TEST(EmfPlay, ClipRegionsAreMappedLikeTheFrame) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrame, nullptr);
  HRGN rgn = CreateRectRgn(10, 20, 110, 70);
  SelectClipRgn(dc, rgn);
  SelectClipRgn(dc, nullptr);
  DeleteObject(rgn);
  HENHMETAFILE inner = Close(dc);

  RECT rect{100, 100, 100 + 240, 100 + 180};  // half size, moved by 100
  auto clips = OfType(Replayed(inner, rect), EMR_EXTSELECTCLIPRGN);
  ASSERT_EQ(clips.size(), 2u);
  const Rec &c = clips[0];
  ASSERT_GE(c.bytes.size(), 16u + 32u + 16u);
  EXPECT_EQ(Get32(c.bytes, 12), (DWORD)RGN_COPY);
  RECT r;
  std::memcpy(&r, c.bytes.data() + 48, sizeof r);
  EXPECT_EQ(r.left, 105);
  EXPECT_EQ(r.top, 110);
  EXPECT_EQ(r.right, 155);
  EXPECT_EQ(r.bottom, 135);
  EXPECT_EQ(Get32(clips[1].bytes, 8), 0u);  // the reset stays a reset
  DeleteEnhMetaFile(inner);
}

TEST(EmfPlay, RecordsThatLieAboutTheirContentsAreRefused) {
  HDC screen = GetDC(nullptr);
  HGDIOBJ slots[4] = {};
  auto *ht = reinterpret_cast<HANDLETABLE *>(slots);
  auto play = [&](std::vector<DWORD> words) {
    words[1] = (DWORD)(4 * words.size());
    return PlayEnhMetaFileRecord(screen, ht, reinterpret_cast<ENHMETARECORD *>(words.data()), 4);
  };
  // A pen created beyond the table, and a select of it.
  EXPECT_FALSE(play({EMR_CREATEPEN, 0, 9, PS_SOLID, 1, 0, 0}));
  EXPECT_FALSE(play({EMR_SELECTOBJECT, 0, 9}));
  EXPECT_FALSE(play({EMR_SELECTOBJECT, 0, 2}));  // empty slot
  EXPECT_TRUE(play({EMR_SELECTOBJECT, 0, 0x80000000u | BLACK_PEN}));
  EXPECT_FALSE(play({EMR_SELECTOBJECT, 0, 0x80000000u | 77}));
  EXPECT_FALSE(play({EMR_DELETEOBJECT, 0, 0}));  // slot 0 is the metafile
  // Counts and offsets reaching outside the record.
  EXPECT_FALSE(play({EMR_POLYLINE, 0, 0, 0, 10, 10, 1000, 1, 2, 3, 4}));
  EXPECT_FALSE(play({EMR_POLYPOLYGON16, 0, 0, 0, 9, 9, 0xFFFFFFFF, 2, 5, 5}));
  EXPECT_FALSE(play({EMR_POLYPOLYLINE, 0, 0, 0, 9, 9, 2, 3, 2, 2, 1, 1, 2, 2, 3, 3}));  // 4 > 3
  EXPECT_FALSE(play({EMR_EXTSELECTCLIPRGN, 0, 4000, RGN_AND, 32, 1, 1, 16}));
  EXPECT_FALSE(play({EMR_EXTSELECTCLIPRGN, 0, 0, RGN_AND}));  // only a reset may be empty
  std::vector<DWORD> blt(25, 0);
  blt[0] = EMR_STRETCHDIBITS;
  blt[12] = 80;      // offBmiSrc at the record's end
  blt[13] = 40;      // cbBmiSrc
  EXPECT_FALSE(play(blt));
  blt[12] = 40;
  blt[13] = 60;      // inside the record, but no BITMAPINFOHEADER there
  EXPECT_FALSE(play(blt));
  EXPECT_FALSE(play({EMR_EXTCREATEFONTINDIRECTW, 0, 1, 12}));  // too short for a LOGFONTW
  // A pattern style's lbHatch would be a pointer: the brush draws solid.
  EXPECT_TRUE(play({EMR_CREATEBRUSHINDIRECT, 0, 3, BS_DIBPATTERNPT, RGB(1, 2, 3), 4}));
  LOGBRUSH lb{};
  EXPECT_EQ(GetObjectW(slots[3], sizeof lb, &lb), (int)sizeof lb);
  EXPECT_EQ(lb.lbStyle, (UINT)BS_SOLID);
  EXPECT_FALSE(play({EMR_RESTOREDC, 0, (DWORD)-3}));
  // Unknown records pass.
  EXPECT_TRUE(play({0x7777, 0, 1, 2}));
  EXPECT_TRUE(play({EMR_GDICOMMENT, 0, 0}));
  // A record shorter than its header, or no DC.
  DWORD tiny[2] = {EMR_LINETO, 4};
  EXPECT_FALSE(PlayEnhMetaFileRecord(screen, ht, reinterpret_cast<ENHMETARECORD *>(tiny), 4));
  EXPECT_FALSE(PlayEnhMetaFileRecord(nullptr, ht, reinterpret_cast<ENHMETARECORD *>(tiny), 4));
  for (HGDIOBJ h : slots)
    if (h) DeleteObject(h);
  ReleaseDC(nullptr, screen);
}

}  // namespace

namespace {

bool Draws(DWORD t) {
  switch (t) {
    case EMR_RECTANGLE: case EMR_ELLIPSE: case EMR_ROUNDRECT: case EMR_LINETO:
    case EMR_POLYGON16: case EMR_POLYGON: case EMR_POLYLINE16: case EMR_POLYLINE:
    case EMR_BITBLT: case EMR_STRETCHDIBITS: case EMR_MOVETOEX: case EMR_PIE:
    case EMR_POLYBEZIER16: case EMR_EXTTEXTOUTW:
      return true;
    default:
      return false;
  }
}

HENHMETAFILE RecordScene() {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kFrame, nullptr);
  DrawScene(dc);
  return CloseEnhMetaFile(dc);
}

TEST(EmfPlay, PlaybackOntoARasterEqualsDrawingDirectly) {
  Canvas direct, played;
  DrawScene(direct.dc);
  HENHMETAFILE emf = RecordScene();
  RECT rect{0, 0, 480, 360};
  ASSERT_TRUE(PlayEnhMetaFile(played.dc, emf, &rect));
  int differ = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < 360; ++y)
    for (int x = 0; x < 480; ++x)
      if (direct.At(x, y) != played.At(x, y) && differ++ == 0) firstX = x, firstY = y;
  EXPECT_EQ(differ, 0) << "first difference at " << firstX << "," << firstY << ": "
                       << std::hex << direct.At(firstX, firstY) << " drawn, "
                       << played.At(firstX, firstY) << " played";
  // And the scene is there at all.
  EXPECT_EQ(played.At(70, 50), 0xFFC800u);
  EXPECT_EQ(played.At(190, 50), 0xFFC800u);
  EXPECT_EQ(played.At(130, 50), 0xFFFFFFu);
  EXPECT_EQ(played.At(301, 221), 0x0000FFu);
  int textPixels = 0;
  for (int y = 300; y < 330; ++y)
    for (int x = 20; x < 140; ++x) textPixels += played.At(x, y) == 0x800080u;
  EXPECT_GT(textPixels, 50);
  DeleteEnhMetaFile(emf);
}

TEST(EmfPlay, PlaybackOntoAMetafileHoldsTheSamePrimitivesScaled) {
  HENHMETAFILE emf = RecordScene();
  ENHMETAHEADER inner{};
  GetEnhMetaFileHeader(emf, sizeof inner, &inner);
  RECT rect{100, 50, 100 + 960, 50 + 720};  // twice the size, moved
  HDC outerDc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(PlayEnhMetaFile(outerDc, emf, &rect));
  HENHMETAFILE outer = CloseEnhMetaFile(outerDc);
  auto a = Enumerate(emf), b = Enumerate(outer);
  std::vector<Rec> da, db;
  for (auto &r : a)
    if (Draws(r.type)) da.push_back(r);
  for (auto &r : b)
    if (Draws(r.type)) db.push_back(r);
  ASSERT_EQ(da.size(), db.size());
  for (size_t i = 0; i < da.size(); ++i) {
    EXPECT_EQ(da[i].type, db[i].type) << i;
    // The primitives keep their own coordinates; the transform scales them.
    if (da[i].type == EMR_RECTANGLE || da[i].type == EMR_ELLIPSE) {
      EXPECT_EQ(As<EMRRECTANGLE>(da[i]).rclBox.left, As<EMRRECTANGLE>(db[i]).rclBox.left);
    }
  }
  // Every kind of object was created again in the destination.
  for (DWORD t : {EMR_CREATEPEN, EMR_EXTCREATEPEN, EMR_CREATEBRUSHINDIRECT,
                  EMR_CREATEDIBPATTERNBRUSHPT})
    EXPECT_EQ(OfType(a, t).size(), OfType(b, t).size()) << t;
  auto xf = OfType(b, EMR_SETWORLDTRANSFORM);
  ASSERT_FALSE(xf.empty());
  EXPECT_NEAR(As<EMRSETWORLDTRANSFORM>(xf[0]).xform.eM11, 2.0, 1e-5);
  EXPECT_NEAR(As<EMRSETWORLDTRANSFORM>(xf[0]).xform.eDx, 100.0, 1e-3);
  // The bounds of what was drawn are the inner bounds, scaled and moved.
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(outer, sizeof h, &h);
  EXPECT_NEAR(h.rclBounds.left, 100 + 2 * inner.rclBounds.left, 3);
  EXPECT_NEAR(h.rclBounds.top, 50 + 2 * inner.rclBounds.top, 3);
  EXPECT_NEAR(h.rclBounds.right, 100 + 2 * inner.rclBounds.right, 3);
  EXPECT_NEAR(h.rclBounds.bottom, 50 + 2 * inner.rclBounds.bottom, 3);
  DeleteEnhMetaFile(outer);
  DeleteEnhMetaFile(emf);
}

// The first tag starting with `open`, up to its '>'.
std::string SvgTag(const std::string &svg, const char *open) {
  size_t a = svg.find(open);
  if (a == std::string::npos) return {};
  size_t b = svg.find('>', a);
  return svg.substr(a, b == std::string::npos ? std::string::npos : b - a);
}

// A numeric attribute of a tag (NaN when absent).
double SvgAttr(const std::string &tag, const char *name) {
  std::string key = std::string(" ") + name + "=\"";
  size_t a = tag.find(key);
  if (a == std::string::npos) return NAN;
  return std::strtod(tag.c_str() + a + key.size(), nullptr);
}

TEST(EmfPlay, RecordedPagesReadInAnIndependentReaderAtTheirSize) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  nxtest::TempDir tmp;
  std::string path = tmp.file("scene.emf"), svg = tmp.file("scene.svg");
  HENHMETAFILE emf = RecordScene();
  std::u16string wpath(path.begin(), path.end());
  DeleteEnhMetaFile(CopyEnhMetaFileW(emf, (LPCWSTR)wpath.c_str()));
  auto r = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(path) + " -o " +
                              nxtest::ShellQuote(svg));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  auto bytes = nxtest::ReadFileBytes(svg);
  std::string s(bytes.begin(), bytes.end());
  // The page covers 480 x 360 pixels (the reader sizes from rclBounds).
  EXPECT_NE(s.find("width=\"47"), std::string::npos) << s.substr(0, 300);
  EXPECT_NE(s.find("height=\"35"), std::string::npos) << s.substr(0, 300);
  // The ellipse (140,20)-(240,80) and the rectangle (20,20)-(120,80).
  std::string ellipse = SvgTag(s, "<ellipse ");
  ASSERT_FALSE(ellipse.empty()) << s;
  EXPECT_NEAR(SvgAttr(ellipse, "cx"), 190, 1);
  EXPECT_NEAR(SvgAttr(ellipse, "cy"), 50, 1);
  EXPECT_NEAR(SvgAttr(ellipse, "rx"), 50, 1);
  EXPECT_NEAR(SvgAttr(ellipse, "ry"), 30, 1);
  bool found = false;
  for (size_t at = 0; (at = s.find("<rect ", at)) != std::string::npos; ++at) {
    std::string rect = SvgTag(s.substr(at), "<rect ");
    if (std::fabs(SvgAttr(rect, "x") - 20) <= 1 && std::fabs(SvgAttr(rect, "y") - 20) <= 1 &&
        std::fabs(SvgAttr(rect, "width") - 100) <= 2 && std::fabs(SvgAttr(rect, "height") - 60) <= 2)
      found = true;
  }
  EXPECT_TRUE(found) << s;
  // The page played into another metafile reads as well.
  HDC outer = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  RECT rect{0, 0, 960, 720};
  PlayEnhMetaFile(outer, emf, &rect);
  HENHMETAFILE big = CloseEnhMetaFile(outer);
  std::string path2 = tmp.file("scene2.emf");
  std::u16string wpath2(path2.begin(), path2.end());
  DeleteEnhMetaFile(CopyEnhMetaFileW(big, (LPCWSTR)wpath2.c_str()));
  r = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(path2) + " -o " +
                         nxtest::ShellQuote(tmp.file("scene2.svg")));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  DeleteEnhMetaFile(big);
  DeleteEnhMetaFile(emf);
}

// A text record body (after iType and nSize) with its string at offString
// and its advances at offDx; the bytes between the fixed part and them are
// filler, as a foreign writer may leave.
std::vector<uint8_t> TextBody(const std::u16string &s, UINT options, const std::vector<INT> &dx, DWORD offString,
                              DWORD offDx) {
  std::vector<uint8_t> b;
  for (DWORD v : {0u, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu, DWORD(GM_COMPATIBLE), 0u, 0u, 40u, 30u, DWORD(s.size()),
                  offString, options, 35u, 20u, 300u, 60u, offDx})
    Append(b, v);
  b.resize(std::max<size_t>(offString + 2 * s.size(), offDx + 4 * dx.size()) - 8, 0xEE);
  std::memcpy(&b[offString - 8], s.data(), 2 * s.size());
  if (!dx.empty()) std::memcpy(&b[offDx - 8], dx.data(), 4 * dx.size());
  return b;
}

// Played onto a metafile at a scale, the text record written again.
Rec ReplayedText(const std::vector<uint8_t> &body) {
  EmfBuilder e(RECTL{0, 0, 12700, 9525}, 1);
  e.AddBytes(EMR_EXTTEXTOUTW, body);
  std::vector<uint8_t> image = e.Image();
  HENHMETAFILE inner = SetEnhMetaFileBits((UINT)image.size(), image.data());
  EXPECT_NE(inner, nullptr);
  auto texts = OfType(Replayed(inner, RECT{7, 3, 7 + 1100, 3 + 800}), EMR_EXTTEXTOUTW);
  DeleteEnhMetaFile(inner);
  EXPECT_EQ(texts.size(), 1u);
  return texts.empty() ? Rec{} : texts[0];
}

// Text is played from its place in the record when the string and the
// advances lie aligned there, and copied out first when they do not: both
// give the same record, with and without advances, pairs, clip and opaque box.
TEST(EmfPlay, TextPlaysTheSameFromTheRecordAsCopiedOut) {
  const std::u16string s = u"Hey\u00e9!";
  const std::vector<INT> dx{11, 9, 10, 12, 8}, pairs{11, 1, 9, -2, 10, 0, 12, 3, 8, 4};
  struct Case {
    UINT options;
    const std::vector<INT> *dx;
  } cases[] = {{0, &dx}, {ETO_CLIPPED, &dx}, {ETO_OPAQUE | ETO_CLIPPED, &dx}, {ETO_PDY, &pairs}, {0, nullptr}};
  for (const Case &c : cases) {
    const std::vector<INT> none, &adv = c.dx ? *c.dx : none;
    const DWORD aligned = 76 + 2 * 6;  // five units, padded to six
    Rec inPlace = ReplayedText(TextBody(s, c.options, adv, 76, c.dx ? aligned : 0));
    Rec oddString = ReplayedText(TextBody(s, c.options, adv, 77, c.dx ? aligned + 4 : 0));
    Rec oddDx = ReplayedText(TextBody(s, c.options, adv, 76, c.dx ? aligned + 1 : 0));
    ASSERT_GT(inPlace.bytes.size(), 76u) << c.options;
    EXPECT_EQ(inPlace.bytes, oddString.bytes) << c.options;
    EXPECT_EQ(inPlace.bytes, oddDx.bytes) << c.options;
    // The advances are the record's own, as given.
    if (c.dx) {
      EXPECT_EQ(0, std::memcmp(&inPlace.bytes[aligned], adv.data(), 4 * adv.size())) << c.options;
    }
  }
}

}  // namespace
