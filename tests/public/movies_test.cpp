// Movies through the public header: Ogg Theora files made by ffmpeg, one silent and one with a
// Vorbis track, loaded as graphs, played and drawn every frame side by side, on the device and
// on the software renderer. Their pictures are red in the first second, green in the second
// and blue in the third; the track is a sine of 300, 600 and 900 Hz in the same seconds
// (files/README).

#include <algorithm>
#include <utility>

#include "public_fixture.h"

namespace {

class MoviesTest : public RendererFixture {
protected:
    // One frame of a program at the present time: the graphs drawn, the picture shown (the
    // flip's wait for the vertical blank moves the clock on), the pump run; what each movie
    // shows then, in the order loaded: R, G or B for red, green or blue, ? for another colour.
    void Frame() {
        EraseDrawScreen(nullptr);
        for (int i = 0; i < static_cast<int>(graphs_.size()); ++i)
            PutGraph(64 * i, 0, graphs_[i], 0);
        FlipScreen();
        PumpMessages();
        int width = 0, height = 0;
        const std::vector<uint32_t> picture = ReadShownPicture(&width, &height);
        colours_.clear();
        for (size_t i = 0; i < graphs_.size(); ++i) {
            const uint32_t pixel = picture.at(8 * 640 + 64 * i + 16);
            const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
            colours_ += r > 200 && g < 60 && b < 60   ? 'R'
                        : g > 200 && r < 60 && b < 60 ? 'G'
                        : b > 200 && r < 60 && g < 60 ? 'B'
                                                      : '?';
        }
    }
    // Frames every 100 ms of the clock for `milliseconds`, or at the flip's pace while the
    // movie plays, for that long at most; the time then.
    uint32_t Run(uint32_t milliseconds, Handle whilePlaying = -1) {
        const uint32_t end = GetMillisecondCount() + milliseconds,
                       step = whilePlaying == -1 ? 100 : 1;
        while (GetMillisecondCount() < end &&
               (whilePlaying == -1 || IsMovieHandlePlaying(whilePlaying) == 1)) {
            TestAdvanceClockMicroseconds(std::min(step, end - GetMillisecondCount()) * 1000ull);
            Frame();
        }
        return GetMillisecondCount();
    }
    // The pitches of the first and the last 100 ms of the left channel heard since the last
    // call, by their rising zero crossings; 0 for silence (samples of 0).
    struct Heard {
        double first, last;
    };
    Heard Listen() const {
        const std::vector<int16_t> stereo = TestHostTakeAudio();
        const size_t count = static_cast<size_t>(audioRate_ / 10) * 2;
        auto pitch = [&](size_t begin) {
            int crossings = 0;
            for (size_t i = begin + 2; i < begin + count; i += 2) {
                crossings += stereo[i - 2] < 0 && stereo[i] >= 0;
            }
            return crossings * 10.0;
        };
        if (stereo.size() < count) return {-1, -1};
        return {pitch(0), pitch(stereo.size() - count)};
    }

