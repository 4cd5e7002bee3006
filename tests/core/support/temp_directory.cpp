// Temporary directories for the file layer's tests.
#include "temp_directory.h"

#include <platform/testing.h>
#include <platform/win32.h>
#include <sched.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/file_access.h"

namespace {

double MonotonicSeconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition) {
    const double deadline = MonotonicSeconds() + 10.0;
    while (!condition()) {
        if (MonotonicSeconds() > deadline) return false;
        sched_yield();
    }
    return true;
}

TempDirectory::TempDirectory() {
    char pattern[] = "/tmp/orbek_files_XXXXXX";
    if (mkdtemp(pattern) != nullptr) host_ = pattern;
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    if (!host_.empty()) std::filesystem::remove_all(host_, ignored);
}

std::string TempDirectory::Host(const std::string& relative) const {
    return relative.empty() ? host_ : host_ + "/" + relative;
}

std::string TempDirectory::Windows(const std::string& relative) const {
    std::string path = "Z:" + Host(relative);
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

void TempDirectory::Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    std::filesystem::path path(Host(relative));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> TempDirectory::Read(const std::string& relative) const {
    std::ifstream file(Host(relative), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void FileLayerTest::SetUp() {
    TestResetPlatform();
    ASSERT_FALSE(directory_.Host().empty());
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, previous);
    previousDirectory_ = previous;
    ASSERT_TRUE(SetCurrentDirectoryA(directory_.Windows().c_str()));
    SetNoArchiveSwitch(0);
    SetPlainFileFirst(0);
    SetArchiveExtension(nullptr);
    SetArchiveKeyString(nullptr);
    SetFileAccessFunctions(nullptr);
}

void FileLayerTest::TearDown() {
    ShutdownArchiveCache();
    SetArchiveKeyString(nullptr);
    SetArchiveExtension(nullptr);
    SetPlainFileFirst(0);
    SetNoArchiveSwitch(0);
    SetFileAccessFunctions(nullptr);
    SetCurrentDirectoryA(previousDirectory_.c_str());
    TestResetPlatform();
}
