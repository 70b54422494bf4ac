// Win32 subset: registry.
#pragma once

#include "platform/win32/types.h"
