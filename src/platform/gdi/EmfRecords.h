// Reading one metafile record safely, and the record handlers of
// PlayEnhMetaFileRecord. A record is only trusted for its nSize bytes:
// every count, offset and size field is checked against them before use,
// and nothing is read through a misaligned pointer.
#pragma once

#include <vector>

#include "platform/gdi/EmfPlayer.h"

namespace nx::gdi {

class RecordView {
 public:
  explicit RecordView(const ENHMETARECORD *r)
      : p_(reinterpret_cast<const uint8_t *>(r)), type_(r->iType), size_(r->nSize) {}
  DWORD Type() const { return type_; }
  DWORD Size() const { return size_; }
  const uint8_t *At(size_t off) const { return p_ + off; }
  // n elements of elem bytes at off lie inside the record.
  bool Fits(uint64_t off, uint64_t n, uint64_t elem) const {
    return off <= size_ && n * elem <= size_ - off;
  }
  // The record's fixed part (at least `need` bytes present); fields past the
  // record's end read as zero.
  template <class T>
  bool Read(T *out, size_t need = sizeof(T)) const {
    if (size_ < need) return false;
    *out = T{};
    std::memcpy(out, p_, std::min<size_t>(sizeof(T), size_));
    return true;
  }
  DWORD U32(size_t off) const {
    DWORD v = 0;
    if (Fits(off, 1, 4)) std::memcpy(&v, p_ + off, 4);
    return v;
  }

 private:
  const uint8_t *p_;
  DWORD type_, size_;
};

// What a handler works on.
struct Player {
  HDC hdc;
  HANDLETABLE *ht;
  UINT count;
  EmfPlayback *pb;  // NULL when a record is played on its own
  // Where coordinate-space records go: the shadow during playback.
  HDC Space() const { return pb ? pb->Shadow() : hdc; }
  void SpaceChanged() const {
    if (pb) pb->Sync();
  }
};

// The object a record's handle index names: a stock object (high bit) or
// an entry of the handle table; NULL when there is none.
HGDIOBJ ResolveObject(const Player &p, DWORD index);

// Points of a record: 16-bit (POINTS) or 32-bit (POINTL) pairs at off.
bool ReadPoints(const RecordView &r, size_t off, uint64_t n, bool small, std::vector<POINT> *out);
// A record's 1-bpp DIB as a monochrome bitmap of its bit values (1 = set),
// whatever its colour table says; NULL when it is not a sound 1-bpp DIB.
HBITMAP RecordMask(const RecordView &r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits);

// Handlers: true when the record was well formed (and played).
bool PlayShape(const Player &p, const RecordView &r);    // lines, shapes, polys, paths
bool PlayBitmap(const Player &p, const RecordView &r);   // blits and DIBs
bool PlayRegion(const Player &p, const RecordView &r);   // clip and fill regions
bool PlayText(const Player &p, const RecordView &r);     // text records
bool IsShapeRecord(DWORD type);
bool IsBitmapRecord(DWORD type);
bool IsRegionRecord(DWORD type);
bool IsTextRecord(DWORD type);

}  // namespace nx::gdi
