// Metafile DCs: the header, the object table and creation records, files
// on disk, the structural check; bitmaps and DIB sections.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gdi/EmfTestUtil.h"
#include "support/TestSupport.h"
#include "platform/gdi/Dib.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/win32.h"

namespace {

using emftest::As;
using emftest::Rec;

std::vector<uint8_t> Bits(HENHMETAFILE h) {
  auto *o = nx::gdi::Lookup<nx::gdi::EnhMetaFileObj>(h, nx::gdi::Kind::EnhMetaFile);
  return o ? o->bytes : std::vector<uint8_t>{};
}

std::vector<Rec> Records(const std::vector<uint8_t> &b) { return emftest::Split(b); }

TEST(MetafileDc, HeaderOfAnEmptyMetafileWithFrameAndDescription) {
  HDC ref = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(ref, nullptr, &frame, NXW("App\0Page\0"));
  ASSERT_NE(dc, nullptr);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  ASSERT_NE(emf, nullptr);
  auto bytes = Bits(emf);
  auto recs = Records(bytes);
  ASSERT_EQ(recs.size(), 2u);
  auto h = As<ENHMETAHEADER>(recs[0]);
  EXPECT_EQ(h.iType, (DWORD)EMR_HEADER);
  EXPECT_EQ(h.nSize, 108u + 20u);  // "App\0Page\0\0" = 10 units, padded
  EXPECT_EQ(h.nDescription, 10u);
  EXPECT_EQ(h.offDescription, 108u);
  EXPECT_EQ(h.dSignature, (DWORD)ENHMETA_SIGNATURE);
  EXPECT_EQ(h.nBytes, bytes.size());
  EXPECT_EQ(h.nRecords, 2u);
  EXPECT_EQ(h.nHandles, 1);
  EXPECT_EQ(h.rclFrame.right, 21000);
  EXPECT_EQ(h.rclBounds.right, -1);  // nothing drawn
  EXPECT_EQ(h.szlDevice.cx, GetDeviceCaps(ref, HORZRES));
  EXPECT_EQ(h.szlMillimeters.cx, GetDeviceCaps(ref, HORZSIZE));
  EXPECT_EQ(h.szlMicrometers.cx, 1000 * GetDeviceCaps(ref, HORZSIZE));
  auto eof = As<EMREOF>(recs[1]);
  EXPECT_EQ(eof.emr.iType, (DWORD)EMR_EOF);
  EXPECT_EQ(eof.nSizeLast, 20u);
  EXPECT_EQ(eof.offPalEntries, 16u);
  const char *why = nullptr;
  EXPECT_TRUE(nx::gdi::ValidateEmf(bytes.data(), bytes.size(), &why)) << why;
  ReleaseDC(nullptr, ref);
  DeleteEnhMetaFile(emf);
}

TEST(MetafileDc, ObjectsAreCreatedOnFirstSelectionAndTheTableReusesFreedSlots) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  HPEN pen = CreatePen(PS_DASH, 3, RGB(1, 2, 3));
  HBRUSH brush = CreateHatchBrush(HS_CROSS, RGB(4, 5, 6));
  LOGFONTW lf{};
  lf.lfHeight = -20;
  std::memcpy(lf.lfFaceName, NXW("Arial"), 12);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  SelectObject(dc, brush);
  SelectObject(dc, pen);  // already recorded: a select only
  SelectObject(dc, font);
  SelectObject(dc, oldPen);                   // stock pen
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  EXPECT_FALSE(DeleteObject(font));  // still selected
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  EXPECT_TRUE(DeleteObject(brush));
  HBRUSH solid = CreateSolidBrush(RGB(9, 9, 9));
  SelectObject(dc, solid);  // takes the freed slot 2
  auto recs = Records(Bits(CloseEnhMetaFile(dc)));
  std::vector<DWORD> types;
  for (auto &r : recs) types.push_back(r.type);
  std::vector<DWORD> want{EMR_HEADER,       EMR_CREATEPEN,    EMR_SELECTOBJECT,
                          EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_SELECTOBJECT,
                          EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT, EMR_SELECTOBJECT,
                          EMR_SELECTOBJECT, EMR_SELECTOBJECT, EMR_DELETEOBJECT,
                          EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_EOF};
  ASSERT_EQ(types, want);
  auto cp = As<EMRCREATEPEN>(recs[1]);
  EXPECT_EQ(cp.ihPen, 1u);
  EXPECT_EQ(cp.lopn.lopnStyle, (UINT)PS_DASH);
  EXPECT_EQ(cp.lopn.lopnWidth.x, 3);
  EXPECT_EQ(cp.lopn.lopnColor, RGB(1, 2, 3));
  auto cb = As<EMRCREATEBRUSHINDIRECT>(recs[3]);
  EXPECT_EQ(cb.ihBrush, 2u);
  EXPECT_EQ(cb.lb.lbStyle, (UINT)BS_HATCHED);
  EXPECT_EQ(cb.lb.lbHatch, (ULONG)HS_CROSS);
  EXPECT_EQ(As<EMRSELECTOBJECT>(recs[5]).ihObject, 1u);
  auto cf = As<EMREXTCREATEFONTINDIRECTW>(recs[6]);
  EXPECT_EQ(recs[6].bytes.size(), 332u);
  EXPECT_EQ(cf.ihFont, 3u);
  EXPECT_EQ(cf.elfw.elfLogFont.lfHeight, -20);
  EXPECT_EQ(As<EMRSELECTOBJECT>(recs[8]).ihObject, 0x80000000u | BLACK_PEN);
  EXPECT_EQ(As<EMRSELECTOBJECT>(recs[9]).ihObject, 0x80000000u | NULL_BRUSH);
  EXPECT_EQ(As<EMRDELETEOBJECT>(recs[11]).ihObject, 2u);
  EXPECT_EQ(As<EMRCREATEBRUSHINDIRECT>(recs[12]).ihBrush, 2u);
  EXPECT_EQ(As<ENHMETAHEADER>(recs[0]).nHandles, 4);  // three objects alive at once
  DeleteObject(pen);
  DeleteObject(font);
  DeleteObject(solid);
}

