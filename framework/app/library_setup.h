// Start-up and shutdown of the framework, the shutdown of the fatal exit, and COM start and end.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

struct LibraryState {
    // Switches that no operation of this system sets; start-up and shutdown consult them. The
    // graphics switch, which the graphics core reads too, is in the shell record.
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
