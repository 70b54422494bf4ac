// UTF-16 <-> UTF-8 for the platform calls that hand Win32 strings to Linux
// (printer names, file names, registry paths, message texts).
#pragma once

#include <string>

#include "platform/win32/types.h"

namespace nx::wide {

// Invalid sequences become U+FFFD; a NULL pointer gives an empty string.
std::string ToUtf8(const WCHAR *s);
std::string ToUtf8(const std::u16string &s);
std::u16string FromUtf8(const std::string &s);
std::u16string FromW(const WCHAR *s);  // NULL gives an empty string

// Case-insensitive comparison of ASCII letters; other units compare exactly.
bool EqualsIgnoreCase(const std::u16string &a, const std::u16string &b);

// Copies s into dst (capacity units), cut to capacity - 1 and NUL-terminated,
// the rest zero-filled.
void CopyPadded(WCHAR *dst, size_t capacity, const std::u16string &s);

// Copies s into a fixed field of capacity units: cut to capacity, the rest
// zero-filled (a name that fills the field has no NUL, as Win32 lists them).
void CopyField(WCHAR *dst, size_t capacity, const std::u16string &s);

// A path written for Windows: '\' becomes '/'.
std::string FilePath(const WCHAR *s);

}  // namespace nx::wide
