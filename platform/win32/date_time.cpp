// Wall-clock date and time: SYSTEMTIME from the host's clock and time zone, and FILETIME
// (100 ns ticks since 1601-01-01 UTC) with its conversions.
#include "date_time.h"

#include <time.h>

constexpr long long kTicksPerSecond = 10000000;
constexpr long long kTicksPerDay = kTicksPerSecond * 86400;
constexpr long long kDaysFrom1601To1970 = 134774;
// The largest FILETIME Windows converts: the top bit must be clear.
constexpr unsigned long long kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

// Days since 1970-01-01 of a proleptic Gregorian date.
static long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    long long era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

static void CivilFromDays(long long days, long long* year, unsigned* month, unsigned* day) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = static_cast<long long>(yearOfEra) + era * 400 + (*month <= 2);
}

static unsigned long long TicksOf(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

static FILETIME FileTimeOf(unsigned long long ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

static void FillSystemTime(const tm& parts, long nanoseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(parts.tm_year + 1900);
    out->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    out->wDay = static_cast<WORD>(parts.tm_mday);
    out->wHour = static_cast<WORD>(parts.tm_hour);
    out->wMinute = static_cast<WORD>(parts.tm_min);
    out->wSecond = static_cast<WORD>(parts.tm_sec);
    out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

void GetLocalTime(LPSYSTEMTIME time) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts;
    localtime_r(&now.tv_sec, &parts);
    FillSystemTime(parts, now.tv_nsec, time);
}

void GetSystemTime(LPSYSTEMTIME time) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts;
    gmtime_r(&now.tv_sec, &parts);
    FillSystemTime(parts, now.tv_nsec, time);
}

FILETIME FileTimeFromUnixTime(long long seconds, long nanoseconds) {
    long long ticks = (seconds + kDaysFrom1601To1970 * 86400) * kTicksPerSecond + nanoseconds / 100;
    return FileTimeOf(static_cast<unsigned long long>(ticks < 0 ? 0 : ticks));
}

void GetSystemTimeAsFileTime(LPFILETIME time) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    *time = FileTimeFromUnixTime(now.tv_sec, now.tv_nsec);
}

// Like Windows, the current time-zone bias applies whatever the date converted.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    time_t now = ::time(nullptr);
    tm parts;
    localtime_r(&now, &parts);
    long long ticks = static_cast<long long>(TicksOf(*fileTime)) +
                      static_cast<long long>(parts.tm_gmtoff) * kTicksPerSecond;
    if (ticks < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *localFileTime = FileTimeOf(static_cast<unsigned long long>(ticks));
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    unsigned long long ticks = TicksOf(*fileTime);
    if (ticks > kMaxFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    long long days = static_cast<long long>(ticks / kTicksPerDay) - kDaysFrom1601To1970;
    unsigned long long ticksOfDay = ticks % kTicksPerDay;
    long long year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    // 1970-01-01 was a Thursday (4); Sunday is 0.
    systemTime->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);
    systemTime->wHour = static_cast<WORD>(ticksOfDay / (kTicksPerSecond * 3600));
    systemTime->wMinute = static_cast<WORD>(ticksOfDay / (kTicksPerSecond * 60) % 60);
    systemTime->wSecond = static_cast<WORD>(ticksOfDay / kTicksPerSecond % 60);
    systemTime->wMilliseconds = static_cast<WORD>(ticksOfDay / 10000 % 1000);
    return TRUE;
}

static bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    static const unsigned kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const SYSTEMTIME& t = *systemTime;
    bool valid = t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 &&
                 t.wDay >= 1 && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
                 t.wMilliseconds < 1000;
    if (valid) {
        unsigned monthDays = kDaysInMonth[t.wMonth - 1] + (t.wMonth == 2 && IsLeapYear(t.wYear));
        valid = t.wDay <= monthDays;
    }
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    long long days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1601To1970;
    long long ticks = days * kTicksPerDay +
                      ((t.wHour * 60LL + t.wMinute) * 60 + t.wSecond) * kTicksPerSecond +
                      t.wMilliseconds * 10000LL;
    *fileTime = FileTimeOf(static_cast<unsigned long long>(ticks));
    return TRUE;
}
