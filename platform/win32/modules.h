// The layer's own run-time modules, as LoadLibraryA and GetProcAddress see them.
#pragma once

#include <string>

// Lower case, with a trailing ".dll" removed: the key under which a module is known.
std::string NormalizeModuleName(const char* name);
