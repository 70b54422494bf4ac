// A short mutation fuzz of the metafile reader: images with bytes and
// fields changed at random must be refused cleanly or read without
// reaching outside their records (run under the sanitizers to see it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "gdi/EmfTestUtil.h"
#include "platform/gdi/GdiInternal.h"

using namespace emftest;

namespace {

std::vector<uint8_t> Sample() {
  RECT frame{0, 0, 2000, 2000};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, NXW("Fuzz\0Sample\0"));
  SetBkMode(dc, TRANSPARENT);
  HPEN pen = CreatePen(PS_DASH, 3, RGB(1, 2, 3));
  HBRUSH brush = CreateHatchBrush(HS_CROSS, RGB(4, 5, 6));
  LOGFONTW lf{};
  lf.lfHeight = -12;
  HFONT font = CreateFontIndirectW(&lf);
  SelectObject(dc, pen);
  SelectObject(dc, brush);
  SelectObject(dc, font);
  SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 10, 10, nullptr);
  SetViewportExtEx(dc, 20, 20, nullptr);
  RestoreDC(dc, -1);
  static const BYTE data[] = {1, 2, 3, 4, 5, 6, 7};
  GdiComment(dc, sizeof data, data);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(pen);
  DeleteObject(brush);
  DeleteObject(font);
  return Bits(CloseEnhMetaFile(dc));
}

// The region, arc, path, pattern and parallelogram records, and compact
// text records as other writers emit them.
std::vector<uint8_t> PatternsAndRegions() {
  RECT frame{0, 0, 2000, 2000};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  uint16_t rows[8] = {0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555};
  HBITMAP mono = CreateBitmap(8, 8, 1, 1, rows);
  HBRUSH brush = CreatePatternBrush(mono);
  LOGBRUSH lb{BS_PATTERN, 0, (ULONG_PTR)mono};
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 5, &lb, 0, nullptr);
  SelectObject(dc, brush);
  SelectObject(dc, pen);
  HRGN rgn = CreateRectRgn(2, 2, 30, 20);
  FrameRgn(dc, rgn, brush, 2, 2);
  PaintRgn(dc, rgn);
  InvertRgn(dc, rgn);
  AngleArc(dc, 40, 40, 10, 45, 200);
  BeginPath(dc);
  Ellipse(dc, 5, 30, 30, 50);
  EndPath(dc);
  FlattenPath(dc);
  WidenPath(dc);
  StrokeAndFillPath(dc);
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBm = SelectObject(src, CreateBitmap(8, 8, 1, 32, nullptr));
  POINT plg[3] = {{50, 5}, {60, 10}, {45, 15}};
  PlgBlt(dc, plg, src, 0, 0, 8, 8, mono, 0, 0);
  DeleteObject(SelectObject(src, oldBm));
  DeleteDC(src);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  for (HGDIOBJ o : {(HGDIOBJ)pen, (HGDIOBJ)brush, (HGDIOBJ)mono, (HGDIOBJ)rgn}) DeleteObject(o);
  auto bytes = Bits(CloseEnhMetaFile(dc));
  // SMALLTEXTOUT with 8-bit characters and a rectangle, then 16-bit ones without.
  EmfBuilder e({0, 0, 2000, 2000}, 1);
  e.Add(EMR_SMALLTEXTOUT, {5, 5, 4, 0x200 | ETO_OPAQUE, GM_COMPATIBLE, 0, 0, 0, 0, 40, 20,
                           0x64636261});
  e.Add(EMR_SMALLTEXTOUT, {5, 25, 2, ETO_NO_RECT, GM_COMPATIBLE, 0, 0, 0x00620061});
  auto text = e.Image();
  // Both in one image: the text records before the first one's EOF.
  size_t eof = bytes.size() - sizeof(EMREOF);
  bytes.insert(bytes.begin() + (long)eof, text.begin() + sizeof(ENHMETAHEADER),
               text.end() - sizeof(EMREOF));
  Put32(bytes, offsetof(ENHMETAHEADER, nBytes), (DWORD)bytes.size());
  Put32(bytes, offsetof(ENHMETAHEADER, nRecords), Get32(bytes, offsetof(ENHMETAHEADER, nRecords)) + 2);
  return bytes;
}

// Changes a few bytes, or a whole field to a value that tends to hurt.
void Mutate(std::vector<uint8_t> &b, std::mt19937 &rng) {
  static const DWORD nasty[] = {0,          1,          3,          4,          8,
                                0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFC, 0x10000};
  int edits = 1 + (int)(rng() % 4);
  for (int i = 0; i < edits; ++i) {
    size_t at = rng() % b.size();
    switch (rng() % 3) {
      case 0:
        b[at] = (uint8_t)rng();
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

int CALLBACK Touch(HDC, HANDLETABLE *ht, const ENHMETARECORD *r, int n, LPARAM p) {
  // Read every byte the record claims, as a callback may.
  auto *sum = reinterpret_cast<uint32_t *>(p);
  auto *bytes = reinterpret_cast<const uint8_t *>(r);
  for (DWORD i = 0; i < r->nSize; ++i) *sum += bytes[i];
  if (n > 0) *sum += ht->objectHandle[n - 1] != nullptr;
  return 1;
}

// Plays an image onto a small raster and into a metafile.
void PlayEverywhere(HENHMETAFILE h) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, bm);
  RECT rect{0, 0, 64, 48};
  PlayEnhMetaFile(mem, h, &rect);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bm);
  HDC rec = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  PlayEnhMetaFile(rec, h, &rect);
  HENHMETAFILE again = CloseEnhMetaFile(rec);
  // Whatever the input, what we write is sound.
  auto out = Bits(again);
  const char *why = nullptr;
  EXPECT_TRUE(nx::gdi::ValidateEmf(out.data(), out.size(), &why)) << why;
  DeleteEnhMetaFile(again);
}

