// Full paths in the Windows form the file layer works with: a drive or UNC start, '\\'
// between components, "." and ".." components resolved.
#pragma once

#include <cstdint>

// Writes the full form of path into out: relative to base, or to the current directory (the
// GetCurrentDir operation in force) when base is null; a null path gives the base. 0, or -1
// when the result does not fit outBytes.
int ResolveFullPath(const char* path, char* out, uint32_t outBytes, const char* base);
inline int ToFullPath(const char* path, char* out, uint32_t outBytes, const char* base) {
    return ResolveFullPath(path, out, outBytes, base);
}
// ResolveFullPath against the current directory, with the letters a to z raised to upper case
// and double-byte characters kept.
int ToUpperFullPath(const char* path, char* out, uint32_t outBytes);
