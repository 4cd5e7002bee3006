// The log writer: exact bytes in the file and on the debugger output, line ends, stamps and
// indentation.
#include "core/log.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/win32.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/platform_dlls.h"
#include "log_file_fixture.h"

namespace {

class LogTest : public LogFileFixture {
protected:
    void SetUp() override {
        LogFileFixture::SetUp();
        // Stamps follow a clock that moves only when told to; the log starts at 1000 ms.
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(1000 * 1000);
        StartLog();
        TestCaptureDebugOutput(true);
    }

    std::string ReadLog() const { return ReadFile(LogPath()); }

    static std::string ReadFile(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    }

    static void AdvanceMs(unsigned long long ms) { TestAdvanceClockMicroseconds(ms * 1000); }
};

TEST_F(LogTest, LinesEndInCrLfAndEachTextAtALineStartIsStamped) {
    EXPECT_EQ(AppendLogText("one\ntwo\n"), -1);
    AdvanceMs(25);
    EXPECT_EQ(AppendLogText("three\n"), -1);
    EXPECT_EQ(ReadLog(), "0:one\r\ntwo\r\n25:three\r\n");
}

TEST_F(LogTest, ConversionStopsAtTheFirstLineFeedThatFollowsACarriageReturn) {
    AppendLogText("a\r\nb\n");
    AppendLogText("x\ny\r\nz\n");
    EXPECT_EQ(ReadLog(), "0:a\r\nb\n0:x\r\ny\r\nz\n");
}

TEST_F(LogTest, TextsWithoutALineFeedContinueTheLine) {
    AppendLogText("abc");
    AdvanceMs(3);
    AppendLogText("def");
    AppendLogText("\n");
    AppendLogText("next\n");
    EXPECT_EQ(ReadLog(), "0:abcdef\r\n3:next\r\n");
}

TEST_F(LogTest, EmptyTextAtALineStartWritesOnlyThePrefixAndLeavesTheLineOpen) {
    RaiseLogIndent();
    AppendLogText("");
    AdvanceMs(7);
    AppendLogText("rest\n");
    EXPECT_EQ(ReadLog(), "0:\trest\r\n");
}

TEST_F(LogTest, OneTabPerIndentationLevelAndNeverBelowZero) {
    RaiseLogIndent();
    RaiseLogIndent();
    AppendLogText("two\n");
    LowerLogIndent();
    AppendLogText("one\n");
    EXPECT_EQ(LowerLogIndent(), 0);
    EXPECT_EQ(LowerLogIndent(), 0);
    EXPECT_EQ(gLog.indentLevel, 0);
    AppendLogText("zero\n");
    RaiseLogIndent();
    AppendLogText("one again\n");
    EXPECT_EQ(ReadLog(), "0:\t\ttwo\r\n0:\tone\r\n0:zero\r\n0:\tone again\r\n");
}

TEST_F(LogTest, DeepIndentationWritesEveryTab) {
    for (int i = 0; i < 40; ++i) RaiseLogIndent();
    AppendLogText("x\n");
    EXPECT_EQ(ReadLog(), "0:" + std::string(40, '\t') + "x\r\n");
}

TEST_F(LogTest, StampIsTheMaskedClockSinceStartEvenAcrossBit31) {
    // The multimedia time has bit 31 set, which the millisecond count masks off.
    TestSetClockMicroseconds(0x80000064ull * 1000);
    StartLog();
    AdvanceMs(50);
    AppendLogText("late\n");
    EXPECT_EQ(ReadLog(), "50:late\r\n");
    // The masked count then wraps from 0x7FFFFFFF to 0.
    TestSetClockMicroseconds(0x7FFFFFF0ull * 1000);
    StartLog();
    AdvanceMs(0x20);
    AppendLogText("wrapped\n");
    EXPECT_EQ(ReadLog(), "32:wrapped\r\n");
}

TEST_F(LogTest, NoTimeStampSwitchKeepsTheTabs) {
    gLog.noTimeStamp = 1;
    RaiseLogIndent();
    AppendLogText("plain\n");
    gLog.noTimeStamp = 0;
    EXPECT_EQ(ReadLog(), "\tplain\r\n");
}

TEST_F(LogTest, DebuggerOutputMirrorsEveryByteWritten) {
    RaiseLogIndent();
    AdvanceMs(12);
    AppendLogText("a\nb");
    AppendLogText("c\n");
    EXPECT_EQ(ReadLog(), "12:\ta\r\nbc\r\n");
    EXPECT_EQ(TestTakeDebugOutput(), ReadLog());
}

TEST_F(LogTest, TextsLongerThan255BytesAreConvertedWhole) {
    const std::string first(200, 'a');
    const std::string second(300, 'b');
    AppendLogText((first + "\n" + second + "\n").c_str());
    EXPECT_EQ(ReadLog(), "0:" + first + "\r\n" + second + "\r\n");
    // Every byte a line feed: the work buffer must hold twice the text.
    StartLog();
    AppendLogText(std::string(256, '\n').c_str());
    std::string expected = "0:";
    for (int i = 0; i < 256; ++i) expected += "\r\n";
    EXPECT_EQ(ReadLog(), expected);
}

TEST_F(LogTest, JapaneseTextsAreWrittenAsShiftJis) {
    EmitLogFormat("%sハンドル", "グラフィック");
    // "グラフィックハンドル" in CP932.
    const std::string expected =
        "0:\x83\x4F\x83\x89\x83\x74\x83\x42\x83\x62\x83\x4E\x83\x6E\x83\x93\x83\x68\x83\x8B\r\n";
    EXPECT_EQ(ReadLog(), expected);
}

TEST_F(LogTest, EmitLogFormatTruncatesToTheBufferAndStillEndsTheLine) {
    const std::string huge(3000, 'q');
    EXPECT_EQ(EmitLogFormat("%s", huge.c_str()), -1);
    EXPECT_EQ(ReadLog(), "0:" + std::string(1022, 'q') + "\r\n");
}

TEST_F(LogTest, NothingIsWrittenBeforeTheClocksDllIsLoaded) {
    FreePlatformDlls();
    EXPECT_EQ(AppendLogText("lost\n"), -1);
    EXPECT_EQ(TestTakeDebugOutput(), "");

    TestSetModuleMissing("winmm.dll", true);
    LoadPlatformDlls();
    AppendLogText("lost too\n");
    EXPECT_EQ(TestTakeDebugOutput(), "");
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(LogTest, StartLogEmptiesTheFile) {
    AppendLogText("old\n");
    StartLog();
    EXPECT_EQ(ReadLog(), "");
    AppendLogText("new\n");
    EXPECT_EQ(ReadLog(), "0:new\r\n");
}

TEST_F(LogTest, ATextThatCannotBeOpenedIsLostButStillMirrored) {
    TestFailNthCall("CreateFileA", 1);
    AppendLogText("gone\n");
    AppendLogText("kept\n");
    EXPECT_EQ(ReadLog(), "0:kept\r\n");
    EXPECT_EQ(TestTakeDebugOutput(), "0:gone\r\n0:kept\r\n");
}

TEST_F(LogTest, LogOffSwitchCreatesAndWritesNothing) {
    unlink(LogPath().c_str());
    gLog.logOff = 1;
    StartLog();
    AppendLogText("nothing\n");
    gLog.logOff = 0;
    EXPECT_NE(access(LogPath().c_str(), F_OK), 0);
}

TEST_F(LogTest, DirectoryEndingInASeparatorIsNotGivenAnother) {
    CopyString(gLog.directory, (std::string(gLog.directory) + "\\").c_str());
    StartLog();
    AppendLogText("joined\n");
    EXPECT_EQ(ReadLog(), "0:joined\r\n");
}

TEST_F(LogTest, TrailByteThatLooksLikeASeparatorIsPartOfTheName) {
    // The second byte of "表" in CP932 is 0x5C, the code of "\".
    const std::string posixDir =
        std::string(gLog.directory) + "/" + reinterpret_cast<const char*>(u8"表");
    ASSERT_EQ(mkdir(posixDir.c_str(), 0700), 0);
    const std::string saved = gLog.directory;
    CopyString(gLog.directory, (saved + "\\表").c_str());
    StartLog();
    AppendLogText("inside\n");
    const std::string content = ReadFile(posixDir + "/Log.txt");
    unlink((posixDir + "/Log.txt").c_str());
    rmdir(posixDir.c_str());
    CopyString(gLog.directory, saved.c_str());
    EXPECT_EQ(content, "0:inside\r\n");
}

TEST_F(LogTest, DatedNameCarriesTheLocalDateAndTime) {
    gLog.datedName = 1;
    StartLog();
    gLog.datedName = 0;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string name = gLog.fileName;
    // The second may have turned between the two reads; everything before it is stable.
    const std::string prefix = "Log" + std::to_string(now.wYear) + "_" +
                               std::to_string(now.wMonth) + "_" + std::to_string(now.wDay) + "_";
    EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".txt");
    const std::string path = std::string(gLog.directory) + "/" + name;
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
    unlink(path.c_str());
    CopyString(gLog.fileName, "Log.txt");
}

}  // namespace
