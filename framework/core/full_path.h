// Full paths in the Windows form the file layer works with: a drive or UNC start, '\\'
// between components, "." and ".." components resolved.
#pragma once

#include <cstdint>

// Writes the full form of path into out, relative to base (a full directory); a null path
// gives the base. 0, or -1 when base is null or the result does not fit outBytes.
int ResolveFullPath(const char* path, char* out, uint32_t outBytes, const char* base);
