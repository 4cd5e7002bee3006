// Files in the layer's namespace: path mapping (Z:, separators, relative names, case), the
// file calls, directory listings with wildcards, temporary files and CP932 names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "platform_test_support.h"

namespace {

using FileTest = TempDirTest;

void WriteHostFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

bool HostExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string ReadAll(HANDLE file) {
    std::string content(64, '\0');
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, content.data(), 64, &got, nullptr));
    content.resize(got);
    return content;
}

std::string ReadWindowsFile(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content = ReadAll(file);
    CloseHandle(file);
    return content;
}

std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    return names;
}

TEST_F(FileTest, NamesMapThroughDriveSeparatorsAndCurrentDirectory) {
    mkdir((dir_ + "/Data").c_str(), 0777);
    WriteHostFile(dir_ + "/Data/file.txt", "abc");
    EXPECT_EQ(ReadWindowsFile(WindowsDir() + "\\Data\\file.txt"), "abc");
    EXPECT_EQ(ReadWindowsFile(WindowsDir() + "/Data/file.txt"), "abc");
    EXPECT_EQ(ReadWindowsFile("z:" + dir_ + "/Data\\file.txt"), "abc");
    EXPECT_EQ(ReadWindowsFile(dir_ + "/Data/file.txt"), "abc");
    EXPECT_EQ(ReadWindowsFile("Data\\file.txt"), "abc");
    EXPECT_EQ(ReadWindowsFile(".\\Data\\..\\Data\\.\\file.txt"), "abc");
    EXPECT_EQ(ReadWindowsFile("Z:Data\\file.txt"), "abc");
    // A name that does not exist as written is found whatever its case.
    EXPECT_EQ(ReadWindowsFile("DATA\\FILE.TXT"), "abc");
    EXPECT_EQ(ReadWindowsFile("data\\File.Txt"), "abc");

    EXPECT_EQ(ReadWindowsFile("C:\\Data\\file.txt"), "<missing>");
    EXPECT_EQ(ReadWindowsFile("\\\\server\\share\\file.txt"), "<missing>");
    EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(FileTest, ANameInAnyCaseFollowsTheDirectorysChanges) {
    mkdir((dir_ + "/Old").c_str(), 0777);
    WriteHostFile(dir_ + "/Old/file.txt", "abc");
    // Last changed long ago: the directory's listing may be kept between lookups.
    timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) - 10, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir_ + "/Old").c_str(), times, 0), 0);
    EXPECT_EQ(ReadWindowsFile("old\\FILE.TXT"), "abc");
    EXPECT_EQ(ReadWindowsFile("old\\FILE.TXT"), "abc");
    WriteHostFile(dir_ + "/Old/Other.txt", "def");
    EXPECT_EQ(ReadWindowsFile("old\\OTHER.TXT"), "def");
    unlink((dir_ + "/Old/file.txt").c_str());
    EXPECT_EQ(ReadWindowsFile("old\\FILE.TXT"), "<missing>");
}

