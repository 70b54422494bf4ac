// Metafiles as files and data: save, load, copy, header, description,
// comments, enumeration, and refusal of broken images.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "gdi/EmfTestUtil.h"
#include "support/TestSupport.h"

using namespace emftest;

namespace {

std::u16string WindowsPath(const std::string &p) {
  std::u16string w;
  for (char c : p) w.push_back(c == '/' ? u'\\' : (char16_t)c);
  return w;
}

// A metafile of state records, objects and a comment (no drawing).
HENHMETAFILE StatePage(const RECT *frame, LPCWSTR desc) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, frame, desc);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(10, 20, 30));
  HPEN pen = CreatePen(PS_DOT, 2, RGB(200, 0, 0));
  HGDIOBJ old = SelectObject(dc, pen);
  SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 100, 100, nullptr);
  SetViewportExtEx(dc, 50, 50, nullptr);
  RestoreDC(dc, -1);
  static const BYTE note[] = {'n', 'o', 't', 'e', '!'};
  GdiComment(dc, sizeof note, note);
  SelectObject(dc, old);
  DeleteObject(pen);
  return CloseEnhMetaFile(dc);
}

TEST(EmfFile, SaveLoadAndEnumerateGiveTheSameRecords) {
  nxtest::TempDir tmp;
  RECT frame{0, 0, 5000, 2500};
  HENHMETAFILE emf = StatePage(&frame, NXW("Test\0Page 1\0"));
  ASSERT_NE(emf, nullptr);
  std::string path = tmp.file("copy.emf");
  std::u16string wpath = WindowsPath(path);
  HENHMETAFILE copy = CopyEnhMetaFileW(emf, (LPCWSTR)wpath.c_str());
  ASSERT_NE(copy, nullptr);
  HENHMETAFILE loaded = GetEnhMetaFileW((LPCWSTR)wpath.c_str());
  ASSERT_NE(loaded, nullptr);

  auto onDisk = nxtest::ReadFileBytes(path);
  EXPECT_EQ(std::vector<uint8_t>(onDisk.begin(), onDisk.end()), Bits(emf));
  auto a = Enumerate(emf), b = Enumerate(loaded), c = Enumerate(copy);
  ASSERT_EQ(a.size(), Get32(Bits(emf), offsetof(ENHMETAHEADER, nRecords)));
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    EXPECT_EQ(a[i].bytes, b[i].bytes) << "record " << i;
    EXPECT_EQ(a[i].bytes, c[i].bytes) << "record " << i;
  }
  EXPECT_EQ(a.size(), b.size());
  std::vector<DWORD> want{EMR_HEADER,      EMR_SETBKMODE,         EMR_SETTEXTCOLOR,
                          EMR_CREATEPEN,   EMR_SELECTOBJECT,      EMR_SAVEDC,
                          EMR_SETMAPMODE,  EMR_SETWINDOWEXTEX,    EMR_SETVIEWPORTEXTEX,
                          EMR_RESTOREDC,   EMR_GDICOMMENT,        EMR_SELECTOBJECT,
                          EMR_DELETEOBJECT, EMR_EOF};
  EXPECT_EQ(Types(a), want);
  auto comment = a[10];
  EXPECT_EQ(comment.bytes.size(), 20u);  // 12 + 5 padded to 4
  EXPECT_EQ(Get32(comment.bytes, 8), 5u);
  EXPECT_EQ(std::string(comment.bytes.begin() + 12, comment.bytes.begin() + 17), "note!");

  // A memory copy is independent of the original.
  HENHMETAFILE mem = CopyEnhMetaFileW(emf, nullptr);
  ASSERT_NE(mem, nullptr);
  EXPECT_TRUE(DeleteEnhMetaFile(emf));
  EXPECT_EQ(Enumerate(mem).size(), a.size());
  EXPECT_FALSE(DeleteEnhMetaFile(emf));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  for (HENHMETAFILE h : {copy, loaded, mem}) EXPECT_TRUE(DeleteEnhMetaFile(h));
}

