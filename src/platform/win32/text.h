// Win32 subset: text.
#pragma once

#include "platform/win32/types.h"
