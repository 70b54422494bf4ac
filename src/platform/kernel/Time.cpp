// GetSystemTime, GetLocalTime and SystemTimeToTzSpecificLocalTime on the C
// library's clock and time-zone database.
#include <sys/time.h>

#include <ctime>

#include "platform/win32.h"

namespace {

void FromTm(const std::tm &t, int millis, LPSYSTEMTIME out) {
  out->wYear = static_cast<WORD>(t.tm_year + 1900);
  out->wMonth = static_cast<WORD>(t.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  out->wDay = static_cast<WORD>(t.tm_mday);
  out->wHour = static_cast<WORD>(t.tm_hour);
  out->wMinute = static_cast<WORD>(t.tm_min);
  out->wSecond = static_cast<WORD>(t.tm_sec);
  out->wMilliseconds = static_cast<WORD>(millis);
}

void Now(bool local, LPSYSTEMTIME out) {
  if (!out) return;
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm t{};
  time_t secs = tv.tv_sec;
  if (local)
    localtime_r(&secs, &t);
  else
    gmtime_r(&secs, &t);
  FromTm(t, static_cast<int>(tv.tv_usec / 1000), out);
}

}  // namespace

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) { Now(false, lpSystemTime); }

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) { Now(true, lpSystemTime); }

BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *lpTimeZoneInformation,
                                            const SYSTEMTIME *lpUniversalTime, LPSYSTEMTIME lpLocalTime) {
  if (lpTimeZoneInformation || !lpUniversalTime || !lpLocalTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::tm u{};
  u.tm_year = lpUniversalTime->wYear - 1900;
  u.tm_mon = lpUniversalTime->wMonth - 1;
  u.tm_mday = lpUniversalTime->wDay;
  u.tm_hour = lpUniversalTime->wHour;
  u.tm_min = lpUniversalTime->wMinute;
  u.tm_sec = lpUniversalTime->wSecond;
  const time_t secs = timegm(&u);
  std::tm t{};
  if (secs == static_cast<time_t>(-1) || !localtime_r(&secs, &t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FromTm(t, lpUniversalTime->wMilliseconds, lpLocalTime);
  return TRUE;
}