// Metafiles of very different sizes one after another (the next one starts
// with room for about as much as the last): each holds exactly its records
// and keeps at most an eighth of its size as spare room.
TEST(MetafileDc, EachMetafileHoldsItsRecordsWithLittleSpareRoom) {
  for (int lines : {3000, 1, 40, 3000, 2900, 5000, 0}) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < lines; ++i) LineTo(dc, i % 97, i % 89);
    HENHMETAFILE h = CloseEnhMetaFile(dc);
    auto *o = nx::gdi::Lookup<nx::gdi::EnhMetaFileObj>(h, nx::gdi::Kind::EnhMetaFile);
    ASSERT_NE(o, nullptr);
    const size_t size = o->bytes.size();
    EXPECT_EQ(size, sizeof(ENHMETAHEADER) + 16 * size_t(lines) + sizeof(EMREOF)) << lines;
    EXPECT_LE(o->bytes.capacity() - size, size / 8) << lines;
    auto recs = Records(o->bytes);
    ASSERT_EQ(recs.size(), size_t(lines) + 2) << lines;
    EXPECT_EQ(As<ENHMETAHEADER>(recs.front()).nBytes, size);
    EXPECT_EQ(recs.back().type, DWORD(EMR_EOF));
    if (lines) {
      EXPECT_EQ(As<EMRLINETO>(recs[size_t(lines)]).ptl.x, (lines - 1) % 97);
    }
    DeleteEnhMetaFile(h);
  }
}

TEST(MetafileDc, WritesTheFileAtCloseWithWindowsSeparators) {
  nxtest::TempDir tmp;
  std::string path = tmp.file("page.emf");
  std::u16string wpath;
  for (char c : path) wpath.push_back(c == '/' ? u'\\' : (char16_t)c);
  HDC dc = CreateEnhMetaFileW(nullptr, (LPCWSTR)wpath.c_str(), nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  SetBkMode(dc, TRANSPARENT);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  auto onDisk = nxtest::ReadFileBytes(path);
  auto mem = Bits(emf);
  EXPECT_EQ(std::vector<uint8_t>(onDisk.begin(), onDisk.end()), mem);
  EXPECT_EQ(CreateEnhMetaFileW(nullptr, NXW("/no/such/folder/x.emf"), nullptr, nullptr), nullptr);
}

TEST(MetafileDc, StructuralCheckRefusesBrokenImages) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  SetBkMode(dc, TRANSPARENT);
  auto good = Bits(CloseEnhMetaFile(dc));
  const char *why = nullptr;
  ASSERT_TRUE(nx::gdi::ValidateEmf(good.data(), good.size(), &why));
  auto broken = [&](auto mutate) {
    auto b = good;
    mutate(b);
    return !nx::gdi::ValidateEmf(b.data(), b.size(), &why);
  };
  auto put = [](std::vector<uint8_t> &b, size_t at, DWORD v) { std::memcpy(&b[at], &v, 4); };
  size_t second = 108;  // the SETBKMODE record
  EXPECT_TRUE(broken([&](auto &b) { b.resize(b.size() - 4); }));           // cut short
  EXPECT_TRUE(broken([&](auto &b) { put(b, 48, (DWORD)b.size() + 4); }));  // nBytes too big
  EXPECT_TRUE(broken([&](auto &b) { put(b, 48, 110); }));                  // not a multiple of 4
  EXPECT_TRUE(broken([&](auto &b) { put(b, second + 4, 10); }));           // record size 10
  EXPECT_TRUE(broken([&](auto &b) { put(b, second + 4, 4000); }));         // past the end
  EXPECT_TRUE(broken([&](auto &b) { put(b, second + 4, 0); }));            // zero size
  EXPECT_TRUE(broken([&](auto &b) { put(b, 40, 0); }));                    // signature
  EXPECT_TRUE(broken([&](auto &b) { put(b, b.size() - 20, EMR_SAVEDC); })); // no EOF
  EXPECT_FALSE(nx::gdi::ValidateEmf(good.data(), 40, &why));
  EXPECT_FALSE(nx::gdi::ValidateEmf(nullptr, 0, &why));
}

