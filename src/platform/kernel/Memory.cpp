// Kernel helpers: MulDiv and global memory blocks.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/win32.h"

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  int64_t p = (int64_t)nNumber * nNumerator;
  int64_t d = nDenominator;
  if (d < 0) {
    p = -p;
    d = -d;
  }
  // Round half away from zero, as Windows does.
  int64_t q = p >= 0 ? (p + d / 2) / d : -((-p + d / 2) / d);
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return (int)q;
}

namespace {
// A global block is a header followed by the bytes; the handle is the byte
// pointer itself, so GMEM_FIXED and GMEM_MOVEABLE blocks behave alike.
struct BlockHeader {
  SIZE_T size;
  uint32_t magic;
  uint32_t locks;
};
constexpr uint32_t kBlockMagic = 0x4E58474D;  // "NXGM"
constexpr size_t kHeader = (sizeof(BlockHeader) + 15) / 16 * 16;

BlockHeader *HeaderOf(HGLOBAL h) {
  if (!h) return nullptr;
  auto *hdr = reinterpret_cast<BlockHeader *>(static_cast<char *>(h) - kHeader);
  return hdr->magic == kBlockMagic ? hdr : nullptr;
}
}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  char *p = static_cast<char *>(std::malloc(kHeader + (dwBytes ? dwBytes : 1)));
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto *hdr = reinterpret_cast<BlockHeader *>(p);
  hdr->size = dwBytes;
  hdr->magic = kBlockMagic;
  hdr->locks = 0;
  if (uFlags & GMEM_ZEROINIT) std::memset(p + kHeader, 0, dwBytes);
  return p + kHeader;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
  BlockHeader *hdr = HeaderOf(hMem);
  if (!hdr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGLOBAL n = GlobalAlloc(uFlags, dwBytes);
  if (!n) return nullptr;
  std::memcpy(n, hMem, hdr->size < dwBytes ? hdr->size : dwBytes);
  GlobalFree(hMem);
  return n;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
  BlockHeader *hdr = HeaderOf(hMem);
  if (!hdr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++hdr->locks;
  return hMem;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
  BlockHeader *hdr = HeaderOf(hMem);
  if (!hdr || hdr->locks == 0) return FALSE;
  return --hdr->locks != 0;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
  BlockHeader *hdr = HeaderOf(hMem);
  return hdr ? hdr->size : 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  if (!hMem) return nullptr;
  BlockHeader *hdr = HeaderOf(hMem);
  if (!hdr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return hMem;
  }
  hdr->magic = 0;
  std::free(hdr);
  return nullptr;
}
