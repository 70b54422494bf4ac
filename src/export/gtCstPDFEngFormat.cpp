#include "export/gtCstPDFEngFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace nx::pdf {

namespace {

const char kHex[] = "0123456789ABCDEF";

void AppendChars(std::string &out, const char *b, const char *e) { out.append(b, static_cast<size_t>(e - b)); }

// Offset text: sign, hours, separator, minutes, and the closing text.
std::string OffsetText(int minutes, const char *sep, const char *tail) {
  const char sign = minutes < 0 ? '-' : '+';
  const int a = std::abs(minutes);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%c%02d%s%02d%s", sign, a / 60, sep, a % 60, tail);
  return buf;
}

int MinutesBetween(const SYSTEMTIME &local, const SYSTEMTIME &utc) {
  // The two differ by less than a day; days are compared through the date.
  auto days = [](const SYSTEMTIME &t) {
    // Days since a fixed epoch (proleptic Gregorian), enough to order two dates.
    int y = t.wYear, m = t.wMonth;
    if (m <= 2) {
      --y;
      m += 12;
    }
    return 365L * y + y / 4 - y / 100 + y / 400 + (153L * (m - 3) + 2) / 5 + t.wDay;
  };
  const long d = days(local) - days(utc);
  return static_cast<int>(d * 1440 + (local.wHour - utc.wHour) * 60 + (local.wMinute - utc.wMinute));
}

// |v| * 10^4 rounded to the nearest integer, when that can be told without
// the general conversion: the product carries at most half an ulp of error
// (below 1e-7 under 1e9), so the rounding is the exact value's unless the
// product lies that close to a tie. False for ties and large values.
bool ScaledFixed4(double v, uint32_t &n) {
  const double scaled = std::fabs(v) * 10000.0;
  if (!(scaled < 1e9)) return false;
  const auto whole = static_cast<uint32_t>(scaled);  // truncation is floor here
  const double frac = scaled - whole;
  if (std::fabs(frac - 0.5) <= 1e-6) return false;
  n = whole + (frac > 0.5 ? 1 : 0);
  return true;
}

// "00" to "99".
constexpr auto kPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[size_t(2 * i)] = static_cast<char>('0' + i / 10);
    t[size_t(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

// Writes n / 10^4 with four decimals backwards, ending at end, two digits
// at a time; returns where the text starts.
char *WriteFixed4Back(char *end, uint32_t n, bool negative) {
  char *p = end - 4;
  const uint32_t frac = n % 10000;
  std::memcpy(p, &kPairs[2 * (frac / 100)], 2);
  std::memcpy(p + 2, &kPairs[2 * (frac % 100)], 2);
  *--p = '.';
  uint32_t whole = n / 10000;
  while (whole >= 100) {
    p -= 2;
    std::memcpy(p, &kPairs[2 * (whole % 100)], 2);
    whole /= 100;
  }
  if (whole >= 10) {
    p -= 2;
    std::memcpy(p, &kPairs[2 * whole], 2);
  } else {
    *--p = static_cast<char>('0' + whole);
  }
  if (negative) *--p = '-';
  return p;
}

// The texts of recent values, by the value's bits: text runs repeat a few
// spacing adjustments glyph after glyph. A slot without text is free.
struct TFixed4Slot {
  uint64_t Bits;
  uint8_t Size;
  char Text[15];
};
thread_local std::array<TFixed4Slot, 256> tFixed4Recent{};

}  // namespace

void AppendFixed4(std::string &out, double v) {
  if (!std::isfinite(v)) v = 0;
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  TFixed4Slot &slot = tFixed4Recent[(bits * 0x9E3779B97F4A7C15u) >> 56];
  if (slot.Size && slot.Bits == bits) {
    out.append(slot.Text, slot.Size);
    return;
  }
  uint32_t n = 0;
  if (ScaledFixed4(v, n)) {
    char buf[16];
    const char *p = WriteFixed4Back(buf + sizeof buf, n, v < 0 && n != 0);  // never "-0.0000"
    const auto size = static_cast<uint8_t>(buf + sizeof buf - p);
    slot.Bits = bits;
    slot.Size = size;
    std::memcpy(slot.Text, p, size);
    out.append(p, size);
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
  if (r.ec != std::errc()) {
    out += "0.0000";
    return;
  }
  if (buf[0] == '-' && std::strncmp(buf, "-0.0000", 7) == 0 && r.ptr - buf == 7) {
    out += "0.0000";
    return;
  }
  AppendChars(out, buf, r.ptr);
}

std::string Fixed4(double v) {
  std::string s;
  AppendFixed4(s, v);
  return s;
}

void AppendGeneral(std::string &out, double v) {
  if (!std::isfinite(v)) v = 0;
  if (v == 0) v = 0;  // no "-0"
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  if (std::find(static_cast<const char *>(buf), static_cast<const char *>(r.ptr), 'e') == r.ptr) {
    AppendChars(out, buf, r.ptr);
    return;
  }
  // Very large or very small: the fixed form with 15 significant digits,
  // trailing zeros dropped.
  const int exp10 = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  const int decimals = std::max(0, 14 - exp10);
  r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  const char *end = r.ptr;
  if (std::find(static_cast<const char *>(buf), end, '.') != end) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  AppendChars(out, buf, end);
}

std::string General(double v) {
  std::string s;
  AppendGeneral(s, v);
  return s;
}

std::string SizeText(double v) {
  const float f = static_cast<float>(v);
  if (std::isfinite(f) && f != 0) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::fixed);
    if (r.ec == std::errc()) return std::string(buf, r.ptr);
  }
  return General(v);
}

void AppendInt(std::string &out, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  AppendChars(out, buf, r.ptr);
}

void AppendRgb(std::string &out, COLORREF c) {
  // A channel / 255 lies in [0, 1]: always six characters, "0.0000" to
  // "1.0000", made once per channel value by the fixed-4 form itself.
  static const auto kChannels = [] {
    std::array<char, 256 * 6> t{};
    std::string s;
    for (int i = 0; i < 256; ++i) {
      s.clear();
      AppendFixed4(s, i / 255.0);
      std::memcpy(&t[size_t(6 * i)], s.data(), 6);
    }
    return t;
  }();
  char text[20];
  std::memcpy(text, &kChannels[size_t(6 * GetRValue(c))], 6);
  text[6] = ' ';
  std::memcpy(text + 7, &kChannels[size_t(6 * GetGValue(c))], 6);
  text[13] = ' ';
  std::memcpy(text + 14, &kChannels[size_t(6 * GetBValue(c))], 6);
  out.append(text, sizeof text);
}

std::string HexBytes(std::string_view bytes) {
  std::string s;
  s.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

std::string HexUtf16(const WString &text) {
  std::string s = "FEFF";
  s.reserve(4 + text.size() * 4);
  for (WCHAR w : text) {
    const unsigned u = static_cast<uint16_t>(w);
    s += kHex[(u >> 12) & 15];
    s += kHex[(u >> 8) & 15];
    s += kHex[(u >> 4) & 15];
    s += kHex[u & 15];
  }
  return s;
}

std::string Utf16BeBytes(const WString &text) {
  std::string s = "\xFE\xFF";
  for (WCHAR w : text) {
    const unsigned u = static_cast<uint16_t>(w);
    s += static_cast<char>(u >> 8);
    s += static_cast<char>(u & 0xFF);
  }
  return s;
}

void AppendEscapedLiteral(std::string &out, std::string_view bytes) {
  // The bytes AppendEscapedChar writes as an escape, by byte value.
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> t{};
    for (char c : {'\b', '\f', '\n', '\r', '(', ')', '\\'}) t[static_cast<uint8_t>(c)] = true;
    return t;
  }();
  // The bytes between two that need escaping go in one piece.
  size_t from = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (kEscaped[static_cast<uint8_t>(c)]) {
      out.append(bytes.data() + from, i - from);
      AppendEscapedChar(out, c);
      from = i + 1;
    }
  }
  out.append(bytes.data() + from, bytes.size() - from);
}

TPdfMoment CurrentMoment() {
  TPdfMoment m;
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &m.Local))
    m.OffsetMinutes = MinutesBetween(m.Local, utc);
  else
    m.Local = utc;
  return m;
}

std::string PdfDate(const TPdfMoment &m) {
  char buf[64];
  const SYSTEMTIME &t = m.Local;
  std::snprintf(buf, sizeof buf, "D:%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buf + OffsetText(m.OffsetMinutes, "'", "'");
}

std::string XmpDate(const TPdfMoment &m) {
  char buf[80];
  const SYSTEMTIME &t = m.Local;
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buf + OffsetText(m.OffsetMinutes, ":", "");
}

std::string LongTime(const TPdfMoment &m) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", m.Local.wHour, m.Local.wMinute, m.Local.wSecond);
  return buf;
}

}  // namespace nx::pdf
