// Movies with a sound track through the FFmpeg-backed graph: the sound is heard at the level it
// was written, the pictures keep to the sound heard, the movie ends with the longer of its two
// streams, pauses, loops and seeks keep picture and sound together, and IBasicAudio's volume
// and balance follow DirectSound's law. All on the virtual clock and the headless output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "movie/movies.h"
#include "movies/movie_writers.h"
#include "sound/sound_test_support.h"

namespace {

constexpr int kFps = 25;
constexpr int16_t kLoud = 1000;
constexpr double kToneRms = kGraphMovieToneAmplitude * 32767 / 1.41421356;

int gFrames = 0;
void CountGraphFrame(MovieRecord*, void*) {
    ++gFrames;
}

double Rms(const std::vector<int16_t>& samples, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

class GraphMovieSoundTest : public SoundFixture {
protected:
    void SetUp() override {
        SoundFixture::SetUp();
        StartSound();
        ASSERT_EQ(SetupMovieManager(), 0);
        gFrames = 0;
    }

    Handle Load(const std::string& name, const GraphMovieSettings& settings) {
        written_.push_back(directory_ + "/" + name);
        if (!WriteGraphMovie(written_.back(), settings)) {
            ADD_FAILURE() << "the installed FFmpeg cannot write " << name;
            return -1;
        }
        Handle movie = LoadMovieHandle(nullptr, name.c_str(), nullptr, nullptr, 0, 0);
        if (movie != -1) SetMovieFrameCallback(movie, CountGraphFrame, nullptr);
        return movie;
    }

    // Refreshes until `done` holds; false when it does not within two seconds (the graph's
    // streaming threads run in real time).
    template <class Done>
    bool RefreshUntil(Handle movie, Done done) {
        for (int i = 0; i < 2000; ++i) {
            RefreshMovieFrame(movie, 0);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Moves the clock on, then refreshes until the picture due has reached the callback (the
    // graph's streaming threads run in real time).
    bool Step(Handle movie, uint32_t milliseconds) {
        int before = gFrames;
        TestAdvanceClockMicroseconds(milliseconds * 1000ull);
        return RefreshUntil(movie, [&] { return gFrames != before; });
    }

    // The picture shown, as the frame number its grey (the luma written, expanded to full
    // range) stands for.
    int Picture(Handle movie) {
        auto* pixels = static_cast<const uint8_t*>(GetMovieRecord(movie)->currentFrame->pixels);
        return static_cast<int>(
            std::lround((pixels[0] * 219 / 255.0 + 16 - GraphMovieLuma(0)) / 4));
    }

    // Adds what was heard since the last take; the milliseconds of sound heard since the tone
    // began, less the quiet spans the test took out.
    double HeardMs() {
        std::vector<int16_t> left = TakeLeft();
        heard_.insert(heard_.end(), left.begin(), left.end());
        int64_t first = FirstLoudFrame(heard_, kLoud);
        if (first < 0) return 0;
        return double(int64_t(heard_.size()) - first - skipped_) * 1000.0 / 44100;
    }
    // Takes what was heard and counts it out of the sound track; its loudest sample.
    int Skip() {
        std::vector<int16_t> left = TakeLeft();
        skipped_ += static_cast<int64_t>(left.size());
        heard_.insert(heard_.end(), left.begin(), left.end());
        int loudest = 0;
        for (int16_t v : left) loudest = std::max(loudest, std::abs(int{v}));
        return loudest;
    }

    std::vector<int16_t> heard_;
    int64_t skipped_ = 0;
};

struct Container {
    GraphMovieKind kind;
    const char* name;
};

// The sound plays from the start at its level, each picture shows while the sound heard is in
// its time, and the movie ends when its longer stream does: the sound, 0.5 s after the last
// picture.
TEST_F(GraphMovieSoundTest, EachContainersSoundIsHeardAndThePicturesKeepToIt) {
    for (Container container : {Container{GraphMovieKind::Mpeg4Avi, "tone.avi"},
                                Container{GraphMovieKind::H264Mp4, "tone.mp4"},
                                Container{GraphMovieKind::Vp8Webm, "tone.webm"}}) {
        SCOPED_TRACE(container.name);
        heard_.clear();
        HeardMs();
        heard_.clear();
        Handle movie = Load(container.name, {container.kind, 48, 32, kFps, kFps, 1.5});
        ASSERT_NE(movie, -1) << Log();
        MovieRecord* record = GetMovieRecord(movie);
        long volume = -1;
        EXPECT_EQ(record->audio->get_Volume(&volume), S_OK);
        EXPECT_EQ(volume, 0);
        gFrames = 0;
        PlayMovieHandle(movie, 1, 0);
        ASSERT_TRUE(Step(movie, 1));
        for (int step = 1; step < kFps; ++step) {
            ASSERT_TRUE(Step(movie, 40)) << step;
            double heard = HeardMs();
            EXPECT_NEAR(Picture(movie), heard * kFps / 1000, 1) << step << " heard " << heard;
            EXPECT_EQ(Picture(movie), step);
        }
        EXPECT_EQ(gFrames, kFps);
        // The tone, at the level written: a second of it.
        int64_t first = FirstLoudFrame(heard_, kLoud);
        ASSERT_GE(first, 0);
        EXPECT_LT(first, 44100 / kFps);
        double level = Rms(heard_, first + 2205, first + 44100 - 2205);
        EXPECT_NEAR(level / kToneRms, 1.0, 0.1);
        // At 1.48 s the picture stream is over; the sound is not. Its last block may run on
        // past 1.5 s by less than a block of its encoder.
        TestAdvanceClockMicroseconds(520'000);
        RefreshMovieFrame(movie, 0);
        EXPECT_EQ(record->isStopped, 0);
        TestAdvanceClockMicroseconds(60'000);
        EXPECT_TRUE(RefreshUntil(movie, [&] { return record->isStopped != 0; }));
        EXPECT_EQ(record->resumeMark, 0);
        HeardMs();
        int64_t last = LastLoudFrame(heard_, kLoud);
        EXPECT_NEAR(double(last - first) / 44100, 1.5, 0.03);
        EXPECT_EQ(gFrames, kFps);
        DeleteMovieHandle(movie);
    }
}

// Pictures for 1.5 s over a second of sound: the pictures after the sound's end still come at
// their times, and the movie ends with its last picture.
TEST_F(GraphMovieSoundTest, PicturesThatOutlastTheSoundKeepTheirTimeAndEndTheMovie) {
    constexpr int kFrames = 37;
    Handle movie = Load("short.mp4", {GraphMovieKind::H264Mp4, 48, 32, kFrames, kFps, 1.0});
    ASSERT_NE(movie, -1) << Log();
    MovieRecord* record = GetMovieRecord(movie);
    PlayMovieHandle(movie, 1, 0);
    ASSERT_TRUE(Step(movie, 1));
    for (int step = 1; step < kFrames; ++step) {
        ASSERT_TRUE(Step(movie, 40)) << step;
        EXPECT_EQ(Picture(movie), step);
    }
    HeardMs();
    EXPECT_NEAR(double(LastLoudFrame(heard_, kLoud) - FirstLoudFrame(heard_, kLoud)) / 44100, 1.0,
                0.03);
    EXPECT_EQ(record->isStopped, 0);
    TestAdvanceClockMicroseconds(40'000);
    EXPECT_TRUE(RefreshUntil(movie, [&] { return record->isStopped != 0; }));
}

// A pause silences the sound and holds the picture; on resuming both go on from where they
// stood. A seek and a loop start both over from the new place.
TEST_F(GraphMovieSoundTest, PauseResumeSeekAndLoopKeepPictureAndSoundTogether) {
    Handle movie = Load("loop.mp4", {GraphMovieKind::H264Mp4, 48, 32, 20, kFps, 0.8});
    ASSERT_NE(movie, -1) << Log();
    MovieRecord* record = GetMovieRecord(movie);
    PlayMovieHandle(movie, 1, 0);
    ASSERT_TRUE(Step(movie, 1));
    for (int step = 1; step <= 8; ++step) ASSERT_TRUE(Step(movie, 40));
    EXPECT_EQ(Picture(movie), 8);
    double before = HeardMs();
    PauseMovieHandle(movie, 0);
    int shown = gFrames;
    TestAdvanceClockMicroseconds(1'000'000);
    RefreshMovieFrame(movie, 0);
    EXPECT_LT(Skip(), kLoud);
    EXPECT_EQ(gFrames, shown);
    PlayMovieHandle(movie, -1, 0);
    for (int step = 9; step <= 12; ++step) {
        ASSERT_TRUE(Step(movie, 40)) << step;
        EXPECT_EQ(Picture(movie), step);
        EXPECT_NEAR(HeardMs(), step * 40 + 1, 2) << step;
    }
    EXPECT_GT(HeardMs(), before);

    // Back to 0.2 s: the tone goes on from there and the pictures with it.
    LONGLONG position = 2'000'000;
    record->seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                  AM_SEEKING_NoPositioning);
    ASSERT_TRUE(Step(movie, 1));
    EXPECT_EQ(Picture(movie), 5);
    for (int step = 6; step <= 10; ++step) {
        ASSERT_TRUE(Step(movie, 40)) << step;
        EXPECT_EQ(Picture(movie), step);
        LONGLONG now = 0;
        record->seeking->GetCurrentPosition(&now);
        EXPECT_NEAR(now, step * 400'000 + 10'000, 10'000) << step;
    }
    // No gap at the seek: the tone's zero crossings are the only quiet frames.
    std::vector<int16_t> after = TakeLeft();
    EXPECT_LE(LongestQuietRun(after, kLoud), 2);

    // Looping: past the end the movie starts over with its sound.
    PauseMovieHandle(movie, 0);
    PlayMovieHandle(movie, kMoviePlayLoop, 0);
    for (int step = 11; step < 20; ++step) ASSERT_TRUE(Step(movie, 40)) << step;
    TakeLeft();
    // Past the end of both streams (the sound's last block may run on by less than a block of
    // its encoder), the movie starts over.
    int shownBefore = gFrames;
    TestAdvanceClockMicroseconds(100'000);
    ASSERT_TRUE(RefreshUntil(movie, [&] { return gFrames != shownBefore && Picture(movie) == 0; }));
    EXPECT_EQ(record->isStopped, 0);
    for (int step = 1; step <= 3; ++step) {
        ASSERT_TRUE(Step(movie, 40)) << step;
        EXPECT_EQ(Picture(movie), step);
    }
    // The 120 ms since the start over are the tone, without a gap.
    std::vector<int16_t> again = TakeLeft();
    ASSERT_GE(again.size(), 5292u);
    std::vector<int16_t> since(again.end() - 5292, again.end());
    EXPECT_LE(LongestQuietRun(since, kLoud), 2);
    EXPECT_NEAR(Rms(since, 0, since.size()) / kToneRms, 1.0, 0.1);
    DeleteMovieHandle(movie);
}

// A sound track that starts 25 s in lies far behind the pictures in the file: the start waits
// for it a while only, and the pictures play on in their time over the silence.
TEST_F(GraphMovieSoundTest, SoundFarBehindThePicturesDoesNotHoldThemBack) {
    GraphMovieSettings settings{GraphMovieKind::H264Mp4, 48, 32, 26 * kFps, kFps, 0.5};
    settings.soundStart = 25.0;
    Handle movie = Load("late.mp4", settings);
    ASSERT_NE(movie, -1) << Log();
    PlayMovieHandle(movie, 1, 0);
    ASSERT_TRUE(Step(movie, 1));
    for (int step = 1; step <= 5; ++step) {
        ASSERT_TRUE(Step(movie, 40)) << step;
        EXPECT_EQ(Picture(movie), step);
    }
    DeleteMovieHandle(movie);
}

// Volume in hundredths of a decibel, balance as DirectSound's pan; a movie without sound has
// no IBasicAudio to set.
TEST_F(GraphMovieSoundTest, VolumeAndBalanceFollowDirectSoundsLaw) {
    Handle movie = Load("level.webm", {GraphMovieKind::Vp8Webm, 48, 32, 25, kFps, 1.0});
    ASSERT_NE(movie, -1) << Log();
    IBasicAudio* audio = GetMovieRecord(movie)->audio;
    EXPECT_EQ(audio->put_Volume(-600), S_OK);
    EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(audio->put_Balance(10001), E_INVALIDARG);
    PlayMovieHandle(movie, 1, 0);
    Advance(300);
    std::vector<int16_t> stereo = TestHostTakeAudio();
    std::vector<int16_t> left = LeftChannel(stereo);
    int64_t first = FirstLoudFrame(left, 500);
    ASSERT_GE(first, 0);
    EXPECT_NEAR(Rms(left, first + 441, left.size()) / kToneRms, std::pow(10.0, -600 / 2000.0),
                0.05);

    EXPECT_EQ(audio->put_Volume(0), S_OK);
    EXPECT_EQ(audio->put_Balance(10000), S_OK);
    long balance = 0;
    EXPECT_EQ(audio->get_Balance(&balance), S_OK);
    EXPECT_EQ(balance, 10000);
    TestHostTakeAudio();
    Advance(200);
    stereo = TestHostTakeAudio();
    left = LeftChannel(stereo);
    std::vector<int16_t> right(stereo.size() / 2);
    for (size_t i = 0; i < right.size(); ++i) right[i] = stereo[2 * i + 1];
    EXPECT_LT(Rms(left, 0, left.size()), 1.0);
    EXPECT_NEAR(Rms(right, 0, right.size()) / kToneRms, 1.0, 0.1);
    DeleteMovieHandle(movie);

    Handle silent = Load("silent.mp4", {GraphMovieKind::H264Mp4, 48, 32, 5, kFps});
    ASSERT_NE(silent, -1) << Log();
    long volume = 0;
    EXPECT_EQ(GetMovieRecord(silent)->audio->put_Volume(-600), E_NOTIMPL);
    EXPECT_EQ(GetMovieRecord(silent)->audio->get_Volume(&volume), E_NOTIMPL);
    DeleteMovieHandle(silent);
}

}  // namespace
