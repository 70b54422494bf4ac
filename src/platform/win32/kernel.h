// Win32 subset: kernel.
#pragma once

#include "platform/win32/types.h"

// Thread-local last error, as GetLastError / SetLastError.
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);

// (a * b) / c with a 64-bit intermediate, rounded half away from zero;
// -1 when c is 0 or the result does not fit 32 bits.
int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator);

// Global memory: blocks of bytes behind a handle (DIBs, DEVMODEs).
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
