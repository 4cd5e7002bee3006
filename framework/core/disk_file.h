// The disk side of the file access layer: a DiskFile reads one file directly or through a
// file-access thread of its own (read-ahead into a 128 KB buffer, asynchronous reads); find
// over the disk; the current directory; a temporary file for writing.
#pragma once

#include <platform/win32.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/file_find_data.h"
#include "core/file_operations.h"

constexpr uint32_t kDiskReadAheadBytes = 131072;
constexpr uint32_t kDiskPathBytes = 260;

// Request codes of the file-access thread; closing is done by the exit request.
constexpr int32_t kDiskRequestOpen = 0;
constexpr int32_t kDiskRequestRead = 2;
constexpr int32_t kDiskRequestSeek = 3;
constexpr int32_t kDiskRequestExit = 4;

struct DiskReadRequest {
    uint8_t* destination;
    uint32_t filePosition;
    uint32_t byteCount;  // the thread replaces it with the bytes read
};

struct DiskFile {
    HANDLE handle;     // direct mode
    int32_t threaded;  // 1 when read-ahead or asynchronous reading was asked for
    int32_t readAhead;
    int32_t async;
    int32_t eof;
    uint32_t position;
    uint32_t size;  // taken at open

    // The thread part.
    DWORD threadId;
    HANDLE thread;
    HANDLE threadFileHandle;  // touched by the file-access thread only
    HANDLE requestEvent;      // manual reset, created clear
    HANDLE doneEvent;         // manual reset, created set
    int32_t requestCode;
    std::atomic<int32_t> exited;
    int32_t openFailed;
    char path[kDiskPathBytes];
    DiskReadRequest read;
    uint32_t seekPosition;
    uint8_t* buffer;  // the read-ahead buffer, only with read-ahead
    uint32_t bufferPosition;
    std::atomic<uint32_t> bufferBytes;
};

// Null when the file cannot be opened (or its thread cannot be started).
DiskFile* OpenDiskFile(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
int DiskFileClose(DiskFile* file);
int64_t DiskFileTell(DiskFile* file);
// 0, or -1 when the position is refused (before the start or beyond 2 GB).
int DiskFileSeek(DiskFile* file, int64_t offset, int32_t origin);
size_t DiskFileRead(void* buffer, size_t elementSize, size_t count, DiskFile* file);
int DiskFileEof(DiskFile* file);
int IsDiskFileIdle(DiskFile* file);

// The current directory of both file sets. A directory whose full form does not fit the
// public buffer (kDataCurrentDirBytes) is not entered, so that relative paths keep a base that
// can be told; its full form is taken before entering, since other threads (a file-access
// thread, the loading threads) resolve relative paths against the current directory whenever
// they run. Always 0. GetDiskCurrentDir writes at most kDataCurrentDirBytes bytes.
int SetDiskCurrentDir(const char* path);
int GetDiskCurrentDir(char* buffer);

FindValue DiskFindFirst(const char* pattern, FileFindData* out);
int DiskFindNext(FindValue find, FileFindData* out);
int DiskFindClose(FindValue find);

// A new empty file opened for writing, its full path copied to pathOut (when not null);
// null on failure, pathOut then untouched.
HANDLE MakeTempFile(char* pathOut, uint32_t pathOutBytes);

// The disk set of the twelve file operations.
extern const FileAccessFunctions kDiskFileAccessFunctions;
