// orbek_archive_pack --compress of 10 MB of random bytes (as already compressed pictures and
// sounds are) and of a tree of 20,000 small text-like files, beside `zip -r` of the same data in
// the same run. The archive of random bytes should take their own size and the table, the tree's
// less than its files; each pack at most three times zip's time. zip missing skips its half.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

// The two data sets in a private folder under /tmp, written once, removed at the end.
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

// Packs the data set ("random" or "tree") with the command or zip, removing the output before
// each run; reports the output's size beside the input's.
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

}  // namespace
