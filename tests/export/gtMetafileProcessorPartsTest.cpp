// The interpreter's building blocks: coordinate mappings, the glyph table
// of a font, the salvage of damaged metafile images, and the pictures of
// records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "export/gtMetafileProcessorBitmap.h"
#include "export/gtMetafileProcessorGlyphs.h"
#include "export/gtMetafileProcessorRecord.h"
#include "export/gtMetafileProcessorSpace.h"
#include "gdi/EmfTestUtil.h"
#include "support/TestSupport.h"

using namespace nx;

namespace {

TEST(MetaSpace, MappingsFollowTheMapModeAndTheWorldTransform) {
  TgtMetaSpace s;
  // No map mode: one logical unit is one engine pixel.
  EXPECT_DOUBLE_EQ(s.MapPoint(10, 20).X, 10);
  EXPECT_DOUBLE_EQ(s.MapPoint(10, 20).Y, 20);
  // Anisotropic: window 1000 x 1000 onto viewport 500 x 500 halves, then
  // the viewport origin is added.
  s.SetMapMode(MM_ANISOTROPIC);
  s.SetWindowExtent(1000, 1000);
  s.SetViewPortExtent(500, 500);
  s.FViewPortOrigin = {7, 9};
  EXPECT_DOUBLE_EQ(s.MapPoint(200, 100).X, 107);
  EXPECT_DOUBLE_EQ(s.MapPoint(200, 100).Y, 59);
  // Sizes do not move with origins.
  s.FWindowOrigin = {50, 50};
  EXPECT_DOUBLE_EQ(s.MapSize(200, 100).X, 100);
  EXPECT_DOUBLE_EQ(s.MapPoint(200, 100).X, 7 + 75);
  // A pen 10 units wide: 10 / (1000 / 500) = 5 pixels.
  EXPECT_DOUBLE_EQ(s.MapWidth(10), 5);
  // MM_TEXT resets origins and extents.
  s.SetMapMode(MM_TEXT);
  EXPECT_DOUBLE_EQ(s.MapPoint(200, 100).X, 200);
  EXPECT_DOUBLE_EQ(s.FMapMXmul, 1);
  // Extents of 0 are refused as GDI refuses them.
  s.SetMapMode(MM_ANISOTROPIC);
  EXPECT_FALSE(s.SetWindowExtent(0, 5));
  EXPECT_TRUE(std::isfinite(s.MapPoint(3, 3).X));
  SIZE ext{10, 10};
  EXPECT_FALSE(s.ScaleExtent(&ext, 1, 0, 1, 1));
  EXPECT_TRUE(s.ScaleExtent(&ext, 3, 2, 1, 3));
  EXPECT_EQ(ext.cx, 15);
  EXPECT_EQ(ext.cy, 3);
}

TEST(MetaSpace, WorldTransformsComposeInGdiOrder) {
  TgtMetaSpace s;
  const XFORM scale{2, 0, 0, 2, 0, 0}, move{1, 0, 0, 1, 10, 0};
  s.FXForm = scale;
  s.ModifyWorld(move, MWT_LEFTMULTIPLY);  // move first, then scale
  EXPECT_DOUBLE_EQ(s.MapPoint(1, 1).X, 22);
  s.FXForm = scale;
  s.ModifyWorld(move, MWT_RIGHTMULTIPLY);  // scale first, then move
  EXPECT_DOUBLE_EQ(s.MapPoint(1, 1).X, 12);
  s.ModifyWorld(move, MWT_IDENTITY);
  EXPECT_DOUBLE_EQ(s.MapPoint(1, 1).X, 1);
  // A page recorded at 600 dpi played at 96: the world transform carries
  // the scale and the positions keep the printer's precision.
  s.FXForm = XFORM{0.16f, 0, 0, 0.16f, 0, 0};
  EXPECT_NEAR(s.MapPoint(1237, 2001).X, 197.92, 1e-4);
  EXPECT_NEAR(s.MapWidth(8), 1.28, 1e-6);
}

TEST(MetaSpace, RoundingIsHalfToEven) {
  EXPECT_EQ(RoundEven(2.5), 2);
  EXPECT_EQ(RoundEven(3.5), 4);
  EXPECT_EQ(RoundEven(-2.5), -2);
  EXPECT_EQ(PlainColor(0x01000000 | 0xFF), 0u);
  EXPECT_EQ(PlainColor(0x123456), 0x123456u);
}

// A format-4 map built by hand: segments with a delta and with the glyph
// index array.
std::vector<uint8_t> Cmap4(bool hostile) {
  std::vector<uint8_t> b;
  auto u16 = [&b](unsigned v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
  };
  auto u32 = [&](unsigned v) {
    u16(v >> 16);
    u16(v & 0xFFFF);
  };
  u16(0);
  u16(1);
  u16(3);
  u16(1);
  u32(12);
  // Segments: 'A'..'C' -> 1..3 by delta; 'a'..'b' -> array {7, 5}; 0xFFFF end.
  const unsigned segs = 3;
  u16(4);
  u16(0);  // length, patched below
  u16(0);
  u16(2 * segs);
  u16(0);
  u16(0);
  u16(0);
  u16('C');
  u16('b');
  u16(0xFFFF);
  u16(0);
  u16(hostile ? 0 : 'A');  // hostile: a segment starting at 0 and spanning far
  u16('a');
  u16(0xFFFF);
  u16((1 - 'A') & 0xFFFF);
  u16(0);
  u16(1);
  u16(0);
  u16(hostile ? 0xFFF0 : 4);  // the array follows the three range offsets
  u16(0);
  u16(7);
  u16(5);
  const unsigned length = unsigned(b.size() - 12);
  b[14] = uint8_t(length >> 8);
  b[15] = uint8_t(length);
  return b;
}

TEST(GlyphTable, Format4MapsAreReadBackwards) {
  TgtGlyphTable t;
  auto cmap = Cmap4(false);
  ASSERT_TRUE(t.Parse(cmap.data(), cmap.size()));
  EXPECT_EQ(t.CharOf(1), u'A');
  EXPECT_EQ(t.CharOf(3), u'C');
  EXPECT_EQ(t.CharOf(7), u'a');
  EXPECT_EQ(t.CharOf(5), u'b');
  EXPECT_EQ(t.CharOf(4), 0);
  EXPECT_EQ(t.CharOf(60000), 0);
  // Offsets out of the table and a truncated table are refused, not read.
  auto bad = Cmap4(true);
  TgtGlyphTable h;
  h.Parse(bad.data(), bad.size());
  for (size_t cut = 0; cut < cmap.size(); cut += 3) {
    std::vector<uint8_t> part(cmap.begin(), cmap.begin() + long(cut));
    TgtGlyphTable p;
    p.Parse(part.data(), part.size());
  }
}

// The table of an installed font agrees with fontTools' reading of the
// same file.
TEST(GlyphTable, InstalledFontAgreesWithFontTools) {
  NX_REQUIRE_TOOL("/usr/bin/python3");  // the system Python has fontTools
  NX_REQUIRE_TOOL("fc-match");
  auto file = nxtest::RunCommand("fc-match -f '%{file}' 'Liberation Sans'");
  ASSERT_EQ(file.exitCode, 0);
  auto ids = nxtest::RunCommand(
      "/usr/bin/python3 -c \"import sys; from fontTools.ttLib import TTFont; f=TTFont(sys.argv[1]); c=f.getBestCmap(); "
      "print(' '.join(str(f.getGlyphID(c[ord(ch)])) for ch in 'Az\\u00e9\\u20ac'))\" " +
      nxtest::ShellQuote(file.output));
  if (ids.exitCode != 0) GTEST_SKIP() << "fontTools cannot read the font: " << ids.output;
  LOGFONTW lf{};
  lf.lfHeight = -16;
  const char16_t face[] = u"Liberation Sans";
  std::memcpy(lf.lfFaceName, face, sizeof face);
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  TgtGlyphTable t;
  EXPECT_TRUE(t.CreateTTFGlyphs(dc));
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  std::istringstream in(ids.output);
  for (char16_t ch : {u'A', u'z', u'\u00e9', u'\u20ac'}) {
    unsigned glyph = 0;
    in >> glyph;
    EXPECT_EQ(t.CharOf(WORD(glyph)), ch) << "glyph " << glyph;
  }
}

std::vector<uint8_t> SmallImage() {
  emftest::EmfBuilder e({0, 0, 1000, 1000}, 1);
  e.Add(EMR_SETBKMODE, {TRANSPARENT});
  e.Add(EMR_RECTANGLE, {10, 20, 110, 70});
  e.Add(EMR_ELLIPSE, {1, 2, 3, 4});
  return e.Image();
}

TEST(Salvage, SoundImagesPassAndDamagedOnesKeepTheirGoodRecords) {
  std::string damage;
  auto good = SmallImage();
  EXPECT_EQ(SalvageEnhMetaFileBits(good.data(), good.size(), &damage), good);
  EXPECT_TRUE(damage.empty());
  // Truncated inside the ellipse: header, SETBKMODE, RECTANGLE and a new EOF.
  auto cut = std::vector<uint8_t>(good.begin(), good.end() - 30);
  auto fixed = SalvageEnhMetaFileBits(cut.data(), cut.size(), &damage);
  EXPECT_NE(damage.find("truncated"), std::string::npos) << damage;
  HENHMETAFILE h = SetEnhMetaFileBits(UINT(fixed.size()), fixed.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(emftest::Types(emftest::Enumerate(h)),
            (std::vector<DWORD>{EMR_HEADER, EMR_SETBKMODE, EMR_RECTANGLE, EMR_EOF}));
  DeleteEnhMetaFile(h);
  // A record size that is not a multiple of 4 ends the good part there.
  auto odd = good;
  emftest::Put32(odd, sizeof(ENHMETAHEADER) + 12 + 4, 23);
  fixed = SalvageEnhMetaFileBits(odd.data(), odd.size(), &damage);
  EXPECT_NE(damage.find("RECTANGLE"), std::string::npos) << damage;
  h = SetEnhMetaFileBits(UINT(fixed.size()), fixed.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(emftest::Types(emftest::Enumerate(h)), (std::vector<DWORD>{EMR_HEADER, EMR_SETBKMODE, EMR_EOF}));
  DeleteEnhMetaFile(h);
  // Not a metafile at all.
  std::vector<uint8_t> junk(200, 0x41);
  EXPECT_TRUE(SalvageEnhMetaFileBits(junk.data(), junk.size(), &damage).empty());
  EXPECT_FALSE(damage.empty());
}

TEST(EmfRecord, ReadsNeverPassTheRecordsEnd) {
  std::vector<uint32_t> words = {EMR_POLYLINE16, 36, 0, 0, 0, 0, 2, 0x00020001, 0x00040003};
  const TgtEmfRecord r(reinterpret_cast<const ENHMETARECORD *>(words.data()));
  std::vector<POINT> pts;
  EXPECT_TRUE(r.Points(28, 2, true, &pts));
  EXPECT_EQ(pts[1].x, 3);
  EXPECT_EQ(pts[1].y, 4);
  EXPECT_FALSE(r.Points(28, 3, true, &pts));
  EXPECT_FALSE(r.Points(28, 0x40000000, false, &pts));
  EXPECT_FALSE(r.Points(0xFFFFFFFF, 1, false, &pts));
  DWORD v;
  EXPECT_FALSE(r.U32(36, &v));
  EXPECT_TRUE(r.U32(32, &v));
  EXPECT_EQ(r.Bytes(30, 7), nullptr);
  EXPECT_EQ(EmfRecordName(EMR_EXTTEXTOUTW), "EXTTEXTOUTW");
}

// A STRETCHDIBITS record carrying a 4 x 2 8-bpp DIB whose colour table
// holds one of the 256 entries its header implies: the entries past the
// record's bytes are black, as they always were.
TEST(RecordPictures, ShortColourTablesDecodeAndUnsoundHeadersAreRefused) {
  std::vector<uint8_t> rec(132, 0);
  auto put = [&](size_t at, uint32_t v) { std::memcpy(rec.data() + at, &v, 4); };
  put(0, EMR_STRETCHDIBITS);
  put(4, uint32_t(rec.size()));
  const BITMAPINFOHEADER head{sizeof head, 4, 2, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(rec.data() + 80, &head, sizeof head);
  const RGBQUAD first{30, 20, 10, 0};
  std::memcpy(rec.data() + 120, &first, 4);
  const uint8_t rows[8] = {0, 1, 0, 2, 1, 0, 0, 0};  // bottom row first
  std::memcpy(rec.data() + 124, rows, 8);
  const TgtEmfRecord r(reinterpret_cast<const ENHMETARECORD *>(rec.data()));
  std::string why;
  const auto pic = DecodeRecordDib(r, 80, 44, 124, 8, &why);
  ASSERT_TRUE(pic) << why;
  const COLORREF c = RGB(10, 20, 30);
  const COLORREF want[2][4] = {{0, c, c, c}, {c, 0, c, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pic->Pixel(x, y), want[y][x]) << x << "," << y;
  EXPECT_EQ(pic->PixelFormat, pf8bit);

  EXPECT_FALSE(DecodeRecordDib(r, 80, 44, 124, 7, &why)) << "bits a byte short";
  EXPECT_FALSE(DecodeRecordDib(r, 80, 44, 128, 8, &why)) << "bits past the record";
  EXPECT_FALSE(DecodeRecordDib(r, 80, 39, 124, 8, &why)) << "header cut";
  put(80, 200);  // a header size no DIB has
  EXPECT_FALSE(DecodeRecordDib(r, 80, 44, 124, 8, &why));
  put(80, 48);  // a header larger than the bytes given for it
  EXPECT_FALSE(DecodeRecordDib(r, 80, 44, 124, 8, &why));
  put(80, sizeof head);
  put(96, BI_RLE8);
  EXPECT_FALSE(DecodeRecordDib(r, 80, 44, 124, 8, &why)) << "compressed bits";
}

}  // namespace
