// The layer's Windows-like namespace over the host's files: drive Z: is the host's root,
// both separators are accepted, names are CP932, and a name that does not exist as written
// is looked up case-insensitively, one component at a time.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/win32_types.h"

// The absolute host path (UTF-8) of a name: relative names count from the current
// directory, "." and ".." are folded, a trailing separator is kept. false with the last
// error set when the name is not valid here (not CP932, another drive, a network name).
bool MapPathToHost(LPCSTR name, std::string* hostPath);
// "Z:\..." in CP932 for an absolute host path; false when it has no CP932 form.
bool HostPathToWindows(const std::string& hostPath, std::string* name);
// The last error for a host call on hostPath that failed with errno `error`.
void SetLastErrorFromErrno(int error, const std::string& hostPath);
// Copies text and its NUL into a caller's buffer as the Get...A calls do: the length on
// success, else the size needed including the NUL.
DWORD DeliverText(const std::string& text, DWORD bufferLength, LPSTR buffer);
// FILE_ATTRIBUTE_* bits for a host file mode.
DWORD FileAttributesOfMode(mode_t mode);
