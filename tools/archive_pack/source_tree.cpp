// The walk of the directory to pack: links followed (a link back into its own path refused),
// names checked against what the archive and a program can hold, files read one at a time when
// the writer asks for them.
#include "source_tree.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

namespace {

namespace fs = std::filesystem;

// Names are stored in Shift-JIS, as a program passes its paths; the lookup's rules for
// double-byte characters follow the code page.
constexpr uint32_t kCodePage = 932;
// Seconds from 1601 (FILETIME) to 1970.
constexpr uint64_t kFileTimeEpochSeconds = 11644473600ull;

// A conversion between two character sets, opened once for all the names (opening one loads
// its tables).
class Conversion {
public:
    Conversion(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Conversion() {
        if (handle_ != kClosed) iconv_close(handle_);
    }
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // False when a character has no form in the target set or the text is not of the source.
    bool Convert(const std::string& text, std::string* out) {
        out->clear();
        if (handle_ == kClosed) return false;
        // A Shift-JIS byte (a half-width kana) takes at most three bytes in UTF-8.
        std::string buffer(text.size() * 3 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* at = buffer.data();
        size_t outLeft = buffer.size();
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_, &in, &inLeft, &at, &outLeft) == static_cast<size_t>(-1) ||
            iconv(handle_, nullptr, nullptr, &at, &outLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        out->assign(buffer.data(), at);
        return true;
    }

private:
    static inline const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);
    iconv_t handle_;
};

bool ToUtf8(const std::string& shiftJis, std::string* out) {
    static Conversion conversion("UTF-8", "CP932");
    return conversion.Convert(shiftJis, out);
}

std::string Utf8Of(const std::string& shiftJis) {
    std::string utf8;
    ToUtf8(shiftJis, &utf8);
    return utf8;
}

// The bytes of the UTF-8 character that starts at text[i].
size_t CharacterBytes(const std::string& text, size_t i) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    const size_t bytes = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return std::min(bytes, text.size() - i);
}

// Why a name cannot be stored as it is named on disk, or "". Some characters share a
// Shift-JIS form with another ('‾' with '~', '〜' with '～', '¥' with '\\'): the file would be
// stored, and a program would find it, under another name; and '\\' separates folders.
std::string NameProblem(const std::string& utf8, const std::string& shiftJis) {
    if (utf8.find('\\') != std::string::npos) {
        return "the name holds a '\\', a separator in an archive";
    }
    if (Utf8Of(shiftJis) == utf8) return "";
    for (size_t i = 0; i < utf8.size(); i += CharacterBytes(utf8, i)) {
        const std::string one = utf8.substr(i, CharacterBytes(utf8, i));
        std::string oneShiftJis, readBack;
        ToShiftJis(one, &oneShiftJis);
        ToUtf8(oneShiftJis, &readBack);
        if (readBack == one) continue;
        if (readBack == "\\") {
            return "Shift-JIS writes '" + one + "' as '\\', a separator in an archive";
        }
        return "Shift-JIS writes '" + one + "' as '" + readBack +
               "': the file would be stored, and found by a program, as \"" + Utf8Of(shiftJis) +
               "\"; rename it";
    }
    return "";
}

struct Child {
    fs::path path;
    std::string name;   // Shift-JIS
    std::string upper;  // as the lookup compares it
    struct stat status;
    bool directory;
};

// A folder on the walk's path, by its device and inode.
using FolderId = std::pair<dev_t, ino_t>;

struct Walk {
    bool compress;
    SourceTree* tree;
    std::string* error;
    std::vector<FolderId> path;  // the folders from the root to the one being walked

    bool Fail(const std::string& message) {
        *error = message;
        return false;
    }
};

// An entry of the archive at inner, its times (a FILETIME) those of the last write.
ArchiveInput InputFor(const std::string& inner, const struct stat& status, bool compress) {
    ArchiveInput input{inner, {}, compress};
    input.lastWriteTime =
        (static_cast<uint64_t>(status.st_mtim.tv_sec) + kFileTimeEpochSeconds) * 10000000ull +
        static_cast<uint64_t>(status.st_mtim.tv_nsec) / 100;
    input.creationTime = input.lastWriteTime;
    return input;
}

// No archive holds a file larger than the framework reads an archive: a plain body lies inside
// the archive, and the reader expands a compressed one to no more than that either.
bool FitsAnArchive(const struct stat& status) {
    return static_cast<uint64_t>(status.st_size) <= kMaxArchiveBytes;
}

std::string SizeMessage(const struct stat& status) {
    return std::to_string(status.st_size) +
           " bytes, larger than an archive can hold: the framework reads archives, and files in "
           "them, of at most " +
           std::to_string(kMaxArchiveBytes) + " bytes (2 GB)";
}

// The whole file, as large as it is when it is opened; one grown too large since the walk is
// refused before it is read.
bool ReadWhole(const fs::path& path, std::vector<uint8_t>* bytes, std::string* error) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    std::string problem;
    if (file < 0 || fstat(file, &status) != 0) {
        problem = std::strerror(errno);
    } else if (!FitsAnArchive(status)) {
        problem = "it has grown to " + SizeMessage(status);
    } else {
        bytes->resize(static_cast<size_t>(status.st_size));
        size_t done = 0;
        while (problem.empty() && done < bytes->size()) {
            const ssize_t got = read(file, bytes->data() + done, bytes->size() - done);
            if (got > 0) {
                done += static_cast<size_t>(got);
            } else if (got == 0) {
                problem = "it grew shorter while it was packed";
            } else if (errno != EINTR) {
                problem = std::strerror(errno);
            }
        }
    }
    if (file >= 0) close(file);
    if (!problem.empty()) *error = path.string() + ": cannot be read: " + problem;
    return problem.empty();
}

