// A program's own data read through the public header alone: a file inside an archive and one on
// disk, with the read position moved about, and the current directory set and read back.
#include <orbek/orbek.h>

#include <archive_writer.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; i++) bytes[i] = static_cast<uint8_t>(i / 7 % 251);
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadRest(StreamValue file) {
    std::vector<uint8_t> all;
    uint8_t chunk[1000];
    while (size_t got = ReadDataFile(chunk, 1, sizeof chunk, file)) {
        all.insert(all.end(), chunk, chunk + got);
    }
    return all;
}

// Runs in a fresh directory made current through the header, the previous one put back after.
class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(GetDataCurrentDir(previous_), 0);
        directory_ = std::filesystem::temp_directory_path() /
                     ("orbek_data_files_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory_);
        ASSERT_EQ(SetDataCurrentDir(directory_.c_str()), 0);
    }
    void TearDown() override {
        SetDataCurrentDir(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    char previous_[kDataCurrentDirBytes] = {};
    std::filesystem::path directory_;
};

TEST_F(DataFilesTest, ReadsFromTheArchiveOfTheDirectoryAndFromDisk) {
    const std::vector<uint8_t> title = Pattern(3000);
    const WrittenArchive archive = WriteArchive(
        {{"title.png", title, true}, {"ui\\button.png", {'b', 't', 'n'}, false}},
        {5, KeyFor(nullptr), 932});
    WriteBytes(directory_ / "graphics.oba", archive.bytes);
    WriteBytes(directory_ / "graphics" / "title.png", {'d', 'i', 's', 'k'});
    WriteBytes(directory_ / "graphics" / "missing.png", {'d', 'i', 's', 'k'});
    WriteBytes(directory_ / "notes" / "readme.txt", {'h', 'e', 'l', 'l', 'o'});

    // The archive holds graphics\: its file wins, and the disk is never asked for another.
    StreamValue file = OpenDataFile("graphics\\title.png", 0, 1, 0);
    ASSERT_NE(file, 0u);
    EXPECT_EQ(IsDataFileIdle(file), 1);
    uint8_t head[10];
    ASSERT_EQ(ReadDataFile(head, 2, 5, file), 5u);
    EXPECT_EQ(std::memcmp(head, title.data(), sizeof head), 0);
    EXPECT_EQ(TellDataFile(file), 10);
    EXPECT_EQ(SeekDataFile(file, 5, 1), 0);
    EXPECT_EQ(ReadRest(file), std::vector<uint8_t>(title.begin() + 15, title.end()));
    EXPECT_EQ(EofDataFile(file), -1);
    EXPECT_EQ(SeekDataFile(file, -4, 2), 0);
    EXPECT_EQ(EofDataFile(file), 0);
    EXPECT_EQ(TellDataFile(file), 2996);
    EXPECT_EQ(SeekDataFile(file, 100, 2), 0);
    EXPECT_EQ(TellDataFile(file), 3000) << "stops at the end";
    EXPECT_EQ(CloseDataFile(file), 0);
    EXPECT_EQ(CloseDataFile(file), -1);
    EXPECT_EQ(TellDataFile(file), -1);

    file = OpenDataFile("Graphics/UI/Button.png", 0, 1, 0);
    EXPECT_EQ(ReadRest(file), (std::vector<uint8_t>{'b', 't', 'n'}));
    CloseDataFile(file);
    EXPECT_EQ(OpenDataFile("graphics/missing.png", 0, 1, 0), 0u);

    // No archive for notes\: the disk, also from inside the directory.
    ASSERT_EQ(SetDataCurrentDir("notes"), 0);
    char current[kDataCurrentDirBytes] = {};
    const int length = GetDataCurrentDir(current);
    EXPECT_EQ(length, static_cast<int>(std::strlen(current)));
    EXPECT_EQ(std::string(current).substr(length - 6), "\\notes");
    file = OpenDataFile("readme.txt", 1, 1, 0);
    ASSERT_NE(file, 0u);
    EXPECT_EQ(SeekDataFile(file, 1, 0), 0);
    EXPECT_EQ(ReadRest(file), (std::vector<uint8_t>{'e', 'l', 'l', 'o'}));
    EXPECT_EQ(EofDataFile(file), -1);
    EXPECT_EQ(TellDataFile(file), 5);
    EXPECT_EQ(CloseDataFile(file), 0);
    EXPECT_EQ(SetDataCurrentDir(".."), 0);
    file = OpenDataFile("notes\\readme.txt", 0, 1, 0);
    EXPECT_EQ(ReadRest(file).size(), 5u);
    CloseDataFile(file);
}

}  // namespace
