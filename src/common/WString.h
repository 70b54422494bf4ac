// The one string type above the platform boundary: UTF-16 in WCHAR units, so
// that a string hands its data() to the Win32-shaped calls unchanged, also
// where WCHAR is wchar_t.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nx {

using WString = std::basic_string<WCHAR>;

}  // namespace nx
