// The whole path as a program uses it: WAVE, MP3 and Ogg Vorbis files loaded as sound handles,
// played one after another, and each found in what the output rendered, at its time and length.
#include <gtest/gtest.h>

#include "sound/sound_test_support.h"

namespace {

constexpr int16_t kLoud = 2000;

class PlaybackTest : public SoundFixture {
protected:
    // Plays the sound `atMs` after the capture started and lets it run to `untilMs`.
    void PlayAt(Handle sound, uint32_t atMs) {
        ASSERT_NE(sound, -1);
        Advance(atMs - elapsed_);
        ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
        elapsed_ = atMs;
    }

    uint32_t elapsed_ = 0;
};

TEST_F(PlaybackTest, WaveMp3AndOggVorbisAreEachHeardAtTheirTimeAndLength) {
    StartSound();
    std::vector<int16_t> tone = Sine(44100, 22050, {440});
    Handle wave = LoadBytes("tone.wav", PcmWave(1, 44100, 16, AsBytes(tone)));
    Handle mp3 = LoadBytes("tone.mp3", ReadFixture("tone_mono_44k.mp3"));
    Handle ogg = LoadBytes("tone.ogg", ReadFixture("tone_mono_44k.ogg"));
    Handle stereo = LoadBytes("stereo.mp3", ReadFixture("tone_stereo_22k.mp3"));
    EXPECT_EQ(GetSoundTotalTime(wave), 500);
    EXPECT_EQ(GetSoundTotalTime(ogg), 500);
    EXPECT_NEAR(GetSoundTotalTime(mp3), 550, 60) << "whole frames, with the codec's delay";
    TakeLeft();
    PlayAt(wave, 100);
    PlayAt(mp3, 1000);
    PlayAt(ogg, 2000);
    PlayAt(stereo, 3000);
    Advance(4000 - elapsed_);
    std::vector<int16_t> stereoOut = TestHostTakeAudio();
    std::vector<int16_t> heard = LeftChannel(stereoOut);
    ASSERT_EQ(heard.size(), 4u * 44100);

    // The WAVE is the tone itself, sample for sample.
    EXPECT_EQ(FirstLoudFrame(heard, 0), 4410 + 1);
    EXPECT_EQ(std::vector<int16_t>(heard.begin() + 4410, heard.begin() + 4410 + 22050), tone);
    EXPECT_LT(LastLoudFrame(std::vector<int16_t>(heard.begin(), heard.begin() + 44100), 0),
              4410 + 22050);

    // The MP3 comes about 1,105 samples late (encoder and decoder delay) and lasts as long.
    std::vector<int16_t> pattern(tone.begin() + 4410, tone.begin() + 17640);
    int64_t mp3At = BestOffset(heard, pattern, 44100 + 4410 + 1105, 300);
    ASSERT_GE(mp3At, 0);
    std::vector<int16_t> mp3Window(heard.begin() + mp3At, heard.begin() + mp3At + 13230);
    EXPECT_LT(RmsDifference(mp3Window, pattern), 0.05 * 16384);
    int64_t mp3Start = FirstLoudFrame(heard, kLoud, 44100);
    int64_t mp3End =
        LastLoudFrame(std::vector<int16_t>(heard.begin(), heard.begin() + 88200), kLoud);
    EXPECT_NEAR(mp3Start, 44100 + 1105, 200);
    EXPECT_NEAR(mp3End - mp3Start, 22050, 300);

    // The Ogg Vorbis needs no delay.
    int64_t oggAt = BestOffset(heard, pattern, 88200 + 4410, 20);
    EXPECT_EQ(oggAt, 88200 + 4410);
    std::vector<int16_t> oggWindow(heard.begin() + oggAt, heard.begin() + oggAt + 13230);
    EXPECT_LT(RmsDifference(oggWindow, pattern), 0.05 * 16384);
    EXPECT_NEAR(LastLoudFrame(std::vector<int16_t>(heard.begin(), heard.begin() + 132300), kLoud),
                88200 + 22050, 100);

    // The 22.05 kHz stereo MP3 is resampled to the output, with 660 Hz on the right.
    std::vector<int16_t> right(stereoOut.size() / 2);
    for (size_t i = 0; i < right.size(); ++i) right[i] = stereoOut[2 * i + 1];
    int64_t stereoStart = FirstLoudFrame(heard, kLoud, 132300);
    EXPECT_NEAR(stereoStart, 132300 + 2 * 1105, 400);
    EXPECT_NEAR(LastLoudFrame(heard, kLoud) - stereoStart, 17640, 600);
    std::vector<int16_t> high = Sine(44100, 8820, {660});
    int64_t rightAt = BestOffset(right, std::vector<int16_t>(high.begin() + 4410, high.end()),
                                 stereoStart + 4410, 300);
    ASSERT_GE(rightAt, 0);
    EXPECT_LT(
        RmsDifference(std::vector<int16_t>(right.begin() + rightAt, right.begin() + rightAt + 4410),
                      std::vector<int16_t>(high.begin() + 4410, high.end())),
        0.1 * 16384);
}

}  // namespace
