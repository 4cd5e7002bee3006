// Full paths in the Windows form the file layer works with: a drive or UNC start, '\\'
// between components, "." and ".." components resolved.
#pragma once

#include <cstdint>

// Writes the full form of path into out, relative to base (a full directory); a null path
// gives the base. A null base stands for a current directory that cannot be told: only a path
// with its own drive or UNC start resolves. 0, or -1 when the path needs a base and none is
// given, or the result does not fit outBytes.
int ResolveFullPath(const char* path, char* out, uint32_t outBytes, const char* base);
