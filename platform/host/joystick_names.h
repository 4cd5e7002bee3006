// Joystick names as the layer's callers see them: CP932 in a fixed buffer.
#pragma once

#include <cstddef>
#include <string>

// Copies the UTF-8 name as CP932, NUL-terminated, leaving out characters that CP932 lacks and
// whatever does not fit whole.
void CopyJoystickName(const std::string& utf8, char* out, size_t capacity);
