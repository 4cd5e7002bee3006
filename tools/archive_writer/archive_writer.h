// A writer of "OBA" archives of every version and an LZ encoder, written apart from the reader
// so that the reader is tested on data it did not make itself; the shader pack's generator
// makes the program's built-in pack with them, and orbek_archive_pack a program's archives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lz_encode.h"

using ArchiveKey = std::array<uint8_t, 12>;

// The key the reader derives from a key string (null for its default key).
ArchiveKey KeyFor(const char* keyString);

// The components of a path, split at the separators ('\\' and '/') that are not the second
// byte of a double-byte character of the code page.
std::vector<std::string> SplitArchivePath(const std::string& path, uint32_t codePage);
// A name as the reader's lookup compares it: the letters a to z raised, the double-byte
// characters of the code page kept.
std::string UpperArchiveName(const std::string& name, uint32_t codePage);

struct ArchiveInput {
    // Components separated by '\\' or '/', letters as they are to be stored. A path that ends
    // in a separator makes an empty directory.
    std::string path;
    std::vector<uint8_t> data;
    bool compress = false;  // version 2 and later
    uint64_t creationTime = 0;
    uint64_t lastWriteTime = 0;
    // When set, the bytes are read through it (in place of data) as the body is written, and
    // let go after it: a writer of many large files then holds one of them at a time.
    std::function<bool(std::vector<uint8_t>* data)> read = nullptr;
};

struct ArchiveWriterOptions {
    uint16_t version = 5;
    ArchiveKey key{};
    uint32_t codePage = 932;  // stored from version 4
    // A file to be compressed is stored plain where compression does not make it smaller.
    bool plainUnlessSmaller = false;
};

// The archive and where its parts lie, for tests that damage it on purpose.
struct WrittenArchive {
    std::vector<uint8_t> bytes;
    uint16_t version = 0;
    ArchiveKey key{};
    uint32_t dataOffset = 0;
    uint32_t tableOffset = 0;
    uint32_t fileTableOffset = 0;  // within the table block
    uint32_t dirTableOffset = 0;   // within the table block
    uint32_t entryBytes = 0;
    // Per input, in input order: its entry's offset in the file table and its body's offset
    // in the data area and stored length (for files).
    std::vector<uint32_t> entryOffsets;
    std::vector<uint32_t> bodyOffsets;
    std::vector<uint32_t> bodyLengths;
    uint64_t totalBytes = 0;
};

WrittenArchive WriteArchive(const std::vector<ArchiveInput>& inputs,
                            const ArchiveWriterOptions& options);

// The framework seeks in an archive with signed 32-bit offsets: no archive grows larger.
constexpr uint64_t kMaxArchiveBytes = INT32_MAX;

enum class ArchiveWriteResult {
    kWritten,
    kStopped,   // a read or the sink failed (they know why)
    kTooLarge,  // the archive would pass kMaxArchiveBytes
};

// The archive through sink, each body read, compressed and written in its turn; *layout gets
// where its parts lie (its bytes stay empty).
ArchiveWriteResult WriteArchiveTo(const std::vector<ArchiveInput>& inputs,
                                  const ArchiveWriterOptions& options, const ByteSink& sink,
                                  WrittenArchive* layout);

// Rewrite a byte of the file, or a 32-bit field of the table block, given its plain value and
// scrambled as the archive's version scrambles it. Version 5 bodies are not patched this way.
void PatchArchiveByte(WrittenArchive& archive, uint32_t fileOffset, uint8_t value);
void PatchArchiveTable(WrittenArchive& archive, uint32_t tableOffset, uint32_t value);
// The plain value of one byte of the file.
uint8_t PlainArchiveByte(const WrittenArchive& archive, uint32_t fileOffset);
