// The shell's state record and its hooks, which the shell fills.
#include "core/shell_hooks.h"

ShellState gShell = {};
ShellHooks gShellHooks = {};
