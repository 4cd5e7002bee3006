// The archive-aware file layer: file values and their checks, finding the archive named after
// a leading directory, archive streams (plain, compressed, asynchronous, damaged), find in
// archives and on disk, the archive cache, the table limit, handle kind 17 and full paths
// against the current directory.
#include "core/file_access.h"

#include <archive_writer.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/win32.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/archive.h"
#include "core/disk_file.h"
#include "core/platform_dlls.h"
#include "core/streams.h"
#include "core/string_functions.h"
#include "support/temp_directory.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Mixed(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (size_t i = 0; i < size; i++) {
        bytes[i] = static_cast<uint8_t>(i % 5 == 0 ? random() : (i / 100) * 3);
    }
    return bytes;
}

// Reads a file value to its end through the front calls, in chunks of varying size; the
// bytes of an asynchronous read are used once the file is idle.
Bytes ReadAll(StreamValue file) {
    Bytes all;
    uint8_t chunk[4096];
    for (size_t size = 1;; size = size * 3 % 4093 + 1) {
        size_t got = ReadDataFile(chunk, 1, size, file);
        if (got == 0) break;
        EXPECT_TRUE(WaitUntil([file] { return IsDataFileIdle(file) == 1; }));
        all.insert(all.end(), chunk, chunk + got);
    }
    return all;
}

Bytes OpenAndReadAll(const char* path, int32_t useAsync = 0) {
    StreamValue file = OpenDataFile(path, 0, 1, useAsync);
    if (file == 0) return Text("<no file>");
    Bytes all = ReadAll(file);
    CloseDataFile(file);
    return all;
}

class FileAccessTest : public FileLayerTest {
protected:
    // Writes an archive file from inputs (relative path in the temporary directory).
    WrittenArchive WriteArchiveFile(const std::string& relative,
                                    const std::vector<ArchiveInput>& inputs, uint16_t version = 5,
                                    const char* keyString = nullptr) {
        WrittenArchive written = WriteArchive(inputs, {version, KeyFor(keyString), 932});
        directory_.Write(relative, written.bytes);
        return written;
    }
};

TEST_F(FileAccessTest, FileValuesAreTaggedIndicesAndCheckedBeforeUse) {
    directory_.Write("plain.txt", Text("plain"));
    StreamValue first = OpenDataFile("plain.txt", 0, 1, 0);
    EXPECT_EQ(first, 0xF0000000u);
    StreamValue second = OpenDataFile("plain.txt", 0, 1, 0);
    EXPECT_EQ(second, 0xF0000001u);
    EXPECT_EQ(OpenDataFile("nothing.txt", 0, 1, 0), 0u);

    uint8_t byte = 0;
    for (StreamValue bad :
         {StreamValue{0}, StreamValue{0x12345678}, StreamValue{0xF0008000}, StreamValue{0xF0000005},
          StreamValue{0x1F0000000ull}, StreamValue{0x70000000}}) {
        EXPECT_EQ(CloseDataFile(bad), -1) << std::hex << bad;
        EXPECT_EQ(TellDataFile(bad), -1);
        EXPECT_EQ(SeekDataFile(bad, 0, 0), -1);
        EXPECT_EQ(ReadDataFile(&byte, 1, 1, bad), 0u);
        EXPECT_EQ(EofDataFile(bad), -1);
        EXPECT_EQ(IsDataFileIdle(bad), -1);
    }
    // A failed open's 0 did not close the first file.
    EXPECT_EQ(ReadAll(first), Text("plain"));
    EXPECT_EQ(CloseDataFile(first), 0);
    EXPECT_EQ(CloseDataFile(first), -1) << "stale";
    EXPECT_EQ(OpenDataFile("plain.txt", 0, 1, 0), first) << "the lowest free index again";
    CloseDataFile(first);
    CloseDataFile(second);
}

