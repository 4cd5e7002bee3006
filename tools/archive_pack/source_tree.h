// The files and folders below a directory as an archive's entries, named in Shift-JIS as a
// program names its files; what the archive or a program could not take is refused.
#pragma once

#include <archive_writer.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A program opens a file by a full path of at most 1,023 bytes (the lookup's 1,024-byte buffer
// with its closing zero), formed as its current directory, the archive's name and the path
// inside the archive: "C:\A\" leaves at most this much to the path inside.
constexpr size_t kMaxInnerPathBytes = 1018;

struct SourceTree {
    std::vector<ArchiveInput> inputs;  // each file's bytes read when the writer comes to it
    size_t files = 0;
    uint64_t fileBytes = 0;
};

// UTF-8 to Shift-JIS; false for bytes that are not UTF-8 or a character that Shift-JIS lacks.
bool ToShiftJis(const std::string& utf8, std::string* out);

// The entries of everything below directory, files compressed when asked; false with a message
// in *error for what cannot be packed. The inputs' reads later report their failures in *error
// too, which must outlive them.
bool ReadSourceTree(const std::filesystem::path& directory, bool compress, SourceTree* tree,
                    std::string* error);
