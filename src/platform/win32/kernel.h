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

// Code pages. CP_ACP is 1252 and CP_OEMCP 437 unless NOXTREL_ACP / NOXTREL_OEMCP
// name another code page number.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define ERROR_NO_UNICODE_TRANSLATION 1113L

UINT WINAPI GetACP();
UINT WINAPI GetOEMCP();
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
// OEM <-> ANSI conversions (user32 in Windows; kept beside the code pages here).
BOOL WINAPI OemToCharW(LPCSTR pSrc, LPWSTR pDst);
BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst);

// Time: the clock in UTC and in the local time zone (TZ, else /etc/localtime).
typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;
typedef struct _TIME_ZONE_INFORMATION TIME_ZONE_INFORMATION;
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
// Only the current time zone (lpTimeZoneInformation null) is supported: the
// local time of that UTC moment, with the offset in force at that moment
// (daylight saving time included).
BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *lpTimeZoneInformation,
                                            const SYSTEMTIME *lpUniversalTime, LPSYSTEMTIME lpLocalTime);
