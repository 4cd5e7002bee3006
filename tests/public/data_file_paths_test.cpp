// How the data-file calls find a path on disk: a name in another case after its folder changed
// behind a modification time put back.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
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

// The whole file through the data-file calls; nothing when it does not open.
std::optional<std::string> ReadDataFileWhole(const std::string& path) {
    StreamValue file = OpenDataFile(path.c_str(), 0, 1, 0);
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

}  // namespace
