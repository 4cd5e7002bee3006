// Reading of "OBA" archives: the key and the XOR scrambling, the opens from a caller's image
// and from a file, and path lookup in the directory tree. Every table reference is checked
// against the table block, and every body against the data it lies in, before it is used.
#include "core/archive.h"

#include <algorithm>
#include <cstring>

#include "core/lz_expand.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"

namespace {

constexpr uint32_t kHeaderBytesBeforeV4 = 24;
constexpr uint32_t kHeaderBytes = 28;
constexpr uint32_t kMagicBytes = 8;  // magic, version and table size: enough to test a key
constexpr uint32_t kEntryBytesBeforeV2 = 40;
constexpr uint32_t kEntryBytes = 44;
constexpr uint32_t kDirEntryBytes = 16;
constexpr uint32_t kNameRecordHeadBytes = 4;

// Our own key constants: the fill of a missing key string and the second key's byte.
constexpr uint8_t kDefaultKeyFill = 0x5A;
constexpr uint8_t kSecondKeyByte = 0xC3;

uint32_t HeaderBytesOf(uint16_t version) {
    return version >= 4 ? kHeaderBytes : kHeaderBytesBeforeV4;
}

uint32_t EntryBytesOf(const Archive* archive) {
    return archive->header.version >= 2 ? kEntryBytes : kEntryBytesBeforeV2;
}

int32_t CharSetOfCodePage(uint32_t codePage) {
    switch (codePage) {
        case 932:
            return kCharSetShiftJis;
        case 949:
            return kCharSetKorean;
        case 950:
            return kCharSetBig5;
        case 936:
            return kCharSetGb;
        default:
            return 0;
    }
}

uint8_t RotateLeft(uint8_t b, int bits) {
    return static_cast<uint8_t>((b << bits) | (b >> (8 - bits)));
}

// The fixed per-position transformation of the repeated key string.
void TransformKey(uint8_t key[kArchiveKeyBytes]) {
    key[0] = static_cast<uint8_t>(~key[0]);
    key[1] = RotateLeft(key[1], 4);
    key[2] ^= 0x8A;
    key[3] = RotateLeft(key[3], 3);
    key[4] ^= 0x3C;
    key[5] = static_cast<uint8_t>(~key[5]);
    key[6] = RotateLeft(key[6], 5);
    key[7] ^= 0xD1;
    key[8] = RotateLeft(key[8], 4);
    key[9] = static_cast<uint8_t>(~key[9]);
    key[10] ^= 0x5E;
    key[11] = RotateLeft(key[11], 3);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The table references, each checked against the table block before it is followed.
const ArchiveDirEntry* DirAt(const Archive* archive, uint32_t offset) {
    uint64_t end = uint64_t{archive->header.dirTableOffset} + offset + kDirEntryBytes;
    if (end > archive->header.tableSize) return nullptr;
    return reinterpret_cast<const ArchiveDirEntry*>(archive->dirTable + offset);
}

const ArchiveFileEntry* EntryAt(const Archive* archive, uint32_t offset) {
    return reinterpret_cast<const ArchiveFileEntry*>(archive->fileTable + offset);
}

bool EntryRangeFits(const Archive* archive, const ArchiveDirEntry* dir) {
    uint64_t end = uint64_t{archive->header.fileTableOffset} + dir->firstEntryOffset +
                   uint64_t{dir->entryCount} * EntryBytesOf(archive);
    return end <= archive->header.tableSize;
}

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A name record: its head and padded name inside the table block, and the name as written
// zero-terminated within kArchiveNameBytes.
bool NameRecordFits(const Archive* archive, uint32_t offset) {
    uint64_t tableSize = archive->header.tableSize;
    if (uint64_t{offset} + kNameRecordHeadBytes > tableSize) return false;
    uint64_t nameStart =
        uint64_t{offset} + kNameRecordHeadBytes + ReadU16(archive->nameTable + offset) * 4u;
    if (nameStart >= tableSize) return false;
    uint64_t limit =
        tableSize - nameStart < kArchiveNameBytes ? tableSize - nameStart : kArchiveNameBytes;
    return std::memchr(archive->nameTable + nameStart, 0, limit) != nullptr;
}

// The limit is the size of the image or file that holds the data area. A body must also keep
// out of the table block, which a version 5 image unscrambles apart from the bodies. A
// compressed body must be able to expand to its size, which is taken whole when it is read.
bool BodyFits(const Archive* archive, const ArchiveFileEntry* entry, uint64_t limit) {
    uint32_t stored = GetArchiveStoredSize(archive, entry);
    uint64_t start = uint64_t{archive->header.dataOffset} + entry->dataOffset;
    uint64_t tableStart = archive->header.tableOffset;
    uint64_t tableEnd = tableStart + archive->header.tableSize;
    uint64_t packedCodes = stored > kLzHeadBytes ? stored - kLzHeadBytes : 0;
    return start + stored <= limit &&
           (stored == 0 || start + stored <= tableStart || start >= tableEnd) &&
           (!IsArchiveEntryCompressed(archive, entry) ||
            entry->size <= packedCodes * kLzLargestExpansion);
}

// Marks the bytes of one file entry as seen, one bit per byte of the file table; false when
// another directory's entries already took any of them.
bool ClaimEntry(uint8_t* claimed, uint32_t entryOffset, uint32_t entryBytes) {
    for (uint32_t i = entryOffset; i < entryOffset + entryBytes; ++i) {
        uint8_t bit = static_cast<uint8_t>(1u << (i % 8));
        if ((claimed[i / 8] & bit) != 0) return false;
        claimed[i / 8] |= bit;
    }
    return true;
}

// Visits every file entry of every directory reachable from the root, depth first, each
// directory's entries in table order, checking each reference on the way. A subdirectory must
// name its parent and its own entry; that rules out cycles and shared directories, and lets
// the walk return to the parent without a stack. With `claimed` (a zeroed bit per byte of the
// file table) no entry may be reached twice, so the walk stays linear in the table's size
// even when directories name overlapping entry ranges. False at the first reference that does
// not fit.
template <typename Visit>
bool WalkArchiveTree(const Archive* archive, uint64_t dataLimit, uint8_t* claimed, Visit visit) {
    const uint32_t entryBytes = EntryBytesOf(archive);
    uint32_t dirOffset = 0;
    const ArchiveDirEntry* dir = DirAt(archive, 0);
    if (dir == nullptr || dir->parentOffset != kArchiveNoParent) return false;
    uint32_t index = 0;
    for (;;) {
        if (!EntryRangeFits(archive, dir)) return false;
        if (index < dir->entryCount) {
            uint32_t entryOffset = dir->firstEntryOffset + index * entryBytes;
            if (claimed != nullptr && !ClaimEntry(claimed, entryOffset, entryBytes)) return false;
            const ArchiveFileEntry* entry = EntryAt(archive, entryOffset);
            if (!NameRecordFits(archive, entry->nameOffset)) return false;
            index++;
            if (entry->attributes & kArchiveDirectoryAttribute) {
                const ArchiveDirEntry* child = DirAt(archive, entry->dataOffset);
                if (child == nullptr || child->parentOffset != dirOffset ||
                    child->ownEntryOffset != entryOffset) {
                    return false;
                }
                dirOffset = entry->dataOffset;
                dir = child;
                index = 0;
            } else {
                if (!BodyFits(archive, entry, dataLimit)) return false;
                visit(entry);
            }
            continue;
        }
        if (dir->parentOffset == kArchiveNoParent) return true;
        const ArchiveDirEntry* parent = DirAt(archive, dir->parentOffset);
        index = (dir->ownEntryOffset - parent->firstEntryOffset) / entryBytes + 1;
        dirOffset = dir->parentOffset;
        dir = parent;
    }
}

// XORs every non-empty file body of an image held in memory with its own key stream; being
// its own inverse, it also scrambles a caller's image back on close.
void UnscrambleArchiveBodies(Archive* archive) {
    WalkArchiveTree(archive, archive->imageSize, nullptr, [archive](const ArchiveFileEntry* entry) {
        if (entry->size == 0) return;
        ScrambleArchiveBytes(GetArchiveStoredSize(archive, entry),
                             archive->image + GetArchiveBodyStart(archive, entry),
                             GetArchiveBodyKeyPosition(archive, entry, 0), archive->key);
    });
}

struct BodySpan {
    uint64_t start, end;
};

// Walks the tree once to check every reference, with no file entry reached twice. Version 5
// also refuses bodies that overlap: each body is unscrambled with its own key stream, so a
// shared body would be unscrambled twice, and the work would grow with the square of the size.
bool CheckArchiveTree(const Archive* archive, uint64_t dataLimit) {
    const ArchiveHeader& header = archive->header;
    const uint32_t tableBytes = header.tableSize - header.fileTableOffset;
    const uint32_t claimedBytes = tableBytes / 8 + 1;
    const bool scrambledBodies = header.version == 5;
    const uint32_t maxBodies = scrambledBodies ? tableBytes / EntryBytesOf(archive) : 0;
    auto* claimed = static_cast<uint8_t*>(AllocMemory(claimedBytes, __FILE__, __LINE__));
    auto* bodies = static_cast<BodySpan*>(
        AllocMemory(maxBodies * static_cast<uint32_t>(sizeof(BodySpan)) + 1, __FILE__, __LINE__));
    bool fits = claimed != nullptr && bodies != nullptr;
    uint32_t count = 0;
    if (fits) {
        std::memset(claimed, 0, claimedBytes);
        fits = WalkArchiveTree(archive, dataLimit, claimed, [&](const ArchiveFileEntry* entry) {
            uint32_t stored = GetArchiveStoredSize(archive, entry);
            if (!scrambledBodies || stored == 0 || count == maxBodies) return;
            uint64_t start = uint64_t{header.dataOffset} + entry->dataOffset;
            bodies[count++] = {start, start + stored};
        });
    }
    if (fits && count > 1) {
        std::sort(bodies, bodies + count,
                  [](const BodySpan& a, const BodySpan& b) { return a.start < b.start; });
        for (uint32_t i = 1; i < count && fits; ++i) fits = bodies[i].start >= bodies[i - 1].end;
    }
    FreeMemory(claimed);
    FreeMemory(bodies);
    return fits;
}

// Points the table pointers into the table block, checks the header's offsets and walks the
// tree once to check every reference.
bool AttachTables(Archive* archive, uint8_t* tables, uint64_t dataLimit) {
    const ArchiveHeader& header = archive->header;
    if (header.fileTableOffset > header.tableSize || header.dirTableOffset > header.tableSize) {
        return false;
    }
    archive->tables = tables;
    archive->nameTable = tables;
    archive->fileTable = tables + header.fileTableOffset;
    archive->dirTable = tables + header.dirTableOffset;
    archive->charSet = CharSetOfCodePage(header.codePage);
    if (!CheckArchiveTree(archive, dataLimit)) return false;
    archive->currentDir = GetArchiveRootDir(archive);
    return true;
}

bool HasMagic(const uint8_t* bytes) {
    return ReadU16(bytes) == kArchiveMagic;
}

// The header copy from the first bytes, read by `read`(count, into, key position), trying the
// key string's key and then the second key. False on a wrong magic under both, a version of 6
// or above, or a short read.
template <typename Read>
bool ReadArchiveHeader(Archive* archive, const char* keyString, Read read) {
    uint8_t bytes[kHeaderBytes] = {};
    DeriveArchiveKey(keyString, archive->key);
    if (!read(kMagicBytes, bytes, archive->key) || !HasMagic(bytes)) {
        MakeSecondArchiveKey(archive->key);
        if (!read(kMagicBytes, bytes, archive->key) || !HasMagic(bytes)) return false;
    }
    uint16_t version = ReadU16(bytes + 2);
    if (version > kArchiveMaxVersion) return false;
    if (!read(HeaderBytesOf(version), bytes, archive->key)) return false;
    std::memcpy(&archive->header, bytes, sizeof archive->header);
    return true;
}

// Frees what an open took, without putting a caller's image back.
void ReleaseArchive(Archive* archive) {
    if (archive->pendingFile != nullptr) {
        while (!IsDiskFileIdle(archive->pendingFile)) Sleep(0);
        DiskFileClose(archive->pendingFile);
    }
    if (archive->file != nullptr) DiskFileClose(archive->file);
    if (!archive->callerImage) {
        if (archive->image != nullptr) FreeMemory(archive->image);
        if (archive->tables != nullptr) FreeMemory(archive->tables);
    }
    ClearArchive(archive);
}

// Makes an image of our own plain: the whole of it below version 5; for version 5 the bodies
// only, since its tables already sit plain in memory of their own.
bool FinishArchiveImage(Archive* archive) {
    if (archive->header.version < 5) {
        ScrambleArchiveBytes(archive->imageSize, archive->image, 0, archive->key);
    } else {
        UnscrambleArchiveBodies(archive);
    }
    archive->inMemory = 1;
    return true;
}

bool NameRecordMatches(const Archive* archive, const ArchiveFileEntry* entry,
                       const ArchiveNameRecord* name) {
    if (name->lengthUnits == 0) return false;
    const uint8_t* record = archive->nameTable + entry->nameOffset;
    return ReadU16(record) == name->lengthUnits && ReadU16(record + 2) == name->sum &&
           std::memcmp(record + kNameRecordHeadBytes, name->upper, name->lengthUnits * 4u) == 0;
}

// The entry of the current directory with that name and kind (directory or not), or null.
const ArchiveFileEntry* SearchCurrentDir(const Archive* archive, const ArchiveNameRecord* name,
                                         bool directory) {
    const ArchiveDirEntry* dir = archive->currentDir;
    for (uint32_t i = 0; i < dir->entryCount; i++) {
        const ArchiveFileEntry* entry = GetArchiveDirEntryAt(archive, dir, i);
        bool isDirectory = (entry->attributes & kArchiveDirectoryAttribute) != 0;
        if (isDirectory == directory && NameRecordMatches(archive, entry, name)) return entry;
    }
    return nullptr;
}

// Enters each component of path that names a subdirectory, from the current directory; an
// empty component before a separator makes the root current. Returns null when the walk
// reached the end or a trailing separator, else the first component that is not a
// subdirectory, with its name record in *name.
const char* WalkArchivePath(Archive* archive, const char* path, ArchiveNameRecord* name) {
    const char* p = path;
    while (*p != '\0') {
        if (IsSeparator(*p)) {
            archive->currentDir = GetArchiveRootDir(archive);
            p++;
            continue;
        }
        uint32_t length = 0;
        NormalizeArchiveName(p, archive, name, &length);
        const ArchiveFileEntry* subdir = FindArchiveSubdir(archive, name);
        if (subdir == nullptr) return p;
        archive->currentDir = GetArchiveDirOf(archive, subdir);
        p += length;
        if (*p != '\0') p++;
    }
    return nullptr;
}

bool IsOccupied(const Archive* archive) {
    return archive->tables != nullptr || archive->loadPending;
}

}  // namespace

void DeriveArchiveKey(const char* keyString, uint8_t key[kArchiveKeyBytes]) {
    size_t length = keyString == nullptr ? 0 : std::strlen(keyString);
    for (uint32_t i = 0; i < kArchiveKeyBytes; i++) {
        key[i] = length == 0 ? kDefaultKeyFill : static_cast<uint8_t>(keyString[i % length]);
    }
    TransformKey(key);
}

void MakeSecondArchiveKey(uint8_t key[kArchiveKeyBytes]) {
    std::memset(key, kSecondKeyByte, kArchiveKeyBytes);
}

void ScrambleArchiveBytes(uint32_t length, void* data, uint64_t keyPosition,
                          const uint8_t key[kArchiveKeyBytes]) {
    uint8_t* p = static_cast<uint8_t*>(data);
    uint32_t k = static_cast<uint32_t>(keyPosition % kArchiveKeyBytes);
    while (length > 0 && k != 0) {
        *p++ ^= key[k];
        k = (k + 1) % kArchiveKeyBytes;
        length--;
    }
    uint32_t words[3];
    std::memcpy(words, key, sizeof words);
    for (; length >= kArchiveKeyBytes; length -= kArchiveKeyBytes, p += kArchiveKeyBytes) {
        for (int w = 0; w < 3; w++) {
            uint32_t v;
            std::memcpy(&v, p + 4 * w, 4);
            v ^= words[w];
            std::memcpy(p + 4 * w, &v, 4);
        }
    }
    for (uint32_t i = 0; i < length; i++) p[i] ^= key[i];
}

uint32_t ReadArchiveBytes(int64_t keyPosition, void* buffer, uint32_t bytes,
                          const uint8_t key[kArchiveKeyBytes], DiskFile* file) {
    uint64_t start = static_cast<uint64_t>(DiskFileTell(file));
    uint32_t got = static_cast<uint32_t>(DiskFileRead(buffer, 1, bytes, file));
    while (!IsDiskFileIdle(file)) Sleep(0);
    ScrambleArchiveBytes(got, buffer, keyPosition < 0 ? start : static_cast<uint64_t>(keyPosition),
                         key);
    return got;
}

void ClearArchive(Archive* archive) {
    std::memset(static_cast<void*>(archive), 0, sizeof *archive);
}

int OpenArchiveFromImage(Archive* archive, void* image, uint32_t imageSize, const char* keyString) {
    if (IsOccupied(archive) || image == nullptr) return -1;
    uint8_t* bytes = static_cast<uint8_t*>(image);
    bool headerRead = ReadArchiveHeader(
        archive, keyString, [bytes, imageSize](uint32_t count, uint8_t* into, const uint8_t* key) {
            if (count > imageSize) return false;
            std::memcpy(into, bytes, count);
            ScrambleArchiveBytes(count, into, 0, key);
            return true;
        });
    const ArchiveHeader& header = archive->header;
    if (!headerRead || uint64_t{header.tableOffset} + header.tableSize > imageSize) {
        ClearArchive(archive);
        return -1;
    }
    archive->image = bytes;
    archive->imageSize = imageSize;
    archive->callerImage = 1;
    uint8_t* tables = bytes + header.tableOffset;
    if (header.version < 5) {
        ScrambleArchiveBytes(imageSize, bytes, 0, archive->key);
    } else {
        ScrambleArchiveBytes(header.tableSize, tables, 0, archive->key);
    }
    if (!AttachTables(archive, tables, imageSize)) {
        // Put the caller's image back as it came.
        if (header.version < 5) {
            ScrambleArchiveBytes(imageSize, bytes, 0, archive->key);
        } else {
            ScrambleArchiveBytes(header.tableSize, tables, 0, archive->key);
        }
        ClearArchive(archive);
        return -1;
    }
    if (header.version == 5) UnscrambleArchiveBodies(archive);
    archive->inMemory = 1;
    return 0;
}

int OpenArchiveFile(Archive* archive, const char* path, const char* keyString) {
    if (IsOccupied(archive) || path == nullptr) return -1;
    if (std::strlen(path) >= kArchivePathBytes) return -1;
    DiskFile* file = OpenDiskFile(path, 0, 1, 0);
    if (file == nullptr) return -1;
    archive->file = file;
    std::memcpy(archive->path, path, std::strlen(path) + 1);

    bool headerRead = ReadArchiveHeader(
        archive, keyString, [file](uint32_t count, uint8_t* into, const uint8_t* key) {
            return DiskFileSeek(file, 0, 0) == 0 &&
                   ReadArchiveBytes(0, into, count, key, file) == count;
        });
    const ArchiveHeader& header = archive->header;
    if (!headerRead || uint64_t{header.tableOffset} + header.tableSize > file->size) {
        ReleaseArchive(archive);
        return -1;
    }
    uint8_t* tables = static_cast<uint8_t*>(AllocMemory(header.tableSize, __FILE__, __LINE__));
    if (tables == nullptr) {
        ReleaseArchive(archive);
        return -1;
    }
    archive->tables = tables;
    int64_t keyPosition = header.version < 5 ? -1 : 0;
    if (DiskFileSeek(file, header.tableOffset, 0) != 0 ||
        ReadArchiveBytes(keyPosition, tables, header.tableSize, archive->key, file) !=
            header.tableSize ||
        !AttachTables(archive, tables, file->size)) {
        ReleaseArchive(archive);
        return -1;
    }
    return 0;
}

int OpenArchiveFileWhole(Archive* archive, const char* path, const char* keyString, int32_t async) {
    if (OpenArchiveFile(archive, path, keyString) != 0) return -1;
    DiskFile* file = archive->file;
    uint32_t size = file->size;
    archive->image = static_cast<uint8_t*>(AllocMemory(size, __FILE__, __LINE__));
    archive->imageSize = size;
    if (archive->image == nullptr) {
        ReleaseArchive(archive);
        return -1;
    }
    if (!async) {
        bool read =
            DiskFileSeek(file, 0, 0) == 0 && DiskFileRead(archive->image, 1, size, file) == size;
        DiskFileClose(file);
        archive->file = nullptr;
        if (!read) {
            ReleaseArchive(archive);
            return -1;
        }
        FinishArchiveImage(archive);
        return 0;
    }
    DiskFileClose(file);
    archive->file = nullptr;
    archive->pendingFile = OpenDiskFile(archive->path, 0, 1, 1);
    if (archive->pendingFile == nullptr) {
        ReleaseArchive(archive);
        return -1;
    }
    DiskFileRead(archive->image, 1, size, archive->pendingFile);
    archive->loadPending = 1;
    return 0;
}

int CompleteArchiveLoad(Archive* archive) {
    if (!archive->loadPending) return 0;
    DiskFile* file = archive->pendingFile;
    while (!IsDiskFileIdle(file)) Sleep(0);
    // The thread leaves the bytes it read in the request once the read is done.
    bool complete = file->read.byteCount == archive->imageSize;
    DiskFileClose(file);
    archive->pendingFile = nullptr;
    archive->loadPending = 0;
    if (!complete) {
        ReleaseArchive(archive);
        return -1;
    }
    FinishArchiveImage(archive);
    return 0;
}

int CloseArchive(Archive* archive) {
    if (archive->callerImage && archive->inMemory) {
        if (archive->header.version < 5) {
            ScrambleArchiveBytes(archive->imageSize, archive->image, 0, archive->key);
        } else {
            UnscrambleArchiveBodies(archive);
            ScrambleArchiveBytes(archive->header.tableSize, archive->tables, 0, archive->key);
        }
    }
    ReleaseArchive(archive);
    return 0;
}

uint8_t* GetArchiveImage(Archive* archive) {
    if (CompleteArchiveLoad(archive) != 0 || !archive->inMemory) return nullptr;
    return archive->image;
}

int LocateArchiveEntry(Archive* archive, const char* path, uint32_t* position, uint32_t* size) {
    const ArchiveFileEntry* entry = FindArchiveFileEntry(path, archive);
    if (entry == nullptr) return -1;
    if (position != nullptr) *position = GetArchiveBodyStart(archive, entry);
    if (size != nullptr) *size = entry->size;
    return 0;
}

int ChangeArchiveDir(Archive* archive, const char* path, int32_t restore,
                     ArchiveNameRecord* nameOut) {
    if (CompleteArchiveLoad(archive) != 0 || archive->tables == nullptr) return -1;
    if (std::strcmp(path, ".") == 0) return 0;
    if (std::strcmp(path, "\\") == 0 || std::strcmp(path, "/") == 0) {
        archive->currentDir = GetArchiveRootDir(archive);
        return 0;
    }
    if (std::strcmp(path, "..") == 0) {
        if (archive->currentDir->parentOffset == kArchiveNoParent) return -1;
        archive->currentDir = DirAt(archive, archive->currentDir->parentOffset);
        return 0;
    }
    const ArchiveDirEntry* start = archive->currentDir;
    ArchiveNameRecord name;
    if (WalkArchivePath(archive, path, &name) == nullptr) return 0;
    if (nameOut != nullptr) *nameOut = name;
    if (restore == 1) archive->currentDir = start;
    return -1;
}

const ArchiveFileEntry* FindArchiveFileEntry(const char* path, Archive* archive) {
    if (CompleteArchiveLoad(archive) != 0 || archive->tables == nullptr) return nullptr;
    const ArchiveDirEntry* start = archive->currentDir;
    ArchiveNameRecord name;
    uint32_t length = 0;
    NormalizeArchiveName(path, archive, &name, &length);
    const ArchiveFileEntry* found = nullptr;
    if (path[length] == '\0') {
        found = SearchCurrentDir(archive, &name, false);
    } else {
        // Only the last component may name the file: "a\x\b" is not the file a\x.
        const char* failed = WalkArchivePath(archive, path, &name);
        if (failed != nullptr) {
            NormalizeArchiveName(failed, archive, &name, &length);
            if (failed[length] == '\0') found = SearchCurrentDir(archive, &name, false);
        }
    }
    archive->currentDir = start;
    return found;
}

const ArchiveFileEntry* FindArchiveSubdir(Archive* archive, const ArchiveNameRecord* name) {
    if (CompleteArchiveLoad(archive) != 0 || archive->tables == nullptr) return nullptr;
    return SearchCurrentDir(archive, name, true);
}

void NormalizeArchiveName(const char* name, const Archive* archive, ArchiveNameRecord* out,
                          uint32_t* length) {
    std::memset(out->upper, 0, sizeof out->upper);
    // The padded name takes ((n + 4) / 4) x 4 bytes, so n stays below the buffer size.
    constexpr uint32_t kMaxNameBytes = kArchiveNameBytes - 1;
    uint32_t stored = 0;
    uint32_t sum = 0;
    bool fits = true;
    auto store = [&](uint8_t b) {
        if (stored == kMaxNameBytes) {
            fits = false;
            return;
        }
        out->upper[stored++] = b;
        sum += b;
    };
    uint32_t i = 0;
    while (name[i] != '\0' && !IsSeparator(name[i])) {
        uint8_t b = static_cast<uint8_t>(name[i]);
        if (IsLeadByte(b, archive->charSet) && name[i + 1] != '\0') {
            store(b);
            store(static_cast<uint8_t>(name[i + 1]));
            i += 2;
            continue;
        }
        store(b >= 'a' && b <= 'z' ? static_cast<uint8_t>(b - 'a' + 'A') : b);
        i++;
    }
    out->lengthUnits = fits ? static_cast<uint16_t>((stored + 4) / 4) : 0;
    out->sum = static_cast<uint16_t>(sum);
    *length = i;
}

const ArchiveDirEntry* GetArchiveRootDir(const Archive* archive) {
    return reinterpret_cast<const ArchiveDirEntry*>(archive->dirTable);
}

const ArchiveDirEntry* GetArchiveDirOf(const Archive* archive, const ArchiveFileEntry* entry) {
    return reinterpret_cast<const ArchiveDirEntry*>(archive->dirTable + entry->dataOffset);
}

const ArchiveFileEntry* GetArchiveDirEntryAt(const Archive* archive, const ArchiveDirEntry* dir,
                                             uint32_t index) {
    if (index >= dir->entryCount) return nullptr;
    return EntryAt(archive, dir->firstEntryOffset + index * EntryBytesOf(archive));
}

const char* GetArchiveEntryName(const Archive* archive, const ArchiveFileEntry* entry) {
    const uint8_t* record = archive->nameTable + entry->nameOffset;
    return reinterpret_cast<const char*>(record + kNameRecordHeadBytes + ReadU16(record) * 4u);
}

bool IsArchiveEntryCompressed(const Archive* archive, const ArchiveFileEntry* entry) {
    return archive->header.version >= 2 && entry->compressedSize != kArchiveStoredPlain;
}

uint32_t GetArchiveStoredSize(const Archive* archive, const ArchiveFileEntry* entry) {
    return IsArchiveEntryCompressed(archive, entry) ? entry->compressedSize : entry->size;
}

uint32_t GetArchiveBodyStart(const Archive* archive, const ArchiveFileEntry* entry) {
    return archive->header.dataOffset + entry->dataOffset;
}

uint64_t GetArchiveBodyKeyPosition(const Archive* archive, const ArchiveFileEntry* entry,
                                   uint32_t offset) {
    if (archive->header.version < 5) return uint64_t{GetArchiveBodyStart(archive, entry)} + offset;
    return uint64_t{entry->size} + offset;
}
