// Names of the layer's namespace mapped to host paths and back, the current directory and
// the temporary directory.
#include "paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../base/code_pages.h"
#include "../base/test_overrides.h"
#include "names_ignoring_case.h"
#include "platform/win32_files.h"

static bool Exists(const std::string& hostPath) {
    struct stat info;
    return lstat(hostPath.c_str(), &info) == 0;
}

static std::string CurrentHostDirectory() {
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr && errno == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// Splits on '/', folding "." and ".." (which stops at the root), into `components`.
static void AppendComponents(const std::string& path, std::vector<std::string>* components) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!components->empty()) components->pop_back();
        } else if (!part.empty() && part != ".") {
            components->push_back(part);
        }
        start = end + 1;
    }
}

bool MapPathToHost(LPCSTR name, std::string* hostPath) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::string text;
    if (name[0] == '\0' || !Cp932ToUtf8(name, &text)) {
        SetLastError(name[0] == '\0' ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
        return false;
    }
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    if (text.compare(0, 2, "//") == 0) {
        SetLastError(ERROR_BAD_NETPATH);
        return false;
    }
    bool absolute = text[0] == '/';
    if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
        if (std::toupper(static_cast<unsigned char>(text[0])) != 'Z') {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        text.erase(0, 2);
        absolute = !text.empty() && text[0] == '/';
    }
    std::vector<std::string> components;
    if (!absolute) AppendComponents(CurrentHostDirectory(), &components);
    AppendComponents(text, &components);

    // Once one component is missing nothing below it can exist, so the search stops there.
    std::string path;
    bool searching = true;
    for (const std::string& component : components) {
        std::string parent = path.empty() ? "/" : path;
        path += '/';
        std::string found;
        if (searching && !Exists(path + component)) {
            searching = FindNameIgnoringCase(parent, component, &found);
        }
        path += searching && !found.empty() ? found : component;
    }
    if (path.empty() || (!text.empty() && text.back() == '/')) path += '/';
    *hostPath = std::move(path);
    return true;
}

bool HostPathToWindows(const std::string& hostPath, std::string* name) {
    std::string windows = "Z:" + hostPath;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return Utf8ToCp932(windows, name);
}

void SetLastErrorFromErrno(int error, const std::string& hostPath) {
    DWORD code;
    switch (error) {
        case ENOENT: {
            // Windows tells a missing file from a missing directory on the way to it.
            std::string parent =
                hostPath.substr(0, hostPath.find_last_of('/', hostPath.size() - 2));
            struct stat info;
            bool parentExists =
                parent.empty() || (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
            code = parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            break;
        }
        case ENOTDIR:
            code = ERROR_PATH_NOT_FOUND;
            break;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case EBUSY:
            code = ERROR_ACCESS_DENIED;
            break;
        case EEXIST:
            code = ERROR_FILE_EXISTS;
            break;
        case ENOTEMPTY:
            code = ERROR_DIR_NOT_EMPTY;
            break;
        case EMFILE:
        case ENFILE:
            code = ERROR_TOO_MANY_OPEN_FILES;
            break;
        case ENOSPC:
        case EDQUOT:
            code = ERROR_DISK_FULL;
            break;
        case ENAMETOOLONG:
            code = ERROR_FILENAME_EXCED_RANGE;
            break;
        case EXDEV:
            code = ERROR_NOT_SAME_DEVICE;
            break;
        case EBADF:
            code = ERROR_INVALID_HANDLE;
            break;
        case ENOMEM:
            code = ERROR_NOT_ENOUGH_MEMORY;
            break;
        case EINVAL:
            code = ERROR_INVALID_PARAMETER;
            break;
        default:
            code = ERROR_GEN_FAILURE;
            break;
    }
    SetLastError(code);
}

DWORD FileAttributesOfMode(mode_t mode) {
    DWORD attributes = S_ISDIR(mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if ((mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    // NORMAL stands alone: it means no other attribute is set.
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD DeliverText(const std::string& text, DWORD bufferLength, LPSTR buffer) {
    if (buffer == nullptr || bufferLength <= text.size())
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    std::string name;
    if (!HostPathToWindows(CurrentHostDirectory(), &name)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return DeliverText(name, bufferLength, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    if (InjectedFailure("SetCurrentDirectoryA", ERROR_PATH_NOT_FOUND)) return FALSE;
    std::string hostPath;
    if (!MapPathToHost(pathName, &hostPath)) return FALSE;
    if (chdir(hostPath.c_str()) != 0) {
        if (errno == ENOTDIR && Exists(hostPath)) {
            SetLastError(ERROR_DIRECTORY);
        } else {
            SetLastErrorFromErrno(errno, hostPath);
        }
        return FALSE;
    }
    return TRUE;
}

DWORD GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
    std::string hostPath;
    if (filePart != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!MapPathToHost(fileName, &hostPath)) return 0;
    // The host's current directory is the directory itself, reached through no link.
    if (char* resolved = realpath(hostPath.c_str(), nullptr)) {
        hostPath = resolved;
        std::free(resolved);
    }
    std::string name;
    if (!HostPathToWindows(hostPath, &name)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return DeliverText(name, bufferLength, buffer);
}

// TMPDIR when it names an absolute directory, else /tmp; always with a trailing '\'.
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string hostPath = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
    while (hostPath.size() > 1 && hostPath.back() == '/') hostPath.pop_back();
    std::string name;
    if (!HostPathToWindows(hostPath, &name)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (hostPath != "/") name += '\\';
    return DeliverText(name, bufferLength, buffer);
}