TEST_F(FileAccessTest, ArchiveNamedAfterTheLeadingDirectoryIsUsedAndTheDiskIsNot) {
    WriteArchiveFile("GRAPHICS.OBA", {{"title.png", Text("from archive"), true},
                                      {"ui\\Button.png", Text("button"), false}});
    directory_.Write("graphics/title.png", Text("from disk"));
    directory_.Write("graphics/missing.png", Text("only on disk"));

    EXPECT_EQ(OpenAndReadAll("graphics\\title.png"), Text("from archive"));
    EXPECT_EQ(OpenAndReadAll("GRAPHICS/TITLE.PNG"), Text("from archive"));
    EXPECT_EQ(OpenAndReadAll("Graphics\\UI\\button.PNG"), Text("button"));
    EXPECT_EQ(OpenAndReadAll("./graphics/sub/../title.png"), Text("from archive"));
    EXPECT_EQ(OpenAndReadAll(directory_.Windows("graphics/title.png").c_str()),
              Text("from archive"));
    // The archive lacks it: the disk is not tried.
    EXPECT_EQ(OpenDataFile("graphics\\missing.png", 0, 1, 0), 0u);

    SetPlainFileFirst(1);
    EXPECT_EQ(OpenAndReadAll("graphics\\title.png"), Text("from disk"));
    EXPECT_EQ(OpenAndReadAll("graphics\\ui\\button.png"), Text("button"));
    EXPECT_EQ(OpenAndReadAll("graphics\\missing.png"), Text("only on disk"));
}

TEST_F(FileAccessTest, LeadingDirectoriesAreTriedShortestFirstAndBareNamesNever) {
    WriteArchiveFile("A.OBA", {{"b\\c.png", Text("outer")}});
    WriteArchiveFile("a/B.OBA", {{"c.png", Text("inner")}});
    EXPECT_EQ(OpenAndReadAll("a\\b\\c.png"), Text("outer"));
    EXPECT_EQ(OpenDataFile("a\\b\\d.png", 0, 1, 0), 0u) << "A.OBA answers for all below a";
    SetArchiveExtension("pak");
    WriteArchiveFile("a.pak", {{"b\\c.png", Text("pak")}});
    EXPECT_EQ(OpenAndReadAll("a\\b\\c.png"), Text("pak"));

    // From inside a, relative walks start below it (a.pak is no candidate), bare names
    // consult no archive, and the full path finds a.pak again.
    directory_.Write("a/c.png", Text("disk"));
    ASSERT_TRUE(SetCurrentDirectoryA(directory_.Windows("a").c_str()));
    EXPECT_EQ(OpenDataFile("b\\c.png", 0, 1, 0), 0u);
    EXPECT_EQ(OpenAndReadAll("c.png"), Text("disk"));
    EXPECT_EQ(OpenAndReadAll(directory_.Windows("a/b/c.png").c_str()), Text("pak"));
}

TEST_F(FileAccessTest, NestedFileOfAKeyedCompressedVersionFiveArchiveReadsBack) {
    const Bytes map = Mixed(150000, 7);
    SetArchiveKeyString("orbek key");
    WriteArchiveFile("DATA.OBA",
                     {{"stage\\one\\map.bin", map, true},
                      {"stage\\one\\表\\notes.txt", Text("notes"), true},
                      {"stage\\two\\map.bin", Mixed(9000, 8), false}},
                     5, "orbek key");

    const FileAccessFunctions* functions = GetFileAccessFunctions();
    StreamValue file = functions->open("data\\stage\\one\\map.bin", 0, 1, 0);
    ASSERT_NE(file, 0u);
    Bytes read(map.size() + 10);
    EXPECT_EQ(functions->read(read.data(), 1000, 200, file), 150u);
    read.resize(map.size());
    EXPECT_EQ(read, map);
    EXPECT_EQ(functions->eof(file), 0);
    EXPECT_EQ(functions->read(read.data(), 1, 1, file), 0u);
    EXPECT_EQ(functions->eof(file), -1);
    EXPECT_EQ(functions->close(file), 0);

    StreamReader reader{*GetFileStreamFunctions(), OpenDataFile("DATA/Stage/One/MAP.BIN", 0, 1, 0)};
    ASSERT_NE(reader.value, 0u);
    ASSERT_EQ(reader.functions.seek(reader.value, 0, 2), 0);
    EXPECT_EQ(reader.functions.tell(reader.value), static_cast<int64_t>(map.size()));
    ASSERT_EQ(reader.functions.seek(reader.value, 70000, 0), 0);
    Bytes part(1234);
    EXPECT_EQ(reader.functions.read(part.data(), 2, 617, reader.value), 617u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), map.begin() + 70000));
    EXPECT_EQ(reader.functions.isIdle(reader.value), 1);
    EXPECT_EQ(reader.functions.close(reader.value), 0);

    EXPECT_EQ(OpenAndReadAll("data\\stage\\one\\表\\notes.txt"), Text("notes"));
    EXPECT_EQ(OpenAndReadAll("data\\stage\\two\\map.bin"), Mixed(9000, 8));
}

