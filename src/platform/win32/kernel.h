// Win32 subset: kernel.
#pragma once

#include "platform/win32/types.h"

// Thread-local last error, as GetLastError / SetLastError.
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);
