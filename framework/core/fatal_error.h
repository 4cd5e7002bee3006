// The fatal exit: logs the message and ends the process with exit code -1, after the shutdown
// that the application shell installed.
#pragma once

using FatalErrorShutdown = void (*)();

// The shell's shutdown for the fatal exit; it decides itself whether it can run on the
// calling thread. Null: the process ends without one.
void InstallFatalErrorShutdown(FatalErrorShutdown shutdown);
[[noreturn]] void ExitOnFatalError(const char* message);
// Formats the message into 1,024 bytes and ends the process through the fatal exit.
[[noreturn]] void ExitWithFormattedError(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