TEST_F(FileAccessTest, EveryVersionAndKeyReadsThroughTheLayer) {
    for (uint16_t version = 0; version <= 5; version++) {
        for (const char* key : {static_cast<const char*>(nullptr), "k"}) {
            for (bool compress : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << version << " " << (key ? key : "-") << " " << compress);
                std::string name = std::string("v").append(std::to_string(version));
                name.append(key ? "k" : "d").append(compress ? "c" : "p");
                SetArchiveKeyString(key);
                const Bytes body = Mixed(20000 + version, version);
                WriteArchiveFile(
                    name + ".oba",
                    {{"dir\\sub\\file.bin", body, compress}, {"empty.bin", {}, compress}}, version,
                    key);
                for (int32_t async : {0, 1}) {
                    EXPECT_EQ(OpenAndReadAll((name + "\\dir\\sub\\file.bin").c_str(), async), body);
                    EXPECT_EQ(OpenAndReadAll((name + "\\empty.bin").c_str(), async), Bytes{});
                }
            }
        }
    }
}

TEST_F(FileAccessTest, ArchiveStreamsSeekWithinTheirEntry) {
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress);
        std::string name = compress ? "packed" : "stored";
        const Bytes body = Mixed(1000, 3);
        WriteArchiveFile(name + ".oba", {{"f.bin", body, compress}}, 3);
        StreamValue file = OpenDataFile((name + "/f.bin").c_str(), 0, 1, 0);
        ASSERT_NE(file, 0u);
        EXPECT_EQ(SeekDataFile(file, 5000, 0), 0);
        EXPECT_EQ(TellDataFile(file), 1000) << "past the end lands on the size";
        EXPECT_EQ(SeekDataFile(file, -5000, 1), 0);
        EXPECT_EQ(TellDataFile(file), 0) << "before the start lands on 0";
        EXPECT_EQ(SeekDataFile(file, 0, 7), -1);
        ASSERT_EQ(SeekDataFile(file, -10, 2), 0);
        uint8_t buffer[16];
        // 10 bytes are left: 3 whole elements of 3 are counted, all 10 bytes are taken.
        EXPECT_EQ(ReadDataFile(buffer, 3, 5, file), 3u);
        EXPECT_TRUE(std::equal(buffer, buffer + 10, body.end() - 10));
        EXPECT_EQ(TellDataFile(file), 1000);
        EXPECT_EQ(EofDataFile(file), 0);
        EXPECT_EQ(ReadDataFile(buffer, 1, 1, file), 0u);
        EXPECT_EQ(EofDataFile(file), -1);
        EXPECT_EQ(ReadDataFile(buffer, 1, 1, file), 0u);
        ASSERT_EQ(SeekDataFile(file, 500, 0), 0);
        EXPECT_EQ(EofDataFile(file), 0);
        EXPECT_EQ(ReadDataFile(buffer, 16, 1, file), 1u);
        EXPECT_TRUE(std::equal(buffer, buffer + 16, body.begin() + 500));
        CloseDataFile(file);
    }
}

