// The seed corpus of the Theora fuzz target: small movies made by the encoders, written when
// ORBEK_FUZZ_SEED_DIR names the fuzz/corpus directory; every committed seed must open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/log.h"
#include "movie/theora_player.h"
#include "movies/memory_file.h"
#include "movies/movie_writers.h"

namespace {

std::filesystem::path CorpusDirectory() {
    std::filesystem::path source = __FILE__;
    return source.parent_path().parent_path().parent_path() / "fuzz" / "corpus" / "theora_movie";
}

TEST(TheoraFuzzSeeds, WrittenWhenAskedAndEveryOneOpens) {
    gLog.logOff = 1;
    BuildYUVToRGBTables();
    if (const char* directory = std::getenv("ORBEK_FUZZ_SEED_DIR")) {
        TheoraMovieSettings plain, withSound, everyFrameKey;
        plain.width = 32, plain.height = 32, plain.frames = 8;
        withSound.width = 48, withSound.height = 32, withSound.frames = 12;
        withSound.withSound = true, withSound.soundSeconds = 0.3;
        everyFrameKey.width = 32, everyFrameKey.height = 16, everyFrameKey.frames = 6;
        everyFrameKey.fpsNumerator = 25, everyFrameKey.fpsDenominator = 2;
        everyFrameKey.keyInterval = 1;
        const std::pair<const char*, TheoraMovieSettings> seeds[] = {
            {"plain.ogv", plain}, {"with_sound.ogv", withSound}, {"key_frames.ogv", everyFrameKey}};
        for (const auto& [name, settings] : seeds) {
            Bytes movie = WriteTheoraMovie(settings);
            std::ofstream file(std::filesystem::path(directory) / "theora_movie" / name,
                               std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(movie.data()),
                       static_cast<std::streamsize>(movie.size()));
        }
    }
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDirectory())) {
        std::ifstream file(entry.path(), std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        TheoraPlayer* player =
            OpenTheoraPlayer(MemoryFileFunctions(bytes.data(), bytes.size()), 1, 4, 0);
        EXPECT_NE(player, nullptr) << entry.path();
        if (player != nullptr) CloseTheoraPlayer(player);
        ++seeds;
    }
    EXPECT_GE(seeds, 3);
    gLog.logOff = 0;
}

}  // namespace
