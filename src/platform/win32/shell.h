// Win32 subset: the shell. ShellExecuteW opens a document or an address with
// the desktop's handler (xdg-open), detached from the caller.
#pragma once

#include "platform/win32/types.h"

// ShellExecuteW results: above 32 means success.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32

// Verbs "open" (or none) and "explore" are known; any other verb gives
// SE_ERR_NOASSOC. A file that does not exist gives SE_ERR_FNF, a handler
// that cannot be started SE_ERR_NOASSOC (GetLastError tells more).
HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile,
                               LPCWSTR lpParameters, LPCWSTR lpDirectory, INT nShowCmd);
