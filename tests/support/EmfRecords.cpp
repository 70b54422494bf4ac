#include "support/EmfRecords.h"

#include <gtest/gtest.h>

namespace nxtest {

std::u16string EmfRecord::Text() const {
  const auto rec = As<EMREXTTEXTOUTW>();
  std::u16string s(rec.emrtext.nChars, u'\0');
  if (rec.emrtext.offString + 2 * s.size() <= bytes.size())
    std::memcpy(s.data(), bytes.data() + rec.emrtext.offString, 2 * s.size());
  return s;
}

std::vector<EmfRecord> SplitEmf(const std::vector<uint8_t> &b) {
  std::vector<EmfRecord> out;
  for (size_t at = 0; at + 8 <= b.size();) {
    DWORD t, n;
    std::memcpy(&t, &b[at], 4);
    std::memcpy(&n, &b[at + 4], 4);
    if (n < 8 || at + n > b.size()) break;
    out.push_back({t, std::vector<uint8_t>(b.begin() + at, b.begin() + at + n)});
    at += n;
  }
  return out;
}

std::vector<EmfRecord> EnumerateEmf(HENHMETAFILE h) {
  std::vector<EmfRecord> out;
  auto proc = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
    auto *v = reinterpret_cast<std::vector<EmfRecord> *>(p);
    auto *b = reinterpret_cast<const uint8_t *>(r);
    v->push_back({r->iType, std::vector<uint8_t>(b, b + r->nSize)});
    return 1;
  };
  EnumEnhMetaFile(nullptr, h, proc, &out, nullptr);
  return out;
}

std::vector<EmfRecord> ReadEmfFile(const std::string &path) {
  std::u16string name(path.begin(), path.end());
  HENHMETAFILE h = GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(name.c_str()));
  EXPECT_NE(h, nullptr) << path;
  if (!h) return {};
  std::vector<EmfRecord> out = EnumerateEmf(h);
  DeleteEnhMetaFile(h);
  return out;
}

}  // namespace nxtest
