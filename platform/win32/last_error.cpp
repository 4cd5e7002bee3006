// The last-error word of each thread. It calls nothing, so every part of the layer may set it.
#include "platform/win32_kernel.h"

static thread_local DWORD tLastError = ERROR_SUCCESS;

DWORD GetLastError() {
    return tLastError;
}

void SetLastError(DWORD error) {
    tLastError = error;
}
