// Reading metafile records for the interpreter. A record is trusted for its
// nSize bytes only: every fixed part, count, offset and size is checked
// against them before anything is read, and nothing is read through a
// misaligned pointer. Images that other programs wrote can also be salvaged
// up to the first damaged record.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace nx {

class TgtEmfRecord {
 public:
  explicit TgtEmfRecord(const ENHMETARECORD *r)
      : p_(reinterpret_cast<const uint8_t *>(r)), type_(r->iType), size_(r->nSize) {}
  DWORD Type() const { return type_; }
  DWORD Size() const { return size_; }
  // count elements of elem bytes at off lie inside the record.
  bool Fits(uint64_t off, uint64_t count, uint64_t elem) const {
    return off <= size_ && (elem == 0 || count <= (size_ - off) / elem);
  }
  // The record's fixed part; false (out untouched) when the record is
  // shorter than the structure.
  template <class T>
  bool Read(T *out) const {
    if (size_ < sizeof(T)) return false;
    std::memcpy(out, p_, sizeof(T));
    return true;
  }
  // A 32-bit field; false when it lies outside the record.
  bool U32(uint64_t off, DWORD *out) const {
    if (!Fits(off, 1, 4)) return false;
    std::memcpy(out, p_ + off, 4);
    return true;
  }
  // count points at off: POINTS pairs when small, else POINTL pairs.
  bool Points(uint64_t off, uint64_t count, bool small, std::vector<POINT> *out) const;
  // count 32-bit values at off.
  bool Counts(uint64_t off, uint64_t count, std::vector<DWORD> *out) const;
  // count bytes at off, or NULL when they do not fit.
  const uint8_t *Bytes(uint64_t off, uint64_t count) const { return Fits(off, count, 1) ? p_ + off : nullptr; }

 private:
  const uint8_t *p_;
  DWORD type_, size_;
};

// The records of a metafile image up to the first damaged one, made into a
// sound image: the damage and everything after it are cut, an end-of-file
// record closes the image and the header's byte and record counts are set
// to match. Returns the image unchanged (and leaves damage empty) when it is
// sound; an empty vector when not even its header can be read. damage says
// what was wrong and where.
std::vector<BYTE> SalvageEnhMetaFileBits(const BYTE *data, size_t size, std::string *damage);

// The name of a record type ("EXTTEXTOUTW"), or "record 123".
std::string EmfRecordName(DWORD type);

}  // namespace nx