// A setting from the environment, for longer runs by hand.
unsigned EnvNumber(const char *name, unsigned fallback) {
  const char *v = std::getenv(name);
  return v && *v ? (unsigned)std::strtoul(v, nullptr, 10) : fallback;
}

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

// Records with the field values mutation found overflowing the players:
// blits whose destination starts or extends to the ends of 32 bits, with and
// without a source bitmap, and text whose advances are read from the
// record's own bounds (offDx pointing into the record). Each is played onto
// a raster and into a metafile, whose output must be a sound metafile.
TEST(EmfFuzz, ExtremeBlitsAndAdvancesReplaySafely) {
  const DWORD kMin = 0x80000000u, kMax = 0x7FFFFFFFu;
  const std::vector<DWORD> bmi{40, 2, 2, 1 | 32 << 16, BI_RGB, 16, 0, 0, 0, 0};
  const std::vector<DWORD> bits{0x00FF0000, 0x000000FF, 0x0000FF00, 0x00FFFFFF};
  const DWORD cases[][4] = {{kMin, kMin, kMin, kMin}, {kMax, kMax, kMax, kMax}, {kMin, 0, kMax, 1},
                            {0, kMin, 5, kMin},       {kMax, 0, kMin, 1},       {0, 0, kMin, kMax}};
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c[0] << " " << c[1] << " " << c[2] << " " << c[3]);
    EmfBuilder e({0, 0, 2000, 2000}, 1);
    std::vector<DWORD> dib{0, 0, 10, 10, c[0], c[1], 0, 0, 2, 2, 80, 40, 120, 16, DIB_RGB_COLORS, SRCCOPY, c[2], c[3]};
    dib.insert(dib.end(), bmi.begin(), bmi.end());
    dib.insert(dib.end(), bits.begin(), bits.end());
    e.Add(EMR_STRETCHDIBITS, dib);
    std::vector<DWORD> blt{0, 0, 10, 10, c[0], c[1], c[2], c[3], SRCCOPY, 0, 0,
                           FloatBits(1), FloatBits(0), FloatBits(0), FloatBits(1), FloatBits(0), FloatBits(0),
                           0, DIB_RGB_COLORS, 100, 40, 140, 16};
    blt.insert(blt.end(), bmi.begin(), bmi.end());
    blt.insert(blt.end(), bits.begin(), bits.end());
    e.Add(EMR_BITBLT, blt);
    // EXTTEXTOUTW "Hi!" whose Dx (offDx 8) are the bounds' four values.
    std::vector<DWORD> text{c[0], c[1], c[2], c[3], GM_COMPATIBLE, FloatBits(1), FloatBits(1),
                            40, 300, 3, 76, 0, 0, 0, 0, 0, 8, 0x00690048, 0x00000021};
    e.Add(EMR_EXTTEXTOUTW, text);
    const auto image = e.Image();
    HENHMETAFILE h = SetEnhMetaFileBits((UINT)image.size(), image.data());
    ASSERT_NE(h, nullptr);
    PlayEverywhere(h);
    DeleteEnhMetaFile(h);
  }
}

// The seed and the rounds can be raised with NX_EMF_FUZZ_SEED and
// NX_EMF_FUZZ_ROUNDS.
TEST(EmfFuzz, MutatedImagesAreRefusedOrReadSafely) {
  HDC scene = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  DrawScene(scene);
  const std::vector<uint8_t> bases[4] = {Sample(), ForeignPage(), Bits(CloseEnhMetaFile(scene)),
                                         PatternsAndRegions()};
  HENHMETAFILE sound = SetEnhMetaFileBits((UINT)bases[3].size(), bases[3].data());
  ASSERT_NE(sound, nullptr);
  DeleteEnhMetaFile(sound);
  std::mt19937 rng(EnvNumber("NX_EMF_FUZZ_SEED", 20261209));
  int accepted = 0, rounds = (int)EnvNumber("NX_EMF_FUZZ_ROUNDS", 3000);
  for (int iter = 0; iter < rounds; ++iter) {
    auto b = bases[iter % 4];
    Mutate(b, rng);
    HENHMETAFILE h = SetEnhMetaFileBits((UINT)b.size(), b.data());
    if (!h) {
      EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
      continue;
    }
    ++accepted;
    uint32_t sum = 0;
    EnumEnhMetaFile(nullptr, h, Touch, &sum, nullptr);
    WCHAR desc[64];
    GetEnhMetaFileDescriptionW(h, 64, desc);
    ENHMETAHEADER hdr;
    GetEnhMetaFileHeader(h, sizeof hdr, &hdr);
    EXPECT_LE(GetEnhMetaFileBits(h, 0, nullptr), b.size());
    if ((iter / 4) % 2 == 0) PlayEverywhere(h);  // every base, half the time
    DeleteEnhMetaFile(h);
  }
  // Most single-field changes leave the framing intact: the readers ran.
  EXPECT_GT(accepted, 300);
}

}  // namespace
