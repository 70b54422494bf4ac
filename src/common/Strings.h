// Strings at the interface: host strings arrive as NUL-terminated bytes in the
// ANSI code page and string results go back the same way.
#pragma once

#include <string>

#include "common/WString.h"

namespace nx {

// A host string in the given code page; a null pointer is an empty string.
WString AnsiToWide(const char *s, UINT codePage = CP_ACP);
// Plain ASCII text (literals, numbers) widened without a code page.
WString AsciiToWide(const std::string &s);
// Unicode text in the given code page; characters it lacks become '?'.
std::string WideToAnsi(const WString &s, UINT codePage = CP_ACP);
// Windows-1252 bytes of the text by a fixed table, one byte per UTF-16 unit
// (a surrogate pair gives two); units the code page lacks become '?'.
std::string WideTo1252(const WString &s);
// The same into out, whose buffer is reused.
void WideTo1252(const WString &s, std::string &out);
// Copies text, NUL-terminated, into a host buffer (nothing for a null buffer).
void CopyToDest(char *dest, const WString &s);
void CopyToDest(char *dest, const std::string &ansi);

}  // namespace nx
