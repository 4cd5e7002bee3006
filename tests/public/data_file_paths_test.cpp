// How the data-file calls find a path on disk: a name in another case after its folder changed
// behind a modification time put back, and a current directory too long to be told.
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "public_fixture.h"

namespace {

namespace fs = std::filesystem;
using DataFilePathsTest = PublicFixture;

void WriteDataFile(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The whole file through the data-file calls (read ahead by its file-access thread when
// useCache is 1); nothing when it does not open.
std::optional<std::string> ReadDataFileWhole(const std::string& path, int32_t useCache = 0) {
    StreamValue file = OpenDataFile(path.c_str(), useCache, 1, 0);
    if (file == 0) return std::nullopt;
    std::string all(4096, '\0');
    all.resize(ReadDataFile(all.data(), 1, all.size(), file));
    CloseDataFile(file);
    return all;
}

// tar x, rsync -t, cp -p and touch -r put a folder's modification time back after changing its
// entries: a file added, one renamed and one removed are still found as the disk has them.
TEST_F(DataFilePathsTest, ANameInAnotherCaseFollowsAFolderWhoseTimeWasPutBack) {
    WriteDataFile("data/A.TXT", "a");
    WriteDataFile("data/B.TXT", "b");
    WriteDataFile("data/C.TXT", "upper c");
    WriteDataFile("data/c.txt", "lower c");
    const timespec newYear2024[2] = {{0, UTIME_OMIT}, {1704067200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "data", newYear2024, 0), 0);
    EXPECT_EQ(ReadDataFileWhole("data/a.txt"), "a");
    EXPECT_EQ(ReadDataFileWhole("data/C.txt"), "upper c");

    WriteDataFile("data/G.TXT", "g");
    fs::rename("data/B.TXT", "data/D.TXT");
    fs::remove("data/C.TXT");
    ASSERT_EQ(utimensat(AT_FDCWD, "data", newYear2024, 0), 0);
    EXPECT_EQ(ReadDataFileWhole("data/G.TXT"), "g");
    EXPECT_EQ(ReadDataFileWhole("data/g.txt"), "g");
    EXPECT_EQ(ReadDataFileWhole("data/d.txt"), "b");
    EXPECT_EQ(ReadDataFileWhole("data/b.txt"), std::nullopt);
    EXPECT_EQ(ReadDataFileWhole("data/C.txt"), "lower c");
}

// Other threads (a file's own file-access thread, the loading threads) resolve relative paths
// against the current directory whenever they run, so a directory too long to be told is told
// before it is entered, not entered and left again. Were it entered, leaving it would take a
// second SetCurrentDirectoryA, which fails here.
TEST_F(DataFilePathsTest, ADirectoryTooLongToTellIsNeverEntered) {
    const std::string deep = directory_ + "/" + std::string(120, 'd') + "/" + std::string(120, 'e');
    fs::create_directories(deep);
    fs::create_directory_symlink(deep, "short");
    WriteDataFile("here.txt", "here");
    std::string windows = "Z:" + deep;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    ASSERT_GE(windows.size(), kDataCurrentDirBytes);
    char before[kDataCurrentDirBytes] = {};
    ASSERT_GT(GetDataCurrentDir(before), 0);

    // Through a short link too: the current directory would be the long one it leads to.
    for (const std::string& path : {windows, std::string("short")}) {
        SCOPED_TRACE(path);
        TestFailNthCall("SetCurrentDirectoryA", 2);
        EXPECT_EQ(SetDataCurrentDir(path.c_str()), 0);
        TestFailNthCall("SetCurrentDirectoryA", 0);
        char after[kDataCurrentDirBytes] = {};
        EXPECT_EQ(GetDataCurrentDir(after), static_cast<int>(std::strlen(before)));
        EXPECT_STREQ(after, before);
        EXPECT_EQ(fs::current_path(), fs::canonical(directory_));
        EXPECT_EQ(ReadDataFileWhole("here.txt", 1), "here");
    }

    // A directory that fits is still entered, and relative paths then start from it.
    WriteDataFile("sub/there.txt", "there");
    EXPECT_EQ(SetDataCurrentDir("SUB"), 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(directory_) / "sub");
    EXPECT_EQ(ReadDataFileWhole("THERE.TXT", 1), "there");
}

// With archives off the current directory is kept alike: a directory too long to tell is not
// entered, and one a little longer than the public buffer writes nothing into it.
TEST_F(DataFilePathsTest, WithArchivesOffTheCurrentDirectoryKeepsToItsBuffer) {
    ASSERT_EQ(SetNoArchiveSwitch(1), 0);
    StartFramework();
    char before[kDataCurrentDirBytes] = {};
    const int length = GetDataCurrentDir(before);
    ASSERT_GT(length, 0);
    // A name that makes the full form 257 characters, within the 260 a disk path may have.
    const std::string name(kDataCurrentDirBytes - length, 'n');
    fs::create_directory(name);
    EXPECT_EQ(SetDataCurrentDir(name.c_str()), 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(directory_));
    ASSERT_EQ(chdir(name.c_str()), 0);
    const auto exact = std::make_unique<char[]>(kDataCurrentDirBytes);
    // The bytes it needs, its terminator included; the buffer is left as it was.
    EXPECT_EQ(GetDataCurrentDir(exact.get()), static_cast<int>(kDataCurrentDirBytes) + 2);
    ASSERT_EQ(chdir(".."), 0);
    // The archives taken up again, as the tests after this one expect them.
    ASSERT_EQ(ShutdownLibrary(), 0);
    ASSERT_EQ(SetNoArchiveSwitch(0), 0);
    StartFramework();
}

}  // namespace
