#include "platform/text/TextRecord.h"

#include <bit>
#include <cstring>

namespace nx::text {
namespace {

constexpr size_t kOffString = 76;

// Little-endian fields, whatever the host's order (one store on a
// little-endian host).
void Put32(uint8_t *r, size_t off, uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(r + off, &v, 4);
  } else {
    for (int i = 0; i < 4; ++i) r[off + i] = uint8_t(v >> (8 * i));
  }
}
void PutRect(uint8_t *r, size_t off, LONG l, LONG t, LONG rt, LONG b) {
  Put32(r, off, uint32_t(l));
  Put32(r, off + 4, uint32_t(t));
  Put32(r, off + 8, uint32_t(rt));
  Put32(r, off + 12, uint32_t(b));
}
void PutFloat(uint8_t *r, size_t off, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  Put32(r, off, v);
}

size_t Chars(const TextRecordInput &in) { return in.text ? in.count : 0; }
size_t OffDx(size_t n) { return kOffString + 2 * ((n + 1) & ~size_t(1)); }
size_t DxValues(const TextRecordInput &in, size_t n) { return (in.options & ETO_PDY) ? 2 * n : n; }

}  // namespace

size_t ExtTextOutRecordSize(const TextRecordInput &in) {
  const size_t n = Chars(in);
  return OffDx(n) + 4 * DxValues(in, n);
}

void WriteExtTextOutRecord(const TextRecordInput &in, uint8_t *r) {
  const size_t n = Chars(in), offDx = OffDx(n), dxValues = DxValues(in, n);
  Put32(r, 0, EMR_EXTTEXTOUTW);
  Put32(r, 4, uint32_t(offDx + 4 * dxValues));
  PutRect(r, 8, in.bounds.left, in.bounds.top, in.bounds.right, in.bounds.bottom);
  Put32(r, 24, in.graphicsMode);
  PutFloat(r, 28, in.exScale);
  PutFloat(r, 32, in.eyScale);
  Put32(r, 36, uint32_t(in.reference.x));
  Put32(r, 40, uint32_t(in.reference.y));
  Put32(r, 44, uint32_t(n));
  Put32(r, 48, uint32_t(kOffString));
  // Every reader takes the rectangle as present: always write it.
  Put32(r, 52, in.options & ~ETO_NO_RECT);
  if (in.rect) PutRect(r, 56, in.rect->left, in.rect->top, in.rect->right, in.rect->bottom);
  else PutRect(r, 56, 0, 0, -1, -1);
  Put32(r, 72, uint32_t(offDx));
  constexpr bool kLittle = std::endian::native == std::endian::little;
  if (kLittle && sizeof(WCHAR) == 2) {
    if (n) std::memcpy(r + kOffString, in.text, 2 * n);
  } else {
    for (size_t i = 0; i < n; ++i) {
      r[kOffString + 2 * i] = uint8_t(in.text[i] & 0xFF);
      r[kOffString + 2 * i + 1] = uint8_t(uint16_t(in.text[i]) >> 8);
    }
  }
  for (size_t i = kOffString + 2 * n; i < offDx; ++i) r[i] = 0;  // an odd count's padding unit
  if (kLittle && in.dx) {
    if (dxValues) std::memcpy(r + offDx, in.dx, 4 * dxValues);
  } else {
    for (size_t i = 0; i < dxValues; ++i) Put32(r, offDx + 4 * i, in.dx ? uint32_t(in.dx[i]) : 0);
  }
}

std::vector<uint8_t> BuildExtTextOutRecord(const TextRecordInput &in) {
  std::vector<uint8_t> r(ExtTextOutRecordSize(in));
  WriteExtTextOutRecord(in, r.data());
  return r;
}

RECTL EstimateTextBounds(LONG x, LONG y, long w, LONG h, LONG descent, UINT align) {
  RECTL b{};
  switch (align & TA_CENTER) {
    case TA_CENTER: b.left = LONG(x - w / 2 - 1); b.right = LONG(x + w / 2 + 1); break;
    case TA_RIGHT: b.left = LONG(x - w - 1); b.right = x; break;
    default: b.left = x; b.right = LONG(x + w + 1); break;
  }
  switch (align & TA_BASELINE) {
    case TA_BASELINE: b.top = y - h - 1; b.bottom = y + descent + 1; break;
    case TA_BOTTOM: b.top = y - h - 1; b.bottom = y; break;
    default: b.top = y; b.bottom = y + h + 1; break;
  }
  return b;
}

}  // namespace nx::text
