// Bounds-checked record access and the salvage of damaged images.
#include "export/gtMetafileProcessorRecord.h"

#include <algorithm>

namespace nx {

bool TgtEmfRecord::Points(uint64_t off, uint64_t count, bool small, std::vector<POINT> *out) const {
  const uint64_t elem = small ? 4 : 8;
  if (!Fits(off, count, elem)) return false;
  out->resize(count);
  const uint8_t *q = p_ + off;
  for (uint64_t i = 0; i < count; ++i, q += elem) {
    if (small) {
      int16_t xy[2];
      std::memcpy(xy, q, 4);
      (*out)[i] = {xy[0], xy[1]};
    } else {
      int32_t xy[2];
      std::memcpy(xy, q, 8);
      (*out)[i] = {xy[0], xy[1]};
    }
  }
  return true;
}

bool TgtEmfRecord::Counts(uint64_t off, uint64_t count, std::vector<DWORD> *out) const {
  if (!Fits(off, count, 4)) return false;
  out->resize(count);
  if (count) std::memcpy(out->data(), p_ + off, 4 * count);
  return true;
}

namespace {

DWORD Get32(const BYTE *p) {
  DWORD v;
  std::memcpy(&v, p, 4);
  return v;
}

void Put32(std::vector<BYTE> &b, size_t at, DWORD v) { std::memcpy(&b[at], &v, 4); }

// The oldest header form ends after szlMillimeters.
constexpr size_t kMinHeader = offsetof(ENHMETAHEADER, cbPixelFormat);

}  // namespace

std::vector<BYTE> SalvageEnhMetaFileBits(const BYTE *data, size_t size, std::string *damage) {
  damage->clear();
  if (!data || size < kMinHeader) {
    *damage = "too short for a metafile header";
    return {};
  }
  ENHMETAHEADER h{};
  std::memcpy(&h, data, kMinHeader);
  if (h.iType != EMR_HEADER || h.dSignature != ENHMETA_SIGNATURE) {
    *damage = "not an enhanced metafile";
    return {};
  }
  if (h.nSize < kMinHeader || h.nSize % 4 || h.nSize > size) {
    *damage = "the header record size is wrong";
    return {};
  }
  // Records are looked for up to nBytes when it is believable, else to the
  // end of the data.
  size_t end = size;
  if (h.nBytes >= h.nSize && h.nBytes % 4 == 0 && h.nBytes <= size) end = h.nBytes;
  else if (h.nBytes > size) *damage = "the data end before nBytes (truncated)";
  else *damage = "nBytes is not a valid size";
  size_t at = h.nSize;
  DWORD records = 1;
  bool eof = false;
  while (at + sizeof(EMR) <= end) {
    DWORD type = Get32(data + at), n = Get32(data + at + 4);
    std::string why;
    if (n < sizeof(EMR) || n % 4) why = "a record size that is not a multiple of 4";
    else if (n > end - at) why = "a record that reaches past the end of the data";
    else if (type == EMR_HEADER) why = "a second metafile header";
    if (!why.empty()) {
      *damage += (damage->empty() ? "" : "; ") + why + " (" + EmfRecordName(type) + " at byte " + std::to_string(at) + ")";
      break;
    }
    at += n;
    ++records;
    if (type == EMR_EOF) {
      eof = true;
      break;
    }
  }
  // A record count that does not match is no damage: readers walk the
  // records by their sizes.
  // What follows nBytes is dropped, as the platform drops it.
  if (eof && damage->empty() && h.nHandles > 0 && h.nBytes == at) return std::vector<BYTE>(data, data + at);
  if (damage->empty()) {
    if (!eof) *damage = "no end-of-file record";
    else if (h.nHandles == 0) *damage = "nHandles is 0";
    else *damage = "nBytes does not end at the end-of-file record";
  }
  std::vector<BYTE> out(data, data + at);
  if (!eof) {
    EMREOF e{{EMR_EOF, sizeof(EMREOF)}, 0, sizeof(EMREOF) - 4, sizeof(EMREOF)};
    const BYTE *q = reinterpret_cast<const BYTE *>(&e);
    out.insert(out.end(), q, q + sizeof e);
    ++records;
  }
  Put32(out, offsetof(ENHMETAHEADER, nBytes), (DWORD)out.size());
  Put32(out, offsetof(ENHMETAHEADER, nRecords), records);
  if (h.nHandles == 0) {
    WORD one = 1;
    std::memcpy(&out[offsetof(ENHMETAHEADER, nHandles)], &one, 2);
  }
  return out;
}

std::string EmfRecordName(DWORD type) {
  static const char *const names[] = {
      nullptr, "HEADER", "POLYBEZIER", "POLYGON", "POLYLINE", "POLYBEZIERTO", "POLYLINETO",
      "POLYPOLYLINE", "POLYPOLYGON", "SETWINDOWEXTEX", "SETWINDOWORGEX", "SETVIEWPORTEXTEX",
      "SETVIEWPORTORGEX", "SETBRUSHORGEX", "EOF", "SETPIXELV", "SETMAPPERFLAGS", "SETMAPMODE",
      "SETBKMODE", "SETPOLYFILLMODE", "SETROP2", "SETSTRETCHBLTMODE", "SETTEXTALIGN",
      "SETCOLORADJUSTMENT", "SETTEXTCOLOR", "SETBKCOLOR", "OFFSETCLIPRGN", "MOVETOEX",
      "SETMETARGN", "EXCLUDECLIPRECT", "INTERSECTCLIPRECT", "SCALEVIEWPORTEXTEX",
      "SCALEWINDOWEXTEX", "SAVEDC", "RESTOREDC", "SETWORLDTRANSFORM", "MODIFYWORLDTRANSFORM",
      "SELECTOBJECT", "CREATEPEN", "CREATEBRUSHINDIRECT", "DELETEOBJECT", "ANGLEARC", "ELLIPSE",
      "RECTANGLE", "ROUNDRECT", "ARC", "CHORD", "PIE", "SELECTPALETTE", "CREATEPALETTE",
      "SETPALETTEENTRIES", "RESIZEPALETTE", "REALIZEPALETTE", "EXTFLOODFILL", "LINETO", "ARCTO",
      "POLYDRAW", "SETARCDIRECTION", "SETMITERLIMIT", "BEGINPATH", "ENDPATH", "CLOSEFIGURE",
      "FILLPATH", "STROKEANDFILLPATH", "STROKEPATH", "FLATTENPATH", "WIDENPATH",
      "SELECTCLIPPATH", "ABORTPATH", nullptr, "GDICOMMENT", "FILLRGN", "FRAMERGN", "INVERTRGN",
      "PAINTRGN", "EXTSELECTCLIPRGN", "BITBLT", "STRETCHBLT", "MASKBLT", "PLGBLT",
      "SETDIBITSTODEVICE", "STRETCHDIBITS", "EXTCREATEFONTINDIRECTW", "EXTTEXTOUTA",
      "EXTTEXTOUTW", "POLYBEZIER16", "POLYGON16", "POLYLINE16", "POLYBEZIERTO16",
      "POLYLINETO16", "POLYPOLYLINE16", "POLYPOLYGON16", "POLYDRAW16", "CREATEMONOBRUSH",
      "CREATEDIBPATTERNBRUSHPT", "EXTCREATEPEN", "POLYTEXTOUTA", "POLYTEXTOUTW", "SETICMMODE"};
  if (type < std::size(names) && names[type]) return names[type];
  return "record " + std::to_string(type);
}

}  // namespace nx
