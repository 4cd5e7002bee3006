// The file access layer: the table of twelve file operations (core/file_operations.h) through
// which every subsystem reads files, its archive-aware set (files inside archives named after a
// leading directory, else on disk), the front calls over the table in force, full paths against
// its current directory, and the file handle kind.
#pragma once

#include <orbek/orbek.h>

#include <cstddef>
#include <cstdint>

#include "core/file_operations.h"
#include "core/handle_registry.h"

constexpr int32_t kMaxOpenFiles = 32768;
constexpr int32_t kArchiveCacheSlots = 4096;

// Copies a caller's table, or with null installs the archive-aware set (the disk set while
// the no-archive switch is on). Returns 0.
int SetFileAccessFunctions(const FileAccessFunctions* table);
const FileAccessFunctions* GetFileAccessFunctions();

// The front calls (OpenDataFile and its siblings), each a jump through one slot of the table in
// force, are public: orbek/orbek.h declares them, and core/file_operations.h includes it.

// ResolveFullPath against the current directory of the table in force.
int ToFullPath(const char* path, char* out, uint32_t outBytes);
// ToFullPath with the letters a to z raised to upper case and double-byte characters kept.
int ToUpperFullPath(const char* path, char* out, uint32_t outBytes);

// The configuration of the archive-aware set (SetNoArchiveSwitch and its siblings) is public:
// orbek/orbek.h declares it.

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
