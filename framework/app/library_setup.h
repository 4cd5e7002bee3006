// Start-up and shutdown of the framework, the shutdown of the fatal exit, and COM start and end.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

struct LibraryState {
    int32_t setUp;         // 1 once start-up finished, 0 again when shutdown ended the modules
    int32_t initialising;  // 1 while start-up runs
    int32_t ending;        // 1 during shutdown, 4 after a close request from outside
    // Switches that no operation of this system sets; start-up and shutdown consult them.
    int32_t noWindow;
    int32_t noInput;
    int32_t noSound;
    int32_t noGraphics;
    int32_t comInitialised;
    char startDirectory[260];
};
extern LibraryState gLibrary;

int SetupLibraryUnlocked();
int ShutdownLibraryUnlocked();
int SetupCom();
int ShutdownCom();
