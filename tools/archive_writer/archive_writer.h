// A writer of "OBA" archives of every version and an LZ encoder, written apart from the reader
// so that the reader is tested on data it did not make itself; the shader pack's generator
// makes the program's built-in pack with them, and orbek_archive_pack a program's archives.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
};

struct ArchiveWriterOptions {
    uint16_t version = 5;
    ArchiveKey key{};
    uint32_t codePage = 932;  // stored from version 4
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
};

WrittenArchive WriteArchive(const std::vector<ArchiveInput>& inputs,
                            const ArchiveWriterOptions& options);

// Rewrite a byte of the file, or a 32-bit field of the table block, given its plain value and
// scrambled as the archive's version scrambles it. Version 5 bodies are not patched this way.
void PatchArchiveByte(WrittenArchive& archive, uint32_t fileOffset, uint8_t value);
void PatchArchiveTable(WrittenArchive& archive, uint32_t tableOffset, uint32_t value);
// The plain value of one byte of the file.
uint8_t PlainArchiveByte(const WrittenArchive& archive, uint32_t fileOffset);

// The LZ stream of data: a 9-byte head and greedy matches found through hash chains. The
// escape byte is the least frequent byte unless one is given.
std::vector<uint8_t> EncodeLz(const std::vector<uint8_t>& data, int escape = -1);
