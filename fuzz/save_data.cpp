// Fuzz target: the save-file reader over arbitrary bytes; whatever it takes must be in range
// and every name terminated within its record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input_sampling.h"
#include "ranking.h"
#include "save_file.h"

namespace {

constexpr size_t kLargestInput = 1 << 16;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > kLargestInput) return 0;
    gGameInput = GameInput{};
    for (RankingRecord& record : RankingTable) record = RankingRecord{};
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (file == nullptr) return 0;
    ReadSaveData(file);
    std::fclose(file);
    for (int32_t button : gGameInput.PadButtonConfig)
        Check(button >= 0 && button < kPadButtonFlags);
    for (const RankingRecord& record : RankingTable) {
        Check(record.score >= 0 && record.stage >= 0 && record.stage <= kAllStagesCleared);
        Check(std::memchr(record.name, '\0', sizeof record.name) != nullptr);
    }
    return 0;
}
