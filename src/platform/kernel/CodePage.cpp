// Code page conversions through iconv. Single-byte and multi-byte code pages
// are addressed by their Windows number ("CP1252", "CP437", ...); UTF-8 is
// native. Invalid input becomes U+FFFD (or '?' going out) unless the caller
// asks for MB_ERR_INVALID_CHARS.
#include "platform/win32.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

UINT Resolve(UINT cp) {
  if (cp == CP_ACP) return GetACP();
  if (cp == CP_OEMCP) return GetOEMCP();
  return cp;
}

std::string IconvName(UINT cp) {
  if (cp == CP_UTF8) return "UTF-8";
  if (cp == 20127) return "ASCII";
  if (cp == 28591) return "ISO-8859-1";
  if (cp >= 28592 && cp <= 28605) return "ISO-8859-" + std::to_string(cp - 28590);
  return "CP" + std::to_string(cp);
}

// A code page named by the environment, when iconv knows it; otherwise the
// default (an unknown number would make every conversion fail).
UINT CodePageFromEnv(const char *name, UINT fallback) {
  const char *v = std::getenv(name);
  if (!v || !*v) return fallback;
  char *end = nullptr;
  unsigned long n = std::strtoul(v, &end, 10);
  if (*end != '\0' || n == 0 || n > 65535 || n == CP_ACP || n == CP_OEMCP) return fallback;
  iconv_t cd = iconv_open("UTF-16LE", IconvName(UINT(n)).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return fallback;
  iconv_close(cd);
  return static_cast<UINT>(n);
}

// Windows-1252 leaves five bytes unassigned and maps each to the C1 control
// of the same value; iconv refuses them. Whether v is one of the five.
bool Is1252Gap(unsigned v) { return v == 0x81 || v == 0x8D || v == 0x8F || v == 0x90 || v == 0x9D; }

// A single-byte code page decoded byte by byte: the UTF-16 unit of every
// byte, and whether iconv accepts it.
struct ByteTable {
  char16_t unit[256];
  bool valid[256];
};

// One iconv descriptor per direction and code page, opened once. iconv_t is
// not thread safe, so every conversion holds the table's lock.
struct Converters {
  std::mutex mu;
  std::unordered_map<uint64_t, iconv_t> open;
  // Decoding tables of single-byte code pages (null: none can be made).
  std::unordered_map<UINT, std::unique_ptr<ByteTable>> tables;
  ~Converters() {
    for (auto &[key, cd] : open)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  iconv_t Get(UINT cp, bool toWide) {
    uint64_t key = (uint64_t(cp) << 1) | (toWide ? 1 : 0);
    auto it = open.find(key);
    if (it != open.end()) return it->second;
    std::string name = IconvName(cp);
    iconv_t cd = toWide ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
    open.emplace(key, cd);
    return cd;
  }
};

Converters &Table() {
  static Converters t;
  return t;
}

int BadParam() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

// Code pages whose decoder maps every byte on its own. 1255 and 1258 are
// left out: their decoders join a letter and the marks after it into one
// precomposed character, which no table of single bytes can do.
bool ByteByByte(UINT cp) {
  return (cp >= 1250 && cp <= 1257 && cp != 1255) || cp == 874 || cp == 437 || cp == 850 || cp == 852 ||
         cp == 866 || cp == 20127 || (cp >= 28591 && cp <= 28605);
}

// The unit byte b of cp decodes to by itself: 1 when it does, 0 when iconv
// refuses it, -1 when it is no whole character or gives more than one unit.
int DecodeByte(iconv_t cd, unsigned b, char16_t *unit) {
  char in = char(b), out[8];
  char *src = &in, *dst = out;
  size_t left = 1, room = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1)) return errno == EILSEQ ? 0 : -1;
  iconv(cd, nullptr, nullptr, &dst, &room);
  if (dst - out != 2) return -1;
  *unit = char16_t(uint8_t(out[0]) | (uint8_t(out[1]) << 8));
  return 1;
}

// The table of cp, built once from iconv one byte at a time: null when
// iconv does not know the code page or a byte does not decode to one unit
// by itself. The caller holds the converters' lock.
const ByteTable *TableOf(Converters &t, UINT cp) {
  auto it = t.tables.find(cp);
  if (it != t.tables.end()) return it->second.get();
  std::unique_ptr<ByteTable> table;
  iconv_t cd = ByteByByte(cp) ? t.Get(cp, true) : reinterpret_cast<iconv_t>(-1);
  if (cd != reinterpret_cast<iconv_t>(-1)) {
    table = std::make_unique<ByteTable>();
    for (unsigned b = 0; b < 256 && table; ++b) {
      const int got = DecodeByte(cd, b, &table->unit[b]);
      if (got < 0) {
        table.reset();
        break;
      }
      // The gaps of 1252 stand for the C1 controls, as in the iconv path.
      table->valid[b] = got == 1 || (cp == 1252 && Is1252Gap(b));
      if (got == 0) table->unit[b] = char16_t(b);
    }
  }
  return t.tables.emplace(cp, std::move(table)).first->second.get();
}

// MultiByteToWideChar's answer through a table, one unit a byte; refused
// bytes become U+FFFD unless strict, and the checks come in iconv's order.
int TableConvert(const ByteTable &t, const char *in, size_t n, bool strict, LPWSTR out, int room) {
  for (size_t i = 0; strict && i < n; ++i)
    if (!t.valid[uint8_t(in[i])]) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  if (n > 0x7fffffff) return BadParam();
  if (room == 0) return static_cast<int>(n);
  if (n > size_t(room)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = uint8_t(in[i]);
    out[i] = t.valid[b] ? WCHAR(t.unit[b]) : WCHAR(0xFFFD);
  }
  return static_cast<int>(n);
}

