// Metafiles as data: loading and saving files, copying images in and out,
// the header and the description, and comments recorded on metafile DCs.
// Every image that enters goes through ValidateEmf; what follows nBytes is
// dropped.
#include <cstdio>
#include <limits>

#include "platform/kernel/Wide.h"
#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

namespace {

EnhMetaFileObj *LookupEmf(HENHMETAFILE h) {
  auto *o = Lookup<EnhMetaFileObj>(h, Kind::EnhMetaFile);
  if (!o) SetLastError(ERROR_INVALID_HANDLE);
  return o;
}

// A validated copy of an image, or NULL with ERROR_INVALID_DATA.
HENHMETAFILE FromBytes(const uint8_t *data, size_t size) {
  const char *why = nullptr;
  if (!ValidateEmf(data, size, &why)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  DWORD nBytes;
  std::memcpy(&nBytes, data + offsetof(ENHMETAHEADER, nBytes), sizeof nBytes);
  return MakeEnhMetaFile(std::vector<uint8_t>(data, data + nBytes));
}

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *out) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && (unsigned long)size <= std::numeric_limits<DWORD>::max() &&
       std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out->resize((size_t)size);
    ok = std::fread(out->data(), 1, out->size(), f) == out->size();
  }
  std::fclose(f);
  return ok;
}

bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// The header record's description, or false when there is none or its
// offset and length do not lie inside the header record.
bool Description(const EnhMetaFileObj &m, const uint8_t **text, size_t *units) {
  const ENHMETAHEADER *h = m.Header();
  if (h->nSize < offsetof(ENHMETAHEADER, szlDevice)) return false;
  uint64_t off = h->offDescription, n = h->nDescription;
  if (!n || off < offsetof(ENHMETAHEADER, szlDevice) || off + 2 * n > h->nSize) return false;
  *text = m.bytes.data() + off;
  *units = (size_t)n;
  return true;
}

}  // namespace

}  // namespace nx::gdi

using namespace nx::gdi;

HENHMETAFILE WINAPI CopyEnhMetaFileW(HENHMETAFILE hEnh, LPCWSTR lpFileName) {
  EnhMetaFileObj *src = LookupEmf(hEnh);
  if (!src) return nullptr;
  if (lpFileName) {
    std::string path = nx::wide::FilePath(lpFileName);
    if (path.empty() || !WriteWholeFile(path, src->bytes)) {
      SetLastError(path.empty() ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
      return nullptr;
    }
  }
  return MakeEnhMetaFile(src->bytes);
}

HENHMETAFILE WINAPI GetEnhMetaFileW(LPCWSTR lpName) {
  std::string path = nx::wide::FilePath(lpName);
  std::vector<uint8_t> bytes;
  if (path.empty() || !ReadWholeFile(path, &bytes)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return FromBytes(bytes.data(), bytes.size());
}

UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, LPBYTE lpData) {
  EnhMetaFileObj *m = LookupEmf(hEMF);
  if (!m) return 0;
  UINT size = (UINT)m->bytes.size();
  if (!lpData) return size;
  // A partial image is of no use to anyone: a short buffer fails.
  if (nSize < size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpData, m->bytes.data(), size);
  return size;
}

HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT nSize, const BYTE *pb) {
  if (!pb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return FromBytes(pb, nSize);
}

UINT WINAPI GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader) {
  EnhMetaFileObj *m = LookupEmf(hemf);
  if (!m) return 0;
  UINT recSize = m->Header()->nSize;
  if (!lpEnhMetaHeader) return recSize;
  UINT n = std::min(nSize, recSize);
  std::memcpy(lpEnhMetaHeader, m->bytes.data(), n);
  // An older, shorter header: the fields it lacks read as zero.
  if (n < nSize && n < sizeof(ENHMETAHEADER))
    std::memset(reinterpret_cast<uint8_t *>(lpEnhMetaHeader) + n, 0,
                std::min<size_t>(nSize, sizeof(ENHMETAHEADER)) - n);
  return n;
}

UINT WINAPI GetEnhMetaFileDescriptionW(HENHMETAFILE hemf, UINT cchBuffer, LPWSTR lpDescription) {
  EnhMetaFileObj *m = LookupEmf(hemf);
  if (!m) return GDI_ERROR;
  const uint8_t *text = nullptr;
  size_t units = 0;
  if (!Description(*m, &text, &units)) return 0;
  if (!lpDescription) return (UINT)units;
  size_t n = std::min<size_t>(cchBuffer, units);
  std::memcpy(lpDescription, text, 2 * n);
  return (UINT)n;
}

BOOL WINAPI GdiComment(HDC hdc, UINT nSize, const BYTE *lpData) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return FALSE;
  if ((nSize && !lpData) || nSize > 0x7FFFFFF0u) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!dc->rec) return TRUE;  // other devices ignore comments
  auto *rec = reinterpret_cast<EMRGDICOMMENT *>(
      dc->rec->Append(EMR_GDICOMMENT, offsetof(EMRGDICOMMENT, Data) + nSize));
  rec->cbData = nSize;
  if (nSize) std::memcpy(rec->Data, lpData, nSize);
  return TRUE;
}
