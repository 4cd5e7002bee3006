// orbek_archive_pack's safety and what it accepts: a failed write, a destination that is not a
// file or a signal that stops the command leaves the destination as it was, and a signal it was
// started with ignored stays ignored; a file that compression would not shrink is stored plain;
// a name, path, key or link that a program could not use is refused, saying why.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "public_fixture.h"

namespace {

namespace fs = std::filesystem;
using ArchivePackTest = PublicFixture;

// Text that is UTF-8 however the source's other literals are compiled.
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

void WritePackSource(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadHostBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string Noise(size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}

// The command run by the shell after the shell commands in front (a limit, say), bounded in
// time so that a command that waits on a pipe fails instead of hanging; its status, and its
// output in *output.
int RunPackCommand(const std::string& arguments, std::string* output,
                   const std::string& front = "") {
    const std::string line = front + "timeout 60 " ORBEK_ARCHIVE_PACK " " + arguments + " 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) return -1;
    char chunk[256];
    while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output->append(chunk, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The data-file calls' reading of a whole file of up to a megabyte.
std::optional<std::string> ReadPacked(const char* path) {
    StreamValue file = OpenDataFile(path, 0, 1, 0);
    if (file == 0) return std::nullopt;
    std::string all(1 << 20, '\0');
    all.resize(ReadDataFile(all.data(), 1, all.size(), file));
    CloseDataFile(file);
    return all;
}

// The entries of the current directory but Log.txt: what the test made, and any temporary
// file that the command left behind.
size_t EntriesBesideLog() {
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(".")) entries += entry.path() != "./Log.txt";
    return entries;
}

// The wait status of a pack of src into out.oba sent the signal half way, at the default or
// ignored from the start (as nohup and a script's background job start a command); -1 when the
// pack ended before it could be caught with bytes in its temporary file and still unrenamed.
int PackSignalled(int signal, bool ignored) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execl(ORBEK_ARCHIVE_PACK, ORBEK_ARCHIVE_PACK, "src", "out.oba", nullptr);
        _exit(127);
    }
    // The temporary file with bytes in it: the command handles its signals by then.
    fs::path temporary;
    int status = 0;
    for (int wait = 0; temporary.empty() && wait < 120000; wait++) {  // a minute at least
        if (waitpid(child, &status, WNOHANG) == child) return -1;
        for (const auto& entry : fs::directory_iterator(".")) {
            std::error_code error;
            if (entry.path().filename().string().starts_with(".out.oba.") &&
                fs::file_size(entry.path(), error) > 0) {
                temporary = entry.path();
            }
        }
        usleep(500);
    }
    // Stopped while the signal is sent, so that it surely comes before the rename.
    kill(child, SIGSTOP);
    waitpid(child, &status, WUNTRACED);
    if (!WIFSTOPPED(status)) return -1;
    const bool caught = !temporary.empty() && fs::exists(temporary);
    if (caught) kill(child, signal);
    kill(child, SIGCONT);
    waitpid(child, &status, 0);
    return caught ? status : -1;
}

// Packing onto a file system that refuses the write (a file size limit here, as a full disk
// would) leaves the archive there byte for byte, and no temporary file beside it; a device
// node, a pipe or a directory is refused before anything is written and stays as it was.
TEST_F(ArchivePackTest, AFailedPackLeavesTheDestinationAsItWas) {
    WritePackSource("src/noise.bin", Noise(300000));
    std::string output;
    ASSERT_EQ(RunPackCommand("src old.oba", &output), 0) << output;
    const std::string old = ReadHostBytes("old.oba");
    WritePackSource("src/more.bin", Noise(1000));

    output.clear();
    EXPECT_EQ(RunPackCommand("src old.oba", &output, "ulimit -f 64; "), 1);
    EXPECT_NE(output.find("old.oba: File too large"), std::string::npos) << output;
    EXPECT_TRUE(ReadHostBytes("old.oba") == old) << "the old archive byte for byte";
    EXPECT_EQ(EntriesBesideLog(), 2u) << "only src/ and old.oba";

    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    fs::create_directories("folder/inside");
    // A device node of /dev/full's numbers where the user may make one.
    const bool device = mknod("full", S_IFCHR | 0600, makedev(1, 7)) == 0;
    for (const char* destination : {"pipe", "full", "folder"}) {
        if (!device && std::string(destination) == "full") continue;
        output.clear();
        EXPECT_EQ(RunPackCommand(std::string("src ") + destination, &output), 1) << destination;
        EXPECT_NE(output.find("not a file"), std::string::npos) << output;
    }
    struct stat status {};
    EXPECT_TRUE(stat("pipe", &status) == 0 && S_ISFIFO(status.st_mode));
    EXPECT_TRUE(!device || (stat("full", &status) == 0 && S_ISCHR(status.st_mode) &&
                            status.st_rdev == makedev(1, 7)));
    EXPECT_TRUE(fs::is_directory("folder/inside"));
}

// A hang-up or an interrupt that the command was started with ignored leaves it packing to the
// end; a termination it was not started ignoring ends it as that signal does, the temporary
// file removed and the destination as it was.
TEST_F(ArchivePackTest, ASignalIgnoredFromTheStartStaysIgnored) {
    // Stored plain, 32 MB take long enough to write that the temporary file is caught.
    WritePackSource("src/note.txt", "note");
    WritePackSource("src/zeros.bin", "");
    fs::resize_file("src/zeros.bin", 32 << 20);
    std::string output;
    ASSERT_EQ(RunPackCommand("src whole.oba", &output), 0) << output;
    const std::string whole = ReadHostBytes("whole.oba");
    for (const int signal : {SIGHUP, SIGINT}) {
        fs::remove("out.oba");
        const int status = PackSignalled(signal, true);
        ASSERT_NE(status, -1) << "the pack ended before the signal";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << strsignal(signal) << ": status " << status;
        EXPECT_TRUE(ReadHostBytes("out.oba") == whole) << strsignal(signal);
    }

    WritePackSource("out.oba", "old");
    const int status = PackSignalled(SIGTERM, false);
    ASSERT_NE(status, -1) << "the pack ended before the signal";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    EXPECT_EQ(ReadHostBytes("out.oba"), "old");
    EXPECT_EQ(EntriesBesideLog(), 3u) << "only src/, whole.oba and out.oba";
}

// A file larger than the framework reads an archive (a sparse one, so it costs no disk) is
// refused from its size before anything is read or written, naming the file and the limit.
TEST_F(ArchivePackTest, AFileNoArchiveCanHoldIsRefusedFromItsSize) {
    WritePackSource("src/big.bin", "");
    fs::resize_file("src/big.bin", uint64_t{1} << 31);
    WritePackSource("old.oba", "old");
    for (const char* options : {"", "--compress "}) {
        std::string output;
        EXPECT_EQ(RunPackCommand(std::string(options) + "src old.oba", &output), 1);
        EXPECT_NE(output.find("src/big.bin: 2147483648 bytes, larger than an archive can hold"),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find("at most 2147483647 bytes"), std::string::npos) << output;
    }
    EXPECT_EQ(ReadHostBytes("old.oba"), "old");
    EXPECT_EQ(EntriesBesideLog(), 2u) << "only src/ and old.oba";
}

// Running out of memory (here under an address space limit that a file of a gigabyte passes)
// ends the command with a message, the temporary file removed. The sanitizers' allocators
// end a program that runs out instead of throwing, and their shadow memory needs more room.
TEST_F(ArchivePackTest, RunningOutOfMemoryLeavesTheDestinationAsItWas) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "needs a build without sanitizers";
#endif
    WritePackSource("src/big.bin", "");
    fs::resize_file("src/big.bin", uint64_t{1} << 30);
    WritePackSource("old.oba", "old");
    std::string output;
    EXPECT_EQ(RunPackCommand("src old.oba", &output, "ulimit -v 400000; "), 1);
    EXPECT_NE(output.find("out of memory"), std::string::npos) << output;
    EXPECT_EQ(ReadHostBytes("old.oba"), "old");
    EXPECT_EQ(EntriesBesideLog(), 2u) << "only src/ and old.oba";
}