// Runs iconv over the input; on an invalid sequence calls onBad, which
// either appends a replacement and returns the bytes to skip, or returns 0
// to fail the conversion.
template <typename OnBad>
bool Convert(iconv_t cd, const char *in, size_t inLen, std::string &out, OnBad onBad) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char *src = const_cast<char *>(in);
  size_t left = inLen;
  char buf[1024];
  while (left > 0) {
    char *dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, dst - buf);
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    size_t skip = onBad(src, left, out);
    if (skip == 0) return false;
    src += skip;
    left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char *dst = buf;
  size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buf, dst - buf);
  return true;
}

size_t WideLength(LPCWSTR s, int n) {
  if (n >= 0) return static_cast<size_t>(n);
  size_t len = 0;
  while (s[len]) ++len;
  return len + 1;  // the terminator is converted too
}

}  // namespace

UINT WINAPI GetACP() {
  static const UINT cp = CodePageFromEnv("NOXTREL_ACP", 1252);
  return cp;
}

UINT WINAPI GetOEMCP() {
  static const UINT cp = CodePageFromEnv("NOXTREL_OEMCP", 437);
  return cp;
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr))
    return BadParam();
  size_t inLen = cbMultiByte < 0 ? std::char_traits<char>::length(lpMultiByteStr) + 1 : size_t(cbMultiByte);
  std::string utf16;
  bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
  {
    Converters &t = Table();
    std::unique_lock lock(t.mu);
    if (const ByteTable *bytes = TableOf(t, Resolve(CodePage))) {
      lock.unlock();
      return TableConvert(*bytes, lpMultiByteStr, inLen, strict, lpWideCharStr, cchWideChar);
    }
    iconv_t cd = t.Get(Resolve(CodePage), true);
    if (cd == reinterpret_cast<iconv_t>(-1)) return BadParam();
    const bool cp1252 = Resolve(CodePage) == 1252;
    bool ok = Convert(cd, lpMultiByteStr, inLen, utf16, [&](const char *at, size_t, std::string &out) -> size_t {
      if (cp1252 && Is1252Gap(uint8_t(*at))) {
        out.push_back(*at);
        out.push_back('\0');
        return 1;
      }
      if (strict) return 0;
      out.append("\xFD\xFF", 2);  // U+FFFD, little endian
      return 1;
    });
    if (!ok) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  }
  size_t units = utf16.size() / 2;
  if (units > 0x7fffffff) return BadParam();
  if (cchWideChar == 0) return static_cast<int>(units);
  if (units > size_t(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < units; ++i)
    lpWideCharStr[i] = static_cast<WCHAR>(uint8_t(utf16[2 * i]) | (uint8_t(utf16[2 * i + 1]) << 8));
  return static_cast<int>(units);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr))
    return BadParam();
  size_t units = WideLength(lpWideCharStr, cchWideChar);
  std::string in(units * 2, '\0');
  for (size_t i = 0; i < units; ++i) {
    in[2 * i] = char(lpWideCharStr[i] & 0xff);
    in[2 * i + 1] = char(lpWideCharStr[i] >> 8);
  }
  UINT cp = Resolve(CodePage);
  std::string deflt = (lpDefaultChar && cp != CP_UTF8) ? std::string(lpDefaultChar) : std::string("?");
  if (deflt.empty()) deflt = "?";
  bool used = false;
  std::string out;
  {
    Converters &t = Table();
    std::lock_guard lock(t.mu);
    iconv_t cd = t.Get(cp, false);
    if (cd == reinterpret_cast<iconv_t>(-1)) return BadParam();
    Convert(cd, in.data(), in.size(), out, [&](const char *at, size_t left, std::string &o) -> size_t {
      if (cp == 1252 && left >= 2 && at[1] == 0 && Is1252Gap(uint8_t(at[0]))) {
        o.push_back(at[0]);
        return 2;
      }
      // An unmappable character or an unpaired surrogate: one replacement.
      used = true;
      o += cp == CP_UTF8 ? std::string("\xEF\xBF\xBD") : deflt;
      return left >= 2 ? 2 : left;
    });
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = used ? TRUE : FALSE;
  if (out.size() > 0x7fffffff) return BadParam();
  if (cbMultiByte == 0) return static_cast<int>(out.size());
  if (out.size() > size_t(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(out.begin(), out.end(), lpMultiByteStr);
  return static_cast<int>(out.size());
}

// Both convert a NUL-terminated string in place-sized buffers, as user32 does:
// the destination must hold as many characters as the source.
BOOL WINAPI OemToCharW(LPCSTR pSrc, LPWSTR pDst) {
  if (!pSrc || !pDst) return BadParam();
  size_t len = std::char_traits<char>::length(pSrc);
  if (len == 0) {
    pDst[0] = 0;
    return TRUE;
  }
  // Every OEM byte maps to one BMP character, so len + 1 units suffice.
  return MultiByteToWideChar(CP_OEMCP, 0, pSrc, int(len + 1), pDst, int(len + 1)) > 0;
}

BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst) {
  if (!pSrc || !pDst) return BadParam();
  size_t len = std::char_traits<char>::length(pSrc);
  std::vector<WCHAR> wide(len + 1);
  if (MultiByteToWideChar(CP_ACP, 0, pSrc, int(len + 1), wide.data(), int(len + 1)) <= 0) return FALSE;
  std::string out(len + 1, '\0');
  int n = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), -1, out.data(), int(out.size()), nullptr, nullptr);
  if (n <= 0) return FALSE;
  std::copy(out.begin(), out.begin() + n, pDst);
  return TRUE;
}