TEST(EmfFile, HeaderAndDescriptionQueries) {
  RECT frame{100, 200, 21100, 29900};
  HENHMETAFILE emf = StatePage(&frame, NXW("Noxtrel\0Invoice\0"));
  UINT size = GetEnhMetaFileHeader(emf, 0, nullptr);
  EXPECT_EQ(size, 108u + 36u);  // 18 units of description, padded
  ENHMETAHEADER h{};
  EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), (UINT)sizeof h);
  EXPECT_EQ(h.rclFrame.left, 100);
  EXPECT_EQ(h.rclFrame.bottom, 29900);
  EXPECT_EQ(h.nBytes, GetEnhMetaFileBits(emf, 0, nullptr));

  EXPECT_EQ(GetEnhMetaFileDescriptionW(emf, 0, nullptr), 17u);
  WCHAR desc[32] = {};
  EXPECT_EQ(GetEnhMetaFileDescriptionW(emf, 32, desc), 17u);
  EXPECT_EQ(std::u16string((const char16_t *)desc), u"Noxtrel");
  EXPECT_EQ(std::u16string((const char16_t *)desc + 8), u"Invoice");
  WCHAR shortBuf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(GetEnhMetaFileDescriptionW(emf, 3, shortBuf), 3u);
  EXPECT_EQ(shortBuf[3], 'x');  // nothing written past the count

  // Bits: the size alone, a buffer too small, an exact one.
  UINT n = GetEnhMetaFileBits(emf, 0, nullptr);
  std::vector<uint8_t> buf(n, 0xAB);
  EXPECT_EQ(GetEnhMetaFileBits(emf, n - 4, buf.data()), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[0], 0xAB);
  EXPECT_EQ(GetEnhMetaFileBits(emf, n, buf.data()), n);
  EXPECT_EQ(Get32(buf, 0), (DWORD)EMR_HEADER);

  HENHMETAFILE plain = StatePage(nullptr, nullptr);
  EXPECT_EQ(GetEnhMetaFileDescriptionW(plain, 0, nullptr), 0u);
  EXPECT_EQ(GetEnhMetaFileHeader(plain, 0, nullptr), 108u);
  EXPECT_EQ(GetEnhMetaFileHeader(nullptr, 0, nullptr), 0u);
  EXPECT_EQ(GetEnhMetaFileDescriptionW(nullptr, 0, nullptr), (UINT)GDI_ERROR);
  DeleteEnhMetaFile(plain);
  DeleteEnhMetaFile(emf);
}

TEST(EmfFile, OlderShortHeadersLoadAndReadAsZeroBeyondTheirEnd) {
  auto good = Bits(StatePage(nullptr, nullptr));
  // Rebuild the image with the 88-byte header form (up to szlMillimeters).
  std::vector<uint8_t> old(good.size() - 20);
  std::memcpy(old.data(), good.data(), 88);
  std::memcpy(old.data() + 88, good.data() + 108, good.size() - 108);
  Put32(old, 4, 88);
  Put32(old, offsetof(ENHMETAHEADER, nBytes), (DWORD)old.size());
  HENHMETAFILE emf = SetEnhMetaFileBits((UINT)old.size(), old.data());
  ASSERT_NE(emf, nullptr);
  ENHMETAHEADER h;
  std::memset(&h, 0x5A, sizeof h);
  EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), 88u);
  EXPECT_EQ(h.szlMillimeters.cx, (LONG)Get32(good, 80));
  EXPECT_EQ(h.szlMicrometers.cx, 0);
  EXPECT_EQ(h.bOpenGL, 0u);
  EXPECT_EQ(Enumerate(emf).size(), Enumerate(SetEnhMetaFileBits((UINT)good.size(), good.data())).size());
}