    std::vector<Handle> graphs_;
    std::string colours_;
    double audioRate_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Renderers, MoviesTest, ::testing::Bool(), RendererName);

// A program draws both movies every frame: each picture follows the clock and the sound is
// heard; a pause holds the frame shown and silences the sound, and the next play goes on from
// there with both; played once, a movie stops on its last frame within a few frames of its
// length, and played once more the silent one stops again at once; looped, picture and sound start
// over; DisposeGraph deletes the movie.
TEST_P(MoviesTest, MoviesDrawnEveryFrameFollowTheClockPauseResumeEndAndLoop) {
    // No stream thread: the pump refills the sound, so that what is heard follows the clock.
    TestSetProcessorCount(1);
    StartFramework();
    TestSetClockStepPerRead(0);
    TestHostCaptureAudio(true);
    const uint64_t before = TestHostAudioFrames();
    AdvanceClock(100);
    audioRate_ = static_cast<double>(TestHostAudioFrames() - before) * 10;
    for (const std::string name : {"movie_silent.ogv", "movie_sound.ogv"}) {
        const std::string path = ORBEK_PUBLIC_TEST_FILES "/" + name;
        graphs_.push_back(LoadImageFileAsGraph(path.c_str(), 0));
    }
    const Handle silent = GetGraphMovie(graphs_[0]), sound = GetGraphMovie(graphs_[1]);
    ASSERT_TRUE(silent != -1 && sound != -1) << ReadLog();
    EXPECT_EQ(IsMovieHandlePlaying(silent), 0);
    ASSERT_EQ(PlayMovieHandle(silent, kPlayBackground), 0);
    ASSERT_EQ(PlayMovieHandle(sound, 0), 0);
    EXPECT_EQ(IsMovieHandlePlaying(sound), 1);
    const uint32_t start = GetMillisecondCount();
    Run(500);
    EXPECT_EQ(colours_, "RR");
    EXPECT_NEAR(Listen().last, 300, 20);

    // The pause holds the frame it showed, the track stopped with it.
    ASSERT_EQ(PauseMovieHandle(sound), 0);
    const uint32_t played = GetMillisecondCount() - start;
    EXPECT_EQ(IsMovieHandlePlaying(sound), 0);
    Run(1000);
    EXPECT_EQ(colours_, "GR");
    EXPECT_EQ(Listen().first, 0);

    // On from 0.5 s: 0.8 s later picture and sound have moved from the first second into the
    // second.
    ASSERT_EQ(PlayMovieHandle(sound, -1), 0);
    const uint32_t resumed = GetMillisecondCount();
    Run(800);
    EXPECT_EQ(colours_, "BG");
    const Heard heard = Listen();
    EXPECT_NEAR(heard.first, 300, 20);
    EXPECT_NEAR(heard.last, 600, 20);

    // Each stops on its last frame within a few frames of its length.
    EXPECT_NEAR(Run(1000, silent) - start, 3030, 30);
    EXPECT_EQ(colours_[0], 'B');
    Run(400);
    EXPECT_EQ(colours_, "BB");
    EXPECT_NEAR(Listen().last, 900, 20);
    EXPECT_NEAR(played + Run(1000, sound) - resumed, 3050, 50);
    EXPECT_EQ(colours_, "BB");
    // Played once more, the silent one stays at its end: it stops as its graph is next drawn.
    ASSERT_EQ(PlayMovieHandle(silent, kPlayBackground), 0);
    EXPECT_EQ(IsMovieHandlePlaying(silent), 1);
    Frame();
    EXPECT_EQ(IsMovieHandlePlaying(silent), 0);
    EXPECT_EQ(colours_[0], 'B');

    // Looped after their ends: the movie with sound starts over, the silent one goes on from
    // its last frame into its first.
    ASSERT_EQ(PlayMovieHandle(silent, kPlayLoop), 0);
    ASSERT_EQ(PlayMovieHandle(sound, kPlayLoop), 0);
    Listen();
    Run(2500);
    EXPECT_EQ(colours_, "BB");
    EXPECT_NEAR(Listen().last, 900, 20);
    Run(1000);
    EXPECT_EQ(colours_, "RR");
    EXPECT_NEAR(Listen().last, 300, 20);
    EXPECT_EQ(IsMovieHandlePlaying(sound), 1);
    EXPECT_EQ(IsMovieHandlePlaying(silent), 1);

    EXPECT_EQ(IsMovieHandlePlaying(graphs_[0]), -1);
    EXPECT_EQ(GetGraphMovie(silent), -1);
    for (Handle graph : std::exchange(graphs_, {})) ASSERT_EQ(DisposeGraph(graph), 0);
    EXPECT_EQ(IsMovieHandlePlaying(silent), -1);
    EXPECT_EQ(PlayMovieHandle(sound, kPlayBackground), -1);
    EXPECT_EQ(PauseMovieHandle(sound), -1);
    Listen();
    Run(200);
    EXPECT_EQ(Listen().first, 0);
}

}  // namespace