// The child's kind, through links; false with a message for what is neither file nor folder,
// or for a file too large for any archive (known from its size, before anything is read).
bool StatChild(Walk& walk, Child* child) {
    const std::string shown = child->path.string();
    if (stat(child->path.c_str(), &child->status) != 0) {
        struct stat link {};
        if (lstat(child->path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            return walk.Fail(shown + ": a link to something that does not exist");
        }
        return walk.Fail(shown + ": " + std::strerror(errno));
    }
    child->directory = S_ISDIR(child->status.st_mode);
    if (!child->directory && !S_ISREG(child->status.st_mode)) {
        return walk.Fail(shown + ": neither a file nor a directory");
    }
    if (!child->directory && !FitsAnArchive(child->status)) {
        return walk.Fail(shown + ": " + SizeMessage(child->status));
    }
    return true;
}

// The directory's children, checked: names that the archive, its lookup or a program could
// not tell apart or not hold are refused.
bool ListChildren(Walk& walk, const fs::path& directory, const std::string& inner,
                  std::vector<Child>* children) {
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        Child child{it->path(), "", "", {}, false};
        const std::string shown = child.path.string();
        if (!ToShiftJis(child.path.filename().string(), &child.name)) {
            return walk.Fail(shown + ": the name cannot be written in Shift-JIS");
        }
        if (!StatChild(walk, &child)) return false;
        child.upper = UpperArchiveName(child.name, kCodePage);
        children->push_back(std::move(child));
    }
    if (error) return walk.Fail(directory.string() + ": " + error.message());

    // In the order of their Shift-JIS names first: names that become one lie side by side.
    std::sort(children->begin(), children->end(),
              [](const Child& a, const Child& b) { return a.name < b.name; });
    for (size_t i = 1; i < children->size(); i++) {
        const Child& before = (*children)[i - 1];
        const Child& child = (*children)[i];
        if (before.name == child.name) {
            return walk.Fail(before.path.string() + " and " + child.path.filename().string() +
                             ": names that become one in Shift-JIS, \"" + Utf8Of(child.name) +
                             "\"");
        }
    }
    for (const Child& child : *children) {
        const std::string problem = NameProblem(child.path.filename().string(), child.name);
        if (!problem.empty()) return walk.Fail(child.path.string() + ": " + problem);
        const size_t bytes = inner.size() + child.name.size();
        if (bytes > kMaxInnerPathBytes) {
            return walk.Fail(child.path.string() + ": the path inside the archive is " +
                             std::to_string(bytes) + " bytes long in Shift-JIS, longer than the " +
                             std::to_string(kMaxInnerPathBytes) +
                             " bytes a program can open: it opens a file by a full path of at "
                             "most 1023 bytes (its current directory, the archive's name, the "
                             "path inside), which begins with at least \"C:\\A\\\"");
        }
    }
    // Then as the lookup compares them, files and folders apart (it looks for either alone).
    std::sort(children->begin(), children->end(), [](const Child& a, const Child& b) {
        return std::tie(a.directory, a.upper, a.name) < std::tie(b.directory, b.upper, b.name);
    });
    for (size_t i = 1; i < children->size(); i++) {
        const Child& before = (*children)[i - 1];
        const Child& child = (*children)[i];
        if (before.directory == child.directory && before.upper == child.upper) {
            return walk.Fail(before.path.string() + " and " + child.path.filename().string() +
                             ": names that differ only in the case of their letters, which the "
                             "archive's lookup ignores");
        }
    }
    return true;
}

// Adds what directory holds below inner (the Shift-JIS path so far, ending in '\\' unless it
// is the root), the directory itself first unless it is the root.
bool WalkDirectory(Walk& walk, const fs::path& directory, const struct stat& status,
                   const std::string& inner) {
    if (!inner.empty()) walk.tree->inputs.push_back(InputFor(inner, status, false));
    std::vector<Child> children;
    if (!ListChildren(walk, directory, inner, &children)) return false;
    for (const Child& child : children) {
        const std::string path = inner + child.name;
        if (child.directory) {
            const FolderId id{child.status.st_dev, child.status.st_ino};
            if (std::find(walk.path.begin(), walk.path.end(), id) != walk.path.end()) {
                return walk.Fail(child.path.string() +
                                 ": leads back into a folder on its own path, a loop of links "
                                 "that the walk would never leave");
            }
            walk.path.push_back(id);
            if (!WalkDirectory(walk, child.path, child.status, path + "\\")) return false;
            walk.path.pop_back();
            continue;
        }
        ArchiveInput input = InputFor(path, child.status, walk.compress);
        input.read = [source = child.path, error = walk.error](std::vector<uint8_t>* bytes) {
            return ReadWhole(source, bytes, error);
        };
        walk.tree->inputs.push_back(std::move(input));
        walk.tree->files++;
        walk.tree->fileBytes += static_cast<uint64_t>(child.status.st_size);
    }
    return true;
}

}  // namespace

bool ToShiftJis(const std::string& utf8, std::string* out) {
    static Conversion conversion("CP932", "UTF-8");
    return conversion.Convert(utf8, out);
}

bool ReadSourceTree(const fs::path& directory, bool compress, SourceTree* tree,
                    std::string* error) {
    Walk walk{compress, tree, error, {}};
    struct stat status {};
    if (stat(directory.c_str(), &status) != 0) {
        *error = directory.string() + ": " +
                 (errno == ENOENT ? std::string("no such directory") : std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode)) return walk.Fail(directory.string() + ": not a directory");
    walk.path.push_back({status.st_dev, status.st_ino});
    return WalkDirectory(walk, directory, status, "");
}
