// A file replaced whole or not at all: written beside its destination, flushed to the disk,
// and renamed over the destination only when complete.
#pragma once

#include <lz_encode.h>

#include <filesystem>
#include <functional>
#include <string>

// The file that writing to path replaces: path itself, or the file a link there leads to.
// False with a message when it is something other than a regular file or a missing one (a
// directory, a device, a pipe, a link to nothing), which is never written over.
bool ReplaceableTarget(const std::filesystem::path& path, std::filesystem::path* target,
                       std::string* error);

// Writes the new content through write's sink into a temporary file in target's folder and
// puts it in target's place (with target's permissions where it exists). On any failure,
// write's own or an exception out of it included, target is left as it was and the temporary
// file removed; *error then holds the sink's or the file system's message when one of them
// failed.
bool ReplaceFile(const std::filesystem::path& target,
                 const std::function<bool(const ByteSink& sink)>& write, std::string* error);
