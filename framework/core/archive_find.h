// Find-first/next inside an archive: the entries of one directory whose names match a
// pattern with '*' and '?', after the synthetic "." and "..".
#pragma once

#include <cstdint>

#include "core/archive.h"
#include "core/file_find_data.h"

struct ArchiveFindState {
    Archive* archive;
    const ArchiveDirEntry* dir;
    uint32_t index;  // the next position; the synthetic entries come first
    char pattern[kArchiveNameBytes];
};

// Enters the pattern's directory part (the archive's current directory is restored), then
// yields the first match. 0, or -1 when the directory is missing or nothing matches.
int FindFirstInArchive(Archive* archive, const char* pattern, ArchiveFindState* state,
                       FileFindData* out);
// 0, or -1 when no further entry matches.
int FindNextInArchive(ArchiveFindState* state, FileFindData* out);
// Splits at the last '\\', '/' or ':': the directory part (with that character) goes to dir,
// the rest is returned. Null when the directory part does not fit dirBytes.
const char* SplitArchivePattern(const char* pattern, char* dir, uint32_t dirBytes, int32_t charSet);
// 1 when name matches pattern: '*' any run, '?' one character, a double-byte character of
// charSet compared as a pair, everything else exactly. Else 0.
int MatchWildcard(const char* name, const char* pattern, int32_t charSet);
