// Directory listings for FindFirstFileA / FindNextFileA: names matched against '*' and '?'
// case-insensitively, "." and ".." listed below the root, in a fixed case-insensitive order.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../base/code_pages.h"
#include "../base/test_overrides.h"
#include "date_time.h"
#include "handles.h"
#include "paths.h"
#include "platform/win32_files.h"

struct FindObject : KernelObject {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

// UTF-8 as code points; a byte that does not decode stands for itself, so every name has a
// spelling to match against.
static std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (!valid) {
            out.push_back(0xDC00 + c);
            ++i;
            continue;
        }
        char32_t point = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(point);
        i += length;
    }
    return out;
}

static char32_t FoldAsciiCase(char32_t c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// '*' matches any run, '?' any one character; the last '*' is revisited on a mismatch.
static bool MatchWildcards(const std::u32string& name, const std::u32string& pattern) {
    size_t n = 0, p = 0, starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == U'?' || FoldAsciiCase(pattern[p]) == FoldAsciiCase(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

// As on Windows, a pattern ending in ".*" also matches names without that extension, so
// "*.*" matches every name.
static bool MatchesPattern(const std::string& name, const std::string& pattern) {
    std::u32string decodedName = DecodeUtf8(name);
    std::u32string decodedPattern = DecodeUtf8(pattern);
    if (MatchWildcards(decodedName, decodedPattern)) return true;
    size_t size = decodedPattern.size();
    return size >= 2 && decodedPattern.compare(size - 2, 2, U".*") == 0 &&
           MatchWildcards(decodedName, decodedPattern.substr(0, size - 2));
}

// The entry for one listed name; false when it cannot be listed (gone, or no CP932 name
// that fits).
static bool DescribeEntry(const std::string& directory, const std::string& name,
                          WIN32_FIND_DATAA* data) {
    std::string windowsName;
    if (!Utf8ToCp932(name, &windowsName) || windowsName.size() >= MAX_PATH) return false;
    std::string path = directory == "/" ? "/" + name : directory + "/" + name;
    struct statx info;
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        return false;
    }
    *data = {};
    data->dwFileAttributes = FileAttributesOfMode(info.stx_mode);
    const statx_timestamp& created =
        (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_mtime;
    data->ftCreationTime = FileTimeFromUnixTime(created.tv_sec, created.tv_nsec);
    data->ftLastAccessTime = FileTimeFromUnixTime(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    data->ftLastWriteTime = FileTimeFromUnixTime(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    if (!S_ISDIR(info.stx_mode)) {
        data->nFileSizeHigh = static_cast<DWORD>(info.stx_size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(info.stx_size);
    }
    std::memcpy(data->cFileName, windowsName.c_str(), windowsName.size() + 1);
    return true;
}

// Orders "." and ".." first, then names ignoring ASCII case, then by bytes.
static bool ListedBefore(const std::string& a, const std::string& b) {
    auto rank = [](const std::string& s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    auto folded = [](std::string s) {
        for (char& c : s) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
        }
        return s;
    };
    std::string fa = folded(a), fb = folded(b);
    return fa != fb ? fa < fb : a < b;
}

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    if (InjectedFailure("FindFirstFileA", ERROR_FILE_NOT_FOUND)) return INVALID_HANDLE_VALUE;
    std::string path;
    if (findData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!MapPathToHost(fileName, &path)) return INVALID_HANDLE_VALUE;
    if (path.back() == '/') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    size_t slash = path.find_last_of('/');
    std::string directory = slash == 0 ? "/" : path.substr(0, slash);
    std::string pattern = path.substr(slash + 1);
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno(errno, directory);
        }
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        bool dots = name == "." || name == "..";
        // A drive's root has no "." or ".." entries on Windows.
        if (dots && directory == "/") continue;
        if (MatchesPattern(name, pattern)) names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), ListedBefore);
    auto find = std::make_shared<FindObject>();
    for (const std::string& name : names) {
        WIN32_FIND_DATAA data;
        if (DescribeEntry(directory, name, &data)) find->entries.push_back(data);
    }
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *findData = find->entries[0];
    find->next = 1;
    return InsertKernelObject(std::move(find));
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
    std::shared_ptr<FindObject> find = FindKernelObjectOf<FindObject>(findFile);
    if (find == nullptr) return FALSE;
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (FindKernelObjectOf<FindObject>(findFile) == nullptr) return FALSE;
    return CloseHandle(findFile);
}
