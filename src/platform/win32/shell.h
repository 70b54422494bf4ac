// Win32 subset: shell.
#pragma once

#include "platform/win32/types.h"
