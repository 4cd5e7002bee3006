// orbek_archive_pack --compress beside `zip -r` of the same data in the same run, on four data
// sets: 10 MB of random bytes (as already compressed pictures and sounds are), a tree of 20,000
// small text-like files, a game's uncompressed assets (the game's own pictures as BMP, TGA and
// DDS files, its sound effects as PCM WAV files, and the installed TrueType fonts), and programs
// (this benchmark's executable and the shared libraries it loaded). The archive of random bytes
// should take their own size and the table, the others less than their files; random data and
// text pack faster than zip, the assets and programs in at most twice its time, each in no more
// bytes than before. zip missing skips its half.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <link.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "media/image_writers.h"
#include "pictures.h"
#include "sound_effects.h"
#include "synth.h"
#include "wav_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTreeFolders = 100;
constexpr int kTreeFilesPerFolder = 200;

// Lines of words drawn from a small vocabulary, as scripts, maps and tables of a game are.
std::string TextLike(std::mt19937& random, size_t size) {
    static const char* const kWords[] = {"stage", "sprite", "enemy", "player", "score", "=",
                                         "level", "bonus",  "music", "title",  "map",   ";",
                                         "tile",  "frame",  "sound", "0",      "12",    "255",
                                         "x",     "y",      "speed", "life",   "wait",  "\n"};
    std::string text;
    while (text.size() < size) {
        text += kWords[random() % std::size(kWords)];
        text += ' ';
    }
    text.resize(size);
    return text;
}

void WriteBenchFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void WriteBenchFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A 24-bit bottom-up BMP file of the picture, rows padded to four bytes.
std::vector<uint8_t> Bmp24(const RgbImage& image) {
    const uint32_t stride = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    const uint32_t bits = stride * static_cast<uint32_t>(image.height);
    std::vector<uint8_t> out = {'B', 'M'};
    PutLe(out, 54 + bits, 4);
    PutLe(out, 0, 4);
    PutLe(out, 54, 4);
    for (uint32_t field :
         {40u, static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height)})
        PutLe(out, field, 4);
    PutLe(out, 1, 2);
    PutLe(out, 24, 2);
    for (uint32_t field : {0u, bits, 2835u, 2835u, 0u, 0u}) PutLe(out, field, 4);
    for (int y = image.height - 1; y >= 0; y--) {
        const uint8_t* row = &image.rgb[static_cast<size_t>(y) * image.width * 3];
        for (int x = 0; x < image.width; x++)
            out.insert(out.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
        out.resize(out.size() + (stride - static_cast<uint32_t>(image.width) * 3));
    }
    return out;
}

// The picture's pixels as top-down B, G, R, A with black transparent, as the TGA and DDS files
// of a game hold them.
std::vector<uint8_t> Bgra(const RgbImage& image) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        const uint8_t r = image.rgb[i], g = image.rgb[i + 1], b = image.rgb[i + 2];
        out.insert(out.end(), {b, g, r, static_cast<uint8_t>((r | g | b) != 0 ? 0xFF : 0)});
    }
    return out;
}

std::vector<uint8_t> Tga32(const RgbImage& image) {
    std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutLe(out, static_cast<uint32_t>(image.width), 2);
    PutLe(out, static_cast<uint32_t>(image.height), 2);
    out.insert(out.end(), {32, 0x28});
    const std::vector<uint8_t> pixels = Bgra(image);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

std::vector<uint8_t> Dds32(const RgbImage& image) {
    constexpr uint32_t kRgbWithAlpha = 0x41;
    const uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    return MakeDdsFile(image.width, image.height, kRgbWithAlpha, 0, 32, masks, 1, Bgra(image));
}

// The game's pictures in the three uncompressed formats, its sound effects as PCM WAV files and
// the installed TrueType and OpenType fonts.
void WriteAssets(const fs::path& folder) {
    fs::create_directories(folder / "graphics");
    fs::create_directories(folder / "sound");
    fs::create_directories(folder / "fonts");
    const std::pair<const char*, RgbImage (*)()> pictures[] = {
        {"size32", DrawSize32},       {"size16", DrawSize16},
        {"explosion", DrawExplosion}, {"explosion2", DrawExplosion2},
        {"goal", DrawGoal},           {"title", DrawTitle},
        {"gameover", DrawGameOver},   {"congratulations", DrawCongratulations},
        {"end", DrawTheEnd},          {"back1", DrawStarfield},
        {"back3", DrawCrypt},         {"back4", DrawSeigaiha},
        {"back5", DrawLavaField},     {"board", DrawBoard},
        {"uzu", DrawSwirl},           {"entry", DrawSunburst},
        {"rank", DrawRosette}};
    for (const auto& [name, draw] : pictures) {
        const RgbImage image = draw();
        const fs::path base = folder / "graphics" / name;
        WriteBenchFile(fs::path(base).replace_extension(".bmp"), Bmp24(image));
        WriteBenchFile(fs::path(base).replace_extension(".tga"), Tga32(image));
        WriteBenchFile(fs::path(base).replace_extension(".dds"), Dds32(image));
    }
    for (const SoundEffect& effect : SoundEffects()) {
        if (!WriteWav((folder / "sound" / effect.file).string(), effect.synthesise(),
                      kSampleRate)) {
            std::abort();
        }
    }
    std::set<fs::path> fonts;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator("/usr/share/fonts", error)) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".ttf" || extension == ".otf"))
            fonts.insert(fs::canonical(entry.path()));
    }
    for (const fs::path& font : fonts) fs::copy_file(font, folder / "fonts" / font.filename());
}

