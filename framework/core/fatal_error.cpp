// The fatal exit. The shutdown belongs to the application shell above the core, so the shell
// hands it over at start-up.
#include "core/fatal_error.h"

#include <platform/win32.h>

#include <cstdarg>

#include "core/log.h"
#include "core/string_functions.h"

namespace {

struct FatalErrorState {
    FatalErrorShutdown shutdown;
};

FatalErrorState gFatalError = {};

}  // namespace

void InstallFatalErrorShutdown(FatalErrorShutdown shutdown) {
    gFatalError.shutdown = shutdown;
}

void ExitOnFatalError(const char* message) {
    AppendLogText(message);
    AppendLogText("\n");
    if (gFatalError.shutdown != nullptr) gFatalError.shutdown();
    ExitProcess(static_cast<UINT>(-1));
}

void ExitWithFormattedError(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    FormatStringArgsN(message, sizeof message, format, args);
    va_end(args);
    ExitOnFatalError(message);
}
