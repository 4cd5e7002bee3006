// Disk files, direct and through their file-access thread: element counts at the end, seeks
// past it, short reads, read-ahead, asynchronous reads, the logged thread failures, find over
// the disk and the temporary file.
#include "core/disk_file.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/win32.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/platform_dlls.h"
#include "support/temp_directory.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Numbered(size_t size, uint8_t salt) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; i++) bytes[i] = static_cast<uint8_t>((i * 7 + i / 256) ^ salt);
    return bytes;
}

struct Mode {
    const char* name;
    int32_t useCache;
    int32_t useAsync;
};
const Mode kSyncModes[] = {{"direct", 0, 0}, {"read-ahead", 1, 0}};

class DiskFileTest : public FileLayerTest {
protected:
    void SetUp() override {
        FileLayerTest::SetUp();
        directory_.Write("ten.bin", Numbered(10, 0));
    }
};

TEST_F(DiskFileTest, WholeElementsUpToTheEndThenEofAndSeeksBeyondIt) {
    for (const Mode& mode : kSyncModes) {
        SCOPED_TRACE(mode.name);
        DiskFile* file = OpenDiskFile("ten.bin", mode.useCache, 1, mode.useAsync);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->size, 10u);
        uint8_t buffer[16] = {};
        EXPECT_EQ(DiskFileRead(buffer, 0, 3, file), 0u);
        // 3 elements of 4 with 10 bytes left: 2 elements, the position moves by 8.
        EXPECT_EQ(DiskFileRead(buffer, 4, 3, file), 2u);
        EXPECT_EQ(DiskFileTell(file), 8);
        const Bytes expected = Numbered(10, 0);
        EXPECT_TRUE(std::equal(buffer, buffer + 8, expected.begin()));
        EXPECT_EQ(DiskFileEof(file), 0);
        EXPECT_EQ(DiskFileRead(buffer, 4, 1, file), 0u) << "2 bytes are no whole element";
        EXPECT_EQ(DiskFileEof(file), -1);
        EXPECT_EQ(DiskFileRead(buffer, 1, 2, file), 2u);
        EXPECT_EQ(DiskFileRead(buffer, 1, 1, file), 0u);
        EXPECT_EQ(DiskFileEof(file), -1) << "until a seek";
        EXPECT_EQ(DiskFileSeek(file, -3, 2), 0);
        EXPECT_EQ(DiskFileEof(file), 0);
        EXPECT_EQ(DiskFileRead(buffer, 1, 16, file), 3u);
        EXPECT_EQ(buffer[0], expected[7]);
        // Beyond the end is accepted and reads nothing; before the start is refused.
        EXPECT_EQ(DiskFileSeek(file, 100, 0), 0);
        EXPECT_EQ(DiskFileRead(buffer, 1, 4, file), 0u);
        EXPECT_EQ(DiskFileEof(file), -1);
        EXPECT_EQ(DiskFileSeek(file, -101, 1), -1);
        EXPECT_EQ(DiskFileTell(file), 100);
        EXPECT_EQ(DiskFileSeek(file, 1, 0), 0);
        EXPECT_EQ(DiskFileRead(buffer, 2, 1, file), 1u);
        EXPECT_EQ(buffer[0], expected[1]);
        DiskFileClose(file);
    }
}

TEST_F(DiskFileTest, ShortReadsReportWhatWasRead) {
    for (const Mode& mode : kSyncModes) {
        SCOPED_TRACE(mode.name);
        directory_.Write("shrinks.bin", Numbered(10, 0));
        DiskFile* file = OpenDiskFile("shrinks.bin", mode.useCache, 1, mode.useAsync);
        ASSERT_NE(file, nullptr);
        // The file loses bytes after its size was taken.
        std::filesystem::resize_file(directory_.Host("shrinks.bin"), 6);
        uint8_t buffer[10];
        EXPECT_EQ(DiskFileRead(buffer, 2, 5, file), 3u);
        EXPECT_EQ(DiskFileTell(file), 6) << "moved by the bytes read";
        DiskFileClose(file);
    }
    DiskFile* file = OpenDiskFile("ten.bin", 0, 1, 0);
    ASSERT_NE(file, nullptr);
    TestFailNthCall("ReadFile", 1);
    uint8_t buffer[4];
    EXPECT_EQ(DiskFileRead(buffer, 1, 4, file), 0u);
    EXPECT_EQ(DiskFileTell(file), 0);
    EXPECT_EQ(DiskFileRead(buffer, 1, 4, file), 4u);
    DiskFileClose(file);
}

TEST_F(DiskFileTest, ReadAheadServesFromItsBufferUntilASeek) {
    const Bytes before = Numbered(300000, 0x11);
    const Bytes after = Numbered(300000, 0x5A);
    directory_.Write("big.bin", before);
    DiskFile* file = OpenDiskFile("big.bin", 1, 1, 0);
    ASSERT_NE(file, nullptr);
    Bytes buffer(1000);
    ASSERT_EQ(DiskFileRead(buffer.data(), 1, 100, file), 100u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 100, before.begin()));
    // The thread fills the whole buffer from the read position while it is idle.
    ASSERT_TRUE(WaitUntil([&] { return file->bufferBytes.load() == kDiskReadAheadBytes; }));
    directory_.Write("big.bin", after);
    ASSERT_EQ(DiskFileRead(buffer.data(), 1, 1000, file), 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), before.begin() + 100))
        << "served from the buffer, not from the changed file";
    ASSERT_EQ(DiskFileSeek(file, 200000, 0), 0);
    ASSERT_EQ(DiskFileRead(buffer.data(), 1, 1000, file), 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), after.begin() + 200000))
        << "a seek empties the buffer";
    DiskFileClose(file);
}

