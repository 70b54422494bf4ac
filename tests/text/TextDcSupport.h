// Helpers for the tests of the HDC-taking text calls: fonts, metafile DCs
// written to files and read back record by record, and a white 32-bpp DIB
// section selected into a memory DC.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel/Wide.h"
#include "platform/win32.h"
#include "support/TestSupport.h"

namespace textdc {

inline HFONT MakeFont(const char16_t *face, LONG height, LONG escapement = 0, BYTE underline = 0, BYTE strike = 0) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfEscapement = lf.lfOrientation = escapement;
  lf.lfUnderline = underline;
  lf.lfStrikeOut = strike;
  for (size_t i = 0; face[i] && i + 1 < LF_FACESIZE; ++i) lf.lfFaceName[i] = WCHAR(face[i]);
  return CreateFontIndirectW(&lf);
}

inline const WCHAR *W(const std::u16string &s) { return reinterpret_cast<const WCHAR *>(s.c_str()); }

inline uint32_t U32(const std::vector<uint8_t> &r, size_t off) {
  uint32_t v;
  std::memcpy(&v, &r[off], 4);
  return v;
}
inline int32_t I32(const std::vector<uint8_t> &r, size_t off) { return int32_t(U32(r, off)); }

// A metafile DC recording into a file of a temporary folder.
struct MetafileFile {
  nxtest::TempDir dir;
  std::string path = dir.file("text.emf");
  HDC dc = nullptr;
  explicit MetafileFile(const RECT &frame) {
    std::u16string w = nx::wide::FromUtf8(path);
    dc = CreateEnhMetaFileW(nullptr, W(w), &frame, nullptr);
  }
  // Closes the recording; the records of the file afterwards.
  void Close() {
    if (HENHMETAFILE emf = CloseEnhMetaFile(dc)) DeleteEnhMetaFile(emf);
    dc = nullptr;
  }
  std::vector<std::vector<uint8_t>> Records(DWORD type) const {
    std::vector<unsigned char> bytes = nxtest::ReadFileBytes(path);
    std::vector<std::vector<uint8_t>> out;
    for (size_t off = 0; off + 8 <= bytes.size();) {
      uint32_t t, n;
      std::memcpy(&t, &bytes[off], 4);
      std::memcpy(&n, &bytes[off + 4], 4);
      if (n < 8 || off + n > bytes.size()) break;
      if (t == type || type == 0) out.emplace_back(bytes.begin() + off, bytes.begin() + off + n);
      off += n;
    }
    return out;
  }
};

// A white width x height 32-bpp top-down DIB section in a memory DC.
struct Canvas {
  int w, h;
  HDC dc = CreateCompatibleDC(nullptr);
  uint32_t *bits = nullptr;
  HBITMAP bm = nullptr;
  Canvas(int width, int height) : w(width), h(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *p = nullptr;
    bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t *>(p);
    if (bits) std::memset(bits, 0xFF, size_t(w) * h * 4);
    SelectObject(dc, bm);
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bm);
  }
  uint32_t At(int x, int y) const { return bits[size_t(y) * w + x] & 0xFFFFFF; }
  // Bounding box (right/bottom exclusive) of the pixels for which keep(pixel)
  // holds; left > right when there are none.
  template <class F>
  RECT Box(F keep) const {
    RECT r{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (keep(At(x, y))) {
          r.left = std::min<LONG>(r.left, x), r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1), r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
  RECT Ink() const {  // darker than mid grey
    return Box([](uint32_t p) { return ((p >> 8) & 0xFF) < 128; });
  }
  bool Blank() const { return Ink().right < 0; }
  void Clear() { std::memset(bits, 0xFF, size_t(w) * h * 4); }
};

}  // namespace textdc
