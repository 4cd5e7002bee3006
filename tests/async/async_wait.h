// Waiting in tests of threads: on a condition, for at most ten seconds of real time (the tests
// run on the virtual clock, which only moves when told).
#pragma once

#include <time.h>

#include "core/threads.h"

template <class Condition>
bool WaitFor(Condition condition) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (!condition()) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec > 10) return false;
        SleepMilliseconds(0);
    }
    return true;
}
