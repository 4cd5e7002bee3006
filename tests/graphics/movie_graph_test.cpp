// Graphs that show a movie: a Theora file loaded as a graph takes the movie's size, and each
// refresh copies the frame shown into the graph, on the device and in software mode. On the
// device, 4:2:0 frames go through the player's YUV surface in whichever video format the
// device offers first, and that surface goes and comes back with the device.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "graph_fixture.h"
#include "graphics/blend_states.h"
#include "graphics/graphics_system.h"
#include "movie/movies.h"
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
        if (!IsDirect3DMode()) {
            EXPECT_EQ(GetTheoraYUVSurface(GetMovieRecord(movieHandle)->theora), nullptr);
        }
        // The graph owns its movie: deleting the graph deletes it.
        EXPECT_EQ(DisposeGraph(graph), 0);
        EXPECT_EQ(GetMovieRecord(movieHandle), nullptr);
    }
};

// The device offers the video formats from `first` on in the player's order (none for
// D3DFMT_UNKNOWN), so the player takes `first`.
void OfferVideoFormatsFrom(D3DFORMAT first) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    for (D3DFORMAT format : {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}) {
        if (format == first) break;
        profile.refusedFormats.push_back({format, 0});
    }
    TestD3d9SetProfile(profile);
}

class MovieSurfaceTest : public MovieGraphTest {
protected:
    // A 4:2:0 movie whose picture lies at (2, 2) of its coded frame, loaded as a graph and
    // playing.
    void Open() {
        TheoraMovieSettings settings;
        settings.width = 62;
        settings.height = 46;
        settings.frames = 40;
        Bytes movie = WriteTheoraMovie(settings);
        std::ofstream(directory_ + "/movie.ogv", std::ios::binary)
            .write(reinterpret_cast<const char*>(movie.data()), movie.size());
        graph_ = LoadImageFileAsGraph("movie.ogv", 0);
        ASSERT_NE(graph_, -1) << ReadLog();
        movieHandle_ = GetGraphRecord(graph_, 0)->movie;
        movie_ = GetMovieRecord(movieHandle_);
        ASSERT_NE(movie_, nullptr);
        player_ = movie_->theora;
        ASSERT_EQ(PlayMovieHandle(movieHandle_, -1, 0), 0);
    }

    // The next frames: each shown, then checked against the player's own image of it.
    void ShowFrames(int count, bool throughSurface) {
        for (int i = 0; i < count; ++i) {
            TestAdvanceClockMicroseconds(200'000);
            ASSERT_EQ(RefreshMovieFrame(movieHandle_, 0), 0);
            // The surface path leaves the player's image unconverted.
            EXPECT_EQ(player_->imageConverted.load(), throughSurface ? 0 : 1) << i;
            EXPECT_LE(DifferenceFromImage(), 1) << i;
        }
    }

    // The largest channel difference between the graph and the player's image of its frame.
    int DifferenceFromImage() {
        GraphPixels pixels = ReadGraph(graph_);
        const GraphImage* image = GetMovieFrameImage(movie_);
        EXPECT_EQ(image->width, pixels.width);
        int worst = 0;
        for (int y = 0; y < pixels.height; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(
                static_cast<const uint8_t*>(image->pixels) + y * image->pitch);
            for (int x = 0; x < pixels.width; ++x) {
                int r = 0, g = 0, b = 0;
                UnpackColorForFormat(&pixels.format, pixels.raw[y * pixels.width + x], &r, &g, &b,
                                     nullptr);
                uint32_t e = row[x];
                worst = std::max({worst, std::abs(r - int(e >> 16 & 0xFF)),
                                  std::abs(g - int(e >> 8 & 0xFF)), std::abs(b - int(e & 0xFF))});
            }
        }
        return worst;
    }

    Handle graph_ = -1;
    Handle movieHandle_ = -1;
    MovieRecord* movie_ = nullptr;
    TheoraPlayer* player_ = nullptr;
};

class MovieSurfaceFormatTest : public MovieSurfaceTest,
                               public ::testing::WithParamInterface<D3DFORMAT> {};

TEST_P(MovieSurfaceFormatTest, FramesThroughTheVideoFormatEqualTheImagePath) {
    D3DFORMAT format = GetParam();
    OfferVideoFormatsFrom(format);
    StartDevice(32);
    Open();
    EXPECT_EQ(player_->surfaceFormat, format);
    EXPECT_EQ(GetTheoraYUVSurface(player_) != nullptr, format != D3DFMT_UNKNOWN);
    ShowFrames(3, format != D3DFMT_UNKNOWN);
}

// D3DFMT_UNKNOWN: no video format offered, every frame through the image.
INSTANTIATE_TEST_SUITE_P(EachFormat, MovieSurfaceFormatTest,
                         ::testing::Values(D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY, D3DFMT_UNKNOWN));

TEST_F(MovieSurfaceTest, TheSurfaceGoesWithTheDeviceAndComesBackDuringPlayback) {
    StartDevice(32);
    // The start-up re-sends the stage set of the last draw of an earlier start in this process,
    // which may make the white texture; the device made again makes it only for a draw.
    ReleaseBlendStateTextures();
    Open();
    ShowFrames(2, true);
    int live = TestD3d9LiveObjects();

    TestD3d9LoseDevices();
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    // Released with the device's other default-pool objects, to be made again.
    EXPECT_EQ(GetTheoraYUVSurface(player_), nullptr);
    EXPECT_EQ(player_->surfaceLost, 1);
    // The first frame after the loss makes the surface again and shows through the image;
    // the frames after it through the new surface.
    ShowFrames(1, false);
    ASSERT_NE(GetTheoraYUVSurface(player_), nullptr);
    ShowFrames(2, true);
    // Nothing of the old device outlives it.
    EXPECT_EQ(TestD3d9LiveObjects(), live);
}

TEST_F(MovieGraphTest, AMovieGraphOnTheDeviceShowsTheFramePlayed) {
    StartDevice(32);
    PlayIntoGraph();
}

TEST_F(MovieGraphTest, AMovieGraphInSoftwareModeShowsTheFramePlayed) {
    StartSoftware(32);
    PlayIntoGraph();
}

}  // namespace
