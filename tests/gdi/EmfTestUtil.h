// Helpers shared by the metafile tests: records of an image, field access.
#pragma once

#include <cstring>
#include <vector>

#include "platform/win32.h"

namespace emftest {

struct Rec {
  DWORD type;
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> Bits(HENHMETAFILE h) {
  UINT n = GetEnhMetaFileBits(h, 0, nullptr);
  std::vector<uint8_t> b(n);
  if (n) GetEnhMetaFileBits(h, n, b.data());
  return b;
}

// The records as EnumEnhMetaFile hands them out (no DC).
inline std::vector<Rec> Enumerate(HENHMETAFILE h) {
  std::vector<Rec> out;
  auto proc = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
    auto *v = reinterpret_cast<std::vector<Rec> *>(p);
    auto *b = reinterpret_cast<const uint8_t *>(r);
    v->push_back({r->iType, std::vector<uint8_t>(b, b + r->nSize)});
    return 1;
  };
  EnumEnhMetaFile(nullptr, h, proc, &out, nullptr);
  return out;
}

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
