// Packs a directory into an archive of the framework's format, with the archive writer the
// tests use: every file and directory below it, by its path inside the directory, names in
// Shift-JIS as the framework's paths are.
// Usage: orbek_archive_pack [--version N] [--key TEXT] [--compress] <directory> <archive>
#include <archive_writer.h>
#include <platform/win32.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: orbek_archive_pack [--version N] [--key TEXT] [--compress] <directory> <archive>\n"
    "  --version N  archive version 0 to 5 (default 5)\n"
    "  --key TEXT   key string; a program reads the archive after SetArchiveKeyString(TEXT)\n"
    "               (default: the framework's default key)\n"
    "  --compress   store every file LZ-compressed (version 2 and later)\n";

// The framework resolves a path in 1,024 bytes: a path inside the archive must be shorter.
constexpr size_t kMaxInnerPathBytes = 1023;
// Archive positions are seeked to as signed 32-bit offsets.
constexpr uint64_t kMaxArchiveBytes = INT32_MAX;
// Names are stored in Shift-JIS, as a program passes its paths.
constexpr uint32_t kCodePage = 932;
// Seconds from 1601 (FILETIME) to 1970.
constexpr uint64_t kFileTimeEpochSeconds = 11644473600ull;

struct PackOptions {
    uint16_t version = 5;
    std::optional<std::string> key;
    bool compress = false;
    fs::path directory;
    fs::path archive;
};

// What the walk gathers: the archive's entries, and why it stopped (empty while all is well).
struct Packing {
    std::string error;
    std::vector<ArchiveInput> inputs;
    uint64_t totalBytes = 0;
    size_t files = 0;
};

bool Fail(Packing& packing, const std::string& message) {
    packing.error = message;
    return false;
}

// UTF-8 to Shift-JIS through the platform's code pages; false for bytes that are not UTF-8 or
// a character that Shift-JIS lacks.
bool ToShiftJis(const std::string& utf8, std::string* out) {
    out->clear();
    if (utf8.empty()) return true;
    const int length = static_cast<int>(utf8.size());
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (wideLength <= 0) return false;
    std::u16string wide(static_cast<size_t>(wideLength), u'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(),
                        wideLength);
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(kCodePage, 0, wide.data(), wideLength, nullptr, 0,
                                          nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) return false;
    out->resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(kCodePage, 0, wide.data(), wideLength, out->data(), bytes, nullptr,
                        nullptr);
    return true;
}

// An entry of the archive at inner, its times (a FILETIME) those of the last write.
ArchiveInput InputFor(const fs::path& path, const std::string& inner, bool compress) {
    ArchiveInput input{inner, {}, compress};
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        input.lastWriteTime =
            (static_cast<uint64_t>(status.st_mtim.tv_sec) + kFileTimeEpochSeconds) * 10000000ull +
            static_cast<uint64_t>(status.st_mtim.tv_nsec) / 100;
    }
    input.creationTime = input.lastWriteTime;
    return input;
}

bool ReadWhole(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

struct Child {
    fs::path path;
    std::string name;   // Shift-JIS
    std::string upper;  // as the lookup compares it
    bool directory;
};

// Adds what directory holds below inner (the Shift-JIS path so far, ending in '\\' unless it
// is the root), the directory itself first unless it is the root.
bool PackDirectory(const fs::path& directory, const std::string& inner, const PackOptions& options,
                   Packing& packing) {
    if (!inner.empty()) packing.inputs.push_back(InputFor(directory, inner, false));
    std::error_code error;
    std::vector<Child> children;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const fs::path& path = it->path();
        const std::string shown = path.string();
        Child child{path, "", "", false};
        if (!ToShiftJis(path.filename().string(), &child.name)) {
            return Fail(packing, shown + ": the name cannot be written in Shift-JIS");
        }
        if (SplitArchivePath(child.name, kCodePage).size() != 1) {
            return Fail(packing, shown + ": the name holds a '\\', a separator in an archive");
        }
        if (inner.size() + child.name.size() > kMaxInnerPathBytes) {
            return Fail(packing, shown + ": the path inside the archive is longer than the " +
                                     std::to_string(kMaxInnerPathBytes) +
                                     " bytes the framework opens");
        }
        child.upper = UpperArchiveName(child.name, kCodePage);
        std::error_code statusError;
        child.directory = fs::is_directory(path, statusError);
        if (!child.directory && !fs::is_regular_file(path, statusError)) {
            return Fail(packing, shown + ": neither a file nor a directory");
        }
        children.push_back(child);
    }
    if (error) return Fail(packing, directory.string() + ": " + error.message());
    // Sorted so that names the lookup cannot tell apart (among files, or among directories)
    // lie side by side.
    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
        return std::tie(a.directory, a.upper, a.name) < std::tie(b.directory, b.upper, b.name);
    });
    for (size_t i = 1; i < children.size(); i++) {
        const Child& before = children[i - 1];
        if (before.directory == children[i].directory && before.upper == children[i].upper) {
            return Fail(packing, before.path.string() + " and " +
                                     children[i].path.filename().string() +
                                     ": names that differ only in the case of their letters, "
                                     "which the archive's lookup ignores");
        }
    }
    for (const Child& child : children) {
        const std::string path = inner + child.name;
        if (child.directory) {
            if (!PackDirectory(child.path, path + "\\", options, packing)) return false;
            continue;
        }
        std::error_code sizeError;
        packing.totalBytes += fs::file_size(child.path, sizeError);
        if (packing.totalBytes > kMaxArchiveBytes) {
            return Fail(packing, "the files hold more than the 2 GB an archive may hold");
        }
        ArchiveInput input = InputFor(child.path, path, options.compress);
        if (sizeError || !ReadWhole(child.path, &input.data)) {
            return Fail(packing, child.path.string() + ": cannot be read");
        }
        packing.inputs.push_back(std::move(input));
        packing.files++;
    }
    return true;
}

