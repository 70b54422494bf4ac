// The PDF writer's text forms of numbers, colours, strings and dates. None
// reads the locale: every decimal point is '.', whatever the host set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/WString.h"
#include "platform/win32.h"

namespace nx::pdf {

// Fixed-point with exactly four decimals: 12 -> "12.0000", 0.5 -> "0.5000".
// A value that rounds to zero is written "0.0000", never "-0.0000".
void AppendFixed4(std::string &out, double v);
std::string Fixed4(double v);

// The shortest decimal form with up to 15 significant digits, without an
// exponent: 12 -> "12", 0.35 -> "0.35".
void AppendGeneral(std::string &out, double v);
std::string General(double v);

// A size to single precision (sizes come through the metafile's
// single-precision transforms, whose noise is no part of them): the
// shortest decimal form that reads back to the same float, without an
// exponent: 9.95999977737665 -> "9.96", 12 -> "12". Zero and values
// beyond single precision as General.
std::string SizeText(double v);

// Plain decimal integers.
void AppendInt(std::string &out, int64_t v);

// A COLORREF (0x00BBGGRR) as "r g b", each channel / 255 in fixed-4 form.
void AppendRgb(std::string &out, COLORREF c);

// Upper-case hexadecimal, two digits per byte.
std::string HexBytes(std::string_view bytes);
// "FEFF" and four upper-case hex digits per UTF-16 unit.
std::string HexUtf16(const WString &text);
// The UTF-16BE bytes with the byte order mark, for a text string.
std::string Utf16BeBytes(const WString &text);

// Bytes of a literal string, escaped as a "( ... )" string needs.
void AppendEscapedLiteral(std::string &out, std::string_view bytes);
inline void AppendEscapedChar(std::string &out, char c) {
  switch (c) {
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '(': out += "\\("; break;
    case ')': out += "\\)"; break;
    case '\\': out += "\\\\"; break;
    default: out += c;
  }
}

// A moment in local time with its offset from UTC in minutes (local = UTC +
// offset), read once so that the date and the offset belong to one instant.
struct TPdfMoment {
  SYSTEMTIME Local{};
  int OffsetMinutes = 0;
};
TPdfMoment CurrentMoment();

// "D:yyyymmddhhnnss" + "+hh'mm'" (or "-hh'mm'").
std::string PdfDate(const TPdfMoment &m);
// "yyyy-mm-ddThh:nn:ss" + "+hh:mm" (or "-hh:mm"), the XMP form.
std::string XmpDate(const TPdfMoment &m);
// "hh:nn:ss", the long time of the moment.
std::string LongTime(const TPdfMoment &m);

}  // namespace nx::pdf