TEST_F(FileTest, CurrentDirectoryIsShownOnDriveZ) {
    char buffer[MAX_PATH];
    std::string expected = WindowsDir();
    EXPECT_EQ(GetCurrentDirectoryA(MAX_PATH, buffer), expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    // Too small: the size needed, NUL included, and nothing written.
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(GetCurrentDirectoryA(static_cast<DWORD>(expected.size()), buffer),
              expected.size() + 1);
    EXPECT_EQ(buffer[0], 'x');

    mkdir((dir_ + "/Sub").c_str(), 0777);
    EXPECT_TRUE(SetCurrentDirectoryA("sub"));
    GetCurrentDirectoryA(MAX_PATH, buffer);
    EXPECT_EQ(std::string(buffer), expected + "\\Sub");
    EXPECT_TRUE(SetCurrentDirectoryA("Z:\\"));
    GetCurrentDirectoryA(MAX_PATH, buffer);
    EXPECT_STREQ(buffer, "Z:\\");
    EXPECT_FALSE(SetCurrentDirectoryA((WindowsDir() + "\\missing").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileTest, CreationDispositions) {
    HANDLE file = CreateFileA("log.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "first", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    CloseHandle(file);
    EXPECT_EQ(CreateFileA("LOG.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    // Appending the way the log does: open always, then seek to the end.
    file = CreateFileA("Log.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 5u);
    WriteFile(file, "+more", 5, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(ReadWindowsFile("log.txt"), "first+more");
    EXPECT_FALSE(HostExists(dir_ + "/Log.txt"));

    file = CreateFileA("log.txt", GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(ReadWindowsFile("log.txt"), "");

    file = CreateFileA("new.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(file);
    file = CreateFileA("new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(file);

    EXPECT_EQ(CreateFileA("none.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileA("nodir\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileA(".", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileA("x.txt", GENERIC_READ, 0, nullptr, 9, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileTest, ReadsSeeksAndSizes) {
    WriteHostFile(dir_ + "/data.bin", "0123456789");
    HANDLE file = CreateFileA("data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    EXPECT_EQ(ReadAll(file), "6789");
    // At the end a read succeeds with nothing.
    EXPECT_EQ(ReadAll(file), "");
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_CURRENT), 7u);
    EXPECT_EQ(SetFilePointer(file, -8, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_END), 8u);
    LONG seekHigh = 0;
    EXPECT_EQ(SetFilePointer(file, 1, &seekHigh, FILE_BEGIN), 1u);
    EXPECT_EQ(seekHigh, 0);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    // Beyond 4 GB only with the high word, which comes back updated.
    seekHigh = 1;
    EXPECT_EQ(SetFilePointer(file, 16, &seekHigh, FILE_BEGIN), 16u);
    EXPECT_EQ(seekHigh, 1);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // Back by 2^32 + 15: high word -2, low word -15.
    seekHigh = -2;
    EXPECT_EQ(SetFilePointer(file, -15, &seekHigh, FILE_CURRENT), 1u);
    EXPECT_EQ(seekHigh, 0);
    EXPECT_EQ(ReadAll(file), "123456789");
    // Read-only handle: writing is refused.
    DWORD written = 1;
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(written, 0u);
    CloseHandle(file);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    DWORD got = 5;
    EXPECT_FALSE(ReadFile(file, &high, 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileTest, InjectedFileFailures) {
    TestFailNthCall("CreateFileA", 1);
    EXPECT_EQ(CreateFileA("a.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(HostExists(dir_ + "/a.txt"));
    HANDLE file = CreateFileA("a.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    TestFailNthCall("WriteFile", 1);
    DWORD written = 7;
    EXPECT_FALSE(WriteFile(file, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
    CloseHandle(file);
    file = CreateFileA("a.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    TestFailNthCall("ReadFile", 1);
    char buffer[4];
    DWORD got = 7;
    EXPECT_FALSE(ReadFile(file, buffer, 3, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(ReadAll(file), "abc");
    CloseHandle(file);
}

TEST_F(FileTest, ListingsMatchWildcardsIgnoringCase) {
    WriteHostFile(dir_ + "/b.TXT", "12345");
    WriteHostFile(dir_ + "/a.txt", "");
    WriteHostFile(dir_ + "/c.dat", "");
    WriteHostFile(dir_ + "/cc.dat", "");
    mkdir((dir_ + "/sub").c_str(), 0777);
    using Names = std::vector<std::string>;
    EXPECT_EQ(List("*"), (Names{".", "..", "a.txt", "b.TXT", "c.dat", "cc.dat", "sub"}));
    EXPECT_EQ(List("*.*"), (Names{".", "..", "a.txt", "b.TXT", "c.dat", "cc.dat", "sub"}));
    EXPECT_EQ(List("*.txt"), (Names{"a.txt", "b.TXT"}));
    EXPECT_EQ(List("?.DAT"), (Names{"c.dat"}));
    EXPECT_EQ(List(WindowsDir() + "\\C*"), (Names{"c.dat", "cc.dat"}));
    EXPECT_EQ(List("sub.*"), (Names{"sub"}));
    EXPECT_EQ(List("SUB\\*"), (Names{".", ".."}));

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("b.txt", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(find);
    find = FindFirstFileA("sub", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(FindNextFileA(find, &data), FALSE);
    FindClose(find);

    EXPECT_EQ(FindFirstFileA("*.none", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstFileA("missing\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(FindClose(event));
    CloseHandle(event);
}

TEST_F(FileTest, ListingReportsTimesOfTheFile) {
    WriteHostFile(dir_ + "/old.txt", "");
    timespec times[2] = {{981173106, 0}, {981173106, 0}};  // 2001-02-03 04:05:06 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, (dir_ + "/old.txt").c_str(), times, 0), 0);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("old.txt", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    SYSTEMTIME t;
    ASSERT_TRUE(FileTimeToSystemTime(&data.ftLastWriteTime, &t));
    EXPECT_EQ(t.wYear, 2001);
    EXPECT_EQ(t.wMonth, 2);
    EXPECT_EQ(t.wDay, 3);
    EXPECT_EQ(t.wHour, 4);
    EXPECT_EQ(t.wMinute, 5);
    EXPECT_EQ(t.wSecond, 6);
    ASSERT_TRUE(FileTimeToSystemTime(&data.ftLastAccessTime, &t));
    EXPECT_EQ(t.wYear, 2001);
}

TEST_F(FileTest, Cp932NamesBecomeUtf8OnTheHost) {
    // "表" ends in the byte 0x5C, which must not be taken for a separator.
    HANDLE file = CreateFileA("表示\\", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CreateDirectoryA("表示", nullptr));
    file = CreateFileA("表示\\ソフト.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(HostExists(dir_ + reinterpret_cast<const char*>(u8"/表示/ソフト.txt")));
    EXPECT_EQ(List("表示\\*.txt"), std::vector<std::string>{"ソフト.txt"});
    // A lone lead byte is no CP932 name.
    EXPECT_EQ(CreateFileA("bad\x81", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    // Host names with no CP932 form are left out of listings.
    WriteHostFile(dir_ + reinterpret_cast<const char*>(u8"/表示/emoji😀.txt"), "");
    EXPECT_EQ(List("表示\\*.txt"), std::vector<std::string>{"ソフト.txt"});
}

TEST_F(FileTest, TempPathAndUniqueTempFiles) {
    const char* saved = getenv("TMPDIR");
    std::string previous = saved != nullptr ? saved : "";
    setenv("TMPDIR", (dir_ + "/").c_str(), 1);
    char path[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, path);
    EXPECT_EQ(std::string(path), WindowsDir() + "\\");
    EXPECT_EQ(length, WindowsDir().size() + 1);
    EXPECT_EQ(GetTempPathA(3, path), length + 1);
    if (saved != nullptr) {
        setenv("TMPDIR", previous.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }

    char first[MAX_PATH], second[MAX_PATH];
    UINT a = GetTempFileNameA(WindowsDir().c_str(), "tmpfile", 0, first);
    UINT b = GetTempFileNameA((WindowsDir() + "\\").c_str(), "tmp", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(std::string(first), std::string(second));
    char expected[MAX_PATH];
    std::snprintf(expected, sizeof(expected), "%s\\tmp%X.tmp", WindowsDir().c_str(), a);
    EXPECT_STREQ(first, expected);
    EXPECT_EQ(ReadWindowsFile(first), "");
    EXPECT_EQ(ReadWindowsFile(second), "");
    // With a number of its own the name is only composed.
    EXPECT_EQ(GetTempFileNameA(WindowsDir().c_str(), "ab", 0x1A2B, first), 0x1A2Bu);
    EXPECT_EQ(std::string(first), WindowsDir() + "\\ab1A2B.tmp");
    EXPECT_FALSE(HostExists(dir_ + "/ab1A2B.tmp"));
    EXPECT_EQ(GetTempFileNameA("missing", "tmp", 0, first), 0u);
}

TEST_F(FileTest, DirectoriesAttributesMovesAndDeletes) {
    EXPECT_TRUE(CreateDirectoryA("Dir", nullptr));
    EXPECT_FALSE(CreateDirectoryA("dir", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileAttributesA("DIR"), FILE_ATTRIBUTE_DIRECTORY);
    WriteHostFile(dir_ + "/Dir/save.tmp", "new");
    WriteHostFile(dir_ + "/Dir/save.txt", "old");
    EXPECT_EQ(GetFileAttributesA("dir\\save.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA("dir\\none"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileExA("dir\\save.tmp", "dir\\save.txt", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA("dir\\save.tmp", "dir\\SAVE.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadWindowsFile("dir\\save.txt"), "new");
    EXPECT_FALSE(RemoveDirectoryA("dir"));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(DeleteFileA("dir"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA("DIR\\Save.Txt"));
    EXPECT_FALSE(DeleteFileA("dir\\save.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(RemoveDirectoryA("dir"));
    EXPECT_FALSE(HostExists(dir_ + "/Dir"));
}

}  // namespace
