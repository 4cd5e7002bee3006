// The key under which the layer knows a run-time module: its name in lower case, a trailing
// ".dll" removed. The loader and the tests' missing-module hooks share it.
#pragma once

#include <cctype>
#include <string>

inline std::string NormalizeModuleName(const char* name) {
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
    return key;
}
