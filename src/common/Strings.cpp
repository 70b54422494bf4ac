#include "common/Strings.h"

#include <cstring>

namespace nx {

WString AnsiToWide(const char *s, UINT codePage) {
  if (!s || !*s) return {};
  int len = static_cast<int>(std::strlen(s));
  int n = MultiByteToWideChar(codePage, 0, s, len, nullptr, 0);
  if (n <= 0) return {};
  WString out(static_cast<size_t>(n), 0);
  MultiByteToWideChar(codePage, 0, s, len, out.data(), n);
  return out;
}

WString AsciiToWide(const std::string &s) { return WString(s.begin(), s.end()); }

std::string WideToAnsi(const WString &s, UINT codePage) {
  if (s.empty()) return {};
  int len = static_cast<int>(s.size());
  int n = WideCharToMultiByte(codePage, 0, s.data(), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, s.data(), len, out.data(), n, nullptr, nullptr);
  return out;
}

void CopyToDest(char *dest, const std::string &ansi) {
  if (!dest) return;
  std::memcpy(dest, ansi.c_str(), ansi.size() + 1);
}

void CopyToDest(char *dest, const WString &s) { CopyToDest(dest, WideToAnsi(s)); }

}  // namespace nx
