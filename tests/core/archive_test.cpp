// The archive reader on archives from the test writer: every version with and without keys,
// opens from an image and from a file, lookup and directory walks, and damaged archives.
#include "core/archive.h"

#include <archive_writer.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/lz_expand.h"
#include "support/temp_directory.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (size_t i = 0; i < size; i++) bytes[i] = static_cast<uint8_t>(i % 7 ? i / 64 : random());
    return bytes;
}

// Nested and empty directories, an empty file, Shift-JIS names (the trail byte of 表 is '\').
std::vector<ArchiveInput> SampleInputs(bool compress) {
    return {
        {"graphics\\title.png", Pattern(3000, 1), compress},
        {"graphics/ui/button.png", Bytes(5000, 0x41), compress},
        {"sound\\se\\jump.wav", Pattern(777, 2), compress},
        {"readme.txt", Bytes{'h', 'i'}, compress},
        {"empty.dat", Bytes{}, compress},
        {"表\\データ.bin", Pattern(1500, 3), compress},
        {"ａｂ.txt", Bytes{1}, compress},  // full-width letters
        {"graphics\\blank\\", {}},
        {"graphics\\", {}},
    };
}
constexpr size_t kTitle = 0;
constexpr size_t kJump = 2;
constexpr size_t kReadme = 3;
constexpr size_t kBlankDir = 7;
constexpr size_t kGraphicsDir = 8;

// The entry's contents, from an archive held in memory.
Bytes Contents(Archive* archive, const ArchiveFileEntry* entry) {
    const uint8_t* body = GetArchiveImage(archive) + GetArchiveBodyStart(archive, entry);
    if (!IsArchiveEntryCompressed(archive, entry)) return Bytes(body, body + entry->size);
    Bytes out(entry->size);
    EXPECT_EQ(ExpandArchiveData(body, entry->compressedSize, out.data(), entry->size),
              static_cast<int32_t>(entry->size));
    return out;
}

void ExpectAllFilesRead(Archive* archive, const std::vector<ArchiveInput>& inputs,
                        bool compressed) {
    for (const ArchiveInput& input : inputs) {
        if (input.path.back() == '\\') continue;
        const ArchiveFileEntry* entry = FindArchiveFileEntry(input.path.c_str(), archive);
        ASSERT_NE(entry, nullptr) << input.path;
        EXPECT_EQ(IsArchiveEntryCompressed(archive, entry), compressed && !input.data.empty());
        EXPECT_EQ(Contents(archive, entry), input.data) << input.path;
    }
}

class ArchiveImageTest : public ::testing::Test {
protected:
    void SetUp() override { ClearArchive(&archive_); }
    void TearDown() override { CloseArchive(&archive_); }

    int Open(const WrittenArchive& written, const char* keyString) {
        image_ = written.bytes;
        return OpenArchiveFromImage(&archive_, image_.data(), static_cast<uint32_t>(image_.size()),
                                    keyString);
    }

    Archive archive_;
    Bytes image_;
};

TEST(ArchiveKey, KeyStringsRepeatAndScramblingFollowsTheKeyStream) {
    EXPECT_EQ(KeyFor("ab"), KeyFor("abababababab"));
    EXPECT_EQ(KeyFor("abcdefghijklm"), KeyFor("abcdefghijkl"));
    EXPECT_EQ(KeyFor(nullptr), KeyFor(""));
    EXPECT_NE(KeyFor("ab"), KeyFor("ba"));
    ArchiveKey second;
    MakeSecondArchiveKey(second.data());
    EXPECT_NE(second, KeyFor(nullptr));

    // Every start position and length, through the byte and the word paths.
    ArchiveKey key = KeyFor("stream");
    for (uint32_t position = 0; position < 30; position++) {
        for (uint32_t length = 0; length < 45; length++) {
            Bytes data = Pattern(length, position);
            Bytes expected = data;
            for (uint32_t i = 0; i < length; i++) expected[i] ^= key[(position + i) % 12];
            ScrambleArchiveBytes(length, data.data(), position, key.data());
            ASSERT_EQ(data, expected) << position << " " << length;
        }
    }
}