TEST_F(DiskFileTest, AsynchronousReadsReturnTheirCountAtOnce) {
    const Bytes content = Numbered(1 << 20, 0x33);
    directory_.Write("async.bin", content);
    for (int32_t useCache : {0, 1}) {
        DiskFile* file = OpenDiskFile("async.bin", useCache, 1, 1);
        ASSERT_NE(file, nullptr);
        Bytes first(1 << 19);
        Bytes second(1 << 19);
        EXPECT_EQ(DiskFileRead(first.data(), 4, first.size() / 4, file), first.size() / 4);
        EXPECT_EQ(DiskFileTell(file), static_cast<int64_t>(first.size()));
        // The next request waits for the one outstanding.
        EXPECT_EQ(DiskFileRead(second.data(), 1, second.size(), file), second.size());
        ASSERT_TRUE(WaitUntil([&] { return IsDiskFileIdle(file) == 1; }));
        EXPECT_TRUE(std::equal(first.begin(), first.end(), content.begin()));
        EXPECT_TRUE(std::equal(second.begin(), second.end(), content.begin() + first.size()));
        DiskFileClose(file);
    }
    DiskFile* direct = OpenDiskFile("async.bin", 0, 1, 0);
    EXPECT_EQ(IsDiskFileIdle(direct), 1);
    DiskFileClose(direct);
}

class DiskFileMessagesTest : public DiskFileTest {
protected:
    void SetUp() override {
        DiskFileTest::SetUp();
        LoadPlatformDlls();  // the log writes nothing before the clock's DLL
        TestCaptureDebugOutput(true);
        TestTakeDebugOutput();
    }
    void TearDown() override {
        FreePlatformDlls();
        DiskFileTest::TearDown();
    }
    static bool Logged(const std::string& message) {
        return TestTakeDebugOutput().find(message) != std::string::npos;
    }
};

TEST_F(DiskFileMessagesTest, MissingFilesFailWithoutAMessage) {
    for (const Mode& mode : {Mode{"direct", 0, 0}, Mode{"cached", 1, 0}, Mode{"async", 0, 1}}) {
        EXPECT_EQ(OpenDiskFile("missing.bin", mode.useCache, 1, mode.useAsync), nullptr)
            << mode.name;
    }
    EXPECT_EQ(TestTakeDebugOutput(), "");
}

TEST_F(DiskFileMessagesTest, ThreadedOpenFailuresAreLogged) {
    TestFailNthCall("CreateThread", 1);
    EXPECT_EQ(OpenDiskFile("ten.bin", 1, 1, 0), nullptr);
    EXPECT_TRUE(Logged("ファイルアクセス専用スレッドの作成に失敗しました"));

    // The record first, then the read-ahead buffer.
    TestFailNthCall("HeapAlloc", 2);
    EXPECT_EQ(OpenDiskFile("ten.bin", 1, 1, 0), nullptr);
    EXPECT_TRUE(Logged("ファイル読み込みキャッシュ用メモリの確保に失敗しました"));

    // The size probe opens first; the thread's own open fails.
    TestFailNthCall("CreateFileA", 2);
    EXPECT_EQ(OpenDiskFile("ten.bin", 0, 1, 1), nullptr);
    EXPECT_TRUE(Logged("ファイルのオープンに失敗しました"));

    DiskFile* file = OpenDiskFile("ten.bin", 1, 1, 1);
    ASSERT_NE(file, nullptr) << "nothing left behind";
    DiskFileClose(file);
}

TEST_F(DiskFileTest, FindListsMatchesOnDisk) {
    directory_.Write("a.txt", Bytes(3));
    directory_.Write("b.TXT", Bytes(5));
    directory_.Write("c.dat", Bytes(1));
    std::filesystem::create_directory(directory_.Host("sub"));
    FileFindData found;
    FindValue find = DiskFindFirst(directory_.Windows("*.txt").c_str(), &found);
    ASSERT_NE(find, -1);
    std::set<std::string> names{found.name};
    EXPECT_EQ(found.isDirectory, 0);
    EXPECT_GE(found.lastWriteTime[0], 2020);
    while (DiskFindNext(find, &found) == 0) names.insert(found.name);
    EXPECT_EQ(names, (std::set<std::string>{"a.txt", "b.TXT"}));
    EXPECT_EQ(DiskFindNext(find, nullptr), -1);
    EXPECT_EQ(DiskFindClose(find), 0);

    find = DiskFindFirst(directory_.Windows("s?b").c_str(), &found);
    ASSERT_NE(find, -1);
    EXPECT_STREQ(found.name, "sub");
    EXPECT_EQ(found.isDirectory, 1);
    DiskFindClose(find);
    EXPECT_EQ(DiskFindFirst(directory_.Windows("*.none").c_str(), &found), -1);
}

TEST_F(DiskFileTest, TempFileIsNewEmptyAndWritable) {
    char path[MAX_PATH] = "untouched";
    HANDLE file = MakeTempFile(path, sizeof path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::string(path).rfind("Z:\\", 0), 0u) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
    CloseHandle(file);
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(reader, nullptr), 3u);
    CloseHandle(reader);
    EXPECT_TRUE(DeleteFileA(path));

    char small[8] = "same";
    EXPECT_EQ(MakeTempFile(small, sizeof small), nullptr) << "the path does not fit";
    EXPECT_STREQ(small, "same");
    TestFailNthCall("CreateFileA", 1);
    char failed[MAX_PATH] = "same";
    EXPECT_EQ(MakeTempFile(failed, sizeof failed), nullptr);
    EXPECT_STREQ(failed, "same");
}

}  // namespace
