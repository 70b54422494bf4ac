// The Win32 subset the system uses. Everything above the platform boundary
// includes this header and nothing else of the platform; on Windows it could
// forward to <windows.h> unchanged, since names, signatures, struct layouts and
// constant values are identical to Win32.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/kernel.h"
#include "platform/win32/gdi.h"
#include "platform/win32/emf.h"
#include "platform/win32/text.h"
#include "platform/win32/script.h"
#include "platform/win32/spool.h"
#include "platform/win32/registry.h"
#include "platform/win32/shell.h"
#include "platform/win32/ui.h"
