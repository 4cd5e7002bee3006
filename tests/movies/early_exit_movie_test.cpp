// A program that calls exit without ShutdownLibrary while movies play, a Theora one and one
// through the FFmpeg-backed graph, each with threads of its own: the framework ends first, as
// ShutdownLibrary ends it, and the process with the program's status.
#include <gtest/gtest.h>

#include "app/early_exit_children.h"
#include "movie/movies.h"
#include "movies/movie_writers.h"
#include "sound/sound_test_support.h"

namespace {

class EarlyExitMovieTest : public SoundFixture {
protected:
    EarlyExitChildren children_;
};

TEST_F(EarlyExitMovieTest, MoviesThatPlayEndWithTheFramework) {
    StartSound(4);
    ASSERT_EQ(SetupMovieManager(), 0);
    TheoraMovieSettings theora;
    theora.frames = 60;
    theora.withSound = true;
    WriteFile(directory_ + "/theora.ogv", WriteTheoraMovie(theora));
    ASSERT_TRUE(WriteGraphMovie(directory_ + "/graph.avi",
                                {GraphMovieKind::Mpeg4Avi, 48, 32, 30, 10, 3.0}));
    for (const char* name : {"theora.ogv", "graph.avi"}) {
        int32_t setting = 0;
        Handle movie = LoadMovieHandle(&setting, name, nullptr, nullptr, 0, 0);
        ASSERT_NE(movie, -1) << name;
        ASSERT_EQ(PlayMovieHandle(movie, kMoviePlayLoop, 0), 0) << name;
    }
    EXPECT_EXIT(EarlyExitChildren::Exit(directory_, kShutdownLogEnd), ::testing::ExitedWithCode(3),
                "");
}

}  // namespace