int AddLoadedObject(dl_phdr_info* info, size_t, void* paths) {
    if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/')
        static_cast<std::vector<fs::path>*>(paths)->push_back(info->dlpi_name);
    return 0;
}

// This executable, the pack command and the shared libraries loaded, up to 64 MB.
void WritePrograms(const fs::path& folder) {
    fs::create_directories(folder);
    std::vector<fs::path> paths = {fs::read_symlink("/proc/self/exe"), ORBEK_ARCHIVE_PACK};
    dl_iterate_phdr(AddLoadedObject, &paths);
    uint64_t bytes = 0;
    std::set<fs::path> copied;
    for (const fs::path& path : paths) {
        const fs::path real = fs::canonical(path);
        const uint64_t size = fs::file_size(real);
        if (bytes + size > (64u << 20) || !copied.insert(real).second) continue;
        fs::copy_file(real, folder / real.filename());
        bytes += size;
    }
}

// The data sets in a private folder under /tmp, written once, removed at the end.
class PackData {
public:
    PackData() {
        if (mkdtemp(place_) == nullptr) std::abort();
        const fs::path place = place_;
        std::mt19937 random(48);
        fs::create_directories(place / "random");
        std::string noise(10 << 20, '\0');
        for (char& b : noise) b = static_cast<char>(random());
        WriteBenchFile(place / "random" / "noise.bin", noise);
        for (int folder = 0; folder < kTreeFolders; folder++) {
            const fs::path directory = place / "tree" / ("stage" + std::to_string(folder));
            fs::create_directories(directory);
            for (int file = 0; file < kTreeFilesPerFolder; file++) {
                WriteBenchFile(directory / ("script" + std::to_string(file) + ".txt"),
                               TextLike(random, 300 + random() % 1400));
            }
        }
        WriteAssets(place / "assets");
        WritePrograms(place / "programs");
    }
    ~PackData() { fs::remove_all(place_); }
    PackData(const PackData&) = delete;
    PackData& operator=(const PackData&) = delete;

    fs::path Place() const { return place_; }

private:
    char place_[32] = "/tmp/orbek_pack_XXXXXX";
};

uint64_t FolderBytes(const fs::path& folder) {
    uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) bytes += entry.file_size();
    }
    return bytes;
}

// Runs the program with its output to /dev/null from the data's folder; true when it ended
// with status 0.
bool RunQuietly(const fs::path& place, std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string previous = fs::current_path();
    fs::current_path(place);
    pid_t child = 0;
    int status = 0;
    const bool ran = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                     WEXITSTATUS(status) == 0;
    fs::current_path(previous);
    posix_spawn_file_actions_destroy(&actions);
    return ran;
}

// Packs the data set ("random", "tree", "assets" or "programs") with the command or zip, removing
// the output before each run; reports the output's size beside the input's.
void PackDataSet(benchmark::State& state, const std::string& set, bool zip) {
    static PackData data;
    const fs::path output = data.Place() / (set + (zip ? ".zip" : ".oba"));
    const std::vector<std::string> arguments =
        zip ? std::vector<std::string>{"zip", "-q", "-r", output.string(), set}
            : std::vector<std::string>{ORBEK_ARCHIVE_PACK, "--compress", set, output.string()};
    if (zip && !RunQuietly(data.Place(), {"zip", "-v"})) {
        state.SkipWithError("zip is not installed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(output);
        state.ResumeTiming();
        if (!RunQuietly(data.Place(), arguments)) {
            state.SkipWithError("the pack failed");
            return;
        }
    }
    state.counters["input_bytes"] = static_cast<double>(FolderBytes(data.Place() / set));
    state.counters["output_bytes"] = static_cast<double>(fs::file_size(output));
}

void BM_ArchivePackCompress(benchmark::State& state, const char* set) {
    PackDataSet(state, set, false);
}

void BM_ZipPeer(benchmark::State& state, const char* set) {
    PackDataSet(state, set, true);
}

// Each pack is a whole run of a command: a few, timed by the clock on the wall.
void PackTimings(benchmark::internal::Benchmark* b) {
    b->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_CAPTURE(BM_ArchivePackCompress, random, "random")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ZipPeer, random, "random")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ArchivePackCompress, tree, "tree")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ZipPeer, tree, "tree")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ArchivePackCompress, assets, "assets")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ZipPeer, assets, "assets")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ArchivePackCompress, programs, "programs")->Apply(PackTimings);
BENCHMARK_CAPTURE(BM_ZipPeer, programs, "programs")->Apply(PackTimings);

}  // namespace
