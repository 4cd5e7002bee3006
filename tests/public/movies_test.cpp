// Movies through the public header: Ogg Theora files made by ffmpeg, one silent and one with a
// Vorbis track, loaded as graphs, played and drawn every frame side by side, on the device and
// on the software renderer. Their pictures are red in the first second, green in the second
// and blue in the third; the track is a sine of 300, 600 and 900 Hz in the same seconds
// (files/README).

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "public_fixture.h"

namespace {

enum MovieColour { kMovieRed, kMovieGreen, kMovieBlue, kMovieOther };

struct ShownMovie {
    Handle graph;
    Handle movie;
    int x;  // where it is drawn
};

class MoviesTest : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PublicFixture::SetUp();
        // No stream thread: the pump refills the sound, so that what is heard follows the clock.
        TestSetProcessorCount(1);
    }
    void TearDown() override {
        PublicFixture::TearDown();
        SwitchHardwareRendering(1);
    }

    void Start() {
        ASSERT_EQ(SwitchHardwareRendering(GetParam() ? 1 : 0), 0);
        StartFramework();
        TestSetClockStepPerRead(0);
        TestHostCaptureAudio(true);
        uint64_t before = TestHostAudioFrames();
        AdvanceClock(100);
        audioRate_ = static_cast<double>(TestHostAudioFrames() - before) * 10;
    }

    ShownMovie Load(const char* name, int x) {
        std::string path = std::string(ORBEK_PUBLIC_TEST_FILES) + "/" + name;
        ShownMovie shown = {LoadImageFileAsGraph(path.c_str(), 0), -1, x};
        EXPECT_NE(shown.graph, -1) << ReadLog();
        shown.movie = GetGraphMovie(shown.graph);
        shown_.push_back(shown);
        return shown;
    }

    // One frame of a program at the present time: the graphs drawn, the picture shown (the
    // flip's wait for the vertical blank moves the clock on), the pump run.
    void Show() {
        EraseDrawScreen(nullptr);
        for (const ShownMovie& shown : shown_) PutGraph(shown.x, 0, shown.graph, 0);
        FlipScreen();
        PumpMessages();
        int height = 0;
        picture_ = ReadShownPicture(&width_, &height);
    }
    MovieColour ColourOf(const ShownMovie& shown) const {
        uint32_t pixel = picture_.at(8 * width_ + shown.x + 16);
        int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
        if (r > 200 && g < 60 && b < 60) return kMovieRed;
        if (g > 200 && r < 60 && b < 60) return kMovieGreen;
        if (b > 200 && r < 60 && g < 60) return kMovieBlue;
        return kMovieOther;
    }
    // Frames every 100 ms of the clock for `milliseconds`.
    void Run(uint32_t milliseconds) {
        uint32_t start = GetMillisecondCount();
        for (uint32_t at = 100; at < milliseconds + 100; at += 100) {
            uint32_t due = std::min(at, milliseconds), passed = GetMillisecondCount() - start;
            if (due > passed) TestAdvanceClockMicroseconds((due - passed) * 1000ull);
            Show();
        }
    }
    // Frames at the flip's pace while the movie plays, for a second at most; the time then.
    uint32_t RunUntilStopped(Handle movie) {
        uint32_t start = GetMillisecondCount();
        while (IsMovieHandlePlaying(movie) == 1 && GetMillisecondCount() - start < 1000) {
            TestAdvanceClockMicroseconds(1000);
            Show();
        }
        return GetMillisecondCount();
    }

    // The left channel heard since the last take.
    static std::vector<int16_t> Heard() {
        std::vector<int16_t> stereo = TestHostTakeAudio();
        std::vector<int16_t> left;
        for (size_t i = 0; i < stereo.size(); i += 2) left.push_back(stereo[i]);
        return left;
    }
    // The pitch of the first (or the last) 100 ms of `left`, by its rising zero crossings; 0
    // for silence.
    double Pitch(const std::vector<int16_t>& left, bool last = false) const {
        size_t count = static_cast<size_t>(audioRate_ / 10);
        if (left.size() < count) return -1;
        size_t begin = last ? left.size() - count : 0;
        int crossings = 0, loudest = 0;
        for (size_t i = begin + 1; i < begin + count; ++i) {
            crossings += left[i - 1] < 0 && left[i] >= 0;
            loudest = std::max(loudest, std::abs(int{left[i]}));
        }
        return loudest < 1000 ? 0 : crossings * 10.0;
    }

    std::vector<ShownMovie> shown_;
    std::vector<uint32_t> picture_;
    int width_ = 0;
    double audioRate_ = 0;
};

