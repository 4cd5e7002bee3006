// Fuzz target: the file calls over an archive written to disk, and over the same bytes as a
// plain file and as a memory stream: seeks and reads with extreme offsets, element sizes and
// counts. A seek lands within the stream, a read claims no more than it was asked for and
// writes only its buffer, and a read whose byte total overflows reads nothing.
// Input: one byte (bits 0-3 the number of operations, bit 4 asynchronous reads), three bytes
// per operation, then the archive.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>

#include "core/file_access.h"
#include "core/streams.h"

namespace {

constexpr size_t kBufferBytes = 4096;
constexpr int kMaxDepth = 8;
// Files opened per input, so that a tree of many entries stays quick.
constexpr int kFileBudget = 24;
// Larger entries are left alone: a compressed one is expanded whole at its open, and damaged
// tables may claim any size.
constexpr uint32_t kMaxEntryBytes = 1u << 20;

// clang-format off
constexpr int64_t kOffsets[] = {
    0, 1, -1, 7, -7, 600, -600, 4096, INT32_MAX, INT32_MIN, UINT32_MAX, -int64_t{UINT32_MAX},
    INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1, INT64_C(1) << 62, -(INT64_C(1) << 62)};
// clang-format on
constexpr size_t kElementSizes[] = {1, 2, 3, 4, 16, 255, 4096, SIZE_MAX / 2, SIZE_MAX};
constexpr size_t kCounts[] = {
    0, 1, 2, 3, 16, 255, 4096, SIZE_MAX / 16 + 2, SIZE_MAX / 2 + 1, SIZE_MAX - 1, SIZE_MAX};

struct Script {
    const uint8_t* operations;
    size_t count;
    int32_t async;
};

// Runs the script on one stream of the given size (the end a seek clamps to, or for a plain
// file the most that Tell may report).
void Run(const Script& script, const StreamFunctions& f, StreamValue value, int64_t size,
         bool clamps) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kBufferBytes]);
    for (size_t i = 0; i < script.count; i++) {
        const uint8_t* op = script.operations + 3 * i;
        if (op[0] % 2 == 0) {
            const int32_t origin = op[1] % 4;
            const int result = f.seek(value, kOffsets[op[2] % std::size(kOffsets)], origin);
            if ((origin == 3 && result != -1) || (clamps && origin < 3 && result != 0)) {
                __builtin_trap();
            }
        } else {
            const size_t elementSize = kElementSizes[op[1] % std::size(kElementSizes)];
            const size_t count = kCounts[op[2] % std::size(kCounts)];
            const bool overflows = elementSize != 0 && count > SIZE_MAX / elementSize;
            // A fitting read larger than the buffer would be the caller's overrun.
            if (!overflows && elementSize * count > kBufferBytes) continue;
            const size_t got = f.read(buffer.get(), elementSize, count, value);
            if (got > count || (overflows && got != 0)) __builtin_trap();
            while (f.isIdle(value) == 0) usleep(100);
        }
        const int64_t position = f.tell(value);
        if (position < 0 || position > size) __builtin_trap();
    }
}

void RunOnFiles(const Script& script, const std::string& directory, int depth, int* budget) {
    if (depth > kMaxDepth) return;
    const FileAccessFunctions* functions = GetFileAccessFunctions();
    FileFindData found;
    FindValue find = functions->findFirst((directory + "*").c_str(), &found);
    if (find == -1) return;
    do {
        const std::string name = found.name;
        if (name == "." || name == ".." || found.sizeLow > kMaxEntryBytes || --*budget < 0) {
            continue;
        }
        if (found.isDirectory) {
            RunOnFiles(script, directory + name + "\\", depth + 1, budget);
            continue;
        }
        StreamValue file = OpenDataFile((directory + name).c_str(), 0, 1, script.async);
        if (file == 0) continue;
        Run(script, *GetFileStreamFunctions(), file, found.sizeLow, true);
        CloseDataFile(file);
    } while (*budget >= 0 && functions->findNext(find, &found) == 0);
    functions->findClose(find);
}

bool WriteWhole(const char* path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// The target's own directory, which holds the archive fz.oba and the plain file raw.bin.
char gDirectory[] = "/tmp/orbek_fuzz_stream_XXXXXX";

std::string InDirectory(const char* name) {
    return std::string(gDirectory) + "/" + name;
}

void RemoveDirectory() {
    std::remove(InDirectory("fz.oba").c_str());
    std::remove(InDirectory("raw.bin").c_str());
    rmdir(gDirectory);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (mkdtemp(gDirectory) == nullptr) std::abort();
    std::atexit(RemoveDirectory);
    SetupArchiveCache();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > UINT32_MAX) return 0;
    Script script{data + 1, static_cast<size_t>(data[0] & 15), (data[0] >> 4) & 1};
    if (size < 1 + 3 * script.count) return 0;
    const uint8_t* image = script.operations + 3 * script.count;
    const size_t imageSize = size - 1 - 3 * script.count;

    // The archive of this input only: the one of the last input is closed and forgotten.
    ReleaseUnusedArchives();
    if (!WriteWhole(InDirectory("fz.oba").c_str(), image, imageSize) ||
        !WriteWhole(InDirectory("raw.bin").c_str(), image, imageSize)) {
        return 0;
    }
    int budget = kFileBudget;
    RunOnFiles(script, InDirectory("fz\\"), 0, &budget);

    StreamValue raw = OpenDataFile(InDirectory("raw.bin").c_str(), 0, 1, script.async);
    if (raw != 0) {
        Run(script, *GetFileStreamFunctions(), raw, INT32_MAX, false);
        CloseDataFile(raw);
    }
    MemoryStream* memory = OpenMemoryStream(image, static_cast<uint32_t>(imageSize));
    if (memory != nullptr) {
        Run(script, *GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(memory),
            static_cast<int64_t>(imageSize), true);
        CloseMemoryStream(memory);
    }
    return 0;
}
