// Plain files on disk: direct reads through the system's file calls, or reads through a
// file-access thread per file that serves one request at a time (read-ahead into a 128 KB
// buffer, asynchronous reads); find over the disk and a temporary file for writing.
#include "core/disk_file.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "core/clocks.h"
#include "core/full_path.h"
#include "core/log.h"
#include "core/tracked_memory.h"

namespace {

constexpr DWORD kReadAheadWaitMs = 100;
constexpr DWORD kTempPathBytes = 256;
// Positions beyond this are refused: the system's file pointer takes a signed 32-bit distance.
constexpr int64_t kMaxPosition = INT32_MAX;

// Caller side of the request protocol: at most one request is outstanding, so the caller
// waits until the last one is done, fills the request fields, then submits.
void WaitUntilDone(DiskFile* file) {
    WaitForSingleObject(file->doneEvent, INFINITE);
}

void SubmitRequest(DiskFile* file, int32_t code) {
    file->requestCode = code;
    ResetEvent(file->doneEvent);
    SetEvent(file->requestEvent);
}

void WaitForThreadExit(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    while (GetExitCodeThread(thread, &code) && code == STILL_ACTIVE) Sleep(1);
}

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsOpen(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Thread side: on a wait time-out, read ahead into the rest of the buffer.
void FillReadAhead(DiskFile* file) {
    uint32_t held = file->bufferBytes.load();
    if (!IsOpen(file->threadFileHandle) || held >= kDiskReadAheadBytes) return;
    if (SetFilePointer(file->threadFileHandle, static_cast<LONG>(file->bufferPosition + held),
                       nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return;
    }
    DWORD got = 0;
    if (ReadFile(file->threadFileHandle, file->buffer + held, kDiskReadAheadBytes - held, &got,
                 nullptr)) {
        file->bufferBytes.store(held + got);
    }
}

void RestartBuffer(DiskFile* file, uint32_t position) {
    file->bufferPosition = position;
    file->bufferBytes.store(0);
}

// Thread side of a read: what the buffer holds at the read position first, the rest straight
// from the file. The count becomes the bytes read.
void ServeRead(DiskFile* file) {
    DiskReadRequest& request = file->read;
    uint32_t wanted = request.byteCount;
    uint32_t done = 0;
    uint32_t held = file->bufferBytes.load();
    if (file->buffer != nullptr && request.filePosition == file->bufferPosition && held > 0) {
        uint32_t take = wanted < held ? wanted : held;
        std::memcpy(request.destination, file->buffer, take);
        done = take;
        held -= take;
        std::memmove(file->buffer, file->buffer + take, held);
        file->bufferPosition += take;
        file->bufferBytes.store(held);
    }
    if (done < wanted) {
        uint32_t position = request.filePosition + done;
        DWORD got = 0;
        if (SetFilePointer(file->threadFileHandle, static_cast<LONG>(position), nullptr,
                           FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
            ReadFile(file->threadFileHandle, request.destination + done, wanted - done, &got,
                     nullptr)) {
            done += got;
        }
        if (file->buffer != nullptr) RestartBuffer(file, position + got);
    }
    request.byteCount = done;
}

DWORD FileAccessThreadProc(LPVOID parameter) {
    DiskFile* file = static_cast<DiskFile*>(parameter);
    for (;;) {
        DWORD wait =
            WaitForSingleObject(file->requestEvent, file->readAhead ? kReadAheadWaitMs : INFINITE);
        if (wait == WAIT_TIMEOUT) {
            FillReadAhead(file);
            continue;
        }
        ResetEvent(file->requestEvent);
        ResetEvent(file->doneEvent);
        switch (file->requestCode) {
            case kDiskRequestOpen:
                file->threadFileHandle = OpenForReading(file->path);
                if (!IsOpen(file->threadFileHandle)) {
                    file->threadFileHandle = nullptr;
                    file->openFailed = 1;
                    SetEvent(file->doneEvent);
                    file->exited.store(1);
                    return 0;
                }
                break;
            case kDiskRequestRead:
                ServeRead(file);
                break;
            case kDiskRequestSeek:
                SetFilePointer(file->threadFileHandle, static_cast<LONG>(file->seekPosition),
                               nullptr, FILE_BEGIN);
                if (file->buffer != nullptr) RestartBuffer(file, file->seekPosition);
                break;
            default:  // exit
                if (IsOpen(file->threadFileHandle)) CloseHandle(file->threadFileHandle);
                file->threadFileHandle = nullptr;
                SetEvent(file->doneEvent);
                file->exited.store(1);
                return 0;
        }
        SetEvent(file->doneEvent);
    }
}

DiskFile* NewDiskFile() {
    void* memory = AllocClearedMemory(sizeof(DiskFile), __FILE__, __LINE__);
    return memory == nullptr ? nullptr : new (memory) DiskFile{};
}

void FreeThreadParts(DiskFile* file) {
    if (file->buffer != nullptr) FreeMemory(file->buffer);
    if (file->requestEvent != nullptr) CloseHandle(file->requestEvent);
    if (file->doneEvent != nullptr) CloseHandle(file->doneEvent);
}

// Starts the file-access thread and has it open the file; false (everything freed but the
// record, the failure logged) when that cannot be done.
bool StartFileThread(DiskFile* file) {
    if (file->readAhead) {
        file->buffer = static_cast<uint8_t*>(AllocMemory(kDiskReadAheadBytes, __FILE__, __LINE__));
        if (file->buffer == nullptr) {
            AppendLogText("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
            return false;
        }
    }
    file->requestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    file->doneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (file->requestEvent != nullptr && file->doneEvent != nullptr) {
        file->thread = CreateThread(nullptr, 0, FileAccessThreadProc, file, 0, &file->threadId);
    }
    if (file->thread == nullptr) {
        FreeThreadParts(file);
        AppendLogText("ファイルアクセス専用スレッドの作成に失敗しました\n");
        return false;
    }
    SetThreadPriority(file->thread, THREAD_PRIORITY_LOWEST);
    SubmitRequest(file, kDiskRequestOpen);
    WaitUntilDone(file);
    if (file->openFailed) {
        WaitForThreadExit(file->thread);
        CloseHandle(file->thread);
        FreeThreadParts(file);
        AppendLogText("ファイルのオープンに失敗しました\n");
        return false;
    }
    return true;
}

void FillFindData(const WIN32_FIND_DATAA& found, FileFindData* out) {
    std::memcpy(out->name, found.cFileName, sizeof out->name);
    out->name[sizeof out->name - 1] = '\0';
    out->isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    out->sizeLow = found.nFileSizeLow;
    out->sizeHigh = found.nFileSizeHigh;
    FileTimeToDateTime(&found.ftCreationTime, out->creationTime);
    FileTimeToDateTime(&found.ftLastWriteTime, out->lastWriteTime);
}

// The disk set's stream values are its files' addresses. The files it has open are kept, so
// that a value that is none of them (closed already, or never opened) is refused as the archive
// set refuses one, instead of being followed.
struct DiskSlots {
    std::mutex lock;
    std::unordered_set<StreamValue> open;
};
// Never destroyed: a file may be closed while the process exits.
DiskSlots& gDiskSlots = *new DiskSlots;

// The open file of the value, or null.
DiskFile* AsDiskFile(StreamValue value) {
    std::lock_guard guard(gDiskSlots.lock);
    return gDiskSlots.open.count(value) != 0 ? reinterpret_cast<DiskFile*>(value) : nullptr;
}

// The disk set's slots over stream values; a value that is no open file (a failed open's 0
// among them) gets the empty-slot results.
StreamValue OpenDiskSlot(const char* path, int32_t useCache, int32_t unused, int32_t useAsync) {
    const auto value =
        reinterpret_cast<StreamValue>(OpenDiskFile(path, useCache, unused, useAsync));
    if (value != 0) {
        std::lock_guard guard(gDiskSlots.lock);
        gDiskSlots.open.insert(value);
    }
    return value;
}
int CloseDiskSlot(StreamValue file) {
    {
        std::lock_guard guard(gDiskSlots.lock);
        if (gDiskSlots.open.erase(file) == 0) return -1;
    }
    return DiskFileClose(reinterpret_cast<DiskFile*>(file));
}
int64_t TellDiskSlot(StreamValue file) {
    DiskFile* open = AsDiskFile(file);
    return open == nullptr ? -1 : DiskFileTell(open);
}
int SeekDiskSlot(StreamValue file, int64_t offset, int32_t origin) {
    DiskFile* open = AsDiskFile(file);
    return open == nullptr ? -1 : DiskFileSeek(open, offset, origin);
}
size_t ReadDiskSlot(void* buffer, size_t elementSize, size_t count, StreamValue file) {
    DiskFile* open = AsDiskFile(file);
    return open == nullptr ? 0 : DiskFileRead(buffer, elementSize, count, open);
}
int EofDiskSlot(StreamValue file) {
    DiskFile* open = AsDiskFile(file);
    return open == nullptr ? -1 : DiskFileEof(open);
}
int IsDiskSlotIdle(StreamValue file) {
    DiskFile* open = AsDiskFile(file);
    return open == nullptr ? -1 : IsDiskFileIdle(open);
}

// Whether a GetDiskCurrentDir result is a directory that its buffer held whole (a longer one
// gives the bytes it needs and writes nothing).
bool CurrentDirFits(int length) {
    return length > 0 && length < static_cast<int>(kDataCurrentDirBytes);
}

}  // namespace

int SetDiskCurrentDir(const char* path) {
    char current[kDataCurrentDirBytes];
    const bool known = CurrentDirFits(GetDiskCurrentDir(current));
    char entered[kDataCurrentDirBytes];
    const DWORD length = GetFullPathNameA(path, kDataCurrentDirBytes, entered, nullptr);
    if (known && !CurrentDirFits(static_cast<int>(length))) return 0;
    SetCurrentDirectoryA(path);
    return 0;
}

int GetDiskCurrentDir(char* buffer) {
    if (buffer == nullptr) return 0;
    return static_cast<int>(GetCurrentDirectoryA(kDataCurrentDirBytes, buffer));
}

DiskFile* OpenDiskFile(const char* path, int32_t useCache, int32_t unused, int32_t useAsync) {
    if (path == nullptr) return nullptr;
    // The thread opens the file from the record's copy of the path, which must fit.
    if ((useCache || useAsync) && std::strlen(path) >= kDiskPathBytes) return nullptr;
    DiskFile* file = NewDiskFile();
    if (file == nullptr) return nullptr;
    file->threaded = (useCache || useAsync) ? 1 : 0;
    file->readAhead = useCache ? 1 : 0;
    file->async = useAsync ? 1 : 0;

    HANDLE handle = OpenForReading(path);
    if (!IsOpen(handle)) {
        FreeMemory(file);
        return nullptr;
    }
    file->size = GetFileSize(handle, nullptr);
    if (!file->threaded) {
        file->handle = handle;
        return file;
    }
    // The thread opens the file for itself; this handle only took the size.
    CloseHandle(handle);
    std::memcpy(file->path, path, std::strlen(path) + 1);
    if (!StartFileThread(file)) {
        FreeMemory(file);
        return nullptr;
    }
    return file;
}

int DiskFileClose(DiskFile* file) {
    if (file->threaded) {
        WaitUntilDone(file);
        SubmitRequest(file, kDiskRequestExit);
        WaitUntilDone(file);
        WaitForThreadExit(file->thread);
        CloseHandle(file->thread);
        FreeThreadParts(file);
    } else {
        CloseHandle(file->handle);
    }
    FreeMemory(file);
    return 0;
}

int64_t DiskFileTell(DiskFile* file) {
    return file->position;
}

int DiskFileSeek(DiskFile* file, int64_t offset, int32_t origin) {
    const int64_t base = SeekBase(origin, file->position, file->size);
    // Compared before adding, so that no offset overflows the sum.
    if (base < 0 || offset < -base || offset > kMaxPosition - base) return -1;
    const int64_t position = base + offset;
    if (!file->threaded) {
        if (SetFilePointer(file->handle, static_cast<LONG>(position), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER) {
            return -1;
        }
    } else {
        WaitUntilDone(file);
        file->seekPosition = static_cast<uint32_t>(position);
        SubmitRequest(file, kDiskRequestSeek);
    }
    file->position = static_cast<uint32_t>(position);
    file->eof = 0;
    return 0;
}

size_t DiskFileRead(void* buffer, size_t elementSize, size_t count, DiskFile* file) {
    // A null buffer: the file thread would copy its read-ahead there, and an asynchronous read
    // would claim its count.
    if (buffer == nullptr || elementSize == 0 || ByteTotalOverflows(elementSize, count)) return 0;
    // A position at or past the end (a seek may go beyond it) reads nothing.
    if (file->position >= file->size) {
        file->eof = 1;
        return 0;
    }
    size_t remaining = file->size - file->position;
    if (count > remaining / elementSize) {
        count = remaining / elementSize;
        if (count == 0) {
            file->eof = 1;
            return 0;
        }
    }
    uint32_t bytes = static_cast<uint32_t>(elementSize * count);
    if (!file->threaded) {
        DWORD got = 0;
        if (!ReadFile(file->handle, buffer, bytes, &got, nullptr)) return 0;
        file->position += got;
        return got / elementSize;
    }
    WaitUntilDone(file);
    file->read.destination = static_cast<uint8_t*>(buffer);
    file->read.filePosition = file->position;
    file->read.byteCount = bytes;
    SubmitRequest(file, kDiskRequestRead);
    if (file->async) {
        // The outcome is not known yet: the caller waits for idle before using the bytes.
        file->position += bytes;
        return count;
    }
    WaitUntilDone(file);
    file->position += file->read.byteCount;
    return file->read.byteCount / elementSize;
}

int DiskFileEof(DiskFile* file) {
    return file->eof ? -1 : 0;
}

int IsDiskFileIdle(DiskFile* file) {
    if (!file->threaded) return 1;
    return WaitForSingleObject(file->doneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

FindValue DiskFindFirst(const char* pattern, FileFindData* out) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return -1;
    if (out != nullptr) FillFindData(found, out);
    return reinterpret_cast<FindValue>(find);
}

int DiskFindNext(FindValue find, FileFindData* out) {
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(reinterpret_cast<HANDLE>(find), &found)) return -1;
    if (out != nullptr) FillFindData(found, out);
    return 0;
}

int DiskFindClose(FindValue find) {
    return FindClose(reinterpret_cast<HANDLE>(find)) ? 0 : -1;
}

HANDLE MakeTempFile(char* pathOut, uint32_t pathOutBytes) {
    char tempPath[kTempPathBytes + 1];
    DWORD length = GetTempPathA(kTempPathBytes, tempPath);
    if (length == 0 || length >= kTempPathBytes) return nullptr;
    if (tempPath[length - 1] != '\\') {
        tempPath[length] = '\\';
        tempPath[length + 1] = '\0';
    }
    char name[MAX_PATH];
    if (GetTempFileNameA(tempPath, "tmp", 0, name) == 0) return nullptr;
    // The name is already absolute; resolving it only brings it to the one full form.
    char fullPath[MAX_PATH];
    if (ResolveFullPath(name, fullPath, sizeof fullPath, tempPath) != 0 ||
        (pathOut != nullptr && std::strlen(fullPath) >= pathOutBytes)) {
        DeleteFileA(name);
        return nullptr;
    }
    DeleteFileA(fullPath);
    HANDLE file = CreateFileA(fullPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    if (pathOut != nullptr) std::memcpy(pathOut, fullPath, std::strlen(fullPath) + 1);
    return file;
}

const FileAccessFunctions kDiskFileAccessFunctions = {
    OpenDiskSlot,      CloseDiskSlot, TellDiskSlot,   SeekDiskSlot,
    ReadDiskSlot,      EofDiskSlot,   IsDiskSlotIdle, SetDiskCurrentDir,
    GetDiskCurrentDir, DiskFindFirst, DiskFindNext,   DiskFindClose,
};