TEST_F(ArchiveImageTest, EveryVersionAndKeyRoundTripsAndTheImageComesBack) {
    ArchiveKey second;
    MakeSecondArchiveKey(second.data());
    for (uint16_t version = 0; version <= 5; version++) {
        for (const char* keyString : {static_cast<const char*>(nullptr), "secret"}) {
            for (bool compress : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << "version " << version << " key " << (keyString ? keyString : "-")
                             << " " << compress);
                std::vector<ArchiveInput> inputs = SampleInputs(compress);
                WrittenArchive written = WriteArchive(inputs, {version, KeyFor(keyString), 932});
                ASSERT_EQ(Open(written, keyString), 0);
                EXPECT_EQ(archive_.charSet, version >= 4 ? 1 : 0);
                // Versions 0 and 1 store no compressed size: nothing is compressed there.
                ExpectAllFilesRead(&archive_, inputs, compress && version >= 2);
                EXPECT_EQ(OpenArchiveFromImage(&archive_, written.bytes.data(), 100, nullptr), -1)
                    << "the record is in use";
                EXPECT_EQ(CloseArchive(&archive_), 0);
                EXPECT_EQ(image_, written.bytes) << "the caller's image is put back";
            }
        }
        // Made with the second key: it is tried after the given key fails on the magic.
        WrittenArchive written = WriteArchive(SampleInputs(true), {version, second, 932});
        ASSERT_EQ(Open(written, "whatever"), 0);
        ExpectAllFilesRead(&archive_, SampleInputs(true), version >= 2);
        CloseArchive(&archive_);
    }
}

TEST_F(ArchiveImageTest, WrongKeyOrVersionSixIsRefusedAndTheImageIsUntouched) {
    WrittenArchive written = WriteArchive(SampleInputs(true), {5, KeyFor("secret"), 932});
    EXPECT_EQ(Open(written, "other"), -1);
    EXPECT_EQ(image_, written.bytes);
    for (uint16_t version : {3, 5}) {
        WrittenArchive six = WriteArchive(SampleInputs(false), {version, KeyFor(nullptr), 932});
        PatchArchiveByte(six, 2, 6);
        EXPECT_EQ(Open(six, nullptr), -1);
        EXPECT_EQ(image_, six.bytes);
    }
}

TEST_F(ArchiveImageTest, LookupIgnoresTheCaseOfAToZOnlyAndNamesFilesOnly) {
    std::vector<ArchiveInput> inputs = SampleInputs(false);
    ASSERT_EQ(Open(WriteArchive(inputs, {5, KeyFor(nullptr), 932}), nullptr), 0);
    const ArchiveFileEntry* title = FindArchiveFileEntry("graphics\\title.png", &archive_);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(FindArchiveFileEntry("GRAPHICS\\Title.PNG", &archive_), title);
    EXPECT_EQ(FindArchiveFileEntry("/Graphics/TITLE.png", &archive_), title);
    EXPECT_EQ(FindArchiveFileEntry("Ａｂ.txt", &archive_), nullptr) << "full-width differ";
    EXPECT_EQ(FindArchiveFileEntry("graphics\\title.pn", &archive_), nullptr);
    EXPECT_EQ(FindArchiveFileEntry(std::string(300, 'a').c_str(), &archive_), nullptr);
    // The trail byte '\' of 表 does not split the name.
    const ArchiveFileEntry* data = FindArchiveFileEntry("表\\データ.bin", &archive_);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(GetArchiveEntryName(&archive_, data), "データ.bin");

    EXPECT_EQ(FindArchiveFileEntry("graphics", &archive_), nullptr);
    EXPECT_EQ(FindArchiveFileEntry("graphics\\ui\\", &archive_), nullptr);
    // Only the last component names the file: "graphics\title.png\x" is not title.png.
    EXPECT_EQ(FindArchiveFileEntry("graphics\\title.png\\x", &archive_), nullptr);
    uint32_t position = 0;
    uint32_t size = 0;
    ASSERT_EQ(LocateArchiveEntry(&archive_, "README.TXT", &position, &size), 0);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(image_[position], 'h');
    EXPECT_EQ(LocateArchiveEntry(&archive_, "sound\\se\\missing.wav", &position, &size), -1);
}

TEST_F(ArchiveImageTest, ChangeDirWalksAndRestores) {
    ASSERT_EQ(Open(WriteArchive(SampleInputs(false), {5, KeyFor(nullptr), 932}), nullptr), 0);
    const ArchiveDirEntry* root = GetArchiveRootDir(&archive_);
    EXPECT_EQ(ChangeArchiveDir(&archive_, "..", 1, nullptr), -1) << "no parent at the root";
    ASSERT_EQ(ChangeArchiveDir(&archive_, "GRAPHICS\\ui\\", 1, nullptr), 0);
    EXPECT_NE(FindArchiveFileEntry("button.png", &archive_), nullptr) << "relative to ui";
    ASSERT_EQ(ChangeArchiveDir(&archive_, "..", 1, nullptr), 0);
    ASSERT_EQ(ChangeArchiveDir(&archive_, ".", 1, nullptr), 0);
    EXPECT_NE(FindArchiveFileEntry("title.png", &archive_), nullptr) << "back in graphics";
    ASSERT_EQ(ChangeArchiveDir(&archive_, "/sound/se", 1, nullptr), 0) << "from the root";
    EXPECT_NE(FindArchiveFileEntry("\\readme.txt", &archive_), nullptr);
    ASSERT_EQ(ChangeArchiveDir(&archive_, "\\", 1, nullptr), 0);
    EXPECT_EQ(archive_.currentDir, root);
    EXPECT_EQ(ChangeArchiveDir(&archive_, "graphics\\..\\sound", 1, nullptr), -1)
        << "inside a path .. is an ordinary name";

    ArchiveNameRecord name;
    EXPECT_EQ(ChangeArchiveDir(&archive_, "graphics\\nothing\\ui", 1, &name), -1);
    EXPECT_EQ(archive_.currentDir, root) << "restored";
    EXPECT_EQ(name.lengthUnits, 2) << "NOTHING and at least one zero: 8 bytes";
    EXPECT_EQ(std::memcmp(name.upper, "NOTHING\0", 8), 0);
    EXPECT_EQ(name.sum, 'N' + 'O' + 'T' + 'H' + 'I' + 'N' + 'G');
    EXPECT_EQ(ChangeArchiveDir(&archive_, "graphics\\nothing", 0, nullptr), -1);
    EXPECT_NE(FindArchiveFileEntry("title.png", &archive_), nullptr) << "left in graphics";
}