TEST_F(FileAccessTest, DamagedArchivesFailTheOpenOrTheRead) {
    std::vector<ArchiveInput> inputs = {{"packed.bin", Mixed(5000, 4), true},
                                        {"ok.bin", Text("ok")}};
    const WrittenArchive good = WriteArchive(inputs, {3, KeyFor(nullptr), 932});
    const uint32_t body = good.dataOffset + good.bodyOffsets[0];

    WrittenArchive longer = good;  // the LZ head promises more than the entry holds
    PatchArchiveByte(longer, body + 1, PlainArchiveByte(good, body + 1) + 1);
    WrittenArchive badCode = good;  // a code with both low bits set
    uint8_t escape = PlainArchiveByte(good, body + 8);
    PatchArchiveByte(badCode, body + 9, escape);
    PatchArchiveByte(badCode, body + 10, escape <= 3 ? 4 : 3);
    WrittenArchive farBack = good;  // a match reaching before the start of the output
    PatchArchiveByte(farBack, body + 9, escape);
    PatchArchiveByte(farBack, body + 10, escape == 0 ? 1 : 0);
    PatchArchiveByte(farBack, body + 11, 200);

    int index = 0;
    for (const WrittenArchive* damaged : {&longer, &badCode, &farBack}) {
        std::string name = "damaged" + std::to_string(index++);
        directory_.Write(name + ".oba", damaged->bytes);
        EXPECT_EQ(OpenDataFile((name + "\\packed.bin").c_str(), 0, 1, 0), 0u) << name;
        EXPECT_EQ(OpenAndReadAll((name + "\\ok.bin").c_str()), Text("ok")) << name;
        // Opened asynchronously the expansion happens later: the read then finds nothing.
        StreamValue file = OpenDataFile((name + "\\packed.bin").c_str(), 0, 1, 1);
        ASSERT_NE(file, 0u);
        uint8_t buffer[16];
        EXPECT_EQ(ReadDataFile(buffer, 1, sizeof buffer, file), 0u);
        EXPECT_EQ(EofDataFile(file), -1);
        CloseDataFile(file);
    }
    // A cut archive does not open, so the name falls through to the disk.
    directory_.Write("cut.oba", Bytes(good.bytes.begin(), good.bytes.end() - 1));
    directory_.Write("cut/ok.bin", Text("disk"));
    EXPECT_EQ(OpenAndReadAll("cut\\ok.bin"), Text("disk"));
}

