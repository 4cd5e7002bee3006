// The file access layer: the table of file operations in force and its front calls, and the
// archive-aware set, which reads a file out of the archive named after one of its leading
// directories (kept open in a reference-counted cache) or else from disk. Open files live in
// one table; a file value is its index tagged with 0xF0000000, checked before every use.
#include "core/file_access.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "core/archive.h"
#include "core/archive_find.h"
#include "core/disk_file.h"
#include "core/full_path.h"
#include "core/log.h"
#include "core/lz_expand.h"
#include "core/string_functions.h"
#include "core/threads.h"
#include "core/tracked_memory.h"

namespace {

constexpr StreamValue kFileValueIndexMask = 0x0FFFFFFF;
// As long as the archive record's own copy of its path: a deep current directory still finds
// its archives.
constexpr uint32_t kCachedPathBytes = kArchivePathBytes;
constexpr uint32_t kWorkPathBytes = kArchivePathBytes;
constexpr uint32_t kExtensionBytes = 32;
// A candidate archive's path: a prefix of a full path, a dot and the extension always fit.
constexpr uint32_t kCandidateBytes = kWorkPathBytes + 1 + kExtensionBytes;
constexpr uint32_t kKeyStringBytes = 256;
constexpr int32_t kKindDisk = 0;
constexpr int32_t kKindArchive = 1;

constexpr int32_t kPendingNone = 0;
constexpr int32_t kPendingCompressed = 1;  // the compressed body is being read
constexpr int32_t kPendingRaw = 2;         // bytes for the caller are being read

// One file read out of an archive.
struct ArchiveStream {
    Archive* archive;
    const ArchiveFileEntry* entry;
    uint8_t* expanded;    // the whole entry, for a compressed one
    uint8_t* compressed;  // the body during an asynchronous load
    DiskFile* file;       // on the archive file while data is still to be read from it
    int32_t eof;
    uint32_t position;
    int32_t async;
    int32_t pending;
    uint32_t pendingBytes;
    uint8_t* pendingDestination;
    uint32_t pendingFilePosition;
};

struct OpenFileEntry {
    // 1 while the open that took the slot runs without the lock: no value names it yet, so a
    // stale or forged value that does is refused rather than given the half-made entry.
    int32_t opening;
    int32_t kind;
    DiskFile* diskFile;
    int32_t archiveIndex;
    ArchiveStream stream;
};

struct CachedArchive {
    int32_t references;
    Archive archive;
    char path[kCachedPathBytes];
    // The key string it was opened with, as a count of key changes: later opens reuse only an
    // archive opened with the key now in force.
    uint32_t keyGeneration;
};

// The value behind the archive-aware FindFirst.
struct FileFindRecord {
    int32_t kind;
    int32_t archiveIndex;
    FindValue diskFind;
    ArchiveFindState archiveFind;
};

// The last archive that a path led to: its directory as an upper-case full path.
struct ArchiveMemo {
    char prefix[kWorkPathBytes];
    uint32_t length;
    int32_t index;
};

// Directories known to name no archive: every candidate whose prefix is `from` to `length` bytes
// long missed, with `extension` in force. Each open would otherwise look each directory of its
// path up on disk again. Forgotten with the unused archives: an archive file that appears later
// is found after ReleaseUnusedArchives, as a changed one is.
struct ArchiveMiss {
    char prefix[kWorkPathBytes];
    uint32_t from;
    uint32_t length;  // 0: an empty entry
    char extension[kExtensionBytes];
};
constexpr int32_t kArchiveMissSlots = 8;

StreamValue OpenArchiveAware(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
int CloseArchiveAware(StreamValue file);
int64_t TellArchiveAware(StreamValue file);
int SeekArchiveAware(StreamValue file, int64_t offset, int32_t origin);
size_t ReadArchiveAware(void* buffer, size_t elementSize, size_t count, StreamValue file);
int EofArchiveAware(StreamValue file);
int IsArchiveAwareIdle(StreamValue file);
FindValue FindFirstArchiveAware(const char* pattern, FileFindData* out);
int FindNextArchiveAware(FindValue find, FileFindData* out);
int FindCloseArchiveAware(FindValue find);

constexpr FileAccessFunctions kArchiveAwareFunctions = {
    OpenArchiveAware,      CloseArchiveAware,         TellArchiveAware,
    SeekArchiveAware,      ReadArchiveAware,          EofArchiveAware,
    IsArchiveAwareIdle,    SetDiskCurrentDir,         GetDiskCurrentDir,
    FindFirstArchiveAware, FindNextArchiveAware,      FindCloseArchiveAware,
};

struct FileAccessState {
    FileAccessFunctions functions = kArchiveAwareFunctions;
    // Set by any thread; read by the next set-up (the switch) or open.
    std::atomic<int32_t> noArchiveSwitch;
    std::atomic<int32_t> plainFileFirst;
    char archiveExtension[kExtensionBytes];  // empty: "OBA"
    int32_t keyStringSet;
    char archiveKeyString[kKeyStringBytes];
    uint32_t keyGeneration;

    // The open-file table and the archive cache share the lock and the set-up flag.
    std::mutex setupMutex;
    std::atomic<int32_t> setUp;
    CRITICAL_SECTION lock;
    OpenFileEntry* files[kMaxOpenFiles];
    int32_t openCount;
    CachedArchive* archives[kArchiveCacheSlots];
    int32_t archiveCount;
    ArchiveMemo memo;
    ArchiveMiss misses[kArchiveMissSlots];
    int32_t nextMiss;

    HandleRegistry fileHandles;
};

FileAccessState gFileAccess;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The open-file entry of a value: the tag, an index in range and a slot in use.
OpenFileEntry* EntryOf(StreamValue value) {
    if ((value & ~kFileValueIndexMask) != kFileValueTag) return nullptr;
    StreamValue index = value & kFileValueIndexMask;
    if (index >= static_cast<StreamValue>(kMaxOpenFiles)) return nullptr;
    OpenFileEntry* entry = gFileAccess.files[index];
    return entry != nullptr && entry->opening == 0 ? entry : nullptr;
}

void EnsureSetUp() {
    if (!gFileAccess.setUp.load()) SetupArchiveCache();
}

// ---- The archive cache (under the table lock) ----

void ReleaseUnusedArchivesLocked() {
    for (int32_t i = 0; i < kArchiveCacheSlots; i++) {
        CachedArchive* cached = gFileAccess.archives[i];
        if (cached == nullptr || cached->references > 0) continue;
        CloseArchive(&cached->archive);
        FreeMemory(cached);
        gFileAccess.archives[i] = nullptr;
        gFileAccess.archiveCount--;
        if (gFileAccess.memo.index == i) gFileAccess.memo.index = -1;
    }
    for (ArchiveMiss& miss : gFileAccess.misses) miss.length = 0;
}

bool IsCachedAs(const CachedArchive* cached, const char* archivePath) {
    return cached != nullptr && cached->keyGeneration == gFileAccess.keyGeneration &&
           std::strcmp(cached->path, archivePath) == 0;
}

int32_t AcquireArchive(int32_t hint, const char* archivePath, int32_t readWhole, int32_t async) {
    CachedArchive** archives = gFileAccess.archives;
    if (hint >= 0 && hint < kArchiveCacheSlots && IsCachedAs(archives[hint], archivePath)) {
        archives[hint]->references++;
        return hint;
    }
    for (int32_t i = 0; i < kArchiveCacheSlots; i++) {
        if (IsCachedAs(archives[i], archivePath)) {
            archives[i]->references++;
            return i;
        }
    }
    if (gFileAccess.archiveCount == kArchiveCacheSlots) ReleaseUnusedArchivesLocked();
    if (gFileAccess.archiveCount == kArchiveCacheSlots) return -1;
    if (std::strlen(archivePath) >= kCachedPathBytes) return -1;

    auto* cached =
        static_cast<CachedArchive*>(AllocClearedMemory(sizeof(CachedArchive), __FILE__, __LINE__));
    if (cached == nullptr) return -1;
    const char* key = gFileAccess.keyStringSet ? gFileAccess.archiveKeyString : nullptr;
    int result = readWhole ? OpenArchiveFileWhole(&cached->archive, archivePath, key, async)
                           : OpenArchiveFile(&cached->archive, archivePath, key);
    if (result != 0) {
        FreeMemory(cached);
        return -1;
    }
    int32_t slot = 0;
    while (archives[slot] != nullptr) slot++;
    cached->references = 1;
    std::strcpy(cached->path, archivePath);
    cached->keyGeneration = gFileAccess.keyGeneration;
    archives[slot] = cached;
    gFileAccess.archiveCount++;
    return slot;
}

void DropArchiveReference(int32_t index) {
    CachedArchive* cached = gFileAccess.archives[index];
    if (cached != nullptr && cached->references > 0) cached->references--;
}

const char* ArchiveExtension() {
    return gFileAccess.archiveExtension[0] ? gFileAccess.archiveExtension : "OBA";
}

// prefix (its first length bytes, fewer than kWorkPathBytes), a dot and the extension.
void MakeArchivePath(const char* prefix, uint32_t length, char (&out)[kCandidateBytes]) {
    std::memcpy(out, prefix, length);
    out[length] = '.';
    std::strcpy(out + length + 1, ArchiveExtension());
}

// Where the walk for archive candidates starts in the full path: after the current directory
// for a relative path that stays below it, else after the drive or UNC start.
uint32_t CandidateWalkStart(const char* path, const char* full, const char* base) {
    bool drive = path[0] != '\0' && path[1] == ':';
    bool relative = !IsSeparator(path[0]) && !drive;
    size_t baseLength = std::strlen(base);
    if (baseLength > 0 && IsSeparator(base[baseLength - 1])) baseLength--;
    if (relative && std::strncmp(full, base, baseLength) == 0 && IsSeparator(full[baseLength])) {
        return static_cast<uint32_t>(baseLength + 1);
    }
    if (IsSeparator(full[0]) && IsSeparator(full[1])) return 2;
    if (full[0] != '\0' && full[1] == ':') return IsSeparator(full[2]) ? 3 : 2;
    return 0;
}

// The remembered miss that covers the most candidates of upper from start on, or null.
ArchiveMiss* FindArchiveMiss(const char* upper, uint32_t start) {
    ArchiveMiss* best = nullptr;
    for (ArchiveMiss& miss : gFileAccess.misses) {
        if (miss.length == 0 || miss.from > start || (best && miss.length <= best->length)) {
            continue;
        }
        if (std::strncmp(upper, miss.prefix, miss.length) == 0 && IsSeparator(upper[miss.length]) &&
            std::strcmp(miss.extension, ArchiveExtension()) == 0) {
            best = &miss;
        }
    }
    return best;
}

// Remembers that the candidates of upper from `from` to `length` bytes missed, in the entry
// that covered part of them or else in the next one round.
void RememberArchiveMiss(ArchiveMiss* extended, const char* upper, uint32_t from, uint32_t length) {
    ArchiveMiss* miss = extended;
    if (miss == nullptr) {
        miss = &gFileAccess.misses[gFileAccess.nextMiss];
        gFileAccess.nextMiss = (gFileAccess.nextMiss + 1) % kArchiveMissSlots;
    }
    std::memcpy(miss->prefix, upper, length);
    miss->prefix[length] = '\0';
    miss->from = from;
    miss->length = length;
    std::strcpy(miss->extension, ArchiveExtension());
}

// The current directory of the table in force, or null when the operation writes none (one too
// long for its buffer): a relative path then has no full form, rather than one taken from "".
const char* ReadCurrentDir(char (&buffer)[kCurrentDirBytes]) {
    std::memset(buffer, 0, kCurrentDirBytes);
    GetDataCurrentDir(buffer);
    buffer[kCurrentDirBytes - 1] = '\0';
    return buffer[0] != '\0' ? buffer : nullptr;
}

// What FindArchiveForPath found: an archive, none, or nothing it could look for, the path's
// full form being too long for it or relative to a current directory too long to be told (the
// disk must not answer for an archive it cannot rule out).
enum class ArchiveLookup { kFound, kNone, kTooLong };

// Finds the archive that holds path: the one named after the shortest leading directory
// (the file name itself never names one). Gives the cache index and the rest of the path
// inside the archive, with its letters as the caller wrote them.
ArchiveLookup FindArchiveForPath(const char* path, int32_t* index, char* innerOut) {
    char base[kCurrentDirBytes];
    char full[kWorkPathBytes];
    char upper[kWorkPathBytes];
    if (ResolveFullPath(path, full, sizeof full, ReadCurrentDir(base)) != 0) {
        return ArchiveLookup::kTooLong;
    }
    std::strcpy(upper, full);
    UpperCaseString(upper);
    char archivePath[kCandidateBytes];

    // The memo answers only for a prefix that the walk below would try itself, so that a bare
    // name still consults no archive.
    const uint32_t start = CandidateWalkStart(path, full, base);
    ArchiveMemo& memo = gFileAccess.memo;
    if (memo.index >= 0 && memo.length >= start && memo.length > 0 &&
        std::strncmp(upper, memo.prefix, memo.length) == 0 && IsSeparator(upper[memo.length])) {
        MakeArchivePath(memo.prefix, memo.length, archivePath);
        int32_t found = AcquireArchive(memo.index, archivePath, 0, 0);
        if (found >= 0) {
            *index = found;
            std::strcpy(innerOut, full + memo.length + 1);
            return ArchiveLookup::kFound;
        }
    }
    ArchiveMiss* miss = FindArchiveMiss(upper, start);
    uint32_t lastTried = 0;
    const int32_t charSet = GetCharSet();
    for (uint32_t i = miss != nullptr ? miss->length + 1 : start; full[i] != '\0';) {
        if (IsLeadByte(static_cast<uint8_t>(full[i]), charSet) && full[i + 1] != '\0') {
            i += 2;
            continue;
        }
        if (IsSeparator(full[i]) && i > 0) {
            MakeArchivePath(upper, i, archivePath);
            int32_t found = AcquireArchive(-1, archivePath, 0, 0);
            lastTried = i;
            if (found >= 0) {
                std::memcpy(memo.prefix, upper, i);
                memo.prefix[i] = '\0';
                memo.length = i;
                memo.index = found;
                *index = found;
                std::strcpy(innerOut, full + i + 1);
                return ArchiveLookup::kFound;
            }
        }
        i++;
    }
    // A full cache fails a candidate that may exist, and releasing unused archives on the way
    // forgets the entry the walk began after: nothing is remembered then.
    if (lastTried > 0 && gFileAccess.archiveCount < kArchiveCacheSlots &&
        (miss == nullptr || miss->length != 0)) {
        RememberArchiveMiss(miss, upper, miss != nullptr ? miss->from : start, lastTried);
    }
    return ArchiveLookup::kNone;
}

// ---- Archive streams ----

bool ExpandEntry(ArchiveStream* stream, const uint8_t* body, uint32_t bodyBytes) {
    uint32_t size = stream->entry->size;
    return ExpandArchiveData(body, bodyBytes, stream->expanded, size) == static_cast<int64_t>(size);
}

// A compressed entry is read from its expanded copy: once that exists (or failed), the
// stream gives its file back.
void CloseStreamFile(ArchiveStream* stream) {
    if (stream->file != nullptr) DiskFileClose(stream->file);
    stream->file = nullptr;
}

void FreeStreamBuffers(ArchiveStream* stream) {
    if (stream->expanded != nullptr) FreeMemory(stream->expanded);
    if (stream->compressed != nullptr) FreeMemory(stream->compressed);
    stream->expanded = nullptr;
    stream->compressed = nullptr;
}

int OpenArchiveStream(ArchiveStream* stream, Archive* archive, const char* innerPath,
                      int32_t async) {
    if (CompleteArchiveLoad(archive) != 0) return -1;
    const ArchiveFileEntry* entry = FindArchiveFileEntry(innerPath, archive);
    if (entry == nullptr) return -1;
    *stream = ArchiveStream{};
    stream->archive = archive;
    stream->entry = entry;
    stream->async = async ? 1 : 0;
    // An archive held in memory is never read from its file again.
    if (!archive->inMemory) {
        stream->file = OpenDiskFile(archive->path, 0, 1, 0);
        if (stream->file == nullptr) return -1;
    }
    if (!IsArchiveEntryCompressed(archive, entry)) return 0;

    uint32_t stored = entry->compressedSize;
    uint32_t bodyStart = GetArchiveBodyStart(archive, entry);
    stream->expanded =
        static_cast<uint8_t*>(AllocMemory(entry->size > 0 ? entry->size : 1, __FILE__, __LINE__));
    bool ok = stream->expanded != nullptr;
    if (ok && archive->inMemory) {
        ok = ExpandEntry(stream, archive->image + bodyStart, stored);
    } else if (ok) {
        stream->compressed = static_cast<uint8_t*>(AllocMemory(stored, __FILE__, __LINE__));
        ok = stream->compressed != nullptr && DiskFileSeek(stream->file, bodyStart, 0) == 0;
        if (ok && stream->async) {
            stream->pendingBytes =
                static_cast<uint32_t>(DiskFileRead(stream->compressed, 1, stored, stream->file));
            stream->pending = kPendingCompressed;
            return 0;
        }
        ok = ok &&
             ReadArchiveBytes(static_cast<int64_t>(GetArchiveBodyKeyPosition(archive, entry, 0)),
                              stream->compressed, stored, archive->key, stream->file) == stored &&
             ExpandEntry(stream, stream->compressed, stored);
        if (stream->compressed != nullptr) FreeMemory(stream->compressed);
        stream->compressed = nullptr;
    }
    if (!ok) FreeStreamBuffers(stream);
    CloseStreamFile(stream);
    return ok ? 0 : -1;
}

// Finishes a pending read once the file is idle: 1 when nothing is pending (any more).
int PollArchiveStream(ArchiveStream* stream) {
    if (stream->pending == kPendingNone || !stream->async) return 1;
    if (!IsDiskFileIdle(stream->file)) return 0;
    const Archive* archive = stream->archive;
    const ArchiveFileEntry* entry = stream->entry;
    if (stream->pending == kPendingCompressed) {
        uint32_t stored = entry->compressedSize;
        bool ok = stream->pendingBytes == stored;
        if (ok) {
            ScrambleArchiveBytes(stored, stream->compressed,
                                 GetArchiveBodyKeyPosition(archive, entry, 0), archive->key);
            ok = ExpandEntry(stream, stream->compressed, stored);
        }
        FreeMemory(stream->compressed);
        stream->compressed = nullptr;
        // A body that does not expand leaves no copy: reads then find nothing.
        if (!ok) FreeStreamBuffers(stream);
        CloseStreamFile(stream);
    } else {
        uint32_t offset = stream->pendingFilePosition - GetArchiveBodyStart(archive, entry);
        ScrambleArchiveBytes(stream->pendingBytes, stream->pendingDestination,
                             GetArchiveBodyKeyPosition(archive, entry, offset), archive->key);
    }
    stream->pending = kPendingNone;
    return 1;
}

void CompletePending(ArchiveStream* stream) {
    while (!PollArchiveStream(stream)) Sleep(1);
}

size_t ReadArchiveStream(ArchiveStream* stream, void* buffer, size_t bytes) {
    CompletePending(stream);
    if (stream->eof) return 0;
    const Archive* archive = stream->archive;
    const ArchiveFileEntry* entry = stream->entry;
    if (stream->position >= entry->size ||
        (IsArchiveEntryCompressed(archive, entry) && stream->expanded == nullptr)) {
        stream->eof = 1;
        return 0;
    }
    uint32_t remaining = entry->size - stream->position;
    uint32_t n = bytes < remaining ? static_cast<uint32_t>(bytes) : remaining;
    uint32_t bodyStart = GetArchiveBodyStart(archive, entry);
    if (stream->expanded != nullptr) {
        std::memcpy(buffer, stream->expanded + stream->position, n);
    } else if (archive->inMemory) {
        std::memcpy(buffer, archive->image + bodyStart + stream->position, n);
    } else {
        uint32_t target = bodyStart + stream->position;
        if (DiskFileTell(stream->file) != target && DiskFileSeek(stream->file, target, 0) != 0) {
            return 0;
        }
        if (stream->async) {
            n = static_cast<uint32_t>(DiskFileRead(buffer, 1, n, stream->file));
            stream->pending = kPendingRaw;
            stream->pendingBytes = n;
            stream->pendingDestination = static_cast<uint8_t*>(buffer);
            stream->pendingFilePosition = target;
        } else {
            n = ReadArchiveBytes(
                static_cast<int64_t>(GetArchiveBodyKeyPosition(archive, entry, stream->position)),
                buffer, n, archive->key, stream->file);
        }
    }
    stream->position += n;
    stream->eof = 0;
    return n;
}

int SeekArchiveStream(ArchiveStream* stream, int64_t offset, int32_t origin) {
    CompletePending(stream);
    int64_t position = ClampedSeekPosition(offset, origin, stream->position, stream->entry->size);
    if (position < 0) return -1;
    stream->position = static_cast<uint32_t>(position);
    stream->eof = 0;
    return 0;
}

// A pending read is dropped, not completed: the caller's buffer may be gone by now.
void CloseArchiveStream(ArchiveStream* stream) {
    if (stream->file != nullptr) {
        while (!IsDiskFileIdle(stream->file)) Sleep(1);
    }
    FreeStreamBuffers(stream);
    CloseStreamFile(stream);
}

// ---- The archive-aware set ----

bool OpenPlain(OpenFileEntry* entry, const char* path, int32_t useCache, int32_t useAsync) {
    entry->kind = kKindDisk;
    entry->diskFile = OpenDiskFile(path, useCache, 1, useAsync);
    return entry->diskFile != nullptr;
}

// Looks for an archive that holds path. -1: no archive; 0: opened from it; 1: not opened, and
// the disk is not to be tried either: the archive does not hold the file, or the path is too
// long to look for one.
int OpenFromArchive(OpenFileEntry* entry, const char* path, int32_t useAsync) {
    int32_t index = -1;
    char inner[kWorkPathBytes];
    ArchiveLookup lookup = FindArchiveForPath(path, &index, inner);
    if (lookup != ArchiveLookup::kFound) return lookup == ArchiveLookup::kNone ? -1 : 1;
    entry->kind = kKindArchive;
    entry->archiveIndex = index;
    if (OpenArchiveStream(&entry->stream, &gFileAccess.archives[index]->archive, inner, useAsync) ==
        0) {
        return 0;
    }
    DropArchiveReference(index);
    return 1;
}

StreamValue OpenArchiveAware(const char* path, int32_t useCache, int32_t unused, int32_t useAsync) {
    if (path == nullptr) return 0;
    EnsureSetUp();
    EnterLock(&gFileAccess.lock);
    if (gFileAccess.openCount == kMaxOpenFiles) {
        LeaveLock(&gFileAccess.lock);
        AppendLogText("同時に開けるファイルの数が限界を超えました\n");
        return 0;
    }
    int32_t index = 0;
    while (gFileAccess.files[index] != nullptr) index++;
    auto* entry =
        static_cast<OpenFileEntry*>(AllocClearedMemory(sizeof(OpenFileEntry), __FILE__, __LINE__));
    if (entry == nullptr) {
        LeaveLock(&gFileAccess.lock);
        AppendLogText("ファイルの情報を格納するメモリの確保に失敗しました\n");
        return 0;
    }
    // The slot is taken now; the disk is opened without the lock, so that one thread's disk open
    // does not hold up the others' opens.
    entry->opening = 1;
    gFileAccess.files[index] = entry;
    gFileAccess.openCount++;
    const bool plainFirst = gFileAccess.plainFileFirst != 0;
    int fromArchive = plainFirst ? -1 : OpenFromArchive(entry, path, useAsync);
    LeaveLock(&gFileAccess.lock);
    bool opened =
        fromArchive == 0 || (fromArchive < 0 && OpenPlain(entry, path, useCache, useAsync));
    if (!opened && plainFirst) {
        EnterLock(&gFileAccess.lock);
        opened = OpenFromArchive(entry, path, useAsync) == 0;
        LeaveLock(&gFileAccess.lock);
    }
    EnterLock(&gFileAccess.lock);
    if (opened) {
        entry->opening = 0;
    } else {
        FreeMemory(entry);
        gFileAccess.files[index] = nullptr;
        gFileAccess.openCount--;
    }
    LeaveLock(&gFileAccess.lock);
    return opened ? static_cast<StreamValue>(index) | kFileValueTag : 0;
}

int CloseArchiveAware(StreamValue file) {
    if (!gFileAccess.setUp.load()) return -1;
    EnterLock(&gFileAccess.lock);
    OpenFileEntry* entry = EntryOf(file);
    if (entry == nullptr) {
        LeaveLock(&gFileAccess.lock);
        return -1;
    }
    if (entry->kind == kKindDisk) {
        DiskFileClose(entry->diskFile);
    } else {
        CloseArchiveStream(&entry->stream);
        DropArchiveReference(entry->archiveIndex);
    }
    FreeMemory(entry);
    gFileAccess.files[file & kFileValueIndexMask] = nullptr;
    gFileAccess.openCount--;
    LeaveLock(&gFileAccess.lock);
    return 0;
}

int64_t TellArchiveAware(StreamValue file) {
    OpenFileEntry* entry = EntryOf(file);
    if (entry == nullptr) return -1;
    if (entry->kind == kKindDisk) return DiskFileTell(entry->diskFile);
    CompletePending(&entry->stream);
    return entry->stream.position;
}

int SeekArchiveAware(StreamValue file, int64_t offset, int32_t origin) {
    OpenFileEntry* entry = EntryOf(file);
    if (entry == nullptr) return -1;
    if (entry->kind == kKindDisk) return DiskFileSeek(entry->diskFile, offset, origin);
    return SeekArchiveStream(&entry->stream, offset, origin);
}

size_t ReadArchiveAware(void* buffer, size_t elementSize, size_t count, StreamValue file) {
    OpenFileEntry* entry = EntryOf(file);
    if (entry == nullptr || buffer == nullptr) return 0;
    if (entry->kind == kKindDisk) return DiskFileRead(buffer, elementSize, count, entry->diskFile);
    if (elementSize == 0 || ByteTotalOverflows(elementSize, count)) return 0;
    return ReadArchiveStream(&entry->stream, buffer, elementSize * count) / elementSize;
}

int EofArchiveAware(StreamValue file) {
    OpenFileEntry* entry = EntryOf(file);
    if (entry == nullptr) return -1;
    if (entry->kind == kKindDisk) return DiskFileEof(entry->diskFile);
    CompletePending(&entry->stream);
    return entry->stream.eof ? -1 : 0;
}

int IsArchiveAwareIdle(StreamValue file) {
    OpenFileEntry* entry = EntryOf(file);
    if (entry == nullptr) return -1;
    if (entry->kind == kKindDisk) return IsDiskFileIdle(entry->diskFile);
    return PollArchiveStream(&entry->stream);
}

FindValue FindFirstArchiveAware(const char* pattern, FileFindData* out) {
    if (pattern == nullptr) return -1;
    EnsureSetUp();
    auto* record = static_cast<FileFindRecord*>(
        AllocClearedMemory(sizeof(FileFindRecord), __FILE__, __LINE__));
    if (record == nullptr) return -1;
    // The cache and the memo change under the table lock, so the lookup takes it too.
    EnterLock(&gFileAccess.lock);
    int32_t index = -1;
    char inner[kWorkPathBytes];
    bool found = false;
    ArchiveLookup lookup = FindArchiveForPath(pattern, &index, inner);
    if (lookup == ArchiveLookup::kFound) {
        record->kind = kKindArchive;
        record->archiveIndex = index;
        found = FindFirstInArchive(&gFileAccess.archives[index]->archive, inner,
                                   &record->archiveFind, out) == 0;
        if (!found) DropArchiveReference(index);
    } else if (lookup == ArchiveLookup::kNone) {
        record->kind = kKindDisk;
        record->diskFind = DiskFindFirst(pattern, out);
        found = record->diskFind != -1;
    }
    LeaveLock(&gFileAccess.lock);
    if (!found) {
        FreeMemory(record);
        return -1;
    }
    return reinterpret_cast<FindValue>(record);
}

int FindNextArchiveAware(FindValue find, FileFindData* out) {
    if (find == 0 || find == -1) return -1;
    auto* record = reinterpret_cast<FileFindRecord*>(find);
    if (record->kind == kKindDisk) return DiskFindNext(record->diskFind, out);
    return FindNextInArchive(&record->archiveFind, out);
}

int FindCloseArchiveAware(FindValue find) {
    if (find == 0 || find == -1) return -1;
    auto* record = reinterpret_cast<FileFindRecord*>(find);
    if (record->kind == kKindDisk) {
        DiskFindClose(record->diskFind);
    } else {
        EnterLock(&gFileAccess.lock);
        DropArchiveReference(record->archiveIndex);
        LeaveLock(&gFileAccess.lock);
    }
    FreeMemory(record);
    return 0;
}

bool CopyBounded(char* out, uint32_t outBytes, const char* text) {
    if (text == nullptr) text = "";
    size_t length = std::strlen(text);
    if (length >= outBytes) return false;
    std::memcpy(out, text, length + 1);
    return true;
}

// Changes a setting that the lookup reads under the table lock (change gives 0, or -1 having
// changed nothing). The archives that no file uses are closed and the lookup's memo and misses
// forgotten, so that later opens look for every archive anew under the new setting.
template <typename Change>
int ChangeArchiveSetting(Change change) {
    std::lock_guard<std::mutex> guard(gFileAccess.setupMutex);
    if (!gFileAccess.setUp.load()) return change();
    EnterLock(&gFileAccess.lock);
    int result = change();
    if (result == 0) {
        ReleaseUnusedArchivesLocked();
        gFileAccess.memo.index = -1;
    }
    LeaveLock(&gFileAccess.lock);
    return result;
}

}  // namespace

int SetFileAccessFunctions(const FileAccessFunctions* table) {
    if (table != nullptr) {
        gFileAccess.functions = *table;
    } else {
        gFileAccess.functions =
            gFileAccess.noArchiveSwitch ? kDiskFileAccessFunctions : kArchiveAwareFunctions;
    }
    return 0;
}

const FileAccessFunctions* GetFileAccessFunctions() {
    return &gFileAccess.functions;
}

StreamValue OpenDataFile(const char* path, int32_t useCache, int32_t unused, int32_t useAsync) {
    return gFileAccess.functions.open(path, useCache, unused, useAsync);
}
int CloseDataFile(StreamValue file) {
    return gFileAccess.functions.close(file);
}
int64_t TellDataFile(StreamValue file) {
    return gFileAccess.functions.tell(file);
}
int SeekDataFile(StreamValue file, int64_t offset, int32_t origin) {
    return gFileAccess.functions.seek(file, offset, origin);
}
size_t ReadDataFile(void* buffer, size_t elementSize, size_t count, StreamValue file) {
    return gFileAccess.functions.read(buffer, elementSize, count, file);
}
int EofDataFile(StreamValue file) {
    return gFileAccess.functions.eof(file);
}
int IsDataFileIdle(StreamValue file) {
    return gFileAccess.functions.isIdle(file);
}
int SetDataCurrentDir(const char* path) {
    return gFileAccess.functions.setCurrentDir(path);
}
int GetDataCurrentDir(char* buffer) {
    return gFileAccess.functions.getCurrentDir(buffer);
}

int ToFullPath(const char* path, char* out, uint32_t outBytes) {
    char current[kCurrentDirBytes];
    return ResolveFullPath(path, out, outBytes, ReadCurrentDir(current));
}

int ToUpperFullPath(const char* path, char* out, uint32_t outBytes) {
    if (ToFullPath(path, out, outBytes) != 0) return -1;
    UpperCaseString(out);
    return 0;
}

int SetNoArchiveSwitch(int32_t on) {
    gFileAccess.noArchiveSwitch = on ? 1 : 0;
    return 0;
}

int SetPlainFileFirst(int32_t on) {
    gFileAccess.plainFileFirst = on ? 1 : 0;
    return 0;
}

int SetArchiveExtension(const char* extension) {
    // The extension follows a dot that the lookup adds, in the archive's own directory.
    if (extension != nullptr && (extension[0] == '.' || std::strpbrk(extension, "\\/"))) {
        return -1;
    }
    return ChangeArchiveSetting([extension] {
        return CopyBounded(gFileAccess.archiveExtension, kExtensionBytes, extension) ? 0 : -1;
    });
}

int SetArchiveKeyString(const char* keyString) {
    return ChangeArchiveSetting([keyString] {
        if (!CopyBounded(gFileAccess.archiveKeyString, kKeyStringBytes, keyString)) return -1;
        gFileAccess.keyStringSet = keyString != nullptr ? 1 : 0;
        gFileAccess.keyGeneration++;
        return 0;
    });
}

int SetupArchiveCache() {
    std::lock_guard<std::mutex> guard(gFileAccess.setupMutex);
    if (gFileAccess.setUp.load()) return -1;
    InitLock(&gFileAccess.lock);
    gFileAccess.memo.index = -1;
    ReleaseUnusedArchivesLocked();
    gFileAccess.setUp.store(1);
    return 0;
}

int ShutdownArchiveCache() {
    std::lock_guard<std::mutex> guard(gFileAccess.setupMutex);
    if (!gFileAccess.setUp.load()) return -1;
    EnterLock(&gFileAccess.lock);
    ReleaseUnusedArchivesLocked();
    LeaveLock(&gFileAccess.lock);
    DeleteLock(&gFileAccess.lock);
    gFileAccess.setUp.store(0);
    return 0;
}

int ReleaseUnusedArchives() {
    if (!gFileAccess.setUp.load()) return -1;
    EnterLock(&gFileAccess.lock);
    ReleaseUnusedArchivesLocked();
    LeaveLock(&gFileAccess.lock);
    return 0;
}

int SetupFileStreams() {
    return SetupHandleRegistry(&gFileAccess.fileHandles, HandleKindBits(kHandleKindFile),
                               sizeof(FileHandleRecord), kMaxOpenFiles, nullptr,
                               CloseFileHandleRecord, "ファイル");
}

int ShutdownFileStreams() {
    return ShutdownHandleRegistry(&gFileAccess.fileHandles);
}

int CloseFileHandleRecord(HandleHeader* record) {
    auto* file = reinterpret_cast<FileHandleRecord*>(record);
    if (file->value != 0) gFileAccess.functions.close(file->value);
    file->value = 0;
    return 0;
}

HandleRegistry* GetFileHandleRegistry() {
    return &gFileAccess.fileHandles;
}
