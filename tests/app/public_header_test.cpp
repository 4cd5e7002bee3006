// The public header's calls given a null pointer: each refuses it with its failure value, or
// takes it for the default that the call offers, and never follows it; before start-up and after.
#include <orbek/orbek.h>

#include <archive_writer.h>
#include <gtest/gtest.h>
#include <platform/testing_sound.h>

#include <string>

#include "library_fixture.h"

namespace {

class PublicHeaderNullTest : public LibraryFixture {
protected:
    // Every pointer parameter of the header given null; ReadDataFile with open files, one on
    // disk and one compressed in an archive, which must stay whole.
    void ExpectNullsAnswered(StreamValue plain, StreamValue archived) {
        const std::string log = ReadLog();
        EXPECT_EQ(AppendLogText(nullptr), -1);
        EXPECT_EQ(CopyAllKeyStates(nullptr), -1);
        // Null as the default: the whole screen, the built-in reloader.
        EXPECT_EQ(EraseDrawScreen(nullptr), 0);
        EXPECT_EQ(InstallGraphRestoreHandler(nullptr), 0);

        EXPECT_EQ(LoadImageFileAsGraph(nullptr, 0), -1);
        Handle cells[4] = {};
        EXPECT_EQ(LoadImageFileAsDivGraphs(nullptr, 4, 2, 2, 8, 8, cells, 0), -1);
        EXPECT_EQ(LoadImageFileAsDivGraphs("pattern.bmp", 4, 2, 2, 8, 8, nullptr, 0), -1);
        EXPECT_EQ(DrawStringWithFont(0, 0, nullptr, 0xFFFFFF, -1, 0, 0), 0);
        EXPECT_EQ(LoadSoundHandle(nullptr, 1, -1), -1);

        EXPECT_EQ(OpenDataFile(nullptr, 0, 1, 0), 0u);
        EXPECT_EQ(ReadDataFile(nullptr, 1, 4, plain), 0u);
        EXPECT_EQ(ReadDataFile(nullptr, 1, 4, archived), 0u);
        char before[kDataCurrentDirBytes] = {};
        char after[kDataCurrentDirBytes] = {};
        ASSERT_GT(GetDataCurrentDir(before), 0);
        EXPECT_EQ(SetDataCurrentDir(nullptr), 0) << "as for a directory that cannot be entered";
        GetDataCurrentDir(after);
        EXPECT_STREQ(after, before);
        EXPECT_EQ(GetDataCurrentDir(nullptr), 0);
        EXPECT_EQ(ReadLog().substr(log.size()), "") << "refused without a word";
    }

    static std::string ReadText(StreamValue file) {
        char bytes[8] = {};
        return std::string(bytes, ReadDataFile(bytes, 1, sizeof bytes, file));
    }
};

TEST_F(PublicHeaderNullTest, NullPointersAreRefusedBeforeAndAfterStartUp) {
    std::ofstream("plain.bin") << "disk";
    const WrittenArchive archive =
        WriteArchive({{"packed.bin", {'p', 'a', 'c', 'k'}, true}}, {5, KeyFor(nullptr), 932});
    std::ofstream("DATA.OBA", std::ios::binary)
        .write(reinterpret_cast<const char*>(archive.bytes.data()),
               static_cast<std::streamsize>(archive.bytes.size()));
    const StreamValue plain = OpenDataFile("plain.bin", 0, 1, 0);
    const StreamValue archived = OpenDataFile("data\\packed.bin", 0, 1, 0);
    ASSERT_NE(plain, 0u);
    ASSERT_NE(archived, 0u);

    ExpectNullsAnswered(plain, archived);
    EXPECT_EQ(MakeFontHandle(nullptr, 16, 2, 0, -1, -1, 0, -1), -1) << "no fonts yet";

    TestResetSoundLayer();
    ASSERT_EQ(SetupLibrary(), 0);
    ExpectNullsAnswered(plain, archived);
    EXPECT_EQ(PutGraphVertexList(nullptr, 3, 4, kUntexturedList, 0), -1);
    EXPECT_EQ(PutGraphVertexList(nullptr, 0, 4, kUntexturedList, 0), 0);
    // The default face.
    const Handle font = MakeFontHandle(nullptr, 16, 2, 0, -1, -1, 0, -1);
    ASSERT_NE(font, -1);
    EXPECT_EQ(DrawStringWithFont(0, 0, nullptr, 0xFFFFFF, font, 0, 0), 0);
    EXPECT_EQ(DeleteFontHandle(font), 0);

    EXPECT_EQ(ReadText(plain), "disk");
    EXPECT_EQ(ReadText(archived), "pack");
    EXPECT_EQ(CloseDataFile(plain), 0);
    EXPECT_EQ(CloseDataFile(archived), 0);
}

}  // namespace
