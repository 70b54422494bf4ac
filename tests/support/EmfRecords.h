// The records of a metafile, as the tests read them back: from a file, from
// a handle through EnumEnhMetaFile, or from an image's bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace nxtest {

struct EmfRecord {
  DWORD type;
  std::vector<uint8_t> bytes;

  // The record as its structure (zero-filled beyond a short record).
  template <class T>
  T As() const {
    T v{};
    std::memcpy(&v, bytes.data(), std::min(sizeof v, bytes.size()));
    return v;
  }
  // A field at a byte offset (zero beyond the record).
  template <class T>
  T At(size_t off) const {
    T v{};
    if (off + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + off, sizeof v);
    return v;
  }
  // The UTF-16 string of an EMR_EXTTEXTOUTW record.
  std::u16string Text() const;
};

// The records of a metafile image's bytes, up to the first unsound size.
std::vector<EmfRecord> SplitEmf(const std::vector<uint8_t> &bytes);
// The records as EnumEnhMetaFile hands them out (no DC).
std::vector<EmfRecord> EnumerateEmf(HENHMETAFILE h);
// The records of a metafile file; none, and a failed expectation, when the
// file does not open.
std::vector<EmfRecord> ReadEmfFile(const std::string &path);

}  // namespace nxtest
