#include "public_fixture.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// The framework keeps the directory of its first start as the log's for the whole process, so
// the tests of a process share one directory, emptied before each.
struct OwnDirectory {
    OwnDirectory() {
        char pattern[] = "/tmp/orbek_public_XXXXXX";
        if (mkdtemp(pattern) != nullptr) path = pattern;
    }
    ~OwnDirectory() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

const std::string& ProcessDirectory() {
    static const OwnDirectory directory;
    return directory.path;
}

// What a test configured holds for the whole process: the next test starts from the defaults.
void RestoreDefaultConfiguration() {
    ChangeWindowMode(1);
    SetWindowTitle("");
    ChangeScreenMode(640, 480, 16, 0, 0);
    SetWindowScale(1, 1);
    SwitchVSyncWait(1);
    SwitchHardwareRendering(1);
    SetNoSoundSwitch(0);
    SetNoInputSwitch(0);
    SetNoGraphicsSwitch(0);
    SwitchAsyncLoad(0);
    SetNoArchiveSwitch(0);
    SetPlainFileFirst(0);
    SetArchiveExtension(nullptr);
    SetArchiveKeyString(nullptr);
}

}  // namespace

void PublicFixture::SetUp() {
    TestResetPlatform();
    TestD3d9Reset();
    TestUseHeadlessHost(true);
    TestUseVirtualClock(true);
    TestSetClockMicroseconds(5'000'000);
    // The start-up's busy loops end only when the clock moves as they read it.
    TestSetClockStepPerRead(50);
    directory_ = ProcessDirectory();
    ASSERT_FALSE(directory_.empty());
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
        std::filesystem::remove_all(entry.path());
    }
    char previous[4096] = {};
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    previous_ = previous;
    ASSERT_EQ(chdir(directory_.c_str()), 0);
}

void PublicFixture::TearDown() {
    ShutdownLibrary();
    RestoreDefaultConfiguration();
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    TestResetPlatform();
    TestD3d9Reset();
}

void PublicFixture::StartFramework() {
    ASSERT_EQ(ChangeWindowMode(1), 0);
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
}

std::vector<uint32_t> PublicFixture::ReadShownPicture(int* width, int* height) const {
    HWND window = FindWindowA(nullptr, "Orbek");
    if (window == nullptr) return {};
    std::vector<uint32_t> pixels = TestHostReadSurface(window, width, height);
    for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
}

std::string PublicFixture::ReadLog() const {
    std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void PublicFixture::AdvanceClock(uint32_t milliseconds) {
    TestAdvanceClockMicroseconds(milliseconds * 1000ull);
    PumpMessages();
}

int PublicFixture::PumpUntilLoadsEnd(const std::function<void()>& frame) {
    // Real time: the virtual clock moves only as the framework reads it. (<chrono> does not
    // compile as Shift-JIS.)
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    int frames = 0;
    while (CountQueuedAsyncLoads() > 0) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec > 60) return -1;
        if (frame) {
            frame();
            ++frames;
        }
        if (PumpMessages() != 0) return -1;
    }
    return frames;
}

void PublicFixture::WriteBgraImage(const std::string& path, int width, int height,
                                   const std::vector<uint32_t>& pixels) {
    ASSERT_EQ(pixels.size(), static_cast<size_t>(width) * static_cast<size_t>(height));
    std::vector<uint8_t> bytes = {'B', 'G', 'R', 'A', 8, 8, 8, 8};
    for (uint32_t value : {static_cast<uint32_t>(width), static_cast<uint32_t>(height)}) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back((value >> shift) & 0xFF);
    }
    for (uint32_t pixel : pixels) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back((pixel >> shift) & 0xFF);
    }
    WriteBytes(path, bytes);
}

void PublicFixture::WriteSilentWave(const std::string& path) {
    const char header[] =
        "RIFF\x64\x06\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0"
        "\x02\0\x10\0data\x40\x06\0\0";
    std::ofstream(path, std::ios::binary) << std::string(header, 44) << std::string(1600, '\0');
}

std::vector<uint8_t> PublicFixture::BmpImage(int width, int height,
                                             const std::function<uint32_t(int, int)>& colour) {
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file(54 + static_cast<size_t>(rowBytes) * height);
    auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    // The file header, then the 40-byte information header: one plane of 24 bits, bottom up.
    file[0] = 'B', file[1] = 'M';
    put(2, static_cast<uint32_t>(file.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            put(54 + (height - 1 - y) * rowBytes + x * 3, colour(x, y), 3);
    }
    return file;
}

void PublicFixture::WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good());
}

bool PublicFixture::Near(uint32_t shown, uint32_t expected) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(int(shown >> shift & 255) - int(expected >> shift & 255)) > 8) return false;
    }
    return true;
}

void RendererFixture::SetUp() {
    PublicFixture::SetUp();
    ASSERT_EQ(SwitchHardwareRendering(GetParam() ? 1 : 0), 0);
}

std::string RendererName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Device" : "Software";
}
