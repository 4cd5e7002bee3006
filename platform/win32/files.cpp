// File handles over POSIX descriptors (CreateFileA, ReadFile, WriteFile, SetFilePointer,
// GetFileSize) and the calls on names: delete, move, attributes, directories, temp files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "../base/code_pages.h"
#include "../base/interrupted_calls.h"
#include "../base/test_overrides.h"
#include "handles.h"
#include "paths.h"
#include "platform/win32_files.h"

struct FileObject : KernelObject {
    int fd = -1;
    ~FileObject() override { close(fd); }
};

struct FilesState {
    std::mutex mutex;
    unsigned nextTempNumber = 0;  // 0 = not yet seeded
};

static FilesState gFiles;

// An open that a signal interrupts (one waiting for the other end of a pipe) is made again.
static int OpenRetried(const std::string& path, int flags, mode_t mode = 0) {
    return RetriedThroughSignals([&] { return open(path.c_str(), flags, mode); });
}

// Opens without creating; on ENOENT creates exclusively, retrying if another creator won.
static int OpenOrCreate(const std::string& path, int flags, bool* existed) {
    for (;;) {
        int fd = OpenRetried(path, flags);
        if (fd >= 0 || errno != ENOENT) {
            *existed = fd >= 0;
            return fd;
        }
        fd = OpenRetried(path, flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            *existed = false;
            return fd;
        }
    }
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    if (InjectedFailure("CreateFileA", ERROR_ACCESS_DENIED)) return INVALID_HANDLE_VALUE;
    std::string path;
    if (!MapPathToHost(fileName, &path)) return INVALID_HANDLE_VALUE;
    bool reading = (desiredAccess & GENERIC_READ) != 0;
    bool writing = (desiredAccess & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | (reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY);
    bool existed = false;
    int fd;
    switch (creationDisposition) {
        case CREATE_NEW:
            fd = OpenRetried(path, flags | O_CREAT | O_EXCL, 0666);
            break;
        case CREATE_ALWAYS:
            fd = OpenRetried(path, flags | O_CREAT | O_EXCL, 0666);
            if (fd < 0 && errno == EEXIST) {
                existed = true;
                fd = OpenRetried(path, flags | O_TRUNC);
            }
            break;
        case OPEN_EXISTING:
            fd = OpenRetried(path, flags);
            break;
        case OPEN_ALWAYS:
            fd = OpenOrCreate(path, flags, &existed);
            break;
        case TRUNCATE_EXISTING:
            if (!writing) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            fd = OpenRetried(path, flags | O_TRUNC);
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if (fd < 0) {
        SetLastErrorFromErrno(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->fd = fd;
    HANDLE handle = InsertKernelObject(std::move(file));
    // Windows reports whether CREATE_ALWAYS or OPEN_ALWAYS found the file already there.
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// A descriptor opened without the access asked for answers EBADF.
static void SetLastErrorOfTransfer(int error) {
    SetLastError(error == EBADF    ? ERROR_ACCESS_DENIED
                 : error == ENOSPC ? ERROR_DISK_FULL
                                   : ERROR_GEN_FAILURE);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    if (InjectedFailure("ReadFile", ERROR_READ_FAULT)) return FALSE;
    std::shared_ptr<FileObject> object = FindKernelObjectOf<FileObject>(file);
    if (object == nullptr) return FALSE;
    if (buffer == nullptr && bytesToRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD total = 0;
    while (total < bytesToRead) {
        ssize_t got = read(object->fd, static_cast<BYTE*>(buffer) + total, bytesToRead - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            SetLastErrorOfTransfer(errno);
            return FALSE;
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
        if (bytesRead != nullptr) *bytesRead = total;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    if (InjectedFailure("WriteFile", ERROR_WRITE_FAULT)) return FALSE;
    std::shared_ptr<FileObject> object = FindKernelObjectOf<FileObject>(file);
    if (object == nullptr) return FALSE;
    if (buffer == nullptr && bytesToWrite > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD total = 0;
    while (total < bytesToWrite) {
        ssize_t put =
            write(object->fd, static_cast<const BYTE*>(buffer) + total, bytesToWrite - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            SetLastErrorOfTransfer(put < 0 ? errno : ENOSPC);
            return FALSE;
        }
        total += static_cast<DWORD>(put);
        if (bytesWritten != nullptr) *bytesWritten = total;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
    if (InjectedFailure("SetFilePointer", ERROR_INVALID_PARAMETER)) return INVALID_SET_FILE_POINTER;
    std::shared_ptr<FileObject> object = FindKernelObjectOf<FileObject>(file);
    if (object == nullptr) return INVALID_SET_FILE_POINTER;
    long long distance = distanceToMove;
    if (distanceToMoveHigh != nullptr) {
        distance =
            static_cast<long long>((static_cast<unsigned long long>(*distanceToMoveHigh) << 32) |
                                   static_cast<DWORD>(distanceToMove));
    }
    long long base;
    struct stat info;
    switch (moveMethod) {
        case FILE_BEGIN:
            base = 0;
            break;
        case FILE_CURRENT:
            base = lseek(object->fd, 0, SEEK_CUR);
            break;
        case FILE_END:
            base = fstat(object->fd, &info) == 0 ? info.st_size : -1;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long position = base + distance;
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    // Without the high word the new position must fit in 32 bits.
    if (distanceToMoveHigh == nullptr && position > 0xFFFFFFFFLL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(object->fd, position, SEEK_SET) < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceToMoveHigh != nullptr) *distanceToMoveHigh = static_cast<LONG>(position >> 32);
    // A position of 0xFFFFFFFF is told from a failure by the error word.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    if (InjectedFailure("GetFileSize", ERROR_INVALID_HANDLE)) return INVALID_FILE_SIZE;
    std::shared_ptr<FileObject> object = FindKernelObjectOf<FileObject>(file);
    struct stat info;
    if (object == nullptr || fstat(object->fd, &info) != 0) {
        if (object != nullptr) SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    unsigned long long size = static_cast<unsigned long long>(info.st_size);
    if (fileSizeHigh != nullptr) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file) {
    std::shared_ptr<FileObject> object = FindKernelObjectOf<FileObject>(file);
    if (object == nullptr) return FALSE;
    if (fsync(object->fd) != 0) {
        SetLastErrorOfTransfer(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (InjectedFailure("DeleteFileA", ERROR_ACCESS_DENIED)) return FALSE;
    std::string path;
    if (!MapPathToHost(fileName, &path)) return FALSE;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        SetLastErrorFromErrno(errno, path);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    if (InjectedFailure("MoveFileExA", ERROR_ACCESS_DENIED)) return FALSE;
    std::string from, to;
    if (!MapPathToHost(existingFileName, &from) || !MapPathToHost(newFileName, &to)) return FALSE;
    struct stat info;
    if (lstat(from.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno, from);
        return FALSE;
    }
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && lstat(to.c_str(), &info) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        SetLastErrorFromErrno(errno, to);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    std::string path;
    if (!MapPathToHost(fileName, &path)) return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return FileAttributesOfMode(info.st_mode);
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES attributes) {
    if (InjectedFailure("CreateDirectoryA", ERROR_ACCESS_DENIED)) return FALSE;
    std::string path;
    if (!MapPathToHost(pathName, &path)) return FALSE;
    if (mkdir(path.c_str(), 0777) != 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
        } else {
            SetLastErrorFromErrno(errno, path);
        }
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    if (InjectedFailure("RemoveDirectoryA", ERROR_ACCESS_DENIED)) return FALSE;
    std::string path;
    if (!MapPathToHost(pathName, &path)) return FALSE;
    if (rmdir(path.c_str()) != 0) {
        if (errno == ENOTDIR) {
            SetLastError(ERROR_DIRECTORY);
        } else {
            SetLastErrorFromErrno(errno, path);
        }
        return FALSE;
    }
    return TRUE;
}

static bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// "<dir>\<up to three characters of prefix><hex number>.tmp"; false when it would not fit
// in MAX_PATH or the directory is not CP932.
static bool ComposeTempFileName(LPCSTR directory, LPCSTR prefix, unsigned number,
                                std::string* name) {
    std::string directoryText;
    if (!Cp932ToUtf8(directory, &directoryText)) return false;
    *name = directory;
    if (!directoryText.empty() && directoryText.back() != '\\' && directoryText.back() != '/') {
        *name += '\\';
    }
    for (int characters = 0; *prefix != '\0' && characters < 3; ++characters) {
        bool pair = IsCp932LeadByte(static_cast<unsigned char>(*prefix)) && prefix[1] != '\0';
        name->append(prefix, pair ? 2 : 1);
        prefix += pair ? 2 : 1;
    }
    char tail[16];
    std::snprintf(tail, sizeof(tail), "%X.tmp", number);
    *name += tail;
    return name->size() < MAX_PATH;
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName) {
    if (InjectedFailure("GetTempFileNameA", ERROR_ACCESS_DENIED)) return 0;
    if (pathName == nullptr || prefixString == nullptr || tempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string name;
    if (unique != 0) {
        if (!ComposeTempFileName(pathName, prefixString, unique & 0xFFFF, &name)) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::memcpy(tempFileName, name.c_str(), name.size() + 1);
        return unique;
    }
    unsigned start;
    {
        std::lock_guard lock(gFiles.mutex);
        // Seeded from the process and the time, so that processes sharing a directory
        // rarely try the same numbers.
        if (gFiles.nextTempNumber == 0) {
            gFiles.nextTempNumber =
                static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr));
        }
        start = gFiles.nextTempNumber++;
    }
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
        unsigned number = (start + attempt) & 0xFFFF;
        if (number == 0) continue;
        std::string path;
        if (!ComposeTempFileName(pathName, prefixString, number, &name)) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        if (!MapPathToHost(name.c_str(), &path)) return 0;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            return number;
        }
        if (errno != EEXIST) {
            SetLastErrorFromErrno(errno, path);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
