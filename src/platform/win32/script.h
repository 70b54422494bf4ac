// Win32 subset: script.
#pragma once

#include "platform/win32/types.h"
