// The EMR_EXTTEXTOUTW record as GDI writes it, and the bounds GDI estimates
// for a line of text. Pure functions: the metafile DC appends the bytes.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <vector>

namespace nx::text {

struct TextRecordInput {
  RECTL bounds{0, 0, -1, -1};  // device units
  DWORD graphicsMode = 1;      // GM_COMPATIBLE
  float exScale = 0, eyScale = 0;
  POINTL reference{};
  UINT options = 0;            // ETO_* as given (ETO_NO_RECT is never written)
  const RECT *rect = nullptr;  // opaque / clip rectangle; {0,0,-1,-1} when null
  const WCHAR *text = nullptr;
  size_t count = 0;
  const INT *dx = nullptr;     // count advances, or 2 * count with ETO_PDY
};

// The whole record, iType and nSize included.
std::vector<uint8_t> BuildExtTextOutRecord(const TextRecordInput &in);
// The same written in place: the record's size, and the record into `out`
// (that many bytes, 4-aligned), every byte including the padding.
size_t ExtTextOutRecordSize(const TextRecordInput &in);
void WriteExtTextOutRecord(const TextRecordInput &in, uint8_t *out);

// GDI's estimate of the box a line covers: width = the sum of the advances,
// height = the font's cell height, placed by the text alignment.
RECTL EstimateTextBounds(LONG x, LONG y, long width, LONG height, LONG descent, UINT align);

}  // namespace nx::text
