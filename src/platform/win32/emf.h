// Win32 subset: emf.
#pragma once

#include "platform/win32/types.h"
