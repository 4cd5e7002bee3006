// Stream sounds: refilled one-second buffers that play long sounds to their end, repeat their
// sources, wrap without a gap, share buffers, and come out the same from the stream thread and
// from the pump.
#include "sound/stream_sound.h"

#include <gtest/gtest.h>

#include "app/message_pump.h"
#include "core/handle_registry.h"
#include "sound/sound_test_support.h"

namespace {

constexpr SoundCreateSettings kMemoryStream = {kStreamSourceMemory, 0, 2, 0};
constexpr SoundCreateSettings kFileStream = {kStreamSourceFile, 0, 2, 0};

// 44.1 kHz stereo whose left side runs from `base` up, a different run per source.
Bytes Source(uint32_t frames, int16_t base) {
    std::vector<int16_t> samples;
    for (uint32_t i = 0; i < frames; ++i) {
        samples.push_back(static_cast<int16_t>(base + static_cast<int16_t>(i % 10000)));
        samples.push_back(7);
    }
    return AsBytes(samples);
}

std::vector<int16_t> Left(const Bytes& pcm) {
    return LeftChannel(AsSamples(pcm));
}

std::vector<int16_t> Repeat(const std::vector<std::vector<int16_t>>& parts, size_t frames) {
    std::vector<int16_t> out;
    for (size_t i = 0; out.size() < frames; i = (i + 1) % parts.size()) {
        out.insert(out.end(), parts[i].begin(), parts[i].end());
    }
    out.resize(frames);
    return out;
}

class StreamSoundTest : public SoundFixture {
protected:
    struct SourceData {
        Bytes pcm;
        int32_t loopCount;
    };

    // A stream sound of the given sources, each a WAVE image of its PCM.
    Handle Stream(const std::vector<SourceData>& sources, int32_t sourceType = kStreamSourceMemory,
                  Handle share = -1) {
        Handle handle = IssueHandle(&gSound.sounds, -1);
        for (const SourceData& source : sources) {
            Bytes image = PcmWave(2, 44100, 16, source.pcm);
            EXPECT_EQ(AddStreamSoundFromMemory(&kMemoryStream, image.data(),
                                               static_cast<uint32_t>(image.size()),
                                               source.loopCount, handle, sourceType, share, 0),
                      0);
        }
        RewindStreamSound(handle, 0);
        return handle;
    }

    // What was heard from now on for `milliseconds`, the sound started at once.
    std::vector<int16_t> PlayAndHear(Handle handle, int32_t playType, uint32_t milliseconds) {
        TakeLeft();
        EXPECT_EQ(PlaySoundHandle(handle, playType, 1), 0);
        Advance(milliseconds);
        return TakeLeft();
    }

    static size_t Frames(uint32_t milliseconds) { return milliseconds * 441 / 10; }
};

TEST_F(StreamSoundTest, AStreamLongerThanItsBufferPlaysToItsEndAndStopsByItself) {
    StartSound();
    Bytes pcm = Source(88200, 100);  // two seconds
    Handle file = LoadSoundHandleWithSettings(&kFileStream, "", 1, -1, 0, 0);
    EXPECT_EQ(file, -1) << "no such file";
    WriteFile(directory_ + "/long.wav", PcmWave(2, 44100, 16, pcm));
    written_.push_back(directory_ + "/long.wav");
    const Handle sounds[] = {
        LoadSoundHandleWithSettings(&kFileStream, "long.wav", 1, -1, 0, 0),
        LoadSoundHandleWithSettings(&kMemoryStream, "long.wav", 1, -1, 0, 0),
        Stream({{pcm, 0}}, kStreamSourceWhole),
    };
    for (Handle sound : sounds) {
        ASSERT_NE(sound, -1);
        SoundRecord* record = FindSoundRecord(sound, 0);
        EXPECT_EQ(record->streamFlag, 1);
        EXPECT_EQ(record->streamBufferBytes, 176400);
        EXPECT_EQ(GetSoundTotalTime(sound), 2000);
        std::vector<int16_t> heard = PlayAndHear(sound, kPlayBackground, 1500);
        EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
        EXPECT_NEAR(GetSoundCurrentTime(sound), 1500, 1);
        Advance(1000);
        EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
        std::vector<int16_t> rest = TakeLeft();
        heard.insert(heard.end(), rest.begin(), rest.end());
        ASSERT_EQ(heard.size(), Frames(2500));
        EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + 88200), Left(pcm));
        EXPECT_EQ(LastLoudFrame(heard, 0), 88199) << "silence after the end";
    }
}

TEST_F(StreamSoundTest, ASourceWithLoopCountTwoIsHeardThreeTimesBeforeTheNext) {
    StartSound();
    Bytes a = Source(13230, 1000), b = Source(8820, 20000);  // 0.3 s and 0.2 s
    Handle sound = Stream({{a, 2}, {b, 0}});
    EXPECT_EQ(GetSoundTotalTime(sound), 500);
    std::vector<int16_t> heard = PlayAndHear(sound, kPlayBackground, 1500);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
    std::vector<int16_t> expected = Repeat({Left(a), Left(a), Left(a), Left(b)}, 3 * 13230 + 8820);
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + expected.size()), expected);
    EXPECT_EQ(LastLoudFrame(heard, 0), static_cast<int64_t>(expected.size()) - 1);
}

