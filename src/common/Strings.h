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
// Copies text, NUL-terminated, into a host buffer (nothing for a null buffer).
void CopyToDest(char *dest, const WString &s);
void CopyToDest(char *dest, const std::string &ansi);

}  // namespace nx