TEST(EmfFile, BrokenImagesAndFilesAreRefusedWithAReason) {
  auto good = Bits(StatePage(nullptr, nullptr));
  auto refused = [&](auto mutate) {
    auto b = good;
    mutate(b);
    SetLastError(0);
    HENHMETAFILE h = SetEnhMetaFileBits((UINT)b.size(), b.data());
    bool ok = h == nullptr && GetLastError() == (DWORD)ERROR_INVALID_DATA;
    if (h) DeleteEnhMetaFile(h);
    return ok;
  };
  size_t second = 108;
  EXPECT_TRUE(refused([](auto &b) { b.resize(60); }));                          // header cut
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, second + 4, 6); }));              // size < 8
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, second + 4, 14); }));             // not 4-aligned
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, second + 4, 1u << 30); }));       // past the end
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, 48, (DWORD)b.size() - 4); }));    // wrong nBytes
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, 48, (DWORD)b.size() + 8); }));
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, 0, EMR_EOF); }));                 // no header
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, 4, 40); }));                      // header too small
  EXPECT_TRUE(refused([&](auto &b) { Put32(b, b.size() - 20, EMR_SAVEDC); }));  // no EOF
  EXPECT_EQ(SetEnhMetaFileBits(0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

  // Data after nBytes is not part of the image.
  auto padded = good;
  padded.resize(padded.size() + 64, 0xEE);
  HENHMETAFILE h = SetEnhMetaFileBits((UINT)padded.size(), padded.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Bits(h), good);
  DeleteEnhMetaFile(h);

  nxtest::TempDir tmp;
  SetLastError(0);
  EXPECT_EQ(GetEnhMetaFileW(NXW("/no/such/file.emf")), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  std::string junk = tmp.file("junk.emf");
  nxtest::WriteFileBytes(junk, std::vector<unsigned char>(200, 7));
  std::u16string wjunk(junk.begin(), junk.end());
  EXPECT_EQ(GetEnhMetaFileW((LPCWSTR)wjunk.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
  EXPECT_EQ(CopyEnhMetaFileW(SetEnhMetaFileBits((UINT)good.size(), good.data()),
                             NXW("/no/such/folder/x.emf")),
            nullptr);
}

TEST(EmfFile, GdiCommentOnlyRecordsOnMetafileDcs) {
  HDC screen = GetDC(nullptr);
  EXPECT_TRUE(GdiComment(screen, 3, (const BYTE *)"abc"));
  EXPECT_FALSE(GdiComment(screen, 3, nullptr));
  ReleaseDC(nullptr, screen);
  EXPECT_FALSE(GdiComment(nullptr, 0, nullptr));
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(GdiComment(dc, 0, nullptr));
  auto recs = Enumerate(CloseEnhMetaFile(dc));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[1].type, (DWORD)EMR_GDICOMMENT);
  EXPECT_EQ(recs[1].bytes.size(), 12u);
}

struct Seen {
  int records = 0;
  int stopAfter = 1 << 30;
  int nHandles = 0;
  HENHMETAFILE first = nullptr;
  XFORM world{};
  int graphicsMode = 0;
};

int CALLBACK Count(HDC hdc, HANDLETABLE *ht, const ENHMETARECORD *r, int n, LPARAM p) {
  auto *s = reinterpret_cast<Seen *>(p);
  if (r->iType == EMR_HEADER) {
    s->nHandles = n;
    s->first = (HENHMETAFILE)ht->objectHandle[0];
    if (hdc) {
      GetWorldTransform(hdc, &s->world);
      s->graphicsMode = GetGraphicsMode(hdc);
    }
  }
  return ++s->records < s->stopAfter;
}

TEST(EmfFile, EnumerationStopsWhenAskedAndHandsOutTheHandleTable) {
  HENHMETAFILE emf = StatePage(nullptr, nullptr);
  Seen all;
  EXPECT_TRUE(EnumEnhMetaFile(nullptr, emf, Count, &all, nullptr));
  EXPECT_EQ(all.records, 14);
  EXPECT_EQ(all.nHandles, 2);  // slot 0 and the pen
  EXPECT_EQ(all.first, emf);
  Seen three;
  three.stopAfter = 3;
  EXPECT_FALSE(EnumEnhMetaFile(nullptr, emf, Count, &three, nullptr));
  EXPECT_EQ(three.records, 3);
  EXPECT_FALSE(EnumEnhMetaFile(nullptr, emf, nullptr, nullptr, nullptr));
  EXPECT_FALSE(EnumEnhMetaFile(nullptr, nullptr, Count, &all, nullptr));
  HDC screen = GetDC(nullptr);
  EXPECT_FALSE(EnumEnhMetaFile(screen, emf, Count, &all, nullptr));  // a DC needs a rectangle
  ReleaseDC(nullptr, screen);
  DeleteEnhMetaFile(emf);
}

TEST(EmfFile, EnumerationOntoADcMapsTheFrameAndRestoresTheDc) {
  // Reference device: 1920 x 1440 px over 508 x 381 mm; frame 0..5080 x 0..3810
  // (0.01 mm) is 192 x 144 reference pixels. Mapped onto (10,20)-(106,92): half size.
  RECT frame{0, 0, 5080, 3810};
  HENHMETAFILE emf = StatePage(&frame, nullptr);
  HDC dc = GetDC(nullptr);
  SetMapMode(dc, MM_TEXT);
  RECT rect{10, 20, 106, 92};
  Seen s;
  EXPECT_TRUE(EnumEnhMetaFile(dc, emf, Count, &s, &rect));
  EXPECT_EQ(s.graphicsMode, GM_ADVANCED);
  EXPECT_NEAR(s.world.eM11, 0.5, 1e-6);
  EXPECT_NEAR(s.world.eM22, 0.5, 1e-6);
  EXPECT_NEAR(s.world.eDx, 10, 1e-4);
  EXPECT_NEAR(s.world.eDy, 20, 1e-4);
  EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
  XFORM after{};
  GetWorldTransform(dc, &after);
  EXPECT_EQ(after.eM11, 1.0f);
  EXPECT_EQ(after.eDx, 0.0f);

  // A destination already transformed: the frame mapping comes first.
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM shift{2, 0, 0, 2, 1000, 0};
  SetWorldTransform(dc, &shift);
  EXPECT_TRUE(EnumEnhMetaFile(dc, emf, Count, &s, &rect));
  EXPECT_NEAR(s.world.eM11, 1.0, 1e-6);
  EXPECT_NEAR(s.world.eDx, 1020, 1e-3);
  GetWorldTransform(dc, &after);
  EXPECT_EQ(after.eM11, 2.0f);
  ReleaseDC(nullptr, dc);
  DeleteEnhMetaFile(emf);
}

int CALLBACK Throw(HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM) {
  if (r->iType != EMR_HEADER) throw std::runtime_error("callback failed");
  return 1;
}

TEST(EmfFile, ACallbackThatThrowsLeavesTheDcAsItWas) {
  RECT frame{0, 0, 5080, 3810};
  HENHMETAFILE emf = StatePage(&frame, nullptr);
  HDC dc = GetDC(nullptr);
  RECT rect{10, 20, 106, 92};
  EXPECT_THROW(EnumEnhMetaFile(dc, emf, Throw, nullptr, &rect), std::runtime_error);
  EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
  XFORM after{};
  GetWorldTransform(dc, &after);
  EXPECT_EQ(after.eM11, 1.0f);
  EXPECT_EQ(after.eDx, 0.0f);
  // A later walk over another rectangle maps its own frame.
  Seen s;
  RECT whole{0, 0, 192, 144};
  EXPECT_TRUE(EnumEnhMetaFile(dc, emf, Count, &s, &whole));
  EXPECT_NEAR(s.world.eM11, 1.0, 1e-6);
  EXPECT_NEAR(s.world.eDx, 0, 1e-4);
  ReleaseDC(nullptr, dc);
  DeleteEnhMetaFile(emf);
}

// Records as bytes, and callbacks that delete the metafile being walked:
// at the outer walk's second record, or inside an inner walk of it.
using Records = std::vector<std::vector<BYTE>>;

struct Deleting {
  HENHMETAFILE emf = nullptr;
  bool nested = false;
  size_t bytes = 0;
  Records records, inner;
  Records scrub;  // fresh memory of about the image's size, filled: freed bytes would be overwritten

  void Delete() {
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
    for (size_t n = bytes / 2; n < 2 * bytes + 64; n += 8) scrub.emplace_back(n, BYTE(0xEE));
  }
};

void Add(Records &to, const ENHMETARECORD *r) {
  const auto *b = reinterpret_cast<const BYTE *>(r);
  to.emplace_back(b, b + r->nSize);
}

int CALLBACK Keep(HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) {
  Add(*reinterpret_cast<Records *>(p), r);
  return 1;
}

int CALLBACK InnerDeletes(HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) {
  auto *s = reinterpret_cast<Deleting *>(p);
  Add(s->inner, r);
  if (s->inner.size() == 2) s->Delete();
  return 1;
}

int CALLBACK DeleteWhileWalked(HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) {
  auto *s = reinterpret_cast<Deleting *>(p);
  if (s->records.size() == 1) {
    if (s->nested) {
      EXPECT_TRUE(EnumEnhMetaFile(nullptr, s->emf, InnerDeletes, s, nullptr));
    } else {
      s->Delete();
    }
  }
  Add(s->records, r);
  return 1;
}

TEST(EmfFile, AMetafileDeletedWhileItIsWalkedIsReadToItsEnd) {
  for (bool nested : {false, true}) {
    HENHMETAFILE emf = StatePage(nullptr, nullptr);
    Records expected;
    ASSERT_TRUE(EnumEnhMetaFile(nullptr, emf, Keep, &expected, nullptr));
    Deleting s;
    s.emf = emf;
    s.nested = nested;
    s.bytes = GetEnhMetaFileBits(emf, 0, nullptr);
    EXPECT_TRUE(EnumEnhMetaFile(nullptr, emf, DeleteWhileWalked, &s, nullptr));
    EXPECT_EQ(s.records, expected);
    if (nested) {
      EXPECT_EQ(s.inner, expected);
    }
    // The handle is gone; its image went with the walk.
    EXPECT_EQ(GetEnhMetaFileBits(emf, 0, nullptr), 0u);
    EXPECT_FALSE(DeleteEnhMetaFile(emf));
  }
}

}  // namespace