TEST_F(StreamSoundTest, PlayTypeThreePlaysTheSourcesInTurnAndStartsAgainWithoutAGap) {
    StartSound();
    Bytes a = Source(13230, 1000), b = Source(8820, 20000);
    Handle sound = Stream({{a, 0}, {b, 0}});
    std::vector<int16_t> heard = PlayAndHear(sound, kPlayLoop, 2000);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
    EXPECT_EQ(heard, Repeat({Left(a), Left(b)}, Frames(2000)));
    // The play position starts over at each return to the first source.
    int32_t now = GetSoundCurrentTime(sound);
    EXPECT_GE(now, 0);
    EXPECT_LE(now, 500);
}

TEST_F(StreamSoundTest, LoopCount255RepeatsForeverEvenForASourceShorterThanTheLead) {
    StartSound();
    Bytes tiny = Source(2205, 500);  // 50 ms, far shorter than what a refill writes
    Handle forever = Stream({{tiny, 255}});
    std::vector<int16_t> heard = PlayAndHear(forever, kPlayBackground, 3000);
    EXPECT_EQ(IsSoundHandlePlaying(forever), 1);
    EXPECT_EQ(heard, Repeat({Left(tiny)}, Frames(3000)));
    ASSERT_EQ(StopSoundHandle(forever), 0);

    Handle looped = Stream({{tiny, 0}});
    heard = PlayAndHear(looped, kPlayLoop, 1000);
    EXPECT_EQ(heard, Repeat({Left(tiny)}, Frames(1000)));
}

TEST_F(StreamSoundTest, SourcesBeyondThreeOrOfAnotherFormatAreRefused) {
    StartSound();
    Bytes pcm = Source(4410, 100);
    Handle sound = Stream({{pcm, 0}, {pcm, 0}, {pcm, 0}});
    EXPECT_EQ(FindSoundRecord(sound, 0)->sourceCount, 3);
    Bytes image = PcmWave(2, 44100, 16, pcm);
    EXPECT_EQ(
        AddStreamSoundFromMemory(&kMemoryStream, image.data(), static_cast<uint32_t>(image.size()),
                                 0, sound, kStreamSourceMemory, -1, 0),
        -1);
    Handle other = Stream({{pcm, 0}});
    Bytes slower = PcmWave(2, 22050, 16, pcm);
    EXPECT_EQ(AddStreamSoundFromMemory(&kMemoryStream, slower.data(),
                                       static_cast<uint32_t>(slower.size()), 0, other,
                                       kStreamSourceMemory, -1, 0),
              -1);
    ASSERT_EQ(PlaySoundHandle(other, kPlayLoop, 1), 0);
    EXPECT_EQ(
        AddStreamSoundFromMemory(&kMemoryStream, image.data(), static_cast<uint32_t>(image.size()),
                                 0, other, kStreamSourceMemory, -1, 0),
        -1);
    EXPECT_EQ(FindSoundRecord(other, 0)->sourceCount, 1);
    EXPECT_TRUE(
        InOrder(Log(), {"ストリーム風サウンドの制御データ領域がいっぱいです\r\n",
                        "フォーマットの違う音声データは同時に使うことは出来ません\r\n",
                        "既に再生中のストリームサウンドデータにデータを追加しようとしました\r\n"}));
}

TEST_F(StreamSoundTest, ASourceAddedAfterTheFirstFillIsHeardToo) {
    StartSound();
    Bytes a = Source(4410, 1000), b = Source(8820, 20000);  // a ends inside the first fill
    Handle sound = Stream({{a, 0}});
    Bytes image = PcmWave(2, 44100, 16, b);
    ASSERT_EQ(
        AddStreamSoundFromMemory(&kMemoryStream, image.data(), static_cast<uint32_t>(image.size()),
                                 0, sound, kStreamSourceMemory, -1, 0),
        0);
    std::vector<int16_t> heard = PlayAndHear(sound, kPlayBackground, 600);
    std::vector<int16_t> expected = Repeat({Left(a), Left(b)}, 4410 + 8820);
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + expected.size()), expected);
    EXPECT_EQ(LastLoudFrame(heard, 0), static_cast<int64_t>(expected.size()) - 1);
}

TEST_F(StreamSoundTest, PlayingFromTopZeroWhilePlayingFailsAndAStopKeepsThePosition) {
    StartSound();
    Bytes pcm = Source(88200, 100);
    Handle sound = Stream({{pcm, 0}});
    std::vector<int16_t> heard = PlayAndHear(sound, kPlayBackground, 500);
    EXPECT_EQ(PlaySoundHandle(sound, kPlayBackground, 0), -1);
    Advance(300);
    ASSERT_EQ(StopSoundHandle(sound), 0);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
    std::vector<int16_t> more = TakeLeft();
    heard.insert(heard.end(), more.begin(), more.end());
    Advance(200);
    TakeLeft();
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 0), 0);
    Advance(1500);
    more = TakeLeft();
    heard.insert(heard.end(), more.begin(), more.end());
    heard.resize(88200);
    EXPECT_EQ(heard, Left(pcm)) << "undisturbed, then continued where it stopped";
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
}

