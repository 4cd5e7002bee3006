// Text at the host boundary: the layer's text is CP932, the host's is UTF-8.
#pragma once

#include <string>
#include <string_view>

// Both fail (false) on any byte sequence that has no equivalent; nothing is replaced.
bool Cp932ToUtf8(std::string_view text, std::string* out);
bool Utf8ToCp932(std::string_view text, std::string* out);