BITMAPINFO *Info(std::vector<uint8_t> &buf, int w, int h, int bpp) {
  buf.assign(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
  auto *bi = reinterpret_cast<BITMAPINFO *>(buf.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = w;
  bi->bmiHeader.biHeight = h;
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = (WORD)bpp;
  bi->bmiHeader.biCompression = BI_RGB;
  return bi;
}

TEST(Bitmaps, DibSectionsAndDibRowsRoundTrip) {
  // A bottom-up 32-bpp section shares its bits; an 8-bpp one converts.
  for (int bpp : {32, 24, 8}) {
    std::vector<uint8_t> ib;
    BITMAPINFO *bi = Info(ib, 5, 3, bpp);
    if (bpp == 8) {
      bi->bmiHeader.biClrUsed = 3;
      bi->bmiColors[0] = {0, 0, 0, 0};
      bi->bmiColors[1] = {0, 0, 255, 0};   // red
      bi->bmiColors[2] = {255, 0, 0, 0};   // blue
    }
    void *bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bm, nullptr) << bpp;
    ASSERT_NE(bits, nullptr);
    // Put a red pixel at the top-left through SetDIBits of a 24-bpp top-down DIB.
    std::vector<uint8_t> src(3 * 16, 0);
    std::vector<uint8_t> sb;
    BITMAPINFO *si = Info(sb, 5, -3, 24);
    src[2] = 255;
    EXPECT_EQ(SetDIBits(nullptr, bm, 0, 3, src.data(), si, DIB_RGB_COLORS), 3);
    size_t stride = nx::gdi::DibStride(5, bpp);
    const uint8_t *top = static_cast<uint8_t *>(bits) + 2 * stride;  // bottom-up: last row
    if (bpp == 8) EXPECT_EQ(top[0], 1);
    else EXPECT_EQ(top[2], 255) << bpp;
    // And back as a 32-bpp bottom-up DIB.
    std::vector<uint8_t> ob;
    BITMAPINFO *oi = Info(ob, 5, 3, 32);
    std::vector<uint32_t> out(15, 0);
    EXPECT_EQ(GetDIBits(nullptr, bm, 0, 3, out.data(), oi, DIB_RGB_COLORS), 3);
    EXPECT_EQ(out[10] & 0xFFFFFF, 0xFF0000u) << bpp;  // top row, first pixel
    EXPECT_EQ(out[0] & 0xFFFFFF, 0u);
    DeleteObject(bm);
  }
}

TEST(Bitmaps, BadSizesAndHandlesFail) {
  std::vector<uint8_t> ib;
  EXPECT_EQ(CreateDIBSection(nullptr, Info(ib, 0, 3, 32), DIB_RGB_COLORS, nullptr, nullptr, 0),
            nullptr);
  EXPECT_EQ(CreateDIBSection(nullptr, Info(ib, 1 << 20, 1 << 20, 32), DIB_RGB_COLORS, nullptr,
                             nullptr, 0),
            nullptr);
  EXPECT_EQ(CreateBitmap(-1, 5, 1, 32, nullptr), nullptr);
  EXPECT_EQ(SetDIBits(nullptr, (HBITMAP)GetStockObject(WHITE_BRUSH), 0, 1, ib.data(),
                      Info(ib, 1, 1, 32), DIB_RGB_COLORS),
            0);
  // A memory DC starts monochrome: compatible bitmaps follow it.
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateCompatibleBitmap(mem, 4, 4);
  BITMAP b{};
  ASSERT_EQ(GetObjectW(mono, sizeof b, &b), (int)sizeof b);
  EXPECT_EQ(b.bmBitsPixel, 1);
  DeleteObject(mono);
  DeleteDC(mem);
}

}  // namespace