uint32_t EntryField(const WrittenArchive& w, size_t input, uint32_t field) {
    return w.fileTableOffset + w.entryOffsets[input] + field;
}
uint32_t TableSize(const WrittenArchive& w) {
    return static_cast<uint32_t>(w.bytes.size()) - w.tableOffset;
}

// Damage written into the table block that must make the open fail.
struct TableDamage {
    const char* what;
    uint32_t (*offset)(const WrittenArchive&);
    uint32_t (*value)(const WrittenArchive&);
};
const TableDamage kTableDamage[] = {
    {"root has a parent", [](auto& w) { return w.dirTableOffset + 4; }, [](auto&) { return 0u; }},
    {"root entries beyond the table", [](auto& w) { return w.dirTableOffset + 12; },
     [](auto& w) { return TableSize(w); }},
    {"entry count huge", [](auto& w) { return w.dirTableOffset + 8; },
     [](auto&) { return 0x10000000u; }},
    {"name beyond the table", [](auto& w) { return EntryField(w, kReadme, 0); },
     [](auto& w) { return TableSize(w) - 2; }},
    {"name offset huge", [](auto& w) { return EntryField(w, kReadme, 0); },
     [](auto&) { return 0xFFFFFFFFu; }},
    {"body beyond the data", [](auto& w) { return EntryField(w, kTitle, 32); },
     [](auto&) { return 0xFFFFFF00u; }},
    {"body inside the tables", [](auto& w) { return EntryField(w, kTitle, 32); },
     [](auto& w) { return w.tableOffset - w.dataOffset; }},
    {"size beyond the data", [](auto& w) { return EntryField(w, kReadme, 36); },
     [](auto&) { return 0x7FFFFFFFu; }},
    {"directory loops to the root", [](auto& w) { return EntryField(w, kGraphicsDir, 32); },
     [](auto&) { return 0u; }},
    {"directory record beyond the table", [](auto& w) { return EntryField(w, kGraphicsDir, 32); },
     [](auto& w) { return TableSize(w); }},
    {"subdirectory names another parent", [](auto& w) { return w.dirTableOffset + 16 + 4; },
     [](auto&) { return 16u; }},
    {"subdirectory names another entry", [](auto& w) { return w.dirTableOffset + 16; },
     [](auto& w) { return w.entryOffsets[kReadme]; }},
};

TEST_F(ArchiveImageTest, DamagedArchivesFailTheOpenAndLeaveTheImage) {
    for (uint16_t version : {1, 4, 5}) {
        for (const TableDamage& damage : kTableDamage) {
            SCOPED_TRACE(::testing::Message() << "version " << version << ": " << damage.what);
            WrittenArchive written = WriteArchive(SampleInputs(false), {version, KeyFor("k"), 932});
            PatchArchiveTable(written, damage.offset(written), damage.value(written));
            EXPECT_EQ(Open(written, "k"), -1);
            EXPECT_EQ(image_, written.bytes);
        }
    }
    WrittenArchive written = WriteArchive(SampleInputs(true), {5, KeyFor(nullptr), 932});
    for (uint32_t cut = 0; cut < written.bytes.size(); cut += 7) {
        Bytes part(written.bytes.begin(), written.bytes.begin() + cut);
        ASSERT_EQ(OpenArchiveFromImage(&archive_, part.data(), cut, nullptr), -1) << cut;
        ASSERT_TRUE(std::equal(part.begin(), part.end(), written.bytes.begin())) << cut;
    }
    // A compressed size its body cannot expand to: the reader would take it whole.
    for (uint32_t size : {0x7FFFFFFFu, 1u << 24}) {
        WrittenArchive bad = written;
        PatchArchiveTable(bad, EntryField(bad, kTitle, 36), size);
        EXPECT_EQ(Open(bad, nullptr), -1) << size;
        EXPECT_EQ(image_, bad.bytes);
    }
    // Header bytes 16..23: the file and directory table offsets, each pushed out of the block.
    for (uint32_t field : {19u, 23u}) {
        WrittenArchive bad = written;
        PatchArchiveByte(bad, field, 0x7F);
        EXPECT_EQ(Open(bad, nullptr), -1) << field;
        EXPECT_EQ(image_, bad.bytes);
    }
}