// A program draws both movies every frame: each picture follows the clock and the sound is
// heard; a pause holds the frame shown and silences the sound, and the next play goes on from
// there with both; played once, a movie stops on its last frame within a few frames of its
// length; looped, picture and sound start over; DisposeGraph deletes the movie.
TEST_P(MoviesTest, MoviesDrawnEveryFrameFollowTheClockPauseResumeEndAndLoop) {
    EXPECT_EQ(GetGraphMovie(0), -1);
    EXPECT_EQ(IsMovieHandlePlaying(0), -1);
    Start();
    ShownMovie silent = Load("movie_silent.ogv", 0), sound = Load("movie_sound.ogv", 64);
    ASSERT_NE(silent.movie, -1);
    ASSERT_NE(sound.movie, -1);
    EXPECT_EQ(IsMovieHandlePlaying(silent.movie), 0);
    Run(500);
    EXPECT_EQ(ColourOf(silent), kMovieRed);
    EXPECT_EQ(Pitch(Heard()), 0);

    ASSERT_EQ(PlayMovieHandle(silent.movie, kPlayBackground), 0);
    ASSERT_EQ(PlayMovieHandle(sound.movie, 0), 0);
    EXPECT_EQ(IsMovieHandlePlaying(sound.movie), 1);
    const uint32_t start = GetMillisecondCount();
    Run(500);
    EXPECT_EQ(ColourOf(silent), kMovieRed);
    EXPECT_EQ(ColourOf(sound), kMovieRed);
    EXPECT_NEAR(Pitch(Heard(), true), 300, 20);

    ASSERT_EQ(PauseMovieHandle(sound.movie), 0);
    uint32_t played = GetMillisecondCount() - start;
    EXPECT_EQ(IsMovieHandlePlaying(sound.movie), 0);
    Run(1000);
    EXPECT_EQ(ColourOf(sound), kMovieRed);
    EXPECT_EQ(ColourOf(silent), kMovieGreen);
    EXPECT_EQ(Pitch(Heard()), 0);

    // On from 0.5 s: 0.8 s later picture and sound have moved from the first second into the
    // second.
    ASSERT_EQ(PlayMovieHandle(sound.movie, -1), 0);
    const uint32_t resumed = GetMillisecondCount();
    Run(800);
    EXPECT_EQ(ColourOf(sound), kMovieGreen);
    std::vector<int16_t> heard = Heard();
    EXPECT_NEAR(Pitch(heard), 300, 20);
    EXPECT_NEAR(Pitch(heard, true), 600, 20);

    Run(600);
    EXPECT_EQ(ColourOf(silent), kMovieBlue);
    EXPECT_EQ(IsMovieHandlePlaying(silent.movie), 1);
    uint32_t end = RunUntilStopped(silent.movie) - start;
    EXPECT_GE(end, 3000u);
    EXPECT_LE(end, 3060u);
    EXPECT_EQ(ColourOf(silent), kMovieBlue);

    Run(400);
    EXPECT_EQ(ColourOf(sound), kMovieBlue);
    EXPECT_NEAR(Pitch(Heard(), true), 900, 20);
    EXPECT_EQ(IsMovieHandlePlaying(sound.movie), 1);
    end = played + RunUntilStopped(sound.movie) - resumed;
    EXPECT_GE(end, 3000u);
    EXPECT_LE(end, 3100u);
    EXPECT_EQ(ColourOf(sound), kMovieBlue);

    // Looped after their ends: the movie with sound starts over, the silent one goes on from
    // its last frame into its first.
    ASSERT_EQ(PlayMovieHandle(silent.movie, kPlayLoop), 0);
    ASSERT_EQ(PlayMovieHandle(sound.movie, kPlayLoop), 0);
    Heard();
    Run(2500);
    EXPECT_EQ(ColourOf(sound), kMovieBlue);
    EXPECT_EQ(ColourOf(silent), kMovieBlue);
    EXPECT_NEAR(Pitch(Heard(), true), 900, 20);
    Run(1000);
    EXPECT_EQ(ColourOf(sound), kMovieRed);
    EXPECT_EQ(ColourOf(silent), kMovieRed);
    EXPECT_NEAR(Pitch(Heard(), true), 300, 20);
    EXPECT_EQ(IsMovieHandlePlaying(sound.movie), 1);
    EXPECT_EQ(IsMovieHandlePlaying(silent.movie), 1);

    EXPECT_EQ(IsMovieHandlePlaying(silent.graph), -1);
    EXPECT_EQ(GetGraphMovie(silent.movie), -1);
    shown_.clear();
    ASSERT_EQ(DisposeGraph(silent.graph), 0);
    ASSERT_EQ(DisposeGraph(sound.graph), 0);
    EXPECT_EQ(IsMovieHandlePlaying(silent.movie), -1);
    EXPECT_EQ(IsMovieHandlePlaying(sound.movie), -1);
    EXPECT_EQ(PlayMovieHandle(sound.movie, kPlayBackground), -1);
    EXPECT_EQ(PauseMovieHandle(sound.movie), -1);
    EXPECT_EQ(GetGraphMovie(sound.graph), -1);
    Heard();
    Run(200);
    EXPECT_EQ(Pitch(Heard()), 0);

    // A 1 x 1 BMP of 24 bits shows no movie.
    const uint8_t bmp[58] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0,  0, 54, 0, 0, 0, 40, 0,    0, 0, 1, 0,
                             0,   0,   1,  0, 0, 0, 1, 0, 24, 0, 0,  0, 0, 0, 4,  0,    0, 0, 0, 0,
                             0,   0,   0,  0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 0,  0xFF, 0, 0};
    FILE* file = fopen("still.bmp", "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bmp, 1, sizeof bmp, file);
    fclose(file);
    Handle still = LoadImageFileAsGraph("still.bmp", 0);
    ASSERT_NE(still, -1) << ReadLog();
    EXPECT_EQ(GetGraphMovie(still), -1);
}

INSTANTIATE_TEST_SUITE_P(Renderers, MoviesTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Device" : "Software"; });

}  // namespace
