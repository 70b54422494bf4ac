// Win32 subset: ui.
#pragma once

#include "platform/win32/types.h"
