// Fuzz target: the Theora player's Ogg parsing, header reading, page index and decode thread
// over an arbitrary file image; whatever opens is played through, wrapped and sought into.
#include <cstddef>
#include <cstdint>

#include "../tests/movies/memory_file.h"
#include "core/log.h"
#include "movie/theora_player.h"

namespace {

constexpr size_t kLargestInput = 1 << 18;
// Keeps each run short: a movie's picture is converted whole for every frame shown.
constexpr uint32_t kLargestImageBytes = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        gLog.logOff = 1;
        BuildYUVToRGBTables();
        SetGraphImageByteLimit(kLargestImageBytes);
        return true;
    }();
    if (size > kLargestInput || !ready) return 0;
    TheoraPlayer* player = OpenTheoraPlayer(MemoryFileFunctions(data, size), 1, 4, 0);
    if (player == nullptr) return 0;
    TheoraMovieInfo info;
    GetTheoraMovieInfo(player, &info);
    int32_t steps = static_cast<int32_t>(info.frameCount < 12 ? info.frameCount + 2 : 12);
    for (int32_t i = 0; i < steps; ++i) {
        AdvanceTheoraFrames(player, 1 + i % 3);
        ConvertTheoraFrame(player, 1, 0, 0);
    }
    SeekTheoraFrame(player, static_cast<int32_t>(info.frameCount / 2));
    ConvertTheoraFrame(player, 1, 0, 0);
    CloseTheoraPlayer(player);
    return 0;
}
