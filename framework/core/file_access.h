// The file access layer: the table of twelve file operations through which every subsystem
// reads files, its archive-aware set (files inside archives named after a leading directory,
// else on disk), the front calls over the table in force, and the file handle kind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/file_find_data.h"
#include "core/handle_registry.h"

// An open file: for the archive-aware set its open-file table index OR kFileValueTag, for the
// disk set the DiskFile itself. 0 means that the open failed.
using StreamValue = uintptr_t;
// A find in progress; -1 means that nothing matched.
using FindValue = intptr_t;

constexpr StreamValue kFileValueTag = 0xF0000000;
constexpr int32_t kMaxOpenFiles = 32768;
constexpr int32_t kArchiveCacheSlots = 4096;
// Buffers handed to the GetCurrentDir operation hold at least this many bytes.
constexpr uint32_t kCurrentDirBytes = 260;

struct FileAccessFunctions {
    // The third argument is read by no operation; callers pass 1.
    StreamValue (*open)(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
    int (*close)(StreamValue file);
    int64_t (*tell)(StreamValue file);
    // origin 0 from the start, 1 from the current position, 2 from the end.
    int (*seek)(StreamValue file, int64_t offset, int32_t origin);
    // The number of whole elements read, as fread counts them.
    size_t (*read)(void* buffer, size_t elementSize, size_t count, StreamValue file);
    // -1 once a read found the end, else 0.
    int (*eof)(StreamValue file);
    // 1 when no asynchronous read is pending, else 0.
    int (*isIdle)(StreamValue file);
    int (*setCurrentDir)(const char* path);
    int (*getCurrentDir)(char* buffer);
    FindValue (*findFirst)(const char* pattern, FileFindData* out);
    int (*findNext)(FindValue find, FileFindData* out);
    int (*findClose)(FindValue find);
};

// Copies a caller's table, or with null installs the archive-aware set (the disk set while
// the no-archive switch is on). Returns 0.
int SetFileAccessFunctions(const FileAccessFunctions* table);
const FileAccessFunctions* GetFileAccessFunctions();

// The front calls: each jumps through one slot of the table in force.
StreamValue OpenDataFile(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
int CloseDataFile(StreamValue file);
int64_t TellDataFile(StreamValue file);
int SeekDataFile(StreamValue file, int64_t offset, int32_t origin);
size_t ReadDataFile(void* buffer, size_t elementSize, size_t count, StreamValue file);
int EofDataFile(StreamValue file);
int IsDataFileIdle(StreamValue file);
int SetDataCurrentDir(const char* path);
int GetDataCurrentDir(char* buffer);

// Configuration of the archive-aware set; each takes effect for later opens.
void SetNoArchiveSwitch(int32_t on);
// 1: Open tries the plain file before the archives.
void SetPlainFileFirst(int32_t on);
// The extension of archive files without the dot; null or "" restores "OBA". -1 when too long.
int SetArchiveExtension(const char* extension);
// The key string handed to the archive reader; null restores the default key. -1 when too long.
int SetArchiveKeyString(const char* keyString);

// The open-file table and the archive cache; Open sets them up on first use.
int SetupArchiveCache();
int ShutdownArchiveCache();
// Closes every cached archive that no open file or find uses.
int ReleaseUnusedArchives();

// Handle kind 17: a record that holds a stream value, closed when the handle is deleted.
struct FileHandleRecord {
    HandleHeader header;
    StreamValue value;
};
int SetupFileStreams();
int ShutdownFileStreams();
// The terminate callback of the kind: closes the value through the Close slot; 0.
int CloseFileHandleRecord(HandleHeader* record);
HandleRegistry* GetFileHandleRegistry();
