// Host calls carried on through signals: Windows's calls are never cut short by one, so a call
// that a signal interrupts before it did anything is made again.
#pragma once

#include <cerrno>

// The call's result, made again while it fails with EINTR.
template <class Call>
auto RetriedThroughSignals(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}
