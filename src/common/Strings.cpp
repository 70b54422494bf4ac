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

namespace {

// The characters of Windows-1252 codes 0x80 .. 0x9F; 0 marks the five codes
// the code page leaves unassigned, which stand for the C1 controls of the
// same number.
constexpr char16_t k1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char WideUnitTo1252(WCHAR c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  if (c <= 0x9F) return k1252High[c - 0x80] == 0 ? static_cast<char>(c) : '?';
  for (unsigned i = 0; i < 32; ++i)
    if (k1252High[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

std::string WideTo1252(const WString &s) {
  std::string out;
  WideTo1252(s, out);
  return out;
}

void WideTo1252(const WString &s, std::string &out) {
  out.resize(s.size());
  for (size_t i = 0; i < s.size(); ++i) out[i] = WideUnitTo1252(s[i]);
}

void CopyToDest(char *dest, const std::string &ansi) {
  if (!dest) return;
  std::memcpy(dest, ansi.c_str(), ansi.size() + 1);
}

void CopyToDest(char *dest, const WString &s) { CopyToDest(dest, WideToAnsi(s)); }

}  // namespace nx
