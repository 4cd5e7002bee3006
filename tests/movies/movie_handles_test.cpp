// Movie handles: the Theora clock with and without a sound track, looping and the end, pauses
// by the caller and by the system, a movie through the FFmpeg-backed graph, and files that no
// player opens.
#include <gtest/gtest.h>

#include <thread>

#include "movie/movies.h"
#include "movies/movie_writers.h"
#include "sound/sound_test_support.h"

namespace {

int gCallbacks = 0;
void CountFrame(MovieRecord* record, void* data) {
    ++gCallbacks;
    GetMovieFrameImage(record);
}

class MovieHandlesTest : public SoundFixture {
protected:
    void SetUp() override {
        SoundFixture::SetUp();
        StartSound();
        ASSERT_EQ(SetupMovieManager(), 0);
        gCallbacks = 0;
    }

    Handle LoadTheora(const char* name, const TheoraMovieSettings& settings, int* width = nullptr,
                      int* height = nullptr) {
        written_.push_back(directory_ + "/" + name);
        WriteFile(written_.back(), WriteTheoraMovie(settings));
        int32_t setting = 0;
        return LoadMovieHandle(&setting, name, width, height, 0, 0);
    }

    int32_t Frame(Handle movie) { return GetTheoraCurrentFrame(GetMovieRecord(movie)->theora); }

