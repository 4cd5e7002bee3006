// Packs a directory into an archive of the framework's format: every file and directory below
// it, by its path inside the directory, names in Shift-JIS as the framework's paths are. The
// archive replaces its destination only once it is whole.
// Usage: orbek_archive_pack [--version N] [--key TEXT] [--compress] <directory> <archive>
#include <archive_writer.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "replace_file.h"
#include "source_tree.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: orbek_archive_pack [--version N] [--key TEXT] [--compress] <directory> <archive>\n"
    "  --version N  archive version 0 to 5 (default 5)\n"
    "  --key TEXT   key string of at most 255 bytes in Shift-JIS; a program reads the archive\n"
    "               after SetArchiveKeyString(TEXT) (default: the framework's default key)\n"
    "  --compress   store each file LZ-compressed where that makes it smaller (version 2 and\n"
    "               later)\n";

// SetArchiveKeyString keeps a key string of at most this many bytes.
constexpr size_t kMaxKeyBytes = 255;

struct PackOptions {
    uint16_t version = 5;
    std::optional<std::string> key;  // in Shift-JIS
    bool compress = false;
    fs::path directory;
    fs::path archive;
};

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
            std::string key;
            if (!ToShiftJis(argv[++i], &key)) {
                *error = "the key cannot be written in Shift-JIS";
                return false;
            }
            if (key.size() > kMaxKeyBytes) {
                *error = "the key takes " + std::to_string(key.size()) +
                         " bytes in Shift-JIS; SetArchiveKeyString takes at most " +
                         std::to_string(kMaxKeyBytes);
                return false;
            }
            options->key = key;
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

int Pack(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    PackOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) return Refuse(error, 2);

    // Everything is checked before anything is written.
    fs::path target;
    if (!ReplaceableTarget(options.archive, &target, &error)) return Refuse(error, 1);
    SourceTree tree;
    if (!ReadSourceTree(options.directory, options.compress, &tree, &error)) {
        return Refuse(error, 1);
    }
    std::error_code fsError;
    const fs::path root = fs::canonical(options.directory, fsError);
    const fs::path where = fs::weakly_canonical(target, fsError);
    if (std::mismatch(root.begin(), root.end(), where.begin(), where.end()).first == root.end()) {
        const std::string archive = options.archive.string();
        return Refuse(archive + ": the archive would lie inside the directory it packs", 1);
    }
    if (!options.compress && tree.fileBytes > kMaxArchiveBytes) {
        return Refuse("the files hold more than the 2 GB an archive may hold", 1);
    }

    ArchiveWriterOptions writerOptions;
    writerOptions.version = options.version;
    writerOptions.key = KeyFor(options.key ? options.key->c_str() : nullptr);
    writerOptions.plainUnlessSmaller = true;
    WrittenArchive archive;
    const bool written = ReplaceFile(
        target,
        [&](const ByteSink& sink) {
            const ArchiveWriteResult result =
                WriteArchiveTo(tree.inputs, writerOptions, sink, &archive);
            if (result == ArchiveWriteResult::kTooLarge) {
                error = "the archive would be larger than the 2 GB the framework reads";
            }
            return result == ArchiveWriteResult::kWritten;
        },
        &error);
    if (!written) return Refuse(error, 1);
    const size_t directories = tree.inputs.size() - tree.files;
    std::printf("%s: %zu file%s, %zu director%s, %llu bytes\n", options.archive.string().c_str(),
                tree.files, tree.files == 1 ? "" : "s", directories, directories == 1 ? "y" : "ies",
                static_cast<unsigned long long>(archive.totalBytes));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The temporary file is gone by the time an exception gets here.
    try {
        return Pack(argc, argv);
    } catch (const std::bad_alloc&) {
        return Refuse(
            "out of memory (each file is read whole, one at a time); the archive is "
            "left as it was",
            1);
    } catch (const std::exception& exception) {
        return Refuse(std::string(exception.what()) + "; the archive is left as it was", 1);
    }
}
