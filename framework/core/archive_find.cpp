// Enumeration of an archive directory with wildcard matching over whole (single- or
// double-byte) characters.
#include "core/archive_find.h"

#include <cstring>

#include "core/clocks.h"
#include "core/string_functions.h"

namespace {

uint32_t CharBytes(const char* p, int32_t charSet) {
    return IsLeadByte(static_cast<uint8_t>(*p), charSet) && p[1] != '\0' ? 2 : 1;
}

void FillSynthetic(const char* name, FileFindData* out) {
    *out = FileFindData{};
    std::strcpy(out->name, name);
    out->isDirectory = 1;
}

void ToFileTime(uint64_t stored, FILETIME* out) {
    out->dwLowDateTime = static_cast<DWORD>(stored);
    out->dwHighDateTime = static_cast<DWORD>(stored >> 32);
}

void FillEntry(const Archive* archive, const ArchiveFileEntry* entry, FileFindData* out) {
    *out = FileFindData{};
    // Names were checked to end within the name buffer when the archive opened.
    std::strcpy(out->name, GetArchiveEntryName(archive, entry));
    out->isDirectory = (entry->attributes & kArchiveDirectoryAttribute) ? 1 : 0;
    out->sizeLow = entry->size;
    FILETIME time;
    ToFileTime(entry->creationTime, &time);
    FileTimeToDateTime(&time, out->creationTime);
    ToFileTime(entry->lastWriteTime, &time);
    FileTimeToDateTime(&time, out->lastWriteTime);
}

}  // namespace

int FindFirstInArchive(Archive* archive, const char* pattern, ArchiveFindState* state,
                       FileFindData* out) {
    char dir[kArchivePathBytes];
    const char* filePattern = SplitArchivePattern(pattern, dir, sizeof dir, archive->charSet);
    if (filePattern == nullptr || std::strlen(filePattern) >= sizeof state->pattern) return -1;
    const ArchiveDirEntry* saved = archive->currentDir;
    if (dir[0] != '\0' && ChangeArchiveDir(archive, dir, 1, nullptr) != 0) return -1;
    state->archive = archive;
    state->dir = archive->currentDir;
    state->index = 0;
    std::strcpy(state->pattern, filePattern);
    archive->currentDir = saved;
    return FindNextInArchive(state, out);
}

int FindNextInArchive(ArchiveFindState* state, FileFindData* out) {
    const Archive* archive = state->archive;
    const uint32_t synthetic = state->dir == GetArchiveRootDir(archive) ? 1 : 2;
    for (;; state->index++) {
        if (state->index < synthetic) {
            const char* name = state->index == 0 ? "." : "..";
            if (!MatchWildcard(name, state->pattern, archive->charSet)) continue;
            if (out != nullptr) FillSynthetic(name, out);
            state->index++;
            return 0;
        }
        const ArchiveFileEntry* entry =
            GetArchiveDirEntryAt(archive, state->dir, state->index - synthetic);
        if (entry == nullptr) return -1;
        if (!MatchWildcard(GetArchiveEntryName(archive, entry), state->pattern, archive->charSet)) {
            continue;
        }
        if (out != nullptr) FillEntry(archive, entry, out);
        state->index++;
        return 0;
    }
}

const char* SplitArchivePattern(const char* pattern, char* dir, uint32_t dirBytes,
                                int32_t charSet) {
    uint32_t split = 0;
    for (uint32_t i = 0; pattern[i] != '\0'; i += CharBytes(pattern + i, charSet)) {
        char c = pattern[i];
        if (CharBytes(pattern + i, charSet) == 1 && (c == '\\' || c == '/' || c == ':')) {
            split = i + 1;
        }
    }
    if (split >= dirBytes) return nullptr;
    std::memcpy(dir, pattern, split);
    dir[split] = '\0';
    return pattern + split;
}

int MatchWildcard(const char* name, const char* pattern, int32_t charSet) {
    // Greedy matching that backtracks to the last '*': on a mismatch the star takes one more
    // character of the name.
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    const char* n = name;
    const char* p = pattern;
    while (*n != '\0') {
        if (*p == '*') {
            while (*p == '*') p++;
            starPattern = p;
            starName = n;
            continue;
        }
        uint32_t nameBytes = CharBytes(n, charSet);
        uint32_t patternBytes = *p == '\0' ? 0 : CharBytes(p, charSet);
        if (*p == '?' && patternBytes == 1) {
            n += nameBytes;
            p++;
            continue;
        }
        if (patternBytes == nameBytes && std::memcmp(n, p, nameBytes) == 0) {
            n += nameBytes;
            p += patternBytes;
            continue;
        }
        if (starPattern == nullptr) return 0;
        starName += CharBytes(starName, charSet);
        n = starName;
        p = starPattern;
    }
    while (*p == '*') p++;
    return *p == '\0' ? 1 : 0;
}
