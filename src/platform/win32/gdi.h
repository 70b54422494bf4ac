// Win32 subset: gdi.
#pragma once

#include "platform/win32/types.h"