// The archive written whole, or the reason it could not be (no partial file is left).
bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = path.string() + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int writeErrno = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        writeErrno = errno;
    }
    if (!written) {
        *error = path.string() + ": " + std::strerror(writeErrno);
        std::remove(path.c_str());
    }
    return written;
}

// The options, or a message (and exit status 2) in *error.
bool ParseOptions(int argc, char** argv, PackOptions* options, std::string* error) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--compress") {
            options->compress = true;
        } else if (argument == "--version" && hasValue) {
            const std::string value = argv[++i];
            if (value.size() != 1 || value[0] < '0' || value[0] > '5') {
                *error = "--version takes 0 to 5, not \"" + value + "\"";
                return false;
            }
            options->version = static_cast<uint16_t>(value[0] - '0');
        } else if (argument == "--key" && hasValue) {
            options->key = argv[++i];
        } else if (argument.starts_with("-") && argument != "-") {
            *error = "unknown option or missing value: " + argument;
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        *error = "a directory and an archive are needed";
        return false;
    }
    if (options->compress && options->version < 2) {
        *error = "--compress needs version 2 or later";
        return false;
    }
    options->directory = positional[0];
    options->archive = positional[1];
    return true;
}

int Refuse(const std::string& message, int status) {
    std::fprintf(stderr, "orbek_archive_pack: %s\n", message.c_str());
    if (status == 2) std::fputs(kUsage, stderr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    PackOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) return Refuse(error, 2);

    std::error_code fsError;
    if (!fs::is_directory(options.directory, fsError)) {
        return Refuse(options.directory.string() + ": no such directory", 1);
    }
    const fs::path root = fs::canonical(options.directory, fsError);
    const fs::path target = fs::weakly_canonical(options.archive, fsError);
    if (std::mismatch(root.begin(), root.end(), target.begin(), target.end()).first == root.end()) {
        const std::string archive = options.archive.string();
        return Refuse(archive + ": the archive would lie inside the directory it packs", 1);
    }
    std::string keyString;
    if (options.key && !ToShiftJis(*options.key, &keyString)) {
        return Refuse("the key cannot be written in Shift-JIS", 1);
    }

    Packing packing;
    if (!PackDirectory(options.directory, "", options, packing)) return Refuse(packing.error, 1);
    ArchiveWriterOptions writerOptions;
    writerOptions.version = options.version;
    writerOptions.key = KeyFor(options.key ? keyString.c_str() : nullptr);
    writerOptions.codePage = kCodePage;
    const WrittenArchive archive = WriteArchive(packing.inputs, writerOptions);
    if (archive.bytes.size() > kMaxArchiveBytes) {
        return Refuse("the archive would be larger than the 2 GB the framework reads", 1);
    }
    if (!WriteFile(options.archive, archive.bytes, &error)) return Refuse(error, 1);
    const size_t directories = packing.inputs.size() - packing.files;
    std::printf("%s: %zu file%s, %zu director%s, %zu bytes\n", options.archive.string().c_str(),
                packing.files, packing.files == 1 ? "" : "s", directories,
                directories == 1 ? "y" : "ies", archive.bytes.size());
    return 0;
}
