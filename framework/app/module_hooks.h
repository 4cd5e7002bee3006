// The shell's hand-over of its own calls and of the modules' order to the floors below it.
#pragma once

// Sets the shell hooks (pump, waits, clipboard) and the graphics system's hooks (fonts and
// input across start-up, device re-creation, mode changes and shutdown).
void InstallModuleHooks();
