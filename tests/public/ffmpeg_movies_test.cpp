// Movies that the Theora player does not take, read through FFmpeg (files/README): a picture
// of four 16x16 blocks, black, white, red and dark grey, as H.264 and VP8 of video range and as
// VP9 of full range. Each block's centre is compared with FFmpeg's own conversion of the same
// frame to RGB.

#include <time.h>
#include <unistd.h>

#include <array>
#include <functional>

#include "public_fixture.h"

namespace {

class FfmpegMoviesTest : public RendererFixture {
protected:
    // The centres of the four blocks of the graph drawn at the origin.
    std::array<uint32_t, 4> ShownBlocks(Handle graph) {
        const std::vector<uint32_t> picture = Show([&] { PutGraph(0, 0, graph, 0); });
        return {picture[8 * 640 + 8], picture[8 * 640 + 24], picture[8 * 640 + 40],
                picture[8 * 640 + 56]};
    }
    // Calls frame until it gives true, for 10 s of real time at most: the source's thread
    // decodes in real time, which a busy machine may hold up.
    static void FramesUntil(const std::function<bool()>& frame) {
        timespec start{}, now{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        do {
            if (frame()) return;
            usleep(1000);
            clock_gettime(CLOCK_MONOTONIC, &now);
        } while (now.tv_sec - start.tv_sec < 10);
    }
    // Frames until the white block shows.
    std::array<uint32_t, 4> FirstPicture(Handle graph) {
        std::array<uint32_t, 4> blocks{};
        FramesUntil([&] {
            blocks = ShownBlocks(graph);
            PumpMessages();
            return blocks[1] != 0;
        });
        return blocks;
    }
};

INSTANTIATE_TEST_SUITE_P(Renderers, FfmpegMoviesTest, ::testing::Bool(), RendererName);

bool WithinThree(uint32_t shown, uint32_t expected) {
    for (int shift : {0, 8, 16}) {
        const int a = shown >> shift & 0xFF, b = expected >> shift & 0xFF;
        if (a - b > 3 || b - a > 3) return false;
    }
    return true;
}

// Each stream's range is taken from FFmpeg: video-range samples are expanded to the full range
// that the framework's conversion takes, full-range ones kept. The graph is black until the
// movie first plays, and a movie played to its end stays at its end when played again.
TEST_P(FfmpegMoviesTest, ColoursMatchFfmpegsOwnConversionForEitherRange) {
    ASSERT_EQ(ChangeScreenMode(640, 480, 32, 0, 0), 0);
    StartFramework();
    TestSetClockStepPerRead(0);
    struct Case {
        const char* file;
        std::array<uint32_t, 4> expected;  // from ffmpeg -pix_fmt rgb24 (files/README)
    };
    const Case cases[] = {
        {"colours_h264.mp4", {0x000000, 0xFFFFFF, 0xFD0000, 0x2F2F2F}},
        {"colours_vp8.webm", {0x000000, 0xFFFFFF, 0xFD0000, 0x2F2F2F}},
        {"colours_vp9_full_range.webm", {0x000000, 0xFFFFFF, 0xFE0000, 0x303030}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = ORBEK_PUBLIC_TEST_FILES "/" + std::string(c.file);
        const Handle graph = LoadImageFileAsGraph(path.c_str(), 0);
        const Handle movie = GetGraphMovie(graph);
        ASSERT_NE(movie, -1) << ReadLog();
        EXPECT_EQ(ShownBlocks(graph)[1], 0x000000u);
        ASSERT_EQ(PlayMovieHandle(movie, kPlayBackground), 0);
        const std::array<uint32_t, 4> shown = FirstPicture(graph);
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_TRUE(WithinThree(shown[i], c.expected[i]))
                << "block " << i << ": " << std::hex << shown[i] << " for " << c.expected[i];
        }
        FramesUntil([&] {
            AdvanceClock(100);
            ShownBlocks(graph);
            return IsMovieHandlePlaying(movie) != 1;
        });
        EXPECT_EQ(IsMovieHandlePlaying(movie), 0);
        ASSERT_EQ(PlayMovieHandle(movie, kPlayBackground), 0);
        AdvanceClock(100);
        EXPECT_EQ(ShownBlocks(graph), shown);
        EXPECT_EQ(IsMovieHandlePlaying(movie), 0);
        ASSERT_EQ(DisposeGraph(graph), 0);
    }
}

}  // namespace