uint32_t PlainTableWord(const WrittenArchive& w, uint32_t tableOffset) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4; i++) {
        value |= uint32_t{PlainArchiveByte(w, w.tableOffset + tableOffset + i)} << (8 * i);
    }
    return value;
}

// Entries reached through two directories, or version 5 bodies unscrambled twice, would make
// the open's work grow with the square of the archive's size.
TEST_F(ArchiveImageTest, SharedEntriesAndOverlappingVersionFiveBodiesAreRefused) {
    for (uint16_t version : {1, 4, 5}) {
        SCOPED_TRACE(::testing::Message() << "version " << version);
        WrittenArchive shared = WriteArchive(SampleInputs(false), {version, KeyFor(nullptr), 932});
        uint32_t blank =
            shared.dirTableOffset + PlainTableWord(shared, EntryField(shared, kBlankDir, 32));
        PatchArchiveTable(shared, blank + 8, 1);
        PatchArchiveTable(shared, blank + 12, shared.entryOffsets[kJump]);
        EXPECT_EQ(Open(shared, nullptr), -1) << "the empty directory names jump.wav's entry";
        CloseArchive(&archive_);
        EXPECT_EQ(image_, shared.bytes);

        WrittenArchive overlap = WriteArchive(SampleInputs(false), {version, KeyFor(nullptr), 932});
        PatchArchiveTable(overlap, EntryField(overlap, kReadme, 32), overlap.bodyOffsets[kTitle]);
        EXPECT_EQ(Open(overlap, nullptr), version == 5 ? -1 : 0) << "readme.txt inside title.png";
        CloseArchive(&archive_);
        EXPECT_EQ(image_, overlap.bytes);
    }
}

class ArchiveFileTest : public FileLayerTest {
protected:
    void SetUp() override {
        FileLayerTest::SetUp();
        ClearArchive(&archive_);
    }
    void TearDown() override {
        CloseArchive(&archive_);
        FileLayerTest::TearDown();
    }
    Archive archive_;
};

TEST_F(ArchiveFileTest, TableOnlyAndWholeOpensReadEveryVersion) {
    for (uint16_t version = 0; version <= 5; version++) {
        SCOPED_TRACE(::testing::Message() << "version " << version);
        std::vector<ArchiveInput> inputs = SampleInputs(true);
        directory_.Write("data.oba",
                         WriteArchive(inputs, {version, KeyFor("file key"), 932}).bytes);
        std::string path = directory_.Windows("data.oba");

        ASSERT_EQ(OpenArchiveFile(&archive_, path.c_str(), "file key"), 0);
        EXPECT_EQ(GetArchiveImage(&archive_), nullptr) << "data stays in the file";
        EXPECT_NE(FindArchiveFileEntry("sound\\se\\jump.wav", &archive_), nullptr);
        CloseArchive(&archive_);
        for (int32_t async : {0, 1}) {
            ASSERT_EQ(OpenArchiveFileWhole(&archive_, path.c_str(), "file key", async), 0);
            // Every operation first waits for a pending whole read.
            ExpectAllFilesRead(&archive_, inputs, version >= 2);
            CloseArchive(&archive_);
        }
    }
}

TEST_F(ArchiveFileTest, FileOpensFailCleanly) {
    WrittenArchive written = WriteArchive(SampleInputs(false), {3, KeyFor(nullptr), 932});
    EXPECT_EQ(OpenArchiveFile(&archive_, directory_.Windows("missing.oba").c_str(), nullptr), -1);
    directory_.Write("cut.oba", Bytes(written.bytes.begin(), written.bytes.end() - 5));
    EXPECT_EQ(OpenArchiveFile(&archive_, directory_.Windows("cut.oba").c_str(), nullptr), -1);
    PatchArchiveTable(written, written.dirTableOffset + 8, 0x01000000);
    directory_.Write("bad.oba", written.bytes);
    EXPECT_EQ(OpenArchiveFileWhole(&archive_, directory_.Windows("bad.oba").c_str(), nullptr, 1),
              -1);
    EXPECT_EQ(archive_.tables, nullptr) << "the record is left empty";
}

}  // namespace
