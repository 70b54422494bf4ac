// A short mutation fuzz of the metafile reader: images with bytes and
// fields changed at random must be refused cleanly or read without
// reaching outside their records (run under the sanitizers to see it).
#include <gtest/gtest.h>

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

TEST(EmfFuzz, MutatedImagesAreRefusedOrReadSafely) {
  HDC scene = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  DrawScene(scene);
  const std::vector<uint8_t> bases[3] = {Sample(), ForeignPage(), Bits(CloseEnhMetaFile(scene))};
  std::mt19937 rng(20261209);
  int accepted = 0;
  for (int iter = 0; iter < 3000; ++iter) {
    auto b = bases[iter % 3];
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
    if ((iter / 3) % 2 == 0) PlayEverywhere(h);  // every base, half the time
    DeleteEnhMetaFile(h);
  }
  // Most single-field changes leave the framing intact: the readers ran.
  EXPECT_GT(accepted, 300);
}

}  // namespace
