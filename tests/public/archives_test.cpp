// A program's own archives: made from a directory by orbek_archive_pack and read through the
// data-file calls under the archive settings; the command's refusals; and seeks and reads with
// extreme offsets and counts, in archives and on disk.
#include <archive_writer.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "public_fixture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Runs of equal bytes with a random one every 16: LZ packs it to well under its size.
Bytes Mixed(size_t size) {
    Bytes bytes(size);
    uint32_t seed = 1;
    for (size_t i = 0; i < size; i++) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(i % 16 == 0 ? seed >> 16 : i / 64);
    }
    return bytes;
}

void WriteHostFile(const fs::path& path, const Bytes& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The whole file through the data-file calls; nothing when it does not open.
std::optional<Bytes> ReadThrough(const std::string& path) {
    StreamValue file = OpenDataFile(path.c_str(), 0, 1, 0);
    if (file == 0) return std::nullopt;
    Bytes all;
    uint8_t chunk[4096];
    while (size_t got = ReadDataFile(chunk, 1, sizeof chunk, file)) {
        all.insert(all.end(), chunk, chunk + got);
    }
    CloseDataFile(file);
    return all;
}

// The command's exit status, its standard output and error in *output.
int RunPack(const std::string& arguments, std::string* output) {
    FILE* pipe = popen((ORBEK_ARCHIVE_PACK " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char chunk[256];
    while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output->append(chunk, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ArchivesTest : public PublicFixture {
protected:
    void TearDown() override {
        SetArchiveKeyString(nullptr);
        SetArchiveExtension(nullptr);
        SetPlainFileFirst(0);
        SetNoArchiveSwitch(0);
        PublicFixture::TearDown();
    }
};

TEST_F(ArchivesTest, ADirectoryPackedByTheCommandReadsBackWithItsKeyAndExtension) {
    const Bytes map = Mixed(100000);
    const std::string longName(200, 'n');
    WriteHostFile("src/stage/one/map.bin", map);
    // UTF-8 on disk; the program names it in Shift-JIS, where 表 ends in a '\\' byte.
    WriteHostFile(fs::path(u8"src/stage/二/表.txt"), Text("hyou"));
    WriteHostFile("src/" + longName, Text("long"));
    WriteHostFile("src/Top.TXT", Text("top"));
    fs::create_directories("src/empty");

    for (const std::string options : {"--version 0", "--version 3 --compress", "--compress"}) {
        SCOPED_TRACE(options);
        std::string output;
        ASSERT_EQ(RunPack(options + " --key 'test key' src data.pak", &output), 0) << output;
        EXPECT_NE(output.find("data.pak: 4 files, 4 directories"), std::string::npos) << output;
        EXPECT_EQ(fs::file_size("data.pak") < map.size() / 2, options != "--version 0");

        ASSERT_EQ(SetArchiveExtension("pak"), 0);
        ASSERT_EQ(SetArchiveKeyString("test key"), 0);
        EXPECT_EQ(ReadThrough("data\\stage\\one\\map.bin"), map);
        EXPECT_EQ(ReadThrough("data/stage/二/表.txt"), Text("hyou"));
        EXPECT_EQ(ReadThrough("data\\" + longName), Text("long"));
        EXPECT_EQ(ReadThrough("DATA\\top.txt"), Text("top"));
        // Under another key, or another extension, there is no archive (nor data\ on disk).
        ASSERT_EQ(SetArchiveKeyString("tesT key"), 0);
        EXPECT_EQ(ReadThrough("data\\top.txt"), std::nullopt);
        ASSERT_EQ(SetArchiveKeyString("test key"), 0);
        ASSERT_EQ(SetArchiveExtension(nullptr), 0);
        EXPECT_EQ(ReadThrough("data\\top.txt"), std::nullopt);
    }
}

TEST_F(ArchivesTest, ThePackCommandRefusesWhatItCannotPackAndWritesNothing) {
    WriteHostFile("src/a.txt", Text("a"));
    const std::string name250(250, 'd');
    WriteHostFile("deep/" + name250 + "/" + name250 + "/" + name250 + "/" + name250 + "/" + name250,
                  Text("x"));
    // Names that an archive cannot hold, each beside "same.txt" in a directory of its own.
    const char* badNames[] = {"back\\slash", "\xF0\x9F\x98\x80" /* U+1F600 */, "Same.txt"};
    for (int i = 0; i < 3; i++) {
        WriteHostFile("bad" + std::to_string(i) + "/same.txt", Text("x"));
        WriteHostFile("bad" + std::to_string(i) + "/" + badNames[i], Text("x"));
    }
    const std::pair<std::string, std::string> refusals[] = {
        {"nowhere out.oba", "nowhere: no such directory"},
        {"src missing/out.oba", "missing/out.oba: No such file or directory"},
        {"src src/out.oba", "inside the directory it packs"},
        {"bad0 out.oba", "the name holds a '\\'"},
        {"bad1 out.oba", "cannot be written in Shift-JIS"},
        {"bad2 out.oba", "differ only in the case"},
        {"deep out.oba", "longer than the 1023 bytes the framework opens"},
        {"--version 6 src out.oba", "--version takes 0 to 5"},
        {"--version 1 --compress src out.oba", "--compress needs version 2 or later"},
    };
    for (const auto& [arguments, message] : refusals) {
        std::string output;
        const int status = RunPack(arguments, &output);
        EXPECT_EQ(status, arguments.starts_with("--") ? 2 : 1) << arguments << "\n" << output;
        EXPECT_NE(output.find(message), std::string::npos) << arguments << "\n" << output;
    }
    EXPECT_FALSE(fs::exists("out.oba"));
    EXPECT_FALSE(fs::exists("src/out.oba"));
}

// The 100,000 bytes of one entry, stored and packed, and on disk read directly and through the
// read-ahead: a far seek stops at an end of the entry and is refused on disk; a read whose
// byte total overflows reads nothing.
TEST_F(ArchivesTest, ExtremeSeeksAndCountsStayWithinTheFile) {
    const Bytes body = Mixed(100000);
    for (bool compress : {false, true}) {
        WriteHostFile(compress ? "packed.oba" : "stored.oba",
                      WriteArchive({{"f.bin", body, compress}}, {5, KeyFor(nullptr), 932}).bytes);
    }
    WriteHostFile("disk/f.bin", body);
    const int64_t farOffsets[] = {INT64_MAX, INT64_MIN, -(INT64_C(1) << 62)};
    for (const char* path : {"stored\\f.bin", "packed\\f.bin", "disk/f.bin"}) {
        for (int32_t useCache : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << path << " " << useCache);
            const bool archived = path[0] != 'd';
            StreamValue file = OpenDataFile(path, useCache, 1, 0);
            ASSERT_NE(file, 0u);
            for (int32_t origin : {0, 1, 2}) {
                for (int64_t offset : farOffsets) {
                    ASSERT_EQ(SeekDataFile(file, 10, 0), 0);
                    EXPECT_EQ(SeekDataFile(file, offset, origin), archived ? 0 : -1);
                    EXPECT_EQ(TellDataFile(file), !archived    ? 10
                                                  : offset > 0 ? 100000
                                                               : 0)
                        << origin << " " << offset;
                }
            }
            // Room for the whole entry, so that bytes past the first 16 show without a crash.
            Bytes buffer(body.size() + 16, 0xAB);
            ASSERT_EQ(SeekDataFile(file, 0, 0), 0);
            EXPECT_EQ(ReadDataFile(buffer.data(), 16, SIZE_MAX / 16 + 2, file), 0u);
            EXPECT_EQ(ReadDataFile(buffer.data(), SIZE_MAX, 2, file), 0u);
            EXPECT_EQ(buffer, Bytes(buffer.size(), 0xAB));
            EXPECT_EQ(TellDataFile(file), 0);
            EXPECT_EQ(ReadDataFile(buffer.data(), 16, 2, file), 2u);
            EXPECT_TRUE(std::equal(body.begin(), body.begin() + 32, buffer.begin()));
            CloseDataFile(file);
        }
    }
}

// data.oba, keyed "one", holds a.txt and b.txt; the disk holds data/a.txt.
class ArchiveSettingsTest : public ArchivesTest {
protected:
    void SetUp() override {
        ArchivesTest::SetUp();
        WriteHostFile("data.oba", WriteArchive({{"a.txt", Text("archive a")}, {"b.txt", Text("b")}},
                                               {5, KeyFor("one"), 932})
                                      .bytes);
        WriteHostFile("data/a.txt", Text("disk a"));
    }
};

TEST_F(ArchiveSettingsTest, TheKeyAndPlainFilesFirstActOnLaterOpens) {
    // An archive that the key does not open counts as missing; the right key then finds it.
    ASSERT_EQ(SetArchiveKeyString("two"), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), Text("disk a"));
    EXPECT_EQ(ReadThrough("data/b.txt"), std::nullopt);
    ASSERT_EQ(SetArchiveKeyString("one"), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), Text("archive a"));
    ASSERT_EQ(SetPlainFileFirst(1), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), Text("disk a"));
    EXPECT_EQ(ReadThrough("data/b.txt"), Text("b"));
    ASSERT_EQ(SetPlainFileFirst(0), 0);

    // A file open under the old key reads on; later opens take the new key, even from the
    // archive that file keeps open.
    StreamValue open = OpenDataFile("data/b.txt", 0, 1, 0);
    ASSERT_NE(open, 0u);
    ASSERT_EQ(SetArchiveKeyString("two"), 0);
    EXPECT_EQ(OpenDataFile("data/b.txt", 0, 1, 0), 0u);
    char letter = 0;
    EXPECT_EQ(ReadDataFile(&letter, 1, 1, open), 1u);
    EXPECT_EQ(letter, 'b');
    CloseDataFile(open);

    // Refused values change nothing.
    ASSERT_EQ(SetArchiveKeyString("one"), 0);
    EXPECT_EQ(SetArchiveKeyString(std::string(256, 'k').c_str()), -1);
    for (const char* extension : {".oba", "x/oba", "x\\oba", "0123456789abcdef0123456789abcdef"}) {
        EXPECT_EQ(SetArchiveExtension(extension), -1) << extension;
    }
    EXPECT_EQ(ReadThrough("data/b.txt"), Text("b"));
    EXPECT_EQ(SetArchiveKeyString(std::string(255, 'k').c_str()), 0);
    EXPECT_EQ(ReadThrough("data/b.txt"), std::nullopt);
}

TEST_F(ArchiveSettingsTest, TheNoArchiveSwitchActsAtSetUp) {
    ASSERT_EQ(SetArchiveKeyString("one"), 0);
    ASSERT_EQ(SetNoArchiveSwitch(1), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), Text("archive a")) << "not before set-up";
    StartFramework();
    EXPECT_EQ(ReadThrough("data/a.txt"), Text("disk a"));
    EXPECT_EQ(ReadThrough("data/b.txt"), std::nullopt);
    // A null buffer reads nothing, also where the read is not waited for.
    StreamValue file = OpenDataFile("data/a.txt", 0, 1, 1);
    EXPECT_EQ(ReadDataFile(nullptr, 1, 4, file), 0u);
    EXPECT_EQ(TellDataFile(file), 0);
    CloseDataFile(file);

    ASSERT_EQ(ShutdownLibrary(), 0);
    ASSERT_EQ(SetNoArchiveSwitch(0), 0);
    StartFramework();
    EXPECT_EQ(ReadThrough("data/a.txt"), Text("archive a"));
}

}  // namespace
