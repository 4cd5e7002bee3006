// Start-up and shutdown of the framework, the shutdown of the fatal exit, and COM start and end.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

struct LibraryState {
    // Switches that start-up and shutdown consult; the program sets the input and sound ones
    // (and the graphics one, which the graphics core reads too and which is in the shell
    // record) before SetupLibrary. The no-window switch has no setter.
    int32_t noWindow;
    int32_t noInput;
    int32_t noSound;
    int32_t comInitialised;
    char startDirectory[260];
};
extern LibraryState gLibrary;

int SetupLibraryUnlocked();
int ShutdownLibraryUnlocked();
int SetupCom();
int ShutdownCom();
