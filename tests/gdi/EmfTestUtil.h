// Helpers shared by the metafile tests: records of an image, field access.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "support/EmfRecords.h"

namespace emftest {

using Rec = nxtest::EmfRecord;

inline std::vector<uint8_t> Bits(HENHMETAFILE h) {
  UINT n = GetEnhMetaFileBits(h, 0, nullptr);
  std::vector<uint8_t> b(n);
  if (n) GetEnhMetaFileBits(h, n, b.data());
  return b;
}

inline std::vector<Rec> Split(const std::vector<uint8_t> &b) { return nxtest::SplitEmf(b); }
inline std::vector<Rec> Enumerate(HENHMETAFILE h) { return nxtest::EnumerateEmf(h); }

inline std::vector<DWORD> Types(const std::vector<Rec> &recs) {
  std::vector<DWORD> t;
  for (auto &r : recs) t.push_back(r.type);
  return t;
}

template <class T>
T As(const Rec &r) {
  T v{};
  std::memcpy(&v, r.bytes.data(), std::min(sizeof v, r.bytes.size()));
  return v;
}

inline void Put32(std::vector<uint8_t> &b, size_t at, DWORD v) { std::memcpy(&b[at], &v, 4); }
inline DWORD Get32(const std::vector<uint8_t> &b, size_t at) {
  DWORD v;
  std::memcpy(&v, &b[at], 4);
  return v;
}

}  // namespace emftest

namespace emftest {

// Builds a metafile image by hand, record by record, as another program
// might write it: the header (reference device 1920 x 1440 px over
// 508 x 381 mm) and EOF are added, sizes and counts filled in.
class EmfBuilder {
 public:
  EmfBuilder(RECTL frame, WORD handles) : frame_(frame), handles_(handles) {}
  // A record from its fields after iType/nSize (32-bit words).
  EmfBuilder &Add(DWORD type, std::vector<DWORD> fields) {
    std::vector<uint8_t> b(4 * fields.size());
    if (!fields.empty()) std::memcpy(b.data(), fields.data(), b.size());
    return AddBytes(type, b);
  }
  EmfBuilder &AddBytes(DWORD type, std::vector<uint8_t> body) {
    body.resize((body.size() + 3) & ~size_t{3}, 0);
    std::vector<uint8_t> r(8 + body.size());
    DWORD head[2] = {type, (DWORD)r.size()};
    std::memcpy(r.data(), head, 8);
    if (!body.empty()) std::memcpy(r.data() + 8, body.data(), body.size());
    recs_.push_back(std::move(r));
    return *this;
  }
  std::vector<uint8_t> Image() const {
    ENHMETAHEADER h{};
    h.iType = EMR_HEADER;
    h.nSize = sizeof h;
    h.rclBounds = {0, 0, 479, 359};
    h.rclFrame = frame_;
    h.dSignature = ENHMETA_SIGNATURE;
    h.nVersion = 0x10000;
    h.nHandles = handles_;
    h.szlDevice = {1920, 1440};
    h.szlMillimeters = {508, 381};
    h.szlMicrometers = {508000, 381000};
    std::vector<uint8_t> out(sizeof h);
    for (auto &r : recs_) out.insert(out.end(), r.begin(), r.end());
    EMREOF eof{{EMR_EOF, sizeof(EMREOF)}, 0, 16, sizeof(EMREOF)};
    const uint8_t *e = reinterpret_cast<const uint8_t *>(&eof);
    out.insert(out.end(), e, e + sizeof eof);
    h.nBytes = (DWORD)out.size();
    h.nRecords = (DWORD)recs_.size() + 2;
    std::memcpy(out.data(), &h, sizeof h);
    return out;
  }

 private:
  RECTL frame_;
  WORD handles_;
  std::vector<std::vector<uint8_t>> recs_;
};

// Appends raw values to a byte body.
template <class T>
void Append(std::vector<uint8_t> &b, const T &v) {
  const uint8_t *p = reinterpret_cast<const uint8_t *>(&v);
  b.insert(b.end(), p, p + sizeof v);
}

}  // namespace emftest

namespace emftest {

// A page written by hand with most record kinds a foreign writer uses
// (32- and 16-bit polys, bitmaps, regions, paths, text, transforms), in a
// 480 x 360 reference-pixel frame (12700 x 9525 hundredths of a mm).
std::vector<uint8_t> ForeignPage();

}  // namespace emftest

namespace emftest {

// A test scene through the GDI drawing calls, in a 480 x 360 pixel page:
// background, lines, rectangles, ellipses, polygons, hatches, a clipped
// area, a stretched DIB and a line of text.
void DrawScene(HDC dc);

// A 480 x 360 32-bpp top-down DIB section selected into a memory DC,
// cleared to white.
struct Canvas {
  Canvas(int w = 480, int h = 360);
  ~Canvas();
  uint32_t At(int x, int y) const { return px[(size_t)y * w + x] & 0xFFFFFF; }
  int w, h;
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t *px = nullptr;
};

}  // namespace emftest
