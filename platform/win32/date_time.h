// Host times as FILETIME values.
#pragma once

#include "platform/win32_kernel.h"

FILETIME FileTimeFromUnixTime(long long seconds, long nanoseconds);
