// Replacing a file through a temporary one in its folder, so that the destination is never seen
// half written, and a failed or interrupted write leaves it as it was.
#include "replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

namespace {

namespace fs = std::filesystem;

// The temporary file's name, for the signal handler that removes it when the command is
// stopped half way (a fixed buffer: the handler may not allocate).
char gTemporary[4096];

void RemoveTemporaryAndStop(int signal) {
    unlink(gTemporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The temporary file while it is written. While the guard lives, a signal that stops the
// command removes the file first; a file size limit fails the write (EFBIG) instead of ending
// the command. A stopping signal that the command was started with ignored (by nohup, or as a
// script's background job) stays ignored. When the guard ends, on every way out of the writing
// (an exception's too), the file is closed and, unless it took the target's place, removed.
struct TemporaryGuard {
    static constexpr int kStoppingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
    struct sigaction previous[std::size(kStoppingSignals)];
    const char* path;
    int file;
    bool kept = false;

    TemporaryGuard(const char* path, int file) : path(path), file(file) {
        for (size_t i = 0; i < std::size(kStoppingSignals); i++) {
            const int signal = kStoppingSignals[i];
            sigaction(signal, nullptr, &previous[i]);
            const bool ignored =
                (previous[i].sa_flags & SA_SIGINFO) == 0 && previous[i].sa_handler == SIG_IGN;
            if (ignored) continue;
            struct sigaction action {};
            action.sa_handler = signal == SIGXFSZ ? SIG_IGN : RemoveTemporaryAndStop;
            sigemptyset(&action.sa_mask);
            sigaction(signal, &action, nullptr);
        }
    }
    ~TemporaryGuard() {
        if (file >= 0) close(file);
        if (!kept) unlink(path);
        for (size_t i = 0; i < std::size(kStoppingSignals); i++) {
            sigaction(kStoppingSignals[i], &previous[i], nullptr);
        }
    }
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;

    // close()'s result, errno set on a failure.
    int Close() {
        const int closed = close(file);
        file = -1;
        return closed;
    }
};

std::string Message(const fs::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

// All of the bytes at offset, through short writes and interruptions.
bool WriteAt(int file, uint64_t offset, const uint8_t* bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = pwrite(file, bytes, length, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        offset += static_cast<uint64_t>(written);
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// The permissions of the file it replaces, or those a new file gets.
void TakePermissions(int file, const fs::path& target) {
    struct stat old {};
    if (stat(target.c_str(), &old) == 0) {
        fchmod(file, old.st_mode & 07777);
        return;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file, 0666 & ~mask);
}

// The folder's entry for the renamed file flushed too, so that the new name lasts a crash.
void FlushFolder(const fs::path& folder) {
    const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return;
    fsync(directory);
    close(directory);
}

}  // namespace

bool ReplaceableTarget(const fs::path& path, fs::path* target, std::string* error) {
    *target = path;
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) return true;
        *error = Message(path, errno);
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        std::error_code linkError;
        *target = fs::canonical(path, linkError);
        if (linkError || stat(target->c_str(), &status) != 0) {
            *error = path.string() + ": a link to something that does not exist";
            return false;
        }
    }
    if (!S_ISREG(status.st_mode)) {
        *error = path.string() + ": " +
                 (S_ISDIR(status.st_mode) ? "a directory" : "a device, a pipe or a socket") +
                 ", not a file: an archive replaces only a file";
        return false;
    }
    return true;
}

bool ReplaceFile(const fs::path& target, const std::function<bool(const ByteSink& sink)>& write,
                 std::string* error) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // A hidden name beside the target's (GCC 12 takes "." + name for an overlapping copy).
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string temporary = (folder / name).string();
    if (temporary.size() >= sizeof gTemporary) {
        *error = target.string() + ": the path is too long";
        return false;
    }
    const int file = mkostemp(temporary.data(), O_CLOEXEC);
    if (file < 0) {
        *error = Message(folder, errno);
        return false;
    }
    std::memcpy(gTemporary, temporary.c_str(), temporary.size() + 1);
    TemporaryGuard guard(temporary.c_str(), file);

    int failure = 0;
    const bool written = write([&](uint64_t offset, const uint8_t* bytes, size_t length) {
        if (WriteAt(file, offset, bytes, length)) return true;
        failure = errno;
        return false;
    });
    if (written && failure == 0) {
        TakePermissions(file, target);
        if (fsync(file) != 0) failure = errno;
    }
    if (guard.Close() != 0 && written && failure == 0) failure = errno;
    if (written && failure == 0 && rename(temporary.c_str(), target.c_str()) != 0) {
        failure = errno;
    }
    if (!written || failure != 0) {
        if (failure != 0) *error = Message(target, failure);
        return false;
    }
    guard.kept = true;
    FlushFolder(folder);
    return true;
}