TEST_F(StreamSoundTest, SoundsSharingABufferPlayOneAtATime) {
    StartSound();
    Bytes a = Source(44100, 1000), b = Source(44100, 20000);
    Handle owner = Stream({{a, 0}});
    Handle sharer = Stream({{b, 0}}, kStreamSourceMemory, owner);
    SoundRecord* record = FindSoundRecord(sharer, 0);
    EXPECT_EQ(record->shareOwner, owner);
    EXPECT_EQ(FindSoundRecord(owner, 0)->shareCount, 1);
    EXPECT_EQ(TestCountSoundBuffers(), 2) << "the silent buffer and the shared one";

    std::vector<int16_t> startOfA = Left(a), startOfB = Left(b);
    startOfA.resize(13230);
    startOfB.resize(13230);
    EXPECT_EQ(PlayAndHear(owner, kPlayBackground, 300), startOfA);
    std::vector<int16_t> heard = PlayAndHear(sharer, kPlayBackground, 300);
    EXPECT_EQ(IsSoundHandlePlaying(owner), 0);
    EXPECT_EQ(IsSoundHandlePlaying(sharer), 1);
    EXPECT_EQ(heard, startOfB) << "the sharer starts from its beginning";
    heard = PlayAndHear(owner, kPlayBackground, 300);
    EXPECT_EQ(IsSoundHandlePlaying(sharer), 0);
    EXPECT_EQ(heard, startOfA);

    // The owner outlives its deletion while it is shared.
    ASSERT_EQ(DeleteSoundHandle(owner), 0);
    EXPECT_NE(FindSoundRecord(owner, 0), nullptr);
    EXPECT_EQ(FindSoundRecord(owner, 0)->deletePending, 1);
    ASSERT_EQ(DeleteSoundHandle(sharer), 0);
    EXPECT_EQ(FindSoundRecord(owner, 0), nullptr);
    EXPECT_EQ(TestCountSoundBuffers(), 1);
}

TEST_F(StreamSoundTest, SourcesAndFilesAreReleasedWithTheSound) {
    StartSound();
    WriteFile(directory_ + "/file.wav", PcmWave(2, 44100, 16, Source(44100, 100)));
    written_.push_back(directory_ + "/file.wav");
    Handle sound = LoadSoundHandleWithSettings(&kFileStream, "file.wav", 1, -1, 0, 0);
    ASSERT_NE(sound, -1);
    EXPECT_EQ(FindSoundRecord(sound, 0)->ownerClosesStream[0], 1);
    ASSERT_EQ(PlaySoundHandle(sound, kPlayLoop, 1), 0);
    Advance(100);
    ASSERT_EQ(DeleteSoundHandle(sound), 0);
    EXPECT_EQ(TestCountSoundBuffers(), 1);
    EXPECT_EQ(unlink((directory_ + "/file.wav").c_str()), 0) << "closed, so it can go";
    written_.pop_back();
}

class StreamThreadTest : public StreamSoundTest {};

TEST_F(StreamThreadTest, TheStreamThreadGivesWhatThePumpGives) {
    StartSound(2);
    ASSERT_NE(HasThreadHandle(&gSound.streamThread), 0);
    Bytes a = Source(44100, 1000), b = Source(30000, 20000);
    Handle sound = Stream({{a, 1}, {b, 0}});
    std::vector<int16_t> heard = PlayAndHear(sound, kPlayBackground, 3000);
    std::vector<int16_t> expected = Repeat({Left(a), Left(a), Left(b)}, 44100 * 2 + 30000);
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + expected.size()), expected);
    EXPECT_EQ(LastLoudFrame(heard, 0), static_cast<int64_t>(expected.size()) - 1);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(HasThreadHandle(&gSound.streamThread), 0);
    EXPECT_EQ(gSound.streamStop.load(), 2);
}

TEST_F(StreamThreadTest, WithOneProcessorNoThreadRunsAndThePumpRefills) {
    StartSound(1);
    EXPECT_EQ(HasThreadHandle(&gSound.streamThread), 0);
    Bytes a = Source(44100, 1000), b = Source(30000, 20000);
    Handle sound = Stream({{a, 1}, {b, 0}});
    TakeLeft();
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
    for (int frame = 0; frame < 300; ++frame) {
        TestAdvanceClockMicroseconds(10'000);
        ASSERT_EQ(PumpMessages(), 0);
    }
    std::vector<int16_t> heard = TakeLeft();
    std::vector<int16_t> expected = Repeat({Left(a), Left(a), Left(b)}, 44100 * 2 + 30000);
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + expected.size()), expected);
    EXPECT_EQ(LastLoudFrame(heard, 0), static_cast<int64_t>(expected.size()) - 1);
}

}  // namespace
