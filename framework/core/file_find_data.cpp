// Conversion of stored file times to the local date and time that find results report.
#include "core/file_find_data.h"

void FileTimeToDateTime(const FILETIME* time, DateTimeRecord* out) {
    *out = DateTimeRecord{};
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(time, &local) || !FileTimeToSystemTime(&local, &parts)) return;
    out->year = parts.wYear;
    out->month = parts.wMonth;
    out->day = parts.wDay;
    out->hour = parts.wHour;
    out->minute = parts.wMinute;
    out->second = parts.wSecond;
}