TEST_F(FileAccessTest, FindListsArchiveEntriesWithWildcards) {
    WriteArchiveFile("GRAPHICS.OBA", {{"title.png", Bytes(3000), false, 0x01D0000000000000ull,
                                       0x01D1000000000000ull},
                                      {"ui\\button.png", Bytes(10)},
                                      {"表\\データ.bin", Bytes(4)},
                                      {"Zed.PNG", Bytes(2)},
                                      {"ア.bin", Bytes(1)}});  // the trail byte of ア is 'A'

    const FileAccessFunctions* f = GetFileAccessFunctions();
    auto list = [f](const char* pattern) {
        std::vector<std::string> names;
        FileFindData found;
        FindValue find = f->findFirst(pattern, &found);
        if (find == -1) return names;
        do {
            names.push_back(found.name);
        } while (f->findNext(find, &found) == 0);
        EXPECT_EQ(f->findClose(find), 0);
        return names;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(list("graphics\\*"), (Names{".", "title.png", "ui", "表", "Zed.PNG", "ア.bin"}));
    EXPECT_EQ(list("graphics\\ui\\*"), (Names{".", "..", "button.png"}));
    EXPECT_EQ(list("graphics\\*.png"), (Names{"title.png"})) << "exact case";
    EXPECT_EQ(list("graphics\\*.PNG"), (Names{"Zed.PNG"}));
    EXPECT_EQ(list("graphics\\t?tle.*"), (Names{"title.png"}));
    EXPECT_EQ(list("graphics\\**e*"), (Names{"title.png", "Zed.PNG"}));
    EXPECT_EQ(list("graphics\\表\\?ータ.bin"), (Names{"データ.bin"}))
        << "? takes a double-byte character";
    EXPECT_EQ(list("graphics\\*.bin"), (Names{"ア.bin"}));
    EXPECT_EQ(list("graphics\\*A.bin"), Names{}) << "a star never ends inside a character";
    EXPECT_EQ(list("graphics\\nothing\\*"), Names{});
    EXPECT_EQ(list("graphics\\*.none"), Names{});

    FileFindData found;
    FindValue find = f->findFirst("graphics\\title.png", &found);
    ASSERT_NE(find, -1);
    EXPECT_EQ(found.isDirectory, 0);
    EXPECT_EQ(found.sizeLow, 3000u);
    EXPECT_EQ(found.sizeHigh, 0u);
    EXPECT_EQ(found.creationTime[0], 2014);
    EXPECT_EQ(found.lastWriteTime[0], 2015);
    f->findClose(find);
    find = f->findFirst("graphics\\u*", &found);
    ASSERT_NE(find, -1);
    EXPECT_EQ(found.isDirectory, 1);
    f->findClose(find);

    // Without an archive the disk answers.
    directory_.Write("docs/a.txt", Bytes(1));
    directory_.Write("docs/b.txt", Bytes(1));
    std::vector<std::string> disk = list("docs\\*.txt");
    EXPECT_EQ(std::set<std::string>(disk.begin(), disk.end()),
              (std::set<std::string>{"a.txt", "b.txt"}));
}

TEST_F(FileAccessTest, CachedArchivesStayUntilReleasedWhenUnused) {
    WriteArchiveFile("PACK.OBA", {{"old.bin", Text("old")}});
    StreamValue held = OpenDataFile("pack\\old.bin", 0, 1, 0);
    ASSERT_NE(held, 0u);
    EXPECT_EQ(OpenAndReadAll("pack\\old.bin"), Text("old"));
    // The file changes on disk; the cached tables still describe the old one.
    WriteArchiveFile("PACK.OBA", {{"new.bin", Text("new")}});
    EXPECT_EQ(OpenDataFile("pack\\new.bin", 0, 1, 0), 0u);
    EXPECT_EQ(ReleaseUnusedArchives(), 0);
    EXPECT_EQ(OpenDataFile("pack\\new.bin", 0, 1, 0), 0u) << "still in use by the held file";
    EXPECT_EQ(CloseDataFile(held), 0);
    EXPECT_EQ(ReleaseUnusedArchives(), 0);
    EXPECT_EQ(OpenAndReadAll("pack\\new.bin"), Text("new"));
}

TEST_F(FileAccessTest, DirectoriesWithoutArchivesAreRememberedUntilUnusedArchivesAreReleased) {
    directory_.Write("data/x.bin", Text("disk"));
    EXPECT_EQ(OpenAndReadAll("data\\x.bin"), Text("disk"));
    // An archive that appears later is found once the cache lets go, as a changed one is.
    WriteArchiveFile("DATA.OBA", {{"x.bin", Text("archive")}});
    EXPECT_EQ(OpenAndReadAll("data\\x.bin"), Text("disk"));
    EXPECT_EQ(ReleaseUnusedArchives(), 0);
    EXPECT_EQ(OpenAndReadAll("data\\x.bin"), Text("archive"));
    // A miss holds only for the extension it was met with.
    directory_.Write("more/m.bin", Text("disk"));
    EXPECT_EQ(OpenAndReadAll("more\\m.bin"), Text("disk"));
    WriteArchiveFile("more.pak", {{"m.bin", Text("pak")}});
    SetArchiveExtension("pak");
    EXPECT_EQ(OpenAndReadAll("more\\m.bin"), Text("pak"));

    // A miss met by a relative walk from inside a directory says nothing of the candidates
    // above it, which a full path tries.
    WriteArchiveFile("outer.pak", {{"data\\z.bin", Text("outer")}});
    directory_.Write("outer/data/z.bin", Text("disk"));
    ASSERT_TRUE(SetCurrentDirectoryA(directory_.Windows("outer").c_str()));
    EXPECT_EQ(OpenAndReadAll("data\\z.bin"), Text("disk"));
    EXPECT_EQ(OpenAndReadAll(directory_.Windows("outer/data/z.bin").c_str()), Text("outer"));
}

// A relative path of `bytes` bytes: components of at most 200 letters, the last "n...".
std::string LongRelativePath(size_t bytes) {
    std::string path;
    while (bytes - path.size() > 201) path += std::string(200, 'd') + "\\";
    return path + "n" + std::string(bytes - path.size() - 1, 'x');
}

std::string WithSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

TEST_F(FileAccessTest, APathTooLongForTheLookupFailsInsteadOfReadingTheDisk) {
    // The full form (current directory, '\\', the path) fits the lookup up to 1,023 bytes.
    const size_t room = 1023 - directory_.Windows().size() - 1 - std::strlen("game\\");
    const std::string longest = LongRelativePath(room);
    const std::string tooLong = LongRelativePath(room + 1);
    WriteArchiveFile("GAME.OBA", {{longest, Text("archive")}});
    directory_.Write("game/" + WithSlashes(longest), Text("loose"));
    directory_.Write("game/" + WithSlashes(tooLong), Text("loose"));
    EXPECT_EQ(OpenAndReadAll(("game\\" + longest).c_str()), Text("archive"));
    EXPECT_EQ(OpenDataFile(("game\\" + tooLong).c_str(), 0, 1, 0), 0u);
    FileFindData found;
    EXPECT_EQ(GetFileAccessFunctions()->findFirst(("game\\" + tooLong).c_str(), &found), -1);

    // An archive whose own full path passes 256 bytes is found as any other.
    const std::string deep = std::string(200, 'd') + "\\" + std::string(60, 'e');
    WriteArchiveFile(WithSlashes(deep) + "/PACK.OBA", {{"x.txt", Text("archive")}});
    directory_.Write(WithSlashes(deep) + "/pack/x.txt", Text("loose"));
    EXPECT_EQ(OpenAndReadAll((deep + "\\pack\\x.txt").c_str()), Text("archive"));
}

// A folder changed within its timestamp's granularity: each change below puts the time back, so
// that only the listing itself tells what the folder holds now.
TEST_F(FileAccessTest, NamesInAnotherCaseFollowAFolderChangedWithinOneTimestamp) {
    directory_.Write("fresh/file.txt", Text("first"));
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const timespec times[2] = {{0, UTIME_OMIT}, now};
    const std::string fresh = directory_.Host("fresh");
    ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), times, 0), 0);
    EXPECT_EQ(OpenAndReadAll("FRESH\\FILE.TXT"), Text("first"));

    directory_.Write("fresh/Added.txt", Text("added"));
    ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), times, 0), 0);
    EXPECT_EQ(OpenAndReadAll("FRESH\\ADDED.TXT"), Text("added"));

    ASSERT_EQ(unlink(directory_.Host("fresh/file.txt").c_str()), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), times, 0), 0);
    EXPECT_EQ(OpenDataFile("FRESH\\FILE.TXT", 0, 1, 0), 0u);
    directory_.Write("fresh/FILE.txt", Text("second"));
    ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), times, 0), 0);
    EXPECT_EQ(OpenAndReadAll("fresh\\file.TXT"), Text("second"));
}

