// Win32 subset: spool.
#pragma once

#include "platform/win32/types.h"
