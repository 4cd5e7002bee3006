// A program's own archives: made from a directory by orbek_archive_pack and read through the
// data-file calls under the archive settings; the command's refusals; and seeks and reads with
// extreme offsets and counts, in archives and on disk; a current directory too long to tell.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "public_fixture.h"

namespace {

namespace fs = std::filesystem;
using ArchivesTest = PublicFixture;

// Numbered lines, repeating every hundred: LZ packs them to well under their size.
std::string Compressible(size_t size) {
    std::string text;
    for (int n = 0; text.size() < size; n++) text += "line " + std::to_string(n % 100) + "\n";
    text.resize(size);
    return text;
}

void WriteHostFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The whole file (up to a megabyte) through the data-file calls; nothing when it does not open.
std::optional<std::string> ReadThrough(const std::string& path) {
    StreamValue file = OpenDataFile(path.c_str(), 0, 1, 0);
    if (file == 0) return std::nullopt;
    std::string all(1 << 20, '\0');
    all.resize(ReadDataFile(all.data(), 1, all.size(), file));
    CloseDataFile(file);
    return all;
}

// The command's exit status, its standard output and error in *output when given.
int RunPack(const std::string& arguments, std::string* output = nullptr) {
    FILE* pipe = popen((ORBEK_ARCHIVE_PACK " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char chunk[256];
    while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) {
        if (output != nullptr) output->append(chunk, got);
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The command packs a directory (the version, key and compression its options say) that reads
// back under the archive settings; it refuses, writing nothing, what it cannot pack.
TEST_F(ArchivesTest, ThePackCommandPacksWhatReadsBackAndRefusesWhatItCannot) {
    const std::string map = Compressible(100000);
    WriteHostFile("src/stage/one/map.bin", map);
    // UTF-8 on disk; the program names it in Shift-JIS, where 表 ends in a '\\' byte.
    WriteHostFile(fs::path(u8"src/stage/二/表.txt"), "hyou");
    WriteHostFile("src/Top.TXT", "top");
    for (const std::string options : {"--version 0", "--compress"}) {
        SCOPED_TRACE(options);
        std::string output;
        ASSERT_EQ(RunPack(options + " --key 'test key' src data.pak", &output), 0) << output;
        EXPECT_EQ(fs::file_size("data.pak") < map.size() / 2, options == "--compress");

        ASSERT_EQ(SetArchiveExtension("pak"), 0);
        ASSERT_EQ(SetArchiveKeyString("test key"), 0);
        EXPECT_EQ(ReadThrough("data\\stage\\one\\map.bin"), map);
        EXPECT_EQ(ReadThrough("data/stage/二/表.txt"), "hyou");
        EXPECT_EQ(ReadThrough("DATA\\top.txt"), "top");
        // Under another extension there is no archive (nor data\ on disk).
        ASSERT_EQ(SetArchiveExtension(nullptr), 0);
        EXPECT_EQ(ReadThrough("data\\top.txt"), std::nullopt);
    }

    std::string deep = "deep";
    for (int i = 0; i < 5; i++) deep += "/" + std::string(250, 'd');
    WriteHostFile(deep, "x");
    WriteHostFile("bad0/back\\slash", "x");
    WriteHostFile("bad1/\xF0\x9F\x98\x80", "x");  // U+1F600
    WriteHostFile("bad2/same.txt", "x");
    WriteHostFile("bad2/Same.txt", "x");
    const std::pair<std::string, std::string> refusals[] = {
        {"src src/out.oba", "inside the directory it packs"},
        {"bad0 out.oba", "the name holds a '\\'"},
        {"bad1 out.oba", "cannot be written in Shift-JIS"},
        {"bad2 out.oba", "differ only in the case"},
        {"deep out.oba", "longer than the 1018 bytes a program can open"},
    };
    for (const auto& [arguments, message] : refusals) {
        std::string output;
        EXPECT_EQ(RunPack(arguments, &output), 1) << arguments;
        EXPECT_NE(output.find(message), std::string::npos) << arguments << "\n" << output;
    }
    EXPECT_FALSE(fs::exists("out.oba") || fs::exists("src/out.oba"));
}

// An archive entry of 100,000 bytes, and the same file on disk read directly and through the
// read-ahead: a far seek stops at an end of the entry and is refused on disk; a read whose byte
// total overflows reads nothing.
TEST_F(ArchivesTest, ExtremeSeeksAndCountsStayWithinTheFile) {
    const std::string body = Compressible(100000);
    WriteHostFile("disk/f.bin", body);
    ASSERT_EQ(RunPack("disk archive.oba"), 0);
    const std::pair<const char*, int32_t> opens[] = {
        {"archive\\f.bin", 0}, {"disk/f.bin", 0}, {"disk/f.bin", 1}};
    for (const auto& [path, useCache] : opens) {
        SCOPED_TRACE(::testing::Message() << path << " " << useCache);
        const bool archived = path[0] == 'a';
        StreamValue file = OpenDataFile(path, useCache, 1, 0);
        ASSERT_NE(file, 0u);
        for (int32_t origin : {0, 1, 2}) {
            for (int64_t offset : {INT64_MAX, INT64_MIN}) {
                ASSERT_EQ(SeekDataFile(file, 10, 0), 0);
                EXPECT_EQ(SeekDataFile(file, offset, origin), archived ? 0 : -1);
                const int64_t end = offset > 0 ? 100000 : 0;
                EXPECT_EQ(TellDataFile(file), archived ? end : 10) << origin << " " << offset;
            }
        }
        // Room for the whole entry, so that bytes past the first 16 show without a crash.
        std::string buffer(body.size() + 16, '\xAB');
        ASSERT_EQ(SeekDataFile(file, 0, 0), 0);
        EXPECT_EQ(ReadDataFile(buffer.data(), 16, SIZE_MAX / 16 + 2, file), 0u);
        EXPECT_EQ(buffer.find_first_not_of('\xAB'), std::string::npos);
        EXPECT_EQ(ReadDataFile(buffer.data(), 16, 2, file), 2u);
        EXPECT_EQ(buffer.compare(0, 32, body, 0, 32), 0);
        CloseDataFile(file);
    }
}

// data.oba, keyed "one", holds a.txt and b.txt; the disk holds data/a.txt.
TEST_F(ArchivesTest, TheSettingsActOnLaterOpensAndTheNoArchiveSwitchAtSetUp) {
    WriteHostFile("in/a.txt", "archive a");
    WriteHostFile("in/b.txt", "b");
    WriteHostFile("data/a.txt", "disk a");
    ASSERT_EQ(RunPack("--key one in data.oba"), 0);
    // An archive that the key does not open counts as missing; the right key then finds it.
    ASSERT_EQ(SetArchiveKeyString("two"), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), "disk a");
    EXPECT_EQ(ReadThrough("data/b.txt"), std::nullopt);
    ASSERT_EQ(SetArchiveKeyString("one"), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), "archive a");
    ASSERT_EQ(SetPlainFileFirst(1), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), "disk a");
    EXPECT_EQ(ReadThrough("data/b.txt"), "b");
    ASSERT_EQ(SetPlainFileFirst(0), 0);

    // A file open under the old key reads on; later opens take the new key, even from the
    // archive that file keeps open.
    StreamValue open = OpenDataFile("data/b.txt", 0, 1, 0);
    ASSERT_EQ(SetArchiveKeyString("two"), 0);
    EXPECT_EQ(OpenDataFile("data/b.txt", 0, 1, 0), 0u);
    char letter = 0;
    EXPECT_EQ(ReadDataFile(&letter, 1, 1, open), 1u);
    EXPECT_EQ(letter, 'b');
    CloseDataFile(open);

    // Refused values change nothing.
    ASSERT_EQ(SetArchiveKeyString("one"), 0);
    EXPECT_EQ(SetArchiveKeyString(std::string(256, 'k').c_str()), -1);
    EXPECT_EQ(SetArchiveExtension(".oba"), -1);
    EXPECT_EQ(SetArchiveExtension("x\\oba"), -1);
    EXPECT_EQ(ReadThrough("data/b.txt"), "b");

    // The no-archive switch acts at the set-up. A null buffer reads nothing, also where the read
    // is not waited for.
    ASSERT_EQ(SetNoArchiveSwitch(1), 0);
    EXPECT_EQ(ReadThrough("data/a.txt"), "archive a");
    StartFramework();
    EXPECT_EQ(ReadThrough("data/a.txt"), "disk a");
    StreamValue file = OpenDataFile("data/a.txt", 0, 1, 1);
    EXPECT_EQ(ReadDataFile(nullptr, 1, 4, file), 0u);
    CloseDataFile(file);
    // Switched back, it takes the archives up again at the next set-up.
    ASSERT_EQ(ShutdownLibrary(), 0);
    ASSERT_EQ(SetNoArchiveSwitch(0), 0);
    StartFramework();
    EXPECT_EQ(ReadThrough("data/a.txt"), "archive a");
}

// A current directory of kDataCurrentDirBytes or more cannot be told, so relative paths would
// have no base: SetDataCurrentDir does not enter one, and a program started in one opens no
// relative path (it used to look for their archives from the drive's root and read the disk
// beside them); full paths still open.
TEST_F(ArchivesTest, ACurrentDirectoryTooLongToTellIsNotEnteredAndGivesNoRelativePath) {
    const std::string deep = directory_ + "/" + std::string(120, 'd') + "/" + std::string(120, 'e');
    WriteHostFile(deep + "/in/a.txt", "archive a");
    WriteHostFile(deep + "/data/a.txt", "disk a");
    WriteBytes(deep + "/pic.bmp", BmpImage(2, 2, [](int, int) { return 0xFF0000u; }));
    ASSERT_EQ(RunPack(deep + "/in " + deep + "/data.oba"), 0);
    std::string windows = "Z:" + deep;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    ASSERT_GE(windows.size(), kDataCurrentDirBytes);

    char before[kDataCurrentDirBytes] = {};
    char after[kDataCurrentDirBytes] = {};
    const int length = GetDataCurrentDir(before);
    EXPECT_EQ(SetDataCurrentDir(windows.c_str()), 0);
    EXPECT_EQ(GetDataCurrentDir(after), length);
    EXPECT_STREQ(after, before);

    ASSERT_EQ(chdir(deep.c_str()), 0);
    StartFramework();
    EXPECT_EQ(ReadThrough("data/a.txt"), std::nullopt);
    EXPECT_EQ(LoadImageFileAsGraph("pic.bmp", 0), -1);
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    EXPECT_EQ(LoadImageFileAsGraph("pic.bmp", 0), -1);
    ASSERT_EQ(SwitchAsyncLoad(0), 0);
    EXPECT_EQ(ReadThrough(windows + "\\data\\a.txt"), "archive a");
    EXPECT_NE(LoadImageFileAsGraph((windows + "\\pic.bmp").c_str(), 0), -1);
}

}  // namespace
