// Finding a directory's entry by a name that differs from it in the case of its ASCII letters,
// as a program written for a file system blind to case names its files.
#pragma once

#include <string>

// The entry of the host directory `directory` whose name equals `name` but for the case of
// ASCII letters; the first in byte order when several do, so that the answer does not depend on
// the directory's order. false when there is none or the directory cannot be read.
bool FindNameIgnoringCase(const std::string& directory, const std::string& name,
                          std::string* found);
