// The framework's archive format "OBA": a directory tree of files, each stored plain or
// LZ-compressed, scrambled by XOR with a 12-byte key. Opening from a file (tables only, or the
// whole file in memory) or from a caller's image, directory walking and path lookup.
#pragma once

#include <bit>
#include <cstdint>

#include "core/disk_file.h"

static_assert(std::endian::native == std::endian::little, "archive tables are read in place");

constexpr uint16_t kArchiveMagic = 0x424F;  // "OB"
constexpr uint16_t kArchiveMaxVersion = 5;
constexpr uint32_t kArchiveKeyBytes = 12;
constexpr uint32_t kArchiveDirectoryAttribute = 0x10;
constexpr uint32_t kArchiveStoredPlain = 0xFFFFFFFF;
constexpr uint32_t kArchiveNoParent = 0xFFFFFFFF;
constexpr uint32_t kArchivePathBytes = 1024;
// Names (and path components) are shorter than this; the padded upper-case name fits it.
constexpr uint32_t kArchiveNameBytes = 260;

#pragma pack(push, 1)
// At file offset 0; 24 bytes before version 4, 28 from version 4 (the code page).
struct ArchiveHeader {
    uint16_t magic;
    uint16_t version;
    uint32_t tableSize;
    uint32_t dataOffset;       // of the data area in the file
    uint32_t tableOffset;      // of the table block in the file
    uint32_t fileTableOffset;  // within the table block
    uint32_t dirTableOffset;   // within the table block
    uint32_t codePage;
};

// 40 bytes before version 2, 44 from version 2.
struct ArchiveFileEntry {
    uint32_t nameOffset;  // of the name record in the name table
    uint32_t attributes;
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    uint32_t dataOffset;  // within the data area; a directory's ArchiveDirEntry offset
    uint32_t size;
    uint32_t compressedSize;  // version 2 and later; kArchiveStoredPlain when not compressed
};

struct ArchiveDirEntry {
    uint32_t ownEntryOffset;  // in the file table
    uint32_t parentOffset;    // in the directory table; kArchiveNoParent for the root
    uint32_t entryCount;
    uint32_t firstEntryOffset;  // in the file table; the entries are consecutive
};
#pragma pack(pop)

// One path component as the name table stores it: the length of the padded upper-case name
// in 4-byte units, the byte sum of the padded name, the padded name.
struct ArchiveNameRecord {
    uint16_t lengthUnits;  // 0 for a component that cannot be a name (too long)
    uint16_t sum;
    uint8_t upper[kArchiveNameBytes];
};

struct Archive {
    ArchiveHeader header;  // plain
    int32_t charSet;       // decides the double-byte lead bytes of the names
    DiskFile* file;        // the table-only open
    uint8_t* image;        // a caller's image or one of its own
    uint8_t* tables;
    const uint8_t* fileTable;
    const uint8_t* dirTable;
    const uint8_t* nameTable;
    const ArchiveDirEntry* currentDir;
    char path[kArchivePathBytes];
    uint8_t key[kArchiveKeyBytes];
    int32_t inMemory;
    int32_t callerImage;
    uint32_t imageSize;
    int32_t loadPending;    // a read-whole open still reading
    DiskFile* pendingFile;  // the file of that read
};

// The 12-byte key: the key string repeated to 12 bytes (null or "" for the default fill),
// then a fixed per-position transformation.
void DeriveArchiveKey(const char* keyString, uint8_t key[kArchiveKeyBytes]);
// The key tried when the first one gives a wrong magic.
void MakeSecondArchiveKey(uint8_t key[kArchiveKeyBytes]);
// XORs byte i with key byte (keyPosition + i) mod 12; applying it twice restores the data.
void ScrambleArchiveBytes(uint32_t length, void* data, uint64_t keyPosition,
                          const uint8_t key[kArchiveKeyBytes]);
// Reads bytes at the file's position, waits until the file is idle, and unscrambles them at
// keyPosition, or at the file position where the read started when keyPosition is -1.
// Returns the bytes read.
uint32_t ReadArchiveBytes(int64_t keyPosition, void* buffer, uint32_t bytes,
                          const uint8_t key[kArchiveKeyBytes], DiskFile* file);

void ClearArchive(Archive* archive);
// Each open returns 0, or -1 with the record left empty: an occupied record, a wrong magic
// under both keys, version 6 or above, damaged tables, a file that cannot be read, or missing
// memory. A caller's image is plain while its archive is open and restored by CloseArchive.
int OpenArchiveFromImage(Archive* archive, void* image, uint32_t imageSize, const char* keyString);
int OpenArchiveFile(Archive* archive, const char* path, const char* keyString);
// Reads the tables, then the whole file into memory of its own; with async 1 it returns once
// the read is started and CompleteArchiveLoad finishes it.
int OpenArchiveFileWhole(Archive* archive, const char* path, const char* keyString, int32_t async);
// Waits for a pending read-whole open and finishes it; -1 (record emptied) when it failed.
int CompleteArchiveLoad(Archive* archive);
// Closes and empties the record; 0.
int CloseArchive(Archive* archive);

// The plain memory image when the archive is held in memory, else null.
uint8_t* GetArchiveImage(Archive* archive);
// position = data area + entry data offset (in the image or the file), size = entry size.
int LocateArchiveEntry(Archive* archive, const char* path, uint32_t* position, uint32_t* size);
// ".", "\\" or "/", "..", or a walk through subdirectories from the current directory. On a
// failed component: its name record, the start restored when restore is 1, -1.
int ChangeArchiveDir(Archive* archive, const char* path, int32_t restore,
                     ArchiveNameRecord* nameOut);
// The file (not directory) entry that path names, from the current directory; null if none.
const ArchiveFileEntry* FindArchiveFileEntry(const char* path, Archive* archive);
// The subdirectory entry of the current directory with that name record; null if none.
const ArchiveFileEntry* FindArchiveSubdir(Archive* archive, const ArchiveNameRecord* name);
// The name record of the first component of name; *length gets the bytes it took.
void NormalizeArchiveName(const char* name, const Archive* archive, ArchiveNameRecord* out,
                          uint32_t* length);

// Table access for enumeration and reading; the tables were checked when the archive opened.
const ArchiveDirEntry* GetArchiveRootDir(const Archive* archive);
const ArchiveDirEntry* GetArchiveDirOf(const Archive* archive, const ArchiveFileEntry* entry);
const ArchiveFileEntry* GetArchiveDirEntryAt(const Archive* archive, const ArchiveDirEntry* dir,
                                             uint32_t index);
// The name as written (zero-terminated).
const char* GetArchiveEntryName(const Archive* archive, const ArchiveFileEntry* entry);
bool IsArchiveEntryCompressed(const Archive* archive, const ArchiveFileEntry* entry);
// The entry's body: its stored bytes (compressed or plain) and where they start in the file.
uint32_t GetArchiveStoredSize(const Archive* archive, const ArchiveFileEntry* entry);
uint32_t GetArchiveBodyStart(const Archive* archive, const ArchiveFileEntry* entry);
// The key position of the body byte at offset within the entry's stored bytes.
uint64_t GetArchiveBodyKeyPosition(const Archive* archive, const ArchiveFileEntry* entry,
                                   uint32_t offset);