// Noise packed with --compress takes the room it takes unpacked (plain, with the table) and
// reads back whole.
TEST_F(ArchivePackTest, AFileThatCompressionWouldNotShrinkIsStoredPlain) {
    const std::string noise = Noise(200000);
    WritePackSource("noise/n.bin", noise);
    std::string output;
    ASSERT_EQ(RunPackCommand("noise plain.oba", &output), 0) << output;
    ASSERT_EQ(RunPackCommand("--compress noise packed.oba", &output), 0) << output;
    EXPECT_EQ(fs::file_size("packed.oba"), fs::file_size("plain.oba"));
    ASSERT_EQ(SetArchiveExtension("oba"), 0);
    EXPECT_EQ(ReadPacked("packed\\n.bin"), noise);
}

// What a program could not open, or would open under another name, is refused with a message
// that names the cause; a link is packed as its target, and a link back up its own path is
// refused at once.
TEST_F(ArchivePackTest, WhatAProgramCouldNotUseIsRefusedSayingWhy) {
    WritePackSource(fs::path(u8"yen/a¥b"), "x");
    WritePackSource(fs::path(u8"tilde/a~b"), "x");
    WritePackSource(fs::path(u8"tilde/a‾b"), "x");
    WritePackSource(fs::path(u8"wave/〜"), "x");
    WritePackSource(fs::path(u8"wave/～"), "x");
    WritePackSource(fs::path(u8"overline/x‾y"), "x");
    WritePackSource("file.txt", "x");
    // A path inside the archive of 1,019 bytes: four folders of 200 bytes and a name of 215.
    std::string longPath = "long";
    for (int i = 0; i < 4; i++) longPath += "/" + std::string(200, 'd');
    WritePackSource(longPath + "/" + std::string(215, 'f'), "x");
    WritePackSource("loop/sub/f.txt", "x");
    fs::create_directory_symlink("..", "loop/sub/up");
    const std::pair<std::string, std::string> refusals[] = {
        {"--key " + std::string(256, 'k') + " file.txt", "SetArchiveKeyString takes at most 255"},
        {"yen", Utf8(u8"writes '¥' as '\\', a separator")},
        {"tilde", "names that become one in Shift-JIS, \"a~b\""},
        {"wave", Utf8(u8"names that become one in Shift-JIS, \"～\"")},
        {"overline", Utf8(u8"writes '‾' as '~': the file would be stored, and found by a "
                          u8"program, as \"x~y\"")},
        {"file.txt", "file.txt: not a directory"},
        {"long", "1019 bytes long in Shift-JIS, longer than the 1018 bytes a program can open"},
        {"loop", "loop/sub/up: leads back into a folder on its own path"},
    };
    for (const auto& [arguments, message] : refusals) {
        std::string output;
        EXPECT_EQ(RunPackCommand(arguments + " out.oba", &output),
                  arguments.starts_with("--") ? 2 : 1);
        EXPECT_NE(output.find(message), std::string::npos) << arguments << "\n" << output;
    }
    EXPECT_FALSE(fs::exists("out.oba"));

    // At the limit: a path of 1,018 bytes, a key of 255; a folder linked in from outside.
    fs::rename(longPath + "/" + std::string(215, 'f'), longPath + "/" + std::string(214, 'f'));
    fs::remove("loop/sub/up");
    WritePackSource("shared/picture.bmp", "shared picture");
    fs::create_directory_symlink("../../shared", "loop/sub/pictures");
    std::string output;
    EXPECT_EQ(RunPackCommand("--key " + std::string(255, 'k') + " long long.oba", &output), 0)
        << output;
    EXPECT_EQ(RunPackCommand("loop data.oba", &output), 0) << output;
    ASSERT_EQ(SetArchiveExtension("oba"), 0);
    EXPECT_EQ(ReadPacked("data\\sub\\pictures\\picture.bmp"), "shared picture");
}

}  // namespace
