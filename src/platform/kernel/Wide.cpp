#include "platform/kernel/Wide.h"

#include <algorithm>
#include <cstring>

namespace nx::wide {
namespace {

void AppendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += (char)c;
  } else if (c < 0x800) {
    out += (char)(0xC0 | (c >> 6));
    out += (char)(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += (char)(0xE0 | (c >> 12));
    out += (char)(0x80 | ((c >> 6) & 0x3F));
    out += (char)(0x80 | (c & 0x3F));
  } else {
    out += (char)(0xF0 | (c >> 18));
    out += (char)(0x80 | ((c >> 12) & 0x3F));
    out += (char)(0x80 | ((c >> 6) & 0x3F));
    out += (char)(0x80 | (c & 0x3F));
  }
}

std::string Encode(const char16_t *s, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

std::string ToUtf8(const std::u16string &s) { return Encode(s.data(), s.size()); }

std::u16string FromW(const WCHAR *s) {
  if (!s) return {};
  return std::u16string(reinterpret_cast<const char16_t *>(s));
}

std::string ToUtf8(const WCHAR *s) { return ToUtf8(FromW(s)); }

std::u16string FromUtf8(const std::string &s) {
  std::u16string out;
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char b = (unsigned char)s[i];
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      unsigned char t = (unsigned char)s[i + k];
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    if (!ok || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
      out += u'\uFFFD';
      i += 1;
      continue;
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += (char16_t)(0xD800 + (c >> 10));
      out += (char16_t)(0xDC00 + (c & 0x3FF));
    } else {
      out += (char16_t)c;
    }
  }
  return out;
}

bool EqualsIgnoreCase(const std::u16string &a, const std::u16string &b) {
  if (a.size() != b.size()) return false;
  auto low = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? (char16_t)(c + 32) : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (low(a[i]) != low(b[i])) return false;
  return true;
}

void CopyPadded(WCHAR *dst, size_t capacity, const std::u16string &s) {
  if (capacity == 0) return;
  size_t n = std::min(s.size(), capacity - 1);
  std::memset(dst, 0, capacity * sizeof(WCHAR));
  std::memcpy(dst, s.data(), n * sizeof(WCHAR));
}

void CopyField(WCHAR *dst, size_t capacity, const std::u16string &s) {
  size_t n = std::min(s.size(), capacity);
  std::memset(dst, 0, capacity * sizeof(WCHAR));
  std::memcpy(dst, s.data(), n * sizeof(WCHAR));
}

std::string FilePath(const WCHAR *s) {
  std::string p = ToUtf8(s);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

}  // namespace nx::wide