    // Moves the clock, then refreshes until the renderer's new frame has reached the callback
    // (the graph's streaming thread runs in real time).
    bool StepGraph(Handle movie, uint32_t milliseconds) {
        int before = gCallbacks;
        TestAdvanceClockMicroseconds(milliseconds * 1000ull);
        for (int i = 0; i < 2000; ++i) {
            RefreshMovieFrame(movie, 0);
            if (gCallbacks != before) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Refreshes until a graph movie has ended: the graph learns of its end from its
    // streaming thread.
    bool WaitForGraphEnd(Handle movie) {
        for (int i = 0; i < 2000; ++i) {
            RefreshMovieFrame(movie, 0);
            if (GetMovieRecord(movie)->isStopped != 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
};

TEST_F(MovieHandlesTest, ASilentTheoraMovieFollowsTheClockLoopsAndEnds) {
    TheoraMovieSettings settings;
    settings.frames = 60;
    int width = 0, height = 0;
    Handle movie = LoadTheora("silent.ogv", settings, &width, &height);
    ASSERT_NE(movie, -1);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    MovieRecord* record = GetMovieRecord(movie);
    EXPECT_EQ(record->sound, -1);
    EXPECT_EQ(record->isStopped, 1);
    SetMovieFrameCallback(movie, CountFrame, nullptr);
    ASSERT_EQ(PlayMovieHandle(movie, 0, 0), 0);
    EXPECT_EQ(record->playType, 1);
    TestAdvanceClockMicroseconds(1'500'000);
    RefreshMovieFrame(movie, 0);
    EXPECT_EQ(Frame(movie), 45);
    EXPECT_EQ(gCallbacks, 1);
    TestAdvanceClockMicroseconds(1'000'000);
    RefreshMovieFrame(movie, 0);
    EXPECT_EQ(Frame(movie), 59);
    EXPECT_EQ(record->isStopped, 1);
    EXPECT_EQ(record->resumeMark, 0);

    // Played again from its last frame with the loop bit: 1.5 s later it is 45 frames on.
    ASSERT_EQ(PlayMovieHandle(movie, kMoviePlayLoop, 0), 0);
    TestAdvanceClockMicroseconds(1'500'000);
    RefreshMovieFrame(movie, 0);
    EXPECT_EQ(Frame(movie), (59 + 45) % 60);
    EXPECT_EQ(record->isStopped, 0);
    GraphImage* image = GetMovieFrameImage(record);
    EXPECT_EQ(image->width, 64);
    EXPECT_EQ(DeleteMovieHandle(movie), 0);
    EXPECT_EQ(GetMovieRecord(movie), nullptr);
}

// The last frame is shown for its whole duration before the movie ends: a ten-frame movie at
// one frame a second ends at 10 s, a one-frame movie after its one second.
TEST_F(MovieHandlesTest, ASilentTheoraMovieEndsWhenItsLastFrameHasBeenShown) {
    for (int frames : {10, 1}) {
        TheoraMovieSettings settings;
        settings.frames = frames;
        settings.fpsNumerator = 1;
        std::string name = "slow" + std::to_string(frames) + ".ogv";
        Handle movie = LoadTheora(name.c_str(), settings);
        ASSERT_NE(movie, -1) << frames;
        MovieRecord* record = GetMovieRecord(movie);
        PlayMovieHandle(movie, 1, 0);
        RefreshMovieFrame(movie, 0);
        EXPECT_EQ(record->isStopped, 0) << frames;
        TestAdvanceClockMicroseconds((frames - 1) * 1'000'000ull);
        RefreshMovieFrame(movie, 0);
        EXPECT_EQ(Frame(movie), frames - 1);
        TestAdvanceClockMicroseconds(999'000);
        RefreshMovieFrame(movie, 0);
        EXPECT_EQ(Frame(movie), frames - 1);
        EXPECT_EQ(record->isStopped, 0) << frames;
        EXPECT_EQ(record->resumeMark, 1) << frames;
        TestAdvanceClockMicroseconds(1'000);
        RefreshMovieFrame(movie, 0);
        EXPECT_EQ(Frame(movie), frames - 1);
        EXPECT_EQ(record->isStopped, 1) << frames;
        EXPECT_EQ(record->resumeMark, 0) << frames;
        DeleteMovieHandle(movie);
    }
}

TEST_F(MovieHandlesTest, OnlyMoviesThatTheSystemPausedResume) {
    Handle movie = LoadTheora("pause.ogv", {});
    ASSERT_NE(movie, -1);
    MovieRecord* record = GetMovieRecord(movie);
    PlayMovieHandle(movie, -1, 0);
    PauseMovieHandle(movie, 0);
    EXPECT_EQ(record->resumeMark, 0);
    PlayMovieHandle(movie, -1, 1);
    EXPECT_EQ(record->isStopped, 1);

    PlayMovieHandle(movie, -1, 0);
    TestAdvanceClockMicroseconds(300'000);
    PauseAllMovies();
    EXPECT_EQ(record->isStopped, 1);
    EXPECT_EQ(record->resumeMark, 1);
    int32_t paused = Frame(movie);
    EXPECT_EQ(paused, 9);
    // Time spent paused does not move the picture on.
    TestAdvanceClockMicroseconds(5'000'000);
    ResumeAllMovies();
    EXPECT_EQ(record->isStopped, 0);
    TestAdvanceClockMicroseconds(100'000);
    RefreshMovieFrame(movie, 0);
    EXPECT_EQ(Frame(movie), paused + 3);
}

TEST_F(MovieHandlesTest, PictureAndSoundTrackStayInStepAndTheSoundsEndEndsTheMovie) {
    TheoraMovieSettings settings;
    settings.frames = 45;
    settings.withSound = true;
    settings.soundSeconds = 1.5;
    Handle movie = LoadTheora("sound.ogv", settings);
    ASSERT_NE(movie, -1);
    MovieRecord* record = GetMovieRecord(movie);
    ASSERT_NE(record->sound, -1);
    PlayMovieHandle(movie, 1, 0);
    EXPECT_EQ(IsSoundHandlePlaying(record->sound), 1) << Log();
    for (int step = 0; step < 10; ++step) {
        Advance(100);
        RefreshMovieFrame(movie, 0);
        int32_t heard = GetSoundCurrentTime(record->sound);
        EXPECT_NEAR(Frame(movie), heard * 30 / 1000, 1) << step << " heard " << heard;
    }
    std::vector<int16_t> left = TakeLeft();
    EXPECT_GE(FirstLoudFrame(left, 2000), 0);
    Advance(1000);
    RefreshMovieFrame(movie, 0);
    EXPECT_EQ(Frame(movie), 44);
    EXPECT_EQ(record->isStopped, 1);
    EXPECT_EQ(record->resumeMark, 0);
}

// A pause stops the sound track first: the refresh that follows takes the frame from where
// the track was stopped, and neither shows the last frame nor ends the movie, which would
// cost a movie that the system paused its resumption. A track that had played out before the
// pause still ends the movie on its last frame.
TEST_F(MovieHandlesTest, APauseHoldsTheFrameOfItsSoundTrackAndTheSystemsPauseResumes) {
    TheoraMovieSettings settings;
    settings.frames = 45;
    settings.withSound = true;
    settings.soundSeconds = 1.5;
    Handle movie = LoadTheora("held.ogv", settings);
    ASSERT_NE(movie, -1);
    MovieRecord* record = GetMovieRecord(movie);
    PlayMovieHandle(movie, 1, 0);
    Advance(300);
    PauseAllMovies();
    EXPECT_NEAR(Frame(movie), 9, 1);
    EXPECT_EQ(record->resumeMark, 1);
    ResumeAllMovies();
    EXPECT_EQ(record->isStopped, 0);
    Advance(300);
    PauseMovieHandle(movie, 0);
    EXPECT_NEAR(Frame(movie), 18, 1);
    EXPECT_EQ(IsSoundHandlePlaying(record->sound), 0);

    PlayMovieHandle(movie, 1, 0);
    Advance(1500);
    PauseMovieHandle(movie, 0);
    EXPECT_EQ(Frame(movie), 44);
    EXPECT_EQ(record->resumeMark, 0);
}

TEST_F(MovieHandlesTest, AFileThatNoPlayerOpensLeavesNoHandle) {
    written_.push_back(directory_ + "/notmovie.bin");
    WriteFile(written_.back(), Bytes(3000, 0x33));
    int32_t setting = 0;
    EXPECT_EQ(LoadMovieHandle(&setting, "notmovie.bin", nullptr, nullptr, 0, 0), -1);
    EXPECT_TRUE(InOrder(Log(), {"ファイル:notmovie.bin が開けませんでした",
                                "ムービーファイルオープン処理時にエラーが発生しました"}));
    EXPECT_EQ(LoadMovieHandle(&setting, "missing.ogv", nullptr, nullptr, 0, 0), -1);
    // A still image that FFmpeg reads as a one-frame stream is no movie either.
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
    tga.resize(tga.size() + 2 * 2 * 4, 0x80);
    written_.push_back(directory_ + "/still.tga");
    WriteFile(written_.back(), tga);
    EXPECT_EQ(LoadMovieHandle(&setting, "still.tga", nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(PauseAllMovies(), 0);
    EXPECT_EQ(PlayMovieHandle(0x18000000, -1, 0), -1);
}

TEST_F(MovieHandlesTest, AnMpeg4MovieThroughTheGraphCountsItsFramesEndsAndPauses) {
    std::string path = directory_ + "/clip.avi";
    written_.push_back(path);
    constexpr int kFrames = 12;
    ASSERT_TRUE(WriteGraphMovie(path, {GraphMovieKind::Mpeg4Avi, 48, 32, kFrames, 10}));
    int width = 0, height = 0;
    int32_t setting = 0;
    Handle movie = LoadMovieHandle(&setting, "clip.avi", &width, &height, 0, 0);
    ASSERT_NE(movie, -1) << Log();
    EXPECT_EQ(width, 48);
    EXPECT_EQ(height, 32);
    MovieRecord* record = GetMovieRecord(movie);
    EXPECT_EQ(record->isTheora, 0);
    EXPECT_EQ(record->duration, 12'000'000);
    SetMovieFrameCallback(movie, CountFrame, nullptr);
    PlayMovieHandle(movie, -1, 0);
    ASSERT_TRUE(StepGraph(movie, 1));
    // A flat grey, its luma expanded to full range.
    auto grey = [&] { return static_cast<const uint8_t*>(record->currentFrame->pixels)[0]; };
    EXPECT_NEAR(grey(), GraphMovieGrey(0), 3);
    for (int frame = 1; frame < 6; ++frame) {
        ASSERT_TRUE(StepGraph(movie, 100)) << frame;
        EXPECT_NEAR(grey(), GraphMovieGrey(frame), 3) << frame;
    }
    PauseMovieHandle(movie, 0);
    TestAdvanceClockMicroseconds(2'000'000);
    int shown = gCallbacks;
    for (int i = 0; i < 50; ++i) {
        RefreshMovieFrame(movie, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(gCallbacks, shown);
    PlayMovieHandle(movie, -1, 0);
    for (int frame = 6; frame < kFrames; ++frame) {
        ASSERT_TRUE(StepGraph(movie, 100)) << frame;
        EXPECT_NEAR(grey(), GraphMovieGrey(frame), 3) << frame;
    }
    EXPECT_EQ(gCallbacks, kFrames);
    EXPECT_EQ(record->isStopped, 0);
    TestAdvanceClockMicroseconds(200'000);
    EXPECT_TRUE(WaitForGraphEnd(movie));
    EXPECT_EQ(record->resumeMark, 0);
    EXPECT_EQ(DeleteMovieHandle(movie), 0);
}

// A raw MPEG-1 stream, whose duration FFmpeg estimates from the bit rate, plays every frame at
// its time and ends when its last frame has been shown for its time; played looping, its end
// starts it over.
TEST_F(MovieHandlesTest, ARawMpeg1StreamThroughTheGraphShowsEveryFrameAndEndsAtItsEnd) {
    for (int frames : {100, 1}) {
        std::string name = "raw" + std::to_string(frames) + ".m1v";
        written_.push_back(directory_ + "/" + name);
        ASSERT_TRUE(WriteGraphMovie(written_.back(), {GraphMovieKind::RawMpeg1, 48, 32, frames,
                                                      25}));
        int32_t setting = 0;
        Handle movie = LoadMovieHandle(&setting, name.c_str(), nullptr, nullptr, 0, 0);
        ASSERT_NE(movie, -1) << Log();
        MovieRecord* record = GetMovieRecord(movie);
        EXPECT_EQ(record->isTheora, 0);
        gCallbacks = 0;
        SetMovieFrameCallback(movie, CountFrame, nullptr);
        PlayMovieHandle(movie, 1, 0);
        auto grey = [&] { return static_cast<const uint8_t*>(record->currentFrame->pixels)[0]; };
        // Frame f is due at 40 f ms; each step lands 1 ms after it.
        for (int frame = 0; frame < frames; ++frame) {
            ASSERT_TRUE(StepGraph(movie, frame == 0 ? 1 : 40)) << frames << " " << frame;
            EXPECT_NEAR(grey(), GraphMovieGrey(frame), 3) << frames << " " << frame;
            EXPECT_EQ(record->isStopped, 0) << frames << " " << frame;
        }
        TestAdvanceClockMicroseconds(38'000);
        RefreshMovieFrame(movie, 0);
        EXPECT_EQ(record->isStopped, 0) << frames;
        TestAdvanceClockMicroseconds(1'000);
        EXPECT_TRUE(WaitForGraphEnd(movie)) << frames;
        EXPECT_EQ(record->resumeMark, 0) << frames;
        EXPECT_EQ(gCallbacks, frames);
        DeleteMovieHandle(movie);
    }

    Handle movie = LoadMovieHandle(nullptr, "raw1.m1v", nullptr, nullptr, 0, 0);
    ASSERT_NE(movie, -1);
    gCallbacks = 0;
    SetMovieFrameCallback(movie, CountFrame, nullptr);
    PlayMovieHandle(movie, kMoviePlayLoop, 0);
    ASSERT_TRUE(StepGraph(movie, 1));
    for (int pass = 1; pass < 4; ++pass) {
        ASSERT_TRUE(StepGraph(movie, 40)) << pass;
        EXPECT_EQ(GetMovieRecord(movie)->isStopped, 0) << pass;
    }
    DeleteMovieHandle(movie);
}

}  // namespace
