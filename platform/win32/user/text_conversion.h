// CP932 text of the layer's callers to and from the UTF-8 of the host; "" for text that does
// not convert.
#pragma once

#include <string>

std::string ConvertCp932ToUtf8(const char* text);
std::string ConvertUtf8ToCp932(const char* text);