TEST_F(FileAccessTest, TheTableHoldsThirtyTwoThousandSevenHundredSixtyEightFiles) {
    // A compressed entry holds no file handle once expanded, so the limit is reachable.
    WriteArchiveFile("MANY.OBA", {{"one.bin", Text("0123456789abcdef"), true}});
    std::vector<StreamValue> values;
    for (int i = 0; i < kMaxOpenFiles; i++) {
        StreamValue value = OpenDataFile("many\\one.bin", 0, 1, 0);
        ASSERT_EQ(value, kFileValueTag | static_cast<StreamValue>(i));
        values.push_back(value);
    }
    LoadPlatformDlls();
    TestCaptureDebugOutput(true);
    TestTakeDebugOutput();
    EXPECT_EQ(OpenDataFile("many\\one.bin", 0, 1, 0), 0u);
    EXPECT_NE(TestTakeDebugOutput().find("同時に開けるファイルの数が限界を超えました"),
              std::string::npos);
    EXPECT_EQ(CloseDataFile(values[1234]), 0);
    EXPECT_EQ(OpenDataFile("many\\one.bin", 0, 1, 0), values[1234]);
    for (StreamValue value : values) EXPECT_EQ(CloseDataFile(value), 0);
    FreePlatformDlls();
}

TEST_F(FileAccessTest, FileHandlesCloseTheirValueWhenDeleted) {
    ASSERT_EQ(SetupFileStreams(), 0);
    EXPECT_EQ(SetupFileStreams(), -1);
    directory_.Write("h.txt", Text("handle"));
    HandleRegistry* registry = GetFileHandleRegistry();
    Handle handle = IssueHandle(registry, -1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(handle >> kHandleKindShift, kHandleKindFile);
    auto* record = reinterpret_cast<FileHandleRecord*>(FindHandleRecord(registry, handle));
    ASSERT_NE(record, nullptr);
    record->value = OpenDataFile("h.txt", 0, 1, 0);
    StreamValue value = record->value;
    ASSERT_NE(value, 0u);
    EXPECT_EQ(RetireHandle(registry, handle), 0);
    EXPECT_EQ(CloseDataFile(value), -1) << "already closed";
    EXPECT_EQ(ShutdownFileStreams(), 0);
    EXPECT_EQ(ShutdownFileStreams(), -1);
}

int32_t gCustomOpens = 0;

TEST_F(FileAccessTest, TheTableInForceDecidesWhatTheFrontCallsDo) {
    gCustomOpens = 0;
    WriteArchiveFile("GRAPHICS.OBA", {{"title.png", Text("archive")}});
    directory_.Write("graphics/title.png", Text("disk"));
    SetNoArchiveSwitch(1);
    SetFileAccessFunctions(nullptr);
    StreamValue file = OpenDataFile("graphics\\title.png", 0, 1, 0);
    ASSERT_NE(file, 0u);
    EXPECT_EQ(ReadAll(file), Text("disk"));
    EXPECT_EQ(CloseDataFile(file), 0);
    EXPECT_EQ(CloseDataFile(0), -1);

    FileAccessFunctions custom = *GetFileAccessFunctions();
    custom.open = [](const char*, int32_t, int32_t, int32_t) -> StreamValue {
        gCustomOpens++;
        return 77;
    };
    SetFileAccessFunctions(&custom);
    EXPECT_EQ(OpenDataFile("anything", 0, 1, 0), 77u);
    EXPECT_EQ(gCustomOpens, 1);
    char current[kCurrentDirBytes];
    EXPECT_GT(GetDataCurrentDir(current), 0);
    EXPECT_EQ(std::string(current), directory_.Windows());
}

TEST_F(FileAccessTest, FullPathsResolveAgainstTheCurrentDirectoryOfTheTableInForce) {
    char out[512];
    ASSERT_EQ(ToFullPath("sub/x.png", out, sizeof out), 0);
    EXPECT_EQ(std::string(out), directory_.Windows("sub/x.png"));
    ASSERT_EQ(ToUpperFullPath("sub\\ｘ.png", out, sizeof out), 0);
    std::string expected = directory_.Windows("SUB/ｘ.PNG");
    UpperCaseString(expected.data());
    EXPECT_EQ(std::string(out), expected) << "full-width letters are kept";

    FileAccessFunctions custom = *GetFileAccessFunctions();
    custom.getCurrentDir = [](char* buffer) {
        std::strcpy(buffer, "Q:\\elsewhere");
        return 12;
    };
    SetFileAccessFunctions(&custom);
    ASSERT_EQ(ToFullPath("..\\x", out, sizeof out), 0);
    EXPECT_STREQ(out, "Q:\\x");
}

TEST(MemoryStream, PartialElementsAndClampedSeeks) {
    const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemoryStream* stream = OpenMemoryStream(data, sizeof data);
    ASSERT_NE(stream, nullptr);
    const StreamFunctions& f = *GetMemoryStreamFunctions();
    StreamValue value = reinterpret_cast<StreamValue>(stream);
    uint8_t buffer[12] = {};
    EXPECT_EQ(f.read(buffer, 4, 3, value), 2u);
    EXPECT_EQ(f.tell(value), 8);
    // The last 2 bytes count as one element of 4.
    EXPECT_EQ(f.read(buffer, 4, 1, value), 1u);
    EXPECT_EQ(buffer[0], 8);
    EXPECT_EQ(buffer[1], 9);
    EXPECT_EQ(f.eof(value), 0);
    EXPECT_EQ(f.read(buffer, 4, 1, value), 0u);
    EXPECT_EQ(f.eof(value), 1);
    EXPECT_EQ(f.seek(value, 100, 0), 0);
    EXPECT_EQ(f.tell(value), 10);
    EXPECT_EQ(f.eof(value), 0);
    EXPECT_EQ(f.seek(value, -3, 1), 0);
    EXPECT_EQ(f.tell(value), 7);
    EXPECT_EQ(f.seek(value, -20, 2), 0);
    EXPECT_EQ(f.tell(value), 0);
    EXPECT_EQ(f.read(buffer, 1, 12, value), 10u);
    // Far seeks stop at the ends without overflowing; a read whose byte total overflows reads
    // nothing.
    for (int32_t origin : {0, 1, 2}) {
        ASSERT_EQ(f.seek(value, 3, 0), 0);
        EXPECT_EQ(f.seek(value, INT64_MAX, origin), 0);
        EXPECT_EQ(f.tell(value), 10);
        EXPECT_EQ(f.seek(value, INT64_MIN, origin), 0);
        EXPECT_EQ(f.tell(value), 0);
    }
    std::fill(buffer, buffer + sizeof buffer, 0xEE);
    EXPECT_EQ(f.read(buffer, 4, SIZE_MAX / 4 + 2, value), 0u);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(f.tell(value), 0);
    EXPECT_EQ(f.isIdle(value), 1);
    EXPECT_EQ(f.close(value), 0);
    EXPECT_EQ(data[9], 9) << "the data is not the stream's";
}

}  // namespace
