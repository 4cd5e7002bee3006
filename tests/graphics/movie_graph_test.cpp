// Graphs that show a movie: a Theora file loaded as a graph takes the movie's size, and each
// refresh copies the frame shown into the graph, on the device and in software mode.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "graph_fixture.h"
#include "media/movies.h"
#include "movies/movie_writers.h"

namespace {

class MovieGraphTest : public GraphFixture {
protected:
    void TearDown() override {
        std::remove((directory_ + "/movie.ogv").c_str());
        GraphFixture::TearDown();
    }

    // Loads a 30-frame movie as a graph, plays it one second on and checks that the graph
    // holds frame 30 within the conversion's rounding.
    void PlayIntoGraph() {
        TheoraMovieSettings settings;
        settings.frames = 40;
        Bytes movie = WriteTheoraMovie(settings);
        std::ofstream(directory_ + "/movie.ogv", std::ios::binary)
            .write(reinterpret_cast<const char*>(movie.data()), movie.size());
        int width, height;
        auto reference = DecodeTheoraReference(movie, &width, &height);

        Handle graph = LoadImageFileAsGraph("movie.ogv", 0);
        ASSERT_NE(graph, -1) << ReadLog();
        const GraphRecord* record = GetGraphRecord(graph, 0);
        EXPECT_EQ(record->width, 64);
        EXPECT_EQ(record->height, 48);
        Handle movieHandle = record->movie;
        ASSERT_NE(GetMovieRecord(movieHandle), nullptr);
        ASSERT_EQ(PlayMovieHandle(movieHandle, -1, 0), 0);
        TestAdvanceClockMicroseconds(1'000'000);
        ASSERT_EQ(RefreshMovieFrame(movieHandle, 0), 0);
        GraphPixels pixels = ReadGraph(graph);
        int worst = 0;
        for (size_t i = 0; i < pixels.raw.size(); ++i) {
            int r = 0, g = 0, b = 0;
            UnpackColorForFormat(&pixels.format, pixels.raw[i], &r, &g, &b, nullptr);
            uint32_t expected = reference[30][i];
            worst = std::max({worst, std::abs(r - int(expected >> 16 & 0xFF)),
                              std::abs(g - int(expected >> 8 & 0xFF)),
                              std::abs(b - int(expected & 0xFF))});
        }
        EXPECT_LE(worst, 2);
        // The graph owns its movie: deleting the graph deletes it.
        EXPECT_EQ(DisposeGraph(graph), 0);
        EXPECT_EQ(GetMovieRecord(movieHandle), nullptr);
    }
};

TEST_F(MovieGraphTest, AMovieGraphOnTheDeviceShowsTheFramePlayed) {
    StartDevice(32);
    PlayIntoGraph();
}

TEST_F(MovieGraphTest, AMovieGraphInSoftwareModeShowsTheFramePlayed) {
    StartSoftware(32);
    PlayIntoGraph();
}

}  // namespace
