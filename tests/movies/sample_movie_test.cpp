// Full-screen movies with sound for watching through tools/movie_sample: 640x480 Theora with a
// Vorbis track, written when ORBEK_SAMPLE_MOVIE names the file to write, and checked to open;
// 640x480 H.264 with an AAC tone in MP4 for the graph, when ORBEK_SAMPLE_GRAPH_MOVIE names it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "core/log.h"
#include "movie/theora_player.h"
#include "movies/memory_file.h"
#include "movies/movie_writers.h"

namespace {

TEST(SampleMovie, WrittenWhenAsked) {
    const char* path = std::getenv("ORBEK_SAMPLE_MOVIE");
    if (path == nullptr) GTEST_SKIP() << "ORBEK_SAMPLE_MOVIE names no file to write";
    TheoraMovieSettings settings;
    settings.width = 640, settings.height = 480, settings.frames = 300;
    settings.withSound = true, settings.soundSeconds = 10.0;
    Bytes movie = WriteTheoraMovie(settings);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(movie.data()),
               static_cast<std::streamsize>(movie.size()));

    gLog.logOff = 1;
    BuildYUVToRGBTables();
    TheoraPlayer* player =
        OpenTheoraPlayer(MemoryFileFunctions(movie.data(), movie.size()), 1, 4, 0);
    ASSERT_NE(player, nullptr);
    TheoraMovieInfo info;
    GetTheoraMovieInfo(player, &info);
    CloseTheoraPlayer(player);
    gLog.logOff = 0;
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.frameCount, 300);
}

// Three seconds of pictures over three and a half of sound: the movie ends with its sound.
TEST(SampleMovie, GraphMovieWrittenWhenAsked) {
    const char* path = std::getenv("ORBEK_SAMPLE_GRAPH_MOVIE");
    if (path == nullptr) GTEST_SKIP() << "ORBEK_SAMPLE_GRAPH_MOVIE names no file to write";
    EXPECT_TRUE(WriteGraphMovie(path, {GraphMovieKind::H264Mp4, 640, 480, 75, 25, 3.5}));
}

}  // namespace
