// The save file: what a damaged, truncated, over-long or out-of-range file still gives, the
// exact text written, and a write failing at each of its steps leaving the old file whole.
#include "save_file.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/log_file_fixture.h"
#include "input_sampling.h"
#include "ranking.h"
#include "replay.h"

namespace {

class SaveFileTest : public LogFileFixture {
protected:
    void SetUp() override {
        LogFileFixture::SetUp();
        ASSERT_EQ(getcwd(previous_, sizeof previous_), previous_);
        ASSERT_EQ(chdir(std::filesystem::path(LogPath()).parent_path().c_str()), 0);
        ResetGameState();
        gReplay = Replay{};
    }
    void TearDown() override {
        EXPECT_EQ(chdir(previous_), 0);
        LogFileFixture::TearDown();
    }

    static void Read(const std::string& content) {
        ResetGameState();
        std::FILE* file = fmemopen(const_cast<char*>(content.data()), content.size(), "r");
        ASSERT_NE(file, nullptr);
        ReadSaveData(file);
        std::fclose(file);
    }
    static std::string FileText(const char* name = "savedata.txt") {
        std::ifstream file(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    static void ExpectRecord(int i, int32_t score, int32_t stage, const char* name) {
        SCOPED_TRACE(i);
        EXPECT_EQ(RankingTable[i].score, score);
        EXPECT_EQ(RankingTable[i].stage, stage);
        EXPECT_STREQ(RankingTable[i].name, name);
    }
    static void ExpectRankingZeroFrom(int first) {
        for (int i = first; i < kRankedGames; ++i) ExpectRecord(i, 0, 0, "");
    }

    char previous_[4096] = {};
};

std::string ZeroRecords(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "0,0,\n";
    return lines;
}

TEST_F(SaveFileTest, WithoutAFileTheDefaultsStandAndAreWrittenAsTheyReadBack) {
    LoadSaveData();
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 0);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 0);
    ExpectRankingZeroFrom(0);

    WriteSaveData();
    EXPECT_EQ(FileText(), "0\n0\n" + ZeroRecords(10));
    EXPECT_FALSE(std::filesystem::exists("savedata.txt.tmp"));
    ResetGameState();
    RankingTable[3].score = 7;
    LoadSaveData();
    ExpectRankingZeroFrom(0);
}

TEST_F(SaveFileTest, EveryValueRoundTrips) {
    gGameInput.PadButtonConfig[0] = 9;
    gGameInput.PadButtonConfig[1] = 4;
    for (int i = 0; i < kRankedGames; ++i) RankingTable[i] = {100000 - 1000 * i, i % 8 + 1, "N-"};
    std::strcpy(RankingTable[0].name, "N0-ABCDEFGHIJKL");
    WriteSaveData();
    EXPECT_EQ(FileText().substr(0, 29), "9\n4\n100000,1,N0-ABCDEFGHIJKL\n");
    ResetGameState();
    LoadSaveData();
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 9);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 4);
    ExpectRecord(0, 100000, 1, "N0-ABCDEFGHIJKL");
    ExpectRecord(9, 91000, 2, "N-");
}

TEST_F(SaveFileTest, LineEndsAndOverLongLinesStillGiveTheRecordsThatFollow) {
    Read("1\r\n2\r\n500,3,ABC\r\n400,8,\r\n");
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 1);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 2);
    ExpectRecord(0, 500, 3, "ABC");
    ExpectRecord(1, 400, 8, "");
    ExpectRankingZeroFrom(2);

    // A 20-character name is cut to 15; a 300-byte line loses its tail; neither stops reading.
    Read("0\n0\n900,2,ABCDEFGHIJKLMNOPQRST\n800,2," + std::string(300, 'x') + "\n700,1,Z");
    ExpectRecord(0, 900, 2, "ABCDEFGHIJKLMNO");
    ExpectRecord(1, 800, 2, "xxxxxxxxxxxxxxx");
    ExpectRecord(2, 700, 1, "Z");
}

TEST_F(SaveFileTest, ADamagedLineStopsReadingAndKeepsWhatCameBefore) {
    // A damaged third line keeps the buttons and leaves the whole ranking at zero.
    Read("3\n5\nxyz\n100,1,A\n");
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 3);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 5);
    ExpectRankingZeroFrom(0);

    const std::string stopping[] = {
        "500,3",            // truncated before the name
        "500,9,A",          // no such stage
        "-5,1,A",           // a negative score
        "99999999999,1,A",  // beyond 32 bits
        " 500,1,A",         // blanks are not numbers
        "500;1;A",          // wrong separators
        std::string(1, '\0'),
    };
    for (const std::string& line : stopping) {
        SCOPED_TRACE(line);
        Read("1\n1\n600,2,OK\n" + line + "\n300,1,B\n");
        ExpectRecord(0, 600, 2, "OK");
        ExpectRankingZeroFrom(1);
    }

    Read("1\n");
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 1);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 0);
}

TEST_F(SaveFileTest, ButtonsOutsideThePadsRangeReadAsTheDefault) {
    Read("12\n-1\n100,1,A\n");
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 0);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 0);
    ExpectRecord(0, 100, 1, "A");

    Read("2147483648\n4\n");
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 0);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 0);
}

TEST_F(SaveFileTest, AWriteThatFailsAtAnyStepLeavesTheOldFileWhole) {
    const std::string old = "1\n2\n" + ZeroRecords(10);
    // Open, twelve lines, flush, sync, close and rename: seventeen operations.
    for (int failing = 1; failing <= 17; ++failing) {
        SCOPED_TRACE(failing);
        { std::ofstream("savedata.txt", std::ios::binary) << old; }
        gGameInput.PadButtonConfig[0] = 8;
        RankingTable[5].score = 42;
        gReplay.failSaveOperation = failing;
        WriteSaveData();
        EXPECT_EQ(FileText(), old);
        EXPECT_FALSE(std::filesystem::exists("savedata.txt.tmp"));
    }
    EXPECT_NE(ReadLogWithoutStamps().find("savedata.txt の書き込みに失敗しました"),
              std::string::npos);

    gReplay.failSaveOperation = 18;
    WriteSaveData();
    EXPECT_EQ(FileText(), "8\n0\n" + ZeroRecords(5) + "42,0,\n" + ZeroRecords(4));
}

TEST_F(SaveFileTest, WritingTwiceLeavesOnlyTheSecondContent) {
    RankingTable[0] = {300, 2, "ABC"};
    WriteSaveData();
    RankingTable[0] = {200, 1, ""};
    WriteSaveData();
    EXPECT_EQ(FileText(), "0\n0\n200,1,\n" + ZeroRecords(9));
}

}  // namespace
