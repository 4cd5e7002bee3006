// Opening, reading and closing every small file of one folder written just before, through
// OpenDataFile, naming folder and files in capitals while the disk has them in lower case (as a
// program written for a file system blind to case does), beside `cat` of the same files in the
// same run. Each repetition writes its folder afresh. Run it pinned and repeated:
// `taskset -c 0,1 orbek_bench --benchmark_filter=FreshFolder`; the opens should grow linearly
// with the count and stay within ten times cat's time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <orbek/orbek.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "headless_library.h"

namespace {

constexpr int kFileBytes = 200;

std::string FileName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%05d.txt", i);
    return name;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// A private directory under /tmp made current for the benchmark: the folder of files is its
// only entry, so that the lookups of the folder's own name meet no other traffic.
class BenchPlace {
public:
    BenchPlace() {
        if (getcwd(previous_, sizeof previous_) == nullptr || mkdtemp(place_) == nullptr ||
            chdir(place_) != 0) {
            std::abort();
        }
    }
    ~BenchPlace() {
        if (chdir(previous_) != 0) std::abort();
        rmdir(place_);
    }
    BenchPlace(const BenchPlace&) = delete;
    BenchPlace& operator=(const BenchPlace&) = delete;

private:
    char previous_[4096];
    char place_[32] = "/tmp/orbek_open_XXXXXX";
};

// The folder "files" with count files of kFileBytes, written when made, removed when dropped.
class FreshFolder {
public:
    explicit FreshFolder(int count) : count_(count) {
        if (mkdir("files", 0777) != 0) std::abort();
        std::string line(kFileBytes - 1, 'x');
        for (int i = 0; i < count; ++i) {
            FILE* file = std::fopen(("files/" + FileName(i)).c_str(), "wb");
            if (file == nullptr) std::abort();
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }
    ~FreshFolder() {
        for (int i = 0; i < count_; ++i) unlink(("files/" + FileName(i)).c_str());
        rmdir("files");
    }
    FreshFolder(const FreshFolder&) = delete;
    FreshFolder& operator=(const FreshFolder&) = delete;

private:
    int count_;
};

// Times `read` once per iteration over a folder of `count` files written just before, in the
// benchmark's own place; writing and removing the folder are not timed.
template <typename Read>
void TimeOverFreshFolders(benchmark::State& state, int count, const Read& read) {
    BenchPlace place;
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = std::make_unique<FreshFolder>(count);
        state.ResumeTiming();
        read();
        state.PauseTiming();
        folder.reset();
        state.ResumeTiming();
    }
}

// Argument: the number of files.
void BM_FreshFolderOpenedInOtherCase(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    // The framework as a program starts it; nothing to configure, nothing more to check.
    const auto configure = [] {};
    const auto started = [] { return true; };
    if (!StartHeadlessLibrary(state, configure, started)) return;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(Upper("files\\" + FileName(i)));
    std::vector<char> buffer(4096);
    int failures = 0;
    TimeOverFreshFolders(state, count, [&] {
        for (const std::string& name : names) {
            StreamValue file = OpenDataFile(name.c_str(), 0, 1, 0);
            if (file == 0) {
                failures++;
                continue;
            }
            while (ReadDataFile(buffer.data(), 1, buffer.size(), file) > 0) {
            }
            CloseDataFile(file);
        }
    });
    StopHeadlessLibrary();
    if (failures > 0) state.SkipWithError("a file did not open");
    state.SetItemsProcessed(state.iterations() * count);
}

// The same files read by one `cat` into /dev/null, named as the disk has them.
void BM_FreshFolderCat(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back("files/" + FileName(i));
    std::vector<char*> arguments{const_cast<char*>("cat")};
    for (std::string& name : names) arguments.push_back(name.data());
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    int failures = 0;
    TimeOverFreshFolders(state, count, [&] {
        pid_t child = 0;
        int status = 0;
        if (posix_spawnp(&child, "cat", &actions, nullptr, arguments.data(), environ) != 0 ||
            waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            failures++;
        }
    });
    posix_spawn_file_actions_destroy(&actions);
    if (failures > 0) state.SkipWithError("cat failed");
    state.SetItemsProcessed(state.iterations() * count);
}

// Both sides over the same folder sizes, each repetition on a fresh folder.
void FolderSizes(benchmark::internal::Benchmark* b) {
    b->ArgName("files")
        ->Arg(10000)
        ->Arg(20000)
        ->Iterations(1)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

BENCHMARK(BM_FreshFolderOpenedInOtherCase)->Apply(FolderSizes);
BENCHMARK(BM_FreshFolderCat)->Apply(FolderSizes);

}  // namespace
